// Opens the classroom satellites side by side, for a screenshot under Xvfb (not a test):
// classroom_gallery.exe, then `import -window root shot.png`.
#include "classroom/ControlPanelWnd.h"
#include "classroom/CoverWnd.h"
#include "classroom/FloatingBars.h"
#include "classroom/MicSeqWnd.h"
#include "classroom/ShareScreenWnd.h"
#include "classroom/VideoWnd.h"
#include "classroom/WhiteboardWnd.h"
#include "core/Folders.h"
#include "core/WindowMessages.h"

#include <objbase.h>

namespace {
LRESULT CALLBACK Plain(HWND hwnd, UINT msg, WPARAM w, LPARAM l)
{
    return DefWindowProcW(hwnd, msg, w, l);
}
} // namespace

int wmain()
{
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(GetModuleFolder().GetString());
    CoInitialize(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &Plain;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"GalleryHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowExW(0, L"GalleryHost", L"", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 1600, 1000,
                                nullptr, nullptr, wc.hInstance, nullptr);

    auto* board = new CWhiteboardWnd;
    HWND wb = board->Create(host, L"WhiteboardLive", 0x56000000, 0, 0, 0, 0, 0);
    MoveWindow(wb, 10, 10, 640, 420, TRUE);

    auto* video = new CVideoWnd(eVideoCover_Preview);
    HWND vw = video->Create(host, L"VideoLive");
    MoveWindow(vw, 680, 10, 120, 90, TRUE);
    ::SendMessageW(vw, WM_USER_UI_NOTICE, 24, 1);

    auto* vice = new CViceScreenCoverWnd;
    HWND cover = vice->Create(host, 830, 10, 240, 160);
    ::SendMessageW(cover, WM_MOUSEMOVE, 0, MAKELPARAM(20, 140));

    auto* pen = new CPenToolWnd;
    pen->Create(host, L"PenTool", WS_POPUP | WS_VISIBLE, 0, 10, 450, 0, 0);
    ::SendMessageW(pen->GetHWND(), WM_USER_UI_NOTICE, 10, 0);
    auto* cp = new CCpBtnWnd;
    cp->Create(host, L"CpBtn", WS_POPUP | WS_VISIBLE, 0, 330, 450, 0, 0);

    auto* panel = new CControlPanelWnd;
    panel->Create(host, L"ControlPanel", WS_POPUP | WS_VISIBLE, 0, 10, 500, 0, 0);

    auto* queue = new CMicSeqWnd;
    HWND mic = queue->Create(host, L"MicSeq", WS_POPUP | WS_VISIBLE, 0, 680, 200, 0, 0);
    auto* record = new MicQueueRecord;
    for (int i = 0; i < 3; ++i) {
        UserRecord user;
        user.userId = 10 + i;
        user.nickName.Format(L"Student %d", i + 1);
        user.role = i == 0 ? eRole_MicConnecting : eRole_MicApplied;
        record->users.push_back(user);
    }
    ::PostMessageW(mic, WM_USER_MIC_LIST, 0, reinterpret_cast<LPARAM>(record));

    auto* share = new CShareScreenWnd;
    HWND sh = share->Create(nullptr, L"ShareScreen", WS_POPUP, WS_EX_TOPMOST, 0, 0, 0, 0);
    ::SendMessageW(sh, WM_USER_UI_NOTICE, 25, 0);
    MoveWindow(sh, 900, 500, 600, 400, TRUE);

    CPaintManagerUI::MessageLoop();
    CPaintManagerUI::Term();
    return 0;
}
