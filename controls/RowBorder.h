// The row height and border that the roster list and the record list give their rows.
#pragma once
#include "platform/ui/UIControl.h"

struct RowBorder {
    int itemHeight = 0;
    DWORD color = 0;
    DWORD selectedColor = 0;
    DWORD hotColor = 0;
    RECT rect{0, 0, 0, 0}; // per-side widths
    int size = 0;          // one width for every side; wins when at least 1
};

// "itemheight", "itembordercolor", "itemhotbordercolor", "itemselectedbordercolor", "itembordersize";
// false for any other name.
bool ApplyRowBorderAttribute(RowBorder& border, LPCTSTR name, LPCTSTR value);
// A colour with an optional "#", leading blanks skipped.
DWORD ParseHexColour(LPCTSTR value);
// Four strips inside rc in the state's colour; nothing without widths or with colour 0.
void PaintRowBorder(HDC hDC, const CControlUI& row, const RECT& rc, const RowBorder& border, bool hot, bool selected);
