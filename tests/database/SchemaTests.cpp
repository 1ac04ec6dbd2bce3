// The file, its tables and the manager's life cycle.
#include "tests/database/DbTestSupport.h"

#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdlib>

namespace {

std::string TrimTrailingNewlines(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// The layout of every table as SQLite reports it, checked against the file beside the test program
// (the same query and file serve the check with the Linux sqlite3 shell).
std::string Layout(RawDb& raw)
{
    std::string sql = ReadFileBytes(TestProgramFolder() + L"database-tests\\schema-layout.sql");
    return raw.Query(sql);
}

std::string ExpectedLayout()
{
    return TrimTrailingNewlines(ReadFileBytes(TestProgramFolder() + L"database-tests\\schema.expected"));
}

std::string TableNames(RawDb& raw)
{
    return raw.Query("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite%' ORDER BY name");
}

} // namespace

TEST(DatabaseFile, FirstInitCreatesFolderFileAndTheTenTables)
{
    TempFolder folder(L"db");
    CSqliteMgr mgr(folder.Path());
    ASSERT_FALSE(FileExists(folder.Path() + L"LocalDB\\0\\dat_03.db"));
    ASSERT_TRUE(mgr.Init(0));
    EXPECT_TRUE(mgr.IsOpen());
    EXPECT_EQ(mgr.GetPath(), folder.Path() + L"LocalDB\\0\\dat_03.db");
    ASSERT_TRUE(FileExists(mgr.GetPath()));

    RawDb raw(mgr.GetPath());
    ASSERT_TRUE(raw.IsOpen());
    EXPECT_EQ(TableNames(raw), "FontInfo\nLVLInfo\nMsgInfo\nOptionInfo\nPPTInfo\nPPTPageInfo\nPPTStatus\nPenInfo\n"
                               "QuestionInfo\nRoomInfo");
    ASSERT_FALSE(ExpectedLayout().empty());
    EXPECT_EQ(Layout(raw), ExpectedLayout());

    // Each user has a file of their own.
    CSqliteMgr other(folder.Path());
    ASSERT_TRUE(other.Init(-7));
    EXPECT_TRUE(FileExists(folder.Path() + L"LocalDB\\-7\\dat_03.db"));
    EXPECT_TRUE(mgr.InsertMsgInfo(UserRecord(), ChatFont(), L"only in the first", 1, L"t"));
    EXPECT_EQ(mgr.GetMsgCount(1), 1);
    EXPECT_EQ(other.GetMsgCount(1), 0);
}

TEST(DatabaseFile, ASecondStartKeepsRowsAndBringsBackADroppedTable)
{
    TestDatabase db;
    ASSERT_TRUE(db->IsOpen());
    ASSERT_TRUE(db->InsertMsgInfo(UserRecord(), ChatFont(), L"kept", 3, L"t"));
    ASSERT_TRUE(db->SaveFontInfo(ChatFont()));
    const std::string master = "SELECT type, name, sql FROM sqlite_master ORDER BY name";
    std::string before = RawDb(db.FilePath()).Query(master);
    EXPECT_TRUE(db->Init(db.userId)); // again on the open manager: the connection is kept
    ASSERT_TRUE(db.Reopen());         // and as at the next client start
    EXPECT_EQ(RawDb(db.FilePath()).Query(master), before);
    EXPECT_EQ(db->GetMsgCount(3), 1);

    ASSERT_TRUE(RawDb(db.FilePath()).Exec("DROP TABLE PenInfo; DROP TABLE RoomInfo;"));
    PenSetting pen;
    EXPECT_FALSE(db->SavePenInfo(pen)); // the open manager has no such table now
    ASSERT_TRUE(db.Reopen());
    RawDb raw(db.FilePath());
    EXPECT_EQ(Layout(raw), ExpectedLayout());
    EXPECT_EQ(db->GetMsgCount(3), 1);
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM FontInfo"), 1);
    EXPECT_TRUE(db->SavePenInfo(pen));
}

TEST(DatabaseFile, AnExistingTableIsUsedUnchanged)
{
    TestDatabase db;
    {
        RawDb raw(db.FilePath());
        ASSERT_TRUE(raw.Exec("DROP TABLE PenInfo; CREATE TABLE PenInfo(inner_id INTEGER PRIMARY KEY, pen_color "
                             "INTEGER, pen_size INTEGER, pen_style INTEGER, extra TEXT);"));
    }
    ASSERT_TRUE(db.Reopen());
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM pragma_table_info('PenInfo')"), 5);
    PenSetting pen;
    EXPECT_TRUE(db->SavePenInfo(pen));
    EXPECT_FALSE(db->GetPenInfo(pen)); // five columns where four are expected: the read refuses it
}

TEST(DatabaseFile, InitDropsUnfinishedTransfersAndKeepsFinishedOnes)
{
    TestDatabase db;
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Finished, L"md5-done", 1, 11));
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Picked, L"md5-picked", 1, 0));
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Uploading, L"md5-up", 1, 12));
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Downloading, L"md5-down", 2, 13));
    ASSERT_TRUE(db.Reopen());
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT file_md5, file_status FROM PPTStatus ORDER BY file_md5"), "md5-done|0");
}

