#include "classroom/RemotePaintStore.h"

#include <windows.h>

#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <tuple>
#include <unordered_map>

namespace {

// Stored drawings never change, so a read hands out the stored objects themselves: it copies pointers
// under the lock and no stroke at all, a long page never holds the writers back, and a removal frees a
// stroke only when the last surface showing it lets go.
using SharedPaint = std::shared_ptr<const PaintObject>;

struct StrokeItem {
    uint64_t seq = 0; // arrival position, shared with the pens
    SharedPaint object;
};

struct PenItem {
    uint64_t seq = 0;
    SharedPaint pen; // a pen object
};

// An own pen picked while own strokes were still on their way to the room: the room placed it after
// them, so it takes its place once that many more strokes of its owner have arrived.
struct PendingPen {
    uint64_t settlesAt = 0; // the owner's stroke count at which it settles
    uint64_t id = 0;        // orders the pending pens among themselves
    SharedPaint pen;
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

void StorePen(SharedPaint pen, uint32_t strokesBefore)
{
    StoreState& s = State();
    StoreState::Lock lock(s);
    OwnerPens& owner = s.pens[pen->ownerKey];
    if (strokesBefore == 0 && owner.pending.empty()) {
        owner.settled.push_back({s.nextSeq++, std::move(pen)});
    } else {
        // Behind the pens that wait already: the room saw them first.
        uint64_t at = owner.strokes + strokesBefore;
        if (!owner.pending.empty()) at = std::max(at, owner.pending.back().settlesAt);
        owner.pending.push_back({at, s.nextPendingId++, std::move(pen)});
    }
    ++s.count;
}

// What a reader copies under the lock: pointers and small values, no strokes.
struct PenOut {
    uint64_t seq;
    SharedPaint pen;
};

struct PageSnapshot {
    std::vector<StrokeItem> strokes;
    std::vector<PenOut> pens;
};

const uint64_t kPendingSeqBase = uint64_t(1) << 63;

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
            out.pens.push_back({after->seq, after->pen});
        }
    }
    // Each owner's latest pen: the own strokes drawn after the page was read take it.
    for (const auto& owner : s.pens) {
        if (!owner.second.pending.empty()) {
            const PendingPen& last = owner.second.pending.back();
            out.pens.push_back({kPendingSeqBase + last.id, last.pen});
        } else if (!owner.second.settled.empty()) {
            const PenItem& last = owner.second.settled.back();
            out.pens.push_back({last.seq, last.pen});
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
    StorePen(SharedPaint(entry.object.release()), strokesInFlight);
}

void RemotePaintStore::Add(const ReceivedPaintObject& received)
{
    RemotePaintEntry entry;
    if (!ConvertReceivedPaint(received, entry) || !entry.object) return;
    if (entry.object->type == ePaintObject_Pen) {
        if (entry.object->pen) StorePen(SharedPaint(entry.object.release()), 0);
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

bool RemotePaintStore::GetPage(uint8_t kind, uint64_t docId, uint16_t page, KeyedPaintObjects& objects)
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
    auto emit = [&](SharedPaint&& object) {
        uint32_t& key = ownerKeys[object->ownerKey];
        key = std::max(object->OrderKey(), key);
        objects.push_back({key, std::move(object)});
    };
    size_t pen = 0;
    for (StrokeItem& item : snapshot.strokes) {
        while (pen < snapshot.pens.size() && snapshot.pens[pen].seq < item.seq) emit(std::move(snapshot.pens[pen++].pen));
        emit(std::move(item.object));
    }
    while (pen < snapshot.pens.size()) emit(std::move(snapshot.pens[pen++].pen));
    return objects.size() > before;
}

size_t RemotePaintStore::Count()
{
    StoreState::Lock lock(State());
    return State().count;
}
