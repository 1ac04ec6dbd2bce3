// Shared by the engine tests: COM and the synthetic devices of this prefix, real windows under Xvfb
// with screen reads, the GDI renderer for readable pixels, and a tone played into the private sound
// server (whose microphone hears the speaker).
#pragma once
#include "tests/fakes/camera/SynthHost.h"
#include "media/audio/Sonarel.h"
#include "platform/castmix/Castmix.h"

#include <windows.h>
#include <string>
#include <vector>

// The rows a query filled, as strings.
std::vector<std::wstring> Rows(const CastmixDeviceNames names, long count);
int IndexOf(const std::vector<std::wstring>& names, const std::wstring& name);

// A visible top-level window at (x, y) with that client size, filled with one colour.
class TestWindow {
public:
    TestWindow(int x, int y, int width, int height, COLORREF fill = RGB(0, 0, 0));
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND Handle() const { return m_window; }
    // The pixel shown at client (x, y) as 0x00RRGGBB, read from the window's own surface.
    COLORREF ScreenPixel(int x, int y) const;
private:
    HWND m_window = nullptr;
    HBRUSH m_brush = nullptr;
};

// A sine tone of that peak played through Sonarel's playback on the first device, or on the device of
// that index in the playback list.
class TonePlayer {
public:
    explicit TonePlayer(int peak, int device = -1);
    ~TonePlayer();
    TonePlayer(const TonePlayer&) = delete;
    TonePlayer& operator=(const TonePlayer&) = delete;
    bool Playing() const { return m_player != nullptr; }
private:
    static long OnBlock(void* user, CRA_DataBlock** block);
    HMODULE m_sonarel = nullptr;
    AudioPlay_CloseFn m_close = nullptr;
    CDSAudioPlay* m_player = nullptr;
    int m_peak;
    unsigned m_phase = 0;
};

// True when the private sound server runs for this test run.
bool SoundServerPresent();

// A recording record the recorder takes (mode 1 camera, 2 board, 3 both), for the cases that change
// one of its values.
_RecParam RecordingParam(int mode, HWND board = nullptr, int width = 640, int height = 480);

// A join with plausible values, for the cases that change one of them.
struct JoinArgs {
    uint32_t userId = 7001;
    int32_t role = 2;
    uint32_t roomId = 4242;
    uint32_t address = 0x0100007F; // 127.0.0.1, first octet in the lowest byte
    uint16_t port = 9000;
    uint16_t serverId = 3;
    int32_t microphone = 0;
    int32_t speaker = 0;
    int32_t camera = -1;
    HWND localVideo = nullptr;
    HWND notify = nullptr;
    int32_t width = 320;
    int32_t height = 240;
    int32_t frameRate = 15;
    int32_t kbps = 240;
    HWND main = nullptr;

    long JoinOn(CASTMIX_HANDLE engine) const;
};
