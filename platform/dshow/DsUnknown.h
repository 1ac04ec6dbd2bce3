// Reference counting with aggregation: the object's own (non-delegating) IUnknown, and the outer
// unknown every other interface delegates to.
#pragma once
#include <windows.h>
#include <unknwn.h>

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
public:
    // outer is the aggregating object, or null when the object stands alone.
    CUnknown(const wchar_t* objectName, IUnknown* outer);
    virtual ~CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    IUnknown* GetOwner() const { return m_owner; }
    const wchar_t* ObjectName() const { return m_objectName; }

protected:
    volatile LONG m_refCount = 1;

private:
    IUnknown* m_owner;
    const wchar_t* m_objectName;
};

// Hands out an interface pointer with one reference added (S_OK), or E_POINTER for a null out.
HRESULT GetInterface(IUnknown* unknown, void** out);

// The three IUnknown methods of every interface a CUnknown-derived class implements.
#define DECLARE_IUNKNOWN                                                                       \
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override                               \
    {                                                                                          \
        return GetOwner()->QueryInterface(iid, out);                                           \
    }                                                                                          \
    STDMETHODIMP_(ULONG) AddRef() override { return GetOwner()->AddRef(); }                    \
    STDMETHODIMP_(ULONG) Release() override { return GetOwner()->Release(); }
