// What every DirectShow user here includes: the SDK headers in the right order, and the identifiers and
// interfaces the toolchain's headers lack.
#pragma once
#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE
#endif
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wmsdkidl.h>

// Present in libstrmiids, missing from the headers.
EXTERN_C const CLSID CLSID_SampleGrabber;
EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const GUID MEDIASUBTYPE_I420;

// The WM ASF writer's configuration interface (dshowasf.h is not shipped).
EXTERN_C const IID IID_IConfigAsfWriter;
struct IConfigAsfWriter : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileId(DWORD profileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileId(DWORD* profileId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileGuid(REFGUID profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfileGuid(GUID* profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfile(IWMProfile* profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurrentProfile(IWMProfile** profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIndexMode(BOOL indexFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIndexMode(BOOL* indexFile) = 0;
};

// The four-character code of planar YUV 4:2:0 as it stands in a BITMAPINFOHEADER.
const DWORD kFourCcI420 = MAKEFOURCC('I', '4', '2', '0');
const DWORD kFourCcYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');

// Owns one COM reference; no implicit conversions that could leak or double-release.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : m_p(other.m_p) { if (m_p) m_p->AddRef(); }
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other)
    {
        if (other.m_p) other.m_p->AddRef();
        Reset();
        m_p = other.m_p;
        return *this;
    }
    void Reset()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Adopts a reference the caller already holds.
    void Attach(T* p) { Reset(); m_p = p; }
    T* Detach() { T* p = m_p; m_p = nullptr; return p; }
    T** Out() { Reset(); return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
