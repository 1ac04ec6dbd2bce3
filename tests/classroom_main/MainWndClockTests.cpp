// The class window's clocks and frame: the count-down label, the level meters, the frame buttons that
// follow the maximised state, and when the pen tool floats over a teacher's main screen.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/LiveStateOps.h"
#include "controls/SmallControls.h"
#include "core/WindowMessages.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/ui/UiTestHost.h"


using namespace fakeroom;

namespace {

// A control of a satellite window of the UI library, found through the window's object.
CControlUI* ControlOf(HWND window, const wchar_t* name)
{
    auto* base = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)));
    return base ? base->GetPaintManager()->FindControl(name) : nullptr;
}

} // namespace

TEST(MainWndClock, TheCountdownShowsMinutesAndSecondsOnlyAndANewNoticeRestartsIt)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CControlUI* label = h.Find(L"TimeCountDownLabel");
    ASSERT_NE(label, nullptr);
    // 3725 s is 1 h 2 min 5 s: after the first tick 3724 are left, shown without the hour, even colour.
    ASSERT_TRUE(h.Push(eType_CountDwon_Notify, Countdown(3725)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassLeftSeconds() == 3724; }, 3000));
    EXPECT_EQ(h.Text(L"TimeCountDownLabel"), L"ClassLeftTime -- 02:04");
    EXPECT_EQ(label->GetBkColor(), 0xFFFF3344u);
    EXPECT_TRUE(label->IsVisible());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassLeftSeconds() == 3723; }, 3000));
    EXPECT_EQ(h.Text(L"TimeCountDownLabel"), L"ClassLeftTime -- 02:03");
    EXPECT_EQ(label->GetBkColor(), 0xFF333D49u);

    ASSERT_TRUE(h.Push(eType_CountDwon_Notify, Countdown(61)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassLeftSeconds() == 60; }, 3000));
    EXPECT_EQ(h.Text(L"TimeCountDownLabel"), L"ClassLeftTime -- 01:00");
    EXPECT_FALSE(h.main->IsClassOver());
}

