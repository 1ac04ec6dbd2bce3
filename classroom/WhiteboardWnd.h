// The whiteboard: up to four pages, each a drawing surface "Wb1".."Wb4" behind the tabs "Tab1".."Tab4".
// Local strokes go to the main window as PaintChangeRecords; received drawings come from the drawing
// store one page at a time.
#pragma once
#include "platform/ui/UIlib.h"

class CPaintControlUI;

class CWhiteboardWnd : public WindowImplBase {
public:
    static const int kMaxTabs = 4;

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleWhiteboardWnd__"; }
    CDuiString GetSkinFile() override { return L"WhiteboardWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

    int GetTabCount() const { return m_tabCount; }
    CPaintControlUI* GetSurface(int page);

protected:
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnUiNotice(WPARAM code, LPARAM lParam);
    void AddTab();
    void SelectTab(int tab);
    // Loads the store's drawings of one whiteboard page into its surface.
    void LoadPage(int page);
    void OnStrokeFinished(TNotifyUI& msg);
    // The surfaces take strokes while the user may draw and the pen, not the text or eraser tool, is
    // chosen.
    void ApplyDrawing();

    int m_tabCount = 1;
    bool m_drawingAllowed = true;
    bool m_penChosen = true;
    HWND m_mainWnd = nullptr;
};

// The number after a name's prefix ("Wb3" gives 3), or -1 when the name does not start with it.
int NumberAfterPrefix(const CDuiString& name, const wchar_t* prefix);
