// Entry into the room as the user sees it: a launch link or a connection road that fails shows its
// reason in the login window, the join reply's room state, failures after the join and the reconnection
// road, and the ends forced by another login or by an update. Then the dispatch rules that leave a
// message to the window base or ignore it for its wParam.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/WindowMessages.h"
#include "filetransfer/FileTransBase.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/support/TestFolders.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

using namespace fakeroom;

namespace {

// The class window started as the harness starts it, with this command line in place of its link.
bool StartWithCommandLine(MainWndHarness& h, const CString& commandLine)
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return false;
    session->commandLine = commandLine;
    h.main = new CMainWnd;
    if (!h.main->Create(nullptr, L"LumenvaleV2", 0x10CF0000, 0x00060000, 0, 0, 0, 0)) {
        delete h.main;
        h.main = nullptr;
        return false;
    }
    h.window = h.main->GetHWND();
    session->mainWindow = h.window;
    h.main->StartLogin();
    return true;
}

JoinRoomReply* HeapJoinReply(uint8_t roomState)
{
    Bytes bytes = JoinReply(roomState);
    auto* reply = new JoinRoomReply;
    memcpy(reply->bytes, bytes.data(), sizeof reply->bytes);
    return reply;
}

} // namespace

TEST(MainWndEntry, LaunchLinkFaultsAndConnectFailuresShowInTheLoginWindow)
{
    MainWndHarness h;
    // No link at all, then a link whose text holds no parameter: the reason, and no gateway query.
    const std::pair<CString, const wchar_t*> kLinks[] = {
        {L"", L"No class room was given: please enter from the class web page."},
        {CString(L"Lumenvalep://") + CString(Base64Text("junk").c_str()),
         L"The launch link is incomplete: please enter from the class web page again."}};
    for (const auto& link : kLinks) {
        ASSERT_TRUE(StartWithCommandLine(h, link.first));
        ASSERT_TRUE(PumpUntil([&] { return LoginStatus() == link.second; }, 3000)) << LoginStatus().GetString();
        Settle();
        EXPECT_FALSE(IsWindowVisible(h.window));
        EXPECT_FALSE(h.main->IsJoined());
        h.Close();
        EXPECT_EQ(CMainWnd::FindLoginWindow(), nullptr);
    }
    EXPECT_EQ(h.room.gateway.QueryCount(eType_Gateway), 0);

    // A server list without servers fails the road with its code; a silent gateway (-8) has its own text.
    h.room.gateway.SetServerList({});
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(PumpUntil([] { return LoginStatus() == L"Server Error Code = -1"; }, 10000)) << LoginStatus().GetString();
    PostMessageW(h.window, WM_USER_CONNECT_RESULT, 0, -8);
    ASSERT_TRUE(PumpUntil([] { return LoginStatus() == L"The server cannot be reached."; }, 3000)) << LoginStatus().GetString();
    // A successful connect leaves the status to the join reply that follows.
    PostMessageW(h.window, WM_USER_CONNECT_RESULT, 1, 0);
    Settle();
    EXPECT_EQ(LoginStatus(), L"The server cannot be reached.");
    EXPECT_FALSE(h.main->IsJoined());
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_EQ(h.main->GetSystemLineCount(), 0);
    EXPECT_EQ(h.room.reg.Accepted(), 0);
}

TEST(MainWndEntry, TheJoinReplysRoomStateIsTakenOnlyFromZeroToFour)
{
    MainWndHarness h(2, 7);
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext* session = SessionContext::Instance();
    EXPECT_EQ(session->room.roomState, 1u); // 7 is no room state: the stored one stays
    EXPECT_TRUE(h.Find(L"ClassBeginBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"SwitchNetworkBtn")->IsVisible());

    // A later reply (a reconnection) with state 2 starts the class clock; one with 7 again changes nothing.
    PostMessageW(h.window, WM_USER_JOIN_ROOM_RESULT, 1, reinterpret_cast<LPARAM>(HeapJoinReply(2)));
    ASSERT_TRUE(h.WaitForOutput(L"Reconnection server successfully!"));
    EXPECT_EQ(session->room.roomState, 2u);
    EXPECT_TRUE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    PostMessageW(h.window, WM_USER_JOIN_ROOM_RESULT, 1, reinterpret_cast<LPARAM>(HeapJoinReply(7)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetSystemLineCount() >= 2; }, 3000));
    EXPECT_EQ(session->room.roomState, 2u);
    EXPECT_TRUE(h.Find(L"SwitchNetworkBtn")->IsVisible());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassClock() >= 1; }, 3000));
    // A refusal after the join is only logged: the window stays as it is.
    int lines = h.main->GetSystemLineCount();
    PostMessageW(h.window, WM_USER_JOIN_ROOM_RESULT, 0, -1990);
    Settle();
    EXPECT_EQ(h.main->GetSystemLineCount(), lines);
    EXPECT_TRUE(IsWindowVisible(h.window));
}

