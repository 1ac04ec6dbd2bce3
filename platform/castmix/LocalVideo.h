// The local camera: captured through Vidlatch, each frame drawn into the local video window through the
// render family and kept for a recording. Also the device preview and property pages of the settings.
#pragma once
#include "platform/castmix/MediaLibraries.h"

#include <vector>

// Posted by the capture thread to the engine's window when the camera's frame size is first seen or
// changes: the render restarts with it on the engine's thread (graphs are built where COM lives).
// wParam: width, lParam: height.
const UINT kMsgFrameSize = WM_APP + 1;

class CLocalVideo {
public:
    explicit CLocalVideo(const VidlatchApi& api);
    // Where the capture thread posts kMsgFrameSize; set before the first start.
    void SetEngineWindow(HWND window) { m_engineWindow = window; }
    ~CLocalVideo();
    CLocalVideo(const CLocalVideo&) = delete;
    CLocalVideo& operator=(const CLocalVideo&) = delete;

    // Starts the camera (index >= 0) at the requested size into window (may be null: frames are then
    // only kept). 1 when the capture runs, else the library's code.
    int Start(int camera, int width, int height, int framesPerSecond, HWND window);
    void Stop();
    bool Running() const { return m_capture != nullptr; }
    int Camera() const { return m_camera; }

    // Moves the drawn video into another window (null hides it). 1, or the library's code.
    int ChangeWindow(HWND window);
    HWND Window() const { return m_window; }

    // Handles kMsgFrameSize on the engine's thread; true when the render now runs at that size.
    bool OnFrameSize(int width, int height);
    long RenderedFrames() const { return m_rendered; }
    long CapturedFrames() const { return m_captured; }

    // A copy of the latest frame (RGB32, bottom-up); false before the first one.
    bool LatestFrame(std::vector<BYTE>& pixels, int& width, int& height);

    // The device list, at most rows names; the count copied or a negative code.
    int Devices(wchar_t (*names)[kSonarelNameChars], int rows);
    // Shows a camera directly in a window (no callback); a null window or negative camera stops it.
    int Preview(int camera, HWND window);
    void StopPreview();
    // Modal; returns when the user closes the pages.
    int ShowPropertyPage(int camera);

private:
    static int __cdecl OnFrame(double sampleTime, BYTE* data, long length, int one, void* user,
                               BITMAPINFOHEADER* video, WAVEFORMATEX* audio, void* handle);
    void Frame(const BYTE* data, long length, int width, int height);

    const VidlatchApi& m_api;
    HWND m_engineWindow = nullptr;
    void* m_capture = nullptr;
    void* m_render = nullptr;
    void* m_preview = nullptr;
    HWND m_window = nullptr;
    int m_camera = -1;

    CRITICAL_SECTION m_frameLock;
    std::vector<BYTE> m_frame;   // latest frame, under the lock
    int m_frameWidth = 0;        // size of m_frame
    int m_frameHeight = 0;
    int m_announcedWidth = 0;    // last size posted to the engine window (capture thread only)
    int m_announcedHeight = 0;
    volatile LONG m_renderWidth = 0;  // size the render runs at; 0 when it does not
    volatile LONG m_renderHeight = 0;
    volatile LONG m_rendered = 0;
    volatile LONG m_captured = 0;
};
