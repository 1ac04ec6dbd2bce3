// The engine's exported calls through its import library: every call on a null, closed or foreign
// handle answers its failure, close nulls the handle, and the room calls check their arguments and
// need a joined room.
#include "core/WindowMessages.h"
#include "platform/castmix/CastmixEngine.h"
#include "platform/castmix/EngineLog.h"
#include "platform/castmix/RecordingSession.h"
#include "tests/castmix_engine/EngineSupport.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

// Every call that takes a handle, with arguments that would be valid on a joined engine.
std::vector<std::pair<std::string, std::function<long(CASTMIX_HANDLE)>>> EveryCall(HWND window)
{
    static CastmixDeviceNames names;
    static _AudioProcessParam audio = {};
    static _RecParam rec = {};
    return {
        {"SetNotify", [=](CASTMIX_HANDLE h) { return Castmix_SetNotify(h, window, WM_USER_CASTMIX_NOTIFY); }},
        {"Room_Join", [=](CASTMIX_HANDLE h) { JoinArgs join; join.notify = window; return join.JoinOn(h); }},
        {"SetAudioProcess", [](CASTMIX_HANDLE h) { return Castmix_SetAudioProcess(h, &audio); }},
        {"SetSendState", [](CASTMIX_HANDLE h) { return Castmix_SetSendState(h, 10); }},
        {"ChangeSource2Camera", [](CASTMIX_HANDLE h) { return Castmix_ChangeSource2Camera(h, -1); }},
        {"ChangeScreenWnd", [=](CASTMIX_HANDLE h) { return Castmix_ChangeScreenWnd(h, 4242, TRUE, window); }},
        {"ChangeSource2Wnd", [=](CASTMIX_HANDLE h) { return Castmix_ChangeSource2Wnd(h, window, 5, 4, 5, 27, 5, 5); }},
        {"ChangeSourceType", [](CASTMIX_HANDLE h) { return Castmix_ChangeSourceType(h, 1); }},
        {"SetMicVolume", [](CASTMIX_HANDLE h) { return Castmix_SetMicVolume(h, 100); }},
        {"SetSpeakerVolume", [](CASTMIX_HANDLE h) { return Castmix_SetSpeakerVolume(h, 100); }},
        {"GetSpeechMicVolume", [](CASTMIX_HANDLE h) { return Castmix_GetSpeechMicVolume(h); }},
        {"GetSpeechSpeakerVolume", [](CASTMIX_HANDLE h) { return Castmix_GetSpeechSpeakerVolume(h, 0); }},
        {"ChangeMic", [](CASTMIX_HANDLE h) { return Castmix_ChangeMic(h, 0); }},
        {"ChangeSpeaker", [](CASTMIX_HANDLE h) { return Castmix_ChangeSpeaker(h, 0); }},
        {"AdjVideoEncParam", [](CASTMIX_HANDLE h) { return Castmix_AdjVideoEncParam(h, 640, 480, 240); }},
        {"Room_ChangeRole", [](CASTMIX_HANDLE h) { return Castmix_Room_ChangeRole(h, 3); }},
        {"ChangeStreamcastModel", [](CASTMIX_HANDLE h) { return Castmix_ChangeStreamcastModel(h, 2, 4); }},
        {"AddParticipantVideo", [=](CASTMIX_HANDLE h) { return Castmix_AddParticipantVideo(h, 9, window); }},
        {"DelParticipantVideo", [](CASTMIX_HANDLE h) { return Castmix_DelParticipantVideo(h, 9); }},
        {"ChangeStreamServer", [](CASTMIX_HANDLE h) { return Castmix_ChangeStreamServer(h, 0x0200007F, 9001, 4); }},
        {"QueryCameras", [](CASTMIX_HANDLE h) { return Castmix_QueryCameras(h, names); }},
        {"QueryAudioCapDevs", [](CASTMIX_HANDLE h) { return Castmix_QueryAudioCapDevs(h, names); }},
        {"QueryAudioPlayDevs", [](CASTMIX_HANDLE h) { return Castmix_QueryAudioPlayDevs(h, names); }},
        {"VideoPreview", [](CASTMIX_HANDLE h) { return Castmix_VideoPreview(h, -1, nullptr); }},
        {"VideoShowPropertyPage", [](CASTMIX_HANDLE h) { return Castmix_VideoShowPropertyPage(h, 0, nullptr); }},
        {"StartRec", [](CASTMIX_HANDLE h) { return Castmix_StartRec(h, 0, &rec); }},
    };
}

class ExportTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(com.Ok()); }
    ComScope com;
    MessageSink sink;
};

TEST_F(ExportTest, CloseNullsTheHandleOnceAndEveryCallRefusesNullClosedAndForeignHandles)
{
    CASTMIX_HANDLE engine = Castmix_Create();
    ASSERT_NE(engine, nullptr);
    CASTMIX_HANDLE stale = engine, copy = engine;
    EXPECT_EQ(Castmix_Close(&engine), 0);
    EXPECT_EQ(engine, nullptr);
    EXPECT_EQ(Castmix_Close(&engine), kCastmixBadHandle);
    EXPECT_EQ(engine, nullptr);
    // A copy of the closed handle is refused and nulled too.
    EXPECT_EQ(Castmix_Close(&copy), kCastmixBadHandle);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(Castmix_Close(nullptr), kCastmixBadHandle);
    int local = 0;
    CASTMIX_HANDLE foreign = &local;
    for (const auto& call : EveryCall(sink.Handle())) {
        EXPECT_EQ(call.second(nullptr), kCastmixBadHandle) << call.first << " on null";
        EXPECT_EQ(call.second(stale), kCastmixBadHandle) << call.first << " on a closed handle";
        EXPECT_EQ(call.second(foreign), kCastmixBadHandle) << call.first << " on a foreign handle";
    }
    EXPECT_EQ(sink.Count(WM_USER_CASTMIX_NOTIFY), 0u);
    // Each refusal is a line of the engine's own log file, which it opened when it was loaded.
    const std::string log = ReadFileBytes(CString(EngineLogFolder().c_str()) + L"Castmix.log");
    char pointer[24];
    snprintf(pointer, sizeof pointer, "%p", static_cast<void*>(foreign));
    for (const auto& call : EveryCall(sink.Handle()))
        EXPECT_NE(log.find("Err: " + call.first + " with bad handle " + pointer + "\r\n"), std::string::npos) << call.first;

    // Engines are independent: two at once, closed in either order.
    CASTMIX_HANDLE first = Castmix_Create();
    CASTMIX_HANDLE second = Castmix_Create();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(Castmix_Close(&second), 0);
    EXPECT_EQ(Castmix_SetSendState(first, 10), 0);
    EXPECT_EQ(Castmix_Close(&first), 0);
}

class EngineTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        engine = Castmix_Create();
        ASSERT_NE(engine, nullptr);
    }
    void TearDown() override
    {
        if (engine) {
            EXPECT_EQ(Castmix_Close(&engine), 0);
        }
    }
    CASTMIX_HANDLE engine = nullptr;
};

