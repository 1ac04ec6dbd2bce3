#include "filetransfer/TcpFileSender.h"

#include "core/Logger.h"

using namespace FileTransWire;

namespace {

const DWORD kOfferTimeoutMs = 2000;
const DWORD kHeaderTimeoutMs = 3000;
const DWORD kFinishTimeoutMs = 5000;
const DWORD kDataTimeoutMs = 15000;
const size_t kBlocksPerRun = 48;

} // namespace

CxTCPFileSender::CxTCPFileSender() = default;

CxTCPFileSender::~CxTCPFileSender()
{
    Stop();
}

int CxTCPFileSender::Start(SOCKET, uint32_t address, uint16_t port)
{
    m_address = address;
    m_port = port;
    m_socket = ConnectTimeout(address, port, static_cast<int>(m_timings.connectSeconds));
    if (m_socket == INVALID_SOCKET) return -1;
    m_controlEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_controlThread = CreateThread(nullptr, 0, &CxTCPFileSender::ControlProc, this, CREATE_SUSPENDED, nullptr);
    if (!m_controlEnded || !m_controlThread) return -2;
    return 1;
}

int CxTCPFileSender::SendFile(const CString& path, const FileTransInfo& info)
{
    m_running = true;
    m_info = info;
    m_file = OpenSourceFile(path, &m_info.fileSize);
    if (m_file == INVALID_HANDLE_VALUE) return -1;
    if (m_info.fileName[0] == '\0') NameFromPath(m_info, path);
    m_info.fileName[sizeof m_info.fileName - 1] = '\0';
    m_path = path;
    SetStatusIds(m_info.transferId, m_info.sequence, m_info.tag);
    if (!m_controlThread) return -2;
    return static_cast<int>(ResumeThread(m_controlThread));
}

void CxTCPFileSender::Stop()
{
    m_stopRequested = true;
    m_running = false;
    if (m_socket != INVALID_SOCKET) shutdown(m_socket, SD_BOTH);
    if (m_controlThread) {
        // A thread never resumed would keep the wait for its full time.
        ResumeThread(m_controlThread);
        Sleep(m_timings.senderStopSettleMs);
        // The control thread starts the data thread when a request arrives, so the data thread is known
        // only once the control thread has ended.
        DWORD start = NowMs();
        bool ended = WaitForSingleObject(m_controlThread, m_timings.senderStopWaitMs) != WAIT_TIMEOUT;
        DWORD spent = NowMs() - start;
        DWORD left = spent < m_timings.senderStopWaitMs ? m_timings.senderStopWaitMs - spent : 0;
        if (ended && m_dataThread) ended = WaitForSingleObject(m_dataThread, left) != WAIT_TIMEOUT;
        if (!ended) {
            Logger::Instance().Write(L"fileTransfer: Err, sender threads did not end, terminating");
            if (m_dataThread) TerminateThread(m_dataThread, 171);
            TerminateThread(m_controlThread, 172);
        }
    }
    CloseSocket(m_socket);
    for (HANDLE* h : {&m_controlThread, &m_dataThread, &m_controlEnded}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
    if (m_file != INVALID_HANDLE_VALUE) CloseHandle(m_file);
    m_file = INVALID_HANDLE_VALUE;
    m_requestReceived = false;
    m_sending = false;
    m_currentOffset = m_endOffset = 0;
    m_bytesSent = 0;
    m_startTime = m_lastPostTime = NowMs();
}

DWORD WINAPI CxTCPFileSender::ControlProc(void* self)
{
    static_cast<CxTCPFileSender*>(self)->RunControl();
    return 0;
}

DWORD WINAPI CxTCPFileSender::DataProc(void* self)
{
    static_cast<CxTCPFileSender*>(self)->RunData();
    return 0;
}

void CxTCPFileSender::RunControl()
{
    std::string offer = Offer(m_info);
    bool offered = SendAll(m_socket, offer.data(), static_cast<int>(offer.size()), kOfferTimeoutMs) ==
                   static_cast<int>(offer.size());
    uint8_t payload[kTcpSenderMaxPayload];
    m_lastHeard = NowMs();
    while (offered && m_running) {
        int ready = WaitReadable(m_socket, 30);
        if (ready < 0) break;
        if (ready == 0) {
            // A relay that keeps the connection but stops answering (no request, or no done after the
            // finish) would otherwise be waited for without end, and the window never learns of it.
            if (!m_sending && NowMs() - m_lastHeard > m_timings.senderIdleMs) {
                Logger::Instance().Write(L"fileTransfer: Err, relay silent for %u ms", m_timings.senderIdleMs);
                break;
            }
            continue;
        }
        FileTransHeader header;
        if (RecvAll(m_socket, &header, sizeof header, kHeaderTimeoutMs) != static_cast<int>(sizeof header)) break;
        if (header.length > sizeof payload) {
            Logger::Instance().Write(L"fileTransfer: Err, relay packet of %d bytes is too long", header.length);
            break;
        }
        if (RecvAll(m_socket, payload, header.length, kHeaderTimeoutMs) != header.length) break;
        m_lastHeard = NowMs();
        if (header.type == FTM_REQUEST) {
            if (!OnRequest(header, payload, header.length)) break;
        } else if (header.type == FTM_DONE) {
            m_doneReceived = true;
            SetTransferId(header.transferId);
            PostState(FTS_SEND_DONE, 100, Speed(m_bytesSent, NowMs() - m_startTime));
        }
    }
    SetEvent(m_controlEnded);
    // Whatever ended the loop without the relay's done is a failed upload, unless the owner stopped it.
    if (!m_doneReceived && !m_stopRequested) PostState(FTS_SEND_FAILED, 0, 0);
}

bool CxTCPFileSender::OnRequest(const FileTransHeader& header, const uint8_t* payload, size_t size)
{
    FileTransBlock block;
    if (!ParseRequest(payload, size, &block)) {
        Logger::Instance().Write(L"fileTransfer: Err, relay request of %d bytes", static_cast<int>(size));
        return false;
    }
    // A relay repeating its request must not start a second sender on the same socket.
    if (m_requestReceived) return true;
    if (block.offset > m_info.fileSize) {
        Logger::Instance().Write(L"fileTransfer: Err, relay asks from %I64u of a %I64u-byte file", block.offset, m_info.fileSize);
        return false;
    }
    m_request = block;
    m_currentOffset = block.offset;
    m_endOffset = m_info.fileSize;
    m_info.transferId = header.transferId;
    SetStatusIds(header.transferId, m_info.sequence, m_info.tag);
    m_requestReceived = true;
    m_blockSize = static_cast<int32_t>(kTcpBlockBytes);
    m_sending = true;
    m_dataThread = CreateThread(nullptr, 0, &CxTCPFileSender::DataProc, this, 0, nullptr);
    if (!m_dataThread) m_sending = false;
    return m_dataThread != nullptr;
}

bool CxTCPFileSender::ReadAt(uint64_t offset, void* buffer, DWORD n)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN)) return false;
    DWORD read = 0;
    return ReadFile(m_file, buffer, n, &read, nullptr) && read == n;
}

