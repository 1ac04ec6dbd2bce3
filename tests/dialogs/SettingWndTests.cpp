// The settings dialog as a user drives it: pages, device lists from the media engine, the options it
// stores in the record database and the messages the main window gets.
#include "dialogs/SettingWnd.h"

#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/fakes/castmix/CastmixDouble.h"
#include "tests/support/MessageSink.h"
#include "tests/support/Pixels.h"

#include <gtest/gtest.h>

namespace {
const int32_t kUser = 4242;

class SettingWndTest : public testing::Test {
protected:
    void SetUp() override
    {
        CastmixDouble::Instance().Reset();
        SessionContext* session = SessionContext::Instance();
        session->options = OptionSettings();
        session->role = eRole_Teacher;
        UseEnglishTexts(true);
        ASSERT_TRUE(CSqliteMgr::GetInstance()->Init(kUser));
    }
    void TearDown() override
    {
        if (m_window && IsWindow(m_window)) DestroyWindow(m_window);
        PumpMessages(20);
    }

    // Opens the dialog as the main window does and lets its first layout run.
    CSettingWnd* Open()
    {
        auto* dialog = new CSettingWnd(m_main.Handle());
        m_window = dialog->Create(nullptr, L"", 0x96C80000, 0, 0, 0, 0, 0);
        if (!m_window) return nullptr;
        dialog->ShowWindow(true, true);
        UpdateWindow(m_window);
        PumpMessages(80);
        m_dialog = dialog;
        return dialog;
    }
    CControlUI* Find(const wchar_t* name) { return m_dialog->GetPaintManager()->FindControl(name); }
    template <typename T>
    T* As(const wchar_t* name, const wchar_t* iface)
    {
        CControlUI* control = Find(name);
        return control ? static_cast<T*>(control->GetInterface(iface)) : nullptr;
    }
    bool Click(const wchar_t* name, int x = 500) { return ClickControl(m_window, Find(name), x); }
    // The options as stored in the database file, read by a manager of its own.
    bool StoredOptions(OptionSettings& stored)
    {
        CSqliteMgr reader(GetAppDataFolder());
        return reader.Init(kUser) && reader.GetOptionInfo(stored);
    }
    std::vector<WPARAM> ChangedGroups()
    {
        std::vector<WPARAM> groups;
        for (const PostedMessage& m : m_main.Received(WM_USER_SETTINGS_CHANGED)) {
            EXPECT_EQ(0, m.lParam);
            groups.push_back(m.wParam);
        }
        return groups;
    }
    bool Closed() { return PumpUntil([&] { return !IsWindow(m_window); }, 2000); }

    MessageSink m_main;
    HWND m_window = nullptr;
    CSettingWnd* m_dialog = nullptr;
};
} // namespace

