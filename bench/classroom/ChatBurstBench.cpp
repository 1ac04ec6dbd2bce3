// A chat burst into the real class window (shipped skin, loopback room): the room pushes 1000 chat
// messages (808) as fast as the channel takes them. Printed: the longest wait of a probe message posted
// to the UI thread every 10 ms (the longest time the window did not pump), the time until the last
// message is shown, and the time until all of them are in the record database. The baseline is the same
// probe over the idle window's plain message pump.
// Run under Xvfb: build/wine-run build/bin/chat_burst_bench.exe [messages, default 1000]
#include "bench/BenchClock.h"
#include "bench/classroom/ClassWindowHost.h"

#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "platform/ui/UIRichEdit.h"
#include "protocol/CmdProtocol.h"
#include "protocol/PacketHeader.h"

#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

int Occurrences(const CString& text, const wchar_t* part)
{
    int count = 0;
    for (int at = text.Find(part); at >= 0; at = text.Find(part, at + 1)) ++count;
    return count;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int messages = argc > 1 ? _wtoi(argv[1]) : 1000;
    if (messages < 1) {
        std::printf("usage: chat_burst_bench [messages]\n");
        return 2;
    }
    timeBeginPeriod(1);
    ClassWindowHost host;
    if (!host.Join()) return 1;
    UiProbe probe;
    IDBMgr* db = CSqliteMgr::GetInstance();
    if (!probe.Ready() || !db) {
        std::printf("no probe window or no database\n");
        return 1;
    }
    const int32_t storedBefore = db->GetMsgCount(kBenchRoomId);

    // The baseline: the idle window's plain pump, probed the same way.
    PumpUntil([] { return false; }, 500);
    double baselineLongest = 0;
    probe.Start();
    PumpUntil([] { return false; }, 2000);
    baselineLongest = probe.Longest();
    probe.Stop();

    std::atomic<double> allStoredAt{-1};
    std::atomic<bool> stopWatch{false};
    std::atomic<int> pushed{0};
    double start = 0;
    double lastShownAt = -1;
    int shown = 0;
    {
        probe.Start();
        PumpUntil([] { return false; }, 100);
        probe.Reset();
        start = NowMs();
        std::thread pusher([&] {
            fakeroom::HeaderFields fields;
            fields.sender = kBenchPeerId;
            fields.destination = kBenchRoomId;
            ChatFont font;
            for (int i = 1; i <= messages; ++i) {
                CString text;
                text.Format(L"chat line #%d# of the burst, with a little text as a class chat has", i);
                if (!host.room.reg.Push(eType_ChatMsg, BuildChatPayload(font, text), fields)) break;
                ++pushed;
            }
        });
        // The database is watched from a thread of its own, so the UI thread's pump stays as it is.
        std::thread watcher([&] {
            while (!stopWatch) {
                if (db->GetMsgCount(kBenchRoomId) - storedBefore >= messages) {
                    allStoredAt = NowMs() - start;
                    return;
                }
                Sleep(20);
            }
        });
        // The window's own pump, counting the chat messages it has handled (queued for the output, or
        // dropped); the last one is shown once the output holds it.
        auto* output = static_cast<CRichEditUI*>(host.main->GetPaintManager()->FindControl(L"OutputEdit"));
        CString last;
        last.Format(L"#%d#", messages);
        DWORD begun = GetTickCount();
        while (GetTickCount() - begun < 90000 && (lastShownAt < 0 || allStoredAt < 0)) {
            MSG msg;
            // The probes keep the queue busy: the conditions are looked at between rounds.
            for (int round = 0; round < 64 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++round) {
                bool chat = msg.hwnd == host.window && msg.message == WM_USER_CHAT_MESSAGE;
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
                if (chat) ++shown;
            }
            if (shown >= messages && lastShownAt < 0 && output && CString(output->GetText()).Find(last) >= 0)
                lastShownAt = NowMs() - start;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        stopWatch = true;
        pusher.join();
        watcher.join();
        probe.Stop();
    }

    // What the user sees at the end: the last message, and at most one clearing's worth of messages.
    auto* output = static_cast<CRichEditUI*>(host.main->GetPaintManager()->FindControl(L"OutputEdit"));
    CString text = output ? CString(output->GetText()) : CString();
    CString last;
    last.Format(L"#%d#", messages);
    int inOutput = Occurrences(text, L"chat line #");
    bool lastVisible = text.Find(last) >= 0;
    std::printf("%d messages pushed; %d handled by the window; %d in the database\n", pushed.load(), shown,
                db->GetMsgCount(kBenchRoomId) - storedBefore);
    std::printf("output after the burst: %d messages, the last one %s; clearing at %d %s\n", inOutput,
                lastVisible ? "shown" : "MISSING", kChatOutputLimit,
                inOutput <= kChatOutputLimit ? "kept" : "NOT kept");
    std::printf("probe messages answered during the burst: %ld\n", probe.Count());
    std::printf("burst of %d: longest UI block %lu ms (aim <= 100 ms; baseline plain pump %.0f ms), last shown "
                "at %.0f ms, all in the database at %.0f ms\n",
                messages, static_cast<unsigned long>(probe.Longest()), baselineLongest, lastShownAt,
                allStoredAt.load());
    timeEndPeriod(1);
    return lastVisible && shown == messages ? 0 : 1;
}
