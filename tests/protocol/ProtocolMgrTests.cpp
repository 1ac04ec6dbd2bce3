// The whole connect road against the fake room on 127.0.0.1: gateway, server list, probes, the
// command channel and the join, with the failures the main window must hear about.
#include "tests/protocol/ProtocolTestUtil.h"

#include "protocol/HostAddress.h"
#include "protocol/ProtocolMgr.h"
#include "protocol/WireFormat.h"
#include <atomic>
#include <functional>

using namespace fakeroom;

namespace {

ProtocolTimings FastRoad()
{
    ProtocolTimings t;
    t.gatewayGiveUpMs = 600;
    t.gatewayWaitMs = 30;
    t.stopWaitMs = 1000;
    t.channel = FastChannel();
    t.probe.resultWaitMs = 150;
    t.probe.receiveWaitMs = 10;
    return t;
}

class ConnectRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        SessionContext* s = SessionContext::Instance();
        s->regServer = ServerNode{};
        s->streamServer = ServerNode{};
        s->fileServer = ServerNode{};
        s->configuredStreamServer = ServerNode{};
        s->configuredStreamServer.kind = eServer_Stream;
        s->gatewayHost = L"127.0.0.1";
        s->secondGatewayHost = L"";
        s->room.maxAudience = 321;
        s->userName = L"student";
        s->screenName = L"Student";
        room.reg.SetJoinReply(1, JoinReply());
    }
    static Bytes JoinReply()
    {
        Bytes reply(60, 0);
        reply[10] = 2;
        reply[40] = 100;
        return reply;
    }
    void Connect(CProtocolMgr& mgr) { mgr.SetGateway(L"127.0.0.1", L"2.0.0.1", room.gateway.Port()); }
    std::vector<PostedMessage> Results() { return window.sink.Received(WM_USER_CONNECT_RESULT); }
    // Starts a road, stops it once it has reached a step: it ends within the stop's bound, as a failure.
    void StopOnceReached(const ProtocolTimings& t, const std::function<bool()>& reached)
    {
        window.sink.FreeAll();
        CProtocolMgr mgr(t);
        Connect(mgr);
        ASSERT_TRUE(PumpUntil(reached));
        DWORD start = GetTickCount();
        mgr.RequestStop();
        EXPECT_LT(GetTickCount() - start, 2000u);
        EXPECT_FALSE(mgr.IsRunning());
        ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
        EXPECT_EQ(0u, Results()[0].wParam);
        EXPECT_EQ(-8, Results()[0].lParam);
    }

    SessionWindow window;
    FakeRoom room{2};
};

