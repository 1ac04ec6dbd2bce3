// The client's one TCP command channel to the registration server: fragmenting sends, a receive
// thread that reassembles messages and hands each to the dispatcher, and one loss report per socket.
#pragma once
#include "core/Records.h"
#include "core/Thread.h"
#include "protocol/FragmentAssembler.h"
#include "protocol/PacketHeader.h"
#include "protocol/RoomRecords.h"
#include <winsock2.h>
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

struct ChannelTimings {
    DWORD receiveWaitMs = 1000; // how long one select waits before the stop flag is looked at again
    DWORD stopWaitMs = 2000;    // how long RequestStop waits for the receive thread
    // How long a connect may take; Windows itself gives up after about this, Wine's host much later.
    DWORD connectWaitMs = 20000;
    size_t pendingLimit = FragmentAssembler::kDefaultPendingLimit;
};

// Keeps Winsock initialised for the lifetime of its owner.
class WinsockUser {
public:
    WinsockUser();
    ~WinsockUser();
    WinsockUser(const WinsockUser&) = delete;
    WinsockUser& operator=(const WinsockUser&) = delete;
    bool Ok() const { return m_ok; }
private:
    bool m_ok = false;
};

class CCmdProtocol : public CThread {
public:
    explicit CCmdProtocol(const ChannelTimings& timings = ChannelTimings());
    ~CCmdProtocol() override;

    void SetServer(const ServerNode& node) { m_server = node; }
    const ServerNode& Server() const { return m_server; }

    // Begins a connection attempt: forgets the stop of an earlier attempt. Called before the thread
    // that connects starts, so a stop that comes later always wins over Connect and Start.
    void BeginAttempt();
    // TCP connect to the registration server; true when connected. Gives up after the connect wait,
    // or at once when the channel has been stopped in this attempt.
    bool Connect();
    bool IsConnected() const;
    // Sends one message in fragments of at most 1376 payload bytes; true when every fragment went out.
    bool SendPacket(uint16_t type, const void* payload, uint32_t length, uint32_t destination);
    // Sends until all bytes are out; a failure closes the socket and reports the loss once.
    bool SendAll(const uint8_t* bytes, size_t length);

    // Starts the receive thread; none starts (null) once the channel has been stopped in this attempt.
    HANDLE Start() override;
    // Stops the receive thread and closes the socket; no loss is reported from then on.
    void RequestStop() override;
    void Run() override;

    // Turns one complete message into its record and posts it to the main window.
    void Dispatch(const PacketHeader& header, const uint8_t* payload, uint32_t length);

    // Outgoing room commands; each answers the send result.
    bool SendLogin();
    bool SendChatMessage(const ChatFont& font, const CString& text);
    bool SendClassState(const RoomInfoRecord& room);
    bool SendDrawPoints(uint8_t kind, uint32_t ownerId, const StrokeHead& head, const std::vector<StrokePoint>& points);
    bool SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId);
    bool SendLiveDocument(const LiveDocRecord& record);
    bool SendFileNotice(const CString& fileName, const CString& md5Text, uint32_t uploaderId, uint64_t fileId,
                        uint64_t fileSize);

    size_t PendingMessages() const { return m_assembler.PendingMessages(); }

private:
    bool ConnectWithin(SOCKET s, const sockaddr_in& address);
    bool ReceivePacket(SOCKET s);
    bool ReadExact(SOCKET s, uint8_t* out, size_t length);
    bool Discard(SOCKET s, size_t length);
    // Closes s and posts WM_USER_OFFLINE, unless it was closed already or the channel is closing.
    void ReportLoss(SOCKET s, const wchar_t* where);
    void CloseSocket();
    uint32_t RoomId() const;
    static void LogOutOfMemory(uint16_t type, const wchar_t* what);

    WinsockUser m_winsock;
    ChannelTimings m_timings;
    ServerNode m_server{};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_abortConnect{false}; // a stop while Connect waits ends the wait
    // Guards the socket handle against two threads closing it, and orders a stop against a start.
    mutable std::mutex m_socketLock;
    SOCKET m_socket = INVALID_SOCKET;
    SOCKET m_retired = INVALID_SOCKET; // lost by a send, closed by the receive thread when it ends
    bool m_receiving = false;          // the receive thread runs (under m_socketLock)
    std::mutex m_sendLock;           // fragments of two messages never interleave
    std::vector<uint8_t> m_sendBuffer;
    std::vector<uint8_t> m_packet;   // one header and up to 1376 payload bytes
    // Received bytes not yet consumed; fewer recv calls than one per header and payload.
    std::vector<uint8_t> m_inbox;
    size_t m_inboxStart = 0;
    size_t m_inboxEnd = 0;
    FragmentAssembler m_assembler;
    std::vector<uint8_t> m_joined;
};

// The payloads of the outgoing commands, without the header (the tests compare them byte by byte).
std::vector<uint8_t> BuildLoginPayload(const RoomInfoRecord& room, uint32_t userId, uint8_t role, int32_t sex,
                                       const CString& screenName, const CString& userName, uint16_t regServerId);
std::vector<uint8_t> BuildChatPayload(const ChatFont& font, const CString& text);
std::vector<uint8_t> BuildClassStatePayload(uint32_t roomId, const RoomInfoRecord& room);
// One payload per message: the 24-byte prefix and at most 338 points each.
std::vector<std::vector<uint8_t>> BuildDrawPointsPayloads(uint8_t kind, uint32_t ownerId, const StrokeHead& head,
                                                          const std::vector<StrokePoint>& points);
std::vector<uint8_t> BuildDrawElementPayload(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey,
                                             uint64_t docId);
std::vector<uint8_t> BuildPenPayload(uint32_t ownerId, const PenBody& pen);
std::vector<uint8_t> BuildFileNoticePayload(const CString& fileName, const CString& md5Text, uint32_t uploaderId,
                                            uint64_t fileId, uint64_t fileSize);
std::vector<uint8_t> BuildSpeakPayload(uint32_t roomId, uint8_t state);
std::vector<uint8_t> BuildKickPayload(uint32_t roomId);
// A 14-digit local time text as seconds since 1970; 0 when it is not a valid date.
int64_t StartTimeToSeconds(const CString& text);

const uint32_t kPointsPerDrawMessage = 338;

// What the dispatcher makes of one message: the window message and its parameters (lParam may own
// a heap record, which FreeRoomMessage frees).
struct RoomMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};
// Parses one complete received message. False when the command is ignored or its payload too short
// (logged); nothing is allocated then.
bool ParseRoomCommand(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out);
