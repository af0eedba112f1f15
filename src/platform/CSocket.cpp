#include "platform/CSocket.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor {

namespace {

// Marks a socket as blocking for the length of a wait.
class BlockingScope {
public:
    explicit BlockingScope(bool& flag) : m_flag(flag), m_previous(flag) { m_flag = true; }
    ~BlockingScope() { m_flag = m_previous; }

private:
    bool& m_flag;
    bool m_previous;
};

}  // namespace

CSocket::WaitResult CSocket::WaitForEvent(long event) {
    BlockingScope blocking(m_bBlocking);
    int period = m_nTimeOut <= 0 ? kShortestPollPeriodMs : m_nTimeOut;
    if (HasWaitHook()) period = std::min(period, kHookPeriodMs);
    if (!detail::RunWaitHookAndCheckCancel()) {
        SetLastSocketError(WSAEINTR);
        return WaitResult::Cancelled;
    }
    pollfd pfd{};
    pfd.fd = m_hSocket;
    pfd.events = (event & (FD_READ | FD_ACCEPT | FD_OOB | FD_CLOSE)) ? POLLIN : POLLOUT;
    const int n = ::poll(&pfd, 1, period);
    if (detail::TakeCancelRequest()) {
        SetLastSocketError(WSAEINTR);
        return WaitResult::Cancelled;
    }
    return n > 0 ? WaitResult::Ready : WaitResult::PeriodPassed;
}

int CSocket::Receive(void* buf, int len, int flags) {
    for (;;) {
        const int n = ReceiveNow(buf, len, flags);
        if (n != SOCKET_ERROR || GetLastSocketError() != WSAEWOULDBLOCK) return n;
        if (!PumpMessages(FD_READ)) return SOCKET_ERROR;
    }
}

int CSocket::Send(const void* buf, int len, int flags) {
    if (len < 0) {
        SetLastSocketError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    const char* p = static_cast<const char*>(buf);
    int left = len;
    while (left > 0) {
        const int n = SendNow(p, left, flags);
        if (n == SOCKET_ERROR) {
            if (GetLastSocketError() != WSAEWOULDBLOCK) return SOCKET_ERROR;
            if (!PumpMessages(FD_WRITE)) return SOCKET_ERROR;
            continue;
        }
        p += n;
        left -= n;
    }
    return len;
}

int CSocket::Accept(CAsyncSocket& connected, sockaddr* addr, int* len) {
    for (;;) {
        if (AcceptNow(connected, addr, len)) return 1;
        if (GetLastSocketError() != WSAEWOULDBLOCK) return 0;
        if (!PumpMessages(FD_ACCEPT)) return 0;
    }
}

int CSocket::AcceptWithin(CAsyncSocket& connected, unsigned int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (AcceptNow(connected)) return 1;
        if (GetLastSocketError() != WSAEWOULDBLOCK) return 0;
        if (!PumpMessages(FD_ACCEPT)) return 0;
        if (std::chrono::steady_clock::now() >= deadline) {
            SetLastSocketError(WSAECONNABORTED);
            return 0;
        }
    }
}

bool CSocket::Connect(const sockaddr* addr, int len) {
    if (ConnectNow(addr, len)) return true;
    if (GetLastSocketError() != WSAEWOULDBLOCK) return false;
    for (;;) {
        switch (WaitForEvent(FD_CONNECT)) {
            case WaitResult::Cancelled: return false;
            case WaitResult::PeriodPassed: continue;
            case WaitResult::Ready: return TakeConnectResult();
        }
    }
}

bool CSocket::Connect(const char* host, unsigned int port) {
    std::uint32_t addr = 0;
    if (!ResolveIPv4Host(host, addr)) return false;
    const sockaddr_in sin = MakeIPv4Address(addr, port);
    return Connect(reinterpret_cast<const sockaddr*>(&sin), sizeof sin);
}

}  // namespace velkor
