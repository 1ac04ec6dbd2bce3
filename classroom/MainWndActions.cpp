// What the skin's controls report: clicks, checks, combo choices, the chat input's Return and the
// sliders; commands go to the room through the connection manager.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/PopupMenus.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/MessageBox.h"
#include "protocol/ProtocolMgr.h"

#include <memory>
#include <new>
#include <vector>

namespace {

const wchar_t kPanelListA[] = L"normalimage=\"file='Icons.png' source='39,510,49,538' dest='0,11,10,39'\" "
                              L"hotimage=\"file='Icons.png' source='99,510,109,538' dest='0,11,10,39'\" "
                              L"pushedimage=\"file='Icons.png' source='99,510,109,538' dest='0,11,10,39'\"";
const wchar_t kPanelListB[] = L"normalimage=\"file='Icons.png' source='9,510,19,538' dest='0,11,10,39'\" "
                              L"hotimage=\"file='Icons.png' source='68,510,78,538' dest='0,11,10,39'\" "
                              L"pushedimage=\"file='Icons.png' source='68,510,78,538' dest='0,11,10,39'\"";

bool Is(const TNotifyUI& msg, const wchar_t* name)
{
    return msg.pSender && msg.pSender->GetName() == name;
}

CTabLayoutUI* TabNamed(CPaintManagerUI& manager, const wchar_t* name)
{
    CControlUI* control = manager.FindControl(name);
    return control ? static_cast<CTabLayoutUI*>(control->GetInterface(L"TabLayout")) : nullptr;
}

CStudentList* SearchedList(CPaintManagerUI& manager)
{
    CControlUI* control = manager.FindControl(L"SearchedStudentList");
    return control ? static_cast<CStudentList*>(control->GetInterface(L"LVStudentList")) : nullptr;
}

} // namespace

void CMainWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender) return WindowImplBase::Notify(msg);
    const CDuiString& type = msg.sType;
    if (type == L"click") {
        OnClick(msg);
    } else if (type == L"selectchanged") {
        OnSelectChanged(msg);
    } else if (type == L"itemselect") {
        OnItemSelect(msg);
    } else if (type == L"return") {
        if (msg.pSender == m_inputEdit) SendChatText();
    } else if (type == L"valuechanged") {
        OnValueChanged(msg);
    } else if (type == L"poschange") {
        OnPositionChanged(msg.pSender);
    } else if (type == L"textchanged") {
        // Clearing the box by hand ends a search as the stop button does.
        if (Is(msg, L"SearchStudentInput") && msg.pSender->GetText().IsEmpty()) {
            CTabLayoutUI* tab = TabNamed(m_PaintManager, L"SearchStudentTab");
            if (tab && tab->GetCurSel() != 0) StopRosterSearch();
        }
    } else if (wcscmp(msg.pSender->GetClass(), L"CLVStudentListElement") == 0) {
        auto* row = static_cast<CStudentListElement*>(msg.pSender);
        if (type == L"ThrowOut" && row->GetUser()) {
            if (!CProtocolMgr::Instance()->SendKickUser(row->GetUser()->userId)) LOG_ERROR(L"kick command not sent");
        }
    } else {
        WindowImplBase::Notify(msg);
    }
}

