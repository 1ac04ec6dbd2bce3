// The teacher's recording and screen share against the fake room and the engine's double: the
// parameter record the engine receives, the error boxes, the frame kept fixed, and the window that
// steps aside for the share bar.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "controls/SmallControls.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/support/TestFolders.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace fakeroom;

namespace {

int32_t I32At(const _RecParam& rec, size_t offset)
{
    int32_t value;
    memcpy(&value, reinterpret_cast<const uint8_t*>(&rec) + offset, sizeof value);
    return value;
}

bool ZeroBytes(const _RecParam& rec, size_t from, size_t to)
{
    const auto* bytes = reinterpret_cast<const uint8_t*>(&rec);
    for (size_t i = from; i < to; ++i)
        if (bytes[i]) return false;
    return true;
}

std::wstring PathOf(const _RecParam& rec)
{
    wchar_t path[261] = {};
    memcpy(path, reinterpret_cast<const uint8_t*>(&rec) + 8, 520);
    return path;
}

void Post(MainWndHarness& h, bool on, int32_t kind)
{
    PostMessageW(h.window, WM_USER_PANEL_ACTION, on ? 1 : 0, reinterpret_cast<LPARAM>(Action(kind)));
}

CRecordCheckUI* RecordCheck(MainWndHarness& h)
{
    auto* check = static_cast<CRecordCheckUI*>(h.Find(L"RecordCheck"));
    return check && check->GetInterface(L"RecordCheck") ? check : nullptr;
}

LRESULT HitAtBottomRight(HWND window)
{
    RECT rc{};
    GetWindowRect(window, &rc);
    return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(rc.right - 2, rc.bottom - 2));
}

bool Enabled(MainWndHarness& h, const wchar_t* name)
{
    CControlUI* control = h.Find(name);
    return control && control->IsEnabled();
}

// A teacher in a joined class with the record folder in a fresh folder and the engine's answers reset.
struct RecordingClass {
    TempFolder folder{L"rec"};
    MainWndHarness h;
    CastmixDouble& engine = CastmixDouble::Instance();

    bool Join(bool begin = false)
    {
        engine.Reset();
        if (!h.StartAndJoin()) return false;
        OptionSettings& options = SessionContext::Instance()->options;
        options.recordFolder = folder.Path() + L"Class Videos\\";
        options.frameRate = 25;
        options.dataRate = 900;
        options.recordOption = 0;
        options.videoSizeOption = 1;
        if (begin) h.main->GetPaintManager()->SendNotify(h.Find(L"ClassBeginBtn"), L"click");
        RecordCheck(h)->SetVisible(true);
        return true;
    }
    size_t StartRecCalls(int32_t start) const
    {
        size_t n = 0;
        for (const CastmixCall& call : engine.calls)
            if (call.name == "StartRec" && !call.args.empty() && call.args[0] == start) ++n;
        return n;
    }
    bool SelectAndSettle(bool on, size_t boxes, BoxAnswerer& answerer)
    {
        RecordCheck(h)->Selected(on);
        bool done = PumpUntil([&] { return answerer.Count() >= boxes; }, 5000);
        Settle();
        return done;
    }
};

} // namespace

// The default record (the stop record) is checked byte by byte where a recording stops; here the mode's
// clamp and the file name at the path's length limit.
TEST(MainWndRecord, RecordModeAndPathFollowTheOptions)
{
    EXPECT_EQ(RecordModeOf(0), 1);
    EXPECT_EQ(RecordModeOf(1), 2);
    EXPECT_EQ(RecordModeOf(7), 3);

    SYSTEMTIME at{};
    at.wYear = 2026;
    at.wMonth = 3;
    at.wDay = 4;
    at.wHour = 5;
    at.wMinute = 6;
    at.wSecond = 7;
    wchar_t path[260];
    ASSERT_TRUE(RecordPathFor(L"C:\\LVRecord", at, path));
    EXPECT_STREQ(path, L"C:\\LVRecord\\2026-03-04_05-06-07.wmv");
    ASSERT_TRUE(RecordPathFor(L"D:\\Videos\\", at, path));
    EXPECT_STREQ(path, L"D:\\Videos\\2026-03-04_05-06-07.wmv");
    EXPECT_FALSE(RecordPathFor(L"", at, path));
    // 236 characters of folder leave exactly room for the name and its terminator; one more is refused.
    CString folder = L"C:\\";
    while (folder.GetLength() < 235) folder += L"a";
    EXPECT_TRUE(RecordPathFor(folder, at, path));
    EXPECT_EQ(wcslen(path), 259u);
    EXPECT_FALSE(RecordPathFor(folder + L"b", at, path));
    EXPECT_EQ(path[0], 0);
}

