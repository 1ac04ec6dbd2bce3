#include "controls/SmallControls.h"

#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

#include <cwctype>

namespace {

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

RECT Deflated(const RECT& rc, const RECT& padding)
{
    return RECT{rc.left + padding.left, rc.top + padding.top, rc.right - padding.right, rc.bottom - padding.bottom};
}

} // namespace

// ---- List with fixed rows and borders ----

void CListExUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (!ApplyRowBorderAttribute(m_border, pstrName, pstrValue)) CListUI::SetAttribute(pstrName, pstrValue);
}

bool CListExUI::PrepareItem(CControlUI* pControl)
{
    if (!pControl) return false;
    pControl->SetFixedHeight(m_border.itemHeight);
    return true;
}

bool CListExUI::Add(CControlUI* pControl)
{
    if (!PrepareItem(pControl)) return false;
    return CListUI::Add(pControl);
}

bool CListExUI::AddAt(CControlUI* pControl, int iIndex)
{
    if (!PrepareItem(pControl)) return false;
    return CListUI::AddAt(pControl, iIndex);
}

void CListElementExUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
    DrawItemBk(hDC, m_rcItem);
    auto* list = m_pOwner ? dynamic_cast<CListExUI*>(m_pOwner) : nullptr;
    if (list) PaintRowBorder(hDC, *this, m_rcItem, list->GetBorder(), IsHot(), IsSelected());
    DrawItemText(hDC, m_rcItem);
}

// ---- Edit with a hint ----

LPVOID CHintEditUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"HintEdit") == 0) return this;
    return CEditUI::GetInterface(pstrName);
}

void CHintEditUI::SetHintText(LPCTSTR text)
{
    if (m_sHintText == text) return;
    m_sHintText = text;
    Invalidate();
}

void CHintEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"hinttext") == 0) SetHintText(pstrValue);
    else if (wcscmp(pstrName, L"hinttextcolor") == 0) m_dwHintColor = ParseHexColour(pstrValue);
    CEditUI::SetAttribute(pstrName, pstrValue);
}

void CHintEditUI::PaintText(HDC hDC)
{
    if (IsFocused() || !m_sText.IsEmpty() || m_sHintText.IsEmpty()) {
        CEditUI::PaintText(hDC);
        return;
    }
    if (m_dwHintColor == 0 && m_pManager) m_dwHintColor = m_pManager->GetDefaultDisabledColor();
    RECT rc = Deflated(m_rcItem, m_rcTextPadding);
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sHintText, m_dwHintColor, m_iFont, m_uTextStyle | DT_SINGLELINE);
}

// ---- Volume slider with a level ----

LPVOID CActSliderUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ActSlider") == 0) return this;
    return CSliderUI::GetInterface(pstrName);
}

void CActSliderUI::SetActValue(int value)
{
    if (value < 0 || value > m_nMax || value == m_nActValue) return;
    m_nActValue = value;
    Invalidate();
}

void CActSliderUI::SetActColor(DWORD colour)
{
    if (colour == m_dwActColor) return;
    m_dwActColor = colour;
    Invalidate();
}

void CActSliderUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"actcolor") == 0) SetActColor(ParseHexColour(pstrValue));
    else if (wcscmp(pstrName, L"actvalue") == 0) SetActValue(_wtoi(pstrValue));
    else CSliderUI::SetAttribute(pstrName, pstrValue);
}

void CActSliderUI::PaintStatusImage(HDC hDC)
{
    CProgressUI::PaintStatusImage(hDC);
    if (m_dwActColor != 0 && m_nActValue > 0) {
        if (m_nMax <= m_nMin) m_nMax = m_nMin + 1;
        // The level never shows past the volume set.
        if (m_nActValue > m_nValue) m_nActValue = m_nValue;
        if (m_nActValue < m_nMin) m_nActValue = m_nMin;
        int range = m_nMax - m_nMin;
        RECT bar;
        if (m_bHorizontal) {
            bar = RECT{m_rcItem.left + 1, m_rcItem.top + 8,
                       m_rcItem.left + (m_rcItem.right - m_rcItem.left) * (m_nActValue - m_nMin) / range,
                       m_rcItem.bottom - 8};
        } else {
            int height = (m_rcItem.bottom - m_rcItem.top) * (m_nActValue - m_nMin) / range;
            bar = RECT{m_rcItem.left, m_rcItem.bottom - height, m_rcItem.right, m_rcItem.bottom};
        }
        if (bar.right > bar.left && bar.bottom > bar.top) CRenderEngine::DrawColor(hDC, bar, GetAdjustColor(m_dwActColor));
    }
    RECT thumb = GetThumbRect();
    CDuiString modify;
    modify.Format(L"dest='%d,%d,%d,%d'", thumb.left - m_rcItem.left, thumb.top - m_rcItem.top,
                  thumb.right - m_rcItem.left, thumb.bottom - m_rcItem.top);
    CDuiString* image = &m_sThumbImage;
    if ((m_uButtonState & UISTATE_CAPTURED) != 0) image = &m_sThumbPushedImage;
    else if ((m_uButtonState & UISTATE_HOT) != 0) image = &m_sThumbHotImage;
    if (!image->IsEmpty() && !DrawImage(hDC, *image, modify)) image->Empty();
}

