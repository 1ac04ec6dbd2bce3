#include "core/Folders.h"
#include "filetransfer/TcpFileRcver.h"
#include "filetransfer/TcpFileSender.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/filetransfer/TransferTestUtil.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

// A loopback port nothing listens on.
uint16_t ClosedPort()
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int length = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &length);
    closesocket(s);
    return ntohs(at.sin_port);
}

FileTransInfo DownloadInfo(uint64_t id, uint64_t size)
{
    FileTransInfo info = {};
    info.transferId = id;
    info.fileSize = size;
    info.sequence = 11;
    info.tag = 22;
    strcpy(info.fileName, "lesson.lvl");
    return info;
}

FileTransInfo UploadInfo()
{
    FileTransInfo info = {};
    info.kind = 3;
    info.secondCode = 6;
    info.sequence = 5;
    info.tag = 6;
    strcpy(info.md5, "00112233445566778899aabbccddeeff");
    return info;
}

class TcpTransferTest : public ShortTimings {
protected:
    // Uploads a file of these bytes; answers the records seen.
    std::vector<FileTransStatus> Upload(FakeRelay& relay, const std::string& bytes, const wchar_t* name = L"up.bin",
                                        DWORD relayIdleMs = 20000)
    {
        CString path = m_folder.File(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        CxTCPFileSender sender;
        FileTransTimings timings = FileTransTimings::Defaults();
        timings.senderIdleMs = relayIdleMs;
        sender.SetTimings(timings);
        MessageSink sink;
        HandBackTo(sink, kUploadMessage, &sender);
        sender.Init(sink.Handle(), kUploadMessage);
        EXPECT_EQ(1, sender.Start(INVALID_SOCKET, relay.Address(), relay.Port()));
        EXPECT_GE(sender.SendFile(path, UploadInfo()), 0);
        EXPECT_TRUE(WaitFinal(sink, kUploadMessage, 60000));
        sink.PumpFor(50);
        std::vector<FileTransStatus> records = RecordsOf(sink, kUploadMessage);
        sender.Stop();
        return records;
    }

    // Downloads id into the test folder; answers the records seen.
    std::vector<FileTransStatus> Download(FakeRelay& relay, uint64_t id, uint64_t size, int* startResult = nullptr,
                                          uint64_t* startOffset = nullptr)
    {
        CxTCPFileRcver receiver;
        MessageSink sink;
        HandBackTo(sink, kDownloadMessage, &receiver);
        receiver.Init(sink.Handle(), kDownloadMessage);
        EXPECT_EQ(1, receiver.SetParams(INVALID_SOCKET, relay.Address(), relay.Port(), m_folder.Path()));
        int result = receiver.StartRecv(DownloadInfo(id, size));
        if (startResult) *startResult = result;
        if (startOffset) *startOffset = receiver.StartOffset();
        if (result != 1) return {};
        EXPECT_TRUE(WaitFinal(sink, kDownloadMessage, 60000));
        sink.PumpFor(50);
        std::vector<FileTransStatus> records = RecordsOf(sink, kDownloadMessage);
        receiver.Stop();
        return records;
    }

    CString Final(uint64_t id) const
    {
        CString name;
        name.Format(L"%I64u", id);
        return m_folder.File(name);
    }

    TempFolder m_folder{L"tcp"};
};

} // namespace

