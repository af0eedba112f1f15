// SOCKS4 and SOCKS5 handshakes against a scripted proxy that checks every
// byte the socket sends and answers with scripted (also broken) replies.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "ScriptedPeer.h"
#include "platform/LastError.h"
#include "socket/CVLKSocket.h"

namespace velkor {
namespace {

using test::Bytes;
using test::PeerConnection;
using test::ScriptedPeer;

// One exchange of the scripted proxy: read `read` bytes, wait, answer.
struct Step {
    std::size_t read;
    std::string reply;
    int pauseMs = 0;         // before the reply
    bool splitReply = false;  // send the reply in two packets
    bool closeAfter = false;  // close the connection after the reply
};

// Runs the steps, records what the client sent, then closes.
ScriptedPeer::Script ProxyScript(std::vector<Step> steps, std::string* sent) {
    return [steps = std::move(steps), sent](PeerConnection& c) {
        for (const Step& s : steps) {
            *sent += c.Read(s.read);
            if (s.pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(s.pauseMs));
            if (s.splitReply) {
                const std::size_t half = s.reply.size() / 2;
                c.Write(s.reply.substr(0, half));
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                c.Write(s.reply.substr(half));
            } else {
                c.Write(s.reply);
            }
            if (s.closeAfter) return;
        }
        c.ReadToEnd();
    };
}

const std::string kGreeting = Bytes({5, 1, 0});
const std::string kGreetingAuth = Bytes({5, 2, 2, 0});
// CONNECT to 10.0.0.1 port 21.
const std::string kSocks5Connect = Bytes({5, 1, 0, 1, 10, 0, 0, 1, 0, 21});
const std::string kSocks4Connect = Bytes({4, 1, 0, 21, 10, 0, 0, 1, 0});
const std::string kSocks5Ok = Bytes({5, 0, 0, 1, 10, 0, 0, 1, 0, 21});
const std::string kSocks4Ok = Bytes({0, 0x5A, 0, 21, 10, 0, 0, 1});
// 01, 5, "user1", 6, "secret": 14 bytes.
const std::string kAuthRequest = Bytes({1, 5}) + "user1" + Bytes({6}) + "secret";

struct HandshakeCase {
    const char* name;
    int type;
    int auth;
    std::vector<Step> steps;
    int result;
    int proxyError;  // 0: none expected
    std::string sent;
};

// Keeps the parameterised test names readable.
void PrintTo(const HandshakeCase& tc, std::ostream* os) { *os << tc.name; }

class SocksConnect : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(SocksConnect, SendsExactBytesAndJudgesReplies) {
    const HandshakeCase& tc = GetParam();
    std::string sent;
    ScriptedPeer proxy(ProxyScript(tc.steps, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(2);
    sock.SetProxy(tc.type, "127.0.0.1", static_cast<int>(proxy.Port()), "user1", "secret",
                  tc.auth);
    EXPECT_EQ(sock.Connect("10.0.0.1", 21), tc.result);
    EXPECT_EQ(sock.GetLastProxyError(), tc.proxyError);
    sock.Close();
    proxy.Join();
    EXPECT_EQ(sent, tc.sent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocksConnect,
    ::testing::Values(
        HandshakeCase{"Socks4Granted", 1, 0, {{9, kSocks4Ok}}, 1, 0, kSocks4Connect},
        HandshakeCase{"Socks4Rejected5B", 1, 0, {{9, Bytes({0, 0x5B, 0, 0, 0, 0, 0, 0})}}, 0, 2,
                      kSocks4Connect},
        HandshakeCase{"Socks4Short", 1, 0, {{9, Bytes({0, 0x5A, 0, 21})}}, 0, 2, kSocks4Connect},
        HandshakeCase{"Socks5NoAuth", 2, 0, {{3, Bytes({5, 0})}, {10, kSocks5Ok}}, 1, 0,
                      kGreeting + kSocks5Connect},
        HandshakeCase{"Socks5UserPassword", 2, 1,
                      {{4, Bytes({5, 2})}, {14, Bytes({1, 0})}, {10, kSocks5Ok}}, 1, 0,
                      kGreetingAuth + kAuthRequest + kSocks5Connect},
        HandshakeCase{"Socks5AuthOfferedNoneChosen", 2, 1, {{4, Bytes({5, 0})}, {10, kSocks5Ok}},
                      1, 0, kGreetingAuth + kSocks5Connect},
        HandshakeCase{"MethodFF", 2, 1, {{4, Bytes({5, 0xFF})}}, 0, 3, kGreetingAuth},
        HandshakeCase{"Method01", 2, 0, {{3, Bytes({5, 1})}}, 0, 4, kGreeting},
        HandshakeCase{"GarbageMethodReply", 2, 0, {{3, "HTTP/1.0 400"}}, 0, 4, kGreeting},
        HandshakeCase{"AuthDemandedButOff", 2, 0, {{3, Bytes({5, 2})}}, 0, 6, kGreeting},
        HandshakeCase{"AuthRejected", 2, 1, {{4, Bytes({5, 2})}, {14, Bytes({1, 1})}}, 0, 5,
                      kGreetingAuth + kAuthRequest},
        HandshakeCase{"AuthReplyShort", 2, 1, {{4, Bytes({5, 2})}, {14, Bytes({1})}}, 0, 5,
                      kGreetingAuth + kAuthRequest},
        HandshakeCase{"MethodReplyShort", 2, 0, {{3, Bytes({5})}}, 0, 2, kGreeting},
        HandshakeCase{"ClosesAfterGreeting", 2, 0, {{3, "", 0, false, true}}, 0, 2, kGreeting},
        HandshakeCase{"ConnectReplyEightBytes", 2, 0,
                      {{3, Bytes({5, 0})}, {10, kSocks5Ok.substr(0, 8)}}, 0, 2,
                      kGreeting + kSocks5Connect},
        HandshakeCase{"ConnectRefusedByProxy", 2, 0,
                      {{3, Bytes({5, 0})}, {10, Bytes({5, 5, 0, 1, 0, 0, 0, 0, 0, 0})}}, 0, 2,
                      kGreeting + kSocks5Connect},
        HandshakeCase{"ConnectReplySplitInTwo", 2, 0,
                      {{3, Bytes({5, 0})}, {10, kSocks5Ok, 0, true}}, 0, 2,
                      kGreeting + kSocks5Connect},
        HandshakeCase{"MethodReplySplitInTwo", 2, 0, {{3, Bytes({5, 0}), 0, true}}, 0, 2,
                      kGreeting}),
    [](const ::testing::TestParamInfo<HandshakeCase>& info) { return info.param.name; });

// A CONNECT reply may name the bound address as IPv4, as a name (ATYP 3)
// or as IPv6 (ATYP 4): taken whole, so the bytes behind it stay data.
class Socks5ReplyAddress : public ::testing::TestWithParam<std::string> {};

TEST_P(Socks5ReplyAddress, IsTakenWholeAndTheDataBehindItStays) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({{3, Bytes({5, 0})}, {10, GetParam() + "greeting"}}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(kProxySocks5, "127.0.0.1", static_cast<int>(proxy.Port()), "", "", 0);
    ASSERT_EQ(sock.Connect("10.0.0.1", 21), 1) << sock.GetLastProxyError();
    char buf[64];
    const int n = sock.Receive(buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "greeting");
}

INSTANTIATE_TEST_SUITE_P(
    Types, Socks5ReplyAddress,
    ::testing::Values(kSocks5Ok, Bytes({5, 0, 0, 3, 9}) + "localhost" + Bytes({0, 21}),
                      Bytes({5, 0, 0, 4}) + std::string(16, '\0') + Bytes({0, 21})));

TEST(SocksProxy, StepsJustWithinTheTimeoutEndAtTheHandshakeDeadline) {
    // Each answer comes just before the 3 s time-out; all three would take 8.4 s.
    std::string sent;
    ScriptedPeer proxy(ProxyScript(
        {{4, Bytes({5, 2}), 2800}, {14, Bytes({1, 0}), 2800}, {10, kSocks5Ok, 2800}}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(3);
    sock.SetProxy(kProxySocks5, "127.0.0.1", static_cast<int>(proxy.Port()), "user1", "secret", 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sock.Connect("10.0.0.1", 21), 0);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(sock.GetLastProxyError(), kProxyReplyBad);
    EXPECT_EQ(GetLastSocketError(), WSAECONNABORTED);
    // Twice the time-out, plus at most 1 s of whole-second rounding.
    EXPECT_LT(elapsed, 8.0);
}

TEST(SocksProxy, SilentProxyFailsTheStepAfterTheTimeout) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({{3, Bytes({5, 0}), 3000}}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(1);
    sock.SetProxy(2, "127.0.0.1", static_cast<int>(proxy.Port()), "", "", 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sock.Connect("10.0.0.1", 21), 0);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(sock.GetLastProxyError(), 2);
    EXPECT_EQ(GetLastSocketError(), WSAECONNABORTED);
    EXPECT_EQ(sock.IsTimeout(), 1);
    EXPECT_GE(elapsed, 1.0);
    EXPECT_LE(elapsed, 2.8);  // T plus at most 1 s, with room for a busy machine
}

TEST(SocksProxy, UnreachableProxyIsError1) {
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(2, "127.0.0.1", static_cast<int>(test::FreeLoopbackPort()), "", "", 0);
    EXPECT_EQ(sock.Connect("10.0.0.1", 21), 0);
    EXPECT_EQ(sock.GetLastProxyError(), 1);
    EXPECT_EQ(GetLastSocketError(), WSAECONNREFUSED);
}

TEST(SocksProxy, UnresolvableTargetFailsBeforeAnyProxyTraffic) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(2, "127.0.0.1", static_cast<int>(proxy.Port()), "", "", 0);
    EXPECT_EQ(sock.Connect("no such host!", 21), 0);
    EXPECT_EQ(GetLastSocketError(), WSAEINVAL);
    EXPECT_EQ(sock.GetLastProxyError(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(proxy.Accepted(), 0);
}

TEST(SocksProxy, AllOnesAddressIsLookedUpAsANameAndSentAsTheLookupGivesIt) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({{9, kSocks4Ok}}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(1, "127.0.0.1", static_cast<int>(proxy.Port()), "", "", 0);
    EXPECT_EQ(sock.Connect("255.255.255.255", 80), 1);
    sock.Close();
    proxy.Join();
    EXPECT_EQ(sent, Bytes({4, 1, 0, 80, 255, 255, 255, 255, 0}));
}

TEST(SocksProxy, OverlongCredentialsAreRefusedBeforeAnythingIsSent) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({}, &sent));
    for (auto [user, password] : {std::pair{std::string(256, 'u'), std::string("pw")},
                                  std::pair{std::string("user"), std::string(300, 'p')}}) {
        CVLKSocket sock;
        ASSERT_TRUE(sock.Create());
        sock.SetProxy(2, "127.0.0.1", static_cast<int>(proxy.Port()), user, password, 1);
        EXPECT_EQ(sock.Connect("10.0.0.1", 21), 0);
        EXPECT_EQ(sock.GetLastProxyError(), 5);
        EXPECT_EQ(GetLastSocketError(), WSAEINVAL);
        std::uint32_t boundAddr = 0;
        int boundPort = -1;
        EXPECT_EQ(sock.Listen(inet_addr("10.0.0.1"), boundAddr, boundPort), 0);
        EXPECT_EQ(boundPort, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(proxy.Accepted(), 0);
}

TEST(SocksProxy, CredentialsOfExactly255BytesTravel) {
    const std::string user(255, 'u'), password(255, 'p');
    std::string sent;
    ScriptedPeer proxy(
        ProxyScript({{4, Bytes({5, 2})}, {3 + 255 + 255, Bytes({1, 0})}, {10, kSocks5Ok}}, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetProxy(2, "127.0.0.1", static_cast<int>(proxy.Port()), user, password, 1);
    EXPECT_EQ(sock.Connect("10.0.0.1", 21), 1);
    sock.Close();
    proxy.Join();
    EXPECT_EQ(sent, kGreetingAuth + Bytes({1, 255}) + user + Bytes({255}) + password +
                        kSocks5Connect);
}

TEST(SocksProxy, PeerNameIsTheTargetWhileConnectedToTheProxy) {
    std::string sent;
    ScriptedPeer proxy(ProxyScript({{3, Bytes({5, 0})}, {10, kSocks5Ok}}, &sent));
    CVLKSocket sock;
    std::string addr;
    unsigned int port = 0;
    ASSERT_TRUE(sock.Create());
    EXPECT_EQ(sock.GetProxyPeerName(addr, port), 0);  // not connected
    sock.SetProxy(2, "127.0.0.1", static_cast<int>(proxy.Port()), "", "", 0);
    ASSERT_EQ(sock.Connect("10.0.0.1", 21), 1);
    ASSERT_EQ(sock.GetProxyPeerName(addr, port), 1);
    EXPECT_EQ(addr, "10.0.0.1");
    EXPECT_EQ(port, 21u);

    sockaddr_in sin{};
    int len = sizeof sin;
    ASSERT_EQ(sock.GetProxyPeerName(reinterpret_cast<sockaddr*>(&sin), &len), 1);
    EXPECT_EQ(sin.sin_addr.s_addr, inet_addr("10.0.0.1"));
    EXPECT_EQ(ntohs(sin.sin_port), 21);

    std::string realAddr;
    unsigned int realPort = 0;
    ASSERT_TRUE(sock.GetPeerName(realAddr, realPort));
    EXPECT_EQ(realAddr, "127.0.0.1");
    EXPECT_EQ(realPort, proxy.Port());
}

TEST(SocksProxy, TypeZeroKeepsTheStoredSettings) {
    CVLKSocket sock;
    sock.SetProxy(2, "proxy.example", 1080, "alice", "pw", 1);
    sock.SetProxy(0, "other", 9, "bob", "x", 0);
    EXPECT_EQ(sock.IsProxyExisted(), 0);
    EXPECT_EQ(sock.m_strProxyHost, "proxy.example");
    EXPECT_EQ(sock.m_nProxyPort, 1080);
    EXPECT_EQ(sock.m_strProxyUser, "alice");
    EXPECT_EQ(sock.m_strProxyPassword, "pw");
    EXPECT_EQ(sock.m_bProxyAuth, 1);
}

// BIND: Listen asks the proxy to listen (first reply: where), Accept waits
// for the second reply (the peer came, or did not).
struct BindCase {
    const char* name;
    int type;
    bool proxyListening;     // false: nothing listens on the proxy port
    std::vector<Step> steps;
    int listen;
    const char* boundAddr;   // when listen succeeds
    int boundPort;           // host order
    int accept;              // -1: Accept not called
    std::size_t dataAfter;   // bytes received after a successful Accept
    int proxyError;          // after the last call (4 set before)
    std::string sent;
};

class SocksBind : public ::testing::TestWithParam<BindCase> {};

TEST_P(SocksBind, ListenAndAccept) {
    const BindCase& c = GetParam();
    std::string sent;
    ScriptedPeer proxy(ProxyScript(c.steps, &sent));
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.m_nLastProxyError = kProxyOtherMethod;
    const unsigned int port = c.proxyListening ? proxy.Port() : test::FreeLoopbackPort();
    sock.SetProxy(c.type, "127.0.0.1", static_cast<int>(port), "", "", 0);
    std::uint32_t boundAddr = 0;
    int boundPort = -1;
    ASSERT_EQ(sock.Listen(inet_addr("10.0.0.1"), boundAddr, boundPort), c.listen);
    if (c.listen == 1) {
        EXPECT_EQ(boundAddr, inet_addr(c.boundAddr));
        EXPECT_EQ(ntohs(static_cast<std::uint16_t>(boundPort)), c.boundPort);
    } else {
        EXPECT_EQ(boundPort, 0);
    }
    if (c.accept >= 0) {
        EXPECT_EQ(sock.Accept(), c.accept);
        char buf[32];
        if (c.accept == 1) {
            EXPECT_EQ(sock.Receive(buf, sizeof buf), static_cast<int>(c.dataAfter));
        }
    }
    EXPECT_EQ(sock.GetLastProxyError(), c.proxyError);
    sock.Close();
    if (c.proxyListening) {
        proxy.Join();
        EXPECT_EQ(sent, c.sent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SocksBind,
    ::testing::Values(
        BindCase{"Socks5BoundThenPeerWithData", kProxySocks5, true,
                 {{3, Bytes({5, 0})},
                  {10, Bytes({5, 0, 0, 1, 127, 0, 0, 9, 0x12, 0x34})},
                  {0, Bytes({5, 0, 0, 1, 10, 0, 0, 1, 0, 20}) + "data from peer", 300}},
                 1, "127.0.0.9", 0x1234, 1, 14, kProxyOtherMethod,
                 kGreeting + Bytes({5, 2, 0, 1, 10, 0, 0, 1, 0, 0})},
        // The peer never came: the second reply refuses, the error code stays.
        BindCase{"Socks4BoundThenRefused", kProxySocks4, true,
                 {{9, Bytes({0, 0x5A, 0x43, 0x21, 127, 0, 0, 1}) + Bytes({0, 0x5B, 0, 0, 0, 0, 0, 0})}},
                 1, "127.0.0.1", 0x4321, 0, 0, kProxyOtherMethod, Bytes({4, 2, 0, 0, 10, 0, 0, 1, 0})},
        BindCase{"Socks4RefusedAtOnceKeepsTheErrorCode", kProxySocks4, true,
                 {{9, Bytes({0, 0x5B, 0, 0, 0, 0, 0, 0})}}, 0, "", 0, -1, 0, kProxyOtherMethod,
                 Bytes({4, 2, 0, 0, 10, 0, 0, 1, 0})},
        // An unreachable proxy: SOCKS4's Listen says 2, SOCKS5's says 1.
        BindCase{"Socks4ProxyUnreachable", kProxySocks4, false, {}, 0, "", 0, -1, 0,
                 kProxyReplyBad, ""},
        BindCase{"Socks5ProxyUnreachable", kProxySocks5, false, {}, 0, "", 0, -1, 0,
                 kProxyConnectFailed, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velkor
