#include "tests/fakes/room/FakeRoom.h"

#include <ws2tcpip.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

namespace fakeroom {
namespace {

struct WinsockScope {
    WinsockScope() { WSADATA d; WSAStartup(MAKEWORD(2, 2), &d); }
    ~WinsockScope() { WSACleanup(); }
};
WinsockScope& Winsock()
{
    static WinsockScope scope;
    return scope;
}

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

uint16_t BoundPort(SOCKET s)
{
    sockaddr_in address{};
    int size = sizeof(address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

void Append(Bytes& out, const void* data, size_t count)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + count);
}

} // namespace

Bytes Fragment(uint16_t type, const Bytes& slice, uint8_t number, uint8_t count, const HeaderFields& fields)
{
    PacketHeader header{};
    header.type = type;
    header.marker = 0xFFFF;
    header.length = static_cast<uint16_t>(slice.size());
    header.status = fields.status;
    header.messageId = fields.messageId;
    header.fragmentNumber = number;
    header.fragmentCount = count;
    header.sender = fields.sender;
    header.serverId = fields.serverId;
    header.destination = fields.destination;
    Bytes out;
    Append(out, &header, sizeof(header));
    out.insert(out.end(), slice.begin(), slice.end());
    return out;
}

Bytes Frame(uint16_t type, const Bytes& payload, const HeaderFields& fields, size_t fragmentSize)
{
    size_t count = payload.empty() ? 1 : (payload.size() + fragmentSize - 1) / fragmentSize;
    Bytes out;
    for (size_t i = 0; i < count; ++i) {
        size_t first = i * fragmentSize;
        size_t size = payload.size() - first < fragmentSize ? payload.size() - first : fragmentSize;
        Bytes slice(payload.begin() + first, payload.begin() + first + size);
        Bytes fragment = Fragment(type, slice, static_cast<uint8_t>(i + 1), static_cast<uint8_t>(count), fields);
        out.insert(out.end(), fragment.begin(), fragment.end());
    }
    return out;
}

Bytes UserEntry(uint32_t id, uint8_t role, uint8_t sex, const std::string& screenName, const std::string& userName)
{
    Bytes out;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id >> (8 * i)));
    out.insert(out.end(), {1, 0, role, sex, 0});
    for (const std::string* name : {&screenName, &userName}) {
        out.push_back(static_cast<uint8_t>(name->size()));
        out.push_back(static_cast<uint8_t>(name->size() >> 8));
        out.insert(out.end(), name->begin(), name->end());
    }
    return out;
}

std::string Base64Text(const std::string& bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t v = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int k = 3; k >= 0; --k) out += kAlphabet[(v >> (6 * k)) & 63];
    }
    if (i < bytes.size()) {
        uint32_t v = uint8_t(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= uint8_t(bytes[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string LaunchLink(uint32_t roomId, const char* roomName, uint32_t userId, const char* screenName, int roleType,
                       uint16_t gatewayPort)
{
    char items[512];
    snprintf(items, sizeof items,
             "roomid=%u&roomname=%s&userid=%u&username=ann&screenname=%s&roletype=%d&serverip=127.0.0.1"
             "&serverport=%u&teacher=Dr Grey",
             static_cast<unsigned>(roomId), roomName, static_cast<unsigned>(userId), screenName, roleType,
             static_cast<unsigned>(gatewayPort));
    return "Lumenvalep://" + Base64Text(items);
}

ServerNode Node(uint16_t id, uint8_t kind, uint16_t port, uint16_t lineKey, uint16_t weight, uint16_t lineFlag,
                const char* ip)
{
    ServerNode node{};
    node.id = id;
    node.kind = kind;
    node.address = inet_addr(ip);
    node.port = port;
    node.lineKey = lineKey;
    node.weight = weight;
    node.lineFlag = lineFlag;
    return node;
}

// ---- UDP peers ----

UdpPeer::UdpPeer(const char* ip, uint16_t port)
{
    Winsock();
    m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address = Loopback(port);
    address.sin_addr.s_addr = inet_addr(ip);
    if (m_socket != INVALID_SOCKET && bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        m_port = BoundPort(m_socket);
    } else if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
}

UdpPeer::~UdpPeer()
{
    StopLoop();
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
}

void UdpPeer::StartLoop()
{
    if (m_socket == INVALID_SOCKET) return;
    m_thread = std::thread([this] { Loop(); });
}

void UdpPeer::StopLoop()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void UdpPeer::SendTo(const Bytes& bytes, const sockaddr_in& to)
{
    sendto(m_socket, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

void UdpPeer::Loop()
{
    Bytes buffer(65536);
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_socket, &readable);
        timeval wait{0, 5000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready > 0) {
            sockaddr_in from{};
            int size = sizeof(from);
            int n = recvfrom(m_socket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                             reinterpret_cast<sockaddr*>(&from), &size);
            if (n > 0) OnDatagram(Bytes(buffer.begin(), buffer.begin() + n), from);
        }
        OnIdle();
    }
}

FakeGateway::FakeGateway(const char* ip, uint16_t port) : UdpPeer(ip, port) { StartLoop(); }
FakeGateway::~FakeGateway() { StopLoop(); }

void FakeGateway::SetVersionReply(uint16_t status, const std::string& downloadUrl)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_versionStatus = status;
    m_downloadUrl = downloadUrl;
}

void FakeGateway::SetServerList(const std::vector<ServerNode>& nodes, uint16_t status)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_nodes = nodes;
    m_listStatus = status;
}

void FakeGateway::SetSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_silent = silent;
}

void FakeGateway::SetServerListDelay(int ignoredQueries)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_listIgnore = ignoredQueries;
}

