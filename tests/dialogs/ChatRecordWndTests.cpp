// The chat-record browser on a real database file: rooms listed, pages of 100 messages drawn into
// the rich text displays, the class-name search and the confirmed deletion.
#include "dialogs/ChatRecordWnd.h"

#include "controls/PageCtrl.h"
#include "controls/SmallControls.h"
#include "core/SessionContext.h"
#include "database/SqliteMgr.h"
#include "dialogs/ChatRichEdit.h"
#include "dialogs/ChatText.h"
#include "dialogs/EmotionWnd.h"
#include "tests/dialogs/DialogTestSupport.h"

#include <gtest/gtest.h>
#include <ole2.h>

#include <functional>

namespace {
const int32_t kUser = 4242;
const int32_t kCurrentRoom = 7000;

// Stores a room and its messages; fill may change each numbered record before it is stored.
void AddRoom(int32_t roomId, const wchar_t* name, const wchar_t* start, int messages,
             const std::function<void(int, ChatRecord&)>& fill = nullptr)
{
    RoomInfoRecord room;
    room.roomId = static_cast<uint32_t>(roomId);
    room.roomName = name;
    room.startTime = start;
    CSqliteMgr::GetInstance()->InsertRoomInfo(room);
    ChatRecordList records;
    for (int i = 1; i <= messages; ++i) {
        ChatRecord record;
        record.sender.nickName = i % 2 ? L"Alice" : L"Bob";
        record.sender.userId = 10 + i % 2;
        record.font.size = 10;
        record.font.family = L"Tahoma";
        record.msg.Format(L"message %d of %s", i, name);
        record.time.Format(L"2014-11-29 10:%02d:%02d", (i / 60) % 60, i % 60);
        record.roomId = roomId;
        if (fill) fill(i, record);
        records.push_back(record);
    }
    if (messages > 0) {
        ASSERT_TRUE(CSqliteMgr::GetInstance()->InsertMsgInfoBatch(records));
    }
}

class ChatRecordWndTest : public testing::Test {
protected:
    void SetUp() override
    {
        // As the program does at its start: the displays embed their images as OLE objects.
        OleInitialize(nullptr);
        UseEnglishTexts(true);
        IDBMgr* db = CSqliteMgr::GetInstance();
        ASSERT_TRUE(db->Init(kUser));
        std::map<int32_t, CString> rooms;
        db->GetAllRoomNames(rooms);
        for (const auto& room : rooms) {
            db->DeleteMsgInfoPage(room.first, 0, -1);
            db->DeleteRoomInfo(room.first);
        }
        RoomInfoRecord& current = SessionContext::Instance()->room;
        current.roomId = kCurrentRoom;
        current.roomName = L"Physics today";
        current.startTime = L"20141129093000";
    }
    void TearDown() override
    {
        if (m_window && IsWindow(m_window)) DestroyWindow(m_window);
        PumpMessages(20);
    }
    CChatRecordWnd* Open()
    {
        auto* browser = new CChatRecordWnd;
        m_window = browser->Create(nullptr, L"", 0x96C80000, 0, 0, 0, 0, 0);
        if (!m_window) return nullptr;
        browser->ShowWindow(true, true);
        UpdateWindow(m_window);
        PumpMessages(80);
        m_browser = browser;
        return browser;
    }
    CControlUI* Find(const wchar_t* name) { return m_browser->GetPaintManager()->FindControl(name); }
    // Looked up each time: an emptied display is a fresh control.
    CChatRichEditUI* Display(const wchar_t* name) { return static_cast<CChatRichEditUI*>(Find(name)->GetInterface(L"ChatRichEdit")); }
    CPageCtrlUI* Pager(const wchar_t* name) { return static_cast<CPageCtrlUI*>(Find(name)); }
    CListUI* List(const wchar_t* name) { return static_cast<CListUI*>(Find(name)->GetInterface(L"List")); }
    int TabPage(const wchar_t* name) { return static_cast<CTabLayoutUI*>(Find(name)->GetInterface(L"TabLayout"))->GetCurSel(); }
    bool Click(const wchar_t* name) { return ClickControl(m_window, Find(name)); }
    // Types into an edit of the skin through its native edit box.
    void Type(const wchar_t* name, const wchar_t* text)
    {
        auto* edit = static_cast<CEditUI*>(Find(name)->GetInterface(L"Edit"));
        ASSERT_TRUE(ClickControl(m_window, edit));
        HWND native = edit->GetNativeWindow();
        ASSERT_NE(nullptr, native);
        SendMessageW(native, EM_SETSEL, 0, -1);
        if (!*text) SendMessageW(native, WM_CHAR, VK_BACK, 1);
        for (const wchar_t* c = text; *c; ++c) SendMessageW(native, WM_CHAR, *c, 1);
        PumpMessages(30);
    }
    static int Count(const CDuiString& text, const wchar_t* what)
    {
        int n = 0;
        for (int at = text.Find(what); at >= 0; at = text.Find(what, at + 1)) ++n;
        return n;
    }

