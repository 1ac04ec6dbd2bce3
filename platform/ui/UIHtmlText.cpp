// Text with inline markup, as labels, buttons and list items with "showhtml" draw it. Tags are written
// in <> or {}: b, i, u, s (bold, italic, underline, strike-out, each closed by its /-form), c #colour,
// f font-index, a target (a link: link colour, underlined), n (line break), p (paragraph break) and
// x pixels (horizontal space). Unknown tags are dropped; an unclosed or over-long tag is plain text.
#include "platform/ui/UIRender.h"

#include "platform/ui/UIManager.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Tags are short; anything longer is text that happens to hold a bracket.
const size_t kMaxTagLength = 64;
// Deeper nesting is ignored rather than grown without bound.
const size_t kMaxStyleDepth = 32;

struct Style {
    int font = -1;
    bool bold = false, italic = false, underline = false, strike = false;
    DWORD color = 0;
    int link = -1;
    bool operator==(const Style& o) const
    {
        return font == o.font && bold == o.bold && italic == o.italic && underline == o.underline &&
               strike == o.strike && color == o.color && link == o.link;
    }
};

enum class PieceKind { Text, Break, Paragraph, Space };

struct Piece {
    PieceKind kind = PieceKind::Text;
    std::wstring text;
    Style style;
    int space = 0;
};

// Fonts made for one call: the manager's font with the run's weight and decorations.
class FontSet {
public:
    FontSet(HDC dc, CPaintManagerUI* pm) : m_dc(dc), m_pm(pm) {}
    ~FontSet()
    {
        for (Entry& e : m_entries) DeleteObject(e.font);
    }
    FontSet(const FontSet&) = delete;
    FontSet& operator=(const FontSet&) = delete;

    HFONT Get(const Style& s, TEXTMETRICW* tm)
    {
        for (Entry& e : m_entries) {
            if (SameFont(e.style, s)) {
                if (tm) *tm = e.tm;
                return e.font;
            }
        }
        LOGFONTW lf{};
        GetObjectW(m_pm->GetFont(s.font), sizeof(lf), &lf);
        if (s.bold) lf.lfWeight = FW_BOLD;
        if (s.italic) lf.lfItalic = TRUE;
        if (s.underline || s.link >= 0) lf.lfUnderline = TRUE;
        if (s.strike) lf.lfStrikeOut = TRUE;
        Entry e{s, CreateFontIndirectW(&lf), {}};
        if (!e.font) e.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        HGDIOBJ old = SelectObject(m_dc, e.font);
        GetTextMetricsW(m_dc, &e.tm);
        SelectObject(m_dc, old);
        m_entries.push_back(e);
        if (tm) *tm = e.tm;
        return e.font;
    }

private:
    struct Entry {
        Style style;
        HFONT font;
        TEXTMETRICW tm;
    };
    static bool SameFont(const Style& a, const Style& b)
    {
        return a.font == b.font && a.bold == b.bold && a.italic == b.italic && a.strike == b.strike &&
               (a.underline || a.link >= 0) == (b.underline || b.link >= 0);
    }
    HDC m_dc;
    CPaintManagerUI* m_pm;
    std::vector<Entry> m_entries;
};

DWORD ParseHtmlColor(const std::wstring& value, DWORD fallback)
{
    size_t at = value.find_first_not_of(L" #");
    if (at == std::wstring::npos) return fallback;
    wchar_t* end = nullptr;
    unsigned long v = wcstoul(value.c_str() + at, &end, 16);
    size_t digits = static_cast<size_t>(end - (value.c_str() + at));
    if (digits == 0) return fallback;
    // Six digits give an opaque colour.
    return digits <= 6 ? (0xFF000000 | v) : static_cast<DWORD>(v);
}

class MarkupParser {
public:
    MarkupParser(const wchar_t* text, const Style& base, std::vector<CDuiString>* targets)
        : m_text(text), m_targets(targets)
    {
        m_stack.push_back(base);
    }

