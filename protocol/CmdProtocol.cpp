#include "protocol/CmdProtocol.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include <algorithm>
#include <cstring>
#include <new>

namespace {
// Up to this many fragments go to the socket in one send; the bytes on the wire are the same.
const size_t kFragmentsPerSend = 48;
const size_t kInboxSize = 64 * 1024;

HWND MainWindow()
{
    SessionContext* session = SessionContext::Existing();
    return session ? session->mainWindow : nullptr;
}
} // namespace

WinsockUser::WinsockUser()
{
    WSADATA data;
    m_ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

WinsockUser::~WinsockUser()
{
    if (m_ok) WSACleanup();
}

CCmdProtocol::CCmdProtocol(const ChannelTimings& timings)
    : m_timings(timings), m_packet(kFragmentBuffer), m_inbox(kInboxSize), m_assembler(timings.pendingLimit)
{
}

CCmdProtocol::~CCmdProtocol()
{
    RequestStop();
    // A thread that outlived the stop wait still runs this object's loop: wait for it to see the
    // closed socket before the members go away. The stop has woken it, so this ends within one
    // receive wait; the connection manager destroys its channel only once the thread has ended.
    Join(INFINITE);
}

bool CCmdProtocol::IsConnected() const
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    return m_socket != INVALID_SOCKET;
}

uint32_t CCmdProtocol::RoomId() const
{
    SessionContext* session = SessionContext::Existing();
    return session ? session->room.roomId : 0;
}

void CCmdProtocol::BeginAttempt()
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_stop = false;
    m_closing = false; // a channel stopped before reports the losses of its new connection
    m_abortConnect = false;
}

bool CCmdProtocol::Connect()
{
    // A receive thread of the previous connection ends at its closed socket; never run two.
    Join(m_timings.stopWaitMs + m_timings.receiveWaitMs);
    SOCKET s;
    {
        // Under the lock a stop either came before (no socket is made) or closes the one made here.
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (m_abortConnect) {
            LOG_INFO(L"connect RegServer skipped: the channel was stopped");
            return false;
        }
        if (m_socket == INVALID_SOCKET) m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        s = m_socket;
    }
    if (s == INVALID_SOCKET) {
        LOG_ERROR(L"connect RegServer error, no socket (%d)", WSAGetLastError());
        return false;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = m_server.address;
    address.sin_port = htons(m_server.port);
    if (ConnectWithin(s, address)) {
        m_inboxStart = m_inboxEnd = 0;
        return true;
    }
    Logger::Instance().Write(L"connect RegServer error, ip=%u, port=%d", m_server.address, m_server.port);
    CloseSocket();
    return false;
}

bool CCmdProtocol::ConnectWithin(SOCKET s, const sockaddr_in& address)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return false;
    bool connected = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        const DWORD start = GetTickCount();
        for (;;) {
            if (m_abortConnect) break;
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= m_timings.connectWaitMs) {
                LOG_ERROR(L"connect RegServer timed out after %u ms", static_cast<unsigned>(elapsed));
                break;
            }
            DWORD slice = std::min<DWORD>(m_timings.receiveWaitMs, m_timings.connectWaitMs - elapsed);
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval wait{static_cast<long>(slice / 1000), static_cast<long>(slice % 1000) * 1000};
            int ready = select(0, nullptr, &writable, &failed, &wait);
            if (ready < 0 || FD_ISSET(s, &failed)) break;
            if (ready > 0 && FD_ISSET(s, &writable)) {
                int error = 0;
                int size = sizeof(error);
                connected = getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && !error;
                break;
            }
        }
    }
    // The receive loop and the senders expect a blocking socket.
    nonBlocking = 0;
    if (connected && ioctlsocket(s, FIONBIO, &nonBlocking) != 0) connected = false;
    return connected;
}

void CCmdProtocol::CloseSocket()
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_socket != INVALID_SOCKET) {
        closesocket(m_socket);
        m_socket = INVALID_SOCKET;
    }
    if (m_retired != INVALID_SOCKET && !m_receiving) {
        closesocket(m_retired);
        m_retired = INVALID_SOCKET;
    }
}

