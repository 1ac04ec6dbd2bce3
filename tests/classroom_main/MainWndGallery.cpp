// Opens the class window against the fake room on loopback and brings it to a state worth a
// screenshot (not a test): classroom_main_gallery student-accepted | teacher-queue | teacher-speaking
//   student-accepted: a student who applied by the button and whom the teacher accepted;
//   teacher-queue:    a teacher with six requests, the queue opened by the list button;
//   teacher-speaking: a teacher whose student speaks by voice, with the chat's font row open.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "core/Folders.h"
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

} // namespace

int wmain(int argc, wchar_t** argv)
{
    CoInitialize(nullptr);
    TempFolder data(L"gallery");
    SetAppDataFolderOverride(data.Path());
    const wchar_t* state = argc > 1 ? argv[1] : L"student-accepted";
    const bool queue = wcscmp(state, L"teacher-queue") == 0;
    const bool speaking = wcscmp(state, L"teacher-speaking") == 0;
    MainWndHarness h(queue || speaking ? 2 : 4);
    if (!(queue ? TeacherQueue(h) : speaking ? TeacherSpeaking(h) : StudentAccepted(h))) return 1;
    // Shown until the script has its screenshot and ends the program.
    CPaintManagerUI::MessageLoop();
    return 0;
}
