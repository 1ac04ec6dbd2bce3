#include "dialogs/ChatWnd.h"

#include "controls/ListupCombo.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "dialogs/ChatFontStore.h"
#include "dialogs/ChatText.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/ChatRichEdit.h"
#include "protocol/ProtocolMgr.h"
#include "protocol/RoomRecords.h"

#include <oleauto.h>

#include <ctime>
#include <memory>
#include <set>

const uint32_t CChatWnd::kFontColours[5] = {0xFFFF5522, 0xFFFFCC33, 0xFF33BB44, 0xFF0099FF, 0xFF000000};

namespace {
const UINT_PTR kGifTimer = 3;
const UINT kGifPeriodMs = 100;
const WPARAM kNoticeFaceCheck = 18;
const wchar_t kFemaleMark[] = L"\x2640";
const wchar_t kMaleMark[] = L"\x2642";
// The label of the system notices in the Chinese texts; the trimming cuts at it.
const wchar_t kSystemLabel[] = L"\x7CFB\x7EDF\x63D0\x793A";

CString NowText(const wchar_t* format)
{
    wchar_t text[64] = {};
    time_t now = time(nullptr);
    struct tm local;
    localtime_s(&local, &now);
    wcsftime(text, 64, format, &local);
    return text;
}

template <typename T>
T* Find(const CPaintManagerUI& pm, const wchar_t* name, const wchar_t* iface)
{
    CControlUI* control = pm.FindControl(name);
    return control ? static_cast<T*>(control->GetInterface(iface)) : nullptr;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param)
{
    // Vertical faces ("@...") are not for chat text.
    if (font->lfFaceName[0] != L'@') reinterpret_cast<std::set<std::wstring>*>(param)->insert(font->lfFaceName);
    return 1;
}
} // namespace

CControlUI* CChatWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"LVListupCombo") == 0) return new CLVListupComboUI;
    if (wcscmp(pstrClass, L"ShapeElement") == 0) return new CShapeElementUI;
    if (wcscmp(pstrClass, L"ChatRichEdit") == 0) return new CChatRichEditUI;
    return WindowImplBase::CreateControl(pstrClass);
}

void CChatWnd::InitWindow()
{
    if (!LoadStoredChatFont(m_font)) LOG_INFO(L"chat window: no stored chat font, the default is used");
    FillFontBar();
    m_input = Find<CChatRichEditUI>(m_PaintManager, L"InputEdit", L"ChatRichEdit");
    m_output = Find<CChatRichEditUI>(m_PaintManager, L"OutputEdit", L"ChatRichEdit");
    if (m_input) m_input->SetReadOnly(false);
    Roster();

    auto picker = std::make_unique<CEmotionWnd>(m_hWnd);
    if (picker->Create(m_hWnd, L"EmotionWnd", 0x96C80000, WS_EX_TOOLWINDOW, 0, 0, 0, 0)) {
        picker->ShowWindow(false, false);
        m_picker = picker.release(); // the picker window is owned by this one and goes with it
    } else {
        LOG_ERROR(L"chat window: the emotion picker could not be made");
    }
    ApplyFont();
}

CStudentList* CChatWnd::Roster()
{
    if (!m_roster) m_roster = static_cast<CStudentList*>(SessionContext::Instance()->rosterControl);
    return m_roster;
}

