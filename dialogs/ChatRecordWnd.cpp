#include "dialogs/ChatRecordWnd.h"

#include "controls/PageCtrl.h"
#include "controls/SmallControls.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "database/SqliteMgr.h"
#include "dialogs/ChatText.h"
#include "dialogs/EmotionLookup.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ChatRichEdit.h"

#include <algorithm>
#include <cwctype>

namespace {
const UINT_PTR kGifTimer = 3;
const UINT kGifPeriodMs = 100;
const LONG kIndent = 165;

template <typename T>
T* Find(const CPaintManagerUI& pm, const wchar_t* name, const wchar_t* iface)
{
    CControlUI* control = pm.FindControl(name);
    return control ? static_cast<T*>(control->GetInterface(iface)) : nullptr;
}

CString Lower(CString text)
{
    std::wstring s = text.str();
    std::transform(s.begin(), s.end(), s.begin(), [](wchar_t c) { return static_cast<wchar_t>(towlower(c)); });
    return CString(s);
}

CString RoomToolTip(const CString& name, int32_t roomId)
{
    CString tip;
    tip.Format(L"%s(%ld)", name.GetString(), static_cast<long>(roomId));
    return tip;
}
} // namespace

CControlUI* CChatRecordWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"LVListEx") == 0) return new CListExUI;
    if (wcscmp(pstrClass, L"LVPageCtrl") == 0) return new CPageCtrlUI;
    if (wcscmp(pstrClass, L"LVHintEdit") == 0) return new CHintEditUI;
    if (wcscmp(pstrClass, L"ChatRichEdit") == 0) return new CChatRichEditUI;
    return WindowImplBase::CreateControl(pstrClass);
}

void CChatRecordWnd::InitWindow()
{
    CPaintManagerUI& pm = m_PaintManager;
    CControlUI* list = pm.FindControl(L"ClassNameLst");
    m_classList = list && CDuiString(list->GetClass()) == L"ListExUI" ? static_cast<CListExUI*>(list) : nullptr;
    m_mainTab = Find<CTabLayoutUI>(pm, L"MainAreaTab", L"TabLayout");
    m_curOption = Find<COptionUI>(pm, L"CurClassOpt", L"Option");
    m_hisOption = Find<COptionUI>(pm, L"HisClassOpt", L"Option");
    m_headerTab = Find<CTabLayoutUI>(pm, L"SelClassHeaderTab", L"TabLayout");
    m_centerTab = Find<CTabLayoutUI>(pm, L"HisCenterAreaTab", L"TabLayout");
    m_curDisplay = Find<CChatRichEditUI>(pm, L"CurRecordDisplayREdt", L"ChatRichEdit");
    m_selDisplay = Find<CChatRichEditUI>(pm, L"SelRecordDisplayREdt", L"ChatRichEdit");
    if (!m_classList || !m_mainTab || !m_curOption || !m_hisOption || !m_headerTab || !m_centerTab || !m_curDisplay ||
        !m_selDisplay) {
        LOG_ERROR(L"chat record window: the skin lacks one of its controls");
        return;
    }
    m_mainTab->SelectItem(0);

    const RoomInfoRecord& room = SessionContext::Instance()->room;
    const int32_t current = static_cast<int32_t>(room.roomId);
    IDBMgr* db = CSqliteMgr::GetInstance();
    if (db->GetAllRoomNames(m_rooms)) {
        for (auto it = m_rooms.begin(); it != m_rooms.end();) {
            if (it->first == current || db->GetMsgCount(it->first) <= 0) it = m_rooms.erase(it);
            else ++it;
        }
    }
    FillList(CurrentList(), m_rooms);

    SetUpPaging(current);
    if (CControlUI* name = pm.FindControl(L"CurClassNameLab")) {
        name->SetToolTip(RoomToolTip(room.roomName, current));
        name->SetText(room.roomName);
    }
    if (CControlUI* date = pm.FindControl(L"CurClassDateLab")) date->SetText(DateOfStartTime(room.startTime));
    // The current class's first page is shown at once.
    if (CPageCtrlUI* pager = CurrentPager()) {
        if (pager->IsVisible()) ShowPage(current, pager->GetCurrentPage());
    }
}

bool CChatRecordWnd::IsSearching() const
{
    auto* tab = Find<CTabLayoutUI>(m_PaintManager, L"SearchClassTab", L"TabLayout");
    return tab && tab->GetCurSel() > 0;
}

CListUI* CChatRecordWnd::ListOf(bool searching) const
{
    if (searching) return Find<CListUI>(m_PaintManager, L"SearchedClassNameLst", L"List");
    return m_classList;
}

CListUI* CChatRecordWnd::CurrentList() const { return ListOf(IsSearching()); }

