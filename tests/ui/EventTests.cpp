// Injected mouse and key input, notifications and timers delivered from the loop, native edit boxes.
#include "tests/support/TestFolders.h"
#include "tests/ui/UiTestHost.h"

#include <ole2.h>

#include <algorithm>
#include <functional>

#include <gtest/gtest.h>

namespace {

const wchar_t kButtons[] = LR"(<VerticalLayout>
  <Button name="b1" height="20"/>
  <Button name="b2" height="20" enabled="false"/>
  <Option name="o1" height="20" group="g"/>
  <Option name="o2" height="20" group="g"/>
  <CheckBox name="c1" height="20"/>
  <Slider name="s" height="20" min="0" max="100" value="10" thumbsize="10,10"/>
  <Control name="rest"/>
</VerticalLayout>)";

// The log without the entries that start with any of the prefixes (focus traffic, usually).
std::vector<std::wstring> Without(const std::vector<std::wstring>& log,
                                  std::initializer_list<const wchar_t*> prefixes = {L"setfocus", L"killfocus"})
{
    std::vector<std::wstring> out;
    for (const auto& e : log) {
        bool drop = false;
        for (const wchar_t* prefix : prefixes) drop = drop || e.compare(0, wcslen(prefix), prefix) == 0;
        if (!drop) out.push_back(e);
    }
    return out;
}

bool Logged(const std::vector<std::wstring>& log, const wchar_t* entry)
{
    return std::find(log.begin(), log.end(), entry) != log.end();
}

// Counts its timer events.
class TimerControl : public CControlUI {
public:
    void DoEvent(TEventUI& event) override
    {
        if (event.Type == UIEVENT_TIMER) ticks.push_back(static_cast<UINT>(event.wParam));
        else CControlUI::DoEvent(event);
    }
    std::vector<UINT> ticks;
};

} // namespace

TEST(UiInput, ButtonClicksOnlyWhenReleasedInside)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 100, 200}));
    host.Click(50, 10);
    host.Click(50, 30); // disabled
    host.Press(50, 10);
    host.Move(50, 150);
    host.Release(50, 150); // dragged out: no click
    EXPECT_EQ(Without(host.log), std::vector<std::wstring>{L"click:b1"});
    // The focused button answers Space and Return.
    host.log.clear();
    host.Click(50, 10);
    host.log.clear();
    host.Key(VK_SPACE);
    host.Key(VK_RETURN);
    host.Key(L'A');
    ASSERT_EQ(host.log.size(), 2u);
    EXPECT_EQ(host.log[1], L"click:b1");
    EXPECT_EQ(host.Manager().GetFocus(), host.Find(L"b1"));
}

TEST(UiInput, FocusMovesWithClicksAndHoverIsTracked)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 100, 200}));
    host.Click(50, 10);
    host.Click(50, 90);
    std::vector<std::wstring> expected = {L"setfocus:b1", L"click:b1", L"killfocus:b1", L"setfocus:c1", L"click:c1",
                                          L"selectchanged:c1"};
    EXPECT_EQ(host.log, expected);
    auto* b1 = static_cast<CButtonUI*>(host.Find(L"b1"));
    host.Move(50, 10);
    EXPECT_TRUE(b1->GetButtonState() & UISTATE_HOT);
    host.Move(50, 190);
    EXPECT_FALSE(b1->GetButtonState() & UISTATE_HOT);
}

