// A real top-level window that records the user messages posted or sent to it: owner of covers and
// menus, parent of the video window, "main window" of the satellites under test.
#pragma once
#include <windows.h>

#include <vector>

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class TopLevelSink {
public:
    // A visible popup at the rectangle (Xvfb has no window manager, so no frame is added).
    explicit TopLevelSink(RECT rc = {100, 100, 740, 580});
    ~TopLevelSink();
    TopLevelSink(const TopLevelSink&) = delete;
    TopLevelSink& operator=(const TopLevelSink&) = delete;

    HWND Handle() const { return m_window; }
    std::vector<RecordedMessage> Received(UINT message) const;
    size_t Count(UINT message) const { return Received(message).size(); }
    // Pumps until count messages of the number arrived, or the time is up.
    bool WaitFor(UINT message, size_t count = 1, DWORD timeoutMs = 3000);
    void Clear() { m_received.clear(); }
    // Called for each recorded message (for example to free its record).
    void (*onMessage)(const RecordedMessage&) = nullptr;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_window = nullptr;
    std::vector<RecordedMessage> m_received;
};

// Pumps the thread's messages for a while.
void PumpMessagesFor(DWORD ms);
// Sends a mouse move and a left click (down, up) at a client point, as the window would receive them.
void ClickClient(HWND window, int x, int y);
void MoveClient(HWND window, int x, int y);
// Points the program folder at the test program's own folder, where skin/ and Language/ are copied.
void UseProgramFolderSkins();
// Loads the English language file (true) or leaves the client without a language table (false).
void UseLanguageTable(bool english);

class CControlUI;
class CPaintManagerUI;
// Lays a skinned window's tree out in its current client size.
void LayOut(CPaintManagerUI& pm);
// Left-clicks a named control of a skinned window; false when it is missing or has no area.
bool ClickControl(CPaintManagerUI& pm, const wchar_t* name);
// Drags with the left button held through the points (client coordinates).
void DragThrough(HWND window, const std::vector<POINT>& points);