CChatRichEditUI* CChatRecordWnd::HistoryDisplayOf(bool searching) const
{
    if (searching) return Find<CChatRichEditUI>(m_PaintManager, L"SearchedSelRecordDisplayREdt", L"ChatRichEdit");
    return m_selDisplay;
}

CChatRichEditUI* CChatRecordWnd::CurrentDisplay() const
{
    if (m_curOption && m_curOption->IsSelected()) return m_curDisplay;
    if (m_hisOption && m_hisOption->IsSelected()) return HistoryDisplayOf(IsSearching());
    return nullptr;
}

static CPageCtrlUI* PagerNamed(const CPaintManagerUI& pm, const wchar_t* name)
{
    CControlUI* control = pm.FindControl(name);
    // The pager answers no interface name of its own; the tag made it.
    return control ? static_cast<CPageCtrlUI*>(control) : nullptr;
}

CPageCtrlUI* CChatRecordWnd::HistoryPagerOf(bool searching) const
{
    return PagerNamed(m_PaintManager, searching ? L"SearchedSelRecordPgCtrl" : L"SelRecordPgCtrl");
}

CPageCtrlUI* CChatRecordWnd::CurrentPager() const
{
    if (m_curOption && m_curOption->IsSelected()) return PagerNamed(m_PaintManager, L"CurRecordPgCtrl");
    if (m_hisOption && m_hisOption->IsSelected()) return HistoryPagerOf(IsSearching());
    return nullptr;
}

CControlUI* CChatRecordWnd::NameLabelOf(bool searching) const
{
    return m_PaintManager.FindControl(searching ? L"SearchedSelClassNameLab" : L"SelClassNameLab");
}

CControlUI* CChatRecordWnd::CurrentNameLabel() const { return NameLabelOf(IsSearching()); }

CControlUI* CChatRecordWnd::DateLabelOf(bool searching) const
{
    return m_PaintManager.FindControl(searching ? L"SearchedSelClassDateLab" : L"SelClassDateLab");
}

CControlUI* CChatRecordWnd::CurrentDateLabel() const { return DateLabelOf(IsSearching()); }

int32_t CChatRecordWnd::SelectedRoom() const
{
    if (m_curOption && m_curOption->IsSelected()) return static_cast<int32_t>(SessionContext::Instance()->room.roomId);
    if (!m_hisOption || !m_hisOption->IsSelected()) return 0;
    CListUI* list = CurrentList();
    CControlUI* item = list ? list->GetItemAt(list->GetCurSel()) : nullptr;
    if (!item) return 0;
    // Each item carries its room: after a deletion the lists' positions no longer match the maps'.
    const int32_t roomId = static_cast<int32_t>(item->GetTag());
    const std::map<int32_t, CString>& rooms = IsSearching() ? m_searched : m_rooms;
    return rooms.count(roomId) ? roomId : 0;
}

void CChatRecordWnd::FillList(CListUI* list, const std::map<int32_t, CString>& rooms)
{
    if (!list) return;
    list->RemoveAll();
    for (const auto& room : rooms) {
        if (room.first == 0 || room.second.IsEmpty()) break;
        auto* item = new CListElementExUI;
        item->SetText(room.second);
        item->SetToolTip(RoomToolTip(room.second, room.first));
        item->SetTag(static_cast<UINT_PTR>(room.first));
        list->Add(item);
    }
}

void CChatRecordWnd::SetUpPaging(int32_t roomId)
{
    if (roomId == 0) return;
    CPageCtrlUI* pager = CurrentPager();
    if (!pager) return;
    int32_t count = CSqliteMgr::GetInstance()->GetMsgCount(roomId);
    if (count > 0) {
        pager->SetPageCount((count + kPageSize - 1) / kPageSize);
        pager->SetVisible(true);
    } else {
        pager->SetVisible(false);
    }
}

void CChatRecordWnd::ShowPage(int32_t roomId, int page)
{
    CPageCtrlUI* pager = CurrentPager();
    CChatRichEditUI* display = CurrentDisplay();
    if (roomId == 0 || page <= 0 || !pager || page > pager->GetPageCount() || !display) return;
    std::vector<MsgInfoRecord> records;
    if (!CSqliteMgr::GetInstance()->QueryMsgInfo(roomId, kPageSize * (page - 1), kPageSize * page - 1, records)) return;
    bool current = display == m_curDisplay;
    display = EmptyDisplay(display);
    KillTimer(m_hWnd, kGifTimer);
    for (const MsgInfoRecord& record : records) DrawRecord(display, record, current);
    // A page is read from its first message.
    display->HomeUp();
}

