// What the receive thread makes of every command 803 to 829, and how the records are freed again.
#include "core/Logger.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "protocol/WireFormat.h"
#include <cstring>
#include <memory>

LiveState JoinRoomReply::Living() const
{
    LiveState state;
    memcpy(&state, bytes + 23, sizeof(state));
    return state;
}

uint32_t JoinRoomReply::DrawingIdBase() const
{
    uint32_t value;
    memcpy(&value, bytes + 40, sizeof(value));
    return value;
}

namespace {

bool TooShort(const PacketHeader& header, uint32_t length)
{
    LOG_ERROR(L"command %u dropped: payload of %u bytes is too short", header.type, length);
    return false;
}

// Names show in roster rows, header lines and notices a few dozen characters wide; 64 holds any real
// name and keeps a hostile one from costing more than a line.
const int kReceivedNameLimit = 64;

// Cuts a received text to limit characters, never between the two halves of a surrogate pair.
void Bound(CString& text, int limit, const PacketHeader& header, const wchar_t* what)
{
    int length = text.GetLength();
    if (length <= limit) return;
    int keep = limit;
    if (IS_HIGH_SURROGATE(text[keep - 1])) --keep;
    LOG_ERROR(L"command %u: %s of %d characters cut to %d", header.type, what, length, keep);
    text = text.Left(keep);
}

// A list of heap records that frees them with itself, until it is released to the window.
template <typename Record>
struct ListDeleter {
    void operator()(std::vector<Record*>* list) const
    {
        for (Record* record : *list) delete record;
        delete list;
    }
};
template <typename Record>
using OwnedList = std::unique_ptr<std::vector<Record*>, ListDeleter<Record>>;

template <typename Record>
LPARAM Release(std::unique_ptr<Record>& record)
{
    return reinterpret_cast<LPARAM>(record.release());
}

// Copies a fixed-size record that travels as its bytes unchanged.
template <typename Record>
bool CopyRecord(const PacketHeader& header, const uint8_t* payload, uint32_t length, UINT message, RoomMessage& out)
{
    if (length < sizeof(Record)) return TooShort(header, length);
    Record* record = new Record;
    memcpy(record, payload, sizeof(Record));
    out = {message, 0, reinterpret_cast<LPARAM>(record)};
    return true;
}

LPARAM StatusParam(uint16_t status)
{
    return static_cast<LPARAM>(static_cast<int16_t>(status));
}

bool ParseJoinReply(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    if (header.status != kStatusOk) {
        out = {WM_USER_JOIN_ROOM_RESULT, 0, StatusParam(header.status)};
        return true;
    }
    if (length < sizeof(JoinRoomReply)) {
        // Dropping it would leave the login window waiting for ever: the join failed, with its status.
        LOG_ERROR(L"join reply of %u bytes is shorter than %u; the join failed", length,
                  static_cast<unsigned>(sizeof(JoinRoomReply)));
        out = {WM_USER_JOIN_ROOM_RESULT, 0, StatusParam(header.status)};
        return true;
    }
    JoinRoomReply* reply = new JoinRoomReply;
    memcpy(reply->bytes, payload, sizeof(reply->bytes));
    out = {WM_USER_JOIN_ROOM_RESULT, 1, reinterpret_cast<LPARAM>(reply)};
    return true;
}

// One room user: u32 id, u16 server, u8 role, u8 sex, one unused byte, screen name, user name.
bool ReadUserEntry(const PacketHeader& header, ByteReader& reader, UserRecord& user)
{
    uint8_t role = 0, sex = 0;
    reader.U32(user.userId);
    reader.U16(user.serverId);
    reader.U8(role);
    reader.U8(sex);
    reader.Skip(1);
    reader.WireString(user.nickName);
    reader.WireString(user.userName);
    if (!reader.Ok()) return false;
    Bound(user.nickName, kReceivedNameLimit, header, L"screen name");
    Bound(user.userName, kReceivedNameLimit, header, L"user name");
    user.role = role;
    user.sex = sex;
    return true;
}

bool ParseRoomUsers(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    if (header.status != kStatusOk) {
        out = {WM_USER_ROOM_USERS, 0, StatusParam(header.status)};
        return true;
    }
    OwnedList<UserRecord> users(new UserRecordList);
    ByteReader reader(payload, length);
    while (reader.Remaining() >= 9) {
        std::unique_ptr<UserRecord> user(new UserRecord);
        if (!ReadUserEntry(header, reader, *user)) {
            LOG_ERROR(L"room user list: entry %u runs past the %u payload bytes",
                      static_cast<unsigned>(users->size() + 1), length);
            break;
        }
        users->push_back(user.get());
        user.release();
    }
    out = {WM_USER_ROOM_USERS, 1, reinterpret_cast<LPARAM>(users.release())};
    return true;
}

bool ParseUserOnline(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<PresenceRecord> record(new PresenceRecord);
    ByteReader reader(payload, length);
    uint8_t role = 0, sex = 0;
    record->online = 1;
    reader.U32(record->roomId);
    reader.Seek(23);
    reader.U32(record->userId);
    reader.U16(record->serverId);
    reader.U8(role);
    reader.U8(sex);
    reader.Seek(32);
    reader.WireString(record->screenName);
    reader.WireString(record->userName);
    if (!reader.Ok()) return TooShort(header, length);
    Bound(record->screenName, kReceivedNameLimit, header, L"screen name");
    Bound(record->userName, kReceivedNameLimit, header, L"user name");
    record->role = role;
    record->sex = sex;
    out = {WM_USER_PRESENCE, eType_UserOnline_Notify, Release(record)};
    return true;
}

bool ParseUserOffline(const PacketHeader& header, RoomMessage& out)
{
    PresenceRecord* record = new PresenceRecord;
    record->online = 0;
    record->userId = header.sender;
    record->serverId = header.serverId;
    out = {WM_USER_PRESENCE, eType_UserOffline_Notify, reinterpret_cast<LPARAM>(record)};
    return true;
}

bool ParseChat(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<ChatMessageRecord> record(new ChatMessageRecord);
    ByteReader reader(payload, length);
    int8_t bold = 0, underline = 0, italic = 0;
    uint8_t size = 0;
    reader.I8(bold);
    reader.I8(underline);
    reader.I8(italic);
    reader.U8(size);
    reader.U32(record->font.colour);
    reader.WireString(record->font.family);
    reader.WireString(record->text);
    if (!reader.Ok()) return TooShort(header, length);
    Bound(record->text, kChatTextLimit, header, L"chat text");
    record->kind = header.type == eType_ChatMsg ? 1 : 0;
    record->font.bold = bold > 0;
    record->font.underline = underline > 0;
    record->font.italic = italic > 0;
    record->font.size = size;
    record->senderId = header.sender;
    record->senderServerId = header.serverId;
    record->roomId = header.destination;
    out = {WM_USER_CHAT_MESSAGE, 0, Release(record)};
    return true;
}

bool ParseSpeakState(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<SpeakStateRecord> record(new SpeakStateRecord);
    if (header.type == eType_SpeakState_Notify) {
        record->userId = header.sender;
        record->state = eRole_MicApplied;
        record->roomId = header.destination;
    } else {
        ByteReader reader(payload, length);
        uint8_t state = 0;
        reader.U32(record->roomId);
        reader.U8(state);
        if (!reader.Ok()) return TooShort(header, length);
        record->userId = header.destination;
        record->state = state;
    }
    out = {WM_USER_SPEAK_STATE, 0, Release(record)};
    return true;
}

bool ParseClassState(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<ClassStateRecord> record(new ClassStateRecord);
    ByteReader reader(payload, length);
    uint8_t state = 0;
    uint16_t flags = 0;
    reader.U32(record->roomId);
    reader.Seek(10);
    reader.U8(state);
    reader.Seek(21);
    reader.U16(flags);
    if (!reader.Ok()) return TooShort(header, length);
    record->roomState = state;
    record->roomFlags = flags;
    out = {WM_USER_CLASS_STATE, 0, Release(record)};
    return true;
}

bool ParseForbidSpeaking(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<ForbidSpeakingRecord> record(new ForbidSpeakingRecord);
    ByteReader reader(payload, length);
    reader.U32(record->firstId);
    reader.U32(record->secondId);
    reader.Seek(10);
    reader.U16(record->seconds);
    if (!reader.Ok()) return TooShort(header, length);
    out = {WM_USER_FORBID_SPEAKING, 0, Release(record)};
    return true;
}

bool ParseQuestion(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<QuestionRecord> record(new QuestionRecord);
    ByteReader reader(payload, length);
    int8_t type = 0;
    uint16_t answers = 0;
    reader.U32(record->userId);
    reader.U32(record->roomId);
    reader.U32(record->serverQuestionId);
    reader.U32(record->questionId);
    reader.I8(type);
    reader.WireString(record->questionText);
    reader.U16(answers);
    if (!reader.Ok()) return TooShort(header, length);
    for (uint16_t i = 0; i < answers; ++i) {
        uint8_t tag = 0;
        CString answer;
        reader.U8(tag);
        reader.WireString(answer);
        if (!reader.Ok()) {
            LOG_ERROR(L"question: answer %u of %u runs past the payload", i + 1u, answers);
            break;
        }
        record->answers.push_back(answer);
    }
    record->answerCount = static_cast<uint32_t>(record->answers.size());
    record->questionType = type;
    // Not shown, but written to the log whole: bounded as a chat line is.
    Bound(record->questionText, kChatTextLimit, header, L"question text");
    Logger::Instance().Write(L"**********解析后的消息strQuestion = %s", record->questionText.GetString());
    out = {WM_USER_QUESTION, 0, Release(record)};
    return true;
}

bool ParseWordArray(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<WordArrayRecord> record(new WordArrayRecord);
    ByteReader reader(payload, length);
    uint32_t a = 0, b = 0, c = 0, d = 0;
    reader.U32(a);
    reader.U32(b);
    reader.U32(c);
    reader.U32(d);
    if (!reader.Ok()) return TooShort(header, length);
    record->values[0] = b;
    record->values[1] = a;
    record->values[2] = d;
    record->values[3] = c;
    record->words.assign(20, 0);
    if (reader.Seek(17)) {
        for (uint16_t& word : record->words) {
            if (!reader.U16(word)) break;
        }
    }
    out = {WM_USER_WORD_ARRAY, 0, Release(record)};
    return true;
}

bool ParseCountdown(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    uint32_t seconds = 0;
    ByteReader reader(payload, length);
    if (!reader.U32(seconds)) return TooShort(header, length);
    Logger::Instance().Write(L"recv eType_CountDwon_Notify, %ld", static_cast<long>(seconds));
    out = {WM_USER_COUNTDOWN, 0, reinterpret_cast<LPARAM>(new uint32_t(seconds))};
    return true;
}

// A stroke head and (length - 24) / 4 points, or the 14-byte head of a removal.
ReceivedPaintObject* ReadDrawingObject(ByteReader& reader, bool fromList)
{
    std::unique_ptr<ReceivedPaintObject> object(new ReceivedPaintObject);
    reader.U8(object->kind);
    reader.U32(object->ownerId);
    if (!reader.Ok()) return nullptr;
    if (IsPenKind(object->kind)) {
        object->pen = new PenBody;
        if (!reader.Bytes(object->pen, sizeof(PenBody))) return nullptr;
        if (!fromList) reader.Skip(reader.Remaining()); // the 19 reserved bytes of a pen message
        return object.release();
    }
    object->stroke = new StrokeRecord;
    StrokeRecord& stroke = *object->stroke;
    if (!fromList && !IsAddStrokeKind(object->kind)) {
        if (!reader.Bytes(&stroke.head, kStrokeHeadRemoveBytes)) return nullptr;
        return object.release();
    }
    if (!reader.Bytes(&stroke.head, sizeof(StrokeHead))) return nullptr;
    size_t points = reader.Remaining() / sizeof(StrokePoint);
    if (fromList) {
        uint16_t count = 0;
        if (!reader.U16(count) || count * sizeof(StrokePoint) > reader.Remaining()) return nullptr;
        points = count;
    }
    stroke.points.resize(points);
    if (points && !reader.Bytes(stroke.points.data(), points * sizeof(StrokePoint))) return nullptr;
    return object.release();
}

bool ParsePaintObject(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    ByteReader reader(payload, length);
    ReceivedPaintObject* object = ReadDrawingObject(reader, false);
    if (!object) return TooShort(header, length);
    UINT message = IsPenKind(object->kind)         ? WM_USER_PAINT_PEN
                   : IsAddStrokeKind(object->kind) ? WM_USER_PAINT_STROKE
                                                   : WM_USER_PAINT_REMOVE;
    out = {message, 0, reinterpret_cast<LPARAM>(object)};
    return true;
}

bool ParsePaintList(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    OwnedList<ReceivedPaintObject> list(new PaintObjectList);
    ByteReader reader(payload, length);
    while (reader.Remaining() > 0) {
        std::unique_ptr<ReceivedPaintObject> object(ReadDrawingObject(reader, true));
        if (!object) {
            LOG_ERROR(L"drawing history: object %u runs past the %u payload bytes",
                      static_cast<unsigned>(list->size() + 1), length);
            break;
        }
        list->push_back(object.get());
        object.release();
    }
    (void)header;
    out = {WM_USER_PAINT_LIST, 0, reinterpret_cast<LPARAM>(list.release())};
    return true;
}

// 825 payload: u64 id, u64 size, 16-byte id, u32 uploader, u16 count and the UTF-8 name.
FileNoticeRecord* ReadFileNotice(ByteReader& reader)
{
    std::unique_ptr<FileNoticeRecord> record(new FileNoticeRecord);
    uint8_t id[16];
    reader.U64(record->fileId);
    reader.U64(record->fileSize);
    reader.Bytes(id, sizeof(id));
    reader.U32(record->uploaderId);
    reader.WireString(record->fileName);
    if (!reader.Ok()) return nullptr;
    record->fileIdText = IdToHex(id);
    return record.release();
}

bool ParseFileNotice(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    ByteReader reader(payload, length);
    FileNoticeRecord* record = ReadFileNotice(reader);
    if (!record) return TooShort(header, length);
    out = {WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(record)};
    return true;
}

bool ParseFileList(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    OwnedList<FileNoticeRecord> list(new FileNoticeList);
    ByteReader reader(payload, length);
    while (reader.Remaining() > 0) {
        std::unique_ptr<FileNoticeRecord> record(ReadFileNotice(reader));
        if (!record) {
            LOG_ERROR(L"file list: entry %u runs past the %u payload bytes",
                      static_cast<unsigned>(list->size() + 1), length);
            break;
        }
        list->push_back(record.get());
        record.release();
    }
    (void)header;
    out = {WM_USER_FILE_LIST, 0, reinterpret_cast<LPARAM>(list.release())};
    return true;
}

bool ParseVideoSpeak(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    std::unique_ptr<VideoSpeakRecord> record(new VideoSpeakRecord);
    ByteReader reader(payload, length);
    reader.U32(record->firstValue);
    reader.U32(record->secondValue);
    if (!reader.Ok()) return TooShort(header, length);
    record->destinationId = header.destination;
    record->senderId = header.sender;
    out = {WM_USER_VIDEO_SPEAK, 0, Release(record)};
    return true;
}

} // namespace

