#include "platform/ui/UICommonControls.h"

#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

#include <olectl.h>

#include <algorithm>

namespace {

UINT ParseAlign(UINT style, const CDuiString& value)
{
    if (value.Find(L"left") >= 0) style = (style & ~(DT_CENTER | DT_RIGHT)) | DT_LEFT;
    if (value.Find(L"center") >= 0) style = (style & ~(DT_LEFT | DT_RIGHT)) | DT_CENTER;
    if (value.Find(L"right") >= 0) style = (style & ~(DT_LEFT | DT_CENTER)) | DT_RIGHT;
    if (value.Find(L"top") >= 0) style = (style & ~(DT_BOTTOM | DT_VCENTER)) | DT_TOP;
    if (value.Find(L"vcenter") >= 0) style = (style & ~(DT_TOP | DT_BOTTOM)) | DT_VCENTER;
    if (value.Find(L"bottom") >= 0) style = (style & ~(DT_TOP | DT_VCENTER)) | DT_BOTTOM;
    return style;
}

RECT Inner(const RECT& rc, const RECT& padding)
{
    return {rc.left + padding.left, rc.top + padding.top, rc.right - padding.right, rc.bottom - padding.bottom};
}

} // namespace

// ---- CLabelUI ----

CLabelUI::CLabelUI() = default;

LPVOID CLabelUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Label") == 0) return static_cast<CLabelUI*>(this);
    return CControlUI::GetInterface(pstrName);
}

void CLabelUI::SetTextStyle(UINT uStyle)
{
    m_uTextStyle = uStyle;
    Invalidate();
}

void CLabelUI::SetTextColor(DWORD dwTextColor)
{
    m_dwTextColor = dwTextColor;
    Invalidate();
}

void CLabelUI::SetDisabledTextColor(DWORD dwTextColor)
{
    m_dwDisabledTextColor = dwTextColor;
    Invalidate();
}

void CLabelUI::SetFont(int index)
{
    m_iFont = index;
    Invalidate();
}

void CLabelUI::SetTextPadding(RECT rc)
{
    m_rcTextPadding = rc;
    Invalidate();
}

void CLabelUI::SetShowHtml(bool bShowHtml)
{
    m_bShowHtml = bShowHtml;
    Invalidate();
}

SIZE CLabelUI::EstimateSize(SIZE szAvailable)
{
    if (m_cxyFixed.cy == 0 && m_pManager) {
        return {m_cxyFixed.cx, m_pManager->GetFontInfo(m_iFont)->tm.tmHeight + 4};
    }
    return CControlUI::EstimateSize(szAvailable);
}

void CLabelUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"align" || name == L"valign") SetTextStyle(ParseAlign(m_uTextStyle, pstrValue));
    else if (name == L"endellipsis") {
        if (ParseBool(pstrValue)) m_uTextStyle |= DT_END_ELLIPSIS;
        else m_uTextStyle &= ~DT_END_ELLIPSIS;
    } else if (name == L"multiline") {
        if (ParseBool(pstrValue)) m_uTextStyle = (m_uTextStyle & ~DT_SINGLELINE) | DT_WORDBREAK;
        else m_uTextStyle = (m_uTextStyle & ~DT_WORDBREAK) | DT_SINGLELINE;
    } else if (name == L"font") SetFont(_wtoi(pstrValue));
    else if (name == L"textcolor") SetTextColor(ParseColor(pstrValue));
    else if (name == L"disabledtextcolor") SetDisabledTextColor(ParseColor(pstrValue));
    else if (name == L"textpadding") SetTextPadding(ParseRect(pstrValue));
    else if (name == L"showhtml") SetShowHtml(ParseBool(pstrValue));
    else CControlUI::SetAttribute(pstrName, pstrValue);
}

DWORD CLabelUI::ResolveColor(DWORD color, bool disabled) const
{
    if (color != 0 || !m_pManager) return color;
    return disabled ? m_pManager->GetDefaultDisabledColor() : m_pManager->GetDefaultFontColor();
}

void CLabelUI::PaintText(HDC hDC)
{
    if (m_sText.IsEmpty() || !m_pManager) return;
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    DWORD color = IsEnabled() ? ResolveColor(m_dwTextColor, false) : ResolveColor(m_dwDisabledTextColor, true);
    if (m_bShowHtml) CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
    else CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
}

// ---- CTextUI ----

CTextUI::CTextUI()
{
    m_uTextStyle = DT_WORDBREAK;
}

