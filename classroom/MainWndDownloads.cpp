// The room's documents: one entry per announced file, a download through the file server for each one
// not already unpacked here, its pages remembered in the record database, retries offered by a box.
#include "classroom/MainWnd.h"

#include "classroom/ControlPanelWnd.h"
#include "classroom/LiveStateOps.h"
#include "core/Folders.h"
#include "core/Logger.h"
#include "core/SessionContext.h"
#include "database/SqliteMgr.h"
#include "dialogs/MessageBox.h"
#include "filetransfer/FileTransSession.h"
#include "classroom/DocWnd.h"
#include "slides/PPTMgr.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <new>

namespace {

const int kStartAttempts = 3;
const DWORD kStartRetryMs = 1000;

bool AllPagesExist(const ParamList& pages)
{
    if (pages.pageCount == 0 || pages.values.empty()) return false;
    for (const CString& path : pages.values)
        if (!PathFileExistsW(path)) return false;
    return true;
}

} // namespace

size_t CMainWnd::GetDocumentCount() const
{
    std::lock_guard<std::mutex> lock(m_documentsLock);
    return m_documents.size();
}

bool CMainWnd::GetDocument(uint64_t fileId, FileItemRecord& out) const
{
    std::lock_guard<std::mutex> lock(m_documentsLock);
    for (const FileItemRecord& item : m_documents)
        if (item.fileId == fileId) {
            out = item;
            return true;
        }
    return false;
}

size_t CMainWnd::GetDownloadCount() const
{
    std::lock_guard<std::mutex> lock(m_downloadsLock);
    return m_downloads.size();
}

void CMainWnd::OnFileNotice(const FileNoticeRecord* notice)
{
    if (!notice) return;
    FileItemRecord entry;
    entry.fileId = notice->fileId;
    entry.name = notice->fileName;
    entry.value = notice->fileSize;
    entry.text1 = GetAppDataFolder() + L"DownloadFiles\\";
    entry.extra = notice->uploaderId;
    if (!PathFileExistsW(entry.text1)) SHCreateDirectoryExW(nullptr, entry.text1, nullptr);
    {
        std::lock_guard<std::mutex> lock(m_documentsLock);
        bool known = false;
        for (const FileItemRecord& item : m_documents) known = known || item.fileId == entry.fileId;
        if (!known) m_documents.push_back(entry);
    }
    ParamList stored;
    IDBMgr* db = CSqliteMgr::GetInstance();
    if (db && db->GetPPTInfo(stored, entry.fileId) && AllPagesExist(stored)) {
        {
            std::lock_guard<std::mutex> lock(m_documentsLock);
            for (FileItemRecord& item : m_documents)
                if (item.fileId == entry.fileId) {
                    item.flag = 1;
                    item.pages = stored;
                }
        }
        // Already unpacked here: nothing to download. A teacher who comes back gets it into the panel
        // again, since picking the file once more is refused as uploaded.
        entry.flag = 1;
        entry.pages = stored;
        ShowIfLiveDocument(entry.fileId);
        HandDocumentToPanel(entry);
        return;
    }
    StartDownload(entry);
}

void CMainWnd::OnFileList(const FileNoticeList* notices)
{
    if (!notices) return;
    for (const FileNoticeRecord* notice : *notices) OnFileNotice(notice);
}

bool CMainWnd::StartDownload(const FileItemRecord& entry)
{
    // The file list comes again after every reconnection: a file still arriving keeps its one session,
    // since a second would write the same "_tf" and "_pf" files.
    {
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        for (const auto& download : m_downloads)
            if (download.first == entry.fileId) return true;
    }
    FileTransRequest request;
    request.notifyWindow = m_hWnd;
    request.notifyMessage = WM_USER_DOWNLOAD_RESULT;
    request.fileSize = entry.value;
    request.transferId = entry.fileId;
    request.fileName = entry.name;
    request.saveFolder = entry.text1;
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        std::unique_ptr<CFileTransSession> session(new (std::nothrow) CFileTransSession);
        if (session && session->StartRecv(request)) {
            std::lock_guard<std::mutex> lock(m_downloadsLock);
            m_downloads.emplace_back(entry.fileId, std::move(session));
            return true;
        }
        session.reset();
        if (attempt < kStartAttempts) Sleep(kStartRetryMs);
    }
    LOG_ERROR(L"Start Download File Failed, file : %s, file id = %d", entry.name.GetString(), static_cast<int>(entry.fileId));
    auto* fileId = new (std::nothrow) uint64_t(entry.fileId);
    if (fileId && !::PostMessageW(m_hWnd, WM_USER_ERROR_BOX, 1, reinterpret_cast<LPARAM>(fileId))) delete fileId;
    return false;
}

std::unique_ptr<CFileTransSession> CMainWnd::TakeDownload(const CFileTransSession* ended)
{
    std::lock_guard<std::mutex> lock(m_downloadsLock);
    for (auto it = m_downloads.begin(); it != m_downloads.end(); ++it) {
        if (it->second.get() == ended) {
            std::unique_ptr<CFileTransSession> session = std::move(it->second);
            m_downloads.erase(it);
            return session;
        }
    }
    return nullptr;
}

