#include "classroom/DocWnd.h"

#include "classroom/CoverWnd.h"
#include "classroom/PaintChangeRecord.h"
#include "classroom/RemotePaintStore.h"
#include "controls/ImagePaintControl.h"
#include "controls/PaintControl.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "core/WindowMessages.h"
#include "database/SqliteMgr.h"
#include "dialogs/MessageBox.h"
#include "protocol/CmdProtocol.h"
#include "protocol/ProtocolMgr.h"

#include <cwchar>

namespace {

const int kSendAttempts = 3;

// What the user reads for the conversion failures that have no text of their own.
CString ConvertFailureText(int32_t result)
{
    switch (result) {
    case eConvert_CreateFailed: return LangText(91, L"PowerPoint could not be started.");
    case eConvert_ZeroSize: return LangText(92, L"The slides of this presentation have no size.");
    case eConvert_WriteFailed:
    case eConvert_SeekFailed:
    case eConvert_EmptyPackagePath: return LangText(93, L"The converted slides could not be written.");
    case eConvert_FileNotOpened: return LangText(94, L"The presentation file could not be opened.");
    case eConvert_Stopped: return LangText(95, L"The conversion was stopped.");
    default: return LangText(96, L"The presentation could not be converted.");
    }
}
const DWORD kChildStyle = 0x56000000; // child, visible, clipping siblings and children
const float kFadeOpacity = 0.4f;

CDocWnd::MessageBoxFn g_messageBox = &ShowMessageBox;

bool IsName(CControlUI* control, const wchar_t* name)
{
    return control && wcscmp(control->GetName().GetData(), name) == 0;
}

} // namespace

bool ReadFileSize(const CString& path, uint64_t* size)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.IsEmpty() || !GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

void CDocWnd::SetMessageBoxFn(MessageBoxFn fn)
{
    g_messageBox = fn ? fn : &ShowMessageBox;
}

CDocWnd::CDocWnd() : CDocWnd(false) {}

CDocWnd::CDocWnd(bool withCover) : m_coverFlag(withCover ? 1 : 0) {}

CDocWnd::~CDocWnd()
{
    m_pptMgr.StopConvert();
    if (m_uploadSession) m_uploadSession->Stop();
    m_uploadSession.reset();
    m_uploadRequest.reset();
    DestroyCover();
}

