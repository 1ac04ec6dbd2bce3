// The live-state operations as tables: what each received part does to the positions of the others.
#include "classroom/LiveStateOps.h"

#include <gtest/gtest.h>

namespace {

LiveState State(uint8_t doc, uint8_t board, uint8_t camera, uint8_t flags = 0)
{
    LiveState live{};
    live.flags = flags;
    live.docState = doc;
    live.whiteboardState = board;
    live.cameraState = camera;
    return live;
}

} // namespace

TEST(LiveStateOps, SettingABoardMovesTheOtherBoardAndTheCamera)
{
    struct Case {
        LiveState before;
        bool document;
        uint8_t state;
        uint8_t doc, board, camera, flags;
    } cases[] = {
        // Live document in the main screen: the whiteboard follows without its live bit, the camera moves off.
        {State(0, 0x41, 0x41), true, 0x41, 0x41, 0x01, 0x42, 0x01},
        // Not live: the other board keeps its live bit.
        {State(0, 0x42, 0x42), true, 0x02, 0x02, 0x42, 0x41, 0x01},
        // The mirror image for the whiteboard; the document flag goes.
        {State(0x41, 0, 0x42, 0x09), false, 0x42, 0x02, 0x42, 0x41, 0x0A},
        // Position 0 moves no camera.
        {State(0, 0, 0x40), false, 0x40, 0x00, 0x40, 0x40, 0x02},
    };
    for (const Case& c : cases) {
        LiveState live = c.before;
        if (c.document) LiveStateSetDocument(live, {77, 3, c.state});
        else LiveStateSetWhiteboard(live, {2, c.state});
        EXPECT_EQ(live.docState, c.doc);
        EXPECT_EQ(live.whiteboardState, c.board);
        EXPECT_EQ(live.cameraState, c.camera);
        EXPECT_EQ(live.flags, c.flags);
    }
    LiveState live{};
    LiveStateSetDocument(live, {0x1122334455667788ull, 9, 0x41});
    EXPECT_EQ(live.docId, 0x1122334455667788ull);
    EXPECT_EQ(live.docPage, 9);
}

TEST(LiveStateOps, TheCameraPushesTheBoardToTheOtherScreen)
{
    LiveState live = State(0x41, 0x01, 0);
    LiveStateSetCamera(live, {2, 0x41});
    EXPECT_EQ(live.cameraState, 0x41);
    EXPECT_EQ(live.cameraIndex, 2);
    EXPECT_EQ(live.docState, 0x42);
    EXPECT_EQ(live.whiteboardState, 0x02);
    EXPECT_EQ(live.flags & eLive_Camera, eLive_Camera);
    // A whiteboard that is live decides when the positions disagree and the document is not live.
    live = State(0x01, 0x42, 0);
    EXPECT_EQ(LiveStateBoardPosition(live), 2);
    live = State(0x01, 0x02, 0);
    EXPECT_EQ(LiveStateBoardPosition(live), 0);
    LiveStateSetCamera(live, {0, 0x42});
    EXPECT_EQ(live.docState, 0x01);
    EXPECT_EQ(live.whiteboardState, 0x02);
}

TEST(LiveStateOps, SwapExchangesTheScreens)
{
    LiveState live = State(0x41, 0x01, 0x42);
    LiveStateSwapPositions(live);
    EXPECT_EQ(live.docState, 0x42);
    EXPECT_EQ(live.whiteboardState, 0x02);
    EXPECT_EQ(live.cameraState, 0x41);
    // Only the camera placed: the board takes the other screen.
    live = State(0, 0, 0x41);
    LiveStateSwapPositions(live);
    EXPECT_EQ(live.cameraState, 0x42);
    EXPECT_EQ(live.docState, 0x01);
    // Nothing placed: nothing changes.
    live = State(0x40, 0x00, 0x40);
    LiveStateSwapPositions(live);
    EXPECT_EQ(live.docState, 0x40);
    EXPECT_EQ(live.cameraState, 0x40);
}

TEST(LiveStateOps, NothingIsLiveWhileTheScreenIsShared)
{
    LiveState live = State(0x41, 0x42, 0x41);
    EXPECT_TRUE(LiveStateDocumentLive(live));
    EXPECT_TRUE(LiveStateWhiteboardLive(live));
    EXPECT_TRUE(LiveStateCameraLive(live));
    live.flags = eLive_ScreenShare;
    EXPECT_FALSE(LiveStateDocumentLive(live));
    EXPECT_FALSE(LiveStateWhiteboardLive(live));
    EXPECT_FALSE(LiveStateCameraLive(live));
}