void CMainWnd::OnDownloadResult(WPARAM wParam, FileTransStatus* record)
{
    if (!record) return;
    FileTransStatus status = *record;
    // The record goes back at once to the session that posted it, found by the record itself rather
    // than by its id; a record of a session already gone is freed as an orphan.
    CFileTransSession* poster = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        for (auto& download : m_downloads)
            if (download.second->Posted(record)) poster = download.second.get();
        if (poster) poster->FreeStatus(record);
        else CxFileTransBase::FreeOrphanStatus(record);
    }
    if (wParam != 0) return;
    const bool final = status.state == FTS_RECV_FAILED || status.state == FTS_RECV_DONE;
    if (final && !poster) {
        // Its session was stopped and removed already: nothing is left to report or unpack.
        LOG_ERROR(L"Download result %d for file id %I64u without its transfer", status.state, status.transferId);
        return;
    }
    switch (status.state) {
    case FTS_PROGRESS: {
        const LiveState& l = m_liveState;
        if ((l.flags & eLive_ScreenShare) || !IsLiveByte(l.docState) || l.docId != status.transferId) break;
        if (!m_docLive || !::IsWindowVisible(m_docLive)) break;
        auto* progress = new (std::nothrow) DocDownloadProgress{status.transferId, static_cast<uint16_t>(status.percent)};
        if (progress && !::PostMessageW(m_docLive, WM_USER_UI_NOTICE, eDocNotice_Download, reinterpret_cast<LPARAM>(progress)))
            delete progress;
        break;
    }
    case FTS_RECV_FAILED: {
        std::unique_ptr<CFileTransSession> session = TakeDownload(poster);
        if (session) session->Stop();
        auto* fileId = new (std::nothrow) uint64_t(status.transferId);
        if (fileId && !::PostMessageW(m_hWnd, WM_USER_ERROR_BOX, 1, reinterpret_cast<LPARAM>(fileId))) delete fileId;
        LOG_ERROR(L"File Download Failed, file : %I64u, code = %d", status.transferId,
                  static_cast<int>(static_cast<int16_t>(status.error)));
        break;
    }
    case FTS_RECV_DONE: {
        std::unique_ptr<CFileTransSession> session = TakeDownload(poster);
        CString path = session ? session->GetPath(status.transferId) : CString();
        session.reset();
        OnDownloadDone(status.transferId, path);
        break;
    }
    case FTS_SEND_FAILED:
    case FTS_SEND_DONE:
        LOG_ERROR(L"Download file, but recv uploade file msg(%d). the file id = %d", status.state,
                  static_cast<int>(status.transferId));
        break;
    default: break;
    }
}

void CMainWnd::OnDownloadDone(uint64_t fileId, const CString& path)
{
    ParamList pages;
    CPPTMgr unpacker;
    int code = path.IsEmpty() ? -1 : unpacker.ParsePackage(&pages, path, L"");
    if (code != 0 || pages.pageCount == 0 || pages.currentPage == 0) {
        Logger::Instance().Write(L"Error When File Download, Parse File--errCode = %d, Tpapge=%d, CurPage=%d, return", code,
                                 pages.pageCount, pages.currentPage);
        return;
    }
    LOG_INFO(L"Main Wnd Download file --- ID=%I64u,Tpage=%d, CurPage=%d", fileId, pages.pageCount, pages.currentPage);
    {
        std::lock_guard<std::mutex> lock(m_documentsLock);
        for (FileItemRecord& item : m_documents)
            if (item.fileId == fileId) {
                item.flag = 1;
                item.pages = pages;
            }
    }
    SessionContext* context = SessionContext::Instance();
    if (IDBMgr* db = CSqliteMgr::GetInstance())
        db->SavePPTInfo(pages, fileId, context ? static_cast<int32_t>(context->room.roomId) : 0, L"");
    ShowIfLiveDocument(fileId);
    FileItemRecord entry;
    if (GetDocument(fileId, entry)) HandDocumentToPanel(entry);
}

void CMainWnd::HandDocumentToPanel(const FileItemRecord& entry)
{
    SessionContext* session = SessionContext::Instance();
    if (!session || !IsTeacherRole(session->role) || !m_controlPanel || !::IsWindow(m_controlPanel->GetHWND())) return;
    const bool live = LiveStateDocumentLive(m_liveState) && m_liveState.docId == entry.fileId;
    m_controlPanel->AddDocuments({entry}, live ? entry.fileId : 0);
}

void CMainWnd::ShowIfLiveDocument(uint64_t fileId)
{
    const LiveState& l = m_liveState;
    if ((l.flags & eLive_ScreenShare) || !IsLiveByte(l.docState) || l.docId != fileId) return;
    LiveDocRecord doc{l.docId, l.docPage, l.docState};
    OnLiveDoc(&doc);
}

void CMainWnd::OnDownloadErrorBox(const uint64_t* fileId)
{
    if (!fileId) return;
    FileItemRecord entry;
    if (!GetDocument(*fileId, entry)) return;
    CString text;
    if (HasLanguageTable()) text.Format(L"%s%s", LangText(36, L"").GetString(), entry.name.GetString());
    else text.Format(L"File Download Failed! [%s]", entry.name.GetString());
    // Only Retry starts again: Escape or the box's close button is no request for more attempts.
    if (ShowMessageBox(m_hWnd, text, LangText(29, L"Error"), 0x55) != IDRETRY) return;
    // The box runs its own message loop: the room may have announced the file again meanwhile, and
    // that download may have finished.
    if (!GetDocument(*fileId, entry)) return;
    if (entry.flag == 1) {
        LOG_INFO(L"Retry of the download of file id %I64u skipped: it has arrived meanwhile", *fileId);
        return;
    }
    StartDownload(entry);
}

void CMainWnd::StopDownloads()
{
    std::vector<std::pair<uint64_t, std::unique_ptr<CFileTransSession>>> downloads;
    {
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        downloads.swap(m_downloads);
    }
    for (auto& download : downloads) download.second->Stop();
}
