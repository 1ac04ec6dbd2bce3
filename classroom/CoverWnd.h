// Borderless layered windows drawn from a PNG and laid over the video windows (which the UI library
// cannot paint over): borders, a selection check, a close box and button bars. Each cover reports its
// clicks by posting messages; its owner places and shows it.
#pragma once
#include "platform/ui/UIlib.h"

#include <cstdint>

namespace Gdiplus {
class GpImage;
class GpGraphics;
}

enum CoverFlags : uint32_t {
    eCover_Selected = 0x2,
    eCover_Disabled = 0x4,
    eCover_MouseInside = 0x8,
    eCover_OverFirst = 0x80,
    eCover_OverSecond = 0x100,
};

class CTransparentCoverWnd : public CWindowWnd {
public:
    CTransparentCoverWnd();
    ~CTransparentCoverWnd() override;

    // A popup owned by owner at the given screen rectangle; its size then follows the image. Null on failure.
    HWND Create(HWND owner, int x, int y, int cx, int cy);
    // Redraws the image and pushes it to the screen.
    void Refresh();

    uint32_t GetFlags() const { return m_flags; }
    int GetImageWidth() const { return m_imageWidth; }
    int GetImageHeight() const { return m_imageHeight; }
    const RECT& GetFirstButton() const { return m_firstButton; }
    const RECT& GetSecondButton() const { return m_secondButton; }
    // ARGB of a pixel of the last rendered image (0 without one), for checking what the cover shows.
    uint32_t GetRenderedPixel(int x, int y) const;

protected:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleTransparentCoverWnd__"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;
    // Reloads the image and draws the cover's content into it; false when the image cannot be loaded.
    virtual bool Render();
    virtual void UpdateLayered();

    // The cover's file under the program folder.
    virtual const wchar_t* ImageFileName() const = 0;
    // Fixes the two button rectangles once, from the cover's client rectangle.
    virtual void ComputeButtons(const RECT& client) = 0;
    virtual void DrawContent(Gdiplus::GpGraphics* graphics) = 0;
    virtual void OnClick(POINT pt) = 0;

    bool LoadImage();
    void SetFlag(uint32_t flag, bool on);
    bool OverButton(POINT pt) const;

    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::GpImage* m_image = nullptr;
    CDuiString m_imagePath;
    int m_imageWidth = 0;
    int m_imageHeight = 0;
    bool m_tracking = false;
    bool m_hovered = false;
    HWND m_owner = nullptr;
    uint32_t m_flags = 0;
    RECT m_firstButton{};
    RECT m_secondButton{};
};

// Over camera and document previews: a selection check at the top left and a close box at the top right.
class CPreviewCoverWnd : public CTransparentCoverWnd {
public:
    explicit CPreviewCoverWnd(HWND notifyWindow = nullptr) : m_notify(notifyWindow) {}
    void SetNotifyWindow(HWND notifyWindow) { m_notify = notifyWindow; }
    // Ignored while disabled; unless silent, selecting posts WM_USER_UI_NOTICE 2 with lParam 1.
    void SetSelected(bool selected, bool silent);
    void SetDisabled(bool disabled);
    bool IsSelected() const { return (m_flags & eCover_Selected) != 0; }

protected:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvalePreviewCoverWnd__"; }
    const wchar_t* ImageFileName() const override { return L"Skin\\PreviewCover.png"; }
    void ComputeButtons(const RECT& client) override;
    void DrawContent(Gdiplus::GpGraphics* graphics) override;
    void OnClick(POINT pt) override;

    HWND m_notify;
};

// Over the vice screen: "swap the screens" and "close the video" on a bar along the bottom.
class CViceScreenCoverWnd : public CTransparentCoverWnd {
protected:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleSmallScreenCoverWnd__"; }
    const wchar_t* ImageFileName() const override { return L"Skin\\SmallScreenCover.png"; }
    void ComputeButtons(const RECT& client) override;
    void DrawContent(Gdiplus::GpGraphics* graphics) override;
    void OnClick(POINT pt) override;
};

// Over the speaker's video: the speaker's role and two buttons (video on or off, or speak; end the turn).
class CVideoSpeakCoverWnd : public CViceScreenCoverWnd {
public:
    explicit CVideoSpeakCoverWnd(uint8_t creatorRole) : m_role(creatorRole) {}
    void SetFirstButtonText(const CDuiString& text);
    const CDuiString& GetFirstButtonText() const { return m_firstText; }

protected:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleVideoSpeakCoverWnd__"; }
    void DrawContent(Gdiplus::GpGraphics* graphics) override;
    void OnClick(POINT pt) override;
    CDuiString ShownFirstText() const;

    uint8_t m_role;
    CDuiString m_firstText;
};
