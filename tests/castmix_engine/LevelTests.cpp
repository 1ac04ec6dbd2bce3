// The engine's own arithmetic: speech levels of sample blocks, volumes, the meter's window, the
// device-row copy, the recording record's checks and the composed recording frame.
#include "platform/castmix/AudioPath.h"
#include "platform/castmix/RecordingSession.h"
#include "platform/castmix/SpeechLevel.h"
#include "tests/castmix_engine/EngineSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct LevelCase {
    int16_t peak;
    int volume;
    int level;
};

TEST(SpeechLevel, PeakAfterVolumeInTenthsOfFullScale)
{
    const LevelCase cases[] = {
        {0, 200, 0},       {3276, 200, 0},    {3277, 200, 1},     {16384, 200, 5},   {32767, 200, 9},
        {-32768, 200, 9},  {29491, 200, 8},   {29492, 200, 9},    {32767, 100, 4},   {32767, 0, 0},
        {16384, 100, 2},   {-16384, 200, 5},  {6554, 200, 2},
    };
    for (const LevelCase& item : cases) {
        std::vector<int16_t> block(320, 0);
        block[100] = item.peak;
        block[101] = static_cast<int16_t>(item.peak / 2);
        EXPECT_EQ(SpeechLevelOf(block.data(), block.size(), item.volume), item.level)
            << "peak " << item.peak << " volume " << item.volume;
    }
    EXPECT_EQ(SpeechLevelOf(nullptr, 320, 200), 0);
    int16_t one = 32767;
    EXPECT_EQ(SpeechLevelOf(&one, 0, 200), 0);
    EXPECT_EQ(SpeechLevelOf(&one, 1, -5), 0);
}

TEST(SpeechLevel, VolumeScalesAndSaturates)
{
    // Volumes above full are refused before they get here; the arithmetic still saturates.
    struct Case {
        int volume;
        std::vector<int16_t> in, out;
    } cases[] = {
        {100, {32767, -32768, 1000, -1000, 0}, {16383, -16384, 500, -500, 0}},
        {kFullVolume, {1234, -1234}, {1234, -1234}},
        {0, {32767, -32768}, {0, 0}},
        {400, {30000, -30000}, {32767, -32768}},
    };
    for (Case& c : cases) {
        ApplyVolume(c.in.data(), c.in.size(), c.volume);
        EXPECT_EQ(c.in, c.out) << "volume " << c.volume;
    }
}

TEST(SpeechLevel, MeterReadsTheHighestOfTheLastFiveBlocks)
{
    SpeechMeter meter;
    EXPECT_EQ(meter.Level(), 0);
    meter.Push(7);
    EXPECT_EQ(meter.Level(), 7);
    for (int i = 0; i < SpeechMeter::kWindowBlocks - 1; ++i)
        meter.Push(2);
    EXPECT_EQ(meter.Level(), 7);
    meter.Push(1); // the 7 leaves the window
    EXPECT_EQ(meter.Level(), 2);
    for (int i = 0; i < SpeechMeter::kWindowBlocks; ++i)
        meter.Push(0);
    EXPECT_EQ(meter.Level(), 0);
    meter.Push(9);
    meter.Clear();
    EXPECT_EQ(meter.Level(), 0);
}

TEST(DeviceRows, AtMostTheCallersRowsTerminated)
{
    wchar_t from[12][kSonarelNameChars];
    for (int i = 0; i < 12; ++i) {
        wmemset(from[i], L'a' + i, kSonarelNameChars); // no terminator at all
    }
    wchar_t to[CASTMIX_MAX_DEVICES + 1][kSonarelNameChars];
    wmemset(to[CASTMIX_MAX_DEVICES], L'#', kSonarelNameChars);
    EXPECT_EQ(CopyDeviceRows(from, 12, to, CASTMIX_MAX_DEVICES), CASTMIX_MAX_DEVICES);
    for (int i = 0; i < CASTMIX_MAX_DEVICES; ++i) {
        EXPECT_EQ(to[i][0], static_cast<wchar_t>(L'a' + i));
        EXPECT_EQ(to[i][kSonarelNameChars - 1], 0);
        EXPECT_EQ(wcslen(to[i]), static_cast<size_t>(kSonarelNameChars - 1));
    }
    // The row past the caller's table is untouched.
    EXPECT_EQ(to[CASTMIX_MAX_DEVICES][0], L'#');
    EXPECT_EQ(CopyDeviceRows(from, 3, to, CASTMIX_MAX_DEVICES), 3);
    EXPECT_EQ(CopyDeviceRows(from, 0, to, CASTMIX_MAX_DEVICES), 0);
}

