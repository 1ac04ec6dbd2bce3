// Smaller contracts of the layer: delegates, containers, the name index, option groups, images, state pictures.
#include "tests/support/TestFolders.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

namespace {

struct Counter {
    int calls = 0;
    bool answer = true;
    bool OnEvent(void*)
    {
        ++calls;
        return answer;
    }
};

uint32_t Solid(int, int) { return 0x00FF00; }
uint32_t Stripes(int x, int) { return x < 5 ? 0xFF0000 : 0x0000FF; }

} // namespace

TEST(UiDelegates, InvokedInOrderStoppedByFalseAndRemovable)
{
    Counter a, b;
    CEventSource source;
    EXPECT_TRUE(source.IsEmpty());
    source += MakeDelegate(&a, &Counter::OnEvent);
    source += MakeDelegate(&b, &Counter::OnEvent);
    EXPECT_TRUE(source(nullptr));
    EXPECT_EQ(a.calls, 1);
    EXPECT_EQ(b.calls, 1);
    a.answer = false;
    EXPECT_FALSE(source(nullptr));
    EXPECT_EQ(b.calls, 1); // the chain stopped at a
    source -= MakeDelegate(&a, &Counter::OnEvent);
    EXPECT_TRUE(source(nullptr));
    EXPECT_EQ(a.calls, 2);
    EXPECT_EQ(b.calls, 2);
    // A delegate that adds another while it runs does not disturb this round.
    CEventSource growing;
    int added = 0;
    growing += [&](void*) {
        growing += [&](void*) { ++added; return true; };
        return true;
    };
    growing(nullptr);
    EXPECT_EQ(added, 0);
    growing(nullptr);
    EXPECT_EQ(added, 1);
}

TEST(UiContainers, ItemBookkeepingAndTabSelection)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout name="root">
      <TabLayout name="tab" height="20" selectedid="1">
        <Control name="t0" bkcolor="#FFFF0000"/><Control name="t1" bkcolor="#FF00FF00"/><Control name="t2" bkcolor="#FF0000FF"/>
      </TabLayout>
      <HorizontalLayout name="row" height="20"><Control name="r0"/><Control name="r1"/></HorizontalLayout>
    </VerticalLayout>)",
                          {0, 0, 100, 100}));
    auto* row = static_cast<CContainerUI*>(host.Find(L"row"));
    CControlUI* r0 = host.Find(L"r0");
    CControlUI* r1 = host.Find(L"r1");
    EXPECT_EQ(row->GetCount(), 2);
    EXPECT_EQ(row->GetItemIndex(r1), 1);
    EXPECT_TRUE(row->SetItemIndex(r1, 0));
    EXPECT_EQ(row->GetItemAt(0), r1);
    EXPECT_FALSE(row->SetItemIndex(r1, 5));
    auto* extra = new CControlUI;
    EXPECT_FALSE(row->AddAt(extra, 7));
    EXPECT_TRUE(row->AddAt(extra, 1));
    EXPECT_EQ(extra->GetParent(), row);
    EXPECT_EQ(extra->GetManager(), &host.Manager());
    EXPECT_EQ(row->GetItemAt(-1), nullptr);
    EXPECT_EQ(row->GetItemAt(3), nullptr);
    // Removing without destroying hands the control back, out of the name index.
    EXPECT_TRUE(row->Remove(r0, true));
    EXPECT_EQ(host.Find(L"r0"), nullptr);
    delete r0;
    EXPECT_FALSE(row->Remove(r0));

    auto* tab = static_cast<CTabLayoutUI*>(host.Find(L"tab"));
    EXPECT_EQ(tab->GetCurSel(), 1);
    EXPECT_FALSE(host.Find(L"t0")->IsVisible());
    EXPECT_TRUE(host.Find(L"t1")->IsVisible());
    EXPECT_TRUE(tab->SelectItem(2));
    EXPECT_FALSE(tab->SelectItem(3));
    EXPECT_EQ(host.log, std::vector<std::wstring>{L"tabselect:tab"});
    MemoryDib dib(100, 100);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 100});
    EXPECT_EQ(dib.At(50, 10), 0x0000FFu);
    // Inserting before the current page keeps the same page shown.
    auto* page = new CControlUI;
    EXPECT_TRUE(tab->AddAt(page, 0));
    EXPECT_EQ(tab->GetCurSel(), 3);
    EXPECT_FALSE(page->IsVisible());
    EXPECT_TRUE(host.Find(L"t2")->IsVisible());
    // Removing the current page shows a neighbour.
    tab->SetDelayedDestroy(false);
    EXPECT_TRUE(tab->Remove(host.Find(L"t2")));
    EXPECT_EQ(tab->GetCurSel(), 2);
    EXPECT_TRUE(host.Find(L"t1")->IsVisible());
    tab->RemoveAll();
    EXPECT_EQ(tab->GetCurSel(), -1);
    EXPECT_EQ(tab->GetCount(), 0);
    EXPECT_EQ(host.Find(L"t0"), nullptr);
}

