// CHttp against nginx and tinyproxy on loopback: files byte for byte (and as
// curl(1) gets them), Basic auth, redirects, status codes, https with a
// private CA, and a proxy asking for Basic credentials.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RealServers.h"
#include "TestFiles.h"
#include "platform/SettingsStore.h"
#include "web/CHttp.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class NginxPeer : public testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = test::NginxUnavailable(); !why.empty()) GTEST_SKIP() << why;
        ASSERT_TRUE(server.Start());
        test::WriteWholeFile(server.Root() / "hello.txt", "hello\n");
        test::WriteWholeFile(server.Root() / "private" / "secret.txt", "secret\n");
    }
    test::NginxServer server;
    CHttp http;
    std::string finalUrl, body, text;
    int code = -1;
};

TEST_F(NginxPeer, FilesRedirectsAuthAndStatus) {
    const std::string data = test::RandomBytes(40u << 20, 4);
    test::WriteWholeFile(server.Root() / "big.bin", data);
    const fs::path dir = server.Root().parent_path();
    const std::string local = (dir / "big.copy").string();
    std::uint32_t length = 0, written = 5;
    ASSERT_EQ(http.httpGetFile(server.Url("/big.bin"), "", local, length, written, code, text), 1)
        << text;
    EXPECT_EQ(length, data.size());
    EXPECT_EQ(written, 5 + data.size());
    EXPECT_TRUE(test::ReadWholeFile(local) == data);
    // curl(1) gets the same bytes.
    const std::string curlCopy = (dir / "big.curl").string();
    ASSERT_EQ(std::system(("curl -s -o " + curlCopy + " " + server.Url("/big.bin")).c_str()), 0);
    EXPECT_TRUE(test::ReadWholeFile(curlCopy) == data);

    // Memory forms do not follow a redirect; file forms do, to the end.
    ASSERT_EQ(http.httpGet(server.Url("/redirect/relative"), "", finalUrl, body, code, text), 1);
    std::string location;
    EXPECT_EQ(http.httpGetHeaderField("location", location), 1);
    EXPECT_EQ(location, " " + server.Url("/hello.txt"));
    EXPECT_NE(body.find("302"), std::string::npos);
    for (const char* path : {"/redirect/relative", "/redirect/absolute"}) {
        ASSERT_EQ(http.httpGetFile(server.Url(path), "", local, length, written, code, text), 1);
        EXPECT_EQ(test::ReadWholeFile(local), "hello\n");
    }
    EXPECT_EQ(http.httpGetFile(server.Url("/redirect/loop"), "", local, length, written, code, text), 0);
    EXPECT_EQ(code, CHttp::kConnectionFailed);
    EXPECT_EQ(test::ReadWholeFile(local), "hello\n");  // untouched

    struct { const char* path; int code; } rows[] = {
        {"/private/secret.txt", 3}, {"/forbidden", 6}, {"/missing", 5}, {"/hello.txt", 0}};
    for (const auto& r : rows) {
        http.httpGet(server.Url(r.path), "", finalUrl, body, code, text);
        EXPECT_EQ(code, r.code) << r.path;
    }
    http.m_strUser = "webuser";
    http.m_strPassword = "w3b-Pass";
    ASSERT_EQ(http.httpGet(server.Url("/private/secret.txt"), "", finalUrl, body, code, text), 1);
    EXPECT_EQ(body, "secret\n");
    ASSERT_EQ(http.httpHeader(server.Url("/hello.txt"), "", body, code, text), 1);
    EXPECT_EQ(body, "");
    std::string size;
    EXPECT_EQ(http.httpGetHeaderField("Content-Length", size), 1);
    EXPECT_EQ(size, " 6");
}

TEST_F(NginxPeer, HttpsOnlyWhenAllowedAndVerified) {
    const std::string url = "https://127.0.0.1:" + std::to_string(server.TlsPort()) + "/hello.txt";
    EXPECT_EQ(http.httpGet(url, "", finalUrl, body, code, text), 0);
    EXPECT_EQ(code, CHttp::kInvalidUrl);
    http.m_bAllowHttps = 1;
    EXPECT_EQ(http.httpGet(url, "", finalUrl, body, code, text), 0);  // unknown CA
    EXPECT_EQ(code, CHttp::kConnectionFailed);
    http.m_strCaFile = server.CaFile().string();
    ASSERT_EQ(http.httpGet(url, "", finalUrl, body, code, text), 1) << text;
    EXPECT_EQ(body, "hello\n");
}

TEST(TinyproxyPeer, SystemProxyWithBasicCredentials) {
    for (const std::string& why : {test::NginxUnavailable(), test::TinyproxyUnavailable()})
        if (!why.empty()) GTEST_SKIP() << why;
    test::NginxServer server;
    test::TinyproxyServer proxy;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(proxy.Start());
    test::WriteWholeFile(server.Root() / "hello.txt", "hello\n");
    // The system proxy: the settings store's http item.
    const std::string settings = (server.Root().parent_path() / "settings").string();
    CSettingsStore::SetLocation(settings);
    {
        CSettingsStore store;
        ASSERT_TRUE(store.Open());
        store.SetNumber("ProxyEnable", 1);
        store.SetText("ProxyServer", "ftp=127.0.0.1:1;http=127.0.0.1:" + std::to_string(proxy.Port()));
        ASSERT_TRUE(store.Close());
    }
    CHttp http;
    std::string finalUrl, body, text;
    int code = -1;
    EXPECT_EQ(http.httpGet(server.Url("/hello.txt"), "", finalUrl, body, code, text), 0);
    EXPECT_EQ(code, CHttp::kNotAuthorized);  // 407
    http.m_strProxyUser = "proxyuser";
    http.m_strProxyPassword = "pr0xy-Pass";
    http.m_strProxyAuthType = "Basic";  // only "basic" sends the line
    EXPECT_EQ(http.httpGet(server.Url("/hello.txt"), "", finalUrl, body, code, text), 0);
    http.m_strProxyAuthType = "basic";
    ASSERT_EQ(http.httpGet(server.Url("/hello.txt"), "", finalUrl, body, code, text), 1) << text;
    EXPECT_EQ(body, "hello\n");
    CSettingsStore::SetLocation("");
}

}  // namespace
}  // namespace velkor
