#include "platform/afx/AfxString.h"

#include <cwctype>
#include <vector>

// msvcrt's _vsnwprintf and _vscwprintf keep the Windows meaning of %s and %S whatever MinGW's own
// stdio setting is; the mingw-prefixed variants would not.
std::wstring FormatWindowsV(const wchar_t* format, va_list args)
{
    if (!format) return std::wstring();
    va_list counting;
    va_copy(counting, args);
    int length = _vscwprintf(format, counting);
    va_end(counting);
    if (length <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    va_list writing;
    va_copy(writing, args);
    int written = _vsnwprintf(buffer.data(), buffer.size(), format, writing);
    va_end(writing);
    if (written < 0) written = length;
    return std::wstring(buffer.data(), static_cast<size_t>(written));
}

std::wstring FormatWindows(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatWindowsV(format, args);
    va_end(args);
    return text;
}

CString::CString(const char* text)
{
    if (!text || !*text) return;
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 1) return;
    m_text.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text, -1, &m_text[0], length);
    m_text.resize(static_cast<size_t>(length - 1));
}

int CString::CompareNoCase(const wchar_t* other) const
{
    return _wcsicmp(m_text.c_str(), other ? other : L"");
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start > GetLength()) return -1;
    size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength()) return -1;
    size_t at = m_text.find(sub, static_cast<size_t>(start));
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t at = m_text.rfind(ch);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(const wchar_t* chars) const
{
    if (!chars) return -1;
    size_t at = m_text.find_first_of(chars);
    return at == std::wstring::npos ? -1 : static_cast<int>(at);
}

CString CString::Left(int count) const
{
    if (count <= 0) return CString();
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const
{
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(m_text.substr(m_text.size() - static_cast<size_t>(count)));
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    if (first < 0) first = 0;
    if (count <= 0 || first >= GetLength()) return CString();
    return CString(m_text.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_text.size() && iswspace(m_text[i])) ++i;
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_text.size();
    while (n > 0 && iswspace(m_text[n - 1])) --n;
    m_text.resize(n);
    return *this;
}

CString& CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }

CString& CString::TrimLeft(wchar_t ch)
{
    size_t i = 0;
    while (i < m_text.size() && m_text[i] == ch) ++i;
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimRight(wchar_t ch)
{
    size_t n = m_text.size();
    while (n > 0 && m_text[n - 1] == ch) --n;
    m_text.resize(n);
    return *this;
}

CString& CString::TrimLeft(const wchar_t* chars)
{
    if (!chars) return *this;
    size_t at = m_text.find_first_not_of(chars);
    m_text.erase(0, at == std::wstring::npos ? m_text.size() : at);
    return *this;
}

CString& CString::TrimRight(const wchar_t* chars)
{
    if (!chars) return *this;
    size_t at = m_text.find_last_not_of(chars);
    m_text.resize(at == std::wstring::npos ? 0 : at + 1);
    return *this;
}

CString& CString::MakeLower()
{
    if (!m_text.empty()) CharLowerBuffW(&m_text[0], static_cast<DWORD>(m_text.size()));
    return *this;
}

CString& CString::MakeUpper()
{
    if (!m_text.empty()) CharUpperBuffW(&m_text[0], static_cast<DWORD>(m_text.size()));
    return *this;
}

int CString::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    if (!oldText || !*oldText) return 0;
    std::wstring from(oldText), to(newText ? newText : L"");
    int count = 0;
    for (size_t at = m_text.find(from); at != std::wstring::npos; at = m_text.find(from, at + to.size())) {
        m_text.replace(at, from.size(), to);
        ++count;
    }
    return count;
}

int CString::Replace(wchar_t oldCh, wchar_t newCh)
{
    int count = 0;
    for (wchar_t& c : m_text) {
        if (c == oldCh) { c = newCh; ++count; }
    }
    return count;
}

int CString::Remove(wchar_t ch)
{
    size_t before = m_text.size();
    std::wstring kept;
    kept.reserve(before);
    for (wchar_t c : m_text) {
        if (c != ch) kept += c;
    }
    m_text.swap(kept);
    return static_cast<int>(before - m_text.size());
}

int CString::Insert(int index, const wchar_t* text)
{
    if (index < 0) index = 0;
    if (index > GetLength()) index = GetLength();
    if (text) m_text.insert(static_cast<size_t>(index), text);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0) index = 0;
    if (count > 0 && index < GetLength()) m_text.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    m_text = FormatWindowsV(format, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args)
{
    m_text = FormatWindowsV(format, args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    m_text += FormatWindowsV(format, args);
    va_end(args);
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength()) m_text.resize(static_cast<size_t>(minLength));
    // One spare zero so a caller that fills exactly minLength characters still has a terminator.
    m_text.reserve(m_text.size() + 1);
    return &m_text[0];
}

wchar_t* CString::GetBufferSetLength(int length)
{
    m_text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return &m_text[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) {
        m_text.resize(wcsnlen(m_text.c_str(), m_text.size()));
    } else if (static_cast<size_t>(newLength) <= m_text.size()) {
        m_text.resize(static_cast<size_t>(newLength));
    }
}
