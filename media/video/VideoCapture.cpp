#include "media/video/VideoCapture.h"

#include "media/video/VideoLog.h"
#include "platform/dshow/DsMediaType.h"

#include <olectl.h>

namespace {

// Keeps the list aligned with the positions FindFilter counts.
const wchar_t kUnnamedDevice[] = L"Unnamed video device";

// Round trip through the ANSI code page, as the engine shows the names in narrow text.
CString ThroughAnsi(const wchar_t* name)
{
    std::string narrow = LogText(name);
    int chars = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    if (chars <= 0)
        return CString();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &wide[0], chars);
    return CString(wide.c_str());
}

// Capability records of video devices are VIDEO_STREAM_CONFIG_CAPS.
const int kVideoCapsSize = 128;
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == kVideoCapsSize, "caps record size");

} // namespace

CSampleGrabber::CSampleGrabber()
{
    header.biSize = 0;
}

STDMETHODIMP CSampleGrabber::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CSampleGrabber::SampleCB(double, IMediaSample*)
{
    return 0;
}

STDMETHODIMP CSampleGrabber::BufferCB(double sampleTime, BYTE* buffer, long length)
{
    if (length == 0)
        return 0;
    VideoFrameCallback call = callback;
    if (call && enabled) {
        if (soundForm)
            call(sampleTime, buffer, length, 1, user, nullptr, &wave, owner);
        else
            call(sampleTime, buffer, length, 1, user, &header, nullptr, owner);
    }
    return 0;
}

void CSampleGrabber::Reset()
{
    callback = nullptr;
    user = nullptr;
    owner = nullptr;
    enabled = 1;
}

CxVideoCapture::~CxVideoCapture()
{
    Release();
}

void CxVideoCapture::ReleaseInterfaces()
{
    m_renderer.Reset();
    m_grabber.Reset();
    m_grabberFilter.Reset();
    m_crossbar.Reset();
    m_procAmp.Reset();
    m_config.Reset();
    m_decoder.Reset();
    m_properties.Reset();
    m_device.Reset();
    m_compression = 0;
    m_width = m_height = m_bitCount = 0;
    m_framesPerSecond = 0;
}

void CxVideoCapture::Release()
{
    // The graph stops first: its streaming thread reads the callback until then.
    if (m_control) {
        m_control->StopWhenReady();
        m_control->Stop();
    }
    if (m_grabber)
        m_grabber->SetCallback(nullptr, 1);
    m_grabberCallback.Reset();
    ReleaseInterfaces();
    m_previewWindow = nullptr;
    Sleep(0);
    ReleaseGraph();
}

HRESULT CxVideoCapture::GetStandard()
{
    if (!m_decoder)
        return S_FALSE;
    long standard = 0;
    HRESULT hr = m_decoder->get_TVFormat(&standard);
    if (SUCCEEDED(hr))
        VideoLog("CxVideoCapture::GetStandard( %x )", standard);
    return hr;
}

HRESULT CxVideoCapture::SetFormat(int width, int height)
{
    if (!m_config) {
        VideoLog("CxVideoCapture::SetFormat( NULL ) ERROR!!");
        return E_POINTER;
    }
    int count = 0;
    int size = 0;
    HRESULT hr = m_config->GetNumberOfCapabilities(&count, &size);
    if (FAILED(hr))
        return hr;
    if (size != kVideoCapsSize)
        return E_UNEXPECTED;
    for (int i = 0; i < count; ++i) {
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        AM_MEDIA_TYPE* type = nullptr;
        if (m_config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)) != S_OK || !type)
            continue;
        CMediaType capability(*type);
        DeleteMediaType(type);
        // A block that is not a video-info header of full size says nothing about the size.
        const VIDEOINFOHEADER* info = capability.VideoInfo();
        if (!info) {
            VideoLog("Warn: capability %d has no video-info format, skipped\r\n", i);
            continue;
        }
        if (info->bmiHeader.biWidth == width && info->bmiHeader.biHeight == height &&
            SUCCEEDED(m_config->SetFormat(&capability)))
            break;
    }
    return GetFormat();
}

HRESULT CxVideoCapture::GetFormat()
{
    if (!m_config)
        return E_POINTER;
    AM_MEDIA_TYPE* type = nullptr;
    HRESULT hr = m_config->GetFormat(&type);
    if (FAILED(hr) || !type)
        return FAILED(hr) ? hr : E_FAIL;
    CMediaType current(*type);
    DeleteMediaType(type);
    const VIDEOINFOHEADER* info = current.VideoInfo();
    if (!info) {
        VideoLog("Err: device format is not video-info\r\n");
        return VFW_E_INVALIDMEDIATYPE;
    }
    m_compression = info->bmiHeader.biCompression;
    m_width = info->bmiHeader.biWidth;
    m_height = info->bmiHeader.biHeight;
    m_bitCount = info->bmiHeader.biBitCount;
    m_framesPerSecond = info->AvgTimePerFrame > 0 ? 10000000.0 / static_cast<double>(info->AvgTimePerFrame) : 0;
    return S_OK;
}