// ---- Label that elides a prefix ----

LPVOID CMidEllipsisLabelUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"MidEllipsisLabel") == 0) return this;
    return CLabelUI::GetInterface(pstrName);
}

void CMidEllipsisLabelUI::SetLabelText(LPCTSTR text)
{
    m_sText = text;
    Invalidate();
}

CDuiString CMidEllipsisLabelUI::Lead() const
{
    // Language texts such as "Speaking:" end in a colon; a blank keeps the name from running into
    // it. A prefix that ends in a blank, or in a wide (CJK) character whose own width spaces it, is
    // used as it is.
    if (m_sPrefix.IsEmpty() || m_sText.IsEmpty()) return m_sPrefix;
    wchar_t last = m_sPrefix[m_sPrefix.GetLength() - 1];
    if (iswspace(last) || last >= 0x2E80) return m_sPrefix;
    return m_sPrefix + L" ";
}

void CMidEllipsisLabelUI::PaintText(HDC hDC)
{
    if (m_sPrefix.IsEmpty()) {
        CLabelUI::PaintText(hDC);
        return;
    }
    DWORD colour = m_dwTextColor;
    if (colour == 0 && m_pManager) colour = m_pManager->GetDefaultFontColor();
    RECT rc = Deflated(m_rcItem, m_rcTextPadding);
    UINT style = m_uTextStyle | DT_SINGLELINE;
    const UINT measure = DT_SINGLELINE | DT_VCENTER;
    int available = rc.right - rc.left;
    CDuiString lead = Lead();
    CDuiString whole = lead + m_sText;
    SIZE wholeSize = CRenderEngine::GetTextSize(hDC, m_pManager, whole, m_iFont, measure);
    if (wholeSize.cx <= available) {
        CRenderEngine::DrawText(hDC, m_pManager, rc, whole, colour, m_iFont, style);
        return;
    }
    SIZE textSize = CRenderEngine::GetTextSize(hDC, m_pManager, m_sText, m_iFont, measure);
    if (textSize.cx <= available) {
        // The prefix gives way; the text itself stays whole on the right.
        RECT prefixRc{rc.left, rc.top, rc.right - textSize.cx - 2, rc.bottom};
        CRenderEngine::DrawText(hDC, m_pManager, prefixRc, lead, colour, m_iFont, style | DT_END_ELLIPSIS);
        RECT textRc{prefixRc.right + 2, rc.top, rc.right, rc.bottom};
        CRenderEngine::DrawText(hDC, m_pManager, textRc, m_sText, colour, m_iFont, style);
        return;
    }
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, colour, m_iFont, style | DT_END_ELLIPSIS);
}

// ---- Flashing button ----

LPVOID CTextFlashBtnUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"TipFlashBtn") == 0) return this;
    return CButtonUI::GetInterface(pstrName);
}

void CTextFlashBtnUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"flashtextcolor1") == 0) m_dwFlashColor1 = ParseHexColour(pstrValue);
    else if (wcscmp(pstrName, L"flashtextcolor2") == 0) m_dwFlashColor2 = ParseHexColour(pstrValue);
    else CButtonUI::SetAttribute(pstrName, pstrValue);
}

void CTextFlashBtnUI::StartFlash()
{
    if (!m_pManager) return;
    m_pManager->KillTimer(this);
    m_nFlashCount = 20;
    m_bFlashing = true;
    m_pManager->SetTimer(this, kFlashTimer, 500);
}

