// The conversion itself: finding PowerPoint, driving it by DISPID on the worker thread, and packing.
#include "slides/PPTMgr.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "platform/afx/AfxDisp.h"

#include <ole2.h>

namespace {

// PowerPoint's automation members, as the type library numbers them.
const DISPID kAppPresentations = 2001;
const DISPID kAppQuit = 2021;
const DISPID kPresentationsOpen = 2005;
const DISPID kPresentationSlides = 2011;
const DISPID kPresentationPageSetup = 2012;
const DISPID kPresentationClose = 2039;
const DISPID kPageSetupSlideHeight = 2004;
const DISPID kPageSetupSlideWidth = 2005;
const DISPID kSlidesCount = 11;
const DISPID kSlidesItem = 0;
const DISPID kSlideExport = 2025;

const double kMaxSlideWidth = 960.0;
const double kMaxSlideHeight = 720.0;

const wchar_t* const kOfficeVersions[] = {L"11.0", L"12.0", L"14.0", L"15.0"};

// Points to pixels at 96 dpi.
const double kPixelsPerPoint = 4.0 / 3.0;

} // namespace

bool CPPTMgr::FitSlideSize(double w, double h, double* outW, double* outH)
{
    if (w == 0.0 || h == 0.0) return false;
    double x = w, y = h;
    if (w >= h && w > kMaxSlideWidth) {
        x = kMaxSlideWidth;
        y = h / w * kMaxSlideWidth;
    } else if (h > kMaxSlideHeight) {
        x = w / h * kMaxSlideHeight;
        y = kMaxSlideHeight;
        if (x > kMaxSlideWidth) {
            x = kMaxSlideWidth;
            y = h / w * kMaxSlideWidth;
        }
    }
    if (y > kMaxSlideHeight) {
        x = w / h * kMaxSlideHeight;
        y = kMaxSlideHeight;
    }
    if (outW) *outW = x;
    if (outH) *outH = y;
    return true;
}

int CPPTMgr::GetOsBits()
{
    typedef void(WINAPI * NativeInfoProc)(LPSYSTEM_INFO);
    SYSTEM_INFO info = {};
    auto native = reinterpret_cast<NativeInfoProc>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo"));
    if (native)
        native(&info);
    else
        GetSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
                   info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64
               ? 64
               : 32;
}

CString CPPTMgr::GetOfficeInstallRoot(const wchar_t* version, int bits)
{
    CString key = CString(L"SOFTWARE\\Microsoft\\Office\\") + version + L"\\PowerPoint\\InstallRoot";
    HKEY handle = nullptr;
    LONG error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle);
    if (error != ERROR_SUCCESS && bits == 64) {
        Logger::Instance().Write(L"Error : ~~~open sub key : %s, (%d), error = %ld", key.GetString(), bits,
                                 static_cast<long>(error));
        key = CString(L"SOFTWARE\\Wow6432Node\\Microsoft\\Office\\") + version + L"\\PowerPoint\\InstallRoot";
        error = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_WOW64_64KEY, &handle);
    }
    if (error != ERROR_SUCCESS) return CString();

    wchar_t path[513] = {}; // 1024 bytes of value and room for a terminator the value may lack
    DWORD size = 1024;
    DWORD type = 0;
    error = RegQueryValueExW(handle, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(handle);
    if (error != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        Logger::Instance().Write(L"Error : ~~~query office path : %s, (%d), error = %ld", key.GetString(), bits,
                                 static_cast<long>(error));
        return CString();
    }
    path[size / sizeof(wchar_t) < 512 ? size / sizeof(wchar_t) : 512] = L'\0';
    CString root(path);
    if (root.IsEmpty()) Logger::Instance().Write(L"Error : ~~~Get Office path is Empty");
    return root;
}

bool CPPTMgr::IsPowerPointInstalled()
{
    const int bits = GetOsBits();
    for (const wchar_t* version : kOfficeVersions) {
        CString root = GetOfficeInstallRoot(version, bits);
        if (root.IsEmpty()) continue;
        if (root[root.GetLength() - 1] != L'\\') root += L'\\';
        if (GetFileAttributesW(root + L"MSPPT.OLB") != INVALID_FILE_ATTRIBUTES) return true;
    }
    Logger::Instance().Write(L"Check office Version, No Office!");
    return false;
}