TEST(MainWndRecord, CameraRecordingSendsTheParametersAndFixesTheFrame)
{
    RecordingClass c;
    ASSERT_TRUE(c.Join());
    Post(c.h, true, ePanel_Camera);
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_NE(HitAtBottomRight(c.h.window), HTCLIENT);
    c.engine.results["StartRec"] = 1;

    BoxAnswerer answerer;
    ASSERT_TRUE(c.SelectAndSettle(true, 1, answerer)); // the not-maximised question, answered Yes
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->IsRecording(); }, 3000));
    ASSERT_EQ(c.StartRecCalls(1), 1u);
    const _RecParam& rec = c.engine.Last("StartRec")->rec;
    EXPECT_EQ(I32At(rec, 0), 25);
    EXPECT_EQ(I32At(rec, 4), 900);
    EXPECT_EQ(I32At(rec, 528), 1);
    EXPECT_EQ(static_cast<uint32_t>(I32At(rec, 532)), CastmixWindowValue(c.h.main->DocumentWindow()));
    EXPECT_EQ(static_cast<uint32_t>(I32At(rec, 536)), CastmixWindowValue(c.h.main->WhiteboardWindow()));
    EXPECT_EQ(I32At(rec, 572), 2);
    RECT main = c.h.Find(L"MainScreenCtner")->GetPos();
    EXPECT_EQ(I32At(rec, 576), (main.right - main.left) / 4 * 4);
    EXPECT_EQ(I32At(rec, 580), (main.bottom - main.top) / 4 * 4);
    EXPECT_TRUE(ZeroBytes(rec, 540, 572));
    EXPECT_TRUE(ZeroBytes(rec, 584, 600));
    EXPECT_EQ(I32At(rec, 600), 800);
    EXPECT_EQ(I32At(rec, 604), 600);
    EXPECT_EQ(I32At(rec, 608), 64);
    EXPECT_EQ(I32At(rec, 612), 5);
    std::wstring path = PathOf(rec);
    std::wstring folder = std::wstring(c.folder.Path().GetString()) + L"Class Videos\\";
    ASSERT_EQ(path.size(), folder.size() + 23);
    EXPECT_EQ(path.compare(0, folder.size(), folder), 0);
    EXPECT_EQ(path.substr(path.size() - 4), L".wmv");
    EXPECT_EQ(path[folder.size() + 4], L'-');
    EXPECT_EQ(path[folder.size() + 10], L'_');
    DWORD attributes = GetFileAttributesW(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

    // While recording: the frame buttons are off, no edge resizes, the check counts seconds.
    for (const wchar_t* name : {L"maxbtn", L"minbtn", L"LeftCtrlBtn", L"RightCtrlBtn"}) EXPECT_FALSE(Enabled(c.h, name)) << name;
    EXPECT_EQ(HitAtBottomRight(c.h.window), HTCLIENT);
    ASSERT_TRUE(PumpUntil([&] { return RecordCheck(c.h)->GetRecordedSeconds() >= 1; }, 4000));

    // Stopping: the stop record, the buttons back; a stop the engine refuses shows its code.
    c.engine.results["StartRec"] = -4;
    ASSERT_TRUE(c.SelectAndSettle(false, 2, answerer));
    EXPECT_FALSE(c.h.main->IsRecording());
    ASSERT_EQ(c.StartRecCalls(0), 1u);
    const _RecParam& stop = c.engine.Last("StartRec")->rec;
    EXPECT_EQ(I32At(stop, 0), 20);
    EXPECT_EQ(I32At(stop, 4), 1024);
    EXPECT_TRUE(ZeroBytes(stop, 8, 600));
    EXPECT_EQ(I32At(stop, 600), 640);
    EXPECT_EQ(I32At(stop, 604), 480);
    EXPECT_EQ(I32At(stop, 608), 64);
    EXPECT_EQ(I32At(stop, 612), 5);
    for (const wchar_t* name : {L"maxbtn", L"minbtn", L"LeftCtrlBtn", L"RightCtrlBtn"}) EXPECT_TRUE(Enabled(c.h, name)) << name;
    EXPECT_NE(HitAtBottomRight(c.h.window), HTCLIENT);
    std::vector<CString> texts = answerer.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], LangText(81, L"The window is not maximized. Record it at this size?"));
    EXPECT_GE(texts[1].Find(L"(-4)"), 0) << texts[1].GetString();
    EXPECT_EQ(c.engine.badHandleCalls, 0);
}

