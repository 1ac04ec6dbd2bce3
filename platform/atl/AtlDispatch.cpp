#include "platform/atl/AtlDispatch.h"
#include "platform/atl/AtlModule.h"

HRESULT AtlLoadTypeLib(const GUID& libid, WORD major, WORD minor, ITypeLib** out)
{
    *out = nullptr;
    HRESULT hr = LoadRegTypeLib(libid, major, minor, LOCALE_USER_DEFAULT, out);
    if (SUCCEEDED(hr)) return hr;
    CAtlModule* module = AtlCurrentModule();
    if (!module) return hr;
    std::wstring path = module->ModulePath();
    return LoadTypeLibEx(path.c_str(), REGKIND_NONE, out);
}

HRESULT AtlLoadTypeInfo(const GUID& libid, WORD major, WORD minor, REFGUID guid, ITypeInfo** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    CComPtr<ITypeLib> typeLib;
    HRESULT hr = AtlLoadTypeLib(libid, major, minor, &typeLib);
    if (FAILED(hr)) return hr;
    return typeLib->GetTypeInfoOfGuid(guid, out);
}
