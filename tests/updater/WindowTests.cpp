#include "tests/support/MessageSink.h"
#include "tests/support/Process.h"
#include "core/Folders.h"
#include "tests/support/TestFolders.h"
#include "tests/updater/FakeHttpServer.h"
#include "updater/DownloadWnd.h"
#include "updater/HttpDownload.h"
#include "updater/UpdateArgs.h"

#include <gtest/gtest.h>
#include <objidl.h>
#include <gdiplus.h>
#include <thread>

namespace {

struct GdiplusSession {
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&token, &input, nullptr);
    }
    ~GdiplusSession() { Gdiplus::GdiplusShutdown(token); }
    ULONG_PTR token = 0;
};

std::wstring ReadMarker(const CString& path)
{
    std::string bytes = ReadFileBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

} // namespace

TEST(DownloadWindow, ShowsTheFailureAndItsBar)
{
    GdiplusSession gdiplus;
    FakeHttpServer server;
    // A missing installer's error page, long enough and runnable: it must not be run.
    std::string page = ReadFileBytes(TestProgramFolder() + L"updater_probe.exe");
    server.Answer("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page);
    TempFolder temp(L"wnd");
    CDownloadWnd::s_tempFolder = temp.Path();
    CString address;
    address.Format(L"http://127.0.0.1:%d/setup.exe", server.Port());
    CDownloadWnd* window = new CDownloadWnd(address, L"", L"");
    HWND hwnd = window->Create(nullptr, L"Lumenvale Update", WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE, 0, 0, 400, 160);
    ASSERT_NE(nullptr, hwnd) << "needs a display";
    window->CenterWindow();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    ASSERT_TRUE(PumpUntil([&] { return !IsWindow(hwnd) || window->ErrorCode() != 0; }, 10000));
    ASSERT_TRUE(IsWindow(hwnd)) << "the window closed as after an installation";
    EXPECT_EQ(-9, window->ErrorCode());
    UpdateWindow(hwnd);
    PumpUntil([] { return false; }, 200);
    EXPECT_FALSE(FileExists(temp.File(L"setup.exe.ran"))) << "the error page was run";
    EXPECT_TRUE(IsWindowVisible(hwnd));

    wchar_t className[64] = {};
    GetClassNameW(hwnd, className, 64);
    EXPECT_STREQ(L"DOWNLOADWND", className);
    RECT client;
    GetClientRect(hwnd, &client);
    int x = (client.right - 330) / 2, y = (client.bottom - 14) / 2;
    HDC dc = GetDC(hwnd);
    COLORREF frame = GetPixel(dc, x + 150, y);
    COLORREF background = GetPixel(dc, 2, 2);
    ReleaseDC(hwnd, dc);
    EXPECT_EQ(RGB(0x6E, 0xA0, 0xC5), frame);
    EXPECT_GE(GetRValue(background), 0xF0);

    DestroyWindow(hwnd); // deletes the window object, which stops its worker
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "closing the window ends the program";
    CDownloadWnd::s_tempFolder.Empty();
}

namespace {
// A download window whose making fails after the window began to exist: it answers WM_CREATE with -1.
int g_windowsFreed = 0;
class FailingWindow : public CDownloadWnd {
public:
    FailingWindow() : CDownloadWnd(L"http://127.0.0.1:1/setup.exe", L"", L"") {}
    ~FailingWindow() override { ++g_windowsFreed; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_CREATE) return -1;
        return CDownloadWnd::HandleMessage(message, wParam, lParam);
    }
};
} // namespace

TEST(DownloadWindow, AWindowThatCannotBeMadeIsFreedOnceAndEndsTheProgram)
{
    g_windowsFreed = 0;
    EXPECT_FALSE(OpenDownloadWindow(new FailingWindow));
    EXPECT_EQ(1, g_windowsFreed);
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the message loop would not end";
}

// Runs one download window to its end with the probe as the installer; true when it closed itself
// after the installer ran.
static bool RunToTheEnd(const TempFolder& temp, const CString& program, const CString& arguments)
{
    FakeHttpServer server;
    server.Answer(FakeHttpServer::Ok(ReadFileBytes(TestProgramFolder() + L"updater_probe.exe")));
    CDownloadWnd::s_tempFolder = temp.Path();
    CString address;
    address.Format(L"http://127.0.0.1:%d/setup.exe", server.Port());
    CDownloadWnd* window = new CDownloadWnd(address, program, arguments);
    HWND hwnd = window->Create(nullptr, L"Lumenvale Update", WS_CAPTION | WS_SYSMENU, WS_EX_WINDOWEDGE, 0, 0, 400, 160);
    bool closed = hwnd && PumpUntil([&] { return !IsWindow(hwnd); }, 40000);
    CDownloadWnd::s_tempFolder.Empty();
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return closed && FileExists(temp.Path() + L"setup.exe.ran");
}

