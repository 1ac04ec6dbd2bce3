#include "platform/ui/UIContainer.h"

#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

#include <algorithm>

// ---- CContainerUI ----

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI()
{
    m_bDelayedDestroy = false;
    RemoveAll();
    delete m_pVerticalScrollBar;
    delete m_pHorizontalScrollBar;
}

LPVOID CContainerUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"IContainer") == 0) return static_cast<IContainerUI*>(this);
    if (_wcsicmp(pstrName, L"Container") == 0) return static_cast<CContainerUI*>(this);
    return CControlUI::GetInterface(pstrName);
}

CControlUI* CContainerUI::GetItemAt(int iIndex) const
{
    if (iIndex < 0 || iIndex >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<size_t>(iIndex)];
}

int CContainerUI::GetItemIndex(CControlUI* pControl) const
{
    auto it = std::find(m_items.begin(), m_items.end(), pControl);
    return it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin());
}

bool CContainerUI::SetItemIndex(CControlUI* pControl, int iIndex)
{
    int current = CContainerUI::GetItemIndex(pControl);
    if (current < 0 || iIndex < 0 || iIndex >= static_cast<int>(m_items.size())) return false;
    m_items.erase(m_items.begin() + current);
    m_items.insert(m_items.begin() + iIndex, pControl);
    NeedUpdate();
    return true;
}

bool CContainerUI::Add(CControlUI* pControl)
{
    return AddAt(pControl, GetCount());
}

bool CContainerUI::AddAt(CControlUI* pControl, int iIndex)
{
    // The own list, not GetCount(): a list answers the count of its body.
    if (!pControl || iIndex < 0 || iIndex > static_cast<int>(m_items.size())) return false;
    m_items.insert(m_items.begin() + iIndex, pControl);
    if (m_pManager) m_pManager->InitControls(pControl, this);
    else pControl->SetManager(nullptr, this, false);
    if (IsVisible()) NeedUpdate();
    else pControl->SetInternVisible(false);
    return true;
}

bool CContainerUI::Remove(CControlUI* pControl, bool bDoNotDestroy)
{
    int index = CContainerUI::GetItemIndex(pControl);
    if (index < 0) return false;
    return CContainerUI::RemoveAt(index, bDoNotDestroy);
}

bool CContainerUI::RemoveAt(int iIndex, bool bDoNotDestroy)
{
    CControlUI* control = CContainerUI::GetItemAt(iIndex);
    if (!control) return false;
    m_items.erase(m_items.begin() + iIndex);
    if (m_bAutoDestroy && !bDoNotDestroy) {
        // During event handling the control may still be on the stack: delete it from the loop.
        if (m_bDelayedDestroy && m_pManager) m_pManager->AddDelayedCleanup(control);
        else delete control;
    } else if (m_pManager) {
        m_pManager->ReapObjects(control);
    }
    NeedUpdate();
    return true;
}

void CContainerUI::RemoveAll()
{
    std::vector<CControlUI*> items;
    items.swap(m_items);
    for (CControlUI* control : items) {
        if (m_bAutoDestroy) {
            if (m_bDelayedDestroy && m_pManager) m_pManager->AddDelayedCleanup(control);
            else delete control;
        } else if (m_pManager) {
            m_pManager->ReapObjects(control);
        }
    }
    if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetScrollPos(0);
    if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetScrollPos(0);
    NeedUpdate();
}

void CContainerUI::SetInset(RECT rcInset)
{
    m_rcInset = rcInset;
    NeedUpdate();
}

void CContainerUI::SetChildPadding(int iPadding)
{
    m_iChildPadding = iPadding;
    NeedUpdate();
}

void CContainerUI::SetVisible(bool bVisible)
{
    if (m_bVisible == bVisible) return;
    CControlUI::SetVisible(bVisible);
    for (CControlUI* control : m_items) control->SetInternVisible(IsVisible());
}

void CContainerUI::SetInternVisible(bool bVisible)
{
    CControlUI::SetInternVisible(bVisible);
    for (CControlUI* control : m_items) control->SetInternVisible(IsVisible());
}

