#include "bench/classroom/ClassWindowHost.h"

#include "core/Folders.h"
#include "core/SessionContext.h"
#include "protocol/PacketHeader.h"
#include "protocol/ProtocolMgr.h"

#include <mmsystem.h>

#include <cstdio>

using namespace fakeroom;

namespace {

CString ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) slash[1] = 0;
    return path;
}

} // namespace

ClassWindowHost::ClassWindowHost()
{
    CString program = ProgramFolder();
    SetModuleFolderOverride(program);
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(program);
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    dataFolder.Format(L"%slvbench_%lu\\", temp, GetCurrentProcessId());
    SetAppDataFolderOverride(dataFolder);

    room.gateway.SetServerList(room.DefaultList());
    Bytes join(44, 0);
    join[10] = 1; // the class has not begun
    join[21] = join[22] = 0xFF;
    room.reg.SetJoinReply(1, join);
    Bytes users = UserEntry(kBenchOwnId, eRole_Student, 2, "Ann", "ann");
    Bytes peer = UserEntry(kBenchPeerId, eRole_Student, 1, "Ben", "ben");
    users.insert(users.end(), peer.begin(), peer.end());
    room.reg.SetReply(eType_RoomUsers, 1, users);
    room.reg.SetReply(eType_PaintList, 1, Bytes());
    room.reg.SetReply(eType_FileList, 1, Bytes());
}

ClassWindowHost::~ClassWindowHost()
{
    if (window && IsWindow(window)) DestroyWindow(window);
    PumpUntil([] { return false; }, 100);
    CProtocolMgr::Instance()->RequestStop();
}

bool ClassWindowHost::Join(DWORD timeoutMs)
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return false;
    session->commandLine = CString(LaunchLink(kBenchRoomId, "Bench", kBenchOwnId, "Ann", 4, room.gateway.Port()).c_str());
    main = new CMainWnd;
    if (!main->Create(nullptr, L"LumenvaleV2", 0x10CF0000, 0x00060000, 0, 0, 0, 0)) {
        std::printf("the class window was not created (is there a display?)\n");
        delete main;
        main = nullptr;
        return false;
    }
    window = main->GetHWND();
    session->mainWindow = window;
    main->StartLogin();
    bool joined = PumpUntil([this] { return main->IsJoined() && IsWindowVisible(window) && main->GetRoster() &&
                                            main->GetRoster()->GetCount() > 0; },
                            timeoutMs);
    if (!joined) std::printf("the class window did not join the loopback room\n");
    return joined;
}

namespace {
const UINT kProbeMessage = WM_APP + 7;
}

UiProbe::UiProbe(std::function<void()> onProbe) : m_onProbe(std::move(onProbe))
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &UiProbe::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LvBenchProbe";
    RegisterClassW(&wc);
    m_window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

UiProbe::~UiProbe()
{
    Stop();
    if (m_window) DestroyWindow(m_window);
}

void UiProbe::Start()
{
    if (!m_window || m_thread.joinable()) return;
    m_stop = false;
    m_thread = std::thread([this] {
        while (!m_stop) {
            PostMessageW(m_window, kProbeMessage, 0, static_cast<LPARAM>(timeGetTime()));
            Sleep(10);
        }
    });
}

void UiProbe::Stop()
{
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

void UiProbe::Reset()
{
    m_longest = 0;
    m_count = 0;
}

LRESULT CALLBACK UiProbe::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<UiProbe*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != kProbeMessage || !self) return DefWindowProcW(window, message, wParam, lParam);
    const DWORD waited = timeGetTime() - static_cast<DWORD>(lParam);
    if (waited > self->m_longest) self->m_longest = waited;
    ++self->m_count;
    if (self->m_onProbe) self->m_onProbe();
    return 0;
}
