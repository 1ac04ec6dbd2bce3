// The user's actions in the class window as the room receives them, and the window's end.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "controls/PosLayouts.h"
#include "protocol/CmdProtocol.h"
#include "protocol/ProtocolMgr.h"


using namespace fakeroom;

namespace {

void Notify(MainWndHarness& h, CControlUI* control, const wchar_t* type)
{
    ASSERT_NE(control, nullptr);
    h.main->GetPaintManager()->SendNotify(control, type);
}

} // namespace

TEST(MainWndActions, ClassBeginAndEndGoToTheRoom)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    Notify(h, h.Find(L"ClassBeginBtn"), L"click");
    EXPECT_FALSE(h.Find(L"ClassBeginBtn")->IsVisible());
    EXPECT_TRUE(h.Find(L"ClassOverBtn")->IsVisible());
    EXPECT_TRUE(h.Find(L"RecordCheck")->IsVisible());
    EXPECT_TRUE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_LivingState, 1));
    std::vector<Packet> states = h.room.reg.Messages(eType_ClassState);
    ASSERT_EQ(states.size(), 1u);
    RoomInfoRecord room = SessionContext::Instance()->room;
    EXPECT_EQ(room.roomState, 2u);
    EXPECT_EQ(states[0].payload, BuildClassStatePayload(kRoomId, room));
    EXPECT_EQ(states[0].payload[10], 2);
    Packet living = h.room.reg.Messages(eType_LivingState)[0];
    LiveState expected = h.main->GetLiveState();
    ASSERT_EQ(living.payload.size(), sizeof(LiveState));
    EXPECT_EQ(memcmp(living.payload.data(), &expected, sizeof expected), 0);
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassClock() >= 1; }, 3000));

    Notify(h, h.Find(L"ClassOverBtn"), L"click");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ClassState, 2));
    EXPECT_EQ(h.room.reg.Messages(eType_ClassState)[1].payload[10], 4);
    EXPECT_TRUE(h.Find(L"ClassBeginBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"ClassOverBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"SwitchNetworkBtn")->IsVisible());
}

TEST(MainWndActions, KickAndDiscussionCommandsCarryTheirTargets)
{
    MainWndHarness h;
    h.room.reg.SetJoinReply(1, JoinReply(1, 0x0001));
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_EQ(SessionContext::Instance()->room.roomFlags, 1u);
    size_t statesBefore = h.room.reg.Messages(eType_ClassState).size();
    EXPECT_EQ(statesBefore, 0u); // flags from the room are not echoed back

    CStudentListElement* ben = RowOf(h, kBen);
    ASSERT_NE(ben, nullptr);
    Notify(h, ben, L"ThrowOut");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_KickOff, 1));
    Packet kick = h.room.reg.Messages(eType_KickOff)[0];
    EXPECT_EQ(kick.payload, BuildKickPayload(kRoomId));
    EXPECT_EQ(kick.header.destination, 21u);

    auto* discuss = static_cast<COptionUI*>(h.Find(L"AllowDiscuss"));
    ASSERT_NE(discuss, nullptr);
    discuss->Selected(true);
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ClassState, 1));
    Packet flags = h.room.reg.Messages(eType_ClassState)[0];
    ASSERT_EQ(flags.payload.size(), 23u);
    EXPECT_EQ(flags.payload[21], 3);
    EXPECT_EQ(flags.payload[22], 0);
}

TEST(MainWndActions, TheTeachersRoomControlsShowTheFlagsAndSendOnlyTheUsersChoice)
{
    MainWndHarness h; // the join reply keeps every flag set
    ASSERT_TRUE(h.StartAndJoin());
    auto* discuss = static_cast<COptionUI*>(h.Find(L"AllowDiscuss"));
    auto* model = static_cast<CComboUI*>(h.Find(L"ModelChoose"));
    ASSERT_NE(discuss, nullptr);
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(discuss->IsSelected());
    EXPECT_EQ(model->GetCurSel(), 0);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(h.room.reg.Messages(eType_ClassState).empty());

    // The teacher turns microphone requests off: the room hears the flags without bit 0.
    model->SelectItem(1);
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ClassState, 1));
    Packet off = h.room.reg.Messages(eType_ClassState)[0];
    ASSERT_EQ(off.payload.size(), 23u);
    EXPECT_EQ(off.payload[21], 0xFE);
    EXPECT_EQ(off.payload[22], 0xFF);
    EXPECT_EQ(h.Text(L"MicListBtn"), L"0");
    // The room turns them on again: the choice follows and nothing is echoed.
    auto* state = new ClassStateRecord;
    state->roomId = kRoomId;
    state->roomState = 1;
    state->roomFlags = 0xFFFF;
    PostMessageW(h.window, WM_USER_CLASS_STATE, 0, reinterpret_cast<LPARAM>(state));
    ASSERT_TRUE(PumpUntil([&] { return model->GetCurSel() == 0; }, 3000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(h.room.reg.Messages(eType_ClassState).size(), 1u);
}

TEST(MainWndActions, SidePartsToggle)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    Notify(h, h.Find(L"LeftCtrlBtn"), L"click");
    EXPECT_FALSE(h.Find(L"LeftPart")->IsVisible());
    Notify(h, h.Find(L"LeftCtrlBtn"), L"click");
    EXPECT_TRUE(h.Find(L"LeftPart")->IsVisible());
    Notify(h, h.Find(L"RightCtrlBtn"), L"click");
    EXPECT_FALSE(h.Find(L"RightPart")->IsVisible());
}

