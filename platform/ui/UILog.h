// The window layer's failure lines. The layer keeps no log of its own: its host sets a sink at start-up
// and receives each line; with no sink set the lines are dropped.
#pragma once

// Receives one line without a line end; called on the thread that met the failure.
typedef void (*UILogSink)(const wchar_t* line);

void UISetLogSink(UILogSink sink);
// printf-style with the Windows meaning (%s wide, %S narrow).
void UILogError(const wchar_t* format, ...);
