// The drawing store with a long class's history: adds per second, and how long one page read takes
// (the whiteboard reads a page at every reload), idle and with a writer thread adding meanwhile, for a
// short and a long history. Goals, checked at the end (exit status 1 when one is missed):
// - a page read costs per stroke at most 1.5 times at the long history what it costs at the short one;
// - a read while a writer adds costs per object at most 3 times the idle read at the long history (the
//   writer adds to the pages being read, so the page grows while it is read).
// Run: build/wine-run build/bin/classroom_bench.exe [short strokes] [long strokes] [points]
#include "bench/BenchClock.h"
#include "classroom/RemotePaintStore.h"
#include "protocol/RoomRecords.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

void AddStroke(uint32_t key, int points)
{
    ReceivedPaintObject r;
    r.kind = ePaintOp_AddStroke | (key % 3 ? ePaintSource_Whiteboard : ePaintSource_Document);
    r.ownerId = 1 + key % 30;
    r.stroke = new StrokeRecord;
    r.stroke->head = StrokeHead{static_cast<uint16_t>(1 + key % 4), key, key % 3 ? 0u : 9u, 0, 640, 480};
    // Sized once, as the receive thread sizes a stroke it reads: growing the list point by point left
    // holes that Wine's first-fit heap walked on every later allocation, and the read timed that.
    r.stroke->points.reserve(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i)
        r.stroke->points.push_back({static_cast<int16_t>(i * 3 % 640), static_cast<int16_t>(i * 7 % 480)});
    RemotePaintStore::Add(r);
}

void AddPen(uint32_t key)
{
    ReceivedPaintObject r;
    r.kind = ePaintSource_Pen;
    r.ownerId = 1 + key % 30;
    r.pen = new PenBody{static_cast<uint8_t>(1 + key % 5), 3, 0, key};
    RemotePaintStore::Add(r);
}

struct ReadCost {
    double ms = 0;        // per read
    double objects = 0;   // handed out per read
    double usPerObject() const { return objects > 0 ? ms * 1000.0 / objects : 0; }
};

// Reads pages 1 to 4 in turn, at least the given number of times and for at least the given time, so
// that short pages are timed over enough reads to stand above the host's noise.
ReadCost PageRead(int minReads, double minSeconds)
{
    ReadCost cost;
    size_t objects = 0;
    int reads = 0;
    const double start = Seconds();
    while (reads < minReads || Seconds() - start < minSeconds) {
        KeyedPaintObjects page;
        RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, static_cast<uint16_t>(1 + reads % 4), page);
        objects += page.size();
        ++reads;
    }
    cost.ms = (Seconds() - start) * 1000.0 / reads;
    cost.objects = static_cast<double>(objects) / reads;
    return cost;
}

struct Figures {
    double addsPerSecond = 0;
    ReadCost idle, withWriter;
};

// A class of 30 drawing in turn, a pen change every 20 strokes.
Figures Measure(int strokes, int points)
{
    Figures f;
    RemotePaintStore::ClearAll();
    const double start = Seconds();
    for (int i = 1; i <= strokes; ++i) {
        AddStroke(static_cast<uint32_t>(i), points);
        if (i % 20 == 0) AddPen(static_cast<uint32_t>(i));
    }
    f.addsPerSecond = strokes / (Seconds() - start);
    f.idle = PageRead(20, 0.2);

    std::atomic<bool> stop{false};
    std::atomic<bool> started{false};
    std::thread writer([&] {
        uint32_t key = static_cast<uint32_t>(strokes) + 1;
        while (!stop) {
            AddStroke(key++, points);
            started = true;
        }
    });
    while (!started) Sleep(0);
    // Twenty reads only: the writer grows the pages while they are read.
    f.withWriter = PageRead(20, 0);
    stop = true;
    writer.join();
    std::printf("%6d strokes: %8.0f adds/s; page read %8.3f ms for %6.0f objects (%.3f us each); with a writer "
                "%8.3f ms for %6.0f (%.3f us each)\n",
                strokes, f.addsPerSecond, f.idle.ms, f.idle.objects, f.idle.usPerObject(), f.withWriter.ms,
                f.withWriter.objects, f.withWriter.usPerObject());
    return f;
}

bool Check(const char* goal, double value, double limit)
{
    const bool met = value <= limit;
    std::printf("goal %-58s %6.2f (at most %.2f): %s\n", goal, value, limit, met ? "met" : "MISSED");
    return met;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int shortHistory = argc > 1 ? _wtoi(argv[1]) : 500;
    const int longHistory = argc > 2 ? _wtoi(argv[2]) : 16000;
    const int points = argc > 3 ? _wtoi(argv[3]) : 40;
    RemotePaintStore::Init();
    // A first round warms the heap and the code, so the short history is not charged for it.
    Measure(shortHistory, points);
    const Figures small = Measure(shortHistory, points);
    Measure(4000, points);
    const Figures large = Measure(longHistory, points);

    const double start = Seconds();
    RemotePaintStore::ClearAll();
    std::printf("clear all: %.3f ms\n", (Seconds() - start) * 1000.0);
    RemotePaintStore::Shutdown();

    bool met = Check("page read per object, long / short history", large.idle.usPerObject() / small.idle.usPerObject(), 1.5);
    met &= Check("page read per object with a writer / idle, long history",
                 large.withWriter.usPerObject() / large.idle.usPerObject(), 3.0);
    return met ? 0 : 1;
}
