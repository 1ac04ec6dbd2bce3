// The live area's layout rules through the class window: its background, the floating bars and the
// video that follow it, the teacher's vice-screen cover, the panel toggle, and the teacher's first pen.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/FloatingBars.h"
#include "classroom/RemotePaintStore.h"
#include "classroom/LiveStateOps.h"
#include "controls/PosLayouts.h"
#include "controls/SmallControls.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/dialogs/BoxDriver.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/support/Pixels.h"
#include "tests/support/TestFolders.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace fakeroom;

namespace {

void PosChange(MainWndHarness& h, CControlUI* control)
{
    ASSERT_NE(control, nullptr);
    h.main->GetPaintManager()->SendNotify(control, L"poschange");
}

HWND ViceCover(HWND owner)
{
    HWND found = nullptr;
    while ((found = FindWindowExW(nullptr, found, L"__LumenvaleSmallScreenCoverWnd__", nullptr)) != nullptr)
        if (GetWindow(found, GW_OWNER) == owner) return found;
    return nullptr;
}

// A document window stand-in on the panel's strip: it only counts the panel's notices.
struct Thumbnail {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_USER_UI_NOTICE && wParam == 24) notices.push_back(lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Thumbnail()
    {
        WNDCLASSW cls{};
        cls.lpfnWndProc = Proc;
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"LayoutTestThumbnail";
        RegisterClassW(&cls);
        notices.clear();
        window = CreateWindowExW(0, cls.lpszClassName, L"", WS_POPUP, 0, 0, 120, 90, nullptr, nullptr, cls.hInstance, nullptr);
    }
    ~Thumbnail()
    {
        if (IsWindow(window)) DestroyWindow(window);
    }
    HWND window = nullptr;
    static std::vector<LPARAM> notices;
};

std::vector<LPARAM> Thumbnail::notices;

// Which way the chevron drawn on the control-panel button points, read from its pixels: 1 down, -1 up,
// 0 when no light glyph shows on the blue button.
int ChevronOf(HWND button)
{
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const WindowPixels shot = CaptureClient(button);
    const int w = shot.width, h = shot.height;
    const std::vector<uint32_t>& pixels = shot.pixels;
    // The mean row of the glyph in the middle columns against the columns near its left end.
    long middleRows = 0, middleCount = 0, sideRows = 0, sideCount = 0;
    for (int y = 0; y < h && !pixels.empty(); ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t p = pixels[y * w + x];
            if (((p >> 16) & 0xFF) < 150 || ((p >> 8) & 0xFF) < 150) continue;
            if (x >= w / 2 - 1 && x <= w / 2 + 1) middleRows += y, ++middleCount;
            else if (x >= 4 && x <= 7) sideRows += y, ++sideCount;
        }
    }
    if (middleCount == 0 || sideCount == 0) return 0;
    const long middle = middleRows * sideCount, side = sideRows * middleCount;
    return middle > side ? 1 : middle < side ? -1 : 0;
}

// Which way the arrow on a column button points, read from the main window's pixels: 1 right, -1 left,
// 0 when no dark glyph shows on the light button. A triangle is tallest at its base.
int ArrowOf(HWND window, CControlUI* button)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW); // lays out a toggled column
    const RECT rc = button->GetPos();
    const WindowPixels shot = CaptureClient(window, &rc);
    const int w = shot.width, h = shot.height;
    const std::vector<uint32_t>& pixels = shot.pixels;
    std::vector<int> darkInColumn(w, 0);
    for (int y = 0; y < h && !pixels.empty(); ++y)
        for (int x = 0; x < w; ++x)
            if (((pixels[y * w + x] >> 8) & 0xFF) < 120) ++darkInColumn[x];
    int first = -1, last = -1;
    for (int x = 0; x < w; ++x)
        if (darkInColumn[x]) last = x, first = first < 0 ? x : first;
    if (first < 0 || first == last) return 0;
    return darkInColumn[first] > darkInColumn[last] ? 1 : darkInColumn[first] < darkInColumn[last] ? -1 : 0;
}

