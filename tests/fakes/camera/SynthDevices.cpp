#include "tests/fakes/camera/SynthDevices.h"

#include "tests/fakes/camera/SynthPattern.h"

#include <cstddef>
#include <cstring>
#include <new>

CSynthPin::CSynthPin(CSynthFilter* filter, CCritSec* lock, HRESULT* result, const wchar_t* name)
    : CBaseOutputPin(L"SynthPin", filter, lock, result, name), m_owner(filter)
{
}

CSynthPin::~CSynthPin()
{
    if (m_stop)
        CloseHandle(m_stop);
}

STDMETHODIMP CSynthPin::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), out);
    if (iid == IID_IKsPropertySet)
        return GetInterface(static_cast<IKsPropertySet*>(this), out);
    return CBaseOutputPin::NonDelegatingQueryInterface(iid, out);
}

HRESULT CSynthPin::CheckMediaType(const CMediaType* type)
{
    for (const CMediaType& offered : formats) {
        if (offered == *type)
            return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CSynthPin::GetMediaType(int position, CMediaType* type)
{
    // The current format alone, as a device that was told its format offers nothing else.
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *type = current;
    return S_OK;
}

HRESULT CSynthPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    ALLOCATOR_PROPERTIES wanted = *request;
    if (wanted.cBuffers < 2)
        wanted.cBuffers = 2;
    wanted.cbBuffer = static_cast<long>(m_mt.lSampleSize);
    if (wanted.cbAlign < 1)
        wanted.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CSynthPin::Active()
{
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (!m_stop)
        m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(m_stop);
    m_thread = CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr);
    return m_thread ? S_OK : E_OUTOFMEMORY;
}

HRESULT CSynthPin::Inactive()
{
    if (m_thread) {
        SetEvent(m_stop);
        // Decommitting first frees a thread that waits for a buffer.
        HRESULT hr = CBaseOutputPin::Inactive();
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
        return hr;
    }
    return CBaseOutputPin::Inactive();
}

DWORD WINAPI CSynthPin::ThreadProc(void* self)
{
    static_cast<CSynthPin*>(self)->Stream();
    return 0;
}

void CSynthPin::Stream()
{
    DWORD periodMs = static_cast<DWORD>(period / 10000);
    LONGLONG index = 0;
    while (WaitForSingleObject(m_stop, periodMs) == WAIT_TIMEOUT) {
        if (m_owner->State() != State_Running)
            continue;
        if (!DeliverOne(index))
            continue;
        ++index;
    }
}

bool CSynthPin::DeliverOne(LONGLONG index)
{
    IMediaSample* sample = nullptr;
    if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, 0)))
        return false;
    BYTE* data = nullptr;
    long size = static_cast<long>(m_mt.lSampleSize);
    if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < size) {
        sample->Release();
        return false;
    }
    m_owner->Fill(data, size, m_mt, index);
    sample->SetActualDataLength(size);
    sample->SetSyncPoint(TRUE);
    // Stamped with the stream time of capture, as a live device does.
    REFERENCE_TIME start = index * period;
    IReferenceClock* clock = m_owner->Clock();
    REFERENCE_TIME now = 0;
    if (clock && SUCCEEDED(clock->GetTime(&now)))
        start = now - m_owner->StartTime();
    REFERENCE_TIME stop = start + period;
    sample->SetTime(&start, &stop);
    HRESULT hr = Deliver(sample);
    sample->Release();
    return SUCCEEDED(hr);
}

STDMETHODIMP CSynthPin::SetFormat(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    CMediaType wanted(*type);
    if (CheckMediaType(&wanted) != S_OK)
        return VFW_E_INVALIDMEDIATYPE;
    if (IsConnected() && m_mt != wanted)
        return VFW_E_ALREADY_CONNECTED;
    current = wanted;
    return S_OK;
}

STDMETHODIMP CSynthPin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type)
        return E_POINTER;
    *type = CreateMediaType(IsConnected() ? &m_mt : &current);
    return *type ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CSynthPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size)
        return E_POINTER;
    *count = static_cast<int>(formats.size());
    *size = capsSize;
    return S_OK;
}

STDMETHODIMP CSynthPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps)
        return E_POINTER;
    if (index < 0 || index >= static_cast<int>(formats.size()))
        return S_FALSE;
    *type = CreateMediaType(&formats[index]);
    if (!*type)
        return E_OUTOFMEMORY;
    memset(caps, 0, capsSize);
    if (capsSize == sizeof(VIDEO_STREAM_CONFIG_CAPS)) {
        auto* video = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
        const VIDEOINFOHEADER* info = formats[index].VideoInfo();
        video->guid = FORMAT_VideoInfo;
        if (!info)
            return S_OK;
        video->InputSize.cx = video->MinOutputSize.cx = video->MaxOutputSize.cx = info->bmiHeader.biWidth;
        video->InputSize.cy = video->MinOutputSize.cy = video->MaxOutputSize.cy = info->bmiHeader.biHeight;
        video->MinFrameInterval = video->MaxFrameInterval = period;
    } else {
        auto* audio = reinterpret_cast<AUDIO_STREAM_CONFIG_CAPS*>(caps);
        audio->guid = MEDIATYPE_Audio;
        audio->MinimumChannels = audio->MaximumChannels = kSynthMicChannels;
        audio->MinimumBitsPerSample = audio->MaximumBitsPerSample = kSynthMicBits;
        audio->MinimumSampleFrequency = audio->MaximumSampleFrequency = kSynthMicRate;
    }
    return S_OK;
}

