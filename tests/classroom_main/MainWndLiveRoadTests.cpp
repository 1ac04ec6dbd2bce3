// The live sources, the screen share and the engine kept in step, seen from the engine's double, the
// fake room and the teacher's control panel: a rejoin in the middle of a class, swaps, the two boards
// replacing each other, the room's echo and end of a share, a share ended by the room's living state,
// the first join before the class, the stream-server switch and the device settings.
#include "tests/classroom/WindowTestSupport.h"
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/CastmixSession.h"
#include "classroom/ControlPanelWnd.h"
#include "classroom/CoverWnd.h"
#include "classroom/LiveStateOps.h"
#include "controls/PosLayouts.h"
#include "classroom/DocWnd.h"
#include "tests/classroom/PanelThumbnails.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/support/Pixels.h"
#include "tests/support/TestFolders.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace fakeroom;

namespace {

CastmixDouble& Engine() { return CastmixDouble::Instance(); }

// The engine's calls from mark on, each as "Name(arg,arg)"; the level meters' polls are left out.
std::vector<std::string> CallsSince(size_t mark)
{
    std::vector<std::string> out;
    const std::vector<CastmixCall>& calls = Engine().calls;
    for (size_t i = mark; i < calls.size(); ++i) {
        if (calls[i].name.rfind("GetSpeech", 0) == 0) continue;
        std::string text = calls[i].name + "(";
        for (size_t a = 0; a < calls[i].args.size(); ++a) text += (a ? "," : "") + std::to_string(calls[i].args[a]);
        out.push_back(text + ")");
    }
    return out;
}

std::string Call(const char* name, std::vector<long long> args = {})
{
    std::string text = std::string(name) + "(";
    for (size_t a = 0; a < args.size(); ++a) text += (a ? "," : "") + std::to_string(args[a]);
    return text + ")";
}

// A click in the middle of a control of a skinned window, where the shipped skin placed it.
void ClickIn(WindowImplBase* window, const wchar_t* name)
{
    ASSERT_NE(window, nullptr);
    // The window is laid out anew after every change; the click goes where the user sees the control.
    Settle(100);
    UpdateWindow(window->GetHWND());
    CControlUI* control = window->GetPaintManager()->FindControl(name);
    ASSERT_NE(control, nullptr) << Wide(name);
    RECT rc = control->GetPos();
    ASSERT_GT(rc.right - rc.left, 0) << Wide(name);
    ClickClient(window->GetHWND(), (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
}

void ClickPanel(MainWndHarness& h, const wchar_t* name) { ClickIn(PanelOf(h), name); }

void ClickThumbnail(CDocWnd* thumbnail)
{
    ASSERT_NE(thumbnail, nullptr);
    Settle(100);
    RECT rc{};
    GetClientRect(thumbnail->GetCoverWindow(), &rc);
    ClickClient(thumbnail->GetCoverWindow(), rc.right / 2, rc.bottom / 2);
}

// The room's live-source commands of these types, in the order they arrived: type and payload.
std::vector<std::pair<uint16_t, Bytes>> LiveCommands(MainWndHarness& h, std::vector<uint16_t> types)
{
    std::vector<std::pair<uint16_t, Bytes>> out;
    for (const Packet& p : h.room.reg.Messages()) {
        for (uint16_t type : types)
            if (p.header.type == type) out.push_back({type, p.payload});
    }
    return out;
}

bool WaitForCommands(MainWndHarness& h, std::vector<uint16_t> types, size_t count)
{
    return PumpUntil([&] { return LiveCommands(h, types).size() >= count; }, 5000);
}

Bytes Board(uint16_t tab, uint8_t state) { return Bytes{static_cast<uint8_t>(tab), static_cast<uint8_t>(tab >> 8), state}; }

CWinContainerUI* MainScreen(MainWndHarness& h) { return static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner")); }

void PostVideoSize(MainWndHarness& h, uint16_t width, uint16_t height)
{
    // The engine keeps its size record alive; so does the test until the window has read it.
    static uint16_t size[2];
    size[0] = width;
    size[1] = height;
    SendMessageW(h.window, WM_USER_VIDEO_SIZE, 0, reinterpret_cast<LPARAM>(size));
}

// The room's join reply carrying its live state, as it answers a rejoin.
Bytes ReplyWithLiveState(uint8_t roomState, const LiveState& live)
{
    Bytes reply = JoinReply(roomState);
    memcpy(reply.data() + 23, &live, sizeof live);
    return reply;
}

// What the user sees where the main and the vice screens are laid out now.
struct ScreenShots {
    RECT main{}, vice{};
    WindowPixels mainPixels, vicePixels;
};

ScreenShots ShootScreens(MainWndHarness& h, const ScreenShots* at = nullptr)
{
    Settle(200);
    RedrawWindow(h.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ScreenShots shots;
    shots.main = at ? at->main : h.Find(L"MainScreenCtner")->GetPos();
    shots.vice = at ? at->vice : h.Find(L"ViceScreenCtner")->GetPos();
    shots.mainPixels = CaptureClient(h.window, &shots.main);
    shots.vicePixels = CaptureClient(h.window, &shots.vice);
    return shots;
}

// The room drops the command channel; true when the client has rejoined that many times.
bool DropAndRejoin(MainWndHarness& h, int rejoins)
{
    h.room.reg.Drop();
    if (!PumpUntil([&] { return Occurrences(h.OutputText(), L"Reconnection server successfully!") == rejoins; }, 20000))
        return false;
    Settle();
    return true;
}

// A rejoin during a class with the whiteboard in the main screen and the camera in the vice screen:
// the same pixels in both screens afterwards, and nothing told to the room.
void RejoinKeepsTheScreens(MainWndHarness& h, const std::vector<uint16_t>& live, size_t sentBefore)
{
    ASSERT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    ASSERT_EQ(h.main->GetViceContent(), eScreen_Camera);
    const LiveState shown = h.main->GetLiveState();
    EXPECT_EQ(shown.whiteboardState, 0x41);
    EXPECT_EQ(shown.cameraState, 0x42);
    const ScreenShots before = ShootScreens(h);
    ASSERT_FALSE(before.mainPixels.pixels.empty());
    ASSERT_FALSE(before.vicePixels.pixels.empty());
    h.room.reg.SetJoinReply(1, ReplyWithLiveState(2, shown));
    ASSERT_TRUE(DropAndRejoin(h, 1));

    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_EQ(h.main->GetViceContent(), eScreen_Camera);
    EXPECT_TRUE(h.Find(L"ViceScreenArea")->IsVisible());
    EXPECT_FALSE(h.Find(L"TeacherInfo")->IsVisible());
    const ScreenShots after = ShootScreens(h, &before);
    EXPECT_TRUE(after.mainPixels == before.mainPixels) << "the main screen no longer shows the whiteboard";
    EXPECT_TRUE(after.vicePixels == before.vicePixels) << "the vice screen no longer shows the camera";
    EXPECT_EQ(h.main->GetLiveState().whiteboardState, 0x41);
    EXPECT_EQ(h.main->GetLiveState().cameraState, 0x42);
    EXPECT_EQ(LiveCommands(h, live).size(), sentBefore);
}

} // namespace

TEST(MainWndLiveRoads, ARejoinShowsWhatTheRoomHasLiveAndKeepsTheTeachersCameraRunning)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    const std::vector<uint16_t> live{eType_LiveWhiteboard, eType_LiveDoc, eType_LiveCamera, eType_LiveScreenShare};
    ClickPanel(h, L"WhiteBoardCheck");
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    ClickPanel(h, L"AddCameraBtn");
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    ASSERT_TRUE(WaitForCommands(h, live, 2));
    const long long camera = SessionContext::Instance()->options.cameraId;

    size_t mark = Engine().calls.size();
    RejoinKeepsTheScreens(h, live, 2);
    // The panel still shows what is on air, and the room never lost the teacher's video.
    EXPECT_TRUE(PanelSwitch(h, L"WhiteBoardCheck")->IsSelected());
    EXPECT_NE(PanelOf(h)->GetHeldCamera(), nullptr);
    std::vector<std::string> calls = CallsSince(mark);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call("ChangeSource2Camera", {-1})), 0);
    EXPECT_GE(std::count(calls.begin(), calls.end(), Call("ChangeSource2Camera", {camera})), 1);
    EXPECT_EQ(h.main->GetCastmixSession()->useCamera, 1);

    // The next rejoin's reply has the camera off: it leaves the vice screen, the engine and the panel;
    // the whiteboard stays. The room, which said so, is told nothing.
    LiveState ended = h.main->GetLiveState();
    ended.cameraState = 0x02;
    h.room.reg.SetJoinReply(1, ReplyWithLiveState(2, ended));
    mark = Engine().calls.size();
    ASSERT_TRUE(DropAndRejoin(h, 2));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_EQ(h.main->GetViceContent(), eScreen_None);
    EXPECT_FALSE(h.Find(L"ViceScreenArea")->IsVisible());
    EXPECT_TRUE(PanelSwitch(h, L"WhiteBoardCheck")->IsSelected());
    EXPECT_EQ(PanelOf(h)->GetHeldCamera(), nullptr);
    calls = CallsSince(mark);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call("ChangeSource2Camera", {-1})), 1);
    EXPECT_EQ(h.main->GetCastmixSession()->useCamera, 0);
    EXPECT_EQ(h.main->GetLiveState().cameraState, 0x02);
    EXPECT_EQ(LiveCommands(h, live).size(), 2u);
    EXPECT_EQ(Engine().badHandleCalls, 0);
}

