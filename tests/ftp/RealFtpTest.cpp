// The FTP client against real servers (pyftpdlib and vsftpd) on loopback,
// passive and active: byte-identical transfers, resume, limits, abort,
// tree operations, live listings checked against the files, and the
// connections through a real SOCKS proxy (Dante); the same through TLS
// (vsftpd explicit and implicit with session reuse required, Pure-FTPd
// explicit), every data connection protected; pyftpdlib and vsftpd on ::1.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "RealServers.h"
#include "TestFiles.h"
#include "ftp/CFtp.h"
#include "platform/Text.h"
#include "proxy/CPRDLDoc.h"

namespace velkor {
namespace {

using test::FtpServer;
namespace fs = std::filesystem;

using test::RandomBytes;
const auto& ReadFile = test::ReadWholeFile;
const auto& WriteFile = test::WriteWholeFile;

// CFtp with the listing and data-channel steps opened to the tests.
class Session : public CFtp {
public:
    using CFtp::AcceptActiveDataChannel;
    using CFtp::CheckStatus;
    using CFtp::ConnectDataChannel;
    using CFtp::Epsv;
    using CFtp::GetLastError;
    using CFtp::List;
    using CFtp::Nlst;
    using CFtp::m_control;
    using CFtp::m_data;
    using CFtp::ReadStringDirectly;
    using CFtp::ReadyDataChannel;
    using CFtp::SendCommand;
    using CFtp::SetupActiveDataChannel;

    // Sends a listing verb on a data channel set up already and returns the
    // data; true in ok when the completion reply came and was judged good.
    std::string RawListing(const char* verb, int command, bool accept, bool& ok) {
        ok = false;
        m_nCommand = command;
        if (!SendCommand(std::string(verb) + "\r\n")) return {};
        if (CheckStatus() || GetLastError() != kFtpStatusPreliminary) return {};
        if (!ReadyDataChannel(accept)) return {};
        std::string data;
        char buf[4096];
        for (int n; (n = ReadDataChannel(buf, static_cast<int>(sizeof buf))) > 0;)
            data.append(buf, static_cast<std::size_t>(n));
        DisconnectDataChannel();
        m_nCommand = command + 1;
        ok = (!m_arrReplyQueue.empty() || ReadStringDirectly()) && CheckStatus();
        return data;
    }
};

struct ServerMode {
    std::string server;
    bool passive;
    std::string tls = "";  // "", "explicit" or "implicit"
    bool ipv6 = false;     // the server on ::1 only (EPSV and EPRT)
};

void PrintTo(const ServerMode& p, std::ostream* os) {
    *os << p.server << (p.passive ? " passive" : " active") << (p.tls.empty() ? "" : " " + p.tls + " TLS")
        << (p.ipv6 ? " IPv6" : "");
}

class RealFtp : public ::testing::TestWithParam<ServerMode> {
protected:
    void SetUp() override {
        const std::string why = test::FtpServerUnavailable(GetParam().server);
        if (!why.empty()) GTEST_SKIP() << why;
        if (GetParam().ipv6 && !test::Ipv6LoopbackUnavailable().empty())
            GTEST_SKIP() << test::Ipv6LoopbackUnavailable();
        m_server = std::make_unique<FtpServer>(GetParam().server);
        ASSERT_TRUE(m_server->Start(GetParam().ipv6 ? "ipv6" : GetParam().tls));
        m_local = m_server->Root().parent_path() / "local";
        fs::create_directories(m_local);
        ASSERT_TRUE(Login(m_ftp)) << m_ftp.m_strTlsError << m_ftp.GetLastMessage();
        EXPECT_EQ(m_ftp.m_control.m_socket.IsTls(), !GetParam().tls.empty());
    }

    bool Login(CFtp& ftp) const {
        const std::string& tls = GetParam().tls;
        ftp.m_nTls = tls.empty() ? kTlsOff : tls == "explicit" ? kTlsExplicit : kTlsImplicit;
        ftp.m_tls.caFile = m_server->CaFile().string();
        return ftp.Login(Host(), static_cast<int>(m_server->Port()), FtpServer::TestUser(),
                         FtpServer::TestPassword(), "", "", "", "", 0, 0);
    }

    // A server path for a name in the served root (the login directory).
    std::string Remote(const std::string& name) const {
        return text::JoinServerPath(m_ftp.m_strHomeDir, name);
    }

    void PutOnServer(const std::string& name, const std::string& data) {
        WriteFile(m_server->Root() / name, data);
        m_server->GiveToServer(m_server->Root() / name);
    }

    bool Passive() const { return GetParam().passive; }
    const char* Host() const { return GetParam().ipv6 ? "::1" : "127.0.0.1"; }

