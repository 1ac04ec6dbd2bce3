#include "tests/dialogs/BoxDriver.h"

#include <vector>

HWND WaitForBox(DWORD timeoutMs, HWND other)
{
    DWORD end = GetTickCount() + timeoutMs;
    while (static_cast<int>(end - GetTickCount()) > 0) {
        HWND found = nullptr;
        // The newest visible box of this process that is not `other`.
        for (HWND w = FindWindowExW(nullptr, nullptr, L"__LVMessageBox__", L"LVMessageBox"); w;
             w = FindWindowExW(nullptr, w, L"__LVMessageBox__", L"LVMessageBox")) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == GetCurrentProcessId() && w != other && IsWindowVisible(w)) found = w;
        }
        if (found) {
            // Let the first layout and the fit happen: a click posted before it lands nowhere.
            for (int i = 0; i < 200; ++i) {
                CPaintManagerUI* pm = ManagerOf(found);
                CControlUI* root = pm ? pm->GetRoot() : nullptr;
                if (root && root->GetPos().right > root->GetPos().left) break;
                Sleep(10);
            }
            Sleep(100);
            return found;
        }
        Sleep(10);
    }
    return nullptr;
}

CPaintManagerUI* ManagerOf(HWND box)
{
    auto* window = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(box, GWLP_USERDATA));
    auto* base = dynamic_cast<WindowImplBase*>(window);
    return base ? base->GetPaintManager() : nullptr;
}

namespace {

struct PrefixSearch {
    const wchar_t* prefix;
    CControlUI* found;
};

CControlUI* CALLBACK MatchPrefix(CControlUI* control, LPVOID data)
{
    auto* search = static_cast<PrefixSearch*>(data);
    CDuiString name = control->GetName();
    if (control->IsVisible() && wcsncmp(name, search->prefix, wcslen(search->prefix)) == 0) return control;
    return nullptr;
}

} // namespace

CControlUI* VisibleControlWithPrefix(HWND box, const wchar_t* prefix)
{
    CPaintManagerUI* pm = ManagerOf(box);
    if (!pm || !pm->GetRoot()) return nullptr;
    PrefixSearch search{prefix, nullptr};
    return pm->GetRoot()->FindControl(MatchPrefix, &search, UIFIND_VISIBLE);
}

static bool ClickAt(HWND box, const RECT& rc)
{
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    PostMessageW(box, WM_MOUSEMOVE, 0, at);
    PostMessageW(box, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(box, WM_LBUTTONUP, 0, at);
    return true;
}

bool ClickControl(HWND box, const wchar_t* name)
{
    CPaintManagerUI* pm = ManagerOf(box);
    CControlUI* control = pm ? pm->FindControl(name) : nullptr;
    if (!control) control = VisibleControlWithPrefix(box, name);
    if (!control) return false;
    return ClickAt(box, control->GetPos());
}

BoxAnswerer::BoxAnswerer()
    : m_thread([this] {
          HWND stillOpen = nullptr; // answered, but not yet closed: answer again, count once
          while (!m_stop) {
              HWND box = WaitForBox(100);
              if (!box) continue;
              CPaintManagerUI* pm = ManagerOf(box);
              CControlUI* control = pm ? pm->FindControl(L"MessageText") : nullptr;
              const CString text = control ? CString(control->GetText()) : CString(L"<no text>");
              Answer answer;
              {
                  std::lock_guard<std::mutex> lock(m_lock);
                  if (box != stillOpen) m_texts.push_back(text);
                  answer = m_answer;
              }
              const wchar_t* prefix = answer ? answer(text) : nullptr;
              CControlUI* button = prefix ? VisibleControlWithPrefix(box, prefix) : nullptr;
              if (prefix && wcscmp(prefix, kPressEscape) == 0) PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
              else if (button) ClickControl(box, button->GetName());
              else PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
              for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(10);
              stillOpen = IsWindow(box) ? box : nullptr;
          }
      })
{
}

BoxAnswerer::~BoxAnswerer()
{
    m_stop = true;
    m_thread.join();
}

void BoxAnswerer::SetAnswer(Answer answer)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_answer = std::move(answer);
}

std::vector<CString> BoxAnswerer::Texts()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_texts;
}
