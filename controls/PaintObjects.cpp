#include "controls/PaintObjects.h"

#include <algorithm>
#include <cmath>

PaintObject& PaintObject::operator=(const PaintObject& other)
{
    if (this == &other) return *this;
    stroke.reset();
    pen.reset();
    type = other.type;
    ownerKey = other.ownerKey;
    if (type == ePaintObject_Stroke) {
        stroke.reset(new PaintStroke);
        if (other.stroke) *stroke = *other.stroke;
    } else if (type == ePaintObject_Pen) {
        pen.reset(new PaintPen);
        if (other.pen) *pen = *other.pen;
    }
    return *this;
}

PaintObject* PaintObject::NewStroke(int32_t owner, PaintStroke value)
{
    auto* object = new PaintObject;
    object->type = ePaintObject_Stroke;
    object->ownerKey = owner;
    object->stroke.reset(new PaintStroke(std::move(value)));
    return object;
}

PaintObject* PaintObject::NewPen(int32_t owner, const PaintPen& value)
{
    auto* object = new PaintObject;
    object->type = ePaintObject_Pen;
    object->ownerKey = owner;
    object->pen.reset(new PaintPen(value));
    return object;
}

uint32_t PaintObject::OrderKey() const
{
    if (type == ePaintObject_Stroke && stroke) return stroke->orderKey;
    if (type == ePaintObject_Pen && pen) return pen->orderKey;
    return 0;
}

namespace {

// Single precision throughout, as the peers compute it: the same stroke must thin the same way.
bool KeepsMiddlePoint(const PaintPoint& a, const PaintPoint& b, const PaintPoint& c)
{
    float ux = b.x - a.x, uy = b.y - a.y;
    float vx = c.x - b.x, vy = c.y - b.y;
    float lu = std::sqrt(ux * ux + uy * uy);
    float lv = std::sqrt(vx * vx + vy * vy);
    float product = lu * lv;
    if (!(product > 0.0f)) return true; // a repeated point
    float cosine = (ux * vx + uy * vy) / product;
    double degrees = std::acos(static_cast<double>(cosine)) * 180.0 / 3.14159265358979323846;
    return degrees > 15.0; // NaN (cosine pushed past 1 by rounding) drops the point too
}

} // namespace

PaintStroke SimplifyStroke(const PaintStroke& stroke)
{
    if (stroke.points.size() < 2) return stroke;
    PaintStroke out;
    out.tool = stroke.tool;
    out.orderKey = stroke.orderKey;
    const auto& p = stroke.points;
    out.points.push_back(p.front());
    for (size_t i = 1; i + 1 < p.size(); ++i)
        if (KeepsMiddlePoint(p[i - 1], p[i], p[i + 1])) out.points.push_back(p[i]);
    out.points.push_back(p.back());
    return out;
}

void SortPaintObjects(KeyedPaintObjects& objects)
{
    std::stable_sort(objects.begin(), objects.end(),
                     [](const KeyedPaintObject& a, const KeyedPaintObject& b) { return a.orderKey < b.orderKey; });
}
