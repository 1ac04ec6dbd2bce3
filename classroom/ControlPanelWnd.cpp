#include "classroom/ControlPanelWnd.h"

#include "controls/ControlFactory.h"
#include "controls/PosLayouts.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/Md5.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/MessageBox.h"
#include "platform/castmix/Castmix.h"
#include "classroom/DocWnd.h"

#include <commdlg.h>
#include <new>

namespace {
const DWORD kCheckedBorder = 0xFF00C090;
const int kThumbWidth = 120;
const int kThumbHeight = 90;

CString PickPresentation(HWND owner)
{
    wchar_t path[MAX_PATH] = {};
    // Two strings per filter, the list ends with an empty one.
    static const wchar_t kFilter[] = L"\u5e7b\u706f\u7247 (*.ppt;*pptx)\0*.ppt;*.pptx\0\0";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kFilter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return CString();
    return CString(path);
}

CControlPanelWnd::FileChooser g_chooseFile = &PickPresentation;

// The digest of a file that can be read, else empty (an unreadable file must not pass as the empty one).
CString FileMd5(const CString& path)
{
    FILE* stream = path.IsEmpty() ? nullptr : _wfopen(path, L"rb");
    if (!stream) return CString();
    Md5Digest digest(stream);
    return CString(digest.HexString().c_str());
}

int32_t CurrentRoom()
{
    SessionContext* session = SessionContext::Instance();
    return session ? static_cast<int32_t>(session->room.roomId) : 0;
}

bool AllPagesExist(const ParamList& pages)
{
    if (pages.pageCount == 0 || pages.values.empty()) return false;
    for (const CString& page : pages.values)
        if (!FileExists(page)) return false;
    return true;
}

CString FileNameOf(const CString& path)
{
    int slash = path.ReverseFind(L'\\');
    int other = path.ReverseFind(L'/');
    if (other > slash) slash = other;
    return slash >= 0 ? path.Mid(slash + 1) : path;
}

int CountCameras()
{
    CASTMIX_HANDLE engine = Castmix_Create();
    if (!engine) return 0;
    CastmixDeviceNames names = {};
    const long count = Castmix_QueryCameras(engine, names);
    Castmix_Close(&engine);
    return count > 0 ? static_cast<int>(count) : 0;
}

// The document window only reads the id of sub-code 3: it is sent, so the record stays ours.
void SendSelectDocument(HWND window, uint64_t docId)
{
    uint64_t id = docId;
    ::SendMessageW(window, WM_USER_UI_NOTICE, 3, reinterpret_cast<LPARAM>(&id));
}
} // namespace

void CControlPanelWnd::SetFileChooser(FileChooser chooser)
{
    g_chooseFile = chooser ? chooser : &PickPresentation;
}

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
    if (msg.sType == DUI_MSGTYPE_CLICK && name == L"OpenFileBtn") {
        OnOpenFile();
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
        // A document opened here learns its id only when its upload is done.
        if (it->file.fileId == docId || (it->view && it->view->GetDocId() == docId)) found = &*it;
        ++it;
    }
    return found;
}

bool CControlPanelWnd::AddDocumentThumbnail(const FileItemRecord& file, HWND documentWindow, CDocWnd* view)
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
    entry.view = view;
    m_documents.push_back(std::move(entry));
    return true;
}

CDocWnd* CControlPanelWnd::CreateThumbnail(const FileItemRecord& file, LPCTSTR windowName)
{
    auto* view = new (std::nothrow) CDocWnd(true);
    if (!view) return nullptr;
    HWND window = view->CreateChild(m_hWnd, windowName, 0, 0, kThumbWidth, kThumbHeight);
    if (!window) {
        delete view; // never became a window: no final message will free it
        return nullptr;
    }
    // Its close notice names its own window: that is how the strip finds the thumbnail to drop.
    view->SetCloseValue(reinterpret_cast<LPARAM>(window));
    if (!AddDocumentThumbnail(file, window, view)) {
        ::DestroyWindow(window); // the view deletes itself with its window
        return nullptr;
    }
    view->ShowDoc(true);
    // The cover is a popup of its own: it stays hidden with the panel, as ShowPanel would leave it.
    if (!IsWindowVisible(m_hWnd)) ::SendMessageW(window, WM_USER_UI_NOTICE, 24, 0);
    return view;
}

void CControlPanelWnd::OnOpenFile()
{
    CString path = g_chooseFile(m_hWnd);
    if (path.IsEmpty()) return;
    OpenFile(path);
}

