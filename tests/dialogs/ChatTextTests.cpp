// Emotion tokens in chat text, and the time texts of stored messages and rooms.
#include "dialogs/ChatText.h"

#include <gtest/gtest.h>

namespace {
// Knows "\smile" and "\cry" only.
CString Lookup(const CString& key)
{
    if (key == L"\\smile") return L"C:\\skin\\emotion\\smile.gif";
    if (key == L"\\cry") return L"C:\\skin\\emotion\\cry.gif";
    return CString();
}

std::string Describe(const std::vector<ChatTextPiece>& pieces)
{
    std::string out;
    for (const ChatTextPiece& p : pieces) {
        std::wstring plain = p.plain.str();
        out += "<" + std::string(plain.begin(), plain.end()) + ">";
        if (!p.imagePath.IsEmpty()) out += p.imagePath.Find(L"smile") >= 0 ? "{smile}" : "{cry}";
    }
    return out;
}
} // namespace

TEST(ChatText, TokensBecomeImagesOnlyWhenTheyNameAnEmotion)
{
    struct Case {
        const wchar_t* text;
        const char* expected;
    } cases[] = {
        {L"plain words", "<plain words>"},
        {L"hi [\\smile] there", "<hi >{smile}< there>"},
        {L"[\\smile][\\cry]", "<>{smile}<>{cry}"},
        {L"[\\frown] no", "<[\\frown]>< no>"},
        {L"a [word] b", "<a [word]>< b>"},
        // A slash escapes a bracket; the bracketed word then stays text.
        {L"/[smile] x", "<[smile]>< x>"},
        // A token that names an emotion is an image even after a slash, which then stays text.
        {L"/[\\smile]", "</>{smile}"},
        // Two opening brackets before one closing bracket: the token starts at the second.
        {L"[[\\smile]", "<[>{smile}"},
        // Blanks inside the token around the key are trimmed for the lookup.
        {L"[ \\smile ]", "<>{smile}"},
        {L"closing] only", "<closing]>< only>"},
        {L"open [ only", "<open [ only>"},
        {L"[]", "<[]>"},
        {L"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Describe(SplitChatText(c.text, Lookup))) << CString(c.text).GetString();
}

TEST(ChatText, WithoutAPickerEveryTokenIsText)
{
    EXPECT_EQ("<hi [\\smile]>< there>", Describe(SplitChatText(L"hi [\\smile] there", EmotionLookup())));
    std::vector<ChatTextPiece> pieces = SplitChatText(L"[\\smile]", EmotionLookup());
    ASSERT_EQ(1u, pieces.size());
    EXPECT_TRUE(pieces[0].hasToken);
}

// A break after the last blank of each stretch that grows past the bound, or at the bound without a
// blank (never inside a surrogate pair); line breaks end a stretch; pieces written in turn count as one.
TEST(ChatText, LongStretchesGetSoftBreaks)
{
    const int n = kSoftBreakRun;
    const CString x(L'x', n);
    struct Case {
        CString text;
        CString expected;
    } cases[] = {
        {CString(L'x', n - 1), CString(L'x', n - 1)},
        {x, x + L"\v"},
        {x + x + L"y", x + L"\v" + x + L"\v" + L"y"},
        {L"ab " + x, L"ab \v" + x + L"\v"},
        {CString(L'x', n - 1) + L"\r" + CString(L'x', n - 1), CString(L'x', n - 1) + L"\r" + CString(L'x', n - 1)},
        {CString(L'x', n - 1) + L"\xD83D\xDE00", CString(L'x', n - 1) + L"\v\xD83D\xDE00"},
    };
    for (const Case& c : cases) {
        int run = 0;
        EXPECT_TRUE(WithSoftBreaks(c.text, run) == c.expected) << c.text.GetLength();
    }
    int run = 0;
    EXPECT_TRUE(WithSoftBreaks(CString(L'x', n - 10), run) == CString(L'x', n - 10));
    EXPECT_EQ(run, n - 10);
    EXPECT_TRUE(WithSoftBreaks(CString(L'y', 20), run) == CString(L'y', 10) + L"\v" + CString(L'y', 10));
    EXPECT_EQ(run, 10);
}

TEST(ChatText, TimeTexts)
{
    EXPECT_EQ(CString(L"09:05:07"), ClockOfTimeText(L"2014-11-29 9:5:7"));
    EXPECT_EQ(CString(L"23:59:59"), ClockOfTimeText(L"2014-12-31 23:59:59"));
    EXPECT_EQ(CString(L"garbled"), ClockOfTimeText(L"garbled"));
    EXPECT_EQ(CString(L"2014-11-29"), DateOfStartTime(L"20141129093000"));
    EXPECT_EQ(CString(L"2014-01-02"), DateOfStartTime(L"20140102"));
    EXPECT_EQ(CString(), DateOfStartTime(L""));
    EXPECT_EQ(CString(), DateOfStartTime(L"abc"));
}
