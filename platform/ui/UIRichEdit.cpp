#include "platform/ui/UIRichEdit.h"

#include "platform/ui/UILog.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIRichEditImage.h"

#include <richole.h>

#include <olectl.h>

#include <vector>

namespace {

const wchar_t kOwnerProperty[] = L"LvUiRichEdit";
const wchar_t kReflectProperty[] = L"LvUiReflect";
// IID_IRichEditOle, declared by richole.h without a definition in MinGW's libraries.
const IID kIidRichEditOle = {0x00020D00, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

IRichEditOle* RichEditOle(HWND hwnd)
{
    IRichEditOle* ole = nullptr;
    if (hwnd) SendMessageW(hwnd, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole));
    return ole;
}

const long kNoPlace = -2;
const long kAtTheEnd = -1;

// Where the reader of a multi-line edit is: at the end of the text (also when it all fits), or at the
// character that begins the top line of the view.
long PlaceOf(HWND hwnd)
{
    SCROLLINFO info{};
    info.cbSize = sizeof(info);
    info.fMask = SIF_ALL;
    // A hidden bar keeps the range it had when the text last overflowed.
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_VSCROLL) || !GetScrollInfo(hwnd, SB_VERT, &info) ||
        info.nPos + static_cast<int>(info.nPage) >= info.nMax)
        return kAtTheEnd;
    WPARAM line = static_cast<WPARAM>(SendMessageW(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0));
    return static_cast<long>(SendMessageW(hwnd, EM_LINEINDEX, line, 0));
}

void ScrollBackTo(HWND hwnd, long place)
{
    if (place == kAtTheEnd) {
        SendMessageW(hwnd, WM_VSCROLL, SB_BOTTOM, 0);
        return;
    }
    long line = static_cast<long>(SendMessageW(hwnd, EM_EXLINEFROMCHAR, 0, place));
    long first = static_cast<long>(SendMessageW(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0));
    if (line != first) SendMessageW(hwnd, EM_LINESCROLL, 0, line - first);
}

bool LoadRichEditLibrary()
{
    static HMODULE module = LoadLibraryW(L"riched20.dll");
    return module != nullptr;
}

} // namespace

CRichEditUI::CRichEditUI() = default;

CRichEditUI::~CRichEditUI()
{
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        RemovePropW(hwnd, kOwnerProperty);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_oldProc));
        m_hWnd = nullptr;
        DestroyWindow(hwnd);
    }
    for (CRichEditImage* image : m_images) image->Release();
}

LPVOID CRichEditUI::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"RichEdit") == 0) return this;
    return CControlUI::GetInterface(pstrName);
}

bool CRichEditUI::CreateNative()
{
    if (m_hWnd) return true;
    if (!m_pManager || !m_pManager->GetPaintWindow()) return false;
    if (!LoadRichEditLibrary()) {
        UILogError(L"the rich edit library cannot be loaded");
        return false;
    }
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | ES_LEFT | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (m_bMultiline) style |= ES_MULTILINE | ES_WANTRETURN;
    else style |= ES_AUTOHSCROLL;
    if (m_bVScroll && m_bMultiline) style |= WS_VSCROLL;
    if (m_bReadOnly) style |= ES_READONLY;
    m_hWnd = CreateWindowExW(0, RICHEDIT_CLASSW, nullptr, style, 0, 0, 0, 0, m_pManager->GetPaintWindow(), nullptr,
                             CPaintManagerUI::GetInstance(), nullptr);
    if (!m_hWnd) {
        UILogError(L"rich edit %s cannot be created (%lu)", m_sName.GetString(), GetLastError());
        return false;
    }
    SetPropW(m_hWnd, kOwnerProperty, this);
    SetPropW(m_hWnd, kReflectProperty, reinterpret_cast<HANDLE>(1));
    m_oldProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CRichEditUI::Proc)));
    SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_pManager->GetFont(m_iFont)), FALSE);
    SendMessageW(m_hWnd, EM_EXLIMITTEXT, 0, m_limit);
    SendMessageW(m_hWnd, EM_SETEVENTMASK, 0, ENM_CHANGE);
    if (m_dwBackColor)
        SendMessageW(m_hWnd, EM_SETBKGNDCOLOR, 0,
                     RGB((m_dwBackColor >> 16) & 0xFF, (m_dwBackColor >> 8) & 0xFF, m_dwBackColor & 0xFF));
    if (m_dwTextColor) {
        CHARFORMAT2W cf{};
        cf.cbSize = sizeof(cf);
        cf.dwMask = CFM_COLOR;
        cf.crTextColor = RGB((m_dwTextColor >> 16) & 0xFF, (m_dwTextColor >> 8) & 0xFF, m_dwTextColor & 0xFF);
        SendMessageW(m_hWnd, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf));
    }
    SetWindowTextW(m_hWnd, m_sPendingText);
    m_sPendingText.Empty();
    EnableWindow(m_hWnd, IsEnabled());
    SetPos(m_rcItem);
    UpdateNativeVisibility();
    return true;
}

