// The small window shown while the client connects and enters the room: a status line and a row of
// animated dots.
#pragma once
#include "platform/ui/UIlib.h"

#include <cstdint>

class CLoginWnd : public WindowImplBase {
public:
    explicit CLoginWnd(HWND mainWindow);

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleLoginWnd__"; }
    CDuiString GetSkinFile() override { return L"LoginWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    void OnFinalMessage(HWND hWnd) override;

    // Shows a status; keepWaiting restarts the dots from none, otherwise they are hidden.
    void SetStatusText(LPCTSTR text, bool keepWaiting);
    uint16_t GetDotCount() const { return m_dotCount; }

private:
    void DotStep(bool running);
    // The user closed the window: the hidden main window must go too, or the client runs on unseen.
    void CloseAndEndClient();

    HWND m_mainWindow;
    uint16_t m_dotCount = 0;
};