    std::unique_ptr<FtpServer> m_server;
    fs::path m_local;
    Session m_ftp;
};

TEST_P(RealFtp, UploadAndDownloadAreByteIdentical) {
    for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 3u << 20}) {
        SCOPED_TRACE(size);
        const std::string data = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "f" + std::to_string(size) + ".bin";
        WriteFile(m_local / name, data);
        std::uint32_t up = 0;
        ASSERT_EQ(m_ftp.Upload((m_local / name).string(), Remote(name), up, 0, 0, 0, Passive()),
                  1u)
            << m_ftp.GetLastMessage();
        EXPECT_EQ(up, size);
        EXPECT_TRUE(ReadFile(m_server->Root() / name) == data);

        std::uint32_t down = 0;
        const fs::path back = m_local / ("back-" + name);
        ASSERT_EQ(m_ftp.Download(Remote(name), back.string(), down, 0, 0, 0, Passive()), 0u)
            << m_ftp.GetLastMessage();
        EXPECT_EQ(down, size);
        EXPECT_EQ(m_ftp.m_nTransferred, size);
        EXPECT_EQ(m_ftp.m_nLastReply, 226);
        EXPECT_TRUE(ReadFile(back) == data);
        EXPECT_EQ(m_ftp.GetFileLength(Remote(name)), size);
    }
}

// Replies stay in step over many transfers (Pure-FTPd sends a multi-line
// preliminary reply and the completion in one piece now and then).
TEST_P(RealFtp, TwoHundredGetsInOneSession) {
    const std::string data = RandomBytes(4097, 5);
    PutOnServer("small.bin", data);
    const fs::path back = m_local / "small-back.bin";
    for (int i = 0; i < 200; ++i) {
        fs::remove(back);
        std::uint32_t down = 0;
        ASSERT_EQ(m_ftp.Download(Remote("small.bin"), back.string(), down, 0, 0, 0, Passive()), 0u)
            << i << ": " << m_ftp.GetLastMessage();
        ASSERT_EQ(down, 4097u) << i;
    }
    EXPECT_EQ(ReadFile(back), data);
}

TEST_P(RealFtp, ResumeFromSeveralOffsets) {
    const std::string data = RandomBytes(200000, 7);
    PutOnServer("resume.bin", data);
    for (std::uint32_t offset : {1000u, 4096u, 123457u}) {
        SCOPED_TRACE(offset);
        const fs::path part = m_local / ("part-" + std::to_string(offset));
        WriteFile(part, data.substr(0, offset));
        std::uint32_t down = 0;
        ASSERT_EQ(m_ftp.Download(Remote("resume.bin"), part.string(), down, 0, offset,
                                 static_cast<std::uint32_t>(data.size()), Passive()),
                  0u);
        EXPECT_EQ(down, data.size() - offset);
        EXPECT_EQ(m_ftp.m_nTransferred, data.size());
        EXPECT_TRUE(ReadFile(part) == data);
    }
    // Resumed upload.
    WriteFile(m_local / "up.bin", data);
    PutOnServer("up.bin", data.substr(0, 5000));
    std::uint32_t up = 0;
    ASSERT_EQ(m_ftp.Upload((m_local / "up.bin").string(), Remote("up.bin"), up, 0, 5000,
                           static_cast<std::uint32_t>(data.size()), Passive()),
              1u);
    EXPECT_EQ(up, data.size() - 5000);
    EXPECT_TRUE(ReadFile(m_server->Root() / "up.bin") == data);
}

TEST_P(RealFtp, LimitsAndNoTruncation) {
    const std::string data = RandomBytes(1 << 20, 9);
    PutOnServer("big.bin", data);
    std::uint32_t down = 0;
    const fs::path two = m_local / "two-blocks.bin";
    EXPECT_EQ(m_ftp.Download(Remote("big.bin"), two.string(), down, 2 * CFtp::kBlockSize, 0, 0,
                             Passive()),
              0u);
    EXPECT_EQ(down, 2u * CFtp::kBlockSize);
    EXPECT_EQ(ReadFile(two), data.substr(0, 2 * CFtp::kBlockSize));

    // A longer local file keeps its tail.
    const std::string small = RandomBytes(5000, 3);
    PutOnServer("small.bin", small);
    const fs::path longer = m_local / "longer.bin";
    WriteFile(longer, std::string(9000, 'z'));
    down = 0;
    ASSERT_EQ(m_ftp.Download(Remote("small.bin"), longer.string(), down, 0, 0, 0, Passive()), 0u);
    EXPECT_EQ(ReadFile(longer), small + std::string(4000, 'z'));

    // A file the server does not have; the connection is still good after it.
    down = 0;
    EXPECT_EQ(m_ftp.Download(Remote("missing.bin"), (m_local / "m").string(), down, 0, 0, 0,
                             Passive()),
              CFtp::kDownloadUnavailable);
    EXPECT_TRUE(m_ftp.KeepAlive());
}