HWND CDocWnd::CreateChild(HWND parent, LPCTSTR name, int x, int y, int width, int height)
{
    m_parent = parent;
    HWND hwnd = Create(parent, name, kChildStyle, 0, x, y, width, height);
    if (!hwnd) {
        LOG_ERROR(L"Doc Wnd, cannot create the window, error = %lu", GetLastError());
        return nullptr;
    }
    // The skin's size is a top-level window's: a child keeps the rectangle its parent gave.
    MoveWindow(hwnd, x, y, width, height, TRUE);
    if (m_coverFlag) {
        RECT rc{};
        GetWindowRect(hwnd, &rc);
        auto* cover = new CPreviewCoverWnd(hwnd);
        HWND coverWnd = cover->Create(hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        if (coverWnd) {
            m_cover = cover;
            m_coverWnd = coverWnd;
            PlaceCover();
        } else {
            // A cover that failed to be made still belongs to us.
            delete cover;
            LOG_ERROR(L"Doc Wnd, cannot create the preview cover");
        }
    }
    return hwnd;
}

void CDocWnd::DestroyCover()
{
    // The cover deletes itself with its window.
    if (m_coverWnd && IsWindow(m_coverWnd)) DestroyWindow(m_coverWnd);
    m_coverWnd = nullptr;
    m_cover = nullptr;
}

void CDocWnd::ShowDoc(bool show)
{
    if (m_coverWnd) ::ShowWindow(m_coverWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    if (m_hWnd) ::ShowWindow(m_hWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

CControlUI* CDocWnd::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"ImagePaintControl") == 0) return new CImagePaintControlUI;
    return nullptr;
}

CImagePaintControlUI* CDocWnd::GetImageView()
{
    CControlUI* control = m_PaintManager.FindControl(L"ImageView");
    return control ? static_cast<CImagePaintControlUI*>(control->GetInterface(L"ImagePaintControl")) : nullptr;
}

void CDocWnd::InitWindow()
{
    if (!m_parent) m_parent = ::GetParent(m_hWnd);
    if (!m_coverFlag) {
        if (CControlUI* previous = m_PaintManager.FindControl(L"PreviousBtn")) previous->SetVisible(true);
        if (CControlUI* next = m_PaintManager.FindControl(L"NextBtn")) next->SetVisible(true);
    }
    PlacePageButtons();
}

void CDocWnd::PlacePageButtons()
{
    if (m_coverFlag || !m_hWnd) return;
    RECT client{};
    GetClientRect(m_hWnd, &client);
    if (IsRectEmpty(&client)) return;
    const int height = client.bottom - client.top;
    if (CControlUI* previous = m_PaintManager.FindControl(L"PreviousBtn")) {
        previous->SetFixedXY(SIZE{0, (height - previous->GetFixedHeight()) / 2});
        previous->NeedParentUpdate();
    }
    if (CControlUI* next = m_PaintManager.FindControl(L"NextBtn")) {
        next->SetFixedXY(SIZE{client.right - next->GetFixedWidth(), (height - next->GetFixedHeight()) / 2});
        next->NeedParentUpdate();
    }
}

void CDocWnd::PlaceCover()
{
    if (!m_coverWnd || !m_hWnd) return;
    RECT own{};
    RECT parent{};
    GetWindowRect(m_hWnd, &own);
    HWND parentWnd = m_parent ? m_parent : ::GetParent(m_hWnd);
    if (!parentWnd || !GetWindowRect(parentWnd, &parent)) return;
    RECT both{};
    const bool inside = IntersectRect(&both, &own, &parent) && EqualRect(&both, &own) && IsWindowVisible(m_hWnd);
    if (inside) {
        SetWindowPos(m_coverWnd, HWND_TOP, own.left, own.top, own.right - own.left, own.bottom - own.top,
                     SWP_NOACTIVATE | SWP_SHOWWINDOW);
    } else {
        ::ShowWindow(m_coverWnd, SW_HIDE);
    }
}

void CDocWnd::OnMove()
{
    PlaceCover();
    PlacePageButtons();
}

LRESULT CDocWnd::OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    LRESULT result = WindowImplBase::OnSize(uMsg, wParam, lParam, bHandled);
    PlaceCover();
    PlacePageButtons();
    return result;
}

LRESULT CDocWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_MOVE) OnMove();
    if (uMsg == WM_DESTROY) DestroyCover();
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

LRESULT CDocWnd::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    DestroyCover();
    return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

void CDocWnd::OnFinalMessage(HWND hWnd)
{
    WindowImplBase::OnFinalMessage(hWnd);
    // A box of this window is still open down the stack: the object goes when it returns.
    if (m_boxesOpen != 0) {
        m_goneWhileAsking = true;
        return;
    }
    delete this;
}

void CDocWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_PAINTOBJCHANGED) {
        OnPaintObjChanged(msg);
        return;
    }
    if (msg.sType == DUI_MSGTYPE_CLICK && (IsName(msg.pSender, L"PreviousBtn") || IsName(msg.pSender, L"NextBtn"))) {
        OnPageButton(msg.pSender->GetName());
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CDocWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    switch (uMsg) {
    case WM_USER_UI_NOTICE:
        OnUiNotice(wParam, lParam);
        bHandled = TRUE;
        return 0;
    case WM_USER_CONVERT_PROGRESS:
        if (wParam != 0) break;
        OnConvertProgress(reinterpret_cast<ConvertProgress*>(lParam));
        bHandled = TRUE;
        return 0;
    case WM_USER_UPLOAD_RESULT:
        if (wParam != 0) break;
        OnUploadResult(reinterpret_cast<FileTransStatus*>(lParam));
        bHandled = TRUE;
        return 0;
    default:
        break;
    }
    bHandled = FALSE;
    return 0;
}