void FakeGateway::SetShortServerListReplies(bool on)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_shortListReplies = on;
}

int FakeGateway::QueryCount(uint16_t type) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    int n = 0;
    for (const Packet& p : m_queries) n += p.header.type == type;
    return n;
}

std::vector<Packet> FakeGateway::Queries() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_queries;
}

void FakeGateway::OnDatagram(const Bytes& datagram, const sockaddr_in& from)
{
    if (datagram.size() < sizeof(PacketHeader)) return;
    Packet query;
    memcpy(&query.header, datagram.data(), sizeof(PacketHeader));
    query.payload.assign(datagram.begin() + sizeof(PacketHeader), datagram.end());
    std::lock_guard<std::mutex> lock(m_lock);
    m_queries.push_back(query);
    if (m_silent) return;
    HeaderFields fields;
    if (query.header.type == eType_Gateway) {
        fields.status = m_versionStatus;
        Bytes payload;
        bool current = m_versionStatus == 1 || m_versionStatus == 0xF830;
        if (!current) {
            uint16_t count = static_cast<uint16_t>(m_downloadUrl.size());
            Append(payload, &count, 2);
            Append(payload, m_downloadUrl.data(), m_downloadUrl.size());
        }
        // The client takes only replies of more than 32 bytes.
        if (payload.size() < 9) payload.resize(9, 0);
        SendTo(Fragment(eType_Gateway, payload, 1, 1, fields), from);
    } else if (query.header.type == eType_ServerList) {
        if (m_shortListReplies) {
            SendTo(Bytes(8, 0x5A), from);
            return;
        }
        if (m_listIgnore > 0) {
            --m_listIgnore;
            return;
        }
        fields.status = m_listStatus;
        Bytes payload;
        for (const ServerNode& node : m_nodes) Append(payload, &node, sizeof(node));
        SendTo(Fragment(eType_ServerList, payload, 1, 1, fields), from);
    }
}

FakeStreamServer::FakeStreamServer() { StartLoop(); }
FakeStreamServer::~FakeStreamServer() { StopLoop(); }

void FakeStreamServer::SetDelay(DWORD ms) { std::lock_guard<std::mutex> l(m_lock); m_delay = ms; }
void FakeStreamServer::SetLossPerRound(int lost) { std::lock_guard<std::mutex> l(m_lock); m_loss = lost; }
void FakeStreamServer::SetEchoLength(size_t bytes) { std::lock_guard<std::mutex> l(m_lock); m_echoLength = bytes; }
void FakeStreamServer::SetSilent(bool silent) { std::lock_guard<std::mutex> l(m_lock); m_silent = silent; }

void FakeStreamServer::SetReplayEchoes(bool on) { std::lock_guard<std::mutex> l(m_lock); m_replay = on; }

void FakeStreamServer::SetCapacity(uint32_t capacity, uint32_t load, uint16_t value)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_capacity = capacity;
    m_load = load;
    m_value = value;
}

int FakeStreamServer::ProbeCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_probes;
}

