// The main window's record, its creation and its end, and its frame (hit test, system commands).
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/PopupMenus.h"
#include "controls/ControlFactory.h"
#include "controls/StudentList.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/Version.h"
#include "core/WindowMessages.h"
#include "database/ChatRecordsTask.h"
#include "database/SqliteMgr.h"
#include "filetransfer/FileTransSession.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/LoginWnd.h"
#include "dialogs/MessageBox.h"
#include "protocol/ProtocolMgr.h"

#include <windowsx.h>
#include <ctime>
#include <new>

CDuiString MainWindowTitle()
{
    SessionContext* session = SessionContext::Instance();
    if (session && HasLanguageTable()) return CDuiString(session->languageTable->GetString(47));
    return L"LumenvaleV2";
}

CString ExecutableVersionText()
{
    return GetFileVersionString();
}

CString ClassClockText(uint32_t seconds)
{
    CString text;
    text.Format(L"%02d:%02d:%02d", static_cast<int>(seconds / 3600), static_cast<int>(seconds % 3600 / 60),
                static_cast<int>(seconds % 60));
    return text;
}

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd()
{
    // The connection thread posts to this window: it stops first.
    CProtocolMgr::Instance()->RequestStop();
    if (m_shareScreen && IsWindow(m_shareScreen)) ::SendMessageW(m_shareScreen, WM_CLOSE, 0, 0);
    m_controlPanel = nullptr; // a popup owned by this window: destroyed with it, deletes itself
    StopDownloads();
    if (m_castmix) {
        m_castmix->Close();
        m_castmix.reset();
    }
    m_chatTask.reset(); // writes what is still queued
    SessionContext* session = SessionContext::Existing();
    if (m_fontLoaded && session) {
        IDBMgr* db = CSqliteMgr::GetInstance();
        if (db) {
            db->SaveFontInfo(m_chatFont);
            db->DeletePPTStatusByRoom(static_cast<int32_t>(session->room.roomId));
        }
    }
    // The main window's end is the client's end.
    SessionContext::Destroy();
    PostQuitMessage(0);
}

CControlUI* CMainWnd::CreateControl(LPCTSTR pstrClass)
{
    static const wchar_t* const kTags[] = {L"PosVerLayout", L"WinContainer",     L"LVStudentList", L"LVListupCombo",
                                           L"ShapeElement", L"PosHorLayout",     L"ActSlider",     L"MidEllipsisLabel",
                                           L"TipFlashBtn",  L"OneClickBtn",      L"RecordCheck"};
    for (const wchar_t* tag : kTags)
        if (wcscmp(pstrClass, tag) == 0) return CreateLumenvaleControl(pstrClass);
    return nullptr;
}

void CMainWnd::InitWindow()
{
    CreateSatellites();
    m_roster = static_cast<CStudentList*>(m_PaintManager.FindControl(L"StudentList"));
    if (m_roster && !m_roster->GetInterface(L"LVStudentList")) m_roster = nullptr;
    if (SessionContext* session = SessionContext::Instance()) session->rosterControl = m_roster;
    CStudentListElement::SetMenuOpener(&OpenStudentListMenu);
    m_inputEdit = Find<CRichEditUI>(L"InputEdit");
    m_outputEdit = Find<CRichEditUI>(L"OutputEdit");
    // The teacher's room controls start from the flags the room has until it says otherwise.
    if (SessionContext* session = SessionContext::Instance()) ShowRoomFlags(session->room.roomFlags);
}

void CMainWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}

HWND CMainWnd::FindLoginWindow()
{
    return FindWindowW(L"__LumenvaleLoginWnd__", nullptr);
}

void CMainWnd::StartLogin()
{
    auto* login = new (std::nothrow) CLoginWnd(m_hWnd);
    if (login) {
        if (login->Create(m_hWnd, L"LoginWnd", 0x10CF0000, WS_EX_APPWINDOW)) {
            login->CenterWindow();
            login->ShowWindow(true);
        } else {
            delete login; // never became a window, so its final message will not free it
            login = nullptr;
        }
    }
    ShowWindow(false);

    SessionContext* session = SessionContext::Instance();
    int parsed = session ? session->ParseLaunchUrl() : -1;
    LOG_INFO(L"launch link parse result %d", parsed);
    if (parsed == 0) {
        StartConnection();
    } else if (parsed >= 1 && parsed <= 3 && login && HasLanguageTable()) {
        login->SetStatusText(session->languageTable->GetString(9 + parsed), false);
    }
}

