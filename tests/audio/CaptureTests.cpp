// Capture from the private sound server's microphone through the exports.
#include "tests/audio/SonarelFixtures.h"

#include <objbase.h>

#include <string>

namespace {

void ExpectCaptureBlocks(const std::vector<SeenBlock>& blocks, int length, void* user)
{
    ASSERT_FALSE(blocks.empty());
    DWORD thread = blocks.front().threadId;
    for (size_t i = 0; i < blocks.size(); ++i) {
        const SeenBlock& b = blocks[i];
        EXPECT_EQ(static_cast<int>(i), b.sequence);
        EXPECT_EQ(length, b.length);
        EXPECT_EQ(1, b.filled);
        EXPECT_EQ(-1, b.reserved);
        EXPECT_EQ(user, b.user);
        EXPECT_EQ(thread, b.threadId) << "one capture thread per started object";
        EXPECT_NE(GetCurrentThreadId(), b.threadId);
        if (i > 0) {
            EXPECT_GE(b.time, blocks[i - 1].time);
        }
    }
}

} // namespace

TEST_F(SonarelSoundTest, DevicesOfBothFamiliesAreListedInRowsOf128)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    for (bool playback : {false, true}) {
        SCOPED_TRACE(playback ? "playback" : "capture");
        wchar_t rows[kSonarelMaxDeviceRows + 2][kSonarelNameChars];
        for (auto& row : rows) wmemset(row, L'#', kSonarelNameChars);
        int count = playback ? host.AudioPlay_GetDevs(player, rows) : host.Sonarel_GetDevs(capture, rows);
        ASSERT_GE(count, 1);
        ASSERT_LE(count, kSonarelMaxDeviceRows);
        for (int r = 0; r < count; ++r) {
            size_t length = wcsnlen(rows[r], kSonarelNameChars);
            EXPECT_LT(length, static_cast<size_t>(kSonarelNameChars)) << "row " << r << " is not terminated";
            EXPECT_GT(length, 0u);
        }
        EXPECT_EQ(L'#', rows[count][0]) << "rows past the list stay untouched";
        if (!playback) {
            EXPECT_EQ(count, host.Sonarel_GetDevs(capture, nullptr)) << "a null table is counted, not written";
        }
    }
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);
}

TEST_F(SonarelSoundTest, MonoCaptureDelivers640ByteBlocksNumberedFromZeroEvery20Ms)
{
    CDSSonarel* capture = host.Sonarel_Create();
    BlockRecorder recorder;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &recorder));
    ASSERT_TRUE(recorder.WaitForBlocks(60, kFirstBlocksMs)) << recorder.Count() << " blocks";
    host.Sonarel_Close(&capture);
    EXPECT_EQ(nullptr, capture);
    std::vector<SeenBlock> blocks = recorder.Blocks();
    ExpectCaptureBlocks(blocks, 640, &recorder);
    ExpectRealTimeBlocks(blocks);
    ExpectQuietAfterStop(recorder);
}

TEST_F(SonarelSoundTest, StereoDoublesTheBlockAndARestartNumbersFromZeroAgain)
{
    CDSSonarel* capture = host.Sonarel_Create();
    BlockRecorder first;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 16000, 16, 2, BlockRecorder::Callback, &first));
    ASSERT_TRUE(first.WaitForBlocks(10, kFirstBlocksMs));
    // A start on a running handle stops the first capture.
    BlockRecorder second;
    ASSERT_EQ(1, host.Sonarel_Start(capture, 0, 11025, 16, 1, BlockRecorder::Callback, &second));
    size_t firstTotal = first.Count();
    EXPECT_TRUE(ThreadEnded(first.CallbackThread(), 0));
    ASSERT_TRUE(second.WaitForBlocks(10, kFirstBlocksMs));
    host.Sonarel_Close(&capture);
    EXPECT_EQ(firstTotal, first.Count());
    ExpectCaptureBlocks(first.Blocks(), 1280, &first);
    // 11025 Hz mono is 441 bytes in 20 ms: whole samples only.
    ExpectCaptureBlocks(second.Blocks(), 440, &second);
}

TEST_F(SonarelSoundTest, AnIndexPastTheListCapturesFromTheDefaultDevice)
{
    CDSSonarel* capture = host.Sonarel_Create();
    int count = host.Sonarel_GetDevs(capture, nullptr);
    for (int index : {count, 99, -1}) {
        BlockRecorder recorder;
        ASSERT_EQ(1, host.Sonarel_Start(capture, index, 16000, 16, 1, BlockRecorder::Callback, &recorder)) << index;
        EXPECT_TRUE(recorder.WaitForBlocks(5, kFirstBlocksMs)) << index;
        host.Sonarel_Close(&capture);
        ExpectCaptureBlocks(recorder.Blocks(), 640, &recorder);
        capture = host.Sonarel_Create();
    }
    host.Sonarel_Close(&capture);
}

namespace {

struct MtaStart {
    SonarelHost* host;
    CDSSonarel* capture;
    int result;
};

DWORD WINAPI StartInMultithreadedApartment(void* param)
{
    auto* args = static_cast<MtaStart*>(param);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    args->result = args->host->Sonarel_Start(args->capture, 0, 16000, 16, 1, BlockRecorder::Callback, nullptr);
    CoUninitialize();
    return 0;
}

} // namespace

TEST_F(SonarelTest, StartOnAThreadInTheMultithreadedApartmentFails)
{
    MtaStart args{&host, host.Sonarel_Create(), 0};
    HANDLE thread = CreateThread(nullptr, 0, StartInMultithreadedApartment, &args, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000));
    CloseHandle(thread);
    EXPECT_EQ(-3, args.result);
    host.Sonarel_Close(&args.capture);
}
