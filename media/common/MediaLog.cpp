#include "media/common/MediaLog.h"

#include "core/Folders.h"

#include <cstdio>

namespace {

// Scope lock for the log's critical section.
class LogLock {
public:
    explicit LogLock(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    ~LogLock() { LeaveCriticalSection(&m_lock); }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;
private:
    CRITICAL_SECTION& m_lock;
};

HANDLE OpenForAppending(const CString& path)
{
    return CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const char* bytes, DWORD length)
{
    DWORD written = 0;
    return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

} // namespace

MediaLog::MediaLog() { InitializeCriticalSection(&m_lock); }

MediaLog::~MediaLog()
{
    Close();
    DeleteCriticalSection(&m_lock);
}

bool MediaLog::Open(const CString& folder, const wchar_t* fileName, const char* libraryName, const char* buildTime,
                    const char* buildDate)
{
    Close();
    CString base(folder);
    if (!base.IsEmpty() && base[base.GetLength() - 1] != L'\\') base += L'\\';
    if (!EnsureFolder(base)) return false;
    CString path = base + fileName;

    // Only a little of earlier runs is kept: a larger file is deleted before this run appends.
    HANDLE probe = OpenForAppending(path);
    if (probe == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool tooLarge = GetFileSizeEx(probe, &size) && size.QuadPart > static_cast<LONGLONG>(kKeepBytes);
    CloseHandle(probe);
    if (tooLarge) DeleteFileW(path);

    HANDLE file = OpenForAppending(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    {
        LogLock lock(m_lock);
        m_file = file;
        m_path = path;
    }
    Write("--%s buildtime = %s: %s\r\n", libraryName, buildTime, buildDate);
    return true;
}

void MediaLog::Close()
{
    LogLock lock(m_lock);
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

bool MediaLog::IsOpen() const
{
    LogLock lock(m_lock);
    return m_file != INVALID_HANDLE_VALUE;
}

CString MediaLog::Path() const
{
    LogLock lock(m_lock);
    return m_path;
}

void MediaLog::Write(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteV(format, args);
    va_end(args);
}

void MediaLog::WriteV(const char* format, va_list args)
{
    if (!format) return;
    char line[kLineBytes];
    int length = vsnprintf(line, sizeof line, format, args);
    if (length < 0) return;
    if (length > kLineBytes - 1) length = kLineBytes - 1;
    LogLock lock(m_lock);
    if (m_file == INVALID_HANDLE_VALUE) return;
    WriteAll(m_file, line, static_cast<DWORD>(length));
}

MediaLog& TheMediaLog()
{
    // Never destroyed: threads of the library may still log while static destructors run.
    static MediaLog* log = new MediaLog;
    return *log;
}

CString MediaLogFolder() { return GetAppDataFolder() + L"log\\"; }

const char* GuidToRegistryText(const GUID& guid, char (&text)[40])
{
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}
