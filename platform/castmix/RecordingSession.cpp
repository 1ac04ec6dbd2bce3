#include "platform/castmix/RecordingSession.h"

#include "platform/castmix/EngineLog.h"

#include <cwchar>

namespace {

bool ValidSize(int value)
{
    return value >= 16 && value <= 4096 && value % 4 == 0;
}

bool UsableWindow(HWND window)
{
    return window && IsWindow(window) && IsWindowVisible(window);
}

} // namespace

long CheckRecParam(const _RecParam& param)
{
    if (param.frameRate < 1 || param.frameRate > 60 || param.dataRate <= 0)
        return kRecBadParam;
    size_t pathLength = wcsnlen(param.outputPath, sizeof param.outputPath / sizeof param.outputPath[0]);
    if (pathLength == 0 || pathLength >= sizeof param.outputPath / sizeof param.outputPath[0])
        return kRecBadParam;
    if (param.mode < kRecordCamera || param.mode > kRecordBoardAndCamera)
        return kRecBadParam;
    if (!ValidSize(param.outputWidth) || !ValidSize(param.outputHeight))
        return kRecBadParam;
    return 0;
}

CFrameComposer::~CFrameComposer()
{
    if (m_dc) {
        SelectObject(m_dc, m_previous);
        DeleteDC(m_dc);
    }
    if (m_bitmap)
        DeleteObject(m_bitmap);
}

