#include "dialogs/MessageBox.h"

#include "core/Logger.h"
#include "dialogs/DialogMessages.h"

#include <cmath>
#include <memory>
#include <new>
#include <vector>

namespace {

const UINT kFlashTimer = 1025;

// The boxes open on this thread, innermost last. A box can be opened while another box's loop runs,
// so each box keeps its own hook and the flash goes to the innermost one.
struct OpenBox {
    CLVMessageBox* box;
    HHOOK hook;
};
std::vector<OpenBox> g_openBoxes;
bool g_inHookChain = false;

} // namespace

// ---- CLVMBIcon ----

const wchar_t* const CLVMBIcon::kAttributes[8] = {L"iconexclamation", L"iconwarning", L"iconasterisk", L"iconinformation",
                                                  L"iconquestion",    L"iconstop",    L"iconerror",    L"iconhand"};

LPVOID CLVMBIcon::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"LVMBIcon") == 0) return this;
    return CControlUI::GetInterface(pstrName);
}

void CLVMBIcon::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    for (int i = 0; i < 8; ++i) {
        if (wcscmp(pstrName, kAttributes[i]) == 0) m_images[i] = pstrValue;
    }
    CControlUI::SetAttribute(pstrName, pstrValue);
}

CDuiString CLVMBIcon::GetIconImage(LPCTSTR attribute) const
{
    for (int i = 0; i < 8; ++i)
        if (attribute && wcscmp(attribute, kAttributes[i]) == 0) return m_images[i];
    return CDuiString();
}

// ---- CLVMBText ----

CLVMBText::CLVMBText()
{
    SetEnabled(false);
    m_uTextStyle |= DT_EXTERNALLEADING;
}

LPVOID CLVMBText::GetInterface(LPCTSTR pstrName)
{
    if (_wcsicmp(pstrName, L"LVMBText") == 0) return this;
    return CEditUI::GetInterface(pstrName);
}

void CLVMBText::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    CDuiString name(pstrName);
    if (name == L"multiline") {
        // Several lines: the one-line flag of the edit base would defeat the word breaks.
        if (CDuiString(pstrValue) == L"true") m_uTextStyle = (m_uTextStyle & ~(DT_SINGLELINE | DT_VCENTER)) | DT_WORDBREAK | DT_EDITCONTROL;
    } else if (name == L"textxyrate") {
        m_ratio = _wtof(pstrValue);
    } else if (name == L"autoadopted") {
        if (CDuiString(pstrValue) == L"true") m_autoAdopt = true;
    } else {
        CEditUI::SetAttribute(pstrName, pstrValue);
    }
}

SIZE CLVMBText::MeasureText(int limit)
{
    SIZE result{0, 0};
    if (!m_pManager) return result;
    HDC dc = m_pManager->GetPaintDC();
    HDC own = nullptr;
    if (!dc) dc = own = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, m_pManager->GetFont(m_iFont));
    RECT rc{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
            m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
    if (limit <= 0 && m_ratio > 0) {
        // No limit: lay the text out as a block of the chosen aspect ratio and the same area.
        RECT line = rc;
        DrawTextW(dc, m_sText, -1, &line, (m_uTextStyle & ~(DT_WORDBREAK | DT_EDITCONTROL)) | DT_SINGLELINE | DT_CALCRECT |
                                              DT_NOPREFIX);
        int cx = line.right - line.left, cy = line.bottom - line.top;
        int leading = m_pManager->GetFontInfo(m_iFont)->tm.tmExternalLeading;
        int target = 0;
        if (cx > 0 && cy > 0 && leading >= 0 && m_ratio > 0)
            target = static_cast<int>(std::floor(std::sqrt(m_ratio * cx * (cy + leading))));
        rc.right = rc.left + target;
    }
    if (limit > 0) rc.right = rc.left + limit;
    DrawTextW(dc, m_sText, -1, &rc, m_uTextStyle | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    if (own) DeleteDC(own);
    result.cx = rc.right - rc.left + m_rcTextPadding.left + m_rcTextPadding.right;
    result.cy = rc.bottom - rc.top + m_rcTextPadding.top + m_rcTextPadding.bottom;
    return result;
}

SIZE CLVMBText::EstimateSize(SIZE szAvailable)
{
    if (GetWidth() < 1 || GetHeight() < 1) return szAvailable;
    if (m_autoAdopt && !m_sText.IsEmpty()) return MeasureText(0);
    return CEditUI::EstimateSize(szAvailable);
}

void CLVMBText::PaintText(HDC hDC)
{
    if (m_sText.IsEmpty() || !m_pManager) return;
    DWORD color = m_dwTextColor ? m_dwTextColor : m_pManager->GetDefaultFontColor();
    CDuiString text = m_bPasswordMode ? CDuiString(m_cPasswordChar, m_sText.GetLength()) : m_sText;
    RECT rc{m_rcItem.left + m_rcTextPadding.left, m_rcItem.top + m_rcTextPadding.top,
            m_rcItem.right - m_rcTextPadding.right, m_rcItem.bottom - m_rcTextPadding.bottom};
    // Drawn in the normal colour although the control is disabled: it is read-only, not inactive.
    CRenderEngine::DrawText(hDC, m_pManager, rc, text, color, m_iFont, m_uTextStyle);
}

// ---- CLVMessageBox ----

CLVMessageBox::CLVMessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags)
    : m_owner(owner), m_text(text ? text : L""), m_caption(caption ? caption : L""), m_flags(flags)
{
}

