// The application object: its InitInstance runs the whole life of the client.
#pragma once
#include "platform/afx/AfxApp.h"

class CLumenvaleApp : public CWinApp {
public:
    BOOL InitInstance() override;
};

// True when another client already runs (after telling the user).
bool CheckSingleInstance();

// The part of start-up that needs the window layer: create and centre the main window, store its
// handle, start the login, run the message loop, terminate the UI library. Answers false when the main
// window could not be made.
bool RunMainWindow();
// Hands the module instance to the UI library.
void AppSetUiInstance(HINSTANCE instance);
// Tells the user something from start-up, before any window exists.
void ShowStartupMessage(const wchar_t* text, const wchar_t* caption);
