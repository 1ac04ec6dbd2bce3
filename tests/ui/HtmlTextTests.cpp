// Marked-up text painted into memory DIBs, including broken, over-long and deeply nested markup.
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const int kW = 300, kH = 120;

// Pixels whose colour leans clearly to one primary (text may be smoothed).
bool IsRed(uint32_t c) { return (c >> 16) > 140 && ((c >> 8) & 0xFF) < 90 && (c & 0xFF) < 90; }
bool IsBlue(uint32_t c) { return (c & 0xFF) > 140 && (c >> 16) < 90 && ((c >> 8) & 0xFF) < 90; }

struct Canvas {
    UiTestHost host;
    MemoryDib dib{kW, kH};
    Canvas()
    {
        EXPECT_TRUE(host.Load(L"<VerticalLayout/>", {0, 0, kW, kH}));
        dib.Fill(0xFFFFFF);
    }
    RECT Draw(const wchar_t* text, UINT style = DT_SINGLELINE, RECT rc = {0, 0, kW, kH},
              std::vector<THtmlLink>* links = nullptr)
    {
        dib.Fill(0xFFFFFF);
        CRenderEngine::DrawHtmlText(dib.Dc(), &host.Manager(), rc, text, 0xFF000000, -1, style, links);
        return rc;
    }
    RECT Measure(const wchar_t* text, UINT style = DT_SINGLELINE)
    {
        RECT rc{0, 0, kW, kH};
        CRenderEngine::DrawHtmlText(dib.Dc(), &host.Manager(), rc, text, 0xFF000000, -1, style | DT_CALCRECT);
        return rc;
    }
    int Reddish(const RECT& rc) const { return Count(rc, IsRed); }
    int Bluish(const RECT& rc) const { return Count(rc, IsBlue); }
    int Ink(const RECT& rc) const { return dib.CountOther(rc, 0xFFFFFF); }
    // The bounding box of everything drawn.
    RECT InkBox() const
    {
        RECT box{kW, kH, -1, -1};
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (dib.At(x, y) != 0xFFFFFF) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }

private:
    template <class Pred> int Count(const RECT& rc, Pred pred) const
    {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x) n += pred(dib.At(x, y));
        return n;
    }
};

const RECT kAll{0, 0, kW, kH};

} // namespace

TEST(HtmlText, ColourRunsEndAtTheirCloseAndBothBracketFormsAgree)
{
    Canvas c;
    c.Draw(L"{c #FF0000}WWWW{/c}");
    RECT box = c.InkBox();
    ASSERT_GT(box.right, 0);
    EXPECT_GT(c.Reddish(kAll), 10);

    // After the close the text is the caller's black again: no red right of the red run.
    c.Draw(L"{c #FF0000}WWWW{/c}WWWW");
    EXPECT_LT(c.Reddish(RECT{box.right + 1, 0, kW, kH}), 2);
    EXPECT_GT(c.Ink(RECT{box.right + 1, 0, kW, kH}), 10);

    // Six digits are opaque RGB, eight are ARGB; <> works as {} does.
    c.Draw(L"<c #FF0000FF>WWWW</c>");
    EXPECT_GT(c.Bluish(kAll), 10);
    EXPECT_EQ(c.Reddish(kAll), 0);
}

TEST(HtmlText, BoldItalicUnderlineChangeTheInkAndTagsAreNotDrawn)
{
    Canvas c;
    c.Draw(L"Wide Wall");
    int plain = c.Ink(kAll);
    RECT plainBox = c.InkBox();
    ASSERT_GT(plain, 0);
    c.Draw(L"{b}Wide Wall{/b}");
    EXPECT_GT(c.Ink(kAll), plain);
    c.Draw(L"<b>Wide Wall</b>");
    EXPECT_GT(c.Ink(kAll), plain);
    // An underline adds a row of ink below the letters, across the run.
    c.Draw(L"{u}Wide Wall{/u}");
    RECT under = c.InkBox();
    EXPECT_GT(c.Ink(kAll), plain);
    EXPECT_GE(under.bottom, plainBox.bottom);
    // Tags take no room: the marked text is as wide as the plain one.
    RECT measured = c.Measure(L"{i}{/i}Wide{n}{/n}{zz} Wall");
    RECT plainMeasured = c.Measure(L"Wide Wall");
    EXPECT_EQ(measured.right, plainMeasured.right);
    // A tag with nothing inside it draws nothing.
    c.Draw(L"<b></b>{c #FF0000}{/c}");
    EXPECT_EQ(c.Ink(kAll), 0);
}

