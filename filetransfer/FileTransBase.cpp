#include "filetransfer/FileTransBase.h"

#include "core/Logger.h"
#include "core/TextUtil.h"

#include <cstring>
#include <map>
#include <mutex>

namespace {

// Every posted record and its poster (null once the poster is destroyed), with the window it went to.
struct PostedRecord {
    const CxFileTransBase* owner;
    HWND window;
};

std::mutex& RegistryLock()
{
    static std::mutex* lock = new std::mutex; // outlives at-exit destructors
    return *lock;
}

std::map<FileTransStatus*, PostedRecord>& Registry()
{
    static auto* registry = new std::map<FileTransStatus*, PostedRecord>;
    return *registry;
}

// Orphans whose window is gone can never be handed back: their messages died with the window.
void PruneDeadOrphansLocked()
{
    auto& registry = Registry();
    for (auto it = registry.begin(); it != registry.end();) {
        if (!it->second.owner && !IsWindow(it->second.window)) {
            delete it->first;
            it = registry.erase(it);
        } else {
            ++it;
        }
    }
}

bool IsFinalState(uint16_t state)
{
    return state == FTS_SEND_FAILED || state == FTS_RECV_FAILED || state == FTS_SEND_DONE || state == FTS_RECV_DONE;
}

} // namespace

FileTransTimings& FileTransTimings::Defaults()
{
    static FileTransTimings timings;
    return timings;
}

