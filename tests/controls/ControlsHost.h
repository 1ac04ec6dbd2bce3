// The window-layer test host that builds the classroom controls from XML and keeps what their
// notifications carry.
#pragma once
#include "controls/PaintObjects.h"
#include "core/Records.h"
#include "tests/ui/UiTestHost.h"

#include <memory>
#include <vector>

struct NotifyEntry {
    std::wstring type;
    CControlUI* sender;
    WPARAM wParam;
    LPARAM lParam;
};

class ControlsHost : public UiTestHost {
public:
    explicit ControlsHost(bool topLevel = false) : UiTestHost(topLevel) {}
    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(LPCTSTR pstrClass) override;

    // Every notification with its parameters, in order.
    std::vector<NotifyEntry> entries;
    // The strokes of "painobjchanged", adopted as the whiteboard window would.
    std::vector<std::unique_ptr<PaintStroke>> strokes;

    std::vector<NotifyEntry> Of(const wchar_t* type) const;
    void Leave();
    void PaintAll(MemoryDib& dib, RECT rc);
    // Fills the DIB with a background colour and paints the whole tree over it.
    void Repaint(MemoryDib& dib, RECT rc, uint32_t background = 0xFFFFFF);
};

// The local user the surfaces draw as.
void SetLocalUser(uint32_t userId, uint8_t role);
// A key as the focused control gets it, and a tick of one of its timers.
void SendKey(CControlUI* control, wchar_t vk);
void SendTick(CControlUI* control, UINT timerId);
bool SameRect(const RECT& a, const RECT& b);
