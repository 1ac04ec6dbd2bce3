#include "filetransfer/UdpFileTrans.h"

#include "core/Logger.h"
#include "core/TextUtil.h"

#include <ctime>
#include <cstring>

using namespace FileTransWire;

namespace {

const DWORD kOfferGapMs = 100;
const DWORD kFinishGapMs = 300;
const size_t kPoolTarget = 200;
const int32_t kMinPrivateBlock = 4096;

// Both gates are shared by every sender of the process.
std::atomic<DWORD> g_lastOffer{0};
std::atomic<DWORD> g_lastFinish{0};
std::atomic<int> g_receiverCounter{0};

bool PassGate(std::atomic<DWORD>& gate, DWORD gapMs)
{
    DWORD now = NowMs();
    DWORD last = gate.load();
    if (last != 0 && now - last < gapMs) return false;
    return gate.compare_exchange_strong(last, now);
}

bool IsPeerSocketValue(SOCKET s)
{
    return s != 0 && s != INVALID_SOCKET;
}

bool IsLoopback(uint32_t networkOrder)
{
    return reinterpret_cast<const uint8_t*>(&networkOrder)[0] == 127;
}

SOCKET NewUdpSocket()
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return s;
    int buffer = 2 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&buffer), sizeof buffer);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&buffer), sizeof buffer);
    return s;
}

// Waits up to ms for a datagram; 1 ready, 0 none, <0 error.
int WaitDatagram(SOCKET s, DWORD ms)
{
    return CxTCPBase::WaitReadable(s, ms);
}

// A peer that went away makes Windows report a reset on the next receive; that is not an error of ours.
bool IsTransientUdpError(int error)
{
    return error == WSAECONNRESET || error == WSAEMSGSIZE;
}

