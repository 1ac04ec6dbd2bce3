// Writes every shown chat message into MsgInfo off the UI thread: the UI thread appends to one list
// while the writer drains the other, swapping them every period.
#pragma once
#include "core/Thread.h"
#include "database/DbRecords.h"
#include <windows.h>
#include <atomic>

class IDBMgr;

class CChatRecordsTask : public CThread {
public:
    using TickSource = DWORD (*)();
    static const DWORD kSwapPeriodMs = 5000;

    // Without a database the process-wide manager is used; without a clock, GetTickCount.
    explicit CChatRecordsTask(HWND mainWindow, IDBMgr* database = nullptr, DWORD swapPeriodMs = kSwapPeriodMs,
                              TickSource clock = nullptr);
    // Stops the thread and waits for it; whatever is still queued is written first.
    ~CChatRecordsTask() override;

    void RequestStop() override;
    void Run() override;

    // UI thread: one list insertion under an uncontended lock, never a wait for the database.
    void AddRecord(ChatRecord record);

    HWND GetMainWindow() const { return m_mainWindow; }
    // Non-empty batches handed to the database so far.
    long BatchCount() const { return m_batches.load(); }

private:
    DWORD Now() const { return m_clock ? m_clock() : GetTickCount(); }
    ChatRecordList TakeList(bool listA);
    void Write(ChatRecordList batch);
    void DrainIdleList();
    // At stop: the list being drained first (the older records), then the one being filled.
    void DrainAll();

    std::atomic<uint8_t> m_stop{0};
    HWND m_mainWindow;
    ChatRecordList m_listA;
    ChatRecordList m_listB;
    std::atomic<uint8_t> m_fillA{1}; // 1 while list A is filled and list B drained
    DWORD m_lastSwap = 0;
    DWORD m_lastCheck = 0;
    CRITICAL_SECTION m_lockA;
    CRITICAL_SECTION m_lockB;

    IDBMgr* m_database;
    DWORD m_period;
    TickSource m_clock;
    HANDLE m_stopEvent;
    std::atomic<long> m_batches{0};
};
