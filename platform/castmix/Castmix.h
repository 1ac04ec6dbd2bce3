// The media engine the client drives: every operation takes the engine handle first and answers a code.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// Plain declarations: the client links the engine's import library, its tests a recording double.
#define CASTMIX_API extern "C"

typedef void* CASTMIX_HANDLE;

// Posted to the notify window as the message given to Castmix_SetNotify; LOWORD(wParam) == 1: the
// received video changed size, lParam points to {u16 width, u16 height}, which the engine keeps alive
// (the client never frees it).
#define CASTMIX_NOTIFY_VIDEO_SIZE 1

#pragma pack(push, 1)
struct _AudioProcessSwitch {
    uint8_t enabled;
    uint8_t padding[3];
    int32_t level;
};
struct _AudioProcessParam {
    _AudioProcessSwitch nsnear;
    _AudioProcessSwitch agcnear;
    _AudioProcessSwitch aecnear;
    _AudioProcessSwitch nsfar;
    _AudioProcessSwitch agcfar;
};

// What a recording takes: frame and data rate, the output file, the sources and the output size.
struct _RecParam {
    int32_t frameRate;          // 0
    int32_t dataRate;           // 4
    wchar_t outputPath[260];    // 8
    int32_t mode;               // 528: 1 camera, 2 board, 3 board and camera; 0 when stopping
    uint32_t documentWindow;    // 532
    uint32_t whiteboardWindow;  // 536
    uint8_t unused540[32];      // 540
    int32_t two;                // 572: always 2
    int32_t sourceWidth;        // 576: a multiple of 4
    int32_t sourceHeight;       // 580: a multiple of 4
    uint8_t reserved[16];       // 584: zero
    int32_t outputWidth;        // 600
    int32_t outputHeight;       // 604
    int32_t sixtyFour;          // 608: always 64
    int32_t five;               // 612: always 5
};
#pragma pack(pop)
static_assert(sizeof(_AudioProcessParam) == 40, "the engine reads 40 bytes");
static_assert(sizeof(_RecParam) == 616, "the engine reads 616 bytes");
static_assert(offsetof(_RecParam, mode) == 528 && offsetof(_RecParam, two) == 572 &&
              offsetof(_RecParam, sourceWidth) == 576 && offsetof(_RecParam, reserved) == 584 &&
              offsetof(_RecParam, outputWidth) == 600 && offsetof(_RecParam, five) == 612,
              "recording parameter layout");

// Window handles travel in the 32-bit fields above. Windows keeps handles 32-bit significant on x64 too,
// sign-extended, which its own conversion macros follow.
inline uint32_t CastmixWindowValue(HWND window) { return HandleToULong(window); }
inline HWND CastmixWindow(uint32_t value) { return static_cast<HWND>(LongToHandle(static_cast<LONG>(value))); }

enum { CASTMIX_MAX_DEVICES = 10, CASTMIX_DEVICE_NAME = 128 };
typedef wchar_t CastmixDeviceNames[CASTMIX_MAX_DEVICES][CASTMIX_DEVICE_NAME];

CASTMIX_API CASTMIX_HANDLE WINAPI Castmix_Create();
CASTMIX_API long WINAPI Castmix_Close(CASTMIX_HANDLE* handle);
CASTMIX_API long WINAPI Castmix_SetNotify(CASTMIX_HANDLE handle, HWND window, UINT message);
CASTMIX_API long WINAPI Castmix_Room_Join(CASTMIX_HANDLE handle, uint32_t userId, int32_t role, uint32_t roomId,
                                          uint32_t serverAddress, uint16_t serverPort, uint16_t serverId,
                                          int32_t microphone, int32_t speaker, int32_t camera, HWND localVideo,
                                          HWND notifyWindow, int32_t width, int32_t height, int32_t frameRate,
                                          int32_t kbps, HWND mainWindow);
CASTMIX_API long WINAPI Castmix_SetAudioProcess(CASTMIX_HANDLE handle, const _AudioProcessParam* param);
CASTMIX_API long WINAPI Castmix_SetSendState(CASTMIX_HANDLE handle, int32_t state);
CASTMIX_API long WINAPI Castmix_ChangeSource2Camera(CASTMIX_HANDLE handle, int32_t camera);
CASTMIX_API long WINAPI Castmix_ChangeScreenWnd(CASTMIX_HANDLE handle, uint32_t roomId, BOOL teacher, HWND window);
CASTMIX_API long WINAPI Castmix_ChangeSource2Wnd(CASTMIX_HANDLE handle, HWND window, int32_t a, int32_t b,
                                                 int32_t left, int32_t top, int32_t right, int32_t bottom);
CASTMIX_API long WINAPI Castmix_ChangeSourceType(CASTMIX_HANDLE handle, int32_t type);
CASTMIX_API long WINAPI Castmix_SetMicVolume(CASTMIX_HANDLE handle, int32_t volume);
CASTMIX_API long WINAPI Castmix_SetSpeakerVolume(CASTMIX_HANDLE handle, int32_t volume);
CASTMIX_API long WINAPI Castmix_GetSpeechMicVolume(CASTMIX_HANDLE handle);
CASTMIX_API long WINAPI Castmix_GetSpeechSpeakerVolume(CASTMIX_HANDLE handle, int32_t which);
CASTMIX_API long WINAPI Castmix_ChangeMic(CASTMIX_HANDLE handle, int32_t device);
CASTMIX_API long WINAPI Castmix_ChangeSpeaker(CASTMIX_HANDLE handle, int32_t device);
CASTMIX_API long WINAPI Castmix_AdjVideoEncParam(CASTMIX_HANDLE handle, int32_t width, int32_t height, int32_t kbps);
CASTMIX_API long WINAPI Castmix_Room_ChangeRole(CASTMIX_HANDLE handle, int32_t role);
CASTMIX_API long WINAPI Castmix_ChangeStreamcastModel(CASTMIX_HANDLE handle, int32_t a, int32_t b);
CASTMIX_API long WINAPI Castmix_AddParticipantVideo(CASTMIX_HANDLE handle, uint32_t userId, HWND window);
CASTMIX_API long WINAPI Castmix_DelParticipantVideo(CASTMIX_HANDLE handle, uint32_t userId);
CASTMIX_API long WINAPI Castmix_ChangeStreamServer(CASTMIX_HANDLE handle, uint32_t address, uint16_t port, uint16_t id);
CASTMIX_API long WINAPI Castmix_QueryCameras(CASTMIX_HANDLE handle, CastmixDeviceNames names);
CASTMIX_API long WINAPI Castmix_QueryAudioCapDevs(CASTMIX_HANDLE handle, CastmixDeviceNames names);
CASTMIX_API long WINAPI Castmix_QueryAudioPlayDevs(CASTMIX_HANDLE handle, CastmixDeviceNames names);
CASTMIX_API long WINAPI Castmix_VideoPreview(CASTMIX_HANDLE handle, int32_t camera, HWND window);
CASTMIX_API long WINAPI Castmix_VideoShowPropertyPage(CASTMIX_HANDLE handle, int32_t camera, HWND owner);
CASTMIX_API long WINAPI Castmix_StartRec(CASTMIX_HANDLE handle, int32_t start, const _RecParam* param);
