// A class recording: Vidlatch's recorder writes the pushed frames and the live microphone into a WMV
// file; this session composes each frame from the board window and the camera and pushes it at the
// recording's frame rate on its own thread.
#pragma once
#include "platform/castmix/Castmix.h"
#include "platform/castmix/LocalVideo.h"
#include "platform/castmix/MediaLibraries.h"

#include <vector>

enum RecordMode { kRecordCamera = 1, kRecordBoard = 2, kRecordBoardAndCamera = 3 };

// Failure codes of a recording start, beside the recorder's own (-100).
const long kRecBadParam = -2;
const long kRecUnavailable = -5;
const long kRecNoSource = -6;
const long kRecNotRecording = -7;

// Checks a start record: frame rate 1..60, data rate above 0, a terminated non-empty path, mode 1..3,
// output size 16x16..4096x4096 in multiples of 4. 0 when it can be used, else kRecBadParam.
long CheckRecParam(const _RecParam& param);

// The output frame: a top-down-drawn GDI surface read out bottom-up as RGB32.
class CFrameComposer {
public:
    CFrameComposer() = default;
    ~CFrameComposer();
    CFrameComposer(const CFrameComposer&) = delete;
    CFrameComposer& operator=(const CFrameComposer&) = delete;

    bool Create(int width, int height);
    // The board window's client area, stretched over the whole frame; false when it cannot be read.
    bool DrawWindow(HWND window);
    // A bottom-up RGB32 camera frame into the rectangle (whole frame when rect is null).
    bool DrawCamera(const std::vector<BYTE>& pixels, int width, int height, const RECT* rect);
    void Clear();
    // RGB32 rows bottom-up, width * height * 4 bytes.
    const BYTE* Bits() const { return m_bits; }
    int Length() const { return m_width * m_height * 4; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    BYTE* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
};

class CRecordingSession {
public:
    CRecordingSession(const VidlatchApi& api, CLocalVideo& camera);
    ~CRecordingSession();
    CRecordingSession(const CRecordingSession&) = delete;
    CRecordingSession& operator=(const CRecordingSession&) = delete;

    // 1 when recording, else a failure code (kRec*, or the recorder's).
    long Start(const _RecParam& param, int microphone);
    // 1 when a recording was stopped, kRecNotRecording when none ran.
    long Stop();
    bool Recording() const { return m_recorder != nullptr; }
    long PushedFrames() const { return m_pushed; }

    // One frame composed for the mode; used by the push thread, and by tests.
    bool Compose(CFrameComposer& composer);

private:
    static DWORD WINAPI PushThread(void* self);
    void PushLoop();
    HWND BoardWindow() const;

    const VidlatchApi& m_api;
    CLocalVideo& m_camera;
    void* m_recorder = nullptr;
    HANDLE m_thread = nullptr;
    HANDLE m_stop = nullptr;
    _RecParam m_param = {};
    volatile LONG m_pushed = 0;
};