HRESULT CxVideoCapture::AddPreview(HWND preview)
{
    HRESULT hr = CreateVideoRenderer(m_renderer.Out());
    if (FAILED(hr)) {
        VideoLog("Err: Create video renderer failed = %x\r\n", hr);
        return hr;
    }
    hr = AddFilter(m_renderer.Get(), L"Video renderer");
    if (FAILED(hr)) {
        VideoLog("Err: Add video render hr = %x\r\n", hr);
        return hr;
    }
    hr = ConnectFilters(m_renderer.Get(), 1, m_grabberFilter.Get());
    if (FAILED(hr)) {
        VideoLog("Err: connect grabber to video render hr = %x\r\n", hr);
        return hr;
    }
    m_previewWindow = preview;
    hr = ChangeScreen(preview);
    if (FAILED(hr))
        VideoLog("Err: change screen hr = %x\r\n", hr);
    return hr;
}

HRESULT CxVideoCapture::Create(int deviceIndex, int width, int height, int framesPerSecond,
                               VideoFrameCallback callback, void* user, HWND preview)
{
    Release();
    (void)framesPerSecond; // the device keeps its own rate; the stored rate is read back from it
    m_deviceIndex = deviceIndex;

    HRESULT hr = CreateGraphBuilder();
    if (FAILED(hr))
        return hr;
    hr = FindFilter(CLSID_VideoInputDeviceCategory, deviceIndex, m_device.Out(), nullptr);
    if (hr != S_OK || !m_device) {
        VideoLog("Err: find dev = %d, hr = %x\r\r", deviceIndex, hr);
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = AddFilter(m_device.Get(), L"Video Cap");
    if (FAILED(hr)) {
        VideoLog("Err: Add VideoCap hr = %x\r\n", hr);
        return hr;
    }

    // Each of these is optional; devices offer what they have.
    if (SUCCEEDED(m_builder->FindInterface(nullptr, nullptr, m_device.Get(), IID_IKsPropertySet,
                                           m_properties.OutVoid())))
        VideoLog("CxVideoCapture::Create( FindInterface(IID_IKsPropertySet) )");
    if (SUCCEEDED(m_builder->FindInterface(nullptr, nullptr, m_device.Get(), IID_IAMAnalogVideoDecoder,
                                           m_decoder.OutVoid())))
        VideoLog("CxVideoCapture::Create( FindInterface(IID_IAMAnalogVideoDecoder) )");
    if (SUCCEEDED(m_builder->FindInterface(&LOOK_DOWNSTREAM_ONLY, nullptr, m_device.Get(), IID_IAMStreamConfig,
                                           m_config.OutVoid())))
        VideoLog("CxVideoCapture::Create( FindInterface(IID_IAMStreamConfig) )");
    if (SUCCEEDED(m_builder->FindInterface(nullptr, nullptr, m_device.Get(), IID_IAMVideoProcAmp,
                                           m_procAmp.OutVoid())))
        VideoLog("CxVideoCapture::Create( FindInterface(IID_IAMVideoProcAmp) )");
    if (SUCCEEDED(m_builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, m_device.Get(), IID_IAMCrossbar,
                                           m_crossbar.OutVoid())))
        VideoLog("CxVideoCapture::Create( FindInterface(IID_IAMCrossbar) )");
    GetStandard();

    hr = SetFormat(width, height);
    if (FAILED(hr))
        return hr;

    AM_MEDIA_TYPE* current = nullptr;
    hr = m_config->GetFormat(&current);
    if (FAILED(hr) || !current) {
        VideoLog("Err: queyr format failed hr = %x\r\n", hr);
        return FAILED(hr) ? hr : E_FAIL;
    }
    CMediaType grabType(*current);
    DeleteMediaType(current);
    if (!grabType.VideoInfo()) {
        VideoLog("Err: queyr format failed hr = %x\r\n", VFW_E_INVALIDMEDIATYPE);
        return VFW_E_INVALIDMEDIATYPE;
    }
    grabType.SetType(&MEDIATYPE_Video);
    grabType.SetSubtype(&MEDIASUBTYPE_RGB32);
    grabType.SetFormatType(&FORMAT_VideoInfo);
    auto* grabInfo = reinterpret_cast<VIDEOINFOHEADER*>(grabType.Format());
    grabInfo->bmiHeader.biBitCount = 32;
    grabInfo->bmiHeader.biCompression = BI_RGB;

    hr = CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          m_grabberFilter.OutVoid());
    if (FAILED(hr)) {
        VideoLog("Err: sampegrabber hr = %x\r\n", hr);
        return hr;
    }
    hr = AddFilter(m_grabberFilter.Get(), L"Sample Grabber");
    if (FAILED(hr)) {
        VideoLog("Err: AddFilet hr = %x\r\n", hr);
        return hr;
    }
    hr = m_grabberFilter->QueryInterface(IID_ISampleGrabber, m_grabber.OutVoid());
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = m_grabber->SetOneShot(FALSE))) {
        VideoLog("Err:ISampleGrabber::SetOneShot() = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = m_grabber->SetBufferSamples(FALSE))) {
        VideoLog("Err: ISampleGrabber::SetBufferSamples() = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = m_grabber->SetCallback(&m_grabberCallback, 1))) {
        VideoLog("Err: ISampleGrabber::SetCallback()  = %x\r\n", hr);
        return hr;
    }
    m_grabberCallback.callback = callback;
    m_grabberCallback.user = user;
    m_grabberCallback.owner = static_cast<CxGraph*>(this);
    m_grabberCallback.enabled = 1;
    if (FAILED(hr = m_grabber->SetMediaType(&grabType))) {
        VideoLog("Err: Isamgep::setmediatype = %x\r\n", hr);
        return hr;
    }

    BITMAPINFOHEADER& header = m_grabberCallback.header;
    header = BITMAPINFOHEADER();
    header.biWidth = m_width;
    header.biHeight = m_height;
    header.biBitCount = 32;

    hr = ConnectFilters(m_grabberFilter.Get(), 1, m_device.Get());
    if (FAILED(hr)) {
        VideoLog("Err: Connect videocap to sample grabber failed hr = %x\r\n", hr);
        return hr;
    }
    if (preview) {
        hr = AddPreview(preview);
        if (FAILED(hr)) {
            VideoLog("Err: Create video renderer hr = %x\r\n", hr);
            return hr;
        }
    }
    return m_control->Run();
}

HRESULT CxVideoCapture::Preview(int deviceIndex, HWND window)
{
    Release();
    m_deviceIndex = deviceIndex;
    HRESULT hr = CreateGraphBuilder();
    if (FAILED(hr))
        return hr;
    hr = FindFilter(CLSID_VideoInputDeviceCategory, deviceIndex, m_device.Out(), nullptr);
    if (hr != S_OK || !m_device) {
        VideoLog("Err: find dev = %d, hr = %x\r\r", deviceIndex, hr);
        return E_FAIL;
    }
    if (FAILED(hr = AddFilter(m_device.Get(), L"Video Cap"))) {
        VideoLog("Err: Add VideoCap hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = CreateVideoRenderer(m_renderer.Out()))) {
        VideoLog("Err: Create video renderer failed = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = AddFilter(m_renderer.Get(), L"Video renderer"))) {
        VideoLog("Err: Add video render hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = ConnectFilters(m_renderer.Get(), 1, m_device.Get()))) {
        VideoLog("Err: connect videocap to video render hr = %x\r\n", hr);
        return hr;
    }
    m_previewWindow = window;
    if (FAILED(hr = ChangeScreen(window))) {
        VideoLog("Err: change screen hr = %x\r\n", hr);
        return hr;
    }
    return m_control->Run();
}

HRESULT CxVideoCapture::ShowPropertyPage(int deviceIndex)
{
    ComPtr<IBaseFilter> device;
    HRESULT hr = FindFilter(CLSID_VideoInputDeviceCategory, deviceIndex, device.Out(), nullptr);
    if (hr != S_OK || !device) {
        VideoLog("Err: find dev = %d, hr = %x\r\r", deviceIndex, hr);
        return E_FAIL;
    }
    ComPtr<ISpecifyPropertyPages> pages;
    hr = device->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid());
    if (FAILED(hr))
        return hr;
    CAUUID list = {};
    hr = pages->GetPages(&list);
    if (FAILED(hr))
        return hr;
    IUnknown* object = device.Get();
    hr = OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, list.cElems, list.pElems, 0, 0, nullptr);
    CoTaskMemFree(list.pElems);
    return hr;
}

int GetDevice(CStringList& names)
{
    names.RemoveAll();
    ComPtr<ICreateDevEnum> devices;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                                  devices.OutVoid());
    if (FAILED(hr)) {
        VideoLog("<CDSCapture::GetDevicesCount>,create sytem device enum failed!\n");
        return 0;
    }
    ComPtr<IEnumMoniker> monikers;
    hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
    if (hr != S_OK || !monikers) {
        VideoLog("<CDSCapture::GetDevicesCount>,Create class enumerator failed!\n");
        return 0;
    }
    monikers->Reset();
    for (;;) {
        ComPtr<IMoniker> moniker;
        ULONG fetched = 0;
        if (monikers->Next(1, moniker.Out(), &fetched) != S_OK || !moniker)
            break;
        wchar_t friendly[kDeviceNameChars] = {};
        CString name = ReadFriendlyName(moniker.Get(), friendly, kDeviceNameChars) ? ThroughAnsi(friendly)
                                                                                   : CString(kUnnamedDevice);
        VideoLog("GetDevice: index = %d, name = %s\r\n", names.GetCount(), LogText(name).c_str());
        names.AddTail(name);
    }
    return names.GetCount();
}
