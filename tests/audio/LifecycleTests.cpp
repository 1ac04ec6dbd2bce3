// Threads stopped mid-work and the library unloaded under running audio.
#include "tests/audio/SonarelFixtures.h"

namespace {

const DWORD kFirstBlocksMs = 8000;

BlockRecorder* s_captured;
BlockRecorder* s_played;
long OnLoopCapture(void*, CRA_DataBlock** block) { return BlockRecorder::Callback(s_captured, block); }
long OnLoopPlay(void*, CRA_DataBlock** block) { return BlockRecorder::Callback(s_played, block); }

} // namespace

TEST_F(SonarelSoundTest, CloseDuringSlowCallbacksWaitsForTheThreadAndThenNothingRuns)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder captured, played;
    captured.SetSleepMs(15);
    played.SetSleepMs(15);
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &captured));
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &played));
    ASSERT_TRUE(captured.WaitForBlocks(10, kFirstBlocksMs));
    ASSERT_TRUE(played.WaitForBlocks(10, kFirstBlocksMs));
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);
    EXPECT_TRUE(ThreadEnded(captured.CallbackThread()));
    EXPECT_TRUE(ThreadEnded(played.CallbackThread()));
    size_t capturedTotal = captured.Count(), playedTotal = played.Count();
    Sleep(100);
    EXPECT_EQ(capturedTotal, captured.Count());
    EXPECT_EQ(playedTotal, played.Count());
}

TEST_F(SonarelSoundTest, ACallbackThatNeverReturnsIsTerminatedAfterASecond)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder captured, played;
    captured.HangFrom(3);
    played.HangFrom(3);
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &captured));
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &played));
    ASSERT_TRUE(captured.WaitForBlocks(4, kFirstBlocksMs));
    ASSERT_TRUE(played.WaitForBlocks(4, kFirstBlocksMs));

    DWORD before = GetTickCount();
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);
    DWORD took = GetTickCount() - before;
    EXPECT_GE(took, 1900u) << "each stop waits a second for its thread";
    EXPECT_LT(took, 15000u); // room for a loaded machine; a stop that never ends still fails

    ASSERT_TRUE(ThreadEnded(captured.CallbackThread(), 5000));
    ASSERT_TRUE(ThreadEnded(played.CallbackThread(), 5000));
    DWORD code = 0;
    GetExitCodeThread(captured.CallbackThread(), &code);
    EXPECT_EQ(171u, code);
    GetExitCodeThread(played.CallbackThread(), &code);
    EXPECT_EQ(172u, code);
    EXPECT_EQ(4u, captured.Count());
    EXPECT_EQ(4u, played.Count());
}

TEST_F(SonarelSoundTest, UnloadingStopsTheLoopbackAndTheLibraryLoadsAgain)
{
    for (int round = 0; round < 2; ++round) {
        BlockRecorder captured, played;
        s_captured = &captured;
        s_played = &played;
        host.DoDSound(window.Handle(), OnLoopCapture, OnLoopPlay);
        ASSERT_TRUE(captured.WaitForBlocks(5, kFirstBlocksMs)) << round;
        ASSERT_TRUE(played.WaitForBlocks(5, kFirstBlocksMs)) << round;

        // No export stops the loopback: unloading the library does.
        ASSERT_TRUE(host.Unload()) << round;
        EXPECT_TRUE(ThreadEnded(captured.CallbackThread(), 2000)) << round;
        EXPECT_TRUE(ThreadEnded(played.CallbackThread(), 2000)) << round;
        size_t capturedTotal = captured.Count(), playedTotal = played.Count();
        Sleep(100);
        EXPECT_EQ(capturedTotal, captured.Count());
        EXPECT_EQ(playedTotal, played.Count());
        ASSERT_TRUE(host.Load()) << round;
    }
}

TEST_F(SonarelSoundTest, UnloadingAfterCloseLeavesNoThreadOfTheLibrary)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder captured, played;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &captured));
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &played));
    ASSERT_TRUE(captured.WaitForBlocks(5, kFirstBlocksMs));
    ASSERT_TRUE(played.WaitForBlocks(5, kFirstBlocksMs));
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);
    ASSERT_TRUE(host.Unload());
    EXPECT_TRUE(ThreadEnded(captured.CallbackThread()));
    EXPECT_TRUE(ThreadEnded(played.CallbackThread()));
    ASSERT_TRUE(host.Load());
}

TEST_F(SonarelSoundTest, UnloadingWithHandlesLeftOpenStopsTheirThreads)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder captured, played;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &captured));
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &played));
    ASSERT_TRUE(captured.WaitForBlocks(5, kFirstBlocksMs));
    ASSERT_TRUE(played.WaitForBlocks(5, kFirstBlocksMs));
    ASSERT_TRUE(host.Unload()); // without closing: a careless host
    EXPECT_NE(std::string::npos, ReadSonarelLog().find("Warn: unloaded with 1 capture and 1 playback handles open\r\n"));
    EXPECT_TRUE(ThreadEnded(captured.CallbackThread(), 2000));
    EXPECT_TRUE(ThreadEnded(played.CallbackThread(), 2000));
    size_t capturedTotal = captured.Count(), playedTotal = played.Count();
    Sleep(100);
    EXPECT_EQ(capturedTotal, captured.Count());
    EXPECT_EQ(playedTotal, played.Count());
    ASSERT_TRUE(host.Load());
}
