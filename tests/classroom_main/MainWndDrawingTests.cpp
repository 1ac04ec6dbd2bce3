// Drawings through the class window: the pen and stroke bytes the room receives, and the teacher's
// pen tool on the live board.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/FloatingBars.h"
#include "classroom/LiveStateOps.h"
#include "classroom/PaintChangeRecord.h"
#include "classroom/WhiteboardWnd.h"
#include "controls/PaintControl.h"
#include "controls/PaintObjects.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/Pixels.h"

#include <cstdlib>

using namespace fakeroom;

TEST(MainWndDrawing, PenAndStrokeGoToTheRoomAsTheirBytes)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    // The teacher's first pen comes first, from the join.
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 1; }, 5000));
    auto* pen = new PaintPen;
    pen->colour = 0xFF123456; // not in the table: index 0
    pen->width = 5;
    pen->style = 1;
    pen->orderKey = 10007;
    PostMessageW(h.window, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(pen));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 2; }, 5000));
    Packet sentPen = h.room.reg.Messages(eType_PaintObject)[1];
    EXPECT_EQ(sentPen.payload, BuildPenPayload(kOwnId, PenBody{0, 5, 1, 10007}));
    ASSERT_EQ(sentPen.payload.size(), 31u);
    EXPECT_EQ(sentPen.payload[5], 0);

    auto* change = new PaintChangeRecord;
    change->sourceKind = ePaintChange_Whiteboard;
    change->objectKind = 1;
    change->page = 2;
    change->surfaceWidth = 200;
    change->surfaceHeight = 100;
    change->stroke.tool = 1;
    change->stroke.orderKey = 10008;
    // The last two were dragged past the surface's edges: they go out on the edges.
    change->stroke.points = {{0.5f, 0.25f}, {0.999f, 0.999f}, {0.0f, 1.0f}, {-0.25f, 1.5f}, {3.0f, -0.01f}};
    PostMessageW(h.window, WM_USER_PAINTOBJ_CHANGED, 0, reinterpret_cast<LPARAM>(change));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 3; }, 5000));
    Packet stroke = h.room.reg.Messages(eType_PaintObject)[2];
    StrokeHead head{};
    head.page = 2;
    head.orderKey = 10008;
    head.tool = 1;
    head.surfaceWidth = 200;
    head.surfaceHeight = 100;
    std::vector<std::vector<uint8_t>> expected =
        BuildDrawPointsPayloads(0x12, kOwnId, head, {{100, 25}, {199, 99}, {0, 100}, {0, 100}, {200, 0}});
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(stroke.payload, expected[0]);
    EXPECT_EQ(stroke.payload[0], 0x12);
}

namespace {

// Rows of column x in the capture whose pixel is near the colour (0xRRGGBB).
int RowsOfColour(const WindowPixels& shot, int x, uint32_t colour)
{
    int rows = 0;
    for (int y = 0; y < shot.height; ++y) {
        const uint32_t p = shot.pixels[y * shot.width + x];
        bool matches = true;
        for (int shift : {16, 8, 0})
            matches = matches && std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((colour >> shift) & 0xFF)) < 40;
        rows += matches;
    }
    return rows;
}

} // namespace

