// Crashes in the way its argument names, with the client's crash handlers installed.
#include "core/CrashDump.h"
#include "core/Logger.h"

#include <windows.h>
#include <process.h>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

static volatile int* g_nowhere = nullptr;

static unsigned __stdcall CrashOnThread(void*)
{
    *g_nowhere = 1;
    return 0;
}

static int __cdecl CrashingFlush(FILE*)
{
    *g_nowhere = 1;
    return 0;
}

// Points this program's import of a C runtime function at a replacement, whichever DLL it comes from.
static bool ReplaceImport(const char* name, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name; ++dll) {
        if (!dll->OriginalFirstThunk) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0) continue;
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), old, &old);
            return true;
        }
    }
    return false;
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
    } else if (how == L"logwrite") {
        // The crash comes inside a log write, while the writing thread holds the logger's lock.
        Logger::Instance().WriteLine(L"Infor : crash child running");
        if (!ReplaceImport("fflush", reinterpret_cast<void*>(&CrashingFlush))) return 4;
        Logger::Instance().WriteLine(L"Infor : this line crashes");
    } else if (how == L"throw") {
        throw std::runtime_error("nobody catches this");
    }
    return 3;
}
