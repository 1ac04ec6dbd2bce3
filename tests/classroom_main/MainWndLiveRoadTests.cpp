// The live sources, the screen share and the engine kept in step, seen from the engine's double, the
// fake room and the teacher's control panel: each role's rejoin against a first join with the same
// reply, swaps, the two boards replacing each other, the room's echo and end of a share, a share ended
// by the room's living state, the first join before the class, the stream-server switch and the device
// settings.
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
#include <cstdio>
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

// What the window shows of the live sources, comparable between two clients: which source window each
// screen holds, what is shown of the screens and the source windows, their pixels, the live state, the
// engine's camera, the class clock and a teacher's panel.
struct Screens {
    int32_t mainContent = 0, viceContent = 0;
    int32_t mainHolds = 0, viceHolds = 0;
    bool mainShown = false, viceShown = false, teacherInfoShown = false;
    bool videoShown = false, docShown = false, boardShown = false;
    LiveState live{};
    int useCamera = -1;
    bool boardChecked = false, shareChecked = false;
    uint64_t heldDocument = 0;
    WindowPixels liveArea, viceArea;
    bool clockRunning = false;
    bool beginShown = false, endShown = false, recordShown = false;
};

int32_t SourceIn(MainWndHarness& h, const wchar_t* container)
{
    HWND window = static_cast<CWinContainerUI*>(h.Find(container))->GetEmbedWindow();
    if (!window) return eScreen_None;
    if (window == h.main->VideoLiveWindow()) return eScreen_Camera;
    if (window == h.main->DocumentWindow()) return eScreen_Document;
    if (window == h.main->WhiteboardWindow()) return eScreen_Whiteboard;
    return -1;
}

// Visible with a size: a window made visible that no screen has sized yet shows nothing.
bool Shown(HWND window)
{
    RECT rc{};
    return IsWindowVisible(window) && GetClientRect(window, &rc) && rc.right > rc.left && rc.bottom > rc.top;
}

// Read last: the class clock is stopped to learn whether it ran.
Screens LookAtScreens(MainWndHarness& h)
{
    Settle(300);
    RedrawWindow(h.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Screens s;
    s.mainContent = h.main->GetMainContent();
    s.viceContent = h.main->GetViceContent();
    s.mainHolds = SourceIn(h, L"MainScreenCtner");
    s.viceHolds = SourceIn(h, L"ViceScreenCtner");
    s.mainShown = h.Find(L"MainScreenCtner")->IsVisible();
    s.viceShown = h.Find(L"ViceScreenArea")->IsVisible();
    s.teacherInfoShown = h.Find(L"TeacherInfo")->IsVisible();
    s.videoShown = Shown(h.main->VideoLiveWindow());
    s.docShown = Shown(h.main->DocumentWindow());
    s.boardShown = Shown(h.main->WhiteboardWindow());
    s.live = h.main->GetLiveState();
    s.useCamera = h.main->GetCastmixSession()->useCamera;
    CControlPanelWnd* panel = PanelOf(h);
    if (panel && IsTeacherRole(SessionContext::Instance()->role)) {
        s.boardChecked = PanelSwitch(h, L"WhiteBoardCheck")->IsSelected();
        s.shareChecked = PanelSwitch(h, L"ScreenShareCheck")->IsSelected();
        const WndMsgPayload* held = panel->GetHeldDocument();
        s.heldDocument = held && held->Document() ? held->Document()->docId : 0;
    }
    RECT area = h.Find(L"LiveArea")->GetPos();
    s.liveArea = CaptureClient(h.window, &area);
    if (s.viceShown) {
        area = h.Find(L"ViceScreenArea")->GetPos();
        s.viceArea = CaptureClient(h.window, &area);
    }
    s.clockRunning = KillTimer(h.window, eTimer_ClassClock) != FALSE;
    s.beginShown = h.Find(L"ClassBeginBtn")->IsVisible();
    s.endShown = h.Find(L"ClassOverBtn")->IsVisible();
    s.recordShown = h.Find(L"RecordCheck")->IsVisible();
    return s;
}

std::string Hex(const LiveState& live)
{
    std::string text;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&live);
    char byte[4];
    for (size_t i = 0; i < sizeof live; ++i) {
        snprintf(byte, sizeof byte, "%02x ", bytes[i]);
        text += byte;
    }
    return text;
}

