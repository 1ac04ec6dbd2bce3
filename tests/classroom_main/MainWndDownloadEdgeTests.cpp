// Room downloads at their edges: a stored document with a page image gone is fetched again, its
// progress and pages reaching the live document window; starts that fail three times end in the
// error box, whose Retry makes three more; a transfer broken off midway is reported and offered again.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "filetransfer/FileTransBase.h"
#include "slides/DocWnd.h"
#include "tests/classroom_main/NoticeSpy.h"
#include "tests/classroom_main/SlidePackageBytes.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/support/TestFolders.h"

#include <mutex>
#include <string>

using namespace fakeroom;

namespace {

CString Name(const wchar_t* stem, uint64_t id)
{
    CString name;
    name.Format(L"%s%I64u.lvl", stem, id);
    return name;
}

bool AllExist(const ParamList& pages)
{
    for (const CString& path : pages.values)
        if (!FileExists(path)) return false;
    return !pages.values.empty();
}

} // namespace

TEST(MainWndDownloadEdges, AStoredDocumentWithAPageGoneIsFetchedAgainIntoTheLiveDocumentWindow)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    // The first data comes after the receiver's progress interval, so a progress record goes out.
    RelayKnobs knobs;
    knobs.stallMs = 700;
    relay.SetKnobs(knobs);
    const uint64_t liveId = FreshId(300000), otherId = liveId + 60000;
    const std::string livePackage = Package("Live", 3), otherPackage = Package("Other", 1);
    relay.AddFile(liveId, livePackage);
    relay.AddFile(otherId, otherPackage);
    MainWndHarness h(4, 2);
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    IDBMgr* db = CSqliteMgr::GetInstance();

    // Unpacked here once, but its second page image is gone since.
    TempFolder kept(L"kept");
    ParamList stored;
    stored.pageCount = 3;
    stored.currentPage = 1;
    for (const wchar_t* name : {L"1.jpg", L"2.jpg", L"3.jpg"}) {
        ASSERT_TRUE(DrawSlideJpeg(kept.File(name), name[0] - L'0', 160, 120));
        stored.values.push_back(kept.File(name));
    }
    ASSERT_TRUE(db->SavePPTInfo(stored, liveId, kRoomId, L""));
    ASSERT_TRUE(DeleteFileW(kept.File(L"2.jpg")));

    // The teacher has it live on page 2 before this client knows it: the window awaits it on screen.
    NoticeSpy doc(h.main->DocumentWindow());
    ASSERT_TRUE(h.Push(eType_LiveDoc, DocBytes(liveId, 2, 0x41), 3));
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(eDocNotice_DownloadStart) == 1; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h.main->DocumentWindow()) != FALSE; }, 3000));

    // Another document first: its progress is nobody's business but the list's.
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(otherId, Name(L"Other", otherId), otherPackage.size())));
    FileItemRecord entry;
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocument(otherId, entry) && entry.flag == 1; }, 15000));
    EXPECT_EQ(doc.Count(eDocNotice_Download), 0u);

    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(liveId, Name(L"Live", liveId), livePackage.size())));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocument(liveId, entry) && entry.flag == 1; }, 15000));
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{otherId, liveId}));
    EXPECT_EQ(entry.pages.pageCount, 3);
    EXPECT_TRUE(AllExist(entry.pages));

    // Progress went to the window while the transfer ran.
    std::vector<SeenNotice> progress = doc.Of(eDocNotice_Download);
    ASSERT_FALSE(progress.empty());
    for (const SeenNotice& p : progress) {
        EXPECT_EQ(p.id, liveId);
        EXPECT_LE(p.page, 100);
    }
    // Then the pages, at the live page.
    ASSERT_TRUE(PumpUntil([&] { return doc.Count(eDocNotice_DocInfo) == 1; }, 3000));
    SeenNotice pages = doc.Of(eDocNotice_DocInfo)[0];
    EXPECT_EQ(pages.id, liveId);
    EXPECT_EQ(pages.count, 3);
    EXPECT_EQ(pages.page, 2);

    // The record database now holds the new images, all on disk.
    ParamList saved;
    ASSERT_TRUE(db->GetPPTInfo(saved, liveId));
    EXPECT_EQ(saved.pageCount, 3);
    EXPECT_TRUE(AllExist(saved));
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000));
}

TEST(MainWndDownloadEdges, ThreeFailedStartsShowTheBoxWhoseRetryStartsThreeMore)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    const uint64_t id = FreshId(400000);
    // A name the transfer refuses to make a path of: every start fails at once.
    CString name;
    name.Format(L"Bad:%I64u.lvl", id);
    const CString refused = L"refused file name \"" + name + L"\"";
    CString failed;
    failed.Format(L"Error : Start Download File Failed, file : %s, file id = %d", name.GetString(), static_cast<int>(id));
    // Each box notes how many starts had failed when it came up.
    std::mutex lock;
    std::vector<size_t> startsAtBox;
    BoxAnswerer boxes;
    boxes.SetAnswer([&](const CString&) {
        std::lock_guard<std::mutex> hold(lock);
        startsAtBox.push_back(LogCount(refused));
        return startsAtBox.size() == 1 ? L"RetryBtn" : L"CancelBtn";
    });

    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(id, name, 10)));
    // Retry: three more starts, then the same box again; Cancel ends it.
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 2; }, 20000));
    PumpUntil([] { return false; }, 300);
    ASSERT_EQ(boxes.Count(), 2u);
    {
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(startsAtBox, (std::vector<size_t>{3, 6}));
    }
    for (const CString& text : boxes.Texts()) EXPECT_NE(text.Find(name), -1);
    EXPECT_EQ(LogCount(refused), 6u);
    EXPECT_EQ(LogCount(failed), 2u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(id, entry));
    EXPECT_EQ(entry.flag, 0);
}

TEST(MainWndDownloadEdges, ATransferBrokenOffMidwayIsReportedAndOfferedAgain)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    RelayKnobs knobs;
    knobs.closeAfterBytes = 4000;
    relay.SetKnobs(knobs);
    const uint64_t id = FreshId(500000);
    relay.AddFile(id, std::string(20000, 'q'));
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    BoxAnswerer boxes;
    boxes.SetAnswer([](const CString&) { return L"CancelBtn"; });
    CString failed;
    failed.Format(L"Error : File Download Failed, file : %I64u, code = ", id);

    const CString name = Name(L"Broken", id);
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(id, name, 20000)));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == 1; }, 15000));
    EXPECT_NE(boxes.Texts()[0].Find(name), -1);
    EXPECT_EQ(LogCount(failed), 1u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(id, entry));
    EXPECT_EQ(entry.flag, 0);
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{id}));
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000));
}
