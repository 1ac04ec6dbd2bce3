// The roster's ordering, microphone count and speaker, searches, badges and row borders painted into
// a memory DIB, and who may open the roster menu.
#include "controls/StudentList.h"
#include "tests/controls/ControlsHost.h"

#include <gtest/gtest.h>

namespace {

const wchar_t kRoster[] = LR"(<VerticalLayout>
  <LVStudentList name="roster" itemheight="20" itembordercolor="#FF0000FF" itemselectedbordercolor="FF00FF00"
     itemhotbordercolor="#FFFF0000" itembordersize="2" teacheridbtnattr="bkcolor=&quot;#FF112233&quot; width=&quot;10&quot;"
     assistantidbtnattr="bkcolor=&quot;#FF445566&quot; width=&quot;10&quot;"
     studentidbtnattr="bkcolor=&quot;#FF778899&quot; width=&quot;10&quot;" namebtnattr="textcolor=&quot;#FF000000&quot;"/>
</VerticalLayout>)";

UserRecord User(uint32_t id, uint8_t role, const wchar_t* nick = L"nick", uint16_t server = 1)
{
    UserRecord u;
    u.userId = id;
    u.serverId = server;
    u.role = role;
    u.nickName = nick;
    u.userName = CString(L"user-") + nick;
    return u;
}

uint32_t IdAt(CStudentList* list, int index)
{
    auto* row = static_cast<CStudentListElement*>(list->GetItemAt(index));
    return row && row->GetUser() ? row->GetUser()->userId : 0;
}

HWND g_menuWindow = reinterpret_cast<HWND>(0x1234);
int g_menuOpened = 0;
HWND CountingOpener(CStudentListElement*, POINT)
{
    ++g_menuOpened;
    return g_menuWindow;
}

struct Roster {
    ControlsHost host;
    CStudentList* list = nullptr;
    Roster()
    {
        if (host.Load(kRoster, {0, 0, 200, 200})) list = static_cast<CStudentList*>(host.Find(L"roster"));
    }
};

} // namespace

TEST(Roster, TeachersOnTopStudentsInArrivalOrder)
{
    Roster r;
    ASSERT_NE(r.list, nullptr);
    EXPECT_TRUE(r.list->AddUser(User(10, eRole_Student)));
    EXPECT_TRUE(r.list->AddUser(User(11, eRole_Teacher)));
    EXPECT_TRUE(r.list->AddUser(User(12, eRole_MicApplied)));
    EXPECT_TRUE(r.list->AddUser(User(13, eRole_Host)));
    EXPECT_FALSE(r.list->AddUser(User(10, eRole_Student)));  // already present
    EXPECT_TRUE(r.list->AddUser(User(14, eRole_Assistant))); // between teachers and students
    EXPECT_FALSE(r.list->AddUser(User(15, 7)));               // no such role
    ASSERT_EQ(r.list->GetCount(), 5);
    EXPECT_EQ(IdAt(r.list, 0), 13u);
    EXPECT_EQ(IdAt(r.list, 1), 11u);
    EXPECT_EQ(IdAt(r.list, 2), 14u);
    EXPECT_EQ(IdAt(r.list, 3), 10u);
    EXPECT_EQ(IdAt(r.list, 4), 12u);
    EXPECT_EQ(r.list->GetMicUserCount(), 1);
    EXPECT_EQ(r.list->GetSpeakerId(), 0u);
    EXPECT_TRUE(r.list->IsMicUserAt(4));
    EXPECT_FALSE(r.list->IsMicUserAt(3));
    EXPECT_FALSE(r.list->IsMicUserAt(9));

    // Only roster rows are accepted.
    std::unique_ptr<CListLabelElementUI> stranger(new CListLabelElementUI);
    EXPECT_FALSE(r.list->Add(stranger.get()));
    EXPECT_FALSE(r.list->AddAt(stranger.get(), 0));
    EXPECT_EQ(r.list->GetCount(), 5);
}