LPVOID CTextUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Text") == 0) return static_cast<CTextUI*>(this);
    return CLabelUI::GetInterface(pstrName);
}

// ---- CButtonUI ----

CButtonUI::CButtonUI()
{
    m_uTextStyle = DT_SINGLELINE | DT_VCENTER | DT_CENTER;
}

LPVOID CButtonUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Button") == 0) return static_cast<CButtonUI*>(this);
    return CLabelUI::GetInterface(pstrName);
}

UINT CButtonUI::GetControlFlags() const
{
    return (IsKeyboardEnabled() ? UIFLAG_TABSTOP : 0) | (IsEnabled() ? UIFLAG_SETCURSOR : 0);
}

bool CButtonUI::Activate()
{
    if (!CControlUI::Activate()) return false;
    if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_CLICK);
    return true;
}

void CButtonUI::SetEnabled(bool bEnable)
{
    CControlUI::SetEnabled(bEnable);
    if (!IsEnabled()) m_uButtonState = 0;
}

void CButtonUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        else CLabelUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_SETFOCUS:
    case UIEVENT_KILLFOCUS:
        CLabelUI::DoEvent(event);
        return;
    case UIEVENT_KEYDOWN:
        if (IsKeyboardEnabled() && IsEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
            Activate();
            return;
        }
        break;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (PtInRect(&m_rcItem, event.ptMouse) && IsEnabled()) {
            m_uButtonState |= UISTATE_PUSHED | UISTATE_CAPTURED;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
            if (PtInRect(&m_rcItem, event.ptMouse)) m_uButtonState |= UISTATE_PUSHED;
            else m_uButtonState &= ~UISTATE_PUSHED;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if ((m_uButtonState & UISTATE_CAPTURED) != 0) {
            m_uButtonState &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
            Invalidate();
            if (PtInRect(&m_rcItem, event.ptMouse)) Activate();
        }
        return;
    case UIEVENT_CONTEXTMENU:
        if (IsContextMenuUsed() && m_pManager)
            m_pManager->SendNotify(this, L"menu", event.wParam, event.lParam);
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        if (IsEnabled()) {
            m_uButtonState &= ~UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_SETCURSOR:
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return;
    default:
        break;
    }
    CLabelUI::DoEvent(event);
}

void CButtonUI::SetNormalImage(LPCTSTR pStrImage)
{
    m_sNormalImage = pStrImage;
    Invalidate();
}

void CButtonUI::SetHotImage(LPCTSTR pStrImage)
{
    m_sHotImage = pStrImage;
    Invalidate();
}

void CButtonUI::SetPushedImage(LPCTSTR pStrImage)
{
    m_sPushedImage = pStrImage;
    Invalidate();
}

void CButtonUI::SetFocusedImage(LPCTSTR pStrImage)
{
    m_sFocusedImage = pStrImage;
    Invalidate();
}

void CButtonUI::SetDisabledImage(LPCTSTR pStrImage)
{
    m_sDisabledImage = pStrImage;
    Invalidate();
}

SIZE CButtonUI::EstimateSize(SIZE szAvailable)
{
    return CLabelUI::EstimateSize(szAvailable);
}

void CButtonUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"normalimage") SetNormalImage(pstrValue);
    else if (name == L"hotimage") SetHotImage(pstrValue);
    else if (name == L"pushedimage") SetPushedImage(pstrValue);
    else if (name == L"focusedimage") SetFocusedImage(pstrValue);
    else if (name == L"disabledimage") SetDisabledImage(pstrValue);
    else if (name == L"hottextcolor") SetHotTextColor(ParseColor(pstrValue));
    else if (name == L"pushedtextcolor") SetPushedTextColor(ParseColor(pstrValue));
    else if (name == L"focusedtextcolor") SetFocusedTextColor(ParseColor(pstrValue));
    else if (name == L"hotbkcolor") SetHotBkColor(ParseColor(pstrValue));
    else CLabelUI::SetAttribute(pstrName, pstrValue);
}

void CButtonUI::PaintText(HDC hDC)
{
    if (m_sText.IsEmpty() || !m_pManager) return;
    DWORD color = ResolveColor(m_dwTextColor, false);
    if ((m_uButtonState & UISTATE_PUSHED) && m_dwPushedTextColor) color = m_dwPushedTextColor;
    else if ((m_uButtonState & UISTATE_HOT) && m_dwHotTextColor) color = m_dwHotTextColor;
    else if (IsFocused() && m_dwFocusedTextColor) color = m_dwFocusedTextColor;
    if (!IsEnabled()) color = ResolveColor(m_dwDisabledTextColor, true);
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    if (m_bShowHtml) CRenderEngine::DrawHtmlText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
    else CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
}

