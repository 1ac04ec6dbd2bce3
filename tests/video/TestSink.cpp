#include "tests/video/TestSink.h"

#include <new>

CTestSinkPin::CTestSinkPin(CTestSinkFilter* filter, CCritSec* lock, HRESULT* result, const wchar_t* name)
    : CBaseInputPin(L"TestSinkPin", filter, lock, result, name)
{
}

HRESULT CTestSinkPin::CheckMediaType(const CMediaType* type)
{
    return type->majortype == MEDIATYPE_Audio || type->majortype == MEDIATYPE_Video ? S_OK : S_FALSE;
}

STDMETHODIMP CTestSinkPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK)
        return hr;
    SinkSample seen;
    seen.timed = sample->GetTime(&seen.start, &seen.stop) == S_OK;
    seen.syncPoint = sample->IsSyncPoint() == S_OK;
    BYTE* data = nullptr;
    if (SUCCEEDED(sample->GetPointer(&data)))
        seen.data.assign(data, data + sample->GetActualDataLength());
    std::lock_guard<std::mutex> guard(lock);
    samples.push_back(std::move(seen));
    return S_OK;
}

size_t CTestSinkPin::Count()
{
    std::lock_guard<std::mutex> guard(lock);
    return samples.size();
}

std::vector<SinkSample> CTestSinkPin::Samples()
{
    std::lock_guard<std::mutex> guard(lock);
    return samples;
}

namespace {
const CLSID CLSID_TestSink = {0x5b7c0d10, 0x3a51, 0x4c3e, {0x9f, 0x6e, 0x2b, 0x8e, 0x61, 0xa0, 0xc0, 0x10}};
}

CTestSinkFilter::CTestSinkFilter() : CBaseFilter(L"TestSink", nullptr, &m_filterLock, CLSID_TestSink)
{
    HRESULT result = S_OK;
    m_first = new CTestSinkPin(this, &m_filterLock, &result, L"Audio Input 01");
    m_second = new CTestSinkPin(this, &m_filterLock, &result, L"Video Input 01");
}

CTestSinkFilter::~CTestSinkFilter()
{
    delete m_first;
    delete m_second;
}

STDMETHODIMP CTestSinkFilter::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (out && iid == IID_IFileSinkFilter)
        return GetInterface(static_cast<IFileSinkFilter*>(this), out);
    return CBaseFilter::NonDelegatingQueryInterface(iid, out);
}

CBasePin* CTestSinkFilter::GetPin(int n)
{
    return n == 0 ? m_first : n == 1 ? m_second : nullptr;
}

STDMETHODIMP CTestSinkFilter::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*)
{
    if (!name)
        return E_POINTER;
    fileName = name;
    return S_OK;
}

STDMETHODIMP CTestSinkFilter::GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*)
{
    return E_NOTIMPL;
}

TestWriter::TestWriter()
{
    SetRecorderWriter(this);
}

TestWriter::~TestWriter()
{
    SetRecorderWriter(nullptr);
    if (sink)
        sink->Release();
}

HRESULT TestWriter::CreateWriter(IBaseFilter** writer)
{
    if (sink)
        sink->Release();
    sink = new CTestSinkFilter();
    // One reference for the recorder, one kept so the test can read the sink after the close.
    sink->AddRef();
    *writer = static_cast<IBaseFilter*>(sink);
    return S_OK;
}

namespace {

const HRESULT kInvalidData = static_cast<HRESULT>(0xC00D002F); // NS_E_INVALID_DATA

// A profile manager that keeps the text it is given and refuses it, as a writer's runtime does with a
// profile it cannot read.
class RefusingProfileManager final : public IWMProfileManager {
public:
    explicit RefusingProfileManager(std::wstring* seen) : m_seen(seen) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != __uuidof(IWMProfileManager))
            return E_NOINTERFACE;
        *out = static_cast<IWMProfileManager*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG left = InterlockedDecrement(&m_refs);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP CreateEmptyProfile(WMT_VERSION, IWMProfile** profile) override { return Refuse(profile); }
    STDMETHODIMP LoadProfileByID(REFGUID, IWMProfile** profile) override { return Refuse(profile); }
    STDMETHODIMP LoadProfileByData(const WCHAR* text, IWMProfile** profile) override
    {
        if (text)
            *m_seen = text;
        return Refuse(profile);
    }
    STDMETHODIMP SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSystemProfileCount(DWORD* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP LoadSystemProfile(DWORD, IWMProfile** profile) override { return Refuse(profile); }

private:
    static HRESULT Refuse(IWMProfile** profile)
    {
        if (profile)
            *profile = nullptr;
        return kInvalidData;
    }

    LONG m_refs = 1;
    std::wstring* m_seen;
};

} // namespace

HRESULT TestWriter::CreateProfileManager(IWMProfileManager** manager)
{
    if (noProfileManager)
        return REGDB_E_CLASSNOTREG;
    *manager = new RefusingProfileManager(&profile);
    return S_OK;
}

HRESULT TestWriter::ApplyProfile(IWMProfileManager* manager, IBaseFilter* writer, const wchar_t* text)
{
    if (writer != static_cast<IBaseFilter*>(sink))
        return E_UNEXPECTED;
    // A refused profile goes the platform's way: the manager is asked to load it and says no.
    if (refuseProfile)
        return CxRecorderWriter::ApplyProfile(manager, writer, text);
    profile = text;
    return S_OK;
}
