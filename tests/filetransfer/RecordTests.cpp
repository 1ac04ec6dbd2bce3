#include "filetransfer/FileTransBase.h"
#include "tests/filetransfer/TransferTestUtil.h"

#include <gtest/gtest.h>

namespace {

// A transfer object that posts on request, to exercise the record rules alone.
class PostingTransfer : public CxFileTransBase {
public:
    void Stop() override {}
    void Progress(uint16_t percent) { PostState(FTS_PROGRESS, percent, 1); }
    void Fail(int32_t error) { PostFailure(FTS_RECV_FAILED, error); }
    void Done() { PostState(FTS_RECV_DONE, 100, 1); }
};

} // namespace

TEST(RecordTest, OnlyOneFinalRecordPerTransferWithTheErrorAsSixteenBits)
{
    PostingTransfer transfer;
    MessageSink sink;
    transfer.Init(sink.Handle(), kDownloadMessage);
    transfer.Progress(10);
    transfer.Fail(-200);
    transfer.Done();
    transfer.Fail(-500);
    transfer.Progress(50);
    sink.PumpFor(50);
    std::vector<FileTransStatus> records = RecordsOf(sink, kDownloadMessage);
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(FTS_RECV_FAILED, records[1].state);
    EXPECT_EQ(0xFF38, records[1].error);
    for (const PostedMessage& m : sink.Received(kDownloadMessage))
        transfer.FreeStatus(reinterpret_cast<FileTransStatus*>(m.lParam));
}

TEST(RecordTest, HandingBackTwiceOrToAnotherObjectChangesNothing)
{
    size_t baseline = CxFileTransBase::OutstandingRecords();
    PostingTransfer a, b;
    MessageSink sink;
    a.Init(sink.Handle(), kUploadMessage);
    a.Progress(1);
    a.Progress(2);
    ASSERT_TRUE(sink.WaitFor(kUploadMessage, 2));
    EXPECT_EQ(baseline + 2, CxFileTransBase::OutstandingRecords());
    auto* first = reinterpret_cast<FileTransStatus*>(sink.Received(kUploadMessage)[0].lParam);
    auto* second = reinterpret_cast<FileTransStatus*>(sink.Received(kUploadMessage)[1].lParam);
    b.FreeStatus(first);
    EXPECT_EQ(baseline + 2, CxFileTransBase::OutstandingRecords());
    EXPECT_FALSE(CxFileTransBase::FreeOrphanStatus(first)); // still a's
    a.FreeStatus(first);
    EXPECT_EQ(baseline + 1, CxFileTransBase::OutstandingRecords());
    a.FreeStatus(first);
    FileTransStatus stranger = {};
    a.FreeStatus(&stranger);
    EXPECT_EQ(baseline + 1, CxFileTransBase::OutstandingRecords());
    a.FreeStatus(second);
    EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
}

TEST(RecordTest, NothingIsPostedOnceTheWindowIsGone)
{
    size_t baseline = CxFileTransBase::OutstandingRecords();
    PostingTransfer transfer;
    auto* sink = new MessageSink;
    transfer.Init(sink->Handle(), kUploadMessage);
    delete sink;
    for (int i = 0; i < 10; ++i) transfer.Progress(static_cast<uint16_t>(i));
    EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
    PostingTransfer noWindow;
    noWindow.Progress(1);
    EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
}

TEST(RecordTest, QueuedRecordsOutliveTheirTransferUntilHandedBack)
{
    size_t baseline = CxFileTransBase::OutstandingRecords();
    MessageSink sink;
    auto* transfer = new PostingTransfer;
    transfer->Init(sink.Handle(), kDownloadMessage);
    transfer->Progress(42);
    transfer->Fail(-100);
    delete transfer; // the two messages are still in the queue
    ASSERT_TRUE(sink.WaitFor(kDownloadMessage, 2));
    std::vector<FileTransStatus> records = RecordsOf(sink, kDownloadMessage);
    EXPECT_EQ(42, records[0].percent);
    EXPECT_EQ(0xFF9C, records[1].error);
    for (const PostedMessage& m : sink.Received(kDownloadMessage))
        EXPECT_TRUE(CxFileTransBase::FreeOrphanStatus(reinterpret_cast<FileTransStatus*>(m.lParam)));
    EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
}

TEST(RecordTest, OrphansOfADestroyedWindowAreReclaimed)
{
    size_t baseline = CxFileTransBase::OutstandingRecords();
    {
        auto* sink = new MessageSink;
        PostingTransfer transfer;
        transfer.Init(sink->Handle(), kDownloadMessage);
        transfer.Progress(1);
        DestroyWindow(sink->Handle()); // dies with the record unread
        sink->SetFreer(kDownloadMessage, nullptr);
        delete sink;
    }
    // The next post anywhere reclaims it.
    MessageSink other;
    PostingTransfer next;
    next.Init(other.Handle(), kDownloadMessage);
    next.Progress(2);
    EXPECT_EQ(baseline + 1, CxFileTransBase::OutstandingRecords());
    ASSERT_TRUE(other.WaitFor(kDownloadMessage));
    next.FreeStatus(reinterpret_cast<FileTransStatus*>(other.Received(kDownloadMessage)[0].lParam));
    EXPECT_EQ(baseline, CxFileTransBase::OutstandingRecords());
}

TEST(RecordTest, PercentAndSpeedRules)
{
    struct Probe : PostingTransfer {
        using CxFileTransBase::Percent;
        using CxFileTransBase::Speed;
    };
    EXPECT_EQ(0, Probe::Percent(0, 1000));
    EXPECT_EQ(99, Probe::Percent(999, 1000));
    EXPECT_EQ(100, Probe::Percent(1000, 1000));
    EXPECT_EQ(33, Probe::Percent(1, 3));
    EXPECT_EQ(200, Probe::Speed(1000, 0));
    EXPECT_EQ(10, Probe::Speed(1000, 100));
    EXPECT_EQ(static_cast<uint16_t>(100000000 / 10), Probe::Speed(100000000, 10)); // cut to 16 bits
}