TEST(MainWndRecord, MissingSourcesAFailedStartAndNoLeaveTheCheckOff)
{
    RecordingClass c;
    ASSERT_TRUE(c.Join());
    BoxAnswerer answerer;
    // Nothing live with option 0: the camera is missing (lParam 3).
    ASSERT_TRUE(c.SelectAndSettle(true, 2, answerer));
    EXPECT_FALSE(RecordCheck(c.h)->IsSelected());
    EXPECT_EQ(c.StartRecCalls(1), 0u);
    // Only the camera live with option 1: a board is missing (lParam 2); option 2 needs both (lParam 1).
    Post(c.h, true, ePanel_Camera);
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->GetViceContent() == eScreen_Camera; }, 3000));
    SessionContext::Instance()->options.recordOption = 1;
    ASSERT_TRUE(c.SelectAndSettle(true, 4, answerer));
    SessionContext::Instance()->options.recordOption = 2;
    ASSERT_TRUE(c.SelectAndSettle(true, 6, answerer));
    EXPECT_EQ(c.StartRecCalls(1), 0u);
    std::vector<CString> texts = answerer.Texts();
    ASSERT_EQ(texts.size(), 6u);
    if (HasLanguageTable()) {
        EXPECT_EQ(texts[1], LangText(84, L""));
        EXPECT_EQ(texts[3], LangText(83, L""));
        EXPECT_EQ(texts[5], LangText(82, L""));
    }

    // The engine refuses: its code in the box, the check off, nothing disabled.
    SessionContext::Instance()->options.recordOption = 0;
    c.engine.results["StartRec"] = -7;
    ASSERT_TRUE(c.SelectAndSettle(true, 8, answerer));
    EXPECT_EQ(c.StartRecCalls(1), 1u);
    EXPECT_FALSE(c.h.main->IsRecording());
    EXPECT_FALSE(RecordCheck(c.h)->IsSelected());
    EXPECT_TRUE(Enabled(c.h, L"minbtn"));
    EXPECT_GE(answerer.Texts()[7].Find(L"(-7)"), 0) << answerer.Texts()[7].GetString();

    // No to the question: no recording, and no stop either.
    c.engine.results["StartRec"] = 1;
    answerer.SetAnswer([](const CString&) { return L"NoBtn"; });
    ASSERT_TRUE(c.SelectAndSettle(true, 9, answerer));
    EXPECT_FALSE(RecordCheck(c.h)->IsSelected());
    EXPECT_EQ(c.StartRecCalls(1), 1u);
    EXPECT_EQ(c.StartRecCalls(0), 0u);
    EXPECT_EQ(answerer.Count(), 9u);
}

