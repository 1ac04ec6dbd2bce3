// The about box from its skin: version and build time, and at most one box at a time.
#include "dialogs/AboutWnd.h"

#include "core/Version.h"
#include "dialogs/DialogOpen.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

#include <cwctype>

namespace {
CAboutWnd* OpenAbout(HWND owner)
{
    CAboutWnd* box = OpenDialogOnce<CAboutWnd>(owner, L"__LVAboutWnd__", [] { return new CAboutWnd; });
    PumpMessages(50);
    return box;
}

// "Mmm dd yyyy-hh:mm:ss", the day padded with a blank.
bool LooksLikeBuildTime(const CDuiString& text)
{
    if (text.GetLength() != 20) return false;
    const wchar_t* s = text.GetString();
    for (int i : {0, 1, 2}) if (!iswalpha(s[i])) return false;
    for (int i : {5, 7, 8, 9, 10, 12, 13, 15, 16, 18, 19}) if (!iswdigit(s[i])) return false;
    return s[3] == L' ' && s[6] == L' ' && s[11] == L'-' && s[14] == L':' && s[17] == L':';
}
} // namespace

TEST(AboutWnd, ShowsVersionAndBuildTimeOnceAtATime)
{
    UseEnglishTexts(true);
    // A top-level owner, as the main window is.
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);
    CAboutWnd* box = OpenAbout(owner);
    ASSERT_NE(nullptr, box);
    HWND window = box->GetHWND();
    EXPECT_EQ(owner, GetWindow(window, GW_OWNER));
    EXPECT_TRUE(IsWindowVisible(window));
    wchar_t title[8] = L"x";
    GetWindowTextW(window, title, 8);
    EXPECT_STREQ(L"", title);
    EXPECT_EQ(GetFileVersionString(), CString(box->GetPaintManager()->FindControl(L"VersionLabel")->GetText()));
    CDuiString built = box->GetPaintManager()->FindControl(L"BeuildTimeLabel")->GetText();
    EXPECT_TRUE(LooksLikeBuildTime(built)) << CString(built).GetString();
    EXPECT_EQ(BuildTimeText(), built);

    EXPECT_EQ(nullptr, OpenAbout(owner)) << "a second request opens no second box";
    EXPECT_EQ(window, FindWindowW(L"__LVAboutWnd__", nullptr));

    // The skin's close button ends it; then a new one may open.
    ASSERT_TRUE(ClickControl(window, box->GetPaintManager()->FindControl(L"closebtn")));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 2000));
    CAboutWnd* again = OpenAbout(owner);
    ASSERT_NE(nullptr, again);
    DestroyWindow(again->GetHWND());
    DestroyWindow(owner);
    PumpMessages(20);
}

TEST(AboutWnd, WithoutALanguageTableTheSkinTextsStay)
{
    UseEnglishTexts(false);
    CAboutWnd* box = OpenAbout(nullptr);
    ASSERT_NE(nullptr, box);
    HWND window = box->GetHWND();
    EXPECT_EQ(CDuiString(L"1.0.0.0"), box->GetPaintManager()->FindControl(L"VersionLabel")->GetText());
    EXPECT_EQ(CDuiString(L"-"), box->GetPaintManager()->FindControl(L"BeuildTimeLabel")->GetText());
    // Escape closes the box, as any dialog of the window base.
    PressKey(window, VK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 2000));
    UseEnglishTexts(true);
}
