// The emotion grid over real GIF files: rows, name keys, frames advancing with the summed timer
// time, the frame painted into a memory DIB, and "SelectImage" from an injected click.
#include "controls/EmotionList.h"
#include "core/Folders.h"
#include "tests/controls/ControlsHost.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

// An animated GIF of 10 x 10 solid frames of the given colours (four at most), 100 ms each. Each
// pixel's code follows a clear code, so the code width stays 3 bits and a frame fits one sub-block.
std::string MakeGif(const std::vector<uint32_t>& frames)
{
    std::string out;
    auto put = [&](std::initializer_list<int> bytes) {
        for (int b : bytes) out += static_cast<char>(b);
    };
    put({'G', 'I', 'F', '8', '9', 'a', 10, 0, 10, 0, 0x81, 0, 0}); // a global table of 4 entries
    for (size_t i = 0; i < 4; ++i) {
        uint32_t c = i < frames.size() ? frames[i] : 0;
        put({static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c & 0xFF)});
    }
    for (size_t f = 0; f < frames.size(); ++f) {
        put({0x21, 0xF9, 4, 4, 10, 0, 0, 0});        // the delay in hundredths
        put({0x2C, 0, 0, 0, 0, 10, 0, 10, 0, 0, 2}); // the whole image; minimum code size 2
        std::string data;
        uint32_t bits = 0;
        int count = 0;
        auto code = [&](uint32_t c) {
            bits |= c << count;
            for (count += 3; count >= 8; count -= 8, bits >>= 8) data += static_cast<char>(bits & 0xFF);
        };
        for (int p = 0; p < 100; ++p) {
            code(4);
            code(static_cast<uint32_t>(f));
        }
        code(5);
        if (count > 0) data += static_cast<char>(bits & 0xFF);
        put({static_cast<int>(data.size())});
        out += data;
        put({0});
    }
    put({0x3B});
    return out;
}

const wchar_t kGrid[] = LR"(<VerticalLayout>
  <EmotionList name="GifList" column="14" imagefolder="emo.v1"/>
</VerticalLayout>)";

struct Grid {
    ScopedModuleFolder program;
    CString folder;
    ControlsHost host;
    CEmotionListUI* grid = nullptr;
    explicit Grid(int images)
    {
        folder = program.Path() + L"skin\\emo.v1\\";
        EnsureFolder(folder);
        for (int i = 0; i < images; ++i) {
            CString name;
            name.Format(L"e%02d.gif", i);
            std::vector<uint32_t> frames = {0xFF0000, 0x00FF00, 0x0000FF};
            if (i == 1) frames = {0xFFFF00}; // one frame only
            WriteFileBytes(folder + name, MakeGif(frames));
        }
    }
    bool Load()
    {
        if (!host.Load(kGrid, {0, 0, 280, 200})) return false;
        grid = static_cast<CEmotionListUI*>(host.Find(L"GifList"));
        return grid != nullptr;
    }
    POINT Cell(int r, int c) const { return POINT{c * 20 + 10, r * 31 + 15}; }
};

} // namespace

