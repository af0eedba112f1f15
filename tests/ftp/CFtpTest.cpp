// CFtp file operations against scripted servers: exact command order and
// the cases that must send nothing.
#include "ftp/CFtp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "FtpTestSupport.h"
#include "TestFiles.h"
#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor {
namespace {

using namespace test;  // the scripted peer and FTP dialogue helpers
using Lines = std::vector<std::string>;

TEST(CFtpOps, CasesThatSendNothing) {
    Lines received;
    ScriptedPeer server(FtpDialogue("220 hi\r\n", LoggedOn({}), &received));
    CFtp ftp;
    EXPECT_EQ(ftp.GetLastMessage(), "");
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    EXPECT_EQ(ftp.Download("/f", "/dev/null", transferred, 0, 5000, 5000, true), 0u);
    EXPECT_FALSE(ftp.Delete("/pub/.."));
    EXPECT_FALSE(ftp.Delete("/pub/."));
    EXPECT_FALSE(ftp.Delete("/"));
    EXPECT_FALSE(ftp.Rename("/a/x", "/b/x"));
    EXPECT_FALSE(ftp.MoveFileA("/a/x", "/b/y"));
    EXPECT_EQ(ftp.Upload("/nonexistent/local/file", "/up.bin", transferred, 0, 0, 0, true), 0u);
    EXPECT_EQ(transferred, 0u);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "QUIT"}));
}

TEST(CFtpOps, FileLengthFromSizeOrFromTheListing) {
    ScriptedPeer data([](PeerConnection& c) {
        c.Write("-rw-r--r-- 1 u g 777 Jan 5 2003 b.bin\r\n");
    });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"213 1234\r\n", "500 SIZE not understood\r\n", "200 ascii\r\n",
                  PasvReply(data.Port()), "150 list\r\n226 done\r\n", "200 binary\r\n",
                  "213 4294975488\r\n", "213 4294975488\r\n",
                  "213 99999999999999999999999\r\n"}),
        &received));
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    ftp.m_strTransferType = "i";
    EXPECT_EQ(ftp.GetFileLength("/a.bin"), 1234u);
    EXPECT_EQ(ftp.GetFileLength("/b.bin"), 777u);
    // Over 32 bits: unknown in the 32-bit form (never 8192), whole in the other.
    EXPECT_EQ(ftp.GetFileLength("/c.bin"), 0u);
    EXPECT_EQ(ftp.GetFileLength64("/c.bin"), 4294975488ull);
    EXPECT_EQ(ftp.GetFileLength64("/d.bin"), 0u);
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "SIZE /a.bin", "SIZE /b.bin", "TYPE a", "PASV",
                               "LIST /b.bin", "TYPE i", "SIZE /c.bin", "SIZE /c.bin",
                               "SIZE /d.bin", "QUIT"}));
}

// Names another user of the server may have made, which would address a
// place outside the tree: "..\\..\\victim" is a valid Unix name, ".. " is
// ".." to a server that trims arguments.
class UnsafeName : public ::testing::TestWithParam<std::string> {};

TEST_P(UnsafeName, StopsARecursiveDeleteBeforeItActsOnIt) {
    ScriptedPeer data([](PeerConnection& c) {
        c.Write("-rw-r--r-- 1 u g 3 Jan 5 2003 a.txt\r\n-rw-r--r-- 1 u g 3 Jan 5 2003 " +
                GetParam() + "\r\n");
    });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/d\"\r\n", PasvReply(data.Port()),
                  "150 list\r\n226 done\r\n", "550 not a dir\r\n", "250 deleted\r\n"}),
        &received));
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_FALSE(ftp.Delete("/d"));
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "CWD /d", "PWD", "PASV", "LIST /d",
                               "CWD /d/a.txt", "DELE a.txt", "QUIT"}));
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeName,
                         ::testing::Values("..\\..\\victim", ".. ", "x ", "a\x1b[2J"));

