// The LVL package: bytes against the layout, round trips through real files, and damaged packages.
#include "core/Folders.h"
#include "core/TextUtil.h"
#include "slides/PPTMgr.h"
#include "slides/SlidePackage.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

uint32_t U32(const std::string& b, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
                                 static_cast<unsigned char>(b[at + 2]) << 16 |
                                 static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24);
}

uint16_t U16(const std::string& b, size_t at)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::string LittleEndian(uint32_t v, size_t bytes)
{
    std::string s(bytes, '\0');
    for (size_t i = 0; i < bytes; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}
std::string Le32(int32_t v) { return LittleEndian(static_cast<uint32_t>(v), 4); }
std::string Le16(int16_t v) { return LittleEndian(static_cast<uint16_t>(v), 2); }

// Stand-in image bytes, different for every page.
std::string ImageBytes(int page, size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((page * 31 + i * 7) & 0xFF);
    return bytes;
}

// A slide folder as the exporter leaves it: "1.jpg", "2.jpg", ...
CString MakeSlideFolder(const TempFolder& temp, const std::vector<std::string>& images)
{
    CString folder = temp.Path() + L"job_C";
    EnsureFolder(folder);
    for (size_t i = 0; i < images.size(); ++i)
        WriteFileBytes(SlidePackage::SlideImagePath(folder, CString(), static_cast<int>(i + 1)), images[i]);
    return folder;
}

int WritePackage(const CString& folder, const CString& package, int pages, const wchar_t* name)
{
    SlidePackage::WriteJob job;
    job.pageCount = pages;
    job.slideFolder = folder;
    job.packagePath = package;
    job.baseName = name;
    return SlidePackage::Write(job, [] { return true; });
}

// Builds package bytes by hand: header, then records {length, page, image}.
std::string BuildPackage(const std::string& name, int16_t pages, const std::vector<std::pair<int16_t, std::string>>& records)
{
    std::string bytes = Le32(static_cast<int32_t>(6 + name.size())) + Le16(pages) + name;
    for (const auto& record : records)
        bytes += Le32(static_cast<int32_t>(6 + record.second.size())) + Le16(record.first) + record.second;
    return bytes;
}

std::vector<CString> FolderEntries(const CString& folder)
{
    std::vector<CString> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder + L"*", &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        CString name(data.cFileName);
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// A three-page package written by the writer, as bytes.
std::string WrittenPackage(const TempFolder& temp, size_t a, size_t b, size_t c)
{
    CString folder = MakeSlideFolder(temp, {ImageBytes(1, a), ImageBytes(2, b), ImageBytes(3, c)});
    EXPECT_EQ(0, WritePackage(folder, temp.File(L"source"), 3, L"Deck"));
    return ReadFileBytes(temp.File(L"source"));
}

// Parses with a fresh manager (one manager unpacks one package).
int Parse(const CString& package, ParamList* pages, const CString& outputBase = CString())
{
    CPPTMgr manager;
    return manager.ParsePackage(pages, package, outputBase);
}

} // namespace

TEST(SlidePackageWrite, ThreePagesLandAtTheOffsetsOfTheLayout)
{
    TempFolder temp;
    std::vector<std::string> images = {ImageBytes(1, 1000), ImageBytes(2, 2000), ImageBytes(3, 1500)};
    CString folder = MakeSlideFolder(temp, images);
    CString package = temp.File(L"pkg");
    ASSERT_EQ(0, WritePackage(folder, package, 3, L"Lesson"));

    std::string b = ReadFileBytes(package);
    const size_t L = 6 + 6;
    ASSERT_EQ(L + 1006 + 2006 + 1506, b.size());
    EXPECT_EQ(L, U32(b, 0));
    EXPECT_EQ(3, U16(b, 4));
    EXPECT_EQ("Lesson", b.substr(6, 6));
    const size_t offsets[] = {L, L + 1006, L + 3012};
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(images[k].size() + 6, U32(b, offsets[k]));
        EXPECT_EQ(k + 1, U16(b, offsets[k] + 4));
        EXPECT_EQ(images[k], b.substr(offsets[k] + 6, images[k].size()));
    }
}

TEST(SlidePackageWrite, EmptyNameGivesASixByteHeaderAndAnsiNamesKeepTheirBytes)
{
    TempFolder temp;
    CString folder = MakeSlideFolder(temp, {ImageBytes(1, 10)});
    ASSERT_EQ(0, WritePackage(folder, temp.File(L"a"), 1, L""));
    std::string b = ReadFileBytes(temp.File(L"a"));
    EXPECT_EQ(std::string("\x06\x00\x00\x00\x01\x00", 6), b.substr(0, 6));
    EXPECT_EQ(std::string("\x10\x00\x00\x00\x01\x00", 6), b.substr(6, 6));
    EXPECT_EQ(22u, b.size());

    ASSERT_EQ(0, WritePackage(folder, temp.File(L"b"), 1, L"Caf\u00e9"));
    b = ReadFileBytes(temp.File(L"b"));
    EXPECT_EQ(10u, U32(b, 0));
    EXPECT_EQ(std::string("Caf\xe9", 4), b.substr(6, 4)); // code page 1252
}

