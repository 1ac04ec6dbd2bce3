#include "dialogs/SettingWnd.h"

#include "core/Logger.h"
#include "core/SessionContext.h"
#include "controls/PosLayouts.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/MessageBox.h"

#include <shlobj.h>

#include <cstring>

namespace {
enum SettingsGroup : WPARAM { eGroup_Camera = 1, eGroup_Microphone = 2, eGroup_Speaker = 3, eGroup_Audio = 4 };

const wchar_t* const kPageButtons[] = {L"VideoSettingBtn", L"AudioSettingBtn", L"AudioAdoptingBtn",
                                       L"RecordSettingBtn", L"MessageSettingBtn"};

// Users who never record: students and speaking students.
bool HidesRecordingPage(uint8_t role)
{
    return role == 1 || role == 2 || (role >= 129 && role <= 133);
}

template <typename T>
T* Find(CPaintManagerUI& pm, const wchar_t* name, const wchar_t* interfaceName)
{
    CControlUI* control = pm.FindControl(name);
    return control ? static_cast<T*>(control->GetInterface(interfaceName)) : nullptr;
}

bool IsCombo(CControlUI* control)
{
    CDuiString cls = control->GetClass();
    return cls == L"ComboUI" || cls == L"ComboBoxUI";
}
} // namespace

// ---- CLocalPreviewWnd ----

LRESULT CLocalPreviewWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_ERASEBKGND) {
        RECT rc;
        ::GetClientRect(m_hWnd, &rc);
        ::FillRect(reinterpret_cast<HDC>(wParam), &rc, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        return 1;
    }
    if (uMsg == WM_PAINT) {
        // Not every invalidation asks for an erase (a closed menu or tooltip does not): until the
        // camera draws a frame, the window paints its black itself, or it shows what lay over it.
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        if (dc) ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

// ---- CSettingWnd ----

CSettingWnd::CSettingWnd(HWND mainWindow) : m_mainWindow(mainWindow) {}

CSettingWnd::~CSettingWnd()
{
    if (m_engine) Castmix_Close(&m_engine);
}

CControlUI* CSettingWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"WinContainer") == 0) return new CWinContainerUI;
    return WindowImplBase::CreateControl(pstrClass);
}

void CSettingWnd::InitWindow()
{
    SessionContext* session = SessionContext::Instance();
    m_edit = session->GetOptionSettings();
    m_opening = m_edit;
    m_engine = Castmix_Create();
    if (!m_engine) LOG_ERROR(L"Setting Window could not create its media engine handle");

    m_itemTab = Find<CTabLayoutUI>(m_PaintManager, L"ItemTab", L"TabLayout");
    m_pageNeedsFilling.assign(m_itemTab ? static_cast<size_t>(m_itemTab->GetCount()) : 0, 1);

    if (HidesRecordingPage(session->role)) {
        if (CControlUI* button = m_PaintManager.FindControl(L"RecordSettingBtn")) button->SetVisible(false);
    }
    if (m_itemTab) FillPage(m_itemTab->GetCurSel());
}

void CSettingWnd::FillPage(int page)
{
    if (page < 0 || page >= static_cast<int>(m_pageNeedsFilling.size()) || !m_pageNeedsFilling[page]) return;
    m_pageNeedsFilling[page] = 0;
    m_filling = true;
    switch (page) {
    case 0: FillVideoPage(); break;
    case 1: FillAudioPage(); break;
    case 2: FillAudioProcessingPage(); break;
    case 3: FillRecordPage(); break;
    case 4: FillMessagePage(); break;
    default: break;
    }
    m_filling = false;
}

