#include "dialogs/ChatRichEdit.h"

#include "core/Logger.h"

#include <cwchar>

CHARFORMAT2W MakeCharFormat(LPCTSTR face, LONG heightTwips, DWORD argb, bool bold, bool italic, bool underline)
{
    CHARFORMAT2W format{};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_FACE | CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE;
    // The face field holds 31 characters and the terminator.
    wcsncpy(format.szFaceName, face ? face : L"", LF_FACESIZE - 1);
    format.yHeight = heightTwips;
    format.crTextColor = RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
    if (bold) format.dwEffects |= CFE_BOLD;
    if (italic) format.dwEffects |= CFE_ITALIC;
    if (underline) format.dwEffects |= CFE_UNDERLINE;
    return format;
}

PARAFORMAT2 MakeParaFormat(LONG startIndent, LONG lineSpacing)
{
    PARAFORMAT2 format{};
    format.cbSize = sizeof(format);
    format.dwMask = PFM_STARTINDENT | PFM_LINESPACING;
    format.dxStartIndent = startIndent;
    format.dyLineSpacing = lineSpacing;
    format.bLineSpacingRule = 4; // exact spacing in twips
    return format;
}

LPVOID CChatRichEditUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"ChatRichEdit") == 0) return this;
    return CRichEditUI::GetInterface(pstrName);
}

void CChatRichEditUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    m_attributes.emplace_back(pstrName, pstrValue);
    CRichEditUI::SetAttribute(pstrName, pstrValue);
}

CChatRichEditUI* CChatRichEditUI::Emptied()
{
    CControlUI* parent = GetParent();
    auto* container = parent ? static_cast<IContainerUI*>(parent->GetInterface(L"IContainer")) : nullptr;
    int index = container ? container->GetItemIndex(this) : -1;
    CPaintManagerUI* manager = GetManager();
    if (index < 0 || !manager) {
        SetText(L"");
        return this;
    }
    auto* fresh = new CChatRichEditUI;
    for (const auto& attribute : m_attributes) fresh->SetAttribute(attribute.first, attribute.second);
    fresh->SetReadOnly(IsReadOnly());
    fresh->SetLimitText(GetLimitText());
    fresh->SetEnabled(IsEnabled());
    fresh->SetVisible(IsVisible());
    bool focused = manager->GetFocus() == this || (GetNativeWindow() && ::GetFocus() == GetNativeWindow());
    RECT pos = GetPos();
    // The name goes to the fresh control; this one leaves the screen now and memory at the cleanup.
    SetVisible(false);
    manager->ReapObjects(this);
    if (!container->AddAt(fresh, index)) {
        delete fresh;
        LOG_ERROR(L"rich edit %s: no fresh control could be placed, emptied in place", GetName().GetString());
        SetVisible(true);
        manager->InitControls(this, parent);
        SetText(L"");
        return this;
    }
    fresh->SetPos(pos);
    container->Remove(this);
    if (focused) fresh->SetFocus();
    return fresh;
}

template <typename F>
auto CChatRichEditUI::Writable(F write) -> decltype(write())
{
    bool readOnly = IsReadOnly();
    HWND edit = GetNativeWindow();
    // A read-only rich edit refuses EM_REPLACESEL; the chat displays append while read-only.
    if (readOnly && edit) ::SendMessageW(edit, EM_SETREADONLY, FALSE, 0);
    auto result = write();
    if (readOnly && edit) ::SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
    return result;
}

void CChatRichEditUI::MoveToEnd()
{
    long end = GetTextLength();
    SetSel(end, end);
}

void CChatRichEditUI::Append(LPCTSTR text)
{
    Writable([&] {
        ReplaceSel(text);
        return true;
    });
}

bool CChatRichEditUI::AppendGif(LPCTSTR path)
{
    return Writable([&] { return InsertGif(path); });
}

void CChatRichEditUI::DeleteRange(long from, long to)
{
    if (to <= from) return;
    Writable([&] {
        SetSel(from, to);
        ReplaceSel(L"");
        return true;
    });
}

void CChatRichEditUI::HomeUp()
{
    if (!GetNativeWindow()) return;
    SetSel(0, 0);
    ::SendMessageW(GetNativeWindow(), WM_VSCROLL, SB_TOP, 0);
}

void CChatRichEditUI::Repaint()
{
    if (GetNativeWindow()) ::InvalidateRect(GetNativeWindow(), nullptr, FALSE);
}
