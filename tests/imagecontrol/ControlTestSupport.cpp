#include "tests/imagecontrol/ControlTestSupport.h"
#include "tests/support/TestFolders.h"

#include <cstdlib>

std::wstring PictureFile(const wchar_t* name)
{
    return std::wstring(TestProgramFolder().GetString()) + L"imagecontrol-data\\" + name;
}

std::wstring ServerPath() { return std::wstring(TestProgramFolder().GetString()) + L"Tessellon.dll"; }

ServerDll::ServerDll() : m_module(LoadLibraryW(ServerPath().c_str()))
{
    if (!m_module) return;
    m_register = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_module, "DllRegisterServer"));
    m_unregister = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_module, "DllUnregisterServer"));
    m_install = reinterpret_cast<HRESULT(WINAPI*)(BOOL, LPCWSTR)>(GetProcAddress(m_module, "DllInstall"));
    m_canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(GetProcAddress(m_module, "DllCanUnloadNow"));
    m_getClassObject =
        reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(GetProcAddress(m_module, "DllGetClassObject"));
    if (!m_register || !m_unregister || !m_install || !m_canUnload || !m_getClassObject) {
        FreeLibrary(m_module);
        m_module = nullptr;
    }
}

ServerDll::~ServerDll()
{
    if (m_module) FreeLibrary(m_module);
}

bool RegKeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool RegString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value)
{
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG rc = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    value = buffer;
    return true;
}

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[64] = {};
    StringFromGUID2(guid, text, 64);
    return text;
}

void RegisteredControlTest::SetUp()
{
    ASSERT_TRUE(m_server.Loaded());
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    m_oleStarted = true;
    ASSERT_EQ(S_OK, m_server.Register());
}

void RegisteredControlTest::TearDown()
{
    if (m_server.Loaded()) {
        EXPECT_EQ(S_OK, m_server.Unregister());
    }
    if (m_oleStarted) OleUninitialize();
}

CComPtr<ILVImageCtl> RegisteredControlTest::CreateControl()
{
    CLSID clsid = {};
    CComPtr<ILVImageCtl> control;
    if (FAILED(CLSIDFromProgID(L"Tessellon.LVImageCtl", &clsid))) return control;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ILVImageCtl, reinterpret_cast<void**>(&control));
    return control;
}

HRESULT RegisteredControlTest::Load(ILVImageCtl* control, const std::wstring& path)
{
    BSTR text = SysAllocString(path.c_str());
    HRESULT hr = control->LoadImage(text, 0);
    SysFreeString(text);
    return hr;
}

DibCanvas::DibCanvas(int width, int height, COLORREF fill) : m_width(width), m_height(height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<uint32_t*>(bits);
    m_previous = SelectObject(m_dc, m_bitmap);
    uint32_t value = (GetRValue(fill) << 16) | (GetGValue(fill) << 8) | GetBValue(fill);
    for (int i = 0; m_bits && i < width * height; ++i) m_bits[i] = value;
}

DibCanvas::~DibCanvas()
{
    if (m_dc) SelectObject(m_dc, m_previous);
    if (m_bitmap) DeleteObject(m_bitmap);
    if (m_dc) DeleteDC(m_dc);
}

COLORREF DibCanvas::Pixel(int x, int y) const
{
    GdiFlush();
    uint32_t value = m_bits[y * m_width + x];
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

bool ColourNear(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool DibCanvas::AreaIs(const RECT& rect, COLORREF colour, int tolerance) const
{
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (!ColourNear(Pixel(x, y), colour, tolerance)) return false;
    return true;
}

::testing::AssertionResult DrawControl(ILVImageCtl* control, HDC dc, const RECT& bounds)
{
    CComPtr<IViewObjectEx> view;
    HRESULT hr = view.QueryFrom(control);
    if (FAILED(hr)) return ::testing::AssertionFailure() << "no IViewObjectEx: " << std::hex << hr;
    RECTL rect = {bounds.left, bounds.top, bounds.right, bounds.bottom};
    hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &rect, nullptr, nullptr, 0);
    if (hr != S_OK) return ::testing::AssertionFailure() << "Draw answered " << std::hex << hr;
    return ::testing::AssertionSuccess();
}
