#include "platform/atl/AtlCom.h"
#include "platform/atl/AtlModule.h"

HRESULT AtlInternalQueryInterface(void* object, const ComMapEntry* entries, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    char* base = static_cast<char*>(object);
    if (IsEqualIID(iid, IID_IUnknown)) {
        *out = base + entries[0].offset;
    } else {
        for (const ComMapEntry* entry = entries; entry->iid; ++entry) {
            if (IsEqualIID(iid, *entry->iid)) {
                *out = base + entry->offset;
                break;
            }
        }
    }
    if (!*out) return E_NOINTERFACE;
    static_cast<IUnknown*>(*out)->AddRef();
    return S_OK;
}

STDMETHODIMP CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_creator) return E_UNEXPECTED;
    return m_creator(outer, iid, out);
}

STDMETHODIMP CComClassFactory::LockServer(BOOL lock)
{
    if (lock) AtlModuleLock();
    else AtlModuleUnlock();
    return S_OK;
}

HRESULT CComClassFactory::Create(AtlCreatorFunc creator, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    auto* factory = new (std::nothrow) CComObjectNoLock<CComClassFactory>();
    if (!factory) return E_OUTOFMEMORY;
    factory->SetCreator(creator);
    factory->AddRef();
    HRESULT hr = factory->QueryInterface(iid, out);
    factory->Release();
    return hr;
}
