#include "core/LanguageTable.h"
#include "core/SessionContext.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {
struct Language : testing::Test {
    ScopedModuleFolder program;
    void Write(const wchar_t* name, const std::string& text)
    {
        CreateDirectoryW(program.Path() + L"Language", nullptr);
        ASSERT_TRUE(WriteFileBytes(program.Path() + L"Language\\" + name, text));
    }
};
} // namespace

TEST_F(Language, ParsesLinesWithAndWithoutBom)
{
    for (const char* bom : {"", "\xEF\xBB\xBF"}) {
        Write(L"English", std::string(bom) + "12 =  Hello there  \r\n13=\xE4\xB8\xAD\xE6\x96\x87\nno equals here\n"
                                              "13=replaced\n 7=a=b\n=empty id\n");
        LanguageTable table(1);
        EXPECT_TRUE(table.IsLoaded());
        EXPECT_STREQ(L"Hello there", table.GetString(12)) << "bom " << strlen(bom);
        EXPECT_STREQ(L"replaced", table.GetString(13));
        EXPECT_STREQ(L"a=b", table.GetString(7));
        EXPECT_STREQ(L"empty id", table.GetString(0));
        EXPECT_STREQ(L"", table.GetString(99));
    }
}

TEST_F(Language, FileNamesAndFallbacks)
{
    EXPECT_STREQ(L"SimpleChinese", LanguageTable::FileNameOf(0));
    EXPECT_STREQ(L"French", LanguageTable::FileNameOf(5));
    EXPECT_STREQ(L"SimpleChinese", LanguageTable::FileNameOf(17));
    Write(L"SimpleChinese", "1=\xE4\xB8\xAD\n");
    LanguageTable table(42);
    EXPECT_STREQ(L"\u4e2d", table.GetString(1));
}

TEST_F(Language, MissingFileKeepsTextsAndNoTableMeansEnglish)
{
    Write(L"English", "5=five\n");
    LanguageTable table(1);
    table.SetType(2); // no Japanese file
    EXPECT_FALSE(table.Load());
    EXPECT_STREQ(L"five", table.GetString(5));

    SessionContext::Destroy();
    EXPECT_STREQ(L"English literal", LangText(5, L"English literal"));
    SessionContext* session = SessionContext::Instance(); // type 0: no SimpleChinese file here
    ASSERT_NE(nullptr, session);
    EXPECT_FALSE(HasLanguageTable());
    EXPECT_STREQ(L"English literal", LangText(5, L"English literal"));
    delete session->languageTable;
    session->languageTable = new LanguageTable(1);
    EXPECT_STREQ(L"five", LangText(5, L"English literal"));
    EXPECT_STREQ(L"", LangText(6, L"English literal")); // a loaded table without the id: empty
    SessionContext::Destroy();
}

TEST_F(Language, LongLinesContinueAsLinesOfTheirOwn)
{
    std::string line = "1=" + std::string(300, 'x') + "\n2=two\n";
    Write(L"English", line);
    LanguageTable table(1);
    EXPECT_EQ(253, table.GetString(1).GetLength()); // 255 characters per read, minus "1="
    EXPECT_STREQ(L"two", table.GetString(2));
}

TEST_F(Language, LinesAmongGarbageStillRead)
{
    // Invalid UTF-8 and overlong lines around them must not swallow the line ends of good lines.
    std::string noise[2];
    unsigned seed = 7;
    for (std::string& part : noise) {
        for (int i = 0; i < 10000; ++i) {
            seed = seed * 1103515245 + 12345;
            part += static_cast<char>((seed >> 16) % 255 + 1); // a NUL would end the text
        }
    }
    Write(L"English", noise[0] + "\n7=seven\n" + noise[1] + "\n8= eight ");
    LanguageTable table(1);
    EXPECT_TRUE(table.IsLoaded());
    EXPECT_STREQ(L"seven", table.GetString(7));
    EXPECT_STREQ(L"eight", table.GetString(8));
}
