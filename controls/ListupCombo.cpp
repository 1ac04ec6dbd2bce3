#include "controls/ListupCombo.h"

#include "core/Logger.h"
#include "platform/ui/UIRender.h"

namespace {

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

} // namespace

RECT PlaceDropUpList(const RECT& combo, SIZE dropBox, int itemsHeight, POINT origin, int workTop)
{
    RECT rc{combo.left, 0, combo.right, 0};
    int comboWidth = combo.right - combo.left;
    if (dropBox.cx > 0) {
        if (dropBox.cx > comboWidth) rc.left = combo.left - (dropBox.cx - comboWidth) / 2;
        rc.right = rc.left + dropBox.cx;
    }
    int height = std::min<int>(itemsHeight + 10, dropBox.cy);
    rc.bottom = combo.top - 6;
    rc.top = rc.bottom - height;
    OffsetRect(&rc, origin.x, origin.y);
    if (rc.top < workTop) {
        rc.top = combo.bottom + origin.y;
        rc.bottom = rc.top + height;
    }
    return rc;
}

RECT CLVListUpComboWnd::PlaceList(CComboUI* pOwner)
{
    RECT combo = pOwner->GetPos();
    SIZE drop = pOwner->GetDropBoxSize();
    int listWidth = drop.cx > 0 ? drop.cx : combo.right - combo.left;
    int itemsHeight = 0;
    for (int i = 0; i < pOwner->GetCount(); ++i) {
        CControlUI* item = pOwner->GetItemAt(i);
        if (item->IsVisible()) itemsHeight += item->EstimateSize({listWidth, drop.cy}).cy;
    }
    HWND paint = pOwner->GetManager()->GetPaintWindow();
    POINT origin{0, 0};
    ClientToScreen(paint, &origin);
    // Measured against the primary monitor, wherever the window is: the list opens below only when it
    // would rise above the primary work area's top.
    MONITORINFO mi = {sizeof(mi)};
    GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    return PlaceDropUpList(combo, drop, itemsHeight, origin, mi.rcWork.top);
}

LPVOID CLVListupComboUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"LVListupCombo") == 0) return this;
    return CComboUI::GetInterface(pstrName);
}

bool CLVListupComboUI::Activate()
{
    if (!CControlUI::Activate()) return false;
    if (m_pWindow) return true;
    if (!m_pManager || !m_pManager->GetPaintWindow()) return false;
    auto* window = new CLVListUpComboWnd;
    m_pWindow = window;
    window->Init(this);
    if (!window->GetHWND()) {
        // Never created: the window object is not deleted by its final message.
        m_pWindow = nullptr;
        delete window;
        LOG_ERROR(L"drop-up list of %s cannot be opened", GetName().GetString());
        return false;
    }
    m_pManager->SendNotify(this, DUI_MSGTYPE_DROPDOWN);
    Invalidate();
    return true;
}

void CLVListupComboUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pParent) m_pParent->DoEvent(event);
        else CControlUI::DoEvent(event);
        return;
    }
    if (event.Type == UIEVENT_BUTTONDOWN) {
        if (IsEnabled()) {
            Activate();
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
        }
        return;
    }
    if (event.Type == UIEVENT_KEYDOWN) {
        switch (event.chKey) {
        case VK_F4: Activate(); return;
        case VK_UP:
        case VK_PRIOR: SelectItem(FindSelectable(m_iCurSel - 1, false)); return;
        case VK_DOWN:
        case VK_NEXT: SelectItem(FindSelectable(m_iCurSel + 1, true)); return;
        case VK_HOME: SelectItem(FindSelectable(0, true)); return;
        case VK_END: SelectItem(FindSelectable(GetCount() - 1, false)); return;
        default: break;
        }
    }
    CComboUI::DoEvent(event);
}

// ---- Shape element ----

LPVOID CShapeElementUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ShapeElement") == 0) return this;
    return CListLabelElementUI::GetInterface(pstrName);
}

void CShapeElementUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString value(pstrValue);
    if (wcscmp(pstrName, L"insideshape") == 0) {
        if (value.Find(L"solidrect") >= 0) m_nShape = eShape_SolidRect;
        else if (value.Find(L"rect") >= 0) m_nShape = eShape_Rect;
        else if (value.Find(L"solidcircle") >= 0) m_nShape = eShape_SolidCircle;
        else if (value.Find(L"circle") >= 0) m_nShape = eShape_Circle;
    } else if (wcscmp(pstrName, L"shapealign") == 0) {
        if (value.Find(L"center") >= 0) m_nAlign = eAlign_Center;
        else if (value.Find(L"left") >= 0) m_nAlign = eAlign_Left;
        else if (value.Find(L"right") >= 0) m_nAlign = eAlign_Right;
        else if (value.Find(L"top") >= 0) m_nAlign = eAlign_Top;
        else if (value.Find(L"bottom") >= 0) m_nAlign = eAlign_Bottom;
    } else if (wcscmp(pstrName, L"insideimage") == 0) {
        SetBkImage(pstrValue);
    } else if (wcscmp(pstrName, L"insidewidth") == 0) {
        m_nInsideWidth = _wtoi(pstrValue);
    } else if (wcscmp(pstrName, L"insideheight") == 0) {
        m_nInsideHeight = _wtoi(pstrValue);
    } else {
        CListLabelElementUI::SetAttribute(pstrName, pstrValue);
    }
}

RECT CShapeElementUI::SwatchRect(const RECT& item) const
{
    int w = item.right - item.left, h = item.bottom - item.top;
    int sw = m_nInsideWidth != 0 ? m_nInsideWidth : w;
    int sh = m_nInsideHeight != 0 ? m_nInsideHeight : h;
    RECT rc = item;
    bool narrowX = sw < w, narrowY = sh < h;
    switch (m_nAlign) {
    case eAlign_Center:
        if (narrowX) rc.left = item.left + (w - sw) / 2, rc.right = rc.left + sw;
        if (narrowY) rc.top = item.top + (h - sh) / 2, rc.bottom = rc.top + sh;
        break;
    case eAlign_Left:
    case eAlign_Top:
        if (narrowX) rc.right = item.left + sw;
        if (narrowY) rc.bottom = item.top + sh;
        break;
    case eAlign_Right:
        if (narrowX) rc.left = item.right - sw;
        if (narrowY) rc.bottom = item.top + sh;
        break;
    case eAlign_Bottom:
        if (narrowX) rc.right = item.left + sw;
        if (narrowY) rc.top = item.bottom - sh;
        break;
    default:
        break;
    }
    return rc;
}

void CShapeElementUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
    DrawItemBk(hDC, m_rcItem);
    PaintBkImage(hDC);
    PaintSwatch(hDC, m_rcItem);
}

void CShapeElementUI::DrawItemText(HDC hDC, const RECT& rcItem)
{
    PaintSwatch(hDC, rcItem);
}

void CShapeElementUI::PaintSwatch(HDC hDC, const RECT& rcItem)
{
    if (m_nShape < eShape_Rect || m_nShape > eShape_SolidCircle) return;
    RECT swatch = SwatchRect(rcItem);
    DWORD colour = GetAdjustColor(m_dwBackColor);
    switch (m_nShape) {
    case eShape_SolidRect:
        CRenderEngine::DrawColor(hDC, swatch, colour);
        break;
    case eShape_Rect:
        CRenderEngine::DrawRect(hDC, swatch, 1, colour);
        break;
    case eShape_Circle:
    case eShape_SolidCircle: {
        COLORREF ref = RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
        HPEN pen = CreatePen(PS_SOLID, 1, ref);
        HBRUSH brush = m_nShape == eShape_SolidCircle ? CreateSolidBrush(ref) : nullptr;
        HGDIOBJ oldPen = SelectObject(hDC, pen);
        HGDIOBJ oldBrush = SelectObject(hDC, brush ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
        Ellipse(hDC, swatch.left, swatch.top, swatch.right, swatch.bottom);
        SelectObject(hDC, oldBrush);
        SelectObject(hDC, oldPen);
        DeleteObject(pen);
        if (brush) DeleteObject(brush);
        break;
    }
    default:
        break;
    }
}
