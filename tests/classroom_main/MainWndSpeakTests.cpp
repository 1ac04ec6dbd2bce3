// Speaking turns as the room reports them: the speaker area's pages, the speaker's video in its
// container with the video-speak cover, the engine calls each turn makes, and the ends a turn meets
// (turn over, room users again, a lost connection, the class over).
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/CastmixSession.h"
#include "controls/PosLayouts.h"
#include "controls/SmallControls.h"
#include "tests/fakes/castmix/CastmixDouble.h"

using namespace fakeroom;

namespace {

// 829: the first value, then the second with B in its low and A in its high half.
Bytes VideoSpeak(int16_t a, int16_t b)
{
    Bytes out(8, 0);
    uint32_t second = (static_cast<uint32_t>(static_cast<uint16_t>(a)) << 16) | static_cast<uint16_t>(b);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(second >> (8 * i));
    return out;
}

struct SpeakClass {
    MainWndHarness h;
    CastmixDouble& engine = CastmixDouble::Instance();

    explicit SpeakClass(int roleType) : h(roleType) {}

    bool Join()
    {
        engine.Reset();
        return h.StartAndJoin();
    }
    // 810 for a user: the header's destination names the user.
    bool State(uint32_t user, uint8_t state)
    {
        return h.Push(eType_SpeakState, SpeakState(state), kOwnId == user ? kBen : kOwnId, user);
    }
    bool StateSeen(uint32_t user, uint8_t state)
    {
        if (!State(user, state)) return false;
        if (user == kOwnId) return PumpUntil([&] { return SessionContext::Instance()->role == state; }, 3000);
        return PumpUntil([&] {
            UserRecord row;
            return h.main->GetRoster()->FindUser(user, row) && row.role == state;
        }, 3000);
    }
    CTabLayoutUI* Area() const { return static_cast<CTabLayoutUI*>(h.Find(L"SpeakerArea1")); }
    CWinContainerUI* Container() const { return static_cast<CWinContainerUI*>(h.Find(L"VideoSpeakContainer1")); }
    CMidEllipsisLabelUI* Bulletin() const { return static_cast<CMidEllipsisLabelUI*>(h.Find(L"BulletinLabel")); }
    size_t Count(const char* name) const { return engine.CountOf(name); }
    // Pumps the window until the room has n 810 commands from the client.
    bool SentCount(size_t n) const
    {
        return PumpUntil([&] { return h.room.reg.Messages(eType_SpeakState).size() >= n; }, 5000);
    }
    // The 810 commands the client sent, as (user, state).
    std::vector<std::pair<uint32_t, uint8_t>> SentStates() const
    {
        std::vector<std::pair<uint32_t, uint8_t>> out;
        for (const Packet& p : h.room.reg.Messages(eType_SpeakState))
            if (p.payload.size() == 5) out.emplace_back(p.header.destination, p.payload[4]);
        return out;
    }
};

} // namespace

TEST(MainWndSpeakVideo, TeacherSeesAVideoTurnInItsContainerWithTheCoverUntilItEnds)
{
    SpeakClass c(2);
    ASSERT_TRUE(c.Join());
    // Accepted and connecting: a teacher only counts the queue.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(GetParent(video), c.h.window);
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.Area()->GetFixedHeight(), 164); // the cover's 160 and the area's insets
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    wchar_t coverClass[64] = {};
    GetClassNameW(cover, coverClass, 64);
    EXPECT_STREQ(coverClass, L"__LumenvaleVideoSpeakCoverWnd__");
    EXPECT_EQ(GetWindow(cover, GW_OWNER), c.h.window);
    const CastmixCall* added = c.engine.Last("AddParticipantVideo");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->args, (std::vector<long long>{kBen, H(video)}));
    EXPECT_EQ(CString(c.Bulletin()->GetPrefix().GetData()), LangText(73, L""));
    EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

    // The cover sits on the container once the page is laid out, and follows the window when it moves.
    ASSERT_TRUE(PumpUntil([&] {
        RECT own{};
        GetWindowRect(cover, &own);
        RECT want = ScreenRect(c.h.window, c.Container()->GetPos());
        return !IsRectEmpty(&want) && SameRect(own, want);
    }, 3000));
    SetWindowPos(c.h.window, nullptr, 500, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] {
        RECT own{};
        GetWindowRect(cover, &own);
        return SameRect(own, ScreenRect(c.h.window, c.Container()->GetPos()));
    }, 3000));

    // 133 from 132: the engine switches by itself; the same video stays.
    size_t addsBefore = c.Count("AddParticipantVideo");
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);
    EXPECT_EQ(c.Count("AddParticipantVideo"), addsBefore);

    // The cover's buttons act on the roster's speaker.
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 4, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 3, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 5, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 6, 0);
    ASSERT_TRUE(c.SentCount(4));
    using Sent = std::vector<std::pair<uint32_t, uint8_t>>;
    EXPECT_EQ(c.SentStates(), (Sent{{kBen, eRole_SpeakerVideo}, {kBen, eRole_SpeakerVideoAlt},
                                   {kBen, eRole_SpeakerVoice}, {kBen, eRole_Student}}));

    // The turn ends: video and cover go, the engine drops the video, the bulletin says so.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_Student));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
    EXPECT_EQ(c.Container()->GetEmbedWindow(), nullptr);
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
    const CastmixCall* removed = c.engine.Last("DelParticipantVideo");
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->args, (std::vector<long long>{kBen}));
    EXPECT_EQ(CString(c.Bulletin()->GetPrefix().GetData()), LangText(61, L""));
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndSpeakVideo, TeacherVoiceTurnAfterVideoClosesTheVideoAndRepeatedStatesChangeNothing)
{
    SpeakClass c(2);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    ASSERT_NE(video, nullptr);

    // The same state again gives old role 0: only the queue count moves.
    size_t addsBefore = c.Count("AddParticipantVideo");
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVideo));
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVoice)); // a marker behind it
    ASSERT_TRUE(PumpUntil([&] { return c.Area()->GetCurSel() == 1; }, 3000));
    EXPECT_EQ(c.Count("AddParticipantVideo"), addsBefore);
    // By voice: page 1 without the video button, and no video left behind.
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_FALSE(c.h.Find(L"StartVideoSpeak")->IsVisible());
    EXPECT_EQ(c.Area()->GetFixedHeight(), 30); // the skin's height again
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));

    // 2 again: nothing on screen changes.
    c.Area()->SelectItem(0);
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVoice));
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting)); // a marker: teachers ignore it on screen
    EXPECT_EQ(c.Area()->GetCurSel(), 0);
}

