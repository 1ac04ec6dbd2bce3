// The loopback test behind DoDSound: one process-wide capture and playback pair.
#pragma once
#include "media/audio/Sonarel.h"

void RunLoopbackTest(HWND window, AudioBlockCallback captureCallback, AudioBlockCallback playCallback);
// Stops the pair at library unload (inside the loader lock), leaving its device objects unreleased.
void StopLoopbackTest();
