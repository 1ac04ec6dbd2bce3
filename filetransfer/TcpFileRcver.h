// Downloads one file from the file relay over its own TCP connection, into "<id>_tf" beside a
// "<id>_pf" progress file, so that an interrupted download resumes near where it stopped.
#pragma once
#include "filetransfer/FileTransBase.h"

#include <atomic>

class CxTCPFileRcver : public CxTCPBase, public CxFileTransBase {
public:
    CxTCPFileRcver();
    ~CxTCPFileRcver() override;

    // Stores the relay and the folder and creates the folder; the socket is not used. 1.
    int SetParams(SOCKET socket, uint32_t address, uint16_t port, const CString& folder) override;
    // 1 when the worker runs; -5 empty file; -1 no connection or data file; -100 no progress file.
    int StartRecv(const FileTransInfo& info) override;
    // Ends the worker, and stores the file when every byte had arrived.
    void Stop() override;

    // Where the next download of this id starts: the saved position less 4096, or 0.
    static uint64_t ResumeOffset(uint64_t savedPosition);
    uint64_t StartOffset() const { return m_resumeOffset; }
    CString DataPath() const { return m_dataPath; }
    CString ProgressPath() const { return m_progressPath; }
    CString FinalPath() const;

private:
    static DWORD WINAPI WorkerProc(void* self);
    void Run();
    int32_t ReceiveLoop();
    bool WriteBlock(const FileTransWire::DataView& block);
    bool FlushPending();
    void SaveProgress(bool force);
    void PostProgress(bool afterData);
    bool Complete() const { return m_bytesReceived >= m_info.fileSize && m_info.transferId != 0 && !m_writeFailed; }
    bool CompleteStep();
    uint64_t ReadSavedPosition() const;
    bool OpenFresh();
    void CloseFiles();

    uint32_t m_address = 0;
    uint16_t m_port = 0;
    CString m_folder;
    HANDLE m_dataFile = INVALID_HANDLE_VALUE;
    CString m_dataPath;
    FileTransInfo m_info = {};
    uint64_t m_bytesReceived = 0;
    uint64_t m_highestEnd = 0;
    HANDLE m_worker = nullptr;
    HANDLE m_workerEnded = nullptr;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    int32_t m_largestBlock = 0;
    DWORD m_startTime = 1;
    DWORD m_lastPostTime = 1;
    CString m_progressPath;
    HANDLE m_progressFile = INVALID_HANDLE_VALUE;
    uint64_t m_savedPosition = 0;
    uint64_t m_lastSavedWrite = 0;
    uint64_t m_resumeOffset = 0;
    bool m_stored = false;
    bool m_writeFailed = false;
    std::string m_pending; // data not yet written, contiguous from m_pendingOffset
    uint64_t m_pendingOffset = 0;
    SOCKET m_socket = INVALID_SOCKET;
};
