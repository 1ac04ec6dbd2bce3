// IDispatch of a dual interface, answered from the interface's entry in the server's type library.
#pragma once
#include "platform/atl/AtlCom.h"

#include <oleauto.h>

// The type library: registered first, else the one embedded in the running server.
HRESULT AtlLoadTypeLib(const GUID& libid, WORD major, WORD minor, ITypeLib** out);
// The type information of guid in the type library libid: the registered library first, the one
// embedded in the running server when the library is not registered.
HRESULT AtlLoadTypeInfo(const GUID& libid, WORD major, WORD minor, REFGUID guid, ITypeInfo** out);

template <class T, class I, const GUID* plibid, WORD major = 1, WORD minor = 0>
class IDispatchImpl : public I {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID, ITypeInfo** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        return m_typeInfo.CopyTo(out);
    }
    STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        return m_typeInfo->GetIDsOfNames(names, count, ids);
    }
    STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argError) override
    {
        if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = EnsureTypeInfo();
        if (FAILED(hr)) return hr;
        return m_typeInfo->Invoke(static_cast<I*>(this), id, flags, params, result, excepInfo, argError);
    }

protected:
    virtual ~IDispatchImpl() = default;

private:
    HRESULT EnsureTypeInfo()
    {
        if (m_typeInfo) return S_OK;
        return AtlLoadTypeInfo(*plibid, major, minor, __uuidof(I), &m_typeInfo);
    }

    CComPtr<ITypeInfo> m_typeInfo;
};