    std::vector<Piece> Parse()
    {
        std::wstring run;
        for (const wchar_t* p = m_text; *p; ++p) {
            if (*p == L'<' || *p == L'{') {
                wchar_t close = *p == L'<' ? L'>' : L'}';
                const wchar_t* end = p + 1;
                while (*end && *end != close && static_cast<size_t>(end - p) <= kMaxTagLength) ++end;
                if (*end == close) {
                    Flush(run);
                    ApplyTag(std::wstring(p + 1, end));
                    p = end;
                    continue;
                }
            }
            run += *p;
        }
        Flush(run);
        return std::move(m_pieces);
    }

private:
    void Flush(std::wstring& run)
    {
        if (run.empty()) return;
        Piece piece;
        piece.text.swap(run);
        piece.style = m_stack.back();
        m_pieces.push_back(std::move(piece));
    }

    void Push(const Style& s)
    {
        if (m_stack.size() < kMaxStyleDepth) m_stack.push_back(s);
        else ++m_dropped;
    }

    void Pop()
    {
        if (m_dropped > 0) --m_dropped;
        else if (m_stack.size() > 1) m_stack.pop_back();
    }

    void ApplyTag(const std::wstring& tag)
    {
        size_t nameEnd = tag.find(L' ');
        std::wstring name = tag.substr(0, nameEnd);
        std::wstring arg = nameEnd == std::wstring::npos ? std::wstring() : tag.substr(nameEnd + 1);
        arg.erase(0, arg.find_first_not_of(L' '));
        Style s = m_stack.back();
        if (name == L"n") m_pieces.push_back(Piece{PieceKind::Break, {}, s, 0});
        else if (name == L"p") m_pieces.push_back(Piece{PieceKind::Paragraph, {}, s, 0});
        else if (name == L"x") m_pieces.push_back(Piece{PieceKind::Space, {}, s, std::clamp(_wtoi(arg.c_str()), 0, 4096)});
        else if (name == L"b") s.bold = true, Push(s);
        else if (name == L"i") s.italic = true, Push(s);
        else if (name == L"u") s.underline = true, Push(s);
        else if (name == L"s") s.strike = true, Push(s);
        else if (name == L"c") s.color = ParseHtmlColor(arg, s.color), Push(s);
        else if (name == L"f") s.font = _wtoi(arg.c_str()), Push(s);
        else if (name == L"a") {
            s.link = m_targets ? static_cast<int>(m_targets->size()) : 0;
            if (m_targets) m_targets->push_back(CDuiString(arg.c_str()));
            Push(s);
        } else if (name.size() > 1 && name[0] == L'/') Pop();
    }

    const wchar_t* m_text;
    std::vector<CDuiString>* m_targets;
    std::vector<Style> m_stack;
    size_t m_dropped = 0;
    std::vector<Piece> m_pieces;
};

// One laid-out fragment: a piece of text (or space) at x on a line.
struct Fragment {
    std::wstring text;
    Style style;
    int x = 0, width = 0;
};

struct Line {
    std::vector<Fragment> fragments;
    int width = 0, ascent = 0, height = 0, gapAfter = 0;
};

class Layout {
public:
    Layout(HDC dc, FontSet& fonts, int maxWidth, UINT style) : m_dc(dc), m_fonts(fonts), m_maxWidth(maxWidth), m_style(style)
    {
        m_lines.emplace_back();
    }

    void Add(const Piece& piece)
    {
        TEXTMETRICW tm{};
        m_fonts.Get(piece.style, &tm);
        switch (piece.kind) {
        case PieceKind::Break: NewLine(tm, 0); return;
        case PieceKind::Paragraph: NewLine(tm, tm.tmHeight / 2); return;
        case PieceKind::Space: AddSpace(piece.style, piece.space, tm); return;
        case PieceKind::Text: AddText(piece, tm); return;
        }
    }

