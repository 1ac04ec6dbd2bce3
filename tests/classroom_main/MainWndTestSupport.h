// The whole class window in the test process against a fake room on loopback: the launch link points
// at the room's gateway, the window goes through login and join as the client does.
#pragma once
#include "classroom/ControlPanelWnd.h"
#include "classroom/MainWnd.h"
#include "controls/StudentList.h"
#include "core/SessionContext.h"
#include "platform/ui/UIRichEdit.h"
#include "tests/fakes/room/FakeRoom.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

const uint32_t kRoomId = 5;
const uint32_t kOwnId = 7;
// The student most tests seat beside the own user.
const uint32_t kBen = 21;

using fakeroom::Base64Text;
using fakeroom::UserEntry;
// A room user list (802): the entries one after another.
fakeroom::Bytes UserList(std::initializer_list<fakeroom::Bytes> entries);
// The online notice (805) of one user.
fakeroom::Bytes OnlineNotice(uint32_t id, uint8_t role, uint8_t sex, const std::string& screenName,
                             const std::string& userName);

class MainWndHarness {
public:
    // role type of the launch link: 2 teacher, 4 student; the room lists that many stream servers.
    explicit MainWndHarness(int roleType = 2, uint8_t roomState = 1, int streamServers = 1);
    ~MainWndHarness();
    MainWndHarness(const MainWndHarness&) = delete;
    MainWndHarness& operator=(const MainWndHarness&) = delete;

    // Creates the window and runs start-up's login step; true when the join completed and the window shows.
    bool StartAndJoin(DWORD timeoutMs = 15000);
    bool Start();
    // Closes the window as the user would and waits for its end.
    void Close();
    // The window closed itself: waits for its end and drains the quit message that end posts.
    bool WaitForEnd(DWORD timeoutMs = 10000);

    CControlUI* Find(const wchar_t* name) const;
    CString Text(const wchar_t* name) const;
    CString OutputText() const;
    CRichEditUI* Input() const;
    bool WaitForOutput(const wchar_t* part, DWORD timeoutMs = 5000) const;
    bool Push(uint16_t type, const fakeroom::Bytes& payload, uint32_t sender = 0, uint32_t destination = kRoomId);

    fakeroom::FakeRoom room;
    fakeroom::Bytes users;
    CMainWnd* main = nullptr;
    HWND window = nullptr;
    int roleType;
};

// A heap file notice (825) as the protocol posts it for one room document.
FileNoticeRecord* Notice(uint64_t id, const wchar_t* name, uint64_t size);

// The login window's status line, read from its skin.
CString LoginStatus();

// The drawing id base the room gives every join: the own drawing keys count up from it + 10000.
const uint32_t kDrawingBase = 70000;
// The room's join reply: 44 bytes with the room state at 10, the room flags at 21 and the drawing id
// base at 40.
fakeroom::Bytes JoinReply(uint8_t roomState, uint16_t flags = 0xFFFF);

// Pumps the window's messages for a while: posted work lands, or nothing more arrives.
void Settle(DWORD ms = 300);

// The class-state notice (811): 23 bytes, the room id at 0, the state at 10, the room flags at 21.
fakeroom::Bytes ClassState(uint8_t state, uint16_t flags = 0xFFFF, uint32_t roomId = kRoomId);
// The speaking-state command (810) of this room: the room id, then the state.
fakeroom::Bytes SpeakState(uint8_t state);
// The count-down notice (816): the seconds left.
fakeroom::Bytes Countdown(uint32_t seconds);
// A document's live state: u64 id, u16 page, u8 state.
fakeroom::Bytes DocBytes(uint64_t id, uint16_t page, uint8_t state);

// A heap panel action as the control panel posts it: camera 0, a whiteboard page, or the bare kind.
WndMsgPayload* Action(int32_t kind, uint16_t page = 1);

// The teacher's control panel of the window, and one of its switches.
CControlPanelWnd* PanelOf(MainWndHarness& h);
COptionUI* PanelSwitch(MainWndHarness& h, const wchar_t* name);
// The teacher's class-begin button, clicked: the class runs.
void BeginClass(MainWndHarness& h);

// The roster row of one user, or null.
CStudentListElement* RowOf(MainWndHarness& h, uint32_t userId);

// How often part occurs in text, overlapping finds counted.
int Occurrences(const CString& text, const wchar_t* part);
// A CString as std::wstring, so that gtest prints it.
std::wstring Wide(const CString& text);
// A window handle as a number, so that gtest prints it.
long long H(HWND window);

RECT WindowRect(HWND window);
// A client rectangle of window in screen coordinates.
RECT ScreenRect(HWND window, const RECT& client);
bool SameRect(const RECT& a, const RECT& b);

// Ids of their own for every run: the record database outlives the test program.
uint64_t FreshId(uint64_t base);
// How often text is in the client's log file.
size_t LogCount(const CString& text);
bool LogHas(const CString& text);
