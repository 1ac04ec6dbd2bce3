// Every export with a null handle answers its family's failure value and touches nothing.
#include "tests/video/VideoTestSupport.h"

#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

TEST(VidlatchExports, NullHandlesGiveEachFamilysFailureValue)
{
    ComScope com;
    ASSERT_TRUE(com.Ok());
    VidlatchDll dll;
    ASSERT_TRUE(dll.Loaded());
    // The library's log starts with its build line.
    std::string log = ReadFileBytes(VidlatchLogPath());
    EXPECT_EQ(log.compare(0, 23, "--Vidlatch buildtime = "), 0) << log.substr(0, 80);
    EXPECT_NE(log.find("\r\n"), std::string::npos);
    wchar_t names[4][128] = {};
    BITMAPINFOHEADER format = {};
    format.biWidth = 64;
    format.biHeight = 48;
    format.biBitCount = 32;
    WAVEFORMATEX sound = {};
    sound.nChannels = 1;
    sound.wBitsPerSample = 16;
    sound.nSamplesPerSec = 16000;
    BYTE frame[64 * 48 * 4] = {};
    int strides[3] = {64, 32, 32};

    EXPECT_EQ(dll.captureGetDevs(nullptr, names), -1);
    EXPECT_EQ(names[0][0], L'\0');
    EXPECT_EQ(dll.captureStart(nullptr, 0, 64, 48, 15, nullptr, FrameCollector::Callback, nullptr), -1);
    EXPECT_EQ(dll.captureSetState(nullptr, 1), -1);
    EXPECT_EQ(dll.capturePreview(nullptr, 0, nullptr), -1);
    EXPECT_EQ(dll.captureShowPropertyPage(nullptr, 0), -1);
    EXPECT_EQ(dll.captureChangeScreen(nullptr, nullptr), -1);
    EXPECT_EQ(dll.renderChangeScreen(nullptr, nullptr), -1);
    EXPECT_EQ(dll.renderStart(nullptr, &format, nullptr), 0);
    EXPECT_EQ(dll.renderDraw(nullptr, frame, nullptr, nullptr, nullptr, strides, sizeof(frame), 64, 48, 32, 0), 0);
    EXPECT_EQ(dll.recorderStart(nullptr, 0, &format, 15, 256, &sound, L"c:\\x.wmv"), -100);
    EXPECT_EQ(dll.recorderPutContent(nullptr, frame, nullptr, nullptr, nullptr, strides, sizeof(frame), 64, 48, 32,
                                     0, 0),
              -1);
    // The format is left as the caller gave it.
    EXPECT_EQ(sound.nAvgBytesPerSec, 0u);

    void* handle = nullptr;
    dll.captureDestroy(&handle);
    dll.renderDestroy(&handle);
    dll.recorderDestroy(&handle);
    EXPECT_EQ(handle, nullptr);
}

TEST(VidlatchExports, ChangeScreenServesBothFamiliesAndNeedsAGraph)
{
    ComScope com;
    VidlatchDll dll;
    ASSERT_TRUE(dll.Loaded());
    void* handles[2] = {dll.captureCreate(), dll.renderCreate()};
    // No graph yet: a negative status, not success; either export takes either kind of handle.
    for (void* handle : handles) {
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(dll.captureChangeScreen(handle, nullptr), static_cast<int>(E_POINTER));
        EXPECT_EQ(dll.renderChangeScreen(handle, nullptr), static_cast<int>(E_POINTER));
    }
    dll.captureDestroy(&handles[0]);
    dll.renderDestroy(&handles[1]);
}

} // namespace