TEST(MainWndLiveRoads, ARejoinShowsTheStudentTheBoardAndTheCameraAgain)
{
    Engine().Reset();
    MainWndHarness h(4, 2);
    LiveState live{};
    live.flags = eLive_Whiteboard | eLive_Camera;
    live.whiteboardTab = 1;
    live.whiteboardState = 0x41;
    live.cameraState = 0x42;
    h.room.reg.SetJoinReply(1, ReplyWithLiveState(2, live));
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    RejoinKeepsTheScreens(h, {eType_LiveWhiteboard, eType_LiveDoc, eType_LiveCamera, eType_LiveScreenShare}, 0);
    // A student's screens never move the engine's camera.
    EXPECT_EQ(Engine().CountOf("ChangeSource2Camera"), 0u);
}

TEST(MainWndLiveRoads, TheCameraTakesItsSizeWindowAndEncoderIntoEveryScreen)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    const long long video = H(h.main->VideoLiveWindow());
    const int kbps = h.main->GetCastmixSession()->kbps;
    const long long camera = SessionContext::Instance()->options.cameraId;
    const std::vector<uint16_t> live{eType_LiveWhiteboard, eType_LiveCamera, eType_SwapScreen};

    ClickPanel(h, L"WhiteBoardCheck");
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    // The panel's camera button asks a short-lived engine for cameras, then the camera joins the board.
    size_t mark = Engine().calls.size();
    ClickPanel(h, L"AddCameraBtn");
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(CallsSince(mark),
              (std::vector<std::string>{Call("Create"), Call("QueryCameras"), Call("Close"),
                                        Call("ChangeSource2Camera", {camera}), Call("ChangeScreenWnd", {kRoomId, 1, video}),
                                        Call("SetMicVolume", {100}), Call("SetSpeakerVolume", {100}),
                                        Call("ChangeScreenWnd", {kRoomId, 1, video}),
                                        Call("AdjVideoEncParam", {320, 240, kbps / 4})}));
    // The engine's size arrives while the camera is in the vice screen: kept for later.
    PostVideoSize(h, 320, 180);
    EXPECT_EQ(MainScreen(h)->GetContentWidth(), 0u);

    // Into the main screen: its shape, the engine's window and the full encoder, without restarting the camera.
    mark = Engine().calls.size();
    SendMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Camera);
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{Call("ChangeScreenWnd", {kRoomId, 1, video}),
                                                          Call("AdjVideoEncParam", {640, 480, kbps})}));
    EXPECT_EQ(MainScreen(h)->GetContentWidth(), 320u);
    EXPECT_EQ(MainScreen(h)->GetContentHeight(), 180u);
    EXPECT_TRUE(MainScreen(h)->IsKeepAspect());
    // A zero side changes no container; a null record is only logged.
    PostVideoSize(h, 0, 200);
    SendMessageW(h.window, WM_USER_VIDEO_SIZE, 0, 0);
    EXPECT_EQ(MainScreen(h)->GetContentWidth(), 320u);
    EXPECT_EQ(MainScreen(h)->GetContentHeight(), 180u);
    PostVideoSize(h, 320, 180);
    // And back into the vice screen.
    mark = Engine().calls.size();
    SendMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    EXPECT_EQ(h.main->GetViceContent(), eScreen_Camera);
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{Call("ChangeScreenWnd", {kRoomId, 1, video}),
                                                          Call("AdjVideoEncParam", {320, 240, kbps / 4})}));

    // The video window closes the camera; the board goes to the vice screen; the camera comes back into
    // the main screen with the size the engine reported meanwhile.
    PostMessageW(h.window, WM_USER_UI_NOTICE, 7, 0);
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_None; }, 3000));
    SendMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    ASSERT_EQ(h.main->GetViceContent(), eScreen_Whiteboard);
    PostVideoSize(h, 400, 300);
    mark = Engine().calls.size();
    ClickPanel(h, L"AddCameraBtn");
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(MainScreen(h)->GetContentWidth(), 400u);
    EXPECT_EQ(MainScreen(h)->GetContentHeight(), 300u);
    std::vector<std::string> on = CallsSince(mark);
    ASSERT_FALSE(on.empty());
    EXPECT_EQ(on.back(), Call("AdjVideoEncParam", {640, 480, kbps}));

    ASSERT_TRUE(WaitForCommands(h, live, 7));
    Settle();
    EXPECT_EQ(LiveCommands(h, live), (std::vector<std::pair<uint16_t, Bytes>>{
                                         {eType_LiveWhiteboard, Board(1, 0x41)},
                                         {eType_LiveCamera, Bytes{0, 0x42}},
                                         {eType_SwapScreen, Bytes{}},
                                         {eType_SwapScreen, Bytes{}},
                                         {eType_LiveCamera, Bytes{0, 0x02}},
                                         {eType_SwapScreen, Bytes{}},
                                         {eType_LiveCamera, Bytes{0, 0x41}}}));
    EXPECT_EQ(Engine().badHandleCalls, 0);
}

