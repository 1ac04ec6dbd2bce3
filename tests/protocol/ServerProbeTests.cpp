// Probe rounds against loopback stream servers, and the ranking and line choice that follow.
#include "tests/protocol/ProtocolTestUtil.h"

#include "protocol/ServerProbe.h"

#include <tlhelp32.h>
#include <algorithm>
#include <set>

using namespace fakeroom;

namespace {

ProbeTimings FastProbe(DWORD resultWaitMs = 300)
{
    ProbeTimings t;
    t.resultWaitMs = resultWaitMs;
    t.receiveWaitMs = 10;
    return t;
}

ProbeResult Result(uint16_t id, uint32_t mean, uint16_t lost, uint16_t jitter, uint32_t capacity, uint32_t load,
                   uint16_t lineKey = 1, uint16_t lineFlag = 0)
{
    ProbeResult r{Node(id, eServer_Stream, 1, lineKey, 1, lineFlag), ResetProbeStats()};
    r.stats.mean = mean;
    r.stats.lost = lost;
    r.stats.jitter = jitter;
    r.stats.capacity = capacity;
    r.stats.load = load;
    return r;
}

std::vector<uint16_t> Ids(const std::vector<ProbeResult>& results)
{
    std::vector<uint16_t> ids;
    for (const ProbeResult& r : results) ids.push_back(r.node.id);
    return ids;
}

TEST(ProbeRanking, ScoresLossThenJitterAndDelayThenLoad)
{
    EXPECT_EQ((1u * 10000 + 3 + 20) * 100 + 50u, ProbeScore(Result(1, 20, 1, 3, 100, 50).stats));
    EXPECT_EQ(2000u, ProbeScore(Result(1, 20, 0, 0, 0, 7).stats)); // no capacity: no load share
    struct Case {
        const char* name;
        std::vector<ProbeResult> in;
        std::vector<uint16_t> order;
    } cases[] = {
        {"lower score first", {Result(1, 50, 0, 0, 100, 0), Result(2, 10, 0, 0, 100, 0), Result(3, 30, 0, 0, 100, 0)}, {2, 3, 1}},
        {"one loss outweighs delay", {Result(1, 5, 1, 0, 100, 0), Result(2, 900, 0, 0, 100, 0)}, {2, 1}},
        {"equal scores keep probing order", {Result(1, 10, 0, 0, 100, 0), Result(2, 10, 0, 0, 100, 0), Result(3, 10, 0, 0, 100, 0)}, {1, 2, 3}},
        {"a full server never moves ahead of one that is not",
         {Result(1, 900, 2, 0, 100, 10), Result(2, 1, 0, 0, 50, 50)}, {1, 2}},
        {"no capacity ranks last", {Result(1, 0, 0, 0, 0, 0), Result(2, 300, 3, 9, 100, 10)}, {2, 1}},
    };
    for (Case& c : cases) {
        RankProbeResults(c.in);
        EXPECT_EQ(c.order, Ids(c.in)) << c.name;
    }
}

TEST(ProbeRanking, LineChoice)
{
    struct Case {
        const char* name;
        std::vector<ProbeResult> ranked;
        uint16_t line;
    } cases[] = {
        {"nothing probed", {}, 0},
        {"only flag 0", {Result(1, 20, 0, 0, 100, 0, 4, 0), Result(2, 30, 0, 0, 100, 0, 5, 0)}, 4},
        {"only flag 1", {Result(1, 20, 0, 0, 100, 0, 6, 1)}, 6},
        {"B clearly worse", {Result(1, 20, 0, 0, 100, 0, 1, 0), Result(2, 160, 2, 0, 100, 0, 2, 1)}, 1},
        {"B slower but fine", {Result(1, 20, 0, 0, 100, 0, 1, 0), Result(2, 90, 2, 0, 100, 0, 2, 1)}, 2},
        {"B lost only one", {Result(1, 20, 0, 0, 100, 0, 1, 0), Result(2, 160, 1, 0, 100, 0, 2, 1)}, 2},
    };
    for (const Case& c : cases) EXPECT_EQ(c.line, ChooseLine(c.ranked)) << c.name;
}

TEST(ProbeRanking, LineCandidatesAndKindCheck)
{
    std::vector<ServerNode> list = {Node(1, eServer_Stream, 1, 7, 5), Node(2, eServer_Stream, 1, 7, 9),
                                    Node(3, eServer_Stream, 1, 7, 9), Node(4, eServer_Stream, 1, 2, 1),
                                    Node(5, eServer_Reg, 1, 1, 99)};
    std::vector<ServerNode> candidates = LineCandidates(list);
    ASSERT_EQ(2u, candidates.size());
    EXPECT_EQ(4, candidates[0].id); // line 2 before line 7
    EXPECT_EQ(3, candidates[1].id); // the later of the two weights 9

    ServerNode reg = Node(1, eServer_Reg, 1), stream = Node(2, eServer_Stream, 1), file = Node(3, eServer_File, 1);
    ServerNode odd = Node(4, 9, 1), invalid = Node(5, eServer_Invalid, 1);
    struct Case {
        std::vector<ServerNode> list;
        int code;
    } cases[] = {
        {{}, -1}, {{reg, stream, file}, 0}, {{reg, stream}, -2}, {{reg, file}, -3}, {{stream, file}, -4},
        {{file}, -5}, {{stream}, -6}, {{reg}, -7}, {{reg, stream, odd}, 0}, {{reg, stream, invalid}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(c.code, CheckServerKinds(c.list)) << c.list.size();
}

TEST(ServerProbeRound, MeasuresEchoesWithCapacityAndLoad)
{
    FakeStreamServer server;
    server.SetDelay(30);
    server.SetCapacity(200, 50, 9);
    CServerProbe probe(FastProbe(1500));
    ASSERT_TRUE(probe.Ok());
    probe.Start(inet_addr("127.0.0.1"), server.Port(), 5);
    ProbeStats stats;
    EXPECT_EQ(5u, probe.Result(stats));
    EXPECT_EQ(0, stats.lost);
    EXPECT_GE(stats.mean, 25u);
    EXPECT_LT(stats.mean, 400u);
    EXPECT_LE(stats.minimum, stats.mean);
    EXPECT_GE(stats.maximum, stats.mean);
    EXPECT_EQ(200u, stats.capacity);
    EXPECT_EQ(50u, stats.load);
    EXPECT_EQ(9, stats.serverValue);
    EXPECT_EQ(5, server.ProbeCount());
}

TEST(ServerProbeRound, LostEchoesShortEchoesAndSilence)
{
    FakeStreamServer lossy, shorty, silent;
    lossy.SetLossPerRound(2);
    shorty.SetEchoLength(37);
    silent.SetSilent(true);
    CServerProbe probe(FastProbe(200));
    ProbeStats stats;

    probe.Start(inet_addr("127.0.0.1"), lossy.Port(), 8);
    EXPECT_EQ(6u, probe.Result(stats));
    EXPECT_EQ(2, stats.lost); // real losses; the mean divides by the 6 that came
    EXPECT_LT(stats.mean, 200u);

    probe.Start(inet_addr("127.0.0.1"), shorty.Port(), 3);
    EXPECT_EQ(0u, probe.Result(stats));
    EXPECT_EQ(3, stats.lost);

    probe.Start(inet_addr("127.0.0.1"), silent.Port(), 5);
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, probe.Result(stats));
    EXPECT_GE(GetTickCount() - start, 150u);
    EXPECT_EQ(5, stats.lost);
    EXPECT_EQ(0u, stats.mean);
    EXPECT_EQ(0u, stats.capacity);
    EXPECT_EQ(0u, stats.load);
}

TEST(ServerProbeRound, EchoesOfARoundNeverCountInTheNext)
{
    // One server answers its round and then keeps sending that round's echoes again; the round that
    // follows measures a server that loses three of five, while the late echoes keep arriving.
    FakeStreamServer replaying, lossy;
    replaying.SetReplayEchoes(true);
    lossy.SetLossPerRound(3);
    lossy.SetCapacity(300, 30);
    CServerProbe probe(FastProbe(1500));
    ProbeStats stats;
    for (int i = 0; i < 4; ++i) {
        probe.Start(inet_addr("127.0.0.1"), replaying.Port(), 2);
        probe.Result(stats);
        Sleep(30); // the replays are under way
        probe.Start(inet_addr("127.0.0.1"), lossy.Port(), 5);
        ASSERT_EQ(2u, probe.Result(stats)) << "round pair " << i;
        ASSERT_EQ(3, stats.lost);
        ASSERT_EQ(300u, stats.capacity); // nothing of the other server's echoes
    }
}

TEST(ServerProbeRound, AServerThatIsGoneDoesNotEndProbing)
{
    uint16_t closedPort;
    {
        FakeStreamServer gone;
        closedPort = gone.Port();
    }
    FakeStreamServer alive;
    CServerProbe probe(FastProbe(150));
    ProbeStats stats;
    probe.Start(inet_addr("127.0.0.1"), closedPort, 4); // answered by port-unreachable reports, if at all
    EXPECT_EQ(0u, probe.Result(stats));
    Sleep(50);
    probe.Start(inet_addr("127.0.0.1"), alive.Port(), 4);
    EXPECT_EQ(4u, probe.Result(stats));
    EXPECT_EQ(0, stats.lost);
}

// The threads of this process, by id.
std::set<DWORD> ProcessThreads()
{
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
    }
    CloseHandle(snapshot);
    return ids;
}

TEST(ServerProbeRound, DestroyedWhileEchoesArrive)
{
    // The destructor ends the receive thread before the round state goes: no thread outlives it,
    // and the server it was measuring serves the next probe in full.
    FakeStreamServer server;
    const std::set<DWORD> before = ProcessThreads();
    for (int i = 0; i < 5; ++i) {
        {
            CServerProbe probe(FastProbe());
            probe.Start(inet_addr("127.0.0.1"), server.Port(), 20);
            EXPECT_GT(ProcessThreads().size(), before.size());
            Sleep(i); // the receive thread is in the middle of the echoes
        }
        std::set<DWORD> after = ProcessThreads();
        EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end())) << "round " << i;
    }
    CServerProbe probe(FastProbe());
    ProbeStats stats;
    probe.Start(inet_addr("127.0.0.1"), server.Port(), 4);
    EXPECT_EQ(4u, probe.Result(stats));
}

} // namespace
