// A speaker's presence: a video speaker who goes offline, or shows up online again while still
// listed as speaking, ends the turn on screen (speaker area, the engine's video of that user, the
// speaker video window and its cover); coming back makes a plain row until the next turn.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "controls/PosLayouts.h"
#include "tests/fakes/castmix/CastmixDouble.h"

using namespace fakeroom;

namespace {

struct PresenceClass {
    MainWndHarness h;
    CastmixDouble& engine = CastmixDouble::Instance();

    explicit PresenceClass(int roleType) : h(roleType, 2) {}
    bool Join()
    {
        engine.Reset();
        return h.StartAndJoin();
    }
    bool BenSpeaks(uint8_t state)
    {
        if (!h.Push(eType_SpeakState, SpeakState(state), kOwnId, kBen)) return false;
        return PumpUntil([&] {
            UserRecord row;
            return h.main->GetRoster()->FindUser(kBen, row) && row.role == state && h.main->SpeakerVideoWindow();
        }, 3000);
    }
    bool Listed(uint8_t* role = nullptr) const
    {
        UserRecord row;
        bool found = h.main->GetRoster()->FindUser(kBen, row);
        if (found && role) *role = row.role;
        return found;
    }
    CTabLayoutUI* Area() const { return static_cast<CTabLayoutUI*>(h.Find(L"SpeakerArea1")); }
    CWinContainerUI* Container() const { return static_cast<CWinContainerUI*>(h.Find(L"VideoSpeakContainer1")); }
    size_t Count(const char* name) const { return engine.CountOf(name); }
    // The turn is over on screen and the engine was told to drop Ben's video.
    void ExpectTurnEnded(HWND video, HWND cover, size_t removalsBefore) const
    {
        EXPECT_FALSE(Area()->IsVisible());
        EXPECT_EQ(h.main->GetRoster()->GetSpeakerId(), 0u);
        ASSERT_EQ(Count("DelParticipantVideo"), removalsBefore + 1);
        EXPECT_EQ(engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
        EXPECT_EQ(h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_EQ(h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(Container()->GetEmbedWindow(), nullptr);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(video) && (!cover || !IsWindow(cover)); }, 3000));
    }
};

} // namespace

TEST(MainWndPresence, AVideoSpeakerWhoLeavesAndComesBackEndsTheTurnAndReturnsAsAPlainRow)
{
    PresenceClass c(2);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.BenSpeaks(eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(cover, nullptr);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));

    size_t removals = c.Count("DelParticipantVideo");
    ASSERT_TRUE(c.h.Push(eType_UserOffline_Notify, Bytes(), kBen));
    ASSERT_TRUE(c.h.WaitForOutput(L"Ben Offline"));
    EXPECT_FALSE(c.Listed());
    c.ExpectTurnEnded(video, cover, removals);

    // Back online: a plain row; nothing is shown or added until a new turn.
    size_t adds = c.Count("AddParticipantVideo");
    removals = c.Count("DelParticipantVideo");
    ASSERT_TRUE(c.h.Push(eType_UserOnline_Notify, OnlineNotice(kBen, eRole_Student, 1, "Ben", "ben")));
    ASSERT_TRUE(c.h.WaitForOutput(L"Ben Online"));
    uint8_t role = 0;
    ASSERT_TRUE(c.Listed(&role));
    EXPECT_EQ(role, eRole_Student);
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.Count("AddParticipantVideo"), adds);
    EXPECT_EQ(c.Count("DelParticipantVideo"), removals);

    // A new video turn opens a new window for the engine.
    ASSERT_TRUE(c.BenSpeaks(eRole_SpeakerVideo));
    HWND again = c.h.main->SpeakerVideoWindow();
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.Container()->GetEmbedWindow(), again);
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(again)}));
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);

    // Online again while still speaking (the room never said offline): the turn ends as well, the
    // row is updated and the online line shown.
    video = again;
    cover = c.h.main->VideoSpeakCoverWindow();
    removals = c.Count("DelParticipantVideo");
    ASSERT_TRUE(c.h.Push(eType_UserOnline_Notify, OnlineNotice(kBen, eRole_Student, 1, "Ben R", "ben")));
    ASSERT_TRUE(c.h.WaitForOutput(L"Ben R Online"));
    ASSERT_TRUE(c.Listed(&role));
    EXPECT_EQ(role, eRole_Student);
    c.ExpectTurnEnded(video, cover, removals);
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndPresence, AStudentLosesAnotherSpeakersVideoWhenThatSpeakerLeaves)
{
    PresenceClass c(4);
    ASSERT_TRUE(c.Join());
    // Another user in the other stream-cast mode: a student shows that video.
    ASSERT_TRUE(c.BenSpeaks(eRole_SpeakerVideoAlt));
    HWND video = c.h.main->SpeakerVideoWindow();
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));
    size_t removals = c.Count("DelParticipantVideo");
    ASSERT_TRUE(c.h.Push(eType_UserOffline_Notify, Bytes(), kBen));
    ASSERT_TRUE(c.h.WaitForOutput(L"Ben Offline"));
    c.ExpectTurnEnded(video, nullptr, removals);
}
