// The chat area of the main window: the own text sent as command 808, received messages and system
// lines written into the output, every shown message queued for the record database.
#include "classroom/MainWnd.h"

#include "classroom/LiveStateOps.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "database/ChatRecordsTask.h"
#include "database/SqliteMgr.h"
#include "dialogs/ChatText.h"
#include "dialogs/EmotionWnd.h"
#include "protocol/ProtocolMgr.h"

#include <oleauto.h>
#include <richedit.h>
#include <cwchar>
#include <ctime>
#include <new>

namespace {

const wchar_t kFemaleMark[] = L"\x2640"; // ♀
const wchar_t kMaleMark[] = L"\x2642";   // ♂
const wchar_t kSystemMark[] = L"\x7CFB\x7EDF\x63D0\x793A";

// A Windows colour value (0x00BBGGRR) from the chat font's ARGB.
COLORREF FromArgb(uint32_t argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

CHARFORMAT2W CharFormat(const wchar_t* face, bool bold, LONG twips, COLORREF colour)
{
    CHARFORMAT2W cf{};
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_SIZE | CFM_COLOR | CFM_FACE;
    cf.dwEffects = bold ? CFE_BOLD : 0;
    cf.yHeight = twips;
    cf.crTextColor = colour;
    wcsncpy(cf.szFaceName, face, LF_FACESIZE - 1);
    return cf;
}

CHARFORMAT2W FontFormat(const ChatFont& font)
{
    CHARFORMAT2W cf = CharFormat(font.family, font.bold != 0, font.size * 15, FromArgb(font.colour));
    if (font.italic) cf.dwEffects |= CFE_ITALIC;
    if (font.underline) cf.dwEffects |= CFE_UNDERLINE;
    return cf;
}

PARAFORMAT2 Paragraph(LONG startIndent, LONG spacing)
{
    PARAFORMAT2 pf{};
    pf.cbSize = sizeof pf;
    pf.dwMask = PFM_STARTINDENT | PFM_LINESPACING;
    pf.dxStartIndent = startIndent;
    pf.dyLineSpacing = spacing;
    pf.bLineSpacingRule = 4;
    return pf;
}

// Each write into the output, and its scroll to the end, would repaint the rich edit at once; a
// message or system line is written and scrolled whole, then repainted once.
class OutputRedrawLock {
public:
    explicit OutputRedrawLock(CRichEditUI* edit)
    {
        HWND window = edit ? edit->GetNativeWindow() : nullptr;
        // Turning the redraw back on shows the window: a hidden output is left alone.
        if (!window || !::IsWindowVisible(window)) return;
        m_window = window;
        ::SendMessageW(m_window, WM_SETREDRAW, FALSE, 0);
    }
    ~OutputRedrawLock()
    {
        if (!m_window) return;
        ::SendMessageW(m_window, WM_SETREDRAW, TRUE, 0);
        // The frame too: a scroll bar that appeared meanwhile is drawn there.
        ::RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
    OutputRedrawLock(const OutputRedrawLock&) = delete;
    OutputRedrawLock& operator=(const OutputRedrawLock&) = delete;

private:
    HWND m_window = nullptr;
};

CString FormatLocalTime(const wchar_t* format)
{
    time_t now = time(nullptr);
    struct tm local {};
    localtime_s(&local, &now);
    wchar_t buffer[64] = {};
    wcsftime(buffer, 64, format, &local);
    return buffer;
}

} // namespace

CString ChatTimeNow()
{
    return FormatLocalTime(L"%Y-%m-%d %H:%M:%S");
}

CString ChatClockText(const CString& storedTime)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (swscanf(storedTime, L"%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6) return CString();
    CString text;
    text.Format(L"%02d:%02d:%02d", h, mi, s);
    return text;
}

int CheckChatText(CString& text)
{
    text.Trim();
    if (text.IsEmpty()) return 1;
    if (text.GetLength() > kChatTextLimit) return 2;
    return 0;
}

void CMainWnd::AddSystemText(const CString& line)
{
    if (line.IsEmpty() || m_classOver || !m_outputEdit) return;
    ++m_systemCount;
    CString header = LangText(30, L"System Msg  %s");
    CString clock = FormatLocalTime(L"%H:%M:%S");
    CString head = header;
    if (!FillLanguageSlot(head, clock)) head = header + L"  " + clock;
    // The text as written, without the full-width colon some language files already end with.
    head.TrimRight(L":\xFF1A");
    CString text = head + L"\xFF1A\n   " + line + L"\n";
    if (m_pendingOutput.Empty()) {
        WriteSystemLine(text);
        return;
    }
    // Behind a burst of messages still being written: in its place, after them.
    ChatOutputLine pending;
    pending.system = true;
    pending.text = text;
    m_pendingOutput.Push(std::move(pending));
    SchedulePendingOutput();
}

void CMainWnd::WriteSystemLine(const CString& text)
{
    OutputRedrawLock redraw(m_outputEdit);
    m_outputEdit->SetSel(-1, -1);
    CHARFORMAT2W cf = CharFormat(L"Microsoft YaHei", true, 180, RGB(0x39, 0x99, 0x2C));
    m_outputEdit->SetSelectionCharFormat(cf);
    PARAFORMAT2 pf = Paragraph(10, 300);
    m_outputEdit->SetParaFormat(pf);
    int run = 0;
    m_outputEdit->ReplaceSel(WithSoftBreaks(text, run));
    m_outputEdit->EndDown();
}

void CMainWnd::ShowSystemText(const CString& text)
{
    PostSystemTextToShareBar(text);
    AddSystemText(text);
}

void CMainWnd::PostSystemTextToShareBar(const CString& text)
{
    SessionContext* session = SessionContext::Instance();
    if (text.IsEmpty() || m_classOver || !session || session->options.tipOption != 0) return;
    if (!(m_liveState.flags & eLive_ScreenShare) || !IsTeacherRole(session->role)) return;
    if (!m_shareScreen || !::IsWindow(m_shareScreen)) return;
    // The share bar frees the text.
    BSTR posted = ::SysAllocString(text);
    if (posted && !::PostMessageW(m_shareScreen, WM_USER_SYSTEM_TEXT, 0, reinterpret_cast<LPARAM>(posted)))
        ::SysFreeString(posted);
}

void CMainWnd::SendChatText()
{
    if (!m_roster || !m_inputEdit) return;
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    CString text = m_inputEdit->GetData();
    int check = CheckChatText(text);
    if (check == 1) {
        AddSystemText(LangText(22, L"Cann't send empty message, please re-input"));
        return;
    }
    if (check == 2) {
        AddSystemText(LangText(23, L"The message is too long to send"));
        return;
    }
    UserRecord self;
    if (!m_roster->FindUser(session->userId, self)) {
        CString line;
        if (HasLanguageTable())
            line.Format(L"%s. userid = %d, username is : %s", LangText(24, L"").GetString(),
                        static_cast<int>(session->userId), session->userName.GetString());
        else
            line.Format(L"The sender doesn't  exist. userid = %d, username is : %s", static_cast<int>(session->userId),
                        session->userName.GetString());
        AddSystemText(line);
        return;
    }
    CountMessageOrClear();
    ShowChatMessage(self, m_chatFont, text);
    // The own message is written now when nothing is waiting, else after the lines ahead of it.
    ShowPendingOutput();
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendChatMessage(m_chatFont, text)) LOG_ERROR(L"chat message not sent to the room");
    m_inputEdit->SetText(L"");
}

void CMainWnd::OnChatMessage(const ChatMessageRecord* record)
{
    if (!record || !m_roster) return;
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    bool teacher = session->role == eRole_Teacher || session->role == 128;
    if ((m_liveState.flags & 4) && teacher && record->kind == 1 && m_shareScreen && ::IsWindow(m_shareScreen)) {
        auto* copy = new (std::nothrow) ChatMessageRecord(*record);
        if (copy && !::PostMessageW(m_shareScreen, WM_USER_CHAT_MESSAGE, 0, reinterpret_cast<LPARAM>(copy)))
            delete copy;
    }
    UserRecord sender;
    if (!m_roster->FindUser(record->senderId, sender)) {
        if (!teacher) return;
        sender = UserRecord();
        sender.userId = record->senderId;
        sender.userName.Format(L"%ld", static_cast<long>(record->senderId));
        sender.nickName = sender.userName;
        sender.role = eRole_Teacher;
        sender.applyTime = GetTickCount();
    }
    if (record->kind != 1) return;
    CountMessageOrClear();
    ShowChatMessage(sender, record->font, record->text);
}

bool CMainWnd::CountMessageOrClear()
{
    if (m_chatCount + m_systemCount >= kChatOutputLimit) {
        ClearOutput();
        return true;
    }
    ++m_chatCount;
    return false;
}

void CMainWnd::ClearOutput()
{
    if (m_outputEdit) m_outputEdit->SetText(L"");
    m_pendingOutput.Clear();
    m_chatCount = 0;
    m_systemCount = 0;
    ::KillTimer(m_hWnd, eTimer_RepaintChat);
}

void CMainWnd::QueueChatRecord(const UserRecord& sender, const ChatFont& font, const CString& text, const CString& time)
{
    if (!m_chatTask) {
        m_chatTask.reset(new (std::nothrow) CChatRecordsTask(m_hWnd));
        if (!m_chatTask) return;
        if (!m_chatTask->Start()) LOG_ERROR(L"chat record writer not started");
    }
    ChatRecord record;
    record.sender = sender;
    record.font = font;
    record.msg = text;
    record.time = time;
    SessionContext* session = SessionContext::Instance();
    record.roomId = session ? static_cast<int32_t>(session->room.roomId) : 0;
    m_chatTask->AddRecord(std::move(record));
}

void CMainWnd::ShowChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text)
{
    CString time = ChatTimeNow();
    QueueChatRecord(sender, font, text, time);
    SessionContext* session = SessionContext::Instance();
    if (!session || session->options.contentOption != 0 || !m_outputEdit) return;
    ChatOutputLine pending;
    pending.sender = sender;
    pending.font = font;
    pending.text = text;
    pending.time = time;
    m_pendingOutput.Push(std::move(pending));
    SchedulePendingOutput();
}

void CMainWnd::SchedulePendingOutput()
{
    // Without a posted turn the rest is written at once.
    while (!m_pendingOutput.Schedule(m_hWnd) && m_outputEdit) WriteOutputSlice();
}

void CMainWnd::ShowPendingOutput()
{
    WriteOutputSlice();
    SchedulePendingOutput();
}

void CMainWnd::WriteOutputSlice()
{
    if (m_pendingOutput.Empty() || !m_outputEdit) return;
    OutputRedrawLock redraw(m_outputEdit);
    m_pendingOutput.Take([this](const ChatOutputLine& line) {
        if (line.system) {
            WriteSystemLine(line.text);
            return;
        }
        TrimOutput(line.sender);
        WriteMessageToOutput(line.sender, line.font, line.text, line.time);
    });
    m_outputEdit->EndDown();
}

void CMainWnd::TrimOutput(const UserRecord& sender)
{
    long limit = m_outputEdit->GetLimitText();
    bool wasReadOnly = m_outputEdit->IsReadOnly();
    m_outputEdit->SetReadOnly(false);
    const wchar_t* mark = sender.sex == 2 ? kFemaleMark : kMaleMark;
    while (m_outputEdit->GetTextLength() > limit / 2) {
        CString head = m_outputEdit->GetTextRange(0, limit / 3);
        int lastMark = -1, lastSystem = -1;
        for (int at = head.Find(mark); at >= 0; at = head.Find(mark, at + 1)) lastMark = at;
        for (int at = head.Find(kSystemMark); at >= 0; at = head.Find(kSystemMark, at + 1)) lastSystem = at;
        long end = lastMark > lastSystem ? lastMark : lastSystem;
        // Neither mark: everything goes. A mark only at the very start would delete nothing and repeat
        // forever: the head goes instead.
        if (end < 0) end = m_outputEdit->GetTextLength();
        else if (end == 0) end = head.GetLength();
        if (end <= 0) break;
        m_outputEdit->SetSel(0, end);
        m_outputEdit->ReplaceSel(L"");
    }
    m_outputEdit->SetReadOnly(wasReadOnly);
}

void CMainWnd::WriteMessageToOutput(const UserRecord& sender, const ChatFont& font, const CString& text,
                                    const CString& time)
{
    SessionContext* session = SessionContext::Instance();
    CRichEditUI* out = m_outputEdit;
    out->SetSel(-1, -1);
    PARAFORMAT2 pf = Paragraph(10, 265);
    out->SetParaFormat(pf);

    bool female = sender.sex == 2;
    CHARFORMAT2W cf = CharFormat(L"Arial Unicode MS", true, 180, female ? 0xC669F7 : 0xF1BD3F);
    out->SetSelectionCharFormat(cf);
    out->ReplaceSel(female ? kFemaleMark : kMaleMark);

    bool own = session && sender.nickName.CompareNoCase(session->screenName) == 0;
    cf = CharFormat(L"Tahoma", false, 180, own ? 0x585858 : 0xFF9900);
    out->SetSelectionCharFormat(cf);
    CString line;
    line.Format(L" %s  %s  \n", sender.nickName.GetString(), ChatClockText(time).GetString());
    out->ReplaceSel(line);

    pf = Paragraph(150, 200);
    out->SetParaFormat(pf);
    cf = CharFormat(L"Tahoma", false, 180, 0xC1C1C2);
    out->SetSelectionCharFormat(cf);
    out->ReplaceSel(L"...................................................\n");

    cf = FontFormat(font);
    out->SetSelectionCharFormat(cf);
    WriteBodyWithEmotions(text);
    out->ReplaceSel(L"\n");
}

void CMainWnd::WriteBodyWithEmotions(const CString& text)
{
    CRichEditUI* out = m_outputEdit;
    EmotionLookup lookup;
    if (m_emotionPicker) {
        HWND picker = m_emotionPicker->GetHWND();
        lookup = [picker](const CString& key) {
            CEmotionWnd* live = CEmotionWnd::FromWindow(picker);
            return live ? CString(live->GetEmotionImagePath(key)) : CString();
        };
    }
    ChatBodyWriter writer([out](const CString& part) { out->ReplaceSel(part); });
    for (const ChatTextPiece& piece : SplitChatText(text, lookup)) {
        writer.Add(piece.plain);
        if (piece.imagePath.IsEmpty()) continue;
        writer.Flush();
        // The rich edit takes an object only while writable.
        bool readOnly = out->IsReadOnly();
        if (readOnly) out->SetReadOnly(false);
        bool inserted = out->InsertGif(piece.imagePath);
        if (readOnly) out->SetReadOnly(true);
        out->SetSel(-1, -1);
        if (inserted) {
            // The output's images animate by the same repaint as the input's.
            ::SetTimer(m_hWnd, eTimer_RepaintChat, 100, nullptr);
        } else {
            // An image that cannot be shown keeps its place as its token.
            CString name = piece.imagePath.Mid(piece.imagePath.ReverseFind(L'\\') + 1);
            int dot = name.Find(L'.');
            writer.Add(L"[\\" + (dot >= 0 ? name.Left(dot) : name) + L"]");
        }
    }
    writer.Flush();
}

void CMainWnd::LoadChatFont()
{
    IDBMgr* db = CSqliteMgr::GetInstance();
    ChatFont font;
    if (db && db->GetFontInfo(font)) m_chatFont = font;
    m_fontLoaded = true;
}

const uint32_t kChatColours[] = {0xFFFF5522, 0xFFFFCC33, 0xFF33BB44, 0xFF0099FF, 0xFF000000};

namespace {

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param)
{
    auto* faces = reinterpret_cast<std::vector<CString>*>(param);
    for (const CString& face : *faces)
        if (face.CompareNoCase(font->lfFaceName) == 0) return 1;
    faces->push_back(font->lfFaceName);
    return 1;
}

} // namespace

