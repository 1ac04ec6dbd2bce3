// Speaking turns: the student's and the teacher's roads by clicks on the shipped skin, then the turns as
// the room reports them: the speaker area's pages, the speaker's video in its container with the
// video-speak cover, the engine calls each turn makes, and the ends a turn meets (turn over, room users
// again, a lost connection, the class over).
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/CastmixSession.h"
#include "classroom/MicSeqWnd.h"
#include "controls/MicList.h"
#include "controls/PosLayouts.h"
#include "controls/SmallControls.h"
#include "protocol/CmdProtocol.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/ui/UiTestHost.h"

using namespace fakeroom;

namespace {

// 829: the first value, then the second with B in its low and A in its high half.
Bytes VideoSpeak(int16_t a, int16_t b)
{
    Bytes out(8, 0);
    uint32_t second = (static_cast<uint32_t>(static_cast<uint16_t>(a)) << 16) | static_cast<uint16_t>(b);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(second >> (8 * i));
    return out;
}

struct SpeakClass {
    MainWndHarness h;
    CastmixDouble& engine = CastmixDouble::Instance();

    explicit SpeakClass(int roleType) : h(roleType) {}

    bool Join()
    {
        engine.Reset();
        return h.StartAndJoin();
    }
    // 810 for a user: the header's destination names the user.
    bool State(uint32_t user, uint8_t state)
    {
        return h.Push(eType_SpeakState, SpeakState(state), kOwnId == user ? kBen : kOwnId, user);
    }
    bool StateSeen(uint32_t user, uint8_t state)
    {
        if (!State(user, state)) return false;
        if (user == kOwnId) return PumpUntil([&] { return SessionContext::Instance()->role == state; }, 3000);
        return PumpUntil([&] {
            UserRecord row;
            return h.main->GetRoster()->FindUser(user, row) && row.role == state;
        }, 3000);
    }
    // The room takes the own request, accepts it and gives the own user the turn in this state.
    bool OwnTurn(uint8_t state)
    {
        return StateSeen(kOwnId, eRole_MicApplied) && StateSeen(kOwnId, eRole_MicConnecting) && StateSeen(kOwnId, state);
    }
    CTabLayoutUI* Area() const { return static_cast<CTabLayoutUI*>(h.Find(L"SpeakerArea1")); }
    CWinContainerUI* Container() const { return static_cast<CWinContainerUI*>(h.Find(L"VideoSpeakContainer1")); }
    CMidEllipsisLabelUI* Bulletin() const { return static_cast<CMidEllipsisLabelUI*>(h.Find(L"BulletinLabel")); }
    size_t Count(const char* name) const { return engine.CountOf(name); }
    // Pumps the window until the room has n 810 commands from the client.
    bool SentCount(size_t n) const
    {
        return PumpUntil([&] { return h.room.reg.Messages(eType_SpeakState).size() >= n; }, 5000);
    }
    // The 810 commands the client sent, as (user, state); each must be this room's exact bytes.
    std::vector<std::pair<uint32_t, uint8_t>> SentStates() const
    {
        std::vector<std::pair<uint32_t, uint8_t>> out;
        for (const Packet& p : h.room.reg.Messages(eType_SpeakState)) {
            EXPECT_EQ(p.payload, BuildSpeakPayload(kRoomId, p.payload.size() == 5 ? p.payload[4] : 0));
            if (p.payload.size() == 5) out.emplace_back(p.header.destination, p.payload[4]);
        }
        return out;
    }
    // A left click at the middle of a control of the class window, as the mouse gives it.
    bool Click(const wchar_t* name) { return ClickControl(*h.main->GetPaintManager(), name); }
    // The mouse comes to rest at the middle of a control: the move, then the hover the system reports.
    bool Hover(const wchar_t* name)
    {
        LayOut(*h.main->GetPaintManager());
        CControlUI* control = h.Find(name);
        if (!control || !control->IsVisible()) return false;
        RECT rc = control->GetPos();
        rest = POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        MoveClient(h.window, rest.x, rest.y);
        HoverAgain();
        return true;
    }
    // The hover time runs out again where the mouse rests (it rests through the clicks there).
    void HoverAgain() { SendMessageW(h.window, WM_MOUSEHOVER, 0, MAKELPARAM(rest.x, rest.y)); }
    // The text of the class window's tooltip while one shows, else empty.
    std::wstring ShownTip() const
    {
        for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr;) {
            if (GetWindow(tip, GW_OWNER) != h.window || !IsWindowVisible(tip)) continue;
            wchar_t text[256] = {};
            TOOLINFOW info = {};
            info.cbSize = sizeof(info);
            info.hwnd = h.window;
            info.uId = reinterpret_cast<UINT_PTR>(h.window);
            info.lpszText = text;
            SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&info));
            return text;
        }
        return L"";
    }
    POINT rest{0, 0};
    // A key pressed in the class window as the client's loop delivers it: its filters first.
    void Press(WPARAM key)
    {
        MSG msg{h.window, WM_KEYDOWN, key, 1, 0, {}};
        if (!CPaintManagerUI::TranslateMessage(&msg)) DispatchMessageW(&msg);
    }
    // Tab until the control has the focus; false when it never comes.
    bool TabTo(const wchar_t* name)
    {
        CControlUI* target = h.Find(name);
        for (int presses = 0; target && presses < 100; ++presses) {
            if (h.main->GetPaintManager()->GetFocus() == target) return true;
            Press(VK_TAB);
        }
        return false;
    }
    bool Usable(const wchar_t* name) const
    {
        CControlUI* control = h.Find(name);
        return control && control->IsVisible() && control->IsEnabled();
    }
};

