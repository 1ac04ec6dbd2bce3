// Class begin and end from the room, the clock and the count-down labels, the chat mute, and what
// the room puts live on a student's screens.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "controls/PosLayouts.h"
#include "tests/fakes/castmix/CastmixDouble.h"

using namespace fakeroom;

namespace {

Bytes Mute(uint32_t roomId, uint32_t userId, int16_t seconds)
{
    Bytes out(12, 0);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(roomId >> (8 * i));
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(userId >> (8 * i));
    out[10] = static_cast<uint8_t>(seconds);
    out[11] = static_cast<uint8_t>(static_cast<uint16_t>(seconds) >> 8);
    return out;
}

// The join reply of a room in this state with this live state at 23.
void JoinWithLive(MainWndHarness& h, uint8_t roomState, const LiveState& live)
{
    Bytes join = JoinReply(roomState);
    memcpy(&join[23], &live, sizeof live);
    h.room.reg.SetJoinReply(1, join);
}

} // namespace

TEST(MainWndClass, ClassBeginStartsTheClockOnceEveryStateAppliesItsFlagsAndAnotherRoomChangesNothing)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext* session = SessionContext::Instance();
    auto* discuss = static_cast<COptionUI*>(h.Find(L"AllowDiscuss"));
    ASSERT_NE(discuss, nullptr);
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2, 0xFFFF, kRoomId + 1)));
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2, 2)));
    ASSERT_TRUE(h.WaitForOutput(L"Class Is Begain!"));
    EXPECT_EQ(session->room.roomState, 2u);
    EXPECT_EQ(session->room.roomFlags, 2u);
    EXPECT_TRUE(discuss->IsSelected());
    EXPECT_TRUE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeLabel") == L"00:00:01"; }, 3000)) << h.Text(L"TimeLabel").GetString();
    // The same state again: its flags still count, each time, and it shows no second text.
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2, 0)));
    ASSERT_TRUE(PumpUntil([&] { return session->room.roomFlags == 0u; }, 3000));
    EXPECT_FALSE(discuss->IsSelected());
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2, 2)));
    ASSERT_TRUE(PumpUntil([&] { return session->room.roomFlags == 2u; }, 3000));
    EXPECT_TRUE(discuss->IsSelected());
    EXPECT_EQ(Occurrences(h.OutputText(), L"Class Is Begain!"), 1);
    // The flags set by the room are not sent back to it.
    Settle();
    EXPECT_TRUE(h.room.reg.Messages(eType_ClassState).empty());

    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(h.WaitForOutput(L"Class Is Over!"));
    EXPECT_FALSE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    uint32_t stopped = h.main->GetClassClock();
    Settle(1300);
    EXPECT_EQ(h.main->GetClassClock(), stopped);
}

