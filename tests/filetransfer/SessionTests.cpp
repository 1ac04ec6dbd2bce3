#include "core/Folders.h"
#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "filetransfer/FileTransSession.h"
#include "filetransfer/TcpFileRcver.h"
#include "filetransfer/TcpFileSender.h"
#include "filetransfer/UdpFileTrans.h"
#include "tests/fakes/relay/FakeRelay.h"
#include "tests/filetransfer/TransferTestUtil.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

void FreeAsOrphan(WPARAM, LPARAM l)
{
    CxFileTransBase::FreeOrphanStatus(reinterpret_cast<FileTransStatus*>(l));
}

// The window's side: every record goes back through the session that posted it. Declared after the
// session, the guard hands back what is left before the session goes.
class HandBack {
public:
    HandBack(MessageSink& sink, UINT message, CFileTransSession* session) : m_sink(sink), m_message(message)
    {
        sink.SetFreer(message, [session](WPARAM, LPARAM l) { session->FreeStatus(reinterpret_cast<FileTransStatus*>(l)); });
    }
    ~HandBack()
    {
        m_sink.FreeAll();
        m_sink.SetFreer(m_message, &FreeAsOrphan);
    }

private:
    MessageSink& m_sink;
    UINT m_message;
};

class SessionTest : public ShortTimings {
protected:
    void SetUp() override
    {
        ShortTimings::SetUp();
        SessionContext* context = SessionContext::Instance();
        m_savedServer = context->fileServer;
        context->fileServer.address = m_relay.Address();
        context->fileServer.port = m_relay.Port();
        context->userId = 0x01020304;
        context->room.roomId = 0x0A0B0C0D;
        m_baseline = CxFileTransBase::OutstandingRecords();
        m_sink.SetFreer(kUploadMessage, &FreeAsOrphan);
        m_sink.SetFreer(kDownloadMessage, &FreeAsOrphan);
    }
    void TearDown() override
    {
        SessionContext::Instance()->fileServer = m_savedServer;
        ShortTimings::TearDown();
    }

    FileTransRequest UploadRequest(const CString& path, const CString& name, size_t size)
    {
        FileTransRequest request;
        request.notifyWindow = m_sink.Handle();
        request.notifyMessage = kUploadMessage;
        request.fileSize = size;
        request.sequence = 71;
        request.tag = 72;
        request.fileName = name;
        request.localPath = path;
        request.md5 = L"0123456789abcdef0123456789abcdef";
        return request;
    }

    FileTransRequest DownloadRequest(uint64_t id, const CString& name, size_t size, const CString& folder)
    {
        FileTransRequest request;
        request.notifyWindow = m_sink.Handle();
        request.notifyMessage = kDownloadMessage;
        request.fileSize = size;
        request.transferId = id;
        request.sequence = 81;
        request.tag = 82;
        request.fileName = name;
        request.saveFolder = folder;
        return request;
    }

    FakeRelay m_relay;
    ServerNode m_savedServer{};
    size_t m_baseline = 0;
    TempFolder m_folder{L"ses"};
    MessageSink m_sink;
};

} // namespace

TEST_F(SessionTest, UploadFillsTheInfoFromTheRequestAndTheSession)
{
    std::string bytes = RandomBytes(100000, 91);
    CString path = m_folder.File(L"slides.lvl");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    CString name;
    for (int i = 0; i < 35; ++i) name += L'\x0416'; // 70 bytes of UTF-8: cut to 62 on a character
    {
        CFileTransSession session;
        HandBack handBackUp(m_sink, kUploadMessage, &session);
        ASSERT_TRUE(session.StartSend(UploadRequest(path, name, bytes.size())));
        ASSERT_TRUE(WaitFinal(m_sink, kUploadMessage, 20000));
        std::vector<FileTransStatus> records = RecordsOf(m_sink, kUploadMessage);
        EXPECT_EQ(FTS_SEND_DONE, records.back().state);
        EXPECT_EQ(71u, records.back().sequence);
        EXPECT_EQ(72u, records.back().tag);
        EXPECT_EQ(RelayKnobs().relayId, records.back().transferId);
        // The window hands every record back; none stays outstanding.
        m_sink.FreeAll();
        EXPECT_EQ(m_baseline, CxFileTransBase::OutstandingRecords());
    }
    ASSERT_EQ(1u, m_relay.Offers().size());
    FileTransInfo info = m_relay.Offers()[0];
    EXPECT_EQ(0u, info.transferId);
    EXPECT_EQ(Utf16ToUtf8(name).substr(0, 62), info.fileName);
    EXPECT_EQ(bytes.size(), info.fileSize);
    EXPECT_EQ(3, info.kind);
    EXPECT_EQ(6, info.secondCode);
    EXPECT_STREQ("0123456789abcdef0123456789abcdef", info.md5);
    EXPECT_EQ(0x01020304u, info.userId);
    EXPECT_EQ(0x0A0B0C0Du, info.roomId);
    EXPECT_EQ(71u, info.sequence);
    EXPECT_EQ(72u, info.tag);
    EXPECT_TRUE(m_relay.Uploaded(RelayKnobs().relayId) == bytes);
}

