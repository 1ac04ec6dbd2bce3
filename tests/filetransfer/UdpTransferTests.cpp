#include "core/Folders.h"
#include "filetransfer/UdpFileTrans.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/filetransfer/TransferTestUtil.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <cstring>

using namespace FileTransWire;

namespace {

// A UDP socket on 127.0.0.1 with a known port.
SOCKET BoundUdp(uint16_t* port)
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at);
    int length = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &length);
    *port = ntohs(at.sin_port);
    return s;
}

void SendRaw(SOCKET s, uint16_t port, const std::string& bytes)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    to.sin_port = htons(port);
    sendto(s, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

// Receives one datagram within ms; empty on time-out.
std::string RecvRaw(SOCKET s, DWORD ms, uint16_t* fromPort = nullptr)
{
    if (CxTCPBase::WaitReadable(s, ms) <= 0) return std::string();
    std::string bytes(65536, '\0');
    sockaddr_in from = {};
    int length = sizeof from;
    int n = recvfrom(s, &bytes[0], static_cast<int>(bytes.size()), 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (n <= 0) return std::string();
    if (fromPort) *fromPort = ntohs(from.sin_port);
    bytes.resize(static_cast<size_t>(n));
    return bytes;
}

FileTransInfo PeerInfo(const char* name, uint64_t size)
{
    FileTransInfo info = {};
    info.transferId = 31;
    info.fileSize = size;
    info.sequence = 8;
    info.tag = 9;
    strcpy(info.fileName, name);
    return info;
}

class UdpTransferTest : public ShortTimings {
protected:
    TempFolder m_folder{L"udp"};
    TempFolder m_out{L"udpout"};
};

} // namespace

TEST(UdpPacingTest, LossReportsChangeThePace)
{
    struct Case {
        int32_t period, block;
        bool isPrivate;
        uint32_t loss;
        UdpPacing expected;
    } cases[] = {
        {5, 49152, true, 20, {6, 49152, false}},     // 5 * 100 / 80 = 6, not above 10: no restart
        {20, 1400, false, 3, {15, 1400, true}},
        {15, 1400, false, 3, {10, 1400, true}},
        {10, 1400, false, 3, {10, 1400, false}},     // no lower than 10
        {20, 1400, false, 7, {20, 1400, false}},     // 5..9 changes nothing
        {20, 1400, false, 50, {45, 1400, true}},     // 40 + 5
        {10, 49152, true, 50, {30, 24576, true}},    // 20 + 10, block halved
        {10, 6000, true, 50, {30, 4096, true}},      // not below 4096
        {10, 3000, true, 50, {30, 3000, true}},      // and never larger than it was
        {5, 49152, true, 100, {510, 24576, true}},   // all lost: paced as 99 %, no division by zero
        {5, 49152, true, 2, {5, 49152, false}},      // private networks never speed up
    };
    for (const Case& c : cases) {
        UdpPacing got = ApplyLossReport(c.period, c.block, c.isPrivate, c.loss);
        EXPECT_EQ(c.expected.period, got.period) << c.period << " " << c.loss;
        EXPECT_EQ(c.expected.blockSize, got.blockSize) << c.period << " " << c.loss;
        EXPECT_EQ(c.expected.restart, got.restart) << c.period << " " << c.loss;
    }
}

TEST(UdpPacingTest, LossPercentNeverUnderflows)
{
    EXPECT_EQ(0, LossPercent(0, 0));
    EXPECT_EQ(50, LossPercent(50, 100));
    EXPECT_EQ(0, LossPercent(100, 100));
    EXPECT_EQ(0, LossPercent(150, 100)); // resends counted twice
    EXPECT_EQ(100, LossPercent(0, 100));
}

TEST_F(UdpTransferTest, FiveMegabytesThroughALossyLinkArriveIdentical)
{
    FileTransTimings::Defaults().udpLoopbackIsPrivate = true;
    std::string bytes = RandomBytes(5 * 1024 * 1024, 55);
    CString source = m_folder.File(L"lecture.mp4");
    ASSERT_TRUE(WriteFileBytes(source, bytes));

    uint16_t receiverPort = 0;
    SOCKET receiverSocket = BoundUdp(&receiverPort);
    LossyKnobs knobs;
    knobs.dropEvery = 7;
    knobs.reorderEvery = 5;
    knobs.duplicateEvery = 11;
    knobs.dropReturn = true;
    LossyUdpProxy proxy(receiverPort, knobs);

    CxUDPP2PFileRcver receiver;
    CxUDPP2PFileTrans sender;
    MessageSink sink;
    HandBackTo(sink, kDownloadMessage, &receiver);
    HandBackTo(sink, kUploadMessage, &sender);
    receiver.Init(sink.Handle(), kDownloadMessage);
    sender.Init(sink.Handle(), kUploadMessage);
    ASSERT_EQ(1, receiver.SetParams(receiverSocket, inet_addr("127.0.0.1"), proxy.ReceiverSidePort(), m_out.Path()));
    ASSERT_EQ(1, receiver.StartRecv(PeerInfo("lecture.mp4", bytes.size())));
    ASSERT_EQ(1, sender.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), proxy.Port()));
    FileTransInfo info = {};
    info.transferId = 31;
    ASSERT_GE(sender.SendFile(source, info), 0);

    ASSERT_TRUE(PumpUntil([&] {
        return FinalCount(RecordsOf(sink, kUploadMessage)) > 0 && FinalCount(RecordsOf(sink, kDownloadMessage)) > 0;
    }, 60000));
    sink.PumpFor(100);
    std::vector<FileTransStatus> sent = RecordsOf(sink, kUploadMessage);
    std::vector<FileTransStatus> received = RecordsOf(sink, kDownloadMessage);
    EXPECT_EQ(FTS_SEND_DONE, sent.back().state) << sent.back().error;
    EXPECT_EQ(FTS_RECV_DONE, received.back().state);
    EXPECT_EQ(1u, FinalCount(sent));
    EXPECT_EQ(1u, FinalCount(received));
    EXPECT_EQ(49152, sender.BlockSize());
    EXPECT_GT(proxy.Dropped(), 10u);
    receiver.Stop();
    sender.Stop();
    EXPECT_TRUE(ReadFileBytes(m_out.File(L"lecture.mp4")) == bytes);
    EXPECT_FALSE(FileExists(receiver.DataPath()));
    // Progress from the receiver never claims the whole file by counting.
    for (const FileTransStatus& s : received) {
        if (s.state == FTS_PROGRESS) {
            EXPECT_LE(s.percent, 98);
        }
    }
}

