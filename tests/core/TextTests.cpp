#include "core/TextUtil.h"

#include <gtest/gtest.h>
#include <cstring>

TEST(Utf8, RoundTripsEveryPlane)
{
    // ASCII, Latin, CJK, and a surrogate pair (U+1F600) must survive both directions.
    const wchar_t text[] = L"a\u00e9\u4e2d\U0001F600z";
    std::string utf8 = Utf16ToUtf8(text);
    EXPECT_EQ(std::string("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z"), utf8);
    EXPECT_STREQ(text, Utf8ToWString(utf8));
    EXPECT_EQ(6, Utf8ToWString(utf8).GetLength()); // the emoji is two UTF-16 units
}

TEST(Utf8, EmptyNullEmbeddedZeroAndInvalidInput)
{
    EXPECT_EQ("", Utf16ToUtf8(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ("", Utf16ToUtf8(L""));
    EXPECT_TRUE(Utf8ToWString(static_cast<const char*>(nullptr)).IsEmpty());
    // The conversion stops at a zero byte inside the text, as wire strings require.
    EXPECT_STREQ(L"ab", Utf8ToWString("ab\0cd", 5));
    // Bad bytes and a lonely surrogate become replacements; the text around them stays.
    const char bad[] = "x\xFF\xC3y\xED\xA0\x80";
    CString wide = Utf8ToWString(bad, sizeof bad - 1);
    ASSERT_FALSE(wide.IsEmpty());
    EXPECT_EQ(L'x', wide[0]);
    EXPECT_NE(-1, wide.Find(L'y'));
    EXPECT_NE(-1, wide.Find(static_cast<wchar_t>(0xFFFD)));
    const wchar_t lonely[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
    std::string utf8 = Utf16ToUtf8(lonely);
    EXPECT_EQ('a', utf8.front());
    EXPECT_EQ('b', utf8.back());
}

TEST(Utf8, WideBufferIsOwnedByCaller)
{
    wchar_t* buffer = Utf8ToWideBuffer("\xE4\xB8\xAD!");
    ASSERT_NE(nullptr, buffer);
    EXPECT_STREQ(L"\u4e2d!", buffer);
    FreeWideBuffer(buffer);
    buffer = Utf8ToWideBuffer(nullptr);
    EXPECT_STREQ(L"", buffer);
    FreeWideBuffer(buffer);
}

TEST(StripNewlines, RemovesLineFeedsAndZeroFillsTail)
{
    char text[] = "ab\ncd\n\nef";
    EXPECT_EQ(6u, StripNewlines(text));
    EXPECT_STREQ("abcdef", text);
    EXPECT_EQ(0, memcmp(text + 6, "\0\0\0\0", 4));
    EXPECT_EQ(0u, StripNewlines(nullptr));
}

TEST(IntToString, Decimal)
{
    EXPECT_STREQ(L"-2147483648", IntToString(-2147483647 - 1));
    EXPECT_STREQ(L"0", IntToString(0));
}
