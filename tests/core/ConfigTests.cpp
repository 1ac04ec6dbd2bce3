#include "core/SessionContext.h"
#include "core/TextUtil.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>
#include <winsock2.h>

namespace {
struct Config : testing::Test {
    ScopedModuleFolder program;
    void Write(const char* text) { ASSERT_TRUE(WriteFileBytes(program.Path() + L"Lumenvale.ini", text)); }
};
} // namespace

TEST_F(Config, DefaultsWithoutFile)
{
    SessionContext* session = SessionContext::Instance();
    ASSERT_NE(nullptr, session);
    EXPECT_EQ(6789, session->gatewayPort);
    EXPECT_EQ(-1, session->bitrate);
    EXPECT_EQ(20141129u, session->room.roomId);
    EXPECT_STREQ(L"999", session->room.duration);
    EXPECT_EQ(eRole_Teacher, session->role);
    EXPECT_EQ(1u, session->NextSequence());
    EXPECT_EQ(2u, session->NextSequence());
    SessionContext::Destroy();
    EXPECT_EQ(nullptr, SessionContext::Existing());
}

TEST_F(Config, GatewayBitrateAndStreamServer)
{
    Write("[gateway]\r\nip=10.1.2.3\r\nip2=10.9.9.9\r\nport=7001\r\n[bitrate]\r\nkbps=512\r\n"
          "[StreamServer]\r\nid=65537\r\nip=192.168.1.20\r\nport=9000\r\n");
    SessionContext session;
    session.LoadConfig();
    EXPECT_STREQ(L"10.1.2.3", session.gatewayHost);
    EXPECT_STREQ(L"10.9.9.9", session.secondGatewayHost);
    EXPECT_EQ(7001, session.gatewayPort);
    EXPECT_EQ(512, session.bitrate);
    EXPECT_EQ(1, session.configuredStreamServer.id); // low 16 bits
    EXPECT_EQ(inet_addr("192.168.1.20"), session.configuredStreamServer.address);
    EXPECT_EQ(9000, session.configuredStreamServer.port);
    EXPECT_EQ(eServer_Stream, session.configuredStreamServer.kind);
    session.streamServer.id = 77;
    EXPECT_EQ(1, session.GetStreamServer().id); // configured wins when it has address and port
}

TEST_F(Config, MissingKeysEmptyTheGatewayAndIncompleteStreamServerIsIgnored)
{
    Write("[gateway]\r\nip2=\r\n[StreamServer]\r\nid=0\r\nip=1.2.3.4\r\nport=5\r\n");
    SessionContext session;
    session.LoadConfig();
    EXPECT_STREQ(L"", session.gatewayHost);           // ip absent: emptied
    EXPECT_EQ(-1, session.gatewayPort);               // port absent: -1
    EXPECT_STREQ(L"127.0.0.1", session.secondGatewayHost); // empty ip2 keeps the default
    EXPECT_EQ(0u, session.configuredStreamServer.address);
    session.streamServer.id = 77;
    EXPECT_EQ(77, session.GetStreamServer().id);
}

TEST_F(Config, LanguageTypeReloadsTheTable)
{
    CreateDirectoryW(program.Path() + L"Language", nullptr);
    ASSERT_TRUE(WriteFileBytes(program.Path() + L"Language\\English", "47=Lumenvale class\n"));
    Write("[language]\r\ntype=1\r\n");
    SessionContext session;
    session.LoadConfig();
    ASSERT_NE(nullptr, session.languageTable);
    EXPECT_EQ(1, session.languageTable->GetType());
    EXPECT_STREQ(L"Lumenvale class", session.languageTable->GetString(47));
}

TEST_F(Config, PenSettingsAreStoredOnlyWhenChanged)
{
    static int saved = 0;
    saved = 0;
    SessionContext::SetPenStore([](uint32_t, int32_t, int32_t, int32_t) { ++saved; });
    SessionContext session;
    session.SetPenSettings(0xFF000000, 0, 3, 0); // the defaults: nothing changes
    EXPECT_EQ(0, saved);
    session.SetPenSettings(0xFFFF0000, 1, 5, 2);
    EXPECT_EQ(1, saved);
    EXPECT_EQ(0xFFFF0000u, session.penColour);
    EXPECT_EQ(5, session.penWidth);
    SessionContext::SetPenStore(nullptr);
}
