#include "core/CrashDump.h"

#include "core/Folders.h"
#include "core/Logger.h"

#include <dbghelp.h>
#include <ctime>
#include <exception>

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
        LOG_ERROR(L"创建dump文件失败，路径为%s,错误码为%u", path.GetString(), GetLastError());
        return EXCEPTION_EXECUTE_HANDLER;
    }
    MINIDUMP_EXCEPTION_INFORMATION information;
    information.ThreadId = GetCurrentThreadId();
    information.ExceptionPointers = exceptionPointers;
    information.ClientPointers = FALSE;
    BOOL written = MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file, MiniDumpNormal,
                                     exceptionPointers ? &information : nullptr, nullptr, nullptr);
    if (written)
        LOG_INFO(L"写入dump文件成功");
    else
        LOG_ERROR(L"写入dump文件失败，错误码为%u", GetLastError());
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
