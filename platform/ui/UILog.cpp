#include "platform/ui/UILog.h"

#include "platform/afx/AfxString.h"

#include <atomic>
#include <cstdarg>
#include <string>

namespace {

// Set once at start-up but read from any thread that paints or loads.
std::atomic<UILogSink> g_sink{nullptr};

} // namespace

void UISetLogSink(UILogSink sink) { g_sink = sink; }

void UILogError(const wchar_t* format, ...)
{
    UILogSink sink = g_sink.load();
    if (!sink) return;
    va_list args;
    va_start(args, format);
    std::wstring line = FormatWindowsV(format, args);
    va_end(args);
    sink(line.c_str());
}
