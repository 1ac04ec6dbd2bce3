// The teacher's control panel under Xvfb: the switches post their panel actions with the border
// following the check, sources switched on and off through the panel with the held camera and
// document deselected when replaced.
#include "classroom/ControlPanelWnd.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "tests/classroom/WindowTestSupport.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>

namespace {

class ControlPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseProgramFolderSkins();
        panel = new CControlPanelWnd;
        hwnd = panel->Create(mainWnd.Handle(), L"ControlPanel", WS_POPUP | WS_VISIBLE, 0, 120, 500, 0, 0);
        ASSERT_TRUE(hwnd);
        pm = panel->GetPaintManager();
        LayOut(*pm);
    }
    void TearDown() override
    {
        if (IsWindow(hwnd)) DestroyWindow(hwnd);
        for (const auto& m : mainWnd.Received(WM_USER_PANEL_ACTION)) delete reinterpret_cast<WndMsgPayload*>(m.lParam);
    }
    // Kind and wParam of every action the main window received.
    std::vector<std::pair<int32_t, WPARAM>> Actions()
    {
        std::vector<std::pair<int32_t, WPARAM>> out;
        for (const auto& m : mainWnd.Received(WM_USER_PANEL_ACTION))
            out.emplace_back(reinterpret_cast<WndMsgPayload*>(m.lParam)->kind, m.wParam);
        return out;
    }
    void Act(WPARAM on, HWND source, int32_t kind, int32_t camera = 0)
    {
        auto* payload = new WndMsgPayload;
        if (kind == ePanel_Camera) payload->SetCamera(source, camera);
        else payload->SetDocument(source, DocPageList());
        SendMessageW(hwnd, WM_USER_PANEL_ACTION, on, reinterpret_cast<LPARAM>(payload));
    }
    COptionUI* Switch(const wchar_t* name) { return static_cast<COptionUI*>(pm->FindControl(name)); }
    TopLevelSink mainWnd;
    CControlPanelWnd* panel = nullptr;
    CPaintManagerUI* pm = nullptr;
    HWND hwnd = nullptr;
};

} // namespace

TEST_F(ControlPanel, SwitchesPostTheirActionsAndMarkTheCheck)
{
    ASSERT_TRUE(ClickControl(*pm, L"WhiteBoardCheck"));
    EXPECT_EQ(Switch(L"WhiteBoardCheck")->GetBorderColor(), 0xFF00C090u);
    ASSERT_TRUE(ClickControl(*pm, L"ScreenShareCheck"));
    ASSERT_TRUE(ClickControl(*pm, L"WhiteBoardCheck"));
    EXPECT_EQ(Switch(L"WhiteBoardCheck")->GetBorderColor(), 0u);
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_PANEL_ACTION, 3));
    const std::vector<std::pair<int32_t, WPARAM>> expected = {
        {ePanel_Whiteboard, 1}, {ePanel_ScreenShare, 1}, {ePanel_Whiteboard, 0}};
    EXPECT_EQ(Actions(), expected);
    EXPECT_EQ(reinterpret_cast<WndMsgPayload*>(mainWnd.Received(WM_USER_PANEL_ACTION)[0].lParam)->source, nullptr);

    // The main window's own changes post nothing.
    EXPECT_FALSE(panel->CheckWhiteboard());
    EXPECT_TRUE(panel->CheckWhiteboard());
    EXPECT_EQ(Switch(L"WhiteBoardCheck")->GetBorderColor(), 0xFF00C090u);
    panel->SourceOff(ePanel_ScreenShare);
    EXPECT_FALSE(Switch(L"ScreenShareCheck")->IsSelected());
    EXPECT_EQ(Switch(L"ScreenShareCheck")->GetBorderColor(), 0u);
    panel->SetScreenShare(true);
    EXPECT_TRUE(Switch(L"ScreenShareCheck")->IsSelected());
    PumpMessagesFor(30);
    EXPECT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 3u);
}

TEST_F(ControlPanel, TheCameraButtonAsksTheEngineAndSwitchesTheConfiguredCamera)
{
    SessionContext::Instance()->options.cameraId = 0;
    ASSERT_TRUE(ClickControl(*pm, L"AddCameraBtn"));
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_PANEL_ACTION, 1));
    auto* action = reinterpret_cast<WndMsgPayload*>(mainWnd.Received(WM_USER_PANEL_ACTION)[0].lParam);
    EXPECT_EQ(action->kind, ePanel_Camera);
    ASSERT_TRUE(action->Camera());
    EXPECT_EQ(*action->Camera(), 0);
    ASSERT_TRUE(panel->GetHeldCamera());
    // A second camera while one is held is ignored.
    ClickControl(*pm, L"AddCameraBtn");
    PumpMessagesFor(50);
    EXPECT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 1u);
}

TEST_F(ControlPanel, ReplacedSourcesAreDeselectedAndOnlyTheHolderSwitchesOff)
{
    MessageSink docA, docB, camera;
    Act(1, docA.Handle(), ePanel_Document);
    Act(1, docA.Handle(), ePanel_Document); // the same document again: ignored
    Act(1, docB.Handle(), ePanel_Document);
    ASSERT_TRUE(docA.WaitFor(WM_USER_UI_NOTICE, 1));
    EXPECT_EQ(docA.Received(WM_USER_UI_NOTICE)[0].wParam, 2u);
    EXPECT_EQ(panel->GetHeldDocument()->source, docB.Handle());

    Act(0, docA.Handle(), ePanel_Document); // not the holder: ignored
    Act(1, camera.Handle(), ePanel_Camera, 3);
    Act(0, camera.Handle(), ePanel_Camera, 3);
    Act(0, docB.Handle(), ePanel_Document);
    ASSERT_TRUE(mainWnd.WaitFor(WM_USER_PANEL_ACTION, 5));
    PumpMessagesFor(30);
    const std::vector<std::pair<int32_t, WPARAM>> expected = {
        {ePanel_Document, 1}, {ePanel_Document, 1}, {ePanel_Camera, 1}, {ePanel_Camera, 0}, {ePanel_Document, 0}};
    EXPECT_EQ(Actions(), expected);
    EXPECT_EQ(panel->GetHeldDocument(), nullptr);
    EXPECT_EQ(panel->GetHeldCamera(), nullptr);
    auto* forwarded = reinterpret_cast<WndMsgPayload*>(mainWnd.Received(WM_USER_PANEL_ACTION)[2].lParam);
    EXPECT_EQ(forwarded->source, camera.Handle());
    EXPECT_EQ(*forwarded->Camera(), 3);

    // A document chosen by the main window is held without a report; the previous one is deselected.
    Act(1, docA.Handle(), ePanel_Document);
    auto* chosen = new WndMsgPayload;
    chosen->SetDocument(docB.Handle(), DocPageList());
    SendMessageW(hwnd, WM_USER_UI_NOTICE, 3, reinterpret_cast<LPARAM>(chosen));
    EXPECT_EQ(panel->GetHeldDocument()->source, docB.Handle());
    ASSERT_TRUE(docA.WaitFor(WM_USER_UI_NOTICE, 2));
    panel->SourceOff(ePanel_Document);
    ASSERT_TRUE(docB.WaitFor(WM_USER_UI_NOTICE, 1));
    EXPECT_EQ(mainWnd.Count(WM_USER_PANEL_ACTION), 6u);
}
