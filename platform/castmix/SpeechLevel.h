// Speech levels 0..9 from 16-bit PCM blocks, and the meter the level queries read.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// Volumes are 0..200 (percent times 2); 200 leaves the sound as it is.
const int kFullVolume = 200;

// The level of one block: its peak after the volume, in ten even steps of full scale (0 silence,
// 9 the top tenth). An empty block is 0.
int SpeechLevelOf(const int16_t* samples, size_t count, int volume);

// Scales the samples in place by volume / 200, saturating at full scale.
void ApplyVolume(int16_t* samples, size_t count, int volume);

// Keeps the levels of the last few blocks; the reading is their highest, so a meter polled every few
// hundred milliseconds does not miss a syllable between two polls. Written on the sound thread, read
// on the caller's.
class SpeechMeter {
public:
    static const int kWindowBlocks = 5; // 100 ms of 20 ms blocks

    void Push(int level);
    int Level() const;
    void Clear();

private:
    volatile LONG m_levels[kWindowBlocks] = {};
    volatile LONG m_next = 0;
};
