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
// A turn of notices and starts takes about this much of the window's time, at least one item.
const DWORD kDownloadSliceMs = 10;
// Notices whose stored pages are read in one query.
const size_t kNoticeBatch = 32;

bool AllPagesExist(const ParamList& pages)
{
    if (pages.pageCount == 0 || pages.values.empty()) return false;
    for (const CString& path : pages.values)
        if (!PathFileExistsW(path)) return false;
    return true;
}

bool SliceUsed(DWORD begun)
{
    return ::GetTickCount() - begun >= kDownloadSliceMs;
}

} // namespace

FileItemRecord* CMainWnd::FindDocumentLocked(uint64_t fileId)
{
    auto found = m_documentIndex.find(fileId);
    return found == m_documentIndex.end() ? nullptr : &m_documents[found->second];
}

const FileItemRecord* CMainWnd::FindDocumentLocked(uint64_t fileId) const
{
    auto found = m_documentIndex.find(fileId);
    return found == m_documentIndex.end() ? nullptr : &m_documents[found->second];
}

size_t CMainWnd::GetDocumentCount() const
{
    std::lock_guard<std::mutex> lock(m_documentsLock);
    return m_documents.size();
}

bool CMainWnd::GetDocument(uint64_t fileId, FileItemRecord& out) const
{
    std::lock_guard<std::mutex> lock(m_documentsLock);
    const FileItemRecord* item = FindDocumentLocked(fileId);
    if (item) out = *item;
    return item != nullptr;
}

size_t CMainWnd::GetDownloadCount() const
{
    std::lock_guard<std::mutex> lock(m_downloadsLock);
    return m_downloads.size();
}

// A room may list thousands of documents: the notices wait in arrival order and are handled a slice at a
// time (see RunDownloadTurn), so the window answers in between.
void CMainWnd::OnFileNotice(const FileNoticeRecord* notice)
{
    if (!notice) return;
    m_pendingNotices.push_back(*notice);
    ScheduleDownloadTurn();
}

void CMainWnd::OnFileList(const FileNoticeList* notices)
{
    if (!notices) return;
    for (const FileNoticeRecord* notice : *notices)
        if (notice) m_pendingNotices.push_back(*notice);
    ScheduleDownloadTurn();
}

void CMainWnd::TakeFileNotices(DWORD turnBegun)
{
    if (m_pendingNotices.empty()) return;
    const CString saveFolder = GetAppDataFolder() + L"DownloadFiles\\";
    if (!PathFileExistsW(saveFolder)) SHCreateDirectoryExW(nullptr, saveFolder, nullptr);
    IDBMgr* db = CSqliteMgr::GetInstance();
    while (!m_pendingNotices.empty()) {
        // One query for the stored pages of a batch instead of two for every notice.
        const size_t count = m_pendingNotices.size() < kNoticeBatch ? m_pendingNotices.size() : kNoticeBatch;
        std::vector<uint64_t> ids;
        for (size_t i = 0; i < count; ++i) ids.push_back(m_pendingNotices[i].fileId);
        std::map<uint64_t, ParamList> stored;
        if (db && !db->GetPPTInfos(ids, stored)) stored.clear();
        for (size_t i = 0; i < count; ++i) {
            FileNoticeRecord notice = std::move(m_pendingNotices.front());
            m_pendingNotices.pop_front();
            HandleFileNotice(notice, saveFolder, stored);
            if (SliceUsed(turnBegun)) return;
        }
    }
}

void CMainWnd::HandleFileNotice(const FileNoticeRecord& notice, const CString& saveFolder,
                                const std::map<uint64_t, ParamList>& stored)
{
    FileItemRecord entry;
    entry.fileId = notice.fileId;
    entry.name = notice.fileName;
    entry.value = notice.fileSize;
    entry.text1 = saveFolder;
    entry.extra = notice.uploaderId;
    {
        std::lock_guard<std::mutex> lock(m_documentsLock);
        if (!FindDocumentLocked(entry.fileId)) {
            m_documentIndex.emplace(entry.fileId, m_documents.size());
            m_documents.push_back(entry);
        }
    }
    auto found = stored.find(entry.fileId);
    if (found != stored.end() && AllPagesExist(found->second)) {
        {
            std::lock_guard<std::mutex> lock(m_documentsLock);
            FileItemRecord* item = FindDocumentLocked(entry.fileId);
            item->flag = 1;
            item->pages = found->second;
        }
        // Already unpacked here: nothing to download. A teacher who comes back gets it into the panel
        // again, since picking the file once more is refused as uploaded.
        entry.flag = 1;
        entry.pages = found->second;
        ShowIfLiveDocument(entry.fileId);
        HandDocumentToPanel(entry);
        return;
    }
    QueueDownload(entry, false);
}

