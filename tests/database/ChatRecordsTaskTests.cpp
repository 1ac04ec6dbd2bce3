// The chat-record writer: batches per period, order, a prompt stop that loses nothing.
#include "tests/database/DbTestSupport.h"

#include "database/ChatRecordsTask.h"

#include <gtest/gtest.h>
#include <atomic>
#include <memory>
#include <mutex>

namespace {

// A real database that also notes the size of every batch it is handed.
class RecordingMgr : public CSqliteMgr {
public:
    explicit RecordingMgr(const CString& folder) : CSqliteMgr(folder) {}
    bool InsertMsgInfoBatch(ChatRecordList records) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sizes.push_back(records.size());
        }
        return CSqliteMgr::InsertMsgInfoBatch(std::move(records));
    }
    std::vector<size_t> Sizes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sizes;
    }

private:
    std::mutex m_mutex;
    std::vector<size_t> m_sizes;
};

struct WriterFixture : testing::Test {
    TempFolder folder{L"task"};
    RecordingMgr db{folder.Path()};
    void SetUp() override { ASSERT_TRUE(db.Init(1)); }
};

std::atomic<DWORD> g_fakeTicks{0};
DWORD FakeTicks() { return g_fakeTicks.load(); }

} // namespace

TEST_F(WriterFixture, MessagesOfOnePeriodAreOneBatchInTheOrderShown)
{
    CChatRecordsTask task(nullptr, &db, 400);
    for (int i = 0; i < 10; ++i) task.AddRecord(MakeChat(i)); // before the start: surely one period
    ASSERT_NE(task.Start(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return db.GetMsgCount(7) == 10; }, 5000));
    EXPECT_EQ(db.Sizes(), std::vector<size_t>{10});
    ExpectNumberedRows(db, 7, 10);

    task.AddRecord(MakeChat(10)); // alone in its period: the single-row insert
    ASSERT_TRUE(WaitUntil([&] { return db.GetMsgCount(7) == 11; }, 5000));
    EXPECT_EQ(db.Sizes(), (std::vector<size_t>{10, 1}));
}

TEST_F(WriterFixture, AnIdleWriterWritesNothingAndSleeps)
{
    CChatRecordsTask task(nullptr, &db, 50);
    ASSERT_NE(task.Start(), nullptr);
    Sleep(1000);
    EXPECT_EQ(task.BatchCount(), 0);
    EXPECT_TRUE(db.Sizes().empty());
    FILETIME created, exited, kernel, user;
    ASSERT_TRUE(GetThreadTimes(task.GetThreadHandle(), &created, &exited, &kernel, &user));
    ULONGLONG busy100ns = (static_cast<ULONGLONG>(user.dwHighDateTime) << 32 | user.dwLowDateTime) +
                          (static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime);
    EXPECT_LT(busy100ns, 3000000ull) << "the writer loop spins"; // well under 300 ms of a 1000 ms wait
}

TEST_F(WriterFixture, StoppingWithAThousandQueuedWritesAThousand)
{
    DWORD took;
    {
        CChatRecordsTask task(nullptr, &db); // the client's 5000 ms period
        ASSERT_NE(task.Start(), nullptr);
        Sleep(50);
        for (int i = 0; i < 1000; ++i) task.AddRecord(MakeChat(i));
        DWORD start = GetTickCount();
        task.RequestStop();
        ASSERT_TRUE(task.Join(10000));
        took = GetTickCount() - start;
    }
    EXPECT_LT(took, 4000u) << "the stop waited for the period";
    ExpectNumberedRows(db, 7, 1000);
}

TEST_F(WriterFixture, WhatTheTaskHoldsWhenItIsDeletedIsStored)
{
    {
        CChatRecordsTask task(nullptr, &db);
        for (int i = 0; i < 3; ++i) task.AddRecord(MakeChat(i)); // a task that never ran
    }
    ExpectNumberedRows(db, 7, 3);
    {
        CChatRecordsTask task(nullptr, &db);
        ASSERT_NE(task.Start(), nullptr);
        task.AddRecord(MakeChat(3));
        Sleep(300); // well inside the first period
    } // the main window's destructor deletes the task
    ExpectNumberedRows(db, 7, 4);
}

TEST_F(WriterFixture, StoppingWhileBatchesAndUiSavesAreWrittenLosesNothing)
{
    const int count = 6000;
    {
        CChatRecordsTask task(nullptr, &db, 5);
        ASSERT_NE(task.Start(), nullptr);
        for (int i = 0; i < count; ++i) {
            task.AddRecord(MakeChat(i));
            if (i % 500 == 0) Sleep(3); // let swaps fall between appends
            if (i % 200 == 0) {
                ParamList pages;
                pages.pageCount = 1;
                pages.values = {L"p.jpg"};
                EXPECT_TRUE(db.SavePPTInfo(pages, static_cast<uint64_t>(i), 7, L"doc.ppt"));
                OptionSettings options;
                options.frameRate = i;
                EXPECT_TRUE(db.SaveOptionInfo(options));
            }
        }
    }
    ExpectNumberedRows(db, 7, count);
    EXPECT_GT(db.Sizes().size(), 1u);
}

TEST_F(WriterFixture, AFailedBatchDropsOnlyItsPeriod)
{
    {
        RawDb raw(db.GetPath());
        ASSERT_TRUE(raw.Exec("CREATE TRIGGER refuse BEFORE INSERT ON MsgInfo WHEN NEW.msg = 'refused' "
                             "BEGIN SELECT RAISE(FAIL, 'refused row'); END;"));
    }
    CChatRecordsTask task(nullptr, &db, 200);
    task.AddRecord(MakeChat(100));
    task.AddRecord(MakeChat(101, 7, L"refused"));
    task.AddRecord(MakeChat(102));
    ASSERT_NE(task.Start(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return task.BatchCount() == 1; }, 5000));
    EXPECT_EQ(db.GetMsgCount(7), 0);
    task.AddRecord(MakeChat(0));
    task.AddRecord(MakeChat(1));
    ASSERT_TRUE(WaitUntil([&] { return db.GetMsgCount(7) == 2; }, 5000));
    ExpectNumberedRows(db, 7, 2);
}

TEST_F(WriterFixture, TheInjectedClockDrivesTheSwapAcrossItsWrapAround)
{
    g_fakeTicks = 0xFFFFFF00u;
    CChatRecordsTask task(nullptr, &db, 200, &FakeTicks);
    ASSERT_NE(task.Start(), nullptr);
    Sleep(50);
    task.AddRecord(MakeChat(0));
    Sleep(600); // three real periods, but the clock stands still
    EXPECT_EQ(db.GetMsgCount(7), 0);
    g_fakeTicks = 0xFFFFFF00u + 300u; // wraps past zero: still 300 ms later
    ASSERT_TRUE(WaitUntil([&] { return db.GetMsgCount(7) == 1; }, 3000));
}
