// Drawings at their edges: clearing the live page from the pen tool (asked first, nothing while the
// screen is shared or nothing is live), the repaint notice only for others' strokes while the class
// runs, an unknown removal kept out of the store, the own pen in a received history, and a live
// document the room never listed.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/LiveStateOps.h"
#include "classroom/RemotePaintStore.h"
#include "controls/PosLayouts.h"
#include "controls/PaintObjects.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "classroom/DocWnd.h"
#include "tests/classroom_main/NoticeSpy.h"
#include "tests/dialogs/BoxDriver.h"

#include <atomic>

using namespace fakeroom;

namespace {

// One stroke of a user on a whiteboard tab (kind 0x12) or a document page (0x13).
Bytes Stroke(uint8_t kind, uint32_t owner, uint16_t page, uint32_t key, uint64_t docId = 0)
{
    StrokeHead head{};
    head.page = page;
    head.orderKey = key;
    head.docId = docId;
    head.surfaceWidth = 100;
    head.surfaceHeight = 100;
    return BuildDrawPointsPayloads(kind, owner, head, {{10, 10}, {20, 30}})[0];
}

// The strokes the store holds for one page (the pens every page carries are not counted).
size_t StrokesOn(uint8_t kind, uint64_t docId, uint16_t page)
{
    KeyedPaintObjects objects;
    RemotePaintStore::GetPage(kind, docId, page, objects);
    size_t strokes = 0;
    for (const KeyedPaintObject& o : objects) strokes += o.object->type == ePaintObject_Stroke;
    return strokes;
}

size_t Sent818(MainWndHarness& h) { return h.room.reg.Messages(eType_PaintObject).size(); }

// The teacher's first pen has gone out: later 818 commands are ours to count.
bool Settled(MainWndHarness& h)
{
    return PumpUntil([&] { return Sent818(h) >= 1; }, 5000);
}

} // namespace

