// The recording session's push thread against a recorder stand-in (Wine has no Windows Media writer,
// so the real recorder never starts here): what the recorder is started with, frames composed from
// the board and the real camera at the frame rate, and a stop in the middle of pushing.
#include "platform/castmix/LocalVideo.h"
#include "platform/castmix/MediaLibraries.h"
#include "platform/castmix/RecordingSession.h"
#include "tests/castmix_engine/EngineSupport.h"
#include "tests/fakes/camera/SynthPattern.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct RecorderLog {
    std::mutex lock;
    int created = 0;
    int destroyed = 0;
    int startResult = 1;
    BITMAPINFOHEADER video = {};
    int framesPerSecond = 0;
    int kbps = 0;
    int audioDevice = -1;
    WAVEFORMATEX sound = {};
    std::wstring path;
    int pushes = 0;
    int pushesAfterDestroy = 0;
    std::vector<BYTE> lastFrame;
    int lastWidth = 0;
    int lastHeight = 0;
    int lastBits = 0;
    int lastFlip = -1;
};
RecorderLog g_recorder;
int g_recorderObject = 0;

void* __cdecl FakeCreate()
{
    std::lock_guard<std::mutex> guard(g_recorder.lock);
    ++g_recorder.created;
    return &g_recorderObject;
}

int __cdecl FakeStart(void* handle, int audioDevice, BITMAPINFOHEADER* video, int framesPerSecond, int kbps,
                      WAVEFORMATEX* sound, const wchar_t* path)
{
    std::lock_guard<std::mutex> guard(g_recorder.lock);
    if (handle != &g_recorderObject)
        return -100;
    g_recorder.audioDevice = audioDevice;
    g_recorder.video = *video;
    g_recorder.framesPerSecond = framesPerSecond;
    g_recorder.kbps = kbps;
    g_recorder.sound = *sound;
    g_recorder.path = path;
    return g_recorder.startResult;
}

int __cdecl FakePut(void* handle, BYTE* frame, BYTE*, BYTE*, BYTE*, int*, int length, int width, int height,
                    int bitCount, DWORD, int flip)
{
    std::lock_guard<std::mutex> guard(g_recorder.lock);
    if (handle != &g_recorderObject || g_recorder.destroyed >= g_recorder.created) {
        ++g_recorder.pushesAfterDestroy;
        return -1;
    }
    ++g_recorder.pushes;
    g_recorder.lastFrame.assign(frame, frame + length);
    g_recorder.lastWidth = width;
    g_recorder.lastHeight = height;
    g_recorder.lastBits = bitCount;
    g_recorder.lastFlip = flip;
    return length;
}

void __cdecl FakeDestroy(void** handle)
{
    std::lock_guard<std::mutex> guard(g_recorder.lock);
    ++g_recorder.destroyed;
    *handle = nullptr;
}

class RecordingTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        wchar_t folder[MAX_PATH];
        ASSERT_TRUE(ModuleFolderOf(nullptr, folder, MAX_PATH));
        media = LoadMediaLibraries(folder);
        ASSERT_NE(media, nullptr);
        recorderApi = media->video;
        recorderApi.recorderCreate = FakeCreate;
        recorderApi.recorderStart = FakeStart;
        recorderApi.recorderPutContent = FakePut;
        recorderApi.recorderDestroy = FakeDestroy;
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        g_recorder.created = g_recorder.destroyed = g_recorder.pushes = g_recorder.pushesAfterDestroy = 0;
        g_recorder.startResult = 1;
        g_recorder.lastFrame.clear();
    }

    int Pushes()
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        return g_recorder.pushes;
    }

    ComScope com;
    const MediaApi* media = nullptr;
    VidlatchApi recorderApi;
};

_RecParam Recording(int mode, HWND document, HWND whiteboard)
{
    _RecParam param = RecordingParam(mode, whiteboard, 320, 240);
    param.documentWindow = CastmixWindowValue(document);
    return param;
}

uint32_t TopDownPixel(const std::vector<BYTE>& frame, int width, int height, int x, int y)
{
    uint32_t value;
    memcpy(&value, frame.data() + (static_cast<size_t>(height - 1 - y) * width + x) * 4, 4);
    return value & 0xFFFFFF;
}

