#include "dialogs/ChatText.h"

#include <cstdio>
#include <cwchar>
#include <string>
#include <windows.h>

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
    // Read from a moving start: copying the rest after every piece would cost the square of the length.
    for (int at = 0; at < text.GetLength();) {
        int closeAt = text.Find(L']', at);
        CString candidate = closeAt < 0 ? text.Mid(at) : text.Mid(at, closeAt + 1 - at);
        int close = closeAt < 0 ? -1 : closeAt - at;
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
        at += candidate.GetLength();
    }
    return pieces;
}

CString WithSoftBreaks(const CString& text, int& run)
{
    std::wstring out;
    out.reserve(static_cast<size_t>(text.GetLength()) + static_cast<size_t>(text.GetLength()) / kSoftBreakRun + 1);
    // The current stretch's characters not yet taken into out, and where its last blank is in it.
    std::wstring stretch;
    int lastBlank = -1;
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text[i];
        stretch += c;
        if (c == L'\r' || c == L'\n' || c == L'\v') {
            out += stretch;
            stretch.clear();
            lastBlank = -1;
            run = 0;
            continue;
        }
        if (c == L' ' || c == L'\t') lastBlank = static_cast<int>(stretch.size()) - 1;
        if (++run < kSoftBreakRun) continue;
        // Never between the two halves of a surrogate pair.
        size_t cut = lastBlank >= 0 ? static_cast<size_t>(lastBlank) + 1 : stretch.size();
        if (lastBlank < 0 && IS_HIGH_SURROGATE(c)) --cut;
        out.append(stretch, 0, cut);
        out += L'\v';
        stretch.erase(0, cut);
        lastBlank = -1;
        run = static_cast<int>(stretch.size());
    }
    out += stretch;
    return CString(out);
}

void ChatBodyWriter::Flush()
{
    if (m_pending.IsEmpty()) return;
    CString text = WithSoftBreaks(m_pending, m_run);
    m_pending.Empty();
    m_write(text);
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
