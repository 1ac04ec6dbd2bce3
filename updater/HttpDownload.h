// The installer download over plain HTTP, on its own thread, with progress posted to a window.
#pragma once
#include "core/Thread.h"
#include "platform/afx/AfxString.h"
#include <winsock2.h>
#include <cstdint>
#include <mutex>
#include <vector>

#define WM_DOWNLOAD_PROGRESS (WM_USER + 100)

enum DownloadResult {
    eDownload_Ok = 0,
    eDownload_FileError = -1,
    eDownload_BadAddress = -3,
    eDownload_ConnectFailed = -4,
    eDownload_SendFailed = -5,
    eDownload_NoHeader = -6,
    eDownload_NoLength = -9, // also any answer but 200: it announces no installer
    eDownload_Short = -10,
    eDownload_InstallerFailed = -11,
};

// Parts of a download address.
struct DownloadTarget {
    CString destination; // temporary folder + the name after the last '/'
    CString host;
    CString path;        // from the '/' after the host, with "?random=<ticks>" added when missing
    uint16_t port = 80;
};
// Splits the address (slashes only); false when there is no '/' after the host.
bool ParseDownloadUrl(const CString& address, const CString& tempFolder, DWORD ticks, DownloadTarget& target);
// The request text the server gets.
std::string BuildDownloadRequest(const CString& path, const CString& host);
// The status of the response's first line ("HTTP/1.1 200 OK" gives 200); 0 when there is none.
int ParseStatusCode(const char* header, size_t length);
// The length announced by "Content-Length:" in a response header; 0 when missing.
uint64_t ParseContentLength(const char* header, size_t length);

class CHttpDownload : public CThread {
public:
    explicit CHttpDownload(HWND notifyWindow);
    ~CHttpDownload() override;

    // Keeps the address with every backslash turned into a slash, then starts the thread.
    HANDLE Start(const CString& address);
    // Sets the cancel flag and closes the socket, so that a blocked connect or receive returns; waits,
    // and ends the thread by force only when it still does not end.
    void Stop();
    void Run() override;

    int Result() const { return m_result; }
    const CString& Destination() const { return m_target.destination; }

    // The waits, shortened by tests.
    DWORD installerWaitMs = 30000;
    DWORD stopWaitMs = 5000;
    CString tempFolder; // empty: the system's temporary folder

private:
    int Download();
    int ReadHeader(SOCKET socket, std::string& header);
    // False when Stop came first: the socket is closed then and never used.
    bool KeepSocket(SOCKET socket);
    void CloseSocket();
    void Post(WPARAM percent, LPARAM result);

    volatile LONG m_cancel = 0;
    CString m_address;
    HWND m_window;
    std::vector<char> m_buffer;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    int m_result = 0;
    DownloadTarget m_target;
    std::mutex m_socketLock;
    SOCKET m_socket = INVALID_SOCKET; // the worker's connection; closed under the lock by either thread
};

// Runs the installer silently and waits for it; true when it started and ended within the time.
bool RunInstaller(const CString& file, DWORD waitMs);
