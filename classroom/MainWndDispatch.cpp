// The main window's custom messages: one handler per number, and the rule that whatever record the
// poster allocated is freed here on every path, ignored messages included.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "classroom/PaintChangeRecord.h"
#include "controls/PaintObjects.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "dialogs/AboutWnd.h"
#include "dialogs/ChatRecordWnd.h"
#include "dialogs/DialogOpen.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/MessageBox.h"
#include "dialogs/SettingWnd.h"
#include "protocol/CmdProtocol.h"
#include "protocol/ProtocolMgr.h"

#include <new>

namespace {

// Frees the record of one posted message when it goes out of scope, unless released.
class PostedRecord {
public:
    PostedRecord(UINT message, WPARAM wParam, LPARAM lParam) : m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    ~PostedRecord() { Free(); }
    PostedRecord(const PostedRecord&) = delete;
    PostedRecord& operator=(const PostedRecord&) = delete;

    template <typename T>
    const T* As() const
    {
        return reinterpret_cast<const T*>(m_lParam);
    }
    void Release() { m_lParam = 0; }

private:
    void Free()
    {
        if (!m_lParam) return;
        switch (m_message) {
        case WM_USER_UI_NOTICE:
            if (m_wParam == 12) delete reinterpret_cast<DocPageList*>(m_lParam);
            break;
        case WM_USER_PANEL_ACTION: delete reinterpret_cast<WndMsgPayload*>(m_lParam); break;
        case WM_USER_PEN_CHANGED: delete reinterpret_cast<PaintPen*>(m_lParam); break;
        case WM_USER_PAINTOBJ_CHANGED: delete reinterpret_cast<PaintChangeRecord*>(m_lParam); break;
        case WM_USER_ERROR_BOX:
            if (m_wParam == 1) delete reinterpret_cast<uint64_t*>(m_lParam);
            break;
        case WM_USER_VIDEO_SIZE: break;      // the engine's own record
        case WM_USER_DOWNLOAD_RESULT: break; // goes back to the transfer session that posted it
        default: FreeRoomMessage(m_message, m_wParam, m_lParam); break;
        }
        m_lParam = 0;
    }

    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

} // namespace

LRESULT CMainWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    bHandled = TRUE;
    if (uMsg < WM_USER_UI_NOTICE || uMsg > WM_USER_VIDEO_SPEAK) {
        bHandled = FALSE;
        return 0;
    }
    PostedRecord record(uMsg, wParam, lParam);
    switch (uMsg) {
    case WM_USER_UI_NOTICE: bHandled = OnUiNotice(wParam, lParam); break;
    case WM_USER_PANEL_ACTION:
        OnPanelAction(wParam == 1, record.As<WndMsgPayload>());
        UpdatePenToolVisibility();
        break;
    case WM_USER_PEN_CHANGED: OnPenChanged(record.As<PaintPen>()); break;
    case WM_USER_PAINTOBJ_CHANGED: OnPaintChanged(record.As<PaintChangeRecord>()); break;
    case WM_USER_EMOTION_SELECTED: OnEmotionSelected(); break;
    case WM_USER_VOLUME: bHandled = OnVolume(wParam, lParam); break;
    case WM_USER_OPTION_MENU: bHandled = OnOptionMenu(wParam); break;
    case WM_USER_ERROR_BOX: bHandled = OnErrorBox(wParam, lParam); break;
    case WM_USER_CLEAR_PAGE:
        if (wParam == 1) OnClearPage();
        break;
    case WM_USER_VIDEO_SIZE: OnVideoSize(lParam); break;
    case WM_USER_CLOSE_CONFIRM: m_closeBlocked = lParam == 1; break;
    case WM_USER_SETTINGS_CHANGED: bHandled = OnSettingsChanged(wParam); break;
    case WM_USER_VIDEO_SPEAK_ACTION: OnVideoSpeakAction(wParam); break;
    case WM_USER_MIC_REQUEST: bHandled = OnMicRequest(wParam, lParam); break;
    case WM_USER_CONNECT_RESULT: OnConnectResult(wParam, lParam); break;
    case WM_USER_JOIN_ROOM_RESULT: OnJoinRoomResult(wParam, lParam); break;
    case WM_USER_UPDATE_NOTICE: OnUpdateNotice(wParam, record.As<CString>()); break;
    case WM_USER_ROOM_USERS: OnRoomUsers(wParam, lParam); break;
    case WM_USER_PRESENCE: OnPresence(wParam, record.As<PresenceRecord>()); break;
    case WM_USER_CHAT_MESSAGE: OnChatMessage(record.As<ChatMessageRecord>()); break;
    case WM_USER_OFFLINE: OnOffline(); break;
    case WM_USER_PAINT_LIST: OnPaintList(record.As<PaintObjectList>()); break;
    case WM_USER_LIVE_DOC: OnLiveDoc(record.As<LiveDocRecord>()); break;
    case WM_USER_LIVE_WHITEBOARD: OnLiveWhiteboard(record.As<LiveWhiteboardRecord>()); break;
    case WM_USER_PAINT_PEN: OnPaintPen(record.As<ReceivedPaintObject>()); break;
    case WM_USER_PAINT_STROKE:
    case WM_USER_PAINT_REMOVE: OnPaintChange(record.As<ReceivedPaintObject>()); break;
    case WM_USER_DOWNLOAD_RESULT: OnDownloadResult(wParam, reinterpret_cast<FileTransStatus*>(lParam)); break;
    case WM_USER_KICKED_OFF: OnRemovedFromRoom(32, L"You are Kicked off, the program will be terminated!"); break;
    case WM_USER_FILE_NOTICE:
        if (wParam == 0) OnFileNotice(record.As<FileNoticeRecord>());
        break;
    case WM_USER_FILE_LIST:
        if (wParam == 0) OnFileList(record.As<FileNoticeList>());
        break;
    case WM_USER_LIVE_CAMERA: OnLiveCamera(record.As<LiveCameraRecord>()); break;
    case WM_USER_COUNTDOWN: OnCountdown(record.As<uint32_t>()); break;
    case WM_USER_LOGGED_IN_ELSEWHERE:
        OnRemovedFromRoom(42, L"Your account has been logged in, please ensure account security");
        break;
    case WM_USER_LIVE_SCREEN_SHARE: OnLiveScreenShare(lParam != 0); break;
    case WM_USER_SWAP_SCREEN: OnSwapScreens(); break;
    case WM_USER_SPEAK_STATE: OnSpeakState(record.As<SpeakStateRecord>()); break;
    case WM_USER_CLASS_STATE: OnClassState(record.As<ClassStateRecord>()); break;
    case WM_USER_REFRESH_RESULT: OnRefreshResult(wParam, lParam); break;
    case WM_USER_FORBID_SPEAKING: OnForbidSpeaking(record.As<ForbidSpeakingRecord>()); break;
    case WM_USER_QUESTION:
    case WM_USER_WORD_ARRAY: break; // only freed
    case WM_USER_LIVING_STATE: OnLivingState(record.As<LiveState>()); break;
    case WM_USER_VIDEO_SPEAK: OnVideoSpeak(record.As<VideoSpeakRecord>()); break;
    default: bHandled = FALSE; break; // the login, chat pane, queue and document windows' numbers
    }
    return 0;
}

