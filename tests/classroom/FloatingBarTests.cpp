// The pen tool bar and the control-panel button under Xvfb: tools locked at start, the lock check box
// unlocking them, pen changes announced only by a teacher with a fresh order key, received pens shown
// without changing the bar's own pen, and the lock box keeping the bar's centre.
#include "classroom/FloatingBars.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "tests/classroom/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace {

class PenTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        SessionContext::Instance()->role = eRole_Teacher;
        bar = new CPenToolWnd;
        hwnd = bar->Create(parent.Handle(), L"PenTool", WS_POPUP | WS_VISIBLE, 0, 300, 400, 0, 0);
        ASSERT_TRUE(hwnd);
        pm = bar->GetPaintManager();
        LayOut(*pm);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        for (const auto& m : parent.Received(WM_USER_PEN_CHANGED)) delete reinterpret_cast<PaintPen*>(m.lParam);
        SessionContext::Instance()->role = eRole_Teacher;
    }
    std::vector<LPARAM> ToolNotices(WPARAM code = 17)
    {
        std::vector<LPARAM> out;
        for (const auto& m : parent.Received(WM_USER_UI_NOTICE))
            if (m.wParam == code) out.push_back(m.lParam);
        return out;
    }
    bool Enabled(const wchar_t* name) { return pm->FindControl(name)->IsEnabled(); }
    COptionUI* Option(const wchar_t* name) { return static_cast<COptionUI*>(pm->FindControl(name)); }
    CComboUI* Combo(const wchar_t* name) { return static_cast<CComboUI*>(pm->FindControl(name)); }
    const PaintPen* Announced(size_t i)
    {
        auto all = parent.Received(WM_USER_PEN_CHANGED);
        return i < all.size() ? reinterpret_cast<PaintPen*>(all[i].lParam) : nullptr;
    }
    TopLevelSink parent;
    CPenToolWnd* bar = nullptr;
    CPaintManagerUI* pm = nullptr;
    HWND hwnd = nullptr;
};

const wchar_t* const kTools[] = {L"ColorCombo", L"PenSizeCombo", L"ClearAllBtn", L"TextCheck", L"EraserCheck"};

} // namespace

TEST_F(PenTool, ToolsStartLockedAndTheLockCheckBoxFreesThem)
{
    for (const wchar_t* name : kTools) EXPECT_FALSE(Enabled(name)) << name;
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 1));
    EXPECT_EQ(ToolNotices(), (std::vector<LPARAM>{0}));
    // The combos show the starting pen (black, width 3) without announcing it.
    EXPECT_EQ(Combo(L"ColorCombo")->GetCurSel(), 4);
    EXPECT_EQ(Combo(L"PenSizeCombo")->GetCurSel(), 1);
    EXPECT_EQ(parent.Count(WM_USER_PEN_CHANGED), 0u);

    ASSERT_TRUE(ClickControl(*pm, L"LockCheck"));
    for (const wchar_t* name : kTools) EXPECT_TRUE(Enabled(name)) << name;
    ASSERT_TRUE(ClickControl(*pm, L"TextCheck"));
    EXPECT_TRUE(Option(L"TextCheck")->IsSelected());
    ASSERT_TRUE(ClickControl(*pm, L"ClearAllBtn"));

    ASSERT_TRUE(ClickControl(*pm, L"LockCheck"));
    EXPECT_FALSE(Option(L"TextCheck")->IsSelected());
    for (const wchar_t* name : kTools) EXPECT_FALSE(Enabled(name)) << name;
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 5));
    EXPECT_EQ(ToolNotices(), (std::vector<LPARAM>{0, 1, 0}));
    // Choosing the text tool takes the pen off the boards; its deselection gives it back.
    EXPECT_EQ(ToolNotices(kNoticeDrawingTool), (std::vector<LPARAM>{0, 1}));
    ASSERT_TRUE(parent.WaitFor(WM_USER_CLEAR_PAGE, 1));
    EXPECT_EQ(parent.Received(WM_USER_CLEAR_PAGE)[0].wParam, 1u);

    // The main window checks and unchecks the box by notice 10.
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 10, 0);
    EXPECT_TRUE(Option(L"LockCheck")->IsSelected());
    EXPECT_FALSE(bar->AreToolsDisabled());
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 10, 1);
    EXPECT_TRUE(bar->AreToolsDisabled());
}

