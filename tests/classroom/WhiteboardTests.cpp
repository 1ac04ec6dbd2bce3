// The whiteboard window built from its skin under Xvfb: tabs added by clicks up to four, tab choice
// reported to the main window, a stroke drawn with injected mouse input arriving as a
// PaintChangeRecord, and pages loaded from the drawing store on request.
#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "classroom/WhiteboardWnd.h"
#include "controls/PaintControl.h"
#include "core/WindowMessages.h"
#include "protocol/RoomRecords.h"
#include "tests/classroom/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class Whiteboard : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        RemotePaintStore::Init();
        board = new CWhiteboardWnd;
        hwnd = board->Create(parent.Handle(), L"WhiteboardLive", 0x56000000, 0, 0, 0, 640, 480);
        ASSERT_TRUE(hwnd);
        MoveWindow(hwnd, 0, 0, 640, 480, TRUE);
        pm = board->GetPaintManager();
        LayOut(*pm);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        for (const auto& m : parent.Received(WM_USER_PAINTOBJ_CHANGED)) delete reinterpret_cast<PaintChangeRecord*>(m.lParam);
        RemotePaintStore::Shutdown();
    }
    std::vector<int> TabNotices()
    {
        std::vector<int> tabs;
        for (const auto& m : parent.Received(WM_USER_UI_NOTICE))
            if (m.wParam == 11) tabs.push_back(static_cast<int>(m.lParam));
        return tabs;
    }
    static void AddStroke(uint16_t page, uint64_t doc, uint32_t key)
    {
        ReceivedPaintObject r;
        r.kind = static_cast<uint8_t>(ePaintOp_AddStroke | (doc ? ePaintSource_Document : ePaintSource_Whiteboard));
        r.ownerId = 9;
        r.stroke = new StrokeRecord;
        r.stroke->head = StrokeHead{page, key, doc, 0, 640, 480};
        r.stroke->points = {{1, 1}, {100, 100}};
        RemotePaintStore::Add(r);
    }
    TopLevelSink parent;
    CWhiteboardWnd* board = nullptr;
    CPaintManagerUI* pm = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(Whiteboard, TabsGrowToFourAndTheChoiceReachesTheMainWindow)
{
    for (int page = 1; page <= 4; ++page) ASSERT_TRUE(board->GetSurface(page)) << page;
    EXPECT_EQ(board->GetTabCount(), 1);
    EXPECT_FALSE(pm->FindControl(L"Tab2")->IsVisible());

    for (int n = 2; n <= 4; ++n) {
        ASSERT_TRUE(ClickControl(*pm, L"AddTabBtn")) << n;
        EXPECT_EQ(board->GetTabCount(), n);
        EXPECT_TRUE(pm->FindControl(CDuiString(n == 2 ? L"Tab2" : n == 3 ? L"Tab3" : L"Tab4").GetData())->IsVisible());
    }
    EXPECT_FALSE(pm->FindControl(L"AddTabBtn")->IsEnabled());
    ClickControl(*pm, L"AddTabBtn");
    EXPECT_EQ(board->GetTabCount(), 4);

    auto* tabs = static_cast<CTabLayoutUI*>(pm->FindControl(L"SwitchWhiteboardTabs"));
    EXPECT_EQ(tabs->GetCurSel(), 3);
    ASSERT_TRUE(ClickControl(*pm, L"Tab2"));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    ASSERT_TRUE(parent.WaitFor(WM_USER_UI_NOTICE, 4));
    EXPECT_EQ(TabNotices(), (std::vector<int>{2, 3, 4, 2}));
}

