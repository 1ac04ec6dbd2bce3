#include "platform/castmix/EngineLog.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstdio>

namespace {

HANDLE OpenForAppending(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool MakeFolder(std::wstring folder)
{
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (folder.empty()) return false;
    int result = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    if (result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) return true;
    DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring WithBackslash(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

} // namespace

bool EngineLog::Open(const std::wstring& folder, const char* buildTime, const char* buildDate)
{
    Close();
    std::wstring base = WithBackslash(folder);
    if (!MakeFolder(base)) return false;
    std::wstring path = base + L"Castmix.log";

    // Only a little of earlier runs is kept: a larger file is deleted before this run appends.
    HANDLE probe = OpenForAppending(path);
    if (probe == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    bool tooLarge = GetFileSizeEx(probe, &size) && size.QuadPart > static_cast<LONGLONG>(kKeepBytes);
    CloseHandle(probe);
    if (tooLarge) DeleteFileW(path.c_str());

    HANDLE file = OpenForAppending(path);
    if (file == INVALID_HANDLE_VALUE) return false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_file = file;
    }
    Write("--Castmix buildtime = %s: %s\r\n", buildTime, buildDate);
    return true;
}

void EngineLog::Close()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

bool EngineLog::IsOpen() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_file != INVALID_HANDLE_VALUE;
}

void EngineLog::Write(const char* format, ...)
{
    if (!format) return;
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0) return;
    if (length > kLineBytes - 1) length = kLineBytes - 1;
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(m_file, line, static_cast<DWORD>(length), &written, nullptr);
}

EngineLog& TheEngineLog()
{
    static EngineLog* log = new EngineLog;
    return *log;
}

std::wstring EngineLogFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"LUMENVALE_DATA_FOLDER", folder, MAX_PATH) > 0) return WithBackslash(folder) + L"log\\";
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_COMMON_APPDATA, FALSE);
    return std::wstring(folder) + L"\\Zentora\\Lumenvale\\log\\";
}
