// Sending and receiving one file over a UDP peer link: the sender paces one block per multimedia-timer
// tick, keeps every block until the receiver acknowledges it, resends what later blocks overtook, and
// slows down or speeds up from the receiver's loss reports.
#pragma once
#include "filetransfer/FileTransBase.h"
#include "filetransfer/MMTimer.h"

#include <atomic>
#include <deque>
#include <functional>
#include <map>

// The multimedia timer of one transfer object, calling back into it.
class TransferTimer : public _FileTrans::CxMMTimer {
public:
    explicit TransferTimer(std::function<void()> tick) : m_tick(std::move(tick)) {}
    ~TransferTimer() override { Stop(); }
    int OnTimer() override
    {
        m_tick();
        return 0;
    }

private:
    std::function<void()> m_tick;
};

// The pacing rule applied to one loss report.
struct UdpPacing {
    int32_t period;    // ms per block
    int32_t blockSize; // bytes per block
    bool restart;      // the timer must restart with the new period
};
UdpPacing ApplyLossReport(int32_t period, int32_t blockSize, bool privateNetwork, uint32_t lossPercent);

// The loss percent the receiver reports for one interval: what reached the highest end but did not
// arrive. Resends can make received exceed the span; that is no loss.
uint16_t LossPercent(uint64_t receivedDelta, uint64_t highestEndDelta);

class CxUDPP2PFileTrans : public CxFileTransBase {
public:
    CxUDPP2PFileTrans();
    ~CxUDPP2PFileTrans() override;

    // Uses the socket, or creates one; -1 without socket, address or port; -2 without a thread; 1.
    int Start(SOCKET socket, uint32_t address, uint16_t port) override;
    // -1 unreadable file, -5 empty file, -2 no thread, else the worker's resume count.
    int SendFile(const CString& path, const FileTransInfo& info) override;
    void Stop() override;
    virtual int BeginSend(const CString& path, const FileTransInfo& info);
    virtual bool StartTimer(uint32_t periodMs, uint32_t resolutionMs);
    virtual void StopTimer();

    int32_t BlockSize() const { return m_blockSize; }
    int32_t PacingPeriod() const { return m_pacingPeriod; }
    bool Started() const { return m_started; }
    const FileTransInfo& Info() const { return m_info; }

private:
    struct Block {
        uint64_t start;
        uint64_t end; // exclusive
    };

    static DWORD WINAPI WorkerProc(void* self);
    void Run();
    void Dispatch(const uint8_t* datagram, size_t size, const sockaddr_in& from);
    void OnRequest(const uint8_t* payload, size_t size, const sockaddr_in& from);
    void OnAck(const uint8_t* payload, size_t size);
    void OnLoss(const uint8_t* payload, size_t size);
    void OnStatus(const uint8_t* payload, size_t size);
    void OnDone();
    void OnTick();
    void Fill(size_t count);
    void Refill();
    bool SendBlock(const Block& block);
    void SendOffer();
    void SendTo(const std::string& packet);

    SOCKET m_socket = INVALID_SOCKET;
    uint32_t m_peerAddress = 0;
    uint16_t m_peerPort = 0;
    HANDLE m_worker = nullptr;
    std::atomic<bool> m_started{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    HANDLE m_workerEnded = nullptr;
    CString m_path;
    FileTransInfo m_info = {};
    FileTransBlock m_requested = {};
    HANDLE m_file = INVALID_HANDLE_VALUE;
    int32_t m_blockSize = 1400;
    int32_t m_pacingPeriod = 20;
    bool m_privateNetwork = false;
    std::deque<Block> m_queue;             // to send next, in order
    std::map<uint64_t, uint64_t> m_pending; // start -> end, sent or queued and not acknowledged
    std::string m_packet;
    DWORD m_firstSend = 0;
    DWORD m_endTime = 0;
    std::atomic<DWORD> m_lastReceive{0};
    uint64_t m_bytesQueued = 0;
    bool m_allQueued = false;
    size_t m_targetQueue = 200;
    size_t m_refillThreshold = 0;
    size_t m_window = 0;
    CRITICAL_SECTION m_tickLock;
    TransferTimer m_timer;
};

class CxUDPP2PFileRcver : public CxFileTransBase {
public:
    CxUDPP2PFileRcver();
    ~CxUDPP2PFileRcver() override;

    // Uses the socket, or creates one when it is invalid; stores the peer and makes the folder. 1.
    int SetParams(SOCKET socket, uint32_t address, uint16_t port, const CString& folder) override;
    // 1 when receiving; -5 empty file; -1 unsafe name, or the data file cannot be made; -2 no thread.
    int StartRecv(const FileTransInfo& info) override;
    void Stop() override;
    virtual bool StartTimer(uint32_t periodMs, uint32_t resolutionMs);
    virtual void StopTimer();

    CString DataPath() const { return m_dataPath; }
    CString FinalPath() const;

private:
    static DWORD WINAPI WorkerProc(void* self);
    void Run();
    void Dispatch(const uint8_t* datagram, size_t size);
    bool WriteBlock(const FileTransHeader& header, const uint8_t* datagram, size_t size);
    void Report();
    void Finish();
    bool Store();
    void OnTimer();
    void SendTo(const std::string& packet);
    void SendTo(const void* bytes, size_t n);

    SOCKET m_socket = INVALID_SOCKET;
    uint32_t m_peerAddress = 0;
    uint16_t m_peerPort = 0;
    CString m_folder;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    CString m_dataPath;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    HANDLE m_worker = nullptr;
    HANDLE m_workerEnded = nullptr;
    FileTransInfo m_info = {};
    uint64_t m_bytesReceived = 0;
    uint64_t m_highestEnd = 0;
    uint16_t m_largestBlock = 0;
    std::string m_buffer;
    DWORD m_lossReportTime = 0;
    DWORD m_startTime = 0;
    DWORD m_lastProgressTime = 0;
    uint64_t m_receivedAtLossReport = 0;
    uint64_t m_highestAtLossReport = 0;
    bool m_reporting = false;
    uint16_t m_lastPercent = 0;
    std::atomic<DWORD> m_lastReceive{0};
    bool m_stored = false;
    CRITICAL_SECTION m_finishLock;
    TransferTimer m_timer;
};
