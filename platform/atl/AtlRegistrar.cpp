#include "platform/atl/AtlRegistrar.h"

#include <cwctype>

namespace {

// Splits a script into words, quoted texts and the signs { } =.
class ScriptLexer {
public:
    explicit ScriptLexer(const std::wstring& text) : m_text(text) {}

    enum class Kind { End, Word, Quoted, Open, Close, Equals, Bad };
    struct Token {
        Kind kind = Kind::End;
        std::wstring text;
    };

    Token Next()
    {
        SkipSpace();
        Token token;
        if (m_pos >= m_text.size()) return token;
        wchar_t c = m_text[m_pos];
        if (c == L'\'') return ReadQuoted();
        // A GUID written without quotes: "{" directly followed by a hex digit starts a word.
        if (c == L'{' && m_pos + 1 < m_text.size() && std::iswxdigit(m_text[m_pos + 1]))
            return ReadGuidWord();
        ++m_pos;
        if (c == L'{') token.kind = Kind::Open;
        else if (c == L'}') token.kind = Kind::Close;
        else if (c == L'=') token.kind = Kind::Equals;
        else {
            --m_pos;
            return ReadWord();
        }
        return token;
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && std::iswspace(m_text[m_pos])) ++m_pos;
    }

    Token ReadQuoted()
    {
        Token token;
        ++m_pos;
        while (m_pos < m_text.size()) {
            wchar_t c = m_text[m_pos++];
            if (c == L'\'') {
                // '' inside a quoted text is one quote.
                if (m_pos < m_text.size() && m_text[m_pos] == L'\'') {
                    token.text += L'\'';
                    ++m_pos;
                    continue;
                }
                token.kind = Kind::Quoted;
                return token;
            }
            token.text += c;
        }
        token.kind = Kind::Bad;
        token.text = L"unterminated quoted text";
        return token;
    }

    Token ReadGuidWord()
    {
        Token token;
        size_t close = m_text.find(L'}', m_pos);
        if (close == std::wstring::npos) {
            token.kind = Kind::Bad;
            token.text = L"unterminated GUID";
            m_pos = m_text.size();
            return token;
        }
        token.kind = Kind::Word;
        token.text = m_text.substr(m_pos, close + 1 - m_pos);
        m_pos = close + 1;
        return token;
    }

    Token ReadWord()
    {
        Token token;
        size_t start = m_pos;
        while (m_pos < m_text.size()) {
            wchar_t c = m_text[m_pos];
            if (std::iswspace(c) || c == L'{' || c == L'}' || c == L'=' || c == L'\'') break;
            ++m_pos;
        }
        token.kind = Kind::Word;
        token.text = m_text.substr(start, m_pos - start);
        return token;
    }

    const std::wstring& m_text;
    size_t m_pos = 0;
};

// The server has no log of its own for this; a debugger shows the reason.
void ReportRefusedScript(const std::wstring& error)
{
    std::wstring line = L"registry script refused: " + error + L"\n";
    OutputDebugStringW(line.c_str());
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b)
{
    return _wcsicmp(a.c_str(), b) == 0;
}

// Recursive-descent reader over the lexer, one token of look-ahead.
class ScriptParser {
public:
    ScriptParser(const std::wstring& text, const std::map<std::wstring, std::wstring>& replacements)
        : m_lexer(text), m_replacements(replacements)
    {
        Advance();
    }

    bool ParseRoots(std::vector<CRegistryScript::Root>& roots, bool perUser)
    {
        while (m_token.kind != ScriptLexer::Kind::End) {
            CRegistryScript::Root root;
            if (!ReadHive(root, perUser)) return false;
            Advance();
            if (!Expect(ScriptLexer::Kind::Open, L"'{' after the root key")) return false;
            if (!ParseKeys(root.keys)) return false;
            roots.push_back(std::move(root));
        }
        return true;
    }

    const std::wstring& Error() const { return m_error; }

private:
    void Advance() { m_token = m_lexer.Next(); }

    bool Fail(const std::wstring& what)
    {
        if (m_error.empty()) m_error = what;
        return false;
    }

    bool Expect(ScriptLexer::Kind kind, const wchar_t* what)
    {
        if (m_token.kind != kind) return Fail(std::wstring(L"expected ") + what);
        Advance();
        return true;
    }

    bool ReadHive(CRegistryScript::Root& root, bool perUser)
    {
        if (m_token.kind != ScriptLexer::Kind::Word) return Fail(L"expected a root key");
        const std::wstring& name = m_token.text;
        if (EqualsNoCase(name, L"HKCR") || EqualsNoCase(name, L"HKEY_CLASSES_ROOT")) {
            root.hive = perUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
            if (perUser) root.subKey = L"Software\\Classes";
        } else if (EqualsNoCase(name, L"HKCU") || EqualsNoCase(name, L"HKEY_CURRENT_USER")) {
            root.hive = HKEY_CURRENT_USER;
        } else if (EqualsNoCase(name, L"HKLM") || EqualsNoCase(name, L"HKEY_LOCAL_MACHINE")) {
            root.hive = HKEY_LOCAL_MACHINE;
        } else if (EqualsNoCase(name, L"HKU") || EqualsNoCase(name, L"HKEY_USERS")) {
            root.hive = HKEY_USERS;
        } else {
            return Fail(L"unknown root key " + name);
        }
        return true;
    }

