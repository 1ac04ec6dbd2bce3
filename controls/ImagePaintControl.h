// The slide view: one slide image fitted into the view, cross-faded from the previous slide on
// request, a status text while a document is being prepared, and the page's strokes on top.
#pragma once
#include "controls/PaintControl.h"

// Where a slide of iw x ih lands in a view of w x h (offsets from the paint DC's origin).
struct ImageFit {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool stretched = false; // too small to fit: stretched over the whole view
};
ImageFit ComputeImageFit(int imageWidth, int imageHeight, int viewWidth, int viewHeight);

// What the text step shows.
enum ImageViewState {
    eImageView_Nothing = 0,
    eImageView_Strokes = 11,
};

class CImagePaintControlUI : public CPaintControlUI {
public:
    CImagePaintControlUI();

    LPCTSTR GetClass() const override { return L"ImagePaintControlUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoEvent(TEventUI& event) override;
    void PaintBkImage(HDC hDC) override;
    void PaintText(HDC hDC) override;

    void SetImage(LPCTSTR path);
    CDuiString GetImage() const { return m_sImage; }
    CDuiString GetPreviousImage() const { return m_sPrevImage; }
    void SetFade(bool fade) { m_bFade = fade; }
    bool IsFading() const { return m_bFade; }
    void SetFadeOpacity(float opacity) { m_fFadeOpacity = opacity; }
    float GetFadeOpacity() const { return m_fFadeOpacity; }
    void SetState(int state, float percent);
    int GetState() const { return m_nState; }
    // The status text of a state, empty where nothing is shown.
    CDuiString StateText() const;

    static const UINT kFadeTimer = 10;
    static const UINT kFadeElapse = 130;

private:
    void DrawSlide(HDC hDC);
    void EndFade();

    CDuiString m_sImage;
    CDuiString m_sPrevImage;
    CDuiString m_sFailedImage; // the slide whose loading failed last, logged once
    bool m_bFade = false;
    float m_fFadeOpacity = 0.4f;
    int m_nXOffset = 0;
    int m_nYOffset = 0;
    int m_nState = 0;
    float m_fPercent = 0.0f;
};
