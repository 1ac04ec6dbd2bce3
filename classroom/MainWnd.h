// The classroom window: one per process, created by start-up and alive until the client ends. Its
// implementation is split by area: MainWnd.cpp (creation, teardown, frame), MainWndDispatch.cpp (the
// posted messages), MainWndRoom.cpp (connection, entry, presence), MainWndChat.cpp (chat),
// MainWndClass.cpp (class state and timers), MainWndRecord.cpp (recording), MainWndActions.cpp (the
// skin's notifications).
#pragma once
// The message list comes before the engine header, which names one of them as a macro.
#include "core/WindowMessages.h"
#include "core/Records.h"
#include "core/SlicedQueue.h"
#include "platform/ui/UIlib.h"
#include "protocol/RoomRecords.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

class CLoginWnd;
class CStudentList;
class CRichEditUI;
class CChatRecordsTask;
class CControlPanelWnd;
class CEmotionWnd;
class CDocWnd;
class CWinContainerUI;
class CFileTransSession;
struct FileTransStatus;
struct CastmixSession;
struct _RecParam;

// Content codes of the main and vice screens.
enum ScreenContent : int32_t {
    eScreen_None = 0,
    eScreen_Camera = 1,
    eScreen_Document = 2,
    eScreen_Whiteboard = 3,
    eScreen_Share = 4,
};

// The window's timers.
enum MainTimer : UINT {
    eTimer_Mute = 1,
    eTimer_Reconnect = 2,
    eTimer_RepaintChat = 3,
    eTimer_ClassClock = 4,
    eTimer_Countdown = 5,
    eTimer_VideoReattach = 6,
    eTimer_LevelMeters = 7,
    eTimer_DownloadRetry = 8,
};

// The output is cleared when shown messages and system lines reach this many together.
const int kChatOutputLimit = 300;
// Posted to the main window itself: the next slice of queued output lines.
const UINT WM_MAINWND_SHOW_OUTPUT = WM_APP + 0x120;
// Posted to the main window itself: the next slice of the room's file notices and download starts.
const UINT WM_MAINWND_DOWNLOAD_TURN = WM_APP + 0x121;
// Downloads that run at once; the others wait in the window's start queue.
const size_t kMaxRunningDownloads = 4;
// Downloads whose start failed and that wait out the second before the next attempt, at most.
const size_t kMaxRetryWaits = 8;

