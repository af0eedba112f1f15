#include "platform/CSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

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
    // Data that never has to wait still lets the thread's hook run.
    if (!detail::RunWaitHookIfDue()) {
        SetLastSocketError(WSAEINTR);
        return SOCKET_ERROR;
    }
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
    if (!detail::RunWaitHookIfDue()) {
        SetLastSocketError(WSAEINTR);
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
    std::vector<SocketAddress> addresses;
    if (!ResolveHost(host, port, addresses)) return false;
    return ConnectFirstOf(addresses, [] { return false; });
}

bool CSocket::ConnectFirstOf(const std::vector<SocketAddress>& addresses,
                             const std::function<bool()>& giveUp) {
    using Clock = std::chrono::steady_clock;
    if (addresses.empty()) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    BlockingScope blocking(m_bBlocking);
    struct Attempt {
        int fd;
        int family;
    };
    std::vector<Attempt> live;
    const auto closeAll = [&live] {
        for (const Attempt& a : live) ::close(a.fd);
        live.clear();
    };
    const bool bound = IsOpen() && IsBound();
    int lastError = WSAEAFNOSUPPORT;
    std::size_t next = 0;
    auto nextStart = Clock::now();
    for (;;) {
        const auto now = Clock::now();
        if (next < addresses.size() && (live.empty() || now >= nextStart)) {
            const SocketAddress& to = addresses[next++];
            if (bound && to.Family() != Family()) continue;
            // A bound socket connects itself; otherwise each attempt has its own.
            const int fd = bound ? m_hSocket : ::socket(to.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd == -1) {
                lastError = WsaErrorFromErrno(errno);
                continue;
            }
            if (::connect(fd, to.Get(), to.length) == 0 || errno == EINPROGRESS || errno == EINTR) {
                live.push_back({fd, to.Family()});
            } else {
                lastError = WsaErrorFromErrno(errno);
                if (!bound) ::close(fd);
            }
            nextStart = Clock::now() + std::chrono::milliseconds(kNextAttemptDelayMs);
            if (bound) next = addresses.size();  // one connect per socket
            continue;
        }
        if (live.empty()) {
            SetLastSocketError(lastError);
            return false;
        }
        if (giveUp()) {
            if (bound) live.clear();
            closeAll();
            SetLastSocketError(WSAETIMEDOUT);
            return false;
        }
        if (!detail::RunWaitHookAndCheckCancel()) {
            if (bound) live.clear();
            closeAll();
            SetLastSocketError(WSAEINTR);
            return false;
        }
        int period = HasWaitHook() ? kHookPeriodMs : kShortestPollPeriodMs;
        if (next < addresses.size()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextStart - now).count();
            period = static_cast<int>(std::clamp<long long>(wait, 0, period));
        }
        std::vector<pollfd> fds;
        for (const Attempt& a : live) fds.push_back({a.fd, POLLOUT, 0});
        const int ready = ::poll(fds.data(), fds.size(), period);
        if (detail::TakeCancelRequest()) {
            if (bound) live.clear();
            closeAll();
            SetLastSocketError(WSAEINTR);
            return false;
        }
        if (ready <= 0) continue;
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (!fds[i].revents) continue;
            int err = 0;
            socklen_t length = sizeof err;
            ::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &err, &length);
            if (err == 0) {
                const Attempt winner = live[i];
                live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
                closeAll();
                if (!bound) Adopt(winner.fd, winner.family);
                return true;
            }
            lastError = WsaErrorFromErrno(err);
            if (!bound) ::close(fds[i].fd);
            live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

}  // namespace velkor