TEST_F(SessionTest, StartFailuresPostNothing)
{
    SessionContext::Instance()->fileServer.port = 1; // nothing listens there
    CString path = m_folder.File(L"a.bin");
    ASSERT_TRUE(WriteFileBytes(path, "abc"));
    {
        CFileTransSession session;
        EXPECT_FALSE(session.StartSend(UploadRequest(path, L"a.bin", 3)));
        EXPECT_FALSE(session.StartRecv(DownloadRequest(5, L"b.bin", 3, m_folder.Path())));
    }
    SessionContext::Instance()->fileServer.port = m_relay.Port();
    CFileTransSession session;
    EXPECT_FALSE(session.StartSend(UploadRequest(m_folder.File(L"missing.bin"), L"m.bin", 3)));
    EXPECT_FALSE(session.StartRecv(DownloadRequest(5, L"b.bin", 0, m_folder.Path()))); // empty file: -5
    // Names that would leave the folder.
    for (const wchar_t* name : {L"..\\..\\win.ini", L"a/b", L"C:\\x", L"dir\\x", L"x\x0001", L"..", L""}) {
        EXPECT_FALSE(session.StartRecv(DownloadRequest(57, name, 10, m_folder.Path()))) << name;
    }
    m_sink.PumpFor(100);
    EXPECT_EQ(0u, m_sink.All().size());
    EXPECT_TRUE(m_relay.DownloadRequestIds().empty());
}

TEST_F(SessionTest, DownloadStoresUnderTheIdInItsFolderOrInDownloads)
{
    std::string bytes = RandomBytes(77777, 92);
    m_relay.AddFile(4321, bytes);
    m_relay.AddFile(55, bytes.substr(0, 5000));
    CFileTransSession session;
    HandBack handBackDown(m_sink, kDownloadMessage, &session);
    ASSERT_TRUE(session.StartRecv(DownloadRequest(4321, L"doc.lvl", bytes.size(), m_folder.Path())));
    ASSERT_TRUE(WaitFinal(m_sink, kDownloadMessage, 20000));
    std::vector<FileTransStatus> records = RecordsOf(m_sink, kDownloadMessage);
    EXPECT_EQ(FTS_RECV_DONE, records.back().state);
    EXPECT_EQ(81u, records.back().sequence);
    EXPECT_EQ(m_folder.File(L"4321"), session.GetPath(4321));
    EXPECT_TRUE(session.GetPath(4322).IsEmpty());
    EXPECT_TRUE(ReadFileBytes(session.GetPath(4321)) == bytes);
    m_sink.FreeAll();
    EXPECT_EQ(m_baseline, CxFileTransBase::OutstandingRecords());

    // A save folder that does not exist falls back to the data folder's downloads.
    ASSERT_TRUE(session.StartRecv(DownloadRequest(55, L"x.lvl", 5000, m_folder.File(L"nowhere\\"))));
    ASSERT_TRUE(WaitFinal(m_sink, kDownloadMessage, 20000));
    EXPECT_EQ(GetAppDataFolder() + L"Downloads\\", session.DefaultFolder());
    EXPECT_EQ(GetAppDataFolder() + L"Downloads\\55", session.GetPath(55));
    EXPECT_TRUE(ReadFileBytes(session.GetPath(55)) == bytes.substr(0, 5000));
    DeleteFileW(session.GetPath(55));
}

TEST_F(SessionTest, AlreadyDownloadedFileIsAnsweredAtOnce)
{
    ASSERT_TRUE(WriteFileBytes(m_folder.File(L"known.lvl"), "kept"));
    CFileTransSession session;
    HandBack handBackDown(m_sink, kDownloadMessage, &session);
    ASSERT_TRUE(session.StartRecv(DownloadRequest(99, L"known.lvl", 4, m_folder.Path())));
    ASSERT_TRUE(m_sink.WaitFor(kDownloadMessage));
    FileTransStatus record = RecordsOf(m_sink, kDownloadMessage)[0];
    EXPECT_EQ(99u, record.transferId);
    EXPECT_EQ(FTS_RECV_DONE, record.state);
    EXPECT_EQ(100, record.percent);
    EXPECT_EQ(81u, record.sequence);
    EXPECT_EQ(82u, record.tag);
    EXPECT_EQ(m_folder.File(L"known.lvl"), session.GetPath(99));
    m_sink.PumpFor(100);
    EXPECT_TRUE(m_relay.DownloadRequestIds().empty());
    m_sink.FreeAll();
    EXPECT_EQ(m_baseline, CxFileTransBase::OutstandingRecords());
}

TEST_F(SessionTest, UnmakeableDefaultFolderFailsInsteadOfUsingTheRoot)
{
    CString saved = GetAppDataFolder();
    ASSERT_TRUE(WriteFileBytes(m_folder.File(L"plainfile"), "x"));
    // A data folder below a plain file cannot hold "Downloads\".
    SetAppDataFolderOverride(m_folder.File(L"plainfile\\data\\"));
    CFileTransSession session;
    bool started = session.StartRecv(DownloadRequest(56, L"x.lvl", 10, L""));
    SetAppDataFolderOverride(saved);
    EXPECT_FALSE(started);
    EXPECT_TRUE(session.DefaultFolder().IsEmpty());
}

