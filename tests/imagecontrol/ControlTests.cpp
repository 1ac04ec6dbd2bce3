// The control's own behaviour through its interfaces, drawing checked by pixels.
#include "tests/imagecontrol/ControlTestSupport.h"
#include "tests/support/TestFolders.h"

#include <fstream>
#include <iterator>

namespace {

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kLime = RGB(0, 255, 0);
const COLORREF kBlue = RGB(0, 0, 255);

std::string FileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// White under red blends keep full red: the rectangle was filled white, then the picture drawn.
bool RedChannelEverywhere(const DibCanvas& canvas, const RECT& rect)
{
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (GetRValue(canvas.Pixel(x, y)) != 255) return false;
    return true;
}

class ControlTest : public RegisteredControlTest {
protected:
    void SetUp() override
    {
        RegisteredControlTest::SetUp();
        m_control = CreateControl();
        ASSERT_TRUE(m_control);
    }
    void TearDown() override
    {
        m_control.Release();
        RegisteredControlTest::TearDown();
    }
    std::wstring ImagePath()
    {
        wchar_t buffer[MAX_PATH] = {};
        if (m_control->GetImagePath(reinterpret_cast<char*>(buffer), MAX_PATH) != S_OK) return L"<none>";
        return buffer;
    }
    CComPtr<ILVImageCtl> m_control;
};

TEST_F(ControlTest, EachFormatLoadsWithItsSizeAndDrawsOverTheBoundsOnly)
{
    EXPECT_EQ(0, m_control->GetWidth());
    EXPECT_EQ(0, m_control->GetHeight());
    // Stretched over the whole canvas; GDI+ blends the picture's edge, so the inside is checked.
    struct Case {
        const wchar_t* file;
        int width, height;
        COLORREF inside;
        int margin, tolerance;
    } cases[] = {{L"red.png", 40, 30, kRed, 4, 0},
                 {L"green.jpg", 32, 24, RGB(0, 192, 0), 2, 12},
                 {L"still.gif", 16, 12, kBlue, 5, 0},
                 {L"anim.gif", 20, 10, kRed, 6, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(S_OK, Load(m_control, PictureFile(c.file)));
        EXPECT_EQ(c.width, m_control->GetWidth());
        EXPECT_EQ(c.height, m_control->GetHeight());
        EXPECT_EQ(PictureFile(c.file), ImagePath());
        DibCanvas canvas(80, 60, kBlack);
        ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), {0, 0, 80, 60}));
        EXPECT_TRUE(canvas.AreaIs({c.margin, c.margin, 80 - c.margin, 60 - c.margin}, c.inside, c.tolerance));
    }

    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"red.png")));
    DibCanvas canvas(80, 60, kBlack);
    RECT bounds = {10, 5, 30, 55};  // 20 x 50: the 40 x 30 picture squeezed and stretched
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), bounds));
    EXPECT_TRUE(canvas.AreaIs({12, 7, 28, 53}, kRed));
    EXPECT_TRUE(RedChannelEverywhere(canvas, bounds));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 80, 5}, kBlack));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 10, 60}, kBlack));
    EXPECT_TRUE(canvas.AreaIs({30, 0, 80, 60}, kBlack));
    EXPECT_TRUE(canvas.AreaIs({0, 55, 80, 60}, kBlack));
}

TEST_F(ControlTest, WithoutAPictureOrOnAMetafileNothingIsDrawn)
{
    DibCanvas canvas(20, 20, kBlack);
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), {0, 0, 20, 20}));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 20, 20}, kBlack));

    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"red.png")));
    HDC metafile = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, metafile);
    ASSERT_TRUE(DrawControl(m_control, metafile, {0, 0, 20, 20}));
    HENHMETAFILE recorded = CloseEnhMetaFile(metafile);
    ENHMETAHEADER header = {};
    ASSERT_NE(0u, GetEnhMetaFileHeader(recorded, sizeof(header), &header));
    EXPECT_EQ(2u, header.nRecords);  // the header and the end record, no drawing
    DeleteEnhMetaFile(recorded);

    CComPtr<IViewObjectEx> view;
    ASSERT_EQ(S_OK, view.QueryFrom(m_control));
    RECTL bounds = {0, 0, 20, 20};
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr,
                                       nullptr, 0));
    EXPECT_EQ(DV_E_DVASPECT, view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, canvas.Dc(), &bounds, nullptr,
                                        nullptr, 0));
    // Not in place active: the host must say where to draw.
    EXPECT_EQ(E_INVALIDARG, view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.Dc(), nullptr,
                                       nullptr, nullptr, 0));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 20, 20}, kBlack));
}

