// The client's one log file: "Log\log.txt" in the data folder, a line per call, UTF-8, flushed at once.
#pragma once
#include "platform/afx/AfxString.h"
#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

class Logger {
public:
    // Opens "log.txt" of the data folder on the first call; closed (never freed) by the at-exit
    // destructors, so a line written after that is dropped.
    static Logger& Instance();

    // Copies the full log to a new file; true when that holds all of it. Windows' own copy opens
    // its source without sharing write access, so it only succeeds once the log is closed.
    using CopyStep = bool (*)(const wchar_t* from, const wchar_t* to);
    static bool CopyWithSystem(const wchar_t* from, const wchar_t* to);

    // Opens the log at an explicit path (tests; the instance uses the data folder).
    explicit Logger(const CString& path, CopyStep copy = &Logger::CopyWithSystem);
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // printf-style with the Windows meaning (%s wide, %S narrow, %I64u).
    void Write(const wchar_t* format, ...);
    void WriteLine(const wchar_t* text);
    // For the crash filter: writes the line only when that needs no waiting on a writer that may be
    // the crashing thread itself. Skips at once when the calling thread is inside a write, and after
    // a short while when another thread does not finish its write. True when the line was written.
    bool WriteLineWithoutWaiting(const wchar_t* text);
    bool IsOpen() const { return m_file.load() != nullptr; }
    // Closes the file; later lines are dropped.
    void Close();
    const CString& Path() const { return m_path; }

    // A log of more than this many bytes is copied to "log_bak.txt" and emptied when it is opened.
    // When the copy fails, the old backup stays as it was and the log keeps only its newest lines,
    // at most kKeepWithoutBackup bytes, so it never grows past kRotateSize from one start to the next.
    static const long kRotateSize = 0x2FFFFF;
    static const long kKeepWithoutBackup = kRotateSize / 2;

private:
    void Open();
    // Copies the log to a temporary file, then puts that in the backup's place. False, with the
    // error, when either step fails: the old backup is then untouched and no temporary file is left.
    bool ReplaceBackup(const CString& backup, unsigned long& error);
    // Builds the time prefix, the UTF-8 text and the line end.
    static std::string FormatLine(const wchar_t* text);
    // Writes one formatted line; the caller holds m_lock. False when the log is closed.
    bool WriteLocked(const std::string& line);

    std::atomic<FILE*> m_file{nullptr};
    CString m_path;
    CopyStep m_copy;
    // Each line goes out in one write under this lock, so lines of two threads never mix.
    std::mutex m_lock;
    // The thread that holds m_lock while it writes, 0 when none does.
    std::atomic<unsigned long> m_writer{0};
};

// Shorthands for the two kinds of client log lines; the text after the prefix is a format.
#define LOG_INFO(fmt, ...) Logger::Instance().Write(L"Infor : " fmt, ##__VA_ARGS__)
#define LOG_ERROR(fmt, ...) Logger::Instance().Write(L"Error : " fmt, ##__VA_ARGS__)

// An error line of a finished text: the sink through which the window layer's failures reach this log.
inline void LogErrorText(const wchar_t* text) { LOG_ERROR(L"%s", text); }
