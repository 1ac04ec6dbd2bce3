// The whiteboard's drawing records as the classroom windows use them, with a helper for the lists of
// copies that the drawing store hands out.
#pragma once
#include "controls/PaintObjects.h"

#include <vector>

// Frees every object of a list the caller owns and empties it.
inline void FreePaintObjects(std::vector<PaintObject*>& objects)
{
    for (PaintObject* object : objects) delete object;
    objects.clear();
}