// A key as the client's message loop delivers it: the skinned windows' filters first.
void PressInLoop(HWND window, UINT message, WPARAM key, LPARAM lParam = 0)
{
    MSG msg{window, message, key, lParam, 0, {}};
    if (CPaintManagerUI::TranslateMessage(&msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

// Alt+F4 as the keyboard delivers it; the window turns it into SC_CLOSE.
void AltF4InLoop(HWND window)
{
    PressInLoop(window, WM_SYSKEYDOWN, VK_F4, (KF_ALTDOWN << 16) | 1);
}

} // namespace

TEST(MainWndLayoutRules, TheLiveAreasBackgroundIsCentredOnlyWhenTheAreaIsLarger)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CControlUI* live = h.Find(L"LiveArea");
    ASSERT_NE(live, nullptr);
    struct Case {
        int width, height;
        const wchar_t* image;
    } cases[] = {
        {730, 600, L"file='bk.png'"},
        {729, 599, L"file='bk.png'"},
        {731, 600, L"file='bk.png' dest='0,0,730,600'"},
        {730, 602, L"file='bk.png' dest='0,1,730,601'"},
        {1000, 700, L"file='bk.png' dest='135,50,865,650'"},
        {800, 500, L"file='bk.png' dest='35,0,765,600'"},
    };
    for (const Case& c : cases) {
        live->SetPos(RECT{10, 40, 10 + c.width, 40 + c.height});
        PosChange(h, live);
        EXPECT_EQ(CString(live->GetBkImage()), c.image) << c.width << " x " << c.height;
    }
}

namespace {

std::string Narrow(const CDuiString& text)
{
    std::string out;
    for (const wchar_t* p = text.GetData(); *p; ++p) out += *p < 128 ? static_cast<char>(*p) : '?';
    return out;
}

// The size a text needs on one line, in the font the control draws it with.
int TextWidth(CPaintManagerUI& pm, const CDuiString& text, int font)
{
    HDC dc = GetDC(pm.GetPaintWindow());
    SIZE extent = CRenderEngine::GetTextSize(dc, &pm, text, font, DT_SINGLELINE);
    ReleaseDC(pm.GetPaintWindow(), dc);
    return extent.cx;
}

int Width(const RECT& rc)
{
    return rc.right - rc.left;
}

// Every visible control below parent lies inside it, has the size its skin gives it, and has room for
// its text: a label's or button's own text, each item a box can show, the recording check's clock.
void ExpectAllFit(CPaintManagerUI& pm, CControlUI* parent, const std::string& when)
{
    auto* container = static_cast<CContainerUI*>(parent->GetInterface(L"Container"));
    if (!container || parent->GetInterface(L"Combo") || parent->GetInterface(L"RichEdit")) return;
    const RECT outer = parent->GetPos();
    for (int i = 0; i < container->GetCount(); ++i) {
        CControlUI* control = container->GetItemAt(i);
        if (!control->IsVisible()) continue;
        const RECT rc = control->GetPos();
        const std::string what = when + ": " + Narrow(parent->GetName()) + "/" + std::to_string(i) + " " +
                                 Narrow(control->GetName());
        EXPECT_TRUE(rc.left >= outer.left && rc.right <= outer.right && rc.top >= outer.top && rc.bottom <= outer.bottom)
            << what << " at " << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom << " in " << outer.left
            << "," << outer.top << "," << outer.right << "," << outer.bottom;
        if (control->GetFixedWidth() > 0) {
            EXPECT_EQ(Width(rc), control->GetFixedWidth()) << what;
        }
        if (control->GetFixedHeight() > 0) {
            EXPECT_EQ(rc.bottom - rc.top, control->GetFixedHeight()) << what;
        }
        EXPECT_GE(Width(rc), control->GetMinWidth()) << what;
        if (auto* box = static_cast<CComboUI*>(control->GetInterface(L"Combo"))) {
            const TListInfoUI* list = box->GetListInfo();
            const int room = Width(rc) - box->GetTextPadding().left - box->GetTextPadding().right -
                             list->rcTextPadding.left - list->rcTextPadding.right;
            const int listRoom = std::max<int>(box->GetDropBoxSize().cx, Width(rc)) - list->rcTextPadding.left -
                                 list->rcTextPadding.right;
            for (int item = 0; item < box->GetCount(); ++item) {
                CDuiString text = box->GetItemAt(item)->GetText();
                EXPECT_LE(TextWidth(pm, text, list->nFont), std::min(room, listRoom)) << what << ": " << Wide(text);
            }
            continue;
        }
        if (auto* record = static_cast<CRecordCheckUI*>(control->GetInterface(L"RecordCheck"))) {
            // Unchecked, the text must lie where a click takes it.
            const RECT pad = record->GetTextPadding();
            const int font = record->GetFont();
            EXPECT_LE(pad.left + TextWidth(pm, record->GetText(), font), CRecordCheckUI::kUncheckedWidth - 1) << what;
            EXPECT_LE(TextWidth(pm, record->RecordingText(), font), Width(rc) - pad.left - pad.right) << what;
            continue;
        }
        auto* label = static_cast<CLabelUI*>(control->GetInterface(L"Label"));
        if (label && !control->GetInterface(L"Edit") && !control->GetInterface(L"MidEllipsisLabel") &&
            !label->GetText().IsEmpty()) {
            const RECT pad = label->GetTextPadding();
            EXPECT_LE(TextWidth(pm, label->GetText(), label->GetFont()), Width(rc) - pad.left - pad.right)
                << what << ": " << Wide(label->GetText());
        }
        ExpectAllFit(pm, control, when);
    }
}

void ExpectWindowFits(MainWndHarness& h, int width, int height, const std::string& when)
{
    CPaintManagerUI& pm = *h.main->GetPaintManager();
    SetWindowPos(h.window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut(pm);
    RECT client{};
    GetClientRect(h.window, &client);
    ASSERT_EQ(client.right, width);
    ExpectAllFit(pm, pm.GetRoot(), when + " at " + std::to_string(width) + "x" + std::to_string(height));
}

// The teacher's pen tool lies inside the live area, clear of the columns beside it, every tool of it
// fits, and each is what a click at its middle meets.
void ExpectPenToolFits(MainWndHarness& h, const std::string& when)
{
    HWND pen = h.main->PenToolWindow();
    ASSERT_TRUE(IsWindowVisible(pen)) << when;
    auto* bar = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(pen, GWLP_USERDATA)));
    ASSERT_NE(bar, nullptr);
    CPaintManagerUI& pm = *bar->GetPaintManager();
    LayOut(pm);
    const RECT live = ScreenRect(h.window, h.Find(L"LiveArea")->GetPos()), whole = WindowRect(pen);
    EXPECT_TRUE(whole.left >= live.left && whole.right <= live.right)
        << when << ": the pen tool at " << whole.left << ".." << whole.right << ", the live area " << live.left
        << ".." << live.right;
    ExpectAllFit(pm, pm.GetRoot(), when + ", pen tool");
    for (const wchar_t* name : {L"LockCheck", L"ColorCombo", L"PenSizeCombo", L"TextCheck", L"EraserCheck", L"ClearAllBtn"}) {
        CControlUI* tool = pm.FindControl(name);
        ASSERT_NE(tool, nullptr) << Wide(name);
        if (!tool->IsVisible()) continue;
        const RECT at = ScreenRect(pen, tool->GetPos());
        POINT middle{(at.left + at.right) / 2, (at.top + at.bottom) / 2};
        EXPECT_TRUE(PtInRect(&live, middle)) << when << ": " << Wide(name);
        ScreenToClient(pen, &middle);
        EXPECT_EQ(pm.FindControl(middle), tool) << when << ": " << Wide(name);
    }
}

} // namespace

