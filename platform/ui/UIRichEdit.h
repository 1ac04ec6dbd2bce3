// A rich edit: the system's rich edit control (riched20) as a native child window placed over the
// control, with the text and format operations the chat panes use.
#pragma once
#include "platform/ui/UIControl.h"

#include <richedit.h>

#include <vector>

class CRichEditImage;

class CRichEditUI : public CControlUI {
public:
    CRichEditUI();
    ~CRichEditUI() override;
    LPCTSTR GetClass() const override { return L"RichEditUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return UIFLAG_SETCURSOR | UIFLAG_TABSTOP; }

    // The native window, created once the control has a manager with a window; null before.
    HWND GetNativeWindow() const { return m_hWnd; }

    CDuiString GetText() const override;
    void SetText(LPCTSTR pstrText) override;
    // The text with every embedded object given back as its token ("[\name]").
    CDuiString GetData() const;
    long GetTextLength() const;
    void SetLimitText(long limit);
    long GetLimitText() const;
    void SetSel(long start, long end);
    void SetSelAll() { SetSel(0, -1); }
    void GetSel(long& start, long& end) const;
    void ReplaceSel(LPCTSTR text, bool canUndo = false);
    CDuiString GetTextRange(long start, long end) const;
    void Clear() { SetText(L""); }
    bool SetSelectionCharFormat(CHARFORMAT2W& cf);
    bool SetDefaultCharFormat(CHARFORMAT2W& cf);
    bool SetWordCharFormat(CHARFORMAT2W& cf);
    bool SetParaFormat(PARAFORMAT2& pf);
    void SetReadOnly(bool readOnly);
    bool IsReadOnly() const { return m_bReadOnly; }
    void SetWantReturn(bool want) { m_bWantReturn = want; }
    // Moves the caret to the end and scrolls it into view.
    void EndDown();
    // Inserts a picture file (an animated GIF keeps animating) at the selection; its token
    // "[\name]" stands for it in GetData. False when the file or the rich edit refuses. The image is an
    // OLE object: OLE must be initialised on the calling thread (the client does it at start-up).
    bool InsertGif(LPCTSTR path);
    // Repaints the native window, so animated images show their current frame.
    void RedrawImages();
    int GetImageCount() const { return static_cast<int>(m_images.size()); }

    void SetEnabled(bool bEnable = true) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;
    void SetFocus() override;
    void SetPos(RECT rc) override;
    void DoInit() override;
    void DoEvent(TEventUI& event) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
    bool CreateNative();
    void UpdateNativeVisibility();

    HWND m_hWnd = nullptr;
    WNDPROC m_oldProc = nullptr;
    CDuiString m_sPendingText;
    long m_limit = 0x7FFFFFFF;
    bool m_bReadOnly = false;
    bool m_bWantReturn = false;
    bool m_bMultiline = true;
    bool m_bVScroll = true;
    int m_iFont = -1;
    DWORD m_dwTextColor = 0;
    RECT m_rcInset{2, 2, 2, 2};
    std::vector<CRichEditImage*> m_images;
    // The reader's place, kept through resizes until they scroll or text is written: -2 none kept,
    // -1 the end of the text, else the character at the top of the view.
    long m_keptPlace = -2;
};
