// A room that carries a class between the clients that join it: the gateway on the given UDP port
// (0: a free one), the class registration server and a stream server on 127.0.0.1. It prints the
// gateway's port first, then one line for every join, leave and message the room received, with the
// milliseconds since it started, so that a test reads what the room saw. Ends after the given seconds.
// Usage: class_room [gateway port] [seconds]
#include "tests/fakes/room/ClassRoom.h"

#include <cstdio>
#include <cwchar>
#include <string>

using namespace fakeroom;

namespace {

LARGE_INTEGER g_start, g_frequency;

double Elapsed()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - g_start.QuadPart) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    uint16_t port = static_cast<uint16_t>(argc > 1 ? _wtoi(argv[1]) : 0);
    int seconds = argc > 2 ? _wtoi(argv[2]) : 600;
    ClassRoom room(port);
    if (!room.Ok()) {
        fprintf(stderr, "class_room: cannot bind the gateway on UDP %u or the servers\n", port);
        return 1;
    }
    room.reg.SetPresenceHook([](uint32_t user, bool online, const std::wstring& screenName) {
        printf("%.1f %s %u %s\n", Elapsed(), online ? "join" : "leave", user, Utf8(screenName).c_str());
        fflush(stdout);
    });
    room.reg.SetMessageHook([](uint32_t user, const Packet& message) {
        // The payload's first bytes tell a test enough (a speak state, a class state, a drawing's kind).
        std::string head;
        for (size_t i = 0; i < message.payload.size() && i < 24; ++i) {
            char hex[4];
            snprintf(hex, sizeof(hex), "%02x", message.payload[i]);
            head += hex;
        }
        printf("%.1f msg %u type %u to %u len %u %s\n", Elapsed(), user, message.header.type, message.header.destination,
               static_cast<unsigned>(message.payload.size()), head.empty() ? "-" : head.c_str());
        fflush(stdout);
    });
    printf("class_room: gateway udp %u, regserver tcp %u\n", room.gateway.Port(), room.reg.Port());
    fflush(stdout);
    for (int waited = 0; waited < seconds * 10; ++waited) Sleep(100);
    return 0;
}
