#include "platform/CSocket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ScriptedPeer.h"
#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor {
namespace {

using test::PeerConnection;
using test::ScriptedPeer;

// Exposes the protected wait for the tests.
class WaitingSocket : public CSocket {
public:
    using CSocket::m_nTimeOut;
    using CSocket::PumpMessages;
};

TEST(ResolveIPv4Host, DottedShortDottedAndNames) {
    std::uint32_t addr = 0;
    ASSERT_TRUE(ResolveIPv4Host("10.1.2.3", addr));
    EXPECT_EQ(addr, inet_addr("10.1.2.3"));
    ASSERT_TRUE(ResolveIPv4Host("127.1", addr));
    EXPECT_EQ(addr, htonl(0x7F000001));
    ASSERT_TRUE(ResolveIPv4Host("localhost", addr));
    EXPECT_EQ(addr, htonl(0x7F000001));
}

TEST(ResolveIPv4Host, NothingResolvesGives10022) {
    for (const char* host : {"", "no such host!"}) {
        std::uint32_t addr = 0;
        SetLastSocketError(0);
        EXPECT_FALSE(ResolveIPv4Host(host, addr)) << host;
        EXPECT_EQ(GetLastSocketError(), WSAEINVAL) << host;
    }
    SetLastSocketError(0);
    std::uint32_t addr = 0;
    EXPECT_FALSE(ResolveIPv4Host(nullptr, addr));
    EXPECT_EQ(GetLastSocketError(), WSAEINVAL);
}

TEST(CSocket, ConnectToClosedPortIsRefused) {
    CSocket sock;
    ASSERT_TRUE(sock.Create());
    EXPECT_FALSE(sock.Connect("127.0.0.1", test::FreeLoopbackPort()));
    EXPECT_EQ(GetLastSocketError(), WSAECONNREFUSED);
}

TEST(CSocket, BlockingReceiveRunsHookAndCanBeCancelled) {
    ScriptedPeer peer([](PeerConnection& c) { c.Read(1); });
    CSocket sock;
    ASSERT_TRUE(sock.Create());
    ASSERT_TRUE(sock.Connect("127.0.0.1", peer.Port()));

    int calls = 0;
    bool blockingSeen = false;
    ScopedWaitHook hook([&] {
        blockingSeen = sock.IsBlocking();
        if (++calls == 5) CancelBlockingCall();
    });
    char buf[16];
    EXPECT_EQ(sock.Receive(buf, sizeof buf), SOCKET_ERROR);
    EXPECT_EQ(GetLastSocketError(), WSAEINTR);
    EXPECT_EQ(calls, 5);
    EXPECT_TRUE(blockingSeen);
    EXPECT_FALSE(sock.IsBlocking());
    sock.Send("x", 1);
}

// Data that is always there never waits: the hook still runs once a
// period has passed (a fast transfer would otherwise freeze the GUI).
TEST(CSocket, ReceiveThatDoesNotWaitStillRunsADueHook) {
    ScriptedPeer peer([](PeerConnection& c) {
        c.Write(std::string(1000, 'x'));
        c.Read(1);
    });
    CSocket sock;
    ASSERT_TRUE(sock.Create());
    ASSERT_TRUE(sock.Connect("127.0.0.1", peer.Port()));
    int calls = 0;
    ScopedWaitHook hook([&] { ++calls; });
    char buf[1];
    ASSERT_EQ(sock.Receive(buf, 1), 1);  // the rest is there now
    std::this_thread::sleep_for(std::chrono::milliseconds(kHookPeriodMs + 5));
    const int before = calls;
    ASSERT_EQ(sock.Receive(buf, 1), 1);
    EXPECT_EQ(calls, before + 1);
    // A cancellation asked for meanwhile ends the next call.
    CancelBlockingCall();
    EXPECT_EQ(sock.Receive(buf, 1), SOCKET_ERROR);
    EXPECT_EQ(GetLastSocketError(), WSAEINTR);
    sock.Send("x", 1);
}

TEST(CSocket, HookIsNotReenteredByANestedWait) {
    ScriptedPeer peerA([](PeerConnection& c) { c.Read(1); });
    ScriptedPeer peerB([](PeerConnection& c) { c.Read(1); });
    WaitingSocket a, b;
    ASSERT_TRUE(a.Create() && a.Connect("127.0.0.1", peerA.Port()));
    ASSERT_TRUE(b.Create() && b.Connect("127.0.0.1", peerB.Port()));
    a.m_nTimeOut = b.m_nTimeOut = 10;

    int depth = 0, maxDepth = 0, outerCalls = 0;
    ScopedWaitHook hook([&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (++outerCalls == 3) {
            // A wait of another socket from inside the hook: it sleeps one
            // period without running the hook again.
            EXPECT_TRUE(b.PumpMessages(FD_READ));
            CancelBlockingCall();
        }
        --depth;
    });
    EXPECT_FALSE(a.PumpMessages(FD_READ) && a.PumpMessages(FD_READ) && a.PumpMessages(FD_READ));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(outerCalls, 3);
    a.Send("x", 1);
    b.Send("x", 1);
}

}  // namespace
}  // namespace velkor
