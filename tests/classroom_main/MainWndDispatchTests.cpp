// Every record posted to the class window is freed, whether the window uses it or ignores it; the
// option menu's dialogs open once each.
#include "tests/classroom_main/AllocationWatch.h"
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/PaintChangeRecord.h"
#include "controls/PaintObjects.h"
#include "core/WindowMessages.h"

namespace {

template <typename T>
T* Watched(T* record)
{
    WatchRecord(record);
    return record;
}

template <typename T>
std::vector<T*>* WatchedList(std::vector<T*>* list)
{
    for (T* item : *list) WatchRecord(item);
    WatchRecord(list);
    return list;
}

void Post(HWND window, UINT message, WPARAM wParam, const void* record)
{
    PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(record));
}

} // namespace

TEST(MainWndDispatch, EveryPostedRecordIsFreedUsedOrIgnored)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ForgetWatched();
    HWND w = h.window;

    // Used: a presence, a chat line, a class state, a mute, a count-down, the users again.
    auto* online = Watched(new PresenceRecord);
    online->userId = 50;
    online->screenName = L"Eve";
    Post(w, WM_USER_PRESENCE, eType_UserOnline_Notify, online);
    auto* chat = Watched(new ChatMessageRecord);
    chat->kind = 1;
    chat->senderId = 21;
    chat->text = L"posted line";
    Post(w, WM_USER_CHAT_MESSAGE, 0, chat);
    auto* users = WatchedList(new UserRecordList{new UserRecord, new UserRecord});
    (*users)[0]->userId = 60;
    (*users)[1]->userId = 61;
    Post(w, WM_USER_ROOM_USERS, 1, users);
    Post(w, WM_USER_COUNTDOWN, 0, Watched(new uint32_t(500)));

    // Ignored: wrong kind, wrong room, wrong user, nothing to do yet.
    Post(w, WM_USER_PRESENCE, 999, Watched(new PresenceRecord));
    auto* otherRoom = Watched(new ClassStateRecord);
    otherRoom->roomId = 99;
    otherRoom->roomState = 2;
    Post(w, WM_USER_CLASS_STATE, 0, otherRoom);
    auto* otherMute = Watched(new ForbidSpeakingRecord);
    otherMute->secondId = 99;
    Post(w, WM_USER_FORBID_SPEAKING, 0, otherMute);
    Post(w, WM_USER_QUESTION, 0, Watched(new QuestionRecord));
    Post(w, WM_USER_WORD_ARRAY, 0, Watched(new WordArrayRecord));
    Post(w, WM_USER_LIVING_STATE, 0, Watched(new LiveState{}));
    Post(w, WM_USER_LIVE_DOC, 0, Watched(new LiveDocRecord{}));
    Post(w, WM_USER_LIVE_WHITEBOARD, 0, Watched(new LiveWhiteboardRecord{}));
    Post(w, WM_USER_LIVE_CAMERA, 0, Watched(new LiveCameraRecord{}));
    Post(w, WM_USER_SPEAK_STATE, 0, Watched(new SpeakStateRecord));
    Post(w, WM_USER_VIDEO_SPEAK, 0, Watched(new VideoSpeakRecord));
    auto* pen = Watched(new ReceivedPaintObject);
    pen->pen = Watched(new PenBody{});
    Post(w, WM_USER_PAINT_PEN, 0, pen);
    auto* removal = Watched(new ReceivedPaintObject);
    removal->kind = 0x52; // action 5: changes nothing
    removal->stroke = Watched(new StrokeRecord);
    Post(w, WM_USER_PAINT_REMOVE, 0, removal);
    Post(w, WM_USER_PAINT_STROKE, 0, Watched(new ReceivedPaintObject));
    Post(w, WM_USER_PAINT_LIST, 0, WatchedList(new PaintObjectList{new ReceivedPaintObject}));
    // Notices with wParam other than 0 are not for downloading, but still freed.
    Post(w, WM_USER_FILE_NOTICE, 1, Watched(new FileNoticeRecord));
    Post(w, WM_USER_FILE_LIST, 2, WatchedList(new FileNoticeList{new FileNoticeRecord, new FileNoticeRecord}));
    Post(w, WM_USER_JOIN_ROOM_RESULT, 7, nullptr);
    Post(w, WM_USER_UPDATE_NOTICE, 1, new CString[3]); // an array cookie hides it from the watch
    // The window-to-window records.
    auto* pages = Watched(new DocPageList);
    pages->docId = 77;
    Post(w, WM_USER_UI_NOTICE, 12, pages);
    Post(w, WM_USER_PANEL_ACTION, 1, Watched(new WndMsgPayload));
    Post(w, WM_USER_PEN_CHANGED, 0, Watched(new PaintPen{}));
    Post(w, WM_USER_PAINTOBJ_CHANGED, 0, Watched(new PaintChangeRecord));
    Post(w, WM_USER_ERROR_BOX, 1, Watched(new uint64_t(123))); // no such document: no box

    ASSERT_TRUE(h.WaitForOutput(L"posted line"));
    ASSERT_TRUE(PumpUntil([] { return WatchedAlive() == 0; }, 3000)) << WatchedAlive() << " records not freed";
    EXPECT_TRUE(IsWindow(w));
    UserRecord eve;
    EXPECT_TRUE(h.main->GetRoster()->FindUser(60, eve));
    EXPECT_FALSE(h.main->GetRoster()->FindUser(21, eve)); // the list replaced the roster
    EXPECT_EQ(h.main->GetClassLeftSeconds(), 500u);
    EXPECT_EQ(SessionContext::Instance()->room.roomState, 1u);
    EXPECT_FALSE(h.main->IsMuted());
}

TEST(MainWndDispatch, OptionMenuOpensEachDialogOnceOwnedByTheWindow)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND w = h.window;
    const struct { WPARAM choice; const wchar_t* cls; } kDialogs[] = {
        {1, L"__LVSettingWnd__"}, {2, L"__LVChatRecordWnd__"}, {4, L"__LVAboutWnd__"}};
    for (const auto& dialog : kDialogs) {
        SendMessageW(w, WM_USER_OPTION_MENU, dialog.choice, 0);
        HWND opened = FindWindowW(dialog.cls, nullptr);
        ASSERT_NE(opened, nullptr) << "choice " << dialog.choice;
        EXPECT_EQ(GetWindow(opened, GW_OWNER), w);
        // Chosen again while open: the same window, no second one.
        SendMessageW(w, WM_USER_OPTION_MENU, dialog.choice, 0);
        EXPECT_EQ(FindWindowW(dialog.cls, nullptr), opened);
        EXPECT_EQ(FindWindowExW(nullptr, opened, dialog.cls, nullptr), nullptr);
        SendMessageW(opened, WM_CLOSE, 0, 0);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindow(opened); }));
    }
    // An unknown choice is left to the window base and changes nothing.
    SendMessageW(w, WM_USER_OPTION_MENU, 9, 0);
    EXPECT_TRUE(IsWindow(w));
}
