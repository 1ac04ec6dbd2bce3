// Display of frames the caller pushes: our own push source feeds whatever renderer the graph's
// intelligent connect picks, and the video window goes into the caller's window.
#pragma once
#include "media/video/Graph.h"
#include "platform/dshow/DsFilter.h"
#include "platform/dshow/DsPin.h"

// {1612D901-A9C1-4E11-8EDD-313E2103824B}
extern const IID IID_IVideoDataInterface;
// {CE3B76CB-9540-48FA-9974-69A625D478E3}
extern const CLSID CLSID_CxVideoDataFilter;

struct IVideoDataInterface : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetFormat(const BITMAPINFOHEADER* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE Draw(BYTE* frame, BYTE* y, BYTE* u, BYTE* v, const int* strides, int length,
                                           int width, int height, int bitCount, int flip) = 0;
};

// The subtype GUID of a four-character code.
GUID SubtypeFromFourCc(DWORD fourCc);
// Bytes of an uncompressed bitmap: rows padded to 4 bytes.
DWORD BitmapImageSize(int width, int height, int bitCount);
// A frame format whose sizes the frame buffers can hold: larger sides or bit counts would overflow the
// 32-bit byte counts computed from them.
bool FrameFormatFits(int width, int height, int bitCount);
// One buffer of the image size of the pin's connected type, as both push sources want.
HRESULT DecideOneBuffer(const CMediaType& connected, IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request);

class CxVideoDataFilter;

class CxVideoDataPin : public CBaseOutputPin {
public:
    CxVideoDataPin(CxVideoDataFilter* filter, CCritSec* lock, HRESULT* result);

    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    // Frames are shown as they come; quality messages have nothing to change.
    STDMETHODIMP Notify(IBaseFilter*, Quality) override { return S_OK; }

private:
    CxVideoDataFilter* m_source;
};

class CxVideoDataFilter : public CBaseFilter, public IVideoDataInterface {
public:
    // Created with one reference that the caller owns.
    explicit CxVideoDataFilter(HRESULT* result);
    ~CxVideoDataFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override;
    const REGFILTER2* GetSetupData() override { return nullptr; }

    STDMETHODIMP SetFormat(const BITMAPINFOHEADER* format) override;
    STDMETHODIMP Draw(BYTE* frame, BYTE* y, BYTE* u, BYTE* v, const int* strides, int length, int width,
                      int height, int bitCount, int flip) override;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    WORD BitCount() const { return m_bitCount; }

private:
    HRESULT FillI420(IMediaSample* sample, BYTE* buffer, long size, BYTE* y, BYTE* u, BYTE* v,
                     const int* strides, int flip);

    CCritSec m_filterLock;
    CxVideoDataPin* m_pin = nullptr;
    int m_width = 640;
    int m_height = 480;
    WORD m_bitCount = 32;
};

class CxVideoRender : public CxGraph {
public:
    CxVideoRender() = default;
    ~CxVideoRender() override;

    HRESULT Start(const BITMAPINFOHEADER& format, HWND window);
    void Stop();
    HRESULT Draw(BYTE* frame, BYTE* y, BYTE* u, BYTE* v, const int* strides, int length, int width, int height,
                 int bitCount, int flip);

private:
    void StopLocked();

    BITMAPINFOHEADER m_format = {};
    HWND m_window = nullptr;
    ComPtr<IBaseFilter> m_filter;
    ComPtr<IVideoDataInterface> m_data;
    CCritSec m_lock;
};
