#include "controls/MicList.h"

#include "core/SessionContext.h"
#include "platform/ui/UIRender.h"

#include <algorithm>

namespace {

// Room between the button's edges and its text.
const LONG kButtonTextMargin = 4;

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

bool TakesTurn(uint8_t role)
{
    return role == eRole_SpeakerVoice || role == eRole_MicConnecting || role == eRole_SpeakerVideo ||
           role == eRole_SpeakerVideoAlt;
}

} // namespace

// ---- Row ----

CMicElementUI::CMicElementUI(const UserRecord& user) : m_user(user)
{
    const CString& shown = user.nickName.IsEmpty() ? user.userName : user.nickName;
    SetText(shown);
    SetToolTip(shown);
    SetFixedHeight(26);
}

LPVOID CMicElementUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"MicElement") == 0) return this;
    return CListElementUI::GetInterface(pstrName);
}

CMicListUI* CMicElementUI::OwnerList() const
{
    return m_pOwner ? dynamic_cast<CMicListUI*>(m_pOwner) : nullptr;
}

bool CMicElementUI::MouseInButton() const
{
    if (!m_pManager) return false;
    POINT pt = m_pManager->GetMousePos();
    return PtInRect(&m_rcButton, pt) != FALSE;
}

CDuiString CMicElementUI::GetToolTip() const
{
    if (!m_pManager) return CDuiString();
    POINT pt = m_pManager->GetMousePos();
    return PtInRect(&m_rcName, pt) ? m_sToolTip : CDuiString();
}

void CMicElementUI::SetRequested(bool requested)
{
    CMicListUI* owner = OwnerList();
    if (requested) {
        if (owner) owner->SetActiveElement(this, true);
        return;
    }
    if (owner && owner->m_uActiveUserId == m_user.userId) owner->m_uActiveUserId = 0;
    // Asynchronous: the window reads the row after this handler has returned.
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_MICSTATECHANGED, 0, reinterpret_cast<LPARAM>(this), true);
}

void CMicElementUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pOwner) m_pOwner->DoEvent(event);
        else CListElementUI::DoEvent(event);
        return;
    }
    bool inButton = PtInRect(&m_rcButton, event.ptMouse) != FALSE;
    switch (event.Type) {
    case UIEVENT_MOUSEMOVE:
        if (!IsEnabled()) return;
        if (inButton) m_bButtonHot = true;
        else if (m_bButtonHot) m_bButtonHot = m_bButtonPressed = false;
        Invalidate();
        return;
    case UIEVENT_MOUSEENTER:
    case UIEVENT_MOUSELEAVE:
        if (!IsEnabled()) return;
        if (event.Type == UIEVENT_MOUSEENTER) m_uButtonState |= UISTATE_HOT;
        else m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_BUTTONDOWN:
        if (!IsEnabled() || !inButton) break;
        if (m_user.role == eRole_MicApplied) SetRequested(true);
        else if (m_user.role == eRole_MicConnecting || IsSpeakingRole(m_user.role)) SetRequested(false);
        m_bButtonPressed = true;
        Invalidate();
        return;
    case UIEVENT_BUTTONUP:
        if (!IsEnabled() || !inButton) break;
        m_bButtonPressed = false;
        Invalidate();
        return;
    case UIEVENT_SETCURSOR:
        if (!inButton) break;
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return;
    default:
        break;
    }
    CListElementUI::DoEvent(event);
}

void CMicElementUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT clip;
    if (!IntersectRect(&clip, &rcPaint, &m_rcItem) || !m_pOwner) return;
    TListInfoUI* info = m_pOwner->GetListInfo();
    DWORD colour = info->dwBkColor;
    if (info->bAlternateBk && (m_iIndex % 2) == 1) colour = 0;
    if (IsHot()) colour = info->dwHotBkColor;
    if (IsSelected()) colour = info->dwSelectedBkColor;
    if (!IsEnabled()) colour = info->dwDisabledBkColor;
    if (colour != 0) CRenderEngine::DrawColor(hDC, m_rcItem, GetAdjustColor(colour));
    if (info->dwLineColor != 0) {
        RECT line{m_rcItem.left, m_rcItem.bottom - 1, m_rcItem.right, m_rcItem.bottom};
        CRenderEngine::DrawColor(hDC, line, GetAdjustColor(info->dwLineColor));
    }
    DrawItemText(hDC, m_rcItem);
}