// The window from its smallest size up: every control of the shipped skin fits, before the class, once
// it runs (with the recording check and the chat's font row open, and the pen tool over the live area
// with and without its lock check), and for a student being connected to speak.
TEST(MainWndLayoutRules, EveryControlFitsFromTheSmallestWindowUp)
{
    {
        MainWndHarness h;
        ASSERT_TRUE(h.StartAndJoin());
        CPaintManagerUI& pm = *h.main->GetPaintManager();
        const SIZE smallest = pm.GetMinInfo();
        ASSERT_GE(smallest.cx, 800);
        const SIZE sizes[] = {smallest, {800, 600}, {1024, 700}};
        for (SIZE size : sizes) ExpectWindowFits(h, size.cx, size.cy, "before the class");
        // A teacher's bar under the live area: the class buttons, then the volumes.
        const RECT bar = h.Find(L"ClassBar")->GetPos();
        EXPECT_EQ(bar.bottom - bar.top, 64);
        EXPECT_EQ(h.Find(L"ClassBeginBtn")->GetPos().top, bar.top + 5);
        EXPECT_EQ(h.Find(L"MicCheck")->GetPos().top, bar.top + 34);
        ASSERT_TRUE(ClickControl(pm, L"ClassBeginBtn"));
        ASSERT_TRUE(ClickControl(pm, L"FontCheck"));
        ASSERT_TRUE(h.Find(L"RecordCheck")->IsVisible());
        ASSERT_TRUE(h.Find(L"FontSetArea")->IsVisible());
        ASSERT_GT(static_cast<CComboUI*>(h.Find(L"FontType"))->GetCount(), 0);
        ASSERT_TRUE(ClickControl(*PanelOf(h)->GetPaintManager(), L"WhiteBoardCheck"));
        HWND pen = h.main->PenToolWindow();
        ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(pen) != FALSE; }, 3000));
        for (bool lock : {false, true}) {
            // The lock check shows while a document is on the screen, as the main window asks for it.
            SendMessageW(pen, WM_USER_UI_NOTICE, 9, lock ? 1 : 0);
            for (SIZE size : sizes) {
                const std::string when = std::string(lock ? "in class, lock shown" : "in class") + " at " +
                                         std::to_string(size.cx) + "x" + std::to_string(size.cy);
                ExpectWindowFits(h, size.cx, size.cy, when);
                Settle(100);
                ExpectPenToolFits(h, when);
            }
        }
    }
    MainWndHarness h(4, 2);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_MicApplied), kBen, kOwnId));
    ASSERT_TRUE(PumpUntil([] { return SessionContext::Instance()->role == eRole_MicApplied; }, 3000));
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_MicConnecting), kBen, kOwnId));
    ASSERT_TRUE(PumpUntil([&] { return h.Find(L"SpeakerArea1")->IsVisible(); }, 3000));
    ExpectWindowFits(h, 800, 600, "connecting");
    // A student has no class buttons: the volumes take the bar alone, with no empty strip above them.
    const RECT bar = h.Find(L"ClassBar")->GetPos();
    EXPECT_FALSE(h.Find(L"ClassBtnRow")->IsVisible());
    EXPECT_EQ(bar.bottom - bar.top, 35);
    EXPECT_EQ(h.Find(L"MicCheck")->GetPos().top, bar.top + 5);
    EXPECT_EQ(h.Find(L"LiveArea")->GetPos().bottom, bar.top);
}

