// Chat through the window: the own text goes out as command 808 with the chat font and shows at
// once; messages of the room appear in the output and reach the record database; the limits hold.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "controls/EmotionList.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/EmotionWnd.h"
#include "protocol/CmdProtocol.h"

#include <cstdlib>

using namespace fakeroom;

namespace {

void Click(MainWndHarness& h, const wchar_t* name)
{
    h.main->GetPaintManager()->SendNotify(h.Find(name), L"click");
}

size_t ChatMessagesAtServer(MainWndHarness& h)
{
    return h.room.reg.Messages(eType_ChatMsg).size();
}

} // namespace

TEST(MainWndChat, SentTextReachesTheRoomAsItsBytesAndEmptyOrOverlongTextIsRefused)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    h.Input()->SetText(L"   \r\n  ");
    Click(h, L"SendTextBtn");
    EXPECT_GE(h.OutputText().Find(L"Cann't send empty message, please re-input"), 0);
    h.Input()->SetText(CString(L'x', kChatTextLimit + 1));
    Click(h, L"SendTextBtn");
    EXPECT_GE(h.OutputText().Find(L"The message is too long to send"), 0);
    Settle();
    EXPECT_EQ(ChatMessagesAtServer(h), 0u);

    // Trimmed, shown at once under the own name and sent as the room's bytes.
    h.Input()->SetText(L"  Good morning, class  ");
    Click(h, L"SendTextBtn");
    EXPECT_GE(h.OutputText().Find(L"Good morning, class"), 0);
    EXPECT_GE(h.OutputText().Find(L"Ms Ann"), 0);
    EXPECT_EQ(h.Input()->GetText(), L"");
    EXPECT_EQ(h.main->GetChatCount(), 1);
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ChatMsg, 1));
    Packet sent = h.room.reg.Messages(eType_ChatMsg)[0];
    EXPECT_EQ(sent.payload, BuildChatPayload(h.main->GetChatFont(), L"Good morning, class"));
    EXPECT_EQ(sent.header.destination, kRoomId);
    EXPECT_EQ(sent.header.sender, kOwnId);

    // Return in the input sends as the button does; exactly the limit goes out, in more than one fragment.
    h.Input()->SetText(CString(L'y', kChatTextLimit));
    h.main->GetPaintManager()->SendNotify(h.Input(), L"return");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ChatMsg, 2));
    EXPECT_EQ(h.room.reg.Messages(eType_ChatMsg)[1].payload,
              BuildChatPayload(h.main->GetChatFont(), CString(L'y', kChatTextLimit)));
}

TEST(MainWndChat, StudentDropsMessagesOfUnknownSenders)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    ChatFont font;
    ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, L"ghost text"), 4444));
    ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, L"teacher text"), kOwnId));
    ASSERT_TRUE(h.WaitForOutput(L"teacher text"));
    EXPECT_LT(h.OutputText().Find(L"ghost text"), 0);
}

// The room's messages: shown with their sender (an unknown one by id, for a teacher), another kind of
// notice not shown, every message in the database. A burst shows in arrival order with a room notice in
// its place, and the line that reaches the output's limit clears it first, so what was cleared is never
// written.
TEST(MainWndChat, ReceivedMessagesShowInOrderAreStoredAndTheLimitClearsFirst)
{
    IDBMgr* db = CSqliteMgr::GetInstance();
    int32_t before = 0;
    {
        MainWndHarness h;
        ASSERT_TRUE(h.StartAndJoin());
        before = db->GetMsgCount(kRoomId);
        ChatFont font;
        font.bold = 1;
        font.size = 14;
        ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, L"Is the test on Friday?"), 21));
        ASSERT_TRUE(h.WaitForOutput(L"Is the test on Friday?"));
        EXPECT_GE(h.OutputText().Find(L"Ben"), 0);
        // 807 is a notice of another kind: not shown.
        ASSERT_TRUE(h.Push(eType_ChatMsgAlt, BuildChatPayload(font, L"hidden kind"), 21));
        ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, L"from the corridor"), 4444));
        ASSERT_TRUE(h.WaitForOutput(L"from the corridor"));
        EXPECT_GE(h.OutputText().Find(L"4444"), 0);
        EXPECT_LT(h.OutputText().Find(L"hidden kind"), 0);
        EXPECT_EQ(h.main->GetChatCount(), 2);

        auto push = [&](int from, int to) {
            for (int i = from; i <= to; ++i) {
                CString text;
                text.Format(L"burst-%03d", i);
                if (!h.Push(eType_ChatMsg, BuildChatPayload(font, text), 21)) return false;
            }
            return true;
        };
        // 2 messages, 148 more, a notice (a system line), 149 more: the next message finds 300 lines.
        ASSERT_TRUE(push(1, 148));
        ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, "Dora", "dora")));
        ASSERT_TRUE(push(149, 302));
        ASSERT_TRUE(h.WaitForOutput(L"burst-302", 20000));
        CString text = h.OutputText();
        EXPECT_LT(text.Find(L"burst-297"), 0);
        EXPECT_LT(text.Find(L"Dora"), 0);
        EXPECT_LT(text.Find(L"Friday"), 0);
        int at = -1;
        for (int i = 298; i <= 302; ++i) {
            CString tag;
            tag.Format(L"burst-%03d", i);
            int next = text.Find(tag);
            EXPECT_GT(next, at) << i;
            at = next;
        }
        EXPECT_EQ(h.main->GetChatCount(), 4);
        EXPECT_EQ(h.main->GetSystemLineCount(), 0);

        // A notice between messages keeps its place, whether or not the output is still catching up.
        ASSERT_TRUE(push(303, 338));
        ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(31, 1, 1, "Evan", "evan")));
        ASSERT_TRUE(push(339, 340));
        ASSERT_TRUE(h.WaitForOutput(L"burst-340", 20000));
        text = h.OutputText();
        EXPECT_LT(text.Find(L"burst-338"), text.Find(L"Evan"));
        EXPECT_LT(text.Find(L"Evan"), text.Find(L"burst-339"));
    }
    // The window's end stops the writer, which writes what it still holds.
    EXPECT_EQ(db->GetMsgCount(kRoomId), before + 342);
}