    // Keys and values up to the closing brace of their parent.
    bool ParseKeys(std::vector<CRegistryScript::Key>& keys, CRegistryScript::Key* parent = nullptr)
    {
        while (m_token.kind != ScriptLexer::Kind::Close) {
            if (m_token.kind == ScriptLexer::Kind::End) return Fail(L"missing '}'");
            if (m_token.kind == ScriptLexer::Kind::Word && EqualsNoCase(m_token.text, L"val")) {
                if (!parent) return Fail(L"a value outside any key");
                Advance();
                CRegistryScript::Value value;
                if (!ReadName(value.name)) return false;
                if (!Expect(ScriptLexer::Kind::Equals, L"'=' after the value name")) return false;
                if (!ReadTypedValue(value)) return false;
                parent->values.push_back(std::move(value));
                continue;
            }
            CRegistryScript::Key key;
            if (!ParseKey(key)) return false;
            keys.push_back(std::move(key));
        }
        Advance();
        return true;
    }

    bool ParseKey(CRegistryScript::Key& key)
    {
        if (m_token.kind == ScriptLexer::Kind::Word) {
            if (EqualsNoCase(m_token.text, L"NoRemove")) key.mode = CRegistryScript::Key::Mode::NoRemove;
            else if (EqualsNoCase(m_token.text, L"ForceRemove")) key.mode = CRegistryScript::Key::Mode::ForceRemove;
            else if (EqualsNoCase(m_token.text, L"Delete")) key.mode = CRegistryScript::Key::Mode::Delete;
            if (key.mode != CRegistryScript::Key::Mode::Normal) Advance();
        }
        if (!ReadName(key.name)) return false;
        if (key.name.empty() || key.name.find(L'\\') != std::wstring::npos)
            return Fail(L"bad key name '" + key.name + L"'");
        if (m_token.kind == ScriptLexer::Kind::Equals) {
            Advance();
            key.hasDefault = true;
            if (!ReadTypedValue(key.defaultValue)) return false;
        }
        if (m_token.kind == ScriptLexer::Kind::Open) {
            Advance();
            return ParseKeys(key.children, &key);
        }
        return true;
    }

    bool ReadName(std::wstring& name)
    {
        if (m_token.kind != ScriptLexer::Kind::Word && m_token.kind != ScriptLexer::Kind::Quoted) {
            if (m_token.kind == ScriptLexer::Kind::Bad) return Fail(m_token.text);
            return Fail(L"expected a name");
        }
        if (!Substitute(m_token.text, name)) return false;
        Advance();
        return true;
    }

    bool ReadTypedValue(CRegistryScript::Value& value)
    {
        if (m_token.kind != ScriptLexer::Kind::Word) return Fail(L"expected a value type");
        std::wstring type = m_token.text;
        Advance();
        std::wstring text;
        if (!ReadName(text)) return false;
        if (EqualsNoCase(type, L"s")) {
            value.text = text;
            return true;
        }
        if (EqualsNoCase(type, L"d")) {
            wchar_t* end = nullptr;
            unsigned long number = wcstoul(text.c_str(), &end, 0);
            if (text.empty() || !end || *end) return Fail(L"bad number '" + text + L"'");
            value.isDword = true;
            value.number = static_cast<DWORD>(number);
            return true;
        }
        return Fail(L"unknown value type " + type);
    }

    bool Substitute(const std::wstring& in, std::wstring& out)
    {
        out.clear();
        for (size_t i = 0; i < in.size(); ++i) {
            if (in[i] != L'%') {
                out += in[i];
                continue;
            }
            size_t close = in.find(L'%', i + 1);
            if (close == std::wstring::npos) return Fail(L"unterminated replacement in '" + in + L"'");
            std::wstring name = in.substr(i + 1, close - i - 1);
            if (name.empty()) {
                out += L'%';
            } else {
                auto found = m_replacements.find(name);
                if (found == m_replacements.end()) return Fail(L"no replacement for %" + name + L"%");
                out += found->second;
            }
            i = close;
        }
        return true;
    }

    ScriptLexer m_lexer;
    const std::map<std::wstring, std::wstring>& m_replacements;
    ScriptLexer::Token m_token;
    std::wstring m_error;
};

// Owner of one open registry key.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { if (m_key) RegCloseKey(m_key); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* Out() { return &m_key; }
    HKEY Get() const { return m_key; }
private:
    HKEY m_key = nullptr;
};

LONG SetValue(HKEY key, const CRegistryScript::Value& value)
{
    const wchar_t* name = value.name.empty() ? nullptr : value.name.c_str();
    if (value.isDword)
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD));
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
}

