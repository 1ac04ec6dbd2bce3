// The main window's view of a document and the panel preview's notices: pages handed over and paged by
// injected clicks on the page buttons, downloads reported, received drawings per page, a local stroke
// sent on, selection and closing told to the parent.
#include "classroom/CoverWnd.h"
#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "controls/ImagePaintControl.h"
#include "core/Folders.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "protocol/RoomRecords.h"
#include "tests/docwnd/DocWndTestSupport.h"
#include "tests/support/MessageSink.h"
#include "tests/ui/UiTestHost.h"

#include <gtest/gtest.h>

namespace {

const uint64_t kDoc = 0x1122334455667788ull;

class View : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(room.Ready());
        UseLanguageTable(false);
        wnd = room.MakeWindow(false, 480, 360);
        ASSERT_TRUE(wnd);
        hwnd = wnd->GetHWND();
        pm = wnd->GetPaintManager();
        pages = WritePages(images, kDoc, 3);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
    int ShownPage() { return PageOfImage(CString(wnd->GetImageView()->GetImage().GetData())); }
    // Page lists the window told its parent about, in order (sub-code 12).
    std::vector<int> ReportedPages()
    {
        std::vector<int> result;
        for (const RecordedMessage& m : room.parent.Received(WM_USER_UI_NOTICE)) {
            if (m.wParam != eDocNotice_DocInfo) continue;
            auto* list = reinterpret_cast<DocPageList*>(m.lParam);
            EXPECT_EQ(kDoc, list->docId);
            EXPECT_EQ(3, list->pageCount);
            result.push_back(list->currentPage);
        }
        return result;
    }
    void PostPages(const DocPageList& list)
    {
        ASSERT_TRUE(PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_DocInfo, reinterpret_cast<LPARAM>(new DocPageList(list))));
        PumpMessagesFor(50);
    }
    static void AddStroke(uint64_t doc, uint16_t page, uint32_t key)
    {
        ReceivedPaintObject r;
        r.kind = static_cast<uint8_t>(ePaintOp_AddStroke | ePaintSource_Document);
        r.ownerId = 9;
        r.stroke = new StrokeRecord;
        r.stroke->head = StrokeHead{page, key, doc, 0, 480, 360};
        r.stroke->points = {{1, 1}, {100, 100}};
        RemotePaintStore::Add(r);
    }

    DocWndRoom room;
    TempFolder images{L"img"};
    DocPageList pages;
    CDocWnd* wnd = nullptr;
    CPaintManagerUI* pm = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(View, PageButtonsSitAtTheEdgesVerticallyCentred)
{
    CControlUI* previous = pm->FindControl(L"PreviousBtn");
    CControlUI* next = pm->FindControl(L"NextBtn");
    ASSERT_TRUE(previous && next);
    EXPECT_TRUE(previous->IsVisible());
    EXPECT_TRUE(next->IsVisible());
    RECT p = previous->GetPos();
    RECT n = next->GetPos();
    EXPECT_EQ(0, p.left);
    EXPECT_EQ(480, n.right);
    EXPECT_EQ(previous->GetFixedWidth(), p.right - p.left);
    EXPECT_EQ(180, (p.top + p.bottom) / 2);
    EXPECT_EQ(180, (n.top + n.bottom) / 2);

    MoveWindow(hwnd, 0, 0, 600, 200, TRUE);
    LayOut(*pm);
    n = next->GetPos();
    EXPECT_EQ(600, n.right);
    EXPECT_EQ(100, (n.top + n.bottom) / 2);

    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_PageButtons, 0);
    EXPECT_FALSE(previous->IsVisible());
    EXPECT_FALSE(next->IsVisible());
    EXPECT_FALSE(ClickControl(*pm, L"NextBtn"));
}

TEST_F(View, InjectedClicksPageThroughTheDocumentAndStopAtBothEnds)
{
    PostPages(pages);
    EXPECT_EQ(kDoc, wnd->GetDocId());
    EXPECT_EQ(1, ShownPage());
    EXPECT_EQ(eDocState_Shown, wnd->GetDisplayState());

    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    EXPECT_EQ(2, ShownPage());
    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    EXPECT_EQ(3, ShownPage());
    EXPECT_TRUE(wnd->GetImageView()->IsFading());
    EXPECT_FLOAT_EQ(0.4f, wnd->GetImageView()->GetFadeOpacity());
    PumpMessagesFor(50);
    EXPECT_EQ((std::vector<int>{2, 3}), ReportedPages());

    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    PumpMessagesFor(50);
    EXPECT_EQ(3, ShownPage());
    EXPECT_EQ(2u, ReportedPages().size()) << "nothing posted at the last page";
    EXPECT_TRUE(LogHas(L"Infor : Doc Wnd, Cann't go to Next page, CurPage=3, Tpage=3, ID=1234605616436508552"));

    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickControl(*pm, L"PreviousBtn"));
    PumpMessagesFor(50);
    EXPECT_EQ(1, ShownPage());
    EXPECT_EQ((std::vector<int>{2, 3, 2, 1}), ReportedPages());
    EXPECT_TRUE(LogHas(L"Cann't go to Previous page, CurPage=1, Tpage=3"));
}

