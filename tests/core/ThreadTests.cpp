#include "core/Thread.h"

#include <gtest/gtest.h>
#include <atomic>

namespace {

// A worker that loops until asked to stop, the way the client's workers do.
class LoopingWorker : public CThread {
public:
    LoopingWorker() : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~LoopingWorker() override { CloseHandle(m_stop); }
    void RequestStop() override { SetEvent(m_stop); }
    void Run() override
    {
        runs++;
        while (WaitForSingleObject(m_stop, 5) == WAIT_TIMEOUT) loops++;
    }
    void Rearm() { ResetEvent(m_stop); }
    std::atomic<int> runs{0};
    std::atomic<int> loops{0};

private:
    HANDLE m_stop;
};

// A worker that ignores requests: only a forced end stops it.
class StubbornWorker : public CThread {
public:
    void Run() override
    {
        started = true;
        for (;;) Sleep(10);
    }
    std::atomic<bool> started{false};
};

} // namespace

TEST(CThread, StartsRunsStopsOnRequestAndStartsAgain)
{
    LoopingWorker worker;
    EXPECT_EQ(nullptr, worker.GetThreadHandle());
    EXPECT_TRUE(worker.Join(0)); // never started
    HANDLE handle = worker.Start();
    ASSERT_NE(nullptr, handle);
    EXPECT_NE(0u, worker.GetThreadId());
    EXPECT_FALSE(worker.Join(50));
    worker.RequestStop();
    EXPECT_TRUE(worker.Join(5000));
    DWORD code = 99;
    GetExitCodeThread(handle, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(1, worker.runs);
    worker.Rearm();
    ASSERT_NE(nullptr, worker.Start());
    EXPECT_FALSE(worker.Join(30));
    worker.RequestStop();
    EXPECT_TRUE(worker.Join(5000));
    EXPECT_EQ(2, worker.runs);
}

TEST(CThread, TheBaseRunsNothingAndStopsNothing)
{
    CThread plain; // the base's Run returns at once
    ASSERT_NE(nullptr, plain.Start());
    EXPECT_TRUE(plain.Join(5000));
    DWORD code = 99;
    GetExitCodeThread(plain.GetThreadHandle(), &code);
    EXPECT_EQ(0u, code);

    StubbornWorker worker;
    worker.Start();
    while (!worker.started) Sleep(1);
    worker.RequestStop(); // not overridden: the base does nothing
    EXPECT_FALSE(worker.Join(100)); // the bounded wait ends while the thread still runs
    GetExitCodeThread(worker.GetThreadHandle(), &code);
    EXPECT_EQ(STILL_ACTIVE, code);
    TerminateThread(worker.GetThreadHandle(), 1); // how the client's workers end one that hangs
    EXPECT_TRUE(worker.Join(5000));
}
