#include "filetransfer/TcpFileRcver.h"

#include "core/Logger.h"

using namespace FileTransWire;

namespace {

const DWORD kRequestTimeoutMs = 2000;
const DWORD kReadTimeoutMs = 5000;
const uint64_t kResumeBackoff = 4096;
// The progress file is rewritten after this much new data (and always at the end): a saved position
// that lags only makes the next resume start earlier.
const uint64_t kSaveEvery = 64 * 1024;
const size_t kWriteRun = 256 * 1024;

HANDLE OpenForWriting(const CString& path, DWORD disposition)
{
    return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

uint64_t FileLength(const CString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Exists(const CString& path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteAt(HANDLE file, uint64_t offset, const void* bytes, DWORD n)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    DWORD written = 0;
    return WriteFile(file, bytes, n, &written, nullptr) && written == n;
}

} // namespace

CxTCPFileRcver::CxTCPFileRcver() = default;

CxTCPFileRcver::~CxTCPFileRcver()
{
    Stop();
}

int CxTCPFileRcver::SetParams(SOCKET, uint32_t address, uint16_t port, const CString& folder)
{
    m_address = address;
    m_port = port;
    m_folder = folder;
    CString bare(folder);
    bare.TrimRight(L"\\/");
    CreateDirectoryW(bare, nullptr);
    return 1;
}

uint64_t CxTCPFileRcver::ResumeOffset(uint64_t savedPosition)
{
    return savedPosition > kResumeBackoff ? savedPosition - kResumeBackoff : 0;
}

CString CxTCPFileRcver::FinalPath() const
{
    CString name;
    name.Format(L"%I64d", static_cast<long long>(m_info.transferId));
    return JoinPath(m_folder, name);
}

uint64_t CxTCPFileRcver::ReadSavedPosition() const
{
    if (!Exists(m_dataPath) || !Exists(m_progressPath)) return 0;
    HANDLE file = CreateFileW(m_progressPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    uint64_t saved = 0;
    DWORD read = 0;
    bool ok = ReadFile(file, &saved, sizeof saved, &read, nullptr) && read == sizeof saved;
    CloseHandle(file);
    if (!ok) return 0;
    // A position from a different or damaged download is not trusted.
    if (saved > m_info.fileSize || FileLength(m_dataPath) != m_info.fileSize) {
        Logger::Instance().Write(L"FileTransfer: Err, saved position %I64u of %s does not fit, starting afresh", saved,
                  m_dataPath.GetString());
        return 0;
    }
    return saved;
}

bool CxTCPFileRcver::OpenFresh()
{
    m_dataFile = OpenForWriting(m_dataPath, CREATE_ALWAYS);
    if (m_dataFile == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    size.QuadPart = static_cast<LONGLONG>(m_info.fileSize);
    return SetFilePointerEx(m_dataFile, size, nullptr, FILE_BEGIN) && SetEndOfFile(m_dataFile);
}

int CxTCPFileRcver::StartRecv(const FileTransInfo& info)
{
    m_info = info;
    m_info.fileName[sizeof m_info.fileName - 1] = '\0';
    m_bytesReceived = m_highestEnd = 0;
    m_stored = false;
    m_writeFailed = false;
    m_pending.clear();
    if (m_info.fileSize == 0) return FTE_EMPTY_FILE;
    SetStatusIds(m_info.transferId, m_info.sequence, m_info.tag);

    m_socket = ConnectTimeout(m_address, m_port, static_cast<int>(m_timings.connectSeconds));
    if (m_socket == INVALID_SOCKET) return -1;

    CString id;
    id.Format(L"%I64d", static_cast<long long>(m_info.transferId));
    m_dataPath = JoinPath(m_folder, id + L"_tf");
    m_progressPath = JoinPath(m_folder, id + L"_pf");

    m_savedPosition = ReadSavedPosition();
    m_resumeOffset = ResumeOffset(m_savedPosition);
    if (m_resumeOffset > 0) {
        m_progressFile = OpenForWriting(m_progressPath, OPEN_EXISTING);
        if (m_progressFile == INVALID_HANDLE_VALUE) return FTE_FILE;
        m_dataFile = OpenForWriting(m_dataPath, OPEN_EXISTING);
        if (m_dataFile == INVALID_HANDLE_VALUE) return -1;
    } else {
        if (!OpenFresh()) {
            Logger::Instance().Write(L"FileTransfer: Err, cannot create %s, %d", m_dataPath.GetString(), GetLastError());
            return -1;
        }
        m_progressFile = OpenForWriting(m_progressPath, CREATE_ALWAYS);
        if (m_progressFile == INVALID_HANDLE_VALUE) return FTE_FILE;
    }
    m_bytesReceived = m_highestEnd = m_resumeOffset;
    m_savedPosition = m_lastSavedWrite = m_resumeOffset;

    m_running = true;
    m_stopRequested = false;
    m_workerEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_worker = CreateThread(nullptr, 0, &CxTCPFileRcver::WorkerProc, this, 0, nullptr);
    if (!m_worker || !m_workerEnded) {
        m_running = false;
        return -1;
    }
    return 1;
}

DWORD WINAPI CxTCPFileRcver::WorkerProc(void* self)
{
    static_cast<CxTCPFileRcver*>(self)->Run();
    return 0;
}

void CxTCPFileRcver::Run()
{
    int32_t result = FTE_FILE;
    if (m_dataFile != INVALID_HANDLE_VALUE) {
        std::string request = Request(m_info.transferId, m_resumeOffset);
        m_startTime = m_lastPostTime = NowMs();
        if (SendAll(m_socket, request.data(), static_cast<int>(request.size()), kRequestTimeoutMs) ==
            static_cast<int>(request.size()))
            result = ReceiveLoop();
        else
            result = m_lastSocketError ? m_lastSocketError : FTE_SHORT;
    }
    if (FlushPending()) SaveProgress(true);
    if (m_dataFile != INVALID_HANDLE_VALUE) CloseHandle(m_dataFile);
    m_dataFile = INVALID_HANDLE_VALUE;
    SetEvent(m_workerEnded);
    if (Complete()) {
        if (CompleteStep()) {
            PostState(FTS_RECV_DONE, 100, Speed(m_bytesReceived, NowMs() - m_startTime));
        } else {
            PostFailure(FTS_RECV_FAILED, FTE_FILE);
        }
    } else if (!m_stopRequested) {
        PostFailure(FTS_RECV_FAILED, result);
    }
    shutdown(m_socket, SD_BOTH);
}

int32_t CxTCPFileRcver::ReceiveLoop()
{
    DWORD lastData = NowMs();
    TcpPacketReader reader;
    while (m_running) {
        if (reader.Buffered() == 0) {
            int ready = WaitReadable(m_socket, 30);
            if (ready < 0) return WSAGetLastError();
            if (ready == 0) {
                if (NowMs() - lastData > m_timings.receiverIdleMs) return FTE_IDLE;
                continue;
            }
        }
        lastData = NowMs();
        FileTransHeader header;
        const uint8_t* payload = nullptr;
        TcpPacketReader::Result read = reader.ReadPacket(m_socket, kTcpReceiverMaxPayload, kReadTimeoutMs, &header,
                                                         &payload);
        if (read == TcpPacketReader::kTooLong)
            Logger::Instance().Write(L"FileTransfer: Err, relay packet of %d bytes is too long", header.length);
        if (read != TcpPacketReader::kPacket) return FTE_SHORT;
        if (header.type == FTM_DATA) {
            DataView block;
            if (!ParseTcpData(payload, header.length, m_info.fileSize, &block)) {
                Logger::Instance().Write(L"FileTransfer: Err, data block outside the %I64u-byte file", m_info.fileSize);
                return FTE_SHORT;
            }
            if (!WriteBlock(block)) return FTE_FILE;
            if (Complete()) return FlushPending() ? FTE_NONE : FTE_FILE;
            PostProgress(true);
        } else if (header.type == FTM_FINISH) {
            if (Complete()) return FlushPending() ? FTE_NONE : FTE_FILE;
        } else if (header.type == FTM_REFUSE) {
            PostState(FTS_REFUSED, 0, 0);
        }
    }
    return FTE_NONE;
}

bool CxTCPFileRcver::WriteBlock(const DataView& block)
{
    // Blocks that continue the pending run are gathered and written together.
    bool continues = !m_pending.empty() && block.offset == m_pendingOffset + m_pending.size();
    if (!continues || m_pending.size() + block.n > kWriteRun) {
        if (!FlushPending()) return false;
        m_pendingOffset = block.offset;
    }
    m_pending.append(reinterpret_cast<const char*>(block.bytes), block.n);
    if (static_cast<int32_t>(block.n) > m_largestBlock) m_largestBlock = static_cast<int32_t>(block.n);
    // Only bytes past the highest end count: the relay streams in file order, and a block it repeats must
    // not make a file with a hole look complete.
    uint64_t end = block.offset + block.n;
    if (end > m_highestEnd) {
        m_bytesReceived += end - (block.offset > m_highestEnd ? block.offset : m_highestEnd);
        m_highestEnd = end;
    }
    m_savedPosition = m_bytesReceived < m_highestEnd ? m_bytesReceived : m_highestEnd;
    return true;
}

bool CxTCPFileRcver::FlushPending()
{
    if (m_pending.empty()) return true;
    bool ok = WriteAt(m_dataFile, m_pendingOffset, m_pending.data(), static_cast<DWORD>(m_pending.size()));
    if (!ok) {
        Logger::Instance().Write(L"FileTransfer: Err, cannot write %s, %d", m_dataPath.GetString(), GetLastError());
        m_writeFailed = true;
    }
    m_pending.clear();
    // The saved position may only claim bytes that are in the data file.
    if (ok) SaveProgress(false);
    return ok;
}

void CxTCPFileRcver::SaveProgress(bool force)
{
    if (m_progressFile == INVALID_HANDLE_VALUE) return;
    if (!force && m_savedPosition - m_lastSavedWrite < kSaveEvery) return;
    if (WriteAt(m_progressFile, 0, &m_savedPosition, sizeof m_savedPosition)) m_lastSavedWrite = m_savedPosition;
}

void CxTCPFileRcver::PostProgress(bool afterData)
{
    DWORD now = NowMs();
    DWORD elapsed = now - m_startTime;
    if (m_bytesReceived < m_info.fileSize) {
        if (elapsed < 10) return;
        if (afterData && now - m_lastPostTime <= m_timings.progressIntervalMs) return;
    }
    m_lastPostTime = now;
    PostState(FTS_PROGRESS, Percent(m_bytesReceived, m_info.fileSize), Speed(m_bytesReceived, elapsed));
}

bool CxTCPFileRcver::CompleteStep()
{
    if (m_stored) return true;
    if (m_dataFile != INVALID_HANDLE_VALUE) CloseHandle(m_dataFile);
    m_dataFile = INVALID_HANDLE_VALUE;
    CString finalPath = FinalPath();
    bool moved = false;
    if (Exists(m_dataPath)) {
        moved = MoveFileExW(m_dataPath, finalPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != 0;
        if (!moved)
            Logger::Instance().Write(L"FileTransfer: Err, cannot move %s to %s, %d", m_dataPath.GetString(), finalPath.GetString(),
                      GetLastError());
    }
    if (!moved) return false;
    if (m_progressFile != INVALID_HANDLE_VALUE) CloseHandle(m_progressFile);
    m_progressFile = INVALID_HANDLE_VALUE;
    DeleteFileW(m_progressPath);
    m_stored = true;
    return true;
}

void CxTCPFileRcver::CloseFiles()
{
    if (m_dataFile != INVALID_HANDLE_VALUE) CloseHandle(m_dataFile);
    m_dataFile = INVALID_HANDLE_VALUE;
    if (m_progressFile != INVALID_HANDLE_VALUE) CloseHandle(m_progressFile);
    m_progressFile = INVALID_HANDLE_VALUE;
}

void CxTCPFileRcver::Stop()
{
    m_stopRequested = true;
    m_running = false;
    if (m_socket != INVALID_SOCKET) shutdown(m_socket, SD_BOTH);
    EndWorker(m_worker, m_workerEnded, m_timings.receiverStopWaitMs, 202, L"receiver");
    CloseSocket(m_socket);
    if (m_dataFile != INVALID_HANDLE_VALUE && FlushPending()) SaveProgress(true);
    m_pending.clear();
    if (m_dataFile != INVALID_HANDLE_VALUE) CloseHandle(m_dataFile);
    m_dataFile = INVALID_HANDLE_VALUE;
    if (Complete() && !m_dataPath.IsEmpty()) CompleteStep();
    CloseFiles();
    m_info = FileTransInfo();
    m_bytesReceived = m_highestEnd = 0;
    m_largestBlock = 0;
    m_startTime = m_lastPostTime = 1;
    m_savedPosition = m_lastSavedWrite = m_resumeOffset = 0;
}