void CSettingWnd::FillDeviceCombo(const wchar_t* comboName, int32_t storedIndex,
                                  long (WINAPI* query)(CASTMIX_HANDLE, CastmixDeviceNames),
                                  const wchar_t* nullEngineLine, const wchar_t* queryFailedLine)
{
    if (!m_engine) {
        LOG_ERROR(L"%s", nullEngineLine);
        return;
    }
    CastmixDeviceNames names;
    memset(names, 0, sizeof(names));
    long count = query(m_engine, names);
    if (count <= 0) {
        CString line;
        line.Format(queryFailedLine, count);
        LOG_ERROR(L"%s", line.GetString());
        return;
    }
    // The engine fills ten names at most; a larger answer must not read past the table.
    if (count > CASTMIX_MAX_DEVICES) count = CASTMIX_MAX_DEVICES;
    auto* combo = Find<CComboUI>(m_PaintManager, comboName, L"Combo");
    if (!combo) return;
    for (long i = 0; i < count; ++i) {
        names[i][CASTMIX_DEVICE_NAME - 1] = L'\0';
        auto* item = new CListLabelElementUI;
        item->SetText(names[i]);
        item->SetToolTip(names[i]);
        combo->Add(item);
    }
    combo->SelectItem(storedIndex);
}

void CSettingWnd::FillVideoPage()
{
    FillDeviceCombo(L"SelectVideoDeviceCmb", m_edit.cameraId, Castmix_QueryCameras,
                    L"Setting Window Refresh Camera Control, But AV Manager is Null",
                    L"Setting Window Query Camera, ret = %ld");
    if (!m_previewRunning) {
        if (CControlUI* container = m_PaintManager.FindControl(L"VedioContainer")) container->SetVisible(false);
    }
}

void CSettingWnd::FillAudioPage()
{
    FillDeviceCombo(L"SelectAudioInputCmb", m_edit.microphoneId, Castmix_QueryAudioCapDevs,
                    L"Setting Window Refresh Mic Control, But AV Manager is Null",
                    L"Setting Window Query Audio Capture Devices, ret = %ld");
    FillDeviceCombo(L"SelectAudioOutputCmb", m_edit.speakerId, Castmix_QueryAudioPlayDevs,
                    L"Setting Window Refresh Speaker, But AV Manager is Null",
                    L"Setting Window Query Audio Play Devices, ret = %ld");
}

void CSettingWnd::FillAudioProcessingPage()
{
    static const wchar_t* const kSwitches[] = {L"MicNs", L"MicAGC", L"MicAEC", L"SpeakerNs", L"SpeakerAGC"};
    for (const wchar_t* name : kSwitches) {
        bool isLevel = false;
        AudioProcessingPair* pair = AudioPairOf(name, isLevel);
        if (!pair) continue;
        CDuiString levelName = CDuiString(name) + L"Value";
        // Read both before touching the check box: its notification re-enables the combo only.
        int32_t level = pair->level;
        bool enabled = pair->enabled != 0;
        if (auto* combo = Find<CComboUI>(m_PaintManager, levelName, L"Combo")) {
            combo->SelectItem(level - 1);
            combo->SetEnabled(enabled);
        }
        if (auto* check = Find<CCheckBoxUI>(m_PaintManager, name, L"CheckBox")) check->SetCheck(enabled);
    }
}

void CSettingWnd::ShowSliderLabel(const wchar_t* labelName, int value, int textId)
{
    if (!HasLanguageTable()) return;
    CControlUI* label = m_PaintManager.FindControl(labelName);
    if (!label) return;
    CDuiString text;
    text.Format(L"%d %s", value, LangText(textId, L"").GetString());
    label->SetText(text);
}

void CSettingWnd::FillRecordPage()
{
    if (auto* combo = Find<CComboUI>(m_PaintManager, L"RecordOptionCmb", L"Combo")) combo->SelectItem(m_edit.recordOption);
    if (auto* slider = Find<CSliderUI>(m_PaintManager, L"DataRateSlider", L"Slider")) slider->SetValue(m_edit.dataRate);
    ShowSliderLabel(L"DataRateLabel", m_edit.dataRate, 25);
    if (auto* slider = Find<CSliderUI>(m_PaintManager, L"FrameRateSlider", L"Slider")) slider->SetValue(m_edit.frameRate);
    ShowSliderLabel(L"FrameRateLabel", m_edit.frameRate, 26);
    if (auto* combo = Find<CComboUI>(m_PaintManager, L"VideoSizeCmb", L"Combo")) combo->SelectItem(m_edit.videoSizeOption);
    if (CControlUI* edit = m_PaintManager.FindControl(L"RecordPathEdt")) edit->SetText(m_edit.recordFolder);
    if (CControlUI* tip = m_PaintManager.FindControl(L"TipRichEdit")) {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        CDuiString text;
        text.Format(L"%s%d\x3002", tip->GetText().GetString(), static_cast<int>(info.dwNumberOfProcessors));
        tip->SetText(text);
    }
}

