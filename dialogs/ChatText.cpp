#include "dialogs/ChatText.h"

#include <cstdio>
#include <cwchar>

namespace {
CString ReplaceAll(CString text, const wchar_t* from, const wchar_t* to)
{
    std::wstring s = text.str();
    size_t width = wcslen(from);
    for (size_t at = s.find(from); at != std::wstring::npos; at = s.find(from, at + wcslen(to))) s.replace(at, width, to);
    return CString(s);
}
} // namespace

std::vector<ChatTextPiece> SplitChatText(const CString& text, const EmotionLookup& lookup)
{
    std::vector<ChatTextPiece> pieces;
    CString rest = text;
    while (!rest.IsEmpty()) {
        int close = rest.Find(L']');
        CString candidate = close < 0 ? rest : rest.Left(close + 1);
        int open = candidate.Find(L'[');
        ChatTextPiece piece;
        if (close >= 0 && open >= 0) {
            // Two opening brackets before one closing bracket: the token starts at the second.
            int tokenStart = candidate.Left(close).ReverseFind(L'[');
            CString token = candidate.Mid(tokenStart);
            int slash = token.Find(L'\\');
            CString key = slash > 0 ? token.Mid(slash, token.GetLength() - 1 - slash) : token;
            piece.plain = candidate.Left(tokenStart);
            piece.hasToken = true;
            CString trimmed = key;
            trimmed.Trim();
            if (!trimmed.IsEmpty() && lookup) piece.imagePath = lookup(trimmed);
            if (piece.imagePath.IsEmpty()) piece.plain += token;
        } else {
            piece.plain = candidate;
        }
        piece.plain = ReplaceAll(piece.plain, L"/[", L"[");
        pieces.push_back(piece);
        rest = rest.Mid(candidate.GetLength());
    }
    return pieces;
}

CString ClockOfTimeText(const CString& timeText)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (swscanf(timeText.GetString(), L"%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second) != 6)
        return timeText;
    CString clock;
    clock.Format(L"%02d:%02d:%02d", hour, minute, second);
    return clock;
}

CString DateOfStartTime(const CString& startTime)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (swscanf(startTime.GetString(), L"%4d%2d%2d%2d%2d%2d", &year, &month, &day, &hour, &minute, &second) < 3)
        return CString();
    CString date;
    date.Format(L"%04d-%02d-%02d", year, month, day);
    return date;
}