TEST_F(TcpTransferTest, UploadsArriveByteIdentical)
{
    FakeRelay relay;
    ASSERT_TRUE(relay.Listening());
    const size_t sizes[] = {0, 1, 1357, 1358, 200 * 1024, 2 * 1024 * 1024, 20 * 1024 * 1024};
    uint64_t id = 7001;
    for (size_t size : sizes) {
        RelayKnobs knobs;
        knobs.relayId = ++id;
        relay.SetKnobs(knobs);
        std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
        std::vector<FileTransStatus> records = Upload(relay, bytes);
        ASSERT_FALSE(records.empty()) << size;
        EXPECT_EQ(FTS_SEND_DONE, records.back().state) << size;
        EXPECT_EQ(0, records.back().error);
        EXPECT_EQ(100, records.back().percent);
        EXPECT_EQ(id, records.back().transferId);
        EXPECT_EQ(5u, records.back().sequence);
        EXPECT_EQ(6u, records.back().tag);
        EXPECT_EQ(1u, FinalCount(records));
        EXPECT_TRUE(relay.Uploaded(id) == bytes) << size;
        if (size == 2 * 1024 * 1024) {
            // Two megabytes on loopback take well under 500 ms per record: only the 100 % one and done.
            ASSERT_GE(records.size(), 2u);
            EXPECT_EQ(FTS_PROGRESS, records[records.size() - 2].state);
            EXPECT_EQ(100, records[records.size() - 2].percent);
            EXPECT_LE(records.size(), 6u);
        }
    }
    // The offer goes out under id 0 with the file's own name; everything after it under the relay's id.
    std::vector<FileTransHeader> offers = relay.OfferHeaders();
    ASSERT_EQ(7u, offers.size());
    for (const FileTransHeader& h : offers) {
        EXPECT_EQ(0u, h.transferId);
        EXPECT_EQ(147, h.length);
    }
    std::vector<FileTransInfo> infos = relay.Offers();
    EXPECT_EQ(0u, infos[0].transferId);
    EXPECT_STREQ("up.bin", infos[0].fileName);
    EXPECT_EQ(1358u, infos[3].fileSize);
    EXPECT_EQ(3, infos[3].kind);
    EXPECT_STREQ("00112233445566778899aabbccddeeff", infos[3].md5);
    for (uint64_t packetId : relay.UploadPacketIds()) EXPECT_GT(packetId, 7001u);
    EXPECT_EQ(0u, relay.BadUploadPackets());
}

TEST_F(TcpTransferTest, UploadStartsWhereTheRelayAsks)
{
    FakeRelay relay;
    RelayKnobs knobs;
    knobs.uploadStartOffset = 5000;
    relay.SetKnobs(knobs);
    std::string bytes = RandomBytes(20000, 9);
    std::vector<FileTransStatus> records = Upload(relay, bytes);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FTS_SEND_DONE, records.back().state);
    ASSERT_EQ(1u, relay.UploadFirstOffsets().size());
    EXPECT_EQ(5000u, relay.UploadFirstOffsets()[0]);
    std::string got = relay.Uploaded(knobs.relayId);
    EXPECT_TRUE(got.substr(5000) == bytes.substr(5000));
    EXPECT_EQ(std::string(5000, '\0'), got.substr(0, 5000));
}

TEST_F(TcpTransferTest, UploadRelayMisbehaviourEndsInOneFailure)
{
    struct Case {
        const char* what;
        RelayKnobs knobs;
        uint16_t last = FTS_SEND_FAILED;
    } cases[6];
    cases[0].what = "start offset past the end";
    cases[0].knobs.uploadStartOffset = 30000;
    cases[1].what = "no done after finish";
    cases[1].knobs.omitDone = true;
    cases[2].what = "closed mid-upload";
    cases[2].knobs.closeAfterBytes = 5000;
    cases[3].what = "start offset at the end";
    cases[3].knobs.uploadStartOffset = 20000;
    cases[3].last = FTS_SEND_DONE;
    // Connections kept open without a word: the idle time ends them.
    cases[4].what = "silent after the offer";
    cases[4].knobs.silentAfterBytes = 0;
    cases[5].what = "silent mid-upload";
    cases[5].knobs.silentAfterBytes = 5000;
    for (const Case& c : cases) {
        FakeRelay relay;
        relay.SetKnobs(c.knobs);
        std::vector<FileTransStatus> records = Upload(relay, RandomBytes(20000, 4), L"up.bin", 400);
        ASSERT_FALSE(records.empty()) << c.what;
        EXPECT_EQ(1u, FinalCount(records)) << c.what;
        EXPECT_EQ(c.last, records.back().state) << c.what;
        if (c.last == FTS_SEND_FAILED) {
            EXPECT_EQ(0, records.back().percent) << c.what;
        }
    }
}

TEST_F(TcpTransferTest, RepeatedRequestsStartOneSender)
{
    FakeRelay relay;
    RelayKnobs knobs;
    knobs.requestRepeats = 3;
    relay.SetKnobs(knobs);
    std::string bytes = RandomBytes(300000, 12);
    std::vector<FileTransStatus> records = Upload(relay, bytes);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FTS_SEND_DONE, records.back().state);
    EXPECT_TRUE(relay.Uploaded(knobs.relayId) == bytes);
    // One data packet per block and one finish: a second sender would double them.
    EXPECT_EQ((300000 + 1356) / 1357 + 1, relay.UploadPacketIds().size());
}

