// The main window's side of the connection: the start behind the login window, the join reply that
// builds the first screen, the roster kept in step with presence, reconnection, and the ends forced by
// the room or by an update.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/DrawingRecords.h"
#include "controls/PaintObjects.h"
#include "controls/StudentList.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/MessageBox.h"
#include "protocol/ProtocolMgr.h"

#include <oleauto.h>
#include <memory>
#include <new>

namespace {

// A language text that names something: its first "%s" takes the name, or the name leads it.
CString NameWithText(const CString& name, int id, const wchar_t* englishFormat)
{
    CString text = LangText(id, englishFormat);
    return FillLanguageSlot(text, name) ? text : name + text;
}

UserRecord FromPresence(const PresenceRecord& p)
{
    UserRecord user;
    user.sex = p.sex;
    user.serverId = p.serverId;
    user.userId = p.userId;
    user.userName = p.userName;
    user.nickName = p.screenName;
    user.role = p.role;
    user.applyTime = p.applyTime;
    return user;
}

} // namespace

void CMainWnd::StartConnection()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    CProtocolMgr::Instance()->SetGateway(session->gatewayHost, ExecutableVersionText(), session->gatewayPort);
}

void CMainWnd::SetLoginStatus(const CString& text)
{
    HWND login = FindLoginWindow();
    if (!login) {
        LOG_ERROR(L"Not Login, but can not find login window");
        return;
    }
    BSTR posted = SysAllocString(text);
    if (!posted) return;
    if (!::PostMessageW(login, WM_USER_LOGIN_STATUS, 0, reinterpret_cast<LPARAM>(posted))) SysFreeString(posted);
}

void CMainWnd::OnConnectResult(WPARAM ok, LPARAM error)
{
    if (ok == 1) return; // the join reply follows
    int code = static_cast<int>(error);
    if (!m_joined) {
        CString text;
        if (code == eConnect_GatewaySilent) text = LangText(13, L"Server Error Code = -8");
        else text.Format(L"Server Error Code = %d", code);
        SetLoginStatus(text);
        return;
    }
    if (m_classOver) return;
    CString text;
    if (HasLanguageTable()) text.Format(L"%s(Error : %d)", LangText(14, L"").GetString(), code);
    else text.Format(L"Connect Server Error : %d, ReConnecting...", code);
    ShowSystemText(text);
    ::SetTimer(m_hWnd, eTimer_Reconnect, 5000, nullptr);
}

void CMainWnd::OnJoinRoomResult(WPARAM ok, LPARAM lParam)
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    if (ok == 0) {
        int status = static_cast<int>(lParam);
        if (m_joined) {
            LOG_ERROR(L"Join Room Failed. Code = %d", status);
            return;
        }
        CString text;
        if (!HasLanguageTable()) text.Format(L"Error : Login Room Failed, code = %d", status);
        else if (status == -1993) text = LangText(15, L"");
        else if (status == -1990) text = LangText(16, L"");
        else text.Format(L"%s(Error : %d)", LangText(17, L"").GetString(), status);
        if (!FindLoginWindow()) {
            LOG_ERROR(L"Login Room Failed, but can not find login window to set the error msg. (%s)", text.GetString());
            return;
        }
        SetLoginStatus(text);
        return;
    }
    if (ok != 1) {
        LOG_ERROR(L"On Join Room Result, wParam = %d", static_cast<int>(ok));
        return;
    }
    const auto* reply = reinterpret_cast<const JoinRoomReply*>(lParam);
    if (!reply) return;

    uint8_t roomState = reply->RoomState();
    if (roomState <= 4) session->room.roomState = roomState;
    if (!session->RaiseDrawingKey(uint64_t(reply->DrawingIdBase()) + 10000)) // a rejoin never lowers it
        LOG_ERROR(L"drawing id base %lu refused: no room above it", static_cast<unsigned long>(reply->DrawingIdBase()));
    LOG_INFO(L"on join Room Notation ID is : %lu", static_cast<unsigned long>(session->drawingOrderKey));
    if (session->room.roomState == 2) ::SetTimer(m_hWnd, eTimer_ClassClock, 1000, nullptr);
    SetSwitchNetworkVisible();

    const LiveState shownBefore = m_liveState;
    bool sharedBefore = (m_liveState.flags & 4) != 0;
    m_liveState = reply->Living();
    LiveState& l = m_liveState;
    LOG_INFO(L"User=%s; Login Living State --- wb(live--%d,page--%d,pos--%d); doc(live--%d,page--%d,pos--%d,"
             L"fileid=%I64u); camera(live--%d,index=%d,pos--%d)",
             session->userName.GetString(), l.whiteboardState >= 64, l.whiteboardTab, l.whiteboardState & 0x3F,
             l.docState >= 64, l.docPage, l.docState & 0x3F, l.docId, l.cameraState >= 64, l.cameraIndex,
             l.cameraState & 0x3F);
    if (l.whiteboardTab == 0) l.whiteboardTab = 1;

    if (m_joined) {
        ShowSystemText(LangText(37, L"Reconnection server successfully!"));
        SetChatInputEnabled(true);
        SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
        SetEnabled(L"ApplyMicBtn", true);
        // The screens follow the role the user joined with, as at the first join.
        session->role = session->startRole;
        if (session->room.roomState != 2) ::KillTimer(m_hWnd, eTimer_ClassClock);
        // The class may have begun or ended while the teacher was away.
        if (IsTeacherRole(session->role)) {
            ShowClassButtons(session->room.roomState == 2);
            FitClassBar();
        }
        // What a first join with this reply shows: a source live before and after stays on.
        SwitchEndedSourcesOff(shownBefore, JoinShowsLiveSources());
    } else {
        HWND login = FindLoginWindow();
        if (login) ::PostMessageW(login, WM_CLOSE, 0, 0);
        else LOG_ERROR(L"Login sucessed, but can not find login window to close it");
        OnJoinedRoom();
        CenterWindow();
        ShowWindow(true);
        SetupRoleControls();
        m_joined = true;
        ::SetTimer(m_hWnd, eTimer_LevelMeters, 200, nullptr);
        if (CControlUI* option = m_PaintManager.FindControl(L"OptionBtn")) option->SetToolTip(session->screenName);
    }
    ApplyRoomFlags(reinterpret_cast<const uint8_t*>(reply->bytes)[21] | (reply->bytes[22] << 8));
    if (JoinShowsLiveSources()) {
        LiveState kept = m_liveState;
        ApplyLiveSources(sharedBefore);
        m_liveState = kept;
    }
    UpdatePenToolVisibility();
    SendFirstQueries();
}

