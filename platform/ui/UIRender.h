// Drawing on a device context: colours with alpha, lines, frames, text and images from image strings.
#pragma once
#include "platform/ui/UIBase.h"

// A decoded image: a 32-bit top-down DIB with premultiplied alpha.
struct TImageInfo {
    HBITMAP hBitmap = nullptr;
    int nX = 0;
    int nY = 0;
    bool alphaChannel = false;
};

// Where a link of marked-up text was drawn.
struct THtmlLink {
    RECT rc;
    CDuiString target;
};

class CRenderEngine {
public:
    // Decodes a PNG, JPEG, BMP or GIF (first frame) file through GDI+; null on failure (logged).
    static TImageInfo* LoadImageFile(const wchar_t* path);
    static void FreeImage(TImageInfo* image);

    static void DrawColor(HDC hDC, const RECT& rc, DWORD color);
    static void DrawLine(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor, int nStyle = PS_SOLID);
    static void DrawRect(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor);
    static void DrawRoundRect(HDC hDC, const RECT& rc, int width, int height, int nSize, DWORD dwPenColor);
    // Text in colour and font (index into the manager's fonts, -1 the default) with DT_* style.
    static void DrawText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const wchar_t* pstrText, DWORD dwTextColor,
                         int iFont, UINT uStyle);
    // Text with inline markup in <> or {}: b, i, u, s, c #colour, f font, a target, n, p, x pixels.
    // DT_SINGLELINE, DT_WORDBREAK, DT_CENTER/DT_RIGHT, DT_VCENTER/DT_BOTTOM, DT_END_ELLIPSIS and
    // DT_CALCRECT (rc becomes the text's extent, nothing drawn) are honoured. pLinks, when given,
    // receives the rectangle and target of every drawn piece of a link.
    static void DrawHtmlText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const wchar_t* pstrText,
                             DWORD dwTextColor, int iFont, UINT uStyle, std::vector<THtmlLink>* pLinks = nullptr);
    static SIZE GetTextSize(HDC hDC, CPaintManagerUI* pManager, const wchar_t* pstrText, int iFont, UINT uStyle);

    // Draws part of an image: rcBmpPart of the image into rc, the corners rcCorners kept unscaled.
    static void DrawImage(HDC hDC, const TImageInfo* image, const RECT& rc, const RECT& rcPaint,
                          const RECT& rcBmpPart, const RECT& rcCorners, BYTE fade);
    // An image string ("a.png" or "file='a.png' source='..' dest='..' corner='..' fade='..'") drawn into
    // rcItem, modified by pStrModify ("dest='..'"); false when the image cannot be loaded.
    static bool DrawImageString(HDC hDC, CPaintManagerUI* pManager, const RECT& rcItem, const RECT& rcPaint,
                                const wchar_t* pStrImage, const wchar_t* pStrModify = nullptr);

    // GDI+ is started on first use and shut down by the paint manager's Term.
    static bool StartGdiplus();
    static void StopGdiplus();
};
