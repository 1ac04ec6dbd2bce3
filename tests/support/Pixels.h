// What the screen shows of a window, for tests that look at the pixels a user would see.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

// 0x00RRGGBB row by row from the top.
struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool operator==(const WindowPixels& other) const
    {
        return width == other.width && height == other.height && pixels == other.pixels;
    }
};

// The window's client area, or only the part of it given in client coordinates.
WindowPixels CaptureClient(HWND window, const RECT* part = nullptr);

// What a closed menu, tooltip or dialog does to the window below: a popup of a plain colour (white or
// black) shown over the window's whole screen rectangle, then destroyed, and the queue pumped.
void ShowAndClosePopupOver(HWND window, bool white);
// Pixels of the shot equal to rgb.
int CountPixels(const WindowPixels& shot, uint32_t rgb);
