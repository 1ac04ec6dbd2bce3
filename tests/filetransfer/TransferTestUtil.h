// Shared pieces of the transfer tests: file contents, short timings, and reading posted records.
#pragma once
#include "filetransfer/FileTransBase.h"
#include "tests/support/MessageSink.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

const UINT kUploadMessage = WM_USER + 132;   // the upload result message number
const UINT kDownloadMessage = WM_USER + 133; // the download result message number

inline std::string RandomBytes(size_t n, unsigned seed)
{
    std::string bytes(n, '\0');
    std::mt19937 random(seed);
    for (size_t i = 0; i < n; i += 4) {
        uint32_t v = random();
        for (size_t k = 0; k < 4 && i + k < n; ++k) bytes[i + k] = static_cast<char>(v >> (8 * k));
    }
    return bytes;
}

// The records a sink received, read without taking them (the sink frees them through its freer).
inline std::vector<FileTransStatus> RecordsOf(const MessageSink& sink, UINT message)
{
    std::vector<FileTransStatus> records;
    for (const PostedMessage& m : sink.Received(message))
        records.push_back(*reinterpret_cast<const FileTransStatus*>(m.lParam));
    return records;
}

inline bool IsFinal(const FileTransStatus& s)
{
    return s.state == FTS_SEND_FAILED || s.state == FTS_RECV_FAILED || s.state == FTS_SEND_DONE ||
           s.state == FTS_RECV_DONE;
}

inline size_t FinalCount(const std::vector<FileTransStatus>& records)
{
    size_t n = 0;
    for (const FileTransStatus& s : records) n += IsFinal(s);
    return n;
}

// Hands records back to their transfer object, as the window does through the session.
inline void HandBackTo(MessageSink& sink, UINT message, CxFileTransBase* owner)
{
    sink.SetFreer(message, [owner](WPARAM, LPARAM l) {
        auto* record = reinterpret_cast<FileTransStatus*>(l);
        owner->FreeStatus(record);
        CxFileTransBase::FreeOrphanStatus(record);
    });
}

// Waits until a final record arrived.
inline bool WaitFinal(MessageSink& sink, UINT message, DWORD timeoutMs)
{
    return PumpUntil([&] { return FinalCount(RecordsOf(sink, message)) > 0; }, timeoutMs);
}

// Short waits for the whole test program; each test starts from them.
class ShortTimings : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = FileTransTimings::Defaults();
        FileTransTimings& t = FileTransTimings::Defaults();
        t.receiverIdleMs = 1500; // below the stall case, above the gaps a loaded machine leaves between sends
        t.peerSilenceMs = 2000; // above the 300 ms finish gap times the losses a test link makes
        t.senderStopSettleMs = 10;
        t.udpReceiverCheckMs = 100;
        t.udpLossIntervalMs = 1000;
    }
    void TearDown() override { FileTransTimings::Defaults() = m_saved; }
    FileTransTimings m_saved;
};
