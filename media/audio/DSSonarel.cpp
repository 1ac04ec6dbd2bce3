#include "media/audio/DSSonarel.h"

#include "media/common/MediaLog.h"

#include <mmsystem.h>

namespace {
// Three blocks of 20 ms: long enough not to busy the thread, short enough that a lost notification
// costs the host no more than a short delay.
const DWORD kNotifyPollMs = 60;
const DWORD kStopWaitMs = 1000;
const DWORD kInsideSoundGraceMs = 10000;

bool StoppedInTime(HANDLE stoppedEvent, const std::atomic<bool>& inCallback)
{
    if (!stoppedEvent) return false;
    if (WaitForSingleObject(stoppedEvent, kStopWaitMs) == WAIT_OBJECT_0) return true;
    if (inCallback) return false;
    return WaitForSingleObject(stoppedEvent, kInsideSoundGraceMs) == WAIT_OBJECT_0;
}
} // namespace

void StopWorkerThread(ScopedHandle& thread, HANDLE stopEvent, HANDLE stoppedEvent, DWORD exitCode,
                      bool insideLoaderLock, const char* owner, const std::atomic<bool>& inCallback)
{
    if (!thread) return;
    if (stopEvent) SetEvent(stopEvent);
    SwitchToThread();
    if (!StoppedInTime(stoppedEvent, inCallback)) {
        MEDIA_LOG("Warn: %s thread did not stop in time, terminated\r\n", owner);
        TerminateThread(thread.Get(), exitCode);
        WaitForSingleObject(thread.Get(), 1000);
    } else if (insideLoaderLock) {
        // It has signalled and only returns now; it would wait for the loader lock we hold.
        TerminateThread(thread.Get(), 0);
        WaitForSingleObject(thread.Get(), 1000);
    } else {
        // The thread has signalled; let it leave the library's code before the caller may unload it.
        WaitForSingleObject(thread.Get(), 1000);
    }
    thread.Reset();
}

CDSSonarel::CDSSonarel() { InitializeCriticalSection(&m_ringLock); }

CDSSonarel::~CDSSonarel()
{
    Stop();
    DeleteCriticalSection(&m_ringLock);
}

bool CDSSonarel::CreateEvents()
{
    m_stoppedEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_stopEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_notifyEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    return m_stoppedEvent && m_stopEvent && m_notifyEvent;
}

int CDSSonarel::Start(int deviceIndex, int samplesPerSec, int bitsPerSample, int channels,
                      AudioBlockCallback callback, void* user)
{
    Stop();
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: CoInitializeEx for capture hr = %lx\r\n", hr);
        return -3;
    }
    if (!CreateEvents()) {
        MEDIA_LOG("Err: capture events = %lu\r\n", GetLastError());
        return -3;
    }
    m_callback = callback;
    m_deviceIndex = deviceIndex;
    m_user = user;

    std::vector<DSDeviceInfo> devices = EnumerateDevices(DeviceKind::Capture);
    m_deviceId = GUID();
    if (deviceIndex >= 0 && static_cast<size_t>(deviceIndex) < devices.size()) m_deviceId = devices[deviceIndex].id;

    if (!MakePcmFormat(samplesPerSec, bitsPerSample, channels, m_format)) {
        MEDIA_LOG("Err: bad capture format rate = %d bits = %d channels = %d\r\n", samplesPerSec, bitsPerSample, channels);
        return -3;
    }
    delete m_block;
    m_block = new (std::nothrow) CRA_DataBlock(static_cast<int>(
        TwentyMsBytes(m_format.wBitsPerSample, m_format.nChannels, m_format.nSamplesPerSec, m_format.nBlockAlign)));
    if (!m_block || m_block->length == 0) {
        MEDIA_LOG("Err: capture block of 20 ms\r\n");
        return -3;
    }

    hr = DirectSoundCaptureCreate8(IsNullGuid(m_deviceId) ? nullptr : &m_deviceId, m_capture.Receive(), nullptr);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: createcapture8 hr = %lx\r\n", hr);
        return -3;
    }
    if (!CreateCaptureBuffer() || !InitNotifications()) return -3;

    hr = m_buffer->Start(DSCBSTART_LOOPING);
    if (FAILED(hr)) {
        MEDIA_LOG("<1,CDSSonarel::StartOrStopRecord> Start hr=%ld\r\n", hr);
        return -3;
    }
    ResetEvent(m_stopEvent.Get());
    m_blockCounter = 0;
    m_nextReadOffset = 0;
    m_thread.Reset(CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
    if (!m_thread) {
        MEDIA_LOG("Err: capture thread = %lu\r\n", GetLastError());
        Stop();
        return -3;
    }
    SetThreadPriority(m_thread.Get(), THREAD_PRIORITY_HIGHEST);
    return 1;
}

bool CDSSonarel::CreateCaptureBuffer()
{
    // The step leaves out the channel count: with stereo every second notification finds a full block.
    m_notifyStep = TwentyMsBytes(m_format.wBitsPerSample, 1, m_format.nSamplesPerSec, m_format.nBlockAlign);
    if (m_notifyStep == 0) m_notifyStep = m_format.nBlockAlign;
    m_bufferBytes = m_notifyStep * kNotifyCount;
    // The full description with its (empty) effect fields: 28 bytes in the 32-bit library.
    static_assert(sizeof(void*) != 4 || sizeof(DSCBUFFERDESC) == 28, "capture description size");
    DSCBUFFERDESC description = {};
    description.dwSize = sizeof description;
    description.dwFlags = 0;
    description.dwBufferBytes = m_bufferBytes;
    description.lpwfxFormat = &m_format;
    m_descriptionBytes = description.dwSize;
    HRESULT hr = m_capture->CreateCaptureBuffer(&description, m_buffer.Receive(), nullptr);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: CreateCaptureBuffer hr = %lx\r\n", hr);
        MEDIA_LOG("Err: createCaptureBuffer hr = %lx\r\n", hr);
        return false;
    }
    return true;
}

