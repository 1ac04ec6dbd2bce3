#include "tests/support/MessageSink.h"

namespace {
const wchar_t kClassName[] = L"LumenvaleTestMessageSink";

void RegisterSinkClass(WNDPROC proc)
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
    registered = true;
}
} // namespace

MessageSink::MessageSink()
{
    RegisterSinkClass(&MessageSink::WindowProc);
    m_window = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MessageSink::~MessageSink()
{
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    DestroyWindow(m_window);
    // Messages still queued for the window die with it; their records are freed here too.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_USER, 0x7FFF, PM_REMOVE)) {
        if (msg.hwnd == m_window) m_received.push_back({msg.message, msg.wParam, msg.lParam});
    }
    FreeAll();
}

LRESULT CALLBACK MessageSink::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<MessageSink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message >= WM_USER) {
        self->m_received.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void MessageSink::SetFreer(UINT message, std::function<void(WPARAM, LPARAM)> freer)
{
    m_freers[message] = std::move(freer);
}

bool MessageSink::WaitFor(UINT message, size_t count, DWORD timeoutMs)
{
    return PumpUntil([&] { return Count(message) >= count; }, timeoutMs);
}

void MessageSink::PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

size_t MessageSink::Count(UINT message) const
{
    size_t n = 0;
    for (const PostedMessage& m : m_received) n += m.message == message;
    return n;
}

std::vector<PostedMessage> MessageSink::Received(UINT message) const
{
    std::vector<PostedMessage> result;
    for (const PostedMessage& m : m_received) {
        if (m.message == message) result.push_back(m);
    }
    return result;
}

size_t MessageSink::FreeAll()
{
    size_t freed = 0;
    for (const PostedMessage& m : m_received) {
        auto it = m_freers.find(m.message);
        if (it != m_freers.end() && it->second) {
            it->second(m.wParam, m.lParam);
            ++freed;
        }
    }
    m_received.clear();
    m_freed += freed;
    return freed;
}