TEST_F(RecordingTest, BoardFramesArePushedAtTheFrameRateUntilStopped)
{
    TestWindow whiteboard(0, 0, 200, 150, RGB(0x10, 0x80, 0xF0));
    TestWindow document(220, 0, 200, 150, RGB(0xE0, 0x20, 0x20));
    Pump(100);
    CLocalVideo camera(media->video);
    CRecordingSession session(recorderApi, camera);
    ASSERT_EQ(session.Start(Recording(kRecordBoard, document.Handle(), whiteboard.Handle()), 1), 1);
    EXPECT_TRUE(session.Recording());
    // A second start while recording is refused; the caller stops first.
    EXPECT_EQ(session.Start(Recording(kRecordBoard, document.Handle(), whiteboard.Handle()), 1), kRecBadParam);
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        EXPECT_EQ(g_recorder.video.biWidth, 320);
        EXPECT_EQ(g_recorder.video.biHeight, 240);
        EXPECT_EQ(g_recorder.video.biBitCount, 32);
        EXPECT_EQ(g_recorder.video.biCompression, static_cast<DWORD>(BI_RGB));
        EXPECT_EQ(g_recorder.framesPerSecond, 20);
        EXPECT_EQ(g_recorder.kbps, 1024);
        EXPECT_EQ(g_recorder.audioDevice, 1);
        EXPECT_EQ(g_recorder.sound.nChannels, 1);
        EXPECT_EQ(g_recorder.sound.nSamplesPerSec, 16000u);
        EXPECT_EQ(g_recorder.sound.wBitsPerSample, 16);
        EXPECT_EQ(g_recorder.path, L"C:\\rec\\2026-12-09_06-30-00.wmv");
    }
    // 20 frames a second: about 10 in half a second (timers under Wine are coarse; allow half).
    Pump(520);
    int pushed = Pushes();
    EXPECT_GE(pushed, 5);
    EXPECT_LE(pushed, 12);
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        ASSERT_EQ(g_recorder.lastFrame.size(), 320u * 240 * 4);
        EXPECT_EQ(g_recorder.lastWidth, 320);
        EXPECT_EQ(g_recorder.lastHeight, 240);
        EXPECT_EQ(g_recorder.lastBits, 32);
        EXPECT_EQ(g_recorder.lastFlip, 0);
        // The visible document is the board.
        EXPECT_EQ(TopDownPixel(g_recorder.lastFrame, 320, 240, 160, 120), 0xE02020u);
    }
    // Without the document, the whiteboard is recorded.
    ShowWindow(document.Handle(), SW_HIDE);
    Pump(300);
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        EXPECT_EQ(TopDownPixel(g_recorder.lastFrame, 320, 240, 160, 120), 0x1080F0u);
    }
    EXPECT_EQ(session.Stop(), 1);
    EXPECT_FALSE(session.Recording());
    EXPECT_EQ(session.Stop(), kRecNotRecording);
    int atStop = Pushes();
    Pump(200);
    std::lock_guard<std::mutex> guard(g_recorder.lock);
    EXPECT_EQ(g_recorder.pushes, atStop);
    EXPECT_EQ(g_recorder.pushesAfterDestroy, 0);
    EXPECT_EQ(g_recorder.destroyed, 1);
}

TEST_F(RecordingTest, CameraFramesFillTheRecordingAndSitOverTheBoard)
{
    CLocalVideo camera(media->video);
    CRecordingSession session(recorderApi, camera);
    // Without a running camera there is nothing to record.
    EXPECT_EQ(session.Start(Recording(kRecordCamera, nullptr, nullptr), 0), kRecNoSource);
    EXPECT_EQ(session.Start(Recording(kRecordBoardAndCamera, nullptr, nullptr), 0), kRecNoSource);

    CastmixDeviceNames names = {};
    int index = IndexOf(Rows(names, camera.Devices(names, CASTMIX_MAX_DEVICES)), SYNTH_CAMERA_NAME);
    ASSERT_GE(index, 0);
    ASSERT_EQ(camera.Start(index, 320, 240, 30, nullptr), 1);
    ASSERT_TRUE(PumpUntil([&] { return camera.CapturedFrames() >= 2; }, 5000));
    ASSERT_EQ(session.Start(Recording(kRecordCamera, nullptr, nullptr), 0), 1);
    ASSERT_TRUE(PumpUntil([&] { return Pushes() >= 2; }, 3000));
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        // Same size as the camera: the pattern arrives as it was captured.
        for (int y : {5, 100, 230}) {
            for (int x : {3, 150, 310}) {
                EXPECT_EQ(TopDownPixel(g_recorder.lastFrame, 320, 240, x, y), SynthPixel(x, 239 - y, 0) & 0xFFFFFF)
                    << x << "," << y;
            }
        }
    }
    EXPECT_EQ(session.Stop(), 1);

    // Board and camera: the camera in the lower right quarter, the board around it.
    TestWindow board(0, 0, 200, 150, RGB(0x10, 0x80, 0xF0));
    Pump(100);
    ASSERT_EQ(session.Start(Recording(kRecordBoardAndCamera, nullptr, board.Handle()), 0), 1);
    int before = Pushes();
    ASSERT_TRUE(PumpUntil([&] { return Pushes() >= before + 2; }, 3000));
    {
        std::lock_guard<std::mutex> guard(g_recorder.lock);
        EXPECT_EQ(TopDownPixel(g_recorder.lastFrame, 320, 240, 100, 100), 0x1080F0u);
        EXPECT_EQ((TopDownPixel(g_recorder.lastFrame, 320, 240, 280, 210) >> 16) & 0xFF, 0x40u);
    }
    // Stopping the camera under a running recording leaves the board recorded.
    camera.Stop();
    Pump(200);
    before = Pushes();
    ASSERT_TRUE(PumpUntil([&] { return Pushes() >= before + 2; }, 3000));
    EXPECT_EQ(session.Stop(), 1);
}

