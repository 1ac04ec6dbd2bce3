// The stand-in PowerPoint's objects: Application, Presentations, Presentation, PageSetup, Slides, Slide.
// Each answers only by DISPID (no type information), checks the argument count and types strictly, and
// raises DISP_E_EXCEPTION the way an automation server reports its own failures.
#include "tests/fakes/powerpoint/FakePowerPoint.h"
#include "tests/fakes/powerpoint/SlideImage.h"

#include <oaidl.h>
#include <oleauto.h>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <string>

namespace {

const CLSID kClsid = {0x7c2a4e1b, 0x5d3f, 0x4a8e, {0x9b, 0x61, 0x2f, 0x0c, 0x8d, 0x4e, 0x6a, 0x13}};

LONG g_liveObjects = 0;
LONG g_serverLocks = 0;
LONG g_failCreate = 0;
std::mutex g_journalLock;
std::wstring g_journal;

void Journal(const std::wstring& line)
{
    std::lock_guard<std::mutex> lock(g_journalLock);
    g_journal += line;
    g_journal += L'\n';
}

HRESULT RaiseException(EXCEPINFO* exception, const wchar_t* description)
{
    if (exception) {
        *exception = EXCEPINFO();
        exception->scode = E_FAIL;
        exception->bstrSource = SysAllocString(L"PowerPoint stand-in");
        exception->bstrDescription = SysAllocString(description);
    }
    return DISP_E_EXCEPTION;
}

struct Presentation {
    long slides = 1;
    float width = 720.0f;
    float height = 540.0f;
    bool throwOnOpen = false;
    long exportDelayMs = 0;
    long throwOnExport = 0;
};

bool LoadPresentation(const wchar_t* path, Presentation* out)
{
    FILE* file = _wfopen(path, L"rt");
    if (!file) return false;
    char line[256];
    while (fgets(line, sizeof line, file)) {
        char key[64] = {};
        double value = 0;
        if (sscanf(line, " %63[^=]=%lf", key, &value) != 2) continue;
        std::string name(key);
        if (name == "slides") out->slides = static_cast<long>(value);
        else if (name == "width") out->width = static_cast<float>(value);
        else if (name == "height") out->height = static_cast<float>(value);
        else if (name == "throwOnOpen") out->throwOnOpen = value != 0;
        else if (name == "exportDelayMs") out->exportDelayMs = static_cast<long>(value);
        else if (name == "throwOnExport") out->throwOnExport = static_cast<long>(value);
    }
    fclose(file);
    return true;
}

// IDispatch without type information; subclasses answer Call by DISPID.
class DispatchObject : public IDispatch {
public:
    DispatchObject() { InterlockedIncrement(&g_liveObjects); }
    virtual ~DispatchObject() { InterlockedDecrement(&g_liveObjects); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID* ids) override
    {
        if (ids) *ids = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* exception, UINT* argError) override
    {
        static DISPPARAMS none = {nullptr, nullptr, 0, 0};
        if (!params) params = &none;
        if (result) VariantInit(result);
        return Call(id, flags, *params, result, exception, argError);
    }

protected:
    virtual HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception,
                         UINT* argError) = 0;

    // A property read: no arguments and somewhere to put the value.
    static HRESULT CheckGet(WORD flags, const DISPPARAMS& params, VARIANT* result)
    {
        if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
        if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
        return result ? S_OK : E_INVALIDARG;
    }
    // A method call with exactly count positional arguments of the given types (first argument first).
    static HRESULT CheckMethod(WORD flags, const DISPPARAMS& params, const VARTYPE* types, UINT count, UINT* argError)
    {
        if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
        if (params.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
        if (params.cArgs != count) return DISP_E_BADPARAMCOUNT;
        for (UINT i = 0; i < count; ++i) {
            if (params.rgvarg[count - 1 - i].vt != types[i]) {
                if (argError) *argError = count - 1 - i;
                return DISP_E_TYPEMISMATCH;
            }
        }
        return S_OK;
    }
    static const VARIANT& Arg(const DISPPARAMS& params, UINT index) { return params.rgvarg[params.cArgs - 1 - index]; }
    static HRESULT ReturnObject(VARIANT* result, IDispatch* object)
    {
        result->vt = VT_DISPATCH;
        result->pdispVal = object; // the new object's one reference goes to the caller
        return S_OK;
    }

private:
    LONG m_refs = 1;
};

class Slide : public DispatchObject {
public:
    Slide(const Presentation& presentation, long index) : m_presentation(presentation), m_index(index) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT*, EXCEPINFO* exception,
                 UINT* argError) override
    {
        if (id != 2025) return DISP_E_MEMBERNOTFOUND;
        static const VARTYPE types[] = {VT_BSTR, VT_BSTR, VT_I4, VT_I4};
        HRESULT hr = CheckMethod(flags, params, types, 4, argError);
        if (FAILED(hr)) return hr;
        const wchar_t* path = Arg(params, 0).bstrVal ? Arg(params, 0).bstrVal : L"";
        const wchar_t* filter = Arg(params, 1).bstrVal ? Arg(params, 1).bstrVal : L"";
        const long width = Arg(params, 2).lVal, height = Arg(params, 3).lVal;
        Journal(L"Export " + std::to_wstring(m_index) + L" " + path + L" " + filter + L" " +
                std::to_wstring(width) + L" " + std::to_wstring(height));
        if (m_presentation.exportDelayMs > 0) Sleep(static_cast<DWORD>(m_presentation.exportDelayMs));
        if (m_presentation.throwOnExport == m_index) return RaiseException(exception, L"Export failed.");
        if (!DrawSlideJpeg(path, static_cast<int>(m_index), width, height))
            return RaiseException(exception, L"The slide could not be saved.");
        return S_OK;
    }

private:
    Presentation m_presentation;
    long m_index;
};

