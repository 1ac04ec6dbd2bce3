#include "tests/fakes/castmix/CastmixDouble.h"

#include <algorithm>
#include <cstring>

CastmixDouble& CastmixDouble::Instance()
{
    static CastmixDouble engine;
    return engine;
}

void CastmixDouble::Reset()
{
    calls.clear();
    results.clear();
    createFails = false;
    badHandleCalls = 0;
    cameras = capDevices = playDevices = 1;
    whilePropertyPageOpen = nullptr;
    m_open.clear();
}

std::vector<std::string> CastmixDouble::Names() const
{
    std::vector<std::string> names;
    for (const CastmixCall& c : calls) names.push_back(c.name);
    return names;
}

const CastmixCall* CastmixDouble::Last(const std::string& name) const
{
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->name == name) return &*it;
    }
    return nullptr;
}

size_t CastmixDouble::CountOf(const std::string& name) const
{
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [&](const CastmixCall& c) { return c.name == name; }));
}

long CastmixDouble::Record(CASTMIX_HANDLE handle, const char* name, std::vector<long long> args)
{
    if (std::find(m_open.begin(), m_open.end(), handle) == m_open.end()) ++badHandleCalls;
    calls.push_back({name, std::move(args), {}, {}});
    auto it = results.find(name);
    return it == results.end() ? 0 : it->second;
}

CASTMIX_HANDLE CastmixDouble::NewHandle()
{
    CASTMIX_HANDLE handle = reinterpret_cast<CASTMIX_HANDLE>(static_cast<intptr_t>(m_nextHandle += 0x10));
    m_open.push_back(handle);
    return handle;
}

void CastmixDouble::CloseHandle(CASTMIX_HANDLE handle)
{
    m_open.erase(std::remove(m_open.begin(), m_open.end(), handle), m_open.end());
}

namespace {
CastmixDouble& E() { return CastmixDouble::Instance(); }
long long H(HWND window) { return static_cast<long long>(reinterpret_cast<intptr_t>(window)); }

long FillNames(CastmixDeviceNames names, int count, const wchar_t* stem)
{
    for (int i = 0; i < count && i < CASTMIX_MAX_DEVICES; ++i) swprintf(names[i], CASTMIX_DEVICE_NAME, L"%ls %d", stem, i);
    return count;
}
} // namespace

CASTMIX_API CASTMIX_HANDLE WINAPI Castmix_Create()
{
    E().calls.push_back({"Create", {}, {}, {}});
    return E().createFails ? nullptr : E().NewHandle();
}

CASTMIX_API long WINAPI Castmix_Close(CASTMIX_HANDLE* handle)
{
    long result = E().Record(handle ? *handle : nullptr, "Close", {});
    if (handle) {
        E().CloseHandle(*handle);
        *handle = nullptr;
    }
    return result;
}

CASTMIX_API long WINAPI Castmix_SetNotify(CASTMIX_HANDLE h, HWND window, UINT message)
{
    return E().Record(h, "SetNotify", {H(window), message});
}

CASTMIX_API long WINAPI Castmix_Room_Join(CASTMIX_HANDLE h, uint32_t userId, int32_t role, uint32_t roomId,
                                          uint32_t address, uint16_t port, uint16_t serverId, int32_t mic,
                                          int32_t speaker, int32_t camera, HWND local, HWND notify, int32_t width,
                                          int32_t height, int32_t fps, int32_t kbps, HWND mainWindow)
{
    return E().Record(h, "Room_Join", {userId, role, roomId, address, port, serverId, mic, speaker, camera, H(local),
                                       H(notify), width, height, fps, kbps, H(mainWindow)});
}

CASTMIX_API long WINAPI Castmix_SetAudioProcess(CASTMIX_HANDLE h, const _AudioProcessParam* param)
{
    long result = E().Record(h, "SetAudioProcess", {});
    if (param) E().calls.back().audio = *param;
    return result;
}

