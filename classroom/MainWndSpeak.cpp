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
    if (me) session->role = state;
}