void CChatWnd::FillFontBar()
{
    if (auto* faces = Find<CComboUI>(m_PaintManager, L"FontType", L"Combo")) {
        std::set<std::wstring> names;
        LOGFONTW query{};
        query.lfCharSet = DEFAULT_CHARSET;
        HDC dc = GetDC(nullptr);
        EnumFontFamiliesExW(dc, &query, CollectFace, reinterpret_cast<LPARAM>(&names), 0);
        ReleaseDC(nullptr, dc);
        int select = -1;
        for (const std::wstring& name : names) {
            auto* item = new CListLabelElementUI;
            item->SetText(name.c_str());
            faces->Add(item);
            if (m_font.family.CompareNoCase(name.c_str()) == 0) select = faces->GetCount() - 1;
        }
        faces->SelectItem(select);
    }
    if (auto* sizes = Find<CComboUI>(m_PaintManager, L"FontSize", L"Combo")) sizes->SelectItem(m_font.size - 9);
    if (auto* bold = Find<CCheckBoxUI>(m_PaintManager, L"BoldCheck", L"CheckBox")) bold->Selected(m_font.bold != 0, false);
    if (auto* italic = Find<CCheckBoxUI>(m_PaintManager, L"ItaliCheck", L"CheckBox")) italic->Selected(m_font.italic != 0, false);
    if (auto* under = Find<CCheckBoxUI>(m_PaintManager, L"UnderLineCheck", L"CheckBox")) under->Selected(m_font.underline != 0, false);
    if (auto* colours = Find<CComboUI>(m_PaintManager, L"FontColor", L"Combo")) {
        int select = -1;
        for (int i = 0; i < 5; ++i) if (kFontColours[i] == m_font.colour) select = i;
        colours->SelectItem(select);
    }
}

void CChatWnd::ApplyFont()
{
    if (!m_input || !m_input->GetNativeWindow()) return;
    CHARFORMAT2W format = MakeCharFormat(m_font.family, m_font.size * 15, m_font.colour, m_font.bold != 0,
                                         m_font.italic != 0, m_font.underline != 0);
    m_input->SetSelAll();
    m_input->SetWordCharFormat(format);
    m_input->SetDefaultCharFormat(format);
    m_input->Repaint();
    ::SetFocus(m_input->GetNativeWindow());
}

void CChatWnd::SetFaceCheck(bool checked)
{
    if (auto* face = Find<CCheckBoxUI>(m_PaintManager, L"FaceCheck", L"CheckBox")) face->Selected(checked, false);
}

void CChatWnd::OpenPicker()
{
    CControlUI* face = m_PaintManager.FindControl(L"FaceCheck");
    if (!m_picker || !face) return;
    RECT picker;
    GetWindowRect(m_picker->GetHWND(), &picker);
    int width = picker.right - picker.left, height = picker.bottom - picker.top;
    RECT button = face->GetPos();
    POINT top{(button.left + button.right) / 2, button.top};
    ClientToScreen(m_hWnd, &top);
    // The picker's bottom edge one pixel above the button, centred on it.
    SetWindowPos(m_picker->GetHWND(), HWND_TOP, top.x - width / 2, top.y - 1 - height, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    m_picker->ShowWindow(true, true);
}

void CChatWnd::InsertChosenEmotion()
{
    SetFaceCheck(false);
    if (!m_input || !m_input->IsEnabled()) return;
    ::SetFocus(m_input->GetNativeWindow());
    if (!m_picker) return;
    CString path = m_picker->GetSelectedImagePath().GetString();
    if (path.IsEmpty()) return;
    // The image goes back as its token when the message is sent.
    if (!m_input->InsertGif(path)) {
        LOG_ERROR(L"chat window: the emotion %s cannot be inserted", path.GetString());
        return;
    }
    SetTimer(m_hWnd, kGifTimer, kGifPeriodMs, nullptr);
}

void CChatWnd::SendChatText()
{
    CStudentList* roster = Roster();
    if (!roster || !m_input) return;
    CString text = m_input->GetData();
    text.Trim();
    if (text.IsEmpty()) {
        ShowSystemMessage(LangText(22, L"Cann't send empty message, please re-input"));
        return;
    }
    if (text.GetLength() > kChatTextLimit) {
        ShowSystemMessage(LangText(23, L"The message is too long to send"));
        return;
    }
    SessionContext* session = SessionContext::Instance();
    UserRecord self;
    if (!roster->FindUser(session->userId, self)) {
        CString refusal;
        if (HasLanguageTable())
            refusal.Format(L"%s. userid = %d, username is : %s", LangText(24, L"").GetString(), session->userId,
                           session->userName.GetString());
        else
            refusal.Format(L"The sender doesn't  exist. userid = %d, username is : %s", session->userId,
                           session->userName.GetString());
        ShowSystemMessage(refusal);
        return;
    }
    CountChatMessage();
    // The own message is written now when nothing is waiting, else after the lines ahead of it.
    ChatOutputLine own;
    own.time = NowText(L"%Y-%m-%d %H:%M:%S");
    own.sender = self;
    own.font = m_font;
    own.text = text;
    m_pending.Push(std::move(own));
    ShowPending();
    CCmdProtocol* channel = m_channel ? m_channel : CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendChatMessage(m_font, text)) LOG_ERROR(L"chat window: the message could not be sent");
    m_input->Clear();
    ApplyFont();
}