LONG DeleteTree(HKEY parent, const std::wstring& name)
{
    LONG rc = RegDeleteTreeW(parent, name.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG RegisterKeys(HKEY parent, const std::vector<CRegistryScript::Key>& keys);

LONG RegisterKey(HKEY parent, const CRegistryScript::Key& key)
{
    if (key.mode == CRegistryScript::Key::Mode::Delete) return DeleteTree(parent, key.name);
    if (key.mode == CRegistryScript::Key::Mode::ForceRemove) {
        LONG rc = DeleteTree(parent, key.name);
        if (rc != ERROR_SUCCESS) return rc;
    }
    RegKey opened;
    LONG rc = RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, opened.Out(), nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    if (key.hasDefault && (rc = SetValue(opened.Get(), key.defaultValue)) != ERROR_SUCCESS) return rc;
    for (const CRegistryScript::Value& value : key.values)
        if ((rc = SetValue(opened.Get(), value)) != ERROR_SUCCESS) return rc;
    return RegisterKeys(opened.Get(), key.children);
}

LONG RegisterKeys(HKEY parent, const std::vector<CRegistryScript::Key>& keys)
{
    for (const CRegistryScript::Key& key : keys) {
        LONG rc = RegisterKey(parent, key);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

LONG UnregisterKeys(HKEY parent, const std::vector<CRegistryScript::Key>& keys);

bool HasSubKeys(HKEY key)
{
    DWORD subKeys = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return true;
    return subKeys != 0;
}

LONG UnregisterKey(HKEY parent, const CRegistryScript::Key& key)
{
    if (key.mode == CRegistryScript::Key::Mode::ForceRemove) return DeleteTree(parent, key.name);
    if (key.mode == CRegistryScript::Key::Mode::Delete) return ERROR_SUCCESS;
    bool hasSubKeys = true;
    {
        RegKey opened;
        LONG rc = RegOpenKeyExW(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, opened.Out());
        if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;  // already gone
        if (rc != ERROR_SUCCESS) return rc;
        if ((rc = UnregisterKeys(opened.Get(), key.children)) != ERROR_SUCCESS) return rc;
        if (key.mode == CRegistryScript::Key::Mode::NoRemove) {
            for (const CRegistryScript::Value& value : key.values)
                RegDeleteValueW(opened.Get(), value.name.c_str());
            return ERROR_SUCCESS;
        }
        hasSubKeys = HasSubKeys(opened.Get());
    }
    // A key that other software also filled stays; its own values go with it otherwise.
    if (hasSubKeys) return ERROR_SUCCESS;
    LONG rc = RegDeleteKeyW(parent, key.name.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG UnregisterKeys(HKEY parent, const std::vector<CRegistryScript::Key>& keys)
{
    for (const CRegistryScript::Key& key : keys) {
        LONG rc = UnregisterKey(parent, key);
        if (rc != ERROR_SUCCESS) return rc;
    }
    return ERROR_SUCCESS;
}

// The key the root's keys go under; HKCR itself needs no opening.
LONG OpenRoot(const CRegistryScript::Root& root, bool create, RegKey& key, HKEY& base)
{
    base = root.hive;
    if (root.subKey.empty()) return ERROR_SUCCESS;
    LONG rc = create ? RegCreateKeyExW(root.hive, root.subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                       key.Out(), nullptr)
                     : RegOpenKeyExW(root.hive, root.subKey.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    base = key.Get();
    return rc;
}

}  // namespace

bool CRegistryScript::Parse(const std::wstring& script, std::vector<Root>& roots, std::wstring& error) const
{
    ScriptParser parser(script, m_replacements);
    if (parser.ParseRoots(roots, m_perUser)) return true;
    error = parser.Error();
    roots.clear();
    return false;
}

HRESULT CRegistryScript::Register(const std::wstring& script) const
{
    std::vector<Root> roots;
    std::wstring error;
    if (!Parse(script, roots, error)) {
        ReportRefusedScript(error);
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    for (const Root& root : roots) {
        RegKey rootKey;
        HKEY base = nullptr;
        LONG rc = OpenRoot(root, true, rootKey, base);
        if (rc == ERROR_SUCCESS) rc = RegisterKeys(base, root.keys);
        if (rc != ERROR_SUCCESS) {
            // Leave no half-written registration behind.
            Unregister(script);
            return HRESULT_FROM_WIN32(rc);
        }
    }
    return S_OK;
}

HRESULT CRegistryScript::Unregister(const std::wstring& script) const
{
    std::vector<Root> roots;
    std::wstring error;
    if (!Parse(script, roots, error)) {
        ReportRefusedScript(error);
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    for (const Root& root : roots) {
        RegKey rootKey;
        HKEY base = nullptr;
        LONG rc = OpenRoot(root, false, rootKey, base);
        if (rc == ERROR_FILE_NOT_FOUND) continue;
        if (rc == ERROR_SUCCESS) rc = UnregisterKeys(base, root.keys);
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}