bool CMainWnd::OnUiNotice(WPARAM code, LPARAM lParam)
{
    SessionContext* session = SessionContext::Instance();
    switch (code) {
    case 6:
        SwapScreensAndTell();
        UpdatePenToolVisibility();
        return true;
    case 8:
        ToggleControlPanel();
        UpdatePenToolVisibility();
        return true;
    case 7: OnVideoClosed(); return true;
    case 11: OnWhiteboardTabChanged(static_cast<int>(lParam)); return true;
    case 12: OnDocumentPageChanged(reinterpret_cast<const DocPageList*>(lParam)); return true; // freed by the caller
    case kNoticeDrawingTool:
        PostToWindow(m_whiteboardLive, WM_USER_UI_NOTICE, kNoticeDrawingTool, lParam != 0);
        // A document's surface has one switch: the chosen tool reaches it as the tools' lock does.
        [[fallthrough]];
    case 17:
        if (m_penTool && m_docLive &&
            ((m_mainContent == eScreen_Document) || (m_viceContent == eScreen_Document)))
            PostToWindow(m_docLive, WM_USER_UI_NOTICE, 17, lParam != 0);
        return true;
    case 18: {
        // The picker hides itself when it loses the focus and says so here.
        auto* face = Find<COptionUI>(L"FaceCheck");
        if (face && face->GetInterface(L"Option")) face->Selected(lParam != 0, false);
        return true;
    }
    case 19:
    case 20: {
        auto* check = Find<COptionUI>(code == 19 ? L"MicCheck" : L"SoundCheck");
        if (check && check->GetInterface(L"Option")) check->Selected(lParam != 0);
        return true;
    }
    case 21:
        // The share bar closed or the class ran out: the teacher's share ends here, and the panel's
        // switch is cleared with it.
        if (session && IsTeacherRole(session->role) && (m_liveState.flags & 4)) {
            EndScreenShare();
            UpdatePenToolVisibility();
        }
        return true;
    default: return false;
    }
}

