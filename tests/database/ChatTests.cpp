// Rooms and chat messages: what goes in comes back, in order, whatever the text holds.
#include "tests/database/DbTestSupport.h"

#include "core/TextUtil.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

void ExpectSameMessage(const MsgInfoRecord& got, const ChatRecord& want)
{
    EXPECT_EQ(got.roomId, want.roomId);
    EXPECT_EQ(got.sender.userId, want.sender.userId);
    EXPECT_EQ(got.sender.serverId, want.sender.serverId);
    EXPECT_EQ(got.sender.sex, want.sender.sex);
    EXPECT_EQ(got.sender.role, want.sender.role);
    EXPECT_EQ(got.sender.applyTime, want.sender.applyTime);
    EXPECT_EQ(got.sender.userName, want.sender.userName);
    EXPECT_EQ(got.sender.nickName, want.sender.nickName);
    EXPECT_EQ(got.font.bold, want.font.bold ? 1 : 0);
    EXPECT_EQ(got.font.underline, want.font.underline ? 1 : 0);
    EXPECT_EQ(got.font.italic, want.font.italic ? 1 : 0);
    EXPECT_EQ(got.font.size, want.font.size);
    EXPECT_EQ(got.font.colour, want.font.colour);
    EXPECT_EQ(got.font.family, want.font.family);
    EXPECT_EQ(got.msg, want.msg);
    EXPECT_EQ(got.time, want.time);
}

ChatRecord HardChat(size_t i, int32_t roomId)
{
    ChatRecord chat = MakeChat(static_cast<int>(i), roomId);
    CString text = kHardTexts[i];
    chat.sender.userName = text;
    chat.sender.nickName = text + L" nick";
    chat.font.family = text;
    chat.msg = text + L" msg";
    chat.time = text;
    return chat;
}

ChatRecordList NumberedBatch(int count, int32_t roomId)
{
    ChatRecordList batch;
    for (int i = 0; i < count; ++i) batch.push_back(MakeChat(i, roomId));
    return batch;
}

} // namespace

TEST(ChatMessages, HardTextsRoundTripInEveryFieldBySingleInsertAndByBatch)
{
    TestDatabase db;
    ChatRecordList batch;
    for (size_t i = 0; i < kHardTextCount; ++i) {
        ChatRecord chat = HardChat(i, 1);
        ASSERT_TRUE(db->InsertMsgInfo(chat.sender, chat.font, chat.msg, chat.roomId, chat.time)) << i;
        batch.push_back(HardChat(i, 2));
    }
    ASSERT_TRUE(db->InsertMsgInfoBatch(batch));
    ASSERT_TRUE(db->InsertMsgInfoBatch(ChatRecordList{HardChat(2, 3)})); // a batch of one takes its own path

    std::vector<MsgInfoRecord> single, batched, one;
    ASSERT_TRUE(db->QueryMsgInfo(1, 0, 99, single));
    ASSERT_TRUE(db->QueryMsgInfo(2, 0, 99, batched));
    ASSERT_TRUE(db->QueryMsgInfo(3, 0, 99, one));
    ASSERT_EQ(single.size(), kHardTextCount);
    ASSERT_EQ(batched.size(), kHardTextCount);
    ASSERT_EQ(one.size(), 1u);
    ExpectSameMessage(one[0], HardChat(2, 3));
    for (size_t i = 0; i < kHardTextCount; ++i) {
        SCOPED_TRACE(i);
        ExpectSameMessage(single[i], HardChat(i, 1));
        ExpectSameMessage(batched[i], HardChat(i, 2));
    }
    RawDb raw(db.FilePath());
    // The batch of one stores the very cells the single insert stored, types included.
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM (SELECT DISTINCT user_id, user_name, user_nickname, server_id, role, "
                         "sex, apply_time, msg, font_bold, font_underline, font_size, font_itatic, font_color, "
                         "font_family, time FROM MsgInfo WHERE room_id = 3 OR (room_id = 1 AND msg = "
                         "(SELECT msg FROM MsgInfo WHERE room_id = 3)))"), 1);
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM sqlite_master WHERE name = 'MsgInfo'"), 1);
    EXPECT_EQ(raw.Query("SELECT msg FROM MsgInfo WHERE room_id = 1 LIMIT 1"), "it's msg");
}

