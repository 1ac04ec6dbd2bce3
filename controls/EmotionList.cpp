#include "controls/EmotionList.h"

#include "controls/GdiplusFlat.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "platform/ui/UIRender.h"

#include <shlwapi.h>

using namespace Gdiplus;

// One GIF of the grid with the stream it was read from (GDI+ reads frames from it lazily).
struct EmotionImage {
    CDuiString path;
    IStream* stream = nullptr;
    GpImage* image = nullptr;
    int nextFrame = 0;
    UINT frameCount = 0;
    std::vector<UINT> delays; // hundredths of a second per frame

    EmotionImage() = default;
    EmotionImage(const EmotionImage&) = delete;
    EmotionImage& operator=(const EmotionImage&) = delete;
    ~EmotionImage()
    {
        if (image) DllExports::GdipDisposeImage(image);
        if (stream) stream->Release();
    }
    void SelectFrame(UINT index)
    {
        if (image && frameCount > 1) DllExports::GdipImageSelectActiveFrame(image, &FrameDimensionTime, index);
    }
};

namespace {

bool IsMouseEvent(int type) { return type > UIEVENT__MOUSEBEGIN && type < UIEVENT__MOUSEEND; }

// The frame delays of property 0x5100, one u32 per frame.
std::vector<UINT> ReadFrameDelays(GpImage* image)
{
    std::vector<UINT> delays;
    UINT size = 0;
    if (DllExports::GdipGetPropertyItemSize(image, PropertyTagFrameDelay, &size) != Ok || size < sizeof(PropertyItem))
        return delays;
    std::vector<BYTE> buffer(size);
    auto* item = reinterpret_cast<PropertyItem*>(buffer.data());
    if (DllExports::GdipGetPropertyItem(image, PropertyTagFrameDelay, size, item) != Ok || !item->value) return delays;
    size_t count = item->length / sizeof(UINT);
    // The value must lie inside the buffer GDI+ filled.
    const BYTE* value = static_cast<const BYTE*>(item->value);
    if (value < buffer.data() || value + count * sizeof(UINT) > buffer.data() + buffer.size()) return delays;
    delays.resize(count);
    memcpy(delays.data(), value, count * sizeof(UINT));
    return delays;
}

std::unique_ptr<EmotionImage> LoadEmotion(const CDuiString& path)
{
    std::unique_ptr<EmotionImage> emotion(new EmotionImage);
    emotion->path = path;
    if (FAILED(SHCreateStreamOnFileW(path, STGM_READ | STGM_SHARE_DENY_WRITE, &emotion->stream))) return nullptr;
    if (DllExports::GdipLoadImageFromStream(emotion->stream, &emotion->image) != Ok || !emotion->image) return nullptr;
    UINT count = 0;
    if (DllExports::GdipImageGetFrameCount(emotion->image, &FrameDimensionTime, &count) == Ok) emotion->frameCount = count;
    emotion->delays = ReadFrameDelays(emotion->image);
    return emotion;
}

} // namespace

// ---- Row ----

CImageElementUI::CImageElementUI(int row, int height, std::vector<EmotionImage*> images) : m_images(std::move(images))
{
    SetTag(static_cast<UINT_PTR>(row));
    SetFixedHeight(height);
}

LPVOID CImageElementUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ImageElement") == 0) return this;
    return CListElementUI::GetInterface(pstrName);
}

