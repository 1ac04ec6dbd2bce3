// What windows use to upload and download one file: the request they fill, the two facades that pick
// the transport and own the transfer object, and the session that ties them to the file server.
#pragma once
#include "filetransfer/FileTransBase.h"
#include "platform/afx/AfxString.h"

#include <windows.h>
#include <cstdint>
#include <memory>

struct FileTransRequest {
    HWND notifyWindow = nullptr;
    UINT notifyMessage = 0; // WM_USER_UPLOAD_RESULT (1156) or WM_USER_DOWNLOAD_RESULT (1157), usually
    uint64_t fileSize = 0;
    uint64_t transferId = 0; // the file id of a download, 0 for an upload
    uint32_t sequence = 0;
    uint32_t tag = 0;
    CString fileName;
    CString localPath;  // file to upload
    CString saveFolder; // folder of a download, ends with a backslash
    CString md5;        // 32 hex characters of the file to upload
};

// True when a socket handed to a facade means a peer link (UDP) rather than the relay.
bool IsPeerSocket(SOCKET socket);
// Kinds 2, 3 and 4 always travel through the relay.
bool IsRelayKind(uint8_t kind);

// What both facades share: where records go, the transfer's address and the owned transfer object.
class CxFileFacade {
public:
    CxFileFacade() = default;
    ~CxFileFacade() { Stop(); }
    CxFileFacade(const CxFileFacade&) = delete;
    CxFileFacade& operator=(const CxFileFacade&) = delete;

    void SetNotify(HWND window, UINT message);
    // Stops and deletes the transfer object; window, message, address and info are forgotten.
    void Stop();
    CxFileTransBase* Object() const { return m_object.get(); }

protected:
    // Socket 0 means none, as -1 does.
    void StoreAddress(SOCKET socket, uint32_t address, uint16_t port);
    void ClearAddress();
    void DropObject();
    // A peer socket carries the transfer over UDP unless its kind always goes through the relay.
    bool UsesPeerLink(uint8_t kind) const { return IsPeerSocket(m_socket) && !IsRelayKind(kind); }

    HWND m_notifyWindow = nullptr;
    UINT m_notifyMessage = 0;
    SOCKET m_socket = INVALID_SOCKET;
    uint32_t m_address = 0;
    uint16_t m_port = 0;
    FileTransInfo m_info = {};
    std::unique_ptr<CxFileTransBase> m_object;
};

class CxFileSendSession : public CxFileFacade {
public:
    int SetStun(SOCKET socket, uint32_t address, uint16_t port);
    // -1 no object, -2 Start failed, -3 SendFile failed, else the SendFile result.
    int StartSend(const CString& path, const FileTransInfo& info);

private:
    CString m_path;
};

class CxFileRecvSession : public CxFileFacade {
public:
    int SetPeerAddr(SOCKET socket, uint32_t address, uint16_t port, const CString& folder);
    // -1 no object, -2 SetParams failed, -3 StartRecv failed, else the StartRecv result.
    int StartRecv(const FileTransInfo& info);

private:
    CString m_folder;
};

class CFileTransSession {
public:
    CFileTransSession() = default;
    ~CFileTransSession();
    CFileTransSession(const CFileTransSession&) = delete;
    CFileTransSession& operator=(const CFileTransSession&) = delete;

    // Uploads request.localPath to the file server; false (with a log line) when it cannot start.
    bool StartSend(const FileTransRequest& request);
    // Downloads request.transferId into the save folder (or the default one). A file of the request's
    // name already there is answered at once with a done record and no transfer.
    bool StartRecv(const FileTransRequest& request);
    void Stop();
    // Every record a window got from this session comes back here.
    void FreeStatus(FileTransStatus* record);
    // True when this session posted the record (its transfer, or its already-downloaded answer) and
    // the record was not handed back yet: several sessions may carry the same transfer id.
    bool Posted(const FileTransStatus* record) const;
    // Where the file of this id was stored; empty for any other id.
    CString GetPath(uint64_t transferId) const;

    // The data folder's "Downloads\" folder, made on first use; empty when it cannot be made.
    CString CreateDefaultPath();
    const CString& DefaultFolder() const { return m_defaultFolder; }

    static bool FileExists(const CString& path);
    static bool FolderExists(const CString& path);

private:
    uint32_t m_sequence = 0;
    uint32_t m_tag = 0;
    uint64_t m_transferId = 0;
    CString m_defaultFolder;
    CString m_finalPath;
    const FileTransStatus* m_answer = nullptr; // the already-downloaded record, until handed back
    CxFileSendSession m_send;
    CxFileRecvSession m_recv;
};
