// The library's application object: opens the media log when the library loads, closes it at unload.
#pragma once
#include "platform/afx/AfxApp.h"

class CVidlatchApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override;
};
