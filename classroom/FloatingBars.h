// Two small floating windows of the main window: the whiteboard pen tool bar and the one-button
// window that shows or hides the teacher's control panel. Both talk to the main window (their
// parent) only by posted messages.
#pragma once
#include "classroom/DrawingRecords.h"
#include "platform/ui/UIlib.h"

#include <cstdint>

// A floating window the main window makes once and keeps for the whole class: Escape or Alt+F4
// pressed in it leaves it as it is, since a closed one would be gone until the client ends. It goes
// with its owner.
class CKeptFloatingWnd : public WindowImplBase {
protected:
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
};

class CPenToolWnd : public CKeptFloatingWnd {
public:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvalePenToolWnd__"; }
    CDuiString GetSkinFile() override { return L"PenToolWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    bool AreToolsDisabled() const { return m_toolsDisabled != 0; }
    const PaintPen& GetPen() const { return m_pen; }

protected:
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void SetToolsDisabled(uint8_t disabled);
    // Tells the main window about the pen, with a fresh order key, when the local user teaches.
    void AnnouncePen();
    void ShowReceivedPen(const PaintPen& pen);
    void ShowLockCheck(bool show);
    void OnComboSelect(CControlUI* combo);
    // Tells the main window whether the pen or another writing tool is chosen.
    void OnWritingToolChanged();

    uint8_t m_toolsDisabled = 0;
    PaintPen m_pen;
    uint8_t m_lockVisible = 1;
    HWND m_parent = nullptr;
    bool m_showingReceived = false; // combo selections made to show a received pen are not changes
};

class CCpBtnWnd : public CKeptFloatingWnd {
public:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleCpBtnWnd__"; }
    CDuiString GetSkinFile() override { return L"CpBtnWnd.xml"; }
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;
    bool IsPanelShown() const { return m_panelShown != 0; }

protected:
    HWND m_parent = nullptr;
    uint8_t m_panelShown = 1;
};

// The pen colour of a colour-combo item (0 to 4), or 0 when the index is outside the table.
uint32_t PenColourOfItem(int item);
// The colour-combo item of a colour, or -1 when the colour is not in the table.
int ItemOfPenColour(uint32_t colour);
