// Pins: the connection protocol of IPin (type agreement, both sides' checks, break on failure) and an
// output pin that negotiates the allocator with the downstream input pin and delivers samples into it.
#pragma once
#include "platform/dshow/DsCommon.h"
#include "platform/dshow/DsLock.h"
#include "platform/dshow/DsMediaType.h"
#include "platform/dshow/DsUnknown.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // The pin's references count on its filter: pins live exactly as long as the filter does.
    CBasePin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
             const wchar_t* pinName, PIN_DIRECTION direction);
    ~CBasePin() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return GetOwner()->QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // IPin
    STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
    STDMETHODIMP SetSink(IQualityControl* sink) override;

    // What a derived pin decides.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The preferred types from position 0; VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    virtual HRESULT SetMediaType(const CMediaType* type);
    virtual HRESULT CheckConnect(IPin* pin);
    virtual HRESULT CompleteConnect(IPin* receivePin);
    virtual HRESULT BreakConnect();
    // Called by the filter on the transitions out of and into the stopped state.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }
    virtual LONG GetMediaTypeVersion() { return m_typeVersion; }

    bool IsConnected() const { return m_connected != nullptr; }
    IPin* GetConnected() const { return m_connected; }
    bool IsStopped() const;
    const wchar_t* Name() const { return m_pinName; }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    CBaseFilter* Filter() const { return m_filter; }

protected:
    HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);

    CBaseFilter* m_filter;
    CCritSec* m_lock;
    wchar_t* m_pinName = nullptr;
    PIN_DIRECTION m_direction;
    IPin* m_connected = nullptr;
    CMediaType m_mt;
    REFERENCE_TIME m_segmentStart = 0;
    REFERENCE_TIME m_segmentStop = MAXLONGLONG;
    double m_rate = 1.0;
    IQualityControl* m_qualitySink = nullptr;
    LONG m_typeVersion = 1;
};

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                   const wchar_t* pinName);
    ~CBaseOutputPin() override;

    HRESULT CheckConnect(IPin* pin) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Output pins take no stream control from upstream.
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }

    // Sets the allocator's count and size from the downstream pin's wishes.
    virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
    // The downstream pin's allocator when it offers one, else our own memory allocator.
    virtual HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator);
    virtual HRESULT InitAllocator(IMemAllocator** allocator);

    // A free buffer of the negotiated allocator (may wait for one); the caller releases it.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    IMemAllocator* Allocator() const { return m_allocator; }

protected:
    IMemAllocator* m_allocator = nullptr;
    IMemInputPin* m_inputPin = nullptr;
};

// An input pin that takes samples through IMemInputPin; derived pins implement Receive.
class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(const wchar_t* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* result,
                  const wchar_t* pinName);
    ~CBaseInputPin() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return CBasePin::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
    // The base checks the pin's state; a derived pin calls it first, then consumes the sample.
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* processed) override;
    STDMETHODIMP ReceiveCanBlock() override { return S_FALSE; }

    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;

    bool IsFlushing() const { return m_flushing; }

protected:
    IMemAllocator* m_allocator = nullptr;
    bool m_readOnly = false;
    volatile bool m_flushing = false;
};
