// Pushed frames: RGB32 into a real window, I420 byte-exact through the sample grabber, refused formats.
#include "tests/video/VideoTestSupport.h"

#include "media/video/VideoRender.h"
#include "platform/dshow/DsMediaType.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

BITMAPINFOHEADER Format(int width, int height, int bits)
{
    BITMAPINFOHEADER header = {};
    header.biWidth = width;
    header.biHeight = height;
    header.biBitCount = static_cast<WORD>(bits);
    return header;
}

// Four coloured quadrants, bottom-up as a bitmap lies in memory.
std::vector<uint32_t> Quadrants(int width, int height)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width * height));
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
            bool top = row >= height / 2; // memory rows from the bottom
            bool left = x < width / 2;
            uint32_t colour = top ? (left ? 0xFF0000u : 0x00FF00u) : (left ? 0x0000FFu : 0xFFFFFFu);
            pixels[row * width + x] = colour;
        }
    }
    return pixels;
}

class RenderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        ASSERT_TRUE(dll.Loaded());
        handle = dll.renderCreate();
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override { dll.renderDestroy(&handle); }

    ComScope com;
    VidlatchDll dll;
    void* handle = nullptr;
};

TEST_F(RenderTest, Rgb32FramesAppearInTheWindow)
{
    ScopedGdiRenderers gdi;
    ASSERT_TRUE(gdi.Ok());
    TestWindow window(1100, 600, 320, 240);
    ASSERT_NE(window.Handle(), nullptr);
    BITMAPINFOHEADER format = Format(320, 240, 32);
    ASSERT_EQ(dll.renderStart(handle, &format, window.Handle()), 1);
    std::vector<uint32_t> frame = Quadrants(320, 240);
    int strides[3] = {0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(dll.renderDraw(handle, reinterpret_cast<BYTE*>(frame.data()), nullptr, nullptr, nullptr, strides,
                                 static_cast<int>(frame.size() * 4), 320, 240, 32, 0),
                  1);
        Pump(60);
    }
    Pump(GetEnvironmentVariableW(L"LV_HOLD", nullptr, 0) ? 6000 : 200);
    EXPECT_EQ(window.ScreenPixel(80, 60), 0xFF0000u);
    EXPECT_EQ(window.ScreenPixel(240, 60), 0x00FF00u);
    EXPECT_EQ(window.ScreenPixel(80, 180), 0x0000FFu);
    EXPECT_EQ(window.ScreenPixel(240, 180), 0xFFFFFFu);

    // Detached, the video leaves the window; attached again, it comes back.
    EXPECT_EQ(dll.renderChangeScreen(handle, nullptr), 1);
    EXPECT_EQ(dll.renderChangeScreen(handle, window.Handle()), 1);
}

TEST_F(RenderTest, FormatsAndFramesItCannotShowAreRefused)
{
    TestWindow window(1100, 600, 160, 120);
    std::vector<uint32_t> frame(320 * 240, 0x123456);
    auto draw = [&](int length, int width, int height, int bits) {
        int strides[3] = {};
        return dll.renderDraw(handle, reinterpret_cast<BYTE*>(frame.data()), nullptr, nullptr, nullptr, strides,
                              length, width, height, bits, 0);
    };
    // Formats without a media type, or top-down, fail to start; with no graph a draw answers 0.
    for (BITMAPINFOHEADER format : {Format(160, 120, 16), Format(160, 120, 24), Format(160, -120, 32)})
        EXPECT_EQ(dll.renderStart(handle, &format, window.Handle()), 0) << format.biBitCount;
    EXPECT_EQ(draw(160 * 120 * 4, 160, 120, 32), 0);

    BITMAPINFOHEADER format = Format(160, 120, 32);
    ASSERT_EQ(dll.renderStart(handle, &format, window.Handle()), 1);
    EXPECT_EQ(draw(320 * 240 * 4, 320, 240, 32), 0);
    EXPECT_EQ(draw(160 * 120 * 4, 160, 121, 32), 0);
    EXPECT_EQ(draw(160 * 120 * 4, 160, 120, 12), 0);
    EXPECT_EQ(draw(160 * 120 * 4, 160, 120, 32), 1);
    // A longer buffer than the frame is cut at the frame size.
    EXPECT_EQ(draw(320 * 240 * 4, 160, 120, 32), 1);
}

// Push source -> sample grabber (I420) -> null renderer: the bytes that leave the source.
class GrabbedFrames : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
    STDMETHODIMP BufferCB(double, BYTE* data, long length) override
    {
        std::lock_guard<std::mutex> guard(lock);
        last.assign(data, data + length);
        ++count;
        return S_OK;
    }
    std::mutex lock;
    std::vector<BYTE> last;
    int count = 0;
};

