#pragma once
#include "tests/audio/SonarelHost.h"
#include "core/Folders.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

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
