// COleDispatchDriver: calls an automation object through IDispatch by DISPID. Every call answers an
// HRESULT; a server's exception is kept as the last error instead of being thrown.
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <oaidl.h>

// Argument type codes for the parameter lists of InvokeHelper and SetProperty, one byte per argument,
// zero-terminated: e.g. VTS_BSTR VTS_I4 for (const wchar_t*, long).
#define VTS_I2 "\x02"       // short
#define VTS_I4 "\x03"       // long
#define VTS_R4 "\x04"       // float
#define VTS_R8 "\x05"       // double
#define VTS_BSTR "\x08"     // const wchar_t* (copied into a BSTR for the call)
#define VTS_DISPATCH "\x09" // IDispatch*
#define VTS_BOOL "\x0B"     // BOOL
#define VTS_VARIANT "\x0C"  // const VARIANT* (passed by value)
#define VTS_UNKNOWN "\x0D"  // IUnknown*
#define VTS_UI1 "\x11"      // BYTE
#define VTS_NONE ""

// What the last failed call left behind: the HRESULT and, for a server exception, its details.
struct COleDispatchError {
    HRESULT hr = S_OK;
    SCODE scode = S_OK;     // the server's code inside DISP_E_EXCEPTION
    CString source;
    CString description;
    UINT argError = 0;      // the offending argument of DISP_E_TYPEMISMATCH / DISP_E_PARAMNOTFOUND
    void Clear() { *this = COleDispatchError(); }
};

class COleDispatchDriver {
public:
    COleDispatchDriver() = default;
    // Takes the pointer; with autoRelease the driver releases it when done.
    explicit COleDispatchDriver(LPDISPATCH dispatch, BOOL autoRelease = TRUE);
    ~COleDispatchDriver() { ReleaseDispatch(); }
    COleDispatchDriver(const COleDispatchDriver&) = delete;
    COleDispatchDriver& operator=(const COleDispatchDriver&) = delete;

    // Creates the object of a ProgID ("PowerPoint.Application") or a CLSID and takes its IDispatch.
    // The calling thread must have initialised COM.
    HRESULT CreateDispatch(const wchar_t* progId);
    HRESULT CreateDispatch(REFCLSID clsid);
    void AttachDispatch(LPDISPATCH dispatch, BOOL autoRelease = TRUE);
    // Gives the pointer up without releasing it.
    LPDISPATCH DetachDispatch();
    void ReleaseDispatch();
    bool IsValid() const { return m_lpDispatch != nullptr; }

    // Calls member dispId with the arguments described by paramInfo (VTS_ codes), in the order they
    // are written. The result is converted to returnType and stored at result:
    //   VT_EMPTY nothing, VT_I2 short*, VT_I4 long*, VT_R4 float*, VT_R8 double*, VT_BOOL BOOL*,
    //   VT_BSTR CString*, VT_DISPATCH LPDISPATCH* (caller releases), VT_VARIANT VARIANT* (caller clears).
    HRESULT InvokeHelper(DISPID dispId, WORD flags, VARTYPE returnType, void* result, const char* paramInfo, ...);
    HRESULT InvokeHelperV(DISPID dispId, WORD flags, VARTYPE returnType, void* result, const char* paramInfo,
                          va_list args);
    HRESULT GetProperty(DISPID dispId, VARTYPE returnType, void* result);
    // One value of the type given by a single VTS_ code.
    HRESULT SetProperty(DISPID dispId, const char* paramInfo, ...);

    const COleDispatchError& GetLastError() const { return m_lastError; }

    LPDISPATCH m_lpDispatch = nullptr;
    BOOL m_bAutoRelease = TRUE;

private:
    HRESULT Fail(HRESULT hr);
    COleDispatchError m_lastError;
};
