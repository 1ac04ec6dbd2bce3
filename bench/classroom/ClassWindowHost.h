// The real class window with the shipped skin, joined to a loopback room as a student, for the
// benchmarks that measure what the user waits for. The data folder is a fresh one of the run.
#pragma once
#include "classroom/MainWnd.h"
#include "controls/StudentList.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/Pump.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

const uint32_t kBenchRoomId = 5;
const uint32_t kBenchOwnId = 7;
// A student beside the own user; the chat burst speaks as this one.
const uint32_t kBenchPeerId = 21;

class ClassWindowHost {
public:
    ClassWindowHost();
    ~ClassWindowHost();
    ClassWindowHost(const ClassWindowHost&) = delete;
    ClassWindowHost& operator=(const ClassWindowHost&) = delete;

    // Shows the window and waits for the join and the first roster; false with a line on stdout.
    bool Join(DWORD timeoutMs = 20000);

    fakeroom::FakeRoom room;
    CMainWnd* main = nullptr;
    HWND window = nullptr;
    CString dataFolder;
};

// How long the UI thread leaves a message waiting: while running, a thread posts a time-stamped probe
// every 10 ms to a message-only window of the UI thread, which notes each wait (and calls onProbe).
class UiProbe {
public:
    explicit UiProbe(std::function<void()> onProbe = nullptr);
    ~UiProbe();
    UiProbe(const UiProbe&) = delete;
    UiProbe& operator=(const UiProbe&) = delete;

    bool Ready() const { return m_window != nullptr; }
    void Start();
    void Stop();
    // Forget what was seen so far (the probes keep coming).
    void Reset();
    DWORD Longest() const { return m_longest; }
    long Count() const { return m_count; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_window = nullptr;
    std::function<void()> m_onProbe;
    DWORD m_longest = 0;
    long m_count = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
