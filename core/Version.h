#pragma once
#include "platform/afx/AfxString.h"

// The executable's file version as "major.minor.build.revision"; empty without a version block.
CString GetFileVersionString();
CString GetFileVersionString(const wchar_t* modulePath);
