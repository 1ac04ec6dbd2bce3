#include "controls/StudentList.h"

#include "core/SessionContext.h"

namespace {

RosterMenuOpener g_menuOpener = nullptr;

bool IsListenerRole(uint8_t role) { return role == eRole_Student || role == eRole_StudentAlt; }

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

} // namespace

bool IsMicRole(uint8_t role)
{
    return role == eRole_SpeakerVoice || (role >= eRole_MicApplied && role <= eRole_SpeakerVideoAlt);
}

// ---- Row ----

CStudentListElement::CStudentListElement(const UserRecord& user) : m_user(new UserRecord(user))
{
    SetTag(reinterpret_cast<UINT_PTR>(m_user.get()));
    auto* layout = new CHorizontalLayoutUI;
    layout->SetEnabled(false);
    // The row takes every mouse event itself (selection, the menu), not its badge or label.
    SetMouseChildEnabled(false);
    m_pBadge = new CControlUI;
    m_pName = new CLabelUI;
    layout->Add(m_pBadge);
    layout->Add(m_pName);
    Add(layout);
}

CStudentListElement::~CStudentListElement()
{
    if (m_hMenuWnd && IsWindow(m_hMenuWnd) && IsWindowVisible(m_hMenuWnd)) PostMessageW(m_hMenuWnd, WM_CLOSE, 0, 0);
}

LPVOID CStudentListElement::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"LVStudentListElement") == 0) return this;
    return CListContainerElementUI::GetInterface(pstrName);
}

void CStudentListElement::SetMenuOpener(RosterMenuOpener opener) { g_menuOpener = opener; }

int CStudentListElement::CanShowMenu() const
{
    if (!m_pOwner || !m_user) return -1;
    const SessionContext* session = SessionContext::Instance();
    if (m_user->userId == session->userId) return -1;
    return IsTeacherRole(session->role) ? 0 : -1;
}

void CStudentListElement::ShowMenu(POINT pt)
{
    if (CanShowMenu() != 0 || !g_menuOpener) return;
    m_hMenuWnd = g_menuOpener(this, pt);
}

void CStudentListElement::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pOwner) m_pOwner->DoEvent(event);
        else CListContainerElementUI::DoEvent(event);
        return;
    }
    if (event.Type == UIEVENT_BUTTONUP || event.Type == UIEVENT_CONTEXTMENU)
        ShowMenu(POINT{event.ptMouse.x, m_rcItem.bottom});
    CListContainerElementUI::DoEvent(event);
}

void CStudentListElement::SyncText()
{
    if (!m_user || !m_pName) return;
    if (m_pName->GetText() != m_user->nickName) m_pName->SetText(m_user->nickName);
    if (m_pName->GetToolTip() != m_user->userName) m_pName->SetToolTip(m_user->userName);
}

void CStudentListElement::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT clip;
    if (!IntersectRect(&clip, &rcPaint, &m_rcItem)) return;
    SyncText();
    DrawItemBk(hDC, m_rcItem);
    PaintRowBorder(hDC, *this, m_rcItem, m_border, IsHot(), IsSelected());
    for (CControlUI* child : m_items)
        if (child->IsVisible()) child->DoPaint(hDC, clip);
}

// ---- List ----

LPVOID CStudentList::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"LVStudentList") == 0) return this;
    return CListUI::GetInterface(pstrName);
}

void CStudentList::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"teacheridbtnattr") == 0) m_sTeacherBadgeAttr = pstrValue;
    else if (wcscmp(pstrName, L"assistantidbtnattr") == 0) m_sAssistantBadgeAttr = pstrValue;
    else if (wcscmp(pstrName, L"studentidbtnattr") == 0) m_sStudentBadgeAttr = pstrValue;
    else if (wcscmp(pstrName, L"namebtnattr") == 0) m_sNameAttr = pstrValue;
    else if (!ApplyRowBorderAttribute(m_border, pstrName, pstrValue)) CListUI::SetAttribute(pstrName, pstrValue);
}

void CStudentList::ApplyRowAttributes(CStudentListElement* row)
{
    const UserRecord* user = row->GetUser();
    uint8_t role = user ? user->role : 0;
    const CDuiString& badge = IsTeacherRole(role)        ? m_sTeacherBadgeAttr
                              : role == eRole_Assistant ? m_sAssistantBadgeAttr
                                                         : m_sStudentBadgeAttr;
    if (!badge.IsEmpty()) row->GetBadge()->ApplyAttributeList(badge);
    if (!m_sNameAttr.IsEmpty()) row->GetNameLabel()->ApplyAttributeList(m_sNameAttr);
    row->SetBorder(m_border);
    if (row->GetFixedHeight() != m_border.itemHeight) row->SetFixedHeight(m_border.itemHeight);
}

static CStudentListElement* AsRosterRow(CControlUI* control)
{
    if (!control || _wcsicmp(control->GetClass(), L"CLVStudentListElement") != 0) return nullptr;
    return static_cast<CStudentListElement*>(control);
}

bool CStudentList::Add(CControlUI* pControl)
{
    CStudentListElement* row = AsRosterRow(pControl);
    if (!row) return false;
    ApplyRowAttributes(row);
    if (!CListUI::Add(row)) return false;
    if (row->GetUser()) m_rowsById.emplace(row->GetUser()->userId, row);
    return true;
}

bool CStudentList::AddAt(CControlUI* pControl, int iIndex)
{
    CStudentListElement* row = AsRosterRow(pControl);
    if (!row) return false;
    ApplyRowAttributes(row);
    if (!CListUI::AddAt(row, iIndex)) return false;
    if (row->GetUser()) m_rowsById.emplace(row->GetUser()->userId, row);
    return true;
}

