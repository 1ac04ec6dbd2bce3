#include "imagecontrol/LVImageCtl.h"

#include <shlwapi.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {
// The time dimension of a multi-frame picture: {6AEDBD6D-3FB5-418A-83A6-7F45229DC872}.
const GUID kFrameDimensionTime = {0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
}  // namespace

HRESULT CLVImageCtl::FinalConstruct()
{
    m_cache.reset(new (std::nothrow) ImageCache());
    if (!m_cache) return E_OUTOFMEMORY;
    // Without GDI+ no picture could ever load; the control still works as an empty rectangle.
    return S_OK;
}

void CLVImageCtl::FinalRelease()
{
    m_image = nullptr;
    m_cache.reset();
    m_path.clear();
}

STDMETHODIMP CLVImageCtl::LoadImage(BSTR bstrFileName, ULONG)
{
    m_animation.frame = 0;
    m_path.assign(bstrFileName ? bstrFileName : L"", bstrFileName ? SysStringLen(bstrFileName) : 0);
    // A path holding a NUL names the file before it, as every file API would read it.
    m_path.resize(wcslen(m_path.c_str()));
    if (!PathFileExistsW(m_path.c_str())) return S_FALSE;
    m_image = m_cache ? m_cache->Get(m_path) : nullptr;
    return m_image ? S_OK : S_FALSE;
}

STDMETHODIMP CLVImageCtl::GetImagePath(char* pWCharBuf, LONG lBufCharSize)
{
    LONGLONG length = static_cast<LONGLONG>(m_path.size());
    if (length >= lBufCharSize) return S_FALSE;
    if (IsBadWritePtr(pWCharBuf, static_cast<UINT_PTR>(lBufCharSize) * sizeof(wchar_t))) return S_FALSE;
    memcpy(pWCharBuf, m_path.c_str(), (m_path.size() + 1) * sizeof(wchar_t));
    return S_OK;
}

STDMETHODIMP CLVImageCtl::get_ObjectID(ULONG* pVal)
{
    if (IsBadWritePtr(pVal, sizeof(ULONG))) return S_FALSE;
    *pVal = m_objectId;
    return S_OK;
}

STDMETHODIMP CLVImageCtl::put_ObjectID(ULONG newVal)
{
    m_objectId = newVal;
    return S_OK;
}

// The size is the answer itself, not an out value; hosts read 0 (no picture) as S_OK.
STDMETHODIMP CLVImageCtl::GetWidth() { return m_image ? static_cast<HRESULT>(m_image->Width()) : 0; }

STDMETHODIMP CLVImageCtl::GetHeight() { return m_image ? static_cast<HRESULT>(m_image->Height()) : 0; }

STDMETHODIMP CLVImageCtl::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, IID_ILVImageCtl) ? S_OK : S_FALSE;
}

void CLVImageCtl::SelectDueFrame()
{
    if (!m_image->Animated()) return;
    AdvanceAnimation(m_animation, *m_image, GetTickCount());
    GdipImageSelectActiveFrame(m_image->Image(), &kFrameDimensionTime, m_animation.frame);
}

HRESULT CLVImageCtl::OnDraw(AtlDrawInfo& info)
{
    m_rect = info.bounds;
    // Metafile and printer contexts get nothing: the picture is for the screen only.
    DWORD type = GetObjectType(info.hdcDraw);
    if (type != OBJ_DC && type != OBJ_MEMDC) return S_OK;
    if (!m_image) return S_OK;
    SelectDueFrame();
    FillRect(info.hdcDraw, &m_rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    GpGraphics* graphics = nullptr;
    if (GdipCreateFromHDC(info.hdcDraw, &graphics) != Ok || !graphics) return S_OK;
    GdipDrawImageRectI(graphics, m_image->Image(), m_rect.left, m_rect.top, m_rect.right - m_rect.left,
                       m_rect.bottom - m_rect.top);
    GdipDeleteGraphics(graphics);
    return S_OK;
}
