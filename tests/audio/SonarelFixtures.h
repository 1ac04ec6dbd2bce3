#pragma once
#include "tests/audio/SonarelHost.h"
#include "core/Folders.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

// First captured data arrives 0.7-0.9 s after a start; this leaves room for a loaded machine.
const DWORD kFirstBlocksMs = 8000;

// Every case loads the DLL afresh and must leave it unloadable.
class SonarelTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.Load()) << "Sonarel.dll or one of its exports is missing"; }
    void TearDown() override { EXPECT_TRUE(host.Unload()) << "Sonarel.dll stayed in the process"; }
    SonarelHost host;
};

// Cases that need the private sound server's devices.
class SonarelSoundTest : public SonarelTest {
protected:
    void SetUp() override
    {
        if (!SoundExpected()) GTEST_SKIP() << "no sound server in this run (scripts/sound-env starts one)";
        SonarelTest::SetUp();
    }
    MessageSink window; // the playback's cooperative-level window
};

// The device runs in real time: blocks 10 to 60 (50 blocks of 20 ms) cover about a second; the first
// ones may come in a burst from the buffer. A clock that races or stalls shows here.
inline void ExpectRealTimeBlocks(const std::vector<SeenBlock>& blocks)
{
    ASSERT_GE(blocks.size(), 60u);
    DWORD span = blocks[59].arrivedMs - blocks[9].arrivedMs;
    EXPECT_GE(span, 700u);
    EXPECT_LE(span, 1600u);
}

// Called right after a stop: the callback's thread ends (within the wait) and no block arrives any more.
inline void ExpectQuietAfterStop(const BlockRecorder& recorder, DWORD threadWaitMs = 0)
{
    EXPECT_TRUE(ThreadEnded(recorder.CallbackThread(), threadWaitMs));
    size_t after = recorder.Count();
    Sleep(150);
    EXPECT_EQ(after, recorder.Count());
}
