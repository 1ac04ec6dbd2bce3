// Without any sound device: the CTest entry audio_nodevice_tests runs these with a sound server address
// that leads nowhere.
#include "tests/audio/SonarelFixtures.h"

namespace {

bool IsNoDeviceChild()
{
    return GetEnvironmentVariableW(L"LV_SONAREL_NO_DEVICE", nullptr, 0) > 0;
}

class SonarelNoDevice : public SonarelTest {
protected:
    void SetUp() override
    {
        if (!IsNoDeviceChild()) GTEST_SKIP() << "runs as audio_nodevice_tests";
        SonarelTest::SetUp();
    }
    MessageSink window;
};

} // namespace

TEST_F(SonarelNoDevice, ListsAreEmptyAndStartsFailWithTheirCodes)
{
    CDSSonarel* capture = host.Sonarel_Create();
    CDSAudioPlay* player = host.AudioPlay_Create();
    wchar_t rows[kSonarelMaxDeviceRows][kSonarelNameChars];
    wmemset(rows[0], L'#', kSonarelNameChars);
    EXPECT_EQ(0, host.Sonarel_GetDevs(capture, rows));
    EXPECT_EQ(0, host.AudioPlay_GetDevs(player, rows));
    EXPECT_EQ(L'#', rows[0][0]);

    BlockRecorder recorder;
    EXPECT_EQ(-3, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &recorder));
    EXPECT_EQ(-5, host.AudioPlay_Start(player, window.Handle(), 0, 32000, 16, 1, BlockRecorder::Callback, &recorder));
    // A failed start may be tried again; the loopback fails quietly.
    EXPECT_EQ(-3, host.Sonarel_Start(capture, 0, 16000, 16, 1, BlockRecorder::Callback, &recorder));
    host.DoDSound(window.Handle(), nullptr, nullptr);
    Sleep(200);
    EXPECT_EQ(0u, recorder.Count());
    host.Sonarel_Close(&capture);
    host.AudioPlay_Close(&player);

    std::string log = ReadSonarelLog();
    EXPECT_NE(std::string::npos, log.find("Err: createcapture8 hr = ")) << log;
    EXPECT_NE(std::string::npos, log.find("Err: CreateDsound8_DefVoiceplayback = ")) << log;
    EXPECT_NE(std::string::npos, log.find("Err: initDSound\r\n{\r\n wnd = ")) << log;
}
