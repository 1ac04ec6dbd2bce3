// Registry scripts: the text form that servers carry as REGISTRY resources, e.g.
//   HKCR { NoRemove CLSID { ForceRemove '{...}' = s 'Name' { val ThreadingModel = s 'Apartment' } } }
// Registration creates the keys and values; unregistration removes them again, except NoRemove
// keys, and ForceRemove keys are removed with everything below them.
#pragma once
#include <windows.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CRegistryScript {
public:
    // %NAME% in key names and values becomes text; %% is a single percent sign.
    void AddReplacement(const std::wstring& name, const std::wstring& text) { m_replacements[name] = text; }
    // Classes-root keys (HKCR) go to HKEY_CURRENT_USER\Software\Classes instead.
    void SetPerUser(bool perUser) { m_perUser = perUser; }

    // A script that does not parse changes nothing and answers an error.
    HRESULT Register(const std::wstring& script) const;
    HRESULT Unregister(const std::wstring& script) const;

    struct Value {
        std::wstring name;  // empty = the key's default value
        bool isDword = false;
        std::wstring text;
        DWORD number = 0;
    };
    struct Key {
        enum class Mode { Normal, NoRemove, ForceRemove, Delete };
        Mode mode = Mode::Normal;
        std::wstring name;
        bool hasDefault = false;
        Value defaultValue;
        std::vector<Value> values;
        std::vector<Key> children;
    };
    struct Root {
        HKEY hive = nullptr;
        std::wstring subKey;  // where the hive's keys go (per-user classes)
        std::vector<Key> keys;
    };

    // Parses and substitutes; false with a reason for any malformed text.
    bool Parse(const std::wstring& script, std::vector<Root>& roots, std::wstring& error) const;

private:
    std::map<std::wstring, std::wstring> m_replacements;
    bool m_perUser = false;
};
