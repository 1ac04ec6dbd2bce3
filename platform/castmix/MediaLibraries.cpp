#include "platform/castmix/MediaLibraries.h"

#include "platform/castmix/EngineLog.h"

#include <cwchar>

namespace {

template <typename T>
void Bind(HMODULE module, T& function, const char* name)
{
    function = reinterpret_cast<T>(GetProcAddress(module, name));
}

HMODULE LoadFrom(const wchar_t* folder, const wchar_t* fileName)
{
    wchar_t path[MAX_PATH + 32] = {};
    if (_snwprintf(path, MAX_PATH, L"%s%s", folder, fileName) < 0)
        return nullptr;
    // The library's own dependencies come from its folder too.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module)
        ENGINE_LOG("Err: load %ls failed, error = %lu\r\n", path, GetLastError());
    return module;
}

bool BindVidlatch(HMODULE module, VidlatchApi& api)
{
    Bind(module, api.captureCreate, "VideoCapture_Create");
    Bind(module, api.captureGetDevs, "VideoCapture_GetDevs");
    Bind(module, api.captureStart, "VideoCapture_Start");
    Bind(module, api.captureSetState, "VideoCapture_SetState");
    Bind(module, api.capturePreview, "VideoCapture_Preview");
    Bind(module, api.captureShowPropertyPage, "VideoCapture_ShowPropertyPage");
    Bind(module, api.captureChangeScreen, "VideoCapture_ChangeScreen");
    Bind(module, api.captureDestroy, "VideoCapture_Destroy");
    Bind(module, api.renderCreate, "VideoRender_Create");
    Bind(module, api.renderStart, "VideoRender_Start");
    Bind(module, api.renderDraw, "VideoRender_Draw");
    Bind(module, api.renderChangeScreen, "VideoRender_ChangeScreen");
    Bind(module, api.renderDestroy, "VideoRender_Destroy");
    Bind(module, api.recorderCreate, "Recorder_Create");
    Bind(module, api.recorderStart, "Recorder_Start");
    Bind(module, api.recorderPutContent, "Recorder_PutContent");
    Bind(module, api.recorderDestroy, "Recorder_Destroy");
    if (!api.HasCapture()) {
        ENGINE_LOG("Err: Vidlatch lacks capture or render functions\r\n");
        return false;
    }
    if (!api.HasRecorder())
        ENGINE_LOG("Warn: Vidlatch has no recorder: recording is not available\r\n");
    return true;
}

bool BindSonarel(HMODULE module, SonarelApi& api)
{
    Bind(module, api.captureCreate, "Sonarel_Create");
    Bind(module, api.captureGetDevs, "Sonarel_GetDevs");
    Bind(module, api.captureStart, "Sonarel_Start");
    Bind(module, api.captureClose, "Sonarel_Close");
    Bind(module, api.playCreate, "AudioPlay_Create");
    Bind(module, api.playGetDevs, "AudioPlay_GetDevs");
    Bind(module, api.playStart, "AudioPlay_Start");
    Bind(module, api.playClose, "AudioPlay_Close");
    Bind(module, api.playStartDevice, "AudioPlay_StartDevice");
    if (!api.Complete()) {
        ENGINE_LOG("Err: Sonarel lacks capture or playback functions\r\n");
        return false;
    }
    return true;
}

} // namespace

bool VidlatchApi::HasCapture() const
{
    return captureCreate && captureGetDevs && captureStart && captureSetState && capturePreview &&
           captureShowPropertyPage && captureChangeScreen && captureDestroy && renderCreate && renderStart &&
           renderDraw && renderChangeScreen && renderDestroy;
}

bool VidlatchApi::HasRecorder() const
{
    return recorderCreate && recorderStart && recorderPutContent && recorderDestroy;
}

bool SonarelApi::Complete() const
{
    return captureCreate && captureGetDevs && captureStart && captureClose && playCreate && playGetDevs &&
           playStart && playClose;
}

bool LoadMediaLibrariesFrom(const wchar_t* folder, MediaApi& api)
{
    HMODULE video = LoadFrom(folder, L"Vidlatch.dll");
    HMODULE audio = LoadFrom(folder, L"Sonarel.dll");
    MediaApi loaded;
    if (video && audio && BindVidlatch(video, loaded.video) && BindSonarel(audio, loaded.audio)) {
        api = loaded;
        return true;
    }
    // Nothing of a half-bound pair is used.
    if (video) FreeLibrary(video);
    if (audio) FreeLibrary(audio);
    return false;
}

const MediaApi* LoadMediaLibraries(const wchar_t* folder)
{
    // Engines are created on the client's UI thread; a second thread racing the first load only loads
    // the same modules again, which the loader counts.
    static MediaApi api;
    static volatile LONG loaded = 0;
    if (loaded)
        return &api;
    MediaApi attempt;
    if (!LoadMediaLibrariesFrom(folder, attempt))
        return nullptr; // a later engine tries again
    api = attempt;
    InterlockedExchange(&loaded, 1);
    return &api;
}

bool ModuleFolderOf(HMODULE module, wchar_t* folder, size_t capacity)
{
    DWORD length = GetModuleFileNameW(module, folder, static_cast<DWORD>(capacity));
    if (length == 0 || length >= capacity)
        return false;
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (!slash)
        return false;
    slash[1] = 0;
    return true;
}