bool CMainWnd::JoinShowsLiveSources() const
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return false;
    // Outside the class the room may still hold an earlier lesson's state: a student sees none of it.
    return IsTeacherRole(session->role) || (IsStudentRole(session->role) && session->room.roomState == 2);
}

void CMainWnd::OnJoinedRoom()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    session->startRole = session->role;
    // Every class starts with the black pen of width 3, whatever an earlier class left stored.
    PenSetting pen{0xFF000000, 0, 3};
    if (IDBMgr* db = CSqliteMgr::GetInstance()) {
        if (db->Init(static_cast<int32_t>(session->userId))) {
            db->InsertRoomInfo(session->room);
            OptionSettings options;
            if (db->GetOptionInfo(options)) session->options = options;
            if (IsTeacherRole(session->role) && !db->SavePenInfo(pen)) LOG_ERROR(L"the teacher's first pen not stored");
        } else {
            LOG_ERROR(L"record database of user %lu not opened", static_cast<unsigned long>(session->userId));
        }
    }
    if (IsTeacherRole(session->role)) {
        // The pen tool holds the same pen and announces it back with a fresh order key, which is how
        // the room gets the teacher's first pen.
        session->SetPenSettings(pen.colour, pen.style, pen.size, 0);
        auto first = std::unique_ptr<PaintPen>(new (std::nothrow) PaintPen{pen.colour, pen.style, pen.size, 0});
        if (first && m_penTool && ::PostMessageW(m_penTool, WM_USER_PEN_CHANGED, 0, reinterpret_cast<LPARAM>(first.get())))
            first.release();
    }
    LoadChatFont();
    FillFontControls();

    if (!m_castmix) {
        m_castmix.reset(new (std::nothrow) CastmixSession);
        JoinMediaSession();
    }

    SetText(L"ClassNameLabel", session->room.roomName);
    CString teacher;
    if (HasLanguageTable()) teacher.Format(L"%s : %s", LangText(48, L"").GetString(), session->room.teacherName.GetString());
    else teacher.Format(L"Lector : %s", session->room.teacherName.GetString());
    SetText(L"TeacherName", teacher);
}

