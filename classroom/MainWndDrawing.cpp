// Drawings across the room: local pens and strokes go out as command 818, received ones go into the
// drawing store and the board windows are told which page to repaint.
#include "classroom/MainWnd.h"

#include "classroom/LiveStateOps.h"
#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "dialogs/MessageBox.h"
#include "protocol/ProtocolMgr.h"

#include <algorithm>
#include <new>

namespace {

uint32_t OwnId()
{
    SessionContext* session = SessionContext::Instance();
    return session ? session->userId : 0;
}

bool ClassRuns()
{
    SessionContext* session = SessionContext::Instance();
    return session && session->room.roomState == 2;
}

// The own pens are keyed from the session's counter while the room keys strokes from its own: the
// counter is kept above every key the room has shown, so a pen picked now sorts after every stroke
// drawn before it, on every screen. A key with no room above it would wrap the counter to the keys
// that mean "no pen": the drawing that carries it is refused.
bool NoteDrawingKey(const ReceivedPaintObject& object)
{
    uint32_t key = 0;
    if (object.pen) key = object.pen->orderKey;
    else if (object.stroke) key = object.stroke->head.orderKey;
    SessionContext* session = SessionContext::Instance();
    if (!session || session->RaiseDrawingKey(key)) return true;
    LOG_ERROR(L"drawing of user %u with order key %lu refused: no room above it", object.ownerId,
              static_cast<unsigned long>(key));
    return false;
}

} // namespace

void CMainWnd::OnPenChanged(const PaintPen* pen)
{
    if (!pen) return;
    PenBody body{PenIndexFromColour(pen->colour), static_cast<uint8_t>(pen->width), static_cast<uint8_t>(pen->style),
                 pen->orderKey};
    std::vector<uint8_t> payload = BuildPenPayload(OwnId(), body);
    SessionContext* session = SessionContext::Instance();
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!session || !channel ||
        !channel->SendPacket(eType_PaintObject, payload.data(), static_cast<uint32_t>(payload.size()), session->room.roomId))
        LOG_ERROR(L"pen not sent to the room");
    // The own surfaces draw the next strokes with it at once, without waiting for the room; the room
    // places it after the own strokes still on their way, and so does the store.
    ReceivedPaintObject own;
    own.kind = ePaintSource_Pen;
    own.ownerId = OwnId();
    own.pen = new (std::nothrow) PenBody(body);
    if (!own.pen) return;
    RemotePaintStore::AddOwnPen(own, m_ownStrokesInFlight);
    ShowPen(own);
}

void CMainWnd::ShowPen(const ReceivedPaintObject& pen)
{
    RemotePaintEntry entry;
    if (!ConvertReceivedPaint(pen, entry) || !entry.object) return;
    // Sent, not posted: a stroke drawn right after the pick already finds the pen on its surface.
    const LPARAM object = reinterpret_cast<LPARAM>(entry.object.get());
    if (m_whiteboardLive) ::SendMessageW(m_whiteboardLive, WM_USER_UI_NOTICE, kNoticeAppendPen, object);
    if (m_docLive) ::SendMessageW(m_docLive, WM_USER_UI_NOTICE, kNoticeAppendPen, object);
}

std::vector<StrokePoint> StrokeToWire(const PaintStroke& stroke, uint16_t width, uint16_t height)
{
    std::vector<StrokePoint> points;
    points.reserve(stroke.points.size());
    for (const PaintPoint& p : stroke.points) {
        // A drag captured past the surface's edge gives points outside 0..1; receivers read the 16 bits
        // unsigned, so a negative would land far off their page. Truncation towards zero, as every
        // receiver scales back from these pixels.
        double x = std::min(std::max(static_cast<double>(p.x), 0.0), 1.0);
        double y = std::min(std::max(static_cast<double>(p.y), 0.0), 1.0);
        points.push_back({static_cast<int16_t>(x * width), static_cast<int16_t>(y * height)});
    }
    return points;
}

void CMainWnd::OnPaintChanged(const PaintChangeRecord* change)
{
    if (!change) return;
    uint8_t kind = static_cast<uint8_t>(change->objectKind * 16 + change->sourceKind);
    StrokeHead head{};
    head.page = change->page;
    head.orderKey = change->stroke.orderKey;
    head.docId = change->docId;
    head.tool = change->stroke.tool;
    head.surfaceWidth = change->surfaceWidth;
    head.surfaceHeight = change->surfaceHeight;
    std::vector<StrokePoint> points = StrokeToWire(change->stroke, change->surfaceWidth, change->surfaceHeight);
    if (!CProtocolMgr::Instance()->SendDrawPoints(kind, OwnId(), head, points)) {
        LOG_ERROR(L"stroke not sent to the room");
        return;
    }
    // The room keys and returns every message of a long stroke as a stroke of its own.
    const size_t messages = (std::max<size_t>(points.size(), 1) + kPointsPerDrawMessage - 1) / kPointsPerDrawMessage;
    m_ownStrokesInFlight += static_cast<uint32_t>(messages);
}

