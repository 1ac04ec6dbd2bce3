#include "tests/fakes/room/ClassRoom.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace fakeroom {
namespace {

void Append(Bytes& out, const void* data, size_t count)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + count);
}

template <typename T>
T ReadAt(const Bytes& bytes, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= bytes.size()) memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// A wire string at offset as its raw bytes (count and text); empty when it runs past the end.
Bytes WireStringAt(const Bytes& bytes, size_t offset)
{
    if (offset + 2 > bytes.size()) return Bytes();
    size_t count = ReadAt<uint16_t>(bytes, offset);
    if (offset + 2 + count > bytes.size()) return Bytes();
    return Bytes(bytes.begin() + offset, bytes.begin() + offset + 2 + count);
}

std::wstring Utf8Text(const Bytes& wireString)
{
    if (wireString.size() <= 2) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(wireString.data() + 2),
                                static_cast<int>(wireString.size() - 2), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(wireString.data() + 2),
                        static_cast<int>(wireString.size() - 2), &text[0], n);
    return text;
}

// LiveState offsets (17 packed bytes).
const size_t kLiveFlags = 0, kLiveDocId = 1, kLiveDocPage = 9, kLiveDocState = 11, kLiveBoardTab = 12,
             kLiveBoardState = 14, kLiveCameraIndex = 15, kLiveCameraState = 16;

} // namespace

struct ClassRegServer::Member {
    SOCKET socket = INVALID_SOCKET;
    Bytes stream;
    std::map<uint64_t, std::vector<Packet>> partial; // fragments of one message key, as they came
    bool joined = false;
    uint32_t joinOrder = 0;
    uint32_t userId = 0;
    uint16_t serverId = 0;
    uint8_t role = 0;  // the role the user joined with
    uint8_t state = 0; // the role or speaking state the room reports for the user now
    uint8_t sex = 1;
    Bytes screenName, userName; // wire strings as sent
    Bytes joinPayload;          // the 803 request, which 805 carries to the others
};

ClassRegServer::ClassRegServer()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_listen == INVALID_SOCKET || bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_listen, 8) != 0) {
        if (m_listen != INVALID_SOCKET) closesocket(m_listen);
        m_listen = INVALID_SOCKET;
        return;
    }
    int size = sizeof(address);
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Loop(); });
}

ClassRegServer::~ClassRegServer()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    for (auto& member : m_members) closesocket(member->socket);
    if (m_listen != INVALID_SOCKET) closesocket(m_listen);
    WSACleanup();
}

void ClassRegServer::SetRoom(uint8_t state, uint16_t flags)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_state = state;
    m_flags = flags;
}

void ClassRegServer::SetMessageHook(std::function<void(uint32_t, const Packet&)> hook)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_hook = std::move(hook);
}

void ClassRegServer::SetPresenceHook(std::function<void(uint32_t, bool, const std::wstring&)> hook)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_presenceHook = std::move(hook);
}

std::vector<uint32_t> ClassRegServer::Queue() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_queue;
}

std::vector<uint32_t> ClassRegServer::Members() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<uint32_t> users;
    for (const auto& member : m_members)
        if (member->joined) users.push_back(member->userId);
    return users;
}

void ClassRegServer::Broadcast(uint16_t type, const Bytes& payload)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Packet message;
    message.header.type = type;
    message.payload = payload;
    Relay(message, nullptr);
}

void ClassRegServer::Loop()
{
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listen, &readable);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            for (auto& member : m_members) FD_SET(member->socket, &readable);
        }
        timeval wait{0, 5000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0) continue;
        if (FD_ISSET(m_listen, &readable)) Accept();
        std::lock_guard<std::mutex> lock(m_lock);
        for (size_t i = 0; i < m_members.size();) {
            Member& member = *m_members[i];
            if (FD_ISSET(member.socket, &readable) && !Receive(member)) {
                Leave(member);
                closesocket(member.socket);
                m_members.erase(m_members.begin() + static_cast<long>(i));
                continue;
            }
            ++i;
        }
    }
}

void ClassRegServer::Accept()
{
    SOCKET accepted = accept(m_listen, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) return;
    // Strokes are small messages that must go out at once.
    BOOL noDelay = TRUE;
    setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
    std::lock_guard<std::mutex> lock(m_lock);
    m_members.push_back(std::unique_ptr<Member>(new Member));
    m_members.back()->socket = accepted;
}