TEST(UiInput, OptionGroupKeepsOneSelectedAndCheckBoxToggles)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 100, 200}));
    auto* o1 = static_cast<COptionUI*>(host.Find(L"o1"));
    auto* o2 = static_cast<COptionUI*>(host.Find(L"o2"));
    auto* c1 = static_cast<CCheckBoxUI*>(host.Find(L"c1"));
    host.Click(50, 50);
    host.Click(50, 70);
    host.Click(50, 70); // a selected group member stays selected
    EXPECT_FALSE(o1->IsSelected());
    EXPECT_TRUE(o2->IsSelected());
    const std::initializer_list<const wchar_t*> noise = {L"setfocus", L"killfocus", L"click"};
    std::vector<std::wstring> expected = {L"selectchanged:o1", L"selectchanged:o1", L"selectchanged:o2"};
    EXPECT_EQ(Without(host.log, noise), expected);
    host.log.clear();
    c1->SetCheck(true);
    c1->SetCheck(true);
    EXPECT_TRUE(c1->GetCheck());
    host.Click(50, 90);
    EXPECT_FALSE(c1->GetCheck());
    EXPECT_EQ(Without(host.log, noise).size(), 2u);
    o1->Selected(true, false);
    EXPECT_FALSE(o2->IsSelected());
}

TEST(UiInput, SliderFollowsTheMouseAndReportsOnRelease)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 110, 200}));
    auto* slider = static_cast<CSliderUI*>(host.Find(L"s"));
    host.Press(55, 110);
    EXPECT_EQ(slider->GetValue(), 50);
    EXPECT_TRUE(Without(host.log).empty());
    host.Move(200, 110);
    EXPECT_EQ(slider->GetValue(), 100);
    host.Release(5, 110);
    EXPECT_EQ(slider->GetValue(), 0);
    EXPECT_EQ(Without(host.log), std::vector<std::wstring>{L"valuechanged:s"});
    slider->SetValue(500);
    EXPECT_EQ(slider->GetValue(), 100);
    RECT thumb = slider->GetThumbRect();
    EXPECT_EQ(thumb.right, 110);
}

TEST(UiNotify, SyncGoesToSenderDelegatesFirstAsyncWaitsForTheLoop)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 100, 200}));
    CControlUI* b1 = host.Find(L"b1");
    std::vector<std::wstring> order;
    b1->OnNotify += [&](void* p) {
        order.push_back(L"delegate:" + std::wstring(static_cast<TNotifyUI*>(p)->sType.GetString()));
        return true;
    };
    host.Manager().SendNotify(b1, L"now", 1, 2);
    ASSERT_EQ(order.size(), 1u);
    ASSERT_EQ(host.log.size(), 1u);
    host.Manager().SendNotify(b1, L"later", 3, 4, true);
    host.Manager().SendNotify(host.Find(L"b2"), L"later2", 0, 0, true);
    EXPECT_EQ(host.log.size(), 1u);
    host.Pump(50);
    std::vector<std::wstring> expected = {L"now:b1", L"later:b1", L"later2:b2"};
    EXPECT_EQ(host.log, expected);
    EXPECT_EQ(order.back(), L"delegate:later");
}

// A handler may delete the window whose manager is delivering (a dialog deleted on its choice):
// the delivery ends there, for the notifiers after it and for the queue.
TEST(UiNotify, DeliveryEndsWhenAHandlerDeletesTheWindow)
{
    struct Listener : INotifyUI {
        std::function<void()> onNotify;
        int calls = 0;
        void Notify(TNotifyUI&) override
        {
            ++calls;
            if (onNotify) onNotify();
        }
    };
    for (bool async : {false, true}) {
        SCOPED_TRACE(async ? "queued" : "at once");
        auto* host = new UiTestHost;
        ASSERT_TRUE(host->Load(kButtons, {0, 0, 100, 200}));
        HWND window = host->Window();
        Listener killer, after;
        killer.onNotify = [&] {
            delete host;
            host = nullptr;
        };
        host->Manager().AddNotifier(&killer);
        host->Manager().AddNotifier(&after);
        host->Manager().SendNotify(host->Find(L"b1"), L"first", 0, 0, async);
        if (async) {
            host->Manager().SendNotify(host->Find(L"o1"), L"second", 0, 0, true);
            MSG msg;
            for (int i = 0; i < 20 && PeekMessageW(&msg, window, 0, 0, PM_REMOVE); ++i) DispatchMessageW(&msg);
        }
        EXPECT_EQ(nullptr, host);
        EXPECT_EQ(1, killer.calls);
        EXPECT_EQ(0, after.calls);
        delete host;
    }
}

