// Numbers of the client's own resources, shared by the resource script and the code that loads them.
#pragma once

// The whiteboard's pen cursor (core/PenCursor.cur, drawn by scripts/make-pen-cursor).
#define IDC_LV_PEN_CURSOR 310