void CDocWnd::OnUiNotice(WPARAM code, LPARAM lParam)
{
    switch (code) {
    case eDocNotice_Close:
        CloseDocument(lParam);
        break;
    case eDocNotice_Select:
        SetSelected(lParam == 1);
        break;
    case eDocNotice_CoverClicked:
        if (lParam) OnCoverClicked(*reinterpret_cast<const uint64_t*>(lParam));
        break;
    case eDocNotice_LoadPage: {
        std::unique_ptr<PageChangeRecord> request(reinterpret_cast<PageChangeRecord*>(lParam));
        if (request) LoadPageObjects(request->docId, request->page);
        break;
    }
    case eDocNotice_RefreshPage:
        RefreshPageObjects();
        break;
    case eDocNotice_DocInfo: {
        std::unique_ptr<DocPageList> list(reinterpret_cast<DocPageList*>(lParam));
        if (list) SetDocInfo(*list);
        break;
    }
    case eDocNotice_DownloadStart: {
        std::unique_ptr<uint64_t> id(reinterpret_cast<uint64_t*>(lParam));
        if (id) OnDownloadStart(*id);
        break;
    }
    case eDocNotice_Download: {
        std::unique_ptr<DocDownloadProgress> progress(reinterpret_cast<DocDownloadProgress*>(lParam));
        if (progress) OnDownloadProgress(progress->docId, progress->percent);
        break;
    }
    case eDocNotice_LiveDocInfo: {
        const auto* list = reinterpret_cast<const DocPageList*>(lParam);
        if (list && list->docId == m_docId && list->pageCount != 0 && list->currentPage != 0) SetDocInfo(*list);
        break;
    }
    case eDocNotice_Drawing:
        if (CImagePaintControlUI* view = GetImageView()) view->SetPenEnabled(lParam != 0);
        break;
    case kNoticeAppendPen:
        // Only a shown page has a list: another page reads its pens from the store when it is opened.
        if (CImagePaintControlUI* view = GetImageView(); view && lParam && m_docId != 0 && m_pages.currentPage != 0)
            view->AppendObject(*reinterpret_cast<const PaintObject*>(lParam));
        break;
    case eDocNotice_PageButtons:
        if (CControlUI* previous = m_PaintManager.FindControl(L"PreviousBtn")) previous->SetVisible(lParam != 0);
        if (CControlUI* next = m_PaintManager.FindControl(L"NextBtn")) next->SetVisible(lParam != 0);
        break;
    case eDocNotice_Cover:
        if (m_coverWnd) ::ShowWindow(m_coverWnd, lParam ? SW_SHOWNOACTIVATE : SW_HIDE);
        break;
    default:
        break;
    }
}

// ---- opening, converting and uploading ----

bool CDocWnd::OpenSlideFile(const CString& path)
{
    if (path.IsEmpty() || !FileExists(path)) {
        LOG_ERROR(L"Doc Wnd, cannot open the slide file [%s]", path.GetString());
        return false;
    }
    if (m_cover) m_cover->SetDisabled(true);
    m_sourcePath = path;

    CString cached;
    if (!m_fileMd5.IsEmpty() && Db() && Db()->GetLVLInfo(m_fileMd5, cached) && !cached.IsEmpty() && FileExists(cached)) {
        SetDisplayState(eDocState_Converted, 0);
        if (!UploadPackage(cached, L"Error : upLoad the Converted file. Getting PPT LVL File Size Failed, [%s]"))
            Logger::Instance().Write(L"Error : UpLoad the Converted File Failed, file : %s", cached.GetString());
        return true;
    }
    m_pptMgr.AddListener(m_hWnd, WM_USER_CONVERT_PROGRESS);
    if (!m_pptMgr.StartConvert(path, GetAppDataFolder() + L"Caches\\"))
        LOG_ERROR(L"Doc Wnd, the conversion of [%s] did not start", path.GetString());
    return true;
}

bool CDocWnd::SendRequest()
{
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        // Every attempt gets a session of its own; the failed one is dropped.
        m_uploadSession = std::make_unique<CFileTransSession>();
        if (m_uploadSession->StartSend(*m_uploadRequest)) return true;
    }
    return false;
}

void CDocWnd::EndFailedUpload()
{
    SetDisplayState(eDocState_UploadFailed, 0);
    if (IDBMgr* db = Db()) db->DeletePPTStatus(m_fileMd5, RoomId());
}