TEST(MainWndLayoutRules, ThePenToolSitsAboveTheButtonAndOtherSendersMoveNothing)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CControlUI* live = h.Find(L"LiveArea");
    HWND button = h.main->ControlPanelButton();
    HWND pen = h.main->PenToolWindow();
    ASSERT_NE(button, nullptr);
    ASSERT_NE(pen, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return live->GetPos().right > live->GetPos().left; }, 2000));
    PosChange(h, live);
    RECT b = WindowRect(button), p = WindowRect(pen);
    ASSERT_FALSE(IsRectEmpty(&p));
    int w = p.right - p.left;
    EXPECT_EQ(p.left, b.left + (b.right - b.left) / 2 - w / 2);
    EXPECT_EQ(p.bottom, b.top - 5);

    // Any other control's report leaves the background and the floating windows where they are.
    live->SetBkImage(L"file='marker.png'");
    RECT panel = WindowRect(h.main->ControlPanelWindow());
    for (const wchar_t* name : {L"SendTextBtn", L"RightPart", L"OutputEdit"}) {
        PosChange(h, h.Find(name));
        EXPECT_EQ(CString(live->GetBkImage()), L"file='marker.png'") << name;
        EXPECT_TRUE(SameRect(WindowRect(button), b)) << name;
        EXPECT_TRUE(SameRect(WindowRect(pen), p)) << name;
        EXPECT_TRUE(SameRect(WindowRect(h.main->ControlPanelWindow()), panel)) << name;
    }
}

TEST(MainWndLayoutRules, TheLiveAreaAppliesTheVideoSizeAgainWhileTheCameraIsLive)
{
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    SessionContext* session = SessionContext::Instance();
    auto* screen = static_cast<CWinContainerUI*>(h.Find(L"MainScreenCtner"));
    ASSERT_NE(screen, nullptr);
    CControlUI* live = h.Find(L"LiveArea");
    HWND video = h.main->VideoLiveWindow();
    ASSERT_NE(video, nullptr);

    // A received live camera takes the engine's video size at once.
    session->largeVideoSize = {320, 240};
    ASSERT_TRUE(h.Push(eType_LiveCamera, Bytes{0, 0x41}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Camera && IsWindowVisible(video); }, 3000));
    EXPECT_EQ(screen->GetContentWidth(), 320u);
    EXPECT_EQ(screen->GetContentHeight(), 240u);
    EXPECT_TRUE(screen->IsKeepAspect());

    // The area's report applies a newer size and has the engine draw into the video window again.
    session->largeVideoSize = {352, 288};
    size_t draws = engine.CountOf("ChangeScreenWnd");
    PosChange(h, live);
    EXPECT_EQ(screen->GetContentWidth(), 352u);
    EXPECT_EQ(screen->GetContentHeight(), 288u);
    ASSERT_EQ(engine.CountOf("ChangeScreenWnd"), draws + 1);
    const CastmixCall* draw = engine.Last("ChangeScreenWnd");
    ASSERT_NE(draw, nullptr);
    ASSERT_EQ(draw->args.size(), 3u);
    EXPECT_EQ(draw->args[2], static_cast<long long>(reinterpret_cast<intptr_t>(video)));

    // With the camera off neither happens.
    ASSERT_TRUE(h.Push(eType_LiveCamera, Bytes{0, 0x01}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_None; }, 3000));
    session->largeVideoSize = {160, 120};
    draws = engine.CountOf("ChangeScreenWnd");
    PosChange(h, live);
    EXPECT_EQ(engine.CountOf("ChangeScreenWnd"), draws);
    EXPECT_NE(screen->GetContentWidth(), 160u);
}

