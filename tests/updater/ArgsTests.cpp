#include "updater/HttpDownload.h"
#include "updater/UpdateArgs.h"

#include <gtest/gtest.h>

TEST(UpdateArgs, Grammar)
{
    struct { const wchar_t* line; bool ok; const wchar_t* address; const wchar_t* program; const wchar_t* arguments; } cases[] = {
        {L"", true, L"", L"", L""},
        {L" http://h/setup.exe;C:\\Lumenvale\\Lumenvale.exe;Lumenvalep://abc", true, L"http://h/setup.exe",
         L"C:\\Lumenvale\\Lumenvale.exe", L"Lumenvalep://abc"},
        {L"a;b", false, L"", L"", L""},          // one ';'
        {L"a;", false, L"", L"", L""},           // the first ';' is the last character
        {L"a;b;", true, L"a", L"b", L""},        // ends right after the second ';'
        {L"a;;c", true, L"a", L"", L"c"},        // an empty program
        {L"a;b;c;d", true, L"a", L"b", L"c;d"},  // a third ';' stays in the arguments
        {L"  a  ;  b  ;  c  ", true, L"a", L"b", L"c"},
        {L"no separators", false, L"", L"", L""},
    };
    for (const auto& c : cases) {
        CString address = L"x", program = L"x", arguments = L"x";
        EXPECT_EQ(c.ok, SplitUpdateArgs(c.line, address, program, arguments)) << c.line;
        if (!c.ok) continue;
        EXPECT_STREQ(c.address, address) << c.line;
        EXPECT_STREQ(c.program, program) << c.line;
        EXPECT_STREQ(c.arguments, arguments) << c.line;
    }
}

TEST(DownloadAddress, SplitsHostPortPathAndFile)
{
    DownloadTarget t;
    ASSERT_TRUE(ParseDownloadUrl(L"http://dl.example:8080/pkg/setup.exe", L"C:\\tmp\\", 1234, t));
    EXPECT_STREQ(L"dl.example", t.host);
    EXPECT_EQ(8080, t.port);
    EXPECT_STREQ(L"/pkg/setup.exe?random=1234", t.path);
    EXPECT_STREQ(L"C:\\tmp\\setup.exe", t.destination);

    ASSERT_TRUE(ParseDownloadUrl(L"http://dl.example/setup.exe?random=5", L"T\\", 99, t));
    EXPECT_EQ(80, t.port);
    EXPECT_STREQ(L"/setup.exe?random=5", t.path); // already random: sent unchanged

    ASSERT_TRUE(ParseDownloadUrl(L"http://dl.example/dir/", L"T\\", 1, t));
    EXPECT_STREQ(L"T\\", t.destination); // no file name: the folder itself, which cannot be written

    EXPECT_FALSE(ParseDownloadUrl(L"http://dl.example", L"T\\", 1, t)); // no path
    EXPECT_FALSE(ParseDownloadUrl(L"", L"T\\", 1, t));
}

TEST(DownloadAddress, RequestTextAndContentLength)
{
    EXPECT_EQ("GET /a?random=1 HTTP/1.1\r\nHost:h\r\nAccept: *.*\r\nUser-Agent: ZentoraBrower\r\nPragma: no-cache\r\n"
              "Cache-Control: no-cache\r\nConnection:Keep-Alive\r\n\r\n",
              BuildDownloadRequest(L"/a?random=1", L"h"));
    auto length = [](const std::string& h) { return ParseContentLength(h.data(), h.size()); };
    EXPECT_EQ(1234u, length("HTTP/1.1 200 OK\r\nContent-Length:    1234\r\n\r\n"));
    EXPECT_EQ(0u, length("HTTP/1.1 200 OK\r\ncontent-length: 12\r\n\r\n")); // exact letter case only
    EXPECT_EQ(0u, length("HTTP/1.1 200 OK\r\n\r\n"));
    EXPECT_EQ(0u, length("Content-Length: 99999999999999999999999999\r\n"));
    EXPECT_EQ(5000000000u, length("Content-Length: 5000000000\r\n"));
    auto status = [](const std::string& h) { return ParseStatusCode(h.data(), h.size()); };
    EXPECT_EQ(200, status("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n"));
    EXPECT_EQ(200, status("HTTP/1.0 200\r\n\r\n"));
    EXPECT_EQ(404, status("HTTP/1.1 404 Not Found\r\n\r\n"));
    EXPECT_EQ(0, status("HTTP/1.1 2000 OK\r\n\r\n"));
    EXPECT_EQ(0, status("HTTP/1.1 20 OK\r\n\r\n"));
    EXPECT_EQ(0, status("ICY 200 OK\r\n\r\n"));
    EXPECT_EQ(0, status("HTTP/1.1\r\nX: 200 OK\r\n\r\n"));
    EXPECT_EQ(0, status(""));
}