void ExpectSameScreens(const Screens& rejoined, const Screens& fresh)
{
    EXPECT_EQ(rejoined.mainContent, fresh.mainContent);
    EXPECT_EQ(rejoined.viceContent, fresh.viceContent);
    EXPECT_EQ(rejoined.mainHolds, fresh.mainHolds);
    EXPECT_EQ(rejoined.viceHolds, fresh.viceHolds);
    EXPECT_EQ(rejoined.mainShown, fresh.mainShown);
    EXPECT_EQ(rejoined.viceShown, fresh.viceShown);
    EXPECT_EQ(rejoined.teacherInfoShown, fresh.teacherInfoShown);
    EXPECT_EQ(rejoined.videoShown, fresh.videoShown);
    EXPECT_EQ(rejoined.docShown, fresh.docShown);
    EXPECT_EQ(rejoined.boardShown, fresh.boardShown);
    EXPECT_EQ(Hex(rejoined.live), Hex(fresh.live));
    EXPECT_EQ(rejoined.useCamera, fresh.useCamera);
    EXPECT_EQ(rejoined.boardChecked, fresh.boardChecked);
    EXPECT_EQ(rejoined.shareChecked, fresh.shareChecked);
    EXPECT_EQ(rejoined.heldDocument, fresh.heldDocument);
    EXPECT_TRUE(rejoined.liveArea == fresh.liveArea) << "the main screen differs";
    EXPECT_TRUE(rejoined.viceArea == fresh.viceArea) << "the vice screen differs";
    EXPECT_EQ(rejoined.clockRunning, fresh.clockRunning);
    EXPECT_EQ(rejoined.beginShown, fresh.beginShown);
    EXPECT_EQ(rejoined.endShown, fresh.endShown);
    EXPECT_EQ(rejoined.recordShown, fresh.recordShown);
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

const std::vector<uint16_t> kLiveCommands{eType_LiveWhiteboard, eType_LiveDoc, eType_LiveCamera, eType_LiveScreenShare,
                                          eType_SwapScreen};

LiveState Live(uint8_t board, uint8_t camera, uint64_t docId = 0, uint8_t doc = 0)
{
    LiveState live{};
    live.flags = static_cast<uint8_t>((board ? eLive_Whiteboard : 0) | (doc ? eLive_Document : 0) | eLive_Camera);
    live.whiteboardTab = 1;
    live.whiteboardState = board;
    live.docId = docId;
    live.docPage = doc ? 1 : 0;
    live.docState = doc;
    live.cameraState = camera;
    return live;
}

// One rejoin: who, what the screens showed before the connection dropped, and the room's reply.
struct RejoinCase {
    const char* name;
    int roleType;     // of the launch link; 3 keeps the role set beforehand
    uint8_t role;     // the session's role before the launch link is read
    bool documentBefore; // a teacher's document instead of the whiteboard in the main screen
    uint8_t roomState;
    LiveState reply;
    int32_t mainAfter, viceAfter;
    int cameraStops; // the engine's camera switched off (-1) by the rejoin
};

// The screens before the drop: the whiteboard (or a teacher's document) in the main screen and the
// camera in the vice screen, each placed on the road its role has.
void ShowBoardAndCamera(MainWndHarness& h, const RejoinCase& c, CDocWnd** thumbnail)
{
    if (IsTeacherRole(SessionContext::Instance()->role)) {
        BeginClass(h);
        if (c.documentBefore) {
            static TempFolder pages{L"rejoin"};
            FileItemRecord file;
            file.fileId = FreshId(7500);
            file.name = L"Optics.lvl";
            file.flag = 1;
            file.pages.pageCount = 1;
            file.pages.currentPage = 1;
            CString path = pages.Path() + L"optics_1.jpg";
            ASSERT_TRUE(DrawSlideJpeg(path, 1, 160, 120));
            file.pages.values.push_back(path);
            PanelOf(h)->AddDocuments({file}, 0);
            ASSERT_EQ(PanelThumbnails(PanelOf(h)).size(), 1u);
            *thumbnail = PanelThumbnails(PanelOf(h))[0];
            ClickThumbnail(*thumbnail);
            ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Document; }, 3000));
        } else {
            ClickPanel(h, L"WhiteBoardCheck");
            ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
        }
        ClickPanel(h, L"AddCameraBtn");
    } else if (!IsStudentRole(SessionContext::Instance()->role)) {
        // A join shows this role nothing: the room's next living state does.
        const LiveState live = Live(0x41, 0x42);
        Bytes bytes(sizeof live);
        memcpy(bytes.data(), &live, sizeof live);
        ASSERT_TRUE(h.Push(eType_LivingState, bytes, 21));
    }
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
}

} // namespace

