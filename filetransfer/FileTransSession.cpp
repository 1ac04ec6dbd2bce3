#include "filetransfer/FileTransSession.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "filetransfer/TcpFileRcver.h"
#include "filetransfer/TcpFileSender.h"
#include "filetransfer/UdpFileTrans.h"

#include <shlobj.h>
#include <cstring>
#include <initializer_list>

using namespace FileTransWire;

bool IsPeerSocket(SOCKET socket)
{
    return socket != 0 && socket != INVALID_SOCKET;
}

bool IsRelayKind(uint8_t kind)
{
    return kind == 2 || kind == 3 || kind == 4;
}

void CxFileFacade::SetNotify(HWND window, UINT message)
{
    m_notifyWindow = window;
    m_notifyMessage = message;
}

void CxFileFacade::Stop()
{
    DropObject();
    m_notifyWindow = nullptr;
    m_notifyMessage = 0;
    ClearAddress();
    m_info = FileTransInfo();
}

void CxFileFacade::StoreAddress(SOCKET socket, uint32_t address, uint16_t port)
{
    m_socket = socket == 0 ? INVALID_SOCKET : socket;
    m_address = address;
    m_port = port;
}

void CxFileFacade::ClearAddress()
{
    m_socket = INVALID_SOCKET;
    m_address = 0;
    m_port = 0;
}

void CxFileFacade::DropObject()
{
    if (m_object) m_object->Stop();
    m_object.reset();
}

int CxFileSendSession::SetStun(SOCKET socket, uint32_t address, uint16_t port)
{
    StoreAddress(socket, address, port);
    DropObject();
    return 1;
}

int CxFileSendSession::StartSend(const CString& path, const FileTransInfo& info)
{
    m_path = path;
    m_info = info;
    DropObject();
    if (UsesPeerLink(info.kind))
        m_object.reset(new CxUDPP2PFileTrans);
    else
        m_object.reset(new CxTCPFileSender);
    if (!m_object) return -1;
    m_object->Init(m_notifyWindow, m_notifyMessage);
    int result = -2;
    if (m_object->Start(m_socket, m_address, m_port) >= 0) {
        result = m_object->SendFile(path, info);
        if (result >= 0) return result;
        result = -3;
    }
    Stop();
    m_path.Empty();
    return result;
}

int CxFileRecvSession::SetPeerAddr(SOCKET socket, uint32_t address, uint16_t port, const CString& folder)
{
    StoreAddress(socket, address, port);
    m_folder = folder;
    return 1;
}

int CxFileRecvSession::StartRecv(const FileTransInfo& info)
{
    m_info = info;
    DropObject();
    if (UsesPeerLink(info.kind))
        m_object.reset(new CxUDPP2PFileRcver);
    else
        m_object.reset(new CxTCPFileRcver);
    if (!m_object) return -1;
    m_object->Init(m_notifyWindow, m_notifyMessage);
    int result = -2;
    if (m_object->SetParams(m_socket, m_address, m_port, m_folder) >= 0) {
        result = m_object->StartRecv(info);
        if (result >= 0) return result;
        result = -3;
    }
    DropObject();
    ClearAddress();
    return result;
}

CFileTransSession::~CFileTransSession()
{
    // Records still queued for the window stay valid: the base hands them to the process-wide list.
    Stop();
}

bool CFileTransSession::StartSend(const FileTransRequest& request)
{
    m_send.SetNotify(request.notifyWindow, request.notifyMessage);
    const ServerNode& server = SessionContext::Instance()->fileServer;
    int result = m_send.SetStun(INVALID_SOCKET, server.address, server.port);
    if (result < 0) {
        Logger::Instance().Write(L"fileTransfer: Err, SetStun err , errcode = %d", result);
        return false;
    }
    FileTransInfo info = {};
    CopyName(info, Utf16ToUtf8(request.fileName));
    info.fileSize = request.fileSize;
    info.kind = 3;
    info.secondCode = 6;
    std::string md5 = WideToAnsi(request.md5);
    memcpy(info.md5, md5.data(), md5.size() < 32 ? md5.size() : 32);
    info.userId = SessionContext::Instance()->userId;
    info.roomId = SessionContext::Instance()->room.roomId;
    info.sequence = request.sequence;
    info.tag = request.tag;
    result = m_send.StartSend(request.localPath, info);
    if (result < 0) {
        Logger::Instance().Write(L"fileTransfer: Err, start send err , errcode = %d", result);
        return false;
    }
    return true;
}

