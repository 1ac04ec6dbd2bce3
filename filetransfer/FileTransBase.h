// What every transfer object shares: the window it reports to, its progress record, the records it has
// posted and not yet got back, and (for the two TCP classes) blocking socket calls with time-outs.
#pragma once
#include "filetransfer/FileTransProtocol.h"
#include "platform/afx/AfxString.h"

#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <vector>

// Result codes of transfers, also carried in failure records.
enum FileTransError : int32_t {
    FTE_NONE = 0,
    FTE_NO_OBJECT = -1,
    FTE_START = -2,
    FTE_SEND_FILE = -3,
    FTE_EMPTY_FILE = -5,
    FTE_FILE = -100,    // a file could not be opened or stored; UDP: 20 s without a datagram
    FTE_SHORT = -200,   // a header or payload arrived short, or a packet broke the rules
    FTE_IDLE = -500,    // nothing to read for the idle time
};

// Waits and idle times; the defaults are the ones the relay and peers expect. Tests shorten them.
struct FileTransTimings {
    DWORD connectSeconds = 2;
    DWORD receiverIdleMs = 20000;    // TCP receiver: nothing read
    DWORD senderIdleMs = 20000;      // TCP sender: no word from the relay, the receiver's idle time
    DWORD peerSilenceMs = 20001;     // UDP: no datagram
    DWORD senderStopSettleMs = 200;  // TCP sender: lets the threads see the closed socket
    DWORD senderStopWaitMs = 1000;
    DWORD receiverStopWaitMs = 500;
    DWORD udpStopWaitMs = 1000;
    DWORD progressIntervalMs = 500;  // TCP progress throttle
    DWORD udpStatusIntervalMs = 200;
    DWORD udpLossIntervalMs = 10000;
    DWORD udpReceiverCheckMs = 5000;
    int32_t udpPublicPeriodMs = 20;
    int32_t udpPrivatePeriodMs = 5;
    bool udpLoopbackIsPrivate = false; // tests: pace a loopback peer as a private-network one
    // The values new transfer objects start with.
    static FileTransTimings& Defaults();
};

// Starts Winsock 2.2 once for the process.
bool EnsureWinsock();
// Milliseconds from a tick count: what every transfer measures time in.
inline DWORD NowMs() { return GetTickCount(); }

class CxFileTransBase {
public:
    CxFileTransBase();
    // Records still waiting in a window's queue stay valid: they are handed over to the process-wide
    // list and freed when handed back (CFileTransSession::FreeStatus) or once their window is gone.
    virtual ~CxFileTransBase();
    CxFileTransBase(const CxFileTransBase&) = delete;
    CxFileTransBase& operator=(const CxFileTransBase&) = delete;

    virtual int Start(SOCKET socket, uint32_t address, uint16_t port);
    virtual int SendFile(const CString& path, const FileTransInfo& info);
    virtual int SetParams(SOCKET socket, uint32_t address, uint16_t port, const CString& folder);
    virtual int StartRecv(const FileTransInfo& info);
    virtual void Stop() = 0;

    void Init(HWND window, UINT message);
    // Posts a copy of the current record, with the error value, when the window still exists.
    void PostStatus();
    // Deletes a record this object posted; any other pointer is left alone.
    void FreeStatus(FileTransStatus* record);

    // A record whose poster is gone (or a record posted by a session itself): freed here.
    static bool FreeOrphanStatus(FileTransStatus* record);
    // Posts a record that belongs to no transfer object (already-downloaded answers); answers the record
    // posted, or null when the window is gone (nothing is posted then).
    static FileTransStatus* PostOrphanStatus(HWND window, UINT message, const FileTransStatus& status);
    // True when poster posted this record and it has not been handed back yet; a null poster asks
    // whether the record is an orphan still out.
    static bool IsPostedBy(const FileTransStatus* record, const CxFileTransBase* poster);
    // Records posted and not handed back yet, over the whole process (tests).
    static size_t OutstandingRecords();

    FileTransStatus Status() const;
    void SetTimings(const FileTransTimings& timings) { m_timings = timings; }

protected:
    // Sets state, percent and speed and posts. A transfer ends with exactly one final record: once a
    // done or failed record went out, later ones are dropped.
    void PostState(uint16_t state, uint16_t percent, uint16_t speed);
    void PostFailure(uint16_t state, int32_t error);
    void SetStatusIds(uint64_t transferId, uint32_t sequence, uint32_t tag);
    void SetTransferId(uint64_t transferId);

    static uint16_t Percent(uint64_t bytes, uint64_t size);
    // Bytes per millisecond; an elapsed time of 0 counts as 5 ms.
    static uint16_t Speed(uint64_t bytes, DWORD elapsedMs);

    HWND m_notifyWindow = nullptr;
    UINT m_notifyMessage = 0;
    FileTransStatus* m_status = nullptr;
    int32_t m_error = 0;
    mutable CRITICAL_SECTION m_lock;
    FileTransTimings m_timings;

private:
    bool m_finalPosted = false;
};

class CxTCPBase {
public:
    // Both split the time-out into 50 ms rounds and answer the bytes moved; short on time-out or error.
    // A peer that closed ends the receive at once.
    int SendAll(SOCKET socket, const void* bytes, int count, DWORD timeoutMs);
    int RecvAll(SOCKET socket, void* buffer, int count, DWORD timeoutMs);
    // One select; answers its result.
    static int WaitWritable(SOCKET socket, int seconds);
    static int WaitReadable(SOCKET socket, DWORD ms);
    static int SetNonBlocking(SOCKET socket, bool on);
    // A blocking TCP socket connected within the time, or INVALID_SOCKET.
    static SOCKET ConnectTimeout(uint32_t address, uint16_t port, int seconds);

protected:
    int m_lastSocketError = 0;
};

// Reads whole packets from a TCP stream through one buffer, so that a stream of small packets costs a
// few large receives. Never hands out more than the buffer holds.
class TcpPacketReader {
public:
    explicit TcpPacketReader(size_t capacity = 128 * 1024) : m_buffer(capacity) {}
    size_t Buffered() const { return m_end - m_pos; }
    enum Result { kPacket, kShort, kTooLong, kSocketError };
    // One packet whose payload is at most maxPayload; the payload pointer stays valid until the next call.
    Result ReadPacket(SOCKET socket, size_t maxPayload, DWORD timeoutMs, FileTransHeader* header,
                      const uint8_t** payload);

private:
    bool Fill(SOCKET socket, size_t need, DWORD timeoutMs);

    std::vector<uint8_t> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    int m_lastSocketError = 0;
};

// Closes the socket once and marks it invalid.
void CloseSocket(SOCKET& socket);

// Opens a file to send for shared reading and reads its length; INVALID_HANDLE_VALUE, with a log
// line, when either fails.
HANDLE OpenSourceFile(const CString& path, uint64_t* size);
// The file's own name for FileTransInfo: after the last backslash, UTF-8, at most 63 bytes with the
// extension kept at the end.
void NameFromPath(FileTransInfo& info, const CString& path);
// Waits for a worker to end, terminates it with the exit code when the wait runs out, and closes its
// handle and that of its end event.
void EndWorker(HANDLE& worker, HANDLE& ended, DWORD waitMs, DWORD exitCode, const wchar_t* what);

// Joins folder and name with exactly one backslash.
CString JoinPath(const CString& folder, const CString& name);