void FakeStreamServer::OnDatagram(const Bytes& datagram, const sockaddr_in& from)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (datagram.size() < 38) return;
    uint16_t type;
    memcpy(&type, datagram.data(), 2);
    if (type != eType_Probe) return;
    ++m_probes;
    if (m_silent || datagram[10] <= m_loss) return;
    Bytes echo = datagram;
    memcpy(&echo[28], &m_capacity, 4);
    memcpy(&echo[32], &m_load, 4);
    memcpy(&echo[36], &m_value, 2);
    if (echo.size() > m_echoLength) echo.resize(m_echoLength);
    m_pending.push_back({GetTickCount() + m_delay, echo, from});
    uint16_t round;
    memcpy(&round, datagram.data() + 8, 2);
    if (round != m_replayRound) {
        m_replayRound = round;
        m_replayEchoes.clear();
    }
    m_replayEchoes.push_back(m_pending.back());
}

void FakeStreamServer::OnIdle()
{
    std::lock_guard<std::mutex> lock(m_lock);
    DWORD now = GetTickCount();
    while (!m_pending.empty() && static_cast<int32_t>(now - m_pending.front().due) >= 0) {
        SendTo(m_pending.front().bytes, m_pending.front().to);
        m_pending.pop_front();
    }
    if (!m_replay || static_cast<int32_t>(now - m_replayDue) < 0) return;
    for (const Pending& echo : m_replayEchoes) SendTo(echo.bytes, echo.to);
    m_replayDue = now + 10;
}

// ---- registration server ----

FakeRegServer::FakeRegServer()
{
    Winsock();
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = Loopback(0);
    if (m_listen == INVALID_SOCKET || bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listen, 4) != 0) {
        if (m_listen != INVALID_SOCKET) closesocket(m_listen);
        m_listen = INVALID_SOCKET;
        return;
    }
    m_port = BoundPort(m_listen);
    m_thread = std::thread([this] { Loop(); });
}

FakeRegServer::~FakeRegServer()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    for (SOCKET s : m_fillers) closesocket(s);
    CloseClient();
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
}

void FakeRegServer::SetJoinReply(uint16_t status, const Bytes& payload)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_joinStatus = status;
    m_joinPayload = payload;
}

void FakeRegServer::SetReply(uint16_t type, uint16_t status, const Bytes& payload)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (Reply& reply : m_replies) {
        if (reply.type == type) {
            reply = {type, status, payload};
            return;
        }
    }
    m_replies.push_back({type, status, payload});
}

void FakeRegServer::SetReplyFragmentSize(size_t bytes) { std::lock_guard<std::mutex> l(m_lock); m_replyFragment = bytes; }
void FakeRegServer::SetAutoReply(bool on) { std::lock_guard<std::mutex> l(m_lock); m_autoReply = on; }
void FakeRegServer::SetMessageHook(std::function<void(const Packet&)> hook) { std::lock_guard<std::mutex> l(m_lock); m_hook = std::move(hook); }

bool FakeRegServer::HoldConnects(bool on)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (on == m_holding) return true;
    m_holding = on;
    if (!on) {
        for (SOCKET s : m_fillers) closesocket(s);
        m_fillers.clear();
        return true;
    }
    lock.unlock();
    Sleep(20); // the loop has left any select that still listened
    // The loop no longer accepts: connect until one stays pending, then that queue is full.
    std::vector<SOCKET> fillers;
    bool full = false;
    for (int i = 0; i < 64 && !full; ++i) {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        sockaddr_in address = Loopback(m_port);
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        fd_set writable;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        timeval wait{0, 300000};
        if (select(0, nullptr, &writable, nullptr, &wait) == 1) {
            fillers.push_back(s);
        } else {
            closesocket(s);
            full = true;
        }
    }
    lock.lock();
    m_fillers = fillers;
    return full;
}

bool FakeRegServer::SendRaw(const Bytes& bytes)
{
    std::lock_guard<std::mutex> sendLock(m_sendLock);
    SOCKET s;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        s = m_client;
    }
    if (s == INVALID_SOCKET) return false;
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = send(s, reinterpret_cast<const char*>(bytes.data() + sent), static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool FakeRegServer::Push(uint16_t type, const Bytes& payload, const HeaderFields& fields, size_t fragmentSize)
{
    return SendRaw(Frame(type, payload, fields, fragmentSize));
}

void FakeRegServer::CloseClient()
{
    std::lock_guard<std::mutex> sendLock(m_sendLock);
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_client != INVALID_SOCKET) {
        closesocket(m_client);
        m_client = INVALID_SOCKET;
    }
    m_clientOpen = false;
    m_stream.clear();
    m_changed.notify_all();
}

