#include "media/video/VideoLog.h"

#include <windows.h>
#include <cstdarg>
#include <cstdio>

void VideoLog(const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    int written = _vsnprintf(line, sizeof(line) - 1, format, args);
    va_end(args);
    if (written < 0)
        written = sizeof(line) - 1;
    line[written] = '\0';
    OutputDebugStringA(line);
}

std::string LogText(const wchar_t* text)
{
    if (!text || !*text)
        return std::string();
    int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], bytes, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(bytes - 1));
    return narrow;
}
