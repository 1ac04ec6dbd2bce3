// One periodic Windows multimedia timer; subclasses get OnTimer on the system's timer thread.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <atomic>
#include <cstdint>

namespace _FileTrans {

// The winmm calls the timer makes, replaceable so tests can watch the exact arguments.
struct MMTimerApi {
    MMRESULT (WINAPI* getDevCaps)(LPTIMECAPS caps, UINT size);
    MMRESULT (WINAPI* beginPeriod)(UINT resolution);
    MMRESULT (WINAPI* endPeriod)(UINT resolution);
    MMRESULT (WINAPI* setEvent)(UINT delay, UINT resolution, LPTIMECALLBACK callback, DWORD_PTR user, UINT flags);
    MMRESULT (WINAPI* killEvent)(UINT id);
};

class CxMMTimer {
public:
    static const uint32_t kDefaultPeriod = 500;
    static const uint32_t kDefaultResolution = 50;

    CxMMTimer() = default;
    // Stops the timer: no callback runs into a destroyed object.
    virtual ~CxMMTimer();
    CxMMTimer(const CxMMTimer&) = delete;
    CxMMTimer& operator=(const CxMMTimer&) = delete;

    // True when the timer runs. A running timer is stopped first, so its event never outlives its id.
    virtual bool Start(uint32_t periodMs, uint32_t resolutionMs);
    // Kills the event and waits for a callback in progress (unless called from that callback);
    // period and resolution return to 500 and 50.
    virtual void Stop();
    // The base does nothing and answers -1.
    virtual int OnTimer() { return -1; }

    bool IsRunning() const { return m_timerId != 0; }
    uint32_t Period() const { return m_period; }
    uint32_t Resolution() const { return m_resolution; }

    // Tests swap the winmm calls; null restores the real ones.
    static void SetApi(const MMTimerApi* api);

private:
    static void CALLBACK TimerProc(UINT id, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    uint32_t m_resolution = kDefaultResolution;
    std::atomic<uint32_t> m_timerId{0}; // read by the timer thread
    uint32_t m_period = kDefaultPeriod;
    // Callbacks under way and the thread running them, so Stop can wait without deadlocking itself.
    std::atomic<int> m_inCallback{0};
    std::atomic<DWORD> m_callbackThread{0};
};

} // namespace _FileTrans
