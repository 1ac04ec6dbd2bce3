#include "slides/PPTMgr.h"

#include "core/Folders.h"
#include "core/Logger.h"
#include "core/TextUtil.h"

#include <objbase.h>
#include <shlobj.h>
#include <ctime>
#include <new>

namespace {

class LockGuard {
public:
    explicit LockGuard(CRITICAL_SECTION* lock) : m_lock(lock) { EnterCriticalSection(m_lock); }
    ~LockGuard() { LeaveCriticalSection(m_lock); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    CRITICAL_SECTION* m_lock;
};

CString WithBackslash(const CString& folder)
{
    if (folder.IsEmpty() || folder[folder.GetLength() - 1] == L'\\') return folder;
    return folder + L"\\";
}

// The done event signals within this time when the worker notices the cleared flag between slides.
const DWORD kStopWaitMs = 4000;
// After the done event only the return from Run is left.
const DWORD kThreadEndWaitMs = 1000;

} // namespace

CPPTMgr::CPPTMgr()
{
    m_listenerLock = new CRITICAL_SECTION;
    InitializeCriticalSection(m_listenerLock);
    m_doneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    InitCacheFolder();
}

CPPTMgr::~CPPTMgr()
{
    StopConvert();
    // The worker runs on this object: it must be gone before the members are.
    if (m_thread && WaitForSingleObject(m_thread, kStopWaitMs) != WAIT_OBJECT_0) {
        Logger::Instance().Write(L"thread Time out");
        TerminateThread(m_thread, 1);
    }
    if (m_doneEvent) CloseHandle(m_doneEvent);
    DeleteCriticalSection(m_listenerLock);
    delete m_listenerLock;
}

void CPPTMgr::InitCacheFolder()
{
    m_cacheFolder = GetAppDataFolder() + L"Caches\\";
    CString folder = m_cacheFolder.Left(m_cacheFolder.GetLength() - 1);
    int error = SHCreateDirectoryExW(nullptr, folder, nullptr);
    if (error != ERROR_SUCCESS && error != ERROR_ALREADY_EXISTS) {
        Logger::Instance().Write(L"pptmgr: Error, CreateDefaultDirectoryErr, %d", error);
        m_cacheFolder.Empty();
    }
}

void CPPTMgr::AddListener(HWND window, UINT message)
{
    LockGuard lock(m_listenerLock);
    m_listenerMessage = message;
    for (HWND listed : m_listeners) {
        if (listed == window) return;
    }
    m_listeners.push_back(window);
}

void CPPTMgr::Notify()
{
    if (!m_converting && !m_parsing) return;
    LockGuard lock(m_listenerLock);
    for (HWND window : m_listeners) {
        auto* record = new (std::nothrow) ConvertProgress{m_progress, m_status, m_result};
        if (!record) continue;
        // A window that is gone cannot take the record over; a null one would queue it on this thread.
        if (!window || !PostMessageW(window, m_listenerMessage, 0, reinterpret_cast<LPARAM>(record))) delete record;
    }
}

void CPPTMgr::SplitSourceName(const CString& path, CString* baseName, CString* fileName)
{
    int slash = path.ReverseFind(L'\\');
    int forward = path.ReverseFind(L'/');
    if (forward > slash) slash = forward;
    CString name = path.Mid(slash + 1);
    int extension = name.Find(L".ppt");
    if (baseName) *baseName = extension >= 0 ? name.Left(extension) : CString();
    if (fileName) *fileName = extension >= 0 ? CString() : name;
}

CString CPPTMgr::NewJobName()
{
    HRESULT init = CoInitialize(nullptr);
    GUID guid;
    HRESULT hr = CoCreateGuid(&guid);
    if (SUCCEEDED(init)) CoUninitialize();
    CString name;
    if (SUCCEEDED(hr)) {
        name.Format(L"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", static_cast<unsigned>(guid.Data1),
                    guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                    guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
        return name;
    }
    Logger::Instance().Write(L"pptmgr: Err, create guid error");
    time_t now = time(nullptr);
    struct tm local = {};
    wchar_t text[32] = {};
    if (localtime_s(&local, &now) == 0) wcsftime(text, 32, L"%Y%m%d-%H%M%S", &local);
    return CString(text);
}

bool CPPTMgr::EnsureSlideFolder()
{
    if (m_slideFolder.IsEmpty()) return false;
    DWORD attributes = GetFileAttributesW(m_slideFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false; // a file of that name: nowhere to export
        Logger::Instance().Write(L"pptmgr: Err, file folder exist, rewrite folder files.");
        return true;
    }
    if (!CreateDirectoryW(m_slideFolder, nullptr)) {
        Logger::Instance().Write(L"pptmgr:Err, createdirectory, %s error = %d", m_slideFolder.GetString(),
                                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

bool CPPTMgr::StartConvert(const CString& sourcePath, const CString& outputFolder)
{
    // Only the owner closes the handle, so it stays valid for StopConvert; a finished worker is replaced.
    if (m_thread && WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT) {
        Logger::Instance().Write(L"pptmgr: converting, return");
        return false;
    }
    m_sourcePath = sourcePath;
    if (sourcePath.IsEmpty()) {
        Logger::Instance().Write(L"pptmgr: Err, parse filename is empty");
        return false;
    }
    SplitSourceName(sourcePath, &m_baseName, &m_sourceFileName);
    m_converting = true;
    m_jobName = NewJobName();
    if (!outputFolder.IsEmpty()) {
        CString folder = WithBackslash(outputFolder);
        m_slideFolder = folder + m_jobName + L"_C";
        m_conversionPackagePath = folder + m_jobName;
    } else if (m_slideFolder.IsEmpty() && !m_cacheFolder.IsEmpty()) {
        m_slideFolder = m_cacheFolder + m_jobName + L"_C";
        m_conversionPackagePath = m_cacheFolder + m_jobName;
    }
    if (!EnsureSlideFolder()) {
        Logger::Instance().Write(L"pptmgr: check folder error,quit");
        m_status = eConvertStatus_Failed;
        m_progress = 0.0f;
        m_result = eConvert_FileNotOpened;
        Notify();
        return false;
    }
    ResetEvent(m_doneEvent);
    m_status = eConvertStatus_Converting;
    if (!Start()) {
        Logger::Instance().Write(L"pptmgr: Err, cannot start the conversion thread, err = %d",
                                 static_cast<int>(GetLastError()));
        m_status = eConvertStatus_Failed;
        m_progress = 0.0f;
        m_result = eConvert_Stopped;
        Notify();
        return false;
    }
    return true;
}

void CPPTMgr::Run()
{
    if (m_converting) Convert(m_sourcePath, m_slideFolder);
    // Also when nothing ran, so a stop never waits for a conversion that will not come.
    SetEvent(m_doneEvent);
}

void CPPTMgr::StopConvert()
{
    m_parsing = false;
    if (!m_converting.exchange(false)) return;
    Sleep(100);
    if (m_thread) {
        bool ended = WaitForSingleObject(m_doneEvent, kStopWaitMs) == WAIT_OBJECT_0 &&
                     WaitForSingleObject(m_thread, kThreadEndWaitMs) == WAIT_OBJECT_0;
        if (!ended) {
            Logger::Instance().Write(L"thread Time out");
            TerminateThread(m_thread, 1);
            WaitForSingleObject(m_thread, kThreadEndWaitMs);
        }
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    DeleteSlideImages(m_slideFolder, CString(), m_pageCount);
}

void CPPTMgr::DeleteSlideImages(const CString& slideFolder, const CString& infix, int pageCount)
{
    if (slideFolder.IsEmpty()) return;
    for (int page = 1; page <= pageCount; ++page) {
        CString image = SlidePackage::SlideImagePath(slideFolder, infix, page);
        if (!DeleteFileW(image) && GetLastError() != ERROR_FILE_NOT_FOUND)
            Logger::Instance().Write(L"httpfileex: Err, remove file = %s ,error = %d", image.GetString(),
                                     static_cast<int>(GetLastError()));
    }
    if (!RemoveDirectoryW(slideFolder) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
        Logger::Instance().Write(L"pptmgr: Err, remove directory %s, err, %d", slideFolder.GetString(),
                                 static_cast<int>(GetLastError()));
}

int CPPTMgr::WritePackage(const SlidePackage::WriteJob& job)
{
    if (!m_converting) {
        Logger::Instance().Write(L"pptmgr: Err, not converting, quit");
        return eConvert_Stopped;
    }
    m_phase = ePhase_Packing;
    Notify();
    {
        LockGuard lock(m_listenerLock);
        m_packagePath = job.packagePath;
    }
    int result = SlidePackage::Write(job, [this] { return m_converting.load(); });
    DeleteSlideImages(job.slideFolder, job.infix, job.pageCount);
    return result;
}

int CPPTMgr::ParsePackage(ParamList* pages, const CString& packagePath, const CString& outputBase)
{
    if (m_parsing) {
        Logger::Instance().Write(L"pptmgr:Err, Parsing Again,return");
        return eConvert_Stopped;
    }
    {
        LockGuard lock(m_listenerLock);
        m_packagePath = packagePath;
    }
    m_phase = ePhase_Unpacking;
    m_parsing = true;
    if (packagePath.IsEmpty()) {
        Logger::Instance().Write(L"pptmgr: Err, cannot parse empty filename");
        return eConvert_EmptyPackagePath;
    }
    m_unpackFolder = (outputBase.IsEmpty() ? packagePath : outputBase) + L"_P";
    SlidePackage::Layout layout;
    int result = SlidePackage::Unpack(packagePath, m_unpackFolder, [this] { return m_parsing.load(); }, &layout);
    m_pageCount = static_cast<int16_t>(layout.pageCount);
    m_currentPage = 1;
    if (result == eConvert_Success && pages) BuildPageList(pages);
    return result;
}

void CPPTMgr::BuildPageList(ParamList* pages) const
{
    if (!pages) return;
    const int count = m_pageCount > 0 ? m_pageCount.load() : 0;
    pages->pageCount = static_cast<uint16_t>(count);
    pages->currentPage = 1;
    pages->values.clear();
    for (int page = 1; page <= count; ++page) pages->values.push_back(SlidePackage::UnpackedPagePath(m_unpackFolder, page));
}

CString CPPTMgr::GetPackagePath() const
{
    LockGuard lock(m_listenerLock);
    return m_packagePath;
}
