#include "platform/ui/UIList.h"

#include "platform/ui/UILog.h"
#include "platform/ui/UIRender.h"

#include <algorithm>

namespace {

RECT Inner(const RECT& rc, const RECT& padding)
{
    return {rc.left + padding.left, rc.top + padding.top, rc.right - padding.right, rc.bottom - padding.bottom};
}

// Background of a list item by its state, shared by the label and container elements.
void PaintItemBk(HDC hDC, const RECT& rcItem, TListInfoUI* info, bool enabled, bool selected, bool hot, int index)
{
    if (!info) return;
    DWORD color = 0;
    if (!enabled) color = info->dwDisabledBkColor;
    else if (selected) color = info->dwSelectedBkColor;
    else if (hot) color = info->dwHotBkColor;
    else if (info->bAlternateBk && index % 2 == 1) color = info->dwBkColor ? info->dwBkColor : 0xFFF5F5F5;
    else color = info->dwBkColor;
    if (color) CRenderEngine::DrawColor(hDC, rcItem, color);
    if (info->dwLineColor) {
        RECT line{rcItem.left, rcItem.bottom - 1, rcItem.right, rcItem.bottom - 1};
        CRenderEngine::DrawLine(hDC, line, 1, info->dwLineColor);
    }
}

} // namespace

bool ApplyListInfoAttribute(TListInfoUI& info, const CDuiString& name, LPCTSTR value)
{
    if (name == L"itemfont") info.nFont = _wtoi(value);
    else if (name == L"itemalign") {
        CDuiString v(value);
        info.uTextStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
        if (v.Find(L"center") >= 0) info.uTextStyle |= DT_CENTER;
        else if (v.Find(L"right") >= 0) info.uTextStyle |= DT_RIGHT;
        else info.uTextStyle |= DT_LEFT;
    } else if (name == L"itemendellipsis") {
        if (ParseBool(value)) info.uTextStyle |= DT_END_ELLIPSIS;
        else info.uTextStyle &= ~DT_END_ELLIPSIS;
    } else if (name == L"itemtextpadding") info.rcTextPadding = ParseRect(value);
    else if (name == L"itemtextcolor") info.dwTextColor = ParseColor(value);
    else if (name == L"itembkcolor") info.dwBkColor = ParseColor(value);
    else if (name == L"itemselectedtextcolor") info.dwSelectedTextColor = ParseColor(value);
    else if (name == L"itemselectedbkcolor") info.dwSelectedBkColor = ParseColor(value);
    else if (name == L"itemhottextcolor") info.dwHotTextColor = ParseColor(value);
    else if (name == L"itemhotbkcolor") info.dwHotBkColor = ParseColor(value);
    else if (name == L"itemdisabledtextcolor") info.dwDisabledTextColor = ParseColor(value);
    else if (name == L"itemdisabledbkcolor") info.dwDisabledBkColor = ParseColor(value);
    else if (name == L"itemlinecolor") info.dwLineColor = ParseColor(value);
    else if (name == L"itemshowhtml") info.bShowHtml = ParseBool(value);
    else if (name == L"itemalternatebk") info.bAlternateBk = ParseBool(value);
    else return false;
    return true;
}

// ---- header ----

LPVOID CListHeaderItemUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ListHeaderItem") == 0) return this;
    return CControlUI::GetInterface(pstrName);
}

void CListHeaderItemUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"textcolor") m_dwTextColor = ParseColor(pstrValue);
    else if (name == L"font") m_iFont = _wtoi(pstrValue);
    else if (name == L"textpadding") m_rcTextPadding = ParseRect(pstrValue);
    else CControlUI::SetAttribute(pstrName, pstrValue);
}

SIZE CListHeaderItemUI::EstimateSize(SIZE szAvailable)
{
    if (m_cxyFixed.cy == 0 && m_pManager) return {m_cxyFixed.cx, m_pManager->GetFontInfo(m_iFont)->tm.tmHeight + 8};
    return CControlUI::EstimateSize(szAvailable);
}

void CListHeaderItemUI::PaintText(HDC hDC)
{
    if (m_sText.IsEmpty() || !m_pManager) return;
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
}

LPVOID CListHeaderUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ListHeader") == 0) return this;
    return CHorizontalLayoutUI::GetInterface(pstrName);
}

