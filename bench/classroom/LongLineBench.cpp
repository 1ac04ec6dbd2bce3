// Long lines into the real class window's chat output (shipped skin, loopback room): one system line
// of 1k, 4k, 16k and 32k characters written at once, in words and as one unbroken run, then a chat line
// (808) of the longest length a client sends, pushed through the room. Printed: the milliseconds of each
// write and the time per thousand characters, which stays flat when the cost follows the length.
// Run under Xvfb: build/wine-run build/bin/long_line_bench.exe
#include "bench/BenchClock.h"
#include "bench/classroom/ClassWindowHost.h"

#include "core/WindowMessages.h"
#include "platform/ui/UIRichEdit.h"
#include "protocol/CmdProtocol.h"
#include "protocol/PacketHeader.h"

#include <cstdio>

namespace {

CString LongText(int length, bool words)
{
    CString text;
    wchar_t* buffer = text.GetBuffer(length);
    for (int i = 0; i < length; ++i) buffer[i] = words && i % 8 == 7 ? L' ' : static_cast<wchar_t>(L'a' + i % 26);
    text.ReleaseBuffer(length);
    return text;
}

int Occurrences(const CString& text, const wchar_t* part)
{
    int count = 0;
    for (int at = text.Find(part); at >= 0; at = text.Find(part, at + 1)) ++count;
    return count;
}

CRichEditUI* Output(ClassWindowHost& host)
{
    return static_cast<CRichEditUI*>(host.main->GetPaintManager()->FindControl(L"OutputEdit"));
}

} // namespace

int wmain()
{
    ClassWindowHost host;
    if (!host.Join()) return 1;
    PumpUntil([] { return false; }, 300);
    CRichEditUI* output = Output(host);
    if (!output) return 1;
    const int lengths[] = {1024, 4096, 16384, 32768};
    for (bool words : {true, false}) {
        for (int length : lengths) {
            CString text = LongText(length, words);
            // Each line into an empty output, so that no line pays for the text limit of the ones before.
            output->SetText(L"");
            double start = NowMs();
            host.main->AddSystemText(text);
            // What is written is painted before the window reads its next message.
            UpdateWindow(host.window);
            double took = NowMs() - start;
            std::printf("system line of %5d characters (%s): %8.1f ms, %6.2f ms per 1000\n", length,
                        words ? "words" : "one run", took, took * 1000.0 / length);
            PumpUntil([] { return false; }, 100);
        }
    }

    // The longest line a client sends, as the room relays it.
    output->SetText(L"");
    fakeroom::HeaderFields fields;
    fields.sender = kBenchPeerId;
    fields.destination = kBenchRoomId;
    CString text = L"#end-of-line#" + LongText(4096 - 26, true) + L"#end-of-line#";
    ChatFont font;
    double start = NowMs();
    if (!host.room.reg.Push(eType_ChatMsg, BuildChatPayload(font, text), fields)) return 1;
    bool shown = PumpUntil([&] { return Occurrences(CString(output->GetText()), L"#end-of-line#") >= 2; }, 60000);
    std::printf("chat line of 4096 characters from the room: %s after %.1f ms\n", shown ? "shown" : "NOT shown",
                NowMs() - start);
    return shown ? 0 : 1;
}