// The teacher's road on the live board: the pen picked in the pen tool inks the next stroke at once,
// in its colour and width, and again after a reconnection; with the eraser or text tool chosen a drag
// leaves no ink and sends nothing.
TEST(MainWndDrawing, ThePickedPenInksTheNextStrokeAndTheEraserAndTextToolsInkNothing)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 1; }, 5000));
    ASSERT_TRUE(ClickControl(*PanelOf(h)->GetPaintManager(), L"WhiteBoardCheck"));
    HWND board = h.main->WhiteboardWindow();
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard && IsWindowVisible(board); }, 3000));
    auto* boardWnd = dynamic_cast<CWhiteboardWnd*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(board, GWLP_USERDATA)));
    auto* bar = dynamic_cast<CPenToolWnd*>(
        reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(h.main->PenToolWindow(), GWLP_USERDATA)));
    ASSERT_NE(boardWnd, nullptr);
    ASSERT_NE(bar, nullptr);
    CPaintManagerUI& tools = *bar->GetPaintManager();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h.main->PenToolWindow()) != FALSE; }, 3000));
    LayOut(tools);
    // With the whiteboard the bar hides its "Draw" box: the tools are free.
    ASSERT_TRUE(PumpUntil([&] { return !bar->AreToolsDisabled(); }, 3000));
    // Green, and the widest pen but one.
    static_cast<CComboUI*>(tools.FindControl(L"ColorCombo"))->SelectItem(2);
    static_cast<CComboUI*>(tools.FindControl(L"PenSizeCombo"))->SelectItem(3);
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 3; }, 5000));

    CPaintControlUI* surface = boardWnd->GetSurface(1);
    ASSERT_NE(surface, nullptr);
    LayOut(*boardWnd->GetPaintManager());
    const RECT rc = surface->GetPos();
    const int y0 = rc.top + (rc.bottom - rc.top) / 4, x0 = rc.left + 40, x1 = rc.left + 200;
    const RECT probe{x0 + 40, y0 - 20, x0 + 41, y0 + 20};
    auto drawAt = [&](int y) {
        DragThrough(board, {{x0, y}, {(x0 + x1) / 2, y}, {x1, y}});
        Settle(200);
        RedrawWindow(board, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    };
    drawAt(y0);
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 4; }, 5000));
    WindowPixels shot = CaptureClient(board, &probe);
    ASSERT_FALSE(shot.pixels.empty());
    const int green = RowsOfColour(shot, 0, 0x33BB44);
    EXPECT_GE(green, 4) << "the stroke is not drawn green and 5 pixels wide";
    EXPECT_LE(green, 6);
    EXPECT_EQ(RowsOfColour(shot, 0, 0x000000), 0);

    // The eraser, then the text tool: the drag leaves the board as it was and the room hears nothing.
    for (const wchar_t* tool : {L"EraserCheck", L"TextCheck"}) {
        ASSERT_TRUE(ClickControl(tools, tool));
        Settle(100);
        const size_t sent = h.room.reg.Messages(eType_PaintObject).size();
        const size_t objects = surface->GetObjectCount();
        const RECT lower{x0 + 40, y0 + 40, x0 + 41, y0 + 80};
        const WindowPixels before = CaptureClient(board, &lower);
        drawAt(y0 + 60);
        EXPECT_EQ(h.room.reg.Messages(eType_PaintObject).size(), sent) << Wide(tool);
        EXPECT_EQ(surface->GetObjectCount(), objects) << Wide(tool);
        EXPECT_TRUE(CaptureClient(board, &lower) == before) << Wide(tool);
        ASSERT_TRUE(ClickControl(tools, tool)); // chosen off again: the pen draws
        Settle(100);
    }
    drawAt(y0 + 60);
    EXPECT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 5; }, 5000));

    // A reconnection keeps the pen the teacher chose: the surface draws the next stroke with it. (This
    // room's join reply names nothing live, so the board is put away and its list is what tells.)
    h.room.reg.Drop();
    ASSERT_TRUE(h.WaitForOutput(L"Reconnection server successfully!", 20000));
    Settle(300);
    EXPECT_EQ(bar->GetPen().colour, 0xFF33BB44u);
    EXPECT_EQ(bar->GetPen().width, 5);
    PostMessageW(board, WM_USER_UI_NOTICE, 5, 0); // the page as a reload gives it
    Settle(200);
    const PaintPen* own = nullptr;
    for (size_t i = 0; i < surface->GetObjectCount(); ++i)
        if (surface->GetObjectAt(i)->type == ePaintObject_Pen && surface->GetObjectAt(i)->ownerKey == static_cast<int32_t>(kOwnId))
            own = surface->GetObjectAt(i)->pen.get();
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->colour, 0xFF33BB44u);
    EXPECT_EQ(own->width, 5);
}