TEST(MainWndLiveRoads, ARejoinShowsEveryRoleWhatAFirstJoinWithTheSameReplyShows)
{
    const uint64_t otherDocument = FreshId(7600);
    const RejoinCase cases[] = {
        {"teacher, the same sources", 2, 0, false, 2, Live(0x41, 0x42), eScreen_Whiteboard, eScreen_Camera, 0},
        {"teacher, the screens swapped", 2, 0, false, 2, Live(0x42, 0x41), eScreen_Camera, eScreen_Whiteboard, 0},
        {"teacher, the camera ended", 2, 0, false, 2, Live(0x41, 0x02), eScreen_Whiteboard, eScreen_None, 1},
        {"teacher, another document", 2, 0, true, 2, Live(0, 0x42, otherDocument, 0x41), eScreen_Document,
         eScreen_Camera, 0},
        {"teacher, the class over", 2, 0, false, 4, Live(0x41, 0x42), eScreen_Whiteboard, eScreen_Camera, 0},
        {"student, the same sources", 4, 0, false, 2, Live(0x41, 0x42), eScreen_Whiteboard, eScreen_Camera, 0},
        {"student, the screens swapped", 4, 0, false, 2, Live(0x42, 0x41), eScreen_Camera, eScreen_Whiteboard, 0},
        {"student, the class over", 4, 0, false, 4, Live(0x41, 0x42), eScreen_None, eScreen_None, 0},
        {"assistant, the same sources", 3, eRole_Assistant, false, 2, Live(0x41, 0x42), eScreen_None, eScreen_None, 1},
    };
    for (const RejoinCase& c : cases) {
        SCOPED_TRACE(c.name);
        Screens rejoined, fresh;
        {
            Engine().Reset();
            if (c.role) SessionContext::Instance()->role = c.role;
            // A teacher begins the class and switches the sources on; the others join it running.
            const bool teacher = c.roleType == 2;
            MainWndHarness h(c.roleType, teacher ? 1 : 2);
            if (!teacher) h.room.reg.SetJoinReply(1, ReplyWithLiveState(2, Live(0x41, 0x42)));
            ASSERT_TRUE(h.StartAndJoin());
            CDocWnd* thumbnail = nullptr;
            ShowBoardAndCamera(h, c, &thumbnail);
            Settle();
            const ScreenShots before = ShootScreens(h);
            const size_t told = LiveCommands(h, kLiveCommands).size();
            const size_t mark = Engine().calls.size();

            h.room.reg.SetJoinReply(1, ReplyWithLiveState(c.roomState, c.reply));
            ASSERT_TRUE(DropAndRejoin(h, 1));
            rejoined = LookAtScreens(h);
            EXPECT_EQ(rejoined.mainContent, c.mainAfter);
            EXPECT_EQ(rejoined.viceContent, c.viceAfter);
            // The room said what is live: it is told nothing back.
            EXPECT_EQ(LiveCommands(h, kLiveCommands).size(), told);
            std::vector<std::string> calls = CallsSince(mark);
            EXPECT_EQ(std::count(calls.begin(), calls.end(), Call("ChangeSource2Camera", {-1})), c.cameraStops);
            if (CControlPanelWnd* panel = c.roleType == 2 ? PanelOf(h) : nullptr) {
                // The camera tile stays held while the camera stays live; another document lets the
                // old thumbnail go, so one click brings it back.
                EXPECT_EQ(panel->GetHeldCamera() != nullptr, IsLiveByte(c.reply.cameraState));
                if (thumbnail) {
                    EXPECT_EQ(panel->GetHeldDocument(), nullptr);
                    EXPECT_TRUE(PumpUntil([&] { return !thumbnail->GetCover()->IsSelected(); }, 3000));
                }
            }
            if (c.mainAfter == eScreen_Whiteboard && c.viceAfter == eScreen_Camera) {
                // Sources that stayed where they were were never switched off and on: the same pixels.
                const ScreenShots after = ShootScreens(h, &before);
                EXPECT_TRUE(after.mainPixels == before.mainPixels) << "the main screen no longer shows the whiteboard";
                EXPECT_TRUE(after.vicePixels == before.vicePixels) << "the vice screen no longer shows the camera";
            }
            EXPECT_EQ(Engine().badHandleCalls, 0);
        }
        {
            Engine().Reset();
            if (c.role) SessionContext::Instance()->role = c.role;
            MainWndHarness h(c.roleType, c.roomState);
            h.room.reg.SetJoinReply(1, ReplyWithLiveState(c.roomState, c.reply));
            ASSERT_TRUE(h.StartAndJoin());
            Settle();
            fresh = LookAtScreens(h);
        }
        ExpectSameScreens(rejoined, fresh);
    }
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
