#include "core/Folders.h"
#include "tests/support/MessageSink.h"
#include "tests/support/TestFolders.h"
#include "tests/updater/FakeHttpServer.h"
#include "updater/HttpDownload.h"

#include <gtest/gtest.h>
#include <winsock2.h>

namespace {

struct Download : testing::Test {
    FakeHttpServer server;
    TempFolder temp{L"dl"};
    MessageSink sink;
    std::unique_ptr<CHttpDownload> worker;

    CString Address(const wchar_t* path)
    {
        CString address;
        address.Format(L"http://127.0.0.1:%d%s", server.Port(), path);
        return address;
    }
    // Runs one download to its end; answers the final result posted.
    int Run(const CString& address, DWORD installerWaitMs = 10000)
    {
        worker.reset(new CHttpDownload(sink.Handle()));
        worker->tempFolder = temp.Path();
        worker->installerWaitMs = installerWaitMs;
        worker->Start(address);
        EXPECT_TRUE(PumpUntil([&] { return FinalResult() != kRunning; }, 20000));
        EXPECT_TRUE(worker->Join(5000));
        return FinalResult();
    }
    static const int kRunning = 1;
    int FinalResult() const
    {
        for (const PostedMessage& m : sink.Received(WM_DOWNLOAD_PROGRESS)) {
            if (m.lParam != 0) return static_cast<int>(m.lParam);
            if (m.wParam == 100) return 0;
        }
        return kRunning;
    }
    std::vector<WPARAM> Percents() const
    {
        std::vector<WPARAM> p;
        for (const PostedMessage& m : sink.Received(WM_DOWNLOAD_PROGRESS)) {
            if (m.lParam == 0) p.push_back(m.wParam);
        }
        return p;
    }
};

std::string ProbeBytes() { return ReadFileBytes(TestProgramFolder() + L"updater_probe.exe"); }

} // namespace

TEST_F(Download, FetchesRunsTheInstallerSilentlyAndReports100)
{
    std::string installer = ProbeBytes();
    ASSERT_GT(installer.size(), 1000u);
    server.Answer(FakeHttpServer::Ok(installer));
    EXPECT_EQ(0, Run(Address(L"/files/setup.exe")));
    EXPECT_EQ(installer, ReadFileBytes(temp.File(L"setup.exe")));
    std::string ran = ReadFileBytes(temp.File(L"setup.exe.ran"));
    std::wstring line(reinterpret_cast<const wchar_t*>(ran.data()), ran.size() / 2);
    EXPECT_NE(std::wstring::npos, line.find(L"/verysilent"));
    std::vector<WPARAM> percents = Percents();
    ASSERT_GE(percents.size(), 2u);
    EXPECT_EQ(99u, percents[percents.size() - 2]); // at most 99 while downloading
    EXPECT_EQ(100u, percents.back());
    std::string request = server.LastRequest();
    EXPECT_EQ(0u, request.find("GET /files/setup.exe?random="));
    EXPECT_NE(std::string::npos, request.find("\r\nHost:127.0.0.1\r\n"));
}

TEST_F(Download, BytesAfterTheAnnouncedLengthStayOutOfTheInstaller)
{
    std::string installer = ProbeBytes();
    server.Answer(FakeHttpServer::Ok(installer) + std::string(5000, 'Z'), true);
    EXPECT_EQ(0, Run(Address(L"/setup.exe")));
    std::string written = ReadFileBytes(temp.File(L"setup.exe"));
    EXPECT_EQ(installer.size(), written.size());
    EXPECT_TRUE(installer == written);
    std::vector<WPARAM> percents = Percents();
    ASSERT_FALSE(percents.empty());
    percents.pop_back();
    for (WPARAM p : percents) EXPECT_LE(p, 99u);
}

TEST_F(Download, BackslashesBecomeSlashes)
{
    server.Answer(FakeHttpServer::Ok(ProbeBytes()));
    CString address;
    address.Format(L"http:\\\\127.0.0.1:%d\\a\\setup.exe?random=7", server.Port());
    // The query stays in the file name, which a file may not carry: the request goes out, the file fails.
    EXPECT_EQ(-1, Run(address));
    EXPECT_EQ(0u, server.LastRequest().find("GET /a/setup.exe?random=7 HTTP/1.1"));
}

