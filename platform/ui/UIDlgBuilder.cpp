#include "platform/ui/UIDlgBuilder.h"

#include "platform/ui/UICommonControls.h"
#include "platform/ui/UIContainer.h"
#include "platform/ui/UIList.h"
#include "platform/ui/UILog.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIRichEdit.h"

#include <objbase.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <cstring>
#include <string>

namespace {

// IID_IXmlReader; the GUID is declared in xmllite.h but MinGW has no import library that defines it.
const GUID kIidXmlReader = {0x7279fc81, 0x709d, 0x4095, {0xb6, 0x3d, 0x69, 0xfe, 0x4b, 0x0d, 0x90, 0x30}};

using CreateXmlReaderFn = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFn XmlReaderFactory()
{
    static CreateXmlReaderFn factory = [] {
        HMODULE module = LoadLibraryW(L"xmllite.dll");
        return module ? reinterpret_cast<CreateXmlReaderFn>(GetProcAddress(module, "CreateXmlReader")) : nullptr;
    }();
    return factory;
}

template <typename T>
class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (m_p) m_p->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

CDuiString Text(const wchar_t* p, UINT length)
{
    return CDuiString(p ? p : L"", static_cast<int>(length));
}

} // namespace

bool CMarkupNode::HasAttribute(LPCTSTR name) const
{
    for (const auto& a : m_attributes)
        if (a.first == name) return true;
    return false;
}

CDuiString CMarkupNode::GetAttributeValue(LPCTSTR name) const
{
    for (const auto& a : m_attributes)
        if (a.first == name) return a.second;
    return CDuiString();
}

bool CMarkup::Load(LPCTSTR pstrXml)
{
    m_valid = false;
    if (!pstrXml) return false;
    // UTF-16 with its byte-order mark, so the reader needs no encoding declaration.
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(pstrXml), wcslen(pstrXml) * sizeof(wchar_t));
    IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (!stream) {
        m_error = L"no memory stream";
        UILogError(L"skin text cannot be read: no memory stream");
        return false;
    }
    bool ok = Parse(stream, L"(text)");
    stream->Release();
    return ok;
}

bool CMarkup::LoadFromFile(LPCTSTR pstrPath)
{
    m_valid = false;
    IStream* stream = nullptr;
    HRESULT hr = SHCreateStreamOnFileW(pstrPath, STGM_READ | STGM_SHARE_DENY_WRITE, &stream);
    if (FAILED(hr) || !stream) {
        m_error.Format(L"cannot open the file (0x%08X)", static_cast<unsigned>(hr));
        UILogError(L"skin %s cannot be opened (0x%08X)", pstrPath, static_cast<unsigned>(hr));
        return false;
    }
    bool ok = Parse(stream, pstrPath);
    stream->Release();
    return ok;
}

