#include "media/video/VideoLog.h"

#include "media/common/MediaLog.h"

#include <windows.h>
#include <cstdarg>

void VideoLog(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    TheMediaLog().WriteV(format, args);
    va_end(args);
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