TEST_F(PenTool, OnlyATeachersPenChangesAreAnnouncedWithFreshKeys)
{
    // The join set the drawing counter from the room's base; each pen takes the next key.
    SessionContext::Instance()->drawingOrderKey = 80000;
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 10, 0);
    Combo(L"ColorCombo")->SelectItem(3);
    Combo(L"PenSizeCombo")->SelectItem(4);
    ASSERT_TRUE(parent.WaitFor(WM_USER_PEN_CHANGED, 2));
    const PaintPen* first = Announced(0);
    const PaintPen* second = Announced(1);
    EXPECT_EQ(first->colour, 0xFF0099FFu);
    EXPECT_EQ(first->width, 3);
    EXPECT_EQ(second->colour, 0xFF0099FFu);
    EXPECT_EQ(second->width, 6);
    EXPECT_EQ(first->orderKey, 80001u);
    EXPECT_EQ(second->orderKey, 80002u);
    SessionContext* session = SessionContext::Instance();
    EXPECT_EQ(session->penColour, 0xFF0099FFu);
    EXPECT_EQ(session->penWidth, 6);
    EXPECT_EQ(session->penOrderKey, static_cast<int32_t>(second->orderKey));
    EXPECT_EQ(bar->GetPen().orderKey, 0u); // the key goes into the copies only

    // A pen equal to the bar's own is announced again with a new key.
    SendMessageW(hwnd, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(new PaintPen(bar->GetPen())));
    ASSERT_TRUE(parent.WaitFor(WM_USER_PEN_CHANGED, 3));
    EXPECT_EQ(Announced(2)->orderKey, 80003u);

    // Another pen is only shown by the combos.
    PaintPen other;
    other.colour = 0xFF33BB44;
    other.width = 5;
    SendMessageW(hwnd, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(new PaintPen(other)));
    SendMessageW(hwnd, WM_USER_PEN_CHANGED, 0, 0);
    EXPECT_EQ(Combo(L"ColorCombo")->GetCurSel(), 2);
    EXPECT_EQ(Combo(L"PenSizeCombo")->GetCurSel(), 3);
    EXPECT_EQ(bar->GetPen().colour, 0xFF0099FFu);
    EXPECT_EQ(bar->GetPen().width, 6);

    // A student's changes stay local.
    SessionContext::Instance()->role = eRole_Student;
    Combo(L"ColorCombo")->SelectItem(0);
    EXPECT_EQ(bar->GetPen().colour, 0xFFFF5522u);
    SendMessageW(hwnd, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(new PaintPen(bar->GetPen())));
    PumpMessagesFor(50);
    EXPECT_EQ(parent.Count(WM_USER_PEN_CHANGED), 3u);
}

TEST_F(PenTool, HidingTheLockBoxKeepsTheCentreAndFreesTheTools)
{
    RECT before{};
    GetWindowRect(hwnd, &before);
    const int w = pm->FindControl(L"LockCheck")->GetFixedWidth();
    ASSERT_GT(w, 0);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 9, 0);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 9, 0); // the second request changes nothing
    RECT after{};
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(after.left, before.left + w / 2);
    EXPECT_EQ(after.right - after.left, (before.right - before.left) - w);
    EXPECT_FALSE(pm->FindControl(L"LockCheck")->IsVisible());
    EXPECT_FALSE(bar->AreToolsDisabled());

    SendMessageW(hwnd, WM_USER_UI_NOTICE, 9, 1);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 9, 1);
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_TRUE(bar->AreToolsDisabled());
}

TEST(ControlPanelButton, ClicksToggleThePanelAndTheImages)
{
    UseProgramFolderSkins();
    TopLevelSink parent;
    auto* button = new CCpBtnWnd;
    HWND hwnd = button->Create(parent.Handle(), L"CpBtn", WS_POPUP | WS_VISIBLE, 0, 10, 10, 0, 0);
    ASSERT_TRUE(hwnd);
    CPaintManagerUI* pm = button->GetPaintManager();
    EXPECT_TRUE(button->IsPanelShown());
    ASSERT_TRUE(ClickControl(*pm, L"ControlPanelBtn"));
    auto* btn = static_cast<CButtonUI*>(pm->FindControl(L"ControlPanelBtn"));
    EXPECT_FALSE(button->IsPanelShown());
    EXPECT_STREQ(btn->GetNormalImage(), L"file='Icons.png' source='138,427,160,442'");
    ASSERT_TRUE(ClickControl(*pm, L"ControlPanelBtn"));
    EXPECT_TRUE(button->IsPanelShown());
    EXPECT_STREQ(btn->GetNormalImage(), L"file='Icons.png' source='78,427,100,442'");
    EXPECT_STREQ(btn->GetHotImage(), L"file='Icons.png' source='78,457,100,472'");
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 2));
    for (const auto& m : parent.Received(WM_USER_UI_NOTICE)) {
        EXPECT_EQ(m.wParam, 8u);
        EXPECT_EQ(m.lParam, 0);
    }
    DestroyWindow(hwnd);
}
