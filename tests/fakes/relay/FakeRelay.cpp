#include "tests/fakes/relay/FakeRelay.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace FileTransWire;

namespace {

bool EnsureSockets()
{
    static bool ok = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ok;
}

bool RecvExact(SOCKET s, void* out, size_t n)
{
    char* p = static_cast<char*>(out);
    while (n > 0) {
        int got = recv(s, p, static_cast<int>(n), 0);
        if (got <= 0) return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool SendBytes(SOCKET s, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        int n = send(s, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Buffered reads of one connection: an upload is thousands of small packets.
class StreamBuffer {
public:
    explicit StreamBuffer(SOCKET s) : m_socket(s), m_bytes(256 * 1024) {}
    bool Read(void* out, size_t n)
    {
        char* p = static_cast<char*>(out);
        while (n > 0) {
            if (m_pos == m_end) {
                int got = recv(m_socket, m_bytes.data(), static_cast<int>(m_bytes.size()), 0);
                if (got <= 0) return false;
                m_pos = 0;
                m_end = static_cast<size_t>(got);
            }
            size_t take = std::min(n, m_end - m_pos);
            memcpy(p, m_bytes.data() + m_pos, take);
            m_pos += take;
            p += take;
            n -= take;
        }
        return true;
    }

private:
    SOCKET m_socket;
    std::vector<char> m_bytes;
    size_t m_pos = 0, m_end = 0;
};

bool ReadPacket(StreamBuffer& in, FileTransHeader* header, std::string* payload)
{
    if (!in.Read(header, sizeof *header)) return false;
    payload->assign(header->length, '\0');
    return header->length == 0 || in.Read(&(*payload)[0], header->length);
}

bool ReadPacket(SOCKET s, FileTransHeader* header, std::string* payload)
{
    if (!RecvExact(s, header, sizeof *header)) return false;
    payload->assign(header->length, '\0');
    return header->length == 0 || RecvExact(s, &(*payload)[0], header->length);
}

// Waits until the client closes its side, so the test's client sees our data before the close.
void DrainUntilClosed(SOCKET s, DWORD ms)
{
    DWORD start = GetTickCount();
    char sink[4096];
    while (GetTickCount() - start < ms) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval wait = {0, 20 * 1000};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready < 0) return;
        if (ready > 0 && recv(s, sink, sizeof sink, 0) <= 0) return;
    }
}

} // namespace

FakeRelay::FakeRelay()
{
    EnsureSockets();
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || listen(m_listen, 16) != 0) {
        closesocket(m_listen);
        m_listen = INVALID_SOCKET;
        return;
    }
    int length = sizeof at;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&at), &length);
    m_port = ntohs(at.sin_port);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
}

FakeRelay::~FakeRelay()
{
    m_stopping = true;
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (SOCKET s : m_sockets) shutdown(s, SD_BOTH);
    }
    if (m_acceptThread.joinable()) m_acceptThread.join();
    for (std::thread& t : m_connections) t.join();
    for (SOCKET s : m_sockets) closesocket(s);
}

uint32_t FakeRelay::Address() const { return inet_addr("127.0.0.1"); }

void FakeRelay::SetKnobs(const RelayKnobs& knobs)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_knobs = knobs;
}

void FakeRelay::AddFile(uint64_t id, const std::string& bytes)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_files[id] = bytes;
}

std::string FakeRelay::Uploaded(uint64_t id) const
{
    std::lock_guard<std::mutex> hold(m_lock);
    auto it = m_uploads.find(id);
    return it == m_uploads.end() ? std::string() : it->second;
}

#define LOCKED_COPY(field)                      \
    std::lock_guard<std::mutex> hold(m_lock); \
    return field

std::vector<uint64_t> FakeRelay::DownloadRequestOffsets() const { LOCKED_COPY(m_requestOffsets); }
std::vector<uint64_t> FakeRelay::DownloadRequestIds() const { LOCKED_COPY(m_requestIds); }
std::vector<FileTransInfo> FakeRelay::Offers() const { LOCKED_COPY(m_offers); }
std::vector<FileTransHeader> FakeRelay::OfferHeaders() const { LOCKED_COPY(m_offerHeaders); }
std::vector<uint64_t> FakeRelay::UploadPacketIds() const { LOCKED_COPY(m_uploadIds); }
std::vector<uint64_t> FakeRelay::UploadFirstOffsets() const { LOCKED_COPY(m_uploadFirstOffsets); }
std::vector<uint64_t> FakeRelay::DownloadFirstOffsets() const { LOCKED_COPY(m_downloadFirstOffsets); }
size_t FakeRelay::ConnectionsEnded() const { LOCKED_COPY(m_ended); }
size_t FakeRelay::BadUploadPackets() const { LOCKED_COPY(m_badUpload); }

bool FakeRelay::WaitConnectionsEnded(size_t count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_ended >= count; });
}

