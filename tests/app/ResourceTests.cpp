// The client program's own resources, read from the built file.
#include "core/ResourceIds.h"
#include "tests/support/TestFolders.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(ClientResources, TheProgramCarriesThePenCursor)
{
    HMODULE program = LoadLibraryExW(TestProgramFolder() + L"Lumenvale.exe", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(program, nullptr);
    HRSRC group = FindResourceW(program, MAKEINTRESOURCEW(IDC_LV_PEN_CURSOR), RT_GROUP_CURSOR);
    EXPECT_NE(group, nullptr) << "cursor " << IDC_LV_PEN_CURSOR << " is missing";
    if (group) {
        EXPECT_EQ(SizeofResource(program, group), 6u + 14u) << "one 32x32 image";
    }
    FreeLibrary(program);
}
