// The drawing store: conversion of received pens and strokes, the per-page lists with the pens that paint them,
// removal and clearing by kind, document and page, and adds from several threads at once.
#include "classroom/RemotePaintStore.h"
#include "protocol/RoomRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <thread>

namespace {

ReceivedPaintObject* NewPen(uint32_t owner, uint8_t colourIndex, uint8_t width, uint8_t style, uint32_t key)
{
    auto* r = new ReceivedPaintObject;
    r->kind = ePaintSource_Pen;
    r->ownerId = owner;
    r->pen = new PenBody{colourIndex, width, style, key};
    return r;
}

ReceivedPaintObject* NewStroke(uint8_t kind, uint32_t owner, uint64_t doc, uint16_t page, uint32_t key,
                               uint16_t w = 640, uint16_t h = 480, std::vector<StrokePoint> points = {{320, 240}, {64, 48}})
{
    auto* r = new ReceivedPaintObject;
    r->kind = static_cast<uint8_t>(ePaintOp_AddStroke | kind);
    r->ownerId = owner;
    r->stroke = new StrokeRecord;
    r->stroke->head = StrokeHead{page, key, doc, 7, w, h};
    r->stroke->points = std::move(points);
    return r;
}

class PaintStore : public ::testing::Test {
protected:
    void SetUp() override { RemotePaintStore::Init(); }
    void TearDown() override
    {
        RemotePaintStore::Shutdown();
        page.clear();
    }
    void Add(ReceivedPaintObject* r)
    {
        RemotePaintStore::Add(*r);
        delete r;
    }
    // Keys of the page's objects, pens marked by adding 1000000.
    std::vector<uint32_t> Keys(uint8_t kind, uint64_t doc, uint16_t pageNo)
    {
        page.clear();
        RemotePaintStore::GetPage(kind, doc, pageNo, page);
        std::vector<uint32_t> keys;
        for (const KeyedPaintObject& o : page)
            keys.push_back(o.orderKey + (o.object->type == ePaintObject_Pen ? 1000000u : 0u));
        return keys;
    }
    // Colour and width of each stroke of the page read last, in the order a surface paints them: sorted
    // by key, each pen object setting its owner's pen for the strokes after it.
    std::vector<std::pair<uint32_t, int32_t>> Painted(std::map<int32_t, PaintPen>* latest = nullptr) const
    {
        KeyedPaintObjects sorted = page;
        SortPaintObjects(sorted);
        std::map<int32_t, PaintPen> pens;
        std::vector<std::pair<uint32_t, int32_t>> drawn;
        for (const KeyedPaintObject& keyed : sorted) {
            const PaintObject* o = keyed.object.get();
            if (o->type == ePaintObject_Pen) pens[o->ownerKey] = *o->pen;
            else drawn.push_back(pens.count(o->ownerKey) ? std::make_pair(pens[o->ownerKey].colour, pens[o->ownerKey].width)
                                                         : std::make_pair(0u, 0));
        }
        if (latest) *latest = pens;
        return drawn;
    }
    KeyedPaintObjects page;
};

} // namespace

TEST_F(PaintStore, PenColoursComeFromTheTableAndOthersAreBlack)
{
    const struct { uint8_t index; uint32_t colour; } table[] = {
        {0, 0xFF000000}, {1, 0xFFFF5522}, {2, 0xFFFFCC33}, {3, 0xFF33BB44},
        {4, 0xFF0099FF}, {5, 0xFF000000}, {6, 0xFF000000}, {255, 0xFF000000},
    };
    for (const auto& row : table) EXPECT_EQ(PenColourFromIndex(row.index), row.colour) << int(row.index);
    EXPECT_EQ(PenIndexFromColour(0xFF0099FF), 4);
    EXPECT_EQ(PenIndexFromColour(0xFF000000), 5);
    EXPECT_EQ(PenIndexFromColour(0xFF123456), 0);

    Add(NewPen(42, 3, 5, 2, 0x80000001u));
    Add(NewPen(43, 9, 1, 0, 2));
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    ASSERT_EQ(page.size(), 2u);
    const PaintObject& first = *page[0].object;
    EXPECT_EQ(first.type, ePaintObject_Pen);
    EXPECT_EQ(first.ownerKey, 42);
    ASSERT_TRUE(first.pen);
    EXPECT_EQ(first.pen->colour, 0xFF33BB44u);
    EXPECT_EQ(first.pen->width, 5);
    EXPECT_EQ(first.pen->style, 2);
    EXPECT_EQ(first.pen->orderKey, 0x80000001u);
    EXPECT_EQ(page[1].object->pen->colour, 0xFF000000u);
}

