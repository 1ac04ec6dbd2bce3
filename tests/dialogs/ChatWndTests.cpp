// The chat pane from its skin: typing and sending to a loopback room server, received messages and
// notices in the output, the clearing rule, the font bar and the emotion picker.
#include <winsock2.h>

#include "dialogs/ChatWnd.h"

#include "controls/EmotionList.h"
#include "controls/StudentList.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/ChatRichEdit.h"
#include "dialogs/ChatText.h"
#include "protocol/CmdProtocol.h"
#include "protocol/RoomRecords.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/MessageSink.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>
#include <oleauto.h>

namespace {
using fakeroom::FakeRegServer;

UserRecord User(uint32_t id, const wchar_t* name, int32_t sex, uint8_t role)
{
    UserRecord user;
    user.userId = id;
    user.userName = name;
    user.nickName = name;
    user.sex = sex;
    user.role = role;
    return user;
}

class ChatWndTest : public testing::Test {
protected:
    void SetUp() override
    {
        // As the program does at its start: the displays embed their images as OLE objects.
        OleInitialize(nullptr);
        UseEnglishTexts(true);
        SessionContext* session = SessionContext::Instance();
        session->userId = 21;
        session->userName = L"tom";
        session->screenName = L"Teacher Tom";
        session->role = eRole_Teacher;
        session->options = OptionSettings();
        m_roster.AddUser(User(21, L"Teacher Tom", 1, eRole_Teacher));
        m_roster.AddUser(User(22, L"Alice", 2, eRole_Student));
        session->rosterControl = &m_roster;

        ServerNode node{};
        node.address = inet_addr("127.0.0.1");
        node.port = m_room.Port();
        m_channel.SetServer(node);
        ASSERT_TRUE(m_channel.Connect());
        OpenPane();
    }
    // Creates the pane as the main window does, talking to the room through the channel.
    void OpenPane()
    {
        m_chat = new CChatWnd;
        m_chat->SetCommandChannel(&m_channel);
        size_t mark = LogMark();
        m_window = m_chat->Create(nullptr, L"ChatWnd", 0x94000000, 0, 0, 0, 0, 0);
        ASSERT_NE(nullptr, m_window) << LogSince(mark, "Error");
        SetWindowPos(m_window, nullptr, 200, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        UpdateWindow(m_window);
        PumpMessages(80);
        ASSERT_TRUE(Input() && OutputEdit() && Input()->GetNativeWindow() && OutputEdit()->GetNativeWindow());
    }
    void TearDown() override
    {
        if (IsWindow(m_window)) DestroyWindow(m_window);
        PumpMessages(20);
        SessionContext::Instance()->rosterControl = nullptr;
    }
    CControlUI* Find(const wchar_t* name) { return m_chat->GetPaintManager()->FindControl(name); }
    CChatRichEditUI* Host(const wchar_t* name) { return static_cast<CChatRichEditUI*>(Find(name)->GetInterface(L"ChatRichEdit")); }
    // Looked up each time: an emptied output is a fresh control.
    CChatRichEditUI* Input() { return Host(L"InputEdit"); }
    CChatRichEditUI* OutputEdit() { return Host(L"OutputEdit"); }
    void TypeInput(const wchar_t* text)
    {
        SetFocus(Input()->GetNativeWindow());
        for (const wchar_t* c = text; *c; ++c) SendMessageW(Input()->GetNativeWindow(), WM_CHAR, *c, 1);
        PumpMessages(20);
    }
    CString Output() { return CString(OutputEdit()->GetData()); }
    void PostChat(uint32_t kind, uint32_t sender, const wchar_t* text)
    {
        auto* record = new ChatMessageRecord;
        record->kind = kind;
        record->senderId = sender;
        record->text = text;
        record->font.family = L"Tahoma";
        PostMessageW(m_window, WM_USER_CHAT_MESSAGE, 0, reinterpret_cast<LPARAM>(record));
        PumpMessages(30);
    }
    void Send() { ASSERT_TRUE(ClickControl(m_window, Find(L"SendTextBtn"))); }
    // The payloads of the chat messages the room received, once count of them arrived.
    std::vector<fakeroom::Bytes> Sent(size_t count)
    {
        EXPECT_TRUE(m_room.WaitForMessages(eType_ChatMsg, count, 2000));
        std::vector<fakeroom::Bytes> payloads;
        for (const fakeroom::Packet& message : m_room.Messages(eType_ChatMsg)) payloads.push_back(message.payload);
        return payloads;
    }

    FakeRegServer m_room;
    CCmdProtocol m_channel;
    CStudentList m_roster;
    CChatWnd* m_chat = nullptr;
    HWND m_window = nullptr;
};
} // namespace

TEST_F(ChatWndTest, SendingShowsTheMessageAndSendsItToTheRoom)
{
    TypeInput(L"  hello [\\smile] there ");
    Send();
    CString shown = Output();
    EXPECT_EQ(0, shown.Find(L"\x2642 Teacher Tom  ")) << shown.GetString();
    EXPECT_GE(shown.Find(L"\r  ...................................................\r"), 0);
    // The emotion token names a GIF of the skin: the output holds the image, which reads back as its token.
    EXPECT_GE(shown.Find(L"hello [\\smile] there\r"), 0);
    EXPECT_EQ(1, OutputEdit()->GetImageCount());
    EXPECT_LT(CString(OutputEdit()->GetText()).Find(L"[\\smile]"), 0);
    EXPECT_EQ(0, Input()->GetTextLength());
    EXPECT_EQ(1, m_chat->GetChatCount());
    EXPECT_EQ(BuildChatPayload(m_chat->GetChatFont(), L"hello [\\smile] there"), Sent(1).at(0));

    // Return in the input sends too; neither Escape nor Alt+F4 there closes the pane, which only the
    // share bar does.
    TypeInput(L"by return");
    PressKey(Input()->GetNativeWindow(), VK_RETURN);
    EXPECT_GE(Output().Find(L"by return\r"), 0);
    EXPECT_EQ(0, Input()->GetTextLength());
    EXPECT_EQ(BuildChatPayload(m_chat->GetChatFont(), L"by return"), Sent(2).at(1));
    PressKey(m_window, VK_ESCAPE);
    PostMessageW(Input()->GetNativeWindow(), WM_SYSKEYDOWN, VK_F4, 0x203E0001); // Alt held: context bit set
    PumpMessages(100);
    EXPECT_TRUE(IsWindow(m_window));
    SendMessageW(m_window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(m_window)) << "the share bar's close still ends it";
}

TEST_F(ChatWndTest, EmptyTooLongAndUnknownSendersAreRefused)
{
    TypeInput(L" \t  ");
    Send();
    EXPECT_GE(Output().Find(L"   Cann't send empty message, please re-input\r"), 0);
    EXPECT_EQ(0, m_chat->GetChatCount());
    EXPECT_EQ(1, m_chat->GetSystemCount());

    std::wstring longest(4097, L'x');
    SetWindowTextW(Input()->GetNativeWindow(), longest.c_str());
    Send();
    EXPECT_GE(Output().Find(L"   The message is too long to send\r"), 0);
    EXPECT_EQ(0, m_chat->GetChatCount());
    longest.resize(4096);
    SetWindowTextW(Input()->GetNativeWindow(), longest.c_str());
    Send();
    EXPECT_EQ(1, m_chat->GetChatCount());
    EXPECT_EQ(BuildChatPayload(m_chat->GetChatFont(), longest.c_str()), Sent(1).at(0));

    SessionContext::Instance()->userId = 99;
    TypeInput(L"who am I");
    Send();
    EXPECT_GE(Output().Find(L"The sender doesn't exist. userid = 99, username is : tom\r"), 0);
    EXPECT_EQ(CString(L"who am I"), CString(Input()->GetData())) << "the input keeps its text";
    m_room.WaitForMessages(eType_ChatMsg, 2, 200);
    EXPECT_EQ(1u, m_room.Messages(eType_ChatMsg).size()) << "only the 4096 characters went out";
}

TEST_F(ChatWndTest, ReceivedMessagesNoticesAndEmotionImages)
{
    PostChat(1, 22, L"from Alice");
    CString shown = Output();
    EXPECT_EQ(0, shown.Find(L"\x2640 Alice  "));
    EXPECT_GE(shown.Find(L"from Alice\r"), 0);
    PostChat(0, 22, L"kind zero");
    EXPECT_LT(Output().Find(L"kind zero"), 0);
    // A sender missing from the roster is shown under its id to a teacher...
    PostChat(1, 77, L"from a stranger");
    EXPECT_GE(Output().Find(L"\x2642 77  "), 0);
    // ...and dropped for a student.
    SessionContext::Instance()->role = eRole_Student;
    PostChat(1, 78, L"unseen");
    EXPECT_LT(Output().Find(L"unseen"), 0);
    EXPECT_EQ(2, m_chat->GetChatCount());

    PostMessageW(m_window, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(SysAllocString(L"The class has begun")));
    PumpMessages(30);
    EXPECT_GE(Output().Find(L"System Msg  "), 0);
    EXPECT_GE(Output().Find(L"\xFF1A\r   The class has begun\r"), 0);
    EXPECT_EQ(1, m_chat->GetSystemCount());

    HWND output = OutputEdit()->GetNativeWindow();
    PostChat(1, 22, L"plain [\\nosuch] words");
    PumpMessages(150);
    EXPECT_EQ(0, CountEmotionYellow(CaptureClient(output))) << "a token naming no emotion is text";

    PostChat(1, 22, L"look [\\smile] here");
    PumpMessages(300);
    EXPECT_EQ(1, OutputEdit()->GetImageCount());
    CString raw(OutputEdit()->GetText());
    EXPECT_LT(raw.Find(L"[\\smile]"), 0) << "the token is not shown as text";
    EXPECT_LT(raw.Find(L"smile"), 0);
    EXPECT_GE(raw.Find(L"plain [\\nosuch] words\r"), 0);
    EXPECT_GE(CString(OutputEdit()->GetData()).Find(L"look [\\smile] here\r"), 0);
    // The GIF's face is drawn on the screen and its frames follow one another.
    EXPECT_GT(CountEmotionYellow(CaptureClient(output)), 40);
    EXPECT_GE(DistinctFrames(output, 1500, 100), 2);

    // A body of long unbroken stretches around an image comes out whole, written with soft breaks
    // that keep its wrapping in proportion to its length.
    const CString longBody = L"long " + CString(L'a', 1500) + L" [\\smile] " + CString(L'b', 1500) + L" end";
    PostChat(1, 22, longBody.GetString());
    PumpMessages(100);
    CString written = Output();
    int softBreaks = written.Remove(L'\v');
    EXPECT_GE(written.Find(L"\r" + longBody + L"\r"), 0);
    EXPECT_GE(softBreaks, 2 * (1500 / kSoftBreakRun));
    EXPECT_EQ(2, OutputEdit()->GetImageCount());
}

// A burst of the room's messages with a notice among them: written in arrival order, and the line that
// reaches the threshold empties the output before it, so what is emptied is never written.
TEST_F(ChatWndTest, ABurstShowsInOrderAndTheThresholdEmptiesFirst)
{
    auto post = [this](int from, int to) {
        for (int i = from; i <= to; ++i) {
            auto* record = new ChatMessageRecord;
            record->kind = 1;
            record->senderId = 22;
            record->text.Format(L"burst-%03d", i);
            record->font.family = L"Tahoma";
            PostMessageW(m_window, WM_USER_CHAT_MESSAGE, 0, reinterpret_cast<LPARAM>(record));
        }
    };
    post(1, 150);
    PostMessageW(m_window, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(SysAllocString(L"Dora entered")));
    post(151, 304);
    ASSERT_TRUE(PumpUntil([this] { return Output().Find(L"burst-304") >= 0; }, 20000));
    CString shown = Output();
    EXPECT_LT(shown.Find(L"burst-299"), 0);
    EXPECT_LT(shown.Find(L"Dora entered"), 0);
    for (int i = 300, at = -1; i <= 304; ++i) {
        CString tag;
        tag.Format(L"burst-%03d", i);
        EXPECT_GT(shown.Find(tag), at) << i;
        at = shown.Find(tag);
    }
    EXPECT_EQ(4, m_chat->GetChatCount());

    post(305, 340);
    PostMessageW(m_window, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(SysAllocString(L"Evan entered")));
    post(341, 342);
    ASSERT_TRUE(PumpUntil([this] { return Output().Find(L"burst-342") >= 0; }, 20000));
    shown = Output();
    EXPECT_LT(shown.Find(L"burst-340"), shown.Find(L"Evan entered"));
    EXPECT_LT(shown.Find(L"Evan entered"), shown.Find(L"burst-341"));
}

TEST_F(ChatWndTest, TheOutputIsEmptiedWhenThreeHundredLinesWereCounted)
{
    // Messages with images and changing paragraph formats make a page that Wine's rich edit could not
    // empty by deleting the text.
    HWND oldOutput = OutputEdit()->GetNativeWindow();
    UserRecord alice = User(22, L"Alice", 2, eRole_Student);
    for (int i = 0; i < 40; ++i) {
        ChatFont font;
        font.family = L"Tahoma";
        font.size = 9 + i % 5;
        m_chat->ShowChatMessage(alice, font, i % 2 ? L"row [\\smile] with an image" : L"row in words");
    }
    EXPECT_EQ(20, OutputEdit()->GetImageCount());
    for (int i = 0; i < 299; ++i) m_chat->ShowSystemMessage(L"notice");
    PostChat(1, 22, L"number 300");
    EXPECT_EQ(1, m_chat->GetChatCount());
    EXPECT_GE(Output().Find(L"notice"), 0);
    PostChat(1, 22, L"number 301");
    EXPECT_EQ(0, m_chat->GetChatCount());
    EXPECT_EQ(0, m_chat->GetSystemCount());
    CString shown = Output();
    EXPECT_LT(shown.Find(L"notice"), 0);
    EXPECT_LT(shown.Find(L"number 300"), 0);
    EXPECT_LT(shown.Find(L"row "), 0);
    EXPECT_GE(shown.Find(L"number 301"), 0);
    EXPECT_EQ(0, OutputEdit()->GetImageCount());
    // The emptied output is on the screen in the old one's place, which is gone.
    HWND fresh = OutputEdit()->GetNativeWindow();
    ASSERT_NE(nullptr, fresh);
    EXPECT_TRUE(IsWindowVisible(fresh));
    EXPECT_FALSE(IsWindow(oldOutput));
    RECT placed;
    GetClientRect(fresh, &placed);
    EXPECT_GT(placed.bottom, 50);
    EXPECT_TRUE(OutputEdit()->IsReadOnly());
    PostChat(1, 22, L"after [\\smile]");
    PumpMessages(200);
    EXPECT_EQ(1, OutputEdit()->GetImageCount());
    EXPECT_GT(CountEmotionYellow(CaptureClient(fresh)), 40);
}

TEST_F(ChatWndTest, HiddenChatContentStillSends)
{
    SessionContext::Instance()->options.contentOption = 1;
    TypeInput(L"quiet");
    Send();
    m_chat->ShowSystemMessage(L"a notice");
    PostChat(1, 22, L"received");
    EXPECT_EQ(0, OutputEdit()->GetTextLength());
    EXPECT_EQ(BuildChatPayload(m_chat->GetChatFont(), L"quiet"), Sent(1).at(0));
}

TEST_F(ChatWndTest, TheHiddenFontBarAlreadyShowsTheStoredFontAndSetsTheChatFont)
{
    // A stored font, its face written in other capitals than the system's.
    auto* faces = static_cast<CComboUI*>(Find(L"FontType")->GetInterface(L"Combo"));
    ASSERT_GT(faces->GetCount(), 1);
    IDBMgr* db = CSqliteMgr::GetInstance();
    ASSERT_NE(db, nullptr);
    ASSERT_TRUE(db->Init(21)); // the local user's records
    ChatFont before;
    bool hadFont = db->GetFontInfo(before);
    ChatFont stored;
    stored.size = 16;
    stored.colour = 0xFF0099FF;
    CString face = faces->GetItemAt(faces->GetCount() - 1)->GetText();
    stored.family = face;
    stored.family.MakeUpper();
    ASSERT_TRUE(db->SaveFontInfo(stored));
    DestroyWindow(m_window);
    PumpMessages(20);
    OpenPane();
    db->SaveFontInfo(hadFont ? before : ChatFont());
    ASSERT_FALSE(HasFatalFailure());

    // The bar starts hidden, yet its combos hold the stored face, size and colour.
    EXPECT_FALSE(Find(L"FontSetArea")->IsVisible());
    faces = static_cast<CComboUI*>(Find(L"FontType")->GetInterface(L"Combo"));
    auto* sizes = static_cast<CComboUI*>(Find(L"FontSize")->GetInterface(L"Combo"));
    auto* colours = static_cast<CComboUI*>(Find(L"FontColor")->GetInterface(L"Combo"));
    EXPECT_EQ(faces->GetText(), CDuiString(face));
    EXPECT_EQ(sizes->GetText(), CDuiString(L"16"));
    EXPECT_EQ(colours->GetCurSel(), 3);

    // Opened by its switch, the bar shows them: the colour combo paints the chosen swatch.
    ASSERT_TRUE(ClickControl(m_window, Find(L"FontCheck"), 100));
    ASSERT_TRUE(Find(L"FontSetArea")->IsVisible());
    PumpMessages(30);
    EXPECT_EQ(colours->GetCurSel(), 3);
    {
        MemoryDib dib(320, 480);
        dib.Fill(0xFFFFFF);
        colours->DoPaint(dib.Dc(), colours->GetPos());
        EXPECT_GT(dib.CountColor(colours->GetPos(), 0x0099FF), 100);
    }

    // What the user picks there becomes the chat font.
    ASSERT_TRUE(ClickControl(m_window, Find(L"BoldCheck")));
    EXPECT_EQ(1, m_chat->GetChatFont().bold);
    static_cast<CComboUI*>(Find(L"FontSize")->GetInterface(L"Combo"))->SelectItem(5);
    EXPECT_EQ(14, m_chat->GetChatFont().size);
    static_cast<CComboUI*>(Find(L"FontColor")->GetInterface(L"Combo"))->SelectItem(2);
    EXPECT_EQ(0xFF33BB44u, m_chat->GetChatFont().colour);

    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    SendMessageW(Input()->GetNativeWindow(), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(14 * 15, format.yHeight);
    EXPECT_NE(0u, format.dwEffects & CFE_BOLD);
    EXPECT_EQ(RGB(0x33, 0xBB, 0x44), format.crTextColor);

    // The message goes out in the chosen font.
    TypeInput(L"bold words");
    Send();
    EXPECT_EQ(BuildChatPayload(m_chat->GetChatFont(), L"bold words"), Sent(1).at(0));
}

TEST_F(ChatWndTest, TheEmotionButtonOpensThePickerAboveIt)
{
    CEmotionWnd* picker = m_chat->GetEmotionPicker();
    ASSERT_NE(nullptr, picker);
    EXPECT_FALSE(IsWindowVisible(picker->GetHWND()));
    EXPECT_EQ(m_window, GetWindow(picker->GetHWND(), GW_OWNER));
    CControlUI* face = Find(L"FaceCheck");
    ASSERT_TRUE(ClickControl(m_window, face, 100));
    ASSERT_TRUE(IsWindowVisible(picker->GetHWND()));
    RECT placed, button = face->GetPos();
    GetWindowRect(picker->GetHWND(), &placed);
    POINT top{(button.left + button.right) / 2, button.top};
    ClientToScreen(m_window, &top);
    EXPECT_EQ(top.y - 1, placed.bottom);
    EXPECT_LE(std::abs((placed.left + placed.right) / 2 - top.x), 1);

    // Choosing an image puts its token into the input and unchecks the button.
    CEmotionListUI* grid = picker->GetGrid();
    RECT cells = grid->GetPos();
    POINT cell{cells.left + 10, cells.top + 10};
    ClientToScreen(picker->GetHWND(), &cell);
    SetCursorPos(cell.x, cell.y);
    ASSERT_TRUE(PumpUntil([&] { return !picker->GetSelectedImagePath().IsEmpty(); }, 2000));
    POINT client = cell;
    ScreenToClient(picker->GetHWND(), &client);
    SendMessageW(picker->GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
    SendMessageW(picker->GetHWND(), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
    PumpMessages(30);
    EXPECT_FALSE(IsWindowVisible(picker->GetHWND()));
    EXPECT_FALSE(static_cast<COptionUI*>(face)->IsSelected());
    CString path = picker->GetSelectedImagePath().GetString();
    CString name = path.Mid(path.ReverseFind(L'\\') + 1);
    name = name.Left(name.Find(L'.'));
    EXPECT_EQ(L"[\\" + name + L"]", CString(Input()->GetData()));
    EXPECT_EQ(1, Input()->GetTextLength()) << "the input holds the image, not its token";
    EXPECT_EQ(1, Input()->GetImageCount());
    // Unselected, the image shows in its own colours.
    Input()->SetSel(-1, -1);
    PumpMessages(200);
    // The input is black text on white: the GIF's colours are the image.
    EXPECT_GT(CountColourful(CaptureClient(Input()->GetNativeWindow())), 40);
    const ChatFont font = m_chat->GetChatFont();

    // Escape or Alt+F4 in the open picker hide it as a click elsewhere does; the button opens it again.
    for (bool altF4 : {false, true}) {
        ASSERT_TRUE(ClickControl(m_window, face, 100));
        ASSERT_TRUE(IsWindowVisible(picker->GetHWND())) << altF4;
        if (altF4) PostMessageW(picker->GetHWND(), WM_SYSKEYDOWN, VK_F4, 0x203E0001); // Alt held: context bit set
        else PressKey(picker->GetHWND(), VK_ESCAPE);
        PumpMessages(50);
        ASSERT_TRUE(IsWindow(picker->GetHWND())) << altF4;
        EXPECT_FALSE(IsWindowVisible(picker->GetHWND())) << altF4;
        EXPECT_FALSE(static_cast<COptionUI*>(face)->IsSelected()) << altF4;
    }

    // The picker's hide notice unchecks the button; a notice with lParam 1 checks it.
    PostMessageW(m_window, WM_USER_UI_NOTICE, 18, 1);
    PumpMessages(20);
    EXPECT_TRUE(static_cast<COptionUI*>(face)->IsSelected());
    PostMessageW(m_window, WM_USER_UI_NOTICE, 18, 0);
    PumpMessages(20);
    EXPECT_FALSE(static_cast<COptionUI*>(face)->IsSelected());

    // Sent, the image goes to the room as its token and comes back as the image in the output.
    Send();
    EXPECT_EQ(BuildChatPayload(font, L"[\\" + name + L"]"), Sent(1).at(0));
    EXPECT_EQ(1, OutputEdit()->GetImageCount());
    EXPECT_EQ(0, Input()->GetTextLength());
    EXPECT_EQ(0, Input()->GetImageCount());
}

TEST_F(ChatWndTest, PastHalfItsLimitTheOutputLosesItsOldestMessagesUpToASendersMark)
{
    const long limit = 4000;
    OutputEdit()->SetLimitText(limit);
    ASSERT_EQ(limit, OutputEdit()->GetLimitText());
    UserRecord alice = User(22, L"Alice", 2, eRole_Student);
    ChatFont font;
    font.family = L"Tahoma";
    int written = 0;
    CString text;
    while (OutputEdit()->GetTextLength() <= limit / 2) {
        text.Format(L"message %03d", written++);
        m_chat->ShowChatMessage(alice, font, text);
    }
    ASSERT_GT(written, 10);
    // Within the first quarter of the limit, the last of Alice's marks starts the text that stays.
    CString before(OutputEdit()->GetText());
    int mark = before.Left(limit / 4).ReverseFind(L'\x2640');
    ASSERT_GT(mark, 0);
    m_chat->ShowChatMessage(alice, font, L"message new");
    CString after(OutputEdit()->GetText());
    EXPECT_EQ(0, after.Find(before.Mid(mark))) << "the cut falls on a message's start";
    EXPECT_LE(after.GetLength(), limit / 2 + 120);
    EXPECT_LT(after.Find(L"message 000"), 0);
    text.Format(L"message %03d", written - 1);
    EXPECT_GE(after.Find(text), 0);
    EXPECT_GE(after.Find(L"message new"), 0);
    EXPECT_TRUE(OutputEdit()->IsReadOnly());

    // A sender of the other sex finds no mark of his own there: everything before him goes.
    while (OutputEdit()->GetTextLength() <= limit / 2) m_chat->ShowChatMessage(alice, font, L"more from Alice");
    m_chat->ShowChatMessage(User(21, L"Teacher Tom", 1, eRole_Teacher), font, L"from Tom");
    CString last(OutputEdit()->GetText());
    EXPECT_EQ(0, last.Find(L"\x2642 Teacher Tom  ")) << last.GetString();
    EXPECT_LT(last.Find(L"Alice"), 0);
    EXPECT_GE(last.Find(L"from Tom\r"), 0);
}

TEST_F(ChatWndTest, ShowingOrHidingThePaneEmptiesBothEditsAndKeepsTheCounts)
{
    PostChat(1, 22, L"look [\\smile] here");
    m_chat->ShowSystemMessage(L"a notice");
    TypeInput(L"half written");
    ASSERT_EQ(1, OutputEdit()->GetImageCount());
    ASSERT_GT(Input()->GetTextLength(), 0);

    ShowWindow(m_window, SW_HIDE);
    PumpMessages(30);
    EXPECT_EQ(0, Input()->GetTextLength());
    EXPECT_EQ(0, OutputEdit()->GetTextLength());
    EXPECT_EQ(0, OutputEdit()->GetImageCount());
    EXPECT_FALSE(KillTimer(m_window, 3)) << "the images' timer was stopped";
    EXPECT_EQ(1, m_chat->GetChatCount());
    EXPECT_EQ(1, m_chat->GetSystemCount());

    PostChat(1, 22, L"while hidden");
    ShowWindow(m_window, SW_SHOW);
    PumpMessages(30);
    EXPECT_EQ(0, OutputEdit()->GetTextLength());
    EXPECT_EQ(2, m_chat->GetChatCount());
    // The emptied edits work on.
    PostChat(1, 22, L"after showing");
    EXPECT_GE(Output().Find(L"after showing\r"), 0);
}