// Reads what arrived and handles every complete message; false when the client is gone.
bool ClassRegServer::Receive(Member& member)
{
    uint8_t buffer[16384];
    int n = recv(member.socket, reinterpret_cast<char*>(buffer), sizeof(buffer), 0);
    if (n <= 0) return false;
    member.stream.insert(member.stream.end(), buffer, buffer + n);
    size_t used = 0;
    std::vector<Packet> complete;
    while (member.stream.size() - used >= sizeof(PacketHeader)) {
        Packet fragment;
        memcpy(&fragment.header, member.stream.data() + used, sizeof(PacketHeader));
        size_t total = sizeof(PacketHeader) + fragment.header.length;
        if (member.stream.size() - used < total) break;
        fragment.payload.assign(member.stream.begin() + used + sizeof(PacketHeader), member.stream.begin() + used + total);
        used += total;
        if (fragment.header.fragmentCount <= 1) {
            complete.push_back(fragment);
            continue;
        }
        uint64_t key = (uint64_t(fragment.header.messageId) << 16 | fragment.header.type) << 32 | fragment.header.sender;
        std::vector<Packet>& parts = member.partial[key];
        parts.push_back(fragment);
        if (parts.size() < fragment.header.fragmentCount) continue;
        std::stable_sort(parts.begin(), parts.end(), [](const Packet& a, const Packet& b) {
            return a.header.fragmentNumber < b.header.fragmentNumber;
        });
        Packet joined;
        joined.header = fragment.header;
        for (const Packet& part : parts) joined.payload.insert(joined.payload.end(), part.payload.begin(), part.payload.end());
        member.partial.erase(key);
        complete.push_back(joined);
    }
    member.stream.erase(member.stream.begin(), member.stream.begin() + static_cast<long>(used));
    for (const Packet& message : complete) OnMessage(member, message);
    return true;
}

void ClassRegServer::Send(Member& member, const Bytes& bytes)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        int n = send(member.socket, reinterpret_cast<const char*>(bytes.data() + sent), static_cast<int>(bytes.size() - sent), 0);
        if (n <= 0) return; // the receive side notices the loss
        sent += static_cast<size_t>(n);
    }
}

void ClassRegServer::Relay(const Packet& message, const Member* except)
{
    HeaderFields fields;
    fields.sender = message.header.sender;
    fields.serverId = message.header.serverId;
    fields.destination = message.header.destination;
    Bytes bytes = Frame(message.header.type, message.payload, fields);
    for (auto& member : m_members)
        if (member->joined && member.get() != except) Send(*member, bytes);
}

void ClassRegServer::OnMessage(Member& member, const Packet& message)
{
    if (m_hook) m_hook(member.userId, message);
    uint16_t type = message.header.type;
    if (type == eType_JoinRoom) {
        OnJoin(member, message);
        return;
    }
    if (!member.joined) return; // nothing but the join before the join
    HeaderFields reply;
    reply.destination = message.header.destination;
    switch (type) {
    case eType_RoomUsers:
        Send(member, Frame(type, UserList(), reply));
        break;
    case eType_PaintList:
        Send(member, Frame(type, PaintList(), reply));
        break;
    case eType_FileList:
        Send(member, Frame(type, FileList(), reply));
        break;
    case eType_SpeakState_Notify: // an application for the microphone, announced by the applicant
        OnSpeakState(message.header.sender, 130);
        Relay(message, nullptr);
        break;
    case eType_SpeakState:
        // The state is the target's (the destination); everyone, the sender too, learns it from here.
        if (message.payload.size() >= 5) {
            OnSpeakState(message.header.destination, message.payload[4]);
            Relay(message, nullptr);
        }
        break;
    case eType_ClassState:
        if (message.payload.size() >= 23) {
            m_state = message.payload[10];
            m_flags = ReadAt<uint16_t>(message.payload, 21);
        }
        Relay(message, &member);
        break;
    case eType_PaintObject: {
        // A drawing sent without a key gets the next key above the highest this room has seen, pens
        // included: the clients key their pens themselves, so a stroke drawn after a pen sorts after it
        // on every screen. A stroke (kind 0x1n) goes back to its drawer as well, who keeps it for the
        // page's next paint.
        Packet keyed = message;
        bool stroke = keyed.payload.size() >= 19 && (keyed.payload[0] >> 4) == 1;
        bool pen = keyed.payload.size() >= 12 && (keyed.payload[0] & 0x0F) == 1;
        const size_t keyAt = pen ? 8 : 7;
        if (stroke || pen) {
            uint32_t key = ReadAt<uint32_t>(keyed.payload, keyAt);
            if (key == 0) {
                key = ++m_highestKey;
                memcpy(&keyed.payload[keyAt], &key, 4);
            } else if (key > m_highestKey) {
                m_highestKey = key;
            }
        }
        OnDrawing(keyed.payload);
        Relay(keyed, stroke ? nullptr : &member);
        break;
    }
    case eType_LiveWhiteboard:
    case eType_LiveDoc:
    case eType_LiveCamera:
    case eType_LiveScreenShare:
    case eType_LivingState:
        OnLive(type, message.payload);
        Relay(message, &member);
        break;
    case eType_FileNotice:
        if (message.payload.size() >= 38) m_files.push_back(message.payload);
        Relay(message, &member);
        break;
    case eType_KickOff:
        for (auto& other : m_members) {
            if (other->joined && other->userId == message.header.destination) {
                HeaderFields fields = reply;
                fields.sender = message.header.sender;
                Send(*other, Frame(type, message.payload, fields));
            }
        }
        break;
    case eType_ChatMsg:
    case eType_ChatMsgAlt:
    case eType_CountDwon_Notify:
    case eType_SwapScreen:
    case eType_VideoSpeak:
        Relay(message, &member);
        break;
    default:
        break;
    }
}

