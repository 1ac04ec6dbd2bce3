#include "platform/ui/UIManager.h"

#include "platform/ui/UIControl.h"
#include "platform/ui/UILog.h"

#include <olectl.h>
#include <windowsx.h>

#include <algorithm>

namespace {

HINSTANCE s_hInstance = nullptr;
CDuiString s_resourcePath;
std::vector<CPaintManagerUI*> s_managers;

// Child windows that want their WM_COMMAND / WM_NOTIFY back as OCM_* messages carry this property.
const wchar_t kReflectProperty[] = L"LvUiReflect";

CControlUI* CALLBACK FindControlFromPoint(CControlUI* pThis, LPVOID pData)
{
    const RECT& rc = pThis->GetPos();
    return PtInRect(&rc, *static_cast<LPPOINT>(pData)) ? pThis : nullptr;
}

struct NameHashData {
    CPaintManagerUI* manager;
    std::multimap<std::wstring, CControlUI*>* hash;
};

CControlUI* CALLBACK FindControlFromNameHash(CControlUI* pThis, LPVOID pData)
{
    auto* data = static_cast<NameHashData*>(pData);
    CDuiString name = pThis->GetName();
    if (!name.IsEmpty()) {
        auto range = data->hash->equal_range(name.str());
        bool present = false;
        for (auto it = range.first; it != range.second; ++it) present = present || it->second == pThis;
        if (!present) data->hash->emplace(name.str(), pThis);
    }
    return nullptr;
}

struct NameSearch {
    const wchar_t* name;
};

// Gathers every tab stop and never stops the walk.
CControlUI* CALLBACK CollectTabStops(CControlUI* pThis, LPVOID pData)
{
    if (pThis->GetControlFlags() & UIFLAG_TABSTOP) static_cast<std::vector<CControlUI*>*>(pData)->push_back(pThis);
    return nullptr;
}

CControlUI* CALLBACK FindControlByName(CControlUI* pThis, LPVOID pData)
{
    return pThis->GetName() == static_cast<NameSearch*>(pData)->name ? pThis : nullptr;
}

// Tab without Ctrl or Alt, which belong to the system and to accelerators.
bool IsTabKey(WPARAM key)
{
    return key == VK_TAB && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0;
}

template <typename T>
bool AddOnce(std::vector<T*>& list, T* item)
{
    if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
    list.push_back(item);
    return true;
}

template <typename T>
bool RemoveOne(std::vector<T*>& list, T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

// The first filter that handles the message ends the run. A copy: a filter may remove itself.
bool RunFilters(const std::vector<IMessageFilterUI*>& list, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes)
{
    std::vector<IMessageFilterUI*> filters = list;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        LRESULT result = filter->MessageHandler(uMsg, wParam, lParam, handled);
        if (handled) {
            lRes = result;
            return true;
        }
    }
    return false;
}

WORD KeyState()
{
    WORD state = 0;
    if (GetKeyState(VK_CONTROL) < 0) state |= MK_CONTROL;
    if (GetKeyState(VK_RBUTTON) < 0) state |= MK_RBUTTON;
    if (GetKeyState(VK_LBUTTON) < 0) state |= MK_LBUTTON;
    if (GetKeyState(VK_SHIFT) < 0) state |= MK_SHIFT;
    return state;
}

} // namespace

CPaintManagerUI::CPaintManagerUI()
{
    TFontInfo* font = MakeFont(L"Tahoma", 12, false, false, false);
    if (font) {
        m_defaultFont = *font;
        delete font;
    }
}

CPaintManagerUI::~CPaintManagerUI()
{
    *m_alive = false;
    s_managers.erase(std::remove(s_managers.begin(), s_managers.end(), this), s_managers.end());
    CControlUI* root = m_pRoot;
    m_pRoot = nullptr;
    delete root;
    // After the tree: controls that empty themselves while they are destroyed hand their items here.
    while (!m_aDelayedCleanup.empty()) {
        std::vector<CControlUI*> cleanup;
        cleanup.swap(m_aDelayedCleanup);
        for (CControlUI* control : cleanup) delete control;
    }
    RemoveAllTimers();
    for (auto& font : m_aFonts)
        if (font->hFont) DeleteObject(font->hFont);
    if (m_defaultFont.hFont) DeleteObject(m_defaultFont.hFont);
    for (auto& image : m_mImageHash) CRenderEngine::FreeImage(image.second);
    if (m_hwndTooltip) DestroyWindow(m_hwndTooltip);
    if (m_hDcOffscreen) DeleteDC(m_hDcOffscreen);
    if (m_hbmpOffscreen) DeleteObject(m_hbmpOffscreen);
    if (m_hDcPaint && m_hWndPaint) ReleaseDC(m_hWndPaint, m_hDcPaint);
}