bool CMarkup::Parse(IStream* stream, LPCTSTR source)
{
    m_root = CMarkupNode();
    CreateXmlReaderFn factory = XmlReaderFactory();
    if (!factory) {
        m_error = L"xmllite.dll is not available";
        UILogError(L"skin %s cannot be read: xmllite.dll is not available", source);
        return false;
    }
    ComRef<IXmlReader> reader;
    HRESULT hr = factory(kIidXmlReader, reinterpret_cast<void**>(reader.Out()), nullptr);
    if (FAILED(hr) || !reader.Get()) {
        m_error = L"no XML reader";
        UILogError(L"skin %s cannot be read: no XML reader (0x%08X)", source, static_cast<unsigned>(hr));
        return false;
    }
    reader->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit);
    hr = reader->SetInput(stream);
    if (FAILED(hr)) {
        m_error = L"input refused";
        UILogError(L"skin %s cannot be read (0x%08X)", source, static_cast<unsigned>(hr));
        return false;
    }
    CMarkupNode document;
    std::vector<CMarkupNode*> path{&document};
    XmlNodeType type;
    // Skins are small; a reader that keeps answering on broken input must not grow the tree forever.
    const size_t kMaxReads = 100000, kMaxDepth = 200;
    size_t reads = 0;
    while ((hr = reader->Read(&type)) == S_OK) {
        if (++reads > kMaxReads || path.size() > kMaxDepth) {
            hr = E_FAIL;
            break;
        }
        if (type == XmlNodeType_Element) {
            CMarkupNode node;
            const wchar_t* name = nullptr;
            UINT length = 0;
            reader->GetLocalName(&name, &length);
            node.m_name = Text(name, length);
            bool empty = reader->IsEmptyElement() != FALSE;
            for (HRESULT a = reader->MoveToFirstAttribute(); a == S_OK; a = reader->MoveToNextAttribute()) {
                const wchar_t* attrName = nullptr;
                const wchar_t* attrValue = nullptr;
                UINT nameLength = 0, valueLength = 0;
                reader->GetLocalName(&attrName, &nameLength);
                reader->GetValue(&attrValue, &valueLength);
                node.m_attributes.emplace_back(Text(attrName, nameLength), Text(attrValue, valueLength));
            }
            reader->MoveToElement();
            CMarkupNode* parent = path.back();
            parent->m_children.push_back(std::move(node));
            if (!empty) path.push_back(&parent->m_children.back());
        } else if (type == XmlNodeType_EndElement) {
            if (path.size() > 1) path.pop_back();
        }
    }
    if (FAILED(hr)) {
        UINT line = 0, column = 0;
        reader->GetLineNumber(&line);
        reader->GetLinePosition(&column);
        m_error.Format(L"malformed XML (0x%08X) at line %u, column %u", static_cast<unsigned>(hr), line, column);
        UILogError(L"skin %s: %s", source, m_error.GetString());
        return false;
    }
    if (path.size() != 1) {
        m_error = L"an element is not closed";
        UILogError(L"skin %s: an element is not closed", source);
        return false;
    }
    if (document.m_children.size() != 1) {
        m_error = L"no root element";
        UILogError(L"skin %s: no root element", source);
        return false;
    }
    m_root = std::move(document.m_children.front());
    m_valid = true;
    return true;
}

CControlUI* CDialogBuilder::CreateBuiltinControl(const CDuiString& tag)
{
    const wchar_t* t = tag;
    if (wcscmp(t, L"Control") == 0) return new CControlUI;
    if (wcscmp(t, L"Container") == 0) return new CContainerUI;
    if (wcscmp(t, L"VerticalLayout") == 0) return new CVerticalLayoutUI;
    if (wcscmp(t, L"HorizontalLayout") == 0) return new CHorizontalLayoutUI;
    if (wcscmp(t, L"TabLayout") == 0) return new CTabLayoutUI;
    if (wcscmp(t, L"Label") == 0) return new CLabelUI;
    if (wcscmp(t, L"Text") == 0) return new CTextUI;
    if (wcscmp(t, L"Button") == 0) return new CButtonUI;
    if (wcscmp(t, L"Option") == 0) return new COptionUI;
    if (wcscmp(t, L"CheckBox") == 0) return new CCheckBoxUI;
    if (wcscmp(t, L"Edit") == 0) return new CEditUI;
    if (wcscmp(t, L"Progress") == 0) return new CProgressUI;
    if (wcscmp(t, L"Slider") == 0) return new CSliderUI;
    if (wcscmp(t, L"ScrollBar") == 0) return new CScrollBarUI;
    if (wcscmp(t, L"List") == 0) return new CListUI;
    if (wcscmp(t, L"ListHeader") == 0) return new CListHeaderUI;
    if (wcscmp(t, L"ListHeaderItem") == 0) return new CListHeaderItemUI;
    if (wcscmp(t, L"ListLabelElement") == 0) return new CListLabelElementUI;
    if (wcscmp(t, L"ListContainerElement") == 0) return new CListContainerElementUI;
    if (wcscmp(t, L"Combo") == 0) return new CComboUI;
    if (wcscmp(t, L"RichEdit") == 0) return new CRichEditUI;
    return nullptr;
}

