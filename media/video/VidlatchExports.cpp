// The exports: each family turns its handle back into its object and its status into the result
// codes the engine expects.
#include "media/video/Vidlatch.h"

#include "media/video/Recorder.h"
#include "media/video/VideoCapture.h"
#include "media/video/VideoRender.h"

#include <new>

namespace {

// Handles are the address of the shared graph base, so ChangeScreen serves both families.
CxGraph* GraphOf(void* handle)
{
    return static_cast<CxGraph*>(handle);
}

CxVideoCapture* CaptureOf(void* handle)
{
    return static_cast<CxVideoCapture*>(GraphOf(handle));
}

CxVideoRender* RenderOf(void* handle)
{
    return static_cast<CxVideoRender*>(GraphOf(handle));
}

CxRecorder* RecorderOf(void* handle)
{
    return static_cast<CxRecorder*>(GraphOf(handle));
}

int ChangeScreenOf(void* handle, HWND window)
{
    if (!handle)
        return -1;
    HRESULT hr = GraphOf(handle)->ChangeScreen(window);
    if (FAILED(hr))
        return hr < 0 ? static_cast<int>(hr) : -1;
    return 1;
}

} // namespace

VIDLATCH_API void* __cdecl VideoCapture_Create()
{
    auto* capture = new (std::nothrow) CxVideoCapture();
    return capture ? static_cast<CxGraph*>(capture) : nullptr;
}

VIDLATCH_API int __cdecl VideoCapture_GetDevs(void* handle, wchar_t (*names)[128])
{
    if (!handle)
        return -1;
    CStringList list;
    int count = GetDevice(list);
    if (!names)
        return count;
    int row = 0;
    for (POSITION position = list.GetHeadPosition(); position && row < count; ++row)
        lstrcpynW(names[row], list.GetNext(position), kDeviceNameChars);
    return count;
}

VIDLATCH_API int __cdecl VideoCapture_Start(void* handle, int deviceIndex, int width, int height,
                                            int framesPerSecond, HWND preview, VideoFrameCallback callback,
                                            void* user)
{
    if (!handle)
        return -1;
    HRESULT hr = CaptureOf(handle)->Create(deviceIndex, width, height, framesPerSecond, callback, user, preview);
    return SUCCEEDED(hr) ? 1 : -2;
}

VIDLATCH_API int __cdecl VideoCapture_SetState(void* handle, int on)
{
    if (!handle)
        return -1;
    CaptureOf(handle)->SetState(on > 0);
    return 1;
}

VIDLATCH_API int __cdecl VideoCapture_Preview(void* handle, int deviceIndex, HWND window)
{
    if (!handle)
        return -1;
    return SUCCEEDED(CaptureOf(handle)->Preview(deviceIndex, window)) ? 1 : -1;
}

VIDLATCH_API int __cdecl VideoCapture_ShowPropertyPage(void* handle, int deviceIndex)
{
    if (!handle)
        return -1;
    return SUCCEEDED(CaptureOf(handle)->ShowPropertyPage(deviceIndex)) ? 1 : -1;
}

VIDLATCH_API int __cdecl VideoCapture_ChangeScreen(void* handle, HWND window)
{
    return ChangeScreenOf(handle, window);
}

VIDLATCH_API void __cdecl VideoCapture_Destroy(void** handle)
{
    if (!handle)
        return;
    if (*handle)
        delete CaptureOf(*handle);
    *handle = nullptr;
}

VIDLATCH_API void* __cdecl VideoRender_Create()
{
    auto* render = new (std::nothrow) CxVideoRender();
    return render ? static_cast<CxGraph*>(render) : nullptr;
}

VIDLATCH_API int __cdecl VideoRender_Start(void* handle, BITMAPINFOHEADER* format, HWND window)
{
    if (!handle || !format)
        return 0;
    return SUCCEEDED(RenderOf(handle)->Start(*format, window)) ? 1 : 0;
}

VIDLATCH_API int __cdecl VideoRender_Draw(void* handle, BYTE* frame, BYTE* y, BYTE* u, BYTE* v, int* strides,
                                          int length, int width, int height, int bitCount, int flip)
{
    if (!handle)
        return 0;
    HRESULT hr = RenderOf(handle)->Draw(frame, y, u, v, strides, length, width, height, bitCount, flip);
    return SUCCEEDED(hr) ? 1 : 0;
}

VIDLATCH_API int __cdecl VideoRender_ChangeScreen(void* handle, HWND window)
{
    return ChangeScreenOf(handle, window);
}

VIDLATCH_API void __cdecl VideoRender_Destroy(void** handle)
{
    if (!handle)
        return;
    if (*handle)
        delete RenderOf(*handle);
    *handle = nullptr;
}

VIDLATCH_API void* __cdecl Recorder_Create()
{
    auto* recorder = new (std::nothrow) CxRecorder();
    return recorder ? static_cast<CxGraph*>(recorder) : nullptr;
}

VIDLATCH_API int __cdecl Recorder_Start(void* handle, int audioDeviceIndex, BITMAPINFOHEADER* video,
                                        int framesPerSecond, int videoKbps, WAVEFORMATEX* sound, const wchar_t* path)
{
    if (!handle || !video || !sound || !path)
        return -100;
    HRESULT hr = RecorderOf(handle)->Start(audioDeviceIndex, *video, framesPerSecond, videoKbps, *sound, path);
    return SUCCEEDED(hr) ? 1 : -100;
}

VIDLATCH_API int __cdecl Recorder_PutContent(void* handle, BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3,
                                             int* strides, int length, int width, int height, int bitCount,
                                             DWORD value, int flip)
{
    if (!handle)
        return -1;
    return RecorderOf(handle)->PutContent(frame, frame1, frame2, frame3, strides, length, width, height, bitCount,
                                          value, flip);
}

VIDLATCH_API void __cdecl Recorder_Destroy(void** handle)
{
    if (!handle)
        return;
    if (*handle)
        delete RecorderOf(*handle);
    *handle = nullptr;
}
