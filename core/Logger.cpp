#include "core/Logger.h"

#include "core/Folders.h"
#include "core/TextUtil.h"

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

void Logger::WriteLine(const wchar_t* text)
{
    if (!m_file) return;
    char prefix[20] = {};
    time_t now = time(nullptr);
    struct tm local;
    if (localtime_s(&local, &now) == 0) strftime(prefix, sizeof prefix, "%m/%d %X : ", &local);
    std::string line(prefix);
    line += Utf16ToUtf8(text);
    line += '\n';
    std::lock_guard<std::mutex> hold(m_lock);
    fseek(m_file, 0, SEEK_END);
    fwrite(line.data(), 1, line.size(), m_file);
    fflush(m_file);
}