void CContainerUI::SetEnabled(bool bEnable)
{
    CControlUI::SetEnabled(bEnable);
}

void CContainerUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit)
{
    for (CControlUI* control : m_items) control->SetManager(pManager, this, bInit);
    if (m_pVerticalScrollBar) m_pVerticalScrollBar->SetManager(pManager, this, bInit);
    if (m_pHorizontalScrollBar) m_pHorizontalScrollBar->SetManager(pManager, this, bInit);
    CControlUI::SetManager(pManager, pParent, bInit);
}

CControlUI* CContainerUI::FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags)
{
    if ((uFlags & UIFIND_VISIBLE) != 0 && !IsVisible()) return nullptr;
    if ((uFlags & UIFIND_ENABLED) != 0 && !IsEnabled()) return nullptr;
    bool hitTest = (uFlags & UIFIND_HITTEST) != 0;
    if (hitTest && !PtInRect(&m_rcItem, *static_cast<LPPOINT>(pData))) return nullptr;
    if (!m_bMouseChildEnabled && hitTest) return CControlUI::FindControl(Proc, pData, uFlags);
    if ((uFlags & UIFIND_ME_FIRST) != 0) {
        CControlUI* self = CControlUI::FindControl(Proc, pData, uFlags);
        if (self) return self;
    }
    for (CScrollBarUI* bar : {m_pVerticalScrollBar, m_pHorizontalScrollBar}) {
        if (!bar) continue;
        CControlUI* found = bar->FindControl(Proc, pData, uFlags);
        if (found) return found;
    }
    RECT content = ContentRect();
    auto visit = [&](CControlUI* control) -> CControlUI* {
        if (hitTest && !control->IsFloat() && !PtInRect(&content, *static_cast<LPPOINT>(pData))) return nullptr;
        return control->FindControl(Proc, pData, uFlags);
    };
    if ((uFlags & UIFIND_TOP_FIRST) != 0) {
        for (auto it = m_items.rbegin(); it != m_items.rend(); ++it)
            if (CControlUI* found = visit(*it)) return found;
    } else {
        for (CControlUI* control : m_items)
            if (CControlUI* found = visit(control)) return found;
    }
    if ((uFlags & UIFIND_ME_FIRST) == 0) return CControlUI::FindControl(Proc, pData, uFlags);
    return nullptr;
}

RECT CContainerUI::ContentRect() const
{
    RECT rc = m_rcItem;
    rc.left += m_rcInset.left;
    rc.top += m_rcInset.top;
    rc.right -= m_rcInset.right;
    rc.bottom -= m_rcInset.bottom;
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) rc.right -= m_pVerticalScrollBar->GetFixedWidth();
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible())
        rc.bottom -= m_pHorizontalScrollBar->GetFixedHeight();
    return rc;
}

void CContainerUI::SetFloatPos(CControlUI* pControl)
{
    SIZE xy = pControl->GetFixedXY();
    RECT rc{m_rcItem.left + xy.cx, m_rcItem.top + xy.cy, m_rcItem.left + xy.cx + pControl->GetFixedWidth(),
            m_rcItem.top + xy.cy + pControl->GetFixedHeight()};
    pControl->SetPos(rc);
}

void CContainerUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    if (m_items.empty()) return;
    RECT content = ContentRect();
    for (CControlUI* control : m_items) {
        if (!control->IsVisible()) continue;
        if (control->IsFloat()) {
            SetFloatPos(control);
            continue;
        }
        RECT padding = control->GetPadding();
        RECT child{content.left + padding.left, content.top + padding.top, content.right - padding.right,
                   content.bottom - padding.bottom};
        control->SetPos(child);
    }
}

void CContainerUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    RECT rcTemp;
    if (!IntersectRect(&rcTemp, &rcPaint, &m_rcItem)) return;
    int saved = SaveDC(hDC);
    IntersectClipRect(hDC, rcTemp.left, rcTemp.top, rcTemp.right, rcTemp.bottom);
    CControlUI::DoPaint(hDC, rcPaint);
    RECT content = ContentRect();
    for (CControlUI* control : m_items) {
        if (!control->IsVisible()) continue;
        RECT pos = control->GetPos();
        if (!IntersectRect(&rcTemp, &rcPaint, &pos)) continue;
        if (!control->IsFloat() && !IntersectRect(&rcTemp, &content, &pos)) continue;
        int childSaved = SaveDC(hDC);
        if (!control->IsFloat()) IntersectClipRect(hDC, content.left, content.top, content.right, content.bottom);
        control->DoPaint(hDC, rcPaint);
        RestoreDC(hDC, childSaved);
    }
    for (CScrollBarUI* bar : {m_pVerticalScrollBar, m_pHorizontalScrollBar})
        if (bar && bar->IsVisible()) bar->DoPaint(hDC, rcPaint);
    RestoreDC(hDC, saved);
}

void CContainerUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_SCROLLWHEEL) {
        if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible() && m_pVerticalScrollBar->IsEnabled()) {
            if (LOWORD(event.wParam) == SB_LINEUP) LineUp();
            else LineDown();
            return;
        }
        if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible() && m_pHorizontalScrollBar->IsEnabled()) {
            if (LOWORD(event.wParam) == SB_LINEUP) LineLeft();
            else LineRight();
            return;
        }
    }
    CControlUI::DoEvent(event);
}

void CContainerUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"inset") SetInset(ParseRect(pstrValue));
    else if (name == L"mousechild") SetMouseChildEnabled(ParseBool(pstrValue));
    else if (name == L"vscrollbar") EnableScrollBar(ParseBool(pstrValue), m_pHorizontalScrollBar != nullptr);
    else if (name == L"hscrollbar") EnableScrollBar(m_pVerticalScrollBar != nullptr, ParseBool(pstrValue));
    else if (name == L"childpadding") SetChildPadding(_wtoi(pstrValue));
    else CControlUI::SetAttribute(pstrName, pstrValue);
}

SIZE CContainerUI::GetScrollPos() const
{
    SIZE sz{0, 0};
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) sz.cy = m_pVerticalScrollBar->GetScrollPos();
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) sz.cx = m_pHorizontalScrollBar->GetScrollPos();
    return sz;
}

SIZE CContainerUI::GetScrollRange() const
{
    SIZE sz{0, 0};
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) sz.cy = m_pVerticalScrollBar->GetScrollRange();
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible())
        sz.cx = m_pHorizontalScrollBar->GetScrollRange();
    return sz;
}

void CContainerUI::SetScrollPos(SIZE szPos)
{
    SIZE old = GetScrollPos();
    int cx = 0, cy = 0;
    if (m_pVerticalScrollBar && m_pVerticalScrollBar->IsVisible()) {
        m_pVerticalScrollBar->SetScrollPos(szPos.cy);
        cy = m_pVerticalScrollBar->GetScrollPos() - old.cy;
    }
    if (m_pHorizontalScrollBar && m_pHorizontalScrollBar->IsVisible()) {
        m_pHorizontalScrollBar->SetScrollPos(szPos.cx);
        cx = m_pHorizontalScrollBar->GetScrollPos() - old.cx;
    }
    if (cx == 0 && cy == 0) return;
    for (CControlUI* control : m_items) {
        if (!control->IsVisible() || control->IsFloat()) continue;
        RECT pos = control->GetPos();
        OffsetRect(&pos, -cx, -cy);
        control->SetPos(pos);
    }
    Invalidate();
}

namespace {

int LineSize(const CScrollBarUI* bar)
{
    return bar ? bar->GetLineSize() : 8;
}

} // namespace

void CContainerUI::ScrollBy(int cx, int cy)
{
    SIZE sz = GetScrollPos();
    sz.cx += cx;
    sz.cy += cy;
    SetScrollPos(sz);
}