void CCmdProtocol::ReportLoss(SOCKET s, const wchar_t* where)
{
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        if (m_socket == INVALID_SOCKET || m_socket != s || m_closing) return;
        m_socket = INVALID_SOCKET;
        if (m_receiving && GetCurrentThreadId() != m_threadId) {
            // The receive thread may be waiting on this socket: wake it, and let it close the handle.
            shutdown(s, SD_BOTH);
            m_retired = s;
        } else {
            closesocket(s);
        }
    }
    LOG_ERROR(L"command channel lost (%s, %d)", where, WSAGetLastError());
    PostMessageW(MainWindow(), WM_USER_OFFLINE, 0, 0);
}

bool CCmdProtocol::SendAll(const uint8_t* bytes, size_t length)
{
    SOCKET s;
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        s = m_socket;
    }
    if (s == INVALID_SOCKET) return false;
    size_t sent = 0;
    while (sent < length) {
        size_t chunk = length - sent > 0x7FFFFFFF ? 0x7FFFFFFF : length - sent;
        int n = send(s, reinterpret_cast<const char*>(bytes + sent), static_cast<int>(chunk), 0);
        if (n == SOCKET_ERROR || n == 0) {
            ReportLoss(s, L"send");
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool CCmdProtocol::SendPacket(uint16_t type, const void* payload, uint32_t length, uint32_t destination)
{
    if (length > kMaxMessagePayload) {
        LOG_ERROR(L"message type %d of %u bytes needs more than %u fragments, not sent", type, length,
                  kMaxFragments);
        return false;
    }
    if (length && !payload) return false;
    uint32_t count = length / kFragmentPayload + ((length % kFragmentPayload || length == 0) ? 1 : 0);
    SessionContext* session = SessionContext::Existing();
    PacketHeader header = MakeHeader(type, 0);
    header.fragmentCount = static_cast<uint8_t>(count);
    header.sender = session ? session->userId : 0;
    header.serverId = m_server.id;
    header.destination = destination;

    std::lock_guard<std::mutex> lock(m_sendLock);
    const uint8_t* bytes = static_cast<const uint8_t*>(payload);
    m_sendBuffer.clear();
    for (uint32_t i = 1; i <= count; ++i) {
        uint32_t offset = (i - 1) * kFragmentPayload;
        uint32_t fragmentBytes = i < count ? kFragmentPayload : length - offset;
        header.length = static_cast<uint16_t>(fragmentBytes);
        header.fragmentNumber = static_cast<uint8_t>(i);
        const uint8_t* head = reinterpret_cast<const uint8_t*>(&header);
        m_sendBuffer.insert(m_sendBuffer.end(), head, head + sizeof(header));
        if (fragmentBytes) m_sendBuffer.insert(m_sendBuffer.end(), bytes + offset, bytes + offset + fragmentBytes);
        if (i % kFragmentsPerSend == 0 || i == count) {
            if (!SendAll(m_sendBuffer.data(), m_sendBuffer.size())) {
                Logger::Instance().Write(L"发送数据失败, type= %d", type);
                return false;
            }
            m_sendBuffer.clear();
        }
    }
    return true;
}

HANDLE CCmdProtocol::Start()
{
    // A stop of this attempt wins: either it comes first and no thread starts, or it finds the
    // thread started here and waits for it.
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_stop) {
        LOG_INFO(L"command channel not started: it was stopped");
        return nullptr;
    }
    return CThread::Start();
}

void CCmdProtocol::RequestStop()
{
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        m_stop = true;
        m_closing = true;
        m_abortConnect = true;
        // Wakes a receive thread blocked in select or recv at once; it then sees the stop flag.
        if (m_socket != INVALID_SOCKET) shutdown(m_socket, SD_BOTH);
    }
    Join(m_timings.stopWaitMs);
    CloseSocket();
}

