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

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

const UINT kProbeMessage = WM_APP + 7;
DWORD g_longest = 0;
size_t g_mostRunning = 0;
CMainWnd* g_main = nullptr;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kProbeMessage) return DefWindowProcW(window, message, wParam, lParam);
    DWORD waited = timeGetTime() - static_cast<DWORD>(lParam);
    if (waited > g_longest) g_longest = waited;
    if (g_main && g_main->GetDownloadCount() > g_mostRunning) g_mostRunning = g_main->GetDownloadCount();
    return 0;
}

HWND CreateProbeWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LvFileListProbe";
    RegisterClassW(&wc);
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// Posts a time-stamped probe to the UI thread's window every 10 ms until stopped.
class Prober {
public:
    explicit Prober(HWND target) : m_target(target)
    {
        m_thread = std::thread([this] {
            while (!m_stop) {
                PostMessageW(m_target, kProbeMessage, 0, static_cast<LPARAM>(timeGetTime()));
                Sleep(10);
            }
        });
    }
    ~Prober()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    HWND m_target;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

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
    HWND probeWindow = CreateProbeWindow();
    if (!probeWindow) return 1;
    g_main = host.main;

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
        Prober prober(probeWindow);
        PumpUntil([] { return false; }, 300);
        g_longest = 0;
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
    }
    std::printf("%d documents: all listed at %.0f ms; longest UI block %lu ms (aim <= 100 ms); transfers "
                "running at most %zu, at the end %zu, relay requests %zu\n",
                documents, listedAt, static_cast<unsigned long>(g_longest), g_mostRunning,
                host.main->GetDownloadCount(), relay.DownloadRequestIds().size());
    g_main = nullptr;
    timeEndPeriod(1);
    return listedAt >= 0 ? 0 : 1;
}
