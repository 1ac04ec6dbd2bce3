// The client's one connection manager: gateway version query and server list over UDP, probing and
// choice of servers, the command channel's connect and the join, on its own thread.
#pragma once
#include "core/Records.h"
#include "core/Thread.h"
#include "protocol/CmdProtocol.h"
#include "protocol/ServerProbe.h"
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct ProtocolTimings {
    DWORD gatewayGiveUpMs = 30000; // the version query gives up after this long
    DWORD gatewayWaitMs = 500;     // one wait for a gateway reply
    DWORD stopWaitMs = 2000;       // how long RequestStop waits for the manager's thread
    ChannelTimings channel;
    ProbeTimings probe;
};

// Results of the connect road (lParam of a failed WM_USER_CONNECT_RESULT).
enum ConnectError : int {
    eConnect_Ok = 0,
    eConnect_EmptyList = -1,
    eConnect_NoFileServer = -2,
    eConnect_NoStreamServer = -3,
    eConnect_NoRegServer = -4,
    eConnect_NoRegStream = -5,
    eConnect_NoRegFile = -6,
    eConnect_NoStreamFile = -7,
    eConnect_GatewaySilent = -8,
    eConnect_ListRefused = -999,
};

enum ConnectMode : int {
    eMode_Connect = 0,
    eMode_Refresh = 2,
};

class CProtocolMgr : public CThread {
public:
    // The one manager of the client, created on first call, destroyed at process exit.
    static CProtocolMgr* Instance();

    explicit CProtocolMgr(const ProtocolTimings& timings = ProtocolTimings());
    ~CProtocolMgr() override;

    // Stores gateway and version and starts the road (a refresh while the channel is connected).
    void SetGateway(const CString& host, const CString& version, int port);
    // Stops the command channel and the manager's thread.
    void RequestStop() override;
    void Run() override;
    // Another stream server for the network switch: 1 and the node, else 0 (node untouched).
    int PickAlternativeStreamServer(ServerNode& node);

    CCmdProtocol* Channel() { return m_channel.get(); }
    int ErrorCode() const { return m_error; }
    int Mode() const { return m_mode; }
    bool IsRunning() const { return m_running; }
    std::vector<ServerNode> ServerList() const;
    uint32_t GatewayAddress() const { return m_gatewayAddress; }

    // Sends of the windows (the channel's own operations are reached through Channel()).
    bool SendDrawPoints(uint8_t kind, uint32_t ownerId, const StrokeHead& head, const std::vector<StrokePoint>& points);
    bool SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId);
    bool SendLiveWhiteboard(const LiveWhiteboardRecord& record);
    bool SendLiveCamera(const LiveCameraRecord& record);
    bool SendLiveScreenShare(bool on);
    bool SendSpeakCommand(uint32_t userId, uint8_t state);
    bool SendKickUser(uint32_t userId);

    // The steps of the road, each on the manager's thread.
    int QueryGateway();  // 1 current, 0 update announced, -1 no answer
    bool QueryServerList();
    bool SelectServers();
    bool ResolveServers();
    bool ConnectCommandServer();
    void ResolveGatewayHost();
    std::vector<ProbeResult> ProbeCandidates(const std::vector<ServerNode>& nodes, uint8_t n);

protected:
    // A host name or dotted address as an IPv4 address (INADDR_NONE when it does not resolve). A name
    // lookup cannot be interrupted: a stop does not wait for it (tests stand in a lookup that blocks).
    virtual uint32_t LookUpHost(const CString& host);

private:
    bool Aborted() const { return m_abort || m_shutdown; }
    bool EnsureSocket();
    bool SendDatagram(const std::vector<uint8_t>& bytes);
    // Waits for one datagram; answers its size when it is accepted, 0 when it is not, kNoDatagram
    // when none came within the wait and kRefused when the gateway's port is closed.
    int ReceiveDatagram();
    static const int kNoDatagram = -1;
    static const int kRefused = -2;
    // Says once per road that the gateway refuses.
    void NoteRefusal();
    // Waits (or until a stop) for what is left of one gateway wait since passStart.
    void WaitOutPass(DWORD passStart);
    // False when there is no main window or the post failed; lParam is then still the caller's.
    bool Post(UINT message, WPARAM wParam, LPARAM lParam);

    WinsockUser m_winsock;
    ProtocolTimings m_timings;
    std::atomic<bool> m_abort{false};
    std::atomic<bool> m_shutdown{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_updateAnnounced{false};
    std::atomic<bool> m_refusalLogged{false};
    HANDLE m_abortEvent = nullptr; // wakes a probe wait when the manager is stopped
    mutable std::mutex m_lock;     // guards the stored gateway values and the server list
    CString m_version;
    CString m_gatewayHost;
    int32_t m_gatewayPort = 0;
    uint32_t m_gatewayAddress = 0;
    SOCKET m_socket = INVALID_SOCKET;
    std::vector<uint8_t> m_datagram;
    uint8_t m_gatewayExtra = 0;
    std::vector<ServerNode> m_servers;
    std::unique_ptr<CCmdProtocol> m_channel;
    std::atomic<int> m_mode{eMode_Connect};
    std::atomic<int> m_error{0};
    CServerProbe m_probe;
};