TEST_F(RecordingTest, ARefusedStartReleasesTheRecorder)
{
    TestWindow board(0, 0, 100, 100, RGB(1, 2, 3));
    CLocalVideo camera(media->video);
    CRecordingSession session(recorderApi, camera);
    g_recorder.startResult = -100;
    EXPECT_EQ(session.Start(Recording(kRecordBoard, nullptr, board.Handle()), 0), -100);
    EXPECT_FALSE(session.Recording());
    EXPECT_EQ(g_recorder.created, 1);
    EXPECT_EQ(g_recorder.destroyed, 1);
    // A library without the recorder answers unavailable before any source check.
    VidlatchApi none = media->video;
    none.recorderStart = nullptr;
    CRecordingSession without(none, camera);
    EXPECT_EQ(without.Start(Recording(kRecordBoard, nullptr, board.Handle()), 0), kRecUnavailable);
    _RecParam bad = Recording(kRecordBoard, nullptr, board.Handle());
    bad.frameRate = 0;
    EXPECT_EQ(session.Start(bad, 0), kRecBadParam);
    EXPECT_EQ(g_recorder.created, 1);
}

} // namespace

namespace {

// Copies one file of the test folder into another folder.
bool CopyBeside(const wchar_t* name, const CString& folder)
{
    wchar_t from[MAX_PATH];
    if (!ModuleFolderOf(nullptr, from, MAX_PATH))
        return false;
    return CopyFileW((CString(from) + name).GetString(), (folder + name).GetString(), FALSE) != FALSE;
}

TEST(MediaLibraries, BothLibrariesAreNeededFromTheGivenFolder)
{
    MediaApi api;
    EXPECT_FALSE(LoadMediaLibrariesFrom(L"C:\\no-such-folder\\", api));
    EXPECT_EQ(api.video.captureCreate, nullptr);
    TempFolder onlyVideo(L"vid");
    ASSERT_TRUE(CopyBeside(L"Vidlatch.dll", onlyVideo.Path()));
    EXPECT_FALSE(LoadMediaLibrariesFrom(onlyVideo.Path(), api));
    EXPECT_EQ(api.audio.captureCreate, nullptr);
    TempFolder both(L"both");
    ASSERT_TRUE(CopyBeside(L"Vidlatch.dll", both.Path()));
    ASSERT_TRUE(CopyBeside(L"Sonarel.dll", both.Path()));
    ASSERT_TRUE(LoadMediaLibrariesFrom(both.Path(), api));
    EXPECT_TRUE(api.video.HasCapture());
    EXPECT_TRUE(api.video.HasRecorder());
    EXPECT_TRUE(api.audio.Complete());
    // The functions come from the copies in that folder.
    HMODULE owner = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(api.audio.captureStart), &owner));
    wchar_t path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(owner, path, MAX_PATH), 0u);
    EXPECT_EQ(CString(path).CompareNoCase(both.File(L"Sonarel.dll")), 0) << CString(path).GetString();
    // Unloaded again so the folder can go; nothing was started with them.
    FreeLibrary(owner);
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(api.video.captureCreate), &owner));
    FreeLibrary(owner);
}

} // namespace
