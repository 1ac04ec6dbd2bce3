// Shared pieces of the image control tests: the server DLL loaded as regsvr32 does, registry
// readers, a DIB canvas whose pixels the tests read, and the test pictures.
#pragma once
#include "imagecontrol/Tessellon.h"
#include "platform/atl/AtlCom.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <string>

std::wstring PictureFile(const wchar_t* name);
std::wstring ServerPath();

// Tessellon.dll loaded by path, with its exports.
class ServerDll {
public:
    ServerDll();
    ~ServerDll();
    ServerDll(const ServerDll&) = delete;
    ServerDll& operator=(const ServerDll&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    HRESULT Register() const { return m_register(); }
    HRESULT Unregister() const { return m_unregister(); }
    HRESULT Install(BOOL install, const wchar_t* commandLine) const { return m_install(install, commandLine); }
    HRESULT CanUnloadNow() const { return m_canUnload(); }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return m_getClassObject(clsid, iid, out); }

private:
    HMODULE m_module = nullptr;
    HRESULT(WINAPI* m_register)() = nullptr;
    HRESULT(WINAPI* m_unregister)() = nullptr;
    HRESULT(WINAPI* m_install)(BOOL, LPCWSTR) = nullptr;
    HRESULT(WINAPI* m_canUnload)() = nullptr;
    HRESULT(WINAPI* m_getClassObject)(REFCLSID, REFIID, void**) = nullptr;
};

bool RegKeyExists(HKEY root, const std::wstring& path);
// The REG_SZ value (empty name = default value); false when the key or value is missing.
bool RegString(HKEY root, const std::wstring& path, const wchar_t* name, std::wstring& value);
std::wstring GuidText(REFGUID guid);

// An OLE apartment on the test's thread and the server registered for the machine for the test.
class RegisteredControlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A new control by its ProgID, as a host creates it.
    CComPtr<ILVImageCtl> CreateControl();
    HRESULT Load(ILVImageCtl* control, const std::wstring& path);

    ServerDll m_server;
    bool m_oleStarted = false;
};

// A 32-bit top-down DIB section selected into a memory DC.
class DibCanvas {
public:
    DibCanvas(int width, int height, COLORREF fill = RGB(0, 0, 0));
    ~DibCanvas();
    DibCanvas(const DibCanvas&) = delete;
    DibCanvas& operator=(const DibCanvas&) = delete;

    HDC Dc() const { return m_dc; }
    COLORREF Pixel(int x, int y) const;
    // Every pixel of the rectangle within tolerance of the colour (per channel).
    bool AreaIs(const RECT& rect, COLORREF colour, int tolerance = 0) const;
    int Width() const { return m_width; }
    int Height() const { return m_height; }

private:
    int m_width;
    int m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    uint32_t* m_bits = nullptr;
};

bool ColourNear(COLORREF a, COLORREF b, int tolerance);
::testing::AssertionResult DrawControl(ILVImageCtl* control, HDC dc, const RECT& bounds);
