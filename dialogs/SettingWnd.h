// The settings dialog: devices, audio processing, recording and chat-message options. It edits a copy
// of the user's options; only OK stores them and tells the main window which device groups changed.
#pragma once
#include "core/Records.h"
// Before the engine header: it defines the engine message number as a macro of the same name.
#include "core/WindowMessages.h"
#include "platform/castmix/Castmix.h"
#include "platform/ui/UIlib.h"

#include <cstdint>
#include <memory>
#include <vector>

// The black child window the camera preview is drawn into.
class CLocalPreviewWnd : public CWindowWnd {
public:
    LPCTSTR GetWindowClassName() const override { return L"LVLocalPreviewWnd"; }

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
};

class CSettingWnd : public WindowImplBase {
public:
    // The main window receives the change and close-confirmation messages.
    explicit CSettingWnd(HWND mainWindow);
    ~CSettingWnd() override;

    LPCTSTR GetWindowClassName() const override { return L"__LVSettingWnd__"; }
    CDuiString GetSkinFile() override { return L"SettingWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    const OptionSettings& GetEditSettings() const { return m_edit; }
    bool IsPreviewRunning() const { return m_previewRunning != 0; }
    bool IsPropertyPageOpen() const { return m_propertyPageOpen != 0; }

private:
    enum { kPageCount = 5 };

    void FillPage(int page);
    void FillVideoPage();
    void FillAudioPage();
    void FillAudioProcessingPage();
    void FillRecordPage();
    void FillMessagePage();
    // Lists one kind of device into its combo and selects the stored index.
    void FillDeviceCombo(const wchar_t* comboName, int32_t storedIndex, long (WINAPI* query)(CASTMIX_HANDLE, CastmixDeviceNames),
                         const wchar_t* nullEngineLine, const wchar_t* queryFailedLine);
    void ShowSliderLabel(const wchar_t* labelName, int value, int textId);
    void StartPreview();

    void OnClick(TNotifyUI& msg);
    void OnItemSelect(TNotifyUI& msg);
    void OnValueChanged(TNotifyUI& msg);
    void OnSelectChanged(TNotifyUI& msg);
    // Answers true when the property page is open: the user is warned and sent to the camera page.
    bool WarnWhilePropertyPageOpen(int captionId);
    void SaveAndClose();
    void ChooseRecordFolder();
    void ShowPropertyPage();
    // Closes the preview window and the engine handle.
    void ReleaseDevices();
    // Deletes a dialog whose window is gone at the next turn of the message loop.
    static void DeleteFromLoop(CSettingWnd* dialog);

    // The switch and its level behind the check box or level combo of a name; null for other names.
    AudioProcessingPair* AudioPairOf(const CDuiString& name, bool& isLevelCombo);

    HWND m_mainWindow;
    CTabLayoutUI* m_itemTab = nullptr;
    CASTMIX_HANDLE m_engine = nullptr;
    OptionSettings m_edit;
    OptionSettings m_opening;
    std::unique_ptr<CLocalPreviewWnd> m_preview;
    uint8_t m_propertyPageOpen = 0;
    uint8_t m_previewRunning = 0;
    bool m_endedMeanwhile = false; // the window was destroyed while the property page was open
    // Set while a page is filled: the selections made then start no preview ("windowinit" does).
    bool m_filling = false;
    std::vector<uint8_t> m_pageNeedsFilling;
};
