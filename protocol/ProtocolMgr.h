// The client's one connection manager: gateway version query and server list over UDP, probing and
// choice of servers, the command channel's connect and the join, on its own thread.
#pragma once
#include "core/Records.h"
#include "core/Thread.h"
#include "protocol/CmdProtocol.h"
#include "protocol/ServerProbe.h"
#include <winsock2.h>
#include <windows.h>
#include <cstdint>
#include <functional>
#include <memory>
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

// Looks a host name or dotted address up as an IPv4 address in network order; INADDR_NONE when it
// does not resolve. A name lookup cannot be interrupted: it may block for as long as a name server
// keeps silent.
using HostLookup = std::function<uint32_t(const CString& host)>;

class CProtocolMgr : public CThread {
public:
    // The one manager of the client, created on first call, destroyed at process exit.
    static CProtocolMgr* Instance();

    // lookup stands in for the system's name lookup (tests hold it, as a silent name server would).
    explicit CProtocolMgr(const ProtocolTimings& timings = ProtocolTimings(), HostLookup lookup = HostLookup());
    // Stops the road and waits for its threads at most the channel's and the manager's stop waits.
    // A connection thread that has not ended by then (one stuck in a name lookup) is left running:
    // it holds the state it reaches, posts nothing more, and frees that state when it ends.
    ~CProtocolMgr() override;

    // Stores gateway and version and starts the road (a refresh while the channel is connected).
    void SetGateway(const CString& host, const CString& version, int port);
    // Starts the connection thread with its own hold on the road's state.
    HANDLE Start() override;
    // Stops the command channel and the manager's thread.
    void RequestStop() override;
    // One road on the calling thread (the connection thread runs the same).
    void Run() override;
    // Another stream server for the network switch: 1 and the node, else 0 (node untouched).
    int PickAlternativeStreamServer(ServerNode& node);

    CCmdProtocol* Channel();
    int ErrorCode() const;
    int Mode() const;
    bool IsRunning() const;
    std::vector<ServerNode> ServerList() const;
    uint32_t GatewayAddress() const;

    // Sends of the windows (the channel's own operations are reached through Channel()).
    bool SendDrawPoints(uint8_t kind, uint32_t ownerId, const StrokeHead& head, const std::vector<StrokePoint>& points);
    bool SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId);
    bool SendLiveWhiteboard(const LiveWhiteboardRecord& record);
    bool SendLiveCamera(const LiveCameraRecord& record);
    bool SendLiveScreenShare(bool on);
    bool SendSpeakCommand(uint32_t userId, uint8_t state);
    bool SendKickUser(uint32_t userId);

private:
    // Everything the connection thread reaches: the gateway values, the datagram socket, the server
    // list, the command channel and the probe engine. Shared by the manager and a running road.
    class Road;
    static unsigned __stdcall RoadThread(void* hold);

    std::shared_ptr<Road> m_road;
};
