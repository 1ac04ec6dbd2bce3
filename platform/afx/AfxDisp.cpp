#include "platform/afx/AfxDisp.h"

#include <oleauto.h>
#include <cstring>
#include <vector>

namespace {

// Arguments of one call: VARIANTs in IDispatch order (last argument first) and the BSTRs we made.
class CallArguments {
public:
    ~CallArguments()
    {
        for (BSTR text : m_strings) SysFreeString(text);
    }

    // Reads the arguments from the list as the VTS_ codes describe; false on an unknown code.
    bool Collect(const char* paramInfo, va_list args)
    {
        size_t count = paramInfo ? std::strlen(paramInfo) : 0;
        std::vector<VARIANT> inOrder(count);
        for (size_t i = 0; i < count; ++i) {
            VARIANT& v = inOrder[i];
            VariantInit(&v);
            switch (static_cast<unsigned char>(paramInfo[i])) {
            case VT_I2: v.vt = VT_I2; v.iVal = static_cast<SHORT>(va_arg(args, int)); break;
            case VT_I4: v.vt = VT_I4; v.lVal = va_arg(args, long); break;
            case VT_R4: v.vt = VT_R4; v.fltVal = static_cast<float>(va_arg(args, double)); break;
            case VT_R8: v.vt = VT_R8; v.dblVal = va_arg(args, double); break;
            case VT_BOOL: v.vt = VT_BOOL; v.boolVal = va_arg(args, int) ? VARIANT_TRUE : VARIANT_FALSE; break;
            case VT_UI1: v.vt = VT_UI1; v.bVal = static_cast<BYTE>(va_arg(args, int)); break;
            case VT_BSTR: {
                const wchar_t* text = va_arg(args, const wchar_t*);
                BSTR copy = SysAllocString(text ? text : L"");
                if (!copy) return false;
                m_strings.push_back(copy);
                v.vt = VT_BSTR;
                v.bstrVal = copy;
                break;
            }
            case VT_DISPATCH: v.vt = VT_DISPATCH; v.pdispVal = va_arg(args, IDispatch*); break;
            case VT_UNKNOWN: v.vt = VT_UNKNOWN; v.punkVal = va_arg(args, IUnknown*); break;
            case VT_VARIANT: {
                // By value: the caller keeps ownership, the server only reads it.
                const VARIANT* source = va_arg(args, const VARIANT*);
                if (!source) return false;
                v = *source;
                break;
            }
            default:
                return false;
            }
        }
        m_variants.assign(inOrder.rbegin(), inOrder.rend());
        return true;
    }

    UINT Count() const { return static_cast<UINT>(m_variants.size()); }
    VARIANT* Data() { return m_variants.empty() ? nullptr : m_variants.data(); }

private:
    std::vector<VARIANT> m_variants;
    std::vector<BSTR> m_strings;
};

// Moves a call's result into the caller's variable of the asked type.
HRESULT StoreResult(VARIANT& value, VARTYPE returnType, void* result)
{
    if (returnType == VT_EMPTY || !result) return S_OK;
    if (returnType == VT_VARIANT) {
        *static_cast<VARIANT*>(result) = value; // the caller now owns it
        VariantInit(&value);
        return S_OK;
    }
    HRESULT hr = VariantChangeType(&value, &value, 0, returnType);
    if (FAILED(hr)) return hr;
    switch (returnType) {
    case VT_I2: *static_cast<short*>(result) = value.iVal; break;
    case VT_I4: *static_cast<long*>(result) = value.lVal; break;
    case VT_R4: *static_cast<float*>(result) = value.fltVal; break;
    case VT_R8: *static_cast<double*>(result) = value.dblVal; break;
    case VT_BOOL: *static_cast<BOOL*>(result) = value.boolVal != VARIANT_FALSE; break;
    case VT_BSTR: *static_cast<CString*>(result) = CString(value.bstrVal ? value.bstrVal : L""); break;
    case VT_DISPATCH:
        *static_cast<LPDISPATCH*>(result) = value.pdispVal;
        VariantInit(&value); // the reference passes to the caller
        break;
    default:
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

} // namespace

COleDispatchDriver::COleDispatchDriver(LPDISPATCH dispatch, BOOL autoRelease)
    : m_lpDispatch(dispatch), m_bAutoRelease(autoRelease)
{
}

HRESULT COleDispatchDriver::CreateDispatch(const wchar_t* progId)
{
    m_lastError.Clear();
    if (!progId || !*progId) return Fail(E_INVALIDARG);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return Fail(hr);
    return CreateDispatch(clsid);
}

HRESULT COleDispatchDriver::CreateDispatch(REFCLSID clsid)
{
    m_lastError.Clear();
    ReleaseDispatch();
    IDispatch* dispatch = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&dispatch));
    if (FAILED(hr)) return Fail(hr);
    if (!dispatch) return Fail(E_NOINTERFACE);
    AttachDispatch(dispatch, TRUE);
    return S_OK;
}

