#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
#include "core/TextUtil.h"
#include "core/WindowMessages.h"
#include "protocol/ProtocolMgr.h"
#include "tests/support/TestFolders.h"

using namespace fakeroom;

namespace {

void AppendWire(Bytes& out, const std::string& text)
{
    out.push_back(static_cast<uint8_t>(text.size()));
    out.push_back(static_cast<uint8_t>(text.size() >> 8));
    out.insert(out.end(), text.begin(), text.end());
}

void UseProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) slash[1] = 0;
    SetModuleFolderOverride(path);
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CPaintManagerUI::SetResourcePath(path);
}

} // namespace

Bytes OnlineNotice(uint32_t id, uint8_t role, uint8_t sex, const std::string& screenName, const std::string& userName)
{
    Bytes out(32, 0);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(kRoomId >> (8 * i));
    for (int i = 0; i < 4; ++i) out[23 + i] = static_cast<uint8_t>(id >> (8 * i));
    out[27] = 1;
    out[29] = role;
    out[30] = sex;
    AppendWire(out, screenName);
    AppendWire(out, userName);
    return out;
}

Bytes UserList(std::initializer_list<Bytes> entries)
{
    Bytes out;
    for (const Bytes& entry : entries) out.insert(out.end(), entry.begin(), entry.end());
    return out;
}

Bytes JoinReply(uint8_t roomState, uint16_t flags)
{
    Bytes join(44, 0);
    join[10] = roomState;
    join[21] = static_cast<uint8_t>(flags);
    join[22] = static_cast<uint8_t>(flags >> 8);
    for (int i = 0; i < 4; ++i) join[40 + i] = static_cast<uint8_t>(kDrawingBase >> (8 * i));
    return join;
}

MainWndHarness::MainWndHarness(int role, uint8_t roomState, int streamServers) : room(streamServers), roleType(role)
{
    UseProgramFolder();
    room.gateway.SetServerList(room.DefaultList());
    room.reg.SetJoinReply(1, JoinReply(roomState));
    users = UserList({UserEntry(kOwnId, role == 2 ? 3 : 1, 2, "Ms Ann", "ann"), UserEntry(kBen, 1, 1, "Ben", "ben")});
    room.reg.SetReply(eType_RoomUsers, 1, users);
    room.reg.SetReply(eType_PaintList, 1, Bytes());
    room.reg.SetReply(eType_FileList, 1, Bytes());
}

MainWndHarness::~MainWndHarness()
{
    Close();
    CProtocolMgr::Instance()->RequestStop();
}

bool MainWndHarness::Start()
{
    SessionContext* session = SessionContext::Instance();
    if (!session) return false;
    session->commandLine = CString(LaunchLink(kRoomId, "Physics 7B", kOwnId, "Ms Ann", roleType, room.gateway.Port()).c_str());
    main = new CMainWnd;
    if (!main->Create(nullptr, L"LumenvaleV2", 0x10CF0000, 0x00060000, 0, 0, 0, 0)) {
        delete main;
        main = nullptr;
        return false;
    }
    window = main->GetHWND();
    session->mainWindow = window;
    main->StartLogin();
    return true;
}

