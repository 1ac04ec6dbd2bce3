#include "tests/protocol/FailingAllocations.h"

#include <windows.h>
#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// No thread-local storage here: its first use on a thread may itself allocate.
std::atomic<DWORD> g_thread{0};
std::atomic<int> g_countdown{0};
std::atomic<bool> g_failed{false};
std::atomic<DWORD> g_counted{0};
std::atomic<long> g_balance{0};

void Free(void* p)
{
    if (p && g_counted.load() == GetCurrentThreadId()) --g_balance;
    std::free(p);
}

void* Allocate(size_t n)
{
    if (g_thread.load() == GetCurrentThreadId() && g_countdown.load() > 0 && --g_countdown == 0) {
        g_failed = true;
        throw std::bad_alloc();
    }
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    if (g_counted.load() == GetCurrentThreadId()) ++g_balance;
    return p;
}

} // namespace

void FailAllocation(int n)
{
    g_failed = false;
    g_countdown = n;
    g_thread = n > 0 ? GetCurrentThreadId() : 0;
}

bool AllocationFailed() { return g_failed.load(); }

void CountAllocations(bool on)
{
    g_balance = 0;
    g_counted = on ? GetCurrentThreadId() : 0;
}

long AllocationBalance() { return g_balance.load(); }

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
    try {
        return Allocate(n);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
void operator delete(void* p) noexcept { Free(p); }
void operator delete[](void* p) noexcept { Free(p); }
void operator delete(void* p, size_t) noexcept { Free(p); }
void operator delete[](void* p, size_t) noexcept { Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Free(p); }