bool ParseRoomCommand(const PacketHeader& header, const uint8_t* payload, uint32_t length, RoomMessage& out)
{
    if (!payload) length = 0;
    switch (header.type) {
    case eType_JoinRoom: return ParseJoinReply(header, payload, length, out);
    case eType_RoomUsers: return ParseRoomUsers(header, payload, length, out);
    case eType_UserOnline_Notify: return ParseUserOnline(header, payload, length, out);
    case eType_UserOffline_Notify: return ParseUserOffline(header, out);
    case eType_ChatMsgAlt:
    case eType_ChatMsg: return ParseChat(header, payload, length, out);
    case eType_SpeakState_Notify:
    case eType_SpeakState: return ParseSpeakState(header, payload, length, out);
    case eType_ClassState: return ParseClassState(header, payload, length, out);
    case eType_ForbidSpeaking_Notify: return ParseForbidSpeaking(header, payload, length, out);
    case eType_Question_Notify: return ParseQuestion(header, payload, length, out);
    case eType_WordArray_Notify: return ParseWordArray(header, payload, length, out);
    case eType_CountDwon_Notify: return ParseCountdown(header, payload, length, out);
    case eType_LoggedInElsewhere_Notify: out = {WM_USER_LOGGED_IN_ELSEWHERE, 0, 0}; return true;
    case eType_PaintObject: return ParsePaintObject(header, payload, length, out);
    case eType_PaintList: return ParsePaintList(header, payload, length, out);
    case eType_LiveWhiteboard:
        return CopyRecord<LiveWhiteboardRecord>(header, payload, length, WM_USER_LIVE_WHITEBOARD, out);
    case eType_LiveDoc: return CopyRecord<LiveDocRecord>(header, payload, length, WM_USER_LIVE_DOC, out);
    case eType_LiveCamera: return CopyRecord<LiveCameraRecord>(header, payload, length, WM_USER_LIVE_CAMERA, out);
    case eType_LiveScreenShare:
        if (length < 1) return TooShort(header, length);
        out = {WM_USER_LIVE_SCREEN_SHARE, 0, payload[0] == 1 ? 1 : 0};
        return true;
    case eType_KickOff: out = {WM_USER_KICKED_OFF, 0, 0}; return true;
    case eType_FileNotice: return ParseFileNotice(header, payload, length, out);
    case eType_FileList: return ParseFileList(header, payload, length, out);
    case eType_SwapScreen: out = {WM_USER_SWAP_SCREEN, 0, 0}; return true;
    case eType_LivingState: return CopyRecord<LiveState>(header, payload, length, WM_USER_LIVING_STATE, out);
    case eType_VideoSpeak: return ParseVideoSpeak(header, payload, length, out);
    default: return false; // 814 and numbers outside 803 to 829
    }
}

