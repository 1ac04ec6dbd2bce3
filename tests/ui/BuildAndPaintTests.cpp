// Skins built from XML text, laid out, and painted into memory DIBs.
#include "tests/support/TestFolders.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

TEST(UiParsers, ColoursRectanglesAndAttributeLists)
{
    EXPECT_EQ(ParseColor(L"#FF102030"), 0xFF102030u);
    EXPECT_EQ(ParseColor(L"80FFFFFF"), 0x80FFFFFFu);
    EXPECT_EQ(ParseColor(L"   #FF000001"), 0xFF000001u);
    EXPECT_EQ(ParseColor(nullptr), 0u);
    // Mouse positions left of or above a window arrive as negative 16-bit halves.
    CDuiPoint pt(static_cast<LPARAM>(MAKELPARAM(-5, 300)));
    EXPECT_EQ(pt.x, -5);
    EXPECT_EQ(pt.y, 300);
    EXPECT_EQ(RectText(ParseRect(L"1,2,30,40")), L"1,2,30,40");
    EXPECT_EQ(RectText(ParseRect(L"5")), L"5,0,0,0");
    SIZE sz = ParseSize(L"320,240");
    EXPECT_TRUE(sz.cx == 320 && sz.cy == 240);

    std::vector<std::wstring> seen;
    EXPECT_TRUE(ForEachAttribute(L"a=\"1\" b='two words'  c=\"\"", [&](const CDuiString& n, const CDuiString& v) {
        seen.push_back(std::wstring(n.GetString()) + L"=" + v.GetString());
    }));
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[1], L"b=two words");
    EXPECT_EQ(seen[2], L"c=");
    // Malformed lists stop without reading past the end.
    for (const wchar_t* bad : {L"a=", L"a=\"unterminated", L"a 1", L"=\"x\"x"}) {
        ForEachAttribute(bad, [](const CDuiString&, const CDuiString&) {});
    }
    EXPECT_FALSE(ForEachAttribute(L"a=\"unterminated", [](const CDuiString&, const CDuiString&) {}));
    EXPECT_EQ(ImageStringValue(L"file='x.png' dest='0,0,5,5'", L"dest"), L"0,0,5,5");
    EXPECT_TRUE(ImageStringValue(L"file='x.png'", L"source").IsEmpty());
}

TEST(UiBuilder, BuildsTreeWithAttributesDefaultsAndCallback)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<?xml version="1.0" encoding="utf-8"?>
<Window size="300,200">
  <Font name="Tahoma" size="13" bold="true"/>
  <Font name="Tahoma" size="20"/>
  <Default name="Button" value="textcolor=&quot;#FF0000FF&quot; height=&quot;25&quot;"/>
  <VerticalLayout name="root" bkcolor="#FFFFFFFF">
    <Label name="title" text="Hello" font="1"/>
    <Button name="ok" text="OK" tooltip="press"/>
    <MyBox name="custom"/>
    <NoSuchThing name="lost"/>
  </VerticalLayout>
</Window>)",
                          {0, 0, 300, 200}));
    CPaintManagerUI& pm = host.Manager();
    EXPECT_EQ(pm.GetFontCount(), 2);
    EXPECT_TRUE(pm.GetFontInfo(0)->bBold);
    EXPECT_EQ(pm.GetFontInfo(1)->iSize, 20);
    EXPECT_EQ(pm.GetFontInfo(7), pm.GetDefaultFontInfo());

    auto* ok = static_cast<CButtonUI*>(host.Find(L"ok"));
    ASSERT_NE(ok, nullptr);
    EXPECT_STREQ(ok->GetClass(), L"ButtonUI");
    EXPECT_EQ(ok->GetTextColor(), 0xFF0000FFu);
    EXPECT_EQ(ok->GetFixedHeight(), 25);
    EXPECT_EQ(ok->GetToolTip(), L"press");
    EXPECT_NE(host.Find(L"custom"), nullptr);
    EXPECT_EQ(host.Find(L"lost"), nullptr);
    ASSERT_EQ(host.unknownTags.size(), 2u);
    EXPECT_EQ(host.unknownTags[0], L"MyBox");
    EXPECT_EQ(static_cast<CLabelUI*>(host.Find(L"title"))->GetFont(), 1);
    EXPECT_EQ(ok->GetParent(), host.Find(L"root"));
}

