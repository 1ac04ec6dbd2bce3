#include "platform/castmix/LocalVideo.h"

#include "platform/castmix/AudioPath.h"
#include "platform/castmix/EngineLog.h"

#include <cstring>

namespace {

class ScopedLock {
public:
    explicit ScopedLock(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    ~ScopedLock() { LeaveCriticalSection(&m_lock); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;
private:
    CRITICAL_SECTION& m_lock;
};

} // namespace

CLocalVideo::CLocalVideo(const VidlatchApi& api) : m_api(api)
{
    InitializeCriticalSection(&m_frameLock);
}

CLocalVideo::~CLocalVideo()
{
    Stop();
    StopPreview();
    DeleteCriticalSection(&m_frameLock);
}

int CLocalVideo::Start(int camera, int width, int height, int framesPerSecond, HWND window)
{
    Stop();
    m_capture = m_api.captureCreate();
    m_render = m_api.renderCreate();
    if (!m_capture || !m_render) {
        Stop();
        return -1;
    }
    m_camera = camera;
    m_window = window;
    m_announcedWidth = m_announcedHeight = 0;
    int result = m_api.captureStart(m_capture, camera, width, height, framesPerSecond, nullptr,
                                    &CLocalVideo::OnFrame, this);
    ENGINE_LOG("Info: camera %d start %dx%d@%d = %d\r\n", camera, width, height, framesPerSecond, result);
    if (result != 1)
        Stop();
    return result;
}

void CLocalVideo::Stop()
{
    // The capture goes first: once destroyed its streaming thread no longer draws into the render.
    if (m_capture)
        m_api.captureDestroy(&m_capture);
    if (m_render)
        m_api.renderDestroy(&m_render);
    m_capture = m_render = nullptr;
    InterlockedExchange(&m_renderWidth, 0);
    InterlockedExchange(&m_renderHeight, 0);
    m_camera = -1;
    ScopedLock lock(m_frameLock);
    m_frame.clear();
    m_frameWidth = m_frameHeight = 0;
}

int CLocalVideo::ChangeWindow(HWND window)
{
    m_window = window;
    if (!m_render || m_renderWidth == 0)
        return 1; // the render takes the window when it starts
    return m_api.renderChangeScreen(m_render, window);
}

bool CLocalVideo::OnFrameSize(int width, int height)
{
    if (!m_render || width <= 0 || height <= 0)
        return false;
    if (m_renderWidth == width && m_renderHeight == height)
        return true;
    // Frames of the new size are refused by the render until it runs at that size.
    InterlockedExchange(&m_renderWidth, 0);
    InterlockedExchange(&m_renderHeight, 0);
    if (!m_window)
        return false;
    BITMAPINFOHEADER format = {};
    format.biSize = sizeof format;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = 32;
    int result = m_api.renderStart(m_render, &format, m_window);
    ENGINE_LOG("Info: local render %dx%d = %d\r\n", width, height, result);
    if (result != 1)
        return false;
    InterlockedExchange(&m_renderWidth, width);
    InterlockedExchange(&m_renderHeight, height);
    return true;
}

bool CLocalVideo::LatestFrame(std::vector<BYTE>& pixels, int& width, int& height)
{
    ScopedLock lock(m_frameLock);
    if (m_frame.empty())
        return false;
    pixels = m_frame;
    width = m_frameWidth;
    height = m_frameHeight;
    return true;
}

int __cdecl CLocalVideo::OnFrame(double, BYTE* data, long length, int, void* user, BITMAPINFOHEADER* video,
                                 WAVEFORMATEX*, void*)
{
    auto* self = static_cast<CLocalVideo*>(user);
    // Only whole RGB32 frames of a sane size are kept and drawn; anything else is dropped.
    if (!self || !data || !video || video->biBitCount != 32 || video->biWidth <= 0 || video->biHeight <= 0 ||
        video->biWidth > 4096 || video->biHeight > 4096)
        return 0;
    long expected = video->biWidth * video->biHeight * 4;
    if (length < expected)
        return 0;
    self->Frame(data, expected, video->biWidth, video->biHeight);
    return 0;
}

void CLocalVideo::Frame(const BYTE* data, long length, int width, int height)
{
    InterlockedIncrement(&m_captured);
    {
        ScopedLock lock(m_frameLock);
        m_frame.assign(data, data + length);
        m_frameWidth = width;
        m_frameHeight = height;
    }
    if (width != m_announcedWidth || height != m_announcedHeight) {
        m_announcedWidth = width;
        m_announcedHeight = height;
        PostMessageW(m_engineWindow, kMsgFrameSize, static_cast<WPARAM>(width), static_cast<LPARAM>(height));
    }
    if (m_renderWidth != width || m_renderHeight != height)
        return;
    int strides[3] = {width * 4, 0, 0};
    if (m_api.renderDraw(m_render, const_cast<BYTE*>(data), nullptr, nullptr, nullptr, strides,
                         static_cast<int>(length), width, height, 32, 0) == 1)
        InterlockedIncrement(&m_rendered);
}

int CLocalVideo::Devices(wchar_t (*names)[kSonarelNameChars], int rows)
{
    void* lister = m_api.captureCreate();
    if (!lister)
        return -1;
    int count = ListLibraryDevices(m_api.captureGetDevs, lister, names, rows);
    m_api.captureDestroy(&lister);
    return count;
}

int CLocalVideo::Preview(int camera, HWND window)
{
    if (camera < 0 || !window) {
        StopPreview();
        return 0;
    }
    if (!m_preview)
        m_preview = m_api.captureCreate();
    if (!m_preview)
        return -1;
    int result = m_api.capturePreview(m_preview, camera, window);
    ENGINE_LOG("Info: preview camera %d = %d\r\n", camera, result);
    if (result != 1)
        StopPreview();
    return result;
}

void CLocalVideo::StopPreview()
{
    if (m_preview)
        m_api.captureDestroy(&m_preview);
    m_preview = nullptr;
}

int CLocalVideo::ShowPropertyPage(int camera)
{
    void* pages = m_api.captureCreate();
    if (!pages)
        return -1;
    int result = m_api.captureShowPropertyPage(pages, camera);
    m_api.captureDestroy(&pages);
    return result;
}