TEST(MainWndLayoutRules, TheViceScreenOpensTheRightPartAndPlacesTheTeachersCover)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND cover = ViceCover(h.window);
    ASSERT_NE(cover, nullptr);
    EXPECT_FALSE(IsWindowVisible(cover));
    CControlUI* right = h.Find(L"RightPart");
    auto* toggle = static_cast<CButtonUI*>(h.Find(L"RightCtrlBtn"));
    ASSERT_NE(right, nullptr);
    ASSERT_NE(toggle, nullptr);
    if (right->IsVisible()) h.main->GetPaintManager()->SendNotify(toggle, L"click");
    ASSERT_FALSE(right->IsVisible());
    // The shipped arrows say what a click does: the open left column's button points left, the closed
    // right column's button points left too (bring it back).
    EXPECT_EQ(ArrowOf(h.window, h.Find(L"LeftCtrlBtn")), -1);
    EXPECT_EQ(ArrowOf(h.window, toggle), -1);

    // The vice area takes the place of "TeacherInfo" at the head of the right column; the roster keeps
    // its own title.
    CControlUI* info = h.Find(L"TeacherInfo");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetParent(), right);
    auto* left = static_cast<CContainerUI*>(h.Find(L"LeftPart")->GetInterface(L"Container"));
    ASSERT_NE(left, nullptr);
    CControlUI* rosterTitle = left->GetItemAt(0);
    ASSERT_EQ(Wide(rosterTitle->GetText()), L"Participants");
    ASSERT_TRUE(ClickControl(*h.main->GetPaintManager(), L"RightCtrlBtn"));
    LayOut(*h.main->GetPaintManager());
    const LONG infoTop = info->GetPos().top;
    ASSERT_TRUE(ClickControl(*h.main->GetPaintManager(), L"RightCtrlBtn"));

    ASSERT_TRUE(h.Push(eType_LiveCamera, Bytes{0, 0x42}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    EXPECT_TRUE(right->IsVisible());
    EXPECT_TRUE(h.Find(L"ViceScreenArea")->IsVisible());
    EXPECT_FALSE(info->IsVisible());
    EXPECT_TRUE(rosterTitle->IsVisible());
    LayOut(*h.main->GetPaintManager());
    EXPECT_EQ(h.Find(L"ViceScreenArea")->GetPos().top, infoTop);
    // Opened as its button opens it: the button shows the open state.
    EXPECT_EQ(ArrowOf(h.window, toggle), 1);
    ASSERT_TRUE(IsWindowVisible(cover));
    RECT main = WindowRect(h.window), c = WindowRect(cover);
    EXPECT_EQ(c.left, main.right - 252);
    EXPECT_EQ(c.top, main.top + 59);
    EXPECT_EQ(c.right - c.left, 240);
    EXPECT_EQ(c.bottom - c.top, 160);
    // The video under it is the cover's size and place: its frame and buttons lie on the picture.
    EXPECT_TRUE(SameRect(ScreenRect(h.window, h.Find(L"ViceScreenCtner")->GetPos()), c));
    // Alt+F4 after a click on the cover leaves it there.
    AltF4InLoop(cover);
    Settle(200);
    ASSERT_TRUE(IsWindowVisible(cover));
    ASSERT_TRUE(IsWindow(h.window));

    // The cover follows the window.
    SetWindowPos(h.window, nullptr, main.left + 37, main.top + 21, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Settle(100);
    main = WindowRect(h.window);
    c = WindowRect(cover);
    EXPECT_EQ(c.left, main.right - 252);
    EXPECT_EQ(c.top, main.top + 59);
    // And its right edge when the window is made smaller, its left edge staying.
    const RECT before = main;
    SetWindowPos(h.window, nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Settle(100);
    main = WindowRect(h.window);
    ASSERT_EQ(main.left, before.left);
    c = WindowRect(cover);
    EXPECT_EQ(c.left, main.right - 252);
    EXPECT_TRUE(SameRect(ScreenRect(h.window, h.Find(L"ViceScreenCtner")->GetPos()), c));
    SetWindowPos(h.window, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Settle(100);

    // Closing the right column by its button takes the cover along; opening it brings the cover back
    // to its place.
    CPaintManagerUI& pm = *h.main->GetPaintManager();
    ASSERT_TRUE(ClickControl(pm, L"RightCtrlBtn"));
    EXPECT_FALSE(right->IsVisible());
    EXPECT_FALSE(IsWindowVisible(cover));
    SetWindowPos(h.window, nullptr, main.left - 30, main.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(ClickControl(pm, L"RightCtrlBtn"));
    EXPECT_TRUE(right->IsVisible());
    ASSERT_TRUE(IsWindowVisible(cover));
    main = WindowRect(h.window);
    c = WindowRect(cover);
    EXPECT_EQ(c.left, main.right - 252);
    EXPECT_EQ(c.top, main.top + 59);

    // The speaker's cover sits over the left column and goes and comes back with it.
    ASSERT_TRUE(h.Push(eType_SpeakState, SpeakState(eRole_SpeakerVideo), kOwnId, kBen));
    ASSERT_TRUE(PumpUntil([&] { return h.main->VideoSpeakCoverWindow() != nullptr; }, 3000));
    HWND speakCover = h.main->VideoSpeakCoverWindow();
    CControlUI* speakVideo = h.Find(L"VideoSpeakContainer1");
    ASSERT_TRUE(IsWindowVisible(speakCover));
    ASSERT_TRUE(ClickControl(pm, L"LeftCtrlBtn"));
    EXPECT_FALSE(speakVideo->IsVisible());
    EXPECT_FALSE(IsWindowVisible(speakCover));
    EXPECT_TRUE(IsWindowVisible(cover));
    EXPECT_EQ(ArrowOf(h.window, h.Find(L"LeftCtrlBtn")), 1);
    ASSERT_TRUE(ClickControl(pm, L"LeftCtrlBtn"));
    ASSERT_TRUE(IsWindowVisible(speakCover));
    LayOut(pm);
    EXPECT_TRUE(SameRect(WindowRect(speakCover), ScreenRect(h.window, speakVideo->GetPos())));
    // Under the mouse the cover draws its bar and keeps its picture's size: it still lies on the
    // speaker's video, inside the left column, and its second button ends the turn.
    MoveClient(speakCover, 120, 80);
    Settle(50);
    const RECT speak = WindowRect(speakCover), column = ScreenRect(h.window, h.Find(L"LeftPart")->GetPos());
    EXPECT_TRUE(SameRect(speak, ScreenRect(h.window, speakVideo->GetPos())));
    RECT inColumn{};
    EXPECT_TRUE(IntersectRect(&inColumn, &speak, &column) && SameRect(inColumn, speak))
        << "the cover spans " << speak.left << ".." << speak.right << ", the column " << column.left << ".."
        << column.right;
    const size_t sent = h.room.reg.Messages(eType_SpeakState).size();
    ClickClient(speakCover, speak.right - speak.left - 35, 144);
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_SpeakState).size() > sent; }, 3000));
    const auto ended = h.room.reg.Messages(eType_SpeakState).back();
    EXPECT_EQ(ended.header.destination, kBen);
    ASSERT_EQ(ended.payload.size(), 5u);
    EXPECT_EQ(ended.payload[4], 1);

    // The camera leaving the vice screen hides the cover with the area.
    ASSERT_TRUE(h.Push(eType_LiveCamera, Bytes{0, 0x02}));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_None; }, 3000));
    EXPECT_FALSE(IsWindowVisible(cover));
    EXPECT_TRUE(h.Find(L"TeacherInfo")->IsVisible());
}

