// Where CFtp takes its data connection from: checks that need a second
// loopback host (127.0.0.2), beyond what a transcript's peers can play.
#include "ftp/CFtp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "FtpTestSupport.h"
#include "TestFiles.h"

namespace velkor {
namespace {

using namespace test;  // the scripted peer and FTP dialogue helpers
using Lines = std::vector<std::string>;


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

}  // namespace
}  // namespace velkor
