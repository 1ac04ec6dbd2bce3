// The client program itself under Xvfb: the first start shows the login window over a hidden main
// window; a second start tells the user and exits, leaving the first untouched; closing the main
// window ends the client; the log holds the banner and the build time in order.
#include "core/TextUtil.h"
#include "tests/support/Pixels.h"
#include "tests/support/TestFolders.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The client's folder copied (programs linked, skin copied), with or without a language table, so a
// test can change what the client reads from its own folder without touching the shared one.
class ProgramCopy {
public:
    explicit ProgramCopy(const std::string* language) : m_folder(L"prog")
    {
        const CString from = TestProgramFolder();
        ok = Link(from, L"Lumenvale.exe") && Link(from, L"Castmix.dll") && Link(from, L"Sonarel.dll") &&
             Link(from, L"Vidlatch.dll") && CopyFileW(from + L"Lumenvale.ini", m_folder.File(L"Lumenvale.ini"), FALSE) &&
             CopyTree(from + L"skin\\", m_folder.File(L"skin\\"));
        if (ok && language) {
            ok = CreateDirectoryW(m_folder.File(L"Language"), nullptr) &&
                 WriteFileBytes(m_folder.File(L"Language\\English"), *language);
        }
    }
    const CString& Path() const { return m_folder.Path(); }
    bool ok = false;

private:
    bool Link(const CString& from, const wchar_t* name)
    {
        return CreateHardLinkW(m_folder.File(name), from + name, nullptr) ||
               CopyFileW(from + name, m_folder.File(name), FALSE);
    }
    static bool CopyTree(const CString& from, const CString& to)
    {
        if (!CreateDirectoryW(to, nullptr)) return false;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW(from + L"*", &found);
        if (search == INVALID_HANDLE_VALUE) return false;
        bool ok = true;
        do {
            CString name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ok = ok && CopyTree(from + name + L"\\", to + name + L"\\");
            else ok = ok && CopyFileW(from + name, to + name, FALSE);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        return ok;
    }
    TempFolder m_folder;
};

class Child {
public:
    Child(const CString& dataFolder, const CString& programFolder = TestProgramFolder())
    {
        CString program = programFolder + L"Lumenvale.exe";
        CString commandLine = L"\"" + program + L"\"";
        std::wstring env;
        for (const wchar_t* p = m_env = GetEnvironmentStringsW(); *p; p += wcslen(p) + 1)
            if (_wcsnicmp(p, L"LUMENVALE_DATA_FOLDER=", 22) != 0) env += std::wstring(p) + L'\0';
        FreeEnvironmentStringsW(m_env);
        env += L"LUMENVALE_DATA_FOLDER=" + std::wstring(dataFolder.GetString()) + L'\0';
        env += L'\0';
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        started = CreateProcessW(program, commandLine.GetBuffer(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                 &env[0], nullptr, &startup, &m_info) != FALSE;
        commandLine.ReleaseBuffer();
    }
    ~Child()
    {
        if (!started) return;
        if (WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_info.hProcess, 0xDEAD);
        CloseHandle(m_info.hThread);
        CloseHandle(m_info.hProcess);
    }
    // The first visible or hidden top-level window of the class that this process owns.
    HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs) const
    {
        DWORD end = GetTickCount() + timeoutMs;
        while (static_cast<int>(end - GetTickCount()) > 0) {
            for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
                 w = FindWindowExW(nullptr, w, className, nullptr)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                if (pid == m_info.dwProcessId) return w;
            }
            if (!Running()) return nullptr;
            Sleep(20);
        }
        return nullptr;
    }
    bool Running() const { return started && WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT; }
    bool WaitForExit(DWORD timeoutMs) const { return WaitForSingleObject(m_info.hProcess, timeoutMs) == WAIT_OBJECT_0; }

    bool started = false;

private:
    PROCESS_INFORMATION m_info{};
    wchar_t* m_env = nullptr;
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The distinct colours the screen shows of a window: a blank window has one.
size_t ColoursOnScreen(HWND window)
{
    const WindowPixels shot = CaptureClient(window);
    return std::set<uint32_t>(shot.pixels.begin(), shot.pixels.end()).size();
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

TEST(ClientStartup, SecondInstanceTellsTheUserAndTheFirstRunsOn)
{
    TempFolder data(L"app");
    Child first(data.Path());
    ASSERT_TRUE(first.started);
    HWND login = first.WaitForWindow(L"__LumenvaleLoginWnd__", 20000);
    ASSERT_NE(login, nullptr);
    HWND main = first.WaitForWindow(L"__LumenvaleMainWnd__", 2000);
    ASSERT_NE(main, nullptr);
    // The login window is shown, then the main window hidden.
    for (int i = 0; i < 500 && (!IsWindowVisible(login) || IsWindowVisible(main)); ++i) Sleep(10);
    EXPECT_TRUE(IsWindowVisible(login));
    EXPECT_FALSE(IsWindowVisible(main));
    wchar_t title[64] = {};
    GetWindowTextW(main, title, 64);
    EXPECT_STREQ(title, L"LumenvaleV2");
    EXPECT_EQ(GetWindow(login, GW_OWNER), main);
    // What the user sees of it is its skin, not an empty frame: background, text and status at least.
    size_t colours = 0;
    for (int i = 0; i < 100 && colours < 3; ++i, Sleep(20)) colours = ColoursOnScreen(login);
    EXPECT_GE(colours, 3u);

    {
        Child second(data.Path());
        ASSERT_TRUE(second.started);
        HWND box = second.WaitForWindow(L"__LVMessageBox__", 20000);
        ASSERT_NE(box, nullptr);
        wchar_t boxTitle[32] = {};
        GetWindowTextW(box, boxTitle, 32);
        EXPECT_STREQ(boxTitle, L"LVMessageBox");
        // No second main window while the box is up.
        EXPECT_EQ(second.WaitForWindow(L"__LumenvaleMainWnd__", 100), nullptr);
        Sleep(300);
        PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
        EXPECT_TRUE(second.WaitForExit(10000));
    }
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(login));

    // Closing the main window ends the client.
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(10000));