STDMETHODIMP CSynthPin::Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD size, DWORD* returned)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!data && !returned)
        return E_POINTER;
    if (returned)
        *returned = sizeof(GUID);
    if (!data)
        return S_OK;
    if (size < sizeof(GUID))
        return E_UNEXPECTED;
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

STDMETHODIMP CSynthPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (support)
        *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}

CSynthFilter::CSynthFilter(int kind, HRESULT* result)
    : CBaseFilter(L"SynthFilter", nullptr, &m_filterLock,
                  kind == 0 ? CLSID_SynthCamera : kind == 1 ? CLSID_SynthCamera2 : CLSID_SynthMic),
      m_kind(kind)
{
    m_pin = new (std::nothrow) CSynthPin(this, &m_filterLock, result, L"Capture");
    if (!m_pin) {
        *result = E_OUTOFMEMORY;
        return;
    }
    if (kind == 0) {
        for (const auto& size : kSynthCameraSizes)
            AddVideoFormat(size[0], size[1]);
        AddTruncatedFormat(kSynthTruncatedSize[0], kSynthTruncatedSize[1]);
    } else if (kind == 1) {
        AddVideoFormat(kSynthCamera2Size[0], kSynthCamera2Size[1]);
    } else {
        CMediaType type(&MEDIATYPE_Audio);
        type.SetSubtype(&MEDIASUBTYPE_PCM);
        type.SetFormatType(&FORMAT_WaveFormatEx);
        auto* wave = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
        wave->wFormatTag = WAVE_FORMAT_PCM;
        wave->nChannels = kSynthMicChannels;
        wave->nSamplesPerSec = kSynthMicRate;
        wave->wBitsPerSample = kSynthMicBits;
        wave->nBlockAlign = kSynthMicChannels * kSynthMicBits / 8;
        wave->nAvgBytesPerSec = kSynthMicRate * wave->nBlockAlign;
        // Blocks of 20 ms.
        type.SetSampleSize(wave->nAvgBytesPerSec / 50);
        m_pin->formats.push_back(type);
        m_pin->capsSize = sizeof(AUDIO_STREAM_CONFIG_CAPS);
        m_pin->period = 200000;
    }
    m_pin->current = m_pin->formats[0];
}

CSynthFilter::~CSynthFilter()
{
    delete m_pin;
}

void CSynthFilter::AddVideoFormat(int width, int height)
{
    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB32);
    type.SetFormatType(&FORMAT_VideoInfo);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    info->AvgTimePerFrame = 10000000 / kSynthFramesPerSecond;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 4);
    type.SetSampleSize(info->bmiHeader.biSizeImage);
    m_pin->formats.push_back(type);
    m_pin->capsSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    m_pin->period = info->AvgTimePerFrame;
}

void CSynthFilter::AddTruncatedFormat(int width, int height)
{
    // Long enough to hold the width and height where a video-info header keeps them, too short for
    // the rest of the header: a reader that does not check the length reads past the block.
    const ULONG length = offsetof(VIDEOINFOHEADER, bmiHeader) + offsetof(BITMAPINFOHEADER, biPlanes);
    CMediaType type(&MEDIATYPE_Video);
    type.SetSubtype(&MEDIASUBTYPE_RGB32);
    type.SetFormatType(&FORMAT_VideoInfo);
    BYTE* block = type.AllocFormatBuffer(length);
    auto* info = reinterpret_cast<VIDEOINFOHEADER*>(block);
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = height;
    type.SetSampleSize(static_cast<ULONG>(width * height * 4));
    m_pin->formats.push_back(type);
}

STDMETHODIMP CSynthFilter::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    // Capture graph builders look for the stream configuration on the filter as well as on its pin.
    if (out && iid == IID_IAMStreamConfig && m_pin)
        return GetInterface(static_cast<IAMStreamConfig*>(m_pin), out);
    return CBaseFilter::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP CSynthFilter::GetState(DWORD timeoutMs, FILTER_STATE* state)
{
    HRESULT hr = CBaseFilter::GetState(timeoutMs, state);
    if (SUCCEEDED(hr) && *state == State_Paused)
        return VFW_S_CANT_CUE;
    return hr;
}

CBasePin* CSynthFilter::GetPin(int n)
{
    return n == 0 ? m_pin : nullptr;
}

void CSynthFilter::Fill(BYTE* data, long size, const CMediaType& type, LONGLONG index) const
{
    if (m_kind == 2) {
        // A ramp that continues across blocks, so a test can see that no block was lost or repeated.
        auto* samples = reinterpret_cast<int16_t*>(data);
        long count = size / 2;
        for (long i = 0; i < count; ++i)
            samples[i] = static_cast<int16_t>((index * count + i) & 0x7FFF);
        return;
    }
    const VIDEOINFOHEADER* info = type.VideoInfo();
    if (!info)
        return;
    int width = info->bmiHeader.biWidth;
    int height = info->bmiHeader.biHeight;
    auto* pixels = reinterpret_cast<uint32_t*>(data);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x)
            pixels[row * width + x] = SynthPixel(x, row, m_kind);
    }
}