void CPaintManagerUI::SetInstance(HINSTANCE hInst)
{
    s_hInstance = hInst;
}

HINSTANCE CPaintManagerUI::GetInstance()
{
    return s_hInstance ? s_hInstance : GetModuleHandleW(nullptr);
}

CDuiString CPaintManagerUI::GetInstancePath()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(GetInstance(), path, MAX_PATH);
    CDuiString full(path, static_cast<int>(length < MAX_PATH ? length : MAX_PATH - 1));
    return full.Left(full.ReverseFind(L'\\') + 1);
}

void CPaintManagerUI::SetResourcePath(LPCTSTR pStrPath)
{
    s_resourcePath = pStrPath ? pStrPath : L"";
    if (!s_resourcePath.IsEmpty() && s_resourcePath[s_resourcePath.GetLength() - 1] != L'\\') s_resourcePath += L'\\';
}

CDuiString CPaintManagerUI::GetResourcePath()
{
    return s_resourcePath.IsEmpty() ? GetInstancePath() : s_resourcePath;
}

void CPaintManagerUI::MessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateMessage(&msg)) {
            ::TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The quit message ends the loop; its code stays for the caller of the loop.
}

bool CPaintManagerUI::TranslateMessage(const LPMSG pMsg)
{
    if (!pMsg || !pMsg->hwnd) return false;
    std::vector<CPaintManagerUI*> managers = s_managers;
    for (CPaintManagerUI* manager : managers) {
        if (std::find(s_managers.begin(), s_managers.end(), manager) == s_managers.end()) continue;
        HWND paint = manager->GetPaintWindow();
        if (pMsg->hwnd != paint && !IsChild(paint, pMsg->hwnd)) continue;
        LRESULT result = 0;
        if (manager->PreMessageHandler(pMsg->message, pMsg->wParam, pMsg->lParam, result)) return true;
    }
    // Tab is taken here so that a native child (an edit box) never sees it and no tab character
    // follows it. It belongs to the nearest window with a manager: a skinned child window inside a
    // skinned window walks its own controls.
    if (pMsg->message != WM_KEYDOWN || !IsTabKey(pMsg->wParam)) return false;
    for (HWND wnd = pMsg->hwnd; wnd && wnd != GetDesktopWindow(); wnd = GetAncestor(wnd, GA_PARENT)) {
        for (CPaintManagerUI* manager : s_managers) {
            if (manager->GetPaintWindow() == wnd) return manager->SetNextTabControl(GetKeyState(VK_SHIFT) >= 0);
        }
    }
    return false;
}

void CPaintManagerUI::Term()
{
    CRenderEngine::StopGdiplus();
}

void CPaintManagerUI::Init(HWND hWnd)
{
    m_hWndPaint = hWnd;
    if (m_hDcPaint) ReleaseDC(hWnd, m_hDcPaint);
    m_hDcPaint = GetDC(hWnd);
    if (std::find(s_managers.begin(), s_managers.end(), this) == s_managers.end()) s_managers.push_back(this);
}

