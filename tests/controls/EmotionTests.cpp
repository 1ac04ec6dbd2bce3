// The emotion grid over real GIF files: rows, name keys, frames advancing with the summed timer
// time, the frame painted into a memory DIB, and "SelectImage" from an injected click.
#include "controls/EmotionList.h"
#include "core/Folders.h"
#include "tests/controls/ControlsHost.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

// An animated GIF of solid frames, each delay hundredths of a second. The pixel codes are written
// with a clear code before each, so the code width stays 3 bits.
std::string MakeGif(int w, int h, const std::vector<uint32_t>& frames, int delay)
{
    std::string out = "GIF89a";
    auto u16 = [&](int v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    u16(w);
    u16(h);
    out += static_cast<char>(0x81); // global table of 4 entries
    out += '\0';
    out += '\0';
    for (int i = 0; i < 4; ++i) {
        uint32_t c = i < static_cast<int>(frames.size()) ? frames[i] : 0;
        out += static_cast<char>((c >> 16) & 0xFF);
        out += static_cast<char>((c >> 8) & 0xFF);
        out += static_cast<char>(c & 0xFF);
    }
    for (size_t f = 0; f < frames.size(); ++f) {
        out += "\x21\xF9\x04";
        out += static_cast<char>(0x04);
        u16(delay);
        out += '\0';
        out += '\0';
        out += '\x2C';
        u16(0);
        u16(0);
        u16(w);
        u16(h);
        out += '\0';
        out += '\x02';
        std::string data;
        uint32_t bits = 0;
        int count = 0;
        auto put = [&](uint32_t code) {
            bits |= code << count;
            count += 3;
            while (count >= 8) {
                data += static_cast<char>(bits & 0xFF);
                bits >>= 8;
                count -= 8;
            }
        };
        for (int p = 0; p < w * h; ++p) {
            put(4);
            put(static_cast<uint32_t>(f));
        }
        put(5);
        if (count > 0) data += static_cast<char>(bits & 0xFF);
        for (size_t at = 0; at < data.size(); at += 255) {
            size_t n = std::min<size_t>(255, data.size() - at);
            out += static_cast<char>(n);
            out += data.substr(at, n);
        }
        out += '\0';
    }
    out += '\x3B';
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
            WriteFileBytes(folder + name, MakeGif(10, 10, frames, 10));
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
