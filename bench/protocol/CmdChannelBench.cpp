// Command-channel throughput on loopback: messages sent with SendPacket, received, reassembled and
// dispatched to a window, beside a plain Winsock copy of the same bytes through the same relay.
// Usage: protocol_bench [seconds per case, default 2]
#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "protocol/WireFormat.h"

#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

SOCKET Listener(uint16_t& port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(s, 4);
    int size = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    port = ntohs(a.sin_port);
    return s;
}

SOCKET ConnectTo(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 ? s : INVALID_SOCKET;
}

// Accepts the receiving side first, then the sending side, and copies sender to receiver.
class Relay {
public:
    Relay() { m_listen = Listener(m_port); }
    ~Relay()
    {
        if (m_thread.joinable()) m_thread.join();
        closesocket(m_listen);
    }
    uint16_t Port() const { return m_port; }
    void Run()
    {
        m_thread = std::thread([this] {
            SOCKET to = accept(m_listen, nullptr, nullptr);
            SOCKET from = accept(m_listen, nullptr, nullptr);
            std::vector<char> buffer(64 * 1024);
            for (;;) {
                int n = recv(from, buffer.data(), static_cast<int>(buffer.size()), 0);
                if (n <= 0) break;
                for (int sent = 0; sent < n;) {
                    int k = send(to, buffer.data() + sent, n - sent, 0);
                    if (k <= 0) break;
                    sent += k;
                }
            }
            shutdown(to, SD_BOTH);
            closesocket(to);
            closesocket(from);
        });
    }

private:
    SOCKET m_listen;
    uint16_t m_port = 0;
    std::thread m_thread;
};

const wchar_t kWindowClass[] = L"LumenvaleBenchSink";

HWND SinkWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    return CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

struct Case {
    const char* name;
    uint16_t type;
    std::vector<uint8_t> payload;
    UINT message;
};

// A stroke of n points as one 818 message.
std::vector<uint8_t> StrokeMessage(size_t points)
{
    ByteWriter w;
    w.U8(0x12).U32(1).U16(1).U32(2).U64(3).U8(1).U16(640).U16(480);
    for (size_t i = 0; i < points; ++i) w.U16(static_cast<uint16_t>(i)).U16(static_cast<uint16_t>(i));
    return w.Take();
}

// A drawing history of whole 100-point strokes, as close to bytes as they fit, as one 819 message.
std::vector<uint8_t> HistoryMessage(size_t bytes)
{
    ByteWriter w;
    while (w.Size() + 26 + 400 <= bytes) {
        w.U8(0x12).U32(1).U16(1).U32(2).U64(3).U8(1).U16(640).U16(480).U16(100);
        for (int i = 0; i < 100; ++i) w.U16(static_cast<uint16_t>(i)).U16(static_cast<uint16_t>(i));
    }
    return w.Take();
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// Sends count messages through the channel and pumps the window until all were dispatched.
double RunChannel(const Case& c, size_t count, HWND window, size_t& delivered)
{
    Relay relay;
    relay.Run();
    ChannelTimings timings;
    CCmdProtocol receiver(timings), sender(timings);
    ServerNode node{};
    node.address = htonl(INADDR_LOOPBACK);
    node.port = relay.Port();
    receiver.SetServer(node);
    sender.SetServer(node);
    if (!receiver.Connect() || !sender.Connect()) return -1;
    receiver.Start();
    delivered = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::thread feed([&] {
        for (size_t i = 0; i < count; ++i) {
            sender.SendPacket(c.type, c.payload.data(), static_cast<uint32_t>(c.payload.size()), 1);
        }
    });
    DWORD deadline = GetTickCount() + 60000;
    MSG msg;
    while (delivered < count && GetTickCount() < deadline) {
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLPOSTMESSAGE);
            continue;
        }
        if (msg.hwnd == window && msg.message == c.message) ++delivered;
        FreeRoomMessage(msg.message, msg.wParam, msg.lParam);
    }
    QueryPerformanceCounter(&end);
    feed.join();
    sender.RequestStop();
    receiver.RequestStop();
    return Seconds(start, end);
}

// The same bytes (headers included) from a plain socket through the same relay into a plain recv.
double RunPlain(size_t totalBytes)
{
    Relay relay;
    relay.Run();
    SOCKET in = ConnectTo(relay.Port());
    Sleep(20); // the relay takes the receiving side first
    SOCKET out = ConnectTo(relay.Port());
    std::vector<char> chunk(64 * 1024, 'x');
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    std::thread feed([&] {
        for (size_t sent = 0; sent < totalBytes;) {
            size_t n = totalBytes - sent < chunk.size() ? totalBytes - sent : chunk.size();
            int k = send(out, chunk.data(), static_cast<int>(n), 0);
            if (k <= 0) break;
            sent += static_cast<size_t>(k);
        }
    });
    std::vector<char> buffer(64 * 1024);
    for (size_t got = 0; got < totalBytes;) {
        int k = recv(in, buffer.data(), static_cast<int>(buffer.size()), 0);
        if (k <= 0) break;
        got += static_cast<size_t>(k);
    }
    QueryPerformanceCounter(&end);
    feed.join();
    closesocket(out);
    closesocket(in);
    return Seconds(start, end);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    double seconds = argc > 1 ? _wtof(argv[1]) : 2.0;
    if (seconds <= 0) seconds = 2.0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetAppDataFolderOverride(CString(temp) + L"lvbench\\");
    EnsureFolder(CString(temp) + L"lvbench\\");
    WinsockUser winsock;
    HWND window = SinkWindow();
    SessionContext::Instance()->mainWindow = window;

    Case cases[] = {
        {"100 B", eType_PaintObject, StrokeMessage(19), WM_USER_PAINT_STROKE},
        {"1376 B", eType_PaintObject, StrokeMessage(338), WM_USER_PAINT_STROKE},
        {"64 KB", eType_PaintList, HistoryMessage(64 * 1024), WM_USER_PAINT_LIST},
    };
    printf("%-8s %12s %10s %10s %10s %7s\n", "message", "messages/s", "MB/s", "plain MB/s", "bytes", "ratio");
    for (const Case& c : cases) {
        // A short first run sizes the measured one to about the asked time.
        size_t delivered = 0;
        size_t probe = c.payload.size() > 10000 ? 200 : 2000;
        double t = RunChannel(c, probe, window, delivered);
        size_t count = t > 0 ? static_cast<size_t>(probe * seconds / t) : probe;
        if (count < probe) count = probe;
        double channel = RunChannel(c, count, window, delivered);
        size_t fragments = c.payload.size() / kFragmentPayload + 1;
        size_t wire = count * (c.payload.size() + fragments * sizeof(PacketHeader));
        double plain = RunPlain(wire);
        double payloadMB = double(count) * c.payload.size() / 1e6;
        printf("%-8s %12.0f %10.1f %10.1f %10zu %7.2f%s\n", c.name, delivered / channel, payloadMB / channel,
               payloadMB / plain, c.payload.size(), plain / channel, delivered < count ? "  (incomplete)" : "");
    }
    return 0;
}
