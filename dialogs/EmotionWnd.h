// The emotion picker: a popup grid of emotion GIFs above a chat's emotion button. A chosen image is
// announced to the chat window that owns the picker; losing the focus hides it.
#pragma once
#include "platform/ui/UIlib.h"

class CEmotionListUI;

class CEmotionWnd : public WindowImplBase {
public:
    // The target receives WM_USER_EMOTION_SELECTED and the hide notice.
    explicit CEmotionWnd(HWND target);

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleEmotionWnd__"; }
    CDuiString GetSkinFile() override { return L"EmotionWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    // The image last chosen in the grid; empty without a grid.
    CDuiString GetSelectedImagePath() const;
    // The GIF of a token key ("\name"); empty without a grid or for an unknown key.
    CDuiString GetEmotionImagePath(LPCTSTR token) const;
    CEmotionListUI* GetGrid() const { return m_grid; }

    // The picker behind a window of this process, or null.
    static CEmotionWnd* FromWindow(HWND window);

private:
    CEmotionListUI* m_grid = nullptr;
    HWND m_target;
    int m_animationPeriod = 20;
};
