// The message box under Xvfb: pages, icons and default buttons per flag set, answers per button
// clicked by a helper thread, the caption flash, WM_QUIT, nested boxes and fitting to the text, as
// the screen shows it.
#include "dialogs/DialogMessages.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

struct Expectation {
    UINT flags;
    int page;
    const wchar_t* icon; // expected image, null for no icon
    const wchar_t* defaultTab;
    const wchar_t* press; // a button's name, or kPressReturn
    int answer;
};

// Return takes the default button.
const wchar_t* const kPressReturn = L"<Return>";

int CurSel(HWND box, const wchar_t* name)
{
    auto* tab = static_cast<CTabLayoutUI*>(ManagerOf(box)->FindControl(name));
    return tab ? tab->GetCurSel() : -2;
}

// The caption background's changes of page, sampled for a while.
std::vector<int> CaptionFlashes(HWND box, DWORD ms)
{
    std::vector<int> seen;
    int last = 0;
    for (DWORD end = GetTickCount() + ms; static_cast<int>(end - GetTickCount()) > 0; Sleep(3)) {
        int now = CurSel(box, L"CaptionBkTab");
        if (now != last) seen.push_back(now);
        last = now;
    }
    return seen;
}

} // namespace

TEST(MessageBoxFlags, PagesIconsAndDefaultButtons)
{
    // MB_OK to MB_RETRYCANCEL, then the OK page for every unknown button set.
    const int pages[] = {1, 2, 0, 5, 4, 3};
    for (UINT low = 0; low <= 15; ++low) EXPECT_EQ(CLVMessageBox::ButtonPageOf(low), low < 6 ? pages[low] : 1) << low;
    const wchar_t* icons[16] = {nullptr, L"iconstop", L"iconquestion", L"iconexclamation", L"iconinformation",
                                L"iconerror", L"iconhand", L"iconwarning", L"iconasterisk"};
    for (UINT i = 0; i < 16; ++i) {
        const wchar_t* got = CLVMessageBox::IconAttributeOf(i << 4);
        EXPECT_STREQ(got ? got : L"(none)", icons[i] ? icons[i] : L"(none)") << i;
    }
    for (UINT button = 0; button < 4; ++button) EXPECT_EQ(CLVMessageBox::DefaultButtonOf(button << 8), int(button) + 1);
}

TEST(MessageBoxWindow, EachPageAnswersItsButtons)
{
    const Expectation cases[] = {
        {0x00, 1, nullptr, L"DefBtnTab2_1", L"OkBtn", IDOK},
        {MB_YESNO, 4, nullptr, L"DefBtnTab5_1", L"YesBtn", IDYES},
        {MB_YESNO, 4, nullptr, L"DefBtnTab5_1", L"NoBtn", IDNO},
        {MB_YESNO, 4, nullptr, L"DefBtnTab5_1", L"closebtn", 8},
        {0x71, 2, L"mb_warning.png", L"DefBtnTab3_1", L"CancelBtn", IDCANCEL},
        {0x55, 3, L"mb_error.png", L"DefBtnTab4_1", L"RetryBtn", IDRETRY},
        {0x70, 1, L"mb_warning.png", L"DefBtnTab2_1", L"OkBtn", IDOK},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, 0, nullptr, L"DefBtnTab1_3", L"IgnoreBtn", IDIGNORE},
        {MB_ABORTRETRYIGNORE, 0, nullptr, L"DefBtnTab1_1", L"AbortBtn", IDABORT},
        {MB_YESNOCANCEL | MB_DEFBUTTON2 | 0x20, 5, L"mb_question.png", L"DefBtnTab6_2", L"CancelBtn", IDCANCEL},
        {0x08, 1, nullptr, L"DefBtnTab2_1", L"OkBtn", IDOK}, // low nibble above 5: OK page
        {0x40, 1, L"mb_info.png", L"DefBtnTab2_1", L"OkBtn", IDOK},
        {MB_YESNO | MB_DEFBUTTON2, 4, nullptr, L"DefBtnTab5_2", kPressReturn, IDNO},
    };
    for (const Expectation& c : cases) {
        SCOPED_TRACE(c.press);
        SCOPED_TRACE(c.flags);
        std::atomic<bool> checked{false};
        int result;
        {
            Helper helper([&] {
                HWND box = WaitForBox();
                if (!box) return;
                CPaintManagerUI* pm = ManagerOf(box);
                EXPECT_EQ(CurSel(box, L"MBBtnTab"), c.page);
                EXPECT_EQ(CurSel(box, L"MBIconTab"), c.icon ? 0 : 1);
                if (c.icon) {
                    EXPECT_STREQ(pm->FindControl(L"MessageIcon")->GetBkImage(), c.icon);
                }
                EXPECT_EQ(CurSel(box, c.defaultTab), 1);
                auto* tab = static_cast<CTabLayoutUI*>(pm->FindControl(c.defaultTab));
                if (tab) {
                    EXPECT_EQ(pm->GetFocus(), tab->GetItemAt(1));
                }
                EXPECT_EQ(pm->FindControl(L"CaptionTitle")->GetText(), L"Caption");
                EXPECT_EQ(pm->FindControl(L"MessageText")->GetText(), L"Some text");
                checked = true;
                if (c.press == kPressReturn) {
                    PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
                } else {
                    EXPECT_TRUE(ClickControl(box, c.press));
                }
            });
            result = ShowMessageBox(nullptr, L"Some text", L"Caption", c.flags);
        }
        EXPECT_TRUE(checked);
        EXPECT_EQ(result, c.answer);
    }
}