void CSettingWnd::FillMessagePage()
{
    if (auto* check = Find<CCheckBoxUI>(m_PaintManager, L"NotDisplaySysMsgChb", L"CheckBox")) check->SetCheck(m_edit.tipOption != 0);
    if (auto* check = Find<CCheckBoxUI>(m_PaintManager, L"NotDisplaySpeakChb", L"CheckBox")) check->SetCheck(m_edit.contentOption != 0);
}

void CSettingWnd::StartPreview()
{
    auto* combo = Find<CComboUI>(m_PaintManager, L"SelectVideoDeviceCmb", L"Combo");
    CControlUI* container = m_PaintManager.FindControl(L"VedioContainer");
    if (!combo || combo->GetCurSel() < 0 || !container) return;
    if (!m_preview) {
        auto preview = std::make_unique<CLocalPreviewWnd>();
        if (!preview->Create(m_hWnd, L"LocalPreviewWnd", 0x56000000, 0, 0, 0, 0, 0)) {
            LOG_ERROR(L"Setting Window could not create the preview window");
            return;
        }
        m_preview = std::move(preview);
        if (auto* place = static_cast<CWinContainerUI*>(container->GetInterface(L"WinContainer")))
            place->SetEmbedWindow(m_preview->GetHWND());
    }
    container->SetVisible(true);
    m_PaintManager.NeedUpdate();
    m_previewRunning = 1;
    long result = m_engine ? Castmix_VideoPreview(m_engine, combo->GetCurSel(), m_preview->GetHWND()) : -1;
    if (result < 0) {
        container->SetVisible(false);
        m_previewRunning = 0;
    }
    // The notice follows the last camera tried: one that works after one that failed clears it.
    if (CControlUI* label = m_PaintManager.FindControl(L"LoadVedioFailedLab")) label->SetVisible(result < 0);
}

AudioProcessingPair* CSettingWnd::AudioPairOf(const CDuiString& name, bool& isLevelCombo)
{
    struct Entry { const wchar_t* name; AudioProcessingPair AudioProcessingSettings::*pair; };
    static const Entry kEntries[] = {
        {L"MicNs", &AudioProcessingSettings::nearNoiseSuppression},
        {L"MicAGC", &AudioProcessingSettings::nearGainControl},
        {L"MicAEC", &AudioProcessingSettings::nearEchoCancellation},
        {L"SpeakerNs", &AudioProcessingSettings::farNoiseSuppression},
        {L"SpeakerAGC", &AudioProcessingSettings::farGainControl},
    };
    for (const Entry& entry : kEntries) {
        CDuiString level = CDuiString(entry.name) + L"Value";
        if (name == entry.name || name == level) {
            isLevelCombo = name == level;
            return &(m_edit.audio.*entry.pair);
        }
    }
    return nullptr;
}

void CSettingWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender) return WindowImplBase::Notify(msg);
    if (msg.sType == DUI_MSGTYPE_CLICK) return OnClick(msg);
    if (msg.sType == DUI_MSGTYPE_ITEMSELECT) return OnItemSelect(msg);
    if (msg.sType == DUI_MSGTYPE_VALUECHANGED) return OnValueChanged(msg);
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) return OnSelectChanged(msg);
    if (msg.sType == DUI_MSGTYPE_TABSELECT) {
        if (msg.pSender != m_itemTab) return;
        FillPage(m_itemTab->GetCurSel());
        return;
    }
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) StartPreview();
}

