// A message-only window that collects what worker threads post to it, for tests to wait on.
#pragma once
#include "tests/support/Pump.h"

#include <windows.h>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

struct PostedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class MessageSink {
public:
    MessageSink();
    ~MessageSink(); // frees every record still held, through the registered freers
    MessageSink(const MessageSink&) = delete;
    MessageSink& operator=(const MessageSink&) = delete;

    HWND Handle() const { return m_window; }

    // How the records of one message are freed: the sink owns what it received, as a window does.
    void SetFreer(UINT message, std::function<void(WPARAM, LPARAM)> freer);
    template <typename Record>
    void FreeAs(UINT message) { SetFreer(message, [](WPARAM, LPARAM l) { delete reinterpret_cast<Record*>(l); }); }

    // Pumps this thread's messages until count messages of the number arrived or the time is up.
    bool WaitFor(UINT message, size_t count = 1, DWORD timeoutMs = 5000);
    // Pumps for a while (to prove that nothing arrives).
    void PumpFor(DWORD ms);
    size_t Count(UINT message) const;
    std::vector<PostedMessage> Received(UINT message) const;
    std::vector<PostedMessage> All() const { return m_received; }
    // Frees the records received so far and forgets them; answers how many were freed.
    size_t FreeAll();
    size_t FreedCount() const { return m_freed; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::vector<PostedMessage> m_received;
    std::map<UINT, std::function<void(WPARAM, LPARAM)>> m_freers;
    size_t m_freed = 0;
};