TEST_F(PaintStore, StrokesAreScaledToTheSendersSurfaceInReceivedOrder)
{
    // Coordinates are read unsigned: 0xFFFF on a 65535-wide surface is the right edge, not -1.
    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 2, 99, 640, 480,
                  {{320, 240}, {0, 0}, {640, 480}, {static_cast<int16_t>(-1), 120}}));
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 2, page));
    ASSERT_EQ(page.size(), 1u);
    const PaintObject& o = *page[0].object;
    EXPECT_EQ(o.type, ePaintObject_Stroke);
    EXPECT_EQ(o.ownerKey, 7);
    ASSERT_TRUE(o.stroke);
    EXPECT_EQ(o.stroke->tool, 7);
    EXPECT_EQ(o.stroke->orderKey, 99u);
    ASSERT_EQ(o.stroke->points.size(), 4u);
    EXPECT_EQ(o.stroke->points[0].x, 0.5f);
    EXPECT_EQ(o.stroke->points[0].y, 0.5f);
    EXPECT_EQ(o.stroke->points[1].x, 0.0f);
    EXPECT_EQ(o.stroke->points[2].x, 1.0f);
    EXPECT_EQ(o.stroke->points[2].y, 1.0f);
    EXPECT_EQ(o.stroke->points[3].x, 65535.0f / 640.0f);
    EXPECT_EQ(o.stroke->points[3].y, 0.25f);
}

TEST_F(PaintStore, UnusableDrawingsAreNotStored)
{
    Add(NewStroke(ePaintSource_Whiteboard, 1, 0, 1, 5, 0, 480));
    Add(NewStroke(ePaintSource_Document, 1, 9, 1, 6, 640, 0));
    auto* noBody = new ReceivedPaintObject;
    noBody->kind = ePaintSource_Pen;
    Add(noBody);
    auto* noStroke = new ReceivedPaintObject;
    noStroke->kind = ePaintOp_AddStroke | ePaintSource_Whiteboard;
    Add(noStroke);
    Add(NewStroke(0x05, 1, 0, 1, 8)); // no such target
    // A removal record carries only the first 14 bytes of the head: no surface size.
    auto* removal = NewStroke(ePaintSource_Whiteboard, 1, 0, 1, 9, 0, 0, {});
    removal->kind = ePaintOp_RemoveObject | ePaintSource_Whiteboard;
    Add(removal);
    EXPECT_EQ(RemotePaintStore::Count(), 0u);
    EXPECT_FALSE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    EXPECT_FALSE(RemotePaintStore::GetPage(eRemotePaint_Document, 9, 1, page));
    EXPECT_TRUE(page.empty());
}

TEST_F(PaintStore, APageHoldsItsStrokesWithThePensThatPaintThemWhateverTheHistory)
{
    std::vector<ReceivedPaintObject*> history = {
        NewPen(1, 1, 3, 0, 10),
        NewStroke(ePaintSource_Whiteboard, 1, 0, 1, 11),
        NewStroke(ePaintSource_Whiteboard, 2, 0, 2, 12),
        NewStroke(ePaintSource_Document, 1, 77, 1, 13),
        NewStroke(ePaintSource_Document, 1, 78, 1, 14),
        NewPen(1, 2, 3, 0, 15),
        NewStroke(ePaintSource_Whiteboard, 1, 0, 1, 16),
        nullptr,
    };
    RemotePaintStore::AddObjects(history);
    for (auto* r : history) delete r;

    // Each stroke comes with the pen its owner had, and every owner's latest pen comes last.
    EXPECT_EQ(Keys(eRemotePaint_Whiteboard, 0, 1), (std::vector<uint32_t>{1000010, 11, 1000015, 16}));
    EXPECT_EQ(Keys(eRemotePaint_Whiteboard, 0, 2), (std::vector<uint32_t>{12, 1000015}));
    EXPECT_EQ(Keys(eRemotePaint_Document, 77, 1), (std::vector<uint32_t>{1000010, 13, 1000015}));
    EXPECT_EQ(Keys(eRemotePaint_Document, 78, 1), (std::vector<uint32_t>{1000010, 14, 1000015}));
    // A page without strokes still answers the latest pens; the whiteboard's tab 1 is not document 77's
    // page 1.
    page.clear();
    EXPECT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 4, page));
    EXPECT_EQ(Keys(eRemotePaint_Document, 0, 1), (std::vector<uint32_t>{1000015}));

    // A long class: 29,000 pens of 30 owners. A page of one stroke gets that stroke and 30 pens, its
    // owner's the one it was drawn with.
    RemotePaintStore::ClearAll();
    for (uint32_t key = 1; key <= 29000; ++key) Add(NewPen(1 + key % 30, static_cast<uint8_t>(1 + key % 4), 3, 0, key));
    Add(NewStroke(ePaintSource_Whiteboard, 3, 0, 3, 29001));
    Add(NewPen(3, 4, 3, 0, 29002));
    page.clear();
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 3, page));
    EXPECT_EQ(page.size(), 32u);
    EXPECT_EQ(Painted(), (std::vector<std::pair<uint32_t, int32_t>>{{PenColourFromIndex(1 + 28982 % 4), 3}}));
}