bool CButtonUI::DrawStateImage(HDC hDC, CDuiString& image)
{
    if (image.IsEmpty()) return false;
    if (DrawImage(hDC, image)) return true;
    image.Empty();
    return false;
}

void CButtonUI::PaintStatusImage(HDC hDC)
{
    if (IsFocused()) m_uButtonState |= UISTATE_FOCUSED;
    else m_uButtonState &= ~UISTATE_FOCUSED;
    if (!IsEnabled()) m_uButtonState |= UISTATE_DISABLED;
    else m_uButtonState &= ~UISTATE_DISABLED;

    if ((m_uButtonState & UISTATE_DISABLED) && DrawStateImage(hDC, m_sDisabledImage)) return;
    if ((m_uButtonState & UISTATE_PUSHED) && DrawStateImage(hDC, m_sPushedImage)) return;
    if ((m_uButtonState & UISTATE_HOT)) {
        if (m_dwHotBkColor) CRenderEngine::DrawColor(hDC, m_rcPaint, m_dwHotBkColor);
        if (DrawStateImage(hDC, m_sHotImage)) return;
    }
    if ((m_uButtonState & UISTATE_FOCUSED) && DrawStateImage(hDC, m_sFocusedImage)) return;
    DrawStateImage(hDC, m_sNormalImage);
}

// ---- COptionUI ----

COptionUI::~COptionUI()
{
    if (!m_sGroupName.IsEmpty() && m_pManager) m_pManager->RemoveOptionGroup(m_sGroupName, this);
}

LPVOID COptionUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Option") == 0) return static_cast<COptionUI*>(this);
    return CButtonUI::GetInterface(pstrName);
}

void COptionUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit)
{
    CButtonUI::SetManager(pManager, pParent, bInit);
    if (bInit && !m_sGroupName.IsEmpty() && m_pManager) m_pManager->AddOptionGroup(m_sGroupName, this);
}

void COptionUI::SetGroup(LPCTSTR pStrGroupName)
{
    if (m_pManager && !m_sGroupName.IsEmpty()) m_pManager->RemoveOptionGroup(m_sGroupName, this);
    m_sGroupName = pStrGroupName ? pStrGroupName : L"";
    if (m_pManager && !m_sGroupName.IsEmpty()) m_pManager->AddOptionGroup(m_sGroupName, this);
    Selected(m_bSelected, false);
}

void COptionUI::Selected(bool bSelected, bool bTriggerEvent)
{
    if (m_bSelected == bSelected) return;
    m_bSelected = bSelected;
    if (m_bSelected) m_uButtonState |= UISTATE_SELECTED;
    else m_uButtonState &= ~UISTATE_SELECTED;
    if (m_pManager) {
        if (!m_sGroupName.IsEmpty() && m_bSelected) {
            std::vector<CControlUI*>* group = m_pManager->GetOptionGroup(m_sGroupName);
            if (group) {
                std::vector<CControlUI*> members = *group;
                for (CControlUI* member : members) {
                    auto* option = static_cast<COptionUI*>(member);
                    if (option != this) option->Selected(false, bTriggerEvent);
                }
            }
        }
        if (bTriggerEvent) m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTCHANGED);
    }
    Invalidate();
}

bool COptionUI::Activate()
{
    if (!CButtonUI::Activate()) return false;
    if (!m_sGroupName.IsEmpty()) Selected(true);
    else Selected(!m_bSelected);
    return true;
}

void COptionUI::SetEnabled(bool bEnable)
{
    CButtonUI::SetEnabled(bEnable);
    if (m_bSelected) m_uButtonState |= UISTATE_SELECTED;
}

void COptionUI::SetSelectedImage(LPCTSTR pStrImage)
{
    m_sSelectedImage = pStrImage;
    Invalidate();
}

void COptionUI::SetSelectedHotImage(LPCTSTR pStrImage)
{
    m_sSelectedHotImage = pStrImage;
    Invalidate();
}

void COptionUI::SetForeImage(LPCTSTR pStrImage)
{
    m_sForeImage = pStrImage;
    Invalidate();
}

void COptionUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"group") SetGroup(pstrValue);
    else if (name == L"selected") Selected(ParseBool(pstrValue), false);
    else if (name == L"selectedimage") SetSelectedImage(pstrValue);
    else if (name == L"selectedhotimage") SetSelectedHotImage(pstrValue);
    else if (name == L"foreimage") SetForeImage(pstrValue);
    else if (name == L"selectedbkcolor") SetSelectedBkColor(ParseColor(pstrValue));
    else if (name == L"selectedtextcolor") SetSelectedTextColor(ParseColor(pstrValue));
    else CButtonUI::SetAttribute(pstrName, pstrValue);
}

void COptionUI::PaintStatusImage(HDC hDC)
{
    bool drawn = false;
    if (m_bSelected) {
        drawn = ((m_uButtonState & UISTATE_HOT) && DrawStateImage(hDC, m_sSelectedHotImage)) ||
                DrawStateImage(hDC, m_sSelectedImage);
        // Without a selected picture the selected colour alone shows the state.
        if (!drawn && m_dwSelectedBkColor) {
            CRenderEngine::DrawColor(hDC, m_rcPaint, m_dwSelectedBkColor);
            drawn = true;
        }
    }
    if (!drawn) CButtonUI::PaintStatusImage(hDC);
    DrawStateImage(hDC, m_sForeImage);
}

void COptionUI::PaintText(HDC hDC)
{
    if (!m_bSelected || m_dwSelectedTextColor == 0 || !m_pManager) {
        CButtonUI::PaintText(hDC);
        return;
    }
    if (m_sText.IsEmpty()) return;
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    DWORD color = IsEnabled() ? m_dwSelectedTextColor : ResolveColor(m_dwDisabledTextColor, true);
    CRenderEngine::DrawText(hDC, m_pManager, rc, m_sText, color, m_iFont, m_uTextStyle);
}

LPVOID CCheckBoxUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"CheckBox") == 0) return static_cast<CCheckBoxUI*>(this);
    return COptionUI::GetInterface(pstrName);
}

// ---- CProgressUI ----

CProgressUI::CProgressUI()
{
    m_uTextStyle = DT_SINGLELINE | DT_CENTER;
    SetFixedHeight(12);
}

LPVOID CProgressUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Progress") == 0) return static_cast<CProgressUI*>(this);
    return CLabelUI::GetInterface(pstrName);
}

void CProgressUI::SetHorizontal(bool bHorizontal)
{
    m_bHorizontal = bHorizontal;
    Invalidate();
}

void CProgressUI::SetMinValue(int nMin)
{
    m_nMin = nMin;
    Invalidate();
}

void CProgressUI::SetMaxValue(int nMax)
{
    m_nMax = nMax;
    Invalidate();
}

void CProgressUI::SetValue(int nValue)
{
    // Out-of-range values are held at the ends, never drawn past them.
    m_nValue = std::max(m_nMin, std::min(nValue, m_nMax));
    Invalidate();
}

void CProgressUI::SetForeImage(LPCTSTR pStrImage)
{
    m_sForeImage = pStrImage;
    Invalidate();
}

void CProgressUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"foreimage") SetForeImage(pstrValue);
    else if (name == L"forecolor") m_dwForeColor = ParseColor(pstrValue);
    else if (name == L"hor") SetHorizontal(ParseBool(pstrValue));
    else if (name == L"min") SetMinValue(_wtoi(pstrValue));
    else if (name == L"max") SetMaxValue(_wtoi(pstrValue));
    else if (name == L"value") SetValue(_wtoi(pstrValue));
    else CLabelUI::SetAttribute(pstrName, pstrValue);
}

RECT CProgressUI::ForeRect() const
{
    RECT rc = m_rcItem;
    int span = m_nMax - m_nMin;
    if (span <= 0) return {rc.left, rc.top, rc.left, rc.bottom};
    if (m_bHorizontal) rc.right = rc.left + (m_nValue - m_nMin) * (rc.right - rc.left) / span;
    else rc.top = rc.bottom - (m_nValue - m_nMin) * (rc.bottom - rc.top) / span;
    return rc;
}

