#include "core/LumenvaleApp.h"

#include "core/CrashDump.h"
#include "core/Logger.h"
#include "core/SessionContext.h"

#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>

// Constructed before the application object, so the name outlives it.
static const wchar_t* const kSingleInstanceMutex = L"{1A31504A-65A8-4635-9341-3EC931295833}";

CLumenvaleApp theApp;

bool CheckSingleInstance()
{
    // The handle is never closed: the process holds the name until it ends.
    CreateMutexW(nullptr, FALSE, kSingleInstanceMutex);
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;

    CString text = L"You have already started the Lumenvale App.";
    CString caption = L"Prompt";
    SessionContext* session = SessionContext::Instance();
    if (session && HasLanguageTable()) {
        text.Format(L"%s", session->languageTable->GetString(52).GetString());
        caption = session->languageTable->GetString(39);
    }
    ShowStartupMessage(text, caption);
    return true;
}

BOOL CLumenvaleApp::InitInstance()
{
    Logger& log = Logger::Instance();
    log.WriteLine(L"---------------------------------------------------------");
    log.WriteLine(L"--------------------Lumenvale Running--------------------");
    log.WriteLine(L"---------------------------------------------------------");
    AppSetUiInstance(m_hInstance);

    if (CheckSingleInstance()) {
        SessionContext::Destroy();
        return FALSE;
    }

    INITCOMMONCONTROLSEX controls = {8, 0xFF};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    InstallCrashHandlers();
    CoInitialize(nullptr);
    OleInitialize(nullptr);

    LOG_INFO(L"build time %S - %S", __DATE__, __TIME__);

    SessionContext* session = SessionContext::Instance();
    if (session) session->commandLine = m_lpCmdLine ? m_lpCmdLine : L"";

    if (!RunMainWindow()) return FALSE;
    OleUninitialize();
    CoUninitialize();
    return FALSE;
}
