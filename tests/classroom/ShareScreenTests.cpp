// The screen-share bar under Xvfb: layered with black see-through, the on-air clock, the class-left
// countdown ending the sharing, the close button, the size label, and chat traffic passed on.
#include "classroom/ShareScreenWnd.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/RoomRecords.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/protocol/FailingAllocations.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

#include <oleauto.h>

namespace {

class ShareScreen : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        UseLanguageTable(false);
        SessionContext::Instance()->mainWindow = mainWnd.Handle();
        bar = new CShareScreenWnd;
        hwnd = bar->Create(nullptr, L"ShareScreen", WS_POPUP, WS_EX_TOPMOST, 0, 0, 0, 0);
        ASSERT_TRUE(hwnd);
        pm = bar->GetPaintManager();
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        SessionContext::Instance()->mainWindow = nullptr;
        UseLanguageTable(false);
    }
    CDuiString Label() { return pm->FindControl(L"OnAirTimeLabel")->GetText(); }
    void Tick(UINT_PTR id, int times = 1)
    {
        for (int i = 0; i < times; ++i) SendMessageW(hwnd, WM_TIMER, id, 0);
    }
    size_t SharingEnded() { return mainWnd.Count(WM_USER_UI_NOTICE); }
    TopLevelSink mainWnd;
    CShareScreenWnd* bar = nullptr;
    CPaintManagerUI* pm = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(ShareScreen, IsLayeredWithBlackSeeThroughAndItsClockCountsFromZeroEachTime)
{
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    COLORREF key = 1;
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags));
    EXPECT_EQ(key, 0u); // the alpha is not reported back without LWA_ALPHA
    EXPECT_EQ(flags, static_cast<DWORD>(LWA_COLORKEY));
    EXPECT_FALSE(IsWindowVisible(hwnd));

    // A frame the user made wide enough that, centred, it would reach the chat pane by 20 pixels.
    HWND chat = FindWindowW(L"__LumenvaleChatWnd__", nullptr);
    ASSERT_NE(chat, nullptr);
    RECT pane{};
    GetWindowRect(chat, &pane);
    const int wide = GetSystemMetrics(SM_CXSCREEN) - 2 * (pane.right - pane.left) + 40;
    SetWindowPos(hwnd, nullptr, 0, 0, wide, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 25, 0);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(Label(), L"00:00:00");
    // The frame and the chat pane at the screen's right edge both show, side by side: nothing of the
    // pane lies inside the shared region.
    EXPECT_TRUE(IsWindowVisible(chat));
    RECT frame{}, both{};
    GetWindowRect(hwnd, &frame);
    GetWindowRect(chat, &pane);
    EXPECT_EQ(pane.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_FALSE(IntersectRect(&both, &frame, &pane)) << "the frame ends at " << frame.right << ", the pane begins at "
                                                       << pane.left;
    EXPECT_GE(frame.left, 0);
    Tick(CShareScreenWnd::kOnAirTimer, 3661);
    EXPECT_EQ(Label(), L"01:01:01");
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 25, 0);
    EXPECT_EQ(Label(), L"00:00:00");
    Tick(CShareScreenWnd::kOnAirTimer, 59);
    EXPECT_EQ(Label(), L"00:00:59");
    EXPECT_EQ(SharingEnded(), 0u);
}

TEST_F(ShareScreen, CountdownShowsTheTimeLeftAndEndsTheSharing)
{
    // A countdown of zero ends at the next tick.
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 25, 0);
    SendMessageW(hwnd, WM_USER_COUNTDOWN, 0, reinterpret_cast<LPARAM>(new uint32_t(0)));
    Tick(CShareScreenWnd::kClassLeftTimer);
    EXPECT_EQ(Label(), L"Class Over");
    EXPECT_FALSE(IsWindowVisible(hwnd));
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_UI_NOTICE, 1));
    mainWnd.Clear();

    SendMessageW(hwnd, WM_USER_UI_NOTICE, 25, 0);
    SendMessageW(hwnd, WM_USER_COUNTDOWN, 0, reinterpret_cast<LPARAM>(new uint32_t(125)));
    Tick(CShareScreenWnd::kClassLeftTimer);
    EXPECT_EQ(Label(), L"ClassLeftTime--02:04");
    UseLanguageTable(true);
    Tick(CShareScreenWnd::kClassLeftTimer, 124);
    EXPECT_EQ(Label(), LangText(43, L"") + L"--00:00");
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(SharingEnded(), 0u);
    Tick(CShareScreenWnd::kClassLeftTimer);
    EXPECT_EQ(Label(), LangText(46, L""));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_UI_NOTICE, 1));
    EXPECT_EQ(mainWnd.Received(WM_USER_UI_NOTICE)[0].wParam, 21u);
}

TEST_F(ShareScreen, CloseButtonEndsSharingButKeepsTheBar)
{
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 25, 0);
    Tick(CShareScreenWnd::kOnAirTimer, 5);
    ASSERT_TRUE(ClickControl(*pm, L"closebtn"));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(bar->GetOnAirSeconds(), 0u);
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_UI_NOTICE, 1));
    EXPECT_EQ(mainWnd.Received(WM_USER_UI_NOTICE)[0].wParam, 21u);
}

TEST_F(ShareScreen, SizingShowsTheSharedArea)
{
    RECT proposed{100, 100, 740, 580};
    SendMessageW(hwnd, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&proposed));
    EXPECT_EQ(pm->FindControl(L"SizeLabel")->GetText(), L"630 x 448");
}

TEST_F(ShareScreen, ChatTrafficGoesToTheChatWindowWhenThereIsOne)
{
    // Without a chat window, or with one that is gone, the bar frees the records itself.
    MessageSink chat;
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    for (HWND target : {static_cast<HWND>(nullptr), gone}) {
        bar->SetChatWindow(target);
        CountAllocations(true);
        SendMessageW(hwnd, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(SysAllocString(L"dropped")));
        SendMessageW(hwnd, WM_USER_CHAT_MESSAGE, 0, reinterpret_cast<LPARAM>(new ChatMessageRecord));
        long balance = AllocationBalance();
        CountAllocations(false);
        EXPECT_EQ(0, balance) << (target ? "a chat window that is gone" : "no chat window");
    }
    EXPECT_EQ(0u, chat.All().size());

    chat.SetFreer(WM_USER_SYSTEM_TEXT, [](WPARAM, LPARAM l) { SysFreeString(reinterpret_cast<BSTR>(l)); });
    chat.FreeAs<ChatMessageRecord>(WM_USER_CHAT_MESSAGE);
    bar->SetChatWindow(chat.Handle());
    BSTR text = SysAllocString(L"System text");
    SendMessageW(hwnd, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(hwnd, WM_USER_CHAT_MESSAGE, 0, reinterpret_cast<LPARAM>(new ChatMessageRecord));
    ASSERT_TRUE(chat.WaitFor(WM_USER_SYSTEM_TEXT, 1));
    ASSERT_TRUE(chat.WaitFor(WM_USER_CHAT_MESSAGE, 1));
    EXPECT_EQ(chat.Received(WM_USER_SYSTEM_TEXT)[0].lParam, reinterpret_cast<LPARAM>(text));
    bar->SetChatWindow(nullptr);
}