TEST(UiNotify, PendingNotificationOfDestroyedControlIsDropped)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kButtons, {0, 0, 100, 200}));
    auto* root = static_cast<CContainerUI*>(host.Manager().GetRoot());
    CControlUI* b1 = host.Find(L"b1");
    host.Manager().SendNotify(b1, L"late", 0, 0, true);
    host.Manager().SendNotify(host.Find(L"o1"), L"kept", 0, 0, true);
    host.Manager().SetTimer(b1, 7, 10);
    root->SetDelayedDestroy(false);
    EXPECT_TRUE(root->Remove(b1));
    EXPECT_EQ(host.Find(L"b1"), nullptr);
    host.Pump(80);
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], L"kept:o1");
    // Delayed destruction (the default) also keeps the pointer away from the queue.
    CControlUI* b2 = host.Find(L"b2");
    root->SetDelayedDestroy(true);
    host.Manager().SendNotify(b2, L"late2", 0, 0, true);
    EXPECT_TRUE(root->Remove(b2));
    host.Pump(50);
    EXPECT_EQ(host.log.size(), 1u);
}

TEST(UiTimers, ControlTimersTickUntilKilled)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(L"<VerticalLayout name=\"root\"/>", {0, 0, 50, 50}));
    auto* root = static_cast<CContainerUI*>(host.Find(L"root"));
    auto* a = new TimerControl;
    auto* b = new TimerControl;
    root->Add(a);
    root->Add(b);
    ASSERT_TRUE(host.Manager().SetTimer(a, 100, 20));
    ASSERT_TRUE(host.Manager().SetTimer(a, 101, 20));
    ASSERT_TRUE(host.Manager().SetTimer(b, 100, 20));
    // Both of a's timers and b's tick.
    bool ticked = false;
    for (int i = 0; i < 100 && !ticked; ++i) {
        host.Pump(10);
        bool a100 = false, a101 = false;
        for (UINT id : a->ticks) (id == 100 ? a100 : a101) = true;
        ticked = a100 && a101 && !b->ticks.empty();
    }
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(host.Manager().KillTimer(b, 100));
    EXPECT_FALSE(host.Manager().KillTimer(b, 100));
    host.Manager().KillTimer(a);
    host.Pump(30);
    size_t aTicks = a->ticks.size(), bTicks = b->ticks.size();
    host.Pump(100);
    EXPECT_EQ(a->ticks.size(), aTicks);
    EXPECT_EQ(b->ticks.size(), bTicks);
    for (UINT id : a->ticks) EXPECT_TRUE(id == 100 || id == 101);
    for (UINT id : b->ticks) EXPECT_EQ(id, 100u);
}

TEST(UiEdit, NativeBoxReportsTextAndReturn)
{
    // Native child windows need a real window (under Xvfb).
    UiTestHost host(true);
    ASSERT_NE(host.Window(), nullptr);
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout><Edit name="e" height="24" text="abc"/><Edit name="ro" height="24" readonly="true"/><Control/></VerticalLayout>)",
                          {0, 0, 200, 100}));
    auto* edit = static_cast<CEditUI*>(host.Find(L"e"));
    host.Click(20, 12);
    HWND native = edit->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    wchar_t text[16] = {};
    GetWindowTextW(native, text, 16);
    EXPECT_STREQ(text, L"abc");
    host.log.clear();
    SetWindowTextW(native, L"typed");
    EXPECT_EQ(edit->GetText(), L"typed");
    SendMessageW(native, WM_KEYDOWN, VK_RETURN, 0);
    std::vector<std::wstring> expected = {L"textchanged:e", L"return:e"};
    EXPECT_EQ(host.log, expected);
    // Clicking elsewhere ends editing; the text stays.
    host.Click(20, 36);
    EXPECT_EQ(static_cast<CEditUI*>(host.Find(L"ro"))->GetNativeWindow(), nullptr);
    host.Pump(50);
    EXPECT_EQ(edit->GetNativeWindow(), nullptr);
    EXPECT_FALSE(IsWindow(native));
    EXPECT_EQ(edit->GetText(), L"typed");
    edit->SetPasswordMode(true);
    MemoryDib dib(200, 100);
    dib.Fill(0);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 200, 100});
    EXPECT_GT(dib.CountOther({0, 0, 200, 24}, 0xFFFFFF), 0);
}

