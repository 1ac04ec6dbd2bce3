#include "media/video/Recorder.h"

#include "media/video/RecorderProfile.h"
#include "media/video/VideoLog.h"
#include "platform/dshow/DsMediaType.h"

#include <new>
#include <vector>

namespace {

CxRecorderWriter g_platformWriter;
CxRecorderWriter* g_writer = &g_platformWriter;

// The caller's format made consistent: the derived fields follow channels, bits and rate.
void CompleteWaveFormat(WAVEFORMATEX& sound)
{
    sound.nAvgBytesPerSec = static_cast<DWORD>(sound.nChannels) * sound.wBitsPerSample * sound.nSamplesPerSec / 8;
    sound.nBlockAlign = static_cast<WORD>(sound.nChannels * sound.wBitsPerSample / 8);
}

std::wstring AnsiToWideText(const std::string& text)
{
    int chars = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (chars <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], chars);
    wide.resize(static_cast<size_t>(chars - 1));
    return wide;
}

// The audio device's capture pin's stream configuration and its current type.
HRESULT AudioStreamConfig(IBaseFilter* audio, IAMStreamConfig** config, CMediaType& current)
{
    ComPtr<IPin> pin;
    pin.Attach(CxGraph::FindCapturePin(audio));
    if (!pin) {
        VideoLog("Err: Recorder::SetAudioFormat find pin = %x\r\n", -1);
        return -1;
    }
    HRESULT hr = pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(config));
    if (FAILED(hr)) {
        VideoLog("Err: Recorder::Audio AmStreamConfi hr = %x\r\n", hr);
        return hr;
    }
    AM_MEDIA_TYPE* type = nullptr;
    hr = (*config)->GetFormat(&type);
    if (FAILED(hr) || !type) {
        VideoLog("Err: Recorder::GetAType hr = %x\r\n", hr);
        (*config)->Release();
        *config = nullptr;
        return FAILED(hr) ? hr : E_FAIL;
    }
    current = *type;
    DeleteMediaType(type);
    // Only a full WAVEFORMATEX can be read or changed.
    if (current.formattype != FORMAT_WaveFormatEx || !current.pbFormat || current.cbFormat < sizeof(WAVEFORMATEX)) {
        VideoLog("Err: Recorder::GetAType hr = %x\r\n", VFW_E_INVALIDMEDIATYPE);
        (*config)->Release();
        *config = nullptr;
        return VFW_E_INVALIDMEDIATYPE;
    }
    return S_OK;
}

} // namespace

HRESULT CxRecorderWriter::CreateWriter(IBaseFilter** writer)
{
    return CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            reinterpret_cast<void**>(writer));
}

HRESULT CxRecorderWriter::CreateProfileManager(IWMProfileManager** manager)
{
    // The toolchain ships no import library for the Windows Media runtime.
    HMODULE runtime = LoadLibraryW(L"wmvcore.dll");
    if (!runtime)
        return HRESULT_FROM_WIN32(GetLastError());
    auto create = reinterpret_cast<HRESULT(WINAPI*)(IWMProfileManager**)>(
        GetProcAddress(runtime, "WMCreateProfileManager"));
    if (!create)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return create(manager);
}

HRESULT CxRecorderWriter::ApplyProfile(IWMProfileManager* manager, IBaseFilter* writer, const wchar_t* profile)
{
    ComPtr<IWMProfile> loaded;
    HRESULT hr = manager->LoadProfileByData(profile, loaded.Out());
    if (FAILED(hr))
        return hr;
    ComPtr<IConfigAsfWriter> config;
    hr = writer->QueryInterface(IID_IConfigAsfWriter, config.OutVoid());
    if (FAILED(hr))
        return hr;
    return config->ConfigureFilterUsingProfile(loaded.Get());
}

void SetRecorderWriter(CxRecorderWriter* writer)
{
    g_writer = writer ? writer : &g_platformWriter;
}

CxRecorder::~CxRecorder()
{
    Close();
}

HRESULT CxRecorder::Start(int audioDeviceIndex, const BITMAPINFOHEADER& video, int framesPerSecond, int videoKbps,
                          WAVEFORMATEX& sound, const wchar_t* path)
{
    HRESULT hr = Build(audioDeviceIndex, video, framesPerSecond, videoKbps, sound, path);
    // A start that failed half-way leaves nothing running: no source ticking on its timer, and no frame
    // taken as stored while nothing records.
    if (FAILED(hr))
        Close();
    return hr;
}

