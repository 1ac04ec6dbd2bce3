#include "filetransfer/FileTransProtocol.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <cstring>
#include <functional>
#include <random>

using namespace FileTransWire;

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

uint64_t U64At(const std::string& b, size_t at)
{
    uint64_t v = 0;
    memcpy(&v, b.data() + at, 8);
    return v;
}

FileTransInfo SampleInfo()
{
    FileTransInfo info = {};
    info.transferId = 0;
    strcpy(info.fileName, "notes.pdf");
    info.fileSize = 0x0102030405;
    info.kind = 3;
    info.secondCode = 6;
    strcpy(info.md5, "0123456789abcdef0123456789abcdef");
    info.userId = 0x11223344;
    info.roomId = 0x55667788;
    info.sequence = 9;
    info.tag = 0xA0B0C0D0;
    return info;
}

} // namespace

TEST(WireLayoutTest, RequestForAFreshDownload)
{
    EXPECT_EQ("2a00000000000000" "01" "1000" "0000000000000000" "ffffffffffffffff", Hex(Request(42, 0)));
    EXPECT_EQ("0100000000000000" "01" "1000" "0810000000000000" "ffffffffffffffff", Hex(Request(1, 0x1008)));
}

TEST(WireLayoutTest, OfferCarriesTheBlockAndTheInfoAtTheirOffsets)
{
    FileTransInfo info = SampleInfo();
    std::string b = Offer(info);
    ASSERT_EQ(11u + 147u, b.size());
    EXPECT_EQ("0000000000000000" "02" "9300", Hex(b.substr(0, 11)));
    EXPECT_EQ(0u, U64At(b, 11));
    EXPECT_EQ(0x0102030405u, U64At(b, 19));
    const size_t i = 27; // the info starts behind header and block
    EXPECT_EQ(0u, U64At(b, i + 0));
    EXPECT_EQ("notes.pdf", std::string(b.data() + i + 8));
    EXPECT_EQ(0x0102030405u, U64At(b, i + 72));
    EXPECT_EQ(3, b[i + 80]);
    EXPECT_EQ(6, b[i + 81]);
    EXPECT_EQ("0123456789abcdef0123456789abcdef", std::string(b.data() + i + 82));
    EXPECT_EQ('\0', b[i + 114]);
    EXPECT_EQ("44332211", Hex(b.substr(i + 115, 4)));
    EXPECT_EQ("88776655", Hex(b.substr(i + 119, 4)));
    EXPECT_EQ("09000000", Hex(b.substr(i + 123, 4)));
    EXPECT_EQ("d0c0b0a0", Hex(b.substr(i + 127, 4)));
}

TEST(WireLayoutTest, DataLengthsDifferBetweenTcpAndUdp)
{
    std::string bytes(1400, 'x');
    std::string tcp = TcpData(5, 2714, bytes.data(), 1357);
    ASSERT_EQ(1384u, tcp.size());
    EXPECT_EQ("0500000000000000" "03" "5d05", Hex(tcp.substr(0, 11))); // 1373
    EXPECT_EQ(2714u, U64At(tcp, 11));
    EXPECT_EQ(1357u, U64At(tcp, 19));
    std::string udp = UdpData(5, 0, bytes.data(), 1400);
    ASSERT_EQ(11u + 16u + 1400u, udp.size());
    EXPECT_EQ("0500000000000000" "03" "7805", Hex(udp.substr(0, 11))); // 1400
}

TEST(WireLayoutTest, SmallMessages)
{
    EXPECT_EQ("0700000000000000" "06" "0000", Hex(Empty(7, FTM_FINISH)));
    EXPECT_EQ("0700000000000000" "07" "0000", Hex(Empty(7, FTM_DONE)));
    EXPECT_EQ("0700000000000000" "04" "0200" "1400", Hex(Loss(7, 20)));
    FileTransBlock block = {0x10, 0x20};
    EXPECT_EQ("0700000000000000" "0a" "1000" "1000000000000000" "2000000000000000", Hex(Ack(7, block)));
    FileTransStatus status = {7, FTS_PROGRESS, 50, 0xFF38, 3, 1, 2};
    EXPECT_EQ("0700000000000000" "09" "1800" "0700000000000000" "0100" "3200" "38ff" "0300" "01000000" "02000000",
              Hex(Status(7, status)));
}

