// Cover windows under Xvfb: their size from the image, the button rectangles fixed at the first
// render, injected clicks posting the notices and actions, and what the rendered image shows.
#include "classroom/CoverWnd.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

namespace {

class Covers : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        UseLanguageTable(false);
    }
    void TearDown() override { UseLanguageTable(false); }
    template <typename Cover>
    Cover* Make(Cover* cover, int cx = 120, int cy = 90)
    {
        if (!cover->Create(owner.Handle(), 200, 200, cx, cy)) {
            delete cover;
            return nullptr;
        }
        return cover;
    }
    static void Close(CTransparentCoverWnd* cover) { DestroyWindow(cover->GetHWND()); }
    TopLevelSink owner;
    MessageSink notify;
};

uint32_t Alpha(uint32_t argb) { return argb >> 24; }

} // namespace

TEST_F(Covers, PreviewCoverTakesTheImageSizeSelectsOnceAndReportsItsCloseBox)
{
    auto* cover = Make(new CPreviewCoverWnd(notify.Handle()), 300, 300);
    ASSERT_TRUE(cover);
    HWND hwnd = cover->GetHWND();
    EXPECT_EQ(GetWindow(hwnd, GW_OWNER), owner.Handle());
    EXPECT_TRUE(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 120);
    EXPECT_EQ(rc.bottom - rc.top, 90);
    EXPECT_EQ(cover->GetFirstButton().left, 5);
    EXPECT_EQ(cover->GetFirstButton().bottom, 17);
    EXPECT_EQ(cover->GetSecondButton().left, 102);
    EXPECT_EQ(cover->GetSecondButton().right, 116);
    // Growing the window later does not move the buttons.
    SetWindowPos(hwnd, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    cover->Refresh();
    EXPECT_EQ(cover->GetSecondButton().left, 102);
    SetWindowPos(hwnd, nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    cover->Refresh();

    // Unselected and not hovered: the thin grey border, and the grey check box.
    EXPECT_EQ(cover->GetRenderedPixel(0, 45), 0xFFAAAAAAu);
    EXPECT_LE(Alpha(cover->GetRenderedPixel(1, 45)), 1u);

    ClickClient(hwnd, 60, 50);
    ASSERT_TRUE(notify.WaitFor(WM_USER_UI_NOTICE, 1, 2000));
    auto posted = notify.Received(WM_USER_UI_NOTICE);
    EXPECT_EQ(posted[0].wParam, 2u);
    EXPECT_EQ(posted[0].lParam, 1);
    EXPECT_TRUE(cover->IsSelected());
    EXPECT_EQ(cover->GetRenderedPixel(1, 45), 0xFF00C090u); // the thick green border

    // Selected already: a second body click sends nothing.
    ClickClient(hwnd, 60, 50);
    notify.PumpFor(100);
    EXPECT_EQ(notify.Count(WM_USER_UI_NOTICE), 1u);

    ClickClient(hwnd, 108, 10);
    ASSERT_TRUE(notify.WaitFor(WM_USER_UI_NOTICE, 2, 2000));
    posted = notify.Received(WM_USER_UI_NOTICE);
    EXPECT_EQ(posted[1].wParam, 1u);
    EXPECT_EQ(posted[1].lParam, eCover_Selected | eCover_MouseInside | eCover_OverSecond);

    // Leaving clears the mouse flags.
    SendMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(cover->GetFlags(), static_cast<uint32_t>(eCover_Selected));
    Close(cover);
}

TEST_F(Covers, DisabledPreviewCoverIgnoresItsBodyButNotItsCloseBox)
{
    auto* cover = Make(new CPreviewCoverWnd(notify.Handle()));
    ASSERT_TRUE(cover);
    HWND hwnd = cover->GetHWND();
    const uint32_t enabledBox = cover->GetRenderedPixel(15, 15);
    EXPECT_EQ(enabledBox, 0xFFAAAAAAu);
    cover->SetDisabled(true);
    EXPECT_LE(Alpha(cover->GetRenderedPixel(15, 15)), 1u); // no check box

    ClickClient(hwnd, 60, 50);
    cover->SetSelected(true, false);
    notify.PumpFor(100);
    EXPECT_EQ(notify.Count(WM_USER_UI_NOTICE), 0u);
    EXPECT_FALSE(cover->IsSelected());
    EXPECT_NE(cover->GetRenderedPixel(1, 45), 0xFF00C090u); // hovered, but no thick border

    ClickClient(hwnd, 110, 12);
    ASSERT_TRUE(notify.WaitFor(WM_USER_UI_NOTICE, 1, 2000));
    EXPECT_EQ(notify.Received(WM_USER_UI_NOTICE)[0].wParam, 1u);
    EXPECT_TRUE(notify.Received(WM_USER_UI_NOTICE)[0].lParam & eCover_Disabled);

    // Enabled again: a silent selection posts nothing, a loud one posts, deselection posts nothing.
    cover->SetDisabled(false);
    cover->SetSelected(true, true);
    cover->SetSelected(false, false);
    cover->SetSelected(true, false);
    ASSERT_TRUE(notify.WaitFor(WM_USER_UI_NOTICE, 2, 2000));
    notify.PumpFor(50);
    EXPECT_EQ(notify.Count(WM_USER_UI_NOTICE), 2u);
    EXPECT_EQ(notify.Received(WM_USER_UI_NOTICE)[1].wParam, 2u);
    Close(cover);
}

TEST_F(Covers, ViceScreenCoverButtonsPostSwapAndClose)
{
    auto* cover = Make(new CViceScreenCoverWnd, 240, 160);
    ASSERT_TRUE(cover);
    HWND hwnd = cover->GetHWND();
    EXPECT_EQ(cover->GetImageWidth(), 240);
    ClickClient(hwnd, 120, 60); // not a button
    ClickClient(hwnd, 20, 140);
    ClickClient(hwnd, 200, 150);
    ASSERT_TRUE(owner.WaitFor(WM_USER_UI_NOTICE, 2, 2000));
    PumpMessagesFor(50);
    auto posted = owner.Received(WM_USER_UI_NOTICE);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].wParam, 6u);
    EXPECT_EQ(posted[1].wParam, 7u);

    // Without a language table the hovered bar carries no texts.
    MoveClient(hwnd, 120, 60);
    int other = 0;
    for (int y = 132; y < 159; ++y)
        for (int x = 1; x < 239; ++x)
            if (cover->GetRenderedPixel(x, y) != 0xFF6E6E6Eu) ++other;
    EXPECT_EQ(other, 0);
    EXPECT_EQ(cover->GetRenderedPixel(0, 80), 0xFFCCCCCCu);

    // With one, each button's text is drawn, and the words name the clicks: swap the screens, close
    // the video.
    UseLanguageTable(true);
    EXPECT_EQ(LangText(1, L""), CString(L"Swap"));
    EXPECT_EQ(LangText(2, L""), CString(L"Close"));
    MoveClient(hwnd, 121, 60);
    cover->Refresh();
    int drawn = 0, drawnSecond = 0;
    for (int y = 135; y < 153; ++y) {
        for (int x = 10; x < 70; ++x)
            if (cover->GetRenderedPixel(x, y) != 0xFF6E6E6Eu) ++drawn;
        for (int x = 180; x < 230; ++x)
            if (cover->GetRenderedPixel(x, y) != 0xFF6E6E6Eu) ++drawnSecond;
    }
    EXPECT_GT(drawn, 20);
    EXPECT_GT(drawnSecond, 20);
    Close(cover);
}

