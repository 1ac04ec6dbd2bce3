// The engine's exported calls: each finds its engine from the handle (null, closed and foreign handles
// answer kCastmixBadHandle) and hands the call on.
#include "platform/castmix/Castmix.h"
#include "platform/castmix/CastmixEngine.h"
#include "platform/castmix/EngineLog.h"

#include <objbase.h>
#include <memory>
#include <new>
#include <set>

namespace {

HINSTANCE g_module = nullptr;

struct EngineRecord {
    CCastmixEngine engine;
    DWORD thread;      // the thread that created it, where its COM apartment lives
    bool comEntered;   // this engine's CoInitializeEx is undone on that thread at close

    EngineRecord(const MediaApi& api, DWORD creator, bool entered) : engine(api), thread(creator), comEntered(entered) {}
};

class EngineRegistry {
public:
    EngineRegistry() { InitializeCriticalSection(&m_lock); }
    void Add(EngineRecord* record)
    {
        EnterCriticalSection(&m_lock);
        m_live.insert(record);
        LeaveCriticalSection(&m_lock);
    }
    bool Contains(const void* handle)
    {
        EnterCriticalSection(&m_lock);
        bool found = handle && m_live.count(static_cast<EngineRecord*>(const_cast<void*>(handle))) == 1;
        LeaveCriticalSection(&m_lock);
        return found;
    }
    bool Remove(const void* handle)
    {
        EnterCriticalSection(&m_lock);
        bool found = m_live.erase(static_cast<EngineRecord*>(const_cast<void*>(handle))) == 1;
        LeaveCriticalSection(&m_lock);
        return found;
    }

private:
    CRITICAL_SECTION m_lock;
    std::set<EngineRecord*> m_live;
};

// Never destroyed: a late call during process exit must still find an answer.
EngineRegistry& Registry()
{
    static EngineRegistry* registry = new EngineRegistry;
    return *registry;
}

CCastmixEngine* EngineOf(CASTMIX_HANDLE handle, const char* call)
{
    if (Registry().Contains(handle))
        return &static_cast<EngineRecord*>(handle)->engine;
    ENGINE_LOG("Err: %s with bad handle %p\r\n", call, handle);
    return nullptr;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        TheEngineLog().Open(EngineLogFolder(), __TIME__, __DATE__);
    } else if (reason == DLL_PROCESS_DETACH) {
        TheEngineLog().Close();
    }
    return TRUE;
}

#define ENGINE_OR_FAIL(call)                                     \
    CCastmixEngine* engine = EngineOf(handle, call);             \
    if (!engine)                                                 \
        return kCastmixBadHandle

CASTMIX_API CASTMIX_HANDLE WINAPI Castmix_Create()
{
    wchar_t folder[MAX_PATH] = {};
    if (!ModuleFolderOf(g_module, folder, MAX_PATH)) {
        ENGINE_LOG("Err: Castmix_Create cannot find its folder\r\n");
        return nullptr;
    }
    const MediaApi* api = LoadMediaLibraries(folder);
    if (!api) {
        ENGINE_LOG("Err: Castmix_Create without its media libraries\r\n");
        return nullptr;
    }
    // The graphs and sound objects are built on this thread; it needs a COM apartment (the client's UI
    // thread has one already, which this only counts).
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::unique_ptr<EngineRecord> record(new (std::nothrow) EngineRecord(*api, GetCurrentThreadId(), SUCCEEDED(com)));
    if (!record || !record->engine.Init(g_module)) {
        if (SUCCEEDED(com))
            CoUninitialize();
        ENGINE_LOG("Err: Castmix_Create failed\r\n");
        return nullptr;
    }
    Registry().Add(record.get());
    ENGINE_LOG("Info: Castmix_Create %p\r\n", static_cast<void*>(record.get()));
    return record.release();
}

