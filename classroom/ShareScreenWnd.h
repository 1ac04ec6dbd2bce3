// The frame the teacher lays over the screen region to share while the main window is hidden: its
// black inside is see-through and is what the engine sends. Shows the time on air and, near the end
// of the class, the time left; keeps the chat window at the right edge of the screen.
#pragma once
#include "platform/ui/UIlib.h"

#include <cstdint>

class CShareScreenWnd : public WindowImplBase {
public:
    enum : UINT_PTR { kOnAirTimer = 1, kClassLeftTimer = 5 };

    ~CShareScreenWnd() override;
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleScreenWnd__"; }
    CDuiString GetSkinFile() override { return L"ShareScreenWnd.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    // The chat window kept beside the bar while sharing (none until one is given).
    void SetChatWindow(HWND chat) { m_chatWnd = chat; }
    uint32_t GetOnAirSeconds() const { return m_onAirSeconds; }
    uint32_t GetClassLeftSeconds() const { return m_classLeftSeconds; }

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    // The chat window of the chat pane, at the top right corner of the screen, hidden.
    void CreateChatWindow();
    void StartSharing();
    // Hides the bar and the chat window and tells the main window that sharing ends.
    void EndSharing();
    void OnOnAirTick();
    void OnClassLeftTick();
    void SetLabel(const wchar_t* name, const CDuiString& text);
    void ShowChat(bool show);
    // Moves a centred bar off the chat window where the two would overlap.
    void KeepClearOfChat();
    HWND MainWindow() const;

    uint32_t m_onAirSeconds = 0;
    HWND m_chatWnd = nullptr;
    uint32_t m_classLeftSeconds = 0;
};