TEST(ChatMessages, NumbersAreStoredAsTheClientAlwaysStoredThem)
{
    TestDatabase db;
    ChatRecord chat = MakeChat(3, -5);
    chat.sender.userId = 0x80000001u;    // written as a signed 32-bit decimal
    chat.sender.applyTime = 0xFFFFFFFEu; // likewise
    chat.sender.serverId = 65535;
    chat.sender.role = eRole_SpeakerVideoAlt;
    chat.font.colour = 0xFF000000u;      // the default chat colour: written unsigned
    chat.font.italic = 1;
    ASSERT_TRUE(db->InsertMsgInfo(chat.sender, chat.font, chat.msg, chat.roomId, chat.time));

    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT room_id, user_id, server_id, role, apply_time, font_color, font_itatic, "
                        "typeof(user_id), typeof(font_color), typeof(msg) FROM MsgInfo"),
              "-5|-2147483647|65535|133|-2|4278190080|1|integer|integer|text");

    std::vector<MsgInfoRecord> rows;
    ASSERT_TRUE(db->SearchByUserName(chat.sender.userName, rows));
    ASSERT_EQ(rows.size(), 1u);
    ExpectSameMessage(rows[0], chat);
    ASSERT_TRUE(db->SearchByKey(L"message", rows, 0));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].font.colour, 0xFF000000u);
}

TEST(ChatMessages, BatchesOfEverySizeLandWholeAndInOrder)
{
    TestDatabase db;
    const int sizes[] = {1, 2, 3, 499, 500, 501, 1000, 5000};
    int32_t room = 100;
    for (int size : sizes) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(db->InsertMsgInfoBatch(NumberedBatch(size, room)));
        EXPECT_EQ(db->GetMsgCount(room), size);
        ExpectNumberedRows(db.Mgr(), room, size);
        ++room;
    }
}

TEST(ChatMessages, AFailingRowLosesItsWholeBatchAndTheNextBatchIsWritten)
{
    TestDatabase db;
    {
        RawDb raw(db.FilePath());
        ASSERT_TRUE(raw.Exec("CREATE TRIGGER refuse BEFORE INSERT ON MsgInfo WHEN NEW.msg = 'refused' "
                             "BEGIN SELECT RAISE(FAIL, 'refused row'); END;"));
    }
    for (int size : {3, 500, 1200}) {
        SCOPED_TRACE(size);
        ChatRecordList batch = NumberedBatch(size, 1);
        auto bad = batch.begin();
        std::advance(bad, size - 2); // in the last statement of a split batch
        bad->msg = L"refused";
        EXPECT_FALSE(db->InsertMsgInfoBatch(batch));
        EXPECT_EQ(db->GetMsgCount(1), 0);
    }
    ASSERT_TRUE(db->InsertMsgInfoBatch(NumberedBatch(700, 1)));
    ExpectNumberedRows(db.Mgr(), 1, 700);
}

TEST(ChatMessages, PagesOfOneRoomAmongOthers)
{
    TestDatabase db;
    ChatRecordList batch;
    for (int i = 0; i < 250; ++i) {
        batch.push_back(MakeChat(i, 7));
        if (i % 3 == 0) batch.push_back(MakeChat(1000 + i, 8));
    }
    ASSERT_TRUE(db->InsertMsgInfoBatch(batch));
    EXPECT_EQ(db->GetMsgCount(7), 250);
    EXPECT_EQ(db->GetMsgCount(8), 84);
    EXPECT_EQ(db->GetMsgCount(9), 0);

    std::vector<MsgInfoRecord> page(5);
    ASSERT_TRUE(db->QueryMsgInfo(7, 100, 199, page)); // page 2 of the browser
    ASSERT_EQ(page.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        CString want;
        want.Format(L"message %d", 100 + i);
        ASSERT_EQ(page[i].msg, want);
        ASSERT_EQ(page[i].roomId, 7);
    }
    ASSERT_TRUE(db->QueryMsgInfo(7, 200, 299, page));
    EXPECT_EQ(page.size(), 50u);
    ASSERT_TRUE(db->QueryMsgInfo(7, 300, 399, page));
    EXPECT_TRUE(page.empty());
    ASSERT_TRUE(db->QueryMsgInfo(7, 100, 50, page)); // a reversed range is empty, not the whole room
    EXPECT_TRUE(page.empty());
}

