// The command channel against a loopback registration server: fragments on the wire, reassembly,
// loss reports and stops in the middle of a packet.
#include "tests/protocol/ProtocolTestUtil.h"

#include "protocol/WireFormat.h"
#include "tests/protocol/FailingAllocations.h"
#include <atomic>
#include <thread>

using namespace fakeroom;

namespace {

class CmdChannel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(reg.Ok());
        channel.SetServer(RegNode(reg));
        ASSERT_TRUE(channel.Connect());
        ASSERT_TRUE(channel.Start());
        ASSERT_TRUE(reg.WaitForClient());
    }
    void TearDown() override { channel.RequestStop(); }

    Bytes Pattern(size_t n)
    {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
        return b;
    }

    SessionWindow window;
    FakeRegServer reg;
    CCmdProtocol channel{FastChannel()};
};

TEST_F(CmdChannel, FragmentBoundariesUpTo255FragmentsAndOneMoreByteIsRefused)
{
    struct Case {
        size_t bytes;
        std::vector<uint16_t> lengths;
    } cases[] = {
        {0, {0}},
        {1, {1}},
        {1376, {1376}},
        {1377, {1376, 1}},
        {2752, {1376, 1376}},
        {255 * 1376, std::vector<uint16_t>(255, 1376)}, // the largest message
    };
    for (const Case& c : cases) {
        reg.ClearReceived();
        Bytes payload = Pattern(c.bytes);
        ASSERT_TRUE(channel.SendPacket(eType_ChatMsg, payload.data(), static_cast<uint32_t>(payload.size()), 99));
        ASSERT_TRUE(reg.WaitForMessages(eType_ChatMsg, 1));
        std::vector<Packet> fragments = reg.Fragments();
        ASSERT_EQ(c.lengths.size(), fragments.size()) << c.bytes;
        for (size_t i = 0; i < fragments.size(); ++i) {
            const PacketHeader& h = fragments[i].header;
            EXPECT_EQ(eType_ChatMsg, h.type);
            EXPECT_EQ(0xFFFF, h.marker);
            EXPECT_EQ(c.lengths[i], h.length);
            EXPECT_EQ(0, h.status);
            EXPECT_EQ(0, h.messageId);
            EXPECT_EQ(i + 1, h.fragmentNumber);
            EXPECT_EQ(c.lengths.size(), h.fragmentCount);
            EXPECT_EQ(4242u, h.sender);
            EXPECT_EQ(7, h.serverId);
            EXPECT_EQ(99u, h.destination);
            EXPECT_EQ(0, h.reserved);
        }
        EXPECT_EQ(payload, reg.Messages(eType_ChatMsg).at(0).payload);
    }

    reg.ClearReceived();
    Bytes tooLarge = Pattern(255 * 1376 + 1);
    EXPECT_FALSE(channel.SendPacket(eType_PaintList, tooLarge.data(), static_cast<uint32_t>(tooLarge.size()), 1));
    Bytes small = Pattern(3);
    ASSERT_TRUE(channel.SendPacket(eType_ChatMsg, small.data(), 3, 1));
    ASSERT_TRUE(reg.WaitForMessages(eType_ChatMsg, 1));
    EXPECT_EQ(1u, reg.Fragments().size()); // nothing of the refused message went out
}

TEST_F(CmdChannel, TwoSendingThreadsNeverInterleaveFragments)
{
    const int perThread = 20;
    auto sender = [&](uint8_t fill) {
        Bytes payload(5000, fill);
        for (int i = 0; i < perThread; ++i) channel.SendPacket(eType_ChatMsg, payload.data(), 5000, 1);
    };
    std::thread a(sender, 0xAA), b(sender, 0xBB);
    a.join();
    b.join();
    ASSERT_TRUE(reg.WaitForMessages(eType_ChatMsg, 2 * perThread));
    std::vector<Packet> fragments = reg.Fragments();
    ASSERT_EQ(size_t(2 * perThread * 4), fragments.size());
    for (size_t i = 0; i < fragments.size(); i += 4) {
        uint8_t fill = fragments[i].payload.at(0);
        for (size_t j = 0; j < 4; ++j) {
            EXPECT_EQ(j + 1, fragments[i + j].header.fragmentNumber);
            EXPECT_EQ(fill, fragments[i + j].payload.at(0)) << "fragments of two messages mixed at " << i + j;
        }
    }
}

