// The about box: the client's version and build time.
#pragma once
#include "platform/ui/UIlib.h"

class CAboutWnd : public WindowImplBase {
public:
    LPCTSTR GetWindowClassName() const override { return L"__LVAboutWnd__"; }
    CDuiString GetSkinFile() override { return L"AboutWnd.xml"; }
    void InitWindow() override;
    void OnFinalMessage(HWND hWnd) override;
};

// The build date and time as "Mmm dd yyyy-hh:mm:ss".
CDuiString BuildTimeText();
