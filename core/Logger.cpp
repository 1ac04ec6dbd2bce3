#include "core/Logger.h"

#include "core/Folders.h"
#include "core/TextUtil.h"

#include <windows.h>
#include <share.h>
#include <ctime>
#include <string>

Logger& Logger::Instance()
{
    static Logger logger(GetAppDataFolder() + L"Log\\log.txt");
    return logger;
}

Logger::Logger(const CString& path) : m_path(path)
{
    Open();
}

Logger::~Logger()
{
    if (m_file) fclose(m_file);
}

void Logger::Open()
{
    int slash = m_path.ReverseFind(L'\\');
    if (slash > 0) EnsureFolder(m_path.Left(slash));
    // The wide path: a narrow one would be read in the ANSI code page and miss non-Latin folders.
    m_file = _wfsopen(m_path, L"at", _SH_DENYWR);
    if (!m_file) return;
    fseek(m_file, 0, SEEK_END);
    if (ftell(m_file) > kRotateSize) {
        CString backup = m_path.Left(slash + 1) + L"log_bak.txt";
        DeleteFileW(backup);
        CopyFileW(m_path, backup, FALSE);
        fclose(m_file);
        m_file = _wfsopen(m_path, L"wt", _SH_DENYWR);
    }
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

void Logger::WriteLocked(const std::string& line)
{
    m_writer = GetCurrentThreadId();
    fseek(m_file, 0, SEEK_END);
    fwrite(line.data(), 1, line.size(), m_file);
    fflush(m_file);
    m_writer = 0;
}

void Logger::WriteLine(const wchar_t* text)
{
    if (!m_file) return;
    std::string line = FormatLine(text);
    std::lock_guard<std::mutex> hold(m_lock);
    WriteLocked(line);
}

bool Logger::WriteLineWithoutWaiting(const wchar_t* text)
{
    if (!m_file) return false;
    // A crash inside a write leaves the lock (and the stream's own lock) held by this very thread.
    if (m_writer == GetCurrentThreadId()) return false;
    std::string line = FormatLine(text);
    // Another thread's write ends soon, unless that thread is stuck: then the line is skipped.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (m_lock.try_lock()) {
            WriteLocked(line);
            m_lock.unlock();
            return true;
        }
        Sleep(2);
    }
    return false;
}