TEST(UiList, SelectionByMouseKeysAndCode)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout>
      <List name="list" height="100" header="hidden" itemselectedbkcolor="#FF00FF00">
        <ListLabelElement name="i0" text="zero" height="20"/>
        <ListLabelElement name="i1" text="one" height="20"/>
        <ListLabelElement name="i2" text="two" height="20" enabled="false"/>
      </List>
      <Combo name="combo" height="20">
        <ListLabelElement name="c0" text="red"/>
        <ListLabelElement name="c1" text="green" enabled="false"/>
        <ListLabelElement name="c2" text="blue"/>
      </Combo>
      <Control/>
    </VerticalLayout>)",
                          {0, 0, 100, 200}));
    auto* list = static_cast<CListUI*>(host.Find(L"list"));
    ASSERT_EQ(list->GetCount(), 3);
    host.Click(50, 30);
    EXPECT_EQ(list->GetCurSel(), 1);
    EXPECT_FALSE(list->SelectItem(2));
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_TRUE(list->SelectItem(0));
    MemoryDib dib(100, 200);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 200});
    EXPECT_EQ(dib.At(95, 2), 0x00FF00u);
    std::vector<std::wstring> selects;
    for (const auto& e : host.log)
        if (e.compare(0, 10, L"itemselect") == 0 || e.compare(0, 9, L"itemclick") == 0) selects.push_back(e);
    std::vector<std::wstring> expected = {L"itemclick:i1", L"itemselect:list", L"itemselect:list"};
    EXPECT_EQ(selects, expected);
    EXPECT_TRUE(list->RemoveAt(0));
    EXPECT_EQ(list->GetCurSel(), -1);
    EXPECT_EQ(static_cast<CListLabelElementUI*>(host.Find(L"i1"))->GetIndex(), 0);

    auto* combo = static_cast<CComboUI*>(host.Find(L"combo"));
    EXPECT_TRUE(combo->SelectItem(0));
    EXPECT_EQ(combo->GetText(), L"red");
    combo->SetFocus();
    host.Key(VK_DOWN); // skips the disabled item
    EXPECT_EQ(combo->GetCurSel(), 2);
    EXPECT_EQ(combo->FindSelectable(1, false), 0);
    EXPECT_EQ(combo->FindSelectable(1, true), 2);
    host.Key(VK_DOWN);
    EXPECT_EQ(combo->GetCurSel(), 2);
    // The box shows the chosen item's text.
    dib.Fill(0xFFFFFF);
    host.Manager().PaintTo(dib.Dc(), {0, 0, 100, 200});
    EXPECT_GT(dib.CountOther({4, 102, 60, 118}, 0xFFFFFF), 5);
}

