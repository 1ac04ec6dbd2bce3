// The outgoing commands: payload bytes against their layouts (what goes out is checked on the connect road).
#include "tests/protocol/ProtocolTestUtil.h"

#include "protocol/WireFormat.h"

using namespace fakeroom;

namespace {

TEST(RoomCommandBytes, Layouts)
{
    RoomInfoRecord room;
    room.roomId = 0x01020304;
    room.maxAudience = 500;
    room.maxAttendees = 2;
    room.maxHosts = 1;
    room.startTime = L"20141129083000";
    room.duration = L"90";
    room.roomState = 0x102;
    room.roomFlags = 0x12345;
    ChatFont font;
    font.bold = 1;
    font.size = 300;
    font.colour = 0xFF00FF00;
    font.family = L"Ab";
    PenBody pen{2, 3, 1, 0x0A0B0C0D};
    int64_t start = StartTimeToSeconds(room.startTime);
    Bytes startBytes(8);
    memcpy(startBytes.data(), &start, 8);

    struct Case {
        const char* name;
        Bytes actual;
        Bytes expected;
    } cases[] = {
        {"803 join request",
         BuildLoginPayload(room, 0x0A0B0C0D, eRole_Host, 2, CString(L"S\u00e9"), CString(L"u"), 0x0708),
         Concat(Concat({0x04, 0x03, 0x02, 0x01, 0xF4, 0x01, 2, 0, 1, 0, 1}, startBytes),
                {90, 0, 0xFF, 0xFF, 0x0D, 0x0C, 0x0B, 0x0A, 0x08, 0x07, 128, 2, 1, 3, 0, 'S', 0xC3, 0xA9, 1, 0, 'u'})},
        {"808 chat, size 300 is its low byte",
         BuildChatPayload(font, CString(L"hi")),
         {1, 0, 0, 44, 0x00, 0xFF, 0x00, 0xFF, 2, 0, 'A', 'b', 2, 0, 'h', 'i'}},
        {"811 class state", BuildClassStatePayload(0x01020304, room),
         {4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x45, 0x23}},
        {"818 element", BuildDrawElementPayload(0x23, 9, 0x0201, 0x06050403, 0x0E0D0C0B0A090807ull),
         {0x23, 9, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}},
        {"818 pen", BuildPenPayload(9, pen),
         Concat({0x01, 9, 0, 0, 0, 2, 3, 1, 0x0D, 0x0C, 0x0B, 0x0A}, Bytes(19, 0))},
        {"810 speak", BuildSpeakPayload(0x01020304, 132), {4, 3, 2, 1, 132}},
        {"824 kick", BuildKickPayload(0x01020304), {4, 3, 2, 1}},
        {"825 file notice",
         BuildFileNoticePayload(CString(L"f\u00e9"), CString(L"1f000000000000000000000000000000"), 0x11, 0x22, 0x33),
         Concat(Concat({0x22, 0, 0, 0, 0, 0, 0, 0, 0x33, 0, 0, 0, 0, 0, 0, 0, 0xF1}, Bytes(15, 0)),
                {0x11, 0, 0, 0, 3, 0, 'f', 0xC3, 0xA9})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, c.actual) << c.name;
}

TEST(RoomCommandBytes, StartTimeIsLocalTimeAndInvalidDatesGiveZero)
{
    tm local{};
    local.tm_year = 114;
    local.tm_mon = 10;
    local.tm_mday = 29;
    local.tm_hour = 8;
    local.tm_min = 30;
    local.tm_isdst = -1;
    EXPECT_EQ(static_cast<int64_t>(mktime(&local)), StartTimeToSeconds(CString(L"20141129083000")));
    for (const wchar_t* bad : {L"", L"2014112908300", L"20141329083000", L"20141100083000", L"20141129243000",
                               L"20141129086000", L"2014112908300x", L"18991129083000"}) {
        EXPECT_EQ(0, StartTimeToSeconds(CString(bad))) << bad;
    }
}

TEST(RoomCommandBytes, StrokesGoOutIn338PointMessagesWithTheSamePrefix)
{
    StrokeHead head{};
    head.page = 1;
    head.surfaceWidth = 640;
    struct Case {
        size_t points;
        std::vector<size_t> sizes;
    } cases[] = {{0, {24}}, {1, {28}}, {338, {24 + 1352}}, {676, {1376, 1376}}, {677, {1376, 1376, 28}}};
    for (const Case& c : cases) {
        std::vector<StrokePoint> points(c.points);
        for (size_t i = 0; i < points.size(); ++i) points[i] = {static_cast<int16_t>(i), static_cast<int16_t>(i + 1)};
        auto messages = BuildDrawPointsPayloads(0x12, 5, head, points);
        ASSERT_EQ(c.sizes.size(), messages.size()) << c.points;
        size_t next = 0;
        for (size_t m = 0; m < messages.size(); ++m) {
            EXPECT_EQ(c.sizes[m], messages[m].size());
            EXPECT_EQ(Bytes(messages[0].begin(), messages[0].begin() + 24), Bytes(messages[m].begin(), messages[m].begin() + 24));
            for (size_t at = 24; at < messages[m].size(); at += 4, ++next) {
                int16_t x;
                memcpy(&x, &messages[m][at], 2);
                EXPECT_EQ(static_cast<int16_t>(next), x);
            }
        }
        EXPECT_EQ(c.points, next);
    }
}

} // namespace
