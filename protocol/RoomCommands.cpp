// The outgoing room commands: payload builders and the channel operations that send them.
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "protocol/CmdProtocol.h"
#include "protocol/WireFormat.h"
#include <cstring>
#include <ctime>

int64_t StartTimeToSeconds(const CString& text)
{
    if (text.GetLength() != 14) return 0;
    int digits[14];
    for (int i = 0; i < 14; ++i) {
        wchar_t c = text[i];
        if (c < L'0' || c > L'9') return 0;
        digits[i] = c - L'0';
    }
    auto number = [&](int first, int count) {
        int value = 0;
        for (int i = first; i < first + count; ++i) value = value * 10 + digits[i];
        return value;
    };
    tm local{};
    local.tm_year = number(0, 4) - 1900;
    local.tm_mon = number(4, 2) - 1;
    local.tm_mday = number(6, 2);
    local.tm_hour = number(8, 2);
    local.tm_min = number(10, 2);
    local.tm_sec = number(12, 2);
    local.tm_isdst = -1;
    if (local.tm_year < 0 || local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_mday > 31 ||
        local.tm_hour > 23 || local.tm_min > 59 || local.tm_sec > 59)
        return 0;
    time_t seconds = mktime(&local);
    return seconds == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(seconds);
}

std::vector<uint8_t> BuildLoginPayload(const RoomInfoRecord& room, uint32_t userId, uint8_t role, int32_t sex,
                                       const CString& screenName, const CString& userName, uint16_t regServerId)
{
    ByteWriter w;
    w.U32(room.roomId).U16(room.maxAudience).U16(room.maxAttendees).U16(room.maxHosts).U8(1);
    w.I64(StartTimeToSeconds(room.startTime));
    w.U16(static_cast<uint16_t>(_wtoi(room.duration)));
    w.U16(0xFFFF).U32(userId).U16(regServerId).U8(role).U8(static_cast<uint8_t>(sex)).U8(1);
    w.WireString(screenName).WireString(userName);
    return w.Take();
}

std::vector<uint8_t> BuildChatPayload(const ChatFont& font, const CString& text)
{
    ByteWriter w;
    w.U8(font.bold).U8(font.underline).U8(font.italic).U8(static_cast<uint8_t>(font.size & 0xFF)).U32(font.colour);
    w.WireString(font.family).WireString(text);
    return w.Take();
}

std::vector<uint8_t> BuildClassStatePayload(uint32_t roomId, const RoomInfoRecord& room)
{
    std::vector<uint8_t> payload(23, 0);
    uint16_t flags = static_cast<uint16_t>(room.roomFlags & 0xFFFF);
    memcpy(&payload[0], &roomId, 4);
    payload[10] = static_cast<uint8_t>(room.roomState & 0xFF);
    memcpy(&payload[21], &flags, 2);
    return payload;
}

std::vector<std::vector<uint8_t>> BuildDrawPointsPayloads(uint8_t kind, uint32_t ownerId, const StrokeHead& head,
                                                          const std::vector<StrokePoint>& points)
{
    ByteWriter prefix;
    prefix.U8(kind).U32(ownerId).Bytes(&head, sizeof(head));
    std::vector<std::vector<uint8_t>> messages;
    size_t next = 0;
    do {
        size_t count = points.size() - next < kPointsPerDrawMessage ? points.size() - next : kPointsPerDrawMessage;
        std::vector<uint8_t> message = prefix.Data();
        const uint8_t* first = reinterpret_cast<const uint8_t*>(points.data() + next);
        message.insert(message.end(), first, first + count * sizeof(StrokePoint));
        messages.push_back(std::move(message));
        next += count;
    } while (next < points.size());
    return messages;
}

std::vector<uint8_t> BuildDrawElementPayload(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey,
                                             uint64_t docId)
{
    ByteWriter w;
    w.U8(kind).U32(ownerId).U16(page).U32(orderKey).U64(docId);
    return w.Take();
}

std::vector<uint8_t> BuildPenPayload(uint32_t ownerId, const PenBody& pen)
{
    ByteWriter w;
    w.U8(ePaintSource_Pen).U32(ownerId).Bytes(&pen, sizeof(pen)).Zeros(19);
    return w.Take();
}

std::vector<uint8_t> BuildFileNoticePayload(const CString& fileName, const CString& md5Text, uint32_t uploaderId,
                                            uint64_t fileId, uint64_t fileSize)
{
    uint8_t id[16];
    HexToId(WideToAnsi(md5Text).c_str(), id);
    ByteWriter w;
    w.U64(fileId).U64(fileSize).Bytes(id, sizeof(id)).U32(uploaderId).WireString(fileName);
    return w.Take();
}

std::vector<uint8_t> BuildSpeakPayload(uint32_t roomId, uint8_t state)
{
    ByteWriter w;
    w.U32(roomId).U8(state);
    return w.Take();
}

std::vector<uint8_t> BuildKickPayload(uint32_t roomId)
{
    ByteWriter w;
    w.U32(roomId);
    return w.Take();
}

bool CCmdProtocol::SendLogin()
{
    SessionContext* s = SessionContext::Existing();
    if (!s) return false;
    std::vector<uint8_t> payload =
        BuildLoginPayload(s->room, s->userId, s->role, s->userSex, s->screenName, s->userName, m_server.id);
    return SendPacket(eType_JoinRoom, payload.data(), static_cast<uint32_t>(payload.size()), s->room.roomId);
}

bool CCmdProtocol::SendChatMessage(const ChatFont& font, const CString& text)
{
    std::vector<uint8_t> payload = BuildChatPayload(font, text);
    return SendPacket(eType_ChatMsg, payload.data(), static_cast<uint32_t>(payload.size()), RoomId());
}

bool CCmdProtocol::SendClassState(const RoomInfoRecord& room)
{
    std::vector<uint8_t> payload = BuildClassStatePayload(RoomId(), room);
    return SendPacket(eType_ClassState, payload.data(), static_cast<uint32_t>(payload.size()), RoomId());
}

bool CCmdProtocol::SendDrawPoints(uint8_t kind, uint32_t ownerId, const StrokeHead& head,
                                  const std::vector<StrokePoint>& points)
{
    bool all = true; // every message is tried; one that fails makes the answer false
    for (const std::vector<uint8_t>& payload : BuildDrawPointsPayloads(kind, ownerId, head, points)) {
        all = SendPacket(eType_PaintObject, payload.data(), static_cast<uint32_t>(payload.size()), RoomId()) && all;
    }
    return all;
}

bool CCmdProtocol::SendDrawElement(uint8_t kind, uint32_t ownerId, uint16_t page, uint32_t orderKey, uint64_t docId)
{
    std::vector<uint8_t> payload = BuildDrawElementPayload(kind, ownerId, page, orderKey, docId);
    return SendPacket(eType_PaintObject, payload.data(), static_cast<uint32_t>(payload.size()), RoomId());
}

bool CCmdProtocol::SendLiveDocument(const LiveDocRecord& record)
{
    return SendPacket(eType_LiveDoc, &record, sizeof(record), RoomId());
}

bool CCmdProtocol::SendFileNotice(const CString& fileName, const CString& md5Text, uint32_t uploaderId,
                                  uint64_t fileId, uint64_t fileSize)
{
    std::vector<uint8_t> payload = BuildFileNoticePayload(fileName, md5Text, uploaderId, fileId, fileSize);
    return SendPacket(eType_FileNotice, payload.data(), static_cast<uint32_t>(payload.size()), RoomId());
}
