// A local demo room: the gateway on the given UDP port (6789 by default), a registration server and
// two stream servers on free ports of 127.0.0.1. Runs until the given number of seconds passed
// (0, the default, runs until the process is ended).
// Usage: fake_room [gateway port] [seconds]
#include "tests/fakes/room/FakeRoom.h"

#include <cstdio>
#include <cwchar>
#include <string>

using namespace fakeroom;

int wmain(int argc, wchar_t** argv)
{
    uint16_t port = static_cast<uint16_t>(argc > 1 ? _wtoi(argv[1]) : 6789);
    int seconds = argc > 2 ? _wtoi(argv[2]) : 0;
    FakeGateway gateway("127.0.0.1", port);
    FakeRegServer reg;
    FakeStreamServer streamA, streamB;
    if (!gateway.Ok() || !reg.Ok() || !streamA.Ok() || !streamB.Ok()) {
        fprintf(stderr, "fake_room: cannot bind the gateway on UDP %u or the servers\n", port);
        return 1;
    }
    streamB.SetDelay(20);
    gateway.SetServerList({Node(1, eServer_Reg, reg.Port()), Node(10, eServer_Stream, streamA.Port(), 1, 5),
                           Node(11, eServer_Stream, streamB.Port(), 1, 3), Node(20, eServer_File, 9)});
    // A joined room with the class not yet begun; empty user, drawing and file lists.
    Bytes join(44, 0);
    join[10] = 1;
    reg.SetJoinReply(1, join);
    // The demo launch link's teacher (user 7) and two students.
    Bytes users;
    auto addUser = [&users](uint32_t id, uint8_t role, uint8_t sex, const std::string& screen, const std::string& name) {
        for (int i = 0; i < 4; ++i) users.push_back(static_cast<uint8_t>(id >> (8 * i)));
        users.insert(users.end(), {1, 0, role, sex, 0});
        for (const std::string* text : {&screen, &name}) {
            users.push_back(static_cast<uint8_t>(text->size()));
            users.push_back(static_cast<uint8_t>(text->size() >> 8));
            users.insert(users.end(), text->begin(), text->end());
        }
    };
    addUser(7, 3, 2, "Ms Ann", "teacher");
    addUser(21, 1, 1, "Ben", "ben");
    addUser(22, 1, 2, "Cleo", "cleo");
    reg.SetReply(eType_RoomUsers, 1, users);
    reg.SetReply(eType_PaintList, 1, Bytes());
    reg.SetReply(eType_FileList, 1, Bytes());
    // Strokes come back keyed above the teacher's pens, so the teacher's board draws them with the pen
    // picked before them.
    reg.SetDrawingEcho(true);
    printf("fake_room: gateway udp %u, regserver tcp %u, streamservers udp %u and %u\n", gateway.Port(), reg.Port(),
           streamA.Port(), streamB.Port());
    fflush(stdout);
    for (int waited = 0; seconds == 0 || waited < seconds; ++waited) Sleep(1000);
    return 0;
}
