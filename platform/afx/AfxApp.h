// CWinApp: the one static application object whose InitInstance runs the program.
#pragma once
#include <windows.h>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returning FALSE ends the program without entering a framework message pump.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run();
    virtual int ExitInstance() { return 0; }

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr; // arguments without the program path
    int m_nCmdShow = SW_SHOWNORMAL;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The client hosts no ActiveX controls in framework dialogs; kept so start-up reads as it always has.
void AfxEnableControlContainer();

// The entry point the framework provides: fills the application object, runs InitInstance.
int AfxWinMain(HINSTANCE instance, LPWSTR commandLine, int showCommand);
