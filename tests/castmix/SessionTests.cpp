#include "classroom/CastmixSession.h"
#include "core/SessionContext.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <winsock2.h>

namespace {

struct Session : testing::Test {
    ScopedModuleFolder program; // no configuration file
    CastmixDouble& engine = CastmixDouble::Instance();
    SessionContext* context = nullptr;
    HWND notify = reinterpret_cast<HWND>(0x111);
    HWND local = reinterpret_cast<HWND>(0x222);

    void SetUp() override
    {
        engine.Reset();
        SessionContext::Destroy();
        context = SessionContext::Instance();
        context->userId = 4242;
        context->room.roomId = 777;
        context->role = eRole_Student;
        context->options.microphoneId = 1;
        context->options.speakerId = 2;
        context->options.cameraId = 3;
        context->mainWindow = reinterpret_cast<HWND>(0x333);
    }
    void TearDown() override { SessionContext::Destroy(); }
};

ServerNode StreamNode()
{
    ServerNode node = {};
    node.id = 9;
    node.kind = eServer_Stream;
    node.address = inet_addr("10.20.30.40");
    node.port = 5000;
    return node;
}

} // namespace

TEST_F(Session, JoinCallsTheEngineInOrderWithSixteenArguments)
{
    CastmixSession session;
    session.SetStreamServer(StreamNode());
    engine.results["Room_Join"] = 0;
    ASSERT_TRUE(avSession(notify, &session, nullptr, 640, 480));
    std::vector<std::string> expected = {"Create", "SetNotify", "Room_Join", "SetAudioProcess"};
    EXPECT_EQ(expected, engine.Names());
    EXPECT_EQ((std::vector<long long>{0x111, 0x491}), engine.Last("SetNotify")->args);
    const CastmixCall* join = engine.Last("Room_Join");
    ASSERT_EQ(16u, join->args.size());
    std::vector<long long> args = {4242, 4, 777, inet_addr("10.20.30.40"), 5000, 9,
                                   1, 2, -1 /* camera not in use */, 0x111 /* no local window: notify */,
                                   0x111, 640, 480, 15, 240, 0x333};
    EXPECT_EQ(args, join->args);
    const _AudioProcessParam& audio = engine.Last("SetAudioProcess")->audio;
    EXPECT_EQ(1, audio.nsnear.enabled);
    EXPECT_EQ(2, audio.nsnear.level);
    EXPECT_EQ(0, audio.agcnear.enabled);
    EXPECT_EQ(3, audio.aecnear.level);
    EXPECT_EQ(3, audio.agcfar.level);
    EXPECT_EQ(0, engine.badHandleCalls);
    session.Close();
    EXPECT_EQ(nullptr, session.engine);
    EXPECT_EQ(1u, engine.CountOf("Close"));
    session.Close(); // nothing left to close
    EXPECT_EQ(1u, engine.CountOf("Close"));
}

TEST_F(Session, TeacherJoinsWithTheLocalWindowAndConfiguredBitrate)
{
    context->role = eRole_Host;
    // Unconfigured (-1) or 0 takes the default.
    for (int configured : {512, -1, 0}) {
        engine.Reset();
        context->bitrate = configured;
        CastmixSession session;
        session.useCamera = 1;
        engine.results["Room_Join"] = -3;
        EXPECT_FALSE(avSession(nullptr, &session, local, 640, 480));
        const CastmixCall* join = engine.Last("Room_Join");
        EXPECT_EQ(2, join->args[1]);     // engine role of a teacher
        EXPECT_EQ(3, join->args[8]);     // the configured camera, since it is in use
        EXPECT_EQ(0x222, join->args[9]); // local video window
        EXPECT_EQ(0, join->args[10]);    // no notify window
        EXPECT_EQ(configured > 0 ? configured : 240, join->args[14]) << configured;
    }
}

TEST_F(Session, CreateFailureLeavesEveryWrapperIdleAndNotifyFailureIsNoFailure)
{
    engine.createFails = true;
    {
        CastmixSession session;
        EXPECT_FALSE(avSession(notify, &session, nullptr, 640, 480));
        EXPECT_FALSE(session.SetVolume(50, 2));
        EXPECT_FALSE(session.ChangeScreenWnd(local));
        EXPECT_FALSE(session.UseConfiguredCamera());
        EXPECT_FALSE(session.SetCameraEnabled(true, local));
        EXPECT_FALSE(session.SetAudioProcess());
        EXPECT_FALSE(session.AdjVideoEncParam(1, 2, 3));
        EXPECT_FALSE(session.ChangeRole(2));
        EXPECT_FALSE(session.AddParticipantVideo(1, local));
        EXPECT_FALSE(session.DelParticipantVideo(1));
        EXPECT_EQ(0, session.QueryAudioDevs());
        session.ChangeStreamcastModel(1, 1);
        EXPECT_EQ(-1000, session.StartRec(_RecParam{}));
        EXPECT_EQ(-1000, session.StopRec());
    }
    EXPECT_EQ(std::vector<std::string>{"Create"}, engine.Names());

    engine.Reset();
    engine.results["SetNotify"] = -1; // logged, and the join goes on
    {
        CastmixSession session;
        EXPECT_TRUE(avSession(notify, &session, nullptr, 640, 480));
        EXPECT_EQ(1u, engine.CountOf("Room_Join"));
        // A second join (after a server refresh) reuses the engine.
        EXPECT_TRUE(avSession(notify, &session, nullptr, 640, 480));
        EXPECT_EQ(1u, engine.CountOf("Create"));
    }
    EXPECT_EQ(1u, engine.CountOf("Close")) << "the destructor closes the engine";
    EXPECT_EQ(0, engine.badHandleCalls);
}