TEST_F(SessionTest, RecordsQueuedWhenTheSessionDiesStayValid)
{
    std::string bytes = RandomBytes(3000, 94);
    m_relay.AddFile(58, bytes);
    auto* session = new CFileTransSession;
    ASSERT_TRUE(session->StartRecv(DownloadRequest(58, L"q.lvl", bytes.size(), m_folder.Path())));
    // The relay's side ends once the receiver closed, which it does after its last post: the records
    // are all queued, unread, when the session goes.
    ASSERT_TRUE(m_relay.WaitConnectionsEnded(1, 20000));
    delete session;
    CFileTransSession later;
    HandBack handBackDown(m_sink, kDownloadMessage, &later);
    m_sink.PumpFor(100);
    std::vector<FileTransStatus> records = RecordsOf(m_sink, kDownloadMessage);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(FTS_RECV_DONE, records.back().state);
    EXPECT_EQ(58u, records.back().transferId);
    EXPECT_EQ(m_baseline + records.size(), CxFileTransBase::OutstandingRecords());
    m_sink.FreeAll();
    EXPECT_EQ(m_baseline, CxFileTransBase::OutstandingRecords());
}

TEST_F(SessionTest, StopEndsTheTransferAndNothingFollows)
{
    std::string bytes = RandomBytes(20 * 1024 * 1024, 95);
    m_relay.AddFile(59, bytes);
    CString path = m_folder.File(L"big.bin");
    ASSERT_TRUE(WriteFileBytes(path, bytes));
    CFileTransSession session;
    HandBack handBackDown(m_sink, kDownloadMessage, &session);
    HandBack handBackUp(m_sink, kUploadMessage, &session);
    ASSERT_TRUE(session.StartRecv(DownloadRequest(59, L"big.bin", bytes.size(), m_folder.File(L"in\\"))));
    ASSERT_TRUE(session.StartSend(UploadRequest(path, L"big.bin", bytes.size())));
    Sleep(30);
    session.Stop();
    m_sink.PumpFor(50);
    size_t seen = m_sink.All().size();
    m_sink.PumpFor(200);
    EXPECT_EQ(seen, m_sink.All().size());
    m_sink.FreeAll();
    EXPECT_EQ(m_baseline, CxFileTransBase::OutstandingRecords());
}

TEST_F(SessionTest, FacadesPickTheTransport)
{
    EnsureWinsock();
    SOCKET udp = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    CString path = m_folder.File(L"p.bin");
    ASSERT_TRUE(WriteFileBytes(path, "peer"));
    FileTransInfo info = {};
    {
        CxFileSendSession send;
        send.SetStun(udp, inet_addr("127.0.0.1"), 9);
        ASSERT_GE(send.StartSend(path, info), 0);
        EXPECT_NE(nullptr, dynamic_cast<CxUDPP2PFileTrans*>(send.Object()));
        send.Stop();
        EXPECT_EQ(nullptr, send.Object());
    }
    {
        CxFileSendSession send;
        send.SetStun(0, m_relay.Address(), m_relay.Port()); // 0 means no socket
        info.kind = 0;
        ASSERT_GE(send.StartSend(path, info), 0);
        EXPECT_NE(nullptr, dynamic_cast<CxTCPFileSender*>(send.Object()));
    }
    {
        SOCKET udp2 = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        CxFileSendSession send;
        send.SetStun(udp2, m_relay.Address(), m_relay.Port());
        info.kind = 3; // always through the relay
        ASSERT_GE(send.StartSend(path, info), 0);
        EXPECT_NE(nullptr, dynamic_cast<CxTCPFileSender*>(send.Object()));
        closesocket(udp2);
    }
    {
        CxFileSendSession send;
        send.SetStun(INVALID_SOCKET, m_relay.Address(), m_relay.Port());
        EXPECT_EQ(-3, send.StartSend(m_folder.File(L"missing"), info));
        EXPECT_EQ(nullptr, send.Object());
    }
    {
        SOCKET udp3 = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        CxFileRecvSession recv;
        recv.SetPeerAddr(udp3, inet_addr("127.0.0.1"), 9, m_folder.Path());
        FileTransInfo peerInfo = {};
        peerInfo.fileSize = 10;
        strcpy(peerInfo.fileName, "peer.bin");
        ASSERT_GE(recv.StartRecv(peerInfo), 0);
        EXPECT_NE(nullptr, dynamic_cast<CxUDPP2PFileRcver*>(recv.Object()));
        recv.Stop();
        CxFileRecvSession tcp;
        tcp.SetPeerAddr(INVALID_SOCKET, inet_addr("127.0.0.1"), 1, m_folder.Path());
        EXPECT_EQ(-3, tcp.StartRecv(peerInfo));
        EXPECT_EQ(nullptr, tcp.Object());
    }
    m_sink.PumpFor(20);
    m_sink.FreeAll();
}
