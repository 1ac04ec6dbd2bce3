#include "classroom/RemotePaintStore.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>

namespace {

// A stored stroke is shared with the readers that copied it out: a reader takes the pointers under the
// lock and makes its deep copies after it, so a long page never holds the writers back, and a removal
// meanwhile frees the stroke only when the last reader lets go.
struct StrokeItem {
    uint64_t seq = 0; // arrival position, shared with the pens
    std::shared_ptr<const PaintObject> object;
};

struct PenItem {
    uint64_t seq = 0;
    PaintPen pen;
};

// An own pen picked while own strokes were still on their way to the room: the room placed it after
// them, so it takes its place once that many more strokes of its owner have arrived.
struct PendingPen {
    uint64_t settlesAt = 0; // the owner's stroke count at which it settles
    uint64_t id = 0;        // orders the pending pens among themselves
    PaintPen pen;
};

struct OwnerPens {
    std::vector<PenItem> settled; // ascending seq
    std::deque<PendingPen> pending;
    uint64_t strokes = 0; // strokes of this owner stored so far
};

struct PageKey {
    uint8_t kind;
    uint64_t docId;
    uint16_t page;
    bool operator<(const PageKey& other) const
    {
        return std::tie(kind, docId, page) < std::tie(other.kind, other.docId, other.page);
    }
};

using PageStrokes = std::deque<StrokeItem>;

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

    // Strokes by page, each page in arrival order; pens by owner.
    std::map<PageKey, PageStrokes> pages;
    std::unordered_map<int32_t, OwnerPens> pens;
    uint64_t nextSeq = 1;
    uint64_t nextPendingId = 1;
    size_t count = 0;

private:
    CRITICAL_SECTION m_lock;
};

// Made on first use and alive to the end of the process, so a late caller never meets a deleted lock.
StoreState& State()
{
    static StoreState state;
    return state;
}

void SettlePens(StoreState& s, OwnerPens& owner)
{
    while (!owner.pending.empty() && owner.pending.front().settlesAt <= owner.strokes) {
        owner.settled.push_back({s.nextSeq++, owner.pending.front().pen});
        owner.pending.pop_front();
    }
}

void StorePen(int32_t ownerKey, const PaintPen& pen, uint32_t strokesBefore)
{
    StoreState& s = State();
    StoreState::Lock lock(s);
    OwnerPens& owner = s.pens[ownerKey];
    if (strokesBefore == 0 && owner.pending.empty()) {
        owner.settled.push_back({s.nextSeq++, pen});
    } else {
        // Behind the pens that wait already: the room saw them first.
        uint64_t at = owner.strokes + strokesBefore;
        if (!owner.pending.empty()) at = std::max(at, owner.pending.back().settlesAt);
        owner.pending.push_back({at, s.nextPendingId++, pen});
    }
    ++s.count;
}

// What a reader copies under the lock: pointers and small values, no strokes.
struct PenOut {
    uint64_t seq;
    int32_t owner;
    PaintPen pen;
};

struct PageSnapshot {
    std::vector<StrokeItem> strokes;
    std::vector<PenOut> pens;
};

const uint64_t kPendingSeqBase = uint64_t(1) << 63;

// Wine's heap gives the free end of the heap back to the system as soon as the last block there is
// freed, and the next read that grows into it page-faults on every page again: at 16,000 strokes that
// was most of a read's cost. A block kept alive after the copies of a large read keeps their memory
// committed for the next one whenever the heap places it above them (it has no hole of that size
// further down); otherwise it costs one small block.
const size_t kHeapKeeperBytes = 16 * 1024;
std::atomic<void*> g_heapKeeper{nullptr};

void KeepHeapCommitted(size_t bytesHandedOut)
{
    if (bytesHandedOut < kHeapKeeperBytes) return;
    void* keeper = std::malloc(kHeapKeeperBytes);
    std::free(g_heapKeeper.exchange(keeper));
}