void CImageElementUI::DoEvent(TEventUI& event)
{
    if (!IsMouseEnabled() && IsMouseEvent(event.Type)) {
        if (m_pOwner) m_pOwner->DoEvent(event);
        else CListElementUI::DoEvent(event);
        return;
    }
    switch (event.Type) {
    case UIEVENT_MOUSEMOVE:
        return;
    case UIEVENT_MOUSELEAVE:
        m_uButtonState &= ~UISTATE_HOT;
        Invalidate();
        return;
    case UIEVENT_MOUSEENTER:
        if (IsEnabled()) {
            m_uButtonState |= UISTATE_HOT;
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_RBUTTONDOWN:
        if (IsEnabled()) {
            if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_ITEMCLICK);
            Select();
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
        if (m_pOwner) m_pOwner->DoEvent(event);
        return;
    default:
        CListElementUI::DoEvent(event);
    }
}

SIZE CImageElementUI::EstimateSize(SIZE)
{
    if (!m_pOwner) return SIZE{0, 0};
    return SIZE{m_cxyFixed.cx, m_cxyFixed.cy};
}

void CImageElementUI::DoPaint(HDC hDC, const RECT& rcPaint)
{
    if (!IntersectRect(&m_rcPaint, &rcPaint, &m_rcItem)) return;
    DrawItemText(hDC, m_rcItem);
}

void CImageElementUI::DrawItemText(HDC hDC, const RECT& rcItem)
{
    if (!m_pOwner) return;
    TListInfoUI* info = m_pOwner->GetListInfo();
    GdipGraphicsOwner g;
    if (DllExports::GdipCreateFromHDC(hDC, &g.graphics) != Ok) return;
    for (size_t i = 0; i < m_images.size() && static_cast<int>(i) < info->nColumns; ++i) {
        RECT cell{info->rcColumn[i].left, rcItem.top, info->rcColumn[i].right, rcItem.bottom};
        EmotionImage* emotion = m_images[i];
        if (emotion && emotion->image) {
            UINT iw = 0, ih = 0;
            DllExports::GdipGetImageWidth(emotion->image, &iw);
            DllExports::GdipGetImageHeight(emotion->image, &ih);
            int cw = cell.right - cell.left, ch = cell.bottom - cell.top;
            int x = static_cast<int>(iw) < cw ? cell.left + (cw - static_cast<int>(iw)) / 2 : cell.left;
            int y = static_cast<int>(ih) < ch ? cell.top + (ch - static_cast<int>(ih)) / 2 : cell.top;
            DllExports::GdipDrawImagePointRectI(g.graphics, emotion->image, x, y, 0, 0, static_cast<INT>(iw),
                                                static_cast<INT>(ih), UnitPixel);
        }
        CRenderEngine::DrawColor(hDC, RECT{cell.left, cell.bottom - 1, cell.right, cell.bottom}, m_dwLineColor);
        CRenderEngine::DrawColor(hDC, RECT{cell.right - 1, cell.top, cell.right, cell.bottom}, m_dwLineColor);
    }
}

// ---- Grid ----

CEmotionListUI::CEmotionListUI()
{
    SetItemShowHtml(true);
    // The header only carries the column rectangles: with no height of its own the rows start at
    // the grid's top, where the cell hit test expects them.
    GetHeader()->SetMaxHeight(0);
}

CEmotionListUI::~CEmotionListUI()
{
    // Rows refer to the images: they go first, now. A delayed clean-up would hand them to a paint
    // manager that may be mid-destruction itself.
    GetList()->SetDelayedDestroy(false);
    RemoveAll();
    ReleaseImages();
}

LPVOID CEmotionListUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"EmotionList") == 0) return this;
    return CListUI::GetInterface(pstrName);
}

void CEmotionListUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"column") == 0) {
        m_nColumns = _wtoi(pstrValue);
        for (int i = 0; i < m_nColumns; ++i) GetHeader()->Add(new CListHeaderItemUI);
    } else if (wcscmp(pstrName, L"imagefolder") == 0) {
        // The program folder already ends with a backslash.
        m_sImageFolder = GetModuleFolder() + L"skin\\" + pstrValue;
        m_sSearchPattern = m_sImageFolder + L"\\*.gif";
    } else {
        CListUI::SetAttribute(pstrName, pstrValue);
    }
}

void CEmotionListUI::Init()
{
    CListUI::Init();
    LoadImages();
}

void CEmotionListUI::ReleaseImages()
{
    m_pAnimated = nullptr;
    m_images.clear();
}