SIZE CPaintManagerUI::GetClientSize() const
{
    RECT rc{0, 0, 0, 0};
    if (m_hWndPaint) GetClientRect(m_hWndPaint, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

DWORD CPaintManagerUI::GetDefaultDisabledColor() const
{
    return m_pParentResourcePM ? m_pParentResourcePM->GetDefaultDisabledColor() : m_dwDefaultDisabledColor;
}

DWORD CPaintManagerUI::GetDefaultFontColor() const
{
    return m_pParentResourcePM ? m_pParentResourcePM->GetDefaultFontColor() : m_dwDefaultFontColor;
}

TFontInfo* CPaintManagerUI::MakeFont(LPCTSTR name, int size, bool bold, bool underline, bool italic)
{
    LOGFONTW lf{};
    lf.lfHeight = -size;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfUnderline = underline;
    lf.lfItalic = italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    lstrcpynW(lf.lfFaceName, name && *name ? name : L"Tahoma", LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) {
        UILogError(L"font cannot be created: %s %d", lf.lfFaceName, size);
        return nullptr;
    }
    auto* info = new TFontInfo;
    info->hFont = font;
    info->sFontName = lf.lfFaceName;
    info->iSize = size;
    info->bBold = bold;
    info->bUnderline = underline;
    info->bItalic = italic;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &info->tm);
    SelectObject(dc, old);
    DeleteDC(dc);
    return info;
}

void CPaintManagerUI::SetDefaultFont(LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline, bool bItalic)
{
    TFontInfo* font = MakeFont(pStrFontName, nSize, bBold, bUnderline, bItalic);
    if (!font) return;
    if (m_defaultFont.hFont) DeleteObject(m_defaultFont.hFont);
    m_defaultFont = *font;
    delete font;
}

int CPaintManagerUI::AddFont(LPCTSTR pStrFontName, int nSize, bool bBold, bool bUnderline, bool bItalic)
{
    TFontInfo* font = MakeFont(pStrFontName, nSize, bBold, bUnderline, bItalic);
    if (!font) return -1;
    m_aFonts.emplace_back(font);
    return static_cast<int>(m_aFonts.size()) - 1;
}

int CPaintManagerUI::GetFontCount() const
{
    return static_cast<int>(m_aFonts.size());
}

HFONT CPaintManagerUI::GetFont(int index)
{
    return GetFontInfo(index)->hFont;
}

TFontInfo* CPaintManagerUI::GetFontInfo(int index)
{
    if (index >= 0 && index < GetFontCount()) return m_aFonts[static_cast<size_t>(index)].get();
    if (m_pParentResourcePM) return m_pParentResourcePM->GetFontInfo(index);
    return &m_defaultFont;
}

TFontInfo* CPaintManagerUI::GetDefaultFontInfo()
{
    return m_pParentResourcePM ? m_pParentResourcePM->GetDefaultFontInfo() : &m_defaultFont;
}

CDuiString CPaintManagerUI::GetWindowResourcePath() const
{
    return m_sResourcePath.IsEmpty() ? GetResourcePath() : m_sResourcePath;
}

const TImageInfo* CPaintManagerUI::GetImageEx(LPCTSTR bitmap)
{
    if (!bitmap || !*bitmap) return nullptr;
    if (m_pParentResourcePM) return m_pParentResourcePM->GetImageEx(bitmap);
    auto it = m_mImageHash.find(bitmap);
    if (it != m_mImageHash.end()) return it->second;
    CDuiString path(bitmap);
    bool absolute = path.GetLength() > 1 && (path[1] == L':' || (path[0] == L'\\' && path[1] == L'\\'));
    if (!absolute) path = GetWindowResourcePath() + path;
    // A failure is remembered too, so a missing image is logged once.
    TImageInfo* image = CRenderEngine::LoadImageFile(path);
    m_mImageHash[bitmap] = image;
    return image;
}

void CPaintManagerUI::AddDefaultAttributeList(LPCTSTR pStrControlName, LPCTSTR pStrControlAttrList)
{
    m_mDefaultAttrHash[pStrControlName] = pStrControlAttrList;
}

LPCTSTR CPaintManagerUI::GetDefaultAttributeList(LPCTSTR pStrControlName) const
{
    auto it = m_mDefaultAttrHash.find(pStrControlName);
    if (it != m_mDefaultAttrHash.end()) return it->second;
    return m_pParentResourcePM ? m_pParentResourcePM->GetDefaultAttributeList(pStrControlName) : nullptr;
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl)
{
    if (!pControl) return false;
    SetFocus(nullptr);
    m_pEventKey = m_pEventHover = m_pEventClick = nullptr;
    if (m_pRoot && m_pRoot != pControl) {
        CControlUI* old = m_pRoot;
        m_pRoot = nullptr;
        delete old;
    }
    m_pRoot = pControl;
    m_bUpdateNeeded = true;
    m_bFirstLayout = true;
    return InitControls(pControl);
}

bool CPaintManagerUI::InitControls(CControlUI* pControl, CControlUI* pParent)
{
    if (!pControl) return false;
    pControl->SetManager(this, pParent ? pParent : pControl->GetParent(), true);
    NameHashData data{this, &m_mNameHash};
    pControl->FindControl(FindControlFromNameHash, &data, UIFIND_ALL);
    return true;
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl)
{
    if (pControl == m_pEventKey) m_pEventKey = nullptr;
    if (pControl == m_pEventHover) {
        m_pEventHover = nullptr;
        HideToolTip();
    }
    if (pControl == m_pEventClick) m_pEventClick = nullptr;
    if (pControl == m_pFocus) m_pFocus = nullptr;
    if (pControl == m_pRoot) m_pRoot = nullptr;
    KillTimer(pControl);
    for (auto it = m_mNameHash.begin(); it != m_mNameHash.end();) {
        if (it->second == pControl) it = m_mNameHash.erase(it);
        else ++it;
    }
    // A delayed notification of a destroyed control is dropped, never delivered.
    m_aAsyncNotify.erase(std::remove_if(m_aAsyncNotify.begin(), m_aAsyncNotify.end(),
                                        [pControl](const TNotifyUI& n) { return n.pSender == pControl; }),
                         m_aAsyncNotify.end());
    for (auto& group : m_mOptionGroup) {
        auto& v = group.second;
        v.erase(std::remove(v.begin(), v.end(), pControl), v.end());
    }
}

void CPaintManagerUI::RenameControl(CControlUI* pControl, const CDuiString& oldName, const CDuiString& newName)
{
    auto range = m_mNameHash.equal_range(oldName.str());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == pControl) {
            m_mNameHash.erase(it);
            break;
        }
    }
    if (!newName.IsEmpty()) m_mNameHash.emplace(newName.str(), pControl);
}

