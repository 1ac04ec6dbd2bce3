// Drives a message box from a helper thread as a user would: waits for the box, reads its controls,
// clicks a button by posting mouse input at its centre.
#pragma once
#include "dialogs/MessageBox.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The box window of this process once it is shown, or null after the time-out.
HWND WaitForBox(DWORD timeoutMs = 5000, HWND other = nullptr);
// The paint manager behind a box window of this process.
CPaintManagerUI* ManagerOf(HWND box);
// Posts a click at the centre of the named control of the box; false when it is missing.
bool ClickControl(HWND box, const wchar_t* name);
// The visible control of the box whose name begins with prefix (buttons carry copies per page).
CControlUI* VisibleControlWithPrefix(HWND box, const wchar_t* prefix);

// Runs fn on a helper thread for the lifetime of the object.
class Helper {
public:
    explicit Helper(std::function<void()> fn) : m_thread(std::move(fn)) {}
    ~Helper() { m_thread.join(); }
private:
    std::thread m_thread;
};

// The answer that presses Escape on the box instead of clicking a button.
const wchar_t* const kPressEscape = L"<Escape>";

// Answers every message box of this process on a helper thread for its lifetime and keeps their
// texts. The answer names the button to click (by the start of its name, e.g. "NoBtn", or "closebtn"
// for the caption's close button) or kPressEscape; without an answer, or when it names nothing shown,
// Return takes the default button.
class BoxAnswerer {
public:
    using Answer = std::function<const wchar_t*(const CString& text)>;
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    void SetAnswer(Answer answer);
    std::vector<CString> Texts();
    size_t Count() { return Texts().size(); }

private:
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<CString> m_texts;
    Answer m_answer;
    std::thread m_thread;
};
