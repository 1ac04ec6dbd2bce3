// Speed goals of the engine's own work, which runs once per frame or block on a media thread:
// - composing a 1920 x 1080 recording frame from a board window with the camera in its corner takes
//   under 25 ms (half a frame at the default 20 frames a second);
// - composing a 640 x 480 camera-only frame takes under 5 ms;
// - the speech level of a 20 ms block takes under 0.05 ms.
// Prints the measurements; the exit code is 1 when a goal is missed.
#include "bench/BenchClock.h"
#include "platform/castmix/RecordingSession.h"
#include "platform/castmix/SpeechLevel.h"

#include <cstdio>
#include <vector>

namespace {

std::vector<BYTE> CameraFrame(int width, int height)
{
    std::vector<BYTE> frame(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<BYTE>(i * 7);
    return frame;
}

HWND BoardWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"LvCastmixBenchBoard";
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"board", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window)
        UpdateWindow(window);
    return window;
}

bool Report(const char* what, double ms, double goal)
{
    bool met = ms < goal;
    printf("%-48s %8.3f ms (goal < %.3f) %s\n", what, ms, goal, met ? "ok" : "MISSED");
    return met;
}

} // namespace

int wmain()
{
    bool met = true;
    const int rounds = 40;

    CFrameComposer camera;
    camera.Create(640, 480);
    std::vector<BYTE> frame = CameraFrame(320, 240);
    double start = NowMs();
    for (int i = 0; i < rounds; ++i)
        camera.DrawCamera(frame, 320, 240, nullptr);
    met &= Report("camera 320x240 into a 640x480 frame", (NowMs() - start) / rounds, 5.0);

    HWND board = BoardWindow();
    if (board) {
        CFrameComposer full;
        full.Create(1920, 1080);
        std::vector<BYTE> big = CameraFrame(640, 480);
        RECT corner = {1440, 810, 1920, 1080};
        start = NowMs();
        for (int i = 0; i < rounds; ++i) {
            full.DrawWindow(board);
            full.DrawCamera(big, 640, 480, &corner);
        }
        met &= Report("board 1024x768 and camera into a 1920x1080 frame", (NowMs() - start) / rounds, 25.0);
        DestroyWindow(board);
    } else {
        printf("no display: board composition not measured\n");
    }

    std::vector<int16_t> block(320);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(i * 97);
    volatile int sink = 0;
    start = NowMs();
    for (int i = 0; i < 10000; ++i)
        sink = sink + SpeechLevelOf(block.data(), block.size(), 150);
    met &= Report("speech level of a 640-byte block", (NowMs() - start) / 10000, 0.05);
    return met ? 0 : 1;
}