TEST(DownloadWindow, RestartsTheClientOnlyWhenItWasStartedWithArguments)
{
    GdiplusSession gdiplus;
    TempFolder temp(L"restart");
    CString client = temp.Path() + L"client.exe";
    ASSERT_TRUE(CopyFileW(TestProgramFolder() + L"updater_probe.exe", client, FALSE));

    ASSERT_TRUE(RunToTheEnd(temp, client, L"Lumenvalep://abc"));
    // The probe creates its marker before it writes it: wait for the line, not the file.
    ASSERT_TRUE(PumpUntil([&] { return ReadMarker(client + L".ran").find(L" Lumenvalep://abc") != std::wstring::npos; },
                          10000))
        << "the client was not restarted with its arguments: " << ReadMarker(client + L".ran");
    ASSERT_TRUE(DeleteFileW(client + L".ran"));
    ASSERT_TRUE(DeleteFileW(temp.Path() + L"setup.exe.ran"));

    ASSERT_TRUE(RunToTheEnd(temp, client, L""));
    // The restart would have been started before the window closed; give it the time it took above.
    Sleep(1000);
    EXPECT_FALSE(FileExists(client + L".ran")) << "a client started without arguments was restarted";
}

TEST(UpdateProgram, RelocatesDownloadsInstallsAndRestartsTheClient)
{
    FakeHttpServer server;
    server.Answer(FakeHttpServer::Ok(ReadFileBytes(TestProgramFolder() + L"updater_probe.exe")));
    CString client = TestProgramFolder() + L"updater_probe.exe";
    DeleteFileW(client + L".ran");
    CString installer = TempFolderPath() + L"lv_setup_e2e.exe";
    DeleteFileW(installer + L".ran");
    CString arguments;
    arguments.Format(L" http://127.0.0.1:%d/lv_setup_e2e.exe;%s;Lumenvalep://abc", server.Port(), client.GetString());

    ChildResult first = RunChild(TestProgramFolder() + L"Update.exe", arguments, nullptr, 30000);
    ASSERT_TRUE(first.finished);
    EXPECT_EQ(0u, first.exitCode) << "the first run only starts its copy";
    ASSERT_TRUE(PumpUntil([&] { return FileExists(client + L".ran"); }, 30000)) << "the client was not restarted";
    EXPECT_NE(std::wstring::npos, ReadMarker(installer + L".ran").find(L" /verysilent"));
    std::wstring restarted = ReadMarker(client + L".ran");
    EXPECT_NE(std::wstring::npos, restarted.find(L" Lumenvalep://abc")) << restarted;
    EXPECT_TRUE(FileExists(TempFolderPath() + L"Lumenvale-Update0.exe") ||
                FileExists(TempFolderPath() + L"Lumenvale-Update1.exe"));
    DeleteFileW(client + L".ran");
}

TEST(UpdateProgram, WithoutAWritableTemporaryFolderItSaysSoAndStartsNothing)
{
    CString probe = TestProgramFolder() + L"updater_probe.exe";
    DeleteFileW(probe + L".ran");
    CString missing = TestProgramFolder() + L"no-such-temp\\";
    std::wstring environment = L"TMP=" + std::wstring(missing.GetString()) + L'\0' + L"TEMP=" +
                               std::wstring(missing.GetString()) + L'\0' + L'\0';
    ChildResult run;
    std::thread child([&] {
        run = RunChild(TestProgramFolder() + L"Update.exe", L" " + probe + L" x;y;z", environment.c_str(), 30000);
    });
    // The client has closed by now: the updater's box is all the user gets. Read it, then press its button.
    HWND box = nullptr;
    std::wstring text;
    HWND button = nullptr;
    // The box exists before its controls are filled in: wait for its text.
    PumpUntil([&] {
        box = FindWindowW(L"#32770", L"Error");
        for (HWND c = box ? GetWindow(box, GW_CHILD) : nullptr; c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t className[32] = {}, words[256] = {};
            GetClassNameW(c, className, 32);
            GetWindowTextW(c, words, 256);
            if (_wcsicmp(className, L"Button") == 0) button = c;
            else if (_wcsicmp(className, L"Static") == 0 && words[0]) text = words;
        }
        return !text.empty() && button;
    }, 20000);
    if (box) PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    child.join();
    ASSERT_NE(nullptr, box) << "the updater ended without a word";
    EXPECT_EQ(L"Cannot copy the updater into the temporary folder!", text);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(1u, run.exitCode) << "no copy could be made, so nothing was started";
    Sleep(500);
    EXPECT_FALSE(FileExists(probe + L".ran")) << "the command line was started as a program";
    DeleteFileW(probe + L".ran");
}