class Slides : public DispatchObject {
public:
    explicit Slides(const Presentation& presentation) : m_presentation(presentation) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception,
                 UINT* argError) override
    {
        if (id == 11) {
            HRESULT hr = CheckGet(flags, params, result);
            if (FAILED(hr)) return hr;
            Journal(L"Count");
            result->vt = VT_I4;
            result->lVal = m_presentation.slides;
            return S_OK;
        }
        if (id == 0) {
            static const VARTYPE types[] = {VT_I4};
            HRESULT hr = CheckMethod(flags | DISPATCH_METHOD, params, types, 1, argError);
            if (FAILED(hr)) return hr;
            if (!result) return E_INVALIDARG;
            const long index = Arg(params, 0).lVal;
            if (index < 1 || index > m_presentation.slides) return RaiseException(exception, L"Index out of range.");
            return ReturnObject(result, new Slide(m_presentation, index));
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    Presentation m_presentation;
};

class PageSetup : public DispatchObject {
public:
    explicit PageSetup(const Presentation& presentation) : m_presentation(presentation) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != 2004 && id != 2005) return DISP_E_MEMBERNOTFOUND;
        HRESULT hr = CheckGet(flags, params, result);
        if (FAILED(hr)) return hr;
        result->vt = VT_R4;
        result->fltVal = id == 2005 ? m_presentation.width : m_presentation.height;
        return S_OK;
    }

private:
    Presentation m_presentation;
};

class PresentationObject : public DispatchObject {
public:
    explicit PresentationObject(const Presentation& presentation) : m_presentation(presentation) {}

protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO*, UINT* argError) override
    {
        if (id == 2012 || id == 2011) {
            HRESULT hr = CheckGet(flags, params, result);
            if (FAILED(hr)) return hr;
            if (id == 2012) return ReturnObject(result, new PageSetup(m_presentation));
            return ReturnObject(result, new Slides(m_presentation));
        }
        if (id == 2039) {
            HRESULT hr = CheckMethod(flags, params, nullptr, 0, argError);
            if (FAILED(hr)) return hr;
            Journal(L"Close");
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    Presentation m_presentation;
};

class Presentations : public DispatchObject {
protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO* exception,
                 UINT* argError) override
    {
        if (id != 2005) return DISP_E_MEMBERNOTFOUND;
        static const VARTYPE types[] = {VT_BSTR, VT_I4, VT_I4, VT_I4};
        HRESULT hr = CheckMethod(flags, params, types, 4, argError);
        if (FAILED(hr)) return hr;
        if (!result) return E_INVALIDARG;
        const wchar_t* path = Arg(params, 0).bstrVal ? Arg(params, 0).bstrVal : L"";
        Journal(L"Open " + std::wstring(path) + L" " + std::to_wstring(Arg(params, 1).lVal) + L" " +
                std::to_wstring(Arg(params, 2).lVal) + L" " + std::to_wstring(Arg(params, 3).lVal));
        Presentation presentation;
        if (!LoadPresentation(path, &presentation)) return RaiseException(exception, L"The file could not be found.");
        if (presentation.throwOnOpen) return RaiseException(exception, L"The file is damaged.");
        return ReturnObject(result, new PresentationObject(presentation));
    }
};

class Application : public DispatchObject {
protected:
    HRESULT Call(DISPID id, WORD flags, const DISPPARAMS& params, VARIANT* result, EXCEPINFO*, UINT* argError) override
    {
        if (id == 2001) {
            HRESULT hr = CheckGet(flags, params, result);
            if (FAILED(hr)) return hr;
            return ReturnObject(result, new Presentations);
        }
        if (id == 2021) {
            HRESULT hr = CheckMethod(flags, params, nullptr, 0, argError);
            if (FAILED(hr)) return hr;
            Journal(L"Quit");
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }
};

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // A static object: its references only keep the server loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { InterlockedIncrement(&g_serverLocks); return 2; }
    ULONG STDMETHODCALLTYPE Release() override { InterlockedDecrement(&g_serverLocks); return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (g_failCreate) {
            Journal(L"CreateRefused");
            return CO_E_SERVER_EXEC_FAILURE;
        }
        Journal(L"Create");
        Application* app = new Application;
        HRESULT hr = app->QueryInterface(iid, out);
        app->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        if (lock) InterlockedIncrement(&g_serverLocks);
        else InterlockedDecrement(&g_serverLocks);
        return S_OK;
    }
};

ClassFactory g_factory;

} // namespace

extern "C" {

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, out);
}

HRESULT WINAPI DllCanUnloadNow(void)
{
    return g_liveObjects == 0 && g_serverLocks == 0 ? S_OK : S_FALSE;
}

void WINAPI FakePowerPoint_SetFailCreate(int fail)
{
    InterlockedExchange(&g_failCreate, fail ? 1 : 0);
}

int WINAPI FakePowerPoint_GetJournal(wchar_t* buffer, int capacity)
{
    std::lock_guard<std::mutex> lock(g_journalLock);
    const int length = static_cast<int>(g_journal.size());
    if (buffer && capacity > 0) {
        const int copied = length < capacity - 1 ? length : capacity - 1;
        wmemcpy(buffer, g_journal.data(), static_cast<size_t>(copied));
        buffer[copied] = L'\0';
    }
    return length;
}

void WINAPI FakePowerPoint_Reset(void)
{
    std::lock_guard<std::mutex> lock(g_journalLock);
    g_journal.clear();
    InterlockedExchange(&g_failCreate, 0);
}

int WINAPI FakePowerPoint_LiveObjects(void)
{
    return static_cast<int>(g_liveObjects);
}

} // extern "C"