SIZE CListHeaderUI::EstimateSize(SIZE szAvailable)
{
    if (m_cxyFixed.cy == 0 && GetCount() > 0) return {m_cxyFixed.cx, GetItemAt(0)->EstimateSize(szAvailable).cy};
    return CHorizontalLayoutUI::EstimateSize(szAvailable);
}

// ---- elements ----

LPVOID CListElementUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ListItem") == 0) return static_cast<IListItemUI*>(this);
    if (_wcsicmp(pstrName, L"ListElement") == 0) return static_cast<CListElementUI*>(this);
    return CControlUI::GetInterface(pstrName);
}

void CListElementUI::SetOwner(CControlUI* pOwner)
{
    m_pOwner = pOwner ? static_cast<IListOwnerUI*>(pOwner->GetInterface(L"IListOwner")) : nullptr;
}

bool CListElementUI::Select(bool bSelect)
{
    if (!IsEnabled()) return false;
    if (bSelect == m_bSelected) return true;
    m_bSelected = bSelect;
    if (bSelect && m_pOwner) m_pOwner->SelectItem(m_iIndex);
    CControlUI::Invalidate();
    return true;
}

bool CListElementUI::Activate()
{
    if (!CControlUI::Activate()) return false;
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMACTIVATE);
    return true;
}

void CListElementUI::SetVisible(bool bVisible)
{
    CControlUI::SetVisible(bVisible);
    if (!IsVisible() && m_bSelected) {
        m_bSelected = false;
        if (m_pOwner) m_pOwner->SelectItem(-1);
    }
}

void CListElementUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pOwner) m_pOwner->DoEvent(event);
        else CControlUI::DoEvent(event);
        return;
    }
    if (event.Type == UIEVENT_DBLCLICK) {
        if (IsEnabled()) Activate();
        return;
    }
    if (event.Type == UIEVENT_KEYDOWN && IsEnabled() && event.chKey == VK_RETURN) {
        Activate();
        return;
    }
    // Keys and the wheel go to the owner, so the list scrolls and moves its selection.
    if (m_pOwner && (event.Type == UIEVENT_KEYDOWN || event.Type == UIEVENT_SCROLLWHEEL)) {
        m_pOwner->DoEvent(event);
        return;
    }
    CControlUI::DoEvent(event);
}

void CListElementUI::DrawItemBk(HDC hDC, const RECT& rcItem)
{
    PaintItemBk(hDC, rcItem, m_pOwner ? m_pOwner->GetListInfo() : nullptr, IsEnabled(), m_bSelected, IsHot(), m_iIndex);
}

LPVOID CListLabelElementUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ListLabelElement") == 0) return this;
    return CListElementUI::GetInterface(pstrName);
}

void CListLabelElementUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        CListElementUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
        if (IsEnabled()) {
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
            Select();
            CControlUI::Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_BUTTONUP:
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            CControlUI::Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        CControlUI::Invalidate();
        return;
    default:
        CListElementUI::DoEvent(event);
    }
}

SIZE CListLabelElementUI::EstimateSize(SIZE szAvailable)
{
    if (m_cxyFixed.cy == 0 && m_pManager) {
        TListInfoUI* info = m_pOwner ? m_pOwner->GetListInfo() : nullptr;
        int font = info ? info->nFont : -1;
        return {m_cxyFixed.cx, m_pManager->GetFontInfo(font)->tm.tmHeight + 8};
    }
    return CControlUI::EstimateSize(szAvailable);
}

void CListLabelElementUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
    DrawItemBk(hDC, m_rcItem);
    PaintBkImage(hDC);
    DrawItemText(hDC, m_rcItem);
    PaintBorder(hDC);
}

void CListLabelElementUI::DrawItemText(HDC hDC, const RECT& rcItem)
{
    if (m_sText.IsEmpty() || !m_pManager) return;
    TListInfoUI fallback;
    TListInfoUI* info = m_pOwner ? m_pOwner->GetListInfo() : &fallback;
    DWORD color = info->dwTextColor;
    if (!IsEnabled()) color = info->dwDisabledTextColor;
    else if (m_bSelected) color = info->dwSelectedTextColor;
    else if (IsHot()) color = info->dwHotTextColor;
    RECT rc = Inner(rcItem, info->rcTextPadding);
    if (info->bShowHtml) CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText, color, info->nFont, info->uTextStyle);
    else CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, color, info->nFont, info->uTextStyle);
}