void CProgressUI::PaintStatusImage(HDC hDC)
{
    RECT fore = ForeRect();
    if (IsRectEmpty(&fore)) return;
    if (!m_sForeImage.IsEmpty()) {
        RECT rel{fore.left - m_rcItem.left, fore.top - m_rcItem.top, fore.right - m_rcItem.left,
                 fore.bottom - m_rcItem.top};
        const TImageInfo* image = m_pManager ? m_pManager->GetImageEx(ImageStringValue(m_sForeImage, L"file").IsEmpty()
                                                                          ? m_sForeImage.GetString()
                                                                          : ImageStringValue(m_sForeImage, L"file").GetString())
                                             : nullptr;
        CDuiString modify;
        if (image) {
            // The same share of the image as of the bar, so the image is revealed rather than squeezed.
            int w = GetWidth() > 0 ? GetWidth() : 1, h = GetHeight() > 0 ? GetHeight() : 1;
            RECT src{rel.left * image->nX / w, rel.top * image->nY / h, rel.right * image->nX / w,
                     rel.bottom * image->nY / h};
            modify.Format(L"dest='%d,%d,%d,%d' source='%d,%d,%d,%d'", rel.left, rel.top, rel.right, rel.bottom,
                          src.left, src.top, src.right, src.bottom);
        } else {
            modify.Format(L"dest='%d,%d,%d,%d'", rel.left, rel.top, rel.right, rel.bottom);
        }
        if (DrawImage(hDC, m_sForeImage, modify)) return;
        m_sForeImage.Empty();
    }
    if (m_dwForeColor) CRenderEngine::DrawColor(hDC, fore, m_dwForeColor);
}

// ---- CSliderUI ----

CSliderUI::CSliderUI()
{
    m_uTextStyle = DT_SINGLELINE | DT_CENTER;
}

LPVOID CSliderUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Slider") == 0) return static_cast<CSliderUI*>(this);
    return CProgressUI::GetInterface(pstrName);
}

UINT CSliderUI::GetControlFlags() const
{
    return IsEnabled() ? UIFLAG_SETCURSOR : 0;
}

void CSliderUI::SetEnabled(bool bEnable)
{
    CControlUI::SetEnabled(bEnable);
    if (!IsEnabled()) m_uButtonState = 0;
}

RECT CSliderUI::GetThumbRect() const
{
    int span = m_nMax - m_nMin;
    if (m_bHorizontal) {
        int travel = GetWidth() - m_szThumb.cx;
        int left = m_rcItem.left + (span > 0 ? (m_nValue - m_nMin) * travel / span : 0);
        int top = (m_rcItem.bottom + m_rcItem.top - m_szThumb.cy) / 2;
        return {left, top, left + m_szThumb.cx, top + m_szThumb.cy};
    }
    int travel = GetHeight() - m_szThumb.cy;
    int top = m_rcItem.bottom - m_szThumb.cy - (span > 0 ? (m_nValue - m_nMin) * travel / span : 0);
    int left = (m_rcItem.right + m_rcItem.left - m_szThumb.cx) / 2;
    return {left, top, left + m_szThumb.cx, top + m_szThumb.cy};
}

int CSliderUI::ValueAt(POINT pt) const
{
    int span = m_nMax - m_nMin;
    if (m_bHorizontal) {
        int travel = GetWidth() - m_szThumb.cx;
        if (travel <= 0) return m_nMin;
        int offset = pt.x - m_rcItem.left - m_szThumb.cx / 2;
        return m_nMin + std::max(0, std::min(offset, travel)) * span / travel;
    }
    int travel = GetHeight() - m_szThumb.cy;
    if (travel <= 0) return m_nMin;
    int offset = m_rcItem.bottom - pt.y - m_szThumb.cy / 2;
    return m_nMin + std::max(0, std::min(offset, travel)) * span / travel;
}

void CSliderUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_CAPTURED;
            RECT thumb = GetThumbRect();
            if (!PtInRect(&thumb, event.ptMouse)) SetValue(ValueAt(event.ptMouse));
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_uButtonState & UISTATE_CAPTURED) {
            m_uButtonState |= UISTATE_PUSHED;
            SetValue(ValueAt(event.ptMouse));
        }
        return;
    case UIEVENT_BUTTONUP:
        if (m_uButtonState & UISTATE_CAPTURED) {
            m_uButtonState &= ~(UISTATE_CAPTURED | UISTATE_PUSHED);
            SetValue(ValueAt(event.ptMouse));
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_VALUECHANGED);
        }
        return;
    case UIEVENT_SCROLLWHEEL:
        if (IsEnabled()) {
            SetValue(m_nValue + (LOWORD(event.wParam) == SB_LINEUP ? m_nStep : -m_nStep));
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_VALUECHANGED);
        }
        return;
    case UIEVENT_SETCURSOR:
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        return;
    case UIEVENT_MOUSEENTER:
        m_uButtonState |= UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    default:
        CControlUI::DoEvent(event);
    }
}

void CSliderUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"thumbimage") SetThumbImage(pstrValue);
    else if (name == L"thumbhotimage") SetThumbHotImage(pstrValue);
    else if (name == L"thumbpushedimage") SetThumbPushedImage(pstrValue);
    else if (name == L"thumbsize") SetThumbSize(ParseSize(pstrValue));
    else if (name == L"step") SetChangeStep(_wtoi(pstrValue));
    else CProgressUI::SetAttribute(pstrName, pstrValue);
}

void CSliderUI::PaintStatusImage(HDC hDC)
{
    CProgressUI::PaintStatusImage(hDC);
    RECT thumb = GetThumbRect();
    RECT rel{thumb.left - m_rcItem.left, thumb.top - m_rcItem.top, thumb.right - m_rcItem.left,
             thumb.bottom - m_rcItem.top};
    CDuiString modify;
    modify.Format(L"dest='%d,%d,%d,%d'", rel.left, rel.top, rel.right, rel.bottom);
    CDuiString* image = &m_sThumbImage;
    if ((m_uButtonState & UISTATE_CAPTURED) && !m_sThumbPushedImage.IsEmpty()) image = &m_sThumbPushedImage;
    else if ((m_uButtonState & UISTATE_HOT) && !m_sThumbHotImage.IsEmpty()) image = &m_sThumbHotImage;
    if (!image->IsEmpty() && DrawImage(hDC, *image, modify)) return;
    if (m_sThumbImage.IsEmpty()) CRenderEngine::DrawColor(hDC, thumb, 0xFF808080);
}

// ---- CEditUI and its native edit box ----

class CEditWnd {
public:
    static CEditWnd* Create(CEditUI* owner);
    HWND Handle() const { return m_hWnd; }
    void Reposition();
    void Detach() { m_pOwner = nullptr; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    RECT EditRect() const;

    HWND m_hWnd = nullptr;
    WNDPROC m_oldProc = nullptr;
    CEditUI* m_pOwner = nullptr;
    HBRUSH m_hBkBrush = nullptr;
};

namespace {
const wchar_t kEditProperty[] = L"LvUiEdit";
const wchar_t kReflectProperty[] = L"LvUiReflect";
} // namespace

CEditWnd* CEditWnd::Create(CEditUI* owner)
{
    CPaintManagerUI* manager = owner->GetManager();
    if (!manager || !manager->GetPaintWindow()) return nullptr;
    auto* wnd = new CEditWnd;
    wnd->m_pOwner = owner;
    DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_LEFT;
    if (owner->IsPasswordMode()) style |= ES_PASSWORD;
    RECT rc = wnd->EditRect();
    wnd->m_hWnd = CreateWindowExW(0, L"EDIT", nullptr, style, rc.left, rc.top, rc.right - rc.left,
                                  rc.bottom - rc.top, manager->GetPaintWindow(), nullptr,
                                  CPaintManagerUI::GetInstance(), nullptr);
    if (!wnd->m_hWnd) {
        delete wnd;
        return nullptr;
    }
    SetPropW(wnd->m_hWnd, kEditProperty, wnd);
    SetPropW(wnd->m_hWnd, kReflectProperty, reinterpret_cast<HANDLE>(1));
    wnd->m_oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(wnd->m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CEditWnd::Proc)));
    SendMessageW(wnd->m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(manager->GetFont(owner->GetFont())), TRUE);
    SendMessageW(wnd->m_hWnd, EM_LIMITTEXT, owner->GetMaxChar(), 0);
    if (owner->IsPasswordMode()) SendMessageW(wnd->m_hWnd, EM_SETPASSWORDCHAR, owner->GetPasswordChar(), 0);
    SetWindowTextW(wnd->m_hWnd, owner->GetText());
    SendMessageW(wnd->m_hWnd, EM_SETMODIFY, FALSE, 0);
    SendMessageW(wnd->m_hWnd, EM_SETSEL, 0, -1);
    ShowWindow(wnd->m_hWnd, SW_SHOWNOACTIVATE);
    SetFocus(wnd->m_hWnd);
    return wnd;
}

RECT CEditWnd::EditRect() const
{
    RECT rc = m_pOwner->GetPos();
    RECT padding = m_pOwner->GetTextPadding();
    rc.left += padding.left;
    rc.top += padding.top;
    rc.right -= padding.right;
    rc.bottom -= padding.bottom;
    // One line high, centred vertically in the control.
    TFontInfo* font = m_pOwner->GetManager()->GetFontInfo(m_pOwner->GetFont());
    int lineHeight = font->tm.tmHeight + 2;
    if (rc.bottom - rc.top > lineHeight) {
        rc.top += (rc.bottom - rc.top - lineHeight) / 2;
        rc.bottom = rc.top + lineHeight;
    }
    return rc;
}

