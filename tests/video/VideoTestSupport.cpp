#include "tests/video/VideoTestSupport.h"

#include "media/video/VideoCapture.h"
#include "platform/afx/AfxFile.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

template <typename T>
static void Bind(HMODULE module, T& function, const char* name)
{
    function = reinterpret_cast<T>(GetProcAddress(module, name));
}

namespace {

// The DLL has its own copy of the folder code: it learns the private data folder from the environment.
const CString& DllDataFolder()
{
    static TempFolder folder(L"vid");
    return folder.Path();
}

} // namespace

CString VidlatchLogPath()
{
    return DllDataFolder() + L"log\\Vidlatch.log";
}

VidlatchDll::VidlatchDll()
{
    if (!GetModuleHandleW(L"Vidlatch.dll"))
        SetEnvironmentVariableW(L"LUMENVALE_DATA_FOLDER", DllDataFolder());
    module = LoadLibraryW(L"Vidlatch.dll");
    if (!module)
        return;
    Bind(module, captureCreate, "VideoCapture_Create");
    Bind(module, captureGetDevs, "VideoCapture_GetDevs");
    Bind(module, captureStart, "VideoCapture_Start");
    Bind(module, captureSetState, "VideoCapture_SetState");
    Bind(module, capturePreview, "VideoCapture_Preview");
    Bind(module, captureShowPropertyPage, "VideoCapture_ShowPropertyPage");
    Bind(module, captureChangeScreen, "VideoCapture_ChangeScreen");
    Bind(module, captureDestroy, "VideoCapture_Destroy");
    Bind(module, renderCreate, "VideoRender_Create");
    Bind(module, renderStart, "VideoRender_Start");
    Bind(module, renderDraw, "VideoRender_Draw");
    Bind(module, renderChangeScreen, "VideoRender_ChangeScreen");
    Bind(module, renderDestroy, "VideoRender_Destroy");
    Bind(module, recorderCreate, "Recorder_Create");
    Bind(module, recorderStart, "Recorder_Start");
    Bind(module, recorderPutContent, "Recorder_PutContent");
    Bind(module, recorderDestroy, "Recorder_Destroy");
}

VidlatchDll::~VidlatchDll()
{
    // Kept loaded: graphs of other tests may still hold its filters' code for a moment.
}

bool VidlatchDll::Loaded() const
{
    return module && captureCreate && captureGetDevs && captureStart && captureSetState && capturePreview &&
           captureShowPropertyPage && captureChangeScreen && captureDestroy && renderCreate && renderStart &&
           renderDraw && renderChangeScreen && renderDestroy && recorderCreate && recorderStart &&
           recorderPutContent && recorderDestroy;
}

int __cdecl FrameCollector::Callback(double sampleTime, BYTE* data, long length, int one, void* user,
                                     BITMAPINFOHEADER* video, WAVEFORMATEX* audio, void* handle)
{
    auto* self = static_cast<FrameCollector*>(user);
    std::lock_guard<std::mutex> guard(self->lock);
    ++self->frames;
    self->last.assign(data, data + length);
    self->headerWasNull = video == nullptr;
    if (video)
        self->header = *video;
    self->audioWasSet = audio != nullptr;
    self->one = one;
    self->handle = handle;
    if (sampleTime < self->lastTime)
        self->timesRise = false;
    self->lastTime = sampleTime;
    return 0;
}

int FrameCollector::Count()
{
    std::lock_guard<std::mutex> guard(lock);
    return frames;
}

bool FrameCollector::WaitFrames(int count, DWORD timeoutMs)
{
    return PumpUntil([&] { return Count() >= count; }, timeoutMs);
}

void FrameCollector::Clear()
{
    std::lock_guard<std::mutex> guard(lock);
    frames = 0;
    last.clear();
    header = BITMAPINFOHEADER();
    lastTime = -1;
    timesRise = true;
}

int FindVideoDevice(const std::wstring& name)
{
    CStringList names;
    GetDevice(names);
    int index = 0;
    for (POSITION position = names.GetHeadPosition(); position; ++index) {
        if (name == names.GetNext(position).GetString())
            return index;
    }
    return -1;
}

namespace {

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 1;
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TestWindow::TestWindow(int x, int y, int width, int height)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = PlainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"LvVideoTestWindow";
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassW(&windowClass);
    m_window = CreateWindowExW(WS_EX_TOPMOST, L"LvVideoTestWindow", L"video test", WS_POPUP | WS_VISIBLE |
                               WS_CLIPCHILDREN, x, y, width, height, nullptr, nullptr, windowClass.hInstance,
                               nullptr);
    if (m_window) {
        UpdateWindow(m_window);
        Pump(50);
    }
}

TestWindow::~TestWindow()
{
    if (m_window)
        DestroyWindow(m_window);
}

COLORREF TestWindow::ScreenPixel(int x, int y) const
{
    // Read from the video window's own surface, not the screen: windows of other tests running on the
    // same display may cover ours.
    POINT point = {x, y};
    HWND source = ChildWindowFromPointEx(m_window, point, CWP_SKIPINVISIBLE);
    if (!source)
        source = m_window;
    MapWindowPoints(m_window, source, &point, 1);
    HDC dc = GetDC(source);
    COLORREF value = GetPixel(dc, point.x, point.y);
    ReleaseDC(source, dc);
    if (value == CLR_INVALID)
        return CLR_INVALID;
    // GetPixel answers 0x00BBGGRR.
    return RGB(GetBValue(value), GetGValue(value), GetRValue(value));
}

