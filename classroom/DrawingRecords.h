// The whiteboard's drawing records (PaintObject, PaintStroke, PaintPen) as the classroom windows use
// them. They belong to the controls library; until that library is part of the build, the same
// records are defined here so the store and the windows can be built and tested on their own.
#pragma once
#if __has_include("controls/PaintObjects.h")
#include "controls/PaintObjects.h"
#define LV_HAVE_CONTROLS_PAINT 1
#else
#include <cstdint>
#include <memory>
#include <vector>

struct PaintPoint {
    float x = 0.0f;
    float y = 0.0f;
};

struct PaintStroke {
    uint8_t tool = 0;
    std::vector<PaintPoint> points;
    uint32_t orderKey = 0;
};

struct PaintPen {
    uint32_t colour = 0xFF000000;
    int32_t style = 0;
    int32_t width = 3;
    uint32_t orderKey = 0;
};

enum PaintObjectType : uint8_t {
    ePaintObject_Stroke = 1,
    ePaintObject_Pen = 2,
};

struct PaintObject {
    uint8_t type = 0;
    int32_t ownerKey = 0;
    std::unique_ptr<PaintStroke> stroke;
    std::unique_ptr<PaintPen> pen;

    PaintObject() = default;
    PaintObject(const PaintObject& other) { *this = other; }
    PaintObject& operator=(const PaintObject& other)
    {
        if (this == &other) return *this;
        stroke.reset();
        pen.reset();
        type = other.type;
        ownerKey = other.ownerKey;
        if (type == ePaintObject_Stroke) stroke.reset(new PaintStroke(other.stroke ? *other.stroke : PaintStroke()));
        else if (type == ePaintObject_Pen) pen.reset(new PaintPen(other.pen ? *other.pen : PaintPen()));
        return *this;
    }
    static PaintObject* NewStroke(int32_t owner, const PaintStroke& s)
    {
        auto* o = new PaintObject;
        o->type = ePaintObject_Stroke;
        o->ownerKey = owner;
        o->stroke.reset(new PaintStroke(s));
        return o;
    }
    static PaintObject* NewPen(int32_t owner, const PaintPen& p)
    {
        auto* o = new PaintObject;
        o->type = ePaintObject_Pen;
        o->ownerKey = owner;
        o->pen.reset(new PaintPen(p));
        return o;
    }
    uint32_t OrderKey() const
    {
        if (type == ePaintObject_Stroke && stroke) return stroke->orderKey;
        if (type == ePaintObject_Pen && pen) return pen->orderKey;
        return 0;
    }
};

using PaintObjectPtrs = std::vector<PaintObject*>;
#endif

// Frees every object of a list the caller owns and empties it.
inline void FreePaintObjects(std::vector<PaintObject*>& objects)
{
    for (PaintObject* object : objects) delete object;
    objects.clear();
}
