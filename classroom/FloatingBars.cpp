#include "classroom/FloatingBars.h"

#include "controls/ControlFactory.h"
#include "core/Logger.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"

#include <memory>

namespace {
const uint32_t kItemColours[5] = {0xFFFF5522, 0xFFFFCC33, 0xFF33BB44, 0xFF0099FF, 0xFF000000};

bool LocalUserTeaches()
{
    SessionContext* session = SessionContext::Instance();
    return session && (session->role == eRole_Teacher || session->role == eRole_Host);
}

// Moves and resizes a window in its own coordinate space (the parent's client area for a child).
void PlaceWindow(HWND hwnd, int x, int y, int cx, int cy)
{
    if (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) {
        POINT pt{x, y};
        ScreenToClient(GetParent(hwnd), &pt);
        x = pt.x;
        y = pt.y;
    }
    SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}
} // namespace

LRESULT CKeptFloatingWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    return wParam == VK_ESCAPE ? TRUE : WindowImplBase::ResponseDefaultKeyEvent(wParam);
}

LRESULT CKeptFloatingWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

uint32_t PenColourOfItem(int item)
{
    return (item >= 0 && item < 5) ? kItemColours[item] : 0;
}

int ItemOfPenColour(uint32_t colour)
{
    for (int i = 0; i < 5; ++i)
        if (kItemColours[i] == colour) return i;
    return -1;
}

// ---- CPenToolWnd ----

CControlUI* CPenToolWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"LVListupCombo") == 0 || wcscmp(pstrClass, L"ShapeElement") == 0)
        return CreateLumenvaleControl(pstrClass);
    return nullptr;
}

void CPenToolWnd::InitWindow()
{
    m_parent = ::GetParent(m_hWnd);
    // The combos start on the bar's own pen; showing it is not a change.
    ShowReceivedPen(m_pen);
    SetToolsDisabled(1);
}

void CPenToolWnd::SetToolsDisabled(uint8_t disabled)
{
    if (disabled == m_toolsDisabled) return;
    m_toolsDisabled = disabled;
    const bool enable = disabled == 0;
    for (const wchar_t* name : {L"ColorCombo", L"PenSizeCombo", L"ClearAllBtn"})
        if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetEnabled(enable);
    for (const wchar_t* name : {L"TextCheck", L"EraserCheck"}) {
        if (auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(name))) {
            option->Selected(false);
            option->SetEnabled(enable);
        }
    }
    ::PostMessageW(m_parent, WM_USER_UI_NOTICE, 17, 1 - disabled);
}

