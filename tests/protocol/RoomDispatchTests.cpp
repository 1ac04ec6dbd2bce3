// Every received command against its layout: one table of payloads and the records they become,
// each payload also cut at every length and mutated at random; records are freed exactly once.
#include "tests/protocol/ProtocolTestUtil.h"

#include "protocol/WireFormat.h"
#include "tests/protocol/FailingAllocations.h"
#include <functional>
#include <random>
#include <set>

using namespace fakeroom;

namespace {

struct DispatchCase {
    const char* name;
    uint16_t type;
    uint16_t status;
    Bytes payload;
    UINT message;
    WPARAM wParam;
    // Checks the record (or lParam value); null when lParam must be 0.
    std::function<void(LPARAM)> check;
    // Cut shorter than this, nothing is posted; lists post what is whole instead (0 = list).
    size_t minimum;
    // A line the log gains when the whole payload is read; null for none asked.
    const char* logged = nullptr;
};

PacketHeader Header(uint16_t type, uint16_t status)
{
    PacketHeader h = MakeHeader(type, 0);
    h.status = status;
    h.sender = 501;
    h.serverId = 12;
    h.destination = 20141129;
    return h;
}

Bytes JoinRequest()
{
    ByteWriter w;
    w.U32(20141129).U16(500).U16(2).U16(1).U8(1).I64(1400000000).U16(90).U16(0xFFFF);
    w.U32(777).U16(3).U8(eRole_Student).U8(2).U8(1).WireString(CString(L"Screen")).WireString(CString(L"user"));
    return w.Take();
}

Bytes StrokeBytes(uint8_t kind, int points, bool withCount)
{
    ByteWriter w;
    w.U8(kind).U32(88).U16(2).U32(0x01020304).U64(77).U8(5).U16(800).U16(600);
    if (withCount) w.U16(static_cast<uint16_t>(points));
    for (int i = 0; i < points; ++i) w.U16(static_cast<uint16_t>(i)).U16(static_cast<uint16_t>(-i));
    return w.Take();
}

Bytes FileEntry(uint64_t id, const char* name)
{
    ByteWriter w;
    uint8_t fileId[16];
    for (int i = 0; i < 16; ++i) fileId[i] = static_cast<uint8_t>(0x10 + i);
    w.U64(id).U64(123456789).Bytes(fileId, 16).U32(501).U16(static_cast<uint16_t>(strlen(name))).Bytes(name, strlen(name));
    return w.Take();
}

std::vector<DispatchCase> Cases()
{
    std::vector<DispatchCase> c;
    Bytes join(308, 0);
    join[10] = 2;
    join[23] = 8;
    join[40] = 0x39;
    join[41] = 0x30;
    c.push_back({"803 ok", eType_JoinRoom, 1, join, WM_USER_JOIN_ROOM_RESULT, 1,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<JoinRoomReply*>(l);
                     EXPECT_EQ(2, r->RoomState());
                     EXPECT_EQ(8, r->Living().flags);
                     EXPECT_EQ(0x3039u, r->DrawingIdBase());
                 },
                 0}); // shorter than 44 bytes it is a failed join (checked below)
    c.push_back({"803 refused", eType_JoinRoom, 5, Bytes(), WM_USER_JOIN_ROOM_RESULT, 0,
                 [](LPARAM l) { EXPECT_EQ(5, l); }, 0});
    c.push_back({"803 negative status", eType_JoinRoom, 0xFFFE, Bytes(), WM_USER_JOIN_ROOM_RESULT, 0,
                 [](LPARAM l) { EXPECT_EQ(-2, l); }, 0});
    ByteWriter users;
    users.U32(1).U16(2).U8(eRole_Teacher).U8(1).U8(0).WireString(CString(L"T")).WireString(CString(L"teacher"));
    users.U32(9).U16(2).U8(eRole_MicApplied).U8(0).U8(0).WireString(CString(L"\u00e9l\u00e8ve")).WireString(CString(L"s"));
    c.push_back({"804 two users", eType_RoomUsers, 1, users.Data(), WM_USER_ROOM_USERS, 1,
                 [](LPARAM l) {
                     auto* v = reinterpret_cast<UserRecordList*>(l);
                     ASSERT_EQ(2u, v->size());
                     EXPECT_EQ(1u, (*v)[0]->userId);
                     EXPECT_EQ(eRole_Teacher, (*v)[0]->role);
                     EXPECT_EQ(CString(L"teacher"), (*v)[0]->userName);
                     EXPECT_EQ(CString(L"\u00e9l\u00e8ve"), (*v)[1]->nickName);
                     EXPECT_EQ(eRole_MicApplied, (*v)[1]->role);
                     EXPECT_EQ(0, (*v)[1]->sex);
                 },
                 0});
    // Names longer than a row holds are cut to 64 characters, never inside a surrogate pair.
    ByteWriter longNames;
    longNames.U32(4).U16(2).U8(eRole_Student).U8(1).U8(0);
    longNames.WireString(CString(L'n', 63) + L"\U0001F600tail").WireString(CString(L'u', 70));
    c.push_back({"804 long names", eType_RoomUsers, 1, longNames.Data(), WM_USER_ROOM_USERS, 1,
                 [](LPARAM l) {
                     auto* v = reinterpret_cast<UserRecordList*>(l);
                     ASSERT_EQ(1u, v->size());
                     EXPECT_EQ(CString(L'n', 63), (*v)[0]->nickName);
                     EXPECT_EQ(CString(L'u', 64), (*v)[0]->userName);
                 },
                 0, "command 804: screen name of 69 characters cut to 63"});
    c.push_back({"804 empty", eType_RoomUsers, 1, Bytes(), WM_USER_ROOM_USERS, 1,
                 [](LPARAM l) { EXPECT_TRUE(reinterpret_cast<UserRecordList*>(l)->empty()); }, 0});
    c.push_back({"804 failed", eType_RoomUsers, 3, Bytes(), WM_USER_ROOM_USERS, 0,
                 [](LPARAM l) { EXPECT_EQ(3, l); }, 0});
    Bytes online = JoinRequest();
    c.push_back({"805 online", eType_UserOnline_Notify, 0, online, WM_USER_PRESENCE, 805,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<PresenceRecord*>(l);
                     EXPECT_EQ(1u, r->online);
                     EXPECT_EQ(20141129u, r->roomId);
                     EXPECT_EQ(777u, r->userId);
                     EXPECT_EQ(3, r->serverId);
                     EXPECT_EQ(eRole_Student, r->role);
                     EXPECT_EQ(2, r->sex);
                     EXPECT_EQ(CString(L"Screen"), r->screenName);
                     EXPECT_EQ(CString(L"user"), r->userName);
                 },
                 online.size()});
    c.push_back({"806 offline", eType_UserOffline_Notify, 0, Bytes(), WM_USER_PRESENCE, 806,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<PresenceRecord*>(l);
                     EXPECT_EQ(0u, r->online);
                     EXPECT_EQ(501u, r->userId);
                     EXPECT_EQ(12, r->serverId);
                 },
                 0});
    ByteWriter chat;
    chat.U8(1).U8(0x80).U8(0x7F).U8(44).U32(0xFF112233).WireString(CString(L"Arial")).WireString(CString(L"hi \u4e2d"));
    c.push_back({"808 chat", eType_ChatMsg, 0, chat.Data(), WM_USER_CHAT_MESSAGE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<ChatMessageRecord*>(l);
                     EXPECT_EQ(1u, r->kind);
                     EXPECT_EQ(1, r->font.bold);
                     EXPECT_EQ(0, r->font.underline); // 0x80 is negative as a signed byte
                     EXPECT_EQ(1, r->font.italic);
                     EXPECT_EQ(44, r->font.size);
                     EXPECT_EQ(0xFF112233u, r->font.colour);
                     EXPECT_EQ(CString(L"Arial"), r->font.family);
                     EXPECT_EQ(CString(L"hi \u4e2d"), r->text);
                     EXPECT_EQ(501u, r->senderId);
                     EXPECT_EQ(12, r->senderServerId);
                     EXPECT_EQ(20141129u, r->roomId);
                 },
                 chat.Size()});
    c.push_back({"807 chat", eType_ChatMsgAlt, 0, chat.Data(), WM_USER_CHAT_MESSAGE, 0,
                 [](LPARAM l) { EXPECT_EQ(0u, reinterpret_cast<ChatMessageRecord*>(l)->kind); }, chat.Size()});
    c.push_back({"809 speak notice", eType_SpeakState_Notify, 0, Bytes(), WM_USER_SPEAK_STATE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<SpeakStateRecord*>(l);
                     EXPECT_EQ(501u, r->userId);
                     EXPECT_EQ(130u, r->state);
                     EXPECT_EQ(20141129u, r->roomId);
                 },
                 0});
    ByteWriter speak;
    speak.U32(66).U8(132);
    c.push_back({"810 speak", eType_SpeakState, 0, speak.Data(), WM_USER_SPEAK_STATE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<SpeakStateRecord*>(l);
                     EXPECT_EQ(20141129u, r->userId); // the header destination
                     EXPECT_EQ(132u, r->state);
                     EXPECT_EQ(66u, r->roomId);
                 },
                 5});
    Bytes cls(23, 0);
    cls[0] = 5;
    cls[10] = 4;
    cls[21] = 0x03;
    cls[22] = 0x01;
    c.push_back({"811 class", eType_ClassState, 0, cls, WM_USER_CLASS_STATE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<ClassStateRecord*>(l);
                     EXPECT_EQ(4u, r->roomState);
                     EXPECT_EQ(0x0103u, r->roomFlags);
                     EXPECT_EQ(5u, r->roomId);
                 },
                 23});
    ByteWriter forbid;
    forbid.U32(11).U32(22).U16(0).U16(300);
    c.push_back({"812 forbid", eType_ForbidSpeaking_Notify, 0, forbid.Data(), WM_USER_FORBID_SPEAKING, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<ForbidSpeakingRecord*>(l);
                     EXPECT_EQ(11u, r->firstId);
                     EXPECT_EQ(22u, r->secondId);
                     EXPECT_EQ(300, r->seconds);
                 },
                 12});
    ByteWriter question;
    question.U32(1).U32(2).U32(3).U32(4).U8(0xFF).WireString(CString(L"Why?")).U16(2);
    question.U8('A').WireString(CString(L"yes")).U8('B').WireString(CString(L"no")).U8(2).U8(0).U8(0);
    c.push_back({"813 question", eType_Question_Notify, 0, question.Data(), WM_USER_QUESTION, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<QuestionRecord*>(l);
                     EXPECT_EQ(1u, r->userId);
                     EXPECT_EQ(2u, r->roomId);
                     EXPECT_EQ(3u, r->serverQuestionId);
                     EXPECT_EQ(4u, r->questionId);
                     EXPECT_EQ(-1, r->questionType);
                     EXPECT_EQ(CString(L"Why?"), r->questionText);
                     ASSERT_EQ(2u, r->answers.size());
                     EXPECT_EQ(2u, r->answerCount);
                     EXPECT_EQ(CString(L"no"), r->answers[1]);
                     EXPECT_TRUE(r->allAnswers.IsEmpty());
                 },
                 0});
    // A question longer than a client sends a chat line is cut as a chat line is.
    ByteWriter longQuestion;
    longQuestion.U32(1).U32(2).U32(3).U32(4).U8(1).WireString(CString(L'q', 4096) + L"BEYOND").U16(1);
    longQuestion.U8('A').WireString(CString(L"yes")).U8(0);
    c.push_back({"813 long question", eType_Question_Notify, 0, longQuestion.Data(), WM_USER_QUESTION, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<QuestionRecord*>(l);
                     EXPECT_TRUE(CString(L'q', 4096) == r->questionText) << r->questionText.GetLength();
                     ASSERT_EQ(1u, r->answers.size());
                     EXPECT_EQ(CString(L"yes"), r->answers[0]);
                 },
                 0, "command 813: question text of 4102 characters cut to 4096"});
    ByteWriter words;
    words.U32(1).U32(2).U32(3).U32(4).U8(0);
    for (uint16_t i = 1; i <= 20; ++i) words.U16(i * 100);
    c.push_back({"815 words", eType_WordArray_Notify, 0, words.Data(), WM_USER_WORD_ARRAY, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<WordArrayRecord*>(l);
                     EXPECT_EQ(2u, r->values[0]);
                     EXPECT_EQ(1u, r->values[1]);
                     EXPECT_EQ(4u, r->values[2]);
                     EXPECT_EQ(3u, r->values[3]);
                     ASSERT_EQ(20u, r->words.size());
                     EXPECT_EQ(100, r->words[0]);
                     EXPECT_EQ(2000, r->words[19]);
                 },
                 16});
    ByteWriter countdown;
    countdown.U32(600);
    c.push_back({"816 countdown", eType_CountDwon_Notify, 0, countdown.Data(), WM_USER_COUNTDOWN, 0,
                 [](LPARAM l) { EXPECT_EQ(600u, *reinterpret_cast<uint32_t*>(l)); }, 4});
    c.push_back({"817 elsewhere", eType_LoggedInElsewhere_Notify, 0, Bytes(), WM_USER_LOGGED_IN_ELSEWHERE, 0, nullptr, 0});
    Bytes stroke = StrokeBytes(0x12, 2, false);
    c.push_back({"818 stroke", eType_PaintObject, 0, stroke, WM_USER_PAINT_STROKE, 0,
                 [](LPARAM l) {
                     auto* o = reinterpret_cast<ReceivedPaintObject*>(l);
                     EXPECT_EQ(0x12, o->kind);
                     EXPECT_EQ(88u, o->ownerId);
                     ASSERT_TRUE(o->stroke);
                     EXPECT_EQ(nullptr, o->pen);
                     EXPECT_EQ(2, o->stroke->head.page);
                     EXPECT_EQ(0x01020304u, o->stroke->head.orderKey);
                     EXPECT_EQ(77u, o->stroke->head.docId);
                     EXPECT_EQ(5, o->stroke->head.tool);
                     EXPECT_EQ(800, o->stroke->head.surfaceWidth);
                     EXPECT_EQ(600, o->stroke->head.surfaceHeight);
                     ASSERT_EQ(2u, o->stroke->points.size());
                     EXPECT_EQ(1, o->stroke->points[1].x);
                     EXPECT_EQ(-1, o->stroke->points[1].y);
                 },
                 24});
    ByteWriter pen;
    pen.U8(0x31).U32(88).U8(3).U8(4).U8(1).U32(99).Zeros(19);
    c.push_back({"818 pen (low nibble first)", eType_PaintObject, 0, pen.Data(), WM_USER_PAINT_PEN, 0,
                 [](LPARAM l) {
                     auto* o = reinterpret_cast<ReceivedPaintObject*>(l);
                     ASSERT_TRUE(o->pen);
                     EXPECT_EQ(3, o->pen->colourIndex);
                     EXPECT_EQ(4, o->pen->width);
                     EXPECT_EQ(1, o->pen->style);
                     EXPECT_EQ(99u, o->pen->orderKey);
                 },
                 12});
    Bytes removal = StrokeBytes(0x22, 0, false);
    removal.resize(19);
    c.push_back({"818 removal", eType_PaintObject, 0, removal, WM_USER_PAINT_REMOVE, 0,
                 [](LPARAM l) {
                     auto* o = reinterpret_cast<ReceivedPaintObject*>(l);
                     ASSERT_TRUE(o->stroke);
                     EXPECT_EQ(2, o->stroke->head.page);
                     EXPECT_EQ(77u, o->stroke->head.docId);
                     EXPECT_EQ(0, o->stroke->head.surfaceWidth);
                 },
                 19});
    Bytes history = Concat(Concat(StrokeBytes(0x12, 3, true), Bytes{0x01, 88, 0, 0, 0, 1, 2, 0, 9, 0, 0, 0}),
                           StrokeBytes(0x13, 1, true));
    c.push_back({"819 history", eType_PaintList, 1, history, WM_USER_PAINT_LIST, 0,
                 [](LPARAM l) {
                     auto* v = reinterpret_cast<PaintObjectList*>(l);
                     ASSERT_EQ(3u, v->size());
                     EXPECT_EQ(3u, (*v)[0]->stroke->points.size());
                     ASSERT_TRUE((*v)[1]->pen);
                     EXPECT_EQ(9u, (*v)[1]->pen->orderKey);
                     EXPECT_EQ(0x13, (*v)[2]->kind);
                     EXPECT_EQ(1u, (*v)[2]->stroke->points.size());
                 },
                 0});
    c.push_back({"820 live whiteboard", eType_LiveWhiteboard, 0, Bytes{3, 0, 0x41}, WM_USER_LIVE_WHITEBOARD, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<LiveWhiteboardRecord*>(l);
                     EXPECT_EQ(3, r->page);
                     EXPECT_EQ(0x41, r->state);
                 },
                 3});
    c.push_back({"821 live doc", eType_LiveDoc, 0, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0x42}, WM_USER_LIVE_DOC, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<LiveDocRecord*>(l);
                     EXPECT_EQ(0x0807060504030201ull, r->docId);
                     EXPECT_EQ(9, r->page);
                     EXPECT_EQ(0x42, r->state);
                 },
                 11});
    c.push_back({"822 live camera", eType_LiveCamera, 0, Bytes{1, 0x41}, WM_USER_LIVE_CAMERA, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<LiveCameraRecord*>(l);
                     EXPECT_EQ(1, r->index);
                     EXPECT_EQ(0x41, r->state);
                 },
                 2});
    c.push_back({"823 on", eType_LiveScreenShare, 0, Bytes{1}, WM_USER_LIVE_SCREEN_SHARE, 0,
                 [](LPARAM l) { EXPECT_EQ(1, l); }, 1});
    c.push_back({"823 byte 2 is off", eType_LiveScreenShare, 0, Bytes{2}, WM_USER_LIVE_SCREEN_SHARE, 0,
                 [](LPARAM l) { EXPECT_EQ(0, l); }, 1});
    c.push_back({"824 kick", eType_KickOff, 0, Bytes{1, 2, 3, 4}, WM_USER_KICKED_OFF, 0, nullptr, 0});
    Bytes file = FileEntry(42, "notes.lvl");
    c.push_back({"825 file", eType_FileNotice, 0, file, WM_USER_FILE_NOTICE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<FileNoticeRecord*>(l);
                     EXPECT_EQ(42u, r->fileId);
                     EXPECT_EQ(123456789u, r->fileSize);
                     EXPECT_EQ(CString(L"01112131415161718191a1b1c1d1e1f1"), r->fileIdText);
                     EXPECT_EQ(501u, r->uploaderId);
                     EXPECT_EQ(CString(L"notes.lvl"), r->fileName);
                 },
                 file.size()});
    c.push_back({"826 list", eType_FileList, 1, Concat(FileEntry(1, "a"), FileEntry(2, "b.ppt")), WM_USER_FILE_LIST, 0,
                 [](LPARAM l) {
                     auto* v = reinterpret_cast<FileNoticeList*>(l);
                     ASSERT_EQ(2u, v->size());
                     EXPECT_EQ(CString(L"b.ppt"), (*v)[1]->fileName);
                 },
                 0});
    c.push_back({"827 swap", eType_SwapScreen, 0, Bytes(), WM_USER_SWAP_SCREEN, 0, nullptr, 0});
    Bytes living(17, 0);
    living[0] = 3;
    living[16] = 0x42;
    c.push_back({"828 living", eType_LivingState, 0, living, WM_USER_LIVING_STATE, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<LiveState*>(l);
                     EXPECT_EQ(3, r->flags);
                     EXPECT_EQ(0x42, r->cameraState);
                 },
                 17});
    ByteWriter video;
    video.U32(1).U32(2);
    c.push_back({"829 video speak", eType_VideoSpeak, 0, video.Data(), WM_USER_VIDEO_SPEAK, 0,
                 [](LPARAM l) {
                     auto* r = reinterpret_cast<VideoSpeakRecord*>(l);
                     EXPECT_EQ(1u, r->firstValue);
                     EXPECT_EQ(2u, r->secondValue);
                     EXPECT_EQ(20141129u, r->destinationId);
                     EXPECT_EQ(501u, r->senderId);
                 },
                 8});
    return c;
}