TEST_F(Session, VolumesAreClampedAndDoubled)
{
    CastmixSession session;
    session.engine = engine.NewHandle();
    EXPECT_TRUE(session.SetVolume(150, 2));
    EXPECT_EQ(200, engine.Last("SetMicVolume")->args[0]);
    EXPECT_TRUE(session.SetVolume(-5, 1));
    EXPECT_EQ(0, engine.Last("SetSpeakerVolume")->args[0]);
    EXPECT_TRUE(session.SetVolume(37, 1));
    EXPECT_EQ(74, engine.Last("SetSpeakerVolume")->args[0]);
    EXPECT_FALSE(session.SetVolume(50, 3)); // no such kind: no call
    EXPECT_EQ(3u, engine.calls.size());
    engine.results["SetMicVolume"] = -2;
    EXPECT_FALSE(session.SetVolume(10, 2));
}

TEST_F(Session, CameraSwitching)
{
    CastmixSession session;
    session.engine = engine.NewHandle();
    session.roomId = 777;
    session.localVideo = local;
    EXPECT_TRUE(session.UseConfiguredCamera());
    EXPECT_EQ((std::vector<std::string>{"ChangeSource2Camera", "ChangeScreenWnd"}), engine.Names());
    EXPECT_EQ((std::vector<long long>{777, 1, 0x222}), engine.Last("ChangeScreenWnd")->args);

    engine.calls.clear();
    context->options.cameraId = -1; // no camera: no window handed over
    EXPECT_TRUE(session.UseConfiguredCamera());
    EXPECT_EQ(std::vector<std::string>{"ChangeSource2Camera"}, engine.Names());

    engine.calls.clear();
    context->options.cameraId = 3;
    EXPECT_TRUE(session.SetCameraEnabled(false, local));
    EXPECT_EQ(-1, engine.Last("ChangeSource2Camera")->args[0]);
    EXPECT_EQ(0u, engine.CountOf("ChangeScreenWnd"));
    EXPECT_EQ(0, session.useCamera);
    EXPECT_TRUE(session.SetCameraEnabled(true, reinterpret_cast<HWND>(0x444)));
    EXPECT_EQ(0x444, engine.Last("ChangeScreenWnd")->args[2]);
    EXPECT_EQ(1, session.useCamera);
}

TEST_F(Session, ModelsDevicesAndParticipants)
{
    CastmixSession session;
    session.engine = engine.NewHandle();
    session.ChangeStreamcastModel(0, 5);
    EXPECT_EQ((std::vector<long long>{2, 4}), engine.Last("ChangeStreamcastModel")->args);
    session.ChangeStreamcastModel(-3, 0);
    EXPECT_EQ((std::vector<long long>{2, 2}), engine.Last("ChangeStreamcastModel")->args);

    struct { int cap, play, answer; } devices[] = {{1, 1, 1}, {2, 0, -2}, {0, 3, -1}, {0, 0, 0}};
    for (const auto& d : devices) {
        engine.capDevices = d.cap;
        engine.playDevices = d.play;
        EXPECT_EQ(d.answer, session.QueryAudioDevs()) << d.cap << "," << d.play;
    }

    engine.results["AddParticipantVideo"] = 1;
    EXPECT_TRUE(session.AddParticipantVideo(55, local));
    EXPECT_EQ((std::vector<long long>{55, 0x222}), engine.Last("AddParticipantVideo")->args);
    EXPECT_FALSE(session.DelParticipantVideo(55)); // the engine answered 0: not removed
    engine.results["Room_ChangeRole"] = 1;
    EXPECT_TRUE(session.ChangeRole(3));
}

TEST_F(Session, RecordingParameters)
{
    CastmixSession session;
    session.engine = engine.NewHandle();
    _RecParam param = {};
    param.frameRate = 20;
    param.dataRate = 1024;
    wcscpy(param.outputPath, L"C:\\LVRecord\\class.wmv");
    param.mode = 3;
    param.sourceWidth = 1023;
    param.sourceHeight = 767;
    memset(param.reserved, 0xAB, sizeof param.reserved);
    param.outputWidth = 640;
    param.outputHeight = 480;
    param.two = 2;
    param.sixtyFour = 64;
    engine.results["StartRec"] = 1;
    EXPECT_EQ(1, session.StartRec(param));
    const CastmixCall* start = engine.Last("StartRec");
    EXPECT_EQ(1, start->args[0]);
    EXPECT_EQ(1020, start->rec.sourceWidth);
    EXPECT_EQ(764, start->rec.sourceHeight);
    EXPECT_EQ(5, start->rec.five);
    for (uint8_t b : start->rec.reserved) EXPECT_EQ(0, b);
    EXPECT_STREQ(L"C:\\LVRecord\\class.wmv", start->rec.outputPath);

    engine.results["StartRec"] = -7;
    EXPECT_EQ(-7, session.StopRec());
    const CastmixCall* stop = engine.Last("StartRec");
    EXPECT_EQ(0, stop->args[0]);
    EXPECT_EQ(20, stop->rec.frameRate);
    EXPECT_EQ(1024, stop->rec.dataRate);
    EXPECT_EQ(0, stop->rec.mode);
    EXPECT_EQ(640, stop->rec.outputWidth);
    EXPECT_EQ(480, stop->rec.outputHeight);
    EXPECT_EQ(64, stop->rec.sixtyFour);
    EXPECT_EQ(5, stop->rec.five);
    EXPECT_EQ(L'\0', stop->rec.outputPath[0]);
}
