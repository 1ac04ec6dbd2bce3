// Writes "<own path>.ran" with its command line; a copy whose name holds "slow" first waits 3 s.
#include <windows.h>
#include <cstdio>
#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (wcsstr(self, L"slow")) Sleep(3000);
    wchar_t marker[MAX_PATH + 8];
    swprintf(marker, MAX_PATH + 8, L"%ls.ran", self);
    FILE* file = _wfopen(marker, L"wb");
    if (!file) return 2;
    const wchar_t* line = GetCommandLineW();
    fwrite(line, sizeof(wchar_t), wcslen(line), file);
    fclose(file);
    return 0;
}
