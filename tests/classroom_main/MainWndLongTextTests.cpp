// Texts from the room longer than any client sends: cut where the records are made, so the window
// shows and stores them cut and keeps answering; the chat panes' scroll bar and caret as the user sees them.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
#include "core/LanguageTable.h"
#include "database/SqliteMgr.h"
#include "dialogs/ChatText.h"
#include "protocol/CmdProtocol.h"
#include "tests/support/Pixels.h"
#include "tests/support/TestFolders.h"

#include <string>
#include <vector>

using namespace fakeroom;

namespace {

// Received names are cut to this many characters.
const int kNameLimit = 64;

// A name or text of the given length that shows where it was cut: letters in turn, then the tail.
std::string Filler(char first, size_t length, const std::string& tail)
{
    std::string text;
    for (size_t i = 0; text.size() + tail.size() < length; ++i) text += static_cast<char>(first + i % 3);
    return text + tail;
}

CString FromAscii(const std::string& ascii)
{
    return CString(std::wstring(ascii.begin(), ascii.end()).c_str());
}

// The session reads its texts from another table for the test's lifetime.
class LanguageSwap {
public:
    explicit LanguageSwap(LanguageTable* table) : m_shipped(SessionContext::Instance()->languageTable)
    {
        SessionContext::Instance()->languageTable = table;
    }
    ~LanguageSwap() { SessionContext::Instance()->languageTable = m_shipped; }
    LanguageSwap(const LanguageSwap&) = delete;
    LanguageSwap& operator=(const LanguageSwap&) = delete;

private:
    LanguageTable* m_shipped;
};

bool StoredWith(const CString& key, MsgInfoRecord& found)
{
    std::vector<MsgInfoRecord> records;
    bool stored = PumpUntil(
        [&] { return CSqliteMgr::GetInstance()->SearchByKey(key, records, kRoomId) && records.size() == 1; }, 10000);
    if (stored) found = records[0];
    return stored;
}

// What the output shows, without the soft line breaks that keep long stretches quick to wrap.
CString ShownText(MainWndHarness& h)
{
    std::wstring text = h.OutputText().str();
    std::wstring shown;
    for (wchar_t c : text)
        if (c != L'\v') shown += c;
    return CString(shown);
}

CRichEditUI* Output(MainWndHarness& h)
{
    return static_cast<CRichEditUI*>(h.Find(L"OutputEdit"));
}

} // namespace

// A teacher's room announces a user whose screen name is 32,000 characters: the notice, the roster row,
// the header of that user's chat line, its stored record and the leaving notice all carry the first 64.
TEST(MainWndLongText, AHugeScreenNameIsCutWhereverItShowsAndIsStored)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    const std::string name = Filler('N', 32000, "TAIL");
    const CString cut = FromAscii(name.substr(0, kNameLimit));
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, name, Filler('u', 40000, "END"))));
    ASSERT_TRUE(h.WaitForOutput(cut + L" Online", 10000));
    EXPECT_LT(h.OutputText().Find(FromAscii(name.substr(0, kNameLimit + 1))), 0);
    CStudentListElement* row = RowOf(h, 30);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(Wide(row->GetUser()->nickName), Wide(cut));
    EXPECT_EQ(row->GetUser()->userName.GetLength(), kNameLimit);

    CString key;
    key.Format(L"from-the-long-name-%llu", static_cast<unsigned long long>(FreshId(1)));
    ChatFont font;
    ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, key), 30));
    ASSERT_TRUE(h.WaitForOutput(key));
    CString text = h.OutputText();
    EXPECT_GE(text.Find(L" " + cut + L"  "), 0);
    EXPECT_LT(text.Find(L"TAIL"), 0);
    MsgInfoRecord stored;
    ASSERT_TRUE(StoredWith(key, stored));
    EXPECT_EQ(Wide(stored.sender.nickName), Wide(cut));
    EXPECT_EQ(stored.sender.userName.GetLength(), kNameLimit);

    ASSERT_TRUE(h.Push(eType_UserOffline_Notify, Bytes(), 30));
    ASSERT_TRUE(h.WaitForOutput(cut + L" Offline"));
    EXPECT_TRUE(LogHas(L"screen name of 32000 characters cut to 64"));
}