TEST(UiRichEdit, TextSelectionFormatsAndNotifications)
{
    UiTestHost host(true);
    ASSERT_NE(host.Window(), nullptr);
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout><RichEdit name="out" height="80" textcolor="#FF102030"/><Control/></VerticalLayout>)",
                          {0, 0, 200, 120}));
    auto* edit = static_cast<CRichEditUI*>(host.Find(L"out"));
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(edit->GetNativeWindow(), nullptr);
    host.log.clear();
    edit->SetText(L"Hello world");
    EXPECT_EQ(edit->GetTextLength(), 11);
    EXPECT_EQ(edit->GetText(), L"Hello world");
    EXPECT_EQ(edit->GetTextRange(6, 11), L"world");
    EXPECT_EQ(edit->GetTextRange(6, 500), L"world");
    EXPECT_TRUE(edit->GetTextRange(8, 3).IsEmpty());
    edit->SetSel(0, 5);
    edit->ReplaceSel(L"Goodbye");
    EXPECT_EQ(edit->GetText(), L"Goodbye world");
    edit->EndDown();
    long start = -1, end = -1;
    edit->GetSel(start, end);
    EXPECT_EQ(start, 13);
    EXPECT_EQ(end, 13);
    CHARFORMAT2W cf{};
    cf.dwMask = CFM_BOLD | CFM_COLOR | CFM_SIZE;
    cf.dwEffects = CFE_BOLD;
    cf.crTextColor = RGB(255, 0, 0);
    cf.yHeight = 12 * 15;
    edit->SetSel(0, 7);
    EXPECT_TRUE(edit->SetSelectionCharFormat(cf));
    CHARFORMAT2W back{};
    back.cbSize = sizeof(back);
    SendMessageW(edit->GetNativeWindow(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&back));
    EXPECT_TRUE(back.dwEffects & CFE_BOLD);
    EXPECT_EQ(back.crTextColor, RGB(255, 0, 0));
    // Changes and Return reach the window as notifications; Return adds no line.
    EXPECT_TRUE(Logged(host.log, L"textchanged:out"));
    SendMessageW(edit->GetNativeWindow(), WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_TRUE(Logged(host.log, L"return:out"));
    EXPECT_EQ(edit->GetData(), L"Goodbye world");
}

TEST(UiRichEdit, AnimatedImagesInsertDrawAndComeBackAsTokens)
{
    OleInitialize(nullptr);
    {
        UiTestHost host(true);
        ASSERT_TRUE(host.Load(LR"(<VerticalLayout><RichEdit name="out" height="60" bkcolor="#FFFFFFFF"/><Control/></VerticalLayout>)",
                              {0, 0, 200, 100}));
        ShowWindow(host.Window(), SW_SHOWNOACTIVATE);
        auto* edit = static_cast<CRichEditUI*>(host.Find(L"out"));
        edit->SetText(L"a");
        edit->SetSel(-1, -1);
        CString gif = TestProgramFolder() + L"testdata\\blink.gif";
        ASSERT_TRUE(edit->InsertGif(gif));
        EXPECT_FALSE(edit->InsertGif(TestProgramFolder() + L"testdata\\missing.gif"));
        edit->ReplaceSel(L"b");
        EXPECT_EQ(edit->GetTextLength(), 3);
        EXPECT_EQ(std::wstring(edit->GetData().GetString()), L"a[\\blink]b");
        EXPECT_EQ(edit->GetImageCount(), 1);
        // Both frames reach the screen as time goes by.
        bool red = false, blue = false;
        HWND native = edit->GetNativeWindow();
        for (int i = 0; i < 60 && !(red && blue); ++i) {
            edit->RedrawImages();
            UpdateWindow(native);
            HDC dc = GetDC(native);
            MemoryDib dib(60, 40);
            BitBlt(dib.Dc(), 0, 0, 60, 40, dc, 0, 0, SRCCOPY);
            ReleaseDC(native, dc);
            red = red || dib.CountColor({0, 0, 60, 40}, 0xFF0000) > 20;
            blue = blue || dib.CountColor({0, 0, 60, 40}, 0x0000FF) > 20;
            host.Pump(20);
        }
        EXPECT_TRUE(red);
        EXPECT_TRUE(blue);
        edit->SetText(L"");
        EXPECT_EQ(edit->GetImageCount(), 0);
        EXPECT_TRUE(edit->GetData().IsEmpty());
    }
    OleUninitialize();
}
