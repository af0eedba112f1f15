#include "socket/CVLKSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "ScriptedPeer.h"
#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A socket connected directly to a scripted peer.
void ConnectTo(CVLKSocket& sock, const ScriptedPeer& peer) {
    ASSERT_TRUE(sock.Create());
    ASSERT_EQ(sock.Connect("127.0.0.1", peer.Port()), 1);
}

TEST(CVLKSocket, LargeSendToASlowReaderSucceedsBeyondTheTimeout) {
    constexpr std::size_t kSize = 8 << 20;
    std::string payload(kSize, '\0');
    std::mt19937 rng(42);
    for (auto& ch : payload) ch = static_cast<char>(rng());

    std::string received;
    ScriptedPeer peer([&](PeerConnection& c) {
        c.SetReceiveBufferSize(64 << 10);
        // About 1.3 MB/s: the whole send lasts several seconds while every
        // chunk is taken well within the one-second time-out.
        while (received.size() < kSize) {
            std::string piece = c.Read(std::min<std::size_t>(64 << 10, kSize - received.size()));
            if (piece.empty()) break;
            received += piece;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    CVLKSocket sock;
    ConnectTo(sock, peer);
    sock.SetTimeoutLength(1);
    const auto start = Clock::now();
    EXPECT_EQ(sock.Send(payload.data(), static_cast<int>(kSize)), static_cast<int>(kSize));
    peer.Join();
    EXPECT_GT(SecondsSince(start), 2.0);
    EXPECT_EQ(sock.IsTimeout(), 0);
    EXPECT_TRUE(received == payload);
}

TEST(CVLKSocket, ReentryFromTheWaitHookIsRefusedWith10036) {
    ScriptedPeer peer([](PeerConnection& c) { c.ReadToEnd(); });
    CVLKSocket sock;
    ConnectTo(sock, peer);
    int nestedReceive = -2, nestedReceiveError = 0, nestedSend = -2, nestedSendError = 0;
    int calls = 0;
    ScopedWaitHook hook([&] {
        if (++calls == 2) {
            char b[4];
            nestedReceive = sock.Receive(b, sizeof b);
            nestedReceiveError = GetLastSocketError();
            nestedSend = sock.Send("x", 1);
            nestedSendError = GetLastSocketError();
            CancelBlockingCall();
        }
    });
    char buf[8];
    EXPECT_EQ(sock.Receive(buf, sizeof buf), -1);
    EXPECT_EQ(GetLastSocketError(), WSAEINTR);
    EXPECT_EQ(nestedReceive, 0);
    EXPECT_EQ(nestedReceiveError, WSAEINPROGRESS);
    EXPECT_EQ(nestedSend, 0);
    EXPECT_EQ(nestedSendError, WSAEINPROGRESS);
    EXPECT_EQ(sock.IsTimeout(), 0);
}

// A loopback listener that never accepts, with its queue full: the kernel
// drops further SYNs, as a filtering firewall would.
struct SynDropper {
    SynDropper() {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        ::bind(listener, reinterpret_cast<sockaddr*>(&sin), len);
        ::listen(listener, 0);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sin), &len);
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(fillers.back(), reinterpret_cast<sockaddr*>(&sin), len);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~SynDropper() {
        for (int fd : fillers) ::close(fd);
        ::close(listener);
    }
    int listener;
    sockaddr_in sin{};
    std::vector<int> fillers;
};

TEST(CVLKSocket, ConnectToAPeerThatDropsSynsEndsWithinTheTimeout) {
    SynDropper dropper;
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(1);
    const auto start = Clock::now();
    EXPECT_EQ(sock.Connect("127.0.0.1", ntohs(dropper.sin.sin_port)), 0);
    const double elapsed = SecondsSince(start);
    EXPECT_EQ(GetLastSocketError(), WSAETIMEDOUT);
    EXPECT_GE(elapsed, 1.0);
    EXPECT_LE(elapsed, 2.8);  // T plus at most 1 s, with room for a busy machine
}

TEST(CVLKSocket, ANameWhoseFirstAddressDropsSynsConnectsToTheNextAfter250Ms) {
    // The addresses a name resolves to: the silent one first, as a broken
    // IPv6 route would be, then one that answers.
    SynDropper dropper;
    ScriptedPeer good([](PeerConnection& c) {
        c.Write("hello");
        c.Read(1);
    });
    std::vector<SocketAddress> addresses;
    ASSERT_TRUE(ResolveHost("127.0.0.1", ntohs(dropper.sin.sin_port), addresses));
    std::vector<SocketAddress> second;
    ASSERT_TRUE(ResolveHost("[127.0.0.1]", good.Port(), second));
    addresses.push_back(second.front());
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create());
    sock.SetTimeoutLength(5);
    const auto start = Clock::now();
    ASSERT_EQ(sock.Connect(addresses), 1);
    const double elapsed = SecondsSince(start);
    EXPECT_GE(elapsed, 0.24);
    EXPECT_LE(elapsed, 1.5);  // long before the 5 s time-out
    char buf[8] = {};
    EXPECT_EQ(sock.Receive(buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "hello");
    sock.Send("x", 1);
}

// A plain client that connects to a port and exchanges one line.
std::thread ClientThread(unsigned int port, std::string* reply) {
    return std::thread([port, reply] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_port = htons(static_cast<uint16_t>(port));
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0) {
            ::send(fd, "ping", 4, 0);
            char buf[8] = {};
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) reply->assign(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
    });
}

unsigned int LocalPort(const CVLKSocket& sock) {
    std::string addr;
    unsigned int port = 0;
    EXPECT_TRUE(sock.GetSockName(addr, port));
    return port;
}

// A cancelled accept leaves the object listening; the next accept turns
// the listener into the connection.
TEST(CVLKSocket, AcceptAfterACancelledOneTurnsTheListenerIntoTheConnection) {
    CVLKSocket sock;
    ASSERT_TRUE(sock.Create(0, SOCK_STREAM, FD_ALL_EVENTS, "127.0.0.1"));
    ASSERT_EQ(sock.Listen(), 1);
    {
        ScopedWaitHook hook([] { CancelBlockingCall(); });
        EXPECT_EQ(sock.Accept(), 0);
        EXPECT_EQ(GetLastSocketError(), WSAEINTR);
    }
    const int listenHandle = sock.m_hSocket;
    std::string reply;
    std::thread client = ClientThread(LocalPort(sock), &reply);
    ASSERT_EQ(sock.Accept(), 1);
    EXPECT_NE(sock.m_hSocket, listenHandle);
    std::string peerAddr;
    unsigned int peerPort = 0;
    EXPECT_TRUE(sock.GetPeerName(peerAddr, peerPort));
    EXPECT_EQ(peerAddr, "127.0.0.1");
    char buf[8];
    ASSERT_EQ(sock.Receive(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    ASSERT_EQ(sock.Send("pong", 4), 4);
    client.join();
    EXPECT_EQ(reply, "pong");
}

}  // namespace
}  // namespace velkor
