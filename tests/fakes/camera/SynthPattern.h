// The picture and sound the synthetic devices produce, shared with the tests that check them.
#pragma once
#include <windows.h>
#include <cstdint>

// Registered names and identities of the synthetic devices.
#define SYNTH_CAMERA_NAME L"Lumenvale Synthetic Camera"
#define SYNTH_CAMERA2_NAME L"Lumenvale Synthetic Camera Two"
#define SYNTH_MIC_NAME L"Lumenvale Synthetic Microphone"

// {5B7C0D10-3A51-4C3E-9F6E-2B8E61A0C001} and its siblings.
const CLSID CLSID_SynthCamera = {0x5b7c0d10, 0x3a51, 0x4c3e, {0x9f, 0x6e, 0x2b, 0x8e, 0x61, 0xa0, 0xc0, 0x01}};
const CLSID CLSID_SynthCamera2 = {0x5b7c0d10, 0x3a51, 0x4c3e, {0x9f, 0x6e, 0x2b, 0x8e, 0x61, 0xa0, 0xc0, 0x02}};
const CLSID CLSID_SynthMic = {0x5b7c0d10, 0x3a51, 0x4c3e, {0x9f, 0x6e, 0x2b, 0x8e, 0x61, 0xa0, 0xc0, 0x03}};

// Sizes the first camera offers, the first being its current format; the second camera offers only
// 176 x 144 so a test can tell which device started.
const int kSynthCameraSizes[][2] = {{320, 240}, {160, 120}};
const int kSynthCamera2Size[2] = {176, 144};
const int kSynthFramesPerSecond = 30;
// The first camera also lists this size with a format block too short for a video-info header.
const int kSynthTruncatedSize[2] = {640, 480};

// The only sound format the microphone takes.
const WORD kSynthMicChannels = 1;
const WORD kSynthMicBits = 16;
const DWORD kSynthMicRate = 16000;

// Pixel (x, row) of a frame as it lies in memory, BGRA; the red byte tells the camera apart.
inline uint32_t SynthPixel(int x, int row, int camera)
{
    uint32_t blue = static_cast<uint32_t>(x) & 0xFF;
    uint32_t green = static_cast<uint32_t>(row) & 0xFF;
    uint32_t red = camera == 0 ? 0x40u : 0xC0u;
    return blue | (green << 8) | (red << 16) | 0xFF000000u;
}