// A chat message as the room sends it, so the window receives a record to look at.
Bytes ChatPayload(const wchar_t* text)
{
    ChatFont font;
    return BuildChatPayload(font, CString(text));
}

CString ChatText(const PostedMessage& m)
{
    return reinterpret_cast<ChatMessageRecord*>(m.lParam)->text;
}

TEST_F(CmdChannel, ReassemblesFragmentsInAnyOrderAndCountsDuplicatesOnce)
{
    CString text;
    for (int i = 0; i < 400; ++i) text.AppendChar(static_cast<wchar_t>(L'a' + i % 26));
    Bytes payload = ChatPayload(text);
    HeaderFields fields;
    fields.sender = 55;
    fields.messageId = 3;
    const size_t chunk = 100;
    uint8_t count = static_cast<uint8_t>((payload.size() + chunk - 1) / chunk);
    auto slice = [&](uint8_t number) {
        size_t first = (number - 1) * chunk;
        size_t size = std::min(chunk, payload.size() - first);
        return Bytes(payload.begin() + first, payload.begin() + first + size);
    };
    // Last first, then a duplicate of it, then the rest backwards.
    ASSERT_TRUE(reg.SendRaw(Fragment(eType_ChatMsg, slice(count), count, count, fields)));
    ASSERT_TRUE(reg.SendRaw(Fragment(eType_ChatMsg, slice(count), count, count, fields)));
    for (uint8_t n = count - 1; n >= 1; --n) {
        window.sink.PumpFor(5);
        EXPECT_EQ(0u, window.sink.Count(WM_USER_CHAT_MESSAGE)) << "complete before fragment " << int(n);
        ASSERT_TRUE(reg.SendRaw(Fragment(eType_ChatMsg, slice(n), n, count, fields)));
    }
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CHAT_MESSAGE, 1));
    window.sink.PumpFor(50);
    ASSERT_EQ(1u, window.sink.Count(WM_USER_CHAT_MESSAGE));
    PostedMessage m = window.sink.Received(WM_USER_CHAT_MESSAGE)[0];
    EXPECT_EQ(text, ChatText(m));
    EXPECT_EQ(55u, reinterpret_cast<ChatMessageRecord*>(m.lParam)->senderId);
    EXPECT_EQ(0u, channel.PendingMessages());
}

TEST_F(CmdChannel, SameMessageIdFromTwoSendersStaysApart)
{
    Bytes one = ChatPayload(L"from the first sender, long enough");
    Bytes two = ChatPayload(L"and the second one, also long enough");
    HeaderFields a, b;
    a.sender = 1;
    b.sender = 2;
    a.messageId = b.messageId = 9;
    auto half = [](const Bytes& p, int which) {
        size_t mid = p.size() / 2;
        return which == 1 ? Bytes(p.begin(), p.begin() + mid) : Bytes(p.begin() + mid, p.end());
    };
    reg.SendRaw(Fragment(eType_ChatMsg, half(one, 1), 1, 2, a));
    reg.SendRaw(Fragment(eType_ChatMsg, half(two, 2), 2, 2, b));
    reg.SendRaw(Fragment(eType_ChatMsg, half(two, 1), 1, 2, b));
    reg.SendRaw(Fragment(eType_ChatMsg, half(one, 2), 2, 2, a));
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CHAT_MESSAGE, 2));
    std::vector<PostedMessage> got = window.sink.Received(WM_USER_CHAT_MESSAGE);
    EXPECT_EQ(CString(L"and the second one, also long enough"), ChatText(got[0]));
    EXPECT_EQ(CString(L"from the first sender, long enough"), ChatText(got[1]));
}

