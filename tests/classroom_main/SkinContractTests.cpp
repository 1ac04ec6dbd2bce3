// Every shipped skin, built through the UI layer with its own window's builder callback, holds each
// control its window looks up by name, with the class the window expects, and every image cell it names;
// every language text the client shows is in the shipped English file.
#include "classroom/ControlPanelWnd.h"
#include "classroom/FloatingBars.h"
#include "classroom/MainWnd.h"
#include "classroom/MicSeqWnd.h"
#include "classroom/PopupMenus.h"
#include "classroom/ShareScreenWnd.h"
#include "classroom/WhiteboardWnd.h"
#include "controls/StudentList.h"
#include "core/LanguageTable.h"
#include "dialogs/AboutWnd.h"
#include "dialogs/ChatRecordWnd.h"
#include "dialogs/ChatWnd.h"
#include "dialogs/EmotionWnd.h"
#include "dialogs/LoginWnd.h"
#include "dialogs/MessageBox.h"
#include "dialogs/SettingWnd.h"
#include "platform/ui/UIRender.h"
#include "classroom/DocWnd.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

// A control the window finds by name, and its class name (or, for a control that answers its base's
// class, the interface it is asked for).
struct Named {
    const wchar_t* name;
    const wchar_t* cls;
};

struct SkinContract {
    const wchar_t* file;
    std::function<WindowImplBase*()> window; // its builder callback makes the skin's own tags
    std::vector<Named> controls;
};