bool CFrameComposer::Create(int width, int height)
{
    if (m_dc || width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up, as the recorder's RGB32 source expects
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_dc = CreateCompatibleDC(nullptr);
    if (!m_bitmap || !m_dc || !bits)
        return false;
    m_previous = SelectObject(m_dc, m_bitmap);
    m_bits = static_cast<BYTE*>(bits);
    m_width = width;
    m_height = height;
    Clear();
    return true;
}

void CFrameComposer::Clear()
{
    if (m_bits) {
        GdiFlush();
        memset(m_bits, 0, static_cast<size_t>(Length()));
    }
}

bool CFrameComposer::DrawWindow(HWND window)
{
    RECT client = {};
    if (!m_dc || !UsableWindow(window) || !GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return false;
    HDC source = GetDC(window);
    if (!source)
        return false;
    // Plain pixel picking: smoothing costs ten times as much and the push runs once per frame.
    SetStretchBltMode(m_dc, COLORONCOLOR);
    BOOL ok = StretchBlt(m_dc, 0, 0, m_width, m_height, source, 0, 0, client.right, client.bottom, SRCCOPY);
    ReleaseDC(window, source);
    GdiFlush();
    return ok != FALSE;
}

bool CFrameComposer::DrawCamera(const std::vector<BYTE>& pixels, int width, int height, const RECT* rect)
{
    if (!m_dc || width <= 0 || height <= 0 || pixels.size() < static_cast<size_t>(width) * height * 4)
        return false;
    RECT target = rect ? *rect : RECT{0, 0, m_width, m_height};
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    SetStretchBltMode(m_dc, COLORONCOLOR);
    int lines = StretchDIBits(m_dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
                              0, 0, width, height, pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    return lines > 0;
}

CRecordingSession::CRecordingSession(const VidlatchApi& api, CLocalVideo& camera) : m_api(api), m_camera(camera) {}

CRecordingSession::~CRecordingSession()
{
    Stop();
}

HWND CRecordingSession::BoardWindow() const
{
    // The document is the board while it shows; otherwise the whiteboard.
    HWND document = CastmixWindow(m_param.documentWindow);
    if (UsableWindow(document))
        return document;
    HWND whiteboard = CastmixWindow(m_param.whiteboardWindow);
    return UsableWindow(whiteboard) ? whiteboard : nullptr;
}

long CRecordingSession::Start(const _RecParam& param, int microphone)
{
    if (m_recorder)
        return kRecBadParam; // one recording at a time; the caller stops first
    long check = CheckRecParam(param);
    if (check < 0)
        return check;
    if (!m_api.HasRecorder())
        return kRecUnavailable;
    m_param = param;
    m_param.outputPath[sizeof m_param.outputPath / sizeof m_param.outputPath[0] - 1] = 0;
    bool needsCamera = param.mode != kRecordBoard;
    bool needsBoard = param.mode != kRecordCamera;
    if ((needsCamera && !m_camera.Running()) || (needsBoard && !BoardWindow()))
        return kRecNoSource;

    m_recorder = m_api.recorderCreate();
    if (!m_recorder)
        return kRecUnavailable;
    BITMAPINFOHEADER video = {};
    video.biSize = sizeof video;
    video.biWidth = param.outputWidth;
    video.biHeight = param.outputHeight;
    video.biPlanes = 1;
    video.biBitCount = 32;
    video.biCompression = BI_RGB;
    WAVEFORMATEX sound = {};
    sound.wFormatTag = WAVE_FORMAT_PCM;
    sound.nChannels = 1;
    sound.nSamplesPerSec = 16000;
    sound.wBitsPerSample = 16;
    int result = m_api.recorderStart(m_recorder, microphone < 0 ? 0 : microphone, &video, param.frameRate,
                                     param.dataRate, &sound, m_param.outputPath);
    ENGINE_LOG("Info: record start mode %d, %dx%d@%d, %d kbps = %d\r\n", param.mode, param.outputWidth,
              param.outputHeight, param.frameRate, param.dataRate, result);
    if (result != 1) {
        m_api.recorderDestroy(&m_recorder);
        m_recorder = nullptr;
        return result < 0 ? result : kRecUnavailable;
    }
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&m_pushed, 0);
    m_thread = m_stop ? CreateThread(nullptr, 0, &CRecordingSession::PushThread, this, 0, nullptr) : nullptr;
    if (!m_thread) {
        Stop();
        return kRecUnavailable;
    }
    return 1;
}

long CRecordingSession::Stop()
{
    if (!m_recorder && !m_thread)
        return kRecNotRecording;
    if (m_thread) {
        SetEvent(m_stop);
        // The push thread only pushes and composes; a tick ends within one frame period.
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    if (m_stop)
        CloseHandle(m_stop);
    m_stop = nullptr;
    if (m_recorder)
        m_api.recorderDestroy(&m_recorder);
    m_recorder = nullptr;
    ENGINE_LOG("Info: record stopped after %ld frames\r\n", m_pushed);
    return 1;
}

bool CRecordingSession::Compose(CFrameComposer& composer)
{
    std::vector<BYTE> pixels;
    int width = 0, height = 0;
    bool haveCamera = m_param.mode != kRecordBoard && m_camera.LatestFrame(pixels, width, height);
    switch (m_param.mode) {
    case kRecordCamera:
        return haveCamera && composer.DrawCamera(pixels, width, height, nullptr);
    case kRecordBoard:
        return composer.DrawWindow(BoardWindow());
    case kRecordBoardAndCamera: {
        bool drawn = composer.DrawWindow(BoardWindow());
        if (haveCamera) {
            // The camera sits in the lower right quarter, over the board.
            RECT corner = {composer.Width() * 3 / 4, composer.Height() * 3 / 4, composer.Width(), composer.Height()};
            drawn = composer.DrawCamera(pixels, width, height, &corner) || drawn;
        }
        return drawn;
    }
    default:
        return false;
    }
}

DWORD WINAPI CRecordingSession::PushThread(void* self)
{
    static_cast<CRecordingSession*>(self)->PushLoop();
    return 0;
}

void CRecordingSession::PushLoop()
{
    CFrameComposer composer;
    if (!composer.Create(m_param.outputWidth, m_param.outputHeight))
        return;
    DWORD period = static_cast<DWORD>(1000 / m_param.frameRate);
    int strides[3] = {composer.Width() * 4, 0, 0};
    // The recorder repeats the latest frame at its own rate; pushing at the same rate keeps it fresh.
    while (WaitForSingleObject(m_stop, period) == WAIT_TIMEOUT) {
        if (!Compose(composer))
            continue;
        int stored = m_api.recorderPutContent(m_recorder, const_cast<BYTE*>(composer.Bits()), nullptr, nullptr, nullptr,
                                              strides, composer.Length(), composer.Width(), composer.Height(), 32, 0, 0);
        if (stored > 0)
            InterlockedIncrement(&m_pushed);
    }
}