TEST_F(ConnectRoad, FromGatewayToJoinedRoom)
{
    room.streams[0]->SetDelay(40);
    CProtocolMgr mgr(FastRoad());
    mgr.SetGateway(L"127.0.0.1", L"2. 0.13.7", room.gateway.Port());
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_JOIN_ROOM_RESULT, 1));
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
    EXPECT_EQ(1u, Results()[0].wParam);
    EXPECT_EQ(0, Results()[0].lParam);
    PostedMessage join = window.sink.Received(WM_USER_JOIN_ROOM_RESULT)[0];
    ASSERT_EQ(1u, join.wParam);
    EXPECT_EQ(2, reinterpret_cast<JoinRoomReply*>(join.lParam)->RoomState());
    EXPECT_EQ(100u, reinterpret_cast<JoinRoomReply*>(join.lParam)->DrawingIdBase());

    // The two gateway datagrams, byte for byte.
    std::vector<Packet> queries = room.gateway.Queries();
    ASSERT_GE(queries.size(), 2u);
    EXPECT_EQ(eType_Gateway, queries[0].header.type);
    EXPECT_EQ(0xFFFF, queries[0].header.marker);
    EXPECT_EQ(9, queries[0].header.length);
    EXPECT_EQ(1, queries[0].header.fragmentNumber);
    EXPECT_EQ(1, queries[0].header.fragmentCount);
    EXPECT_EQ(0u, queries[0].header.sender);
    EXPECT_EQ(Bytes({2, 0, 0, 0, 13, 0, 7, 0, 0}), queries[0].payload);
    // On a loaded machine a reply may miss its short wait: the version query then goes out again.
    size_t first = 1;
    while (first < queries.size() && queries[first].header.type == eType_Gateway) ++first;
    ASSERT_LT(first, queries.size());
    EXPECT_EQ(eType_ServerList, queries[first].header.type);
    EXPECT_EQ(6, queries[first].header.length);
    ByteWriter list;
    list.U32(20141129).U16(321);
    EXPECT_EQ(list.Data(), queries[first].payload);

    // Both stream servers share line 1: 8 probes to the line's candidate, then 5 to each.
    EXPECT_EQ(8 + 5 + 5, room.streams[0]->ProbeCount() + room.streams[1]->ProbeCount());
    SessionContext* s = SessionContext::Instance();
    EXPECT_EQ(11, s->streamServer.id); // the server without the delay
    EXPECT_EQ(1, s->regServer.id);
    EXPECT_EQ(20, s->fileServer.id);

    std::vector<Packet> joins = room.reg.Messages(eType_JoinRoom);
    ASSERT_EQ(1u, joins.size());
    EXPECT_EQ(BuildLoginPayload(s->room, 4242, s->role, s->userSex, CString(L"Student"), CString(L"student"), 1),
              joins[0].payload);
    EXPECT_EQ(1, joins[0].header.serverId);
    EXPECT_TRUE(mgr.Channel()->IsConnected());

    // A second call while connected refreshes the servers and keeps the channel.
    window.sink.FreeAll();
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_REFRESH_RESULT, 1));
    EXPECT_EQ(1u, window.sink.Received(WM_USER_REFRESH_RESULT)[0].wParam);
    EXPECT_EQ(2, window.sink.Received(WM_USER_REFRESH_RESULT)[0].lParam);
    EXPECT_EQ(1, room.reg.Accepted());
    mgr.RequestStop();
}

TEST_F(ConnectRoad, UpdateNoticeEndsTheRoadForGood)
{
    room.gateway.SetVersionReply(2, "http://127.0.0.1/setup.exe");
    CProtocolMgr mgr(FastRoad());
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_UPDATE_NOTICE, 1));
    PostedMessage notice = window.sink.Received(WM_USER_UPDATE_NOTICE)[0];
    auto* strings = reinterpret_cast<CString*>(notice.lParam);
    EXPECT_EQ(CString(L"http://127.0.0.1/setup.exe"), strings[0]);
    EXPECT_TRUE(strings[1].IsEmpty());
    EXPECT_TRUE(strings[2].IsEmpty());
    EXPECT_TRUE(PumpUntil([&] { return !mgr.IsRunning(); }));
    int versionQueries = room.gateway.QueryCount(eType_Gateway); // more than 1 when a reply missed its wait
    Connect(mgr); // no second road in this process
    window.sink.PumpFor(200);
    EXPECT_EQ(0u, window.sink.Count(WM_USER_CONNECT_RESULT));
    EXPECT_EQ(versionQueries, room.gateway.QueryCount(eType_Gateway));
    EXPECT_EQ(0, room.gateway.QueryCount(eType_ServerList));
}

TEST_F(ConnectRoad, SilentGatewayGivesUpWithMinus8)
{
    room.gateway.SetSilent(true);
    CProtocolMgr mgr(FastRoad());
    DWORD start = GetTickCount();
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1, 5000));
    EXPECT_GE(GetTickCount() - start, 550u);
    EXPECT_EQ(0u, Results()[0].wParam);
    EXPECT_EQ(-8, Results()[0].lParam);
    EXPECT_GT(room.gateway.QueryCount(eType_Gateway), 5);
}