bool CDocWnd::UploadPackage(const CString& packagePath, const wchar_t* sizeError)
{
    m_uploadSession = std::make_unique<CFileTransSession>();
    uint64_t size = 0;
    if (!ReadFileSize(packagePath, &size)) {
        // Nothing to send: an upload of an unknown size would only fail at the relay.
        Logger::Instance().Write(sizeError, packagePath.GetString());
        EndFailedUpload();
        return false;
    }
    m_uploadRequest = std::make_unique<FileTransRequest>();
    m_uploadRequest->notifyWindow = m_hWnd;
    m_uploadRequest->notifyMessage = WM_USER_UPLOAD_RESULT;
    m_uploadRequest->fileSize = size;
    m_uploadSequence = SessionContext::Instance()->NextSequence();
    m_uploadRequest->sequence = m_uploadSequence;
    m_uploadRequest->tag = 0;
    m_uploadRequest->fileName = SourceFileName();
    m_uploadRequest->localPath = packagePath;
    m_uploadRequest->md5 = m_fileMd5;
    if (!SendRequest()) {
        EndFailedUpload();
        LOG_ERROR(L"Upload File Failed, file : %s", packagePath.GetString());
        return false;
    }
    SetDisplayState(eDocState_Uploading, 0);
    if (IDBMgr* db = Db()) {
        db->SetPPTStatus(2, m_fileMd5, RoomId());
        db->SaveLVLInfo(m_fileMd5, packagePath);
    }
    return true;
}

void CDocWnd::OnConvertProgress(ConvertProgress* record)
{
    std::unique_ptr<ConvertProgress> owned(record);
    if (!record) return;
    switch (record->status) {
    case eConvertStatus_Converting:
        SetDisplayState(eDocState_Converting, record->progress);
        break;
    case eConvertStatus_Converted:
        SetDisplayState(eDocState_Converted, 0);
        UploadPackage(m_pptMgr.GetPackagePath(), L"Error : Before upload, Getting PPT LVL File Size Failed, [%s]");
        break;
    case eConvertStatus_Failed: {
        LOG_ERROR(L"Handle PPT Failed, nError = %d", record->result);
        SetDisplayState(eDocState_ConvertFailed, 0);
        if (IDBMgr* db = Db()) db->DeletePPTStatus(m_fileMd5, RoomId());
        CString text;
        switch (record->result) {
        case eConvert_NoPowerPoint:
            text = LangText(49, L"Please Install Microsoft office(2003, 2007, 2010, 2013)first!");
            break;
        case eConvert_ComException:
        case eConvert_OleInitFailed:
            text = LangText(50, L"PPT Exception!!!");
            break;
        case eConvert_NoSlides:
            text.Format(L"%s\n%s", SourceFileName().GetString(), LangText(55, L"PPT NO Page!!!").GetString());
            break;
        default:
            // Every other failure says what went wrong too, under the file's name.
            text.Format(L"%s\n%s", SourceFileName().GetString(), ConvertFailureText(record->result).GetString());
            break;
        }
        // The box runs its own loop: the window may be gone when it returns.
        Ask(nullptr, text, LangText(29, L"Error"), 0);
        EndIfGoneWhileAsking();
        return;
    }
    default:
        LOG_ERROR(L"Doc Wnd, conversion progress of unknown status %d", record->status);
        break;
    }
}

void CDocWnd::OnUploadResult(FileTransStatus* record)
{
    if (!record) return;
    const FileTransStatus status = *record;
    switch (status.state) {
    case FTS_PROGRESS:
        SetDisplayState(eDocState_Uploading, status.percent);
        break;
    case FTS_SEND_FAILED:
        // The box runs its own loop: the record goes back first, so nothing waits on it meanwhile.
        if (m_uploadSession) m_uploadSession->FreeStatus(record);
        else CxFileTransBase::FreeOrphanStatus(record);
        record = nullptr;
        OnSendFailed(status);
        break;
    case FTS_SEND_DONE:
        // A damaged package is shown in a box with its own loop: the record goes back first here too.
        if (m_uploadSession) m_uploadSession->FreeStatus(record);
        else CxFileTransBase::FreeOrphanStatus(record);
        record = nullptr;
        if (status.sequence == m_uploadSequence && status.tag == 0) OnSendDone(status);
        break;
    case FTS_RECV_DONE:
        LOG_ERROR(L"upload file, but recv download file msg(%d). the upload file is %s", status.state,
                  m_sourcePath.GetString());
        break;
    default:
        break;
    }
    if (!record) return;
    if (m_uploadSession) m_uploadSession->FreeStatus(record);
    else CxFileTransBase::FreeOrphanStatus(record);
}

