// The pictures one image control has loaded, decoded once per path, and the timing of animated GIFs.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

// One loaded picture.
class ImageRecord {
public:
    ImageRecord() = default;
    ~ImageRecord();
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;

    Gdiplus::GpImage* Image() const { return m_image; }
    UINT FrameCount() const { return m_frameCount; }
    // True for a picture of more than one frame that carries frame delays.
    bool Animated() const { return m_frameCount > 1 && !m_delayItem.empty(); }
    // The frame's delay in hundredths of a second; 0 for a frame the delay item does not cover.
    UINT Delay(UINT frame) const;
    UINT Width() const;
    UINT Height() const;

    // Null when GDI+ cannot read the file as a picture.
    static std::unique_ptr<ImageRecord> LoadFromFile(const std::wstring& path);

private:
    Gdiplus::GpImage* m_image = nullptr;
    // The whole PropertyTagFrameDelay item as GDI+ gives it (header, then one u32 per frame).
    std::vector<BYTE> m_delayItem;
    UINT m_frameCount = 0;
};

class ImageCache {
public:
    ImageCache();
    // Frees every record and shuts GDI+ down with this cache's token.
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    bool Started() const { return m_token != 0; }
    // The record for the path (compared exactly), loaded on first use; null when it cannot be loaded
    // (nothing is cached then).
    const ImageRecord* Get(const std::wstring& path);
    size_t Count() const { return m_records.size(); }

private:
    std::map<std::wstring, std::unique_ptr<ImageRecord>> m_records;
    ULONG_PTR m_token = 0;
};

// Where an animation stands: the frame shown and when it was changed (GetTickCount; 0 = not started).
struct AnimationState {
    UINT frame = 0;
    DWORD tick = 0;
};

// Moves the animation on to the frame due at now, walking the frames' delays from the current one
// (delays in hundredths of a second, at least 15 ms each).
void AdvanceAnimation(AnimationState& state, const ImageRecord& record, DWORD now);
// The same over a plain list of delays, one per frame.
void AdvanceAnimation(AnimationState& state, const std::vector<UINT>& delays, DWORD now);
