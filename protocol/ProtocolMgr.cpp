#include "protocol/ProtocolMgr.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "protocol/HostAddress.h"
#include "protocol/WireFormat.h"
#include <ws2tcpip.h>
#include <process.h>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

namespace {

const size_t kGatewayBuffer = 1400;

CString DottedAddress(uint32_t address)
{
    in_addr a;
    a.s_addr = address;
    return AnsiToWide(inet_ntoa(a));
}

bool Complete(const ServerNode& node)
{
    return node.address != 0 && node.port != 0;
}

const ServerNode* FirstOfKind(const std::vector<ServerNode>& list, uint8_t kind)
{
    for (const ServerNode& node : list) {
        if (node.kind == kind) return &node;
    }
    return nullptr;
}

// "a.b.c.d" with blanks removed; a missing '.' leaves that number and the later ones 0.
void ParseVersion(CString text, uint16_t parts[4])
{
    text.Remove(L' ');
    parts[0] = parts[1] = parts[2] = parts[3] = 0;
    int start = 0;
    for (int i = 0; i < 3; ++i) {
        int dot = text.Find(L'.', start);
        if (dot < 0) return;
        parts[i] = static_cast<uint16_t>(_wtoi(text.Mid(start, dot - start)));
        start = dot + 1;
    }
    parts[3] = static_cast<uint16_t>(_wtoi(text.Mid(start)));
}

} // namespace

// What one road needs and what the windows reach through the manager. A running road holds it as
// well as the manager, so a manager that gives up waiting for a stuck thread frees nothing that
// thread still uses.
class CProtocolMgr::Road {
public:
    Road(const ProtocolTimings& timings, HostLookup lookup);
    ~Road();
    Road(const Road&) = delete;
    Road& operator=(const Road&) = delete;

    void Run();
    // Ends the road in progress: the abort flag, the waits it may sit in, the command channel.
    void Stop();
    uint32_t LookUpHost(const CString& host);
    std::vector<ServerNode> ServerList() const;
    int PickAlternativeStreamServer(ServerNode& node);

    // The steps of the road, each on the connection thread.
    int QueryGateway(); // 1 current, 0 update announced, -1 no answer
    bool QueryServerList();
    bool SelectServers();
    bool ResolveServers();
    bool ConnectCommandServer();
    void ResolveGatewayHost();
    std::vector<ProbeResult> ProbeCandidates(const std::vector<ServerNode>& nodes, uint8_t n);

    bool Aborted() const { return m_abort || m_shutdown; }
    bool EnsureSocket();
    bool SendDatagram(const std::vector<uint8_t>& bytes);
    // Waits for one datagram; answers its size when it is accepted, 0 when it is not, kNoDatagram
    // when none came within the wait and kRefused when the gateway's port is closed.
    int ReceiveDatagram();
    static const int kNoDatagram = -1;
    static const int kRefused = -2;
    // Says once per road that the gateway refuses.
    void NoteRefusal();
    // Waits (or until a stop) for what is left of one gateway wait since passStart.
    void WaitOutPass(DWORD passStart);
    // False when the manager is gone, there is no main window or the post failed; lParam is then
    // still the caller's.
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);

    WinsockUser m_winsock;
    const ProtocolTimings m_timings;
    const HostLookup m_lookup;
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_shutdown{false}; // the manager is being destroyed: the road reports nothing
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_updateAnnounced{false};
    std::atomic<bool> m_refusalLogged{false};
    HANDLE m_abortEvent = nullptr; // wakes a probe or gateway wait when the road is stopped
    mutable std::mutex m_lock;     // guards the stored gateway values and the server list
    CString m_version;
    CString m_gatewayHost;
    int32_t m_gatewayPort = 0;
    std::atomic<uint32_t> m_gatewayAddress{0};
    SOCKET m_socket = INVALID_SOCKET;
    std::vector<uint8_t> m_datagram;
    uint8_t m_gatewayExtra = 0;
    std::vector<ServerNode> m_servers;
    std::unique_ptr<CCmdProtocol> m_channel;
    std::atomic<int> m_mode{eMode_Connect};
    std::atomic<int> m_error{0};
    CServerProbe m_probe;
};

