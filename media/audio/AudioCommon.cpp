#include "media/audio/AudioCommon.h"

#include "core/TextUtil.h"
#include "media/common/MediaLog.h"

#include <cstring>
#include <new>

CRA_DataBlock::CRA_DataBlock(int bytes)
{
    if (bytes > 0) {
        data = new (std::nothrow) unsigned char[bytes]();
        length = data ? bytes : 0;
    }
}

CRA_DataBlock::~CRA_DataBlock() { delete[] data; }

namespace {

BOOL CALLBACK CollectDevice(LPGUID id, LPCWSTR description, LPCWSTR, LPVOID context)
{
    auto* devices = static_cast<std::vector<DSDeviceInfo>*>(context);
    if (!id) return TRUE; // the primary-device entry
    DSDeviceInfo info;
    info.position = static_cast<int>(devices->size());
    info.id = *id;
    info.description = description ? description : L"";
    devices->push_back(info);
    return TRUE;
}

} // namespace

std::vector<DSDeviceInfo> EnumerateDevices(DeviceKind kind)
{
    std::vector<DSDeviceInfo> devices;
    HRESULT hr = kind == DeviceKind::Capture ? DirectSoundCaptureEnumerateW(CollectDevice, &devices)
                                             : DirectSoundEnumerateW(CollectDevice, &devices);
    if (FAILED(hr)) MEDIA_LOG("Err: enumerate %s devices hr = %lx\r\n", kind == DeviceKind::Capture ? "capture" : "playback", hr);
    return devices;
}

int CopyDeviceNames(const std::vector<DSDeviceInfo>& devices, wchar_t (*names)[kSonarelNameChars])
{
    if (!names) return devices.size() < kSonarelMaxDeviceRows ? static_cast<int>(devices.size()) : kSonarelMaxDeviceRows;
    int rows = 0;
    for (const DSDeviceInfo& device : devices) {
        if (rows == kSonarelMaxDeviceRows) {
            MEDIA_LOG("Warn: %d devices, only %d listed\r\n", static_cast<int>(devices.size()), rows);
            break;
        }
        size_t chars = device.description.size();
        if (chars > kSonarelNameChars - 1) chars = kSonarelNameChars - 1;
        wmemcpy(names[rows], device.description.c_str(), chars);
        names[rows][chars] = L'\0';
        ++rows;
    }
    return rows;
}

bool MakePcmFormat(int samplesPerSec, int bitsPerSample, int channels, WAVEFORMATEX& format)
{
    // Bounds keep the 20 ms arithmetic far from overflow and the buffers from being absurd.
    if (samplesPerSec < 1000 || samplesPerSec > 384000) return false;
    if (bitsPerSample < 8 || bitsPerSample > 32 || bitsPerSample % 8 != 0) return false;
    if (channels < 1 || channels > 8) return false;
    format = WAVEFORMATEX();
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(samplesPerSec);
    format.wBitsPerSample = static_cast<WORD>(bitsPerSample);
    format.nBlockAlign = static_cast<WORD>(channels * bitsPerSample / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    format.cbSize = 0;
    return true;
}

DWORD TwentyMsBytes(DWORD bits, DWORD channels, DWORD samplesPerSec, DWORD blockAlign)
{
    DWORD bytes = bits * channels * samplesPerSec * 20 / 8000;
    if (blockAlign > 1) bytes -= bytes % blockAlign;
    return bytes;
}

bool IsNullGuid(const GUID& id)
{
    static const GUID zero = {};
    return memcmp(&id, &zero, sizeof zero) == 0;
}

void CopyFromRegions(unsigned char* to, const void* first, DWORD firstBytes, const void* second, DWORD secondBytes)
{
    if (first && firstBytes) memcpy(to, first, firstBytes);
    if (second && secondBytes) memcpy(to + firstBytes, second, secondBytes);
}

void CopyToRegions(void* first, DWORD firstBytes, void* second, DWORD secondBytes, const unsigned char* from)
{
    if (first && firstBytes) memcpy(first, from, firstBytes);
    if (second && secondBytes) memcpy(second, from + firstBytes, secondBytes);
}

void ReleaseAfterUnload(std::initializer_list<IUnknown*> objects)
{
    // The releases run dsound.dll's code after this library's import of it is gone.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, L"dsound.dll", &pinned);
    // The thread starts at ExitThread; the releases go in as APCs queued before it runs, which a thread
    // runs first, in order. IUnknown::Release and an APC routine take one pointer-size argument in the
    // same calling convention, as do ExitThread and a thread routine.
    HANDLE thread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(&ExitThread)),
                                 nullptr, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        MEDIA_LOG("Err: no thread to release the devices = %lu, left open\r\n", GetLastError());
        return;
    }
    for (IUnknown* object : objects) {
        if (!object) continue;
        void* release = (*reinterpret_cast<void***>(object))[2]; // IUnknown's third slot
        if (!QueueUserAPC(reinterpret_cast<PAPCFUNC>(release), thread, reinterpret_cast<ULONG_PTR>(object)))
            MEDIA_LOG("Err: device release not queued = %lu, left open\r\n", GetLastError());
    }
    ResumeThread(thread);
    CloseHandle(thread);
}