TEST_F(TcpTransferTest, UploadOfAShrinkingFileFails)
{
    FakeRelay relay;
    CString path = m_folder.File(L"shrinks.bin");
    ASSERT_TRUE(WriteFileBytes(path, RandomBytes(20 * 1024 * 1024, 5)));
    CxTCPFileSender sender;
    MessageSink sink;
    HandBackTo(sink, kUploadMessage, &sender);
    sender.Init(sink.Handle(), kUploadMessage);
    ASSERT_EQ(1, sender.Start(INVALID_SOCKET, relay.Address(), relay.Port()));
    ASSERT_GE(sender.SendFile(path, UploadInfo()), 0);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER at;
    at.QuadPart = 1000;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    ASSERT_TRUE(WaitFinal(sink, kUploadMessage, 20000));
    std::vector<FileTransStatus> records = RecordsOf(sink, kUploadMessage);
    EXPECT_EQ(FTS_SEND_FAILED, records.back().state);
    sink.PumpFor(100);
    EXPECT_EQ(1u, FinalCount(RecordsOf(sink, kUploadMessage)));
}

TEST_F(TcpTransferTest, StopMidUploadEndsBothThreadsWithoutRecords)
{
    FakeRelay relay;
    CString path = m_folder.File(L"big.bin");
    ASSERT_TRUE(WriteFileBytes(path, RandomBytes(20 * 1024 * 1024, 8)));
    for (DWORD delay : {0u, 5u, 30u}) {
        auto* sender = new CxTCPFileSender;
        MessageSink sink;
        HandBackTo(sink, kUploadMessage, sender);
        sender->Init(sink.Handle(), kUploadMessage);
        ASSERT_EQ(1, sender->Start(INVALID_SOCKET, relay.Address(), relay.Port()));
        ASSERT_GE(sender->SendFile(path, UploadInfo()), 0);
        Sleep(delay);
        DWORD before = GetTickCount();
        sender->Stop();
        EXPECT_LT(GetTickCount() - before, 1000u);
        sink.PumpFor(0); // what was posted before the stop returned is taken in first
        size_t seen = sink.Count(kUploadMessage);
        sink.PumpFor(100);
        EXPECT_EQ(seen, sink.Count(kUploadMessage));
        EXPECT_EQ(0u, FinalCount(RecordsOf(sink, kUploadMessage)));
        sink.FreeAll();
        delete sender;
    }
}

TEST_F(TcpTransferTest, DownloadsArriveByteIdentical)
{
    FakeRelay relay;
    const size_t sizes[] = {1, 1357, 1358, 200 * 1024, 20 * 1024 * 1024};
    uint64_t id = 900;
    for (size_t size : sizes) {
        ++id;
        std::string bytes = RandomBytes(size, static_cast<unsigned>(size) + 1);
        relay.AddFile(id, bytes);
        std::vector<FileTransStatus> records = Download(relay, id, size);
        ASSERT_FALSE(records.empty()) << size;
        EXPECT_EQ(FTS_RECV_DONE, records.back().state) << size;
        EXPECT_EQ(0, records.back().error);
        EXPECT_EQ(100, records.back().percent);
        EXPECT_EQ(id, records.back().transferId);
        EXPECT_EQ(11u, records.back().sequence);
        EXPECT_EQ(22u, records.back().tag);
        EXPECT_EQ(1u, FinalCount(records));
        EXPECT_TRUE(ReadFileBytes(Final(id)) == bytes) << size;
        CString tf, pf;
        tf.Format(L"%I64u_tf", id);
        pf.Format(L"%I64u_pf", id);
        EXPECT_FALSE(FileExists(m_folder.File(tf)));
        EXPECT_FALSE(FileExists(m_folder.File(pf)));
    }
    std::vector<uint64_t> offsets = relay.DownloadRequestOffsets();
    ASSERT_EQ(5u, offsets.size());
    for (uint64_t offset : offsets) EXPECT_EQ(0u, offset);
}

TEST_F(TcpTransferTest, DownloadWithoutFinishEndsOnTheByteCountAndARepeatedBlockCountsOnce)
{
    for (bool repeat : {false, true}) {
        FakeRelay relay;
        RelayKnobs knobs;
        knobs.sendFinish = false;
        knobs.chunkSize = 1000;
        // Counted twice, the first block would end the download before the last block was written.
        knobs.repeatFirstChunk = repeat;
        relay.SetKnobs(knobs);
        std::string bytes = RandomBytes(repeat ? 5000 : 54321, 77);
        uint64_t id = repeat ? 6 : 5;
        relay.AddFile(id, bytes);
        std::vector<FileTransStatus> records = Download(relay, id, bytes.size());
        ASSERT_FALSE(records.empty()) << repeat;
        EXPECT_EQ(FTS_RECV_DONE, records.back().state) << repeat;
        EXPECT_TRUE(ReadFileBytes(Final(id)) == bytes) << repeat;
    }
}