CProtocolMgr::Road::Road(const ProtocolTimings& timings, HostLookup lookup)
    : m_timings(timings), m_lookup(std::move(lookup)), m_datagram(kGatewayBuffer),
      m_channel(new CCmdProtocol(timings.channel)), m_probe(timings.probe)
{
    m_abortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CProtocolMgr::Road::~Road()
{
    // Runs when neither the manager nor a road holds it any more; the channel's and the probe's
    // threads have been stopped by then and end within one receive wait.
    m_channel.reset();
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    if (m_abortEvent) CloseHandle(m_abortEvent);
}

void CProtocolMgr::Road::Stop()
{
    m_abort = true;
    if (m_abortEvent) SetEvent(m_abortEvent);
    m_channel->RequestStop();
}

uint32_t CProtocolMgr::Road::LookUpHost(const CString& host)
{
    if (m_lookup) return m_lookup(host);
    uint32_t address = INADDR_NONE;
    if (!ResolveIPv4(host, address)) {
        LOG_ERROR(L"gateway host %s not resolved (%d)", host.GetString(), WSAGetLastError());
        return INADDR_NONE;
    }
    return address;
}

CProtocolMgr* CProtocolMgr::Instance()
{
    static CProtocolMgr manager;
    return &manager;
}

CProtocolMgr::CProtocolMgr(const ProtocolTimings& timings, HostLookup lookup)
    : m_road(std::make_shared<Road>(timings, std::move(lookup)))
{
}

CProtocolMgr::~CProtocolMgr()
{
    Road& road = *m_road;
    road.m_shutdown = true;
    road.m_probe.RequestStop();
    road.Stop();
    // One bound for all three threads: the stops above have woken each of them.
    const DWORD bound = road.m_timings.stopWaitMs;
    const DWORD start = GetTickCount();
    auto left = [&] {
        DWORD spent = GetTickCount() - start;
        return spent < bound ? bound - spent : 0;
    };
    bool roadEnded = Join(left());
    bool othersEnded = road.m_probe.Join(left()) && road.m_channel->Join(left());
    if (!roadEnded) {
        // Typically a name lookup that a silent name server holds; nothing interrupts it.
        LOG_ERROR(L"the connection thread %u has not ended %u ms after the stop; it is left to end by itself "
                  L"and then frees what it holds", GetThreadId(), static_cast<unsigned>(bound));
    }
    if (!othersEnded) {
        LOG_ERROR(L"the probe or command-channel thread has not ended %u ms after the stop; the connection "
                  L"state is kept for the rest of the process", static_cast<unsigned>(bound));
        // Deliberately never freed: those loops run on it until the process ends.
        new std::shared_ptr<Road>(m_road);
    }
}

HANDLE CProtocolMgr::Start()
{
    if (m_thread) {
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    // The thread's own hold on the road; it lets go as its last act.
    auto* hold = new (std::nothrow) std::shared_ptr<Road>(m_road);
    if (!hold) return nullptr;
    uintptr_t handle = _beginthreadex(nullptr, 0, &CProtocolMgr::RoadThread, hold, 0, &m_threadId);
    if (!handle) {
        delete hold;
        return nullptr;
    }
    m_thread = reinterpret_cast<HANDLE>(handle);
    return m_thread;
}

unsigned __stdcall CProtocolMgr::RoadThread(void* hold)
{
    std::unique_ptr<std::shared_ptr<Road>> road(static_cast<std::shared_ptr<Road>*>(hold));
    (*road)->Run();
    return 0;
}

void CProtocolMgr::Run() { m_road->Run(); }

void CProtocolMgr::SetGateway(const CString& host, const CString& version, int port)
{
    Road& road = *m_road;
    // Looked up before the lock is taken: a slow name server must not hold the road's sends as well.
    uint32_t address = road.LookUpHost(host);
    {
        std::lock_guard<std::mutex> lock(road.m_lock);
        road.m_version = version;
        road.m_gatewayExtra = 0;
        road.m_gatewayPort = port;
        road.m_gatewayHost = host;
        road.m_gatewayAddress = address;
    }
    road.m_mode = road.m_channel->IsConnected() ? eMode_Refresh : eMode_Connect;
    // After an update was announced no further connection starts in this process; a road in
    // progress only takes the new values.
    if (road.m_updateAnnounced || road.m_running) return;
    // The previous road has done its last step; its thread is ending and its handle is replaced.
    if (!Join(road.m_timings.stopWaitMs)) LOG_ERROR(L"the previous connection thread is still ending");
    // A new road forgets earlier stops here, before its thread runs: a stop that comes after this
    // line ends this road, however early it lands.
    road.m_abort = false;
    if (road.m_abortEvent) ResetEvent(road.m_abortEvent);
    if (road.m_mode == eMode_Connect) road.m_channel->BeginAttempt();
    road.m_refusalLogged = false;
    road.m_running = true;
    if (!Start()) {
        road.m_running = false;
        LOG_ERROR(L"connection thread not started (%lu)", GetLastError());
    }
}

void CProtocolMgr::RequestStop()
{
    m_road->Stop();
    Join(m_road->m_timings.stopWaitMs);
}

CCmdProtocol* CProtocolMgr::Channel() { return m_road->m_channel.get(); }
int CProtocolMgr::ErrorCode() const { return m_road->m_error; }
int CProtocolMgr::Mode() const { return m_road->m_mode; }
bool CProtocolMgr::IsRunning() const { return m_road->m_running; }
std::vector<ServerNode> CProtocolMgr::ServerList() const { return m_road->ServerList(); }
uint32_t CProtocolMgr::GatewayAddress() const { return m_road->m_gatewayAddress; }
int CProtocolMgr::PickAlternativeStreamServer(ServerNode& node) { return m_road->PickAlternativeStreamServer(node); }

bool CProtocolMgr::Road::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A road left running at shut-down has no one to report to.
    if (m_shutdown) return false;
    // Without a window PostMessage would queue on this thread, which never reads its queue.
    SessionContext* session = SessionContext::Existing();
    HWND window = session ? session->mainWindow : nullptr;
    return window && PostMessageW(window, message, wParam, lParam);
}

void CProtocolMgr::Road::Run()
{
    int mode = m_mode;
    if (mode == eMode_Connect) {
        int gateway = QueryGateway();
        if (gateway == 0) {
            m_updateAnnounced = true;
        } else if (gateway < 0) {
            m_error = eConnect_GatewaySilent;
            Post(WM_USER_CONNECT_RESULT, 0, eConnect_GatewaySilent);
        } else {
            bool ok = QueryServerList() && SelectServers() && ConnectCommandServer();
            if (!ok && Aborted()) m_error = eConnect_GatewaySilent;
            Post(WM_USER_CONNECT_RESULT, ok ? 1 : 0, ok ? 0 : m_error.load());
        }
    } else if (mode == eMode_Refresh) {
        bool ok = QueryServerList() && SelectServers();
        Post(WM_USER_REFRESH_RESULT, ok ? 1 : 0, 2);
    }
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    m_running = false;
}

bool CProtocolMgr::Road::EnsureSocket()
{
    if (m_socket == INVALID_SOCKET) m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    return m_socket != INVALID_SOCKET;
}

bool CProtocolMgr::Road::SendDatagram(const std::vector<uint8_t>& bytes)
{
    if (!EnsureSocket()) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        to.sin_addr.s_addr = m_gatewayAddress;
        to.sin_port = htons(static_cast<uint16_t>(m_gatewayPort));
    }
    int n = sendto(m_socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof(to));
    return n == static_cast<int>(bytes.size());
}