TEST_F(SettingWndTest, OpensOnTheCameraPageWithThePreviewRunningOrItsNotice)
{
    ASSERT_NE(nullptr, Open());
    auto* tab = As<CTabLayoutUI>(L"ItemTab", L"TabLayout");
    ASSERT_NE(nullptr, tab);
    EXPECT_EQ(0, tab->GetCurSel());
    auto* cameras = As<CComboUI>(L"SelectVideoDeviceCmb", L"Combo");
    ASSERT_NE(nullptr, cameras);
    ASSERT_EQ(1, cameras->GetCount());
    EXPECT_EQ(CDuiString(L"Camera 0"), cameras->GetItemAt(0)->GetText());
    EXPECT_EQ(CDuiString(L"Camera 0"), cameras->GetItemAt(0)->GetToolTip());
    EXPECT_EQ(0, cameras->GetCurSel());

    CastmixDouble& engine = CastmixDouble::Instance();
    EXPECT_EQ(1u, engine.CountOf("Create"));
    EXPECT_EQ(1u, engine.CountOf("QueryCameras"));
    EXPECT_EQ(0u, engine.CountOf("QueryAudioCapDevs")); // the other pages wait until they are shown
    const CastmixCall* preview = engine.Last("VideoPreview");
    ASSERT_NE(nullptr, preview);
    EXPECT_EQ(0, preview->args[0]);
    HWND previewWindow = reinterpret_cast<HWND>(static_cast<intptr_t>(preview->args[1]));
    ASSERT_TRUE(IsWindow(previewWindow));
    EXPECT_EQ(m_window, GetParent(previewWindow));
    EXPECT_TRUE(IsWindowVisible(previewWindow));
    EXPECT_TRUE(m_dialog->IsPreviewRunning());
    EXPECT_TRUE(Find(L"VedioContainer")->IsVisible());
    EXPECT_FALSE(Find(L"LoadVedioFailedLab")->IsVisible());
    // The preview sits over its container.
    RECT container = Find(L"VedioContainer")->GetPos();
    RECT placed;
    GetWindowRect(previewWindow, &placed);
    MapWindowPoints(nullptr, m_window, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(container.left, placed.left);
    EXPECT_EQ(container.top, placed.top);
    EXPECT_EQ(container.right, placed.right);
    // Before the camera's first frame the preview is black, also where a tooltip or menu just was and
    // where another page was drawn while the preview was hidden.
    ShowAndClosePopupOver(previewWindow, true);
    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    ASSERT_FALSE(IsWindowVisible(previewWindow));
    ASSERT_TRUE(Click(L"VideoSettingBtn"));
    ASSERT_TRUE(IsWindowVisible(previewWindow));
    PumpMessages(80);
    const WindowPixels shot = CaptureClient(previewWindow);
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(CountPixels(shot, 0x000000), shot.width * shot.height) << "an old picture is still seen";

    // Closing ends the preview window and the engine handle.
    ASSERT_TRUE(Click(L"closebtn"));
    ASSERT_TRUE(Closed());
    EXPECT_FALSE(IsWindow(previewWindow));
    EXPECT_EQ(1u, engine.CountOf("Close"));
    EXPECT_EQ(0, engine.badHandleCalls);

    // A preview the engine refuses (a camera another program holds) hides the container and shows the
    // notice instead; another camera that works brings the preview back without the notice.
    engine.Reset();
    engine.cameras = 2;
    engine.results["VideoPreview"] = -2;
    ASSERT_NE(nullptr, Open());
    EXPECT_EQ(1u, engine.CountOf("VideoPreview"));
    EXPECT_FALSE(m_dialog->IsPreviewRunning());
    EXPECT_FALSE(Find(L"VedioContainer")->IsVisible());
    EXPECT_TRUE(Find(L"LoadVedioFailedLab")->IsVisible());
    engine.results["VideoPreview"] = 0;
    As<CComboUI>(L"SelectVideoDeviceCmb", L"Combo")->SelectItem(1);
    PumpMessages(30);
    EXPECT_EQ(1, engine.Last("VideoPreview")->args[0]);
    EXPECT_TRUE(m_dialog->IsPreviewRunning());
    EXPECT_TRUE(Find(L"VedioContainer")->IsVisible());
    EXPECT_FALSE(Find(L"LoadVedioFailedLab")->IsVisible());
}

TEST_F(SettingWndTest, PagesAreFilledOnceWhenFirstShown)
{
    CastmixDouble::Instance().capDevices = 3;
    CastmixDouble::Instance().playDevices = 2;
    SessionContext::Instance()->options.microphoneId = 2;
    ASSERT_NE(nullptr, Open());
    auto* tab = As<CTabLayoutUI>(L"ItemTab", L"TabLayout");
    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    EXPECT_EQ(1, tab->GetCurSel());
    auto* mics = As<CComboUI>(L"SelectAudioInputCmb", L"Combo");
    auto* speakers = As<CComboUI>(L"SelectAudioOutputCmb", L"Combo");
    ASSERT_TRUE(mics && speakers);
    EXPECT_EQ(3, mics->GetCount());
    EXPECT_EQ(2, speakers->GetCount());
    EXPECT_EQ(2, mics->GetCurSel());
    EXPECT_EQ(0, speakers->GetCurSel());
    EXPECT_EQ(CDuiString(L"Microphone 2"), Find(L"SelectAudioInputLab")->GetText());

    ASSERT_TRUE(Click(L"VideoSettingBtn"));
    EXPECT_EQ(0, tab->GetCurSel());
    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    EXPECT_EQ(1u, CastmixDouble::Instance().CountOf("QueryAudioCapDevs"));
    EXPECT_EQ(1u, CastmixDouble::Instance().CountOf("QueryAudioPlayDevs"));
    EXPECT_EQ(1u, CastmixDouble::Instance().CountOf("QueryCameras"));
    EXPECT_EQ(3, mics->GetCount()); // not listed twice

    ASSERT_TRUE(Click(L"RecordSettingBtn"));
    EXPECT_EQ(3, tab->GetCurSel());
    EXPECT_EQ(2000, As<CSliderUI>(L"DataRateSlider", L"Slider")->GetValue());
    EXPECT_EQ(20, As<CSliderUI>(L"FrameRateSlider", L"Slider")->GetValue());
    EXPECT_EQ(CDuiString(L"2000 kbps"), Find(L"DataRateLabel")->GetText());
    EXPECT_EQ(CDuiString(L"20 fps"), Find(L"FrameRateLabel")->GetText());
    EXPECT_EQ(2, As<CComboUI>(L"RecordOptionCmb", L"Combo")->GetCurSel());
    EXPECT_EQ(0, As<CComboUI>(L"VideoSizeCmb", L"Combo")->GetCurSel());
    EXPECT_EQ(CDuiString(L"C:\\LVRecord"), Find(L"RecordPathEdt")->GetText());
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    CDuiString tip;
    tip.Format(L"Recording encodes on this machine. Processors: %d\x3002", static_cast<int>(info.dwNumberOfProcessors));
    EXPECT_EQ(tip, Find(L"TipRichEdit")->GetText());

    ASSERT_TRUE(Click(L"MessageSettingBtn"));
    EXPECT_EQ(4, tab->GetCurSel());
    EXPECT_FALSE(As<CCheckBoxUI>(L"NotDisplaySysMsgChb", L"CheckBox")->GetCheck());
}

TEST_F(SettingWndTest, CancelAndCloseStoreNothingAndPostNothing)
{
    for (const wchar_t* closer : {L"CancelBtn", L"closebtn"}) {
        ASSERT_NE(nullptr, Open());
        ASSERT_TRUE(Click(L"MessageSettingBtn"));
        ASSERT_TRUE(Click(L"NotDisplaySpeakChb"));
        ASSERT_TRUE(m_dialog->GetEditSettings().contentOption);
        ASSERT_TRUE(Click(L"AudioSettingBtn"));
        As<CComboUI>(L"SelectAudioOutputCmb", L"Combo")->SelectItem(-1);
        ASSERT_TRUE(Click(closer));
        ASSERT_TRUE(Closed());
        m_main.PumpFor(50);
        EXPECT_EQ(0u, m_main.All().size());
        EXPECT_EQ(0, SessionContext::Instance()->options.contentOption);
        OptionSettings stored;
        stored.contentOption = 7;
        StoredOptions(stored);
        EXPECT_EQ(7, stored.contentOption) << "nothing was written";
    }
}

TEST_F(SettingWndTest, OkWithRecordingChangesStoresThemAndPostsNoDeviceChange)
{
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"RecordSettingBtn"));
    // A click at the right end of the slider moves it there.
    ASSERT_TRUE(Click(L"DataRateSlider", 990));
    int dataRate = As<CSliderUI>(L"DataRateSlider", L"Slider")->GetValue();
    EXPECT_GT(dataRate, 3800);
    CDuiString label;
    label.Format(L"%d kbps", dataRate);
    EXPECT_EQ(label, Find(L"DataRateLabel")->GetText());
    As<CComboUI>(L"VideoSizeCmb", L"Combo")->SelectItem(2);
    ASSERT_TRUE(Click(L"MessageSettingBtn"));
    ASSERT_TRUE(Click(L"NotDisplaySysMsgChb"));

    ASSERT_TRUE(Click(L"OkBtn"));
    ASSERT_TRUE(Closed());
    m_main.PumpFor(50);
    EXPECT_TRUE(ChangedGroups().empty());
    OptionSettings& session = SessionContext::Instance()->options;
    EXPECT_EQ(dataRate, session.dataRate);
    EXPECT_EQ(2, session.videoSizeOption);
    EXPECT_EQ(1, session.tipOption);
    OptionSettings stored;
    ASSERT_TRUE(StoredOptions(stored));
    EXPECT_EQ(dataRate, stored.dataRate);
    EXPECT_EQ(20, stored.frameRate);
    EXPECT_EQ(2, stored.videoSizeOption);
    EXPECT_EQ(2, stored.recordOption);
    EXPECT_EQ(1, stored.tipOption);
    EXPECT_EQ(0, stored.contentOption);
    EXPECT_EQ(CString(L"C:\\LVRecord"), stored.recordFolder);
}

