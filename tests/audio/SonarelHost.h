// Test host of Sonarel.dll: loads it and binds every export by name, as the media engine does, and
// records the blocks the library hands to callbacks.
#pragma once
#include "media/audio/Sonarel.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <vector>

class SonarelHost {
public:
    SonarelHost() = default;
    ~SonarelHost() { Unload(); }
    SonarelHost(const SonarelHost&) = delete;
    SonarelHost& operator=(const SonarelHost&) = delete;

    // Loads Sonarel.dll from the program folder; false when it or one of its exports is missing.
    bool Load();
    // FreeLibrary; true when the module is gone from the process afterwards.
    bool Unload();
    bool IsLoaded() const { return m_module != nullptr; }

    Sonarel_CreateFn Sonarel_Create = nullptr;
    Sonarel_GetDevsFn Sonarel_GetDevs = nullptr;
    Sonarel_StartFn Sonarel_Start = nullptr;
    Sonarel_CloseFn Sonarel_Close = nullptr;
    AudioPlay_CreateFn AudioPlay_Create = nullptr;
    AudioPlay_GetDevsFn AudioPlay_GetDevs = nullptr;
    AudioPlay_StartFn AudioPlay_Start = nullptr;
    AudioPlay_CloseFn AudioPlay_Close = nullptr;
    DoDSoundFn DoDSound = nullptr;

private:
    HMODULE m_module = nullptr;
};

// True when the run has a sound server (scripts/sound-env) and this process is not the no-device child.
bool SoundExpected();
// The library's log as written so far.
std::string ReadSonarelLog();

// One block as a callback saw it.
struct SeenBlock {
    int sequence;
    unsigned time;
    int reserved;
    int filled;
    int length;
    DWORD threadId;
    DWORD arrivedMs;
    void* user;
    int maxAbsSample; // of 16-bit samples
    std::vector<short> firstSamples;
};

// Collects blocks from a callback; optionally writes a constant sample value into each block afterwards
// (playback) and sleeps or blocks inside the callback (threads stopped mid-work).
class BlockRecorder {
public:
    BlockRecorder();
    ~BlockRecorder();

    static long Callback(void* user, CRA_DataBlock** block);

    bool WaitForBlocks(size_t count, DWORD timeoutMs);
    std::vector<SeenBlock> Blocks() const;
    size_t Count() const;

    // Sample value written into every block after it was recorded (0 = leave the block alone).
    void SetFillSample(short value) { m_fillSample = value; }
    void SetSleepMs(DWORD ms) { m_sleepMs = ms; }
    // The callback waits on this event (never set by the test) from the given block on.
    void HangFrom(size_t blockIndex) { m_hangFrom = blockIndex; }
    // A handle of the thread the callback last ran on (SYNCHRONIZE | THREAD_QUERY_INFORMATION).
    HANDLE CallbackThread() const { return m_thread; }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<SeenBlock> m_blocks;
    volatile short m_fillSample = 0;
    volatile DWORD m_sleepMs = 0;
    volatile size_t m_hangFrom = static_cast<size_t>(-1);
    HANDLE m_never = nullptr;
    HANDLE m_thread = nullptr;
};

// Whether a thread of the given handle has ended (within the wait).
bool ThreadEnded(HANDLE thread, DWORD waitMs = 0);
// The number of this process's threads once it has stopped falling (up to 5 s).
size_t SettledThreadCount();
// True when the number of this process's threads falls to count within the wait.
bool ThreadCountFallsTo(size_t count, DWORD waitMs);