TEST(MainWndDrawingEdges, ClearingAsksThenClearsTheLivePageAndTellsTheRoom)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(Settled(h));
    ASSERT_NE(h.main->WhiteboardWindow(), nullptr);
    ASSERT_NE(h.main->DocumentWindow(), nullptr);
    NoticeSpy board(h.main->WhiteboardWindow());
    NoticeSpy doc(h.main->DocumentWindow());
    std::atomic<const wchar_t*> answer{L"OkBtn"};
    BoxAnswerer boxes;
    boxes.SetAnswer([&](const CString&) { return answer.load(); });
    size_t sent = Sent818(h);
    auto clear = [&](size_t box) {
        PostMessageW(h.window, WM_USER_CLEAR_PAGE, 1, 0);
        return PumpUntil([&] { return boxes.Count() == box; }, 5000);
    };

    // Nothing is live: the question, then nothing.
    ASSERT_TRUE(clear(1));
    EXPECT_EQ(Wide(boxes.Texts()[0]), L"Are you sure to clear current page?");
    Settle(100);
    EXPECT_EQ(Sent818(h), sent);

    // The board is live on tab 2 with Ben's strokes on tabs 1 and 2.
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{2, 0, 0x41}, kBen));
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kBen, 1, 501), kBen));
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kBen, 2, 502), kBen));
    ASSERT_TRUE(PumpUntil([] { return StrokesOn(eRemotePaint_Whiteboard, 0, 2) == 1; }, 3000));
    ASSERT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 1), 1u);
    board.Clear();

    // Cancelled, escaped or closed by the caption's button: the page keeps its strokes for everyone.
    size_t asked = 1;
    for (const wchar_t* notOk : {L"CancelBtn", kPressEscape, L"closebtn"}) {
        answer = notOk;
        ASSERT_TRUE(clear(++asked)) << Wide(notOk);
        ASSERT_TRUE(PumpUntil([] { return FindWindowW(L"__LVMessageBox__", nullptr) == nullptr; }, 3000));
        Settle(100);
        EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 2), 1u) << Wide(notOk);
        EXPECT_EQ(Sent818(h), sent) << Wide(notOk);
        EXPECT_EQ(board.Count(4), 0u) << Wide(notOk);
    }

    answer = L"OkBtn";
    ASSERT_TRUE(clear(++asked));
    ASSERT_TRUE(PumpUntil([&] { return Sent818(h) == sent + 1; }, 5000));
    EXPECT_EQ(h.room.reg.Messages(eType_PaintObject).back().payload, BuildDrawElementPayload(0x32, kOwnId, 2, 0, 0));
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 2), 0u);
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 1), 1u);
    ASSERT_TRUE(PumpUntil([&] { return board.Count(4) == 1; }, 3000));
    EXPECT_EQ(board.Of(4)[0].id, 0u);
    EXPECT_EQ(board.Of(4)[0].page, 2);

    // A live document comes before the board: its page is the one cleared.
    const uint64_t docId = 0x0102030405060708ULL;
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(docId, 3, 0x41), kBen));
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x13, kBen, 3, 503, docId), kBen));
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x13, kBen, 4, 504, docId), kBen));
    ASSERT_TRUE(PumpUntil([&] { return StrokesOn(eRemotePaint_Document, docId, 4) == 1; }, 3000));
    ASSERT_EQ(StrokesOn(eRemotePaint_Document, docId, 3), 1u);
    doc.Clear();
    ASSERT_TRUE(clear(++asked));
    ASSERT_TRUE(PumpUntil([&] { return Sent818(h) == sent + 2; }, 5000));
    EXPECT_EQ(h.room.reg.Messages(eType_PaintObject).back().payload, BuildDrawElementPayload(0x33, kOwnId, 3, 0, docId));
    EXPECT_EQ(StrokesOn(eRemotePaint_Document, docId, 3), 0u);
    EXPECT_EQ(StrokesOn(eRemotePaint_Document, docId, 4), 1u);
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(4) == 1; }, 3000));
    EXPECT_EQ(doc.Of(4)[0].id, docId);
    EXPECT_EQ(doc.Of(4)[0].page, 3);

    // While the screen is shared: asked, and nothing else.
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x13, kBen, 3, 505, docId), kBen));
    ASSERT_TRUE(PumpUntil([&] { return StrokesOn(eRemotePaint_Document, docId, 3) == 1; }, 3000));
    ASSERT_TRUE(h.Push(eType_LiveScreenShare, Bytes{1}, kBen));
    ASSERT_TRUE(PumpUntil([&] { return (h.main->GetLiveState().flags & eLive_ScreenShare) != 0; }, 3000));
    ASSERT_TRUE(clear(++asked));
    Settle(100);
    EXPECT_EQ(Sent818(h), sent + 2);
    EXPECT_EQ(StrokesOn(eRemotePaint_Document, docId, 3), 1u);
    EXPECT_EQ(doc.Count(4), 1u);
}

TEST(MainWndDrawingEdges, OnlyOthersStrokesWhileTheClassRunsAskForARepaint)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(Settled(h));
    NoticeSpy board(h.main->WhiteboardWindow());
    NoticeSpy doc(h.main->DocumentWindow());
    const uint64_t docId = 7700;

    // Before the class: stored, not repainted.
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kBen, 3, 601), kBen));
    ASSERT_TRUE(PumpUntil([] { return StrokesOn(eRemotePaint_Whiteboard, 0, 3) == 1; }, 3000));
    Settle(50);
    EXPECT_EQ(board.Count(4), 0u);

    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(2)));
    ASSERT_TRUE(PumpUntil([] { return SessionContext::Instance()->room.roomState == 2; }, 3000));
    // Our own stroke echoed back is stored without a repaint; Ben's stroke behind it is repainted.
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kOwnId, 3, 602), kOwnId));
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kBen, 4, 603), kBen));
    ASSERT_TRUE(PumpUntil([&] { return board.Count(4) == 1; }, 3000));
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 3), 2u);
    EXPECT_EQ(board.Of(4)[0].page, 4);
    EXPECT_EQ(board.Of(4)[0].id, 0u);

    // A document stroke goes to the document window, naming its page.
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x13, kBen, 2, 604, docId), kBen));
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(4) == 1; }, 3000));
    EXPECT_EQ(doc.Of(4)[0].id, docId);
    EXPECT_EQ(doc.Of(4)[0].page, 2);

    // A removal with action 5 is no removal: the store keeps the stroke and nobody repaints.
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildDrawElementPayload(0x52, kBen, 4, 603, 0), kBen));
    // Action 2 removes one object by its key, and is repainted (it also marks the end of the 5).
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildDrawElementPayload(0x22, kBen, 3, 601, 0), kBen));
    ASSERT_TRUE(PumpUntil([&] { return board.Count(4) == 2; }, 3000));
    EXPECT_EQ(board.Of(4)[1].page, 3);
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 4), 1u);
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 3), 1u);
    // Clearing a whole document from the room.
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildDrawElementPayload(0x43, kBen, 2, 0, docId), kBen));
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(4) == 2; }, 3000));
    EXPECT_EQ(StrokesOn(eRemotePaint_Document, docId, 2), 0u);
}

