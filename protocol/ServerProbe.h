// Measures stream servers with rounds of UDP echo datagrams (command 802) and ranks them by loss,
// jitter, delay and load.
#pragma once
#include "core/ServerNode.h"
#include "protocol/CmdProtocol.h"
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#pragma pack(push, 1)
struct ProbeStats {
    uint32_t mean;     // ms
    uint32_t capacity; // from the server's echo
    uint32_t load;     // from the server's echo
    uint16_t serverValue;
    uint16_t minimum;
    uint16_t maximum;
    uint16_t lost;
    uint16_t jitter;
};
#pragma pack(pop)
static_assert(sizeof(ProbeStats) == 22, "ProbeStats is 22 bytes");

// All zero with the minimum at its "nothing measured" mark.
ProbeStats ResetProbeStats();
// Before the first round: mean, capacity and load at their "never measured" mark too.
ProbeStats InitialProbeStats();

struct ProbeResult {
    ServerNode node;
    ProbeStats stats;
};

struct ProbeTimings {
    DWORD resultWaitMs = 1500;  // longest wait for the echoes of one round
    DWORD receiveWaitMs = 50;   // one wait of the receive thread before it looks at its stop flag
};

const size_t kProbeDatagram = 1400;
const size_t kProbeEchoMinimum = 38; // the server adds capacity, load and value up to offset 38

class CServerProbe {
public:
    explicit CServerProbe(const ProbeTimings& timings = ProbeTimings());
    // Stops and joins the receive thread before the round state goes away.
    ~CServerProbe();
    CServerProbe(const CServerProbe&) = delete;
    CServerProbe& operator=(const CServerProbe&) = delete;

    bool Ok() const { return m_socket != INVALID_SOCKET && m_thread; }
    // Asks the receive thread to end (it looks at the request after each receive wait).
    void RequestStop() { m_stop = true; }
    // Waits for the receive thread to end; true when it has (or never ran).
    bool Join(DWORD timeoutMs) const;
    // Begins a round of n datagrams to address (network order) and port (host order).
    void Start(uint32_t address, uint16_t port, uint8_t n);
    // Sends the next round of n datagrams to the current target.
    void Send(uint8_t n);
    // Waits for the round (or until abort is signalled) and finishes it; answers the echoes received.
    uint32_t Result(ProbeStats& stats, HANDLE abort = nullptr);
    uint16_t Round() const;

private:
    static DWORD WINAPI ThreadProc(void* self);
    void ReceiveLoop();
    // Sends n datagrams tagged with the current round number.
    void SendRound(uint8_t n);
    void OnEcho(const uint8_t* bytes, size_t length, const sockaddr_in& from);
    void FinishRound(); // with m_lock held

    WinsockUser m_winsock;
    ProbeTimings m_timings;
    sockaddr_in m_target{};
    HANDLE m_thread = nullptr;
    HANDLE m_roundDone = nullptr;
    std::atomic<bool> m_stop{false};
    // Echoes arrive on the receive thread while the manager starts and reads rounds.
    mutable std::mutex m_lock;
    bool m_active = false;
    bool m_finished = false;
    uint32_t m_expected = 0;
    uint32_t m_received = 0;
    uint32_t m_sum = 0;
    ProbeStats m_stats = InitialProbeStats();
    uint16_t m_round = 1;
    std::vector<uint16_t> m_samples;
    SOCKET m_socket = INVALID_SOCKET;
};

// The score that orders probed servers (lower is better).
uint32_t ProbeScore(const ProbeStats& stats);
// Stable ranking: a full server never moves ahead of one that is not, a lower score goes first, and
// servers that reported no capacity go last.
void RankProbeResults(std::vector<ProbeResult>& results);
// The line to use: the best line of flag 0 unless the best of the other class is clearly better.
uint16_t ChooseLine(const std::vector<ProbeResult>& ranked);
// Per line key, ascending: the stream server with the greatest weight (the later one on a tie).
std::vector<ServerNode> LineCandidates(const std::vector<ServerNode>& list);
// 0 when registration, stream and file servers are all present, else the error code -1 to -7.
int CheckServerKinds(const std::vector<ServerNode>& list);