TEST(MainWndEntry, AConnectFailureAfterTheJoinReconnectsAndTheRefreshJoinsTheEngineAgain)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    int lists = h.room.gateway.QueryCount(eType_ServerList);
    ASSERT_EQ(engine.CountOf("Room_Join"), 1u);

    PostMessageW(h.window, WM_USER_CONNECT_RESULT, 0, -3);
    ASSERT_TRUE(h.WaitForOutput(L"The connection to the server was lost(Error : -3)"));
    EXPECT_EQ(LoginStatus(), L"<no login window>");

    // Timer 2 runs the road again; with the command channel still open it only refreshes the servers,
    // and the refresh result joins the engine's room again as the teacher, with the video window local.
    ASSERT_TRUE(PumpUntil([&] { return engine.CountOf("Room_Join") == 2; }, 12000));
    EXPECT_EQ(h.room.gateway.QueryCount(eType_ServerList), lists + 1);
    EXPECT_EQ(h.room.reg.Messages(eType_JoinRoom).size(), 1u);
    EXPECT_EQ(h.room.reg.Accepted(), 1);
    const CastmixCall* join = engine.Last("Room_Join");
    ASSERT_NE(join, nullptr);
    ASSERT_EQ(join->args.size(), 16u);
    EXPECT_EQ(join->args[9], static_cast<long long>(reinterpret_cast<intptr_t>(h.main->VideoLiveWindow())));
    EXPECT_EQ(join->args[10], 0);
    // Before the class the teacher sends nothing yet.
    std::vector<std::string> names = engine.Names();
    auto last = std::find(names.rbegin(), names.rend(), "Room_Join");
    ASSERT_NE(std::find(names.rbegin(), last, "SetSendState"), last);
    EXPECT_EQ(engine.Last("SetSendState")->args, (std::vector<long long>{5}));

    // A failed refresh, or a result for another road, joins nothing.
    PostMessageW(h.window, WM_USER_REFRESH_RESULT, 0, 2);
    PostMessageW(h.window, WM_USER_REFRESH_RESULT, 1, 3);
    Settle();
    EXPECT_EQ(engine.CountOf("Room_Join"), 2u);
}

// Thrown out by the teacher or logged in elsewhere: one box tells the user, then the client ends.
TEST(MainWndEntry, BeingThrownOutOrALoginElsewhereWarnsAndEndsTheClient)
{
    const struct {
        uint16_t type;
        int role;
        const wchar_t* text;
    } kEnds[] = {{eType_KickOff, 2, nullptr},
                 {eType_LoggedInElsewhere_Notify, 4, L"Your account has been logged in, please ensure account security"}};
    for (const auto& end : kEnds) {
        MainWndHarness h(end.role);
        ASSERT_TRUE(h.StartAndJoin());
        BoxAnswerer boxes;
        ASSERT_TRUE(h.Push(end.type, Bytes(4, 0)));
        ASSERT_TRUE(h.WaitForEnd()) << end.type;
        std::vector<CString> texts = boxes.Texts();
        ASSERT_EQ(texts.size(), 1u) << end.type;
        if (end.text) {
            EXPECT_EQ(texts[0], end.text);
        }
        // The class-over state stopped the connection before the box.
        EXPECT_TRUE(h.room.reg.WaitForClientGone(5000)) << end.type;
    }
}

TEST(MainWndEntry, AStartedUpdaterClosesTheLoginWindowAndEndsTheClient)
{
    MainWndHarness h;
    h.room.gateway.SetSilent(true); // the window stays at the login step
    ASSERT_TRUE(h.Start());
    ASSERT_NE(CMainWnd::FindLoginWindow(), nullptr);
    CString commandLine = SessionContext::Instance()->commandLine;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);

    ScopedModuleFolder program;
    ASSERT_TRUE(CopyFileW(TestProgramFolder() + L"updater_probe.exe", program.Path() + L"Update.exe", FALSE));
    // Another wParam is no update notice: nothing starts, the window stays.
    PostMessageW(h.window, WM_USER_UPDATE_NOTICE, 1,
                 reinterpret_cast<LPARAM>(new CString[3]{L"http://127.0.0.1:1/setup.exe", L"", L""}));
    Settle();
    EXPECT_TRUE(IsWindow(h.window));
    EXPECT_EQ(GetFileAttributesW((program.Path() + L"Update.exe.ran")), INVALID_FILE_ATTRIBUTES);

    PostMessageW(h.window, WM_USER_UPDATE_NOTICE, 0,
                 reinterpret_cast<LPARAM>(new CString[3]{L"http://127.0.0.1:1/setup.exe", L"2.0.0.9", L"x"}));
    ASSERT_TRUE(h.WaitForEnd());
    EXPECT_EQ(CMainWnd::FindLoginWindow(), nullptr);
    CString ran = (program.Path() + L"Update.exe.ran");
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(ran) != INVALID_FILE_ATTRIBUTES && !ReadFileBytes(ran).empty(); },
                          10000));
    Settle(200); // the probe has closed its file
    std::string bytes = ReadFileBytes(ran);
    CString line(reinterpret_cast<const wchar_t*>(bytes.data()), static_cast<int>(bytes.size() / sizeof(wchar_t)));
    CString expected;
    expected.Format(L" %s;%s;%s", L"http://127.0.0.1:1/setup.exe", self, commandLine.GetString());
    EXPECT_EQ(line, expected);
}

