// The window that shows one slide document page by page. In the teacher's control panel it previews a
// presentation the teacher opened: it converts the file, uploads the package through the relay,
// announces it to the room and shows its pages under a selectable cover. In the main window it shows
// the live document with page buttons and the drawings of each page.
#pragma once
#include "core/Records.h"
#include "filetransfer/FileTransSession.h"
#include "platform/ui/UIlib.h"
#include "slides/PPTMgr.h"

#include <cstdint>
#include <memory>

class CPreviewCoverWnd;
class CImagePaintControlUI;
class CCmdProtocol;
class IDBMgr;
struct ConvertProgress;

// What the slide view is told to show.
enum DocDisplayState : int32_t {
    eDocState_None = 0,
    eDocState_Converting = 1,    // with the conversion percent
    eDocState_Converted = 2,     // uploading begins
    eDocState_ConvertFailed = 3,
    eDocState_Uploading = 7,     // with the upload percent
    eDocState_UploadFailed = 8,
    eDocState_Downloading = 9,   // with the download percent
    eDocState_Shown = 11,
};

// Sub-codes of WM_USER_UI_NOTICE the document window handles or sends.
enum DocNotice : WPARAM {
    eDocNotice_Close = 1,          // in: lParam flags; out: lParam the close value
    eDocNotice_Select = 2,         // lParam 1 or 0
    eDocNotice_CoverClicked = 3,   // in: record starting with a u64 document id (the sender keeps it)
    eDocNotice_LoadPage = 4,       // PageChangeRecord, freed here
    eDocNotice_RefreshPage = 5,
    eDocNotice_DocInfo = 12,       // DocPageList, freed by the receiver
    eDocNotice_DownloadStart = 13, // heap uint64_t document id, freed here
    eDocNotice_Download = 14,      // DocDownloadProgress, freed here
    eDocNotice_LiveDocInfo = 15,   // DocPageList (the sender keeps it)
    eDocNotice_Drawing = 17,       // 0 off, else on
    eDocNotice_PageButtons = 23,   // 0 hide, else show
    eDocNotice_Cover = 24,         // 0 hide, else show
};

// lParam of sub-code 14.
struct DocDownloadProgress {
    uint64_t docId = 0;
    uint16_t percent = 0;
};

// Flag of CloseDocument (the cover's "selected" bit): the control panel is told first that its live
// document is gone.
const LPARAM kDocCloseTellPanel = 2;

class CDocWnd : public WindowImplBase {
public:
    // Without a cover: the main window's view of the live document, with page buttons.
    CDocWnd();
    // withCover: the control panel's preview, under a CPreviewCoverWnd.
    explicit CDocWnd(bool withCover);
    ~CDocWnd() override;

    // A child of parent (child, visible, clipping siblings and children); with the cover flag the cover
    // is laid over it. Null on failure (the object then still belongs to the caller).
    HWND CreateChild(HWND parent, LPCTSTR name, int x, int y, int width, int height);
    void ShowDoc(bool show);

    // The control panel sets the picked file's MD5 (32 hex characters) before opening it.
    void SetFileMd5(const CString& md5) { m_fileMd5 = md5; }
    // Converts (or takes the cached package of) a presentation and uploads it; false when the path is
    // empty or names no file.
    bool OpenSlideFile(const CString& path);
    // Takes over a document's pages (same document: only the current page) and shows the current page.
    bool SetDocInfo(const DocPageList& list);
    void CloseDocument(LPARAM flags);
    // What the parent is told with sub-code 1 when the document closes (0 unless set), so that a
    // parent holding several documents knows which one went.
    void SetCloseValue(LPARAM value) { m_closeValue = value; }

    // Where the window records and announces; the client's own are used unless these are set.
    void SetDatabase(IDBMgr* db) { m_db = db; }
    void SetCommandChannel(CCmdProtocol* channel) { m_channel = channel; m_channelSet = true; }
    // The modal box the window asks with (ShowMessageBox unless replaced).
    using MessageBoxFn = int (*)(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags);
    static void SetMessageBoxFn(MessageBoxFn fn);