// The room's users: Ann, the own user, and Ben, each in a role.
Bytes AnnAndBen(uint8_t annRole, uint8_t benRole)
{
    return UserList({UserEntry(kOwnId, annRole, 2, "Ms Ann", "ann"), UserEntry(kBen, benRole, 1, "Ben", "ben")});
}

using Sent = std::vector<std::pair<uint32_t, uint8_t>>;

// The queue window's paint manager and the list it shows.
CPaintManagerUI* ManagerOf(HWND window)
{
    auto* wnd = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    return wnd ? wnd->GetPaintManager() : nullptr;
}

CMicListUI* ShownQueue(CPaintManagerUI& pm)
{
    auto* tabs = static_cast<CTabLayoutUI*>(pm.FindControl(L"mainui"));
    CControlUI* page = tabs ? tabs->GetItemAt(tabs->GetCurSel()) : nullptr;
    return page ? static_cast<CMicListUI*>(page->GetInterface(L"MicList")) : nullptr;
}

// Turns the wheel over the queue until the row is wholly in view; false when it never comes.
bool WheelIntoView(HWND queue, CPaintManagerUI& pm, CControlUI* row)
{
    RECT client{};
    GetClientRect(queue, &client);
    POINT at{client.right / 2, client.bottom / 2};
    ClientToScreen(queue, &at);
    LayOut(pm);
    for (int turns = 0; turns < 20 && row->GetPos().bottom > client.bottom; ++turns) {
        SendMessageW(queue, WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(at.x, at.y));
        LayOut(pm);
    }
    return row->GetPos().bottom <= client.bottom && row->GetPos().top >= client.top;
}

// A click on a queue row's own button, where its last paint put it.
bool ClickRowButton(HWND queue, CPaintManagerUI& pm, CMicElementUI* row)
{
    LayOut(pm);
    RECT b = row->GetButtonRect();
    if (IsRectEmpty(&b)) return false;
    ClickClient(queue, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
    return true;
}

// Pixels of the bulletin line that differ from the text drawn whole in the label's font and colour:
// 0 when the user reads exactly that text.
int BulletinDiffersFrom(MainWndHarness& h, const wchar_t* text)
{
    CPaintManagerUI& pm = *h.main->GetPaintManager();
    LayOut(pm);
    auto* label = static_cast<CMidEllipsisLabelUI*>(h.Find(L"BulletinLabel"));
    RECT at = label->GetPos();
    if (IsRectEmpty(&at)) return -1;
    MemoryDib shown(at.right, at.bottom), wanted(at.right, at.bottom);
    shown.Fill(0xFFFFFF);
    wanted.Fill(0xFFFFFF);
    label->DoPaint(shown.Dc(), at);
    RECT pad = label->GetTextPadding();
    RECT rc{at.left + pad.left, at.top + pad.top, at.right - pad.right, at.bottom - pad.bottom};
    CRenderEngine::DrawText(wanted.Dc(), &pm, rc, text, label->GetTextColor(), label->GetFont(),
                            label->GetTextStyle() | DT_SINGLELINE);
    int differing = 0;
    for (int y = at.top; y < at.bottom; ++y)
        for (int x = at.left; x < at.right; ++x) differing += shown.At(x, y) != wanted.At(x, y);
    return differing;
}

} // namespace