TEST_F(Whiteboard, MainWindowPicksTabsAndAddsOnlyTheNextOne)
{
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 11, 3); // hidden and not next: selected, not shown
    EXPECT_EQ(board->GetTabCount(), 1);
    EXPECT_FALSE(pm->FindControl(L"Tab3")->IsVisible());
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 11, 2); // the next hidden one is added
    EXPECT_EQ(board->GetTabCount(), 2);
    EXPECT_TRUE(pm->FindControl(L"Tab2")->IsVisible());
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 11, 1);
    EXPECT_EQ(static_cast<CTabLayoutUI*>(pm->FindControl(L"SwitchWhiteboardTabs"))->GetCurSel(), 0);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 11, 5);
    EXPECT_EQ(board->GetTabCount(), 2);

    SendMessageW(hwnd, WM_USER_UI_NOTICE, 22, 0);
    EXPECT_FALSE(pm->FindControl(L"TabArea")->IsVisible());
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 22, 1);
    EXPECT_TRUE(pm->FindControl(L"TabArea")->IsVisible());

    // Escape does not close the board.
    SendMessageW(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessagesFor(30);
    EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(Whiteboard, ADrawnStrokeTravelsAsAChangeRecord)
{
    DragThrough(hwnd, {{100, 100}, {150, 100}, {200, 100}, {200, 200}});
    ASSERT_TRUE(parent.WaitFor(WM_USER_PAINTOBJ_CHANGED, 1));
    auto* record = reinterpret_cast<PaintChangeRecord*>(parent.Received(WM_USER_PAINTOBJ_CHANGED)[0].lParam);
    CControlUI* wb1 = pm->FindControl(L"Wb1");
    EXPECT_EQ(record->sourceKind, 2);
    EXPECT_EQ(record->objectKind, 1);
    EXPECT_EQ(record->page, 1);
    EXPECT_EQ(record->docId, 0u);
    EXPECT_EQ(record->surfaceWidth, wb1->GetWidth());
    EXPECT_EQ(record->surfaceHeight, wb1->GetHeight());
    // The straight run's middle point is dropped; the corner stays.
    ASSERT_EQ(record->stroke.points.size(), 3u);
    EXPECT_FLOAT_EQ(record->stroke.points[0].x, 100.0f / wb1->GetWidth());
    EXPECT_FLOAT_EQ(record->stroke.points[1].x, 200.0f / wb1->GetWidth());
    EXPECT_FLOAT_EQ(record->stroke.points[2].y, 200.0f / wb1->GetHeight());

    // With drawing switched off nothing is captured.
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 17, 0);
    DragThrough(hwnd, {{100, 300}, {300, 300}});
    PumpMessagesFor(50);
    EXPECT_EQ(parent.Count(WM_USER_PAINTOBJ_CHANGED), 1u);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 17, 1);
    DragThrough(hwnd, {{100, 300}, {300, 300}});
    EXPECT_TRUE(parent.WaitFor(WM_USER_PAINTOBJ_CHANGED, 2));
}

// Strokes travel as positions about the window's client origin scaled by the page's size, and every
// participant's page starts there: with the tabs shown (a teacher's board) or hidden (a student's) the
// page fills the window, and its lowest row goes out inside it. Beside the tabs, in the row they float
// in, the page takes the mouse.
TEST_F(Whiteboard, PagesFillTheWindowFromItsOriginWhereverTheTabsAre)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    CControlUI* wb1 = pm->FindControl(L"Wb1");
    for (int shown : {0, 1}) {
        SendMessageW(hwnd, WM_USER_UI_NOTICE, 22, shown);
        LayOut(*pm);
        const RECT at = wb1->GetPos();
        EXPECT_TRUE(at.left == 0 && at.top == 0 && at.right == client.right && at.bottom == client.bottom)
            << "tabs shown " << shown << ": page at " << at.left << "," << at.top << "," << at.right << "," << at.bottom;
    }
    DragThrough(hwnd, {{100, client.bottom - 1}, {300, client.bottom - 1}});
    const RECT add = pm->FindControl(L"AddTabBtn")->GetPos();
    const int y = (add.top + add.bottom) / 2;
    DragThrough(hwnd, {{add.right + 10, y}, {add.right + 110, y}});
    ASSERT_TRUE(parent.WaitFor(WM_USER_PAINTOBJ_CHANGED, 2));
    auto received = parent.Received(WM_USER_PAINTOBJ_CHANGED);
    auto* lowest = reinterpret_cast<PaintChangeRecord*>(received[0].lParam);
    EXPECT_EQ(lowest->surfaceWidth, client.right);
    EXPECT_EQ(lowest->surfaceHeight, client.bottom);
    ASSERT_EQ(lowest->stroke.points.size(), 2u);
    EXPECT_FLOAT_EQ(lowest->stroke.points[1].y, static_cast<float>(client.bottom - 1) / static_cast<float>(client.bottom));
    auto* besideTabs = reinterpret_cast<PaintChangeRecord*>(received[1].lParam);
    ASSERT_EQ(besideTabs->stroke.points.size(), 2u);
    EXPECT_FLOAT_EQ(besideTabs->stroke.points[0].y, static_cast<float>(y) / static_cast<float>(client.bottom));
}

