// The client's only message box: modal, skinned, with the MB_* flags and answers of the system's.
#pragma once
#include "platform/ui/UIlib.h"

// Answers IDOK 1 .. IDNO 7, 8 when the caption's close button closed the box, 0 when the box could
// not be built or ended without a button (WM_QUIT, Escape).
int ShowMessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags);

LRESULT CALLBACK MessageBoxMouseHookProc(int code, WPARAM wParam, LPARAM lParam);

// The box's icon: eight image strings, one per icon attribute.
class CLVMBIcon : public CControlUI {
public:
    LPCTSTR GetClass() const override { return L"LVMBIconUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    // The image of an icon attribute ("iconerror" ...); empty when the skin gave none.
    CDuiString GetIconImage(LPCTSTR attribute) const;

    static const wchar_t* const kAttributes[8];

private:
    CDuiString m_images[8];
};

// A read-only text that measures itself, laid out as a block of a chosen aspect ratio.
class CLVMBText : public CEditUI {
public:
    CLVMBText();
    LPCTSTR GetClass() const override { return L"LVMBTextUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    SIZE EstimateSize(SIZE szAvailable) override;
    void PaintText(HDC hDC) override;

    // The laid-out size of the text, padding included; limit > 0 caps the width of the text.
    SIZE MeasureText(int limit);
    double GetTextXYRate() const { return m_ratio; }
    bool IsAutoAdopted() const { return m_autoAdopt; }

private:
    double m_ratio = 1.0;
    bool m_autoAdopt = false;
};

class CLVMessageBox : public WindowImplBase {
public:
    CLVMessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags);

    LPCTSTR GetWindowClassName() const override { return L"__LVMessageBox__"; }
    CDuiString GetSkinFile() override { return L"MessageBoxWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

    // Shows the box, runs its loop until it closes and answers the result.
    int RunModal();
    int GetResult() const { return m_result; }

    // The tab page of the button row for the flags' low nibble.
    static int ButtonPageOf(UINT flags);
    // The icon attribute for the flags' bits 4 to 7; null when no icon applies.
    static const wchar_t* IconAttributeOf(UINT flags);
    // The default button 1..4 of MB_DEFBUTTON1..4.
    static int DefaultButtonOf(UINT flags);

private:
    void ChooseIcon();
    void ChooseButtons();
    void FitToText();
    void OnFlashTimer();

    CLabelUI* m_pCaption = nullptr;
    CLVMBText* m_pText = nullptr;
    CLVMBIcon* m_pIcon = nullptr;
    CTabLayoutUI* m_pButtons = nullptr;
    CTabLayoutUI* m_pCaptionBk = nullptr;
    HWND m_owner;
    CDuiString m_text;
    CDuiString m_caption;
    UINT m_flags;
    int m_flashCount = 0;
    int m_result = 0;
};
