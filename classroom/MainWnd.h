// The classroom window: one per process, created by start-up and alive until the client ends.
#pragma once
#include "platform/ui/UIlib.h"

class CLoginWnd;

class CMainWnd : public WindowImplBase {
public:
    CMainWnd();
    ~CMainWnd() override;

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleMainWnd__"; }
    CDuiString GetSkinFolder() override { return L"skin\\"; }
    CDuiString GetSkinFile() override { return L"MainWnd.xml"; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_FILE; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    // Opens the login window, hides this one and reads the launch link.
    void StartLogin();
    // The login window while it is open, found by its class (it closes itself).
    static HWND FindLoginWindow();

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    virtual LRESULT OnMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
};

// The title of the main window: "LumenvaleV2", or language text 47 when a language table is loaded.
CDuiString MainWindowTitle();
