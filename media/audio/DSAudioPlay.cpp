#include "media/audio/DSAudioPlay.h"

#include "core/TextUtil.h"
#include "media/common/MediaLog.h"

#include <cstring>
#include <new>

CDSAudioPlay::CDSAudioPlay() { InitializeCriticalSection(&m_ringLock); }

CDSAudioPlay::~CDSAudioPlay()
{
    Stop();
    Reset();
    DeleteCriticalSection(&m_ringLock);
}

int CDSAudioPlay::Start(HWND window, int /*unused*/, int samplesPerSec, int bitsPerSample, int channels,
                        AudioBlockCallback callback, void* user)
{
    return StartOnDevice(0, window, samplesPerSec, bitsPerSample, channels, callback, user);
}

int CDSAudioPlay::StartOnDevice(int deviceIndex, HWND window, int samplesPerSec, int bitsPerSample, int channels,
                                AudioBlockCallback callback, void* user)
{
    Stop();
    Reset();
    m_deviceIndex = deviceIndex;
    m_stoppedEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    m_notifyEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_stopEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!m_stoppedEvent || !m_notifyEvent || !m_stopEvent) {
        MEDIA_LOG("Err: playback events = %lu\r\n", GetLastError());
        Stop();
        return -5;
    }
    m_callback = callback;
    m_user = user;

    if (!InitDSound(window, samplesPerSec, bitsPerSample, channels)) {
        MEDIA_LOG("Err: initDSound\r\n{\r\n wnd = %lx\r\n devid = %d\r\n dur = %d\r\n sample = %d\r\n channel=%d\r\n bits = %d\r\r}\r\n",
                  static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), m_deviceIndex, 20, samplesPerSec, channels,
                  bitsPerSample);
        Stop();
        Reset();
        return -5;
    }

    HRESULT hr;
    {
        CAutoMutex lock(m_ringLock);
        m_buffer->SetCurrentPosition(0);
        ResetEvent(m_stopEvent.Get());
        m_thread.Reset(CreateThread(nullptr, 0, ThreadProc, this, 0, nullptr));
        if (m_thread) SetThreadPriority(m_thread.Get(), THREAD_PRIORITY_HIGHEST);
        hr = m_thread ? m_buffer->Play(0, 0, DSBPLAY_LOOPING) : E_FAIL;
    }
    if (FAILED(hr)) {
        MEDIA_LOG("Err: play hr = %lx\r\n", hr);
        Stop();
        Reset();
        return -5;
    }
    return 1;
}

bool CDSAudioPlay::InitDSound(HWND window, int samplesPerSec, int bitsPerSample, int channels)
{
    if (!MakePcmFormat(samplesPerSec, bitsPerSample, channels, m_format)) {
        MEDIA_LOG("Err: bad playback format rate = %d bits = %d channels = %d\r\n", samplesPerSec, bitsPerSample, channels);
        return false;
    }
    if (!CreateDSound()) return false;

    HRESULT hr = m_dsound->SetCooperativeLevel(window, DSSCL_PRIORITY);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: set cooperative Level failed hr = %lx\r\n", hr);
        return false;
    }
    m_blockBytes = TwentyMsBytes(m_format.wBitsPerSample, m_format.nChannels, m_format.nSamplesPerSec,
                                 m_format.nBlockAlign);
    m_bufferBytes = m_blockBytes * kNotifyCount;
    delete m_block;
    m_block = new (std::nothrow) CRA_DataBlock(static_cast<int>(m_blockBytes));
    if (!m_block || m_block->length == 0) {
        MEDIA_LOG("Err: playback block of 20 ms\r\n");
        return false;
    }
    m_block->filled = -1;
    return CreateBuffer() && InitNotifications();
}

bool CDSAudioPlay::CreateDSound()
{
    std::vector<DSDeviceInfo> devices = EnumerateDevices(DeviceKind::Playback);
    size_t chosen = m_deviceIndex > 0 && static_cast<size_t>(m_deviceIndex) < devices.size() ? m_deviceIndex : 0;
    m_deviceId = devices.empty() ? GUID() : devices[chosen].id;
    HRESULT hr = DirectSoundCreate8(IsNullGuid(m_deviceId) ? nullptr : &m_deviceId, m_dsound.Receive(), nullptr);
    char guidText[40];
    MEDIA_LOG("Info: CreateDsound8 hr = %lx, name = %s, id = %d<%d>, guid = %s\r\n", hr,
              devices.empty() ? "" : Utf16ToUtf8(devices[chosen].description.c_str()).c_str(),
              devices.empty() ? -1 : devices[chosen].position, m_deviceIndex, GuidToRegistryText(m_deviceId, guidText));
    if (SUCCEEDED(hr)) return true;

    hr = DirectSoundCreate8(&DSDEVID_DefaultPlayback, m_dsound.Receive(), nullptr);
    if (SUCCEEDED(hr)) return true;
    MEDIA_LOG("Err: CreateDsound8_Defplayback = %lx\r\n", hr);
    hr = DirectSoundCreate8(&DSDEVID_DefaultVoicePlayback, m_dsound.Receive(), nullptr);
    if (SUCCEEDED(hr)) return true;
    MEDIA_LOG("Err: CreateDsound8_DefVoiceplayback = %lx\r\n", hr);
    m_dsound.Reset();
    return false;
}

