// The main of every test program: the code under test writes its data into a private folder.
#include "core/Folders.h"
#include "tests/support/TestFolders.h"

#include <gmock/gmock.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    // No error boxes from Windows while tests provoke failures.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    testing::InitGoogleMock(&argc, argv);
    TempFolder data(L"run");
    SetAppDataFolderOverride(data.Path());
    SetModuleFolderOverride(TestProgramFolder());
    return RUN_ALL_TESTS();
}