TEST(RoomDispatch, EveryCommandBecomesItsRecord)
{
    for (const DispatchCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        RoomMessage m;
        const size_t mark = LogSize();
        ASSERT_TRUE(ParseRoomCommand(Header(c.type, c.status), c.payload.data(),
                                     static_cast<uint32_t>(c.payload.size()), m));
        EXPECT_EQ(c.message, m.message);
        EXPECT_EQ(c.wParam, m.wParam);
        if (c.check) c.check(m.lParam);
        else EXPECT_EQ(0, m.lParam);
        if (c.logged) {
            EXPECT_NE(std::string::npos, LogFrom(mark).find(c.logged)) << c.logged;
        }
        FreeRoomMessage(m.message, m.wParam, m.lParam);
    }
}

TEST(RoomDispatch, IgnoredNumbersPostNothing)
{
    for (uint16_t type : {uint16_t(0), uint16_t(800), uint16_t(802), uint16_t(814), uint16_t(830), uint16_t(0xFFFF)}) {
        RoomMessage m;
        Bytes payload(64, 1);
        EXPECT_FALSE(ParseRoomCommand(Header(type, 1), payload.data(), 64, m)) << type;
    }
}

TEST(RoomDispatch, EveryTruncationIsDroppedOrPostsOnlyWholeEntries)
{
    for (const DispatchCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        for (size_t length = 0; length < c.payload.size(); ++length) {
            // A copy of exactly the cut length, so a read past it would leave the buffer.
            Bytes cut(c.payload.begin(), c.payload.begin() + length);
            RoomMessage m;
            bool posted = ParseRoomCommand(Header(c.type, c.status), cut.empty() ? nullptr : cut.data(),
                                           static_cast<uint32_t>(length), m);
            if (c.minimum > 0) {
                EXPECT_EQ(length >= c.minimum, posted) << "cut at " << length;
            }
            if (c.type == eType_JoinRoom && c.status == 1) {
                // The login window must hear of it: a failure with the reply's status.
                EXPECT_TRUE(posted) << "cut at " << length;
                EXPECT_EQ(length >= sizeof(JoinRoomReply) ? 1u : 0u, m.wParam) << "cut at " << length;
                if (length < sizeof(JoinRoomReply)) {
                    EXPECT_EQ(1, m.lParam);
                }
            }
            if (posted) FreeRoomMessage(m.message, m.wParam, m.lParam);
        }
    }
}