void CPaintManagerUI::AddDelayedCleanup(CControlUI* pControl)
{
    if (!pControl) return;
    pControl->SetManager(this, nullptr, false);
    m_aDelayedCleanup.push_back(pControl);
    PostAsyncWakeup();
}

bool CPaintManagerUI::AddOptionGroup(LPCTSTR pStrGroupName, CControlUI* pControl)
{
    auto& group = m_mOptionGroup[pStrGroupName];
    if (std::find(group.begin(), group.end(), pControl) != group.end()) return false;
    group.push_back(pControl);
    return true;
}

std::vector<CControlUI*>* CPaintManagerUI::GetOptionGroup(LPCTSTR pStrGroupName)
{
    auto it = m_mOptionGroup.find(pStrGroupName);
    return it == m_mOptionGroup.end() ? nullptr : &it->second;
}

void CPaintManagerUI::RemoveOptionGroup(LPCTSTR pStrGroupName, CControlUI* pControl)
{
    auto it = m_mOptionGroup.find(pStrGroupName);
    if (it == m_mOptionGroup.end()) return;
    auto& v = it->second;
    v.erase(std::remove(v.begin(), v.end(), pControl), v.end());
}

void CPaintManagerUI::SetFocus(CControlUI* pControl)
{
    HWND focusWnd = ::GetFocus();
    if (m_hWndPaint && focusWnd != m_hWndPaint && pControl != m_pFocus && !IsChild(m_hWndPaint, focusWnd))
        ::SetFocus(m_hWndPaint);
    if (pControl == m_pFocus) return;
    if (m_pFocus) {
        CControlUI* old = m_pFocus;
        m_pFocus = nullptr;
        TEventUI event;
        event.Type = UIEVENT_KILLFOCUS;
        event.pSender = pControl;
        event.dwTimestamp = GetTickCount();
        old->Event(event);
        SendNotify(old, DUI_MSGTYPE_KILLFOCUS);
    }
    if (pControl && pControl->GetManager() == this && pControl->IsVisible() && pControl->IsEnabled()) {
        m_pFocus = pControl;
        TEventUI event;
        event.Type = UIEVENT_SETFOCUS;
        event.pSender = pControl;
        event.dwTimestamp = GetTickCount();
        pControl->Event(event);
        SendNotify(pControl, DUI_MSGTYPE_SETFOCUS);
    }
}