TEST(MainWndLiveRoads, EachBoardSwitchesTheOtherOffOnThePanelAndInTheRoom)
{
    Engine().Reset();
    TempFolder pages{L"boards"};
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    // A document of the room with two pages, as the window hands a downloaded one to the panel.
    FileItemRecord file;
    file.fileId = FreshId(7100);
    file.name = L"Optics.lvl";
    file.flag = 1;
    file.pages.pageCount = 2;
    file.pages.currentPage = 1;
    for (int page = 1; page <= 2; ++page) {
        CString path;
        path.Format(L"%soptics_%d.jpg", pages.Path().GetString(), page);
        ASSERT_TRUE(DrawSlideJpeg(path, page, 160, 120));
        file.pages.values.push_back(path);
    }
    CControlPanelWnd* panel = PanelOf(h);
    panel->AddDocuments({file}, 0);
    std::vector<CDocWnd*> thumbs = PanelThumbnails(panel);
    ASSERT_EQ(thumbs.size(), 1u);
    CDocWnd* thumb = thumbs[0];
    COptionUI* board = PanelSwitch(h, L"WhiteBoardCheck");
    const std::vector<uint16_t> boards{eType_LiveWhiteboard, eType_LiveDoc};

    ClickPanel(h, L"WhiteBoardCheck");
    ASSERT_TRUE(WaitForCommands(h, boards, 1));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);

    // The document while the whiteboard is live: the switch clears and the room hears both.
    ClickThumbnail(thumb);
    ASSERT_TRUE(WaitForCommands(h, boards, 3));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    EXPECT_FALSE(board->IsSelected());
    EXPECT_EQ(board->GetBorderColor(), 0u);
    ASSERT_NE(panel->GetHeldDocument(), nullptr);
    EXPECT_EQ(panel->GetHeldDocument()->source, thumb->GetHWND());

    // The whiteboard while the document is live: the panel lets the thumbnail go.
    ClickPanel(h, L"WhiteBoardCheck");
    ASSERT_TRUE(WaitForCommands(h, boards, 5));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_TRUE(board->IsSelected());
    EXPECT_EQ(panel->GetHeldDocument(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !thumb->GetCover()->IsSelected(); }, 3000));

    // So one click brings the document back.
    ClickThumbnail(thumb);
    ASSERT_TRUE(WaitForCommands(h, boards, 7));
    Settle();
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    EXPECT_EQ(LiveCommands(h, boards), (std::vector<std::pair<uint16_t, Bytes>>{
                                           {eType_LiveWhiteboard, Board(1, 0x41)},
                                           {eType_LiveWhiteboard, Board(1, 0x01)},
                                           {eType_LiveDoc, DocBytes(file.fileId, 1, 0x41)},
                                           {eType_LiveDoc, DocBytes(file.fileId, 1, 0x01)},
                                           {eType_LiveWhiteboard, Board(1, 0x41)},
                                           {eType_LiveWhiteboard, Board(1, 0x01)},
                                           {eType_LiveDoc, DocBytes(file.fileId, 1, 0x41)}}));
    // No camera was live: the engine's camera was never touched.
    EXPECT_EQ(Engine().CountOf("ChangeSource2Camera"), 0u);
}