TEST(MainWndSpeakRoad, AStudentAppliesIsAcceptedSpeaksAndGivesTheTurnBackByClicks)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join()); // the room's flags allow requests
    EXPECT_EQ(c.h.Text(L"MicAllowTip"), LangText(68, L""));
    EXPECT_EQ(c.h.Text(L"MicNumLabel"), L"0");

    // Applying: 810/130 for the user itself, and the button offers to cancel.
    ASSERT_TRUE(c.Click(L"ApplyMicBtn"));
    ASSERT_TRUE(c.SentCount(1));
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_MicApplied}}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(66, L""));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    EXPECT_EQ(c.h.Text(L"MicNumLabel"), L"1");

    // Accepted: voice and video are offered beside the way back.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 0);
    for (const wchar_t* name : {L"VoiceSpeak", L"VideoSpeak", L"CancelSpeak"}) EXPECT_TRUE(c.Usable(name)) << name;
    // From the keyboard: Space on "Video" is its click, and a second Space while it rests sends nothing.
    ASSERT_TRUE(c.TabTo(L"VideoSpeak"));
    c.Press(VK_SPACE);
    EXPECT_FALSE(c.h.Find(L"VideoSpeak")->IsEnabled());
    c.Press(VK_SPACE);
    c.Press(VK_RETURN);
    ASSERT_TRUE(c.Click(L"CancelSpeak"));
    ASSERT_TRUE(c.SentCount(3));
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_MicApplied}, {kOwnId, eRole_SpeakerVideo}, {kOwnId, eRole_Student}}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_Student));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.Text(L"MicNumLabel"), L"0");

    // Again, by voice: a second press of the same button while the room answers sends nothing more.
    c.h.room.reg.ClearReceived();
    ASSERT_TRUE(c.Click(L"ApplyMicBtn"));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    // The resting mouse shows the button's tooltip; its click ends it for good.
    ASSERT_TRUE(c.Hover(L"VoiceSpeak"));
    EXPECT_EQ(c.ShownTip(), L"Speak by voice");
    ASSERT_TRUE(c.Click(L"VoiceSpeak"));
    EXPECT_EQ(c.ShownTip(), L"");
    c.Click(L"VoiceSpeak");
    ASSERT_TRUE(c.SentCount(2));
    Settle(200);
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_MicApplied}, {kOwnId, eRole_SpeakerVoice}}));

    // Speaking by voice: video is offered, and "End" gives the turn back as "Cancel" does.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVoice));
    EXPECT_EQ(c.Area()->GetCurSel(), 1);
    // The page that held "Voice" went away under the still mouse: no tooltip of it comes back.
    c.HoverAgain();
    EXPECT_EQ(c.ShownTip(), L"");
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(66, L"")); // through the turn, the way back
    ASSERT_TRUE(c.Click(L"StartVideoSpeak"));
    ASSERT_TRUE(c.Hover(L"EndSpeak"));
    EXPECT_EQ(c.ShownTip(), L"End the turn");
    ASSERT_TRUE(c.Click(L"EndSpeak"));
    ASSERT_TRUE(c.SentCount(4));
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_MicApplied}, {kOwnId, eRole_SpeakerVoice},
                                   {kOwnId, eRole_SpeakerVideo}, {kOwnId, eRole_Student}}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_Student));
    EXPECT_FALSE(c.Area()->IsVisible());
    c.HoverAgain();
    EXPECT_EQ(c.ShownTip(), L"");
}

