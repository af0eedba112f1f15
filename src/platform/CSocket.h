// CSocket: blocking calls on a non-blocking socket, with a cancellable wait.
//
// A call that cannot finish at once sleeps in poll(2) until the socket is
// ready. While it sleeps the thread's wait hook (WaitHook.h) keeps running,
// and the socket reports IsBlocking(), so code run from the hook can see that
// a call is under way on it. None of these calls has a time limit of its own;
// CVLKSocket adds one.
#pragma once

#include <functional>

#include "CAsyncSocket.h"

namespace velkor {

// The wait period that a poll period of 0 stands for: the shortest sleep
// between two checks of a waiting call (time-outs are in whole seconds).
inline constexpr int kShortestPollPeriodMs = 100;

class CSocket : public CAsyncSocket {
public:
    CSocket() = default;
    ~CSocket() override = default;

    // Waits until at least one byte arrives (or the peer closes).
    virtual int Receive(void* buf, int len, int flags = 0);
    // Waits until all bytes are handed to the stack.
    virtual int Send(const void* buf, int len, int flags = 0);
    // Waits for the next incoming connection.
    virtual int Accept(CAsyncSocket& connected, sockaddr* addr = nullptr, int* len = nullptr);

    // The same, giving up with 10053 when no connection arrives within about
    // `seconds` seconds.
    int AcceptWithin(CAsyncSocket& connected, unsigned int seconds);

    // Blocking connect by name (either family, see ResolveHost; the
    // addresses of a name tried as ConnectFirstOf does) or by address; the
    // stack's own connect time-out ends a connect to a silent host.
    bool Connect(const char* host, unsigned int port);
    bool Connect(const sockaddr* addr, int len);

    // True while a blocking call of this socket waits.
    bool IsBlocking() const { return m_bBlocking; }

protected:
    // Outcome of one wait.
    enum class WaitResult { Ready, PeriodPassed, Cancelled };

    // Sleeps until the socket signals the readiness `event` asks for
    // (FD_READ, FD_WRITE, FD_ACCEPT, FD_CONNECT) or one poll period passes.
    // Cancelled sets last error 10004.
    WaitResult WaitForEvent(long event);

    // The same, as the framework's wait: false only when cancelled.
    bool PumpMessages(long event) { return WaitForEvent(event) != WaitResult::Cancelled; }

    // Connects to the first of `addresses` that answers, as RFC 8305 has it
    // (Happy Eyeballs): the next address is tried kNextAttemptDelayMs after
    // the previous one unless that one has connected (at once when it
    // failed); the first connected wins and the others are closed.
    // `giveUp`, asked at every wait, ends the attempts with 10060. A bound
    // socket tries only its own family's addresses, one after the other.
    bool ConnectFirstOf(const std::vector<SocketAddress>& addresses,
                        const std::function<bool()>& giveUp);
    static constexpr int kNextAttemptDelayMs = 250;

    // Poll period of the wait in milliseconds; 0 means kShortestPollPeriodMs.
    int m_nTimeOut = 2000;

private:
    bool m_bBlocking = false;
};

}  // namespace velkor
