// The FTP engine against real servers (pyftpdlib and vsftpd) on loopback,
// directly and through a real SOCKS proxy (Dante).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "FtpTestSupport.h"
#include "RealServers.h"
#include "proxy/CPRDLDoc.h"

namespace velkor {
namespace {

using test::FtpServer;
using test::TestFtpLink;
namespace fs = std::filesystem;

class RealFtp : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const std::string why = test::FtpServerUnavailable(GetParam());
        if (!why.empty()) GTEST_SKIP() << why;
        m_server = std::make_unique<FtpServer>(GetParam());
        ASSERT_TRUE(m_server->Start()) << GetParam() << " did not start";
    }

    bool Login(TestFtpLink& ftp) {
        return ftp.Login("127.0.0.1", static_cast<int>(m_server->Port()), FtpServer::TestUser(),
                         FtpServer::TestPassword(), "", "", "", "", 0, 0);
    }

    // A server path for a name in the login directory (whose text may or may
    // not end in '/').
    static std::string Abs(const TestFtpLink& ftp, const std::string& name) {
        const std::string& home = ftp.m_strHomeDir;
        return home.empty() || home.back() != '/' ? home + "/" + name : home + name;
    }

    void MakeFile(const std::string& name, std::size_t size) {
        const fs::path path = m_server->Root() / name;
        std::ofstream(path, std::ios::binary) << std::string(size, 'v');
        m_server->GiveToServer(path);
    }

    void MakeDir(const std::string& name) {
        fs::create_directories(m_server->Root() / name);
        m_server->GiveToServer(m_server->Root() / name);
    }

    // Reads the data channel to its end.
    static std::string ReadAll(TestFtpLink& ftp) {
        std::string data;
        char buf[4096];
        for (int n; (n = ftp.ReadDataChannel(buf, static_cast<int>(sizeof buf))) > 0;)
            data.append(buf, static_cast<std::size_t>(n));
        ftp.DisconnectDataChannel();
        return data;
    }

    // After the data: the completion reply under the "(W)" row.
    static bool Completion(TestFtpLink& ftp, int command) {
        ftp.m_nCommand = command;
        if (ftp.m_arrReplyQueue.empty() && !ftp.ReadStringDirectly()) return false;
        return ftp.CheckStatus();
    }

    static std::set<std::string> NamesOf(const std::vector<std::string>& lines) {
        std::set<std::string> names;
        for (const std::string& line : lines) {
            const std::size_t slash = line.find_last_of('\\');
            names.insert(slash == std::string::npos ? line : line.substr(slash + 1));
        }
        return names;
    }

    std::unique_ptr<FtpServer> m_server;
};

TEST_P(RealFtp, LogonAndDirectories) {
    TestFtpLink ftp;
    ASSERT_TRUE(Login(ftp)) << ftp.m_nLastReply;
    EXPECT_EQ(ftp.m_nLoginState, 1);
    ASSERT_FALSE(ftp.m_strHomeDir.empty());
    EXPECT_EQ(ftp.m_strHomeDir[0], '/');

    const std::string dir = Abs(ftp, "new dir");
    ASSERT_TRUE(ftp.Mkd(dir)) << ftp.m_nLastReply;
    EXPECT_TRUE(fs::is_directory(m_server->Root() / "new dir"));
    ASSERT_TRUE(ftp.Cwd(dir)) << ftp.m_nLastReply;
    // Kept relative to the login directory: "new dir" under "/", but "/new dir"
    // under a login directory without a trailing '/'.
    EXPECT_EQ(ftp.m_strCurrentDir, dir.substr(ftp.m_strHomeDir.size()));
    ASSERT_TRUE(ftp.Cdup()) << ftp.m_nLastReply;
    EXPECT_EQ(ftp.GetFullPos(ftp.m_strCurrentDir), ftp.m_strHomeDir);
    EXPECT_FALSE(ftp.Cwd(Abs(ftp, "no such dir")));
    EXPECT_EQ(ftp.GetLastError(), 2);
    ASSERT_TRUE(ftp.Rmd(dir)) << ftp.m_nLastReply;
    EXPECT_FALSE(fs::exists(m_server->Root() / "new dir"));
    EXPECT_TRUE(ftp.Logout());
    EXPECT_EQ(ftp.m_nLoginState, 3);
}

TEST_P(RealFtp, SizeRenameDelete) {
    MakeFile("data.bin", 12345);
    TestFtpLink ftp;
    ASSERT_TRUE(Login(ftp));
    ASSERT_TRUE(ftp.Type("I"));
    ASSERT_TRUE(ftp.Size(Abs(ftp, "data.bin")));
    EXPECT_EQ(ftp.m_nLastReply, 213);
    EXPECT_EQ(ftp.m_arrLastMessage.at(0), "213 12345");
    EXPECT_FALSE(ftp.Size(Abs(ftp, "missing.bin")));
    EXPECT_EQ(ftp.m_nLastReply, 550);

    ASSERT_TRUE(ftp.Rnfr(Abs(ftp, "data.bin")));
    EXPECT_EQ(ftp.GetLastError(), 6);
    ASSERT_TRUE(ftp.Rnto(Abs(ftp, "renamed.bin")));
    EXPECT_TRUE(fs::exists(m_server->Root() / "renamed.bin"));
    EXPECT_FALSE(fs::exists(m_server->Root() / "data.bin"));

    ASSERT_TRUE(ftp.Dele(Abs(ftp, "renamed.bin")));
    EXPECT_FALSE(fs::exists(m_server->Root() / "renamed.bin"));
    EXPECT_FALSE(ftp.Dele(Abs(ftp, "renamed.bin")));
    EXPECT_EQ(ftp.GetLastError(), 2);
}

