// The slide view: fitting numbers, the slide and the cross-fade painted into a memory DIB from real
// image files, the fade timer, and which of status text and strokes each state shows.
#include "controls/ImagePaintControl.h"
#include "tests/controls/ControlsHost.h"
#include "core/Folders.h"
#include "core/LanguageTable.h"
#include "core/SessionContext.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

uint32_t Red(int, int) { return 0xFF0000; }
uint32_t Blue(int, int) { return 0x0000FF; }

struct View {
    ControlsHost host;
    CImagePaintControlUI* view = nullptr;
    int w, h;
    View(int width, int height) : w(width), h(height)
    {
        SetLocalUser(42, eRole_Teacher);
        if (host.Load(LR"(<VerticalLayout><ImagePaintControl name="ImageView"/></VerticalLayout>)", {0, 0, w, h}))
            view = static_cast<CImagePaintControlUI*>(host.Find(L"ImageView"));
    }
    void Paint(MemoryDib& dib) { host.Repaint(dib, {0, 0, w, h}, 0x000000); }
};

bool Near(uint32_t rgb, int r, int g, int b)
{
    int pr = (rgb >> 16) & 0xFF, pg = (rgb >> 8) & 0xFF, pb = rgb & 0xFF;
    return abs(pr - r) <= 3 && abs(pg - g) <= 3 && abs(pb - b) <= 3;
}

} // namespace

TEST(SlideFit, WideTallAndSmallSlides)
{
    struct Case {
        int iw, ih, w, h;
        ImageFit expected;
    } cases[] = {
        {1000, 500, 960, 600, {0, 60, 960, 480, false}},
        {1000, 500, 1600, 600, {200, 0, 1200, 600, false}},
        {500, 1000, 1200, 1000, {350, 0, 500, 1000, false}},
        {500, 1000, 450, 1000, {0, 50, 450, 900, false}},
        {1000, 1000, 800, 600, {100, 0, 600, 600, false}},
        {1000, 500, 400, 600, {0, 0, 400, 600, true}},  // 400 wide: stretched
        {1000, 500, 900, 400, {50, 0, 800, 400, false}},
        {1000, 200, 1000, 600, {0, 0, 1000, 600, true}}, // 200 high or less: stretched
        {1000, 250, 1000, 600, {0, 175, 1000, 250, false}},
    };
    for (const Case& c : cases) {
        ImageFit f = ComputeImageFit(c.iw, c.ih, c.w, c.h);
        EXPECT_TRUE(f.x == c.expected.x && f.y == c.expected.y && f.width == c.expected.width &&
                    f.height == c.expected.height && f.stretched == c.expected.stretched)
            << c.iw << "x" << c.ih << " in " << c.w << "x" << c.h << ": " << f.x << "," << f.y << " " << f.width
            << "x" << f.height << (f.stretched ? " stretched" : "");
    }
}

TEST(SlideView, DrawsTheFittedSlideAndCrossFades)
{
    TempFolder folder;
    CString red = folder.File(L"red.bmp"), blue = folder.File(L"blue.bmp");
    ASSERT_TRUE(WriteTestBmp(red, 1000, 500, &Red));
    ASSERT_TRUE(WriteTestBmp(blue, 1000, 500, &Blue));
    View v(960, 600);
    ASSERT_NE(v.view, nullptr);

    MemoryDib dib(960, 600);
    v.view->SetImage(red);
    v.Paint(dib);
    EXPECT_EQ(dib.At(480, 300), 0xFF0000u);
    EXPECT_EQ(dib.At(480, 62), 0xFF0000u);
    EXPECT_EQ(dib.At(480, 57), 0x000000u);
    EXPECT_EQ(dib.At(480, 543), 0x000000u);

    // A change with fade lays the old slide over the new one at 0.4, then less at every paint.
    v.view->SetFadeOpacity(0.4f);
    v.view->SetFade(true);
    v.view->SetImage(blue);
    EXPECT_EQ(v.view->GetPreviousImage(), red);
    v.Paint(dib);
    EXPECT_TRUE(Near(dib.At(480, 300), 102, 0, 153)) << std::hex << dib.At(480, 300);
    EXPECT_NEAR(v.view->GetFadeOpacity(), 0.3f, 1e-5);
    v.Paint(dib);
    EXPECT_TRUE(Near(dib.At(480, 300), 76, 0, 178)) << std::hex << dib.At(480, 300);

    // The timer keeps repainting until the opacity is used up, then turns the fade off.
    TEventUI tick;
    tick.Type = UIEVENT_TIMER;
    tick.wParam = CImagePaintControlUI::kFadeTimer;
    int paints = 0;
    while (v.view->IsFading() && paints < 10) {
        v.view->DoEvent(tick);
        v.Paint(dib);
        ++paints;
    }
    EXPECT_FALSE(v.view->IsFading());
    EXPECT_LE(paints, 4);
    EXPECT_NEAR(v.view->GetFadeOpacity(), 0.4f, 1e-5);
    v.Paint(dib);
    EXPECT_EQ(dib.At(480, 300), 0x0000FFu);

    // The same path again forgets the previous slide: no fade can run.
    v.view->SetFade(true);
    v.view->SetImage(blue);
    EXPECT_TRUE(v.view->GetPreviousImage().IsEmpty());
    v.Paint(dib);
    EXPECT_EQ(dib.At(480, 300), 0x0000FFu);
    v.view->SetFade(false);

    // A slide that cannot be read leaves the background.
    v.view->SetImage(folder.File(L"missing.jpg"));
    v.Paint(dib);
    EXPECT_EQ(dib.CountOther({0, 0, 960, 600}, 0x000000), 0);

    // A fit 200 high or less (1000 x 250 fits 600 x 150 here) stretches over the whole view. GDI+
    // blends the outermost rows of a stretched image with what lies beyond it.
    CString low = folder.File(L"low.bmp");
    ASSERT_TRUE(WriteTestBmp(low, 1000, 250, &Red));
    View square(600, 600);
    ASSERT_NE(square.view, nullptr);
    square.view->SetImage(low);
    MemoryDib squareDib(600, 600);
    square.Paint(squareDib);
    EXPECT_EQ(squareDib.CountOther({0, 2, 600, 598}, 0xFF0000), 0);
}