TEST_F(ConnectRoad, SecondGatewayHostAnswersAfterFiveMisses)
{
    // Both host names lead to the fake room's gateway, which stays silent until the second name is
    // looked up: the queries it has heard by then are the misses of the first host.
    SessionContext::Instance()->secondGatewayHost = L"second.gateway";
    room.gateway.SetSilent(true);
    std::atomic<int> heardBeforeSecond{-1};
    HostLookup lookup = [this, &heardBeforeSecond](const CString& host) {
        if (host == L"second.gateway" && heardBeforeSecond < 0) {
            heardBeforeSecond = room.gateway.QueryCount(eType_Gateway);
            room.gateway.SetSilent(false);
        }
        return inet_addr("127.0.0.1");
    };
    ProtocolTimings t = FastRoad();
    t.gatewayGiveUpMs = 5000;
    CProtocolMgr mgr(t, lookup);
    mgr.SetGateway(L"first.gateway", L"2.0.0.1", room.gateway.Port());
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1, 8000));
    EXPECT_EQ(1u, Results()[0].wParam);
    EXPECT_EQ(5, heardBeforeSecond.load());
    EXPECT_EQ(inet_addr("127.0.0.1"), mgr.GatewayAddress());
    mgr.RequestStop();
}

TEST_F(ConnectRoad, IncompleteOrRefusedServerLists)
{
    ServerNode reg = Node(1, eServer_Reg, room.reg.Port()), file = Node(3, eServer_File, 9);
    ServerNode stream = Node(2, eServer_Stream, room.streams[0]->Port());
    std::vector<ServerNode> refusing = room.DefaultList();
    refusing[0].port = 9; // the registration server's: nothing listens on loopback's discard port
    struct Case {
        std::vector<ServerNode> list;
        uint16_t status;
        int code;
    } cases[] = {
        {{reg, file}, 1, -3}, {{reg, stream}, 1, -2}, {{stream, file}, 1, -4}, {{}, 1, -1}, {{reg, stream, file}, 0, -999},
        {refusing, 1, -4},
    };
    for (const Case& c : cases) {
        SetUp();
        window.sink.FreeAll();
        room.gateway.SetServerList(c.list, c.status);
        CProtocolMgr mgr(FastRoad());
        Connect(mgr);
        ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
        EXPECT_EQ(0u, Results()[0].wParam) << c.code;
        EXPECT_EQ(c.code, Results()[0].lParam);
        window.sink.PumpFor(20);
        EXPECT_EQ(0u, window.sink.Count(WM_USER_JOIN_ROOM_RESULT));
    }
}

TEST_F(ConnectRoad, AStopEndsTheRoadQuicklyWhereverItWaits)
{
    // Until the server list comes, then while every stream server keeps silent about its probes.
    room.gateway.SetServerListDelay(1000000);
    StopOnceReached(FastRoad(), [&] { return room.gateway.QueryCount(eType_ServerList) >= 3; });
    room.gateway.SetServerListDelay(0);
    for (FakeStreamServer* stream : room.streams) stream->SetSilent(true);
    ProtocolTimings t = FastRoad();
    t.probe.resultWaitMs = 10000;
    StopOnceReached(t, [&] { return room.streams[0]->ProbeCount() + room.streams[1]->ProbeCount() > 0; });
    EXPECT_EQ(0, room.reg.Accepted());
}

TEST_F(ConnectRoad, LostChannelThenReconnectWithTheSameChannel)
{
    room.gateway.SetVersionReply(0xF830); // counts as the current version
    CProtocolMgr mgr(FastRoad());
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
    // The client's side is connected before the server has taken the connection: drop it once it has.
    ASSERT_TRUE(room.reg.WaitForMessages(eType_JoinRoom, 1));
    room.reg.Drop();
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_OFFLINE, 1));
    ASSERT_TRUE(PumpUntil([&] { return !mgr.IsRunning(); }));
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 2));
    EXPECT_EQ(1u, Results()[1].wParam);
    EXPECT_TRUE(room.reg.WaitForMessages(eType_JoinRoom, 2)) << room.reg.Accepted() << " " << room.reg.Messages().size() << " " << room.reg.Fragments().size();
    EXPECT_EQ(2, room.reg.Accepted());
    mgr.RequestStop();
    window.sink.PumpFor(100);
    EXPECT_EQ(1u, window.sink.Count(WM_USER_OFFLINE));
}