TEST(MainWndRecord, TheBoardMovesToTheMainScreenAndTheClassEndStopsTheRecording)
{
    RecordingClass c;
    ASSERT_TRUE(c.Join(true));
    SessionContext::Instance()->options.recordOption = 2;
    c.engine.results["StartRec"] = 1;
    // Whiteboard in the main screen, camera in the vice screen, then swapped by the teacher.
    Post(c.h, true, ePanel_Whiteboard);
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    Post(c.h, true, ePanel_Camera);
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->GetViceContent() == eScreen_Camera; }, 3000));
    SendMessageW(c.h.window, WM_USER_UI_NOTICE, 6, 0);
    ASSERT_EQ(c.h.main->GetViceContent(), eScreen_Whiteboard);
    ASSERT_TRUE(c.h.room.reg.WaitForMessages(eType_SwapScreen, 1));
    c.h.main->GetPaintManager()->SendNotify(c.h.Find(L"RightCtrlBtn"), L"click");
    ASSERT_FALSE(c.h.Find(L"RightPart")->IsVisible());

    BoxAnswerer answerer;
    ASSERT_TRUE(c.SelectAndSettle(true, 1, answerer));
    ASSERT_TRUE(PumpUntil([&] { return c.h.main->IsRecording(); }, 3000));
    EXPECT_EQ(c.h.main->GetMainContent(), eScreen_Whiteboard);
    EXPECT_EQ(c.h.main->GetViceContent(), eScreen_Camera);
    EXPECT_TRUE(c.h.Find(L"RightPart")->IsVisible());
    ASSERT_TRUE(c.h.room.reg.WaitForMessages(eType_SwapScreen, 2));
    EXPECT_TRUE(c.h.room.reg.Messages(eType_SwapScreen)[1].payload.empty());
    EXPECT_EQ(I32At(c.engine.Last("StartRec")->rec, 528), 3);

    c.h.main->GetPaintManager()->SendNotify(c.h.Find(L"ClassOverBtn"), L"click");
    ASSERT_TRUE(PumpUntil([&] { return !c.h.main->IsRecording(); }, 3000));
    EXPECT_EQ(c.StartRecCalls(0), 1u);
    EXPECT_FALSE(RecordCheck(c.h)->IsSelected());
    EXPECT_FALSE(RecordCheck(c.h)->IsVisible());
    EXPECT_TRUE(Enabled(c.h, L"RightCtrlBtn"));
    Settle();
    EXPECT_EQ(answerer.Count(), 1u); // the stop succeeded: no box
}

namespace {

WindowImplBase* WindowOf(HWND window)
{
    return dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
}

std::vector<Bytes> SharePayloads(MainWndHarness& h)
{
    std::vector<Bytes> out;
    for (const Packet& p : h.room.reg.Messages(eType_LiveScreenShare)) out.push_back(p.payload);
    return out;
}

} // namespace

