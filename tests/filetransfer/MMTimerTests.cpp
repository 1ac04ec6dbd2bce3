#include "filetransfer/MMTimer.h"

#include <gtest/gtest.h>
#include <atomic>
#include <vector>

using _FileTrans::CxMMTimer;
using _FileTrans::MMTimerApi;

namespace {

// A recording stand-in for winmm: every call and its arguments, and a settable device range.
struct FakeWinmm {
    static UINT minPeriod, maxPeriod;
    static MMRESULT capsResult, beginResult;
    static UINT nextId;
    static std::vector<std::string> calls;

    static MMRESULT WINAPI GetDevCaps(LPTIMECAPS caps, UINT)
    {
        calls.push_back("caps");
        caps->wPeriodMin = minPeriod;
        caps->wPeriodMax = maxPeriod;
        return capsResult;
    }
    static MMRESULT WINAPI Begin(UINT r) { calls.push_back("begin " + std::to_string(r)); return beginResult; }
    static MMRESULT WINAPI End(UINT r) { calls.push_back("end " + std::to_string(r)); return TIMERR_NOERROR; }
    static MMRESULT WINAPI Set(UINT delay, UINT r, LPTIMECALLBACK, DWORD_PTR, UINT flags)
    {
        calls.push_back("set " + std::to_string(delay) + " " + std::to_string(r) +
                        ((flags & TIME_PERIODIC) ? " periodic" : ""));
        return nextId++;
    }
    static MMRESULT WINAPI Kill(UINT id) { calls.push_back("kill " + std::to_string(id)); return TIMERR_NOERROR; }

    static void Reset()
    {
        minPeriod = 1;
        maxPeriod = 1000000;
        capsResult = TIMERR_NOERROR;
        beginResult = TIMERR_NOERROR;
        nextId = 7;
        calls.clear();
    }
};
UINT FakeWinmm::minPeriod, FakeWinmm::maxPeriod, FakeWinmm::nextId;
MMRESULT FakeWinmm::capsResult, FakeWinmm::beginResult;
std::vector<std::string> FakeWinmm::calls;

const MMTimerApi kFakeApi = {&FakeWinmm::GetDevCaps, &FakeWinmm::Begin, &FakeWinmm::End, &FakeWinmm::Set,
                             &FakeWinmm::Kill};

class FakeApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeWinmm::Reset();
        CxMMTimer::SetApi(&kFakeApi);
    }
    void TearDown() override { CxMMTimer::SetApi(nullptr); }
    using Calls = std::vector<std::string>;
};

class CountingTimer : public CxMMTimer {
public:
    ~CountingTimer() override { Stop(); }
    int OnTimer() override
    {
        inTick.store(true);
        ticks.fetch_add(1);
        if (workMs) Sleep(workMs);
        if (gone && gone->load()) lateTicks->fetch_add(1);
        inTick.store(false);
        return 0;
    }
    std::atomic<int> ticks{0};
    std::atomic<bool> inTick{false};
    DWORD workMs = 0;
    // Set by the owner once the timer is destroyed; a tick ending after that counts in lateTicks.
    std::atomic<bool>* gone = nullptr;
    std::atomic<int>* lateTicks = nullptr;
};

} // namespace

TEST_F(FakeApiTest, EveryEventIsKilledAndEveryPeriodRequestLoweredOnce)
{
    {
        CxMMTimer timer;
        EXPECT_TRUE(timer.Start(20, 2));
        EXPECT_TRUE(timer.IsRunning());
        EXPECT_EQ(20u, timer.Period());
        EXPECT_EQ(2u, timer.Resolution());
        ASSERT_TRUE(timer.Start(30, 3)); // a restart first ends the running event
        timer.Stop();
        timer.Stop();
        EXPECT_EQ(500u, timer.Period());
        EXPECT_EQ(50u, timer.Resolution());
        ASSERT_TRUE(timer.Start(40, 4)); // the destructor ends this one
    }
    // The period request is lowered with exactly the resolution it was raised with.
    EXPECT_EQ(Calls({"caps", "begin 2", "set 20 2 periodic", "kill 7", "end 2", "caps", "begin 3",
                     "set 30 3 periodic", "kill 8", "end 3", "caps", "begin 4", "set 40 4 periodic", "kill 9",
                     "end 4"}),
              FakeWinmm::calls);
}

TEST_F(FakeApiTest, AFailedStartLeavesNoEventAndNoRaisedPeriod)
{
    CxMMTimer timer;
    EXPECT_FALSE(timer.Start(500, 0));
    EXPECT_EQ(Calls({"caps"}), FakeWinmm::calls);
    FakeWinmm::maxPeriod = 100;
    EXPECT_FALSE(timer.Start(500, 101));
    FakeWinmm::calls.clear();
    FakeWinmm::capsResult = TIMERR_NOCANDO; // a failed caps query still starts
    EXPECT_TRUE(timer.Start(100, 0));
    timer.Stop();
    FakeWinmm::calls.clear();
    FakeWinmm::beginResult = TIMERR_NOCANDO;
    EXPECT_FALSE(timer.Start(100, 5));
    EXPECT_EQ(Calls({"caps", "begin 5"}), FakeWinmm::calls);
    EXPECT_FALSE(timer.IsRunning());
    FakeWinmm::beginResult = TIMERR_NOERROR;
    FakeWinmm::nextId = 0; // no event: the raised period is lowered again at once
    EXPECT_FALSE(timer.Start(100, 6));
    timer.Stop();
    EXPECT_EQ(Calls({"caps", "begin 5", "caps", "begin 6", "set 100 6 periodic", "end 6"}), FakeWinmm::calls);
}