TEST_P(RealFtp, AbortAndUnwritableLocalFileKeepTheSessionInStep) {
    PutOnServer("big.bin", RandomBytes(8 << 20, 4));
    // An abort flag already set: ABOR after the first block.
    m_ftp.m_bAbort = 1;
    std::uint32_t down = 0;
    const fs::path part = m_local / "aborted.bin";
    EXPECT_EQ(m_ftp.Download(Remote("big.bin"), part.string(), down, 0, 0, 0, Passive()), 0u);
    m_ftp.m_bAbort = 0;
    EXPECT_EQ(down, static_cast<std::uint32_t>(CFtp::kBlockSize));
    EXPECT_EQ(fs::file_size(part), static_cast<std::uintmax_t>(CFtp::kBlockSize));
    EXPECT_TRUE(m_ftp.KeepAlive()) << m_ftp.GetLastMessage();
    // A local file that cannot be created: a failure, and the session goes on.
    down = 0;
    EXPECT_NE(m_ftp.Download(Remote("big.bin"), "/nonexistent-dir/x.bin", down, 0, 0, 0,
                             Passive()),
              0u);
    EXPECT_EQ(down, 0u);
    EXPECT_TRUE(m_ftp.KeepAlive()) << m_ftp.GetLastMessage();
    EXPECT_EQ(m_ftp.GetFileLength(Remote("big.bin")), 8u << 20);
}

TEST_P(RealFtp, TreeOperations) {
    fs::create_directories(m_server->Root() / "tree/sub/deeper");
    fs::create_directories(m_server->Root() / "tree/empty");
    WriteFile(m_server->Root() / "tree/a.txt", "a");
    WriteFile(m_server->Root() / "tree/sub/b c.txt", "bc");
    WriteFile(m_server->Root() / "tree/sub/deeper/d.txt", "d");
    WriteFile(m_server->Root() / "tree/sub/.hidden", "h");  // ProFTPD's and vsftpd's LIST hide it
    fs::create_directories(m_server->Root() / "tree/with blank");
    WriteFile(m_server->Root() / "tree/with blank/x y.txt", "xy");
    m_server->GiveToServer(m_server->Root() / "tree");

    // Pure-FTPd splits a LIST argument at blanks: listed from inside.
    ASSERT_TRUE(m_ftp.List(Remote("tree/with blank")));
    ASSERT_EQ(m_ftp.m_arrListing.size(), 1u);
    EXPECT_TRUE(m_ftp.m_arrListing[0].ends_with(" x y.txt")) << m_ftp.m_arrListing[0];

    EXPECT_TRUE(m_ftp.IsFileExisted(Remote("tree")));
    // A file is looked for by its exact name among the NLST lines of its
    // directory; vsftpd answers NLST of a directory with whole paths, so
    // there the file is not found.
    EXPECT_EQ(m_ftp.IsFileExisted(Remote("tree/a.txt")), GetParam().server == "pyftpdlib");
    EXPECT_FALSE(m_ftp.IsFileExisted(Remote("tree/zzz.txt")));

    ASSERT_TRUE(m_ftp.CreateDir(Remote("made dir")));
    EXPECT_TRUE(fs::is_directory(m_server->Root() / "made dir"));
    ASSERT_TRUE(m_ftp.SetCurrentDir(Remote("made dir")));
    // Kept relative to the login directory: "made dir" under "/", but
    // "/made dir" under a login directory without a trailing '/'.
    EXPECT_EQ(m_ftp.m_strCurrentDir, Remote("made dir").substr(m_ftp.m_strHomeDir.size()));
    EXPECT_FALSE(m_ftp.SetCurrentDir(Remote("no such dir")));
    EXPECT_EQ(m_ftp.GetLastError(), kFtpStatusRefused);
    ASSERT_TRUE(m_ftp.Rename(Remote("tree/a.txt"), Remote("tree/renamed.txt")));
    EXPECT_TRUE(fs::exists(m_server->Root() / "tree/renamed.txt"));
    ASSERT_TRUE(m_ftp.DeleteFileA(Remote("tree/renamed.txt")));
    EXPECT_FALSE(fs::exists(m_server->Root() / "tree/renamed.txt"));
    EXPECT_FALSE(m_ftp.DeleteFileA(Remote("tree/renamed.txt")));
    ASSERT_TRUE(m_ftp.RemoveDir(Remote("made dir")));

    ASSERT_TRUE(m_ftp.Delete(Remote("tree"))) << m_ftp.GetLastMessage();
    EXPECT_FALSE(fs::exists(m_server->Root() / "tree"));

    // A file named with backslashes must not make the delete climb out.
    fs::create_directories(m_server->Root() / "trap/inner");
    WriteFile(m_server->Root() / "trap/inner/..\\..\\victim", "x");
    WriteFile(m_server->Root() / "victim", "keep");
    m_server->GiveToServer(m_server->Root() / "trap");
    EXPECT_FALSE(m_ftp.Delete(Remote("trap")));
    EXPECT_EQ(ReadFile(m_server->Root() / "victim"), "keep");
    EXPECT_TRUE(m_ftp.Logout());
    EXPECT_EQ(m_ftp.m_nLoginState, kFtpLoggedOff);
}

