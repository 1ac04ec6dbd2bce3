#include "media/video/DataSource.h"

#include "media/video/VideoLog.h"
#include "media/video/VideoRender.h"

#include <cstdlib>
#include <cstring>
#include <new>

const IID IID_IxDataSourceInterface = {0x6e1e96c4, 0xa900, 0x4289, {0xa4, 0xb0, 0x19, 0x57, 0x5e, 0x5c, 0xa2, 0x61}};
const CLSID CLSID_CxDataSourceFilter = {0x0c1d2240, 0x4f5c, 0x41e0, {0xa5, 0x79, 0x67, 0xc3, 0xe5, 0xe1, 0x17, 0x1b}};

namespace {

LONGLONG MultimediaNow()
{
    return static_cast<LONGLONG>(timeGetTime()) * 10000;
}

LONGLONG (*g_clock)() = MultimediaNow;

} // namespace

void CxDataSourceFilter::SetClock(LONGLONG (*now)())
{
    g_clock = now ? now : MultimediaNow;
}

CxDataSourcePin::CxDataSourcePin(CxDataSourceFilter* filter, CCritSec* lock, HRESULT* result)
    : CBaseOutputPin(L"RenderPin", filter, lock, result, L"LV DataSource pin"), m_source(filter)
{
}

HRESULT CxDataSourcePin::GetMediaType(int position, CMediaType* type)
{
    if (position != 0)
        return E_INVALIDARG;
    int width = m_source->Width();
    int height = m_source->Height();
    DWORD compression = m_source->Compression();
    WORD bits = 0;
    DWORD imageSize = 0;
    GUID subtype = GUID_NULL;
    if (compression == kFourCcI420) {
        bits = 12;
        imageSize = static_cast<DWORD>(width * height * 3 / 2);
        subtype = SubtypeFromFourCc(kFourCcI420);
    } else if (compression == BI_RGB && m_source->BitCount() == 32) {
        bits = 32;
        imageSize = BitmapImageSize(width, height, 32);
        subtype = MEDIASUBTYPE_RGB32;
    } else if (compression == kFourCcYuy2) {
        bits = 16;
        imageSize = static_cast<DWORD>(width * height * 2);
        subtype = MEDIASUBTYPE_YUY2;
    } else {
        return E_INVALIDARG;
    }
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!info)
        return E_OUTOFMEMORY;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = bits;
    info->bmiHeader.biCompression = compression;
    info->bmiHeader.biSizeImage = imageSize;
    info->AvgTimePerFrame = 10000000 / m_source->FramesPerSecond();
    type->SetType(&MEDIATYPE_Video);
    type->SetSubtype(&subtype);
    type->SetFormatType(&FORMAT_VideoInfo);
    type->SetTemporalCompression(FALSE);
    type->SetSampleSize(imageSize);
    wchar_t text[64] = {};
    StringFromGUID2(subtype, text, 64);
    VideoLog("render guid = %s", LogText(text).c_str());
    return S_OK;
}

HRESULT CxDataSourcePin::CheckMediaType(const CMediaType* type)
{
    if (!type || *type->Type() != MEDIATYPE_Video)
        return E_INVALIDARG;
    const VIDEOINFOHEADER* info = type->VideoInfo();
    if (!info)
        return E_INVALIDARG;
    const BITMAPINFOHEADER& header = info->bmiHeader;
    if (header.biWidth != m_source->Width() || std::abs(header.biHeight) != m_source->Height() ||
        header.biCompression != m_source->Compression() || header.biBitCount != m_source->BitCount())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CxDataSourcePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    return DecideOneBuffer(m_mt, allocator, request);
}

CxDataSourceFilter::CxDataSourceFilter(HRESULT* result)
    : CBaseFilter(L"CxDataSourceFilter", nullptr, &m_filterLock, CLSID_CxDataSourceFilter),
      m_compression(kFourCcI420)
{
    // Frames are repeated at a fixed rate; a coarse system timer would make the intervals uneven.
    timeBeginPeriod(1);
    m_pin = new (std::nothrow) CxDataSourcePin(this, &m_filterLock, result);
    if (!m_pin && result)
        *result = E_OUTOFMEMORY;
    ResetFrameBuffer();
}

CxDataSourceFilter::~CxDataSourceFilter()
{
    // No tick may reach a pin or buffer that is being destroyed.
    StopTimer();
    delete m_pin;
    timeEndPeriod(1);
}

STDMETHODIMP CxDataSourceFilter::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (out && iid == IID_IxDataSourceInterface)
        return GetInterface(static_cast<IxDataSourceInterface*>(this), out);
    return CBaseFilter::NonDelegatingQueryInterface(iid, out);
}

CBasePin* CxDataSourceFilter::GetPin(int n)
{
    return n == 0 ? m_pin : nullptr;
}

void CxDataSourceFilter::ResetFrameBuffer()
{
    m_frameSize = static_cast<size_t>(m_width) * static_cast<size_t>(std::abs(m_height)) * m_bitCount / 8;
    m_frame.assign(m_frameSize + 256, 0);
    // Until the first frame arrives the recording shows black, not whatever memory held.
    if (m_compression == kFourCcI420) {
        size_t luma = static_cast<size_t>(m_width) * static_cast<size_t>(std::abs(m_height));
        memset(m_frame.data(), 16, luma < m_frameSize ? luma : m_frameSize);
        if (luma < m_frameSize)
            memset(m_frame.data() + luma, 128, m_frameSize - luma);
    }
}