TEST_F(ConnectRoad, SendsOfTheWindowsAndTheChannelReachTheRoom)
{
    CProtocolMgr mgr(FastRoad());
    Connect(mgr);
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
    CCmdProtocol* channel = mgr.Channel();
    ASSERT_TRUE(channel->SendChatMessage(ChatFont(), CString(L"hello")));
    ASSERT_TRUE(channel->SendClassState(SessionContext::Instance()->room));
    ASSERT_TRUE(channel->SendLiveDocument(LiveDocRecord{5, 2, 0x41}));
    ASSERT_TRUE(channel->SendFileNotice(CString(L"a.lvl"), CString(L"00"), 1, 2, 3));
    ASSERT_TRUE(channel->SendDrawPoints(0x12, 4242, StrokeHead{}, std::vector<StrokePoint>(677)));
    ASSERT_TRUE(channel->SendDrawElement(0x22, 4242, 1, 2, 3));
    ASSERT_TRUE(mgr.SendLiveWhiteboard(LiveWhiteboardRecord{3, 0x41}));
    ASSERT_TRUE(mgr.SendLiveCamera(LiveCameraRecord{1, 0x42}));
    ASSERT_TRUE(mgr.SendLiveScreenShare(true));
    ASSERT_TRUE(mgr.SendSpeakCommand(77, 131));
    ASSERT_TRUE(mgr.SendKickUser(78));
    ASSERT_TRUE(room.reg.WaitForMessages(eType_KickOff, 1));
    std::vector<Packet> m = room.reg.Messages();
    std::vector<uint16_t> types;
    for (const Packet& p : m) {
        types.push_back(p.header.type);
        EXPECT_EQ(1, p.header.serverId);
        EXPECT_EQ(4242u, p.header.sender);
    }
    ASSERT_EQ((std::vector<uint16_t>{803, 808, 811, 821, 825, 818, 818, 818, 818, 820, 822, 823, 810, 824}), types);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(20141129u, m[i].header.destination) << i;
    EXPECT_EQ(Bytes({5, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0x41}), m[3].payload);
    EXPECT_EQ(Bytes({3, 0, 0x41}), m[9].payload);
    EXPECT_EQ(Bytes({1, 0x42}), m[10].payload);
    EXPECT_EQ(Bytes({1}), m[11].payload);
    EXPECT_EQ(BuildSpeakPayload(20141129, 131), m[12].payload);
    EXPECT_EQ(77u, m[12].header.destination);
    EXPECT_EQ(BuildKickPayload(20141129), m[13].payload);
    EXPECT_EQ(78u, m[13].header.destination);
    mgr.RequestStop();
}

TEST_F(ConnectRoad, AClosedOrHostileGatewayCostsEveryMissTheWholeWait)
{
    // Each version query meets a closed port (Windows refuses it at once; under Wine the wait runs out).
    ProtocolTimings t = FastRoad();
    t.gatewayWaitMs = 500;
    t.gatewayGiveUpMs = 5000;
    size_t logStart = LogSize();
    {
        CProtocolMgr mgr(t);
        mgr.SetGateway(L"127.0.0.1", L"2.0.0.1", ClosedLoopbackPort(SOCK_DGRAM));
        ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1, 60000));
        EXPECT_EQ(0u, Results()[0].wParam);
        EXPECT_EQ(-8, Results()[0].lParam);
    }
    // About one line per wait of half a second, not a line per refusal.
    std::string log = LogFrom(logStart);
    EXPECT_LE(Occurrences(log, "\n"), 30u) << log.substr(0, 3000);
    EXPECT_LE(Occurrences(log, "refuses"), 1u) << log.substr(0, 3000);

    // A gateway that answers every server-list query at once with bytes that are no reply: each miss
    // still costs the whole wait, so the queries go out at that pace until the road is stopped.
    window.sink.FreeAll();
    room.gateway.SetShortServerListReplies(true);
    logStart = LogSize();
    CProtocolMgr mgr(t);
    Connect(mgr);
    ASSERT_TRUE(PumpUntil([&] { return room.gateway.QueryCount(eType_ServerList) >= 1; }));
    window.sink.PumpFor(3000);
    mgr.RequestStop();
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
    EXPECT_EQ(-8, Results()[0].lParam);
    EXPECT_LE(room.gateway.QueryCount(eType_ServerList), 3000 / 500 + 4);
    log = LogFrom(logStart);
    EXPECT_LE(Occurrences(log, "\n"), 20u) << log.substr(0, 3000);
}

