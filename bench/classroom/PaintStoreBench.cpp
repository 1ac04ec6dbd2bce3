// The drawing store with a long class's history: adds per second, and how long one page read takes
// (the whiteboard reads a page at every repaint), with and without a writer thread adding meanwhile.
// Run: build/wine-run build/bin/classroom_bench.exe [strokes] [points]
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
    for (int i = 0; i < points; ++i)
        r.stroke->points.push_back({static_cast<int16_t>(i * 3 % 640), static_cast<int16_t>(i * 7 % 480)});
    RemotePaintStore::Add(r);
}

double PageReadMs(int reads)
{
    const double start = Seconds();
    for (int i = 0; i < reads; ++i) {
        std::vector<PaintObject*> page;
        RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, static_cast<uint16_t>(1 + i % 4), page);
        FreePaintObjects(page);
    }
    return (Seconds() - start) * 1000.0 / reads;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int strokes = argc > 1 ? _wtoi(argv[1]) : 4000;
    const int points = argc > 2 ? _wtoi(argv[2]) : 40;
    RemotePaintStore::Init();

    double start = Seconds();
    for (int i = 1; i <= strokes; ++i) AddStroke(static_cast<uint32_t>(i), points);
    const double addSeconds = Seconds() - start;
    std::printf("add: %d strokes of %d points in %.3f s (%.0f per second)\n", strokes, points, addSeconds,
                strokes / addSeconds);

    std::printf("page read, idle store: %.3f ms\n", PageReadMs(20));

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        uint32_t key = static_cast<uint32_t>(strokes) + 1;
        while (!stop) AddStroke(key++, points);
    });
    std::printf("page read, with a writer: %.3f ms\n", PageReadMs(20));
    stop = true;
    writer.join();

    start = Seconds();
    RemotePaintStore::ClearAll();
    std::printf("clear all: %.3f ms\n", (Seconds() - start) * 1000.0);
    RemotePaintStore::Shutdown();
    return 0;
}