TEST(Roster, CountsMicrophoneUsersThroughEveryChange)
{
    Roster r;
    ASSERT_NE(r.list, nullptr);
    UserRecord a = User(1, eRole_Student), b = User(2, eRole_SpeakerVideo), c = User(3, eRole_MicConnecting);
    std::vector<UserRecord*> users = {&a, nullptr, &b, &c};
    ASSERT_TRUE(r.list->SetUsers(users));
    EXPECT_EQ(r.list->GetMicUserCount(), 2);
    EXPECT_EQ(r.list->GetSpeakerId(), 2u);

    uint8_t old = 99;
    EXPECT_FALSE(r.list->SetUserState(eRole_Student, old, 1)); // unchanged
    EXPECT_EQ(old, 0);
    EXPECT_EQ(r.list->GetMicUserCount(), 2);
    EXPECT_TRUE(r.list->SetUserState(eRole_MicApplied, old, 1)); // 1 -> 130 raises
    EXPECT_EQ(old, eRole_Student);
    EXPECT_EQ(r.list->GetMicUserCount(), 3);
    EXPECT_TRUE(r.list->SetUserState(eRole_MicConnecting, old, 1)); // 130 -> 131 unchanged
    EXPECT_EQ(r.list->GetMicUserCount(), 3);
    EXPECT_TRUE(r.list->SetUserState(eRole_Student, old, 2)); // 132 -> 1 lowers
    EXPECT_EQ(r.list->GetMicUserCount(), 2);
    EXPECT_FALSE(r.list->SetUserState(eRole_Student, old, 77));

    UserRecord updated = User(3, eRole_SpeakerVoice, L"Carol");
    EXPECT_TRUE(r.list->UpdateUser(updated)); // 131 -> 2: count stays, speaker follows
    EXPECT_EQ(r.list->GetMicUserCount(), 2);
    EXPECT_EQ(r.list->GetSpeakerId(), 3u);
    r.list->ClearSpeaker(4);
    EXPECT_EQ(r.list->GetSpeakerId(), 3u);
    r.list->ClearSpeaker(3);
    EXPECT_EQ(r.list->GetSpeakerId(), 0u);
    EXPECT_FALSE(r.list->UpdateUser(User(50, eRole_Student)));

    std::vector<UserRecord> mic;
    r.list->GetMicUsers(mic);
    ASSERT_EQ(mic.size(), 2u);
    EXPECT_EQ(mic[0].userId, 1u);
    EXPECT_EQ(mic[1].userId, 3u);

    // Removal needs both ids; the given record's role decides the count.
    UserRecord wrongServer = User(3, eRole_SpeakerVoice, L"x", 9);
    EXPECT_FALSE(r.list->RemoveUser(wrongServer));
    EXPECT_TRUE(r.list->RemoveUser(User(3, eRole_SpeakerVoice)));
    EXPECT_EQ(r.list->GetMicUserCount(), 1);
    EXPECT_EQ(r.list->GetCount(), 2);

    UserRecord found;
    EXPECT_TRUE(r.list->FindUser(1, found));
    EXPECT_EQ(found.role, eRole_MicConnecting);
    EXPECT_FALSE(r.list->FindUser(3, found));
}

TEST(Roster, SearchIgnoresCaseAndAnEmptyTextLeavesTheResult)
{
    Roster r;
    ASSERT_NE(r.list, nullptr);
    r.list->AddUser(User(1, eRole_Student, L"alice smith"));
    r.list->AddUser(User(2, eRole_Student, L"Bob"));
    r.list->AddUser(User(3, eRole_Teacher, L"Malice"));
    std::vector<UserRecord> out;
    r.list->FindUsersByName(out, L"ALICE");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].userId, 3u);
    EXPECT_EQ(out[1].userId, 1u);
    r.list->FindUsersByName(out, L"");
    EXPECT_EQ(out.size(), 2u);
    r.list->FindUsersByName(out, L"nobody");
    EXPECT_TRUE(out.empty());
}