void CRichEditUI::UpdateNativeVisibility()
{
    if (!m_hWnd) return;
    bool show = IsVisible() && !IsRectEmpty(&m_rcItem);
    ::ShowWindow(m_hWnd, show ? SW_SHOWNOACTIVATE : SW_HIDE);
}

void CRichEditUI::DoInit()
{
    CreateNative();
}

CDuiString CRichEditUI::GetText() const
{
    if (!m_hWnd) return m_sPendingText;
    GETTEXTLENGTHEX length = {GTL_DEFAULT | GTL_NUMCHARS, 1200};
    long count = static_cast<long>(SendMessageW(m_hWnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
    std::vector<wchar_t> buffer(static_cast<size_t>(count) + 1, L'\0');
    GETTEXTEX get = {static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr, nullptr};
    SendMessageW(m_hWnd, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(buffer.data()));
    return CDuiString(buffer.data());
}

void CRichEditUI::SetText(LPCTSTR pstrText)
{
    if (pstrText && !*pstrText) {
        // Emptied: the images go with the text.
        if (m_hWnd) SetWindowTextW(m_hWnd, L"");
        for (CRichEditImage* image : m_images) image->Release();
        m_images.clear();
        m_sPendingText.Empty();
        return;
    }
    if (!m_hWnd) {
        m_sPendingText = pstrText ? pstrText : L"";
        return;
    }
    SetWindowTextW(m_hWnd, pstrText ? pstrText : L"");
}

CDuiString CRichEditUI::GetData() const
{
    // Every embedded object takes one character position; images of this layer go back as their tokens,
    // other objects as nothing.
    CDuiString text = GetText();
    std::vector<std::pair<long, const wchar_t*>> objects;
    if (IRichEditOle* ole = m_images.empty() ? nullptr : RichEditOle(m_hWnd)) {
        LONG count = ole->GetObjectCount();
        for (LONG i = 0; i < count; ++i) {
            REOBJECT reobj{};
            reobj.cbStruct = sizeof(reobj);
            if (ole->GetObject(i, &reobj, REO_GETOBJ_POLEOBJ) != S_OK) continue;
            const wchar_t* token = L"";
            for (CRichEditImage* image : m_images)
                if (reobj.poleobj == static_cast<IOleObject*>(image)) token = image->Token().c_str();
            objects.emplace_back(reobj.cp, token);
            if (reobj.poleobj) reobj.poleobj->Release();
        }
        ole->Release();
    }
    CDuiString out;
    for (int i = 0; i < text.GetLength(); ++i) {
        const wchar_t* token = nullptr;
        for (const auto& object : objects)
            if (object.first == i) token = object.second;
        if (token) out += token;
        else if (text[i] != 0xFFFC) out += text[i];
    }
    return out;
}

bool CRichEditUI::InsertGif(LPCTSTR path)
{
    IRichEditOle* ole = RichEditOle(m_hWnd);
    if (!ole) {
        UILogError(L"rich edit %s: no OLE interface for an image", m_sName.GetString());
        return false;
    }
    CRichEditImage* image = CRichEditImage::FromFile(path);
    if (!image) {
        ole->Release();
        return false;
    }
    IOleClientSite* site = nullptr;
    ole->GetClientSite(&site);
    // A storage of its own in memory, as containers expect of an embedded object.
    ILockBytes* bytes = nullptr;
    IStorage* storage = nullptr;
    if (SUCCEEDED(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes)))
        StgCreateDocfileOnILockBytes(bytes, STGM_SHARE_EXCLUSIVE | STGM_CREATE | STGM_READWRITE, 0, &storage);
    image->SetClientSite(site);
    REOBJECT reobj{};
    reobj.cbStruct = sizeof(reobj);
    reobj.cp = REO_CP_SELECTION;
    image->GetUserClassID(&reobj.clsid);
    reobj.poleobj = image;
    reobj.pstg = storage;
    reobj.polesite = site;
    reobj.dvaspect = DVASPECT_CONTENT;
    reobj.dwFlags = REO_BELOWBASELINE;
    image->GetExtent(DVASPECT_CONTENT, &reobj.sizel);
    HRESULT hr = ole->InsertObject(&reobj);
    if (storage) storage->Release();
    if (bytes) bytes->Release();
    if (site) site->Release();
    ole->Release();
    if (FAILED(hr)) {
        UILogError(L"rich edit %s: image %s not inserted (0x%08X)", m_sName.GetString(), path, static_cast<unsigned>(hr));
        image->Release();
        return false;
    }
    m_images.push_back(image); // our reference, for the tokens and the frames
    return true;
}

void CRichEditUI::RedrawImages()
{
    if (m_hWnd && !m_images.empty()) InvalidateRect(m_hWnd, nullptr, FALSE);
}

long CRichEditUI::GetTextLength() const
{
    if (!m_hWnd) return m_sPendingText.GetLength();
    GETTEXTLENGTHEX length = {GTL_DEFAULT | GTL_NUMCHARS, 1200};
    return static_cast<long>(SendMessageW(m_hWnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

void CRichEditUI::SetLimitText(long limit)
{
    m_limit = limit;
    if (m_hWnd) SendMessageW(m_hWnd, EM_EXLIMITTEXT, 0, limit);
}

long CRichEditUI::GetLimitText() const
{
    if (!m_hWnd) return m_limit;
    return static_cast<long>(SendMessageW(m_hWnd, EM_GETLIMITTEXT, 0, 0));
}

void CRichEditUI::SetSel(long start, long end)
{
    if (!m_hWnd) return;
    CHARRANGE range = {start, end};
    SendMessageW(m_hWnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

void CRichEditUI::GetSel(long& start, long& end) const
{
    CHARRANGE range = {0, 0};
    if (m_hWnd) SendMessageW(m_hWnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    start = range.cpMin;
    end = range.cpMax;
}

void CRichEditUI::ReplaceSel(LPCTSTR text, bool canUndo)
{
    if (!m_hWnd) {
        m_sPendingText += text ? text : L"";
        return;
    }
    SendMessageW(m_hWnd, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text ? text : L""));
}

CDuiString CRichEditUI::GetTextRange(long start, long end) const
{
    if (!m_hWnd) return m_sPendingText.Mid(start, end - start);
    long length = GetTextLength();
    if (end < 0 || end > length) end = length;
    if (start < 0) start = 0;
    if (end <= start) return CDuiString();
    std::vector<wchar_t> buffer(static_cast<size_t>(end - start) + 1, L'\0');
    TEXTRANGEW range = {{start, end}, buffer.data()};
    SendMessageW(m_hWnd, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return CDuiString(buffer.data());
}

bool CRichEditUI::SetSelectionCharFormat(CHARFORMAT2W& cf)
{
    cf.cbSize = sizeof(cf);
    return m_hWnd && SendMessageW(m_hWnd, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf)) != 0;
}

bool CRichEditUI::SetDefaultCharFormat(CHARFORMAT2W& cf)
{
    cf.cbSize = sizeof(cf);
    return m_hWnd && SendMessageW(m_hWnd, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&cf)) != 0;
}

bool CRichEditUI::SetWordCharFormat(CHARFORMAT2W& cf)
{
    cf.cbSize = sizeof(cf);
    return m_hWnd &&
           SendMessageW(m_hWnd, EM_SETCHARFORMAT, SCF_SELECTION | SCF_WORD, reinterpret_cast<LPARAM>(&cf)) != 0;
}

bool CRichEditUI::SetParaFormat(PARAFORMAT2& pf)
{
    pf.cbSize = sizeof(pf);
    return m_hWnd && SendMessageW(m_hWnd, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&pf)) != 0;
}

void CRichEditUI::SetReadOnly(bool readOnly)
{
    m_bReadOnly = readOnly;
    if (m_hWnd) SendMessageW(m_hWnd, EM_SETREADONLY, readOnly, 0);
}

void CRichEditUI::EndDown()
{
    if (!m_hWnd) return;
    m_keptPlace = kNoPlace;
    SetSel(-1, -1);
    SendMessageW(m_hWnd, EM_SCROLLCARET, 0, 0);
    SendMessageW(m_hWnd, WM_VSCROLL, SB_BOTTOM, 0);
}

void CRichEditUI::SetEnabled(bool bEnable)
{
    CControlUI::SetEnabled(bEnable);
    if (m_hWnd) EnableWindow(m_hWnd, bEnable);
}

void CRichEditUI::SetVisible(bool bVisible)
{
    CControlUI::SetVisible(bVisible);
    UpdateNativeVisibility();
}

void CRichEditUI::SetInternVisible(bool bVisible)
{
    CControlUI::SetInternVisible(bVisible);
    UpdateNativeVisibility();
}

void CRichEditUI::SetFocus()
{
    CControlUI::SetFocus();
    if (m_hWnd && IsEnabled()) ::SetFocus(m_hWnd);
}

void CRichEditUI::SetPos(RECT rc)
{
    CControlUI::SetPos(rc);
    if (!m_hWnd) return;
    RECT inner{rc.left + m_rcInset.left, rc.top + m_rcInset.top, rc.right - m_rcInset.right, rc.bottom - m_rcInset.bottom};
    if (inner.right < inner.left) inner.right = inner.left;
    if (inner.bottom < inner.top) inner.bottom = inner.top;
    // A hidden edit keeps its size, so that its text need not be wrapped again at none.
    if (IsRectEmpty(&m_rcItem)) {
        UpdateNativeVisibility();
        return;
    }
    RECT now{};
    GetWindowRect(m_hWnd, &now);
    // Wrapped again at another size, the text would lose the reader's place (at the top, or wherever the
    // range ends): the place before the first of a series of resizes is kept.
    bool resized = now.right - now.left != inner.right - inner.left || now.bottom - now.top != inner.bottom - inner.top;
    bool keepPlace = resized && m_bMultiline && !IsRectEmpty(&now);
    long place = kNoPlace;
    if (keepPlace) place = m_keptPlace != kNoPlace ? m_keptPlace : PlaceOf(m_hWnd);
    SetWindowPos(m_hWnd, nullptr, inner.left, inner.top, inner.right - inner.left, inner.bottom - inner.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (keepPlace) {
        ScrollBackTo(m_hWnd, place);
        m_keptPlace = place;
    }
    UpdateNativeVisibility();
}

void CRichEditUI::DoEvent(TEventUI& event)
{
    if (event.Type == UIEVENT_SETCURSOR) {
        SetCursor(LoadCursor(nullptr, IDC_IBEAM));
        return;
    }
    if (event.Type == UIEVENT_SETFOCUS && m_hWnd && IsEnabled()) {
        ::SetFocus(m_hWnd);
        return;
    }
    CControlUI::DoEvent(event);
}

void CRichEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"readonly") SetReadOnly(ParseBool(pstrValue));
    else if (name == L"multiline") m_bMultiline = ParseBool(pstrValue);
    else if (name == L"vscrollbar") m_bVScroll = ParseBool(pstrValue);
    else if (name == L"wantreturn") m_bWantReturn = ParseBool(pstrValue);
    else if (name == L"font") m_iFont = _wtoi(pstrValue);
    else if (name == L"textcolor") m_dwTextColor = ParseColor(pstrValue);
    else if (name == L"maxchar") SetLimitText(_wtol(pstrValue));
    else if (name == L"inset") m_rcInset = ParseRect(pstrValue);
    else CControlUI::SetAttribute(pstrName, pstrValue);
}

LRESULT CALLBACK CRichEditUI::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<CRichEditUI*>(GetPropW(hwnd, kOwnerProperty));
    if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->Handle(msg, wParam, lParam);
}

LRESULT CRichEditUI::Handle(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case OCM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE && m_pManager) m_pManager->SendNotify(this, DUI_MSGTYPE_TEXTCHANGED);
        return 0;
    case WM_KEYDOWN:
        m_keptPlace = kNoPlace;
        // Return sends (the chat's "return"); Shift+Return still breaks the line.
        if (wParam == VK_RETURN && !m_bWantReturn && GetKeyState(VK_SHIFT) >= 0 && m_pManager) {
            m_pManager->SendNotify(this, DUI_MSGTYPE_RETURN);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\r' && !m_bWantReturn && GetKeyState(VK_SHIFT) >= 0) return 0;
        break;
    case WM_SETFOCUS:
        if (m_pManager && m_pManager->GetFocus() != this) m_pManager->SetFocus(this);
        break;
    case WM_VSCROLL:
    case WM_MOUSEWHEEL:
    case WM_LBUTTONDOWN:
        // The reader moves: their new place is the one to keep.
        m_keptPlace = kNoPlace;
        break;
    case WM_NCDESTROY: {
        HWND hwnd = m_hWnd;
        WNDPROC old = m_oldProc;
        RemovePropW(hwnd, kOwnerProperty);
        RemovePropW(hwnd, kReflectProperty);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        m_hWnd = nullptr;
        return CallWindowProcW(old, hwnd, msg, wParam, lParam);
    }
    default:
        break;
    }
    return CallWindowProcW(m_oldProc, m_hWnd, msg, wParam, lParam);
}
