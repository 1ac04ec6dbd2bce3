// The engine's own log, "Castmix.log" in the "log" folder of the client's data folder: a few KB kept
// from earlier runs, lines written unbuffered without time stamps, as the media libraries keep theirs.
#pragma once
#include <windows.h>
#include <mutex>
#include <string>

class EngineLog {
public:
    EngineLog() = default;
    ~EngineLog() { Close(); }
    EngineLog(const EngineLog&) = delete;
    EngineLog& operator=(const EngineLog&) = delete;

    // Opens folder + "Castmix.log" for appending (creating the folder and its parents); a file of more
    // than kKeepBytes is started afresh. The first line names the build. False when the file cannot be
    // opened: the engine then works without a log.
    bool Open(const std::wstring& folder, const char* buildTime, const char* buildDate);
    void Close();
    bool IsOpen() const;

    // printf rules; the text carries its own prefix ("Err: ", "Info: ", "Warn: ") and "\r\n". A line is
    // cut at kLineBytes - 1 bytes. Safe from any thread: each line goes out in one write.
    void Write(const char* format, ...) __attribute__((format(gnu_printf, 2, 3)));

    static const DWORD kKeepBytes = 2048;
    static const int kLineBytes = 1024;

private:
    mutable std::mutex m_lock;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// The log of Castmix.dll; never destroyed, since engine threads may log while static destructors run.
EngineLog& TheEngineLog();

// "log\" in the client's data folder: the folder the client hands its children in LUMENVALE_DATA_FOLDER,
// else "Zentora\Lumenvale" in the common application-data folder. Ends with a backslash.
std::wstring EngineLogFolder();

#define ENGINE_LOG(...) TheEngineLog().Write(__VA_ARGS__)
