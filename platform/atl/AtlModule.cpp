#include "platform/atl/AtlModule.h"

#include <oleauto.h>

// oleaut32 exports these; MinGW's headers do not declare them.
extern "C" {
HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* typeLib, OLECHAR* path, OLECHAR* helpFolder);
HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
}

namespace {
CAtlModule* g_module = nullptr;

// The server's own REGISTRY resource as text (the scripts are stored as 8-bit text).
bool LoadScriptResource(HINSTANCE instance, UINT id, std::wstring& text)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!found) return false;
    HGLOBAL loaded = LoadResource(instance, found);
    DWORD size = SizeofResource(instance, found);
    const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    if (!bytes || size == 0) return false;
    int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return false;
    text.assign(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), &text[0], length);
    return true;
}
}  // namespace

CAtlModule* AtlCurrentModule() { return g_module; }
LONG AtlModuleLock() { return g_module ? g_module->Lock() : 1; }
LONG AtlModuleUnlock() { return g_module ? g_module->Unlock() : 0; }

CAtlModule::CAtlModule(const GUID& libid, UINT moduleScript, const AtlObjectEntry* entries)
    : m_libid(libid), m_moduleScript(moduleScript), m_entries(entries)
{
    g_module = this;
}

CAtlModule::~CAtlModule()
{
    if (g_module == this) g_module = nullptr;
}

HRESULT CAtlModule::GetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    for (const AtlObjectEntry* entry = m_entries; entry && entry->clsid; ++entry) {
        if (IsEqualCLSID(clsid, *entry->clsid)) return CComClassFactory::Create(entry->creator, iid, out);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

std::wstring CAtlModule::ModulePath() const
{
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameW(m_instance, path, MAX_PATH * 2);
    if (length == 0 || length >= MAX_PATH * 2) return std::wstring();
    return std::wstring(path, length);
}

void CAtlModule::AddReplacements(CRegistryScript&) const {}

HRESULT CAtlModule::UpdateRegistryFromResource(UINT id, bool doRegister)
{
    std::wstring text;
    if (!LoadScriptResource(m_instance, id, text)) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    std::wstring path = ModulePath();
    if (path.empty()) return E_FAIL;
    CRegistryScript script;
    script.SetPerUser(m_perUser);
    script.AddReplacement(L"MODULE", path);
    AddReplacements(script);
    return doRegister ? script.Register(text) : script.Unregister(text);
}

HRESULT CAtlModule::RegisterTypeLib() const
{
    std::wstring path = ModulePath();
    CComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib);
    if (FAILED(hr)) return hr;
    wchar_t* pathText = const_cast<wchar_t*>(path.c_str());
    return m_perUser ? RegisterTypeLibForUser(typeLib, pathText, nullptr)
                     : ::RegisterTypeLib(typeLib, pathText, nullptr);
}

HRESULT CAtlModule::UnregisterTypeLib() const
{
    std::wstring path = ModulePath();
    CComPtr<ITypeLib> typeLib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib);
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    if (FAILED(hr = typeLib->GetLibAttr(&attr))) return hr;
    TLIBATTR copy = *attr;
    typeLib->ReleaseTLibAttr(attr);
    // Unregistering what is not registered leaves the wanted state.
    wchar_t key[96] = {};
    wchar_t libid[40] = {};
    StringFromGUID2(copy.guid, libid, 40);
    swprintf(key, 96, L"%lsTypeLib\\%ls\\%x.%x", m_perUser ? L"Software\\Classes\\" : L"", libid,
             copy.wMajorVerNum, copy.wMinorVerNum);
    HKEY existing = nullptr;
    if (RegOpenKeyExW(m_perUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT, key, 0, KEY_READ, &existing) != ERROR_SUCCESS)
        return S_OK;
    RegCloseKey(existing);
    return m_perUser ? UnRegisterTypeLibForUser(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind)
                     : UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

HRESULT CAtlModule::RegisterServer()
{
    HRESULT hr = m_moduleScript ? UpdateRegistryFromResource(m_moduleScript, true) : S_OK;
    for (const AtlObjectEntry* entry = m_entries; SUCCEEDED(hr) && entry && entry->clsid; ++entry) {
        if (entry->registryScript) hr = UpdateRegistryFromResource(entry->registryScript, true);
    }
    if (SUCCEEDED(hr)) hr = RegisterTypeLib();
    return hr;
}

HRESULT CAtlModule::UnregisterServer()
{
    HRESULT hr = S_OK;
    for (const AtlObjectEntry* entry = m_entries; SUCCEEDED(hr) && entry && entry->clsid; ++entry) {
        if (entry->registryScript) hr = UpdateRegistryFromResource(entry->registryScript, false);
    }
    if (SUCCEEDED(hr) && m_moduleScript) hr = UpdateRegistryFromResource(m_moduleScript, false);
    if (SUCCEEDED(hr)) hr = UnregisterTypeLib();
    return hr;
}