// The room hears of the teacher's own changes to what is live only while the class runs.
static bool ClassRuns()
{
    SessionContext* session = SessionContext::Instance();
    return session && session->room.roomState == 2;
}

void CMainWnd::OnVideoClosed()
{
    m_liveState.cameraState &= 0x3F;
    if (ClassRuns()) {
        const LiveState& l = m_liveState;
        if (!CProtocolMgr::Instance()->SendLiveCamera({l.cameraIndex, l.cameraState}))
            LOG_ERROR(L"the closed camera is not sent to the room");
        LOG_INFO(L"UI_CLOSE_VIDEO---Camera(live=%d,Index=%d,pos=%d)", IsLiveByte(l.cameraState) ? 1 : 0, l.cameraIndex,
                 LivePosition(l.cameraState));
    }
    SwitchSourceOff(eScreen_Camera);
    // The panel lets go of the camera too, or its camera button would stay refused.
    if (m_controlPanel) m_controlPanel->SourceOff(ePanel_Camera);
    UpdatePenToolVisibility();
}

void CMainWnd::OnWhiteboardTabChanged(int tab)
{
    if (tab <= 0 || tab == m_liveState.whiteboardTab) return;
    m_liveState.whiteboardTab = static_cast<uint16_t>(tab);
    if (!ClassRuns()) return;
    const LiveState& l = m_liveState;
    if (!CProtocolMgr::Instance()->SendLiveWhiteboard({l.whiteboardTab, l.whiteboardState}))
        LOG_ERROR(L"the whiteboard tab is not sent to the room");
    LOG_INFO(L"UI_WBTAB_CHANGED---WB(live=%d,page=%d,pos=%d)", IsLiveByte(l.whiteboardState) ? 1 : 0, l.whiteboardTab,
             LivePosition(l.whiteboardState));
}

void CMainWnd::OnDocumentPageChanged(const DocPageList* pages)
{
    if (!pages || pages->docId != m_liveState.docId) return;
    m_liveState.docPage = pages->currentPage;
    if (!ClassRuns()) return;
    const LiveState& l = m_liveState;
    if (l.docPage == 0) LOG_ERROR(L"What ? Main Wnd UI_DOCINFO_CHANGED msg.  PPT page = %d", l.docPage);
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendLiveDocument({l.docId, l.docPage, l.docState}))
        LOG_ERROR(L"the document page is not sent to the room");
    LOG_INFO(L"UI_DOCINFO_CHANGED---PPT(live=%d,ID=%I64d,page=%d,pos=%d)", IsLiveByte(l.docState) ? 1 : 0, l.docId,
             l.docPage, LivePosition(l.docState));
}