TEST_F(View, ASlideThatCannotBeLoadedEndsItsFadeAndIsLoggedOnce)
{
    ASSERT_TRUE(WriteFileBytes(pages.values[1], "not a picture"));
    PostPages(pages);
    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    ASSERT_EQ(pages.values[1], CString(wnd->GetImageView()->GetImage().GetData()));
    ASSERT_TRUE(wnd->GetImageView()->IsFading());
    // Without an end the view would repaint every 130 ms until the next page.
    EXPECT_TRUE(PumpUntil([&] { return !wnd->GetImageView()->IsFading(); }, 5000));
    for (int i = 0; i < 3; ++i) {
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
    }
    PumpMessagesFor(100);
    const std::string log = ReadFileBytes(GetAppDataFolder() + L"Log\\log.txt");
    const std::string line = Utf16ToUtf8(L"; image path : " + pages.values[1] + L". return");
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++count;
    EXPECT_EQ(1u, count);
}

TEST_F(View, PageListsOfTheSameDocumentOnlyMoveTheCurrentPage)
{
    PostPages(pages);
    DocPageList other = pages;
    other.values.assign(3, images.File(L"elsewhere.jpg"));
    other.currentPage = 3;
    PostPages(other);
    EXPECT_EQ(3, ShownPage()) << "the held images stay";
    other.currentPage = 9;
    PostPages(other);
    EXPECT_EQ(3, wnd->GetPageList().currentPage) << "held to the page count";

    DocPageList empty = pages;
    empty.currentPage = 0;
    EXPECT_FALSE(wnd->SetDocInfo(empty));
    EXPECT_TRUE(LogHas(L"Error : Set Doc Info---DocID=1234605616436508552; TotalPage=3; curPage=0"));

    // A list naming images that are not there shows nothing new and says so.
    DocPageList missing;
    missing.docId = 5;
    missing.pageCount = 1;
    missing.currentPage = 1;
    missing.values = {images.File(L"absent.jpg")};
    EXPECT_TRUE(wnd->SetDocInfo(missing));
    EXPECT_EQ(3, ShownPage());
    EXPECT_TRUE(LogHas(L"Error : Draw Doc Image, but the image path is not existed---"));

    // Sub-code 15 is taken only for the document already shown.
    DocPageList live = missing;
    live.docId = 6;
    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_LiveDocInfo, reinterpret_cast<LPARAM>(&live));
    EXPECT_EQ(5u, wnd->GetDocId());
}

TEST_F(View, DownloadsReportTheirPercentOnlyForThisDocument)
{
    ASSERT_TRUE(PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_DownloadStart, reinterpret_cast<LPARAM>(new uint64_t(kDoc))));
    PumpMessagesFor(30);
    EXPECT_EQ(eDocState_Downloading, wnd->GetDisplayState());
    EXPECT_EQ(kDoc, wnd->GetDocId());
    EXPECT_EQ(eDocState_Downloading, wnd->GetImageView()->GetState());

    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Download, reinterpret_cast<LPARAM>(new DocDownloadProgress{kDoc + 1, 40}));
    PumpMessagesFor(30);
    UseLanguageTable(true);
    const std::wstring before = wnd->GetImageView()->StateText().GetData();
    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Download, reinterpret_cast<LPARAM>(new DocDownloadProgress{kDoc, 40}));
    PumpMessagesFor(30);
    const std::wstring after = wnd->GetImageView()->StateText().GetData();
    EXPECT_NE(std::wstring::npos, after.find(L"40")) << after;
    EXPECT_EQ(std::wstring::npos, before.find(L"40")) << "the other document's percent was ignored";
    // As the user sees it on the shipped skin: the percent text stands out from the ground around it,
    // between the page buttons.
    RECT client{};
    GetClientRect(hwnd, &client);
    MemoryDib dib(client.right, client.bottom);
    LayOut(*pm);
    pm->PaintTo(dib.Dc(), client);
    auto luma = [](uint32_t rgb) {
        return static_cast<int>((((rgb >> 16) & 0xFF) * 299 + ((rgb >> 8) & 0xFF) * 587 + (rgb & 0xFF) * 114) / 1000);
    };
    const int ground = luma(dib.At(client.right / 2, 5));
    int contrasting = 0;
    for (int y = client.bottom / 2 - 15; y < client.bottom / 2 + 15; ++y)
        for (int x = 40; x < client.right - 40; ++x)
            if (abs(luma(dib.At(x, y)) - ground) >= 96) ++contrasting;
    EXPECT_GT(contrasting, 60) << "the download percent cannot be read against the view's ground";

    PostPages(pages);
    EXPECT_EQ(eDocState_Shown, wnd->GetDisplayState());
    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Download, reinterpret_cast<LPARAM>(new DocDownloadProgress{kDoc, 90}));
    PumpMessagesFor(30);
    EXPECT_EQ(eDocState_Shown, wnd->GetDisplayState());
    // A download start without an id is dropped.
    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_DownloadStart, reinterpret_cast<LPARAM>(new uint64_t(0)));
    PumpMessagesFor(30);
    EXPECT_EQ(kDoc, wnd->GetDocId());
}

