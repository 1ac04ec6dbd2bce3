// The emotion picker from its skin and the skin's GIF folder: losing the focus, animating only under
// the cursor, the token lookups the chat windows make (choosing an image: the chat pane's tests), and
// the grid's rows freed with the picker.
#include "dialogs/EmotionWnd.h"

#include "controls/EmotionList.h"
#include "core/Folders.h"
#include "core/WindowMessages.h"
#include "dialogs/EmotionLookup.h"
#include "tests/classroom_main/AllocationWatch.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

namespace {
class EmotionWndTest : public testing::Test {
protected:
    void SetUp() override
    {
        // Owned by a shown top-level window, as the chat windows own their pickers.
        m_owner = CreateWindowExW(0, L"STATIC", L"chat", WS_POPUP | WS_VISIBLE, 500, 500, 200, 100, nullptr, nullptr,
                                  nullptr, nullptr);
        m_picker = new CEmotionWnd(m_target.Handle());
        m_window = m_picker->Create(m_owner, L"EmotionWnd", 0x96C80000, WS_EX_TOOLWINDOW, 0, 0, 0, 0);
        ASSERT_NE(nullptr, m_window);
        m_picker->ShowWindow(false, false);
    }
    void TearDown() override
    {
        if (IsWindow(m_window)) DestroyWindow(m_window);
        PumpMessages(20);
        delete m_picker; // the picker belongs to its owner, here the test
        DestroyWindow(m_owner);
    }
    void ShowAt(int x, int y)
    {
        SetWindowPos(m_window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
        m_picker->ShowWindow(true, true);
        UpdateWindow(m_window);
        PumpMessages(60);
    }
    // The middle of grid cell index, in screen coordinates.
    POINT CellCentre(int index)
    {
        CEmotionListUI* grid = m_picker->GetGrid();
        RECT rc = grid->GetPos();
        int cell = (rc.right - rc.left) / grid->GetColumns();
        POINT pt{rc.left + (index % grid->GetColumns()) * cell + cell / 2, rc.top + (index / grid->GetColumns()) * 31 + 15};
        ClientToScreen(m_window, &pt);
        return pt;
    }
    MessageSink m_target;
    HWND m_owner = nullptr;
    CEmotionWnd* m_picker = nullptr;
    HWND m_window = nullptr;
};
} // namespace

TEST_F(EmotionWndTest, TheGridHoldsTheSkinsGifsAndAnswersTokens)
{
    CEmotionListUI* grid = m_picker->GetGrid();
    ASSERT_NE(nullptr, grid);
    EXPECT_EQ(16, grid->GetImageCount());
    EXPECT_EQ(2, grid->GetRows());
    CString smile = m_picker->GetEmotionImagePath(L"\\smile").GetString();
    // The folder is the program folder, its trailing backslash, then "\skin\" and the attribute.
    EXPECT_EQ(std::wstring((GetModuleFolder() + L"skin\\emotion\\smile.gif").GetString()), std::wstring(smile.GetString()));
    EXPECT_EQ(CDuiString(), m_picker->GetEmotionImagePath(L"\\nosuch"));
    EXPECT_EQ(CDuiString(), m_picker->GetSelectedImagePath());

    // Windows that own no picker find this one by its class.
    EmotionLookup lookup = FindEmotionLookup();
    ASSERT_TRUE(static_cast<bool>(lookup));
    EXPECT_EQ(smile, lookup(L"\\smile"));

    // The rows go with the picker: its window destroyed, then the object freed by its owner.
    ForgetWatched();
    ASSERT_EQ(2, grid->GetCount());
    for (int row = 0; row < grid->GetCount(); ++row) ASSERT_TRUE(WatchRecord(grid->GetItemAt(row)));
    DestroyWindow(m_window);
    EXPECT_FALSE(static_cast<bool>(FindEmotionLookup()));
    PumpMessages(20);
    delete m_picker;
    m_picker = nullptr;
    EXPECT_EQ(0u, WatchedAlive()) << "emotion rows never freed";
    ForgetWatched();
}

TEST_F(EmotionWndTest, LosingTheFocusHidesAndTellsTheTarget)
{
    ShowAt(100, 100);
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 400, 400, 20, 20, nullptr, nullptr,
                                 nullptr, nullptr);
    SetFocus(m_window);
    PumpMessages(20);
    SetFocus(other);
    ASSERT_TRUE(m_target.WaitFor(WM_USER_UI_NOTICE, 1, 1000));
    std::vector<PostedMessage> notices = m_target.Received(WM_USER_UI_NOTICE);
    EXPECT_EQ(18u, notices[0].wParam);
    EXPECT_EQ(0, notices[0].lParam);
    EXPECT_FALSE(IsWindowVisible(m_window));
    DestroyWindow(other);
}

TEST_F(EmotionWndTest, NothingAnimatesWithTheCursorOutside)
{
    SetCursorPos(700, 500);
    ShowAt(100, 100);
    PumpMessages(200);
    CEmotionListUI* grid = m_picker->GetGrid();
    for (int i = 0; i < grid->GetImageCount(); ++i) EXPECT_EQ(0, grid->GetNextFrame(i)) << i;
    EXPECT_EQ(CDuiString(), m_picker->GetSelectedImagePath());

    // Over an image its frames advance (each frame lasts 200 ms).
    POINT cell = CellCentre(0);
    SetCursorPos(cell.x, cell.y);
    EXPECT_TRUE(PumpUntil([&] { return grid->GetNextFrame(0) != 0; }, 2000));
}