    std::vector<Line>& Finish(const TEXTMETRICW& baseTm)
    {
        for (Line& line : m_lines) {
            if (line.height == 0) {
                line.height = baseTm.tmHeight;
                line.ascent = baseTm.tmAscent;
            }
        }
        return m_lines;
    }

private:
    bool SingleLine() const { return (m_style & DT_SINGLELINE) != 0; }
    bool Wraps() const { return !SingleLine() && (m_style & DT_WORDBREAK) != 0 && m_maxWidth > 0; }

    void Grow(Line& line, const TEXTMETRICW& tm)
    {
        line.ascent = std::max<int>(line.ascent, tm.tmAscent);
        line.height = std::max<int>(line.height, tm.tmHeight);
    }

    void NewLine(const TEXTMETRICW& tm, int gap)
    {
        if (SingleLine()) return;
        Grow(m_lines.back(), tm);
        m_lines.back().gapAfter = gap;
        m_lines.emplace_back();
    }

    void AddSpace(const Style& s, int width, const TEXTMETRICW& tm)
    {
        Line& line = m_lines.back();
        line.fragments.push_back(Fragment{std::wstring(), s, line.width, width});
        line.width += width;
        Grow(line, tm);
    }

    int Measure(const Style& s, const wchar_t* text, int count)
    {
        HGDIOBJ old = SelectObject(m_dc, m_fonts.Get(s, nullptr));
        SIZE size{0, 0};
        GetTextExtentPoint32W(m_dc, text, count, &size);
        SelectObject(m_dc, old);
        return size.cx;
    }

    // How many characters of text fit in width (at least one when the line is empty).
    int Fit(const Style& s, const std::wstring& text, int width, bool lineEmpty)
    {
        HGDIOBJ old = SelectObject(m_dc, m_fonts.Get(s, nullptr));
        int fit = 0;
        SIZE size{0, 0};
        GetTextExtentExPointW(m_dc, text.c_str(), static_cast<int>(text.size()), std::max(width, 0), &fit, nullptr, &size);
        SelectObject(m_dc, old);
        if (fit < static_cast<int>(text.size())) {
            // Prefer the last blank inside the part that fits.
            size_t blank = text.rfind(L' ', static_cast<size_t>(fit));
            if (blank != std::wstring::npos && blank > 0 && static_cast<int>(blank) <= fit) fit = static_cast<int>(blank) + 1;
            else if (!lineEmpty) fit = 0;
        }
        if (fit == 0 && lineEmpty) fit = 1;
        return fit;
    }

    void AddText(const Piece& piece, const TEXTMETRICW& tm)
    {
        std::wstring rest = piece.text;
        while (!rest.empty()) {
            Line& line = m_lines.back();
            int take = static_cast<int>(rest.size());
            if (Wraps()) take = Fit(piece.style, rest, m_maxWidth - line.width, line.fragments.empty());
            if (take == 0) {
                NewLine(tm, 0);
                continue;
            }
            std::wstring part = rest.substr(0, static_cast<size_t>(take));
            rest.erase(0, static_cast<size_t>(take));
            int width = Measure(piece.style, part.c_str(), static_cast<int>(part.size()));
            line.fragments.push_back(Fragment{part, piece.style, line.width, width});
            line.width += width;
            Grow(line, tm);
            if (!rest.empty()) NewLine(tm, 0);
        }
    }

    HDC m_dc;
    FontSet& m_fonts;
    int m_maxWidth;
    UINT m_style;
    std::vector<Line> m_lines;
};

