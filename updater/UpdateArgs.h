// The updater's command line, " address;program;arguments", and how it starts other programs.
#pragma once
#include "platform/afx/AfxString.h"

// An empty line is valid (three empty fields); otherwise it needs two ';', the first not last.
bool SplitUpdateArgs(const CString& commandLine, CString& address, CString& program, CString& arguments);

// Starts a process without waiting; program may be empty (the command line then names it).
bool RunProcess(const CString& commandLine, const CString& program);

// Copies the running file into the temporary folder as "Lumenvale-Update<n>.exe" (n 0 to 9, the first
// that can be written); true with its path.
bool CopySelfToTemp(CString& copyPath);

// The folder of the running file, with a trailing backslash.
CString RunningFolder();
CString TempFolderPath();