void CTextFlashBtnUI::StopFlash()
{
    if (!IsEnabled() || !m_bFlashing) return;
    m_bFlashing = false;
    if (m_pManager) m_pManager->KillTimer(this);
    m_nFlashCount = 0;
    Invalidate();
}

void CTextFlashBtnUI::EndFlash()
{
    m_bFlashing = false;
    if (m_pManager) m_pManager->KillTimer(this);
}

void CTextFlashBtnUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_TIMER && event.wParam == kFlashTimer) {
        if (m_nFlashCount > 0) --m_nFlashCount;
        if (m_nFlashCount == 0) EndFlash();
        Invalidate();
        return;
    }
    if ((event.Type == UIEVENT_BUTTONDOWN || event.Type == UIEVENT_DBLCLICK) && IsEnabled() && m_bFlashing &&
        PtInRect(&m_rcItem, event.ptMouse)) {
        EndFlash();
        Invalidate();
    }
    CButtonUI::DoEvent(event);
}

void CTextFlashBtnUI::PaintText(HDC hDC)
{
    if (m_bFlashing && !IsEnabled()) EndFlash();
    if (!m_bFlashing) {
        CButtonUI::PaintText(hDC);
        return;
    }
    DWORD colour = (m_nFlashCount % 2) == 1 ? m_dwFlashColor1 : m_dwFlashColor2;
    RECT rc = Deflated(m_rcItem, m_rcTextPadding);
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, colour, m_iFont, m_uTextStyle);
}

// ---- Button that rests after a click ----

LPVOID COneClickBtnUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"OneClickBtn") == 0) return this;
    return CButtonUI::GetInterface(pstrName);
}

void COneClickBtnUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"clickelapse") == 0) m_uClickElapse = static_cast<UINT>(wcstoul(pstrValue, nullptr, 10));
    else CButtonUI::SetAttribute(pstrName, pstrValue);
}

void COneClickBtnUI::SetVisible(bool bVisible)
{
    if (bVisible && m_uClickElapse != 0) {
        if (m_pManager) m_pManager->KillTimer(this);
        SetEnabled(true);
    }
    CButtonUI::SetVisible(bVisible);
}

void COneClickBtnUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pParent) m_pParent->DoEvent(event);
        else CButtonUI::DoEvent(event);
        return;
    }
    bool inside = PtInRect(&m_rcItem, event.ptMouse) != FALSE;
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (inside && IsEnabled()) {
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
            m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            if (inside) ClickAndRest();
            Invalidate();
        }
        return;
    case UIEVENT_KEYDOWN:
        if (IsKeyboardEnabled() && IsEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
            ClickAndRest();
            Invalidate();
            return;
        }
        break;
    case UIEVENT_TIMER:
        if (event.wParam == kRestTimer) {
            if (m_pManager) m_pManager->KillTimer(this, kRestTimer);
            SetEnabled(true);
            return;
        }
        break;
    default:
        break;
    }
    CButtonUI::DoEvent(event);
}

void COneClickBtnUI::ClickAndRest()
{
    Activate();
    if (m_uClickElapse == 0) return;
    // Disabled quietly: the window must not hear of it, only the second click is lost.
    m_bEnabled = false;
    m_uButtonState = 0;
    if (m_pManager) m_pManager->SetTimer(this, kRestTimer, m_uClickElapse);
}

// ---- Recording check ----

LPVOID CRecordCheckUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"RecordCheck") == 0) return this;
    return COptionUI::GetInterface(pstrName);
}

void CRecordCheckUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"checkedbordercolor") == 0) m_dwCheckedBorderColor = ParseHexColour(pstrValue);
    else if (wcscmp(pstrName, L"selectedhottext") == 0) m_sSelectedHotText = pstrValue;
    else COptionUI::SetAttribute(pstrName, pstrValue);
}

void CRecordCheckUI::Selected(bool bSelected, bool bTriggerEvent)
{
    if (bSelected == m_bSelected) return;
    m_bSelected = bSelected;
    if (bSelected) m_uButtonState |= UISTATE_SELECTED;
    else m_uButtonState &= ~UISTATE_SELECTED;
    if (bTriggerEvent && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED, 0, 0, true);
    if (bSelected) m_uSeconds = 0;
    else if (m_pManager) m_pManager->KillTimer(this, kSecondTimer);
    Invalidate();
}

