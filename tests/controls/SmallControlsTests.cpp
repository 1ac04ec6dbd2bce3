// The small controls: level bar of the volume slider, the recording check's active area, time text
// and borders, the resting button, the flashing button, the eliding label, the hint edit and the
// fixed-height list, by injected input and pixels in a memory DIB.
#include "controls/SmallControls.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

TEST(ActSlider, LevelStopsAtTheVolume)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <ActSlider name="vol" min="0" max="100" value="40" actcolor=" #FF00FF00" width="200" height="30" thumbsize="0,0"/>
    </HorizontalLayout>)", {0, 0, 300, 30}));
    auto* vol = static_cast<CActSliderUI*>(host.Find(L"vol"));
    ASSERT_NE(vol, nullptr);
    // Levels outside 0..100 are refused; a level above the volume is painted at the volume.
    vol->SetActValue(101);
    vol->SetActValue(-1);
    EXPECT_EQ(vol->GetActValue(), 0);
    vol->SetActValue(70);

    MemoryDib dib(300, 30);
    host.Repaint(dib, {0, 0, 300, 30});
    EXPECT_EQ(vol->GetActValue(), 40);
    // (left + 1, top + 8) to (left + 200 * 40 / 100, bottom - 8).
    EXPECT_EQ(dib.CountColor({0, 0, 300, 30}, 0x00FF00), 79 * 14);
    EXPECT_EQ(dib.At(1, 8), 0x00FF00u);
    EXPECT_EQ(dib.At(79, 21), 0x00FF00u);
    EXPECT_NE(dib.At(80, 15), 0x00FF00u);
    EXPECT_NE(dib.At(0, 15), 0x00FF00u);

    // No colour, no level.
    vol->SetActColor(0);
    host.Repaint(dib, {0, 0, 300, 30});
    EXPECT_EQ(dib.CountColor({0, 0, 300, 30}, 0x00FF00), 0);
}

TEST(RecordCheck, ActiveAreaTimeTextAndBorders)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <RecordCheck name="rec" text="Rec" width="150" bordersize="1" bordercolor="#FFFF0000"
          checkedbordercolor="#FF0000FF" selectedhottext="Stop" selectedbkcolor="#FF00FF00"/>
    </HorizontalLayout>)", {0, 0, 200, 30}));
    auto* rec = static_cast<CRecordCheckUI*>(host.Find(L"rec"));
    ASSERT_NE(rec, nullptr);
    MemoryDib dib(200, 30);
    host.Repaint(dib, {0, 0, 200, 30});
    // Unchecked: the border frames only the left 55 pixels.
    EXPECT_EQ(dib.At(0, 15), 0xFF0000u);
    EXPECT_EQ(dib.At(54, 15), 0xFF0000u);
    EXPECT_EQ(dib.At(100, 0), 0xFFFFFFu);
    EXPECT_EQ(dib.At(149, 15), 0xFFFFFFu);

    host.Click(60, 15); // outside the active area while unchecked
    host.Pump(30);
    EXPECT_FALSE(rec->IsSelected());
    EXPECT_TRUE(host.Of(DUI_MSGTYPE_SELECTCHANGED).empty());

    host.Click(20, 15);
    EXPECT_TRUE(rec->IsSelected());
    EXPECT_TRUE(host.Of(DUI_MSGTYPE_SELECTCHANGED).empty()); // asynchronous
    host.Pump(50);
    EXPECT_EQ(host.Of(DUI_MSGTYPE_SELECTCHANGED).size(), 1u);

    for (int i = 0; i < 3725; ++i) SendTick(rec, CRecordCheckUI::kSecondTimer);
    EXPECT_EQ(rec->GetRecordedSeconds(), 3725u);
    EXPECT_EQ(rec->RecordingText(), L"Rec 01:02:05");

    // Checked and not hot: the selected background fills the control, the checked border frames it all.
    host.Move(190, 15);
    host.Repaint(dib, {0, 0, 200, 30});
    EXPECT_EQ(dib.At(149, 15), 0x0000FFu);
    EXPECT_EQ(dib.At(100, 0), 0x0000FFu);
    EXPECT_EQ(dib.At(140, 3), 0x00FF00u);

    // A real timer adds seconds until deselecting kills it; selecting again restarts at 0.
    host.Manager().SetTimer(rec, CRecordCheckUI::kSecondTimer, 20);
    host.Pump(150);
    EXPECT_GT(rec->GetRecordedSeconds(), 3725u);
    host.Click(100, 15); // the whole control is active while checked
    EXPECT_FALSE(rec->IsSelected());
    UINT stopped = rec->GetRecordedSeconds();
    host.Pump(100);
    EXPECT_EQ(rec->GetRecordedSeconds(), stopped);
    rec->Selected(true);
    EXPECT_EQ(rec->GetRecordedSeconds(), 0u);
}

