// The page number bar driven by injected clicks: the window of pages, the ellipses, "pageclick".
#include "controls/PageCtrl.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kPager[] = LR"(<HorizontalLayout>
  <LVPageCtrl name="pager" maxpages="7" frontattr="width=&quot;30&quot;" backattr="width=&quot;30&quot;"
      numattr="width=&quot;20&quot;"/>
</HorizontalLayout>)";

struct Pager {
    ControlsHost host;
    CPageCtrlUI* pager = nullptr;
    MemoryDib dib{400, 30};
    Pager()
    {
        if (host.Load(kPager, {0, 0, 400, 30})) pager = static_cast<CPageCtrlUI*>(host.Find(L"pager"));
    }
    void Layout() { host.PaintAll(dib, {0, 0, 400, 30}); }
    // The visible slots as shown, "." for the ellipsis and "*" after the selected one.
    std::wstring Shown()
    {
        std::wstring out;
        for (int i = 0; i < pager->GetVisibleSlots(); ++i) {
            COptionUI* slot = pager->GetSlot(i);
            if (!out.empty()) out += L" ";
            out += slot->GetText() == L"\x2026" ? std::wstring(L".") : std::wstring(slot->GetText().GetString());
            if (slot->IsSelected()) out += L"*";
        }
        return out;
    }
    void ClickControl(CControlUI* control)
    {
        Layout();
        RECT rc = control->GetPos();
        host.Click((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    }
    void ClickSlot(int i) { ClickControl(pager->GetSlot(i)); }
    size_t Clicks() const { return host.Of(DUI_MSGTYPE_PAGECLICK).size(); }
};

} // namespace

TEST(PageBar, FewPagesHideSlotsAndClicksMoveTheWindowOfPages)
{
    Pager p;
    ASSERT_NE(p.pager, nullptr);
    EXPECT_EQ(p.Shown(), L"1 2 3 4 5 6 7");
    EXPECT_EQ(p.pager->GetCurrentPage(), 0);
    EXPECT_EQ(p.pager->GetCurrentSlot(), -1);

    EXPECT_FALSE(p.pager->SetPageCount(0));
    ASSERT_TRUE(p.pager->SetPageCount(3));
    EXPECT_EQ(p.Shown(), L"1* 2 3");
    EXPECT_FALSE(p.pager->GetSlot(3)->IsVisible());
    EXPECT_EQ(p.pager->GetCurrentPage(), 1);
    EXPECT_EQ(p.Clicks(), 1u);

    ASSERT_TRUE(p.pager->SetPageCount(7));
    EXPECT_EQ(p.Shown(), L"1* 2 3 4 5 6 7");
    EXPECT_TRUE(p.pager->GetSlot(6)->IsVisible());
    // Slot 0 was current already: no second "pageclick".
    EXPECT_EQ(p.Clicks(), 1u);

    // The bar is centred between its spacers.
    p.Layout();
    RECT prev = p.pager->GetPrevButton()->GetPos();
    RECT next = p.pager->GetNextButton()->GetPos();
    EXPECT_EQ(next.right - prev.left, 30 + 7 * 20 + 30);
    EXPECT_EQ(prev.left, (400 - 200) / 2);

    // Clicks move the window of pages.
    ASSERT_TRUE(p.pager->SetPageCount(20));
    EXPECT_EQ(p.Shown(), L"1* 2 3 4 5 . 20");
    size_t clicks = p.Clicks();

    p.ClickSlot(4);
    EXPECT_EQ(p.Shown(), L"1 . 4 5* 6 . 20");
    EXPECT_EQ(p.pager->GetCurrentPage(), 5);
    EXPECT_EQ(p.pager->GetCurrentSlot(), 3);
    EXPECT_EQ(p.Clicks(), ++clicks);

    p.ClickControl(p.pager->GetPrevButton());
    EXPECT_EQ(p.Shown(), L"1 2 3 4* 5 . 20");
    EXPECT_EQ(p.pager->GetCurrentPage(), 4);
    EXPECT_EQ(p.Clicks(), ++clicks);

    p.ClickSlot(4);
    EXPECT_EQ(p.Shown(), L"1 . 4 5* 6 . 20");
    ++clicks;
    p.ClickControl(p.pager->GetNextButton());
    EXPECT_EQ(p.Shown(), L"1 . 5 6* 7 . 20");
    EXPECT_EQ(p.pager->GetCurrentPage(), 6);
    EXPECT_EQ(p.Clicks(), ++clicks);

    // The current slot and the ellipses do nothing.
    p.ClickSlot(3);
    p.ClickSlot(1);
    p.ClickSlot(5);
    EXPECT_EQ(p.Shown(), L"1 . 5 6* 7 . 20");
    EXPECT_EQ(p.Clicks(), clicks);
    EXPECT_FALSE(p.pager->GetSlot(1)->IsEnabled());

    p.ClickSlot(6);
    EXPECT_EQ(p.Shown(), L"1 . 16 17 18 19 20*");
    EXPECT_EQ(p.pager->GetCurrentPage(), 20);
    EXPECT_EQ(p.Clicks(), ++clicks);
    p.ClickControl(p.pager->GetNextButton()); // already at the last slot
    EXPECT_EQ(p.Clicks(), clicks);

    p.ClickSlot(3);
    EXPECT_EQ(p.Shown(), L"1 . 16 17* 18 19 20"); // no ellipsis beside it: nothing moves
    EXPECT_EQ(p.pager->GetCurrentPage(), 17);
    p.ClickSlot(0);
    EXPECT_EQ(p.Shown(), L"1* 2 3 4 5 . 20");
    EXPECT_EQ(p.pager->GetCurrentPage(), 1);
    p.ClickControl(p.pager->GetPrevButton()); // already at slot 0
    EXPECT_EQ(p.pager->GetCurrentPage(), 1);

    // Whatever the window, the first slot shows page 1 and the last the page count.
    for (int slot : {4, 4, 4, 4, 2, 6, 2, 2}) {
        p.ClickSlot(slot);
        EXPECT_EQ(p.pager->GetSlot(6)->GetText(), L"20");
        EXPECT_EQ(p.pager->GetSlot(0)->GetText(), L"1");
    }
}