TEST_F(TcpTransferTest, InterruptedDownloadResumesBeforeTheSavedPosition)
{
    FakeRelay relay;
    std::string bytes = RandomBytes(1000000, 31);
    relay.AddFile(77, bytes);
    RelayKnobs cut;
    cut.closeAfterBytes = 300000;
    relay.SetKnobs(cut);
    std::vector<FileTransStatus> first = Download(relay, 77, bytes.size());
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(FTS_RECV_FAILED, first.back().state);
    EXPECT_EQ(0xFF38, first.back().error);
    EXPECT_FALSE(FileExists(Final(77)));
    std::string saved = ReadFileBytes(m_folder.File(L"77_pf"));
    ASSERT_EQ(8u, saved.size());
    uint64_t position = 0;
    memcpy(&position, saved.data(), 8);
    EXPECT_EQ(300000u, position);
    std::string partial = ReadFileBytes(m_folder.File(L"77_tf"));
    ASSERT_EQ(bytes.size(), partial.size());
    EXPECT_TRUE(partial.substr(0, 300000) == bytes.substr(0, 300000));

    // The second relay holds different bytes before the resume point: they must not reach the file,
    // which proves the first part came from the first download and only the rest was fetched again.
    std::string changed = bytes;
    memset(&changed[0], 'X', 300000 - 4096);
    relay.AddFile(77, changed);
    relay.SetKnobs(RelayKnobs());
    uint64_t startOffset = 0;
    std::vector<FileTransStatus> second = Download(relay, 77, bytes.size(), nullptr, &startOffset);
    EXPECT_EQ(300000u - 4096u, startOffset);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(FTS_RECV_DONE, second.back().state);
    std::vector<uint64_t> offsets = relay.DownloadRequestOffsets();
    ASSERT_EQ(2u, offsets.size());
    EXPECT_EQ(0u, offsets[0]);
    EXPECT_EQ(300000u - 4096u, offsets[1]);
    EXPECT_TRUE(ReadFileBytes(Final(77)) == bytes);
}

TEST_F(TcpTransferTest, ResumeRuleTrustsOnlyAPlausibleSavedPosition)
{
    EXPECT_EQ(0u, CxTCPFileRcver::ResumeOffset(4096));
    struct Case {
        const char* what;
        uint64_t saved;
        size_t dataLength;
        bool writeProgress;
        uint64_t expectedOffset;
    } cases[] = {
        {"small saved position", 3000, 50000, true, 0},
        {"usable saved position", 10000, 50000, true, 5904},
        {"saved position past the size", 90000, 50000, true, 0},
        {"data file shorter than the file", 10000, 20000, true, 0},
        {"no progress file", 0, 50000, false, 0},
    };
    std::string bytes = RandomBytes(50000, 41);
    FakeRelay relay;
    uint64_t id = 500;
    for (const Case& c : cases) {
        ++id;
        relay.AddFile(id, bytes);
        CString tf, pf;
        tf.Format(L"%I64u_tf", id);
        pf.Format(L"%I64u_pf", id);
        // The kept part holds the right bytes, so a resumed file still ends identical.
        std::string kept = bytes.substr(0, c.dataLength);
        ASSERT_TRUE(WriteFileBytes(m_folder.File(tf), kept));
        if (c.writeProgress) {
            ASSERT_TRUE(WriteFileBytes(m_folder.File(pf), std::string(reinterpret_cast<const char*>(&c.saved), 8)));
        }
        uint64_t startOffset = 99;
        std::vector<FileTransStatus> records = Download(relay, id, bytes.size(), nullptr, &startOffset);
        EXPECT_EQ(c.expectedOffset, startOffset) << c.what;
        ASSERT_FALSE(records.empty()) << c.what;
        EXPECT_EQ(FTS_RECV_DONE, records.back().state) << c.what;
        EXPECT_TRUE(ReadFileBytes(Final(id)) == bytes) << c.what;
    }
}

