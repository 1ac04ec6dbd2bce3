#include "controls/ControlFactory.h"

#include "controls/EmotionList.h"
#include "controls/ImagePaintControl.h"
#include "controls/ListupCombo.h"
#include "controls/MicList.h"
#include "controls/PageCtrl.h"
#include "controls/PaintControl.h"
#include "controls/PosLayouts.h"
#include "controls/SmallControls.h"
#include "controls/StudentList.h"

namespace {

template <typename T>
CControlUI* Make()
{
    return new T;
}

struct TagEntry {
    const wchar_t* tag;
    CControlUI* (*make)();
};

const TagEntry kTags[] = {
    {L"PaintControl", &Make<CPaintControlUI>},
    {L"ImagePaintControl", &Make<CImagePaintControlUI>},
    {L"LVStudentList", &Make<CStudentList>},
    {L"MicList", &Make<CMicListUI>},
    {L"LVPageCtrl", &Make<CPageCtrlUI>},
    {L"PosVerLayout", &Make<CPosVerLayoutUI>},
    {L"PosHorLayout", &Make<CPosHorLayoutUI>},
    {L"ScrollHorLayout", &Make<CScrollHorLayoutUI>},
    {L"WinContainer", &Make<CWinContainerUI>},
    {L"EmotionList", &Make<CEmotionListUI>},
    {L"LVListupCombo", &Make<CLVListupComboUI>},
    {L"ShapeElement", &Make<CShapeElementUI>},
    {L"LVListEx", &Make<CListExUI>},
    {L"LVHintEdit", &Make<CHintEditUI>},
    {L"ActSlider", &Make<CActSliderUI>},
    {L"MidEllipsisLabel", &Make<CMidEllipsisLabelUI>},
    {L"TipFlashBtn", &Make<CTextFlashBtnUI>},
    {L"OneClickBtn", &Make<COneClickBtnUI>},
    {L"RecordCheck", &Make<CRecordCheckUI>},
};

} // namespace

CControlUI* CreateLumenvaleControl(LPCTSTR tag)
{
    if (!tag) return nullptr;
    for (const TagEntry& entry : kTags)
        if (wcscmp(entry.tag, tag) == 0) return entry.make();
    return nullptr;
}
