#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Base64Encode(const std::string& bytes)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    }
    return out;
}

CString Link(const wchar_t* items, const wchar_t* scheme = L"Lumenvalep://")
{
    return CString(scheme) + AnsiToWide(Base64Encode(Utf16ToUtf8(items)).c_str());
}

struct LaunchLink : testing::Test {
    // A fresh session record without a configuration file, so only the link changes it.
    ScopedModuleFolder program;
    std::unique_ptr<SessionContext> session{new SessionContext};
    int Parse(const CString& commandLine)
    {
        session->commandLine = commandLine;
        return session->ParseLaunchUrl();
    }
};

// The fifteen keys other than screenname, each with a value.
const wchar_t kFifteen[] =
    L"roomid=1&roomname=R&roomdesp=D&maxattend=2&maxaud=3&starttime=20141129120000&dur=45&teacher=T"
    L"&userid=9&username=U&roletype=4&sex=0&quality=2&serverip=10.0.0.1&serverport=7000";

} // namespace

TEST_F(LaunchLink, EveryKeyReachesItsField)
{
    EXPECT_EQ(0, Parse(Link(L"roomid=4294967295&roomname=\u6570\u5b66&roomdesp= Desc &maxattend=12&maxaud=600"
                            L"&starttime=20141129120000&dur=90&teacher=Ms T&userid=42&username=ann&roletype=1"
                            L"&sex=2&quality=3&serverip=gw.example&serverport=6000&screenname=Ann B")));
    EXPECT_EQ(4294967295u, session->room.roomId);
    EXPECT_STREQ(L"\u6570\u5b66", session->room.roomName);
    EXPECT_STREQ(L"Desc", session->room.description); // values are trimmed
    EXPECT_EQ(12, session->room.maxAttendees);
    EXPECT_EQ(600, session->room.maxAudience);
    EXPECT_STREQ(L"20141129120000", session->room.startTime);
    EXPECT_STREQ(L"90", session->room.duration);
    EXPECT_STREQ(L"Ms T", session->room.teacherName);
    EXPECT_EQ(42u, session->userId);
    EXPECT_STREQ(L"ann", session->userName);
    EXPECT_EQ(eRole_Host, session->role);
    EXPECT_EQ(2, session->userSex);
    EXPECT_EQ(3u, session->room.quality);
    EXPECT_STREQ(L"gw.example", session->gatewayHost);
    EXPECT_EQ(6000, session->gatewayPort);
    EXPECT_STREQ(L"Ann B", session->screenName);
    EXPECT_STREQ(L"127.0.0.1", session->secondGatewayHost); // never touched by the link
}

TEST_F(LaunchLink, RoleTypes)
{
    struct { const wchar_t* link; uint8_t role; } cases[] = {
        {L"roletype=1", eRole_Host}, {L"roletype=2", eRole_Teacher}, {L"roletype=4", eRole_Student},
        {L"roletype=3", eRole_Student}, {L"roletype=x", eRole_Student},
    };
    for (const auto& c : cases) {
        session->role = eRole_Student;
        EXPECT_EQ(0, Parse(Link(c.link)));
        EXPECT_EQ(c.role, session->role) << c.link;
    }
}

TEST_F(LaunchLink, ResultCodesForEmptyAndBrokenLinks)
{
    EXPECT_EQ(1, Parse(L""));
    EXPECT_EQ(3, Parse(L"Lumenvalep://"));      // decodes to nothing: one empty last piece
    EXPECT_EQ(3, Parse(L"Lumenvalep://!!!!"));  // garbage decodes to zero bytes
    EXPECT_EQ(3, Parse(Link(L"roomid=1&junk"))); // an unknown last piece with 1 item
}

TEST_F(LaunchLink, FourteenAndFifteenItemRules)
{
    // Fourteen items, then an unknown last piece: a wrong parameter count.
    CString fourteen(kFifteen);
    fourteen = fourteen.Left(fourteen.Find(L"&serverport"));
    EXPECT_EQ(3, Parse(Link(fourteen + L"&tail")));
    // Fifteen items: the piece belongs to the fifteenth value.
    EXPECT_EQ(0, Parse(Link(CString(kFifteen) + L"&tail")));
    EXPECT_EQ(7000, session->gatewayPort); // "7000&tail" reads as 7000
    EXPECT_EQ(0, Parse(Link(CString(L"roomid=5&roomname=x&more&userid=3"))));
    EXPECT_EQ(5u, session->room.roomId);
    EXPECT_STREQ(L"x&more", session->room.roomName); // not the last piece: glued
    EXPECT_EQ(3u, session->userId);
}

