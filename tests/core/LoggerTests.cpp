#include "core/Folders.h"
#include "core/Logger.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <regex>
#include <thread>
#include <vector>

namespace {
struct LogFile : testing::Test {
    TempFolder folder{L"log"};
    CString path = folder.File(L"log.txt");
    CString backup = folder.File(L"log_bak.txt");
};
} // namespace

TEST_F(LogFile, LineFormatIsTimeThenUtf8ThenCrLf)
{
    {
        Logger log(path);
        ASSERT_TRUE(log.IsOpen());
        log.Write(L"Infor : %s=%d %S", L"\u4e2d", 5, "narrow");
        log.WriteLine(L"second");
    }
    { Logger log(path); log.WriteLine(L"appended"); } // a second open appends
    std::string bytes = ReadFileBytes(path);
    std::regex line(R"(\d\d/\d\d \d\d:\d\d:\d\d : Infor : \xE4\xB8\xAD=5 narrow\r\n)"
                    R"(\d\d/\d\d \d\d:\d\d:\d\d : second\r\n\d\d/\d\d \d\d:\d\d:\d\d : appended\r\n)");
    EXPECT_TRUE(std::regex_match(bytes, line)) << bytes;
    EXPECT_NE(0, bytes.compare(0, 3, "\xEF\xBB\xBF")); // no byte-order mark
}

namespace {
// Copies as Windows' CopyFileW does: the source opened for reading, write access not shared, so a
// source that anyone still holds open for writing cannot be copied. Wine's own copy shares writing.
bool CopyAsWindows(const wchar_t* from, const wchar_t* to)
{
    HANDLE source = CreateFileW(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (source == INVALID_HANDLE_VALUE) return false;
    std::string bytes(static_cast<size_t>(GetFileSize(source, nullptr)), '\0');
    DWORD read = 0;
    const bool whole = ReadFile(source, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                       read == bytes.size();
    CloseHandle(source);
    return whole && WriteFileBytes(to, bytes);
}

bool RefuseToCopy(const wchar_t*, const wchar_t*)
{
    SetLastError(ERROR_DISK_FULL);
    return false;
}
} // namespace

TEST_F(LogFile, RotatesAboveTheLimitOnlyAndKeepsALogItCannotCopy)
{
    std::string atLimit(Logger::kRotateSize, 'x');
    ASSERT_TRUE(WriteFileBytes(path, atLimit));
    { Logger log(path, &CopyAsWindows); log.WriteLine(L"kept"); }
    EXPECT_FALSE(FileExists(backup));
    EXPECT_GT(ReadFileBytes(path).size(), atLimit.size());

    std::string over(Logger::kRotateSize + 1, 'y');
    ASSERT_TRUE(WriteFileBytes(path, over));
    ASSERT_TRUE(WriteFileBytes(backup, "older backup"));
    { Logger log(path, &CopyAsWindows); log.WriteLine(L"fresh"); }
    EXPECT_TRUE(over == ReadFileBytes(backup)) << "replaced, never appended to";
    std::string now = ReadFileBytes(path);
    EXPECT_LT(now.size(), 64u);
    EXPECT_NE(std::string::npos, now.find("fresh"));

    // A copy that fails leaves both files as they were, the log only appended to.
    ASSERT_TRUE(WriteFileBytes(path, over));
    ASSERT_TRUE(WriteFileBytes(backup, "older backup"));
    { Logger log(path, &RefuseToCopy); log.WriteLine(L"after"); }
    EXPECT_EQ("older backup", ReadFileBytes(backup));
    now = ReadFileBytes(path);
    ASSERT_GT(now.size(), over.size());
    EXPECT_TRUE(now.compare(0, over.size(), over) == 0) << "the log kept its lines";
    EXPECT_NE(std::string::npos, now.find(" : Error : the log could not be copied to log_bak.txt (error 112): it is kept\r\n"));
    EXPECT_NE(std::string::npos, now.find("after"));
}

TEST_F(LogFile, CreatesItsFolderOthersMayReadAndAnUnopenableLogIsSkipped)
{
    // A user's data folder may have any name: the path goes to the file system as wide characters.
    CString nested = folder.File(L"\u8bfe\u5802\\b\\log.txt");
    Logger log(nested);
    ASSERT_TRUE(log.IsOpen());
    log.WriteLine(L"x");
    EXPECT_NE(std::string::npos, ReadFileBytes(nested).find("x")); // readable while open
    FILE* writer = _wfsopen(nested, L"ab", 0x40 /*_SH_DENYNO*/);
    EXPECT_EQ(nullptr, writer) << "other writers are kept out";
    if (writer) fclose(writer);
    // A folder where the file should be: writes are skipped quietly.
    CreateDirectoryW(folder.File(L"dir.txt"), nullptr);
    Logger unopenable(folder.File(L"dir.txt"));
    EXPECT_FALSE(unopenable.IsOpen());
    unopenable.Write(L"ignored %d", 1);
}

TEST_F(LogFile, LinesOfManyThreadsStayWhole)
{
    {
        Logger log(path);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < 200; ++i) log.Write(L"thread %d line %d end", t, i);
            });
        }
        for (auto& t : threads) t.join();
    }
    std::string bytes = ReadFileBytes(path);
    std::regex whole(R"(\d\d/\d\d \d\d:\d\d:\d\d : thread \d line \d+ end)");
    size_t lines = 0;
    for (size_t start = 0, end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        EXPECT_TRUE(std::regex_match(bytes.substr(start, end - start), whole));
        ++lines;
    }
    EXPECT_EQ(800u, lines);
}
