#include "tests/classroom/WindowTestSupport.h"

#include "tests/support/MessageSink.h"

#include "core/Folders.h"
#include "platform/ui/UIlib.h"

#include <string>

namespace {
const wchar_t kClass[] = L"LumenvaleTestTopLevelSink";
}

TopLevelSink::TopLevelSink(RECT rc)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TopLevelSink::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassW(&wc);
    m_window = CreateWindowExW(0, kClass, L"sink", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, rc.left, rc.top,
                               rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, GetModuleHandleW(nullptr), this);
}

TopLevelSink::~TopLevelSink()
{
    if (IsWindow(m_window)) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
    PumpMessagesFor(10);
}

LRESULT CALLBACK TopLevelSink::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<TopLevelSink*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg >= WM_USER && msg < 0x8000) {
        RecordedMessage m{msg, wParam, lParam};
        self->m_received.push_back(m);
        if (self->onMessage) self->onMessage(m);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::vector<RecordedMessage> TopLevelSink::Received(UINT message) const
{
    std::vector<RecordedMessage> out;
    for (const auto& m : m_received)
        if (m.message == message) out.push_back(m);
    return out;
}

bool TopLevelSink::WaitFor(UINT message, size_t count, DWORD timeoutMs)
{
    return PumpUntil([&] { return Count(message) >= count; }, timeoutMs);
}

void PumpMessagesFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

void MoveClient(HWND window, int x, int y)
{
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void ClickClient(HWND window, int x, int y)
{
    MoveClient(window, x, y);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void UseProgramFolderSkins()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) slash[1] = 0;
    SetModuleFolderOverride(path);
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(path);
}

#include "core/SessionContext.h"

void UseLanguageTable(bool english)
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    delete session->languageTable;
    session->languageTable = new LanguageTable(english ? 1 : 0);
    session->languageTable->Load();
}

void LayOut(CPaintManagerUI& pm)
{
    // Painting lays the tree out first (and lets controls that place their parts while painting do
    // so); a memory DC keeps it off the screen.
    RECT client{};
    GetClientRect(pm.GetPaintWindow(), &client);
    if (IsRectEmpty(&client)) client = {0, 0, 1, 1};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    pm.PaintTo(dc, client);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

bool ClickControl(CPaintManagerUI& pm, const wchar_t* name)
{
    LayOut(pm);
    CControlUI* control = pm.FindControl(name);
    if (!control || !control->IsVisible()) return false;
    RECT rc = control->GetPos();
    if (IsRectEmpty(&rc)) return false;
    ClickClient(pm.GetPaintWindow(), (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    return true;
}

void DragThrough(HWND window, const std::vector<POINT>& points)
{
    if (points.empty()) return;
    MoveClient(window, points[0].x, points[0].y);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(points[0].x, points[0].y));
    for (size_t i = 1; i < points.size(); ++i)
        SendMessageW(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(points[i].x, points[i].y));
    SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(points.back().x, points.back().y));
}