TEST_F(EngineTest, JoinChecksItsArgumentsAndRoomCallsWaitForIt)
{
    struct Case {
        const char* what;
        void (*apply)(JoinArgs&);
    };
    const Case refused[] = {
        {"role 1", [](JoinArgs& j) { j.role = 1; }},
        {"role 5", [](JoinArgs& j) { j.role = 5; }},
        {"room 0", [](JoinArgs& j) { j.roomId = 0; }},
        {"address 0", [](JoinArgs& j) { j.address = 0; }},
        {"port 0", [](JoinArgs& j) { j.port = 0; }},
        {"width 0", [](JoinArgs& j) { j.width = 0; }},
        {"height 99999", [](JoinArgs& j) { j.height = 99999; }},
        {"frame rate 0", [](JoinArgs& j) { j.frameRate = 0; }},
        {"kbps -1", [](JoinArgs& j) { j.kbps = -1; }},
        {"microphone -1", [](JoinArgs& j) { j.microphone = -1; }},
        {"camera -2", [](JoinArgs& j) { j.camera = -2; }},
        {"dead local window", [](JoinArgs& j) { j.localVideo = reinterpret_cast<HWND>(0x7FFFF0); }},
        {"dead main window", [](JoinArgs& j) { j.main = reinterpret_cast<HWND>(0x7FFFF4); }},
    };
    for (const Case& item : refused) {
        JoinArgs join;
        join.notify = sink.Handle();
        item.apply(join);
        EXPECT_EQ(join.JoinOn(engine), kCastmixBadArgument) << item.what;
    }
    // Still not joined after the refusals: the room calls wait for a join, what only sets the engine up
    // is taken before it.
    EXPECT_EQ(Castmix_ChangeScreenWnd(engine, 4242, TRUE, sink.Handle()), kCastmixNotJoined);
    EXPECT_EQ(Castmix_Room_ChangeRole(engine, 3), kCastmixNotJoined);
    EXPECT_EQ(Castmix_AddParticipantVideo(engine, 9, sink.Handle()), kCastmixNotJoined);
    EXPECT_EQ(Castmix_DelParticipantVideo(engine, 9), kCastmixNotJoined);
    EXPECT_EQ(Castmix_ChangeStreamServer(engine, 0x0200007F, 9001, 4), kCastmixNotJoined);
    EXPECT_EQ(Castmix_SetNotify(engine, sink.Handle(), WM_USER_CASTMIX_NOTIFY), 0);
    EXPECT_EQ(Castmix_SetSendState(engine, 5), 0);
    EXPECT_EQ(Castmix_SetMicVolume(engine, 200), 0);
    EXPECT_EQ(Castmix_SetSpeakerVolume(engine, 0), 0);
    EXPECT_EQ(Castmix_ChangeSource2Camera(engine, -1), 0);
    EXPECT_EQ(Castmix_ChangeStreamcastModel(engine, 4, 4), 0);
    EXPECT_EQ(Castmix_GetSpeechMicVolume(engine), 0);
    EXPECT_EQ(Castmix_GetSpeechSpeakerVolume(engine, 0), 0);
    for (int role : {0, 2, 3, 4}) {
        JoinArgs join;
        join.role = role;
        join.microphone = 99; // a missing device leaves the class running without it
        join.notify = sink.Handle();
        EXPECT_EQ(join.JoinOn(engine), 0) << "role " << role;
    }
}