TEST(OneClickButton, RestsAfterAClickUntilShownOrTheTimerEnds)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <OneClickBtn name="once" width="100" clickelapse="3000"/>
      <OneClickBtn name="quick" width="100" clickelapse="40"/>
    </HorizontalLayout>)", {0, 0, 200, 30}));
    auto* once = static_cast<COneClickBtnUI*>(host.Find(L"once"));
    auto* quick = static_cast<COneClickBtnUI*>(host.Find(L"quick"));
    ASSERT_NE(once, nullptr);
    host.Click(50, 15);
    EXPECT_FALSE(once->IsEnabled());
    host.Click(50, 15);
    auto clicks = host.Of(DUI_MSGTYPE_CLICK);
    ASSERT_EQ(clicks.size(), 1u);
    once->SetVisible(true);
    EXPECT_TRUE(once->IsEnabled());
    host.Click(50, 15);
    EXPECT_EQ(host.Of(DUI_MSGTYPE_CLICK).size(), 2u);

    host.Click(150, 15);
    EXPECT_FALSE(quick->IsEnabled());
    host.Pump(200);
    EXPECT_TRUE(quick->IsEnabled());
    host.Click(150, 15);
    EXPECT_EQ(host.Of(DUI_MSGTYPE_CLICK).size(), 4u);
}

TEST(FlashButton, AlternatesColoursAndStops)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <TipFlashBtn name="tip" width="120" text="WWWW" textcolor="#FF000000" flashtextcolor1="#FFFF0000"
          flashtextcolor2="#FF0000FF"/>
    </HorizontalLayout>)", {0, 0, 200, 30}));
    auto* tip = static_cast<CTextFlashBtnUI*>(host.Find(L"tip"));
    ASSERT_NE(tip, nullptr);
    MemoryDib dib(200, 30);
    auto paint = [&] { host.Repaint(dib, {0, 0, 200, 30}); };
    tip->StartFlash();
    EXPECT_TRUE(tip->IsFlashing());
    EXPECT_EQ(tip->GetFlashCount(), 20);
    SendTick(tip, CTextFlashBtnUI::kFlashTimer); // 19: odd
    paint();
    EXPECT_GT(dib.CountColor({0, 0, 120, 30}, 0xFF0000), 0);
    EXPECT_EQ(dib.CountColor({0, 0, 120, 30}, 0x0000FF), 0);
    SendTick(tip, CTextFlashBtnUI::kFlashTimer); // 18: even
    paint();
    EXPECT_GT(dib.CountColor({0, 0, 120, 30}, 0x0000FF), 0);
    EXPECT_EQ(dib.CountColor({0, 0, 120, 30}, 0xFF0000), 0);
    for (int i = 0; i < 18; ++i) SendTick(tip, CTextFlashBtnUI::kFlashTimer);
    EXPECT_FALSE(tip->IsFlashing());
    paint();
    EXPECT_EQ(dib.CountColor({0, 0, 120, 30}, 0x0000FF), 0);
    EXPECT_GT(dib.CountColor({0, 0, 120, 30}, 0x000000), 0);

    // A click ends the flashing and is still a click.
    tip->StartFlash();
    host.Click(60, 15);
    EXPECT_FALSE(tip->IsFlashing());
    EXPECT_EQ(host.Of(DUI_MSGTYPE_CLICK).size(), 1u);
    tip->StartFlash();
    tip->StopFlash();
    EXPECT_FALSE(tip->IsFlashing());
    EXPECT_EQ(tip->GetFlashCount(), 0);
    // Disabled, it stops at the next paint.
    tip->StartFlash();
    tip->SetEnabled(false);
    paint();
    EXPECT_FALSE(tip->IsFlashing());
}

