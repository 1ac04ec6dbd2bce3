// The skin loader: XML read through the platform's XmlLite reader into a small node tree, then turned
// into controls. Unknown tags go to the window's builder callback.
#pragma once
#include "platform/ui/UIBase.h"

#include <utility>
#include <vector>

class CMarkupNode {
public:
    CDuiString GetName() const { return m_name; }
    bool HasAttribute(LPCTSTR name) const;
    CDuiString GetAttributeValue(LPCTSTR name) const;
    const std::vector<std::pair<CDuiString, CDuiString>>& Attributes() const { return m_attributes; }
    const std::vector<CMarkupNode>& Children() const { return m_children; }

private:
    friend class CMarkup;
    CDuiString m_name;
    std::vector<std::pair<CDuiString, CDuiString>> m_attributes;
    std::vector<CMarkupNode> m_children;
};

class CMarkup {
public:
    // XML text in memory; false (with a log line) when it is not well formed.
    bool Load(LPCTSTR pstrXml);
    bool LoadFromFile(LPCTSTR pstrPath);
    bool IsValid() const { return m_valid; }
    const CMarkupNode& GetRoot() const { return m_root; }
    CDuiString GetLastErrorMessage() const { return m_error; }

private:
    bool Parse(struct IStream* stream, LPCTSTR source);

    CMarkupNode m_root;
    bool m_valid = false;
    CDuiString m_error;
};

class CDialogBuilder {
public:
    // xml: the XML text itself (starts with '<') or a file name in the manager's resource folder.
    // Answers the root control, or null when the skin cannot be read (logged).
    CControlUI* Create(LPCTSTR xml, LPCTSTR type = nullptr, IDialogBuilderCallback* pCallback = nullptr,
                       CPaintManagerUI* pManager = nullptr, CControlUI* pParent = nullptr);
    const CMarkup* GetMarkup() const { return &m_xml; }

    // A control of the layer for a tag, or null for a tag the layer does not know.
    static CControlUI* CreateBuiltinControl(const CDuiString& tag);

private:
    void ApplyWindowAttributes(const CMarkupNode& window, CPaintManagerUI* pManager);
    CControlUI* Parse(const CMarkupNode& node, CControlUI* pParent, CPaintManagerUI* pManager);

    CMarkup m_xml;
    IDialogBuilderCallback* m_pCallback = nullptr;
};
