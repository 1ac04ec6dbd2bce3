#include "media/video/Graph.h"

#include "media/video/VideoLog.h"

#include <cwchar>

CxGraph::~CxGraph()
{
    ReleaseGraph();
}

void CxGraph::ReleaseGraph()
{
    m_mediaFilter.Reset();
    m_event.Reset();
    m_control.Reset();
    m_builder.Reset();
    m_graph.Reset();
}

HRESULT CxGraph::CreateGraphBuilder()
{
    ReleaseGraph();
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.OutVoid());
    if (FAILED(hr)) {
        VideoLog("CxGraph::CreateGraphBuilder failed hr = %x\r\n", hr);
    } else if (FAILED(hr = m_graph->QueryInterface(IID_IMediaControl, m_control.OutVoid()))) {
        VideoLog("Err: CxGraph::qury mediacontrol hr = %x\r\n", hr);
    } else if (FAILED(hr = m_graph->QueryInterface(IID_IMediaEventEx, m_event.OutVoid()))) {
        VideoLog("Err: Query MedaiEvent failed = %x\r\n", hr);
    } else if (FAILED(hr = m_graph->QueryInterface(IID_IMediaFilter, m_mediaFilter.OutVoid()))) {
        VideoLog("Err: Query mediafileter failed = %x\r\n", hr);
    } else if (FAILED(hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_ICaptureGraphBuilder2, m_builder.OutVoid()))) {
        VideoLog("Err: create capgrpbuilder2 failed = %x\r\n", hr);
    } else if (FAILED(hr = m_builder->SetFiltergraph(m_graph.Get()))) {
        VideoLog("Err: set graph = %x\r\n", hr);
    }
    if (FAILED(hr))
        ReleaseGraph();
    return hr;
}

bool ReadFriendlyName(IMoniker* moniker, wchar_t* name, int chars)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid())))
        return false;
    VARIANT value;
    VariantInit(&value);
    bool ok = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal;
    if (ok)
        lstrcpynW(name, value.bstrVal, chars);
    VariantClear(&value);
    return ok;
}

HRESULT CxGraph::FindFilter(REFCLSID category, int index, IBaseFilter** filter, wchar_t* name)
{
    *filter = nullptr;
    if (name)
        name[0] = L'\0';
    ComPtr<ICreateDevEnum> devices;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  devices.OutVoid());
    if (FAILED(hr)) {
        VideoLog("Err: CxGraph::FindFilter( CoCreateInstance(IID_ICreateDevEnum) ) hr = %x\r\n!!", hr);
        return hr;
    }
    ComPtr<IEnumMoniker> monikers;
    hr = devices->CreateClassEnumerator(category, monikers.Out(), 0);
    if (hr != S_OK) {
        // S_FALSE: the category is empty.
        VideoLog("Err: CxGraph::FindFilter( 2 CreateClassEnumerator() ) hr = %x\r\n!!", hr);
        return FAILED(hr) ? hr : E_FAIL;
    }
    if (index < 0)
        return E_INVALIDARG;
    // Walked one by one: not every enumerator's Skip moves the position.
    ComPtr<IMoniker> moniker;
    for (int position = 0; position <= index; ++position) {
        ULONG fetched = 0;
        if (monikers->Next(1, moniker.Out(), &fetched) != S_OK || !moniker)
            return S_FALSE;
    }
    wchar_t friendly[kDeviceNameChars] = {};
    ReadFriendlyName(moniker.Get(), friendly, kDeviceNameChars);
    hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
    if (FAILED(hr)) {
        *filter = nullptr;
        return hr;
    }
    if (name)
        lstrcpynW(name, friendly, kDeviceNameChars);
    VideoLog("CxGraph::FindFilter( \"%s\" )", LogText(friendly).c_str());
    return S_OK;
}

HRESULT CxGraph::AddFilter(IBaseFilter* filter, const wchar_t* name)
{
    if (!m_graph)
        return E_POINTER;
    if (!filter)
        return E_INVALIDARG;
    return m_graph->AddFilter(filter, name);
}

IPin* CxGraph::GetPin(IBaseFilter* filter, PIN_DIRECTION direction, int n)
{
    if (!filter || n < 1)
        return nullptr;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Out())))
        return nullptr;
    int seen = 0;
    for (;;) {
        ComPtr<IPin> pin;
        if (pins->Next(1, pin.Out(), nullptr) != S_OK)
            return nullptr;
        PIN_DIRECTION pinDirection;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction && ++seen == n)
            return pin.Detach();
    }
}