CControlUI* CDialogBuilder::Create(LPCTSTR xml, LPCTSTR, IDialogBuilderCallback* pCallback, CPaintManagerUI* pManager,
                                   CControlUI* pParent)
{
    m_pCallback = pCallback;
    if (!xml || !*xml) {
        UILogError(L"skin: no file or text given");
        return nullptr;
    }
    bool ok;
    if (*xml == L'<') {
        ok = m_xml.Load(xml);
    } else {
        CDuiString path = xml;
        bool absolute = path.GetLength() > 1 && (path[1] == L':' || path[0] == L'\\');
        if (!absolute) path = (pManager ? pManager->GetWindowResourcePath() : CPaintManagerUI::GetResourcePath()) + path;
        ok = m_xml.LoadFromFile(path);
    }
    if (!ok) return nullptr;
    const CMarkupNode& root = m_xml.GetRoot();
    if (root.GetName() == L"Window") {
        ApplyWindowAttributes(root, pManager);
        for (const CMarkupNode& child : root.Children()) {
            CDuiString name = child.GetName();
            if (name == L"Font" || name == L"Default" || name == L"Image") continue;
            return Parse(child, pParent, pManager);
        }
        UILogError(L"skin: the window holds no control");
        return nullptr;
    }
    return Parse(root, pParent, pManager);
}

void CDialogBuilder::ApplyWindowAttributes(const CMarkupNode& window, CPaintManagerUI* pManager)
{
    if (!pManager) return;
    for (const CMarkupNode& child : window.Children()) {
        CDuiString name = child.GetName();
        if (name == L"Font") {
            CDuiString face = child.GetAttributeValue(L"name");
            int size = child.HasAttribute(L"size") ? _wtoi(child.GetAttributeValue(L"size")) : 12;
            bool bold = ParseBool(child.GetAttributeValue(L"bold"));
            bool underline = ParseBool(child.GetAttributeValue(L"underline"));
            bool italic = ParseBool(child.GetAttributeValue(L"italic"));
            pManager->AddFont(face, size, bold, underline, italic);
            if (ParseBool(child.GetAttributeValue(L"default"))) pManager->SetDefaultFont(face, size, bold, underline, italic);
        } else if (name == L"Default") {
            pManager->AddDefaultAttributeList(child.GetAttributeValue(L"name"), child.GetAttributeValue(L"value"));
        }
    }
    for (const auto& attribute : window.Attributes()) {
        const CDuiString& name = attribute.first;
        const CDuiString& value = attribute.second;
        if (name == L"size") {
            SIZE sz = ParseSize(value);
            pManager->SetInitSize(sz.cx, sz.cy);
        } else if (name == L"sizebox") pManager->SetSizeBox(ParseRect(value));
        else if (name == L"caption") pManager->SetCaptionRect(ParseRect(value));
        else if (name == L"roundcorner") {
            SIZE sz = ParseSize(value);
            pManager->SetRoundCorner(sz.cx, sz.cy);
        } else if (name == L"mininfo") {
            SIZE sz = ParseSize(value);
            pManager->SetMinInfo(sz.cx, sz.cy);
        } else if (name == L"maxinfo") {
            SIZE sz = ParseSize(value);
            pManager->SetMaxInfo(sz.cx, sz.cy);
        } else if (name == L"defaultfontcolor") pManager->SetDefaultFontColor(ParseColor(value));
        else if (name == L"disabledfontcolor") pManager->SetDefaultDisabledColor(ParseColor(value));
    }
}

CControlUI* CDialogBuilder::Parse(const CMarkupNode& node, CControlUI*, CPaintManagerUI* pManager)
{
    CDuiString tag = node.GetName();
    CControlUI* control = CreateBuiltinControl(tag);
    if (!control && m_pCallback) control = m_pCallback->CreateControl(tag);
    if (!control) {
        UILogError(L"skin: unknown control tag %s skipped", tag.GetString());
        return nullptr;
    }
    if (pManager) {
        LPCTSTR defaults = pManager->GetDefaultAttributeList(tag);
        if (defaults) control->ApplyAttributeList(defaults);
    }
    for (const auto& attribute : node.Attributes()) control->SetAttribute(attribute.first, attribute.second);

    auto* container = static_cast<IContainerUI*>(control->GetInterface(L"IContainer"));
    for (const CMarkupNode& child : node.Children()) {
        if (!container) {
            UILogError(L"skin: %s cannot hold %s", tag.GetString(), child.GetName().GetString());
            break;
        }
        CControlUI* item = Parse(child, control, pManager);
        if (item) container->Add(item);
    }
    return control;
}
