// Slide documents, their transfer states and converted packages.
#include "tests/database/DbTestSupport.h"

#include <gtest/gtest.h>

namespace {

ParamList Pages(int count, const wchar_t* prefix = L"C:\\cache\\page")
{
    ParamList pages;
    pages.pageCount = static_cast<uint16_t>(count);
    pages.currentPage = static_cast<uint16_t>(count / 2);
    for (int i = 0; i < count; ++i) {
        CString path;
        path.Format(L"%s%d.jpg", prefix, i);
        pages.values.push_back(path);
    }
    return pages;
}

} // namespace

TEST(SlideDocuments, SavingAgainReplacesThePageRowsExactlyWhateverTheNamesHold)
{
    TestDatabase db;
    ASSERT_TRUE(db->SavePPTInfo(Pages(10), 42, 3, L"deck.pptx"));
    ParamList shorter = Pages(8, L"C:\\Users\\O'Neil\\\x8bfe\x4ef6 ");
    shorter.currentPage = 5;
    ASSERT_TRUE(db->SavePPTInfo(shorter, 42, 4, L"Teacher's \"best\" deck'); DELETE FROM PPTInfo; --.pptx"));

    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT room_id, file_name, cur_page, total_page FROM PPTInfo"),
              "4|Teacher's \"best\" deck'); DELETE FROM PPTInfo; --.pptx|5|8");
    EXPECT_EQ(raw.Query("SELECT COUNT(*), MIN(page_index), MAX(page_index) FROM PPTPageInfo"), "8|0|7");

    ParamList read;
    read.values = {L"stale"};
    ASSERT_TRUE(db->GetPPTInfo(read, 42));
    EXPECT_EQ(read.pageCount, 8);
    EXPECT_EQ(read.currentPage, 5);
    ASSERT_EQ(read.values.size(), 8u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(read.values[i], shorter.values[i]);
}

TEST(SlideDocuments, ADocumentWithoutPageRowsIsNotComplete)
{
    TestDatabase db;
    ParamList read;
    EXPECT_FALSE(db->GetPPTInfo(read, 1)); // unknown
    ParamList none;
    none.pageCount = 4;
    none.currentPage = 1;
    ASSERT_TRUE(db->SavePPTInfo(none, 1, 3, L"empty.ppt"));
    EXPECT_FALSE(db->GetPPTInfo(read, 1));
    EXPECT_EQ(read.pageCount, 4); // read before the page rows were found missing
    EXPECT_EQ(read.currentPage, 1);
}

TEST(SlideDocuments, AFailedSaveLeavesTheDocumentAsItWas)
{
    TestDatabase db;
    ASSERT_TRUE(db->SavePPTInfo(Pages(4), 9, 1, L"kept.ppt"));
    {
        RawDb raw(db.FilePath());
        ASSERT_TRUE(raw.Exec("CREATE TRIGGER refuse BEFORE INSERT ON PPTPageInfo WHEN NEW.page_index = 5 "
                             "BEGIN SELECT RAISE(FAIL, 'refused page'); END;"));
    }
    EXPECT_FALSE(db->SavePPTInfo(Pages(7), 9, 2, L"lost.ppt"));
    ParamList read;
    ASSERT_TRUE(db->GetPPTInfo(read, 9));
    EXPECT_EQ(read.pageCount, 4);
    EXPECT_EQ(read.values, Pages(4).values);
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT room_id, file_name FROM PPTInfo"), "1|kept.ppt");
    // No transaction is left open: later writes land.
    EXPECT_TRUE(db->InsertMsgInfo(UserRecord(), ChatFont(), L"after", 1, L"t"));
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM MsgInfo"), 1);
}

TEST(SlideDocuments, DocumentIdsOfEveryRangeAreFoundAgainExactly)
{
    const uint64_t ids[] = {0, 1, 0x7FFFFFFFFFFFFFFFull, 0x8000000000000000ull, 0x8000000000000005ull,
                            0xFFFFFFFFFFFFFFFFull};
    TestDatabase db;
    for (uint64_t id : ids) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(db->SavePPTInfo(Pages(2), id, 1, L"f.ppt"));
        CString md5;
        md5.Format(L"md5-%I64u", id);
        ASSERT_TRUE(db->SavePPTStatus(ePPT_Finished, md5, 1, id));
    }
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTInfo"), 6); // no two ids collapsed into one
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTInfo WHERE typeof(file_id) <> 'integer'"), 0);
    EXPECT_EQ(raw.Query("SELECT file_id FROM PPTStatus WHERE file_md5 = 'md5-18446744073709551615'"),
              "18446744073709551615");
    for (uint64_t id : ids) {
        SCOPED_TRACE(id);
        ParamList read;
        ASSERT_TRUE(db->GetPPTInfo(read, id));
        EXPECT_EQ(read.values.size(), 2u);
        CString md5;
        md5.Format(L"md5-%I64u", id);
        int32_t status = -1;
        uint64_t readId = 12345;
        ASSERT_TRUE(db->GetPPTStatus(status, md5, 1, &readId));
        EXPECT_EQ(readId, id);
        EXPECT_EQ(status, 0);
    }
    ASSERT_TRUE(db->DeletePPTStatusByFileId(0x8000000000000005ull));
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus"), 5);
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus WHERE file_id = '9223372036854775813'"), 0);
}