bool MainWndHarness::StartAndJoin(DWORD timeoutMs)
{
    if (!Start()) return false;
    bool joined = PumpUntil([this] { return main->IsJoined() && IsWindowVisible(window) && main->GetRoster() &&
                                            main->GetRoster()->GetCount() > 0; },
                            timeoutMs);
    // Away from the top-left corner, where other test programs read their windows' pixels back.
    if (joined) SetWindowPos(window, nullptr, 540, 290, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return joined;
}

void MainWndHarness::Close()
{
    if (!window || !IsWindow(window)) return;
    DestroyWindow(window);
    window = nullptr;
    main = nullptr;
    // The window's end posts the quit message; it must not end a later test's loop.
    MSG msg;
    PumpUntil([] { return false; }, 100);
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

bool MainWndHarness::WaitForEnd(DWORD timeoutMs)
{
    HWND ending = window;
    bool ended = PumpUntil([&] { return !IsWindow(ending); }, timeoutMs);
    if (ended) {
        window = nullptr;
        main = nullptr;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return ended;
}

CControlUI* MainWndHarness::Find(const wchar_t* name) const
{
    return main ? main->GetPaintManager()->FindControl(name) : nullptr;
}

CString MainWndHarness::Text(const wchar_t* name) const
{
    CControlUI* control = Find(name);
    return control ? CString(control->GetText()) : CString(L"<missing>");
}

CRichEditUI* MainWndHarness::Input() const
{
    return static_cast<CRichEditUI*>(Find(L"InputEdit"));
}

CString MainWndHarness::OutputText() const
{
    auto* out = static_cast<CRichEditUI*>(Find(L"OutputEdit"));
    return out ? CString(out->GetText()) : CString();
}

bool MainWndHarness::WaitForOutput(const wchar_t* part, DWORD timeoutMs) const
{
    return PumpUntil([this, part] { return OutputText().Find(part) >= 0; }, timeoutMs);
}

bool MainWndHarness::Push(uint16_t type, const Bytes& payload, uint32_t sender, uint32_t destination)
{
    HeaderFields fields;
    fields.sender = sender;
    fields.destination = destination;
    return room.reg.Push(type, payload, fields);
}

CString LoginStatus()
{
    HWND login = CMainWnd::FindLoginWindow();
    if (!login) return L"<no login window>";
    auto* window = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(login, GWLP_USERDATA)));
    CControlUI* text = window ? window->GetPaintManager()->FindControl(L"Information") : nullptr;
    return text ? CString(text->GetText()) : CString(L"<no status>");
}

FileNoticeRecord* Notice(uint64_t id, const wchar_t* name, uint64_t size)
{
    auto* notice = new FileNoticeRecord;
    notice->fileId = id;
    notice->fileName = name;
    notice->fileSize = size;
    return notice;
}

void Settle(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

Bytes ClassState(uint8_t state, uint16_t flags, uint32_t roomId)
{
    Bytes out(23, 0);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(roomId >> (8 * i));
    out[10] = state;
    out[21] = static_cast<uint8_t>(flags);
    out[22] = static_cast<uint8_t>(flags >> 8);
    return out;
}

Bytes SpeakState(uint8_t state)
{
    Bytes out(5, 0);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(kRoomId >> (8 * i));
    out[4] = state;
    return out;
}

Bytes Countdown(uint32_t seconds)
{
    Bytes out(4);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(seconds >> (8 * i));
    return out;
}

Bytes DocBytes(uint64_t id, uint16_t page, uint8_t state)
{
    Bytes out;
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(id >> (8 * i)));
    out.push_back(static_cast<uint8_t>(page));
    out.push_back(static_cast<uint8_t>(page >> 8));
    out.push_back(state);
    return out;
}

WndMsgPayload* Action(int32_t kind, uint16_t page)
{
    auto* action = new WndMsgPayload;
    if (kind == ePanel_Camera) action->SetCamera(nullptr, 0);
    else if (kind == ePanel_Whiteboard) action->SetWhiteboard(nullptr, page);
    else action->kind = kind;
    return action;
}

CControlPanelWnd* PanelOf(MainWndHarness& h)
{
    HWND window = h.main ? h.main->ControlPanelWindow() : nullptr;
    return window ? dynamic_cast<CControlPanelWnd*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
                  : nullptr;
}

COptionUI* PanelSwitch(MainWndHarness& h, const wchar_t* name)
{
    CControlPanelWnd* panel = PanelOf(h);
    return panel ? static_cast<COptionUI*>(panel->GetPaintManager()->FindControl(name)) : nullptr;
}

void BeginClass(MainWndHarness& h)
{
    h.main->GetPaintManager()->SendNotify(h.Find(L"ClassBeginBtn"), L"click");
    ASSERT_TRUE(PumpUntil([] { return SessionContext::Instance()->room.roomState == 2; }, 5000));
}

CStudentListElement* RowOf(MainWndHarness& h, uint32_t userId)
{
    CStudentList* roster = h.main->GetRoster();
    for (int i = 0; roster && i < roster->GetCount(); ++i) {
        auto* row = static_cast<CStudentListElement*>(roster->GetItemAt(i)->GetInterface(L"LVStudentListElement"));
        if (row && row->GetUser() && row->GetUser()->userId == userId) return row;
    }
    return nullptr;
}

int Occurrences(const CString& text, const wchar_t* part)
{
    int n = 0;
    for (int at = text.Find(part); at >= 0; at = text.Find(part, at + 1)) ++n;
    return n;
}

std::wstring Wide(const CString& text) { return text.GetString(); }

long long H(HWND window) { return static_cast<long long>(reinterpret_cast<intptr_t>(window)); }

RECT WindowRect(HWND window)
{
    RECT rc{};
    GetWindowRect(window, &rc);
    return rc;
}

RECT ScreenRect(HWND window, const RECT& client)
{
    POINT a{client.left, client.top}, b{client.right, client.bottom};
    ClientToScreen(window, &a);
    ClientToScreen(window, &b);
    return {a.x, a.y, b.x, b.y};
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

uint64_t FreshId(uint64_t base) { return base + GetTickCount() % 50000; }

size_t LogCount(const CString& text)
{
    const std::string log = ReadFileBytes(GetAppDataFolder() + L"Log\\log.txt");
    const std::string part = Utf16ToUtf8(text);
    size_t n = 0;
    for (size_t at = log.find(part); at != std::string::npos; at = log.find(part, at + 1)) ++n;
    return n;
}

bool LogHas(const CString& text) { return LogCount(text) > 0; }
