// Base of every worker thread: Start runs Run on a new thread; each worker brings its own stop.
#pragma once
#include <windows.h>

class CThread {
public:
    CThread() = default;
    // Closes the handle; it neither stops nor waits for the thread.
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Closes a previous handle, starts a new thread; answers its handle (0 on failure).
    virtual HANDLE Start();
    virtual void RequestStop() {}
    virtual void Run() {}

    HANDLE GetThreadHandle() const { return m_thread; }
    unsigned GetThreadId() const { return m_threadId; }
    // Waits for the thread to end; true when it ended (or never ran) within the time.
    bool Join(DWORD timeoutMs);

protected:
    // Set by workers whose thread must first enter a single-threaded COM apartment (the updater's).
    bool m_enterComApartment = false;
    HANDLE m_thread = nullptr;
    unsigned m_threadId = 0;

private:
    static unsigned __stdcall ThreadProc(void* self);
};
