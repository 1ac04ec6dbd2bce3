// Opening the option menu's dialogs: each at most once at a time, owned by the main window, not modal.
#pragma once
#include "platform/ui/UIlib.h"

#include <memory>

// The style of the option menu's dialogs: popup, visible, caption and system menu.
const DWORD kOptionDialogStyle = 0x96C80000;

// Creates the dialog made by make() unless a window of its class exists; the dialog deletes itself
// when its native window is destroyed. Answers the dialog, or null when none was opened.
template <typename Dialog, typename Make>
Dialog* OpenDialogOnce(HWND owner, LPCTSTR className, Make make)
{
    if (::FindWindowW(className, nullptr)) return nullptr;
    std::unique_ptr<Dialog> dialog(make());
    if (!dialog) return nullptr;
    // A dialog whose window could not be made is still ours, and goes here.
    if (!dialog->Create(owner, L"", kOptionDialogStyle, 0, 0, 0, 0, 0)) return nullptr;
    Dialog* shown = dialog.release(); // from here the window owns itself
    shown->CenterWindow();
    shown->ShowWindow(true, true);
    return shown;
}
