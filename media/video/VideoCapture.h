// Camera capture: a device through the sample grabber in RGB32, every frame handed to the caller's
// callback on the streaming thread, optionally previewed into a window.
#pragma once
#include "media/video/Graph.h"
#include "media/video/Vidlatch.h"
#include "platform/afx/AfxFile.h"

class CxVideoCapture;

// Lives inside its capture object: the grabber's references never decide its lifetime.
class CSampleGrabber : public ISampleGrabberCB {
public:
    CSampleGrabber();
    virtual ~CSampleGrabber() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

    void Reset();

    VideoFrameCallback callback = nullptr;
    void* user = nullptr;
    void* owner = nullptr;
    BITMAPINFOHEADER header = {};
    WAVEFORMATEX wave = {};
    // Would hand the audio form to the callback; nothing sets it.
    LONG soundForm = 0;
    volatile LONG enabled = 1;
};

class CxVideoCapture : public CxGraph {
public:
    CxVideoCapture() = default;
    ~CxVideoCapture() override;

    HRESULT Create(int deviceIndex, int width, int height, int framesPerSecond, VideoFrameCallback callback,
                   void* user, HWND preview);
    void Release();
    HRESULT Preview(int deviceIndex, HWND window);
    HRESULT ShowPropertyPage(int deviceIndex);
    HRESULT SetFormat(int width, int height);
    HRESULT GetFormat();
    HRESULT GetStandard();
    void SetState(bool on) { InterlockedExchange(&m_grabberCallback.enabled, on ? 1 : 0); }

    // The format the device runs with (after Create).
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int BitCount() const { return m_bitCount; }
    DWORD Compression() const { return m_compression; }
    double FramesPerSecond() const { return m_framesPerSecond; }

private:
    void ReleaseInterfaces();
    HRESULT AddPreview(HWND preview);

    ComPtr<IBaseFilter> m_device;
    ComPtr<IBaseFilter> m_grabberFilter;
    ComPtr<IKsPropertySet> m_properties;
    ComPtr<IAMAnalogVideoDecoder> m_decoder;
    ComPtr<IAMStreamConfig> m_config;
    ComPtr<IAMVideoProcAmp> m_procAmp;
    ComPtr<IAMCrossbar> m_crossbar;
    CSampleGrabber m_grabberCallback;
    ComPtr<ISampleGrabber> m_grabber;
    DWORD m_compression = 0;
    int m_width = 0;
    int m_height = 0;
    int m_bitCount = 0;
    double m_framesPerSecond = 0;
    ComPtr<IBaseFilter> m_renderer;
    HWND m_previewWindow = nullptr;
    int m_deviceIndex = -1;
};

// Fills the list with the friendly names of the video input devices in enumeration order; answers
// their number. A device without a readable name is listed under a placeholder, so list positions
// stay the positions a start uses.
int GetDevice(CStringList& names);
