#include "platform/CAsyncSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/LastError.h"

namespace velkor {

namespace {

bool Fail() {
    SetLastSocketErrorFromErrno();
    return false;
}

bool MakeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags != -1 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

// A numeric address of either family in `out` (port 0); false when `text`
// is none.
bool ParseNumeric(const char* text, SocketAddress& out) {
    out = SocketAddress{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&out.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&out.storage);
    if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        out.length = sizeof *v4;
        return true;
    }
    if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        out.length = sizeof *v6;
        return true;
    }
    return false;
}

void SetPort(SocketAddress& a, unsigned int port) {
    const auto net = htons(static_cast<std::uint16_t>(port));
    if (a.Family() == AF_INET6) reinterpret_cast<sockaddr_in6*>(&a.storage)->sin6_port = net;
    else reinterpret_cast<sockaddr_in*>(&a.storage)->sin_port = net;
}

}  // namespace

bool FormatSocketAddress(const sockaddr* addr, std::string& address, unsigned int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(addr);
        if (!inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text)) return Fail();
        port = ntohs(v6->sin6_port);
    } else {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(addr);
        if (!inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text)) return Fail();
        port = ntohs(v4->sin_port);
    }
    address = text;
    return true;
}

bool ResolveHost(const char* host, unsigned int port, std::vector<SocketAddress>& out) {
    out.clear();
    if (!host || !*host) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    std::string name = host;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    SocketAddress literal;
    if (ParseNumeric(name.c_str(), literal)) {
        SetPort(literal, port);
        out.push_back(literal);
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    for (const addrinfo* a = found; a && out.size() < kMaxResolvedAddresses; a = a->ai_next) {
        if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
            a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress one;
        std::memcpy(&one.storage, a->ai_addr, a->ai_addrlen);
        one.length = a->ai_addrlen;
        SetPort(one, port);
        out.push_back(one);
    }
    freeaddrinfo(found);
    if (out.empty()) SetLastSocketError(WSAEINVAL);
    return !out.empty();
}

sockaddr_in MakeIPv4Address(std::uint32_t addrNetworkOrder, unsigned int port) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(static_cast<std::uint16_t>(port));
    sin.sin_addr.s_addr = addrNetworkOrder;
    return sin;
}

bool ResolveIPv4Host(const char* host, std::uint32_t& addrNetworkOrder) {
    if (!host) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    // inet_addr, like the platform it stands in for, accepts the short dotted
    // forms too; its failure value is also the address 255.255.255.255.
    const in_addr_t dotted = inet_addr(host);
    if (dotted != INADDR_NONE) {
        addrNetworkOrder = dotted;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    addrNetworkOrder = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return true;
}

CAsyncSocket::~CAsyncSocket() {
    if (m_hSocket != INVALID_SOCKET) ::close(m_hSocket);
}

bool CAsyncSocket::Create(unsigned int port, int type, long events, const char* address) {
    if (m_hSocket != INVALID_SOCKET) {
        SetLastSocketError(WSAEISCONN);
        return false;
    }
    const int family = address && std::strchr(address, ':') ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd == -1) return Fail();
    m_hSocket = fd;
    m_lEvents = events;
    m_nFamily = family;
    m_nType = type;
    m_bBound = false;
    if ((port != 0 || (address && *address)) && !Bind(port, address)) {
        const int err = GetLastSocketError();
        Close();
        SetLastSocketError(err);
        return false;
    }
    return true;
}