TEST(MainWndLiveRoads, TheRoomsEchoOfTheTeachersSharePointsTheEngineAtTheBarAgain)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    const long long bar = H(h.main->ShareScreenWindow());
    const long long video = H(h.main->VideoLiveWindow());
    const std::vector<std::string> toBar{Call("ChangeSource2Wnd", {bar, 5, 4, 5, 27, 5, 5}), Call("SetMicVolume", {100}),
                                         Call("SetSpeakerVolume", {100}), Call("ChangeScreenWnd", {kRoomId, 1, video})};
    size_t mark = Engine().calls.size();
    ClickPanel(h, L"ScreenShareCheck");
    ASSERT_TRUE(WaitForCommands(h, {eType_LiveScreenShare}, 1));
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_EQ(h.room.reg.Messages(eType_LiveScreenShare)[0].payload, Bytes{1});
    EXPECT_EQ(CallsSince(mark), toBar);
    EXPECT_TRUE(KillTimer(h.window, eTimer_VideoReattach));

    // The room confirms the share: the same again, timer 6 included.
    mark = Engine().calls.size();
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{1}, 21));
    ASSERT_TRUE(PumpUntil([&] { return CallsSince(mark).size() >= toBar.size(); }, 3000));
    Settle();
    EXPECT_EQ(CallsSince(mark), toBar);
    EXPECT_TRUE(KillTimer(h.window, eTimer_VideoReattach));
    EXPECT_TRUE(PanelSwitch(h, L"ScreenShareCheck")->IsSelected());

    // The room ends the share: the window is back, the switch clear, so one click shares again.
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{0}, 21));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h.window); }, 3000));
    EXPECT_FALSE(IsWindowVisible(h.main->ShareScreenWindow()));
    EXPECT_FALSE(PanelSwitch(h, L"ScreenShareCheck")->IsSelected());
    EXPECT_EQ(PanelSwitch(h, L"ScreenShareCheck")->GetBorderColor(), 0u);
    ClickPanel(h, L"ScreenShareCheck");
    ASSERT_TRUE(WaitForCommands(h, {eType_LiveScreenShare}, 2));
    EXPECT_EQ(h.room.reg.Messages(eType_LiveScreenShare)[1].payload, Bytes{1});
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_TRUE(KillTimer(h.window, eTimer_VideoReattach));

    // Ended on the share bar; a late echo only checks the switch again and leaves the engine alone.
    ClickIn(dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(
                GetWindowLongPtrW(h.main->ShareScreenWindow(), GWLP_USERDATA))),
            L"closebtn");
    ASSERT_TRUE(WaitForCommands(h, {eType_LiveScreenShare}, 3));
    mark = Engine().calls.size();
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{1}, 21));
    ASSERT_TRUE(PumpUntil([&] { return PanelSwitch(h, L"ScreenShareCheck")->IsSelected(); }, 3000));
    Settle();
    EXPECT_TRUE(CallsSince(mark).empty());
    EXPECT_FALSE(KillTimer(h.window, eTimer_VideoReattach));
}

