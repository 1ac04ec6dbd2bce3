// Drawings through the class window: the pen and stroke bytes the room receives, and the teacher's
// pen tool on the live board.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/FloatingBars.h"
#include "classroom/LiveStateOps.h"
#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "classroom/WhiteboardWnd.h"
#include "controls/PaintControl.h"
#include "controls/PaintObjects.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/Pixels.h"

#include <cstdlib>
#include <cstring>

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

// The teacher's live board, opened from the control panel, with the pen tool's tools free.
struct TeacherBoard {
    explicit TeacherBoard(MainWndHarness& harness) : h(harness) {}

    bool Open()
    {
        // The teacher's first pen comes first, from the join.
        if (!PumpUntil([&] { return Sent() >= 1; }, 5000)) return false;
        if (!ClickControl(*PanelOf(h)->GetPaintManager(), L"WhiteBoardCheck")) return false;
        window = h.main->WhiteboardWindow();
        if (!PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard && IsWindowVisible(window); }, 3000))
            return false;
        board = dynamic_cast<CWhiteboardWnd*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
        bar = dynamic_cast<CPenToolWnd*>(
            reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(h.main->PenToolWindow(), GWLP_USERDATA)));
        if (!board || !bar || !PumpUntil([&] { return IsWindowVisible(h.main->PenToolWindow()) != FALSE; }, 3000))
            return false;
        LayOut(*bar->GetPaintManager());
        // With the whiteboard the bar hides its "Draw" box: the tools are free.
        if (!PumpUntil([&] { return !bar->AreToolsDisabled(); }, 3000)) return false;
        surface = board->GetSurface(1);
        if (!surface) return false;
        LayOut(*board->GetPaintManager());
        const RECT rc = surface->GetPos();
        y0 = rc.top + (rc.bottom - rc.top) / 4;
        x0 = rc.left + 40;
        x1 = rc.left + 200;
        return true;
    }
    size_t Sent() const { return h.room.reg.Messages(eType_PaintObject).size(); }
    // A colour of the pen tool's combo (0 orange, 1 yellow, 2 green, 3 blue, 4 black).
    void Pick(int item) { static_cast<CComboUI*>(bar->GetPaintManager()->FindControl(L"ColorCombo"))->SelectItem(item); }
    void DrawAt(int y)
    {
        DragThrough(window, {{x0, y}, {(x0 + x1) / 2, y}, {x1, y}});
        Settle(200);
        Repaint();
    }
    void Repaint() { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); }
    // A one-pixel column across the stroke drawn at y.
    RECT Probe(int y) const { return RECT{x0 + 40, y - 20, x0 + 41, y + 20}; }
    int Rows(int y, uint32_t colour) const
    {
        const RECT probe = Probe(y);
        return RowsOfColour(CaptureClient(window, &probe), 0, colour);
    }
    size_t Strokes() const
    {
        size_t strokes = 0;
        for (size_t i = 0; i < surface->GetObjectCount(); ++i) strokes += surface->GetObjectAt(i)->type == ePaintObject_Stroke;
        return strokes;
    }

    MainWndHarness& h;
    HWND window = nullptr;
    CWhiteboardWnd* board = nullptr;
    CPenToolWnd* bar = nullptr;
    CPaintControlUI* surface = nullptr;
    int y0 = 0, x0 = 0, x1 = 0;
};

const uint32_t kGreen = 0x33BB44, kBlue = 0x0099FF, kOrange = 0xFF5522, kYellow = 0xFFCC33;

// The key of a pen message as the room received it.
uint32_t PenKey(const Packet& pen)
{
    uint32_t key = 0;
    if (pen.payload.size() == 31) memcpy(&key, &pen.payload[8], 4);
    return key;
}

} // namespace

// The teacher's road on the live board: the pen picked in the pen tool inks the next stroke at once,
// in its colour and width, and again after a reconnection; with the eraser or text tool chosen a drag
// leaves no ink and sends nothing.
TEST(MainWndDrawing, ThePickedPenInksTheNextStrokeAndTheEraserAndTextToolsInkNothing)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    TeacherBoard b(h);
    ASSERT_TRUE(b.Open());
    HWND board = b.window;
    CPenToolWnd* bar = b.bar;
    CPaintManagerUI& tools = *bar->GetPaintManager();
    // Green, and the widest pen but one.
    b.Pick(2);
    static_cast<CComboUI*>(tools.FindControl(L"PenSizeCombo"))->SelectItem(3);
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 3; }, 5000));

    CPaintControlUI* surface = b.surface;
    const int y0 = b.y0, x0 = b.x0;
    const RECT probe = b.Probe(y0);
    auto drawAt = [&](int y) { b.DrawAt(y); };
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