STDMETHODIMP CxDataSourceFilter::SetFormat(const BITMAPINFOHEADER* format, int videoKbps, int framesPerSecond)
{
    if (!format)
        return E_POINTER;
    // The timer period and the profile divide by the frame rate.
    if (framesPerSecond < 1 || framesPerSecond > 1000 ||
        !FrameFormatFits(format->biWidth, format->biHeight, format->biBitCount))
        return E_INVALIDARG;
    CxMMTimer::Stop();
    {
        CAutoLock lock(&m_frameLock);
        m_width = format->biWidth;
        m_height = format->biHeight;
        m_bitCount = format->biBitCount;
        m_compression = format->biCompression;
        m_videoKbps = videoKbps;
        m_framesPerSecond = framesPerSecond;
        ResetFrameBuffer();
    }
    if (!CxMMTimer::Start(static_cast<uint32_t>(1000 / framesPerSecond), 5))
        return E_FAIL;
    return S_OK;
}

STDMETHODIMP CxDataSourceFilter::PutContent(BYTE* frame, BYTE*, BYTE*, BYTE*, const int*, int length, int width,
                                            int height, int, DWORD, int flip)
{
    if (!frame || length <= 0)
        return E_POINTER;
    CAutoLock lock(&m_frameLock);
    if (!flip) {
        size_t bytes = static_cast<size_t>(length) < m_frameSize ? static_cast<size_t>(length) : m_frameSize;
        memcpy(m_frame.data(), frame, bytes);
        return S_OK;
    }
    // The flipped copy writes a whole I420 image of the given size: it must be the stored size, and the
    // caller's buffer must hold all of it.
    size_t planeY = static_cast<size_t>(width) * static_cast<size_t>(height);
    size_t image = planeY + 2 * static_cast<size_t>(width / 2) * static_cast<size_t>(height / 2);
    if (width != m_width || height != m_height || width <= 0 || height <= 0 || image > m_frameSize ||
        static_cast<size_t>(length) < image) {
        VideoLog("Err: recorder frame %dx%d (%d bytes) does not fit %dx%d\r\n", width, height, length, m_width,
                 m_height);
        return E_INVALIDARG;
    }
    struct Plane {
        int rowBytes;
        int rows;
    } planes[3] = {{width, height}, {width / 2, height / 2}, {width / 2, height / 2}};
    const BYTE* in = frame;
    BYTE* out = m_frame.data();
    for (const Plane& plane : planes) {
        for (int row = 0; row < plane.rows; ++row) {
            memcpy(out + static_cast<size_t>(plane.rows - 1 - row) * plane.rowBytes,
                   in + static_cast<size_t>(row) * plane.rowBytes, static_cast<size_t>(plane.rowBytes));
        }
        in += static_cast<size_t>(plane.rows) * plane.rowBytes;
        out += static_cast<size_t>(plane.rows) * plane.rowBytes;
    }
    return S_OK;
}

STDMETHODIMP CxDataSourceFilter::SetState(int state)
{
    CAutoLock lock(&m_frameLock);
    if (state == 1 && m_state <= 0 && m_delivered == 0) {
        m_baseTime = g_clock();
        m_lastStop = m_baseTime;
    }
    m_state = state;
    return S_OK;
}

LONGLONG CxDataSourceFilter::DeliveredFrames()
{
    CAutoLock lock(&m_frameLock);
    return m_delivered;
}

int CxDataSourceFilter::OnTimer()
{
    return DeliverTick() ? 0 : -1;
}

bool CxDataSourceFilter::DeliverTick()
{
    if (!m_pin || !m_pin->IsConnected())
        return false;
    {
        CAutoLock lock(&m_frameLock);
        if (m_state < 1)
            return false;
    }
    IMediaSample* sample = nullptr;
    if (FAILED(m_pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0)) || !sample)
        return false;
    BYTE* buffer = nullptr;
    if (FAILED(sample->GetPointer(&buffer))) {
        sample->Release();
        return false;
    }
    {
        CAutoLock lock(&m_frameLock);
        if (m_state < 1) {
            sample->Release();
            return false;
        }
        size_t size = static_cast<size_t>(sample->GetSize());
        size_t bytes = size < m_frameSize ? size : m_frameSize;
        memcpy(buffer, m_frame.data(), bytes);
        sample->SetActualDataLength(static_cast<long>(bytes));
        sample->SetSyncPoint(TRUE);
        LONGLONG now = g_clock();
        REFERENCE_TIME start = m_lastStop - m_baseTime;
        REFERENCE_TIME stop = now - m_baseTime;
        m_lastStop = now;
        sample->SetTime(&start, &stop);
    }
    // Delivered outside the frame lock: the writer may block, and pushes must not wait for it.
    HRESULT hr = m_pin->Deliver(sample);
    sample->Release();
    if (FAILED(hr))
        return false;
    CAutoLock lock(&m_frameLock);
    ++m_delivered;
    return true;
}
