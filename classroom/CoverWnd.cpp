#include "classroom/CoverWnd.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/Records.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"

#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}
#include <commctrl.h>
#include <gdiplus.h>
#include <windowsx.h>

#include <string>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

const ARGB kGreen = 0xFF00C090;
const ARGB kGrey = 0xFFAAAAAA;
const ARGB kWhite = 0xFFFFFFFF;

// Owners of the GDI+ objects one drawing step makes.
template <typename T, GpStatus (WINGDIPAPI* Free)(T*)>
class GpOwner {
public:
    GpOwner() = default;
    ~GpOwner()
    {
        if (m_p) Free(m_p);
    }
    GpOwner(const GpOwner&) = delete;
    GpOwner& operator=(const GpOwner&) = delete;
    T** Out() { return &m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};
using PenOwner = GpOwner<GpPen, GdipDeletePen>;
using BrushOwner = GpOwner<GpBrush, GdipDeleteBrush>;
using FontOwner = GpOwner<GpFont, GdipDeleteFont>;
using FamilyOwner = GpOwner<GpFontFamily, GdipDeleteFontFamily>;
using PathOwner = GpOwner<GpPath, GdipDeletePath>;
using GraphicsOwner = GpOwner<GpGraphics, GdipDeleteGraphics>;

void DrawBorder(GpGraphics* g, float width, ARGB colour, float right, float bottom)
{
    PenOwner pen;
    if (GdipCreatePen1(colour, width, UnitPixel, pen.Out()) != Ok) return;
    GdipSetPenMode(pen.Get(), PenAlignmentInset);
    GdipDrawRectangle(g, pen.Get(), 0.0f, 0.0f, right, bottom);
}

void FillBox(GpGraphics* g, ARGB colour, float x, float y, float w, float h)
{
    BrushOwner brush;
    GpSolidFill* fill = nullptr;
    if (GdipCreateSolidFill(colour, &fill) != Ok) return;
    *brush.Out() = fill;
    GdipFillRectangle(g, brush.Get(), x, y, w, h);
}

int CALLBACK TakeFirstTrueType(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM out)
{
    if (!(type & TRUETYPE_FONTTYPE) || lf->lfFaceName[0] == L'@') return 1;
    *reinterpret_cast<std::wstring*>(out) = lf->lfFaceName;
    return 0;
}

// The first installed TrueType family: GDI+ knows no substitutes, and a system may lack every face
// the covers name.
const std::wstring& AnyInstalledFamily()
{
    static std::wstring name;
    static bool searched = false;
    if (!searched) {
        searched = true;
        HDC dc = GetDC(nullptr);
        LOGFONTW lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        EnumFontFamiliesExW(dc, &lf, TakeFirstTrueType, reinterpret_cast<LPARAM>(&name), 0);
        ReleaseDC(nullptr, dc);
    }
    return name;
}

// The named family, else the generic sans serif, else any installed family.
bool MakeFamily(const wchar_t* family, FamilyOwner& familyOwner)
{
    if (family && *family && GdipCreateFontFamilyFromName(family, nullptr, familyOwner.Out()) == Ok) return true;
    GpFontFamily* generic = nullptr;
    if (GdipGetGenericFontFamilySansSerif(&generic) == Ok && generic &&
        GdipCloneFontFamily(generic, familyOwner.Out()) == Ok)
        return true;
    const std::wstring& any = AnyInstalledFamily();
    return !any.empty() && GdipCreateFontFamilyFromName(any.c_str(), nullptr, familyOwner.Out()) == Ok;
}

bool MakeFont(const wchar_t* family, float pixels, int style, FamilyOwner& familyOwner, FontOwner& font)
{
    if (!MakeFamily(family, familyOwner)) return false;
    return GdipCreateFont(familyOwner.Get(), pixels, style, UnitPixel, font.Out()) == Ok;
}

void DrawText(GpGraphics* g, const wchar_t* text, const wchar_t* family, float pixels, int style, ARGB colour, float x,
              float y)
{
    if (!text || !*text) return;
    FamilyOwner familyOwner;
    FontOwner font;
    if (!MakeFont(family, pixels, style, familyOwner, font)) return;
    BrushOwner brush;
    GpSolidFill* fill = nullptr;
    if (GdipCreateSolidFill(colour, &fill) != Ok) return;
    *brush.Out() = fill;
    // A generous box rather than an empty one: not every GDI+ treats an empty box as "no limit".
    RectF layout(x, y, 4096.0f, 4096.0f);
    GdipDrawString(g, text, -1, font.Get(), &layout, nullptr, brush.Get());
}

bool Inside(const RECT& rc, POINT pt)
{
    return PtInRect(&rc, pt) != FALSE;
}

// The bar the vice-screen and speaking covers show while the mouse is over them.
void DrawBar(GpGraphics* g, int width, int height)
{
    FillBox(g, 0xFF6E6E6E, 1.0f, static_cast<float>(height - 29), static_cast<float>(width - 2), 28.0f);
}

} // namespace