TEST_F(CmdChannel, MalformedFragmentsAndOversizedPacketsAreDroppedAndTheStreamStaysInStep)
{
    HeaderFields f;
    reg.SendRaw(Fragment(eType_ChatMsg, Bytes(10, 1), 1, 0, f)); // a count of 0 never completes
    reg.SendRaw(Fragment(eType_ChatMsg, Bytes(10, 1), 3, 2, f)); // no fragment 3 of 2
    // A header that announces more than a fragment can hold, with its bytes: skipped whole.
    Bytes big = Fragment(eType_ChatMsg, Bytes(3000, 0x41), 1, 1, f);
    reg.SendRaw(big);
    reg.Push(eType_ChatMsg, ChatPayload(L"after"));
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_CHAT_MESSAGE, 1));
    window.sink.PumpFor(50);
    ASSERT_EQ(1u, window.sink.Count(WM_USER_CHAT_MESSAGE));
    EXPECT_EQ(CString(L"after"), ChatText(window.sink.Received(WM_USER_CHAT_MESSAGE)[0]));
    EXPECT_EQ(0u, window.sink.Count(WM_USER_OFFLINE));
    EXPECT_EQ(0u, channel.PendingMessages());
}

TEST_F(CmdChannel, LossSeenBySendersAndTheReceiverAtOnceIsReportedOnce)
{
    std::atomic<bool> stop{false};
    std::atomic<int> failed{0};
    auto sender = [&] {
        Bytes payload(3000, 1);
        while (!stop) {
            if (!channel.SendPacket(eType_ChatMsg, payload.data(), 3000, 1)) ++failed;
        }
    };
    std::thread a(sender), b(sender);
    ASSERT_TRUE(reg.WaitForMessages(eType_ChatMsg, 10));
    reg.Drop(true);
    EXPECT_TRUE(PumpUntil([&] { return failed >= 2; }));
    stop = true;
    a.join();
    b.join();
    window.sink.PumpFor(200);
    EXPECT_EQ(1u, window.sink.Count(WM_USER_OFFLINE));
    EXPECT_FALSE(channel.IsConnected());
}

TEST_F(CmdChannel, ALossIsReportedOnceAndTheSameObjectReconnects)
{
    reg.Drop();
    ASSERT_TRUE(window.sink.WaitFor(WM_USER_OFFLINE, 1));
    EXPECT_FALSE(channel.IsConnected());
    // Sends after the loss fail without a second report.
    Bytes p(10, 0);
    EXPECT_FALSE(channel.SendPacket(eType_ChatMsg, p.data(), 10, 1));
    window.sink.PumpFor(200);
    ASSERT_EQ(1u, window.sink.Count(WM_USER_OFFLINE));
    PostedMessage m = window.sink.Received(WM_USER_OFFLINE)[0];
    EXPECT_EQ(0u, m.wParam);
    EXPECT_EQ(0, m.lParam);

    ASSERT_TRUE(channel.Connect());
    ASSERT_TRUE(channel.Start());
    ASSERT_TRUE(reg.WaitForClient());
    reg.Push(eType_SwapScreen, Bytes());
    EXPECT_TRUE(window.sink.WaitFor(WM_USER_SWAP_SCREEN, 1));
    reg.Drop();
    EXPECT_TRUE(window.sink.WaitFor(WM_USER_OFFLINE, 2));
    // A stroke of several messages, and a chat, after the second loss.
    EXPECT_FALSE(channel.SendDrawPoints(0x12, 1, StrokeHead{}, std::vector<StrokePoint>(700)));
    EXPECT_FALSE(channel.SendChatMessage(ChatFont(), CString(L"x")));
}