int CProtocolMgr::Road::ReceiveDatagram()
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket, &readable);
    timeval wait{static_cast<long>(m_timings.gatewayWaitMs / 1000),
                 static_cast<long>(m_timings.gatewayWaitMs % 1000) * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0) return kNoDatagram;
    sockaddr_in from{};
    int size = sizeof(from);
    int n = recvfrom(m_socket, reinterpret_cast<char*>(m_datagram.data()), static_cast<int>(m_datagram.size()), 0,
                     reinterpret_cast<sockaddr*>(&from), &size);
    // A closed gateway port answers each query at once with a port-unreachable report.
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET) return kRefused;
    std::lock_guard<std::mutex> lock(m_lock);
    if (n < static_cast<int>(sizeof(PacketHeader))) {
        Logger::Instance().Write(L"Err: recv from = %s, port = %d, ecode = %d",
                                 DottedAddress(m_gatewayAddress).GetString(), m_gatewayPort, WSAGetLastError());
        return 0;
    }
    PacketHeader header;
    memcpy(&header, m_datagram.data(), sizeof(header));
    if (n != static_cast<int>(sizeof(PacketHeader) + header.length)) {
        LOG_ERROR(L"gateway datagram of %d bytes announces %u payload bytes; dropped", n, header.length);
        return 0;
    }
    m_gatewayAddress = from.sin_addr.s_addr;
    m_gatewayPort = ntohs(from.sin_port);
    return n;
}

