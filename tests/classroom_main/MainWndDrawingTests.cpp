// Drawings through the class window: the pen and stroke bytes the room receives.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/PaintChangeRecord.h"
#include "controls/PaintObjects.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"

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
