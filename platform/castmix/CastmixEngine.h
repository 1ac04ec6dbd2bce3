// One media engine: the room join and what the class changes afterwards, checked and logged, the
// microphone and speaker, the local camera, the settings' preview and a recording. No stream server
// protocol exists here, so nothing is sent on the network: room, role, stream-cast and participant
// calls are kept as state.
#pragma once
#include "platform/castmix/AudioPath.h"
#include "platform/castmix/Castmix.h"
#include "platform/castmix/LocalVideo.h"
#include "platform/castmix/MediaLibraries.h"
#include "platform/castmix/RecordingSession.h"

#include <map>
#include <memory>

// Answers of the engine's calls beside success (0 or 1 as each call defines).
const long kCastmixBadHandle = -1;
const long kCastmixBadArgument = -2;
const long kCastmixNotJoined = -3;
const long kCastmixDeviceFailed = -4;

struct CastmixJoin {
    uint32_t userId = 0;
    int32_t role = 0;
    uint32_t roomId = 0;
    uint32_t serverAddress = 0;
    uint16_t serverPort = 0;
    uint16_t serverId = 0;
    int32_t microphone = 0;
    int32_t speaker = 0;
    int32_t camera = -1;
    HWND localVideo = nullptr;
    HWND notifyWindow = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t kbps = 0;
    HWND mainWindow = nullptr;
};

// Engine roles: 0 none, 2 teacher, 3 speaker, 4 audience.
bool IsEngineRole(int32_t role);

class CCastmixEngine {
public:
    explicit CCastmixEngine(const MediaApi& api);
    ~CCastmixEngine();
    CCastmixEngine(const CCastmixEngine&) = delete;
    CCastmixEngine& operator=(const CCastmixEngine&) = delete;

    // The engine's own message window on the creating thread; false when it cannot be made.
    bool Init(HINSTANCE module);

    long SetNotify(HWND window, UINT message);
    long RoomJoin(const CastmixJoin& join);
    long SetAudioProcess(const _AudioProcessParam* param);
    long SetSendState(int32_t state);
    long ChangeSource2Camera(int32_t camera);
    long ChangeScreenWnd(uint32_t roomId, BOOL teacher, HWND window);
    long ChangeSource2Wnd(HWND window, int32_t a, int32_t b, int32_t left, int32_t top, int32_t right, int32_t bottom);
    long ChangeSourceType(int32_t type);
    long SetMicVolume(int32_t volume);
    long SetSpeakerVolume(int32_t volume);
    long GetSpeechMicVolume() const;
    long GetSpeechSpeakerVolume(int32_t which) const;
    long ChangeMic(int32_t device);
    long ChangeSpeaker(int32_t device);
    long AdjVideoEncParam(int32_t width, int32_t height, int32_t kbps);
    long RoomChangeRole(int32_t role);
    long ChangeStreamcastModel(int32_t a, int32_t b);
    long AddParticipantVideo(uint32_t userId, HWND window);
    long DelParticipantVideo(uint32_t userId);
    long ChangeStreamServer(uint32_t address, uint16_t port, uint16_t id);
    long QueryCameras(CastmixDeviceNames names);
    long QueryAudioCapDevs(CastmixDeviceNames names);
    long QueryAudioPlayDevs(CastmixDeviceNames names);
    long VideoPreview(int32_t camera, HWND window);
    long VideoShowPropertyPage(int32_t camera, HWND owner);
    long StartRec(int32_t start, const _RecParam* param);
    // Stops every device and graph; the engine can be deleted afterwards.
    void Shutdown();

    // For tests of the engine itself.
    bool Joined() const { return m_joined; }
    const CastmixJoin& Join() const { return m_join; }
    const CAudioPath& Audio() const { return m_audio; }
    const CLocalVideo& Video() const { return m_video; }
    const uint16_t* VideoSizeRecord() const { return m_videoSize; }
    HWND EngineWindow() const { return m_window; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnFrameSize(int width, int height);
    long StartCamera(int32_t camera);
    HWND SoundWindow() const;
    static bool OptionalWindow(HWND window) { return !window || IsWindow(window); }

    const MediaApi& m_api;
    HWND m_window = nullptr;
    HWND m_notifyWindow = nullptr;
    UINT m_notifyMessage = 0;
    bool m_joined = false;
    CastmixJoin m_join;
    _AudioProcessParam m_audioProcess = {};
    int32_t m_sendState = 5;
    int32_t m_sourceType = 1; // 1 camera, 2 window
    HWND m_shareWindow = nullptr;
    RECT m_shareMargins = {};
    int32_t m_micVolume = kFullVolume;
    int32_t m_speakerVolume = kFullVolume;
    int32_t m_streamcastA = 2;
    int32_t m_streamcastB = 2;
    std::map<uint32_t, HWND> m_participants;
    CAudioPath m_audio;
    CLocalVideo m_video;
    std::unique_ptr<CRecordingSession> m_recording;
    // The received-video size handed to the notify window; it lives as long as the engine.
    uint16_t m_videoSize[2] = {0, 0};
};