void CSettingWnd::OnItemSelect(TNotifyUI& msg)
{
    if (!IsCombo(msg.pSender)) return;
    auto* combo = static_cast<CComboUI*>(msg.pSender->GetInterface(L"Combo"));
    if (!combo) return;
    CDuiString name = combo->GetName();
    int index = combo->GetCurSel();
    bool isLevel = false;
    if (name == L"RecordOptionCmb") {
        m_edit.recordOption = index;
    } else if (name == L"VideoSizeCmb") {
        m_edit.videoSizeOption = index;
    } else if (AudioProcessingPair* pair = AudioPairOf(name, isLevel)) {
        if (isLevel && index >= 0) pair->level = index + 1;
    } else if (name == L"SelectAudioInputCmb" || name == L"SelectAudioOutputCmb" || name == L"SelectVideoDeviceCmb") {
        bool camera = name == L"SelectVideoDeviceCmb";
        if (name == L"SelectAudioInputCmb") m_edit.microphoneId = index;
        else if (name == L"SelectAudioOutputCmb") m_edit.speakerId = index;
        else m_edit.cameraId = index;
        const wchar_t* labelName = camera ? L"SelectVideoDeviceLab"
                                   : name == L"SelectAudioInputCmb" ? L"SelectAudioInputLab" : L"SelectAudioOutputLab";
        if (CControlUI* label = m_PaintManager.FindControl(labelName)) label->SetText(combo->GetText());
        if (camera && !m_filling) StartPreview();
    }
}

void CSettingWnd::OnValueChanged(TNotifyUI& msg)
{
    auto* slider = static_cast<CSliderUI*>(msg.pSender->GetInterface(L"Slider"));
    if (!slider) return;
    CDuiString name = slider->GetName();
    if (name == L"DataRateSlider") {
        m_edit.dataRate = slider->GetValue();
        ShowSliderLabel(L"DataRateLabel", m_edit.dataRate, 25);
    } else if (name == L"FrameRateSlider") {
        m_edit.frameRate = slider->GetValue();
        ShowSliderLabel(L"FrameRateLabel", m_edit.frameRate, 26);
    }
}

void CSettingWnd::OnSelectChanged(TNotifyUI& msg)
{
    CDuiString cls = msg.pSender->GetClass();
    CDuiString name = msg.pSender->GetName();
    if (cls == L"CheckBoxUI") {
        bool checked = static_cast<COptionUI*>(msg.pSender)->IsSelected();
        bool isLevel = false;
        if (name == L"NotDisplaySysMsgChb") {
            m_edit.tipOption = checked ? 1 : 0;
        } else if (name == L"NotDisplaySpeakChb") {
            m_edit.contentOption = checked ? 1 : 0;
        } else if (AudioProcessingPair* pair = AudioPairOf(name, isLevel)) {
            if (isLevel) return;
            pair->enabled = checked ? 1 : 0;
            if (CControlUI* combo = m_PaintManager.FindControl(name + L"Value")) combo->SetEnabled(checked);
        }
        return;
    }
    if (cls != L"OptionUI" || !m_itemTab) return;
    auto* option = static_cast<COptionUI*>(msg.pSender);
    if (!option->IsSelected()) return;
    for (int page = 0; page < kPageCount; ++page) {
        if (name == kPageButtons[page]) {
            m_itemTab->SelectItem(page);
            return;
        }
    }
}

bool CSettingWnd::WarnWhilePropertyPageOpen(int captionId)
{
    if (!m_propertyPageOpen) return false;
    ShowMessageBox(m_hWnd, LangText(51, L""), LangText(captionId, L""), 0);
    if (auto* option = Find<COptionUI>(m_PaintManager, L"VideoSettingBtn", L"Option")) option->Selected(true);
    return true;
}

