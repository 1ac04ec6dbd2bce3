// Crashes in the way its argument names, with the client's crash handlers installed.
#include "core/CrashDump.h"

#include <windows.h>
#include <process.h>
#include <stdexcept>
#include <string>

static volatile int* g_nowhere = nullptr;

static unsigned __stdcall CrashOnThread(void*)
{
    *g_nowhere = 1;
    return 0;
}

int wmain(int argc, wchar_t** argv)
{
    InstallCrashHandlers();
    std::wstring how = argc > 1 ? argv[1] : L"";
    if (how == L"access") {
        *g_nowhere = 1;
    } else if (how == L"thread") {
        HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, CrashOnThread, nullptr, 0, nullptr));
        // The crash ends the whole process from the thread; the parent's wait bounds a filter that would not.
        WaitForSingleObject(thread, INFINITE);
    } else if (how == L"throw") {
        throw std::runtime_error("nobody catches this");
    }
    return 3;
}