const std::vector<SkinContract>& Contracts()
{
    static const std::vector<SkinContract> table = {
        {L"MainWnd.xml", [] { return new CMainWnd; },
         {{L"ClassNameLabel", L"LabelUI"}, {L"TeacherName", L"LabelUI"}, {L"TimeLabel", L"LabelUI"},
          {L"TimeCountDownLabel", L"LabelUI"}, {L"SwitchNetworkBtn", L"ButtonUI"}, {L"OptionBtn", L"ButtonUI"},
          {L"minbtn", L"ButtonUI"}, {L"maxbtn", L"ButtonUI"}, {L"restorebtn", L"ButtonUI"}, {L"closebtn", L"ButtonUI"},
          {L"LeftPart", L"VerticalLayoutUI"}, {L"TeacherInfo", L"LabelUI"}, {L"StudentCountLab", L"LabelUI"},
          {L"SearchStudentInput", L"EditUI"}, {L"SearchStudentTab", L"TabLayoutUI"}, {L"SearchStudentBtn", L"ButtonUI"},
          {L"StopSearchStudentBtn", L"ButtonUI"}, {L"StudentListTab", L"TabLayoutUI"}, {L"StudentList", L"CLVStudentList"},
          {L"SearchedStudentList", L"CLVStudentList"}, {L"SpeakerArea1", L"TabLayoutUI"},
          {L"StartVideoSpeak", L"OneClickBtnUI"}, {L"VoiceSpeak", L"OneClickBtnUI"},
          {L"VideoSpeak", L"OneClickBtnUI"}, {L"CancelSpeak", L"ButtonUI"}, {L"MicNumLabel", L"LabelUI"},
          {L"MicAllowTip", L"LabelUI"}, {L"TeacherModel", L"PosHorLayoutUI"}, {L"EndSpeak", L"ButtonUI"}, {L"VideoSpeakContainer1", L"WinContainerUI"},
          {L"BulletinLabel", L"MidEllipsisLabelUI"}, {L"Switch_T_S_MicPart", L"TabLayoutUI"},
          {L"ModelChoose", L"ComboUI"}, {L"ApplyMicBtn", L"ButtonUI"}, {L"AllowDiscuss", L"CheckBoxUI"},
          {L"StuQuestionBtn", L"ButtonUI"}, {L"LeftCtrlBtn", L"ButtonUI"}, {L"CenterArea", L"PosVerLayoutUI"},
          {L"LiveArea", L"PosVerLayoutUI"}, {L"MainScreenCtner", L"WinContainerUI"},
          {L"ClassOverLayout", L"VerticalLayoutUI"}, {L"ClassBeginBtn", L"ButtonUI"}, {L"ClassOverBtn", L"ButtonUI"},
          {L"RecordCheck", L"RecordCheckUI"}, {L"MicCheck", L"CheckBoxUI"}, {L"MicActSlider", L"ActSliderUI"},
          {L"SoundCheck", L"CheckBoxUI"}, {L"SoundActSlider", L"ActSliderUI"}, {L"RightCtrlBtn", L"ButtonUI"},
          {L"RightPart", L"VerticalLayoutUI"}, {L"ViceScreenArea", L"VerticalLayoutUI"},
          {L"ViceScreenCtner", L"WinContainerUI"}, {L"OutputEdit", L"RichEditUI"}, {L"FontSetArea", L"VerticalLayoutUI"},
          {L"FontType", L"ComboUI"}, {L"FontSize", L"ComboUI"}, {L"FontColor", L"LVListupComboUI"},
          {L"BoldCheck", L"CheckBoxUI"}, {L"ItaliCheck", L"CheckBoxUI"}, {L"UnderLineCheck", L"CheckBoxUI"},
          {L"FaceCheck", L"CheckBoxUI"}, {L"FontCheck", L"CheckBoxUI"}, {L"InputEdit", L"RichEditUI"},
          {L"SendTextBtn", L"ButtonUI"},
          {L"MicListBtn", L"TipFlashBtnUI"}}},
        {L"ControlPanelWnd.xml", [] { return new CControlPanelWnd; },
         {{L"ControlPanel", L"ScrollHorLayoutUI"}, {L"AddCameraBtn", L"ButtonUI"}, {L"OpenFileBtn", L"ButtonUI"},
          {L"WhiteBoardCheck", L"CheckBoxUI"}, {L"ScreenShareCheck", L"CheckBoxUI"}}},
        {L"PenToolWnd.xml", [] { return new CPenToolWnd; },
         {{L"LockCheck", L"CheckBoxUI"}, {L"ColorCombo", L"LVListupComboUI"}, {L"PenSizeCombo", L"LVListupComboUI"},
          {L"TextCheck", L"CheckBoxUI"}, {L"EraserCheck", L"CheckBoxUI"}, {L"ClearAllBtn", L"ButtonUI"}}},
        {L"CpBtnWnd.xml", [] { return new CCpBtnWnd; }, {{L"ControlPanelBtn", L"ButtonUI"}}},
        {L"WhiteboardWnd.xml", [] { return new CWhiteboardWnd; },
         {{L"SwitchWhiteboardTabs", L"TabLayoutUI"}, {L"TabArea", L"HorizontalLayoutUI"}, {L"AddTabBtn", L"ButtonUI"},
          {L"Wb1", L"PaintControlUI"}, {L"Wb4", L"PaintControlUI"}, {L"Tab1", L"OptionUI"}, {L"Tab4", L"OptionUI"}}},
        {L"OptionMenu.xml", [] { return new COptionMenu; },
         {{L"SettingBtn", L"ButtonUI"}, {L"ChatRecordBtn", L"ButtonUI"}, {L"AboutBtn", L"ButtonUI"}, {L"QuitBtn", L"ButtonUI"}}},
        {L"StudentListMenu.xml", [] { return new CStudentListMenu(nullptr, 0); },
         {{L"MenuPages", L"TabLayoutUI"}, {L"SetAssistantBtn", L"ButtonUI"}, {L"ForbidSpeakingBtn", L"ButtonUI"},
          {L"ChangeTeacherBtn", L"ButtonUI"}, {L"ThrowOutBtn", L"ButtonUI"}, {L"AllowSpeakingBtn", L"ButtonUI"},
          {L"UnsetAssistantBtn", L"ButtonUI"}}},
        {L"MicSeqWnd.xml", [] { return new CMicSeqWnd; },
         {{L"mainui", L"TabLayoutUI"}, {L"MicSeqList00", L"MicListUI"}, {L"MicSeqList01", L"MicListUI"},
          {L"MicSeqList02", L"MicListUI"}}},
        {L"ShareScreenWnd.xml", [] { return new CShareScreenWnd; },
         {{L"OnAirTimeLabel", L"LabelUI"}, {L"SizeLabel", L"LabelUI"}, {L"closebtn", L"ButtonUI"}}},
        {L"ChatWnd.xml", [] { return new CChatWnd; },
         {{L"OutputEdit", L"ChatRichEditUI"}, {L"InputEdit", L"ChatRichEditUI"}, {L"FontSetArea", L"HorizontalLayoutUI"},
          {L"FontType", L"ComboUI"}, {L"FontSize", L"ComboUI"}, {L"FontColor", L"LVListupComboUI"},
          {L"BoldCheck", L"CheckBoxUI"}, {L"ItaliCheck", L"CheckBoxUI"}, {L"UnderLineCheck", L"CheckBoxUI"},
          {L"FaceCheck", L"CheckBoxUI"}, {L"FontCheck", L"CheckBoxUI"}, {L"SendTextBtn", L"ButtonUI"}}},
        {L"ChatRecordWnd.xml", [] { return new CChatRecordWnd; },
         {{L"closebtn", L"ButtonUI"}, {L"CurClassOpt", L"OptionUI"}, {L"HisClassOpt", L"OptionUI"},
          {L"MainAreaTab", L"TabLayoutUI"}, {L"CurClassNameLab", L"LabelUI"}, {L"CurClassDateLab", L"LabelUI"},
          {L"CurRecordDisplayREdt", L"ChatRichEditUI"}, {L"CurRecordPgCtrl", L"ContainerUI"},
          {L"SearchClassInput", L"HintEditUI"}, {L"SearchClassBtn", L"ButtonUI"}, {L"StopSearchClassBtn", L"ButtonUI"},
          {L"SearchClassTab", L"TabLayoutUI"}, {L"ClassListTab", L"TabLayoutUI"}, {L"ClassNameLst", L"ListExUI"},
          {L"SearchedClassListTab", L"TabLayoutUI"}, {L"SearchedClassNameLst", L"ListExUI"},
          {L"SelClassHeaderTab", L"TabLayoutUI"}, {L"SelClassNameLab", L"LabelUI"}, {L"SelClassDateLab", L"LabelUI"},
          {L"SearchedSelClassNameLab", L"LabelUI"}, {L"SearchedSelClassDateLab", L"LabelUI"},
          {L"DelRecordBtn", L"ButtonUI"}, {L"HisCenterAreaTab", L"TabLayoutUI"},
          {L"SelRecordDisplayREdt", L"ChatRichEditUI"}, {L"SelRecordPgCtrl", L"ContainerUI"},
          {L"SearchedSelRecordDisplayREdt", L"ChatRichEditUI"}, {L"SearchedSelRecordPgCtrl", L"ContainerUI"}}},
        {L"EmotionWnd.xml", [] { return new CEmotionWnd(nullptr); }, {{L"GifList", L"EmotionListUI"}}},
        {L"LoginWnd.xml", [] { return new CLoginWnd(nullptr); },
         {{L"closebtn", L"ButtonUI"}, {L"Information", L"LVMBTextUI"}, {L"TimerLabel", L"LabelUI"}}},
        {L"MessageBoxWnd.xml", [] { return new CLVMessageBox(nullptr, L"", L"", 0); },
         {{L"CaptionBkTab", L"TabLayoutUI"}, {L"CaptionTitle", L"LabelUI"}, {L"closebtn", L"ButtonUI"},
          {L"PromptAreaHorz", L"HorizontalLayoutUI"}, {L"MBIconTab", L"TabLayoutUI"}, {L"MessageIcon", L"LVMBIconUI"},
          {L"MessageText", L"LVMBTextUI"}, {L"MBBtnTab", L"TabLayoutUI"}, {L"OkBtn1_1", L"ButtonUI"},
          {L"YesBtn5_1", L"ButtonUI"}, {L"CancelBtn5_3", L"ButtonUI"}}},
        {L"SettingWnd.xml", [] { return new CSettingWnd(nullptr); },
         {{L"closebtn", L"ButtonUI"}, {L"VideoSettingBtn", L"OptionUI"}, {L"AudioSettingBtn", L"OptionUI"},
          {L"AudioAdoptingBtn", L"OptionUI"}, {L"RecordSettingBtn", L"OptionUI"}, {L"MessageSettingBtn", L"OptionUI"},
          {L"ItemTab", L"TabLayoutUI"}, {L"SelectVideoDeviceCmb", L"ComboUI"}, {L"AdoptPictureBtn", L"ButtonUI"},
          {L"SelectVideoDeviceLab", L"LabelUI"}, {L"VedioContainer", L"WinContainerUI"},
          {L"LoadVedioFailedLab", L"LabelUI"}, {L"SelectAudioInputCmb", L"ComboUI"}, {L"SelectAudioInputLab", L"LabelUI"},
          {L"SelectAudioOutputCmb", L"ComboUI"}, {L"SelectAudioOutputLab", L"LabelUI"}, {L"MicNs", L"CheckBoxUI"},
          {L"MicNsValue", L"ComboUI"}, {L"MicAGC", L"CheckBoxUI"}, {L"MicAGCValue", L"ComboUI"}, {L"MicAEC", L"CheckBoxUI"},
          {L"MicAECValue", L"ComboUI"}, {L"SpeakerNs", L"CheckBoxUI"}, {L"SpeakerNsValue", L"ComboUI"},
          {L"SpeakerAGC", L"CheckBoxUI"}, {L"SpeakerAGCValue", L"ComboUI"}, {L"RecordOptionCmb", L"ComboUI"},
          {L"DataRateSlider", L"SliderUI"}, {L"DataRateLabel", L"LabelUI"}, {L"FrameRateSlider", L"SliderUI"},
          {L"FrameRateLabel", L"LabelUI"}, {L"VideoSizeCmb", L"ComboUI"}, {L"RecordPathEdt", L"EditUI"},
          {L"RecordPathBtn", L"ButtonUI"}, {L"TipRichEdit", L"TextUI"}, {L"NotDisplaySysMsgChb", L"CheckBoxUI"},
          {L"NotDisplaySpeakChb", L"CheckBoxUI"}, {L"OkBtn", L"ButtonUI"}, {L"CancelBtn", L"ButtonUI"}}},
        {L"AboutWnd.xml", [] { return new CAboutWnd; },
         {{L"closebtn", L"ButtonUI"}, {L"VersionLabel", L"LabelUI"}, {L"BeuildTimeLabel", L"LabelUI"}}},
        {L"DocWnd.xml", [] { return new CDocWnd; },
         {{L"ImageView", L"ImagePaintControlUI"}, {L"PreviousBtn", L"ButtonUI"}, {L"NextBtn", L"ButtonUI"}}},
    };
    return table;
}