bool EnsureWinsock()
{
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

CxFileTransBase::CxFileTransBase() : m_status(new FileTransStatus()), m_timings(FileTransTimings::Defaults())
{
    InitializeCriticalSection(&m_lock);
    EnsureWinsock();
}

CxFileTransBase::~CxFileTransBase()
{
    EnterCriticalSection(&m_lock);
    delete m_status;
    m_status = nullptr;
    {
        std::lock_guard<std::mutex> hold(RegistryLock());
        for (auto& entry : Registry()) {
            if (entry.second.owner == this) entry.second.owner = nullptr;
        }
        PruneDeadOrphansLocked();
    }
    LeaveCriticalSection(&m_lock);
    DeleteCriticalSection(&m_lock);
}

int CxFileTransBase::Start(SOCKET, uint32_t, uint16_t) { return -1; }
int CxFileTransBase::SendFile(const CString&, const FileTransInfo&) { return -1; }
int CxFileTransBase::SetParams(SOCKET, uint32_t, uint16_t, const CString&) { return -1; }
int CxFileTransBase::StartRecv(const FileTransInfo&) { return -1; }

void CxFileTransBase::Init(HWND window, UINT message)
{
    EnterCriticalSection(&m_lock);
    m_notifyWindow = window;
    m_notifyMessage = message;
    LeaveCriticalSection(&m_lock);
}

void CxFileTransBase::PostStatus()
{
    if (!m_status) return;
    EnterCriticalSection(&m_lock);
    if (m_notifyWindow && IsWindow(m_notifyWindow)) {
        auto* copy = new FileTransStatus(*m_status);
        copy->error = static_cast<uint16_t>(m_error & 0xFFFF);
        std::lock_guard<std::mutex> hold(RegistryLock());
        PruneDeadOrphansLocked();
        if (PostMessageW(m_notifyWindow, m_notifyMessage, 0, reinterpret_cast<LPARAM>(copy)))
            Registry()[copy] = {this, m_notifyWindow};
        else
            delete copy;
    }
    LeaveCriticalSection(&m_lock);
}

void CxFileTransBase::FreeStatus(FileTransStatus* record)
{
    EnterCriticalSection(&m_lock);
    {
        std::lock_guard<std::mutex> hold(RegistryLock());
        auto it = Registry().find(record);
        if (it != Registry().end() && it->second.owner == this) {
            delete it->first;
            Registry().erase(it);
        }
    }
    LeaveCriticalSection(&m_lock);
}

bool CxFileTransBase::FreeOrphanStatus(FileTransStatus* record)
{
    std::lock_guard<std::mutex> hold(RegistryLock());
    auto it = Registry().find(record);
    if (it == Registry().end() || it->second.owner) return false;
    delete it->first;
    Registry().erase(it);
    return true;
}

FileTransStatus* CxFileTransBase::PostOrphanStatus(HWND window, UINT message, const FileTransStatus& status)
{
    if (!window || !IsWindow(window)) return nullptr;
    auto* copy = new FileTransStatus(status);
    std::lock_guard<std::mutex> hold(RegistryLock());
    PruneDeadOrphansLocked();
    if (!PostMessageW(window, message, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
        return nullptr;
    }
    Registry()[copy] = {nullptr, window};
    return copy;
}

bool CxFileTransBase::IsPostedBy(const FileTransStatus* record, const CxFileTransBase* poster)
{
    if (!record) return false;
    std::lock_guard<std::mutex> hold(RegistryLock());
    auto it = Registry().find(const_cast<FileTransStatus*>(record));
    return it != Registry().end() && it->second.owner == poster;
}

size_t CxFileTransBase::OutstandingRecords()
{
    std::lock_guard<std::mutex> hold(RegistryLock());
    return Registry().size();
}

FileTransStatus CxFileTransBase::Status() const
{
    EnterCriticalSection(&m_lock);
    FileTransStatus copy = m_status ? *m_status : FileTransStatus();
    LeaveCriticalSection(&m_lock);
    return copy;
}

void CxFileTransBase::PostState(uint16_t state, uint16_t percent, uint16_t speed)
{
    EnterCriticalSection(&m_lock);
    bool drop = m_finalPosted || !m_status;
    if (!drop) {
        m_status->state = state;
        m_status->percent = percent;
        m_status->speed = speed;
        if (IsFinalState(state)) m_finalPosted = true;
        PostStatus(); // the critical section is re-entrant
    }
    LeaveCriticalSection(&m_lock);
}

void CxFileTransBase::PostFailure(uint16_t state, int32_t error)
{
    EnterCriticalSection(&m_lock);
    if (!m_finalPosted) m_error = error;
    uint16_t percent = m_status ? m_status->percent : 0;
    uint16_t speed = m_status ? m_status->speed : 0;
    LeaveCriticalSection(&m_lock);
    PostState(state, percent, speed);
}

void CxFileTransBase::SetStatusIds(uint64_t transferId, uint32_t sequence, uint32_t tag)
{
    EnterCriticalSection(&m_lock);
    if (m_status) {
        m_status->transferId = transferId;
        m_status->sequence = sequence;
        m_status->tag = tag;
    }
    LeaveCriticalSection(&m_lock);
}

void CxFileTransBase::SetTransferId(uint64_t transferId)
{
    EnterCriticalSection(&m_lock);
    if (m_status) m_status->transferId = transferId;
    LeaveCriticalSection(&m_lock);
}

uint16_t CxFileTransBase::Percent(uint64_t bytes, uint64_t size)
{
    if (size == 0 || bytes >= size) return 100;
    return static_cast<uint16_t>(bytes * 100 / size);
}

uint16_t CxFileTransBase::Speed(uint64_t bytes, DWORD elapsedMs)
{
    if (elapsedMs == 0) elapsedMs = 5;
    return static_cast<uint16_t>(bytes / elapsedMs);
}

int CxTCPBase::SendAll(SOCKET socket, const void* bytes, int count, DWORD timeoutMs)
{
    const char* p = static_cast<const char*>(bytes);
    int sent = 0;
    DWORD rounds = (timeoutMs + 49) / 50;
    for (DWORD round = 0; round < rounds && sent < count; ++round) {
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(socket, &writable);
        timeval wait = {0, 50 * 1000};
        int ready = select(0, nullptr, &writable, nullptr, &wait);
        if (ready < 0) {
            m_lastSocketError = WSAGetLastError();
            break;
        }
        if (ready == 0) continue;
        int n = send(socket, p + sent, count - sent, 0);
        if (n == SOCKET_ERROR) {
            m_lastSocketError = WSAGetLastError();
            break;
        }
        sent += n;
        if (n > 0) --round; // progress earns the round back: the time-out is for a stalled peer
    }
    return sent;
}

int CxTCPBase::RecvAll(SOCKET socket, void* buffer, int count, DWORD timeoutMs)
{
    char* p = static_cast<char*>(buffer);
    int received = 0;
    DWORD rounds = (timeoutMs + 49) / 50;
    for (DWORD round = 0; round < rounds && received < count; ++round) {
        int ready = WaitReadable(socket, 50);
        if (ready < 0) {
            m_lastSocketError = WSAGetLastError();
            break;
        }
        if (ready == 0) continue;
        int n = recv(socket, p + received, count - received, 0);
        if (n == SOCKET_ERROR) {
            m_lastSocketError = WSAGetLastError();
            break;
        }
        if (n == 0) break; // the peer closed: no more bytes will come
        received += n;
        --round;
    }
    return received;
}

int CxTCPBase::WaitWritable(SOCKET socket, int seconds)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_SET(socket, &writable);
    FD_ZERO(&failed);
    FD_SET(socket, &failed);
    timeval wait = {seconds, 30 * 1000};
    int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready > 0 && !FD_ISSET(socket, &writable)) return -1; // the connect failed
    return ready;
}

