// The microphone queue: one row per participant who asked to speak or is speaking, with a "Speak" or
// "Cancel" button; at most one participant is the active one.
#pragma once
#include "core/Records.h"
#include "platform/ui/UIList.h"

#include <vector>

#define DUI_MSGTYPE_MICSTATECHANGED L"micstatechanged"

class CMicListUI;

class CMicElementUI : public CListElementUI {
public:
    explicit CMicElementUI(const UserRecord& user);

    LPCTSTR GetClass() const override { return L"MicElementUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    UINT GetControlFlags() const override { return IsEnabled() ? UIFLAG_SETCURSOR : 0; }
    CDuiString GetToolTip() const override;
    void DoEvent(TEventUI& event) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;
    void DrawItemText(HDC hDC, const RECT& rcItem) override;

    UserRecord GetUserRecord() const { return m_user; }
    void SetRequested(bool requested);
    RECT GetButtonRect() const { return m_rcButton; }
    RECT GetNameRect() const { return m_rcName; }

private:
    CMicListUI* OwnerList() const;
    bool MouseInButton() const;

    UserRecord m_user;
    RECT m_rcButton{0, 0, 0, 0};
    RECT m_rcName{0, 0, 0, 0};
    bool m_bButtonHot = false;
    bool m_bButtonPressed = false;
};

class CMicListUI : public CListUI {
public:
    LPCTSTR GetClass() const override { return L"MicListUI"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;

    // Replaces every row; answers how many were added.
    int SetUsers(const std::vector<UserRecord>& users);
    void SetActiveElement(CMicElementUI* row, bool on);
    CMicElementUI* FindElement(uint32_t userId) const;
    uint32_t GetActiveUserId() const { return m_uActiveUserId; }

private:
    friend class CMicElementUI;
    uint32_t m_uActiveUserId = 0;
};