TEST(MainWndSpeakRoad, ATeacherSeesTheQueueFlashOpensItAtTheTeachersAreaAndAnswersTheSixth)
{
    SpeakClass c(2);
    Bytes list = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
    for (uint32_t id = 31; id <= 37; ++id) {
        std::string name = "Student " + std::to_string(id);
        Bytes entry = UserEntry(id, 1, 1, name, name);
        list.insert(list.end(), entry.begin(), entry.end());
    }
    c.h.room.reg.SetReply(eType_RoomUsers, 1, list);
    ASSERT_TRUE(c.Join());
    CControlUI* control = c.h.Find(L"MicListBtn");
    ASSERT_NE(control, nullptr);
    auto* button = static_cast<CTextFlashBtnUI*>(control->GetInterface(L"TipFlashBtn"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(c.h.Text(L"MicListBtn"), L"0");
    EXPECT_FALSE(button->IsEnabled());
    EXPECT_FALSE(button->IsFlashing());

    // Requests flash the count; one withdrawn stops the flashing and keeps the button.
    for (uint32_t id = 31; id <= 37; ++id) ASSERT_TRUE(c.StateSeen(id, eRole_MicApplied));
    EXPECT_EQ(c.h.Text(L"MicListBtn"), L"7");
    EXPECT_TRUE(button->IsEnabled());
    EXPECT_TRUE(button->IsFlashing());
    ASSERT_TRUE(c.StateSeen(37, eRole_Student));
    EXPECT_EQ(c.h.Text(L"MicListBtn"), L"6");
    EXPECT_TRUE(button->IsEnabled());
    EXPECT_FALSE(button->IsFlashing());
    ASSERT_TRUE(c.StateSeen(37, eRole_MicApplied));
    EXPECT_TRUE(button->IsFlashing());

    // A click ends the flashing and opens the queue at the left-bottom corner of the teacher's area.
    size_t anchorErrors = LogCount(L"Find TeacherModel Control Failed");
    ASSERT_TRUE(c.Click(L"MicListBtn"));
    EXPECT_FALSE(button->IsFlashing());
    HWND queue = FindWindowW(L"__LumenvaleMicSeqWnd__", nullptr);
    ASSERT_NE(queue, nullptr);
    CPaintManagerUI* qpm = ManagerOf(queue);
    ASSERT_NE(qpm, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return ShownQueue(*qpm) && ShownQueue(*qpm)->GetCount() == 7; }, 3000));
    EXPECT_TRUE(IsWindowVisible(queue));
    EXPECT_EQ(GetWindow(queue, GW_OWNER), c.h.window);
    EXPECT_EQ(LogCount(L"Find TeacherModel Control Failed"), anchorErrors);
    CControlUI* teacher = c.h.Find(L"TeacherModel");
    ASSERT_NE(teacher, nullptr);
    EXPECT_STREQ(teacher->GetClass(), L"PosHorLayoutUI");
    RECT area = ScreenRect(c.h.window, teacher->GetPos());
    RECT placed = WindowRect(queue);
    EXPECT_EQ(placed.left, area.left);
    EXPECT_EQ(placed.top, area.bottom);

    // A taller window moves the teacher's area: the queue follows it.
    RECT main = WindowRect(c.h.window);
    SetWindowPos(c.h.window, nullptr, 0, 0, main.right - main.left, main.bottom - main.top + 40,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(*c.h.main->GetPaintManager());
    RECT moved = ScreenRect(c.h.window, teacher->GetPos());
    EXPECT_EQ(moved.bottom, area.bottom + 40);
    ASSERT_TRUE(PumpUntil([&] { return WindowRect(queue).top == moved.bottom; }, 3000));
    EXPECT_EQ(WindowRect(queue).left, moved.left);

    // The cover's actions have no speaker to act on yet: nothing goes to the room.
    c.h.room.reg.ClearReceived();
    for (WPARAM action = 3; action <= 6; ++action) PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, action, 0);
    Settle(100);

    // Five rows show; the wheel brings the sixth up, and its button accepts it.
    CMicListUI* shown = ShownQueue(*qpm);
    auto* sixth = static_cast<CMicElementUI*>(shown->GetItemAt(5)->GetInterface(L"MicElement"));
    ASSERT_NE(sixth, nullptr);
    uint32_t sixthId = sixth->GetUserRecord().userId;
    EXPECT_EQ(sixthId, 36u);
    RECT client{};
    GetClientRect(queue, &client);
    EXPECT_EQ(client.bottom, 5 * CMicSeqWnd::kRowHeight + 2);
    LayOut(*qpm);
    EXPECT_GT(sixth->GetPos().bottom, client.bottom);
    ASSERT_TRUE(WheelIntoView(queue, *qpm, sixth));
    ASSERT_TRUE(ClickRowButton(queue, *qpm, sixth));
    ASSERT_TRUE(c.SentCount(1));
    EXPECT_EQ(c.SentStates(), (Sent{{sixthId, eRole_MicConnecting}}));

    // The room's answer reaches the open queue; its "Cancel" sends the user back.
    ASSERT_TRUE(c.StateSeen(sixthId, eRole_MicConnecting));
    CMicElementUI* connecting = nullptr;
    ASSERT_TRUE(PumpUntil([&] {
        CMicListUI* now = ShownQueue(*qpm);
        connecting = now ? now->FindElement(sixthId) : nullptr;
        return connecting && connecting->GetUserRecord().role == eRole_MicConnecting;
    }, 3000));
    ASSERT_TRUE(WheelIntoView(queue, *qpm, connecting));
    ASSERT_TRUE(ClickRowButton(queue, *qpm, connecting));
    ASSERT_TRUE(c.SentCount(2));
    EXPECT_EQ(c.SentStates(), (Sent{{sixthId, eRole_MicConnecting}, {sixthId, eRole_Student}}));

    // A speaker's turn ends by the teacher's "End".
    ASSERT_TRUE(c.StateSeen(sixthId, eRole_SpeakerVoice));
    EXPECT_EQ(c.Area()->GetCurSel(), 1);
    ASSERT_TRUE(c.Click(L"EndSpeak"));
    ASSERT_TRUE(c.SentCount(3));
    EXPECT_EQ(c.SentStates().back(), (std::pair<uint32_t, uint8_t>{sixthId, eRole_Student}));
}

