// The real engine with real devices: the synthetic cameras and the private sound server listed through
// the two media libraries, the camera previewed and drawn into windows under Xvfb, the video size
// handed to the notify window, speech levels from what the microphone hears, and closes mid-work.
#include "core/WindowMessages.h"
#include "platform/castmix/CastmixEngine.h"
#include "tests/castmix_engine/EngineSupport.h"
#include "tests/fakes/camera/SynthPattern.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

namespace {

class DeviceTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        engine = Castmix_Create();
        ASSERT_NE(engine, nullptr);
        CastmixDeviceNames names = {};
        long count = Castmix_QueryCameras(engine, names);
        cameras = Rows(names, count);
        camera = IndexOf(cameras, SYNTH_CAMERA_NAME);
        camera2 = IndexOf(cameras, SYNTH_CAMERA2_NAME);
    }
    void TearDown() override
    {
        if (engine) {
            EXPECT_EQ(Castmix_Close(&engine), 0);
        }
        EXPECT_EQ(engine, nullptr);
    }

    // The pattern's blue byte is the column and green the memory row; frames are bottom-up.
    void ExpectPatternOnScreen(const TestWindow& window, int width, int height, int cameraKind)
    {
        int checked = 0, wrong = 0;
        for (int y = 10; y < height; y += 37) {
            for (int x = 10; x < width; x += 41) {
                uint32_t expected = SynthPixel(x, height - 1 - y, cameraKind) & 0xFFFFFF;
                COLORREF seen = window.ScreenPixel(x, y);
                ++checked;
                if (seen != expected && wrong++ < 5)
                    ADD_FAILURE() << "at " << x << "," << y << " seen " << std::hex << seen << " expected " << expected;
            }
        }
        EXPECT_GT(checked, 20);
        EXPECT_EQ(wrong, 0);
    }

    ComScope com;
    MessageSink sink;
    CASTMIX_HANDLE engine = nullptr;
    std::vector<std::wstring> cameras;
    int camera = -1;
    int camera2 = -1;
};

TEST_F(DeviceTest, CamerasAndTheSoundServersDevicesAreListedInRowsOf128)
{
    ASSERT_GE(camera, 0);
    ASSERT_GE(camera2, 0);
    CastmixDeviceNames names;
    for (auto& row : names)
        wmemset(row, L'#', CASTMIX_DEVICE_NAME);
    long count = Castmix_QueryCameras(engine, names);
    ASSERT_GE(count, 2);
    ASSERT_LE(count, CASTMIX_MAX_DEVICES);
    EXPECT_STREQ(names[camera], SYNTH_CAMERA_NAME);
    EXPECT_STREQ(names[camera2], SYNTH_CAMERA2_NAME);
    // Rows past the devices are the caller's and stay as they were.
    if (count < CASTMIX_MAX_DEVICES) {
        EXPECT_EQ(names[count][0], L'#');
    }

    CastmixDeviceNames capture = {}, playback = {};
    long captureCount = Castmix_QueryAudioCapDevs(engine, capture);
    long playbackCount = Castmix_QueryAudioPlayDevs(engine, playback);
    EXPECT_GE(captureCount, 0);
    EXPECT_GE(playbackCount, 0);
    if (!SoundServerPresent())
        return;
    ASSERT_LE(captureCount, CASTMIX_MAX_DEVICES);
    ASSERT_LE(playbackCount, CASTMIX_MAX_DEVICES);
    // The server's devices are known by their descriptions.
    EXPECT_GE(IndexOf(Rows(capture, captureCount), L"Lumenvale-Microphone"), 0);
    EXPECT_GE(IndexOf(Rows(playback, playbackCount), L"Lumenvale-Speaker"), 0);
}

TEST_F(DeviceTest, PreviewShowsTheCameraAndStopsOnRequest)
{
    ASSERT_GE(camera, 0);
    ScopedGdiRenderers gdi;
    ASSERT_TRUE(gdi.Ok());
    TestWindow window(0, 0, 320, 240);
    ASSERT_NE(window.Handle(), nullptr);
    EXPECT_EQ(Castmix_VideoPreview(engine, 999, window.Handle()), kCastmixDeviceFailed);
    ASSERT_EQ(Castmix_VideoPreview(engine, camera, window.Handle()), 0);
    Pump(600);
    ExpectPatternOnScreen(window, 320, 240, 0);
    // A second preview switches devices in place.
    ASSERT_EQ(Castmix_VideoPreview(engine, camera2, window.Handle()), 0);
    Pump(400);
    EXPECT_EQ((window.ScreenPixel(160, 120) >> 16) & 0xFF, 0xC0u);
    EXPECT_EQ(Castmix_VideoPreview(engine, -1, nullptr), 0);
    // The synthetic camera has no property pages: the call fails at once instead of blocking.
    EXPECT_EQ(Castmix_VideoShowPropertyPage(engine, camera, window.Handle()), kCastmixDeviceFailed);
}

