// Playback to the private sound server's speaker through the exports.
#include "tests/audio/SonarelFixtures.h"

#include <string>

namespace {

bool AnySample(const std::vector<SeenBlock>& blocks, size_t from, short value)
{
    for (size_t i = from; i < blocks.size(); ++i)
        for (short s : blocks[i].firstSamples)
            if (s == value) return true;
    return false;
}

} // namespace

TEST_F(SonarelSoundTest, PlaybackAsksFor1280ByteBlocksAboutEvery20Ms)
{
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder recorder;
    // The third argument has no effect.
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 12345, 32000, 16, 1, BlockRecorder::Callback, &recorder));
    ASSERT_TRUE(recorder.WaitForBlocks(60, kFirstBlocksMs)) << recorder.Count();
    host.AudioPlay_Close(&player);
    EXPECT_EQ(nullptr, player);
    std::vector<SeenBlock> blocks = recorder.Blocks();
    for (const SeenBlock& b : blocks) {
        EXPECT_EQ(1280, b.length);
        EXPECT_EQ(0, b.sequence);
        EXPECT_EQ(0u, b.time);
        EXPECT_EQ(0, b.reserved);
        EXPECT_EQ(-1, b.filled);
        EXPECT_EQ(&recorder, b.user);
        EXPECT_EQ(blocks.front().threadId, b.threadId);
    }
    ExpectRealTimeBlocks(blocks);
    ExpectQuietAfterStop(recorder);
}

TEST_F(SonarelSoundTest, PlayedSoundIsHandedBackAndReachesTheMicrophone)
{
    // The server's microphone records what its speaker plays.
    CDSSonarel* capture = host.Sonarel_Create();
    BlockRecorder heard;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 32000, 16, 1, BlockRecorder::Callback, &heard));

    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder played;
    played.SetFillSample(0x1234);
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 32000, 16, 1, BlockRecorder::Callback, &played));
    ASSERT_TRUE(played.WaitForBlocks(50, kFirstBlocksMs));
    // From now on every block gets another value; what the callback finds in the block is what the
    // buffer played, so the old value keeps coming back for a while.
    played.SetFillSample(0x0777);
    size_t switched = played.Count();
    ASSERT_TRUE(played.WaitForBlocks(switched + 40, kFirstBlocksMs));
    ASSERT_TRUE(heard.WaitForBlocks(100, kFirstBlocksMs));
    host.AudioPlay_Close(&player);
    host.Sonarel_Close(&capture);

    std::vector<SeenBlock> blocks = played.Blocks();
    EXPECT_TRUE(AnySample(blocks, switched + 1, 0x1234)) << "the played sound was not read back";
    EXPECT_TRUE(AnySample(blocks, switched + 1, 0x0777));
    int loudest = 0;
    for (const SeenBlock& b : heard.Blocks()) loudest = std::max(loudest, b.maxAbsSample);
    EXPECT_GT(loudest, 0x0400) << "the microphone heard nothing of the playback";
}

TEST_F(SonarelSoundTest, PlaybackCanBeRestartedAndAfterAFailedStartStartsAgain)
{
    CDSAudioPlay* player = host.AudioPlay_Create();
    BlockRecorder first;
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 32000, 16, 1, BlockRecorder::Callback, &first));
    ASSERT_TRUE(first.WaitForBlocks(5, kFirstBlocksMs));
    EXPECT_EQ(-5, host.AudioPlay_Start(player, window.Handle(), 0, 32000, 13, 1, BlockRecorder::Callback, &first));
    EXPECT_TRUE(ThreadEnded(first.CallbackThread()));
    BlockRecorder second;
    ASSERT_EQ(1, host.AudioPlay_Start(player, window.Handle(), 0, 16000, 16, 2, BlockRecorder::Callback, &second));
    ASSERT_TRUE(second.WaitForBlocks(5, kFirstBlocksMs));
    host.AudioPlay_Close(&player);
    for (const SeenBlock& b : second.Blocks()) EXPECT_EQ(1280, b.length);
    EXPECT_NE(std::string::npos, ReadSonarelLog().find("Info: CreateDsound8 hr = 0, name = "));
}