    HWND m_window = nullptr;
    CChatRecordWnd* m_browser = nullptr;
};
} // namespace

TEST_F(ChatRecordWndTest, TheCurrentClassIsShownOneHundredMessagesAPage)
{
    // The last is an old row, longer than any client now sends.
    const CString longBody = L"message 101 of Physics today " + CString(L'w', 9000) + L" end";
    AddRoom(kCurrentRoom, L"Physics today", L"20141129093000", 101, [&](int n, ChatRecord& record) {
        if (n == 101) record.msg = longBody;
    });
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(0, TabPage(L"MainAreaTab"));
    EXPECT_EQ(CDuiString(L"Physics today"), Find(L"CurClassNameLab")->GetText());
    EXPECT_EQ(CDuiString(L"Physics today(7000)"), Find(L"CurClassNameLab")->GetToolTip());
    EXPECT_EQ(CDuiString(L"2014-11-29"), Find(L"CurClassDateLab")->GetText());
    CPageCtrlUI* pager = Pager(L"CurRecordPgCtrl");
    EXPECT_TRUE(pager->IsVisible());
    EXPECT_EQ(2, pager->GetPageCount());

    CDuiString first = Display(L"CurRecordDisplayREdt")->GetData();
    EXPECT_EQ(100, Count(first, L"message "));
    EXPECT_GE(first.Find(L"Alice  10:00:01\r"), 0) << "screen name and the clock of the time text";
    EXPECT_GE(first.Find(L"message 100 of Physics today"), 0);
    EXPECT_LT(first.Find(L"message 101 "), 0);
    EXPECT_GE(first.Find(L"\r" + CString(L'.', 165) + L"\r"), 0);

    // The second page holds only the 101st message, whole, written with soft breaks that keep its
    // wrapping in proportion to its length.
    ASSERT_TRUE(ClickControl(m_window, pager->GetSlot(1)));
    EXPECT_EQ(2, pager->GetCurrentPage());
    CString second(Display(L"CurRecordDisplayREdt")->GetData());
    int softBreaks = second.Remove(L'\v');
    EXPECT_EQ(1, Count(second, L"message "));
    EXPECT_GE(second.Find(L"Alice  10:01:41\r" + longBody + L"\r"), 0);
    EXPECT_GE(softBreaks, 9000 / kSoftBreakRun);
}

TEST_F(ChatRecordWndTest, TheHistoryListsOtherRoomsWithMessages)
{
    AddRoom(kCurrentRoom, L"Physics today", L"20141129093000", 2);
    AddRoom(1003, L"Chemistry lab", L"20141120140000", 100);
    AddRoom(1001, L"Algebra", L"20141101080000", 3);
    AddRoom(1002, L"Biology", L"20141110080000", 0);
    ASSERT_NE(nullptr, Open());
    CListUI* list = List(L"ClassNameLst");
    ASSERT_EQ(2, list->GetCount());
    EXPECT_EQ(CDuiString(L"Algebra"), list->GetItemAt(0)->GetText());
    EXPECT_EQ(CDuiString(L"Algebra(1001)"), list->GetItemAt(0)->GetToolTip());
    EXPECT_EQ(CDuiString(L"Chemistry lab"), list->GetItemAt(1)->GetText());
    EXPECT_EQ(2u, m_browser->GetRooms().size());

    ASSERT_TRUE(Click(L"HisClassOpt"));
    EXPECT_EQ(1, TabPage(L"MainAreaTab"));
    EXPECT_FALSE(Find(L"DelRecordBtn")->IsVisible());
    ASSERT_TRUE(ClickControl(m_window, list->GetItemAt(1)));
    EXPECT_EQ(1, list->GetCurSel());
    EXPECT_TRUE(Pager(L"SelRecordPgCtrl")->IsVisible());
    EXPECT_EQ(1, Pager(L"SelRecordPgCtrl")->GetPageCount()) << "a hundred messages make one page";
    EXPECT_EQ(CDuiString(L"Chemistry lab"), Find(L"SelClassNameLab")->GetText());
    EXPECT_EQ(CDuiString(L"Chemistry lab(1003)"), Find(L"SelClassNameLab")->GetToolTip());
    EXPECT_EQ(CDuiString(L"2014-11-20"), Find(L"SelClassDateLab")->GetText());
    EXPECT_TRUE(Find(L"DelRecordBtn")->IsVisible());
    CDuiString text = Display(L"SelRecordDisplayREdt")->GetData();
    EXPECT_EQ(100, Count(text, L"of Chemistry lab"));
    EXPECT_GE(text.Find(L"\r" + CString(L'.', 113) + L"\r"), 0);
    EXPECT_LT(text.Find(CString(L'.', 114)), 0);
    ASSERT_TRUE(Click(L"CurClassOpt"));
    EXPECT_EQ(0, TabPage(L"MainAreaTab"));
}

