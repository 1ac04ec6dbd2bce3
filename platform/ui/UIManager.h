// The paint manager: one per skinned window. It owns the control tree's root, turns window messages
// into control events, delivers notifications and control timers, keeps fonts and images, and paints
// the tree double-buffered.
#pragma once
#include "platform/ui/UIBase.h"
#include "platform/ui/UIRender.h"

#include <commctrl.h>

#include <deque>
#include <map>
#include <memory>
#include <string>

struct TFontInfo {
    HFONT hFont = nullptr;
    CDuiString sFontName;
    int iSize = 0;
    bool bBold = false;
    bool bUnderline = false;
    bool bItalic = false;
    TEXTMETRICW tm{};
};

// Posted to the paint window when delayed notifications or delayed deletions wait.
#define WM_APP_UI_ASYNC (WM_APP + 0x3F00)

class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();
    CPaintManagerUI(const CPaintManagerUI&) = delete;
    CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

    // Process-wide start-up and loop.
    static void SetInstance(HINSTANCE hInst);
    static HINSTANCE GetInstance();
    // The program folder, ending with a backslash.
    static CDuiString GetInstancePath();
    static void SetResourcePath(LPCTSTR pStrPath);
    static CDuiString GetResourcePath();
    static void MessageLoop();
    // Runs the pre-message filters of the managers whose window is the target or one of its parents.
    static bool TranslateMessage(const LPMSG pMsg);
    static void Term();

    void Init(HWND hWnd);
    HWND GetPaintWindow() const { return m_hWndPaint; }
    HDC GetPaintDC() const { return m_hDcPaint; }
    POINT GetMousePos() const { return m_ptLastMousePos; }
    SIZE GetClientSize() const;
    SIZE GetInitSize() const { return m_szInitWindowSize; }
    void SetInitSize(int cx, int cy) { m_szInitWindowSize = {cx, cy}; }
    RECT GetSizeBox() const { return m_rcSizeBox; }
    void SetSizeBox(const RECT& rc) { m_rcSizeBox = rc; }
    RECT GetCaptionRect() const { return m_rcCaption; }
    void SetCaptionRect(const RECT& rc) { m_rcCaption = rc; }
    SIZE GetRoundCorner() const { return m_szRoundCorner; }
    void SetRoundCorner(int cx, int cy) { m_szRoundCorner = {cx, cy}; }
    SIZE GetMinInfo() const { return m_szMinWindow; }
    void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
    SIZE GetMaxInfo() const { return m_szMaxWindow; }
    void SetMaxInfo(int cx, int cy) { m_szMaxWindow = {cx, cy}; }

    // Fonts, colours and images; a manager that uses its parent's resources reads them from there.
    void UseParentResource(CPaintManagerUI* pm) { m_pParentResourcePM = pm; }
    CPaintManagerUI* GetParentResource() const { return m_pParentResourcePM; }
    DWORD GetDefaultDisabledColor() const;
    void SetDefaultDisabledColor(DWORD dwColor) { m_dwDefaultDisabledColor = dwColor; }
    DWORD GetDefaultFontColor() const;
    void SetDefaultFontColor(DWORD dwColor) { m_dwDefaultFontColor = dwColor; }
    DWORD GetDefaultLinkFontColor() const { return 0xFF0000FF; }
    void SetDefaultFont(LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline, bool bItalic);
    // Answers the index of the new font.
    int AddFont(LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline, bool bItalic);
    int GetFontCount() const;
    // The font of an index; the default font for -1 or an unknown index.
    HFONT GetFont(int index);
    TFontInfo* GetFontInfo(int index);
    TFontInfo* GetDefaultFontInfo();
    // A cached image of the resource folder (or an absolute path); null when it cannot be loaded.
    const TImageInfo* GetImageEx(LPCTSTR bitmap);
    void AddDefaultAttributeList(LPCTSTR pStrControlName, LPCTSTR pStrControlAttrList);
    LPCTSTR GetDefaultAttributeList(LPCTSTR pStrControlName) const;
    // Per-window resource folder; falls back to the process-wide one.
    void SetWindowResourcePath(LPCTSTR path) { m_sResourcePath = path; }
    CDuiString GetWindowResourcePath() const;

    bool AttachDialog(CControlUI* pControl);
    bool InitControls(CControlUI* pControl, CControlUI* pParent = nullptr);
    void ReapObjects(CControlUI* pControl);
    // A control that was hidden or disabled, or holds the one that was, stops being hovered and its
    // tooltip ends: the mouse need not move for it to go.
    void EndHover(CControlUI* pControl);
    void RenameControl(CControlUI* pControl, const CDuiString& oldName, const CDuiString& newName);
    // Deletes a control later, from the loop (a control must not be deleted inside its own event).
    void AddDelayedCleanup(CControlUI* pControl);

    bool AddOptionGroup(LPCTSTR pStrGroupName, CControlUI* pControl);
    std::vector<CControlUI*>* GetOptionGroup(LPCTSTR pStrGroupName);
    void RemoveOptionGroup(LPCTSTR pStrGroupName, CControlUI* pControl);

    CControlUI* GetFocus() const { return m_pFocus; }
    void SetFocus(CControlUI* pControl);
    // Moves the focus to the next (or previous) visible, enabled control with UIFLAG_TABSTOP in tree
    // order, wrapping at the ends; false when the window has no such control.
    bool SetNextTabControl(bool bForward = true);
    CControlUI* GetRoot() const { return m_pRoot; }
    CControlUI* FindControl(POINT pt) const;
    CControlUI* FindControl(LPCTSTR pstrName) const;
    CControlUI* FindSubControlByPoint(CControlUI* pParent, POINT pt) const;
    CControlUI* FindSubControlByName(CControlUI* pParent, LPCTSTR pstrName) const;

    // Control timers: delivered as UIEVENT_TIMER with wParam the id.
    bool SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse);
    bool KillTimer(CControlUI* pControl, UINT nTimerID);
    void KillTimer(CControlUI* pControl);
    void RemoveAllTimers();

    void SetCapture();
    void ReleaseCapture();
    bool IsCaptured() const;

    bool AddNotifier(INotifyUI* pControl);
    bool RemoveNotifier(INotifyUI* pControl);
    // Synchronous: the sender's OnNotify first, then every notifier. Asynchronous: queued and delivered
    // from the loop, dropped when the sender is destroyed before.
    void SendNotify(TNotifyUI& Msg, bool bAsync = false);
    void SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool bAsync = false);

    bool AddPreMessageFilter(IMessageFilterUI* pFilter);
    bool RemovePreMessageFilter(IMessageFilterUI* pFilter);
    bool AddMessageFilter(IMessageFilterUI* pFilter);
    bool RemoveMessageFilter(IMessageFilterUI* pFilter);

    void Invalidate(RECT& rcItem);
    // Invalidation while a bulk change or a layout runs is gathered and reaches the window once, at
    // the end of the outermost batch: every control's own call would cost a round trip each.
    void BeginInvalidateBatch() { ++m_invalidateBatch; }
    void EndInvalidateBatch();
    void NeedUpdate() { m_bUpdateNeeded = true; }
    // Lays the tree out in this size instead of the client area (painting off screen, message-only
    // windows); {0, 0} returns to the client area.
    void SetLayoutSize(SIZE size) { m_szLayout = size; m_bUpdateNeeded = true; }
    // Lays the tree out (when needed) and paints the area into the DC; used by WM_PAINT and by tests.
    void PaintTo(HDC hDC, const RECT& rcPaint);

    bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
    bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

