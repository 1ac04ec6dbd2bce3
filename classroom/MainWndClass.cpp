// Class begin and end as the room announces them, the class clock, the count-down to the end, the
// mute of the chat, the level meters, and the final class-over state.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "controls/SmallControls.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "protocol/ProtocolMgr.h"

#include <new>

void CMainWnd::SetSwitchNetworkVisible()
{
    SessionContext* session = SessionContext::Instance();
    SetVisible(L"SwitchNetworkBtn", session && session->room.roomState == 2);
}

void CMainWnd::OnClassState(const ClassStateRecord* record)
{
    SessionContext* session = SessionContext::Instance();
    if (!record || !session || record->roomId != session->room.roomId) return;
    if (record->roomState != session->room.roomState) {
        if (record->roomState == 4) {
            ShowSystemText(LangText(44, L"Class Is Over!"));
            if (m_roster && m_roster->GetSpeakerId() == session->userId) CancelOwnMicTurn();
        } else if (record->roomState == 2) {
            AddSystemText(LangText(45, L"Class Is Begain!"));
            ::SetTimer(m_hWnd, eTimer_ClassClock, 1000, nullptr);
            // Drawings received before the class ran appear now.
            if (m_whiteboardLive) ::SendMessageW(m_whiteboardLive, WM_USER_UI_NOTICE, 5, 0);
            if (m_docLive) ::SendMessageW(m_docLive, WM_USER_UI_NOTICE, 5, 0);
        }
        if (record->roomState <= 4) session->room.roomState = record->roomState;
        if (record->roomState != 2) ::KillTimer(m_hWnd, eTimer_ClassClock);
        SetSwitchNetworkVisible();
    }
    ApplyRoomFlags(record->roomFlags);
}

void CMainWnd::ShowRoomFlags(uint32_t flags)
{
    auto* discuss = Find<COptionUI>(L"AllowDiscuss");
    if (discuss && discuss->GetInterface(L"Option")) discuss->Selected((flags & 2) != 0);
    auto* model = Find<CComboUI>(L"ModelChoose");
    if (model && model->GetInterface(L"Combo")) model->SelectItem((flags & 1) ? 0 : 1);
}

void CMainWnd::ApplyRoomFlags(uint32_t flags)
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    uint32_t old = session->room.roomFlags;
    if (flags == old) return;
    // Stored first: the checks set below report their change, which must not echo back to the room.
    session->room.roomFlags = flags;
    uint8_t role = session->role;
    if (IsTeacherRole(role)) {
        ShowRoomFlags(flags);
    } else if (IsStudentRole(role)) {
        if ((flags ^ old) & 1) {
            SetText(L"MicAllowTip", (flags & 1) ? LangText(68, L"") : LangText(69, L"Mic Tip"));
            if (!(flags & 1)) {
                SetText(L"MicNumLabel", L"0");
                // The microphone mode ended: a queued or speaking user steps back by itself.
                uint8_t own = session->role;
                if (own == eRole_MicApplied || own == eRole_MicConnecting || IsSpeakingRole(own))
                    SendSpeak(session->userId, eRole_Student);
            }
            SetText(L"ApplyMicBtn", LangText(70, L"Apply MIc"));
            SetEnabled(L"ApplyMicBtn", (flags & 1) != 0);
        }
        if ((flags ^ old) & 2) {
            bool allowed = (flags & 2) != 0;
            SetChatInputEnabled(allowed && !m_muted);
            AddSystemText(LangText(allowed ? 72 : 71, L""));
        }
    }
}

void CMainWnd::OnClassClockTick()
{
    ++m_classClock;
    SetText(L"TimeLabel", ClassClockText(m_classClock));
}