void CMainWnd::UpdatePenToolVisibility()
{
    if (!m_penTool) return;
    SessionContext* session = SessionContext::Instance();
    bool teacher = session && IsTeacherRole(session->role);
    bool shared = (m_liveState.flags & 4) != 0;
    if (m_mainContent < 0 || m_mainContent > 4) return;
    bool board = m_mainContent >= eScreen_Document;
    if (board && !shared && teacher) {
        ::SendMessageW(m_penTool, WM_USER_UI_NOTICE, 9, m_mainContent == eScreen_Whiteboard ? 0 : 1);
        if (!::IsWindowVisible(m_penTool)) {
            // Hidden, it did not follow the window: it comes back above the panel's button.
            PlacePenTool();
            // Raised as it shows: made with the main window, it would stay below it.
            ::SetWindowPos(m_penTool, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        }
    } else {
        ::ShowWindow(m_penTool, SW_HIDE);
    }
}

bool CMainWnd::OnVolume(WPARAM kind, LPARAM value)
{
    int percent = static_cast<int>(value);
    if (kind == 2) m_micVolume = percent;
    else if (kind == 1) m_speakerVolume = percent;
    else return false;
    if (m_castmix) m_castmix->SetVolume(percent, static_cast<int>(kind));
    return true;
}

bool CMainWnd::OnOptionMenu(WPARAM item)
{
    switch (item) {
    // One of each dialog at most; a second choice while it is open leaves it as it is.
    case 1:
        OpenDialogOnce<CSettingWnd>(m_hWnd, L"__LVSettingWnd__", [this] { return new (std::nothrow) CSettingWnd(m_hWnd); });
        return true;
    case 2:
        OpenDialogOnce<CChatRecordWnd>(m_hWnd, L"__LVChatRecordWnd__", [] { return new (std::nothrow) CChatRecordWnd; });
        return true;
    case 4:
        OpenDialogOnce<CAboutWnd>(m_hWnd, L"__LVAboutWnd__", [] { return new (std::nothrow) CAboutWnd; });
        return true;
    case 3: Close(); return true;
    default: return false;
    }
}

bool CMainWnd::OnSettingsChanged(WPARAM group)
{
    if (!m_castmix) return true;
    SessionContext* session = SessionContext::Instance();
    if (!session) return true;
    switch (group) {
    case 1: m_castmix->UseConfiguredCamera(); break;
    case 2: m_castmix->ChangeMic(session->options.microphoneId); break;
    case 3: m_castmix->ChangeSpeaker(session->options.speakerId); break;
    case 4: m_castmix->SetAudioProcess(); break;
    default: break;
    }
    return true;
}

void CMainWnd::OnVideoSize(LPARAM lParam)
{
    struct VideoSize {
        uint16_t width;
        uint16_t height;
    };
    const auto* size = reinterpret_cast<const VideoSize*>(lParam);
    if (!size) {
        LOG_ERROR(L"Video Wnd Size Changed, But the size param is Null.");
        return;
    }
    LOG_INFO(L"Video Wnd Size Change---width=%d, height=%d", size->width, size->height);
    if (SessionContext* session = SessionContext::Instance()) session->largeVideoSize = {size->width, size->height};
    ApplyReceivedVideoSize();
    if (m_castmix) {
        ::SetTimer(m_hWnd, eTimer_VideoReattach, 5000, nullptr);
        m_castmix->ChangeScreenWnd(m_videoLive);
    }
}

void CMainWnd::OnEmotionSelected()
{
    auto* face = Find<COptionUI>(L"FaceCheck");
    if (face && face->GetInterface(L"Option")) face->Selected(false);
    if (m_inputEdit && m_inputEdit->IsEnabled()) {
        m_inputEdit->SetFocus();
        if (!m_emotionPicker) return;
        CDuiString path = m_emotionPicker->GetSelectedImagePath();
        if (path.IsEmpty()) return;
        // The image goes to the room as its token when the message is sent.
        if (!m_inputEdit->InsertGif(path)) {
            LOG_ERROR(L"the emotion %s cannot be inserted into the input", path.GetData());
            return;
        }
        ::KillTimer(m_hWnd, eTimer_RepaintChat);
        ::SetTimer(m_hWnd, eTimer_RepaintChat, 100, nullptr);
    }
}

bool CMainWnd::OnErrorBox(WPARAM kind, LPARAM lParam)
{
    CString text;
    switch (kind) {
    case 1: OnDownloadErrorBox(reinterpret_cast<const uint64_t*>(lParam)); return true;
    case 3:
    case 4:
        if (HasLanguageTable()) text.Format(L"%s(%ld)", LangText(kind == 3 ? 79 : 80, L"").GetString(), static_cast<long>(lParam));
        else text.Format(kind == 3 ? L"Start Record Failed! [%ld]" : L"End Record Failed! [%ld]", static_cast<long>(lParam));
        break;
    case 5:
    {
        // What the recording option needs and is not live: 1 a board and the camera, 2 a board, 3 the camera.
        static const wchar_t* const kMissing[] = {L"Recording needs a live document or whiteboard and the live camera",
                                                  L"Recording needs a live document or whiteboard",
                                                  L"Recording needs the live camera"};
        if (lParam >= 1 && lParam <= 3) text = LangText(81 + static_cast<int>(lParam), kMissing[lParam - 1]);
        break;
    }
    default: return false;
    }
    ShowMessageBox(m_hWnd, text, LangText(29, L"Error"), 0);
    return true;
}

void CMainWnd::PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && ::IsWindow(window)) ::PostMessageW(window, message, wParam, lParam);
}
