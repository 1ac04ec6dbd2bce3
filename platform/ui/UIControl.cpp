#include "platform/ui/UIControl.h"

#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

CControlUI::CControlUI() = default;

CControlUI::~CControlUI()
{
    OnDestroy(this);
    // Pending notifications, timers, hover and focus that point at this control are forgotten.
    if (m_pManager) m_pManager->ReapObjects(this);
}

void CControlUI::SetName(LPCTSTR pstrName)
{
    if (m_pManager) m_pManager->RenameControl(this, m_sName, pstrName);
    m_sName = pstrName;
}

LPVOID CControlUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"Control") == 0) return this;
    return nullptr;
}

bool CControlUI::Activate()
{
    return IsVisible() && IsEnabled();
}

void CControlUI::SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit)
{
    m_pManager = pManager;
    m_pParent = pParent;
    if (bInit && m_pParent) Init();
}

void CControlUI::SetText(LPCTSTR pstrText)
{
    if (m_sText == pstrText) return;
    m_sText = pstrText;
    Invalidate();
}

void CControlUI::SetBkColor(DWORD dwBackColor)
{
    if (m_dwBackColor == dwBackColor) return;
    m_dwBackColor = dwBackColor;
    Invalidate();
}

void CControlUI::SetBkImage(LPCTSTR pStrImage)
{
    if (m_sBkImage == pStrImage) return;
    m_sBkImage = pStrImage;
    Invalidate();
}

void CControlUI::SetBorderColor(DWORD dwBorderColor)
{
    m_dwBorderColor = dwBorderColor;
    Invalidate();
}

void CControlUI::SetFocusBorderColor(DWORD dwBorderColor)
{
    m_dwFocusBorderColor = dwBorderColor;
    Invalidate();
}

void CControlUI::SetBorderSize(int nSize)
{
    m_nBorderSize = nSize;
    Invalidate();
}

void CControlUI::SetBorderRound(SIZE cxyRound)
{
    m_cxyBorderRound = cxyRound;
    Invalidate();
}

bool CControlUI::DrawImage(HDC hDC, LPCTSTR pStrImage, LPCTSTR pStrModify)
{
    return CRenderEngine::DrawImageString(hDC, m_pManager, m_rcItem, m_rcPaint, pStrImage, pStrModify);
}

void CControlUI::SetPos(RECT rc)
{
    if (rc.right < rc.left) rc.right = rc.left;
    if (rc.bottom < rc.top) rc.bottom = rc.top;
    RECT invalid = m_rcItem;
    if (IsRectEmpty(&invalid)) invalid = rc;
    m_rcItem = rc;
    m_bUpdateNeeded = false;
    if (m_pManager) {
        UnionRect(&invalid, &invalid, &m_rcItem);
        m_pManager->Invalidate(invalid);
    }
    OnSize(this);
}

void CControlUI::SetPadding(RECT rcPadding)
{
    m_rcPadding = rcPadding;
    NeedParentUpdate();
}

void CControlUI::SetFixedXY(SIZE szXY)
{
    m_cXY = szXY;
    NeedParentUpdate();
}

