// Camera capture through the exports, against the synthetic cameras.
#include "tests/video/VideoTestSupport.h"

#include "tests/fakes/camera/SynthPattern.h"

#include <gtest/gtest.h>

namespace {

class CaptureTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        ASSERT_TRUE(dll.Loaded());
        camera = FindVideoDevice(SYNTH_CAMERA_NAME);
        camera2 = FindVideoDevice(SYNTH_CAMERA2_NAME);
        ASSERT_GE(camera, 0);
        ASSERT_GE(camera2, 0);
        handle = dll.captureCreate();
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override
    {
        if (handle)
            dll.captureDestroy(&handle);
    }

    // Every pixel of the last frame against the camera's pattern.
    void ExpectPattern(int width, int height, int cameraKind)
    {
        std::lock_guard<std::mutex> guard(frames.lock);
        ASSERT_EQ(frames.last.size(), static_cast<size_t>(width * height * 4));
        const auto* pixels = reinterpret_cast<const uint32_t*>(frames.last.data());
        int wrong = 0;
        for (int row = 0; row < height; ++row) {
            for (int x = 0; x < width; ++x)
                wrong += pixels[row * width + x] != SynthPixel(x, row, cameraKind);
        }
        EXPECT_EQ(wrong, 0);
    }

    ComScope com;
    VidlatchDll dll;
    FrameCollector frames;
    void* handle = nullptr;
    int camera = -1;
    int camera2 = -1;
};

TEST_F(CaptureTest, FramesCarryThePatternAtTheRequestedOrTheDevicesOwnSize)
{
    // 640 x 480 is listed only in a format block too short to be read; 800 x 600 is not listed at all.
    const int ownW = kSynthCameraSizes[0][0], ownH = kSynthCameraSizes[0][1];
    const int cases[][4] = {
        {160, 120, 160, 120}, {kSynthTruncatedSize[0], kSynthTruncatedSize[1], ownW, ownH}, {800, 600, ownW, ownH}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        frames.Clear();
        ASSERT_EQ(dll.captureStart(handle, camera, c[0], c[1], 15, nullptr, FrameCollector::Callback, &frames), 1);
        ASSERT_TRUE(frames.WaitFrames(3));
        ExpectPattern(c[2], c[3], 0);
        std::lock_guard<std::mutex> guard(frames.lock);
        EXPECT_FALSE(frames.headerWasNull);
        EXPECT_FALSE(frames.audioWasSet);
        EXPECT_EQ(frames.header.biWidth, c[2]);
        EXPECT_EQ(frames.header.biHeight, c[3]);
        EXPECT_EQ(frames.header.biBitCount, 32);
        EXPECT_EQ(frames.header.biSize, 0u);
        EXPECT_EQ(frames.header.biSizeImage, 0u);
        EXPECT_EQ(frames.one, 1);
        EXPECT_EQ(frames.handle, handle);
        EXPECT_TRUE(frames.timesRise);
    }
}

TEST_F(CaptureTest, SetStateSwitchesDeliveryAndEveryStartTurnsItOn)
{
    // Off before the start has no effect on the start.
    EXPECT_EQ(dll.captureSetState(handle, 0), 1);
    ASSERT_EQ(dll.captureStart(handle, camera, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), 1);
    ASSERT_TRUE(frames.WaitFrames(2));

    EXPECT_EQ(dll.captureSetState(handle, 0), 1);
    Pump(100); // a frame already in the callback may still finish
    int seen = frames.Count();
    Pump(300);
    EXPECT_EQ(frames.Count(), seen);

    EXPECT_EQ(dll.captureSetState(handle, 1), 1);
    EXPECT_TRUE(frames.WaitFrames(seen + 2));
    // Negative counts as off.
    EXPECT_EQ(dll.captureSetState(handle, -5), 1);
    Pump(100);
    seen = frames.Count();
    Pump(200);
    EXPECT_EQ(frames.Count(), seen);
}

TEST_F(CaptureTest, AStartOnARunningHandleSwitchesToTheNewDevice)
{
    ASSERT_EQ(dll.captureStart(handle, camera, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), 1);
    ASSERT_TRUE(frames.WaitFrames(2));
    FrameCollector second;
    ASSERT_EQ(dll.captureStart(handle, camera2, 160, 120, 15, nullptr, FrameCollector::Callback, &second), 1);
    int firstCount = frames.Count();
    ASSERT_TRUE(second.WaitFrames(2));
    // The first graph is gone: its callback sees nothing more.
    EXPECT_EQ(frames.Count(), firstCount);
    {
        std::lock_guard<std::mutex> guard(second.lock);
        EXPECT_EQ(second.header.biWidth, kSynthCamera2Size[0]);
        EXPECT_EQ(second.header.biHeight, kSynthCamera2Size[1]);
    }
    std::swap(frames.last, second.last);
    ExpectPattern(kSynthCamera2Size[0], kSynthCamera2Size[1], 1);
}

TEST_F(CaptureTest, AMissingDeviceFailsAndTheHandleStaysUsable)
{
    EXPECT_EQ(dll.captureStart(handle, 999, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), -2);
    EXPECT_EQ(dll.captureStart(handle, -1, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), -2);
    EXPECT_EQ(dll.capturePreview(handle, 999, nullptr), -1);
    EXPECT_EQ(dll.captureShowPropertyPage(handle, 999), -1);
    // The synthetic camera has no property pages.
    EXPECT_EQ(dll.captureShowPropertyPage(handle, camera), -1);
    ASSERT_EQ(dll.captureStart(handle, camera, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), 1);
    EXPECT_TRUE(frames.WaitFrames(1));
}

