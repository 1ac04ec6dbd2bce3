// Sonarel.dll: microphone capture and speaker playback in 20 ms blocks for the media engine.
// A host loads the DLL with LoadLibrary and finds every function by its plain name with GetProcAddress
// ("Sonarel_Create", "AudioPlay_Start", "DoDSound", ...); all use the C calling convention. The Sonarel*Fn
// types below are the signatures to cast the addresses to.
#pragma once
#include <windows.h>

// One block of sound crossing the interface. The library owns it; the host reads and writes the data
// during a callback only. Layout (32-bit): vtable pointer, then the fields in this order.
class CRA_DataBlock {
public:
    explicit CRA_DataBlock(int length);
    virtual ~CRA_DataBlock();
    CRA_DataBlock(const CRA_DataBlock&) = delete;
    CRA_DataBlock& operator=(const CRA_DataBlock&) = delete;

    int sequence = 0;        // capture: 0, 1, 2 ... per started capture; playback: 0
    unsigned time = 0;       // capture: multimedia clock (ms) when the block was filled; playback: 0
    int reserved = 0;        // capture: -1; playback: 0
    int filled = -1;         // -1 when created, 1 after a capture fill
    unsigned char* data = nullptr; // zeroed at creation
    int length = 0;          // bytes
};
#if defined(__i386__)
// The engine reads blocks by their 32-bit offsets: vtable 0, sequence 4 ... data 20, length 24.
static_assert(sizeof(CRA_DataBlock) == 28, "the engine reads a 28-byte block");
#endif

// Called on the library's capture or playback thread with the host's user pointer and the address of
// the object's block pointer. The result is ignored.
typedef long (*AudioBlockCallback)(void* user, CRA_DataBlock** block);

class CDSSonarel;
class CDSAudioPlay;

// Device names come in rows of this many wide characters (at most 127 and a NUL); at most
// kSonarelMaxDeviceRows rows are filled, so the host's table never overflows.
const int kSonarelNameChars = 128;
const int kSonarelMaxDeviceRows = 10;

extern "C" {
// Capture. Start answers 1 when capture runs, -3 on failure, -1 for a bad handle.
CDSSonarel* Sonarel_Create();
int Sonarel_GetDevs(CDSSonarel* handle, wchar_t (*names)[kSonarelNameChars]);
int Sonarel_Start(CDSSonarel* handle, int deviceIndex, int samplesPerSec, int bitsPerSample, int channels,
                  AudioBlockCallback callback, void* user);
void Sonarel_Close(CDSSonarel** handle);

// Playback on the first playback device. Start answers 1 when playback runs, -5 on failure, -1 for a
// bad handle; the third argument is not used.
CDSAudioPlay* AudioPlay_Create();
int AudioPlay_GetDevs(CDSAudioPlay* handle, wchar_t (*names)[kSonarelNameChars]);
int AudioPlay_Start(CDSAudioPlay* handle, HWND window, int unused, int samplesPerSec, int bitsPerSample,
                    int channels, AudioBlockCallback callback, void* user);
void AudioPlay_Close(CDSAudioPlay** handle);
// Playback on the device at deviceIndex of the playback list (AudioPlay_GetDevs' order); an index
// outside the list plays on the first device, as AudioPlay_Start does. Same answers as AudioPlay_Start.
int AudioPlay_StartDevice(CDSAudioPlay* handle, HWND window, int deviceIndex, int samplesPerSec, int bitsPerSample,
                          int channels, AudioBlockCallback callback, void* user);

// Loopback test: plays what the first capture device hears (mono, 32000 Hz, 16 bits) until the next call
// or until the library is unloaded. Null callbacks select the built-in ones.
void DoDSound(HWND window, AudioBlockCallback captureCallback, AudioBlockCallback playCallback);
}

typedef CDSSonarel* (*Sonarel_CreateFn)();
typedef int (*Sonarel_GetDevsFn)(CDSSonarel*, wchar_t (*)[kSonarelNameChars]);
typedef int (*Sonarel_StartFn)(CDSSonarel*, int, int, int, int, AudioBlockCallback, void*);
typedef void (*Sonarel_CloseFn)(CDSSonarel**);
typedef CDSAudioPlay* (*AudioPlay_CreateFn)();
typedef int (*AudioPlay_GetDevsFn)(CDSAudioPlay*, wchar_t (*)[kSonarelNameChars]);
typedef int (*AudioPlay_StartFn)(CDSAudioPlay*, HWND, int, int, int, int, AudioBlockCallback, void*);
typedef void (*AudioPlay_CloseFn)(CDSAudioPlay**);
typedef int (*AudioPlay_StartDeviceFn)(CDSAudioPlay*, HWND, int, int, int, int, AudioBlockCallback, void*);
typedef void (*DoDSoundFn)(HWND, AudioBlockCallback, AudioBlockCallback);
