#include "dialogs/EmotionWnd.h"

#include "controls/EmotionList.h"
#include "core/WindowMessages.h"
#include "dialogs/EmotionLookup.h"

namespace {
const UINT_PTR kAnimationTimer = 3;
// The owner unchecks its emotion button on this notice.
const WPARAM kNoticePickerHidden = 18;
} // namespace

CEmotionWnd::CEmotionWnd(HWND target) : m_target(target) {}

CControlUI* CEmotionWnd::CreateControl(LPCTSTR pstrClass)
{
    if (_wcsicmp(pstrClass, L"EmotionList") == 0) return new CEmotionListUI;
    return nullptr;
}

void CEmotionWnd::InitWindow()
{
    CControlUI* grid = m_PaintManager.FindControl(L"GifList");
    m_grid = grid ? static_cast<CEmotionListUI*>(grid->GetInterface(L"EmotionList")) : nullptr;
}

void CEmotionWnd::Notify(TNotifyUI& msg)
{
    if (m_grid && msg.pSender == m_grid && msg.sType.CompareNoCase(DUI_MSGTYPE_SELECTIMAGE) == 0) {
        // Sent, not posted: the target reads the chosen path before the popup goes away.
        if (IsWindow(m_target)) ::SendMessageW(m_target, WM_USER_EMOTION_SELECTED, 0, 0);
        ShowWindow(false, false);
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CEmotionWnd::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    ShowWindow(false, false);
    if (IsWindow(m_target)) ::PostMessageW(m_target, WM_USER_UI_NOTICE, kNoticePickerHidden, 0);
    bHandled = FALSE;
    return 0;
}

// Escape and Alt+F4 only hide the popup, as a click elsewhere does: closed, it would be gone for good,
// since its owner makes it once.
LRESULT CEmotionWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        ShowWindow(false, false);
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

LRESULT CEmotionWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    if (wParam != VK_ESCAPE) return WindowImplBase::ResponseDefaultKeyEvent(wParam);
    ShowWindow(false, false);
    return TRUE;
}

LRESULT CEmotionWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    bHandled = FALSE;
    if (uMsg == WM_SHOWWINDOW) {
        if (wParam) ::SetTimer(m_hWnd, kAnimationTimer, m_animationPeriod, nullptr);
        else ::KillTimer(m_hWnd, kAnimationTimer);
        return 0;
    }
    if (uMsg != WM_TIMER || wParam != kAnimationTimer) return 0;
    bHandled = TRUE;
    POINT cursor;
    RECT window;
    if (!m_grid || !GetCursorPos(&cursor) || !GetWindowRect(m_hWnd, &window) || !PtInRect(&window, cursor)) return 0;
    ScreenToClient(m_hWnd, &cursor);
    m_grid->AnimateImageAt(m_animationPeriod, cursor);
    return 0;
}

CDuiString CEmotionWnd::GetSelectedImagePath() const
{
    return m_grid ? m_grid->GetHotImagePath() : CDuiString();
}

CDuiString CEmotionWnd::GetEmotionImagePath(LPCTSTR token) const
{
    return m_grid ? m_grid->GetImagePathByName(token) : CDuiString();
}

CEmotionWnd* CEmotionWnd::FromWindow(HWND window)
{
    DWORD process = 0;
    // A window of another process carries a pointer that means nothing here.
    if (!window || !GetWindowThreadProcessId(window, &process) || process != GetCurrentProcessId()) return nullptr;
    wchar_t cls[64] = {};
    if (!GetClassNameW(window, cls, 64) || wcscmp(cls, L"__LumenvaleEmotionWnd__") != 0) return nullptr;
    return static_cast<CEmotionWnd*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
}

EmotionLookup FindEmotionLookup()
{
    HWND found = nullptr;
    // The first picker window of this process, hidden or not.
    while ((found = FindWindowExW(nullptr, found, L"__LumenvaleEmotionWnd__", nullptr)) != nullptr) {
        if (CEmotionWnd* picker = CEmotionWnd::FromWindow(found)) {
            HWND window = picker->GetHWND();
            return [window](const CString& key) {
                CEmotionWnd* live = CEmotionWnd::FromWindow(window);
                return live ? CString(live->GetEmotionImagePath(key)) : CString();
            };
        }
    }
    return EmotionLookup();
}
