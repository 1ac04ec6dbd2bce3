// Opens one dialog by name with a recording media engine behind it, for screenshots:
// dialogs_gallery settings [page] | about | records | chat | emotions
#include "core/SessionContext.h"
#include "database/SqliteMgr.h"
#include "dialogs/AboutWnd.h"
#include "dialogs/ChatRecordWnd.h"
#include "dialogs/ChatWnd.h"
#include "dialogs/EmotionWnd.h"
#include "controls/StudentList.h"
#include "dialogs/DialogOpen.h"
#include "dialogs/SettingWnd.h"
#include "tests/fakes/castmix/CastmixDouble.h"

#include <objbase.h>

#include <cwchar>

namespace {
void AddSampleRoom(int32_t roomId, const wchar_t* name, int messages)
{
    RoomInfoRecord room;
    room.roomId = static_cast<uint32_t>(roomId);
    room.roomName = name;
    room.startTime = L"20141129093000";
    CSqliteMgr::GetInstance()->InsertRoomInfo(room);
    if (CSqliteMgr::GetInstance()->GetMsgCount(roomId) > 0) return;
    ChatRecordList records;
    static const wchar_t* const kTexts[] = {L"Good morning, everyone!", L"Could you repeat the last formula?",
                                            L"Sure: the area is pi times r squared.", L"Thanks [\\smile]"};
    for (int i = 0; i < messages; ++i) {
        ChatRecord record;
        record.sender.nickName = i % 2 ? L"Alice" : L"Teacher Tom";
        record.font.family = L"Tahoma";
        record.font.size = 10;
        record.font.colour = i % 2 ? 0xFF0099FF : 0xFF000000;
        record.msg = kTexts[i % 4];
        record.time.Format(L"2014-11-29 09:%02d:%02d", 30 + i / 60, i % 60);
        record.roomId = roomId;
        records.push_back(record);
    }
    CSqliteMgr::GetInstance()->InsertMsgInfoBatch(records);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CoInitialize(nullptr);
    SessionContext* session = SessionContext::Instance();
    delete session->languageTable;
    session->languageTable = new LanguageTable(1);
    CSqliteMgr::GetInstance()->Init(1);
    CastmixDouble::Instance().capDevices = 2;
    CastmixDouble::Instance().playDevices = 2;
    const wchar_t* what = argc > 1 ? argv[1] : L"settings";
    if (wcscmp(what, L"records") == 0) {
        session->room.roomId = 7000;
        session->room.roomName = L"Physics today";
        session->room.startTime = L"20141129093000";
        AddSampleRoom(7000, L"Physics today", 130);
        AddSampleRoom(1001, L"Algebra", 12);
        AddSampleRoom(1002, L"Chemistry lab", 5);
        if (!OpenDialogOnce<CChatRecordWnd>(nullptr, L"__LVChatRecordWnd__", [] { return new CChatRecordWnd; })) return 1;
    } else if (wcscmp(what, L"chat") == 0 || wcscmp(what, L"emotions") == 0) {
        static CStudentList roster;
        UserRecord self;
        self.userId = session->userId = 21;
        self.nickName = session->screenName = L"Teacher Tom";
        self.role = eRole_Teacher;
        roster.AddUser(self);
        session->rosterControl = &roster;
        auto* chat = new CChatWnd;
        if (!chat->Create(nullptr, L"ChatWnd", 0x94000000, 0, 0, 0, 0, 0)) return 1;
        SetWindowPos(chat->GetHWND(), nullptr, 300, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        chat->ShowSystemMessage(L"The class has begun.");
        chat->ShowChatMessage(self, ChatFont(), L"Welcome! Today: circles [\\smile]");
        UserRecord alice;
        alice.sex = 2;
        alice.nickName = L"Alice";
        ChatFont blue;
        blue.family = L"Tahoma";
        blue.colour = 0xFF0099FF;
        chat->ShowChatMessage(alice, blue, L"Good morning!");
        if (wcscmp(what, L"emotions") == 0) {
            if (CControlUI* face = chat->GetPaintManager()->FindControl(L"FaceCheck"))
                static_cast<COptionUI*>(face->GetInterface(L"Option"))->Selected(true);
        }
    } else if (wcscmp(what, L"about") == 0) {
        if (!OpenDialogOnce<CAboutWnd>(nullptr, L"__LVAboutWnd__", [] { return new CAboutWnd; })) return 1;
    } else {
        CSettingWnd* settings =
            OpenDialogOnce<CSettingWnd>(nullptr, L"__LVSettingWnd__", [] { return new CSettingWnd(nullptr); });
        if (!settings) return 1;
        static const wchar_t* const kButtons[] = {L"VideoSettingBtn", L"AudioSettingBtn", L"AudioAdoptingBtn",
                                                  L"RecordSettingBtn", L"MessageSettingBtn"};
        int page = argc > 2 ? _wtoi(argv[2]) : 0;
        if (page > 0 && page < 5) {
            if (CControlUI* button = settings->GetPaintManager()->FindControl(kButtons[page]))
                static_cast<COptionUI*>(button->GetInterface(L"Option"))->Selected(true);
        }
    }
    CPaintManagerUI::MessageLoop();
    CPaintManagerUI::Term();
    return 0;
}
