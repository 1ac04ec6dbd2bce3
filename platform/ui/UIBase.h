// Basic types of the window layer: strings, rectangles, events, notifications, delegates and the
// small parsers every control shares (colours, rectangles, sizes, attribute lists).
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <functional>
#include <vector>

class CControlUI;
class CPaintManagerUI;

// Control state bits.
#define UISTATE_FOCUSED 0x00000001
#define UISTATE_SELECTED 0x00000002
#define UISTATE_DISABLED 0x00000004
#define UISTATE_HOT 0x00000008
#define UISTATE_PUSHED 0x00000010
#define UISTATE_READONLY 0x00000020
#define UISTATE_CAPTURED 0x00000040

// Control flags.
#define UIFLAG_TABSTOP 0x00000001
#define UIFLAG_SETCURSOR 0x00000002
#define UIFLAG_WANTRETURN 0x00000004

// FindControl flags.
#define UIFIND_ALL 0x00000000
#define UIFIND_VISIBLE 0x00000001
#define UIFIND_ENABLED 0x00000002
#define UIFIND_HITTEST 0x00000004
#define UIFIND_TOP_FIRST 0x00000008
#define UIFIND_ME_FIRST 0x80000000

enum EVENTTYPE_UI {
    UIEVENT__FIRST = 1,
    UIEVENT__KEYBEGIN,
    UIEVENT_KEYDOWN,
    UIEVENT_KEYUP,
    UIEVENT_CHAR,
    UIEVENT_SYSKEY,
    UIEVENT__KEYEND,
    UIEVENT__MOUSEBEGIN,
    UIEVENT_MOUSEMOVE,
    UIEVENT_MOUSELEAVE,
    UIEVENT_MOUSEENTER,
    UIEVENT_MOUSEHOVER,
    UIEVENT_BUTTONDOWN,
    UIEVENT_BUTTONUP,
    UIEVENT_RBUTTONDOWN,
    UIEVENT_DBLCLICK,
    UIEVENT_CONTEXTMENU,
    UIEVENT_SCROLLWHEEL,
    UIEVENT__MOUSEEND,
    UIEVENT_KILLFOCUS,
    UIEVENT_SETFOCUS,
    UIEVENT_WINDOWSIZE,
    UIEVENT_SETCURSOR,
    UIEVENT_TIMER,
    UIEVENT_NOTIFY,
    UIEVENT_COMMAND,
    UIEVENT__LAST,
};

// Notification type strings.
#define DUI_MSGTYPE_CLICK L"click"
#define DUI_MSGTYPE_SELECTCHANGED L"selectchanged"
#define DUI_MSGTYPE_ITEMSELECT L"itemselect"
#define DUI_MSGTYPE_ITEMCLICK L"itemclick"
#define DUI_MSGTYPE_ITEMACTIVATE L"itemactivate"
#define DUI_MSGTYPE_VALUECHANGED L"valuechanged"
#define DUI_MSGTYPE_TEXTCHANGED L"textchanged"
#define DUI_MSGTYPE_RETURN L"return"
#define DUI_MSGTYPE_WINDOWINIT L"windowinit"
#define DUI_MSGTYPE_TABSELECT L"tabselect"
#define DUI_MSGTYPE_DROPDOWN L"dropdown"
#define DUI_MSGTYPE_SETFOCUS L"setfocus"
#define DUI_MSGTYPE_KILLFOCUS L"killfocus"
#define DUI_MSGTYPE_TIMER L"timer"
#define DUI_MSGTYPE_SCROLL L"scroll"

class CDuiString : public CString {
public:
    using CString::CString;
    CDuiString() = default;
    CDuiString(const CString& other) : CString(other) {}
    const wchar_t* GetData() const { return GetString(); }
    void Assign(const wchar_t* text) { *this = text; }
    CDuiString& operator=(const wchar_t* text) { CString::operator=(text); return *this; }
    CDuiString& operator=(const CString& text) { CString::operator=(text.GetString()); return *this; }
};