namespace {

// Sees every message of the class window's own range that its handler leaves to the window base.
class BaseWatch : public IMessageFilterUI {
public:
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool&) override
    {
        if (uMsg >= WM_USER + 99 && uMsg <= WM_USER + 151) seen.push_back({uMsg, wParam});
        return 0;
    }
    bool Saw(UINT message, WPARAM wParam) const
    {
        for (const auto& one : seen)
            if (one.first == message && one.second == wParam) return true;
        return false;
    }
    std::vector<std::pair<UINT, WPARAM>> seen;
};

} // namespace

TEST(MainWndEntry, NumbersWithoutARowAndUnknownKindsGoToTheWindowBase)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BaseWatch watch;
    ASSERT_TRUE(h.main->GetPaintManager()->AddMessageFilter(&watch));
    const std::pair<UINT, WPARAM> kLeft[] = {
        {WM_USER + 99, 0},  {1128, 0},  {1137, 0},  {1140, 0}, {1141, 0}, {1155, 0}, {1156, 0}, {1169, 0},
        {WM_USER + 151, 0}, {WM_USER_UI_NOTICE, 99}, {WM_USER_UI_NOTICE, 5}, {WM_USER_VOLUME, 3},
        {WM_USER_OPTION_MENU, 9}, {WM_USER_ERROR_BOX, 2}};
    for (const auto& message : kLeft) SendMessageW(h.window, message.first, message.second, 0);
    // Numbers with a row are the window's own, whatever they then do.
    const std::pair<UINT, WPARAM> kHandled[] = {{WM_USER_CLOSE_CONFIRM, 0}, {WM_USER_UI_NOTICE, 19},
                                                {WM_USER_VOLUME, 1},        {WM_USER_VOLUME, 2},
                                                {WM_USER_QUESTION, 0},
                                                {WM_USER_CLEAR_PAGE, 0},    {WM_USER_FILE_NOTICE, 3},
                                                {WM_USER_SWAP_SCREEN, 0}};
    for (const auto& message : kHandled)
        SendMessageW(h.window, message.first, message.second, message.first == WM_USER_VOLUME ? 40 : 0);
    h.main->GetPaintManager()->RemoveMessageFilter(&watch);
    for (const auto& message : kLeft)
        EXPECT_TRUE(watch.Saw(message.first, message.second)) << message.first << " / " << message.second;
    EXPECT_EQ(watch.seen.size(), sizeof kLeft / sizeof kLeft[0]);
    EXPECT_EQ(h.main->GetSpeakerVolume(), 40);
    EXPECT_EQ(h.main->GetMicVolume(), 40);
    EXPECT_TRUE(IsWindow(h.window));
}

TEST(MainWndEntry, ClearPageAndTheFileMessagesActOnlyForTheirOwnWParam)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BoxAnswerer boxes;
    // The pen tool's clear asks with wParam 1 only.
    PostMessageW(h.window, WM_USER_CLEAR_PAGE, 0, 0);
    PostMessageW(h.window, WM_USER_CLEAR_PAGE, 2, 0);
    Settle(800);
    EXPECT_EQ(boxes.Count(), 0u);
    PostMessageW(h.window, WM_USER_CLEAR_PAGE, 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == 1; }, 5000));
    EXPECT_EQ(boxes.Texts()[0], L"Are you sure to clear current page?");

    // File notices and lists with another wParam list no document and start no download.
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 1, reinterpret_cast<LPARAM>(Notice(900, L"a.lvl", 10)));
    PostMessageW(h.window, WM_USER_FILE_LIST, 5,
                 reinterpret_cast<LPARAM>(new FileNoticeList{Notice(901, L"b.lvl", 10), Notice(902, L"c.lvl", 10)}));
    Settle();
    EXPECT_EQ(h.main->GetDocumentCount(), 0u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);

    // A transfer result with another wParam goes back to the transfer side and does nothing else: a
    // failed download would otherwise show its error box.
    HWND courier = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(courier, nullptr);
    size_t outstanding = CxFileTransBase::OutstandingRecords();
    FileTransStatus failed{};
    failed.transferId = 903;
    failed.state = FTS_RECV_FAILED;
    ASSERT_TRUE(CxFileTransBase::PostOrphanStatus(courier, WM_APP, failed));
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, courier, WM_APP, WM_APP, PM_REMOVE));
    EXPECT_EQ(CxFileTransBase::OutstandingRecords(), outstanding + 1);
    PostMessageW(h.window, WM_USER_DOWNLOAD_RESULT, 1, msg.lParam);
    ASSERT_TRUE(PumpUntil([&] { return CxFileTransBase::OutstandingRecords() == outstanding; }, 3000));
    Settle(800);
    EXPECT_EQ(boxes.Count(), 1u);
    DestroyWindow(courier);
}