TEST_F(LaunchLink, SchemeCaseTrailingSlashAndBareBase64)
{
    EXPECT_EQ(0, Parse(Link(L"roomid=8&username=bob/", L"LUMENVALEP://")));
    EXPECT_EQ(8u, session->room.roomId);
    EXPECT_STREQ(L"bob", session->userName);
    EXPECT_EQ(0, Parse(Link(L"roomid=11", L"")));
    EXPECT_EQ(11u, session->room.roomId);
    // Line feeds inside the Base64 text are ignored.
    CString wrapped = Link(L"roomid=12&userid=13");
    wrapped.Insert(wrapped.GetLength() - 4, L"\n");
    EXPECT_EQ(0, Parse(wrapped));
    EXPECT_EQ(13u, session->userId);
}

TEST_F(LaunchLink, UserNameFallsBackToScreenName)
{
    EXPECT_EQ(0, Parse(Link(L"userid=1&screenname=Shown")));
    EXPECT_STREQ(L"Shown", session->userName);
    EXPECT_STREQ(L"Shown", session->GetUserName());
}

TEST_F(LaunchLink, KeysAreCaseInsensitiveOnlyAfterTheyStartAnItem)
{
    // "RoomId" does not start an item (the prefix test is exact), so it is glued to the previous one.
    EXPECT_EQ(0, Parse(Link(L"roomname=a&RoomId=3&userid=5")));
    EXPECT_STREQ(L"a&RoomId=3", session->room.roomName);
    EXPECT_EQ(0, Parse(Link(L"roomid =6")));
    EXPECT_EQ(6u, session->room.roomId);
}

namespace {
// Each field a launch link can set, as text with its name.
std::vector<std::wstring> LinkFields(const SessionContext& s)
{
    auto text = [](const wchar_t* name, const CString& value) { return std::wstring(name) + L"=" + value.GetString(); };
    auto number = [](const wchar_t* name, long long value) { return std::wstring(name) + L"=" + std::to_wstring(value); };
    return {number(L"roomid", s.room.roomId),          text(L"roomname", s.room.roomName),
            text(L"roomdesp", s.room.description),      number(L"maxattend", s.room.maxAttendees),
            number(L"maxaud", s.room.maxAudience),      text(L"starttime", s.room.startTime),
            text(L"dur", s.room.duration),              text(L"teacher", s.room.teacherName),
            number(L"userid", s.userId),                text(L"username", s.userName),
            number(L"role", s.role),                    number(L"sex", s.userSex),
            number(L"quality", s.room.quality),         text(L"serverip", s.gatewayHost),
            number(L"serverport", s.gatewayPort),       text(L"screenname", s.screenName)};
}
} // namespace

TEST_F(LaunchLink, GarbageNeverCrashes)
{
    // Every field a link can set starts away from its default, so a parse that reset one would show.
    ASSERT_EQ(0, Parse(Link(L"roomid=77&roomname=Room&roomdesp=Desc&maxattend=12&maxaud=34&starttime=20200102030405"
                            L"&dur=55&teacher=Teach&userid=88&username=User&roletype=4&sex=0&quality=5"
                            L"&serverip=gw.example&serverport=4321&screenname=Screen")));
    const std::vector<std::wstring> before = LinkFields(*session), defaults = LinkFields(SessionContext());
    ASSERT_EQ(defaults.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_NE(defaults[i], before[i]);
    const CString secondGateway = session->secondGatewayHost;

    unsigned seed = 12345;
    for (int i = 0; i < 500; ++i) {
        CString noise;
        int length = static_cast<int>(seed % 60);
        for (int j = 0; j < length; ++j) {
            seed = seed * 1103515245 + 12345;
            noise += static_cast<wchar_t>(1 + (seed >> 16) % 0x2FF);
        }
        // Noise decodes to no item at all: the count is wrong and nothing of the session changes.
        bool linked = i % 2 != 0;
        int result = Parse(linked ? L"Lumenvalep://" + noise : noise);
        ASSERT_EQ(length == 0 && !linked ? 1 : 3, result) << i;
        ASSERT_EQ(before, LinkFields(*session)) << i;
        ASSERT_STREQ(secondGateway, session->secondGatewayHost) << i;
    }
}