TEST(MessageBoxWindow, QuitEndsTheBoxAndIsPostedAgain)
{
    int result;
    {
        Helper helper([] {
            HWND box = WaitForBox();
            if (box) PostThreadMessageW(GetWindowThreadProcessId(box, nullptr), WM_QUIT, 42, 0);
        });
        result = ShowMessageBox(nullptr, L"Text", L"Caption", MB_OK);
    }
    EXPECT_EQ(result, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 42u);
    EXPECT_EQ(FindWindowW(L"__LVMessageBox__", L"LVMessageBox"), nullptr);
}

TEST(MessageBoxWindow, ClickOutsideFlashesTheCaptionFiveTimes)
{
    std::vector<int> seen;
    int result;
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            // A non-client click elsewhere in the thread, with the cursor away from the box.
            RECT rc;
            GetWindowRect(box, &rc);
            SetCursorPos(rc.right + 50, rc.bottom + 50);
            MessageBoxMouseHookProc(HC_ACTION, WM_NCLBUTTONDOWN, 0);
            seen = CaptionFlashes(box, 800);
            // A click inside the box does not flash.
            SetCursorPos((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
            MessageBoxMouseHookProc(HC_ACTION, WM_NCLBUTTONDOWN, 0);
            Sleep(150);
            EXPECT_EQ(CurSel(box, L"CaptionBkTab"), 0);
            ClickControl(box, L"OkBtn");
        });
        result = ShowMessageBox(nullptr, L"Text", L"Caption", MB_OK);
    }
    EXPECT_EQ(result, IDOK);
    std::vector<int> expected = {1, 0, 1, 0, 1, 0};
    EXPECT_EQ(seen, expected);
}

TEST(MessageBoxWindow, OwnerIsDisabledMeanwhileAndGetsItsStateBack)
{
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    std::atomic<bool> disabledMeanwhile{false};
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            disabledMeanwhile = !IsWindowEnabled(owner) && GetWindow(box, GW_OWNER) == owner;
            ClickControl(box, L"OkBtn");
        });
        EXPECT_EQ(ShowMessageBox(owner, L"Text", L"Caption", MB_OK), IDOK);
    }
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(owner));

    // An owner that was disabled before stays disabled.
    EnableWindow(owner, FALSE);
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (box) ClickControl(box, L"OkBtn");
        });
        EXPECT_EQ(ShowMessageBox(owner, L"Text", L"Caption", MB_OK), IDOK);
    }
    EXPECT_FALSE(IsWindowEnabled(owner));
    DestroyWindow(owner);
}

namespace {
std::atomic<int> g_innerResult{-1};
HWND g_outerBox = nullptr;
void CALLBACK OpenInnerBox(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_innerResult = ShowMessageBox(g_outerBox, L"Inner", L"Inner", MB_YESNO);
}
} // namespace