void SendDatagram(SOCKET s, uint32_t address, uint16_t port, const void* bytes, size_t n)
{
    if (s == INVALID_SOCKET || address == 0 || port == 0) return;
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    sendto(s, static_cast<const char*>(bytes), static_cast<int>(n), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

} // namespace

UdpPacing ApplyLossReport(int32_t period, int32_t blockSize, bool privateNetwork, uint32_t lossPercent)
{
    UdpPacing result = {period, blockSize, false};
    // A report of all lost (or more) would divide by zero: treated as the worst loss that can be paced.
    uint32_t loss = lossPercent > 99 ? 99 : lossPercent;
    if (loss >= 10) {
        result.period = static_cast<int32_t>(static_cast<int64_t>(period) * 100 / (100 - loss));
        if (result.period > 10) {
            if (privateNetwork) {
                result.period += 10;
                result.blockSize = blockSize / 2 < kMinPrivateBlock ? kMinPrivateBlock : blockSize / 2;
                if (result.blockSize > blockSize) result.blockSize = blockSize;
            } else {
                result.period += 5;
            }
            result.restart = true;
        }
    } else if (loss <= 4 && !privateNetwork && period > 10) {
        result.period = period - 5 < 10 ? 10 : period - 5;
        result.restart = true;
    }
    return result;
}

uint16_t LossPercent(uint64_t receivedDelta, uint64_t highestEndDelta)
{
    if (highestEndDelta == 0 || receivedDelta >= highestEndDelta) return 0;
    return static_cast<uint16_t>((highestEndDelta - receivedDelta) * 100 / highestEndDelta);
}

// ---- sender ----

CxUDPP2PFileTrans::CxUDPP2PFileTrans() : m_timer([this] { OnTick(); })
{
    InitializeCriticalSection(&m_tickLock);
}

CxUDPP2PFileTrans::~CxUDPP2PFileTrans()
{
    Stop();
    DeleteCriticalSection(&m_tickLock);
}

int CxUDPP2PFileTrans::Start(SOCKET socket, uint32_t address, uint16_t port)
{
    m_socket = IsPeerSocketValue(socket) ? socket : NewUdpSocket();
    m_peerAddress = address;
    m_peerPort = port;
    if (m_socket == INVALID_SOCKET || address == 0 || port == 0) return -1;
    m_workerEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_worker = CreateThread(nullptr, 0, &CxUDPP2PFileTrans::WorkerProc, this, CREATE_SUSPENDED, nullptr);
    if (!m_worker || !m_workerEnded) return -2;
    return 1;
}

int CxUDPP2PFileTrans::SendFile(const CString& path, const FileTransInfo& info)
{
    m_running = true;
    FileTransInfo filled = info;
    m_file = OpenSourceFile(path, &filled.fileSize);
    if (m_file == INVALID_HANDLE_VALUE) return -1;
    // The receiver refuses an empty file, and the pacing has nothing to send.
    if (filled.fileSize == 0) return FTE_EMPTY_FILE;
    NameFromPath(filled, path);
    m_allQueued = false;
    m_window = 0;
    return BeginSend(path, filled);
}

int CxUDPP2PFileTrans::BeginSend(const CString& path, const FileTransInfo& info)
{
    m_path = path;
    m_info = info;
    SetStatusIds(info.transferId, info.sequence, info.tag);
    if (!m_worker) return -2;
    return static_cast<int>(ResumeThread(m_worker));
}

bool CxUDPP2PFileTrans::StartTimer(uint32_t periodMs, uint32_t resolutionMs)
{
    return m_timer.Start(periodMs, resolutionMs);
}

void CxUDPP2PFileTrans::StopTimer()
{
    m_timer.Stop();
}

void CxUDPP2PFileTrans::Stop()
{
    m_stopRequested = true;
    m_running = false;
    m_started = false;
    if (m_worker) ResumeThread(m_worker); // a worker never resumed would hold the wait for its full time
    EndWorker(m_worker, m_workerEnded, m_timings.udpStopWaitMs, 221, L"peer sender");
    // The timer is stopped before the tick lock is taken: a tick in progress holds it, and Stop waits
    // for that tick to end so none runs into the freed lists.
    StopTimer();
    EnterCriticalSection(&m_tickLock);
    CloseSocket(m_socket);
    m_queue.clear();
    m_pending.clear();
    m_packet.clear();
    m_packet.shrink_to_fit();
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_bytesQueued = 0;
    m_allQueued = false;
    m_window = 0;
    LeaveCriticalSection(&m_tickLock);
}

DWORD WINAPI CxUDPP2PFileTrans::WorkerProc(void* self)
{
    static_cast<CxUDPP2PFileTrans*>(self)->Run();
    return 0;
}

void CxUDPP2PFileTrans::SendTo(const std::string& packet)
{
    SendDatagram(m_socket, m_peerAddress, m_peerPort, packet.data(), packet.size());
}

void CxUDPP2PFileTrans::SendOffer()
{
    if (PassGate(g_lastOffer, kOfferGapMs)) SendTo(Offer(m_info));
}

void CxUDPP2PFileTrans::Run()
{
    std::vector<uint8_t> buffer(kUdpSenderDatagram);
    if (m_running) {
        SendTo(Offer(m_info));
        g_lastOffer = NowMs();
        m_lastReceive = NowMs();
    }
    while (m_running) {
        int ready = WaitDatagram(m_socket, 30);
        if (ready < 0) {
            if (!m_stopRequested) PostFailure(FTS_SEND_FAILED, WSAGetLastError());
            break;
        }
        if (ready == 0) {
            if (!m_started) SendOffer();
            continue;
        }
        sockaddr_in from = {};
        int fromLength = sizeof from;
        int n = recvfrom(m_socket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0,
                         reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (IsTransientUdpError(error)) continue;
            if (!m_stopRequested) PostFailure(FTS_SEND_FAILED, error);
            break;
        }
        m_lastReceive = NowMs();
        Dispatch(buffer.data(), static_cast<size_t>(n), from);
    }
    if (m_workerEnded) SetEvent(m_workerEnded);
}

void CxUDPP2PFileTrans::Dispatch(const uint8_t* datagram, size_t size, const sockaddr_in& from)
{
    FileTransHeader header;
    if (!ParseHeader(datagram, size, &header)) {
        Logger::Instance().Write(L"fileTransfer: Err, datagram of %d bytes dropped", static_cast<int>(size));
        return;
    }
    const uint8_t* payload = datagram + kHeaderSize;
    size_t payloadSize = size - kHeaderSize;
    switch (header.type) {
    case FTM_REQUEST: OnRequest(payload, payloadSize, from); break;
    case FTM_LOSS: OnLoss(payload, payloadSize); break;
    case FTM_DONE: OnDone(); break;
    case FTM_STATUS: OnStatus(payload, payloadSize); break;
    case FTM_ACK: OnAck(payload, payloadSize); break;
    default: break;
    }
}

void CxUDPP2PFileTrans::OnRequest(const uint8_t* payload, size_t size, const sockaddr_in& from)
{
    if (m_started) return; // repeated requests answer repeated offers
    FileTransBlock block;
    if (!ParseRequest(payload, size, &block)) {
        Logger::Instance().Write(L"fileTransfer: Err, peer request of %d bytes dropped", static_cast<int>(size));
        return;
    }
    EnterCriticalSection(&m_tickLock);
    m_requested = block;
    if (m_requested.offset > m_info.fileSize) m_requested.offset = m_info.fileSize;
    if (m_requested.length > m_info.fileSize - m_requested.offset)
        m_requested.length = m_info.fileSize - m_requested.offset;
    m_started = true;
    m_peerAddress = from.sin_addr.s_addr;
    m_peerPort = ntohs(from.sin_port);
    m_privateNetwork = IsPrivateIPv4(m_peerAddress) || (m_timings.udpLoopbackIsPrivate && IsLoopback(m_peerAddress));
    m_blockSize = static_cast<int32_t>(m_privateNetwork ? kUdpPrivateBlockBytes : kUdpPublicBlockBytes);
    m_pacingPeriod = m_privateNetwork ? m_timings.udpPrivatePeriodMs : m_timings.udpPublicPeriodMs;
    m_packet.assign(static_cast<size_t>(m_blockSize) + kHeaderSize + 48, '\0');
    m_bytesQueued = 0;
    m_targetQueue = kPoolTarget;
    Fill(kPoolTarget);
    m_refillThreshold = m_queue.size() * 2 / 3;
    int32_t period = m_pacingPeriod;
    LeaveCriticalSection(&m_tickLock);
    if (!StartTimer(static_cast<uint32_t>(period), 1))
        Logger::Instance().Write(L"fileTransfer: Err, pacing timer of %d ms did not start", period);
}

void CxUDPP2PFileTrans::Fill(size_t count)
{
    for (size_t k = 0; k < count; ++k) {
        uint64_t left = m_info.fileSize - m_bytesQueued;
        if (left == 0) {
            m_allQueued = true;
            return;
        }
        uint64_t n = left < static_cast<uint64_t>(m_blockSize) ? left : static_cast<uint64_t>(m_blockSize);
        Block block = {m_bytesQueued, m_bytesQueued + n};
        m_queue.push_back(block);
        m_pending[block.start] = block.end;
        m_bytesQueued += n;
    }
    if (m_bytesQueued == m_info.fileSize) m_allQueued = true;
}

bool CxUDPP2PFileTrans::SendBlock(const Block& block)
{
    DWORD n = static_cast<DWORD>(block.end - block.start);
    if (m_packet.size() < kHeaderSize + kBlockSize + n) m_packet.resize(kHeaderSize + kBlockSize + n);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(block.start);
    DWORD read = 0;
    char* bytes = &m_packet[kHeaderSize + kBlockSize];
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) || !ReadFile(m_file, bytes, n, &read, nullptr) ||
        read != n)
        return false;
    std::string head;
    AppendHeader(head, m_info.transferId, FTM_DATA, static_cast<uint16_t>(n));
    AppendBlock(head, block.start, n);
    memcpy(&m_packet[0], head.data(), head.size());
    SendDatagram(m_socket, m_peerAddress, m_peerPort, m_packet.data(), kHeaderSize + kBlockSize + n);
    return true;
}

