// The recorder's video source: keeps the latest pushed frame and delivers it downstream at the
// recording's frame rate from a multimedia timer, stamped so that samples follow each other without
// gaps.
#pragma once
#include "filetransfer/MMTimer.h"
#include "platform/dshow/DsFilter.h"
#include "platform/dshow/DsPin.h"

#include <vector>

// {6E1E96C4-A900-4289-A4B0-19575E5CA261}
extern const IID IID_IxDataSourceInterface;
// {0C1D2240-4F5C-41E0-A579-67C3E5E1171B}
extern const CLSID CLSID_CxDataSourceFilter;

struct IxDataSourceInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(const BITMAPINFOHEADER* format, int videoKbps,
                                                int framesPerSecond) = 0;
    virtual HRESULT STDMETHODCALLTYPE PutContent(BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3,
                                                 const int* strides, int length, int width, int height,
                                                 int bitCount, DWORD value, int flip) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetState(int state) = 0;
};

class CxDataSourceFilter;

class CxDataSourcePin : public CBaseOutputPin {
public:
    CxDataSourcePin(CxDataSourceFilter* filter, CCritSec* lock, HRESULT* result);

    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    STDMETHODIMP Notify(IBaseFilter*, Quality) override { return S_OK; }

private:
    CxDataSourceFilter* m_source;
};

class CxDataSourceFilter : public CBaseFilter, public IxDataSourceInterface, public _FileTrans::CxMMTimer {
public:
    // Created with one reference that the caller owns.
    explicit CxDataSourceFilter(HRESULT* result);
    ~CxDataSourceFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    const REGFILTER2* GetSetupData() override { return nullptr; }

    STDMETHODIMP SetFormat(const BITMAPINFOHEADER* format, int videoKbps, int framesPerSecond) override;
    STDMETHODIMP PutContent(BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3, const int* strides, int length,
                            int width, int height, int bitCount, DWORD value, int flip) override;
    STDMETHODIMP SetState(int state) override;
    int OnTimer() override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    WORD BitCount() const { return m_bitCount; }
    DWORD Compression() const { return m_compression; }
    int FramesPerSecond() const { return m_framesPerSecond; }
    LONGLONG DeliveredFrames();
    // Stops the delivery timer and waits for a tick in progress.
    void StopTimer() { CxMMTimer::Stop(); }

    // The multimedia clock in 100-nanosecond units; replaceable so tests control time.
    static void SetClock(LONGLONG (*now)());

private:
    void ResetFrameBuffer();
    bool DeliverTick();

    CCritSec m_filterLock;
    CxDataSourcePin* m_pin = nullptr;
    int m_width = 640;
    int m_height = 480;
    WORD m_bitCount = 32;
    DWORD m_compression = 0;
    int m_videoKbps = 0;
    int m_framesPerSecond = 15;
    int m_state = 0;
    LONGLONG m_baseTime = 0;
    LONGLONG m_lastStop = 0;
    LONGLONG m_delivered = 0;
    std::vector<BYTE> m_frame;
    size_t m_frameSize = 0;
    CCritSec m_frameLock;
};
