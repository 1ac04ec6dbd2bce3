// Uploads one file to the file relay over its own TCP connection: offer, the relay's request with a
// start offset, data blocks, finish, and the relay's done.
#pragma once
#include "filetransfer/FileTransBase.h"

#include <atomic>

class CxTCPFileSender : public CxFileTransBase, public CxTCPBase {
public:
    CxTCPFileSender();
    ~CxTCPFileSender() override;

    // Connects (the socket argument is not used); -1 no connection, -2 no thread or event, else 1.
    int Start(SOCKET socket, uint32_t address, uint16_t port) override;
    // Opens the file and lets the control thread offer it; -1 unreadable file, -2 no thread.
    int SendFile(const CString& path, const FileTransInfo& info) override;
    // Ends both threads (waiting for both) and closes everything; no record is posted after it.
    void Stop() override;

    const FileTransInfo& Info() const { return m_info; }

private:
    static DWORD WINAPI ControlProc(void* self);
    static DWORD WINAPI DataProc(void* self);
    void RunControl();
    void RunData();
    bool OnRequest(const FileTransHeader& header, const uint8_t* payload, size_t size);
    void PostProgress();
    bool ReadAt(uint64_t offset, void* buffer, DWORD n);

    uint32_t m_address = 0;
    uint16_t m_port = 0;
    HANDLE m_controlThread = nullptr;
    HANDLE m_dataThread = nullptr;
    HANDLE m_controlEnded = nullptr;
    std::atomic<bool> m_requestReceived{false};
    HANDLE m_file = INVALID_HANDLE_VALUE;
    CString m_path;
    FileTransInfo m_info = {};
    FileTransBlock m_request = {};
    uint64_t m_currentOffset = 0;
    uint64_t m_endOffset = 0;
    int32_t m_blockSize = 0;
    DWORD m_startTime = 0;
    DWORD m_lastPostTime = 0;
    std::atomic<uint64_t> m_bytesSent{0};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_doneReceived{false};
    // The relay is silent only while no data is going out: the data thread has time-outs of its own.
    std::atomic<bool> m_sending{false};
    std::atomic<DWORD> m_lastHeard{0};
    SOCKET m_socket = INVALID_SOCKET;
};