void CxUDPP2PFileTrans::OnTick()
{
    EnterCriticalSection(&m_tickLock);
    if (m_started && m_file != INVALID_HANDLE_VALUE) {
        if (m_queue.size() > m_refillThreshold) {
            if (m_firstSend == 0) m_firstSend = NowMs();
            if (SendBlock(m_queue.front())) m_queue.pop_front();
        } else if (m_pending.empty() && m_allQueued) {
            if (PassGate(g_lastFinish, kFinishGapMs)) SendTo(Empty(m_info.transferId, FTM_FINISH));
        } else {
            Refill();
        }
        DWORD last = m_lastReceive;
        if (last != 0 && NowMs() - last >= m_timings.peerSilenceMs) PostFailure(FTS_SEND_FAILED, FTE_FILE);
    }
    LeaveCriticalSection(&m_tickLock);
}

void CxUDPP2PFileTrans::Refill()
{
    if (m_allQueued) {
        // Everything went out once: every block still unacknowledged goes again.
        for (const auto& p : m_pending) m_queue.push_back({p.first, p.second});
        m_refillThreshold = 0;
        return;
    }
    uint64_t mark = m_queue.empty() ? m_bytesQueued : m_queue.front().end;
    std::vector<Block> overtaken;
    for (const auto& p : m_pending) {
        if (p.second >= mark) break;
        overtaken.push_back({p.first, p.second});
    }
    size_t i = overtaken.size();
    size_t keep = i < m_window ? i / 2 : m_window;
    // The oldest of the overtaken blocks go to the front again, in file order.
    for (size_t k = i - keep; k > 0; --k) m_queue.push_front(overtaken[k - 1]);
    if (m_queue.size() < m_targetQueue) {
        Fill(m_targetQueue - m_queue.size());
        m_refillThreshold = m_allQueued ? 0 : m_queue.size() * 2 / 3;
    }
}