TEST(RoomDispatch, ListsKeepTheirWholeEntriesWhenCut)
{
    Bytes list = Concat(FileEntry(1, "first"), FileEntry(2, "second"));
    RoomMessage m;
    ASSERT_TRUE(ParseRoomCommand(Header(eType_FileList, 1), list.data(), static_cast<uint32_t>(list.size() - 1), m));
    auto* files = reinterpret_cast<FileNoticeList*>(m.lParam);
    ASSERT_EQ(1u, files->size());
    EXPECT_EQ(CString(L"first"), (*files)[0]->fileName);
    FreeRoomMessage(m.message, m.wParam, m.lParam);

    // A point count beyond the payload ends the history at the object before it.
    Bytes history = Concat(StrokeBytes(0x12, 2, true), StrokeBytes(0x12, 3, true));
    history.resize(history.size() - 1);
    ASSERT_TRUE(ParseRoomCommand(Header(eType_PaintList, 1), history.data(), static_cast<uint32_t>(history.size()), m));
    EXPECT_EQ(1u, reinterpret_cast<PaintObjectList*>(m.lParam)->size());
    FreeRoomMessage(m.message, m.wParam, m.lParam);
}

// The log's size on disk, cheap enough to ask after every message.
size_t LogFileSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(Logger::Instance().Path(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
}

TEST(RoomDispatch, EachRandomMutationIsPostedOrDroppedWithALogLineAndNothingLeaks)
{
    std::mt19937 random(12345);
    LOG_INFO(L"mutations begin"); // the log is open before its growth is measured
    std::set<std::pair<uint16_t, UINT>> messagesOf;
    for (const DispatchCase& c : Cases()) messagesOf.insert({c.type, c.message});
    for (const DispatchCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        for (int round = 0; round < 200; ++round) {
            Bytes mutated = c.payload;
            if (mutated.empty()) mutated.resize(random() % 40);
            for (int flips = 0; flips < 4 && !mutated.empty(); ++flips) {
                mutated[random() % mutated.size()] = static_cast<uint8_t>(random());
            }
            if (random() % 3 == 0) mutated.resize(random() % (mutated.size() + 1));
            RoomMessage m;
            const size_t logged = LogFileSize();
            CountAllocations(true); // from here to the balance nothing may fail: a failure allocates
            bool posted = ParseRoomCommand(Header(c.type, c.status), mutated.empty() ? nullptr : mutated.data(),
                                           static_cast<uint32_t>(mutated.size()), m);
            if (posted) {
                // A mutated kind byte may pick another message of the same command, never a stranger.
                EXPECT_EQ(1u, messagesOf.count({c.type, m.message})) << "round " << round << " posted " << m.message;
                FreeRoomMessage(m.message, m.wParam, m.lParam);
            } else {
                EXPECT_GT(LogFileSize(), logged) << "dropped without a word, round " << round;
            }
            long balance = AllocationBalance();
            CountAllocations(false);
            EXPECT_EQ(0, balance) << "round " << round;
        }
    }
}

TEST(RoomDispatch, AFailedAllocationDropsThatMessageOnly)
{
    SessionWindow window;
    CCmdProtocol channel(FastChannel());
    for (const DispatchCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        // The n-th allocation of the dispatch fails, for every n until one runs through untouched.
        for (int n = 1;; ++n) {
            window.sink.FreeAll();
            PacketHeader header = Header(c.type, c.status);
            FailAllocation(n);
            channel.Dispatch(header, c.payload.data(), static_cast<uint32_t>(c.payload.size()));
            bool failed = AllocationFailed();
            FailAllocation(0);
            window.sink.PumpFor(0);
            if (failed) {
                EXPECT_EQ(0u, window.sink.All().size()) << "allocation " << n;
                continue;
            }
            ASSERT_EQ(1u, window.sink.All().size());
            EXPECT_EQ(c.message, window.sink.All()[0].message);
            break;
        }
    }
    window.sink.FreeAll();
}

// The whole way from the room's bytes to the window, through the real channel: every command of the
// table arrives as its message and every record is freed once by the window.
TEST(RoomDispatch, LoopbackDeliversEveryCommandAndEachRecordIsFreedOnce)
{
    SessionWindow window;
    FakeRegServer reg;
    CCmdProtocol channel(FastChannel());
    channel.SetServer(RegNode(reg));
    ASSERT_TRUE(channel.Connect());
    channel.Start();
    ASSERT_TRUE(reg.WaitForClient());
    std::vector<DispatchCase> cases = Cases();
    size_t records = 0;
    for (const DispatchCase& c : cases) {
        HeaderFields f;
        f.status = c.status;
        f.sender = 501;
        f.serverId = 12;
        f.destination = 20141129;
        f.messageId = 4;
        // Fragment the longer ones, so the joined path is taken too.
        ASSERT_TRUE(reg.Push(c.type, c.payload, f, c.payload.size() > 40 ? 17 : kFragmentPayload));
        records += (c.check && c.message != WM_USER_LIVE_SCREEN_SHARE && !(c.wParam == 0 &&
                    (c.message == WM_USER_JOIN_ROOM_RESULT || c.message == WM_USER_ROOM_USERS))) ? 1 : 0;
    }
    ASSERT_TRUE(PumpUntil([&] { return window.sink.All().size() >= cases.size(); }));
    std::vector<PostedMessage> all = window.sink.All();
    ASSERT_EQ(cases.size(), all.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(cases[i].message, all[i].message);
        EXPECT_EQ(cases[i].wParam, all[i].wParam);
        if (cases[i].check) cases[i].check(all[i].lParam);
    }
    channel.RequestStop();
    window.sink.FreeAll();
    EXPECT_EQ(records, window.freedRecords);
}

} // namespace