bool FakeRelay::Sleeping(DWORD ms) const
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        if (m_stopping) return false;
        Sleep(5);
    }
    return !m_stopping;
}

std::vector<DWORD> FakeRelay::AcceptTimes() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_acceptTimes;
}

void FakeRelay::AcceptLoop()
{
    while (!m_stopping) {
        SOCKET s = accept(m_listen, nullptr, nullptr);
        if (s == INVALID_SOCKET) return;
        const DWORD now = GetTickCount();
        std::lock_guard<std::mutex> hold(m_lock);
        m_acceptTimes.push_back(now);
        m_sockets.push_back(s);
        m_connections.emplace_back([this, s] { Serve(s); });
    }
}

void FakeRelay::Serve(SOCKET s)
{
    RelayKnobs knobs;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        knobs = m_knobs;
    }
    FileTransHeader header;
    std::string payload;
    if (ReadPacket(s, &header, &payload)) {
        if (header.type == FTM_OFFER) ServeUpload(s, header, payload, knobs);
        if (header.type == FTM_REQUEST) ServeDownload(s, header, payload, knobs);
    }
    shutdown(s, SD_BOTH);
    std::lock_guard<std::mutex> hold(m_lock);
    ++m_ended;
    m_changed.notify_all();
}

void FakeRelay::ServeUpload(SOCKET s, const FileTransHeader& header, const std::string& payload,
                            const RelayKnobs& knobs)
{
    FileTransBlock block;
    FileTransInfo info;
    if (!ParseOffer(payload.data(), payload.size(), &block, &info)) return;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_offers.push_back(info);
        m_offerHeaders.push_back(header);
        std::string& stored = m_uploads[knobs.relayId];
        stored.resize(static_cast<size_t>(info.fileSize), '\0');
    }
    // Held until the relay is destroyed; its destructor wakes the sleep.
    auto fallSilent = [this] { Sleeping(INFINITE); };
    if (knobs.silentAfterBytes == 0) return fallSilent();
    for (int i = 0; i < knobs.requestRepeats; ++i) {
        if (!SendBytes(s, Request(knobs.relayId, knobs.uploadStartOffset))) return;
    }
    int64_t received = 0;
    bool first = true;
    FileTransHeader packet;
    std::string body;
    StreamBuffer in(s);
    while (ReadPacket(in, &packet, &body)) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_uploadIds.push_back(packet.transferId);
        if (packet.type == FTM_FINISH) break;
        if (packet.type != FTM_DATA) continue;
        DataView view;
        if (!ParseTcpData(body.data(), body.size(), info.fileSize, &view)) {
            ++m_badUpload;
            return;
        }
        if (first) m_uploadFirstOffsets.push_back(view.offset);
        first = false;
        memcpy(&m_uploads[knobs.relayId][static_cast<size_t>(view.offset)], view.bytes, view.n);
        received += static_cast<int64_t>(view.n);
        if (knobs.closeAfterBytes >= 0 && received >= knobs.closeAfterBytes) return;
        if (knobs.silentAfterBytes > 0 && received >= knobs.silentAfterBytes) break;
    }
    if (knobs.silentAfterBytes > 0) return fallSilent();
    if (knobs.omitDone) return;
    SendBytes(s, Empty(knobs.relayId, FTM_DONE));
    DrainUntilClosed(s, 3000);
}