// A hand-driven receiver: checks every datagram the sender makes against the layouts.
TEST_F(UdpTransferTest, SenderSpeaksTheProtocolToAHandDrivenPeer)
{
    FileTransTimings::Defaults().udpPublicPeriodMs = 2;
    std::string bytes = RandomBytes(5000, 57);
    CString source = m_folder.File(L"five.bin");
    ASSERT_TRUE(WriteFileBytes(source, bytes));
    uint16_t peerPort = 0, otherPort = 0;
    SOCKET peer = BoundUdp(&peerPort);
    SOCKET other = BoundUdp(&otherPort);
    CxUDPP2PFileTrans sender;
    MessageSink sink;
    HandBackTo(sink, kUploadMessage, &sender);
    sender.Init(sink.Handle(), kUploadMessage);
    ASSERT_EQ(1, sender.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), peerPort));
    FileTransInfo info = {};
    info.transferId = 4242;
    ASSERT_GE(sender.SendFile(source, info), 0);
    uint16_t senderPort = 0;
    std::string offer = RecvRaw(peer, 2000, &senderPort);
    ASSERT_EQ(11u + 147u, offer.size());
    EXPECT_EQ(FTM_OFFER, offer[8]);
    EXPECT_STREQ("five.bin", offer.data() + 11 + 16 + 8);
    SendRaw(peer, senderPort, Request(1, 0));
    Sleep(20);
    SendRaw(other, senderPort, Request(1, 0)); // a second request from elsewhere is ignored
    // Junk of every kind must be dropped without harm.
    SendRaw(peer, senderPort, std::string("\x01\x02", 2));
    SendRaw(peer, senderPort, Empty(1, FTM_ACK));
    SendRaw(peer, senderPort, Ack(1, {0, 3}) + "x");
    SendRaw(peer, senderPort, Empty(1, FTM_LOSS));
    SendRaw(peer, senderPort, Loss(1, 0xFFFF));
    SendRaw(peer, senderPort, Loss(1, 100));
    SendRaw(peer, senderPort, Empty(1, FTM_STATUS));
    std::map<uint64_t, std::string> blocks;
    DWORD start = GetTickCount();
    while (blocks.size() < 4 && GetTickCount() - start < 5000) {
        std::string d = RecvRaw(peer, 500);
        if (d.size() < 11 || d[8] != FTM_DATA) continue;
        FileTransHeader header;
        ParseHeader(d.data(), d.size(), &header);
        DataView view;
        ASSERT_TRUE(ParseUdpData(header, d.data() + 11, d.size() - 11, bytes.size(), &view));
        EXPECT_EQ(4242u, header.transferId);
        EXPECT_EQ(view.n, header.length); // the block is not counted in a UDP data length
        blocks[view.offset] = std::string(reinterpret_cast<const char*>(view.bytes), view.n);
        // Acknowledge by echo, as the receiver does.
        std::string ack = d.substr(0, 27);
        ack[8] = FTM_ACK;
        ack[9] = 16;
        ack[10] = 0;
        SendRaw(peer, senderPort, ack);
    }
    ASSERT_EQ(4u, blocks.size());
    std::string joined;
    for (auto& b : blocks) joined += b.second;
    EXPECT_TRUE(joined == bytes);
    EXPECT_EQ(1400u, blocks[0].size()); // a public peer gets small blocks
    EXPECT_EQ(1400, sender.BlockSize());
    // No data went to the second requester.
    for (std::string d = RecvRaw(other, 20); !d.empty(); d = RecvRaw(other, 20)) EXPECT_NE(FTM_DATA, d[8]);
    // With everything acknowledged the sender finishes; done ends it.
    std::string finish;
    for (int i = 0; i < 50 && finish.empty(); ++i) {
        std::string d = RecvRaw(peer, 100);
        if (d.size() == 11 && d[8] == FTM_FINISH) finish = d;
    }
    ASSERT_EQ(11u, finish.size());
    SendRaw(peer, senderPort, Empty(1, FTM_DONE));
    ASSERT_TRUE(WaitFinal(sink, kUploadMessage, 3000));
    EXPECT_EQ(FTS_SEND_DONE, RecordsOf(sink, kUploadMessage).back().state);
    EXPECT_EQ(4242u, RecordsOf(sink, kUploadMessage).back().transferId);
    sender.Stop();
    closesocket(peer);
    closesocket(other);
}

