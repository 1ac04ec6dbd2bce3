// The whiteboard surface: captures freehand strokes with the mouse, keeps the ordered drawing list and
// paints it with each owner's latest pen.
#pragma once
#include "controls/PaintObjects.h"
#include "core/ResourceIds.h"
#include "platform/ui/UIControl.h"

#include <map>

#define DUI_MSGTYPE_PAINTOBJCHANGED L"painobjchanged"

class CPaintControlUI : public CControlUI {
public:
    CPaintControlUI();
    ~CPaintControlUI() override;

    LPCTSTR GetClass() const override { return L"PaintControlUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return IsEnabled() ? UIFLAG_SETCURSOR : 0; }
    void DoEvent(TEventUI& event) override;
    void PaintText(HDC hDC) override;

    void SetPenEnabled(bool enabled) { m_bPenEnabled = enabled; }
    bool IsPenEnabled() const { return m_bPenEnabled; }
    void ClearObjects();
    // Deep copies of the non-null objects, sorted by order key; the caller keeps its own.
    void LoadObjects(const PaintObjectPtrs& objects);
    // The same for objects shared read-only (a page of the drawing store), sorted by the keys given.
    void LoadSharedObjects(const KeyedPaintObjects& objects);
    // A deep copy at the end of the list, not sorted: a pen chosen now inks only the strokes after it,
    // and every stroke already on the surface stays where it is.
    void AppendObject(const PaintObject& object);

    // For the windows and tests that inspect what the surface holds.
    size_t GetObjectCount() const { return m_objects.size(); }
    const PaintObject* GetObjectAt(size_t index) const
    {
        return index < m_objects.size() ? m_objects[index].object.get() : nullptr;
    }
    const PaintStroke& GetLiveStroke() const { return m_liveStroke; }
    bool IsStroking() const { return m_bStroking; }

protected:
    void StartStroke(POINT pt);
    void AddStrokePoint(POINT pt);
    void FinishStroke();
    void AddLocalStroke(const PaintStroke& stroke);
    // The strokes and the live stroke with the per-owner pen rule.
    void PaintObjects(HDC hDC);
    void DrawStroke(HDC hDC, const PaintStroke& stroke, const PaintPen& pen);
    PaintPoint Normalise(POINT pt) const;

    bool m_bStroking = false;
    PaintStroke m_liveStroke;
    bool m_bPenEnabled = true;

private:
    class Guard;
    CRITICAL_SECTION m_lock;
    bool m_bLockReady = false;
    KeyedPaintObjects m_objects;
};