TEST_F(SettingWndTest, OkPostsOneMessagePerChangedDeviceGroupInOrder)
{
    CastmixDouble::Instance().capDevices = 2;
    CastmixDouble::Instance().playDevices = 3;
    // A stored camera the machine no longer has: the list falls back to its last camera, which is a
    // change of camera for the main window.
    SessionContext::Instance()->options.cameraId = 3;
    ASSERT_NE(nullptr, Open());
    auto* cameras = As<CComboUI>(L"SelectVideoDeviceCmb", L"Combo");
    EXPECT_EQ(0, cameras->GetCurSel());
    EXPECT_EQ(CDuiString(L"Camera 0"), Find(L"SelectVideoDeviceLab")->GetText());
    EXPECT_EQ(1u, CastmixDouble::Instance().CountOf("VideoPreview"));
    EXPECT_EQ(0, CastmixDouble::Instance().Last("VideoPreview")->args[0]);
    EXPECT_TRUE(Find(L"VedioContainer")->IsVisible());

    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    As<CComboUI>(L"SelectAudioOutputCmb", L"Combo")->SelectItem(2);
    EXPECT_EQ(CDuiString(L"Speaker 2"), Find(L"SelectAudioOutputLab")->GetText());

    ASSERT_TRUE(Click(L"AudioAdoptingBtn"));
    auto* ns = As<CCheckBoxUI>(L"MicNs", L"CheckBox");
    auto* nsLevel = As<CComboUI>(L"MicNsValue", L"Combo");
    auto* agc = As<CCheckBoxUI>(L"MicAGC", L"CheckBox");
    auto* agcLevel = As<CComboUI>(L"MicAGCValue", L"Combo");
    ASSERT_TRUE(ns && nsLevel && agc && agcLevel);
    // The defaults: near noise suppression on at level 2, near gain control off at level 2.
    EXPECT_TRUE(ns->GetCheck());
    EXPECT_TRUE(nsLevel->IsEnabled());
    EXPECT_EQ(1, nsLevel->GetCurSel());
    EXPECT_FALSE(agc->GetCheck());
    EXPECT_FALSE(agcLevel->IsEnabled());
    EXPECT_EQ(2, As<CComboUI>(L"MicAECValue", L"Combo")->GetCurSel());
    ASSERT_TRUE(ClickControl(m_window, ns, 30));
    EXPECT_FALSE(ns->GetCheck());
    EXPECT_FALSE(nsLevel->IsEnabled());
    ASSERT_TRUE(ClickControl(m_window, agc, 30));
    EXPECT_TRUE(agcLevel->IsEnabled());
    agcLevel->SelectItem(0);

    ASSERT_TRUE(Click(L"OkBtn"));
    ASSERT_TRUE(Closed());
    ASSERT_TRUE(m_main.WaitFor(WM_USER_SETTINGS_CHANGED, 3, 1000));
    m_main.PumpFor(50);
    EXPECT_EQ((std::vector<WPARAM>{1, 3, 4}), ChangedGroups());
    OptionSettings stored;
    ASSERT_TRUE(StoredOptions(stored));
    EXPECT_EQ(0, stored.cameraId);
    EXPECT_EQ(0, stored.microphoneId);
    EXPECT_EQ(2, stored.speakerId);
    EXPECT_EQ(0u, stored.audio.nearNoiseSuppression.enabled);
    EXPECT_EQ(2, stored.audio.nearNoiseSuppression.level) << "switching off keeps the level";
    EXPECT_EQ(1u, stored.audio.nearGainControl.enabled);
    EXPECT_EQ(1, stored.audio.nearGainControl.level) << "item 0 is level 1";
    EXPECT_EQ(3, stored.audio.nearEchoCancellation.level);
}

