#include "platform/castmix/CastmixEngine.h"

#include "platform/castmix/EngineLog.h"

#include <cwchar>
#include <new>

namespace {

const wchar_t kWindowClass[] = L"LumenvaleCastmixEngine";

bool IsVolume(int32_t volume)
{
    return volume >= 0 && volume <= kFullVolume;
}

bool IsVideoSize(int32_t width, int32_t height)
{
    return width >= 16 && width <= 4096 && height >= 16 && height <= 4096;
}

void LogAddress(const char* what, uint32_t address, uint16_t port, uint16_t id, long result)
{
    // The first octet is in the lowest byte.
    ENGINE_LOG("Info: %s ip = %u.%u.%u.%u, port = %u, server id = %u, ret = %ld\r\n", what, address & 0xFF,
              (address >> 8) & 0xFF, (address >> 16) & 0xFF, address >> 24, port, id, result);
}

} // namespace

bool IsEngineRole(int32_t role)
{
    return role == 0 || role == 2 || role == 3 || role == 4;
}

CCastmixEngine::CCastmixEngine(const MediaApi& api) : m_api(api), m_audio(api.audio), m_video(api.video) {}

CCastmixEngine::~CCastmixEngine()
{
    Shutdown();
    if (!m_window)
        return;
    // A frame-size notice still queued must not reach this engine once it is gone.
    SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    // Only the creating thread can destroy the window; from any other the window closes itself there.
    if (GetWindowThreadProcessId(m_window, nullptr) == GetCurrentThreadId())
        DestroyWindow(m_window);
    else
        PostMessageW(m_window, WM_CLOSE, 0, 0);
}

bool CCastmixEngine::Init(HINSTANCE module)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &CCastmixEngine::WindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (!m_window)
        return false;
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_video.SetEngineWindow(m_window);
    return true;
}

