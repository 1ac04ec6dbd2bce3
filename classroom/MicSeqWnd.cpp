#include "classroom/MicSeqWnd.h"

#include "controls/ControlFactory.h"
#include "controls/MicList.h"
#include "core/WindowMessages.h"

#include <algorithm>
#include <memory>

CControlUI* CMicSeqWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"MicList") == 0) return CreateLumenvaleControl(pstrClass);
    return nullptr;
}

void CMicSeqWnd::InitWindow()
{
    m_parent = ::GetParent(m_hWnd);
}

void CMicSeqWnd::Fill(const MicQueueRecord& queue)
{
    auto* tabs = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"mainui"));
    if (!tabs) return;
    CDuiString name;
    name.Format(L"MicSeqList%02d", m_fillCount % 3);
    ++m_fillCount;
    CControlUI* control = m_PaintManager.FindControl(name.GetData());
    auto* list = control ? static_cast<CMicListUI*>(control->GetInterface(L"MicList")) : nullptr;
    if (!list) return;
    const int rows = list->SetUsers(queue.users);
    tabs->SelectItem(list);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    ResizeClient(client.right - client.left, std::min(rows, kMaxRowsShown) * kRowHeight + 2);
    if (rows == 0) PostMessage(WM_CLOSE);
}

void CMicSeqWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != DUI_MSGTYPE_MICSTATECHANGED) return WindowImplBase::Notify(msg);
    auto* row = reinterpret_cast<CControlUI*>(msg.lParam);
    auto* element = row ? static_cast<CMicElementUI*>(row->GetInterface(L"MicElement")) : nullptr;
    if (element && (msg.wParam == 1 || msg.wParam == 0))
        ::PostMessageW(m_parent, WM_USER_MIC_REQUEST, msg.wParam == 1 ? 1 : 2,
                       static_cast<LPARAM>(element->GetUserRecord().userId));
    OutputDebugStringA(">>>>>end NOTIFY\r\n");
}

LRESULT CMicSeqWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg != WM_USER_MIC_LIST) return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    bHandled = TRUE;
    std::unique_ptr<MicQueueRecord> queue(reinterpret_cast<MicQueueRecord*>(lParam));
    if (queue) Fill(*queue);
    return 0;
}

LRESULT CMicSeqWnd::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled)
{
    Close(1);
    bHandled = TRUE;
    return 0;
}

void CMicSeqWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