void FakeRegServer::Drop(bool reset)
{
    // Only the server's own thread closes the client socket: never while it selects on it.
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_client == INVALID_SOCKET) return;
    m_dropRequested = true;
    m_dropWithReset = reset;
    m_changed.wait_for(lock, std::chrono::milliseconds(5000), [this] { return !m_dropRequested; });
}

bool FakeRegServer::WaitForClient(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_clientOpen; });
}

bool FakeRegServer::WaitForClientGone(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_clientOpen; });
}

bool FakeRegServer::WaitForMessages(uint16_t type, size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        size_t n = 0;
        for (const Packet& m : m_messages) n += m.header.type == type;
        return n >= count;
    });
}

int FakeRegServer::Accepted() const { std::lock_guard<std::mutex> l(m_lock); return m_accepted; }
std::vector<Packet> FakeRegServer::Fragments() const { std::lock_guard<std::mutex> l(m_lock); return m_fragments; }
size_t FakeRegServer::ReceivedBytes() const { std::lock_guard<std::mutex> l(m_lock); return m_receivedBytes; }

std::vector<Packet> FakeRegServer::Messages(uint16_t type) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Packet> result;
    for (const Packet& m : m_messages) {
        if (type == 0 || m.header.type == type) result.push_back(m);
    }
    return result;
}

void FakeRegServer::ClearReceived()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_fragments.clear();
    m_messages.clear();
    m_receivedBytes = 0;
}

void FakeRegServer::Loop()
{
    Bytes buffer(65536);
    while (!m_stop) {
        SOCKET client;
        bool drop;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            client = m_client;
            drop = m_dropRequested;
        }
        if (drop) {
            if (client != INVALID_SOCKET && m_dropWithReset) {
                linger hard{1, 0}; // closing sends a reset instead of the orderly end
                setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
            } else if (client != INVALID_SOCKET) {
                shutdown(client, SD_BOTH);
            }
            CloseClient();
            std::lock_guard<std::mutex> lock(m_lock);
            m_dropRequested = false;
            m_changed.notify_all();
            continue;
        }
        bool holding;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            holding = m_holding;
        }
        fd_set readable;
        FD_ZERO(&readable);
        if (!holding) FD_SET(m_listen, &readable);
        if (client != INVALID_SOCKET) FD_SET(client, &readable);
        if (readable.fd_count == 0) { // holding, and nobody connected: nothing to wait on
            Sleep(5);
            continue;
        }
        timeval wait{0, 5000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        if (FD_ISSET(m_listen, &readable)) {
            SOCKET accepted = accept(m_listen, nullptr, nullptr);
            if (accepted != INVALID_SOCKET) {
                CloseClient(); // one client at a time: a reconnect replaces the old one
                std::lock_guard<std::mutex> lock(m_lock);
                m_client = accepted;
                m_clientOpen = true;
                m_accepted++;
                m_changed.notify_all();
                continue;
            }
        }
        if (client != INVALID_SOCKET && FD_ISSET(client, &readable)) {
            int n = recv(client, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
            if (n <= 0) {
                CloseClient();
                continue;
            }
            OnBytes(buffer.data(), static_cast<size_t>(n));
        }
    }
}

