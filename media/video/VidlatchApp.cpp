#include "media/video/VidlatchApp.h"

#include "media/video/VideoLog.h"

namespace {
CVidlatchApp theApp;
}

BOOL CVidlatchApp::InitInstance()
{
    return TRUE;
}

int CVidlatchApp::ExitInstance()
{
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