// A student's room relays a chat line of 32,000 characters: shown and stored as its first 4096, the
// length a client sends, with a line in the log. A language file whose system-line header holds more
// directives than the clock shows them as written.
TEST(MainWndLongText, AChatLineLongerThanAClientSendsIsShownAndStoredCut)
{
    ScopedModuleFolder languageFolder;
    ASSERT_TRUE(CreateDirectoryW(languageFolder.Path() + L"Language", nullptr));
    ASSERT_TRUE(WriteFileBytes(languageFolder.Path() + L"Language\\SimpleChinese",
                               "22=Nothing to send %s %d\n30=Class %s notice %d %s\n"));
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    // The edited file is read as the user's language; the window's own files stay the shipped ones.
    SetModuleFolderOverride(languageFolder.Path());
    LanguageTable edited(0);
    SetModuleFolderOverride(TestProgramFolder());
    ASSERT_TRUE(edited.IsLoaded());
    LanguageSwap swap(&edited);

    CString key;
    key.Format(L"long-line-%llu-", static_cast<unsigned long long>(FreshId(1)));
    std::string body = Filler('a', 32000 - key.GetLength(), "BEYOND");
    const CString sent = key + FromAscii(body);
    const CString shown = sent.Left(kChatTextLimit);
    ChatFont font;
    ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, sent), kBen));
    ASSERT_TRUE(PumpUntil([&] { return ShownText(h).Find(shown) >= 0; }, 20000));
    EXPECT_LT(ShownText(h).Find(sent.Left(kChatTextLimit + 1)), 0);
    EXPECT_LT(ShownText(h).Find(L"BEYOND"), 0);
    // Written with a soft break at least every so many characters of the unbroken line.
    EXPECT_GE(Occurrences(h.OutputText(), L"\v"), kChatTextLimit / kSoftBreakRun - 1);
    MsgInfoRecord stored;
    ASSERT_TRUE(StoredWith(key, stored));
    EXPECT_EQ(stored.msg.GetLength(), kChatTextLimit);
    EXPECT_TRUE(stored.msg == shown);
    EXPECT_TRUE(LogHas(L"chat text of 32000 characters cut to 4096"));

    // The user presses Send with nothing written: the header and the line are shown as the file has them.
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    CString text = h.OutputText();
    int header = text.Find(L"Class ");
    ASSERT_GE(header, 0);
    EXPECT_EQ(text.Find(L" notice %d %s\xFF1A"), header + 14) << Wide(text.Mid(header, 60));
    EXPECT_GT(text.Find(L"   Nothing to send %s %d"), header);
}

namespace {

// The scroll bar of a child window as the screen shows it, read from a strip at the window's right
// edge (the page is white): whether anything is drawn there, and how many rows of the track between
// the two arrow buttons are left free above and below the thumb (-1 when there is no thumb).
struct DrawnBar {
    bool drawn = false;
    int above = -1;
    int below = -1;
};

DrawnBar BarOnScreen(HWND parent, HWND child)
{
    RECT rc{};
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rc), 2);
    rc.left = rc.right - GetSystemMetrics(SM_CXVSCROLL);
    WindowPixels shot = CaptureClient(parent, &rc);
    DrawnBar bar;
    const int arrow = GetSystemMetrics(SM_CYVSCROLL);
    int first = -1, last = -1;
    for (int y = 0; y < shot.height; ++y) {
        // The middle column: the thumb's face, clear of its edges.
        if (shot.pixels[y * shot.width + shot.width / 2] == 0xFFFFFF) continue;
        bar.drawn = true;
        if (y < arrow || y >= shot.height - arrow) continue;
        if (first < 0) first = y;
        last = y;
    }
    if (first >= 0) {
        bar.above = first - arrow;
        bar.below = shot.height - arrow - 1 - last;
    }
    return bar;
}

