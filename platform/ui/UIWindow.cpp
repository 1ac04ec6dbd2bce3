#include "platform/ui/UIWindow.h"

#include "platform/ui/UIControl.h"
#include "platform/ui/UIDlgBuilder.h"
#include "platform/ui/UILog.h"

#include <windowsx.h>

// ---- CWindowWnd ----

bool CWindowWnd::RegisterWindowClass()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    HINSTANCE instance = CPaintManagerUI::GetInstance();
    if (GetClassInfoExW(instance, GetWindowClassName(), &wc)) return true;
    wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = GetClassStyle();
    wc.lpfnWndProc = CWindowWnd::__WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    if (RegisterClassExW(&wc)) return true;
    UILogError(L"window class %s cannot be registered (%lu)", GetWindowClassName(), GetLastError());
    return false;
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT& rc, HMENU hMenu)
{
    return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
                  hMenu);
}

HWND CWindowWnd::Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x, int y, int cx,
                        int cy, HMENU hMenu)
{
    if (!RegisterWindowClass()) return nullptr;
    m_bCreating = true;
    HWND hwnd = CreateWindowExW(dwExStyle, GetWindowClassName(), pstrName, dwStyle, x, y, cx, cy, hwndParent, hMenu,
                                CPaintManagerUI::GetInstance(), this);
    m_bCreating = false;
    m_hWnd = hwnd;
    if (!hwnd) UILogError(L"window %s cannot be created (%lu)", GetWindowClassName(), GetLastError());
    return hwnd;
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus)
{
    if (!IsWindow(m_hWnd)) return;
    ::ShowWindow(m_hWnd, bShow ? (bTakeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void CWindowWnd::Close(UINT nRet)
{
    if (!IsWindow(m_hWnd)) return;
    PostMessage(WM_CLOSE, static_cast<WPARAM>(nRet), 0);
}

void CWindowWnd::CenterWindow()
{
    if (!IsWindow(m_hWnd)) return;
    RECT rcDlg;
    GetWindowRect(m_hWnd, &rcDlg);
    HWND center = GetWindow(m_hWnd, GW_OWNER);
    if (!center && (GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD)) center = GetParent(m_hWnd);
    RECT rcArea;
    MONITORINFO mi = {sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    rcArea = mi.rcWork;
    RECT rcCenter = rcArea;
    if (center && IsWindowVisible(center) && !IsIconic(center)) GetWindowRect(center, &rcCenter);
    int w = rcDlg.right - rcDlg.left, h = rcDlg.bottom - rcDlg.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
    if (x < rcArea.left) x = rcArea.left;
    else if (x + w > rcArea.right) x = rcArea.right - w;
    if (y < rcArea.top) y = rcArea.top;
    else if (y + h > rcArea.bottom) y = rcArea.bottom - h;
    if (GetWindowLongW(m_hWnd, GWL_STYLE) & WS_CHILD) {
        POINT pt{x, y};
        ScreenToClient(GetParent(m_hWnd), &pt);
        x = pt.x;
        y = pt.y;
    }
    SetWindowPos(m_hWnd, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT nRes)
{
    HICON icon = LoadIconW(CPaintManagerUI::GetInstance(), MAKEINTRESOURCEW(nRes));
    if (icon) SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessageW(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessageW(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::ResizeClient(int cx, int cy)
{
    RECT rc;
    if (!GetClientRect(m_hWnd, &rc)) return;
    if (cx != -1) rc.right = cx;
    if (cy != -1) rc.bottom = cy;
    if (!AdjustWindowRectEx(&rc, GetWindowLongW(m_hWnd, GWL_STYLE), GetMenu(m_hWnd) != nullptr,
                            GetWindowLongW(m_hWnd, GWL_EXSTYLE)))
        return;
    SetWindowPos(m_hWnd, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hWnd, uMsg, wParam, lParam);
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CALLBACK CWindowWnd::__WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (uMsg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<LPCREATESTRUCTW>(lParam);
        self = static_cast<CWindowWnd*>(cs->lpCreateParams);
        self->m_hWnd = hWnd;
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (uMsg == WM_NCDESTROY && self) {
            LRESULT result = CallWindowProcW(DefWindowProcW, hWnd, uMsg, wParam, lParam);
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
            self->m_hWnd = nullptr;
            if (!self->m_bCreating) self->OnFinalMessage(hWnd);
            return result;
        }
    }
    if (self) return self->HandleMessage(uMsg, wParam, lParam);
    return DefWindowProcW(hWnd, uMsg, wParam, lParam);
}

// ---- WindowImplBase ----

void WindowImplBase::OnFinalMessage(HWND)
{
    m_PaintManager.RemovePreMessageFilter(this);
    m_PaintManager.RemoveNotifier(this);
}

void WindowImplBase::Notify(TNotifyUI& msg)
{
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return;
    CDuiString name = msg.pSender->GetName();
    if (name == L"closebtn") Close();
    else if (name == L"minbtn") SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == L"maxbtn") SendMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == L"restorebtn") SendMessage(WM_SYSCOMMAND, SC_RESTORE, 0);
}

CControlUI* WindowImplBase::CreateControl(LPCTSTR)
{
    return nullptr;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam)
{
    if (wParam == VK_ESCAPE) {
        Close();
        return TRUE;
    }
    return FALSE;
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled)
{
    if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        bHandled = ResponseDefaultKeyEvent(wParam) != FALSE;
        return bHandled ? TRUE : FALSE;
    }
    return FALSE;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnNcActivate(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (IsIconic(m_hWnd)) bHandled = FALSE;
    return wParam == 0 ? TRUE : FALSE;
}

LRESULT WindowImplBase::OnNcCalcSize(UINT, WPARAM, LPARAM, BOOL&)
{
    // The skin draws the whole window, frame included.
    return 0;
}

LRESULT WindowImplBase::OnNcPaint(UINT, WPARAM, LPARAM, BOOL&)
{
    return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(m_hWnd, &pt);
    RECT rcClient;
    GetClientRect(m_hWnd, &rcClient);
    if (!IsZoomed(m_hWnd)) {
        RECT box = m_PaintManager.GetSizeBox();
        if (pt.y < rcClient.top + box.top) {
            if (pt.x < rcClient.left + box.left) return HTTOPLEFT;
            if (pt.x > rcClient.right - box.right) return HTTOPRIGHT;
            return HTTOP;
        }
        if (pt.y > rcClient.bottom - box.bottom) {
            if (pt.x < rcClient.left + box.left) return HTBOTTOMLEFT;
            if (pt.x > rcClient.right - box.right) return HTBOTTOMRIGHT;
            return HTBOTTOM;
        }
        if (pt.x < rcClient.left + box.left) return HTLEFT;
        if (pt.x > rcClient.right - box.right) return HTRIGHT;
    }
    RECT caption = m_PaintManager.GetCaptionRect();
    if (pt.x >= rcClient.left + caption.left && pt.x < rcClient.right - caption.right && pt.y >= caption.top &&
        pt.y < caption.bottom) {
        CControlUI* control = m_PaintManager.FindControl(pt);
        if (control && wcscmp(control->GetClass(), L"ButtonUI") != 0 && wcscmp(control->GetClass(), L"OptionUI") != 0 &&
            wcscmp(control->GetClass(), L"TextUI") != 0)
            return HTCAPTION;
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::OnGetMinMaxInfo(UINT, WPARAM, LPARAM lParam, BOOL& bHandled)
{
    auto* info = reinterpret_cast<LPMINMAXINFO>(lParam);
    MONITORINFO mi = {sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    RECT work = mi.rcWork;
    // Maximised, the window covers the work area, not the task bar.
    info->ptMaxPosition = {work.left - mi.rcMonitor.left, work.top - mi.rcMonitor.top};
    info->ptMaxSize = {work.right - work.left, work.bottom - work.top};
    SIZE minInfo = m_PaintManager.GetMinInfo();
    SIZE maxInfo = m_PaintManager.GetMaxInfo();
    if (minInfo.cx > 0) info->ptMinTrackSize.x = minInfo.cx;
    if (minInfo.cy > 0) info->ptMinTrackSize.y = minInfo.cy;
    if (maxInfo.cx > 0) info->ptMaxTrackSize.x = maxInfo.cx;
    if (maxInfo.cy > 0) info->ptMaxTrackSize.y = maxInfo.cy;
    bHandled = FALSE;
    return 0;
}

void WindowImplBase::ApplyRoundCorner()
{
    SIZE round = m_PaintManager.GetRoundCorner();
    if (IsIconic(m_hWnd) || (round.cx == 0 && round.cy == 0)) return;
    RECT rc;
    GetWindowRect(m_hWnd, &rc);
    OffsetRect(&rc, -rc.left, -rc.top);
    HRGN region = CreateRoundRectRgn(rc.left, rc.top, rc.right + 1, rc.bottom + 1, round.cx, round.cy);
    if (region && !SetWindowRgn(m_hWnd, region, TRUE)) DeleteObject(region);
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    ApplyRoundCorner();
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (wParam == SC_CLOSE) {
        bHandled = TRUE;
        SendMessage(WM_CLOSE);
        return 0;
    }
    bool zoomed = IsZoomed(m_hWnd) != FALSE;
    LRESULT result = CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    if (zoomed != (IsZoomed(m_hWnd) != FALSE)) {
        CControlUI* maxButton = m_PaintManager.FindControl(L"maxbtn");
        CControlUI* restoreButton = m_PaintManager.FindControl(L"restorebtn");
        if (maxButton) maxButton->SetVisible(zoomed);
        if (restoreButton) restoreButton->SetVisible(!zoomed);
    }
    return result;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL&)
{
    // The skin draws its own caption and frame.
    LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
    style &= ~WS_CAPTION;
    SetWindowLongW(m_hWnd, GWL_STYLE, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    m_PaintManager.Init(m_hWnd);
    m_PaintManager.AddPreMessageFilter(this);
    m_PaintManager.SetWindowResourcePath(CPaintManagerUI::GetResourcePath() + GetSkinFolder());
    CDialogBuilder builder;
    CControlUI* root = builder.Create(GetSkinFile(), nullptr, this, &m_PaintManager);
    if (!root) {
        UILogError(L"window %s: skin %s could not be loaded", GetWindowClassName(), GetSkinFile().GetString());
        return -1;
    }
    m_PaintManager.AttachDialog(root);
    m_PaintManager.AddNotifier(this);
    SIZE init = m_PaintManager.GetInitSize();
    if (init.cx > 0 && init.cy > 0) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, init.cx, init.cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    InitWindow();
    return 0;
}

LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    BOOL handled = TRUE;
    switch (uMsg) {
    case WM_CREATE: result = OnCreate(uMsg, wParam, lParam, handled); break;
    case WM_CLOSE: result = OnClose(uMsg, wParam, lParam, handled); break;
    case WM_DESTROY: result = OnDestroy(uMsg, wParam, lParam, handled); break;
    case WM_NCACTIVATE: result = OnNcActivate(uMsg, wParam, lParam, handled); break;
    case WM_NCCALCSIZE: result = OnNcCalcSize(uMsg, wParam, lParam, handled); break;
    case WM_NCPAINT: result = OnNcPaint(uMsg, wParam, lParam, handled); break;
    case WM_NCHITTEST: result = OnNcHitTest(uMsg, wParam, lParam, handled); break;
    case WM_GETMINMAXINFO: result = OnGetMinMaxInfo(uMsg, wParam, lParam, handled); break;
    case WM_SIZE: result = OnSize(uMsg, wParam, lParam, handled); break;
    case WM_SYSCOMMAND: result = OnSysCommand(uMsg, wParam, lParam, handled); break;
    case WM_KILLFOCUS: result = OnKillFocus(uMsg, wParam, lParam, handled); break;
    default: handled = FALSE; break;
    }
    if (handled) return result;
    if (uMsg == WM_KEYDOWN) {
        // Also here, for keys that reach the window through a loop without the pre-message filters.
        bool filtered = false;
        result = MessageHandler(uMsg, wParam, lParam, filtered);
        if (filtered) return result;
    }
    result = HandleCustomMessage(uMsg, wParam, lParam, handled);
    if (handled) return result;
    if (m_PaintManager.MessageHandler(uMsg, wParam, lParam, result)) return result;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}
