// Class begin and end from the room, the clock and the count-down labels, the chat mute, and the ends
// the room forces on the client.
#include "tests/classroom_main/MainWndTestSupport.h"

#include <atomic>
#include <thread>

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

// Answers every message box of this process with Return until stopped.
class BoxAnswerer {
public:
    BoxAnswerer()
        : m_thread([this] {
              while (!m_stop) {
                  if (HWND box = FindWindowW(L"__LVMessageBox__", nullptr)) {
                      Sleep(200);
                      PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
                      ++answered;
                  }
                  Sleep(50);
              }
          })
    {
    }
    ~BoxAnswerer()
    {
        m_stop = true;
        m_thread.join();
    }
    std::atomic<int> answered{0};

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

TEST(MainWndClass, ClassBeginStartsTheClockOnceAndAnotherRoomChangesNothing)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2, 0xFFFF, kRoomId + 1)));
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2)));
    ASSERT_TRUE(h.WaitForOutput(L"Class Is Begain!"));
    EXPECT_EQ(SessionContext::Instance()->room.roomState, 2u);
    EXPECT_TRUE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2)));
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeLabel") == L"00:00:01"; }, 3000)) << h.Text(L"TimeLabel").GetString();
    EXPECT_EQ(Occurrences(h.OutputText(), L"Class Is Begain!"), 1);

    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(h.WaitForOutput(L"Class Is Over!"));
    EXPECT_FALSE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    uint32_t stopped = h.main->GetClassClock();
    PumpUntil([] { return false; }, 1300);
    EXPECT_EQ(h.main->GetClassClock(), stopped);
}

TEST(MainWndClass, JoinWhileTheClassRunsStartsTheClock)
{
    MainWndHarness h(2, 2);
    ASSERT_TRUE(h.StartAndJoin());
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
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeCountDownLabel").Find(L"-- 00:01") >= 0; }, 3000));
    EXPECT_TRUE(h.Find(L"TimeCountDownLabel")->IsVisible());
    EXPECT_EQ(h.Find(L"TimeCountDownLabel")->GetBkColor(), 0xFF333D49u); // one left: odd
    ASSERT_TRUE(PumpUntil([&] { return h.Text(L"TimeCountDownLabel").Find(L"-- 00:00") >= 0; }, 3000));
    EXPECT_EQ(h.Find(L"TimeCountDownLabel")->GetBkColor(), 0xFFFF3344u);
    EXPECT_FALSE(h.main->IsClassOver());
    ASSERT_TRUE(PumpUntil([&] { return h.main->IsClassOver(); }, 3000));
    EXPECT_EQ(h.Text(L"TimeCountDownLabel"), L"Class Over -- 00:00");
    EXPECT_TRUE(h.Find(L"ClassOverLayout")->IsVisible());
    EXPECT_FALSE(h.Input()->IsEnabled());
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 0);
    // The connection was stopped; a later failure or loss shows nothing and starts nothing.
    ASSERT_TRUE(h.room.reg.WaitForClientGone(5000));
    int lines = h.main->GetSystemLineCount();
    PostMessageW(h.window, WM_USER_OFFLINE, 0, 0);
    PostMessageW(h.window, WM_USER_CONNECT_RESULT, 0, -3);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(h.main->GetSystemLineCount(), lines);
    EXPECT_EQ(h.room.reg.Accepted(), 1);
}

TEST(MainWndClass, MuteDisablesTheChatUntilReleased)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
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
}

TEST(MainWndClass, KickedOffTellsTheUserAndEndsTheWindow)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND window = h.window;
    BoxAnswerer answerer;
    ASSERT_TRUE(h.Push(eType_KickOff, Bytes(4, 0)));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 10000));
    EXPECT_GE(answerer.answered.load(), 1);
    h.window = nullptr;
    h.main = nullptr;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    EXPECT_TRUE(h.room.reg.WaitForClientGone(5000));
}