TEST_F(View, EachPageShowsItsOwnReceivedDrawings)
{
    AddStroke(kDoc, 1, 1);
    AddStroke(kDoc, 2, 2);
    AddStroke(kDoc, 2, 3);
    AddStroke(kDoc + 1, 1, 4); // another document
    PostPages(pages);
    EXPECT_EQ(1u, wnd->GetImageView()->GetObjectCount());
    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    EXPECT_EQ(2u, wnd->GetImageView()->GetObjectCount());
    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    EXPECT_EQ(0u, wnd->GetImageView()->GetObjectCount());

    // A new drawing on the page shown arrives by sub-code 4; one for another page loads nothing.
    AddStroke(kDoc, 3, 5);
    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_LoadPage, reinterpret_cast<LPARAM>(new PageChangeRecord{kDoc, 2}));
    PumpMessagesFor(30);
    EXPECT_EQ(0u, wnd->GetImageView()->GetObjectCount());
    PostMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_LoadPage, reinterpret_cast<LPARAM>(new PageChangeRecord{kDoc, 3}));
    PumpMessagesFor(30);
    EXPECT_EQ(1u, wnd->GetImageView()->GetObjectCount());
    AddStroke(kDoc, 3, 6);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_RefreshPage, 0);
    EXPECT_EQ(2u, wnd->GetImageView()->GetObjectCount());
}

TEST_F(View, ALocalStrokeGoesToTheMainWindowWithItsPage)
{
    PostPages(pages);
    ASSERT_TRUE(ClickControl(*pm, L"NextBtn"));
    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Drawing, 1);
    ASSERT_TRUE(wnd->GetImageView()->IsPenEnabled());
    DragThrough(hwnd, {{100, 100}, {140, 120}, {180, 160}});
    ASSERT_TRUE(room.parent.WaitFor(WM_USER_PAINTOBJ_CHANGED, 1, 2000));
    auto* record = reinterpret_cast<PaintChangeRecord*>(room.parent.Received(WM_USER_PAINTOBJ_CHANGED)[0].lParam);
    EXPECT_EQ(ePaintChange_Document, record->sourceKind);
    EXPECT_EQ(kDoc, record->docId);
    EXPECT_EQ(2, record->page);
    // The slide view starts at the window's client origin and fills it, as every participant's does.
    RECT client{};
    GetClientRect(hwnd, &client);
    const RECT view = wnd->GetImageView()->GetPos();
    EXPECT_TRUE(view.left == 0 && view.top == 0 && view.right == client.right && view.bottom == client.bottom);
    EXPECT_EQ(client.right, record->surfaceWidth);
    EXPECT_EQ(client.bottom, record->surfaceHeight);
    EXPECT_EQ(480, record->surfaceWidth);
    EXPECT_EQ(360, record->surfaceHeight);
    EXPECT_GE(record->stroke.points.size(), 2u);

    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Drawing, 0);
    DragThrough(hwnd, {{100, 100}, {140, 120}});
    PumpMessagesFor(100);
    EXPECT_EQ(1u, room.parent.Count(WM_USER_PAINTOBJ_CHANGED)) << "drawing off";
}

TEST_F(View, ClosingTellsTheParentAndForgetsTheConversionRows)
{
    // A document the window got from the room: no MD5, so its rows go by the document id.
    ASSERT_TRUE(room.db.SavePPTStatus(0, L"fedcba9876543210fedcba9876543210", 0x0A0B0C, kDoc));
    PostPages(pages);
    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Close, kDocCloseTellPanel);
    PumpMessagesFor(50);
    auto actions = room.parent.Received(WM_USER_PANEL_ACTION);
    ASSERT_EQ(1u, actions.size());
    EXPECT_EQ(0u, actions[0].wParam);
    auto* payload = reinterpret_cast<WndMsgPayload*>(actions[0].lParam);
    EXPECT_EQ(hwnd, payload->source);
    ASSERT_TRUE(payload->Document());
    EXPECT_EQ(kDoc, payload->Document()->docId);
    EXPECT_EQ(3, payload->Document()->pageCount);
    bool closed = false;
    for (const RecordedMessage& m : room.parent.Received(WM_USER_UI_NOTICE))
        closed |= m.wParam == eDocNotice_Close && m.lParam == 0;
    EXPECT_TRUE(closed);
    int32_t status = -1;
    uint64_t docId = 0;
    EXPECT_FALSE(room.db.GetPPTStatus(status, L"fedcba9876543210fedcba9876543210", 0x0A0B0C, &docId));

    // Without flag 2 the panel is not told.
    room.FreeParentRecords();
    SendMessageW(hwnd, WM_USER_UI_NOTICE, eDocNotice_Close, 1);
    PumpMessagesFor(50);
    EXPECT_EQ(0u, room.parent.Count(WM_USER_PANEL_ACTION));
    EXPECT_EQ(1u, room.parent.Count(WM_USER_UI_NOTICE));
}

