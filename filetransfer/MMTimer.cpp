#include "filetransfer/MMTimer.h"

namespace _FileTrans {

namespace {

const MMTimerApi kWinmmApi = {&timeGetDevCaps, &timeBeginPeriod, &timeEndPeriod, &timeSetEvent, &timeKillEvent};
std::atomic<const MMTimerApi*> g_api{&kWinmmApi};

const MMTimerApi& Api() { return *g_api.load(); }

} // namespace

void CxMMTimer::SetApi(const MMTimerApi* api) { g_api.store(api ? api : &kWinmmApi); }

CxMMTimer::~CxMMTimer()
{
    Stop();
}

bool CxMMTimer::Start(uint32_t periodMs, uint32_t resolutionMs)
{
    if (m_timerId != 0) Stop();
    m_period = periodMs;
    m_resolution = resolutionMs;

    TIMECAPS caps = {};
    if (Api().getDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) {
        uint32_t clamped = resolutionMs;
        if (clamped < caps.wPeriodMin) clamped = caps.wPeriodMin;
        if (clamped > caps.wPeriodMax) clamped = caps.wPeriodMax;
        if (clamped != resolutionMs) return false;
    }
    if (Api().beginPeriod(m_resolution) != TIMERR_NOERROR) return false;
    // Synchronous kill: once timeKillEvent returns, the system starts no further callback.
    m_timerId = Api().setEvent(m_period, m_resolution, &CxMMTimer::TimerProc, reinterpret_cast<DWORD_PTR>(this),
                               TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (m_timerId == 0) {
        // The period request must not stay raised for a timer that never ran.
        Api().endPeriod(m_resolution);
        return false;
    }
    return true;
}

void CxMMTimer::Stop()
{
    if (m_timerId != 0) {
        Api().killEvent(m_timerId);
        m_timerId = 0;
        Api().endPeriod(m_resolution);
        // A callback already past the kill may still be running on the timer thread.
        if (m_callbackThread.load() != GetCurrentThreadId()) {
            while (m_inCallback.load() != 0) Sleep(1);
        }
    }
    m_period = kDefaultPeriod;
    m_resolution = kDefaultResolution;
}

void CALLBACK CxMMTimer::TimerProc(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<CxMMTimer*>(user);
    if (!self) return;
    self->m_inCallback.fetch_add(1);
    self->m_callbackThread.store(GetCurrentThreadId());
    if (self->m_timerId != 0) self->OnTimer();
    self->m_callbackThread.store(0);
    self->m_inCallback.fetch_sub(1);
}

} // namespace _FileTrans
