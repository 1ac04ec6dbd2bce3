// Every drawing the room has sent to this client: all participants' pens and the strokes of the four
// whiteboard tabs and of every slide document's pages, in arrival order. The main window fills it;
// the whiteboard and document windows read one page at a time. Safe to call from any thread.
#pragma once
#include "classroom/DrawingRecords.h"

#include <cstdint>
#include <memory>
#include <vector>

struct ReceivedPaintObject;

enum RemotePaintKind : uint8_t {
    eRemotePaint_Pen = 1,
    eRemotePaint_Whiteboard = 2,
    eRemotePaint_Document = 3,
};

struct RemotePaintEntry {
    uint8_t kind = 0;    // RemotePaintKind
    uint64_t docId = 0;  // 0 for the whiteboard and for pens
    uint16_t page = 0;   // whiteboard tab 1 to 4, or the slide page; 0 for pens
    std::unique_ptr<PaintObject> object;
};

class RemotePaintStore {
public:
    static void Init();
    static void Shutdown();
    static void ClearAll();
    static void Add(const ReceivedPaintObject& received);
    // The own pen just picked, while strokesInFlight own strokes have been sent and not yet returned:
    // the room places it after them, so for the stored strokes it takes its place once that many more
    // strokes of its owner have arrived; until then it only serves the strokes drawn after the read.
    static void AddOwnPen(const ReceivedPaintObject& pen, uint32_t strokesInFlight);
    static void AddObjects(const std::vector<ReceivedPaintObject*>& received);
    static void RemoveObject(uint8_t kind, uint64_t docId, uint16_t page, uint32_t orderKey);
    static void ClearPage(uint8_t kind, uint64_t docId, uint16_t page);
    static void ClearDocument(uint8_t kind, uint64_t docId);
    // Appends to objects the page's strokes and the pens that paint them, in arrival order: the pen
    // each stroke's owner had when it arrived, and every owner's latest pen (for the strokes drawn
    // after the read). Only these matter to a surface, so a read costs the page, not the class's
    // history. The objects are the stored ones, shared read-only; each owner's are keyed to rise along
    // its arrival order, so a surface sorting by key draws each stroke with that pen. True when at
    // least one was appended.
    static bool GetPage(uint8_t kind, uint64_t docId, uint16_t page, KeyedPaintObjects& objects);
    // Number of stored entries, for the windows' diagnostics and the tests.
    static size_t Count();
};

// Pen colours by the index that travels with a pen: 1 to 5; 0 when a colour is not in the table.
uint32_t PenColourFromIndex(uint8_t index);
uint8_t PenIndexFromColour(uint32_t colour);

// Turns one received drawing into a store entry; false when it holds no drawing to keep (unknown
// kind, missing body, a stroke from a surface of zero width or height).
bool ConvertReceivedPaint(const ReceivedPaintObject& received, RemotePaintEntry& entry);