// Cuts the single line at the right edge and ends it with "...".
void AddEllipsis(HDC dc, FontSet& fonts, Line& line, int maxWidth)
{
    if (line.width <= maxWidth || line.fragments.empty()) return;
    const wchar_t dots[] = L"...";
    Style last = line.fragments.back().style;
    HGDIOBJ old = SelectObject(dc, fonts.Get(last, nullptr));
    SIZE dotSize{0, 0};
    GetTextExtentPoint32W(dc, dots, 3, &dotSize);
    int room = maxWidth - dotSize.cx;
    std::vector<Fragment> kept;
    for (Fragment& f : line.fragments) {
        if (f.x + f.width <= room) {
            kept.push_back(f);
            continue;
        }
        if (!f.text.empty() && f.x < room) {
            SelectObject(dc, fonts.Get(f.style, nullptr));
            int fit = 0;
            SIZE size{0, 0};
            GetTextExtentExPointW(dc, f.text.c_str(), static_cast<int>(f.text.size()), room - f.x, &fit, nullptr, &size);
            if (fit > 0) {
                GetTextExtentPoint32W(dc, f.text.c_str(), fit, &size);
                kept.push_back(Fragment{f.text.substr(0, static_cast<size_t>(fit)), f.style, f.x, size.cx});
                last = f.style;
            }
        }
        break;
    }
    SelectObject(dc, old);
    int x = kept.empty() ? 0 : kept.back().x + kept.back().width;
    kept.push_back(Fragment{dots, last, x, dotSize.cx});
    line.fragments.swap(kept);
    line.width = x + dotSize.cx;
}

COLORREF ToColorRef(DWORD argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

} // namespace

void CRenderEngine::DrawHtmlText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const wchar_t* pstrText,
                                 DWORD dwTextColor, int iFont, UINT uStyle, std::vector<THtmlLink>* pLinks)
{
    if (pLinks) pLinks->clear();
    if (!hDC || !pManager || !pstrText) return;
    Style base;
    base.font = iFont;
    base.color = dwTextColor;
    std::vector<CDuiString> targets;
    std::vector<Piece> pieces = MarkupParser(pstrText, base, &targets).Parse();

    FontSet fonts(hDC, pManager);
    TEXTMETRICW baseTm{};
    fonts.Get(base, &baseTm);
    int width = rc.right - rc.left;
    Layout layout(hDC, fonts, width, uStyle);
    for (const Piece& piece : pieces) layout.Add(piece);
    std::vector<Line>& lines = layout.Finish(baseTm);
    if ((uStyle & DT_SINGLELINE) && (uStyle & DT_END_ELLIPSIS) && !(uStyle & DT_CALCRECT))
        AddEllipsis(hDC, fonts, lines.front(), width);

    int total = 0, widest = 0;
    for (const Line& line : lines) {
        total += line.height + line.gapAfter;
        widest = std::max(widest, line.width);
    }
    if (!lines.empty()) total -= lines.back().gapAfter;
    if (uStyle & DT_CALCRECT) {
        rc.right = rc.left + widest;
        rc.bottom = rc.top + total;
        return;
    }

    int y = rc.top;
    if (uStyle & DT_VCENTER) y = rc.top + (rc.bottom - rc.top - total) / 2;
    else if (uStyle & DT_BOTTOM) y = rc.bottom - total;
    int saved = SaveDC(hDC);
    IntersectClipRect(hDC, rc.left, rc.top, rc.right, rc.bottom);
    SetBkMode(hDC, TRANSPARENT);
    for (const Line& line : lines) {
        int x = rc.left;
        if (uStyle & DT_CENTER) x = rc.left + (width - line.width) / 2;
        else if (uStyle & DT_RIGHT) x = rc.right - line.width;
        for (const Fragment& f : line.fragments) {
            TEXTMETRICW tm{};
            HFONT font = fonts.Get(f.style, &tm);
            int top = y + line.ascent - tm.tmAscent;
            if (!f.text.empty()) {
                SelectObject(hDC, font);
                DWORD colour = f.style.link >= 0 && f.style.color == dwTextColor ? pManager->GetDefaultLinkFontColor()
                                                                               : f.style.color;
                SetTextColor(hDC, ToColorRef(colour));
                TextOutW(hDC, x + f.x, top, f.text.c_str(), static_cast<int>(f.text.size()));
            }
            if (pLinks && f.style.link >= 0 && static_cast<size_t>(f.style.link) < targets.size()) {
                RECT part{x + f.x, y, x + f.x + f.width, y + line.height};
                pLinks->push_back(THtmlLink{part, targets[static_cast<size_t>(f.style.link)]});
            }
        }
        y += line.height + line.gapAfter;
    }
    RestoreDC(hDC, saved);
}