// The pattern's blue byte is the column and green the memory row; a bottom-up frame puts memory row
// 0 at the bottom of the window.
void ExpectPatternOnScreen(const TestWindow& window, int width, int height, int cameraKind)
{
    int checked = 0;
    int wrong = 0;
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

TEST_F(CaptureTest, PreviewAndCaptureWithPreviewShowTheCameraInTheWindow)
{
    ScopedGdiRenderers gdi;
    ASSERT_TRUE(gdi.Ok());
    TestWindow window(1100, 600, 320, 240);
    ASSERT_NE(window.Handle(), nullptr);
    // Moving the video needs a graph with a video window.
    EXPECT_LT(dll.captureChangeScreen(handle, nullptr), 0);
    ASSERT_EQ(dll.capturePreview(handle, camera, window.Handle()), 1);
    Pump(600);
    ExpectPatternOnScreen(window, 320, 240, 0);

    // A start tears the preview down and builds the capture graph, with the grabber feeding the window.
    ASSERT_EQ(dll.captureStart(handle, camera2, 176, 144, 30, window.Handle(), FrameCollector::Callback, &frames),
              1);
    ASSERT_TRUE(frames.WaitFrames(3));
    Pump(300);
    // The renderer stretches 176 x 144 over the window; check the middle colour family only.
    COLORREF middle = window.ScreenPixel(160, 120);
    EXPECT_EQ((middle >> 16) & 0xFF, 0xC0u);
    EXPECT_EQ(dll.captureChangeScreen(handle, nullptr), 1);
    EXPECT_EQ(dll.captureChangeScreen(handle, window.Handle()), 1);
    // A start without a preview window leaves nothing to move.
    ASSERT_EQ(dll.captureStart(handle, camera, 320, 240, 30, nullptr, FrameCollector::Callback, &frames), 1);
    EXPECT_LT(dll.captureChangeScreen(handle, window.Handle()), 0);
}

// Removes a device's friendly name for the test's duration, as drivers that publish none do.
class NamelessDevice {
public:
    explicit NamelessDevice(const CLSID& instance)
    {
        wchar_t text[64] = {};
        StringFromGUID2(instance, text, 64);
        m_key = std::wstring(L"CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\") + text;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            m_ok = RegDeleteValueW(key, L"FriendlyName") == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    ~NamelessDevice()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, m_key.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegSetValueExW(key, L"FriendlyName", 0, REG_SZ, reinterpret_cast<const BYTE*>(SYNTH_CAMERA2_NAME),
                           sizeof(SYNTH_CAMERA2_NAME));
            RegCloseKey(key);
        }
    }
    bool Ok() const { return m_ok; }

private:
    std::wstring m_key;
    bool m_ok = false;
};

TEST_F(CaptureTest, DevicesAreListedInRowsOf128AndAnUnnamedOneKeepsItsPlace)
{
    wchar_t names[16][128];
    for (auto& row : names) wmemset(row, L'#', 128);
    int count = dll.captureGetDevs(handle, names);
    ASSERT_GE(count, 2);
    ASSERT_LE(count, 16);
    EXPECT_STREQ(names[camera], SYNTH_CAMERA_NAME);
    EXPECT_STREQ(names[camera2], SYNTH_CAMERA2_NAME);
    if (count < 16) {
        EXPECT_EQ(names[count][0], L'#'); // rows past the devices are untouched
    }

    NamelessDevice nameless(CLSID_SynthCamera2);
    ASSERT_TRUE(nameless.Ok());
    ASSERT_EQ(dll.captureGetDevs(handle, names), count);
    EXPECT_STREQ(names[camera2], L"Unnamed video device");
    EXPECT_STREQ(names[camera], SYNTH_CAMERA_NAME);
    // The listed position starts that very device.
    ASSERT_EQ(dll.captureStart(handle, camera2, 160, 120, 15, nullptr, FrameCollector::Callback, &frames), 1);
    ASSERT_TRUE(frames.WaitFrames(2));
    std::lock_guard<std::mutex> guard(frames.lock);
    EXPECT_EQ(frames.header.biWidth, kSynthCamera2Size[0]);
    EXPECT_EQ(frames.header.biHeight, kSynthCamera2Size[1]);
}

TEST_F(CaptureTest, StreamingStopsBeforeTheCallbackIsCleared)
{
    // Restarted repeatedly while frames flow: every callback must see a live collector and handle.
    for (int round = 0; round < 5; ++round) {
        FrameCollector local;
        ASSERT_EQ(dll.captureStart(handle, round % 2 ? camera2 : camera, 160, 120, 30, nullptr,
                                   FrameCollector::Callback, &local),
                  1);
        ASSERT_TRUE(local.WaitFrames(1));
        dll.captureDestroy(&handle);
        int seen = local.Count();
        Pump(120);
        EXPECT_EQ(local.Count(), seen);
        handle = dll.captureCreate();
        ASSERT_NE(handle, nullptr);
    }
    // A second destroy of the now null handle does nothing.
    dll.captureDestroy(&handle);
    EXPECT_EQ(handle, nullptr);
    dll.captureDestroy(&handle);
    EXPECT_EQ(handle, nullptr);
}

} // namespace
