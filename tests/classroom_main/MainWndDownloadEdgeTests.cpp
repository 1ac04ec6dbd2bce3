// Room downloads at their edges: a stored document with a page image gone is fetched again, its
// progress and pages reaching the live document window; starts that fail come a second apart while the
// window goes on answering, end in the error box, whose Retry makes three more; a room list of refused
// names and thousands of files is taken in slices, asks about one refused name at a time and runs a
// few transfers at once; a transfer broken off midway is reported and offered again,
// and Escape on that box asks for nothing more, nor does Retry once the file has arrived while the box
// was open; the file list that comes again after a reconnection leaves a running download alone.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
#include "protocol/WireFormat.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "filetransfer/FileTransBase.h"
#include "classroom/DocWnd.h"
#include "tests/classroom_main/NoticeSpy.h"
#include "tests/classroom_main/SlidePackageBytes.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/support/TestFolders.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

using namespace fakeroom;

namespace {

CString Name(const wchar_t* stem, uint64_t id)
{
    CString name;
    name.Format(L"%s%I64u.lvl", stem, id);
    return name;
}

// One entry of the room's file list (826 reply): u64 id, u64 size, 16 id bytes, u32 uploader, the name.
fakeroom::Bytes ListEntry(uint64_t id, const CString& name, uint64_t size)
{
    uint8_t idBytes[16] = {};
    ByteWriter w;
    w.U64(id).U64(size).Bytes(idBytes, 16).U32(kOwnId).WireString(name);
    return w.Take();
}

// The visible message boxes of this process.
int OpenBoxes()
{
    int open = 0;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"__LVMessageBox__", L"LVMessageBox"); w;
         w = FindWindowExW(nullptr, w, L"__LVMessageBox__", L"LVMessageBox")) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(w)) ++open;
    }
    return open;
}

// Probes posted every 5 ms from a thread of its own to a window of the test's thread, which is the class
// window's thread: the times they were answered are the times that thread pumped its messages. The
// optional look runs at every answer, on that thread.
class ThreadProbe {
public:
    explicit ThreadProbe(std::function<void()> look = nullptr) : m_look(std::move(look))
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &ThreadProbe::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"LvThreadProbe";
        RegisterClassW(&wc);
        m_window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_poster = std::thread([this] {
            while (!m_stop) {
                PostMessageW(m_window, kProbe, 0, 0);
                Sleep(5);
            }
        });
    }
    ~ThreadProbe()
    {
        m_stop = true;
        m_poster.join();
        DestroyWindow(m_window);
    }
    ThreadProbe(const ThreadProbe&) = delete;
    ThreadProbe& operator=(const ThreadProbe&) = delete;

    const std::vector<DWORD>& Answers() const { return m_answers; }
    // The thread answered strictly between the two times.
    bool AnsweredBetween(DWORD after, DWORD before) const
    {
        return std::any_of(m_answers.begin(), m_answers.end(), [&](DWORD t) {
            return static_cast<LONG>(t - after) > 0 && static_cast<LONG>(before - t) > 0;
        });
    }

private:
    static const UINT kProbe = WM_APP + 0x3A;
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<ThreadProbe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message != kProbe || !self) return DefWindowProcW(window, message, wParam, lParam);
        self->m_answers.push_back(GetTickCount());
        if (self->m_look) self->m_look();
        return 0;
    }

    std::function<void()> m_look;
    HWND m_window = nullptr;
    std::vector<DWORD> m_answers;
    std::atomic<bool> m_stop{false};
    std::thread m_poster;
};

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