// Never initialised, or its file cannot be opened: every operation fails or answers empty.
TEST(DatabaseManager, AClosedManagerFailsEveryOperation)
{
    TempFolder folder(L"db");
    // A folder where the file should be: SQLite cannot open it.
    ASSERT_TRUE(EnsureFolder(folder.Path() + L"LocalDB\\5\\dat_03.db\\"));
    CSqliteMgr unopenable(folder.Path());
    EXPECT_FALSE(unopenable.Init(5));
    EXPECT_FALSE(unopenable.GetLastError().IsEmpty());
    EXPECT_FALSE(unopenable.Init(5));
    CSqliteMgr never;
    for (CSqliteMgr* mgr : {&never, &unopenable}) {
        CSqliteMgr& m = *mgr;
        std::vector<MsgInfoRecord> messages(3);
        RoomInfoRecord room;
        room.roomName = L"unchanged";
        OptionSettings options;
        ParamList pages;
        int32_t status = 42;
        CString path = L"unchanged";
        EXPECT_FALSE(m.IsOpen());
        EXPECT_FALSE(m.InsertMsgInfo(UserRecord(), ChatFont(), L"x", 1, L"t"));
        EXPECT_FALSE(m.InsertMsgInfoBatch(ChatRecordList{MakeChat(1), MakeChat(2)}));
        EXPECT_TRUE(m.InsertMsgInfoBatch(ChatRecordList())); // nothing to write
        EXPECT_FALSE(m.QueryMsgInfo(1, 0, 99, messages));
        EXPECT_TRUE(messages.empty());
        EXPECT_FALSE(m.QueryRoomInfo(1, room));
        EXPECT_EQ(room.roomName, L"unchanged");
        EXPECT_EQ(m.GetMsgCount(1), 0);
        EXPECT_EQ(m.GetRecordCount(CString(), L"MsgInfo"), 0);
        EXPECT_EQ(m.GetSqlite_db_column_count(L"select 1"), 0);
        EXPECT_EQ(m.GetQuestionTableLastRowId(), 0);
        EXPECT_FALSE(m.GetOptionInfo(options));
        EXPECT_FALSE(m.SavePPTInfo(pages, 1, 1, L"f"));
        EXPECT_FALSE(m.GetPPTStatus(status, L"m", 1, nullptr));
        EXPECT_EQ(status, 42);
        EXPECT_FALSE(m.DeletePPTStatusByRoom(1));
        EXPECT_FALSE(m.GetLVLInfo(L"m", path));
        EXPECT_EQ(path, L"unchanged");
        EXPECT_FALSE(m.ExecuteQuery(L"DELETE FROM MsgInfo"));
    }
}

TEST(DatabaseManager, UnknownTablesAndBadQueriesCountAsFailures)
{
    EXPECT_EQ(CSqliteMgr::GetTableName(11), L"");
    EXPECT_EQ(CSqliteMgr::GetTableName(-1), L"");
    TestDatabase db;
    EXPECT_FALSE(db->CreateTable(eTable_VideoInfo));
    EXPECT_FALSE(db->CreateTable(static_cast<TableId>(42)));
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM sqlite_master WHERE name = 'VideoInfo'"), 0);
    EXPECT_TRUE(db->CreateTable(eTable_MsgInfo)); // present already

    EXPECT_EQ(db->GetRecordCount(CString(), CString()), -1);
    EXPECT_EQ(db->GetRecordCount(L"WHERE no_such_column = 1", L"MsgInfo"), -1);
    EXPECT_EQ(db->GetRecordCount(CString(), L"NoSuchTable"), -1);
    EXPECT_EQ(db->CountRows(eTable_MsgInfo, CString()), 0);
    EXPECT_EQ(db->CountRows(eTable_VideoInfo, CString()), -1);

    EXPECT_EQ(db->GetSqlite_db_column_count(L"select * from MsgInfo"), 18);
    EXPECT_EQ(db->GetSqlite_db_column_count(L"select room_id, msg from MsgInfo where 0"), 2);
    EXPECT_EQ(db->GetSqlite_db_column_count(L"select * from NoSuchTable"), -1);
    EXPECT_EQ(db->GetSqlite_db_column_count(L"not sql at all"), -1);
}

TEST(DatabaseManager, AFailedStatementLeavesNothingOpenBehind)
{
    TestDatabase db;
    // A NOT NULL column left out: the step fails.
    EXPECT_FALSE(db->ExecuteQuery(L"INSERT INTO MsgInfo (room_id) VALUES (1)"));
    EXPECT_FALSE(db->GetLastError().IsEmpty());
    EXPECT_FALSE(db->ExecuteQuery(L"INSERT INTO"));
    // The connection works on, and closes cleanly: the file can then be removed at once.
    EXPECT_TRUE(db->InsertMsgInfo(UserRecord(), ChatFont(), L"after", 1, L"t"));
    db.Close();
    EXPECT_TRUE(DeleteFileW(db.FilePath()));
}