CControlUI* CLVMessageBox::CreateControl(LPCTSTR pstrClass)
{
    if (wcscmp(pstrClass, L"LVMBIcon") == 0) return new CLVMBIcon;
    if (wcscmp(pstrClass, L"LVMBText") == 0) return new CLVMBText;
    return WindowImplBase::CreateControl(pstrClass);
}

int CLVMessageBox::ButtonPageOf(UINT flags)
{
    switch (flags & 0x0F) {
    case MB_OKCANCEL: return 2;
    case MB_ABORTRETRYIGNORE: return 0;
    case MB_YESNOCANCEL: return 5;
    case MB_YESNO: return 4;
    case MB_RETRYCANCEL: return 3;
    default: return 1; // MB_OK and anything above 5
    }
}

const wchar_t* CLVMessageBox::IconAttributeOf(UINT flags)
{
    switch (flags & 0xF0) {
    case 0x10: return L"iconstop";
    case 0x20: return L"iconquestion";
    case 0x30: return L"iconexclamation";
    case 0x40: return L"iconinformation";
    case 0x50: return L"iconerror";
    case 0x60: return L"iconhand";
    case 0x70: return L"iconwarning";
    case 0x80: return L"iconasterisk";
    default: return nullptr;
    }
}

int CLVMessageBox::DefaultButtonOf(UINT flags)
{
    switch (flags & MB_DEFMASK) {
    case MB_DEFBUTTON2: return 2;
    case MB_DEFBUTTON3: return 3;
    case MB_DEFBUTTON4: return 4;
    default: return 1;
    }
}

void CLVMessageBox::InitWindow()
{
    m_pCaption = static_cast<CLabelUI*>(m_PaintManager.FindControl(L"CaptionTitle"));
    m_pText = static_cast<CLVMBText*>(m_PaintManager.FindControl(L"MessageText"));
    m_pIcon = static_cast<CLVMBIcon*>(m_PaintManager.FindControl(L"MessageIcon"));
    m_pButtons = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"MBBtnTab"));
    m_pCaptionBk = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"CaptionBkTab"));
    // Only checked casts are kept: a skin with a control of the wrong kind shows as it is.
    if (m_pText && !m_pText->GetInterface(L"LVMBText")) m_pText = nullptr;
    if (m_pIcon && !m_pIcon->GetInterface(L"LVMBIcon")) m_pIcon = nullptr;
    if (m_pButtons && !m_pButtons->GetInterface(L"TabLayout")) m_pButtons = nullptr;
    if (m_pCaptionBk && !m_pCaptionBk->GetInterface(L"TabLayout")) m_pCaptionBk = nullptr;
    if (!m_pCaption || !m_pText || !m_pIcon || !m_pButtons || !m_pCaptionBk) {
        LOG_ERROR(L"message box skin lacks one of its named controls; shown as the skin holds it");
        return;
    }
    m_pCaption->SetText(m_caption);
    m_pText->SetText(m_text);
    ChooseIcon();
    ChooseButtons();
}

