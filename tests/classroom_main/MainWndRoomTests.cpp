// Start-up to the joined room against the fake room: the login window goes, the labels and the roster
// fill, the first queries reach the server in order; presence notices and failures as the user sees them.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/WindowMessages.h"
#include "dialogs/LoginWnd.h"
#include "protocol/ProtocolMgr.h"
#include "core/Folders.h"
#include "core/LanguageTable.h"
#include "tests/support/TestFolders.h"

using namespace fakeroom;

TEST(MainWndRoom, JoinShowsTheRoomTheRosterAndSendsTheFirstQueriesInOrder)
{
    MainWndHarness h;
    ASSERT_TRUE(h.Start());
    // The login window is up and the main window hidden until the join.
    EXPECT_NE(CMainWnd::FindLoginWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_EQ(h.Text(L"ClassNameLabel"), L"");
    ASSERT_TRUE(PumpUntil([&] { return h.main->IsJoined() && h.main->GetRoster()->GetCount() == 2; }, 15000));
    EXPECT_TRUE(IsWindowVisible(h.window));
    ASSERT_TRUE(PumpUntil([] { return CMainWnd::FindLoginWindow() == nullptr; }, 3000));

    EXPECT_EQ(h.Text(L"ClassNameLabel"), L"Physics 7B");
    EXPECT_EQ(h.Text(L"TeacherName"), L"Lector : Dr Grey");
    EXPECT_EQ(h.Text(L"StudentCountLab"), L"2 students");
    UserRecord ben;
    ASSERT_TRUE(h.main->GetRoster()->FindUser(21, ben));
    EXPECT_EQ(ben.nickName, L"Ben");
    // A teacher sees the class-begin button, not the end button; the network switch waits for the class.
    EXPECT_TRUE(h.Find(L"ClassBeginBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"ClassOverBtn")->IsVisible());
    EXPECT_FALSE(h.Find(L"SwitchNetworkBtn")->IsVisible());

    // After the join: 826, 819 and 804, empty, to the room.
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_RoomUsers, 1));
    std::vector<uint16_t> order;
    for (const Packet& p : h.room.reg.Messages())
        if (p.header.type == eType_FileList || p.header.type == eType_PaintList || p.header.type == eType_RoomUsers) {
            order.push_back(p.header.type);
            EXPECT_TRUE(p.payload.empty());
            EXPECT_EQ(p.header.destination, kRoomId);
            EXPECT_EQ(p.header.sender, kOwnId);
        }
    EXPECT_EQ(order, (std::vector<uint16_t>{eType_FileList, eType_PaintList, eType_RoomUsers}));
    ASSERT_EQ(h.room.reg.Messages(eType_JoinRoom).size(), 1u);
}

TEST(MainWndRoom, PresenceAddsUpdatesAndRemovesRowsWithSystemLines)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CStudentList* roster = h.main->GetRoster();

    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, "Dora", "dora")));
    ASSERT_TRUE(h.WaitForOutput(L"Dora Online"));
    EXPECT_EQ(roster->GetCount(), 3);
    EXPECT_EQ(h.Text(L"StudentCountLab"), L"3 students");

    // Already listed: the row is updated and the online text still shows.
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, "Dora B", "dora")));
    ASSERT_TRUE(h.WaitForOutput(L"Dora B Online"));
    EXPECT_EQ(roster->GetCount(), 3);
    UserRecord dora;
    ASSERT_TRUE(roster->FindUser(30, dora));
    EXPECT_EQ(dora.nickName, L"Dora B");

    // An offline notice for an unknown user changes nothing and shows nothing.
    int lines = h.main->GetSystemLineCount();
    ASSERT_TRUE(h.Push(eType_UserOffline_Notify, Bytes(), 999));
    ASSERT_TRUE(h.Push(eType_UserOffline_Notify, Bytes(), 21));
    ASSERT_TRUE(h.WaitForOutput(L"Ben Offline"));
    EXPECT_EQ(h.main->GetSystemLineCount(), lines + 1);
    EXPECT_EQ(roster->GetCount(), 2);
    EXPECT_FALSE(roster->FindUser(21, dora));

    // An edited language file with more fields than names: the name takes the first "%s", the rest
    // shows as written.
    const CString edited = GetModuleFolder() + L"Language\\German";
    ASSERT_TRUE(WriteFileBytes(edited, "19=%d %s Online %s\r\n20=%s Offline %d%s\r\n"));
    SessionContext* session = SessionContext::Instance();
    LanguageTable* english = session->languageTable;
    session->languageTable = new LanguageTable(4);
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, "Dora", "dora")));
    ASSERT_TRUE(h.Push(eType_UserOffline_Notify, Bytes(), 30));
    const bool shown = h.WaitForOutput(L"Dora Offline %d%s");
    delete session->languageTable;
    session->languageTable = english;
    DeleteFileW(edited);
    EXPECT_TRUE(shown);
    EXPECT_EQ(Occurrences(h.OutputText(), L"%d Dora Online %s"), 1) << Wide(h.OutputText());
}

