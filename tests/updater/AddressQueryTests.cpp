#include "updater/AddressQuery.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

// A gateway on 127.0.0.1 whose answer to the n-th query is scripted (empty: stay silent).
class FakeGateway {
public:
    explicit FakeGateway(std::function<std::string(int)> reply) : m_reply(std::move(reply))
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        m_socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = inet_addr("127.0.0.1");
        bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int size = sizeof address;
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~FakeGateway()
    {
        closesocket(m_socket);
        m_thread.join();
        WSACleanup();
    }
    uint16_t port = 0;
    std::atomic<int> queries{0};
    std::string lastQuery;

private:
    void Serve()
    {
        char buffer[2048];
        for (;;) {
            sockaddr_in from = {};
            int size = sizeof from;
            int got = recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &size);
            if (got < 0) return;
            lastQuery.assign(buffer, static_cast<size_t>(got));
            std::string answer = m_reply(queries++);
            if (!answer.empty())
                sendto(m_socket, answer.data(), static_cast<int>(answer.size()), 0, reinterpret_cast<sockaddr*>(&from), size);
        }
    }
    SOCKET m_socket;
    std::thread m_thread;
    std::function<std::string(int)> m_reply;
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
    FakeGateway gateway([](int) { return Reply(0xF830, "http://dl.example/\xE4\xB8\xAD.exe"); });
    CString address;
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.port, address, kFast));
    EXPECT_STREQ(L"http://dl.example/\u4e2d.exe", address);
    EXPECT_EQ(BuildAddressQuery(), gateway.lastQuery);
}

TEST(AddressQuery, NewerStatusWithoutAddressIsAcceptedEmpty)
{
    FakeGateway gateway([](int) { return Reply(0xF831, ""); });
    CString address = L"stale";
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.port, address, kFast));
    EXPECT_TRUE(address.IsEmpty());
}

TEST(AddressQuery, ShortOrWrongRepliesAreRetried)
{
    FakeGateway gateway([](int n) {
        if (n == 0) return Reply(0xF830, "", 0).substr(0, 31); // too short
        if (n == 1) return Reply(1, "http://x/y");              // another status
        return Reply(0xF831, "http://h/ok.exe");
    });
    CString address;
    ASSERT_TRUE(QueryDownloadUrl(L"127.0.0.1", gateway.port, address, kFast));
    EXPECT_STREQ(L"http://h/ok.exe", address);
    EXPECT_EQ(3, gateway.queries);
}

TEST(AddressQuery, SilentGatewayFailsAfterFiveTries)
{
    FakeGateway gateway([](int) { return std::string(); });
    CString address;
    EXPECT_FALSE(QueryDownloadUrl(L"127.0.0.1", gateway.port, address, kFast));
    EXPECT_EQ(5, gateway.queries);
    EXPECT_FALSE(QueryDownloadUrl(L"", gateway.port, address, kFast)); // no host at all
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
