// The chat-record browser: the stored messages of the current class and of earlier ones, 100 to a
// page, with a search over class names and the deletion of a class's records.
#pragma once
#include "database/DbRecords.h"
#include "platform/ui/UIlib.h"

#include <cstdint>
#include <map>
#include <vector>

class CListExUI;
class CPageCtrlUI;
class CChatRichEditUI;

class CChatRecordWnd : public WindowImplBase {
public:
    CChatRecordWnd() = default;

    LPCTSTR GetWindowClassName() const override { return L"__LVChatRecordWnd__"; }
    CDuiString GetSkinFile() override { return L"ChatRecordWnd.xml"; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override;
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
    void OnFinalMessage(HWND hWnd) override;

    // What the history lists hold: room id -> class name.
    const std::map<int32_t, CString>& GetRooms() const { return m_rooms; }
    const std::map<int32_t, CString>& GetSearchResults() const { return m_searched; }
    static const int kPageSize = 100;

private:
    bool IsSearching() const;
    CListUI* CurrentList() const;
    // The controls of the full list's side or of the search's side of the history.
    CListUI* ListOf(bool searching) const;
    CChatRichEditUI* CurrentDisplay() const;
    CChatRichEditUI* HistoryDisplayOf(bool searching) const;
    CPageCtrlUI* CurrentPager() const;
    CPageCtrlUI* HistoryPagerOf(bool searching) const;
    CControlUI* CurrentNameLabel() const;
    CControlUI* NameLabelOf(bool searching) const;
    CControlUI* CurrentDateLabel() const;
    CControlUI* DateLabelOf(bool searching) const;
    int32_t SelectedRoom() const;

    void FillList(CListUI* list, const std::map<int32_t, CString>& rooms);
    void SetUpPaging(int32_t roomId);
    void ShowPage(int32_t roomId, int page);
    void DrawRecord(CChatRichEditUI* display, const MsgInfoRecord& record, bool currentClassDisplay);
    // A fresh empty display in the place of this one (see CChatRichEditUI::Emptied).
    CChatRichEditUI* EmptyDisplay(CChatRichEditUI* display);
    void ClearSelectionDisplay();
    void ClearHistorySide(bool searching);
    void RemoveRoomItems(CListUI* list, int32_t roomId);
    void OnItemSelect();
    void Search();
    void StopSearching();
    void DeleteSelectedRoom();

    CListExUI* m_classList = nullptr;
    CTabLayoutUI* m_mainTab = nullptr;
    COptionUI* m_curOption = nullptr;
    COptionUI* m_hisOption = nullptr;
    CTabLayoutUI* m_headerTab = nullptr;
    CTabLayoutUI* m_centerTab = nullptr;
    std::map<int32_t, CString> m_rooms;
    std::map<int32_t, CString> m_searched;
    // The room each side of the history shows (0 none): the full list's and the search's.
    int32_t m_shownRoom[2] = {0, 0};
    CChatRichEditUI* m_curDisplay = nullptr;
    CChatRichEditUI* m_selDisplay = nullptr;
};