class I420Graph : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(com.Ok());
        HRESULT created = S_OK;
        source = new CxVideoDataFilter(&created);
        ASSERT_EQ(created, S_OK);
        BITMAPINFOHEADER format = Format(kWidth, kHeight, 12);
        ASSERT_EQ(source->SetFormat(&format), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   graph.OutVoid()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   grabberFilter.OutVoid()),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   nullRenderer.OutVoid()),
                  S_OK);
        ASSERT_EQ(grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.OutVoid()), S_OK);
        CMediaType type(&MEDIATYPE_Video);
        type.SetSubtype(&MEDIASUBTYPE_I420);
        ASSERT_EQ(grabber->SetMediaType(&type), S_OK);
        ASSERT_EQ(grabber->SetBufferSamples(FALSE), S_OK);
        ASSERT_EQ(grabber->SetCallback(&frames, 1), S_OK);
        ASSERT_EQ(graph->AddFilter(static_cast<IBaseFilter*>(source), L"source"), S_OK);
        ASSERT_EQ(graph->AddFilter(grabberFilter.Get(), L"grabber"), S_OK);
        ASSERT_EQ(graph->AddFilter(nullRenderer.Get(), L"null"), S_OK);
        ASSERT_EQ(Connect(static_cast<IBaseFilter*>(source), grabberFilter.Get()), S_OK);
        ASSERT_EQ(Connect(grabberFilter.Get(), nullRenderer.Get()), S_OK);
        ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, control.OutVoid()), S_OK);
        ASSERT_TRUE(SUCCEEDED(control->Run()));
    }
    void TearDown() override
    {
        if (control)
            control->Stop();
        if (grabber)
            grabber->SetCallback(nullptr, 1);
        control.Reset();
        graph.Reset();
        if (source)
            source->NonDelegatingRelease();
    }
    HRESULT Connect(IBaseFilter* upstream, IBaseFilter* downstream)
    {
        ComPtr<IPin> out;
        out.Attach(CxGraph::GetPin(upstream, PINDIR_OUTPUT, 1));
        ComPtr<IPin> in;
        in.Attach(CxGraph::GetPin(downstream, PINDIR_INPUT, 1));
        if (!out || !in)
            return E_FAIL;
        return graph->ConnectDirect(out.Get(), in.Get(), nullptr);
    }
    bool WaitFrame(int count)
    {
        return PumpUntil([&] {
            std::lock_guard<std::mutex> guard(frames.lock);
            return frames.count >= count;
        }, 3000);
    }

    static const int kWidth = 16;
    static const int kHeight = 8;
    ComScope com;
    CxVideoDataFilter* source = nullptr;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<IBaseFilter> nullRenderer;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;
    GrabbedFrames frames;
};

// Planes with padding beyond the row, filled so that every byte tells plane, row and column.
struct Planes {
    Planes(int width, int height, int padding)
        : strides{width + padding, width / 2 + padding, width / 2 + padding}, rows{height, height / 2, height / 2}
    {
        for (int p = 0; p < 3; ++p) {
            data[p].resize(static_cast<size_t>(strides[p] * rows[p]));
            for (int r = 0; r < rows[p]; ++r) {
                for (int c = 0; c < strides[p]; ++c)
                    data[p][r * strides[p] + c] = static_cast<BYTE>((p << 6) | ((r & 7) << 3) | (c & 7)) ^
                                                  static_cast<BYTE>(c >> 3);
            }
        }
    }
    std::vector<BYTE> Expected(int width, bool flip) const
    {
        std::vector<BYTE> out;
        int widths[3] = {width, width / 2, width / 2};
        for (int p = 0; p < 3; ++p) {
            for (int r = 0; r < rows[p]; ++r) {
                int from = flip ? rows[p] - 1 - r : r;
                const BYTE* row = data[p].data() + from * strides[p];
                out.insert(out.end(), row, row + widths[p]);
            }
        }
        return out;
    }
    int strides[3];
    int rows[3];
    std::vector<BYTE> data[3];
};

TEST_F(I420Graph, PlanesArrivePackedAndByteExactInBothRowOrders)
{
    Planes planes(kWidth, kHeight, 5);
    for (int flip : {0, 1}) {
        int before = frames.count;
        ASSERT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), planes.data[2].data(),
                               planes.strides, 0, kWidth, kHeight, 12, flip),
                  S_OK);
        ASSERT_TRUE(WaitFrame(before + 1));
        std::lock_guard<std::mutex> guard(frames.lock);
        EXPECT_EQ(frames.last, planes.Expected(kWidth, flip != 0)) << "flip " << flip;
    }
}

TEST_F(I420Graph, MissingPlanesSendTheBufferUnchangedAndNarrowStridesAreRefused)
{
    Planes planes(kWidth, kHeight, 0);
    ASSERT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), planes.data[2].data(),
                           planes.strides, 0, kWidth, kHeight, 12, 0),
              S_OK);
    ASSERT_TRUE(WaitFrame(1));
    std::vector<BYTE> first = frames.last;

    // Without the V plane, or with a zero stride, the one buffer goes out as it was.
    ASSERT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), nullptr, planes.strides, 0,
                           kWidth, kHeight, 12, 1),
              S_OK);
    ASSERT_TRUE(WaitFrame(2));
    int zero[3] = {kWidth, 0, kWidth / 2};
    ASSERT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), planes.data[2].data(), zero, 0,
                           kWidth, kHeight, 12, 1),
              S_OK);
    ASSERT_TRUE(WaitFrame(3));
    {
        std::lock_guard<std::mutex> guard(frames.lock);
        EXPECT_EQ(frames.last.size(), static_cast<size_t>(kWidth * kHeight * 3 / 2));
        EXPECT_EQ(frames.last, first);
    }

    // A stride shorter than the plane's row would read past the caller's rows.
    int narrow[3] = {kWidth - 1, kWidth / 2, kWidth / 2};
    EXPECT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), planes.data[2].data(), narrow, 0,
                           kWidth, kHeight, 12, 0),
              E_INVALIDARG);
    // Another size than set is refused before any buffer is taken.
    EXPECT_EQ(source->Draw(nullptr, planes.data[0].data(), planes.data[1].data(), planes.data[2].data(),
                           planes.strides, 0, kWidth * 2, kHeight, 12, 0),
              E_POINTER);
    Pump(100);
    EXPECT_EQ(frames.count, 3);
}

} // namespace