TEST(CFtpOps, ArgumentsWithLineBreaksAreRefusedBeforeSending) {
    Lines received;
    ScriptedPeer server(FtpDialogue("220 hi\r\n", LoggedOn({"200 ok\r\n"}), &received));
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    for (const std::string& name : {std::string("f\r\nDELE important.txt"), std::string("f\nX"),
                                    std::string("f\0X", 3)}) {
        EXPECT_FALSE(ftp.DeleteFileA("/" + name));
        EXPECT_EQ(GetLastSocketError(), WSAEINVAL);
    }
    EXPECT_TRUE(ftp.KeepAlive());  // the session is untouched
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "NOOP", "QUIT"}));
}

TEST(CFtpOps, ResumeThatTheServerIgnoresNeverWritesPastTheSize) {
    // REST is accepted, but the whole file comes from its first byte.
    ScriptedPeer data([](PeerConnection& c) { c.Write(std::string(3 * CFtp::kBlockSize, 'B')); });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/pub\"\r\n", "200 binary\r\n", PasvReply(data.Port()),
                  "350 restarting\r\n", "150 sending\r\n226 done\r\n"}),
        &received));
    const std::string local = testing::TempDir() + "velkor-rest-" + std::to_string(getpid());
    std::ofstream(local, std::ios::binary) << std::string(1000, 'A');
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint64_t transferred = 0;
    EXPECT_EQ(ftp.Download64("/pub/f.bin", local, transferred, 0, 1000, 3 * CFtp::kBlockSize, true),
              CFtp::kDownloadOtherFailure);
    std::ifstream in(local, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::remove(local.c_str());
    EXPECT_EQ(bytes.size(), 3u * CFtp::kBlockSize);  // cut at the size, not beyond
    EXPECT_EQ(bytes.substr(0, 1000), std::string(1000, 'A'));
    EXPECT_EQ(ftp.m_nTransferred64, 3u * CFtp::kBlockSize);
}

// A TCP socket on a loopback address other than 127.0.0.1 (the whole of
// 127.0.0.0/8 is local): bound to `from`, listening when port is given.
int LoopbackSocket(const char* from, unsigned int port = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<std::uint16_t>(port));
    sin.sin_addr.s_addr = inet_addr(from);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 ||
        (port != 0 && ::listen(fd, 1) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ConnectTo(int fd, unsigned int port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = inet_addr("127.0.0.1");
    return ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
}


TEST(CFtpOps, ActiveModeTakesTheDataConnectionOnlyFromTheServer) {
    ScriptedPeer server([](PeerConnection& c) {
        ServeLogon(c);
        c.ReadLine();  // TYPE i
        c.Write("200 binary\r\n");
        const std::string port = c.ReadLine();  // PORT h1,h2,h3,h4,p1,p2
        c.Write("200 ok\r\n");
        const std::size_t p2 = port.rfind(','), p1 = port.rfind(',', p2 - 1);
        const unsigned int dataPort = static_cast<unsigned int>(
            std::stoi(port.substr(p1 + 1)) * 256 + std::stoi(port.substr(p2 + 1)));
        c.ReadLine();  // RETR
        c.Write("150 go\r\n");
        // Another host connects first and sends its own bytes.
        const int intruder = LoopbackSocket("127.0.0.2");
        if (ConnectTo(intruder, dataPort)) ::send(intruder, "evil", 4, MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const int data = LoopbackSocket("127.0.0.1");
        if (ConnectTo(data, dataPort)) ::send(data, "good data", 9, MSG_NOSIGNAL);
        ::close(data);
        ::close(intruder);
        c.Write("226 done\r\n");
        c.ReadLine();  // QUIT
        c.Write("221 bye\r\n");
    });
    const std::string local = testing::TempDir() + "velkor-active-" + std::to_string(getpid());
    std::remove(local.c_str());
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    EXPECT_EQ(ftp.Download("/f.bin", local, transferred, 0, 0, 0, false), 0u);
    EXPECT_EQ(test::ReadWholeFile(local), "good data");
    std::remove(local.c_str());
}

// A 227 naming another host: by default the data goes there (the
// documented behaviour); with m_bPassiveUsesControlPeer to the server.
class PassiveReplyHost : public ::testing::TestWithParam<bool> {};

TEST_P(PassiveReplyHost, DecidesWhereTheUploadGoes) {
    const bool useControlPeer = GetParam();
    std::string atServer, atOtherHost;
    ScriptedPeer data([&](PeerConnection& c) { atServer = c.ReadToEnd(); });
    const int other = LoopbackSocket("127.0.0.2", data.Port());
    ASSERT_GE(other, 0);
    std::thread otherHost([&] {
        const int fd = ::accept(other, nullptr, nullptr);
        char buf[64];
        for (ssize_t n; fd >= 0 && (n = ::recv(fd, buf, sizeof buf, 0)) > 0;)
            atOtherHost.append(buf, static_cast<std::size_t>(n));
        if (fd >= 0) ::close(fd);
    });
    const std::string pasv = "227 ok (127,0,0,2," + std::to_string(data.Port() / 256) + "," +
                             std::to_string(data.Port() % 256) + ")\r\n";
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n", LoggedOn({"200 binary\r\n", pasv, "150 go\r\n226 done\r\n", "221 bye\r\n"}),
        &received));
    const std::string local = testing::TempDir() + "velkor-pasv-" + std::to_string(getpid());
    std::ofstream(local, std::ios::binary) << "payload";
    CFtp ftp;
    ftp.m_bPassiveUsesControlPeer = useControlPeer;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    EXPECT_EQ(ftp.Upload(local, "/up.bin", transferred, 0, 0, 0, true), 1u);
    ftp.Logout();
    if (useControlPeer) {
        // Nobody comes to the other host: end its wait.
        const int wake = LoopbackSocket("127.0.0.1");
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(data.Port()));
        to.sin_addr.s_addr = inet_addr("127.0.0.2");
        ::connect(wake, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ::close(wake);
    }
    otherHost.join();
    ::close(other);
    if (useControlPeer) data.Join();  // its script has read the whole upload
    std::remove(local.c_str());
    EXPECT_EQ(atServer, useControlPeer ? "payload" : "");
    EXPECT_EQ(atOtherHost, useControlPeer ? "" : "payload");
}

