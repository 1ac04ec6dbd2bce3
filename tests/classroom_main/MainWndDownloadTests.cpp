// The room's documents: an entry per file id, no download for pages already unpacked here, a download
// through the file relay for the others.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "filetransfer/FileTransBase.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/support/TestFolders.h"

using namespace fakeroom;

TEST(MainWndDownloads, StoredPagesStartNothingAndOthersAreFetchedFromTheRelay)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    relay.AddFile(901, std::string(3000, 'p'));
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext* session = SessionContext::Instance();
    session->fileServer = Node(20, eServer_File, relay.Port());

    // Document 900 is unpacked already: two page images on disk, its pages in the database.
    TempFolder pages(L"pages");
    ParamList stored;
    stored.pageCount = 2;
    stored.currentPage = 1;
    for (const wchar_t* name : {L"1.jpg", L"2.jpg"}) {
        ASSERT_TRUE(WriteFileBytes(pages.File(name), "jpeg"));
        stored.values.push_back(pages.File(name));
    }
    ASSERT_TRUE(CSqliteMgr::GetInstance()->SavePPTInfo(stored, 900, kRoomId, L""));
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(900, L"stored.lvl", 4)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocumentCount() == 1; }, 3000));
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(900, entry));
    EXPECT_EQ(entry.flag, 1);
    EXPECT_EQ(entry.pages.pageCount, 2);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);

    // A second notice for the same id adds no entry; an unknown document is requested from the relay.
    auto* list = new FileNoticeList{Notice(900, L"stored.lvl", 4), Notice(901, L"new.lvl", 3000)};
    PostMessageW(h.window, WM_USER_FILE_LIST, 0, reinterpret_cast<LPARAM>(list));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocumentCount() == 2; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return !relay.DownloadRequestIds().empty(); }, 5000));
    EXPECT_EQ(relay.DownloadRequestIds()[0], 901u);
    // The file arrives; it is no slide package, so the entry stays not downloaded and the session goes.
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDownloadCount() == 0; }, 10000));
    ASSERT_TRUE(h.main->GetDocument(901, entry));
    EXPECT_EQ(entry.flag, 0);
    EXPECT_EQ(entry.text1, GetAppDataFolder() + L"DownloadFiles\\");
    // Every progress and result record went back to the transfer side.
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000))
        << CxFileTransBase::OutstandingRecords();
}