TEST(WireParseTest, RoundTrips)
{
    FileTransHeader header;
    std::string request = Request(99, 5904);
    ASSERT_TRUE(ParseHeader(request.data(), request.size(), &header));
    EXPECT_EQ(99u, header.transferId);
    EXPECT_EQ(FTM_REQUEST, header.type);
    EXPECT_EQ(16, header.length);
    FileTransBlock block;
    ASSERT_TRUE(ParseRequest(request.data() + 11, request.size() - 11, &block));
    EXPECT_EQ(5904u, block.offset);
    EXPECT_EQ(kToEnd, block.length);

    FileTransInfo info = SampleInfo(), back;
    std::string offer = Offer(info);
    ASSERT_TRUE(ParseOffer(offer.data() + 11, offer.size() - 11, &block, &back));
    EXPECT_EQ(0, memcmp(&info, &back, sizeof info));
    // A peer that fills the name and digest fields still gets terminated strings.
    memset(info.fileName, 'A', sizeof info.fileName);
    memset(info.md5, 'b', sizeof info.md5);
    offer = Offer(info);
    ASSERT_TRUE(ParseOffer(offer.data() + 11, offer.size() - 11, &block, &back));
    EXPECT_EQ(63u, strlen(back.fileName));
    EXPECT_EQ(32u, strlen(back.md5));

    FileTransStatus status = {7, FTS_RECV_DONE, 100, 0, 12, 3, 4}, statusBack;
    std::string s = Status(7, status);
    ASSERT_TRUE(ParseStatus(s.data() + 11, s.size() - 11, &statusBack));
    EXPECT_EQ(0, memcmp(&status, &statusBack, sizeof status));

    uint16_t percent = 0;
    std::string loss = Loss(1, 33);
    ASSERT_TRUE(ParseLoss(loss.data() + 11, 2, &percent));
    EXPECT_EQ(33, percent);

    std::vector<FileTransBlock> acks;
    std::string two = Ack(1, {1, 2}).substr(11) + Ack(1, {3, 4}).substr(11);
    ASSERT_TRUE(ParseAcks(two.data(), two.size(), &acks));
    ASSERT_EQ(2u, acks.size());
    EXPECT_EQ(3u, acks[1].offset);
    EXPECT_EQ(4u, acks[1].length);
}

TEST(WireParseTest, DataBlocksMustMatchTheirLengthAndLieInsideTheFile)
{
    std::string bytes(100, 'q');
    struct Case {
        uint64_t offset;
        size_t n;
        uint64_t fileSize;
        bool ok;
    } cases[] = {
        {0, 100, 100, true},  {0, 100, 99, false}, {1, 99, 100, true}, {1, 100, 100, false},
        {100, 0, 100, true},  {101, 0, 100, false}, {~0ull - 10, 20, ~0ull, false},
    };
    for (const Case& c : cases) {
        std::string tcp = TcpData(1, c.offset, bytes.data(), c.n);
        DataView view;
        EXPECT_EQ(c.ok, ParseTcpData(tcp.data() + 11, tcp.size() - 11, c.fileSize, &view)) << c.offset << " " << c.n;
        std::string udp = UdpData(1, c.offset, bytes.data(), c.n);
        FileTransHeader header;
        ASSERT_TRUE(ParseHeader(udp.data(), udp.size(), &header));
        EXPECT_EQ(c.ok, ParseUdpData(header, udp.data() + 11, udp.size() - 11, c.fileSize, &view));
        if (c.ok) {
            EXPECT_EQ(c.offset, view.offset);
            EXPECT_EQ(c.n, view.n);
        }
    }
    // A block that claims more bytes than the packet holds.
    std::string lying = TcpData(1, 0, bytes.data(), 50);
    lying[19] = 60;
    DataView view;
    EXPECT_FALSE(ParseTcpData(lying.data() + 11, lying.size() - 11, 1000, &view));
    // A UDP header length that disagrees with the block.
    std::string udp = UdpData(1, 0, bytes.data(), 50);
    FileTransHeader header;
    ASSERT_TRUE(ParseHeader(udp.data(), udp.size(), &header));
    header.length = 49;
    EXPECT_FALSE(ParseUdpData(header, udp.data() + 11, udp.size() - 11, 1000, &view));
}

TEST(WireParseTest, EveryTruncationIsRefused)
{
    FileTransInfo info = SampleInfo(), infoOut;
    FileTransStatus status = {}, statusOut;
    FileTransBlock block;
    uint16_t loss;
    std::vector<FileTransBlock> acks;
    struct Case {
        std::string packet;
        std::function<bool(const char*, size_t)> parse;
    } cases[] = {
        {Request(1, 2), [&](const char* p, size_t n) { return ParseRequest(p, n, &block); }},
        {Offer(info), [&](const char* p, size_t n) { return ParseOffer(p, n, &block, &infoOut); }},
        {Loss(1, 2), [&](const char* p, size_t n) { return ParseLoss(p, n, &loss); }},
        {Status(1, status), [&](const char* p, size_t n) { return ParseStatus(p, n, &statusOut); }},
        {Ack(1, {1, 2}) + std::string(16, '\x01'),
         [&](const char* p, size_t n) { return ParseAcks(p, n, &acks); }},
    };
    for (const Case& c : cases) {
        const std::string& m = c.packet;
        FileTransHeader header;
        for (size_t cut = 0; cut < 11; ++cut) EXPECT_FALSE(ParseHeader(m.data(), cut, &header));
        for (size_t cut = 11; cut < m.size(); ++cut) {
            bool wholeAcks = c.packet[8] == FTM_ACK && cut > 11 && (cut - 11) % 16 == 0;
            if (!wholeAcks) {
                EXPECT_FALSE(c.parse(m.data() + 11, cut - 11)) << int(m[8]) << " cut " << cut;
            }
        }
        EXPECT_TRUE(c.parse(m.data() + 11, m.size() - 11));
        // One byte too many is refused as well.
        std::string longer = m + "x";
        EXPECT_FALSE(c.parse(longer.data() + 11, longer.size() - 11));
    }
}

