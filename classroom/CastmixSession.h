// The one record through which the main window drives the media engine.
#pragma once
#include "core/ServerNode.h"
#include "platform/castmix/Castmix.h"
#include <windows.h>
#include <cstdint>

struct CastmixSession {
    CASTMIX_HANDLE engine = nullptr;
    uint32_t userId = 0;
    uint8_t role = 0;
    uint32_t roomId = 0;
    uint32_t serverAddress = 0; // first octet in the lowest byte
    uint16_t serverPort = 0;
    uint16_t serverId = 0;
    int32_t microphone = 0;
    int32_t speaker = 0;
    int32_t camera = 0; // -1 none
    HWND localVideo = nullptr;
    HWND notifyWindow = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t kbps = 0;
    HWND mainWindow = nullptr;
    uint8_t useCamera = 0;

    CastmixSession() = default;
    ~CastmixSession(); // closes the engine when still present
    CastmixSession(const CastmixSession&) = delete;
    CastmixSession& operator=(const CastmixSession&) = delete;

    // The stream server the engine joins (the session's stream node).
    void SetStreamServer(const ServerNode& node);
    void FillJoinParams(HWND localVideoWindow, HWND notify, int32_t videoWidth, int32_t videoHeight);
    // Closes the engine and nulls the handle.
    void Close();

    // Percent clamped to 0..100 and doubled; type 2 microphone, 1 speaker.
    bool SetVolume(int percent, int type);
    bool ChangeScreenWnd(HWND window);
    bool UseConfiguredCamera();
    bool SetCameraEnabled(bool on, HWND window);
    bool SetAudioProcess();
    // The running engine captures from, or plays on, the device of this index from now on.
    void ChangeMic(int32_t device);
    void ChangeSpeaker(int32_t device);
    bool AdjVideoEncParam(int32_t videoWidth, int32_t videoHeight, int32_t bitrate);
    bool ChangeRole(int32_t engineRole);
    bool AddParticipantVideo(uint32_t participant, HWND window);
    bool DelParticipantVideo(uint32_t participant);
    // 1 both kinds of device, -2 capture only, -1 playback only, 0 none.
    int QueryAudioDevs();
    void ChangeStreamcastModel(int a, int b);
    long StartRec(const _RecParam& param);
    long StopRec();

    static const long kNoEngine = -1000;
};

// Creates the engine when needed and joins the room's media session; true when joined.
bool avSession(HWND notifyWindow, CastmixSession* session, HWND localVideoWindow, int32_t width, int32_t height);

// The engine's block of audio processing switches from the user's options.
_AudioProcessParam ToAudioProcessParam(const struct AudioProcessingSettings& settings);