TEST_F(ControlTest, AnimatedGifShowsTheFrameDueAtEachRepaint)
{
    // Frames: red 100 ms, lime 200 ms, blue 300 ms.
    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"anim.gif")));
    DibCanvas canvas(20, 10);
    RECT all = {0, 0, 20, 10};
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), all));
    EXPECT_TRUE(canvas.AreaIs(all, kRed));
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), all));
    EXPECT_TRUE(canvas.AreaIs(all, kRed));
    Sleep(150);
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), all));
    EXPECT_TRUE(canvas.AreaIs(all, kLime));
    Sleep(250);
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), all));
    EXPECT_TRUE(canvas.AreaIs(all, kBlue));

    // Loading the same file again starts at the first frame (the record is reused).
    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"anim.gif")));
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), all));
    EXPECT_TRUE(canvas.AreaIs(all, kRed));
}

TEST_F(ControlTest, AMissingFileKeepsThePreviousPicture)
{
    ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"red.png")));
    std::wstring missing = PictureFile(L"missing.png");
    EXPECT_EQ(S_FALSE, Load(m_control, missing));
    EXPECT_EQ(40, m_control->GetWidth());
    EXPECT_EQ(missing, ImagePath());
    DibCanvas canvas(8, 8);
    ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), {0, 0, 8, 8}));
    EXPECT_TRUE(canvas.AreaIs({0, 0, 8, 8}, kRed));

    EXPECT_EQ(S_FALSE, m_control->LoadImage(nullptr, 0));
    EXPECT_EQ(L"", ImagePath());
    EXPECT_EQ(40, m_control->GetWidth());
}

TEST_F(ControlTest, BadFilesAreRefusedAndLeaveNoPicture)
{
    TempFolder folder(L"img");
    std::string png = FileBytes(PictureFile(L"red.png"));
    std::string gif = FileBytes(PictureFile(L"anim.gif"));
    ASSERT_FALSE(png.empty());
    ASSERT_FALSE(gif.empty());
    struct Case {
        const wchar_t* name;
        std::string bytes;
    } cases[] = {
        {L"empty.png", ""},
        {L"text.jpg", "this is not a picture\r\n"},
        {L"header-only.png", png.substr(0, 8)},
        {L"noise.gif", std::string(300, '\x5A')},
        {L"gif-head.gif", gif.substr(0, 13)},
    };
    for (const Case& c : cases) {
        std::wstring path = folder.File(c.name).GetString();
        ASSERT_TRUE(WriteFileBytes(path.c_str(), c.bytes));
        ASSERT_EQ(S_OK, Load(m_control, PictureFile(L"red.png")));
        EXPECT_EQ(S_FALSE, Load(m_control, path)) << c.name;
        EXPECT_EQ(0, m_control->GetWidth()) << c.name;
        DibCanvas canvas(8, 8);
        ASSERT_TRUE(DrawControl(m_control, canvas.Dc(), {0, 0, 8, 8}));
        EXPECT_TRUE(canvas.AreaIs({0, 0, 8, 8}, kBlack)) << c.name;
    }
    // A folder exists but is no picture.
    EXPECT_EQ(S_FALSE, Load(m_control, folder.Path().GetString()));
    EXPECT_EQ(0, m_control->GetWidth());
}

