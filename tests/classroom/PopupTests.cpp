// Popup menus and the microphone-queue window under Xvfb: placement under the owner's point, clicks
// reported and the menu gone before the owner acts, losing the focus closing without a report, the
// roster menu's notification, and the queue's three lists used in turn with the height of its rows.
#include "classroom/MicSeqWnd.h"
#include "classroom/PopupMenus.h"
#include "controls/MicList.h"
#include "core/WindowMessages.h"
#include "platform/ui/UIRender.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/MessageSink.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

namespace {

HWND g_menuWindow = nullptr;
bool g_menuGoneFirst = false;

void CheckMenuGone(const RecordedMessage& m)
{
    if (m.message == WM_USER_OPTION_MENU) g_menuGoneFirst = !IsWindow(g_menuWindow);
}

RECT WindowRect(HWND hwnd)
{
    RECT rc{};
    GetWindowRect(hwnd, &rc);
    return rc;
}

int ClientHeight(HWND hwnd)
{
    RECT rc{};
    GetClientRect(hwnd, &rc);
    return rc.bottom;
}

} // namespace

TEST(OptionMenu, SitsUnderThePointReportsBeforeTheOwnerActsAndClosesWithTheFocus)
{
    UseProgramFolderSkins();
    TopLevelSink owner({100, 100, 740, 580});
    HWND menu = ShowBubbleMenu({30, 40}, new COptionMenu, owner.Handle());
    ASSERT_TRUE(menu);
    RECT rc = WindowRect(menu);
    EXPECT_EQ(rc.left, 100); // closer to the edge than half its width: flush with the owner
    EXPECT_EQ(rc.top, 140);
    EXPECT_EQ(rc.right - rc.left, 120);
    EXPECT_EQ(GetWindow(menu, GW_OWNER), owner.Handle());
    const LONG ex = GetWindowLongW(menu, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    DestroyWindow(menu);

    menu = ShowBubbleMenu({400, 40}, new COptionMenu, owner.Handle());
    ASSERT_TRUE(menu);
    EXPECT_EQ(WindowRect(menu).left, 100 + 400 - 60);

    const struct { const wchar_t* item; WPARAM choice; } items[] = {
        {L"SettingBtn", 1}, {L"ChatRecordBtn", 2}, {L"QuitBtn", 3}, {L"AboutBtn", 4}};
    DestroyWindow(menu);
    for (const auto& item : items) {
        auto* optionMenu = new COptionMenu;
        menu = ShowBubbleMenu({400, 40}, optionMenu, owner.Handle());
        ASSERT_TRUE(menu);
        CPaintManagerUI* pm = optionMenu->GetPaintManager();
        owner.Clear();
        g_menuWindow = menu;
        g_menuGoneFirst = false;
        owner.onMessage = &CheckMenuGone;
        ASSERT_TRUE(ClickControl(*pm, item.item)) << item.item;
        ASSERT_TRUE(owner.WaitFor(WM_USER_OPTION_MENU, 1));
        EXPECT_EQ(owner.Received(WM_USER_OPTION_MENU)[0].wParam, item.choice);
        EXPECT_EQ(owner.Received(WM_USER_OPTION_MENU)[0].lParam, 0);
        EXPECT_TRUE(g_menuGoneFirst) << item.item;
        owner.onMessage = nullptr;
    }

    // Losing the focus closes the menu without a report.
    owner.Clear();
    menu = ShowBubbleMenu({100, 40}, new COptionMenu, owner.Handle());
    ASSERT_TRUE(menu);
    SetFocus(menu);
    SetFocus(owner.Handle());
    PumpUntil([&] { return !IsWindow(menu); }, 2000);
    EXPECT_FALSE(IsWindow(menu));
    EXPECT_EQ(owner.Count(WM_USER_OPTION_MENU), 0u);
    EXPECT_EQ(ShowBubbleMenu({10, 10}, nullptr, owner.Handle()), nullptr);
}

TEST(StudentListMenu, ShowsTheRowsPageAndNotifiesTheRoster)
{
    UseProgramFolderSkins();
    UiTestHost host(true);
    ASSERT_TRUE(host.Load(L"<VerticalLayout><Control name=\"StudentList\"/></VerticalLayout>", {0, 0, 300, 300}));
    SetWindowPos(host.Window(), nullptr, 50, 50, 300, 300, SWP_NOZORDER | SWP_SHOWWINDOW | SWP_NOACTIVATE);
    CControlUI* roster = host.Find(L"StudentList");

    auto* menu = new CStudentListMenu(roster, 2);
    HWND hwnd = ShowBubbleMenu({150, 20}, menu, host.Window());
    ASSERT_TRUE(hwnd);
    CPaintManagerUI& pm = *menu->GetPaintManager();
    LayOut(pm);
    auto* pages = static_cast<CTabLayoutUI*>(pm.FindControl(L"MenuPages"));
    ASSERT_TRUE(pages);
    EXPECT_EQ(pages->GetCurSel(), 2);
    EXPECT_EQ(ClientHeight(hwnd), 112 + 80 - 106);
    ASSERT_TRUE(ClickControl(pm, L"UnsetAssistantBtn"));
    ASSERT_EQ(host.log.size(), 1u);
    EXPECT_EQ(host.log[0], L"UnsetAssistant:StudentList");
    PumpUntil([&] { return !IsWindow(hwnd); }, 2000);
    EXPECT_FALSE(IsWindow(hwnd));

    const wchar_t* const kinds[] = {L"SetAssistant", L"ForbidSpeaking", L"ThrowOut", L"ChangeTeacher"};
    for (const wchar_t* kind : kinds) {
        host.log.clear();
        auto* again = new CStudentListMenu(roster, 0);
        HWND w = ShowBubbleMenu({150, 20}, again, host.Window());
        ASSERT_TRUE(w);
        std::wstring button = std::wstring(kind) + L"Btn";
        ASSERT_TRUE(ClickControl(*again->GetPaintManager(), button.c_str())) << kind;
        ASSERT_EQ(host.log.size(), 1u) << kind;
        EXPECT_EQ(host.log[0], std::wstring(kind) + L":StudentList");
        PumpUntil([&] { return !IsWindow(w); }, 2000);
    }
}

namespace {

MicQueueRecord* Queue(int count)
{
    auto* queue = new MicQueueRecord;
    for (int i = 0; i < count; ++i) {
        UserRecord user;
        user.userId = 1000 + i;
        user.nickName.Format(L"Student %d", i);
        user.role = i == 2 ? eRole_MicConnecting : eRole_MicApplied;
        queue->users.push_back(user);
    }
    queue->extra.resize(16);
    return queue;
}

class MicQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        window = new CMicSeqWnd;
        hwnd = window->Create(parent.Handle(), L"MicSeq", WS_POPUP | WS_VISIBLE, 0, 300, 200, 0, 0);
        ASSERT_TRUE(hwnd);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    int ShownList()
    {
        auto* tabs = static_cast<CTabLayoutUI*>(window->GetPaintManager()->FindControl(L"mainui"));
        return tabs ? tabs->GetCurSel() : -1;
    }
    TopLevelSink parent;
    CMicSeqWnd* window = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(MicQueue, ListsAreUsedInTurnAndTheHeightFollowsTheRows)
{
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, 0); // no queue: nothing
    EXPECT_EQ(window->GetFillCount(), 0);
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(7)));
    EXPECT_EQ(ShownList(), 0);
    EXPECT_EQ(ClientHeight(hwnd), 5 * 26 + 2);
    auto* list = static_cast<CMicListUI*>(window->GetPaintManager()->FindControl(L"MicSeqList00"));
    EXPECT_EQ(list->GetCount(), 7);
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(2)));
    EXPECT_EQ(ShownList(), 1);
    EXPECT_EQ(ClientHeight(hwnd), 2 * 26 + 2);
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(3)));
    EXPECT_EQ(ShownList(), 2);
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(1)));
    EXPECT_EQ(ShownList(), 0);
    EXPECT_EQ(ClientHeight(hwnd), 28);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(MicQueue, TheTeacherScrollsToTheSixthUserGivesThemTheMicrophoneAndTakesItBackFromTheConnectingOne)
{
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(7)));
    CPaintManagerUI& pm = *window->GetPaintManager();
    LayOut(pm);
    auto* list = static_cast<CMicListUI*>(pm.FindControl(L"MicSeqList00"));
    ASSERT_NE(list, nullptr);
    auto clickButtonOf = [&](CControlUI* item) {
        auto* row = static_cast<CMicElementUI*>(item->GetInterface(L"MicElement"));
        ASSERT_NE(row, nullptr);
        RECT button = row->GetButtonRect();
        ASSERT_FALSE(IsRectEmpty(&button));
        ClickClient(hwnd, (button.left + button.right) / 2, (button.top + button.bottom) / 2);
    };
    RECT client{};
    GetClientRect(hwnd, &client);
    CControlUI* sixth = list->GetItemAt(5);
    CControlUI* connecting = list->GetItemAt(2);
    ASSERT_NE(sixth, nullptr);
    // "Speak" and "Cancel" read whole on their buttons, which line up row under row.
    HDC dc = GetDC(hwnd);
    for (int i : {0, 2}) {
        auto* row = static_cast<CMicElementUI*>(list->GetItemAt(i));
        RECT button = row->GetButtonRect();
        const wchar_t* text = i == 2 ? L"Cancel" : L"Speak";
        SIZE need = CRenderEngine::GetTextSize(dc, &pm, text, list->GetListInfo()->nFont, DT_SINGLELINE);
        EXPECT_GE(button.right - button.left, need.cx + 2) << text;
        EXPECT_EQ(button.left, static_cast<CMicElementUI*>(list->GetItemAt(0))->GetButtonRect().left);
    }
    ReleaseDC(hwnd, dc);
    EXPECT_GT(sixth->GetPos().bottom, client.bottom); // five rows fit; the sixth is below them
    CScrollBarUI* bar = list->GetList()->GetVerticalScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->IsVisible());

    // The wheel over the list, notch by notch, until the row is whole in the window.
    POINT over{client.right / 2, client.bottom / 2};
    ClientToScreen(hwnd, &over);
    auto scrollTo = [&](CControlUI* row, short delta) {
        for (int notch = 0; notch < 20 && (row->GetPos().bottom > client.bottom || row->GetPos().top < 0); ++notch) {
            SendMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), MAKELPARAM(over.x, over.y));
            LayOut(pm);
        }
    };
    scrollTo(sixth, -WHEEL_DELTA);
    ASSERT_LE(sixth->GetPos().bottom, client.bottom);
    clickButtonOf(sixth);
    // The connecting user gives way first, then the sixth user is accepted.
    ASSERT_TRUE(parent.WaitFor(WM_USER_MIC_REQUEST, 2));
    // Back up the list, the connecting user's own button takes the microphone back.
    scrollTo(connecting, WHEEL_DELTA);
    ASSERT_GE(connecting->GetPos().top, 0);
    clickButtonOf(connecting);
    ASSERT_TRUE(parent.WaitFor(WM_USER_MIC_REQUEST, 3));
    std::vector<std::pair<WPARAM, LPARAM>> got;
    for (const auto& r : parent.Received(WM_USER_MIC_REQUEST)) got.emplace_back(r.wParam, r.lParam);
    const std::vector<std::pair<WPARAM, LPARAM>> expected = {{2, 1002}, {1, 1005}, {2, 1002}};
    EXPECT_EQ(got, expected);
}

TEST_F(MicQueue, AnEmptyQueueOrLostFocusClosesTheWindow)
{
    SendMessageW(hwnd, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(Queue(0)));
    PumpUntil([&] { return !IsWindow(hwnd); }, 2000);
    EXPECT_FALSE(IsWindow(hwnd));

    window = new CMicSeqWnd;
    hwnd = window->Create(parent.Handle(), L"MicSeq", WS_POPUP | WS_VISIBLE, 0, 300, 200, 0, 0);
    ASSERT_TRUE(hwnd);
    SetFocus(hwnd);
    SetFocus(parent.Handle());
    PumpUntil([&] { return !IsWindow(hwnd); }, 2000);
    EXPECT_FALSE(IsWindow(hwnd));
}