bool CPPTMgr::StillConverting(const wchar_t* stopMarker) const
{
    if (m_converting) return true;
    OutputDebugStringW(stopMarker);
    return false;
}

int CPPTMgr::Convert(const CString& sourcePath, const CString& slideFolder)
{
    m_status = eConvertStatus_Converting;
    m_phase = ePhase_Converting;
    m_result = eConvert_Success;
    int result = eConvert_Success;
    if (!m_converting) {
        result = eConvert_Stopped;
    } else if (sourcePath.IsEmpty()) {
        result = eConvert_FileNotOpened;
    } else {
        m_currentPage = 1;
        m_pageCount = 0;
        if (!IsPowerPointInstalled()) {
            Logger::Instance().Write(L"pptmgr: Err, No supported powerpoint installed.");
            result = eConvert_NoPowerPoint;
        } else if (FAILED(OleInitialize(nullptr))) {
            Logger::Instance().Write(L"pptmgr: cannot init com, quit");
            result = eConvert_OleInitFailed;
        } else {
            result = Automate(sourcePath, slideFolder);
            if (result == eConvert_Success) {
                SlidePackage::WriteJob job;
                job.pageCount = m_pageCount;
                job.slideFolder = slideFolder;
                job.packagePath = m_conversionPackagePath;
                job.baseName = m_baseName;
                result = WritePackage(job);
            }
            OleUninitialize();
        }
    }

    m_result = result;
    if (result == eConvert_Success) {
        m_status = eConvertStatus_Converted;
        m_progress = 90.0f;
    } else {
        m_status = eConvertStatus_Failed;
        m_progress = 0.0f;
    }
    Logger::Instance().Write(L"pptmgr: convert, code = %d", result);
    Notify();
    SetEvent(m_doneEvent);
    return result;
}

int CPPTMgr::Automate(const CString& sourcePath, const CString& slideFolder)
{
    if (!StillConverting(L"====stop before start PPT.EXE====\n")) return eConvert_Stopped;
    OutputDebugStringW(L"====start PPT.EXE====\n");
    // Declared in this order so the presentation is released before its collection and the application.
    COleDispatchDriver app;
    if (FAILED(app.CreateDispatch(L"PowerPoint.Application"))) {
        Logger::Instance().Write(L"pptmgr: Error! create ppt application error.");
        return eConvert_CreateFailed;
    }
    m_progress = 30.0f;
    Notify();

    COleDispatchDriver presentations;
    COleDispatchDriver presentation;
    int result = ExportSlides(app, presentations, presentation, sourcePath, slideFolder);
    // PowerPoint stays running after its last client unless it is told to quit.
    if (presentation.IsValid()) presentation.InvokeHelper(kPresentationClose, DISPATCH_METHOD, VT_EMPTY, nullptr, VTS_NONE);
    app.InvokeHelper(kAppQuit, DISPATCH_METHOD, VT_EMPTY, nullptr, VTS_NONE);
    return result;
}

