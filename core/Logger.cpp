#include "core/Logger.h"

#include "core/Folders.h"
#include "core/TextUtil.h"

#include <windows.h>
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

void Logger::Open()
{
    int slash = m_path.ReverseFind(L'\\');
    if (slash > 0) EnsureFolder(m_path.Left(slash));
    // The wide path: a narrow one would be read in the ANSI code page and miss non-Latin folders.
    FILE* file = _wfsopen(m_path, L"at", _SH_DENYWR);
    if (!file) return;
    fseek(file, 0, SEEK_END);
    if (ftell(file) > kRotateSize) {
        // Our own handle must be gone before the copy: Windows refuses to copy a file held open for
        // writing. The copy replaces the old backup, which a failed copy thus leaves in place; only a
        // log whose copy is safe in the backup is emptied.
        fclose(file);
        CString backup = m_path.Left(slash + 1) + L"log_bak.txt";
        const bool copied = m_copy(m_path, backup);
        const DWORD error = copied ? 0 : GetLastError();
        file = _wfsopen(m_path, copied ? L"wt" : L"at", _SH_DENYWR);
        m_file = file;
        if (!copied) Write(L"Error : the log could not be copied to log_bak.txt (error %u): it is kept", error);
        return;
    }
    m_file = file;
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
    fseek(file, 0, SEEK_END);
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