TEST_F(UdpTransferTest, ReceiverDropsBadDatagramsAndEchoesGoodOnes)
{
    uint16_t receiverPort = 0, peerPort = 0;
    SOCKET receiverSocket = BoundUdp(&receiverPort);
    SOCKET peer = BoundUdp(&peerPort);
    CxUDPP2PFileRcver receiver;
    MessageSink sink;
    HandBackTo(sink, kDownloadMessage, &receiver);
    receiver.Init(sink.Handle(), kDownloadMessage);
    ASSERT_EQ(1, receiver.SetParams(receiverSocket, inet_addr("127.0.0.1"), peerPort, m_out.Path()));
    ASSERT_EQ(1, receiver.StartRecv(PeerInfo("hand.bin", 100)));
    // Two requests at start, each {0, all bits set}.
    for (int i = 0; i < 2; ++i) {
        std::string r = RecvRaw(peer, 2000);
        ASSERT_EQ(27u, r.size());
        EXPECT_EQ(FTM_REQUEST, r[8]);
        EXPECT_EQ(std::string(8, '\xFF'), r.substr(19, 8));
    }
    std::string payload(60, 'p');
    std::string bad[] = {
        std::string("\x03", 1),
        UdpData(1, 90, payload.data(), 20),          // past the end of the 100-byte file
        UdpData(1, 0, payload.data(), 60).substr(0, 50), // shorter than its block says
        UdpData(1, ~0ull - 5, payload.data(), 10),
    };
    for (const std::string& b : bad) SendRaw(peer, receiverPort, b);
    std::string good = UdpData(1, 0, payload.data(), 60);
    SendRaw(peer, receiverPort, good);
    std::string ack;
    for (int i = 0; i < 10 && ack.empty(); ++i) {
        std::string d = RecvRaw(peer, 200);
        if (d.size() == 27 && d[8] == FTM_ACK) ack = d;
    }
    ASSERT_EQ(27u, ack.size());
    EXPECT_EQ(good.substr(0, 8), ack.substr(0, 8));
    EXPECT_EQ(std::string("\x0a\x10\x00", 3), ack.substr(8, 3));
    EXPECT_EQ(good.substr(11, 16), ack.substr(11, 16));
    SendRaw(peer, receiverPort, UdpData(1, 60, payload.data(), 40));
    SendRaw(peer, receiverPort, Empty(1, FTM_FINISH));
    ASSERT_TRUE(WaitFinal(sink, kDownloadMessage, 3000));
    int dones = 0;
    for (int i = 0; i < 20; ++i) {
        std::string d = RecvRaw(peer, 50);
        if (d.size() == 11 && d[8] == FTM_DONE) ++dones;
    }
    EXPECT_EQ(2, dones);
    receiver.Stop();
    EXPECT_TRUE(ReadFileBytes(m_out.File(L"hand.bin")) == payload + payload.substr(0, 40));
    closesocket(peer);
}