TEST_F(Whiteboard, PagesAreLoadedFromTheStoreOnRequest)
{
    ReceivedPaintObject pen;
    pen.kind = ePaintSource_Pen;
    pen.ownerId = 9;
    pen.pen = new PenBody{2, 4, 0, 1};
    RemotePaintStore::Add(pen);
    AddStroke(2, 0, 10);
    AddStroke(2, 0, 11);
    AddStroke(3, 0, 12);
    AddStroke(2, 77, 13);

    auto ask = [&](uint64_t doc, uint16_t page) {
        SendMessageW(hwnd, WM_USER_UI_NOTICE, 4, reinterpret_cast<LPARAM>(new PageChangeRecord{doc, page}));
    };
    ask(77, 2); // a document's page is not the whiteboard's
    ask(0, 5);
    EXPECT_EQ(board->GetSurface(2)->GetObjectCount(), 0u);
    ask(0, 2);
    EXPECT_EQ(board->GetSurface(2)->GetObjectCount(), 3u); // the pen and both strokes
    EXPECT_EQ(board->GetSurface(3)->GetObjectCount(), 0u);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 4, 0);

    SendMessageW(hwnd, WM_USER_UI_NOTICE, 5, 0);
    EXPECT_EQ(board->GetSurface(1)->GetObjectCount(), 1u);
    EXPECT_EQ(board->GetSurface(3)->GetObjectCount(), 2u);
    EXPECT_EQ(board->GetSurface(4)->GetObjectCount(), 1u);
}

TEST_F(Whiteboard, StrokesFromOtherSurfacesAreFreedAndNotSent)
{
    CControlUI* wb1 = pm->FindControl(L"Wb1");
    wb1->SetName(L"Board1");
    DragThrough(hwnd, {{100, 100}, {200, 150}, {300, 100}});
    // A stroke notified by a control that is no surface at all is freed as well.
    pm->SendNotify(pm->FindControl(L"TabArea"), L"painobjchanged", 1, reinterpret_cast<LPARAM>(new PaintStroke));
    PumpMessagesFor(50);
    EXPECT_EQ(parent.Count(WM_USER_PAINTOBJ_CHANGED), 0u);
    // The surface itself still keeps what was drawn on it.
    EXPECT_EQ(static_cast<CPaintControlUI*>(wb1)->GetObjectCount(), 1u);
    wb1->SetName(L"Wb1");
}

namespace {

// Real mouse input at a point of the window's client area, as the user's hand gives it.
void Mouse(HWND window, int x, int y, DWORD buttons)
{
    POINT at{x, y};
    ClientToScreen(window, &at);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &input, sizeof(input));
    PumpMessagesFor(20);
}

} // namespace

TEST_F(Whiteboard, TwoQuickStrokesFromOnePointBothTravel)
{
    // Two strokes of an arrow's head, the second begun at once where the first began: the system
    // makes that press a double click, which must draw as any press does.
    SetWindowPos(parent.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    PumpMessagesFor(50);
    Mouse(hwnd, 300, 300, MOUSEEVENTF_LEFTDOWN);
    Mouse(hwnd, 250, 250, 0);
    Mouse(hwnd, 200, 200, MOUSEEVENTF_LEFTUP);
    Mouse(hwnd, 300, 300, MOUSEEVENTF_LEFTDOWN);
    Mouse(hwnd, 350, 250, 0);
    Mouse(hwnd, 400, 200, MOUSEEVENTF_LEFTUP);
    ASSERT_TRUE(parent.WaitFor(WM_USER_PAINTOBJ_CHANGED, 2));
    const auto records = parent.Received(WM_USER_PAINTOBJ_CHANGED);
    CControlUI* wb1 = pm->FindControl(L"Wb1");
    const float ends[] = {200.0f, 400.0f};
    const float width = static_cast<float>(wb1->GetWidth()), height = static_cast<float>(wb1->GetHeight());
    for (size_t i = 0; i < 2; ++i) {
        const auto& points = reinterpret_cast<PaintChangeRecord*>(records[i].lParam)->stroke.points;
        ASSERT_GE(points.size(), 2u) << i;
        // Within a pixel: the screen's absolute mouse units round.
        EXPECT_NEAR(points.front().x * width, 300.0f, 1.0f) << i;
        EXPECT_NEAR(points.front().y * height, 300.0f, 1.0f) << i;
        EXPECT_NEAR(points.back().x * width, ends[i], 1.0f) << i;
        EXPECT_NEAR(points.back().y * height, 200.0f, 1.0f) << i;
    }
}