TEST(WireParseTest, MutatedPacketsNeverReadOutOfBounds)
{
    std::mt19937 random(1234);
    std::string bytes(300, 'z');
    FileTransInfo info = SampleInfo();
    std::string seeds[] = {Request(1, 2), Offer(info), TcpData(1, 0, bytes.data(), 300),
                           UdpData(1, 0, bytes.data(), 300), Ack(1, {1, 2}), Loss(1, 5)};
    for (int round = 0; round < 3000; ++round) {
        std::string m = seeds[round % 6];
        int flips = 1 + random() % 4;
        for (int f = 0; f < flips; ++f) m[random() % m.size()] = static_cast<char>(random());
        m.resize(random() % (m.size() + 1));
        // Copy into an exact-size heap block so an over-read would leave it.
        std::vector<char> exact(m.begin(), m.end());
        FileTransHeader header;
        if (!ParseHeader(exact.data(), exact.size(), &header)) continue;
        const char* p = exact.data() + 11;
        size_t n = exact.size() - 11;
        FileTransBlock block;
        FileTransInfo infoOut;
        FileTransStatus statusOut;
        uint16_t loss;
        std::vector<FileTransBlock> acks;
        DataView view;
        ParseRequest(p, n, &block);
        ParseOffer(p, n, &block, &infoOut);
        ParseStatus(p, n, &statusOut);
        ParseLoss(p, n, &loss);
        ParseAcks(p, n, &acks);
        const uint8_t* end = reinterpret_cast<const uint8_t*>(exact.data()) + exact.size();
        if (ParseTcpData(p, n, 1u << 20, &view)) {
            EXPECT_LE(view.bytes + view.n, end);
        }
        if (ParseUdpData(header, p, n, 1u << 20, &view)) {
            EXPECT_LE(view.bytes + view.n, end);
        }
    }
}

TEST(WireNameTest, NamesAreCutAtCharacterBoundaries)
{
    // 70 bytes: 35 two-byte characters.
    std::string cyrillic;
    for (int i = 0; i < 35; ++i) cyrillic += "\xD0\x96";
    std::string cut = FitFileName(cyrillic, 63, false);
    EXPECT_EQ(62u, cut.size());
    FileTransInfo info = {};
    CopyName(info, cyrillic);
    EXPECT_EQ(62u, strlen(info.fileName));
    CopyName(info, std::string(70, 'a'));
    EXPECT_EQ(63u, strlen(info.fileName));
    EXPECT_EQ(std::string(63, 'a'), info.fileName);

    std::string longStem = std::string(80, 'n') + ".pptx";
    std::string kept = FitFileName(longStem, 63, true);
    EXPECT_EQ(63u, kept.size());
    EXPECT_EQ(".pptx", kept.substr(58));
    EXPECT_EQ("short.doc", FitFileName("short.doc", 63, true));
    // The stem cut also keeps whole characters.
    std::string wideStem;
    for (int i = 0; i < 40; ++i) wideStem += "\xE4\xB8\xAD"; // three bytes each
    std::string fitted = FitFileName(wideStem + ".txt", 63, true);
    EXPECT_EQ(".txt", fitted.substr(fitted.size() - 4));
    EXPECT_EQ(0u, (fitted.size() - 4) % 3);
    EXPECT_LE(fitted.size(), 63u);
}

TEST(WireNameTest, UnsafeNamesAreRefused)
{
    struct Case {
        const wchar_t* name;
        bool safe;
    } cases[] = {
        {L"report.pdf", true}, {L"\x4E2D\x6587.doc", true}, {L"a b.txt", true}, {L"", false},
        {L"..", false}, {L".", false}, {L"..\\boot.ini", false}, {L"a/b", false}, {L"a\\b", false},
        {L"C:x", false}, {L"x\ty", false}, {L"x\ny", false}, {L"a..b", true}, {L"Lesson 1..pptx", true},
        {L"..\\..", false}, {L"../x", false}, {L"...", false},
        // Devices, whatever the case or extension, and names Windows would shorten.
        {L"CON", false}, {L"nul.txt", false}, {L"Com1.doc", false}, {L"lpt9", false}, {L"aux .pdf", false},
        {L"report.", false}, {L"report ", false},
        {L"console.txt", true}, {L"com10.txt", true}, {L"nullable.doc", true}, {L"lpt.pdf", true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafeFileName(c.name)) << c.name;
}

TEST(WireNameTest, PrivateRanges)
{
    struct Case {
        const char* address;
        bool isPrivate;
    } cases[] = {
        {"10.0.0.1", true},     {"10.255.255.255", true}, {"172.16.0.1", true},  {"172.31.255.1", true},
        {"172.15.0.1", false},  {"172.32.0.1", false},    {"192.168.1.1", true}, {"192.169.1.1", false},
        {"127.0.0.1", false},   {"8.8.8.8", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.isPrivate, IsPrivateIPv4(inet_addr(c.address))) << c.address;
}