TEST_F(PaintStore, RemovalAndClearingMatchKindDocumentAndPage)
{
    Add(NewPen(1, 1, 3, 0, 5));
    Add(NewStroke(ePaintSource_Whiteboard, 1, 0, 1, 5));
    Add(NewStroke(ePaintSource_Whiteboard, 2, 0, 1, 5)); // same key as the one before
    Add(NewStroke(ePaintSource_Whiteboard, 1, 0, 2, 6));
    Add(NewStroke(ePaintSource_Document, 1, 30, 1, 7));
    Add(NewStroke(ePaintSource_Document, 1, 30, 2, 8));
    Add(NewStroke(ePaintSource_Document, 1, 31, 1, 9));
    ASSERT_EQ(RemotePaintStore::Count(), 7u);

    RemotePaintStore::RemoveObject(eRemotePaint_Whiteboard, 0, 1, 0);
    RemotePaintStore::RemoveObject(eRemotePaint_Whiteboard, 0, 0, 5);
    RemotePaintStore::RemoveObject(eRemotePaint_Document, 0, 1, 5); // wrong kind
    RemotePaintStore::RemoveObject(eRemotePaint_Pen, 0, 0, 5);      // pens have page 0
    EXPECT_EQ(RemotePaintStore::Count(), 7u);

    RemotePaintStore::RemoveObject(eRemotePaint_Whiteboard, 0, 1, 5);
    page.clear();
    RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page);
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page[1].object->ownerKey, 2); // only the earlier of the two was removed

    RemotePaintStore::ClearPage(eRemotePaint_Whiteboard, 0, 0);
    EXPECT_EQ(RemotePaintStore::Count(), 6u);
    RemotePaintStore::ClearPage(eRemotePaint_Whiteboard, 0, 2);
    EXPECT_EQ(Keys(eRemotePaint_Whiteboard, 0, 2), (std::vector<uint32_t>{1000005}));
    EXPECT_EQ(Keys(eRemotePaint_Whiteboard, 0, 1), (std::vector<uint32_t>{1000005, 5}));

    RemotePaintStore::ClearDocument(eRemotePaint_Document, 30);
    EXPECT_EQ(Keys(eRemotePaint_Document, 30, 1), (std::vector<uint32_t>{1000005}));
    EXPECT_EQ(Keys(eRemotePaint_Document, 30, 2), (std::vector<uint32_t>{1000005}));
    EXPECT_EQ(Keys(eRemotePaint_Document, 31, 1), (std::vector<uint32_t>{1000005, 9}));
    EXPECT_EQ(RemotePaintStore::Count(), 3u);

    RemotePaintStore::ClearAll();
    EXPECT_EQ(RemotePaintStore::Count(), 0u);
}