bool CDSAudioPlay::CreateBuffer()
{
    m_description = DSBUFFERDESC();
    m_description.dwSize = sizeof m_description; // 36
    m_description.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                            DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
    m_description.dwBufferBytes = m_bufferBytes;
    m_description.lpwfxFormat = &m_format;
    HRESULT hr = m_dsound->CreateSoundBuffer(&m_description, m_plainBuffer.Receive(), nullptr);
    if (FAILED(hr)) {
        MEDIA_LOG("Err: createSoundBuffer hr = %lx\r\n", hr);
        return false;
    }
    // Reading the format back and setting it again is only informative on a secondary buffer.
    WAVEFORMATEX readBack = {};
    DWORD written = 0;
    hr = m_plainBuffer->GetFormat(&readBack, sizeof readBack, &written);
    if (SUCCEEDED(hr)) hr = m_plainBuffer->SetFormat(&readBack);
    if (FAILED(hr)) MEDIA_LOG("Err: m_pDSBPrimary->SetFormat = %lx\r\n", hr);

    hr = m_plainBuffer->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(m_buffer.Receive()));
    m_plainBuffer.Reset();
    if (FAILED(hr)) {
        MEDIA_LOG("Err: QueryInterface IDirectSoundBuffer8 hr = %lx\r\n", hr);
        return false;
    }
    return true;
}

bool CDSAudioPlay::InitNotifications()
{
    HRESULT hr = m_buffer->QueryInterface(IID_IDirectSoundNotify, reinterpret_cast<void**>(m_notify.Receive()));
    if (FAILED(hr)) {
        MEDIA_LOG("<CDSAudioPlay::InitNotifications> QueryInterface hr=%ld\r\n", hr);
        MEDIA_LOG("Err: InitNotifications hr = %lx\r\n", hr);
        return false;
    }
    for (int i = 0; i < kNotifyCount; ++i) {
        m_positions[i].dwOffset = static_cast<DWORD>(i + 1) * m_blockBytes - 1;
        m_positions[i].hEventNotify = m_notifyEvent.Get();
    }
    hr = m_notify->SetNotificationPositions(kNotifyCount, m_positions);
    if (FAILED(hr)) {
        MEDIA_LOG("<CDSAudioPlay::InitNotifications> SetNotificationPositions hr=%ld\r\n", hr);
        MEDIA_LOG("Err: InitNotifications hr = %lx\r\n", hr);
        return false;
    }
    void* first = nullptr;
    DWORD firstBytes = 0;
    if (SUCCEEDED(m_buffer->Lock(0, m_bufferBytes, &first, &firstBytes, nullptr, nullptr, 0))) {
        memset(first, 0, firstBytes);
        m_buffer->Unlock(first, firstBytes, nullptr, 0);
    }
    return true;
}

void CDSAudioPlay::Abandon()
{
    StopWorkerThread(m_thread, m_stopEvent.Get(), m_stoppedEvent.Get(), kTerminatedExitCode, true, "playback", m_inCallback);
    if (m_buffer) m_buffer->Stop();
    ReleaseAfterUnload({m_notify.Detach(), m_buffer.Detach(), m_plainBuffer.Detach(), m_dsound.Detach()});
    m_notifyEvent.Abandon();
    m_stopEvent.Reset();
    m_stoppedEvent.Reset();
    delete m_block;
    m_block = nullptr;
    m_callback = nullptr;
}

void CDSAudioPlay::Stop()
{
    StopWorkerThread(m_thread, m_stopEvent.Get(), m_stoppedEvent.Get(), kTerminatedExitCode, false, "playback", m_inCallback);
    {
        CAutoMutex lock(m_ringLock);
        if (m_buffer) m_buffer->Stop();
        m_buffer.Reset();
    }
    m_stoppedEvent.Reset();
    m_notifyEvent.Reset();
    m_stopEvent.Reset();
}