void CMainWnd::SetupRoleControls()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    uint8_t role = session->role;
    auto* micPart = Find<CTabLayoutUI>(L"Switch_T_S_MicPart");
    if (micPart && !micPart->GetInterface(L"TabLayout")) micPart = nullptr;
    if (IsStudentRole(role)) {
        if (HWND panel = ControlPanelWindow()) ::ShowWindow(panel, SW_HIDE);
        if (m_controlPanelButton) ::ShowWindow(m_controlPanelButton, SW_HIDE);
        SetVisible(L"ClassBeginBtn", false);
        SetVisible(L"ClassOverBtn", false);
        if (micPart) micPart->SelectItem(1);
        SetVisible(L"AllowDiscuss", false);
        SetVisible(L"StuQuestionBtn", true);
    } else if (IsTeacherRole(role)) {
        ShowTeacherPanel();
        ShowClassButtons(session->room.roomState == 2);
        if (micPart) micPart->SelectItem(0);
        SetVisible(L"AllowDiscuss", true);
        SetVisible(L"StuQuestionBtn", false);
    } else {
        return;
    }
    FitClassBar();
    bool teacher = IsTeacherRole(role);
    PostToWindow(m_whiteboardLive, WM_USER_UI_NOTICE, 22, teacher);
    PostToWindow(m_whiteboardLive, WM_USER_UI_NOTICE, 17, teacher);
    PostToWindow(m_docLive, WM_USER_UI_NOTICE, 23, teacher);
}

// A teacher's bar: "Begin class" outside the class, "End class" and "Record" in it. A recording stops
// with the class.
void CMainWnd::ShowClassButtons(bool running)
{
    SetVisible(L"ClassBeginBtn", !running);
    SetVisible(L"ClassOverBtn", running);
    auto* record = Find<COptionUI>(L"RecordCheck");
    if (record && record->GetInterface(L"Option")) {
        if (!running && record->IsSelected()) record->Selected(false);
        record->SetVisible(running);
    }
}

void CMainWnd::SendFirstQueries()
{
    SessionContext* session = SessionContext::Instance();
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!session || !channel) return;
    // The file list first: documents take longest to arrive.
    const uint16_t queries[] = {eType_FileList, eType_PaintList, eType_RoomUsers};
    for (uint16_t type : queries)
        if (!channel->SendPacket(type, nullptr, 0, session->room.roomId)) LOG_ERROR(L"query %u not sent", type);
}

void CMainWnd::OnRoomUsers(WPARAM ok, LPARAM lParam)
{
    if (ok == 0) {
        LOG_ERROR(L"Query Room Users Failed, Code = %d", static_cast<int>(lParam));
        return;
    }
    const auto* users = reinterpret_cast<const UserRecordList*>(lParam);
    if (!users || !m_roster) return;
    // The roster keeps every record it can take; the count shows the rows it holds.
    if (!m_roster->SetUsers(*users)) LOG_ERROR(L"Room users: some records refused (a duplicate or an unknown role)");
    UpdateStudentCount();
    RebuildSpeakerArea();
    RefreshMicQueue();
}

void CMainWnd::UpdateStudentCount()
{
    int count = m_roster ? m_roster->GetCount() : 0;
    CString text;
    if (HasLanguageTable()) text.Format(L"%d %s", count, LangText(3, L"").GetString());
    else text.Format(L"%d", count);
    SetText(L"StudentCountLab", text);
}

void CMainWnd::OnPresence(WPARAM kind, const PresenceRecord* record)
{
    if (!m_roster || !record) return;
    CString text;
    if (kind == eType_UserOnline_Notify) {
        UserRecord user = FromPresence(*record);
        UserRecord old;
        bool changed;
        if (m_roster->FindUser(user.userId, old)) {
            changed = m_roster->UpdateUser(user);
            if (IsSpeakingRole(old.role)) {
                SetVisible(L"SpeakerArea1", false);
                // The turn is over: no video window (nor its cover) may outlive the engine's video.
                CloseSpeakerVideo();
                if (m_castmix && (old.role == 132 || old.role == 133)) m_castmix->DelParticipantVideo(old.userId);
                SetBulletin(61, old.userId);
                m_roster->ClearSpeaker(old.userId);
            }
        } else {
            changed = m_roster->AddUser(user);
            if (!changed)
                LOG_ERROR(L"online user %lu refused by the roster (role %d)", static_cast<unsigned long>(user.userId),
                          static_cast<int>(user.role));
        }
        if (changed) text = NameWithText(user.nickName, 19, L"%s Online");
    } else if (kind == eType_UserOffline_Notify) {
        UserRecord old;
        if (!m_roster->FindUser(record->userId, old)) return;
        text = NameWithText(old.nickName, 20, L"%s Offline");
        if (old.role == 131 || IsSpeakingRole(old.role)) SetVisible(L"SpeakerArea1", false);
        if (IsSpeakingRole(old.role)) {
            CloseSpeakerVideo();
            m_roster->ClearSpeaker(old.userId);
            SetBulletin(61, old.userId); // while the row is still there to name the user
            if (m_castmix && (old.role == 132 || old.role == 133)) m_castmix->DelParticipantVideo(old.userId);
        }
        m_roster->RemoveUser(old);
    } else {
        LOG_ERROR(L"WM_USER_PRESENCE, get wrong wparam(%d)", static_cast<int>(kind));
        return;
    }
    RefreshMicQueue();
    ShowSystemText(text);
    UpdateStudentCount();
}

