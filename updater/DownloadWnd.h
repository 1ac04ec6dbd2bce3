// The updater's one window: a progress bar while the installer downloads, the error code when it fails.
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>

class CHttpDownload;

// A minimal window base: the object lives in the window's user data and dies with the window.
class CWindowWnd {
public:
    CWindowWnd() = default;
    virtual ~CWindowWnd(); // posts the quit message: closing the window ends the program
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    virtual const wchar_t* GetWindowClassName() const { return L"WindowWnd"; }
    virtual const wchar_t* GetSuperClassName() const { return nullptr; }
    virtual UINT GetClassStyle() const { return 0; }
    virtual void OnCreate() {}
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND) { delete this; }

    // Null when the window cannot be made; the object is then freed (by the window's own end when
    // the window began to exist), so the caller never deletes it.
    HWND Create(HWND parent, const wchar_t* caption, DWORD style, DWORD exStyle, int x, int y, int width, int height);
    // Centres on the owner, or on the screen's work area, and keeps the window inside the work area.
    void CenterWindow();
    HWND GetHWND() const { return m_hWnd; }

protected:
    HWND m_hWnd = nullptr;
    WNDPROC m_oldWndProc = DefWindowProcW;
    bool m_subclassed = false;
    // Set while Create runs: tells it whether the window began to exist and so frees the object.
    bool* m_began = nullptr;

private:
    bool RegisterWindowClass();
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

class CDownloadWnd : public CWindowWnd {
public:
    CDownloadWnd(const CString& address, const CString& program, const CString& arguments);
    ~CDownloadWnd() override;

    const wchar_t* GetWindowClassName() const override { return L"DOWNLOADWND"; }
    void OnCreate() override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    int Percent() const { return m_percent; }
    int ErrorCode() const { return m_error; }
    CHttpDownload* Worker() const { return m_worker; }

    // Tests shorten the installer's wait and point the download somewhere private.
    static DWORD s_installerWaitMs;
    static CString s_tempFolder;

private:
    void Paint(HDC target);

    CString m_address;
    CString m_program;
    CString m_arguments;
    int m_percent = 0;
    CHttpDownload* m_worker = nullptr;
    int m_error = 0;
    HDC m_memoryDc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_oldBitmap = nullptr;
};

// Makes the updater's window, centred and shown; false when it cannot be made, the object then freed
// and the quit message posted.
bool OpenDownloadWindow(CDownloadWnd* window);