INSTANTIATE_TEST_SUITE_P(Modes, PassiveReplyHost, ::testing::Values(false, true));

TEST(CFtpOps, RecursiveDeleteFollowsTheListingOrder) {
    int listing = 0;
    ScriptedPeer data(
        [&](PeerConnection& c) {
            if (listing++ == 0) {
                c.Write("drwxr-xr-x 3 u g 0 Jan 5 2003 .\r\n"
                        "drwxr-xr-x 3 u g 0 Jan 5 2003 ..\r\n"
                        "-rw-r--r-- 1 u g 3 Jan 5 2003 f.txt\r\n"
                        "lrwxrwxrwx 1 u g 1 Jan 5 2003 up -> /\r\n"
                        "drwxr-xr-x 2 u g 0 Jan 5 2003 sub\r\n");
            } else {
                c.Write("drwxr-xr-x 2 u g 0 Jan 5 2003 .\r\n");
            }
        },
        2);
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/d\"\r\n",                         // CWD /d, PWD
                  PasvReply(data.Port()), "150 list\r\n226 done\r\n",     // PASV, LIST /d
                  "550 not a dir\r\n", "250 deleted\r\n",                 // CWD /d/f.txt, DELE
                  "250 deleted\r\n",                                      // DELE up
                  "250 ok\r\n", "257 \"/d/sub\"\r\n",                     // CWD /d/sub, PWD
                  PasvReply(data.Port()), "150 list\r\n226 done\r\n",     // PASV, LIST /d/sub
                  "250 ok\r\n", "257 \"/d\"\r\n", "250 removed\r\n",      // CDUP, PWD, RMD
                  "250 ok\r\n", "257 \"/\"\r\n", "250 removed\r\n"}),     // CDUP, PWD, RMD
        &received));
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    EXPECT_TRUE(ftp.Delete("\\d"));
    ftp.Logout();
    server.Join();
    EXPECT_EQ(received,
              (Lines{"USER u", "PWD", "CWD /d", "PWD", "PASV", "LIST /d", "CWD /d/f.txt",
                     "DELE f.txt", "DELE up", "CWD /d/sub", "PWD", "PASV", "LIST /d/sub", "CDUP",
                     "PWD", "RMD /d/sub", "CDUP", "PWD", "RMD /d", "QUIT"}));
}