TEST(MainWndSpeakVideo, StudentsOwnVideoTurnDrivesTheEngineRoleCameraAndStreamcastModel)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    SessionContext::Instance()->options.cameraId = 0;
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 0);

    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_SpeakerVideo)}));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{0}));
    ASSERT_NE(c.engine.Last("ChangeScreenWnd"), nullptr);
    EXPECT_EQ(c.engine.Last("ChangeScreenWnd")->args.back(), H(video));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 1);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kOwnId);

    // 132 <-> 133 is the engine's stream-cast model only.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideoAlt));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{4, 4}));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{2, 2}));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);

    // By voice: the camera goes off, the video closes, page 1 offers the video again.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVoice));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{-1}));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 0);
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_SpeakerVoice)}));
    EXPECT_EQ(c.Area()->GetCurSel(), 1);
    EXPECT_TRUE(c.h.Find(L"StartVideoSpeak")->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));

    // The turn ends: a student again in the engine, the button offers the microphone.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_Student));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_Student)}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndSpeakVideo, StudentSeesAnotherSpeakersVideoOnlyInTheOtherMode)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting));
    EXPECT_FALSE(c.Area()->IsVisible());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    HWND video = c.h.main->SpeakerVideoWindow();
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr); // nothing for a listener to press
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));

    // Back to video for the teacher only: the listeners' video goes.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    video = c.h.main->SpeakerVideoWindow();
    ASSERT_NE(video, nullptr);
    // By voice from the other mode: the video goes, the speaker stays.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVoice));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
}

TEST(MainWndSpeakVideo, ParticipantVideoNoticesShowAndRemoveAVideo)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    // A = 1 for Ben from the teacher: shown in the container.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(1, 0), 3, kBen));
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
    HWND video = c.h.main->SpeakerVideoWindow();
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));

    // Sent by the user itself: ignored; another A: ignored.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(0, 0), kOwnId, kBen));
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(2, 0), 3, kBen));
    // Meant for me: only the engine's stream-cast model.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(1, 0), 3, kOwnId));
    ASSERT_TRUE(PumpUntil([&] { return c.Count("ChangeStreamcastModel") == 1; }, 3000));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{4, 2}));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);
    EXPECT_EQ(c.Count("DelParticipantVideo"), 0u);

    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(0, 0), 3, kBen));
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() == nullptr; }, 3000));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
}

TEST(MainWndSpeakVideo, AStateForAUserNotInTheRosterOnlyChangesTheOwnRole)
{
    SpeakClass c(4);
    // The room's list leaves the user out.
    c.h.room.reg.SetReply(eType_RoomUsers, 1, UserEntry(kBen, 1, 1, "Ben", "ben"));
    ASSERT_TRUE(c.Join());
    size_t roles = c.Count("Room_ChangeRole");
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.Count("Room_ChangeRole"), roles);
    EXPECT_EQ(c.Count("AddParticipantVideo"), 0u);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
}

