// Layouts that tell their window where they now are, a horizontal layout that scrolls with keys and
// the wheel, and the container that keeps one native window on top of its rectangle.
#pragma once
#include "platform/ui/UIContainer.h"

#define DUI_MSGTYPE_POSCHANGE L"poschange"

class CPosVerLayoutUI : public CVerticalLayoutUI {
public:
    LPCTSTR GetClass() const override { return L"PosVerLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetPos(RECT rc) override;
};

class CPosHorLayoutUI : public CHorizontalLayoutUI {
public:
    LPCTSTR GetClass() const override { return L"PosHorLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetPos(RECT rc) override;
};

class CScrollHorLayoutUI : public CHorizontalLayoutUI {
public:
    LPCTSTR GetClass() const override { return L"ScrollHorLayoutUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoEvent(TEventUI& event) override;

protected:
    void ProcessScrollBar(RECT rc, int cxRequired, int cyRequired) override;

private:
    // One bar by the shared rule; true when the layout must be laid out again.
    bool UpdateBar(CScrollBarUI* bar, int need, int available, const RECT& placement);
};

// Where the hosted window goes inside rc for a content of cw x ch (0 x 0: none known).
RECT ComputeEmbedRect(const RECT& rc, UINT contentWidth, UINT contentHeight, bool keepAspect);

class CWinContainerUI : public CContainerUI {
public:
    ~CWinContainerUI() override;
    LPCTSTR GetClass() const override { return L"WinContainerUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    void SetEmbedWindow(HWND hwnd);
    HWND GetEmbedWindow() const { return m_hwndEmbed; }
    void SetContentSize(UINT width, UINT height)
    {
        m_uContentWidth = width;
        m_uContentHeight = height;
    }
    void SetKeepAspect(bool keep);
    bool IsKeepAspect() const { return m_bKeepAspect; }
    UINT GetContentWidth() const { return m_uContentWidth; }
    UINT GetContentHeight() const { return m_uContentHeight; }

    void Init() override;
    void SetPos(RECT rc) override;
    void SetVisible(bool bVisible = true) override;
    void SetInternVisible(bool bVisible = true) override;

private:
    bool HasEmbedWindow() const { return m_hwndEmbed && IsWindow(m_hwndEmbed); }
    void LayoutEmbedWindow();

    HWND m_hwndEmbed = nullptr;
    bool m_bKeepAspect = true;
    UINT m_uContentWidth = 0;
    UINT m_uContentHeight = 0;
};