bool CControlPanelWnd::RefuseKnownFile(const CString& path, const CString& md5)
{
    IDBMgr* db = CSqliteMgr::GetInstance();
    int32_t status = -1;
    uint64_t docId = 0;
    if (!db || !db->GetPPTStatus(status, md5, CurrentRoom(), &docId)) return false;
    int textId = 0;
    const wchar_t* english = nullptr;
    if (status != 0) {
        textId = 40;
        english = L"%s\nFile is being uploaded, please don't re-pick it!";
    } else {
        ParamList pages;
        if (docId != 0 && db->GetPPTInfo(pages, docId) && AllPagesExist(pages)) {
            textId = 41;
            english = L"%s\nFile has been already uploaded, please don't re-upload!";
        }
    }
    if (!english) {
        // Finished once, but its pages are gone here: the pick counts as new.
        db->DeletePPTStatus(md5, CurrentRoom());
        return false;
    }
    CString text;
    if (HasLanguageTable()) text.Format(L"%s\n%s", path.GetString(), LangText(textId, L"").GetString());
    else text.Format(english, path.GetString());
    ShowMessageBox(m_hWnd, text, LangText(39, L"Prompt"), MB_OK);
    return true;
}

bool CControlPanelWnd::OpenFile(const CString& path)
{
    CString md5 = FileMd5(path);
    if (md5.IsEmpty()) {
        Logger::Instance().Write(L"Error : calculate MD5 value of file (%s) failed.", path.GetString());
        return false;
    }
    if (RefuseKnownFile(path, md5)) return false;
    FileItemRecord file;
    file.name = FileNameOf(path);
    file.text1 = path;
    CDocWnd* view = CreateThumbnail(file, L"Video");
    if (!view) {
        LOG_ERROR(L"Control panel, no thumbnail for the file (%s)", path.GetString());
        return false;
    }
    // Recorded before the window starts: a cached package uploads at once and marks the row itself.
    IDBMgr* db = CSqliteMgr::GetInstance();
    if (db && !db->SavePPTStatus(1, md5, CurrentRoom(), 0))
        LOG_ERROR(L"Control panel, the pick of (%s) is not recorded", path.GetString());
    view->SetFileMd5(md5);
    if (!view->OpenSlideFile(path)) {
        RemoveThumbnail(view->GetHWND());
        ::DestroyWindow(view->GetHWND());
        if (db) db->DeletePPTStatus(md5, CurrentRoom());
        return false;
    }
    return true;
}

void CControlPanelWnd::AddDocuments(const std::vector<FileItemRecord>& documents, uint64_t liveDocId)
{
    for (const FileItemRecord& file : documents) {
        if (DocumentEntry* shown = FindDocument(file.fileId)) {
            if (file.fileId == liveDocId) SendSelectDocument(shown->window, file.fileId);
            continue;
        }
        CDocWnd* view = CreateThumbnail(file, file.name);
        if (!view) continue;
        HWND window = view->GetHWND();
        if (file.pages.pageCount == 0) {
            // The thumbnail shows the download until its pages come.
            auto id = std::make_unique<uint64_t>(file.fileId);
            if (::PostMessageW(window, WM_USER_UI_NOTICE, 13, reinterpret_cast<LPARAM>(id.get()))) id.release();
            continue;
        }
        // Sent, not posted: the selection below must find the pages already taken.
        auto pages = std::make_unique<DocPageList>();
        static_cast<ParamList&>(*pages) = file.pages;
        pages->docId = file.fileId;
        ::SendMessageW(window, WM_USER_UI_NOTICE, 12, reinterpret_cast<LPARAM>(pages.release()));
        if (file.fileId == liveDocId) SendSelectDocument(window, file.fileId);
    }
}

void CControlPanelWnd::SelectDocument(uint64_t docId)
{
    DocumentEntry* entry = FindDocument(docId);
    if (!entry) return;
    SendSelectDocument(entry->window, docId);
}

void CControlPanelWnd::UpdateDocumentPages(uint64_t docId, const ParamList& pages, bool select)
{
    DocumentEntry* entry = FindDocument(docId);
    if (!entry) return;
    // The document window only reads the list of sub-code 15: sent, it stays ours.
    DocPageList copy;
    static_cast<ParamList&>(copy) = pages;
    copy.docId = docId;
    ::SendMessageW(entry->window, WM_USER_UI_NOTICE, 15, reinterpret_cast<LPARAM>(&copy));
    if (select) SendSelectDocument(entry->window, docId);
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

bool CControlPanelWnd::SetScreenShare(bool checked)
{
    auto* option = static_cast<COptionUI*>(m_PaintManager.FindControl(L"ScreenShareCheck"));
    if (!option) return false;
    const bool was = option->IsSelected();
    option->Selected(checked, false);
    option->SetBorderColor(checked ? kCheckedBorder : 0);
    return was;
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