TEST(MainWndDownloadEdges, FailedStartsComeASecondApartWhileTheWindowAnswersAndRetryMakesThreeMore)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    const uint64_t id = FreshId(400000);
    // The relay takes every connection, but a folder stands where the data file goes: each start fails
    // after reaching the relay, so the relay sees every attempt.
    const CString folder = GetAppDataFolder() + L"DownloadFiles\\";
    CreateDirectoryW(folder, nullptr);
    CString blocker;
    blocker.Format(L"%s%I64u_tf", folder.GetString(), id);
    ASSERT_TRUE(CreateDirectoryW(blocker, nullptr));
    const CString name = Name(L"Blocked", id);
    CString failed;
    failed.Format(L"Error : Start Download File Failed, file : %s, file id = %d", name.GetString(), static_cast<int>(id));
    // Each box notes how many attempts had reached the relay when it came up.
    std::mutex lock;
    std::vector<size_t> attemptsAtBox;
    BoxAnswerer boxes;
    boxes.SetAnswer([&](const CString&) {
        std::lock_guard<std::mutex> hold(lock);
        attemptsAtBox.push_back(relay.AcceptTimes().size());
        return attemptsAtBox.size() == 1 ? L"RetryBtn" : L"CancelBtn";
    });
    ThreadProbe probe;

    ASSERT_TRUE(h.Push(eType_FileNotice, ListEntry(id, name, 10)));
    // Retry: three more attempts, then the same box again; Cancel ends it.
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() >= 2; }, 20000));
    Settle(300);
    ASSERT_EQ(boxes.Count(), 2u);
    {
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(attemptsAtBox, (std::vector<size_t>{3, 6}));
    }
    const std::vector<DWORD> accepted = relay.AcceptTimes();
    ASSERT_EQ(accepted.size(), 6u);
    for (size_t i : {0u, 1u, 3u, 4u}) {
        const DWORD gap = accepted[i + 1] - accepted[i];
        EXPECT_GE(gap, 990u) << "attempt " << i + 2;
        EXPECT_LE(gap, 1900u) << "attempt " << i + 2;
        // The second between them is the window's timer, not a sleep of its thread.
        EXPECT_TRUE(probe.AnsweredBetween(accepted[i], accepted[i + 1])) << "the window was held before attempt " << i + 2;
    }
    for (const CString& text : boxes.Texts()) EXPECT_NE(text.Find(name), -1);
    EXPECT_EQ(LogCount(failed), 2u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(id, entry));
    EXPECT_EQ(entry.flag, 0);
    RemoveDirectoryW(blocker);
}

TEST(MainWndDownloadEdges, ARoomListOfRefusedNamesAndThousandsOfFilesNeverHoldsTheWindow)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    RelayKnobs knobs;
    knobs.holdDownloads = true;
    relay.SetKnobs(knobs);
    // Names the transfer refuses to make a path of, then a good file, then a long tail of files.
    const std::vector<CString> refused = {L"", L".", L"con", L"../../x"};
    const size_t tail = 3000;
    const uint64_t base = FreshId(800000);
    const uint64_t goodId = base + refused.size();
    const size_t total = refused.size() + 1 + tail;
    fakeroom::Bytes list;
    for (size_t i = 0; i < total; ++i) {
        const uint64_t id = base + i;
        const CString name = i < refused.size() ? refused[i] : Name(id == goodId ? L"Good" : L"Tail", id);
        fakeroom::Bytes entry = ListEntry(id, name, 100);
        list.insert(list.end(), entry.begin(), entry.end());
        if (id >= goodId) relay.AddFile(id, std::string(100, 'f'));
    }
    std::vector<CString> refusedLines, failedLines;
    std::vector<size_t> refusedBefore;
    for (size_t i = 0; i < refused.size(); ++i) {
        refusedLines.push_back(L"refused file name \"" + refused[i] + L"\"");
        refusedBefore.push_back(LogCount(refusedLines.back()));
        CString failed;
        failed.Format(L"Start Download File Failed, file : %s, file id = %d", refused[i].GetString(),
                      static_cast<int>(base + i));
        failedLines.push_back(failed);
    }
    auto refusedSoFar = [&] {
        size_t n = 0;
        for (size_t i = 0; i < refused.size(); ++i) n += LogCount(refusedLines[i]) - refusedBefore[i];
        return n;
    };
    MainWndHarness h;
    std::vector<ServerNode> nodes = h.room.DefaultList();
    for (ServerNode& node : nodes)
        if (node.kind == eServer_File) node.port = relay.Port();
    h.room.gateway.SetServerList(nodes);
    h.room.reg.SetReply(eType_FileList, 1, list);
    // The user reads each box a while before Cancel: boxes that stack show here.
    std::atomic<int> mostBoxesOpen{0};
    BoxAnswerer boxes;
    boxes.SetAnswer([&](const CString&) {
        Sleep(200);
        mostBoxesOpen = std::max(mostBoxesOpen.load(), OpenBoxes());
        return L"CancelBtn";
    });
    // Between its slices of the list the window answers, with part of the list taken, and never more
    // than a few transfers run.
    bool answeredMidList = false;
    size_t mostRunning = 0;
    ThreadProbe probe([&] {
        if (!h.main) return;
        const size_t listed = h.main->GetDocumentCount();
        answeredMidList = answeredMidList || (listed > 0 && listed < total);
        mostRunning = std::max(mostRunning, h.main->GetDownloadCount());
    });

    ASSERT_TRUE(h.StartAndJoin());
    auto requested = [&] {
        std::vector<uint64_t> ids = relay.DownloadRequestIds();
        std::sort(ids.begin(), ids.end());
        return ids;
    };
    ASSERT_TRUE(PumpUntil([&] {
        std::vector<uint64_t> ids = requested();
        return std::find(ids.begin(), ids.end(), goodId) != ids.end();
    }, 10000));
    // The good file went out before the refused names' later attempts were made.
    EXPECT_LT(refusedSoFar(), 3 * refused.size());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocumentCount() == total; }, 20000));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == refused.size(); }, 20000));
    Settle(500);
    EXPECT_TRUE(answeredMidList) << "the whole list was taken without the window answering";
    EXPECT_EQ(boxes.Count(), refused.size());
    EXPECT_EQ(mostBoxesOpen.load(), 1);
    for (size_t i = 0; i < refused.size(); ++i) {
        EXPECT_EQ(LogCount(refusedLines[i]) - refusedBefore[i], 3u) << Wide(refused[i]);
        EXPECT_EQ(LogCount(failedLines[i]), 1u) << Wide(refused[i]);
    }
    // The good file and the first of the tail run; the rest wait their turn.
    EXPECT_EQ(mostRunning, kMaxRunningDownloads);
    EXPECT_EQ(h.main->GetDownloadCount(), kMaxRunningDownloads);
    EXPECT_EQ(requested(), (std::vector<uint64_t>{goodId, goodId + 1, goodId + 2, goodId + 3}));
}

