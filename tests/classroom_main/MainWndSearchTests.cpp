// The roster search of the class window: the search box, its two buttons and the list pages, against
// a room with several participants.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "protocol/CmdProtocol.h"

using namespace fakeroom;

namespace {

// The own teacher, five students and a second teacher, so that matches fall on both sides.
void SeatClass(MainWndHarness& h)
{
    Bytes list = UserEntry(kOwnId, 3, 2, "Ms Ann", "ann");
    const struct {
        uint32_t id;
        uint8_t role;
        const char* nick;
    } people[] = {{21, 1, "Ben"}, {22, 1, "benedict"}, {23, 1, "Joan"}, {24, 1, "Rob"}, {25, 3, "Mr BENSON"}, {26, 1, "Alba"}};
    for (const auto& p : people) {
        Bytes entry = UserEntry(p.id, p.role, 1, p.nick, p.nick);
        list.insert(list.end(), entry.begin(), entry.end());
    }
    h.room.reg.SetReply(eType_RoomUsers, 1, list);
}

struct SearchControls {
    explicit SearchControls(MainWndHarness& h)
        : input(static_cast<CEditUI*>(h.Find(L"SearchStudentInput"))),
          searchTab(static_cast<CTabLayoutUI*>(h.Find(L"SearchStudentTab"))),
          listTab(static_cast<CTabLayoutUI*>(h.Find(L"StudentListTab"))),
          found(static_cast<CStudentList*>(h.Find(L"SearchedStudentList"))), search(h.Find(L"SearchStudentBtn")),
          stop(h.Find(L"StopSearchStudentBtn"))
    {
    }
    bool Complete() const
    {
        return input && input->GetInterface(L"Edit") && searchTab && searchTab->GetInterface(L"TabLayout") && listTab &&
               listTab->GetInterface(L"TabLayout") && found && found->GetInterface(L"LVStudentList") && search && stop;
    }
    std::vector<uint32_t> FoundIds() const
    {
        std::vector<uint32_t> ids;
        for (int i = 0; i < found->GetCount(); ++i) {
            auto* row = static_cast<CStudentListElement*>(found->GetItemAt(i)->GetInterface(L"LVStudentListElement"));
            ids.push_back(row && row->GetUser() ? row->GetUser()->userId : 0);
        }
        return ids;
    }

    CEditUI* input;
    CTabLayoutUI* searchTab;
    CTabLayoutUI* listTab;
    CStudentList* found;
    CControlUI* search;
    CControlUI* stop;
};

void Click(MainWndHarness& h, CControlUI* control)
{
    h.main->GetPaintManager()->SendNotify(control, L"click");
}

} // namespace

TEST(MainWndSearch, MatchesFillTheSearchedListWithLiveRowsAndStopRestoresTheRoster)
{
    MainWndHarness h;
    SeatClass(h);
    ASSERT_TRUE(h.StartAndJoin());
    ASSERT_TRUE(PumpUntil([&] { return h.main->GetRoster()->GetCount() == 7; }, 3000));
    SearchControls c(h);
    ASSERT_TRUE(c.Complete());
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);
    EXPECT_TRUE(h.Find(L"StudentList")->IsVisible());

    // Case is ignored; matches come in roster order, the teacher side first.
    c.input->SetText(L"BEN");
    Click(h, c.search);
    EXPECT_EQ(c.searchTab->GetCurSel(), 1);
    EXPECT_EQ(c.listTab->GetCurSel(), 1);
    EXPECT_TRUE(c.found->IsVisible());
    EXPECT_FALSE(h.Find(L"StudentList")->IsVisible());
    EXPECT_EQ(c.FoundIds(), (std::vector<uint32_t>{25, 21, 22}));
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 7); // the roster keeps its rows

    // A second search replaces the rows rather than adding to them.
    c.input->SetText(L"an");
    Click(h, c.search);
    EXPECT_EQ(c.FoundIds(), (std::vector<uint32_t>{kOwnId, 23}));
    EXPECT_EQ(c.listTab->GetCurSel(), 1);

    // A found row is a roster row: its menu's choices reach the room as from the roster.
    auto* joan = static_cast<CStudentListElement*>(c.found->GetItemAt(1));
    ASSERT_NE(joan, nullptr);
    EXPECT_STREQ(joan->GetClass(), L"CLVStudentListElement");
    h.main->GetPaintManager()->SendNotify(joan, L"ThrowOut");
    ASSERT_TRUE(h.room.reg.WaitForMessages(eType_KickOff, 1));
    EXPECT_EQ(h.room.reg.Messages(eType_KickOff)[0].header.destination, 23u);
    EXPECT_EQ(h.room.reg.Messages(eType_KickOff)[0].payload, BuildKickPayload(kRoomId));

    Click(h, c.stop);
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);
    EXPECT_EQ(c.input->GetText(), L"");
    EXPECT_EQ(c.found->GetCount(), 0);
    EXPECT_TRUE(h.Find(L"StudentList")->IsVisible());
    EXPECT_EQ(h.main->GetRoster()->GetCount(), 7);
}