void CControlUI::SetFixedWidth(int cx)
{
    if (cx < 0) return;
    m_cxyFixed.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetFixedHeight(int cy)
{
    if (cy < 0) return;
    m_cxyFixed.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetMinWidth(int cx)
{
    if (cx >= 0) m_cxyMin.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetMaxWidth(int cx)
{
    if (cx >= 0) m_cxyMax.cx = cx;
    NeedParentUpdate();
}

void CControlUI::SetMinHeight(int cy)
{
    if (cy >= 0) m_cxyMin.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetMaxHeight(int cy)
{
    if (cy >= 0) m_cxyMax.cy = cy;
    NeedParentUpdate();
}

void CControlUI::SetVisible(bool bVisible)
{
    if (m_bVisible == bVisible) return;
    bool wasVisible = IsVisible();
    m_bVisible = bVisible;
    if (m_bFocused && !bVisible) m_bFocused = false;
    if (m_pManager && !IsVisible() && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
    if (m_pManager && !IsVisible()) m_pManager->EndHover(this);
    if (IsVisible() != wasVisible) NeedParentUpdate();
}

void CControlUI::SetInternVisible(bool bVisible)
{
    m_bInternVisible = bVisible;
    if (!bVisible && m_pManager && m_pManager->GetFocus() == this) m_pManager->SetFocus(nullptr);
    if (!bVisible && m_pManager) m_pManager->EndHover(this);
}

void CControlUI::SetEnabled(bool bEnable)
{
    if (m_bEnabled == bEnable) return;
    m_bEnabled = bEnable;
    if (!bEnable && m_pManager) m_pManager->EndHover(this);
    Invalidate();
}

void CControlUI::SetFocus()
{
    if (m_pManager) m_pManager->SetFocus(this);
}

void CControlUI::SetFloat(bool bFloat)
{
    if (m_bFloat == bFloat) return;
    m_bFloat = bFloat;
    NeedParentUpdate();
}

CControlUI* CControlUI::FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags)
{
    if ((uFlags & UIFIND_VISIBLE) != 0 && !IsVisible()) return nullptr;
    if ((uFlags & UIFIND_ENABLED) != 0 && !IsEnabled()) return nullptr;
    if ((uFlags & UIFIND_HITTEST) != 0) {
        if (!m_bMouseEnabled) return nullptr;
        if (!PtInRect(&m_rcItem, *static_cast<LPPOINT>(pData))) return nullptr;
    }
    return Proc(this, pData);
}

void CControlUI::Invalidate()
{
    if (!IsVisible() || !m_pManager) return;
    RECT invalid = m_rcItem;
    // Clipped by every parent, so a scrolled-away control does not repaint the window.
    for (CControlUI* parent = m_pParent; parent; parent = parent->GetParent()) {
        RECT parentRect = parent->GetPos();
        if (!IntersectRect(&invalid, &invalid, &parentRect)) return;
    }
    m_pManager->Invalidate(invalid);
}

void CControlUI::NeedUpdate()
{
    if (!IsVisible()) return;
    m_bUpdateNeeded = true;
    Invalidate();
    if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::NeedParentUpdate()
{
    if (m_pParent) {
        m_pParent->NeedUpdate();
        m_pParent->Invalidate();
    } else {
        NeedUpdate();
    }
    if (m_pManager) m_pManager->NeedUpdate();
}

void CControlUI::Init()
{
    DoInit();
    OnInit(this);
}

void CControlUI::Event(TEventUI& event)
{
    if (OnEvent(&event)) DoEvent(event);
}

void CControlUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_SETCURSOR) {
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        return;
    }
    if (event.Type == UIEVENT_SETFOCUS) {
        m_bFocused = true;
        Invalidate();
        return;
    }
    if (event.Type == UIEVENT_KILLFOCUS) {
        m_bFocused = false;
        Invalidate();
        return;
    }
    if (event.Type == UIEVENT_TIMER) {
        if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TIMER, event.wParam, event.lParam);
        return;
    }
    if (event.Type == UIEVENT_CONTEXTMENU && m_bMenuUsed) {
        if (m_pManager) m_pManager->SendNotify(this, L"menu", event.wParam, event.lParam);
        return;
    }
    // Unhandled events go up the tree, so a container sees its children's wheel and keys.
    if (m_pParent) m_pParent->DoEvent(event);
}

void CControlUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"pos") {
        RECT rc = ParseRect(pstrValue);
        m_rcFloat = rc;
        m_cXY = {rc.left, rc.top};
        m_cxyFixed = {rc.right - rc.left, rc.bottom - rc.top};
        NeedParentUpdate();
    } else if (name == L"padding") SetPadding(ParseRect(pstrValue));
    else if (name == L"bkcolor" || name == L"bkcolor1") SetBkColor(ParseColor(pstrValue));
    else if (name == L"bordercolor") SetBorderColor(ParseColor(pstrValue));
    else if (name == L"focusbordercolor") SetFocusBorderColor(ParseColor(pstrValue));
    else if (name == L"bordersize") SetBorderSize(_wtoi(pstrValue));
    else if (name == L"borderround") SetBorderRound(ParseSize(pstrValue));
    else if (name == L"bkimage") SetBkImage(pstrValue);
    else if (name == L"width") SetFixedWidth(_wtoi(pstrValue));
    else if (name == L"height") SetFixedHeight(_wtoi(pstrValue));
    else if (name == L"minwidth") SetMinWidth(_wtoi(pstrValue));
    else if (name == L"minheight") SetMinHeight(_wtoi(pstrValue));
    else if (name == L"maxwidth") SetMaxWidth(_wtoi(pstrValue));
    else if (name == L"maxheight") SetMaxHeight(_wtoi(pstrValue));
    else if (name == L"name") SetName(pstrValue);
    else if (name == L"text") SetText(pstrValue);
    else if (name == L"tooltip") SetToolTip(pstrValue);
    else if (name == L"userdata") SetUserData(pstrValue);
    else if (name == L"enabled") SetEnabled(ParseBool(pstrValue));
    else if (name == L"mouse") SetMouseEnabled(ParseBool(pstrValue));
    else if (name == L"keyboard") SetKeyboardEnabled(ParseBool(pstrValue));
    else if (name == L"visible") SetVisible(ParseBool(pstrValue));
    else if (name == L"float") SetFloat(ParseBool(pstrValue));
    else if (name == L"menu") m_bMenuUsed = ParseBool(pstrValue);
}

CControlUI* CControlUI::ApplyAttributeList(LPCTSTR pstrList)
{
    ForEachAttribute(pstrList, [this](const CDuiString& name, const CDuiString& value) { SetAttribute(name, value); });
    return this;
}

SIZE CControlUI::EstimateSize(SIZE)
{
    return m_cxyFixed;
}

void CControlUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
    PaintBkColor(hDC);
    PaintBkImage(hDC);
    PaintStatusImage(hDC);
    PaintText(hDC);
    PaintBorder(hDC);
}

void CControlUI::PaintBkColor(HDC hDC)
{
    if (m_dwBackColor != 0) CRenderEngine::DrawColor(hDC, m_rcPaint, GetAdjustColor(m_dwBackColor));
}

void CControlUI::PaintBkImage(HDC hDC)
{
    if (m_sBkImage.IsEmpty()) return;
    if (!DrawImage(hDC, m_sBkImage)) m_sBkImage.Empty();
}

void CControlUI::PaintStatusImage(HDC) {}

void CControlUI::PaintText(HDC) {}

void CControlUI::PaintBorder(HDC hDC)
{
    if (m_nBorderSize <= 0) return;
    DWORD color = (m_bFocused && m_dwFocusBorderColor != 0) ? m_dwFocusBorderColor : m_dwBorderColor;
    if (color == 0) return;
    if (m_cxyBorderRound.cx > 0 || m_cxyBorderRound.cy > 0)
        CRenderEngine::DrawRoundRect(hDC, m_rcItem, m_cxyBorderRound.cx, m_cxyBorderRound.cy, m_nBorderSize,
                                     GetAdjustColor(color));
    else
        CRenderEngine::DrawRect(hDC, m_rcItem, m_nBorderSize, GetAdjustColor(color));
}
