#include "controls/PosLayouts.h"

#include "core/Logger.h"
#include "platform/ui/UIManager.h"

LPVOID CPosVerLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"PosVerLayout") == 0) return this;
    return CVerticalLayoutUI::GetInterface(pstrName);
}

void CPosVerLayoutUI::SetPos(RECT rc)
{
    CVerticalLayoutUI::SetPos(rc);
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_POSCHANGE, 0, 0, false);
}

LPVOID CPosHorLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"PosHorLayout") == 0) return this;
    return CHorizontalLayoutUI::GetInterface(pstrName);
}

void CPosHorLayoutUI::SetPos(RECT rc)
{
    CHorizontalLayoutUI::SetPos(rc);
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_POSCHANGE, 0, 0, false);
}

// ---- Scrolling horizontal layout ----

LPVOID CScrollHorLayoutUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ScrollHorLayout") == 0) return this;
    return CHorizontalLayoutUI::GetInterface(pstrName);
}

void CScrollHorLayoutUI::DoEvent(TEventUI& event)
{
    CScrollBarUI* bar = m_pHorizontalScrollBar;
    if (bar && bar->IsVisible() && bar->IsEnabled()) {
        if (event.Type == UIEVENT_KEYDOWN) {
            switch (event.chKey) {
            case VK_PRIOR:
            case VK_LEFT: PageLeft(); return;
            case VK_NEXT:
            case VK_RIGHT: PageRight(); return;
            case VK_END: EndRight(); return;
            case VK_HOME: HomeLeft(); return;
            case VK_UP: LineLeft(); return;
            case VK_DOWN: LineRight(); return;
            default: break;
            }
        } else if (event.Type == UIEVENT_SCROLLWHEEL) {
            if (LOWORD(event.wParam) == SB_LINEUP) LineLeft();
            else if (LOWORD(event.wParam) == SB_LINEDOWN) LineRight();
            return;
        }
    }
    CHorizontalLayoutUI::DoEvent(event);
}

bool CScrollHorLayoutUI::UpdateBar(CScrollBarUI* bar, int need, int available, const RECT& placement)
{
    if (!bar) return false;
    if (need > available) {
        int range = need - available;
        if (!bar->IsVisible()) {
            bar->SetVisible(true);
            bar->SetScrollRange(range);
            bar->SetScrollPos(0);
            bar->SetPos(placement);
            return true;
        }
        int oldPos = bar->GetScrollPos();
        bool rangeChanged = bar->GetScrollRange() != range;
        bar->SetScrollRange(range);
        bar->SetPos(placement);
        return rangeChanged && bar->GetScrollPos() < oldPos;
    }
    if (bar->IsVisible()) {
        bar->SetScrollRange(0);
        bar->SetScrollPos(0);
        bar->SetVisible(false);
        return true;
    }
    return false;
}

void CScrollHorLayoutUI::ProcessScrollBar(RECT rc, int cxRequired, int cyRequired)
{
    if (m_bScrollProcess) return;
    // The bars lie along the content's bottom and right edges, outside the children's area.
    bool relayout = false;
    if (m_pHorizontalScrollBar) {
        RECT bar{rc.left, rc.bottom, rc.right, rc.bottom + m_pHorizontalScrollBar->GetFixedHeight()};
        relayout |= UpdateBar(m_pHorizontalScrollBar, cxRequired, rc.right - rc.left, bar);
    }
    if (m_pVerticalScrollBar) {
        RECT bar{rc.right, rc.top, rc.right + m_pVerticalScrollBar->GetFixedWidth(), rc.bottom};
        relayout |= UpdateBar(m_pVerticalScrollBar, cyRequired, rc.bottom - rc.top, bar);
    }
    if (relayout) {
        m_bScrollProcess = true;
        SetPos(m_rcItem);
        m_bScrollProcess = false;
    }
}

// ---- Native-window container ----