TEST(MainWndDrawingEdges, AHistoryKeepsTheOwnPenReloadsBothBoardsAndAPageClearLeavesThePen)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(Settled(h));
    NoticeSpy board(h.main->WhiteboardWindow());
    NoticeSpy doc(h.main->DocumentWindow());
    SessionContext* session = SessionContext::Instance();
    session->penColour = PenColourFromIndex(3);
    session->penWidth = 6;
    session->penStyle = 2;
    session->penOrderKey = 10042;

    // An empty history: the store holds the own pen alone, under the own id, and both boards reload.
    const size_t boardReloads = board.Count(5), docReloads = doc.Count(5);
    ASSERT_TRUE(h.Push(eType_PaintList, Bytes()));
    ASSERT_TRUE(PumpUntil([&] { return board.Count(5) == boardReloads + 1 && doc.Count(5) == docReloads + 1; }, 3000));
    KeyedPaintObjects objects;
    RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, 1, objects);
    ASSERT_EQ(objects.size(), 1u);
    const PaintObject& pen = *objects[0].object;
    ASSERT_EQ(pen.type, ePaintObject_Pen);
    EXPECT_EQ(pen.ownerKey, static_cast<int32_t>(kOwnId));
    EXPECT_EQ(pen.pen->colour, PenColourFromIndex(3));
    EXPECT_EQ(pen.pen->width, 6);
    EXPECT_EQ(pen.pen->style, 2);
    EXPECT_EQ(pen.pen->orderKey, 10042u);

    // Ben's stroke joins the own pen on its page; the room's clear of that page leaves the pen alone.
    ASSERT_TRUE(h.Push(eType_PaintObject, Stroke(0x12, kBen, 1, 5), kBen));
    ASSERT_TRUE(PumpUntil([] { return StrokesOn(eRemotePaint_Whiteboard, 0, 1) == 1; }, 3000));
    EXPECT_EQ(RemotePaintStore::Count(), 2u);
    ASSERT_TRUE(h.Push(eType_PaintObject, BuildDrawElementPayload(0x32, kBen, 1, 0, 0), kBen));
    ASSERT_TRUE(PumpUntil([] { return RemotePaintStore::Count() == 1; }, 3000));
    EXPECT_EQ(StrokesOn(eRemotePaint_Whiteboard, 0, 1), 0u);

    // Without an own pen key the history is taken as it is.
    session->penOrderKey = 0;
    ASSERT_TRUE(h.Push(eType_PaintList, Bytes()));
    ASSERT_TRUE(PumpUntil([&] { return board.Count(5) == boardReloads + 2 && doc.Count(5) == docReloads + 2; }, 3000));
    EXPECT_EQ(RemotePaintStore::Count(), 0u);
}

TEST(MainWndDrawingEdges, ALiveDocumentTheRoomNeverListedIsAwaitedAndStillPlaced)
{
    MainWndHarness h(4, 2);
    ASSERT_TRUE(h.StartAndJoin());
    NoticeSpy doc(h.main->DocumentWindow());
    const uint64_t docId = 880001;
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(docId, 2, 0x41), 3));
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(eDocNotice_DownloadStart) == 1; }, 3000));
    EXPECT_EQ(doc.Of(eDocNotice_DownloadStart)[0].id, docId);
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    auto* screen = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->GetEmbedWindow(), h.main->DocumentWindow());
    EXPECT_EQ(doc.Count(eDocNotice_DocInfo), 0u);
    EXPECT_EQ(h.main->GetLiveState().docId, docId);
    EXPECT_EQ(h.main->GetLiveState().docPage, 2);
    // The window waits for the download it was told of.
    ASSERT_TRUE(PumpUntil([&] {
        return h.main->DocumentView() && h.main->DocumentView()->GetDisplayState() == eDocState_Downloading;
    }, 3000));
}