TEST_F(SettingWndTest, StudentsDoNotReachTheRecordingPage)
{
    for (uint8_t role : {uint8_t(1), uint8_t(2), uint8_t(129), uint8_t(133)}) {
        SessionContext::Instance()->role = role;
        ASSERT_NE(nullptr, Open());
        EXPECT_FALSE(Find(L"RecordSettingBtn")->IsVisible()) << int(role);
        DestroyWindow(m_window);
        PumpMessages(20);
    }
    SessionContext::Instance()->role = eRole_Assistant;
    ASSERT_NE(nullptr, Open());
    EXPECT_TRUE(Find(L"RecordSettingBtn")->IsVisible());
}

TEST_F(SettingWndTest, EngineFailuresLeaveListsEmptyAndAreLogged)
{
    CastmixDouble::Instance().createFails = true;
    size_t mark = LogMark();
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    EXPECT_EQ(0, As<CComboUI>(L"SelectVideoDeviceCmb", L"Combo")->GetCount());
    EXPECT_EQ(0, As<CComboUI>(L"SelectAudioInputCmb", L"Combo")->GetCount());
    EXPECT_NE("", LogSince(mark, "Error : Setting Window Refresh Camera Control, But AV Manager is Null"));
    EXPECT_NE("", LogSince(mark, "Error : Setting Window Refresh Mic Control, But AV Manager is Null"));
    EXPECT_NE("", LogSince(mark, "Error : Setting Window Refresh Speaker, But AV Manager is Null"));
    EXPECT_EQ(0u, CastmixDouble::Instance().CountOf("VideoPreview"));
    // OK still stores the options.
    ASSERT_TRUE(Click(L"OkBtn"));
    ASSERT_TRUE(Closed());
    OptionSettings stored;
    EXPECT_TRUE(StoredOptions(stored));
    EXPECT_EQ(0u, CastmixDouble::Instance().CountOf("Close"));

    CastmixDouble::Instance().Reset();
    CastmixDouble::Instance().capDevices = 0;
    CastmixDouble::Instance().playDevices = -3;
    mark = LogMark();
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"AudioSettingBtn"));
    EXPECT_EQ(0, As<CComboUI>(L"SelectAudioInputCmb", L"Combo")->GetCount());
    EXPECT_EQ(0, As<CComboUI>(L"SelectAudioOutputCmb", L"Combo")->GetCount());
    EXPECT_EQ("Error : Setting Window Query Audio Capture Devices, ret = 0",
              LogSince(mark, "Error : Setting Window Query Audio Capture"));
    EXPECT_EQ("Error : Setting Window Query Audio Play Devices, ret = -3",
              LogSince(mark, "Error : Setting Window Query Audio Play"));
}