TEST(SlidePackageWrite, FailuresAnswerTheirCodeAndLeaveNoPackage)
{
    TempFolder temp;
    CString folder = MakeSlideFolder(temp, {ImageBytes(1, 100), ImageBytes(2, 100)});
    // Page 3 was never exported.
    EXPECT_EQ(eConvert_FileNotOpened, WritePackage(folder, temp.File(L"p1"), 3, L"x"));
    EXPECT_FALSE(FileExists(temp.File(L"p1")));
    // The package cannot be created.
    EXPECT_EQ(eConvert_FileNotOpened, WritePackage(folder, temp.File(L"missing\\p2"), 2, L"x"));
    // Stopped after the first page: no half package may stay behind as if it were whole.
    SlidePackage::WriteJob job;
    job.pageCount = 2;
    job.slideFolder = folder;
    job.packagePath = temp.File(L"p3");
    int asked = 0;
    EXPECT_EQ(eConvert_Stopped, SlidePackage::Write(job, [&] { return ++asked < 2; }));
    EXPECT_FALSE(FileExists(temp.File(L"p3")));
    // More pages than the i16 count can hold.
    job.pageCount = 0x8000;
    EXPECT_EQ(eConvert_WriteFailed, SlidePackage::Write(job, [] { return true; }));
    EXPECT_FALSE(FileExists(temp.File(L"p3")));
    // The manager packs only while it converts, and a refused write deletes no slide.
    job.pageCount = 1;
    CPPTMgr manager;
    EXPECT_EQ(eConvert_Stopped, manager.WritePackage(job));
    EXPECT_FALSE(FileExists(job.packagePath));
    EXPECT_TRUE(FileExists(SlidePackage::SlideImagePath(folder, CString(), 1)));
    EXPECT_EQ(ePhase_Idle, manager.GetPhase());
}

TEST(SlidePackageRoundTrip, OneAndTwoHundredJpegPagesDecodeAfterUnpacking)
{
    ASSERT_TRUE(EnsureGdiplus());
    for (int pages : {1, 200}) {
        SCOPED_TRACE(pages);
        TempFolder temp;
        CString folder = temp.Path() + L"job_C";
        ASSERT_TRUE(EnsureFolder(folder));
        std::vector<std::string> originals;
        for (int page = 1; page <= pages; ++page) {
            CString path = SlidePackage::SlideImagePath(folder, CString(), page);
            ASSERT_TRUE(DrawSlideJpeg(path, page, 160, 120));
            originals.push_back(ReadFileBytes(path));
        }
        CString package = temp.File(L"{job}");
        ASSERT_EQ(0, WritePackage(folder, package, pages, L"Deck"));

        ParamList list;
        CPPTMgr manager;
        ASSERT_EQ(0, manager.ParsePackage(&list, package, CString()));
        EXPECT_EQ(pages, list.pageCount);
        EXPECT_EQ(1, list.currentPage);
        ASSERT_EQ(static_cast<size_t>(pages), list.values.size());
        for (int page = 1; page <= pages; ++page) {
            const CString& path = list.values[page - 1];
            EXPECT_EQ(package + L"_P\\PIC_" + IntToString(page) + L".jpg", path);
            EXPECT_EQ(originals[page - 1], ReadFileBytes(path));
            int w = 0, h = 0, number = 0;
            ASSERT_TRUE(ReadSlideJpeg(path, &w, &h, &number)) << page;
            EXPECT_EQ(160, w);
            EXPECT_EQ(120, h);
            EXPECT_EQ(page, number);
        }
    }
}

TEST(SlidePackageRead, PagesAreNamedByTheirStoredNumbersUnderTheOutputBase)
{
    TempFolder temp;
    CString package = temp.File(L"pkg");
    WriteFileBytes(package, BuildPackage("n", 3, {{2, "two"}, {3, "three"}, {1, "one"}}));
    ParamList list;
    ASSERT_EQ(0, Parse(package, &list, temp.File(L"out")));
    ASSERT_EQ(3u, list.values.size());
    EXPECT_EQ(temp.File(L"out_P\\PIC_1.jpg"), list.values[0]);
    EXPECT_EQ("one", ReadFileBytes(list.values[0]));
    EXPECT_EQ("two", ReadFileBytes(list.values[1]));
    EXPECT_EQ("three", ReadFileBytes(list.values[2]));

    // An existing unpack folder is reused and its pages overwritten.
    WriteFileBytes(package, BuildPackage("n", 1, {{1, "again"}}));
    ASSERT_EQ(0, Parse(package, &list, temp.File(L"out")));
    EXPECT_EQ(1, list.pageCount);
    EXPECT_EQ("again", ReadFileBytes(list.values[0]));
}

