#include "platform/ui/UIBase.h"

#include <cwchar>
#include <cwctype>

void CEventSource::operator-=(const CDelegate& d)
{
    for (auto it = m_delegates.begin(); it != m_delegates.end(); ++it) {
        if (it->SameAs(d)) {
            m_delegates.erase(it);
            return;
        }
    }
}

bool CEventSource::operator()(void* param) const
{
    // A copy: a delegate may add or remove delegates while it runs.
    std::vector<CDelegate> delegates = m_delegates;
    for (const CDelegate& d : delegates) {
        if (!d(param)) return false;
    }
    return true;
}

DWORD ParseColor(const wchar_t* value)
{
    if (!value) return 0;
    while (*value == L' ' || *value == L'\t') ++value;
    if (*value == L'#') ++value;
    return static_cast<DWORD>(wcstoul(value, nullptr, 16));
}

RECT ParseRect(const wchar_t* value)
{
    RECT rc{0, 0, 0, 0};
    if (!value) return rc;
    LONG* parts[4] = {&rc.left, &rc.top, &rc.right, &rc.bottom};
    const wchar_t* p = value;
    for (LONG* part : parts) {
        wchar_t* end = nullptr;
        *part = wcstol(p, &end, 10);
        if (end == p) break;
        p = end;
        while (*p == L',' || *p == L' ') ++p;
    }
    return rc;
}

SIZE ParseSize(const wchar_t* value)
{
    SIZE sz{0, 0};
    if (!value) return sz;
    wchar_t* end = nullptr;
    sz.cx = wcstol(value, &end, 10);
    if (end && *end == L',') sz.cy = wcstol(end + 1, nullptr, 10);
    return sz;
}

bool ParseBool(const wchar_t* value)
{
    return value && _wcsicmp(value, L"true") == 0;
}

bool ForEachAttribute(const wchar_t* list, const std::function<void(const CDuiString&, const CDuiString&)>& fn)
{
    if (!list) return true;
    const wchar_t* p = list;
    for (;;) {
        while (*p && iswspace(*p)) ++p;
        if (!*p) return true;
        const wchar_t* nameStart = p;
        while (*p && *p != L'=' && !iswspace(*p)) ++p;
        CDuiString name(nameStart, static_cast<int>(p - nameStart));
        while (*p && iswspace(*p)) ++p;
        if (*p != L'=') return false;
        ++p;
        while (*p && iswspace(*p)) ++p;
        wchar_t quote = *p;
        if (quote != L'"' && quote != L'\'') return false;
        ++p;
        const wchar_t* valueStart = p;
        while (*p && *p != quote) ++p;
        if (*p != quote) return false;
        CDuiString value(valueStart, static_cast<int>(p - valueStart));
        ++p;
        fn(name, value);
    }
}

CDuiString ImageStringValue(const wchar_t* imageString, const wchar_t* key)
{
    CDuiString found;
    ForEachAttribute(imageString, [&](const CDuiString& name, const CDuiString& value) {
        if (name == key) found = value;
    });
    return found;
}