TEST(MainWndLiveRoads, AShareEndedByTheRoomsLivingStateBringsTheTeachersDocumentBack)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    const uint64_t docId = FreshId(7300);
    auto* doc = new WndMsgPayload;
    DocPageList offered;
    offered.docId = docId;
    offered.pageCount = 3;
    offered.currentPage = 2;
    doc->SetDocument(nullptr, offered);
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(doc));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Document; }, 3000));
    ClickPanel(h, L"ScreenShareCheck");
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(h.window); }, 3000));

    // After a reconnection the room's state has the document live and no share.
    LiveState state = h.main->GetLiveState();
    state.flags = static_cast<uint8_t>(state.flags & ~eLive_ScreenShare);
    Bytes bytes(sizeof state);
    memcpy(bytes.data(), &state, sizeof state);
    size_t mark = Engine().calls.size();
    ASSERT_TRUE(h.Push(eType_LivingState, bytes, 21));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h.window); }, 3000));
    Settle();
    EXPECT_FALSE(IsWindowVisible(h.main->ShareScreenWindow()));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    EXPECT_EQ(MainScreen(h)->GetEmbedWindow(), h.main->DocumentWindow());
    EXPECT_TRUE(MainScreen(h)->IsVisible());
    EXPECT_EQ(h.main->GetLiveState().docState, 0x41);
    EXPECT_EQ(h.main->GetLiveState().flags & eLive_ScreenShare, 0);
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{Call("ChangeSourceType", {1})}));
}

