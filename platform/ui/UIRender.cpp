#include "platform/ui/UIRender.h"

#include "platform/ui/UILog.h"
#include "platform/ui/UIManager.h"

#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}
#include <gdiplus.h>

#include <cstring>

using namespace Gdiplus;

namespace {

ULONG_PTR g_gdiplusToken = 0;

COLORREF ToColorRef(DWORD argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

struct ScopedGdiObject {
    HDC dc;
    HGDIOBJ previous;
    HGDIOBJ object;
    ScopedGdiObject(HDC d, HGDIOBJ o) : dc(d), previous(SelectObject(d, o)), object(o) {}
    ~ScopedGdiObject()
    {
        SelectObject(dc, previous);
        DeleteObject(object);
    }
};

HBITMAP CreateDib32(HDC dc, int cx, int cy, void** bits)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

void Blend(HDC hDC, HDC src, const RECT& dest, const RECT& source, BYTE fade, bool alpha)
{
    int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    int sw = source.right - source.left, sh = source.bottom - source.top;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    if (!alpha && fade == 255) {
        SetStretchBltMode(hDC, COLORONCOLOR);
        StretchBlt(hDC, dest.left, dest.top, dw, dh, src, source.left, source.top, sw, sh, SRCCOPY);
        return;
    }
    BLENDFUNCTION bf = {AC_SRC_OVER, 0, fade, static_cast<BYTE>(alpha ? AC_SRC_ALPHA : 0)};
    AlphaBlend(hDC, dest.left, dest.top, dw, dh, src, source.left, source.top, sw, sh, bf);
}

} // namespace

bool CRenderEngine::StartGdiplus()
{
    if (g_gdiplusToken) return true;
    GdiplusStartupInput input;
    if (GdiplusStartup(&g_gdiplusToken, &input, nullptr) != Ok) {
        g_gdiplusToken = 0;
        UILogError(L"GDI+ could not be started");
        return false;
    }
    return true;
}

void CRenderEngine::StopGdiplus()
{
    if (!g_gdiplusToken) return;
    GdiplusShutdown(g_gdiplusToken);
    g_gdiplusToken = 0;
}

TImageInfo* CRenderEngine::LoadImageFile(const wchar_t* path)
{
    if (!path || !*path || !StartGdiplus()) return nullptr;
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromFile(path, &bitmap) != Ok || !bitmap) {
        UILogError(L"image cannot be loaded: %s", path);
        return nullptr;
    }
    UINT cx = 0, cy = 0;
    DllExports::GdipGetImageWidth(bitmap, &cx);
    DllExports::GdipGetImageHeight(bitmap, &cy);
    TImageInfo* image = nullptr;
    void* bits = nullptr;
    HBITMAP dib = (cx && cy) ? CreateDib32(nullptr, static_cast<int>(cx), static_cast<int>(cy), &bits) : nullptr;
    if (dib) {
        GpRect all(0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
        BitmapData data{};
        if (DllExports::GdipBitmapLockBits(bitmap, &all, ImageLockModeRead, PixelFormat32bppPARGB, &data) == Ok) {
            bool alpha = false;
            for (UINT y = 0; y < cy; ++y) {
                const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
                BYTE* out = static_cast<BYTE*>(bits) + static_cast<size_t>(y) * cx * 4;
                memcpy(out, row, cx * 4);
                for (UINT x = 0; x < cx && !alpha; ++x) alpha = out[x * 4 + 3] != 255;
            }
            DllExports::GdipBitmapUnlockBits(bitmap, &data);
            image = new TImageInfo;
            image->hBitmap = dib;
            image->nX = static_cast<int>(cx);
            image->nY = static_cast<int>(cy);
            image->alphaChannel = alpha;
        } else {
            DeleteObject(dib);
        }
    }
    DllExports::GdipDisposeImage(bitmap);
    if (!image) UILogError(L"image cannot be decoded: %s", path);
    return image;
}

void CRenderEngine::FreeImage(TImageInfo* image)
{
    if (!image) return;
    if (image->hBitmap) DeleteObject(image->hBitmap);
    delete image;
}

void CRenderEngine::DrawColor(HDC hDC, const RECT& rc, DWORD color)
{
    BYTE alpha = static_cast<BYTE>(color >> 24);
    if (alpha == 0 || rc.right <= rc.left || rc.bottom <= rc.top) return;
    if (alpha == 255) {
        HBRUSH brush = CreateSolidBrush(ToColorRef(color));
        FillRect(hDC, &rc, brush);
        DeleteObject(brush);
        return;
    }
    // One premultiplied pixel stretched over the rectangle.
    void* bits = nullptr;
    HBITMAP pixel = CreateDib32(hDC, 1, 1, &bits);
    if (!pixel) return;
    BYTE* p = static_cast<BYTE*>(bits);
    p[0] = static_cast<BYTE>((color & 0xFF) * alpha / 255);
    p[1] = static_cast<BYTE>(((color >> 8) & 0xFF) * alpha / 255);
    p[2] = static_cast<BYTE>(((color >> 16) & 0xFF) * alpha / 255);
    p[3] = alpha;
    HDC src = CreateCompatibleDC(hDC);
    HGDIOBJ old = SelectObject(src, pixel);
    RECT one{0, 0, 1, 1};
    Blend(hDC, src, rc, one, 255, true);
    SelectObject(src, old);
    DeleteDC(src);
    DeleteObject(pixel);
}

void CRenderEngine::DrawLine(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor, int nStyle)
{
    ScopedGdiObject pen(hDC, CreatePen(nStyle, nSize, ToColorRef(dwPenColor)));
    POINT previous;
    MoveToEx(hDC, rc.left, rc.top, &previous);
    LineTo(hDC, rc.right, rc.bottom);
    MoveToEx(hDC, previous.x, previous.y, nullptr);
}

void CRenderEngine::DrawRect(HDC hDC, const RECT& rc, int nSize, DWORD dwPenColor)
{
    if (nSize <= 0) return;
    // Frames lie inside the rectangle, nSize pixels wide.
    HBRUSH brush = CreateSolidBrush(ToColorRef(dwPenColor));
    RECT edges[4] = {{rc.left, rc.top, rc.right, rc.top + nSize},
                     {rc.left, rc.bottom - nSize, rc.right, rc.bottom},
                     {rc.left, rc.top, rc.left + nSize, rc.bottom},
                     {rc.right - nSize, rc.top, rc.right, rc.bottom}};
    for (const RECT& e : edges) FillRect(hDC, &e, brush);
    DeleteObject(brush);
}

void CRenderEngine::DrawRoundRect(HDC hDC, const RECT& rc, int width, int height, int nSize, DWORD dwPenColor)
{
    ScopedGdiObject pen(hDC, CreatePen(PS_SOLID, nSize, ToColorRef(dwPenColor)));
    HGDIOBJ oldBrush = SelectObject(hDC, GetStockObject(NULL_BRUSH));
    RoundRect(hDC, rc.left, rc.top, rc.right, rc.bottom, width, height);
    SelectObject(hDC, oldBrush);
}

void CRenderEngine::DrawText(HDC hDC, CPaintManagerUI* pManager, RECT& rc, const wchar_t* pstrText, DWORD dwTextColor,
                             int iFont, UINT uStyle)
{
    if (!pstrText || !pManager) return;
    SetBkMode(hDC, TRANSPARENT);
    SetTextColor(hDC, ToColorRef(dwTextColor));
    HGDIOBJ oldFont = SelectObject(hDC, pManager->GetFont(iFont));
    ::DrawTextW(hDC, pstrText, -1, &rc, uStyle | DT_NOPREFIX);
    SelectObject(hDC, oldFont);
}

SIZE CRenderEngine::GetTextSize(HDC hDC, CPaintManagerUI* pManager, const wchar_t* pstrText, int iFont, UINT)
{
    SIZE size{0, 0};
    if (!pstrText || !pManager) return size;
    HGDIOBJ oldFont = SelectObject(hDC, pManager->GetFont(iFont));
    GetTextExtentPoint32W(hDC, pstrText, static_cast<int>(wcslen(pstrText)), &size);
    SelectObject(hDC, oldFont);
    return size;
}

void CRenderEngine::DrawImage(HDC hDC, const TImageInfo* image, const RECT& rc, const RECT& rcPaint,
                              const RECT& rcBmpPart, const RECT& rcCorners, BYTE fade)
{
    if (!image || !image->hBitmap) return;
    RECT clip;
    if (!IntersectRect(&clip, &rc, &rcPaint)) return;
    HDC src = CreateCompatibleDC(hDC);
    HGDIOBJ old = SelectObject(src, image->hBitmap);
    int saved = SaveDC(hDC);
    IntersectClipRect(hDC, clip.left, clip.top, clip.right, clip.bottom);
    const RECT& s = rcBmpPart;
    const RECT& c = rcCorners;
    // Nine pieces: the corners keep their size, the edges and the middle stretch.
    int dx[4] = {rc.left, rc.left + c.left, rc.right - c.right, rc.right};
    int dy[4] = {rc.top, rc.top + c.top, rc.bottom - c.bottom, rc.bottom};
    int sx[4] = {s.left, s.left + c.left, s.right - c.right, s.right};
    int sy[4] = {s.top, s.top + c.top, s.bottom - c.bottom, s.bottom};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            RECT d{dx[col], dy[row], dx[col + 1], dy[row + 1]};
            RECT p{sx[col], sy[row], sx[col + 1], sy[row + 1]};
            Blend(hDC, src, d, p, fade, image->alphaChannel);
        }
    }
    RestoreDC(hDC, saved);
    SelectObject(src, old);
    DeleteDC(src);
}

