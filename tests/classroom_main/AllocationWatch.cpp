// The test program's own operator new and delete, so that a test can tell whether the window freed
// each record posted to it.
#include "tests/classroom_main/AllocationWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

const size_t kSlots = 512;
std::atomic<const void*> g_slots[kSlots];
std::atomic<size_t> g_watching{0};

void Unwatch(void* p)
{
    if (!p || g_watching.load(std::memory_order_acquire) == 0) return;
    for (auto& slot : g_slots) {
        const void* expected = p;
        if (slot.compare_exchange_strong(expected, nullptr)) {
            g_watching.fetch_sub(1);
            return;
        }
    }
}

void* Allocate(size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

} // namespace

bool WatchRecord(const void* p)
{
    for (auto& slot : g_slots) {
        const void* expected = nullptr;
        if (slot.compare_exchange_strong(expected, p)) {
            g_watching.fetch_add(1);
            return true;
        }
    }
    return false;
}

size_t WatchedAlive()
{
    size_t alive = 0;
    for (auto& slot : g_slots) alive += slot.load() != nullptr;
    return alive;
}

void ForgetWatched()
{
    for (auto& slot : g_slots) slot.store(nullptr);
    g_watching.store(0);
}

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { Unwatch(p); std::free(p); }
void operator delete[](void* p) noexcept { Unwatch(p); std::free(p); }
void operator delete(void* p, size_t) noexcept { Unwatch(p); std::free(p); }
void operator delete[](void* p, size_t) noexcept { Unwatch(p); std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Unwatch(p); std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Unwatch(p); std::free(p); }
