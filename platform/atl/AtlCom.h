// COM object plumbing for in-process servers: smart pointer, reference counting, interface tables,
// the object wrappers that count towards the module's lock and the class factory.
#pragma once
#include <windows.h>
#include <ole2.h>
#include <cstddef>
#include <new>

// The server module's lock count: live objects and IClassFactory::LockServer both hold it.
class CAtlModule;
CAtlModule* AtlCurrentModule();
LONG AtlModuleLock();
LONG AtlModuleUnlock();

template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    ~CComPtr() { Release(); }
    CComPtr& operator=(T* p)
    {
        if (p) p->AddRef();
        Release();
        m_p = p;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) { return *this = other.m_p; }

    void Release()
    {
        T* old = m_p;
        m_p = nullptr;
        if (old) old->Release();
    }
    void Attach(T* p) { Release(); m_p = p; }
    T* Detach() { T* p = m_p; m_p = nullptr; return p; }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    operator T*() const { return m_p; }
    // For out-parameters: the pointer must be empty, so nothing leaks.
    T** operator&() { Release(); return &m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    HRESULT CopyTo(T** out) const
    {
        if (!out) return E_POINTER;
        *out = m_p;
        if (m_p) m_p->AddRef();
        return S_OK;
    }
    // Replaces the held pointer with the source's interface T; empty when the source lacks it.
    HRESULT QueryFrom(IUnknown* source)
    {
        Release();
        if (!source) return E_NOINTERFACE;
        return source->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&m_p));
    }

private:
    T* m_p = nullptr;
};

class CComSingleThreadModel {
public:
    static ULONG Increment(LONG* p) { return static_cast<ULONG>(++*p); }
    static ULONG Decrement(LONG* p) { return static_cast<ULONG>(--*p); }
};

class CComMultiThreadModel {
public:
    static ULONG Increment(LONG* p) { return static_cast<ULONG>(InterlockedIncrement(p)); }
    static ULONG Decrement(LONG* p) { return static_cast<ULONG>(InterlockedDecrement(p)); }
};

// One row of an object's interface table; the table ends with a null IID.
struct ComMapEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

// Offset of interface I inside class C, for the interface tables.
template <class C, class I>
std::ptrdiff_t ComInterfaceOffset()
{
    const std::ptrdiff_t base = 0x100;
    C* object = reinterpret_cast<C*>(base);
    return reinterpret_cast<std::ptrdiff_t>(static_cast<I*>(object)) - base;
}

// Answers the interface from the table, AddRef'ed; IUnknown is the table's first row.
HRESULT AtlInternalQueryInterface(void* object, const ComMapEntry* entries, REFIID iid, void** out);

template <class ThreadModel>
class CComObjectRootEx {
public:
    ULONG InternalAddRef() { return ThreadModel::Increment(&m_refCount); }
    ULONG InternalRelease() { return ThreadModel::Decrement(&m_refCount); }
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}

protected:
    LONG m_refCount = 0;
};

// The interface table of a class: LV_BEGIN_COM_MAP(Class) LV_COM_INTERFACE(Class, IFoo) ... LV_END_COM_MAP()
#define LV_BEGIN_COM_MAP(cls)                                                                  \
    typedef cls ComMapClass;                                                                   \
    static const ComMapEntry* ComEntries()                                                     \
    {                                                                                          \
        static const ComMapEntry entries[] = {
#define LV_COM_INTERFACE(cls, itf) {&__uuidof(itf), ComInterfaceOffset<cls, itf>()},
// An interface reached through one of the class's interfaces derived from it (IOleWindow...).
#define LV_COM_INTERFACE2(cls, itf, via) \
    {&__uuidof(itf), ComInterfaceOffset<cls, via>()},
#define LV_END_COM_MAP()                                                                       \
            {nullptr, 0}};                                                                     \
        return entries;                                                                        \
    }                                                                                          \
    HRESULT InternalQueryInterface(REFIID iid, void** out)                                     \
    {                                                                                          \
        return AtlInternalQueryInterface(this, ComEntries(), iid, out);                        \
    }                                                                                          \
    IUnknown* GetUnknown()                                                                     \
    {                                                                                          \
        return reinterpret_cast<IUnknown*>(reinterpret_cast<char*>(this) + ComEntries()[0].offset); \
    }

// The creatable object: reference counting on Base, delete on the last Release, module lock held
// while the object lives.
template <class Base>
class CComObject : public Base {
public:
    CComObject() { AtlModuleLock(); }
    ~CComObject() override
    {
        // A count above zero keeps a stray AddRef from FinalRelease from deleting twice.
        this->m_refCount = 1;
        this->FinalRelease();
        AtlModuleUnlock();
    }
    CComObject(const CComObject&) = delete;
    CComObject& operator=(const CComObject&) = delete;

    STDMETHOD(QueryInterface)(REFIID iid, void** out) override { return this->InternalQueryInterface(iid, out); }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }

    // Creates an object with count 0 and runs FinalConstruct; null and the error when that fails.
    static HRESULT CreateInstance(CComObject** out)
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        CComObject* object = new (std::nothrow) CComObject();
        if (!object) return E_OUTOFMEMORY;
        object->InternalAddRef();
        HRESULT hr = object->FinalConstruct();
        object->InternalRelease();
        if (FAILED(hr)) {
            delete object;
            return hr;
        }
        *out = object;
        return S_OK;
    }
};

// An object that does not hold the module: class factories, which the module hands out itself.
template <class Base>
class CComObjectNoLock : public Base {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** out) override { return this->InternalQueryInterface(iid, out); }
    STDMETHOD_(ULONG, AddRef)() override { return this->InternalAddRef(); }
    STDMETHOD_(ULONG, Release)() override
    {
        ULONG count = this->InternalRelease();
        if (count == 0) delete this;
        return count;
    }
    virtual ~CComObjectNoLock() = default;
};

typedef HRESULT (*AtlCreatorFunc)(IUnknown* outer, REFIID iid, void** out);

class CComClassFactory : public CComObjectRootEx<CComMultiThreadModel>, public IClassFactory {
public:
    LV_BEGIN_COM_MAP(CComClassFactory)
        LV_COM_INTERFACE(CComClassFactory, IClassFactory)
    LV_END_COM_MAP()

    void SetCreator(AtlCreatorFunc creator) { m_creator = creator; }
    virtual ~CComClassFactory() = default;

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHOD(LockServer)(BOOL lock) override;

    // A new factory for the creator, answered as interface iid.
    static HRESULT Create(AtlCreatorFunc creator, REFIID iid, void** out);

private:
    AtlCreatorFunc m_creator = nullptr;
};

// Gives a class its CLSID and the creator its class factory calls (no aggregation).
template <class T, const CLSID* pclsid>
class CComCoClass {
public:
    static const CLSID& GetObjectCLSID() { return *pclsid; }
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out)
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        CComObject<T>* object = nullptr;
        HRESULT hr = CComObject<T>::CreateInstance(&object);
        if (FAILED(hr)) return hr;
        object->AddRef();
        hr = object->QueryInterface(iid, out);
        object->Release();
        return hr;
    }
};
