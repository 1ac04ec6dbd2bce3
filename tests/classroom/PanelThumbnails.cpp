#include "tests/classroom/PanelThumbnails.h"

#include "classroom/ControlPanelWnd.h"
#include "controls/PosLayouts.h"
#include "classroom/DocWnd.h"

std::vector<CDocWnd*> PanelThumbnails(CControlPanelWnd* panel)
{
    std::vector<CDocWnd*> out;
    auto* strip = panel ? static_cast<CContainerUI*>(panel->GetPaintManager()->FindControl(L"ControlPanel")) : nullptr;
    for (int i = 0; strip && i < strip->GetCount(); ++i) {
        auto* thumb = static_cast<CWinContainerUI*>(strip->GetItemAt(i)->GetInterface(L"WinContainer"));
        if (!thumb || !thumb->GetEmbedWindow()) continue;
        auto* base = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(thumb->GetEmbedWindow(), GWLP_USERDATA));
        if (auto* doc = dynamic_cast<CDocWnd*>(base)) out.push_back(doc);
    }
    return out;
}
