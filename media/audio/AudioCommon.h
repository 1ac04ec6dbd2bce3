// Pieces shared by capture and playback: COM and handle owners, the ring lock, device lists, formats.
#pragma once
#include "media/audio/Sonarel.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <dsound.h>
#include <initializer_list>
#include <string>
#include <vector>

// Owner of one COM interface pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    T** Receive() { Reset(); return &m_ptr; }
    void Reset() { if (m_ptr) m_ptr->Release(); m_ptr = nullptr; }
    // Hands the pointer over without releasing it.
    T* Detach() { T* ptr = m_ptr; m_ptr = nullptr; return ptr; }
private:
    T* m_ptr = nullptr;
};

// For the library's unload: releases the objects, in the order given, on a thread of their own once the
// loader lock is free. A release from DllMain can deadlock (it waits for DirectSound's threads, which wait
// for the loader lock), and leaving the objects alive leaves those threads running to the process's end.
// Only code of the pinned dsound.dll and of kernel32 runs there, since this library is gone by then.
// Null entries are skipped.
void ReleaseAfterUnload(std::initializer_list<IUnknown*> objects);

// Owner of one kernel handle (events, threads).
class ScopedHandle {
public:
    ScopedHandle() = default;
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void Reset(HANDLE handle = nullptr)
    {
        if (m_handle) CloseHandle(m_handle);
        m_handle = handle;
    }
    // Forgets the handle without closing it: a device may still signal an event it was given.
    void Abandon() { m_handle = nullptr; }
private:
    HANDLE m_handle = nullptr;
};

// Scope lock on a critical section.
class CAutoMutex {
public:
    explicit CAutoMutex(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    ~CAutoMutex() { LeaveCriticalSection(&m_lock); }
    CAutoMutex(const CAutoMutex&) = delete;
    CAutoMutex& operator=(const CAutoMutex&) = delete;
private:
    CRITICAL_SECTION& m_lock;
};

// One entry of a device list; entries without an identifier (the primary devices) are never listed.
struct DSDeviceInfo {
    int position = 0;
    GUID id = {};
    std::wstring description;
};

enum class DeviceKind { Capture, Playback };

// Enumerates the devices afresh.
std::vector<DSDeviceInfo> EnumerateDevices(DeviceKind kind);

// Copies descriptions into the host's rows: at most kSonarelMaxDeviceRows rows, each cut at 127
// characters and NUL-terminated. Answers the number of rows written (without rows, the number it would
// write).
int CopyDeviceNames(const std::vector<DSDeviceInfo>& devices, wchar_t (*names)[kSonarelNameChars]);

// PCM format of the given shape; false when the shape is not one DirectSound can carry.
bool MakePcmFormat(int samplesPerSec, int bitsPerSample, int channels, WAVEFORMATEX& format);

// Bytes in 20 ms of the format, computed in unsigned arithmetic and rounded down to whole sample frames
// (11025 Hz mono 16-bit gives 440, not 441).
DWORD TwentyMsBytes(DWORD bits, DWORD channels, DWORD samplesPerSec, DWORD blockAlign);

bool IsNullGuid(const GUID& id);

// Copies a region pair of a locked DirectSound buffer to or from one contiguous block.
void CopyFromRegions(unsigned char* to, const void* first, DWORD firstBytes, const void* second, DWORD secondBytes);
void CopyToRegions(void* first, DWORD firstBytes, void* second, DWORD secondBytes, const unsigned char* from);

// Number of buffer positions with a notification, for capture and playback alike.
const int kNotifyCount = 30;
