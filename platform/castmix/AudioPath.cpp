#include "platform/castmix/AudioPath.h"

#include "platform/castmix/EngineLog.h"

#include <cwchar>

int CopyDeviceRows(const wchar_t (*from)[kSonarelNameChars], int count, wchar_t (*to)[kSonarelNameChars], int rows)
{
    int copied = 0;
    for (; copied < count && copied < rows; ++copied) {
        wmemcpy(to[copied], from[copied], kSonarelNameChars);
        to[copied][kSonarelNameChars - 1] = 0;
    }
    return copied;
}

CAudioPath::CAudioPath(const SonarelApi& api) : m_api(api) {}

CAudioPath::~CAudioPath()
{
    StopMicrophone();
    StopSpeaker();
}

int CAudioPath::StartMicrophone(int device)
{
    StopMicrophone();
    m_capture = m_api.captureCreate();
    if (!m_capture)
        return -1;
    m_micMeter.Clear();
    InterlockedExchange(&m_capturedBlocks, 0);
    int result = m_api.captureStart(m_capture, device, kRate, kBits, kChannels, &CAudioPath::OnCaptured, this);
    ENGINE_LOG("Info: microphone %d start = %d\r\n", device, result);
    if (result != 1)
        m_api.captureClose(&m_capture);
    return result;
}

void CAudioPath::StopMicrophone()
{
    // Close waits for the capture thread, so no callback runs on this object afterwards.
    if (m_capture)
        m_api.captureClose(&m_capture);
    m_capture = nullptr;
    m_micMeter.Clear();
}

int CAudioPath::StartSpeaker(HWND window, int device)
{
    StopSpeaker();
    m_play = m_api.playCreate();
    if (!m_play)
        return -1;
    m_speakerMeter.Clear();
    InterlockedExchange(&m_playedBlocks, 0);
    int result = m_api.playStartDevice
                     ? m_api.playStartDevice(m_play, window, device, kRate, kBits, kChannels, &CAudioPath::OnPlayed, this)
                     : m_api.playStart(m_play, window, 0, kRate, kBits, kChannels, &CAudioPath::OnPlayed, this);
    ENGINE_LOG("Info: speaker %d start = %d\r\n", device, result);
    if (result != 1)
        m_api.playClose(&m_play);
    return result;
}

void CAudioPath::StopSpeaker()
{
    if (m_play)
        m_api.playClose(&m_play);
    m_play = nullptr;
    m_speakerMeter.Clear();
}

int CAudioPath::CaptureDevices(wchar_t (*names)[kSonarelNameChars], int rows)
{
    CDSSonarel* lister = m_api.captureCreate();
    if (!lister)
        return -1;
    int count = ListLibraryDevices(m_api.captureGetDevs, lister, names, rows);
    m_api.captureClose(&lister);
    return count;
}

int CAudioPath::PlaybackDevices(wchar_t (*names)[kSonarelNameChars], int rows)
{
    CDSAudioPlay* lister = m_api.playCreate();
    if (!lister)
        return -1;
    int count = ListLibraryDevices(m_api.playGetDevs, lister, names, rows);
    m_api.playClose(&lister);
    return count;
}

long CAudioPath::OnCaptured(void* user, CRA_DataBlock** block)
{
    auto* self = static_cast<CAudioPath*>(user);
    if (!self || !block || !*block || !(*block)->data || (*block)->length <= 0)
        return 0;
    const CRA_DataBlock& captured = **block;
    self->m_micMeter.Push(SpeechLevelOf(reinterpret_cast<const int16_t*>(captured.data),
                                        static_cast<size_t>(captured.length) / 2, self->m_micVolume));
    InterlockedIncrement(&self->m_capturedBlocks);
    return 0;
}

long CAudioPath::OnPlayed(void* user, CRA_DataBlock** block)
{
    auto* self = static_cast<CAudioPath*>(user);
    if (!self || !block || !*block || !(*block)->data || (*block)->length <= 0)
        return 0;
    CRA_DataBlock& next = **block;
    // No participant's sound reaches this engine: the next block is silence, scaled like any other.
    memset(next.data, 0, static_cast<size_t>(next.length));
    auto* samples = reinterpret_cast<int16_t*>(next.data);
    size_t count = static_cast<size_t>(next.length) / 2;
    ApplyVolume(samples, count, self->m_speakerVolume);
    self->m_speakerMeter.Push(SpeechLevelOf(samples, count, kFullVolume));
    InterlockedIncrement(&self->m_playedBlocks);
    return 0;
}