void CEditWnd::Reposition()
{
    if (!m_pOwner) return;
    RECT rc = EditRect();
    SetWindowPos(m_hWnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK CEditWnd::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* wnd = static_cast<CEditWnd*>(GetPropW(hwnd, kEditProperty));
    if (!wnd) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return wnd->Handle(msg, wParam, lParam);
}

LRESULT CEditWnd::Handle(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case OCM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && m_pOwner) {
            int length = GetWindowTextLengthW(m_hWnd);
            std::wstring text(static_cast<size_t>(length) + 1, L'\0');
            GetWindowTextW(m_hWnd, &text[0], length + 1);
            text.resize(static_cast<size_t>(length));
            m_pOwner->m_sText = text.c_str();
            if (m_pOwner->GetManager()) m_pOwner->GetManager()->SendNotify(m_pOwner, DUI_MSGTYPE_TEXTCHANGED);
        }
        return 0;
    case OCM_CTLCOLOREDIT:
    case OCM_CTLCOLORSTATIC: {
        DWORD color = m_pOwner ? m_pOwner->GetNativeEditBkColor() : 0xFFFFFFFF;
        if (!m_hBkBrush) m_hBkBrush = CreateSolidBrush(RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkColor(dc, RGB((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF));
        DWORD text = m_pOwner ? m_pOwner->GetTextColor() : 0;
        ::SetTextColor(dc, RGB((text >> 16) & 0xFF, (text >> 8) & 0xFF, text & 0xFF));
        return reinterpret_cast<LRESULT>(m_hBkBrush);
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN && m_pOwner && m_pOwner->GetManager()) {
            m_pOwner->GetManager()->SendNotify(m_pOwner, DUI_MSGTYPE_RETURN);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\r') return 0; // no beep for Return in a one-line box
        break;
    case WM_KILLFOCUS: {
        LRESULT r = CallWindowProcW(m_oldProc, m_hWnd, msg, wParam, lParam);
        PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
        return r;
    }
    case WM_CLOSE:
        DestroyWindow(m_hWnd);
        return 0;
    case WM_NCDESTROY: {
        HWND hwnd = m_hWnd;
        WNDPROC old = m_oldProc;
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropW(hwnd, kEditProperty);
        RemovePropW(hwnd, kReflectProperty);
        if (m_pOwner) {
            m_pOwner->m_pWindow = nullptr;
            m_pOwner->m_uButtonState &= ~UISTATE_FOCUSED;
            m_pOwner->Invalidate();
        }
        if (m_hBkBrush) DeleteObject(m_hBkBrush);
        delete this;
        return CallWindowProcW(old, hwnd, msg, wParam, lParam);
    }
    default:
        break;
    }
    return CallWindowProcW(m_oldProc, m_hWnd, msg, wParam, lParam);
}

CEditUI::CEditUI()
{
    SetTextPadding({4, 3, 4, 3});
    SetBkColor(0xFFFFFFFF);
}

CEditUI::~CEditUI()
{
    if (m_pWindow) {
        CEditWnd* wnd = m_pWindow;
        m_pWindow = nullptr;
        wnd->Detach();
        DestroyWindow(wnd->Handle());
    }
}

LPVOID CEditUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Edit") == 0) return static_cast<CEditUI*>(this);
    return CLabelUI::GetInterface(pstrName);
}

UINT CEditUI::GetControlFlags() const
{
    return IsEnabled() ? UIFLAG_SETCURSOR | UIFLAG_TABSTOP : 0;
}

HWND CEditUI::GetNativeWindow() const
{
    return m_pWindow ? m_pWindow->Handle() : nullptr;
}

void CEditUI::StartEditing()
{
    if (m_pWindow || !IsEnabled() || m_bReadOnly || !IsVisible()) return;
    m_pWindow = CEditWnd::Create(this);
}

void CEditUI::SetEnabled(bool bEnable)
{
    CControlUI::SetEnabled(bEnable);
    if (!IsEnabled()) m_uButtonState = 0;
}

void CEditUI::SetText(LPCTSTR pstrText)
{
    m_sText = pstrText;
    if (m_pWindow) SetWindowTextW(m_pWindow->Handle(), m_sText);
    Invalidate();
}

void CEditUI::SetReadOnly(bool bReadOnly)
{
    m_bReadOnly = bReadOnly;
    if (m_pWindow) SendMessageW(m_pWindow->Handle(), EM_SETREADONLY, bReadOnly, 0);
    Invalidate();
}

void CEditUI::SetPasswordMode(bool bPasswordMode)
{
    m_bPasswordMode = bPasswordMode;
    Invalidate();
}

void CEditUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    if (m_pWindow) m_pWindow->Reposition();
}

