// What the class window's chat output shows: emotion tokens as their images, the output trimmed at
// its text limit, and the room's system texts echoed on the share bar only while the teacher shares.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "core/WindowMessages.h"
#include "protocol/CmdProtocol.h"
#include "tests/fakes/castmix/CastmixDouble.h"

#include <oleauto.h>
#include <richole.h>

#include <string>
#include <vector>

using namespace fakeroom;

namespace {

CRichEditUI* Output(MainWndHarness& h)
{
    return static_cast<CRichEditUI*>(h.Find(L"OutputEdit"));
}

// The objects the rich edit itself holds, as its OLE interface counts them.
long ObjectCount(CRichEditUI* edit)
{
    IRichEditOle* ole = nullptr;
    if (!edit || !edit->GetNativeWindow() ||
        !SendMessageW(edit->GetNativeWindow(), EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) || !ole)
        return -1;
    long count = ole->GetObjectCount();
    ole->Release();
    return count;
}

// Every message the share bar takes from its queue, seen before the bar handles (and frees) it.
class ShareBarWatch {
public:
    explicit ShareBarWatch(HWND bar)
    {
        s_bar = bar;
        s_texts.clear();
        s_countdowns.clear();
        m_hook = SetWindowsHookExW(WH_GETMESSAGE, Hook, nullptr, GetCurrentThreadId());
    }
    ~ShareBarWatch()
    {
        if (m_hook) UnhookWindowsHookEx(m_hook);
        s_bar = nullptr;
    }
    bool Hooked() const { return m_hook != nullptr; }
    static std::vector<std::wstring> s_texts;
    static std::vector<uint32_t> s_countdowns;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (code >= 0 && wParam == PM_REMOVE && msg && msg->hwnd == s_bar && s_bar) {
            if (msg->message == WM_USER_SYSTEM_TEXT && msg->lParam)
                s_texts.emplace_back(reinterpret_cast<BSTR>(msg->lParam));
            else if (msg->message == WM_USER_COUNTDOWN && msg->lParam)
                s_countdowns.push_back(*reinterpret_cast<uint32_t*>(msg->lParam));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static HWND s_bar;
    HHOOK m_hook = nullptr;
};

HWND ShareBarWatch::s_bar = nullptr;
std::vector<std::wstring> ShareBarWatch::s_texts;
std::vector<uint32_t> ShareBarWatch::s_countdowns;

bool AnyTextWith(const wchar_t* part)
{
    for (const std::wstring& text : ShareBarWatch::s_texts)
        if (text.find(part) != std::wstring::npos) return true;
    return false;
}

void PostShareSwitch(MainWndHarness& h, bool on)
{
    PostMessageW(h.window, WM_USER_PANEL_ACTION, on ? 1 : 0, reinterpret_cast<LPARAM>(Action(ePanel_ScreenShare)));
}

} // namespace

TEST(MainWndChatShow, EmotionTokensInReceivedAndOwnMessagesBecomeTheirImages)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CRichEditUI* out = Output(h);
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(ObjectCount(out), 0);

    // Two known tokens, one unknown one and an escaped bracket.
    ChatFont font;
    ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, L"hi [\\smile] and [\\nosuch] /[x] end[\\smile]"), 21));
    ASSERT_TRUE(h.WaitForOutput(L" end"));
    EXPECT_EQ(ObjectCount(out), 2);
    CString text = h.OutputText();
    EXPECT_GE(text.Find(L"hi "), 0);
    EXPECT_GE(text.Find(L" and [\\nosuch] [x] end"), 0);
    EXPECT_LT(text.Find(L"[\\smile]"), 0);
    EXPECT_LT(text.Find(L"/[x]"), 0);

    // The own message, sent as its tokens, shows the image as well.
    h.Input()->SetText(L"[\\smile]ok");
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_ChatMsg, 1));
    EXPECT_EQ(h.room.reg.Messages(eType_ChatMsg)[0].payload, BuildChatPayload(h.main->GetChatFont(), L"[\\smile]ok"));
    EXPECT_EQ(ObjectCount(out), 3);
    // The images are kept read-only, as the rest of the output.
    EXPECT_TRUE(out->IsReadOnly());
    EXPECT_NE(GetWindowLongW(out->GetNativeWindow(), GWL_STYLE) & ES_READONLY, 0);
}