HRESULT CxRecorder::Build(int audioDeviceIndex, const BITMAPINFOHEADER& video, int framesPerSecond, int videoKbps,
                          WAVEFORMATEX& sound, const wchar_t* path)
{
    Close();
    CompleteWaveFormat(sound);
    m_framesPerSecond = framesPerSecond;
    m_videoKbps = videoKbps;
    VideoLog("Recorder: wxh = %dx%d,dw = %x, bits = %d\r\n", video.biWidth, video.biHeight, video.biCompression,
             video.biBitCount);

    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  m_graph.OutVoid());
    if (FAILED(hr)) {
        VideoLog("Err: Recorder filtergrah hr = %x\r\n", hr);
        return hr;
    }
    hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                          m_builder.OutVoid());
    if (FAILED(hr)) {
        VideoLog("Err: recordder builder hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = m_builder->SetFiltergraph(m_graph.Get())))
        return hr;
    if (FAILED(hr = m_graph->QueryInterface(IID_IMediaControl, m_control.OutVoid())))
        return hr;
    m_graph->QueryInterface(IID_IMediaEventEx, m_event.OutVoid());
    m_graph->QueryInterface(IID_IMediaFilter, m_mediaFilter.OutVoid());

    HRESULT created = S_OK;
    auto* source = new (std::nothrow) CxDataSourceFilter(&created);
    if (!source || FAILED(created)) {
        hr = source ? created : E_OUTOFMEMORY;
        if (source)
            source->NonDelegatingRelease();
        VideoLog("Err: recorder: xdatasrouce = %x\r\n", hr);
        return hr;
    }
    m_source.Attach(static_cast<IBaseFilter*>(source));
    if (FAILED(hr = m_source->QueryInterface(IID_IxDataSourceInterface, m_sourceInterface.OutVoid()))) {
        VideoLog("Err: recorder::ixdatasrouceinterface hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = m_sourceInterface->SetFormat(&video, videoKbps, framesPerSecond))) {
        VideoLog("Err: recorder setformat = %x\r\n", hr);
        return hr;
    }

    wchar_t audioName[kDeviceNameChars] = {};
    hr = FindFilter(CLSID_AudioInputDeviceCategory, audioDeviceIndex, m_audio.Out(), audioName);
    if (hr != S_OK || !m_audio) {
        hr = FAILED(hr) ? hr : E_FAIL;
        VideoLog("Err: recorder::find audio dev = %d, hr = %x\r\n", audioDeviceIndex, hr);
        return hr;
    }
    VideoLog("Info: audio index = %d, name = %s\r\n", audioDeviceIndex, LogText(audioName).c_str());

    HRESULT audioResult = SetAudioFormat(sound);
    if (FAILED(audioResult))
        VideoLog("Err: recorder::setaudio cap format failed = %x\r\n", audioResult);
    if (SUCCEEDED(GetAudioFormat(sound)))
        CompleteWaveFormat(sound);
    VideoLog("Info: cur audio format\r\n{\r\n chan = %d,sample = %d\r\n}\r\n", sound.nChannels, sound.nSamplesPerSec);

    if (FAILED(hr = g_writer->CreateWriter(m_writer.Out())) || !m_writer) {
        hr = FAILED(hr) ? hr : E_FAIL;
        VideoLog("Err: Recorder::CreateAsfWriter = %x\r\n", hr);
        return hr;
    }
    ComPtr<IFileSinkFilter> sink;
    if (FAILED(hr = m_writer->QueryInterface(IID_IFileSinkFilter, sink.OutVoid()))) {
        VideoLog("Err: query filesink failed!hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = sink->SetFileName(path, nullptr))) {
        VideoLog("Err: setfilename hr = %x\r\n", hr);
        return hr;
    }

    if (FAILED(hr = AddFilter(m_source.Get(), L"LV DataSource Cam"))) {
        VideoLog("Err: Recorder::Add Cam hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = AddFilter(m_audio.Get(), audioName))) {
        VideoLog("Err: Recorder::Add audiofilter hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = AddFilter(m_writer.Get(), L"WM Asf Wtier"))) {
        VideoLog("Err: Recorder::add wm asf writer hr = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = ConfigureProfile(video))) {
        VideoLog("Err: configure asf failed = %x\r\n", hr);
        return hr;
    }
    SetMetadata();

    if (FAILED(hr = ConnectFilters(m_writer.Get(), 1, m_audio.Get()))) {
        VideoLog("Err: recorder::connect audio to asf w failed = %x\r\n", hr);
        return hr;
    }
    if (FAILED(hr = ConnectFilters(m_writer.Get(), 2, m_source.Get()))) {
        VideoLog("Err: recorder:: connect cam to asf w failed = %x\r\n", hr);
        return hr;
    }
    hr = m_control->Run();
    if (FAILED(hr))
        return hr;
    m_sourceInterface->SetState(1);
    return hr;
}

HRESULT CxRecorder::SetAudioFormat(const WAVEFORMATEX& sound)
{
    ComPtr<IAMStreamConfig> config;
    CMediaType current;
    HRESULT hr = AudioStreamConfig(m_audio.Get(), config.Out(), current);
    if (FAILED(hr))
        return hr;
    auto* wave = reinterpret_cast<WAVEFORMATEX*>(current.pbFormat);
    wave->nChannels = sound.nChannels;
    wave->nSamplesPerSec = sound.nSamplesPerSec;
    wave->wBitsPerSample = sound.wBitsPerSample;
    CompleteWaveFormat(*wave);
    return config->SetFormat(&current);
}

HRESULT CxRecorder::GetAudioFormat(WAVEFORMATEX& sound)
{
    ComPtr<IAMStreamConfig> config;
    CMediaType current;
    HRESULT hr = AudioStreamConfig(m_audio.Get(), config.Out(), current);
    if (FAILED(hr))
        return hr;
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(current.pbFormat);
    sound.nChannels = wave->nChannels;
    sound.wBitsPerSample = wave->wBitsPerSample;
    sound.nSamplesPerSec = wave->nSamplesPerSec;
    return S_OK;
}

HRESULT CxRecorder::ConfigureProfile(const BITMAPINFOHEADER& video)
{
    ComPtr<IWMProfileManager> manager;
    HRESULT hr = g_writer->CreateProfileManager(manager.Out());
    if (FAILED(hr) || !manager) {
        hr = FAILED(hr) ? hr : E_FAIL;
        VideoLog("Err: create pm failed = %x\r\n", hr);
        return hr;
    }
    std::string profile =
        FillRecorderProfile(RecorderProfileTemplate, video.biWidth, video.biHeight, m_videoKbps, m_framesPerSecond);
    if (profile.empty())
        return E_INVALIDARG;
    std::wstring wide = AnsiToWideText(profile);
    // A writer that refuses the profile records with its own: the recording goes on, the log keeps why.
    hr = g_writer->ApplyProfile(manager.Get(), m_writer.Get(), wide.c_str());
    if (FAILED(hr))
        VideoLog("Err: apply profile failed = %x\r\n", hr);
    return S_OK;
}

HRESULT CxRecorder::SetMetadata()
{
    ComPtr<IServiceProvider> provider;
    HRESULT hr = m_writer->QueryInterface(IID_IServiceProvider, provider.OutVoid());
    if (FAILED(hr))
        return hr;
    ComPtr<IWMWriterAdvanced2> advanced;
    hr = provider->QueryService(IID_IWMWriterAdvanced2, IID_IWMWriterAdvanced2, advanced.OutVoid());
    if (FAILED(hr))
        return hr;
    ComPtr<IWMHeaderInfo3> header;
    hr = advanced->QueryInterface(IID_IWMHeaderInfo3, header.OutVoid());
    if (FAILED(hr))
        return hr;
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    wchar_t described[96] = {};
    _snwprintf(described, 95, L"produced time--%d:%02d:%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute, now.wSecond);
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } attributes[] = {{L"Author", L"Author by Zentora Lumenvale R"},
                      {L"WM/Producer", L"Produced by Lumenvale Product RecorderV1.0"},
                      {L"Description", described}};
    for (const auto& attribute : attributes) {
        WORD index = 0;
        hr = header->AddAttribute(0, attribute.name, &index, WMT_TYPE_STRING, 0,
                                  reinterpret_cast<const BYTE*>(attribute.value),
                                  static_cast<DWORD>((wcslen(attribute.value) + 1) * sizeof(wchar_t)));
    }
    return hr;
}

int CxRecorder::PutContent(BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3, const int* strides, int length,
                           int width, int height, int bitCount, DWORD value, int flip)
{
    if (!m_sourceInterface)
        return -1;
    HRESULT hr = m_sourceInterface->PutContent(frame, frame1, frame2, frame3, strides, length, width, height,
                                               bitCount, value, flip);
    return SUCCEEDED(hr) ? length : 0;
}

void CxRecorder::Close()
{
    if (!m_graph && !m_source)
        return;
    VideoLog("Recorder::Close() now....\r\n");
    if (m_control)
        m_control->Stop();
    if (m_sourceInterface)
        m_sourceInterface->SetState(0);
    // The timer stops before anything it touches is released.
    if (m_source)
        static_cast<CxDataSourceFilter*>(m_source.Get())->StopTimer();
    m_sourceInterface.Reset();
    m_source.Reset();
    m_event.Reset();
    m_mediaFilter.Reset();
    m_control.Reset();
    m_writer.Reset();
    m_audio.Reset();
    m_builder.Reset();
    m_graph.Reset();
}
