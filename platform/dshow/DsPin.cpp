#include "platform/dshow/DsPin.h"

#include "platform/dshow/DsEnum.h"
#include "platform/dshow/DsFilter.h"

#include <cwchar>
#include <new>

CBasePin::CBasePin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                   const wchar_t* pinName, PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr), m_filter(filter), m_lock(lock), m_direction(direction)
{
    if (pinName) {
        size_t length = wcslen(pinName) + 1;
        m_pinName = new (std::nothrow) wchar_t[length];
        if (m_pinName)
            wmemcpy(m_pinName, pinName, length);
        else if (result)
            *result = E_OUTOFMEMORY;
    }
}

CBasePin::~CBasePin()
{
    delete[] m_pinName;
    if (m_connected)
        m_connected->Release();
}

STDMETHODIMP_(ULONG) CBasePin::AddRef()
{
    return m_filter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::Release()
{
    return m_filter->Release();
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IPin)
        return GetInterface(static_cast<IPin*>(this), out);
    if (iid == IID_IQualityControl)
        return GetInterface(static_cast<IQualityControl*>(this), out);
    if (iid == IID_IUnknown)
        return GetInterface(static_cast<IPin*>(this), out);
    *out = nullptr;
    return E_NOINTERFACE;
}

bool CBasePin::IsStopped() const
{
    return m_filter->State() == State_Stopped;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*)
{
    return E_UNEXPECTED;
}

HRESULT CBasePin::SetMediaType(const CMediaType* type)
{
    return m_mt.Set(*type);
}

HRESULT CBasePin::CheckConnect(IPin* pin)
{
    PIN_DIRECTION other;
    HRESULT hr = pin->QueryDirection(&other);
    if (FAILED(hr))
        return hr;
    return other == m_direction ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*)
{
    return S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

STDMETHODIMP CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (!receivePin)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    CMediaType partial;
    if (type)
        partial = *type;
    return AgreeMediaType(receivePin, type ? &partial : nullptr);
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type)
{
    HRESULT hr = CheckConnect(receivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(type);
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_connected = receivePin;
    m_connected->AddRef();
    hr = SetMediaType(type);
    if (SUCCEEDED(hr))
        hr = receivePin->ReceiveConnection(this, type);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(receivePin);
        if (SUCCEEDED(hr))
            return S_OK;
        receivePin->Disconnect();
    }
    BreakConnect();
    m_connected->Release();
    m_connected = nullptr;
    m_mt.InitMediaType();
    return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
}

