#include "core/CrashDump.h"

#include "core/Folders.h"
#include "core/Logger.h"

#include <dbghelp.h>
#include <cstdarg>
#include <ctime>
#include <string>
#include <exception>

// The filter's own log lines: the crashing thread may hold the logger's lock (a crash inside a
// write), so they never wait for it; a line that cannot be written at once is skipped.
static void CrashLog(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWindowsV(format, args);
    va_end(args);
    Logger::Instance().WriteLineWithoutWaiting(text.c_str());
}

LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* exceptionPointers)
{
    CString folder = GetAppDataFolder() + L"Dump\\";
    EnsureFolder(folder);
    wchar_t name[64] = {};
    __time64_t now = _time64(nullptr);
    struct tm local;
    if (_localtime64_s(&local, &now) == 0) wcsftime(name, 64, L"%m-%d %H-%M-%S.dmp", &local);
    CString path = folder + name;

    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        CrashLog(L"Error : 创建dump文件失败，路径为%s,错误码为%u", path.GetString(), GetLastError());
        return EXCEPTION_EXECUTE_HANDLER;
    }
    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exceptionPointers;
    information.ClientPointers = FALSE;
    BOOL written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                     exceptionPointers ? &information : nullptr, nullptr, nullptr);
    if (written)
        CrashLog(L"Infor : 写入dump文件成功");
    else
        CrashLog(L"Error : 写入dump文件失败，错误码为%u", GetLastError());
    CloseHandle(file);
    return EXCEPTION_EXECUTE_HANDLER;
}

static void RaiseOnTerminate()
{
    RaiseException(0xE0000001, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void InstallCrashHandlers()
{
    SetUnhandledExceptionFilter(TopLevelExceptionFilter);
    std::set_terminate(RaiseOnTerminate);
}