class CMainWnd : public WindowImplBase {
public:
    CMainWnd();
    ~CMainWnd() override;

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleMainWnd__"; }
    CDuiString GetSkinFolder() override { return L"skin\\"; }
    CDuiString GetSkinFile() override { return L"MainWnd.xml"; }
    UILIB_RESOURCETYPE GetResourceType() const override { return UILIB_FILE; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    // Opens the login window, hides this one and reads the launch link.
    void StartLogin();
    // The login window while it is open, found by its class (it closes itself).
    static HWND FindLoginWindow();

    // What the window shows, for the rest of the client and for tests.
    const LiveState& GetLiveState() const { return m_liveState; }
    bool IsJoined() const { return m_joined; }
    bool IsClassOver() const { return m_classOver; }
    bool IsMuted() const { return m_muted; }
    bool IsCloseBlocked() const { return m_closeBlocked; }
    bool IsRecording() const { return m_recording; }
    int GetSpeakerVolume() const { return m_speakerVolume; }
    int GetMicVolume() const { return m_micVolume; }
    int32_t GetMainContent() const { return m_mainContent; }
    int32_t GetViceContent() const { return m_viceContent; }
    uint32_t GetClassClock() const { return m_classClock; }
    uint32_t GetClassLeftSeconds() const { return m_classLeftSeconds; }
    int GetChatCount() const { return m_chatCount; }
    int GetSystemLineCount() const { return m_systemCount; }
    const ChatFont& GetChatFont() const { return m_chatFont; }
    CStudentList* GetRoster() const { return m_roster; }
    CChatRecordsTask* GetChatRecordsTask() const { return m_chatTask.get(); }
    CastmixSession* GetCastmixSession() const { return m_castmix.get(); }
    HWND ControlPanelWindow() const;
    HWND ControlPanelButton() const { return m_controlPanelButton; }
    HWND PenToolWindow() const { return m_penTool; }
    HWND ShareScreenWindow() const { return m_shareScreen; }
    HWND VideoLiveWindow() const { return m_videoLive; }
    HWND WhiteboardWindow() const { return m_whiteboardLive; }
    HWND SpeakerVideoWindow() const { return m_speakerVideo; }
    HWND VideoSpeakCoverWindow() const { return m_videoSpeakCover; }
    HWND DocumentWindow() const { return m_docLive; }
    CDocWnd* DocumentView() const { return m_docLive && ::IsWindow(m_docLive) ? m_docView : nullptr; }
    CEmotionWnd* EmotionPicker() const { return m_emotionPicker.get(); }

    // The room's documents and the running downloads.
    size_t GetDocumentCount() const;
    bool GetDocument(uint64_t fileId, FileItemRecord& out) const;
    size_t GetDownloadCount() const;

    // Shows a line as a system message in the output (not after the class is over).
    void AddSystemText(const CString& text);
    // A room notice as system text: in the output and, for a teacher sharing the screen, on the share bar.
    void ShowSystemText(const CString& text);

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override;
    virtual LRESULT OnMove(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnTimer(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);

private:
    // Dispatch of the posted messages (MainWndDispatch.cpp).
    bool OnUiNotice(WPARAM code, LPARAM lParam);
    bool OnVolume(WPARAM kind, LPARAM value);
    bool OnOptionMenu(WPARAM item);
    bool OnSettingsChanged(WPARAM group);
    void OnVideoSize(LPARAM lParam);
    void OnEmotionSelected();
    void OpenEmotionPicker(CControlUI* button);
    bool OnErrorBox(WPARAM kind, LPARAM lParam);
    void UpdatePenToolVisibility();
    // The teacher's own changes of what is live (notices 7, 11, 12), told to the room while the class runs.
    void OnVideoClosed();
    void OnWhiteboardTabChanged(int tab);
    void OnDocumentPageChanged(const DocPageList* pages);

    // Connection, room entry and presence (MainWndRoom.cpp).
    void StartConnection();
    void OnConnectResult(WPARAM ok, LPARAM error);
    void OnJoinRoomResult(WPARAM ok, LPARAM lParam);
    void OnJoinedRoom();
    // Whether a join reply's live sources go into this user's screens: a teacher's always, a student's
    // while the class runs.
    bool JoinShowsLiveSources() const;
    void SetupRoleControls();
    void ShowClassButtons(bool running);
    void SendFirstQueries();
    void OnRoomUsers(WPARAM ok, LPARAM lParam);
    void OnPresence(WPARAM kind, const PresenceRecord* record);
    void OnOffline();
    void OnReconnectTimer();
    void OnRefreshResult(WPARAM ok, LPARAM lParam);
    // Joins the engine's room on the session's stream node (first join and every refresh).
    void JoinMediaSession();
    void OnUpdateNotice(WPARAM wParam, const CString* strings);
    void OnRemovedFromRoom(int textId, const wchar_t* english);
    // Closes the window whatever the user is doing (thrown out, logged in elsewhere, update).
    void CloseForced();
    void UpdateStudentCount();
    void SetLoginStatus(const CString& text);
    void SetChatInputEnabled(bool enabled);

    // Chat (MainWndChat.cpp).
    void SendChatText();
    void OnChatMessage(const ChatMessageRecord* record);
    void ShowChatMessage(const UserRecord& sender, const ChatFont& font, const CString& text);
    // Writes queued output lines for one slice of time; what is left waits for the next posted turn.
    void ShowPendingOutput();
    void SchedulePendingOutput();
    void WriteOutputSlice();
    void WriteSystemLine(const CString& text);
    bool CountMessageOrClear();
    void ClearOutput();
    void TrimOutput(const UserRecord& sender);
    void WriteMessageToOutput(const UserRecord& sender, const ChatFont& font, const CString& text, const CString& time);
    void WriteBodyWithEmotions(const CString& text);
    void PostSystemTextToShareBar(const CString& text);
    void LoadChatFont();
    void FillFontControls();
    void ApplyChatFont();
    void QueueChatRecord(const UserRecord& sender, const ChatFont& font, const CString& text, const CString& time);

    // Class state and timers (MainWndClass.cpp).
    void OnClassState(const ClassStateRecord* record);
    void OnCountdown(const uint32_t* seconds);
    void OnCountdownTick();
    void OnClassClockTick();
    void OnForbidSpeaking(const ForbidSpeakingRecord* record);
    void OnLevelMeters();
    void EnterClassOver();
    void OnClassBegin();
    void OnClassEnd();
    void OnSwitchNetwork();
    // The teacher's "AllowDiscuss" and "ModelChoose" as the flags say; no command goes out.
    void ShowRoomFlags(uint32_t flags);
    void ApplyRoomFlags(uint32_t flags);
    void SetSwitchNetworkVisible();

    // Room documents (MainWndDownloads.cpp).
    // Notices are handled in slices of the window's time, in arrival order (see TakeFileNotices).
    void OnFileNotice(const FileNoticeRecord* notice);
    void OnFileList(const FileNoticeList* notices);
    void TakeFileNotices(DWORD turnBegun);
    void HandleFileNotice(const FileNoticeRecord& notice, const CString& saveFolder,
                          const std::map<uint64_t, ParamList>& stored);
    // Queues the document's download (three start attempts, a second apart) unless it is running or
    // queued already; retries of the error box go first.
    void QueueDownload(const FileItemRecord& entry, bool first);
    // Starts queued downloads while fewer than kMaxRunningDownloads run and fewer than kMaxRetryWaits
    // wait for a retry.
    bool CanStartQueued() const;
    void StartQueuedDownloads(DWORD turnBegun);
    void OnDownloadRetryTimer();
    // One turn of the work above, about a slice of the window's time; the next turn is posted while
    // work is left, so the window's pump runs in between.
    void RunDownloadTurn();
    void ScheduleDownloadTurn();
    void ArmRetryTimer();
    void PostDownloadErrorBox(uint64_t fileId);
    std::unique_ptr<CFileTransSession> TakeDownload(const CFileTransSession* ended);
    void OnDownloadResult(WPARAM wParam, FileTransStatus* record);
    void OnDownloadDone(uint64_t fileId, const CString& path);
    void OnDownloadErrorBox(const uint64_t* fileId);
    // The entry of a document id; the caller holds m_documentsLock.
    FileItemRecord* FindDocumentLocked(uint64_t fileId);
    const FileItemRecord* FindDocumentLocked(uint64_t fileId) const;
    // A document whose pages are known goes to a teacher's control panel, marked when it is the live one.
    void HandDocumentToPanel(const FileItemRecord& entry);
    void StopDownloads();

    // Drawings (MainWndDrawing.cpp).
    void OnPenChanged(const struct PaintPen* pen);
    void OnPaintChanged(const struct PaintChangeRecord* change);
    void OnPaintList(const PaintObjectList* list);
    void OnPaintPen(const ReceivedPaintObject* object);
    void OnPaintChange(const ReceivedPaintObject* object);
    void OnClearPage();
    // The board windows append the pen to their surfaces for the strokes drawn after it.
    void ShowPen(const ReceivedPaintObject& pen);

    // Received speaking states (MainWndSpeak.cpp).
    void OnSpeakState(const SpeakStateRecord* record);
    void TeacherSpeakState(uint32_t userId, uint8_t state, uint8_t oldRole);
    void StudentSpeakState(uint32_t userId, uint8_t state, uint8_t oldRole, uint8_t ownRole, bool me);
    // The bulletin line: a language text followed by the user's screen name, or a whole sentence.
    void SetBulletin(int textId, uint32_t userId);
    void SetBulletinLine(const CString& text);
    // Selects a page of "SpeakerArea1" (0 connecting, 1 speaking, 2 video) and shows the area.
    void ShowSpeakerPage(int page);
    void EndSpeakerArea(uint32_t userId);
    // The speaker area as the room's user list says it is (after entry and every reconnection).
    void RebuildSpeakerArea();
    // Ends the user's own turn at the microphone.
    void CancelOwnMicTurn();
    // "EndSpeak": a teacher ends the current speaker's turn, a speaking user its own.
    void EndCurrentTurn();
    void SwitchOwnCameraOff();
    void OnApplyMic();
    void OnMicListClick();
    void OnVideoSpeak(const VideoSpeakRecord* record);
    // A new speaker video in "VideoSpeakContainer1" (page 2), with the video-speak cover when asked;
    // a non-empty cover text replaces the cover's first button text.
    HWND OpenSpeakerVideo(bool withCover, const CDuiString& coverText = CDuiString());
    void OpenVideoSpeakCover(const CDuiString& firstButtonText);
    // Closes the speaker video and its cover.
    void CloseSpeakerVideo();
    bool OnMicRequest(WPARAM answer, LPARAM userId);
    void OnVideoSpeakAction(WPARAM action);
    // The queue count on the teacher's list button or the student's label, and the open queue window.
    void RefreshMicQueue();
    // The teacher's "MicListBtn": the count, enabled while the queue is not empty, flashing when it grew.
    void ShowMicListCount(int count, const CString& text);
    void SetMicListEnabled(CControlUI* button, bool enabled);

    // Placement of the floating windows (MainWndLayout.cpp).
    void PlaceFloatingBars();
    void FitClassBar();
    void PlacePenTool();
    void ToggleControlPanel();
    // The teacher's vice-screen cover over the right column: main right - 252, top + 59, 240 x 160.
    void PlaceViceCover();
    void ShowTeacherPanel();
    void OnLiveAreaMoved();
    void OnPositionChanged(CControlUI* sender);
    // The video-speak cover onto "VideoSpeakContainer1", in that control's size.
    void PlaceVideoSpeakCover();
    // The vice-screen and video-speak covers shown with the controls they cover, after a column toggle.
    void ShowColumnCovers();

    // Live sources (MainWndLive.cpp).
    void SwitchSourcesOff();
    // After a rejoin: the sources that m_liveState (the room's reply) no longer has live, or all when the
    // join shows this role nothing of the reply, are switched off, and a teacher's panel is told; the
    // state itself is kept for showing what is live.
    void SwitchEndedSourcesOff(const LiveState& shownBefore, bool showsReply);
    // The source leaves its screen and loses its live bits; a teacher's camera stops in the engine.
    // Nothing happens to a source shown in neither screen.
    void SwitchSourceOff(int32_t content);
    // A switch-off of a panel kind (1..3): as above, then a teacher's panel is told, and the room unless
    // it told us itself.
    void TurnSourceOff(int32_t kind, bool tellRoom = true);
    // The screen showing this content lets go of its window, keeping the source's live state.
    void ReleaseScreenOf(int32_t content);
    bool InScreen(int32_t content) const;
    // Empties the screen that shows content; false when none does.
    bool EmptyScreenOf(int32_t content);
    static void HideHostedWindow(CWinContainerUI* container);
    CWinContainerUI* ScreenContainer(int position) const;
    bool EmbedInScreen(int position, HWND window, int32_t content);
    void ShowViceScreen(bool show);
    void OnLiveDoc(const LiveDocRecord* record);
    // 0 with the pages copied out; 1 listed but not downloaded; 2 downloaded without pages; 3 unlisted.
    int LookUpDocument(uint64_t docId, DocPageList& out) const;
    // A document that became available while it is the live one is shown again.
    void ShowIfLiveDocument(uint64_t fileId);
    void OnLiveWhiteboard(const LiveWhiteboardRecord* record);
    void OnLiveCamera(const LiveCameraRecord* record);
    void OnSwapScreens();
    void OnLivingState(const LiveState* state);
    void OnLiveScreenShare(bool on);
    void SwitchScreenShareOff();
    // The teacher's own share: the window steps aside for the share bar, whose inside the engine sends.
    bool StartScreenShare();
    // Ends the teacher's share (from the panel's switch or the share bar) and tells panel and room.
    void EndScreenShare();
    void HideOwnedPopups();
    void ShowHiddenPopups();
    void ApplyReceivedVideoSize();
    // The engine's encoder for the camera in the main (1) or vice (2) screen.
    void SetCameraEncoder(int position);
    // After a source goes on: both volumes again, the engine draws into the video window, timer 6.
    void RefreshEngineOutput();
    // The engine sends the inside of the share bar.
    void EngineToShareBar();
    // A swap the teacher makes here; the room hears of it once the class runs.
    void SwapScreensAndTell();
    void OnPanelAction(bool on, const WndMsgPayload* action);
    int BoardScreenForSwitchOn() const;
    // Tells the room (once the class has begun) what this window now has live.
    void InformLiveChanged(int32_t kind);
    // Shows what the live state holds: the document, else the whiteboard; then the camera.
    void ApplyLiveSources(bool sharedBefore);

    // Recording (MainWndRecord.cpp).
    void OnRecordSelectChanged(COptionUI* check);
    bool RecordSourcesLive(int32_t mode) const;
    void StartRecording(COptionUI* check);
    void StopRecording();
    void SetFrameButtonsEnabled(bool enabled);

    // Notifications of the skin (MainWndActions.cpp).
    void OnClick(TNotifyUI& msg);
    void OnSelectChanged(TNotifyUI& msg);
    void OnItemSelect(TNotifyUI& msg);
    void OnValueChanged(TNotifyUI& msg);
    void TogglePart(const wchar_t* partName, CControlUI* button, bool hideGetsA);
    // The roster search by nickname into "SearchedStudentList", and its end.
    void SearchRoster();
    void StopRosterSearch();
    void SendRoomRecord();
    void SendSpeak(uint32_t userId, uint8_t state);

    // Satellites (MainWndSatellites.cpp): each a seam until its window exists in the client.
    void CreateSatellites();
    void PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    template <typename T>
    T* Find(const wchar_t* name) const
    {
        return static_cast<T*>(const_cast<CPaintManagerUI&>(m_PaintManager).FindControl(name));
    }
    void SetVisible(const wchar_t* name, bool visible);
    void SetEnabled(const wchar_t* name, bool enabled);
    void SetText(const wchar_t* name, const CString& text);

    // Owned and child windows (null while the window does not exist).
    CControlPanelWnd* m_controlPanel = nullptr;
    int32_t m_viceContent = eScreen_None;
    int32_t m_mainContent = eScreen_None;
    HWND m_videoLive = nullptr;
    HWND m_docLive = nullptr;
    CDocWnd* m_docView = nullptr; // deletes itself with m_docLive
    HWND m_controlPanelButton = nullptr;
    HWND m_viceCover = nullptr;
    HWND m_penTool = nullptr;
    HWND m_whiteboardLive = nullptr;
    HWND m_shareScreen = nullptr;
    HWND m_speakerVideo = nullptr;
    HWND m_videoSpeakCover = nullptr;
    int m_speakerAreaHeight = 0; // the skin's height of "SpeakerArea1", read at its first page change
    int m_micQueueCount = 0;     // the teacher's last shown queue count: a larger one flashes

    bool m_joined = false;
    // Own stroke messages sent and not yet returned by the room: a pen picked meanwhile comes after them.
    uint32_t m_ownStrokesInFlight = 0;
    bool m_classOver = false;
    bool m_countdownEnded = false;
    CStudentList* m_roster = nullptr;
    // Owned: the picker's window goes with this one, the object with this object.
    std::unique_ptr<CEmotionWnd> m_emotionPicker;
    int m_speakerVolume = 50;
    int m_micVolume = 50;
    LiveState m_liveState{};
    uint32_t m_classClock = 0;
    uint32_t m_classLeftSeconds = 0;
    std::unique_ptr<CastmixSession> m_castmix;
    CRichEditUI* m_inputEdit = nullptr;
    CRichEditUI* m_outputEdit = nullptr;
    ChatFont m_chatFont;
    bool m_muted = false;
    int m_chatCount = 0;
    int m_systemCount = 0;
    // Lines waiting to be written into the output, in arrival order: a burst is written in slices, and
    // a clearing drops what it would have cleared unwritten.
    SlicedQueue<ChatOutputLine> m_pendingOutput{WM_MAINWND_SHOW_OUTPUT, kChatOutputSliceMs};
    std::unique_ptr<CChatRecordsTask> m_chatTask;
    bool m_closeBlocked = false;
    bool m_closeForced = false; // the next close is the room's or the updater's, not the user's
    bool m_recording = false;
    // The owned popups hidden while the screen is shared, shown again when it ends.
    std::vector<HWND> m_hiddenPopups;
    bool m_fontLoaded = false;
    bool m_fillingFont = false;
    // Each list has its own lock; no operation holds both.
    std::vector<FileItemRecord> m_documents;
    std::unordered_map<uint64_t, size_t> m_documentIndex; // file id -> place in m_documents
    mutable std::mutex m_documentsLock;
    std::vector<std::pair<uint64_t, std::unique_ptr<CFileTransSession>>> m_downloads; // at most a few
    mutable std::mutex m_downloadsLock;
    // Notices of 825 and 826 not handled yet, and whether their next turn is posted.
    std::deque<FileNoticeRecord> m_pendingNotices;
    bool m_downloadTurnPosted = false;
    // A download waiting for its next start attempt: queued, or waiting out the second after a failed one.
    struct PendingStart {
        FileItemRecord entry;
        int attempts = 0;  // made so far
        DWORD dueTick = 0; // the retry's time
    };
    // One start attempt; a failed one waits for its retry, the third ends in the error box.
    void AttemptStart(PendingStart start);
    std::deque<PendingStart> m_startQueue;
    std::vector<PendingStart> m_retryWaits;
    std::unordered_set<uint64_t> m_startIds; // ids in either of the two
    // The download error box is modal: while one is open, later failures wait here for their turn.
    bool m_downloadBoxOpen = false;
    std::deque<uint64_t> m_pendingBoxes;
    std::unordered_set<uint64_t> m_pendingBoxIds;
};

// The title of the main window: "LumenvaleV2", or language text 47 when a language table is loaded.
CDuiString MainWindowTitle();
// The executable's file version as "%d.%d.%d.%d" (the gateway compares it with the current one).
CString ExecutableVersionText();
// The client's chat time "%Y-%m-%d %H:%M:%S" of now, and its "%H:%M:%S" part.
CString ChatTimeNow();
// "%H:%M:%S" read back from a stored "%d-%d-%d %d:%d:%d" time; empty when it does not parse.
CString ChatClockText(const CString& storedTime);
// "%02d:%02d:%02d" of the class clock.
CString ClassClockText(uint32_t seconds);
// The chat colours the font bar offers, in its order.
extern const uint32_t kChatColours[5];
// The screen's font faces, each once (compared ignoring case), in enumeration order.
std::vector<CString> ScreenFontFaces();
// The recording parameters before the options and the sources are filled in.
_RecParam DefaultRecParam();
// The recording mode of the recording option: 0 camera (1), 1 board (2), others board and camera (3).
int32_t RecordModeOf(int32_t recordOption);
// "<folder>\Y-MM-DD_hh-mm-ss.wmv" of the time; false when the folder is empty or the path does not fit.
bool RecordPathFor(const CString& folder, const SYSTEMTIME& now, wchar_t (&path)[260]);
// The trimmed chat text, or the reason it cannot be sent: 0 ok, 1 empty, 2 too long.
int CheckChatText(CString& text);
