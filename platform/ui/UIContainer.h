// Containers: the child list with scroll bars, the vertical, horizontal and tab layouts.
#pragma once
#include "platform/ui/UIControl.h"

class CScrollBarUI;

class IContainerUI {
public:
    virtual ~IContainerUI() = default;
    virtual CControlUI* GetItemAt(int iIndex) const = 0;
    virtual int GetItemIndex(CControlUI* pControl) const = 0;
    virtual bool SetItemIndex(CControlUI* pControl, int iIndex) = 0;
    virtual int GetCount() const = 0;
    virtual bool Add(CControlUI* pControl) = 0;
    virtual bool AddAt(CControlUI* pControl, int iIndex) = 0;
    virtual bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) = 0;
    virtual bool RemoveAt(int iIndex, bool bDoNotDestroy = false) = 0;
    virtual void RemoveAll() = 0;
};

class CContainerUI : public CControlUI, public IContainerUI {
public:
    CContainerUI();
    ~CContainerUI() override;

    LPCTSTR GetClass() const override { return L"ContainerUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    CControlUI* GetItemAt(int iIndex) const override;
    int GetItemIndex(CControlUI* pControl) const override;
    bool SetItemIndex(CControlUI* pControl, int iIndex) override;
    int GetCount() const override { return static_cast<int>(m_items.size()); }
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;

    bool IsAutoDestroy() const { return m_bAutoDestroy; }
    void SetAutoDestroy(bool bAuto) { m_bAutoDestroy = bAuto; }
    bool IsDelayedDestroy() const { return m_bDelayedDestroy; }
    void SetDelayedDestroy(bool bDelayed) { m_bDelayedDestroy = bDelayed; }
    RECT GetInset() const { return m_rcInset; }
    void SetInset(RECT rcInset);
    int GetChildPadding() const { return m_iChildPadding; }
    void SetChildPadding(int iPadding);
    bool IsMouseChildEnabled() const { return m_bMouseChildEnabled; }
    void SetMouseChildEnabled(bool bEnable = true) { m_bMouseChildEnabled = bEnable; }

    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;
    void SetEnabled(bool bEnable = true) override;
    void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
    CControlUI* FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags) override;

    void SetPos(RECT rc) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

    // Scrolling: the position is how far the content is moved up and left.
    virtual SIZE GetScrollPos() const;
    virtual SIZE GetScrollRange() const;
    virtual void SetScrollPos(SIZE szPos);
    virtual void LineUp();
    virtual void LineDown();
    virtual void PageUp();
    virtual void PageDown();
    virtual void HomeUp();
    virtual void EndDown();
    virtual void LineLeft();
    virtual void LineRight();
    virtual void PageLeft();
    virtual void PageRight();
    virtual void HomeLeft();
    virtual void EndRight();
    virtual void EnableScrollBar(bool bEnableVertical = true, bool bEnableHorizontal = false);
    virtual CScrollBarUI* GetVerticalScrollBar() const { return m_pVerticalScrollBar; }
    virtual CScrollBarUI* GetHorizontalScrollBar() const { return m_pHorizontalScrollBar; }

protected:
    // Shows or hides the scroll bars for content of cxRequired x cyRequired in rc.
    virtual void ProcessScrollBar(RECT rc, int cxRequired, int cyRequired);
    // Places a floating child at its "pos" relative to this container.
    void SetFloatPos(CControlUI* pControl);
    // The content rectangle: the item less inset and visible scroll bars.
    RECT ContentRect() const;
    void ScrollBy(int cx, int cy);
    SIZE PageSize() const;

    std::vector<CControlUI*> m_items;
    RECT m_rcInset{0, 0, 0, 0};
    int m_iChildPadding = 0;
    bool m_bAutoDestroy = true;
    bool m_bDelayedDestroy = true;
    bool m_bMouseChildEnabled = true;
    bool m_bScrollProcess = false;
    CScrollBarUI* m_pVerticalScrollBar = nullptr;
    CScrollBarUI* m_pHorizontalScrollBar = nullptr;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override { return L"VerticalLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override { return L"HorizontalLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetPos(RECT rc) override;
};

// Shows one child at a time; "tabselect" carries the new and the old index.
class CTabLayoutUI : public CContainerUI {
public:
    LPCTSTR GetClass() const override { return L"TabLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    void RemoveAll() override;
    int GetCurSel() const { return m_iCurSel; }
    virtual bool SelectItem(int iIndex, bool bTriggerEvent = true);
    bool SelectItem(CControlUI* pControl);
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

private:
    int m_iCurSel = -1;
    int m_iPendingSel = -1;
};

class CScrollBarUI : public CControlUI {
public:
    CScrollBarUI();
    LPCTSTR GetClass() const override { return L"ScrollBarUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return 0; }

    CContainerUI* GetOwner() const { return m_pOwner; }
    void SetOwner(CContainerUI* pOwner) { m_pOwner = pOwner; }
    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool bHorizontal = true);
    int GetScrollRange() const { return m_nRange; }
    void SetScrollRange(int nRange);
    int GetScrollPos() const { return m_nScrollPos; }
    void SetScrollPos(int nPos);
    int GetLineSize() const { return m_nLineSize; }
    void SetLineSize(int nSize) { m_nLineSize = nSize > 0 ? nSize : 1; }
    RECT GetThumbRect() const { return m_rcThumb; }

    void SetPos(RECT rc) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintBkColor(HDC hDC) override;
    void PaintStatusImage(HDC hDC) override;

private:
    void UpdateThumb();
    void ScrollTo(int nPos);

    CContainerUI* m_pOwner = nullptr;
    bool m_bHorizontal = false;
    int m_nRange = 100;
    int m_nScrollPos = 0;
    int m_nLineSize = 8;
    RECT m_rcThumb{0, 0, 0, 0};
    bool m_bDragging = false;
    POINT m_ptDragStart{0, 0};
    int m_nDragStartPos = 0;
    DWORD m_dwThumbColor = 0xFFC0C0C0;
    DWORD m_dwThumbHotColor = 0xFFA0A0A0;
    DWORD m_dwTrackColor = 0xFFF0F0F0;
    CDuiString m_sThumbImage;
    UINT m_uThumbState = 0;
};