TEST(ChatMessages, SearchesMatchSpecialCharactersLiterally)
{
    TestDatabase db;
    const wchar_t* texts[] = {L"100% sure", L"1000 sure", L"back\\slash", L"backXslash", L"a_b", L"axb",
                              L"it's here", L"its here", L"LOUD", L"\x4e2d\x6587 text"};
    ChatRecordList batch;
    for (int i = 0; i < 10; ++i) batch.push_back(MakeChat(i, i < 5 ? 1 : 2, texts[i]));
    batch.front().sender.userName = L"O'Brien";
    ASSERT_TRUE(db->InsertMsgInfoBatch(batch));
    std::vector<MsgInfoRecord> rows;
    ASSERT_TRUE(db->SearchByUserName(L"O'Brien", rows));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].msg, L"100% sure");
    ASSERT_TRUE(db->SearchByUserName(L"' OR '1'='1", rows));
    EXPECT_TRUE(rows.empty());

    struct Case {
        const wchar_t* key;
        int32_t room;
        std::vector<CString> found;
    };
    const Case cases[] = {
        {L"0%", 0, {L"100% sure"}},
        {L"%", 0, {L"100% sure"}},
        {L"\\", 0, {L"back\\slash"}},
        {L"k\\s", 0, {L"back\\slash"}},
        {L"a_b", 0, {L"a_b", L"axb"}}, // an underscore matches any one character
        {L"it's", 0, {L"it's here"}},
        {L"'", 0, {L"it's here"}},
        {L"loud", 0, {L"LOUD"}},
        {L"\x4e2d\x6587", 0, {L"\x4e2d\x6587 text"}},
        {L"sure", 1, {L"100% sure", L"1000 sure"}},
        {L"here", 1, {}},
        {L"here", 2, {L"it's here", L"its here"}},
        {L"nothing", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.key));
        rows.resize(2);
        ASSERT_TRUE(db->SearchByKey(c.key, rows, c.room));
        ASSERT_EQ(rows.size(), c.found.size());
        for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].msg, c.found[i]);
    }
}

TEST(ChatMessages, DeletingOneMessageAPageOrARoom)
{
    TestDatabase db;
    ASSERT_TRUE(db->InsertMsgInfoBatch(NumberedBatch(30, 1)));
    ASSERT_TRUE(db->InsertMsgInfoBatch(NumberedBatch(5, 2)));
    std::vector<MsgInfoRecord> rows;
    ASSERT_TRUE(db->QueryMsgInfo(1, 0, 99, rows));
    ASSERT_TRUE(db->DeleteMsgInfo(rows[0].msgId));
    EXPECT_EQ(db->GetMsgCount(1), 29);

    ASSERT_TRUE(db->DeleteMsgInfoPage(1, 10, 5)); // rows 11..15 of the original order
    ASSERT_TRUE(db->QueryMsgInfo(1, 0, 99, rows));
    ASSERT_EQ(rows.size(), 24u);
    EXPECT_EQ(rows[9].msg, L"message 10");
    EXPECT_EQ(rows[10].msg, L"message 16");

    ASSERT_TRUE(db->DeleteMsgInfoPage(1, 0, -1)); // the browser's "delete all" of a room
    EXPECT_EQ(db->GetMsgCount(1), 0);
    EXPECT_EQ(db->GetMsgCount(2), 5);
}

