#include "controls/RowBorder.h"

#include "platform/ui/UIRender.h"

#include <cwchar>
#include <cwctype>

DWORD ParseHexColour(LPCTSTR value)
{
    if (!value) return 0;
    while (*value == L' ' || *value == L'\t') ++value;
    if (*value == L'#') ++value;
    return static_cast<DWORD>(wcstoul(value, nullptr, 16));
}

bool ApplyRowBorderAttribute(RowBorder& border, LPCTSTR name, LPCTSTR value)
{
    if (wcscmp(name, L"itemheight") == 0) {
        border.itemHeight = _wtoi(value);
    } else if (wcscmp(name, L"itembordercolor") == 0) {
        border.color = ParseHexColour(value);
    } else if (wcscmp(name, L"itemhotbordercolor") == 0) {
        border.hotColor = ParseHexColour(value);
    } else if (wcscmp(name, L"itemselectedbordercolor") == 0) {
        border.selectedColor = ParseHexColour(value);
    } else if (wcscmp(name, L"itembordersize") == 0) {
        if (wcschr(value, L',')) {
            RECT rc{0, 0, 0, 0};
            wchar_t* end = nullptr;
            rc.left = wcstol(value, &end, 10);
            if (end && *end == L',') rc.top = wcstol(end + 1, &end, 10);
            if (end && *end == L',') rc.right = wcstol(end + 1, &end, 10);
            if (end && *end == L',') rc.bottom = wcstol(end + 1, &end, 10);
            border.rect = rc;
        } else {
            border.size = _wtoi(value);
            border.rect = RECT{0, 0, 0, 0};
        }
    } else {
        return false;
    }
    return true;
}

void PaintRowBorder(HDC hDC, const CControlUI& row, const RECT& rc, const RowBorder& border, bool hot, bool selected)
{
    const RECT& w = border.rect;
    bool noRect = w.left == 0 && w.top == 0 && w.right == 0 && w.bottom == 0;
    if (border.size < 1 && noRect) return;
    DWORD colour = hot ? border.hotColor : border.color;
    if (selected) colour = border.selectedColor;
    if (colour == 0) return;
    int left = border.size >= 1 ? border.size : w.left;
    int top = border.size >= 1 ? border.size : w.top;
    int right = border.size >= 1 ? border.size : w.right;
    int bottom = border.size >= 1 ? border.size : w.bottom;
    DWORD adjusted = row.GetAdjustColor(colour);
    if (left > 0) CRenderEngine::DrawColor(hDC, RECT{rc.left, rc.top, rc.left + left, rc.bottom}, adjusted);
    if (top > 0) CRenderEngine::DrawColor(hDC, RECT{rc.left, rc.top, rc.right, rc.top + top}, adjusted);
    if (right > 0) CRenderEngine::DrawColor(hDC, RECT{rc.right - right, rc.top, rc.right, rc.bottom}, adjusted);
    if (bottom > 0) CRenderEngine::DrawColor(hDC, RECT{rc.left, rc.bottom - bottom, rc.right, rc.bottom}, adjusted);
}