TEST_F(ControlTest, TruncatedPicturesNeverCrashLoadingOrDrawing)
{
    TempFolder folder(L"cut");
    for (const wchar_t* name : {L"anim.gif", L"red.png", L"green.jpg"}) {
        std::string bytes = FileBytes(PictureFile(name));
        for (size_t length = 0; length < bytes.size(); length += (bytes.size() > 160 ? 7 : 1)) {
            wchar_t file[64];
            swprintf(file, 64, L"cut%u_%ls", static_cast<unsigned>(length), name);
            std::wstring path = folder.File(file).GetString();
            ASSERT_TRUE(WriteFileBytes(path.c_str(), bytes.substr(0, length)));
            HRESULT hr = Load(m_control, path);
            ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << length;
            DibCanvas canvas(8, 8);
            EXPECT_TRUE(DrawControl(m_control, canvas.Dc(), {0, 0, 8, 8}));
        }
    }
}

TEST_F(ControlTest, ImagePathNeedsRoomForTheTerminatorInAWritableBuffer)
{
    std::wstring path = PictureFile(L"red.png");
    ASSERT_EQ(S_OK, Load(m_control, path));
    LONG length = static_cast<LONG>(path.size());
    std::vector<wchar_t> buffer(path.size() + 8, L'#');
    char* bytes = reinterpret_cast<char*>(buffer.data());
    EXPECT_EQ(S_FALSE, m_control->GetImagePath(bytes, length));
    EXPECT_EQ(L'#', buffer[0]);
    EXPECT_EQ(S_FALSE, m_control->GetImagePath(bytes, 0));
    EXPECT_EQ(S_FALSE, m_control->GetImagePath(bytes, -1));
    ASSERT_EQ(S_OK, m_control->GetImagePath(bytes, length + 1));
    EXPECT_EQ(path, std::wstring(buffer.data()));
    EXPECT_EQ(L'#', buffer[length + 1]);
    EXPECT_EQ(S_FALSE, m_control->GetImagePath(nullptr, length + 1));

    // A read-only page is refused rather than written.
    void* page = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
    ASSERT_NE(nullptr, page);
    EXPECT_EQ(S_FALSE, m_control->GetImagePath(static_cast<char*>(page), length + 1));
    EXPECT_EQ(S_FALSE, m_control->get_ObjectID(static_cast<ULONG*>(page)));
    VirtualFree(page, 0, MEM_RELEASE);
    EXPECT_EQ(S_FALSE, m_control->get_ObjectID(nullptr));

    // A new control's ObjectID is 0; OnDeleteObject leaves a set one alone (set and read through IDispatch too).
    ULONG id = 1;
    EXPECT_EQ(S_OK, m_control->get_ObjectID(&id));
    EXPECT_EQ(0u, id);
    EXPECT_EQ(S_OK, m_control->put_ObjectID(7));
    EXPECT_EQ(S_OK, m_control->OnDeleteObject());
    EXPECT_EQ(7u, (m_control->get_ObjectID(&id), id));
}