TEST(MainWndLayoutRules, TheTeachersPanelAndButtonSitOnTheLiveAreaTheToggleTellsTheThumbnailsAndNoKeyClosesThem)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND panel = h.main->ControlPanelWindow();
    HWND button = h.main->ControlPanelButton();
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(IsWindowVisible(panel));
    EXPECT_TRUE(IsWindowVisible(button));
    EXPECT_EQ(GetWindow(panel, GW_OWNER), h.window);
    CControlPanelWnd* panelWnd = PanelOf(h);
    ASSERT_NE(panelWnd, nullptr);
    Thumbnail thumbnail;
    ASSERT_NE(thumbnail.window, nullptr);
    FileItemRecord file;
    file.fileId = 77;
    ASSERT_TRUE(panelWnd->AddDocumentThumbnail(file, thumbnail.window));

    CControlUI* live = h.Find(L"LiveArea");
    ASSERT_NE(live, nullptr);
    PumpUntil([&] { return live->GetPos().right > live->GetPos().left; }, 2000);
    PosChange(h, live);
    RECT area = ScreenRect(h.window, live->GetPos());
    RECT p = WindowRect(panel), b = WindowRect(button);
    EXPECT_EQ(p.left, area.left + 1);
    EXPECT_EQ(p.top, area.bottom - 120);
    EXPECT_EQ(p.right, area.right - 1);
    EXPECT_EQ(p.bottom, area.bottom - 1);
    EXPECT_EQ(b.bottom, area.bottom - 120);
    EXPECT_EQ(b.left, area.left + (area.right - area.left - (b.right - b.left)) / 2);

    // A click on the button hides the panel; the button drops to one pixel above the area's bottom and
    // its chevron turns from "put away" (down) to "bring back" (up).
    EXPECT_EQ(ChevronOf(button), 1);
    RECT buttonClient{};
    GetClientRect(button, &buttonClient);
    ClickClient(button, buttonClient.right / 2, buttonClient.bottom / 2);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(panel); }, 3000));
    EXPECT_EQ(WindowRect(button).bottom, area.bottom - 1);
    EXPECT_EQ(ChevronOf(button), -1);
    ClickClient(button, buttonClient.right / 2, buttonClient.bottom / 2);
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(panel) != FALSE; }, 3000));
    EXPECT_EQ(WindowRect(button).bottom, area.bottom - 120);
    EXPECT_EQ(ChevronOf(button), 1);
    EXPECT_EQ(Thumbnail::notices, (std::vector<LPARAM>{0, 1}));

    // Escape in the class window, and Escape or Alt+F4 in a floating bar a click made active (the
    // pen tool shows with the whiteboard), close nothing: the bars are made once, for the whole class.
    ASSERT_TRUE(ClickControl(*panelWnd->GetPaintManager(), L"WhiteBoardCheck"));
    HWND pen = h.main->PenToolWindow();
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(pen) != FALSE; }, 3000));
    PressInLoop(h.window, WM_KEYDOWN, VK_ESCAPE);
    PressInLoop(h.Input()->GetNativeWindow(), WM_KEYDOWN, VK_ESCAPE); // typing in the chat
    for (HWND bar : {button, panel, pen}) {
        PressInLoop(bar, WM_KEYDOWN, VK_ESCAPE);
        AltF4InLoop(bar);
    }
    PumpUntil([] { return false; }, 500);
    ASSERT_TRUE(IsWindow(h.window));
    for (HWND bar : {button, panel, pen}) EXPECT_TRUE(IsWindowVisible(bar));
    ASSERT_EQ(h.main->ControlPanelWindow(), panel);
    ClickClient(button, buttonClient.right / 2, buttonClient.bottom / 2);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(panel); }, 3000));
}

