// The records and codes of a slide conversion, shared by the manager and the windows that listen.
#pragma once
#include <windows.h>
#include <cstdint>

// lParam of WM_USER_CONVERT_PROGRESS: a ConvertProgress the receiver frees. The number comes from the
// client's one list of window messages where that list is present.
#if __has_include("core/WindowMessages.h")
#include "core/WindowMessages.h"
#else
enum : UINT { WM_USER_CONVERT_PROGRESS = WM_USER + 131 };
#endif
static_assert(WM_USER_CONVERT_PROGRESS == 1155, "document windows listen for this number");

// Result codes of a conversion, a package write or a package read.
enum ConvertError : int32_t {
    eConvert_Success = 0,
    eConvert_ComException = -1,     // while opening, querying or exporting
    eConvert_NoPowerPoint = -2,     // no supported PowerPoint installed
    eConvert_CreateFailed = -3,     // the application object could not be created
    eConvert_ZeroSize = -4,         // a slide size of 0
    eConvert_WriteFailed = -5,      // a write (or the read feeding it) failed
    eConvert_SeekFailed = -6,
    eConvert_EmptyPackagePath = -7,
    eConvert_FileNotOpened = -8,    // empty source path, a file or folder not opened
    eConvert_OleInitFailed = -9,
    eConvert_NoSlides = -10,
    eConvert_Stopped = -11,         // stopped, not converting, already parsing, or a damaged package
};

enum ConvertStatus : int32_t {
    eConvertStatus_Converted = 1,
    eConvertStatus_Failed = 2,
    eConvertStatus_Converting = 3,
};

enum ConvertPhase : int32_t {
    ePhase_Idle = 1,
    ePhase_Converting = 2,
    ePhase_Packing = 3,
    ePhase_Unpacking = 4,
};

// Posted to every listener, one record each; the receiving window frees it with delete.
struct ConvertProgress {
    float progress; // percent 0..100
    int32_t status; // ConvertStatus
    int32_t result; // ConvertError
};
static_assert(sizeof(ConvertProgress) == 12, "three 32-bit fields");
