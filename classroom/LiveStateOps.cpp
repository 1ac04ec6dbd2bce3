#include "classroom/LiveStateOps.h"

namespace {

void SetPosition(uint8_t& state, int position)
{
    state = static_cast<uint8_t>((state & 0xC0) | (position & 0x3F));
}

} // namespace

void LiveStateSetDocument(LiveState& live, const LiveDocRecord& document)
{
    live.flags = static_cast<uint8_t>((live.flags & ~eLive_Whiteboard) | eLive_Document);
    live.docId = document.docId;
    live.docPage = document.page;
    live.docState = document.state;
    if (IsLiveByte(live.docState)) live.whiteboardState &= 0x3F;
    int position = LivePosition(live.docState);
    SetPosition(live.whiteboardState, position);
    if (position != 0 && LivePosition(live.cameraState) == position) SetPosition(live.cameraState, OtherPosition(position));
}

void LiveStateSetWhiteboard(LiveState& live, const LiveWhiteboardRecord& whiteboard)
{
    live.flags = static_cast<uint8_t>((live.flags & ~eLive_Document) | eLive_Whiteboard);
    live.whiteboardTab = whiteboard.page;
    live.whiteboardState = whiteboard.state;
    if (IsLiveByte(live.whiteboardState)) live.docState &= 0x3F;
    int position = LivePosition(live.whiteboardState);
    SetPosition(live.docState, position);
    if (position != 0 && LivePosition(live.cameraState) == position) SetPosition(live.cameraState, OtherPosition(position));
}

int LiveStateBoardPosition(const LiveState& live)
{
    int doc = LivePosition(live.docState), board = LivePosition(live.whiteboardState);
    if (doc == board || IsLiveByte(live.docState)) return doc;
    if (IsLiveByte(live.whiteboardState)) return board;
    return 0;
}

void LiveStateSetCamera(LiveState& live, const LiveCameraRecord& camera)
{
    live.flags |= eLive_Camera;
    live.cameraIndex = camera.index;
    live.cameraState = camera.state;
    int board = LiveStateBoardPosition(live);
    if (board != 0 && LivePosition(live.cameraState) == board) {
        SetPosition(live.docState, OtherPosition(board));
        SetPosition(live.whiteboardState, OtherPosition(board));
    }
}

void LiveStateSwapPositions(LiveState& live)
{
    int board = LiveStateBoardPosition(live);
    int camera = LivePosition(live.cameraState);
    if (board == 0) board = -1;
    if (camera == 0) camera = -1;
    if (board == -1 && camera == -1) return; // nothing placed: nothing to swap
    if (board == -1) board = OtherPosition(camera);
    if (camera == -1) camera = OtherPosition(board);
    SetPosition(live.docState, camera);
    SetPosition(live.whiteboardState, camera);
    SetPosition(live.cameraState, board);
}

bool LiveStateDocumentLive(const LiveState& live)
{
    return !(live.flags & eLive_ScreenShare) && IsLiveByte(live.docState);
}

bool LiveStateWhiteboardLive(const LiveState& live)
{
    return !(live.flags & eLive_ScreenShare) && IsLiveByte(live.whiteboardState);
}

bool LiveStateCameraLive(const LiveState& live)
{
    return !(live.flags & eLive_ScreenShare) && IsLiveByte(live.cameraState);
}
