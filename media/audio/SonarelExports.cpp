// The exported functions and the library's start and end. Handles are checked against the objects this
// library created, so a null, stale or other-family handle answers -1 instead of crashing.
#include "media/audio/DSAudioPlay.h"
#include "media/audio/DSSonarel.h"
#include "media/audio/Loopback.h"
#include "media/common/MediaLog.h"

#include <new>
#include <set>
#include <vector>

namespace {

class HandleRegistry {
public:
    HandleRegistry() { InitializeCriticalSection(&m_lock); }
    void Add(const void* object) { CAutoMutex lock(m_lock); m_live.insert(object); }
    bool Contains(const void* object) { CAutoMutex lock(m_lock); return object && m_live.count(object) == 1; }
    bool Remove(const void* object) { CAutoMutex lock(m_lock); return m_live.erase(object) == 1; }
    std::vector<const void*> Live() { CAutoMutex lock(m_lock); return {m_live.begin(), m_live.end()}; }
private:
    CRITICAL_SECTION m_lock;
    std::set<const void*> m_live;
};

// One registry per family, so a handle of one is never taken for the other. Never destroyed: the
// loader may run static destructors before the last export call returns.
HandleRegistry& Registry(const CDSSonarel*)
{
    static HandleRegistry* captures = new HandleRegistry;
    return *captures;
}

HandleRegistry& Registry(const CDSAudioPlay*)
{
    static HandleRegistry* players = new HandleRegistry;
    return *players;
}

template <typename Object>
bool CheckHandle(const Object* handle)
{
    if (Registry(handle).Contains(handle)) return true;
    MEDIA_LOG("Err: bad pointer!\r\n");
    return false;
}

// The library's application object: COM on the loading thread and the log for the library's life.
class CSonarelApp {
public:
    void InitInstance()
    {
        TheMediaLog().Open(MediaLogFolder(), L"Sonarel.log", "Sonarel", __TIME__, __DATE__);
        HRESULT hr = CoInitialize(nullptr);
        MEDIA_LOG("CoInitalize = %lx\r\n", hr);
    }
    void ExitInstance(bool processEnding)
    {
        // At process end the other threads are gone already; stopping them would wait for nothing.
        if (!processEnding) {
            StopLoopbackTest();
            StopUnclosedObjects();
        }
        TheMediaLog().Close();
    }

private:
    // A host that unloads the library without closing its handles would leave threads running in
    // unmapped code: they are stopped, and their device objects released after the unload as the
    // loopback's are.
    static void StopUnclosedObjects()
    {
        std::vector<const void*> captures = Registry(static_cast<CDSSonarel*>(nullptr)).Live();
        std::vector<const void*> players = Registry(static_cast<CDSAudioPlay*>(nullptr)).Live();
        if (captures.empty() && players.empty()) return;
        MEDIA_LOG("Warn: unloaded with %d capture and %d playback handles open\r\n", static_cast<int>(captures.size()),
                  static_cast<int>(players.size()));
        for (const void* capture : captures) const_cast<CDSSonarel*>(static_cast<const CDSSonarel*>(capture))->Abandon();
        for (const void* player : players) const_cast<CDSAudioPlay*>(static_cast<const CDSAudioPlay*>(player))->Abandon();
    }
};

CSonarelApp theApp;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        theApp.InitInstance();
    } else if (reason == DLL_PROCESS_DETACH) {
        theApp.ExitInstance(reserved != nullptr);
    }
    return TRUE;
}

extern "C" {

CDSSonarel* Sonarel_Create()
{
    CDSSonarel* capture = new (std::nothrow) CDSSonarel;
    if (capture) Registry(capture).Add(capture);
    return capture;
}

int Sonarel_GetDevs(CDSSonarel* handle, wchar_t (*names)[kSonarelNameChars])
{
    if (!CheckHandle(handle)) return -1;
    return CopyDeviceNames(EnumerateDevices(DeviceKind::Capture), names);
}

int Sonarel_Start(CDSSonarel* handle, int deviceIndex, int samplesPerSec, int bitsPerSample, int channels,
                  AudioBlockCallback callback, void* user)
{
    if (!CheckHandle(handle)) return -1;
    return handle->Start(deviceIndex, samplesPerSec, bitsPerSample, channels, callback, user);
}

void Sonarel_Close(CDSSonarel** handle)
{
    if (!handle || !*handle) return;
    if (Registry(*handle).Remove(*handle)) {
        (*handle)->Stop();
        (*handle)->Stop();
        delete *handle;
    } else {
        MEDIA_LOG("Err: bad pointer!\r\n");
    }
    *handle = nullptr;
}

CDSAudioPlay* AudioPlay_Create()
{
    CDSAudioPlay* player = new (std::nothrow) CDSAudioPlay;
    if (player) Registry(player).Add(player);
    return player;
}

int AudioPlay_GetDevs(CDSAudioPlay* handle, wchar_t (*names)[kSonarelNameChars])
{
    if (!CheckHandle(handle)) return -1;
    return CopyDeviceNames(EnumerateDevices(DeviceKind::Playback), names);
}

int AudioPlay_Start(CDSAudioPlay* handle, HWND window, int unused, int samplesPerSec, int bitsPerSample,
                    int channels, AudioBlockCallback callback, void* user)
{
    if (!CheckHandle(handle)) return -1;
    return handle->Start(window, unused, samplesPerSec, bitsPerSample, channels, callback, user);
}

int AudioPlay_StartDevice(CDSAudioPlay* handle, HWND window, int deviceIndex, int samplesPerSec, int bitsPerSample,
                          int channels, AudioBlockCallback callback, void* user)
{
    if (!CheckHandle(handle)) return -1;
    return handle->StartOnDevice(deviceIndex, window, samplesPerSec, bitsPerSample, channels, callback, user);
}

void AudioPlay_Close(CDSAudioPlay** handle)
{
    if (!handle || !*handle) return;
    if (Registry(*handle).Remove(*handle)) {
        (*handle)->Stop();
        (*handle)->Reset();
        delete *handle;
    } else {
        MEDIA_LOG("Err: bad pointer!\r\n");
    }
    *handle = nullptr;
}

void DoDSound(HWND window, AudioBlockCallback captureCallback, AudioBlockCallback playCallback)
{
    RunLoopbackTest(window, captureCallback, playCallback);
}

} // extern "C"