TEST_F(TcpTransferTest, RelayFailuresGiveTheirErrorRecords)
{
    struct Case {
        const char* what;
        RelayKnobs knobs;
        uint16_t error;
        bool refusedFirst;
    } cases[6];
    cases[0] = {"refuse then close", {}, 0xFF38, true};
    cases[0].knobs.refuse = true;
    cases[1] = {"stall", {}, 0xFE0C, false}; // -500
    cases[1].knobs.stallMs = 3000;
    cases[2] = {"length over the buffer", {}, 0xFF38, false};
    cases[2].knobs.badPacket = 1;
    cases[3] = {"block outside the file", {}, 0xFF38, false};
    cases[3].knobs.badPacket = 2;
    cases[4] = {"block length unlike the packet", {}, 0xFF38, false};
    cases[4].knobs.badPacket = 3;
    cases[5] = {"header cut short", {}, 0xFF38, false};
    cases[5].knobs.badPacket = 4;
    std::string bytes = RandomBytes(5000, 2);
    for (const Case& c : cases) {
        FakeRelay relay;
        relay.AddFile(3, bytes);
        relay.SetKnobs(c.knobs);
        std::vector<FileTransStatus> records = Download(relay, 3, bytes.size());
        ASSERT_FALSE(records.empty()) << c.what;
        EXPECT_EQ(FTS_RECV_FAILED, records.back().state) << c.what;
        EXPECT_EQ(c.error, records.back().error) << c.what;
        EXPECT_EQ(1u, FinalCount(records)) << c.what;
        EXPECT_EQ(c.refusedFirst, records.front().state == FTS_REFUSED) << c.what;
        EXPECT_FALSE(FileExists(Final(3))) << c.what;
    }
}

TEST_F(TcpTransferTest, StartFailures)
{
    FakeRelay relay;
    CxTCPFileSender unreachable;
    EXPECT_EQ(-1, unreachable.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), ClosedPort()));
    CxTCPFileSender sender;
    ASSERT_EQ(1, sender.Start(INVALID_SOCKET, relay.Address(), relay.Port()));
    EXPECT_EQ(-1, sender.SendFile(m_folder.File(L"missing.bin"), UploadInfo()));
    sender.Stop();
    int result = 0;
    Download(relay, 4, 0, &result);
    EXPECT_EQ(-5, result);
    CxTCPFileRcver receiver;
    receiver.SetParams(INVALID_SOCKET, inet_addr("127.0.0.1"), ClosedPort(), m_folder.Path());
    EXPECT_EQ(-1, receiver.StartRecv(DownloadInfo(4, 10)));
}

TEST_F(TcpTransferTest, FailedStoreIsReportedNotDone)
{
    FakeRelay relay;
    std::string bytes = RandomBytes(3000, 6);
    relay.AddFile(12, bytes);
    // A folder where the file should go: the move cannot replace it.
    ASSERT_TRUE(CreateDirectoryW(Final(12), nullptr));
    std::vector<FileTransStatus> records = Download(relay, 12, bytes.size());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FTS_RECV_FAILED, records.back().state);
    EXPECT_EQ(0xFF9C, records.back().error); // -100
}

TEST_F(TcpTransferTest, StopMidDownloadKeepsTheResumeFiles)
{
    FakeRelay relay;
    std::string bytes = RandomBytes(20 * 1024 * 1024, 13);
    relay.AddFile(66, bytes);
    for (DWORD delay : {0u, 20u, 60u}) {
        CxTCPFileRcver receiver;
        MessageSink sink;
        HandBackTo(sink, kDownloadMessage, &receiver);
        receiver.Init(sink.Handle(), kDownloadMessage);
        receiver.SetParams(INVALID_SOCKET, relay.Address(), relay.Port(), m_folder.Path());
        ASSERT_EQ(1, receiver.StartRecv(DownloadInfo(66, bytes.size())));
        Sleep(delay);
        receiver.Stop();
        sink.PumpFor(0); // what was posted before the stop returned is taken in first
        size_t seen = sink.Count(kDownloadMessage);
        sink.PumpFor(100);
        EXPECT_EQ(seen, sink.Count(kDownloadMessage));
        if (FileExists(Final(66))) break; // fast enough to finish: nothing to resume
        EXPECT_TRUE(FileExists(m_folder.File(L"66_tf")));
        EXPECT_TRUE(FileExists(m_folder.File(L"66_pf")));
    }
    // Whatever was kept, the next download completes the file exactly.
    std::vector<FileTransStatus> records = Download(relay, 66, bytes.size());
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FTS_RECV_DONE, records.back().state);
    EXPECT_TRUE(ReadFileBytes(Final(66)) == bytes);
}