CASTMIX_API long WINAPI Castmix_SetSendState(CASTMIX_HANDLE h, int32_t s) { return E().Record(h, "SetSendState", {s}); }
CASTMIX_API long WINAPI Castmix_ChangeSource2Camera(CASTMIX_HANDLE h, int32_t c) { return E().Record(h, "ChangeSource2Camera", {c}); }
CASTMIX_API long WINAPI Castmix_ChangeScreenWnd(CASTMIX_HANDLE h, uint32_t room, BOOL teacher, HWND w)
{
    return E().Record(h, "ChangeScreenWnd", {room, teacher, H(w)});
}
CASTMIX_API long WINAPI Castmix_ChangeSource2Wnd(CASTMIX_HANDLE h, HWND w, int32_t a, int32_t b, int32_t l, int32_t t,
                                                 int32_t r, int32_t bottom)
{
    return E().Record(h, "ChangeSource2Wnd", {H(w), a, b, l, t, r, bottom});
}
CASTMIX_API long WINAPI Castmix_ChangeSourceType(CASTMIX_HANDLE h, int32_t t) { return E().Record(h, "ChangeSourceType", {t}); }
CASTMIX_API long WINAPI Castmix_SetMicVolume(CASTMIX_HANDLE h, int32_t v) { return E().Record(h, "SetMicVolume", {v}); }
CASTMIX_API long WINAPI Castmix_SetSpeakerVolume(CASTMIX_HANDLE h, int32_t v) { return E().Record(h, "SetSpeakerVolume", {v}); }
CASTMIX_API long WINAPI Castmix_GetSpeechMicVolume(CASTMIX_HANDLE h) { return E().Record(h, "GetSpeechMicVolume", {}); }
CASTMIX_API long WINAPI Castmix_GetSpeechSpeakerVolume(CASTMIX_HANDLE h, int32_t w) { return E().Record(h, "GetSpeechSpeakerVolume", {w}); }
CASTMIX_API long WINAPI Castmix_ChangeMic(CASTMIX_HANDLE h, int32_t d) { return E().Record(h, "ChangeMic", {d}); }
CASTMIX_API long WINAPI Castmix_ChangeSpeaker(CASTMIX_HANDLE h, int32_t d) { return E().Record(h, "ChangeSpeaker", {d}); }
CASTMIX_API long WINAPI Castmix_AdjVideoEncParam(CASTMIX_HANDLE h, int32_t w, int32_t ht, int32_t k)
{
    return E().Record(h, "AdjVideoEncParam", {w, ht, k});
}
CASTMIX_API long WINAPI Castmix_Room_ChangeRole(CASTMIX_HANDLE h, int32_t r) { return E().Record(h, "Room_ChangeRole", {r}); }
CASTMIX_API long WINAPI Castmix_ChangeStreamcastModel(CASTMIX_HANDLE h, int32_t a, int32_t b)
{
    return E().Record(h, "ChangeStreamcastModel", {a, b});
}
CASTMIX_API long WINAPI Castmix_AddParticipantVideo(CASTMIX_HANDLE h, uint32_t u, HWND w)
{
    return E().Record(h, "AddParticipantVideo", {u, H(w)});
}
CASTMIX_API long WINAPI Castmix_DelParticipantVideo(CASTMIX_HANDLE h, uint32_t u) { return E().Record(h, "DelParticipantVideo", {u}); }
CASTMIX_API long WINAPI Castmix_ChangeStreamServer(CASTMIX_HANDLE h, uint32_t a, uint16_t p, uint16_t id)
{
    return E().Record(h, "ChangeStreamServer", {a, p, id});
}
CASTMIX_API long WINAPI Castmix_QueryCameras(CASTMIX_HANDLE h, CastmixDeviceNames names)
{
    E().Record(h, "QueryCameras", {});
    return FillNames(names, E().cameras, L"Camera");
}
CASTMIX_API long WINAPI Castmix_QueryAudioCapDevs(CASTMIX_HANDLE h, CastmixDeviceNames names)
{
    E().Record(h, "QueryAudioCapDevs", {});
    return FillNames(names, E().capDevices, L"Microphone");
}
CASTMIX_API long WINAPI Castmix_QueryAudioPlayDevs(CASTMIX_HANDLE h, CastmixDeviceNames names)
{
    E().Record(h, "QueryAudioPlayDevs", {});
    return FillNames(names, E().playDevices, L"Speaker");
}
CASTMIX_API long WINAPI Castmix_VideoPreview(CASTMIX_HANDLE h, int32_t c, HWND w) { return E().Record(h, "VideoPreview", {c, H(w)}); }
CASTMIX_API long WINAPI Castmix_VideoShowPropertyPage(CASTMIX_HANDLE h, int32_t c, HWND w)
{
    long result = E().Record(h, "VideoShowPropertyPage", {c, H(w)});
    if (std::function<void()> whileOpen = E().whilePropertyPageOpen) whileOpen();
    return result;
}
CASTMIX_API long WINAPI Castmix_StartRec(CASTMIX_HANDLE h, int32_t start, const _RecParam* param)
{
    long result = E().Record(h, "StartRec", {start});
    if (param) E().calls.back().rec = *param;
    return result;
}