TEST(SlidePackageRead, ManagerRulesForPathsAndRepeatedParsing)
{
    TempFolder temp;
    ParamList list;
    list.pageCount = 9;
    {
        CPPTMgr manager;
        EXPECT_EQ(eConvert_EmptyPackagePath, manager.ParsePackage(&list, CString(), CString()));
        // The flag stays set after a read: one manager unpacks one package.
        EXPECT_EQ(eConvert_Stopped, manager.ParsePackage(&list, temp.File(L"x"), CString()));
        manager.StopConvert();
        EXPECT_EQ(eConvert_FileNotOpened, manager.ParsePackage(&list, temp.File(L"absent"), CString()));
        EXPECT_EQ(ePhase_Unpacking, manager.GetPhase());
        EXPECT_EQ(temp.File(L"absent"), manager.GetPackagePath());
    }
    EXPECT_EQ(9, list.pageCount); // no page list on failure

    CString package = temp.File(L"ok");
    WriteFileBytes(package, BuildPackage("", 1, {{1, "x"}}));
    CPPTMgr manager;
    ASSERT_EQ(0, manager.ParsePackage(&list, package, CString()));
    EXPECT_EQ(eConvert_Stopped, manager.ParsePackage(&list, package, CString()));
    manager.StopConvert();
    EXPECT_EQ(0, manager.ParsePackage(&list, package, CString()));
}

