// The video window under Xvfb: its cover follows it inside the parent and hides outside, cover clicks
// become panel actions with the camera index, and the engine's size notice reaches the parent.
#include "classroom/CoverWnd.h"
#include "classroom/VideoWnd.h"
#include "core/Records.h"
#include "core/WindowMessages.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class VideoWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        video = new CVideoWnd(eVideoCover_Preview);
        hwnd = video->Create(parent.Handle(), L"VideoLive");
        ASSERT_TRUE(hwnd);
        MoveWindow(hwnd, 20, 30, 120, 90, TRUE);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        for (const auto& m : parent.Received(WM_USER_PANEL_ACTION)) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    }
    TopLevelSink parent;
    CVideoWnd* video = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(VideoWindow, IsAVisibleChildWhoseCoverFollowsItInsideTheParent)
{
    EXPECT_EQ(GetParent(hwnd), parent.Handle());
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & 0xFFFF0000u, 0x56000000u);
    CPreviewCoverWnd* cover = video->GetCover();
    ASSERT_TRUE(cover);
    HWND coverWindow = cover->GetHWND();
    EXPECT_EQ(GetWindow(coverWindow, GW_OWNER), parent.Handle());
    ASSERT_TRUE(IsWindowVisible(coverWindow));
    RECT own{}, over{};
    GetWindowRect(hwnd, &own);
    GetWindowRect(coverWindow, &over);
    EXPECT_EQ(over.left, own.left);
    EXPECT_EQ(over.top, own.top);

    MoveWindow(hwnd, 600, 30, 120, 90, TRUE); // the parent is 640 wide
    EXPECT_FALSE(IsWindowVisible(coverWindow));
    MoveWindow(hwnd, 300, 200, 120, 90, TRUE);
    EXPECT_TRUE(IsWindowVisible(coverWindow));
    GetWindowRect(coverWindow, &over);
    EXPECT_EQ(over.left, 100 + 300);

    SendMessageW(hwnd, WM_USER_UI_NOTICE, 24, 0);
    EXPECT_FALSE(IsWindowVisible(coverWindow));
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 24, 1);
    EXPECT_TRUE(IsWindowVisible(coverWindow));

    // Closing the video window closes its cover.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    PumpMessagesFor(50);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindow(coverWindow));
}

TEST_F(VideoWindow, CoverClicksBecomePanelActionsWithTheCameraIndex)
{
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 16, reinterpret_cast<LPARAM>(new int32_t(2)));
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 16, reinterpret_cast<LPARAM>(new int32_t(-1)));
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 16, 0);
    EXPECT_EQ(video->GetCameraIndex(), 2);

    HWND coverWindow = video->GetCover()->GetHWND();
    ClickClient(coverWindow, 60, 50); // the body selects
    ASSERT_TRUE(parent.WaitFor(WM_USER_PANEL_ACTION, 1));
    auto actions = parent.Received(WM_USER_PANEL_ACTION);
    EXPECT_EQ(actions[0].wParam, 1u);
    auto* payload = reinterpret_cast<WndMsgPayload*>(actions[0].lParam);
    EXPECT_EQ(payload->source, hwnd);
    EXPECT_EQ(payload->kind, ePanel_Camera);
    ASSERT_TRUE(payload->Camera());
    EXPECT_EQ(*payload->Camera(), 2);

    ClickClient(coverWindow, 108, 10); // the close box of a selected cover switches the camera off
    ASSERT_TRUE(parent.WaitFor(WM_USER_PANEL_ACTION, 2));
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 1));
    actions = parent.Received(WM_USER_PANEL_ACTION);
    EXPECT_EQ(actions[1].wParam, 0u);
    EXPECT_EQ(*reinterpret_cast<WndMsgPayload*>(actions[1].lParam)->Camera(), 2);
    auto notices = parent.Received(WM_USER_UI_NOTICE);
    EXPECT_EQ(notices[0].wParam, 1u);
    EXPECT_EQ(notices[0].lParam, 0);

    // Deselected by the panel: silent, and the close box then only reports the click.
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 2, 0);
    EXPECT_FALSE(video->GetCover()->IsSelected());
    ClickClient(coverWindow, 108, 10);
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 2));
    PumpMessagesFor(30);
    EXPECT_EQ(parent.Count(WM_USER_PANEL_ACTION), 2u);
}

TEST_F(VideoWindow, EngineSizeNoticeReachesTheParent)
{
    static int size = 0x01E00280;
    SendMessageW(hwnd, WM_USER_CASTMIX_NOTIFY, 2, 5);
    SendMessageW(hwnd, WM_USER_CASTMIX_NOTIFY, 0x00070001, reinterpret_cast<LPARAM>(&size));
    ASSERT_TRUE(parent.WaitFor(WM_USER_VIDEO_SIZE, 1));
    PumpMessagesFor(30);
    auto posted = parent.Received(WM_USER_VIDEO_SIZE);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].lParam, reinterpret_cast<LPARAM>(&size));
}

TEST(VideoWindowPlain, WithoutCoverItIgnoresSelection)
{
    UseProgramFolderSkins();
    TopLevelSink parent;
    auto* video = new CVideoWnd(eVideoCover_Plain);
    HWND hwnd = video->Create(parent.Handle(), L"VideoSpeak");
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(video->GetCover(), nullptr);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 2, 1);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 1, eCover_Selected);
    ASSERT_TRUE(parent.WaitFor(WM_USER_PANEL_ACTION, 1));
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 1));
    for (const auto& m : parent.Received(WM_USER_PANEL_ACTION)) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    EXPECT_EQ(parent.Count(WM_USER_PANEL_ACTION), 1u); // only the click with the selected flag
    DestroyWindow(hwnd);
}

TEST(VideoWindowPaint, ShowsAWhiteLoadingPicture)
{
    UseProgramFolderSkins();
    TopLevelSink parent({40, 40, 440, 340});
    auto* video = new CVideoWnd(eVideoCover_None);
    HWND hwnd = video->Create(parent.Handle(), L"VideoLive");
    ASSERT_TRUE(hwnd);
    MoveWindow(hwnd, 0, 0, 320, 240, TRUE);
    InvalidateRect(hwnd, nullptr, TRUE);
    UpdateWindow(hwnd);
    // Read back what reached the screen: white around the text, dark pixels of the text near the middle.
    // The X server may show the frame a moment later under load, so look a few times.
    int white = 0, dark = 0;
    for (int attempt = 0; attempt < 20 && (dark <= 10 || white <= 80 * 60 * 9 / 10); ++attempt) {
        if (attempt) PumpUntil([] { return false; }, 50);
        white = dark = 0;
        HDC screen = GetDC(nullptr);
        for (int y = 40; y < 280; y += 4)
            for (int x = 40; x < 360; x += 4) {
                const COLORREF c = GetPixel(screen, x, y);
                if (c == RGB(255, 255, 255)) ++white;
            }
        for (int y = 40 + 120 - 15; y < 40 + 120 + 5; ++y)
            for (int x = 40 + 160 - 35; x < 40 + 160 + 60; ++x)
                if (GetRValue(GetPixel(screen, x, y)) < 128) ++dark;
        ReleaseDC(nullptr, screen);
    }
    EXPECT_GT(white, 80 * 60 * 9 / 10);
    EXPECT_GT(dark, 10);
    DestroyWindow(hwnd);
}