class CDuiRect : public RECT {
public:
    CDuiRect() { left = top = right = bottom = 0; }
    CDuiRect(const RECT& src) { left = src.left; top = src.top; right = src.right; bottom = src.bottom; }
    CDuiRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    int GetWidth() const { return right - left; }
    int GetHeight() const { return bottom - top; }
    bool IsNull() const { return left == 0 && right == 0 && top == 0 && bottom == 0; }
    void Empty() { left = top = right = bottom = 0; }
    void Offset(int cx, int cy) { ::OffsetRect(this, cx, cy); }
    void Deflate(int l, int t, int r, int b) { left += l; top += t; right -= r; bottom -= b; }
};

class CDuiSize : public SIZE {
public:
    CDuiSize() { cx = cy = 0; }
    CDuiSize(const SIZE& src) { cx = src.cx; cy = src.cy; }
    CDuiSize(int x, int y) { cx = x; cy = y; }
};

class CDuiPoint : public POINT {
public:
    CDuiPoint() { x = y = 0; }
    CDuiPoint(const POINT& src) { x = src.x; y = src.y; }
    CDuiPoint(int px, int py) { x = px; y = py; }
    // The point of a mouse message's lParam (signed: left of or above the window is negative).
    explicit CDuiPoint(LPARAM lParam) { x = static_cast<short>(LOWORD(lParam)); y = static_cast<short>(HIWORD(lParam)); }
};

struct TEventUI {
    int Type = 0;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse{0, 0};
    wchar_t chKey = 0;
    WORD wKeyState = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct TNotifyUI {
    CDuiString sType;
    CDuiString sVirtualWnd;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse{0, 0};
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// The three callbacks a window gives its paint manager and builder.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

class IMessageFilterUI {
public:
    virtual ~IMessageFilterUI() = default;
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

class IDialogBuilderCallback {
public:
    virtual ~IDialogBuilderCallback() = default;
    virtual CControlUI* CreateControl(LPCTSTR pstrClass) = 0;
};

// A callable with an identity, so that it can be removed again from an event source.
class CDelegate {
public:
    using Fn = std::function<bool(void*)>;
    CDelegate(Fn fn, const void* owner = nullptr, int tag = 0) : m_fn(std::move(fn)), m_owner(owner), m_tag(tag) {}
    bool operator()(void* param) const { return m_fn ? m_fn(param) : true; }
    bool SameAs(const CDelegate& other) const { return m_owner && m_owner == other.m_owner && m_tag == other.m_tag; }

private:
    Fn m_fn;
    const void* m_owner;
    int m_tag;
};

template <typename T>
CDelegate MakeDelegate(T* object, bool (T::*method)(void*))
{
    // The method's address cannot be compared portably; the object identifies the delegate.
    return CDelegate([object, method](void* p) { return (object->*method)(p); }, object);
}

// Delegates invoked in order; the first that answers false stops the rest and the source answers false.
class CEventSource {
public:
    void operator+=(const CDelegate& d) { m_delegates.push_back(d); }
    void operator+=(CDelegate::Fn fn) { m_delegates.emplace_back(std::move(fn)); }
    void operator-=(const CDelegate& d);
    bool operator()(void* param) const;
    bool IsEmpty() const { return m_delegates.empty(); }
    void Clear() { m_delegates.clear(); }

private:
    std::vector<CDelegate> m_delegates;
};

// Parsers shared by the builder and the controls. Colours are "#AARRGGBB" or "AARRGGBB" (hex).
DWORD ParseColor(const wchar_t* value);
// "l,t,r,b" (missing numbers are 0).
RECT ParseRect(const wchar_t* value);
// "cx,cy".
SIZE ParseSize(const wchar_t* value);
bool ParseBool(const wchar_t* value);
// Iterates name="value" pairs (quotes ' or "), as in an attribute list; false when malformed.
bool ForEachAttribute(const wchar_t* list, const std::function<void(const CDuiString&, const CDuiString&)>& fn);
// Value of one key in an image string "file='a.png' dest='0,0,5,5'"; empty when absent.
CDuiString ImageStringValue(const wchar_t* imageString, const wchar_t* key);
