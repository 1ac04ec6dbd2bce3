// Work a window does in slices of its own thread's time. A burst of items, each costing a few
// milliseconds, handled in one go would freeze the window for seconds; here each turn handles items for
// about a slice, and the next turn is a message the window posts itself, so its pump runs in between.
#pragma once
#include <windows.h>

#include <deque>
#include <utility>

// A chat line written into a rich edit costs a few milliseconds, and a turn runs a little past its slice:
// with 10 ms the window answers within a few tens of milliseconds during a burst, while the per-turn cost
// (redraw lock, scrolling to the end) stays small beside it.
constexpr DWORD kChatOutputSliceMs = 10;

template <typename Item>
class SlicedQueue {
public:
    SlicedQueue(UINT turnMessage, DWORD sliceMs) : m_message(turnMessage), m_sliceMs(sliceMs) {}

    void Push(Item item) { m_items.push_back(std::move(item)); }
    bool Empty() const { return m_items.empty(); }
    void Clear() { m_items.clear(); }

    // Handles items in order for about one slice, at least one.
    template <typename Handle>
    void Take(Handle&& handle)
    {
        DWORD begun = ::GetTickCount();
        while (!m_items.empty()) {
            Item item = std::move(m_items.front());
            m_items.pop_front();
            handle(item);
            if (::GetTickCount() - begun >= m_sliceMs) break;
        }
    }

    // Posts the window its next turn while items are left and no turn is posted yet. False when the
    // post failed: the caller then takes the rest at once.
    bool Schedule(HWND window)
    {
        if (m_posted || m_items.empty()) return true;
        m_posted = ::PostMessageW(window, m_message, 0, 0) != FALSE;
        return m_posted;
    }

    // The window received its turn message: the next Schedule posts again.
    void TurnArrived() { m_posted = false; }

private:
    UINT m_message;
    DWORD m_sliceMs;
    std::deque<Item> m_items;
    bool m_posted = false;
};
