// Opens one dialog by name with a recording media engine behind it, for screenshots:
// dialogs_gallery settings [page] | about
#include "core/SessionContext.h"
#include "database/SqliteMgr.h"
#include "dialogs/AboutWnd.h"
#include "dialogs/DialogOpen.h"
#include "dialogs/SettingWnd.h"
#include "tests/fakes/castmix/CastmixDouble.h"

#include <objbase.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
    CoInitialize(nullptr);
    SessionContext* session = SessionContext::Instance();
    delete session->languageTable;
    session->languageTable = new LanguageTable(1);
    CSqliteMgr::GetInstance()->Init(1);
    CastmixDouble::Instance().capDevices = 2;
    CastmixDouble::Instance().playDevices = 2;
    const wchar_t* what = argc > 1 ? argv[1] : L"settings";
    if (wcscmp(what, L"about") == 0) {
        if (!OpenDialogOnce<CAboutWnd>(nullptr, L"__LVAboutWnd__", [] { return new CAboutWnd; })) return 1;
    } else {
        CSettingWnd* settings =
            OpenDialogOnce<CSettingWnd>(nullptr, L"__LVSettingWnd__", [] { return new CSettingWnd(nullptr); });
        if (!settings) return 1;
        static const wchar_t* const kButtons[] = {L"VideoSettingBtn", L"AudioSettingBtn", L"AudioAdoptingBtn",
                                                  L"RecordSettingBtn", L"MessageSettingBtn"};
        int page = argc > 2 ? _wtoi(argv[2]) : 0;
        if (page > 0 && page < 5) {
            if (CControlUI* button = settings->GetPaintManager()->FindControl(kButtons[page]))
                static_cast<COptionUI*>(button->GetInterface(L"Option"))->Selected(true);
        }
    }
    CPaintManagerUI::MessageLoop();
    CPaintManagerUI::Term();
    return 0;
}