// The queue button counts everyone the queue window lists: waiting, accepted and speaking students,
// each until the turn ends or the student leaves. The bulletin names the speaker after its text.
TEST(MainWndSpeakRoad, TheTeachersQueueCountAndBulletinFollowATurnFromRequestToLeaving)
{
    const uint32_t kCleo = 22;
    SpeakClass c(2);
    c.h.room.reg.SetReply(eType_RoomUsers, 1,
                          UserList({UserEntry(kOwnId, 3, 2, "Ms Ann", "ann"), UserEntry(kBen, 1, 1, "Ben", "ben"),
                                    UserEntry(kCleo, 1, 2, "Cleo", "cleo")}));
    ASSERT_TRUE(c.Join());
    auto* button = static_cast<CTextFlashBtnUI*>(c.h.Find(L"MicListBtn")->GetInterface(L"TipFlashBtn"));
    ASSERT_NE(button, nullptr);
    auto count = [&] { return Wide(c.h.Text(L"MicListBtn")) + (button->IsEnabled() ? L"" : L" disabled"); };
    const CString speaking = LangText(73, L""), stopped = LangText(61, L"");
    ASSERT_FALSE(speaking.IsEmpty());

    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicApplied));
    EXPECT_EQ(count(), L"1");
    EXPECT_TRUE(button->IsFlashing());

    // Accepted from the queue window, which stays open.
    ASSERT_TRUE(c.Click(L"MicListBtn"));
    HWND queue = FindWindowW(L"__LumenvaleMicSeqWnd__", nullptr);
    ASSERT_NE(queue, nullptr);
    CPaintManagerUI* qpm = ManagerOf(queue);
    ASSERT_NE(qpm, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return ShownQueue(*qpm) && ShownQueue(*qpm)->FindElement(kBen); }, 3000));
    ASSERT_TRUE(ClickRowButton(queue, *qpm, ShownQueue(*qpm)->FindElement(kBen)));
    ASSERT_TRUE(c.SentCount(1));
    EXPECT_EQ(c.SentStates(), (Sent{{kBen, eRole_MicConnecting}}));
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting));
    EXPECT_EQ(count(), L"1");

    // Speaking: still one, the one the open queue lists with its "Cancel".
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVoice));
    EXPECT_EQ(count(), L"1");
    ASSERT_TRUE(PumpUntil([&] {
        CMicListUI* shown = ShownQueue(*qpm);
        CMicElementUI* row = shown ? shown->FindElement(kBen) : nullptr;
        return shown && shown->GetCount() == 1 && row && row->GetUserRecord().role == eRole_SpeakerVoice;
    }, 3000));
    EXPECT_EQ(BulletinDiffersFrom(c.h, speaking + L" Ben"), 0);

    // Another request while Ben speaks, then his turn ends.
    ASSERT_TRUE(c.StateSeen(kCleo, eRole_MicApplied));
    EXPECT_EQ(count(), L"2");
    EXPECT_TRUE(button->IsFlashing());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_Student));
    EXPECT_EQ(count(), L"1");
    EXPECT_EQ(BulletinDiffersFrom(c.h, stopped + L" Ben"), 0);

    // Cleo speaks and leaves the class: nobody holds or waits for the microphone.
    ASSERT_TRUE(c.StateSeen(kCleo, eRole_MicConnecting));
    ASSERT_TRUE(c.StateSeen(kCleo, eRole_SpeakerVoice));
    EXPECT_EQ(count(), L"1");
    EXPECT_EQ(BulletinDiffersFrom(c.h, speaking + L" Cleo"), 0);
    ASSERT_TRUE(c.h.Push(eType_UserOffline_Notify, Bytes(), kCleo));
    ASSERT_TRUE(c.h.WaitForOutput(L"Cleo Offline"));
    EXPECT_EQ(count(), L"0 disabled");
    EXPECT_FALSE(button->IsFlashing());
    EXPECT_EQ(BulletinDiffersFrom(c.h, stopped + L" Cleo"), 0);
}