TEST(RecordParam, RefusesWhatTheRecorderCannotTake)
{
    EXPECT_EQ(CheckRecParam(RecordingParam(kRecordCamera)), 0);
    struct Change {
        const char* what;
        void (*apply)(_RecParam&);
        long expected;
    };
    const Change changes[] = {
        {"frame rate 0", [](_RecParam& p) { p.frameRate = 0; }, kRecBadParam},
        {"frame rate 61", [](_RecParam& p) { p.frameRate = 61; }, kRecBadParam},
        {"frame rate 60", [](_RecParam& p) { p.frameRate = 60; }, 0},
        {"data rate 0", [](_RecParam& p) { p.dataRate = 0; }, kRecBadParam},
        {"empty path", [](_RecParam& p) { p.outputPath[0] = 0; }, kRecBadParam},
        {"unterminated path", [](_RecParam& p) { wmemset(p.outputPath, L'x', 260); }, kRecBadParam},
        {"path of 259", [](_RecParam& p) { wmemset(p.outputPath, L'x', 259); p.outputPath[259] = 0; }, 0},
        {"mode 0", [](_RecParam& p) { p.mode = 0; }, kRecBadParam},
        {"mode 4", [](_RecParam& p) { p.mode = 4; }, kRecBadParam},
        {"mode 3", [](_RecParam& p) { p.mode = 3; }, 0},
        {"width 642", [](_RecParam& p) { p.outputWidth = 642; }, kRecBadParam},
        {"height 0", [](_RecParam& p) { p.outputHeight = 0; }, kRecBadParam},
        {"width 8192", [](_RecParam& p) { p.outputWidth = 8192; }, kRecBadParam},
        {"1920 x 1080", [](_RecParam& p) { p.outputWidth = 1920; p.outputHeight = 1080; }, 0},
    };
    for (const Change& change : changes) {
        _RecParam param = RecordingParam(kRecordCamera);
        change.apply(param);
        EXPECT_EQ(CheckRecParam(param), change.expected) << change.what;
    }
}

// Pixel (x, y) counted from the top of a bottom-up RGB32 frame, as 0x00RRGGBB.
uint32_t PixelAt(const BYTE* bits, int width, int height, int x, int y)
{
    uint32_t value;
    memcpy(&value, bits + (static_cast<size_t>(height - 1 - y) * width + x) * 4, 4);
    return value & 0xFFFFFF;
}

TEST(FrameComposer, CameraFillsTheFrameAndSitsInItsCorner)
{
    CFrameComposer composer;
    ASSERT_TRUE(composer.Create(64, 48));
    EXPECT_FALSE(composer.Create(64, 48));
    EXPECT_EQ(composer.Length(), 64 * 48 * 4);
    // A 32 x 24 camera frame, bottom-up: the upper half (last rows in memory) red, the lower half blue.
    std::vector<BYTE> camera(32 * 24 * 4);
    for (int row = 0; row < 24; ++row) {
        uint32_t colour = row >= 12 ? 0xFF0000u : 0x0000FFu;
        for (int x = 0; x < 32; ++x)
            memcpy(&camera[(row * 32 + x) * 4], &colour, 4);
    }
    ASSERT_TRUE(composer.DrawCamera(camera, 32, 24, nullptr));
    EXPECT_EQ(PixelAt(composer.Bits(), 64, 48, 30, 5), 0xFF0000u);
    EXPECT_EQ(PixelAt(composer.Bits(), 64, 48, 30, 42), 0x0000FFu);

    composer.Clear();
    RECT corner = {48, 36, 64, 48};
    ASSERT_TRUE(composer.DrawCamera(camera, 32, 24, &corner));
    EXPECT_EQ(PixelAt(composer.Bits(), 64, 48, 10, 10), 0u);
    EXPECT_EQ(PixelAt(composer.Bits(), 64, 48, 56, 38), 0xFF0000u);
    EXPECT_EQ(PixelAt(composer.Bits(), 64, 48, 56, 46), 0x0000FFu);
    // A short frame is refused.
    camera.resize(100);
    EXPECT_FALSE(composer.DrawCamera(camera, 32, 24, nullptr));
}

TEST(FrameComposer, BoardWindowIsStretchedOverTheFrame)
{
    TestWindow board(100, 100, 200, 150, RGB(0x20, 0xA0, 0x60));
    ASSERT_NE(board.Handle(), nullptr);
    Pump(100);
    CFrameComposer composer;
    ASSERT_TRUE(composer.Create(80, 60));
    ASSERT_TRUE(composer.DrawWindow(board.Handle()));
    EXPECT_EQ(PixelAt(composer.Bits(), 80, 60, 40, 30), 0x20A060u);
    EXPECT_EQ(PixelAt(composer.Bits(), 80, 60, 2, 57), 0x20A060u);
    // Hidden and destroyed boards are not drawn.
    ShowWindow(board.Handle(), SW_HIDE);
    EXPECT_FALSE(composer.DrawWindow(board.Handle()));
    EXPECT_FALSE(composer.DrawWindow(nullptr));
    EXPECT_FALSE(composer.DrawWindow(reinterpret_cast<HWND>(0x7FFFF0)));
}

} // namespace
