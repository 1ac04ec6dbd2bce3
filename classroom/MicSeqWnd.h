// The teacher's popup of the microphone queue: one row per participant who asked to speak, each with
// a button that gives or takes the microphone. Closes itself when it loses the focus or the queue is empty.
#pragma once
#include "core/Records.h"
#include "platform/ui/UIlib.h"

#include <cstdint>
#include <vector>

// The queue as the main window hands it over (WM_USER_MIC_LIST); the window frees it.
struct MicQueueRecord {
    std::vector<UserRecord> users; // queue order
    std::vector<uint8_t> extra;    // the block that travels with the queue
};

class CMicSeqWnd : public WindowImplBase {
public:
    static const int kRowHeight = 26;
    static const int kMaxRowsShown = 5;

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleMicSeqWnd__"; }
    CDuiString GetSkinFile() override { return L"MicSeqWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    int GetFillCount() const { return m_fillCount; }

protected:
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void Fill(const MicQueueRecord& queue);

    HWND m_parent = nullptr;
    int32_t m_fillCount = 0;
};