TEST(MessageBoxWindow, BoxOpenedWhileAnotherRunsKeepsBothWorking)
{
    std::atomic<bool> outerDisabled{false};
    std::atomic<bool> outerEnabledAfter{false};
    std::vector<int> flashes;
    int result;
    {
        Helper helper([&] {
            HWND outer = WaitForBox();
            if (!outer) return;
            g_outerBox = outer;
            // The inner box is opened from the outer box's loop, on the UI thread.
            PostMessageW(outer, WM_NULL, 0, 0);
            HWND inner = WaitForBox(5000, outer);
            if (!inner) return;
            outerDisabled = !IsWindowEnabled(outer);
            // The flash goes to the inner, active box.
            RECT rc;
            GetWindowRect(inner, &rc);
            SetCursorPos(rc.right + 60, rc.bottom + 60);
            MessageBoxMouseHookProc(HC_ACTION, WM_NCRBUTTONDOWN, 0);
            flashes = CaptionFlashes(inner, 800);
            EXPECT_EQ(CurSel(outer, L"CaptionBkTab"), 0);
            ClickControl(inner, L"NoBtn");
            for (int i = 0; i < 200 && IsWindow(inner); ++i) Sleep(10);
            Sleep(50);
            outerEnabledAfter = IsWindowEnabled(outer) != FALSE;
            ClickControl(outer, L"CancelBtn");
        });
        SetTimer(nullptr, 0, 400, OpenInnerBox);
        result = ShowMessageBox(nullptr, L"Outer", L"Outer", MB_OKCANCEL);
    }
    EXPECT_EQ(g_innerResult, IDNO);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(outerDisabled);
    EXPECT_TRUE(outerEnabledAfter);
    ASSERT_FALSE(flashes.empty());
    EXPECT_EQ(flashes.front(), 1);
    EXPECT_EQ(flashes.back(), 0);
}

TEST(MessageBoxWindow, WindowFitsShortAndLongTexts)
{
    SIZE shortSize{}, longSize{};
    bool shortAligned = false;
    auto measure = [](HWND box) {
        RECT rc;
        GetClientRect(box, &rc);
        return SIZE{rc.right, rc.bottom};
    };
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            shortSize = measure(box);
            shortAligned = ManagerOf(box)->FindControl(L"LeftAlignCtrl")->IsVisible();
            ClickControl(box, L"OkBtn");
        });
        ShowMessageBox(nullptr, L"Hi", L"Caption", MB_OK);
    }
    // A short question reads on one line, and the button strip leaves the blue border whole.
    WindowPixels question;
    RECT questionText{};
    int lineHeight = 0;
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            Sleep(300); // painted
            CPaintManagerUI* pm = ManagerOf(box);
            questionText = pm->FindControl(L"MessageText")->GetPos();
            lineHeight = pm->GetFontInfo(0)->tm.tmHeight;
            question = CaptureClient(box);
            ClickControl(box, L"YesBtn5_1D");
        });
        ShowMessageBox(nullptr, L"Save the whiteboard before closing?", L"Prompt", MB_YESNOCANCEL | MB_ICONQUESTION);
    }
    ASSERT_GT(question.width, 0);
    auto at = [&](int x, int y) { return question.pixels[y * question.width + x]; };
    const uint32_t border = 0x2F6DB5;
    for (int y = question.height - 40; y < question.height - 4; ++y) {
        EXPECT_EQ(at(0, y), border) << "left edge, row " << y;
        EXPECT_EQ(at(question.width - 1, y), border) << "right edge, row " << y;
    }
    for (int x = 8; x < question.width - 8; x += 7) EXPECT_EQ(at(x, question.height - 1), border) << "bottom, x " << x;
    int firstInk = -1, lastInk = -1;
    for (int y = questionText.top; y < questionText.bottom; ++y)
        for (int x = questionText.left; x < questionText.right; ++x)
            if ((at(x, y) & 0xFF) < 0x80) {
                if (firstInk < 0) firstInk = y;
                lastInk = y;
            }
    ASSERT_GE(firstInk, 0) << "the question is not drawn";
    EXPECT_LE(lastInk - firstInk + 1, lineHeight) << "the question wraps over " << lastInk - firstInk + 1 << " rows";

    std::wstring text;
    for (int i = 0; i < 60; ++i) text += L"A rather long sentence of the message. ";
    {
        Helper helper([&] {
            HWND box = WaitForBox();
            if (!box) return;
            longSize = measure(box);
            CControlUI* message = ManagerOf(box)->FindControl(L"MessageText");
            RECT pos = message->GetPos();
            // The text stays inside the window.
            EXPECT_LE(pos.right, longSize.cx);
            EXPECT_LE(pos.bottom, longSize.cy);
            ClickControl(box, L"OkBtn");
        });
        ShowMessageBox(nullptr, text.c_str(), L"Caption", MB_OK);
    }
    // The skin's limits: 300x150 at least, 640x480 at most.
    EXPECT_EQ(shortSize.cx, 300);
    EXPECT_EQ(shortSize.cy, 150);
    EXPECT_TRUE(shortAligned);
    EXPECT_EQ(longSize.cx, 640);
    EXPECT_GT(longSize.cy, 170);
    EXPECT_LE(longSize.cy, 480);
}
