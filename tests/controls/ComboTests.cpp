// The drop-up combo's placement (numbers and a real popup under the display), its keys, and the
// shape element's swatch painted into a memory DIB.
#include "controls/ListupCombo.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The rectangle each drop-up list window was created with.
std::vector<RECT> g_created;

LRESULT CALLBACK RecordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        auto* cbt = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        wchar_t cls[64] = {};
        GetClassNameW(reinterpret_cast<HWND>(wParam), cls, 64);
        if (wcscmp(cls, L"__LumenvaleListUpComboWnd") == 0) {
            const CREATESTRUCTW* cs = cbt->lpcs;
            g_created.push_back(RECT{cs->x, cs->y, cs->x + cs->cx, cs->y + cs->cy});
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

const wchar_t kCombos[] = LR"(<VerticalLayout>
  <Control/>
  <HorizontalLayout height="20">
    <Control width="50"/>
    <LVListupCombo name="colour" width="100" dropboxsize="160,200">
      <ShapeElement name="s1" height="20" bkcolor="#FFFF0000" insideshape="solidrect" insidewidth="20" shapealign="left"/>
      <ShapeElement name="s2" height="20" bkcolor="#FF00FF00" insideshape="solidrect" insidewidth="20" insideheight="10"/>
      <ShapeElement name="s3" height="20" bkcolor="#FF0000FF" insideshape="solidrect" insidewidth="20" insideheight="10" shapealign="bottom"/>
      <ShapeElement name="hidden" height="20" visible="false"/>
    </LVListupCombo>
  </HorizontalLayout>
  <Control height="30"/>
</VerticalLayout>)";

} // namespace

TEST(DropUpPlacement, AboveCentredOrBelow)
{
    // Three items of 20 make a list of 70 (10 of frame); the real window below checks the centred case.
    struct Case {
        RECT combo;
        SIZE box;
        POINT screen;
        RECT expected;
    } cases[] = {
        {{100, 300, 200, 320}, {0, 50}, {10, 20}, {110, 264, 210, 314}}, // capped by the box, moved to the screen
        {{100, 300, 200, 320}, {80, 200}, {0, 0}, {100, 224, 180, 294}}, // narrower: the combo's left edge
        {{100, 10, 200, 30}, {0, 200}, {0, 0}, {100, 30, 200, 100}},     // no room above: below
    };
    for (const Case& c : cases) {
        RECT rc = PlaceDropUpList(c.combo, c.box, 60, c.screen, 0);
        EXPECT_TRUE(SameRect(rc, c.expected)) << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom;
    }
}

TEST(ShapeElement, SwatchesFollowAlignAndSize)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout><List name="l">
      <ShapeElement name="s1" height="20" bkcolor="#FFFF0000" insideshape="solidrect" insidewidth="20" shapealign="left"/>
      <ShapeElement name="s2" height="20" bkcolor="#FF00FF00" insideshape="solidrect" insidewidth="20" insideheight="10"/>
      <ShapeElement name="s3" height="20" bkcolor="#FF0000FF" insideshape="solidrect" insidewidth="20" insideheight="10" shapealign="bottomright"/>
      <ShapeElement name="s4" height="20" bkcolor="#FF00FFFF" insideshape="circle"/>
    </List></VerticalLayout>)", {0, 0, 100, 200}));
    auto* s1 = static_cast<CShapeElementUI*>(host.Find(L"s1"));
    auto* s3 = static_cast<CShapeElementUI*>(host.Find(L"s3"));
    ASSERT_NE(s1, nullptr);
    // The words are tried in a fixed order: "bottomright" holds "right" before "bottom" is tried.
    EXPECT_EQ(s3->GetShapeAlign(), CShapeElementUI::eAlign_Right);
    MemoryDib dib(100, 200);
    host.Repaint(dib, {0, 0, 100, 200});
    RECT r1 = s1->GetPos();
    ASSERT_EQ(r1.bottom - r1.top, 20);
    // A 20-pixel strip at the left, the item's full height.
    EXPECT_EQ(dib.CountColor({0, 0, 100, 200}, 0xFF0000), 20 * 20);
    EXPECT_EQ(dib.At(r1.left, r1.top), 0xFF0000u);
    EXPECT_EQ(dib.At(r1.left + 19, r1.bottom - 1), 0xFF0000u);
    EXPECT_NE(dib.At(r1.left + 20, r1.top + 5), 0xFF0000u);
    // Centred 20 x 10.
    RECT r2 = host.Find(L"s2")->GetPos();
    EXPECT_EQ(dib.CountColor({0, 0, 100, 200}, 0x00FF00), 200);
    EXPECT_EQ(dib.At(r2.left + 40, r2.top + 5), 0x00FF00u);
    EXPECT_NE(dib.At(r2.left + 39, r2.top + 5), 0x00FF00u);
    EXPECT_NE(dib.At(r2.left + 40, r2.top + 4), 0x00FF00u);
    // From the top-right corner.
    RECT r3 = s3->GetPos();
    EXPECT_EQ(dib.At(r3.right - 1, r3.top), 0x0000FFu);
    EXPECT_EQ(dib.CountColor({0, 0, 100, 200}, 0x0000FF), 200);
    // The circle is drawn as an outline only.
    RECT r4 = host.Find(L"s4")->GetPos();
    EXPECT_GT(dib.CountColor(r4, 0x00FFFF), 0);
    EXPECT_NE(dib.At((r4.left + r4.right) / 2, (r4.top + r4.bottom) / 2), 0x00FFFFu);
}