void SetTimes(const fs::path& p, std::time_t t) {
    const timeval times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::lutimes(p.c_str(), times), 0) << p;
}

// Passive: LIST parsed and checked against lstat, and NLST over EPSV.
// Active: NLST and LIST over PORT.
TEST_P(RealFtp, ListingsMatchTheFiles) {
    const fs::path root = m_server->Root();
    fs::create_directories(root / "a dir");
    std::ofstream(root / "name with blanks.txt") << "12345";
    std::ofstream(root / "plain.bin") << std::string(70000, 'p');
    std::ofstream(root / "last-year.txt") << "old";
    { std::ofstream(root / "large.iso"); }
    fs::resize_file(root / "large.iso", 3'000'000'000ull);  // sparse: no disk used
    fs::create_symlink("plain.bin", root / "link-to-plain");
    const std::time_t now = std::time(nullptr);
    SetTimes(root / "last-year.txt", now - 400 * 86400);
    m_server->GiveToServer(root);
    const std::set<std::string> names = {"a dir",    "name with blanks.txt", "plain.bin",
                                         "last-year.txt", "large.iso", "link-to-plain"};

    bool ok = false;
    if (!Passive()) {
        for (const auto& [verb, command] : {std::pair{"NLST", 26}, std::pair{"LIST", 24}}) {
            ASSERT_TRUE(m_ftp.SetupActiveDataChannel()) << m_ftp.m_nLastReply;
            const std::string data = m_ftp.RawListing(verb, command, true, ok);
            EXPECT_TRUE(ok) << verb << " " << m_ftp.m_nLastReply;
            for (const std::string& name : names) EXPECT_NE(data.find(name), std::string::npos);
        }
        return;
    }
    ASSERT_TRUE(m_ftp.Epsv()) << m_ftp.m_nLastReply;
    const std::string& reply = m_ftp.m_arrLastMessage.at(0);  // "229 ... (|||port|)"
    const std::size_t open = reply.find("(|||");
    ASSERT_NE(open, std::string::npos) << reply;
    int port = std::atoi(reply.c_str() + open + 4);
    ASSERT_TRUE(m_ftp.ConnectDataChannel(Host(), port));
    EXPECT_NE(m_ftp.RawListing("NLST", 26, false, ok).find("large.iso"), std::string::npos);
    EXPECT_TRUE(ok);

    // Both the server and the parser read times in UTC here. Then MLSD
    // where the server offers it (not vsftpd): exact sizes and times, and
    // names with ';', '=' and Chinese letters as they are.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    for (const bool mlsd : {false, true}) {
        SCOPED_TRACE(mlsd ? "MLSD" : "LIST");
        std::set<std::string> expected = names;
        if (mlsd) {
            for (const char* extra : {"semi;colon=x.txt", "\xE4\xB8\xAD\xE6\x96\x87.txt"}) {
                std::ofstream(root / extra) << "x";
                m_server->GiveToServer(root / extra);
                expected.insert(extra);
            }
        }
        m_ftp.m_bUseMlsd = mlsd;
        ASSERT_TRUE(m_ftp.List(""));
        EXPECT_EQ(m_ftp.m_bListingIsMlsd, mlsd && GetParam().server != "vsftpd");
        const bool exact = m_ftp.m_bListingIsMlsd;
        std::map<std::string, CFtpFile> entries;
        for (const std::string& line : m_ftp.m_arrListing) {
            CFtpFile f;
            if (m_ftp.ParseEntry(line.c_str(), &f)) {
                entries[f.m_pszName] = f;
            } else {
                f.FreeStrings();
                // The listed folder and its parent are not entries.
                if (!exact || (line.find("type=cdir") == std::string::npos &&
                               line.find("type=pdir") == std::string::npos))
                    ADD_FAILURE() << "not parsed: " << line;
            }
        }
        std::set<std::string> listed;
        for (const auto& entry : entries) listed.insert(entry.first);
        EXPECT_EQ(listed, expected);
        for (auto& [name, f] : entries) {
            SCOPED_TRACE(name);
            struct stat st{};
            ASSERT_EQ(::lstat((root / name).c_str(), &st), 0);
            EXPECT_EQ(f.m_bDirectory != 0, S_ISDIR(st.st_mode));
            if (!exact || !S_ISLNK(st.st_mode)) {  // MLSD servers may show a link as its target
                EXPECT_EQ(f.m_bLink != 0, S_ISLNK(st.st_mode));
            }
            if (S_ISREG(st.st_mode)) {
                EXPECT_EQ(f.m_nSize64, static_cast<std::uint64_t>(st.st_size));
            }
            if (exact) {
                if (!S_ISLNK(st.st_mode)) {
                    EXPECT_EQ(f.m_tModifiedUtc, static_cast<std::int64_t>(st.st_mtime));
                }
            } else {
                // Listings show minutes for recent files and only the day for old ones.
                const long tolerance = (now - st.st_mtime > 180 * 86400) ? 86400 : 60;
                EXPECT_LE(std::labs(static_cast<long>(f.m_tModified) - static_cast<long>(st.st_mtime)),
                          tolerance);
            }
            f.FreeStrings();
        }
    }
    ::unsetenv("TZ");
    ::tzset();
}