void CProtocolMgr::Road::NoteRefusal()
{
    if (m_refusalLogged.exchange(true)) return;
    std::lock_guard<std::mutex> lock(m_lock);
    LOG_ERROR(L"the gateway %s:%d refuses the query (port unreachable); asking again every %u ms",
              DottedAddress(m_gatewayAddress).GetString(), m_gatewayPort, static_cast<unsigned>(m_timings.gatewayWaitMs));
}

void CProtocolMgr::Road::WaitOutPass(DWORD passStart)
{
    // Whatever ended the pass early (a failed send, a refusal, a stray datagram), a miss costs the
    // whole wait: otherwise a refusing gateway turns the retries into a busy loop.
    DWORD elapsed = GetTickCount() - passStart;
    if (elapsed >= m_timings.gatewayWaitMs) return;
    DWORD rest = m_timings.gatewayWaitMs - elapsed;
    if (m_abortEvent) WaitForSingleObject(m_abortEvent, rest);
    else Sleep(rest);
}

void CProtocolMgr::Road::ResolveGatewayHost()
{
    SessionContext* session = SessionContext::Existing();
    CString host = session ? session->GetSecondGatewayHost() : CString();
    if (host.IsEmpty() && session) host = session->GetGatewayHost();
    if (host.IsEmpty()) {
        std::lock_guard<std::mutex> lock(m_lock);
        host = m_gatewayHost;
    }
    uint32_t address = LookUpHost(host);
    std::lock_guard<std::mutex> lock(m_lock);
    m_gatewayAddress = address;
}

int CProtocolMgr::Road::QueryGateway()
{
    DWORD start = GetTickCount();
    int misses = 0;
    uint16_t version[4];
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ParseVersion(m_version, version);
    }
    ByteWriter query;
    PacketHeader header = MakeHeader(eType_Gateway, 9);
    query.Bytes(&header, sizeof(header)).U16(version[0]).U16(version[1]).U16(version[2]).U16(version[3]);
    query.U8(m_gatewayExtra);
    for (;;) {
        // Every pass that does not return is a miss.
        const DWORD passStart = GetTickCount();
        if (!SendDatagram(query.Data())) {
            ResolveGatewayHost();
        } else {
            int size = ReceiveDatagram();
            if (size == kNoDatagram) {
                std::lock_guard<std::mutex> lock(m_lock);
                Logger::Instance().Write(L"Err: cannot recv from gateway, ip = %s, port = %d, ecode = %d",
                                         DottedAddress(m_gatewayAddress).GetString(), m_gatewayPort,
                                         WSAGetLastError());
            } else if (size == kRefused) {
                NoteRefusal();
            } else if (size > 32) {
                PacketHeader reply;
                memcpy(&reply, m_datagram.data(), sizeof(reply));
                if (reply.type == eType_Gateway) {
                    if (reply.status == kStatusOk || reply.status == kStatusGatewayCurrent) return 1;
                    CString address;
                    if (ReadWireString(m_datagram.data() + sizeof(reply), reply.length, address)) {
                        CString* strings = new CString[3];
                        strings[0] = address;
                        LOG_INFO(L"update announced: %s", address.GetString());
                        if (!Post(WM_USER_UPDATE_NOTICE, 0, reinterpret_cast<LPARAM>(strings)))
                            FreeRoomMessage(WM_USER_UPDATE_NOTICE, 0, reinterpret_cast<LPARAM>(strings));
                        return 0;
                    }
                    LOG_ERROR(L"gateway update notice with a malformed address; ignored");
                }
            }
        }
        WaitOutPass(passStart);
        // A stop must not pay for one more lookup, which nothing can interrupt.
        if (Aborted()) return -1;
        if (misses > 3) ResolveGatewayHost();
        ++misses;
        if (GetTickCount() - start > m_timings.gatewayGiveUpMs || Aborted()) return -1;
    }
}

