// Window messages of the dialogs, posted between the client's windows.
#pragma once
#include <windows.h>

// To a message box: LOWORD(lParam) the flash period in ms, HIWORD(lParam) the number of flashes.
#ifndef WM_USER_FLASH_CAPTION
#define WM_USER_FLASH_CAPTION (WM_USER + 2)
#endif
// To the login window: lParam a BSTR status text (freed by the receiver), wParam 1 keeps the dots running.
#ifndef WM_USER_LOGIN_STATUS
#define WM_USER_LOGIN_STATUS (WM_USER + 104)
#endif