void CMicElementUI::DrawItemText(HDC hDC, const RECT& rc)
{
    if (!m_pOwner || m_sText.IsEmpty()) return;
    TListInfoUI* info = m_pOwner->GetListInfo();
    if (!info) return;

    // The button is 30 pixels wide, or as wide as the longer of its two texts needs in the list's font,
    // so that "Speak" and "Cancel" read whole and every row's button lines up.
    CString speakText = LangText(65, L"Speak");
    CString cancelText = LangText(66, L"Cancel");
    LONG textWidth = std::max(CRenderEngine::GetTextSize(hDC, m_pManager, speakText, info->nFont, DT_SINGLELINE).cx,
                              CRenderEngine::GetTextSize(hDC, m_pManager, cancelText, info->nFont, DT_SINGLELINE).cx);
    LONG buttonWidth = std::max<LONG>(30, textWidth + 2 * kButtonTextMargin);
    int top = rc.top + (rc.bottom - rc.top - 16) / 2;
    m_rcButton = RECT{rc.right - 10 - buttonWidth, top, rc.right - 10, top + 16};
    bool inside = MouseInButton();
    DWORD buttonColour = 0xFF666666;
    if (m_bButtonPressed && inside) buttonColour = 0xFF00CC90;
    else if (m_bButtonHot && inside) buttonColour = 0xFF00CC99;
    CRenderEngine::DrawColor(hDC, m_rcButton, buttonColour);
    CString buttonText = m_user.role == eRole_MicApplied ? speakText : cancelText;
    RECT buttonText_rc = m_rcButton;
    CRenderEngine::DrawText(hDC, m_pManager, buttonText_rc, buttonText, 0xFFFFFFFF, info->nFont,
                            info->uTextStyle | DT_CENTER | DT_SINGLELINE | DT_END_ELLIPSIS);

    int nameRight = m_rcButton.left - 30;
    if (m_user.role == eRole_MicConnecting) {
        CString status = LangText(67, L"[Connecting]");
        SIZE size = CRenderEngine::GetTextSize(hDC, m_pManager, status, info->nFont, DT_SINGLELINE);
        RECT statusRc{m_rcButton.left - 30 - size.cx, rc.top, m_rcButton.left - 30, rc.bottom};
        CRenderEngine::DrawText(hDC, m_pManager, statusRc, status, 0xFF00CC90, 1,
                                DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        nameRight = statusRc.left;
    }
    DWORD textColour = info->dwTextColor;
    if (IsHot()) textColour = info->dwHotTextColor;
    if (IsSelected()) textColour = info->dwSelectedTextColor;
    if (!IsEnabled()) textColour = info->dwDisabledTextColor;
    m_rcName = RECT{rc.left + 10, rc.top, nameRight, rc.bottom};
    RECT nameRc = m_rcName;
    CRenderEngine::DrawText(hDC, m_pManager, nameRc, m_sText, textColour, info->nFont,
                            info->uTextStyle | DT_SINGLELINE | DT_END_ELLIPSIS);
}

// ---- List ----

LPVOID CMicListUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"MicList") == 0) return this;
    return CListUI::GetInterface(pstrName);
}

int CMicListUI::SetUsers(const std::vector<UserRecord>& users)
{
    RemoveAll();
    m_uActiveUserId = 0;
    int added = 0;
    for (const UserRecord& user : users) {
        auto* row = new CMicElementUI(user);
        if (!Add(row)) {
            delete row;
            continue;
        }
        ++added;
        if (TakesTurn(user.role)) m_uActiveUserId = user.userId;
    }
    return added;
}

CMicElementUI* CMicListUI::FindElement(uint32_t userId) const
{
    for (int i = 0; i < GetCount(); ++i) {
        auto* row = dynamic_cast<CMicElementUI*>(GetItemAt(i));
        if (row && row->GetUserRecord().userId == userId) return row;
    }
    return nullptr;
}

void CMicListUI::SetActiveElement(CMicElementUI* row, bool on)
{
    if (!row) return;
    uint32_t userId = row->GetUserRecord().userId;
    if (on) {
        if (m_uActiveUserId != 0 && m_uActiveUserId != userId) {
            CMicElementUI* active = FindElement(m_uActiveUserId);
            if (active) active->SetRequested(false);
        }
        m_uActiveUserId = userId;
    } else if (m_uActiveUserId == userId) {
        m_uActiveUserId = 0;
    }
    // The row is the sender: a row replaced before delivery takes its notification with it.
    if (row->GetManager())
        row->GetManager()->SendNotify(row, DUI_MSGTYPE_MICSTATECHANGED, on ? 1 : 0, reinterpret_cast<LPARAM>(row), true);
}
