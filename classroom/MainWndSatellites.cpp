// The satellite windows of the class, created once with the main window. A window that cannot be
// created stays null and every caller checks for that.
#include "classroom/MainWnd.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/CoverWnd.h"
#include "classroom/FloatingBars.h"
#include "classroom/ShareScreenWnd.h"
#include "classroom/VideoWnd.h"
#include "classroom/WhiteboardWnd.h"
#include "core/Logger.h"
#include "dialogs/EmotionWnd.h"
#include "classroom/DocWnd.h"

#include <memory>
#include <new>

namespace {

const DWORD kFloatingStyle = 0x96C80000; // popup, visible, clipped, caption-less frame
const DWORD kChildStyle = 0x56000000;    // child, visible, clipped
const DWORD kShareBarStyle = 0x94000000;

// Creates a skinned window; one that never became a window is freed here, since no final message
// will come for it.
template <typename Window>
HWND CreateSkinned(Window* window, HWND parent, LPCTSTR name, DWORD style, DWORD exStyle)
{
    if (!window) return nullptr;
    HWND handle = window->Create(parent, name, style, exStyle, 0, 0, 0, 0);
    if (!handle) {
        LOG_ERROR(L"window %s cannot be created", name);
        delete window;
        return nullptr;
    }
    return handle;
}

void Hide(HWND window)
{
    if (window) ::ShowWindow(window, SW_HIDE);
}

} // namespace

void CMainWnd::CreateSatellites()
{
    auto* panel = new (std::nothrow) CControlPanelWnd;
    if (CreateSkinned(panel, m_hWnd, L"ControlPanelWnd", kFloatingStyle, 0)) {
        m_controlPanel = panel;
        m_controlPanelButton = CreateSkinned(new (std::nothrow) CCpBtnWnd, m_hWnd, L"CpBtnWnd", kFloatingStyle, 0);
        Hide(m_controlPanelButton);
        Hide(panel->GetHWND());
    }

    if (auto* video = new (std::nothrow) CVideoWnd(eVideoCover_None)) {
        m_videoLive = video->Create(m_hWnd, L"VideoLive");
        if (!m_videoLive) delete video;
    }

    // The document window deletes itself with its window; one that never became a window is freed here.
    if (auto* doc = new (std::nothrow) CDocWnd) {
        m_docLive = doc->CreateChild(m_hWnd, L"DocLive", 0, 0, 0, 0);
        if (m_docLive) m_docView = doc;
        else delete doc;
        Hide(m_docLive);
    }

    if (auto* cover = new (std::nothrow) CViceScreenCoverWnd) {
        m_viceCover = cover->Create(m_hWnd, 0, 0, 240, 160);
        if (!m_viceCover) delete cover;
        Hide(m_viceCover);
    }

    m_whiteboardLive = CreateSkinned(new (std::nothrow) CWhiteboardWnd, m_hWnd, L"WhiteboardLive", kChildStyle, 0);
    Hide(m_whiteboardLive);

    m_shareScreen = CreateSkinned(new (std::nothrow) CShareScreenWnd, nullptr, L"ShareScreenWnd", kShareBarStyle,
                                  WS_EX_TOPMOST);
    Hide(m_shareScreen);

    m_penTool = CreateSkinned(new (std::nothrow) CPenToolWnd, m_hWnd, L"PenToolWnd", kFloatingStyle, 0);
    Hide(m_penTool);

    auto picker = std::unique_ptr<CEmotionWnd>(new (std::nothrow) CEmotionWnd(m_hWnd));
    if (picker && picker->Create(m_hWnd, L"EmotionWnd", kFloatingStyle, WS_EX_TOOLWINDOW, 0, 0, 0, 0)) {
        Hide(picker->GetHWND());
        m_emotionPicker = std::move(picker);
    } else if (picker) {
        LOG_ERROR(L"window %s cannot be created", L"EmotionWnd");
    }
}