bool AtTheEnd(HWND edit)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(edit, SB_VERT, &info)) return false;
    return info.nPos + static_cast<int>(info.nPage) >= info.nMax;
}

bool Overflows(HWND edit)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    return GetScrollInfo(edit, SB_VERT, &info) && info.nPage > 0 && info.nMax - info.nMin + 1 > static_cast<int>(info.nPage);
}

long FirstVisibleLine(HWND edit)
{
    return static_cast<long>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
}

void MaximiseAndRestore(MainWndHarness& h)
{
    h.main->GetPaintManager()->SendNotify(h.Find(L"maxbtn"), L"click");
    Settle(200);
    ASSERT_TRUE(IsZoomed(h.window));
    h.main->GetPaintManager()->SendNotify(h.Find(L"restorebtn"), L"click");
    Settle(200);
    ASSERT_FALSE(IsZoomed(h.window));
}

} // namespace

// The output shows its scroll bar on screen as soon as the room's lines overflow it, and a restore
// from maximised keeps the user's place: the end when they read at the end, else the line they read.
TEST(MainWndLongText, TheOutputShowsItsScrollBarOnOverflowAndKeepsThePlaceOverAResize)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CRichEditUI* out = Output(h);
    ASSERT_NE(out, nullptr);
    HWND edit = out->GetNativeWindow();
    ASSERT_NE(edit, nullptr);
    Settle();
    UpdateWindow(h.window);
    EXPECT_FALSE(BarOnScreen(h.window, edit).drawn);

    // Lines come in until the text no longer fits: from then on the bar is on screen.
    ChatFont font;
    int lines = 0;
    for (; lines < 200 && !Overflows(edit); ++lines) {
        CString text;
        text.Format(L"line-%03d of the lesson", lines);
        ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, text), kBen));
        ASSERT_TRUE(h.WaitForOutput(text));
    }
    ASSERT_TRUE(Overflows(edit));
    Settle();
    UpdateWindow(h.window);
    EXPECT_TRUE(AtTheEnd(edit));
    DrawnBar bar = BarOnScreen(h.window, edit);
    EXPECT_TRUE(bar.drawn);
    EXPECT_GE(bar.above, 0);
    EXPECT_LE(bar.below, 2) << bar.above;

    // Maximised, the few lines fit and show from the top; restored, the reader is at the end again.
    MaximiseAndRestore(h);
    UpdateWindow(h.window);
    EXPECT_TRUE(AtTheEnd(edit));
    bar = BarOnScreen(h.window, edit);
    EXPECT_GE(bar.above, 0);
    EXPECT_LE(bar.below, 2) << bar.above;

    // With more lines the user goes back a little, as a click on the bar's arrow does, and reads there.
    for (int i = 0; i < 10; ++i) {
        CString text;
        text.Format(L"more-%02d of the lesson", i);
        ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, text), kBen));
    }
    ASSERT_TRUE(h.WaitForOutput(L"more-09 of"));
    Settle();
    for (int i = 0; i < 4; ++i) SendMessageW(edit, WM_VSCROLL, SB_LINEUP, 0);
    long reading = FirstVisibleLine(edit);
    ASSERT_GT(reading, 0);
    ASSERT_FALSE(AtTheEnd(edit));
    MaximiseAndRestore(h);
    EXPECT_EQ(FirstVisibleLine(edit), reading);
}

// Before the user clicks into it, the empty chat input shows only its page: no selected block.
TEST(MainWndLongText, TheChatInputShowsNoBlockBeforeItHasTheFocus)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CRichEditUI* input = h.Input();
    ASSERT_NE(input, nullptr);
    HWND edit = input->GetNativeWindow();
    ASSERT_NE(edit, nullptr);
    ASSERT_NE(GetFocus(), edit);
    Settle();
    RedrawWindow(edit, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    WindowPixels shot = CaptureClient(edit);
    ASSERT_FALSE(shot.pixels.empty());
    const uint32_t page = shot.pixels.back();
    size_t other = 0;
    for (uint32_t pixel : shot.pixels)
        if (pixel != page) ++other;
    EXPECT_EQ(other, 0u);
}
