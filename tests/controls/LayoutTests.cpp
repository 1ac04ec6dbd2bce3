// Position-reporting layouts, the scrolling layout's keys and wheel, and the native-window container
// moving a real child window.
#include "controls/PosLayouts.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

namespace {

RECT ChildRect(HWND child)
{
    RECT rc;
    GetWindowRect(child, &rc);
    MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<LPPOINT>(&rc), 2);
    return rc;
}

} // namespace

TEST(EmbedPlacement, FitsCentresOrFills)
{
    struct Case {
        RECT rc;
        UINT cw, ch;
        bool keep;
        RECT expected;
    } cases[] = {
        {{10, 20, 1010, 520}, 640, 480, true, {177, 20, 843, 520}},     // wider: 666 wide at L + 167
        {{10, 20, 810, 820}, 640, 480, true, {10, 120, 810, 720}},      // taller: 600 high at T + 100
        {{0, 0, 1000, 500}, 320, 240, false, {340, 130, 660, 370}},     // centred without enlarging
        {{0, 0, 1000, 500}, 1280, 240, false, {0, 130, 1000, 370}},     // too wide: full width
        {{0, 0, 800, 600}, 640, 480, true, {0, 0, 800, 600}},           // equal ratios fill
        {{5, 5, 105, 105}, 0, 0, true, {5, 5, 105, 105}},               // no content size: fill
    };
    for (const Case& c : cases) {
        RECT got = ComputeEmbedRect(c.rc, c.cw, c.ch, c.keep);
        EXPECT_TRUE(SameRect(got, c.expected))
            << c.cw << "x" << c.ch << " -> " << got.left << "," << got.top << "," << got.right << "," << got.bottom;
    }
}

TEST(WinContainer, KeepsTheHostedWindowOnItsRectangle)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <Control height="20"/>
      <WinContainer name="video"/>
    </VerticalLayout>)", {0, 0, 1000, 520}));
    auto* box = static_cast<CWinContainerUI*>(host.Find(L"video"));
    ASSERT_NE(box, nullptr);

    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.Window(), nullptr, nullptr, nullptr);
    if (!child) GTEST_SKIP() << "native child windows need the display";
    box->SetEmbedWindow(child);
    EXPECT_TRUE(SameRect(ChildRect(child), RECT{0, 20, 1000, 520}));

    box->SetContentSize(640, 480);
    box->SetKeepAspect(true);
    EXPECT_TRUE(SameRect(ChildRect(child), RECT{167, 20, 833, 520}));
    box->SetKeepAspect(false);
    EXPECT_TRUE(SameRect(ChildRect(child), RECT{180, 30, 820, 510}));

    // A layout pass moves the window along and reports the new place.
    host.entries.clear();
    box->SetPos(RECT{0, 20, 800, 820});
    EXPECT_TRUE(SameRect(ChildRect(child), RECT{80, 180, 720, 660}));
    EXPECT_EQ(host.Of(DUI_MSGTYPE_POSCHANGE).size(), 1u);

    // Without a content height the size is forgotten and the window fills the rectangle again.
    box->SetContentSize(640, 0);
    box->SetKeepAspect(true);
    box->SetPos(RECT{0, 20, 800, 820});
    EXPECT_TRUE(SameRect(ChildRect(child), RECT{0, 20, 800, 820}));

    box->SetVisible(false);
    EXPECT_FALSE(IsWindowVisible(child) && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE));
    box->SetVisible(true);
    EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);

    // Replacing the window turns keep aspect back on and forgets the content size.
    box->SetContentSize(320, 240);
    box->SetKeepAspect(false);
    HWND second = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 10, 10, host.Window(), nullptr, nullptr, nullptr);
    box->SetEmbedWindow(second);
    EXPECT_TRUE(SameRect(ChildRect(second), RECT{0, 20, 800, 820}));
    box->SetContentSize(640, 480);
    box->SetPos(RECT{0, 20, 800, 820});
    EXPECT_TRUE(SameRect(ChildRect(second), RECT{0, 120, 800, 720}));
    DestroyWindow(child);
    DestroyWindow(second);
}

TEST(PositionLayouts, ReportAfterTheChildrenArePlaced)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <PosVerLayout name="v"><Control name="vc"/></PosVerLayout>
      <PosHorLayout name="h"><Control name="hc"/></PosHorLayout>
    </HorizontalLayout>)", {0, 0, 200, 100}));
    auto* v = host.Find(L"v");
    auto* h = host.Find(L"h");
    ASSERT_NE(v, nullptr);
    ASSERT_NE(h, nullptr);
    RECT seen{};
    v->OnNotify += [&](void* p) {
        auto* msg = static_cast<TNotifyUI*>(p);
        if (msg->sType == DUI_MSGTYPE_POSCHANGE) seen = host.Find(L"vc")->GetPos();
        return true;
    };
    host.entries.clear();
    v->SetPos(RECT{0, 0, 50, 60});
    EXPECT_TRUE(SameRect(seen, RECT{0, 0, 50, 60}));
    h->SetPos(RECT{50, 0, 150, 60});
    auto reports = host.Of(DUI_MSGTYPE_POSCHANGE);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].sender, v);
    EXPECT_EQ(reports[1].sender, h);
    EXPECT_EQ(reports[1].wParam, 0u);
}

TEST(ScrollHorLayout, KeysAndWheelScrollOnlyWithAVisibleBar)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <ScrollHorLayout name="panel" hscrollbar="true" height="60">
        <Control width="150"/><Control width="150"/><Control width="150"/>
      </ScrollHorLayout>
      <ScrollHorLayout name="short" hscrollbar="true" height="40"><Control width="50"/></ScrollHorLayout>
    </VerticalLayout>)", {0, 0, 200, 100}));
    auto* panel = static_cast<CScrollHorLayoutUI*>(host.Find(L"panel"));
    auto* shortPanel = static_cast<CScrollHorLayoutUI*>(host.Find(L"short"));
    ASSERT_NE(panel, nullptr);
    CScrollBarUI* bar = panel->GetHorizontalScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->GetScrollRange(), 250);
    EXPECT_EQ(bar->GetScrollPos(), 0);
    EXPECT_FALSE(shortPanel->GetHorizontalScrollBar()->IsVisible());

    const std::pair<wchar_t, int> steps[] = {
        {VK_DOWN, bar->GetLineSize()}, {VK_END, 250}, {VK_HOME, 0}, {VK_RIGHT, 200}, {VK_PRIOR, 0}};
    for (const auto& step : steps) {
        SendKey(panel, step.first);
        EXPECT_EQ(panel->GetScrollPos().cx, step.second) << step.first;
    }

    // The wheel turned down scrolls right by a line.
    host.Move(100, 30);
    POINT screen{100, 30};
    ClientToScreen(host.Window(), &screen);
    SendMessageW(host.Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(panel->GetScrollPos().cx, bar->GetLineSize());

    SendKey(shortPanel, VK_END);
    EXPECT_EQ(shortPanel->GetScrollPos().cx, 0);

    // Narrowing the children away hides the bar with range and position 0.
    panel->RemoveAt(2);
    panel->RemoveAt(1);
    panel->SetPos(panel->GetPos());
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_EQ(bar->GetScrollRange(), 0);
    EXPECT_EQ(bar->GetScrollPos(), 0);
}