    const DocPageList& GetPageList() const { return m_pages; }
    uint64_t GetDocId() const { return m_docId; }
    int32_t GetDisplayState() const { return m_displayState; }
    bool HasCover() const { return m_coverFlag != 0; }
    CPreviewCoverWnd* GetCover() const { return m_cover; }
    HWND GetCoverWindow() const { return m_coverWnd; }
    CImagePaintControlUI* GetImageView();
    uint32_t GetUploadSequence() const { return m_uploadSequence; }
    const CString& GetSourcePath() const { return m_sourcePath; }
    CPPTMgr& GetPPTMgr() { return m_pptMgr; }

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleDocWnd__"; }
    CDuiString GetSkinFile() override { return L"DocWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    virtual void OnMove();

private:
    void OnUiNotice(WPARAM code, LPARAM lParam);
    void OnConvertProgress(ConvertProgress* record);
    void OnUploadResult(FileTransStatus* record);
    void OnSendFailed(const FileTransStatus& status);
    void OnSendDone(const FileTransStatus& status);
    // An uploaded package that does not unpack: shown as failed, and the pick forgotten.
    void OnDamagedPackage();
    // The modal box (its own message loop); the window may be destroyed before it returns.
    int Ask(HWND owner, const CString& text, const CString& caption, UINT flags);
    // After a box: true when the window went meanwhile. The outermost box deletes the object then, and
    // the caller must not touch it any more.
    bool EndIfGoneWhileAsking();
    void OnPageButton(const CDuiString& name);
    void OnPaintObjChanged(TNotifyUI& msg);
    void OnDownloadStart(uint64_t docId);
    void OnDownloadProgress(uint64_t docId, uint16_t percent);
    void SetSelected(bool selected);
    void OnCoverClicked(uint64_t docId);
    void RefreshPageObjects();
    void LoadPageObjects(uint64_t docId, uint16_t page);

    // Uploads a package: a fresh request and up to three sessions. sizeError is logged with the path
    // when the package's size cannot be read.
    bool UploadPackage(const CString& packagePath, const wchar_t* sizeError);
    // Sends the current request with up to three fresh sessions.
    bool SendRequest();
    // An upload that cannot go on: shown as failed, and the pick's status row dropped, so that the
    // teacher may pick the file again.
    void EndFailedUpload();
    void ShowPage(const CString& path, bool fade);
    void ShowCurrentPage();
    void PlacePageButtons();
    void PlaceCover();
    void DestroyCover();
    void SetDisplayState(int32_t state, float percent);
    void PostDocumentPayload(UINT message, WPARAM wParam);
    CString SourceFileName() const;
    int32_t RoomId() const;
    IDBMgr* Db();
    CCmdProtocol* Channel();

    CPreviewCoverWnd* m_cover = nullptr; // deletes itself when its window goes
    HWND m_coverWnd = nullptr;
    LPARAM m_closeValue = 0;
    int m_coverFlag = 0;
    HWND m_parent = nullptr;
    CPPTMgr m_pptMgr;
    DocPageList m_pages;
    std::unique_ptr<CFileTransSession> m_uploadSession;
    std::unique_ptr<FileTransRequest> m_uploadRequest;
    uint64_t m_docId = 0;
    CString m_sourcePath;
    uint32_t m_uploadSequence = 0;
    CString m_fileMd5;
    int32_t m_displayState = eDocState_None;
    uint8_t m_retryBoxShown = 0;
    int m_boxesOpen = 0;             // boxes of this window still running their loops
    bool m_goneWhileAsking = false;  // the window was destroyed while one was open

    IDBMgr* m_db = nullptr;
    CCmdProtocol* m_channel = nullptr;
    bool m_channelSet = false;
};

// The size of a file; false when it cannot be read.
bool ReadFileSize(const CString& path, uint64_t* size);