void CLVMessageBox::ChooseIcon()
{
    const wchar_t* attribute = IconAttributeOf(m_flags);
    CDuiString image = attribute ? m_pIcon->GetIconImage(attribute) : CDuiString();
    if (attribute) m_pIcon->SetBkImage(image);
    if (!attribute) {
        auto* iconTab = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(L"MBIconTab"));
        if (iconTab && iconTab->GetInterface(L"TabLayout")) iconTab->SelectItem(1, false);
    }
}

void CLVMessageBox::ChooseButtons()
{
    int page = ButtonPageOf(m_flags);
    m_pButtons->SelectItem(page, false);
    CDuiString name;
    name.Format(L"DefBtnTab%d_%d", page + 1, DefaultButtonOf(m_flags));
    auto* tab = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl(name));
    if (!tab || !tab->GetInterface(L"TabLayout")) return;
    tab->SelectItem(1, false);
    if (CControlUI* item = tab->GetItemAt(1)) item->SetFocus();
}

void CLVMessageBox::FitToText()
{
    if (!m_pText || !m_pIcon) return;
    SIZE I = m_PaintManager.GetInitSize();
    SIZE X = m_PaintManager.GetMaxInfo();
    SIZE N = m_PaintManager.GetMinInfo();
    int W = m_pText->GetWidth();
    int H = std::max(m_pIcon->GetHeight(), m_pText->GetHeight());
    int lowW = N.cx - I.cx + W, highW = X.cx - I.cx + W;
    int lowH = N.cy - I.cy + H, highH = X.cy - I.cy + H;

    SIZE natural = m_pText->MeasureText(0);
    // A block narrower than the room the box already has would wrap a short question for nothing: it
    // is laid out in that room instead, and keeps its own width when it needs less.
    if (natural.cx < W) {
        const RECT padding = m_pText->GetTextPadding();
        natural = m_pText->MeasureText(W - padding.left - padding.right);
    }
    m_pText->SetFixedWidth(natural.cx);
    m_pText->SetFixedHeight(natural.cy);
    int w = m_pText->GetFixedWidth();
    int h = std::max(m_pIcon->GetHeight(), m_pText->GetFixedHeight());
    int newWidth = -1, newHeight = -1;
    // A text of another size than the skin's always resizes the window (within its limits), so the
    // text is never cut off; beyond the maximum it is laid out again at the widest allowed width.
    if (w > 0 && w != W) {
        newWidth = w + I.cx - W;
        if (newWidth > X.cx) {
            SIZE limited = m_pText->MeasureText(highW);
            m_pText->SetFixedWidth(limited.cx);
            m_pText->SetFixedHeight(limited.cy);
            h = std::max(m_pIcon->GetHeight(), m_pText->GetFixedHeight());
            newWidth = X.cx;
        } else if (newWidth < N.cx) {
            newWidth = N.cx;
        }
    }
    if (h > 0 && h != H) {
        newHeight = h + I.cy - H;
        if (newHeight > X.cy) {
            m_pText->SetFixedHeight(highH);
            newHeight = X.cy;
        } else if (newHeight < N.cy) {
            newHeight = N.cy;
        }
    }
    if (m_pText->GetFixedWidth() < lowW) {
        for (const wchar_t* name : {L"LeftAlignCtrl", L"RightAlignCtrl"})
            if (CControlUI* c = m_PaintManager.FindControl(name)) c->SetVisible(true);
    }
    if (m_pText->GetFixedHeight() < lowH) {
        for (const wchar_t* name : {L"TopAlignCtrl", L"BottomAlignCtrl"})
            if (CControlUI* c = m_PaintManager.FindControl(name)) c->SetVisible(true);
        if (CControlUI* area = m_PaintManager.FindControl(L"PromptAreaHorz"))
            area->SetFixedHeight(std::max(m_pIcon->GetHeight(), m_pText->GetFixedHeight()));
    }
    if (newWidth != -1 || newHeight != -1) ResizeClient(newWidth, newHeight);
}

void CLVMessageBox::Notify(TNotifyUI& msg)
{
    if (msg.sType == DUI_MSGTYPE_WINDOWINIT) {
        FitToText();
        return;
    }
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) return;
    CDuiString name = msg.pSender->GetName();
    static const struct {
        const wchar_t* prefix;
        int result;
    } kButtons[] = {{L"OkBtn", IDOK},      {L"CancelBtn", IDCANCEL}, {L"AbortBtn", IDABORT}, {L"RetryBtn", IDRETRY},
                    {L"IgnoreBtn", IDIGNORE}, {L"YesBtn", IDYES},       {L"NoBtn", IDNO}};
    int result = 0;
    if (name == L"closebtn") {
        result = 8;
    } else {
        for (const auto& button : kButtons) {
            if (wcsncmp(name, button.prefix, wcslen(button.prefix)) == 0) {
                result = button.result;
                break;
            }
        }
    }
    if (result == 0) return;
    m_result = result;
    Close(static_cast<UINT>(result));
}

