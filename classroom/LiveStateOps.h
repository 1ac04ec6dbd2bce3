// The operations on LiveState: which source is live in which screen. A state byte holds the position
// in bits 0-5 (1 main screen, 2 vice screen, 0 none) and "live" in bits 6-7.
#pragma once
#include "protocol/RoomRecords.h"

enum LiveFlag : uint8_t {
    eLive_Document = 1,
    eLive_Whiteboard = 2,
    eLive_ScreenShare = 4,
    eLive_Camera = 8,
};

inline int LivePosition(uint8_t state) { return state & 0x3F; }
inline bool IsLiveByte(uint8_t state) { return state >= 64; }
// The other screen: 1 becomes 2, anything else 1.
inline int OtherPosition(int position) { return position == 1 ? 2 : 1; }

void LiveStateSetDocument(LiveState& live, const LiveDocRecord& document);
void LiveStateSetWhiteboard(LiveState& live, const LiveWhiteboardRecord& whiteboard);
void LiveStateSetCamera(LiveState& live, const LiveCameraRecord& camera);
// Exchanges the screens of the board and the camera; with neither placed nothing changes.
void LiveStateSwapPositions(LiveState& live);
// The position of the board (document or whiteboard), 0 when neither is placed.
int LiveStateBoardPosition(const LiveState& live);

// All false while the screen is shared.
bool LiveStateDocumentLive(const LiveState& live);
bool LiveStateWhiteboardLive(const LiveState& live);
bool LiveStateCameraLive(const LiveState& live);
