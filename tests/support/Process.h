// Starting a program of the build (the client, a helper) as a child process, as a user would.
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>

struct ChildResult {
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0;
};

// Runs "program arguments" with extra environment lines ("NAME=value", may be null) and waits.
ChildResult RunChild(const CString& program, const CString& arguments, const wchar_t* extraEnvironment,
                     DWORD timeoutMs);