TEST(MainWndSpeakVideo, TeacherSeesAVideoTurnInItsContainerWithTheCoverThenByVoiceUntilItEnds)
{
    SpeakClass c(2);
    ASSERT_TRUE(c.Join());
    // Accepted and connecting: a teacher only counts the queue.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(GetParent(video), c.h.window);
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.Area()->GetFixedHeight(), 164); // the cover's 160 and the area's insets
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    wchar_t coverClass[64] = {};
    GetClassNameW(cover, coverClass, 64);
    EXPECT_STREQ(coverClass, L"__LumenvaleVideoSpeakCoverWnd__");
    EXPECT_EQ(GetWindow(cover, GW_OWNER), c.h.window);
    const CastmixCall* added = c.engine.Last("AddParticipantVideo");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->args, (std::vector<long long>{kBen, H(video)}));
    EXPECT_EQ(CString(c.Bulletin()->GetPrefix().GetData()), LangText(73, L""));
    EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

    // The cover sits on the container once the page is laid out, and follows the window when it moves.
    ASSERT_TRUE(PumpUntil([&] {
        RECT own{};
        GetWindowRect(cover, &own);
        RECT want = ScreenRect(c.h.window, c.Container()->GetPos());
        return !IsRectEmpty(&want) && SameRect(own, want);
    }, 3000));
    SetWindowPos(c.h.window, nullptr, 500, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(PumpUntil([&] {
        RECT own{};
        GetWindowRect(cover, &own);
        return SameRect(own, ScreenRect(c.h.window, c.Container()->GetPos()));
    }, 3000));

    // 133 from 132: the engine switches by itself; the same video stays.
    size_t addsBefore = c.Count("AddParticipantVideo");
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);
    EXPECT_EQ(c.Count("AddParticipantVideo"), addsBefore);

    // The cover's buttons act on the roster's speaker.
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 4, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 3, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 5, 0);
    PostMessageW(c.h.window, WM_USER_VIDEO_SPEAK_ACTION, 6, 0);
    ASSERT_TRUE(c.SentCount(4));
    EXPECT_EQ(c.SentStates(), (Sent{{kBen, eRole_SpeakerVideo}, {kBen, eRole_SpeakerVideoAlt},
                                   {kBen, eRole_SpeakerVoice}, {kBen, eRole_Student}}));

    // The same state again gives old role 0: only the queue count moves.
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVideoAlt));
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVoice)); // a marker behind it
    ASSERT_TRUE(PumpUntil([&] { return c.Area()->GetCurSel() == 1; }, 3000));
    EXPECT_EQ(c.Count("AddParticipantVideo"), addsBefore);
    // By voice: page 1 without the video button, and no video left behind.
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_FALSE(c.h.Find(L"StartVideoSpeak")->IsVisible());
    EXPECT_EQ(c.Area()->GetFixedHeight(), 30); // the skin's height again
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
    // 2 again: nothing on screen changes.
    c.Area()->SelectItem(0);
    ASSERT_TRUE(c.State(kBen, eRole_SpeakerVoice));
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting)); // a marker: teachers ignore it on screen
    EXPECT_EQ(c.Area()->GetCurSel(), 0);

    // The turn ends: video and cover are gone and the engine dropped the video.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_Student));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
    EXPECT_EQ(c.Container()->GetEmbedWindow(), nullptr);
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
    const CastmixCall* removed = c.engine.Last("DelParticipantVideo");
    ASSERT_NE(removed, nullptr);
    EXPECT_EQ(removed->args, (std::vector<long long>{kBen}));
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndSpeakVideo, StudentsOwnVideoTurnDrivesTheEngineRoleCameraAndStreamcastModel)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    SessionContext::Instance()->options.cameraId = 0;
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicApplied));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_MicConnecting));
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 0);

    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_SpeakerVideo)}));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{0}));
    ASSERT_NE(c.engine.Last("ChangeScreenWnd"), nullptr);
    EXPECT_EQ(c.engine.Last("ChangeScreenWnd")->args.back(), H(video));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 1);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kOwnId);

    // A state byte that is no speaking state is dropped: the row and the own role keep the turn, so
    // the next notice still moves it (below) and the end still switches the camera off.
    const wchar_t* const dropped[] = {L"speak state 0 for user 7 is not a speaking state; dropped",
                                      L"speak state 3 for user 7 is not a speaking state; dropped"};
    const size_t before[] = {LogCount(dropped[0]), LogCount(dropped[1])};
    ASSERT_TRUE(c.State(kOwnId, 0));
    ASSERT_TRUE(c.State(kOwnId, eRole_Teacher));
    ASSERT_TRUE(PumpUntil([&] { return LogCount(dropped[1]) == before[1] + 1; }, 3000));
    EXPECT_EQ(LogCount(dropped[0]), before[0] + 1);
    EXPECT_EQ(SessionContext::Instance()->role, eRole_SpeakerVideo);
    EXPECT_EQ(RowOf(c.h, kOwnId)->GetUser()->role, eRole_SpeakerVideo);

    // 132 <-> 133 is the engine's stream-cast model only.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideoAlt));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{4, 4}));
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVideo));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{2, 2}));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);

    // By voice: the camera goes off, the video closes, page 1 offers the video again.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_SpeakerVoice));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{-1}));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 0);
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_SpeakerVoice)}));
    EXPECT_EQ(c.Area()->GetCurSel(), 1);
    EXPECT_TRUE(c.h.Find(L"StartVideoSpeak")->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));

    // The turn ends: a student again in the engine, the button offers the microphone.
    ASSERT_TRUE(c.StateSeen(kOwnId, eRole_Student));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_Student)}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndSpeakVideo, StudentSeesAnotherSpeakersVideoOnlyInTheOtherMode)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_MicConnecting));
    EXPECT_FALSE(c.Area()->IsVisible());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    HWND video = c.h.main->SpeakerVideoWindow();
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr); // nothing for a listener to press
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));

    // Back to video for the teacher only: the listeners' video goes.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideo));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));

    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVideoAlt));
    video = c.h.main->SpeakerVideoWindow();
    ASSERT_NE(video, nullptr);
    // By voice from the other mode: the video goes, the speaker stays.
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVoice));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
}