RECT CRecordCheckUI::ActiveRect() const
{
    RECT rc = m_rcItem;
    // Unchecked, only the round button on the left starts recording.
    if (!m_bSelected) rc.right = std::min<LONG>(rc.right, rc.left + kUncheckedWidth);
    return rc;
}

void CRecordCheckUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pParent) m_pParent->DoEvent(event);
        else COptionUI::DoEvent(event);
        return;
    }
    RECT active = ActiveRect();
    bool inside = PtInRect(&active, event.ptMouse) != FALSE;
    switch (event.Type) {
    case UIEVENT_MOUSEMOVE:
        if (inside) {
            m_uButtonState |= UISTATE_HOT;
        } else {
            m_uButtonState &= ~UISTATE_HOT;
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
        }
        if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
            if (inside) m_uButtonState |= UISTATE_PUSHED;
            else m_uButtonState &= ~UISTATE_PUSHED;
        }
        Invalidate();
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled() && inside) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (inside && IsEnabled()) {
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
            if (inside) Activate();
            m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            Invalidate();
        }
        return;
    case UIEVENT_SETCURSOR:
        if (inside) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return;
        }
        break;
    case UIEVENT_TIMER:
        if (event.wParam == kSecondTimer) {
            ++m_uSeconds;
            Invalidate();
            return;
        }
        break;
    default:
        break;
    }
    CButtonUI::DoEvent(event);
}

CDuiString CRecordCheckUI::RecordingText() const
{
    CDuiString text;
    text.Format(L"%s %02u:%02u:%02u", m_sText.GetString(), m_uSeconds / 3600, (m_uSeconds / 60) % 60, m_uSeconds % 60);
    return text;
}

void CRecordCheckUI::PaintText(HDC hDC)
{
    if (!m_bSelected) {
        CButtonUI::PaintText(hDC);
        return;
    }
    DWORD colour = m_dwSelectedTextColor != 0 ? m_dwSelectedTextColor : m_dwTextColor;
    if (colour == 0 && m_pManager) colour = m_pManager->GetDefaultFontColor();
    if (!IsEnabled() && m_pManager) colour = m_pManager->GetDefaultDisabledColor();
    RECT rc = Deflated(m_rcItem, m_rcTextPadding);
    if ((m_uButtonState & UISTATE_HOT) != 0) {
        CRenderEngine::DrawText(hDC, m_pManager, rc, m_sSelectedHotText, colour, m_iFont,
                                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        return;
    }
    CRenderEngine::DrawText(hDC, m_pManager, rc, RecordingText(), colour, m_iFont, m_uTextStyle);
}

void CRecordCheckUI::PaintStatusImage(HDC hDC)
{
    m_uButtonState &= ~UISTATE_PUSHED;
    if (!m_bSelected) {
        CButtonUI::PaintStatusImage(hDC);
    } else if ((m_uButtonState & UISTATE_HOT) != 0) {
        if (!m_sSelectedHotImage.IsEmpty() && !DrawImage(hDC, m_sSelectedHotImage)) m_sSelectedHotImage.Empty();
    } else if (!m_sSelectedImage.IsEmpty()) {
        if (!DrawImage(hDC, m_sSelectedImage)) m_sSelectedImage.Empty();
    } else if (m_dwSelectedBkColor != 0) {
        CRenderEngine::DrawColor(hDC, m_rcPaint, GetAdjustColor(m_dwSelectedBkColor));
        return;
    } else {
        CButtonUI::PaintStatusImage(hDC);
    }
    if (!m_sForeImage.IsEmpty() && !DrawImage(hDC, m_sForeImage)) m_sForeImage.Empty();
}

void CRecordCheckUI::PaintBorder(HDC hDC)
{
    if (m_nBorderSize <= 0) return;
    RECT rc = m_rcItem;
    DWORD colour = m_dwBorderColor;
    if (m_bSelected && m_dwCheckedBorderColor != 0) colour = m_dwCheckedBorderColor;
    else rc.right = std::min<LONG>(rc.right, rc.left + kUncheckedWidth);
    if (colour == 0) return;
    if (m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0)
        CRenderEngine::DrawRoundRect(hDC, rc, m_cxyBorderRound.cx, m_cxyBorderRound.cy, m_nBorderSize,
                                     GetAdjustColor(colour));
    else
        CRenderEngine::DrawRect(hDC, rc, m_nBorderSize, GetAdjustColor(colour));
}