// ---- CTransparentCoverWnd ----

CTransparentCoverWnd::CTransparentCoverWnd()
{
    GdiplusStartupInput input;
    if (GdiplusStartup(&m_gdiplusToken, &input, nullptr) != Ok) {
        LOG_ERROR(L"cover window: GDI+ cannot start");
        m_gdiplusToken = 0;
    }
}

CTransparentCoverWnd::~CTransparentCoverWnd()
{
    if (m_image) GdipDisposeImage(m_image);
    if (m_gdiplusToken) GdiplusShutdown(m_gdiplusToken);
}

HWND CTransparentCoverWnd::Create(HWND owner, int x, int y, int cx, int cy)
{
    m_owner = owner;
    m_imagePath = GetModuleFolder().GetString();
    m_imagePath += ImageFileName();
    if (!CWindowWnd::Create(owner, L"", 0x94000000, 0, x, y, cx, cy)) return nullptr;
    SetWindowLongW(m_hWnd, GWL_EXSTYLE, GetWindowLongW(m_hWnd, GWL_EXSTYLE) ^ WS_EX_LAYERED);
    if (LoadImage()) {
        SetWindowPos(m_hWnd, nullptr, 0, 0, m_imageWidth, m_imageHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (Render()) UpdateLayered();
    }
    return m_hWnd;
}

bool CTransparentCoverWnd::LoadImage()
{
    if (m_image) {
        GdipDisposeImage(m_image);
        m_image = nullptr;
    }
    if (GdipLoadImageFromFile(m_imagePath.GetData(), &m_image) != Ok || !m_image) {
        LOG_ERROR(L"cover image %s cannot be loaded", m_imagePath.GetData());
        m_image = nullptr;
        return false;
    }
    UINT w = 0, h = 0;
    GdipGetImageWidth(m_image, &w);
    GdipGetImageHeight(m_image, &h);
    m_imageWidth = static_cast<int>(w);
    m_imageHeight = static_cast<int>(h);
    return true;
}

bool CTransparentCoverWnd::Render()
{
    if (!LoadImage()) return false;
    if (IsRectEmpty(&m_firstButton) && IsRectEmpty(&m_secondButton)) {
        RECT client{};
        GetClientRect(m_hWnd, &client);
        ComputeButtons(client);
    }
    GraphicsOwner graphics;
    if (GdipGetImageGraphicsContext(m_image, graphics.Out()) != Ok) return false;
    GdipSetTextRenderingHint(graphics.Get(), TextRenderingHintAntiAlias);
    DrawContent(graphics.Get());
    return true;
}

void CTransparentCoverWnd::UpdateLayered()
{
    if (!m_image || !IsWindow(m_hWnd)) return;
    using UpdateLayeredFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
    auto update = reinterpret_cast<UpdateLayeredFn>(GetProcAddress(GetModuleHandleW(L"User32.DLL"), "UpdateLayeredWindow"));
    if (!update) return;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = m_imageWidth;
    bi.bmiHeader.biHeight = -m_imageHeight;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && memory) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        {
            GraphicsOwner graphics;
            if (GdipCreateFromHDC(memory, graphics.Out()) == Ok) {
                GdipGraphicsClear(graphics.Get(), 0x00FFFFFF);
                GdipDrawImageRectI(graphics.Get(), m_image, 0, 0, m_imageWidth, m_imageHeight);
            }
        }
        RECT rc{};
        GetWindowRect(m_hWnd, &rc);
        POINT dest{rc.left, rc.top};
        SIZE size{m_imageWidth, m_imageHeight};
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        update(m_hWnd, screen, &dest, &size, memory, &source, 0, &blend, ULW_ALPHA);
        SelectObject(memory, old);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memory) DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

