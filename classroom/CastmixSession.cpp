#include "classroom/CastmixSession.h"

#include "core/Logger.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"

#include <cstring>

namespace {
const UINT kEngineNotify = WM_USER_CASTMIX_NOTIFY;
const int32_t kJoinFrameRate = 15;
const int32_t kDefaultKbps = 240;

_AudioProcessSwitch ToSwitch(const AudioProcessingPair& pair)
{
    _AudioProcessSwitch result = {};
    result.enabled = pair.enabled ? 1 : 0;
    result.level = pair.level;
    return result;
}
} // namespace

_AudioProcessParam ToAudioProcessParam(const AudioProcessingSettings& settings)
{
    _AudioProcessParam param;
    param.nsnear = ToSwitch(settings.nearNoiseSuppression);
    param.agcnear = ToSwitch(settings.nearGainControl);
    param.aecnear = ToSwitch(settings.nearEchoCancellation);
    param.nsfar = ToSwitch(settings.farNoiseSuppression);
    param.agcfar = ToSwitch(settings.farGainControl);
    return param;
}

CastmixSession::~CastmixSession() { Close(); }

void CastmixSession::Close()
{
    if (!engine) return;
    Castmix_Close(&engine);
    engine = nullptr;
    Logger::Instance().WriteLine(L"avSession: Castmix Close OK");
}

void CastmixSession::SetStreamServer(const ServerNode& node)
{
    serverAddress = node.address;
    serverPort = node.port;
    serverId = node.id;
}

void CastmixSession::FillJoinParams(HWND localVideoWindow, HWND notify, int32_t videoWidth, int32_t videoHeight)
{
    SessionContext* context = SessionContext::Instance();
    if (!context) return;
    userId = context->userId;
    role = context->role;
    roomId = context->room.roomId;
    microphone = context->options.microphoneId;
    speaker = context->options.speakerId;
    camera = useCamera ? context->options.cameraId : -1;
    localVideo = localVideoWindow;
    notifyWindow = notify;
    width = videoWidth;
    height = videoHeight;
    frameRate = kJoinFrameRate;
    // An unconfigured bit rate reads as -1: anything not positive takes the default.
    kbps = context->bitrate > 0 ? context->bitrate : kDefaultKbps;
    mainWindow = context->mainWindow;
}

bool CastmixSession::SetVolume(int percent, int type)
{
    if (!engine) return false;
    int volume = (percent < 0 ? 0 : percent > 100 ? 100 : percent) * 2;
    if (type == 2) return Castmix_SetMicVolume(engine, volume) >= 0;
    if (type == 1) return Castmix_SetSpeakerVolume(engine, volume) >= 0;
    return false;
}

bool CastmixSession::ChangeScreenWnd(HWND window)
{
    if (!engine) return false;
    return Castmix_ChangeScreenWnd(engine, roomId, IsTeacherRole(role), window) >= 0;
}

bool CastmixSession::UseConfiguredCamera()
{
    if (!engine) return false;
    SessionContext* context = SessionContext::Instance();
    useCamera = 1;
    camera = context ? context->options.cameraId : -1;
    long result = Castmix_ChangeSource2Camera(engine, camera);
    if (camera != -1 && localVideo) result = Castmix_ChangeScreenWnd(engine, roomId, TRUE, localVideo);
    return result >= 0;
}

bool CastmixSession::SetCameraEnabled(bool on, HWND window)
{
    if (!engine) return false;
    SessionContext* context = SessionContext::Instance();
    useCamera = on ? 1 : 0;
    camera = on && context ? context->options.cameraId : -1;
    long result = Castmix_ChangeSource2Camera(engine, camera);
    HWND target = window ? window : localVideo;
    if (camera != -1 && target) result = Castmix_ChangeScreenWnd(engine, roomId, TRUE, target);
    return result >= 0;
}

bool CastmixSession::SetAudioProcess()
{
    if (!engine) return false;
    SessionContext* context = SessionContext::Instance();
    AudioProcessingSettings settings = context ? context->options.audio : AudioProcessingSettings();
    _AudioProcessParam param = ToAudioProcessParam(settings);
    long result = Castmix_SetAudioProcess(engine, &param);
    Logger::Instance().Write(L"avSession: set audio param ret %d, nsnear(%d, %d), agcnear(%d, %d), aecnear(%d, %d), "
                             L"nsfar(%d, %d), agcfar(%d, %d)",
                             result, param.nsnear.enabled, param.nsnear.level, param.agcnear.enabled,
                             param.agcnear.level, param.aecnear.enabled, param.aecnear.level, param.nsfar.enabled,
                             param.nsfar.level, param.agcfar.enabled, param.agcfar.level);
    if (result < 0) Logger::Instance().WriteLine(L"Warn: avSession: setaudioprocess Error, return");
    return result >= 0;
}

