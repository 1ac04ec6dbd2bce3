// The microphone queue: rows and the active participant, the button pressed by injected mouse input
// sending "micstatechanged" asynchronously in order, its looks painted into a memory DIB.
#include "controls/MicList.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

namespace {

UserRecord User(uint32_t id, uint8_t role, const wchar_t* nick)
{
    UserRecord u;
    u.userId = id;
    u.role = role;
    u.nickName = nick;
    u.userName = L"login";
    return u;
}

struct Queue {
    ControlsHost host;
    CMicListUI* list = nullptr;
    MemoryDib dib{200, 120};
    Queue()
    {
        if (host.Load(LR"(<VerticalLayout><MicList name="mic" itembkcolor="#FFFFFFFF"/></VerticalLayout>)",
                      {0, 0, 200, 120}))
            list = static_cast<CMicListUI*>(host.Find(L"mic"));
    }
    CMicElementUI* Row(int i) { return static_cast<CMicElementUI*>(list->GetItemAt(i)); }
    void Paint() { host.Repaint(dib, {0, 0, 200, 120}); }
    POINT ButtonCentre(int i)
    {
        RECT rc = Row(i)->GetButtonRect();
        return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }
};

} // namespace

TEST(MicQueue, SetUsersPicksTheActiveParticipant)
{
    Queue q;
    ASSERT_NE(q.list, nullptr);
    EXPECT_EQ(q.list->SetUsers({User(1, eRole_MicApplied, L"a")}), 1);
    EXPECT_EQ(q.list->GetActiveUserId(), 0u);
    EXPECT_EQ(q.list->SetUsers({User(1, eRole_MicApplied, L"a"), User(2, eRole_MicConnecting, L"b"),
                                User(3, eRole_SpeakerVideo, L""), User(4, eRole_MicApplied, L"d")}),
              4);
    EXPECT_EQ(q.list->GetActiveUserId(), 3u);
    EXPECT_EQ(q.list->FindElement(2), q.Row(1));
    EXPECT_EQ(q.list->FindElement(9), nullptr);
    EXPECT_EQ(q.Row(2)->GetText(), L"login"); // no nickname: the user name
    EXPECT_EQ(q.Row(0)->GetFixedHeight(), 26);
    q.list->SetActiveElement(nullptr, true);
    EXPECT_EQ(q.list->GetActiveUserId(), 3u);
}

TEST(MicQueue, SpeakSwitchesTheActiveParticipantOffFirst)
{
    Queue q;
    ASSERT_NE(q.list, nullptr);
    q.list->SetUsers({User(1, eRole_MicApplied, L"alice"), User(2, eRole_MicConnecting, L"bob")});
    q.Paint();
    RECT button = q.Row(0)->GetButtonRect();
    RECT row = q.Row(0)->GetPos();
    EXPECT_EQ(button.right, row.right - 10);
    EXPECT_GE(button.right - button.left, 30);
    EXPECT_EQ(button.bottom - button.top, 16);
    EXPECT_EQ(button.top, row.top + 5);
    EXPECT_EQ(q.dib.At(button.left + 1, button.top + 1), 0x666666u);
    // The name's tooltip shows over the name only; the status text sits between name and button.
    RECT name = q.Row(1)->GetNameRect();
    EXPECT_EQ(name.left, row.left + 10);
    EXPECT_LT(name.right, q.Row(1)->GetButtonRect().left - 30);
    q.host.Move(name.left + 2, (name.top + name.bottom) / 2);
    EXPECT_EQ(q.Row(1)->GetToolTip(), L"bob");
    POINT cancel = q.ButtonCentre(1);
    q.host.Move(cancel.x, cancel.y);
    EXPECT_TRUE(q.Row(1)->GetToolTip().IsEmpty());

    POINT speak = q.ButtonCentre(0);
    q.host.Press(speak.x, speak.y);
    // Nothing is delivered while the handler runs.
    EXPECT_TRUE(q.host.Of(DUI_MSGTYPE_MICSTATECHANGED).empty());
    q.Paint();
    EXPECT_EQ(q.dib.At(button.left + 1, button.top + 1), 0x00CC90u); // pressed
    q.host.Release(speak.x, speak.y);
    q.Paint();
    EXPECT_EQ(q.dib.At(button.left + 1, button.top + 1), 0x00CC99u); // hot
    q.host.Pump(50);
    auto changes = q.host.Of(DUI_MSGTYPE_MICSTATECHANGED);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].wParam, 0u);
    EXPECT_EQ(changes[0].lParam, reinterpret_cast<LPARAM>(q.Row(1)));
    EXPECT_EQ(changes[1].wParam, 1u);
    EXPECT_EQ(changes[1].lParam, reinterpret_cast<LPARAM>(q.Row(0)));
    EXPECT_EQ(q.list->GetActiveUserId(), 1u);

    // "Cancel" on the connecting row ends its turn only (it is not the active one any more).
    q.host.entries.clear();
    q.host.Click(cancel.x, cancel.y);
    q.host.Pump(50);
    changes = q.host.Of(DUI_MSGTYPE_MICSTATECHANGED);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].wParam, 0u);
    EXPECT_EQ(q.list->GetActiveUserId(), 1u);

    // Outside the button nothing is sent.
    q.host.entries.clear();
    q.host.Click(row.left + 20, row.top + 10);
    q.host.Pump(30);
    EXPECT_TRUE(q.host.Of(DUI_MSGTYPE_MICSTATECHANGED).empty());
}

TEST(MicQueue, CancelOfTheSpeakerLeavesNobodyActive)
{
    Queue q;
    ASSERT_NE(q.list, nullptr);
    q.list->SetUsers({User(5, eRole_SpeakerVoice, L"sam")});
    ASSERT_EQ(q.list->GetActiveUserId(), 5u);
    q.Paint();
    POINT cancel = q.ButtonCentre(0);
    q.host.Click(cancel.x, cancel.y);
    q.host.Pump(50);
    auto changes = q.host.Of(DUI_MSGTYPE_MICSTATECHANGED);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].wParam, 0u);
    EXPECT_EQ(q.list->GetActiveUserId(), 0u);

    // Rows replaced before delivery take their pending notification with them.
    q.host.entries.clear();
    q.list->SetUsers({User(6, eRole_MicApplied, L"tia")});
    q.Paint();
    POINT speak = q.ButtonCentre(0);
    q.host.Click(speak.x, speak.y);
    q.list->SetUsers({User(7, eRole_MicApplied, L"uma")});
    q.host.Pump(50);
    EXPECT_TRUE(q.host.Of(DUI_MSGTYPE_MICSTATECHANGED).empty());
}