void CMainWnd::OnClick(TNotifyUI& msg)
{
    SessionContext* session = SessionContext::Instance();
    if (Is(msg, L"LeftCtrlBtn")) {
        TogglePart(L"LeftPart", msg.pSender, true);
    } else if (Is(msg, L"RightCtrlBtn")) {
        TogglePart(L"RightPart", msg.pSender, false);
    } else if (Is(msg, L"SendTextBtn")) {
        SendChatText();
    } else if (Is(msg, L"OptionBtn")) {
        RECT rc = msg.pSender->GetPos();
        if (auto* menu = new (std::nothrow) COptionMenu) ShowBubbleMenu({rc.left + (rc.right - rc.left) / 2, rc.bottom}, menu, m_hWnd);
    } else if (Is(msg, L"SwitchNetworkBtn")) {
        OnSwitchNetwork();
    } else if (Is(msg, L"MicListBtn")) {
        OnMicListClick();
    } else if (Is(msg, L"ApplyMicBtn") || Is(msg, L"CancelSpeak")) {
        OnApplyMic();
    } else if (Is(msg, L"VoiceSpeak")) {
        if (session) SendSpeak(session->userId, 2);
    } else if (Is(msg, L"VideoSpeak") || Is(msg, L"StartVideoSpeak")) {
        if (session) SendSpeak(session->userId, 132);
    } else if (Is(msg, L"EndSpeak")) {
        EndCurrentTurn();
    } else if (Is(msg, L"SearchStudentBtn")) {
        SearchRoster();
    } else if (Is(msg, L"StopSearchStudentBtn")) {
        StopRosterSearch();
    } else if (Is(msg, L"ClassBeginBtn")) {
        OnClassBegin();
    } else if (Is(msg, L"ClassOverBtn")) {
        OnClassEnd();
    } else {
        WindowImplBase::Notify(msg);
    }
}

void CMainWnd::SearchRoster()
{
    CControlUI* input = m_PaintManager.FindControl(L"SearchStudentInput");
    if (!input || input->GetText().IsEmpty()) return;
    if (CTabLayoutUI* tab = TabNamed(m_PaintManager, L"SearchStudentTab")) tab->SelectItem(1);
    std::vector<UserRecord> matches;
    if (m_roster) m_roster->FindUsersByName(matches, input->GetText());
    CTabLayoutUI* lists = TabNamed(m_PaintManager, L"StudentListTab");
    if (matches.empty()) {
        if (lists) lists->SelectItem(2);
        return;
    }
    if (lists) lists->SelectItem(1);
    CStudentList* found = SearchedList(m_PaintManager);
    if (!found) return;
    found->RemoveAll();
    // Rows appended one by one keep the roster's order, teachers first; they are copies, so the
    // roster menu and its commands work on them as on the roster's own rows.
    for (const UserRecord& user : matches) {
        std::unique_ptr<CStudentListElement> row(new (std::nothrow) CStudentListElement(user));
        if (row && found->Add(row.get())) row.release();
    }
}

void CMainWnd::StopRosterSearch()
{
    // The page goes first: emptying the box reports "textchanged" back here.
    if (CTabLayoutUI* tab = TabNamed(m_PaintManager, L"SearchStudentTab")) tab->SelectItem(0);
    CControlUI* input = m_PaintManager.FindControl(L"SearchStudentInput");
    if (input && !input->GetText().IsEmpty()) input->SetText(L"");
    if (CStudentList* found = SearchedList(m_PaintManager)) found->RemoveAll();
    if (CTabLayoutUI* lists = TabNamed(m_PaintManager, L"StudentListTab")) lists->SelectItem(0);
}

void CMainWnd::TogglePart(const wchar_t* partName, CControlUI* button, bool hideGetsA)
{
    CControlUI* part = m_PaintManager.FindControl(partName);
    if (!part) return;
    bool show = !part->IsVisible();
    part->SetVisible(show);
    bool listA = show ? !hideGetsA : hideGetsA;
    button->ApplyAttributeList(listA ? kPanelListA : kPanelListB);
    ShowColumnCovers();
}

