// Which live source the main and vice screens show: received live notices place the whiteboard and
// the camera video, a swap exchanges the screens, switching off empties them.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "controls/PosLayouts.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "classroom/DocWnd.h"

#include <algorithm>
#include <new>

namespace {

const int kMainScreen = 1;
const int kViceScreen = 2;

// The screens a live position can name; any other value names none.
bool IsScreen(int position) { return position == kMainScreen || position == kViceScreen; }

// Hands a heap record to a window; it is freed here when it cannot be posted.
template <typename Record>
void PostOwned(HWND window, UINT message, WPARAM code, Record* record)
{
    if (!record) return;
    if (!window || !::IsWindow(window) || !::PostMessageW(window, message, code, reinterpret_cast<LPARAM>(record)))
        delete record;
}

} // namespace

void CMainWnd::ReleaseScreenOf(int32_t content)
{
    // The source moves rather than ends: its live bits and the engine's camera stay as they are.
    EmptyScreenOf(content);
}

bool CMainWnd::InScreen(int32_t content) const
{
    return content != eScreen_None && (m_mainContent == content || m_viceContent == content);
}

bool CMainWnd::EmptyScreenOf(int32_t content)
{
    if (content == eScreen_None) return false;
    int position = m_mainContent == content ? kMainScreen : m_viceContent == content ? kViceScreen : -1;
    if (position < 0) return false;
    CWinContainerUI* container = ScreenContainer(position);
    // The window leaves the screen with its content: a container that lets go of it no longer hides it.
    if (container) HideHostedWindow(container);
    if (position == kMainScreen) {
        if (container) {
            container->SetEmbedWindow(nullptr);
            container->SetVisible(false);
        }
        m_mainContent = eScreen_None;
    } else {
        ShowViceScreen(false);
        if (container) container->SetEmbedWindow(nullptr);
        m_viceContent = eScreen_None;
    }
    return true;
}

void CMainWnd::HideHostedWindow(CWinContainerUI* container)
{
    HWND hosted = container->GetEmbedWindow();
    if (hosted && ::IsWindow(hosted)) ::ShowWindow(hosted, SW_HIDE);
}

CWinContainerUI* CMainWnd::ScreenContainer(int position) const
{
    auto* container = Find<CWinContainerUI>(position == kMainScreen ? L"MainScreenCtner" : L"ViceScreenCtner");
    return container && container->GetInterface(L"WinContainer") ? container : nullptr;
}

bool CMainWnd::EmbedInScreen(int position, HWND window, int32_t content)
{
    CWinContainerUI* container = ScreenContainer(position);
    if (!container || !IsScreen(position)) return false;
    if (container->GetEmbedWindow() != window) HideHostedWindow(container); // one window a screen
    container->SetEmbedWindow(window);
    if (position == kMainScreen) {
        m_mainContent = content;
        container->SetVisible(true);
    } else {
        m_viceContent = content;
        ShowViceScreen(true);
    }
    // A vice area that was open already shows nothing new by itself.
    if (window && ::IsWindow(window) && container->IsVisible()) ::ShowWindow(window, SW_SHOW);
    return true;
}