void CSettingWnd::SaveAndClose()
{
    SessionContext::Instance()->options = m_edit;
    IDBMgr* db = CSqliteMgr::GetInstance();
    if (!db || !db->SaveOptionInfo(m_edit)) LOG_ERROR(L"Setting Window could not save the options");
    if (IsWindow(m_mainWindow)) {
        if (m_edit.cameraId != m_opening.cameraId) ::PostMessageW(m_mainWindow, WM_USER_SETTINGS_CHANGED, eGroup_Camera, 0);
        if (m_edit.microphoneId != m_opening.microphoneId)
            ::PostMessageW(m_mainWindow, WM_USER_SETTINGS_CHANGED, eGroup_Microphone, 0);
        if (m_edit.speakerId != m_opening.speakerId) ::PostMessageW(m_mainWindow, WM_USER_SETTINGS_CHANGED, eGroup_Speaker, 0);
        if (!AudioProcessingSettingsEqual(m_edit.audio, m_opening.audio))
            ::PostMessageW(m_mainWindow, WM_USER_SETTINGS_CHANGED, eGroup_Audio, 0);
    }
    Close(1);
}

void CSettingWnd::ChooseRecordFolder()
{
    CString title = HasLanguageTable() ? LangText(27, L"") : CString();
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    wchar_t path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListW(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (!ok || m_edit.recordFolder.CompareNoCase(path) == 0) return;
    m_edit.recordFolder = path;
    if (CControlUI* edit = m_PaintManager.FindControl(L"RecordPathEdt")) edit->SetText(path);
}

void CSettingWnd::ShowPropertyPage()
{
    auto* combo = Find<CComboUI>(m_PaintManager, L"SelectVideoDeviceCmb", L"Combo");
    if (!combo || combo->GetCurSel() < 0 || !m_engine || m_propertyPageOpen) return;
    m_propertyPageOpen = 1;
    ::PostMessageW(m_mainWindow, WM_USER_CLOSE_CONFIRM, 0, 1);
    // Returns when the user closes the page.
    Castmix_VideoShowPropertyPage(m_engine, combo->GetCurSel(), m_hWnd);
    m_propertyPageOpen = 0;
    ::PostMessageW(m_mainWindow, WM_USER_CLOSE_CONFIRM, 0, 0);
    // The window went meanwhile (the class window was closed by force): the object waited for the page.
    // The click that opened the page is still being delivered by this object's paint manager, so the
    // object itself goes from the message loop.
    if (m_endedMeanwhile) {
        ReleaseDevices();
        DeleteFromLoop(this);
    }
}

void CSettingWnd::OnClick(TNotifyUI& msg)
{
    CDuiString name = msg.pSender->GetName();
    if (name == L"OkBtn") {
        if (!WarnWhilePropertyPageOpen(29)) SaveAndClose();
    } else if (name == L"CancelBtn") {
        if (!WarnWhilePropertyPageOpen(29)) Close(2);
    } else if (name == L"closebtn") {
        if (!WarnWhilePropertyPageOpen(39)) WindowImplBase::Notify(msg);
    } else if (name == L"RecordPathBtn") {
        ChooseRecordFolder();
    } else if (name == L"AdoptPictureBtn") {
        ShowPropertyPage();
    } else {
        WindowImplBase::Notify(msg);
    }
}

void CSettingWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    // Inside the property page the engine and this object are still in use down the stack: both go
    // when the page returns.
    if (m_propertyPageOpen) {
        m_endedMeanwhile = true;
        return;
    }
    ReleaseDevices();
    delete this;
}

void CSettingWnd::ReleaseDevices()
{
    if (m_preview && m_preview->GetHWND() && ::IsWindow(m_preview->GetHWND())) ::DestroyWindow(m_preview->GetHWND());
    m_preview.reset();
    if (m_engine) Castmix_Close(&m_engine);
}

namespace {

CSettingWnd* g_orphan = nullptr;
UINT_PTR g_orphanTimer = 0;

void CALLBACK DeleteOrphan(HWND, UINT, UINT_PTR, DWORD)
{
    ::KillTimer(nullptr, g_orphanTimer);
    g_orphanTimer = 0;
    delete g_orphan;
    g_orphan = nullptr;
}

} // namespace

void CSettingWnd::DeleteFromLoop(CSettingWnd* dialog)
{
    // One dialog at a time: an earlier orphan's stack is long gone.
    if (g_orphan) DeleteOrphan(nullptr, 0, 0, 0);
    g_orphan = dialog;
    g_orphanTimer = ::SetTimer(nullptr, 0, 0, &DeleteOrphan);
}