TEST(HtmlText, LinksAreColouredUnderlinedAndReportTheirRectangles)
{
    Canvas c;
    std::vector<THtmlLink> links;
    c.Draw(L"go {a http://lumenvale/help}here{/a} now", DT_SINGLELINE, kAll, &links);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].target, L"http://lumenvale/help");
    RECT link = links[0].rc;
    EXPECT_GT(link.left, 0);
    EXPECT_GT(link.right, link.left);
    // The default link colour is blue, and only inside the link's rectangle.
    EXPECT_GT(c.Bluish(link), 10);
    EXPECT_EQ(c.Bluish(RECT{0, 0, link.left, kH}), 0);
    EXPECT_EQ(c.Bluish(RECT{link.right, 0, kW, kH}), 0);
    // An explicit colour inside the link wins.
    c.Draw(L"{a x}{c #FF0000}here{/c}{/a}", DT_SINGLELINE, kAll, &links);
    EXPECT_GT(c.Reddish(kAll), 10);
    EXPECT_EQ(c.Bluish(kAll), 0);
    // Without links the list is emptied.
    c.Draw(L"plain", DT_SINGLELINE, kAll, &links);
    EXPECT_TRUE(links.empty());
}

TEST(HtmlText, BreaksParagraphsAndSpaces)
{
    Canvas c;
    RECT one = c.Measure(L"Ag", 0);
    RECT two = c.Measure(L"Ag{n}Ag", 0);
    RECT para = c.Measure(L"Ag{p}Ag", 0);
    int line = one.bottom - one.top;
    ASSERT_GT(line, 0);
    EXPECT_EQ(two.bottom - two.top, 2 * line);
    EXPECT_GT(para.bottom - para.top, 2 * line);
    EXPECT_EQ(two.right, one.right);

    // The second line is drawn below the first, starting again at the left.
    c.Draw(L"W{n}W", 0);
    EXPECT_GT(c.Ink(RECT{0, 0, kW, line}), 0);
    EXPECT_GT(c.Ink(RECT{0, line, 20, 2 * line}), 0);
    // A single-line text ignores breaks.
    EXPECT_EQ(c.Measure(L"Ag{n}Ag").bottom, one.bottom);

    // {x n} leaves n pixels before the text.
    c.Draw(L"{x 40}W");
    EXPECT_GE(c.InkBox().left, 40);
    EXPECT_EQ(c.Ink(RECT{0, 0, 40, kH}), 0);
}

