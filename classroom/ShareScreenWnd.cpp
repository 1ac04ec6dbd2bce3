#include "classroom/ShareScreenWnd.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/RoomRecords.h"

#include <oleauto.h>

#if __has_include("dialogs/ChatWnd.h")
#include "dialogs/ChatWnd.h"
#define LV_HAVE_CHAT_WINDOW 1
#endif

#include <algorithm>
#include <memory>

CShareScreenWnd::~CShareScreenWnd()
{
    if (m_chatWnd && IsWindow(m_chatWnd)) ::SendMessageW(m_chatWnd, WM_CLOSE, 0, 0);
}

void CShareScreenWnd::InitWindow()
{
    SetWindowLongW(m_hWnd, GWL_EXSTYLE, GetWindowLongW(m_hWnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    // Black is see-through: the engine captures the screen through the bar's inside.
    using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    auto setLayered = reinterpret_cast<SetLayeredFn>(
        GetProcAddress(GetModuleHandleW(L"User32.dll"), "SetLayeredWindowAttributes"));
    if (setLayered) setLayered(m_hWnd, 0, 10, LWA_COLORKEY);
    CreateChatWindow();
}

void CShareScreenWnd::CreateChatWindow()
{
#ifdef LV_HAVE_CHAT_WINDOW
    auto* chat = new (std::nothrow) CChatWnd;
    if (!chat) return;
    // A failed creation that got as far as the window has deleted the chat window in its final message.
    if (!chat->Create(nullptr, L"ChatWnd", 0x94000000, 0, 0, 0, 0, 0)) {
        LOG_ERROR(L"share bar: the chat window cannot be created");
        return;
    }
    m_chatWnd = chat->GetHWND();
    ShowChat(true);
    ::ShowWindow(m_chatWnd, SW_HIDE);
#endif
}

HWND CShareScreenWnd::MainWindow() const
{
    SessionContext* session = SessionContext::Instance();
    return session ? session->mainWindow : nullptr;
}

void CShareScreenWnd::SetLabel(const wchar_t* name, const CDuiString& text)
{
    if (CControlUI* label = m_PaintManager.FindControl(name)) label->SetText(text.GetData());
}

void CShareScreenWnd::ShowChat(bool show)
{
    if (!m_chatWnd || !IsWindow(m_chatWnd)) return;
    if (show) {
        // At the top right corner of the screen, never taller than the screen.
        RECT rc{};
        GetWindowRect(m_chatWnd, &rc);
        const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
        const int w = rc.right - rc.left;
        const int h = std::min<int>(rc.bottom - rc.top, screenH);
        SetWindowPos(m_chatWnd, nullptr, screenW - w, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        ::ShowWindow(m_chatWnd, SW_HIDE);
    }
}

void CShareScreenWnd::StartSharing()
{
    m_onAirSeconds = 0;
    KillTimer(m_hWnd, kOnAirTimer);
    SetLabel(L"OnAirTimeLabel", L"00:00:00");
    CenterWindow();
    ShowChat(true);
    KeepClearOfChat();
    ShowWindow(true, false);
    SetTimer(m_hWnd, kOnAirTimer, 1000, nullptr);
}

void CShareScreenWnd::KeepClearOfChat()
{
    // Centred on a narrow screen the frame would run under the chat pane at the right edge, and the
    // pane would be shared with the region: it moves left until it ends where the pane begins.
    if (!m_chatWnd || !IsWindow(m_chatWnd)) return;
    RECT frame{}, chat{};
    GetWindowRect(m_hWnd, &frame);
    GetWindowRect(m_chatWnd, &chat);
    if (frame.right <= chat.left || frame.left >= chat.right || frame.bottom <= chat.top || frame.top >= chat.bottom)
        return;
    const int left = std::max<int>(0, frame.left - (frame.right - chat.left));
    SetWindowPos(m_hWnd, nullptr, left, frame.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CShareScreenWnd::EndSharing()
{
    m_onAirSeconds = 0;
    KillTimer(m_hWnd, kOnAirTimer);
    ShowWindow(false);
    ShowChat(false);
    ::PostMessageW(MainWindow(), WM_USER_UI_NOTICE, 21, 0);
}

void CShareScreenWnd::OnOnAirTick()
{
    ++m_onAirSeconds;
    CDuiString text;
    text.Format(L"%02d:%02d:%02d", m_onAirSeconds / 3600, (m_onAirSeconds / 60) % 60, m_onAirSeconds % 60);
    SetLabel(L"OnAirTimeLabel", text);
}

void CShareScreenWnd::OnClassLeftTick()
{
    if (m_classLeftSeconds > 0) {
        --m_classLeftSeconds;
        CDuiString text;
        const unsigned minutes = m_classLeftSeconds / 60, seconds = m_classLeftSeconds % 60;
        if (HasLanguageTable()) text.Format(L"%s--%02d:%02d", LangText(43, L"").GetString(), minutes, seconds);
        else text.Format(L"ClassLeftTime--%02d:%02d", minutes, seconds);
        SetLabel(L"OnAirTimeLabel", text);
        return;
    }
    KillTimer(m_hWnd, kClassLeftTimer);
    SetLabel(L"OnAirTimeLabel", CDuiString(LangText(46, L"Class Over")));
    m_onAirSeconds = 0;
    ShowWindow(false);
    ShowChat(false);
    ::PostMessageW(MainWindow(), WM_USER_UI_NOTICE, 21, 0);
}

// Escape and Alt+F4 end the sharing as the close button does. Closed, the bar would be gone with the
// main window still hidden and the screen still shared.
LRESULT CShareScreenWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    if (wParam != VK_ESCAPE) return WindowImplBase::ResponseDefaultKeyEvent(wParam);
    if (IsWindowVisible(m_hWnd)) EndSharing();
    return TRUE;
}

LRESULT CShareScreenWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if ((wParam & 0xFFF0) != SC_CLOSE) return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
    if (IsWindowVisible(m_hWnd)) EndSharing();
    bHandled = TRUE;
    return 0;
}

void CShareScreenWnd::Notify(TNotifyUI& msg)
{
    // The close button ends the sharing; the bar itself stays for the next time.
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == L"closebtn") {
        EndSharing();
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CShareScreenWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    switch (uMsg) {
    case WM_USER_UI_NOTICE:
        if (wParam != 25) break;
        bHandled = TRUE;
        StartSharing();
        return 0;
    case WM_USER_SYSTEM_TEXT:
        bHandled = TRUE;
        if (!m_chatWnd || !::PostMessageW(m_chatWnd, uMsg, wParam, lParam)) SysFreeString(reinterpret_cast<BSTR>(lParam));
        return 0;
    case WM_USER_CHAT_MESSAGE:
        bHandled = TRUE;
        if (!m_chatWnd || !::PostMessageW(m_chatWnd, uMsg, wParam, lParam)) FreeRoomMessage(uMsg, wParam, lParam);
        return 0;
    case WM_USER_COUNTDOWN: {
        bHandled = TRUE;
        std::unique_ptr<uint32_t> seconds(reinterpret_cast<uint32_t*>(lParam));
        KillTimer(m_hWnd, kOnAirTimer);
        KillTimer(m_hWnd, kClassLeftTimer);
        m_classLeftSeconds = seconds ? *seconds : 0;
        SetTimer(m_hWnd, kClassLeftTimer, 1000, nullptr);
        return 0;
    }
    default:
        break;
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

LRESULT CShareScreenWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_TIMER && wParam == kOnAirTimer) {
        OnOnAirTick();
        return 0;
    }
    if (uMsg == WM_TIMER && wParam == kClassLeftTimer) {
        OnClassLeftTick();
        return 0;
    }
    if (uMsg == WM_SIZING && lParam) {
        const RECT* proposed = reinterpret_cast<const RECT*>(lParam);
        CDuiString text;
        text.Format(L"%d x %d", (proposed->right - proposed->left) - 10, (proposed->bottom - proposed->top) - 32);
        SetLabel(L"SizeLabel", text);
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CShareScreenWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
