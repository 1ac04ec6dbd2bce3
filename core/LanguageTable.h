// UI texts by number, from the UTF-8 file of the chosen language in the program's "Language" folder.
#pragma once
#include "platform/afx/AfxString.h"
#include <map>

class LanguageTable {
public:
    LanguageTable(); // type 0, loaded at once
    explicit LanguageTable(int type);

    // Reads the file of the current type; an unreadable file keeps the current texts.
    bool Load();
    CString GetString(int id) const;
    int GetType() const { return m_type; }
    void SetType(int type) { m_type = type; }
    size_t Count() const { return m_texts.size(); }
    // True once a language file was read: only then do callers use it instead of their English literal.
    bool IsLoaded() const { return m_loaded; }

    // "SimpleChinese", "English", ... by language number; unknown numbers use "SimpleChinese".
    static const wchar_t* FileNameOf(int type);
    // Parses one line ("12 = text"); false for lines without '='.
    static bool ParseLine(const CString& line, int& id, CString& text);

private:
    int m_type = 0;
    bool m_loaded = false;
    std::map<int, CString> m_texts;
};
