// The control panel's strip as the tests read it back.
#pragma once
#include <vector>

class CControlPanelWnd;
class CDocWnd;

// The document windows the panel shows, in the strip's order; none for a null panel.
std::vector<CDocWnd*> PanelThumbnails(CControlPanelWnd* panel);