TEST(UiBuilder, MalformedOrMissingSkinIsRefused)
{
    for (const wchar_t* bad : {L"<Window><VerticalLayout></Window>", L"<Window", L"<a><b></a>", L"<Window></Window>"}) {
        CDialogBuilder builder;
        EXPECT_EQ(builder.Create(bad), nullptr) << bad;
    }
    CDialogBuilder builder;
    EXPECT_EQ(builder.Create(L"NoSuchSkin.xml"), nullptr);
    // A truncated copy of a good skin at every length never crashes.
    std::wstring good = L"<Window size=\"10,10\"><HorizontalLayout><Button name=\"b\" text=\"x\"/></HorizontalLayout></Window>";
    // (Wine's reader closes a root whose end tag is missing altogether, so those lengths are left out.)
    size_t rootEnd = good.rfind(L"</Window>");
    for (size_t n = 0; n < rootEnd; ++n) {
        CDialogBuilder b;
        CControlUI* root = b.Create(good.substr(0, n).c_str());
        EXPECT_EQ(root, nullptr) << n;
        delete root;
    }
}

TEST(UiLayout, VerticalAndHorizontalShareSpaceAfterFixedSizes)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout name="v" inset="10,10,10,10" childpadding="5">
      <Control name="a" height="20"/>
      <Control name="b"/>
      <HorizontalLayout name="h" height="40">
        <Control name="h1" width="50" padding="2,0,3,0"/>
        <Control name="h2"/>
        <Control name="h3"/>
        <Control name="fl" float="true" pos="5,5,15,25"/>
      </HorizontalLayout>
      <Control name="gone" height="30" visible="false"/>
    </VerticalLayout>)",
                          {0, 0, 200, 200}));
    auto pos = [&](const wchar_t* n) { return host.Find(n)->GetPos(); };
    EXPECT_EQ(RectText(pos(L"a")), L"10,10,190,30");
    // 180 high inside: 20 + 5 + b + 5 + 40 => b = 110.
    EXPECT_EQ(RectText(pos(L"b")), L"10,35,190,145");
    EXPECT_EQ(RectText(pos(L"h")), L"10,150,190,190");
    // 180 wide: 2 + 50 + 3 fixed, the two others share 125.
    EXPECT_EQ(RectText(pos(L"h1")), L"12,150,62,190");
    EXPECT_EQ(RectText(pos(L"h2")), L"65,150,127,190");
    EXPECT_EQ(pos(L"h3").right, 190);
    EXPECT_EQ(RectText(pos(L"fl")), L"15,155,25,175");

    // Showing a hidden child lays the parent out again.
    host.Find(L"gone")->SetVisible(true);
    host.Find(L"v")->SetPos(host.Find(L"v")->GetPos());
    EXPECT_EQ(pos(L"b").bottom - pos(L"b").top, 75);
    EXPECT_EQ(host.Manager().FindControl(POINT{100, 50}), host.Find(L"b"));
    EXPECT_EQ(host.Manager().FindControl(POINT{pos(L"fl").left + 2, pos(L"fl").top + 2}), host.Find(L"fl"));
}

// Skin sizes near the int limit add up past it; the children must still follow one another.
TEST(UiLayout, HugeSkinSizesKeepChildrenInOrder)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <HorizontalLayout name="h" height="40" childpadding="2000000000">
        <Control name="h1" width="2000000000"/>
        <Control name="h2" width="2000000000" padding="2000000000,0,2000000000,0"/>
        <Control name="h3"/>
      </HorizontalLayout>
      <Control name="v1" height="2000000000"/>
      <Control name="v2" height="2000000000" padding="0,2000000000,0,2000000000"/>
      <Control name="v3"/>
    </VerticalLayout>)",
                          {0, 0, 200, 200}));
    for (const wchar_t* row : {L"h", L"v"}) {
        SCOPED_TRACE(row);
        const bool across = row[0] == L'h';
        std::vector<RECT> at;
        for (int i = 1; i <= 3; ++i) at.push_back(host.Find((std::wstring(row) + std::to_wstring(i)).c_str())->GetPos());
        LONG last = across ? at[0].left : at[0].top;
        for (const RECT& rc : at) {
            const LONG start = across ? rc.left : rc.top, end = across ? rc.right : rc.bottom;
            EXPECT_GE(start, last);
            EXPECT_GE(end, start);
            last = end;
        }
    }
}

