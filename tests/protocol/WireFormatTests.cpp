// The header, wire strings, file-id hex forms and the bounded reader, against their byte layouts.
#include "protocol/PacketHeader.h"
#include "protocol/RoomRecords.h"
#include "protocol/WireFormat.h"

#include <gtest/gtest.h>
#include <cstring>

namespace {

std::vector<uint8_t> BytesOf(const void* data, size_t size)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(p, p + size);
}

TEST(PacketHeaderLayout, FieldsSitAtTheirOffsetsLittleEndianAndMakeHeaderFillsTheMarker)
{
    PacketHeader h{};
    h.type = 0x0323;
    h.marker = 0xFFFF;
    h.length = 0x0560;
    h.status = 0xF830;
    h.messageId = 0x1234;
    h.fragmentNumber = 2;
    h.fragmentCount = 3;
    h.sender = 0x04030201;
    h.serverId = 0x0605;
    h.destination = 0x0A090807;
    h.reserved = 0;
    const std::vector<uint8_t> expected = {0x23, 0x03, 0xFF, 0xFF, 0x60, 0x05, 0x30, 0xF8, 0x34, 0x12, 2, 3,
                                           1,    2,    3,    4,    5,    6,    7,    8,    9,    10,   0, 0};
    EXPECT_EQ(expected, BytesOf(&h, sizeof(h)));

    h = MakeHeader(eType_ServerList, 6); // one fragment, with the marker
    const std::vector<uint8_t> made = {0x21, 0x03, 0xFF, 0xFF, 6, 0, 0, 0, 0, 0, 1, 1,
                                       0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(made, BytesOf(&h, sizeof(h)));
}

TEST(ServerNodeLayout, SeventeenPackedBytes)
{
    ServerNode n{};
    n.id = 0x0201;
    n.kind = eServer_Stream;
    n.address = 0x0100007F; // 127.0.0.1 as inet_addr gives it
    n.port = 0x1A85;
    n.lineKey = 0x0403;
    n.weight = 0x0605;
    n.lineFlag = 1;
    const std::vector<uint8_t> expected = {1, 2, 2, 127, 0, 0, 1, 0x85, 0x1A, 3, 4, 5, 6, 1, 0, 0, 0};
    EXPECT_EQ(expected, BytesOf(&n, sizeof(n)));
}

TEST(RecordLayout, LiveStateAndStrokeHeadOffsets)
{
    LiveState s{};
    s.flags = 9;
    s.docId = 0x0807060504030201ull;
    s.docPage = 0x0B0A;
    s.docState = 0x41;
    s.whiteboardTab = 0x0D0C;
    s.whiteboardState = 0x42;
    s.cameraIndex = 1;
    s.cameraState = 0x41;
    const std::vector<uint8_t> expected = {9, 1, 2, 3, 4, 5, 6, 7, 8, 0x0A, 0x0B, 0x41, 0x0C, 0x0D, 0x42, 1, 0x41};
    EXPECT_EQ(expected, BytesOf(&s, sizeof(s)));

    StrokeHead head{};
    head.page = 0x0201;
    head.orderKey = 0x06050403;
    head.docId = 0x0E0D0C0B0A090807ull;
    head.tool = 0x0F;
    head.surfaceWidth = 0x1110;
    head.surfaceHeight = 0x1312;
    std::vector<uint8_t> bytes = BytesOf(&head, sizeof(head));
    for (uint8_t i = 0; i < 19; ++i) EXPECT_EQ(i + 1, bytes[i]) << "offset " << int(i);
}

TEST(WireString, WritesCountAndUtf8WithoutTerminator)
{
    struct Case {
        const wchar_t* text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {L"", {0, 0}},
        {L"\u00e9", {2, 0, 0xC3, 0xA9}},
        {L"Ab", {2, 0, 'A', 'b'}},
        {L"\u4e2d", {3, 0, 0xE4, 0xB8, 0xAD}},
    };
    for (const Case& c : cases) {
        CString text(c.text);
        EXPECT_EQ(c.bytes.size(), WireStringSize(text));
        std::vector<uint8_t> out(WireStringSize(text));
        EXPECT_EQ(c.bytes.size(), WriteWireString(out.data(), text));
        EXPECT_EQ(c.bytes, out);
        CString back(L"x");
        EXPECT_EQ(c.bytes.size(), ReadWireString(c.bytes.data(), c.bytes.size(), back));
        EXPECT_EQ(text, back);
    }
    EXPECT_EQ(0u, WriteWireString(nullptr, CString(L"a")));
}

TEST(WireString, TextPastTheCountLimitKeepsTheFollowingFieldInPlace)
{
    // 0x8000 two-byte characters are 65536 UTF-8 bytes: one more than the count can say.
    CString text;
    for (int i = 0; i < 0x8000; ++i) text.AppendChar(L'\u00e9');
    ByteWriter writer;
    writer.WireString(text).U32(0xA1B2C3D4);
    EXPECT_EQ(2u + 65534u + 4u, writer.Size());

    ByteReader reader(writer.Data().data(), writer.Size());
    CString back;
    uint32_t after = 0;
    reader.WireString(back);
    reader.U32(after);
    ASSERT_TRUE(reader.Ok());
    EXPECT_EQ(0xA1B2C3D4u, after);
    EXPECT_EQ(0x7FFF, back.GetLength()); // cut before the character that would not fit whole
    EXPECT_EQ(L'\u00e9', back[0x7FFE]);
}

TEST(WireString, ReadingNeverPassesTheAvailableBytes)
{
    const uint8_t bytes[] = {5, 0, 'a', 'b', 'c'};
    CString text(L"old");
    EXPECT_EQ(0u, ReadWireString(bytes, sizeof(bytes), text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(0u, ReadWireString(bytes, 1, text));
    EXPECT_EQ(0u, ReadWireString(nullptr, 10, text));
    // A zero byte inside the text ends the conversion; the count is still consumed.
    const uint8_t inner[] = {3, 0, 'a', 0, 'b'};
    EXPECT_EQ(5u, ReadWireString(inner, sizeof(inner), text));
    EXPECT_EQ(CString(L"a"), text);
}

TEST(FileIdHex, LowNibbleFirstAndRoundTrip)
{
    uint8_t id[16] = {0x1F};
    CString hex = IdToHex(id);
    EXPECT_EQ(CString(L"f1000000000000000000000000000000"), hex);

    const char* md5 = "0123456789abcdefFEDCBA9876543210";
    uint8_t bytes[16];
    HexToId(md5, bytes);
    EXPECT_EQ(0x10, bytes[0]);
    EXPECT_EQ(0xFE, bytes[7]);
    EXPECT_EQ(CString(L"0123456789abcdeffedcba9876543210"), IdToHex(bytes));

    HexToId("zz1", bytes); // not hex counts as 0, missing characters too
    EXPECT_EQ(0, bytes[0]);
    EXPECT_EQ(1, bytes[1]);
    EXPECT_EQ(0, bytes[15]);
}

TEST(ByteReader, FirstShortReadFailsEveryLaterRead)
{
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    ByteReader r(bytes, sizeof(bytes));
    uint32_t v32 = 0;
    uint16_t v16 = 0;
    ASSERT_TRUE(r.U32(v32));
    EXPECT_EQ(0x04030201u, v32);
    EXPECT_FALSE(r.U32(v32));
    EXPECT_FALSE(r.U16(v16)); // two bytes would have been there, but the reader failed already
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(0u, r.Remaining());

    ByteReader s(bytes, sizeof(bytes));
    EXPECT_TRUE(s.Seek(6));
    EXPECT_FALSE(s.Seek(7));
    ByteReader none(nullptr, 100);
    uint8_t b;
    EXPECT_FALSE(none.U8(b));
}

TEST(ByteWriter, AppendsLittleEndian)
{
    ByteWriter w;
    w.U8(1).U16(0x0302).U32(0x07060504).U64(0x0F0E0D0C0B0A0908ull).Zeros(2).WireString(CString(L"a"));
    const std::vector<uint8_t> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 0, 1, 0, 'a'};
    EXPECT_EQ(expected, w.Data());
}

} // namespace
