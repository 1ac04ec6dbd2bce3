// Opens one window of the client by name, for screenshots: ui_gallery login | main | msgbox flags text caption
#include "classroom/MainWnd.h"
#include "core/Folders.h"
#include "dialogs/LoginWnd.h"
#include "dialogs/MessageBox.h"

#include <objbase.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CoInitialize(nullptr);
    const wchar_t* what = argc > 1 ? argv[1] : L"login";
    if (wcscmp(what, L"msgbox") == 0) {
        UINT flags = argc > 2 ? static_cast<UINT>(wcstoul(argv[2], nullptr, 0)) : 0;
        int answer = ShowMessageBox(nullptr, argc > 3 ? argv[3] : L"Message", argc > 4 ? argv[4] : L"Prompt", flags);
        CPaintManagerUI::Term();
        return answer;
    }
    if (wcscmp(what, L"main") == 0) {
        auto* main = new CMainWnd;
        if (!main->Create(nullptr, MainWindowTitle(), 0x10CF0000, 0x00060000, 0, 0, 0, 0)) return 1;
        main->CenterWindow();
        main->ShowWindow(true);
    } else {
        auto* login = new CLoginWnd(nullptr);
        if (!login->Create(nullptr, L"LoginWnd", 0x10CF0000, WS_EX_APPWINDOW)) return 1;
        login->CenterWindow();
        login->ShowWindow(true);
        login->SetStatusText(L"Connecting to the class room...", true);
    }
    CPaintManagerUI::MessageLoop();
    CPaintManagerUI::Term();
    return 0;
}
