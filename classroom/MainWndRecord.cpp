// The teacher's recording of the class into a video file: the "RecordCheck" switch starts and stops it,
// the engine records the live sources, and the frame stays fixed while it runs.
#include "classroom/MainWnd.h"

#include "classroom/CastmixSession.h"
#include "classroom/LiveStateOps.h"
#include "controls/PosLayouts.h"
#include "controls/SmallControls.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "dialogs/MessageBox.h"

#include <cwchar>

namespace {

const int kMainScreen = 1;
const int kViceScreen = 2;

struct OutputSize {
    int32_t width;
    int32_t height;
};

// The output size of the video-size option; unknown options keep the default.
OutputSize OutputSizeOf(int32_t option)
{
    switch (option) {
    case 1: return {800, 600};
    case 2: return {1080, 720};
    case 3: return {1920, 1080};
    default: return {640, 480};
    }
}

} // namespace

_RecParam DefaultRecParam()
{
    _RecParam param = {};
    param.frameRate = 20;
    param.dataRate = 1024;
    param.outputWidth = 640;
    param.outputHeight = 480;
    param.sixtyFour = 64;
    param.five = 5;
    return param;
}

int32_t RecordModeOf(int32_t recordOption)
{
    if (recordOption == 0) return 1;
    if (recordOption == 1) return 2;
    return 3;
}

bool RecordPathFor(const CString& folder, const SYSTEMTIME& now, wchar_t (&path)[260])
{
    CString base = folder;
    while (!base.IsEmpty() && (base.Right(1) == L"\\" || base.Right(1) == L"/")) base = base.Left(base.GetLength() - 1);
    if (base.IsEmpty()) return false;
    int written = _snwprintf(path, 260, L"%ls\\%d-%02d-%02d_%02d-%02d-%02d.wmv", base.GetString(), now.wYear, now.wMonth,
                             now.wDay, now.wHour, now.wMinute, now.wSecond);
    // A path cut at the limit would name another file: refused instead.
    if (written < 0 || written >= 260) {
        path[0] = 0;
        return false;
    }
    return true;
}

void CMainWnd::OnRecordSelectChanged(COptionUI* check)
{
    if (check->IsSelected()) {
        if (!m_recording) StartRecording(check);
    } else if (m_recording) {
        StopRecording();
    }
    UpdatePenToolVisibility();
}

bool CMainWnd::RecordSourcesLive(int32_t mode) const
{
    bool camera = LiveStateCameraLive(m_liveState);
    bool board = LiveStateDocumentLive(m_liveState) || LiveStateWhiteboardLive(m_liveState);
    if (mode == 1) return camera;
    if (mode == 2) return board;
    return board && camera;
}

void CMainWnd::StartRecording(COptionUI* check)
{
    SessionContext* session = SessionContext::Instance();
    if (!session || !IsTeacherRole(session->role)) {
        check->Selected(false, false);
        return;
    }
    if (!::IsZoomed(m_hWnd)) {
        int answer = ShowMessageBox(m_hWnd, LangText(81, L"The window is not maximized. Record it at this size?"),
                                    LangText(39, L"Prompt"), MB_YESNO);
        // The switch may have been turned off while the question was open.
        if (answer != IDYES || !check->IsSelected()) {
            check->Selected(false);
            return;
        }
    }
    if (!m_castmix || !m_castmix->engine) {
        LOG_ERROR(L"recording asked for, but there is no media engine");
        check->Selected(false);
        return;
    }
    const OptionSettings& options = session->options;
    _RecParam param = DefaultRecParam();
    param.frameRate = options.frameRate;
    param.dataRate = options.dataRate;
    param.mode = RecordModeOf(options.recordOption);
    if (!RecordSourcesLive(param.mode)) {
        // 3: the camera is missing, 2: a board is missing, 1: a board and the camera are needed.
        LPARAM missing = param.mode == 1 ? 3 : param.mode == 2 ? 2 : 1;
        PostToWindow(m_hWnd, WM_USER_ERROR_BOX, 5, missing);
        check->Selected(false);
        return;
    }
    param.documentWindow = CastmixWindowValue(m_docLive);
    param.whiteboardWindow = CastmixWindowValue(m_whiteboardLive);
    param.two = 2;
    if (CWinContainerUI* main = ScreenContainer(kMainScreen)) {
        RECT rc = main->GetPos();
        param.sourceWidth = rc.right - rc.left;
        param.sourceHeight = rc.bottom - rc.top;
    }
    OutputSize output = OutputSizeOf(options.videoSizeOption);
    param.outputWidth = output.width;
    param.outputHeight = output.height;

    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    if (!EnsureFolder(options.recordFolder) || !RecordPathFor(options.recordFolder, now, param.outputPath)) {
        LOG_ERROR(L"record folder %s cannot be used", options.recordFolder.GetString());
        PostToWindow(m_hWnd, WM_USER_ERROR_BOX, 3, -1);
        check->Selected(false);
        return;
    }

    // The board is what fills the recording: it goes to the main screen first.
    if (param.mode >= 2) {
        bool boardInVice = (m_viceContent == eScreen_Document && LiveStateDocumentLive(m_liveState)) ||
                           (m_viceContent == eScreen_Whiteboard && LiveStateWhiteboardLive(m_liveState));
        if (boardInVice) {
            CControlUI* right = m_PaintManager.FindControl(L"RightPart");
            if (right && !right->IsVisible()) {
                if (CControlUI* button = m_PaintManager.FindControl(L"RightCtrlBtn")) TogglePart(L"RightPart", button, false);
            }
            SwapScreensAndTell();
        }
    }

    long result = m_castmix->StartRec(param);
    LOG_INFO(L"start record---mode=%d, file=%s, source=%dx%d, output=%dx%d, ret=%ld", param.mode, param.outputPath,
             param.sourceWidth, param.sourceHeight, param.outputWidth, param.outputHeight, result);
    if (result <= 0) {
        PostToWindow(m_hWnd, WM_USER_ERROR_BOX, 3, static_cast<LPARAM>(result));
        check->Selected(false);
        return;
    }
    m_PaintManager.SetTimer(check, CRecordCheckUI::kSecondTimer, 1000);
    m_recording = true;
    SetFrameButtonsEnabled(false);
}

void CMainWnd::StopRecording()
{
    m_recording = false;
    SetFrameButtonsEnabled(true);
    long result = m_castmix ? m_castmix->StopRec() : CastmixSession::kNoEngine;
    LOG_INFO(L"stop record---ret=%ld", result);
    if (result < 1) PostToWindow(m_hWnd, WM_USER_ERROR_BOX, 4, static_cast<LPARAM>(result));
}

void CMainWnd::SetFrameButtonsEnabled(bool enabled)
{
    // The size of the frame is the size of the recording: none of these may change it meanwhile.
    CControlUI* restore = m_PaintManager.FindControl(L"restorebtn");
    SetEnabled(restore && restore->IsVisible() ? L"restorebtn" : L"maxbtn", enabled);
    SetEnabled(L"minbtn", enabled);
    SetEnabled(L"LeftCtrlBtn", enabled);
    SetEnabled(L"RightCtrlBtn", enabled);
}