TEST(MainWndSpeakVideo, ParticipantVideoNoticesShowAndRemoveAVideo)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    // A = 1 for Ben from the teacher: shown in the container.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(1, 0), 3, kBen));
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
    HWND video = c.h.main->SpeakerVideoWindow();
    EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
    EXPECT_EQ(c.Area()->GetCurSel(), 2);
    EXPECT_TRUE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));

    // Sent by the user itself: ignored; another A: ignored.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(0, 0), kOwnId, kBen));
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(2, 0), 3, kBen));
    // Meant for me: only the engine's stream-cast model.
    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(1, 0), 3, kOwnId));
    ASSERT_TRUE(PumpUntil([&] { return c.Count("ChangeStreamcastModel") == 1; }, 3000));
    EXPECT_EQ(c.engine.Last("ChangeStreamcastModel")->args, (std::vector<long long>{4, 2}));
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), video);
    EXPECT_EQ(c.Count("DelParticipantVideo"), 0u);

    ASSERT_TRUE(c.h.Push(eType_VideoSpeak, VideoSpeak(0, 0), 3, kBen));
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() == nullptr; }, 3000));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.engine.Last("DelParticipantVideo")->args, (std::vector<long long>{kBen}));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video); }, 3000));
}

// A state for a user the roster does not list changes only the own role: no video, no engine call.
TEST(MainWndSpeakVideo, AStateForAUserNotInTheRosterOpensNothing)
{
    {
        SpeakClass c(4); // the room's list leaves the own user out
        c.h.room.reg.SetReply(eType_RoomUsers, 1, UserEntry(kBen, 1, 1, "Ben", "ben"));
        ASSERT_TRUE(c.Join());
        size_t roles = c.Count("Room_ChangeRole");
        ASSERT_TRUE(c.OwnTurn(eRole_SpeakerVideo));
        EXPECT_FALSE(c.Area()->IsVisible());
        EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_EQ(c.Count("Room_ChangeRole"), roles);
        EXPECT_EQ(c.Count("AddParticipantVideo"), 0u);
        EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), 0u);
    }
    {
        SpeakClass t(2); // a teacher alone: Ben is a stranger
        t.h.room.reg.SetReply(eType_RoomUsers, 1, UserEntry(kOwnId, 3, 2, "Ms Ann", "ann"));
        ASSERT_TRUE(t.Join());
        ASSERT_TRUE(t.State(kBen, eRole_SpeakerVideo));
        ASSERT_TRUE(t.StateSeen(kOwnId, eRole_MicApplied)); // a marker behind it
        EXPECT_EQ(t.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_FALSE(t.Area()->IsVisible());
        EXPECT_EQ(t.Count("AddParticipantVideo"), 0u);
        EXPECT_EQ(t.h.main->GetRoster()->GetSpeakerId(), 0u);
    }
}