void CxTCPFileSender::RunData()
{
    m_startTime = m_lastPostTime = NowMs();
    m_bytesSent = m_currentOffset;
    std::string chunk;
    std::string batch;
    while (m_running) {
        if (m_currentOffset == m_endOffset) {
            m_bytesSent = m_info.fileSize;
            std::string finish = Empty(m_info.transferId, FTM_FINISH);
            SendAll(m_socket, finish.data(), static_cast<int>(finish.size()), kFinishTimeoutMs);
            break;
        }
        // One read and one send carry a run of blocks; each block still travels as its own packet.
        uint64_t left = m_endOffset - m_currentOffset;
        size_t runBytes = static_cast<size_t>(m_blockSize) * kBlocksPerRun;
        DWORD n = static_cast<DWORD>(left < runBytes ? left : runBytes);
        chunk.resize(n);
        if (!ReadAt(m_currentOffset, &chunk[0], n)) {
            // The file shrank or broke under us: the relay would wait for bytes that never come.
            Logger::Instance().Write(L"fileTransfer: Err, source file gave less than %I64u bytes", m_endOffset);
            break;
        }
        batch.clear();
        for (DWORD done = 0; done < n;) {
            DWORD piece = n - done < static_cast<DWORD>(m_blockSize) ? n - done : static_cast<DWORD>(m_blockSize);
            AppendHeader(batch, m_info.transferId, FTM_DATA, static_cast<uint16_t>(kBlockSize + piece));
            AppendBlock(batch, m_currentOffset + done, piece);
            batch.append(chunk, done, piece);
            done += piece;
        }
        int total = static_cast<int>(batch.size());
        if (SendAll(m_socket, batch.data(), total, kDataTimeoutMs) != total) {
            m_running = false;
            break;
        }
        m_bytesSent += n;
        m_currentOffset += n;
        PostProgress();
    }
    // The relay's done is awaited from here on, within the idle time.
    m_lastHeard = NowMs();
    m_sending = false;
    if (m_currentOffset != m_endOffset) {
        if (!m_stopRequested) PostState(FTS_SEND_FAILED, 0, 0);
        // Wakes the control thread, which then ends too; the socket is closed by Stop.
        shutdown(m_socket, SD_BOTH);
    }
}

void CxTCPFileSender::PostProgress()
{
    DWORD now = NowMs();
    DWORD elapsed = now - m_startTime;
    uint64_t sent = m_bytesSent;
    if (sent == m_info.fileSize) {
        PostState(FTS_PROGRESS, 100, Speed(sent, elapsed));
        return;
    }
    if (elapsed < 10 || now - m_lastPostTime <= m_timings.progressIntervalMs) return;
    PostState(FTS_PROGRESS, Percent(sent, m_info.fileSize), Speed(sent, elapsed));
    m_lastPostTime = now;
}
