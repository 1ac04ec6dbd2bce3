#include "tests/castmix_engine/EngineSupport.h"

#include "tests/support/MessageSink.h"

#include <objbase.h>

#include <cmath>

std::vector<std::wstring> Rows(const CastmixDeviceNames names, long count)
{
    std::vector<std::wstring> rows;
    for (long i = 0; i < count && i < CASTMIX_MAX_DEVICES; ++i)
        rows.emplace_back(names[i], wcsnlen(names[i], CASTMIX_DEVICE_NAME));
    return rows;
}

int IndexOf(const std::vector<std::wstring>& names, const std::wstring& name)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name)
            return static_cast<int>(i);
    }
    return -1;
}

namespace {

const int kScreenOriginX = 1000;
const int kScreenOriginY = 560;

LRESULT CALLBACK FilledWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TestWindow::TestWindow(int x, int y, int width, int height, COLORREF fill)
{
    m_brush = CreateSolidBrush(fill);
    // One class per colour: the background brush belongs to the class.
    wchar_t className[64];
    _snwprintf(className, 64, L"LvEngineTestWindow%06lX", static_cast<unsigned long>(fill));
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = FilledWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    windowClass.hbrBackground = m_brush;
    RegisterClassW(&windowClass);
    // Away from the corner where other test programs of a parallel run put their windows.
    m_window = CreateWindowExW(WS_EX_TOPMOST, className, L"engine test", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                               kScreenOriginX + x, kScreenOriginY + y, width, height, nullptr, nullptr,
                               windowClass.hInstance, nullptr);
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
    // From the surface of the window that shows at that point (the renderer's child when it covers
    // it), not from the screen: windows of other test programs on the same display may lie above.
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
    return RGB(GetBValue(value), GetGValue(value), GetRValue(value));
}

TonePlayer::TonePlayer(int peak, int device) : m_peak(peak)
{
    m_sonarel = LoadLibraryW(L"Sonarel.dll");
    if (!m_sonarel)
        return;
    auto create = reinterpret_cast<AudioPlay_CreateFn>(GetProcAddress(m_sonarel, "AudioPlay_Create"));
    auto start = reinterpret_cast<AudioPlay_StartFn>(GetProcAddress(m_sonarel, "AudioPlay_Start"));
    m_close = reinterpret_cast<AudioPlay_CloseFn>(GetProcAddress(m_sonarel, "AudioPlay_Close"));
    if (!create || !start || !m_close)
        return;
    auto startDevice = reinterpret_cast<AudioPlay_StartDeviceFn>(GetProcAddress(m_sonarel, "AudioPlay_StartDevice"));
    m_player = create();
    if (!m_player)
        return;
    int started = device < 0 ? start(m_player, GetDesktopWindow(), 0, 16000, 16, 1, &TonePlayer::OnBlock, this)
                  : startDevice ? startDevice(m_player, GetDesktopWindow(), device, 16000, 16, 1, &TonePlayer::OnBlock, this)
                                : -1;
    if (started != 1)
        m_close(&m_player);
}

TonePlayer::~TonePlayer()
{
    if (m_player)
        m_close(&m_player);
    // Sonarel stays loaded: the engine under test uses it too.
}

long TonePlayer::OnBlock(void* user, CRA_DataBlock** block)
{
    auto* self = static_cast<TonePlayer*>(user);
    CRA_DataBlock& next = **block;
    auto* samples = reinterpret_cast<int16_t*>(next.data);
    // 500 Hz at 16 kHz: 32 samples a period, so every block holds whole periods and its peak.
    for (int i = 0; i < next.length / 2; ++i, ++self->m_phase)
        samples[i] = static_cast<int16_t>(self->m_peak * std::sin(2 * 3.14159265358979 * (self->m_phase % 32) / 32.0));
    return 0;
}

bool SoundServerPresent()
{
    return GetEnvironmentVariableW(L"PULSE_SERVER", nullptr, 0) > 0;
}

long JoinArgs::JoinOn(CASTMIX_HANDLE engine) const
{
    return Castmix_Room_Join(engine, userId, role, roomId, address, port, serverId, microphone, speaker, camera,
                             localVideo, notify, width, height, frameRate, kbps, main);
}

_RecParam RecordingParam(int mode, HWND board, int width, int height)
{
    _RecParam param = {};
    param.frameRate = 20;
    param.dataRate = 1024;
    wcscpy(param.outputPath, L"C:\\rec\\2026-12-09_06-30-00.wmv");
    param.mode = mode;
    param.whiteboardWindow = CastmixWindowValue(board);
    param.two = 2;
    param.outputWidth = width;
    param.outputHeight = height;
    param.sixtyFour = 64;
    param.five = 5;
    return param;
}
