// CHttp against scripted peers: the exact request blocks, reply bodies with
// NUL bytes, odd header lines, status codes, stalls, resets, cancelling,
// and the fixed texts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>

#include "ScriptedPeer.h"
#include "TestFiles.h"
#include "platform/WaitHook.h"
#include "web/CHttp.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;

// Reads one request: its lines up to the empty one, then a body of the
// Content-Length it names.
struct Request {
    std::string first;
    std::set<std::string> lines;
    std::string body;
};

Request ReadRequest(PeerConnection& c) {
    Request r;
    r.first = c.ReadLine();
    std::size_t length = 0;
    for (std::string line; !(line = c.ReadLine()).empty();) {
        if (line.rfind("Content-Length: ", 0) == 0) length = std::stoul(line.substr(16));
        r.lines.insert(line);
    }
    if (length) r.body = c.Read(length);
    return r;
}

// A peer that answers one request with `reply` and keeps what it read.
struct OneShot {
    Request got;
    ScriptedPeer peer;
    explicit OneShot(std::string reply)
        : peer([this, reply](PeerConnection& c) {
              got = ReadRequest(c);
              c.Write(reply);
          }) {}
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(peer.Port()) + path;
    }
};

TEST(HttpScripted, StandardAndCallerBlocksExactly) {
    const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi";
    CHttp http;
    http.m_strUser = "u";  // empty password: the colon is still sent
    std::string finalUrl, body, text;
    int code = -1;
    {
        OneShot s(ok);
        // User info in the URL never reaches the wire.
        const std::string url = "http://evil:pw@127.0.0.1:" + std::to_string(s.peer.Port()) + "/p?q=1";
        ASSERT_EQ(http.httpGet(url, "", finalUrl, body, code, text), 1) << text;
        s.peer.Join();
        EXPECT_EQ(s.got.first, "GET /p?q=1 HTTP/1.1");
        const std::set<std::string> expected = {
            "Host: 127.0.0.1:" + std::to_string(s.peer.Port()),
            "User-Agent: Mozilla/4.0(compatible;MSIE4.01;windows95)", "Referer: 127.0.0.1",
            "Accept: */*", "Authorization: Basic dTo="};
        EXPECT_EQ(s.got.lines, expected);
        EXPECT_EQ(body, "hi");
        EXPECT_EQ(finalUrl, "http://127.0.0.1:" + std::to_string(s.peer.Port()) + "/p?q=1");
    }
    {
        // A caller's block on POST: nothing added but Host, agent, referer
        // and the length; a body longer than 2047 bytes goes whole.
        OneShot s(ok);
        const std::string form(5000, 'f');
        ASSERT_EQ(http.httpPost(s.Url("/form"), "X-A: 1\r\n", form, finalUrl, body, code, text), 1);
        s.peer.Join();
        const std::set<std::string> expected = {
            "Host: 127.0.0.1:" + std::to_string(s.peer.Port()),
            "User-Agent: Mozilla/4.0(compatible;MSIE4.01;windows95)", "Referer: 127.0.0.1",
            "X-A: 1", "Content-Length: 5000"};
        EXPECT_EQ(s.got.lines, expected);
        EXPECT_EQ(s.got.body, form);
    }
    {
        // HEAD carries the form type; a file GET the plain standard block.
        OneShot s("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
        ASSERT_EQ(http.httpHeader(s.Url("/h"), "", body, code, text), 1) << text;
        s.peer.Join();
        EXPECT_EQ(s.got.first, "HEAD /h HTTP/1.1");
        EXPECT_TRUE(s.got.lines.count("Content-Type: application/x-www-form-urlencoded"));
        EXPECT_TRUE(s.got.lines.count("Authorization: Basic dTo="));
    }
    {
        OneShot s(ok);
        std::uint32_t length = 0, written = 0;
        const std::string file = testing::TempDir() + "/http-block.txt";
        ASSERT_EQ(http.httpGetFile(s.Url("/f"), "", file, length, written, code, text), 1);
        s.peer.Join();
        EXPECT_EQ(s.got.lines.size(), 5u);
        EXPECT_TRUE(s.got.lines.count("Accept: */*"));
        EXPECT_EQ(test::ReadWholeFile(file), "hi");
        EXPECT_EQ(length, 2u);
        EXPECT_EQ(written, 2u);
    }
    {
        // The standard POST block; proxy line only for exactly "basic".
        OneShot s(ok);
        http.m_strProxyAuthType = "Basic";
        http.m_strProxyUser = "p";
        ASSERT_EQ(http.httpPost(s.Url("/f"), "", "a=1", finalUrl, body, code, text), 1);
        s.peer.Join();
        EXPECT_TRUE(s.got.lines.count("Content-Type: application/x-www-form-urlencoded"));
        EXPECT_EQ(s.got.lines.count("Expect: 100-continue"), 0u);
        for (const std::string& line : s.got.lines) EXPECT_NE(line.rfind("Proxy-", 0), 0u) << line;
    }
}

TEST(HttpScripted, BodiesHeadersAndStatusCodes) {
    CHttp http;
    std::string finalUrl, body, text, value;
    int code = -1;
    {
        static const char kReply[] = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n X-Odd: v\r\n"
                                     "X-Blank:  spaced  \r\n\r\nA\0B";
        OneShot s(std::string(kReply, sizeof kReply - 1));
        ASSERT_EQ(http.httpGet(s.Url("/"), "", finalUrl, body, code, text), 1);
        EXPECT_EQ(body, std::string("A\0B", 3));
        EXPECT_EQ(http.httpGetHeaderField("x-blank:", value), 1);
        EXPECT_EQ(value, "  spaced");  // leading blanks kept, trailing ones and CR dropped
        EXPECT_EQ(http.httpGetHeaderField("X-Odd", value), 1);  // leading blank dropped
        EXPECT_EQ(value, " v");
    }
    {
        // A header line without a colon is a malformed reply: refused.
        OneShot s("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nNoColonLine\r\n\r\nhi");
        EXPECT_EQ(http.httpGet(s.Url("/"), "", finalUrl, body, code, text), 0);
        EXPECT_EQ(code, CHttp::kConnectionFailed);
    }
    {
        // A redirect is not followed by the memory forms.
        OneShot s("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 5\r\n\r\nmoved");
        ASSERT_EQ(http.httpGet(s.Url("/old"), "", finalUrl, body, code, text), 1);
        EXPECT_EQ(body, "moved");
        EXPECT_EQ(http.httpGetHeaderField("Location", value), 1);
        EXPECT_EQ(value, " /elsewhere");
    }
    {
        // Chunked, without Content-Length.
        OneShot s("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n");
        ASSERT_EQ(http.httpGet(s.Url("/"), "", finalUrl, body, code, text), 1);
        EXPECT_EQ(body, "abcde");
    }
    struct { int status; int code; const char* text; } rows[] = {
        {404, 5, "Not found"}, {401, 3, "Connection failed"}, {403, 6, "Not authorized"},
        {407, 6, "Not authorized"}, {500, 3, "Connection failed"},
    };
    for (const auto& r : rows) {
        OneShot s("HTTP/1.1 " + std::to_string(r.status) + " X\r\nContent-Length: 0\r\n\r\n");
        EXPECT_EQ(http.httpGet(s.Url("/"), "", finalUrl, body, code, text), 0);
        EXPECT_EQ(code, r.code) << r.status;
        EXPECT_EQ(text, r.text);
    }
    // The header list keeps the last good reply's fields.
    EXPECT_EQ(http.httpGetHeaderField("Transfer-Encoding", value), 1);
}

TEST(HttpScripted, UrlsRefusedBeforeAnyRequest) {
    CHttp http;
    std::string finalUrl, body, text = "untouched";
    int code = -1;
    struct { const char* url; int code; } rows[] = {
        {"", 2}, {"https://127.0.0.1/", 1}, {"ftp://127.0.0.1/", 1}, {"127.0.0.1:80/x", 1},
        {"http://127.0.0.1:99999/", 1}, {"http://127.0.0.1/a\r\nX: y", 1},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(http.httpGet(r.url, "", finalUrl, body, code, text), 0) << r.url;
        EXPECT_EQ(code, r.code) << r.url;
        EXPECT_EQ(text, "untouched");
    }
    std::uint32_t length = 0, written = 0;
    EXPECT_EQ(http.httpGetFile("http://127.0.0.1/", "", "", length, written, code, text), 0);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(http.httpGetFileLength("http://x/", "", code, text), 0u);
    EXPECT_EQ(code, 2);  // untouched
}

TEST(HttpScripted, StallResetAndCancelEndTheRequest) {
    CHttp http;
    http.m_nStallTimeout = 1;
    std::string finalUrl, body, text;
    int code = -1;
    {
        ScriptedPeer stall([](PeerConnection& c) {
            ReadRequest(c);
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart");
            std::this_thread::sleep_for(std::chrono::seconds(4));
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(http.httpGet("http://127.0.0.1:" + std::to_string(stall.Port()) + "/", "",
                               finalUrl, body, code, text), 0);
        EXPECT_EQ(code, CHttp::kTimedOut);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
    // A reset mid-body to a file: the existing file stays as it was.
    const std::string file = testing::TempDir() + "/http-keep.bin";
    test::WriteWholeFile(file, "old contents");
    {
        ScriptedPeer reset([](PeerConnection& c) {
            ReadRequest(c);
            c.Write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'x'));
            c.Reset();
        });
        std::uint32_t length = 0, written = 7;
        EXPECT_EQ(http.httpGetFile("http://127.0.0.1:" + std::to_string(reset.Port()) + "/", "",
                                   file, length, written, code, text), 0);
        EXPECT_EQ(code, CHttp::kConnectionFailed);
        EXPECT_EQ(written, 7u);
        EXPECT_EQ(test::ReadWholeFile(file), "old contents");
    }
    {
        // The wait hook runs while the request waits; cancelling ends it.
        ScriptedPeer silent([](PeerConnection& c) {
            ReadRequest(c);
            std::this_thread::sleep_for(std::chrono::seconds(3));
        });
        int calls = 0;
        ScopedWaitHook hook([&] {
            if (++calls == 10) CancelBlockingCall();
        });
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_EQ(http.httpGet("http://127.0.0.1:" + std::to_string(silent.Port()) + "/", "",
                               finalUrl, body, code, text), 0);
        EXPECT_EQ(code, CHttp::kConnectionFailed);
        EXPECT_GE(calls, 10);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    }
}

TEST(HttpScripted, EnvironmentProxyIsIgnored) {
    ::setenv("http_proxy", "http://127.0.0.1:1", 1);
    ::setenv("HTTP_PROXY", "http://127.0.0.1:1", 1);
    OneShot s("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    CHttp http;
    std::string finalUrl, body, text;
    int code = -1;
    EXPECT_EQ(http.httpGet(s.Url("/"), "", finalUrl, body, code, text), 1) << text;
    ::unsetenv("http_proxy");
    ::unsetenv("HTTP_PROXY");
}

TEST(HttpTexts, MessagesStatusLinesAndBase64) {
    CHttp http;
    struct { const char* line; int result; int code; const char* message; } rows[] = {
        {"HTTP/1.0 404 Not Found", 1, 404, "Not Found."},
        {"HTTP/1.1 404 Not Found", 0, 0, ""},
        {"HTTP Error 503", 1, 503, "Service temporarily unavailable."},
        {"HTTP/1.0 299 x", 1, 299, "Error 299"},
    };
    for (const auto& r : rows) {
        int code = -1;
        std::string message = "x";
        EXPECT_EQ(http.httpError(r.line, code, message), r.result) << r.line;
        EXPECT_EQ(code, r.code);
        EXPECT_EQ(message, r.message);
    }
    EXPECT_EQ(CHttp::ErrorMessage(7), "Disk/file error");
    EXPECT_EQ(CHttp::ErrorMessage(9), "CTarrowInternet error 9");
    EXPECT_EQ(EncodeTextBase64(""), "");
    EXPECT_EQ(EncodeTextBase64("a"), "YQ==");
    EXPECT_EQ(EncodeTextBase64("ab"), "YWI=");
    EXPECT_EQ(EncodeTextBase64(std::string(300, 'z')).size(), 400u);  // no line breaks
}

}  // namespace
}  // namespace velkor
