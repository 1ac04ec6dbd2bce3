#include "media/video/VidlatchApp.h"

#include "media/common/MediaLog.h"

namespace {
CVidlatchApp theApp;
}

BOOL CVidlatchApp::InitInstance()
{
    // A log that cannot be opened leaves the library working without one.
    TheMediaLog().Open(MediaLogFolder(), L"Vidlatch.log", "Vidlatch", __TIME__, __DATE__);
    return TRUE;
}

int CVidlatchApp::ExitInstance()
{
    TheMediaLog().Close();
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        theApp.m_hInstance = instance;
        return theApp.InitInstance();
    }
    if (reason == DLL_PROCESS_DETACH)
        theApp.ExitInstance();
    return TRUE;
}
