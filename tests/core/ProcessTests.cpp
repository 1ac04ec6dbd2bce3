// A crashing child runs as a process of its own, as the client does for users; the client's own
// start-up is tested in tests/app.
#include "core/Folders.h"
#include "core/Version.h"
#include "tests/support/Process.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<CString> DumpsIn(const CString& folder)
{
    std::vector<CString> found;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(folder + L"Dump\\*.dmp", &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do found.push_back(folder + L"Dump\\" + data.cFileName); while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

CString Environment(const CString& dataFolder)
{
    CString block = L"LUMENVALE_DATA_FOLDER=" + dataFolder;
    block.AppendChar(L'\0');
    return block;
}

} // namespace

class CrashDumps : public testing::TestWithParam<const wchar_t*> {};

TEST_P(CrashDumps, LeaveAMinidumpAndEndTheProcess)
{
    // In "logwrite" the crashing thread holds the logger's lock: the filter skips its line instead of waiting.
    const bool inLogWrite = CString(GetParam()) == L"logwrite";
    TempFolder data(L"crash");
    CString environment = Environment(data.Path());
    ChildResult child = RunChild(TestProgramFolder() + L"crash_child.exe", GetParam(), environment.GetString(), 60000);
    ASSERT_TRUE(child.started);
    ASSERT_TRUE(child.finished) << "the crash must end the process, not hang it";
    EXPECT_NE(3u, child.exitCode);
    EXPECT_NE(4u, child.exitCode) << "the log's flush could not be replaced";
    std::vector<CString> dumps = DumpsIn(data.Path());
    ASSERT_EQ(1u, dumps.size());
    std::string bytes = ReadFileBytes(dumps[0]);
    ASSERT_GT(bytes.size(), 32u);
    EXPECT_EQ("MDMP", bytes.substr(0, 4));
    // The name is the local time as month-day hour-minute-second.
    CString name = dumps[0].Mid(dumps[0].ReverseFind(L'\\') + 1);
    EXPECT_EQ(18, name.GetLength()) << name.GetString();
    EXPECT_EQ(L'-', name[2]);
    if (!inLogWrite) {
        std::string log = ReadFileBytes(data.Path() + L"Log\\log.txt");
        EXPECT_NE(std::string::npos, log.find("Infor : \xE5\x86\x99\xE5\x85\xA5" "dump")) << log; // "written"
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashDumps, testing::Values(L"access", L"thread", L"throw", L"logwrite"));

TEST(Client, CarriesItsVersion)
{
    EXPECT_STREQ(L"2.0.0.1", GetFileVersionString(TestProgramFolder() + L"Lumenvale.exe"));
    EXPECT_STREQ(L"", GetFileVersionString(TestProgramFolder() + L"crash_child.exe"));
}