TEST_F(SettingWndTest, WithoutALanguageTableTheSliderLabelsKeepTheSkinText)
{
    UseEnglishTexts(false);
    ASSERT_NE(nullptr, Open());
    ASSERT_TRUE(Click(L"RecordSettingBtn"));
    EXPECT_EQ(CDuiString(L"kbps"), Find(L"DataRateLabel")->GetText());
    EXPECT_EQ(CDuiString(L"fps"), Find(L"FrameRateLabel")->GetText());
    ASSERT_TRUE(Click(L"FrameRateSlider", 0));
    EXPECT_EQ(5, m_dialog->GetEditSettings().frameRate);
    EXPECT_EQ(CDuiString(L"fps"), Find(L"FrameRateLabel")->GetText());
}

TEST_F(SettingWndTest, ThePropertyPageIsBracketedByCloseConfirmationsAndMeanwhileOkCancelAndCloseOnlyWarn)
{
    ASSERT_NE(nullptr, Open());
    auto* tab = As<CTabLayoutUI>(L"ItemTab", L"TabLayout");
    ASSERT_NE(nullptr, tab);
    ASSERT_TRUE(Click(L"MessageSettingBtn"));
    ASSERT_TRUE(Click(L"NotDisplaySpeakChb"));
    ASSERT_TRUE(Click(L"VideoSettingBtn"));

    struct Attempt {
        const wchar_t* button;
        const wchar_t* caption;
        bool pageOpen = false;
        MessageBoxAnswer seen;
        int pageAfter = -1;
    };
    Attempt attempts[] = {{L"OkBtn", L"Error"}, {L"CancelBtn", L"Error"}, {L"closebtn", L"Prompt"}};
    // The user clicks while the engine's page is open, from another page of the dialog.
    CastmixDouble::Instance().whilePropertyPageOpen = [&] {
        for (Attempt& a : attempts) {
            a.pageOpen = m_dialog->IsPropertyPageOpen();
            Click(L"AudioSettingBtn");
            AnswerNextMessageBox({L"OkBtn1_1", L"OkBtn1_1D"}, &a.seen);
            Click(a.button);
            a.pageAfter = tab->GetCurSel();
        }
    };
    ASSERT_TRUE(Click(L"AdoptPictureBtn"));
    ASSERT_EQ(1u, CastmixDouble::Instance().CountOf("VideoShowPropertyPage"));
    EXPECT_EQ(0, CastmixDouble::Instance().Last("VideoShowPropertyPage")->args[0]);
    EXPECT_FALSE(m_dialog->IsPropertyPageOpen());
    // The main window is told not to close while the page is open, and then that it may again.
    ASSERT_TRUE(m_main.WaitFor(WM_USER_CLOSE_CONFIRM, 2, 1000));
    std::vector<PostedMessage> confirms = m_main.Received(WM_USER_CLOSE_CONFIRM);
    ASSERT_EQ(2u, confirms.size());
    EXPECT_EQ(0u, confirms[0].wParam);
    EXPECT_EQ(1, confirms[0].lParam);
    EXPECT_EQ(0, confirms[1].lParam);
    for (const Attempt& a : attempts) {
        EXPECT_TRUE(a.pageOpen) << a.button;
        ASSERT_TRUE(a.seen.answered) << a.button;
        EXPECT_EQ(L"Please check the settings.", a.seen.text) << a.button;
        EXPECT_EQ(a.caption, a.seen.caption) << a.button;
        EXPECT_EQ(0, a.pageAfter) << a.button << ": back on the camera page";
    }
    EXPECT_TRUE(IsWindow(m_window));
    EXPECT_EQ(0, SessionContext::Instance()->options.contentOption) << "nothing was stored";
    m_main.PumpFor(50);
    EXPECT_TRUE(ChangedGroups().empty());

    // Without a camera there is no page to open; with the page closed, OK stores and closes as always.
    CastmixDouble::Instance().whilePropertyPageOpen = nullptr;
    As<CComboUI>(L"SelectVideoDeviceCmb", L"Combo")->SelectItem(-1);
    ASSERT_TRUE(Click(L"AdoptPictureBtn"));
    EXPECT_EQ(1u, CastmixDouble::Instance().CountOf("VideoShowPropertyPage"));
    ASSERT_TRUE(Click(L"OkBtn"));
    ASSERT_TRUE(Closed());
    EXPECT_EQ(1, SessionContext::Instance()->options.contentOption);
}
