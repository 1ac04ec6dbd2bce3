// Speaking states as the room reports them: the user's roster row, the speaker, the bulletin line and,
// for the user concerned, the own role and the media engine's role and camera.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "controls/SmallControls.h"
#include "controls/StudentList.h"
#include "core/SessionContext.h"

namespace {

bool IsListener(uint8_t role)
{
    return role == eRole_Student || role == eRole_StudentAlt;
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

void CMainWnd::EndSpeakerArea(uint32_t userId)
{
    SetVisible(L"SpeakerArea1", false);
    if (m_roster) m_roster->ClearSpeaker(userId);
    if (m_castmix) m_castmix->DelParticipantVideo(userId);
}

void CMainWnd::SwitchOwnCameraOff()
{
    if (!m_castmix) return;
    m_castmix->SetCameraEnabled(false, nullptr);
    m_castmix->useCamera = 0;
}

void CMainWnd::OnSpeakState(const SpeakStateRecord* record)
{
    SessionContext* session = SessionContext::Instance();
    if (!record || !session) return;
    uint8_t state = static_cast<uint8_t>(record->state);
    bool me = record->userId == session->userId;
    uint8_t ownRole = session->role;
    if (m_roster) {
        uint8_t oldRole = 0;
        m_roster->SetUserState(state, oldRole, record->userId);
        bool wasSpeaking = IsSpeakingRole(oldRole);
        if (IsTeacherRole(ownRole)) {
            if ((oldRole == eRole_MicConnecting || wasSpeaking) && IsListener(state)) {
                EndSpeakerArea(record->userId);
                SetBulletin(wasSpeaking ? 61 : 74, record->userId);
            } else if (state == eRole_SpeakerVoice) {
                SetVisible(L"SpeakerArea1", true);
                SetVisible(L"StartVideoSpeak", false);
                m_roster->SetSpeakerId(record->userId);
                if (m_castmix) m_castmix->DelParticipantVideo(record->userId);
                SetBulletin(73, record->userId);
            } else if (state == eRole_SpeakerVideo && oldRole != eRole_SpeakerVideoAlt && oldRole != 0) {
                SetVisible(L"SpeakerArea1", true);
                m_roster->SetSpeakerId(record->userId);
                if (m_castmix) m_castmix->AddParticipantVideo(record->userId, m_speakerVideo);
                SetBulletin(73, record->userId);
            }
        } else if (IsStudentRole(ownRole)) {
            if (IsListener(state)) {
                if (oldRole == eRole_MicConnecting || wasSpeaking) {
                    EndSpeakerArea(record->userId);
                    SetBulletin(61, record->userId);
                }
                if (me) {
                    if (session->room.roomFlags & 1) SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
                    if (m_castmix) m_castmix->ChangeRole(GetCastmixRole(state));
                    if (oldRole == eRole_SpeakerVideo || oldRole == eRole_SpeakerVideoAlt) SwitchOwnCameraOff();
                }
            } else if (state == eRole_SpeakerVoice) {
                if (me && (ownRole == eRole_MicConnecting || ownRole == eRole_SpeakerVideo ||
                           ownRole == eRole_SpeakerVideoAlt)) {
                    // The camera goes off before the bulletin names the new voice speaker.
                    if (ownRole != eRole_MicConnecting) SwitchOwnCameraOff();
                    SetVisible(L"SpeakerArea1", true);
                    SetVisible(L"StartVideoSpeak", true);
                    if (m_castmix) m_castmix->ChangeRole(GetCastmixRole(state));
                } else if (!me && oldRole == eRole_SpeakerVideoAlt) {
                    EndSpeakerArea(record->userId);
                }
                m_roster->SetSpeakerId(record->userId);
                SetBulletin(73, record->userId);
            } else if (state == eRole_SpeakerVideo) {
                if (me && (ownRole == eRole_MicConnecting || ownRole == eRole_SpeakerVoice)) {
                    SetVisible(L"SpeakerArea1", true);
                    if (m_castmix) {
                        m_castmix->ChangeRole(GetCastmixRole(state));
                        m_castmix->SetCameraEnabled(true, m_speakerVideo);
                    }
                } else if (me && ownRole == eRole_SpeakerVideoAlt) {
                    if (m_castmix) m_castmix->ChangeStreamcastModel(0, 0);
                } else if (!me && oldRole == eRole_SpeakerVideoAlt) {
                    EndSpeakerArea(record->userId);
                }
                m_roster->SetSpeakerId(record->userId);
                SetBulletin(73, record->userId);
            } else if (state == eRole_SpeakerVideoAlt) {
                if (me) {
                    if (ownRole == eRole_SpeakerVideo && m_castmix) m_castmix->ChangeStreamcastModel(1, 0);
                } else {
                    SetVisible(L"SpeakerArea1", true);
                    if (m_castmix) m_castmix->AddParticipantVideo(record->userId, m_speakerVideo);
                }
            }
        }
    }
    RefreshMicQueue();
    if (me) session->role = state;
}

#include "classroom/MicSeqWnd.h"
#include "core/Logger.h"
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

void CMainWnd::OnVideoSpeakAction(WPARAM action)
{
    SessionContext* session = SessionContext::Instance();
    if (!m_roster || !session) return;
    uint32_t speaker = m_roster->GetSpeakerId();
    switch (action) {
    case 3: SendSpeak(speaker, eRole_SpeakerVideoAlt); break;
    case 4: SendSpeak(speaker, eRole_SpeakerVideo); break;
    case 5: SendSpeak(speaker, eRole_SpeakerVoice); break;
    case 6:
        if (IsTeacherRole(session->role)) SendSpeak(speaker, eRole_Student);
        else if (IsSpeakingRole(session->role)) SendSpeak(session->userId, eRole_Student);
        break;
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
        if (CControlUI* button = m_PaintManager.FindControl(L"MicListBtn")) {
            button->SetText(text);
            button->SetEnabled(count > 0);
        }
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

#include "classroom/VideoWnd.h"
#include "controls/PosLayouts.h"

void CMainWnd::CloseSpeakerVideo()
{
    if (auto* container = Find<CWinContainerUI>(L"VideoSpeakContainer1"))
        if (container->GetInterface(L"WinContainer")) container->SetEmbedWindow(nullptr);
    if (m_speakerVideo && ::IsWindow(m_speakerVideo)) ::PostMessageW(m_speakerVideo, WM_CLOSE, 0, 0);
    m_speakerVideo = nullptr;
}

HWND CMainWnd::OpenSpeakerVideo()
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
    auto* area = Find<CTabLayoutUI>(L"SpeakerArea1");
    if (area && area->GetInterface(L"TabLayout")) {
        area->SelectItem(2);
        area->SetVisible(true);
    }
    return m_speakerVideo;
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
        HWND window = OpenSpeakerVideo();
        if (window && m_castmix && m_castmix->engine) Castmix_AddParticipantVideo(m_castmix->engine, record->destinationId, window);
    } else if (a == 0) {
        SetVisible(L"SpeakerArea1", false);
        CloseSpeakerVideo();
        if (m_castmix) m_castmix->DelParticipantVideo(record->destinationId);
    }
}
