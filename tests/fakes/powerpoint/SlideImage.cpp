#include "tests/fakes/powerpoint/SlideImage.h"

#include <objidl.h>
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>
namespace Gdiplus {
using std::max;
using std::min;
}
#include <gdiplus.h>

namespace {

int SquareSize(int width, int height)
{
    return std::max(4, std::min(width / 10, height / 4));
}

bool JpegEncoder(CLSID* clsid)
{
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<unsigned char> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/jpeg") == 0) {
            *clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// Font families differ between machines (this Wine has few): the first known one, else any installed.
std::wstring PickFontName()
{
    for (const wchar_t* name : {L"Arial", L"Tahoma", L"DejaVu Sans"}) {
        Gdiplus::FontFamily family(name);
        if (family.GetLastStatus() == Gdiplus::Ok) return name;
    }
    Gdiplus::InstalledFontCollection installed;
    INT count = installed.GetFamilyCount();
    if (count <= 0) return std::wstring();
    std::vector<Gdiplus::FontFamily> families(static_cast<size_t>(count));
    INT found = 0;
    WCHAR name[LF_FACESIZE] = {};
    if (installed.GetFamilies(count, families.data(), &found) != Gdiplus::Ok || found <= 0 ||
        families[0].GetFamilyName(name) != Gdiplus::Ok)
        return std::wstring();
    return name;
}

} // namespace

bool EnsureGdiplus()
{
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        started = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    });
    return started;
}

bool DrawSlideJpeg(const wchar_t* path, int page, int width, int height)
{
    if (!EnsureGdiplus() || width < 80 || height < 20) return false;
    CLSID encoder;
    if (!JpegEncoder(&encoder)) return false;
    Gdiplus::Bitmap bitmap(width, height, PixelFormat24bppRGB);
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return false;
    {
        Gdiplus::Graphics graphics(&bitmap);
        graphics.Clear(Gdiplus::Color(255, 255, 255, 255));
        Gdiplus::SolidBrush black(Gdiplus::Color(255, 0, 0, 0));
        const int square = SquareSize(width, height);
        for (int bit = 0; bit < 8; ++bit) {
            if (page & (0x80 >> bit)) graphics.FillRectangle(&black, bit * square, 0, square, square);
        }
        static const std::wstring fontName = PickFontName();
        Gdiplus::FontFamily family(fontName.c_str());
        if (fontName.empty() || family.GetLastStatus() != Gdiplus::Ok) return false;
        Gdiplus::Font font(&family, static_cast<Gdiplus::REAL>(height) / 4, Gdiplus::FontStyleBold,
                           Gdiplus::UnitPixel);
        Gdiplus::SolidBrush blue(Gdiplus::Color(255, 20, 40, 160));
        Gdiplus::StringFormat centred;
        centred.SetAlignment(Gdiplus::StringAlignmentCenter);
        centred.SetLineAlignment(Gdiplus::StringAlignmentCenter);
        wchar_t text[16];
        wsprintfW(text, L"%d", page);
        Gdiplus::RectF area(0, static_cast<Gdiplus::REAL>(square), static_cast<Gdiplus::REAL>(width),
                            static_cast<Gdiplus::REAL>(height - square));
        if (graphics.DrawString(text, -1, &font, area, &centred, &blue) != Gdiplus::Ok) return false;
    }
    return bitmap.Save(path, &encoder, nullptr) == Gdiplus::Ok;
}

bool ReadSlideJpeg(const wchar_t* path, int* width, int* height, int* page)
{
    if (!EnsureGdiplus()) return false;
    Gdiplus::Bitmap bitmap(path);
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return false;
    const int w = static_cast<int>(bitmap.GetWidth());
    const int h = static_cast<int>(bitmap.GetHeight());
    if (width) *width = w;
    if (height) *height = h;
    if (page) {
        const int square = SquareSize(w, h);
        int value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            Gdiplus::Color colour;
            if (bitmap.GetPixel(bit * square + square / 2, square / 2, &colour) != Gdiplus::Ok) return false;
            const int level = (colour.GetR() + colour.GetG() + colour.GetB()) / 3;
            if (level < 128) value |= 0x80 >> bit;
        }
        *page = value;
    }
    return true;
}