bool CProtocolMgr::Road::QueryServerList()
{
    SessionContext* session = SessionContext::Existing();
    ByteWriter query;
    PacketHeader header = MakeHeader(eType_ServerList, 6);
    query.Bytes(&header, sizeof(header)).U32(session ? session->room.roomId : 0);
    query.U16(session ? session->room.maxAudience : 0);
    int attempts = 0;
    for (;;) {
        const DWORD passStart = GetTickCount();
        if (!SendDatagram(query.Data())) {
            ResolveGatewayHost();
        } else {
            int size = ReceiveDatagram();
            if (size == kRefused) NoteRefusal();
            if (size > 0) {
                PacketHeader reply;
                memcpy(&reply, m_datagram.data(), sizeof(reply));
                std::lock_guard<std::mutex> lock(m_lock);
                m_servers.clear();
                if (reply.type == eType_ServerList) {
                    if (reply.status != kStatusOk) {
                        LOG_ERROR(L"server list refused, status %u", reply.status);
                        m_error = eConnect_ListRefused;
                        return false;
                    }
                    for (size_t at = 0; at + sizeof(ServerNode) <= reply.length; at += sizeof(ServerNode)) {
                        ServerNode node;
                        memcpy(&node, m_datagram.data() + sizeof(reply) + at, sizeof(node));
                        m_servers.push_back(node);
                    }
                    return true;
                }
            }
            if (attempts > 3 && !Aborted()) ResolveGatewayHost();
            ++attempts;
        }
        if (Aborted()) return false;
        WaitOutPass(passStart);
        if (Aborted()) return false;
    }
}

std::vector<ServerNode> CProtocolMgr::Road::ServerList() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_servers;
}

std::vector<ProbeResult> CProtocolMgr::Road::ProbeCandidates(const std::vector<ServerNode>& nodes, uint8_t n)
{
    std::vector<ProbeResult> results;
    for (const ServerNode& node : nodes) {
        if (Aborted()) break;
        ProbeResult result{node, ResetProbeStats()};
        m_probe.Start(node.address, node.port, n);
        m_probe.Result(result.stats, m_abortEvent);
        results.push_back(result);
    }
    RankProbeResults(results);
    for (const ProbeResult& r : results) {
        Logger::Instance().Write(L"ServerNode[%dx%d], mean = %d, packlost = %d, minxmax = %dx%d,jitter = %d\r\n",
                                 r.node.id, r.node.lineKey, r.stats.mean, r.stats.lost, r.stats.minimum,
                                 r.stats.maximum, r.stats.jitter);
    }
    return results;
}

bool CProtocolMgr::Road::SelectServers()
{
    std::vector<ServerNode> list = ServerList();
    int kinds = CheckServerKinds(list);
    if (kinds != 0) {
        LOG_ERROR(L"server list of %u servers is incomplete (%d)", static_cast<unsigned>(list.size()), kinds);
        m_error = kinds;
        return false;
    }
    std::vector<ProbeResult> lines = ProbeCandidates(LineCandidates(list), 8);
    uint16_t line = ChooseLine(lines);
    std::vector<ServerNode> onLine;
    for (const ServerNode& node : list) {
        if (node.kind == eServer_Stream && node.lineKey == line) onLine.push_back(node);
    }
    std::vector<ProbeResult> ranked = ProbeCandidates(onLine, 5);
    if (Aborted()) return false;
    SessionContext* session = SessionContext::Existing();
    // With no server on the chosen line, the stream server chosen before stays.
    if (!ranked.empty() && session) session->streamServer = ranked.front().node;
    return ResolveServers();
}