TEST(MainWndActions, TheWindowsEndStopsTheConnectionAndEndsTheSession)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND window = h.window;
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    h.window = nullptr;
    h.main = nullptr;
    EXPECT_EQ(SessionContext::Existing(), nullptr);
    EXPECT_FALSE(CProtocolMgr::Instance()->Channel()->IsConnected());
    EXPECT_TRUE(h.room.reg.WaitForClientGone(5000));
}

TEST(MainWndLayout, TeachersPanelAndButtonSitOnTheLiveAreaAndToggle)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND panel = h.main->ControlPanelWindow();
    HWND button = h.main->ControlPanelButton();
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(IsWindowVisible(button));
    EXPECT_EQ(GetWindow(panel, GW_OWNER), h.window);

    CControlUI* live = h.Find(L"LiveArea");
    ASSERT_NE(live, nullptr);
    PumpUntil([&] { return live->GetPos().right > live->GetPos().left; }, 2000);
    Notify(h, live, L"poschange");
    RECT area = ScreenRect(h.window, live->GetPos());
    RECT p{}, b{};
    GetWindowRect(panel, &p);
    GetWindowRect(button, &b);
    EXPECT_EQ(p.left, area.left + 1);
    EXPECT_EQ(p.top, area.bottom - 120);
    EXPECT_EQ(p.right, area.right - 1);
    EXPECT_EQ(p.bottom, area.bottom - 1);
    EXPECT_EQ(b.bottom, area.bottom - 120);
    EXPECT_EQ(b.left, area.left + (area.right - area.left - (b.right - b.left)) / 2);

    // The button's notice hides the panel; the button drops to one pixel above the area's bottom.
    SendMessageW(h.window, WM_USER_UI_NOTICE, 8, 0);
    EXPECT_FALSE(IsWindowVisible(panel));
    GetWindowRect(button, &b);
    EXPECT_EQ(b.bottom, area.bottom - 1);
    SendMessageW(h.window, WM_USER_UI_NOTICE, 8, 0);
    EXPECT_TRUE(IsWindowVisible(panel));
    GetWindowRect(button, &b);
    EXPECT_EQ(b.bottom, area.bottom - 120);
}

TEST(MainWndLayout, StudentsHaveNoPanelAndTheShareBarGoesWithTheWindow)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_NE(h.main->ControlPanelWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(h.main->ControlPanelWindow()));
    EXPECT_FALSE(IsWindowVisible(h.main->ControlPanelButton()));
    HWND share = h.main->ShareScreenWindow();
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(GetWindow(share, GW_OWNER), nullptr);
    EXPECT_NE(h.main->VideoLiveWindow(), nullptr);
    EXPECT_EQ(GetParent(h.main->VideoLiveWindow()), h.window);
    h.Close();
    EXPECT_FALSE(IsWindow(share));
}

TEST(MainWndLive, TeachersSwitchesPlaceTheSourcesAndTellTheRoomOnceTheClassRuns)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    // Before the class: placed, but the room hears nothing.
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Whiteboard, 2)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveWhiteboard).empty());

    Notify(h, h.Find(L"ClassBeginBtn"), L"click");
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Camera)));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_LiveCamera).size() == 1; }, 5000));
    EXPECT_EQ(h.main->GetViceContent(), eScreen_Camera); // the board keeps the main screen
    EXPECT_EQ(h.room.reg.Messages(eType_LiveCamera)[0].payload, (Bytes{0, 0x42}));

    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Whiteboard, 3)));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_LiveWhiteboard).size() == 1; }, 5000));
    EXPECT_EQ(h.room.reg.Messages(eType_LiveWhiteboard)[0].payload, (Bytes{3, 0, 0x41}));

    PostMessageW(h.window, WM_USER_PANEL_ACTION, 0, reinterpret_cast<LPARAM>(Action(ePanel_Camera)));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_LiveCamera).size() == 2; }, 5000));
    EXPECT_EQ(h.room.reg.Messages(eType_LiveCamera)[1].payload, (Bytes{0, 0x02}));
    EXPECT_EQ(h.main->GetViceContent(), eScreen_None);
    EXPECT_FALSE(h.Find(L"ViceScreenArea")->IsVisible());
    // Off again: in neither screen, nothing happens.
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 0, reinterpret_cast<LPARAM>(Action(ePanel_Camera)));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(h.room.reg.Messages(eType_LiveCamera).size(), 2u);
}