void CPenToolWnd::AnnouncePen()
{
    if (!LocalUserTeaches()) return;
    SessionContext* session = SessionContext::Instance();
    auto copy = std::make_unique<PaintPen>(m_pen);
    copy->orderKey = session->NextDrawingKey();
    session->SetPenSettings(copy->colour, copy->style, copy->width, static_cast<int32_t>(copy->orderKey));
    if (::PostMessageW(m_parent, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
}

void CPenToolWnd::OnComboSelect(CControlUI* combo)
{
    auto* list = static_cast<CComboUI*>(combo);
    const int item = list->GetCurSel();
    if (combo->GetName() == L"ColorCombo") {
        // An item outside the table keeps the colour but still counts as a change.
        if (item >= 0 && item < 5) m_pen.colour = kItemColours[item];
    } else if (combo->GetName() == L"PenSizeCombo") {
        m_pen.width = item + 2;
    } else {
        return;
    }
    AnnouncePen();
}

void CPenToolWnd::OnWritingToolChanged()
{
    // The text and eraser tools write and erase nothing yet: while one is chosen the surfaces take no
    // stroke, so a drag with them leaves no ink and sends nothing.
    bool penChosen = true;
    for (const wchar_t* name : {L"TextCheck", L"EraserCheck"})
        if (auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(name)))
            if (option->IsSelected()) penChosen = false;
    ::PostMessageW(m_parent, WM_USER_UI_NOTICE, kNoticeDrawingTool, penChosen ? 1 : 0);
}

void CPenToolWnd::ShowReceivedPen(const PaintPen& pen)
{
    auto* colours = static_cast<CComboUI*>(m_PaintManager.FindControl(L"ColorCombo"));
    if (!colours) return;
    m_showingReceived = true;
    const int item = ItemOfPenColour(pen.colour);
    if (item >= 0) colours->SelectItem(item);
    if (auto* sizes = static_cast<CComboUI*>(m_PaintManager.FindControl(L"PenSizeCombo")))
        if (pen.width >= 2 && pen.width <= 6) sizes->SelectItem(pen.width - 2);
    m_showingReceived = false;
}

void CPenToolWnd::ShowLockCheck(bool show)
{
    if (static_cast<uint8_t>(show) == m_lockVisible) return;
    CControlUI* lock = m_PaintManager.FindControl(L"LockCheck");
    if (!lock) return;
    RECT rc{};
    GetWindowRect(m_hWnd, &rc);
    if (IsRectEmpty(&rc)) return;
    const int w = lock->GetFixedWidth();
    m_lockVisible = show ? 1 : 0;
    lock->SetVisible(show);
    SetToolsDisabled(show ? 1 : 0);
    // The bar keeps its centre.
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (show) PlaceWindow(m_hWnd, rc.left - w / 2, rc.top, width + w, height);
    else PlaceWindow(m_hWnd, rc.left + w / 2, rc.top, width - w, height);
}

void CPenToolWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender) return WindowImplBase::Notify(msg);
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender->GetName() == L"ClearAllBtn") {
        ::PostMessageW(m_parent, WM_USER_CLEAR_PAGE, 1, 0);
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && msg.pSender->GetClass() == CDuiString(L"CheckBoxUI") &&
        msg.pSender->GetName() == L"LockCheck") {
        SetToolsDisabled(static_cast<COptionUI*>(msg.pSender)->IsSelected() ? 0 : 1);
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED &&
        (msg.pSender->GetName() == L"TextCheck" || msg.pSender->GetName() == L"EraserCheck")) {
        OnWritingToolChanged();
        return;
    }
    if (msg.sType == DUI_MSGTYPE_ITEMSELECT && msg.pSender->GetClass() == CDuiString(L"LVListupComboUI")) {
        if (!m_showingReceived) OnComboSelect(msg.pSender);
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CPenToolWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg == WM_USER_UI_NOTICE && (wParam == 9 || wParam == 10)) {
        bHandled = TRUE;
        if (wParam == 9) {
            ShowLockCheck(lParam != 0);
        } else if (auto* lock = static_cast<COptionUI*>(m_PaintManager.FindControl(L"LockCheck"))) {
            lock->Selected(lParam == 0);
        }
        return 0;
    }
    if (uMsg == WM_USER_PEN_CHANGED) {
        bHandled = TRUE;
        std::unique_ptr<PaintPen> pen(reinterpret_cast<PaintPen*>(lParam));
        if (!pen) return 0;
        const bool same = pen->colour == m_pen.colour && pen->style == m_pen.style && pen->width == m_pen.width &&
                          pen->orderKey == m_pen.orderKey;
        if (same) AnnouncePen();
        else ShowReceivedPen(*pen);
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CPenToolWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}

// ---- CCpBtnWnd ----

void CCpBtnWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender || msg.pSender->GetName() != L"ControlPanelBtn")
        return WindowImplBase::Notify(msg);
    if (!m_parent) m_parent = ::GetParent(m_hWnd);
    ::PostMessageW(m_parent, WM_USER_UI_NOTICE, 8, 0);
    const bool wasShown = m_panelShown != 0;
    m_panelShown = wasShown ? 0 : 1;
    auto* button = static_cast<CButtonUI*>(msg.pSender);
    if (wasShown) {
        button->SetNormalImage(L"file='Icons.png' source='138,427,160,442'");
        button->SetHotImage(L"file='Icons.png' source='138,457,160,472'");
        button->SetPushedImage(L"file='Icons.png' source='138,457,160,472'");
    } else {
        button->SetNormalImage(L"file='Icons.png' source='78,427,100,442'");
        button->SetHotImage(L"file='Icons.png' source='78,457,100,472'");
        button->SetPushedImage(L"file='Icons.png' source='78,457,100,472'");
    }
}

void CCpBtnWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