TEST(MainWndSearch, NoMatchShowsTheEmptyPageAnEmptySearchChangesNothingAndEmptyingTheTextEndsTheSearch)
{
    MainWndHarness h;
    SeatClass(h);
    ASSERT_TRUE(h.StartAndJoin());
    SearchControls c(h);
    ASSERT_TRUE(c.Complete());

    Click(h, c.search);
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);

    c.input->SetText(L"zz");
    Click(h, c.search);
    EXPECT_EQ(c.searchTab->GetCurSel(), 1);
    EXPECT_EQ(c.listTab->GetCurSel(), 2);
    EXPECT_TRUE(h.Find(L"NoStudentFoundLab")->IsVisible());

    // From "no match" to matches and back: each search picks its own page.
    c.input->SetText(L"rob");
    Click(h, c.search);
    EXPECT_EQ(c.listTab->GetCurSel(), 1);
    EXPECT_EQ(c.FoundIds(), (std::vector<uint32_t>{24}));
    c.input->SetText(L"qq");
    Click(h, c.search);
    EXPECT_EQ(c.listTab->GetCurSel(), 2);

    // Stopping while nothing was found still empties everything.
    Click(h, c.stop);
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);
    EXPECT_EQ(c.input->GetText(), L"");
    EXPECT_EQ(c.found->GetCount(), 0);
    // A stop with no search running keeps the first pages.
    Click(h, c.stop);
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);

    // Typed into the native box, as the user does; each change reports "textchanged".
    c.input->SetFocus();
    HWND native = c.input->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    SetWindowTextW(native, L"ben");
    EXPECT_EQ(c.input->GetText(), L"ben");
    EXPECT_EQ(c.searchTab->GetCurSel(), 0); // typing alone does not search
    Click(h, c.search);
    EXPECT_EQ(c.listTab->GetCurSel(), 1);
    ASSERT_EQ(c.found->GetCount(), 3);

    // Text that is shortened but not empty keeps the search.
    SetWindowTextW(native, L"b");
    EXPECT_EQ(c.searchTab->GetCurSel(), 1);
    EXPECT_EQ(c.found->GetCount(), 3);

    SetWindowTextW(native, L"");
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);
    EXPECT_EQ(c.found->GetCount(), 0);
    EXPECT_EQ(c.input->GetText(), L"");

    // The stop button while the box is being edited empties the native box as well.
    SetWindowTextW(native, L"jo");
    Click(h, c.search);
    EXPECT_EQ(c.FoundIds(), (std::vector<uint32_t>{23}));
    Click(h, c.stop);
    wchar_t shown[8] = L"x";
    GetWindowTextW(native, shown, 8);
    EXPECT_STREQ(shown, L"");
    EXPECT_EQ(c.searchTab->GetCurSel(), 0);
    EXPECT_EQ(c.listTab->GetCurSel(), 0);
}
