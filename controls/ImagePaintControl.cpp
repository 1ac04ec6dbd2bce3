#include "controls/ImagePaintControl.h"

#include "controls/GdiplusFlat.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

using namespace Gdiplus;

ImageFit ComputeImageFit(int iw, int ih, int w, int h)
{
    ImageFit fit;
    if (iw <= 0 || ih <= 0) return fit;
    if (iw > ih) {
        fit.height = h;
        fit.width = static_cast<int>(static_cast<double>(iw) / ih * h);
        if (fit.width > w) {
            fit.width = w;
            fit.height = static_cast<int>(static_cast<double>(ih) / iw * w);
            fit.x = 0;
            fit.y = (h - fit.height) / 2;
        } else {
            fit.x = (w - fit.width) / 2;
            fit.y = 0;
        }
    } else {
        fit.width = w;
        fit.height = static_cast<int>(static_cast<double>(ih) / iw * w);
        if (fit.height > h) {
            fit.height = h;
            fit.width = static_cast<int>(static_cast<double>(iw) / ih * h);
            fit.x = (w - fit.width) / 2;
            fit.y = 0;
        } else {
            fit.x = 0;
            fit.y = (h - fit.height) / 2;
        }
    }
    if (fit.width <= 400 || fit.height <= 200) {
        fit = ImageFit{0, 0, w, h, true};
    }
    return fit;
}

namespace {

struct StateRow {
    int state;
    int textId;
    const wchar_t* format; // with the percent when it has two conversions
    bool withPercent;
};

const StateRow kStateRows[] = {
    {1, 4, L"%s%d%%", true},  {2, 6, L"%s", false},   {3, 5, L"%s", false},
    {4, 7, L"%s%d%%", true},  {5, 8, L"%s", false},   {6, 9, L"%s", false},
    {7, 34, L"%s%d%%", true}, {8, 35, L"%s", false},  {9, 38, L"%s(%d%%)", true},
};

} // namespace

CImagePaintControlUI::CImagePaintControlUI()
{
    m_bPenEnabled = false; // the document window switches drawing on
}

LPVOID CImagePaintControlUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ImagePaintControl") == 0) return this;
    return CPaintControlUI::GetInterface(pstrName);
}

void CImagePaintControlUI::SetImage(LPCTSTR path)
{
    CDuiString next(path ? path : L"");
    if (next == m_sImage) {
        m_sPrevImage.Empty();
        return;
    }
    if (m_pManager) m_pManager->KillTimer(this);
    m_sPrevImage = m_sImage;
    m_sImage = next;
    m_sFailedImage.Empty();
    if (m_bFade) {
        m_fFadeOpacity = 0.4f;
        if (m_pManager) m_pManager->SetTimer(this, kFadeTimer, kFadeElapse);
    }
    Invalidate();
}

void CImagePaintControlUI::SetState(int state, float percent)
{
    if (state == m_nState && percent == m_fPercent) return;
    m_nState = state;
    m_fPercent = percent;
    Invalidate();
}

void CImagePaintControlUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_TIMER && event.wParam == kFadeTimer) {
        if (!m_bFade) return;
        if (m_sPrevImage.IsEmpty() || !(m_fFadeOpacity > 0.0f)) {
            EndFade();
            return;
        }
        Invalidate();
        return;
    }
    CPaintControlUI::DoEvent(event);
}

void CImagePaintControlUI::EndFade()
{
    m_bFade = false;
    m_fFadeOpacity = 0.4f;
    if (m_pManager) m_pManager->KillTimer(this);
}

void CImagePaintControlUI::PaintBkImage(HDC hDC)
{
    if (m_sImage.IsEmpty()) return;
    if (!CRenderEngine::StartGdiplus()) return;
    DrawSlide(hDC);
}

