// The proxy configuration document and its settings mirror.
#include "proxy/CPRDLDoc.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <fstream>

#include "platform/SettingsStore.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class TestDoc : public CPRDLDoc {
public:
    using CPRDLDoc::ReadProxyFromReg;
    using CPRDLDoc::Update;
    using CPRDLDoc::WriteProxyToReg;
};

class ProxyDoc : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("velkor-prdl-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        CSettingsStore::SetLocation((m_dir / "settings").string());
    }
    void TearDown() override {
        CSettingsStore::SetLocation("");
        fs::remove_all(m_dir);
    }
    static void SetSettings(bool enable, const char* server) {
        CSettingsStore s;
        s.Open();
        s.SetNumber("ProxyEnable", enable ? 1 : 0);
        if (server) s.SetText("ProxyServer", server);
        s.Close();
    }
    static std::string ServerText() {
        CSettingsStore s;
        s.Open();
        std::string text = "<missing>";
        s.QueryText("ProxyServer", text);
        return text;
    }
    fs::path m_dir;
};

TEST_F(ProxyDoc, NewDocumentUpdateAndReadBack) {
    TestDoc doc;
    const std::string path = (m_dir / "proxy.xml").string();
    ASSERT_EQ(doc.NewXMLDoc(path), 1);
    EXPECT_EQ(doc.InitPrdlDoc(), 1);
    doc.m_bEnable = 1;
    doc.m_bLogon = 1;
    doc.m_strLogonUser = "user";
    doc.m_strLogonPass = "p\"w<";
    doc.m_strHttpHost = "web.proxy";
    doc.m_nHttpPort = 3128;
    doc.m_strFtpHost = "ftp.proxy";
    doc.m_nFtpPort = 1080;
    doc.m_strSecureHost = "tls.proxy";
    doc.m_nSecurePort = 443;
    doc.m_strSocksHost = "socks.proxy";
    doc.m_nSocksPort = 1081;
    doc.m_strGopherHost = "gopher.proxy";
    doc.m_nGopherPort = 70;
    doc.Update();

    const int open = doc.GetTagLine(0, "proxy");
    ASSERT_GE(open, 0);
    std::vector<std::string> lines;
    for (int i = open; i < open + 7; ++i) lines.push_back(doc.GetLineAt(i)->GetLine());
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "<proxy enable=\"yes\" logon=\"yes\" user=\"user\" pass=\"p&quot;w&lt;\">",
                  "<http host=\"web.proxy\" port=\"3128\"/>", "<ftp host=\"ftp.proxy\" port=\"1080\"/>",
                  "<secure host=\"tls.proxy\" port=\"443\"/>",
                  "<socks host=\"socks.proxy\" port=\"1081\"/>",
                  "<gopher host=\"gopher.proxy\" port=\"70\"/>", "</proxy>"}));
    EXPECT_EQ(ServerText(),
              "http=web.proxy:3128;ftp=ftp.proxy:1080;https=tls.proxy:443;socks=socks.proxy:1081;"
              "gopher=gopher.proxy:70");

    // The saved file, loaded into a fresh document without settings.
    CSettingsStore::SetLocation((m_dir / "none").string());
    CPRDLDoc loaded;
    ASSERT_EQ(loaded.LoadXMLDoc(path), 1);
    ASSERT_EQ(loaded.InitPrdlDoc(), 1);
    EXPECT_EQ(loaded.m_bEnable, 1);
    EXPECT_EQ(loaded.m_bLogon, 1);
    EXPECT_EQ(loaded.m_strLogonUser, "user");
    EXPECT_EQ(loaded.m_strLogonPass, "p\"w<");
    EXPECT_EQ(loaded.m_strSocksHost, "socks.proxy");
    EXPECT_EQ(loaded.m_nSocksPort, 1081);
    EXPECT_EQ(loaded.m_strGopherHost, "gopher.proxy");
    EXPECT_EQ(loaded.m_nSecurePort, 443);
}

struct ServerCase {
    const char* text;
    const char* http;
    int httpPort;
    const char* ftp;
    const char* secure;
    const char* socks;
};

