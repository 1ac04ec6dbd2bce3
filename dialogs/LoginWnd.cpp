#include "dialogs/LoginWnd.h"

#include "dialogs/DialogMessages.h"
#include "dialogs/MessageBox.h"

#include <oleauto.h>

namespace {
const UINT_PTR kDotTimer = 1;
const UINT kDotPeriodMs = 1000;
} // namespace

CLoginWnd::CLoginWnd(HWND mainWindow) : m_mainWindow(mainWindow) {}

CControlUI* CLoginWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"LVMBText") == 0) return new CLVMBText;
    return WindowImplBase::CreateControl(pstrClass);
}

void CLoginWnd::InitWindow()
{
    SetTimer(m_hWnd, kDotTimer, kDotPeriodMs, nullptr);
}

void CLoginWnd::DotStep(bool running)
{
    CControlUI* label = m_PaintManager.FindControl(L"TimerLabel");
    if (!running) {
        if (label) label->SetVisible(false);
        return;
    }
    if (label) label->SetVisible(true);
    m_dotCount = static_cast<uint16_t>((m_dotCount + 1) % 7);
    CDuiString dots;
    for (int i = 0; i < m_dotCount; ++i) dots += L"\x25CF ";
    if (label) label->SetText(dots);
}

void CLoginWnd::SetStatusText(LPCTSTR text, bool keepWaiting)
{
    CControlUI* information = m_PaintManager.FindControl(L"Information");
    if (!information) return;
    KillTimer(m_hWnd, kDotTimer);
    m_dotCount = 0;
    information->SetText(text ? text : L"");
    if (keepWaiting) SetTimer(m_hWnd, kDotTimer, kDotPeriodMs, nullptr);
    else DotStep(false);
}

void CLoginWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == L"closebtn") {
        CloseAndEndClient();
        return;
    }
    WindowImplBase::Notify(msg);
}

void CLoginWnd::CloseAndEndClient()
{
    Close(1);
    if (IsWindow(m_mainWindow)) ::PostMessageW(m_mainWindow, WM_CLOSE, 0, 0);
}

LRESULT CLoginWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // Alt+F4 and the taskbar's close end the client as the close button does. The main window closes
    // this window with a plain WM_CLOSE, which does not come this way.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        CloseAndEndClient();
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

LRESULT CLoginWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    switch (uMsg) {
    case WM_USER_LOGIN_STATUS: {
        // The text is ours from here on, whatever happens next.
        BSTR posted = reinterpret_cast<BSTR>(lParam);
        CDuiString text(posted ? posted : L"");
        SysFreeString(posted);
        SetStatusText(text, wParam == 1);
        bHandled = TRUE;
        return TRUE;
    }
    case WM_TIMER:
        if (wParam == kDotTimer) {
            DotStep(true);
            bHandled = TRUE;
            return 0;
        }
        break;
    case WM_NCLBUTTONDBLCLK:
        // No maximising by a double click on the caption.
        if (wParam == HTCAPTION) {
            bHandled = TRUE;
            return 0;
        }
        break;
    default:
        break;
    }
    bHandled = FALSE;
    return 0;
}

LRESULT CLoginWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    // Escape would close this window alone and leave the hidden client running: it does nothing here.
    return wParam == VK_ESCAPE ? TRUE : WindowImplBase::ResponseDefaultKeyEvent(wParam);
}

void CLoginWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