TEST_F(DeviceTest, JoinDrawsTheCameraIntoTheLocalWindowAndNotifiesItsSize)
{
    ASSERT_GE(camera, 0);
    ScopedGdiRenderers gdi;
    ASSERT_TRUE(gdi.Ok());
    TestWindow window(0, 0, 320, 240);
    ASSERT_NE(window.Handle(), nullptr);
    ASSERT_EQ(Castmix_SetNotify(engine, sink.Handle(), WM_USER_CASTMIX_NOTIFY), 0);
    JoinArgs join;
    join.camera = camera;
    join.localVideo = window.Handle();
    join.width = 640; // not offered: the camera keeps 320 x 240, and the engine follows it
    join.height = 480;
    ASSERT_EQ(join.JoinOn(engine), 0);
    ASSERT_TRUE(sink.WaitFor(WM_USER_CASTMIX_NOTIFY, 1, 5000));
    PostedMessage notice = sink.Received(WM_USER_CASTMIX_NOTIFY)[0];
    EXPECT_EQ(LOWORD(notice.wParam), CASTMIX_NOTIFY_VIDEO_SIZE);
    const auto* size = reinterpret_cast<const uint16_t*>(notice.lParam);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size[0], kSynthCameraSizes[0][0]);
    EXPECT_EQ(size[1], kSynthCameraSizes[0][1]);
    Pump(500);
    ExpectPatternOnScreen(window, 320, 240, 0);

    // The same size again is no news; the record stays valid while the engine lives.
    sink.PumpFor(300);
    EXPECT_EQ(sink.Count(WM_USER_CASTMIX_NOTIFY), 1u);
    EXPECT_EQ(size[0], kSynthCameraSizes[0][0]);

    // Another camera of another size: a second notice through the same record.
    ASSERT_EQ(Castmix_ChangeSource2Camera(engine, camera2), 0);
    ASSERT_TRUE(sink.WaitFor(WM_USER_CASTMIX_NOTIFY, 2, 5000));
    EXPECT_EQ(reinterpret_cast<const uint16_t*>(sink.Received(WM_USER_CASTMIX_NOTIFY)[1].lParam), size);
    EXPECT_EQ(size[0], kSynthCamera2Size[0]);
    EXPECT_EQ(size[1], kSynthCamera2Size[1]);
    Pump(400);
    EXPECT_EQ((window.ScreenPixel(160, 120) >> 16) & 0xFF, 0xC0u);

    // The video moves into another window of the room.
    TestWindow other(330, 0, 176, 144);
    ASSERT_EQ(Castmix_ChangeScreenWnd(engine, join.roomId, TRUE, other.Handle()), 0);
    Pump(400);
    EXPECT_EQ((other.ScreenPixel(88, 72) >> 16) & 0xFF, 0xC0u);
    // Camera off: no more notices.
    ASSERT_EQ(Castmix_ChangeSource2Camera(engine, -1), 0);
    sink.PumpFor(300);
    EXPECT_EQ(sink.Count(WM_USER_CASTMIX_NOTIFY), 2u);
}