// A page is the visible content, at least one pixel.
SIZE CContainerUI::PageSize() const
{
    RECT rc = ContentRect();
    return {std::max<LONG>(rc.right - rc.left, 1), std::max<LONG>(rc.bottom - rc.top, 1)};
}

void CContainerUI::LineUp()
{
    ScrollBy(0, -LineSize(m_pVerticalScrollBar));
}

void CContainerUI::LineDown()
{
    ScrollBy(0, LineSize(m_pVerticalScrollBar));
}

void CContainerUI::PageUp()
{
    ScrollBy(0, -PageSize().cy);
}

void CContainerUI::PageDown()
{
    ScrollBy(0, PageSize().cy);
}

void CContainerUI::HomeUp()
{
    ScrollBy(0, -GetScrollPos().cy);
}

void CContainerUI::EndDown()
{
    ScrollBy(0, GetScrollRange().cy - GetScrollPos().cy);
}

void CContainerUI::LineLeft()
{
    ScrollBy(-LineSize(m_pHorizontalScrollBar), 0);
}

void CContainerUI::LineRight()
{
    ScrollBy(LineSize(m_pHorizontalScrollBar), 0);
}

void CContainerUI::PageLeft()
{
    ScrollBy(-PageSize().cx, 0);
}

void CContainerUI::PageRight()
{
    ScrollBy(PageSize().cx, 0);
}

void CContainerUI::HomeLeft()
{
    ScrollBy(-GetScrollPos().cx, 0);
}

void CContainerUI::EndRight()
{
    ScrollBy(GetScrollRange().cx - GetScrollPos().cx, 0);
}

void CContainerUI::EnableScrollBar(bool bEnableVertical, bool bEnableHorizontal)
{
    if (bEnableVertical && !m_pVerticalScrollBar) {
        m_pVerticalScrollBar = new CScrollBarUI;
        m_pVerticalScrollBar->SetOwner(this);
        m_pVerticalScrollBar->SetVisible(false);
        m_pVerticalScrollBar->SetManager(m_pManager, this, m_pManager != nullptr);
        if (m_pManager) {
            LPCTSTR defaults = m_pManager->GetDefaultAttributeList(L"VScrollBar");
            if (defaults) m_pVerticalScrollBar->ApplyAttributeList(defaults);
        }
    } else if (!bEnableVertical && m_pVerticalScrollBar) {
        delete m_pVerticalScrollBar;
        m_pVerticalScrollBar = nullptr;
    }
    if (bEnableHorizontal && !m_pHorizontalScrollBar) {
        m_pHorizontalScrollBar = new CScrollBarUI;
        m_pHorizontalScrollBar->SetHorizontal(true);
        m_pHorizontalScrollBar->SetOwner(this);
        m_pHorizontalScrollBar->SetVisible(false);
        m_pHorizontalScrollBar->SetManager(m_pManager, this, m_pManager != nullptr);
    } else if (!bEnableHorizontal && m_pHorizontalScrollBar) {
        delete m_pHorizontalScrollBar;
        m_pHorizontalScrollBar = nullptr;
    }
    NeedUpdate();
}

void CContainerUI::ProcessScrollBar(RECT rc, int cxRequired, int cyRequired)
{
    if (m_bScrollProcess) return;
    bool relayout = false;
    if (m_pVerticalScrollBar) {
        int height = rc.bottom - rc.top;
        bool needed = cyRequired > height;
        if (needed) {
            m_pVerticalScrollBar->SetScrollRange(cyRequired - height);
            RECT bar{rc.right, rc.top, rc.right + m_pVerticalScrollBar->GetFixedWidth(), rc.bottom};
            m_pVerticalScrollBar->SetPos(bar);
        }
        if (needed != m_pVerticalScrollBar->IsVisible()) {
            if (!needed) m_pVerticalScrollBar->SetScrollPos(0);
            m_pVerticalScrollBar->SetVisible(needed);
            relayout = true;
        }
    }
    if (m_pHorizontalScrollBar) {
        int width = rc.right - rc.left;
        bool needed = cxRequired > width;
        if (needed) {
            m_pHorizontalScrollBar->SetScrollRange(cxRequired - width);
            RECT bar{rc.left, rc.bottom, rc.right, rc.bottom + m_pHorizontalScrollBar->GetFixedHeight()};
            m_pHorizontalScrollBar->SetPos(bar);
        }
        if (needed != m_pHorizontalScrollBar->IsVisible()) {
            if (!needed) m_pHorizontalScrollBar->SetScrollPos(0);
            m_pHorizontalScrollBar->SetVisible(needed);
            relayout = true;
        }
    }
    if (relayout) {
        // The content area changed with the bar: lay out once more (the bars keep their state then).
        m_bScrollProcess = true;
        SetPos(m_rcItem);
        m_bScrollProcess = false;
    }
}