CASTMIX_API long WINAPI Castmix_Close(CASTMIX_HANDLE* handle)
{
    if (!handle)
        return kCastmixBadHandle;
    if (!*handle || !Registry().Remove(*handle)) {
        ENGINE_LOG("Err: Castmix_Close with bad handle %p\r\n", *handle);
        *handle = nullptr;
        return kCastmixBadHandle;
    }
    auto* record = static_cast<EngineRecord*>(*handle);
    *handle = nullptr;
    record->engine.Shutdown();
    bool leaveCom = record->comEntered && record->thread == GetCurrentThreadId();
    delete record;
    if (leaveCom)
        CoUninitialize();
    ENGINE_LOG("Info: Castmix_Close done\r\n");
    return 0;
}

CASTMIX_API long WINAPI Castmix_SetNotify(CASTMIX_HANDLE handle, HWND window, UINT message)
{
    ENGINE_OR_FAIL("SetNotify");
    return engine->SetNotify(window, message);
}

CASTMIX_API long WINAPI Castmix_Room_Join(CASTMIX_HANDLE handle, uint32_t userId, int32_t role, uint32_t roomId,
                                          uint32_t serverAddress, uint16_t serverPort, uint16_t serverId,
                                          int32_t microphone, int32_t speaker, int32_t camera, HWND localVideo,
                                          HWND notifyWindow, int32_t width, int32_t height, int32_t frameRate,
                                          int32_t kbps, HWND mainWindow)
{
    ENGINE_OR_FAIL("Room_Join");
    CastmixJoin join;
    join.userId = userId;
    join.role = role;
    join.roomId = roomId;
    join.serverAddress = serverAddress;
    join.serverPort = serverPort;
    join.serverId = serverId;
    join.microphone = microphone;
    join.speaker = speaker;
    join.camera = camera;
    join.localVideo = localVideo;
    join.notifyWindow = notifyWindow;
    join.width = width;
    join.height = height;
    join.frameRate = frameRate;
    join.kbps = kbps;
    join.mainWindow = mainWindow;
    return engine->RoomJoin(join);
}

CASTMIX_API long WINAPI Castmix_SetAudioProcess(CASTMIX_HANDLE handle, const _AudioProcessParam* param)
{
    ENGINE_OR_FAIL("SetAudioProcess");
    return engine->SetAudioProcess(param);
}

CASTMIX_API long WINAPI Castmix_SetSendState(CASTMIX_HANDLE handle, int32_t state)
{
    ENGINE_OR_FAIL("SetSendState");
    return engine->SetSendState(state);
}

CASTMIX_API long WINAPI Castmix_ChangeSource2Camera(CASTMIX_HANDLE handle, int32_t camera)
{
    ENGINE_OR_FAIL("ChangeSource2Camera");
    return engine->ChangeSource2Camera(camera);
}

CASTMIX_API long WINAPI Castmix_ChangeScreenWnd(CASTMIX_HANDLE handle, uint32_t roomId, BOOL teacher, HWND window)
{
    ENGINE_OR_FAIL("ChangeScreenWnd");
    return engine->ChangeScreenWnd(roomId, teacher, window);
}

CASTMIX_API long WINAPI Castmix_ChangeSource2Wnd(CASTMIX_HANDLE handle, HWND window, int32_t a, int32_t b,
                                                 int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    ENGINE_OR_FAIL("ChangeSource2Wnd");
    return engine->ChangeSource2Wnd(window, a, b, left, top, right, bottom);
}

CASTMIX_API long WINAPI Castmix_ChangeSourceType(CASTMIX_HANDLE handle, int32_t type)
{
    ENGINE_OR_FAIL("ChangeSourceType");
    return engine->ChangeSourceType(type);
}

CASTMIX_API long WINAPI Castmix_SetMicVolume(CASTMIX_HANDLE handle, int32_t volume)
{
    ENGINE_OR_FAIL("SetMicVolume");
    return engine->SetMicVolume(volume);
}

CASTMIX_API long WINAPI Castmix_SetSpeakerVolume(CASTMIX_HANDLE handle, int32_t volume)
{
    ENGINE_OR_FAIL("SetSpeakerVolume");
    return engine->SetSpeakerVolume(volume);
}

CASTMIX_API long WINAPI Castmix_GetSpeechMicVolume(CASTMIX_HANDLE handle)
{
    ENGINE_OR_FAIL("GetSpeechMicVolume");
    return engine->GetSpeechMicVolume();
}

