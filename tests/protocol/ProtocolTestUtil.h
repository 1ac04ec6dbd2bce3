// What the protocol tests share: a main window for the session, and the room's reg server as a node.
#pragma once
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "protocol/RoomRecords.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>
#include <share.h>
#include <cstdio>
#include <string>

// Points the session's main window at a message sink that frees every protocol record exactly once,
// and sets the local user and room the channel stamps into its headers.
class SessionWindow {
public:
    SessionWindow()
    {
        SessionContext* s = SessionContext::Instance();
        m_oldWindow = s->mainWindow;
        s->mainWindow = sink.Handle();
        s->userId = 4242;
        s->room.roomId = 20141129;
        for (UINT m = WM_USER_UI_NOTICE; m <= WM_USER_VIDEO_SPEAK; ++m) {
            sink.SetFreer(m, [this, m](WPARAM w, LPARAM l) { freedRecords += FreeRoomMessage(m, w, l) ? 1 : 0; });
        }
    }
    ~SessionWindow() { SessionContext::Instance()->mainWindow = m_oldWindow; }
    MessageSink sink;
    size_t freedRecords = 0;

private:
    HWND m_oldWindow;
};

inline ServerNode RegNode(const fakeroom::FakeRegServer& reg, uint16_t id = 7)
{
    return fakeroom::Node(id, eServer_Reg, reg.Port());
}

// Fast time-outs so that tests of stops and losses do not wait for the defaults.
inline ChannelTimings FastChannel()
{
    ChannelTimings t;
    t.receiveWaitMs = 50;
    t.stopWaitMs = 500;
    return t;
}

// The client's log as bytes from offset on (offset = its size before the part under test).
inline std::string LogFrom(size_t offset)
{
    std::string bytes;
    FILE* file = _wfsopen(Logger::Instance().Path(), L"rb", _SH_DENYNO);
    if (!file) return bytes;
    fseek(file, static_cast<long>(offset), SEEK_SET);
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, n);
    fclose(file);
    return bytes;
}
inline size_t LogSize() { return LogFrom(0).size(); }

inline fakeroom::Bytes Concat(fakeroom::Bytes a, const fakeroom::Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A loopback port of that socket type where nothing listens (it was free a moment ago).
inline uint16_t ClosedLoopbackPort(int type)
{
    SOCKET s = socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    int size = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &size);
    closesocket(s);
    return ntohs(a.sin_port);
}
inline size_t Occurrences(const std::string& text, const char* part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}