bool CFileTransSession::StartRecv(const FileTransRequest& request)
{
    // The name becomes part of a path: anything that could leave the folder is refused.
    if (!IsSafeFileName(request.fileName.str())) {
        Logger::Instance().Write(L"FileTransfer: Err, refused file name \"%s\"", request.fileName.GetString());
        return false;
    }
    if (!request.saveFolder.IsEmpty()) {
        CString existing = JoinPath(request.saveFolder, request.fileName);
        if (FileExists(existing)) {
            FileTransStatus done = {request.transferId, FTS_RECV_DONE, 100, 0, 0, request.sequence, request.tag};
            m_answer = CxFileTransBase::PostOrphanStatus(request.notifyWindow, request.notifyMessage, done);
            m_transferId = request.transferId;
            m_sequence = request.sequence;
            m_tag = request.tag;
            m_finalPath = existing;
            Logger::Instance().Write(L"FileTransfer: Err, file has been downloaded.");
            return true;
        }
    }
    CString folder = FolderExists(request.saveFolder) ? request.saveFolder : CreateDefaultPath();
    if (folder.IsEmpty()) {
        Logger::Instance().Write(L"FileTransfer: Err, no folder to receive into");
        return false;
    }
    m_recv.SetNotify(request.notifyWindow, request.notifyMessage);
    const ServerNode& server = SessionContext::Instance()->fileServer;
    int result = m_recv.SetPeerAddr(INVALID_SOCKET, server.address, server.port, folder);
    if (result < 0) {
        Logger::Instance().Write(L"fileTransfer: Err, SetPeerAddr err, errcode = %d", result);
        return false;
    }
    m_sequence = request.sequence;
    m_tag = request.tag;
    m_transferId = request.transferId;
    FileTransInfo info = {};
    info.transferId = request.transferId;
    info.fileSize = request.fileSize;
    info.sequence = request.sequence;
    info.tag = request.tag;
    CopyName(info, Utf16ToUtf8(request.fileName));
    result = m_recv.StartRecv(info);
    if (result < 0) {
        Logger::Instance().Write(L"fileTransfer: Err, start recv err, errcode = %d", result);
        return false;
    }
    CString id;
    id.Format(L"%I64d", static_cast<long long>(request.transferId));
    m_finalPath = JoinPath(folder, id);
    return true;
}

void CFileTransSession::Stop()
{
    m_send.Stop();
    m_recv.Stop();
}

void CFileTransSession::FreeStatus(FileTransStatus* record)
{
    if (record && record == m_answer) m_answer = nullptr;
    if (m_send.Object()) m_send.Object()->FreeStatus(record);
    if (m_recv.Object()) m_recv.Object()->FreeStatus(record);
    // Records of objects already stopped, and the already-downloaded answer.
    CxFileTransBase::FreeOrphanStatus(record);
}

bool CFileTransSession::Posted(const FileTransStatus* record) const
{
    if (!record) return false;
    if (record == m_answer) return CxFileTransBase::IsPostedBy(record, nullptr);
    for (const CxFileTransBase* object : {m_send.Object(), m_recv.Object()})
        if (object && CxFileTransBase::IsPostedBy(record, object)) return true;
    return false;
}

CString CFileTransSession::GetPath(uint64_t transferId) const
{
    return transferId == m_transferId ? m_finalPath : CString();
}

CString CFileTransSession::CreateDefaultPath()
{
    if (!m_defaultFolder.IsEmpty()) return m_defaultFolder;
    m_defaultFolder = GetAppDataFolder() + L"Downloads\\";
    int result = SHCreateDirectoryExW(nullptr, m_defaultFolder, nullptr);
    if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS) {
        Logger::Instance().Write(L"FileTransfer: Err, CreateDefaultPath err, %d", result);
        m_defaultFolder.Empty();
    }
    return m_defaultFolder;
}

bool CFileTransSession::FileExists(const CString& path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool file = false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) file = true;
    } while (!file && FindNextFileW(find, &found));
    FindClose(find);
    return file;
}

bool CFileTransSession::FolderExists(const CString& path)
{
    CString bare(path);
    bare.TrimRight(L'\\');
    if (bare.IsEmpty()) return false;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(bare, &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool folder = false;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folder = true;
    } while (!folder && FindNextFileW(find, &found));
    FindClose(find);
    return folder;
}
