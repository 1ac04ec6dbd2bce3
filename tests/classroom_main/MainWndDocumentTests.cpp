// A teacher's documents against the fake room, the loopback relay and the stand-in PowerPoint: files
// picked in the control panel (new, uploading, uploaded, stored with a page gone), downloaded documents
// reaching the panel, the teacher's own live changes told to the room once the class runs, and a
// received live whiteboard marking the panel's switch.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/CoverWnd.h"
#include "controls/PosLayouts.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/Md5.h"
#include "core/TextUtil.h"
#include "database/SqliteMgr.h"
#include "classroom/DocWnd.h"
#include "tests/classroom/PanelThumbnails.h"
#include "tests/classroom_main/SlidePackageBytes.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/slides/FakePowerPointInstall.h"
#include "tests/support/TestFolders.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

using namespace fakeroom;

namespace {

CString g_pickedFile;
CString PickedFile(HWND) { return g_pickedFile; }

// The open-file dialog answers with g_pickedFile while it lives.
struct ScopedPick {
    ScopedPick() { CControlPanelWnd::SetFileChooser(&PickedFile); }
    ~ScopedPick() { CControlPanelWnd::SetFileChooser(nullptr); }
};

std::vector<CDocWnd*> Thumbnails(MainWndHarness& h) { return PanelThumbnails(PanelOf(h)); }

void ClickOpenFile(MainWndHarness& h)
{
    CControlPanelWnd* panel = PanelOf(h);
    ASSERT_NE(panel, nullptr);
    CControlUI* button = panel->GetPaintManager()->FindControl(L"OpenFileBtn");
    ASSERT_NE(button, nullptr);
    panel->GetPaintManager()->SendNotify(button, L"click");
}

int32_t RoomOf() { return static_cast<int32_t>(SessionContext::Instance()->room.roomId); }

CString Md5Of(const CString& path) { return CString(Md5Digest::OfFile(path).c_str()); }

// A description the stand-in PowerPoint opens; the nonce gives every run a file of its own digest.
CString WriteLesson(const TempFolder& folder, const wchar_t* name, int slides)
{
    char text[128];
    snprintf(text, sizeof text, "slides=%d\nwidth=720\nheight=540\nnonce=%lu.%lu\n", slides, GetCurrentProcessId(),
             GetTickCount());
    CString path = folder.File(name);
    WriteFileBytes(path, text);
    return path;
}

DocPageList* PageList(uint64_t id, uint16_t count, uint16_t current)
{
    auto* list = new DocPageList;
    list->docId = id;
    list->pageCount = count;
    list->currentPage = current;
    for (uint16_t i = 0; i < count; ++i) list->values.push_back(L"page.jpg");
    return list;
}

} // namespace

TEST(MainWndOpenFile, ANewPresentationConvertsUploadsAndIsThenRefusedAsUploaded)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    TempFolder sources(L"src");
    ScopedPick pick;
    IDBMgr* db = CSqliteMgr::GetInstance();

    // Cancelling the dialog opens nothing.
    g_pickedFile.Empty();
    ClickOpenFile(h);
    EXPECT_TRUE(Thumbnails(h).empty());

    g_pickedFile = WriteLesson(sources, L"Optics.ppt", 2);
    const CString md5 = Md5Of(g_pickedFile);
    ClickOpenFile(h);
    std::vector<CDocWnd*> thumbs = Thumbnails(h);
    ASSERT_EQ(thumbs.size(), 1u);
    CDocWnd* doc = thumbs[0];
    EXPECT_EQ(doc->GetSourcePath(), g_pickedFile);
    EXPECT_TRUE(doc->HasCover());
    RECT rc{};
    GetClientRect(doc->GetHWND(), &rc);
    EXPECT_EQ(rc.right, 120);
    EXPECT_EQ(rc.bottom, 90);
    int32_t status = -1;
    uint64_t docId = 99;
    ASSERT_TRUE(db->GetPPTStatus(status, md5, RoomOf(), &docId));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(docId, 0u);

    // Converted by the stand-in, uploaded to the relay and announced to the room.
    ASSERT_TRUE(PumpUntil([&] { return doc->GetDisplayState() == eDocState_Shown; }, 60000)) << doc->GetDisplayState();
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_FileNotice).size() == 1; }, 5000));
    EXPECT_EQ(doc->GetDocId(), RelayKnobs().relayId);
    ASSERT_TRUE(db->GetPPTStatus(status, md5, RoomOf(), &docId));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(docId, RelayKnobs().relayId);

    // The same file again: refused, no second thumbnail.
    {
        BoxAnswerer boxes;
        ClickOpenFile(h);
        ASSERT_EQ(boxes.Texts().size(), 1u);
        EXPECT_EQ(Wide(boxes.Texts()[0]), Wide(g_pickedFile) + L"\nFile has been already uploaded, please don't re-upload!");
    }
    EXPECT_EQ(Thumbnails(h).size(), 1u);
    // The room lists it back: the panel already shows it and adds no second thumbnail.
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(RelayKnobs().relayId, L"Optics.ppt", 9)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocumentCount() == 1; }, 3000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(Thumbnails(h).size(), 1u);
}

