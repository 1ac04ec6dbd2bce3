// The whiteboard's drawing records: strokes in surface-relative points, per-owner pens, and the list
// element that holds either. The room's wire records (PenBody, StrokeRecord) are converted to these by
// the drawing store; these never travel as they are.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

struct PaintPoint {
    float x = 0.0f; // mouse x divided by the surface width
    float y = 0.0f; // mouse y divided by the surface height
};

struct PaintStroke {
    uint8_t tool = 0;
    std::vector<PaintPoint> points;
    uint32_t orderKey = 0;
};

struct PaintPen {
    uint32_t colour = 0xFF000000; // ARGB
    int32_t style = 0;            // GDI pen style
    int32_t width = 3;
    uint32_t orderKey = 0;
};

enum PaintObjectType : uint8_t {
    ePaintObject_Stroke = 1,
    ePaintObject_Pen = 2,
};

// One element of a drawing list; the payload matching the type is owned.
struct PaintObject {
    uint8_t type = 0;
    int32_t ownerKey = 0; // user id of the participant; 0 is never painted
    std::unique_ptr<PaintStroke> stroke; // type 1
    std::unique_ptr<PaintPen> pen;       // type 2

    PaintObject() = default;
    PaintObject(const PaintObject& other) { *this = other; }
    PaintObject& operator=(const PaintObject& other);

    static PaintObject* NewStroke(int32_t owner, PaintStroke stroke);
    static PaintObject* NewPen(int32_t owner, const PaintPen& pen);
    // The order key of the payload; 0 without one.
    uint32_t OrderKey() const;
};

using PaintObjectPtrs = std::vector<PaintObject*>;

// An object shared read-only by the drawing store and the surfaces that show it, so a page is loaded
// without copying its strokes, with the key it sorts by there: the store may raise an object's own key
// so that each owner's objects sort in arrival order.
struct KeyedPaintObject {
    uint32_t orderKey = 0;
    std::shared_ptr<const PaintObject> object;
};
using KeyedPaintObjects = std::vector<KeyedPaintObject>;

// The points that travel to the room: the first and last points, and every middle point where the
// stroke turns by more than 15 degrees (or repeats its predecessor).
PaintStroke SimplifyStroke(const PaintStroke& stroke);

// Stable ascending sort by the keys, unsigned.
void SortPaintObjects(KeyedPaintObjects& objects);