void CMainWnd::OnCountdown(const uint32_t* seconds)
{
    if (!seconds) return;
    ::KillTimer(m_hWnd, eTimer_Countdown);
    m_classLeftSeconds = *seconds;
    ::SetTimer(m_hWnd, eTimer_Countdown, 1000, nullptr);
    SessionContext* session = SessionContext::Instance();
    if (session && IsTeacherRole(session->role) && (m_liveState.flags & 4) && m_shareScreen && ::IsWindow(m_shareScreen)) {
        auto* copy = new (std::nothrow) uint32_t(*seconds);
        if (copy && !::PostMessageW(m_shareScreen, WM_USER_COUNTDOWN, 0, reinterpret_cast<LPARAM>(copy))) delete copy;
    }
}

void CMainWnd::OnCountdownTick()
{
    CControlUI* label = m_PaintManager.FindControl(L"TimeCountDownLabel");
    if (!label) return;
    label->SetVisible(true);
    CString text, attributes;
    if (m_classLeftSeconds > 0) {
        --m_classLeftSeconds;
        int minutes = static_cast<int>(m_classLeftSeconds % 3600 / 60);
        int seconds = static_cast<int>(m_classLeftSeconds % 60);
        if (HasLanguageTable()) text.Format(L"%s -- %02d:%02d", LangText(43, L"").GetString(), minutes, seconds);
        else text.Format(L"ClassLeftTime -- %02d:%02d", minutes, seconds);
        attributes.Format(m_classLeftSeconds % 2 ? L"bkcolor=\"#FF333D49\" text=\"%s\"" : L"bkcolor=\"#FFFF3344\" text=\"%s\"",
                          text.GetString());
        label->ApplyAttributeList(attributes);
        return;
    }
    m_countdownEnded = true;
    ::KillTimer(m_hWnd, eTimer_Countdown);
    if (HasLanguageTable()) text.Format(L"%s -- 00:00", LangText(46, L"").GetString());
    else text = L"Class Over -- 00:00";
    attributes.Format(L"bkcolor=\"#FFFF3344\" text=\"%s\"", text.GetString());
    label->ApplyAttributeList(attributes);
    ShowSystemText(LangText(46, L""));
    EnterClassOver();
}

void CMainWnd::EnterClassOver()
{
    m_classOver = true;
    SessionContext* session = SessionContext::Instance();
    bool teacher = session && IsTeacherRole(session->role);
    if (teacher) {
        ShowClassButtons(false);
        SetEnabled(L"ClassBeginBtn", false);
    }
    CProtocolMgr::Instance()->RequestStop();
    if (m_roster) {
        m_roster->RemoveAll();
        UpdateStudentCount();
    }
    SetChatInputEnabled(false);
    if (m_castmix && m_castmix->engine) Castmix_SetSendState(m_castmix->engine, 5);
    if (teacher) {
        if (m_controlPanelButton) ::ShowWindow(m_controlPanelButton, SW_HIDE);
        if (HWND panel = ControlPanelWindow()) ::ShowWindow(panel, SW_HIDE);
    }
    SwitchSourcesOff();
    if (m_countdownEnded) {
        CControlUI* over = m_PaintManager.FindControl(L"ClassOverLayout");
        CControlUI* center = m_PaintManager.FindControl(L"CenterArea");
        if (over && center) {
            over->SetPos(center->GetPos());
            over->SetVisible(true);
        }
    }
}

void CMainWnd::OnForbidSpeaking(const ForbidSpeakingRecord* record)
{
    SessionContext* session = SessionContext::Instance();
    if (!record || !session) return;
    if (record->secondId != session->userId || record->firstId != session->room.roomId) return;
    int16_t seconds = static_cast<int16_t>(record->seconds);
    if (seconds > 0) {
        CString text;
        text.Format(L"\x60A8\x5DF2\x7ECF\x88AB\x7BA1\x7406\x5458\x7981\x8A00%d\x79D2", static_cast<int>(seconds));
        ShowSystemText(text);
        SetChatInputEnabled(false);
        m_muted = true;
        ::SetTimer(m_hWnd, eTimer_Mute, static_cast<UINT>(seconds) * 1000u, nullptr);
    } else if (seconds < 0 && m_muted) {
        ::KillTimer(m_hWnd, eTimer_Mute);
        ShowSystemText(L"\x7981\x8A00\x5DF2\x7ECF\x88AB\x89E3\x9664\xFF0C\x60A8\x53EF\x4EE5\x81EA\x7531\x53D1\x8A00");
        m_muted = false;
        SetChatInputEnabled(true);
    }
}