TEST(UiPaint, ColoursBordersAndTextLandOnTheirPixels)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout bkcolor="#FFFFFFFF">
      <Control name="red" height="20" bkcolor="#FFFF0000"/>
      <Control name="framed" height="30" bkcolor="#FF00FF00" bordersize="2" bordercolor="#FF0000FF"/>
      <Label name="text" height="40" text="MMMM" textcolor="#FF000000" align="center"/>
      <Control name="half" height="10" bkcolor="#80000000"/>
      <Label name="off" height="20" text="MMMM" enabled="false" disabledtextcolor="#FFFF00FF"/>
    </VerticalLayout>)",
                          {0, 0, 100, 120}));
    MemoryDib dib(100, 120);
    dib.Fill(0x123456);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 120});
    EXPECT_EQ(dib.At(50, 10), 0xFF0000u);
    EXPECT_EQ(dib.At(0, 20), 0x0000FFu);  // frame
    EXPECT_EQ(dib.At(1, 49), 0x0000FFu);
    EXPECT_EQ(dib.At(50, 35), 0x00FF00u); // inside the frame
    EXPECT_EQ(dib.At(2, 22), 0x00FF00u);
    // The text is centred: dark pixels in the middle, none at the edges.
    EXPECT_GT(dib.CountOther({30, 50, 70, 90}, 0xFFFFFF), 10);
    EXPECT_EQ(dib.CountOther({0, 50, 10, 90}, 0xFFFFFF), 0);
    // Half-transparent black over white is mid grey.
    uint32_t grey = dib.At(50, 95);
    EXPECT_NEAR(static_cast<int>(grey & 0xFF), 0x7F, 2);
    EXPECT_GT(dib.CountColor({0, 100, 100, 120}, 0xFF00FF), 5);

    // Painting only a part leaves the rest untouched.
    dib.Fill(0x123456);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 10});
    EXPECT_EQ(dib.At(50, 5), 0xFF0000u);
    EXPECT_EQ(dib.At(50, 15), 0x123456u);
}

static uint32_t Quadrants(int x, int y)
{
    if (y < 4) return x < 4 ? 0xFF0000 : 0x00FF00;
    return x < 4 ? 0x0000FF : 0xFFFF00;
}

TEST(UiPaint, ImageStringsPickSourceDestAndFallBackOnMissingFiles)
{
    TempFolder folder(L"img");
    ASSERT_TRUE(WriteTestBmp(folder.File(L"q.bmp"), 8, 8, &Quadrants));
    UiTestHost host;
    host.Manager().SetWindowResourcePath(folder.Path());
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <Control name="whole" width="16" bkimage="q.bmp"/>
      <Control name="part" width="16" bkimage="file='q.bmp' source='4,4,8,8' dest='4,4,12,12'"/>
      <Control name="missing" width="16" bkcolor="#FF808080" bkimage="nothere.png"/>
      <Button name="btn" width="16" normalimage="file='q.bmp' source='0,0,4,4'" hotimage="file='q.bmp' source='4,0,8,4'"/>
    </HorizontalLayout>)",
                          {0, 0, 64, 16}));
    MemoryDib dib(64, 16);
    dib.Fill(0x000000);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 64, 16});
    EXPECT_EQ(dib.At(2, 2), 0xFF0000u);
    EXPECT_EQ(dib.At(13, 2), 0x00FF00u);
    EXPECT_EQ(dib.At(2, 13), 0x0000FFu);
    EXPECT_EQ(dib.At(13, 13), 0xFFFF00u);
    EXPECT_EQ(dib.At(16 + 8, 8), 0xFFFF00u);
    EXPECT_EQ(dib.At(16 + 1, 1), 0x000000u);
    EXPECT_EQ(dib.At(32 + 8, 8), 0x808080u);
    EXPECT_TRUE(host.Find(L"missing")->GetBkImage()[0] == 0);
    EXPECT_EQ(dib.At(48 + 8, 8), 0xFF0000u);

    // Hovering the button switches it to its hot image.
    host.Move(56, 8);
    dib.Fill(0);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 64, 16});
    EXPECT_EQ(dib.At(48 + 8, 8), 0x00FF00u);

    CDuiRect r(0, 0, 4, 4);
    EXPECT_FALSE(CRenderEngine::DrawImageString(dib.Dc(), &host.Manager(), r, r, L"file='nope.png'"));
    EXPECT_FALSE(CRenderEngine::DrawImageString(dib.Dc(), &host.Manager(), r, r, L"file='q.bmp"));
}