TEST(MidEllipsisLabel, ThePrefixGivesWayAndTheTextStaysWhole)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <MidEllipsisLabel name="wide" width="400" textcolor="#FF000000"/>
      <MidEllipsisLabel name="narrow" width="100" textcolor="#FF000000"/>
    </HorizontalLayout>)", {0, 0, 500, 20}));
    auto* wide = static_cast<CMidEllipsisLabelUI*>(host.Find(L"wide"));
    auto* narrow = static_cast<CMidEllipsisLabelUI*>(host.Find(L"narrow"));
    ASSERT_NE(narrow, nullptr);
    for (auto* label : {wide, narrow}) {
        label->SetPrefix(L"Announcement of the day: ");
        label->SetLabelText(L"Quiz");
    }
    MemoryDib dib(500, 20);
    host.Repaint(dib, {0, 0, 500, 20});

    // The text alone, drawn where it must end up: the right end of the narrow label.
    MemoryDib ref(500, 20);
    ref.Fill(0xFFFFFF);
    SIZE size = CRenderEngine::GetTextSize(ref.Dc(), &host.Manager(), L"Quiz", -1, DT_SINGLELINE | DT_VCENTER);
    RECT at{500 - size.cx, 0, 500, 20};
    CRenderEngine::DrawText(ref.Dc(), &host.Manager(), at, L"Quiz", 0xFF000000, -1, DT_VCENTER | DT_SINGLELINE);
    int differing = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 500 - size.cx; x < 500; ++x) differing += dib.At(x, y) != ref.At(x, y);
    EXPECT_EQ(differing, 0);
    // Something of the cut prefix shows before it, and the wide label shows it all.
    EXPECT_GT(dib.CountOther({400, 0, 500 - size.cx - 2, 20}, 0xFFFFFF), 0);
    EXPECT_GT(dib.CountOther({0, 0, 400, 20}, 0xFFFFFF), dib.CountOther({400, 0, 500, 20}, 0xFFFFFF));
}

TEST(HintEdit, ShowsTheHintOnlyWhileEmpty)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<HorizontalLayout>
      <LVHintEdit name="search" width="150" hinttext="Search" hinttextcolor="#FFFF00FF" textcolor="#FF000000"/>
    </HorizontalLayout>)", {0, 0, 150, 24}));
    auto* edit = static_cast<CHintEditUI*>(host.Find(L"search"));
    ASSERT_NE(edit, nullptr);
    MemoryDib dib(150, 24);
    host.Repaint(dib, {0, 0, 150, 24});
    EXPECT_GT(dib.CountColor({0, 0, 150, 24}, 0xFF00FF), 0);
    edit->SetText(L"abc");
    host.Repaint(dib, {0, 0, 150, 24});
    EXPECT_EQ(dib.CountColor({0, 0, 150, 24}, 0xFF00FF), 0);
    EXPECT_GT(dib.CountColor({0, 0, 150, 24}, 0x000000), 0);
}

TEST(ListEx, RowsGetTheItemHeightAndBorder)
{
    ControlsHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <LVListEx name="records" itemheight="30" itembordercolor="#FF0000FF" itembordersize="0,0,0,2"/>
    </VerticalLayout>)", {0, 0, 150, 200}));
    auto* list = static_cast<CListExUI*>(host.Find(L"records"));
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->Add(nullptr));
    auto* row = new CListElementExUI;
    ASSERT_TRUE(list->Add(row));
    EXPECT_EQ(row->GetFixedHeight(), 30);
    auto* second = new CListElementExUI;
    ASSERT_TRUE(list->AddAt(second, 0));
    MemoryDib dib(150, 200);
    host.Repaint(dib, {0, 0, 150, 200});
    RECT rc = row->GetPos();
    ASSERT_EQ(rc.top, second->GetPos().bottom);
    ASSERT_LE(rc.bottom, 200);
    EXPECT_EQ(rc.bottom - rc.top, 30);
    EXPECT_EQ(dib.At(50, rc.bottom - 1), 0x0000FFu);
    EXPECT_EQ(dib.At(50, rc.bottom - 2), 0x0000FFu);
    EXPECT_NE(dib.At(50, rc.bottom - 3), 0x0000FFu);
    EXPECT_NE(dib.At(0, rc.top + 10), 0x0000FFu);
}