bool CAsyncSocket::Bind(unsigned int port, const char* address) {
    SocketAddress local;
    if (address && *address && m_nFamily == AF_INET6) {
        if (!ParseNumeric(address, local) || local.Family() != AF_INET6) {
            SetLastSocketError(WSAEINVAL);
            return false;
        }
    } else {
        std::uint32_t addr = htonl(INADDR_ANY);
        // inet_addr takes the short dotted forms too, as the older socket did.
        if (address && *address && (addr = inet_addr(address)) == INADDR_NONE) {
            SetLastSocketError(WSAEINVAL);
            return false;
        }
        const sockaddr_in sin = MakeIPv4Address(addr, port);
        std::memcpy(&local.storage, &sin, sizeof sin);
        local.length = sizeof sin;
    }
    SetPort(local, port);
    if (port != 0) {
        // A fixed port must be reusable while old connections on it linger in
        // TIME_WAIT (a server that is restarted, FTP active mode).
        const int on = 1;
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (::bind(m_hSocket, local.Get(), local.length) != 0) return Fail();
    m_bBound = true;
    return true;
}

bool CAsyncSocket::UseFamily(int family) {
    if (m_hSocket != INVALID_SOCKET && m_nFamily == family) return true;
    if (m_hSocket != INVALID_SOCKET && m_bBound) {
        SetLastSocketError(WSAEAFNOSUPPORT);
        return false;
    }
    const int fd = ::socket(family, m_nType | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd == -1) return Fail();
    Close();
    m_hSocket = fd;
    m_nFamily = family;
    return true;
}

void CAsyncSocket::Adopt(int handle, int family) {
    Close();
    m_hSocket = handle;
    m_nFamily = family;
}

void CAsyncSocket::Close() {
    if (m_hSocket != INVALID_SOCKET) {
        ::close(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

bool CAsyncSocket::Attach(int handle, long events) {
    if (handle < 0 || !MakeNonBlocking(handle)) {
        SetLastSocketError(WSAENOTSOCK);
        return false;
    }
    Close();
    m_hSocket = handle;
    m_lEvents = events;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    m_nFamily = ::getsockname(handle, reinterpret_cast<sockaddr*>(&local), &length) == 0 &&
                        local.ss_family == AF_INET6
                    ? AF_INET6
                    : AF_INET;
    m_bBound = true;
    return true;
}

int CAsyncSocket::Detach() {
    const int handle = m_hSocket;
    m_hSocket = INVALID_SOCKET;
    return handle;
}

int CAsyncSocket::ReceiveNow(void* buf, int len, int flags) {
    if (len < 0 || (len > 0 && !buf)) {
        SetLastSocketError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    for (;;) {
        const ssize_t n = ::recv(m_hSocket, buf, static_cast<size_t>(len), flags | MSG_DONTWAIT);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) break;
    }
    SetLastSocketErrorFromErrno();
    return SOCKET_ERROR;
}

int CAsyncSocket::SendNow(const void* buf, int len, int flags) {
    if (len < 0 || (len > 0 && !buf)) {
        SetLastSocketError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    for (;;) {
        const ssize_t n = ::send(m_hSocket, buf, static_cast<size_t>(len),
                                 flags | MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) break;
    }
    SetLastSocketErrorFromErrno();
    return SOCKET_ERROR;
}

bool CAsyncSocket::ConnectNow(const sockaddr* addr, int len) {
    if (!addr || len <= 0) {
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    if (IsOpen() && !UseFamily(addr->sa_family)) return false;
    if (::connect(m_hSocket, addr, static_cast<socklen_t>(len)) == 0) return true;
    // An interrupted connect goes on in the background, like one in progress.
    if (errno == EINTR) errno = EINPROGRESS;
    return Fail();
}

bool CAsyncSocket::ConnectNow(const char* host, unsigned int port) {
    std::vector<SocketAddress> addresses;
    if (!ResolveHost(host, port, addresses)) return false;
    return ConnectNow(addresses.front().Get(), static_cast<int>(addresses.front().length));
}

bool CAsyncSocket::TakeConnectResult() {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return Fail();
    if (err == 0) return true;
    SetLastSocketError(WsaErrorFromErrno(err));
    return false;
}

bool CAsyncSocket::AcceptNow(CAsyncSocket& connected, sockaddr* addr, int* len) {
    socklen_t slen = len ? static_cast<socklen_t>(*len) : 0;
    int fd;
    do {
        fd = ::accept4(m_hSocket, len ? addr : nullptr, len ? &slen : nullptr,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) return Fail();
    if (len) *len = static_cast<int>(slen);
    connected.Close();
    connected.m_hSocket = fd;
    connected.m_lEvents = m_lEvents;
    connected.m_nFamily = m_nFamily;
    connected.m_bBound = true;
    return true;
}

bool CAsyncSocket::Listen(int backlog) {
    if (::listen(m_hSocket, backlog) != 0) return Fail();
    return true;
}

bool CAsyncSocket::ShutDown(int how) {
    if (::shutdown(m_hSocket, how) != 0) return Fail();
    return true;
}

bool CAsyncSocket::GetPeerName(sockaddr* addr, int* len) const {
    if (!addr || !len || *len < 0) {
        SetLastSocketError(WSAEFAULT);
        return false;
    }
    socklen_t slen = static_cast<socklen_t>(*len);
    if (::getpeername(m_hSocket, addr, &slen) != 0) return Fail();
    *len = static_cast<int>(slen);
    return true;
}

bool CAsyncSocket::GetPeerName(std::string& address, unsigned int& port) const {
    sockaddr_storage any{};
    int len = sizeof any;
    return GetPeerName(reinterpret_cast<sockaddr*>(&any), &len) &&
           FormatSocketAddress(reinterpret_cast<const sockaddr*>(&any), address, port);
}

bool CAsyncSocket::GetSockName(sockaddr* addr, int* len) const {
    if (!addr || !len || *len < 0) {
        SetLastSocketError(WSAEFAULT);
        return false;
    }
    socklen_t slen = static_cast<socklen_t>(*len);
    if (::getsockname(m_hSocket, addr, &slen) != 0) return Fail();
    *len = static_cast<int>(slen);
    return true;
}

bool CAsyncSocket::GetSockName(std::string& address, unsigned int& port) const {
    sockaddr_storage any{};
    int len = sizeof any;
    return GetSockName(reinterpret_cast<sockaddr*>(&any), &len) &&
           FormatSocketAddress(reinterpret_cast<const sockaddr*>(&any), address, port);
}

std::string CAsyncSocket::GetLocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        SetLastSocketErrorFromErrno();
        return {};
    }
    return name;
}

}  // namespace velkor
