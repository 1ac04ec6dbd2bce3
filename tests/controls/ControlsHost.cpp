#include "tests/controls/ControlsHost.h"

#include "controls/ControlFactory.h"
#include "controls/PaintControl.h"
#include "core/SessionContext.h"

void ControlsHost::Notify(TNotifyUI& msg)
{
    UiTestHost::Notify(msg);
    entries.push_back({msg.sType.GetString(), msg.pSender, msg.wParam, msg.lParam});
    if (msg.sType == DUI_MSGTYPE_PAINTOBJCHANGED)
        strokes.emplace_back(reinterpret_cast<PaintStroke*>(msg.lParam));
}

CControlUI* ControlsHost::CreateControl(LPCTSTR pstrClass)
{
    CControlUI* control = CreateLumenvaleControl(pstrClass);
    if (!control) unknownTags.push_back(pstrClass);
    return control;
}

std::vector<NotifyEntry> ControlsHost::Of(const wchar_t* type) const
{
    std::vector<NotifyEntry> out;
    for (const auto& e : entries)
        if (e.type == type) out.push_back(e);
    return out;
}

void ControlsHost::Leave()
{
    SendMessageW(Window(), WM_MOUSELEAVE, 0, 0);
}

void ControlsHost::PaintAll(MemoryDib& dib, RECT rc)
{
    Manager().PaintTo(dib.Dc(), rc);
}

void ControlsHost::Repaint(MemoryDib& dib, RECT rc, uint32_t background)
{
    dib.Fill(background);
    Manager().NeedUpdate();
    Manager().PaintTo(dib.Dc(), rc);
}

void SetLocalUser(uint32_t userId, uint8_t role)
{
    SessionContext::Instance()->userId = userId;
    SessionContext::Instance()->role = role;
}

void SendKey(CControlUI* control, wchar_t vk)
{
    TEventUI e;
    e.Type = UIEVENT_KEYDOWN;
    e.chKey = vk;
    control->DoEvent(e);
}

void SendTick(CControlUI* control, UINT timerId)
{
    TEventUI e;
    e.Type = UIEVENT_TIMER;
    e.wParam = timerId;
    e.pSender = control;
    control->DoEvent(e);
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