// ---- Vertical and horizontal layouts ----

LPVOID CVerticalLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"VerticalLayout") == 0) return this;
    return CContainerUI::GetInterface(pstrName);
}

namespace {

int Clamp(int value, int low, int high)
{
    if (value < low) value = low;
    if (value > high) value = high;
    return value;
}

// Sizes come from skin text, so sums of them are taken in 64 bits and every coordinate placed is held
// within +-2^30: the difference of any two then still fits an int.
const long long kCoordLimit = 0x3FFFFFFF;

int Coord(long long value)
{
    if (value < -kCoordLimit) return static_cast<int>(-kCoordLimit);
    if (value > kCoordLimit) return static_cast<int>(kCoordLimit);
    return static_cast<int>(value);
}

} // namespace

void CVerticalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    RECT content = ContentRect();
    const struct { int cx, cy; } available{static_cast<int>(content.right - content.left), static_cast<int>(content.bottom - content.top)};
    SIZE availableSize{available.cx, available.cy};
    int adjustables = 0, counted = 0;
    long long fixedTotal = 0;
    for (CControlUI* control : m_items) {
        if (!control->IsVisible() || control->IsFloat()) continue;
        SIZE sz = control->EstimateSize(availableSize);
        RECT padding = control->GetPadding();
        // A maximum height of 0 keeps a control laid out (its children placed) but takes no room.
        if (control->GetMaxHeight() == 0) continue;
        if (sz.cy == 0) ++adjustables;
        else fixedTotal += Clamp(sz.cy, control->GetMinHeight(), control->GetMaxHeight());
        fixedTotal += static_cast<long long>(padding.top) + padding.bottom;
        ++counted;
    }
    if (counted > 1) fixedTotal += static_cast<long long>(counted - 1) * m_iChildPadding;
    int expand = adjustables > 0 ? Coord(std::max(0LL, (available.cy - fixedTotal) / adjustables)) : 0;
    int remainder = adjustables > 0 ? Coord(std::max(0LL, available.cy - fixedTotal - 1LL * expand * adjustables)) : 0;
    int scrollY = GetScrollPos().cy;
    long long y = static_cast<long long>(content.top) - scrollY;
    long long needed = 0;
    int adjustableSeen = 0;
    for (CControlUI* control : m_items) {
        if (!control->IsVisible()) continue;
        if (control->IsFloat()) {
            SetFloatPos(control);
            continue;
        }
        RECT padding = control->GetPadding();
        SIZE sz = control->EstimateSize(availableSize);
        if (control->GetMaxHeight() == 0) {
            int width = Clamp(Coord(1LL * available.cx - padding.left - padding.right), control->GetMinWidth(), control->GetMaxWidth());
            if (control->GetFixedWidth() != 0) width = control->GetFixedWidth();
            const long long left = static_cast<long long>(content.left) + padding.left;
            control->SetPos(RECT{Coord(left), Coord(y), Coord(left + width), Coord(y)});
            continue;
        }
        if (sz.cy == 0) {
            ++adjustableSeen;
            sz.cy = expand + (adjustableSeen == adjustables ? remainder : 0);
        }
        sz.cy = Clamp(sz.cy, control->GetMinHeight(), control->GetMaxHeight());
        int width = control->GetFixedWidth();
        if (width == 0) width = Coord(1LL * available.cx - padding.left - padding.right);
        width = Clamp(width, control->GetMinWidth(), control->GetMaxWidth());
        const long long left = static_cast<long long>(content.left) + padding.left;
        const long long top = y + padding.top;
        control->SetPos(RECT{Coord(left), Coord(top), Coord(left + width), Coord(top + sz.cy)});
        const long long step = static_cast<long long>(sz.cy) + padding.top + padding.bottom;
        y += step + m_iChildPadding;
        needed += step + m_iChildPadding;
    }
    if (needed > 0) needed -= m_iChildPadding;
    ProcessScrollBar(content, 0, Coord(needed));
}

