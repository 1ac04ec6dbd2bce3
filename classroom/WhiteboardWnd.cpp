#include "classroom/WhiteboardWnd.h"

#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "controls/PaintControl.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"

#include <cwchar>
#include <memory>

int NumberAfterPrefix(const CDuiString& name, const wchar_t* prefix)
{
    const size_t length = wcslen(prefix);
    const wchar_t* text = name.GetData();
    if (wcsncmp(text, prefix, length) != 0) return -1;
    const wchar_t* digits = text + length;
    if (*digits < L'0' || *digits > L'9') return -1;
    return static_cast<int>(wcstol(digits, nullptr, 10));
}

namespace {
CDuiString Numbered(const wchar_t* prefix, int n)
{
    CDuiString name;
    name.Format(L"%s%d", prefix, n);
    return name;
}
} // namespace

CControlUI* CWhiteboardWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"PaintControl") == 0) return new CPaintControlUI;
    return nullptr;
}

void CWhiteboardWnd::InitWindow()
{
    m_mainWnd = ::GetParent(m_hWnd);
    if (!m_mainWnd && SessionContext::Instance()) m_mainWnd = SessionContext::Instance()->mainWindow;
}

CPaintControlUI* CWhiteboardWnd::GetSurface(int page)
{
    CControlUI* control = m_PaintManager.FindControl(Numbered(L"Wb", page).GetData());
    return control ? static_cast<CPaintControlUI*>(control->GetInterface(L"PaintControl")) : nullptr;
}

void CWhiteboardWnd::SelectTab(int tab)
{
    auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(Numbered(L"Tab", tab).GetData()));
    if (option) option->Selected(true);
}

void CWhiteboardWnd::AddTab()
{
    if (m_tabCount >= kMaxTabs) return;
    ++m_tabCount;
    if (CControlUI* option = m_PaintManager.FindControl(Numbered(L"Tab", m_tabCount).GetData())) option->SetVisible(true);
    SelectTab(m_tabCount);
    if (m_tabCount >= kMaxTabs) {
        if (CControlUI* add = m_PaintManager.FindControl(L"AddTabBtn")) add->SetEnabled(false);
    }
}

void CWhiteboardWnd::LoadPage(int page)
{
    CPaintControlUI* surface = GetSurface(page);
    if (!surface) return;
    KeyedPaintObjects objects;
    RemotePaintStore::GetPage(eRemotePaint_Whiteboard, 0, static_cast<uint16_t>(page), objects);
    surface->LoadSharedObjects(objects);
}

void CWhiteboardWnd::OnStrokeFinished(TNotifyUI& msg)
{
    // The surface hands over its stroke: freed here on every path.
    std::unique_ptr<PaintStroke> stroke(reinterpret_cast<PaintStroke*>(msg.lParam));
    if (!msg.pSender || !stroke) return;
    const int page = NumberAfterPrefix(msg.pSender->GetName(), L"Wb");
    if (page < 0) return;
    auto record = std::make_unique<PaintChangeRecord>();
    record->sourceKind = ePaintChange_Whiteboard;
    record->objectKind = static_cast<uint8_t>(msg.wParam);
    record->page = static_cast<uint16_t>(page);
    record->docId = 0;
    record->surfaceWidth = static_cast<uint16_t>(msg.pSender->GetWidth());
    record->surfaceHeight = static_cast<uint16_t>(msg.pSender->GetHeight());
    record->stroke = *stroke;
    if (::PostMessageW(m_mainWnd, WM_USER_PAINTOBJ_CHANGED, 0, reinterpret_cast<LPARAM>(record.get())))
        record.release();
    else
        LOG_ERROR(L"whiteboard stroke of page %d cannot be posted", page);
}

void CWhiteboardWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_PAINTOBJCHANGED) {
        if (msg.pSender && msg.pSender->GetClass() == CDuiString(L"PaintControlUI")) OnStrokeFinished(msg);
        else delete reinterpret_cast<PaintStroke*>(msg.lParam);
        return;
    }
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == L"AddTabBtn") {
        AddTab();
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && msg.pSender &&
        msg.pSender->GetClass() == CDuiString(L"OptionUI")) {
        auto* option = static_cast<COptionUI*>(msg.pSender);
        const int n = NumberAfterPrefix(option->GetName(), L"Tab");
        // Deselecting the previous tab of the group reports too; only the newly chosen tab counts.
        if (n >= 1 && n <= 10 && option->IsSelected()) {
            if (auto* tabs = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"SwitchWhiteboardTabs")))
                tabs->SelectItem(n - 1);
            ::PostMessageW(m_mainWnd, WM_USER_UI_NOTICE, 11, n);
        }
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CWhiteboardWnd::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled)
{
    // Return and Escape would otherwise close or activate something on the board.
    if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        bHandled = true;
        return 0;
    }
    return WindowImplBase::MessageHandler(uMsg, wParam, lParam, bHandled);
}

void CWhiteboardWnd::OnUiNotice(WPARAM code, LPARAM lParam)
{
    switch (code) {
    case 4: {
        std::unique_ptr<PageChangeRecord> request(reinterpret_cast<PageChangeRecord*>(lParam));
        if (request && request->docId == 0 && request->page >= 1 && request->page <= kMaxTabs) LoadPage(request->page);
        break;
    }
    case 5:
        for (int page = 1; page <= kMaxTabs; ++page) LoadPage(page);
        break;
    case kNoticeAppendPen:
        if (const auto* pen = reinterpret_cast<const PaintObject*>(lParam)) {
            for (int page = 1; page <= kMaxTabs; ++page)
                if (CPaintControlUI* surface = GetSurface(page)) surface->AppendObject(*pen);
        }
        break;
    case 11: {
        const int n = static_cast<int>(lParam);
        if (n < 1 || n > kMaxTabs) break;
        CControlUI* option = m_PaintManager.FindControl(Numbered(L"Tab", n).GetData());
        if (!option) break;
        if (option->IsVisible() || n != m_tabCount + 1) SelectTab(n);
        else AddTab();
        break;
    }
    case 17:
        m_drawingAllowed = lParam != 0;
        ApplyDrawing();
        break;
    case kNoticeDrawingTool:
        m_penChosen = lParam != 0;
        ApplyDrawing();
        break;
    case 22:
        if (CControlUI* area = m_PaintManager.FindControl(L"TabArea")) area->SetVisible(lParam != 0);
        break;
    default:
        break;
    }
}

void CWhiteboardWnd::ApplyDrawing()
{
    for (int page = 1; page <= kMaxTabs; ++page)
        if (CPaintControlUI* surface = GetSurface(page)) surface->SetPenEnabled(m_drawingAllowed && m_penChosen);
}

LRESULT CWhiteboardWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg == WM_USER_UI_NOTICE) {
        OnUiNotice(wParam, lParam);
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CWhiteboardWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
