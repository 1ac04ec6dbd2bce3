// Skinned popup menus: a small borderless, layered, top-most window that closes itself when it loses
// the focus. The option menu reports its choice to its owner by a posted message; the roster menu by
// a notification to the roster control that opened it.
#pragma once
#include "platform/ui/UIlib.h"

class CStudentListElement;

class CBubbleMenu : public WindowImplBase {
public:
    void InitWindow() override;
    void OnFinalMessage(HWND hWnd) override;
    // Set while the window is being created: a creation that fails after the window existed ends in
    // the final message, which has deleted the menu already.
    bool* finalMessageSeen = nullptr;

protected:
    LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;
};

class COptionMenu : public CBubbleMenu {
public:
    LPCTSTR GetWindowClassName() const override { return L"__LVOptionMenu__"; }
    CDuiString GetSkinFile() override { return L"OptionMenu.xml"; }
    void Notify(TNotifyUI& msg) override;
};

class CStudentListMenu : public CBubbleMenu {
public:
    // The roster control sends the choice (the class window gives the row itself, so the choice
    // names its participant); the page index picks the page of items for the row.
    CStudentListMenu(CControlUI* roster, int pageIndex) : m_roster(roster), m_pageIndex(pageIndex) {}
    LPCTSTR GetWindowClassName() const override { return L"__LVStudentListMenu__"; }
    CDuiString GetSkinFile() override { return L"StudentListMenu.xml"; }
    void Notify(TNotifyUI& msg) override;

protected:
    void ShowPage();

    CControlUI* m_roster;
    int m_pageIndex;
    CTabLayoutUI* m_pages = nullptr;
};

// Creates the menu's window owned by owner and places it under the point (owner coordinates),
// centred on it but never left of the owner. Answers the menu's window, or null (the menu object is
// then deleted, since it never became a window).
HWND ShowBubbleMenu(POINT pt, CBubbleMenu* menu, HWND owner);

// The roster's menu opener, installed by the class window: the menu for the row, under the point in
// the row's window. The row sends the choice, so the class window knows whose row it was.
HWND OpenStudentListMenu(CStudentListElement* row, POINT pt);