void CDocWnd::OnSendFailed(const FileTransStatus& status)
{
    if (m_retryBoxShown) return;
    m_retryBoxShown = 1;
    if (!m_uploadRequest || m_uploadRequest->md5.Compare(m_fileMd5) != 0) {
        LOG_ERROR(L"upload file(%s) faild, but there is not file transfer information. this is impossible.",
                  m_sourcePath.GetString());
        m_retryBoxShown = 0;
        return;
    }
    CString text;
    if (HasLanguageTable())
        text.Format(L"%s%s", LangText(64, L"").GetString(), m_uploadRequest->fileName.GetString());
    else
        text.Format(L"File Upload Failed! [%s]", m_uploadRequest->fileName.GetString());
    const int answer = Ask(m_hWnd, text, LangText(29, L"Error"), MB_RETRYCANCEL | 0x50);
    // The class ended while the user was asked: the window is gone and nothing more is tried.
    if (EndIfGoneWhileAsking()) return;
    if (answer == IDRETRY) {
        if (SendRequest()) {
            SetDisplayState(eDocState_Uploading, 0);
        } else {
            EndFailedUpload();
            LOG_ERROR(L"Upload File Failed, file : %s", m_uploadRequest->localPath.GetString());
        }
    } else {
        EndFailedUpload();
        LOG_ERROR(L"File Uploading Failed, file : %s, code = %d", m_uploadRequest->localPath.GetString(),
                  static_cast<int16_t>(status.error));
    }
    m_retryBoxShown = 0;
}

void CDocWnd::OnSendDone(const FileTransStatus& status)
{
    m_docId = status.transferId;
    CString package = m_pptMgr.GetPackagePath();
    if (package.IsEmpty() && Db()) Db()->GetLVLInfo(m_fileMd5, package);

    // The room hears of the package only once it is known to unpack: students would download it for
    // nothing otherwise.
    m_pages.Clear();
    m_pages.docId = m_docId;
    const int result = m_pptMgr.ParsePackage(&m_pages, package, CString());
    if (result != 0 || m_pages.pageCount == 0) {
        LOG_ERROR(L"Doc Wnd, the uploaded package [%s] cannot be unpacked, code = %d", package.GetString(), result);
        OnDamagedPackage();
        return;
    }

    uint64_t size = 0;
    if (!package.IsEmpty() && FileExists(package) && ReadFileSize(package, &size)) {
        CCmdProtocol* channel = Channel();
        if (!channel || !channel->SendFileNotice(SourceFileName(), m_fileMd5, SessionContext::Instance()->userId,
                                                 m_docId, size))
            LOG_ERROR(L"Doc Wnd, the room was not told of document %I64u", m_docId);
    } else {
        LOG_ERROR(L"Before inform LVL file can be downloaded, Getting PPT LVL File Size Failed, [%s]",
                  package.GetString());
    }
    LOG_INFO(L"Doc Wnd upload file --- ID=%I64u,Tpage=%d, CurPage=%d", m_docId, m_pages.pageCount,
             m_pages.currentPage);
    if (IDBMgr* db = Db()) {
        db->SetPPTStatusFileId(m_docId, m_fileMd5, RoomId());
        db->SetPPTStatus(0, m_fileMd5, RoomId());
        db->SavePPTInfo(m_pages, m_docId, RoomId(), SourceFileName());
    }
    SetDisplayState(eDocState_Shown, 0);
    ShowCurrentPage();
    if (m_cover) m_cover->SetDisabled(false);
}

void CDocWnd::OnDamagedPackage()
{
    m_pages.Clear();
    m_docId = 0;
    SetDisplayState(eDocState_ConvertFailed, 0);
    // The pick is over and the damaged package forgotten: picking the file again converts it afresh.
    if (IDBMgr* db = Db()) {
        db->DeletePPTStatus(m_fileMd5, RoomId());
        db->SaveLVLInfo(m_fileMd5, CString());
    }
    CString text;
    text.Format(L"%s\n%s", SourceFileName().GetString(),
                LangText(97, L"The slide package is damaged: please pick the file again.").GetString());
    Ask(nullptr, text, LangText(29, L"Error"), 0);
    EndIfGoneWhileAsking();
}

