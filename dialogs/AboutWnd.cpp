#include "dialogs/AboutWnd.h"

#include "core/SessionContext.h"
#include "core/Version.h"

CDuiString BuildTimeText()
{
    CDuiString text;
    text.Format(L"%S-%S", __DATE__, __TIME__);
    return text;
}

void CAboutWnd::InitWindow()
{
    // Without a language table the skin's own texts stay.
    if (!HasLanguageTable()) return;
    if (CControlUI* version = m_PaintManager.FindControl(L"VersionLabel")) version->SetText(GetFileVersionString());
    if (CControlUI* built = m_PaintManager.FindControl(L"BeuildTimeLabel")) built->SetText(BuildTimeText());
}

void CAboutWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