TEST_F(CmdChannel, StopInTheMiddleOfAPacketIsQuickAndSilent)
{
    // Half a header: the receive thread waits in recv for the rest.
    Bytes partial = Fragment(eType_ChatMsg, Bytes(100, 0), 1, 1, HeaderFields());
    partial.resize(30);
    reg.SendRaw(partial);
    Sleep(50);
    DWORD start = GetTickCount();
    channel.RequestStop();
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_TRUE(channel.Join(0));
    EXPECT_TRUE(reg.WaitForClientGone());
    window.sink.PumpFor(100);
    EXPECT_EQ(0u, window.sink.Count(WM_USER_OFFLINE));
}

TEST(CmdChannelConnect, FailsWhenNothingListens)
{
    SessionWindow window;
    CCmdProtocol channel(FastChannel());
    channel.SetServer(Node(3, eServer_Reg, ClosedLoopbackPort(SOCK_STREAM)));
    EXPECT_FALSE(channel.Connect());
    EXPECT_FALSE(channel.IsConnected());
    EXPECT_FALSE(channel.SendLogin());
    window.sink.PumpFor(50);
    EXPECT_EQ(0u, window.sink.Count(WM_USER_OFFLINE));
}

TEST(CmdDispatch, WithoutAMainWindowTheRecordIsFreedInsteadOfQueuedOnTheThread)
{
    SessionContext* session = SessionContext::Instance();
    HWND saved = session->mainWindow;
    session->mainWindow = nullptr;
    CCmdProtocol channel{FastChannel()};
    std::vector<uint8_t> payload = BuildChatPayload(ChatFont(), CString(L"hello"));
    PacketHeader header = MakeHeader(eType_ChatMsg, static_cast<uint16_t>(payload.size()));
    channel.Dispatch(header, payload.data(), static_cast<uint32_t>(payload.size()));
    MSG msg;
    bool queued = PeekMessageW(&msg, reinterpret_cast<HWND>(-1), WM_USER_CHAT_MESSAGE, WM_USER_CHAT_MESSAGE,
                               PM_REMOVE) != FALSE;
    if (queued) FreeRoomMessage(msg.message, msg.wParam, msg.lParam);
    session->mainWindow = saved;
    EXPECT_FALSE(queued) << "the record went to a queue nobody reads";
}

TEST(FragmentAssemblerLimits, JoinedSizeAbove64KAndTheOldestIncompleteIsDropped)
{
    FragmentAssembler assembler(3000 + 3 * FragmentAssembler::SlotCost(2));
    PacketHeader h = MakeHeader(eType_PaintList, 1000);
    PacketHeader out;
    std::vector<uint8_t> joined;
    Bytes chunk(1000, 5);
    h.fragmentCount = 2;
    h.sender = 1;
    h.fragmentNumber = 1;
    EXPECT_FALSE(assembler.Add(h, chunk.data(), chunk.size(), out, joined));
    h.sender = 2;
    EXPECT_FALSE(assembler.Add(h, chunk.data(), chunk.size(), out, joined));
    h.sender = 3;
    EXPECT_FALSE(assembler.Add(h, chunk.data(), chunk.size(), out, joined));
    h.sender = 4; // over the cap: sender 1's message goes
    EXPECT_FALSE(assembler.Add(h, chunk.data(), chunk.size(), out, joined));
    EXPECT_EQ(3u, assembler.PendingMessages());
    EXPECT_LE(assembler.PendingBytes(), 3000u + 3 * FragmentAssembler::SlotCost(2));
    h.sender = 1;
    h.fragmentNumber = 2;
    EXPECT_FALSE(assembler.Add(h, chunk.data(), chunk.size(), out, joined)); // its first half is gone
    h.sender = 3;
    EXPECT_TRUE(assembler.Add(h, chunk.data(), chunk.size(), out, joined));
    EXPECT_EQ(2000u, joined.size());

    FragmentAssembler large;
    Bytes full(1376, 9);
    PacketHeader f = MakeHeader(eType_PaintList, 1376);
    f.fragmentCount = 60;
    bool done = false;
    for (uint8_t n = 1; n <= 60; ++n) {
        f.fragmentNumber = n;
        done = large.Add(f, full.data(), full.size(), out, joined);
    }
    EXPECT_TRUE(done);
    EXPECT_EQ(60u * 1376u, joined.size()); // more than a u16 carries
    EXPECT_EQ(0xFFFF, out.length);
}