TEST_F(Covers, TeachersSpeakingCoverTogglesTheCameraOnlyWithATable)
{
    auto* cover = Make(new CVideoSpeakCoverWnd(eRole_Teacher), 240, 160);
    ASSERT_TRUE(cover);
    HWND hwnd = cover->GetHWND();
    ClickClient(hwnd, 20, 140);
    PumpMessagesFor(50);
    EXPECT_EQ(owner.Count(WM_USER_VIDEO_SPEAK_ACTION), 0u);
    EXPECT_TRUE(cover->GetFirstButtonText().IsEmpty());

    UseLanguageTable(true);
    ClickClient(hwnd, 20, 140);
    EXPECT_EQ(cover->GetFirstButtonText(), LangText(63, L""));
    ClickClient(hwnd, 20, 140);
    EXPECT_EQ(cover->GetFirstButtonText(), LangText(59, L""));
    ClickClient(hwnd, 200, 140);
    ASSERT_TRUE(owner.WaitFor(WM_USER_VIDEO_SPEAK_ACTION, 3, 2000));
    auto posted = owner.Received(WM_USER_VIDEO_SPEAK_ACTION);
    EXPECT_EQ(posted[0].wParam, 3u);
    EXPECT_EQ(posted[1].wParam, 4u);
    EXPECT_EQ(posted[2].wParam, 6u);
    Close(cover);
}

TEST_F(Covers, StudentsSpeakingCoverAsksToSpeak)
{
    const uint8_t roles[] = {eRole_Student, eRole_SpeakerVoice, eRole_StudentAlt, eRole_SpeakerVideoAlt, eRole_Assistant};
    for (uint8_t role : roles) {
        owner.Clear();
        auto* cover = Make(new CVideoSpeakCoverWnd(role), 240, 160);
        ASSERT_TRUE(cover);
        ClickClient(cover->GetHWND(), 30, 145);
        PumpMessagesFor(30);
        auto posted = owner.Received(WM_USER_VIDEO_SPEAK_ACTION);
        if (role == eRole_Assistant) {
            EXPECT_TRUE(posted.empty());
        } else {
            ASSERT_EQ(posted.size(), 1u) << int(role);
            EXPECT_EQ(posted[0].wParam, 5u);
        }
        Close(cover);
    }
}