TEST_F(View, ThePreviewCoverLiesOnItsWindowSelectsTheDocumentAndItsCloseBoxClosesIt)
{
    CDocWnd* preview = room.MakeWindow(true, 240, 180);
    ASSERT_TRUE(preview);
    ASSERT_TRUE(preview->GetCover());
    HWND cover = preview->GetCoverWindow();
    ASSERT_TRUE(IsWindow(cover));
    EXPECT_FALSE(preview->GetPaintManager()->FindControl(L"PreviousBtn")->IsVisible());
    EXPECT_FALSE(preview->GetPaintManager()->FindControl(L"NextBtn")->IsVisible());
    ASSERT_TRUE(preview->SetDocInfo(pages));
    HWND previewWnd = preview->GetHWND();

    // The cover lies on the window while the window is inside its parent.
    RECT own{};
    RECT over{};
    GetWindowRect(previewWnd, &own);
    GetWindowRect(cover, &over);
    EXPECT_EQ(own.left, over.left);
    EXPECT_EQ(own.top, over.top);
    EXPECT_TRUE(IsWindowVisible(cover));
    MoveWindow(previewWnd, -300, 20, 240, 180, TRUE);
    EXPECT_FALSE(IsWindowVisible(cover)) << "hidden outside the parent";
    MoveWindow(previewWnd, 30, 30, 240, 180, TRUE);
    EXPECT_TRUE(IsWindowVisible(cover));

    uint64_t clicked = kDoc;
    SendMessageW(previewWnd, WM_USER_UI_NOTICE, eDocNotice_CoverClicked, reinterpret_cast<LPARAM>(&clicked));
    EXPECT_TRUE(preview->GetCover()->IsSelected());
    uint64_t otherDoc = kDoc + 1;
    SendMessageW(previewWnd, WM_USER_UI_NOTICE, eDocNotice_CoverClicked, reinterpret_cast<LPARAM>(&otherDoc));
    PumpMessagesFor(50);
    auto notices = room.parent.Received(WM_USER_UI_NOTICE);
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(static_cast<WPARAM>(eDocNotice_CoverClicked), notices[0].wParam);
    EXPECT_EQ(kDoc, reinterpret_cast<WndMsgPayload*>(notices[0].lParam)->Document()->docId);
    SendMessageW(previewWnd, WM_USER_UI_NOTICE, eDocNotice_Select, 0);
    EXPECT_FALSE(preview->GetCover()->IsSelected());
    EXPECT_EQ(0u, room.parent.Count(WM_USER_PANEL_ACTION)) << "deselecting tells nobody";

    ClickClient(cover, 120, 90); // the body
    PumpMessagesFor(100);
    EXPECT_TRUE(preview->GetCover()->IsSelected());
    auto actions = room.parent.Received(WM_USER_PANEL_ACTION);
    ASSERT_EQ(1u, actions.size());
    EXPECT_EQ(1u, actions[0].wParam) << "selected as the live source";
    EXPECT_EQ(kDoc, reinterpret_cast<WndMsgPayload*>(actions[0].lParam)->Document()->docId);

    const RECT& box = preview->GetCover()->GetSecondButton();
    ClickClient(cover, (box.left + box.right) / 2, (box.top + box.bottom) / 2);
    PumpMessagesFor(100);
    actions = room.parent.Received(WM_USER_PANEL_ACTION);
    ASSERT_EQ(2u, actions.size());
    EXPECT_EQ(0u, actions[1].wParam) << "a selected document closing leaves the panel first";
    size_t closes = 0;
    for (const RecordedMessage& m : room.parent.Received(WM_USER_UI_NOTICE)) closes += m.wParam == eDocNotice_Close;
    EXPECT_EQ(1u, closes);

    SendMessageW(previewWnd, WM_USER_UI_NOTICE, eDocNotice_Cover, 0);
    EXPECT_FALSE(IsWindowVisible(cover));
    // The cover goes with the window.
    DestroyWindow(previewWnd);
    EXPECT_FALSE(IsWindow(cover));
}