LPVOID CHorizontalLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"HorizontalLayout") == 0) return this;
    return CContainerUI::GetInterface(pstrName);
}

void CHorizontalLayoutUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    RECT content = ContentRect();
    const struct { int cx, cy; } available{static_cast<int>(content.right - content.left), static_cast<int>(content.bottom - content.top)};
    SIZE availableSize{available.cx, available.cy};
    int adjustables = 0, counted = 0;
    long long fixedTotal = 0;
    for (CControlUI* control : m_items) {
        if (!control->IsVisible() || control->IsFloat()) continue;
        SIZE sz = control->EstimateSize(availableSize);
        RECT padding = control->GetPadding();
        if (sz.cx == 0) ++adjustables;
        else fixedTotal += Clamp(sz.cx, control->GetMinWidth(), control->GetMaxWidth());
        fixedTotal += static_cast<long long>(padding.left) + padding.right;
        ++counted;
    }
    if (counted > 1) fixedTotal += static_cast<long long>(counted - 1) * m_iChildPadding;
    int expand = adjustables > 0 ? Coord(std::max(0LL, (available.cx - fixedTotal) / adjustables)) : 0;
    int remainder = adjustables > 0 ? Coord(std::max(0LL, available.cx - fixedTotal - 1LL * expand * adjustables)) : 0;
    long long x = static_cast<long long>(content.left) - GetScrollPos().cx;
    long long needed = 0;
    int adjustableSeen = 0;
    for (CControlUI* control : m_items) {
        if (!control->IsVisible()) continue;
        if (control->IsFloat()) {
            SetFloatPos(control);
            continue;
        }
        RECT padding = control->GetPadding();
        SIZE sz = control->EstimateSize(availableSize);
        if (sz.cx == 0) {
            ++adjustableSeen;
            sz.cx = expand + (adjustableSeen == adjustables ? remainder : 0);
        }
        sz.cx = Clamp(sz.cx, control->GetMinWidth(), control->GetMaxWidth());
        int height = control->GetFixedHeight();
        if (height == 0) height = Coord(1LL * available.cy - padding.top - padding.bottom);
        height = Clamp(height, control->GetMinHeight(), control->GetMaxHeight());
        const long long left = x + padding.left;
        const long long top = static_cast<long long>(content.top) + padding.top;
        control->SetPos(RECT{Coord(left), Coord(top), Coord(left + sz.cx), Coord(top + height)});
        const long long step = static_cast<long long>(sz.cx) + padding.left + padding.right;
        x += step + m_iChildPadding;
        needed += step + m_iChildPadding;
    }
    if (needed > 0) needed -= m_iChildPadding;
    ProcessScrollBar(content, Coord(needed), 0);
}

// ---- CTabLayoutUI ----

LPVOID CTabLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"TabLayout") == 0) return this;
    return CContainerUI::GetInterface(pstrName);
}

bool CTabLayoutUI::Add(CControlUI* pControl)
{
    return AddAt(pControl, GetCount());
}