int CxTCPBase::WaitReadable(SOCKET socket, DWORD ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait = {static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
    return select(0, &readable, nullptr, nullptr, &wait);
}

int CxTCPBase::SetNonBlocking(SOCKET socket, bool on)
{
    u_long mode = on ? 1 : 0;
    return ioctlsocket(socket, FIONBIO, &mode);
}

SOCKET CxTCPBase::ConnectTimeout(uint32_t address, uint16_t port, int seconds)
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    SetNonBlocking(s, true);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    int error = 0;
    int length = sizeof error;
    bool connected = WaitWritable(s, seconds) > 0 &&
                     getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error == 0;
    if (!connected) {
        shutdown(s, SD_BOTH);
        closesocket(s);
        return INVALID_SOCKET;
    }
    SetNonBlocking(s, false);
    return s;
}

TcpPacketReader::Result TcpPacketReader::ReadPacket(SOCKET socket, size_t maxPayload, DWORD timeoutMs,
                                                    FileTransHeader* header, const uint8_t** payload)
{
    if (!Fill(socket, sizeof *header, timeoutMs)) return m_lastSocketError ? kSocketError : kShort;
    memcpy(header, &m_buffer[m_pos], sizeof *header);
    if (header->length > maxPayload || sizeof *header + header->length > m_buffer.size()) return kTooLong;
    if (!Fill(socket, sizeof *header + header->length, timeoutMs)) return m_lastSocketError ? kSocketError : kShort;
    *payload = &m_buffer[m_pos + sizeof *header];
    m_pos += sizeof *header + header->length;
    return kPacket;
}

bool TcpPacketReader::Fill(SOCKET socket, size_t need, DWORD timeoutMs)
{
    if (m_end - m_pos >= need) return true;
    if (m_pos > 0) {
        memmove(&m_buffer[0], &m_buffer[m_pos], m_end - m_pos);
        m_end -= m_pos;
        m_pos = 0;
    }
    DWORD start = NowMs();
    while (m_end < need) {
        DWORD spent = NowMs() - start;
        if (spent >= timeoutMs) return false;
        int ready = CxTCPBase::WaitReadable(socket, timeoutMs - spent < 50 ? timeoutMs - spent : 50);
        if (ready < 0) {
            m_lastSocketError = WSAGetLastError();
            return false;
        }
        if (ready == 0) continue;
        int n = recv(socket, reinterpret_cast<char*>(&m_buffer[m_end]), static_cast<int>(m_buffer.size() - m_end), 0);
        if (n == SOCKET_ERROR) {
            m_lastSocketError = WSAGetLastError();
            return false;
        }
        if (n == 0) return false; // closed by the peer
        m_end += static_cast<size_t>(n);
    }
    return true;
}

void CloseSocket(SOCKET& socket)
{
    if (socket != INVALID_SOCKET) {
        closesocket(socket);
        socket = INVALID_SOCKET;
    }
}

CString JoinPath(const CString& folder, const CString& name)
{
    CString left(folder);
    left.TrimRight(L"\\/");
    return left + L"\\" + name;
}

HANDLE OpenSourceFile(const CString& path, uint64_t* size)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER length = {};
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &length)) {
        *size = static_cast<uint64_t>(length.QuadPart);
        return file;
    }
    Logger::Instance().Write(L"fileTransfer: Err, cannot open %s for sending, %d", path.GetString(), GetLastError());
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return INVALID_HANDLE_VALUE;
}

void NameFromPath(FileTransInfo& info, const CString& path)
{
    int slash = path.ReverseFind(L'\\');
    CString name = slash >= 0 ? path.Mid(slash + 1) : path;
    std::string fitted = FileTransWire::FitFileName(Utf16ToUtf8(name), FileTransWire::kFileNameBytes, true);
    memset(info.fileName, 0, sizeof info.fileName);
    memcpy(info.fileName, fitted.data(), fitted.size());
}

void EndWorker(HANDLE& worker, HANDLE& ended, DWORD waitMs, DWORD exitCode, const wchar_t* what)
{
    if (worker && WaitForSingleObject(worker, waitMs) == WAIT_TIMEOUT) {
        Logger::Instance().Write(L"fileTransfer: Err, %s thread did not end, terminating", what);
        TerminateThread(worker, exitCode);
    }
    if (worker) CloseHandle(worker);
    if (ended) CloseHandle(ended);
    worker = ended = nullptr;
}
