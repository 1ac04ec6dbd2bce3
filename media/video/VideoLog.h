// The media library's log line writer: printf rules, narrow text that carries its own prefix
// ("Err: ", "Info: ", "Warn: ") and line end.
#pragma once
#include <string>

void VideoLog(const char* format, ...);
// Friendly names and paths are wide; the log is narrow text in the ANSI code page.
std::string LogText(const wchar_t* text);