void CEmotionListUI::LoadImages()
{
    if (!m_nameMap) m_nameMap.reset(new std::map<std::wstring, std::wstring>);
    RemoveAll();
    ReleaseImages();
    m_nRows = 0;
    if (m_nColumns < 1) {
        LOG_ERROR(L"Load Emotion Failed. The column count %d is not usable", m_nColumns);
        return;
    }
    if (!CRenderEngine::StartGdiplus()) return;

    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(m_sSearchPattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        LOG_ERROR(L"Load Emotion Failed. The Path is wrong. Path = %s", m_sSearchPattern.GetString());
        return;
    }
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        CDuiString path = m_sImageFolder + L"\\" + found.cFileName;
        std::unique_ptr<EmotionImage> emotion = LoadEmotion(path);
        if (emotion) m_images.push_back(std::move(emotion));
        std::wstring name(found.cFileName);
        std::wstring key = L"\\" + name.substr(0, name.find(L'.'));
        m_nameMap->emplace(key, path.GetString()); // the first file of a name stays
    } while (FindNextFileW(find, &found));
    FindClose(find);

    int count = static_cast<int>(m_images.size());
    m_nRows = (count + m_nColumns - 1) / m_nColumns;
    for (int r = 0; r < m_nRows; ++r) {
        std::vector<EmotionImage*> cells;
        for (int c = 0; c < m_nColumns && r * m_nColumns + c < count; ++c)
            cells.push_back(m_images[static_cast<size_t>(r * m_nColumns + c)].get());
        Add(new CImageElementUI(r, m_nRowHeight, std::move(cells)));
    }
}

void CEmotionListUI::AnimateImageAt(int elapsed, POINT pt)
{
    if (m_nColumns < 1) return;
    int cellWidth = (m_rcItem.right - m_rcItem.left) / m_nColumns;
    if (cellWidth <= 0) return;
    int index = -1;
    for (int r = 0; r < m_nRows && index < 0; ++r) {
        for (int c = 0; c < m_nColumns; ++c) {
            RECT cell{m_rcItem.left + c * cellWidth, m_rcItem.top + r * m_nRowHeight,
                      m_rcItem.left + (c + 1) * cellWidth, m_rcItem.top + (r + 1) * m_nRowHeight};
            if (PtInRect(&cell, pt)) {
                index = r * m_nColumns + c;
                break;
            }
        }
    }
    if (index < 0 || index >= static_cast<int>(m_images.size())) return;
    EmotionImage* emotion = m_images[static_cast<size_t>(index)].get();
    if (!emotion->image) return;
    m_sHotImagePath = emotion->path;

    if (emotion->frameCount > 0) {
        UINT next = static_cast<UINT>(emotion->nextFrame);
        UINT delay = next < emotion->delays.size() ? emotion->delays[next] : 0;
        m_nElapsed += elapsed;
        if (m_nElapsed >= static_cast<int>(delay * 10)) {
            emotion->SelectFrame(next);
            emotion->nextFrame = static_cast<int>((next + 1) % emotion->frameCount);
            m_nElapsed = 0;
        }
    }
    if (m_pAnimated && m_pAnimated != emotion) {
        m_pAnimated->SelectFrame(0);
        m_pAnimated->nextFrame = 0;
    }
    m_pAnimated = emotion;
    Invalidate();
}

int CEmotionListUI::GetNextFrame(int index) const
{
    if (index < 0 || index >= static_cast<int>(m_images.size())) return -1;
    return m_images[static_cast<size_t>(index)]->nextFrame;
}

CDuiString CEmotionListUI::GetImagePathByName(LPCTSTR name) const
{
    if (!m_nameMap || !name) return CDuiString();
    auto found = m_nameMap->find(name);
    return found != m_nameMap->end() ? CDuiString(found->second.c_str()) : CDuiString();
}

void CEmotionListUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_BUTTONUP) {
        if (m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_SELECTIMAGE, 0, 0, false);
        return;
    }
    CListUI::DoEvent(event);
}