void CastmixSession::ChangeMic(int32_t device)
{
    microphone = device;
    if (engine) Castmix_ChangeMic(engine, device);
}

void CastmixSession::ChangeSpeaker(int32_t device)
{
    speaker = device;
    if (engine) Castmix_ChangeSpeaker(engine, device);
}

bool CastmixSession::AdjVideoEncParam(int32_t videoWidth, int32_t videoHeight, int32_t bitrate)
{
    return engine && Castmix_AdjVideoEncParam(engine, videoWidth, videoHeight, bitrate) > 0;
}

bool CastmixSession::ChangeRole(int32_t engineRole)
{
    return engine && Castmix_Room_ChangeRole(engine, engineRole) > 0;
}

bool CastmixSession::AddParticipantVideo(uint32_t participant, HWND window)
{
    return engine && Castmix_AddParticipantVideo(engine, participant, window) > 0;
}

bool CastmixSession::DelParticipantVideo(uint32_t participant)
{
    return engine && Castmix_DelParticipantVideo(engine, participant) > 0;
}

int CastmixSession::QueryAudioDevs()
{
    if (!engine) return 0;
    CastmixDeviceNames capture = {}, playback = {};
    bool hasCapture = Castmix_QueryAudioCapDevs(engine, capture) > 0;
    bool hasPlayback = Castmix_QueryAudioPlayDevs(engine, playback) > 0;
    if (hasCapture && hasPlayback) return 1;
    if (hasCapture) return -2;
    if (hasPlayback) return -1;
    return 0;
}

void CastmixSession::ChangeStreamcastModel(int a, int b)
{
    if (engine) Castmix_ChangeStreamcastModel(engine, a <= 0 ? 2 : 4, b <= 0 ? 2 : 4);
}

long CastmixSession::StartRec(const _RecParam& param)
{
    if (!engine) return kNoEngine;
    _RecParam sent = param;
    sent.sourceWidth -= sent.sourceWidth % 4;
    sent.sourceHeight -= sent.sourceHeight % 4;
    sent.five = 5;
    memset(sent.reserved, 0, sizeof sent.reserved);
    return Castmix_StartRec(engine, 1, &sent);
}

long CastmixSession::StopRec()
{
    if (!engine) return kNoEngine;
    _RecParam stop = {};
    stop.frameRate = 20;
    stop.dataRate = 1024;
    stop.outputWidth = 640;
    stop.outputHeight = 480;
    stop.sixtyFour = 64;
    stop.five = 5;
    return Castmix_StartRec(engine, 0, &stop);
}

bool avSession(HWND notifyWindow, CastmixSession* session, HWND localVideoWindow, int32_t width, int32_t height)
{
    if (!session) return false;
    Logger& log = Logger::Instance();
    if (!session->engine) {
        session->engine = Castmix_Create();
        if (!session->engine) {
            log.WriteLine(L"avSession: Create Castmix Error, return");
            return false;
        }
    }
    log.WriteLine(L"avSession: Create Castmix OK");
    if (Castmix_SetNotify(session->engine, notifyWindow, kEngineNotify) == -1)
        log.WriteLine(L"avSession: setnotify Error, return");

    session->FillJoinParams(localVideoWindow, notifyWindow, width, height);
    int32_t engineRole = GetCastmixRole(session->role);
    HWND localVideo = session->localVideo ? session->localVideo : session->notifyWindow;
    long joined = Castmix_Room_Join(session->engine, session->userId, engineRole, session->roomId,
                                    session->serverAddress, session->serverPort, session->serverId,
                                    session->microphone, session->speaker, session->camera, localVideo,
                                    session->notifyWindow, session->width, session->height, session->frameRate,
                                    session->kbps, session->mainWindow);
    uint32_t ip = session->serverAddress;
    log.Write(L"avSession: Room Join result = %d, RoomID = %d, IP = %d.%d.%d.%d, Port = %d, UserID = %d, "
              L"bitrate= %d, join role=%d",
              joined, session->roomId, ip & 0xFF, (ip >> 8) & 0xFF, (ip >> 16) & 0xFF, ip >> 24, session->serverPort,
              session->userId, session->kbps, engineRole);
    session->SetAudioProcess();
    return joined >= 0;
}
