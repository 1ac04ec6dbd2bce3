// The client's engine session against the real engine (not the double): the join road of a teacher
// and of a student through the import library, and each wrapper's answer from the real engine.
#include "classroom/CastmixSession.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "platform/castmix/CastmixEngine.h"
#include "platform/castmix/RecordingSession.h"
#include "tests/castmix_engine/EngineSupport.h"
#include "tests/fakes/camera/SynthPattern.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

class ClientSession : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        SessionContext::Destroy();
        context = SessionContext::Instance();
        ASSERT_NE(context, nullptr);
        context->userId = 5150;
        context->room.roomId = 8080;
        context->options.microphoneId = 0;
        context->options.speakerId = 0;
        // The synthetic camera's place in the list.
        CASTMIX_HANDLE lister = Castmix_Create();
        ASSERT_NE(lister, nullptr);
        CastmixDeviceNames names = {};
        camera = IndexOf(Rows(names, Castmix_QueryCameras(lister, names)), SYNTH_CAMERA_NAME);
        Castmix_Close(&lister);
        ASSERT_GE(camera, 0);
        context->options.cameraId = camera;
        node.id = 12;
        node.address = 0x0A0A0A0A;
        node.port = 6000;
    }
    void TearDown() override { SessionContext::Destroy(); }

    ScopedModuleFolder program; // no configuration file: the bit rate is not configured
    ComScope com;
    SessionContext* context = nullptr;
    ServerNode node = {};
    int camera = -1;
};

TEST_F(ClientSession, ATeacherJoinsWithTheCameraInItsVideoWindow)
{
    ScopedGdiRenderers gdi;
    TestWindow videoLive(0, 0, 320, 240);
    TestWindow main(330, 0, 100, 100);
    context->role = eRole_Teacher;
    context->mainWindow = main.Handle();
    CastmixSession session;
    session.SetStreamServer(node);
    session.useCamera = 1;
    ASSERT_TRUE(avSession(nullptr, &session, videoLive.Handle(), 320, 240));
    ASSERT_NE(session.engine, nullptr);
    EXPECT_EQ(session.kbps, 240); // unconfigured (-1) takes the default
    EXPECT_EQ(session.camera, camera);
    // The engine draws the camera into the teacher's video window.
    ASSERT_TRUE(PumpUntil([&] { return (videoLive.ScreenPixel(160, 120) >> 16) == 0x40; }, 5000))
        << std::hex << videoLive.ScreenPixel(160, 120);

    EXPECT_TRUE(session.SetVolume(150, 2)); // sent as 200, which the engine takes
    EXPECT_TRUE(session.SetVolume(-5, 1));  // sent as 0
    EXPECT_TRUE(session.ChangeScreenWnd(videoLive.Handle()));
    EXPECT_TRUE(session.SetCameraEnabled(false, nullptr));
    EXPECT_TRUE(session.UseConfiguredCamera());
    EXPECT_TRUE(session.SetAudioProcess());
    EXPECT_TRUE(session.AdjVideoEncParam(320, 240, 60));
    EXPECT_TRUE(session.ChangeRole(GetCastmixRole(eRole_Teacher)));
    EXPECT_TRUE(session.AddParticipantVideo(77, main.Handle()));
    EXPECT_TRUE(session.DelParticipantVideo(77));
    EXPECT_FALSE(session.DelParticipantVideo(77));
    session.ChangeStreamcastModel(1, 0);
    // Nothing to stop, and a recording of an invisible board has no source.
    EXPECT_EQ(session.StopRec(), kRecNotRecording);
    _RecParam board = RecordingParam(kRecordBoard);
    EXPECT_EQ(session.StartRec(board), kRecNoSource);
    if (SoundServerPresent()) {
        EXPECT_EQ(session.QueryAudioDevs(), 1);
    }

    // A refresh joins the same engine again with the new stream node.
    ServerNode other = node;
    other.id = 13;
    session.SetStreamServer(other);
    CASTMIX_HANDLE before = session.engine;
    EXPECT_TRUE(avSession(nullptr, &session, videoLive.Handle(), 320, 240));
    EXPECT_EQ(session.engine, before);

    session.Close();
    EXPECT_EQ(session.engine, nullptr);
    // Every wrapper now answers its no-engine value without reaching the engine.
    EXPECT_FALSE(session.SetVolume(50, 2));
    const long noEngine = CastmixSession::kNoEngine;
    EXPECT_EQ(session.StartRec(board), noEngine);
    EXPECT_EQ(session.QueryAudioDevs(), 0);
}

TEST_F(ClientSession, AStudentJoinsWithTheVideoWindowAsNotifyWindow)
{
    TestWindow videoLive(0, 0, 320, 240);
    context->role = eRole_Student;
    CastmixSession session;
    session.SetStreamServer(node);
    ASSERT_TRUE(avSession(videoLive.Handle(), &session, nullptr, 640, 480));
    EXPECT_EQ(session.camera, -1);
    EXPECT_TRUE(session.ChangeRole(GetCastmixRole(eRole_SpeakerVideo)));
    // An unknown stream server (address 0) is refused by the engine: the join answers false.
    CastmixSession lost;
    ServerNode none = {};
    lost.SetStreamServer(none);
    EXPECT_FALSE(avSession(videoLive.Handle(), &lost, nullptr, 640, 480));
    EXPECT_NE(lost.engine, nullptr);
    EXPECT_FALSE(lost.ChangeRole(3)); // not joined
}

} // namespace