TEST(MainWndSpeak, TeacherSeesAStudentsTurnBeginAndEnd)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CStudentList* roster = h.main->GetRoster();
    // 810 names the user in the header's destination.
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_SpeakerVoice), kOwnId, 21));
    ASSERT_TRUE(PumpUntil([&] { return roster->GetSpeakerId() == 21; }, 3000));
    UserRecord ben;
    ASSERT_TRUE(roster->FindUser(21, ben));
    EXPECT_EQ(ben.role, eRole_SpeakerVoice);
    EXPECT_TRUE(h.Find(L"SpeakerArea1")->IsVisible());
    EXPECT_FALSE(h.Find(L"StartVideoSpeak")->IsVisible());

    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_Student), kOwnId, 21));
    ASSERT_TRUE(PumpUntil([&] { return roster->GetSpeakerId() == 0; }, 3000));
    EXPECT_FALSE(h.Find(L"SpeakerArea1")->IsVisible());
    ASSERT_TRUE(roster->FindUser(21, ben));
    EXPECT_EQ(ben.role, eRole_Student);
    EXPECT_EQ(SessionContext::Instance()->role, eRole_Teacher);
}

TEST(MainWndSpeak, OwnStateBecomesTheOwnRole)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_MicApplied), 21, kOwnId));
    ASSERT_TRUE(PumpUntil([] { return SessionContext::Instance()->role == eRole_MicApplied; }, 3000));
    UserRecord self;
    ASSERT_TRUE(h.main->GetRoster()->FindUser(kOwnId, self));
    EXPECT_EQ(self.role, eRole_MicApplied);
    EXPECT_EQ(h.main->GetRoster()->GetMicUserCount(), 1);
    // Another user's state leaves the own role alone.
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_MicApplied), kOwnId, 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetRoster()->GetMicUserCount() == 2; }, 3000));
    EXPECT_EQ(SessionContext::Instance()->role, eRole_MicApplied);
}

#include "controls/PosLayouts.h"

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
    Bytes join = JoinReply(2);
    memcpy(&join[23], &live, sizeof live);
    h.room.reg.SetJoinReply(1, join);
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 3);

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
    Bytes join = JoinReply(1);
    memcpy(&join[23], &live, sizeof live);
    h.room.reg.SetJoinReply(1, join);
    ASSERT_TRUE(h.StartAndJoin());
    EXPECT_EQ(h.main->GetMainContent(), eScreen_None);
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 1); // tab 0 reads as 1
}

TEST(MainWndLive, AStudentSeesTheSharedScreenInTheMainScreenAndTheBoardAfterIt)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{1, 0, 0x41}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{1}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    auto* main = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    EXPECT_EQ(main->GetEmbedWindow(), h.main->VideoLiveWindow());
    EXPECT_EQ(h.main->GetLiveState().flags & 4, 4);
    // The whiteboard is still live in the room's state: it comes back when the share ends.
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{0}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_EQ(main->GetEmbedWindow(), h.main->WhiteboardWindow());
    EXPECT_EQ(h.main->GetLiveState().flags & 4, 0);
}

TEST(MainWndSpeak, ParticipantVideoOpensAndClosesTheSpeakerVideo)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    auto videoSpeak = [](int16_t a, int16_t b) {
        Bytes out(8, 0);
        uint32_t second = (static_cast<uint32_t>(static_cast<uint16_t>(a)) << 16) | static_cast<uint16_t>(b);
        for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(second >> (8 * i));
        return out;
    };
    // Sent by the user itself: ignored.
    ASSERT_TRUE(h.Push(eType_VideoSpeak, videoSpeak(1, 0), kOwnId, 21));
    ASSERT_TRUE(h.Push(eType_VideoSpeak, videoSpeak(1, 0), 30, 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->SpeakerVideoWindow() != nullptr; }, 3000));
    HWND video = h.main->SpeakerVideoWindow();
    EXPECT_TRUE(h.Find(L"SpeakerArea1")->IsVisible());
    auto* area = static_cast<CTabLayoutUI*>(h.Find(L"SpeakerArea1"));
    EXPECT_EQ(area->GetCurSel(), 2);
    auto* container = static_cast<CWinContainerUI*>(h.Find(L"VideoSpeakContainer1"));
    EXPECT_EQ(container->GetEmbedWindow(), video);
    EXPECT_EQ(GetParent(video), h.window);

    ASSERT_TRUE(h.Push(eType_VideoSpeak, videoSpeak(0, 0), 30, 21));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
    EXPECT_EQ(h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_FALSE(h.Find(L"SpeakerArea1")->IsVisible());
}