bool CProtocolMgr::Road::ResolveServers()
{
    SessionContext* session = SessionContext::Existing();
    if (!session) return false;
    std::vector<ServerNode> list = ServerList();
    ServerNode reg = session->regServer;
    if (!Complete(reg)) {
        const ServerNode* first = FirstOfKind(list, eServer_Reg);
        reg = first ? *first : ServerNode{};
    }
    ServerNode stream = session->GetStreamServer();
    if (!Complete(stream)) {
        const ServerNode* first = FirstOfKind(list, eServer_Stream);
        stream = first ? *first : ServerNode{};
    }
    ServerNode file = session->fileServer;
    if (!Complete(file)) {
        const ServerNode* first = FirstOfKind(list, eServer_File);
        file = first ? *first : ServerNode{};
    }
    session->regServer = reg;
    session->streamServer = stream;
    session->fileServer = file;
    if (!Complete(reg)) { m_error = eConnect_NoRegServer; return false; }
    if (!Complete(stream)) { m_error = eConnect_NoStreamServer; return false; }
    if (!Complete(file)) { m_error = eConnect_NoFileServer; return false; }
    Logger::Instance().Write(
        L"Infor : Result\r\n{\r\nstreamserver id=%u, ip=%s, port =%d, regserver id=%u port = %d,ip = %s, fileserver "
        L"id=%u, ip=%s, port =%d\r\n}\r\n",
        stream.id, DottedAddress(stream.address).GetString(), stream.port, reg.id, reg.port,
        DottedAddress(reg.address).GetString(), file.id, DottedAddress(file.address).GetString(), file.port);
    return true;
}

bool CProtocolMgr::Road::ConnectCommandServer()
{
    SessionContext* session = SessionContext::Existing();
    m_channel->SetServer(session ? session->regServer : ServerNode{});
    if (!m_channel->Connect()) {
        m_error = eConnect_NoRegServer;
        return false;
    }
    if (!m_channel->Start()) {
        // Stopped meanwhile, or no thread to be had: a channel nobody reads from is no connection.
        m_channel->RequestStop();
        m_error = eConnect_NoRegServer;
        return false;
    }
    if (!m_channel->SendLogin()) {
        // Without the join request the room never answers: report it as the failed connect it is.
        m_error = eConnect_NoRegServer;
        return false;
    }
    return true;
}

int CProtocolMgr::Road::PickAlternativeStreamServer(ServerNode& node)
{
    SessionContext* session = SessionContext::Existing();
    if (!session) return 0;
    ServerNode current = session->GetStreamServer();
    std::vector<ServerNode> list = ServerList();
    uint16_t line = current.lineKey;
    for (const ServerNode& n : list) {
        if (n.kind == eServer_Stream && n.lineFlag != 0 && n.lineKey != current.lineKey) {
            line = n.lineKey;
            break;
        }
    }
    for (const ServerNode& n : list) {
        if (n.kind == eServer_Stream && n.lineKey == line && n.id != current.id) {
            node = n;
            break;
        }
    }
    return Complete(node) && node.id != current.id ? 1 : 0;
}

static uint32_t SessionRoomId()
{
    SessionContext* session = SessionContext::Existing();
    return session ? session->room.roomId : 0;
}

bool CProtocolMgr::SendDrawPoints(uint8_t kind, uint32_t ownerId, const StrokeHead& head,
                                  const std::vector<StrokePoint>& points)
{
    return m_road->m_channel->SendDrawPoints(kind, ownerId, head, points);
}

bool CProtocolMgr::SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId)
{
    return m_road->m_channel->SendDrawElement(kind, ownerId, page, orderKey, docId);
}

bool CProtocolMgr::SendLiveWhiteboard(const LiveWhiteboardRecord& record)
{
    return m_road->m_channel->SendPacket(eType_LiveWhiteboard, &record, sizeof(record), SessionRoomId());
}

bool CProtocolMgr::SendLiveCamera(const LiveCameraRecord& record)
{
    return m_road->m_channel->SendPacket(eType_LiveCamera, &record, sizeof(record), SessionRoomId());
}

bool CProtocolMgr::SendLiveScreenShare(bool on)
{
    uint8_t value = on ? 1 : 0;
    return m_road->m_channel->SendPacket(eType_LiveScreenShare, &value, 1, SessionRoomId());
}

bool CProtocolMgr::SendSpeakCommand(uint32_t userId, uint8_t state)
{
    std::vector<uint8_t> payload = BuildSpeakPayload(SessionRoomId(), state);
    return m_road->m_channel->SendPacket(eType_SpeakState, payload.data(), static_cast<uint32_t>(payload.size()), userId);
}

bool CProtocolMgr::SendKickUser(uint32_t userId)
{
    std::vector<uint8_t> payload = BuildKickPayload(SessionRoomId());
    return m_road->m_channel->SendPacket(eType_KickOff, payload.data(), static_cast<uint32_t>(payload.size()), userId);
}
