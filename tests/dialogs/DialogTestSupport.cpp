#include "tests/dialogs/DialogTestSupport.h"

#include <algorithm>

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "tests/support/TestFolders.h"

void PumpMessages(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!CPaintManagerUI::TranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        Sleep(5);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

bool ClickControl(HWND window, CControlUI* control, int xPerMille, int yPerMille)
{
    if (!control || !IsWindow(window)) return false;
    RECT rc = control->GetPos();
    if (rc.right <= rc.left || rc.bottom <= rc.top) return false;
    int x = rc.left + (rc.right - rc.left - 1) * xPerMille / 1000;
    int y = rc.top + (rc.bottom - rc.top - 1) * yPerMille / 1000;
    LPARAM at = MAKELPARAM(x, y);
    SendMessageW(window, WM_MOUSEMOVE, 0, at);
    SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(window, WM_LBUTTONUP, 0, at);
    PumpMessages(30);
    return true;
}

void PressKey(HWND window, WPARAM key)
{
    MSG msg{window, WM_KEYDOWN, key, 1, GetTickCount(), {0, 0}};
    if (!CPaintManagerUI::TranslateMessage(&msg)) SendMessageW(window, WM_KEYDOWN, key, 1);
    PumpMessages(30);
}

void UseEnglishTexts(bool on)
{
    SessionContext* session = SessionContext::Instance();
    delete session->languageTable;
    session->languageTable = nullptr;
    if (!on) return;
    session->languageTable = new LanguageTable(1);
}

size_t LogMark()
{
    return ReadFileBytes(Logger::Instance().Path()).size();
}

std::string LogSince(size_t mark, const char* needle)
{
    std::string text = ReadFileBytes(Logger::Instance().Path());
    if (mark > text.size()) return std::string();
    size_t at = text.find(needle, mark);
    if (at == std::string::npos) return std::string();
    size_t end = text.find_first_of("\r\n", at);
    return text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

namespace {
std::vector<std::wstring> g_boxButtons;
MessageBoxAnswer* g_boxSeen = nullptr;
UINT_PTR g_boxTimer = 0;

void CALLBACK AnswerBoxTick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND box = FindWindowW(L"__LVMessageBox__", nullptr);
    if (!box || !IsWindowVisible(box)) return;
    auto* window = static_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(box, GWLP_USERDATA)));
    if (!window) return;
    CPaintManagerUI* pm = window->GetPaintManager();
    for (const std::wstring& name : g_boxButtons) {
        CControlUI* button = pm->FindControl(name.c_str());
        if (!button || !button->IsVisible()) continue;
        KillTimer(nullptr, g_boxTimer);
        g_boxTimer = 0;
        if (g_boxSeen) {
            if (CControlUI* text = pm->FindControl(L"MessageText")) g_boxSeen->text = text->GetText().GetString();
            if (CControlUI* caption = pm->FindControl(L"CaptionTitle")) g_boxSeen->caption = caption->GetText().GetString();
            g_boxSeen->answered = true;
        }
        ClickControl(box, button);
        return;
    }
}
} // namespace

void AnswerNextMessageBox(std::initializer_list<const wchar_t*> buttons, MessageBoxAnswer* seen)
{
    g_boxButtons.assign(buttons.begin(), buttons.end());
    g_boxSeen = seen;
    if (g_boxTimer) KillTimer(nullptr, g_boxTimer);
    g_boxTimer = SetTimer(nullptr, 0, 50, AnswerBoxTick);
}

int CountEmotionYellow(const WindowPixels& shot)
{
    int count = 0;
    for (uint32_t pixel : shot.pixels) {
        int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        if (r > 220 && g > 170 && g < 235 && b < 110) ++count;
    }
    return count;
}

int CountColourful(const WindowPixels& shot)
{
    int count = 0;
    for (uint32_t pixel : shot.pixels) {
        int r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        if (std::max({r, g, b}) - std::min({r, g, b}) > 60) ++count;
    }
    return count;
}

int DistinctFrames(HWND window, DWORD forMs, DWORD stepMs)
{
    std::vector<WindowPixels> seen;
    DWORD end = GetTickCount() + forMs;
    do {
        PumpMessages(stepMs);
        WindowPixels shot = CaptureClient(window);
        bool known = false;
        for (const WindowPixels& other : seen) known = known || other == shot;
        if (!known) seen.push_back(shot);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
    return static_cast<int>(seen.size());
}
