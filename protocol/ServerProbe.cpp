#include "protocol/ServerProbe.h"

#include "core/Logger.h"
#include "protocol/PacketHeader.h"
#include <mmsystem.h>
#include <cmath>
#include <cstring>
#include <map>

ProbeStats ResetProbeStats()
{
    ProbeStats stats{};
    stats.minimum = 0x66FF;
    return stats;
}

ProbeStats InitialProbeStats()
{
    ProbeStats stats = ResetProbeStats();
    stats.mean = stats.capacity = stats.load = 0x0EFFFFFF;
    return stats;
}

CServerProbe::CServerProbe(const ProbeTimings& timings) : m_timings(timings)
{
    m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    m_roundDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_socket == INVALID_SOCKET || !m_roundDone) {
        LOG_ERROR(L"probe socket or event not created (%d)", WSAGetLastError());
        return;
    }
    m_thread = CreateThread(nullptr, 0, &CServerProbe::ThreadProc, this, 0, nullptr);
}

CServerProbe::~CServerProbe()
{
    m_stop = true;
    if (m_thread) {
        // Ends within one receive wait; the connection manager frees its probe only after that.
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    if (m_roundDone) CloseHandle(m_roundDone);
}

bool CServerProbe::Join(DWORD timeoutMs) const
{
    return !m_thread || WaitForSingleObject(m_thread, timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI CServerProbe::ThreadProc(void* self)
{
    static_cast<CServerProbe*>(self)->ReceiveLoop();
    return 0;
}

uint16_t CServerProbe::Round() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_round;
}

void CServerProbe::Start(uint32_t address, uint16_t port, uint8_t n)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        // The new round's number is taken together with the reset: an echo of the last round that
        // arrives between the two would otherwise count in this one.
        m_round++;
        ResetEvent(m_roundDone);
        m_active = true;
        m_finished = false;
        m_expected = n;
        m_received = 0;
        m_sum = 0;
        m_samples.clear();
        m_stats = ResetProbeStats();
        m_target = sockaddr_in{};
        m_target.sin_family = AF_INET;
        m_target.sin_addr.s_addr = address;
        m_target.sin_port = htons(port);
    }
    SendRound(n);
}

void CServerProbe::Send(uint8_t n)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_round++;
    }
    SendRound(n);
}

void CServerProbe::SendRound(uint8_t n)
{
    uint8_t datagram[kProbeDatagram] = {};
    sockaddr_in target;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        PacketHeader header{};
        header.type = eType_Probe;
        header.length = kFragmentPayload;
        header.messageId = m_round;
        header.fragmentCount = n;
        header.sender = 100;
        header.serverId = 100;
        memcpy(datagram, &header, sizeof(header));
        target = m_target;
    }
    uint32_t sent = timeGetTime();
    memcpy(datagram + 24, &sent, 4);
    for (uint8_t i = 1; i <= n; ++i) {
        datagram[10] = i;
        if (sendto(m_socket, reinterpret_cast<const char*>(datagram), sizeof(datagram), 0,
                   reinterpret_cast<const sockaddr*>(&target), sizeof(target)) == SOCKET_ERROR) {
            LOG_ERROR(L"probe %u of %u not sent to %S (%d)", i, n, inet_ntoa(target.sin_addr), WSAGetLastError());
        }
    }
}

void CServerProbe::ReceiveLoop()
{
    uint8_t buffer[1500];
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval wait{static_cast<long>(m_timings.receiveWaitMs / 1000),
                     static_cast<long>(m_timings.receiveWaitMs % 1000) * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == 0) continue;
        if (ready == SOCKET_ERROR) {
            LOG_ERROR(L"probe socket failed (%d); probing ends", WSAGetLastError());
            return;
        }
        sockaddr_in from{};
        int size = sizeof(from);
        int n = recvfrom(m_socket, reinterpret_cast<char*>(buffer), sizeof(buffer), 0,
                         reinterpret_cast<sockaddr*>(&from), &size);
        // A port-unreachable report of an earlier probe is not a failure of our socket.
        if (n == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAECONNRESET || error == WSAEMSGSIZE) continue;
            LOG_ERROR(L"probe socket failed (%d); probing ends", error);
            return;
        }
        OnEcho(buffer, static_cast<size_t>(n), from);
    }
}

void CServerProbe::OnEcho(const uint8_t* bytes, size_t length, const sockaddr_in& from)
{
    uint32_t now = timeGetTime();
    uint16_t type = 0;
    if (length >= 2) memcpy(&type, bytes, 2);
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_active || type != eType_Probe) return;
    if (length < kProbeEchoMinimum) {
        LOG_ERROR(L"probe echo of %u bytes from %S dropped: too short", static_cast<unsigned>(length),
                  inet_ntoa(from.sin_addr));
        return;
    }
    uint16_t round;
    uint32_t sent;
    memcpy(&round, bytes + 8, 2);
    memcpy(&sent, bytes + 24, 4);
    // Late echoes of an earlier round, and extra echoes of a finished one, change nothing.
    if (round != m_round || m_finished || m_received >= m_expected) return;
    uint32_t elapsed = now - sent;
    uint16_t time = static_cast<uint16_t>(elapsed > 0xFFFF ? 0xFFFF : elapsed);
    m_received++;
    m_samples.push_back(time);
    m_sum += time;
    if (time < m_stats.minimum) m_stats.minimum = time;
    if (time > m_stats.maximum) m_stats.maximum = time;
    memcpy(&m_stats.capacity, bytes + 28, 4);
    memcpy(&m_stats.load, bytes + 32, 4);
    memcpy(&m_stats.serverValue, bytes + 36, 2);
    Logger::Instance().Write(L"seq = %d, cur = %d, total = %d, es = %d, rcved = %d, totalrout = %d, ip = %S\r\n",
                             round, bytes[10], bytes[11], time, m_received, m_sum, inet_ntoa(from.sin_addr));
    if (m_received == m_expected) {
        FinishRound();
        SetEvent(m_roundDone);
    }
}