std::vector<CString> ScreenFontFaces()
{
    std::vector<CString> faces;
    HDC screen = GetDC(nullptr);
    if (!screen) return faces;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    EnumFontFamiliesExW(screen, &wanted, CollectFace, reinterpret_cast<LPARAM>(&faces), 0);
    ReleaseDC(nullptr, screen);
    return faces;
}

void CMainWnd::FillFontControls()
{
    // The selections below report themselves; they must not be taken as the user's choice.
    m_fillingFont = true;
    auto* type = Find<CComboUI>(L"FontType");
    if (type && type->GetInterface(L"Combo")) {
        type->RemoveAll();
        int match = -1;
        for (const CString& face : ScreenFontFaces()) {
            auto* item = new CListLabelElementUI;
            item->SetText(face);
            if (!type->Add(item)) continue;
            if (match < 0 && face.CompareNoCase(m_chatFont.family) == 0) match = type->GetCount() - 1;
        }
        if (match >= 0) type->SelectItem(match);
    }
    auto* size = Find<CComboUI>(L"FontSize");
    if (size && size->GetInterface(L"Combo")) size->SelectItem(m_chatFont.size - 9);
    auto* colour = Find<CComboUI>(L"FontColor");
    if (colour && colour->GetInterface(L"Combo")) {
        for (int i = 0; i < 5; ++i)
            if (kChatColours[i] == m_chatFont.colour) colour->SelectItem(i);
    }
    auto setCheck = [this](const wchar_t* name, bool on) {
        auto* check = Find<COptionUI>(name);
        if (check && check->GetInterface(L"Option")) check->Selected(on);
    };
    setCheck(L"BoldCheck", m_chatFont.bold != 0);
    setCheck(L"ItaliCheck", m_chatFont.italic != 0);
    setCheck(L"UnderLineCheck", m_chatFont.underline != 0);
    m_fillingFont = false;
    ApplyChatFont();
}

void CMainWnd::ApplyChatFont()
{
    if (!m_inputEdit) return;
    CHARFORMAT2W cf = FontFormat(m_chatFont);
    m_inputEdit->SetSel(0, -1);
    m_inputEdit->SetSelectionCharFormat(cf);
    m_inputEdit->SetDefaultCharFormat(cf);
    // The edit shows its selection without the focus too: a text left selected would stand as a block.
    long end = m_inputEdit->GetTextLength();
    m_inputEdit->SetSel(end, end);
    m_inputEdit->Invalidate();
}
