// The program folder (beside the executable) and the data folder (log, dumps, caches, database).
#pragma once
#include "platform/afx/AfxString.h"

// Both end with a backslash and are computed once.
CString GetModuleFolder();
CString GetAppDataFolder();

// Tests and demo runs point the folders elsewhere before first use. The data folder may also come from
// the environment variable LUMENVALE_DATA_FOLDER, so a child process can be given a private one.
void SetModuleFolderOverride(const CString& folder);
void SetAppDataFolderOverride(const CString& folder);

// Creates a folder and its parents; true when it exists afterwards.
bool EnsureFolder(const CString& folder);
bool FileExists(const CString& path);
