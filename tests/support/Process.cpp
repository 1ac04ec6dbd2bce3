#include "tests/support/Process.h"

#include <string>
#include <vector>

ChildResult RunChild(const CString& program, const CString& arguments, const wchar_t* extraEnvironment,
                     DWORD timeoutMs)
{
    ChildResult result;
    // The child's environment block: ours, then the extra variables (later entries do not override on
    // Windows, so ours are filtered for the names being set).
    std::vector<std::wstring> extras;
    for (const wchar_t* p = extraEnvironment; p && *p; p += wcslen(p) + 1) extras.emplace_back(p);
    std::wstring block;
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* p = current; p && *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        bool replaced = false;
        for (const std::wstring& extra : extras) {
            size_t eq = extra.find(L'=');
            if (eq != std::wstring::npos && _wcsnicmp(entry.c_str(), extra.c_str(), eq + 1) == 0) replaced = true;
        }
        if (!replaced) block += entry + L'\0';
    }
    FreeEnvironmentStringsW(current);
    for (const std::wstring& extra : extras) block += extra + L'\0';
    block += L'\0';

    CString commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program, commandLine.GetBuffer(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        &block[0], nullptr, &startup, &info))
        return result;
    commandLine.ReleaseBuffer();
    result.started = true;
    if (WaitForSingleObject(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        result.finished = true;
        GetExitCodeProcess(info.hProcess, &result.exitCode);
    } else {
        TerminateProcess(info.hProcess, 0xDEAD);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}