TEST_P(RealFtp, PassiveListings) {
    MakeFile("a.txt", 10);
    MakeFile("b c.txt", 20);
    MakeDir("sub");
    TestFtpLink ftp;
    ASSERT_TRUE(Login(ftp));
    ASSERT_TRUE(ftp.Nlst("")) << ftp.m_nLastReply;
    EXPECT_EQ(NamesOf(ftp.m_arrListing), (std::set<std::string>{"a.txt", "b c.txt", "sub"}));
    EXPECT_EQ(ftp.m_nLastReply, 226);

    ASSERT_TRUE(ftp.List(ftp.m_strHomeDir)) << ftp.m_nLastReply;
    EXPECT_EQ(ftp.m_strTransferType, "a");
    ASSERT_EQ(ftp.m_arrListing.size(), 3u);
    int dirs = 0;
    for (const std::string& line : ftp.m_arrListing) dirs += line[0] == 'd';
    EXPECT_EQ(dirs, 1);
    EXPECT_TRUE(std::any_of(ftp.m_arrListing.begin(), ftp.m_arrListing.end(),
                            [](const std::string& l) { return l.ends_with(" b c.txt"); }));
    EXPECT_TRUE(ftp.m_arrReplyQueue.empty());
}

TEST_P(RealFtp, ActiveListings) {
    MakeFile("one.txt", 1);
    MakeFile("two.txt", 2);
    TestFtpLink ftp;
    ASSERT_TRUE(Login(ftp));
    for (const auto& [verb, command] : {std::pair{"NLST", 26}, std::pair{"LIST", 24}}) {
        ASSERT_TRUE(ftp.SetupActiveDataChannel()) << ftp.m_nLastReply;
        EXPECT_EQ(ftp.m_nLastReply, 200);
        ftp.m_nCommand = command;
        ASSERT_TRUE(ftp.SendCommand(std::string(verb) + "\r\n"));
        EXPECT_FALSE(ftp.CheckStatus());
        ASSERT_EQ(ftp.GetLastError(), 3) << ftp.m_nLastReply;
        ASSERT_TRUE(ftp.AcceptActiveDataChannel());
        const std::string data = ReadAll(ftp);
        EXPECT_NE(data.find("one.txt"), std::string::npos) << verb;
        EXPECT_NE(data.find("two.txt"), std::string::npos) << verb;
        EXPECT_TRUE(Completion(ftp, command + 1)) << ftp.m_nLastReply;
    }
}

TEST_P(RealFtp, ExtendedPassiveListing) {
    MakeFile("ext.txt", 3);
    TestFtpLink ftp;
    ASSERT_TRUE(Login(ftp));
    ASSERT_TRUE(ftp.Epsv()) << ftp.m_nLastReply;
    EXPECT_EQ(ftp.m_nLastReply, 229);
    // "229 Entering extended passive mode (|||port|)."
    const std::string& reply = ftp.m_arrLastMessage.at(0);
    const std::size_t open = reply.find("(|||");
    ASSERT_NE(open, std::string::npos) << reply;
    int port = std::atoi(reply.c_str() + open + 4);
    ASSERT_GT(port, 0);
    ASSERT_TRUE(ftp.ConnectDataChannel("127.0.0.1", port));
    ftp.m_nCommand = 26;
    ASSERT_TRUE(ftp.SendCommand("NLST\r\n"));
    ftp.CheckStatus();
    ASSERT_EQ(ftp.GetLastError(), 3) << ftp.m_nLastReply;
    EXPECT_NE(ReadAll(ftp).find("ext.txt"), std::string::npos);
    EXPECT_TRUE(Completion(ftp, 27));
}

TEST_P(RealFtp, ThroughSocksProxySocks5ControlSocks4Data) {
    const std::string why = test::DanteUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    test::DanteServer dante;
    ASSERT_TRUE(dante.Start());
    MakeFile("via-proxy.txt", 5);

    CPRDLDoc doc;
    doc.m_bEnable = 1;
    doc.m_strFtpHost = "127.0.0.1";
    doc.m_nFtpPort = static_cast<int>(dante.Port());
    CPRDLDoc::Setthis(&doc);
    TestFtpLink ftp;
    const bool loggedOn = Login(ftp);
    const bool listed = loggedOn && ftp.Nlst("");
    const int controlProxy = ftp.m_control.m_socket.IsProxyExisted();
    const int dataProxy = ftp.m_data.m_socket.IsProxyExisted();
    std::string realAddr, seenAddr;
    unsigned int realPort = 0, seenPort = 0;
    ftp.m_control.m_socket.GetPeerName(realAddr, realPort);
    ftp.m_control.m_socket.GetProxyPeerName(seenAddr, seenPort);
    CPRDLDoc::Setthis(nullptr);

    ASSERT_TRUE(loggedOn);
    ASSERT_TRUE(listed) << ftp.m_nLastReply;
    EXPECT_EQ(NamesOf(ftp.m_arrListing), (std::set<std::string>{"via-proxy.txt"}));
    EXPECT_EQ(controlProxy, 2);
    EXPECT_EQ(dataProxy, 1);
    EXPECT_EQ(realPort, dante.Port());
    EXPECT_EQ(seenPort, m_server->Port());

    // Disabled proxies are not used.
    doc.m_bEnable = 0;
    CPRDLDoc::Setthis(&doc);
    TestFtpLink direct;
    ASSERT_TRUE(Login(direct));
    EXPECT_EQ(direct.m_control.m_socket.IsProxyExisted(), 0);
    CPRDLDoc::Setthis(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Servers, RealFtp, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
}  // namespace velkor
