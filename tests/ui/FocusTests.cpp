// Tab and Shift+Tab walk the focus through the tab stops in tree order.
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kForm[] = LR"(<VerticalLayout>
  <Button name="first" height="20"/>
  <Control name="plain" height="20"/>
  <HorizontalLayout height="20">
    <Button name="off" enabled="false"/>
    <Button name="gone" visible="false"/>
    <Option name="second"/>
    <Button name="nokeys" keyboard="false"/>
  </HorizontalLayout>
  <TabLayout name="pages" height="20">
    <Button name="shown"/>
    <Button name="behind"/>
  </TabLayout>
  <Combo name="last" height="20"><ListLabelElement text="a"/></Combo>
  <Control/>
</VerticalLayout>)";

// Holds Shift (or Ctrl) down in this thread's key state while it lives.
class HeldKey {
public:
    explicit HeldKey(int vk) : m_vk(vk)
    {
        GetKeyboardState(m_saved);
        BYTE state[256];
        memcpy(state, m_saved, sizeof(state));
        state[vk] = 0x80;
        SetKeyboardState(state);
    }
    ~HeldKey() { SetKeyboardState(m_saved); }

private:
    int m_vk;
    BYTE m_saved[256];
};

std::wstring FocusName(UiTestHost& host)
{
    CControlUI* focus = host.Manager().GetFocus();
    return focus ? focus->GetName().GetString() : L"";
}

} // namespace

TEST(UiFocus, TabWalksTheTabStopsInTreeOrderAndWraps)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kForm, {0, 0, 200, 200}));
    host.log.clear();
    std::vector<std::wstring> order;
    for (int i = 0; i < 5; ++i) {
        host.Key(VK_TAB);
        order.push_back(FocusName(host));
    }
    std::vector<std::wstring> expected = {L"first", L"second", L"shown", L"last", L"first"};
    EXPECT_EQ(order, expected);
    // Each move takes the focus from one control before giving it to the next.
    std::vector<std::wstring> log = {L"setfocus:first", L"killfocus:first", L"setfocus:second", L"killfocus:second",
                                     L"setfocus:shown", L"killfocus:shown", L"setfocus:last", L"killfocus:last",
                                     L"setfocus:first"};
    EXPECT_EQ(host.log, log);

    // Another page of the tab layout brings its own button into the walk.
    static_cast<CTabLayoutUI*>(host.Find(L"pages"))->SelectItem(1);
    host.Key(VK_TAB);
    host.Key(VK_TAB);
    EXPECT_EQ(FocusName(host), L"behind");
}

TEST(UiFocus, ShiftTabGoesBackAndCtrlTabIsLeftAlone)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(kForm, {0, 0, 200, 200}));
    {
        HeldKey shift(VK_SHIFT);
        host.Key(VK_TAB); // from nothing: the last stop
        EXPECT_EQ(FocusName(host), L"last");
        host.Key(VK_TAB);
        EXPECT_EQ(FocusName(host), L"shown");
        host.Key(VK_TAB);
        host.Key(VK_TAB);
        EXPECT_EQ(FocusName(host), L"first");
        host.Key(VK_TAB); // wraps to the end
        EXPECT_EQ(FocusName(host), L"last");
    }
    {
        HeldKey ctrl(VK_CONTROL);
        host.Key(VK_TAB);
        EXPECT_EQ(FocusName(host), L"last");
    }
    // A control that went away since it had the focus does not stop the walk.
    host.Find(L"last")->SetVisible(false);
    host.Key(VK_TAB);
    EXPECT_EQ(FocusName(host), L"first");
    host.Find(L"first")->SetEnabled(false);
    host.Key(VK_TAB);
    EXPECT_EQ(FocusName(host), L"second");
}

TEST(UiFocus, AWindowWithoutTabStopsKeepsTheKey)
{
    UiTestHost host;
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout><Control name="a" height="20"/><Label name="b" text="x"/></VerticalLayout>)",
                          {0, 0, 100, 100}));
    EXPECT_FALSE(host.Manager().SetNextTabControl(true));
    EXPECT_FALSE(host.Manager().SetNextTabControl(false));
    host.Key(VK_TAB);
    EXPECT_EQ(host.Manager().GetFocus(), nullptr);
    MSG msg{host.Window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_FALSE(CPaintManagerUI::TranslateMessage(&msg));
}

TEST(UiFocus, TabLeavesANativeEditBoxWithoutTypingATab)
{
    UiTestHost host(true);
    ASSERT_NE(host.Window(), nullptr);
    ASSERT_TRUE(host.Load(LR"(<VerticalLayout><Edit name="e" height="24" text="abc"/><Button name="b" height="20"/><Control/></VerticalLayout>)",
                          {0, 0, 200, 100}));
    auto* edit = static_cast<CEditUI*>(host.Find(L"e"));
    host.Click(20, 12);
    HWND native = edit->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(FocusName(host), L"e");
    // The key reaches the loop addressed to the native box; the layer takes it before the box does.
    MSG msg{native, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(CPaintManagerUI::TranslateMessage(&msg));
    EXPECT_EQ(FocusName(host), L"b");
    host.Pump(50);
    EXPECT_EQ(edit->GetText(), L"abc");
    EXPECT_EQ(edit->GetNativeWindow(), nullptr);
    // And back into the edit with Shift+Tab.
    {
        HeldKey shift(VK_SHIFT);
        MSG back{host.Window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
        EXPECT_TRUE(CPaintManagerUI::TranslateMessage(&back));
    }
    EXPECT_EQ(FocusName(host), L"e");
}

TEST(UiFocus, ASkinnedChildWindowWalksItsOwnControls)
{
    UiTestHost outer(true), inner(true);
    ASSERT_NE(outer.Window(), nullptr);
    ASSERT_NE(inner.Window(), nullptr);
    ASSERT_TRUE(outer.Load(LR"(<VerticalLayout><Button name="o1" height="20"/><Button name="o2" height="20"/></VerticalLayout>)",
                           {0, 0, 200, 100}));
    ASSERT_TRUE(inner.Load(LR"(<VerticalLayout><Button name="i1" height="20"/><Button name="i2" height="20"/></VerticalLayout>)",
                           {0, 0, 100, 50}));
    SetWindowLongW(inner.Window(), GWL_STYLE, WS_CHILD | WS_VISIBLE);
    SetParent(inner.Window(), outer.Window());
    MSG msg{inner.Window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(CPaintManagerUI::TranslateMessage(&msg));
    EXPECT_EQ(FocusName(inner), L"i1");
    EXPECT_EQ(outer.Manager().GetFocus(), nullptr);
    MSG parent{outer.Window(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    EXPECT_TRUE(CPaintManagerUI::TranslateMessage(&parent));
    EXPECT_EQ(FocusName(outer), L"o1");
    SetParent(inner.Window(), nullptr);
}
