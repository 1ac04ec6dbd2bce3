#include "classroom/ControlPanelWnd.h"

#include "controls/ControlFactory.h"
#include "controls/PosLayouts.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "dialogs/MessageBox.h"
#include "platform/castmix/Castmix.h"

namespace {
const DWORD kCheckedBorder = 0xFF00C090;

int CountCameras()
{
    CASTMIX_HANDLE engine = Castmix_Create();
    if (!engine) return 0;
    CastmixDeviceNames names = {};
    const long count = Castmix_QueryCameras(engine, names);
    Castmix_Close(&engine);
    return count > 0 ? static_cast<int>(count) : 0;
}
} // namespace

CControlUI* CControlPanelWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"WinContainer") == 0 || wcscmp(pstrClass, L"ScrollHorLayout") == 0)
        return CreateLumenvaleControl(pstrClass);
    return nullptr;
}

void CControlPanelWnd::InitWindow()
{
    m_mainWnd = ::GetParent(m_hWnd);
    if (!m_mainWnd && SessionContext::Instance()) m_mainWnd = SessionContext::Instance()->mainWindow;
}

void CControlPanelWnd::PostToMain(WPARAM on, std::unique_ptr<WndMsgPayload> payload)
{
    if (::PostMessageW(m_mainWnd, WM_USER_PANEL_ACTION, on, reinterpret_cast<LPARAM>(payload.get())))
        payload.release();
}

void CControlPanelWnd::Deselect(const std::unique_ptr<WndMsgPayload>& held)
{
    if (held && held->source && IsWindow(held->source)) ::PostMessageW(held->source, WM_USER_UI_NOTICE, 2, 0);
}

void CControlPanelWnd::OnAddCamera()
{
    if (CountCameras() == 0) {
        ShowMessageBox(nullptr, LangText(53, L"Camera not detected").GetString(), LangText(31, L"Warning").GetString(),
                       MB_OK);
        return;
    }
    SessionContext* session = SessionContext::Instance();
    auto payload = std::make_unique<WndMsgPayload>();
    payload->SetCamera(nullptr, session ? session->options.cameraId : 0);
    if (PostMessage(WM_USER_PANEL_ACTION, 1, reinterpret_cast<LPARAM>(payload.get()))) payload.release();
}

void CControlPanelWnd::OnSwitch(COptionUI* option, int32_t kind)
{
    const bool checked = option->IsSelected();
    option->SetBorderColor(checked ? kCheckedBorder : 0);
    auto payload = std::make_unique<WndMsgPayload>();
    payload->kind = kind; // the switches carry no data
    PostToMain(checked ? 1 : 0, std::move(payload));
}

void CControlPanelWnd::Notify(TNotifyUI& msg)
{
    if (!msg.pSender) return WindowImplBase::Notify(msg);
    const CDuiString name = msg.pSender->GetName();
    if (msg.sType == DUI_MSGTYPE_CLICK && name == L"AddCameraBtn") {
        OnAddCamera();
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && name == L"WhiteBoardCheck") {
        OnSwitch(static_cast<COptionUI*>(msg.pSender), ePanel_Whiteboard);
        return;
    }
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && name == L"ScreenShareCheck") {
        OnSwitch(static_cast<COptionUI*>(msg.pSender), ePanel_ScreenShare);
        return;
    }
    WindowImplBase::Notify(msg);
}

void CControlPanelWnd::HoldSelected(const WndMsgPayload& action)
{
    if (action.kind == ePanel_Camera) {
        if (!m_camera || m_camera->source != action.source) Deselect(m_camera);
        m_camera = std::make_unique<WndMsgPayload>(action);
    } else if (action.kind == ePanel_Document) {
        if (!m_document || m_document->source != action.source) Deselect(m_document);
        m_document = std::make_unique<WndMsgPayload>(action);
    }
}

void CControlPanelWnd::OnSourceAction(bool on, const WndMsgPayload& action)
{
    std::unique_ptr<WndMsgPayload>* held = nullptr;
    if (action.kind == ePanel_Camera) held = &m_camera;
    else if (action.kind == ePanel_Document) held = &m_document;
    if (on) {
        if (action.kind == ePanel_Camera && m_camera) return;
        if (action.kind == ePanel_Document && m_document && m_document->source == action.source) return;
        if (held) Deselect(*held);
        PostToMain(1, std::make_unique<WndMsgPayload>(action));
        if (held) *held = std::make_unique<WndMsgPayload>(action);
        return;
    }
    if (!held || !*held || (*held)->source != action.source) return;
    PostToMain(0, std::make_unique<WndMsgPayload>(action));
    held->reset();
}

void CControlPanelWnd::RemoveThumbnail(HWND window)
{
    auto* strip = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"ControlPanel"));
    for (auto it = m_documents.begin(); it != m_documents.end(); ++it) {
        if (it->window != window) continue;
        if (strip && it->container) strip->Remove(it->container);
        m_documents.erase(it);
        return;
    }
}

