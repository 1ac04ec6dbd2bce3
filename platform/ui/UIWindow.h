// Native windows: CWindowWnd wraps one HWND and its window procedure; WindowImplBase adds the skin,
// the paint manager and the default behaviour of a skinned window (caption drag, size box, round
// corners, min/max sizes, the caption buttons, Escape closes).
#pragma once
#include "platform/ui/UIBase.h"
#include "platform/ui/UIManager.h"

class CWindowWnd {
public:
    CWindowWnd() = default;
    virtual ~CWindowWnd() = default;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    bool RegisterWindowClass();
    // Null on failure; the object then still belongs to the caller (OnFinalMessage is not called).
    HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT& rc,
                HMENU hMenu = nullptr);
    HWND Create(HWND hwndParent, LPCTSTR pstrName, DWORD dwStyle, DWORD dwExStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU hMenu = nullptr);
    void ShowWindow(bool bShow = true, bool bTakeFocus = true);
    // Posts WM_CLOSE with the result in wParam.
    void Close(UINT nRet = IDOK);
    void CenterWindow();
    void SetIcon(UINT nRes);

    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    void ResizeClient(int cx = -1, int cy = -1);

protected:
    virtual LPCTSTR GetWindowClassName() const = 0;
    virtual UINT GetClassStyle() const { return 0; }
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // Called after the native window is gone; windows that own themselves delete themselves here.
    virtual void OnFinalMessage(HWND hWnd);

    static LRESULT CALLBACK __WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    HWND m_hWnd = nullptr;
    // Inside CreateWindowEx: a window that fails to be created gets no final message, so the caller
    // keeps the object (and frees it) whatever kind of window it is.
    bool m_bCreating = false;
};

enum UILIB_RESOURCETYPE {
    UILIB_FILE = 1,
    UILIB_ZIP,
    UILIB_RESOURCE,
    UILIB_ZIPRESOURCE,
};

class WindowImplBase : public CWindowWnd, public INotifyUI, public IMessageFilterUI, public IDialogBuilderCallback {
public:
    WindowImplBase() = default;
    ~WindowImplBase() override = default;

    virtual void InitWindow() {}
    void OnFinalMessage(HWND hWnd) override;
    void Notify(TNotifyUI& msg) override;
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

    CPaintManagerUI* GetPaintManager() { return &m_PaintManager; }

protected:
    virtual CDuiString GetSkinFolder() { return L"skin\\"; }
    virtual CDuiString GetSkinFile() = 0;
    LPCTSTR GetWindowClassName() const override = 0;
    virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
    UINT GetClassStyle() const override { return CS_DBLCLKS; }
    // Escape closes the window by default; Return is left to the controls.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);

    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnNcActivate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnNcCalcSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnNcPaint(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnNcHitTest(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnGetMinMaxInfo(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    // Makes the window region follow the skin's round corners.
    void ApplyRoundCorner();

    CPaintManagerUI m_PaintManager;
};