IPin* CxGraph::FindCapturePin(IBaseFilter* filter)
{
    for (int n = 1;; ++n) {
        ComPtr<IPin> pin;
        pin.Attach(GetPin(filter, PINDIR_OUTPUT, n));
        if (!pin)
            return nullptr;
        ComPtr<IKsPropertySet> properties;
        if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.OutVoid())))
            continue;
        GUID category = GUID_NULL;
        DWORD returned = 0;
        if (SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                      sizeof(category), &returned)) &&
            returned == sizeof(category) && category == PIN_CATEGORY_CAPTURE)
            return pin.Detach();
    }
}

HRESULT CxGraph::ConnectFilters(IBaseFilter* downstream, int inputNumber, IBaseFilter* upstream)
{
    if (!m_graph)
        return E_POINTER;
    ComPtr<IPin> output;
    output.Attach(GetPin(upstream, PINDIR_OUTPUT, 1));
    ComPtr<IPin> input;
    input.Attach(GetPin(downstream, PINDIR_INPUT, inputNumber));
    if (!output || !input)
        return E_FAIL;
    return m_graph->Connect(output.Get(), input.Get());
}

HRESULT CxGraph::CreateVideoRenderer(IBaseFilter** renderer)
{
    *renderer = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_VideoMixingRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(renderer));
    if (SUCCEEDED(hr)) {
        VideoLog("Warn: mix render!\r\n");
        return hr;
    }
    hr = CoCreateInstance(CLSID_VideoRendererDefault, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(renderer));
    if (SUCCEEDED(hr)) {
        VideoLog("Warn: def render!\r\n");
        return hr;
    }
    hr = CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(renderer));
    VideoLog("Warn: old render!\r\n");
    if (FAILED(hr))
        *renderer = nullptr;
    return hr;
}

HRESULT CxGraph::ChangeScreen(HWND window)
{
    if (!m_graph)
        return E_POINTER;
    ComPtr<IVideoWindow> video;
    HRESULT hr = m_graph->QueryInterface(IID_IVideoWindow, video.OutVoid());
    if (FAILED(hr)) {
        VideoLog("Err: Query videowindow hr = %x\r\n", hr);
        return hr;
    }
    if (!window) {
        video->put_Visible(OAFALSE);
        return video->put_Owner(0);
    }
    hr = video->put_Owner(reinterpret_cast<OAHWND>(window));
    if (FAILED(hr))
        return hr;
    hr = video->put_WindowStyle(WS_CHILD);
    if (FAILED(hr))
        return hr;
    RECT client = {};
    GetClientRect(window, &client);
    hr = video->SetWindowPosition(0, 0, client.right - client.left, client.bottom - client.top);
    if (FAILED(hr))
        return hr;
    return video->put_Visible(OATRUE);
}

int CxGraph::SaveGraphBuilder()
{
    const wchar_t* path = L"c:\\lumenvale.grf";
    if (!m_graph) {
        VideoLog("CxGraph::SaveGraphBuilder( 1 ) ERROR!!");
        return 0;
    }
    ComPtr<IStorage> storage;
    HRESULT hr = StgCreateDocfile(path, STGM_CREATE | STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                  0, storage.Out());
    if (FAILED(hr)) {
        VideoLog("CxGraph::SaveGraphBuilder( 2 ) ERROR!!");
        return 0;
    }
    ComPtr<IStream> stream;
    hr = storage->CreateStream(L"ActiveMovieGraph", STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE, 0, 0,
                               stream.Out());
    if (FAILED(hr)) {
        VideoLog("CxGraph::SaveGraphBuilder( 3 ) ERROR!!");
        return 0;
    }
    ComPtr<IPersistStream> persist;
    hr = m_graph->QueryInterface(IID_IPersistStream, persist.OutVoid());
    if (FAILED(hr)) {
        VideoLog("CxGraph::SaveGraphBuilder( 4 ) ERROR!!");
        return 0;
    }
    hr = persist->Save(stream.Get(), TRUE);
    if (FAILED(hr)) {
        VideoLog("CxGraph::SaveGraphBuilder( 5 ) ERROR!!");
        return 0;
    }
    hr = storage->Commit(STGC_DEFAULT);
    if (FAILED(hr)) {
        VideoLog("CxGraph::SaveGraphBuilder( 6 ) ERROR!!");
        return 0;
    }
    VideoLog("CxGraph::SaveGraphBuilder( \"%s\" )", LogText(path).c_str());
    return 1;
}