LPVOID CListContainerElementUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ListItem") == 0) return static_cast<IListItemUI*>(this);
    if (_wcsicmp(pstrName, L"ListContainerElement") == 0) return static_cast<CListContainerElementUI*>(this);
    return CContainerUI::GetInterface(pstrName);
}

void CListContainerElementUI::SetOwner(CControlUI* pOwner)
{
    m_pOwner = pOwner ? static_cast<IListOwnerUI*>(pOwner->GetInterface(L"IListOwner")) : nullptr;
}

bool CListContainerElementUI::Select(bool bSelect)
{
    if (!IsEnabled()) return false;
    if (bSelect == m_bSelected) return true;
    m_bSelected = bSelect;
    if (bSelect && m_pOwner) m_pOwner->SelectItem(m_iIndex);
    Invalidate();
    return true;
}

bool CListContainerElementUI::Activate()
{
    if (!CContainerUI::Activate()) return false;
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMACTIVATE);
    return true;
}

void CListContainerElementUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pOwner) m_pOwner->DoEvent(event);
        else CContainerUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_DBLCLICK:
        if (IsEnabled()) Activate();
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
        if (IsEnabled()) {
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
            Select();
            Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_BUTTONUP:
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_KEYDOWN:
    case UIEVENT_SCROLLWHEEL:
        if (m_pOwner) {
            m_pOwner->DoEvent(event);
            return;
        }
        break;
    default:
        break;
    }
    CContainerUI::DoEvent(event);
}

void CListContainerElementUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT rcTemp;
    if (!IntersectRect(&rcTemp, &rcPaint, &m_rcItem)) return;
    DrawItemBk(hDC, m_rcItem);
    CContainerUI::DoPaint(hDC, rcPaint);
}

void CListContainerElementUI::DrawItemBk(HDC hDC, const RECT& rcItem)
{
    PaintItemBk(hDC, rcItem, m_pOwner ? m_pOwner->GetListInfo() : nullptr, IsEnabled(), m_bSelected, IsHot(), m_iIndex);
}

// ---- CListUI ----

void CListBodyUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_KEYDOWN && m_pOwner) {
        m_pOwner->DoEvent(event);
        return;
    }
    CVerticalLayoutUI::DoEvent(event);
}

CListUI::CListUI()
{
    m_pHeader = new CListHeaderUI;
    m_pList = new CListBodyUI(this);
    CVerticalLayoutUI::AddAt(m_pHeader, 0);
    CVerticalLayoutUI::AddAt(m_pList, 1);
}

LPVOID CListUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"List") == 0) return static_cast<CListUI*>(this);
    if (_wcsicmp(pstrName, L"IList") == 0 || _wcsicmp(pstrName, L"IListOwner") == 0)
        return static_cast<IListOwnerUI*>(this);
    return CVerticalLayoutUI::GetInterface(pstrName);
}

CControlUI* CListUI::GetItemAt(int iIndex) const
{
    return m_pList->GetItemAt(iIndex);
}

int CListUI::GetItemIndex(CControlUI* pControl) const
{
    return m_pList->GetItemIndex(pControl);
}

bool CListUI::SetItemIndex(CControlUI* pControl, int iIndex)
{
    if (!m_pList->SetItemIndex(pControl, iIndex)) return false;
    Reindex(0);
    return true;
}

int CListUI::GetCount() const
{
    return m_pList->GetCount();
}

void CListUI::Reindex(int from)
{
    for (int i = std::max(from, 0); i < m_pList->GetCount(); ++i) {
        auto* item = static_cast<IListItemUI*>(m_pList->GetItemAt(i)->GetInterface(L"ListItem"));
        if (item) item->SetIndex(i);
    }
}

bool CListUI::Add(CControlUI* pControl)
{
    return AddAt(pControl, GetCount());
}

bool CListUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!pControl) return false;
    if (pControl->GetInterface(L"ListHeader")) {
        // A header from the skin replaces the built-in one.
        CVerticalLayoutUI::Remove(m_pHeader);
        m_pHeader = static_cast<CListHeaderUI*>(pControl);
        return CVerticalLayoutUI::AddAt(m_pHeader, 0);
    }
    if (pControl->GetInterface(L"ListHeaderItem")) return m_pHeader->Add(pControl);
    if (!m_pList->AddAt(pControl, iIndex)) return false;
    auto* item = static_cast<IListItemUI*>(pControl->GetInterface(L"ListItem"));
    if (item) item->SetOwner(this);
    Reindex(iIndex);
    if (m_iCurSel >= iIndex && m_iCurSel >= 0 && GetItemAt(m_iCurSel) != pControl) ++m_iCurSel;
    return true;
}

