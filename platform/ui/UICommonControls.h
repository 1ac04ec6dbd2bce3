// Labels, texts, buttons, options, check boxes, progress bars, sliders and the edit box.
#pragma once
#include "platform/ui/UIControl.h"

class CLabelUI : public CControlUI {
public:
    CLabelUI();
    LPCTSTR GetClass() const override { return L"LabelUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    void SetTextStyle(UINT uStyle);
    UINT GetTextStyle() const { return m_uTextStyle; }
    void SetTextColor(DWORD dwTextColor);
    DWORD GetTextColor() const { return m_dwTextColor; }
    void SetDisabledTextColor(DWORD dwTextColor);
    DWORD GetDisabledTextColor() const { return m_dwDisabledTextColor; }
    void SetFont(int index);
    int GetFont() const { return m_iFont; }
    RECT GetTextPadding() const { return m_rcTextPadding; }
    void SetTextPadding(RECT rc);
    bool IsShowHtml() const { return m_bShowHtml; }
    void SetShowHtml(bool bShowHtml = true);

    SIZE EstimateSize(SIZE szAvailable) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintText(HDC hDC) override;

protected:
    // The text colour for the current state, defaults filled in from the manager.
    DWORD ResolveColor(DWORD color, bool disabled) const;

    DWORD m_dwTextColor = 0;
    DWORD m_dwDisabledTextColor = 0;
    int m_iFont = -1;
    UINT m_uTextStyle = DT_VCENTER | DT_SINGLELINE;
    RECT m_rcTextPadding{0, 0, 0, 0};
    bool m_bShowHtml = false;
};

class CTextUI : public CLabelUI {
public:
    CTextUI();
    LPCTSTR GetClass() const override { return L"TextUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
};

class CButtonUI : public CLabelUI {
public:
    CButtonUI();
    LPCTSTR GetClass() const override { return L"ButtonUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override;

    bool Activate() override;
    void SetEnabled(bool bEnable = true) override;
    void DoEvent(TEventUI& event) override;

    LPCTSTR GetNormalImage() const { return m_sNormalImage; }
    void SetNormalImage(LPCTSTR pStrImage);
    LPCTSTR GetHotImage() const { return m_sHotImage; }
    void SetHotImage(LPCTSTR pStrImage);
    LPCTSTR GetPushedImage() const { return m_sPushedImage; }
    void SetPushedImage(LPCTSTR pStrImage);
    LPCTSTR GetFocusedImage() const { return m_sFocusedImage; }
    void SetFocusedImage(LPCTSTR pStrImage);
    LPCTSTR GetDisabledImage() const { return m_sDisabledImage; }
    void SetDisabledImage(LPCTSTR pStrImage);
    void SetHotTextColor(DWORD dwColor) { m_dwHotTextColor = dwColor; }
    DWORD GetHotTextColor() const { return m_dwHotTextColor; }
    void SetPushedTextColor(DWORD dwColor) { m_dwPushedTextColor = dwColor; }
    void SetFocusedTextColor(DWORD dwColor) { m_dwFocusedTextColor = dwColor; }
    void SetHotBkColor(DWORD dwColor) { m_dwHotBkColor = dwColor; }
    UINT GetButtonState() const { return m_uButtonState; }

    SIZE EstimateSize(SIZE szAvailable) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintText(HDC hDC) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    // Draws the first image that loads; a string that fails to load is cleared so it is not retried.
    bool DrawStateImage(HDC hDC, CDuiString& image);

    UINT m_uButtonState = 0;
    DWORD m_dwHotTextColor = 0;
    DWORD m_dwPushedTextColor = 0;
    DWORD m_dwFocusedTextColor = 0;
    DWORD m_dwHotBkColor = 0;
    CDuiString m_sNormalImage;
    CDuiString m_sHotImage;
    CDuiString m_sPushedImage;
    CDuiString m_sFocusedImage;
    CDuiString m_sDisabledImage;
};

class COptionUI : public CButtonUI {
public:
    ~COptionUI() override;
    LPCTSTR GetClass() const override { return L"OptionUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    void SetManager(CPaintManagerUI* pManager, CControlUI* pParent, bool bInit = true) override;
    bool Activate() override;
    void SetEnabled(bool bEnable = true) override;

    LPCTSTR GetGroup() const { return m_sGroupName; }
    void SetGroup(LPCTSTR pStrGroupName = nullptr);
    bool IsSelected() const { return m_bSelected; }
    // Sends "selectchanged" when the state changes; selecting one of a group unselects the others.
    virtual void Selected(bool bSelected, bool bTriggerEvent = true);

    void SetSelectedImage(LPCTSTR pStrImage);
    void SetSelectedHotImage(LPCTSTR pStrImage);
    void SetForeImage(LPCTSTR pStrImage);
    void SetSelectedTextColor(DWORD dwTextColor) { m_dwSelectedTextColor = dwTextColor; }
    DWORD GetSelectedTextColor() const { return m_dwSelectedTextColor; }
    void SetSelectedBkColor(DWORD dwBkColor) { m_dwSelectedBkColor = dwBkColor; }
    DWORD GetSelectedBkColor() const { return m_dwSelectedBkColor; }

    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;

protected:
    bool m_bSelected = false;
    CDuiString m_sGroupName;
    DWORD m_dwSelectedBkColor = 0;
    DWORD m_dwSelectedTextColor = 0;
    CDuiString m_sSelectedImage;
    CDuiString m_sSelectedHotImage;
    CDuiString m_sForeImage;
};

class CCheckBoxUI : public COptionUI {
public:
    LPCTSTR GetClass() const override { return L"CheckBoxUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetCheck(bool bCheck) { Selected(bCheck); }
    bool GetCheck() const { return IsSelected(); }
};

class CProgressUI : public CLabelUI {
public:
    CProgressUI();
    LPCTSTR GetClass() const override { return L"ProgressUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    bool IsHorizontal() const { return m_bHorizontal; }
    void SetHorizontal(bool bHorizontal = true);
    int GetMinValue() const { return m_nMin; }
    void SetMinValue(int nMin);
    int GetMaxValue() const { return m_nMax; }
    void SetMaxValue(int nMax);
    int GetValue() const { return m_nValue; }
    void SetValue(int nValue);
    void SetForeImage(LPCTSTR pStrImage);

    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    // The filled part of the bar, in window coordinates.
    RECT ForeRect() const;

    bool m_bHorizontal = true;
    int m_nMax = 100;
    int m_nMin = 0;
    int m_nValue = 0;
    DWORD m_dwForeColor = 0;
    CDuiString m_sForeImage;
};

class CSliderUI : public CProgressUI {
public:
    CSliderUI();
    LPCTSTR GetClass() const override { return L"SliderUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override;

    void SetEnabled(bool bEnable = true) override;
    int GetChangeStep() const { return m_nStep; }
    void SetChangeStep(int step) { m_nStep = step; }
    void SetThumbSize(SIZE szXY) { m_szThumb = szXY; }
    RECT GetThumbRect() const;
    void SetThumbImage(LPCTSTR pStrImage) { m_sThumbImage = pStrImage; Invalidate(); }
    void SetThumbHotImage(LPCTSTR pStrImage) { m_sThumbHotImage = pStrImage; Invalidate(); }
    void SetThumbPushedImage(LPCTSTR pStrImage) { m_sThumbPushedImage = pStrImage; Invalidate(); }

    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintStatusImage(HDC hDC) override;

protected:
    int ValueAt(POINT pt) const;

    SIZE m_szThumb{10, 10};
    UINT m_uButtonState = 0;
    int m_nStep = 1;
    CDuiString m_sThumbImage;
    CDuiString m_sThumbHotImage;
    CDuiString m_sThumbPushedImage;
};

class CEditWnd;

// Painted by the control; while it has the focus a native edit box sits on it for typing.
class CEditUI : public CLabelUI {
    friend class CEditWnd;

public:
    CEditUI();
    ~CEditUI() override;
    LPCTSTR GetClass() const override { return L"EditUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override;

    void SetEnabled(bool bEnable = true) override;
    void SetText(LPCTSTR pstrText) override;
    void SetMaxChar(UINT uMax) { m_uMaxChar = uMax; }
    UINT GetMaxChar() const { return m_uMaxChar; }
    void SetReadOnly(bool bReadOnly);
    bool IsReadOnly() const { return m_bReadOnly; }
    void SetPasswordMode(bool bPasswordMode);
    bool IsPasswordMode() const { return m_bPasswordMode; }
    void SetPasswordChar(wchar_t cPasswordChar) { m_cPasswordChar = cPasswordChar; }
    wchar_t GetPasswordChar() const { return m_cPasswordChar; }
    void SetNativeEditBkColor(DWORD dwBkColor) { m_dwEditbkColor = dwBkColor; }
    DWORD GetNativeEditBkColor() const { return m_dwEditbkColor; }
    // The native edit box while the control is being edited, else null.
    HWND GetNativeWindow() const;

    void SetPos(RECT rc) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintText(HDC hDC) override;

protected:
    void StartEditing();

    CEditWnd* m_pWindow = nullptr;
    UINT m_uMaxChar = 255;
    bool m_bReadOnly = false;
    bool m_bPasswordMode = false;
    wchar_t m_cPasswordChar = L'*';
    DWORD m_dwEditbkColor = 0xFFFFFFFF;
    CDuiString m_sNormalImage;
    CDuiString m_sHotImage;
    CDuiString m_sFocusedImage;
    CDuiString m_sDisabledImage;
    UINT m_uButtonState = 0;
};