void CLVMessageBox::OnFlashTimer()
{
    if (!m_pCaptionBk) {
        KillTimer(m_hWnd, kFlashTimer);
        return;
    }
    if (m_flashCount <= 0) {
        m_pCaptionBk->SelectItem(0, false);
        KillTimer(m_hWnd, kFlashTimer);
    } else {
        m_pCaptionBk->SelectItem(m_pCaptionBk->GetCurSel() == 0 ? 1 : 0, false);
    }
    --m_flashCount;
}

LRESULT CLVMessageBox::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled)
{
    if (uMsg == WM_USER_FLASH_CAPTION) {
        KillTimer(m_hWnd, kFlashTimer);
        SetTimer(m_hWnd, kFlashTimer, LOWORD(lParam), nullptr);
        m_flashCount = HIWORD(lParam);
        bHandled = TRUE;
        return 0;
    }
    if (uMsg == WM_TIMER && wParam == kFlashTimer) {
        OnFlashTimer();
        bHandled = TRUE;
        return 0;
    }
    bHandled = FALSE;
    return 0;
}

void CLVMessageBox::OnFinalMessage(HWND hWnd)
{
    // ShowMessageBox owns the object: the window going away does not delete it.
    WindowImplBase::OnFinalMessage(hWnd);
}

int CLVMessageBox::RunModal()
{
    HWND self = m_hWnd;
    ::ShowWindow(self, SW_SHOWNORMAL);
    HWND owner = GetWindow(self, GW_OWNER);
    // The owner gets back the state it had: a box opened from a disabled window leaves it disabled.
    bool ownerWasEnabled = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    auto restoreOwner = [&] {
        if (!owner || !IsWindow(owner)) return;
        EnableWindow(owner, ownerWasEnabled);
        if (ownerWasEnabled) SetFocus(owner);
    };
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (IsWindow(self)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = msg.wParam;
            break;
        }
        if (got == -1) break;
        if (msg.message == WM_CLOSE && msg.hwnd == self) restoreOwner();
        if (!CPaintManagerUI::TranslateMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    restoreOwner();
    if (IsWindow(self)) DestroyWindow(self);
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return m_result;
}

LRESULT CALLBACK MessageBoxMouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // Every open box has a hook in the chain; the first one reached does the work for all.
    if (code >= 0 && !g_inHookChain && (wParam == WM_NCLBUTTONDOWN || wParam == WM_NCRBUTTONDOWN) &&
        !g_openBoxes.empty()) {
        g_inHookChain = true;
        HWND box = g_openBoxes.back().box->GetHWND();
        if (box && IsWindowVisible(box)) {
            RECT rc;
            POINT pt;
            GetWindowRect(box, &rc);
            GetCursorPos(&pt);
            if (!PtInRect(&rc, pt)) ::PostMessageW(box, WM_USER_FLASH_CAPTION, 0, 0x50032);
        }
        LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
        g_inHookChain = false;
        return result;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int ShowMessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT flags)
{
    std::unique_ptr<CLVMessageBox> box(new (std::nothrow) CLVMessageBox(owner, text, caption, flags));
    if (!box) return 0;
    if (!box->Create(owner, L"LVMessageBox", 0x96C80000, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                     CW_USEDEFAULT)) {
        LOG_ERROR(L"message box cannot be shown: %s", text ? text : L"");
        return 0;
    }
    box->CenterWindow();
    HHOOK hook = SetWindowsHookExW(WH_MOUSE, MessageBoxMouseHookProc, nullptr, GetCurrentThreadId());
    g_openBoxes.push_back({box.get(), hook});
    int result = box->RunModal();
    for (auto it = g_openBoxes.begin(); it != g_openBoxes.end(); ++it) {
        if (it->box == box.get()) {
            g_openBoxes.erase(it);
            break;
        }
    }
    if (hook) UnhookWindowsHookEx(hook);
    return result;
}
