// The exported contract of Vidlatch.dll: three services on opaque handles, and the frame callback.
#pragma once
#include <windows.h>
#include <mmsystem.h>

// Sample time in seconds; frame bytes and length; always 1; the caller's user pointer; the frame's
// header (video) or null; the sound format (never set for cameras) or null; the capture handle.
// The result is ignored.
typedef int(__cdecl* VideoFrameCallback)(double sampleTime, BYTE* data, long length, int one, void* user,
                                         BITMAPINFOHEADER* video, WAVEFORMATEX* audio, void* handle);

#define VIDLATCH_API extern "C" __declspec(dllexport)

VIDLATCH_API void* __cdecl VideoCapture_Create();
VIDLATCH_API int __cdecl VideoCapture_GetDevs(void* handle, wchar_t (*names)[128]);
VIDLATCH_API int __cdecl VideoCapture_Start(void* handle, int deviceIndex, int width, int height,
                                            int framesPerSecond, HWND preview, VideoFrameCallback callback,
                                            void* user);
VIDLATCH_API int __cdecl VideoCapture_SetState(void* handle, int on);
VIDLATCH_API int __cdecl VideoCapture_Preview(void* handle, int deviceIndex, HWND window);
VIDLATCH_API int __cdecl VideoCapture_ShowPropertyPage(void* handle, int deviceIndex);
VIDLATCH_API int __cdecl VideoCapture_ChangeScreen(void* handle, HWND window);
VIDLATCH_API void __cdecl VideoCapture_Destroy(void** handle);

VIDLATCH_API void* __cdecl VideoRender_Create();
VIDLATCH_API int __cdecl VideoRender_Start(void* handle, BITMAPINFOHEADER* format, HWND window);
VIDLATCH_API int __cdecl VideoRender_Draw(void* handle, BYTE* frame, BYTE* y, BYTE* u, BYTE* v, int* strides,
                                          int length, int width, int height, int bitCount, int flip);
VIDLATCH_API int __cdecl VideoRender_ChangeScreen(void* handle, HWND window);
VIDLATCH_API void __cdecl VideoRender_Destroy(void** handle);

VIDLATCH_API void* __cdecl Recorder_Create();
VIDLATCH_API int __cdecl Recorder_Start(void* handle, int audioDeviceIndex, BITMAPINFOHEADER* video,
                                        int framesPerSecond, int videoKbps, WAVEFORMATEX* sound,
                                        const wchar_t* path);
VIDLATCH_API int __cdecl Recorder_PutContent(void* handle, BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3,
                                             int* strides, int length, int width, int height, int bitCount,
                                             DWORD value, int flip);
VIDLATCH_API void __cdecl Recorder_Destroy(void** handle);
