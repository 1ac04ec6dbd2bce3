// How evenly Sonarel hands out its 20 ms blocks: capture and playback run together for a few seconds
// through the exports, and the gaps between callbacks are printed.
// Goal: on a real-time device the mean gap is 20 ms (within 1 ms), 99 in 100 gaps stay under 40 ms,
// and the first captured block arrives within 1.5 s of the start (the sound server needs 0.7-1.2 s).
// Run under scripts/sound-env's server: build/wine-run build/bin/audio_bench.exe [seconds]
#include "media/audio/Sonarel.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Cadence {
    CRITICAL_SECTION lock;
    std::vector<DWORD> arrivals;
};

long Record(void* user, CRA_DataBlock**)
{
    auto* cadence = static_cast<Cadence*>(user);
    DWORD now = timeGetTime();
    EnterCriticalSection(&cadence->lock);
    cadence->arrivals.push_back(now);
    LeaveCriticalSection(&cadence->lock);
    return 1;
}

void Report(const char* name, DWORD startedMs, Cadence& cadence)
{
    EnterCriticalSection(&cadence.lock);
    std::vector<DWORD> arrivals = cadence.arrivals;
    LeaveCriticalSection(&cadence.lock);
    if (arrivals.size() < 12) {
        printf("%-9s %u blocks: too few to measure\n", name, static_cast<unsigned>(arrivals.size()));
        return;
    }
    // The first blocks can come in a burst from the buffer; gaps are taken from the tenth block on.
    std::vector<DWORD> gaps;
    for (size_t i = 10; i < arrivals.size(); ++i) gaps.push_back(arrivals[i] - arrivals[i - 1]);
    double mean = static_cast<double>(arrivals.back() - arrivals[9]) / gaps.size();
    std::sort(gaps.begin(), gaps.end());
    printf("%-9s %5u blocks  first after %4u ms  mean gap %5.2f ms  median %2u  p99 %3u  max %3u ms\n", name,
           static_cast<unsigned>(arrivals.size()), static_cast<unsigned>(arrivals.front() - startedMs), mean,
           static_cast<unsigned>(gaps[gaps.size() / 2]), static_cast<unsigned>(gaps[gaps.size() * 99 / 100]),
           static_cast<unsigned>(gaps.back()));
}

template <typename Fn>
Fn Bind(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int seconds = argc > 1 ? _wtoi(argv[1]) : 5;
    if (seconds < 1) seconds = 5;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetEnvironmentVariableW(L"LUMENVALE_DATA_FOLDER", (std::wstring(temp) + L"lumenvale-audio-bench").c_str());

    HMODULE library = LoadLibraryW(L"Sonarel.dll");
    if (!library) {
        printf("Sonarel.dll not found\n");
        return 1;
    }
    auto captureCreate = Bind<Sonarel_CreateFn>(library, "Sonarel_Create");
    auto captureStart = Bind<Sonarel_StartFn>(library, "Sonarel_Start");
    auto captureClose = Bind<Sonarel_CloseFn>(library, "Sonarel_Close");
    auto playCreate = Bind<AudioPlay_CreateFn>(library, "AudioPlay_Create");
    auto playStart = Bind<AudioPlay_StartFn>(library, "AudioPlay_Start");
    auto playClose = Bind<AudioPlay_CloseFn>(library, "AudioPlay_Close");
    if (!captureCreate || !captureStart || !captureClose || !playCreate || !playStart || !playClose) {
        printf("an export is missing\n");
        return 1;
    }
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);

    Cadence captured, played;
    InitializeCriticalSection(&captured.lock);
    InitializeCriticalSection(&played.lock);
    CDSSonarel* capture = captureCreate();
    CDSAudioPlay* player = playCreate();
    DWORD started = timeGetTime();
    int captureResult = captureStart(capture, 0, 16000, 16, 1, Record, &captured);
    int playResult = playStart(player, window, 0, 32000, 16, 1, Record, &played);
    if (captureResult != 1 || playResult != 1) {
        printf("start failed: capture %d, playback %d (is a sound server running?)\n", captureResult, playResult);
    } else {
        Sleep(static_cast<DWORD>(seconds) * 1000);
    }
    captureClose(&capture);
    playClose(&player);
    Report("capture", started, captured);
    Report("playback", started, played);
    DestroyWindow(window);
    FreeLibrary(library);
    return 0;
}