TEST(TransferStates, SaveSetReadAndDelete)
{
    TestDatabase db;
    const CString md5 = L"d41d8cd98f00b204e9800998ecf8427e";
    RawDb raw(db.FilePath());

    EXPECT_FALSE(db->SavePPTStatus(4, md5, 1, 0));
    EXPECT_FALSE(db->SavePPTStatus(-1, md5, 1, 0));
    EXPECT_FALSE(db->SavePPTStatus(ePPT_Picked, L"", 1, 0));
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus"), 0);

    int32_t status = 77;
    EXPECT_FALSE(db->GetPPTStatus(status, md5, 1, nullptr));
    EXPECT_EQ(status, 77);
    EXPECT_FALSE(db->SetPPTStatus(ePPT_Uploading, md5, 1)); // no row: the caller saves instead
    EXPECT_FALSE(db->SetPPTStatusFileId(5, md5, 1));
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus"), 0);

    ASSERT_TRUE(db->SavePPTStatus(ePPT_Picked, md5, 1, 0));
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Downloading, md5, 2, 0)); // the same file in another room
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus"), 2);
    ASSERT_TRUE(db->SetPPTStatus(ePPT_Uploading, md5, 1));
    ASSERT_TRUE(db->SetPPTStatusFileId(123456789012ull, md5, 1));
    uint64_t id = 0;
    ASSERT_TRUE(db->GetPPTStatus(status, md5, 1, &id));
    EXPECT_EQ(status, ePPT_Uploading);
    EXPECT_EQ(id, 123456789012ull);
    ASSERT_TRUE(db->GetPPTStatus(status, md5, 2, nullptr));
    EXPECT_EQ(status, ePPT_Downloading);

    ASSERT_TRUE(db->SavePPTStatus(ePPT_Finished, md5, 1, 99)); // an existing row is updated
    EXPECT_EQ(raw.Query("SELECT room_id, file_id, file_status FROM PPTStatus ORDER BY room_id"), "1|99|0\n2|0|3");

    ASSERT_TRUE(db->DeletePPTStatus(md5, 2));
    EXPECT_FALSE(db->DeletePPTStatus(L"", 1));
    EXPECT_EQ(raw.Number("SELECT COUNT(*) FROM PPTStatus"), 1);
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Picked, L"other", 1, 0));
    ASSERT_TRUE(db->SavePPTStatus(ePPT_Picked, L"other", 3, 0));
    ASSERT_TRUE(db->DeletePPTStatusByRoom(1));
    EXPECT_EQ(raw.Query("SELECT file_md5, room_id FROM PPTStatus"), "other|3");
}

TEST(Packages, OneRowPerFileAndTheLookupMovesItsTime)
{
    TestDatabase db;
    const CString md5 = L"00112233445566778899aabbccddeeff";
    CString path = L"unchanged";
    EXPECT_FALSE(db->GetLVLInfo(md5, path));
    EXPECT_FALSE(db->GetLVLInfo(L"", path));
    EXPECT_FALSE(db->SaveLVLInfo(L"", L"x"));
    EXPECT_EQ(path, L"unchanged");

    ASSERT_TRUE(db->SaveLVLInfo(md5, L"C:\\lvl\\a.lvl"));
    ASSERT_TRUE(db->SaveLVLInfo(md5, L"C:\\lvl\\it's.lvl"));
    RawDb raw(db.FilePath());
    EXPECT_EQ(raw.Query("SELECT COUNT(*), file_path FROM LVLInfo"), "1|C:\\lvl\\it's.lvl");
    ASSERT_TRUE(raw.Exec("UPDATE LVLInfo SET file_time = '2000-01-01 00:00:00'"));

    ASSERT_TRUE(db->GetLVLInfo(md5, path));
    EXPECT_EQ(path, L"C:\\lvl\\it's.lvl");
    // Now plus eight hours, as SQLite's clock tells it.
    long long drift = raw.Number("SELECT abs(strftime('%s', file_time) - strftime('%s', datetime('now', '+8 hour'))) "
                                 "FROM LVLInfo");
    EXPECT_LE(drift, 60);
    EXPECT_GE(drift, 0);
}
