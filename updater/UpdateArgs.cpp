#include "updater/UpdateArgs.h"

#include <windows.h>

bool SplitUpdateArgs(const CString& commandLine, CString& address, CString& program, CString& arguments)
{
    address.Empty();
    program.Empty();
    arguments.Empty();
    if (commandLine.IsEmpty()) return true;
    int first = commandLine.Find(L';');
    if (first < 0 || first == commandLine.GetLength() - 1) return false;
    int second = commandLine.Find(L';', first + 1);
    if (second < 0) return false;
    address = commandLine.Left(first);
    program = commandLine.Mid(first + 1, second - first - 1);
    arguments = commandLine.Mid(second + 1);
    address.Trim();
    program.Trim();
    arguments.Trim();
    return true;
}

bool RunProcess(const CString& commandLine, const CString& program)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    CString line(commandLine); // CreateProcessW may write into its command line
    BOOL started = CreateProcessW(program.IsEmpty() ? nullptr : program.GetString(), line.GetBuffer(), nullptr,
                                  nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    line.ReleaseBuffer();
    if (!started) return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

CString RunningFolder()
{
    wchar_t path[512] = {};
    GetModuleFileNameW(nullptr, path, 512);
    CString full(path);
    return full.Left(full.ReverseFind(L'\\') + 1);
}

CString TempFolderPath()
{
    wchar_t temp[512] = {};
    GetTempPathW(512, temp);
    CString folder(temp);
    if (!folder.IsEmpty() && folder[folder.GetLength() - 1] != L'\\') folder += L'\\';
    return folder;
}

bool CopySelfToTemp(CString& copyPath)
{
    wchar_t self[512] = {};
    GetModuleFileNameW(nullptr, self, 512);
    CString folder = TempFolderPath();
    for (int n = 0; n <= 9; ++n) {
        CString candidate;
        candidate.Format(L"%sLumenvale-Update%d.exe", folder.GetString(), n);
        // An older copy still running cannot be overwritten; the next name is tried.
        if (CopyFileW(self, candidate, FALSE)) {
            copyPath = candidate;
            return true;
        }
    }
    return false;
}