TEST(CFtpOps, AbortFromTheWaitHookSendsAborAfterTheCurrentBlock) {
    ScriptedPeer data([](PeerConnection& c) {
        c.Write(std::string(3 * CFtp::kBlockSize, 'a'));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the hook runs now
        c.Write(std::string(CFtp::kBlockSize, 'b'));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        c.Write(std::string(100 * CFtp::kBlockSize, 'c'));
    });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/pub\"\r\n", "200 binary\r\n", PasvReply(data.Port()),
                  "150 sending\r\n", "426 aborted\r\n226 abort ok\r\n"}),
        &received));
    const std::string local = testing::TempDir() + "velkor-abort-" + std::to_string(getpid());
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    std::uint32_t seenProgress = 0;
    std::uint32_t result;
    {
        ScopedWaitHook hook([&] {
            // The hook also runs while ABOR waits for its reply: only the
            // first call, the one that asks for the abort, counts.
            if (ftp.m_bTransferring && ftp.m_bAbort == 0) {
                seenProgress = ftp.m_nTransferred;
                ftp.m_bAbort = 1;
            }
        });
        result = ftp.Download("/pub/big.bin", local, transferred, 0, 0, 0, true);
    }
    EXPECT_EQ(result, 0u);  // no limit: an aborted transfer still succeeds
    EXPECT_GE(seenProgress, static_cast<std::uint32_t>(CFtp::kBlockSize));
    EXPECT_EQ(transferred, seenProgress + CFtp::kBlockSize);
    EXPECT_EQ(ftp.m_nTransferred, transferred);
    EXPECT_EQ(ftp.m_bTransferring, 0);
    EXPECT_EQ(std::filesystem::file_size(local), transferred);
    ftp.Logout();
    server.Join();
    std::filesystem::remove(local);
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "CWD /pub", "PWD", "TYPE i", "PASV",
                               "RETR big.bin", "ABOR", "QUIT"}));
}

// Uploads stop on a block boundary at the size, at the limit or on an abort;
// nothing past that block reaches the server.
struct UploadStop {
    const char* name;
    std::uint32_t limit, size;
    bool abort;
    std::size_t onWire;
    std::uint32_t result;  // of Upload: 1, or 0 for a limit never met
};

class UploadStops : public ::testing::TestWithParam<UploadStop> {};

