// Crash dumps: an exception that escapes on any thread leaves "Dump\<time>.dmp" in the data folder.
#pragma once
#include <windows.h>

LONG WINAPI TopLevelExceptionFilter(EXCEPTION_POINTERS* exceptionPointers);

// Installs the filter, and a terminate handler that raises a structured exception so an uncaught
// C++ exception reaches the same filter instead of a silent abort().
void InstallCrashHandlers();