bool CListUI::Remove(CControlUI* pControl, bool bDoNotDestroy)
{
    int index = GetItemIndex(pControl);
    if (index < 0) return false;
    return RemoveAt(index, bDoNotDestroy);
}

bool CListUI::RemoveAt(int iIndex, bool bDoNotDestroy)
{
    if (!m_pList->RemoveAt(iIndex, bDoNotDestroy)) return false;
    Reindex(iIndex);
    if (iIndex == m_iCurSel) m_iCurSel = -1;
    else if (iIndex < m_iCurSel) --m_iCurSel;
    return true;
}

void CListUI::RemoveAll()
{
    m_iCurSel = -1;
    m_pList->RemoveAll();
}

bool CListUI::SelectItem(int iIndex, bool bTakeFocus)
{
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    if (m_iCurSel >= 0) {
        CControlUI* control = GetItemAt(m_iCurSel);
        auto* item = control ? static_cast<IListItemUI*>(control->GetInterface(L"ListItem")) : nullptr;
        if (item) item->Select(false);
        m_iCurSel = -1;
    }
    if (iIndex < 0) return false;
    CControlUI* control = GetItemAt(iIndex);
    if (!control || !control->IsVisible() || !control->IsEnabled()) return false;
    auto* item = static_cast<IListItemUI*>(control->GetInterface(L"ListItem"));
    if (!item) return false;
    m_iCurSel = iIndex;
    if (!item->Select(true)) {
        m_iCurSel = -1;
        return false;
    }
    EnsureVisible(m_iCurSel);
    if (bTakeFocus) control->SetFocus();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, m_iCurSel, old);
    return true;
}

void CListUI::EnsureVisible(int iIndex)
{
    CControlUI* control = GetItemAt(iIndex);
    CScrollBarUI* bar = m_pList->GetVerticalScrollBar();
    if (!control || !bar || !bar->IsVisible()) return;
    RECT item = control->GetPos();
    RECT body = m_pList->GetPos();
    SIZE pos = m_pList->GetScrollPos();
    if (item.top < body.top) pos.cy -= body.top - item.top;
    else if (item.bottom > body.bottom) pos.cy += item.bottom - body.bottom;
    else return;
    m_pList->SetScrollPos(pos);
}

void CListUI::EnableScrollBar(bool bEnableVertical, bool bEnableHorizontal)
{
    m_pList->EnableScrollBar(bEnableVertical, bEnableHorizontal);
}

SIZE CListUI::GetScrollPos() const
{
    return m_pList->GetScrollPos();
}

void CListUI::SetScrollPos(SIZE szPos)
{
    m_pList->SetScrollPos(szPos);
}

CScrollBarUI* CListUI::GetVerticalScrollBar() const
{
    return m_pList->GetVerticalScrollBar();
}

void CListUI::SetPos(RECT rc)
{
    // A header without columns takes no room: left in the layout it would get a share of the height.
    m_pHeader->SetInternVisible(IsVisible() && m_pHeader->GetCount() > 0);
    CVerticalLayoutUI::SetPos(rc);
    // The header's items give the column rectangles the elements draw their texts into.
    m_ListInfo.nColumns = std::min(m_pHeader->GetCount(), UILIST_MAX_COLUMNS);
    for (int i = 0; i < m_ListInfo.nColumns; ++i) {
        CControlUI* column = m_pHeader->GetItemAt(i);
        m_ListInfo.rcColumn[i] = column->GetPos();
    }
}

void CListUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_KEYDOWN) {
        switch (event.chKey) {
        case VK_UP: SelectItem(std::max(m_iCurSel - 1, 0), true); return;
        case VK_DOWN: SelectItem(std::min(m_iCurSel + 1, GetCount() - 1), true); return;
        case VK_HOME: SelectItem(0, true); return;
        case VK_END: SelectItem(GetCount() - 1, true); return;
        default: break;
        }
    }
    if (event.Type == UIEVENT_SCROLLWHEEL) {
        m_pList->DoEvent(event);
        return;
    }
    CVerticalLayoutUI::DoEvent(event);
}

void CListUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (ApplyListInfoAttribute(m_ListInfo, name, pstrValue)) NeedUpdate();
    else if (name == L"header") m_pHeader->SetVisible(_wcsicmp(pstrValue, L"hidden") != 0);
    else if (name == L"headerbkimage") m_pHeader->SetBkImage(pstrValue);
    else if (name == L"vscrollbar") m_pList->EnableScrollBar(ParseBool(pstrValue), m_pList->GetHorizontalScrollBar() != nullptr);
    else if (name == L"hscrollbar") m_pList->EnableScrollBar(m_pList->GetVerticalScrollBar() != nullptr, ParseBool(pstrValue));
    else if (name == L"inset") m_pList->SetInset(ParseRect(pstrValue));
    else CVerticalLayoutUI::SetAttribute(pstrName, pstrValue);
}

// ---- CComboWnd ----

void CComboWnd::Init(CComboUI* pOwner)
{
    m_pOwner = pOwner;
    m_iOldSel = pOwner->GetCurSel();
    HWND paint = pOwner->GetManager()->GetPaintWindow();
    RECT rc = PlaceList(pOwner);
    Create(paint, nullptr, WS_POPUP, WS_EX_TOOLWINDOW, rc);
    if (!m_hWnd) return;
    HWND owner = paint;
    while (GetParent(owner)) owner = GetParent(owner);
    ::ShowWindow(m_hWnd, SW_SHOW);
    ::SendMessageW(owner, WM_NCACTIVATE, TRUE, 0);
}

RECT CComboWnd::PlaceList(CComboUI* pOwner)
{
    SIZE szDrop = pOwner->GetDropBoxSize();
    RECT rcOwner = pOwner->GetPos();
    RECT rc = rcOwner;
    rc.top = rc.bottom;
    rc.bottom = rc.top + szDrop.cy;
    if (szDrop.cx > 0) rc.right = rc.left + szDrop.cx;
    // The list is never taller than its items.
    int needed = 2;
    for (int i = 0; i < pOwner->GetCount(); ++i) {
        CControlUI* item = pOwner->GetItemAt(i);
        if (!item->IsVisible()) continue;
        SIZE sz = item->EstimateSize({rc.right - rc.left, rc.bottom - rc.top});
        needed += sz.cy;
    }
    rc.bottom = rc.top + std::min<LONG>(rc.bottom - rc.top, needed);
    HWND paint = pOwner->GetManager()->GetPaintWindow();
    MapWindowPoints(paint, HWND_DESKTOP, reinterpret_cast<LPPOINT>(&rc), 2);
    MONITORINFO mi = {sizeof(mi)};
    GetMonitorInfoW(MonitorFromWindow(paint, MONITOR_DEFAULTTOPRIMARY), &mi);
    if (rc.bottom > mi.rcWork.bottom) {
        // No room below: open upwards.
        int height = rc.bottom - rc.top;
        POINT top{rcOwner.left, rcOwner.top};
        ClientToScreen(paint, &top);
        rc.bottom = top.y;
        rc.top = rc.bottom - height;
    }
    return rc;
}

void CComboWnd::OnFinalMessage(HWND)
{
    if (m_pOwner) {
        // Also when the list goes without WM_CLOSE (its owner window destroyed): the items must not
        // keep pointing at this window's manager, which dies here.
        m_pOwner->SetManager(m_pOwner->GetManager(), m_pOwner->GetParent(), false);
        m_pOwner->m_pWindow = nullptr;
        m_pOwner->m_uButtonState &= ~UISTATE_PUSHED;
        m_pOwner->Invalidate();
    }
    delete this;
}

void CComboWnd::EnsureVisible(int iIndex)
{
    if (!m_pLayout || iIndex < 0) return;
    CControlUI* item = m_pLayout->GetItemAt(iIndex);
    CScrollBarUI* bar = m_pLayout->GetVerticalScrollBar();
    if (!item || !bar || !bar->IsVisible()) return;
    RECT rcItem = item->GetPos();
    RECT rcList = m_pLayout->GetPos();
    SIZE pos = m_pLayout->GetScrollPos();
    if (rcItem.top < rcList.top) pos.cy -= rcList.top - rcItem.top;
    else if (rcItem.bottom > rcList.bottom) pos.cy += rcItem.bottom - rcList.bottom;
    m_pLayout->SetScrollPos(pos);
}