void CMainWnd::OnSelectChanged(TNotifyUI& msg)
{
    auto* option = static_cast<COptionUI*>(msg.pSender->GetInterface(L"Option"));
    if (!option || m_fillingFont) return;
    bool on = option->IsSelected();
    if (Is(msg, L"FaceCheck")) {
        if (on) OpenEmotionPicker(msg.pSender);
    } else if (Is(msg, L"FontCheck")) {
        SetVisible(L"FontSetArea", on);
    } else if (Is(msg, L"BoldCheck")) {
        m_chatFont.bold = on;
        ApplyChatFont();
    } else if (Is(msg, L"ItaliCheck")) {
        m_chatFont.italic = on;
        ApplyChatFont();
    } else if (Is(msg, L"UnderLineCheck")) {
        m_chatFont.underline = on;
        ApplyChatFont();
    } else if (Is(msg, L"RecordCheck") && wcscmp(msg.pSender->GetClass(), L"RecordCheckUI") == 0) {
        OnRecordSelectChanged(option);
    } else if (Is(msg, L"AllowDiscuss")) {
        SessionContext* session = SessionContext::Instance();
        if (!session) return;
        uint32_t flags = session->room.roomFlags;
        uint32_t wanted = on ? (flags | 2) : (flags & ~2u);
        if (wanted == flags) return; // a check set from the room's own flags is not echoed back
        session->room.roomFlags = wanted;
        SendRoomRecord();
    }
}

void CMainWnd::OpenEmotionPicker(CControlUI* button)
{
    if (!m_emotionPicker || !button) return;
    HWND picker = m_emotionPicker->GetHWND();
    RECT placed{};
    ::GetWindowRect(picker, &placed);
    int width = placed.right - placed.left, height = placed.bottom - placed.top;
    RECT rc = button->GetPos();
    POINT top{(rc.left + rc.right) / 2, rc.top};
    ::ClientToScreen(m_hWnd, &top);
    // The picker keeps its size: its bottom edge one pixel above the button, centred on it.
    ::SetWindowPos(picker, HWND_TOP, top.x - width / 2, top.y - 1 - height, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    m_emotionPicker->ShowWindow(true, true);
}

void CMainWnd::OnItemSelect(TNotifyUI& msg)
{
    auto* combo = static_cast<CComboUI*>(msg.pSender->GetInterface(L"Combo"));
    if (!combo || m_fillingFont) return;
    int item = combo->GetCurSel();
    if (Is(msg, L"ModelChoose")) {
        SessionContext* session = SessionContext::Instance();
        if (!session) return;
        uint32_t flags = session->room.roomFlags;
        uint32_t wanted = item == 0 ? (flags | 1) : (flags & ~1u);
        if (wanted == flags) return; // a choice set from the room's own flags is not echoed back
        session->room.roomFlags = wanted;
        RefreshMicQueue();
        SendRoomRecord();
    } else if (Is(msg, L"FontSize") && item >= 0) {
        CControlUI* chosen = combo->GetItemAt(item);
        if (chosen) m_chatFont.size = _wtoi(chosen->GetText());
        ApplyChatFont();
    } else if (Is(msg, L"FontColor") && wcscmp(msg.pSender->GetClass(), L"LVListupComboUI") == 0) {
        if (item < 0 || item >= 5) return;
        m_chatFont.colour = kChatColours[item];
        ApplyChatFont();
    } else if (Is(msg, L"FontType") && item >= 0) {
        CControlUI* chosen = combo->GetItemAt(item);
        if (chosen) m_chatFont.family = chosen->GetText();
        ApplyChatFont();
    }
}

void CMainWnd::OnValueChanged(TNotifyUI& msg)
{
    if (wcscmp(msg.pSender->GetClass(), L"ActSliderUI") != 0) return;
    auto* slider = static_cast<CSliderUI*>(msg.pSender);
    bool mic = Is(msg, L"MicActSlider");
    if (!mic && !Is(msg, L"SoundActSlider")) return;
    int value = slider->GetValue();
    if (mic) m_micVolume = value;
    else m_speakerVolume = value;
    if (m_castmix) m_castmix->SetVolume(value, mic ? 2 : 1);
}

void CMainWnd::SendRoomRecord()
{
    SessionContext* session = SessionContext::Instance();
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!session || !channel || !channel->SendClassState(session->room)) LOG_ERROR(L"room record not sent to the room");
}

void CMainWnd::SendSpeak(uint32_t userId, uint8_t state)
{
    if (!CProtocolMgr::Instance()->SendSpeakCommand(userId, state)) LOG_ERROR(L"speak command not sent");
}