CControlPanelWnd::DocumentEntry* CControlPanelWnd::FindDocument(uint64_t docId)
{
    auto* strip = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"ControlPanel"));
    DocumentEntry* found = nullptr;
    for (auto it = m_documents.begin(); it != m_documents.end();) {
        if (!IsWindow(it->window)) {
            if (strip && it->container) strip->Remove(it->container);
            it = m_documents.erase(it);
            continue;
        }
        if (it->file.fileId == docId) found = &*it;
        ++it;
    }
    return found;
}

bool CControlPanelWnd::AddDocumentThumbnail(const FileItemRecord& file, HWND documentWindow)
{
    auto* strip = static_cast<CContainerUI*>(m_PaintManager.FindControl(L"ControlPanel"));
    if (!strip || !documentWindow) return false;
    auto* container = static_cast<CWinContainerUI*>(CreateLumenvaleControl(L"WinContainer"));
    if (!container) return false;
    container->ApplyAttributeList(L"height=\"90\" width=\"120\" padding=\"10,10,0,0\" bkcolor=\"#FFFFFFFF\"");
    const int before = strip->GetCount() > 0 ? strip->GetCount() - 1 : 0;
    if (!strip->AddAt(container, before)) {
        delete container;
        return false;
    }
    container->SetEmbedWindow(documentWindow);
    DocumentEntry entry;
    entry.file = file;
    entry.window = documentWindow;
    entry.container = container;
    m_documents.push_back(std::move(entry));
    return true;
}

void CControlPanelWnd::SelectDocument(uint64_t docId)
{
    DocumentEntry* entry = FindDocument(docId);
    if (!entry) return;
    ::PostMessageW(entry->window, WM_USER_UI_NOTICE, 3, reinterpret_cast<LPARAM>(new uint64_t(docId)));
}

void CControlPanelWnd::UpdateDocumentPages(uint64_t docId, const ParamList& pages, bool select)
{
    DocumentEntry* entry = FindDocument(docId);
    if (!entry) return;
    auto copy = std::make_unique<ParamList>(pages);
    if (::PostMessageW(entry->window, WM_USER_UI_NOTICE, 15, reinterpret_cast<LPARAM>(copy.get()))) copy.release();
    if (select) ::PostMessageW(entry->window, WM_USER_UI_NOTICE, 3, reinterpret_cast<LPARAM>(new uint64_t(docId)));
}

void CControlPanelWnd::ShowPanel(bool show)
{
    for (const DocumentEntry& entry : m_documents)
        if (IsWindow(entry.window)) ::SendMessageW(entry.window, WM_USER_UI_NOTICE, 24, show ? 1 : 0);
    ShowWindow(show, false);
}

void CControlPanelWnd::SourceOff(int32_t kind)
{
    if (kind == ePanel_Camera) {
        Deselect(m_camera);
        m_camera.reset();
    } else if (kind == ePanel_Document) {
        Deselect(m_document);
        m_document.reset();
    } else if (kind == ePanel_Whiteboard || kind == ePanel_ScreenShare) {
        auto* option = static_cast<COptionUI*>(
            m_PaintManager.FindControl(kind == ePanel_Whiteboard ? L"WhiteBoardCheck" : L"ScreenShareCheck"));
        if (option) {
            option->Selected(false, false);
            option->SetBorderColor(0);
        }
    }
}

bool CControlPanelWnd::CheckWhiteboard()
{
    auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(L"WhiteBoardCheck"));
    if (!option) return false;
    const bool was = option->IsSelected();
    if (!was) {
        option->Selected(true, false);
        option->SetBorderColor(kCheckedBorder);
    }
    return was;
}

void CControlPanelWnd::SetScreenShare(bool checked)
{
    auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(L"ScreenShareCheck"));
    if (!option) return;
    option->Selected(checked, false);
    option->SetBorderColor(checked ? kCheckedBorder : 0);
}

LRESULT CControlPanelWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg == WM_USER_PANEL_ACTION) {
        bHandled = TRUE;
        std::unique_ptr<WndMsgPayload> action(reinterpret_cast<WndMsgPayload*>(lParam));
        if (action) OnSourceAction(wParam != 0, *action);
        return 0;
    }
    if (uMsg == WM_USER_UI_NOTICE && wParam == 1) {
        bHandled = TRUE;
        RemoveThumbnail(reinterpret_cast<HWND>(lParam));
        return 0;
    }
    if (uMsg == WM_USER_UI_NOTICE && wParam == 3) {
        bHandled = TRUE;
        std::unique_ptr<WndMsgPayload> selected(reinterpret_cast<WndMsgPayload*>(lParam));
        if (selected) HoldSelected(*selected);
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

LRESULT CControlPanelWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // The thumbnails' covers are separate popups: they follow the panel when it moves.
    if (uMsg == WM_WINDOWPOSCHANGED && IsWindowVisible(m_hWnd)) {
        for (const DocumentEntry& entry : m_documents)
            if (IsWindow(entry.window)) ::SendMessageW(entry.window, WM_MOVE, 0, 0);
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CControlPanelWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    delete this;
}
