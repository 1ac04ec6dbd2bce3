// Which live source the main and vice screens show: received live notices place the whiteboard and
// the camera video, a swap exchanges the screens, switching off empties them.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/LiveStateOps.h"
#include "controls/PosLayouts.h"
#include "core/Logger.h"
#include "core/SessionContext.h"

namespace {

const int kMainScreen = 1;
const int kViceScreen = 2;

} // namespace

CWinContainerUI* CMainWnd::ScreenContainer(int position) const
{
    auto* container = Find<CWinContainerUI>(position == kMainScreen ? L"MainScreenCtner" : L"ViceScreenCtner");
    return container && container->GetInterface(L"WinContainer") ? container : nullptr;
}

bool CMainWnd::EmbedInScreen(int position, HWND window, int32_t content)
{
    CWinContainerUI* container = ScreenContainer(position);
    if (!container || (position != kMainScreen && position != kViceScreen)) return false;
    container->SetEmbedWindow(window);
    if (position == kMainScreen) {
        m_mainContent = content;
        container->SetVisible(true);
    } else {
        m_viceContent = content;
        ShowViceScreen(true);
    }
    return true;
}

void CMainWnd::ShowViceScreen(bool show)
{
    CControlUI* right = m_PaintManager.FindControl(L"RightPart");
    if (show && right && !right->IsVisible()) right->SetVisible(true);
    SetVisible(L"ViceScreenArea", show);
    SetVisible(L"TeacherInfo", !show);
    SessionContext* session = SessionContext::Instance();
    if (m_viceCover && session && IsTeacherRole(session->role)) ::ShowWindow(m_viceCover, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CMainWnd::SwitchSourcesOff()
{
    if (m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
    if (m_viceContent != eScreen_None) SwitchSourceOff(m_viceContent);
}

void CMainWnd::SwitchSourceOff(int32_t content)
{
    SessionContext* session = SessionContext::Instance();
    if (content == eScreen_Camera && m_castmix && session && !IsStudentRole(session->role)) {
        m_castmix->useCamera = 0;
        m_castmix->SetCameraEnabled(false, nullptr);
    }
    if (m_mainContent == content) {
        if (CWinContainerUI* main = ScreenContainer(kMainScreen)) {
            main->SetEmbedWindow(nullptr);
            main->SetVisible(false);
        }
        m_mainContent = eScreen_None;
    } else if (m_viceContent == content) {
        ShowViceScreen(false);
        if (CWinContainerUI* vice = ScreenContainer(kViceScreen)) vice->SetEmbedWindow(nullptr);
        m_viceContent = eScreen_None;
    } else {
        return; // in neither screen: nothing to do
    }
    uint8_t* state = content == eScreen_Camera       ? &m_liveState.cameraState
                     : content == eScreen_Document   ? &m_liveState.docState
                     : content == eScreen_Whiteboard ? &m_liveState.whiteboardState
                                                     : nullptr;
    if (state) *state &= 0x3F; // the position stays, the live bits go
}

void CMainWnd::OnLiveDoc(const LiveDocRecord* record)
{
    if (!record) return;
    LiveStateSetDocument(m_liveState, *record);
    LOG_INFO(L"On Live Doc---ID=%I64u,live=%d,page=%d,pos=%d", m_liveState.docId, IsLiveByte(m_liveState.docState),
             m_liveState.docPage, LivePosition(m_liveState.docState));
    // Showing the page needs the document window, which joins the client with the documents.
    if (!m_docLive) return;
}

void CMainWnd::OnLiveWhiteboard(const LiveWhiteboardRecord* record)
{
    if (!record) return;
    LiveStateSetWhiteboard(m_liveState, *record);
    const LiveState& l = m_liveState;
    LOG_INFO(L"On Live WB---live=%d,page=%d,pos=%d", IsLiveByte(l.whiteboardState), l.whiteboardTab,
             LivePosition(l.whiteboardState));
    if (!m_whiteboardLive) return;
    if ((l.flags & eLive_ScreenShare) || !IsLiveByte(l.whiteboardState)) {
        SwitchSourceOff(eScreen_Whiteboard);
        return;
    }
    int position = LivePosition(l.whiteboardState);
    bool inPlace = (position == kMainScreen && m_mainContent == eScreen_Whiteboard) ||
                   (position == kViceScreen && m_viceContent == eScreen_Whiteboard);
    if (!inPlace) {
        SwitchSourceOff(eScreen_Document);
        if (m_mainContent == eScreen_Whiteboard || m_viceContent == eScreen_Whiteboard) {
            // Moving screens: the old one lets go of the window first.
            int32_t keep = m_liveState.whiteboardState;
            SwitchSourceOff(eScreen_Whiteboard);
            m_liveState.whiteboardState = static_cast<uint8_t>(keep);
        }
        if (!EmbedInScreen(position, m_whiteboardLive, eScreen_Whiteboard)) {
            LOG_ERROR(L"On Live WB, pos = %d, return", position);
            return;
        }
    }
    ::PostMessageW(m_whiteboardLive, WM_USER_UI_NOTICE, 11, l.whiteboardTab);
}

void CMainWnd::OnLiveCamera(const LiveCameraRecord* record)
{
    if (!record) return;
    LiveStateSetCamera(m_liveState, *record);
    const LiveState& l = m_liveState;
    LOG_INFO(L"On Live Camera---live=%d,index=%d,pos=%d", IsLiveByte(l.cameraState), l.cameraIndex,
             LivePosition(l.cameraState));
    if (!m_videoLive) return;
    if ((l.flags & eLive_ScreenShare) || !IsLiveByte(l.cameraState)) {
        SwitchSourceOff(eScreen_Camera);
        return;
    }
    int position = LivePosition(l.cameraState);
    if (position != kMainScreen && position != kViceScreen) return;
    if (m_mainContent == eScreen_Camera || m_viceContent == eScreen_Camera) {
        uint8_t keep = m_liveState.cameraState;
        SwitchSourceOff(eScreen_Camera);
        m_liveState.cameraState = keep;
    }
    EmbedInScreen(position, m_videoLive, eScreen_Camera);
    ::UpdateWindow(m_hWnd);
    SessionContext* session = SessionContext::Instance();
    if (m_castmix && session && !IsStudentRole(session->role)) {
        m_castmix->useCamera = 1;
        m_castmix->UseConfiguredCamera();
        int kbps = m_castmix->kbps;
        if (position == kMainScreen) m_castmix->AdjVideoEncParam(640, 480, kbps);
        else m_castmix->AdjVideoEncParam(320, 240, kbps / 4);
    }
}

void CMainWnd::OnSwapScreens()
{
    if (m_liveState.flags & eLive_ScreenShare) return;
    LiveStateSwapPositions(m_liveState);
    CWinContainerUI* main = ScreenContainer(kMainScreen);
    CWinContainerUI* vice = ScreenContainer(kViceScreen);
    if (!main || !vice) return;
    HWND mainWindow = main->GetEmbedWindow(), viceWindow = vice->GetEmbedWindow();
    main->SetEmbedWindow(nullptr);
    vice->SetEmbedWindow(nullptr);
    main->SetEmbedWindow(viceWindow);
    vice->SetEmbedWindow(mainWindow);
    std::swap(m_mainContent, m_viceContent);
    main->SetVisible(viceWindow != nullptr);
    ShowViceScreen(mainWindow != nullptr);
}

void CMainWnd::ApplyLiveSources(bool sharedBefore)
{
    const LiveState l = m_liveState;
    if (sharedBefore && !(l.flags & eLive_ScreenShare)) SwitchSourceOff(eScreen_Share);
    if (l.flags & eLive_ScreenShare) return; // the share bar's side comes with the screen share
    if (IsLiveByte(l.docState)) {
        LiveDocRecord doc{l.docId, l.docPage, l.docState};
        OnLiveDoc(&doc);
    } else if (l.flags & eLive_Whiteboard) {
        LiveWhiteboardRecord board{l.whiteboardTab, l.whiteboardState};
        OnLiveWhiteboard(&board);
    }
    if (IsLiveByte(l.cameraState)) {
        LiveCameraRecord camera{l.cameraIndex, l.cameraState};
        OnLiveCamera(&camera);
    }
}

void CMainWnd::OnLivingState(const LiveState* state)
{
    if (!state) return;
    bool sharedBefore = (m_liveState.flags & eLive_ScreenShare) != 0;
    m_liveState = *state;
    SessionContext* session = SessionContext::Instance();
    const LiveState& l = m_liveState;
    LOG_INFO(L"User=%s; On Living State Changed--- wb(live--%d,page--%d,pos--%d); doc(live--%d,page--%d,pos--%d,"
             L"fileid=%I64u); camera(live--%d,index=%d,pos--%d)",
             session ? session->userName.GetString() : L"", IsLiveByte(l.whiteboardState), l.whiteboardTab,
             LivePosition(l.whiteboardState), IsLiveByte(l.docState), l.docPage, LivePosition(l.docState), l.docId,
             IsLiveByte(l.cameraState), l.cameraIndex, LivePosition(l.cameraState));
    // The screens are rebuilt from the new state: switching off must not touch it.
    LiveState kept = m_liveState;
    SwitchSourcesOff();
    m_liveState = kept;
    ApplyLiveSources(sharedBefore);
}
