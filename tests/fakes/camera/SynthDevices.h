// Capture devices for tests: live sources on our DirectShow base classes that stream a known pattern
// (video) or a ramp (sound) in real time, with the stream configuration and pin category a real
// camera or microphone offers.
#pragma once
#include "platform/dshow/DsFilter.h"
#include "platform/dshow/DsPin.h"

#include <vector>

class CSynthFilter;

class CSynthPin : public CBaseOutputPin, public IAMStreamConfig, public IKsPropertySet {
public:
    CSynthPin(CSynthFilter* filter, CCritSec* lock, HRESULT* result, const wchar_t* name);
    ~CSynthPin() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return CBasePin::QueryInterface(iid, out); }
    STDMETHODIMP_(ULONG) AddRef() override { return CBasePin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CBasePin::Release(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    STDMETHODIMP Notify(IBaseFilter*, Quality) override { return S_OK; }

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
    // IKsPropertySet: answers the capture pin category, as device pins do.
    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceSize, LPVOID data, DWORD size,
                     DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    std::vector<CMediaType> formats;
    CMediaType current;
    int capsSize = 0;
    REFERENCE_TIME period = 0;

private:
    static DWORD WINAPI ThreadProc(void* self);
    void Stream();
    bool DeliverOne(LONGLONG index);

    CSynthFilter* m_owner;
    HANDLE m_thread = nullptr;
    HANDLE m_stop = nullptr;
};

class CSynthFilter : public CBaseFilter {
public:
    // kind 0 and 1 are the two cameras, 2 the microphone.
    CSynthFilter(int kind, HRESULT* result);
    ~CSynthFilter() override;

    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
    // A live source cannot cue frames while paused.
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;

    // Writes one frame or sound block of the current format.
    void Fill(BYTE* data, long size, const CMediaType& type, LONGLONG index) const;
    int Kind() const { return m_kind; }

private:
    void AddVideoFormat(int width, int height);
    void AddTruncatedFormat(int width, int height);
    CCritSec m_filterLock;
    CSynthPin* m_pin = nullptr;
    int m_kind;
};
