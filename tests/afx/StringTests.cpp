#include "platform/afx/AfxString.h"

#include <gtest/gtest.h>

TEST(CStringFormat, UsesWindowsConversions)
{
    CString s;
    s.Format(L"%s|%S|%I64u|%d|%5.2f|%x|%c", L"wide", "narrow", 18446744073709551615ULL, -42, 3.14159, 0xBEEFu, L'Z');
    EXPECT_STREQ(L"wide|narrow|18446744073709551615|-42| 3.14|beef|Z", s.GetString());
}

TEST(CStringFormat, LongOutputAndAppendFormat)
{
    CString big(L'x', 5000);
    CString s;
    s.Format(L"[%s]", big.GetString());
    EXPECT_EQ(5002, s.GetLength());
    s.AppendFormat(L"%d", 7);
    EXPECT_EQ(L'7', s[s.GetLength() - 1]);
    s.Format(L"");
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringOps, SearchAndSubstrings)
{
    CString s = L"  Hello, World  ";
    EXPECT_EQ(2, s.Find(L'H'));
    EXPECT_EQ(9, s.Find(L"World"));
    EXPECT_EQ(-1, s.Find(L"world"));
    EXPECT_EQ(-1, s.Find(L'H', 100));
    s.Trim();
    EXPECT_STREQ(L"Hello, World", s);
    EXPECT_STREQ(L"Hello", s.Left(5));
    EXPECT_STREQ(L"World", s.Right(5));
    EXPECT_STREQ(L"World", s.Mid(7));
    EXPECT_STREQ(L"lo", s.Mid(3, 2));
    EXPECT_STREQ(L"", s.Mid(50));
    EXPECT_STREQ(L"", s.Left(-1));
    EXPECT_STREQ(s, s.Right(500));
    EXPECT_EQ(0, s.CompareNoCase(L"hello, world"));
    EXPECT_NE(0, s.Compare(L"hello, world"));
    CString lower(s);
    lower.MakeLower();
    EXPECT_STREQ(L"hello, world", lower);
}

TEST(CStringOps, ReplaceRemoveAndConcatenate)
{
    CString s = L"a-b-c";
    EXPECT_EQ(2, s.Replace(L"-", L"--"));
    EXPECT_STREQ(L"a--b--c", s);
    EXPECT_EQ(4, s.Remove(L'-'));
    EXPECT_STREQ(L"abc", s);
    EXPECT_EQ(1, s.Replace(L"abc", L""));
    EXPECT_TRUE(s.IsEmpty());
    CString a = L"x";
    CString b = a + L"y" + CString(L"z") + L'!';
    EXPECT_TRUE(b == L"xyz!");
    EXPECT_TRUE(CString(L"q") == CString(L"q"));
    CString self = L"same";
    self = self;
    EXPECT_STREQ(L"same", self);
}

TEST(CStringBuffer, GetBufferAndRelease)
{
    CString s;
    wchar_t* p = s.GetBuffer(10);
    wcscpy(p, L"abc");
    s.ReleaseBuffer();
    EXPECT_EQ(3, s.GetLength());
    p = s.GetBuffer(3);
    p[1] = L'Z';
    s.ReleaseBuffer(2);
    EXPECT_STREQ(L"aZ", s);
}

TEST(CStringNarrow, AnsiConstructor)
{
    EXPECT_STREQ(L"plain", CString("plain"));
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
}