void FakeRegServer::OnBytes(const uint8_t* data, size_t length)
{
    std::vector<Packet> complete;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_receivedBytes += length;
        m_stream.insert(m_stream.end(), data, data + length);
        size_t used = 0;
        while (m_stream.size() - used >= sizeof(PacketHeader)) {
            Packet fragment;
            memcpy(&fragment.header, m_stream.data() + used, sizeof(PacketHeader));
            size_t total = sizeof(PacketHeader) + fragment.header.length;
            if (m_stream.size() - used < total) break;
            fragment.payload.assign(m_stream.begin() + used + sizeof(PacketHeader), m_stream.begin() + used + total);
            used += total;
            m_fragments.push_back(fragment);
            if (fragment.header.fragmentCount <= 1) {
                complete.push_back(fragment);
                continue;
            }
            // Our own joining, independent of the client's: fragments of one key in number order.
            uint64_t key = (uint64_t(fragment.header.messageId) << 16 | fragment.header.type) << 32 |
                           fragment.header.sender;
            std::vector<Packet> parts;
            for (auto it = m_partial.begin(); it != m_partial.end();) {
                if (it->first == key) {
                    parts.push_back(it->second);
                    it = m_partial.erase(it);
                } else {
                    ++it;
                }
            }
            parts.push_back(fragment);
            if (parts.size() < fragment.header.fragmentCount) {
                for (const Packet& p : parts) m_partial.push_back({key, p});
                continue;
            }
            std::map<uint8_t, const Packet*> ordered;
            for (const Packet& p : parts) ordered[p.header.fragmentNumber] = &p;
            Packet joined;
            joined.header = fragment.header;
            for (auto& entry : ordered) {
                joined.payload.insert(joined.payload.end(), entry.second->payload.begin(), entry.second->payload.end());
            }
            complete.push_back(joined);
        }
        m_stream.erase(m_stream.begin(), m_stream.begin() + used);
    }
    for (const Packet& message : complete) OnMessage(message);
}

void FakeRegServer::OnMessage(const Packet& message)
{
    Bytes reply;
    bool answer = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_messages.push_back(message);
        if (m_hook) m_hook(message);
        HeaderFields fields;
        fields.destination = message.header.destination;
        if (m_drawingEcho && message.header.type == eType_PaintObject) {
            answer = KeyDrawing(message, fields, reply);
            if (answer && m_holdEchoes) {
                m_heldEchoes.push_back(reply);
                answer = false;
            }
        } else if (m_autoReply && message.header.type == eType_JoinRoom) {
            fields.status = m_joinStatus;
            reply = Frame(eType_JoinRoom, m_joinPayload, fields, m_replyFragment);
            answer = true;
        } else if (m_autoReply) {
            for (const Reply& r : m_replies) {
                if (r.type == message.header.type) {
                    fields.status = r.status;
                    reply = Frame(r.type, r.payload, fields, m_replyFragment);
                    answer = true;
                }
            }
        }
        m_changed.notify_all();
    }
    if (answer) SendRaw(reply);
}

void FakeRegServer::SetDrawingEcho(bool on)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_drawingEcho = on;
}

void FakeRegServer::HoldDrawingEchoes(bool on)
{
    std::vector<Bytes> release;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_holdEchoes = on;
        if (!on) release.swap(m_heldEchoes);
    }
    for (const Bytes& echo : release) SendRaw(echo);
}

bool FakeRegServer::KeyDrawing(const Packet& message, const HeaderFields& fields, Bytes& echo)
{
    Bytes payload = message.payload;
    const bool stroke = payload.size() >= 19 && (payload[0] >> 4) == 1;
    const bool pen = payload.size() >= 12 && (payload[0] & 0x0F) == 1;
    if (!stroke && !pen) return false;
    const size_t at = pen ? 8 : 7;
    uint32_t key;
    memcpy(&key, &payload[at], 4);
    if (key == 0) {
        key = ++m_highestDrawingKey;
        memcpy(&payload[at], &key, 4);
    } else if (key > m_highestDrawingKey) {
        m_highestDrawingKey = key;
    }
    if (!stroke) return false;
    HeaderFields back = fields;
    back.sender = message.header.sender;
    echo = Frame(eType_PaintObject, payload, back);
    return true;
}

FakeRoom::FakeRoom(int streamServers)
{
    for (int i = 0; i < streamServers; ++i) streams.push_back(new FakeStreamServer);
    gateway.SetServerList(DefaultList());
}

FakeRoom::~FakeRoom()
{
    for (FakeStreamServer* s : streams) delete s;
}

std::vector<ServerNode> FakeRoom::DefaultList() const
{
    std::vector<ServerNode> nodes;
    nodes.push_back(Node(1, eServer_Reg, reg.Port()));
    for (size_t i = 0; i < streams.size(); ++i) {
        nodes.push_back(Node(static_cast<uint16_t>(10 + i), eServer_Stream, streams[i]->Port()));
    }
    nodes.push_back(Node(20, eServer_File, 9)); // nothing listens: the file server is only named
    return nodes;
}

} // namespace fakeroom
