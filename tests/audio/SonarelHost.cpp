#include "tests/audio/SonarelHost.h"

#include "core/Folders.h"
#include "tests/support/TestFolders.h"

#include <mmsystem.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>

namespace {

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn& fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return fn != nullptr;
}

} // namespace

bool SonarelHost::Load()
{
    // The library's log goes into this run's private data folder.
    SetEnvironmentVariableW(L"LUMENVALE_DATA_FOLDER", GetAppDataFolder());
    m_module = LoadLibraryW(TestProgramFolder() + L"Sonarel.dll");
    if (!m_module) return false;
    return Bind(m_module, "Sonarel_Create", Sonarel_Create) && Bind(m_module, "Sonarel_GetDevs", Sonarel_GetDevs) &&
           Bind(m_module, "Sonarel_Start", Sonarel_Start) && Bind(m_module, "Sonarel_Close", Sonarel_Close) &&
           Bind(m_module, "AudioPlay_Create", AudioPlay_Create) &&
           Bind(m_module, "AudioPlay_GetDevs", AudioPlay_GetDevs) &&
           Bind(m_module, "AudioPlay_Start", AudioPlay_Start) && Bind(m_module, "AudioPlay_Close", AudioPlay_Close) &&
           Bind(m_module, "DoDSound", DoDSound);
}

bool SonarelHost::Unload()
{
    if (!m_module) return true;
    FreeLibrary(m_module);
    m_module = nullptr;
    return GetModuleHandleW(L"Sonarel.dll") == nullptr;
}

bool SoundExpected()
{
    wchar_t value[8];
    if (GetEnvironmentVariableW(L"LV_SONAREL_NO_DEVICE", value, 8) > 0) return false;
    return GetEnvironmentVariableW(L"PULSE_SERVER", nullptr, 0) > 0;
}

std::string ReadSonarelLog() { return ReadFileBytes(GetAppDataFolder() + L"log\\Sonarel.log"); }

BlockRecorder::BlockRecorder() { m_never = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

BlockRecorder::~BlockRecorder()
{
    if (m_thread) CloseHandle(m_thread);
    CloseHandle(m_never);
}

long BlockRecorder::Callback(void* user, CRA_DataBlock** block)
{
    auto* self = static_cast<BlockRecorder*>(user);
    if (!self || !block || !*block) return 0;
    CRA_DataBlock* b = *block;
    SeenBlock seen{b->sequence, b->time, b->reserved, b->filled, b->length, GetCurrentThreadId(), timeGetTime(),
                   user, 0, {}};
    const short* samples = reinterpret_cast<const short*>(b->data);
    int count = b->length / 2;
    for (int i = 0; i < count; ++i) seen.maxAbsSample = std::max(seen.maxAbsSample, std::abs(static_cast<int>(samples[i])));
    seen.firstSamples.assign(samples, samples + std::min(count, 8));
    size_t index;
    {
        std::lock_guard<std::mutex> lock(self->m_lock);
        if (!self->m_thread)
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self->m_thread,
                            SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0);
        index = self->m_blocks.size();
        self->m_blocks.push_back(seen);
    }
    self->m_arrived.notify_all();
    if (self->m_fillSample) {
        short* out = reinterpret_cast<short*>(b->data);
        for (int i = 0; i < count; ++i) out[i] = self->m_fillSample;
    }
    if (self->m_sleepMs) Sleep(self->m_sleepMs);
    if (index >= self->m_hangFrom) WaitForSingleObject(self->m_never, 20000);
    return 1;
}

bool BlockRecorder::WaitForBlocks(size_t count, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_blocks.size() >= count; });
}

std::vector<SeenBlock> BlockRecorder::Blocks() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_blocks;
}

size_t BlockRecorder::Count() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_blocks.size();
}

bool ThreadEnded(HANDLE thread, DWORD waitMs) { return thread && WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0; }

namespace {

size_t ThreadCount()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    size_t count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

} // namespace

size_t SettledThreadCount()
{
    // Stable over 500 ms, or the lowest seen in 5 s.
    size_t lowest = ThreadCount();
    DWORD stableSince = GetTickCount();
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000 && GetTickCount() - stableSince < 500;) {
        Sleep(50);
        const size_t now = ThreadCount();
        if (now < lowest) {
            lowest = now;
            stableSince = GetTickCount();
        }
    }
    return lowest;
}

bool ThreadCountFallsTo(size_t count, DWORD waitMs)
{
    // Polled: no event tells when another library's thread has ended.
    for (DWORD start = GetTickCount();; Sleep(50)) {
        if (ThreadCount() <= count) return true;
        if (GetTickCount() - start > waitMs) return false;
    }
}
