// The list family (list, header, elements) and the combo box with its drop-down window.
#pragma once
#include "platform/ui/UICommonControls.h"
#include "platform/ui/UIContainer.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIWindow.h"

#define UILIST_MAX_COLUMNS 32

struct TListInfoUI {
    int nColumns = 0;
    RECT rcColumn[UILIST_MAX_COLUMNS]{};
    int nFont = -1;
    UINT uTextStyle = DT_VCENTER | DT_SINGLELINE;
    RECT rcTextPadding{0, 0, 0, 0};
    DWORD dwTextColor = 0xFF000000;
    DWORD dwBkColor = 0;
    DWORD dwSelectedTextColor = 0xFF000000;
    DWORD dwSelectedBkColor = 0xFFC1E3FF;
    DWORD dwHotTextColor = 0xFF000000;
    DWORD dwHotBkColor = 0xFFE9F5FF;
    DWORD dwDisabledTextColor = 0xFFCCCCCC;
    DWORD dwDisabledBkColor = 0xFFFFFFFF;
    DWORD dwLineColor = 0;
    bool bShowHtml = false;
    bool bAlternateBk = false;
};

class IListOwnerUI {
public:
    virtual ~IListOwnerUI() = default;
    virtual TListInfoUI* GetListInfo() = 0;
    virtual int GetCurSel() const = 0;
    virtual bool SelectItem(int iIndex, bool bTakeFocus = false) = 0;
    virtual void DoEvent(TEventUI& event) = 0;
};

class IListItemUI {
public:
    virtual ~IListItemUI() = default;
    virtual int GetIndex() const = 0;
    virtual void SetIndex(int iIndex) = 0;
    virtual IListOwnerUI* GetOwner() = 0;
    virtual void SetOwner(CControlUI* pOwner) = 0;
    virtual bool IsSelected() const = 0;
    virtual bool Select(bool bSelect = true) = 0;
    virtual void DrawItemText(HDC hDC, const RECT& rcItem) = 0;
};

// Applies the "item*" attributes shared by lists and combos; false when the name is not one of them.
bool ApplyListInfoAttribute(TListInfoUI& info, const CDuiString& name, LPCTSTR value);