    std::vector<std::string> lines = Lines(ReadFileBytes(data.Path() + L"Log\\log.txt"));
    const std::string dashes = "---------------------------------------------------------";
    const std::string running = "--------------------Lumenvale Running--------------------";
    // The first start's banner is followed by its build time; the second start (whose log file is
    // held open by the first) never gets as far as the build time.
    std::vector<size_t> banners;
    for (size_t i = 0; i + 2 < lines.size(); ++i)
        if (EndsWith(lines[i], dashes) && EndsWith(lines[i + 1], running) && EndsWith(lines[i + 2], dashes)) banners.push_back(i);
    ASSERT_GE(banners.size(), 1u) << ReadFileBytes(data.Path() + L"Log\\log.txt");
    EXPECT_EQ(banners[0], 0u);
    ASSERT_GT(lines.size(), banners[0] + 3);
    EXPECT_NE(lines[banners[0] + 3].find("Infor : build time "), std::string::npos);
    size_t buildTimes = 0;
    for (const std::string& line : lines) buildTimes += line.find("Infor : build time ") != std::string::npos;
    EXPECT_EQ(buildTimes, 1u);
}

// The main window's title is the language table's text 47, and "LumenvaleV2" without a table.
TEST(ClientStartup, TheTitleComesFromTheLanguageTableAndLoginCloseButtonEndsTheClient)
{
    std::string shipped = ReadFileBytes(TestProgramFolder() + L"Language\\English");
    size_t at = shipped.find("\n47=");
    ASSERT_NE(at, std::string::npos);
    std::string renamed = shipped.substr(0, at) + "\n47=Lumenvale Classroom" + shipped.substr(shipped.find('\n', at + 1));
    const std::string* const languages[] = {&renamed, nullptr};
    for (const std::string* language : languages) {
        SCOPED_TRACE(language ? "with a table" : "without a table");
        ProgramCopy folder(language);
        ASSERT_TRUE(folder.ok);
        TempFolder data(L"app");
        Child client(data.Path(), folder.Path());
        ASSERT_TRUE(client.started);
        HWND main = client.WaitForWindow(L"__LumenvaleMainWnd__", 20000);
        ASSERT_NE(main, nullptr);
        wchar_t title[64] = {};
        GetWindowTextW(main, title, 64);
        EXPECT_STREQ(title, language ? L"Lumenvale Classroom" : L"LumenvaleV2");
        if (language) continue; // the window closes with the client
        HWND login = client.WaitForWindow(L"__LumenvaleLoginWnd__", 20000);
        ASSERT_NE(login, nullptr);
        Sleep(300);
        // The login skin puts its close button in the top right corner of the caption.
        RECT rc;
        GetClientRect(login, &rc);
        LPARAM at = MAKELPARAM(rc.right - 16, 16);
        PostMessageW(login, WM_MOUSEMOVE, 0, at);
        PostMessageW(login, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(login, WM_LBUTTONUP, 0, at);
        EXPECT_TRUE(client.WaitForExit(10000));
    }
}

// An installation that lost the main window's skin: the window layer's reasons reach the client's log
// word for word, and the client ends instead of waiting for a window that never comes.
TEST(ClientStartup, AMissingMainSkinIsLoggedAndTheClientEnds)
{
    ProgramCopy folder(nullptr);
    ASSERT_TRUE(folder.ok);
    ASSERT_TRUE(DeleteFileW(folder.Path() + L"skin\\MainWnd.xml"));
    TempFolder data(L"app");
    Child client(data.Path(), folder.Path());
    ASSERT_TRUE(client.started);
    EXPECT_TRUE(client.WaitForExit(20000));
    const std::string log = ReadFileBytes(data.Path() + L"Log\\log.txt");
    const std::string skin = Utf16ToUtf8(folder.Path() + L"skin\\MainWnd.xml");
    const std::vector<std::string> lines = Lines(log);
    const std::vector<std::string> expected = {
        " : Error : skin " + skin + " cannot be opened (0x80070002)",
        " : Error : window __LumenvaleMainWnd__: skin MainWnd.xml could not be loaded",
        " : Error : window __LumenvaleMainWnd__ cannot be created (2)",
        " : Error : main window cannot be created; the client ends",
    };
    // The last lines of the log, in this order, after the banner and the build time.
    ASSERT_EQ(lines.size(), 4 + expected.size()) << log;
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(EndsWith(lines[4 + i], expected[i])) << lines[4 + i];
}