TEST_F(PaintStore, ConcurrentAddsAndReadsLoseNothing)
{
    const int kThreads = 4;
    const uint32_t kPerThread = 500;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (uint32_t i = 1; i <= kPerThread; ++i) {
                const uint16_t pageNo = static_cast<uint16_t>(1 + i % 4);
                std::unique_ptr<ReceivedPaintObject> r(
                    NewStroke(ePaintSource_Whiteboard, static_cast<uint32_t>(t + 1), 0, pageNo, i));
                RemotePaintStore::Add(*r);
                if (i % 100 == 0) {
                    std::unique_ptr<ReceivedPaintObject> pen(NewPen(static_cast<uint32_t>(t + 1), 2, 3, 0, i));
                    RemotePaintStore::Add(*pen);
                }
            }
        });
    }
    // A reader meanwhile always sees whole entries in each owner's own order.
    bool ordered = true;
    std::thread reader([&] {
        for (int round = 0; round < 200; ++round) {
            KeyedPaintObjects seen;
            RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, seen);
            uint32_t last[kThreads + 1] = {};
            for (const KeyedPaintObject& keyed : seen) {
                const PaintObject* o = keyed.object.get();
                if (o->type != ePaintObject_Stroke) continue;
                if (!o->stroke || o->stroke->points.size() != 2 || o->stroke->orderKey <= last[o->ownerKey])
                    ordered = false;
                last[o->ownerKey] = o->stroke->orderKey;
            }
        }
    });
    for (auto& w : writers) w.join();
    reader.join();
    EXPECT_TRUE(ordered);

    const size_t pens = kThreads * (kPerThread / 100);
    EXPECT_EQ(RemotePaintStore::Count(), kThreads * kPerThread + pens);
    size_t strokes = 0;
    for (uint16_t p = 1; p <= 4; ++p) {
        page.clear();
        RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, p, page);
        EXPECT_EQ(page.size(), kThreads * kPerThread / 4 + pens) << p;
        strokes += page.size() - pens;
    }
    EXPECT_EQ(strokes, kThreads * kPerThread);
}

TEST_F(PaintStore, ConcurrentRemovalsTakeEachEntryOnce)
{
    // Four strokes share each key, by owners 1 to 4 in that order; three threads each remove every key
    // once. Each removal takes exactly the earliest remaining one, so only owner 4's stroke of every key
    // is left: a removal that took two, or one that was lost, leaves another set.
    for (uint32_t key = 1; key <= 400; ++key)
        for (uint32_t owner = 1; owner <= 4; ++owner) Add(NewStroke(ePaintSource_Document, owner, 70, 3, key));
    Add(NewStroke(ePaintSource_Document, 9, 71, 3, 1));
    std::vector<std::thread> removers;
    for (int t = 0; t < 3; ++t)
        removers.emplace_back([] {
            for (uint32_t key = 1; key <= 400; ++key) RemotePaintStore::RemoveObject(eRemotePaint_Document, 70, 3, key);
        });
    std::thread clearer([] {
        for (int i = 0; i < 50; ++i) RemotePaintStore::ClearDocument(eRemotePaint_Document, 71);
    });
    for (auto& r : removers) r.join();
    clearer.join();
    EXPECT_EQ(RemotePaintStore::Count(), 400u);
    std::vector<uint32_t> keys, owners;
    page.clear();
    RemotePaintStore::GetPage(eRemotePaint_Document, 70, 3, page);
    for (const KeyedPaintObject& o : page) {
        keys.push_back(o.orderKey);
        owners.push_back(static_cast<uint32_t>(o.object->ownerKey));
    }
    std::vector<uint32_t> expectedKeys;
    for (uint32_t key = 1; key <= 400; ++key) expectedKeys.push_back(key);
    EXPECT_EQ(keys, expectedKeys);
    EXPECT_EQ(owners, std::vector<uint32_t>(400, 4u));
    EXPECT_EQ(Keys(eRemotePaint_Document, 71, 3), std::vector<uint32_t>{});
}

// A room that keys strokes from its own counter (1, 2, 3) while the clients key their pens from theirs
// (10001, 10002): a surface sorting the page by key still draws each stroke with the pen its owner had
// chosen before drawing it.
TEST_F(PaintStore, EachStrokeSortsAfterThePenItsOwnerHadWhenItArrived)
{
    Add(NewStroke(ePaintSource_Whiteboard, 8, 0, 1, 1)); // before any pen of its owner
    Add(NewPen(7, 3, 6, 0, 10001));                      // green, width 6
    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 1, 2));
    Add(NewStroke(ePaintSource_Whiteboard, 8, 0, 1, 3));
    Add(NewPen(7, 1, 2, 0, 10002)); // red, width 2
    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 1, 4));
    Add(NewPen(8, 4, 4, 0, 20001)); // blue: only strokes after it
    page.clear();
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    std::map<int32_t, PaintPen> pens;
    const std::vector<std::pair<uint32_t, int32_t>> expected = {
        {0u, 0}, {0u, 0}, {0xFF33BB44u, 6}, {0xFFFF5522u, 2}};
    EXPECT_EQ(Painted(&pens), expected);
    // The own strokes drawn later go after the list: they take the latest pen of their owner.
    EXPECT_EQ(pens[7].colour, 0xFFFF5522u);
    EXPECT_EQ(pens[8].colour, 0xFF0099FFu);
}