void CMainWnd::SetVisible(const wchar_t* name, bool visible)
{
    if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetVisible(visible);
}

void CMainWnd::SetEnabled(const wchar_t* name, bool enabled)
{
    if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetEnabled(enabled);
}

void CMainWnd::SetText(const wchar_t* name, const CString& text)
{
    if (CControlUI* control = m_PaintManager.FindControl(name)) control->SetText(text);
}

LRESULT CMainWnd::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // Every close the user starts (the close button, Alt+F4, the system menu, the taskbar, Quit) ends
    // here. While the settings dialog sits in the camera's property page the window stays: closing it
    // would destroy the dialog under that call.
    if (m_closeBlocked && !m_closeForced) {
        ShowMessageBox(m_hWnd, LangText(51, L"Please check the settings."), LangText(39, L"Prompt"), MB_OK);
        bHandled = TRUE;
        return 0;
    }
    // The engine's threads draw into our children: they stop before the windows go.
    if (m_castmix) m_castmix->Close();
    return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

void CMainWnd::CloseForced()
{
    m_closeForced = true;
    Close();
}

LRESULT CMainWnd::OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    // A recording keeps its frame size: no edge resizes the window meanwhile.
    if (m_recording) return HTCLIENT;
    return WindowImplBase::OnNcHitTest(uMsg, wParam, lParam, bHandled);
}

LRESULT CMainWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
        bHandled = TRUE;
        return 0;
    }
    BOOL wasZoomed = ::IsZoomed(m_hWnd);
    LRESULT result = WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
    BOOL zoomed = ::IsZoomed(m_hWnd);
    if (wasZoomed != zoomed) {
        SetVisible(L"maxbtn", !zoomed);
        SetVisible(L"restorebtn", zoomed != FALSE);
    }
    return result;
}

LRESULT CMainWnd::ResponseDefaultKeyEvent(WPARAM wParam)
{
    // A stray Escape must not end the class: in this window it would close the client at once. It
    // stops here, so the skinned windows inside (the live document) do not close on it either.
    if (wParam == VK_ESCAPE) return TRUE;
    return WindowImplBase::ResponseDefaultKeyEvent(wParam);
}

LRESULT CMainWnd::OnMove(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    PlaceFloatingBars();
    if (m_viceCover && ::IsWindowVisible(m_viceCover)) PlaceViceCover();
    if (m_videoSpeakCover && ::IsWindowVisible(m_videoSpeakCover)) PlaceVideoSpeakCover();
    bHandled = FALSE;
    return 0;
}

LRESULT CMainWnd::OnTimer(UINT, WPARAM wParam, LPARAM, BOOL& bHandled)
{
    bHandled = TRUE;
    switch (wParam) {
    case eTimer_Mute: break; // the mute ends with the room's release notice only
    case eTimer_Reconnect: OnReconnectTimer(); break;
    case eTimer_RepaintChat:
        if (m_inputEdit) m_inputEdit->Invalidate();
        if (m_outputEdit) m_outputEdit->Invalidate();
        break;
    case eTimer_ClassClock: OnClassClockTick(); break;
    case eTimer_Countdown: OnCountdownTick(); break;
    case eTimer_VideoReattach:
        ::KillTimer(m_hWnd, eTimer_VideoReattach);
        if (m_castmix) m_castmix->ChangeScreenWnd(m_videoLive);
        break;
    case eTimer_LevelMeters: OnLevelMeters(); break;
    case eTimer_DownloadRetry: OnDownloadRetryTimer(); break;
    default: bHandled = FALSE; break;
    }
    return 0;
}

LRESULT CMainWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    BOOL handled = FALSE;
    LRESULT result = 0;
    if (uMsg == WM_MOVE) result = OnMove(uMsg, wParam, lParam, handled);
    else if (uMsg == WM_TIMER) result = OnTimer(uMsg, wParam, lParam, handled);
    else if (uMsg == WM_MAINWND_SHOW_OUTPUT) {
        m_pendingOutput.TurnArrived();
        ShowPendingOutput();
        return 0;
    } else if (uMsg == WM_MAINWND_DOWNLOAD_TURN) {
        m_downloadTurnPosted = false;
        RunDownloadTurn();
        ScheduleDownloadTurn();
        return 0;
    }
    if (handled) return result;
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}