void CCmdProtocol::Run()
{
    SOCKET s;
    {
        std::lock_guard<std::mutex> lock(m_socketLock);
        s = m_socket;
        m_receiving = true;
    }
    while (!m_stop && s != INVALID_SOCKET) {
        if (m_inboxStart == m_inboxEnd) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(s, &readable);
            timeval wait{static_cast<long>(m_timings.receiveWaitMs / 1000),
                         static_cast<long>(m_timings.receiveWaitMs % 1000) * 1000};
            int ready = select(0, &readable, nullptr, nullptr, &wait);
            if (ready == 0) continue;
            if (ready == SOCKET_ERROR) {
                ReportLoss(s, L"select");
                break;
            }
        }
        if (!ReceivePacket(s)) {
            ReportLoss(s, L"recv");
            break;
        }
    }
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_retired != INVALID_SOCKET) {
        closesocket(m_retired);
        m_retired = INVALID_SOCKET;
    }
    m_receiving = false;
}

bool CCmdProtocol::ReadExact(SOCKET s, uint8_t* out, size_t length)
{
    while (length) {
        if (m_inboxStart == m_inboxEnd) {
            m_inboxStart = m_inboxEnd = 0;
            int n = recv(s, reinterpret_cast<char*>(m_inbox.data()), static_cast<int>(m_inbox.size()), 0);
            if (n == SOCKET_ERROR || n == 0) return false;
            m_inboxEnd = static_cast<size_t>(n);
        }
        size_t take = m_inboxEnd - m_inboxStart < length ? m_inboxEnd - m_inboxStart : length;
        memcpy(out, m_inbox.data() + m_inboxStart, take);
        m_inboxStart += take;
        out += take;
        length -= take;
    }
    return true;
}

bool CCmdProtocol::Discard(SOCKET s, size_t length)
{
    while (length) {
        size_t take = length < m_packet.size() ? length : m_packet.size();
        if (!ReadExact(s, m_packet.data(), take)) return false;
        length -= take;
    }
    return true;
}

bool CCmdProtocol::ReceivePacket(SOCKET s)
{
    if (!ReadExact(s, m_packet.data(), sizeof(PacketHeader))) return false;
    PacketHeader header;
    memcpy(&header, m_packet.data(), sizeof(header));
    if (header.length > kFragmentPayload) {
        // Larger than any fragment a peer may send: skip it whole so the next header is found.
        LOG_ERROR(L"packet type %u announces %u payload bytes, more than %u; dropped", header.type, header.length,
                  kFragmentPayload);
        return Discard(s, header.length);
    }
    uint8_t* payload = m_packet.data() + sizeof(PacketHeader);
    if (!ReadExact(s, payload, header.length)) return false;
    if (header.fragmentCount == 1) {
        Dispatch(header, payload, header.length);
        return true;
    }
    PacketHeader joinedHeader;
    // Out of memory, the assembler drops its incomplete messages itself and says so; the connection stays.
    if (m_assembler.Add(header, payload, header.length, joinedHeader, m_joined)) {
        Dispatch(joinedHeader, m_joined.data(), static_cast<uint32_t>(m_joined.size()));
        m_joined.clear();
        if (m_joined.capacity() > kMaxMessagePayload) std::vector<uint8_t>().swap(m_joined);
    }
    return true;
}

void CCmdProtocol::LogOutOfMemory(uint16_t type, const wchar_t* what)
{
    try {
        LOG_ERROR(L"command %u: %s dropped, out of memory", type, what);
    } catch (const std::bad_alloc&) {
        // Not even the line fits: the message is dropped all the same.
    }
}

void CCmdProtocol::Dispatch(const PacketHeader& header, const uint8_t* payload, uint32_t length)
{
    RoomMessage message;
    try {
        if (!ParseRoomCommand(header, payload, length, message)) return;
    } catch (const std::bad_alloc&) {
        // The parser's records free themselves on the way out: only this message is lost.
        LogOutOfMemory(header.type, L"message");
        return;
    }
    // Without a window PostMessage would queue the record on this thread, which never reads its queue.
    HWND window = MainWindow();
    if (!window || !PostMessageW(window, message.message, message.wParam, message.lParam)) {
        LOG_ERROR(L"command %u not delivered to the main window (%lu)", header.type, window ? GetLastError() : 0);
        FreeRoomMessage(message.message, message.wParam, message.lParam);
    }
}
