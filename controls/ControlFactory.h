// The classroom controls by XML tag, for the windows' control-creation callbacks.
#pragma once
#include "platform/ui/UIControl.h"

// A new control for one of the classroom's own tags, or null for any other tag.
CControlUI* CreateLumenvaleControl(LPCTSTR tag);
