// The stand-in PowerPoint: an in-process automation server that answers the DISPIDs the slide converter
// sends. Its "presentations" are small text files of key=value lines:
//   slides=10         slide count
//   width=720         slide width in points (0 gives a zero size)
//   height=540        slide height in points
//   throwOnOpen=1     Open raises an exception
//   exportDelayMs=200 each Export takes this long (to stop a conversion mid-export)
//   throwOnExport=3   Export of that slide raises an exception
// Every call it receives is written to a journal the test reads through the exports below.
#pragma once
#include <windows.h>

// {7C2A4E1B-5D3F-4A8E-9B61-2F0C8D4E6A13}
#define FAKE_POWERPOINT_CLSID_TEXT L"{7C2A4E1B-5D3F-4A8E-9B61-2F0C8D4E6A13}"
#define FAKE_POWERPOINT_DLL L"FakePowerPoint.dll"

extern "C" {
// Makes the class factory refuse to create the application (nonzero) or create it again (0).
typedef void(WINAPI* FakePowerPoint_SetFailCreateProc)(int fail);
// Copies the journal, one call a line, into buffer; answers the full length in characters.
typedef int(WINAPI* FakePowerPoint_GetJournalProc)(wchar_t* buffer, int capacity);
typedef void(WINAPI* FakePowerPoint_ResetProc)(void);
// Objects of the server still referenced by a client.
typedef int(WINAPI* FakePowerPoint_LiveObjectsProc)(void);
}