void CDSAudioPlay::Reset()
{
    m_blockBytes = kIdleBlockBytes;
    m_bufferBytes = 0;
    m_writeOffset = 0;
    m_readOffset = 0;
    delete m_block;
    m_block = nullptr;
    m_callback = nullptr;
    m_user = nullptr;
    m_notify.Reset();
    m_buffer.Reset();
    m_plainBuffer.Reset();
    m_dsound.Reset();
}

DWORD CDSAudioPlay::ActualBufferBytes() const
{
    if (!m_buffer) return 0;
    DSBCAPS caps = {};
    caps.dwSize = sizeof caps;
    return SUCCEEDED(m_buffer->GetCaps(&caps)) ? caps.dwBufferBytes : 0;
}

DWORD CDSAudioPlay::ReadPlayedAudioData()
{
    CAutoMutex lock(m_ringLock);
    DWORD playCursor = 0;
    if (FAILED(m_buffer->GetCurrentPosition(&playCursor, nullptr))) return 0;
    long played = static_cast<long>(playCursor) - static_cast<long>(m_readOffset);
    if (played < 0) played += static_cast<long>(m_bufferBytes);
    if (static_cast<long>(m_blockBytes) >= played) return 0;

    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (FAILED(m_buffer->Lock(m_readOffset, m_blockBytes, &first, &firstBytes, &second, &secondBytes, 0))) return 0;
    if (firstBytes + secondBytes != m_blockBytes) { // never more than the block holds
        m_buffer->Unlock(first, firstBytes, second, secondBytes);
        return 0;
    }
    CopyFromRegions(m_block->data, first, firstBytes, second, secondBytes);
    // What has been played becomes silence, so a host that supplies nothing new leaves the speaker quiet.
    if (first) memset(first, 0, firstBytes);
    if (second) memset(second, 0, secondBytes);
    m_readOffset = (m_readOffset + firstBytes + secondBytes) % m_bufferBytes;
    m_buffer->Unlock(first, firstBytes, second, secondBytes);
    return m_blockBytes;
}

void CDSAudioPlay::WriteAudioData()
{
    if (!m_block || static_cast<DWORD>(m_block->length) != m_blockBytes || !m_block->data) return;
    CAutoMutex lock(m_ringLock);
    DWORD playCursor = 0, writeCursor = 0;
    if (FAILED(m_buffer->GetCurrentPosition(&playCursor, &writeCursor))) return;
    bool aboutToPlay = playCursor <= writeCursor
                           ? (m_writeOffset > playCursor && m_writeOffset < writeCursor)
                           : (m_writeOffset > playCursor || m_writeOffset < writeCursor);
    if (aboutToPlay) {
        m_writeOffset = m_blockBytes * (((writeCursor + m_blockBytes) / m_blockBytes) % kNotifyCount);
        MEDIA_LOG("Err:***************  CDSAudioPlay::WriteAudioData ERROR  *********");
    }
    void* first = nullptr;
    void* second = nullptr;
    DWORD firstBytes = 0, secondBytes = 0;
    if (FAILED(m_buffer->Lock(m_writeOffset, m_blockBytes, &first, &firstBytes, &second, &secondBytes, 0))) return;
    if (firstBytes + secondBytes != m_blockBytes) {
        m_buffer->Unlock(first, firstBytes, second, secondBytes);
        return;
    }
    CopyToRegions(first, firstBytes, second, secondBytes, m_block->data);
    m_buffer->Unlock(first, firstBytes, second, secondBytes);
}

void CDSAudioPlay::ThreadLoop()
{
    HANDLE waits[2] = {m_stopEvent.Get(), m_notifyEvent.Get()};
    for (;;) {
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0 + 1) break;
        DWORD playCursor = 0, writeCursor = 0;
        {
            CAutoMutex lock(m_ringLock);
            if (FAILED(m_buffer->GetCurrentPosition(&playCursor, &writeCursor))) continue;
        }
        m_writeOffset = m_blockBytes * (((writeCursor + 2 * m_blockBytes) / m_blockBytes) % kNotifyCount);
        if (ReadPlayedAudioData() < m_blockBytes) MEDIA_LOG("ReadPlayedAudioData False!\n");
        m_inCallback = true;
        if (m_callback) m_callback(m_user, &m_block);
        m_inCallback = false;
        if (!m_block) {
            MEDIA_LOG("Err: playback callback cleared the block\r\n");
            break;
        }
        WriteAudioData();
    }
    SetEvent(m_stoppedEvent.Get());
}

DWORD WINAPI CDSAudioPlay::ThreadProc(void* self)
{
    static_cast<CDSAudioPlay*>(self)->ThreadLoop();
    return 0;
}
