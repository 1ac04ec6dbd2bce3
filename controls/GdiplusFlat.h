// GDI+ for the controls that draw images themselves, with owners for its objects.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}
#include <gdiplus.h>

struct GdipImageOwner {
    Gdiplus::GpImage* image = nullptr;
    GdipImageOwner() = default;
    GdipImageOwner(const GdipImageOwner&) = delete;
    GdipImageOwner& operator=(const GdipImageOwner&) = delete;
    ~GdipImageOwner() { Reset(); }
    void Reset()
    {
        if (image) Gdiplus::DllExports::GdipDisposeImage(image);
        image = nullptr;
    }
};

struct GdipGraphicsOwner {
    Gdiplus::GpGraphics* graphics = nullptr;
    GdipGraphicsOwner() = default;
    GdipGraphicsOwner(const GdipGraphicsOwner&) = delete;
    GdipGraphicsOwner& operator=(const GdipGraphicsOwner&) = delete;
    ~GdipGraphicsOwner()
    {
        if (graphics) Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    }
};

struct GdipAttributesOwner {
    Gdiplus::GpImageAttributes* attributes = nullptr;
    GdipAttributesOwner() = default;
    GdipAttributesOwner(const GdipAttributesOwner&) = delete;
    GdipAttributesOwner& operator=(const GdipAttributesOwner&) = delete;
    ~GdipAttributesOwner()
    {
        if (attributes) Gdiplus::DllExports::GdipDisposeImageAttributes(attributes);
    }
};