TEST(SlideView, StatesChooseBetweenStrokesAndTheCentredStatusText)
{
    // No language file where the client looks, so the session comes back without a table.
    ScopedModuleFolder program;
    SessionContext::Destroy();
    View v(400, 300);
    ASSERT_NE(v.view, nullptr);
    std::unique_ptr<PaintObject> pen(PaintObject::NewPen(42, PaintPen{0xFF00FF00, 0, 3, 0}));
    PaintStroke line;
    line.points = {{0.1f, 0.5f}, {0.9f, 0.5f}};
    std::unique_ptr<PaintObject> stroke(PaintObject::NewStroke(42, line));
    v.view->LoadObjects({pen.get(), stroke.get()});
    MemoryDib dib(400, 300);

    v.Paint(dib); // state 0: nothing
    EXPECT_EQ(dib.CountColor({0, 0, 400, 300}, 0x00FF00), 0);
    v.view->SetState(eImageView_Strokes, 0);
    v.Paint(dib);
    EXPECT_GT(dib.CountColor({0, 0, 400, 300}, 0x00FF00), 600);
    // Without a language table the states with texts show nothing at all.
    v.view->SetState(1, 42.9f);
    v.Paint(dib);
    EXPECT_EQ(dib.CountOther({0, 0, 400, 300}, 0x000000), 0);
    EXPECT_EQ(v.view->StateText(), L"42%");
    v.view->SetState(9, 7.5f);
    EXPECT_EQ(v.view->StateText(), L"(7%)");
    v.view->SetState(2, 7.5f);
    EXPECT_EQ(v.view->StateText(), L"");
    v.view->SetState(10, 0);
    EXPECT_EQ(v.view->StateText(), L"");

    // With the table its trimmed texts lead, painted white in a band around the centre.
    EnsureFolder(program.Path() + L"Language\\");
    ASSERT_TRUE(WriteFileBytes(program.Path() + L"Language\\English", "4 = Converting \n38 = Upload\n"));
    LanguageTable table(1);
    ASSERT_TRUE(table.IsLoaded());
    SessionContext* session = SessionContext::Instance();
    LanguageTable* saved = session->languageTable;
    session->languageTable = &table;
    v.view->SetState(1, 42.9f);
    EXPECT_EQ(std::wstring(v.view->StateText().GetString()), L"Converting42%");
    v.view->SetState(9, 100.0f);
    EXPECT_EQ(std::wstring(v.view->StateText().GetString()), L"Upload(100%)");
    v.Paint(dib);
    int white = dib.CountColor({0, 0, 400, 300}, 0xFFFFFF);
    EXPECT_GT(white, 20);
    EXPECT_EQ(dib.CountColor({100, 120, 300, 180}, 0xFFFFFF), white);
    EXPECT_GT(dib.CountColor({100, 120, 200, 180}, 0xFFFFFF), 0);
    EXPECT_GT(dib.CountColor({200, 120, 300, 180}, 0xFFFFFF), 0);
    session->languageTable = saved;
}