LRESULT CALLBACK CCastmixEngine::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CCastmixEngine*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kMsgFrameSize) {
        self->OnFrameSize(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void CCastmixEngine::OnFrameSize(int width, int height)
{
    if (!m_video.OnFrameSize(width, height))
        return;
    if (m_videoSize[0] == width && m_videoSize[1] == height)
        return;
    m_videoSize[0] = static_cast<uint16_t>(width);
    m_videoSize[1] = static_cast<uint16_t>(height);
    ENGINE_LOG("Info: video size %dx%d\r\n", width, height);
    if (m_notifyWindow && m_notifyMessage)
        PostMessageW(m_notifyWindow, m_notifyMessage, CASTMIX_NOTIFY_VIDEO_SIZE, reinterpret_cast<LPARAM>(m_videoSize));
}

long CCastmixEngine::SetNotify(HWND window, UINT message)
{
    if (!window || !IsWindow(window) || message == 0) {
        ENGINE_LOG("Err: SetNotify bad window %p or message %u\r\n", static_cast<void*>(window), message);
        return kCastmixBadHandle;
    }
    m_notifyWindow = window;
    m_notifyMessage = message;
    return 0;
}

HWND CCastmixEngine::SoundWindow() const
{
    // DirectSound's cooperative level wants a window of the application.
    if (m_join.mainWindow && IsWindow(m_join.mainWindow))
        return m_join.mainWindow;
    if (m_join.notifyWindow && IsWindow(m_join.notifyWindow))
        return m_join.notifyWindow;
    return m_window;
}

long CCastmixEngine::RoomJoin(const CastmixJoin& join)
{
    if (!IsEngineRole(join.role) || join.roomId == 0 || join.serverAddress == 0 || join.serverPort == 0 ||
        !IsVideoSize(join.width, join.height) || join.frameRate < 1 || join.frameRate > 60 || join.kbps <= 0 ||
        join.microphone < 0 || join.speaker < 0 || join.camera < -1 || !OptionalWindow(join.localVideo) ||
        !OptionalWindow(join.notifyWindow) || !OptionalWindow(join.mainWindow)) {
        ENGINE_LOG("Err: Room_Join refused: role %d, room %u, port %u, %dx%d@%d, %d kbps, mic %d, speaker %d, camera %d\r\n",
                  join.role, join.roomId, join.serverPort, join.width, join.height, join.frameRate, join.kbps,
                  join.microphone, join.speaker, join.camera);
        return kCastmixBadArgument;
    }
    // A second join (after a server refresh) starts the devices afresh.
    m_video.Stop();
    m_audio.StopMicrophone();
    m_audio.StopSpeaker();
    // A join after a server refresh keeps the room's participant windows; another room starts empty.
    if (!m_joined || m_join.roomId != join.roomId)
        m_participants.clear();
    m_join = join;
    m_joined = true;
    LogAddress("Room_Join", join.serverAddress, join.serverPort, join.serverId, 0);
    ENGINE_LOG("Info: Room_Join room = %u, user = %u, role = %d, %dx%d@%d, %d kbps\r\n", join.roomId, join.userId,
              join.role, join.width, join.height, join.frameRate, join.kbps);

    // Devices that fail leave the class running without them, as a user without a microphone still
    // follows the class; each failure is in the log.
    if (m_audio.StartMicrophone(join.microphone) != 1)
        ENGINE_LOG("Warn: Room_Join without microphone %d\r\n", join.microphone);
    else
        m_audio.SetMicVolume(m_micVolume);
    if (m_audio.StartSpeaker(SoundWindow(), join.speaker) != 1)
        ENGINE_LOG("Warn: Room_Join without speaker\r\n");
    else
        m_audio.SetSpeakerVolume(m_speakerVolume);
    if (join.camera >= 0 && StartCamera(join.camera) < 0)
        ENGINE_LOG("Warn: Room_Join without camera %d\r\n", join.camera);
    return 0;
}

long CCastmixEngine::StartCamera(int32_t camera)
{
    int result = m_video.Start(camera, m_join.width, m_join.height, m_join.frameRate, m_join.localVideo);
    return result == 1 ? 0 : kCastmixDeviceFailed;
}

long CCastmixEngine::SetAudioProcess(const _AudioProcessParam* param)
{
    if (!param)
        return kCastmixBadArgument;
    const _AudioProcessSwitch* switches[] = {&param->nsnear, &param->agcnear, &param->aecnear, &param->nsfar,
                                             &param->agcfar};
    // A switched-off stage keeps whatever level the options hold; only a live one needs a sane level.
    for (const _AudioProcessSwitch* item : switches) {
        if (item->enabled > 1 || (item->enabled && (item->level < 0 || item->level > 100)))
            return kCastmixBadArgument;
    }
    m_audioProcess = *param;
    ENGINE_LOG("Info: audio process ns(%u,%d) agc(%u,%d) aec(%u,%d) nsfar(%u,%d) agcfar(%u,%d)\r\n",
              param->nsnear.enabled, param->nsnear.level, param->agcnear.enabled, param->agcnear.level,
              param->aecnear.enabled, param->aecnear.level, param->nsfar.enabled, param->nsfar.level,
              param->agcfar.enabled, param->agcfar.level);
    return 0;
}

long CCastmixEngine::SetSendState(int32_t state)
{
    if (state != 5 && state != 10)
        return kCastmixBadArgument;
    m_sendState = state;
    ENGINE_LOG("Info: send state %d\r\n", state);
    return 0;
}

long CCastmixEngine::ChangeSource2Camera(int32_t camera)
{
    if (camera < -1)
        return kCastmixBadArgument;
    m_join.camera = camera;
    ENGINE_LOG("Info: source camera %d\r\n", camera);
    if (camera == -1) {
        m_video.Stop();
        return 0;
    }
    if (!m_joined)
        return 0; // the join starts it
    if (m_video.Running() && m_video.Camera() == camera)
        return 0;
    return StartCamera(camera);
}

long CCastmixEngine::ChangeScreenWnd(uint32_t roomId, BOOL teacher, HWND window)
{
    if (!OptionalWindow(window))
        return kCastmixBadArgument;
    if (!m_joined)
        return kCastmixNotJoined;
    if (roomId != m_join.roomId) {
        ENGINE_LOG("Err: ChangeScreenWnd for room %u, joined %u\r\n", roomId, m_join.roomId);
        return kCastmixBadArgument;
    }
    m_join.localVideo = window;
    int result = m_video.ChangeWindow(window);
    ENGINE_LOG("Info: ChangeScreenWnd teacher %d, window %p = %d\r\n", teacher ? 1 : 0, static_cast<void*>(window),
              result);
    // The render takes a window later when none ran yet; a refused window is the library's failure.
    return result == 1 ? 0 : kCastmixDeviceFailed;
}

long CCastmixEngine::ChangeSource2Wnd(HWND window, int32_t a, int32_t b, int32_t left, int32_t top, int32_t right,
                                      int32_t bottom)
{
    if (!window || !IsWindow(window) || left < 0 || top < 0 || right < 0 || bottom < 0)
        return kCastmixBadArgument;
    m_sourceType = 2;
    m_shareWindow = window;
    m_shareMargins = {left, top, right, bottom};
    ENGINE_LOG("Info: source window %p (%d, %d), margins %d %d %d %d\r\n", static_cast<void*>(window), a, b, left,
              top, right, bottom);
    return 0;
}

long CCastmixEngine::ChangeSourceType(int32_t type)
{
    if (type != 1)
        return kCastmixBadArgument;
    m_sourceType = 1;
    m_shareWindow = nullptr;
    ENGINE_LOG("Info: source back to the camera\r\n");
    return 0;
}

long CCastmixEngine::SetMicVolume(int32_t volume)
{
    if (!IsVolume(volume))
        return kCastmixBadArgument;
    m_micVolume = volume;
    m_audio.SetMicVolume(volume);
    return 0;
}

long CCastmixEngine::SetSpeakerVolume(int32_t volume)
{
    if (!IsVolume(volume))
        return kCastmixBadArgument;
    m_speakerVolume = volume;
    m_audio.SetSpeakerVolume(volume);
    return 0;
}

long CCastmixEngine::GetSpeechMicVolume() const
{
    return m_audio.MicLevel();
}

long CCastmixEngine::GetSpeechSpeakerVolume(int32_t which) const
{
    // 0 is the mixed sound of the speaker; nothing else is measured.
    if (which != 0)
        return kCastmixBadArgument;
    return m_audio.SpeakerLevel();
}

long CCastmixEngine::ChangeMic(int32_t device)
{
    if (device < 0)
        return kCastmixBadArgument;
    m_join.microphone = device;
    if (!m_joined)
        return 0;
    int result = m_audio.StartMicrophone(device);
    ENGINE_LOG("Info: ChangeMic %d = %d\r\n", device, result);
    return result == 1 ? 0 : kCastmixDeviceFailed;
}

long CCastmixEngine::ChangeSpeaker(int32_t device)
{
    if (device < 0)
        return kCastmixBadArgument;
    m_join.speaker = device;
    if (!m_joined)
        return 0;
    int result = m_audio.StartSpeaker(SoundWindow(), device);
    ENGINE_LOG("Info: ChangeSpeaker %d = %d\r\n", device, result);
    return result == 1 ? 0 : kCastmixDeviceFailed;
}

long CCastmixEngine::AdjVideoEncParam(int32_t width, int32_t height, int32_t kbps)
{
    if (!IsVideoSize(width, height) || kbps <= 0)
        return kCastmixBadArgument;
    bool resize = m_join.width != width || m_join.height != height;
    m_join.width = width;
    m_join.height = height;
    m_join.kbps = kbps;
    ENGINE_LOG("Info: video encoder %dx%d, %d kbps\r\n", width, height, kbps);
    // The camera is asked for the new size; it may keep its own, which the render then follows.
    if (resize && m_video.Running() && StartCamera(m_video.Camera()) < 0)
        return kCastmixDeviceFailed;
    return 1;
}

long CCastmixEngine::RoomChangeRole(int32_t role)
{
    if (!IsEngineRole(role))
        return kCastmixBadArgument;
    if (!m_joined)
        return kCastmixNotJoined;
    ENGINE_LOG("Info: role %d -> %d\r\n", m_join.role, role);
    m_join.role = role;
    return 1;
}

long CCastmixEngine::ChangeStreamcastModel(int32_t a, int32_t b)
{
    if ((a != 2 && a != 4) || (b != 2 && b != 4))
        return kCastmixBadArgument;
    m_streamcastA = a;
    m_streamcastB = b;
    ENGINE_LOG("Info: stream-cast model %d, %d\r\n", a, b);
    return 0;
}

long CCastmixEngine::AddParticipantVideo(uint32_t userId, HWND window)
{
    if (userId == 0 || !window || !IsWindow(window))
        return kCastmixBadArgument;
    if (!m_joined)
        return kCastmixNotJoined;
    m_participants[userId] = window;
    ENGINE_LOG("Info: participant %u video in %p\r\n", userId, static_cast<void*>(window));
    return 1;
}

long CCastmixEngine::DelParticipantVideo(uint32_t userId)
{
    if (!m_joined)
        return kCastmixNotJoined;
    bool removed = m_participants.erase(userId) == 1;
    ENGINE_LOG("Info: participant %u video removed = %d\r\n", userId, removed ? 1 : 0);
    return removed ? 1 : 0;
}

long CCastmixEngine::ChangeStreamServer(uint32_t address, uint16_t port, uint16_t id)
{
    if (address == 0 || port == 0)
        return kCastmixBadArgument;
    if (!m_joined)
        return kCastmixNotJoined;
    m_join.serverAddress = address;
    m_join.serverPort = port;
    m_join.serverId = id;
    LogAddress("ChangeStreamServer", address, port, id, 1);
    return 1;
}

long CCastmixEngine::QueryCameras(CastmixDeviceNames names)
{
    if (!names)
        return kCastmixBadArgument;
    int count = m_video.Devices(names, CASTMIX_MAX_DEVICES);
    return count < 0 ? kCastmixDeviceFailed : count;
}

long CCastmixEngine::QueryAudioCapDevs(CastmixDeviceNames names)
{
    if (!names)
        return kCastmixBadArgument;
    int count = m_audio.CaptureDevices(names, CASTMIX_MAX_DEVICES);
    return count < 0 ? kCastmixDeviceFailed : count;
}

long CCastmixEngine::QueryAudioPlayDevs(CastmixDeviceNames names)
{
    if (!names)
        return kCastmixBadArgument;
    int count = m_audio.PlaybackDevices(names, CASTMIX_MAX_DEVICES);
    return count < 0 ? kCastmixDeviceFailed : count;
}

long CCastmixEngine::VideoPreview(int32_t camera, HWND window)
{
    if (camera < -1 || !OptionalWindow(window))
        return kCastmixBadArgument;
    int result = m_video.Preview(camera, window);
    return result < 0 ? kCastmixDeviceFailed : 0;
}

long CCastmixEngine::VideoShowPropertyPage(int32_t camera, HWND)
{
    if (camera < 0)
        return kCastmixBadArgument;
    return m_video.ShowPropertyPage(camera) == 1 ? 0 : kCastmixDeviceFailed;
}

long CCastmixEngine::StartRec(int32_t start, const _RecParam* param)
{
    if (start == 0)
        return m_recording ? m_recording->Stop() : kRecNotRecording;
    if (start != 1 || !param)
        return kRecBadParam;
    if (!m_recording)
        m_recording.reset(new (std::nothrow) CRecordingSession(m_api.video, m_video));
    if (!m_recording)
        return kRecUnavailable;
    if (m_recording->Recording())
        m_recording->Stop();
    long result = m_recording->Start(*param, m_join.microphone);
    ENGINE_LOG("Info: StartRec mode %d = %ld\r\n", param->mode, result);
    return result;
}

void CCastmixEngine::Shutdown()
{
    // The recording reads camera frames, so it ends before the camera.
    if (m_recording)
        m_recording->Stop();
    m_recording.reset();
    m_video.Stop();
    m_video.StopPreview();
    m_audio.StopMicrophone();
    m_audio.StopSpeaker();
    m_joined = false;
}