void CMainWnd::OnPaintList(const PaintObjectList* list)
{
    if (!list) return;
    RemotePaintStore::ClearAll();
    PaintObjectList accepted;
    accepted.reserve(list->size());
    for (ReceivedPaintObject* object : *list)
        if (object && NoteDrawingKey(*object)) accepted.push_back(object);
    RemotePaintStore::AddObjects(accepted);
    // The history holds what the room has: nothing sent before it is still to come back.
    m_ownStrokesInFlight = 0;
    SessionContext* session = SessionContext::Instance();
    if (session && session->penOrderKey != 0) {
        ReceivedPaintObject own;
        own.kind = ePaintSource_Pen;
        // The surface paints a pen for the strokes of its owner: the own strokes carry the own id.
        own.ownerId = session->userId;
        own.pen = new (std::nothrow) PenBody{PenIndexFromColour(session->penColour),
                                            static_cast<uint8_t>(session->penWidth),
                                            static_cast<uint8_t>(session->penStyle),
                                            static_cast<uint32_t>(session->penOrderKey)};
        if (own.pen) RemotePaintStore::Add(own);
    }
    PostToWindow(m_whiteboardLive, WM_USER_UI_NOTICE, 5, 0);
    PostToWindow(m_docLive, WM_USER_UI_NOTICE, 5, 0);
}

void CMainWnd::OnPaintPen(const ReceivedPaintObject* object)
{
    if (!object || (object->kind & 0x0F) != ePaintSource_Pen || !NoteDrawingKey(*object)) return;
    RemotePaintStore::Add(*object);
    // A pen changes only its owner's strokes after it: appended, it costs the same in any class, and
    // no page is read again (a reload would also drop the own strokes the room has not returned yet).
    SessionContext* session = SessionContext::Instance();
    if ((session && IsTeacherRole(session->role)) || ClassRuns()) ShowPen(*object);
}

void CMainWnd::OnPaintChange(const ReceivedPaintObject* object)
{
    if (!object || !object->stroke) return;
    uint8_t target = object->kind & 0x0F;
    if (target != ePaintSource_Whiteboard && target != ePaintSource_Document) return;
    const StrokeHead& head = object->stroke->head;
    if (!NoteDrawingKey(*object)) return;
    switch (object->kind >> 4) {
    case 1:
        if (object->ownerId == OwnId() && m_ownStrokesInFlight > 0) --m_ownStrokesInFlight;
        RemotePaintStore::Add(*object);
        break;
    case 2: RemotePaintStore::RemoveObject(target, head.docId, head.page, head.orderKey); break;
    case 3: RemotePaintStore::ClearPage(target, head.docId, head.page); break;
    case 4: RemotePaintStore::ClearDocument(target, head.docId); break;
    default: return;
    }
    // Our own strokes come back from the room: already on screen.
    if (object->ownerId == OwnId() || !ClassRuns()) return;
    HWND window = target == ePaintSource_Whiteboard ? m_whiteboardLive : m_docLive;
    if (!window) return;
    auto* page = new (std::nothrow) PageChangeRecord{head.docId, head.page};
    if (page && !::PostMessageW(window, WM_USER_UI_NOTICE, 4, reinterpret_cast<LPARAM>(page))) delete page;
}

void CMainWnd::OnClearPage()
{
    int answer = ShowMessageBox(m_hWnd, LangText(54, L"Are you sure to clear current page?"), LangText(39, L"Prompt"),
                                MB_OKCANCEL);
    // The page goes for the whole room: Escape and the box's close button keep it, as Cancel does.
    if (answer != IDOK || (m_liveState.flags & eLive_ScreenShare)) return;
    uint8_t kind;
    uint64_t docId;
    uint16_t page;
    HWND window;
    if (IsLiveByte(m_liveState.docState)) {
        kind = ePaintOp_RemovePage | ePaintSource_Document;
        docId = m_liveState.docId;
        page = m_liveState.docPage;
        window = m_docLive;
    } else if (IsLiveByte(m_liveState.whiteboardState)) {
        kind = ePaintOp_RemovePage | ePaintSource_Whiteboard;
        docId = 0;
        page = m_liveState.whiteboardTab;
        window = m_whiteboardLive;
    } else {
        return;
    }
    RemotePaintStore::ClearPage(kind & 0x0F, docId, page);
    if (window) {
        auto* changed = new (std::nothrow) PageChangeRecord{docId, page};
        if (changed && !::PostMessageW(window, WM_USER_UI_NOTICE, 4, reinterpret_cast<LPARAM>(changed))) delete changed;
    }
    if (!CProtocolMgr::Instance()->SendDrawElement(kind, OwnId(), page, 0, docId)) LOG_ERROR(L"page clear not sent");
}