bool CRenderEngine::DrawImageString(HDC hDC, CPaintManagerUI* pManager, const RECT& rcItem, const RECT& rcPaint,
                                    const wchar_t* pStrImage, const wchar_t* pStrModify)
{
    if (!pManager || !pStrImage || !*pStrImage) return false;
    CDuiString file;
    RECT dest = rcItem;
    RECT source{0, 0, 0, 0};
    RECT corner{0, 0, 0, 0};
    bool haveSource = false;
    int fade = 255;
    auto apply = [&](const CDuiString& name, const CDuiString& value) {
        if (name == L"file" || name == L"res") file = value;
        else if (name == L"dest") {
            RECT r = ParseRect(value);
            dest = {rcItem.left + r.left, rcItem.top + r.top, rcItem.left + r.right, rcItem.top + r.bottom};
        } else if (name == L"source") {
            source = ParseRect(value);
            haveSource = true;
        } else if (name == L"corner") corner = ParseRect(value);
        else if (name == L"fade") fade = _wtoi(value);
    };
    if (wcschr(pStrImage, L'=') == nullptr) file = pStrImage;
    else if (!ForEachAttribute(pStrImage, apply)) return false;
    if (pStrModify && !ForEachAttribute(pStrModify, apply)) return false;
    const TImageInfo* image = pManager->GetImageEx(file);
    if (!image) return false;
    if (!haveSource) source = {0, 0, image->nX, image->nY};
    source.right = std::min<LONG>(source.right, image->nX);
    source.bottom = std::min<LONG>(source.bottom, image->nY);
    DrawImage(hDC, image, dest, rcPaint, source, corner, static_cast<BYTE>(std::clamp(fade, 0, 255)));
    return true;
}