void CMainWnd::OnLevelMeters()
{
    if (!m_castmix) return;
    long mic = m_castmix->engine ? Castmix_GetSpeechMicVolume(m_castmix->engine) * 100 / 9 : 0;
    long speaker = m_castmix->engine ? Castmix_GetSpeechSpeakerVolume(m_castmix->engine, 0) * 100 / 9 : 0;
    auto* micSlider = Find<CActSliderUI>(L"MicActSlider");
    if (micSlider && micSlider->GetInterface(L"ActSlider")) micSlider->SetActValue(static_cast<int>(mic));
    auto* soundSlider = Find<CActSliderUI>(L"SoundActSlider");
    if (soundSlider && soundSlider->GetInterface(L"ActSlider")) soundSlider->SetActValue(static_cast<int>(speaker));
}

void CMainWnd::OnClassBegin()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    if (m_castmix && m_castmix->engine) Castmix_SetSendState(m_castmix->engine, 10);
    CControlUI* begin = m_PaintManager.FindControl(L"ClassBeginBtn");
    if (!begin) return;
    begin->SetVisible(false);
    SetVisible(L"ClassOverBtn", true);
    SetVisible(L"RecordCheck", true);
    session->room.roomState = 2;
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendClassState(session->room)) LOG_ERROR(L"class state not sent to the room");
    ::SetTimer(m_hWnd, eTimer_ClassClock, 1000, nullptr);
    // Late comers take the live sources from the room's copy of this state.
    if (!channel || !channel->SendPacket(eType_LivingState, &m_liveState, sizeof(m_liveState), session->room.roomId))
        LOG_ERROR(L"living state not sent to the room");
    const LiveState& l = m_liveState;
    LOG_INFO(L"class begin---wb(live--%d,page--%d,pos--%d); doc(live--%d,page--%d,pos--%d,fileid=%I64u); "
             L"camera(live--%d,index=%d,pos--%d)",
             l.whiteboardState >= 64, l.whiteboardTab, l.whiteboardState & 0x3F, l.docState >= 64, l.docPage,
             l.docState & 0x3F, l.docId, l.cameraState >= 64, l.cameraIndex, l.cameraState & 0x3F);
    SetSwitchNetworkVisible();
}

void CMainWnd::OnClassEnd()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return;
    if (m_castmix && m_castmix->engine) Castmix_SetSendState(m_castmix->engine, 5);
    ShowClassButtons(false);
    session->room.roomState = 4;
    CCmdProtocol* channel = CProtocolMgr::Instance()->Channel();
    if (!channel || !channel->SendClassState(session->room)) LOG_ERROR(L"class state not sent to the room");
    ::KillTimer(m_hWnd, eTimer_ClassClock);
    SetSwitchNetworkVisible();
}

void CMainWnd::OnSwitchNetwork()
{
    SessionContext* session = SessionContext::Instance();
    if (!session || session->room.roomState != 2 || !m_castmix || !m_castmix->engine) return;
    ServerNode node{};
    if (!CProtocolMgr::Instance()->PickAlternativeStreamServer(node)) return;
    if (node.id == m_castmix->serverId) return; // the same server: nothing to change
    long result = Castmix_ChangeStreamServer(m_castmix->engine, node.address, node.port, node.id);
    uint32_t ip = node.address;
    Logger::Instance().Write(L"Infor : Switch Media -- ip=%d,port = %d, serverid = %d, ret = %d\r\n", static_cast<int>(ip),
                             node.port, node.id, static_cast<int>(result));
    if (result <= 0) return;
    m_castmix->SetStreamServer(node);
    // The session's stream node is what later switches and refreshes start from.
    session->streamServer = node;
    if (session->configuredStreamServer.address != 0 && session->configuredStreamServer.port != 0)
        session->configuredStreamServer = node;
}
