// Recording of pushed frames and live microphone sound into a WMV file through the platform's
// Windows Media writer.
#pragma once
#include "media/video/DataSource.h"
#include "media/video/Graph.h"

#include <string>

// Where the recorder gets its file writer and how a profile reaches it: the WM ASF writer and the
// Windows Media profile manager by default. Platforms without them (Wine) and tests put a stand-in
// here.
class CxRecorderWriter {
public:
    virtual ~CxRecorderWriter() = default;
    virtual HRESULT CreateWriter(IBaseFilter** writer);
    // Creating the profile manager comes first: a platform without one cannot record.
    virtual HRESULT CreateProfileManager(IWMProfileManager** manager);
    // Loads the profile text with the manager and applies it to the writer.
    virtual HRESULT ApplyProfile(IWMProfileManager* manager, IBaseFilter* writer, const wchar_t* profile);
};

// Null restores the platform's writer. Not for use while a recording starts.
void SetRecorderWriter(CxRecorderWriter* writer);

class CxRecorder : public CxGraph {
public:
    CxRecorder() = default;
    ~CxRecorder() override;

    HRESULT Start(int audioDeviceIndex, const BITMAPINFOHEADER& video, int framesPerSecond, int videoKbps,
                  WAVEFORMATEX& sound, const wchar_t* path);
    void Close();
    HRESULT SetAudioFormat(const WAVEFORMATEX& sound);
    HRESULT GetAudioFormat(WAVEFORMATEX& sound);
    HRESULT ConfigureProfile(const BITMAPINFOHEADER& video);
    HRESULT SetMetadata();

    // Answers the stored length, or -1 while no recording runs.
    int PutContent(BYTE* frame, BYTE* frame1, BYTE* frame2, BYTE* frame3, const int* strides, int length, int width,
                   int height, int bitCount, DWORD value, int flip);
    IxDataSourceInterface* Source() const { return m_sourceInterface.Get(); }

private:
    HRESULT Build(int audioDeviceIndex, const BITMAPINFOHEADER& video, int framesPerSecond, int videoKbps,
                  WAVEFORMATEX& sound, const wchar_t* path);

    ComPtr<IBaseFilter> m_source;
    ComPtr<IBaseFilter> m_audio;
    ComPtr<IBaseFilter> m_writer;
    ComPtr<IxDataSourceInterface> m_sourceInterface;
    int m_framesPerSecond = 0;
    int m_videoKbps = 0;
};
