// The conversion manager against the stand-in PowerPoint: detection, the calls it makes, progress records
// for every listener, the failure codes, and stopping mid-export.
#include "core/Folders.h"
#include "slides/PPTMgr.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/slides/FakePowerPointInstall.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Progress {
    float progress;
    int status;
    int result;
};

// Pumps until a final record (converted or failed) arrives; answers every record received, in order.
std::vector<Progress> WaitForEnd(MessageSink& sink, DWORD timeoutMs = 15000)
{
    auto finished = [&] {
        for (const PostedMessage& m : sink.Received(WM_USER_CONVERT_PROGRESS)) {
            auto* record = reinterpret_cast<ConvertProgress*>(m.lParam);
            if (record->status != eConvertStatus_Converting) return true;
        }
        return false;
    };
    PumpUntil(finished, timeoutMs);
    std::vector<Progress> records;
    for (const PostedMessage& m : sink.Received(WM_USER_CONVERT_PROGRESS)) {
        auto* record = reinterpret_cast<ConvertProgress*>(m.lParam);
        records.push_back({record->progress, record->status, record->result});
    }
    return records;
}

std::vector<float> Percents(const std::vector<Progress>& records)
{
    std::vector<float> percents;
    for (const Progress& p : records) percents.push_back(p.progress);
    return percents;
}

std::vector<std::wstring> Lines(const CString& text)
{
    std::vector<std::wstring> lines;
    std::wstring all = text.str();
    size_t start = 0;
    for (size_t end; (end = all.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

size_t CountLinesStartingWith(const CString& journal, const wchar_t* prefix)
{
    size_t n = 0;
    for (const std::wstring& line : Lines(journal)) n += line.rfind(prefix, 0) == 0;
    return n;
}

// Stops the conversion and answers how long that took; thread keeps the worker to look at its end.
DWORD StopKeepingThread(CPPTMgr& manager, HANDLE* thread)
{
    EXPECT_TRUE(DuplicateHandle(GetCurrentProcess(), manager.GetThreadHandle(), GetCurrentProcess(), thread, 0,
                                FALSE, DUPLICATE_SAME_ACCESS));
    const DWORD started = GetTickCount();
    manager.StopConvert();
    return GetTickCount() - started;
}

// The exit code of a thread that must have ended; the handle is closed.
DWORD EndedThreadExitCode(HANDLE thread)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
    DWORD exitCode = 1234;
    EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
    CloseHandle(thread);
    return exitCode;
}

bool FolderExists(const CString& path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class ConvertTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_sink.FreeAs<ConvertProgress>(WM_USER_CONVERT_PROGRESS);
    }

    // Runs one conversion to its end and answers the records it posted.
    std::vector<Progress> Run(CPPTMgr& manager, const CString& source)
    {
        m_sink.FreeAll(); // only this conversion's records count
        manager.AddListener(m_sink.Handle(), WM_USER_CONVERT_PROGRESS);
        EXPECT_TRUE(manager.StartConvert(source, m_out.Path()));
        std::vector<Progress> records = WaitForEnd(m_sink);
        EXPECT_TRUE(manager.Join(5000));
        return records;
    }

    // A conversion expected to fail with code: one final record {0 %, failed, code} at the end.
    void ExpectFailure(const char* description, int code, const std::vector<float>& before)
    {
        FakePowerPointInstall office;
        ASSERT_TRUE(office.Ready());
        CPPTMgr manager;
        std::vector<Progress> records = Run(manager, WritePresentation(m_out, L"deck.pptx", description));
        ASSERT_FALSE(records.empty());
        std::vector<float> expected = before;
        expected.push_back(0.0f);
        EXPECT_EQ(expected, Percents(records));
        EXPECT_EQ(eConvertStatus_Failed, records.back().status);
        EXPECT_EQ(code, records.back().result);
        EXPECT_EQ(code, manager.GetResult());
        EXPECT_FALSE(FileExists(manager.GetConversionPackagePath()));
        EXPECT_EQ(0, office.LiveObjects()) << "every dispatch pointer released";
        m_journal = office.Journal();
    }

    TempFolder m_out{L"out"};
    MessageSink m_sink;
    CString m_journal;
};

} // namespace