void FakeRelay::ServeDownload(SOCKET s, const FileTransHeader& header, const std::string& payload,
                              const RelayKnobs& knobs)
{
    FileTransBlock block;
    if (!ParseRequest(payload.data(), payload.size(), &block)) return;
    std::string file;
    bool found = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_requestOffsets.push_back(block.offset);
        m_requestIds.push_back(header.transferId);
        auto it = m_files.find(header.transferId);
        if (it != m_files.end()) {
            file = it->second;
            found = true;
        }
    }
    if (knobs.refuse || !found) {
        SendBytes(s, Empty(header.transferId, FTM_REFUSE));
        Sleeping(100);
        return;
    }
    if (!Sleeping(knobs.stallMs)) return;
    while (knobs.holdDownloads && !m_released) {
        if (!Sleeping(5)) return;
    }
    if (knobs.badPacket == 1) {
        std::string big;
        AppendHeader(big, header.transferId, FTM_DATA, 4000);
        big += std::string(4000, 'B');
        SendBytes(s, big);
        DrainUntilClosed(s, 3000);
        return;
    }
    if (knobs.badPacket == 2) {
        SendBytes(s, TcpData(header.transferId, file.size(), "zz", 2));
        DrainUntilClosed(s, 3000);
        return;
    }
    if (knobs.badPacket == 3) {
        std::string lying = TcpData(header.transferId, 0, file.data(), std::min<size_t>(10, file.size()));
        lying[19] = 9; // block says 9 bytes, packet carries 10
        SendBytes(s, lying);
        DrainUntilClosed(s, 3000);
        return;
    }
    if (knobs.badPacket == 4) {
        SendBytes(s, std::string("\x01\x02\x03", 3));
        return;
    }
    uint64_t offset = std::min<uint64_t>(block.offset, file.size());
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_downloadFirstOffsets.push_back(offset);
    }
    int64_t sent = 0;
    // Whole runs of packets go out in one send: a real relay streams, it does not wait per block.
    std::string batch;
    while (offset < file.size()) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(knobs.chunkSize, file.size() - offset));
        if (knobs.closeAfterBytes >= 0 && sent + static_cast<int64_t>(n) > knobs.closeAfterBytes)
            n = static_cast<size_t>(knobs.closeAfterBytes - sent);
        if (n == 0) break;
        batch += TcpData(header.transferId, offset, file.data() + offset, n);
        if (knobs.repeatFirstChunk && sent == 0) batch += TcpData(header.transferId, offset, file.data() + offset, n);
        offset += n;
        sent += static_cast<int64_t>(n);
        if (batch.size() >= 64 * 1024) {
            if (!SendBytes(s, batch)) return;
            batch.clear();
        }
        if (m_stopping) return;
    }
    if (!batch.empty() && !SendBytes(s, batch)) return;
    if (knobs.closeAfterBytes >= 0 && sent >= knobs.closeAfterBytes && offset < file.size()) {
        Sleeping(50);
        return;
    }
    if (knobs.sendFinish) SendBytes(s, Empty(header.transferId, FTM_FINISH));
    if (knobs.closeDelayMs) Sleeping(knobs.closeDelayMs);
    DrainUntilClosed(s, 3000);
}

LossyUdpProxy::LossyUdpProxy(uint16_t receiverPort, const LossyKnobs& knobs)
    : m_receiverPort(receiverPort), m_knobs(knobs)
{
    EnsureSockets();
    auto bound = [](SOCKET* s, uint16_t* port) {
        *s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in at = {};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(*s, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int length = sizeof at;
        getsockname(*s, reinterpret_cast<sockaddr*>(&at), &length);
        *port = ntohs(at.sin_port);
        int buffer = 4 << 20;
        setsockopt(*s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&buffer), sizeof buffer);
        setsockopt(*s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&buffer), sizeof buffer);
    };
    bound(&m_outer, &m_port);
    bound(&m_inner, &m_innerPort);
    m_thread = std::thread([this] { Run(); });
}

LossyUdpProxy::~LossyUdpProxy()
{
    m_stopping = true;
    if (m_thread.joinable()) m_thread.join();
    closesocket(m_outer);
    closesocket(m_inner);
}

void LossyUdpProxy::Run()
{
    sockaddr_in sender = {};
    bool haveSender = false;
    sockaddr_in receiver = {};
    receiver.sin_family = AF_INET;
    receiver.sin_addr.s_addr = inet_addr("127.0.0.1");
    receiver.sin_port = htons(m_receiverPort);
    std::vector<char> buffer(65536);
    std::string held;
    int fromSender = 0, fromReceiver = 0;
    while (!m_stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_outer, &readable);
        FD_SET(m_inner, &readable);
        timeval wait = {0, 20 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        if (FD_ISSET(m_outer, &readable)) {
            sockaddr_in from = {};
            int fromLength = sizeof from;
            int n = recvfrom(m_outer, buffer.data(), static_cast<int>(buffer.size()), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n > 0) {
                sender = from;
                haveSender = true;
                ++fromSender;
                std::string datagram(buffer.data(), static_cast<size_t>(n));
                auto out = [&](const std::string& d) {
                    sendto(m_inner, d.data(), static_cast<int>(d.size()), 0,
                           reinterpret_cast<sockaddr*>(&receiver), sizeof receiver);
                    ++m_forwarded;
                };
                if (m_knobs.dropEvery && fromSender % m_knobs.dropEvery == 0) {
                    ++m_dropped;
                } else if (m_knobs.reorderEvery && fromSender % m_knobs.reorderEvery == 0 && held.empty()) {
                    held = datagram;
                } else {
                    out(datagram);
                    if (m_knobs.duplicateEvery && fromSender % m_knobs.duplicateEvery == 0) out(datagram);
                    if (!held.empty()) {
                        out(held);
                        held.clear();
                    }
                }
            }
        }
        if (FD_ISSET(m_inner, &readable)) {
            int n = recv(m_inner, buffer.data(), static_cast<int>(buffer.size()), 0);
            if (n > 0 && haveSender) {
                ++fromReceiver;
                if (m_knobs.dropReturn && m_knobs.dropEvery && fromReceiver % m_knobs.dropEvery == 0) {
                    ++m_dropped;
                    continue;
                }
                sendto(m_outer, buffer.data(), n, 0, reinterpret_cast<sockaddr*>(&sender), sizeof sender);
            }
        }
    }
}