TEST_F(ControlTest, ExtentPersistsThroughStreamAndStorage)
{
    CComPtr<IOleObject> ole;
    ASSERT_EQ(S_OK, ole.QueryFrom(m_control));
    CComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, persist.QueryFrom(m_control));
    EXPECT_EQ(S_OK, persist->InitNew());
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    SIZEL size = {5000, 3000};
    ASSERT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(S_OK, persist->IsDirty());
    SIZEL bad = {0, 10};
    EXPECT_EQ(E_INVALIDARG, ole->SetExtent(DVASPECT_CONTENT, &bad));
    EXPECT_EQ(DV_E_DVASPECT, ole->SetExtent(DVASPECT_ICON, &size));
    ULARGE_INTEGER max = {};
    ASSERT_EQ(S_OK, persist->GetSizeMax(&max));
    EXPECT_EQ(12u, max.QuadPart);

    CComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, persist->Save(stream, TRUE));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(12u, stat.cbSize.QuadPart);

    CComPtr<ILVImageCtl> other = CreateControl();
    ASSERT_TRUE(other);
    CComPtr<IPersistStreamInit> otherPersist;
    ASSERT_EQ(S_OK, otherPersist.QueryFrom(other));
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(S_OK, otherPersist->Load(stream));
    CComPtr<IOleObject> otherOle;
    ASSERT_EQ(S_OK, otherOle.QueryFrom(other));
    SIZEL loaded = {};
    ASSERT_EQ(S_OK, otherOle->GetExtent(DVASPECT_CONTENT, &loaded));
    EXPECT_EQ(5000, loaded.cx);
    EXPECT_EQ(3000, loaded.cy);

    // Short or foreign streams are refused and change nothing.
    const DWORD foreign[3] = {0x12345678, 10, 10};
    const DWORD negative[3] = {0x00010000, 0xFFFFFFF0, 10};
    struct Case {
        const void* bytes;
        ULONG size;
    } cases[] = {{foreign, 8}, {foreign, 12}, {negative, 12}, {foreign, 0}};
    for (const Case& c : cases) {
        CComPtr<IStream> bad;
        ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &bad));
        bad->Write(c.bytes, c.size, nullptr);
        bad->Seek(zero, STREAM_SEEK_SET, nullptr);
        EXPECT_EQ(E_FAIL, otherPersist->Load(bad));
        ASSERT_EQ(S_OK, otherOle->GetExtent(DVASPECT_CONTENT, &loaded));
        EXPECT_EQ(5000, loaded.cx);
    }

    CComPtr<ILockBytes> bytes;
    ASSERT_EQ(S_OK, CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes));
    CComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                                 &storage));
    CComPtr<IPersistStorage> persistStorage;
    ASSERT_EQ(S_OK, persistStorage.QueryFrom(m_control));
    ASSERT_EQ(S_OK, persistStorage->Save(storage, TRUE));
    CComPtr<IPersistStorage> otherStorage;
    ASSERT_EQ(S_OK, otherStorage.QueryFrom(CreateControl()));
    ASSERT_EQ(S_OK, otherStorage->Load(storage));
    CLSID clsid = {};
    EXPECT_EQ(S_OK, otherStorage->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_LVImageCtl, clsid));
}

TEST_F(ControlTest, ViewAdviseHitTestsAndSiteBookkeeping)
{
    CComPtr<IViewObjectEx> view;
    ASSERT_EQ(S_OK, view.QueryFrom(m_control));
    RECT bounds = {10, 10, 50, 40};
    DWORD hit = 0;
    ASSERT_EQ(S_OK, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, {20, 20}, 0, &hit));
    EXPECT_EQ(static_cast<DWORD>(HITRESULT_HIT), hit);
    ASSERT_EQ(S_OK, view->QueryHitPoint(DVASPECT_CONTENT, &bounds, {50, 20}, 0, &hit));
    EXPECT_EQ(static_cast<DWORD>(HITRESULT_OUTSIDE), hit);
    RECT probe = {0, 0, 11, 11};
    ASSERT_EQ(S_OK, view->QueryHitRect(DVASPECT_CONTENT, &bounds, &probe, 0, &hit));
    EXPECT_EQ(static_cast<DWORD>(HITRESULT_HIT), hit);

    CComPtr<IObjectWithSite> withSite;
    ASSERT_EQ(S_OK, withSite.QueryFrom(m_control));
    CComPtr<IUnknown> site;
    EXPECT_EQ(E_FAIL, withSite->GetSite(IID_IUnknown, (void**)&site));
    CComPtr<IStream> anything;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &anything));
    ASSERT_EQ(S_OK, withSite->SetSite(anything));
    ASSERT_EQ(S_OK, withSite->GetSite(IID_IStream, (void**)&site));
    EXPECT_EQ(static_cast<IUnknown*>(anything.Get()), site.Get());
    site.Release();
    ASSERT_EQ(S_OK, withSite->SetSite(nullptr));

    CComPtr<ISpecifyPropertyPages> pages;
    ASSERT_EQ(S_OK, pages.QueryFrom(m_control));
    CAUUID list = {5, reinterpret_cast<GUID*>(1)};
    ASSERT_EQ(S_OK, pages->GetPages(&list));
    EXPECT_EQ(0u, list.cElems);
    EXPECT_EQ(nullptr, list.pElems);
}

}  // namespace
