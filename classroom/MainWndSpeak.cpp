// Speaking states as the room reports them: the user's roster row, the speaker, the speaker area and
// its video, the bulletin line and, for the user concerned, the own role and the media engine's role
// and camera.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "controls/SmallControls.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"

namespace {

bool IsListener(uint8_t role)
{
    return role == eRole_Student || role == eRole_StudentAlt;
}

// The height of the video-speak cover's image.
const int kSpeakerVideoHeight = 160;

bool IsVideoSpeaker(uint8_t role)
{
    return role == eRole_SpeakerVideo || role == eRole_SpeakerVideoAlt;
}

// The states of a turn, as the room hands them out. Any other value would become the row's role and
// the own role, and no later notice could end that turn: its camera would stay on.
bool IsTurnState(uint32_t state)
{
    return state == eRole_Student || state == eRole_SpeakerVoice ||
           (state >= eRole_StudentAlt && state <= eRole_SpeakerVideoAlt);
}

// The engine's stream-cast pair for a local switch between 132 (0) and 133 (1): the room's own
// notices carry both halves, a local switch moves both streams to the same mode.
void SwitchStreamcast(CastmixSession* castmix, int toAll)
{
    if (castmix) castmix->ChangeStreamcastModel(toAll, toAll);
}

} // namespace

void CMainWnd::SetBulletin(int textId, uint32_t userId)
{
    auto* label = Find<CMidEllipsisLabelUI>(L"BulletinLabel");
    if (!label || !label->GetInterface(L"MidEllipsisLabel") || !HasLanguageTable() || !m_roster) return;
    UserRecord user;
    if (!m_roster->FindUser(userId, user)) return;
    label->SetPrefix(LangText(textId, L""));
    label->SetLabelText(user.nickName);
}

void CMainWnd::SetBulletinLine(const CString& text)
{
    auto* label = Find<CMidEllipsisLabelUI>(L"BulletinLabel");
    if (!label || !label->GetInterface(L"MidEllipsisLabel")) return;
    // A prefix left from the last turn would run into the sentence.
    label->SetPrefix(L"");
    label->SetLabelText(text);
}

void CMainWnd::ShowSpeakerPage(int page)
{
    auto* area = Find<CTabLayoutUI>(L"SpeakerArea1");
    if (!area || !area->GetInterface(L"TabLayout")) return;
    // The video page is as tall as the cover laid over it; the other pages keep the skin's height.
    if (m_speakerAreaHeight == 0) m_speakerAreaHeight = area->GetFixedHeight();
    RECT inset = area->GetInset();
    area->SetFixedHeight(page == 2 ? kSpeakerVideoHeight + inset.top + inset.bottom : m_speakerAreaHeight);
    area->SelectItem(page);
    area->SetVisible(true);
}

void CMainWnd::EndSpeakerArea(uint32_t userId)
{
    SetVisible(L"SpeakerArea1", false);
    CloseSpeakerVideo();
    if (m_roster) m_roster->ClearSpeaker(userId);
    if (m_castmix) m_castmix->DelParticipantVideo(userId);
}

void CMainWnd::SwitchOwnCameraOff()
{
    if (!m_castmix) return;
    m_castmix->SetCameraEnabled(false, nullptr);
    m_castmix->useCamera = 0;
}

void CMainWnd::TeacherSpeakState(uint32_t userId, uint8_t state, uint8_t oldRole)
{
    // An unchanged row (the same state again, or a user not listed) only moves the queue count.
    if (oldRole == 0) return;
    bool wasSpeaking = IsSpeakingRole(oldRole);
    if ((oldRole == eRole_MicConnecting || wasSpeaking) && IsListener(state)) {
        EndSpeakerArea(userId);
        SetBulletin(wasSpeaking ? 61 : 74, userId);
    } else if (state == eRole_SpeakerVoice) {
        // A speaker who drops the camera leaves no video window behind in the hidden page.
        CloseSpeakerVideo();
        ShowSpeakerPage(1);
        SetVisible(L"StartVideoSpeak", false);
        m_roster->SetSpeakerId(userId);
        if (m_castmix) m_castmix->DelParticipantVideo(userId);
        SetBulletin(73, userId);
    } else if (state == eRole_SpeakerVideo && oldRole != eRole_SpeakerVideoAlt) {
        HWND video = OpenSpeakerVideo(true);
        m_roster->SetSpeakerId(userId);
        if (m_castmix && video) m_castmix->AddParticipantVideo(userId, video);
        SetBulletin(73, userId);
    }
}

