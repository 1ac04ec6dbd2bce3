#include "tests/ui/UiTestHost.h"

#include <cstdio>

UiTestHost::UiTestHost(bool topLevel)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &UiTestHost::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LvUiTestHost";
    RegisterClassW(&wc);
    m_window = CreateWindowExW(0, L"LvUiTestHost", L"", topLevel ? WS_POPUP : 0, 0, 0, 300, 300,
                               topLevel ? nullptr : HWND_MESSAGE, nullptr, wc.hInstance, this);
    m_pm.Init(m_window);
    m_pm.AddNotifier(this);
}

UiTestHost::~UiTestHost()
{
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
}

bool UiTestHost::Load(const wchar_t* xml, RECT rc)
{
    CDialogBuilder builder;
    CControlUI* root = builder.Create(xml, nullptr, this, &m_pm);
    if (!root) return false;
    // A message-only window has no meaningful client area: lay out in the given size.
    m_pm.SetLayoutSize({rc.right, rc.bottom});
    m_pm.AttachDialog(root);
    root->SetPos(rc);
    // The first layout, as the first paint of a window would do it ("windowinit" is not logged).
    MemoryDib dib(1, 1);
    m_pm.PaintTo(dib.Dc(), {0, 0, 1, 1});
    log.clear();
    return true;
}

void UiTestHost::Notify(TNotifyUI& msg)
{
    std::wstring entry = msg.sType.GetString();
    entry += L":";
    if (msg.pSender) entry += msg.pSender->GetName().GetString();
    log.push_back(entry);
}

CControlUI* UiTestHost::CreateControl(LPCTSTR pstrClass)
{
    unknownTags.push_back(pstrClass);
    if (wcscmp(pstrClass, L"MyBox") == 0) return new CContainerUI;
    return nullptr;
}

LRESULT CALLBACK UiTestHost::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<LPCREATESTRUCTW>(lParam)->lpCreateParams));
    }
    auto* host = reinterpret_cast<UiTestHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    LRESULT result = 0;
    if (host && host->m_pm.GetPaintWindow() == hwnd && host->m_pm.MessageHandler(msg, wParam, lParam, result))
        return result;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void UiTestHost::Press(int x, int y)
{
    SendMessageW(m_window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    SendMessageW(m_window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
}

void UiTestHost::Release(int x, int y)
{
    SendMessageW(m_window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void UiTestHost::Move(int x, int y)
{
    SendMessageW(m_window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void UiTestHost::Click(int x, int y)
{
    Press(x, y);
    Release(x, y);
}

void UiTestHost::Key(WPARAM key)
{
    SendMessageW(m_window, WM_KEYDOWN, key, 0);
    SendMessageW(m_window, WM_KEYUP, key, 0);
}

void UiTestHost::Pump(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    MSG msg;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

MemoryDib::MemoryDib(int width, int height) : m_width(width), m_height(height)
{
    BITMAPINFO bmi{};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = width;
    bmi.bmiHeader.biHeight = -height;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_dc = CreateCompatibleDC(nullptr);
    m_bitmap = CreateDIBSection(m_dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    m_bits = static_cast<uint32_t*>(bits);
    m_old = SelectObject(m_dc, m_bitmap);
}

MemoryDib::~MemoryDib()
{
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
}

void MemoryDib::Fill(uint32_t rgb)
{
    for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = rgb;
}

int MemoryDib::CountOther(const RECT& rc, uint32_t rgb) const
{
    int n = 0;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) n += At(x, y) != rgb;
    return n;
}

int MemoryDib::CountColor(const RECT& rc, uint32_t rgb) const
{
    int n = 0;
    for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) n += At(x, y) == rgb;
    return n;
}

bool WriteTestBmp(const wchar_t* path, int width, int height, uint32_t (*colour)(int, int))
{
    int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = width;
    ih.biHeight = height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biSizeImage = static_cast<DWORD>(stride * height);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + ih.biSizeImage;
    FILE* f = _wfopen(path, L"wb");
    if (!f) return false;
    fwrite(&fh, sizeof(fh), 1, f);
    fwrite(&ih, sizeof(ih), 1, f);
    std::vector<unsigned char> row(static_cast<size_t>(stride), 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            row[static_cast<size_t>(x) * 3] = c & 0xFF;
            row[static_cast<size_t>(x) * 3 + 1] = (c >> 8) & 0xFF;
            row[static_cast<size_t>(x) * 3 + 2] = (c >> 16) & 0xFF;
        }
        fwrite(row.data(), 1, row.size(), f);
    }
    fclose(f);
    return true;
}
