// The native child window the media engine draws a video into (the live video, the speaker's video,
// the settings preview). It relays the engine's notification to its parent and, with a preview cover,
// turns the cover's clicks into panel actions.
#pragma once
#include "platform/ui/UIlib.h"

#include <cstdint>

class CPreviewCoverWnd;

enum VideoCoverType : int32_t {
    eVideoCover_None = 0,
    eVideoCover_Preview = 1,
    eVideoCover_Plain = 3,
};

class CVideoWnd : public CWindowWnd {
public:
    explicit CVideoWnd(int32_t coverType = eVideoCover_None);
    ~CVideoWnd() override;

    // A visible child of parent, which receives the window's messages; with cover type 1 also its
    // preview cover, owned by the parent's top-level window. Null on failure.
    HWND Create(HWND parent, LPCTSTR name);

    int32_t GetCameraIndex() const { return m_cameraIndex; }
    // The cover while it exists, else null.
    CPreviewCoverWnd* GetCover() const;

protected:
    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleVideoWnd__"; }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    void OnFinalMessage(HWND hWnd) override;

    void PlaceCover();
    void Paint();
    void OnUiNotice(WPARAM code, LPARAM lParam);
    void PostPanelAction(WPARAM on);

    CPreviewCoverWnd* m_cover = nullptr;
    HWND m_coverWindow = nullptr; // the cover deletes itself with its window: checked before use
    int32_t m_clickValue = 0;
    int32_t m_coverType;
    HWND m_parent = nullptr;
    int32_t m_cameraIndex = -1;
};