TEST(MainWndSpeakVideo, RoomUsersRebuildTheSpeakerArea)
{
    // A teacher entering while a student speaks in the other mode: video, cover offering the way back.
    {
        SpeakClass c(2);
        c.h.room.reg.SetReply(eType_RoomUsers, 1, AnnAndBen(3, eRole_SpeakerVideoAlt));
        ASSERT_TRUE(c.Join());
        ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
        HWND video = c.h.main->SpeakerVideoWindow();
        EXPECT_EQ(c.Container()->GetEmbedWindow(), video);
        EXPECT_TRUE(c.Area()->IsVisible());
        EXPECT_EQ(c.Area()->GetCurSel(), 2);
        EXPECT_FALSE(c.h.Find(L"StartVideoSpeak")->IsVisible());
        ASSERT_NE(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args, (std::vector<long long>{kBen, H(video)}));
        EXPECT_EQ(CString(c.Bulletin()->GetPrefix().GetData()), LangText(73, L""));
        EXPECT_STREQ(c.Bulletin()->GetText().GetData(), L"Ben");

        HWND cover = c.h.main->VideoSpeakCoverWindow();

        // The list again (as after a reconnection) with Ben by voice: hidden, the old video gone.
        ASSERT_TRUE(c.h.Push(eType_RoomUsers, AnnAndBen(3, eRole_SpeakerVoice)));
        ASSERT_TRUE(PumpUntil([&] { return !c.Area()->IsVisible(); }, 3000));
        EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
        ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
        EXPECT_EQ(c.h.main->GetRoster()->GetSpeakerId(), kBen);

        // With video again: a new video and cover.
        ASSERT_TRUE(c.h.Push(eType_RoomUsers, AnnAndBen(3, eRole_SpeakerVideo)));
        ASSERT_TRUE(PumpUntil([&] { return c.Area()->IsVisible(); }, 3000));
        ASSERT_NE(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_NE(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.Container()->GetEmbedWindow(), c.h.main->SpeakerVideoWindow());
    }
    // A student sees another's video only in the other mode, and nothing with the microphone mode off.
    {
        SpeakClass c(4);
        c.h.room.reg.SetReply(eType_RoomUsers, 1, AnnAndBen(1, eRole_SpeakerVideoAlt));
        ASSERT_TRUE(c.Join());
        ASSERT_TRUE(PumpUntil([&] { return c.h.main->SpeakerVideoWindow() != nullptr; }, 3000));
        EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
        EXPECT_EQ(c.Area()->GetCurSel(), 2);
        EXPECT_EQ(c.engine.Last("AddParticipantVideo")->args,
                  (std::vector<long long>{kBen, H(c.h.main->SpeakerVideoWindow())}));
    }
    {
        SpeakClass c(4);
        c.h.room.reg.SetJoinReply(1, JoinReply(1, 0x0000));
        c.h.room.reg.SetReply(eType_RoomUsers, 1, AnnAndBen(1, eRole_SpeakerVideoAlt));
        ASSERT_TRUE(c.Join());
        EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
        EXPECT_FALSE(c.Area()->IsVisible());
        EXPECT_EQ(c.Count("AddParticipantVideo"), 0u);
    }
}

TEST(MainWndSpeakVideo, ALostConnectionEndsTheOwnVideoTurnOnScreen)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.OwnTurn(eRole_SpeakerVideo));
    HWND video = c.h.main->SpeakerVideoWindow();
    HWND cover = c.h.main->VideoSpeakCoverWindow();
    ASSERT_NE(video, nullptr);
    ASSERT_NE(cover, nullptr);

    c.h.room.reg.Drop();
    ASSERT_TRUE(c.h.WaitForOutput(L"You are offline, Reconnecting...", 5000));
    EXPECT_FALSE(c.Area()->IsVisible());
    EXPECT_EQ(c.h.main->SpeakerVideoWindow(), nullptr);
    EXPECT_EQ(c.h.main->VideoSpeakCoverWindow(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(video) && !IsWindow(cover); }, 3000));
    EXPECT_EQ(c.Container()->GetEmbedWindow(), nullptr);
    EXPECT_FALSE(c.h.Find(L"ApplyMicBtn")->IsEnabled());
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
    EXPECT_EQ(BulletinDiffersFrom(c.h, LangText(78, L"")), 0); // the sentence alone, no speaker's prefix
    // A student in the engine again, its camera off.
    EXPECT_EQ(c.engine.Last("Room_ChangeRole")->args, (std::vector<long long>{GetCastmixRole(eRole_Student)}));
    EXPECT_EQ(c.engine.Last("ChangeSource2Camera")->args, (std::vector<long long>{-1}));
    EXPECT_EQ(c.h.main->GetCastmixSession()->useCamera, 0);
}

TEST(MainWndSpeakVideo, ClassOverCancelsTheOwnTurn)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.OwnTurn(eRole_SpeakerVoice));
    c.h.room.reg.ClearReceived();
    ASSERT_TRUE(c.h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(c.SentCount(1));
    EXPECT_EQ(c.SentStates(), (Sent{{kOwnId, eRole_Student}}));
    EXPECT_EQ(c.h.Text(L"ApplyMicBtn"), LangText(70, L"Apply MIc"));
}

TEST(MainWndSpeakVideo, ClassOverLeavesAnotherSpeakersTurnToTheRoom)
{
    SpeakClass c(4);
    ASSERT_TRUE(c.Join());
    ASSERT_TRUE(c.StateSeen(kBen, eRole_SpeakerVoice));
    c.h.room.reg.ClearReceived();
    ASSERT_TRUE(c.h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(c.h.WaitForOutput(L"Class Is Over!", 5000));
    // Queued behind anything the class end could have sent.
    PostMessageW(c.h.window, WM_USER_MIC_REQUEST, 1, kBen);
    ASSERT_TRUE(c.SentCount(1));
    EXPECT_EQ(c.SentStates(), (Sent{{kBen, eRole_MicConnecting}}));
}