TEST(MainWndSpeakVideo, TeacherOpensNothingForAStrangersVideoTurn)
{
    SpeakClass t(2);
    t.h.room.reg.SetReply(eType_RoomUsers, 1, UserEntry(kOwnId, 3, 2, "Ms Ann", "ann"));
    ASSERT_TRUE(t.Join());
    ASSERT_TRUE(t.State(kBen, eRole_SpeakerVideo));
    ASSERT_TRUE(t.StateSeen(kOwnId, eRole_MicApplied)); // a marker behind it
    EXPECT_EQ(t.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_FALSE(t.Area()->IsVisible());
    EXPECT_EQ(t.Count("AddParticipantVideo"), 0u);
    EXPECT_EQ(t.h.main->GetRoster()->GetSpeakerId(), 0u);
}

TEST(MainWndSpeakVideo, RoomUsersRebuildTheSpeakerArea)
{
    // A teacher entering while a student speaks in the other mode: video, cover offering the way back.
    {
        SpeakClass c(2);
        Bytes list = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
        Bytes ben = UserEntry(kBen, eRole_SpeakerVideoAlt, 1, "Ben", "ben");
        list.insert(list.end(), ben.begin(), ben.end());
        c.h.room.reg.SetReply(eType_RoomUsers, 1, list);
        ASSERT_TRUE(c.Join());
        ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
        HWND video = c.h.main->SpeakerVideoWindow();
        EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
        EXPECT_TRUE(c.Area()->IsVisible());
        EXPECT_EQ(c.Area()->GetCurSel(), 2);
        EXPECT_FALSE(c.h.Find(L"StartVideoSpeak")->IsVisible());
        ASSERT_NE(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));
        EXPECT_EQ(CString(c.Bulletin()->GetPrefix().GetData()), LangText(73, L""));
        EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

        HWND cover = c.h.main->VideoSpeakCoverWindow();

        // The list again (as after a reconnection) with Ben by voice: hidden, the old video gone.
        Bytes again = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
        Bytes voice = UserEntry(kBen, eRole_SpeakerVoice, 1, "Ben", "ben");
        again.insert(again.end(), voice.begin(), voice.end());
        ASSERT_TRUE(c.h.Push(eType_RoomUsers, again));
        ASSERT_TRUE(PumpUntil([&] { return !c.Area()->IsVisible(); }, 3000));
        EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
        EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);

        // With video again: a new video and cover.
        Bytes video2 = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
        Bytes ben2 = UserEntry(kBen, eRole_SpeakerVideo, 1, "Ben", "ben");
        video2.insert(video2.end(), ben2.begin(), ben2.end());
        ASSERT_TRUE(c.h.Push(eType_RoomUsers, video2));
        ASSERT_TRUE(PumpUntil([&] { return c.Area()->IsVisible(); }, 3000));
        ASSERT_NE(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_NE(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.Container()->GetEmbedWindow(), c.h.main->SpeakerVideoWindow());
    }
    // A student sees another's video only in the other mode, and nothing with the microphone mode off.
    {
        SpeakClass c(4);
        Bytes list = UserEntry(kOwnId, 1, 2, "Ms Ann", "ann");
        Bytes ben = UserEntry(kBen, eRole_SpeakerVideoAlt, 1, "Ben", "ben");
        list.insert(list.end(), ben.begin(), ben.end());
        c.h.room.reg.SetReply(eType_RoomUsers, 1, list);
        ASSERT_TRUE(c.Join());
        ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
        EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.Area()->GetCurSel(), 2);
        EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args,
                  (std::vector<long long>{kBen, H(c.h.main->SpeakerVideoWindow())}));
    }
    {
        SpeakClass c(4);
        c.h.room.reg.SetJoinReply(1, JoinReply(1, 0x0000));
        Bytes list = UserEntry(kOwnId, 1, 2, "Ms Ann", "ann");
        Bytes ben = UserEntry(kBen, eRole_SpeakerVideoAlt, 1, "Ben", "ben");
        list.insert(list.end(), ben.begin(), ben.end());
        c.h.room.reg.SetReply(eType_RoomUsers, 1, list);
        ASSERT_TRUE(c.Join());
        EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_FALSE(c.Area()->IsVisible());
        EXPECT_EQ(c.Count("AddParticipantVideo"), 0u);
    }
}

TEST(MainWndSpeakVideo, ALostConnectionEndsTheOwnVideoTurnOnScreen)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);

    c.h.room.reg.Drop();
    ASSERT_TRUE(c.h.WaitForOutput(L"You are offline, Reconnecting...", 5000));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
    EXPECT_EQ(c.Container()->GetEmbedWindow(), nullptr);
    EXPECT_FALSE(c.h.Find(L"ApplyMicBtn")->IsEnabled());
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    // A student in the engine again, its camera off.
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_Student)}));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{-1}));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 0);
}

TEST(MainWndSpeakVideo, ClassOverCancelsTheOwnTurn)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVoice));
    c.h.room.reg.ClearReceived();
    ASSERT_TRUE(c.h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(c.SentCount(1));
    using Sent = std::vector<std::pair<uint32_t, uint8_t>>;
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_Student}}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
}

TEST(MainWndSpeakVideo, ClassOverLeavesAnotherSpeakersTurnToTheRoom)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVoice));
    c.h.room.reg.ClearReceived();
    ASSERT_TRUE(c.h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(c.h.WaitForOutput(L"Class Is Over!", 5000));
    // Queued behind anything the class end could have sent.
    PostMessageW(c.h.window, WM_USER_MIC_REQUEST, 1, kBen);
    ASSERT_TRUE(c.SentCount(1));
    using Sent = std::vector<std::pair<uint32_t, uint8_t>>;
    EXPECT_EQ(c.SentStates(), (Sent{{kBen, eRole_MicConnecting}}));
}