TEST_F(ChatRecordWndTest, SearchesIgnoreCaseListOnlyTheirOwnMatchesAndAnEmptyBoxReturnsToTheFullList)
{
    AddRoom(1001, L"Algebra", L"20141101080000", 1);
    AddRoom(1002, L"Linear ALGEBRA II", L"20141102080000", 1);
    AddRoom(1003, L"Chemistry", L"20141103080000", 1);
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"HisClassOpt"));
    ASSERT_TRUE(Click(L"SearchClassBtn")); // nothing typed: nothing happens
    EXPECT_EQ(0, TabPage(L"SearchClassTab"));
    EXPECT_EQ(0, TabPage(L"SelClassHeaderTab"));
    Type(L"SearchClassInput", L"  gebr ");
    ASSERT_TRUE(Click(L"SearchClassBtn"));
    EXPECT_EQ(1, TabPage(L"SearchClassTab"));
    EXPECT_EQ(1, TabPage(L"SelClassHeaderTab"));
    EXPECT_EQ(1, TabPage(L"HisCenterAreaTab"));
    EXPECT_EQ(1, TabPage(L"MainAreaTab"));
    CListUI* found = List(L"SearchedClassNameLst");
    ASSERT_EQ(2, found->GetCount());
    EXPECT_EQ(CDuiString(L"Algebra"), found->GetItemAt(0)->GetText());
    EXPECT_EQ(CDuiString(L"Linear ALGEBRA II"), found->GetItemAt(1)->GetText());

    // A found room opens in the search display.
    ASSERT_TRUE(ClickControl(m_window, found->GetItemAt(1)));
    EXPECT_EQ(CDuiString(L"Linear ALGEBRA II"), Find(L"SearchedSelClassNameLab")->GetText());
    EXPECT_GE(Display(L"SearchedSelRecordDisplayREdt")->GetData().Find(L"message 1 of Linear ALGEBRA II"), 0);
    EXPECT_EQ(0, Display(L"SelRecordDisplayREdt")->GetTextLength());

    // The next search lists only its own matches; once something was found, one without matches
    // still says so.
    Type(L"SearchClassInput", L"chem");
    ASSERT_TRUE(Click(L"SearchClassBtn"));
    ASSERT_EQ(1, found->GetCount());
    EXPECT_EQ(CDuiString(L"Chemistry"), found->GetItemAt(0)->GetText());
    EXPECT_EQ(1u, m_browser->GetSearchResults().count(1003));
    EXPECT_EQ(1u, m_browser->GetSearchResults().size());
    EXPECT_EQ(0, TabPage(L"SearchedClassListTab"));
    Type(L"SearchClassInput", L"geometry");
    ASSERT_TRUE(Click(L"SearchClassBtn"));
    EXPECT_EQ(1, TabPage(L"SearchedClassListTab"));
    EXPECT_TRUE(m_browser->GetSearchResults().empty());
    EXPECT_EQ(0, found->GetCount());

    Type(L"SearchClassInput", L"");
    EXPECT_EQ(0, TabPage(L"SearchClassTab"));
    EXPECT_EQ(0, TabPage(L"ClassListTab"));
    EXPECT_EQ(0, TabPage(L"HisCenterAreaTab"));
    EXPECT_EQ(3, List(L"ClassNameLst")->GetCount());
}

