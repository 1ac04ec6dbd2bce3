// Slide pictures the stand-in PowerPoint exports and the tests read back: a white page with the page
// number written large and the same number as a row of eight black or white squares (bit 7 first), which
// survives JPEG compression and can be read back exactly.
#pragma once
#include <windows.h>
#include <string>

// Starts GDI+ once for the process (never shut down: exports may run on any thread until exit).
bool EnsureGdiplus();
// Draws the page at width x height (at least 80 x 20) and saves it as JPEG.
bool DrawSlideJpeg(const wchar_t* path, int page, int width, int height);
// Decodes a JPEG (or any GDI+ image); page receives the number read from the squares (0..255).
bool ReadSlideJpeg(const wchar_t* path, int* width, int* height, int* page);
