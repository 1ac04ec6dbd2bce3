// A fresh folder per test, removed with everything in it when the test ends.
#pragma once
#include "platform/afx/AfxString.h"
#include <string>

class TempFolder {
public:
    explicit TempFolder(const wchar_t* tag = L"t");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Ends with a backslash.
    const CString& Path() const { return m_path; }
    CString File(const wchar_t* name) const { return m_path + name; }

private:
    CString m_path;
};

// Points the data folder and the program folder of the code under test at fresh folders for the
// test's lifetime (the program folder only where the test needs language or configuration files).
class ScopedDataFolder {
public:
    ScopedDataFolder();
    ~ScopedDataFolder();
    const CString& Path() const { return m_folder.Path(); }
private:
    TempFolder m_folder;
};

class ScopedModuleFolder {
public:
    ScopedModuleFolder();
    ~ScopedModuleFolder();
    const CString& Path() const { return m_folder.Path(); }
private:
    TempFolder m_folder;
};

bool RemoveTree(const CString& folder);
bool WriteFileBytes(const CString& path, const std::string& bytes);
std::string ReadFileBytes(const CString& path);
// The folder the test programs run from (bin, beside the DLLs, skin and language files).
CString TestProgramFolder();
