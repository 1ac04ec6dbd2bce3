#include "core/Folders.h"
#include "core/Logger.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>
#include <algorithm>
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

// Runs out of room half-way: the target holds the first half of the log when the copy fails.
bool CopyHalfThenFail(const wchar_t* from, const wchar_t* to)
{
    std::string bytes = ReadFileBytes(from);
    WriteFileBytes(to, bytes.substr(0, bytes.size() / 2));
    SetLastError(ERROR_DISK_FULL);
    return false;
}

std::vector<std::wstring> FolderNames(const CString& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(folder + L"*", &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.cFileName[0] != L'.') names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

// Numbered lines, each 14 bytes, until the log is past the rotation size.
std::string NumberedLog()
{
    std::string log;
    char line[32];
    for (int i = 0; log.size() <= static_cast<size_t>(Logger::kRotateSize); ++i) {
        snprintf(line, sizeof line, "line %07d\r\n", i);
        log += line;
    }
    return log;
}
} // namespace

TEST_F(LogFile, RotatesAboveTheLimitOnlyIntoACompleteBackup)
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
    EXPECT_EQ(std::vector<std::wstring>({L"log.txt", L"log_bak.txt"}), FolderNames(folder.Path()));
}

TEST_F(LogFile, AFailedCopyLeavesTheOldBackupWholeAndTheLogOnlyItsNewestLines)
{
    const std::string old = NumberedLog();
    struct Case {
        const char* name;
        Logger::CopyStep copy;
        bool lockedBackup;
        unsigned error;
    } cases[] = {
        {"fails before writing", &RefuseToCopy, false, ERROR_DISK_FULL},
        {"fails half-way", &CopyHalfThenFail, false, ERROR_DISK_FULL},
        {"copies, but the backup is held open", &Logger::CopyWithSystem, true, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFileBytes(path, old));
        ASSERT_TRUE(WriteFileBytes(backup, "older backup"));
        // Another program reading the backup keeps it from being replaced.
        HANDLE reader = c.lockedBackup ? CreateFileW(backup, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                                       : INVALID_HANDLE_VALUE;
        { Logger log(path, c.copy); log.WriteLine(L"after"); }
        if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
        EXPECT_EQ("older backup", ReadFileBytes(backup));
        EXPECT_EQ(std::vector<std::wstring>({L"log.txt", L"log_bak.txt"}), FolderNames(folder.Path()))
            << "no copy left behind";

        // The newest whole lines that fit, then the error line and this start's lines.
        const std::string now = ReadFileBytes(path);
        const size_t kept = now.find(" : Error : ");
        ASSERT_NE(std::string::npos, kept);
        const size_t lineStart = now.rfind('\n', kept) + 1;
        EXPECT_EQ(static_cast<size_t>(Logger::kKeepWithoutBackup) / 14 * 14, lineStart);
        EXPECT_TRUE(old.compare(old.size() - lineStart, lineStart, now, 0, lineStart) == 0);
        EXPECT_EQ(" : Error : the log could not be copied to log_bak.txt (error " + std::to_string(c.error) +
                      "): its older lines were dropped\r\n",
                  now.substr(kept, now.find('\n', kept) + 1 - kept));
        EXPECT_NE(std::string::npos, now.find(" : after\r\n", kept));
        EXPECT_LT(now.size(), static_cast<size_t>(Logger::kRotateSize));
    }
}

TEST_F(LogFile, ALogPastTwoGibibytesIsStillCut)
{
    // A log that grew past what a 32-bit file position holds (sparse, so the disk barely notices).
    {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD ignored = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = 0x90000000LL;
        // The older lines here are zeros; the newest ones follow the last of them.
        const char lines[] = "\r\nline before\r\nlast line\r\n";
        DWORD written = 0;
        ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
        ASSERT_TRUE(WriteFile(file, lines, sizeof lines - 1, &written, nullptr));
        CloseHandle(file);
    }
    { Logger log(path, &RefuseToCopy); log.WriteLine(L"after"); }
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    ASSERT_TRUE(GetFileAttributesExW(path, GetFileExInfoStandard, &attributes));
    ASSERT_EQ(0u, attributes.nFileSizeHigh);
    ASSERT_LT(attributes.nFileSizeLow, 256u);
    const std::string now = ReadFileBytes(path);
    EXPECT_EQ(0u, now.find("line before\r\nlast line\r\n")) << now;
    EXPECT_NE(std::string::npos, now.find(" : after\r\n"));
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