void CMainWnd::ShowViceScreen(bool show)
{
    CControlUI* right = m_PaintManager.FindControl(L"RightPart");
    if (show && right && !right->IsVisible()) {
        // Opened as its button opens it, so the button shows the open state too.
        if (CControlUI* button = m_PaintManager.FindControl(L"RightCtrlBtn")) TogglePart(L"RightPart", button, false);
        else right->SetVisible(true);
    }
    SetVisible(L"ViceScreenArea", show);
    SetVisible(L"TeacherInfo", !show);
    SessionContext* session = SessionContext::Instance();
    if (m_viceCover && session && IsTeacherRole(session->role)) {
        PlaceViceCover();
        ::ShowWindow(m_viceCover, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    }
}

void CMainWnd::SwitchSourcesOff()
{
    if (m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
    if (m_viceContent != eScreen_None) SwitchSourceOff(m_viceContent);
}

void CMainWnd::SwitchEndedSourcesOff(const LiveState& shownBefore, bool showsReply)
{
    const LiveState reply = m_liveState;
    if (!showsReply) {
        // A first join shows this role nothing of the reply: nothing shown before stays either.
        SwitchSourcesOff();
        m_liveState = reply;
        return;
    }
    // A document and a whiteboard both marked live show as the document: the board ends there too.
    const bool docLive = IsLiveByte(reply.docState);
    const bool boardLive = !docLive && (reply.flags & eLive_Whiteboard) && IsLiveByte(reply.whiteboardState);
    // Another document is another source: the old one ends, and a teacher's panel lets its thumbnail go.
    const bool docKept = docLive && reply.docId == shownBefore.docId;
    // What stays live keeps its screen and, for a teacher, the engine's camera: the room's video goes on
    // through the rejoin. The room told us what ended, so it is not told back.
    if (!IsLiveByte(reply.cameraState)) TurnSourceOff(ePanel_Camera, false);
    if (!docKept) TurnSourceOff(ePanel_Document, false);
    if (!boardLive) TurnSourceOff(ePanel_Whiteboard, false);
    m_liveState = reply;
}

void CMainWnd::SwitchSourceOff(int32_t content)
{
    if (!InScreen(content)) return; // in neither screen: nothing to do, the capture device keeps running
    SessionContext* session = SessionContext::Instance();
    if (content == eScreen_Camera && m_castmix && session && !IsStudentRole(session->role)) {
        m_castmix->useCamera = 0;
        m_castmix->SetCameraEnabled(false, nullptr);
    }
    EmptyScreenOf(content);
    uint8_t* state = content == eScreen_Camera       ? &m_liveState.cameraState
                     : content == eScreen_Document   ? &m_liveState.docState
                     : content == eScreen_Whiteboard ? &m_liveState.whiteboardState
                                                     : nullptr;
    if (state) *state &= 0x3F; // the position stays, the live bits go
}

void CMainWnd::TurnSourceOff(int32_t kind, bool tellRoom)
{
    int32_t content = kind == ePanel_Camera ? eScreen_Camera : kind == ePanel_Document ? eScreen_Document
                      : kind == ePanel_Whiteboard ? eScreen_Whiteboard : eScreen_None;
    if (!InScreen(content)) return;
    SwitchSourceOff(content);
    SessionContext* session = SessionContext::Instance();
    if (m_controlPanel && session && IsTeacherRole(session->role)) m_controlPanel->SourceOff(kind);
    if (tellRoom) InformLiveChanged(kind);
}

void CMainWnd::OnLiveDoc(const LiveDocRecord* record)
{
    if (!record) return;
    LiveStateSetDocument(m_liveState, *record);
    const LiveState& l = m_liveState;
    LOG_INFO(L"On Live Doc---ID=%I64u,live=%d,page=%d,pos=%d", l.docId, IsLiveByte(l.docState), l.docPage,
             LivePosition(l.docState));
    if (!m_docLive) return;
    if ((l.flags & eLive_ScreenShare) || !IsLiveByte(l.docState)) {
        SwitchSourceOff(eScreen_Document);
        return;
    }
    DocPageList pages;
    int found = LookUpDocument(l.docId, pages);
    pages.currentPage = std::min<uint16_t>(l.docPage, pages.pageCount);
    if (found == 1 || found == 3) {
        // Listed but not here yet, or not listed at all: the window shows the download.
        PostOwned(m_docLive, WM_USER_UI_NOTICE, eDocNotice_DownloadStart, new (std::nothrow) uint64_t(l.docId));
    } else if (found == 2) {
        LOG_ERROR(L"on live doc, but the ppt information is wrong!");
    }
    SwitchSourceOff(eScreen_Whiteboard);
    int position = LivePosition(l.docState);
    // A screen the window does not have: the document stays where it is rather than leaving its screen.
    if (!IsScreen(position)) {
        LOG_ERROR(L"On Live Doc, pos = %d, return", position);
        return;
    }
    bool inPlace = (position == kMainScreen && m_mainContent == eScreen_Document) ||
                   (position == kViceScreen && m_viceContent == eScreen_Document);
    if (!inPlace) {
        ReleaseScreenOf(eScreen_Document);
        if (!EmbedInScreen(position, m_docLive, eScreen_Document)) {
            LOG_ERROR(L"On Live Doc, pos = %d, return", position);
            return;
        }
    }
    if (found != 0) {
        LOG_INFO(L"On Live Doc, Get Doc Infor, code = %d", found);
        return;
    }
    PostOwned(m_docLive, WM_USER_UI_NOTICE, eDocNotice_DocInfo, new (std::nothrow) DocPageList(pages));
}

int CMainWnd::LookUpDocument(uint64_t docId, DocPageList& out) const
{
    std::lock_guard<std::mutex> lock(m_documentsLock);
    const FileItemRecord* item = FindDocumentLocked(docId);
    if (!item) return 3;
    if (!item->flag) return 1;
    const ParamList& pages = item->pages;
    if (!pages.pageCount || !pages.currentPage || pages.values.empty()) return 2;
    static_cast<ParamList&>(out) = pages;
    out.docId = docId;
    return 0;
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
    SessionContext* session = SessionContext::Instance();
    if (session && IsTeacherRole(session->role) && m_controlPanel && ::IsWindow(m_controlPanel->GetHWND())) {
        // A teacher's panel shows the board as switched on. A switch that was clear is checked
        // without its notification, so the board is placed below all the same.
        m_controlPanel->CheckWhiteboard();
    }
    if (!inPlace) {
        SwitchSourceOff(eScreen_Document);
        // A screen the window does not have: the board stays where it is.
        if (!IsScreen(position)) {
            LOG_ERROR(L"On Live WB, pos = %d, return", position);
            return;
        }
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
    if (!IsScreen(position)) return;
    ReleaseScreenOf(eScreen_Camera);
    EmbedInScreen(position, m_videoLive, eScreen_Camera);
    ::UpdateWindow(m_hWnd);
    ApplyReceivedVideoSize();
    SessionContext* session = SessionContext::Instance();
    if (m_castmix && session && !IsStudentRole(session->role)) {
        m_castmix->useCamera = 1;
        m_castmix->UseConfiguredCamera();
        SetCameraEncoder(position);
    }
}

void CMainWnd::SetCameraEncoder(int position)
{
    if (!m_castmix) return;
    // The vice screen is a quarter of the main one: a quarter of the bit rate is enough.
    int kbps = m_castmix->kbps;
    if (position == kMainScreen) m_castmix->AdjVideoEncParam(640, 480, kbps);
    else m_castmix->AdjVideoEncParam(320, 240, kbps / 4);
}

void CMainWnd::RefreshEngineOutput()
{
    if (!m_castmix) return;
    m_castmix->SetVolume(m_micVolume, 2);
    m_castmix->SetVolume(m_speakerVolume, 1);
    m_castmix->ChangeScreenWnd(m_videoLive);
    // The engine may not have the window's final place yet: it is handed the window once more.
    ::SetTimer(m_hWnd, eTimer_VideoReattach, 5000, nullptr);
}

void CMainWnd::EngineToShareBar()
{
    if (!m_castmix || !m_castmix->engine) return;
    // The margins leave out the bar's frame and caption.
    long result = Castmix_ChangeSource2Wnd(m_castmix->engine, m_shareScreen, 5, 4, 5, 27, 5, 5);
    if (result < 0) LOG_ERROR(L"the engine cannot send the shared screen, code %ld", result);
    RefreshEngineOutput();
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
    if (!InScreen(eScreen_Camera)) return;
    // The camera changed screens: its shape, the engine's window and the encoder follow it.
    ApplyReceivedVideoSize();
    if (m_castmix) m_castmix->ChangeScreenWnd(m_videoLive);
    SetCameraEncoder(m_mainContent == eScreen_Camera ? kMainScreen : kViceScreen);
}

void CMainWnd::ApplyLiveSources(bool sharedBefore)
{
    const LiveState l = m_liveState;
    if (sharedBefore && !(l.flags & eLive_ScreenShare)) {
        SwitchScreenShareOff();
        return; // switching the share off re-applies the live sources itself
    }
    if (l.flags & eLive_ScreenShare) {
        OnLiveScreenShare(true);
        return;
    }
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

#include "protocol/ProtocolMgr.h"

void CMainWnd::InformLiveChanged(int32_t kind)
{
    SessionContext* session = SessionContext::Instance();
    if (!session || session->room.roomState != 2) return;
    CProtocolMgr* manager = CProtocolMgr::Instance();
    const LiveState& l = m_liveState;
    bool sent = true;
    if (kind == ePanel_Camera) {
        LOG_INFO(L"Inform Live Changed---Camera(live=%d,Index=%d,pos=%d)", IsLiveByte(l.cameraState), l.cameraIndex,
                 LivePosition(l.cameraState));
        sent = manager->SendLiveCamera({l.cameraIndex, l.cameraState});
    } else if (kind == ePanel_Whiteboard) {
        LOG_INFO(L"Inform Live Changed---WB(live=%d,page=%d,pos=%d)", IsLiveByte(l.whiteboardState), l.whiteboardTab,
                 LivePosition(l.whiteboardState));
        sent = manager->SendLiveWhiteboard({l.whiteboardTab, l.whiteboardState});
    } else if (kind == ePanel_Document) {
        if (l.docPage == 0) LOG_ERROR(L"What ? Inform live changed, PPT page = %d", l.docPage);
        LOG_INFO(L"Inform Live Changed---PPT(live=%d,ID=%I64d,page=%d,pos=%d)", IsLiveByte(l.docState), l.docId,
                 l.docPage, LivePosition(l.docState));
        CCmdProtocol* channel = manager->Channel();
        sent = channel && channel->SendLiveDocument({l.docId, l.docPage, l.docState});
    } else if (kind == ePanel_ScreenShare) {
        sent = manager->SendLiveScreenShare((l.flags & eLive_ScreenShare) != 0);
    }
    if (!sent) LOG_ERROR(L"live change of kind %d not sent to the room", kind);
}

int CMainWnd::BoardScreenForSwitchOn() const
{
    bool viceBoard = m_viceContent == eScreen_Document || m_viceContent == eScreen_Whiteboard;
    bool mainFree = m_mainContent == eScreen_None || m_mainContent == eScreen_Document ||
                    m_mainContent == eScreen_Whiteboard;
    if (viceBoard) return kViceScreen;
    return mainFree ? kMainScreen : kViceScreen;
}

void CMainWnd::OnPanelAction(bool on, const WndMsgPayload* action)
{
    if (!action || action->kind < ePanel_Camera || action->kind > ePanel_ScreenShare) return;
    int32_t kind = action->kind;
    if (!on) {
        if (kind != ePanel_ScreenShare) TurnSourceOff(kind);
        else if (m_liveState.flags & eLive_ScreenShare) EndScreenShare();
        return;
    }
    if (kind == ePanel_Camera) {
        if (!m_videoLive) return;
        bool viceBoard = m_viceContent == eScreen_Document || m_viceContent == eScreen_Whiteboard;
        int position = (m_mainContent == eScreen_Camera || viceBoard) ? kMainScreen : kViceScreen;
        ReleaseScreenOf(eScreen_Camera);
        if (position == kMainScreen && m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
        EmbedInScreen(position, m_videoLive, eScreen_Camera);
        ::UpdateWindow(m_hWnd);
        ApplyReceivedVideoSize();
        const int32_t* index = action->Camera();
        LiveCameraRecord camera{static_cast<uint8_t>(index ? *index : 0), static_cast<uint8_t>(64 | position)};
        LiveStateSetCamera(m_liveState, camera);
        SessionContext* session = SessionContext::Instance();
        if (m_castmix && session && !IsStudentRole(session->role)) {
            m_castmix->useCamera = 1;
            m_castmix->UseConfiguredCamera();
            RefreshEngineOutput();
            SetCameraEncoder(position);
        }
    } else if (kind == ePanel_Whiteboard) {
        if (!m_whiteboardLive) return;
        const uint16_t* page = action->WhiteboardPage();
        int position = BoardScreenForSwitchOn();
        TurnSourceOff(ePanel_Document);
        ReleaseScreenOf(eScreen_Whiteboard);
        if (position == kMainScreen && m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
        EmbedInScreen(position, m_whiteboardLive, eScreen_Whiteboard);
        LiveWhiteboardRecord board{page && *page ? *page : m_liveState.whiteboardTab, static_cast<uint8_t>(64 | position)};
        LiveStateSetWhiteboard(m_liveState, board);
        ::PostMessageW(m_whiteboardLive, WM_USER_UI_NOTICE, 11, m_liveState.whiteboardTab);
    } else if (kind == ePanel_Document) {
        const DocPageList* offered = action->Document();
        if (!m_docLive || !offered) return;
        DocPageList pages = *offered;
        // The document already live keeps its live page.
        const LiveState& l = m_liveState;
        if (IsLiveByte(l.docState) && pages.docId == l.docId && l.docPage >= 1 && l.docPage <= pages.pageCount &&
            l.docPage != pages.currentPage)
            pages.currentPage = l.docPage;
        PostOwned(m_docLive, WM_USER_UI_NOTICE, eDocNotice_DocInfo, new (std::nothrow) DocPageList(pages));
        PostToWindow(m_penTool, WM_USER_UI_NOTICE, 10, 1);
        int position = BoardScreenForSwitchOn();
        TurnSourceOff(ePanel_Whiteboard);
        ReleaseScreenOf(eScreen_Document);
        if (position == kMainScreen && m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
        EmbedInScreen(position, m_docLive, eScreen_Document);
        LiveDocRecord doc{pages.docId, pages.currentPage, static_cast<uint8_t>(64 | position)};
        LiveStateSetDocument(m_liveState, doc);
    } else if (!StartScreenShare()) {
        return;
    }
    InformLiveChanged(kind);
}

void CMainWnd::OnLiveScreenShare(bool on)
{
    if (on) m_liveState.flags |= eLive_ScreenShare;
    else m_liveState.flags &= ~eLive_ScreenShare;
    LOG_INFO(L"On Live Screen Share---live=%d", on ? 1 : 0);
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    if (!on) {
        SwitchScreenShareOff();
        return;
    }
    if (IsTeacherRole(session->role)) {
        if (!m_controlPanel || !m_shareScreen) return;
        // The room confirms the teacher's own share: the engine is pointed at the bar once more.
        if (m_controlPanel->SetScreenShare(true)) EngineToShareBar();
        return;
    }
    if (!m_videoLive) return;
    if (m_viceContent == eScreen_Camera) {
        uint8_t keep = m_liveState.cameraState;
        SwitchSourceOff(eScreen_Camera);
        m_liveState.cameraState = keep;
    }
    if (m_mainContent == eScreen_Camera) return; // already fills the main screen
    if (m_mainContent != eScreen_None) {
        LiveState keep = m_liveState;
        SwitchSourceOff(m_mainContent);
        m_liveState = keep;
    }
    EmbedInScreen(kMainScreen, m_videoLive, eScreen_Camera);
}

void CMainWnd::SwitchScreenShareOff()
{
    m_liveState.flags &= ~eLive_ScreenShare;
    SessionContext* session = SessionContext::Instance();
    LiveState keep = m_liveState;
    if (session && IsTeacherRole(session->role)) {
        if (m_shareScreen) ::ShowWindow(m_shareScreen, SW_HIDE);
        // Ended by the room too: a switch left checked would take the next click to share as an end.
        if (m_controlPanel) m_controlPanel->SourceOff(ePanel_ScreenShare);
        ShowWindow(true);
        ShowHiddenPopups();
        ApplyReceivedVideoSize();
    } else if (m_mainContent != eScreen_None) {
        // The shared screen came through the camera's window.
        SwitchSourceOff(m_mainContent);
        m_liveState = keep;
    }
    // What is still live takes the screens again.
    ApplyLiveSources(false);
    m_liveState = keep;
    if (m_castmix && m_castmix->engine) Castmix_ChangeSourceType(m_castmix->engine, 1);
}

bool CMainWnd::StartScreenShare()
{
    if (!m_shareScreen || !::IsWindow(m_shareScreen) || (m_liveState.flags & eLive_ScreenShare)) return false;
    HideOwnedPopups();
    ShowWindow(false);
    // The bar shows itself and starts its clock before the engine captures through it.
    ::SendMessageW(m_shareScreen, WM_USER_UI_NOTICE, 25, 0);
    m_liveState.flags |= eLive_ScreenShare;
    ApplyReceivedVideoSize();
    SessionContext* session = SessionContext::Instance();
    if (session && !IsStudentRole(session->role)) EngineToShareBar();
    LOG_INFO(L"screen share started");
    return true;
}

void CMainWnd::EndScreenShare()
{
    SwitchScreenShareOff();
    LOG_INFO(L"screen share ended");
    InformLiveChanged(ePanel_ScreenShare);
}

namespace {

struct OwnedPopups {
    HWND owner;
    std::vector<HWND>* visible;
};

BOOL CALLBACK CollectVisibleOwned(HWND window, LPARAM param)
{
    auto* popups = reinterpret_cast<OwnedPopups*>(param);
    if (::GetWindow(window, GW_OWNER) == popups->owner && ::IsWindowVisible(window)) popups->visible->push_back(window);
    return TRUE;
}

} // namespace

void CMainWnd::HideOwnedPopups()
{
    m_hiddenPopups.clear();
    OwnedPopups popups{m_hWnd, &m_hiddenPopups};
    ::EnumWindows(CollectVisibleOwned, reinterpret_cast<LPARAM>(&popups));
    for (HWND popup : m_hiddenPopups) ::ShowWindow(popup, SW_HIDE);
}

void CMainWnd::ShowHiddenPopups()
{
    for (HWND popup : m_hiddenPopups)
        if (::IsWindow(popup) && ::GetWindow(popup, GW_OWNER) == m_hWnd) ::ShowWindow(popup, SW_SHOWNOACTIVATE);
    m_hiddenPopups.clear();
}

void CMainWnd::ApplyReceivedVideoSize()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    SIZE size = session->largeVideoSize;
    if (size.cx <= 0 || size.cy <= 0 || m_mainContent != eScreen_Camera || !m_videoLive || !::IsWindowVisible(m_videoLive))
        return;
    auto* container = Find<CWinContainerUI>(L"MainScreenCtner");
    if (!container || !container->GetInterface(L"WinContainer")) {
        LOG_ERROR(L"Change Video Wnd Size, but get main Screen container failed.");
        return;
    }
    if (container->GetEmbedWindow() != m_videoLive) {
        LOG_ERROR(L"Change Video Wnd Size, but main live arem embed wnd is not video wnd. return.");
        return;
    }
    container->SetContentSize(static_cast<UINT>(size.cx), static_cast<UINT>(size.cy));
    container->SetKeepAspect((m_liveState.flags & eLive_ScreenShare) == 0);
}

void CMainWnd::SwapScreensAndTell()
{
    if (m_liveState.flags & eLive_ScreenShare) return;
    OnSwapScreens();
    SessionContext* session = SessionContext::Instance();
    if (!session || !IsTeacherRole(session->role) || session->room.roomState != 2) return;
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendPacket(eType_SwapScreen, nullptr, 0, session->room.roomId))
        LOG_ERROR(L"screen swap not sent to the room");
}
