// CVLKSocket through a real SOCKS server (Dante) on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "RealServers.h"
#include "ScriptedPeer.h"
#include "socket/CVLKSocket.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;

class DanteProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_skipReason = test::DanteUnavailable();
        if (!s_skipReason.empty()) return;
        s_server = new test::DanteServer;
        s_started = s_server->Start();
        s_port = s_server->Port();
    }
    static void TearDownTestSuite() {
        delete s_server;
        s_server = nullptr;
    }
    void SetUp() override {
        if (!s_skipReason.empty()) GTEST_SKIP() << s_skipReason;
        ASSERT_TRUE(s_started) << "danted did not start; see " << s_server->Dir()
                               << "/danted.log";
    }

    // An echo server behind the proxy.
    static ScriptedPeer::Script Echo() {
        return [](PeerConnection& c) {
            for (std::string s; !(s = c.ReadSome()).empty();) c.Write(s);
        };
    }

    static void RoundTrip(CVLKSocket& sock, const std::string& text) {
        ASSERT_EQ(sock.Send(text.data(), static_cast<int>(text.size())),
                  static_cast<int>(text.size()));
        std::string back;
        char buf[256];
        while (back.size() < text.size()) {
            const int n = sock.Receive(buf, sizeof buf);
            ASSERT_GT(n, 0);
            back.append(buf, static_cast<std::size_t>(n));
        }
        EXPECT_EQ(back, text);
    }

    static inline std::string s_skipReason;
    static inline bool s_started = false;
    static inline unsigned int s_port = 0;
    static inline test::DanteServer* s_server = nullptr;
};

struct ConnectCase {
    const char* name;
    int type;
    const char* host;  // for the proxy and the target
    bool withUser;
    const char* password;  // nullptr: the test user's own
    int proxyError;        // 0: connects and echoes
};

class DanteConnect : public DanteProxy, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(DanteConnect, ConnectsOrReportsTheProxyError) {
    const ConnectCase& c = GetParam();
    if (c.withUser && !s_server->UserReady())
        GTEST_SKIP() << "cannot create the local test user (needs root)";
    ScriptedPeer echo(Echo());
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(c.type, c.host, static_cast<int>(s_port),
                  c.withUser ? test::DanteServer::TestUser() : "",
                  c.password ? c.password : test::DanteServer::TestPassword(), c.withUser ? 1 : 0);
    const int connected = sock.Connect(c.host, echo.Port());
    EXPECT_EQ(sock.GetLastProxyError(), c.proxyError);
    if (c.proxyError != 0) {
        EXPECT_EQ(connected, 0);
        return;
    }
    ASSERT_EQ(connected, 1);
    RoundTrip(sock, c.name);
    std::string addr;
    unsigned int port = 0;
    ASSERT_EQ(sock.GetProxyPeerName(addr, port), 1);
    EXPECT_EQ(port, echo.Port());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DanteConnect,
    ::testing::Values(ConnectCase{"Socks4", kProxySocks4, "127.0.0.1", false, "", 0},
                      ConnectCase{"Socks5ByName", kProxySocks5, "localhost", false, "", 0},
                      ConnectCase{"Socks5UserPassword", kProxySocks5, "127.0.0.1", true, nullptr, 0},
                      ConnectCase{"Socks5WrongPassword", kProxySocks5, "127.0.0.1", true, "wrong",
                                  kProxyAuthFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// Connects to the address the proxy listens on, sends a line and reads the
// answer.
std::thread PeerConnectingBack(std::uint32_t addr, std::uint16_t portNet, std::string* answer) {
    return std::thread([=] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = portNet;
        sin.sin_addr.s_addr = addr;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0) {
            ::send(fd, "hello binder", 12, 0);
            char buf[64];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) answer->assign(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
    });
}

void BindEndToEnd(int type, unsigned int proxyPort) {
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(type, "127.0.0.1", static_cast<int>(proxyPort), "", "", 0);
    std::uint32_t boundAddr = 0;
    int boundPort = 0;
    ASSERT_EQ(sock.Listen(inet_addr("127.0.0.1"), boundAddr, boundPort), 1)
        << sock.GetLastProxyError();
    ASSERT_NE(boundPort, 0);
    if (boundAddr == 0) boundAddr = inet_addr("127.0.0.1");  // "any": the proxy's own address
    std::string answer;
    std::thread peer =
        PeerConnectingBack(boundAddr, static_cast<std::uint16_t>(boundPort), &answer);
    EXPECT_EQ(sock.Accept(), 1);
    char buf[64];
    std::string got;
    while (got.size() < 12) {
        const int n = sock.Receive(buf, sizeof buf);
        if (n <= 0) break;
        got.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, "hello binder");
    EXPECT_EQ(sock.Send("welcome", 7), 7);
    peer.join();
    EXPECT_EQ(answer, "welcome");
}

TEST_F(DanteProxy, Socks5BindEndToEnd) { BindEndToEnd(2, s_port); }

TEST_F(DanteProxy, Socks4BindEndToEnd) { BindEndToEnd(1, s_port); }

}  // namespace
}  // namespace velkor
