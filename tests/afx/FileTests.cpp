#include "platform/afx/AfxFile.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

TEST(CFile, WriteReadSeekAndLength)
{
    TempFolder folder;
    CString path = folder.File(L"data.bin");
    {
        CFile file;
        ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeWrite));
        EXPECT_TRUE(file.Write("hello world", 11));
        EXPECT_EQ(11u, file.GetLength());
    }
    CFile file;
    EXPECT_FALSE(file.Open(folder.File(L"missing.bin"), CFile::modeRead));
    ASSERT_TRUE(file.Open(path, CFile::modeRead | CFile::shareDenyNone));
    char buffer[16] = {};
    EXPECT_EQ(6u, file.Seek(6, CFile::begin));
    EXPECT_EQ(5u, file.Read(buffer, sizeof buffer));
    EXPECT_STREQ("world", buffer);
    EXPECT_EQ(0u, file.Read(buffer, sizeof buffer));
    file.Close();
    ASSERT_TRUE(file.Open(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite));
    EXPECT_EQ(11u, file.GetLength());
    EXPECT_TRUE(file.SetLength(5));
    EXPECT_EQ(5u, file.GetLength());
}

TEST(CStringList, OrderPositionsAndRemoval)
{
    CStringList list;
    list.AddTail(L"b");
    list.AddHead(L"a");
    POSITION c = list.AddTail(L"c");
    EXPECT_EQ(3, list.GetCount());
    CString joined;
    for (POSITION p = list.GetHeadPosition(); p;) joined += list.GetNext(p);
    EXPECT_STREQ(L"abc", joined);
    EXPECT_EQ(c, list.Find(L"c"));
    EXPECT_EQ(nullptr, list.Find(L"zz"));
    list.RemoveAt(list.Find(L"b"));
    EXPECT_STREQ(L"a", list.RemoveHead());
    EXPECT_STREQ(L"c", list.GetHead());
    CStringList copy(list);
    list.RemoveAll();
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(1, copy.GetCount());
    EXPECT_EQ(nullptr, copy.FindIndex(1));
}