bool CTabLayoutUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!CContainerUI::AddAt(pControl, iIndex)) return false;
    if (m_iCurSel >= 0 && iIndex <= m_iCurSel) ++m_iCurSel; // inserted before the current page
    if (m_iPendingSel >= 0) {
        // "selectedid" named a page that did not exist yet.
        if (m_iPendingSel < GetCount()) {
            m_iCurSel = m_iPendingSel;
            m_iPendingSel = -1;
            for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == m_iCurSel);
        } else {
            pControl->SetVisible(false);
        }
        return true;
    }
    if (m_iCurSel == -1 && pControl->IsVisible()) m_iCurSel = iIndex;
    else if (iIndex != m_iCurSel) pControl->SetVisible(false);
    return true;
}

bool CTabLayoutUI::Remove(CControlUI* pControl, bool bDoNotDestroy)
{
    int index = GetItemIndex(pControl);
    if (index < 0) return false;
    bool wasCurrent = index == m_iCurSel;
    if (!CContainerUI::RemoveAt(index, bDoNotDestroy)) return false;
    if (wasCurrent) {
        m_iCurSel = -1;
        if (GetCount() > 0) SelectItem(std::min(index, GetCount() - 1), false);
    } else if (index < m_iCurSel) {
        --m_iCurSel;
    }
    return true;
}

void CTabLayoutUI::RemoveAll()
{
    m_iCurSel = -1;
    CContainerUI::RemoveAll();
}

bool CTabLayoutUI::SelectItem(int iIndex, bool bTriggerEvent)
{
    if (iIndex < 0 || iIndex >= GetCount()) return false;
    if (iIndex == m_iCurSel) return true;
    int old = m_iCurSel;
    m_iCurSel = iIndex;
    for (int i = 0; i < GetCount(); ++i) GetItemAt(i)->SetVisible(i == iIndex);
    NeedParentUpdate();
    if (bTriggerEvent && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TABSELECT, m_iCurSel, old);
    return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* pControl)
{
    return SelectItem(GetItemIndex(pControl));
}

void CTabLayoutUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"selectedid") == 0) {
        int index = _wtoi(pstrValue);
        if (index < GetCount()) SelectItem(index, false);
        else m_iPendingSel = index;
        return;
    }
    CContainerUI::SetAttribute(pstrName, pstrValue);
}

// ---- CScrollBarUI ----

CScrollBarUI::CScrollBarUI()
{
    m_cxyFixed = {12, 12};
}

LPVOID CScrollBarUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"ScrollBar") == 0) return this;
    return CControlUI::GetInterface(pstrName);
}

void CScrollBarUI::SetHorizontal(bool bHorizontal)
{
    m_bHorizontal = bHorizontal;
    NeedParentUpdate();
}

void CScrollBarUI::SetScrollRange(int nRange)
{
    m_nRange = std::max(nRange, 0);
    if (m_nScrollPos > m_nRange) m_nScrollPos = m_nRange;
    UpdateThumb();
}

void CScrollBarUI::SetScrollPos(int nPos)
{
    m_nScrollPos = Clamp(nPos, 0, m_nRange);
    UpdateThumb();
}

void CScrollBarUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    UpdateThumb();
}

void CScrollBarUI::UpdateThumb()
{
    RECT rc = m_rcItem;
    int length = m_bHorizontal ? rc.right - rc.left : rc.bottom - rc.top;
    if (length <= 0) {
        m_rcThumb = rc;
        return;
    }
    // The thumb shows the visible part of the content: length / (length + range).
    int thumb = std::max(12, static_cast<int>(static_cast<long long>(length) * length / (length + m_nRange)));
    thumb = std::min(thumb, length);
    int offset = m_nRange > 0 ? static_cast<int>(static_cast<long long>(length - thumb) * m_nScrollPos / m_nRange) : 0;
    if (m_bHorizontal) m_rcThumb = {rc.left + offset, rc.top, rc.left + offset + thumb, rc.bottom};
    else m_rcThumb = {rc.left, rc.top + offset, rc.right, rc.top + offset + thumb};
    Invalidate();
}

void CScrollBarUI::ScrollTo(int nPos)
{
    nPos = Clamp(nPos, 0, m_nRange);
    if (m_pOwner) {
        SIZE sz = m_pOwner->GetScrollPos();
        if (m_bHorizontal) sz.cx = nPos;
        else sz.cy = nPos;
        m_pOwner->SetScrollPos(sz);
    } else {
        SetScrollPos(nPos);
    }
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SCROLL);
}

void CScrollBarUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (!IsEnabled()) return;
        if (PtInRect(&m_rcThumb, event.ptMouse)) {
            m_bDragging = true;
            m_ptDragStart = event.ptMouse;
            m_nDragStartPos = m_nScrollPos;
            m_uThumbState |= UISTATE_CAPTURED | UISTATE_PUSHED;
        } else if (m_bHorizontal ? event.ptMouse.x < m_rcThumb.left : event.ptMouse.y < m_rcThumb.top) {
            if (m_pOwner) m_bHorizontal ? m_pOwner->PageLeft() : m_pOwner->PageUp();
        } else {
            if (m_pOwner) m_bHorizontal ? m_pOwner->PageRight() : m_pOwner->PageDown();
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_bDragging) {
            int length = m_bHorizontal ? GetWidth() : GetHeight();
            int thumb = m_bHorizontal ? m_rcThumb.right - m_rcThumb.left : m_rcThumb.bottom - m_rcThumb.top;
            int travel = length - thumb;
            int moved = m_bHorizontal ? event.ptMouse.x - m_ptDragStart.x : event.ptMouse.y - m_ptDragStart.y;
            if (travel > 0) ScrollTo(m_nDragStartPos + static_cast<int>(static_cast<long long>(moved) * m_nRange / travel));
        }
        return;
    case UIEVENT_BUTTONUP:
        m_bDragging = false;
        m_uThumbState &= ~(UISTATE_CAPTURED | UISTATE_PUSHED);
        Invalidate();
        return;
    case UIEVENT_MOUSEENTER:
        m_uThumbState |= UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSELEAVE:
        m_uThumbState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_SCROLLWHEEL:
        if (m_pOwner) m_pOwner->DoEvent(event);
        return;
    default:
        CControlUI::DoEvent(event);
    }
}

void CScrollBarUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"hor") SetHorizontal(ParseBool(pstrValue));
    else if (name == L"range") SetScrollRange(_wtoi(pstrValue));
    else if (name == L"value") SetScrollPos(_wtoi(pstrValue));
    else if (name == L"linesize") SetLineSize(_wtoi(pstrValue));
    else if (name == L"thumbcolor") m_dwThumbColor = ParseColor(pstrValue);
    else if (name == L"thumbhotcolor") m_dwThumbHotColor = ParseColor(pstrValue);
    else if (name == L"trackcolor") m_dwTrackColor = ParseColor(pstrValue);
    else if (name == L"thumbnormalimage") m_sThumbImage = pstrValue;
    else CControlUI::SetAttribute(pstrName, pstrValue);
}

void CScrollBarUI::PaintBkColor(HDC hDC)
{
    CRenderEngine::DrawColor(hDC, m_rcItem, m_dwBackColor ? m_dwBackColor : m_dwTrackColor);
}

void CScrollBarUI::PaintStatusImage(HDC hDC)
{
    if (!m_sThumbImage.IsEmpty() && m_pManager) {
        RECT rel{m_rcThumb.left - m_rcItem.left, m_rcThumb.top - m_rcItem.top, m_rcThumb.right - m_rcItem.left,
                 m_rcThumb.bottom - m_rcItem.top};
        CDuiString modify;
        modify.Format(L"dest='%d,%d,%d,%d'", rel.left, rel.top, rel.right, rel.bottom);
        if (DrawImage(hDC, m_sThumbImage, modify)) return;
    }
    DWORD color = (m_uThumbState & (UISTATE_HOT | UISTATE_PUSHED)) ? m_dwThumbHotColor : m_dwThumbColor;
    RECT thumb = m_rcThumb;
    InflateRect(&thumb, m_bHorizontal ? 0 : -2, m_bHorizontal ? -2 : 0);
    CRenderEngine::DrawColor(hDC, thumb, color);
}
