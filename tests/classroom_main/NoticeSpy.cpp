#include "tests/classroom_main/NoticeSpy.h"

#include "classroom/PaintChangeRecord.h"
#include "core/Records.h"
#include "core/WindowMessages.h"
#include "classroom/DocWnd.h"

namespace {
const wchar_t kSpyProp[] = L"LvNoticeSpy";
}

NoticeSpy::NoticeSpy(HWND window) : m_window(window)
{
    if (!IsWindow(window)) return;
    SetPropW(window, kSpyProp, this);
    m_original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
}

NoticeSpy::~NoticeSpy()
{
    if (!m_original || !IsWindow(m_window)) return;
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
    RemovePropW(m_window, kSpyProp);
}

std::vector<SeenNotice> NoticeSpy::Of(WPARAM code) const
{
    std::vector<SeenNotice> out;
    for (const SeenNotice& n : m_seen)
        if (n.code == code) out.push_back(n);
    return out;
}

LRESULT CALLBACK NoticeSpy::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* spy = static_cast<NoticeSpy*>(GetPropW(window, kSpyProp));
    if (!spy) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_USER_UI_NOTICE) {
        SeenNotice n;
        n.code = wParam;
        n.raw = lParam;
        if (lParam) {
            if (wParam == 4) {
                const auto* page = reinterpret_cast<const PageChangeRecord*>(lParam);
                n.id = page->docId;
                n.page = page->page;
            } else if (wParam == eDocNotice_DocInfo) {
                const auto* list = reinterpret_cast<const DocPageList*>(lParam);
                n.id = list->docId;
                n.page = list->currentPage;
                n.count = list->pageCount;
            } else if (wParam == eDocNotice_DownloadStart) {
                n.id = *reinterpret_cast<const uint64_t*>(lParam);
            } else if (wParam == eDocNotice_Download) {
                const auto* progress = reinterpret_cast<const DocDownloadProgress*>(lParam);
                n.id = progress->docId;
                n.page = progress->percent;
            }
        }
        spy->m_seen.push_back(n);
    }
    WNDPROC original = spy->m_original;
    if (message == WM_NCDESTROY) {
        // The window goes first: its own procedure must see the end.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, kSpyProp);
        spy->m_original = nullptr;
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}