void CServerProbe::FinishRound()
{
    if (m_finished) return;
    m_finished = true;
    // Real losses; the mean divides by what actually arrived (at least 1).
    m_stats.lost = static_cast<uint16_t>(m_expected - m_received);
    m_stats.mean = m_sum / (m_received ? m_received : 1);
    if (!m_samples.empty()) {
        uint64_t total = 0;
        for (uint16_t s : m_samples) total += s;
        m_stats.mean = static_cast<uint32_t>(total / m_samples.size());
        double squares = 0;
        for (uint16_t s : m_samples) {
            double d = static_cast<double>(s) - m_stats.mean;
            squares += d * d;
        }
        m_stats.jitter = static_cast<uint16_t>(std::floor(std::sqrt(squares / m_samples.size()) + 0.5));
    }
}

uint32_t CServerProbe::Result(ProbeStats& stats, HANDLE abort)
{
    HANDLE waits[2] = {m_roundDone, abort};
    WaitForMultipleObjects(abort ? 2 : 1, waits, FALSE, m_timings.resultWaitMs);
    std::lock_guard<std::mutex> lock(m_lock);
    FinishRound();
    m_active = false;
    stats = m_stats;
    return m_received;
}

uint32_t ProbeScore(const ProbeStats& s)
{
    uint32_t lost = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(s.lost)));
    uint32_t jitter = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(s.jitter)));
    uint32_t score = (lost * 10000u + jitter + s.mean) * 100u;
    if (s.capacity) score += s.load * 100u / s.capacity;
    return score;
}

static bool IsFull(const ProbeStats& s) { return s.load >= s.capacity; }

// X goes before Y only when X is not full or Y is, and X scores lower.
static bool RanksBefore(const ProbeResult& x, const ProbeResult& y)
{
    return (x.stats.load != x.stats.capacity || IsFull(y.stats)) && ProbeScore(x.stats) < ProbeScore(y.stats);
}

static void MergeSort(std::vector<ProbeResult>& items, std::vector<ProbeResult>& scratch, size_t first, size_t last)
{
    if (last - first < 2) return;
    size_t middle = first + (last - first) / 2;
    MergeSort(items, scratch, first, middle);
    MergeSort(items, scratch, middle, last);
    size_t left = first, right = middle, out = first;
    while (left < middle && right < last) {
        // The right one moves ahead only when it strictly ranks before: equal ones keep their order.
        scratch[out++] = RanksBefore(items[right], items[left]) ? items[right++] : items[left++];
    }
    while (left < middle) scratch[out++] = items[left++];
    while (right < last) scratch[out++] = items[right++];
    for (size_t i = first; i < last; ++i) items[i] = scratch[i];
}

void RankProbeResults(std::vector<ProbeResult>& results)
{
    // A capacity of 0 leaves the load share undefined: such servers are ranked after all others.
    std::vector<ProbeResult> measured, unknown;
    for (const ProbeResult& r : results) (r.stats.capacity ? measured : unknown).push_back(r);
    std::vector<ProbeResult> scratch(measured.size());
    MergeSort(measured, scratch, 0, measured.size());
    scratch.assign(unknown.size(), ProbeResult{});
    MergeSort(unknown, scratch, 0, unknown.size());
    results = measured;
    results.insert(results.end(), unknown.begin(), unknown.end());
}

uint16_t ChooseLine(const std::vector<ProbeResult>& ranked)
{
    const ProbeResult* a = nullptr;
    const ProbeResult* b = nullptr;
    for (const ProbeResult& r : ranked) {
        if (r.node.lineFlag == 0 && !a) a = &r;
        if (r.node.lineFlag != 0 && !b) b = &r;
    }
    if (!a && !b) return 0;
    if (!b) return a->node.lineKey;
    if (!a) return b->node.lineKey;
    bool bClearlyWorse = b->stats.mean > 5u * a->stats.mean && b->stats.mean > 150 && b->stats.lost >= 2;
    return bClearlyWorse ? a->node.lineKey : b->node.lineKey;
}

std::vector<ServerNode> LineCandidates(const std::vector<ServerNode>& list)
{
    std::map<uint16_t, ServerNode> best;
    for (const ServerNode& node : list) {
        if (node.kind != eServer_Stream) continue;
        auto it = best.find(node.lineKey);
        if (it == best.end() || node.weight >= it->second.weight) best[node.lineKey] = node;
    }
    std::vector<ServerNode> candidates;
    for (const auto& entry : best) candidates.push_back(entry.second);
    return candidates;
}

int CheckServerKinds(const std::vector<ServerNode>& list)
{
    if (list.empty()) return -1;
    bool reg = false, stream = false, file = false;
    for (const ServerNode& node : list) {
        if (node.kind == eServer_Reg) reg = true;
        else if (node.kind == eServer_Stream) stream = true;
        else file = true; // kind 0 and kinds above 3 count as file servers here
    }
    if (reg && stream && file) return 0;
    if (!reg && !stream) return -5;
    if (!reg && !file) return -6;
    if (!stream && !file) return -7;
    if (!reg) return -4;
    if (!stream) return -3;
    return -2;
}
