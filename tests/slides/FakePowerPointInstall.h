// Puts the stand-in PowerPoint where the converter looks: the COM class under HKCR with the ProgID
// "PowerPoint.Application", and an Office install root with "MSPPT.OLB" in it. Removed again at the end.
#pragma once
#include "platform/afx/AfxString.h"
#include "tests/fakes/powerpoint/FakePowerPoint.h"
#include "tests/support/TestFolders.h"
#include <windows.h>

class FakePowerPointInstall {
public:
    struct Parts {
        bool registerClass = true;
        bool installRoot = true;
        bool typeLibraryFile = true;
    };
    FakePowerPointInstall() : FakePowerPointInstall(Parts()) {}
    explicit FakePowerPointInstall(const Parts& parts);
    ~FakePowerPointInstall();
    FakePowerPointInstall(const FakePowerPointInstall&) = delete;
    FakePowerPointInstall& operator=(const FakePowerPointInstall&) = delete;

    bool Ready() const { return m_ready; }
    void FailCreate(bool fail) const;
    // The calls the server received, one a line.
    CString Journal() const;
    // Objects of the server still referenced, beyond those alive when this install was made.
    int LiveObjects() const;

    // Removes every trace of an earlier run (also of one that crashed).
    static void RemoveRegistration();

private:
    bool m_ready = false;
    HMODULE m_server = nullptr; // keeps the server's journal alive between conversions
    int m_liveBefore = 0;
    TempFolder m_root;
};

// Writes a presentation description the stand-in opens, e.g. "slides=10\nwidth=720\nheight=540\n".
CString WritePresentation(const TempFolder& folder, const wchar_t* name, const char* description);