void CImagePaintControlUI::DrawSlide(HDC hDC)
{
    GdipGraphicsOwner g;
    GdipImageOwner image;
    UINT iw = 0, ih = 0;
    GpStatus status = DllExports::GdipCreateFromHDC(hDC, &g.graphics);
    if (status == Ok) status = DllExports::GdipLoadImageFromFile(m_sImage, &image.image);
    if (status == Ok) status = DllExports::GdipGetImageWidth(image.image, &iw);
    if (status == Ok) status = DllExports::GdipGetImageHeight(image.image, &ih);
    if (status != Ok || iw == 0 || ih == 0) {
        // Every repaint would fail alike: said once while the slide is shown. A fade cannot use up
        // its opacity on such a slide, so it ends here instead of repainting until the next page.
        if (m_sFailedImage != m_sImage)
            LOG_ERROR(L"Image paint Ctrl. open image failed Error(%d); image path : %s. return",
                      static_cast<int>(status), m_sImage.GetString());
        m_sFailedImage = m_sImage;
        if (m_bFade) EndFade();
        return;
    }
    int w = GetWidth(), h = GetHeight();
    ImageFit fit = ComputeImageFit(static_cast<int>(iw), static_cast<int>(ih), w, h);
    m_nXOffset = fit.x;
    m_nYOffset = fit.y;

    if (!m_bFade || m_sPrevImage.IsEmpty()) {
        status = DllExports::GdipDrawImageRectI(g.graphics, image.image, fit.x, fit.y, fit.width, fit.height);
        if (status != Ok && !fit.stretched)
            LOG_ERROR(L"Draw Image Ctrl (no Mix paint --- 1) Failed, Error = %d", static_cast<int>(status));
        return;
    }

    if (fit.stretched) {
        status = DllExports::GdipDrawImageRectI(g.graphics, image.image, 0, 0, w, h);
        if (status != Ok)
            LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 2). Only Draw Show Image Failed, Error = %d",
                      static_cast<int>(status));
    } else {
        GdipImageOwner previous;
        UINT pw = 0, ph = 0;
        status = DllExports::GdipLoadImageFromFile(m_sPrevImage, &previous.image);
        if (status == Ok) status = DllExports::GdipGetImageWidth(previous.image, &pw);
        if (status == Ok) status = DllExports::GdipGetImageHeight(previous.image, &ph);
        if (status != Ok) {
            LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 1). Get Image mask Failed, Image Mask Path is : %s. Error = %d",
                      m_sPrevImage.GetString(), static_cast<int>(status));
            status = DllExports::GdipDrawImageRectI(g.graphics, image.image, fit.x, fit.y, fit.width, fit.height);
            if (status != Ok)
                LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 1). Only Draw Show Image Failed, Image Path is : %s. "
                          L"Error = %d",
                          m_sImage.GetString(), static_cast<int>(status));
        } else {
            GdipAttributesOwner attributes;
            ColorMatrix matrix{};
            matrix.m[0][0] = matrix.m[1][1] = matrix.m[2][2] = matrix.m[4][4] = 1.0f;
            matrix.m[3][3] = m_fFadeOpacity;
            status = DllExports::GdipCreateImageAttributes(&attributes.attributes);
            if (status == Ok)
                status = DllExports::GdipSetImageAttributesColorMatrix(attributes.attributes, ColorAdjustTypeDefault,
                                                                       TRUE, &matrix, nullptr, ColorMatrixFlagsDefault);
            if (status != Ok)
                LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 1). Set Color Matrices Failed, Error = %d",
                          static_cast<int>(status));
            status = DllExports::GdipDrawImageRectI(g.graphics, image.image, fit.x, fit.y, fit.width, fit.height);
            if (status != Ok)
                LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 1). Draw Show Image Failed, Error = %d",
                          static_cast<int>(status));
            status = DllExports::GdipDrawImageRectRectI(g.graphics, previous.image, fit.x, fit.y, fit.width,
                                                        fit.height, 0, 0, static_cast<INT>(pw), static_cast<INT>(ph),
                                                        UnitPixel, attributes.attributes, nullptr, nullptr);
            if (status != Ok)
                LOG_ERROR(L"Draw Image Ctrl (Mix paint --- 1). Draw Image mask Failed, Error = %d",
                          static_cast<int>(status));
        }
    }
    m_fFadeOpacity -= 0.1f;
}

CDuiString CImagePaintControlUI::StateText() const
{
    CDuiString text;
    for (const StateRow& row : kStateRows) {
        if (row.state != m_nState) continue;
        CString label = LangText(row.textId, L"");
        if (row.withPercent) text.Format(row.format, label.GetString(), static_cast<int>(m_fPercent));
        else text.Format(row.format, label.GetString());
    }
    return text;
}

void CImagePaintControlUI::PaintText(HDC hDC)
{
    if (m_nState == eImageView_Nothing) return;
    if (m_nState == eImageView_Strokes) {
        CPaintControlUI::PaintText(hDC);
        return;
    }
    if (!HasLanguageTable()) return;
    CDuiString text = StateText();
    UINT style = DT_VCENTER | DT_SINGLELINE;
    SIZE size = CRenderEngine::GetTextSize(hDC, m_pManager, text, 0, style);
    RECT rc = m_rcItem;
    if (size.cx > rc.right - rc.left && rc.right > rc.left) {
        // Too wide for one line (a control-panel thumbnail is 120 pixels): wrapped into centred lines.
        style = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
        RECT lines = rc;
        HGDIOBJ oldFont = SelectObject(hDC, m_pManager->GetFont(0));
        DrawTextW(hDC, text, -1, &lines, style | DT_CALCRECT);
        SelectObject(hDC, oldFont);
        size.cx = rc.right - rc.left;
        size.cy = lines.bottom - lines.top;
    }
    if (size.cx < rc.right - rc.left) {
        rc.left += (rc.right - rc.left - size.cx) / 2;
        rc.right = rc.left + size.cx;
    }
    if (size.cy < rc.bottom - rc.top) {
        rc.top += (rc.bottom - rc.top - size.cy) / 2;
        rc.bottom = rc.top + size.cy;
    }
    CRenderEngine::DrawText(hDC, m_pManager, rc, text, 0xFFFFFFFF, 0, style);
}
