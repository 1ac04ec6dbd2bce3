// A room on 127.0.0.1 for tests and for a local demo: the UDP gateway (800, 801), UDP stream servers
// that echo probes (802), and the TCP registration server of the command channel (803 to 829).
#pragma once
#include "protocol/PacketHeader.h"
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fakeroom {

using Bytes = std::vector<uint8_t>;

struct Packet {
    PacketHeader header{};
    Bytes payload;
};

// The header fields a pushed message carries; type, length and fragments are filled in.
struct HeaderFields {
    uint16_t status = 1;
    uint16_t messageId = 0;
    uint32_t sender = 0;
    uint16_t serverId = 0;
    uint32_t destination = 0;
};

// The bytes of one message cut into fragments of fragmentSize payload bytes, each behind its header.
Bytes Frame(uint16_t type, const Bytes& payload, const HeaderFields& fields = HeaderFields(),
            size_t fragmentSize = kFragmentPayload);
// One fragment on its own (any number and count, for out-of-order and duplicate tests).
Bytes Fragment(uint16_t type, const Bytes& slice, uint8_t number, uint8_t count, const HeaderFields& fields);
// A ServerNode for the server list.
ServerNode Node(uint16_t id, uint8_t kind, uint16_t port, uint16_t lineKey = 1, uint16_t weight = 1,
                uint16_t lineFlag = 0, const char* ip = "127.0.0.1");

// One entry of the room-user list: u32 id, u16 server, u8 role, u8 sex, one unused byte, two names.
Bytes UserEntry(uint32_t id, uint8_t role, uint8_t sex, const std::string& screenName, const std::string& userName);
// Base64 of bytes (RFC 4648, padded): how a web page writes a launch link.
std::string Base64Text(const std::string& bytes);
// The launch link that joins this room's gateway on 127.0.0.1 ("Lumenvalep://" and the Base64 of its
// items), as a class page would hand it to the client.
std::string LaunchLink(uint32_t roomId, const char* roomName, uint32_t userId, const char* screenName, int roleType,
                       uint16_t gatewayPort);

// A UDP socket bound to 127.0.0.1 on a free port, with its own receive loop.
class UdpPeer {
public:
    explicit UdpPeer(const char* ip = "127.0.0.1", uint16_t port = 0);
    virtual ~UdpPeer();
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;
    uint16_t Port() const { return m_port; }
    bool Ok() const { return m_socket != INVALID_SOCKET; }

protected:
    void StartLoop();
    void StopLoop();
    // Called on the loop thread for each datagram.
    virtual void OnDatagram(const Bytes& datagram, const sockaddr_in& from) = 0;
    // Called on the loop thread about every 5 ms.
    virtual void OnIdle() {}
    void SendTo(const Bytes& bytes, const sockaddr_in& to);

    mutable std::mutex m_lock;

private:
    void Loop();
    SOCKET m_socket = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The gateway: answers the version query and the server-list query.
class FakeGateway : public UdpPeer {
public:
    // Any 127.x.y.z address works on loopback, so a second gateway host can share the port.
    explicit FakeGateway(const char* ip = "127.0.0.1", uint16_t port = 0);
    ~FakeGateway() override;

    // Status of the 800 reply: 1 or 0xF830 current, anything else announces downloadUrl.
    void SetVersionReply(uint16_t status, const std::string& downloadUrl = std::string());
    void SetServerList(const std::vector<ServerNode>& nodes, uint16_t status = 1);
    // A silent gateway receives and counts, but never answers.
    void SetSilent(bool silent);
    // Answers 801 only after this many queries of it were ignored.
    void SetServerListDelay(int ignoredQueries);
    // Answers every 801 at once with 8 bytes, too short to be a reply (a hostile or broken peer).
    void SetShortServerListReplies(bool on);

    int QueryCount(uint16_t type) const;
    std::vector<Packet> Queries() const;

private:
    void OnDatagram(const Bytes& datagram, const sockaddr_in& from) override;

    uint16_t m_versionStatus = 1;
    std::string m_downloadUrl;
    std::vector<ServerNode> m_nodes;
    uint16_t m_listStatus = 1;
    bool m_silent = false;
    int m_listIgnore = 0;
    bool m_shortListReplies = false;
    std::vector<Packet> m_queries;
};

// A stream server: echoes probe datagrams with its capacity, load and value added.
class FakeStreamServer : public UdpPeer {
public:
    FakeStreamServer();
    ~FakeStreamServer() override;

    void SetDelay(DWORD ms);
    // Datagrams with an index up to this number are not echoed (lost) in every round.
    void SetLossPerRound(int lost);
    void SetCapacity(uint32_t capacity, uint32_t load, uint16_t value = 7);
    // Echoes only this many bytes (a short echo is malformed).
    void SetEchoLength(size_t bytes);
    void SetSilent(bool silent);
    // Keeps sending the echoes of the last round it saw again, every 10 ms, until the end:
    // late echoes that arrive while the client measures later rounds.
    void SetReplayEchoes(bool on);
    int ProbeCount() const;

private:
    void OnDatagram(const Bytes& datagram, const sockaddr_in& from) override;
    void OnIdle() override;

    struct Pending {
        DWORD due;
        Bytes bytes;
        sockaddr_in to;
    };
    DWORD m_delay = 0;
    int m_loss = 0;
    uint32_t m_capacity = 100;
    uint32_t m_load = 0;
    uint16_t m_value = 7;
    size_t m_echoLength = 1400;
    bool m_silent = false;
    int m_probes = 0;
    std::deque<Pending> m_pending;
    bool m_replay = false;
    uint16_t m_replayRound = 0;
    DWORD m_replayDue = 0;
    std::vector<Pending> m_replayEchoes; // of the round m_replayRound
};

// The registration server: one client at a time; records every fragment it receives, answers the
// join and the three queries from its script, and pushes whatever a test asks for.
class FakeRegServer {
public:
    FakeRegServer();
    ~FakeRegServer();
    FakeRegServer(const FakeRegServer&) = delete;
    FakeRegServer& operator=(const FakeRegServer&) = delete;

    uint16_t Port() const { return m_port; }
    bool Ok() const { return m_listen != INVALID_SOCKET; }

    // The 803 reply: status and payload (44 bytes or more with status 1).
    void SetJoinReply(uint16_t status, const Bytes& payload);
    // Replies to 804, 819 and 826 (status, payload); a type without a reply gets none.
    void SetReply(uint16_t type, uint16_t status, const Bytes& payload);
    // Replies go out in fragments of this many payload bytes.
    void SetReplyFragmentSize(size_t bytes);
    // When off, nothing is answered.
    void SetAutoReply(bool on);
    // While on, the room keys drawings (818) as a class room does: one sent without a key gets the next
    // key above the highest seen, pens included, and a stroke goes back to its drawer with its key.
    void SetDrawingEcho(bool on);
    // While on, the strokes keyed for the echo are kept back (a slow room); off sends them, in order.
    void HoldDrawingEchoes(bool on);
    // While on, connects are neither accepted nor refused: the listen queue is kept full, so a
    // client's connect stays pending. Off lets them through again.
    bool HoldConnects(bool on);

    // Sends bytes to the connected client as they are; false when no client is connected.
    bool SendRaw(const Bytes& bytes);
    bool Push(uint16_t type, const Bytes& payload, const HeaderFields& fields = HeaderFields(),
              size_t fragmentSize = kFragmentPayload);
    // Closes the client connection (the client sees the server close it, or a reset).
    void Drop(bool reset = false);

    bool WaitForClient(DWORD timeoutMs = 5000);
    bool WaitForMessages(uint16_t type, size_t count, DWORD timeoutMs = 5000);
    // Waits until the client closed its side.
    bool WaitForClientGone(DWORD timeoutMs = 5000);
    int Accepted() const;
    // Every fragment as received, and the messages they join into.
    std::vector<Packet> Fragments() const;
    std::vector<Packet> Messages(uint16_t type = 0) const;
    size_t ReceivedBytes() const;
    void ClearReceived();

    // Called for every complete message on the server's thread (benchmarks count here).
    void SetMessageHook(std::function<void(const Packet&)> hook);

private:
    void Loop();
    void OnBytes(const uint8_t* data, size_t length);
    void OnMessage(const Packet& message);
    // Keys one drawing; true with the echo to send back when it is a stroke.
    bool KeyDrawing(const Packet& message, const HeaderFields& fields, Bytes& echo);
    void CloseClient();

    SOCKET m_listen = INVALID_SOCKET;
    SOCKET m_client = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::mutex m_sendLock;
    std::condition_variable m_changed;
    Bytes m_stream;
    std::vector<Packet> m_fragments;
    std::vector<Packet> m_messages;
    std::vector<std::pair<uint64_t, Packet>> m_partial; // key, fragments so far joined in order
    bool m_drawingEcho = false;
    bool m_holdEchoes = false;
    std::vector<Bytes> m_heldEchoes;
    uint32_t m_highestDrawingKey = 0;
    size_t m_receivedBytes = 0;
    int m_accepted = 0;
    bool m_clientOpen = false;
    bool m_dropRequested = false;
    bool m_dropWithReset = false;
    bool m_autoReply = true;
    size_t m_replyFragment = kFragmentPayload;
    uint16_t m_joinStatus = 1;
    Bytes m_joinPayload = Bytes(44, 0);
    struct Reply {
        uint16_t type;
        uint16_t status;
        Bytes payload;
    };
    std::vector<Reply> m_replies;
    std::function<void(const Packet&)> m_hook;
    bool m_holding = false;
    std::vector<SOCKET> m_fillers; // our own connects that fill the listen queue while holding
};

// Gateway, registration server and stream servers wired together: the gateway's list names them.
class FakeRoom {
public:
    explicit FakeRoom(int streamServers = 1);
    FakeGateway gateway;
    FakeRegServer reg;
    std::vector<FakeStreamServer*> streams;
    ~FakeRoom();
    // A list of the registration server, every stream server (line 1, weight 1) and a file server.
    std::vector<ServerNode> DefaultList() const;
};

} // namespace fakeroom