void CChatWnd::CountChatMessage()
{
    if (m_chatCount + m_systemCount >= kClearThreshold) {
        if (m_output) m_output = m_output->Emptied();
        m_pending.Clear();
        m_chatCount = m_systemCount = 0;
        KillTimer(m_hWnd, kGifTimer);
    } else {
        ++m_chatCount;
    }
}

void CChatWnd::TrimOutput(int32_t senderSex)
{
    if (!m_output) return;
    long limit = m_output->GetLimitText();
    while (m_output->GetTextLength() > limit / 2) {
        CString head = CString(m_output->GetText()).Left(limit / 4);
        int mark = -1;
        if (senderSex == 2) mark = head.str().rfind(kFemaleMark) == std::wstring::npos ? -1 : static_cast<int>(head.str().rfind(kFemaleMark));
        else if (senderSex == 1) mark = head.str().rfind(kMaleMark) == std::wstring::npos ? -1 : static_cast<int>(head.str().rfind(kMaleMark));
        size_t system = head.str().rfind(kSystemLabel);
        int cut = std::max(mark, system == std::wstring::npos ? -1 : static_cast<int>(system));
        if (cut < 0) cut = m_output->GetTextLength();
        // A mark at the very start would cut nothing and never end the loop: cut the quarter then.
        if (cut == 0) cut = head.GetLength();
        if (cut <= 0) break;
        m_output->DeleteRange(0, cut);
    }
}

void CChatWnd::ShowChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text)
{
    WriteChatMessage(sender, font, text, NowText(L"%Y-%m-%d %H:%M:%S"));
}

void CChatWnd::WriteChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text,
                                const CString& timeText)
{
    if (!m_output) return;
    SessionContext* session = SessionContext::Instance();
    if (session->options.contentOption) return;
    TrimOutput(sender.sex);

    m_output->MoveToEnd();
    PARAFORMAT2 headerPara = MakeParaFormat(10, 265);
    m_output->SetParaFormat(headerPara);
    bool female = sender.sex == 2;
    CHARFORMAT2W mark = MakeCharFormat(L"Arial Unicode MS", 220, female ? 0xFFF769C6 : 0xFF3FBDF1, true, false, false);
    m_output->SetSelectionCharFormat(mark);
    m_output->Append(female ? kFemaleMark : kMaleMark);
    bool own = sender.nickName.CompareNoCase(session->screenName) == 0;
    CHARFORMAT2W header = MakeCharFormat(L"Tahoma", 170, own ? 0xFF585858 : 0xFF0099FF, false, false, false);
    m_output->SetSelectionCharFormat(header);
    CString line;
    line.Format(L" %s  %s  ", sender.nickName.GetString(), (ClockOfTimeText(timeText) + L"\n").GetString());
    m_output->Append(line);
    PARAFORMAT2 separatorPara = MakeParaFormat(150, 200);
    m_output->SetParaFormat(separatorPara);
    CHARFORMAT2W separator = MakeCharFormat(L"Tahoma", 170, 0xFFC2C1C1, false, false, false);
    m_output->SetSelectionCharFormat(separator);
    m_output->Append(L"...................................................\n");

    CHARFORMAT2W body = MakeCharFormat(font.family, font.size * 15, font.colour, font.bold != 0, font.italic != 0,
                                       font.underline != 0);
    m_output->SetSelectionCharFormat(body);
    bool sawToken = false;
    EmotionLookup lookup;
    if (m_picker) {
        CEmotionWnd* picker = m_picker;
        lookup = [picker](const CString& key) { return CString(picker->GetEmotionImagePath(key)); };
    }
    bool inputEnabled = m_input && m_input->IsEnabled();
    CChatRichEditUI* output = m_output;
    ChatBodyWriter writer([output](const CString& part) { output->Append(part); });
    for (const ChatTextPiece& piece : SplitChatText(text, lookup)) {
        sawToken = sawToken || piece.hasToken;
        PARAFORMAT2 para = MakeParaFormat(380, sawToken ? 520 : font.size * 22);
        m_output->SetParaFormat(para);
        writer.Add(piece.plain);
        if (!piece.imagePath.IsEmpty() && inputEnabled) {
            writer.Flush();
            if (m_output->AppendGif(piece.imagePath)) {
                SetTimer(m_hWnd, kGifTimer, kGifPeriodMs, nullptr);
            } else {
                // An image that cannot be shown keeps its place as its token.
                CString name = piece.imagePath.Mid(piece.imagePath.ReverseFind(L'\\') + 1);
                int dot = name.Find(L'.');
                writer.Add(L"[\\" + (dot >= 0 ? name.Left(dot) : name) + L"]");
            }
        }
    }
    writer.Flush();
    m_output->Append(L"\n");
    m_output->EndDown();
}