TEST(MainWndOpenFile, AFileBeingUploadedIsRefusedAndOneWithAPageGoneCountsAsNew)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    // No PowerPoint here: conversions end with a box, answered below.
    BoxAnswerer boxes;
    TempFolder sources(L"src");
    ScopedPick pick;
    IDBMgr* db = CSqliteMgr::GetInstance();

    g_pickedFile = WriteLesson(sources, L"Busy.ppt", 1);
    ASSERT_TRUE(db->SavePPTStatus(2, Md5Of(g_pickedFile), RoomOf(), 0));
    ClickOpenFile(h);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(Wide(boxes.Texts()[0]), Wide(g_pickedFile) + L"\nFile is being uploaded, please don't re-pick it!");
    EXPECT_TRUE(Thumbnails(h).empty());

    // Finished once, but one of its page images is gone: the row goes and the file is opened anew.
    g_pickedFile = WriteLesson(sources, L"Gone.ppt", 1);
    const CString md5 = Md5Of(g_pickedFile);
    TempFolder pages(L"pages");
    ParamList stored;
    stored.pageCount = 2;
    stored.currentPage = 1;
    ASSERT_TRUE(WriteFileBytes(pages.File(L"1.jpg"), "jpeg"));
    stored.values = {pages.File(L"1.jpg"), pages.File(L"2.jpg")};
    const uint64_t oldId = 600000 + GetTickCount() % 100000;
    ASSERT_TRUE(db->SavePPTInfo(stored, oldId, RoomOf(), L"Gone.ppt"));
    ASSERT_TRUE(db->SavePPTStatus(0, md5, RoomOf(), oldId));
    ClickOpenFile(h);
    ASSERT_EQ(Thumbnails(h).size(), 1u);
    int32_t status = -1;
    uint64_t docId = 99;
    ASSERT_TRUE(db->GetPPTStatus(status, md5, RoomOf(), &docId));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(docId, 0u);
    EXPECT_EQ(boxes.Texts().size(), 1u);

    // The conversion fails without PowerPoint: its box, and the pick is forgotten.
    CDocWnd* doc = Thumbnails(h)[0];
    ASSERT_TRUE(PumpUntil([&] { return doc->GetDisplayState() == eDocState_ConvertFailed; }, 30000));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Texts().size() == 2; }, 5000));
    EXPECT_FALSE(db->GetPPTStatus(status, md5, RoomOf(), &docId));

    // A file that cannot be read has no digest: logged, nothing opened.
    g_pickedFile = sources.File(L"missing.ppt");
    ClickOpenFile(h);
    EXPECT_EQ(Thumbnails(h).size(), 1u);
    EXPECT_TRUE(LogHas(L"Error : calculate MD5 value of file (" + g_pickedFile + L") failed."));
}