void CxUDPP2PFileTrans::OnAck(const uint8_t* payload, size_t size)
{
    std::vector<FileTransBlock> blocks;
    if (!ParseAcks(payload, size, &blocks)) {
        Logger::Instance().Write(L"fileTransfer: Err, acknowledgement of %d bytes dropped", static_cast<int>(size));
        return;
    }
    EnterCriticalSection(&m_tickLock);
    if (m_window == 0) {
        size_t queued = m_queue.size();
        m_window = queued < m_targetQueue ? m_targetQueue - queued : 1;
    }
    for (const FileTransBlock& block : blocks) {
        auto it = m_pending.find(block.offset);
        if (it != m_pending.end() && block.length <= ~0ull - block.offset && it->second == block.offset + block.length)
            m_pending.erase(it);
    }
    LeaveCriticalSection(&m_tickLock);
}

void CxUDPP2PFileTrans::OnLoss(const uint8_t* payload, size_t size)
{
    uint16_t loss = 0;
    if (!ParseLoss(payload, size, &loss)) {
        Logger::Instance().Write(L"fileTransfer: Err, loss report of %d bytes dropped", static_cast<int>(size));
        return;
    }
    if (loss > 100) {
        Logger::Instance().Write(L"fileTransfer: Err, loss report of %d %% dropped", loss);
        return;
    }
    EnterCriticalSection(&m_tickLock);
    UdpPacing pacing = ApplyLossReport(m_pacingPeriod, m_blockSize, m_privateNetwork, loss);
    m_pacingPeriod = pacing.period;
    m_blockSize = pacing.blockSize;
    LeaveCriticalSection(&m_tickLock);
    // Restarted outside the tick lock: stopping waits for a tick that may be holding it.
    if (pacing.restart && m_running) StartTimer(static_cast<uint32_t>(pacing.period), 1);
}

void CxUDPP2PFileTrans::OnStatus(const uint8_t* payload, size_t size)
{
    FileTransStatus peer;
    if (!ParseStatus(payload, size, &peer)) {
        Logger::Instance().Write(L"fileTransfer: Err, status of %d bytes dropped", static_cast<int>(size));
        return;
    }
    // The peer's progress, under our own id, sequence and tag: the window matches records by them.
    uint16_t percent = peer.percent > 100 ? 100 : peer.percent;
    PostState(percent >= 100 ? FTS_SEND_DONE : FTS_PROGRESS, percent, peer.speed);
}

void CxUDPP2PFileTrans::OnDone()
{
    m_running = false;
    StopTimer();
    m_endTime = NowMs();
    DWORD elapsed = m_firstSend ? m_endTime - m_firstSend : 0;
    PostState(FTS_SEND_DONE, 100, Speed(m_info.fileSize, elapsed));
}

// ---- receiver ----

CxUDPP2PFileRcver::CxUDPP2PFileRcver() : m_timer([this] { OnTimer(); })
{
    InitializeCriticalSection(&m_finishLock);
}

CxUDPP2PFileRcver::~CxUDPP2PFileRcver()
{
    Stop();
    DeleteCriticalSection(&m_finishLock);
}

int CxUDPP2PFileRcver::SetParams(SOCKET socket, uint32_t address, uint16_t port, const CString& folder)
{
    m_socket = IsPeerSocketValue(socket) ? socket : NewUdpSocket();
    m_peerAddress = address;
    m_peerPort = port;
    m_folder = folder;
    CString bare(folder);
    bare.TrimRight(L"\\/");
    CreateDirectoryW(bare, nullptr);
    return 1;
}

CString CxUDPP2PFileRcver::FinalPath() const
{
    return JoinPath(m_folder, Utf8ToWString(m_info.fileName));
}

