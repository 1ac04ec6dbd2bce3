// Shared by the video tests: COM on the test thread, the synthetic devices registered in this
// prefix, Vidlatch.dll's exports bound by name, a frame collector for the capture callback and a
// real top-level window under Xvfb.
#pragma once
#include "tests/fakes/camera/SynthHost.h"
#include "media/video/Vidlatch.h"
#include "platform/afx/AfxString.h"
#include "platform/dshow/DsCommon.h"

#include <mutex>
#include <string>
#include <vector>

// Vidlatch.dll loaded from the test folder with every export looked up by its name.
struct VidlatchDll {
    VidlatchDll();
    ~VidlatchDll();
    bool Loaded() const;

    HMODULE module = nullptr;
    decltype(&VideoCapture_Create) captureCreate = nullptr;
    decltype(&VideoCapture_GetDevs) captureGetDevs = nullptr;
    decltype(&VideoCapture_Start) captureStart = nullptr;
    decltype(&VideoCapture_SetState) captureSetState = nullptr;
    decltype(&VideoCapture_Preview) capturePreview = nullptr;
    decltype(&VideoCapture_ShowPropertyPage) captureShowPropertyPage = nullptr;
    decltype(&VideoCapture_ChangeScreen) captureChangeScreen = nullptr;
    decltype(&VideoCapture_Destroy) captureDestroy = nullptr;
    decltype(&VideoRender_Create) renderCreate = nullptr;
    decltype(&VideoRender_Start) renderStart = nullptr;
    decltype(&VideoRender_Draw) renderDraw = nullptr;
    decltype(&VideoRender_ChangeScreen) renderChangeScreen = nullptr;
    decltype(&VideoRender_Destroy) renderDestroy = nullptr;
    decltype(&Recorder_Create) recorderCreate = nullptr;
    decltype(&Recorder_Start) recorderStart = nullptr;
    decltype(&Recorder_PutContent) recorderPutContent = nullptr;
    decltype(&Recorder_Destroy) recorderDestroy = nullptr;
};

// What the capture callback saw; filled on the streaming thread.
struct FrameCollector {
    static int __cdecl Callback(double sampleTime, BYTE* data, long length, int one, void* user,
                                BITMAPINFOHEADER* video, WAVEFORMATEX* audio, void* handle);
    int Count();
    // Waits (pumping messages) until count frames arrived.
    bool WaitFrames(int count, DWORD timeoutMs = 5000);
    void Clear();

    std::mutex lock;
    int frames = 0;
    std::vector<BYTE> last;
    BITMAPINFOHEADER header = {};
    bool headerWasNull = false;
    bool audioWasSet = false;
    int one = 0;
    void* handle = nullptr;
    double lastTime = -1;
    bool timesRise = true;
};

// The log the DLL writes (its data folder is private to the test run).
CString VidlatchLogPath();

// The index of a device name in the video input list, or -1.
int FindVideoDevice(const std::wstring& name);

// A visible top-level window at (x, y) of that client size; destroyed with the object.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height);
    ~TestWindow();
    HWND Handle() const { return m_window; }
    // The pixel shown at client (x, y) as 0x00RRGGBB, read from the window under that point.
    COLORREF ScreenPixel(int x, int y) const;
private:
    HWND m_window = nullptr;
};