TEST(UiManager, NameIndexFollowsRenamesAndSubtreeSearch)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout name="root">
      <HorizontalLayout name="a" height="50"><Label name="same" text="1"/></HorizontalLayout>
      <HorizontalLayout name="b"><Label name="same" text="2"/></HorizontalLayout>
    </VerticalLayout>)",
                          {0, 0, 100, 100}));
    CControlUI* first = host.Find(L"same");
    ASSERT_NE(first, nullptr);
    CControlUI* inB = host.Manager().FindSubControlByName(host.Find(L"b"), L"same");
    ASSERT_NE(inB, nullptr);
    EXPECT_EQ(inB->GetText(), L"2");
    inB->SetName(L"renamed");
    EXPECT_EQ(host.Find(L"renamed"), inB);
    EXPECT_EQ(host.Manager().FindSubControlByPoint(host.Find(L"b"), POINT{10, 70}), inB);
    EXPECT_EQ(host.Manager().FindSubControlByPoint(host.Find(L"b"), POINT{10, 10}), nullptr);
    // Mouse-disabled controls are passed over by the hit test, their parent answers.
    inB->SetMouseEnabled(false);
    EXPECT_EQ(host.Manager().FindControl(POINT{10, 70}), host.Find(L"b"));
    static_cast<CContainerUI*>(host.Find(L"b"))->SetMouseChildEnabled(false);
    inB->SetMouseEnabled(true);
    EXPECT_EQ(host.Manager().FindControl(POINT{10, 70}), host.Find(L"b"));
}

TEST(UiManager, FocusRulesAndOptionGroupsSurviveRemoval)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout name="root">
      <Option name="o1" height="20" group="g" selected="true"/>
      <Option name="o2" height="20" group="g"/>
      <Button name="b" height="20"/>
      <Control/>
    </VerticalLayout>)",
                          {0, 0, 100, 100}));
    auto* o1 = static_cast<COptionUI*>(host.Find(L"o1"));
    auto* o2 = static_cast<COptionUI*>(host.Find(L"o2"));
    CControlUI* b = host.Find(L"b");
    EXPECT_TRUE(o1->IsSelected());
    // Focus goes only to visible, enabled controls and leaves a control that is hidden.
    b->SetEnabled(false);
    b->SetFocus();
    EXPECT_EQ(host.Manager().GetFocus(), nullptr);
    b->SetEnabled(true);
    b->SetFocus();
    EXPECT_EQ(host.Manager().GetFocus(), b);
    b->SetVisible(false);
    EXPECT_EQ(host.Manager().GetFocus(), nullptr);
    // A removed member leaves its group; the rest keep working.
    auto* root = static_cast<CContainerUI*>(host.Find(L"root"));
    root->SetDelayedDestroy(false);
    EXPECT_TRUE(root->Remove(o1));
    ASSERT_NE(host.Manager().GetOptionGroup(L"g"), nullptr);
    EXPECT_EQ(host.Manager().GetOptionGroup(L"g")->size(), 1u);
    o2->Selected(true);
    EXPECT_TRUE(o2->IsSelected());
}

TEST(UiManager, ImagesAreLoadedOnceAndFailuresRemembered)
{
    TempFolder folder(L"img");
    ASSERT_TRUE(WriteTestBmp(folder.File(L"g.bmp"), 4, 4, &Solid));
    UiTestHost host;
    host.Manager().SetWindowResourcePath(folder.Path());
    const TImageInfo* first = host.Manager().GetImageEx(L"g.bmp");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->nX, 4);
    EXPECT_EQ(host.Manager().GetImageEx(L"g.bmp"), first);
    EXPECT_EQ(host.Manager().GetImageEx(folder.File(L"g.bmp")), host.Manager().GetImageEx(folder.File(L"g.bmp")));
    EXPECT_EQ(host.Manager().GetImageEx(L"none.png"), nullptr);
    EXPECT_EQ(host.Manager().GetImageEx(L"none.png"), nullptr);
    // A garbage file is refused, not drawn.
    ASSERT_TRUE(WriteFileBytes(folder.File(L"bad.png"), "\x89PNG\r\n\x1a\nnot really"));
    EXPECT_EQ(host.Manager().GetImageEx(L"bad.png"), nullptr);
    // A manager on its parent's resources finds the same images and fonts.
    CPaintManagerUI child;
    child.UseParentResource(&host.Manager());
    EXPECT_EQ(child.GetImageEx(L"g.bmp"), first);
    host.Manager().AddFont(L"Tahoma", 22, true, false, false);
    EXPECT_EQ(child.GetFontInfo(0)->iSize, 22);
}