TEST_F(ConvertTest, WithoutPowerPointTheConversionEndsWithMinusTwo)
{
    FakePowerPointInstall::RemoveRegistration();
    EXPECT_FALSE(CPPTMgr::IsPowerPointInstalled());
    CPPTMgr manager;
    std::vector<Progress> records = Run(manager, WritePresentation(m_out, L"deck.ppt", "slides=3\n"));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(eConvertStatus_Failed, records[0].status);
    EXPECT_EQ(eConvert_NoPowerPoint, records[0].result);
    EXPECT_EQ(0.0f, records[0].progress);

    // The class alone is not enough: detection wants "MSPPT.OLB" under an Office install root.
    FakePowerPointInstall::Parts noTypeLibrary;
    noTypeLibrary.typeLibraryFile = false;
    FakePowerPointInstall office(noTypeLibrary);
    ASSERT_TRUE(office.Ready());
    EXPECT_FALSE(CPPTMgr::IsPowerPointInstalled());
    CPPTMgr second;
    records = Run(second, WritePresentation(m_out, L"deck.ppt", "slides=3\n"));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(eConvert_NoPowerPoint, records.back().result);
    EXPECT_EQ(L"", office.Journal()) << "the application is never created";
}

TEST_F(ConvertTest, TenSlidesPostTheProgressSequenceAndPackTheFittedExports)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    ASSERT_TRUE(CPPTMgr::IsPowerPointInstalled());
    // 960 x 540 points are 1280 x 720 pixels: exported fitted to 960 x 540.
    CString source = WritePresentation(m_out, L"Lesson 1.pptx", "slides=10\nwidth=960\nheight=540\n");
    CPPTMgr manager;
    std::vector<Progress> records = Run(manager, source);

    const std::vector<float> expected = {30, 50, 70, 70, 70, 70, 70, 70, 80, 80, 90};
    EXPECT_EQ(expected, Percents(records));
    ASSERT_EQ(expected.size(), records.size());
    for (size_t i = 0; i + 1 < records.size(); ++i) {
        EXPECT_EQ(eConvertStatus_Converting, records[i].status) << i;
        EXPECT_EQ(0, records[i].result) << i;
    }
    EXPECT_EQ(eConvertStatus_Converted, records.back().status);
    EXPECT_EQ(0, records.back().result);
    EXPECT_EQ(10, manager.GetPageCount());
    EXPECT_EQ(L"Lesson 1", manager.GetBaseName());

    // The calls, with their arguments as the converter sends them.
    const CString slideFolder = manager.GetSlideFolder();
    EXPECT_EQ(m_out.Path() + manager.GetJobName() + L"_C", slideFolder);
    std::vector<std::wstring> lines = Lines(office.Journal());
    ASSERT_EQ(15u, lines.size());
    EXPECT_EQ(L"Create", lines[0]);
    EXPECT_EQ(L"Open " + source.str() + L" -1 0 0", lines[1]);
    EXPECT_EQ(L"Count", lines[2]);
    for (int page = 1; page <= 10; ++page)
        EXPECT_EQ(L"Export " + std::to_wstring(page) + L" " + slideFolder.str() + L"\\" + std::to_wstring(page) +
                      L".jpg .jpg 960 540",
                  lines[2 + page]);
    EXPECT_EQ(L"Close", lines[13]);
    EXPECT_EQ(L"Quit", lines[14]);
    EXPECT_EQ(0, office.LiveObjects());

    // The job name is a braced lower-case GUID; the slide images and their folder are gone once packed.
    const CString job = manager.GetJobName();
    ASSERT_EQ(38, job.GetLength());
    EXPECT_EQ(L'{', job[0]);
    EXPECT_EQ(job, CString(job).MakeLower());
    EXPECT_FALSE(FolderExists(slideFolder));
    const CString package = manager.GetPackagePath();
    EXPECT_EQ(m_out.Path() + job, package);

    std::string bytes = ReadFileBytes(package);
    ASSERT_GT(bytes.size(), 14u);
    EXPECT_EQ(std::string("\x0e\x00\x00\x00\x0a\x00Lesson 1", 14), bytes.substr(0, 14));

    CPPTMgr reader;
    ParamList pages;
    ASSERT_EQ(0, reader.ParsePackage(&pages, package, CString()));
    ASSERT_EQ(10u, pages.values.size());
    for (int page = 1; page <= 10; ++page) {
        int w = 0, h = 0, number = 0;
        ASSERT_TRUE(ReadSlideJpeg(pages.values[page - 1], &w, &h, &number));
        EXPECT_EQ(960, w);
        EXPECT_EQ(540, h);
        EXPECT_EQ(page, number);
    }
}

