// A skinned window under Xvfb: sized by its skin file, hit tests, Escape, the close button, the combo list.
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

namespace {

const char kSkin[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Window size="320,240" caption="0,0,0,30" sizebox="5,5,5,5" mininfo="200,150" maxinfo="500,400">
  <VerticalLayout bkcolor="#FFFFFFFF">
    <HorizontalLayout name="caption" height="30" bkcolor="#FF2F6DB5">
      <Label name="title" text="Title"/>
      <Text name="link" width="40" text="x"/>
      <Button name="closebtn" width="30"/>
    </HorizontalLayout>
    <Combo name="combo" height="24" dropboxsize="0,100">
      <ListLabelElement name="c0" text="red"/>
      <ListLabelElement name="c1" text="green"/>
      <ListLabelElement name="c2" text="blue"/>
    </Combo>
    <Control/>
  </VerticalLayout>
</Window>)";

class TestWnd : public WindowImplBase {
public:
    ~TestWnd() override
    {
        if (IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
    }
    LPCTSTR GetWindowClassName() const override { return L"LvUiTestWnd"; }
    CDuiString GetSkinFolder() override { return L""; }
    CDuiString GetSkinFile() override { return L"TestWnd.xml"; }
    void InitWindow() override { initialised = true; }
    void Notify(TNotifyUI& msg) override
    {
        log.push_back(std::wstring(msg.sType.GetString()) + L":" + (msg.pSender ? msg.pSender->GetName().GetString() : L""));
        WindowImplBase::Notify(msg);
    }
    void OnFinalMessage(HWND hWnd) override
    {
        WindowImplBase::OnFinalMessage(hWnd);
        finalCalls++;
    }
    bool initialised = false;
    int finalCalls = 0;
    std::vector<std::wstring> log;
};

bool Has(const std::vector<std::wstring>& log, const wchar_t* entry)
{
    for (const auto& e : log)
        if (e == entry) return true;
    return false;
}

class SkinFolder {
public:
    SkinFolder() : m_old(CPaintManagerUI::GetResourcePath())
    {
        WriteFileBytes(m_folder.File(L"TestWnd.xml"), kSkin);
        CPaintManagerUI::SetResourcePath(m_folder.Path());
    }
    ~SkinFolder() { CPaintManagerUI::SetResourcePath(m_old); }

private:
    TempFolder m_folder;
    CDuiString m_old;
};

LRESULT HitTest(HWND hwnd, int x, int y)
{
    POINT pt{x, y};
    ClientToScreen(hwnd, &pt);
    return SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
}

} // namespace

TEST(UiWindow, SkinnedWindowLifecycleAndHitTests)
{
    SkinFolder skin;
    TestWnd wnd;
    ASSERT_NE(wnd.Create(nullptr, L"test", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 100, 100, 50, 50), nullptr);
    HWND hwnd = wnd.GetHWND();
    EXPECT_TRUE(wnd.initialised);
    // The skin's size, and the native caption taken away (the skin draws its own).
    RECT rc;
    GetWindowRect(hwnd, &rc);
    EXPECT_EQ(rc.right - rc.left, 320);
    EXPECT_EQ(rc.bottom - rc.top, 240);
    EXPECT_FALSE(GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION);
    wnd.ShowWindow(true);
    UpdateWindow(hwnd);
    EXPECT_TRUE(PumpUntil([&] { return Has(wnd.log, L"windowinit:"); }, 2000));

    EXPECT_EQ(HitTest(hwnd, 1, 100), HTLEFT);
    EXPECT_EQ(HitTest(hwnd, 318, 238), HTBOTTOMRIGHT);
    EXPECT_EQ(HitTest(hwnd, 1, 1), HTTOPLEFT);
    EXPECT_EQ(HitTest(hwnd, 100, 15), HTCAPTION);     // over the label: drags
    EXPECT_EQ(HitTest(hwnd, 270, 15), HTCLIENT);      // over the text control
    EXPECT_EQ(HitTest(hwnd, 305, 15), HTCLIENT);      // over the close button
    EXPECT_EQ(HitTest(hwnd, 100, 100), HTCLIENT);

    MINMAXINFO info{};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 200);
    EXPECT_EQ(info.ptMaxTrackSize.y, 400);

    // The combo opens its list in a window of its own; a click on an item selects it and closes it.
    auto* combo = static_cast<CComboUI*>(wnd.GetPaintManager()->FindControl(L"combo"));
    ASSERT_NE(combo, nullptr);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 40));
    PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(50, 40));
    ASSERT_TRUE(PumpUntil([&] { return combo->GetDropWindow() != nullptr; }, 2000));
    EXPECT_TRUE(Has(wnd.log, L"dropdown:combo"));
    HWND drop = combo->GetDropWindow()->GetHWND();
    CControlUI* blue = wnd.GetPaintManager()->FindControl(L"c2");
    ASSERT_NE(blue, nullptr);
    RECT item = blue->GetPos();
    LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    PostMessageW(drop, WM_MOUSEMOVE, 0, at);
    PostMessageW(drop, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(drop, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(PumpUntil([&] { return combo->GetDropWindow() == nullptr; }, 2000));
    EXPECT_EQ(combo->GetCurSel(), 2);
    EXPECT_EQ(combo->GetText(), L"blue");
    EXPECT_TRUE(Has(wnd.log, L"itemselect:combo"));
    // Back in the combo's tree after the list closed.
    EXPECT_EQ(blue->GetManager(), wnd.GetPaintManager());
    EXPECT_EQ(blue->GetParent(), combo);

    // Escape closes the window; the final message comes once.
    PostMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 2000));
    EXPECT_EQ(wnd.finalCalls, 1);
}

TEST(UiWindow, CloseButtonAndMissingSkin)
{
    SkinFolder skin;
    {
        TestWnd wnd;
        ASSERT_NE(wnd.Create(nullptr, L"test", WS_POPUP, 0), nullptr);
        HWND hwnd = wnd.GetHWND();
        wnd.ShowWindow(true);
        PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(305, 15));
        PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(305, 15));
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(305, 15));
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(hwnd); }, 2000));
        EXPECT_TRUE(Has(wnd.log, L"click:closebtn"));
    }
    CPaintManagerUI::SetResourcePath(L"C:\\no\\such\\folder\\");
    TestWnd broken;
    EXPECT_EQ(broken.Create(nullptr, L"test", WS_POPUP, 0), nullptr);
}

TEST(UiWindow, ComboListGoesWithItsOwnerWindow)
{
    SkinFolder skin;
    TestWnd wnd;
    ASSERT_NE(wnd.Create(nullptr, L"test", WS_POPUP, 0), nullptr);
    HWND hwnd = wnd.GetHWND();
    wnd.ShowWindow(true);
    auto* combo = static_cast<CComboUI*>(wnd.GetPaintManager()->FindControl(L"combo"));
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(combo->Activate());
    ASSERT_NE(combo->GetDropWindow(), nullptr);
    CControlUI* item = wnd.GetPaintManager()->FindControl(L"c1");
    EXPECT_NE(item->GetManager(), wnd.GetPaintManager()); // in the list's window meanwhile
    // The owner window goes first; the list window is destroyed with it, without WM_CLOSE.
    DestroyWindow(hwnd);
    EXPECT_EQ(combo->GetDropWindow(), nullptr);
    EXPECT_EQ(item->GetManager(), wnd.GetPaintManager());
    EXPECT_EQ(item->GetParent(), combo);
}
