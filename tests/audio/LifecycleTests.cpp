// Threads stopped mid-work and the library unloaded under running audio.
#include "tests/audio/SonarelFixtures.h"

namespace {

// The loopback's callbacks get no user pointer, so its recorders are reached through these.
BlockRecorder* s_captured;
BlockRecorder* s_played;
long OnLoopCapture(void*, CRA_DataBlock** block) { return BlockRecorder::Callback(s_captured, block); }
long OnLoopPlay(void*, CRA_DataBlock** block) { return BlockRecorder::Callback(s_played, block); }

// Capture and playback started through the exports, with blocks already arriving on both.
class SonarelRunning : public SonarelSoundTest {
protected:
    void StartBoth(size_t blocks)
    {
        capture = host.Sonarel_Create();
        player = host.AudioPlay_Create();
        ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &captured));
        ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &played));
        ASSERT_TRUE(captured.WaitForBlocks(blocks, kFirstBlocksMs));
        ASSERT_TRUE(played.WaitForBlocks(blocks, kFirstBlocksMs));
    }
    void CloseBoth()
    {
        host.Sonarel_Close(&capture);
        host.AudioPlay_Close(&player);
    }
    CDSSonarel* capture = nullptr;
    CDSAudioPlay* player = nullptr;
    BlockRecorder captured, played;
};

} // namespace

TEST_F(SonarelRunning, CloseDuringSlowCallbacksWaitsForTheThreadAndThenTheLibraryUnloads)
{
    captured.SetSleepMs(15);
    played.SetSleepMs(15);
    StartBoth(10);
    CloseBoth();
    ExpectQuietAfterStop(captured);
    ExpectQuietAfterStop(played);
    ASSERT_TRUE(host.Unload()) << "a thread of the library outlived the close";
    ASSERT_TRUE(host.Load());
}

TEST_F(SonarelRunning, ACallbackThatNeverReturnsIsTerminatedAfterASecond)
{
    captured.HangFrom(3);
    played.HangFrom(3);
    StartBoth(4);
    DWORD before = GetTickCount();
    CloseBoth();
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

TEST_F(SonarelRunning, UnloadingWithHandlesLeftOpenStopsTheirThreadsAndReleasesTheDevices)
{
    // DirectSound keeps some threads for the rest of the process once it has run: one run, closed, first.
    {
        BlockRecorder warmCapture, warmPlay;
        CDSSonarel* c = host.Sonarel_Create();
        CDSAudioPlay* p = host.AudioPlay_Create();
        ASSERT_EQ(1, host.Sonarel_Start(c, 0, 16000, 16, 1, BlockRecorder::Callback, &warmCapture));
        ASSERT_EQ(1, host.AudioPlay_Start(p, window.Handle(), 0, 16000, 16, 1, BlockRecorder::Callback, &warmPlay));
        ASSERT_TRUE(warmCapture.WaitForBlocks(5, kFirstBlocksMs));
        host.Sonarel_Close(&c);
        host.AudioPlay_Close(&p);
    }
    const size_t idleThreads = SettledThreadCount();

    StartBoth(5);
    ASSERT_TRUE(host.Unload()); // without closing: a careless host
    EXPECT_NE(std::string::npos, ReadSonarelLog().find("Warn: unloaded with 1 capture and 1 playback handles open\r\n"));
    ExpectQuietAfterStop(captured, 2000);
    ExpectQuietAfterStop(played, 2000);
    // DirectSound's own threads for the devices end too: the devices are released after the unload.
    // Mostly within milliseconds; now and then Wine's release of a stream takes about 5 s.
    EXPECT_TRUE(ThreadCountFallsTo(idleThreads, 15000)) << "DirectSound's threads for the devices still run";
    ASSERT_TRUE(host.Load());
}

TEST_F(SonarelSoundTest, LoopbackRunsUntilTheUnloadOrTheNextCallAndTheLibraryLoadsAgain)
{
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        BlockRecorder captured, played;
        s_captured = &captured;
        s_played = &played;
        host.DoDSound(window.Handle(), OnLoopCapture, OnLoopPlay);
        ASSERT_TRUE(captured.WaitForBlocks(20, kFirstBlocksMs));
        ASSERT_TRUE(played.WaitForBlocks(20, kFirstBlocksMs));
        for (const SeenBlock& b : captured.Blocks()) EXPECT_EQ(1280, b.length);
        for (const SeenBlock& b : played.Blocks()) EXPECT_EQ(1280, b.length);
        if (round == 0) {
            // No export stops the loopback: unloading the library does.
            ASSERT_TRUE(host.Unload());
            ExpectQuietAfterStop(captured, 2000);
            ExpectQuietAfterStop(played, 2000);
            ASSERT_TRUE(host.Load());
        } else {
            // A second call restarts both with the built-in callbacks (running until the fixture's unload).
            host.DoDSound(window.Handle(), nullptr, nullptr);
            ExpectQuietAfterStop(captured);
            ExpectQuietAfterStop(played);
        }
    }
}
