// The teacher's strip of live sources under the live area: one thumbnail per opened document, the
// camera and file buttons and the whiteboard and screen-share switches. Choosing a source tells the
// main window (WM_USER_PANEL_ACTION); the panel holds the camera and the document on air and
// deselects the one that is replaced.
#pragma once
#include "classroom/FloatingBars.h"
#include "core/Records.h"
#include "platform/ui/UIlib.h"

#include <cstdint>
#include <memory>
#include <vector>

class CWinContainerUI;
class CDocWnd;

class CControlPanelWnd : public CKeptFloatingWnd {
public:
    // One opened document and its thumbnail window.
    struct DocumentEntry {
        FileItemRecord file;
        HWND window = nullptr;
        CWinContainerUI* container = nullptr;
        CDocWnd* view = nullptr; // valid while window exists; null for windows made elsewhere
    };

    // The file the teacher picks for "OpenFileBtn"; an empty path when the dialog is cancelled.
    using FileChooser = CString (*)(HWND owner);
    // Replaces the open-file dialog (tests); null restores it.
    static void SetFileChooser(FileChooser chooser);

    LPCTSTR GetWindowClassName() const override { return L"__LumenvaleControlPanelWnd__"; }
    CDuiString GetSkinFile() override { return L"ControlPanelWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    void OnFinalMessage(HWND hWnd) override;

    // Operations of the main window.
    void ShowPanel(bool show);
    void SourceOff(int32_t kind);
    // Checks the whiteboard switch; answers whether it was checked before.
    bool CheckWhiteboard();
    // Sets the screen-share switch; answers whether it was checked before.
    bool SetScreenShare(bool checked);
    // A document window shown as a thumbnail, inserted before the buttons; false without the strip.
    bool AddDocumentThumbnail(const FileItemRecord& file, HWND documentWindow, CDocWnd* view = nullptr);
    // A picked presentation: refused with a box when this room has it uploaded or uploading already,
    // else a new thumbnail converts and uploads it. False when nothing was opened.
    bool OpenFile(const CString& path);
    // The room's documents: new ones get a thumbnail with their pages (or the download under way), the
    // one that is live (liveDocId, 0 for none) is selected.
    void AddDocuments(const std::vector<FileItemRecord>& documents, uint64_t liveDocId);
    void SelectDocument(uint64_t docId);
    void UpdateDocumentPages(uint64_t docId, const ParamList& pages, bool select);

    const WndMsgPayload* GetHeldCamera() const { return m_camera.get(); }
    const WndMsgPayload* GetHeldDocument() const { return m_document.get(); }
    size_t GetDocumentCount() const { return m_documents.size(); }

protected:
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnAddCamera();
    void OnOpenFile();
    // A refusal of a picked file whose MD5 this room knows; false when the pick may go on.
    bool RefuseKnownFile(const CString& path, const CString& md5);
    // A thumbnail document window, laid into the strip; null when it cannot be made.
    CDocWnd* CreateThumbnail(const FileItemRecord& file, LPCTSTR windowName);
    void OnSwitch(COptionUI* option, int32_t kind);
    void OnSourceAction(bool on, const WndMsgPayload& action);
    void HoldSelected(const WndMsgPayload& action);
    void RemoveThumbnail(HWND window);
    // The entry of a document; entries whose window is gone are dropped on the way.
    DocumentEntry* FindDocument(uint64_t docId);
    void PostToMain(WPARAM on, std::unique_ptr<WndMsgPayload> payload);
    static void Deselect(const std::unique_ptr<WndMsgPayload>& held);

    std::unique_ptr<WndMsgPayload> m_camera;
    std::unique_ptr<WndMsgPayload> m_document;
    std::vector<DocumentEntry> m_documents;
    HWND m_mainWnd = nullptr;
};