// The teacher picks blue, then yellow, while two of her strokes drawn in green are still on their way
// to the room; they come back keyed as high as the picks. The strokes keep green, the next one is
// yellow, and until they are back the picks serve only the strokes drawn after the read.
TEST_F(PaintStore, AnOwnPenPickedWhileStrokesAreOnTheirWayComesAfterThem)
{
    Add(NewPen(7, 3, 3, 0, 100)); // green
    std::unique_ptr<ReceivedPaintObject> blue(NewPen(7, 4, 3, 0, 101)), yellow(NewPen(7, 2, 3, 0, 102));
    RemotePaintStore::AddOwnPen(*blue, 2);
    RemotePaintStore::AddOwnPen(*yellow, 2);
    EXPECT_EQ(RemotePaintStore::Count(), 3u);
    std::map<int32_t, PaintPen> pens;
    page.clear();
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    EXPECT_TRUE(Painted(&pens).empty());
    EXPECT_EQ(pens[7].colour, 0xFFFFCC33u);

    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 1, 102));
    page.clear();
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    EXPECT_EQ(Painted(&pens), (std::vector<std::pair<uint32_t, int32_t>>{{0xFF33BB44u, 3}}));
    EXPECT_EQ(pens[7].colour, 0xFFFFCC33u);

    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 1, 103));
    Add(NewStroke(ePaintSource_Whiteboard, 7, 0, 1, 104));
    page.clear();
    ASSERT_TRUE(RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, page));
    EXPECT_EQ(Painted(&pens),
              (std::vector<std::pair<uint32_t, int32_t>>{{0xFF33BB44u, 3}, {0xFF33BB44u, 3}, {0xFFFFCC33u, 3}}));
    EXPECT_EQ(RemotePaintStore::Count(), 6u);
}

TEST_F(PaintStore, RandomReceivedRecordsNeverBreakTheStore)
{
    // Kinds, bodies, surface sizes and points as a faulty or hostile peer might send them.
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    size_t expected = 0;
    for (int round = 0; round < 2000; ++round) {
        ReceivedPaintObject r;
        r.kind = static_cast<uint8_t>(next());
        r.ownerId = next();
        const uint32_t body = next() % 4;
        if (body == 1) r.pen = new PenBody{static_cast<uint8_t>(next()), static_cast<uint8_t>(next()),
                                           static_cast<uint8_t>(next()), next()};
        if (body == 2) {
            r.stroke = new StrokeRecord;
            const uint16_t pageNo = static_cast<uint16_t>(next() % 2 ? 1 : next());
            const uint64_t doc = next() % 2 ? 0 : next();
            r.stroke->head = StrokeHead{pageNo, next(), doc, static_cast<uint8_t>(next()),
                                        static_cast<uint16_t>(next() % 3 ? next() : 0),
                                        static_cast<uint16_t>(next() % 3 ? next() : 0)};
            for (uint32_t i = next() % 20; i > 0; --i)
                r.stroke->points.push_back({static_cast<int16_t>(next()), static_cast<int16_t>(next())});
        }
        const uint8_t target = r.kind & 0x0F;
        if (target == 1 && r.pen) ++expected;
        if ((target == 2 || target == 3) && r.stroke && r.stroke->head.surfaceWidth && r.stroke->head.surfaceHeight)
            ++expected;
        RemotePaintStore::Add(r);
    }
    EXPECT_EQ(RemotePaintStore::Count(), expected);
    // Every stored point stays within what a 16-bit coordinate on the sender's surface can give.
    size_t strokesSeen = 0;
    for (uint8_t kind = 2; kind <= 3; ++kind) {
        page.clear();
        RemotePaintStore::GetPage(kind, 0, 1, page);
        for (const KeyedPaintObject& keyed : page) {
            const PaintObject* o = keyed.object.get();
            if (o->type != ePaintObject_Stroke) continue;
            ++strokesSeen;
            for (const PaintPoint& p : o->stroke->points) {
                EXPECT_GE(p.x, 0.0f);
                EXPECT_LE(p.x, 65535.0f);
                EXPECT_GE(p.y, 0.0f);
            }
        }
    }
    EXPECT_GT(strokesSeen, 5u);
}
