// The cursor over a drawing surface, set through the window's WM_SETCURSOR as the mouse moves over it:
// the program's pen while drawing is on, the arrow while it is off.
#include "controls/PaintControl.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kSurface[] = LR"(<HorizontalLayout>
  <PaintControl name="wb" width="200"/>
  <Control name="rest"/>
</HorizontalLayout>)";

// The cursor the window sets with the mouse at (x, y) of its client area.
HCURSOR CursorAt(ControlsHost& host, int x, int y)
{
    POINT screen{x, y};
    ClientToScreen(host.Window(), &screen);
    SetCursorPos(screen.x, screen.y);
    SetCursor(nullptr);
    SendMessageW(host.Window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(host.Window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
}

} // namespace

TEST(PenCursor, ThePenShowsWhileDrawingIsOnAndTheArrowWhileItIsOff)
{
    SetLocalUser(42, eRole_Teacher);
    ControlsHost host(true);
    ASSERT_TRUE(host.Load(kSurface, {0, 0, 300, 100}));
    auto* wb = static_cast<CPaintControlUI*>(host.Find(L"wb"));
    ASSERT_NE(wb, nullptr);
    HCURSOR pen = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LV_PEN_CURSOR));
    ASSERT_NE(pen, nullptr) << "cursor resource " << IDC_LV_PEN_CURSOR << " is missing";
    // A monochrome cursor (AND and XOR masks one above the other) with its hot spot at the pencil tip.
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(pen, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, 1u);
    EXPECT_EQ(info.yHotspot, 29u);
    EXPECT_EQ(info.hbmColor, nullptr);
    BITMAP mask{};
    ASSERT_EQ(GetObjectW(info.hbmMask, sizeof(mask), &mask), static_cast<int>(sizeof(mask)));
    EXPECT_EQ(mask.bmWidth, 32);
    EXPECT_EQ(mask.bmHeight, 64);
    DeleteObject(info.hbmMask);

    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    EXPECT_TRUE(wb->IsPenEnabled());
    EXPECT_EQ(CursorAt(host, 50, 50), pen);
    wb->SetPenEnabled(false);
    EXPECT_EQ(CursorAt(host, 50, 50), arrow);
    wb->SetPenEnabled(true);
    EXPECT_EQ(CursorAt(host, 150, 20), pen);
    // A disabled surface leaves the cursor to the window.
    wb->SetEnabled(false);
    EXPECT_NE(CursorAt(host, 50, 50), pen);
}
