// The control panel's thumbnails on their own: the room's documents get document windows with their
// pages or the download under way, the live one selected and held, a document already shown is not
// added twice, covers stay hidden with a hidden panel, and a closed thumbnail leaves the strip.
#include "classroom/ControlPanelWnd.h"
#include "classroom/CoverWnd.h"
#include "controls/PosLayouts.h"
#include "core/WindowMessages.h"
#include "classroom/DocWnd.h"
#include "tests/classroom/PanelThumbnails.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/fakes/powerpoint/SlideImage.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

namespace {

class PanelDocuments : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        panel = new CControlPanelWnd;
        hwnd = panel->Create(mainWnd.Handle(), L"ControlPanel", WS_POPUP, 0, 120, 500, 0, 0);
        ASSERT_TRUE(hwnd);
        LayOut(*panel->GetPaintManager());
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        for (const auto& m : mainWnd.Received(WM_USER_PANEL_ACTION)) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    }
    std::vector<CDocWnd*> Thumbnails() { return PanelThumbnails(panel); }
    FileItemRecord Document(uint64_t id, int pages)
    {
        FileItemRecord file;
        file.fileId = id;
        file.name.Format(L"Doc%I64u.lvl", id);
        file.flag = pages > 0;
        file.pages.pageCount = static_cast<uint16_t>(pages);
        file.pages.currentPage = pages > 0 ? 1 : 0;
        for (int page = 1; page <= pages; ++page) {
            CString path;
            path.Format(L"%s%I64u_%d.jpg", folder.Path().GetString(), id, page);
            DrawSlideJpeg(path, page, 160, 120);
            file.pages.values.push_back(path);
        }
        return file;
    }
    TopLevelSink mainWnd;
    TempFolder folder{L"thumbs"};
    CControlPanelWnd* panel = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(PanelDocuments, TheRoomsDocumentsGetThumbnailsAndTheLiveOneIsHeld)
{
    // Hidden, as the main window creates it: the thumbnails' covers stay hidden too.
    panel->AddDocuments({Document(5, 2), Document(6, 0)}, 5);
    std::vector<CDocWnd*> thumbs = Thumbnails();
    ASSERT_EQ(thumbs.size(), 2u);
    EXPECT_EQ(panel->GetDocumentCount(), 2u);
    CDocWnd* shown = thumbs[0];
    CDocWnd* coming = thumbs[1];
    EXPECT_EQ(shown->GetDocId(), 5u);
    EXPECT_EQ(shown->GetPageList().pageCount, 2);
    EXPECT_EQ(shown->GetDisplayState(), eDocState_Shown);
    EXPECT_EQ(GetParent(shown->GetHWND()), hwnd);
    EXPECT_TRUE(shown->GetCover()->GetFlags() & eCover_Selected);
    EXPECT_FALSE(IsWindowVisible(shown->GetCoverWindow()));
    // The thumbnails sit before the panel's buttons, each sized as its window.
    auto* strip = static_cast<CContainerUI*>(panel->GetPaintManager()->FindControl(L"ControlPanel"));
    ASSERT_EQ(strip->GetCount(), 3);
    auto* first = static_cast<CWinContainerUI*>(strip->GetItemAt(0)->GetInterface(L"WinContainer"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetEmbedWindow(), shown->GetHWND());
    RECT own{};
    GetWindowRect(shown->GetHWND(), &own);
    EXPECT_EQ(first->GetFixedWidth(), own.right - own.left);
    EXPECT_EQ(first->GetFixedHeight(), own.bottom - own.top);
    EXPECT_FALSE(strip->GetItemAt(2)->GetInterface(L"WinContainer"));
    // The selection comes back to the panel, which holds it without telling the main window.
    ASSERT_TRUE(PumpUntil([&] { return panel->GetHeldDocument() != nullptr; }, 3000));
    EXPECT_EQ(panel->GetHeldDocument()->source, shown->GetHWND());
    ASSERT_TRUE(PumpUntil([&] { return coming->GetDocId() == 6u; }, 3000));
    EXPECT_EQ(coming->GetDisplayState(), eDocState_Downloading);
    EXPECT_FALSE(coming->GetCover()->GetFlags() & eCover_Selected);

    panel->ShowPanel(true);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindowVisible(shown->GetCoverWindow()));
    panel->ShowPanel(false);
    EXPECT_FALSE(IsWindowVisible(shown->GetCoverWindow()));
    panel->ShowPanel(true);
    panel->SelectDocument(7); // not in the strip: nothing changes
    EXPECT_EQ(panel->GetHeldDocument()->source, shown->GetHWND());

    // Shown already: no second thumbnail, only the selection when it is live.
    panel->AddDocuments({Document(6, 3)}, 0);
    EXPECT_EQ(Thumbnails().size(), 2u);
    EXPECT_EQ(coming->GetPageList().pageCount, 0);

    // The pages of the downloaded one, selected on request: the other one is let go.
    panel->UpdateDocumentPages(6, Document(6, 3).pages, true);
    EXPECT_EQ(coming->GetPageList().pageCount, 3);
    EXPECT_EQ(coming->GetDisplayState(), eDocState_Shown);
    ASSERT_TRUE(PumpUntil([&] { return panel->GetHeldDocument()->source == coming->GetHWND(); }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return !(shown->GetCover()->GetFlags() & eCover_Selected); }, 3000));
    PumpMessagesFor(50);
    EXPECT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 0u);
}

