// The satellite windows of the class. Each is created here once its window class is part of the
// client; until then its handle stays null and every caller checks for that.
#include "classroom/MainWnd.h"

void CMainWnd::CreateSatellites()
{
    // Control panel and its button, live video, live document, vice-screen cover, whiteboard, share
    // bar, pen tool and emotion picker join here, in this order, as their windows land.
}