void ClassRegServer::OnJoin(Member& member, const Packet& message)
{
    const Bytes& p = message.payload;
    if (p.size() < 36) {
        Send(member, Frame(eType_JoinRoom, Bytes(), HeaderFields{5, 0, 0, 0, 0}));
        return;
    }
    member.userId = ReadAt<uint32_t>(p, 23);
    member.serverId = ReadAt<uint16_t>(p, 27);
    member.role = p[29];
    member.state = p[29];
    member.sex = p[30];
    member.screenName = WireStringAt(p, 32);
    member.userName = WireStringAt(p, 32 + (member.screenName.empty() ? 2 : member.screenName.size()));
    if (member.screenName.empty()) member.screenName = Bytes(2, 0);
    if (member.userName.empty()) member.userName = Bytes(2, 0);
    member.joinPayload = p;
    // The same user joining again replaces the old connection, as after a reconnection.
    for (size_t i = 0; i < m_members.size(); ++i) {
        Member& old = *m_members[i];
        if (&old != &member && old.joined && old.userId == member.userId) {
            old.joined = false;
            shutdown(old.socket, SD_BOTH);
        }
    }
    member.joined = true;
    member.joinOrder = ++m_nextJoin;
    HeaderFields fields;
    fields.destination = message.header.destination;
    Send(member, Frame(eType_JoinRoom, JoinReply(member.joinOrder), fields));
    Packet online;
    online.header = message.header;
    online.header.type = eType_UserOnline_Notify;
    online.header.sender = member.userId;
    online.payload = p;
    Relay(online, &member);
    if (m_presenceHook) m_presenceHook(member.userId, true, Utf8Text(member.screenName));
}

void ClassRegServer::Leave(Member& member)
{
    if (!member.joined) return;
    member.joined = false;
    m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), member.userId), m_queue.end());
    // A user still joined through a newer connection has not left.
    for (auto& other : m_members)
        if (other->joined && other->userId == member.userId) return;
    Packet offline;
    offline.header.type = eType_UserOffline_Notify;
    offline.header.sender = member.userId;
    offline.header.serverId = member.serverId;
    Relay(offline, nullptr);
    if (m_presenceHook) m_presenceHook(member.userId, false, Utf8Text(member.screenName));
}

void ClassRegServer::OnSpeakState(uint32_t user, uint8_t state)
{
    for (auto& member : m_members)
        if (member->joined && member->userId == user) member->state = state;
    bool queued = std::find(m_queue.begin(), m_queue.end(), user) != m_queue.end();
    if (state == 130 && !queued) m_queue.push_back(user);
    if (state != 130 && queued) m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), user), m_queue.end());
}