TEST_F(ConnectRoad, AJoinRefusedOrTooShortToReadIsAFailedJoin)
{
    struct Case {
        uint16_t status;
        Bytes reply;
    } cases[] = {{5, Bytes()}, {1, Bytes(20, 0)}};
    for (const Case& c : cases) {
        window.sink.FreeAll();
        room.reg.SetJoinReply(c.status, c.reply);
        CProtocolMgr mgr(FastRoad());
        Connect(mgr);
        ASSERT_TRUE(window.sink.WaitFor(WM_USER_JOIN_ROOM_RESULT, 1));
        PostedMessage join = window.sink.Received(WM_USER_JOIN_ROOM_RESULT)[0];
        EXPECT_EQ(0u, join.wParam);
        EXPECT_EQ(c.status, join.lParam); // the reply's status: no record travels with a failure
        mgr.RequestStop();
    }
}

TEST_F(ConnectRoad, AStopWinsOverEveryLaterStepOfItsRoad)
{
    {
        // The stop comes before the road's thread has done anything.
        CProtocolMgr mgr(FastRoad());
        Connect(mgr);
        mgr.RequestStop();
        EXPECT_TRUE(mgr.Join(10000));
        window.sink.PumpFor(300);
        EXPECT_EQ(nullptr, mgr.Channel()->GetThreadHandle()) << "a receive thread started after the stop";
        EXPECT_FALSE(mgr.Channel()->IsConnected());
        EXPECT_EQ(0, room.reg.Accepted());
        EXPECT_EQ(0u, window.sink.Count(WM_USER_JOIN_ROOM_RESULT));
    }
    // The room holds the connect open: the stop ends it within the stop's bound, not the connect's.
    window.sink.FreeAll();
    ASSERT_TRUE(room.reg.HoldConnects(true));
    ProtocolTimings t = FastRoad();
    t.channel.connectWaitMs = 60000;
    CProtocolMgr mgr(t);
    Connect(mgr);
    ASSERT_TRUE(PumpUntil([&] { return room.streams[0]->ProbeCount() + room.streams[1]->ProbeCount() >= 18; }));
    window.sink.PumpFor(300); // the road is at its connect by now
    mgr.RequestStop();
    EXPECT_TRUE(mgr.Join(10000));
    EXPECT_EQ(nullptr, mgr.Channel()->GetThreadHandle());
    EXPECT_FALSE(mgr.Channel()->IsConnected());
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CONNECT_RESULT, 1));
    EXPECT_EQ(0u, Results()[0].wParam);
    room.reg.HoldConnects(false);
    window.sink.PumpFor(300);
    EXPECT_TRUE(room.reg.Messages(eType_JoinRoom).empty());
    EXPECT_EQ(0u, window.sink.Count(WM_USER_JOIN_ROOM_RESULT));
    EXPECT_EQ(0u, window.sink.Count(WM_USER_OFFLINE));
}

// A name server that keeps silent about one host until the test lets it answer.
struct HeldLookup {
    HANDLE entered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~HeldLookup()
    {
        CloseHandle(entered);
        CloseHandle(release);
    }
};

DWORD WINAPI DestroyManager(void* manager)
{
    delete static_cast<CProtocolMgr*>(manager);
    return 0;
}