TEST(Rooms, StoredOnceAndReadBack)
{
    TestDatabase db;
    RoomInfoRecord room;
    room.roomId = 0x80000002u;
    room.maxAudience = 65535;
    room.maxAttendees = 6;
    room.maxHosts = 2;
    room.roomState = 4;
    room.quality = 3;
    room.roomName = L"Teacher's \x4e2d\x6587 room";
    room.description = L"desc with 'quotes' and \"doubles\"; DROP TABLE RoomInfo; --";
    room.startTime = L"20261209060000";
    room.duration = L"45";
    room.teacherName = L"D'Arcy";
    ASSERT_TRUE(db->IsRoomExist(static_cast<int32_t>(room.roomId)) == false);
    ASSERT_TRUE(db->InsertRoomInfo(room));
    EXPECT_TRUE(db->IsRoomExist(static_cast<int32_t>(room.roomId)));

    RoomInfoRecord again = room;
    again.roomName = L"renamed";
    EXPECT_FALSE(db->InsertRoomInfo(again)); // a stored room is never updated

    RoomInfoRecord read;
    read.roomFlags = 3;
    ASSERT_TRUE(db->QueryRoomInfo(static_cast<int32_t>(room.roomId), read));
    EXPECT_EQ(read.roomId, room.roomId);
    EXPECT_EQ(read.maxAudience, 65535);
    EXPECT_EQ(read.maxAttendees, 6);
    EXPECT_EQ(read.maxHosts, 2);
    EXPECT_EQ(read.roomState, 4u);
    EXPECT_EQ(read.quality, 3u);
    EXPECT_EQ(read.roomName, room.roomName);
    EXPECT_EQ(read.description, room.description);
    EXPECT_EQ(read.startTime, room.startTime);
    EXPECT_EQ(read.duration, room.duration);
    EXPECT_EQ(read.teacherName, room.teacherName);
    EXPECT_EQ(read.roomFlags, 3u); // never stored

    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT room_id, desc FROM RoomInfo"),
              "-2147483646|desc with 'quotes' and \"doubles\"; DROP TABLE RoomInfo; --");
}

TEST(Rooms, MissingRoomLeavesTheRecordAndNamesKeepTheFirst)
{
    TestDatabase db;
    RoomInfoRecord missing;
    missing.roomName = L"as it was";
    ASSERT_TRUE(db->QueryRoomInfo(404, missing));
    EXPECT_EQ(missing.roomName, L"as it was");

    RoomInfoRecord a, b;
    a.roomId = 1;
    a.roomName = L"first";
    b.roomId = 2;
    b.roomName = L"second";
    ASSERT_TRUE(db->InsertRoomInfo(a));
    ASSERT_TRUE(db->InsertRoomInfo(b));
    {
        RawDb raw(db.FilePath()); // a duplicate the client itself never writes
        ASSERT_TRUE(raw.Exec("INSERT INTO RoomInfo (room_id, room_name) VALUES (1, 'later')"));
    }
    std::map<int32_t, CString> names;
    names[99] = L"stale";
    ASSERT_TRUE(db->GetAllRoomNames(names));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], L"first");
    EXPECT_EQ(names[2], L"second");

    ASSERT_TRUE(db->DeleteRoomInfo(1));
    EXPECT_FALSE(db->IsRoomExist(1));
    EXPECT_TRUE(db->IsRoomExist(2));
}

TEST(ChatMessages, WriterBatchesAndUiTransactionsAtOnceKeepEveryRow)
{
    TestDatabase db;
    {
        RawDb raw(db.FilePath());
        ASSERT_TRUE(raw.Exec("CREATE TRIGGER refuse BEFORE INSERT ON PPTPageInfo WHEN NEW.jpg_path = 'refused' "
                             "BEGIN SELECT RAISE(FAIL, 'refused page'); END;"));
    }
    const int batches = 20;
    const int perBatch = 501; // split into two statements inside one transaction
    std::thread writer([&] {
        for (int b = 0; b < batches; ++b) {
            ChatRecordList batch;
            for (int i = 0; i < perBatch; ++i) batch.push_back(MakeChat(b * perBatch + i, 3));
            db->InsertMsgInfoBatch(batch);
        }
    });
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        ParamList pages;
        pages.pageCount = 3;
        pages.values = {L"a.jpg", round % 2 ? L"refused" : L"b.jpg", L"c.jpg"};
        if (!db->SavePPTInfo(pages, 1000 + round, 3, L"deck.ppt")) ++refused; // rolls back its own rows only
        OptionSettings options;
        options.dataRate = round;
        db->SaveOptionInfo(options);
    }
    writer.join();
    EXPECT_EQ(refused, 30);
    EXPECT_EQ(db->GetMsgCount(3), batches * perBatch);
    ExpectNumberedRows(db.Mgr(), 3, batches * perBatch);
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTInfo"), 30);
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTPageInfo"), 90);
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM OptionInfo"), 1);
}
