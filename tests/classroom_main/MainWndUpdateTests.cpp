// An update announced by the gateway ends every connection of this process, so it runs on its own.
#include "tests/classroom_main/MainWndTestSupport.h"

#include "tests/support/TestFolders.h"

using namespace fakeroom;

TEST(MainWndRoom, AnUpdaterThatCannotStartIsReportedInTheLoginWindow)
{
    MainWndHarness h;
    h.room.gateway.SetVersionReply(7, "http://127.0.0.1:1/setup.exe");
    ASSERT_TRUE(h.Start());
    ScopedModuleFolder noUpdater; // a program folder without Update.exe
    ASSERT_TRUE(PumpUntil([] { return LoginStatus() == L"Star Update Process Failed!"; }, 10000)) << LoginStatus().GetString();
    EXPECT_TRUE(IsWindow(h.window));
    EXPECT_FALSE(h.main->IsJoined());
    EXPECT_EQ(h.room.reg.Accepted(), 0);
}