TEST(MainWndDocuments, DownloadedAndStoredDocumentsReachTheTeachersPanel)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    const uint64_t liveId = 800000 + GetTickCount() % 100000, otherId = liveId + 1, storedId = liveId + 2,
                   brokenId = liveId + 3;
    const std::string livePackage = Package("Live", 3), otherPackage = Package("Other", 2),
                      brokenPackage = Package("Broken", 1);
    relay.AddFile(liveId, livePackage);
    relay.AddFile(otherId, otherPackage);
    relay.AddFile(brokenId, brokenPackage);
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    IDBMgr* db = CSqliteMgr::GetInstance();

    // The room says the first document is live at page 2 before its file arrives.
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(liveId, 2, 0x41), 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetLiveState().docId == liveId; }, 3000));

    // Stored here with its pages: no download, straight into the panel.
    TempFolder pages(L"pages");
    ParamList stored;
    stored.pageCount = 1;
    stored.currentPage = 1;
    ASSERT_TRUE(DrawSlideJpeg(pages.File(L"1.jpg"), 1, 160, 120));
    stored.values = {pages.File(L"1.jpg")};
    ASSERT_TRUE(db->SavePPTInfo(stored, storedId, RoomOf(), L""));
    // Stored too, but a page image is gone: downloaded again.
    ParamList broken = stored;
    broken.values = {pages.File(L"gone.jpg")};
    ASSERT_TRUE(db->SavePPTInfo(broken, brokenId, RoomOf(), L""));

    auto* list = new FileNoticeList{Notice(storedId, L"Stored.lvl", 4), Notice(liveId, L"Live.lvl", livePackage.size()),
                                    Notice(otherId, L"Other.lvl", otherPackage.size()),
                                    Notice(brokenId, L"Broken.lvl", brokenPackage.size())};
    PostMessageW(h.window, WM_USER_FILE_LIST, 0, reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(PumpUntil([&] { return Thumbnails(h).size() == 4; }, 20000)) << Thumbnails(h).size();
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDownloadCount() == 0; }, 10000));
    std::vector<uint64_t> requested = relay.DownloadRequestIds();
    std::sort(requested.begin(), requested.end());
    EXPECT_EQ(requested, (std::vector<uint64_t>{liveId, otherId, brokenId}));

    std::map<uint64_t, CDocWnd*> byId;
    PumpUntil([] { return false; }, 200);
    for (CDocWnd* doc : Thumbnails(h)) byId[doc->GetDocId()] = doc;
    ASSERT_EQ(byId.size(), 4u);
    EXPECT_EQ(byId[storedId]->GetPageList().pageCount, 1);
    EXPECT_EQ(byId[liveId]->GetPageList().pageCount, 3);
    EXPECT_EQ(byId[otherId]->GetPageList().pageCount, 2);
    EXPECT_EQ(byId[brokenId]->GetPageList().pageCount, 1);
    EXPECT_EQ(byId[liveId]->GetDisplayState(), eDocState_Shown);
    // Only the live one is selected, and the panel holds it.
    CControlPanelWnd* panel = PanelOf(h);
    ASSERT_TRUE(panel->GetHeldDocument());
    EXPECT_EQ(panel->GetHeldDocument()->source, byId[liveId]->GetHWND());
    EXPECT_TRUE(byId[liveId]->GetCover()->GetFlags() & eCover_Selected);
    EXPECT_FALSE(byId[otherId]->GetCover()->GetFlags() & eCover_Selected);
    // The live document is shown in the main screen at its live page.
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    ASSERT_TRUE(PumpUntil([&] { return h.main->DocumentView()->GetPageList().pageCount == 3; }, 3000));
    EXPECT_EQ(h.main->DocumentView()->GetPageList().currentPage, 2);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(brokenId, entry));
    EXPECT_EQ(entry.flag, 1);
}