TEST(MainWndFirstPen, TheTeachersPenReachesTheRoomAsItsBytesAndEveryClassStartsBlack)
{
    // A red pen of width 6 left stored by an earlier class.
    ASSERT_TRUE(CSqliteMgr::GetInstance()->Init(static_cast<int32_t>(kOwnId)));
    ASSERT_TRUE(CSqliteMgr::GetInstance()->SavePenInfo(PenSetting{0xFFFF5522, 0, 6}));
    {
        MainWndHarness h;
        ASSERT_TRUE(h.StartAndJoin());
        ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 1; }, 5000));
        Settle();
        std::vector<Packet> sent = h.room.reg.Messages(eType_PaintObject);
        ASSERT_EQ(sent.size(), 1u);
        SessionContext* session = SessionContext::Instance();
        // The pen tool gave it a fresh order key and kept it as the own pen.
        uint32_t key = static_cast<uint32_t>(session->penOrderKey);
        EXPECT_NE(key, 0u);
        Bytes expected(31, 0);
        expected[0] = 1;      // wire kind: pen
        expected[1] = kOwnId; // own user id, little-endian
        expected[5] = 5;      // black: the fifth colour of the table
        expected[6] = 3;      // width
        expected[7] = 0;      // style
        for (int i = 0; i < 4; ++i) expected[8 + i] = static_cast<uint8_t>(key >> (8 * i));
        EXPECT_EQ(sent[0].payload, expected);
        EXPECT_EQ(sent[0].header.sender, kOwnId);
        EXPECT_EQ(sent[0].header.destination, kRoomId);

        // The teacher picks green and the widest pen but one.
        auto* bar = dynamic_cast<CPenToolWnd*>(
            reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(h.main->PenToolWindow(), GWLP_USERDATA)));
        ASSERT_NE(bar, nullptr);
        SendMessageW(h.main->PenToolWindow(), WM_USER_UI_NOTICE, 10, 0); // the lock off: tools enabled
        static_cast<CComboUI*>(bar->GetPaintManager()->FindControl(L"ColorCombo"))->SelectItem(2);
        static_cast<CComboUI*>(bar->GetPaintManager()->FindControl(L"PenSizeCombo"))->SelectItem(3);
        ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 3; }, 5000));
    }
    PenSetting stored;
    ASSERT_TRUE(CSqliteMgr::GetInstance()->GetPenInfo(stored));
    EXPECT_EQ(stored.colour, 0xFF33BB44u);
    EXPECT_EQ(stored.size, 5);

    // The next class starts with the black pen of width 3 again: the room, the session, the tool bar
    // and the database have it.
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(PumpUntil([&] { return h.room.reg.Messages(eType_PaintObject).size() >= 1; }, 5000));
    Settle();
    std::vector<Packet> sent = h.room.reg.Messages(eType_PaintObject);
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].payload.size(), 31u);
    EXPECT_EQ(sent[0].payload[5], PenIndexFromColour(0xFF000000));
    EXPECT_EQ(sent[0].payload[6], 3);
    EXPECT_EQ(sent[0].payload[7], 0);
    SessionContext* session = SessionContext::Instance();
    EXPECT_EQ(session->penColour, 0xFF000000u);
    EXPECT_EQ(session->penWidth, 3);
    EXPECT_NE(session->penOrderKey, 0);
    auto* bar = dynamic_cast<CPenToolWnd*>(
        reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(h.main->PenToolWindow(), GWLP_USERDATA)));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetPen().colour, 0xFF000000u);
    EXPECT_EQ(bar->GetPen().width, 3);
    EXPECT_EQ(static_cast<CComboUI*>(bar->GetPaintManager()->FindControl(L"ColorCombo"))->GetCurSel(), 4);
    EXPECT_EQ(static_cast<CComboUI*>(bar->GetPaintManager()->FindControl(L"PenSizeCombo"))->GetCurSel(), 1);
    ASSERT_TRUE(CSqliteMgr::GetInstance()->GetPenInfo(stored));
    EXPECT_EQ(stored.colour, 0xFF000000u);
    EXPECT_EQ(stored.size, 3);
}

