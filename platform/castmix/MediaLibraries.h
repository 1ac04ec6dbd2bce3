// The two media libraries the engine drives, loaded from the engine's own folder and bound by name.
#pragma once
#include "media/audio/Sonarel.h"
#include "media/video/Vidlatch.h"

#include <windows.h>

struct VidlatchApi {
    decltype(&VideoCapture_Create) captureCreate = nullptr;
    decltype(&VideoCapture_GetDevs) captureGetDevs = nullptr;
    decltype(&VideoCapture_Start) captureStart = nullptr;
    decltype(&VideoCapture_SetState) captureSetState = nullptr;
    decltype(&VideoCapture_Preview) capturePreview = nullptr;
    decltype(&VideoCapture_ShowPropertyPage) captureShowPropertyPage = nullptr;
    decltype(&VideoCapture_ChangeScreen) captureChangeScreen = nullptr;
    decltype(&VideoCapture_Destroy) captureDestroy = nullptr;
    decltype(&VideoRender_Create) renderCreate = nullptr;
    decltype(&VideoRender_Start) renderStart = nullptr;
    decltype(&VideoRender_Draw) renderDraw = nullptr;
    decltype(&VideoRender_ChangeScreen) renderChangeScreen = nullptr;
    decltype(&VideoRender_Destroy) renderDestroy = nullptr;
    // Recording is optional: a library without it still serves capture and rendering.
    decltype(&Recorder_Create) recorderCreate = nullptr;
    decltype(&Recorder_Start) recorderStart = nullptr;
    decltype(&Recorder_PutContent) recorderPutContent = nullptr;
    decltype(&Recorder_Destroy) recorderDestroy = nullptr;

    bool HasCapture() const;
    bool HasRecorder() const;
};

struct SonarelApi {
    Sonarel_CreateFn captureCreate = nullptr;
    Sonarel_GetDevsFn captureGetDevs = nullptr;
    Sonarel_StartFn captureStart = nullptr;
    Sonarel_CloseFn captureClose = nullptr;
    AudioPlay_CreateFn playCreate = nullptr;
    AudioPlay_GetDevsFn playGetDevs = nullptr;
    AudioPlay_StartFn playStart = nullptr;
    AudioPlay_CloseFn playClose = nullptr;
    // Optional: without it the speaker plays on the first device.
    AudioPlay_StartDeviceFn playStartDevice = nullptr;

    bool Complete() const;
};

struct MediaApi {
    VidlatchApi video;
    SonarelApi audio;
};

// Loads both libraries from folder (ending with a backslash) once per process and keeps them loaded:
// filters of a graph and sound threads may still run their code after an engine is closed. Null when
// either library or one of its required functions is missing; the reason is logged.
const MediaApi* LoadMediaLibraries(const wchar_t* folder);

// One attempt without the process-wide cache: true when both libraries loaded from folder and bound.
// A failed attempt unloads what it loaded.
bool LoadMediaLibrariesFrom(const wchar_t* folder, MediaApi& api);

// The folder of the module that holds this code, ending with a backslash.
bool ModuleFolderOf(HMODULE module, wchar_t* folder, size_t capacity);
