// Start-up's window side while the client has no window layer: no main window, nothing to loop on.
#include "core/LumenvaleApp.h"

#include "core/Logger.h"

void AppSetUiInstance(HINSTANCE) {}

bool RunMainWindow()
{
    LOG_INFO(L"no main window in this build; start-up ends here");
    return true;
}

void ShowStartupMessage(const wchar_t* text, const wchar_t* caption)
{
    MessageBoxW(nullptr, text, caption, MB_OK);
}