TEST(MMTimerTest, RealTimerTicksAtItsPeriodOnAnotherThreadAndARestartLeavesOnlyTheNewPeriod)
{
    struct ThreadTimer : CxMMTimer {
        ~ThreadTimer() override { Stop(); }
        int OnTimer() override
        {
            thread.store(GetCurrentThreadId());
            ticks.fetch_add(1);
            return 0;
        }
        std::atomic<DWORD> thread{0};
        std::atomic<int> ticks{0};
    } timer;
    ASSERT_TRUE(timer.Start(10, 1));
    Sleep(500);
    int ticks = timer.ticks.load();
    // Loose bounds: only that it is periodic, not how precise.
    EXPECT_GT(ticks, 20);
    EXPECT_LT(ticks, 80);
    EXPECT_NE(0u, timer.thread.load());
    EXPECT_NE(GetCurrentThreadId(), timer.thread.load());
    ASSERT_TRUE(timer.Start(100, 1));
    int before = timer.ticks.load();
    Sleep(350);
    EXPECT_LE(timer.ticks.load() - before, 6); // the first 10 ms event would have added about 35
    timer.Stop();
    ticks = timer.ticks.load();
    Sleep(100);
    EXPECT_EQ(ticks, timer.ticks.load());
}

namespace {
// A timer thread of our own whose kill only asks it to end and returns at once, also while a tick
// runs (Wine's synchronous kill would wait for that tick and hide whether Stop does).
struct AsyncWinmm {
    static std::atomic<bool> killed;
    static std::atomic<int> callbacks;
    static HANDLE thread;
    static LPTIMECALLBACK callback;
    static DWORD_PTR user;
    static UINT delay, killedId;

    static DWORD WINAPI Run(void*)
    {
        while (!killed.load()) {
            callbacks.fetch_add(1);
            callback(7, 0, user, 0, 0);
            Sleep(delay);
        }
        return 0;
    }
    static MMRESULT WINAPI GetDevCaps(LPTIMECAPS caps, UINT)
    {
        caps->wPeriodMin = 1;
        caps->wPeriodMax = 1000000;
        return TIMERR_NOERROR;
    }
    static MMRESULT WINAPI Period(UINT) { return TIMERR_NOERROR; }
    static MMRESULT WINAPI Set(UINT d, UINT, LPTIMECALLBACK proc, DWORD_PTR u, UINT)
    {
        delay = d;
        callback = proc;
        user = u;
        thread = CreateThread(nullptr, 0, &Run, nullptr, 0, nullptr);
        return 7;
    }
    static MMRESULT WINAPI Kill(UINT id)
    {
        killedId = id;
        killed.store(true);
        return TIMERR_NOERROR;
    }
};
std::atomic<bool> AsyncWinmm::killed;
std::atomic<int> AsyncWinmm::callbacks;
HANDLE AsyncWinmm::thread;
LPTIMECALLBACK AsyncWinmm::callback;
DWORD_PTR AsyncWinmm::user;
UINT AsyncWinmm::delay, AsyncWinmm::killedId;

const MMTimerApi kAsyncApi = {&AsyncWinmm::GetDevCaps, &AsyncWinmm::Period, &AsyncWinmm::Period, &AsyncWinmm::Set,
                              &AsyncWinmm::Kill};

struct AsyncKillTest : testing::Test {
    void SetUp() override
    {
        AsyncWinmm::killed = false;
        AsyncWinmm::callbacks = 0;
        AsyncWinmm::thread = nullptr;
        AsyncWinmm::killedId = 0;
        CxMMTimer::SetApi(&kAsyncApi);
    }
    void TearDown() override
    {
        // Whatever Stop did, the timer thread ends before the test's timer is gone.
        AsyncWinmm::killed.store(true);
        if (AsyncWinmm::thread) {
            WaitForSingleObject(AsyncWinmm::thread, INFINITE);
            CloseHandle(AsyncWinmm::thread);
        }
        CxMMTimer::SetApi(nullptr);
    }
};
} // namespace

TEST_F(AsyncKillTest, StopWaitsForATickInProgressAndNoTickFollows)
{
    CountingTimer timer;
    timer.workMs = 100;
    ASSERT_TRUE(timer.Start(5, 1));
    for (int waited = 0; !timer.inTick.load() && waited < 2000; ++waited) Sleep(1);
    ASSERT_TRUE(timer.inTick.load());
    timer.Stop();
    EXPECT_FALSE(timer.inTick.load()); // the tick that was running has finished before Stop returned
    EXPECT_EQ(7u, AsyncWinmm::killedId);
    // The event is gone: its thread ends after that tick and calls nothing more.
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(AsyncWinmm::thread, 1000));
    EXPECT_EQ(1, AsyncWinmm::callbacks.load());
    EXPECT_EQ(1, timer.ticks.load());
}

TEST(MMTimerTest, ManyTimersStartedAndDestroyedWhileTicking)
{
    // Each timer's record outlives it: a tick that ends after its timer was destroyed is counted.
    std::atomic<int> lateTicks{0};
    for (int round = 0; round < 20; ++round) {
        std::vector<CountingTimer*> timers;
        std::vector<std::atomic<bool>> gone(5);
        for (int i = 0; i < 5; ++i) {
            timers.push_back(new CountingTimer);
            timers.back()->workMs = 2;
            timers.back()->gone = &gone[i];
            timers.back()->lateTicks = &lateTicks;
            ASSERT_TRUE(timers.back()->Start(1, 1));
        }
        Sleep(5);
        for (int i = 0; i < 5; ++i) {
            delete timers[i];
            gone[i] = true;
        }
        Sleep(10);
    }
    EXPECT_EQ(0, lateTicks.load());
}
