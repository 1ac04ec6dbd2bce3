// Speed goals of the video library, measured on the real graph (sample grabber into the null renderer):
// - the recorder's source ticks at its frame rate: mean interval within 2 ms of the period, no interval
//   longer than the period plus 20 ms, stamps contiguous;
// - pushing a 1280 x 720 I420 frame (three planes copied) costs under 5 ms.
// Prints the measurements; the exit code is 1 when a goal is missed.
#include "bench/BenchClock.h"
#include "media/video/DataSource.h"
#include "media/video/Graph.h"
#include "media/video/VideoRender.h"
#include "platform/dshow/DsMediaType.h"

#include <cstdio>
#include <mutex>
#include <vector>

namespace {

class Timing : public ISampleGrabberCB {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override
    {
        *out = this;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return S_OK; }
    STDMETHODIMP SampleCB(double, IMediaSample* sample) override
    {
        REFERENCE_TIME start = 0;
        REFERENCE_TIME stop = 0;
        sample->GetTime(&start, &stop);
        std::lock_guard<std::mutex> guard(lock);
        arrivals.push_back(NowMs());
        starts.push_back(start);
        stops.push_back(stop);
        return S_OK;
    }
    std::mutex lock;
    std::vector<double> arrivals;
    std::vector<REFERENCE_TIME> starts;
    std::vector<REFERENCE_TIME> stops;
};

// source -> sample grabber -> null renderer, running.
struct BenchGraph {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> grabberFilter;
    ComPtr<IBaseFilter> nullRenderer;
    ComPtr<ISampleGrabber> grabber;
    ComPtr<IMediaControl> control;

    HRESULT Build(IBaseFilter* source, const GUID& subtype, Timing* timing)
    {
        HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                      graph.OutVoid());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  grabberFilter.OutVoid());
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  nullRenderer.OutVoid());
        if (SUCCEEDED(hr))
            hr = grabberFilter->QueryInterface(IID_ISampleGrabber, grabber.OutVoid());
        if (FAILED(hr))
            return hr;
        CMediaType type(&MEDIATYPE_Video);
        type.SetSubtype(&subtype);
        grabber->SetMediaType(&type);
        grabber->SetCallback(timing, 0);
        graph->AddFilter(source, L"source");
        graph->AddFilter(grabberFilter.Get(), L"grabber");
        graph->AddFilter(nullRenderer.Get(), L"null");
        if (FAILED(hr = Connect(source, grabberFilter.Get())) || FAILED(hr = Connect(grabberFilter.Get(), nullRenderer.Get())))
            return hr;
        // The writer the source feeds takes samples as they come; the null renderer would wait for
        // each sample's time instead, so the graph runs without a clock.
        ComPtr<IMediaFilter> unclocked;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaFilter, unclocked.OutVoid())))
            unclocked->SetSyncSource(nullptr);
        if (FAILED(hr = graph->QueryInterface(IID_IMediaControl, control.OutVoid())))
            return hr;
        return control->Run();
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
    void Stop()
    {
        if (control)
            control->Stop();
        if (grabber)
            grabber->SetCallback(nullptr, 0);
    }
};

bool TickRegularity(int framesPerSecond)
{
    HRESULT created = S_OK;
    auto* source = new CxDataSourceFilter(&created);
    BITMAPINFOHEADER format = {};
    format.biWidth = 640;
    format.biHeight = 480;
    format.biBitCount = 12;
    format.biCompression = kFourCcI420;
    source->SetFormat(&format, 500, framesPerSecond);
    Timing timing;
    BenchGraph graph;
    HRESULT hr = graph.Build(static_cast<IBaseFilter*>(source), MEDIASUBTYPE_I420, &timing);
    if (FAILED(hr)) {
        printf("recorder source graph failed: %lx\n", static_cast<unsigned long>(hr));
        source->NonDelegatingRelease();
        return false;
    }
    source->SetState(1);
    Sleep(3000);
    source->SetState(0);
    source->StopTimer();
    graph.Stop();

    std::lock_guard<std::mutex> guard(timing.lock);
    double period = 1000.0 / framesPerSecond;
    size_t count = timing.arrivals.size();
    double longest = 0;
    bool contiguous = count > 0 && timing.starts[0] == 0;
    for (size_t i = 1; i < count; ++i) {
        double interval = timing.arrivals[i] - timing.arrivals[i - 1];
        if (interval > longest)
            longest = interval;
        contiguous = contiguous && timing.starts[i] == timing.stops[i - 1];
    }
    double mean = count > 1 ? (timing.arrivals.back() - timing.arrivals.front()) / static_cast<double>(count - 1) : 0;
    uint32_t timerPeriod = 1000 / static_cast<uint32_t>(framesPerSecond);
    bool ok = count > 1 && mean > timerPeriod - 2.0 && mean < timerPeriod + 2.0 && longest < period + 20.0 &&
              contiguous;
    printf("recorder source %2d fps: %zu samples, mean interval %.2f ms (timer %u ms), longest %.2f ms, "
           "stamps %s -> %s\n",
           framesPerSecond, count, mean, timerPeriod, longest, contiguous ? "contiguous" : "GAPPED",
           ok ? "ok" : "MISSED");
    graph = BenchGraph();
    source->NonDelegatingRelease();
    return ok;
}

bool I420PushCost()
{
    const int width = 1280;
    const int height = 720;
    HRESULT created = S_OK;
    auto* source = new CxVideoDataFilter(&created);
    BITMAPINFOHEADER format = {};
    format.biWidth = width;
    format.biHeight = height;
    format.biBitCount = 12;
    source->SetFormat(&format);
    Timing timing;
    BenchGraph graph;
    if (FAILED(graph.Build(static_cast<IBaseFilter*>(source), MEDIASUBTYPE_I420, &timing))) {
        printf("push graph failed\n");
        source->NonDelegatingRelease();
        return false;
    }
    std::vector<BYTE> y(static_cast<size_t>(width * height), 0x50);
    std::vector<BYTE> u(static_cast<size_t>(width * height / 4), 0x60);
    std::vector<BYTE> v(static_cast<size_t>(width * height / 4), 0x70);
    int strides[3] = {width, width / 2, width / 2};
    const int frames = 200;
    double begin = NowMs();
    int delivered = 0;
    for (int i = 0; i < frames; ++i)
        delivered += SUCCEEDED(source->Draw(nullptr, y.data(), u.data(), v.data(), strides, 0, width, height, 12, i & 1));
    double each = (NowMs() - begin) / frames;
    graph.Stop();
    bool ok = delivered == frames && each < 5.0;
    printf("I420 push %dx%d: %d of %d delivered, %.3f ms a frame -> %s\n", width, height, delivered, frames, each,
           ok ? "ok" : "MISSED");
    graph = BenchGraph();
    source->NonDelegatingRelease();
    return ok;
}

} // namespace

int wmain()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 2;
    bool ok = TickRegularity(15);
    ok = TickRegularity(30) && ok;
    ok = I420PushCost() && ok;
    CoUninitialize();
    return ok ? 0 : 1;
}