TEST_F(EngineTest, CallsOfAJoinedClassCheckTheirValues)
{
    JoinArgs join;
    join.notify = sink.Handle();
    join.microphone = 99;
    ASSERT_EQ(join.JoinOn(engine), 0);

    EXPECT_EQ(Castmix_SetNotify(engine, nullptr, WM_USER_CASTMIX_NOTIFY), -1);
    EXPECT_EQ(Castmix_SetNotify(engine, sink.Handle(), 0), -1);
    EXPECT_EQ(Castmix_SetNotify(engine, sink.Handle(), WM_USER_CASTMIX_NOTIFY), 0);

    _AudioProcessParam audio = {};
    audio.nsnear = {1, {}, 2};
    audio.agcfar = {1, {}, 100};
    EXPECT_EQ(Castmix_SetAudioProcess(engine, &audio), 0);
    EXPECT_EQ(Castmix_SetAudioProcess(engine, nullptr), kCastmixBadArgument);
    audio.aecnear.enabled = 2;
    EXPECT_EQ(Castmix_SetAudioProcess(engine, &audio), kCastmixBadArgument);
    audio.aecnear = {1, {}, -1};
    EXPECT_EQ(Castmix_SetAudioProcess(engine, &audio), kCastmixBadArgument);
    audio.aecnear = {1, {}, 101};
    EXPECT_EQ(Castmix_SetAudioProcess(engine, &audio), kCastmixBadArgument);
    audio.aecnear = {0, {}, 5000}; // switched off: its level is not used
    EXPECT_EQ(Castmix_SetAudioProcess(engine, &audio), 0);

    EXPECT_EQ(Castmix_SetSendState(engine, 10), 0);
    EXPECT_EQ(Castmix_SetSendState(engine, 5), 0);
    EXPECT_EQ(Castmix_SetSendState(engine, 7), kCastmixBadArgument);

    for (int volume : {0, 1, 199, 200}) {
        EXPECT_EQ(Castmix_SetMicVolume(engine, volume), 0) << volume;
        EXPECT_EQ(Castmix_SetSpeakerVolume(engine, volume), 0) << volume;
    }
    for (int volume : {-1, 201, 300}) {
        EXPECT_EQ(Castmix_SetMicVolume(engine, volume), kCastmixBadArgument) << volume;
        EXPECT_EQ(Castmix_SetSpeakerVolume(engine, volume), kCastmixBadArgument) << volume;
    }
    EXPECT_EQ(Castmix_GetSpeechSpeakerVolume(engine, 1), kCastmixBadArgument);

    EXPECT_EQ(Castmix_ChangeScreenWnd(engine, 4242, TRUE, sink.Handle()), 0);
    EXPECT_EQ(Castmix_ChangeScreenWnd(engine, 4242, TRUE, nullptr), 0);
    EXPECT_EQ(Castmix_ChangeScreenWnd(engine, 4243, TRUE, sink.Handle()), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeScreenWnd(engine, 4242, FALSE, reinterpret_cast<HWND>(0x7FFFF0)), kCastmixBadArgument);

    EXPECT_EQ(Castmix_ChangeSource2Wnd(engine, sink.Handle(), 5, 4, 5, 27, 5, 5), 0);
    EXPECT_EQ(Castmix_ChangeSource2Wnd(engine, nullptr, 5, 4, 5, 27, 5, 5), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeSource2Wnd(engine, sink.Handle(), 5, 4, -1, 27, 5, 5), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeSourceType(engine, 1), 0);
    EXPECT_EQ(Castmix_ChangeSourceType(engine, 2), kCastmixBadArgument);

    EXPECT_EQ(Castmix_AdjVideoEncParam(engine, 640, 480, 240), 1);
    EXPECT_EQ(Castmix_AdjVideoEncParam(engine, 320, 240, 60), 1);
    EXPECT_EQ(Castmix_AdjVideoEncParam(engine, 0, 240, 60), kCastmixBadArgument);
    EXPECT_EQ(Castmix_AdjVideoEncParam(engine, 320, 240, 0), kCastmixBadArgument);

    EXPECT_EQ(Castmix_Room_ChangeRole(engine, 3), 1);
    EXPECT_EQ(Castmix_Room_ChangeRole(engine, 4), 1);
    EXPECT_EQ(Castmix_Room_ChangeRole(engine, 1), kCastmixBadArgument);

    EXPECT_EQ(Castmix_ChangeStreamcastModel(engine, 2, 4), 0);
    EXPECT_EQ(Castmix_ChangeStreamcastModel(engine, 4, 2), 0);
    EXPECT_EQ(Castmix_ChangeStreamcastModel(engine, 3, 2), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeStreamcastModel(engine, 2, 0), kCastmixBadArgument);

    EXPECT_EQ(Castmix_AddParticipantVideo(engine, 9, sink.Handle()), 1);
    EXPECT_EQ(Castmix_AddParticipantVideo(engine, 0, sink.Handle()), kCastmixBadArgument);
    EXPECT_EQ(Castmix_AddParticipantVideo(engine, 10, nullptr), kCastmixBadArgument);
    // A second join of the same room keeps the participant; another room forgets it.
    EXPECT_EQ(join.JoinOn(engine), 0);
    EXPECT_EQ(Castmix_DelParticipantVideo(engine, 9), 1);
    EXPECT_EQ(Castmix_DelParticipantVideo(engine, 9), 0);
    EXPECT_EQ(Castmix_AddParticipantVideo(engine, 9, sink.Handle()), 1);
    JoinArgs otherRoom = join;
    otherRoom.roomId = 4243;
    EXPECT_EQ(otherRoom.JoinOn(engine), 0);
    EXPECT_EQ(Castmix_DelParticipantVideo(engine, 9), 0);
    EXPECT_EQ(join.JoinOn(engine), 0);

    EXPECT_EQ(Castmix_ChangeStreamServer(engine, 0x0200007F, 9001, 4), 1);
    EXPECT_EQ(Castmix_ChangeStreamServer(engine, 0, 9001, 4), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeStreamServer(engine, 0x0200007F, 0, 4), kCastmixBadArgument);

    EXPECT_EQ(Castmix_ChangeMic(engine, -1), kCastmixBadArgument);
    EXPECT_EQ(Castmix_ChangeSpeaker(engine, -1), kCastmixBadArgument);
    // A joined engine starts playback on the chosen speaker; without a sound server it cannot.
    EXPECT_EQ(Castmix_ChangeSpeaker(engine, 1), SoundServerPresent() ? 0 : kCastmixDeviceFailed);
    EXPECT_EQ(Castmix_ChangeSource2Camera(engine, -2), kCastmixBadArgument);
    EXPECT_EQ(Castmix_VideoPreview(engine, -2, nullptr), kCastmixBadArgument);
    EXPECT_EQ(Castmix_VideoPreview(engine, 0, reinterpret_cast<HWND>(0x7FFFF0)), kCastmixBadArgument);
    EXPECT_EQ(Castmix_VideoPreview(engine, -1, nullptr), 0); // stops a preview that does not run
    EXPECT_EQ(Castmix_VideoShowPropertyPage(engine, -1, nullptr), kCastmixBadArgument);
    EXPECT_EQ(Castmix_VideoShowPropertyPage(engine, 999, nullptr), kCastmixDeviceFailed);
    EXPECT_EQ(Castmix_QueryCameras(engine, nullptr), kCastmixBadArgument);
    EXPECT_EQ(Castmix_QueryAudioCapDevs(engine, nullptr), kCastmixBadArgument);
    EXPECT_EQ(Castmix_QueryAudioPlayDevs(engine, nullptr), kCastmixBadArgument);
    // Nothing above changed the video size: no notification.
    EXPECT_EQ(sink.Count(WM_USER_CASTMIX_NOTIFY), 0u);
}