void CTransparentCoverWnd::Refresh()
{
    if (Render()) UpdateLayered();
}

uint32_t CTransparentCoverWnd::GetRenderedPixel(int x, int y) const
{
    ARGB colour = 0;
    if (!m_image) return 0;
    if (GdipBitmapGetPixel(static_cast<GpBitmap*>(m_image), x, y, &colour) != Ok) return 0;
    return colour;
}

void CTransparentCoverWnd::SetFlag(uint32_t flag, bool on)
{
    if (on) m_flags |= flag;
    else m_flags &= ~flag;
}

bool CTransparentCoverWnd::OverButton(POINT pt) const
{
    return Inside(m_firstButton, pt) || Inside(m_secondButton, pt);
}

LRESULT CTransparentCoverWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_MOUSEMOVE: {
        if (!m_tracking) {
            TRACKMOUSEEVENT tme{sizeof(tme), TME_HOVER | TME_LEAVE, m_hWnd, 400};
            m_tracking = _TrackMouseEvent(&tme) != FALSE;
        }
        const uint32_t before = m_flags;
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_hovered = true;
        SetFlag(eCover_MouseInside, true);
        SetFlag(eCover_OverFirst, Inside(m_firstButton, pt));
        SetFlag(eCover_OverSecond, Inside(m_secondButton, pt));
        if (m_flags != before) Refresh();
        return 0;
    }
    case WM_MOUSEHOVER:
        m_tracking = false;
        return 0;
    case WM_MOUSELEAVE:
        m_tracking = false;
        m_hovered = false;
        SetFlag(eCover_MouseInside | eCover_OverFirst | eCover_OverSecond, false);
        Refresh();
        return 0;
    case WM_SETCURSOR: {
        POINT pt{};
        GetCursorPos(&pt);
        ScreenToClient(m_hWnd, &pt);
        if (OverButton(pt)) {
            SetCursor(LoadCursor(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    case WM_LBUTTONUP: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        if (OverButton(pt)) SetCursor(LoadCursor(nullptr, IDC_HAND));
        OnClick(pt);
        return 0;
    }
    case WM_SYSCOMMAND:
        // A cover goes with what it covers, not by Alt+F4 after a click on it: the vice-screen cover
        // is made once for the whole class.
        if ((wParam & 0xFFF0) == SC_CLOSE) return 0;
        break;
    default:
        break;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

void CTransparentCoverWnd::OnFinalMessage(HWND)
{
    delete this;
}

// ---- CPreviewCoverWnd ----

void CPreviewCoverWnd::ComputeButtons(const RECT& c)
{
    m_firstButton = {c.left + 5, c.top + 5, c.left + 17, c.top + 17};
    m_secondButton = {c.right - 18, c.top + 4, c.right - 4, c.top + 18};
}

void CPreviewCoverWnd::SetSelected(bool selected, bool silent)
{
    if (m_flags & eCover_Disabled) return;
    if (selected == IsSelected()) return;
    SetFlag(eCover_Selected, selected);
    if (selected && !silent && m_notify) ::PostMessageW(m_notify, WM_USER_UI_NOTICE, 2, 1);
    Refresh();
}

void CPreviewCoverWnd::SetDisabled(bool disabled)
{
    if (disabled == ((m_flags & eCover_Disabled) != 0)) return;
    SetFlag(eCover_Disabled, disabled);
    Refresh();
}

void CPreviewCoverWnd::OnClick(POINT pt)
{
    if (!m_notify) return;
    if (Inside(m_secondButton, pt)) {
        ::PostMessageW(m_notify, WM_USER_UI_NOTICE, 1, static_cast<LPARAM>(m_flags));
        return;
    }
    if (m_flags & (eCover_Disabled | eCover_Selected)) return;
    SetFlag(eCover_Selected, true);
    ::PostMessageW(m_notify, WM_USER_UI_NOTICE, 2, 1);
    Refresh();
}

void CPreviewCoverWnd::DrawContent(GpGraphics* g)
{
    const bool enabled = !(m_flags & eCover_Disabled);
    const bool hovered = (m_flags & eCover_MouseInside) != 0;
    const float w = static_cast<float>(m_imageWidth), h = static_cast<float>(m_imageHeight);
    if (enabled && ((m_flags & eCover_Selected) || hovered)) DrawBorder(g, 3.0f, kGreen, w, h);
    else DrawBorder(g, 1.0f, kGrey, w - 1, h - 1);
    if (hovered) {
        FillBox(g, (m_flags & eCover_OverSecond) ? kGreen : kGrey, w - 18, 5, 13, 13);
        DrawText(g, L"X", L"\x5FAE\x8F6F\x96C5\x9ED1", 12.0f, FontStyleBold, kWhite, w - 18, 3);
    }
    if (enabled) {
        const bool lit = (m_flags & eCover_Selected) || (m_flags & eCover_OverFirst);
        FillBox(g, lit ? kGreen : kGrey, 5, 5, 12, 12);
        DrawText(g, L"\x221A", L"\x9ED1\x4F53", 14.0f, FontStyleBold, kWhite, 1, 4);
    }
}

// ---- CViceScreenCoverWnd ----

void CViceScreenCoverWnd::ComputeButtons(const RECT& c)
{
    m_firstButton = {c.left + 10, c.top + 135, c.left + 70, c.top + 153};
    m_secondButton = {c.right - 60, c.top + 135, c.right - 10, c.top + 153};
}

void CViceScreenCoverWnd::OnClick(POINT pt)
{
    if (Inside(m_firstButton, pt)) ::PostMessageW(m_owner, WM_USER_UI_NOTICE, 6, 0);
    else if (Inside(m_secondButton, pt)) ::PostMessageW(m_owner, WM_USER_UI_NOTICE, 7, 0);
}

void CViceScreenCoverWnd::DrawContent(GpGraphics* g)
{
    const float w = static_cast<float>(m_imageWidth), h = static_cast<float>(m_imageHeight);
    DrawBorder(g, 1.0f, 0xFFCCCCCC, w - 1, h - 1);
    if (!(m_flags & eCover_MouseInside)) return;
    DrawBar(g, m_imageWidth, m_imageHeight);
    if (!HasLanguageTable()) return;
    const CString font = LangText(0, L"");
    DrawText(g, LangText(1, L"").GetString(), font.GetString(), 12.0f, FontStyleRegular,
             (m_flags & eCover_OverFirst) ? kGreen : kWhite, 10, 139);
    DrawText(g, LangText(2, L"").GetString(), font.GetString(), 12.0f, FontStyleRegular,
             (m_flags & eCover_OverSecond) ? kGreen : kWhite, w - 60, 139);
}

// ---- CVideoSpeakCoverWnd ----

void CVideoSpeakCoverWnd::SetFirstButtonText(const CDuiString& text)
{
    if (text == m_firstText) return;
    m_firstText = text;
    Refresh();
}

CDuiString CVideoSpeakCoverWnd::ShownFirstText() const
{
    if (!m_firstText.IsEmpty()) return m_firstText;
    if (!HasLanguageTable()) return L"";
    if (IsTeacherRole(m_role)) return LangText(59, L"").GetString();
    if (IsStudentRole(m_role)) return LangText(2, L"").GetString();
    return L"";
}

void CVideoSpeakCoverWnd::OnClick(POINT pt)
{
    if (Inside(m_firstButton, pt)) {
        if (IsTeacherRole(m_role)) {
            if (!HasLanguageTable()) return;
            // An untouched button shows text 59, so it counts as 59.
            const CDuiString shown = ShownFirstText();
            const CDuiString cameraOn = LangText(59, L"").GetString();
            const CDuiString cameraOff = LangText(63, L"").GetString();
            if (shown == cameraOn) {
                m_firstText = cameraOff;
                ::PostMessageW(m_owner, WM_USER_VIDEO_SPEAK_ACTION, 3, 0);
            } else if (shown == cameraOff) {
                m_firstText = cameraOn;
                ::PostMessageW(m_owner, WM_USER_VIDEO_SPEAK_ACTION, 4, 0);
            }
            Refresh();
        } else if (IsStudentRole(m_role)) {
            ::PostMessageW(m_owner, WM_USER_VIDEO_SPEAK_ACTION, 5, 0);
        }
    } else if (Inside(m_secondButton, pt)) {
        ::PostMessageW(m_owner, WM_USER_VIDEO_SPEAK_ACTION, 6, 0);
    }
}

void CVideoSpeakCoverWnd::DrawContent(GpGraphics* g)
{
    const float w = static_cast<float>(m_imageWidth), h = static_cast<float>(m_imageHeight);
    DrawBorder(g, 1.0f, 0xFFCCCCCC, w - 1, h - 1);
    if (HasLanguageTable()) {
        const bool teacher = IsTeacherRole(m_role);
        const bool student = IsStudentRole(m_role);
        const CString label = teacher ? LangText(58, L"") : student ? LangText(57, L"") : CString();
        if (!label.IsEmpty()) {
            FamilyOwner family;
            if (MakeFamily(LangText(62, L"").GetString(), family)) {
                PathOwner path;
                if (GdipCreatePath(FillModeAlternate, path.Out()) == Ok) {
                    RectF layout(10.0f, 10.0f, 4096.0f, 4096.0f);
                    GdipAddPathString(path.Get(), label.GetString(), -1, family.Get(), FontStyleRegular, 14.0f, &layout,
                                      nullptr);
                    GdipSetSmoothingMode(g, SmoothingModeAntiAlias);
                    BrushOwner brush;
                    GpSolidFill* fill = nullptr;
                    if (GdipCreateSolidFill(kGreen, &fill) == Ok) {
                        *brush.Out() = fill;
                        GdipFillPath(g, brush.Get(), path.Get());
                    }
                    PenOwner pen;
                    if (GdipCreatePen1(0x3200C090, 1.0f, UnitPixel, pen.Out()) == Ok) {
                        GdipSetPenLineJoin(pen.Get(), LineJoinRound);
                        GdipDrawPath(g, pen.Get(), path.Get());
                    }
                }
            }
        }
    }
    if (!(m_flags & eCover_MouseInside)) return;
    DrawBar(g, m_imageWidth, m_imageHeight);
    const CString font = LangText(0, L"");
    DrawText(g, ShownFirstText().GetData(), font.GetString(), 12.0f, FontStyleRegular,
             (m_flags & eCover_OverFirst) ? kGreen : kWhite, 10, 139);
    if (HasLanguageTable())
        DrawText(g, LangText(61, L"").GetString(), font.GetString(), 12.0f, FontStyleRegular,
                 (m_flags & eCover_OverSecond) ? kGreen : kWhite, w - 60, 139);
}