TEST_F(ConvertTest, EveryFailureEndsWithItsCodeAndWhatWasOpenedIsClosed)
{
    ExpectFailure("throwOnOpen=1\n", eConvert_ComException, {30});
    EXPECT_EQ(0u, CountLinesStartingWith(m_journal, L"Close")) << "nothing was opened";
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Quit"));

    ExpectFailure("slides=4\nwidth=0\nheight=540\n", eConvert_ZeroSize, {30});
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Close"));
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Quit"));

    ExpectFailure("slides=0\n", eConvert_NoSlides, {30});
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Close"));

    ExpectFailure("slides=6\nthrowOnExport=3\n", eConvert_ComException, {30, 50});
    EXPECT_EQ(3u, CountLinesStartingWith(m_journal, L"Export"));
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Close"));
    EXPECT_EQ(1u, CountLinesStartingWith(m_journal, L"Quit"));

    // A source the server cannot find is its exception too.
    {
        FakePowerPointInstall office;
        CPPTMgr manager;
        std::vector<Progress> records = Run(manager, m_out.File(L"absent.pptx"));
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(eConvert_ComException, records.back().result);
    }

    // An application that cannot be created, or a ProgID that points at no server at all.
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    office.FailCreate(true);
    CPPTMgr manager;
    std::vector<Progress> records = Run(manager, WritePresentation(m_out, L"deck.ppt", "slides=2\n"));
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(eConvert_CreateFailed, records[0].result);
    EXPECT_EQ(L"CreateRefused\n", office.Journal());
    FakePowerPointInstall::Parts onlyRoot;
    onlyRoot.registerClass = false;
    FakePowerPointInstall rootOnly(onlyRoot);
    CPPTMgr second;
    records = Run(second, WritePresentation(m_out, L"deck.ppt", "slides=2\n"));
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(eConvert_CreateFailed, records.back().result);
}

TEST_F(ConvertTest, StartRefusesEmptySourcesRunningWorkersAndMissingFolders)
{
    CPPTMgr manager;
    manager.AddListener(m_sink.Handle(), WM_USER_CONVERT_PROGRESS);
    EXPECT_FALSE(manager.StartConvert(CString(), m_out.Path()));
    EXPECT_EQ(nullptr, manager.GetThreadHandle());

    // The slide folder cannot be made: failed with -8, and no worker.
    EXPECT_FALSE(manager.StartConvert(m_out.File(L"a.ppt"), m_out.File(L"no\\such\\folder\\")));
    EXPECT_EQ(nullptr, manager.GetThreadHandle());
    // That record is posted on this thread: a null listener must not put it on a queue nobody reads.
    CPPTMgr unheard;
    unheard.AddListener(nullptr, WM_USER_CONVERT_PROGRESS);
    EXPECT_FALSE(unheard.StartConvert(m_out.File(L"a.ppt"), m_out.File(L"no\\such\\folder\\")));
    MSG msg;
    const bool queued = PeekMessageW(&msg, reinterpret_cast<HWND>(-1), WM_USER_CONVERT_PROGRESS,
                                     WM_USER_CONVERT_PROGRESS, PM_REMOVE) != FALSE;
    if (queued) delete reinterpret_cast<ConvertProgress*>(msg.lParam);
    EXPECT_FALSE(queued);
    ASSERT_TRUE(m_sink.WaitFor(WM_USER_CONVERT_PROGRESS, 1));
    auto* record = reinterpret_cast<ConvertProgress*>(m_sink.Received(WM_USER_CONVERT_PROGRESS)[0].lParam);
    EXPECT_EQ(eConvertStatus_Failed, record->status);
    EXPECT_EQ(eConvert_FileNotOpened, record->result);

    // A second start while a conversion runs changes nothing.
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    CPPTMgr running;
    ASSERT_TRUE(running.StartConvert(WritePresentation(m_out, L"slow.ppt", "slides=4\nexportDelayMs=150\n"),
                                     m_out.Path()));
    const CString job = running.GetJobName();
    const HANDLE thread = running.GetThreadHandle();
    EXPECT_FALSE(running.StartConvert(m_out.File(L"other.ppt"), m_out.Path()));
    EXPECT_EQ(job, running.GetJobName());
    EXPECT_EQ(thread, running.GetThreadHandle());
    ASSERT_TRUE(running.Join(10000));
    EXPECT_EQ(eConvertStatus_Converted, running.GetStatus());

    // A finished worker is replaced, and the done event starts unsignalled again.
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(running.GetDoneEvent(), 0));
    ASSERT_TRUE(running.StartConvert(WritePresentation(m_out, L"slow2.ppt", "slides=2\nexportDelayMs=300\n"),
                                     m_out.Path()));
    EXPECT_NE(job, running.GetJobName());
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(running.GetDoneEvent(), 0));
    ASSERT_TRUE(running.Join(10000));
    EXPECT_EQ(eConvertStatus_Converted, running.GetStatus());
    EXPECT_TRUE(FileExists(running.GetPackagePath()));
}