TEST(MainWndDocuments, AFailedDownloadIsOfferedAgainUntilCancelled)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    const uint64_t lateId = 700000 + GetTickCount() % 50000, goneId = lateId + 1;
    const std::string package = Package("Late", 2);
    BoxAnswerer boxes;
    // The relay refuses a file it does not have. The first box's Retry comes once the file is there.
    boxes.SetAnswer([&](const CString& text) {
        if (text.Find(L"Late.lvl") < 0) return L"CancelBtn";
        relay.AddFile(lateId, package);
        return static_cast<const wchar_t*>(nullptr);
    });
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(lateId, L"Late.lvl", package.size())));
    ASSERT_TRUE(PumpUntil([&] { return Thumbnails(h).size() == 1; }, 20000));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    // The language table keeps no trailing blank.
    EXPECT_EQ(Wide(boxes.Texts()[0]), L"File Download Failed!Late.lvl");
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{lateId, lateId}));
    ParamList saved;
    ASSERT_TRUE(CSqliteMgr::GetInstance()->GetPPTInfo(saved, lateId));
    EXPECT_EQ(saved.pageCount, 2);
    EXPECT_TRUE(LogHas(L"Error : File Download Failed, file : " + CString(std::to_wstring(lateId).c_str())));

    // Cancel: no new attempt, the entry stays not downloaded.
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(goneId, L"Gone.lvl", 10)));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Texts().size() == 2; }, 20000));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(relay.DownloadRequestIds().size(), 3u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(goneId, entry));
    EXPECT_EQ(entry.flag, 0);
    EXPECT_EQ(Thumbnails(h).size(), 1u);
}

TEST(MainWndDocuments, AStoredLiveDocumentIsShownAgainAndStudentsGetNoThumbnails)
{
    MainWndHarness h(4);
    ASSERT_TRUE(h.StartAndJoin());
    const uint64_t storedId = 900000 + GetTickCount() % 50000;
    TempFolder pages(L"pages");
    ParamList stored;
    stored.pageCount = 2;
    stored.currentPage = 1;
    for (const wchar_t* name : {L"1.jpg", L"2.jpg"}) {
        ASSERT_TRUE(DrawSlideJpeg(pages.File(name), name[0] - L'0', 160, 120));
        stored.values.push_back(pages.File(name));
    }
    ASSERT_TRUE(CSqliteMgr::GetInstance()->SavePPTInfo(stored, storedId, RoomOf(), L""));
    // Live before its notice: the window waits for the download it thinks is coming.
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(storedId, 2, 0x41), 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->DocumentView()->GetDisplayState() == eDocState_Downloading; }, 3000));
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(storedId, L"Stored.lvl", 4)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->DocumentView()->GetPageList().pageCount == 2; }, 3000));
    EXPECT_EQ(h.main->DocumentView()->GetPageList().currentPage, 2);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    EXPECT_TRUE(Thumbnails(h).empty());
    ASSERT_EQ(h.main->GetMainContent(), eScreen_Document);
    // A screen the window does not have: logged, and the document stays on its page in its screen.
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(storedId, 1, 0x43), 21));
    ASSERT_TRUE(PumpUntil([] { return LogHas(L"Error : On Live Doc, pos = 3, return"); }, 3000));
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    EXPECT_TRUE(IsWindowVisible(h.main->DocumentWindow()));
    EXPECT_EQ(h.main->DocumentView()->GetPageList().currentPage, 2);
}

