// Real dialog windows under the test display: open them from their skins, find controls by name and
// drive them with mouse messages, as a user's clicks arrive.
#pragma once
#include "platform/ui/UIlib.h"
#include "tests/support/Pixels.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Pumps this thread's messages for a while.
void PumpMessages(DWORD ms);
// Mouse down and up over the middle of the control (or at a point inside it, in per mille of its size).
bool ClickControl(HWND window, CControlUI* control, int xPerMille = 500, int yPerMille = 500);
// A key as the focused window would get it.
void PressKey(HWND window, WPARAM key);
// Points the session at the English language file, or at none.
void UseEnglishTexts(bool on);
// The text of a log line written since the mark, or empty.
std::string LogSince(size_t mark, const char* needle);
size_t LogMark();

// Clicks the first visible button of the names in the next skinned message box that opens on this
// thread (its loop runs inside the code under test); the box's message and caption are kept.
struct MessageBoxAnswer {
    std::wstring text;
    std::wstring caption;
    bool answered = false;
};
void AnswerNextMessageBox(std::initializer_list<const wchar_t*> buttons, MessageBoxAnswer* seen);

// Pixels of the emotion GIFs' face yellow (about FF D4 3B), which no chat text colour comes near.
int CountEmotionYellow(const WindowPixels& shot);
// Pixels of clear colour (channels apart by more than 60): neither white, grey nor black.
int CountColourful(const WindowPixels& shot);
// Captures the window every stepMs for a while and answers how many different pictures it showed.
int DistinctFrames(HWND window, DWORD forMs, DWORD stepMs);