void CChatRecordWnd::DrawRecord(CChatRichEditUI* display, const MsgInfoRecord& record, bool currentClassDisplay)
{
    if (display->GetTextLength() >= display->GetLimitText()) return;
    display->MoveToEnd();
    CHARFORMAT2W header = MakeCharFormat(L"Tahoma", 170, 0xFF464646, false, false, false);
    display->SetSelectionCharFormat(header);
    PARAFORMAT2 headerPara = MakeParaFormat(kIndent, 265);
    display->SetParaFormat(headerPara);
    CString line;
    line.Format(L"%s  %s", record.sender.nickName.GetString(), ClockOfTimeText(record.time).GetString());
    display->Append(line);
    display->Append(L"\n");

    const ChatFont& font = record.font;
    CHARFORMAT2W body = MakeCharFormat(font.family, font.size * 15, font.colour, font.bold != 0, font.italic != 0,
                                       font.underline != 0);
    display->SetSelectionCharFormat(body);
    bool hadImage = false;
    // Old stored rows may be far longer than a client now sends: written with soft breaks too.
    ChatBodyWriter writer([display](const CString& part) { display->Append(part); });
    for (const ChatTextPiece& piece : SplitChatText(record.msg, FindEmotionLookup())) {
        bool image = !piece.imagePath.IsEmpty();
        hadImage = hadImage || image;
        LONG spacing = font.size * 15 + 135;
        if (hadImage) spacing = std::max<LONG>(spacing, 520);
        PARAFORMAT2 para = MakeParaFormat(kIndent, spacing);
        display->SetParaFormat(para);
        writer.Add(piece.plain);
        if (image && display->IsEnabled()) {
            writer.Flush();
            if (display->AppendGif(piece.imagePath)) {
                SetTimer(m_hWnd, kGifTimer, kGifPeriodMs, nullptr);
            } else {
                // An image that cannot be shown keeps its place as its token.
                writer.Add(L"[" + piece.imagePath.Mid(piece.imagePath.ReverseFind(L'\\')) + L"]");
            }
        }
    }
    writer.Flush();

    CHARFORMAT2W separator = MakeCharFormat(L"Tahoma", 170, 0xFF000000, false, false, false);
    display->SetSelectionCharFormat(separator);
    display->Append(L"\n" + CString(L'.', currentClassDisplay ? 165 : 113) + L"\n");
}

CChatRichEditUI* CChatRecordWnd::EmptyDisplay(CChatRichEditUI* display)
{
    CChatRichEditUI* fresh = display->Emptied();
    if (display == m_curDisplay) m_curDisplay = fresh;
    if (display == m_selDisplay) m_selDisplay = fresh;
    return fresh;
}

void CChatRecordWnd::ClearSelectionDisplay()
{
    if (!m_mainTab || m_mainTab->GetCurSel() != 1) return;
    ClearHistorySide(IsSearching());
}

void CChatRecordWnd::ClearHistorySide(bool searching)
{
    if (CControlUI* name = NameLabelOf(searching)) {
        name->SetText(L"");
        name->SetToolTip(L"");
    }
    if (CControlUI* date = DateLabelOf(searching)) date->SetText(L"");
    if (CControlUI* remove = m_PaintManager.FindControl(L"DelRecordBtn")) remove->SetVisible(false);
    if (CChatRichEditUI* display = HistoryDisplayOf(searching)) EmptyDisplay(display);
    if (CPageCtrlUI* pager = HistoryPagerOf(searching)) pager->SetVisible(false);
    m_shownRoom[searching ? 1 : 0] = 0;
}

void CChatRecordWnd::RemoveRoomItems(CListUI* list, int32_t roomId)
{
    if (!list) return;
    for (int i = list->GetCount() - 1; i >= 0; --i) {
        CControlUI* item = list->GetItemAt(i);
        if (item && static_cast<int32_t>(item->GetTag()) == roomId) list->RemoveAt(i);
    }
}

void CChatRecordWnd::OnItemSelect()
{
    int32_t roomId = SelectedRoom();
    m_shownRoom[IsSearching() ? 1 : 0] = roomId;
    SetUpPaging(roomId);
    if (CPageCtrlUI* pager = CurrentPager()) ShowPage(roomId, pager->GetCurrentPage());
    CListUI* list = CurrentList();
    CControlUI* item = list ? list->GetItemAt(list->GetCurSel()) : nullptr;
    if (item) {
        if (CControlUI* name = CurrentNameLabel()) {
            name->SetText(item->GetText());
            name->SetToolTip(item->GetToolTip());
        }
    }
    RoomInfoRecord info;
    if (roomId != 0 && CSqliteMgr::GetInstance()->QueryRoomInfo(roomId, info)) {
        if (CControlUI* date = CurrentDateLabel()) date->SetText(DateOfStartTime(info.startTime));
    }
    if (CControlUI* remove = m_PaintManager.FindControl(L"DelRecordBtn")) remove->SetVisible(true);
}