TEST(UiPaint, StatePicturesOfButtonsOptionsAndProgress)
{
    TempFolder folder(L"img");
    ASSERT_TRUE(WriteTestBmp(folder.File(L"s.bmp"), 10, 2, &Stripes));
    UiTestHost host;
    host.Manager().SetWindowResourcePath(folder.Path());
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <Button name="b" height="10" enabled="false" normalimage="file='s.bmp' source='5,0,10,2'" disabledimage="file='s.bmp' source='0,0,5,2'"/>
      <Option name="o" height="10" selected="true" selectedbkcolor="#FF00FF00" normalimage="file='s.bmp' source='0,0,5,2'"/>
      <Progress name="p" height="10" min="0" max="100" value="50" forecolor="#FF0000FF"/>
      <Progress name="pi" height="10" min="0" max="100" value="50" foreimage="s.bmp"/>
      <Slider name="s" height="10" min="0" max="10" value="10" thumbsize="10,10" hor="true"/>
      <Label name="l" height="10" text="x" bkcolor="#FFFFFFFF"/>
    </VerticalLayout>)",
                          {0, 0, 100, 60}));
    MemoryDib dib(100, 60);
    dib.Fill(0);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 60});
    EXPECT_EQ(dib.At(50, 5), 0xFF0000u);  // disabled picture
    EXPECT_EQ(dib.At(50, 15), 0x00FF00u); // selected, no selected picture: colour, normal picture not drawn
    EXPECT_EQ(dib.At(25, 25), 0x0000FFu); // half the bar filled
    EXPECT_EQ(dib.At(75, 25), 0x000000u);
    EXPECT_EQ(dib.At(10, 35), 0xFF0000u); // left half of the image over the left half of the bar
    EXPECT_EQ(dib.At(75, 35), 0x000000u);
    EXPECT_EQ(dib.At(95, 45), 0x808080u); // the thumb at the right end
    auto* button = static_cast<CButtonUI*>(host.Find(L"b"));
    button->SetEnabled(true);
    dib.Fill(0);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 60});
    EXPECT_EQ(dib.At(50, 5), 0x0000FFu);  // normal picture
    auto* progress = static_cast<CProgressUI*>(host.Find(L"p"));
    progress->SetValue(-5);
    EXPECT_EQ(progress->GetValue(), 0);
    progress->SetMaxValue(0); // an empty range draws nothing rather than dividing by zero
    dib.Fill(0);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 60});
    EXPECT_EQ(dib.At(1, 25), 0x000000u);
}

TEST(UiPaint, LabelsSizeFromFontAndHtmlTagsAreNotShown)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<Window><Font name="Tahoma" size="30"/><VerticalLayout>
      <Label name="big" font="0" text="W"/>
      <Label name="small" text="W"/>
      <Label name="html" height="30" showhtml="true" text="&lt;b&gt;&lt;/b&gt;" bkcolor="#FFFFFFFF"/>
      <Control/>
    </VerticalLayout></Window>)",
                          {0, 0, 100, 200}));
    int big = host.Find(L"big")->GetHeight();
    int small = host.Find(L"small")->GetHeight();
    EXPECT_GT(big, small);
    EXPECT_EQ(big, host.Manager().GetFontInfo(0)->tm.tmHeight + 4);
    MemoryDib dib(100, 200);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 200});
    RECT html = host.Find(L"html")->GetPos();
    EXPECT_EQ(dib.CountOther(html, 0xFFFFFF), 0);
}

