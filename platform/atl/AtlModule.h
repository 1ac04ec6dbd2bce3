// The in-process server module: lock count, class objects, registration of its scripts and its
// embedded type library (for the machine or for the current user).
#pragma once
#include "platform/atl/AtlCom.h"
#include "platform/atl/AtlRegistrar.h"

// One creatable class of the server.
struct AtlObjectEntry {
    const CLSID* clsid;
    AtlCreatorFunc creator;
    UINT registryScript;  // REGISTRY resource of the class, 0 = none
};

class CAtlModule {
public:
    // The entries array must outlive the module and end with a null CLSID.
    CAtlModule(const GUID& libid, UINT moduleScript, const AtlObjectEntry* entries);
    virtual ~CAtlModule();
    CAtlModule(const CAtlModule&) = delete;
    CAtlModule& operator=(const CAtlModule&) = delete;

    void SetInstance(HINSTANCE instance) { m_instance = instance; }
    HINSTANCE Instance() const { return m_instance; }
    const GUID& LibId() const { return m_libid; }
    void SetPerUser(bool perUser) { m_perUser = perUser; }
    bool PerUser() const { return m_perUser; }

    LONG Lock() { return InterlockedIncrement(&m_lockCount); }
    LONG Unlock() { return InterlockedDecrement(&m_lockCount); }
    LONG LockCount() const { return m_lockCount; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
    HRESULT CanUnloadNow() const { return m_lockCount == 0 ? S_OK : S_FALSE; }
    // Module script, every class's script, then the type library.
    HRESULT RegisterServer();
    HRESULT UnregisterServer();

    // Runs one REGISTRY resource with %MODULE% and the module's own replacements.
    HRESULT UpdateRegistryFromResource(UINT id, bool doRegister);
    // The full path of the server file.
    std::wstring ModulePath() const;

protected:
    // Replacements beside %MODULE% the scripts use (%APPID%...).
    virtual void AddReplacements(CRegistryScript& script) const;

private:
    HRESULT RegisterTypeLib() const;
    HRESULT UnregisterTypeLib() const;

    GUID m_libid;
    UINT m_moduleScript;
    const AtlObjectEntry* m_entries;
    HINSTANCE m_instance = nullptr;
    bool m_perUser = false;
    LONG m_lockCount = 0;
};
