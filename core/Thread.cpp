#include "core/Thread.h"

#include <objbase.h>
#include <process.h>

CThread::~CThread()
{
    if (m_thread) CloseHandle(m_thread);
}

unsigned __stdcall CThread::ThreadProc(void* self)
{
    CThread* thread = static_cast<CThread*>(self);
    // The apartment is never left: the thread ends right after Run.
    if (thread->m_enterComApartment) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    thread->Run();
    _endthreadex(0);
    return 0;
}

HANDLE CThread::Start()
{
    if (m_thread) {
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    uintptr_t handle = _beginthreadex(nullptr, 0, &CThread::ThreadProc, this, 0, &m_threadId);
    m_thread = reinterpret_cast<HANDLE>(handle);
    return m_thread;
}

bool CThread::Join(DWORD timeoutMs)
{
    if (!m_thread) return true;
    return WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
}