LRESULT CComboWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE: {
        m_pm.Init(m_hWnd);
        m_pm.UseParentResource(m_pOwner->GetManager());
        m_pLayout = new CVerticalLayoutUI;
        if (LPCTSTR defaults = m_pm.GetDefaultAttributeList(L"VerticalLayout")) m_pLayout->ApplyAttributeList(defaults);
        m_pLayout->SetInset({1, 1, 1, 1});
        m_pLayout->SetBkColor(0xFFFFFFFF);
        m_pLayout->SetBorderColor(0xFFC6C7D2);
        m_pLayout->SetBorderSize(1);
        m_pLayout->SetAutoDestroy(false);
        m_pLayout->EnableScrollBar();
        m_pLayout->ApplyAttributeList(m_pOwner->GetDropBoxAttributeList());
        for (int i = 0; i < m_pOwner->GetCount(); ++i) m_pLayout->Add(m_pOwner->GetItemAt(i));
        m_pm.AttachDialog(m_pLayout);
        return 0;
    }
    case WM_CLOSE:
        // The items go back to the combo's tree before the layout is destroyed.
        m_pOwner->SetManager(m_pOwner->GetManager(), m_pOwner->GetParent(), false);
        m_pOwner->SetPos(m_pOwner->GetPos());
        m_pOwner->SetFocus();
        break;
    case WM_LBUTTONUP: {
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        LRESULT r = 0;
        m_pm.MessageHandler(uMsg, wParam, lParam, r);
        CControlUI* control = m_pm.FindControl(pt);
        if (control && wcscmp(control->GetClass(), L"ScrollBarUI") != 0) PostMessage(WM_KILLFOCUS);
        return 0;
    }
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_ESCAPE:
            m_pOwner->SelectItem(m_iOldSel, true);
            EnsureVisible(m_iOldSel);
            PostMessage(WM_KILLFOCUS);
            return 0;
        case VK_RETURN:
            PostMessage(WM_KILLFOCUS);
            return 0;
        default: {
            TEventUI event;
            event.Type = UIEVENT_KEYDOWN;
            event.chKey = static_cast<wchar_t>(wParam);
            m_pOwner->DoEvent(event);
            EnsureVisible(m_pOwner->GetCurSel());
            return 0;
        }
        }
    case WM_MOUSEWHEEL: {
        // The wheel moves the selection, as it does over the closed combo.
        TEventUI event;
        event.Type = UIEVENT_SCROLLWHEEL;
        event.wParam = MAKEWPARAM(GET_WHEEL_DELTA_WPARAM(wParam) < 0 ? SB_LINEDOWN : SB_LINEUP, 0);
        event.dwTimestamp = GetTickCount();
        m_pOwner->DoEvent(event);
        EnsureVisible(m_pOwner->GetCurSel());
        return 0;
    }
    case WM_KILLFOCUS:
        if (m_hWnd != reinterpret_cast<HWND>(wParam)) PostMessage(WM_CLOSE);
        break;
    default:
        break;
    }
    LRESULT result = 0;
    if (m_pm.MessageHandler(uMsg, wParam, lParam, result)) return result;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

// ---- CComboUI ----

CComboUI::CComboUI()
{
    m_ListInfo.rcTextPadding = {4, 0, 4, 0};
    m_ListInfo.uTextStyle = DT_VCENTER | DT_SINGLELINE | DT_LEFT;
}

CComboUI::~CComboUI()
{
    if (m_pWindow) {
        CComboWnd* wnd = m_pWindow;
        m_pWindow = nullptr;
        DestroyWindow(wnd->GetHWND());
    }
}

LPVOID CComboUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Combo") == 0) return static_cast<CComboUI*>(this);
    if (_wcsicmp(pstrName, L"IListOwner") == 0) return static_cast<IListOwnerUI*>(this);
    return CContainerUI::GetInterface(pstrName);
}

CDuiString CComboUI::GetText() const
{
    CControlUI* item = GetItemAt(m_iCurSel);
    return item ? item->GetText() : CDuiString();
}

void CComboUI::SetEnabled(bool bEnable)
{
    CContainerUI::SetEnabled(bEnable);
    if (!IsEnabled()) m_uButtonState = 0;
}