TEST_F(ConnectRoad, ShutDownWhileTheConnectionThreadIsStuckInANameLookupEndsAndLeavesItWhole)
{
    room.gateway.SetSilent(true);
    SessionContext* session = SessionContext::Instance();
    session->secondGatewayHost = L"slow.gateway.test"; // looked up after the fifth miss
    ProtocolTimings t = FastRoad();
    t.gatewayGiveUpMs = 60000;
    auto held = std::make_shared<HeldLookup>();
    // The manager keeps the only other hold on the lookup, so the count shows when its state is freed.
    auto* mgr = new CProtocolMgr(t, [held](const CString& host) {
        uint32_t address = INADDR_NONE;
        if (host != L"slow.gateway.test") return ResolveIPv4(host, address) ? address : INADDR_NONE;
        SetEvent(held->entered);
        WaitForSingleObject(held->release, INFINITE);
        return address;
    });
    Connect(*mgr);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held->entered, 10000));

    // The main window's teardown: the stop waits its bound and gives up, then the session ends.
    mgr->RequestStop();
    EXPECT_TRUE(mgr->IsRunning());
    SessionContext::Destroy();
    HANDLE road = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), mgr->GetThreadHandle(), GetCurrentProcess(), &road, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));

    // The exit's destruction, on a thread of its own: a wait without end fails here instead of hanging.
    size_t logStart = LogSize();
    HANDLE destroyer = CreateThread(nullptr, 0, &DestroyManager, mgr, 0, nullptr);
    ASSERT_NE(nullptr, destroyer);
    bool destroyed = WaitForSingleObject(destroyer, 15000) == WAIT_OBJECT_0;
    if (!destroyed) SetEvent(held->release);
    CloseHandle(destroyer);
    ASSERT_TRUE(destroyed) << "the destructor waits for the thread in the name lookup";
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(road, 0));
    EXPECT_EQ(2, held.use_count()) << "the state of the thread in the lookup was freed under it";
    std::string log = LogFrom(logStart);
    EXPECT_NE(std::string::npos, log.find("is left to end by itself")) << log;

    // The name server answers at last: the thread ends on the state it holds, reports nothing and
    // frees that state itself.
    SetEvent(held->release);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(road, 10000));
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeThread(road, &exitCode));
    EXPECT_EQ(0u, exitCode);
    CloseHandle(road);
    EXPECT_EQ(1, held.use_count()) << "the late thread did not free the state it held";
    window.sink.PumpFor(100);
    EXPECT_EQ(nullptr, SessionContext::Existing()) << "the late thread made a new context during the exit";
    EXPECT_EQ(0u, window.sink.Count(WM_USER_CONNECT_RESULT));
    // The context the thread could still reach is whole: kept, without its window.
    EXPECT_EQ(nullptr, session->mainWindow);
    EXPECT_EQ(CString(L"slow.gateway.test"), session->GetSecondGatewayHost());
    EXPECT_EQ(321, session->room.maxAudience);
}

TEST(AlternativeStreamServer, PrefersAnotherFlaggedLineThenAnotherServerOfTheSameLine)
{
    SessionWindow window;
    FakeGateway gateway;
    SessionContext* s = SessionContext::Instance();
    s->configuredStreamServer = ServerNode{};
    struct Case {
        const char* name;
        std::vector<ServerNode> list;
        ServerNode current;
        int answer;
        uint16_t id;
    } cases[] = {
        {"other flagged line", {Node(1, eServer_Reg, 1), Node(10, eServer_Stream, 1, 1, 1, 0), Node(11, eServer_Stream, 1, 1),
                                Node(12, eServer_Stream, 1, 2, 1, 1)}, Node(10, eServer_Stream, 1, 1), 1, 12},
        {"same line", {Node(10, eServer_Stream, 1, 1), Node(11, eServer_Stream, 1, 1)}, Node(10, eServer_Stream, 1, 1), 1, 11},
        {"nothing else", {Node(10, eServer_Stream, 1, 1)}, Node(10, eServer_Stream, 1, 1), 0, 99},
    };
    for (const Case& c : cases) {
        std::vector<ServerNode> list = c.list;
        list.push_back(Node(2, eServer_Reg, 1));
        list.push_back(Node(3, eServer_File, 1));
        gateway.SetServerList(list);
        ProtocolTimings t = FastRoad();
        CProtocolMgr mgr(t);
        s->gatewayHost = L"127.0.0.1";
        mgr.SetGateway(L"127.0.0.1", L"1.0.0.0", gateway.Port());
        ASSERT_TRUE(PumpUntil([&] { return !mgr.ServerList().empty(); }));
        mgr.RequestStop();
        s->streamServer = c.current;
        ServerNode out = Node(99, eServer_Stream, 0);
        EXPECT_EQ(c.answer, mgr.PickAlternativeStreamServer(out)) << c.name;
        EXPECT_EQ(c.id, out.id) << c.name;
    }
}

} // namespace
