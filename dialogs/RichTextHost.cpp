#include "dialogs/RichTextHost.h"

#include "core/Logger.h"

#include <cwchar>

namespace {
// The newer rich edit first; the older one where the system lacks it.
const wchar_t* RichEditClass()
{
    static const wchar_t* cls = [] () -> const wchar_t* {
        if (LoadLibraryW(L"msftedit.dll")) return L"RICHEDIT50W";
        if (LoadLibraryW(L"riched20.dll")) return RICHEDIT_CLASSW;
        return nullptr;
    }();
    return cls;
}
} // namespace

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

CRichTextHostUI::~CRichTextHostUI()
{
    if (m_edit && IsWindow(m_edit)) DestroyWindow(m_edit);
}

LPVOID CRichTextHostUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"RichTextHost") == 0) return this;
    return CWinContainerUI::GetInterface(pstrName);
}

void CRichTextHostUI::DoInit()
{
    CWinContainerUI::DoInit();
    if (!m_edit) CreateEditWindow();
}

bool CRichTextHostUI::CreateEditWindow()
{
    if (!m_pManager || !m_pManager->GetPaintWindow()) return false;
    const wchar_t* cls = RichEditClass();
    if (!cls) {
        LOG_ERROR(L"no rich edit control on this system");
        return false;
    }
    DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (m_readOnly) style |= ES_READONLY;
    m_edit = CreateWindowExW(0, cls, L"", style, 0, 0, 0, 0, m_pManager->GetPaintWindow(), nullptr,
                             CPaintManagerUI::GetInstance(), nullptr);
    if (!m_edit) {
        LOG_ERROR(L"the rich edit %s cannot be created (%lu)", GetName().GetString(), GetLastError());
        return false;
    }
    SendMessageW(m_edit, EM_EXLIMITTEXT, 0, m_limit);
    if (!IsEnabled()) EnableWindow(m_edit, FALSE);
    if (!IsVisible()) ::ShowWindow(m_edit, SW_HIDE);
    SetEmbedWindow(m_edit);
    SetPos(GetPos());
    return true;
}

void CRichTextHostUI::SetAttribute(LPCTSTR pstrName, LPCTSTR pstrValue)
{
    if (wcscmp(pstrName, L"limittext") == 0) {
        long limit = wcstol(pstrValue, nullptr, 10);
        if (limit > 0) SetLimitText(limit);
        return;
    }
    CWinContainerUI::SetAttribute(pstrName, pstrValue);
}

void CRichTextHostUI::SetEnabled(bool bEnable)
{
    CWinContainerUI::SetEnabled(bEnable);
    if (m_edit) EnableWindow(m_edit, bEnable);
}

void CRichTextHostUI::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (m_edit) SendMessageW(m_edit, EM_SETREADONLY, readOnly, 0);
}

long CRichTextHostUI::GetTextLength() const
{
    if (!m_edit) return -1;
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<long>(SendMessageW(m_edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
}

long CRichTextHostUI::GetLimitText() const
{
    return m_edit ? static_cast<long>(SendMessageW(m_edit, EM_GETLIMITTEXT, 0, 0)) : 0;
}

void CRichTextHostUI::SetLimitText(long limit)
{
    m_limit = limit;
    if (m_edit) SendMessageW(m_edit, EM_EXLIMITTEXT, 0, limit);
}

CDuiString CRichTextHostUI::GetAllText() const
{
    long length = GetTextLength();
    if (length <= 0) return CDuiString();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    LRESULT copied = SendMessageW(m_edit, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return CDuiString(CString(text));
}

void CRichTextHostUI::Clear()
{
    if (!m_edit) return;
    // Deleting a long text with many paragraph formats can spin inside Wine's rich edit; a fresh
    // control is empty at once.
    HWND old = m_edit;
    bool focused = ::GetFocus() == old;
    m_edit = nullptr;
    m_readOnly = true;
    CreateEditWindow();
    ::DestroyWindow(old);
    if (focused && m_edit) ::SetFocus(m_edit);
}

void CRichTextHostUI::MoveToEnd()
{
    if (!m_edit) return;
    long end = GetTextLength();
    SendMessageW(m_edit, EM_SETSEL, end, end);
}

void CRichTextHostUI::SetSelectionCharFormat(CHARFORMAT2W& format)
{
    if (m_edit) SendMessageW(m_edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void CRichTextHostUI::SetParaFormat(PARAFORMAT2& format)
{
    if (m_edit) SendMessageW(m_edit, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
}

void CRichTextHostUI::ReplaceSel(LPCTSTR text)
{
    if (!m_edit) return;
    // A read-only rich edit refuses EM_REPLACESEL; the chat displays append while read-only.
    if (m_readOnly) SendMessageW(m_edit, EM_SETREADONLY, FALSE, 0);
    SendMessageW(m_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text ? text : L""));
    if (m_readOnly) SendMessageW(m_edit, EM_SETREADONLY, TRUE, 0);
}

void CRichTextHostUI::EndDown()
{
    if (m_edit) SendMessageW(m_edit, WM_VSCROLL, SB_BOTTOM, 0);
}

void CRichTextHostUI::HomeUp()
{
    if (!m_edit) return;
    SendMessageW(m_edit, EM_SETSEL, 0, 0);
    SendMessageW(m_edit, WM_VSCROLL, SB_TOP, 0);
}

void CRichTextHostUI::Repaint()
{
    if (m_edit) InvalidateRect(m_edit, nullptr, FALSE);
}

void CRichTextHostUI::DeleteRange(long from, long to)
{
    if (!m_edit || to <= from) return;
    SendMessageW(m_edit, EM_SETREADONLY, FALSE, 0);
    SendMessageW(m_edit, EM_SETSEL, from, to);
    SendMessageW(m_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(m_edit, EM_SETREADONLY, m_readOnly, 0);
}