namespace {

// The columns of rc in the window where light (white) pixels show, counted.
std::vector<int> LightColumns(HWND window, const RECT& rc)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    const WindowPixels shot = CaptureClient(window, &rc);
    std::vector<int> columns(shot.width, 0);
    for (int y = 0; y < shot.height && !shot.pixels.empty(); ++y)
        for (int x = 0; x < shot.width; ++x) {
            const uint32_t p = shot.pixels[y * shot.width + x];
            if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) > 200) ++columns[x];
        }
    return columns;
}

} // namespace

// The recording check as the teacher uses it: a click anywhere on the drawn "Record" starts the
// recording, and while it runs the mouse over the check says what a click does.
TEST(MainWndLayoutRules, TheRecordCheckTakesClicksOnItsTextAndNamesItsStopUnderTheMouse)
{
    TempFolder folder{L"rec"};
    CastmixDouble& engine = CastmixDouble::Instance();
    engine.Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    OptionSettings& options = SessionContext::Instance()->options;
    options.recordFolder = folder.Path();
    options.recordOption = 0; // the camera alone
    CPaintManagerUI& pm = *h.main->GetPaintManager();
    ASSERT_TRUE(ClickControl(pm, L"ClassBeginBtn"));
    auto* record = static_cast<CRecordCheckUI*>(h.Find(L"RecordCheck"));
    ASSERT_TRUE(record && record->IsVisible());
    PostMessageW(h.window, WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(Action(ePanel_Camera)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetViceContent() == eScreen_Camera; }, 3000));
    engine.results["StartRec"] = 1;
    LayOut(pm);
    const RECT rc = record->GetPos();
    const int middle = (rc.top + rc.bottom) / 2;

    std::vector<int> text = LightColumns(h.window, rc);
    int last = -1;
    for (int x = 0; x < static_cast<int>(text.size()); ++x)
        if (text[x]) last = x;
    ASSERT_GT(last, 10) << "no text drawn";
    BoxAnswerer answerer; // the not-maximised question takes its default, Yes
    ClickClient(h.window, rc.left + last, middle);
    ASSERT_TRUE(PumpUntil([&] { return h.main->IsRecording(); }, 5000))
        << "a click at column " << last << ", boxes " << answerer.Count() << ", checked " << record->IsSelected();
    EXPECT_EQ(answerer.Count(), 1u);

    // Under the mouse the running check shows its stop text, not an empty frame.
    MoveClient(h.window, (rc.left + rc.right) / 2, middle);
    Settle(100);
    int light = 0;
    for (int n : LightColumns(h.window, rc)) light += n;
    EXPECT_GT(light, 20);
    ClickClient(h.window, rc.right - 3, middle);
    ASSERT_TRUE(PumpUntil([&] { return !h.main->IsRecording(); }, 5000));
    EXPECT_FALSE(record->IsSelected());
}

// The whiteboard's page tabs stay where the teacher can reach them while the control panel, its
// button and the pen tool float over the bottom of the live area.
TEST(MainWndLayoutRules, TheBoardsPageTabsStayClearOfTheTeachersFloatingBars)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(ClickControl(*PanelOf(h)->GetPaintManager(), L"WhiteBoardCheck"));
    HWND board = h.main->WhiteboardWindow();
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetMainContent() == eScreen_Whiteboard && IsWindowVisible(board); }, 3000));
    auto* boardWnd = dynamic_cast<WindowImplBase*>(reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(board, GWLP_USERDATA)));
    ASSERT_NE(boardWnd, nullptr);
    CPaintManagerUI& boardPm = *boardWnd->GetPaintManager();
    const HWND bars[] = {h.main->ControlPanelWindow(), h.main->ControlPanelButton(), h.main->PenToolWindow()};
    for (SIZE size : {SIZE{800, 600}, SIZE{1024, 700}}) {
        SetWindowPos(h.window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        LayOut(*h.main->GetPaintManager());
        Settle(100);
        LayOut(boardPm);
        for (HWND bar : bars) ASSERT_TRUE(IsWindowVisible(bar));
        for (const wchar_t* name : {L"Tab1", L"AddTabBtn"}) {
            CControlUI* tab = boardPm.FindControl(name);
            ASSERT_NE(tab, nullptr);
            const RECT at = ScreenRect(board, tab->GetPos()), whole = WindowRect(board);
            EXPECT_TRUE(at.left >= whole.left && at.right <= whole.right && at.top >= whole.top && at.bottom <= whole.bottom)
                << Wide(name) << " at " << size.cx;
            for (HWND bar : bars) {
                RECT over{};
                const RECT b = WindowRect(bar);
                EXPECT_FALSE(IntersectRect(&over, &at, &b)) << Wide(name) << " under a bar at " << size.cx;
            }
        }
    }
    const RECT add = boardPm.FindControl(L"AddTabBtn")->GetPos();
    ClickClient(board, (add.left + add.right) / 2, (add.top + add.bottom) / 2);
    EXPECT_TRUE(PumpUntil([&] { return boardPm.FindControl(L"Tab2")->IsVisible(); }, 3000));
}
