// Records that carry drawings between the classroom windows.
#pragma once
#include "classroom/DrawingRecords.h"

#include <cstdint>

enum PaintChangeSource : uint8_t {
    ePaintChange_Whiteboard = 2,
    ePaintChange_Document = 3,
};

// A locally drawn stroke on its way to the room (WM_USER_PAINTOBJ_CHANGED, owned by the receiver).
struct PaintChangeRecord {
    uint8_t sourceKind = 0;  // PaintChangeSource
    uint8_t objectKind = 0;  // 1 stroke
    uint16_t page = 0;
    uint64_t docId = 0;      // 0 for the whiteboard
    uint16_t surfaceWidth = 0;
    uint16_t surfaceHeight = 0;
    PaintStroke stroke;
};

// The page whose received drawings changed (WM_USER_UI_NOTICE 4, owned by the receiver).
struct PageChangeRecord {
    uint64_t docId = 0;
    uint16_t page = 0;
};
