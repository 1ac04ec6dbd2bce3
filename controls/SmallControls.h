// Small refinements of the layer's controls for the classroom and the chat-record browser: a list
// with fixed row height and row borders, an edit with a hint, a volume slider with a live level, a
// label that elides a prefix, a flashing button, a button that rests after a click, and the
// recording check that counts the recording time.
#pragma once
#include "controls/RowBorder.h"
#include "platform/ui/UIList.h"

class CListExUI : public CListUI {
public:
    LPCTSTR GetClass() const override { return L"ListExUI"; }
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    // Gives a row the list's item height; false for a null row, which is then not added.
    virtual bool PrepareItem(CControlUI* pControl);
    const RowBorder& GetBorder() const { return m_border; }

private:
    RowBorder m_border;
};

class CListElementExUI : public CListLabelElementUI {
public:
    LPCTSTR GetClass() const override { return L"ListElementExUI"; }
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
};

class CHintEditUI : public CEditUI {
public:
    LPCTSTR GetClass() const override { return L"HintEditUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintText(HDC hDC) override;
    void SetHintText(LPCTSTR text);
    CDuiString GetHintText() const { return m_sHintText; }

private:
    CDuiString m_sHintText;
    DWORD m_dwHintColor = 0; // 0: the manager's disabled colour, resolved at the first paint
};

class CActSliderUI : public CSliderUI {
public:
    LPCTSTR GetClass() const override { return L"ActSliderUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void PaintStatusImage(HDC hDC) override;
    // Accepted only within 0..maximum and when it differs; repaints.
    void SetActValue(int value);
    int GetActValue() const { return m_nActValue; }
    void SetActColor(DWORD colour);
    DWORD GetActColor() const { return m_dwActColor; }

private:
    DWORD m_dwActColor = 0;
    int m_nActValue = 0;
};

class CMidEllipsisLabelUI : public CLabelUI {
public:
    LPCTSTR GetClass() const override { return L"MidEllipsisLabelUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void PaintText(HDC hDC) override;
    void SetPrefix(LPCTSTR prefix) { m_sPrefix = prefix; }
    CDuiString GetPrefix() const { return m_sPrefix; }
    void SetLabelText(LPCTSTR text);

private:
    // The prefix as it is drawn before the text: with the blank that separates them.
    CDuiString Lead() const;

    CDuiString m_sPrefix;
};

class CTextFlashBtnUI : public CButtonUI {
public:
    LPCTSTR GetClass() const override { return L"TipFlashBtnUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void DoEvent(TEventUI& event) override;
    void PaintText(HDC hDC) override;
    void StartFlash();
    void StopFlash();
    bool IsFlashing() const { return m_bFlashing; }
    int GetFlashCount() const { return m_nFlashCount; }

    static const UINT kFlashTimer = 100;

private:
    void EndFlash();

    int m_nFlashCount = 0;
    bool m_bFlashing = false;
    DWORD m_dwFlashColor1 = 0;
    DWORD m_dwFlashColor2 = 0;
};

class COneClickBtnUI : public CButtonUI {
public:
    LPCTSTR GetClass() const override { return L"OneClickBtnUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void SetVisible(bool bVisible = true) override;
    void DoEvent(TEventUI& event) override;
    UINT GetClickElapse() const { return m_uClickElapse; }

    static const UINT kRestTimer = 100;

private:
    // The click itself, then the rest: a key press on the focused button is a click too.
    void ClickAndRest();

    UINT m_uClickElapse = 0; // milliseconds; 0 never rests
};

class CRecordCheckUI : public COptionUI {
public:
    LPCTSTR GetClass() const override { return L"RecordCheckUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void Selected(bool bSelected, bool bTriggerEvent = true) override;
    void DoEvent(TEventUI& event) override;
    void PaintText(HDC hDC) override;
    void PaintStatusImage(HDC hDC) override;
    void PaintBorder(HDC hDC) override;
    UINT GetRecordedSeconds() const { return m_uSeconds; }
    // "text hh:mm:ss" as shown while checked and not hot.
    CDuiString RecordingText() const;

    static const UINT kSecondTimer = 100;
    static const int kUncheckedWidth = 55;

private:
    RECT ActiveRect() const;

    UINT m_uSeconds = 0;
    DWORD m_dwCheckedBorderColor = 0;
    CDuiString m_sSelectedHotText;
};