bool CComboUI::Activate()
{
    if (!CControlUI::Activate()) return false;
    if (m_pWindow || !m_pManager || !m_pManager->GetPaintWindow()) return true;
    m_pWindow = new CComboWnd;
    m_pWindow->Init(this);
    if (!m_pWindow->GetHWND()) {
        // Creation failed: OnFinalMessage never runs, so the object is ours to free.
        delete m_pWindow;
        m_pWindow = nullptr;
        UILogError(L"drop-down list of %s cannot be opened", GetName().GetString());
        return false;
    }
    m_pManager->SendNotify(this, DUI_MSGTYPE_DROPDOWN);
    Invalidate();
    return true;
}

void CComboUI::Reindex(int from)
{
    for (int i = std::max(from, 0); i < GetCount(); ++i) {
        auto* item = static_cast<IListItemUI*>(GetItemAt(i)->GetInterface(L"ListItem"));
        if (item) item->SetIndex(i);
    }
}

void CComboUI::SetVisible(bool bVisible)
{
    CControlUI::SetVisible(bVisible);
}

void CComboUI::SetInternVisible(bool bVisible)
{
    CControlUI::SetInternVisible(bVisible);
}

bool CComboUI::Add(CControlUI* pControl)
{
    return AddAt(pControl, GetCount());
}

bool CComboUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!CContainerUI::AddAt(pControl, iIndex)) return false;
    pControl->SetInternVisible(true); // a hidden combo does not hide its items (SetInternVisible)
    auto* item = static_cast<IListItemUI*>(pControl->GetInterface(L"ListItem"));
    if (item) item->SetOwner(this);
    Reindex(iIndex);
    if (m_iCurSel >= iIndex && m_iCurSel >= 0 && GetItemAt(m_iCurSel) != pControl) ++m_iCurSel;
    return true;
}

bool CComboUI::Remove(CControlUI* pControl, bool bDoNotDestroy)
{
    int index = GetItemIndex(pControl);
    return index >= 0 && RemoveAt(index, bDoNotDestroy);
}

bool CComboUI::RemoveAt(int iIndex, bool bDoNotDestroy)
{
    if (!CContainerUI::RemoveAt(iIndex, bDoNotDestroy)) return false;
    Reindex(iIndex);
    if (iIndex == m_iCurSel) m_iCurSel = -1;
    else if (iIndex < m_iCurSel) --m_iCurSel;
    return true;
}

void CComboUI::RemoveAll()
{
    m_iCurSel = -1;
    CContainerUI::RemoveAll();
}

int CComboUI::FindSelectable(int iIndex, bool bForward) const
{
    int count = GetCount();
    if (count <= 0) return -1;
    iIndex = std::max(0, std::min(iIndex, count - 1));
    for (int i = iIndex; bForward ? i < count : i >= 0; i += bForward ? 1 : -1) {
        CControlUI* item = GetItemAt(i);
        if (item->GetInterface(L"ListItem") && item->IsVisible() && item->IsEnabled()) return i;
    }
    // Nothing that way: the nearest the other way.
    for (int i = iIndex; bForward ? i >= 0 : i < count; i += bForward ? -1 : 1) {
        CControlUI* item = GetItemAt(i);
        if (item->GetInterface(L"ListItem") && item->IsVisible() && item->IsEnabled()) return i;
    }
    return -1;
}

bool CComboUI::SelectItem(int iIndex, bool bTakeFocus)
{
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    if (m_iCurSel >= 0) {
        CControlUI* control = GetItemAt(m_iCurSel);
        auto* item = control ? static_cast<IListItemUI*>(control->GetInterface(L"ListItem")) : nullptr;
        if (item) item->Select(false);
        m_iCurSel = -1;
    }
    if (iIndex < 0 || GetCount() == 0) return false;
    if (iIndex >= GetCount()) iIndex = GetCount() - 1;
    CControlUI* control = GetItemAt(iIndex);
    if (!control || !control->IsVisible() || !control->IsEnabled()) return false;
    auto* item = static_cast<IListItemUI*>(control->GetInterface(L"ListItem"));
    if (!item) return false;
    m_iCurSel = iIndex;
    if (m_pWindow || bTakeFocus) control->SetFocus();
    item->Select(true);
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMSELECT, m_iCurSel, old);
    Invalidate();
    return true;
}

CControlUI* CComboUI::FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags)
{
    // The items are shown by the drop window, never at a point of this control.
    if (uFlags & UIFIND_HITTEST) return CControlUI::FindControl(Proc, pData, uFlags);
    return CContainerUI::FindControl(Proc, pData, uFlags);
}

void CComboUI::SetPos(RECT rc)
{
    // Only the box itself is placed; the items are laid out by the drop window.
    CControlUI::SetPos(rc);
}

void CComboUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
        Invalidate();
        break;
    case UIEVENT_BUTTONDOWN:
        if (IsEnabled()) {
            Activate();
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        }
        return;
    case UIEVENT_BUTTONUP:
        if (m_uButtonState & UISTATE_CAPTURED) {
            m_uButtonState &= ~UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
        return;
    case UIEVENT_KEYDOWN:
        switch (event.chKey) {
        case VK_F4: Activate(); return;
        case VK_UP: SelectItem(FindSelectable(m_iCurSel - 1, false)); return;
        case VK_DOWN: SelectItem(FindSelectable(m_iCurSel + 1, true)); return;
        case VK_PRIOR: SelectItem(FindSelectable(m_iCurSel - 1, false)); return;
        case VK_NEXT: SelectItem(FindSelectable(m_iCurSel + 1, true)); return;
        case VK_HOME: SelectItem(FindSelectable(0, false)); return;
        case VK_END: SelectItem(FindSelectable(GetCount() - 1, true)); return;
        default: break;
        }
        break;
    case UIEVENT_SCROLLWHEEL: {
        bool down = LOWORD(event.wParam) == SB_LINEDOWN;
        SelectItem(FindSelectable(m_iCurSel + (down ? 1 : -1), down));
        return;
    }
    case UIEVENT_MOUSEENTER:
        if (PtInRect(&m_rcItem, event.ptMouse) && IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_SETCURSOR:
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return;
    default:
        break;
    }
    CControlUI::DoEvent(event);
}

void CComboUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (ApplyListInfoAttribute(m_ListInfo, name, pstrValue)) Invalidate();
    else if (name == L"textpadding") m_rcTextPadding = ParseRect(pstrValue);
    else if (name == L"normalimage") m_sNormalImage = pstrValue;
    else if (name == L"hotimage") m_sHotImage = pstrValue;
    else if (name == L"pushedimage") m_sPushedImage = pstrValue;
    else if (name == L"focusedimage") m_sFocusedImage = pstrValue;
    else if (name == L"disabledimage") m_sDisabledImage = pstrValue;
    else if (name == L"dropbox") SetDropBoxAttributeList(pstrValue);
    else if (name == L"dropboxsize") SetDropBoxSize(ParseSize(pstrValue));
    else if (name == L"selectedid") {
        int index = _wtoi(pstrValue);
        m_iCurSel = -1;
        if (index < GetCount()) SelectItem(index);
    } else CContainerUI::SetAttribute(pstrName, pstrValue);
}

void CComboUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    CControlUI::DoPaint(hDC, rcPaint);
}

void CComboUI::PaintStatusImage(HDC hDC)
{
    CDuiString* image = &m_sNormalImage;
    if (!IsEnabled() && !m_sDisabledImage.IsEmpty()) image = &m_sDisabledImage;
    else if ((m_uButtonState & UISTATE_PUSHED) && !m_sPushedImage.IsEmpty()) image = &m_sPushedImage;
    else if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.IsEmpty()) image = &m_sHotImage;
    else if (IsFocused() && !m_sFocusedImage.IsEmpty()) image = &m_sFocusedImage;
    if (!image->IsEmpty()) {
        if (!DrawImage(hDC, *image)) image->Empty();
        return;
    }
    // No skin images: a plain frame and a drop arrow.
    CRenderEngine::DrawRect(hDC, m_rcItem, 1, 0xFFA0A0A0);
    int cx = m_rcItem.right - 9, cy = (m_rcItem.top + m_rcItem.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
        RECT line{cx - 4 + i, cy - 2 + i, cx + 4 - i, cy - 2 + i};
        CRenderEngine::DrawLine(hDC, line, 1, IsEnabled() ? 0xFF404040 : 0xFFA0A0A0);
    }
}

void CComboUI::PaintText(HDC hDC)
{
    CControlUI* control = GetItemAt(m_iCurSel);
    if (!control) return;
    auto* item = static_cast<IListItemUI*>(control->GetInterface(L"ListItem"));
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    if (item) {
        // The selected item draws its own text into the box, in the normal (not the selected) colour.
        TListInfoUI saved = m_ListInfo;
        m_ListInfo.dwSelectedTextColor = m_ListInfo.dwTextColor;
        item->DrawItemText(hDC, rc);
        m_ListInfo = saved;
    }
}