TEST(Roster, RowsPaintBadgeNameAndBorder)
{
    Roster r;
    ASSERT_NE(r.list, nullptr);
    r.list->AddUser(User(1, eRole_Teacher, L"T"));
    r.list->AddUser(User(2, eRole_Student, L"S"));
    MemoryDib dib(200, 200);
    r.host.Repaint(dib, {0, 0, 200, 200});
    auto* teacher = static_cast<CStudentListElement*>(r.list->GetItemAt(0));
    auto* student = static_cast<CStudentListElement*>(r.list->GetItemAt(1));
    RECT tr = teacher->GetPos();
    RECT sr = student->GetPos();
    EXPECT_EQ(tr.bottom - tr.top, 20);
    EXPECT_EQ(sr.top, tr.bottom);
    // Blue border strips of 2 pixels along the edges of a plain row; the badge is painted over the
    // left one.
    EXPECT_EQ(dib.At(tr.right - 1, tr.top + 10), 0x0000FFu);
    EXPECT_EQ(dib.At(tr.right - 2, tr.top + 10), 0x0000FFu);
    EXPECT_EQ(dib.At(tr.right - 3, tr.top + 10), 0xFFFFFFu);
    EXPECT_EQ(dib.At(tr.left + 50, tr.top), 0x0000FFu);
    EXPECT_EQ(dib.At(tr.left + 50, tr.bottom - 1), 0x0000FFu);
    // Badges by role, inside the border.
    EXPECT_EQ(dib.At(tr.left + 5, tr.top + 10), 0x112233u);
    EXPECT_EQ(dib.At(sr.left + 5, sr.top + 10), 0x778899u);
    EXPECT_EQ(teacher->GetNameLabel()->GetText(), L"T");
    EXPECT_EQ(teacher->GetNameLabel()->GetToolTip(), L"user-T");

    // The selected row takes the selected colour.
    r.list->SelectItem(1);
    r.host.Repaint(dib, {0, 0, 200, 200});
    EXPECT_EQ(dib.At(sr.right - 1, sr.top + 10), 0x00FF00u);
    EXPECT_EQ(dib.At(tr.right - 1, tr.top + 10), 0x0000FFu);
}

TEST(Roster, MenuOpensOnlyForATeacherOnAnotherRow)
{
    Roster r;
    ASSERT_NE(r.list, nullptr);
    CStudentListElement::SetMenuOpener(&CountingOpener);
    r.list->AddUser(User(42, eRole_Teacher, L"me"));
    r.list->AddUser(User(7, eRole_Student, L"other"));
    auto* mine = static_cast<CStudentListElement*>(r.list->GetItemAt(0));
    auto* other = static_cast<CStudentListElement*>(r.list->GetItemAt(1));

    SetLocalUser(42, eRole_Student);
    EXPECT_EQ(other->CanShowMenu(), -1);
    SetLocalUser(42, eRole_Host);
    EXPECT_EQ(other->CanShowMenu(), 0);
    EXPECT_EQ(mine->CanShowMenu(), -1);

    MemoryDib dib(200, 200);
    r.host.PaintAll(dib, {0, 0, 200, 200}); // lays the rows out
    g_menuOpened = 0;
    RECT orc = other->GetPos();
    r.host.Click(orc.left + 50, orc.top + 10);
    EXPECT_EQ(g_menuOpened, 1);
    EXPECT_EQ(other->GetMenuWindow(), g_menuWindow);
    RECT mrc = mine->GetPos();
    r.host.Click(mrc.left + 50, mrc.top + 10);
    EXPECT_EQ(g_menuOpened, 1);
    CStudentListElement::SetMenuOpener(nullptr);
    SetLocalUser(42, eRole_Teacher);
}

TEST(RowBorderAttributes, OneWidthOrFourAndColoursWithOrWithoutHash)
{
    struct Case {
        const wchar_t* value;
        int size;
        RECT rect;
    } cases[] = {
        {L"3", 3, {0, 0, 0, 0}},
        {L"1,2,3,4", 7, {1, 2, 3, 4}}, // the size stays as it was
        {L"5,6", 7, {5, 6, 0, 0}},
        {L"x,y,z,w", 7, {0, 0, 0, 0}},
        {L"", 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        RowBorder border;
        border.size = 7;
        border.rect = RECT{9, 9, 9, 9};
        ASSERT_TRUE(ApplyRowBorderAttribute(border, L"itembordersize", c.value));
        EXPECT_EQ(border.size, c.size) << c.value;
        EXPECT_TRUE(SameRect(border.rect, c.rect)) << c.value;
    }
    RowBorder border;
    EXPECT_TRUE(ApplyRowBorderAttribute(border, L"itembordercolor", L"#FF102030"));
    EXPECT_TRUE(ApplyRowBorderAttribute(border, L"itemhotbordercolor", L"FF405060"));
    EXPECT_TRUE(ApplyRowBorderAttribute(border, L"itemselectedbordercolor", L"  #80FFFFFF"));
    EXPECT_TRUE(ApplyRowBorderAttribute(border, L"itemheight", L"24"));
    EXPECT_FALSE(ApplyRowBorderAttribute(border, L"bkcolor", L"#FF000000"));
    EXPECT_EQ(border.color, 0xFF102030u);
    EXPECT_EQ(border.hotColor, 0xFF405060u);
    EXPECT_EQ(border.selectedColor, 0x80FFFFFFu);
    EXPECT_EQ(border.itemHeight, 24);
}