class ProxyServerText : public ProxyDoc, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(ProxyServerText, Read) {
    const ServerCase& c = GetParam();
    SetSettings(true, c.text);
    TestDoc doc;
    doc.m_strHttpHost = doc.m_strFtpHost = doc.m_strSecureHost = doc.m_strSocksHost = "doc";
    ASSERT_EQ(doc.ReadProxyFromReg(), 1);
    EXPECT_EQ(doc.m_bEnable, 1);
    EXPECT_EQ(doc.m_strHttpHost, c.http);
    EXPECT_EQ(doc.m_nHttpPort, c.httpPort);
    EXPECT_EQ(doc.m_strFtpHost, c.ftp);
    EXPECT_EQ(doc.m_strSecureHost, c.secure);
    EXPECT_EQ(doc.m_strSocksHost, c.socks);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ProxyServerText,
    ::testing::Values(ServerCase{"h:8080", "h", 8080, "h", "h", "h"},
                      ServerCase{"http=a:80;ftp=b:21", "a", 80, "b", "doc", "doc"},
                      ServerCase{"HTTP=a:80", "a", 80, "doc", "doc", "doc"},
                      ServerCase{"http=a:80;c:1", "c", 1, "c", "c", "c"},
                      ServerCase{"", "", 0, "", "", ""},
                      ServerCase{"https=s:443;secure=x:1", "doc", 0, "doc", "s", "doc"},
                      ServerCase{"[::1]:1080", "::1", 1080, "::1", "::1", "::1"},
                      ServerCase{"http=[2001:db8::1]:8080;ftp=::1", "2001:db8::1", 8080, "::1", "doc", "doc"}));

TEST_F(ProxyDoc, MissingValuesLeaveTheDocumentsValues) {
    TestDoc doc;
    doc.m_bEnable = 0;
    doc.m_strFtpHost = "keep";
    EXPECT_EQ(doc.ReadProxyFromReg(), 0);  // no settings at all
    EXPECT_EQ(doc.m_strFtpHost, "keep");
    SetSettings(true, nullptr);
    EXPECT_EQ(doc.ReadProxyFromReg(), 0);  // ProxyServer missing
    EXPECT_EQ(doc.m_bEnable, 1);
    EXPECT_EQ(doc.m_strFtpHost, "keep");
    SetSettings(true, std::string(300, 'h').c_str());  // too long to read
    EXPECT_EQ(doc.ReadProxyFromReg(), 0);
    EXPECT_EQ(doc.m_strFtpHost, "keep");
}

TEST_F(ProxyDoc, WrittenTextsAndPortsWithLetters) {
    TestDoc doc;
    doc.m_strHttpHost = "a";
    doc.m_nHttpPort = 80;
    doc.m_strSocksHost = "s";
    doc.m_nSocksPort = 1080;
    ASSERT_EQ(doc.WriteProxyToReg(), 1);
    EXPECT_EQ(ServerText(), "http=a:80;socks=s:1080");
    TestDoc empty;
    empty.WriteProxyToReg();
    EXPECT_EQ(ServerText(), "");

    CSettingsStore::SetLocation((m_dir / "none").string());
    CPRDLDoc parsed;
    parsed.SetXml("<prdl><proxy enable=\"YES\"><http host=\"h\" port=\"8080abc\"/>"
                  "<ftp host=\"f\" port=\"\"/></proxy></prdl>");
    ASSERT_EQ(parsed.InitPrdlDoc(), 1);
    EXPECT_EQ(parsed.m_bEnable, 0);  // exactly "yes" only
    EXPECT_EQ(parsed.m_nHttpPort, 8080);
    EXPECT_EQ(parsed.m_nFtpPort, 0);
    CPRDLDoc noProxy;
    noProxy.SetXml("<prdl></prdl>");
    EXPECT_EQ(noProxy.InitPrdlDoc(), 0);
}

TEST_F(ProxyDoc, UpdateWithoutProxyElementChangesNothing) {
    TestDoc doc;
    doc.SetXml("<prdl></prdl>");
    doc.m_strHttpHost = "x";
    doc.Update();
    EXPECT_EQ(doc.GetLineCount(), 2);
    EXPECT_EQ(ServerText(), "<missing>");
}

TEST_F(ProxyDoc, RegistrationAndUnregistration) {
    {
        CPRDLDoc doc;
        CPRDLDoc::Setthis(&doc);
        EXPECT_EQ(CPRDLDoc::Getthis(), &doc);
    }
    EXPECT_EQ(CPRDLDoc::Getthis(), nullptr);
}

TEST_F(ProxyDoc, SavedPrivateAndWholeOrNotAtAll) {
    TestDoc doc;
    const std::string path = (m_dir / "proxy.xml").string();
    ASSERT_EQ(doc.NewXMLDoc(path), 1);
    ASSERT_EQ(doc.InitPrdlDoc(), 1);
    doc.m_strLogonPass = "secret";
    doc.Update();
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // the password is in clear text
    const std::string saved = [&] {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    // A save that fails after 60 bytes (the disk full, a file size limit).
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 60;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    doc.m_strHttpHost = std::string(200, 'h');
    const int result = doc.SaveXMLDoc();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(result, 0);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), saved);
    CPRDLDoc loaded;
    EXPECT_EQ(loaded.LoadXMLDoc(path), 1);
    EXPECT_EQ(loaded.InitPrdlDoc(), 1);
}

}  // namespace
}  // namespace velkor
