// How long the image control takes to decode a picture, to find it again in its cache, and to
// draw a frame. The server is used without registration, through its class object.
// Goal: a picture is decoded once per control and path, so a repeated LoadImage of a loaded path
// costs under a tenth of the first decode. The draw time is printed for comparison between builds.
#include "bench/BenchClock.h"
#include "imagecontrol/Tessellon.h"
#include "platform/atl/AtlCom.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <ocidl.h>

#include <cstdio>
#include <string>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// A 1024 x 768 gradient PNG, written with GDI+ itself.
bool WritePicture(const std::wstring& path)
{
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (GdiplusStartup(&token, &input, nullptr) != Ok) return false;
    GpBitmap* bitmap = nullptr;
    bool written = false;
    if (GdipCreateBitmapFromScan0(1024, 768, 0, PixelFormat32bppARGB, nullptr, &bitmap) == Ok) {
        for (INT y = 0; y < 768; y += 3)
            for (INT x = 0; x < 1024; x += 3) GdipBitmapSetPixel(bitmap, x, y, 0xFF000000 | (x << 8) | y);
        // {557CF406-1A04-11D3-9A73-0000F81EF32E}: the PNG encoder.
        const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
        written = GdipSaveImageToFile(bitmap, path.c_str(), &png, nullptr) == Ok;
        GdipDisposeImage(bitmap);
    }
    GdiplusShutdown(token);
    return written;
}

}  // namespace

int wmain()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    std::wstring picture = std::wstring(folder) + L"lv_bench_picture.png";
    if (!WritePicture(picture)) {
        fwprintf(stderr, L"could not write the bench picture\n");
        return 1;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE server = LoadLibraryW(L"Tessellon.dll");
    auto getClassObject =
        server ? reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(GetProcAddress(server, "DllGetClassObject"))
               : nullptr;
    CComPtr<IClassFactory> factory;
    CComPtr<ILVImageCtl> control;
    if (!getClassObject || FAILED(getClassObject(CLSID_LVImageCtl, IID_IClassFactory, (void**)&factory)) ||
        FAILED(factory->CreateInstance(nullptr, IID_ILVImageCtl, (void**)&control))) {
        fwprintf(stderr, L"could not create the control\n");
        return 1;
    }
    BSTR path = SysAllocString(picture.c_str());
    double start = NowMs();
    HRESULT loaded = control->LoadImage(path, 0);
    double firstLoad = NowMs() - start;
    const int repeats = 1000;
    start = NowMs();
    for (int i = 0; i < repeats; ++i) control->LoadImage(path, 0);
    double cachedLoad = (NowMs() - start) / repeats;
    SysFreeString(path);

    CComPtr<IViewObjectEx> view;
    view.QueryFrom(control);
    HDC dc = CreateCompatibleDC(nullptr);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 640, 480);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECTL bounds = {0, 0, 640, 480};
    const int draws = 50;
    start = NowMs();
    for (int i = 0; i < draws && view; ++i)
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    double draw = (NowMs() - start) / draws;
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);

    wprintf(L"LoadImage 1024x768 PNG, first: %.3f ms (hr 0x%08lx)\n", firstLoad, static_cast<unsigned long>(loaded));
    wprintf(L"LoadImage, cached:             %.4f ms  goal < %.3f ms: %ls\n", cachedLoad, firstLoad / 10,
            cachedLoad < firstLoad / 10 ? L"met" : L"MISSED");
    wprintf(L"Draw 1024x768 into 640x480:    %.3f ms\n", draw);
    view.Release();
    control.Release();
    factory.Release();
    DeleteFileW(picture.c_str());
    CoUninitialize();
    return 0;
}
