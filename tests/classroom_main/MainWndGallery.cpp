// Opens the class window against the fake room on loopback and brings it to a state worth a
// screenshot (not a test): classroom_main_gallery <state> [small]
//   student-accepted: a student who applied by the button and whom the teacher accepted;
//   teacher-queue:    a teacher with six requests, the queue opened by the list button;
//   teacher-speaking: a teacher whose student speaks by voice, with the chat's font row open;
//   teacher-class:    a teacher after "Begin class", with the class buttons and volumes of the bar;
//   teacher-vice:     a teacher whose camera went to the vice screen, the mouse over its cover;
//   teacher-pen:      a teacher who put the whiteboard live, with the pen tool above its button;
//   student-video:    a student whom the teacher lets speak by video, the mouse over the cover.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/ControlPanelWnd.h"
#include "core/Folders.h"
#include "core/SessionContext.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/TestFolders.h"

#include <objbase.h>

#include <cwchar>
#include <string>

using namespace fakeroom;

namespace {

bool SeeState(MainWndHarness& h, uint32_t user, uint8_t state)
{
    if (!h.Push(eType_SpeakState, SpeakState(state), user == kOwnId ? kBen : kOwnId, user)) return false;
    return PumpUntil([&] {
        UserRecord row;
        return h.main->GetRoster()->FindUser(user, row) && row.role == state;
    }, 5000);
}

// Joins and moves the window up, so the queue that opens below the teacher's area is on the screen too.
bool Join(MainWndHarness& h)
{
    if (!h.StartAndJoin()) return false;
    SetWindowPos(h.window, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool StudentAccepted(MainWndHarness& h)
{
    if (!Join(h)) return false;
    if (!ClickControl(*h.main->GetPaintManager(), L"ApplyMicBtn")) return false;
    if (!h.room.reg.WaitForMessages(eType_SpeakState, 1)) return false;
    return SeeState(h, kOwnId, eRole_MicApplied) && SeeState(h, kOwnId, eRole_MicConnecting);
}

bool TeacherQueue(MainWndHarness& h)
{
    Bytes list = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
    const char* const names[] = {"Ben Ortiz", "Cleo Marsh", "Dev Patel", "Eva Lind", "Finn Hale", "Gus Moreau", "Hana Sato"};
    uint32_t id = 31;
    for (const char* name : names) {
        Bytes entry = UserEntry(id++, 1, 1, name, name);
        list.insert(list.end(), entry.begin(), entry.end());
    }
    h.room.reg.SetReply(eType_RoomUsers, 1, list);
    if (!Join(h)) return false;
    for (uint32_t user = 31; user <= 36; ++user)
        if (!SeeState(h, user, eRole_MicApplied)) return false;
    return ClickControl(*h.main->GetPaintManager(), L"MicListBtn");
}

bool TeacherSpeaking(MainWndHarness& h)
{
    if (!Join(h)) return false;
    for (uint8_t state : {eRole_MicApplied, eRole_MicConnecting, eRole_SpeakerVoice})
        if (!SeeState(h, kBen, state)) return false;
    return ClickControl(*h.main->GetPaintManager(), L"FontCheck");
}

bool TeacherClass(MainWndHarness& h)
{
    if (!Join(h)) return false;
    h.main->GetPaintManager()->SendNotify(h.Find(L"ClassBeginBtn"), L"click");
    return PumpUntil([] { return SessionContext::Instance()->room.roomState == 2; }, 5000);
}

// The mouse over a cover shows its bar of buttons.
void Hover(HWND cover)
{
    RECT rc{};
    GetWindowRect(cover, &rc);
    MoveClient(cover, (rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
}

bool TeacherVice(MainWndHarness& h)
{
    if (!TeacherClass(h)) return false;
    if (!h.Push(eType_LiveCamera, Bytes{0, 0x42})) return false;
    if (!PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 5000)) return false;
    HWND cover = FindWindowW(L"__LumenvaleSmallScreenCoverWnd__", nullptr);
    if (cover) Hover(cover);
    return true;
}

bool TeacherPen(MainWndHarness& h)
{
    if (!TeacherClass(h)) return false;
    CControlPanelWnd* panel = PanelOf(h);
    if (!panel || !ClickControl(*panel->GetPaintManager(), L"WhiteBoardCheck")) return false;
    return PumpUntil([&] { return IsWindowVisible(h.main->PenToolWindow()) != FALSE; }, 5000);
}

bool StudentVideo(MainWndHarness& h)
{
    if (!Join(h)) return false;
    // Applied by the button, as a student does, so that it offers the way back through the turn.
    if (!ClickControl(*h.main->GetPaintManager(), L"ApplyMicBtn")) return false;
    if (!h.room.reg.WaitForMessages(eType_SpeakState, 1)) return false;
    if (!SeeState(h, kOwnId, eRole_MicApplied) || !SeeState(h, kOwnId, eRole_MicConnecting) ||
        !SeeState(h, kOwnId, eRole_SpeakerVideo))
        return false;
    if (!PumpUntil([&] { return h.main->VideoSpeakCoverWindow() != nullptr; }, 5000)) return false;
    Hover(h.main->VideoSpeakCoverWindow());
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CoInitialize(nullptr);
    TempFolder data(L"gallery");
    SetAppDataFolderOverride(data.Path());
    const wchar_t* state = argc > 1 ? argv[1] : L"student-accepted";
    struct Road {
        const wchar_t* name;
        bool teacher;
        bool (*reach)(MainWndHarness&);
    };
    static const Road kRoads[] = {
        {L"student-accepted", false, StudentAccepted}, {L"teacher-queue", true, TeacherQueue},
        {L"teacher-speaking", true, TeacherSpeaking},  {L"teacher-class", true, TeacherClass},
        {L"teacher-vice", true, TeacherVice},          {L"teacher-pen", true, TeacherPen},
        {L"student-video", false, StudentVideo},
    };
    const Road* road = &kRoads[0];
    for (const Road& r : kRoads)
        if (wcscmp(state, r.name) == 0) road = &r;
    MainWndHarness h(road->teacher ? 2 : 4);
    if (!road->reach(h)) return 1;
    // "small": the smallest window the user can make of it.
    if (argc > 2 && wcscmp(argv[2], L"small") == 0) {
        SetWindowPos(h.window, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        PumpUntil([] { return false; }, 500);
    }
    // Shown until the script has its screenshot and ends the program.
    CPaintManagerUI::MessageLoop();
    return 0;
}
