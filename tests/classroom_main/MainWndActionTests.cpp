// The user's actions in the class window as the room receives them, and the window's end.
#include "tests/classroom_main/MainWndTestSupport.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/fakes/castmix/CastmixDouble.h"

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

// Clicked on the window: the room hears the class state, the engine sends at 10 while the class
// runs and at 5 after it; with one stream server a switch has nowhere to go and changes nothing.
TEST(MainWndActions, ClassBeginAndEndGoToTheRoomAndTheEngine)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CPaintManagerUI& pm = *h.main->GetPaintManager();
    const size_t joinStates = engine.CountOf("SetSendState");
    ASSERT_TRUE(ClickControl(pm, L"ClassBeginBtn"));
    ASSERT_EQ(engine.CountOf("SetSendState"), joinStates + 1);
    EXPECT_EQ(engine.Last("SetSendState")->args, (std::vector<long long>{10}));
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

    const ServerNode stream = SessionContext::Instance()->GetStreamServer();
    ASSERT_TRUE(ClickControl(pm, L"SwitchNetworkBtn"));
    EXPECT_EQ(engine.CountOf("ChangeStreamServer"), 0u);
    EXPECT_EQ(SessionContext::Instance()->GetStreamServer().id, stream.id);

    ASSERT_TRUE(ClickControl(pm, L"ClassOverBtn"));
    ASSERT_EQ(engine.CountOf("SetSendState"), joinStates + 2);
    EXPECT_EQ(engine.Last("SetSendState")->args, (std::vector<long long>{5}));
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

TEST(MainWndActions, SidePartsToggleAndTheWindowsEndStopsTheConnectionAndEndsTheSession)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    Notify(h, h.Find(L"LeftCtrlBtn"), L"click");
    EXPECT_FALSE(h.Find(L"LeftPart")->IsVisible());
    Notify(h, h.Find(L"LeftCtrlBtn"), L"click");
    EXPECT_TRUE(h.Find(L"LeftPart")->IsVisible());
    Notify(h, h.Find(L"RightCtrlBtn"), L"click");
    EXPECT_FALSE(h.Find(L"RightPart")->IsVisible());

    PostMessageW(h.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(h.WaitForEnd(5000));
    EXPECT_EQ(SessionContext::Existing(), nullptr);
    EXPECT_FALSE(CProtocolMgr::Instance()->Channel()->IsConnected());
    EXPECT_TRUE(h.room.reg.WaitForClientGone(5000));
}

TEST(MainWndLive, TeachersSwitchesPlaceTheSourcesAndTellTheRoomOnceTheClassRuns)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    // Before the class: placed, but the room hears nothing.
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Whiteboard, 2)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveWhiteboard).empty());

    BeginClass(h);
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