TEST(FragmentAssemblerLimits, FragmentsWithoutPayloadCannotHoldMessagesBeyondTheCap)
{
    // Each first fragment of 255 opens a message; none carries a byte of payload.
    const size_t cap = 256 * 1024;
    FragmentAssembler assembler(cap);
    PacketHeader h = MakeHeader(eType_PaintList, 0);
    h.fragmentCount = 255;
    h.fragmentNumber = 1;
    PacketHeader out;
    std::vector<uint8_t> joined;
    for (uint32_t i = 0; i < 5000; ++i) {
        h.messageId = static_cast<uint16_t>(i);
        h.sender = i >> 16;
        EXPECT_FALSE(assembler.Add(h, nullptr, 0, out, joined));
    }
    EXPECT_LE(assembler.PendingBytes(), cap);
    EXPECT_LE(assembler.PendingMessages() * 255 * sizeof(std::vector<uint8_t>), cap);
    EXPECT_GT(assembler.PendingMessages(), 0u);
}

} // namespace

TEST(FragmentAssemblerLimits, AFailedAllocationDropsTheIncompleteMessagesWithALogLineAndLeaksNothing)
{
    // The n-th allocation of the three fragments fails, for every n until one runs through untouched.
    Bytes part(500, 3);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        CountAllocations(true);
        bool failed = false;
        {
            FragmentAssembler assembler;
            PacketHeader out;
            std::vector<uint8_t> joined;
            PacketHeader h = MakeHeader(eType_PaintList, 500);
            h.fragmentCount = 3;
            h.sender = 2; // another sender's incomplete message, held when the failure comes
            h.fragmentNumber = 1;
            ASSERT_FALSE(assembler.Add(h, part.data(), part.size(), out, joined));
            h.sender = 1;
            const size_t logged = LogSize();
            bool complete = false;
            FailAllocation(n);
            for (uint8_t k = 1; k <= 3; ++k) {
                h.fragmentNumber = k;
                complete = assembler.Add(h, part.data(), part.size(), out, joined);
            }
            failed = AllocationFailed();
            FailAllocation(0);
            if (!failed) {
                EXPECT_TRUE(complete);
                EXPECT_EQ(1500u, joined.size());
                EXPECT_EQ(1u, assembler.PendingMessages());
                break;
            }
            EXPECT_FALSE(complete);
            EXPECT_EQ(1u, Occurrences(LogFrom(logged), "out of memory"));
            // A new message after the failure is joined whole.
            const uint16_t firstId = h.messageId;
            h.messageId = static_cast<uint16_t>(firstId + 1);
            for (uint8_t k = 1; k <= 3; ++k) {
                h.fragmentNumber = k;
                complete = assembler.Add(h, part.data(), part.size(), out, joined);
            }
            EXPECT_TRUE(complete);
            EXPECT_EQ(1500u, joined.size());
            h.sender = 2; // the other sender's first fragment is gone: its last two do not complete it
            h.messageId = firstId;
            h.fragmentNumber = 2;
            assembler.Add(h, part.data(), part.size(), out, joined);
            h.fragmentNumber = 3;
            EXPECT_FALSE(assembler.Add(h, part.data(), part.size(), out, joined));
        }
        long balance = AllocationBalance();
        CountAllocations(false);
        EXPECT_EQ(0, balance);
    }
    CountAllocations(false);
}