RECT ComputeEmbedRect(const RECT& rc, UINT cw, UINT ch, bool keepAspect)
{
    RECT out = rc;
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (cw == 0 || ch == 0 || w <= 0 || h <= 0) return out;
    if (keepAspect) {
        double controlRatio = static_cast<double>(w) / h;
        double contentRatio = static_cast<double>(cw) / ch;
        if (controlRatio > contentRatio) {
            int width = static_cast<int>(contentRatio * h);
            out.left = rc.left + (w - width) / 2;
            out.right = out.left + width;
        } else if (controlRatio < contentRatio) {
            int height = static_cast<int>(w / contentRatio);
            out.top = rc.top + (h - height) / 2;
            out.bottom = out.top + height;
        }
        return out;
    }
    // Centred without enlarging.
    if (static_cast<int>(cw) < w) {
        out.left = rc.left + (w - static_cast<int>(cw)) / 2;
        out.right = out.left + static_cast<int>(cw);
    }
    if (static_cast<int>(ch) < h) {
        out.top = rc.top + (h - static_cast<int>(ch)) / 2;
        out.bottom = out.top + static_cast<int>(ch);
    }
    return out;
}

CWinContainerUI::~CWinContainerUI()
{
    // The hosted window belongs to its own object, which ends when it closes.
    if (HasEmbedWindow()) PostMessageW(m_hwndEmbed, WM_CLOSE, 0, 0);
}

LPVOID CWinContainerUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"WinContainer") == 0) return this;
    return CContainerUI::GetInterface(pstrName);
}

void CWinContainerUI::SetEmbedWindow(HWND hwnd)
{
    if (hwnd == m_hwndEmbed) return;
    m_uContentWidth = m_uContentHeight = 0;
    m_hwndEmbed = hwnd;
    m_bKeepAspect = true;
    int w = m_rcItem.right - m_rcItem.left, h = m_rcItem.bottom - m_rcItem.top;
    if (w != 0 && h != 0 && HasEmbedWindow()) MoveWindow(m_hwndEmbed, m_rcItem.left, m_rcItem.top, w, h, TRUE);
}

void CWinContainerUI::SetKeepAspect(bool keep)
{
    if (m_uContentHeight == 0) {
        m_uContentWidth = m_uContentHeight = 0;
        return;
    }
    m_bKeepAspect = keep;
    LayoutEmbedWindow();
}

void CWinContainerUI::Init()
{
    if (HasEmbedWindow()) ::ShowWindow(m_hwndEmbed, SW_HIDE);
    CContainerUI::Init();
}

void CWinContainerUI::SetPos(RECT rc)
{
    CContainerUI::SetPos(rc);
    LayoutEmbedWindow();
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_POSCHANGE, 0, 0, false);
}

void CWinContainerUI::SetVisible(bool bVisible)
{
    CContainerUI::SetVisible(bVisible);
    if (HasEmbedWindow()) ::ShowWindow(m_hwndEmbed, bVisible ? SW_SHOW : SW_HIDE);
    else if (bVisible)
        LOG_ERROR(L"Win Container(%s) Set Visible, but embed window is invalid", m_sName.GetString());
}

void CWinContainerUI::SetInternVisible(bool bVisible)
{
    CContainerUI::SetInternVisible(bVisible);
    if (HasEmbedWindow()) ::ShowWindow(m_hwndEmbed, bVisible ? SW_SHOW : SW_HIDE);
    else if (bVisible)
        LOG_ERROR(L"Win Container(%s) Set Intern Visible, but embed window is invalid", m_sName.GetString());
}

void CWinContainerUI::LayoutEmbedWindow()
{
    if (!HasEmbedWindow()) return;
    if (m_rcItem.right - m_rcItem.left <= 0 || m_rcItem.bottom - m_rcItem.top <= 0) return;
    RECT place = ComputeEmbedRect(m_rcItem, m_uContentWidth, m_uContentHeight, m_bKeepAspect);
    MoveWindow(m_hwndEmbed, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}