TEST(DatabaseManager, ThePenWordsOfTheSessionAreStoredOnceTheDatabaseIsOpen)
{
    SessionContext session;
    session.SetPenSettings(0xFF112233, 1, 5, 0); // no database yet: memory only
    {
        TestDatabase db;
        session.SetPenSettings(0xFFFF0000, 2, 7, 9);
        PenSetting pen;
        ASSERT_TRUE(db->GetPenInfo(pen));
        EXPECT_EQ(pen.colour, 0xFFFF0000u);
        EXPECT_EQ(pen.style, 2);
        EXPECT_EQ(pen.size, 7);
        session.SetPenSettings(0xFF00FF00, 0, 3, 9);
        ASSERT_TRUE(db->GetPenInfo(pen));
        EXPECT_EQ(pen.colour, 0xFF00FF00u);
        RawDb raw(db.FilePath());
        EXPECT_EQ(raw.Query("SELECT pen_color, pen_size, pen_style FROM PenInfo"), "4278255360|3|0");
    }
    session.SetPenSettings(0xFF000001, 0, 3, 9); // the store left with the database
    EXPECT_EQ(session.penColour, 0xFF000001u);
}

// Writes a database for the Linux-side check of tests/database/shell-check.sh when it asks for one.
TEST(DatabaseFile, WritesAFileForTheShellCheck)
{
    wchar_t target[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"LV_DB_SHELL_CHECK", target, MAX_PATH) == 0) GTEST_SKIP();
    TestDatabase db(77);
    ChatRecord chat = MakeChat(1, 9, L"it's \x4e2d\x6587 100%");
    ASSERT_TRUE(db->InsertMsgInfo(chat.sender, chat.font, chat.msg, chat.roomId, chat.time));
    db.Close();
    ASSERT_TRUE(CopyFileW(db.FilePath(), target, FALSE));
}

TEST(DatabaseFile, AGarbledOrTruncatedFileFailsCleanly)
{
    std::string good;
    {
        TestDatabase db(3);
        ChatRecordList batch;
        for (int i = 0; i < 300; ++i) batch.push_back(MakeChat(i, 7));
        ASSERT_TRUE(db->InsertMsgInfoBatch(batch));
        ASSERT_TRUE(db->SavePPTInfo(ParamList(), 5, 7, L"deck.ppt"));
        db.Close();
        good = ReadFileBytes(db.FilePath());
    }
    ASSERT_GT(good.size(), 8192u);

    std::string garbage(5000, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919u + 13u) & 0xFF);
    std::string flipped = good;
    for (size_t i = 100; i < flipped.size(); i += 97) flipped[i] = static_cast<char>(~flipped[i]);
    // The intact file last: what a sound file answers is what the damaged ones are held to.
    const std::string files[] = {garbage, good.substr(0, 50), good.substr(0, 100), good.substr(0, 1024),
                                 good.substr(0, good.size() / 2), good.substr(0, good.size() - 1), flipped, good};
    int index = 0;
    for (const std::string& bytes : files) {
        SCOPED_TRACE(index++);
        TempFolder folder(L"bad");
        ASSERT_TRUE(EnsureFolder(folder.Path() + L"LocalDB\\3\\"));
        ASSERT_TRUE(WriteFileBytes(folder.Path() + L"LocalDB\\3\\dat_03.db", bytes));
        CSqliteMgr mgr(folder.Path());
        // Truncated files may still open; nothing may crash and every answer must be a plain one.
        bool opened = mgr.Init(3);
        if (&bytes == &files[0]) {
            EXPECT_FALSE(opened) << "not a database at all";
        }
        // A page is read whole or not at all, and agrees with the count when both could be read.
        std::vector<MsgInfoRecord> rows(1);
        bool read = mgr.QueryMsgInfo(7, 0, 99, rows);
        int32_t count = mgr.GetMsgCount(7);
        if (!opened) {
            EXPECT_FALSE(read);
            EXPECT_EQ(-1, count);
        }
        if (!read) {
            EXPECT_TRUE(rows.empty());
        } else if (count >= 0) {
            EXPECT_EQ(std::min<size_t>(100, static_cast<size_t>(count)), rows.size());
        }
        for (const MsgInfoRecord& row : rows) EXPECT_EQ(7, row.roomId);
        if (&bytes == &files[7]) {
            EXPECT_TRUE(read);
            EXPECT_EQ(300, count);
        }
        mgr.InsertMsgInfoBatch(ChatRecordList{MakeChat(1), MakeChat(2)});
        ParamList pages;
        mgr.GetPPTInfo(pages, 5);
        OptionSettings options;
        mgr.GetOptionInfo(options);
        mgr.SaveOptionInfo(options);
        std::map<int32_t, CString> names;
        mgr.GetAllRoomNames(names);
    }
}