// The chat's clock from the room's time text, which may come unpadded or broken.
TEST(MainWndChat, ChatClockTexts)
{
    EXPECT_EQ(ChatClockText(L"2026-12-09 07:05:03"), L"07:05:03");
    EXPECT_EQ(ChatClockText(L"2026-1-9 7:5:3"), L"07:05:03");
    EXPECT_EQ(ChatClockText(L"garbage"), L"");
    EXPECT_EQ(ClassClockText(3725), L"01:02:05");
}

TEST(MainWndChat, FontBarFollowsTheStoredFontAndChangesWhatIsSent)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    auto* size = static_cast<CComboUI*>(h.Find(L"FontSize"));
    auto* colour = static_cast<CComboUI*>(h.Find(L"FontColor"));
    auto* type = static_cast<CComboUI*>(h.Find(L"FontType"));
    ASSERT_NE(size, nullptr);
    ASSERT_NE(colour, nullptr);
    ASSERT_NE(type, nullptr);
    const ChatFont& font = h.main->GetChatFont();
    EXPECT_EQ(size->GetCurSel(), font.size - 9);
    EXPECT_GT(type->GetCount(), 0);
    // Every face once, compared ignoring case.
    std::vector<CString> faces = ScreenFontFaces();
    for (size_t i = 0; i < faces.size(); ++i)
        for (size_t j = i + 1; j < faces.size(); ++j) EXPECT_NE(faces[i].CompareNoCase(faces[j]), 0);
    EXPECT_EQ(static_cast<size_t>(type->GetCount()), faces.size());

    EXPECT_FALSE(h.Find(L"FontSetArea")->IsVisible());
    static_cast<COptionUI*>(h.Find(L"FontCheck"))->Selected(true);
    EXPECT_TRUE(h.Find(L"FontSetArea")->IsVisible());
    auto* bold = static_cast<COptionUI*>(h.Find(L"BoldCheck"));
    bold->Selected(true);
    EXPECT_EQ(font.bold, 1);
    colour->SelectItem(2);
    EXPECT_EQ(font.colour, 0xFF33BB44u);
    size->SelectItem(5);
    EXPECT_EQ(font.size, 14);
    h.Input()->SetText(L"styled");
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ChatMsg, 1));
    Packet sent = h.room.reg.Messages(eType_ChatMsg)[0];
    ChatFont expected = font;
    EXPECT_EQ(sent.payload, BuildChatPayload(expected, L"styled"));
    EXPECT_EQ(sent.payload[0], 1);  // bold
    EXPECT_EQ(sent.payload[3], 14); // size
}

TEST(MainWndChat, TheFaceButtonOpensThePickerAndTheChosenEmotionGoesOutAsItsToken)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CEmotionWnd* picker = h.main->EmotionPicker();
    ASSERT_NE(picker, nullptr);
    HWND pickerWindow = picker->GetHWND();
    EXPECT_FALSE(IsWindowVisible(pickerWindow));
    EXPECT_EQ(GetWindow(pickerWindow, GW_OWNER), h.window);

    // Checked, the button opens the picker centred above it, its bottom edge one pixel higher.
    auto* face = static_cast<COptionUI*>(h.Find(L"FaceCheck"));
    ASSERT_NE(face, nullptr);
    face->Selected(true);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(pickerWindow) != FALSE; }, 2000));
    RECT placed{}, button = face->GetPos();
    GetWindowRect(pickerWindow, &placed);
    POINT top{(button.left + button.right) / 2, button.top};
    ClientToScreen(h.window, &top);
    EXPECT_EQ(placed.bottom, top.y - 1);
    EXPECT_LE(std::abs((placed.left + placed.right) / 2 - top.x), 1);

    // The picker's hide notice unchecks the button without reopening anything.
    PostMessageW(h.window, WM_USER_UI_NOTICE, 18, 0);
    ASSERT_TRUE(PumpUntil([&] { return !face->IsSelected(); }, 2000));

    // An image under the mouse is the chosen one; the choice lands in the input as one image.
    CEmotionListUI* grid = picker->GetGrid();
    ASSERT_NE(grid, nullptr);
    ASSERT_GT(grid->GetImageCount(), 0);
    RECT cells = grid->GetPos();
    grid->AnimateImageAt(0, POINT{cells.left + 5, cells.top + 5});
    CString path = picker->GetSelectedImagePath().GetData();
    ASSERT_FALSE(path.IsEmpty());
    face->Selected(true);
    PostMessageW(h.window, WM_USER_EMOTION_SELECTED, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return h.Input()->GetImageCount() == 1; }, 2000));
    EXPECT_FALSE(face->IsSelected());
    EXPECT_EQ(h.Input()->GetTextLength(), 1);

    // Sent, the image goes to the room as its token.
    CString name = path.Mid(path.ReverseFind(L'\\') + 1);
    name = name.Left(name.Find(L'.'));
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ChatMsg, 1));
    std::vector<uint8_t> expected = BuildChatPayload(h.main->GetChatFont(), L"[\\" + name + L"]");
    EXPECT_EQ(h.room.reg.Messages(eType_ChatMsg)[0].payload, expected);
    EXPECT_EQ(h.Input()->GetImageCount(), 0);
}