int CPPTMgr::ExportSlides(COleDispatchDriver& app, COleDispatchDriver& presentations,
                          COleDispatchDriver& presentation, const CString& sourcePath, const CString& slideFolder)
{
    if (!StillConverting(L"====stop before presentationssss====\n")) return eConvert_Stopped;
    OutputDebugStringW(L"====get presentationssss====\n");
    LPDISPATCH object = nullptr;
    if (FAILED(app.GetProperty(kAppPresentations, VT_DISPATCH, &object)) || !object) {
        Logger::Instance().Write(L"pptmgr: Err, open file %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    presentations.AttachDispatch(object);

    if (!StillConverting(L"====stop before presentation====\n")) return eConvert_Stopped;
    OutputDebugStringW(L"====get presentation====\n");
    object = nullptr;
    // Read-only, not untitled, without a window.
    if (FAILED(presentations.InvokeHelper(kPresentationsOpen, DISPATCH_METHOD, VT_DISPATCH, &object,
                                          VTS_BSTR VTS_I4 VTS_I4 VTS_I4, sourcePath.GetString(), -1L, 0L, 0L)) ||
        !object) {
        Logger::Instance().Write(L"pptmgr: Err, open file %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    presentation.AttachDispatch(object);

    OutputDebugStringW(L"====get setup====\n");
    object = nullptr;
    float widthPoints = 0.0f, heightPoints = 0.0f;
    if (FAILED(presentation.GetProperty(kPresentationPageSetup, VT_DISPATCH, &object)) || !object) {
        Logger::Instance().Write(L"pptmgr: Err, query file pages , %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    COleDispatchDriver pageSetup(object);
    if (FAILED(pageSetup.GetProperty(kPageSetupSlideWidth, VT_R4, &widthPoints)) ||
        FAILED(pageSetup.GetProperty(kPageSetupSlideHeight, VT_R4, &heightPoints))) {
        Logger::Instance().Write(L"pptmgr: Err, query file pages , %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    const double inW = widthPoints * kPixelsPerPoint;
    const double inH = heightPoints * kPixelsPerPoint;
    double outW = 0.0, outH = 0.0;
    if (!FitSlideSize(inW, inH, &outW, &outH) || static_cast<long>(outW) <= 0 || static_cast<long>(outH) <= 0) {
        Logger::Instance().Write(L"pptmgr: Err, file input size err, s.x = %lf, s.y = %lf.", inW, inH);
        return eConvert_ZeroSize;
    }
    Logger::Instance().Write(L"pptmgr: Err, insize.x = %lf, insize.y = %lf, outsize.x = %lf, outsize.y = %lf.",
                             inW, inH, outW, outH);

    if (!StillConverting(L"====stop before getslides====\n")) return eConvert_Stopped;
    object = nullptr;
    if (FAILED(presentation.GetProperty(kPresentationSlides, VT_DISPATCH, &object)) || !object) {
        Logger::Instance().Write(L"pptmgr: Err, query file pages , %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    COleDispatchDriver slides(object);
    if (!StillConverting(L"====stop before count====\n")) return eConvert_Stopped;
    long count = 0;
    if (FAILED(slides.GetProperty(kSlidesCount, VT_I4, &count))) {
        Logger::Instance().Write(L"pptmgr: Err, query file pages , %s exception.", sourcePath.GetString());
        return eConvert_ComException;
    }
    if (!StillConverting(L"====stop before count check====\n")) return eConvert_Stopped;
    if (count <= 0) {
        Logger::Instance().Write(L"pptmgr:total page  = 0, convert err, return");
        return eConvert_NoSlides;
    }
    if (count > SlidePackage::kMaxPages) {
        Logger::Instance().Write(L"pptmgr: Err, %ld pages do not fit a package.", count);
        return eConvert_WriteFailed;
    }
    m_pageCount = static_cast<int16_t>(count);
    m_progress = 50.0f;
    Notify();

    if (!StillConverting(L"====stop before convert====\n")) return eConvert_Stopped;
    OutputDebugStringW(L"====converting====\n");
    const long exportW = static_cast<long>(outW);
    const long exportH = static_cast<long>(outH);
    long page = 1;
    for (; page <= count && m_converting; ++page) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = page;
        object = nullptr;
        if (FAILED(slides.InvokeHelper(kSlidesItem, DISPATCH_METHOD | DISPATCH_PROPERTYGET, VT_DISPATCH, &object,
                                       VTS_VARIANT, &index)) || !object) {
            Logger::Instance().Write(L"pptmgr: Err, Convert exception, exit.");
            return eConvert_ComException;
        }
        COleDispatchDriver slide(object);
        CString imagePath = SlidePackage::SlideImagePath(slideFolder, CString(), page);
        if (FAILED(slide.InvokeHelper(kSlideExport, DISPATCH_METHOD, VT_EMPTY, nullptr,
                                      VTS_BSTR VTS_BSTR VTS_I4 VTS_I4, imagePath.GetString(), L".jpg", exportW,
                                      exportH))) {
            Logger::Instance().Write(L"pptmgr: Err, Convert exception, exit.");
            return eConvert_ComException;
        }
        m_currentPage = static_cast<int16_t>(page);
        if (count / 2 < page + 1) {
            m_progress = 70.0f;
            Notify();
        }
    }
    if (page <= count) {
        Logger::Instance().Write(L"pptmgr: Error, stop during converting.");
        return eConvert_Stopped;
    }
    m_progress = 80.0f;
    Notify();
    return eConvert_Success;
}
