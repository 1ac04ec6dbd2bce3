// Closing the class window while the settings dialog sits in the camera's property page: every close
// the user starts only warns, a close by the room still ends the window, and the dialog is never freed
// under the page's call.
#include "tests/classroom_main/AllocationWatch.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/classroom_main/MainWndTestSupport.h"

#include "dialogs/SettingWnd.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/castmix/CastmixDouble.h"

using namespace fakeroom;

namespace {

WindowImplBase* WindowOf(HWND window)
{
    return window ? dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
                  : nullptr;
}

// A left click at the centre of a control, as the window receives it.
bool ClickAt(HWND window, const wchar_t* name)
{
    WindowImplBase* owner = WindowOf(window);
    return owner && ClickControl(*owner->GetPaintManager(), name);
}

// Quit as the user picks it: the option button, then the menu's item.
bool ChooseFromOptionMenu(MainWndHarness& h, const wchar_t* item)
{
    if (!ClickAt(h.window, L"OptionBtn")) return false;
    HWND menu = nullptr;
    if (!PumpUntil([&] { return (menu = FindWindowW(L"__LVOptionMenu__", nullptr)) != nullptr; }, 3000)) return false;
    PumpUntil([] { return false; }, 100); // laid out
    return ClickAt(menu, item);
}

// The settings dialog opened from the option menu.
CSettingWnd* OpenSettings(MainWndHarness& h, HWND& window)
{
    if (!ChooseFromOptionMenu(h, L"SettingBtn")) return nullptr;
    if (!PumpUntil([&] { return (window = FindWindowW(L"__LVSettingWnd__", nullptr)) != nullptr; }, 5000)) return nullptr;
    PumpUntil([] { return false; }, 200);
    return dynamic_cast<CSettingWnd*>(WindowOf(window));
}

// Alt+F4 as the keyboard delivers it to the window.
void AltF4(HWND window)
{
    PostMessageW(window, WM_SYSKEYDOWN, VK_F4, (KF_ALTDOWN << 16) | 1);
}

} // namespace

TEST(MainWndClose, EveryCloseTheUserStartsOnlyWarnsWhileTheCameraPageIsOpen)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND settingsWindow = nullptr;
    CSettingWnd* settings = OpenSettings(h, settingsWindow);
    ASSERT_NE(settings, nullptr);
    BoxAnswerer boxes;

    struct Attempt {
        const char* how;
        std::function<bool()> close;
        bool warned = false;
        bool windowStayed = false;
        bool dialogStayed = false;
    };
    std::vector<Attempt> attempts;
    attempts.push_back({"Alt+F4", [&] { AltF4(h.window); return true; }});
    attempts.push_back({"system menu", [&] { return PostMessageW(h.window, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE; }});
    attempts.push_back({"Quit", [&] { return ChooseFromOptionMenu(h, L"QuitBtn"); }});
    attempts.push_back({"close button", [&] { return ClickAt(h.window, L"closebtn"); }});
    bool blocked = false;
    CastmixDouble::Instance().whilePropertyPageOpen = [&] {
        blocked = PumpUntil([&] { return h.main->IsCloseBlocked(); }, 3000);
        for (Attempt& a : attempts) {
            const size_t before = boxes.Count();
            if (!a.close()) continue;
            a.warned = PumpUntil([&] { return boxes.Count() == before + 1; }, 5000);
            PumpUntil([] { return false; }, 200);
            a.windowStayed = IsWindow(h.window) != FALSE;
            a.dialogStayed = IsWindow(settingsWindow) != FALSE;
        }
    };
    ASSERT_TRUE(ClickAt(settingsWindow, L"AdoptPictureBtn"));
    CastmixDouble::Instance().whilePropertyPageOpen = nullptr;
    ASSERT_EQ(CastmixDouble::Instance().CountOf("VideoShowPropertyPage"), 1u);
    ASSERT_TRUE(blocked);
    for (const Attempt& a : attempts) {
        EXPECT_TRUE(a.warned) << a.how;
        EXPECT_TRUE(a.windowStayed) << a.how;
        EXPECT_TRUE(a.dialogStayed) << a.how;
    }
    for (const CString& text : boxes.Texts()) EXPECT_EQ(Wide(text), L"Please check the settings.");
    ASSERT_TRUE(IsWindow(h.window));

    // The page closed: the same keys close the window, and the dialog with it.
    ASSERT_TRUE(PumpUntil([&] { return !h.main->IsCloseBlocked(); }, 3000));
    HWND window = h.window;
    AltF4(window);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(window); }, 5000));
    EXPECT_FALSE(IsWindow(settingsWindow));
    h.window = nullptr;
    h.main = nullptr;
    EXPECT_EQ(boxes.Count(), attempts.size());
}

TEST(MainWndClose, TheRoomsCloseEndsTheWindowButTheDialogOutlivesItsCameraPage)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND settingsWindow = nullptr;
    CSettingWnd* settings = OpenSettings(h, settingsWindow);
    ASSERT_NE(settings, nullptr);
    BoxAnswerer boxes; // the thrown-out notice
    ForgetWatched();
    ASSERT_TRUE(WatchRecord(dynamic_cast<void*>(settings)));

    HWND window = h.window;
    bool windowEnded = false, dialogWindowEnded = false;
    size_t aliveUnderThePage = 0;
    CastmixDouble::Instance().whilePropertyPageOpen = [&] {
        PumpUntil([&] { return h.main->IsCloseBlocked(); }, 3000);
        h.Push(eType_KickOff, Bytes(4, 0));
        windowEnded = PumpUntil([&] { return !IsWindow(window); }, 10000);
        dialogWindowEnded = !IsWindow(settingsWindow);
        aliveUnderThePage = WatchedAlive();
    };
    ASSERT_TRUE(ClickAt(settingsWindow, L"AdoptPictureBtn"));
    CastmixDouble::Instance().whilePropertyPageOpen = nullptr;
    h.window = nullptr;
    h.main = nullptr;
    EXPECT_TRUE(windowEnded) << "being thrown out is not the user's close";
    EXPECT_TRUE(dialogWindowEnded);
    EXPECT_EQ(aliveUnderThePage, 1u) << "the dialog was freed while its page was open";
    // Once the page has returned the dialog goes from the message loop, its engine handle closed.
    EXPECT_TRUE(PumpUntil([] { return WatchedAlive() == 0; }, 3000));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}
