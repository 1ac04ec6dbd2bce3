#include "classroom/MainWnd.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "dialogs/LoginWnd.h"

CDuiString MainWindowTitle()
{
    SessionContext* session = SessionContext::Instance();
    if (session && HasLanguageTable()) return CDuiString(session->languageTable->GetString(47));
    return L"LumenvaleV2";
}

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd()
{
    // The main window's end is the client's end.
    SessionContext::Destroy();
    PostQuitMessage(0);
}

CControlUI* CMainWnd::CreateControl(LPCTSTR)
{
    return nullptr;
}

void CMainWnd::InitWindow() {}

void CMainWnd::Notify(TNotifyUI& msg)
{
    WindowImplBase::Notify(msg);
}

void CMainWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}

HWND CMainWnd::FindLoginWindow()
{
    return FindWindowW(L"__LumenvaleLoginWnd__", nullptr);
}

void CMainWnd::StartLogin()
{
    auto* login = new (std::nothrow) CLoginWnd(m_hWnd);
    if (login) {
        if (login->Create(m_hWnd, L"LoginWnd", 0x10CF0000, WS_EX_APPWINDOW)) {
            login->CenterWindow();
            login->ShowWindow(true);
        } else {
            delete login; // never became a window, so its final message will not free it
            login = nullptr;
        }
    }
    ShowWindow(false);

    SessionContext* session = SessionContext::Instance();
    int parsed = session ? session->ParseLaunchUrl() : -1;
    LOG_INFO(L"launch link parse result %d", parsed);
    if (parsed >= 1 && parsed <= 3 && login && HasLanguageTable())
        login->SetStatusText(session->languageTable->GetString(9 + parsed), false);
}

LRESULT CMainWnd::OnMove(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT CMainWnd::OnTimer(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT CMainWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    LRESULT result = 0;
    if (uMsg == WM_MOVE) result = OnMove(uMsg, wParam, lParam, handled);
    else if (uMsg == WM_TIMER) result = OnTimer(uMsg, wParam, lParam, handled);
    if (handled) return result;
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}
