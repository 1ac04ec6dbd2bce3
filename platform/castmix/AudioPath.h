// The engine's sound: the microphone captured through Sonarel in 20 ms blocks and measured, and the
// speaker fed block by block. Nothing comes from the room, so the speaker plays silence at its volume.
#pragma once
#include "platform/castmix/MediaLibraries.h"
#include "platform/castmix/SpeechLevel.h"

#include <memory>
#include <new>

class CAudioPath {
public:
    explicit CAudioPath(const SonarelApi& api);
    ~CAudioPath();
    CAudioPath(const CAudioPath&) = delete;
    CAudioPath& operator=(const CAudioPath&) = delete;

    // The capture format: 16 kHz mono 16-bit, 640-byte blocks.
    static const int kRate = 16000;
    static const int kBits = 16;
    static const int kChannels = 1;

    // 1 when capture runs, else the library's code (negative).
    int StartMicrophone(int device);
    void StopMicrophone();
    // 1 when playback runs, else the library's code; a library that cannot choose plays on its first device.
    int StartSpeaker(HWND window, int device);
    void StopSpeaker();
    bool MicrophoneRunning() const { return m_capture != nullptr; }
    bool SpeakerRunning() const { return m_play != nullptr; }

    void SetMicVolume(int volume) { InterlockedExchange(&m_micVolume, volume); }
    void SetSpeakerVolume(int volume) { InterlockedExchange(&m_speakerVolume, volume); }
    int MicLevel() const { return m_capture ? m_micMeter.Level() : 0; }
    int SpeakerLevel() const { return m_play ? m_speakerMeter.Level() : 0; }
    long CapturedBlocks() const { return m_capturedBlocks; }
    long PlayedBlocks() const { return m_playedBlocks; }

    // Up to rows device names into names; the count copied, or a negative code.
    int CaptureDevices(wchar_t (*names)[kSonarelNameChars], int rows);
    int PlaybackDevices(wchar_t (*names)[kSonarelNameChars], int rows);

private:
    static long OnCaptured(void* user, CRA_DataBlock** block);
    static long OnPlayed(void* user, CRA_DataBlock** block);

    const SonarelApi& m_api;
    CDSSonarel* m_capture = nullptr;
    CDSAudioPlay* m_play = nullptr;
    volatile LONG m_micVolume = kFullVolume;
    volatile LONG m_speakerVolume = kFullVolume;
    volatile LONG m_capturedBlocks = 0;
    volatile LONG m_playedBlocks = 0;
    SpeechMeter m_micMeter;
    SpeechMeter m_speakerMeter;
};

// Copies at most rows names from a library's answer of count names; answers the number copied.
int CopyDeviceRows(const wchar_t (*from)[kSonarelNameChars], int count, wchar_t (*to)[kSonarelNameChars], int rows);

// The libraries write one row for every device they find and take no row count, so they get far more
// rows than any machine has devices; the caller's table then receives the first rows only.
const int kLibraryRows = 64;

// A library's device list into at most rows of the caller's table; the library's answer when negative.
template <typename Handle, typename GetDevs>
int ListLibraryDevices(GetDevs getDevs, Handle handle, wchar_t (*names)[kSonarelNameChars], int rows)
{
    std::unique_ptr<wchar_t[][kSonarelNameChars]> all(new (std::nothrow) wchar_t[kLibraryRows][kSonarelNameChars]());
    if (!all)
        return -1;
    int count = getDevs(handle, all.get());
    if (count < 0)
        return count;
    return CopyDeviceRows(all.get(), count > kLibraryRows ? kLibraryRows : count, names, rows);
}