void TakeSnapshot(uint8_t kind, uint64_t docId, uint16_t page, PageSnapshot& out)
{
    StoreState& s = State();
    StoreState::Lock lock(s);
    auto found = s.pages.find(PageKey{kind, docId, page});
    const size_t strokes = found != s.pages.end() ? found->second.size() : 0;
    // One reservation each: the pens a page needs are at most one before each stroke and each owner's
    // latest.
    out.strokes.reserve(strokes);
    out.pens.reserve(strokes + s.pens.size());
    if (found != s.pages.end()) {
        for (const StrokeItem& item : found->second) {
            out.strokes.push_back(item);
            // The pen the owner had when the stroke arrived; the same pen is listed once per stroke
            // here and made unique after the lock.
            auto owner = s.pens.find(item.object->ownerKey);
            if (owner == s.pens.end()) continue;
            const std::vector<PenItem>& settled = owner->second.settled;
            auto after = std::upper_bound(settled.begin(), settled.end(), item.seq,
                                          [](uint64_t seq, const PenItem& pen) { return seq < pen.seq; });
            if (after == settled.begin()) continue;
            --after;
            if (!out.pens.empty() && out.pens.back().seq == after->seq) continue;
            out.pens.push_back({after->seq, owner->first, after->pen});
        }
    }
    // Each owner's latest pen: the own strokes drawn after the page was read take it.
    for (const auto& owner : s.pens) {
        if (!owner.second.pending.empty()) {
            const PendingPen& last = owner.second.pending.back();
            out.pens.push_back({kPendingSeqBase + last.id, owner.first, last.pen});
        } else if (!owner.second.settled.empty()) {
            const PenItem& last = owner.second.settled.back();
            out.pens.push_back({last.seq, owner.first, last.pen});
        }
    }
}

} // namespace

void RemotePaintStore::Init()
{
    ClearAll();
}

void RemotePaintStore::Shutdown()
{
    ClearAll();
    std::free(g_heapKeeper.exchange(nullptr));
}

void RemotePaintStore::ClearAll()
{
    std::map<PageKey, PageStrokes> droppedPages;
    std::unordered_map<int32_t, OwnerPens> droppedPens;
    StoreState& s = State();
    StoreState::Lock lock(s);
    droppedPages.swap(s.pages);
    droppedPens.swap(s.pens);
    s.count = 0;
    // The guard, declared last, is left first: the dropped drawings are freed outside the lock.
}

void RemotePaintStore::AddOwnPen(const ReceivedPaintObject& pen, uint32_t strokesInFlight)
{
    RemotePaintEntry entry;
    if (!ConvertReceivedPaint(pen, entry) || !entry.object || !entry.object->pen) return;
    StorePen(entry.object->ownerKey, *entry.object->pen, strokesInFlight);
}

void RemotePaintStore::Add(const ReceivedPaintObject& received)
{
    RemotePaintEntry entry;
    if (!ConvertReceivedPaint(received, entry) || !entry.object) return;
    if (entry.object->type == ePaintObject_Pen) {
        if (entry.object->pen) StorePen(entry.object->ownerKey, *entry.object->pen, 0);
        return;
    }
    StrokeItem item;
    item.object.reset(entry.object.release());
    const int32_t ownerKey = item.object->ownerKey;
    StoreState& s = State();
    StoreState::Lock lock(s);
    item.seq = s.nextSeq++;
    s.pages[PageKey{entry.kind, entry.docId, entry.page}].push_back(std::move(item));
    ++s.count;
    OwnerPens& owner = s.pens[ownerKey];
    ++owner.strokes;
    SettlePens(s, owner);
}

void RemotePaintStore::AddObjects(const std::vector<ReceivedPaintObject*>& received)
{
    for (const ReceivedPaintObject* object : received)
        if (object) Add(*object);
}

void RemotePaintStore::RemoveObject(uint8_t kind, uint64_t docId, uint16_t page, uint32_t orderKey)
{
    if (orderKey == 0 || page == 0) return;
    std::shared_ptr<const PaintObject> dropped; // freed after the lock
    StoreState& s = State();
    StoreState::Lock lock(s);
    auto found = s.pages.find(PageKey{kind, docId, page});
    if (found == s.pages.end()) return;
    PageStrokes& strokes = found->second;
    for (auto it = strokes.begin(); it != strokes.end(); ++it) {
        if (it->object->stroke && it->object->stroke->orderKey == orderKey) {
            dropped = std::move(it->object);
            strokes.erase(it);
            --s.count;
            break;
        }
    }
    if (strokes.empty()) s.pages.erase(found);
}