TEST_P(UploadStops, AtTheRightBlock) {
    const UploadStop& p = GetParam();
    std::string file(100000, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 13 + 5);
    std::string wire;
    ScriptedPeer data([&](PeerConnection& c) { wire = c.ReadToEnd(); });
    Lines received;
    std::vector<std::string> replies = {"250 ok\r\n", "257 \"/pub\"\r\n", "200 binary\r\n",
                                        PasvReply(data.Port())};
    if (p.abort) {
        replies.push_back("150 receiving\r\n");
        replies.push_back("426 aborted\r\n226 abort ok\r\n");
    } else {
        replies.push_back("150 receiving\r\n226 done\r\n");
    }
    ScriptedPeer server(FtpDialogue("220 hi\r\n", LoggedOn(replies), &received));
    const std::string local = testing::TempDir() + "velkor-up-" + std::to_string(getpid());
    std::ofstream(local, std::ios::binary) << file;
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    ftp.m_bAbort = p.abort ? 1 : 0;
    std::uint32_t transferred = 0;
    EXPECT_EQ(ftp.Upload(local, "/pub/up.bin", transferred, p.limit, 0, p.size, true), p.result);
    ftp.Logout();
    server.Join();
    data.Join();
    std::filesystem::remove(local);
    EXPECT_EQ(transferred, p.onWire);
    EXPECT_EQ(ftp.m_nTransferred, p.onWire);
    EXPECT_TRUE(wire == file.substr(0, p.onWire)) << wire.size() << " bytes on the wire";
    Lines expected = {"USER u", "PWD", "CWD /pub", "PWD", "TYPE i", "PASV", "STOR up.bin"};
    if (p.abort) expected.push_back("ABOR");
    expected.push_back("QUIT");
    EXPECT_EQ(received, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UploadStops,
    ::testing::Values(UploadStop{"Whole", 0, 0, false, 100000, 1},
                      UploadStop{"LimitTwoBlocks", 2 * CFtp::kBlockSize, 0, false, 8192, 1},
                      // never met exactly: the whole file goes, and that fails
                      UploadStop{"LimitBetweenBlocks", 5000, 0, false, 100000, 0},
                      // the block that crosses the size still goes whole
                      UploadStop{"SizeBetweenBlocks", 0, 10000, false, 12288, 1},
                      UploadStop{"AbortAlreadySet", 0, 0, true, 4096, 1}),
    [](const ::testing::TestParamInfo<UploadStop>& info) { return info.param.name; });

TEST(CFtpOps, LimitInWholeBlocksIsMetHoweverTheDataIsSplit) {
    // The data comes in pieces of 1000 bytes: blocks are still whole.
    ScriptedPeer data([](PeerConnection& c) {
        for (int i = 0; i < 40; ++i) {
            c.Write(std::string(1000, static_cast<char>('a' + i % 26)));
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/pub\"\r\n", "200 binary\r\n", PasvReply(data.Port()),
                  "150 sending\r\n426 closed\r\n"}),
        &received));
    const std::string local = testing::TempDir() + "velkor-limit-" + std::to_string(getpid());
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    EXPECT_EQ(ftp.Download("/pub/f.bin", local, transferred, 2 * CFtp::kBlockSize, 0, 0, true),
              0u);
    EXPECT_EQ(transferred, 2u * CFtp::kBlockSize);
    EXPECT_EQ(std::filesystem::file_size(local), 2u * CFtp::kBlockSize);
    std::filesystem::remove(local);
}

TEST(CFtpOps, DataConnectionDyingMidTransferThenResume) {
    std::string file(50000, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 + 3);
    constexpr std::size_t kCut = 10000;
    int connection = 0;
    ScriptedPeer data(
        [&](PeerConnection& c) {
            if (connection++ == 0) {
                c.Write(file.substr(0, kCut));
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                c.Reset();  // the data connection dies
            } else {
                c.Write(file.substr(kCut));
            }
        },
        2);
    Lines received;
    ScriptedPeer server(FtpDialogue(
        "220 hi\r\n",
        LoggedOn({"250 ok\r\n", "257 \"/pub\"\r\n", "200 binary\r\n", PasvReply(data.Port()),
                  "150 sending\r\n426 connection lost\r\n", PasvReply(data.Port()),
                  "350 restarting at 10000\r\n", "150 sending\r\n226 done\r\n"}),
        &received));
    const std::string local = testing::TempDir() + "velkor-resume-" + std::to_string(getpid());
    std::filesystem::remove(local);
    CFtp ftp;
    ASSERT_TRUE(LoginTo(ftp, server));
    std::uint32_t transferred = 0;
    const std::uint32_t size = static_cast<std::uint32_t>(file.size());
    // No limit: the broken transfer still reports success, with fewer bytes.
    EXPECT_EQ(ftp.Download("/pub/f.bin", local, transferred, 0, 0, size, true), 0u);
    EXPECT_EQ(ftp.m_nTransferred, kCut);
    EXPECT_EQ(ftp.m_nLastReply, 426);
    EXPECT_EQ(ftp.Download("/pub/f.bin", local, transferred, 0, ftp.m_nTransferred, size, true),
              0u);
    EXPECT_EQ(ftp.m_nTransferred, size);
    std::ifstream in(local, std::ios::binary);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(in), {}) == file);
    ftp.Logout();
    server.Join();
    std::filesystem::remove(local);
    EXPECT_EQ(received, (Lines{"USER u", "PWD", "CWD /pub", "PWD", "TYPE i", "PASV", "RETR f.bin",
                               "PASV", "REST 10000", "RETR f.bin", "QUIT"}));
}

}  // namespace
}  // namespace velkor