// Keeps the drawing history as a newcomer's 819 reply needs it, in the order the drawings came: pens
// and strokes are added (a stroke is drawn with the pen its owner had before it), removals take out
// what they name.
void ClassRegServer::OnDrawing(const Bytes& payload)
{
    if (payload.size() < 5) return;
    uint8_t kind = payload[0];
    if ((kind & 0x0F) == 1) {
        if (payload.size() < 12) return;
        m_drawings.push_back(Bytes(payload.begin(), payload.begin() + 12));
        return;
    }
    if (payload.size() < 19) return;
    uint8_t target = kind & 0x0F, action = kind >> 4;
    uint16_t page = ReadAt<uint16_t>(payload, 5);
    uint32_t key = ReadAt<uint32_t>(payload, 7);
    uint64_t document = ReadAt<uint64_t>(payload, 11);
    if (action == 1) {
        if (payload.size() < 24) return;
        Bytes entry(payload.begin(), payload.begin() + 24);
        uint16_t points = static_cast<uint16_t>((payload.size() - 24) / 4);
        Append(entry, &points, 2);
        entry.insert(entry.end(), payload.begin() + 24, payload.begin() + 24 + points * 4);
        m_drawings.push_back(entry);
        return;
    }
    m_drawings.erase(std::remove_if(m_drawings.begin(), m_drawings.end(),
                                    [&](const Bytes& e) {
                                        if ((e[0] & 0x0F) != target || (e[0] >> 4) != 1) return false;
                                        if (ReadAt<uint64_t>(e, 11) != document) return false;
                                        if (action == 4) return true;
                                        if (ReadAt<uint16_t>(e, 5) != page) return false;
                                        return action == 3 || ReadAt<uint32_t>(e, 7) == key;
                                    }),
                     m_drawings.end());
}

// The room's LiveState for later joiners: each notice sets its own fields (a full client also moves
// the other sources aside; the teacher's 828 after the class begins carries that whole state).
void ClassRegServer::OnLive(uint16_t type, const Bytes& p)
{
    uint8_t* live = m_live.data();
    if (type == eType_LivingState && p.size() >= 17) {
        memcpy(live, p.data(), 17);
    } else if (type == eType_LiveWhiteboard && p.size() >= 3) {
        live[kLiveFlags] = static_cast<uint8_t>((live[kLiveFlags] & ~1) | 2);
        memcpy(live + kLiveBoardTab, p.data(), 2);
        live[kLiveBoardState] = p[2];
    } else if (type == eType_LiveDoc && p.size() >= 11) {
        live[kLiveFlags] = static_cast<uint8_t>((live[kLiveFlags] & ~2) | 1);
        memcpy(live + kLiveDocId, p.data(), 8);
        memcpy(live + kLiveDocPage, p.data() + 8, 2);
        live[kLiveDocState] = p[10];
    } else if (type == eType_LiveCamera && p.size() >= 2) {
        live[kLiveFlags] |= 8;
        live[kLiveCameraIndex] = p[0];
        live[kLiveCameraState] = p[1];
    } else if (type == eType_LiveScreenShare && p.size() >= 1) {
        live[kLiveFlags] = static_cast<uint8_t>(p[0] == 1 ? live[kLiveFlags] | 4 : live[kLiveFlags] & ~4);
    }
}

Bytes ClassRegServer::JoinReply(uint32_t joinOrder) const
{
    Bytes reply(44, 0);
    reply[10] = m_state;
    memcpy(&reply[21], &m_flags, 2);
    memcpy(&reply[23], m_live.data(), 17);
    // The clients count their drawing keys up from here: bases far apart keep two users' keys apart,
    // as removals name a drawing by its key alone.
    const uint32_t drawingBase = joinOrder * 1000000;
    memcpy(&reply[40], &drawingBase, 4);
    return reply;
}

// Joined users in the order they came, except that those waiting for the microphone come last in
// the order they applied: the client keeps its queue in the order of the list.
Bytes ClassRegServer::UserList() const
{
    std::vector<const Member*> listed;
    for (const auto& member : m_members)
        if (member->joined && member->state != 130) listed.push_back(member.get());
    for (uint32_t user : m_queue)
        for (const auto& member : m_members)
            if (member->joined && member->userId == user) listed.push_back(member.get());
    Bytes list;
    for (const Member* member : listed) {
        Append(list, &member->userId, 4);
        Append(list, &member->serverId, 2);
        list.push_back(member->state);
        list.push_back(member->sex);
        list.push_back(0);
        list.insert(list.end(), member->screenName.begin(), member->screenName.end());
        list.insert(list.end(), member->userName.begin(), member->userName.end());
    }
    return list;
}

Bytes ClassRegServer::PaintList() const
{
    Bytes list;
    for (const Bytes& entry : m_drawings) list.insert(list.end(), entry.begin(), entry.end());
    return list;
}

Bytes ClassRegServer::FileList() const
{
    Bytes list;
    for (const Bytes& entry : m_files) list.insert(list.end(), entry.begin(), entry.end());
    return list;
}

ClassRoom::ClassRoom(uint16_t gatewayPort) : gateway("127.0.0.1", gatewayPort)
{
    gateway.SetServerList({Node(1, eServer_Reg, reg.Port()), Node(10, eServer_Stream, stream.Port()),
                           Node(20, eServer_File, 9)});
}

} // namespace fakeroom
