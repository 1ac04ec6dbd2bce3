// Which live source the main and vice screens show, and switching them off.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "core/SessionContext.h"
#include "platform/ui/UIlib.h"

void CMainWnd::SwitchSourcesOff()
{
    if (m_mainContent != eScreen_None) SwitchSourceOff(m_mainContent);
    if (m_viceContent != eScreen_None) SwitchSourceOff(m_viceContent);
}

void CMainWnd::SwitchSourceOff(int32_t content)
{
    SessionContext* session = SessionContext::Instance();
    if (content == eScreen_Camera && m_castmix && session) {
        uint8_t role = session->role;
        bool student = role == 1 || role == 2 || (role >= 129 && role <= 133);
        if (!student) {
            m_castmix->useCamera = 0;
            m_castmix->SetCameraEnabled(false, nullptr);
        }
    }
    if (m_mainContent == content) {
        SetVisible(L"MainScreenCtner", false);
        m_mainContent = eScreen_None;
    } else if (m_viceContent == content) {
        SetVisible(L"ViceScreenArea", false);
        SetVisible(L"TeacherInfo", true);
        if (m_viceCover) ::ShowWindow(m_viceCover, SW_HIDE);
        m_viceContent = eScreen_None;
    } else {
        return; // in neither screen: nothing to do
    }
    uint8_t* state = content == eScreen_Camera ? &m_liveState.cameraState
                     : content == eScreen_Document ? &m_liveState.docState
                     : content == eScreen_Whiteboard ? &m_liveState.whiteboardState
                                                     : nullptr;
    if (state) *state &= 0x3F; // the position stays, the live bits go
}