// Every language text the client looks up, by where it shows.
const int kLanguageIds[] = {
    0, 1, 2, 3,                            // cover font and buttons, the student count
    4, 5, 6, 34, 35, 38,                   // slide view: converting, failed, uploading, downloading
    9, 10, 11, 12, 13, 14, 15, 16, 17, 18, // login status and connection failures
    19, 20, 21, 22, 23, 24, 30, 37,        // chat and system lines
    25, 26, 27, 29, 31, 32, 39, 42, 51,    // settings, captions, removal from the room
    36, 40, 41, 43, 44, 45, 46, 47, 48,    // downloads, documents, class clock, title, teacher
    49, 50, 53, 54, 55, 56, 52, 64,        // presentations, camera, whiteboard, second start, upload
    57, 58, 59, 61, 62, 63,                // covers
    65, 66, 67, 68, 69, 70, 71, 72, 73,    // microphone queue, room flags, speaking
    74, 75, 76, 77, 78,                    // bulletin, the missing-device boxes, offline speaker
    79, 80, 81, 82, 83, 84,                // recording
    91, 92, 93, 94, 95, 96, 97,            // conversion failures, a damaged package
};

// The program's folder, with the shipped skin and language folders beside the test program.
std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    wchar_t* slash = wcsrchr(path, L'\\');
    if (slash) slash[1] = 0;
    return path;
}

