// The base filter: state, clock, graph membership and pin enumeration; a derived filter supplies its
// pins and the lock that guards its state.
#pragma once
#include "platform/dshow/DsCommon.h"
#include "platform/dshow/DsLock.h"
#include "platform/dshow/DsUnknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
public:
    // lock is the derived filter's own filter lock and must outlive the filter.
    CBaseFilter(const wchar_t* objectName, IUnknown* outer, CCritSec* lock, REFCLSID clsid);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    // IMediaFilter
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    virtual int GetPinCount() = 0;
    // Pins are numbered from 0; the filter keeps ownership (no reference is added).
    virtual CBasePin* GetPin(int n) = 0;
    // Registration data for the filter mapper, or null for filters that are never registered.
    virtual const REGFILTER2* GetSetupData() { return nullptr; }
    // Changes whenever the set of pins changes, so enumerators can report it.
    virtual LONG GetPinVersion() { return m_pinVersion; }

    bool IsActive();
    bool IsStopped();
    FILTER_STATE State() const { return m_state; }
    REFERENCE_TIME StartTime() const { return m_start; }
    IReferenceClock* Clock() const { return m_clock; }
    IFilterGraph* Graph() const { return m_graph; }
    // Sends an event to the graph's event sink when it has one.
    HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

protected:
    void IncrementPinVersion() { InterlockedIncrement(&m_pinVersion); }

    FILTER_STATE m_state = State_Stopped;
    IReferenceClock* m_clock = nullptr;
    REFERENCE_TIME m_start = 0;
    CLSID m_clsid;
    CCritSec* m_lock;
    // The graph owns the filter, so the filter holds no reference back (that would be a cycle).
    IFilterGraph* m_graph = nullptr;
    IMediaEventSink* m_sink = nullptr;
    wchar_t* m_name = nullptr;
    volatile LONG m_pinVersion = 1;
};