bool CDSSonarel::InitNotifications()
{
    HRESULT hr = m_buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(m_notify.Receive()));
    if (FAILED(hr)) {
        MEDIA_LOG("Err: query dsoundnotify = %lx\r\n", hr);
        MEDIA_LOG("Err: init notify = %lx\r\n", hr);
        return false;
    }
    for (int i = 0; i < kNotifyCount; ++i) {
        m_positions[i].dwOffset = static_cast<DWORD>(i + 1) * m_notifyStep - 1;
        m_positions[i].hEventNotify = m_notifyEvent.Get();
    }
    hr = m_notify->SetNotificationPositions(kNotifyCount, m_positions);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: Setnotifypos hr = %lx\r\n", hr);
        MEDIA_LOG("Err: init notify = %lx\r\n", hr);
        return false;
    }
    return true;
}

void CDSSonarel::Stop()
{
    if (m_buffer) {
        // A failed stop must not leave the thread running under an object about to be deleted.
        HRESULT hr = m_buffer->Stop();
        if (FAILED(hr)) MEDIA_LOG("<CDSSonarel::StartOrStopRecord> Stop hr=%ld\r\n", hr);
    }
    StopWorkerThread(m_thread, m_stopEvent.Get(), m_stoppedEvent.Get(), kTerminatedExitCode, false, "capture", m_inCallback);
    m_notify.Reset();
    m_buffer.Reset();
    m_capture.Reset();
    m_notifyEvent.Reset();
    m_stopEvent.Reset();
    m_stoppedEvent.Reset();
    delete m_block;
    m_block = nullptr;
}

void CDSSonarel::Abandon()
{
    if (m_buffer) m_buffer->Stop();
    StopWorkerThread(m_thread, m_stopEvent.Get(), m_stoppedEvent.Get(), kTerminatedExitCode, true, "capture", m_inCallback);
    ReleaseAfterUnload({m_notify.Detach(), m_buffer.Detach(), m_capture.Detach()});
    m_notifyEvent.Abandon();
    m_stopEvent.Reset();
    m_stoppedEvent.Reset();
    delete m_block;
    m_block = nullptr;
}

DWORD CDSSonarel::ActualBufferBytes() const
{
    if (!m_buffer) return 0;
    DSCBCAPS caps = {};
    caps.dwSize = sizeof caps;
    return SUCCEEDED(m_buffer->GetCaps(&caps)) ? caps.dwBufferBytes : 0;
}

CDSSonarel::ReadResult CDSSonarel::RecordCapturedData(unsigned char* data, DWORD length)
{
    CAutoMutex lock(m_ringLock);
    DWORD capturePosition = 0, readPosition = 0;
    HRESULT hr = m_buffer->GetCurrentPosition(&capturePosition, &readPosition);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: RecordCapturedData failed<maybe mic is pluged out> = %lx\r\n", hr);
        return ReadResult::Failed;
    }
    long available = static_cast<long>(readPosition) - static_cast<long>(m_nextReadOffset);
    if (available < 0) available += static_cast<long>(m_bufferBytes);
    if (available < static_cast<long>(length)) return ReadResult::NotEnough;

    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    hr = m_buffer->Lock(m_nextReadOffset, length, &first, &firstBytes, &second, &secondBytes, 0);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: RecordCapturedData failed<maybe mic is pluged out> = %lx\r\n", hr);
        return ReadResult::Failed;
    }
    if (firstBytes + secondBytes != length) { // never more than the block holds
        m_buffer->Unlock(first, firstBytes, second, secondBytes);
        MEDIA_LOG("Err: RecordCapturedData locked %lu of %lu bytes\r\n", firstBytes + secondBytes, length);
        return ReadResult::Failed;
    }
    CopyFromRegions(data, first, firstBytes, second, secondBytes);
    m_nextReadOffset = (m_nextReadOffset + firstBytes + secondBytes) % m_bufferBytes;
    m_buffer->Unlock(first, firstBytes, second, secondBytes);
    return ReadResult::Done;
}

void CDSSonarel::ThreadLoop()
{
    HANDLE waits[2] = {m_stopEvent.Get(), m_notifyEvent.Get()};
    for (;;) {
        // A position notification can be lost under load; the time-out reads whatever arrived anyway.
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, kNotifyPollMs);
        if (woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT) break; // the stop event, or the wait failed
        for (;;) {
            ReadResult result = RecordCapturedData(m_block->data, static_cast<DWORD>(m_block->length));
            if (result == ReadResult::NotEnough) break;
            if (result == ReadResult::Failed) {
                SetEvent(m_stoppedEvent.Get());
                return;
            }
            m_block->filled = 1;
            m_block->sequence = m_blockCounter++;
            m_block->time = timeGetTime();
            m_block->reserved = -1;
            m_inCallback = true;
            if (m_callback) m_callback(m_user, &m_block);
            m_inCallback = false;
            if (!m_block) { // the host must leave the pointer alone; without a block there is nothing to fill
                MEDIA_LOG("Err: capture callback cleared the block\r\n");
                SetEvent(m_stoppedEvent.Get());
                return;
            }
        }
    }
    SetEvent(m_stoppedEvent.Get());
}

DWORD WINAPI CDSSonarel::ThreadProc(void* self)
{
    static_cast<CDSSonarel*>(self)->ThreadLoop();
    return 0;
}