TEST(UiLayout, AZeroMaximumHeightTakesNoRoomButPlacesItsChildren)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout childpadding="4">
      <HorizontalLayout name="strip" maxheight="0"><Control name="a" width="30"/><Control name="b"/></HorizontalLayout>
      <Control name="fill" bkcolor="#FF00FF00"/>
      <Control name="fixed" height="20"/>
    </VerticalLayout>)",
                          {0, 0, 100, 100}));
    EXPECT_EQ(RectText(host.Find(L"strip")->GetPos()), L"0,0,100,0");
    // No padding is spent on it either: the stretching sibling starts at the top.
    EXPECT_EQ(RectText(host.Find(L"fill")->GetPos()), L"0,0,100,76");
    EXPECT_EQ(host.Find(L"a")->GetPos().right, 30);
    EXPECT_EQ(host.Find(L"b")->GetPos().left, 30);
    EXPECT_EQ(host.Find(L"b")->GetPos().right, 100);
    MemoryDib dib(100, 100);
    dib.Fill(0xFFFFFF);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 100});
    EXPECT_EQ(dib.At(50, 0), 0x00FF00u);
}

TEST(UiList, HeaderColumnsContainerElementsAndScrollingIntoView)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <List name="list" height="100" vscrollbar="true">
        <ListHeader height="20">
          <ListHeaderItem name="h0" width="30" text="A"/>
          <ListHeaderItem name="h1" text="B"/>
        </ListHeader>
        <ListContainerElement name="e0" height="30"><Label name="l0" text="x"/></ListContainerElement>
        <ListContainerElement name="e1" height="30"/>
        <ListContainerElement name="e2" height="30"/>
        <ListContainerElement name="e3" height="30"/>
      </List>
      <HorizontalLayout name="strip" height="20" hscrollbar="true">
        <Control width="60"/><Control name="far" width="60"/>
      </HorizontalLayout>
      <List name="plain" height="100"><ListContainerElement name="p0" height="20"/></List>
      <List name="columns" height="100">
        <ListHeaderItem name="c0" width="40" height="20" text="A"/>
        <ListContainerElement name="q0" height="20"/>
      </List>
      <Control/>
    </VerticalLayout>)",
                          {0, 0, 100, 400}));
    auto* list = static_cast<CListUI*>(host.Find(L"list"));
    ASSERT_EQ(list->GetCount(), 4);
    TListInfoUI* info = list->GetListInfo();
    ASSERT_EQ(info->nColumns, 2);
    EXPECT_EQ(info->rcColumn[0].right - info->rcColumn[0].left, 30);
    EXPECT_EQ(info->rcColumn[1].left, 30);
    // A click on a child of a container element selects the element.
    host.Click(10, 35);
    EXPECT_EQ(list->GetCurSel(), 0);
    // The last element is below the visible part: selecting it scrolls it into view.
    EXPECT_TRUE(list->SelectItem(3));
    RECT body = list->GetList()->GetPos();
    RECT last = host.Find(L"e3")->GetPos();
    EXPECT_LE(last.bottom, body.bottom);
    EXPECT_GT(list->GetScrollPos().cy, 0);
    // Keys move the selection.
    host.Find(L"e3")->SetFocus();
    host.Key(VK_UP);
    EXPECT_EQ(list->GetCurSel(), 2);
    host.Key(VK_HOME);
    EXPECT_EQ(list->GetCurSel(), 0);
    std::vector<std::wstring> clicks;
    for (const auto& e : host.log)
        if (e.compare(0, 9, L"itemclick") == 0) clicks.push_back(e);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0], L"itemclick:e0");

    // A horizontal layout too wide for its place scrolls sideways.
    auto* strip = static_cast<CContainerUI*>(host.Find(L"strip"));
    ASSERT_NE(strip->GetHorizontalScrollBar(), nullptr);
    EXPECT_TRUE(strip->GetHorizontalScrollBar()->IsVisible());
    EXPECT_EQ(strip->GetScrollRange().cx, 20);
    strip->EndRight();
    EXPECT_EQ(host.Find(L"far")->GetPos().right, 100);
    strip->HomeLeft();
    EXPECT_EQ(host.Find(L"far")->GetPos().left, 60);

    // Without columns the rows start at the top (an empty header would take half the list); a header item
    // placed straight in a list brings the header.
    EXPECT_EQ(host.Find(L"p0")->GetPos().top, 120);
    auto* columns = static_cast<CListUI*>(host.Find(L"columns"));
    EXPECT_TRUE(columns->GetHeader()->IsVisible());
    EXPECT_EQ(columns->GetListInfo()->nColumns, 1);
    EXPECT_EQ(host.Find(L"q0")->GetPos().top, 240);
}
