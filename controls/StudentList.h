// The roster: one row per participant, teachers on top, with a role badge and the nickname; it also
// counts who is speaking or queued for the microphone and remembers the current speaker.
#pragma once
#include "controls/RowBorder.h"
#include "core/Records.h"
#include "platform/ui/UIList.h"

#include <memory>
#include <unordered_map>
#include <vector>

class CStudentListElement;

// Opens the roster menu for a row at a point in the list's window and answers its window. The
// classroom installs it; without one no menu opens.
using RosterMenuOpener = HWND (*)(CStudentListElement* row, POINT pt);

class CStudentListElement : public CListContainerElementUI {
public:
    explicit CStudentListElement(const UserRecord& user);
    ~CStudentListElement() override;

    LPCTSTR GetClass() const override { return L"CLVStudentListElement"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void DoEvent(TEventUI& event) override;
    void DoPaint(HDC hDC, const RECT& rcPaint) override;

    const UserRecord* GetUser() const { return m_user.get(); }
    UserRecord* GetUser() { return m_user.get(); }
    CControlUI* GetBadge() const { return m_pBadge; }
    CLabelUI* GetNameLabel() const { return m_pName; }
    void SetBorder(const RowBorder& border) { m_border = border; }
    const RowBorder& GetBorder() const { return m_border; }

    // 0 when the local user may open the menu on this row, else -1.
    int CanShowMenu() const;
    void ShowMenu(POINT pt);
    HWND GetMenuWindow() const { return m_hMenuWnd; }
    static void SetMenuOpener(RosterMenuOpener opener);

    void SyncText();

private:
    std::unique_ptr<UserRecord> m_user;
    CControlUI* m_pBadge = nullptr;
    CLabelUI* m_pName = nullptr;
    RowBorder m_border;
    HWND m_hMenuWnd = nullptr;
};

class CStudentList : public CListUI {
public:
    LPCTSTR GetClass() const override { return L"CLVStudentList"; }
    LPVOID GetInterface(LPCTSTR pstrName) override;
    void SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue) override;

    bool Add(CControlUI* pControl) override;
    bool AddAt(CControlUI* pControl, int iIndex) override;
    bool Remove(CControlUI* pControl, bool bDoNotDestroy = false) override;
    bool RemoveAt(int iIndex, bool bDoNotDestroy = false) override;
    void RemoveAll() override;

    bool SetUsers(const std::vector<UserRecord*>& users);
    bool AddUser(const UserRecord& user);
    bool RemoveUser(const UserRecord& user);
    bool SetUserState(uint8_t newRole, uint8_t& oldRole, uint32_t userId);
    bool UpdateUser(const UserRecord& user);
    bool FindUser(uint32_t userId, UserRecord& out) const;
    void FindUsersByName(std::vector<UserRecord>& out, LPCTSTR text) const;
    void GetMicUsers(std::vector<UserRecord>& out) const;
    bool IsMicUserAt(int index) const;
    void ClearSpeaker(uint32_t userId);
    int GetMicUserCount() const { return m_nMicUsers; }
    uint32_t GetSpeakerId() const { return m_uSpeakerId; }
    void SetSpeakerId(uint32_t userId) { m_uSpeakerId = userId; }
    const RowBorder& GetBorder() const { return m_border; }

private:
    void ApplyRowAttributes(CStudentListElement* row);
    CStudentListElement* RowAt(int index) const;
    CStudentListElement* FindRow(uint32_t userId) const;

    // Rows by user id: a room holds up to 65,535 participants, and every notice looks its user up.
    std::unordered_map<uint32_t, CStudentListElement*> m_rowsById;
    RowBorder m_border;
    int m_nMicUsers = 0;
    uint32_t m_uSpeakerId = 0;
    CDuiString m_sTeacherBadgeAttr;
    CDuiString m_sAssistantBadgeAttr;
    CDuiString m_sStudentBadgeAttr;
    CDuiString m_sNameAttr;
};

// Roles 2 and 130 to 133: speaking or in the microphone queue.
bool IsMicRole(uint8_t role);