TEST_F(UdpTransferTest, SilenceFailsEachSideOnce)
{
    uint16_t receiverPort = 0, peerPort = 0;
    SOCKET receiverSocket = BoundUdp(&receiverPort);
    SOCKET peer = BoundUdp(&peerPort);
    {
        CxUDPP2PFileRcver receiver;
        MessageSink sink;
        HandBackTo(sink, kDownloadMessage, &receiver);
        receiver.Init(sink.Handle(), kDownloadMessage);
        ASSERT_EQ(1, receiver.SetParams(receiverSocket, inet_addr("127.0.0.1"), peerPort, m_out.Path()));
        ASSERT_EQ(1, receiver.StartRecv(PeerInfo("quiet.bin", 1000)));
        ASSERT_TRUE(WaitFinal(sink, kDownloadMessage, 8000));
        sink.PumpFor(300);
        std::vector<FileTransStatus> records = RecordsOf(sink, kDownloadMessage);
        EXPECT_EQ(1u, records.size());
        EXPECT_EQ(FTS_RECV_FAILED, records.back().state);
        EXPECT_EQ(0xFF9C, records.back().error);
    }
    {
        std::string bytes = RandomBytes(100000, 58);
        CString source = m_folder.File(L"quiet.bin");
        ASSERT_TRUE(WriteFileBytes(source, bytes));
        // A fresh peer: the old one still holds the receiver's requests.
        closesocket(peer);
        peer = BoundUdp(&peerPort);
        CxUDPP2PFileTrans sender;
        MessageSink sink;
        HandBackTo(sink, kUploadMessage, &sender);
        sender.Init(sink.Handle(), kUploadMessage);
        ASSERT_EQ(1, sender.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), peerPort));
        ASSERT_GE(sender.SendFile(source, FileTransInfo()), 0);
        uint16_t senderPort = 0;
        ASSERT_FALSE(RecvRaw(peer, 2000, &senderPort).empty());
        SendRaw(peer, senderPort, Request(1, 0)); // then silence
        ASSERT_TRUE(WaitFinal(sink, kUploadMessage, 8000));
        sink.PumpFor(300);
        std::vector<FileTransStatus> records = RecordsOf(sink, kUploadMessage);
        EXPECT_EQ(1u, FinalCount(records));
        EXPECT_EQ(FTS_SEND_FAILED, records.back().state);
        EXPECT_EQ(0xFF9C, records.back().error);
        sender.Stop();
    }
    closesocket(peer);
}