TEST(MainWndChatShow, TrimmingAtTheLimitKeepsTheNewestMessages)
{
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    CRichEditUI* out = Output(h);
    ASSERT_NE(out, nullptr);
    // A small limit keeps the rounds short; the rule is relative to the limit.
    out->SetLimitText(3000);
    ChatFont font;
    const CString filler(L'x', 300);
    for (int i = 0; i < 20; ++i) {
        CString text;
        text.Format(L"msg-%02d %s", i, filler.GetString());
        ASSERT_TRUE(h.Push(eType_ChatMsg, BuildChatPayload(font, text), 21));
        CString tag;
        tag.Format(L"msg-%02d", i);
        ASSERT_TRUE(h.WaitForOutput(tag)) << i;
        // Before each message the output is cut back to at most half the limit, then one message grows it.
        EXPECT_LE(out->GetTextLength(), 1500 + 420) << i;
    }
    CString text = h.OutputText();
    EXPECT_GE(text.Find(L"msg-19"), 0);
    EXPECT_GE(text.Find(L"msg-18"), 0);
    EXPECT_LT(text.Find(L"msg-00"), 0);
    EXPECT_LT(text.Find(L"msg-10"), 0);
    // Cut at a sender's mark: what is left starts with a whole message.
    EXPECT_EQ(text.Left(1), L"\x2642");
    EXPECT_EQ(h.main->GetChatCount(), 20);

    // A sender whose mark is nowhere in the head (Ms Ann is "♀", every line so far "♂") empties the output.
    h.Input()->SetText(L"from the teacher");
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    ASSERT_TRUE(h.WaitForOutput(L"from the teacher"));
    text = h.OutputText();
    EXPECT_LT(text.Find(L"msg-19"), 0);
    EXPECT_EQ(text.Left(1), L"\x2640");
    EXPECT_TRUE(out->IsReadOnly());
}

TEST(MainWndChatShow, SystemTextsReachTheShareBarOnlyWhileSharing)
{
    CastmixDouble::Instance().Reset();
    MainWndHarness h;
    ASSERT_TRUE(h.StartAndJoin());
    HWND bar = h.main->ShareScreenWindow();
    ASSERT_NE(bar, nullptr);
    ShareBarWatch watch(bar);
    ASSERT_TRUE(watch.Hooked());
    SessionContext* session = SessionContext::Instance();
    session->options.tipOption = 0;

    // Not sharing: the output only.
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(30, 1, 2, "Dora", "dora")));
    ASSERT_TRUE(h.WaitForOutput(L"Dora"));
    ASSERT_TRUE(h.Push(eType_CountDwon_Notify, Countdown(600)));
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetClassLeftSeconds() >= 599; }, 3000));
    Settle();
    EXPECT_TRUE(ShareBarWatch::s_texts.empty());
    EXPECT_TRUE(ShareBarWatch::s_countdowns.empty());

    PostShareSwitch(h, true);
    ASSERT_TRUE(PumpUntil([&] { return (h.main->GetLiveState().flags & eLive_ScreenShare) != 0 && IsWindowVisible(bar); },
                          3000));
    // A room notice goes to both; a refusal of the own text is a line of the output only.
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(31, 1, 1, "Evan", "evan")));
    ASSERT_TRUE(h.WaitForOutput(L"Evan"));
    h.Input()->SetText(L"   ");
    h.main->GetPaintManager()->SendNotify(h.Find(L"SendTextBtn"), L"click");
    ASSERT_TRUE(h.Push(eType_CountDwon_Notify, Countdown(300)));
    ASSERT_TRUE(PumpUntil([&] { return AnyTextWith(L"Evan") && ShareBarWatch::s_countdowns.size() == 1; }, 3000));
    Settle();
    EXPECT_EQ(ShareBarWatch::s_texts.size(), 1u);
    EXPECT_EQ(ShareBarWatch::s_countdowns[0], 300u);
    EXPECT_GE(h.OutputText().Find(L"Cann't send empty message, please re-input"), 0);

    // The tip option keeps the bar quiet, the output still shows the notice.
    session->options.tipOption = 1;
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(32, 1, 1, "Fay", "fay")));
    ASSERT_TRUE(h.WaitForOutput(L"Fay"));
    Settle();
    EXPECT_FALSE(AnyTextWith(L"Fay"));
    session->options.tipOption = 0;

    // The class ends while sharing: its text reaches the bar once.
    ASSERT_TRUE(h.Push(eType_ClassState, ClassState(4)));
    ASSERT_TRUE(PumpUntil([&] { return AnyTextWith(L"Class Is Over!"); }, 3000));
    Settle();
    size_t shown = ShareBarWatch::s_texts.size();
    EXPECT_EQ(shown, 2u);

    // Sharing over: the output only again.
    PostShareSwitch(h, false);
    ASSERT_TRUE(PumpUntil([&] { return (h.main->GetLiveState().flags & eLive_ScreenShare) == 0; }, 3000));
    ASSERT_TRUE(h.Push(eType_UserOnline_Notify, OnlineNotice(33, 1, 1, "Gus", "gus")));
    ASSERT_TRUE(h.WaitForOutput(L"Gus"));
    Settle();
    EXPECT_EQ(ShareBarWatch::s_texts.size(), shown);
    EXPECT_EQ(Occurrences(h.OutputText(), L"Class Is Over!"), 1);
}
