#include "tests/support/Pixels.h"

WindowPixels CaptureClient(HWND window, const RECT* part)
{
    WindowPixels shot;
    RECT rc{};
    if (!IsWindow(window) || !GetClientRect(window, &rc)) return shot;
    if (part) rc = *part;
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0) return shot;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, source, rc.left, rc.top, SRCCOPY);
        GdiFlush();
        const uint32_t* pixels = static_cast<const uint32_t*>(bits);
        shot.width = width;
        shot.height = height;
        shot.pixels.assign(pixels, pixels + width * height);
        for (uint32_t& pixel : shot.pixels) pixel &= 0xFFFFFF;
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return shot;
}

void ShowAndClosePopupOver(HWND window, bool white)
{
    RECT rc{};
    GetWindowRect(window, &rc);
    HWND popup = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"",
                                 WS_POPUP | WS_VISIBLE | (white ? SS_WHITERECT : SS_BLACKRECT), rc.left, rc.top,
                                 rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, nullptr, nullptr);
    auto pump = [](DWORD ms) {
        for (DWORD end = GetTickCount() + ms; static_cast<int>(end - GetTickCount()) > 0; Sleep(5)) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    };
    UpdateWindow(popup);
    pump(200);
    DestroyWindow(popup);
    pump(300);
}

int CountPixels(const WindowPixels& shot, uint32_t rgb)
{
    int count = 0;
    for (uint32_t pixel : shot.pixels)
        if (pixel == rgb) ++count;
    return count;
}
