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
        ticks.fetch_add(1);
        if (workMs) Sleep(workMs);
        lastTickEnd.store(GetTickCount());
        return 0;
    }
    std::atomic<int> ticks{0};
    std::atomic<DWORD> lastTickEnd{0};
    DWORD workMs = 0;
};

} // namespace

TEST_F(FakeApiTest, StartAsksCapsThenBeginsThenSetsAPeriodicEvent)
{
    CxMMTimer timer;
    EXPECT_TRUE(timer.Start(20, 1));
    EXPECT_EQ(Calls({"caps", "begin 1", "set 20 1 periodic"}), FakeWinmm::calls);
    EXPECT_TRUE(timer.IsRunning());
    EXPECT_EQ(20u, timer.Period());
    EXPECT_EQ(1u, timer.Resolution());
    FakeWinmm::calls.clear();
    timer.Stop();
    // The period request is lowered with exactly the resolution it was raised with.
    EXPECT_EQ(Calls({"kill 7", "end 1"}), FakeWinmm::calls);
}

TEST_F(FakeApiTest, ResolutionOutsideTheDeviceRangeFailsBeforeAnyTimerCall)
{
    CxMMTimer timer;
    EXPECT_FALSE(timer.Start(500, 0));
    EXPECT_EQ(Calls({"caps"}), FakeWinmm::calls);
    FakeWinmm::maxPeriod = 100;
    EXPECT_FALSE(timer.Start(500, 101));
    EXPECT_FALSE(timer.IsRunning());
}

TEST_F(FakeApiTest, FailedCapsQueryStillStartsAndFailedBeginDoesNot)
{
    CxMMTimer timer;
    FakeWinmm::capsResult = TIMERR_NOCANDO;
    EXPECT_TRUE(timer.Start(100, 0));
    timer.Stop();
    FakeWinmm::calls.clear();
    FakeWinmm::beginResult = TIMERR_NOCANDO;
    EXPECT_FALSE(timer.Start(100, 5));
    EXPECT_EQ(Calls({"caps", "begin 5"}), FakeWinmm::calls);
    EXPECT_FALSE(timer.IsRunning());
}

TEST_F(FakeApiTest, StopTwiceIsHarmlessAndRestoresTheDefaults)
{
    CxMMTimer timer;
    ASSERT_TRUE(timer.Start(20, 2));
    timer.Stop();
    timer.Stop();
    EXPECT_EQ(Calls({"caps", "begin 2", "set 20 2 periodic", "kill 7", "end 2"}), FakeWinmm::calls);
    EXPECT_EQ(500u, timer.Period());
    EXPECT_EQ(50u, timer.Resolution());
    CxMMTimer never;
    never.Stop();
    EXPECT_EQ(500u, never.Period());
    EXPECT_EQ(50u, never.Resolution());
}

TEST_F(FakeApiTest, StartOnARunningTimerKillsTheFirstEvent)
{
    CxMMTimer timer;
    ASSERT_TRUE(timer.Start(20, 2));
    ASSERT_TRUE(timer.Start(30, 3));
    EXPECT_EQ(Calls({"caps", "begin 2", "set 20 2 periodic", "kill 7", "end 2", "caps", "begin 3",
                     "set 30 3 periodic"}),
              FakeWinmm::calls);
    FakeWinmm::calls.clear();
}

TEST_F(FakeApiTest, DestructionKillsTheEvent)
{
    {
        CxMMTimer timer;
        ASSERT_TRUE(timer.Start(20, 2));
    }
    EXPECT_EQ("kill 7", FakeWinmm::calls.at(3));
    EXPECT_EQ("end 2", FakeWinmm::calls.at(4));
}

TEST(MMTimerTest, BaseOnTimerAnswersMinusOne)
{
    CxMMTimer timer;
    EXPECT_EQ(-1, timer.OnTimer());
}

TEST(MMTimerTest, RealTimerTicksAtItsPeriodOnAnotherThread)
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
    timer.Stop();
    int ticks = timer.ticks.load();
    // Loose bounds: only that it is periodic, not how precise.
    EXPECT_GT(ticks, 20);
    EXPECT_LT(ticks, 80);
    EXPECT_NE(0u, timer.thread.load());
    EXPECT_NE(GetCurrentThreadId(), timer.thread.load());
    Sleep(100);
    EXPECT_EQ(ticks, timer.ticks.load());
}

TEST(MMTimerTest, StopWaitsForATickInProgress)
{
    auto* timer = new CountingTimer;
    timer->workMs = 60;
    ASSERT_TRUE(timer->Start(5, 1));
    while (timer->ticks.load() == 0) Sleep(1);
    timer->Stop();
    DWORD stoppedAt = GetTickCount();
    int ticks = timer->ticks.load();
    // The tick that was running has finished before Stop returned.
    EXPECT_NE(0u, timer->lastTickEnd.load());
    EXPECT_LE(static_cast<LONG>(timer->lastTickEnd.load() - stoppedAt), 0);
    delete timer;
    Sleep(50);
    EXPECT_GE(ticks, 1);
}

TEST(MMTimerTest, RestartedRealTimerFiresOnlyAtTheNewPeriod)
{
    CountingTimer timer;
    ASSERT_TRUE(timer.Start(5, 1));
    Sleep(50);
    ASSERT_TRUE(timer.Start(100, 1));
    int before = timer.ticks.load();
    Sleep(350);
    int after = timer.ticks.load();
    timer.Stop();
    // The first 5 ms event would have added about 70 ticks.
    EXPECT_LE(after - before, 6);
}

TEST(MMTimerTest, ManyTimersStartedAndDestroyedWhileTicking)
{
    for (int round = 0; round < 20; ++round) {
        std::vector<CountingTimer*> timers;
        for (int i = 0; i < 5; ++i) {
            timers.push_back(new CountingTimer);
            ASSERT_TRUE(timers.back()->Start(1, 1));
        }
        Sleep(5);
        for (CountingTimer* t : timers) delete t;
    }
}