TEST_F(ChatRecordWndTest, FullPagesOfMixedMessagesReplaceEachOther)
{
    // Pages whose bodies change paragraph spacing (emotion tokens) once made the display hang when
    // it was emptied for the next page.
    AddRoom(kCurrentRoom, L"Physics today", L"20141129093000", 130, [](int n, ChatRecord& record) {
        int i = n - 1;
        record.sender.nickName = i % 2 ? L"Alice" : L"Teacher Tom";
        record.font.size = 10 + i % 3;
        record.font.colour = i % 2 ? 0xFF0099FF : 0xFF000000;
        record.msg = i % 4 == 3 ? L"Thanks [\\smile]" : L"Sure: the area is pi times r squared.";
        record.time = L"2014-11-29 09:30:00";
    });
    // A picker window of the process is where the browser looks its emotions up.
    auto* picker = new CEmotionWnd(nullptr);
    HWND pickerWindow = picker->Create(nullptr, L"EmotionWnd", 0x96C80000, WS_EX_TOOLWINDOW, 0, 0, 0, 0);
    ASSERT_NE(nullptr, pickerWindow);
    picker->ShowWindow(false, false);
    ASSERT_NE(nullptr, Open());
    CPageCtrlUI* pager = Pager(L"CurRecordPgCtrl");
    ASSERT_EQ(2, pager->GetPageCount());
    EXPECT_EQ(100, Count(Display(L"CurRecordDisplayREdt")->GetData(), L"Teacher Tom  ") +
                       Count(Display(L"CurRecordDisplayREdt")->GetData(), L"Alice  "));
    // Every fourth message holds the image, shown as the GIF and read back as its token.
    EXPECT_EQ(25, Display(L"CurRecordDisplayREdt")->GetImageCount());
    EXPECT_EQ(25, Count(Display(L"CurRecordDisplayREdt")->GetData(), L"Thanks [\\smile]"));
    EXPECT_EQ(0, Count(Display(L"CurRecordDisplayREdt")->GetText(), L"[\\smile]"));
    PumpMessages(200);
    HWND firstPage = Display(L"CurRecordDisplayREdt")->GetNativeWindow();
    EXPECT_GT(CountEmotionYellow(CaptureClient(firstPage)), 40);
    EXPECT_GE(DistinctFrames(firstPage, 1200, 100), 2);

    ASSERT_TRUE(ClickControl(m_window, pager->GetSlot(1)));
    EXPECT_EQ(30, Count(Display(L"CurRecordDisplayREdt")->GetData(), L"09:30:00\r"));
    EXPECT_EQ(7, Display(L"CurRecordDisplayREdt")->GetImageCount());
    PumpMessages(50);
    EXPECT_FALSE(IsWindow(firstPage)) << "the page's display was replaced by an empty one";
    EXPECT_TRUE(IsWindowVisible(Display(L"CurRecordDisplayREdt")->GetNativeWindow()));
    ASSERT_TRUE(ClickControl(m_window, pager->GetSlot(0)));
    EXPECT_EQ(100, Count(Display(L"CurRecordDisplayREdt")->GetData(), L"09:30:00\r"));
    EXPECT_EQ(25, Display(L"CurRecordDisplayREdt")->GetImageCount());

    DestroyWindow(pickerWindow);
    PumpMessages(20);
    delete picker;
}

