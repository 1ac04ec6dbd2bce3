#include "classroom/RemotePaintStore.h"

#include <windows.h>

#include <list>
#include <map>

namespace {

class StoreState {
public:
    StoreState() { InitializeCriticalSection(&m_lock); }
    ~StoreState() { DeleteCriticalSection(&m_lock); }
    StoreState(const StoreState&) = delete;
    StoreState& operator=(const StoreState&) = delete;

    class Lock {
    public:
        explicit Lock(StoreState& s) : m_s(s) { EnterCriticalSection(&m_s.m_lock); }
        ~Lock() { LeaveCriticalSection(&m_s.m_lock); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        StoreState& m_s;
    };

    std::list<RemotePaintEntry> entries;

private:
    CRITICAL_SECTION m_lock;
};

// Made on first use and alive to the end of the process, so a late caller never meets a deleted lock.
StoreState& State()
{
    static StoreState state;
    return state;
}

bool MatchesKey(const RemotePaintEntry& entry, uint32_t orderKey)
{
    const PaintObject* object = entry.object.get();
    if (!object) return false;
    if (object->type == ePaintObject_Pen) return object->pen && object->pen->orderKey == orderKey;
    if (object->type == ePaintObject_Stroke) return object->stroke && object->stroke->orderKey == orderKey;
    return false;
}

} // namespace

void RemotePaintStore::Init()
{
    ClearAll();
}

void RemotePaintStore::Shutdown()
{
    ClearAll();
}

void RemotePaintStore::ClearAll()
{
    std::list<RemotePaintEntry> dropped;
    {
        StoreState::Lock lock(State());
        dropped.swap(State().entries);
    }
}

void RemotePaintStore::Add(const ReceivedPaintObject& received)
{
    RemotePaintEntry entry;
    if (!ConvertReceivedPaint(received, entry)) return;
    StoreState::Lock lock(State());
    State().entries.push_back(std::move(entry));
}

void RemotePaintStore::AddObjects(const std::vector<ReceivedPaintObject*>& received)
{
    for (const ReceivedPaintObject* object : received)
        if (object) Add(*object);
}

void RemotePaintStore::RemoveObject(uint8_t kind, uint64_t docId, uint16_t page, uint32_t orderKey)
{
    if (orderKey == 0 || page == 0) return;
    StoreState::Lock lock(State());
    auto& entries = State().entries;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->kind == kind && it->docId == docId && it->page == page && MatchesKey(*it, orderKey)) {
            entries.erase(it);
            return;
        }
    }
}

void RemotePaintStore::ClearPage(uint8_t kind, uint64_t docId, uint16_t page)
{
    if (page == 0) return;
    StoreState::Lock lock(State());
    State().entries.remove_if([&](const RemotePaintEntry& e) {
        return e.kind == kind && e.docId == docId && e.page == page;
    });
}

void RemotePaintStore::ClearDocument(uint8_t kind, uint64_t docId)
{
    StoreState::Lock lock(State());
    State().entries.remove_if([&](const RemotePaintEntry& e) { return e.kind == kind && e.docId == docId; });
}

bool RemotePaintStore::GetPage(uint8_t kind, uint64_t docId, uint16_t page, std::vector<PaintObject*>& objects)
{
    bool appended = false;
    // The key of each owner's latest pen so far, in arrival order.
    std::map<int32_t, uint32_t> penKeys;
    StoreState::Lock lock(State());
    for (const RemotePaintEntry& e : State().entries) {
        if (!e.object) continue;
        const bool isPen = e.kind == eRemotePaint_Pen && e.object->type == ePaintObject_Pen;
        if (isPen && e.object->pen) penKeys[e.object->ownerKey] = e.object->pen->orderKey;
        if (!isPen && !(e.kind == kind && e.docId == docId && e.page == page)) continue;
        auto* copy = new PaintObject(*e.object);
        // Surfaces paint in key order, and a room may key strokes from another counter than the
        // clients key their pens: a stroke never sorts before the pen its owner had when it arrived.
        auto pen = penKeys.find(copy->ownerKey);
        if (copy->stroke && pen != penKeys.end() && copy->stroke->orderKey < pen->second)
            copy->stroke->orderKey = pen->second;
        objects.push_back(copy);
        appended = true;
    }
    return appended;
}

size_t RemotePaintStore::Count()
{
    StoreState::Lock lock(State());
    return State().entries.size();
}