namespace {

// A partial type names only what the caller insists on; GUID_NULL fields match anything.
bool MatchesPartial(const CMediaType& type, const CMediaType* partial)
{
    if (!partial)
        return true;
    if (partial->majortype != GUID_NULL && partial->majortype != type.majortype)
        return false;
    if (partial->subtype != GUID_NULL && partial->subtype != type.subtype)
        return false;
    if (partial->formattype != GUID_NULL && partial->formattype != type.formattype)
        return false;
    return true;
}

bool IsComplete(const CMediaType* type)
{
    return type && type->majortype != GUID_NULL && type->subtype != GUID_NULL &&
           type->formattype != GUID_NULL;
}

} // namespace

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types)
{
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    types->Reset();
    for (;;) {
        AM_MEDIA_TYPE* next = nullptr;
        ULONG fetched = 0;
        if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next)
            break;
        CMediaType candidate(*next);
        DeleteMediaType(next);
        if (!MatchesPartial(candidate, partial))
            continue;
        HRESULT hr = AttemptConnection(receivePin, &candidate);
        if (SUCCEEDED(hr))
            return hr;
        result = hr;
    }
    return result;
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* type)
{
    if (IsComplete(type))
        return AttemptConnection(receivePin, type);

    // Our own types first for an output pin, the other side's first for an input pin.
    HRESULT result = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int round = 0; round < 2; ++round) {
        bool ours = (round == 0) == (m_direction == PINDIR_OUTPUT);
        IEnumMediaTypes* types = nullptr;
        HRESULT hr = ours ? EnumMediaTypes(&types) : receivePin->EnumMediaTypes(&types);
        if (FAILED(hr) || !types)
            continue;
        hr = TryMediaTypes(receivePin, type, types);
        types->Release();
        if (SUCCEEDED(hr))
            return hr;
        if (hr != VFW_E_NO_ACCEPTABLE_TYPES)
            result = hr;
    }
    return result;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    CMediaType offered(*type);
    hr = CheckMediaType(&offered);
    if (hr != S_OK) {
        BreakConnect();
        return SUCCEEDED(hr) ? VFW_E_TYPE_NOT_ACCEPTED : hr;
    }
    m_connected = connector;
    m_connected->AddRef();
    hr = SetMediaType(&offered);
    if (SUCCEEDED(hr))
        hr = CompleteConnect(connector);
    if (FAILED(hr)) {
        BreakConnect();
        m_connected->Release();
        m_connected = nullptr;
        m_mt.InitMediaType();
    }
    return hr;
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_lock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    if (!m_connected)
        return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    m_connected->Release();
    m_connected = nullptr;
    m_mt.InitMediaType();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    CAutoLock lock(m_lock);
    *pin = m_connected;
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    m_connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (!m_connected) {
        memset(type, 0, sizeof(*type));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->achName[0] = L'\0';
    if (m_pinName)
        lstrcpynW(info->achName, m_pinName, MAX_PIN_NAME);
    info->dir = m_direction;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    const wchar_t* name = m_pinName ? m_pinName : L"";
    size_t bytes = (wcslen(name) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    memcpy(*id, name, bytes);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    CMediaType offered(*type);
    HRESULT hr = CheckMediaType(&offered);
    return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    return *types ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream()
{
    return S_OK;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    m_segmentStart = start;
    m_segmentStop = stop;
    m_rate = rate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* sink)
{
    CAutoLock lock(m_lock);
    // Weak, as the sink is normally the graph or an upstream filter that outlives us.
    m_qualitySink = sink;
    return S_OK;
}

CBaseOutputPin::CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock,
                               HRESULT* result, const wchar_t* pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_OUTPUT)
{
}

CBaseOutputPin::~CBaseOutputPin()
{
    CBaseOutputPin::BreakConnect();
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr))
        return hr;
    IMemInputPin* input = nullptr;
    hr = pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (FAILED(hr))
        return E_NOINTERFACE;
    if (m_inputPin)
        m_inputPin->Release();
    m_inputPin = input;
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*)
{
    if (!m_inputPin)
        return E_UNEXPECTED;
    return DecideAllocator(m_inputPin, &m_allocator);
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_allocator) {
        m_allocator->Decommit();
        m_allocator->Release();
        m_allocator = nullptr;
    }
    if (m_inputPin) {
        m_inputPin->Release();
        m_inputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** allocator)
{
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(allocator));
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** allocator)
{
    *allocator = nullptr;
    ALLOCATOR_PROPERTIES request = {};
    // Requirements are a wish; a pin that states none leaves the sizes to us.
    input->GetAllocatorRequirements(&request);
    if (request.cbAlign == 0)
        request.cbAlign = 1;

    HRESULT hr = input->GetAllocator(allocator);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(*allocator, &request);
        if (SUCCEEDED(hr))
            hr = input->NotifyAllocator(*allocator, FALSE);
        if (SUCCEEDED(hr))
            return S_OK;
    }
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }

    hr = InitAllocator(allocator);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(*allocator, &request);
        if (SUCCEEDED(hr))
            hr = input->NotifyAllocator(*allocator, FALSE);
        if (SUCCEEDED(hr))
            return S_OK;
    }
    if (*allocator) {
        (*allocator)->Release();
        *allocator = nullptr;
    }
    return hr;
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_allocator)
        return VFW_E_NO_ALLOCATOR;
    return m_allocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    if (!m_allocator)
        return VFW_E_NO_ALLOCATOR;
    return m_allocator->Decommit();
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags)
{
    if (!sample)
        return E_POINTER;
    *sample = nullptr;
    if (!m_allocator)
        return VFW_E_NO_ALLOCATOR;
    return m_allocator->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample)
{
    if (!m_inputPin)
        return VFW_E_NOT_CONNECTED;
    return m_inputPin->Receive(sample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    return m_connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    return m_connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    return m_connected->EndFlush();
}

CBaseInputPin::CBaseInputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                             const wchar_t* pinName)
    : CBasePin(objectName, filter, lock, result, pinName, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_allocator)
        m_allocator->Release();
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (out && iid == IID_IMemInputPin)
        return GetInterface(static_cast<IMemInputPin*>(this), out);
    return CBasePin::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_lock);
    if (!m_allocator) {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                      reinterpret_cast<void**>(&m_allocator));
        if (FAILED(hr)) {
            *allocator = nullptr;
            return hr;
        }
    }
    *allocator = m_allocator;
    m_allocator->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly)
{
    if (!allocator)
        return E_POINTER;
    CAutoLock lock(m_lock);
    allocator->AddRef();
    if (m_allocator)
        m_allocator->Release();
    m_allocator = allocator;
    m_readOnly = readOnly != FALSE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_flushing)
        return S_FALSE;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed)
{
    if (!samples || !processed)
        return E_POINTER;
    *processed = 0;
    HRESULT hr = S_OK;
    while (*processed < count) {
        hr = Receive(samples[*processed]);
        if (hr != S_OK)
            break;
        ++*processed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::BeginFlush()
{
    m_flushing = true;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush()
{
    m_flushing = false;
    return S_OK;
}

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_allocator) {
        m_allocator->Release();
        m_allocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_flushing = false;
    if (m_allocator)
        m_allocator->Decommit();
    return S_OK;
}
