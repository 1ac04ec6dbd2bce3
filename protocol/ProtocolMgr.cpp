#include "protocol/ProtocolMgr.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "protocol/HostAddress.h"
#include "protocol/WireFormat.h"
#include <ws2tcpip.h>
#include <cstring>

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

CProtocolMgr* CProtocolMgr::Instance()
{
    static CProtocolMgr manager;
    return &manager;
}

CProtocolMgr::CProtocolMgr(const ProtocolTimings& timings)
    : m_timings(timings), m_datagram(kGatewayBuffer), m_channel(new CCmdProtocol(timings.channel)),
      m_probe(timings.probe)
{
    m_abortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CProtocolMgr::~CProtocolMgr()
{
    m_shutdown = true;
    RequestStop();
    // The thread may sit in a blocking connect; it must be gone before its members are.
    Join(INFINITE);
    m_channel.reset();
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    if (m_abortEvent) CloseHandle(m_abortEvent);
}

uint32_t CProtocolMgr::LookUpHost(const CString& host)
{
    uint32_t address = INADDR_NONE;
    if (!ResolveIPv4(host, address)) {
        LOG_ERROR(L"gateway host %s not resolved (%d)", host.GetString(), WSAGetLastError());
        return INADDR_NONE;
    }
    return address;
}

void CProtocolMgr::SetGateway(const CString& host, const CString& version, int port)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_version = version;
        m_gatewayExtra = 0;
        m_gatewayPort = port;
        m_gatewayHost = host;
        m_gatewayAddress = LookUpHost(host);
    }
    m_mode = m_channel->IsConnected() ? eMode_Refresh : eMode_Connect;
    // After an update was announced no further connection starts in this process; a road in
    // progress only takes the new values.
    if (m_updateAnnounced || m_running) return;
    Join(INFINITE); // the previous road has ended; its handle is replaced
    // A new road forgets earlier stops here, before its thread runs: a stop that comes after this
    // line ends this road, however early it lands.
    m_abort = false;
    if (m_abortEvent) ResetEvent(m_abortEvent);
    if (m_mode == eMode_Connect) m_channel->BeginAttempt();
    m_refusalLogged = false;
    m_running = true;
    if (!Start()) {
        m_running = false;
        LOG_ERROR(L"connection thread not started (%lu)", GetLastError());
    }
}

void CProtocolMgr::RequestStop()
{
    m_abort = true;
    if (m_abortEvent) SetEvent(m_abortEvent);
    m_channel->RequestStop();
    Join(m_timings.stopWaitMs);
}

bool CProtocolMgr::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Without a window PostMessage would queue on this thread, which never reads its queue.
    SessionContext* session = SessionContext::Existing();
    HWND window = session ? session->mainWindow : nullptr;
    return window && PostMessageW(window, message, wParam, lParam);
}

void CProtocolMgr::Run()
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

bool CProtocolMgr::EnsureSocket()
{
    if (m_socket == INVALID_SOCKET) m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    return m_socket != INVALID_SOCKET;
}

bool CProtocolMgr::SendDatagram(const std::vector<uint8_t>& bytes)
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

int CProtocolMgr::ReceiveDatagram()
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

void CProtocolMgr::NoteRefusal()
{
    if (m_refusalLogged.exchange(true)) return;
    std::lock_guard<std::mutex> lock(m_lock);
    LOG_ERROR(L"the gateway %s:%d refuses the query (port unreachable); asking again every %u ms",
              DottedAddress(m_gatewayAddress).GetString(), m_gatewayPort, static_cast<unsigned>(m_timings.gatewayWaitMs));
}

void CProtocolMgr::WaitOutPass(DWORD passStart)
{
    // Whatever ended the pass early (a failed send, a refusal, a stray datagram), a miss costs the
    // whole wait: otherwise a refusing gateway turns the retries into a busy loop.
    DWORD elapsed = GetTickCount() - passStart;
    if (elapsed >= m_timings.gatewayWaitMs) return;
    DWORD rest = m_timings.gatewayWaitMs - elapsed;
    if (m_abortEvent) WaitForSingleObject(m_abortEvent, rest);
    else Sleep(rest);
}

void CProtocolMgr::ResolveGatewayHost()
{
    SessionContext* session = SessionContext::Existing();
    CString host = session ? session->GetSecondGatewayHost() : CString();
    if (host.IsEmpty()) host = session ? session->GetGatewayHost() : m_gatewayHost;
    uint32_t address = LookUpHost(host);
    std::lock_guard<std::mutex> lock(m_lock);
    m_gatewayAddress = address;
}

int CProtocolMgr::QueryGateway()
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
        if (misses > 3) ResolveGatewayHost();
        ++misses;
        if (GetTickCount() - start > m_timings.gatewayGiveUpMs || Aborted()) return -1;
    }
}

bool CProtocolMgr::QueryServerList()
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
            if (attempts > 3) ResolveGatewayHost();
            ++attempts;
        }
        if (Aborted()) return false;
        WaitOutPass(passStart);
        if (Aborted()) return false;
    }
}

std::vector<ServerNode> CProtocolMgr::ServerList() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_servers;
}

std::vector<ProbeResult> CProtocolMgr::ProbeCandidates(const std::vector<ServerNode>& nodes, uint8_t n)
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

bool CProtocolMgr::SelectServers()
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

bool CProtocolMgr::ResolveServers()
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

bool CProtocolMgr::ConnectCommandServer()
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

int CProtocolMgr::PickAlternativeStreamServer(ServerNode& node)
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
    return m_channel->SendDrawPoints(kind, ownerId, head, points);
}

bool CProtocolMgr::SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId)
{
    return m_channel->SendDrawElement(kind, ownerId, page, orderKey, docId);
}

bool CProtocolMgr::SendLiveWhiteboard(const LiveWhiteboardRecord& record)
{
    return m_channel->SendPacket(eType_LiveWhiteboard, &record, sizeof(record), SessionRoomId());
}

bool CProtocolMgr::SendLiveCamera(const LiveCameraRecord& record)
{
    return m_channel->SendPacket(eType_LiveCamera, &record, sizeof(record), SessionRoomId());
}

bool CProtocolMgr::SendLiveScreenShare(bool on)
{
    uint8_t value = on ? 1 : 0;
    return m_channel->SendPacket(eType_LiveScreenShare, &value, 1, SessionRoomId());
}

bool CProtocolMgr::SendSpeakCommand(uint32_t userId, uint8_t state)
{
    std::vector<uint8_t> payload = BuildSpeakPayload(SessionRoomId(), state);
    return m_channel->SendPacket(eType_SpeakState, payload.data(), static_cast<uint32_t>(payload.size()), userId);
}

bool CProtocolMgr::SendKickUser(uint32_t userId)
{
    std::vector<uint8_t> payload = BuildKickPayload(SessionRoomId());
    return m_channel->SendPacket(eType_KickOff, payload.data(), static_cast<uint32_t>(payload.size()), userId);
}