TEST(MainWndLiveNotices, TheTeachersOwnChangesReachTheRoomOnlyWhileTheClassRuns)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CControlPanelWnd* panel = PanelOf(h);
    ASSERT_NE(panel, nullptr);
    // Before the class: a document goes live in the main screen, the camera (through the panel) in the vice.
    auto* doc = new WndMsgPayload;
    std::unique_ptr<DocPageList> offered(PageList(77, 3, 1));
    doc->SetDocument(nullptr, *offered);
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(doc));
    auto* camera = new WndMsgPayload;
    camera->SetCamera(nullptr, 0);
    PostMessageW(panel->GetHWND(), WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(camera));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_Document);
    ASSERT_TRUE(panel->GetHeldCamera());

    PostMessageW(h.window, WM_USER_UI_NOTICE, 11, 4);
    PostMessageW(h.window, WM_USER_UI_NOTICE, 12, reinterpret_cast<LPARAM>(PageList(77, 3, 2)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetLiveState().docPage == 2; }, 3000));
    EXPECT_EQ(h.main->GetLiveState().whiteboardTab, 4);
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveWhiteboard).empty());
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveDoc).empty());

    BeginClass(h);
    // Another tab, the same tab again and tab 0: only the first is news.
    PostMessageW(h.window, WM_USER_UI_NOTICE, 11, 5);
    PostMessageW(h.window, WM_USER_UI_NOTICE, 11, 5);
    PostMessageW(h.window, WM_USER_UI_NOTICE, 11, 0);
    // A page of another document changes nothing; the live one's page goes out, page 0 with a complaint.
    PostMessageW(h.window, WM_USER_UI_NOTICE, 12, reinterpret_cast<LPARAM>(PageList(78, 3, 3)));
    PostMessageW(h.window, WM_USER_UI_NOTICE, 12, reinterpret_cast<LPARAM>(PageList(77, 3, 3)));
    PostMessageW(h.window, WM_USER_UI_NOTICE, 12, reinterpret_cast<LPARAM>(PageList(77, 3, 0)));
    PostMessageW(h.window, WM_USER_UI_NOTICE, 7, 0);
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_LiveCamera).size() == 1; }, 5000));
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_LiveDoc).size() == 2; }, 5000));
    PumpUntil([] { return false; }, 200);
    // The whiteboard follows the live document's screen without being live itself.
    ASSERT_EQ(h.room.reg.Messages(eType_LiveWhiteboard).size(), 1u);
    EXPECT_EQ(h.room.reg.Messages(eType_LiveWhiteboard)[0].payload, (Bytes{5, 0, 0x01}));
    ASSERT_EQ(h.room.reg.Messages(eType_LiveDoc).size(), 2u);
    EXPECT_EQ(h.room.reg.Messages(eType_LiveDoc)[0].payload, DocBytes(77, 3, 0x41));
    EXPECT_EQ(h.room.reg.Messages(eType_LiveDoc)[1].payload, DocBytes(77, 0, 0x41));
    EXPECT_TRUE(LogHas(L"Error : What ? Main Wnd UI_DOCINFO_CHANGED msg.  PPT page = 0"));
    ASSERT_EQ(h.room.reg.Messages(eType_LiveCamera).size(), 1u);
    EXPECT_EQ(h.room.reg.Messages(eType_LiveCamera)[0].payload, (Bytes{0, 0x02}));
    EXPECT_EQ(h.main->GetViceContent(), eScreen_None);
    // The panel let go of the camera: its camera button works again.
    EXPECT_EQ(panel->GetHeldCamera(), nullptr);
}

TEST(MainWndLiveNotices, AReceivedLiveWhiteboardChecksTheTeachersSwitchAndIsPlaced)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    COptionUI* board = PanelSwitch(h, L"WhiteBoardCheck");
    ASSERT_NE(board, nullptr);
    EXPECT_FALSE(board->IsSelected());
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{2, 0, 0x41}, 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_TRUE(board->IsSelected());
    EXPECT_EQ(board->GetBorderColor(), 0xFF00C090u);
    // Checked already: moved to the vice screen as the room says; the switch stays.
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{3, 0, 0x42}, 21));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_EQ(h.main->GetMainContent(), eScreen_None);
    EXPECT_TRUE(board->IsSelected());
    // A screen the window does not have: logged, and the board stays in the vice screen.
    ASSERT_TRUE(h.Push(eType_LiveWhiteboard, Bytes{3, 0, 0x43}, 21));
    ASSERT_TRUE(PumpUntil([] { return LogHas(L"Error : On Live WB, pos = 3, return"); }, 3000));
    EXPECT_EQ(h.main->GetViceContent(), eScreen_Whiteboard);
    EXPECT_TRUE(IsWindowVisible(h.main->WhiteboardWindow()));
    // Nothing of it goes back to the room.
    PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveWhiteboard).empty());
}