TEST_P(RealFtp, ThroughSocksProxySocks5ControlSocks4Data) {
    if (!Passive()) GTEST_SKIP() << "the proxy carries passive data connections";
    if (GetParam().ipv6) GTEST_SKIP() << "the proxy serves IPv4 here";
    const std::string why = test::DanteUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    test::DanteServer dante;
    ASSERT_TRUE(dante.Start());
    PutOnServer("via-proxy.txt", "hello");

    CPRDLDoc doc;
    doc.m_bEnable = 1;
    doc.m_strFtpHost = "127.0.0.1";
    doc.m_nFtpPort = static_cast<int>(dante.Port());
    CPRDLDoc::Setthis(&doc);
    Session ftp;
    // The data goes to the server's own address, handed to the proxy.
    ftp.m_bPassiveUsesControlPeer = true;
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
    // The one file (Pure-FTPd names "." and ".." too).
    EXPECT_EQ(std::count_if(ftp.m_arrListing.begin(), ftp.m_arrListing.end(),
                            [](const std::string& l) { return l != "." && l != ".."; }),
              1);
    EXPECT_NE(std::find(ftp.m_arrListing.begin(), ftp.m_arrListing.end(), "via-proxy.txt"),
              ftp.m_arrListing.end());
    EXPECT_EQ(controlProxy, kProxySocks5);
    EXPECT_EQ(dataProxy, kProxySocks4);
    EXPECT_EQ(realPort, dante.Port());
    EXPECT_EQ(seenPort, m_server->Port());

    // Disabled proxies are not used.
    doc.m_bEnable = 0;
    CPRDLDoc::Setthis(&doc);
    Session direct;
    ASSERT_TRUE(Login(direct));
    EXPECT_EQ(direct.m_control.m_socket.IsProxyExisted(), kProxyNone);
    CPRDLDoc::Setthis(nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, RealFtp,
    ::testing::Values(ServerMode{"pyftpdlib", true}, ServerMode{"pyftpdlib", false},
                      ServerMode{"vsftpd", true}, ServerMode{"vsftpd", false},
                      ServerMode{"proftpd", true}, ServerMode{"proftpd", false},
                      ServerMode{"pure-ftpd", true}, ServerMode{"pure-ftpd", false},
                      ServerMode{"vsftpd", true, "explicit"}, ServerMode{"vsftpd", false, "explicit"},
                      ServerMode{"vsftpd", true, "implicit"}, ServerMode{"pure-ftpd", true, "explicit"},
                      ServerMode{"pure-ftpd", false, "explicit"}, ServerMode{"pyftpdlib", true, "", true},
                      ServerMode{"pyftpdlib", false, "", true}, ServerMode{"vsftpd", true, "", true},
                      ServerMode{"vsftpd", false, "", true}),
    [](const ::testing::TestParamInfo<ServerMode>& info) {
        std::string name = info.param.server + (info.param.passive ? "_passive" : "_active") +
                           (info.param.tls.empty() ? "" : "_tls_" + info.param.tls) +
                           (info.param.ipv6 ? "_ipv6" : "");
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace velkor