TEST(MainWndRoom, AUserListWithADuplicateInTheMiddleListsEveryoneAfterIt)
{
    MainWndHarness h;
    // Ben twice, then a speaker, an assistant and one more student.
    for (const Bytes& entry : {UserEntry(21, eRole_Student, 1, "Ben again", "ben"),
                               UserEntry(31, eRole_SpeakerVoice, 2, "Cara", "cara"),
                               UserEntry(32, eRole_Assistant, 1, "Dan", "dan"), UserEntry(33, eRole_Student, 2, "Eve", "eve")})
        h.users.insert(h.users.end(), entry.begin(), entry.end());
    h.room.reg.SetReply(eType_RoomUsers, 1, h.users);
    const size_t refusedLists = LogCount(L"Room users: some records refused");
    const size_t refusedGus = LogCount(L"online user 35 refused by the roster (role 9)");
    ASSERT_TRUE(h.StartAndJoin());
    CStudentList* roster = h.main->GetRoster();
    ASSERT_TRUE(PumpUntil([&] { return roster->GetCount() == 5; }, 5000)) << roster->GetCount();
    Settle();
    EXPECT_EQ(roster->GetCount(), 5);
    EXPECT_EQ(h.Text(L"StudentCountLab"), L"5 students");
    // Teacher on top, the assistant under her, the students in their order; the first Ben stays.
    const uint32_t order[] = {kOwnId, 32, kBen, 31, 33};
    for (int i = 0; i < 5; ++i) {
        auto* row = static_cast<CStudentListElement*>(roster->GetItemAt(i)->GetInterface(L"LVStudentListElement"));
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->GetUser()->userId, order[i]) << "row " << i;
    }
    UserRecord ben;
    ASSERT_TRUE(roster->FindUser(kBen, ben));
    EXPECT_EQ(ben.nickName, L"Ben");
    EXPECT_EQ(roster->GetSpeakerId(), 31u);
    EXPECT_EQ(roster->GetMicUserCount(), 1);
    EXPECT_EQ(LogCount(L"Room users: some records refused"), refusedLists + 1);

    // An assistant who comes online gets a row and the online line; an unknown role gets neither.
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(34, eRole_Assistant, 2, "Fay", "fay")));
    ASSERT_TRUE(h.WaitForOutput(L"Fay Online"));
    EXPECT_EQ(h.Text(L"StudentCountLab"), L"6 students");
    const int lines = h.main->GetSystemLineCount();
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(35, 9, 2, "Gus", "gus")));
    ASSERT_TRUE(PumpUntil([&] { return LogCount(L"online user 35 refused by the roster (role 9)") == refusedGus + 1; }, 3000));
    EXPECT_EQ(h.main->GetSystemLineCount(), lines);
    EXPECT_EQ(roster->GetCount(), 6);
}

TEST(MainWndRoom, RefusedJoinShowsTheReasonInTheLoginWindowAndKeepsTheMainWindowHidden)
{
    MainWndHarness h;
    h.room.reg.SetJoinReply(static_cast<uint16_t>(-1990), Bytes());
    ASSERT_TRUE(h.Start());
    ASSERT_NE(CMainWnd::FindLoginWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([] { return LoginStatus() == L"The class room is closed."; }, 10000)) << LoginStatus().GetString();
    EXPECT_FALSE(h.main->IsJoined());
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_TRUE(h.room.reg.Messages(eType_RoomUsers).empty());
    // Another refusal code gives the general text with the code.
    h.room.reg.SetJoinReply(static_cast<uint16_t>(-7), Bytes());
    PostMessageW(h.window, WM_USER_JOIN_ROOM_RESULT, 0, -7);
    ASSERT_TRUE(PumpUntil([] { return LoginStatus().Find(L"(Error : -7)") >= 0; }, 3000)) << LoginStatus().GetString();
    EXPECT_EQ(LoginStatus().Find(L"Entering the class room failed"), 0);
}

TEST(MainWndRoom, AJoinReplyTooShortToReadShowsTheFailureInTheLoginWindow)
{
    MainWndHarness h;
    h.room.reg.SetJoinReply(1, Bytes(20, 0));
    ASSERT_TRUE(h.Start());
    ASSERT_TRUE(PumpUntil([] { return LoginStatus().Find(L"(Error : 1)") >= 0; }, 15000)) << LoginStatus().GetString();
    EXPECT_EQ(LoginStatus().Find(L"Entering the class room failed"), 0);
    EXPECT_FALSE(h.main->IsJoined());
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_TRUE(h.room.reg.Messages(eType_RoomUsers).empty());
}

TEST(MainWndRoom, LostConnectionEmptiesTheRosterDisablesChatAndReconnects)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    h.room.reg.Drop();
    ASSERT_TRUE(h.WaitForOutput(L"You are offline, Reconnecting...", 5000)) << ReadFileBytes(GetAppDataFolder() + L"Log\\log.txt").substr(0, 100000);
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 0);
    EXPECT_FALSE(h.Input()->IsEnabled());
    EXPECT_FALSE(h.Find(L"SendTextBtn")->IsEnabled());
    // Five seconds later the road runs again and the second join re-enables the chat.
    ASSERT_TRUE(h.WaitForOutput(L"Reconnection server successfully!", 15000));
    EXPECT_TRUE(h.Input()->IsEnabled());
    EXPECT_TRUE(h.Find(L"SendTextBtn")->IsEnabled());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetRoster()->GetCount() == 2; }, 5000));
    EXPECT_EQ(h.room.reg.Messages(eType_JoinRoom).size(), 2u);
}