bool CStudentList::Remove(CControlUI* pControl, bool bDoNotDestroy)
{
    CStudentListElement* row = AsRosterRow(pControl);
    if (!row) return false;
    // The row knows its place; only a stale index costs the search.
    int index = row->GetIndex();
    if (RowAt(index) != row) index = GetItemIndex(row);
    return index >= 0 && RemoveAt(index, bDoNotDestroy);
}

bool CStudentList::RemoveAt(int iIndex, bool bDoNotDestroy)
{
    CStudentListElement* row = RowAt(iIndex);
    if (!row) return false;
    const UserRecord* user = row->GetUser();
    if (user) {
        auto it = m_rowsById.find(user->userId);
        if (it != m_rowsById.end() && it->second == row) m_rowsById.erase(it);
    }
    return CListUI::RemoveAt(iIndex, bDoNotDestroy);
}

void CStudentList::RemoveAll()
{
    m_rowsById.clear();
    CListUI::RemoveAll();
}

// Add and AddAt take roster rows only, so every item of the body is one.
CStudentListElement* CStudentList::RowAt(int index) const
{
    return static_cast<CStudentListElement*>(GetItemAt(index));
}

CStudentListElement* CStudentList::FindRow(uint32_t userId) const
{
    auto it = m_rowsById.find(userId);
    return it == m_rowsById.end() ? nullptr : it->second;
}

bool CStudentList::SetUsers(const std::vector<UserRecord*>& users)
{
    // A class's whole list arrives at once: its rows repaint together, not one by one.
    CInvalidateBatchUI batch(GetManager());
    RemoveAll();
    m_nMicUsers = 0;
    m_uSpeakerId = 0;
    // A refused record (a duplicate, an unknown role) costs only its own row, not everyone after it.
    bool all = true;
    for (const UserRecord* user : users) {
        if (!user) continue;
        if (!AddUser(*user)) {
            all = false;
            continue;
        }
        if (IsSpeakingRole(user->role)) m_uSpeakerId = user->userId;
    }
    return all;
}

bool CStudentList::AddUser(const UserRecord& user)
{
    if (FindRow(user.userId)) return false;
    bool teacher = IsTeacherRole(user.role);
    bool assistant = user.role == eRole_Assistant;
    if (!teacher && !assistant && !IsStudentRole(user.role)) return false;
    std::unique_ptr<CStudentListElement> row(new CStudentListElement(user));
    // Teachers stay on top, the latest first; assistants follow them in arrival order, then the
    // students in arrival order.
    bool added;
    if (teacher) {
        added = AddAt(row.get(), 0);
    } else if (assistant) {
        int at = 0;
        while (at < GetCount() && RowAt(at) && RowAt(at)->GetUser() &&
               (IsTeacherRole(RowAt(at)->GetUser()->role) || RowAt(at)->GetUser()->role == eRole_Assistant))
            ++at;
        added = AddAt(row.get(), at);
    } else {
        added = Add(row.get());
    }
    if (!added) return false;
    row.release();
    if (IsMicRole(user.role)) ++m_nMicUsers;
    return true;
}

bool CStudentList::RemoveUser(const UserRecord& user)
{
    CStudentListElement* row = FindRow(user.userId);
    if (!row || row->GetUser()->serverId != user.serverId) return false;
    if (!Remove(row)) return false;
    if (IsMicRole(user.role)) --m_nMicUsers;
    return true;
}

bool CStudentList::SetUserState(uint8_t newRole, uint8_t& oldRole, uint32_t userId)
{
    oldRole = 0;
    CStudentListElement* row = FindRow(userId);
    if (!row || row->GetUser()->role == newRole) return false;
    oldRole = row->GetUser()->role;
    row->GetUser()->role = newRole;
    if (IsListenerRole(oldRole) && IsMicRole(newRole)) ++m_nMicUsers;
    else if (IsMicRole(oldRole) && IsListenerRole(newRole)) --m_nMicUsers;
    return true;
}

bool CStudentList::UpdateUser(const UserRecord& user)
{
    CStudentListElement* row = FindRow(user.userId);
    if (!row) return false;
    uint8_t oldRole = row->GetUser()->role;
    *row->GetUser() = user;
    if (IsMicRole(oldRole)) --m_nMicUsers;
    if (IsMicRole(user.role)) ++m_nMicUsers;
    if (IsSpeakingRole(user.role)) m_uSpeakerId = user.userId;
    row->Invalidate();
    return true;
}

bool CStudentList::FindUser(uint32_t userId, UserRecord& out) const
{
    CStudentListElement* row = FindRow(userId);
    if (!row) return false;
    out = *row->GetUser();
    return true;
}

void CStudentList::FindUsersByName(std::vector<UserRecord>& out, LPCTSTR text) const
{
    if (!text || !*text) return;
    out.clear();
    CString key(text);
    key.MakeLower();
    for (int i = 0; i < GetCount(); ++i) {
        CStudentListElement* row = RowAt(i);
        if (!row || !row->GetUser()) continue;
        CString name = row->GetUser()->nickName;
        name.MakeLower();
        if (name.Find(key) >= 0) out.push_back(*row->GetUser());
    }
}

void CStudentList::GetMicUsers(std::vector<UserRecord>& out) const
{
    out.clear();
    for (int i = 0; i < GetCount(); ++i) {
        CStudentListElement* row = RowAt(i);
        if (row && row->GetUser() && IsMicRole(row->GetUser()->role)) out.push_back(*row->GetUser());
    }
}

bool CStudentList::IsMicUserAt(int index) const
{
    CStudentListElement* row = RowAt(index);
    return row && row->GetUser() && IsMicRole(row->GetUser()->role);
}

void CStudentList::ClearSpeaker(uint32_t userId)
{
    if (m_uSpeakerId == userId) m_uSpeakerId = 0;
}
