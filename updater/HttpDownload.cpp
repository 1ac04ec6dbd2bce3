#include "updater/HttpDownload.h"

#include "core/TextUtil.h"
#include "protocol/HostAddress.h"
#include "updater/UpdateArgs.h"

#include <cstring>

namespace {
const size_t kTransferBuffer = 0x20000;
} // namespace

bool ParseDownloadUrl(const CString& address, const CString& tempFolder, DWORD ticks, DownloadTarget& target)
{
    int lastSlash = address.ReverseFind(L'/');
    target.destination = tempFolder + (lastSlash < 0 ? CString(L"LVTemp.exe") : address.Mid(lastSlash + 1));
    int scheme = address.Find(L"//");
    int hostStart = scheme + 2; // without "//" (-1) the host starts at the second character
    int pathStart = address.Find(L'/', hostStart);
    if (pathStart < 0) return false;
    CString hostPart = address.Mid(hostStart, pathStart - hostStart);
    target.path = address.Mid(pathStart);
    int colon = hostPart.Find(L':');
    if (colon >= 0) {
        target.host = hostPart.Left(colon);
        target.port = static_cast<uint16_t>(_wtoi(hostPart.Mid(colon + 1)));
    } else {
        target.host = hostPart;
        target.port = 80;
    }
    // The random query keeps caches between us and the server from answering with an old installer.
    if (target.path.Find(L"?random") < 0) {
        CString withRandom;
        withRandom.Format(L"%s?random=%d", target.path.GetString(), static_cast<int>(ticks));
        target.path = withRandom;
    }
    return true;
}

std::string BuildDownloadRequest(const CString& path, const CString& host)
{
    CString request;
    request.Format(L"GET %s HTTP/1.1\r\nHost:%s\r\nAccept: *.*\r\nUser-Agent: ZentoraBrower\r\nPragma: no-cache\r\n"
                   L"Cache-Control: no-cache\r\nConnection:Keep-Alive\r\n\r\n",
                   path.GetString(), host.GetString());
    return Utf16ToUtf8(request);
}

int ParseStatusCode(const char* header, size_t length)
{
    std::string text(header, length);
    if (text.compare(0, 5, "HTTP/") != 0) return 0;
    size_t at = text.find(' ');
    if (at == std::string::npos || at > text.find("\r\n")) return 0;
    while (at < text.size() && text[at] == ' ') ++at;
    int code = 0, digits = 0;
    for (; at < text.size() && digits < 3 && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) code = code * 10 + (text[at] - '0');
    bool ended = at == text.size() || text[at] == ' ' || text[at] == '\r';
    return digits == 3 && ended ? code : 0;
}

uint64_t ParseContentLength(const char* header, size_t length)
{
    std::string text(header, length);
    size_t at = text.find("Content-Length:");
    if (at == std::string::npos) return 0;
    size_t i = at + strlen("Content-Length:");
    while (i < text.size() && text[i] == ' ') ++i;
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > (UINT64_MAX - 9) / 10) return 0; // absurd lengths read as none
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    return value;
}

CHttpDownload::CHttpDownload(HWND notifyWindow) : m_window(notifyWindow), m_buffer(kTransferBuffer)
{
    m_enterComApartment = true;
}

CHttpDownload::~CHttpDownload()
{
    Stop();
}

HANDLE CHttpDownload::Start(const CString& address)
{
    m_address = address;
    m_address.Replace(L'\\', L'/');
    // Cleared here, not on the thread: a Stop that comes before the thread runs must still count.
    InterlockedExchange(&m_cancel, 0);
    return CThread::Start();
}