TEST_F(PanelDocuments, AThumbnailClosedByItsCloseBoxLeavesTheStripAndTheList)
{
    panel->AddDocuments({Document(5, 2), Document(6, 1), Document(7, 1)}, 5);
    panel->ShowPanel(true);
    std::vector<CDocWnd*> thumbs = Thumbnails();
    ASSERT_EQ(thumbs.size(), 3u);
    ASSERT_TRUE(PumpUntil([&] { return panel->GetHeldDocument() != nullptr; }, 3000));
    HWND live = thumbs[0]->GetHWND();
    HWND second = thumbs[1]->GetHWND();
    HWND third = thumbs[2]->GetHWND();
    RECT box{};
    GetClientRect(thumbs[1]->GetCoverWindow(), &box);

    // The close box of one that is not on air: only that thumbnail goes, its window with it.
    ClickClient(thumbs[1]->GetCoverWindow(), box.right - 11, 10);
    ASSERT_TRUE(PumpUntil([&] { return panel->GetDocumentCount() == 2u; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(second); }, 3000));
    thumbs = Thumbnails();
    ASSERT_EQ(thumbs.size(), 2u);
    EXPECT_EQ(thumbs[0]->GetHWND(), live);
    EXPECT_EQ(thumbs[1]->GetHWND(), third);
    EXPECT_EQ(panel->GetHeldDocument()->source, live);
    PumpMessagesFor(50);
    EXPECT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 0u);

    // The live one: the main window is told it is off the air first, then it leaves the strip.
    ClickClient(thumbs[0]->GetCoverWindow(), box.right - 11, 10);
    ASSERT_TRUE(PumpUntil([&] { return panel->GetDocumentCount() == 1u; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(live); }, 3000));
    ASSERT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 1u);
    const auto off = mainWnd.Received(WM_USER_PANEL_ACTION);
    EXPECT_EQ(off[0].wParam, 0u);
    EXPECT_EQ(reinterpret_cast<WndMsgPayload*>(off[0].lParam)->source, live);
    EXPECT_EQ(panel->GetHeldDocument(), nullptr);
    thumbs = Thumbnails();
    ASSERT_EQ(thumbs.size(), 1u);
    EXPECT_EQ(thumbs[0]->GetHWND(), third);
    EXPECT_TRUE(IsWindow(third));
}
