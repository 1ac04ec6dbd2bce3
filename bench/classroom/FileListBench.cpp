// A long room file list into the real class window (shipped skin, loopback room and file relay): the
// room sends one 826 reply of 1000 documents, none of them here yet. Printed: the time until every
// document is listed and its download running or queued, the longest wait of a probe message posted
// to the UI thread every 10 ms (the longest time the window did not pump), and how many transfers ran.
// The relay holds every download, so what is measured is the list's handling, not the transfers.
// Run under Xvfb: build/wine-run build/bin/file_list_bench.exe [documents, default 1000]
#include "bench/BenchClock.h"
#include "bench/classroom/ClassWindowHost.h"

#include "core/SessionContext.h"
#include "protocol/PacketHeader.h"
#include "protocol/WireFormat.h"
#include "tests/fakes/relay/FakeRelay.h"

#include <mmsystem.h>

#include <algorithm>
#include <cstdio>

int wmain(int argc, wchar_t** argv)
{
    const int documents = argc > 1 ? _wtoi(argv[1]) : 1000;
    if (documents < 1) {
        std::printf("usage: file_list_bench [documents]\n");
        return 2;
    }
    timeBeginPeriod(1);
    FakeRelay relay;
    RelayKnobs knobs;
    knobs.holdDownloads = true;
    relay.SetKnobs(knobs);
    ClassWindowHost host;
    if (!relay.Listening() || !host.Join()) return 1;
    SessionContext::Instance()->fileServer = fakeroom::Node(20, eServer_File, relay.Port());
    size_t mostRunning = 0;
    UiProbe probe([&] { mostRunning = std::max(mostRunning, host.main->GetDownloadCount()); });
    if (!probe.Ready()) return 1;

    // Ids of this run, so that no stored document of an earlier run answers for them.
    const uint64_t base = static_cast<uint64_t>(GetTickCount()) * 100000ull;
    fakeroom::Bytes list;
    for (int i = 0; i < documents; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Lesson %d of the term.lvl", i + 1);
        const uint8_t idBytes[16] = {};
        ByteWriter w;
        w.U64(base + i).U64(4096).Bytes(idBytes, 16).U32(kBenchPeerId).WireString(CString(name));
        fakeroom::Bytes entry = w.Take();
        list.insert(list.end(), entry.begin(), entry.end());
        relay.AddFile(base + i, std::string(4096, 'd'));
    }

    double start = 0, listedAt = -1;
    {
        probe.Start();
        PumpUntil([] { return false; }, 300);
        probe.Reset();
        fakeroom::HeaderFields fields;
        fields.destination = kBenchRoomId;
        start = NowMs();
        if (!host.room.reg.Push(eType_FileList, list, fields)) {
            std::printf("the room could not send the list\n");
            return 1;
        }
        const size_t want = static_cast<size_t>(documents);
        if (PumpUntil([&] { return host.main->GetDocumentCount() >= want; }, 300000)) listedAt = NowMs() - start;
        // The queue's first starts happen in the turn after the last notice.
        PumpUntil([] { return false; }, 300);
        probe.Stop();
    }
    std::printf("%d documents: all listed at %.0f ms; longest UI block %lu ms (aim <= 100 ms); transfers "
                "running at most %zu, at the end %zu, relay requests %zu\n",
                documents, listedAt, static_cast<unsigned long>(probe.Longest()), mostRunning,
                host.main->GetDownloadCount(), relay.DownloadRequestIds().size());
    timeEndPeriod(1);
    return listedAt >= 0 ? 0 : 1;
}