TEST(MainWndDownloadEdges, ATransferBrokenOffMidwayIsReportedAndEscapeOnItsBoxRetriesNothing)
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
    // The user presses Escape on the first box; any later box (a retry that should not be) is cancelled.
    std::atomic<bool> done{false};
    std::mutex lock;
    std::vector<CString> texts;
    Helper user([&] {
        HWND last = nullptr;
        while (!done) {
            HWND box = WaitForBox(100, last);
            if (!box) continue;
            CPaintManagerUI* pm = ManagerOf(box);
            CControlUI* text = pm ? pm->FindControl(L"MessageText") : nullptr;
            bool first;
            {
                std::lock_guard<std::mutex> hold(lock);
                texts.push_back(text ? CString(text->GetText().GetData()) : CString());
                first = texts.size() == 1;
            }
            if (first) PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);
            else ClickControl(box, L"CancelBtn");
            last = box;
        }
    });
    auto boxCount = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return texts.size();
    };
    CString failed;
    failed.Format(L"Error : File Download Failed, file : %I64u, code = ", id);

    const CString name = Name(L"Broken", id);
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(id, name, 20000)));
    ASSERT_TRUE(PumpUntil([&] { return boxCount() == 1; }, 15000));
    // A retry would reach the relay and fail again within this time.
    Settle(2500);
    done = true;
    EXPECT_EQ(boxCount(), 1u);
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{id})) << "Escape started the download again";
    EXPECT_EQ(LogCount(failed), 1u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    FileItemRecord entry;
    ASSERT_TRUE(h.main->GetDocument(id, entry));
    EXPECT_EQ(entry.flag, 0);
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000));
}

TEST(MainWndDownloadEdges, RetryOnTheBoxFetchesNothingWhenTheFileArrivedWhileItWasOpen)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    RelayKnobs knobs;
    knobs.closeAfterBytes = 1000;
    relay.SetKnobs(knobs);
    const uint64_t id = FreshId(700000);
    const std::string package = Package("Arrived", 2);
    ASSERT_GT(package.size(), 1000u);
    relay.AddFile(id, package);
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext::Instance()->fileServer = Node(20, eServer_File, relay.Port());
    const CString name = Name(L"Arrived", id);
    // While the teacher reads the box, the room announces the file again and it arrives whole; only
    // then does the teacher press Retry.
    std::atomic<bool> arrived{false};
    std::atomic<int> answered{0};
    BoxAnswerer boxes;
    boxes.SetAnswer([&](const CString&) {
        if (++answered > 1) return L"CancelBtn";
        relay.SetKnobs(RelayKnobs());
        PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(id, name, package.size())));
        FileItemRecord entry;
        for (int i = 0; i < 300 && !arrived; ++i) {
            arrived = h.main->GetDocument(id, entry) && entry.flag == 1;
            if (!arrived) Sleep(50);
        }
        return L"RetryBtn";
    });
    PostMessageW(h.window, WM_USER_FILE_NOTICE, 0, reinterpret_cast<LPARAM>(Notice(id, name, package.size())));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Count() == 1; }, 15000));
    ASSERT_TRUE(PumpUntil([&] { return arrived.load(); }, 20000));
    // A second download would reach the relay within this time.
    Settle(1500);
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{id, id})) << "Retry fetched the file a third time";
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    ParamList saved;
    ASSERT_TRUE(CSqliteMgr::GetInstance()->GetPPTInfo(saved, id));
    EXPECT_EQ(saved.pageCount, 2);
    EXPECT_TRUE(AllExist(saved));
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000));
}