TEST_F(UdpTransferTest, StartRefusals)
{
    CxUDPP2PFileRcver receiver;
    receiver.SetParams(INVALID_SOCKET, inet_addr("127.0.0.1"), 9, m_out.Path());
    EXPECT_EQ(-5, receiver.StartRecv(PeerInfo("x.bin", 0)));
    CxUDPP2PFileRcver sneaky;
    sneaky.SetParams(INVALID_SOCKET, inet_addr("127.0.0.1"), 9, m_out.Path());
    EXPECT_EQ(-1, sneaky.StartRecv(PeerInfo("..\\..\\evil.dll", 10)));
    EXPECT_EQ(-1, sneaky.StartRecv(PeerInfo("C:evil.dll", 10)));
    CxUDPP2PFileTrans sender;
    EXPECT_EQ(-1, sender.Start(INVALID_SOCKET, 0, 9));
    CxUDPP2PFileTrans noPort;
    EXPECT_EQ(-1, noPort.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), 0));
    CxUDPP2PFileTrans noFile;
    ASSERT_EQ(1, noFile.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), 9));
    EXPECT_EQ(-1, noFile.SendFile(m_folder.File(L"missing"), FileTransInfo()));
    ASSERT_TRUE(WriteFileBytes(m_folder.File(L"empty"), ""));
    CxUDPP2PFileTrans empty;
    ASSERT_EQ(1, empty.Start(INVALID_SOCKET, inet_addr("127.0.0.1"), 9));
    EXPECT_EQ(-5, empty.SendFile(m_folder.File(L"empty"), FileTransInfo()));
}

TEST_F(UdpTransferTest, StopMidTransferWhileTicking)
{
    FileTransTimings::Defaults().udpLoopbackIsPrivate = true;
    FileTransTimings::Defaults().udpStatusIntervalMs = 20; // records are queued when the objects go
    bool queuedAtDelete = false;
    std::string bytes = RandomBytes(8 * 1024 * 1024, 59);
    CString source = m_folder.File(L"long.bin");
    ASSERT_TRUE(WriteFileBytes(source, bytes));
    for (DWORD delay : {0u, 30u, 150u}) {
        const size_t baseline = CxFileTransBase::OutstandingRecords();
        uint16_t receiverPort = 0;
        SOCKET receiverSocket = BoundUdp(&receiverPort);
        auto* receiver = new CxUDPP2PFileRcver;
        auto* sender = new CxUDPP2PFileTrans;
        MessageSink sink;
        receiver->Init(sink.Handle(), kDownloadMessage);
        sender->Init(sink.Handle(), kUploadMessage);
        sink.SetFreer(kDownloadMessage, [](WPARAM, LPARAM l) {
            EXPECT_TRUE(CxFileTransBase::FreeOrphanStatus(reinterpret_cast<FileTransStatus*>(l)));
        });
        sink.SetFreer(kUploadMessage, [](WPARAM, LPARAM l) {
            EXPECT_TRUE(CxFileTransBase::FreeOrphanStatus(reinterpret_cast<FileTransStatus*>(l)));
        });
        ASSERT_EQ(1, sender->Start(INVALID_SOCKET, inet_addr("127.0.0.1"), receiverPort));
        ASSERT_GE(sender->SendFile(source, FileTransInfo()), 0);
        uint16_t senderPort = 0;
        ASSERT_FALSE(RecvRaw(receiverSocket, 2000, &senderPort).empty());
        ASSERT_EQ(1, receiver->SetParams(receiverSocket, inet_addr("127.0.0.1"), senderPort, m_out.Path()));
        ASSERT_EQ(1, receiver->StartRecv(PeerInfo("long.bin", bytes.size())));
        Sleep(delay);
        DWORD before = GetTickCount();
        sender->Stop();
        receiver->Stop();
        EXPECT_LT(GetTickCount() - before, 1500u);
        queuedAtDelete = queuedAtDelete || CxFileTransBase::OutstandingRecords() > baseline;
        delete sender;
        delete receiver;
        sink.PumpFor(50);
        sink.FreeAll();
        // Records that were queued survive their objects and are handed back as orphans: none is left.
        EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
    }
    EXPECT_TRUE(queuedAtDelete);
}