void COleDispatchDriver::AttachDispatch(LPDISPATCH dispatch, BOOL autoRelease)
{
    ReleaseDispatch();
    m_lpDispatch = dispatch;
    m_bAutoRelease = autoRelease;
}

LPDISPATCH COleDispatchDriver::DetachDispatch()
{
    LPDISPATCH dispatch = m_lpDispatch;
    m_lpDispatch = nullptr;
    return dispatch;
}

void COleDispatchDriver::ReleaseDispatch()
{
    if (m_lpDispatch && m_bAutoRelease) m_lpDispatch->Release();
    m_lpDispatch = nullptr;
}

HRESULT COleDispatchDriver::Fail(HRESULT hr)
{
    m_lastError.hr = hr;
    if (m_lastError.scode == S_OK) m_lastError.scode = hr;
    return hr;
}

HRESULT COleDispatchDriver::InvokeHelper(DISPID dispId, WORD flags, VARTYPE returnType, void* result,
                                         const char* paramInfo, ...)
{
    va_list args;
    va_start(args, paramInfo);
    HRESULT hr = InvokeHelperV(dispId, flags, returnType, result, paramInfo, args);
    va_end(args);
    return hr;
}

HRESULT COleDispatchDriver::InvokeHelperV(DISPID dispId, WORD flags, VARTYPE returnType, void* result,
                                          const char* paramInfo, va_list args)
{
    m_lastError.Clear();
    if (!m_lpDispatch) return Fail(E_POINTER);
    CallArguments arguments;
    if (!arguments.Collect(paramInfo, args)) return Fail(E_INVALIDARG);

    DISPPARAMS params = {};
    params.cArgs = arguments.Count();
    params.rgvarg = arguments.Data();
    DISPID namedPut = DISPID_PROPERTYPUT;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        // A property put names its value argument, as IDispatch requires.
        params.cNamedArgs = 1;
        params.rgdispidNamedArgs = &namedPut;
    }

    VARIANT value;
    VariantInit(&value);
    EXCEPINFO exception = {};
    UINT argError = 0;
    HRESULT hr = m_lpDispatch->Invoke(dispId, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      returnType == VT_EMPTY ? nullptr : &value, &exception, &argError);
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
        m_lastError.scode = exception.scode ? exception.scode : static_cast<SCODE>(exception.wCode);
        if (exception.bstrSource) m_lastError.source = exception.bstrSource;
        if (exception.bstrDescription) m_lastError.description = exception.bstrDescription;
    }
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr)) {
        m_lastError.argError = argError;
        VariantClear(&value);
        return Fail(hr);
    }
    hr = StoreResult(value, returnType, result);
    VariantClear(&value);
    return FAILED(hr) ? Fail(hr) : S_OK;
}

HRESULT COleDispatchDriver::GetProperty(DISPID dispId, VARTYPE returnType, void* result)
{
    return InvokeHelper(dispId, DISPATCH_PROPERTYGET, returnType, result, VTS_NONE);
}

HRESULT COleDispatchDriver::SetProperty(DISPID dispId, const char* paramInfo, ...)
{
    if (!paramInfo || std::strlen(paramInfo) != 1) {
        m_lastError.Clear();
        return Fail(E_INVALIDARG);
    }
    va_list args;
    va_start(args, paramInfo);
    HRESULT hr = InvokeHelperV(dispId, DISPATCH_PROPERTYPUT, VT_EMPTY, nullptr, paramInfo, args);
    va_end(args);
    return hr;
}