// Joining a class that runs already: the clock runs and the engine sends from the start.
TEST(MainWndClass, JoinWhileTheClassRunsStartsTheClock)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h(2, 2);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_EQ(engine.CountOf("Room_Join"), 1u);
    EXPECT_EQ(engine.CountOf("SetSendState"), 0u);
    EXPECT_TRUE(h.Find(L"ClassOverBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"ClassBeginBtn")->IsVisible());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassClock() >= 1; }, 3000));
}

TEST(MainWndClass, CountdownRunsToTheClassOverScreen)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(h.Push(eType_CountDwon_Notify, Countdown(2)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassLeftSeconds() == 2; }, 3000));
    // The connection is lost meanwhile: the reconnection armed for five seconds from now comes after
    // the class is over, and must start nothing then.
    const int serverLists = h.room.gateway.QueryCount(eType_ServerList);
    h.room.reg.Drop();
    ASSERT_TRUE(h.WaitForOutput(L"You are offline, Reconnecting..."));
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeCountDownLabel").Find(L"-- 00:01") >= 0; }, 3000));
    EXPECT_TRUE(h.Find(L"TimeCountDownLabel")->IsVisible());
    EXPECT_EQ(h.Find(L"TimeCountDownLabel")->GetBkColor(), 0xFF333D49u); // one left: odd
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeCountDownLabel").Find(L"-- 00:00") >= 0; }, 3000));
    EXPECT_EQ(h.Find(L"TimeCountDownLabel")->GetBkColor(), 0xFFFF3344u);
    EXPECT_FALSE(h.main->IsClassOver());
    ASSERT_TRUE(PumpUntil([&] { return h.main->IsClassOver(); }, 3000));
    EXPECT_EQ(h.Text(L"TimeCountDownLabel"), L"Class Over -- 00:00");
    EXPECT_TRUE(h.Find(L"ClassOverLayout")->IsVisible());
    // Shown, it follows the centre area.
    CControlUI* center = h.Find(L"CenterArea");
    h.main->GetPaintManager()->SendNotify(center, L"poschange");
    EXPECT_TRUE(SameRect(h.Find(L"ClassOverLayout")->GetPos(), center->GetPos()));
    EXPECT_FALSE(h.Input()->IsEnabled());
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 0);
    // The connection was stopped; a later failure or loss shows nothing and starts nothing, and the
    // reconnection armed before the end never runs.
    ASSERT_TRUE(h.room.reg.WaitForClientGone(5000));
    int lines = h.main->GetSystemLineCount();
    PostMessageW(h.window, WM_USER_OFFLINE, 0, 0);
    PostMessageW(h.window, WM_USER_CONNECT_RESULT, 0, -3);
    EXPECT_FALSE(PumpUntil([&] { return h.room.gateway.QueryCount(eType_ServerList) > serverLists; }, 6000));
    EXPECT_EQ(h.main->GetSystemLineCount(), lines);
    EXPECT_EQ(h.room.reg.Accepted(), 1);
    EXPECT_FALSE(h.Input()->IsEnabled());
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 0);
}

// A student has none of the teacher's controls and sends no pen at the join; a mute is the student's alone.
TEST(MainWndClass, AStudentHasNoTeacherControlsAndAMuteDisablesTheChatUntilReleased)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_FALSE(h.Find(L"ClassBeginBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"ClassOverBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"AllowDiscuss")->IsVisible());
    auto* tab = static_cast<CTabLayoutUI*>(h.Find(L"Switch_T_S_MicPart"));
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->GetCurSel(), 1);
    ASSERT_NE(h.main->ControlPanelWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(h.main->ControlPanelWindow()));
    EXPECT_FALSE(IsWindowVisible(h.main->ControlPanelButton()));
    EXPECT_NE(h.main->VideoLiveWindow(), nullptr);
    EXPECT_EQ(GetParent(h.main->VideoLiveWindow()), h.window);
    Settle(600);
    EXPECT_TRUE(h.room.reg.Messages(eType_PaintObject).empty());

    ASSERT_TRUE(h.Push(eType_ForbidSpeaking_Notify, Mute(kRoomId, 21, 30))); // someone else
    ASSERT_TRUE(h.Push(eType_ForbidSpeaking_Notify, Mute(kRoomId, kOwnId, 30)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->IsMuted(); }, 3000));
    EXPECT_FALSE(h.Input()->IsEnabled());
    EXPECT_FALSE(h.Find(L"SendTextBtn")->IsEnabled());
    EXPECT_GE(h.OutputText().Find(L"30"), 0);
    ASSERT_TRUE(h.Push(eType_ForbidSpeaking_Notify, Mute(kRoomId, kOwnId, -1)));
    ASSERT_TRUE(PumpUntil([&] { return !h.main->IsMuted(); }, 3000));
    EXPECT_TRUE(h.Input()->IsEnabled());
    EXPECT_TRUE(h.Find(L"SendTextBtn")->IsEnabled());

    // The share bar has no owner: it goes with the window all the same.
    HWND share = h.main->ShareScreenWindow();
    ASSERT_NE(share, nullptr);
    EXPECT_EQ(GetWindow(share, GW_OWNER), nullptr);
    h.Close();
    EXPECT_FALSE(IsWindow(share));
}