private:
    struct TimerInfo {
        CControlUI* pSender;
        UINT nLocalID;
        UINT_PTR uWinTimer;
        bool bKilled;
    };

    void LayoutIfNeeded();
    void DeliverAsync();
    // The sender's OnNotify, then every notifier still registered; false when a handler destroyed
    // this manager (its window deleted), and nothing of it may be touched any more.
    bool Deliver(TNotifyUI& msg);
    void PostAsyncWakeup();
    void SendMouseEvent(CControlUI* target, int type, POINT pt, WPARAM wParam, LPARAM lParam);
    void UpdateHover(POINT pt);
    void ShowToolTip(POINT pt);
    void HideToolTip();
    TFontInfo* MakeFont(LPCTSTR name, int size, bool bold, bool underline, bool italic);

    HWND m_hWndPaint = nullptr;
    HDC m_hDcPaint = nullptr;
    HWND m_hwndTooltip = nullptr;
    TOOLINFOW m_toolTip{};
    CControlUI* m_pRoot = nullptr;
    CControlUI* m_pFocus = nullptr;
    CControlUI* m_pEventHover = nullptr;
    CControlUI* m_pEventClick = nullptr;
    CControlUI* m_pEventKey = nullptr;
    POINT m_ptLastMousePos{-1, -1};
    SIZE m_szMinWindow{0, 0};
    SIZE m_szMaxWindow{0, 0};
    SIZE m_szInitWindowSize{0, 0};
    SIZE m_szLayout{0, 0};
    RECT m_rcSizeBox{0, 0, 0, 0};
    SIZE m_szRoundCorner{0, 0};
    RECT m_rcCaption{0, 0, 0, 0};
    bool m_bUpdateNeeded = false;
    int m_invalidateBatch = 0;
    RECT m_rcInvalidBatch{0, 0, 0, 0};
    bool m_bFirstLayout = true;
    bool m_bMouseTracking = false;
    // After a click the hovered control shows no tooltip until the mouse meets another control.
    bool m_bToolTipAfterClick = false;
    bool m_bMouseCapture = false;
    bool m_bAsyncPosted = false;
    // Cleared by the destructor: a delivery in progress learns that its manager is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    std::vector<INotifyUI*> m_aNotifiers;
    std::vector<IMessageFilterUI*> m_aPreMessageFilters;
    std::vector<IMessageFilterUI*> m_aMessageFilters;
    std::vector<TimerInfo> m_aTimers;
    UINT m_nextTimerId = 0xF000;
    std::deque<TNotifyUI> m_aAsyncNotify;
    std::vector<CControlUI*> m_aDelayedCleanup;
    std::multimap<std::wstring, CControlUI*> m_mNameHash;
    std::map<std::wstring, std::vector<CControlUI*>> m_mOptionGroup;

    CPaintManagerUI* m_pParentResourcePM = nullptr;
    DWORD m_dwDefaultDisabledColor = 0xFFA7A6AA;
    DWORD m_dwDefaultFontColor = 0xFF000000;
    TFontInfo m_defaultFont;
    std::vector<std::unique_ptr<TFontInfo>> m_aFonts;
    std::map<std::wstring, TImageInfo*> m_mImageHash;
    std::map<std::wstring, CDuiString> m_mDefaultAttrHash;
    CDuiString m_sResourcePath;

    HDC m_hDcOffscreen = nullptr;
    HBITMAP m_hbmpOffscreen = nullptr;
    SIZE m_offscreenSize{0, 0};
};

// Gathers the manager's invalidation for the scope's life (no manager: nothing).
class CInvalidateBatchUI {
public:
    explicit CInvalidateBatchUI(CPaintManagerUI* manager) : m_manager(manager)
    {
        if (m_manager) m_manager->BeginInvalidateBatch();
    }
    ~CInvalidateBatchUI()
    {
        if (m_manager) m_manager->EndInvalidateBatch();
    }
    CInvalidateBatchUI(const CInvalidateBatchUI&) = delete;
    CInvalidateBatchUI& operator=(const CInvalidateBatchUI&) = delete;

private:
    CPaintManagerUI* m_manager;
};