void CChatRecordWnd::Search()
{
    CControlUI* input = m_PaintManager.FindControl(L"SearchClassInput");
    if (!input) return;
    CString key = input->GetText();
    key.Trim();
    if (key.IsEmpty()) return;
    for (const wchar_t* name : {L"SearchClassTab", L"SelClassHeaderTab", L"HisCenterAreaTab"}) {
        if (auto* tab = Find<CTabLayoutUI>(m_PaintManager, name, L"TabLayout")) tab->SelectItem(1);
    }
    m_hisOption->Selected(true);
    ClearSelectionDisplay();
    CString lowered = Lower(key);
    // Each search lists its own matches, not those of the searches before it.
    m_searched.clear();
    for (const auto& room : m_rooms) {
        if (Lower(room.second).Find(lowered) >= 0) m_searched[room.first] = room.second;
    }
    // The list follows the map even when it is hidden behind the "nothing found" page.
    FillList(ListOf(true), m_searched);
    if (m_searched.empty()) {
        if (auto* tab = Find<CTabLayoutUI>(m_PaintManager, L"SearchedClassListTab", L"TabLayout")) tab->SelectItem(1);
        ClearSelectionDisplay();
    } else {
        if (auto* tab = Find<CTabLayoutUI>(m_PaintManager, L"SearchedClassListTab", L"TabLayout")) tab->SelectItem(0);
    }
}

void CChatRecordWnd::StopSearching()
{
    for (const wchar_t* name : {L"SelClassHeaderTab", L"HisCenterAreaTab", L"ClassListTab", L"SearchClassTab"}) {
        if (auto* tab = Find<CTabLayoutUI>(m_PaintManager, name, L"TabLayout")) tab->SelectItem(0);
    }
    if (CControlUI* input = m_PaintManager.FindControl(L"SearchClassInput")) input->SetText(L"");
}

void CChatRecordWnd::DeleteSelectedRoom()
{
    int32_t roomId = SelectedRoom();
    if (roomId == 0) return;
    int answer = ShowMessageBox(m_hWnd, LangText(56, L""), LangText(39, L""), 0x71);
    if (answer != IDOK) return;
    if (!CSqliteMgr::GetInstance()->DeleteMsgInfoPage(roomId, 0, -1)) {
        LOG_ERROR(L"chat record window: the records of room %ld could not be deleted", static_cast<long>(roomId));
        return;
    }
    m_rooms.erase(roomId);
    m_searched.erase(roomId);
    // Both lists lose the room, and neither side of the history goes on showing it.
    RemoveRoomItems(ListOf(false), roomId);
    RemoveRoomItems(ListOf(true), roomId);
    for (int side = 0; side < 2; ++side)
        if (m_shownRoom[side] == roomId) ClearHistorySide(side == 1);
    if (IsSearching() && m_searched.empty()) {
        if (auto* tab = Find<CTabLayoutUI>(m_PaintManager, L"SearchedClassListTab", L"TabLayout")) tab->SelectItem(1);
    }
}

void CChatRecordWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender || !m_mainTab) return WindowImplBase::Notify(msg);
    CDuiString name = msg.pSender->GetName();
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) {
        if (msg.pSender == m_curOption && m_curOption->IsSelected()) {
            m_mainTab->SelectItem(0);
        } else if (msg.pSender == m_hisOption && m_hisOption->IsSelected()) {
            m_mainTab->SelectItem(1);
            CListUI* list = CurrentList();
            if (list && list->GetCurSel() < 0) ClearSelectionDisplay();
        }
    } else if (msg.sType == DUI_MSGTYPE_ITEMSELECT) {
        if (msg.pSender == CurrentList()) OnItemSelect();
    } else if (msg.sType == DUI_MSGTYPE_PAGECLICK) {
        if (name == L"CurRecordPgCtrl" || name == L"SelRecordPgCtrl" || name == L"SearchedSelRecordPgCtrl") {
            if (CPageCtrlUI* pager = CurrentPager()) ShowPage(SelectedRoom(), pager->GetCurrentPage());
        }
    } else if (msg.sType == DUI_MSGTYPE_TEXTCHANGED) {
        if (name == L"SearchClassInput" && msg.pSender->GetText().IsEmpty() && IsSearching()) StopSearching();
    } else if (msg.sType == DUI_MSGTYPE_CLICK) {
        if (name == L"DelRecordBtn") return DeleteSelectedRoom();
        if (name == L"SearchClassBtn") Search();
        else if (name == L"StopSearchClassBtn") StopSearching();
        WindowImplBase::Notify(msg);
    }
}

LRESULT CChatRecordWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    if (uMsg == WM_TIMER && wParam == kGifTimer) {
        if (CChatRichEditUI* display = CurrentDisplay()) display->Repaint();
        bHandled = TRUE;
        return 0;
    }
    bHandled = FALSE;
    return 0;
}

void CChatRecordWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