void CMainWnd::QueueDownload(const FileItemRecord& entry, bool first)
{
    // The file list comes again after every reconnection: a file still arriving keeps its one session,
    // since a second would write the same "_tf" and "_pf" files.
    {
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        for (const auto& download : m_downloads)
            if (download.first == entry.fileId) return;
    }
    if (!m_startIds.insert(entry.fileId).second) return;
    PendingStart start;
    start.entry = entry;
    if (first) m_startQueue.push_front(std::move(start));
    else m_startQueue.push_back(std::move(start));
}

bool CMainWnd::CanStartQueued() const
{
    // Starts waiting for their retry count too: a relay that is down for a moment must not make
    // thousands of them, each of which would then start a transfer at once.
    return !m_startQueue.empty() && GetDownloadCount() < kMaxRunningDownloads &&
           m_retryWaits.size() < kMaxRetryWaits;
}

void CMainWnd::StartQueuedDownloads(DWORD turnBegun)
{
    bool tried = false;
    while (CanStartQueued()) {
        // At least one attempt a turn, whatever the notices took.
        if (tried && SliceUsed(turnBegun)) return;
        tried = true;
        PendingStart start = std::move(m_startQueue.front());
        m_startQueue.pop_front();
        AttemptStart(std::move(start));
    }
}

void CMainWnd::AttemptStart(PendingStart start)
{
    const uint64_t fileId = start.entry.fileId;
    ++start.attempts;
    FileTransRequest request;
    request.notifyWindow = m_hWnd;
    request.notifyMessage = WM_USER_DOWNLOAD_RESULT;
    request.fileSize = start.entry.value;
    request.transferId = fileId;
    request.fileName = start.entry.name;
    request.saveFolder = start.entry.text1;
    std::unique_ptr<CFileTransSession> session(new (std::nothrow) CFileTransSession);
    if (session && session->StartRecv(request)) {
        m_startIds.erase(fileId);
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        m_downloads.emplace_back(fileId, std::move(session));
        return;
    }
    session.reset();
    if (start.attempts < kStartAttempts) {
        // The next attempt a second later, by the window's timer: the window goes on meanwhile.
        start.dueTick = ::GetTickCount() + kStartRetryMs;
        m_retryWaits.push_back(std::move(start));
        ArmRetryTimer();
        return;
    }
    m_startIds.erase(fileId);
    LOG_ERROR(L"Start Download File Failed, file : %s, file id = %d", start.entry.name.GetString(),
              static_cast<int>(fileId));
    PostDownloadErrorBox(fileId);
}

void CMainWnd::RunDownloadTurn()
{
    const DWORD begun = ::GetTickCount();
    TakeFileNotices(begun);
    StartQueuedDownloads(begun);
}

void CMainWnd::ScheduleDownloadTurn()
{
    if (m_downloadTurnPosted) return;
    if (m_pendingNotices.empty() && !CanStartQueued()) return;
    m_downloadTurnPosted = ::PostMessageW(m_hWnd, WM_MAINWND_DOWNLOAD_TURN, 0, 0) != FALSE;
    // A full message queue: the timer takes the next turn instead.
    if (!m_downloadTurnPosted) ::SetTimer(m_hWnd, eTimer_DownloadRetry, 10, nullptr);
}

void CMainWnd::ArmRetryTimer()
{
    if (m_retryWaits.empty()) return;
    const DWORD now = ::GetTickCount();
    DWORD wait = kStartRetryMs;
    for (const PendingStart& waiting : m_retryWaits) {
        const LONG left = static_cast<LONG>(waiting.dueTick - now);
        if (left < static_cast<LONG>(wait)) wait = left > 0 ? static_cast<DWORD>(left) : 1;
    }
    ::SetTimer(m_hWnd, eTimer_DownloadRetry, wait, nullptr);
}