template <typename Record>
static void DeleteList(LPARAM lParam)
{
    auto* list = reinterpret_cast<std::vector<Record*>*>(lParam);
    for (Record* record : *list) delete record;
    delete list;
}

bool FreeRoomMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!lParam) return false;
    switch (message) {
    case WM_USER_JOIN_ROOM_RESULT:
        if (wParam != 1) return false; // lParam is the status
        delete reinterpret_cast<JoinRoomReply*>(lParam);
        return true;
    case WM_USER_ROOM_USERS:
        if (wParam != 1) return false;
        DeleteList<UserRecord>(lParam);
        return true;
    case WM_USER_UPDATE_NOTICE: delete[] reinterpret_cast<CString*>(lParam); return true;
    case WM_USER_PRESENCE: delete reinterpret_cast<PresenceRecord*>(lParam); return true;
    case WM_USER_CHAT_MESSAGE: delete reinterpret_cast<ChatMessageRecord*>(lParam); return true;
    case WM_USER_PAINT_LIST: DeleteList<ReceivedPaintObject>(lParam); return true;
    case WM_USER_LIVE_DOC: delete reinterpret_cast<LiveDocRecord*>(lParam); return true;
    case WM_USER_LIVE_WHITEBOARD: delete reinterpret_cast<LiveWhiteboardRecord*>(lParam); return true;
    case WM_USER_PAINT_PEN:
    case WM_USER_PAINT_STROKE:
    case WM_USER_PAINT_REMOVE: delete reinterpret_cast<ReceivedPaintObject*>(lParam); return true;
    case WM_USER_FILE_NOTICE: delete reinterpret_cast<FileNoticeRecord*>(lParam); return true;
    case WM_USER_FILE_LIST: DeleteList<FileNoticeRecord>(lParam); return true;
    case WM_USER_LIVE_CAMERA: delete reinterpret_cast<LiveCameraRecord*>(lParam); return true;
    case WM_USER_COUNTDOWN: delete reinterpret_cast<uint32_t*>(lParam); return true;
    case WM_USER_SPEAK_STATE: delete reinterpret_cast<SpeakStateRecord*>(lParam); return true;
    case WM_USER_CLASS_STATE: delete reinterpret_cast<ClassStateRecord*>(lParam); return true;
    case WM_USER_FORBID_SPEAKING: delete reinterpret_cast<ForbidSpeakingRecord*>(lParam); return true;
    case WM_USER_QUESTION: delete reinterpret_cast<QuestionRecord*>(lParam); return true;
    case WM_USER_WORD_ARRAY: delete reinterpret_cast<WordArrayRecord*>(lParam); return true;
    case WM_USER_LIVING_STATE: delete reinterpret_cast<LiveState*>(lParam); return true;
    case WM_USER_VIDEO_SPEAK: delete reinterpret_cast<VideoSpeakRecord*>(lParam); return true;
    default: return false; // no record: 1164 carries 1 or 0, the others nothing
    }
}