TEST_F(EngineTest, RecordingChecksItsRecordAndItsSourcesThenReachesTheRecorderWithABoard)
{
    _RecParam param = RecordingParam(kRecordCamera);
    EXPECT_EQ(Castmix_StartRec(engine, 0, &param), kRecNotRecording);
    EXPECT_EQ(Castmix_StartRec(engine, 1, nullptr), kRecBadParam);
    EXPECT_EQ(Castmix_StartRec(engine, 2, &param), kRecBadParam);
    _RecParam bad = param;
    bad.outputWidth = 641;
    EXPECT_EQ(Castmix_StartRec(engine, 1, &bad), kRecBadParam);

    // No camera runs, and no board window is given: the recorder has nothing to record. A library
    // without a recorder says so first.
    long cameraMode = Castmix_StartRec(engine, 1, &param);
    EXPECT_TRUE(cameraMode == kRecNoSource || cameraMode == kRecUnavailable) << cameraMode;
    param.mode = kRecordBoard;
    EXPECT_EQ(Castmix_StartRec(engine, 1, &param), cameraMode);
    EXPECT_EQ(Castmix_StartRec(engine, 0, &param), kRecNotRecording);

    TestWindow board(0, 0, 160, 120, RGB(0x30, 0x60, 0x90));
    ASSERT_NE(board.Handle(), nullptr);
    param.whiteboardWindow = CastmixWindowValue(board.Handle());
    long started = Castmix_StartRec(engine, 1, &param);
    // Wine has no Windows Media writer, so a recorder fails its start there (-100); a library without
    // a recorder answers unavailable. Where the writer exists the recording runs and stops cleanly.
    if (started == 1) {
        Pump(500);
        EXPECT_EQ(Castmix_StartRec(engine, 0, &param), 1);
    } else {
        EXPECT_TRUE(started == -100 || started == kRecUnavailable) << started;
        EXPECT_EQ(Castmix_StartRec(engine, 0, &param), kRecNotRecording);
    }
    // The engine stays usable after either outcome.
    EXPECT_EQ(Castmix_SetSendState(engine, 10), 0);
}

} // namespace