CASTMIX_API long WINAPI Castmix_GetSpeechSpeakerVolume(CASTMIX_HANDLE handle, int32_t which)
{
    ENGINE_OR_FAIL("GetSpeechSpeakerVolume");
    return engine->GetSpeechSpeakerVolume(which);
}

CASTMIX_API long WINAPI Castmix_ChangeMic(CASTMIX_HANDLE handle, int32_t device)
{
    ENGINE_OR_FAIL("ChangeMic");
    return engine->ChangeMic(device);
}

CASTMIX_API long WINAPI Castmix_ChangeSpeaker(CASTMIX_HANDLE handle, int32_t device)
{
    ENGINE_OR_FAIL("ChangeSpeaker");
    return engine->ChangeSpeaker(device);
}

CASTMIX_API long WINAPI Castmix_AdjVideoEncParam(CASTMIX_HANDLE handle, int32_t width, int32_t height, int32_t kbps)
{
    ENGINE_OR_FAIL("AdjVideoEncParam");
    return engine->AdjVideoEncParam(width, height, kbps);
}

CASTMIX_API long WINAPI Castmix_Room_ChangeRole(CASTMIX_HANDLE handle, int32_t role)
{
    ENGINE_OR_FAIL("Room_ChangeRole");
    return engine->RoomChangeRole(role);
}

CASTMIX_API long WINAPI Castmix_ChangeStreamcastModel(CASTMIX_HANDLE handle, int32_t a, int32_t b)
{
    ENGINE_OR_FAIL("ChangeStreamcastModel");
    return engine->ChangeStreamcastModel(a, b);
}

CASTMIX_API long WINAPI Castmix_AddParticipantVideo(CASTMIX_HANDLE handle, uint32_t userId, HWND window)
{
    ENGINE_OR_FAIL("AddParticipantVideo");
    return engine->AddParticipantVideo(userId, window);
}

CASTMIX_API long WINAPI Castmix_DelParticipantVideo(CASTMIX_HANDLE handle, uint32_t userId)
{
    ENGINE_OR_FAIL("DelParticipantVideo");
    return engine->DelParticipantVideo(userId);
}

CASTMIX_API long WINAPI Castmix_ChangeStreamServer(CASTMIX_HANDLE handle, uint32_t address, uint16_t port, uint16_t id)
{
    ENGINE_OR_FAIL("ChangeStreamServer");
    return engine->ChangeStreamServer(address, port, id);
}

CASTMIX_API long WINAPI Castmix_QueryCameras(CASTMIX_HANDLE handle, CastmixDeviceNames names)
{
    ENGINE_OR_FAIL("QueryCameras");
    return engine->QueryCameras(names);
}

CASTMIX_API long WINAPI Castmix_QueryAudioCapDevs(CASTMIX_HANDLE handle, CastmixDeviceNames names)
{
    ENGINE_OR_FAIL("QueryAudioCapDevs");
    return engine->QueryAudioCapDevs(names);
}

CASTMIX_API long WINAPI Castmix_QueryAudioPlayDevs(CASTMIX_HANDLE handle, CastmixDeviceNames names)
{
    ENGINE_OR_FAIL("QueryAudioPlayDevs");
    return engine->QueryAudioPlayDevs(names);
}

CASTMIX_API long WINAPI Castmix_VideoPreview(CASTMIX_HANDLE handle, int32_t camera, HWND window)
{
    ENGINE_OR_FAIL("VideoPreview");
    return engine->VideoPreview(camera, window);
}

CASTMIX_API long WINAPI Castmix_VideoShowPropertyPage(CASTMIX_HANDLE handle, int32_t camera, HWND owner)
{
    ENGINE_OR_FAIL("VideoShowPropertyPage");
    return engine->VideoShowPropertyPage(camera, owner);
}

CASTMIX_API long WINAPI Castmix_StartRec(CASTMIX_HANDLE handle, int32_t start, const _RecParam* param)
{
    ENGINE_OR_FAIL("StartRec");
    return engine->StartRec(start, param);
}