class CListHeaderItemUI : public CControlUI {
public:
    LPCTSTR GetClass() const override { return L"ListHeaderItemUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void PaintText(HDC hDC) override;

private:
    DWORD m_dwTextColor = 0;
    int m_iFont = -1;
    UINT m_uTextStyle = DT_VCENTER | DT_CENTER | DT_SINGLELINE;
    RECT m_rcTextPadding{2, 0, 2, 0};
};

class CListHeaderUI : public CHorizontalLayoutUI {
public:
    LPCTSTR GetClass() const override { return L"ListHeaderUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    SIZE EstimateSize(SIZE szAvailable) override;
};

class CListElementUI : public CControlUI, public IListItemUI {
public:
    LPCTSTR GetClass() const override { return L"ListElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_WANTRETURN; }

    int GetIndex() const override { return m_iIndex; }
    void SetIndex(int iIndex) override { m_iIndex = iIndex; }
    IListOwnerUI* GetOwner() override { return m_pOwner; }
    void SetOwner(CControlUI* pOwner) override;
    bool IsSelected() const override { return m_bSelected; }
    bool Select(bool bSelect = true) override;
    bool IsHot() const { return (m_uButtonState & UISTATE_HOT) != 0; }
    bool Activate() override;
    void SetVisible(bool bVisible = true) override;

    void DoEvent(TEventUI& event) override;
    virtual void DrawItemBk(HDC hDC, const RECT& rcItem);
    void DrawItemText(HDC, const RECT&) override {}

protected:
    int m_iIndex = -1;
    bool m_bSelected = false;
    UINT m_uButtonState = 0;
    IListOwnerUI* m_pOwner = nullptr;
};

class CListLabelElementUI : public CListElementUI {
public:
    LPCTSTR GetClass() const override { return L"ListLabelElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoEvent(TEventUI& event) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void DrawItemText(HDC hDC, const RECT& rcItem) override;
};

class CListContainerElementUI : public CContainerUI, public IListItemUI {
public:
    LPCTSTR GetClass() const override { return L"ListContainerElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_WANTRETURN; }

    int GetIndex() const override { return m_iIndex; }
    void SetIndex(int iIndex) override { m_iIndex = iIndex; }
    IListOwnerUI* GetOwner() override { return m_pOwner; }
    void SetOwner(CControlUI* pOwner) override;
    bool IsSelected() const override { return m_bSelected; }
    bool Select(bool bSelect = true) override;
    bool IsHot() const { return (m_uButtonState & UISTATE_HOT) != 0; }
    bool Activate() override;

    void DoEvent(TEventUI& event) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    virtual void DrawItemBk(HDC hDC, const RECT& rcItem);
    void DrawItemText(HDC, const RECT&) override {}

protected:
    int m_iIndex = -1;
    bool m_bSelected = false;
    UINT m_uButtonState = 0;
    IListOwnerUI* m_pOwner = nullptr;
};

class CListUI;

// The scrolling body of a list.
class CListBodyUI : public CVerticalLayoutUI {
public:
    explicit CListBodyUI(CListUI* pOwner) : m_pOwner(pOwner) {}
    void DoEvent(TEventUI& event) override;

private:
    CListUI* m_pOwner;
};

class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
public:
    CListUI();
    LPCTSTR GetClass() const override { return L"ListUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP; }

    CListHeaderUI* GetHeader() const { return m_pHeader; }
    CContainerUI* GetList() const { return m_pList; }

    CControlUI* GetItemAt(int iIndex) const override;
    int GetItemIndex(CControlUI* pControl) const override;
    bool SetItemIndex(CControlUI* pControl, int iIndex) override;
    int GetCount() const override;
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;

    int GetCurSel() const override { return m_iCurSel; }
    bool SelectItem(int iIndex, bool bTakeFocus = false) override;
    void EnsureVisible(int iIndex);
    TListInfoUI* GetListInfo() override { return &m_ListInfo; }
    void SetItemShowHtml(bool bShowHtml = true) { m_ListInfo.bShowHtml = bShowHtml; NeedUpdate(); }
    void EnableScrollBar(bool bEnableVertical = true, bool bEnableHorizontal = false) override;
    SIZE GetScrollPos() const override;
    void SetScrollPos(SIZE szPos) override;
    CScrollBarUI* GetVerticalScrollBar() const override;

    void SetPos(RECT rc) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

private:
    void Reindex(int from);

    CListBodyUI* m_pList = nullptr;
    CListHeaderUI* m_pHeader = nullptr;
    int m_iCurSel = -1;
    TListInfoUI m_ListInfo;
};

class CComboUI;

class CComboWnd : public CWindowWnd {
public:
    // Places the list (PlaceList), creates and shows it.
    void Init(CComboUI* pOwner);
    LPCTSTR GetWindowClassName() const override { return L"ComboWnd"; }
    // The list's rectangle in screen coordinates, asked before the window exists: below the combo,
    // above it when the work area ends first. Drop windows that open elsewhere override it.
    virtual RECT PlaceList(CComboUI* pOwner);
    void OnFinalMessage(HWND hWnd) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void EnsureVisible(int iIndex);
    CPaintManagerUI* GetManager() { return &m_pm; }

private:
    CPaintManagerUI m_pm;
    CComboUI* m_pOwner = nullptr;
    CVerticalLayoutUI* m_pLayout = nullptr;
    int m_iOldSel = -1;
};

class CComboUI : public CContainerUI, public IListOwnerUI {
    friend class CComboWnd;

public:
    CComboUI();
    ~CComboUI() override;
    LPCTSTR GetClass() const override { return L"ComboUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_TABSTOP; }

    CDuiString GetText() const override;
    void SetEnabled(bool bEnable = true) override;
    bool Activate() override;
    CComboWnd* GetDropWindow() const { return m_pWindow; }
    // The items are shown only by the drop window, so the combo's own visibility (or that of the bar
    // holding it) is not passed on to them: a combo in a hidden bar still selects and shows its item.
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;

    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;

    int GetCurSel() const override { return m_iCurSel; }
    bool SelectItem(int iIndex, bool bTakeFocus = false) override;
    TListInfoUI* GetListInfo() override { return &m_ListInfo; }
    SIZE GetDropBoxSize() const { return m_szDropBox; }
    void SetDropBoxSize(SIZE szDropBox) { m_szDropBox = szDropBox; }
    CDuiString GetDropBoxAttributeList() const { return m_sDropBoxAttributes; }
    void SetDropBoxAttributeList(LPCTSTR pstrList) { m_sDropBoxAttributes = pstrList; }
    UINT GetButtonState() const { return m_uButtonState; }
    // The nearest enabled, visible item from iIndex in the direction of bForward; -1 when none.
    int FindSelectable(int iIndex, bool bForward = true) const;
    RECT GetTextPadding() const { return m_rcTextPadding; }

    CControlUI* FindControl(FINDCONTROLPROC Proc, LPVOID pData, UINT uFlags) override;
    void SetPos(RECT rc) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;

protected:
    void Reindex(int from);

    CComboWnd* m_pWindow = nullptr;
    int m_iCurSel = -1;
    RECT m_rcTextPadding{4, 1, 18, 1};
    SIZE m_szDropBox{0, 150};
    UINT m_uButtonState = 0;
    CDuiString m_sNormalImage;
    CDuiString m_sHotImage;
    CDuiString m_sPushedImage;
    CDuiString m_sFocusedImage;
    CDuiString m_sDisabledImage;
    CDuiString m_sDropBoxAttributes;
    TListInfoUI m_ListInfo;
};
