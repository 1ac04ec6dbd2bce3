// The library's classes and helpers reached directly: block layout, 20 ms arithmetic, device rows and
// the buffers DirectSound was given.
#include "media/audio/DSAudioPlay.h"
#include "media/audio/DSSonarel.h"
#include "tests/audio/SonarelHost.h"

#include <gtest/gtest.h>

#include <string>

TEST(SonarelBlock, LayoutIsTheOneTheEngineReads)
{
    CRA_DataBlock block(640);
    const char* base = reinterpret_cast<const char*>(&block);
    // The engine's 32-bit layout (vtable, four ints, data, length: 28 bytes), or its pointer-size twin in a
    // 64-bit test build.
    const ptrdiff_t ptr = sizeof(void*);
    EXPECT_EQ(ptr == 4 ? 28u : 40u, sizeof block);
    EXPECT_EQ(ptr, reinterpret_cast<const char*>(&block.sequence) - base);
    EXPECT_EQ(ptr + 4, reinterpret_cast<const char*>(&block.time) - base);
    EXPECT_EQ(ptr + 8, reinterpret_cast<const char*>(&block.reserved) - base);
    EXPECT_EQ(ptr + 12, reinterpret_cast<const char*>(&block.filled) - base);
    EXPECT_EQ(ptr == 4 ? 20 : 24, reinterpret_cast<const char*>(&block.data) - base);
    EXPECT_EQ(ptr == 4 ? 24 : 32, reinterpret_cast<const char*>(&block.length) - base);
    EXPECT_EQ(640, block.length);
    EXPECT_EQ(-1, block.filled);
    EXPECT_EQ(0, block.sequence);
    EXPECT_EQ(std::string(640, '\0'), std::string(reinterpret_cast<char*>(block.data), 640));
    CRA_DataBlock empty(0);
    EXPECT_EQ(nullptr, empty.data);
    EXPECT_EQ(0, empty.length);
}

TEST(SonarelFormat, TwentyMillisecondsInWholeSampleFrames)
{
    struct Case { int rate, bits, channels; DWORD block; } cases[] = {
        {16000, 16, 1, 640}, {16000, 16, 2, 1280}, {32000, 16, 1, 1280}, {44100, 16, 2, 3528},
        {48000, 16, 2, 3840}, {11025, 16, 1, 440}, {11025, 16, 2, 880}, {11025, 8, 1, 220}, {22050, 8, 1, 441},
        {8000, 8, 1, 160}, {384000, 32, 8, 245760},
    };
    for (const Case& c : cases) {
        WAVEFORMATEX format;
        ASSERT_TRUE(MakePcmFormat(c.rate, c.bits, c.channels, format)) << c.rate;
        EXPECT_EQ(WAVE_FORMAT_PCM, format.wFormatTag);
        EXPECT_EQ(c.channels * c.bits / 8, format.nBlockAlign);
        EXPECT_EQ(static_cast<DWORD>(c.rate) * format.nBlockAlign, format.nAvgBytesPerSec);
        EXPECT_EQ(0, format.cbSize);
        EXPECT_EQ(c.block, TwentyMsBytes(format.wBitsPerSample, format.nChannels, format.nSamplesPerSec,
                                         format.nBlockAlign))
            << c.rate << "/" << c.bits << "/" << c.channels;
    }
    WAVEFORMATEX format;
    for (int rate : {0, 999, 384001, -1}) EXPECT_FALSE(MakePcmFormat(rate, 16, 1, format)) << rate;
    for (int bits : {0, 4, 12, 40, -16}) EXPECT_FALSE(MakePcmFormat(16000, bits, 1, format)) << bits;
    for (int channels : {0, 9, -1}) EXPECT_FALSE(MakePcmFormat(16000, 16, channels, format)) << channels;
}

TEST(SonarelDeviceRows, AtMostTenRowsOfAtMost127Characters)
{
    std::vector<DSDeviceInfo> devices;
    for (int i = 0; i < 12; ++i) {
        DSDeviceInfo device;
        device.position = i;
        device.description = std::wstring(L"Device ") + std::to_wstring(i);
        devices.push_back(device);
    }
    devices[1].description = std::wstring(300, L'L');
    devices[2].description = std::wstring(127, L'e');
    devices[3].description = L"";
    wchar_t rows[12][kSonarelNameChars];
    for (auto& row : rows) wmemset(row, L'#', kSonarelNameChars);
    EXPECT_EQ(10, CopyDeviceNames(devices, rows));
    EXPECT_STREQ(L"Device 0", rows[0]);
    EXPECT_EQ(std::wstring(127, L'L'), rows[1]);
    EXPECT_EQ(std::wstring(127, L'e'), rows[2]);
    EXPECT_STREQ(L"", rows[3]);
    EXPECT_STREQ(L"Device 9", rows[9]);
    EXPECT_EQ(L'#', rows[10][0]);
    EXPECT_EQ(L'#', rows[3][1]) << "only the name and its NUL are written";
    EXPECT_EQ(10, CopyDeviceNames(devices, nullptr));
    EXPECT_EQ(0, CopyDeviceNames({}, rows));
}

// These drive DirectSound from the test program itself.
class SonarelBuffers : public testing::Test {
protected:
    void SetUp() override
    {
        if (!SoundExpected()) GTEST_SKIP() << "no sound server in this run";
    }
};

TEST_F(SonarelBuffers, CaptureBufferHoldsThirtyStepsThatLeaveOutTheChannels)
{
    CDSSonarel capture;
    ASSERT_EQ(1, capture.Start(0, 16000, 16, 1, nullptr, nullptr));
    EXPECT_EQ(640u, capture.BlockBytes());
    EXPECT_EQ(640u, capture.NotifyStep());
    EXPECT_EQ(19200u, capture.BufferBytes());
    EXPECT_EQ(19200u, capture.ActualBufferBytes());
    // The whole description, effect fields included (28 bytes in the shipped 32-bit library).
    EXPECT_EQ(sizeof(void*) == 4 ? 28u : 40u, capture.DescriptionBytes());
    ASSERT_EQ(1, capture.Start(0, 16000, 16, 2, nullptr, nullptr));
    EXPECT_EQ(1280u, capture.BlockBytes());
    EXPECT_EQ(640u, capture.NotifyStep());
    EXPECT_EQ(19200u, capture.ActualBufferBytes());
    capture.Stop();
    EXPECT_FALSE(capture.IsRunning());
    EXPECT_EQ(0u, capture.ActualBufferBytes());
    capture.Stop(); // a second stop finds nothing to do
}

TEST_F(SonarelBuffers, PlaybackBufferHoldsThirtyBlocksAndResetReturnsTo480)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    CDSAudioPlay player;
    EXPECT_EQ(480u, player.BlockBytes());
    ASSERT_EQ(1, player.Start(window, 0, 32000, 16, 1, nullptr, nullptr));
    EXPECT_TRUE(player.IsRunning());
    EXPECT_EQ(1280u, player.BlockBytes());
    EXPECT_EQ(38400u, player.BufferBytes());
    EXPECT_EQ(38400u, player.ActualBufferBytes());
    player.Stop();
    player.Reset();
    EXPECT_FALSE(player.IsRunning());
    EXPECT_EQ(480u, player.BlockBytes());
    EXPECT_EQ(0u, player.ActualBufferBytes());
    DestroyWindow(window);
}