TEST(EmotionGrid, RowsOfColumnsNameKeysAndTheCellUnderAClick)
{
    Grid g(30);
    WriteFileBytes(g.folder + L"wave.hand.gif", "not an image");
    ASSERT_TRUE(g.Load());
    EXPECT_EQ(g.grid->GetImageCount(), 30);
    EXPECT_EQ(g.grid->GetRows(), 3);
    ASSERT_EQ(g.grid->GetCount(), 3);
    EXPECT_EQ(g.grid->GetItemAt(2)->GetTag(), 2u);

    // Keys are a backslash and the name up to its first dot; the folder's dot does not count.
    EXPECT_EQ(g.grid->GetImagePathByName(L"\\e07"), g.folder + L"e07.gif");
    EXPECT_EQ(g.grid->GetImagePathByName(L"\\wave"), g.folder + L"wave.hand.gif");
    EXPECT_EQ(g.grid->GetImagePathByName(L"\\emo"), L"");
    EXPECT_EQ(g.grid->GetImagePathByName(L"e07"), L"");

    // The header takes no room but carries the columns, 20 pixels each across 280, so the cell hit
    // under a point is the one painted there.
    RECT grid = g.grid->GetPos();
    RECT header = g.grid->GetHeader()->GetPos();
    EXPECT_EQ(header.bottom - header.top, 0);
    ASSERT_EQ(g.grid->GetHeader()->GetCount(), 14);
    RECT col3 = g.grid->GetHeader()->GetItemAt(3)->GetPos();
    EXPECT_EQ(col3.left, grid.left + 60);
    EXPECT_EQ(col3.right, grid.left + 80);
    for (int r = 0; r < 3; ++r) {
        RECT row = g.grid->GetItemAt(r)->GetPos();
        EXPECT_EQ(row.top, grid.top + r * 31) << r;
        EXPECT_EQ(row.bottom, row.top + 31) << r;
    }
    MemoryDib dib(280, 200);
    g.host.Repaint(dib, {0, 0, 280, 200});
    POINT one = g.Cell(0, 1);
    EXPECT_EQ(dib.At(one.x, one.y), 0xFFFF00u); // the one-frame yellow image
    g.grid->AnimateImageAt(10, one);
    EXPECT_EQ(g.grid->GetHotImagePath(), g.folder + L"e01.gif");
    POINT later = g.Cell(1, 3);
    EXPECT_EQ(dib.At(later.x, later.y), 0xFF0000u);
    g.grid->AnimateImageAt(10, later);
    EXPECT_EQ(g.grid->GetHotImagePath(), g.folder + L"e17.gif");

    // A click sends "itemclick", then "SelectImage" from the grid.
    g.host.Click(50, later.y);
    std::vector<std::wstring> kinds;
    for (const auto& e : g.host.entries)
        if (e.type == L"itemclick" || e.type == DUI_MSGTYPE_SELECTIMAGE) kinds.push_back(e.type);
    EXPECT_EQ(kinds, (std::vector<std::wstring>{L"itemclick", L"SelectImage"}));
    EXPECT_EQ(g.host.Of(DUI_MSGTYPE_SELECTIMAGE)[0].sender, g.grid);
}

TEST(EmotionGrid, AMissingFolderLeavesTheGridEmpty)
{
    ScopedModuleFolder program;
    ControlsHost host;
    ASSERT_TRUE(host.Load(kGrid, {0, 0, 280, 200}));
    auto* grid = static_cast<CEmotionListUI*>(host.Find(L"GifList"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetImageCount(), 0);
    EXPECT_EQ(grid->GetCount(), 0);
    grid->AnimateImageAt(100, POINT{10, 10});
    EXPECT_TRUE(grid->GetHotImagePath().IsEmpty());
}

TEST(EmotionGrid, FramesAdvanceWithTheSummedTime)
{
    Grid g(30);
    ASSERT_TRUE(g.Load());
    POINT first = g.Cell(0, 0);
    g.grid->AnimateImageAt(50, first);
    EXPECT_EQ(g.grid->GetHotImagePath(), g.folder + L"e00.gif");
    EXPECT_EQ(g.grid->GetNextFrame(0), 0);
    g.grid->AnimateImageAt(50, first); // 100 ms: one step
    EXPECT_EQ(g.grid->GetNextFrame(0), 1);
    g.grid->AnimateImageAt(100, first);
    EXPECT_EQ(g.grid->GetNextFrame(0), 2);

    // The frame shown is the one selected last: green.
    MemoryDib dib(280, 200);
    g.host.Repaint(dib, {0, 0, 280, 200});
    RECT row = g.grid->GetItemAt(0)->GetPos();
    int cy = (row.top + row.bottom) / 2;
    EXPECT_EQ(dib.At(10, cy), 0x00FF00u);
    EXPECT_EQ(dib.At(30, cy), 0xFFFF00u);
    // Grid lines along each cell's right and bottom edges.
    EXPECT_EQ(dib.At(19, cy), 0xCCCCCCu);
    EXPECT_EQ(dib.At(5, row.bottom - 1), 0xCCCCCCu);

    g.grid->AnimateImageAt(100, first);
    g.grid->AnimateImageAt(100, first);
    EXPECT_EQ(g.grid->GetNextFrame(0), 1); // wrapped after three frames

    // A one-frame image stays still; the image left behind goes back to its first frame.
    POINT second = g.Cell(0, 1);
    for (int i = 0; i < 5; ++i) g.grid->AnimateImageAt(100, second);
    EXPECT_EQ(g.grid->GetNextFrame(1), 0);
    EXPECT_EQ(g.grid->GetNextFrame(0), 0);
    EXPECT_EQ(g.grid->GetHotImagePath(), g.folder + L"e01.gif");
    g.host.Repaint(dib, {0, 0, 280, 200});
    EXPECT_EQ(dib.At(10, cy), 0xFF0000u);

    // The empty cells of the last row change nothing.
    g.grid->AnimateImageAt(100, g.Cell(2, 5));
    EXPECT_EQ(g.grid->GetHotImagePath(), g.folder + L"e01.gif");
}
