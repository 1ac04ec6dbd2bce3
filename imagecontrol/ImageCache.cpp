#include "imagecontrol/ImageCache.h"

#include <functional>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Delays shorter than this are shown this long, as browsers do.
const LONG kShortestFrameMs = 15;

LONG FrameMs(UINT delay)
{
    LONGLONG ms = static_cast<LONGLONG>(delay) * 10;
    if (ms < kShortestFrameMs) return kShortestFrameMs;
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<LONG>(ms);
}

void Advance(AnimationState& state, UINT frameCount, const std::function<UINT(UINT)>& delayOf, DWORD now)
{
    if (frameCount < 2) return;
    if (state.tick == 0) {
        state.frame = 0;
        state.tick = now;
        return;
    }
    if (state.frame >= frameCount) state.frame = 0;
    // Signed, so a tick from before a GetTickCount wrap still counts forward.
    LONGLONG elapsed = static_cast<LONG>(now - state.tick);
    if (elapsed <= 0) return;
    // Whole cycles change nothing: skip them, so a long pause costs no long walk.
    LONGLONG cycle = 0;
    for (UINT i = 0; i < frameCount; ++i) cycle += FrameMs(delayOf(i));
    if (elapsed > cycle) elapsed = (elapsed - 1) % cycle + 1;
    UINT frame = state.frame;
    for (;;) {
        elapsed -= FrameMs(delayOf(frame));
        if (elapsed <= 0) break;
        frame = (frame + 1) % frameCount;
    }
    if (frame != state.frame) {
        state.frame = frame;
        state.tick = now;
    }
}

}  // namespace

ImageRecord::~ImageRecord()
{
    if (m_image) GdipDisposeImage(m_image);
}

UINT ImageRecord::Delay(UINT frame) const
{
    if (m_delayItem.size() < sizeof(PropertyItem)) return 0;
    const auto* item = reinterpret_cast<const PropertyItem*>(m_delayItem.data());
    // The value must lie inside the buffer GDI+ filled; anything else counts as no delay.
    const BYTE* begin = m_delayItem.data();
    const BYTE* end = begin + m_delayItem.size();
    const BYTE* value = static_cast<const BYTE*>(item->value);
    if (!value || value < begin || value > end) return 0;
    size_t available = static_cast<size_t>(end - value);
    if (item->length < available) available = item->length;
    if (frame >= available / 4) return 0;
    UINT delay = 0;
    memcpy(&delay, value + static_cast<size_t>(frame) * 4, 4);
    return delay;
}

UINT ImageRecord::Width() const
{
    UINT width = 0;
    if (m_image) GdipGetImageWidth(m_image, &width);
    return width;
}

UINT ImageRecord::Height() const
{
    UINT height = 0;
    if (m_image) GdipGetImageHeight(m_image, &height);
    return height;
}

std::unique_ptr<ImageRecord> ImageRecord::LoadFromFile(const std::wstring& path)
{
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(path.c_str(), &image) != Ok || !image) return nullptr;
    std::unique_ptr<ImageRecord> record(new ImageRecord());
    record->m_image = image;

    UINT dimensions = 0;
    if (GdipImageGetFrameDimensionsCount(image, &dimensions) == Ok && dimensions > 0) {
        std::vector<GUID> ids(dimensions);
        UINT frames = 0;
        if (GdipImageGetFrameDimensionsList(image, ids.data(), dimensions) == Ok &&
            GdipImageGetFrameCount(image, &ids[0], &frames) == Ok)
            record->m_frameCount = frames;
    }
    if (record->m_frameCount > 1) {
        UINT size = 0;
        if (GdipGetPropertyItemSize(image, PropertyTagFrameDelay, &size) == Ok && size >= sizeof(PropertyItem)) {
            std::vector<BYTE> item(size);
            if (GdipGetPropertyItem(image, PropertyTagFrameDelay, size, reinterpret_cast<PropertyItem*>(item.data())) == Ok)
                record->m_delayItem.swap(item);
        }
    }
    return record;
}

ImageCache::ImageCache()
{
    GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    ULONG_PTR token = 0;
    if (GdiplusStartup(&token, &input, nullptr) == Ok) m_token = token;
}

ImageCache::~ImageCache()
{
    m_records.clear();
    if (m_token) {
        GdiplusShutdown(m_token);
        OutputDebugStringW(L"Tessellon: GdiplusShutdown\n");
    }
}

const ImageRecord* ImageCache::Get(const std::wstring& path)
{
    auto found = m_records.find(path);
    if (found != m_records.end()) return found->second.get();
    if (!m_token) return nullptr;
    std::unique_ptr<ImageRecord> record = ImageRecord::LoadFromFile(path);
    if (!record) return nullptr;
    const ImageRecord* result = record.get();
    m_records.emplace(path, std::move(record));
    return result;
}

void AdvanceAnimation(AnimationState& state, const ImageRecord& record, DWORD now)
{
    if (!record.Animated()) return;
    Advance(state, record.FrameCount(), [&record](UINT frame) { return record.Delay(frame); }, now);
}

void AdvanceAnimation(AnimationState& state, const std::vector<UINT>& delays, DWORD now)
{
    Advance(state, static_cast<UINT>(delays.size()), [&delays](UINT frame) { return delays[frame]; }, now);
}
