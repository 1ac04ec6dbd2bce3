#include "classroom/PopupMenus.h"

#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/WindowMessages.h"

#include <algorithm>
#include <new>

// ---- CBubbleMenu ----

void CBubbleMenu::InitWindow()
{
    const LONG exStyle = GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_LAYERED)) SetWindowLongW(m_hWnd, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    // Black pixels of the skin are see-through.
    using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    auto setLayered = reinterpret_cast<SetLayeredFn>(
        GetProcAddress(GetModuleHandleW(L"User32.dll"), "SetLayeredWindowAttributes"));
    if (setLayered) setLayered(m_hWnd, 0, 0, LWA_COLORKEY);
}

LRESULT CBubbleMenu::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    if (IsWindowVisible(m_hWnd)) Close(1);
    bHandled = TRUE;
    return 0;
}

void CBubbleMenu::OnFinalMessage(HWND hWnd)
{
    if (finalMessageSeen) *finalMessageSeen = true;
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}

HWND ShowBubbleMenu(POINT pt, CBubbleMenu* menu, HWND owner)
{
    if (!menu) return nullptr;
    bool gone = false;
    menu->finalMessageSeen = &gone;
    HWND hwnd = menu->Create(owner, L"", 0x94000000, 0x20008, 0, 0, 0, 0);
    if (!hwnd) {
        if (!gone) delete menu; // never became a window
        return nullptr;
    }
    menu->finalMessageSeen = nullptr;
    const SIZE init = menu->GetPaintManager()->GetInitSize();
    RECT ownerRect{};
    GetWindowRect(owner, &ownerRect);
    const int left = ownerRect.left + std::max(0L, pt.x - init.cx / 2);
    const int top = ownerRect.top + pt.y;
    MoveWindow(hwnd, left, top, init.cx, init.cy, TRUE);
    return hwnd;
}

// ---- COptionMenu ----

void COptionMenu::Notify(TNotifyUI& msg)
{
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return CBubbleMenu::Notify(msg);
    static const struct { const wchar_t* name; WPARAM choice; } kItems[] = {
        {L"SettingBtn", 1}, {L"ChatRecordBtn", 2}, {L"QuitBtn", 3}, {L"AboutBtn", 4}};
    HWND owner = ::GetParent(m_hWnd);
    // The menu goes first, so it is gone before the owner acts on the choice.
    Close(1);
    for (const auto& item : kItems)
        if (msg.pSender->GetName() == item.name) ::PostMessageW(owner, WM_USER_OPTION_MENU, item.choice, 0);
}

// ---- CStudentListMenu ----

void CStudentListMenu::ShowPage()
{
    // The pages of items sit in the tab layout "MenuPages"; a skin without it shows what it has.
    m_pages = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"MenuPages"));
    if (!m_pages || m_pageIndex < 0 || m_pageIndex >= m_pages->GetCount()) return;
    CControlUI* oldPage = m_pages->GetItemAt(m_pages->GetCurSel());
    CControlUI* newPage = m_pages->GetItemAt(m_pageIndex);
    m_pages->SelectItem(m_pageIndex);
    const int oldHeight = oldPage ? oldPage->GetFixedHeight() : 0;
    const int newHeight = newPage ? newPage->GetFixedHeight() : 0;
    if (newHeight > 0 && newHeight != oldHeight) {
        // The skin draws the whole window, so its client area is the window itself.
        const SIZE init = m_PaintManager.GetInitSize();
        SetWindowPos(m_hWnd, nullptr, 0, 0, init.cx, init.cy + newHeight - oldHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void CStudentListMenu::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
        ShowPage();
        return;
    }
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return CBubbleMenu::Notify(msg);
    static const wchar_t* const kItems[] = {L"SetAssistantBtn", L"UnsetAssistantBtn", L"ForbidSpeakingBtn",
                                            L"AllowSpeakingBtn", L"ThrowOutBtn", L"ChangeTeacherBtn"};
    const CDuiString name = msg.pSender->GetName();
    for (const wchar_t* item : kItems) {
        if (name != item || !m_roster || !m_roster->GetManager()) continue;
        CDuiString type = name.Left(name.GetLength() - 3);
        m_roster->GetManager()->SendNotify(m_roster, type.GetData(), 0, 0, false);
        break;
    }
    Close(1);
}

// The skin's pages: 0 a student, 1 a student who may not speak, 2 an assistant, 3 a teacher, to
// whom only the class can be handed over.
static int MenuPageOf(const UserRecord* user)
{
    if (!user) return 0;
    if (user->role == eRole_Assistant) return 2;
    if (IsTeacherRole(user->role)) return 3;
    return 0;
}

HWND OpenStudentListMenu(CStudentListElement* row, POINT pt)
{
    if (!row || !row->GetManager()) return nullptr;
    auto* menu = new (std::nothrow) CStudentListMenu(row, MenuPageOf(row->GetUser()));
    if (!menu) return nullptr;
    HWND hwnd = ShowBubbleMenu(pt, menu, row->GetManager()->GetPaintWindow());
    if (!hwnd) LOG_ERROR(L"the roster menu could not be opened");
    return hwnd;
}
