// The heap records the receive thread posts to the main window for server commands. The receiver
// owns each record; FreeRoomMessage frees any of them by its message number.
#pragma once
#include "core/QuestionRecord.h"
#include "core/Records.h"
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// Which source is live where; the same 17 bytes in memory, in the join reply and in command 828.
struct LiveState {
    uint8_t flags;      // 1 document set, 2 whiteboard set, 4 screen shared, 8 camera set
    uint64_t docId;
    uint16_t docPage;
    uint8_t docState;   // position in bits 0-5, live when 64 or more
    uint16_t whiteboardTab;
    uint8_t whiteboardState;
    uint8_t cameraIndex;
    uint8_t cameraState;
};
struct LiveWhiteboardRecord {
    uint16_t page;
    uint8_t state;
};
struct LiveDocRecord {
    uint64_t docId;
    uint16_t page;
    uint8_t state;
};
struct LiveCameraRecord {
    uint8_t index;
    uint8_t state;
};
// A pen of the room's drawings.
struct PenBody {
    uint8_t colourIndex; // 1 to 5 into the pen colour table
    uint8_t width;
    uint8_t style;
    uint32_t orderKey;
};
// The head of a stroke; points follow on the wire as {i16 x, i16 y} in the sender's surface pixels.
struct StrokeHead {
    uint16_t page;
    uint32_t orderKey;
    uint64_t docId;
    uint8_t tool;
    uint16_t surfaceWidth;
    uint16_t surfaceHeight;
};
struct StrokePoint {
    int16_t x;
    int16_t y;
};
#pragma pack(pop)
static_assert(sizeof(LiveState) == 17, "LiveState is 17 bytes");
static_assert(sizeof(LiveWhiteboardRecord) == 3, "3 bytes on the wire");
static_assert(sizeof(LiveDocRecord) == 11, "11 bytes on the wire");
static_assert(sizeof(LiveCameraRecord) == 2, "2 bytes on the wire");
static_assert(sizeof(PenBody) == 7, "7 bytes on the wire");
static_assert(sizeof(StrokeHead) == 19, "19 bytes on the wire");
static_assert(sizeof(StrokePoint) == 4, "4 bytes on the wire");

// The removal kinds carry only page, order key and document id of the head.
const size_t kStrokeHeadRemoveBytes = 14;

// The first 44 bytes of the join reply, unchanged.
struct JoinRoomReply {
    uint8_t bytes[44];
    uint8_t RoomState() const { return bytes[10]; }
    LiveState Living() const;
    uint32_t DrawingIdBase() const;
};

struct PresenceRecord {
    uint32_t online = 0; // 1 for 805, 0 for 806
    int32_t sex = 1;
    uint16_t serverId = 0;
    uint32_t userId = 0;
    CString userName;
    CString screenName;
    uint8_t role = eRole_Teacher;
    uint32_t applyTime = GetTickCount();
    uint32_t roomId = 0;
};

struct ChatMessageRecord {
    uint32_t kind = 0; // 1 for 808, 0 for 807
    ChatFont font;
    CString text;
    uint32_t senderId = 0;
    uint16_t senderServerId = 0;
    uint32_t roomId = 0;
};

struct SpeakStateRecord {
    uint32_t userId = 0;
    uint32_t state = 0; // a UserRole value
    uint32_t roomId = 0;
};

struct ClassStateRecord {
    uint32_t roomState = 0;
    uint32_t roomFlags = 0;
    uint32_t roomId = 0;
};

struct ForbidSpeakingRecord {
    uint32_t firstId = 0;
    uint16_t seconds = 0;
    uint32_t secondId = 0;
};

struct WordArrayRecord {
    uint32_t values[4] = {};
    std::vector<uint16_t> words; // always twenty
};

struct FileNoticeRecord {
    uint64_t fileId = 0;
    uint64_t fileSize = 0;
    CString fileName;
    CString fileIdText; // 32 characters
    uint32_t uploaderId = 0;
};

struct StrokeRecord {
    StrokeHead head{};
    std::vector<StrokePoint> points;
};

// A drawing object as the room sends it: the wire kind byte decides whether body is a pen or a stroke.
struct ReceivedPaintObject {
    uint8_t kind = 0;
    uint32_t ownerId = 0;
    PenBody* pen = nullptr;       // set for pen kinds (low nibble 1)
    StrokeRecord* stroke = nullptr; // set for strokes and removals
    ReceivedPaintObject() = default;
    ReceivedPaintObject(const ReceivedPaintObject&) = delete;
    ReceivedPaintObject& operator=(const ReceivedPaintObject&) = delete;
    ~ReceivedPaintObject() { delete pen; delete stroke; }
};

struct VideoSpeakRecord {
    uint32_t firstValue = 0;
    uint32_t secondValue = 0;
    uint32_t destinationId = 0;
    uint32_t senderId = 0;
};

// Wire kind byte of command 818: low nibble the source, high nibble the operation.
enum PaintKind : uint8_t {
    ePaintSource_Pen = 0x01,
    ePaintSource_Whiteboard = 0x02,
    ePaintSource_Document = 0x03,
    ePaintOp_AddStroke = 0x10,
    ePaintOp_RemoveObject = 0x20,
    ePaintOp_RemovePage = 0x30,
    ePaintOp_RemoveDocument = 0x40,
};
inline bool IsPenKind(uint8_t kind) { return (kind & 0x0F) == 1; }
inline bool IsAddStrokeKind(uint8_t kind) { return !IsPenKind(kind) && (kind >> 4) == 1; }

using UserRecordList = std::vector<UserRecord*>;
using PaintObjectList = std::vector<ReceivedPaintObject*>;
using FileNoticeList = std::vector<FileNoticeRecord*>;

// Frees the record of one message the protocol posted (by message number and wParam); messages
// without a record are ignored. Answers true when a record was freed.
bool FreeRoomMessage(UINT message, WPARAM wParam, LPARAM lParam);