void CMainWnd::StudentSpeakState(uint32_t userId, uint8_t state, uint8_t oldRole, uint8_t ownRole, bool me)
{
    SessionContext* session = SessionContext::Instance();
    if (IsListener(state)) {
        if (oldRole == eRole_MicConnecting || IsSpeakingRole(oldRole)) {
            EndSpeakerArea(userId);
            SetBulletin(61, userId);
        }
        if (me) {
            if (session->room.roomFlags & 1) SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
            if (m_castmix) m_castmix->ChangeRole(GetCastmixRole(state));
            if (IsVideoSpeaker(oldRole)) SwitchOwnCameraOff();
        }
    } else if (state == eRole_SpeakerVoice) {
        if (me && (ownRole == eRole_MicConnecting || IsVideoSpeaker(ownRole))) {
            // The camera goes off before the bulletin names the new voice speaker.
            if (IsVideoSpeaker(ownRole)) SwitchOwnCameraOff();
            ShowSpeakerPage(1);
            SetVisible(L"StartVideoSpeak", true);
            if (m_castmix) m_castmix->ChangeRole(GetCastmixRole(state));
        } else if (!me && oldRole == eRole_SpeakerVideoAlt) {
            SetVisible(L"SpeakerArea1", false);
            if (m_castmix) m_castmix->DelParticipantVideo(userId);
        }
        CloseSpeakerVideo();
        m_roster->SetSpeakerId(userId);
        SetBulletin(73, userId);
    } else if (state == eRole_MicConnecting) {
        if (me && ownRole == eRole_MicApplied) ShowSpeakerPage(0);
    } else if (state == eRole_SpeakerVideo) {
        if (me && (ownRole == eRole_MicConnecting || ownRole == eRole_SpeakerVoice)) {
            HWND video = OpenSpeakerVideo(true);
            if (m_castmix) {
                m_castmix->ChangeRole(GetCastmixRole(state));
                if (video) m_castmix->SetCameraEnabled(true, video);
            }
        } else if (me && ownRole == eRole_SpeakerVideoAlt) {
            SwitchStreamcast(m_castmix.get(), 0);
        } else if (!me && oldRole == eRole_SpeakerVideoAlt) {
            SetVisible(L"SpeakerArea1", false);
            CloseSpeakerVideo();
            if (m_castmix) m_castmix->DelParticipantVideo(userId);
        }
        m_roster->SetSpeakerId(userId);
        SetBulletin(73, userId);
    } else if (state == eRole_SpeakerVideoAlt) {
        if (me) {
            if (ownRole == eRole_SpeakerVideo) SwitchStreamcast(m_castmix.get(), 1);
        } else {
            // Everyone sees a speaker in this mode: the video is shown without a cover.
            HWND video = OpenSpeakerVideo(false);
            if (m_castmix && video) m_castmix->AddParticipantVideo(userId, video);
        }
    }
}

void CMainWnd::OnSpeakState(const SpeakStateRecord* record)
{
    SessionContext* session = SessionContext::Instance();
    if (!record || !session) return;
    if (!IsTurnState(record->state)) {
        LOG_ERROR(L"speak state %lu for user %lu is not a speaking state; dropped", static_cast<unsigned long>(record->state),
                  static_cast<unsigned long>(record->userId));
        return;
    }
    uint8_t state = static_cast<uint8_t>(record->state);
    bool me = record->userId == session->userId;
    uint8_t ownRole = session->role;
    if (m_roster) {
        UserRecord listed;
        // A user the roster does not list changes nothing on screen.
        bool known = m_roster->FindUser(record->userId, listed);
        uint8_t oldRole = 0;
        m_roster->SetUserState(state, oldRole, record->userId);
        if (IsTeacherRole(ownRole)) TeacherSpeakState(record->userId, state, oldRole);
        else if (known && IsStudentRole(ownRole)) StudentSpeakState(record->userId, state, oldRole, ownRole, me);
        RefreshMicQueue();
    }
    if (me) session->role = state;
}

void CMainWnd::RebuildSpeakerArea()
{
    SessionContext* session = SessionContext::Instance();
    SetVisible(L"SpeakerArea1", false);
    // A video (and its cover) from before the list would stay over the hidden area.
    CloseSpeakerVideo();
    if (!session || !m_roster || !(session->room.roomFlags & 1)) return;
    uint32_t speakerId = m_roster->GetSpeakerId();
    UserRecord speaker;
    if (speakerId == 0 || !m_roster->FindUser(speakerId, speaker)) return;
    HWND video = nullptr;
    if (IsTeacherRole(session->role) && IsVideoSpeaker(speaker.role)) {
        ShowSpeakerPage(1);
        SetVisible(L"StartVideoSpeak", false);
        // The cover's button offers the way back from the mode the speaker is in.
        CDuiString coverText;
        if (speaker.role == eRole_SpeakerVideoAlt && HasLanguageTable()) coverText = LangText(63, L"").GetString();
        video = OpenSpeakerVideo(true, coverText);
    } else if (IsStudentRole(session->role) && speaker.userId != session->userId &&
               speaker.role == eRole_SpeakerVideoAlt) {
        video = OpenSpeakerVideo(false);
    }
    if (video && m_castmix) m_castmix->AddParticipantVideo(speaker.userId, video);
    SetBulletin(73, speaker.userId);
}

