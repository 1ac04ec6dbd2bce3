// Combo boxes near the bottom of the classroom window open their list upward; the shape element is
// the list item of colour and width pickers, a swatch drawn inside the item.
#pragma once
#include "platform/ui/UIList.h"

class CLVListupComboUI;

// The list rectangle in screen coordinates: above the combo (6 pixels clear), or below it when the
// top would rise above workTop (the primary work area's). combo is in client coordinates, origin is the
// client origin on screen.
RECT PlaceDropUpList(const RECT& combo, SIZE dropBox, int itemsHeight, POINT origin, int workTop);

class CLVListUpComboWnd : public CComboWnd {
public:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleListUpComboWnd"; }
    // Above the combo, or below it without room above (PlaceDropUpList).
    RECT PlaceList(CComboUI* pOwner) override;
};

class CLVListupComboUI : public CComboUI {
public:
    LPCTSTR GetClass() const override { return L"LVListupComboUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    bool Activate() override;
    void DoEvent(TEventUI& event) override;
};

class CShapeElementUI : public CListLabelElementUI {
public:
    enum Shape { eShape_None = 0, eShape_Rect, eShape_SolidRect, eShape_Circle, eShape_SolidCircle };
    enum Align { eAlign_Center = 0, eAlign_Left, eAlign_Right, eAlign_Top, eAlign_Bottom };

    LPCTSTR GetClass() const override { return L"ShapeElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    // The closed combo draws its chosen item through this: the swatch, as the list shows it.
    void DrawItemText(HDC hDC, const RECT& rcItem) override;

    int GetInsideShape() const { return m_nShape; }
    int GetShapeAlign() const { return m_nAlign; }
    // Where the swatch goes in the item rectangle.
    RECT SwatchRect(const RECT& item) const;

private:
    void PaintSwatch(HDC hDC, const RECT& rcItem);

    int m_nShape = eShape_None;
    int m_nAlign = eAlign_Center;
    int m_nInsideWidth = 0;
    int m_nInsideHeight = 0;
};