TEST(MainWndShare, TheWindowStepsAsideForTheShareBarUntilTheBarIsClosed)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    BeginClass(h);
    HWND bar = h.main->ShareScreenWindow();
    HWND panel = h.main->ControlPanelWindow();
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(panel, nullptr);
    ASSERT_TRUE(IsWindowVisible(panel));

    Post(h, true, ePanel_ScreenShare);
    ASSERT_TRUE(PumpUntil([&] { return SharePayloads(h).size() == 1; }, 5000));
    Settle();
    EXPECT_EQ(SharePayloads(h)[0], (Bytes{1}));
    EXPECT_FALSE(IsWindowVisible(h.window));
    EXPECT_FALSE(IsWindowVisible(panel));
    EXPECT_FALSE(IsWindowVisible(h.main->ControlPanelButton()));
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_EQ(h.main->GetLiveState().flags & eLive_ScreenShare, eLive_ScreenShare);
    const CastmixCall* source = engine.Last("ChangeSource2Wnd");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->args, (std::vector<long long>{static_cast<long long>(reinterpret_cast<intptr_t>(bar)), 5, 4, 5, 27, 5, 5}));
    // A second switch-on while sharing changes nothing.
    Post(h, true, ePanel_ScreenShare);
    Settle();
    EXPECT_EQ(SharePayloads(h).size(), 1u);
    EXPECT_EQ(engine.CountOf("ChangeSource2Wnd"), 1u);

    // The bar's close button: notice 21 brings the window and its popups back.
    WindowImplBase* barWindow = WindowOf(bar);
    ASSERT_NE(barWindow, nullptr);
    CControlUI* close = barWindow->GetPaintManager()->FindControl(L"closebtn");
    ASSERT_NE(close, nullptr);
    barWindow->GetPaintManager()->SendNotify(close, L"click");
    ASSERT_TRUE(PumpUntil([&] { return SharePayloads(h).size() == 2; }, 5000));
    Settle();
    EXPECT_EQ(SharePayloads(h)[1], (Bytes{0}));
    EXPECT_TRUE(IsWindowVisible(h.window));
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(IsWindowVisible(h.main->ControlPanelButton()));
    EXPECT_FALSE(IsWindowVisible(bar));
    EXPECT_EQ(h.main->GetLiveState().flags & eLive_ScreenShare, 0);
    const CastmixCall* back = engine.Last("ChangeSourceType");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->args, (std::vector<long long>{1}));
    COptionUI* share = PanelSwitch(h, L"ScreenShareCheck");
    ASSERT_NE(share, nullptr);
    EXPECT_FALSE(share->IsSelected());

    // A late notice 21 (the class ran out on the bar as well) ends nothing more.
    PostMessageW(h.window, WM_USER_UI_NOTICE, 21, 0);
    Settle();
    EXPECT_EQ(SharePayloads(h).size(), 2u);

    // Escape or Alt+F4 in the bar ends the sharing as its close button does, and the bar stays.
    size_t sent = SharePayloads(h).size();
    for (int key : {VK_ESCAPE, VK_F4}) {
        Post(h, true, ePanel_ScreenShare);
        ASSERT_TRUE(PumpUntil([&] { return SharePayloads(h).size() == sent + 1; }, 5000));
        Settle();
        ASSERT_FALSE(IsWindowVisible(h.window));
        if (key == VK_ESCAPE) PostMessageW(bar, WM_KEYDOWN, VK_ESCAPE, 0);
        else PostMessageW(bar, WM_SYSKEYDOWN, VK_F4, (KF_ALTDOWN << 16) | 1); // becomes SC_CLOSE, as the key does
        ASSERT_TRUE(PumpUntil([&] { return SharePayloads(h).size() == sent + 2; }, 5000)) << key;
        sent += 2;
        Settle();
        EXPECT_EQ(SharePayloads(h).back(), (Bytes{0}));
        EXPECT_TRUE(IsWindowVisible(h.window));
        EXPECT_TRUE(IsWindowVisible(panel));
        EXPECT_TRUE(IsWindow(bar));
        EXPECT_FALSE(IsWindowVisible(bar));
    }
    EXPECT_EQ(engine.badHandleCalls, 0);
}

TEST(MainWndShare, BeforeTheClassThePanelsSwitchSharesWithoutTellingTheRoom)
{
    CastmixDouble::Instance().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND bar = h.main->ShareScreenWindow();
    Post(h, true, ePanel_ScreenShare);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(h.window) && IsWindowVisible(bar); }, 3000));
    Post(h, false, ePanel_ScreenShare);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(h.window) && !IsWindowVisible(bar); }, 3000));
    EXPECT_TRUE(IsWindowVisible(h.main->ControlPanelWindow()));
    // Switching off what is not shared does nothing.
    size_t backToCamera = CastmixDouble::Instance().CountOf("ChangeSourceType");
    Post(h, false, ePanel_ScreenShare);
    Settle();
    EXPECT_EQ(CastmixDouble::Instance().CountOf("ChangeSourceType"), backToCamera);
    EXPECT_TRUE(h.room.reg.Messages(eType_LiveScreenShare).empty());
}