TEST(MainWndLive, ReceivedWhiteboardAndCameraTakeTheirScreensAndSwap)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    auto* main = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    auto* vice = static_cast<CWinContainerUI*>(h.Find(L"ViceScreenCtner"));
    ASSERT_NE(main, nullptr);
    ASSERT_NE(vice, nullptr);
    ASSERT_NE(h.main->WhiteboardWindow(), nullptr);
    ASSERT_NE(h.main->VideoLiveWindow(), nullptr);

    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{2, 0, 0x41}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_EQ(main->GetEmbedWindow(), h.main->WhiteboardWindow());
    // A student's own panel switch is left alone.
    COptionUI* board = PanelSwitch(h, L"WhiteBoardCheck");
    ASSERT_NE(board, nullptr);
    EXPECT_FALSE(board->IsSelected());
    EXPECT_TRUE(main->IsVisible());
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 2);

    ASSERT_TRUE(h.Push(eType_LiveCamera, Bytes{0, 0x42}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(vice->GetEmbedWindow(), h.main->VideoLiveWindow());
    EXPECT_TRUE(h.Find(L"ViceScreenArea")->IsVisible());

    ASSERT_TRUE(h.Push(eType_SwapScreen, Bytes()));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(main->GetEmbedWindow(), h.main->VideoLiveWindow());
    EXPECT_EQ(vice->GetEmbedWindow(), h.main->WhiteboardWindow());
    EXPECT_EQ(h.main->GetLiveState().cameraState, 0x41);
    EXPECT_EQ(h.main->GetLiveState().whiteboardState, 0x42);

    // The whiteboard going off empties the vice screen; the camera stays.
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{2, 0, 0x02}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_None; }, 3000));
    EXPECT_FALSE(h.Find(L"ViceScreenArea")->IsVisible());
    EXPECT_EQ(vice->GetEmbedWindow(), nullptr);
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Camera);
}

TEST(MainWndLive, JoinAndLivingStateShowWhatTheRoomHasLive)
{
    MainWndHarness h(4, 2);
    LiveState live{};
    live.flags = 2;
    live.whiteboardTab = 3;
    live.whiteboardState = 0x41;
    JoinWithLive(h, 2, live);
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 3);
    // A student never gets the pen tool, not even over the board in the main screen.
    HWND pen = h.main->PenToolWindow();
    ASSERT_NE(pen, nullptr);
    Settle();
    EXPECT_FALSE(IsWindowVisible(pen));
    SendMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    EXPECT_FALSE(IsWindowVisible(pen));

    LiveState next{};
    next.flags = 8;
    next.cameraState = 0x41;
    Bytes bytes(sizeof next);
    memcpy(bytes.data(), &next, sizeof next);
    ASSERT_TRUE(h.Push(eType_LivingState, bytes));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(h.main->GetViceContent(), eScreen_None);
    EXPECT_EQ(h.main->GetLiveState().cameraState, 0x41);
    auto* main = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    EXPECT_EQ(main->GetEmbedWindow(), h.main->VideoLiveWindow());
}

TEST(MainWndLive, StudentBeforeTheClassShowsNothingLive)
{
    MainWndHarness h(4, 1);
    LiveState live{};
    live.flags = 2;
    live.whiteboardState = 0x41;
    JoinWithLive(h, 1, live);
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_EQ(h.main->GetMainContent(), eScreen_None);
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 1); // tab 0 reads as 1
}

TEST(MainWndLive, AStudentSeesTheSharedScreenInTheMainScreenAndTheBoardAfterIt)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    HWND board = h.main->WhiteboardWindow(), video = h.main->VideoLiveWindow();
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{1, 0, 0x41}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_TRUE(IsWindowVisible(board));
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{1}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    auto* main = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    EXPECT_EQ(main->GetEmbedWindow(), video);
    EXPECT_EQ(h.main->GetLiveState().flags & 4, 4);
    // What the student sees is the shared screen alone: the board does not stay on top of it.
    EXPECT_TRUE(IsWindowVisible(video));
    EXPECT_FALSE(IsWindowVisible(board));
    // The whiteboard is still live in the room's state: it comes back when the share ends.
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{0}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_EQ(main->GetEmbedWindow(), board);
    EXPECT_EQ(h.main->GetLiveState().flags & 4, 0);
    EXPECT_TRUE(IsWindowVisible(board));
    EXPECT_FALSE(IsWindowVisible(video));
    // Switched off by the teacher, the board leaves the screen.
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{1, 0, 0x01}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_None; }, 3000));
    EXPECT_FALSE(IsWindowVisible(board));
}
