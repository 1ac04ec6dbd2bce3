// Microphone capture: a looping DirectSound capture buffer of 30 notification steps, read by a thread
// into 20 ms blocks that go to the host's callback.
#pragma once
#include "media/audio/AudioCommon.h"

#include <atomic>

class CDSSonarel {
public:
    CDSSonarel();
    ~CDSSonarel();
    CDSSonarel(const CDSSonarel&) = delete;
    CDSSonarel& operator=(const CDSSonarel&) = delete;

    // 1 when capture runs, -3 on any failure (the object may be started again).
    int Start(int deviceIndex, int samplesPerSec, int bitsPerSample, int channels, AudioBlockCallback callback,
              void* user);
    // Stops the buffer and the thread and releases everything; harmless when nothing runs.
    void Stop();
    // Stops the buffer and the thread inside the loader lock (library unload): the device objects are
    // released after the loader lock (ReleaseAfterUnload), the events are left open.
    void Abandon();

    bool IsRunning() const { return m_thread.Get() != nullptr; }
    DWORD BlockBytes() const { return m_block ? static_cast<DWORD>(m_block->length) : 0; }
    DWORD NotifyStep() const { return m_notifyStep; }
    DWORD BufferBytes() const { return m_bufferBytes; }
    // The size the capture buffer's description announced to DirectSound.
    DWORD DescriptionBytes() const { return m_descriptionBytes; }
    // The size DirectSound reports for the running buffer (0 when none).
    DWORD ActualBufferBytes() const;

    // Exit code of a capture thread that had to be terminated.
    static const DWORD kTerminatedExitCode = 171;

private:
    enum class ReadResult { Done, NotEnough, Failed };

    bool CreateEvents();
    bool CreateCaptureBuffer();
    bool InitNotifications();
    ReadResult RecordCapturedData(unsigned char* data, DWORD length);
    void ThreadLoop();
    static DWORD WINAPI ThreadProc(void* self);

    GUID m_deviceId = {};
    int m_deviceIndex = 0;
    ComPtr<IDirectSoundCapture8> m_capture;
    ComPtr<IDirectSoundCaptureBuffer> m_buffer;
    ComPtr<IDirectSoundNotify> m_notify;
    WAVEFORMATEX m_format = {};
    DSBPOSITIONNOTIFY m_positions[kNotifyCount] = {};
    DWORD m_notifyStep = 0;
    DWORD m_bufferBytes = 0;
    DWORD m_descriptionBytes = 0;
    ScopedHandle m_notifyEvent;  // auto-reset
    ScopedHandle m_stopEvent;    // auto-reset
    ScopedHandle m_stoppedEvent; // manual-reset
    ScopedHandle m_thread;
    CRITICAL_SECTION m_ringLock;
    DWORD m_nextReadOffset = 0;
    CRA_DataBlock* m_block = nullptr;
    int m_blockCounter = 0;
    AudioBlockCallback m_callback = nullptr;
    void* m_user = nullptr;
    std::atomic<bool> m_inCallback{false};
};

// Ends a worker thread of the library: signals stop, waits up to 1000 ms for its stopped event, else
// terminates it with the exit code; then waits for the thread itself, so no code of the library runs on
// it after the call. Inside the loader lock a thread cannot finish on its own, so once it has signalled
// it is ended there (with exit code 0).
// A thread that is late but not inside the host's callback is inside DirectSound, which may hold its
// device's lock: ending it there would stall every later capture or playback on that device, so it gets
// a longer grace before it is terminated.
void StopWorkerThread(ScopedHandle& thread, HANDLE stopEvent, HANDLE stoppedEvent, DWORD exitCode,
                      bool insideLoaderLock, const char* owner, const std::atomic<bool>& inCallback);
