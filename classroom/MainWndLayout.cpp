// The floating windows kept on their anchor controls: the teacher's control panel and its button
// along the bottom of the live area, the pen tool above the button, the vice-screen cover, the
// video-speak cover on the speaker's video.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "core/SessionContext.h"

namespace {

RECT ToScreen(HWND window, RECT rc)
{
    POINT topLeft{rc.left, rc.top}, bottomRight{rc.right, rc.bottom};
    ::ClientToScreen(window, &topLeft);
    ::ClientToScreen(window, &bottomRight);
    return {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

bool Empty(const RECT& rc)
{
    return rc.right <= rc.left || rc.bottom <= rc.top;
}

} // namespace

HWND CMainWnd::ControlPanelWindow() const
{
    return m_controlPanel ? m_controlPanel->GetHWND() : nullptr;
}

void CMainWnd::PlaceFloatingBars()
{
    CControlUI* live = m_PaintManager.FindControl(L"LiveArea");
    if (!live || !m_controlPanelButton) return;
    RECT area = ToScreen(m_hWnd, live->GetPos());
    RECT button{};
    ::GetWindowRect(m_controlPanelButton, &button);
    int w = button.right - button.left, h = button.bottom - button.top;
    int left = area.left + (area.right - area.left - w) / 2;
    int bottom = area.bottom - 1;
    HWND panel = ControlPanelWindow();
    if (panel && ::IsWindowVisible(panel)) {
        ::MoveWindow(panel, area.left + 1, area.bottom - 120, area.right - area.left - 2, 119, TRUE);
        bottom = area.bottom - 120;
    }
    ::MoveWindow(m_controlPanelButton, left, bottom - h, w, h, TRUE);
    PlacePenTool();
}

// The bar under the live area keeps its row of class buttons only while one of them shows (a student
// has none), so the volumes do not sit under an empty strip.
void CMainWnd::FitClassBar()
{
    CControlUI* barControl = m_PaintManager.FindControl(L"ClassBar");
    CControlUI* rowControl = m_PaintManager.FindControl(L"ClassBtnRow");
    auto* bar = barControl ? static_cast<CContainerUI*>(barControl->GetInterface(L"Container")) : nullptr;
    auto* row = rowControl ? static_cast<CContainerUI*>(rowControl->GetInterface(L"Container")) : nullptr;
    if (!bar || !row) return;
    bool used = false;
    for (int i = 0; i < row->GetCount(); ++i)
        if (row->GetItemAt(i)->IsVisible()) used = true;
    if (row->IsVisible() == used) return;
    const int step = row->GetFixedHeight() + bar->GetChildPadding();
    row->SetVisible(used);
    bar->SetFixedHeight(bar->GetFixedHeight() + (used ? step : -step));
}

void CMainWnd::PlacePenTool()
{
    if (!m_penTool || !m_controlPanelButton) return;
    RECT pen{}, button{};
    ::GetWindowRect(m_penTool, &pen);
    ::GetWindowRect(m_controlPanelButton, &button);
    if (Empty(pen) || Empty(button)) return;
    int w = pen.right - pen.left, h = pen.bottom - pen.top;
    int centre = button.left + (button.right - button.left) / 2;
    int left = centre - w / 2;
    // Centred over the button, yet never over the columns beside the live area: a bar wider than the
    // area keeps its left end (the lock check and the colours) inside.
    if (CControlUI* live = m_PaintManager.FindControl(L"LiveArea")) {
        RECT area = ToScreen(m_hWnd, live->GetPos());
        if (left + w > area.right) left = area.right - w;
        if (left < area.left) left = area.left;
    }
    ::MoveWindow(m_penTool, left, button.top - 5 - h, w, h, TRUE);
}

void CMainWnd::ToggleControlPanel()
{
    HWND panel = ControlPanelWindow();
    if (!panel) return;
    // Through the panel, so its document thumbnails hear of it too.
    m_controlPanel->ShowPanel(!::IsWindowVisible(panel));
    PlaceFloatingBars();
}

void CMainWnd::PlaceViceCover()
{
    if (!m_viceCover) return;
    RECT main{};
    ::GetWindowRect(m_hWnd, &main);
    // Raised as well: made with the main window and shown long after, it would stay below it.
    ::SetWindowPos(m_viceCover, HWND_TOP, main.right - 252, main.top + 59, 240, 160, SWP_NOACTIVATE | SWP_NOREDRAW);
}

void CMainWnd::ShowTeacherPanel()
{
    HWND panel = ControlPanelWindow();
    if (!panel || !m_controlPanelButton) return;
    CControlUI* live = m_PaintManager.FindControl(L"LiveArea");
    RECT area = live ? live->GetPos() : RECT{};
    if (Empty(area)) {
        // Before the first layout: 13 pixels in from the left, 160 above the bottom, 263 short of the right.
        RECT client{};
        ::GetClientRect(m_hWnd, &client);
        area = {client.left + 13 - 1, client.bottom - 160 + 120, client.right - 263, client.bottom - 160 + 120};
    }
    area = ToScreen(m_hWnd, area);
    // Shown on top: the main window was raised just before, when it appeared.
    const UINT flags = SWP_SHOWWINDOW | SWP_NOACTIVATE;
    ::SetWindowPos(panel, HWND_TOP, area.left + 1, area.bottom - 120, area.right - area.left - 1, 119, flags);
    RECT button{};
    ::GetWindowRect(m_controlPanelButton, &button);
    int w = button.right - button.left, h = button.bottom - button.top;
    ::SetWindowPos(m_controlPanelButton, HWND_TOP, area.left + (area.right - area.left - w) / 2, area.bottom - 120 - h, w,
                   h, flags);
}

void CMainWnd::OnLiveAreaMoved()
{
    CControlUI* live = m_PaintManager.FindControl(L"LiveArea");
    if (!live) return;
    RECT rc = live->GetPos();
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width > 730 || height > 600) {
        int dx = width > 730 ? (width - 730) / 2 : 0;
        int dy = height > 600 ? (height - 600) / 2 : 0;
        CString image;
        image.Format(L"file='bk.png' dest='%d,%d,%d,%d'", dx, dy, dx + 730, dy + 600);
        live->SetBkImage(image);
    } else {
        live->SetBkImage(L"file='bk.png'");
    }
    PlaceFloatingBars();
    // A window resized without moving sends no WM_MOVE: the covers keep to the right edge and to the
    // speaker's video from here.
    if (m_viceCover && ::IsWindowVisible(m_viceCover)) PlaceViceCover();
    if (m_videoSpeakCover && ::IsWindowVisible(m_videoSpeakCover)) PlaceVideoSpeakCover();
    // The video's container follows the new size; the engine draws into the moved window again.
    if ((m_liveState.flags & eLive_ScreenShare) || IsLiveByte(m_liveState.cameraState)) {
        ApplyReceivedVideoSize();
        if (m_castmix) m_castmix->ChangeScreenWnd(m_videoLive);
    }
}

void CMainWnd::OnPositionChanged(CControlUI* sender)
{
    const CDuiString& name = sender->GetName();
    if (name == L"LiveArea") {
        OnLiveAreaMoved();
    } else if (name == L"CenterArea") {
        CControlUI* over = m_PaintManager.FindControl(L"ClassOverLayout");
        if (over && over->IsVisible()) over->SetPos(sender->GetPos());
    } else if (name == L"TeacherModel") {
        HWND queue = ::FindWindowW(L"__LumenvaleMicSeqWnd__", nullptr);
        if (queue && ::IsWindowVisible(queue)) {
            RECT rc = ToScreen(m_hWnd, sender->GetPos());
            RECT own{};
            ::GetWindowRect(queue, &own);
            ::MoveWindow(queue, rc.left, rc.bottom, own.right - own.left, own.bottom - own.top, FALSE);
        }
    } else if (name == L"VideoSpeakContainer1") {
        PlaceVideoSpeakCover();
    }
}

void CMainWnd::PlaceVideoSpeakCover()
{
    CControlUI* container = m_PaintManager.FindControl(L"VideoSpeakContainer1");
    if (!container || !m_videoSpeakCover || !::IsWindow(m_videoSpeakCover)) return;
    RECT rc = ToScreen(m_hWnd, container->GetPos());
    ::MoveWindow(m_videoSpeakCover, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
}

void CMainWnd::ShowColumnCovers()
{
    // The covers are popups over the side columns: they go and come back with the control they cover.
    SessionContext* session = SessionContext::Instance();
    if (m_viceCover && session && IsTeacherRole(session->role)) {
        CControlUI* vice = m_PaintManager.FindControl(L"ViceScreenArea");
        bool show = vice && vice->IsVisible();
        if (show) PlaceViceCover();
        ::ShowWindow(m_viceCover, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    }
    if (m_videoSpeakCover && ::IsWindow(m_videoSpeakCover)) {
        CControlUI* container = m_PaintManager.FindControl(L"VideoSpeakContainer1");
        bool show = container && container->IsVisible();
        if (show) PlaceVideoSpeakCover();
        ::ShowWindow(m_videoSpeakCover, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    }
}