// Builds the shipped skin file into pm for window, as the window builds itself; false when it cannot.
bool Build(const wchar_t* file, WindowImplBase* window, CPaintManagerUI& pm)
{
    static const std::wstring skins = ProgramFolder() + L"skin\\";
    pm.SetWindowResourcePath(skins.c_str());
    CDialogBuilder builder;
    CControlUI* root = builder.Create(file, nullptr, window, &pm);
    return root && pm.AttachDialog(root);
}

// True when the cell (l, t, r, b) of the decoded image lies inside it and shows at least one pixel.
bool CellShows(const TImageInfo& image, int l, int t, int r, int b)
{
    if (l < 0 || t < 0 || r > image.nX || b > image.nY || l >= r || t >= b) return false;
    DIBSECTION dib{};
    if (GetObjectW(image.hBitmap, sizeof(dib), &dib) != sizeof(dib) || !dib.dsBm.bmBits) return false;
    const auto* pixels = static_cast<const uint32_t*>(dib.dsBm.bmBits);
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if (pixels[y * image.nX + x] >> 24) return true;
    return false;
}

} // namespace

TEST(SkinContract, EveryImageASkinNamesIsShippedAndShowsItsCell)
{
    const std::wstring skins = ProgramFolder() + L"skin\\";
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((skins + L"*.xml").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    // An image attribute is a bare file name or "file='x' source='l,t,r,b' ...".
    const std::regex attribute(R"re((\w*image)="([^"]+)")re");
    const std::regex fileName(R"re(file='([^']+)')re");
    const std::regex source(R"re(source='(\d+),(\d+),(\d+),(\d+)')re");
    int checked = 0;
    do {
        std::ifstream in((skins + found.cFileName).c_str(), std::ios::binary);
        const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::sregex_iterator it(xml.begin(), xml.end(), attribute), end; it != end; ++it) {
            const std::string value = (*it)[2];
            std::smatch part;
            const std::string file = std::regex_search(value, part, fileName) ? part[1].str() : value;
            SCOPED_TRACE(std::wstring(found.cFileName) + L": " + std::wstring(value.begin(), value.end()));
            TImageInfo* image = CRenderEngine::LoadImageFile((skins + std::wstring(file.begin(), file.end())).c_str());
            ASSERT_NE(image, nullptr);
            int l = 0, t = 0, r = image->nX, b = image->nY;
            if (std::regex_search(value, part, source))
                l = std::stoi(part[1]), t = std::stoi(part[2]), r = std::stoi(part[3]), b = std::stoi(part[4]);
            EXPECT_TRUE(CellShows(*image, l, t, r, b)) << image->nX << "x" << image->nY;
            CRenderEngine::FreeImage(image);
            ++checked;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_GT(checked, 20);
}

TEST(SkinContract, EveryControlTheWindowsLookUpIsInTheirShippedSkin)
{
    for (const SkinContract& contract : Contracts()) {
        SCOPED_TRACE(std::wstring(contract.file));
        std::unique_ptr<WindowImplBase> window(contract.window());
        CPaintManagerUI pm;
        ASSERT_TRUE(Build(contract.file, window.get(), pm));
        for (const Named& named : contract.controls) {
            CControlUI* control = pm.FindControl(named.name);
            if (!control) {
                ADD_FAILURE() << "no " << std::wstring(named.name);
                continue;
            }
            bool matches = wcscmp(control->GetClass(), named.cls) == 0 || control->GetInterface(named.cls) != nullptr;
            EXPECT_TRUE(matches) << std::wstring(named.name) << " is " << std::wstring(control->GetClass());
        }
    }
}

TEST(SkinContract, ContentThatCanOverflowScrolls)
{
    struct Scroller {
        const wchar_t* file;
        std::function<WindowImplBase*()> window;
        const wchar_t* name;
        bool vertical;
    } const scrollers[] = {
        {L"MicSeqWnd.xml", [] { return new CMicSeqWnd; }, L"MicSeqList00", true},
        {L"MicSeqWnd.xml", [] { return new CMicSeqWnd; }, L"MicSeqList01", true},
        {L"MicSeqWnd.xml", [] { return new CMicSeqWnd; }, L"MicSeqList02", true},
        {L"ControlPanelWnd.xml", [] { return new CControlPanelWnd; }, L"ControlPanel", false},
        {L"MainWnd.xml", [] { return new CMainWnd; }, L"StudentList", true},
        {L"MainWnd.xml", [] { return new CMainWnd; }, L"SearchedStudentList", true},
        {L"ChatRecordWnd.xml", [] { return new CChatRecordWnd; }, L"ClassNameLst", true},
    };
    for (const Scroller& s : scrollers) {
        SCOPED_TRACE(std::wstring(s.name));
        std::unique_ptr<WindowImplBase> window(s.window());
        CPaintManagerUI pm;
        ASSERT_TRUE(Build(s.file, window.get(), pm));
        CControlUI* control = pm.FindControl(s.name);
        ASSERT_NE(control, nullptr);
        CContainerUI* scrolled = static_cast<CContainerUI*>(control->GetInterface(L"Container"));
        // A list scrolls its body.
        if (auto* list = static_cast<CListUI*>(control->GetInterface(L"List"))) scrolled = list->GetList();
        ASSERT_NE(scrolled, nullptr);
        if (s.vertical) EXPECT_NE(scrolled->GetVerticalScrollBar(), nullptr);
        else EXPECT_NE(scrolled->GetHorizontalScrollBar(), nullptr);
    }
}

TEST(SkinContract, EveryLanguageTextTheClientShowsIsInTheEnglishFile)
{
    LanguageTable english(1);
    for (int id : kLanguageIds) EXPECT_FALSE(english.GetString(id).Trim().IsEmpty()) << "text " << id;
    // The box for a machine without a presentation program says so.
    EXPECT_GE(english.GetString(49).Find(L"install"), 0) << std::wstring(english.GetString(49).GetString());
}

TEST(SkinContract, RosterRowsWearTheBadgeOfTheirRole)
{
    CMainWnd window;
    CPaintManagerUI pm;
    ASSERT_TRUE(Build(L"MainWnd.xml", &window, pm));
    // The search results are rows of their own, made from the roster's records, whatever the role.
    auto* list = static_cast<CStudentList*>(pm.FindControl(L"SearchedStudentList")->GetInterface(L"LVStudentList"));
    ASSERT_NE(list, nullptr);
    const struct {
        uint8_t role;
        uint32_t badge;
    } rows[] = {{eRole_Teacher, 0xFF2F6DB5}, {eRole_Host, 0xFF2F6DB5}, {eRole_Assistant, 0xFFFFAA33},
                {eRole_Student, 0xFF9FC3A8}, {eRole_MicApplied, 0xFF9FC3A8}};
    for (const auto& r : rows) {
        UserRecord user;
        user.userId = 100 + r.role;
        user.role = r.role;
        auto* row = new CStudentListElement(user);
        ASSERT_TRUE(list->Add(row));
        EXPECT_EQ(row->GetBadge()->GetBkColor(), r.badge) << int(r.role);
        EXPECT_EQ(row->GetFixedHeight(), 26);
    }
}
