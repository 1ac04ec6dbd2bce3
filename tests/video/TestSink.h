// A two-input file sink standing in for the WM ASF writer (Wine has none): it keeps the file name,
// the profile the recorder applied, the type each input was connected with and every sample.
#pragma once
#include "media/video/Recorder.h"

#include <mutex>
#include <string>
#include <vector>

struct SinkSample {
    REFERENCE_TIME start = -1;
    REFERENCE_TIME stop = -1;
    bool timed = false;
    bool syncPoint = false;
    std::vector<BYTE> data;
};

class CTestSinkFilter;

class CTestSinkPin : public CBaseInputPin {
public:
    CTestSinkPin(CTestSinkFilter* filter, CCritSec* lock, HRESULT* result, const wchar_t* name);
    HRESULT CheckMediaType(const CMediaType* type) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;

    std::mutex lock;
    std::vector<SinkSample> samples;
    size_t Count();
    std::vector<SinkSample> Samples();
};

class CTestSinkFilter : public CBaseFilter, public IFileSinkFilter {
public:
    CTestSinkFilter();
    ~CTestSinkFilter() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;

    STDMETHODIMP SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) override;
    STDMETHODIMP GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override;

    CTestSinkPin* Input(int n) { return n == 1 ? m_first : m_second; }
    std::wstring fileName;

private:
    CCritSec m_filterLock;
    CTestSinkPin* m_first = nullptr;
    CTestSinkPin* m_second = nullptr;
};

// The recorder's writer seam pointed at a fresh test sink; restores the platform writer when done.
class TestWriter : public CxRecorderWriter {
public:
    TestWriter();
    ~TestWriter() override;
    HRESULT CreateWriter(IBaseFilter** writer) override;
    HRESULT CreateProfileManager(IWMProfileManager** manager) override;
    HRESULT ApplyProfile(IWMProfileManager* manager, IBaseFilter* writer, const wchar_t* profile) override;

    // The last sink handed out, with a reference of its own.
    CTestSinkFilter* sink = nullptr;
    std::wstring profile;
    // The stand-in profile manager refuses every profile; without this the writer takes it directly.
    bool refuseProfile = false;
    bool noProfileManager = false;
};
