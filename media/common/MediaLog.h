// The log file of a media library ("Vidlatch.log", "Sonarel.log"): one file per library in the "log"
// folder of the data folder, a few KB kept from earlier runs, lines written unbuffered without time stamps.
#pragma once
#include "platform/afx/AfxString.h"
#include <windows.h>
#include <cstdarg>

class MediaLog {
public:
    MediaLog();
    ~MediaLog();
    MediaLog(const MediaLog&) = delete;
    MediaLog& operator=(const MediaLog&) = delete;

    // Opens folder + fileName for appending (creating the folder and its parents); an existing file of
    // more than kKeepBytes is started afresh. Writes the first line
    // "--<libraryName> buildtime = <buildTime>: <buildDate>\r\n". False when the file cannot be opened;
    // the library then works without a log.
    bool Open(const CString& folder, const wchar_t* fileName, const char* libraryName, const char* buildTime,
              const char* buildDate);
    void Close();
    bool IsOpen() const;
    CString Path() const;

    // printf rules (narrow %s); the text carries its own prefix ("Err: ", "Info: ", "Warn: ") and "\r\n".
    // A line longer than kLineBytes - 1 bytes is cut there. Nothing is written while the file is closed.
    // Safe from any thread: each line is formatted on the caller's stack and written in one call.
    void Write(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));
    void WriteV(const char* format, va_list args);

    static const DWORD kKeepBytes = 2048;
    static const int kLineBytes = 1024;

private:
    mutable CRITICAL_SECTION m_lock;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    CString m_path;
};

// The log of the module this code is linked into (each media DLL has its own).
MediaLog& TheMediaLog();

// The folder of the media logs: "log" in the data folder (by default the common application-data
// folder's "Zentora\Lumenvale"), ending with a backslash.
CString MediaLogFolder();

// A device GUID as registry text, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; buffer of at least 39 chars.
const char* GuidToRegistryText(const GUID& guid, char (&text)[40]);

#define MEDIA_LOG(...) TheMediaLog().Write(__VA_ARGS__)
