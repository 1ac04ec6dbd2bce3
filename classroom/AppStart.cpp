// Start-up's window side: the UI library's instance, folder and log, the main window and its loop, the first message.
#include "classroom/MainWnd.h"
#include "core/Folders.h"
#include "core/LumenvaleApp.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "dialogs/MessageBox.h"

#include <new>

void AppSetUiInstance(HINSTANCE instance)
{
    CPaintManagerUI::SetInstance(instance);
    CPaintManagerUI::SetResourcePath(GetModuleFolder());
    UISetLogSink(LogErrorText);
}

void ShowStartupMessage(const wchar_t* text, const wchar_t* caption)
{
    ShowMessageBox(nullptr, text, caption, MB_OK);
}

bool RunMainWindow()
{
    CMainWnd* main = new (std::nothrow) CMainWnd;
    if (!main) return false;
    if (!main->Create(nullptr, MainWindowTitle(), 0x10CF0000, 0x00060000, 0, 0, 0, 0)) {
        // Without a main window nothing would ever end the loop: leave at once.
        LOG_ERROR(L"main window cannot be created; the client ends");
        delete main;
        CPaintManagerUI::Term();
        return true;
    }
    main->CenterWindow();
    if (SessionContext* session = SessionContext::Instance()) session->mainWindow = main->GetHWND();
    main->StartLogin();
    CPaintManagerUI::MessageLoop();
    CPaintManagerUI::Term();
    return true;
}
