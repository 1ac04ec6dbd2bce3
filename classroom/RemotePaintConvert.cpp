// The one place where the room's wire drawing records become the whiteboard's own records.
#include "classroom/RemotePaintStore.h"

#include "core/Logger.h"
#include "protocol/RoomRecords.h"

namespace {
const uint32_t kPenColours[5] = {0xFFFF5522, 0xFFFFCC33, 0xFF33BB44, 0xFF0099FF, 0xFF000000};
}

uint32_t PenColourFromIndex(uint8_t index)
{
    // Index 5 is black as well, so only 1 to 4 change the default.
    if (index >= 1 && index <= 4) return kPenColours[index - 1];
    return 0xFF000000;
}

uint8_t PenIndexFromColour(uint32_t colour)
{
    for (uint8_t i = 0; i < 5; ++i)
        if (kPenColours[i] == colour) return static_cast<uint8_t>(i + 1);
    return 0;
}

static bool ConvertPen(const ReceivedPaintObject& received, RemotePaintEntry& entry)
{
    if (!received.pen) {
        LOG_ERROR(L"received pen of user %u without a body, dropped", received.ownerId);
        return false;
    }
    PaintPen pen;
    pen.colour = PenColourFromIndex(received.pen->colourIndex);
    pen.width = received.pen->width;
    pen.style = received.pen->style;
    pen.orderKey = received.pen->orderKey;
    entry.docId = 0;
    entry.page = 0;
    entry.object.reset(PaintObject::NewPen(static_cast<int32_t>(received.ownerId), pen));
    return true;
}

static bool ConvertStroke(const ReceivedPaintObject& received, RemotePaintEntry& entry)
{
    if (!received.stroke) {
        LOG_ERROR(L"received stroke of user %u without a body, dropped", received.ownerId);
        return false;
    }
    const StrokeHead& head = received.stroke->head;
    const uint16_t width = head.surfaceWidth;
    const uint16_t height = head.surfaceHeight;
    // Removal records and broken strokes carry no surface size; nothing can be scaled from them.
    if (width == 0 || height == 0) return false;
    PaintStroke stroke;
    stroke.tool = head.tool;
    stroke.orderKey = head.orderKey;
    stroke.points.reserve(received.stroke->points.size());
    for (const StrokePoint& p : received.stroke->points) {
        PaintPoint point;
        point.x = static_cast<float>(static_cast<uint16_t>(p.x)) / static_cast<float>(width);
        point.y = static_cast<float>(static_cast<uint16_t>(p.y)) / static_cast<float>(height);
        stroke.points.push_back(point);
    }
    entry.docId = head.docId;
    entry.page = head.page;
    entry.object.reset(PaintObject::NewStroke(static_cast<int32_t>(received.ownerId), std::move(stroke)));
    return true;
}

bool ConvertReceivedPaint(const ReceivedPaintObject& received, RemotePaintEntry& entry)
{
    entry.kind = received.kind & 0x0F;
    switch (entry.kind) {
    case eRemotePaint_Pen:
        return ConvertPen(received, entry);
    case eRemotePaint_Whiteboard:
    case eRemotePaint_Document:
        return ConvertStroke(received, entry);
    default:
        return false;
    }
}
