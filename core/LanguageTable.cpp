#include "core/LanguageTable.h"

#include "core/Folders.h"
#include "core/TextUtil.h"

#include <cstdio>
#include <string>

LanguageTable::LanguageTable() : LanguageTable(0) {}

LanguageTable::LanguageTable(int type) : m_type(type)
{
    Load();
}

const wchar_t* LanguageTable::FileNameOf(int type)
{
    switch (type) {
    case 1: return L"English";
    case 2: return L"Japanese";
    case 3: return L"Korean";
    case 4: return L"German";
    case 5: return L"French";
    default: return L"SimpleChinese";
    }
}

bool LanguageTable::ParseLine(const CString& line, int& id, CString& text)
{
    int equals = line.Find(L'=');
    if (equals < 0) return false;
    CString number = line.Left(equals);
    number.Trim();
    id = _wtoi(number);
    text = line.Mid(equals + 1);
    text.Trim();
    return true;
}

bool LanguageTable::Load()
{
    CString path = GetModuleFolder() + L"Language\\" + FileNameOf(m_type);
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    std::string bytes;
    char block[4096];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    fclose(file);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);

    m_texts.clear();
    m_loaded = true;
    CString all = Utf8ToWString(bytes.data(), bytes.size());
    // Lines are read 255 characters at a time, so a longer line continues as a line of its own.
    const int kLineChunk = 255;
    int start = 0;
    while (start < all.GetLength()) {
        int end = all.Find(L'\n', start);
        int lineEnd = end < 0 ? all.GetLength() : end + 1;
        for (int piece = start; piece < lineEnd; piece += kLineChunk) {
            int length = lineEnd - piece < kLineChunk ? lineEnd - piece : kLineChunk;
            int id = 0;
            CString text;
            if (ParseLine(all.Mid(piece, length), id, text)) m_texts[id] = text;
        }
        start = lineEnd;
    }
    return true;
}

CString LanguageTable::GetString(int id) const
{
    auto it = m_texts.find(id);
    return it == m_texts.end() ? CString() : it->second;
}
