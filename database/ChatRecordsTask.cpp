#include "database/ChatRecordsTask.h"

#include "database/SqliteMgr.h"

CChatRecordsTask::CChatRecordsTask(HWND mainWindow, IDBMgr* database, DWORD swapPeriodMs, TickSource clock)
    : m_mainWindow(mainWindow),
      m_database(database ? database : CSqliteMgr::GetInstance()),
      m_period(swapPeriodMs ? swapPeriodMs : kSwapPeriodMs),
      m_clock(clock),
      m_stopEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    InitializeCriticalSection(&m_lockA);
    InitializeCriticalSection(&m_lockB);
}

CChatRecordsTask::~CChatRecordsTask()
{
    RequestStop();
    if (m_thread && GetCurrentThreadId() != m_threadId) {
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    DrainAll(); // a task that never ran still owes its records to the database
    DeleteCriticalSection(&m_lockA);
    DeleteCriticalSection(&m_lockB);
    if (m_stopEvent) CloseHandle(m_stopEvent);
}

void CChatRecordsTask::RequestStop()
{
    m_stop = 1;
    if (m_stopEvent) SetEvent(m_stopEvent);
}

void CChatRecordsTask::AddRecord(ChatRecord record)
{
    // The selector is read again under the list's lock: a list is never appended to once it has been
    // swapped out, so records reach the database in the order they were shown.
    for (;;) {
        bool fillA = m_fillA != 0;
        CRITICAL_SECTION& lock = fillA ? m_lockA : m_lockB;
        EnterCriticalSection(&lock);
        if ((m_fillA != 0) == fillA) {
            (fillA ? m_listA : m_listB).push_back(std::move(record));
            LeaveCriticalSection(&lock);
            return;
        }
        LeaveCriticalSection(&lock);
    }
}

ChatRecordList CChatRecordsTask::TakeList(bool listA)
{
    ChatRecordList taken;
    CRITICAL_SECTION& lock = listA ? m_lockA : m_lockB;
    EnterCriticalSection(&lock);
    taken.splice(taken.end(), listA ? m_listA : m_listB);
    LeaveCriticalSection(&lock);
    return taken;
}

void CChatRecordsTask::Write(ChatRecordList batch)
{
    if (batch.empty()) return;
    ++m_batches;
    // A failed batch is logged by the database and dropped: keeping it would retry a bad row forever.
    m_database->InsertMsgInfoBatch(std::move(batch));
}

void CChatRecordsTask::DrainIdleList() { Write(TakeList(!m_fillA)); }

void CChatRecordsTask::DrainAll()
{
    bool fillA = m_fillA != 0;
    ChatRecordList batch = TakeList(!fillA);
    batch.splice(batch.end(), TakeList(fillA));
    Write(std::move(batch));
}

void CChatRecordsTask::Run()
{
    m_lastSwap = Now();
    while (!m_stop) {
        DrainIdleList();
        if (m_stop) break;
        m_lastCheck = Now();
        DWORD elapsed = m_lastCheck - m_lastSwap; // unsigned: the tick count's wrap-around is harmless
        if (elapsed >= m_period) {
            m_fillA = m_fillA ? 0 : 1;
            m_lastSwap = Now();
            continue; // drain the list just swapped out at once
        }
        // Sleep until the period ends, but wake at once for a stop.
        WaitForSingleObject(m_stopEvent, m_period - elapsed);
    }
    DrainAll();
}