TEST_F(ConvertTest, EveryListenerGetsItsOwnRecordsAndEachIsFreed)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    MessageSink second;
    second.FreeAs<ConvertProgress>(WM_USER_CONVERT_PROGRESS);
    CPPTMgr manager;
    manager.AddListener(m_sink.Handle(), WM_USER_CONVERT_PROGRESS);
    manager.AddListener(second.Handle(), WM_USER_CONVERT_PROGRESS);
    manager.AddListener(m_sink.Handle(), WM_USER_CONVERT_PROGRESS); // listed once only
    ASSERT_TRUE(manager.StartConvert(WritePresentation(m_out, L"two.ppt", "slides=2\n"), m_out.Path()));
    std::vector<Progress> records = WaitForEnd(m_sink);
    ASSERT_TRUE(manager.Join(5000));
    second.PumpFor(100);
    const std::vector<float> expected = {30, 50, 70, 70, 80, 80, 90};
    EXPECT_EQ(expected, Percents(records));
    ASSERT_EQ(expected.size(), second.Count(WM_USER_CONVERT_PROGRESS));
    std::vector<PostedMessage> mine = m_sink.Received(WM_USER_CONVERT_PROGRESS);
    std::vector<PostedMessage> theirs = second.Received(WM_USER_CONVERT_PROGRESS);
    for (size_t i = 0; i < mine.size(); ++i) {
        EXPECT_NE(mine[i].lParam, theirs[i].lParam) << "one record per listener";
        EXPECT_EQ(0u, mine[i].wParam);
    }
    EXPECT_EQ(expected.size(), m_sink.FreeAll());
    EXPECT_EQ(expected.size(), second.FreeAll());
}

TEST_F(ConvertTest, AStopMidExportEndsWithMinusElevenAndTheThreadGone)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    CPPTMgr manager;
    manager.AddListener(m_sink.Handle(), WM_USER_CONVERT_PROGRESS);
    ASSERT_TRUE(manager.StartConvert(WritePresentation(m_out, L"long.ppt", "slides=40\nexportDelayMs=100\n"),
                                     m_out.Path()));
    ASSERT_TRUE(PumpUntil([&] { return CountLinesStartingWith(office.Journal(), L"Export") >= 3; }, 10000));
    const CString slideFolder = manager.GetSlideFolder();
    HANDLE thread = nullptr;
    const DWORD took = StopKeepingThread(manager, &thread);

    EXPECT_LT(took, 3000u) << "the worker noticed the stop between slides";
    EXPECT_EQ(eConvert_Stopped, manager.GetResult());
    EXPECT_EQ(eConvertStatus_Failed, manager.GetStatus());
    EXPECT_FALSE(manager.IsConverting());
    EXPECT_EQ(nullptr, manager.GetThreadHandle());
    EXPECT_EQ(0u, EndedThreadExitCode(thread)) << "ended by itself, not by force";

    EXPECT_FALSE(FolderExists(slideFolder)) << "exported images deleted";
    EXPECT_FALSE(FileExists(manager.GetConversionPackagePath()));
    const CString journal = office.Journal();
    EXPECT_LT(CountLinesStartingWith(journal, L"Export"), 40u);
    EXPECT_EQ(1u, CountLinesStartingWith(journal, L"Close"));
    EXPECT_EQ(1u, CountLinesStartingWith(journal, L"Quit"));
    EXPECT_EQ(0, office.LiveObjects());
    // Nothing is posted once the flag is cleared.
    m_sink.PumpFor(100);
    for (const PostedMessage& m : m_sink.Received(WM_USER_CONVERT_PROGRESS))
        EXPECT_EQ(eConvertStatus_Converting, reinterpret_cast<ConvertProgress*>(m.lParam)->status);
}

TEST_F(ConvertTest, AStuckExportIsEndedByForceAfterTheBoundedWait)
{
    FakePowerPointInstall office;
    ASSERT_TRUE(office.Ready());
    CPPTMgr manager;
    ASSERT_TRUE(manager.StartConvert(WritePresentation(m_out, L"stuck.ppt", "slides=2\nexportDelayMs=8000\n"),
                                     m_out.Path()));
    ASSERT_TRUE(PumpUntil([&] { return CountLinesStartingWith(office.Journal(), L"Export") >= 1; }, 10000));
    HANDLE thread = nullptr;
    const DWORD took = StopKeepingThread(manager, &thread);
    EXPECT_GE(took, 4000u);
    EXPECT_LT(took, 15000u);
    EXPECT_EQ(nullptr, manager.GetThreadHandle());
    EXPECT_EQ(1u, EndedThreadExitCode(thread));
}
