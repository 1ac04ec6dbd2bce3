// A registration server that carries one class between several clients: it keeps who is in the room,
// the class state, the live sources, the drawings, the file notices and the microphone queue, answers
// the join and the three queries from them, and relays what one client sends to the others.
#pragma once
#include "tests/fakes/room/FakeRoom.h"

#include <array>
#include <memory>

namespace fakeroom {

class ClassRegServer {
public:
    ClassRegServer();
    ~ClassRegServer();
    ClassRegServer(const ClassRegServer&) = delete;
    ClassRegServer& operator=(const ClassRegServer&) = delete;

    uint16_t Port() const { return m_port; }
    bool Ok() const { return m_listen != INVALID_SOCKET; }

    // The room's starting state: the class state byte and the room flags (bit 0 microphone requests,
    // bit 1 discussion allowed).
    void SetRoom(uint8_t state, uint16_t flags);
    // Sends a message from the room itself to every joined client (a count-down, a notice).
    void Broadcast(uint16_t type, const Bytes& payload);
    // Called on the server's thread for every complete message, with the sending user's id (0 before
    // the join); and for every join (online true) and leave.
    void SetMessageHook(std::function<void(uint32_t user, const Packet&)> hook);
    void SetPresenceHook(std::function<void(uint32_t user, bool online, const std::wstring& screenName)> hook);

    // The users waiting for the microphone, first applicant first.
    std::vector<uint32_t> Queue() const;
    std::vector<uint32_t> Members() const;

private:
    struct Member;
    void Loop();
    void Accept();
    bool Receive(Member& member);
    void OnMessage(Member& member, const Packet& message);
    void OnJoin(Member& member, const Packet& message);
    void OnSpeakState(uint32_t user, uint8_t state);
    void OnDrawing(const Bytes& payload);
    void OnLive(uint16_t type, const Bytes& payload);
    void Send(Member& member, const Bytes& bytes);
    // The message as received, to every joined member except `except` (0: to all).
    void Relay(const Packet& message, const Member* except);
    void Leave(Member& member);
    Bytes UserList() const;
    Bytes PaintList() const;
    Bytes FileList() const;
    // The reply to one join; every join gets a drawing id base of its own.
    Bytes JoinReply(uint32_t joinOrder) const;

    SOCKET m_listen = INVALID_SOCKET;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<std::unique_ptr<Member>> m_members;
    uint32_t m_nextJoin = 0;
    uint32_t m_highestKey = 0; // of every drawing seen, pens included
    uint8_t m_state = 1;
    uint16_t m_flags = 3;
    std::array<uint8_t, 17> m_live{}; // the room's LiveState as the teacher's notices set it
    std::vector<Bytes> m_drawings; // 819 entries in arrival order
    std::vector<Bytes> m_files;    // 825 payloads
    std::vector<uint32_t> m_queue; // applicants in the order the room took them
    std::function<void(uint32_t, const Packet&)> m_hook;
    std::function<void(uint32_t, bool, const std::wstring&)> m_presenceHook;
};

// Gateway, class registration server and one stream server.
class ClassRoom {
public:
    explicit ClassRoom(uint16_t gatewayPort = 0);
    FakeGateway gateway;
    ClassRegServer reg;
    FakeStreamServer stream;
    bool Ok() const { return gateway.Ok() && reg.Ok() && stream.Ok(); }
};

} // namespace fakeroom