// A pick while the last stroke is still on its way to the room: against a room that returns the own
// strokes late and one that never does, the stroke stays on the teacher's board in the pen it was drawn
// with and the next one takes the new pen; once the late strokes are back, a reload of the page paints
// both as they were drawn.
TEST(MainWndDrawing, APenPickKeepsEveryStrokeOnTheDrawersBoardWhetherTheRoomReturnsItLateOrNever)
{
    for (bool returnsLate : {true, false}) {
        SCOPED_TRACE(returnsLate ? "late" : "never");
        MainWndHarness h;
        if (returnsLate) {
            h.room.reg.SetDrawingEcho(true);
            h.room.reg.HoldDrawingEchoes(true);
        }
        ASSERT_TRUE(h.StartAndJoin());
        TeacherBoard b(h);
        ASSERT_TRUE(b.Open());
        const size_t sent = b.Sent();
        b.Pick(2);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 1; }, 5000));
        const int first = b.y0, second = b.y0 + 40;
        b.DrawAt(first);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 2; }, 5000));
        b.Pick(3);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 3; }, 5000));
        Settle(100);
        b.Repaint();
        EXPECT_EQ(b.Strokes(), 1u);
        EXPECT_GE(b.Rows(first, kGreen), 2) << "the stroke drawn before the pick left the board";
        EXPECT_EQ(b.Rows(first, kBlue), 0);
        b.DrawAt(second);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 4; }, 5000));
        EXPECT_EQ(b.Strokes(), 2u);
        EXPECT_GE(b.Rows(second, kBlue), 2);
        EXPECT_GE(b.Rows(first, kGreen), 2);
        if (!returnsLate) continue;

        // Both strokes come back now, after the blue pen; a reload paints them from the store.
        h.room.reg.HoldDrawingEchoes(false);
        auto ownStrokes = [] {
            KeyedPaintObjects page;
            RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page);
            size_t strokes = 0;
            for (const KeyedPaintObject& o : page)
                strokes += o.object->type == ePaintObject_Stroke && o.object->ownerKey == int32_t(kOwnId);
            return strokes;
        };
        ASSERT_TRUE(PumpUntil([&] { return ownStrokes() == 2; }, 5000));
        PostMessageW(b.window, WM_USER_UI_NOTICE, 5, 0);
        Settle(200);
        b.Repaint();
        EXPECT_EQ(b.Strokes(), 2u);
        EXPECT_GE(b.Rows(first, kGreen), 2) << "the returned stroke took the pen picked after it";
        EXPECT_EQ(b.Rows(first, kBlue), 0);
        EXPECT_GE(b.Rows(second, kBlue), 2);
    }
}

// Keys at the top of the range from a fuzzing participant, and a rejoin whose drawing id base lies below
// the keys seen: the teacher's next pens still go out keyed above every earlier one, never wrapped, and
// each draws in its own colour.
TEST(MainWndDrawing, OwnPenKeysOnlyRiseWhateverKeysTheRoomShows)
{
    MainWndHarness h;
    h.room.reg.SetDrawingEcho(true);
    ASSERT_TRUE(h.StartAndJoin());
    TeacherBoard b(h);
    ASSERT_TRUE(b.Open());
    const size_t start = b.Sent();
    b.Pick(2);
    ASSERT_TRUE(PumpUntil([&] { return b.Sent() == start + 1; }, 5000));
    uint32_t last = PenKey(h.room.reg.Messages(eType_PaintObject).back());
    ASSERT_GT(last, kDrawingBase + 10000);
    b.DrawAt(b.y0);
    ASSERT_TRUE(PumpUntil([&] { return b.Sent() == start + 2; }, 5000));

    const uint32_t before = SessionContext::Instance()->drawingOrderKey;
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildPenPayload(kBen, PenBody{4, 3, 0, 0xFFFFFFFEu}), kBen));
    StrokeHead head{};
    head.page = 1;
    head.orderKey = 0xFFFFFFFFu;
    head.surfaceWidth = 100;
    head.surfaceHeight = 100;
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildDrawPointsPayloads(0x12, kBen, head, {{1, 1}, {2, 2}})[0], kBen));
    ASSERT_TRUE(PumpUntil([] { return LogCount(L"order key 4294967295 refused") == 1; }, 3000));
    EXPECT_EQ(LogCount(L"order key 4294967294 refused"), 1u);
    EXPECT_EQ(SessionContext::Instance()->drawingOrderKey, before);

    // Orange, blue and yellow picks each ink the stroke after them, and each key rises.
    const struct {
        int item;
        uint32_t colour;
    } picks[] = {{0, kOrange}, {3, kBlue}, {1, kYellow}};
    int y = b.y0 + 40;
    size_t sent = b.Sent();
    for (const auto& pick : picks) {
        b.Pick(pick.item);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 1; }, 5000));
        const uint32_t key = PenKey(h.room.reg.Messages(eType_PaintObject).back());
        EXPECT_GT(key, last);
        EXPECT_LT(key, 0xFFFF0000u);
        last = key;
        b.DrawAt(y);
        ASSERT_TRUE(PumpUntil([&] { return b.Sent() == sent + 2; }, 5000));
        sent += 2;
        y += 30;
    }
    // The room returned every stroke: read back from the store, each keeps its pen.
    PostMessageW(b.window, WM_USER_UI_NOTICE, 5, 0);
    Settle(200);
    b.Repaint();
    EXPECT_GE(b.Rows(b.y0, kGreen), 2);
    y = b.y0 + 40;
    for (const auto& pick : picks) {
        EXPECT_GE(b.Rows(y, pick.colour), 2) << std::hex << pick.colour;
        EXPECT_EQ(b.Rows(y, kGreen), 0) << std::hex << pick.colour;
        y += 30;
    }

    // A rejoin whose base is far below the keys already seen leaves the counter where it was.
    Bytes join = JoinReply(1);
    const uint32_t lowBase = 100;
    memcpy(&join[40], &lowBase, 4);
    h.room.reg.SetJoinReply(1, join);
    h.room.reg.Drop();
    ASSERT_TRUE(h.WaitForOutput(L"Reconnection server successfully!", 20000));
    Settle(300);
    EXPECT_GE(SessionContext::Instance()->drawingOrderKey, last);
    sent = b.Sent();
    b.Pick(2);
    ASSERT_TRUE(PumpUntil([&] { return b.Sent() > sent; }, 5000));
    EXPECT_GT(PenKey(h.room.reg.Messages(eType_PaintObject).back()), last);
}