TEST(MainWndDownloadEdges, TheFileListAgainAfterAReconnectionLeavesARunningDownloadAlone)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    RelayKnobs knobs;
    knobs.holdDownloads = true;
    relay.SetKnobs(knobs);
    const uint64_t heldId = FreshId(600000), newId = heldId + 60000;
    const std::string heldPackage = Package("Held", 2), newPackage = Package("New", 1);
    relay.AddFile(heldId, heldPackage);
    relay.AddFile(newId, newPackage);
    // "Lesson 1..pptx": dots inside a name are no way out of the folder.
    CString heldName;
    heldName.Format(L"Lesson %I64u..lvl", heldId);
    MainWndHarness h;
    // The file server the gateway names is the relay, at the first join and after the reconnection.
    std::vector<ServerNode> nodes = h.room.DefaultList();
    for (ServerNode& node : nodes)
        if (node.kind == eServer_File) node.port = relay.Port();
    h.room.gateway.SetServerList(nodes);
    h.room.reg.SetReply(eType_FileList, 1, ListEntry(heldId, heldName, heldPackage.size()));
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(PumpUntil([&] { return relay.DownloadRequestIds().size() == 1; }, 10000));
    EXPECT_EQ(h.main->GetDownloadCount(), 1u);

    // The connection drops while the file is still arriving; the room lists it again, with a new one
    // behind it, so the list's arrival shows.
    fakeroom::Bytes both = ListEntry(heldId, heldName, heldPackage.size());
    fakeroom::Bytes second = ListEntry(newId, Name(L"New", newId), newPackage.size());
    both.insert(both.end(), second.begin(), second.end());
    h.room.reg.SetReply(eType_FileList, 1, both);
    h.room.reg.Drop();
    ASSERT_TRUE(h.WaitForOutput(L"Reconnection server successfully!", 20000));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetDocumentCount() == 2; }, 10000));
    ASSERT_TRUE(PumpUntil([&] { return relay.DownloadRequestIds().size() >= 2; }, 10000));
    Settle();
    EXPECT_EQ(relay.DownloadRequestIds(), (std::vector<uint64_t>{heldId, newId}));
    EXPECT_EQ(h.main->GetDownloadCount(), 2u);

    // Both arrive whole, each once, and nothing of the transfer is left beside them.
    relay.ReleaseDownloads();
    FileItemRecord entry;
    ASSERT_TRUE(PumpUntil([&] {
        FileItemRecord other;
        return h.main->GetDocument(heldId, entry) && entry.flag == 1 && h.main->GetDocument(newId, other) &&
               other.flag == 1;
    }, 20000));
    EXPECT_EQ(entry.pages.pageCount, 2);
    EXPECT_TRUE(AllExist(entry.pages));
    EXPECT_EQ(h.main->GetDownloadCount(), 0u);
    CString folder = GetAppDataFolder() + L"DownloadFiles\\";
    CString stem;
    stem.Format(L"%I64u", heldId);
    EXPECT_EQ(ReadFileBytes(folder + stem), heldPackage);
    EXPECT_FALSE(FileExists(folder + stem + L"_tf"));
    EXPECT_FALSE(FileExists(folder + stem + L"_pf"));
    EXPECT_EQ(relay.DownloadRequestIds().size(), 2u);
    ASSERT_TRUE(PumpUntil([] { return CxFileTransBase::OutstandingRecords() == 0; }, 3000))
        << CxFileTransBase::OutstandingRecords();
}