TEST(SlidePackageRead, DamagedPackagesAreRefusedAndWriteNothing)
{
    const std::string ok = BuildPackage("ab", 2, {{1, "img1"}, {2, "img22"}});
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty file", ""},
        {"header length below 6", Le32(5) + Le16(0)},
        {"header length past the end", Le32(100) + Le16(0)},
        {"negative page count", BuildPackage("", -1, {})},
        {"page count past what the file can hold", BuildPackage("", 0x7FFF, {{1, "a"}})},
        {"second record of length 0", BuildPackage("", 2, {{1, "a"}}) + Le32(0) + Le16(2) + "b"},
        {"record length below 6", BuildPackage("", 1, {}) + Le32(5) + Le16(1)},
        {"record length past the end", BuildPackage("", 1, {}) + Le32(50) + Le16(1) + "abc"},
        {"page number 0", BuildPackage("", 1, {{0, "a"}})},
        {"page number past the count", BuildPackage("", 2, {{1, "a"}, {3, "b"}})},
        {"negative page number", BuildPackage("", 1, {{-1, "a"}})},
        {"page number repeated", BuildPackage("", 2, {{1, "a"}, {1, "b"}})},
        {"bytes after the last record", ok + "x"},
        {"fewer records than pages", BuildPackage("", 3, {{1, "a"}, {2, "b"}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        CString package = temp.File(L"pkg");
        WriteFileBytes(package, c.bytes);
        ParamList list;
        list.pageCount = 7;
        EXPECT_EQ(eConvert_Stopped, Parse(package, &list));
        EXPECT_EQ(7, list.pageCount);
        EXPECT_EQ(1u, FolderEntries(temp.Path()).size()) << "only the package may be there";
    }
    // The same package whole is fine, and a package without pages is empty rather than damaged.
    TempFolder temp;
    WriteFileBytes(temp.File(L"ok"), ok);
    ParamList list;
    EXPECT_EQ(0, Parse(temp.File(L"ok"), &list));
    EXPECT_EQ(2, list.pageCount);
    // A long name is only partly logged; the records still start where the header length says.
    WriteFileBytes(temp.File(L"long"), BuildPackage(std::string(5000, 'n'), 1, {{1, "img"}}));
    EXPECT_EQ(0, Parse(temp.File(L"long"), &list));
    ASSERT_EQ(1u, list.values.size());
    EXPECT_EQ("img", ReadFileBytes(list.values[0]));
    WriteFileBytes(temp.File(L"none"), BuildPackage("x", 0, {}));
    EXPECT_EQ(0, Parse(temp.File(L"none"), &list));
    EXPECT_EQ(0, list.pageCount);
}

TEST(SlidePackageRead, EveryTruncationAndEveryLengthFieldMutationIsRefused)
{
    TempFolder temp;
    const std::string whole = WrittenPackage(temp, 60, 90, 45);
    CString package = temp.File(L"pkg");

    for (size_t length = 0; length < whole.size(); ++length) {
        WriteFileBytes(package, whole.substr(0, length));
        ParamList list;
        ASSERT_EQ(eConvert_Stopped, Parse(package, &list)) << "truncated at " << length;
        ASSERT_FALSE(FileExists(package + L"_P\\PIC_1.jpg"));
    }

    // Header length, page count, and each record's length and page number.
    std::vector<size_t> structural = {0, 1, 2, 3, 4, 5};
    for (size_t at = 10; at < whole.size(); at += U32(whole, at))
        for (size_t i = 0; i < 6; ++i) structural.push_back(at + i);
    ASSERT_EQ(24u, structural.size());
    for (size_t at : structural) {
        const unsigned char original = static_cast<unsigned char>(whole[at]);
        for (unsigned value : {original ^ 0x01u, original ^ 0x80u, original + 1u, 0x00u, 0xFFu}) {
            if ((value & 0xFF) == original) continue;
            std::string mutated = whole;
            mutated[at] = static_cast<char>(value);
            WriteFileBytes(package, mutated);
            ParamList list;
            ASSERT_EQ(eConvert_Stopped, Parse(package, &list)) << "byte " << at << " = " << value;
        }
    }
}

TEST(SlidePackageRead, RandomMutationsNeverEscapeTheUnpackFolder)
{
    TempFolder temp;
    const std::string whole = WrittenPackage(temp, 40, 30, 20);
    std::mt19937 random(1155);
    int accepted = 0;
    for (int round = 0; round < 300; ++round) {
        TempFolder place;
        std::string mutated = whole;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) mutated[random() % mutated.size()] = static_cast<char>(random() & 0xFF);
        CString package = place.File(L"pkg");
        WriteFileBytes(package, mutated);
        ParamList list;
        int result = Parse(package, &list);
        ASSERT_TRUE(result == 0 || result == eConvert_Stopped) << result;
        std::vector<CString> entries = FolderEntries(place.Path());
        if (result == 0) {
            ++accepted;
            ASSERT_EQ(2u, entries.size()); // the package and its "_P" folder
            ASSERT_EQ(list.pageCount, list.values.size());
            for (const CString& page : list.values) {
                ASSERT_EQ(0, page.Find(package + L"_P\\"));
                ASSERT_TRUE(FileExists(page));
            }
        } else {
            ASSERT_EQ(1u, entries.size());
        }
    }
    EXPECT_GT(accepted, 0); // flips inside the images or the name cannot be told from real content
}

TEST(SlideNames, BaseNameIsSearchedInTheFileNameOnly)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* base;
        const wchar_t* kept;
    } cases[] = {
        {L"C:\\talks\\deck.ppt", L"deck", L""},
        {L"C:\\talks\\deck.pptx", L"deck", L""},
        {L"C:\\old.ppt files\\deck.pptx", L"deck", L""},
        {L"C:\\old.ppt files\\notes.txt", L"", L"notes.txt"},
        {L"C:\\talks\\DECK.PPT", L"", L"DECK.PPT"},
        {L"deck.ppt", L"deck", L""},
        {L"C:\\talks\\a.ppt.bak", L"a", L""},
        {L"C:\\talks\\.pptx", L"", L""},
    };
    for (const Case& c : cases) {
        CString base = L"?", kept = L"?";
        CPPTMgr::SplitSourceName(c.path, &base, &kept);
        EXPECT_EQ(CString(c.base), base) << c.path;
        EXPECT_EQ(CString(c.kept), kept) << c.path;
    }
}

TEST(SlideSizes, FitIntoNineSixtyBySevenTwentyWithoutEnlarging)
{
    struct Case {
        double w, h, outW, outH;
    } cases[] = {
        {1280, 720, 960, 540},  // 13.333 x 7.5 in
        {960, 720, 960, 720},   // 10 x 7.5 in
        {720, 540, 720, 540},   // never enlarged
        {720, 1280, 405, 720},  // portrait
        {2000, 2000, 720, 720}, // square: width first, then the height still too tall
        {1000, 100, 960, 96},
        {100, 1000, 72, 720},
        {961, 720, 960, 960.0 * 720 / 961},
    };
    for (const Case& c : cases) {
        double w = 0, h = 0;
        ASSERT_TRUE(CPPTMgr::FitSlideSize(c.w, c.h, &w, &h)) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(c.outW, w) << c.w << "x" << c.h;
        EXPECT_DOUBLE_EQ(c.outH, h) << c.w << "x" << c.h;
    }
    EXPECT_FALSE(CPPTMgr::FitSlideSize(0, 540, nullptr, nullptr));
    EXPECT_FALSE(CPPTMgr::FitSlideSize(720, 0, nullptr, nullptr));
}