void CMainWnd::CancelOwnMicTurn()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    SendSpeak(session->userId, eRole_Student);
    SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
}

#include "classroom/MicSeqWnd.h"
#include "core/WindowMessages.h"
#include "dialogs/MessageBox.h"
#include "protocol/ProtocolMgr.h"

#include <new>

void CMainWnd::OnApplyMic()
{
    SessionContext* session = SessionContext::Instance();
    CControlUI* button = m_PaintManager.FindControl(L"ApplyMicBtn");
    if (!session || !button || !HasLanguageTable()) return;
    CString text = button->GetText();
    if (text == LangText(70, L"")) {
        int devices = m_castmix && m_castmix->engine ? m_castmix->QueryAudioDevs() : 1;
        int refusal = devices == 0 ? 77 : devices == -1 ? 75 : devices == -2 ? 76 : 0;
        if (refusal) {
            ShowMessageBox(m_hWnd, LangText(refusal, L""), LangText(39, L"Prompt"), MB_OK);
            return;
        }
        SendSpeak(session->userId, eRole_MicApplied);
        button->SetText(LangText(66, L""));
    } else if (text == LangText(66, L"")) {
        SendSpeak(session->userId, eRole_Student);
        button->SetText(LangText(70, L""));
    }
}

bool CMainWnd::OnMicRequest(WPARAM answer, LPARAM userId)
{
    if (answer == 1) SendSpeak(static_cast<uint32_t>(userId), eRole_MicConnecting);
    else if (answer == 2) SendSpeak(static_cast<uint32_t>(userId), eRole_Student);
    else return false;
    return true;
}

void CMainWnd::EndCurrentTurn()
{
    SessionContext* session = SessionContext::Instance();
    // Without a speaker there is no turn to end: user 0 is nobody.
    if (!session || !m_roster || m_roster->GetSpeakerId() == 0) return;
    if (IsTeacherRole(session->role)) SendSpeak(m_roster->GetSpeakerId(), eRole_Student);
    else if (IsSpeakingRole(session->role)) CancelOwnMicTurn();
}

void CMainWnd::OnVideoSpeakAction(WPARAM action)
{
    if (!m_roster) return;
    uint32_t speaker = m_roster->GetSpeakerId();
    if (speaker == 0) return; // a cover left from an ended turn acts on nobody
    switch (action) {
    case 3: SendSpeak(speaker, eRole_SpeakerVideoAlt); break;
    case 4: SendSpeak(speaker, eRole_SpeakerVideo); break;
    case 5: SendSpeak(speaker, eRole_SpeakerVoice); break;
    case 6: EndCurrentTurn(); break;
    default: break;
    }
}

void CMainWnd::RefreshMicQueue()
{
    if (!m_roster) return;
    int count = m_roster->GetMicUserCount();
    if (count < 0) count = 0;
    CString text;
    text.Format(L"%d", count);
    SessionContext* session = SessionContext::Instance();
    if (session && IsTeacherRole(session->role)) {
        ShowMicListCount(count, text);
    } else {
        SetText(L"MicNumLabel", text);
    }
    HWND queue = ::FindWindowW(L"__LumenvaleMicSeqWnd__", nullptr);
    if (queue && ::IsWindowVisible(queue)) {
        auto* users = new (std::nothrow) MicQueueRecord;
        if (!users) return;
        m_roster->GetMicUsers(users->users);
        if (!::PostMessageW(queue, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(users))) delete users;
    }
}

void CMainWnd::ShowMicListCount(int count, const CString& text)
{
    CControlUI* button = m_PaintManager.FindControl(L"MicListBtn");
    if (!button) return;
    button->SetText(text);
    auto* flash = static_cast<CTextFlashBtnUI*>(button->GetInterface(L"TipFlashBtn"));
    if (count > 0) {
        SetMicListEnabled(button, true);
        // Only a longer queue draws the teacher's eye; a shorter one ends the flashing.
        if (flash && count > m_micQueueCount) flash->StartFlash();
        else if (flash) flash->StopFlash();
    } else {
        if (flash) flash->StopFlash();
        SetMicListEnabled(button, false);
    }
    m_micQueueCount = count;
}

void CMainWnd::SetMicListEnabled(CControlUI* button, bool enabled)
{
    if (button->IsEnabled() == enabled) return;
    // An empty queue has nothing to open.
    if (enabled && button->GetText() == L"0") return;
    if (!enabled) button->SetText(L"0");
    button->SetEnabled(enabled);
}