void CMainWnd::SetChatInputEnabled(bool enabled)
{
    if (m_inputEdit) m_inputEdit->SetEnabled(enabled);
    SetEnabled(L"SendTextBtn", enabled);
}

void CMainWnd::OnOffline()
{
    if (m_classOver) return;
    SessionContext* session = SessionContext::Instance();
    if (m_roster) {
        m_roster->RemoveAll();
        UpdateStudentCount();
    }
    ShowSystemText(LangText(21, L"You are offline, Reconnecting..."));
    SetChatInputEnabled(false);
    ::SetTimer(m_hWnd, eTimer_Reconnect, 5000, nullptr);
    if (session && m_roster && m_roster->GetSpeakerId() == session->userId && IsSpeakingRole(session->role)) {
        SetVisible(L"SpeakerArea1", false);
        CloseSpeakerVideo();
        SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
        SetEnabled(L"ApplyMicBtn", false);
        SetBulletinLine(LangText(78, L""));
        if (m_castmix) {
            m_castmix->ChangeRole(GetCastmixRole(eRole_Student));
            if (session->role == 132 || session->role == 133) {
                m_castmix->SetCameraEnabled(false, nullptr);
                m_castmix->useCamera = 0;
            }
        }
    }
}

void CMainWnd::OnReconnectTimer()
{
    ::KillTimer(m_hWnd, eTimer_Reconnect);
    // Armed by a loss just before the class ended: the class-over state is final, no road runs again.
    if (m_classOver) return;
    StartConnection();
}

void CMainWnd::OnRefreshResult(WPARAM ok, LPARAM lParam)
{
    if (ok == 0) {
        Logger::Instance().Write(L"refresh protocol error, type=%d", static_cast<int>(lParam));
        return;
    }
    SessionContext* session = SessionContext::Instance();
    if (ok != 1 || lParam != 2 || !m_castmix || !session) return;
    JoinMediaSession();
}

void CMainWnd::JoinMediaSession()
{
    SessionContext* session = SessionContext::Instance();
    if (!m_castmix || !session) return;
    m_castmix->SetStreamServer(session->GetStreamServer());
    SIZE video = session->largeVideoSize;
    if (IsTeacherRole(session->role)) {
        // The teacher's own video is local; nothing goes out to the room before the class begins.
        avSession(nullptr, m_castmix.get(), m_videoLive, video.cx, video.cy);
        if (session->room.roomState != 2 && m_castmix->engine) Castmix_SetSendState(m_castmix->engine, 5);
    } else {
        avSession(m_videoLive, m_castmix.get(), nullptr, video.cx, video.cy);
    }
}

void CMainWnd::OnUpdateNotice(WPARAM wParam, const CString* strings)
{
    if (wParam != 0 || !strings) return;
    SessionContext* session = SessionContext::Instance();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    CString commandLine;
    commandLine.Format(L" %s;%s;%s", strings[0].GetString(), self, session ? session->commandLine.GetString() : L"");
    CString program = GetModuleFolder() + L"Update.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> buffer(commandLine.GetString(), commandLine.GetString() + commandLine.GetLength() + 1);
    HWND login = FindLoginWindow();
    if (CreateProcessW(program, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        if (login) ::PostMessageW(login, WM_CLOSE, 0, 0);
        else LOG_ERROR(L"Update APP, but cannot find login window to close it");
    } else if (login) {
        SetLoginStatus(LangText(18, L"Star Update Process Failed!"));
        return; // the user reads why in the login window
    } else {
        LOG_ERROR(L"Star Update Process Failed! But cann't find login window to show error message! App Close.");
        LOG_ERROR(L"Update APP, but cannot find login window to close it");
    }
    CloseForced();
}

void CMainWnd::OnRemovedFromRoom(int textId, const wchar_t* english)
{
    EnterClassOver();
    ShowMessageBox(m_hWnd, LangText(textId, english), LangText(31, L"Warning"), 0x70);
    CloseForced();
}
