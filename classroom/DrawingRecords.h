// The whiteboard's drawing records as the classroom windows use them.
#pragma once
#include "controls/PaintObjects.h"

#include <windows.h>

// Sub-code of WM_USER_UI_NOTICE from the pen tool bar, passed on to the board windows: lParam 1 when
// the pen is the chosen tool, 0 while the text or eraser tool is.
const WPARAM kNoticeDrawingTool = 26;
// Sub-code of WM_USER_UI_NOTICE from the main window to the board windows, sent: lParam a pen
// PaintObject (the sender keeps it) that the surfaces append for the strokes drawn after it.
const WPARAM kNoticeAppendPen = 27;