void CMainWnd::OnMicListClick()
{
    if (!m_roster) {
        LOG_ERROR(L"Click Mic List, But Room list is Null!");
        return;
    }
    auto* users = new (std::nothrow) MicQueueRecord;
    if (!users) return;
    m_roster->GetMicUsers(users->users);
    if (users->users.empty()) {
        delete users;
        RefreshMicQueue();
        return;
    }
    CControlUI* anchor = m_PaintManager.FindControl(L"TeacherModel");
    if (!anchor) LOG_ERROR(L"Click Mic List, But Find TeacherModel Control Failed!");
    auto* queue = new (std::nothrow) CMicSeqWnd;
    HWND window = queue ? queue->Create(m_hWnd, L"MicListWnd", 0x96000000, WS_EX_TOOLWINDOW, 0, 0, 0, 0) : nullptr;
    if (!window) {
        delete queue;
        delete users;
        return;
    }
    // The window fills itself from the queue it is sent, and frees it.
    if (!::PostMessageW(window, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(users))) delete users;
    if (anchor) {
        RECT rc = anchor->GetPos();
        POINT corner{rc.left, rc.bottom};
        ::ClientToScreen(m_hWnd, &corner);
        RECT own{};
        ::GetWindowRect(window, &own);
        ::MoveWindow(window, corner.x, corner.y, own.right - own.left, own.bottom - own.top, FALSE);
    }
    ::ShowWindow(window, SW_SHOW);
}

#include "classroom/CoverWnd.h"
#include "classroom/VideoWnd.h"
#include "controls/PosLayouts.h"

void CMainWnd::CloseSpeakerVideo()
{
    if (auto* container = Find<CWinContainerUI>(L"VideoSpeakContainer1"))
        if (container->GetInterface(L"WinContainer")) container->SetEmbedWindow(nullptr);
    // Posted: the engine is told to stop drawing into the window before the window goes.
    if (m_speakerVideo && ::IsWindow(m_speakerVideo)) ::PostMessageW(m_speakerVideo, WM_CLOSE, 0, 0);
    if (m_videoSpeakCover && ::IsWindow(m_videoSpeakCover)) ::PostMessageW(m_videoSpeakCover, WM_CLOSE, 0, 0);
    m_speakerVideo = nullptr;
    m_videoSpeakCover = nullptr;
}

HWND CMainWnd::OpenSpeakerVideo(bool withCover, const CDuiString& coverText)
{
    CloseSpeakerVideo();
    auto* video = new (std::nothrow) CVideoWnd(eVideoCover_Plain);
    if (!video) return nullptr;
    m_speakerVideo = video->Create(m_hWnd, L"VideoSpeak");
    if (!m_speakerVideo) {
        delete video;
        return nullptr;
    }
    auto* container = Find<CWinContainerUI>(L"VideoSpeakContainer1");
    if (container && container->GetInterface(L"WinContainer")) container->SetEmbedWindow(m_speakerVideo);
    ShowSpeakerPage(2);
    if (withCover) OpenVideoSpeakCover(coverText);
    return m_speakerVideo;
}

void CMainWnd::OpenVideoSpeakCover(const CDuiString& firstButtonText)
{
    SessionContext* session = SessionContext::Instance();
    auto* cover = new (std::nothrow) CVideoSpeakCoverWnd(session ? session->role : 0);
    if (!cover) return;
    m_videoSpeakCover = cover->Create(m_hWnd, 0, 0, 0, 0);
    if (!m_videoSpeakCover) {
        LOG_ERROR(L"video speak cover cannot be created");
        delete cover;
        return;
    }
    if (!firstButtonText.IsEmpty()) cover->SetFirstButtonText(firstButtonText);
    PlaceVideoSpeakCover();
    // Over a hidden column the cover waits until the column is shown again.
    CControlUI* container = m_PaintManager.FindControl(L"VideoSpeakContainer1");
    if (container && container->IsVisible()) ::ShowWindow(m_videoSpeakCover, SW_SHOWNOACTIVATE);
}

void CMainWnd::OnVideoSpeak(const VideoSpeakRecord* record)
{
    SessionContext* session = SessionContext::Instance();
    if (!record || !session || record->senderId == session->userId) return;
    int a = static_cast<int16_t>(record->secondValue >> 16);
    int b = static_cast<int16_t>(record->secondValue & 0xFFFF);
    if (record->destinationId == session->userId) {
        if (m_castmix) m_castmix->ChangeStreamcastModel(a, b);
        return;
    }
    if (a == 1) {
        HWND window = OpenSpeakerVideo(false);
        if (window && m_castmix && m_castmix->engine) Castmix_AddParticipantVideo(m_castmix->engine, record->destinationId, window);
    } else if (a == 0) {
        SetVisible(L"SpeakerArea1", false);
        CloseSpeakerVideo();
        if (m_castmix) m_castmix->DelParticipantVideo(record->destinationId);
    }
}
