#include "platform/ui/UIRichEditImage.h"

#include "platform/ui/UILog.h"
#include "platform/ui/UIRender.h"

#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}
#include <gdiplus.h>

using namespace Gdiplus;

namespace {

// FrameDimensionTime; declared by the GDI+ headers but not in MinGW's import library.
const GUID kFrameDimensionTime = {0x6aedbd6d, 0x3fb5, 0x418a, {0x83, 0xa6, 0x7f, 0x45, 0x22, 0x9d, 0xc8, 0x72}};
// A private class id: the object is a static picture of this layer, never created through COM.
const CLSID kImageClsid = {0x5b0c3f3e, 0x8d7a, 0x4b61, {0x9a, 0x1e, 0x4c, 0x2d, 0x77, 0x10, 0x3e, 0x51}};

HBITMAP CopyBitmap(HBITMAP source)
{
    return static_cast<HBITMAP>(CopyImage(source, IMAGE_BITMAP, 0, 0, 0));
}

// Pixels to HIMETRIC (0.01 mm) at the screen's resolution.
SIZEL ToHimetric(SIZE px)
{
    HDC screen = GetDC(nullptr);
    int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return {MulDiv(px.cx, 2540, dpiX), MulDiv(px.cy, 2540, dpiY)};
}

std::wstring TokenOf(const wchar_t* path)
{
    std::wstring name(path);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos) name.erase(0, slash + 1);
    size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
    return L"[\\" + name + L"]";
}

} // namespace

CRichEditImage* CRichEditImage::FromFile(const wchar_t* path)
{
    if (!path || !*path || !CRenderEngine::StartGdiplus()) return nullptr;
    GpBitmap* bitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromFile(path, &bitmap) != Ok || !bitmap) {
        UILogError(L"image for the rich edit cannot be loaded: %s", path);
        return nullptr;
    }
    auto* image = new CRichEditImage;
    image->m_token = TokenOf(path);
    UINT cx = 0, cy = 0;
    DllExports::GdipGetImageWidth(bitmap, &cx);
    DllExports::GdipGetImageHeight(bitmap, &cy);
    image->m_size = {static_cast<LONG>(cx), static_cast<LONG>(cy)};
    UINT frames = 1;
    if (DllExports::GdipImageGetFrameCount(bitmap, &kFrameDimensionTime, &frames) != Ok || frames == 0) frames = 1;
    // The delays of all frames, in hundredths of a second; a missing list means 100 ms each.
    std::vector<UINT> delays(frames, 10);
    UINT propertySize = 0;
    if (DllExports::GdipGetPropertyItemSize(bitmap, PropertyTagFrameDelay, &propertySize) == Ok && propertySize >= sizeof(PropertyItem)) {
        std::vector<BYTE> buffer(propertySize);
        auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
        if (DllExports::GdipGetPropertyItem(bitmap, PropertyTagFrameDelay, propertySize, item) == Ok && item->value) {
            UINT count = std::min<UINT>(item->length / 4, frames);
            for (UINT i = 0; i < count; ++i) delays[i] = static_cast<const UINT*>(item->value)[i];
        }
    }
    for (UINT i = 0; i < frames; ++i) {
        if (frames > 1 && DllExports::GdipImageSelectActiveFrame(bitmap, &kFrameDimensionTime, i) != Ok) break;
        HBITMAP frame = nullptr;
        if (DllExports::GdipCreateHBITMAPFromBitmap(bitmap, &frame, 0xFFFFFFFF) != Ok || !frame) break;
        DWORD delay = std::max<DWORD>(delays[i] * 10, 20); // no frame shorter than 20 ms
        image->m_frames.push_back({frame, delay});
        image->m_totalMs += delay;
    }
    DllExports::GdipDisposeImage(bitmap);
    if (image->m_frames.empty()) {
        UILogError(L"image for the rich edit cannot be decoded: %s", path);
        image->Release();
        return nullptr;
    }
    image->m_startTick = GetTickCount();
    return image;
}

CRichEditImage::~CRichEditImage()
{
    for (const Frame& frame : m_frames) DeleteObject(frame.bitmap);
    if (m_site) m_site->Release();
}

int CRichEditImage::CurrentFrame() const
{
    if (m_frames.size() < 2 || m_totalMs == 0) return 0;
    DWORD t = (GetTickCount() - m_startTick) % m_totalMs;
    for (size_t i = 0; i < m_frames.size(); ++i) {
        if (t < m_frames[i].delayMs) return static_cast<int>(i);
        t -= m_frames[i].delayMs;
    }
    return 0;
}

STDMETHODIMP CRichEditImage::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject)) *ppv = static_cast<IOleObject*>(this);
    else if (IsEqualIID(riid, IID_IDataObject)) *ppv = static_cast<IDataObject*>(this);
    else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2)) *ppv = static_cast<IViewObject2*>(this);
    else return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CRichEditImage::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) CRichEditImage::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CRichEditImage::SetClientSite(IOleClientSite* site)
{
    if (site) site->AddRef();
    if (m_site) m_site->Release();
    m_site = site;
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetClientSite(IOleClientSite** site)
{
    if (!site) return E_POINTER;
    *site = m_site;
    if (m_site) m_site->AddRef();
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetUserClassID(CLSID* clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = kImageClsid;
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = ToHimetric(m_size);
    return S_OK;
}

STDMETHODIMP CRichEditImage::Advise(IAdviseSink*, DWORD* connection)
{
    if (connection) *connection = 1;
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status) return E_POINTER;
    *status = OLEMISC_STATIC;
    return S_OK;
}

STDMETHODIMP CRichEditImage::QueryGetData(FORMATETC* format)
{
    if (!format) return E_POINTER;
    if (format->cfFormat != CF_BITMAP) return DV_E_FORMATETC;
    if (!(format->tymed & TYMED_GDI)) return DV_E_TYMED;
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out) out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

STDMETHODIMP CRichEditImage::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium) return E_POINTER;
    HRESULT hr = QueryGetData(format);
    if (FAILED(hr)) return hr;
    // A copy: the receiver releases the medium and with it the bitmap.
    HBITMAP copy = CopyBitmap(m_frames[static_cast<size_t>(CurrentFrame())].bitmap);
    if (!copy) return E_OUTOFMEMORY;
    medium->tymed = TYMED_GDI;
    medium->hBitmap = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CRichEditImage::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw, LPCRECTL bounds,
                                  LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!hdcDraw || !bounds) return E_INVALIDARG;
    HDC source = CreateCompatibleDC(hdcDraw);
    HGDIOBJ old = SelectObject(source, m_frames[static_cast<size_t>(CurrentFrame())].bitmap);
    SetStretchBltMode(hdcDraw, COLORONCOLOR);
    StretchBlt(hdcDraw, bounds->left, bounds->top, bounds->right - bounds->left, bounds->bottom - bounds->top, source, 0,
               0, m_size.cx, m_size.cy, SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
    return S_OK;
}

STDMETHODIMP CRichEditImage::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}