int CDocWnd::Ask(HWND owner, const CString& text, const CString& caption, UINT flags)
{
    ++m_boxesOpen;
    const int answer = g_messageBox(owner, text, caption, flags);
    --m_boxesOpen;
    return answer;
}

bool CDocWnd::EndIfGoneWhileAsking()
{
    if (!m_goneWhileAsking || m_boxesOpen != 0) return m_goneWhileAsking;
    delete this;
    return true;
}

// ---- pages ----

void CDocWnd::ShowPage(const CString& path, bool fade)
{
    if (path.IsEmpty()) {
        LOG_ERROR(L"Draw Doc Image, but the image path is empty");
        return;
    }
    if (!FileExists(path)) {
        LOG_ERROR(L"Draw Doc Image, but the image path is not existed---%s", path.GetString());
        return;
    }
    CImagePaintControlUI* view = GetImageView();
    if (!view) return;
    view->ClearObjects();
    view->SetFadeOpacity(kFadeOpacity);
    view->SetFade(fade);
    view->SetImage(path);
    if (!m_coverFlag) RefreshPageObjects();
}

void CDocWnd::ShowCurrentPage()
{
    const size_t index = m_pages.currentPage >= 1 ? m_pages.currentPage - 1u : 0u;
    ShowPage(index < m_pages.values.size() ? m_pages.values[index] : CString(), true);
}

void CDocWnd::OnPageButton(const CDuiString& name)
{
    const bool previous = name == L"PreviousBtn";
    if (previous) {
        if (m_pages.currentPage <= 1) {
            LOG_INFO(L"Doc Wnd, Cann't go to Previous page, CurPage=%d, Tpage=%d, ID=%I64u", m_pages.currentPage,
                     m_pages.pageCount, m_docId);
            return;
        }
        --m_pages.currentPage;
    } else {
        if (m_pages.currentPage >= m_pages.pageCount) {
            LOG_INFO(L"Doc Wnd, Cann't go to Next page, CurPage=%d, Tpage=%d, ID=%I64u", m_pages.currentPage,
                     m_pages.pageCount, m_docId);
            return;
        }
        ++m_pages.currentPage;
    }
    ShowCurrentPage();
    auto list = std::make_unique<DocPageList>(m_pages);
    list->docId = m_docId;
    if (::PostMessageW(m_parent, WM_USER_UI_NOTICE, eDocNotice_DocInfo, reinterpret_cast<LPARAM>(list.get())))
        list.release();
}

bool CDocWnd::SetDocInfo(const DocPageList& list)
{
    if (list.pageCount == 0 || list.currentPage == 0) {
        LOG_ERROR(L"Set Doc Info---DocID=%I64u; TotalPage=%d; curPage=%d", list.docId, list.pageCount,
                  list.currentPage);
        return false;
    }
    if (list.docId == m_docId && m_pages.pageCount != 0 && !m_pages.values.empty()) {
        m_pages.currentPage = list.currentPage <= m_pages.pageCount ? list.currentPage : m_pages.pageCount;
    } else {
        m_docId = list.docId;
        m_pages = list;
        // A list naming fewer images than pages is held to the images it has.
        if (m_pages.values.size() < m_pages.pageCount) m_pages.pageCount = static_cast<uint16_t>(m_pages.values.size());
        if (m_pages.currentPage > m_pages.pageCount) m_pages.currentPage = m_pages.pageCount;
    }
    m_pages.docId = m_docId;
    // The pages are there now: the download's percent text gives way to the page.
    SetDisplayState(eDocState_Shown, 0);
    ShowCurrentPage();
    return true;
}

void CDocWnd::OnDownloadStart(uint64_t docId)
{
    if (docId == 0) return;
    m_docId = docId;
    m_pages.Clear();
    m_pages.docId = docId;
    // The page of the document shown before is no page of this one: the download's text stands alone.
    if (CImagePaintControlUI* view = GetImageView()) {
        view->ClearObjects();
        view->SetFade(false);
        view->SetImage(L"");
    }
    SetDisplayState(eDocState_Downloading, 0);
}

void CDocWnd::OnDownloadProgress(uint64_t docId, uint16_t percent)
{
    if (docId != m_docId || m_displayState == eDocState_Shown) return;
    SetDisplayState(eDocState_Downloading, percent);
}

void CDocWnd::SetDisplayState(int32_t state, float percent)
{
    m_displayState = state;
    if (CImagePaintControlUI* view = GetImageView()) view->SetState(state, percent);
}

