#include "platform/dshow/DsFilter.h"

#include "platform/dshow/DsEnum.h"
#include "platform/dshow/DsPin.h"

#include <cwchar>
#include <new>

namespace {

wchar_t* CopyName(LPCWSTR name)
{
    if (!name)
        return nullptr;
    size_t length = wcslen(name) + 1;
    auto* copy = new (std::nothrow) wchar_t[length];
    if (copy)
        wmemcpy(copy, name, length);
    return copy;
}

} // namespace

CBaseFilter::CBaseFilter(const wchar_t* objectName, IUnknown* outer, CCritSec* lock, REFCLSID clsid)
    : CUnknown(objectName, outer), m_clsid(clsid), m_lock(lock)
{
}

CBaseFilter::~CBaseFilter()
{
    delete[] m_name;
    if (m_clock)
        m_clock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    if (iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
        return GetInterface(static_cast<IBaseFilter*>(this), out);
    return CUnknown::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(m_lock);
    HRESULT result = S_OK;
    if (m_state != State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Inactive();
                if (FAILED(hr) && SUCCEEDED(result))
                    result = hr;
            }
        }
    }
    m_state = State_Stopped;
    return result;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(m_lock);
    if (m_state == State_Stopped) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Active();
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    m_state = State_Paused;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME start)
{
    CAutoLock lock(m_lock);
    m_start = start;
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (m_state != State_Running) {
        for (int i = 0; i < GetPinCount(); ++i) {
            CBasePin* pin = GetPin(i);
            if (pin && pin->IsConnected()) {
                HRESULT hr = pin->Run(start);
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    m_state = State_Running;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* clock)
{
    CAutoLock lock(m_lock);
    if (clock)
        clock->AddRef();
    if (m_clock)
        m_clock->Release();
    m_clock = clock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    CAutoLock lock(m_lock);
    *clock = m_clock;
    if (m_clock)
        m_clock->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    *pins = new (std::nothrow) CEnumPins(this, nullptr);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    *pin = nullptr;
    CAutoLock lock(m_lock);
    for (int i = 0; i < GetPinCount(); ++i) {
        CBasePin* candidate = GetPin(i);
        if (candidate && wcscmp(candidate->Name(), id) == 0) {
            *pin = candidate;
            candidate->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->achName[0] = L'\0';
    if (m_name)
        lstrcpynW(info->achName, m_name, MAX_FILTER_NAME);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    CAutoLock lock(m_lock);
    m_graph = graph;
    m_sink = nullptr;
    if (graph) {
        // Weak like the graph pointer: the sink is the graph itself.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink)))) {
            m_sink = sink;
            sink->Release();
        }
    }
    delete[] m_name;
    m_name = CopyName(name);
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

bool CBaseFilter::IsActive()
{
    CAutoLock lock(m_lock);
    return m_state != State_Stopped;
}

bool CBaseFilter::IsStopped()
{
    return m_state == State_Stopped;
}

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2)
{
    if (!m_sink)
        return E_NOTIMPL;
    return m_sink->Notify(code, param1, param2);
}
