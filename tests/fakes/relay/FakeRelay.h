// A file relay on 127.0.0.1 for the transfer tests: one transfer per connection, uploads kept in memory,
// downloads served from files added by the test, and knobs for the ways a relay misbehaves.
#pragma once
#include "filetransfer/FileTransProtocol.h"

#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct RelayKnobs {
    uint64_t relayId = 7001;        // id an upload is given in the relay's request
    uint64_t uploadStartOffset = 0; // where the relay asks an upload to start
    int requestRepeats = 1;         // requests sent for one offer
    bool omitDone = false;          // upload: close after finish without done
    // Upload: once this many data bytes arrived (0: right after the offer, with no request), the relay
    // keeps the connection open but neither reads nor answers any more.
    int64_t silentAfterBytes = -1;
    size_t chunkSize = 1357;        // download: file bytes per data packet
    bool sendFinish = true;         // download: finish after the last data
    int64_t closeAfterBytes = -1;   // close the connection after this many data bytes (either way)
    DWORD stallMs = 0;              // download: silence before the first data
    bool holdDownloads = false;     // download: no data until ReleaseDownloads
    DWORD closeDelayMs = 0;         // download: keep the connection this long after the data
    bool refuse = false;            // download: answer with refuse, then close
    bool repeatFirstChunk = false;  // download: the first data packet goes out twice
    // Download: a broken packet first. 1 length over the reader's buffer, 2 block outside the file,
    // 3 block length unlike the packet, 4 a header cut short.
    int badPacket = 0;
};

class FakeRelay {
public:
    FakeRelay();
    ~FakeRelay();
    FakeRelay(const FakeRelay&) = delete;
    FakeRelay& operator=(const FakeRelay&) = delete;

    uint32_t Address() const; // 127.0.0.1, network order
    uint16_t Port() const { return m_port; }
    bool Listening() const { return m_listen != INVALID_SOCKET; }

    void SetKnobs(const RelayKnobs& knobs);
    void AddFile(uint64_t id, const std::string& bytes);
    // Lets downloads held by holdDownloads go on.
    void ReleaseDownloads() { m_released = true; }
    std::string Uploaded(uint64_t id) const;

    std::vector<uint64_t> DownloadRequestOffsets() const;
    std::vector<uint64_t> DownloadRequestIds() const;
    std::vector<FileTransInfo> Offers() const;
    std::vector<FileTransHeader> OfferHeaders() const;
    // Ids in the headers of every upload packet after the offer.
    std::vector<uint64_t> UploadPacketIds() const;
    // The first data offset of each upload connection.
    std::vector<uint64_t> UploadFirstOffsets() const;
    // Data bytes the relay sent, per download connection, and their first offset.
    std::vector<uint64_t> DownloadFirstOffsets() const;
    size_t ConnectionsEnded() const;
    // GetTickCount at every accepted connection, in order.
    std::vector<DWORD> AcceptTimes() const;
    bool WaitConnectionsEnded(size_t count, DWORD timeoutMs) const;
    // Upload packets carried a block outside their announced file or a length unlike their block.
    size_t BadUploadPackets() const;

private:
    void AcceptLoop();
    void Serve(SOCKET s);
    void ServeUpload(SOCKET s, const FileTransHeader& header, const std::string& payload, const RelayKnobs& knobs);
    void ServeDownload(SOCKET s, const FileTransHeader& header, const std::string& payload, const RelayKnobs& knobs);
    bool Sleeping(DWORD ms) const;

    SOCKET m_listen = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_released{false};
    std::thread m_acceptThread;
    std::vector<std::thread> m_connections;
    std::vector<SOCKET> m_sockets;

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    RelayKnobs m_knobs;
    std::map<uint64_t, std::string> m_files;
    std::map<uint64_t, std::string> m_uploads;
    std::vector<uint64_t> m_requestOffsets, m_requestIds, m_uploadIds, m_uploadFirstOffsets, m_downloadFirstOffsets;
    std::vector<FileTransInfo> m_offers;
    std::vector<FileTransHeader> m_offerHeaders;
    std::vector<DWORD> m_acceptTimes;
    size_t m_ended = 0;
    size_t m_badUpload = 0;
};

// A UDP forwarder between a peer sender and a peer receiver on 127.0.0.1 that loses, reorders and
// duplicates datagrams from the sender, to prove the peer transfer survives them.
struct LossyKnobs {
    int dropEvery = 0;      // drop every Nth sender datagram (0: none)
    int duplicateEvery = 0; // send every Nth twice
    int reorderEvery = 0;   // hold every Nth back until the next one went out
    bool dropReturn = false; // also drop every dropEvery-th datagram towards the sender
};

class LossyUdpProxy {
public:
    // Datagrams arriving on the proxy's port from anyone but the receiver go to the receiver; the
    // receiver's go back to the last sender address seen.
    LossyUdpProxy(uint16_t receiverPort, const LossyKnobs& knobs);
    ~LossyUdpProxy();
    LossyUdpProxy(const LossyUdpProxy&) = delete;
    LossyUdpProxy& operator=(const LossyUdpProxy&) = delete;

    uint16_t Port() const { return m_port; }
    // The proxy's socket towards the receiver: the receiver sees this as its peer.
    uint16_t ReceiverSidePort() const { return m_innerPort; }
    size_t Forwarded() const { return m_forwarded; }
    size_t Dropped() const { return m_dropped; }

private:
    void Run();

    SOCKET m_outer = INVALID_SOCKET; // faces the sender
    SOCKET m_inner = INVALID_SOCKET; // faces the receiver
    uint16_t m_port = 0, m_innerPort = 0, m_receiverPort = 0;
    LossyKnobs m_knobs;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_released{false};
    std::atomic<size_t> m_forwarded{0}, m_dropped{0};
    std::thread m_thread;
};
