// The roster's per-participant menu in the class window: a right click on a row opens it for a
// teacher, and its choice reaches the room through the window's handling of the row.
#include "tests/classroom/WindowTestSupport.h"
#include "tests/classroom_main/MainWndTestSupport.h"

#include "protocol/CmdProtocol.h"

using namespace fakeroom;

namespace {

// A right click in the middle of the row, as the window receives it: the button, then the menu key
// message with the point on the screen.
void RightClick(MainWndHarness& h, CControlUI* row)
{
    RECT rc = row->GetPos();
    POINT at{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    SendMessageW(h.window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
    SendMessageW(h.window, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    POINT screen = at;
    ClientToScreen(h.window, &screen);
    SendMessageW(h.window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h.window), MAKELPARAM(screen.x, screen.y));
    PumpUntil([] { return false; }, 100);
}

HWND OpenMenu() { return FindWindowW(L"__LVStudentListMenu__", nullptr); }

CPaintManagerUI* ManagerOfMenu(HWND menu)
{
    auto* window = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(menu, GWLP_USERDATA));
    return window ? static_cast<WindowImplBase*>(window)->GetPaintManager() : nullptr;
}

bool ClickInMenu(HWND menu, const wchar_t* name)
{
    CPaintManagerUI* pm = ManagerOfMenu(menu);
    return pm && ClickControl(*pm, name);
}

bool Seated(MainWndHarness& h)
{
    if (!h.StartAndJoin()) return false;
    PumpUntil([&] { return RowOf(h, 21) && RowOf(h, 21)->GetPos().bottom > RowOf(h, 21)->GetPos().top; }, 3000);
    return RowOf(h, 21) != nullptr;
}

} // namespace

TEST(MainWndRosterMenu, ATeachersRightClickOpensTheMenuOnOthersRowsAndOnlyThrowOutReachesTheRoom)
{
    MainWndHarness h;
    h.users = UserList({h.users, UserEntry(25, 3, 1, "Mr Grey", "grey")});
    h.room.reg.SetReply(eType_RoomUsers, 1, h.users);
    ASSERT_TRUE(Seated(h));
    ASSERT_EQ(OpenMenu(), nullptr);
    CStudentListElement* own = RowOf(h, kOwnId);
    ASSERT_NE(own, nullptr);
    RightClick(h, own);
    EXPECT_EQ(OpenMenu(), nullptr) << "no menu on the own row";
    EXPECT_EQ(own->GetMenuWindow(), nullptr);

    // Another teacher's row shows only the hand-over; the window shrinks by the difference of the pages' heights.
    CStudentListElement* grey = RowOf(h, 25);
    ASSERT_NE(grey, nullptr);
    RightClick(h, grey);
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    CPaintManagerUI* pm = ManagerOfMenu(menu);
    ASSERT_NE(pm, nullptr);
    auto* pages = static_cast<CTabLayoutUI*>(pm->FindControl(L"MenuPages"));
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->GetCurSel(), 3);
    RECT client;
    GetClientRect(menu, &client);
    EXPECT_EQ(client.bottom, pm->GetInitSize().cy + 30 - 106);
    DestroyWindow(menu);

    // A student's row: the menu opens under the row, owned by the window.
    CStudentListElement* ben = RowOf(h, 21);
    RightClick(h, ben);
    menu = OpenMenu();
    ASSERT_NE(menu, nullptr) << "the right click opened no menu";
    EXPECT_EQ(ben->GetMenuWindow(), menu);
    EXPECT_EQ(GetWindow(menu, GW_OWNER), h.window);
    EXPECT_TRUE(IsWindowVisible(menu));
    RECT owner, placed;
    GetWindowRect(h.window, &owner);
    GetWindowRect(menu, &placed);
    EXPECT_EQ(placed.top, owner.top + ben->GetPos().bottom);
    // Other choices close the menu without a command.
    ASSERT_TRUE(ClickInMenu(menu, L"SetAssistantBtn"));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(menu); }, 2000)) << "a choice closes the menu";
    Settle(200);
    EXPECT_TRUE(h.room.reg.Messages(eType_KickOff).empty());

    RightClick(h, ben);
    menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(ClickInMenu(menu, L"ThrowOutBtn"));
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_KickOff, 1));
    std::vector<Packet> kicks = h.room.reg.Messages(eType_KickOff);
    ASSERT_EQ(kicks.size(), 1u);
    EXPECT_EQ(kicks[0].header.destination, 21u);
    EXPECT_EQ(kicks[0].payload, BuildKickPayload(kRoomId));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(menu); }, 2000));
}

TEST(MainWndRosterMenu, NoMenuForAStudent)
{
    MainWndHarness student(4);
    ASSERT_TRUE(Seated(student));
    RightClick(student, RowOf(student, 21));
    EXPECT_EQ(OpenMenu(), nullptr);
}