TEST(MainWndClock, TheLevelMetersShowTheEnginesLevelsAndNothingWithoutAnEngine)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    {
        engine.Reset();
        engine.results["GetSpeechMicVolume"] = 4;
        engine.results["GetSpeechSpeakerVolume"] = 2;
        MainWndHarness h;
        ASSERT_TRUE(h.StartAndJoin());
        auto* mic = static_cast<CActSliderUI*>(h.Find(L"MicActSlider"));
        auto* sound = static_cast<CActSliderUI*>(h.Find(L"SoundActSlider"));
        ASSERT_NE(mic, nullptr);
        ASSERT_NE(sound, nullptr);
        // Levels 0..9 in percent, integer arithmetic: 4 -> 44, 2 -> 22.
        ASSERT_TRUE(PumpUntil([&] { return mic->GetActValue() == 44 && sound->GetActValue() == 22; }, 3000))
            << mic->GetActValue() << " " << sound->GetActValue();
        const CastmixCall* speaker = engine.Last("GetSpeechSpeakerVolume");
        ASSERT_NE(speaker, nullptr);
        EXPECT_EQ(speaker->args, (std::vector<long long>{0}));

        // As the user sees the microphone's meter: its level bar, and its thumb at rest, under the
        // mouse and held (the shipped skin's three thumb images).
        RECT client{};
        GetClientRect(h.window, &client);
        MemoryDib dib(client.right, client.bottom);
        const RECT meter = mic->GetPos();
        const RECT thumb = mic->GetThumbRect();
        auto paint = [&] {
            dib.Fill(0x000000);
            mic->DoPaint(dib.Dc(), meter);
        };
        paint();
        // The level bar: 8 pixels inside the top and bottom, up to 44 % of the width.
        const RECT level{meter.left + 1, meter.top + 8, meter.left + (meter.right - meter.left) * 44 / 100, meter.bottom - 8};
        ASSERT_GT(level.bottom - level.top, 0) << "the meter is too low for its level bar";
        EXPECT_EQ(dib.CountColor(level, 0x33BB44), (level.right - level.left) * (level.bottom - level.top));
        EXPECT_EQ(dib.CountColor(meter, 0x33BB44), (level.right - level.left) * (level.bottom - level.top));
        const struct {
            const char* state;
            uint32_t fill;
        } looks[] = {{"normal", 0xFFFFFF}, {"hot", 0xDFF5E6}, {"pushed", 0x1E7A2B}};
        EXPECT_GE(dib.CountColor(thumb, looks[0].fill), 40) << looks[0].state;
        const LPARAM onThumb = MAKELPARAM((thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
        SendMessageW(h.window, WM_MOUSEMOVE, 0, onThumb);
        paint();
        EXPECT_GE(dib.CountColor(thumb, looks[1].fill), 40) << looks[1].state;
        EXPECT_EQ(dib.CountColor(thumb, looks[0].fill), 0) << looks[1].state;
        SendMessageW(h.window, WM_LBUTTONDOWN, MK_LBUTTON, onThumb);
        paint();
        EXPECT_GE(dib.CountColor(thumb, looks[2].fill), 40) << looks[2].state;
        EXPECT_GT(dib.CountColor(level, 0x33BB44), 0) << "the level stays while the thumb is held";
        SendMessageW(h.window, WM_LBUTTONUP, 0, onThumb);
        SendMessageW(h.window, WM_MOUSEMOVE, 0, MAKELPARAM(meter.left - 40, meter.top - 40));
        paint();
        EXPECT_GE(dib.CountColor(thumb, looks[0].fill), 40) << "back to rest";

        engine.results["GetSpeechMicVolume"] = 1;
        engine.results["GetSpeechSpeakerVolume"] = 0;
        ASSERT_TRUE(PumpUntil([&] { return mic->GetActValue() == 11 && sound->GetActValue() == 0; }, 3000));

        // The checks beside the meters follow their notices; a click of the user's changes nothing.
        auto* micCheck = static_cast<COptionUI*>(h.Find(L"MicCheck"));
        auto* soundCheck = static_cast<COptionUI*>(h.Find(L"SoundCheck"));
        ASSERT_NE(micCheck, nullptr);
        ASSERT_NE(soundCheck, nullptr);
        SendMessageW(h.window, WM_USER_UI_NOTICE, 19, 1);
        EXPECT_TRUE(micCheck->IsSelected());
        EXPECT_FALSE(soundCheck->IsSelected());
        SendMessageW(h.window, WM_USER_UI_NOTICE, 20, 7);
        SendMessageW(h.window, WM_USER_UI_NOTICE, 19, 0);
        EXPECT_FALSE(micCheck->IsSelected());
        EXPECT_TRUE(soundCheck->IsSelected());
        RECT at = soundCheck->GetPos();
        EXPECT_NE(soundCheck->GetManager()->FindControl(POINT{(at.left + at.right) / 2, (at.top + at.bottom) / 2}),
                  soundCheck);
    }
    {
        // The engine would not start: the session is there without a handle and the meters read 0.
        engine.Reset();
        engine.createFails = true;
        engine.results["GetSpeechMicVolume"] = 4;
        MainWndHarness h;
        ASSERT_TRUE(h.StartAndJoin());
        auto* mic = static_cast<CActSliderUI*>(h.Find(L"MicActSlider"));
        ASSERT_NE(mic, nullptr);
        mic->SetActValue(30);
        ASSERT_TRUE(PumpUntil([&] { return mic->GetActValue() == 0; }, 3000));
        EXPECT_EQ(engine.CountOf("GetSpeechMicVolume"), 0u);
        engine.createFails = false;
    }
}

TEST(MainWndFrame, MaximiseAndRestoreSwapTheFrameButtonsAndCloseEndsTheWindow)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CControlUI* maximise = h.Find(L"maxbtn");
    CControlUI* restore = h.Find(L"restorebtn");
    ASSERT_NE(maximise, nullptr);
    ASSERT_NE(restore, nullptr);
    EXPECT_TRUE(maximise->IsVisible());
    EXPECT_FALSE(restore->IsVisible());

    SendMessageW(h.window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(IsZoomed(h.window));
    EXPECT_FALSE(maximise->IsVisible());
    EXPECT_TRUE(restore->IsVisible());
    SendMessageW(h.window, WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_FALSE(IsZoomed(h.window));
    EXPECT_TRUE(maximise->IsVisible());
    EXPECT_FALSE(restore->IsVisible());
    // A command that leaves the state as it was leaves the buttons too.
    restore->SetVisible(true);
    SendMessageW(h.window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(restore->IsVisible());
    EXPECT_TRUE(maximise->IsVisible());

    SendMessageW(h.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(h.WaitForEnd(5000));
}

TEST(MainWndPenTool, ItFloatsOnlyOverATeachersBoardWhileNoScreenIsShared)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND pen = h.main->PenToolWindow();
    HWND button = h.main->ControlPanelButton();
    ASSERT_NE(pen, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(IsWindowVisible(pen));
    SetWindowPos(pen, nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    // The board takes the main screen: the tool shows, placed above the panel's button, its lock hidden.
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Whiteboard)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard && IsWindowVisible(pen); }, 3000));
    RECT p = WindowRect(pen), b = WindowRect(button);
    EXPECT_EQ(p.left, b.left + (b.right - b.left) / 2 - (p.right - p.left) / 2);
    EXPECT_EQ(p.bottom, b.top - 5);
    CControlUI* lock = ControlOf(pen, L"LockCheck");
    ASSERT_NE(lock, nullptr);
    EXPECT_FALSE(lock->IsVisible());

    // The camera beside it, then swapped into the main screen: the tool goes; swapped back: it returns.
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Camera)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_TRUE(IsWindowVisible(pen));
    PostMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera; }, 3000));
    EXPECT_FALSE(IsWindowVisible(pen));
    // Hidden, it moved nowhere with the window; shown again, it is back above the button.
    SetWindowPos(pen, nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PostMessageW(h.window, WM_USER_UI_NOTICE, 6, 0);
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard; }, 3000));
    EXPECT_TRUE(IsWindowVisible(pen));
    p = WindowRect(pen);
    EXPECT_EQ(p.left, b.left + (b.right - b.left) / 2 - (p.right - p.left) / 2);
    EXPECT_EQ(p.bottom, b.top - 5);

    // A shared screen hides it at the next check, whatever the main screen holds.
    SendMessageW(h.window, WM_USER_LIVE_SCREEN_SHARE, 0, 1);
    ASSERT_NE(h.main->GetLiveState().flags & eLive_ScreenShare, 0);
    SendMessageW(h.window, WM_USER_UI_NOTICE, 8, 0);
    EXPECT_FALSE(IsWindowVisible(pen));
}