void RemotePaintStore::ClearPage(uint8_t kind, uint64_t docId, uint16_t page)
{
    if (page == 0) return;
    PageStrokes dropped;
    StoreState& s = State();
    StoreState::Lock lock(s);
    auto found = s.pages.find(PageKey{kind, docId, page});
    if (found == s.pages.end()) return;
    dropped.swap(found->second);
    s.count -= dropped.size();
    s.pages.erase(found);
}

void RemotePaintStore::ClearDocument(uint8_t kind, uint64_t docId)
{
    std::vector<PageStrokes> dropped;
    std::unordered_map<int32_t, OwnerPens> droppedPens;
    StoreState& s = State();
    StoreState::Lock lock(s);
    auto first = s.pages.lower_bound(PageKey{kind, docId, 0});
    auto last = s.pages.upper_bound(PageKey{kind, docId, 0xFFFF});
    for (auto it = first; it != last; ++it) {
        s.count -= it->second.size();
        dropped.push_back(std::move(it->second));
    }
    s.pages.erase(first, last);
    // Pens are stored with kind 1 and document 0.
    if (kind == eRemotePaint_Pen && docId == 0) {
        for (const auto& owner : s.pens) s.count -= owner.second.settled.size() + owner.second.pending.size();
        droppedPens.swap(s.pens);
    }
}

bool RemotePaintStore::GetPage(uint8_t kind, uint64_t docId, uint16_t page, std::vector<PaintObject*>& objects)
{
    PageSnapshot snapshot;
    TakeSnapshot(kind, docId, page, snapshot);
    std::sort(snapshot.pens.begin(), snapshot.pens.end(),
              [](const PenOut& a, const PenOut& b) { return a.seq < b.seq; });
    snapshot.pens.erase(std::unique(snapshot.pens.begin(), snapshot.pens.end(),
                                    [](const PenOut& a, const PenOut& b) { return a.seq == b.seq; }),
                        snapshot.pens.end());

    // Pens and strokes in arrival order. Surfaces paint in key order, and the room keys strokes from
    // another counter than the clients key their pens: each owner's keys are raised to rise along its
    // arrival order, so a stroke never sorts before the pen its owner had when it arrived, nor after one
    // the owner chose later.
    std::unordered_map<int32_t, uint32_t> ownerKeys;
    objects.reserve(objects.size() + snapshot.strokes.size() + snapshot.pens.size());
    const size_t before = objects.size();
    size_t pen = 0;
    auto emitPen = [&](const PenOut& out) {
        uint32_t& key = ownerKeys[out.owner];
        PaintPen copy = out.pen;
        copy.orderKey = std::max(copy.orderKey, key);
        key = copy.orderKey;
        objects.push_back(PaintObject::NewPen(out.owner, copy));
    };
    size_t bytes = 0;
    for (const StrokeItem& item : snapshot.strokes) {
        while (pen < snapshot.pens.size() && snapshot.pens[pen].seq < item.seq) emitPen(snapshot.pens[pen++]);
        auto* copy = new PaintObject(*item.object);
        bytes += sizeof(PaintObject) + sizeof(PaintStroke) + copy->stroke->points.size() * sizeof(PaintPoint);
        uint32_t& key = ownerKeys[copy->ownerKey];
        copy->stroke->orderKey = std::max(copy->stroke->orderKey, key);
        key = copy->stroke->orderKey;
        objects.push_back(copy);
    }
    while (pen < snapshot.pens.size()) emitPen(snapshot.pens[pen++]);
    KeepHeapCommitted(bytes);
    return objects.size() > before;
}

size_t RemotePaintStore::Count()
{
    StoreState::Lock lock(State());
    return State().count;
}
