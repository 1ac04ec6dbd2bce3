#include "updater/DownloadWnd.h"

#include "updater/HttpDownload.h"
#include "updater/UpdateArgs.h"

#include <objidl.h> // gdiplus needs it with the lean Windows headers
#include <gdiplus.h>
#include <memory>

namespace {
const int kIconId = 107;
const int kBarWidth = 300;
const int kBarHeight = 14;
} // namespace

DWORD CDownloadWnd::s_installerWaitMs = 30000;
CString CDownloadWnd::s_tempFolder;

CWindowWnd::~CWindowWnd()
{
    PostQuitMessage(0);
}

bool CWindowWnd::RegisterWindowClass()
{
    WNDCLASSW wc = {};
    wc.style = GetClassStyle();
    wc.lpfnWndProc = &CWindowWnd::WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = GetWindowClassName();
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* caption, DWORD style, DWORD exStyle, int x, int y, int width,
                        int height)
{
    bool began = false;
    m_began = &began;
    HWND window = RegisterWindowClass() ? CreateWindowExW(exStyle, GetWindowClassName(), caption, style, x, y, width,
                                                          height, parent, nullptr, GetModuleHandleW(nullptr), this)
                                        : nullptr;
    // A window that began to exist and failed has had its final message, which freed this object.
    if (window || began) {
        if (window) m_began = nullptr;
        return window;
    }
    delete this;
    return nullptr;
}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = window;
        if (self->m_began) *self->m_began = true;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        LRESULT result = CallWindowProcW(self->m_oldWndProc, window, message, wParam, lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage(window);
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) OnCreate();
    return CallWindowProcW(m_oldWndProc, m_hWnd, message, wParam, lParam);
}

void CWindowWnd::CenterWindow()
{
    RECT window;
    GetWindowRect(m_hWnd, &window);
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT centre = area;
    HWND owner = GetWindow(m_hWnd, GW_OWNER);
    if (owner) GetWindowRect(owner, &centre);
    int width = window.right - window.left, height = window.bottom - window.top;
    int x = (centre.left + centre.right) / 2 - width / 2;
    int y = (centre.top + centre.bottom) / 2 - height / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool OpenDownloadWindow(CDownloadWnd* window)
{
    if (!window->Create(nullptr, L"Lumenvale Update", WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE, 0, 0, 400, 160))
        return false;
    window->CenterWindow();
    ShowWindow(window->GetHWND(), SW_SHOWNORMAL);
    return true;
}

CDownloadWnd::CDownloadWnd(const CString& address, const CString& program, const CString& arguments)
    : m_address(address), m_program(program), m_arguments(arguments)
{
}

CDownloadWnd::~CDownloadWnd()
{
    if (m_memoryDc) {
        SelectObject(m_memoryDc, m_oldBitmap);
        DeleteDC(m_memoryDc);
    }
    if (m_bitmap) DeleteObject(m_bitmap);
    if (m_worker) {
        m_worker->Stop();
        delete m_worker;
    }
}

void CDownloadWnd::OnCreate()
{
    if (!m_worker) {
        m_worker = new CHttpDownload(m_hWnd);
        m_worker->installerWaitMs = s_installerWaitMs;
        m_worker->tempFolder = s_tempFolder;
        m_worker->Start(m_address);
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HICON big = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (big) SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CDownloadWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ERASEBKGND:
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        Paint(dc);
        EndPaint(m_hWnd, &ps);
        break;
    }
    case WM_DOWNLOAD_PROGRESS:
        if (lParam != 0) {
            m_error = static_cast<int>(lParam);
        } else {
            m_percent = static_cast<int>(wParam);
            if (m_percent >= 100) {
                // Only a client started with its own arguments is restarted with them.
                if (!m_program.IsEmpty() && !m_arguments.IsEmpty()) RunProcess(L" " + m_arguments, m_program);
                PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
            }
        }
        InvalidateRect(m_hWnd, nullptr, FALSE);
        break;
    default:
        break;
    }
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

void CDownloadWnd::Paint(HDC target)
{
    using namespace Gdiplus;
    RECT client;
    GetClientRect(m_hWnd, &client);
    int width = client.right - client.left, height = client.bottom - client.top;
    if (!m_memoryDc) {
        m_memoryDc = CreateCompatibleDC(target);
        m_bitmap = CreateCompatibleBitmap(target, width, height);
        m_oldBitmap = SelectObject(m_memoryDc, m_bitmap);
    }
    {
        Graphics graphics(m_memoryDc);
        graphics.SetTextRenderingHint(TextRenderingHintAntiAlias);
        LinearGradientBrush background(Point(0, 0), Point(0, height), Color(0xFFFEFEFE), Color(0xFFF5F5F5));
        graphics.FillRectangle(&background, 0, 0, width, height);

        int x = client.left + (width - 330) / 2;
        int y = client.top + (height - kBarHeight) / 2;
        Pen frame(Color(0xFF6EA0C5), 1);
        graphics.DrawRectangle(&frame, x, y, kBarWidth, kBarHeight);
        int percent = m_percent < 0 ? 0 : m_percent > 100 ? 100 : m_percent;
        LinearGradientBrush bar(Point(0, y + 1), Point(0, y + kBarHeight), Color(0xFFA8D6FA), Color(0xFF377ECE));
        graphics.FillRectangle(&bar, x + 1, y + 1, percent * 298 / 100 + 1, 13);

        FontFamily yahei(L"Microsoft YaHei");
        std::unique_ptr<Font> font(yahei.IsAvailable()
                                       ? new Font(&yahei, 9, FontStyleRegular, UnitPoint)
                                       : new Font(FontFamily::GenericSansSerif(), 9, FontStyleRegular, UnitPoint));
        SolidBrush black(Color(0xFF000000));
        StringFormat centred;
        centred.SetAlignment(StringAlignmentCenter);
        wchar_t text[64];
        swprintf(text, 64, L"%d%%", m_percent);
        graphics.DrawString(text, -1, font.get(), RectF(static_cast<REAL>(x + kBarWidth), static_cast<REAL>(y), 25, 14),
                            &centred, &black);
        graphics.DrawString(L"正在在线更新....", -1, font.get(), PointF(static_cast<REAL>(x + 45), static_cast<REAL>(y - 25)),
                            &black);
        if (m_error) {
            swprintf(text, 64, L"下载失败，错误码为%d", m_error);
            graphics.DrawString(text, -1, font.get(), PointF(static_cast<REAL>(x + 60), static_cast<REAL>(y + kBarHeight + 10)),
                                &black);
        }
    }
    BitBlt(target, 0, 0, width, height, m_memoryDc, 0, 0, SRCCOPY);
}
