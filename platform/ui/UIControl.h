// The base of every control: geometry, state, attributes, events and the paint order.
#pragma once
#include "platform/ui/UIBase.h"

typedef CControlUI*(CALLBACK* FINDCONTROLPROC)(CControlUI*, LPVOID);

class CControlUI {
public:
    CControlUI();
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    virtual CDuiString GetName() const { return m_sName; }
    virtual void SetName(LPCTSTR pstrName);
    virtual LPCTSTR GetClass() const { return L"ControlUI"; }
    virtual LPVOID GetInterface(LPCTSTR pstrName);
    virtual UINT GetControlFlags() const { return 0; }
    virtual bool Activate();
    virtual CPaintManagerUI* GetManager() const { return m_pManager; }
    virtual void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true);
    virtual CControlUI* GetParent() const { return m_pParent; }

    virtual CDuiString GetText() const { return m_sText; }
    virtual void SetText(LPCTSTR pstrText);

    DWORD GetBkColor() const { return m_dwBackColor; }
    void SetBkColor(DWORD dwBackColor);
    LPCTSTR GetBkImage() const { return m_sBkImage; }
    void SetBkImage(LPCTSTR pStrImage);
    DWORD GetBorderColor() const { return m_dwBorderColor; }
    void SetBorderColor(DWORD dwBorderColor);
    DWORD GetFocusBorderColor() const { return m_dwFocusBorderColor; }
    void SetFocusBorderColor(DWORD dwBorderColor);
    int GetBorderSize() const { return m_nBorderSize; }
    void SetBorderSize(int nSize);
    SIZE GetBorderRound() const { return m_cxyBorderRound; }
    void SetBorderRound(SIZE cxyRound);
    // Draws an image string into the control; false when the image cannot be loaded.
    bool DrawImage(HDC hDC, LPCTSTR pStrImage, LPCTSTR pStrModify = nullptr);

    virtual const RECT& GetPos() const { return m_rcItem; }
    virtual void SetPos(RECT rc);
    virtual int GetWidth() const { return m_rcItem.right - m_rcItem.left; }
    virtual int GetHeight() const { return m_rcItem.bottom - m_rcItem.top; }
    virtual RECT GetPadding() const { return m_rcPadding; }
    virtual void SetPadding(RECT rcPadding);
    virtual SIZE GetFixedXY() const { return m_cXY; }
    virtual void SetFixedXY(SIZE szXY);
    virtual int GetFixedWidth() const { return m_cxyFixed.cx; }
    virtual void SetFixedWidth(int cx);
    virtual int GetFixedHeight() const { return m_cxyFixed.cy; }
    virtual void SetFixedHeight(int cy);
    virtual int GetMinWidth() const { return m_cxyMin.cx; }
    virtual void SetMinWidth(int cx);
    virtual int GetMaxWidth() const { return m_cxyMax.cx; }
    virtual void SetMaxWidth(int cx);
    virtual int GetMinHeight() const { return m_cxyMin.cy; }
    virtual void SetMinHeight(int cy);
    virtual int GetMaxHeight() const { return m_cxyMax.cy; }
    virtual void SetMaxHeight(int cy);

    virtual CDuiString GetToolTip() const { return m_sToolTip; }
    virtual void SetToolTip(LPCTSTR pstrText) { m_sToolTip = pstrText; }
    virtual void SetUserData(LPCTSTR pstrText) { m_sUserData = pstrText; }
    virtual CDuiString GetUserData() const { return m_sUserData; }
    virtual UINT_PTR GetTag() const { return m_pTag; }
    virtual void SetTag(UINT_PTR pTag) { m_pTag = pTag; }

    virtual bool IsVisible() const { return m_bVisible && m_bInternVisible; }
    virtual void SetVisible(bool bVisible = true);
    virtual void SetInternVisible(bool bVisible = true);
    virtual bool IsEnabled() const { return m_bEnabled; }
    virtual void SetEnabled(bool bEnable = true);
    virtual bool IsMouseEnabled() const { return m_bMouseEnabled; }
    virtual void SetMouseEnabled(bool bEnable = true) { m_bMouseEnabled = bEnable; }
    virtual bool IsKeyboardEnabled() const { return m_bKeyboardEnabled; }
    virtual void SetKeyboardEnabled(bool bEnable = true) { m_bKeyboardEnabled = bEnable; }
    virtual bool IsFocused() const { return m_bFocused; }
    virtual void SetFocus();
    bool IsContextMenuUsed() const { return m_bMenuUsed; }
    void SetContextMenuUsed(bool bMenuUsed) { m_bMenuUsed = bMenuUsed; }
    virtual bool IsFloat() const { return m_bFloat; }
    virtual void SetFloat(bool bFloat = true);

    virtual CControlUI* FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags);

    void Invalidate();
    bool IsUpdateNeeded() const { return m_bUpdateNeeded; }
    void NeedUpdate();
    void NeedParentUpdate();
    // A colour adjusted by the manager's hue/saturation/lightness setting (none here: the colour itself).
    DWORD GetAdjustColor(DWORD dwColor) const { return dwColor; }

    virtual void Init();
    virtual void DoInit() {}
    virtual void Event(TEventUI& event);
    virtual void DoEvent(TEventUI& event);

    virtual void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue);
    CControlUI* ApplyAttributeList(LPCTSTR pstrList);

    virtual SIZE EstimateSize(SIZE szAvailable);

    virtual void DoPaint(HDC hDC, const RECT& rcPaint);
    virtual void PaintBkColor(HDC hDC);
    virtual void PaintBkImage(HDC hDC);
    virtual void PaintStatusImage(HDC hDC);
    virtual void PaintText(HDC hDC);
    virtual void PaintBorder(HDC hDC);

    virtual void DoPostPaint(HDC, const RECT&) {}

    CEventSource OnInit;
    CEventSource OnDestroy;
    CEventSource OnSize;
    CEventSource OnEvent;
    CEventSource OnNotify;

protected:
    CPaintManagerUI* m_pManager = nullptr;
    CControlUI* m_pParent = nullptr;
    CDuiString m_sName;
    bool m_bUpdateNeeded = true;
    bool m_bMenuUsed = false;
    RECT m_rcItem{0, 0, 0, 0};
    RECT m_rcPadding{0, 0, 0, 0};
    SIZE m_cXY{0, 0};
    SIZE m_cxyFixed{0, 0};
    SIZE m_cxyMin{0, 0};
    SIZE m_cxyMax{9999, 9999};
    bool m_bVisible = true;
    bool m_bInternVisible = true;
    bool m_bEnabled = true;
    bool m_bMouseEnabled = true;
    bool m_bKeyboardEnabled = true;
    bool m_bFocused = false;
    bool m_bFloat = false;
    bool m_bSetPos = false;
    RECT m_rcFloat{0, 0, 0, 0};

    CDuiString m_sText;
    CDuiString m_sToolTip;
    CDuiString m_sUserData;
    UINT_PTR m_pTag = 0;

    DWORD m_dwBackColor = 0;
    CDuiString m_sBkImage;
    DWORD m_dwBorderColor = 0;
    DWORD m_dwFocusBorderColor = 0;
    int m_nBorderSize = 0;
    SIZE m_cxyBorderRound{0, 0};
    RECT m_rcPaint{0, 0, 0, 0};
};
