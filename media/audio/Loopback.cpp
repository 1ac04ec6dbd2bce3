#include "media/audio/Loopback.h"

#include "media/audio/DSAudioPlay.h"
#include "media/audio/DSSonarel.h"

#include <cstring>

namespace {

const int kLoopBytes = 1024 * 1024;

struct LoopbackState {
    LoopbackState() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    CDSAudioPlay player;
    CDSSonarel capture;
    unsigned char pending[kLoopBytes] = {};
    int pendingBytes = 0;
};

// Created on first use and never destroyed: its objects are stopped explicitly at unload.
LoopbackState* g_state = nullptr;

LoopbackState* State()
{
    static LoopbackState* state = new LoopbackState;
    g_state = state;
    return state;
}

// Keeps the latest captured block; the count only gates playback, so it stops at the buffer's size.
long BuiltInCaptureCallback(void*, CRA_DataBlock** block)
{
    LoopbackState* state = g_state;
    if (!state || !block || !*block) return 0;
    CAutoMutex lock(state->lock);
    int bytes = (*block)->length < kLoopBytes ? (*block)->length : kLoopBytes;
    memcpy(state->pending, (*block)->data, bytes);
    state->pendingBytes += bytes;
    if (state->pendingBytes > kLoopBytes) state->pendingBytes = kLoopBytes;
    return 1;
}

long BuiltInPlayCallback(void*, CRA_DataBlock** block)
{
    LoopbackState* state = g_state;
    if (!state || !block || !*block) return 1;
    CAutoMutex lock(state->lock);
    int bytes = (*block)->length;
    if (bytes > 0 && bytes <= kLoopBytes && state->pendingBytes >= bytes) {
        memcpy((*block)->data, state->pending, bytes);
        state->pendingBytes -= bytes;
    }
    return 1;
}

} // namespace

void RunLoopbackTest(HWND window, AudioBlockCallback captureCallback, AudioBlockCallback playCallback)
{
    // The pair is abandoned, not released, at unload; DirectSound's own threads keep running its code.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"dsound.dll", &pinned);
    LoopbackState* state = State();
    state->player.Stop();
    state->player.Reset();
    state->player.Start(window, 0, 32000, 16, 1, playCallback ? playCallback : BuiltInPlayCallback, nullptr);
    {
        CAutoMutex lock(state->lock);
        state->pendingBytes = 0;
    }
    state->capture.Stop();
    state->capture.Start(0, 32000, 16, 1, captureCallback ? captureCallback : BuiltInCaptureCallback, nullptr);
}

void StopLoopbackTest()
{
    if (!g_state) return;
    g_state->capture.Abandon();
    g_state->player.Abandon();
}