bool CPaintManagerUI::SetNextTabControl(bool bForward)
{
    if (!m_pRoot) return false;
    std::vector<CControlUI*> stops;
    m_pRoot->FindControl(CollectTabStops, &stops, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
    if (stops.empty()) return false;
    auto at = std::find(stops.begin(), stops.end(), m_pFocus);
    size_t count = stops.size();
    size_t next;
    if (at == stops.end()) next = bForward ? 0 : count - 1;
    else {
        size_t index = static_cast<size_t>(at - stops.begin());
        next = bForward ? (index + 1) % count : (index + count - 1) % count;
    }
    // The keyboard leaves a native child (an edit box being edited) so that it closes as it would on
    // a click elsewhere; a control that hosts one takes it back when it gets the focus.
    if (m_hWndPaint && ::GetFocus() != m_hWndPaint) ::SetFocus(m_hWndPaint);
    stops[next]->SetFocus();
    return m_pFocus == stops[next];
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const
{
    if (!m_pRoot) return nullptr;
    return m_pRoot->FindControl(FindControlFromPoint, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(LPCTSTR pstrName) const
{
    if (!pstrName) return nullptr;
    auto it = m_mNameHash.find(pstrName);
    return it == m_mNameHash.end() ? nullptr : it->second;
}

CControlUI* CPaintManagerUI::FindSubControlByPoint(CControlUI* pParent, POINT pt) const
{
    if (!pParent) pParent = m_pRoot;
    if (!pParent) return nullptr;
    return pParent->FindControl(FindControlFromPoint, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* pParent, LPCTSTR pstrName) const
{
    if (!pParent) pParent = m_pRoot;
    if (!pParent || !pstrName) return nullptr;
    NameSearch search{pstrName};
    return pParent->FindControl(FindControlByName, &search, UIFIND_ALL);
}

bool CPaintManagerUI::SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse)
{
    if (!pControl || !m_hWndPaint) return false;
    for (TimerInfo& timer : m_aTimers) {
        if (timer.pSender == pControl && timer.nLocalID == nTimerID) {
            timer.bKilled = false;
            return ::SetTimer(m_hWndPaint, timer.uWinTimer, uElapse, nullptr) != 0;
        }
    }
    UINT_PTR winTimer = m_nextTimerId++;
    if (m_nextTimerId == 0) m_nextTimerId = 0xF000;
    if (!::SetTimer(m_hWndPaint, winTimer, uElapse, nullptr)) return false;
    m_aTimers.push_back({pControl, nTimerID, winTimer, false});
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* pControl, UINT nTimerID)
{
    for (auto it = m_aTimers.begin(); it != m_aTimers.end(); ++it) {
        if (it->pSender == pControl && it->nLocalID == nTimerID) {
            if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->uWinTimer);
            m_aTimers.erase(it);
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::KillTimer(CControlUI* pControl)
{
    for (auto it = m_aTimers.begin(); it != m_aTimers.end();) {
        if (it->pSender == pControl) {
            if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->uWinTimer);
            it = m_aTimers.erase(it);
        } else {
            ++it;
        }
    }
}

void CPaintManagerUI::RemoveAllTimers()
{
    for (const TimerInfo& timer : m_aTimers)
        if (m_hWndPaint) ::KillTimer(m_hWndPaint, timer.uWinTimer);
    m_aTimers.clear();
}

void CPaintManagerUI::SetCapture()
{
    ::SetCapture(m_hWndPaint);
    m_bMouseCapture = true;
}

void CPaintManagerUI::ReleaseCapture()
{
    ::ReleaseCapture();
    m_bMouseCapture = false;
}

bool CPaintManagerUI::IsCaptured() const
{
    return m_bMouseCapture;
}

bool CPaintManagerUI::AddNotifier(INotifyUI* pControl)
{
    return AddOnce(m_aNotifiers, pControl);
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* pControl)
{
    return RemoveOne(m_aNotifiers, pControl);
}

void CPaintManagerUI::SendNotify(TNotifyUI& Msg, bool bAsync)
{
    Msg.ptMouse = m_ptLastMousePos;
    Msg.dwTimestamp = GetTickCount();
    if (bAsync) {
        m_aAsyncNotify.push_back(Msg);
        PostAsyncWakeup();
        return;
    }
    Deliver(Msg);
}

bool CPaintManagerUI::Deliver(TNotifyUI& msg)
{
    std::shared_ptr<bool> alive = m_alive;
    if (msg.pSender) msg.pSender->OnNotify(&msg);
    if (!*alive) return false;
    // A copy: a window may remove itself while it handles the notification.
    std::vector<INotifyUI*> notifiers = m_aNotifiers;
    for (INotifyUI* notifier : notifiers) {
        if (std::find(m_aNotifiers.begin(), m_aNotifiers.end(), notifier) == m_aNotifiers.end()) continue;
        notifier->Notify(msg);
        if (!*alive) return false;
    }
    return true;
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, LPCTSTR pstrMessage, WPARAM wParam, LPARAM lParam, bool bAsync)
{
    TNotifyUI msg;
    msg.pSender = pControl;
    msg.sType = pstrMessage;
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, bAsync);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* pFilter)
{
    return AddOnce(m_aPreMessageFilters, pFilter);
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* pFilter)
{
    return RemoveOne(m_aPreMessageFilters, pFilter);
}

bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* pFilter)
{
    return AddOnce(m_aMessageFilters, pFilter);
}

bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* pFilter)
{
    return RemoveOne(m_aMessageFilters, pFilter);
}

void CPaintManagerUI::Invalidate(RECT& rcItem)
{
    if (!m_hWndPaint) return;
    if (m_invalidateBatch > 0) {
        if (IsRectEmpty(&m_rcInvalidBatch)) m_rcInvalidBatch = rcItem;
        else UnionRect(&m_rcInvalidBatch, &m_rcInvalidBatch, &rcItem);
        return;
    }
    InvalidateRect(m_hWndPaint, &rcItem, FALSE);
}

void CPaintManagerUI::EndInvalidateBatch()
{
    if (m_invalidateBatch <= 0 || --m_invalidateBatch > 0) return;
    RECT gathered = m_rcInvalidBatch;
    m_rcInvalidBatch = RECT{0, 0, 0, 0};
    if (m_hWndPaint && !IsRectEmpty(&gathered)) InvalidateRect(m_hWndPaint, &gathered, FALSE);
}

void CPaintManagerUI::PostAsyncWakeup()
{
    if (m_bAsyncPosted || !m_hWndPaint) return;
    if (PostMessageW(m_hWndPaint, WM_APP_UI_ASYNC, 0, 0)) m_bAsyncPosted = true;
}

void CPaintManagerUI::DeliverAsync()
{
    m_bAsyncPosted = false;
    std::vector<CControlUI*> cleanup;
    cleanup.swap(m_aDelayedCleanup);
    for (CControlUI* control : cleanup) delete control;
    while (!m_aAsyncNotify.empty()) {
        TNotifyUI msg = m_aAsyncNotify.front();
        m_aAsyncNotify.pop_front();
        if (!Deliver(msg)) return;
    }
}

void CPaintManagerUI::LayoutIfNeeded()
{
    if (!m_pRoot || !m_bUpdateNeeded) return;
    BeginInvalidateBatch();
    // A handler of "windowinit" may resize the window; lay out again then, a few times at most.
    for (int round = 0; round < 4 && m_pRoot && m_bUpdateNeeded; ++round) {
        m_bUpdateNeeded = false;
        RECT rc{0, 0, 0, 0};
        if (m_szLayout.cx > 0 && m_szLayout.cy > 0) rc = {0, 0, m_szLayout.cx, m_szLayout.cy};
        else if (m_hWndPaint) GetClientRect(m_hWndPaint, &rc);
        if (IsRectEmpty(&rc)) rc = m_pRoot->GetPos();
        if (!IsRectEmpty(&rc)) m_pRoot->SetPos(rc);
        // Controls that size themselves from their own rectangle settle on a second pass.
        if (m_bFirstLayout && !IsRectEmpty(&rc)) m_pRoot->SetPos(rc);
        if (m_bFirstLayout) {
            m_bFirstLayout = false;
            SendNotify(m_pRoot, DUI_MSGTYPE_WINDOWINIT);
        }
    }
    EndInvalidateBatch();
}

void CPaintManagerUI::PaintTo(HDC hDC, const RECT& rcPaint)
{
    LayoutIfNeeded();
    if (!m_pRoot) return;
    int saved = SaveDC(hDC);
    m_pRoot->DoPaint(hDC, rcPaint);
    RestoreDC(hDC, saved);
}

void CPaintManagerUI::SendMouseEvent(CControlUI* target, int type, POINT pt, WPARAM wParam, LPARAM lParam)
{
    if (!target) return;
    TEventUI event;
    event.Type = type;
    event.pSender = target;
    event.ptMouse = pt;
    event.wParam = wParam;
    event.lParam = lParam;
    event.wKeyState = KeyState();
    event.dwTimestamp = GetTickCount();
    target->Event(event);
}

void CPaintManagerUI::UpdateHover(POINT pt)
{
    CControlUI* hover = FindControl(pt);
    if (hover && hover->GetManager() != this) hover = nullptr;
    if (hover == m_pEventHover) return;
    if (m_pEventHover) {
        CControlUI* old = m_pEventHover;
        m_pEventHover = nullptr;
        SendMouseEvent(old, UIEVENT_MOUSELEAVE, pt, 0, 0);
        HideToolTip();
    }
    m_pEventHover = hover;
    m_bToolTipAfterClick = false;
    if (hover) SendMouseEvent(hover, UIEVENT_MOUSEENTER, pt, 0, 0);
}

void CPaintManagerUI::EndHover(CControlUI* pControl)
{
    if (!pControl || !m_pEventHover) return;
    CControlUI* inside = m_pEventHover;
    while (inside && inside != pControl) inside = inside->GetParent();
    if (!inside) return;
    CControlUI* old = m_pEventHover;
    m_pEventHover = nullptr;
    HideToolTip();
    SendMouseEvent(old, UIEVENT_MOUSELEAVE, m_ptLastMousePos, 0, 0);
}

void CPaintManagerUI::HideToolTip()
{
    if (m_hwndTooltip) SendMessageW(m_hwndTooltip, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&m_toolTip));
}

void CPaintManagerUI::ShowToolTip(POINT pt)
{
    // The hover time may run out after the control went away under a still mouse.
    if (!m_pEventHover || !m_pEventHover->IsVisible() || !m_pEventHover->IsEnabled() || m_bToolTipAfterClick) return;
    CDuiString tip = m_pEventHover->GetToolTip();
    if (tip.IsEmpty()) return;
    if (!m_hwndTooltip) {
        m_hwndTooltip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hWndPaint,
                                        nullptr, GetInstance(), nullptr);
        if (!m_hwndTooltip) return;
        m_toolTip = {};
        m_toolTip.cbSize = sizeof(TOOLINFOW);
        m_toolTip.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
        m_toolTip.hwnd = m_hWndPaint;
        m_toolTip.uId = reinterpret_cast<UINT_PTR>(m_hWndPaint);
        SendMessageW(m_hwndTooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&m_toolTip));
    }
    static wchar_t text[512];
    lstrcpynW(text, tip, 512);
    m_toolTip.lpszText = text;
    m_toolTip.rect = m_pEventHover->GetPos();
    SendMessageW(m_hwndTooltip, TTM_SETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&m_toolTip));
    POINT screen = pt;
    ClientToScreen(m_hWndPaint, &screen);
    SendMessageW(m_hwndTooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x + 12, screen.y + 16));
    SendMessageW(m_hwndTooltip, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&m_toolTip));
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes)
{
    return RunFilters(m_aPreMessageFilters, uMsg, wParam, lParam, lRes);
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes)
{
    if (!m_hWndPaint) return false;
    if (RunFilters(m_aMessageFilters, uMsg, wParam, lParam, lRes)) return true;
    // Input that arrives before the first paint hit-tests a tree that is laid out.
    if ((uMsg >= WM_MOUSEFIRST && uMsg <= WM_MOUSELAST) || uMsg == WM_SETCURSOR || uMsg == WM_CONTEXTMENU) LayoutIfNeeded();
    switch (uMsg) {
    case WM_APP_UI_ASYNC:
        DeliverAsync();
        return true;
    case WM_CLOSE: {
        POINT pt = m_ptLastMousePos;
        if (m_pEventHover) SendMouseEvent(m_pEventHover, UIEVENT_MOUSELEAVE, pt, 0, 0);
        if (m_pEventClick) SendMouseEvent(m_pEventClick, UIEVENT_BUTTONUP, pt, 0, 0);
        m_pEventHover = m_pEventClick = nullptr;
        SetFocus(nullptr);
        break;
    }
    case WM_ERASEBKGND:
        lRes = 1;
        return true;
    case WM_PAINT: {
        RECT rcPaint{0, 0, 0, 0};
        if (!GetUpdateRect(m_hWndPaint, &rcPaint, FALSE)) return true;
        if (!m_pRoot) {
            PAINTSTRUCT ps;
            BeginPaint(m_hWndPaint, &ps);
            EndPaint(m_hWndPaint, &ps);
            return true;
        }
        LayoutIfNeeded();
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWndPaint, &ps);
        SIZE client = GetClientSize();
        if (!m_hDcOffscreen || client.cx != m_offscreenSize.cx || client.cy != m_offscreenSize.cy) {
            if (m_hDcOffscreen) DeleteDC(m_hDcOffscreen);
            if (m_hbmpOffscreen) DeleteObject(m_hbmpOffscreen);
            m_hDcOffscreen = CreateCompatibleDC(dc);
            m_hbmpOffscreen = CreateCompatibleBitmap(dc, std::max<LONG>(client.cx, 1), std::max<LONG>(client.cy, 1));
            SelectObject(m_hDcOffscreen, m_hbmpOffscreen);
            m_offscreenSize = client;
        }
        PaintTo(m_hDcOffscreen, ps.rcPaint);
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left,
               ps.rcPaint.bottom - ps.rcPaint.top, m_hDcOffscreen, ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
        EndPaint(m_hWndPaint, &ps);
        return true;
    }
    case WM_SIZE:
        if (m_pRoot) m_pRoot->NeedUpdate();
        m_bUpdateNeeded = true;
        InvalidateRect(m_hWndPaint, nullptr, FALSE);
        break;
    case WM_TIMER:
        for (const TimerInfo& timer : m_aTimers) {
            if (timer.uWinTimer == wParam) {
                TEventUI event;
                event.Type = UIEVENT_TIMER;
                event.pSender = timer.pSender;
                event.dwTimestamp = GetTickCount();
                event.ptMouse = m_ptLastMousePos;
                event.wParam = timer.nLocalID;
                event.lParam = lParam;
                timer.pSender->Event(event);
                return true;
            }
        }
        break;
    case WM_MOUSEHOVER:
        m_bMouseTracking = false;
        ShowToolTip({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return true;
    case WM_MOUSELEAVE:
        m_bMouseTracking = false;
        if (m_pEventHover && !m_pEventClick) {
            CControlUI* old = m_pEventHover;
            m_pEventHover = nullptr;
            SendMouseEvent(old, UIEVENT_MOUSELEAVE, m_ptLastMousePos, 0, 0);
        }
        HideToolTip();
        break;
    case WM_MOUSEMOVE: {
        if (!m_bMouseTracking) {
            TRACKMOUSEEVENT tme = {sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, m_hWndPaint, HOVER_DEFAULT};
            m_bMouseTracking = TrackMouseEvent(&tme) != FALSE;
        }
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_ptLastMousePos = pt;
        UpdateHover(pt);
        if (m_pEventClick) SendMouseEvent(m_pEventClick, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
        else if (m_pEventHover) SendMouseEvent(m_pEventHover, UIEVENT_MOUSEMOVE, pt, wParam, lParam);
        break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        // A click pops the tooltip, as the system's own tooltips do, until the mouse moves on.
        HideToolTip();
        m_bToolTipAfterClick = true;
        ::SetFocus(m_hWndPaint);
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_ptLastMousePos = pt;
        CControlUI* control = FindControl(pt);
        if (!control || control->GetManager() != this) break;
        m_pEventClick = control;
        control->SetFocus();
        SetCapture();
        SendMouseEvent(control, uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK, pt, wParam, lParam);
        break;
    }
    case WM_LBUTTONUP: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_ptLastMousePos = pt;
        if (!m_pEventClick) break;
        ReleaseCapture();
        CControlUI* click = m_pEventClick;
        m_pEventClick = nullptr;
        SendMouseEvent(click, UIEVENT_BUTTONUP, pt, wParam, lParam);
        break;
    }
    case WM_RBUTTONDOWN: {
        HideToolTip();
        m_bToolTipAfterClick = true;
        ::SetFocus(m_hWndPaint);
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        m_ptLastMousePos = pt;
        CControlUI* control = FindControl(pt);
        if (!control || control->GetManager() != this) break;
        control->SetFocus();
        SendMouseEvent(control, UIEVENT_RBUTTONDOWN, pt, wParam, lParam);
        break;
    }
    case WM_CONTEXTMENU: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(m_hWndPaint, &pt);
        m_ptLastMousePos = pt;
        CControlUI* control = FindControl(pt);
        if (!control || control->GetManager() != this) break;
        SendMouseEvent(control, UIEVENT_CONTEXTMENU, pt, wParam, reinterpret_cast<LPARAM>(control));
        break;
    }
    case WM_MOUSEWHEEL: {
        POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(m_hWndPaint, &pt);
        m_ptLastMousePos = pt;
        CControlUI* control = FindControl(pt);
        if (!control || control->GetManager() != this) break;
        int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        SendMouseEvent(control, UIEVENT_SCROLLWHEEL, pt, MAKELPARAM(delta < 0 ? SB_LINEDOWN : SB_LINEUP, 0), lParam);
        break;
    }
    case WM_SETCURSOR: {
        if (LOWORD(lParam) != HTCLIENT) break;
        if (m_bMouseCapture) return true;
        POINT pt;
        GetCursorPos(&pt);
        ScreenToClient(m_hWndPaint, &pt);
        CControlUI* control = FindControl(pt);
        if (!control || (control->GetControlFlags() & UIFLAG_SETCURSOR) == 0) break;
        SendMouseEvent(control, UIEVENT_SETCURSOR, pt, wParam, lParam);
        lRes = TRUE;
        return true;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: {
        if (uMsg == WM_KEYDOWN && IsTabKey(wParam) && SetNextTabControl(GetKeyState(VK_SHIFT) >= 0)) return true;
        CControlUI* target = uMsg == WM_KEYUP && m_pEventKey ? m_pEventKey : m_pFocus;
        if (!target) break;
        TEventUI event;
        event.Type = uMsg == WM_KEYDOWN ? UIEVENT_KEYDOWN : uMsg == WM_KEYUP ? UIEVENT_KEYUP : UIEVENT_CHAR;
        event.pSender = target;
        event.chKey = static_cast<wchar_t>(wParam);
        event.ptMouse = m_ptLastMousePos;
        event.wKeyState = KeyState();
        event.wParam = wParam;
        event.lParam = lParam;
        event.dwTimestamp = GetTickCount();
        m_pEventKey = uMsg == WM_KEYUP ? nullptr : target;
        target->Event(event);
        break;
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        HWND child = reinterpret_cast<HWND>(lParam);
        if (!child || !GetPropW(child, kReflectProperty)) break;
        lRes = SendMessageW(child, OCM__BASE + uMsg, wParam, lParam);
        return true;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<LPNMHDR>(lParam);
        if (!header || !header->hwndFrom || !GetPropW(header->hwndFrom, kReflectProperty)) break;
        lRes = SendMessageW(header->hwndFrom, OCM__BASE + uMsg, wParam, lParam);
        return true;
    }
    default:
        break;
    }
    return false;
}