TEST(DropUpCombo, ARealListOpensAboveOrBelowOnThePrimaryMonitorAndTheWheelChoosesTheItem)
{
    ControlsHost host(true);
    if (!host.Window()) GTEST_SKIP() << "no display";
    ASSERT_TRUE(host.Load(kCombos, {0, 0, 300, 300}));
    // The drop list takes the window's default look of a vertical layout, then its own frame.
    host.Manager().AddDefaultAttributeList(L"VerticalLayout", L"childpadding=\"3\" bordersize=\"4\"");
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(host.Window(), nullptr, work.left + 40, work.top + 200, 300, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    auto* combo = static_cast<CLVListupComboUI*>(host.Find(L"colour"));
    ASSERT_NE(combo, nullptr);
    MemoryDib dib(300, 300);
    host.PaintAll(dib, {0, 0, 300, 300});
    RECT crc = combo->GetPos();
    ASSERT_EQ(crc.top, 250);
    combo->SelectItem(0);

    g_created.clear();
    HHOOK hook = SetWindowsHookExW(WH_CBT, RecordCreation, nullptr, GetCurrentThreadId());
    host.Click(crc.left + 10, crc.top + 10);
    UnhookWindowsHookEx(hook);
    ASSERT_NE(combo->GetDropWindow(), nullptr);
    HWND list = combo->GetDropWindow()->GetHWND();
    ASSERT_TRUE(IsWindow(list));
    RECT wrc;
    GetWindowRect(list, &wrc);
    POINT origin{0, 0};
    ClientToScreen(host.Window(), &origin);
    EXPECT_EQ(wrc.left - origin.x, crc.left - 30);
    EXPECT_EQ(wrc.right - wrc.left, 160);
    EXPECT_EQ(wrc.bottom - origin.y, crc.top - 6);
    EXPECT_EQ(wrc.bottom - wrc.top, 70); // three visible items and 10
    // The window was created where it stays: it never showed below the combo first.
    ASSERT_EQ(g_created.size(), 1u);
    EXPECT_TRUE(SameRect(g_created[0], wrc));
    EXPECT_EQ(host.Of(DUI_MSGTYPE_DROPDOWN).size(), 1u);
    EXPECT_TRUE(combo->Activate()); // already open: nothing more
    EXPECT_EQ(host.Of(DUI_MSGTYPE_DROPDOWN).size(), 1u);

    // Its look: the defaults, then a white list in a 1-pixel grey-blue frame, inset by 1.
    auto* layout = static_cast<CVerticalLayoutUI*>(combo->GetDropWindow()->GetManager()->GetRoot());
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->GetChildPadding(), 3);
    EXPECT_EQ(layout->GetBorderSize(), 1);
    EXPECT_EQ(layout->GetBorderColor(), 0xFFC6C7D2u);
    EXPECT_EQ(layout->GetBkColor(), 0xFFFFFFFFu);
    EXPECT_TRUE(SameRect(layout->GetInset(), RECT{1, 1, 1, 1}));

    // The wheel over the open list moves the selection, one item a notch, past the hidden item never.
    auto wheel = [&](int notches) {
        SendMessageW(list, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(notches * WHEEL_DELTA)),
                     MAKELPARAM(wrc.left + 5, wrc.top + 5));
    };
    size_t selections = host.Of(DUI_MSGTYPE_ITEMSELECT).size();
    wheel(-1);
    EXPECT_EQ(combo->GetCurSel(), 1);
    wheel(-1);
    wheel(-1);
    EXPECT_EQ(combo->GetCurSel(), 2);
    wheel(1);
    EXPECT_EQ(combo->GetCurSel(), 1);
    EXPECT_EQ(host.Of(DUI_MSGTYPE_ITEMSELECT).size(), selections + 3);
    EXPECT_TRUE(IsWindow(list)); // the wheel chooses; it does not close the list

    // Escape restores the selection of the moment it opened.
    SendMessageW(list, WM_KEYDOWN, VK_ESCAPE, 0);
    host.Pump(100);
    EXPECT_EQ(combo->GetDropWindow(), nullptr);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(combo->GetCurSel(), 0);

    // Just under the top of the primary work area there is no room above: the list opens below,
    // touching the combo's bottom edge.
    SetWindowPos(host.Window(), nullptr, work.left + 40, work.top + 60 - crc.top, 300, 300,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    origin = POINT{0, 0};
    ClientToScreen(host.Window(), &origin);
    host.Click(crc.left + 10, crc.top + 10);
    ASSERT_NE(combo->GetDropWindow(), nullptr);
    GetWindowRect(combo->GetDropWindow()->GetHWND(), &wrc);
    EXPECT_EQ(wrc.top - origin.y, crc.bottom);
    EXPECT_EQ(wrc.bottom - wrc.top, 70);
    SendMessageW(combo->GetDropWindow()->GetHWND(), WM_KEYDOWN, VK_ESCAPE, 0);
    host.Pump(100);
}

TEST(DropUpCombo, KeysWalkTheSelectableItems)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(kCombos, {0, 0, 300, 300}));
    auto* combo = static_cast<CLVListupComboUI*>(host.Find(L"colour"));
    ASSERT_NE(combo, nullptr);
    combo->SelectItem(0);
    // Down past the last visible item stays: the hidden item after it is skipped.
    const std::pair<wchar_t, int> steps[] = {{VK_DOWN, 1}, {VK_NEXT, 2}, {VK_DOWN, 2}, {VK_HOME, 0},
                                             {VK_END, 2},  {VK_PRIOR, 1}, {VK_UP, 0}};
    for (const auto& step : steps) {
        SendKey(combo, step.first);
        EXPECT_EQ(combo->GetCurSel(), step.second) << step.first;
    }
}
