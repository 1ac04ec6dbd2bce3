// The whiteboard's drawing records as the classroom windows use them, with a helper for the lists of
// copies that the drawing store hands out.
#pragma once
#include "controls/PaintObjects.h"

#include <windows.h>

#include <vector>

// Frees every object of a list the caller owns and empties it.
inline void FreePaintObjects(std::vector<PaintObject*>& objects)
{
    for (PaintObject* object : objects) delete object;
    objects.clear();
}

// wParam of a pen posted to the pen tool bar that the bar takes as its own and announces (the stored
// pen at the join); any other value only shows the pen in the combos.
const WPARAM kPenTakeAsOwn = 1;
