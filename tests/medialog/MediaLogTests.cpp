#include "media/common/MediaLog.h"

#include "core/Folders.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kBanner[] = "--Sonarel buildtime = 10:20:30: Dec  9 2026\r\n";

bool OpenSonarel(MediaLog& log, const TempFolder& folder)
{
    return log.Open(folder.Path(), L"Sonarel.log", "Sonarel", "10:20:30", "Dec  9 2026");
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

} // namespace

TEST(MediaLog, FreshFileStartsWithTheBuildLineAndTakesLinesAsFormatted)
{
    TempFolder folder;
    MediaLog log;
    ASSERT_TRUE(OpenSonarel(log, folder));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(folder.File(L"Sonarel.log"), log.Path());
    log.Write("Err: createcapture8 hr = %lx\r\n", static_cast<long>(0x88780078));
    log.Write("Info: %s = %d", "count", -3); // no line end: the text carries its own
    log.Write("\r\n");
    log.Close();
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(std::string(kBanner) + "Err: createcapture8 hr = 88780078\r\nInfo: count = -3\r\n",
              ReadFileBytes(folder.File(L"Sonarel.log")));
}

TEST(MediaLog, CreatesMissingFoldersAndFailsCleanlyWhereNoFileCanBe)
{
    TempFolder folder;
    MediaLog log;
    CString deep = folder.Path() + L"a\\b\\c";
    ASSERT_TRUE(log.Open(deep, L"Vidlatch.log", "Vidlatch", "t", "d"));
    log.Close();
    EXPECT_EQ("--Vidlatch buildtime = t: d\r\n", ReadFileBytes(deep + L"\\Vidlatch.log"));

    // A file stands where the folder should be: the open fails and writing is a no-op.
    ASSERT_TRUE(WriteFileBytes(folder.File(L"blocker"), "x"));
    MediaLog blocked;
    EXPECT_FALSE(blocked.Open(folder.File(L"blocker"), L"Sonarel.log", "Sonarel", "t", "d"));
    EXPECT_FALSE(blocked.IsOpen());
    blocked.Write("Err: lost %d\r\n", 1);
    EXPECT_EQ("x", ReadFileBytes(folder.File(L"blocker")));
}

TEST(MediaLog, KeepsUpTo2048BytesOfEarlierRunsAndReplacesLargerFiles)
{
    TempFolder folder;
    const std::string kept(2048, 'k');
    const std::string dropped(2049, 'd');
    struct Case { std::string before; std::string after; } cases[] = {
        {"", kBanner},
        {"old\r\n", "old\r\n" + std::string(kBanner)},
        {kept, kept + kBanner},
        {dropped, kBanner},
    };
    for (const Case& c : cases) {
        if (!c.before.empty()) ASSERT_TRUE(WriteFileBytes(folder.File(L"Sonarel.log"), c.before));
        else DeleteFileW(folder.File(L"Sonarel.log"));
        MediaLog log;
        ASSERT_TRUE(OpenSonarel(log, folder));
        log.Close();
        EXPECT_EQ(c.after, ReadFileBytes(folder.File(L"Sonarel.log"))) << "before: " << c.before.size() << " bytes";
    }
}

TEST(MediaLog, LinesAreCutAt1023BytesAndNothingIsWrittenWhileClosed)
{
    TempFolder folder;
    MediaLog log;
    log.Write("Err: before open\r\n");
    ASSERT_TRUE(OpenSonarel(log, folder));
    const std::string longText(3000, 'x');
    log.Write("Warn: %s\r\n", longText.c_str());
    log.Write("%s", std::string(1023, 'y').c_str()); // exactly fits
    log.Close();
    log.Write("Err: after close\r\n");
    std::string expected = kBanner + ("Warn: " + longText).substr(0, 1023) + std::string(1023, 'y');
    EXPECT_EQ(expected, ReadFileBytes(folder.File(L"Sonarel.log")));
}

TEST(MediaLog, ReopeningClosesTheFirstFileAndOtherReadersSeeLinesAtOnce)
{
    TempFolder folder;
    MediaLog log;
    ASSERT_TRUE(OpenSonarel(log, folder));
    log.Write("Info: one\r\n");
    // Unbuffered: a reader sees the line while the library still holds the file.
    EXPECT_EQ(std::string(kBanner) + "Info: one\r\n", ReadFileBytes(folder.File(L"Sonarel.log")));
    ASSERT_TRUE(log.Open(folder.Path(), L"Other.log", "Other", "t", "d"));
    log.Write("Info: two\r\n");
    log.Close();
    EXPECT_EQ(std::string(kBanner) + "Info: one\r\n", ReadFileBytes(folder.File(L"Sonarel.log")));
    EXPECT_EQ("--Other buildtime = t: d\r\nInfo: two\r\n", ReadFileBytes(folder.File(L"Other.log")));
}

namespace {

struct WriterArgs {
    MediaLog* log;
    int thread;
    int lines;
};

DWORD WINAPI WriterThread(void* param)
{
    auto* args = static_cast<WriterArgs*>(param);
    for (int i = 0; i < args->lines; ++i)
        args->log->Write("Info: thread %d line %d %s\r\n", args->thread, i, "padding-padding-padding-padding");
    return 0;
}

} // namespace

TEST(MediaLog, LinesOfConcurrentWritersNeverMix)
{
    TempFolder folder;
    MediaLog log;
    ASSERT_TRUE(OpenSonarel(log, folder));
    const int kThreads = 6, kLines = 300;
    WriterArgs args[kThreads];
    HANDLE threads[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        args[t] = {&log, t, kLines};
        threads[t] = CreateThread(nullptr, 0, WriterThread, &args[t], 0, nullptr);
        ASSERT_NE(nullptr, threads[t]);
    }
    ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kThreads, threads, TRUE, 30000));
    for (HANDLE h : threads) CloseHandle(h);
    log.Close();

    std::vector<std::string> lines = SplitLines(ReadFileBytes(folder.File(L"Sonarel.log")));
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines + 1), lines.size());
    std::set<std::string> seen(lines.begin() + 1, lines.end());
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kLines; ++i) {
            std::ostringstream line;
            line << "Info: thread " << t << " line " << i << " padding-padding-padding-padding";
            EXPECT_EQ(1u, seen.count(line.str())) << line.str();
        }
}

TEST(MediaLog, FolderIsLogInTheDataFolderAndGuidsReadAsRegistryText)
{
    EXPECT_EQ(GetAppDataFolder() + L"log\\", MediaLogFolder());
    const GUID guid = {0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    char text[40];
    EXPECT_STREQ("{0123ABCD-4567-89EF-0123-456789ABCDEF}", GuidToRegistryText(guid, text));
    EXPECT_STREQ("{00000000-0000-0000-0000-000000000000}", GuidToRegistryText(GUID(), text));
}