TEST_F(ChatRecordWndTest, DeletingAsksFirstAndKeepsEachListOnItsOwnRoomsWhileSearching)
{
    AddRoom(1001, L"Algebra", L"20141101080000", 1);
    AddRoom(1002, L"Biology", L"20141102080000", 2);
    AddRoom(1003, L"Chemistry", L"20141103080000", 3);
    AddRoom(1004, L"Linear algebra", L"20141104080000", 4);
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"HisClassOpt"));
    // The full list's side shows the room that is then deleted from the search's side.
    ASSERT_TRUE(ClickControl(m_window, List(L"ClassNameLst")->GetItemAt(0)));
    EXPECT_EQ(CDuiString(L"Algebra"), Find(L"SelClassNameLab")->GetText());

    Type(L"SearchClassInput", L"algebra");
    ASSERT_TRUE(Click(L"SearchClassBtn"));
    CListUI* found = List(L"SearchedClassNameLst");
    ASSERT_EQ(2, found->GetCount());
    ASSERT_TRUE(ClickControl(m_window, found->GetItemAt(0)));
    EXPECT_EQ(CDuiString(L"Algebra"), Find(L"SearchedSelClassNameLab")->GetText());
    MessageBoxAnswer confirmed;
    AnswerNextMessageBox({L"OkBtn2_1", L"OkBtn2_1D"}, &confirmed);
    ASSERT_TRUE(Click(L"DelRecordBtn"));
    ASSERT_TRUE(confirmed.answered);
    EXPECT_EQ(0, CSqliteMgr::GetInstance()->GetMsgCount(1001));
    // The deleted room is shown nowhere any more.
    ASSERT_EQ(1, found->GetCount());
    EXPECT_EQ(CDuiString(L"Linear algebra"), found->GetItemAt(0)->GetText());
    EXPECT_EQ(CDuiString(L""), Find(L"SearchedSelClassNameLab")->GetText());
    EXPECT_EQ(CDuiString(L""), Find(L"SearchedSelClassDateLab")->GetText());
    EXPECT_FALSE(Find(L"DelRecordBtn")->IsVisible());
    EXPECT_EQ(0, Display(L"SearchedSelRecordDisplayREdt")->GetTextLength());
    EXPECT_FALSE(Pager(L"SearchedSelRecordPgCtrl")->IsVisible());
    // A second press has no room to delete.
    ASSERT_TRUE(Click(L"DelRecordBtn"));
    EXPECT_EQ(2, CSqliteMgr::GetInstance()->GetMsgCount(1002));

    ASSERT_TRUE(Click(L"StopSearchClassBtn"));
    EXPECT_EQ(0, TabPage(L"SearchClassTab"));
    EXPECT_EQ(CDuiString(L""), Find(L"SearchClassInput")->GetText());
    EXPECT_EQ(CDuiString(L""), Find(L"SelClassNameLab")->GetText());
    EXPECT_EQ(0, Display(L"SelRecordDisplayREdt")->GetTextLength());
    CListUI* list = List(L"ClassNameLst");
    ASSERT_EQ(3, list->GetCount());
    EXPECT_EQ(CDuiString(L"Biology"), list->GetItemAt(0)->GetText());
    EXPECT_EQ(CDuiString(L"Linear algebra"), list->GetItemAt(2)->GetText());

    // Every item still opens and deletes its own room.
    ASSERT_TRUE(ClickControl(m_window, list->GetItemAt(0)));
    EXPECT_EQ(CDuiString(L"Biology"), Find(L"SelClassNameLab")->GetText());
    EXPECT_EQ(CDuiString(L"2014-11-02"), Find(L"SelClassDateLab")->GetText());
    CDuiString shown = Display(L"SelRecordDisplayREdt")->GetData();
    EXPECT_EQ(2, Count(shown, L"of Biology"));
    EXPECT_EQ(0, Count(shown, L"of Chemistry"));
    ASSERT_TRUE(ClickControl(m_window, list->GetItemAt(2)));
    EXPECT_EQ(4, Count(Display(L"SelRecordDisplayREdt")->GetData(), L"of Linear algebra"));
    ASSERT_TRUE(ClickControl(m_window, list->GetItemAt(0)));
    // Deleting asks first; Cancel keeps everything.
    MessageBoxAnswer cancelled;
    AnswerNextMessageBox({L"CancelBtn2_2", L"CancelBtn2_2D"}, &cancelled);
    ASSERT_TRUE(Click(L"DelRecordBtn"));
    ASSERT_TRUE(cancelled.answered);
    EXPECT_EQ(L"Do you want to continue?", cancelled.text);
    EXPECT_EQ(L"Prompt", cancelled.caption);
    EXPECT_EQ(2, CSqliteMgr::GetInstance()->GetMsgCount(1002));
    EXPECT_EQ(3, list->GetCount());
    MessageBoxAnswer again;
    AnswerNextMessageBox({L"OkBtn2_1", L"OkBtn2_1D"}, &again);
    ASSERT_TRUE(Click(L"DelRecordBtn"));
    ASSERT_TRUE(again.answered);
    EXPECT_EQ(0, CSqliteMgr::GetInstance()->GetMsgCount(1002));
    EXPECT_EQ(3, CSqliteMgr::GetInstance()->GetMsgCount(1003));
    EXPECT_EQ(4, CSqliteMgr::GetInstance()->GetMsgCount(1004));
    ASSERT_EQ(2, list->GetCount());
    EXPECT_EQ(CDuiString(L"Chemistry"), list->GetItemAt(0)->GetText());
    EXPECT_EQ(0u, m_browser->GetRooms().count(1002));
    EXPECT_EQ(CDuiString(L""), Find(L"SelClassNameLab")->GetText());
}