TEST_F(Download, ServerFailures)
{
    // Answers other than 200 carry a runnable program: only the status keeps it from being run.
    std::string program = ProbeBytes();
    auto answer = [&](const char* status) {
        return "HTTP/1.1 " + std::string(status) + "\r\nContent-Length: " + std::to_string(program.size()) +
               "\r\n\r\n" + program;
    };
    struct { std::string answer; int expected; } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10", -6},                      // header never ends
        {"HTTP/1.1 200 OK\r\n\r\nbody", -9},                                 // no length
        {"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", -9},                // zero length
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly a few bytes", -10},
        {answer("404 Not Found"), -9},
        {answer("302 Found"), -9},
        {answer("500 Internal Server Error"), -9},
        {"garbage\r\nContent-Length: 3\r\n\r\nabc", -9},
    };
    for (const auto& c : cases) {
        DeleteFileW(temp.File(L"setup.exe"));
        server.Answer(c.answer);
        sink.FreeAll();
        EXPECT_EQ(c.expected, Run(Address(L"/setup.exe"))) << c.answer.substr(0, 40);
        EXPECT_FALSE(FileExists(temp.File(L"setup.exe.ran"))) << c.answer.substr(0, 40);
        if (c.answer.compare(0, 12, "HTTP/1.1 200") != 0) {
            EXPECT_FALSE(FileExists(temp.File(L"setup.exe"))) << "no installer, but saved: " << c.answer.substr(0, 40);
        }
    }
}

TEST_F(Download, AddressAndConnectionFailures)
{
    EXPECT_EQ(-3, Run(L"http://127.0.0.1"));
    sink.FreeAll();
    EXPECT_EQ(-3, Run(L"http://no-such-host.invalid/setup.exe"));
    sink.FreeAll();
    // A port nobody listens on.
    SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    closesocket(probe);
    CString closed;
    closed.Format(L"http://127.0.0.1:%d/setup.exe", ntohs(address.sin_port));
    EXPECT_EQ(-4, Run(closed));
    sink.FreeAll();
    server.Answer(FakeHttpServer::Ok("x"));
    EXPECT_EQ(-1, Run(Address(L"/dir/"))); // no file name: the folder cannot be written
}

TEST_F(Download, SlowInstallerIsReportedAndStopEndsAStalledDownload)
{
    server.Answer(FakeHttpServer::Ok(ProbeBytes()));
    EXPECT_EQ(-11, Run(Address(L"/slow_setup.exe"), 300));

    sink.FreeAll();
    server.Answer("HTTP/1.1 200 OK\r\n", true); // the header never completes, the connection stays
    worker.reset(new CHttpDownload(sink.Handle()));
    worker->tempFolder = temp.Path();
    worker->stopWaitMs = 200;
    worker->Start(Address(L"/setup.exe"));
    ASSERT_TRUE(PumpUntil([&] { return server.Requests() >= 2; }, 5000));
    DWORD started = GetTickCount();
    worker->Stop();
    EXPECT_LT(GetTickCount() - started, 3000u);
    EXPECT_EQ(nullptr, worker->GetThreadHandle());
}

// Ending the thread by force can leave the heap or Winsock locked, so Stop must end a stalled
// download well inside its wait: whether the thread is blocked in a receive, or has not run yet.
TEST_F(Download, StopEndsAStalledOrUnstartedDownloadWithoutForce)
{
    server.Answer("HTTP/1.1 200 OK\r\n", true);
    for (bool waitForRequest : {true, false}) {
        SCOPED_TRACE(waitForRequest ? "blocked in the header" : "stopped at once");
        const int before = server.Requests();
        worker.reset(new CHttpDownload(sink.Handle()));
        worker->tempFolder = temp.Path();
        ASSERT_EQ(5000u, worker->stopWaitMs);
        ASSERT_NE(nullptr, worker->Start(Address(L"/setup.exe")));
        if (waitForRequest) {
            ASSERT_TRUE(PumpUntil([&] { return server.Requests() > before; }, 5000));
        }
        DWORD started = GetTickCount();
        worker->Stop();
        EXPECT_LT(GetTickCount() - started, 2000u);
        EXPECT_NE(0, worker->Result());
    }
}
