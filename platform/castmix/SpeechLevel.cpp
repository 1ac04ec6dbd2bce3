#include "platform/castmix/SpeechLevel.h"

#include <cstdlib>

int SpeechLevelOf(const int16_t* samples, size_t count, int volume)
{
    if (!samples || count == 0 || volume <= 0)
        return 0;
    int peak = 0;
    for (size_t i = 0; i < count; ++i) {
        int value = std::abs(static_cast<int>(samples[i]));
        if (value > peak)
            peak = value;
    }
    long long scaled = static_cast<long long>(peak) * volume / kFullVolume;
    int level = static_cast<int>(scaled * 10 / 32768);
    return level > 9 ? 9 : level;
}

void ApplyVolume(int16_t* samples, size_t count, int volume)
{
    if (!samples || volume == kFullVolume)
        return;
    for (size_t i = 0; i < count; ++i) {
        long long value = static_cast<long long>(samples[i]) * volume / kFullVolume;
        samples[i] = static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
    }
}

void SpeechMeter::Push(int level)
{
    ULONG slot = static_cast<ULONG>(InterlockedIncrement(&m_next)) % kWindowBlocks;
    InterlockedExchange(&m_levels[slot], level);
}

int SpeechMeter::Level() const
{
    LONG highest = 0;
    for (LONG level : m_levels) {
        if (level > highest)
            highest = level;
    }
    return static_cast<int>(highest);
}

void SpeechMeter::Clear()
{
    for (auto& level : m_levels)
        InterlockedExchange(&level, 0);
}
