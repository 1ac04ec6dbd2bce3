#include "core/Logger.h"

#include "core/Folders.h"
#include "core/TextUtil.h"

#include <windows.h>
#include <io.h>
#include <share.h>
#include <ctime>
#include <string>

Logger& Logger::Instance()
{
    // Never freed, only closed where the at-exit destructors used to destroy it: a worker thread that
    // a shut-down left running may still write, and its lines are then dropped.
    static Logger* const logger = new Logger(GetAppDataFolder() + L"Log\\log.txt");
    static const struct Closer {
        ~Closer() { logger->Close(); }
    } closer;
    return *logger;
}

bool Logger::CopyWithSystem(const wchar_t* from, const wchar_t* to)
{
    return CopyFileW(from, to, FALSE) != FALSE;
}

Logger::Logger(const CString& path, CopyStep copy) : m_path(path), m_copy(copy ? copy : &Logger::CopyWithSystem)
{
    Open();
}

Logger::~Logger()
{
    Close();
}

void Logger::Close()
{
    std::lock_guard<std::mutex> hold(m_lock);
    FILE* file = m_file.exchange(nullptr);
    if (file) fclose(file);
}

namespace {

// The 64-bit size: ftell's long gives up at 2 GiB, and a log past that would never be cut again.
long long OpenFileSize(FILE* file)
{
    LARGE_INTEGER size = {};
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
}

// Drops the oldest lines so that at most `keep` bytes remain, starting at a line start. Done in place:
// a full disk, a common reason for the failed copy, leaves no room for a second file.
void KeepNewestLines(const CString& path, long long keep)
{
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file, &size) && size.QuadPart > keep) {
        // One byte more than is kept, so a line that starts exactly at the cut is found whole.
        std::string tail(static_cast<size_t>(keep + 1), '\0');
        LARGE_INTEGER from;
        from.QuadPart = size.QuadPart - keep - 1;
        DWORD read = 0;
        if (SetFilePointerEx(file, from, nullptr, FILE_BEGIN) &&
            ReadFile(file, &tail[0], static_cast<DWORD>(tail.size()), &read, nullptr) && read == tail.size()) {
            const size_t lineEnd = tail.find('\n');
            tail.erase(0, lineEnd == std::string::npos ? tail.size() : lineEnd + 1);
            LARGE_INTEGER start = {};
            DWORD written = 0;
            if (SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
                WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
            SetEndOfFile(file);
        }
    }
    CloseHandle(file);
}

} // namespace

bool Logger::ReplaceBackup(const CString& backup, unsigned long& error)
{
    // The old backup is replaced only by a complete copy: the copy is made under another name first.
    const CString temporary = backup.Left(backup.ReverseFind(L'\\') + 1) + L"log_bak.tmp";
    DeleteFileW(temporary); // a leftover of a copy cut short
    bool done = m_copy(m_path, temporary) &&
                MoveFileExW(temporary, backup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!done) {
        error = GetLastError();
        DeleteFileW(temporary);
    }
    return done;
}

void Logger::Open()
{
    int slash = m_path.ReverseFind(L'\\');
    if (slash > 0) EnsureFolder(m_path.Left(slash));
    // The wide path: a narrow one would be read in the ANSI code page and miss non-Latin folders.
    FILE* file = _wfsopen(m_path, L"at", _SH_DENYWR);
    if (!file) return;
    if (OpenFileSize(file) <= kRotateSize) {
        m_file = file;
        return;
    }
    // Our own handle must be gone before the copy: Windows refuses to copy a file held open for writing.
    fclose(file);
    unsigned long error = 0;
    const bool copied = ReplaceBackup(m_path.Left(slash + 1) + L"log_bak.txt", error);
    // Without a backup the log still may not grow for ever: its newest lines stay, the older ones go.
    if (!copied) KeepNewestLines(m_path, kKeepWithoutBackup);
    m_file = _wfsopen(m_path, copied ? L"wt" : L"at", _SH_DENYWR);
    if (!copied)
        Write(L"Error : the log could not be copied to log_bak.txt (error %u): its older lines were dropped", error);
}

void Logger::Write(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWindowsV(format, args);
    va_end(args);
    WriteLine(text.c_str());
}

std::string Logger::FormatLine(const wchar_t* text)
{
    char prefix[20] = {};
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_s(&local, &now) == 0) strftime(prefix, sizeof prefix, "%m/%d %X : ", &local);
    std::string line(prefix);
    line += Utf16ToUtf8(text);
    line += '\n';
    return line;
}

bool Logger::WriteLocked(const std::string& line)
{
    FILE* file = m_file.load();
    if (!file) return false; // closed at exit meanwhile
    m_writer = GetCurrentThreadId();
    _fseeki64(file, 0, SEEK_END);
    fwrite(line.data(), 1, line.size(), file);
    fflush(file);
    m_writer = 0;
    return true;
}

void Logger::WriteLine(const wchar_t* text)
{
    if (!m_file.load()) return;
    std::string line = FormatLine(text);
    std::lock_guard<std::mutex> hold(m_lock);
    WriteLocked(line);
}

bool Logger::WriteLineWithoutWaiting(const wchar_t* text)
{
    if (!m_file.load()) return false;
    // A crash inside a write leaves the lock (and the stream's own lock) held by this very thread.
    if (m_writer == GetCurrentThreadId()) return false;
    std::string line = FormatLine(text);
    // Another thread's write ends soon, unless that thread is stuck: then the line is skipped.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (m_lock.try_lock()) {
            bool written = WriteLocked(line);
            m_lock.unlock();
            return written;
        }
        Sleep(2);
    }
    return false;
}
