#include "media/video/VideoRender.h"

#include "media/video/VideoLog.h"

#include <cstdlib>
#include <cstring>
#include <new>

const IID IID_IVideoDataInterface = {0x1612d901, 0xa9c1, 0x4e11, {0x8e, 0xdd, 0x31, 0x3e, 0x21, 0x03, 0x82, 0x4b}};
const CLSID CLSID_CxVideoDataFilter = {0xce3b76cb, 0x9540, 0x48fa, {0x99, 0x74, 0x69, 0xa6, 0x25, 0xd4, 0x78, 0xe3}};

GUID SubtypeFromFourCc(DWORD fourCc)
{
    GUID subtype = {0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    subtype.Data1 = fourCc;
    return subtype;
}

DWORD BitmapImageSize(int width, int height, int bitCount)
{
    DWORD stride = ((static_cast<DWORD>(width) * static_cast<DWORD>(bitCount) + 31) & ~31u) / 8;
    return stride * static_cast<DWORD>(std::abs(height));
}

bool FrameFormatFits(int width, int height, int bitCount)
{
    const int kMaxSide = 4096;
    return width > 0 && width <= kMaxSide && height != 0 && height >= -kMaxSide && height <= kMaxSide &&
           bitCount >= 0 && bitCount <= 32;
}

HRESULT DecideOneBuffer(const CMediaType& connected, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    const VIDEOINFOHEADER* info = connected.VideoInfo();
    if (!info)
        return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES wanted = *request;
    wanted.cBuffers = 1;
    wanted.cbBuffer = static_cast<long>(info->bmiHeader.biSizeImage);
    if (wanted.cbAlign < 1)
        wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

CxVideoDataPin::CxVideoDataPin(CxVideoDataFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(L"RenderPin", filter, lock, result, L"LV Video Data pin"), m_source(filter)
{
}

HRESULT CxVideoDataPin::GetMediaType(int position, CMediaType* type)
{
    if (position != 0)
        return E_INVALIDARG;
    WORD bits = m_source->BitCount();
    if (bits != 12 && bits != 32)
        return E_INVALIDARG;
    auto* info = reinterpret_cast<VIDEOINFO*>(type->AllocFormatBuffer(sizeof(VIDEOINFO)));
    if (!info)
        return E_OUTOFMEMORY;
    int width = m_source->Width();
    int height = m_source->Height();
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bits;
    if (bits == 12) {
        info->bmiHeader.biCompression = kFourCcI420;
        info->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3 / 2);
    } else {
        info->bmiHeader.biCompression = BI_RGB;
        info->bmiHeader.biSizeImage = BitmapImageSize(width, height, 32);
    }
    SetRectEmpty(&info->rcSource);
    SetRectEmpty(&info->rcTarget);
    type->SetType(&MEDIATYPE_Video);
    GUID subtype = bits == 12 ? SubtypeFromFourCc(kFourCcI420) : MEDIASUBTYPE_RGB32;
    type->SetSubtype(&subtype);
    type->SetFormatType(&FORMAT_VideoInfo);
    type->SetTemporalCompression(FALSE);
    type->SetSampleSize(info->bmiHeader.biSizeImage);
    wchar_t text[64] = {};
    StringFromGUID2(subtype, text, 64);
    VideoLog("render guid = %s", LogText(text).c_str());
    return S_OK;
}

HRESULT CxVideoDataPin::CheckMediaType(const CMediaType* type)
{
    if (!type || *type->Type() != MEDIATYPE_Video)
        return E_INVALIDARG;
    const VIDEOINFOHEADER* info = type->VideoInfo();
    if (!info)
        return E_INVALIDARG;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (*type->Subtype() != MEDIASUBTYPE_RGB32 && header.biCompression != kFourCcI420)
        return E_INVALIDARG;
    // Frames are written bottom-up as given; a top-down layout would show them upside down.
    if (header.biHeight < 0)
        return E_INVALIDARG;
    if (header.biWidth != m_source->Width() || header.biHeight != m_source->Height())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CxVideoDataPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return DecideOneBuffer(m_mt, allocator, request);
}

CxVideoDataFilter::CxVideoDataFilter(HRESULT* result)
    : CBaseFilter(L"CxVideoDataFilter", nullptr, &m_filterLock, CLSID_CxVideoDataFilter)
{
    m_pin = new (std::nothrow) CxVideoDataPin(this, &m_filterLock, result);
    if (!m_pin && result)
        *result = E_OUTOFMEMORY;
}

CxVideoDataFilter::~CxVideoDataFilter()
{
    delete m_pin;
}

STDMETHODIMP CxVideoDataFilter::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (out && iid == IID_IVideoDataInterface)
        return GetInterface(static_cast<IVideoDataInterface*>(this), out);
    return CBaseFilter::NonDelegatingQueryInterface(iid, out);
}

CBasePin* CxVideoDataFilter::GetPin(int n)
{
    return n == 0 ? m_pin : nullptr;
}

STDMETHODIMP CxVideoDataFilter::SetFormat(const BITMAPINFOHEADER* format)
{
    if (!format)
        return E_POINTER;
    if (!FrameFormatFits(format->biWidth, format->biHeight, format->biBitCount))
        return E_INVALIDARG;
    m_width = format->biWidth;
    m_height = format->biHeight;
    m_bitCount = format->biBitCount;
    return S_OK;
}

HRESULT CxVideoDataFilter::FillI420(IMediaSample* sample, BYTE* buffer, long size, BYTE* y, BYTE* u, BYTE* v,
                                    const int* strides, int flip)
{
    if (!y || !u || !v || !strides || strides[0] <= 0 || strides[1] <= 0 || strides[2] <= 0)
        return S_OK; // the buffer goes out as it is
    int width = m_width;
    int height = m_height;
    int halfWidth = width / 2;
    int halfHeight = height / 2;
    // Neither the buffer nor a source row may be shorter than what the size says is copied.
    long needed = static_cast<long>(width) * height + 2L * halfWidth * halfHeight;
    if (size < needed || strides[0] < width || strides[1] < halfWidth || strides[2] < halfWidth) {
        VideoLog("Err: I420 frame %dx%d does not fit (buffer %ld, strides %d/%d/%d)\r\n", width, height, size,
                 strides[0], strides[1], strides[2]);
        return E_INVALIDARG;
    }
    (void)sample;
    BYTE* out = buffer;
    struct Plane {
        const BYTE* data;
        int stride;
        int rowBytes;
        int rows;
    } planes[3] = {{y, strides[0], width, height}, {u, strides[1], halfWidth, halfHeight},
                   {v, strides[2], halfWidth, halfHeight}};
    for (const Plane& plane : planes) {
        for (int row = 0; row < plane.rows; ++row) {
            int from = flip ? plane.rows - 1 - row : row;
            memcpy(out, plane.data + static_cast<ptrdiff_t>(from) * plane.stride, static_cast<size_t>(plane.rowBytes));
            out += plane.rowBytes;
        }
    }
    return S_OK;
}

STDMETHODIMP CxVideoDataFilter::Draw(BYTE* frame, BYTE* y, BYTE* u, BYTE* v, const int* strides, int length,
                                     int width, int height, int bitCount, int flip)
{
    if (!m_pin || width != m_width || height != m_height || bitCount != m_bitCount)
        return E_POINTER;
    IMediaSample* sample = nullptr;
    if (FAILED(m_pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample)
        return E_OUTOFMEMORY;
    BYTE* buffer = nullptr;
    if (FAILED(sample->GetPointer(&buffer))) {
        sample->Release();
        return E_INVALIDARG;
    }
    long size = sample->GetSize();
    long dataLength = size;
    if (bitCount == 32) {
        dataLength = 0;
        if (frame && length > 0) {
            dataLength = length < size ? length : size;
            memcpy(buffer, frame, static_cast<size_t>(dataLength));
        }
    } else if (bitCount == 12) {
        HRESULT hr = FillI420(sample, buffer, size, y, u, v, strides, flip);
        if (FAILED(hr)) {
            sample->Release();
            return hr;
        }
    }
    HRESULT result = sample->SetSyncPoint(TRUE);
    result |= sample->SetActualDataLength(dataLength);
    result |= m_pin->Deliver(sample);
    sample->Release();
    return result;
}

CxVideoRender::~CxVideoRender()
{
    Stop();
}

HRESULT CxVideoRender::Start(const BITMAPINFOHEADER& format, HWND window)
{
    CAutoLock lock(&m_lock);
    StopLocked();
    m_format = BITMAPINFOHEADER();
    m_format.biWidth = format.biWidth;
    m_format.biHeight = format.biHeight;
    m_format.biBitCount = format.biBitCount;
    m_window = window;

    HRESULT hr = CreateGraphBuilder();
    if (FAILED(hr)) {
        VideoLog("Err: create grph = %x\r\n", hr);
        return hr;
    }
    HRESULT created = S_OK;
    auto* filter = new (std::nothrow) CxVideoDataFilter(&created);
    if (!filter || FAILED(created)) {
        hr = filter ? created : E_OUTOFMEMORY;
        if (filter)
            filter->NonDelegatingRelease();
        VideoLog("Err: create LVVideoRender hr = %x\r\n", hr);
        StopLocked();
        return hr;
    }
    m_filter.Attach(static_cast<IBaseFilter*>(filter));
    if (FAILED(hr = m_filter->QueryInterface(IID_IVideoDataInterface, m_data.OutVoid()))) {
        VideoLog("Err: query videorende interface hr = %x\r\n", hr);
        StopLocked();
        return hr;
    }
    if (FAILED(hr = m_data->SetFormat(&m_format))) {
        VideoLog("Err: drawinterface hr = %x\r\n", hr);
        StopLocked();
        return hr;
    }
    if (FAILED(hr = AddFilter(m_filter.Get(), L"LV Video Render"))) {
        VideoLog("Err: add video render = %x\r\n", hr);
        StopLocked();
        return hr;
    }
    ComPtr<IPin> pin;
    pin.Attach(GetPin(m_filter.Get(), PINDIR_OUTPUT, 1));
    if (!pin) {
        VideoLog("Err: get pin render = %x\r\n", E_FAIL);
    } else {
        hr = m_graph->Render(pin.Get());
        VideoLog("Err: render pin render = %x\r\n", hr);
    }
    if (FAILED(hr = ChangeScreen(window))) {
        VideoLog("Err: changescreen = %x\r\n", hr);
        StopLocked();
        return hr;
    }
    hr = m_control->Run();
    VideoLog("Info: WxH = %dx%d, bits = %d\r\n", m_format.biWidth, m_format.biHeight, m_format.biBitCount);
    SaveGraphBuilder();
    return hr;
}

void CxVideoRender::Stop()
{
    CAutoLock lock(&m_lock);
    StopLocked();
}

void CxVideoRender::StopLocked()
{
    m_data.Reset();
    m_format = BITMAPINFOHEADER();
    m_window = nullptr;
    if (m_control) {
        m_control->StopWhenReady();
        m_control->Stop();
    }
    m_filter.Reset();
    if (m_graph) {
        ComPtr<IVideoWindow> video;
        HRESULT hr = m_graph->QueryInterface(IID_IVideoWindow, video.OutVoid());
        if (SUCCEEDED(hr)) {
            video->put_Visible(OAFALSE);
            video->put_Owner(0);
        } else {
            VideoLog("Err: Query videowindow hr = %x\r\n", hr);
        }
    }
    ReleaseGraph();
}

HRESULT CxVideoRender::Draw(BYTE* frame, BYTE* y, BYTE* u, BYTE* v, const int* strides, int length, int width,
                            int height, int bitCount, int flip)
{
    CAutoLock lock(&m_lock);
    if (!m_data)
        return -1;
    return m_data->Draw(frame, y, u, v, strides, length, width, height, bitCount, flip);
}