void CHttpDownload::Stop()
{
    InterlockedExchange(&m_cancel, 1);
    CloseSocket();
    if (!m_thread) return;
    if (WaitForSingleObject(m_thread, stopWaitMs) != WAIT_OBJECT_0) {
        TerminateThread(m_thread, 0);
        // A thread ended by force leaves its file behind.
        if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
    CloseHandle(m_thread);
    m_thread = nullptr;
}

void CHttpDownload::CloseSocket()
{
    std::lock_guard<std::mutex> hold(m_socketLock);
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
}

bool CHttpDownload::KeepSocket(SOCKET socket)
{
    std::lock_guard<std::mutex> hold(m_socketLock);
    if (m_cancel) {
        closesocket(socket);
        return false;
    }
    m_socket = socket;
    return true;
}

void CHttpDownload::Post(WPARAM percent, LPARAM result)
{
    if (m_window) PostMessageW(m_window, WM_DOWNLOAD_PROGRESS, percent, result);
}

void CHttpDownload::Run()
{
    m_result = Download();
    CloseSocket();
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    if (m_result != eDownload_Ok) {
        Post(0, m_result);
        return;
    }
    if (RunInstaller(m_target.destination, installerWaitMs)) {
        Post(100, 0);
    } else {
        m_result = eDownload_InstallerFailed;
        Post(0, m_result);
    }
}

int CHttpDownload::ReadHeader(SOCKET socket, std::string& header)
{
    // One byte at a time, so no byte of the body is read with the header.
    size_t used = 0;
    while (!m_cancel) {
        if (used == m_buffer.size()) return eDownload_NoHeader; // a header that fills the buffer never ends
        int got = recv(socket, &m_buffer[used], 1, 0);
        if (got <= 0) return eDownload_NoHeader;
        ++used;
        if (used > 4 && memcmp(&m_buffer[used - 4], "\r\n\r\n", 4) == 0) {
            header.assign(m_buffer.data(), used);
            return eDownload_Ok;
        }
    }
    return eDownload_NoHeader;
}

int CHttpDownload::Download()
{
    CString folder = tempFolder.IsEmpty() ? TempFolderPath() : tempFolder;
    if (!ParseDownloadUrl(m_address, folder, GetTickCount(), m_target)) return eDownload_BadAddress;
    sockaddr_in server = {};
    server.sin_family = AF_INET;
    server.sin_port = htons(m_target.port);
    uint32_t resolved = 0;
    if (!ResolveIPv4(m_target.host, resolved)) return eDownload_BadAddress;
    server.sin_addr.s_addr = resolved;

    // The worker keeps its own copy of the handle: Stop may close the shared one at any time, and the
    // calls below then fail instead of blocking.
    SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connection == INVALID_SOCKET || !KeepSocket(connection) ||
        connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) == SOCKET_ERROR)
        return eDownload_ConnectFailed;

    std::string request = BuildDownloadRequest(m_target.path, m_target.host);
    if (send(connection, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size()))
        return eDownload_SendFailed;

    std::string header;
    int headerResult = ReadHeader(connection, header);
    if (headerResult != eDownload_Ok) return headerResult;
    // An error page with a length is no installer: it is neither saved nor run.
    if (ParseStatusCode(header.data(), header.size()) != 200) return eDownload_NoLength;
    uint64_t length = ParseContentLength(header.data(), header.size());
    if (length == 0) return eDownload_NoLength;

    m_file = CreateFileW(m_target.destination, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) return eDownload_FileError;
    if (SetFilePointer(m_file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return eDownload_FileError;

    uint64_t received = 0;
    while (received < length && !m_cancel) {
        // Never past the announced length: bytes a server sends after the body are not the installer's.
        uint64_t wanted = length - received < m_buffer.size() ? length - received : m_buffer.size();
        int got = recv(connection, m_buffer.data(), static_cast<int>(wanted), 0);
        if (got <= 0) break;
        DWORD written = 0;
        if (!WriteFile(m_file, m_buffer.data(), static_cast<DWORD>(got), &written, nullptr) ||
            written != static_cast<DWORD>(got))
            return eDownload_FileError;
        received += static_cast<uint64_t>(got);
        Post(static_cast<WPARAM>(received * 99 / length), 0);
    }
    if (received < length) return eDownload_Short;
    return eDownload_Ok;
}

bool RunInstaller(const CString& file, DWORD waitMs)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    wchar_t arguments[] = L" /verysilent";
    if (!CreateProcessW(file, arguments, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
    bool ended = WaitForSingleObject(info.hProcess, waitMs) == WAIT_OBJECT_0;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return ended;
}