// ---- selection, closing, drawings ----

void CDocWnd::PostDocumentPayload(UINT message, WPARAM wParam)
{
    DocPageList list = m_pages;
    list.docId = m_docId;
    auto payload = std::make_unique<WndMsgPayload>();
    payload->SetDocument(m_hWnd, list);
    if (::PostMessageW(m_parent, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) payload.release();
}

void CDocWnd::SetSelected(bool selected)
{
    if (!m_coverFlag) return;
    if (!selected) {
        if (m_cover) m_cover->SetSelected(false, true);
        return;
    }
    PostDocumentPayload(WM_USER_PANEL_ACTION, 1);
}

void CDocWnd::OnCoverClicked(uint64_t docId)
{
    if (!m_coverFlag || docId != m_docId) return;
    if (m_cover && !m_cover->IsSelected() && !(m_cover->GetFlags() & eCover_Disabled)) m_cover->SetSelected(true, true);
    PostDocumentPayload(WM_USER_UI_NOTICE, eDocNotice_CoverClicked);
}

void CDocWnd::CloseDocument(LPARAM flags)
{
    if (flags & kDocCloseTellPanel) PostDocumentPayload(WM_USER_PANEL_ACTION, 0);
    if (IDBMgr* db = Db()) {
        if (!m_fileMd5.IsEmpty()) db->DeletePPTStatus(m_fileMd5, RoomId());
        else db->DeletePPTStatusByFileId(m_docId);
    }
    ::PostMessageW(m_parent, WM_USER_UI_NOTICE, eDocNotice_Close, m_closeValue);
}

void CDocWnd::RefreshPageObjects()
{
    LoadPageObjects(m_docId, m_pages.currentPage);
}

void CDocWnd::LoadPageObjects(uint64_t docId, uint16_t page)
{
    if (m_docId == 0 || m_pages.pageCount == 0 || m_pages.currentPage == 0) return;
    if (docId != m_docId || page != m_pages.currentPage) return;
    CImagePaintControlUI* view = GetImageView();
    if (!view) return;
    KeyedPaintObjects objects;
    RemotePaintStore::GetPage(eRemotePaint_Document, m_docId, page, objects);
    view->LoadSharedObjects(objects);
}

void CDocWnd::OnPaintObjChanged(TNotifyUI& msg)
{
    // The view hands over its stroke: freed here on every path.
    std::unique_ptr<PaintStroke> stroke(reinterpret_cast<PaintStroke*>(msg.lParam));
    if (!stroke || !msg.pSender || wcsncmp(msg.pSender->GetName().GetData(), L"ImageView", 9) != 0) return;
    auto record = std::make_unique<PaintChangeRecord>();
    record->sourceKind = ePaintChange_Document;
    record->objectKind = static_cast<uint8_t>(msg.wParam);
    record->page = m_pages.currentPage;
    record->docId = m_docId;
    record->surfaceWidth = static_cast<uint16_t>(msg.pSender->GetWidth());
    record->surfaceHeight = static_cast<uint16_t>(msg.pSender->GetHeight());
    record->stroke = *stroke;
    HWND mainWnd = SessionContext::Instance()->mainWindow ? SessionContext::Instance()->mainWindow : m_parent;
    if (::PostMessageW(mainWnd, WM_USER_PAINTOBJ_CHANGED, 0, reinterpret_cast<LPARAM>(record.get())))
        record.release();
    else
        LOG_ERROR(L"Doc Wnd, the stroke of page %d cannot be posted", record->page);
}

// ---- helpers ----

CString CDocWnd::SourceFileName() const
{
    const int slash = m_sourcePath.ReverseFind(L'\\');
    return slash >= 0 ? m_sourcePath.Mid(slash + 1) : m_sourcePath;
}

int32_t CDocWnd::RoomId() const
{
    return static_cast<int32_t>(SessionContext::Instance()->room.roomId);
}

IDBMgr* CDocWnd::Db()
{
    if (!m_db) m_db = CSqliteMgr::GetInstance();
    return m_db;
}

CCmdProtocol* CDocWnd::Channel()
{
    if (!m_channelSet) {
        m_channel = CProtocolMgr::Instance()->Channel();
        m_channelSet = true;
    }
    return m_channel;
}