TEST_F(DeviceTest, SpeechLevelsFollowWhatTheMicrophoneHears)
{
    if (!SoundServerPresent())
        GTEST_SKIP() << "no sound server in this run";
    JoinArgs join;
    join.notify = sink.Handle();
    ASSERT_EQ(join.JoinOn(engine), 0);
    // The server's microphone records what its speaker plays; the engine itself plays silence.
    EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) == 0; }, 3000));
    EXPECT_EQ(Castmix_GetSpeechSpeakerVolume(engine, 0), 0);
    {
        TonePlayer tone(30000);
        ASSERT_TRUE(tone.Playing());
        EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) >= 8; }, 5000))
            << "level " << Castmix_GetSpeechMicVolume(engine);
        // Half the volume halves the peak.
        ASSERT_EQ(Castmix_SetMicVolume(engine, 100), 0);
        EXPECT_TRUE(PumpUntil([&] {
            long level = Castmix_GetSpeechMicVolume(engine);
            return level >= 3 && level <= 4;
        }, 3000)) << "level " << Castmix_GetSpeechMicVolume(engine);
        ASSERT_EQ(Castmix_SetMicVolume(engine, 0), 0);
        EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) == 0; }, 3000));
        ASSERT_EQ(Castmix_SetMicVolume(engine, 200), 0);
        EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) >= 8; }, 3000));
        EXPECT_EQ(Castmix_GetSpeechSpeakerVolume(engine, 0), 0);
    }
    // The tone ended: silence again.
    EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) == 0; }, 5000))
        << "level " << Castmix_GetSpeechMicVolume(engine);
    // Another microphone index restarts capture (a missing one captures from the default device).
    EXPECT_EQ(Castmix_ChangeMic(engine, 0), 0);
}

TEST_F(DeviceTest, TheMicrophoneAndSpeakerChosenDuringTheClassAreTheOnesUsed)
{
    if (!SoundServerPresent())
        GTEST_SKIP() << "no sound server in this run";
    CastmixDeviceNames capture = {}, playback = {};
    std::vector<std::wstring> microphones = Rows(capture, Castmix_QueryAudioCapDevs(engine, capture));
    std::vector<std::wstring> speakers = Rows(playback, Castmix_QueryAudioPlayDevs(engine, playback));
    int first = IndexOf(microphones, L"Lumenvale-Microphone");
    int second = IndexOf(microphones, L"Lumenvale-Microphone-2");
    int secondSpeaker = IndexOf(speakers, L"Lumenvale-Speaker-2");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    ASSERT_GE(secondSpeaker, 0);
    JoinArgs join;
    join.notify = sink.Handle();
    join.microphone = first;
    ASSERT_EQ(join.JoinOn(engine), 0);
    // A tone on the second speaker, which only the second microphone records.
    TonePlayer tone(30000, secondSpeaker);
    ASSERT_TRUE(tone.Playing());
    EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) == 0; }, 3000));
    ASSERT_EQ(Castmix_ChangeMic(engine, second), 0);
    EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) >= 8; }, 5000))
        << "level " << Castmix_GetSpeechMicVolume(engine);
    ASSERT_EQ(Castmix_ChangeMic(engine, first), 0);
    EXPECT_TRUE(PumpUntil([&] { return Castmix_GetSpeechMicVolume(engine) == 0; }, 5000))
        << "level " << Castmix_GetSpeechMicVolume(engine);
    // The engine's own speaker moves to the second device and keeps playing there.
    ASSERT_EQ(Castmix_ChangeSpeaker(engine, secondSpeaker), 0);
    EXPECT_EQ(Castmix_GetSpeechSpeakerVolume(engine, 0), 0);
    // A speaker index past the list plays on the first device.
    EXPECT_EQ(Castmix_ChangeSpeaker(engine, 9), 0);
}

TEST_F(DeviceTest, CloseInTheMiddleOfEverything)
{
    ASSERT_GE(camera, 0);
    ScopedGdiRenderers gdi;
    TestWindow window(0, 0, 320, 240);
    TestWindow board(330, 0, 160, 120, RGB(0x80, 0x10, 0x10));
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Castmix_SetNotify(engine, sink.Handle(), WM_USER_CASTMIX_NOTIFY), 0);
        JoinArgs join;
        join.camera = camera;
        join.localVideo = window.Handle();
        join.main = window.Handle();
        ASSERT_EQ(join.JoinOn(engine), 0);
        ASSERT_EQ(Castmix_VideoPreview(engine, camera2, board.Handle()), 0);
        _RecParam param = RecordingParam(3, board.Handle(), 320, 240);
        Castmix_StartRec(engine, 1, &param); // whatever the recorder answers, close must end it
        Pump(round * 150);
        CASTMIX_HANDLE copy = engine;
        ASSERT_EQ(Castmix_Close(&engine), 0);
        EXPECT_EQ(engine, nullptr);
        // Frames that were in flight find no engine; the stale handle is refused.
        Pump(200);
        EXPECT_EQ(Castmix_GetSpeechMicVolume(copy), kCastmixBadHandle);
        engine = Castmix_Create();
        ASSERT_NE(engine, nullptr);
    }
}

} // namespace