void CMainWnd::OnDownloadRetryTimer()
{
    ::KillTimer(m_hWnd, eTimer_DownloadRetry);
    // Retries whose second is over are made now, in the order they failed, whatever runs: they were let
    // in already, and there are at most kMaxRetryWaits of them.
    const DWORD now = ::GetTickCount();
    std::vector<PendingStart> due, waiting;
    for (PendingStart& start : m_retryWaits)
        (static_cast<LONG>(now - start.dueTick) >= 0 ? due : waiting).push_back(std::move(start));
    m_retryWaits.swap(waiting);
    for (PendingStart& start : due) AttemptStart(std::move(start));
    RunDownloadTurn();
    ArmRetryTimer();
    ScheduleDownloadTurn();
}

void CMainWnd::PostDownloadErrorBox(uint64_t fileId)
{
    auto* id = new (std::nothrow) uint64_t(fileId);
    if (id && !::PostMessageW(m_hWnd, WM_USER_ERROR_BOX, 1, reinterpret_cast<LPARAM>(id))) delete id;
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
        PostDownloadErrorBox(status.transferId);
        LOG_ERROR(L"File Download Failed, file : %I64u, code = %d", status.transferId,
                  static_cast<int>(static_cast<int16_t>(status.error)));
        ScheduleDownloadTurn(); // its place goes to the next queued download
        break;
    }
    case FTS_RECV_DONE: {
        std::unique_ptr<CFileTransSession> session = TakeDownload(poster);
        CString path = session ? session->GetPath(status.transferId) : CString();
        session.reset();
        ScheduleDownloadTurn();
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
        if (FileItemRecord* item = FindDocumentLocked(fileId)) {
            item->flag = 1;
            item->pages = pages;
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
    // The box is modal and its loop handles the window's messages: a failure meanwhile waits for this box
    // to close instead of opening a box on top of it, so a list of bad files asks about one at a time.
    if (m_downloadBoxOpen) {
        if (m_pendingBoxIds.insert(*fileId).second) m_pendingBoxes.push_back(*fileId);
        return;
    }
    FileItemRecord entry;
    if (GetDocument(*fileId, entry) && entry.flag != 1) {
        CString text;
        if (HasLanguageTable()) text.Format(L"%s%s", LangText(36, L"").GetString(), entry.name.GetString());
        else text.Format(L"File Download Failed! [%s]", entry.name.GetString());
        m_downloadBoxOpen = true;
        const int answer = ShowMessageBox(m_hWnd, text, LangText(29, L"Error"), 0x55);
        m_downloadBoxOpen = false;
        // Only Retry starts again: Escape or the box's close button is no request for more attempts.
        // The room may have announced the file again while the box was open, and that download may
        // have finished.
        if (answer == IDRETRY && GetDocument(*fileId, entry)) {
            if (entry.flag == 1) {
                LOG_INFO(L"Retry of the download of file id %I64u skipped: it has arrived meanwhile", *fileId);
            } else {
                QueueDownload(entry, true);
                StartQueuedDownloads(::GetTickCount());
                ScheduleDownloadTurn();
            }
        }
    }
    if (m_pendingBoxes.empty() || m_downloadBoxOpen) return;
    const uint64_t next = m_pendingBoxes.front();
    m_pendingBoxes.pop_front();
    m_pendingBoxIds.erase(next);
    PostDownloadErrorBox(next);
}

void CMainWnd::StopDownloads()
{
    ::KillTimer(m_hWnd, eTimer_DownloadRetry);
    m_pendingNotices.clear();
    m_startQueue.clear();
    m_retryWaits.clear();
    m_startIds.clear();
    m_pendingBoxes.clear();
    m_pendingBoxIds.clear();
    std::vector<std::pair<uint64_t, std::unique_ptr<CFileTransSession>>> downloads;
    {
        std::lock_guard<std::mutex> lock(m_downloadsLock);
        downloads.swap(m_downloads);
    }
    for (auto& download : downloads) download.second->Stop();
}