int CxUDPP2PFileRcver::StartRecv(const FileTransInfo& info)
{
    m_info = info;
    m_info.fileName[sizeof m_info.fileName - 1] = '\0';
    m_bytesReceived = m_highestEnd = 0;
    m_stored = false;
    m_reporting = false;
    if (m_info.fileSize == 0) return FTE_EMPTY_FILE;
    CString name = Utf8ToWString(m_info.fileName);
    if (!IsSafeFileName(name.str())) {
        Logger::Instance().Write(L"fileTransfer: Err, refused file name \"%s\"", name.GetString());
        return -1;
    }
    SetStatusIds(m_info.transferId, m_info.sequence, m_info.tag);
    CString stamp;
    stamp.Format(L"%I64d_%d", static_cast<long long>(time(nullptr)), ++g_receiverCounter);
    m_dataPath = JoinPath(m_folder, name + L"_" + stamp + L"_tf");
    m_file = CreateFileW(m_dataPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(m_info.fileSize);
    if (m_file == INVALID_HANDLE_VALUE || !SetFilePointerEx(m_file, size, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(m_file)) {
        Logger::Instance().Write(L"fileTransfer: Err, cannot create %s, %d", m_dataPath.GetString(), GetLastError());
        return -1;
    }
    m_buffer.assign(kUdpReceiverDatagram, '\0');
    m_running = true;
    m_stopRequested = false;
    m_workerEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_worker = CreateThread(nullptr, 0, &CxUDPP2PFileRcver::WorkerProc, this, 0, nullptr);
    if (!m_worker || !m_workerEnded) {
        m_running = false;
        return -2;
    }
    StartTimer(m_timings.udpReceiverCheckMs, m_timings.udpReceiverCheckMs < 1000 ? 1 : 1000);
    return 1;
}

bool CxUDPP2PFileRcver::StartTimer(uint32_t periodMs, uint32_t resolutionMs)
{
    return m_timer.Start(periodMs, resolutionMs);
}

void CxUDPP2PFileRcver::StopTimer()
{
    m_timer.Stop();
}

void CxUDPP2PFileRcver::Stop()
{
    m_stopRequested = true;
    m_running = false;
    StopTimer();
    EndWorker(m_worker, m_workerEnded, m_timings.udpStopWaitMs, 219, L"peer receiver");
    CloseSocket(m_socket);
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    if (!m_stored && m_file != INVALID_HANDLE_VALUE && m_info.fileSize != 0 && m_bytesReceived == m_info.fileSize)
        Store();
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
}

DWORD WINAPI CxUDPP2PFileRcver::WorkerProc(void* self)
{
    static_cast<CxUDPP2PFileRcver*>(self)->Run();
    return 0;
}

void CxUDPP2PFileRcver::SendTo(const std::string& packet)
{
    SendDatagram(m_socket, m_peerAddress, m_peerPort, packet.data(), packet.size());
}

void CxUDPP2PFileRcver::SendTo(const void* bytes, size_t n)
{
    SendDatagram(m_socket, m_peerAddress, m_peerPort, bytes, n);
}

void CxUDPP2PFileRcver::Run()
{
    if (m_file == INVALID_HANDLE_VALUE) {
        SetEvent(m_workerEnded);
        return;
    }
    std::string request = Request(m_info.transferId, 0);
    SendTo(request);
    SendTo(request);
    m_lastReceive = NowMs();
    uint8_t* buffer = reinterpret_cast<uint8_t*>(&m_buffer[0]);
    while (m_running) {
        int ready = WaitDatagram(m_socket, 30);
        if (ready == 0) continue;
        int n = ready < 0 ? SOCKET_ERROR : recv(m_socket, reinterpret_cast<char*>(buffer), static_cast<int>(m_buffer.size()), 0);
        if (n == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (ready > 0 && IsTransientUdpError(error)) continue;
            if (!m_stopRequested) PostFailure(FTS_RECV_FAILED, error);
            break;
        }
        m_lastReceive = NowMs();
        Dispatch(buffer, static_cast<size_t>(n));
    }
    SetEvent(m_workerEnded);
}

void CxUDPP2PFileRcver::Dispatch(const uint8_t* datagram, size_t size)
{
    FileTransHeader header;
    if (!ParseHeader(datagram, size, &header)) {
        Logger::Instance().Write(L"fileTransfer: Err, datagram of %d bytes dropped", static_cast<int>(size));
        return;
    }
    if (header.type == FTM_OFFER) {
        SendTo(Request(m_info.transferId, 0));
    } else if (header.type == FTM_DATA) {
        if (WriteBlock(header, datagram, size)) {
            // The acknowledgement echoes the packet's own header and block.
            uint8_t ack[kHeaderSize + kBlockSize];
            memcpy(ack, datagram, sizeof ack);
            ack[8] = FTM_ACK;
            ack[9] = static_cast<uint8_t>(kBlockSize);
            ack[10] = 0;
            SendTo(ack, sizeof ack);
        }
    } else if (header.type == FTM_FINISH) {
        Finish();
    }
}

bool CxUDPP2PFileRcver::WriteBlock(const FileTransHeader& header, const uint8_t* datagram, size_t size)
{
    DataView block;
    if (!ParseUdpData(header, datagram + kHeaderSize, size - kHeaderSize, m_info.fileSize, &block)) {
        Logger::Instance().Write(L"fileTransfer: Err, data block outside the %I64u-byte file dropped", m_info.fileSize);
        return false;
    }
    if (m_file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(block.offset);
    DWORD written = 0;
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN) ||
        !WriteFile(m_file, block.bytes, static_cast<DWORD>(block.n), &written, nullptr) || written != block.n)
        return false;
    if (block.n > m_largestBlock) m_largestBlock = static_cast<uint16_t>(block.n);
    uint64_t cap = m_info.fileSize * 99 / 100;
    m_bytesReceived += block.n;
    // Completion is signalled by the sender's finish only, never by counting.
    if (m_bytesReceived > cap) m_bytesReceived = cap;
    if (block.offset + block.n > m_highestEnd) m_highestEnd = block.offset + block.n;
    Report();
    return true;
}

void CxUDPP2PFileRcver::Report()
{
    DWORD now = NowMs() + 1;
    if (!m_reporting) {
        m_reporting = true;
        m_startTime = m_lastProgressTime = m_lossReportTime = now;
        m_receivedAtLossReport = m_highestAtLossReport = 0;
    }
    if (now - m_lastProgressTime > m_timings.udpStatusIntervalMs) {
        m_lastProgressTime = now;
        uint16_t percent = static_cast<uint16_t>(m_bytesReceived * 100 / m_info.fileSize);
        if (percent >= 100) percent = 98;
        m_lastPercent = percent;
        FileTransStatus status = Status();
        status.state = FTS_PROGRESS;
        status.percent = percent;
        status.speed = Speed(m_bytesReceived, now - m_startTime);
        SendTo(FileTransWire::Status(m_info.transferId, status));
        PostState(FTS_PROGRESS, percent, status.speed);
    }
    if (now - m_lossReportTime > m_timings.udpLossIntervalMs) {
        uint16_t loss = LossPercent(m_bytesReceived - m_receivedAtLossReport, m_highestEnd - m_highestAtLossReport);
        SendTo(Loss(m_info.transferId, loss));
        m_receivedAtLossReport = m_bytesReceived;
        m_highestAtLossReport = m_highestEnd;
        m_lossReportTime = now;
    }
}

bool CxUDPP2PFileRcver::Store()
{
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    CString finalPath = FinalPath();
    if (!MoveFileExW(m_dataPath, finalPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        Logger::Instance().Write(L"fileTransfer: Err, cannot move %s to %s, %d", m_dataPath.GetString(), finalPath.GetString(),
                  GetLastError());
        return false;
    }
    m_stored = true;
    return true;
}

void CxUDPP2PFileRcver::Finish()
{
    EnterCriticalSection(&m_finishLock);
    if (!m_stored && m_running) {
        std::string done = Empty(m_info.transferId, FTM_DONE);
        SendTo(done);
        SendTo(done);
        m_running = false;
        if (Store())
            PostState(FTS_RECV_DONE, m_lastPercent, Speed(m_bytesReceived, NowMs() + 1 - m_startTime));
        else
            PostFailure(FTS_RECV_FAILED, FTE_FILE);
    }
    LeaveCriticalSection(&m_finishLock);
}

void CxUDPP2PFileRcver::OnTimer()
{
    DWORD last = m_lastReceive;
    if (m_running && last != 0 && NowMs() - last >= m_timings.peerSilenceMs) PostFailure(FTS_RECV_FAILED, FTE_FILE);
}
