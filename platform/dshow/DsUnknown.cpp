#include "platform/dshow/DsUnknown.h"

CUnknown::CUnknown(const wchar_t* objectName, IUnknown* outer)
    // Without an aggregator the object is its own owner: the non-delegating vtable has IUnknown's layout.
    : m_owner(outer ? outer : reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this))),
      m_objectName(objectName)
{
}

HRESULT CUnknown::NonDelegatingQueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) {
        // The inner unknown must answer itself, never the owner, or aggregation loops.
        *out = static_cast<INonDelegatingUnknown*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG CUnknown::NonDelegatingRelease()
{
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        // Guards against a destructor that briefly hands out and releases a reference to itself.
        m_refCount = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

HRESULT GetInterface(IUnknown* unknown, void** out)
{
    if (!out)
        return E_POINTER;
    *out = unknown;
    unknown->AddRef();
    return S_OK;
}