TEST(MainWndLiveRoads, ATeachersFirstJoinBeforeTheClassSendsNothing)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    std::vector<std::string> names = Engine().Names();
    ASSERT_GE(names.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 5),
              (std::vector<std::string>{"Create", "SetNotify", "Room_Join", "SetAudioProcess", "SetSendState"}));
    EXPECT_EQ(Engine().calls[4].args, (std::vector<long long>{5}));
    EXPECT_EQ(Engine().CountOf("SetSendState"), 1u);
}

TEST(MainWndLiveRoads, AStreamServerSwitchIsWhatTheRefreshAndTheNextSwitchStartFrom)
{
    Engine().Reset();
    MainWndHarness h(2, 1, 2);
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    Engine().results["ChangeStreamServer"] = 1;
    ServerNode first = SessionContext::Instance()->GetStreamServer();
    ASSERT_TRUE(first.id == 10 || first.id == 11);
    ServerNode other{};
    for (const ServerNode& node : h.room.DefaultList())
        if (node.kind == eServer_Stream && node.id != first.id) other = node;

    h.main->GetPaintManager()->SendNotify(h.Find(L"SwitchNetworkBtn"), L"click");
    ASSERT_EQ(Engine().CountOf("ChangeStreamServer"), 1u);
    EXPECT_EQ(Engine().Last("ChangeStreamServer")->args,
              (std::vector<long long>{other.address, other.port, other.id}));
    EXPECT_EQ(SessionContext::Instance()->GetStreamServer().id, other.id);

    // The refresh joins the engine on the server switched to.
    PostMessageW(h.window, WM_USER_REFRESH_RESULT, 1, 2);
    ASSERT_TRUE(PumpUntil([&] { return Engine().CountOf("Room_Join") == 2; }, 3000));
    const std::vector<long long>& join = Engine().Last("Room_Join")->args;
    EXPECT_EQ(join[3], static_cast<long long>(other.address));
    EXPECT_EQ(join[4], other.port);
    EXPECT_EQ(join[5], other.id);

    // The next switch goes back to the first server.
    h.main->GetPaintManager()->SendNotify(h.Find(L"SwitchNetworkBtn"), L"click");
    ASSERT_EQ(Engine().CountOf("ChangeStreamServer"), 2u);
    EXPECT_EQ(Engine().Last("ChangeStreamServer")->args, (std::vector<long long>{first.address, first.port, first.id}));
    EXPECT_EQ(SessionContext::Instance()->GetStreamServer().id, first.id);
    // A switch the engine refuses leaves the stream server where it is.
    Engine().results["ChangeStreamServer"] = 0;
    h.main->GetPaintManager()->SendNotify(h.Find(L"SwitchNetworkBtn"), L"click");
    ASSERT_EQ(Engine().CountOf("ChangeStreamServer"), 3u);
    EXPECT_EQ(SessionContext::Instance()->GetStreamServer().id, first.id);
}

TEST(MainWndLiveRoads, NewMicrophoneAndSpeakerChoicesReachTheRunningEngine)
{
    Engine().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    OptionSettings& options = SessionContext::Instance()->options;
    options.microphoneId = 1;
    options.speakerId = 2;
    size_t mark = Engine().calls.size();
    // The settings dialog's OK posts one message per changed group.
    PostMessageW(h.window, WM_USER_SETTINGS_CHANGED, 2, 0);
    PostMessageW(h.window, WM_USER_SETTINGS_CHANGED, 3, 0);
    ASSERT_TRUE(PumpUntil([&] { return CallsSince(mark).size() >= 2; }, 3000));
    Settle();
    EXPECT_EQ(CallsSince(mark), (std::vector<std::string>{Call("ChangeMic", {1}), Call("ChangeSpeaker", {2})}));
    EXPECT_EQ(h.main->GetCastmixSession()->microphone, 1);
    EXPECT_EQ(h.main->GetCastmixSession()->speaker, 2);
    options.microphoneId = 0;
    options.speakerId = 0;
}