TEST(UiRender, EngineDrawsLinesRectsAndMeasuresText)
{
    UiTestHost host;
    MemoryDib dib(50, 50);
    dib.Fill(0xFFFFFF);
    CRenderEngine::DrawLine(dib.Dc(), {0, 10, 49, 10}, 1, 0xFF00FF00);
    EXPECT_EQ(dib.At(25, 10), 0x00FF00u);
    CRenderEngine::DrawRect(dib.Dc(), {20, 20, 40, 40}, 1, 0xFFFF0000);
    EXPECT_EQ(dib.At(20, 30), 0xFF0000u);
    EXPECT_EQ(dib.At(39, 30), 0xFF0000u);
    EXPECT_EQ(dib.At(30, 30), 0xFFFFFFu);
    CRenderEngine::DrawColor(dib.Dc(), {0, 40, 10, 50}, 0x00FF0000); // fully transparent: nothing
    EXPECT_EQ(dib.At(5, 45), 0xFFFFFFu);
    SIZE one = CRenderEngine::GetTextSize(dib.Dc(), &host.Manager(), L"M", -1, 0);
    SIZE four = CRenderEngine::GetTextSize(dib.Dc(), &host.Manager(), L"MMMM", -1, 0);
    EXPECT_GT(one.cx, 0);
    EXPECT_GT(four.cx, one.cx * 3);
}

TEST(UiLayout, VerticalScrollBarAppearsScrollsAndHides)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout name="list" vscrollbar="true">
      <Control name="c0" height="40" bkcolor="#FFFF0000"/><Control name="c1" height="40"/><Control name="c2" height="40"/>
      <Control name="c3" height="40"/><Control name="c4" height="40" bkcolor="#FF0000FF"/>
    </VerticalLayout>)",
                          {0, 0, 100, 100}));
    auto* list = static_cast<CContainerUI*>(host.Find(L"list"));
    CScrollBarUI* bar = list->GetVerticalScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->GetScrollRange(), 100);
    EXPECT_EQ(host.Find(L"c0")->GetPos().right, 100 - bar->GetFixedWidth());
    // The wheel over a child scrolls its container by one line.
    TEventUI wheel;
    wheel.Type = UIEVENT_SCROLLWHEEL;
    wheel.wParam = MAKELPARAM(SB_LINEDOWN, 0);
    host.Find(L"c1")->Event(wheel);
    EXPECT_EQ(list->GetScrollPos().cy, 8);
    EXPECT_EQ(host.Find(L"c0")->GetPos().top, -8);
    list->EndDown();
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    EXPECT_EQ(host.Find(L"c4")->GetPos().bottom, 100);
    list->LineDown(); // held at the end
    EXPECT_EQ(list->GetScrollPos().cy, 100);
    MemoryDib dib(100, 100);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 100});
    EXPECT_EQ(dib.At(40, 90), 0x0000FFu);
    EXPECT_NE(dib.At(95, 90), 0x0000FFu); // the bar, not the item
    list->HomeUp();
    EXPECT_EQ(host.Find(L"c0")->GetPos().top, 0);
    // Content that fits again hides the bar and resets the position.
    list->SetDelayedDestroy(false);
    list->RemoveAt(4);
    list->RemoveAt(3);
    list->RemoveAt(2);
    list->SetPos(list->GetPos());
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_EQ(list->GetScrollPos().cy, 0);
    EXPECT_EQ(host.Find(L"c0")->GetPos().right, 100);
}
