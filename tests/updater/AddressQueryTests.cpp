#include "tests/fakes/room/FakeRoom.h"
#include "updater/AddressQuery.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

// A gateway whose answer to the n-th query is scripted (empty: stay silent).
class ScriptedGateway : public fakeroom::UdpPeer {
public:
    explicit ScriptedGateway(std::function<std::string(int)> reply) : m_reply(std::move(reply)) { StartLoop(); }
    ~ScriptedGateway() override { StopLoop(); }
    int Queries() const
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_queries;
    }
    std::string LastQuery() const
    {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_lastQuery;
    }

private:
    void OnDatagram(const fakeroom::Bytes& datagram, const sockaddr_in& from) override
    {
        std::string answer;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_lastQuery.assign(datagram.begin(), datagram.end());
            answer = m_reply(m_queries++);
        }
        if (!answer.empty()) SendTo(fakeroom::Bytes(answer.begin(), answer.end()), from);
    }
    std::function<std::string(int)> m_reply;
    int m_queries = 0;
    std::string m_lastQuery;
};

std::string Reply(uint16_t status, const std::string& address, size_t padTo = 32)
{
    std::string r(24, '\0');
    r[0] = static_cast<char>(800 & 0xFF);
    r[1] = static_cast<char>(800 >> 8);
    r[6] = static_cast<char>(status & 0xFF);
    r[7] = static_cast<char>(status >> 8);
    r += static_cast<char>(address.size() & 0xFF);
    r += static_cast<char>(address.size() >> 8);
    r += address;
    if (r.size() < padTo) r.resize(padTo, '\0');
    return r;
}

const AddressQueryTiming kFast{5, 150, 10};

} // namespace

TEST(AddressQuery, DatagramLayout)
{
    std::string q = BuildAddressQuery();
    const unsigned char expected[32] = {0x20, 0x03, 0xFF, 0xFF, 8, 0, 0, 0, 0, 0, 1, 1};
    ASSERT_EQ(32u, q.size());
    EXPECT_EQ(0, memcmp(expected, q.data(), 32));
}

TEST(AddressQuery, AcceptsEitherStatusAndReadsUtf8Address)
{
    ScriptedGateway gateway([](int) { return Reply(0xF830, "http://dl.example/\xE4\xB8\xAD.exe"); });
    CString address;
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.Port(), address, kFast));
    EXPECT_STREQ(L"http://dl.example/\u4e2d.exe", address);
    EXPECT_EQ(BuildAddressQuery(), gateway.LastQuery());
}

TEST(AddressQuery, NewerStatusWithoutAddressIsAcceptedEmpty)
{
    ScriptedGateway gateway([](int) { return Reply(0xF831, ""); });
    CString address = L"stale";
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.Port(), address, kFast));
    EXPECT_TRUE(address.IsEmpty());
}

TEST(AddressQuery, ShortOrWrongRepliesAreRetried)
{
    ScriptedGateway gateway([](int n) {
        if (n == 0) return Reply(0xF830, "", 0).substr(0, 31); // too short
        if (n == 1) return Reply(1, "http://x/y");              // another status
        return Reply(0xF831, "http://h/ok.exe");
    });
    CString address;
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.Port(), address, kFast));
    EXPECT_STREQ(L"http://h/ok.exe", address);
    EXPECT_EQ(3, gateway.Queries());
}

TEST(AddressQuery, SilentGatewayFailsAfterFiveTries)
{
    ScriptedGateway gateway([](int) { return std::string(); });
    CString address;
    EXPECT_FALSE(QueryDownloadUrl(L"127.0.0.1", gateway.Port(), address, kFast));
    EXPECT_EQ(5, gateway.Queries());
    EXPECT_FALSE(QueryDownloadUrl(L"", gateway.Port(), address, kFast)); // no host at all
}

TEST(AddressQuery, ReplyParsingIsBounded)
{
    CString address;
    // A count that claims more than arrived: the text ends with the datagram.
    std::string lying = Reply(0xF830, "abc");
    lying[24] = static_cast<char>(0xFF);
    lying[25] = static_cast<char>(0xFF);
    lying.resize(29);
    lying.resize(32, '\0');
    ASSERT_TRUE(ParseAddressReply(reinterpret_cast<const uint8_t*>(lying.data()), lying.size(), address));
    EXPECT_STREQ(L"abc", address);
    for (size_t n = 0; n < 32; ++n) EXPECT_FALSE(ParseAddressReply(reinterpret_cast<const uint8_t*>(lying.data()), n, address));
    EXPECT_FALSE(ParseAddressReply(nullptr, 100, address));
}