void CChatWnd::ShowSystemMessage(const CString& text)
{
    if (text.IsEmpty()) return;
    ++m_systemCount;
    const OptionSettings& options = SessionContext::Instance()->options;
    if (options.tipOption || options.contentOption || !m_output) return;
    CString clock = NowText(L"%H:%M:%S");
    CString line;
    if (HasLanguageTable())
        line.Format(L"%s  %s\xFF1A\n   %s\n", LangText(30, L"").GetString(), clock.GetString(), text.GetString());
    else
        line.Format(L"System Msg  %s\xFF1A\n   %s\n", clock.GetString(), text.GetString());
    if (m_pending.Empty()) {
        WriteSystemLine(line);
        return;
    }
    // Behind a burst still being written: in its place, after it.
    ChatOutputLine notice;
    notice.system = true;
    notice.text = line;
    m_pending.Push(std::move(notice));
    SchedulePending();
}

void CChatWnd::WriteSystemLine(const CString& line)
{
    m_output->MoveToEnd();
    CHARFORMAT2W format = MakeCharFormat(L"Microsoft YaHei", 180, 0xFF39992C, true, false, false);
    m_output->SetSelectionCharFormat(format);
    PARAFORMAT2 para = MakeParaFormat(10, 300);
    m_output->SetParaFormat(para);
    m_output->Append(line);
    m_output->EndDown();
}

void CChatWnd::ShowPending()
{
    WritePendingSlice();
    SchedulePending();
}

void CChatWnd::SchedulePending()
{
    // Without a posted turn the rest is written at once.
    while (!m_pending.Schedule(m_hWnd) && m_output) WritePendingSlice();
}

void CChatWnd::WritePendingSlice()
{
    if (m_pending.Empty() || !m_output) return;
    m_pending.Take([this](const ChatOutputLine& line) {
        if (line.system) WriteSystemLine(line.text);
        else WriteChatMessage(line.sender, line.font, line.text, line.time);
    });
}

void CChatWnd::OnChatMessage(ChatMessageRecord* posted)
{
    std::unique_ptr<ChatMessageRecord> record(posted);
    CStudentList* roster = Roster();
    if (!record || !roster) return;
    UserRecord sender;
    if (!roster->FindUser(record->senderId, sender)) {
        uint8_t role = SessionContext::Instance()->role;
        if (role != eRole_Teacher && role != eRole_Host) return;
        sender = UserRecord();
        sender.userId = record->senderId;
        sender.userName.Format(L"%ld", static_cast<long>(record->senderId));
        sender.nickName = sender.userName;
    }
    if (record->kind != 1) return;
    CountChatMessage();
    ChatOutputLine line;
    line.time = NowText(L"%Y-%m-%d %H:%M:%S");
    line.sender = sender;
    line.font = record->font;
    line.text = record->text;
    m_pending.Push(std::move(line));
    SchedulePending();
}

void CChatWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender) return WindowImplBase::Notify(msg);
    CDuiString name = msg.pSender->GetName();
    CDuiString cls = msg.pSender->GetClass();
    if (msg.sType == DUI_MSGTYPE_CLICK) {
        if (name == L"SendTextBtn") return SendChatText();
        return WindowImplBase::Notify(msg);
    }
    if (msg.sType.CompareNoCase(DUI_MSGTYPE_RETURN) == 0) {
        if (m_input && msg.pSender == m_input) SendChatText();
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && cls == L"CheckBoxUI") {
        bool checked = static_cast<COptionUI*>(msg.pSender)->IsSelected();
        if (name == L"FaceCheck") {
            if (checked) OpenPicker();
        } else if (name == L"FontCheck") {
            if (CControlUI* area = m_PaintManager.FindControl(L"FontSetArea")) area->SetVisible(checked);
        } else if (name == L"BoldCheck" || name == L"ItaliCheck" || name == L"UnderLineCheck") {
            uint8_t& flag = name == L"BoldCheck" ? m_font.bold : name == L"ItaliCheck" ? m_font.italic : m_font.underline;
            flag = checked ? 1 : 0;
            ApplyFont();
        }
        return;
    }
    if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
        auto* combo = static_cast<CComboUI*>(msg.pSender->GetInterface(L"Combo"));
        if (!combo) return;
        CControlUI* item = combo->GetItemAt(combo->GetCurSel());
        if (cls == L"ComboUI" && item) {
            if (name == L"FontType") m_font.family = item->GetText();
            else if (name == L"FontSize") m_font.size = _wtoi(item->GetText());
            else return;
            ApplyFont();
        } else if (cls == L"LVListupComboUI" && name == L"FontColor") {
            int index = combo->GetCurSel();
            if (index < 0 || index > 4) return;
            m_font.colour = kFontColours[index];
            ApplyFont();
        }
    }
}

LRESULT CChatWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    bHandled = TRUE;
    switch (uMsg) {
    case WM_USER_UI_NOTICE:
        if (wParam != kNoticeFaceCheck) break;
        SetFaceCheck(lParam != 0);
        return TRUE;
    case WM_USER_EMOTION_SELECTED:
        InsertChosenEmotion();
        return TRUE;
    case WM_USER_SYSTEM_TEXT: {
        BSTR posted = reinterpret_cast<BSTR>(lParam);
        CString text(posted ? posted : L"");
        SysFreeString(posted);
        ShowSystemMessage(text);
        return TRUE;
    }
    case WM_USER_CHAT_MESSAGE:
        OnChatMessage(reinterpret_cast<ChatMessageRecord*>(lParam));
        return TRUE;
    case kShowPendingMessage:
        m_pending.TurnArrived();
        ShowPending();
        return TRUE;
    case WM_SHOWWINDOW:
        // The counts stay; what was shown goes.
        if (m_input) {
            m_input->Clear();
            ApplyFont();
        }
        if (m_output) m_output = m_output->Emptied();
        m_pending.Clear();
        KillTimer(m_hWnd, kGifTimer);
        bHandled = FALSE;
        return 0;
    case WM_TIMER:
        if (wParam != kGifTimer) break;
        if (m_input) m_input->Repaint();
        if (m_output) m_output->Repaint();
        return 0;
    default:
        break;
    }
    bHandled = FALSE;
    return 0;
}

LRESULT CChatWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled)
{
    if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        // Escape does not close the pane.
        bHandled = true;
        return TRUE;
    }
    if (uMsg == WM_KEYDOWN && wParam == VK_RETURN && m_input && ::GetFocus() == m_input->GetNativeWindow() &&
        GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0) {
        m_PaintManager.SendNotify(m_input, DUI_MSGTYPE_RETURN);
        bHandled = true;
        return TRUE;
    }
    return WindowImplBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

LRESULT CChatWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // Alt+F4 would end the pane for the rest of the share: the share bar keeps only its handle and
    // cannot make another. The bar itself closes the pane with a plain WM_CLOSE.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

void CChatWnd::OnFinalMessage(HWND hWnd)
{
    // The owned picker window is already gone; its object goes with this one.
    delete m_picker;
    m_picker = nullptr;
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
