// Speaker playback: a looping DirectSound secondary buffer of 30 blocks of 20 ms. On each notification
// the thread hands the host the block just played and writes what the host leaves in it two blocks
// ahead of the write cursor.
#pragma once
#include "media/audio/AudioCommon.h"
#include "media/audio/DSSonarel.h"

class CDSAudioPlay {
public:
    CDSAudioPlay();
    virtual ~CDSAudioPlay();
    CDSAudioPlay(const CDSAudioPlay&) = delete;
    CDSAudioPlay& operator=(const CDSAudioPlay&) = delete;

    // 1 when playback runs, -5 on failure (the object is reset and may be started again).
    int Start(HWND window, int unused, int samplesPerSec, int bitsPerSample, int channels,
              AudioBlockCallback callback, void* user);
    // The same on the device at deviceIndex of the playback list; outside the list, the first device.
    int StartOnDevice(int deviceIndex, HWND window, int samplesPerSec, int bitsPerSample, int channels,
                      AudioBlockCallback callback, void* user);
    void Stop();
    void Reset();
    // Stops inside the loader lock (library unload); the device objects are released after it
    // (ReleaseAfterUnload).
    void Abandon();

    bool IsRunning() const { return m_thread.Get() != nullptr; }
    DWORD BlockBytes() const { return m_blockBytes; }
    DWORD BufferBytes() const { return m_bufferBytes; }
    DWORD ActualBufferBytes() const;

    static const DWORD kIdleBlockBytes = 480;
    static const DWORD kTerminatedExitCode = 172;

private:
    bool InitDSound(HWND window, int samplesPerSec, int bitsPerSample, int channels);
    bool CreateDSound();
    bool CreateBuffer();
    bool InitNotifications();
    DWORD ReadPlayedAudioData();
    void WriteAudioData();
    void ThreadLoop();
    static DWORD WINAPI ThreadProc(void* self);

    ComPtr<IDirectSound8> m_dsound;
    ComPtr<IDirectSoundBuffer> m_plainBuffer; // held only while setting up
    ComPtr<IDirectSoundBuffer8> m_buffer;
    ComPtr<IDirectSoundNotify> m_notify;
    DSBPOSITIONNOTIFY m_positions[kNotifyCount] = {};
    DSBUFFERDESC m_description = {};
    WAVEFORMATEX m_format = {};
    DWORD m_blockBytes = kIdleBlockBytes;
    DWORD m_bufferBytes = 0;
    AudioBlockCallback m_callback = nullptr;
    std::atomic<bool> m_inCallback{false};
    void* m_user = nullptr;
    DWORD m_writeOffset = 0;
    DWORD m_readOffset = 0;
    CRITICAL_SECTION m_ringLock;
    CRA_DataBlock* m_block = nullptr;
    ScopedHandle m_thread;
    ScopedHandle m_stoppedEvent; // manual-reset
    ScopedHandle m_notifyEvent;  // auto-reset
    ScopedHandle m_stopEvent;    // auto-reset
    GUID m_deviceId = {};
    int m_deviceIndex = 0; // position in the playback list of the device to open
};