void CEditUI::SetVisible(bool bVisible)
{
    CControlUI::SetVisible(bVisible);
    if (!IsVisible() && m_pWindow && m_pManager) m_pManager->SetFocus(nullptr);
}

void CEditUI::SetInternVisible(bool bVisible)
{
    CControlUI::SetInternVisible(bVisible);
    if (!IsVisible() && m_pWindow && m_pManager) m_pManager->SetFocus(nullptr);
}

SIZE CEditUI::EstimateSize(SIZE szAvailable)
{
    if (m_cxyFixed.cy == 0 && m_pManager) return {m_cxyFixed.cx, m_pManager->GetFontInfo(m_iFont)->tm.tmHeight + 6};
    return CControlUI::EstimateSize(szAvailable);
}

void CEditUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && event.Type > UIEVENT__MOUSEBEGIN && event.Type < UIEVENT__MOUSEEND) {
        if (m_pParent) m_pParent->DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_SETCURSOR:
        if (IsEnabled()) {
            SetCursor(LoadCursor(nullptr, IDC_IBEAM));
            return;
        }
        break;
    case UIEVENT_WINDOWSIZE:
        if (m_pWindow) m_pWindow->Reposition();
        return;
    case UIEVENT_SETFOCUS:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_FOCUSED;
            m_bFocused = true;
            Invalidate();
            StartEditing();
        }
        return;
    case UIEVENT_KILLFOCUS:
        m_bFocused = false;
        m_uButtonState &= ~UISTATE_FOCUSED;
        Invalidate();
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK:
        if (IsEnabled()) StartEditing();
        return;
    case UIEVENT_MOUSEMOVE:
    case UIEVENT_BUTTONUP:
    case UIEVENT_CONTEXTMENU:
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_MOUSELEAVE:
        if (IsEnabled()) {
            m_uButtonState &= ~UISTATE_HOT;
            Invalidate();
        }
        return;
    default:
        break;
    }
    CLabelUI::DoEvent(event);
}

void CEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"readonly") SetReadOnly(ParseBool(pstrValue));
    else if (name == L"password") SetPasswordMode(ParseBool(pstrValue));
    else if (name == L"maxchar") SetMaxChar(static_cast<UINT>(_wtoi(pstrValue)));
    else if (name == L"passwordchar") SetPasswordChar(*pstrValue ? *pstrValue : L'*');
    else if (name == L"nativebkcolor") SetNativeEditBkColor(ParseColor(pstrValue));
    else if (name == L"normalimage") m_sNormalImage = pstrValue;
    else if (name == L"hotimage") m_sHotImage = pstrValue;
    else if (name == L"focusedimage") m_sFocusedImage = pstrValue;
    else if (name == L"disabledimage") m_sDisabledImage = pstrValue;
    else CLabelUI::SetAttribute(pstrName, pstrValue);
}

void CEditUI::PaintStatusImage(HDC hDC)
{
    CDuiString* image = &m_sNormalImage;
    if (!IsEnabled() && !m_sDisabledImage.IsEmpty()) image = &m_sDisabledImage;
    else if ((m_uButtonState & UISTATE_FOCUSED) && !m_sFocusedImage.IsEmpty()) image = &m_sFocusedImage;
    else if ((m_uButtonState & UISTATE_HOT) && !m_sHotImage.IsEmpty()) image = &m_sHotImage;
    if (!image->IsEmpty() && !DrawImage(hDC, *image)) image->Empty();
}

void CEditUI::PaintText(HDC hDC)
{
    if (m_sText.IsEmpty() || !m_pManager || m_pWindow) return;
    CDuiString text = m_sText;
    if (m_bPasswordMode) text = CDuiString(m_cPasswordChar, m_sText.GetLength());
    RECT rc = Inner(m_rcItem, m_rcTextPadding);
    DWORD color = IsEnabled() ? ResolveColor(m_dwTextColor, false) : ResolveColor(m_dwDisabledTextColor, true);
    CRenderEngine::DrawText(hDC, m_pManager, rc, text, color, m_iFont, DT_SINGLELINE | m_uTextStyle);
}
