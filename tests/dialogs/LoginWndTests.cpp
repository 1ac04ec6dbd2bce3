// The login status window under Xvfb: status messages with their BSTR, the dot row, the close button.
#include "dialogs/DialogMessages.h"
#include "dialogs/LoginWnd.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>
#include <oleauto.h>

namespace {

// Stands for the main window: counts the WM_CLOSE the login window sends it.
int g_closeCount = 0;
LRESULT CALLBACK FakeMainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLOSE) {
        ++g_closeCount;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeFakeMain()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = FakeMainProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LvFakeMain";
    RegisterClassW(&wc);
    return CreateWindowExW(0, L"LvFakeMain", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

std::wstring Dots(int n)
{
    std::wstring s;
    for (int i = 0; i < n; ++i) s += L"\x25CF ";
    return s;
}

void Post(HWND login, WPARAM keepWaiting, const wchar_t* text)
{
    // Posted as the main window does; the login window frees the string.
    PostMessageW(login, WM_USER_LOGIN_STATUS, keepWaiting, reinterpret_cast<LPARAM>(text ? SysAllocString(text) : nullptr));
    PumpUntil([] { return false; }, 30);
}

} // namespace

TEST(LoginWindow, StatusMessagesDriveTextAndDots)
{
    HWND fakeMain = MakeFakeMain();
    auto* login = new CLoginWnd(fakeMain);
    ASSERT_NE(login->Create(nullptr, L"LoginWnd", 0x10CF0000, WS_EX_APPWINDOW), nullptr);
    HWND hwnd = login->GetHWND();
    login->CenterWindow();
    login->ShowWindow(true);
    CPaintManagerUI* pm = login->GetPaintManager();
    CControlUI* info = pm->FindControl(L"Information");
    CControlUI* dots = pm->FindControl(L"TimerLabel");
    ASSERT_NE(info, nullptr);
    ASSERT_NE(dots, nullptr);

    Post(hwnd, 1, L"Connecting");
    EXPECT_EQ(info->GetText(), L"Connecting");
    EXPECT_EQ(login->GetDotCount(), 0);
    // Seven ticks in a row: one to six dots, then none.
    for (int tick = 1; tick <= 7; ++tick) {
        SendMessageW(hwnd, WM_TIMER, 1, 0);
        EXPECT_EQ(login->GetDotCount(), tick % 7);
        EXPECT_EQ(std::wstring(dots->GetText().GetString()), Dots(tick % 7));
        EXPECT_TRUE(dots->IsVisible());
    }
    SendMessageW(hwnd, WM_TIMER, 1, 0);
    SendMessageW(hwnd, WM_TIMER, 1, 0);
    // A final status hides the dots at once and keeps their text.
    Post(hwnd, 0, L"Server Error Code = -3");
    EXPECT_EQ(info->GetText(), L"Server Error Code = -3");
    EXPECT_FALSE(dots->IsVisible());
    EXPECT_EQ(std::wstring(dots->GetText().GetString()), Dots(2));
    // A waiting status restarts the dots from none; the real timer shows one a second later.
    Post(hwnd, 1, L"Again");
    EXPECT_EQ(login->GetDotCount(), 0);
    EXPECT_TRUE(PumpUntil([&] { return login->GetDotCount() == 1; }, 3000));
    EXPECT_TRUE(dots->IsVisible());
    Post(hwnd, 0, nullptr);
    EXPECT_TRUE(info->GetText().IsEmpty());

    // The caption's double click does not maximise.
    EXPECT_EQ(SendMessageW(hwnd, WM_NCLBUTTONDBLCLK, HTCAPTION, 0), 0);
    EXPECT_FALSE(IsZoomed(hwnd));

    // The close button closes the window and asks the main window to close.
    g_closeCount = 0;
    RECT rc = pm->FindControl(L"closebtn")->GetPos();
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(hwnd, WM_MOUSEMOVE, 0, at);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd) && g_closeCount == 1; }, 3000));

    // The main window hides while this window shows: Alt+F4 must end the client as the close button
    // does, while the main window's own WM_CLOSE (room entered, updater started) closes this one only.
    for (bool byUser : {true, false}) {
        g_closeCount = 0;
        auto* again = new CLoginWnd(fakeMain);
        ASSERT_NE(again->Create(nullptr, L"LoginWnd", 0x10CF0000, WS_EX_APPWINDOW), nullptr);
        HWND window = again->GetHWND();
        again->ShowWindow(true);
        PumpUntil([] { return false; }, 30);
        // Escape is no way out: it closes nothing.
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PumpUntil([] { return false; }, 30);
        ASSERT_TRUE(IsWindow(window));
        if (byUser) PostMessageW(window, WM_SYSKEYDOWN, VK_F4, 0x203E0001); // Alt held: context bit set
        else PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 3000)) << byUser;
        PumpUntil([] { return false; }, 30);
        EXPECT_EQ(byUser ? 1 : 0, g_closeCount) << byUser;
    }
    DestroyWindow(fakeMain);
}
