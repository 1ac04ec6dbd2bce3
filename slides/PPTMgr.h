// CPPTMgr: converts a presentation into JPEG slides by driving PowerPoint on its own thread, packs them
// into an LVL package, and unpacks packages into page images. One manager belongs to one document window.
#pragma once
#include "core/Records.h"
#include "core/Thread.h"
#include "platform/afx/AfxString.h"
#include "slides/ConvertTypes.h"
#include "slides/SlidePackage.h"
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <vector>

class COleDispatchDriver;

class CPPTMgr : public CThread {
public:
    CPPTMgr();
    // Stops a running conversion and waits (bounded) for the worker before the object goes.
    ~CPPTMgr() override;

    // Every listener gets its own ConvertProgress record with this message number (one for all).
    void AddListener(HWND window, UINT message);

    // Starts converting source into JPEGs under outputFolder (or the cache folder). Answers true when the
    // worker started; a failure to prepare the slide folder is posted as status 2, result -8.
    bool StartConvert(const CString& sourcePath, const CString& outputFolder);
    // Clears both flags, waits up to 4 s for the worker, ends it by force after that, and deletes the
    // exported slide images with their folder.
    void StopConvert();

    // Unpacks a package into (outputBase or packagePath) + "_P"; on 0 the page list is filled.
    // One manager unpacks one package: a second call answers -11 until StopConvert.
    int ParsePackage(ParamList* pages, const CString& packagePath, const CString& outputBase);
    // Packs the exported slides of a running conversion (-11 when not converting).
    int WritePackage(const SlidePackage::WriteJob& job);
    void BuildPageList(ParamList* pages) const;
    CString GetPackagePath() const;

    int32_t GetStatus() const { return m_status; }
    int32_t GetResult() const { return m_result; }
    int32_t GetPhase() const { return m_phase; }
    int GetPageCount() const { return m_pageCount; }
    int GetCurrentPage() const { return m_currentPage; }
    float GetProgress() const { return m_progress; }
    bool IsConverting() const { return m_converting; }
    bool IsParsing() const { return m_parsing; }
    CString GetSlideFolder() const { return m_slideFolder; }
    CString GetUnpackFolder() const { return m_unpackFolder; }
    CString GetConversionPackagePath() const { return m_conversionPackagePath; }
    CString GetJobName() const { return m_jobName; }
    CString GetBaseName() const { return m_baseName; }
    CString GetSourceFileName() const { return m_sourceFileName; }
    CString GetCacheFolder() const { return m_cacheFolder; }
    HANDLE GetDoneEvent() const { return m_doneEvent; }

    // The base name: the file name up to its first ".ppt" (case-sensitive); empty without one, and then
    // fileName receives the whole file name. Only the file name is searched, never its folders.
    static void SplitSourceName(const CString& path, CString* baseName, CString* fileName);
    // Fits a slide of w x h pixels into 960 x 720 without enlarging it; false when w or h is 0.
    static bool FitSlideSize(double w, double h, double* outW, double* outH);

    // Detection of an installed PowerPoint: Office 2003 to 2013 with "MSPPT.OLB" under its install root.
    static bool IsPowerPointInstalled();
    static CString GetOfficeInstallRoot(const wchar_t* version, int bits);
    static int GetOsBits();

protected:
    void Run() override;

private:
    int Convert(const CString& sourcePath, const CString& slideFolder);
    int Automate(const CString& sourcePath, const CString& slideFolder);
    int ExportSlides(COleDispatchDriver& app, COleDispatchDriver& presentations, COleDispatchDriver& presentation,
                     const CString& sourcePath, const CString& slideFolder);
    bool StillConverting(const wchar_t* stopMarker) const;
    void Notify();
    void InitCacheFolder();
    bool EnsureSlideFolder();
    static CString NewJobName();
    static void DeleteSlideImages(const CString& slideFolder, const CString& infix, int pageCount);

    CString m_sourcePath;
    std::atomic<int16_t> m_currentPage{0};
    std::atomic<int16_t> m_pageCount{0};
    std::atomic<int32_t> m_status{0};
    std::atomic<bool> m_converting{false};
    std::atomic<bool> m_parsing{false};
    std::vector<HWND> m_listeners;
    CRITICAL_SECTION* m_listenerLock = nullptr;
    std::atomic<float> m_progress{0.0f};
    CString m_slideFolder;
    CString m_unpackFolder;
    CString m_jobName;
    CString m_sourceFileName;
    UINT m_listenerMessage = WM_USER_CONVERT_PROGRESS;
    CString m_packagePath;
    CString m_conversionPackagePath;
    CString m_baseName;
    std::atomic<int32_t> m_phase{ePhase_Idle};
    CString m_cacheFolder;
    HANDLE m_doneEvent = nullptr;
    std::atomic<int32_t> m_result{eConvert_Success};
};