TEST(HtmlText, AlignmentWrappingAndEllipsis)
{
    Canvas c;
    RECT size = c.Measure(L"{b}WWW{/b}");
    int width = size.right;
    c.Draw(L"{b}WWW{/b}", DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    RECT box = c.InkBox();
    EXPECT_NEAR(box.left, (kW - width) / 2, 3);
    EXPECT_NEAR((box.top + box.bottom) / 2, kH / 2, 4);
    c.Draw(L"{b}WWW{/b}", DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
    box = c.InkBox();
    EXPECT_GE(box.right, kW - 3);
    EXPECT_GE(box.bottom, kH - 8);

    // Word breaks keep every line inside the rectangle and make several lines.
    RECT narrow{0, 0, 60, kH};
    RECT wrapped = narrow;
    CRenderEngine::DrawHtmlText(c.dib.Dc(), &c.host.Manager(), wrapped, L"one two {b}three{/b} four five",
                                0xFF000000, -1, DT_WORDBREAK | DT_CALCRECT);
    RECT oneLine = c.Measure(L"one", 0);
    EXPECT_LE(wrapped.right, 60);
    EXPECT_GE(wrapped.bottom - wrapped.top, 3 * (oneLine.bottom - oneLine.top));
    c.Draw(L"one two {b}three{/b} four five", DT_WORDBREAK, RECT{0, 0, 60, kH});
    EXPECT_EQ(c.Ink(RECT{60, 0, kW, kH}), 0);
    EXPECT_GT(c.InkBox().bottom, 2 * (oneLine.bottom - oneLine.top));

    // A long single line ends in dots inside the rectangle; nothing is drawn past it.
    RECT slim{0, 0, 50, 30};
    c.Draw(L"{c #FF0000}abcdefghijklmnopqrstuvwxyz{/c}", DT_SINGLELINE | DT_END_ELLIPSIS, slim);
    EXPECT_EQ(c.Ink(RECT{50, 0, kW, kH}), 0);
    EXPECT_GT(c.Reddish(slim), 5);
}

TEST(HtmlText, BrokenMarkupIsTextAndNothingCrashes)
{
    Canvas c;
    // An unclosed tag is plain text.
    c.Draw(L"{c #FF0000 WWW");
    EXPECT_GT(c.Ink(kAll), 0);
    EXPECT_EQ(c.Reddish(kAll), 0);
    RECT unclosed = c.Measure(L"<b WWW");
    EXPECT_GT(unclosed.right, c.Measure(L"WWW").right);
    // A tag longer than any real one is text too.
    std::wstring longTag = L"{" + std::wstring(100, L'x') + L"}";
    EXPECT_GT(c.Measure(longTag.c_str()).right, c.Measure(L"xxxx").right);
    // Unmatched closes and deep nesting are harmless; the text still draws in the innermost colour.
    std::wstring deep;
    for (int i = 0; i < 500; ++i) deep += L"{b}";
    deep += L"{c #FF0000}W";
    c.Draw(L"{/b}{/c}{/a}W");
    EXPECT_GT(c.Ink(kAll), 0);
    c.Draw(deep.c_str());
    EXPECT_GT(c.Ink(kAll), 0);
    // Bad arguments: no colour digits keep the colour, fonts out of range use the default.
    c.Draw(L"{c zz}W{/c}{f 99}W{/f}{f -5}W{x -100}W{x 999999}W");
    EXPECT_EQ(c.Reddish(kAll), 0);
    // Every truncation of a marked-up text is drawn without harm.
    const std::wstring text = L"{c #FF00FF00}a{b}b<i>c</i>{/b}{n}{a t}d{/a}{x 5}<u>e</u>{p}{f 0}f{/f}{/c}";
    for (size_t n = 0; n <= text.size(); ++n) {
        std::wstring part = text.substr(0, n);
        std::vector<THtmlLink> links;
        c.Draw(part.c_str(), 0, kAll, &links);
        c.Draw(part.c_str(), DT_WORDBREAK | DT_CENTER | DT_VCENTER, RECT{0, 0, 10, 10});
        c.Draw(part.c_str(), DT_SINGLELINE | DT_END_ELLIPSIS, RECT{0, 0, 3, 10});
    }
    RECT empty = c.Draw(L"", DT_WORDBREAK, RECT{0, 0, 0, 0});
    EXPECT_EQ(empty.right, 0);
    RECT rc{0, 0, 10, 10};
    CRenderEngine::DrawHtmlText(c.dib.Dc(), &c.host.Manager(), rc, nullptr, 0, -1, 0);
    CRenderEngine::DrawHtmlText(c.dib.Dc(), nullptr, rc, L"x", 0, -1, 0);
}

TEST(HtmlText, LabelsAndListItemsDrawTheirMarkup)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <Label name="label" height="30" showhtml="true" text="{c #FF0000}Red{/c} and {b}bold{/b}"/>
      <List name="list" itemshowhtml="true">
        <ListLabelElement name="item" height="30" text="&lt;c #0000FF&gt;Blue&lt;/c&gt;"/>
      </List>
    </VerticalLayout>)",
                          {0, 0, 200, 200}));
    MemoryDib dib(200, 200);
    dib.Fill(0xFFFFFF);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 200, 200});
    RECT label = host.Find(L"label")->GetPos();
    RECT item = host.Find(L"item")->GetPos();
    // Red only inside the label, blue only inside the item.
    int red = 0, blue = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            POINT pt{x, y};
            if (IsRed(dib.At(x, y))) red += PtInRect(&label, pt) ? 1 : -1000;
            if (IsBlue(dib.At(x, y))) blue += PtInRect(&item, pt) ? 1 : -1000;
        }
    EXPECT_GT(red, 10);
    EXPECT_GT(blue, 10);
}
