#include "socket/CVLKSocket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/LastError.h"
#include "platform/WaitHook.h"

namespace velkor {

namespace {

constexpr std::uint8_t kSocks4Version = 0x04;
constexpr std::uint8_t kSocks4Granted = 0x5A;
constexpr std::uint8_t kSocks5Version = 0x05;
constexpr std::uint8_t kSocksConnect = 0x01;
constexpr std::uint8_t kSocksBind = 0x02;
constexpr std::uint8_t kMethodNone = 0x00;
constexpr std::uint8_t kMethodUserPassword = 0x02;
constexpr std::uint8_t kMethodNoneAcceptable = 0xFF;
constexpr std::uint8_t kUserPasswordVersion = 0x01;
constexpr std::uint8_t kAddressTypeIPv4 = 0x01;
constexpr std::uint8_t kAddressTypeName = 0x03;
constexpr std::uint8_t kAddressTypeIPv6 = 0x04;
constexpr std::uint8_t kSocks5Succeeded = 0x00;      // reply field of a request
constexpr std::uint8_t kUserPasswordAccepted = 0x00;  // status of the authentication

// Whole seconds of a clock that does not jump with wall-clock changes.
long WholeSecondsNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long>(ts.tv_sec);
}

}  // namespace

const char* ProxyErrorText(int code) {
    switch (code) {
        case 0: return "no proxy error";
        case kProxyConnectFailed: return "the proxy could not be reached";
        case kProxyReplyBad: return "the proxy's reply was short or refused the request";
        case kProxyNoMethod: return "the proxy accepted none of the offered methods";
        case kProxyOtherMethod: return "the proxy chose an unsupported method";
        case kProxyAuthFailed: return "user/password authentication failed";
        case kProxyAuthNotAllowed: return "the proxy demands user/password authentication";
        case kProxyNoIPv6: return "a SOCKS4 proxy cannot reach an IPv6 address";
        default: return "unknown proxy error";
    }
}

CVLKSocket::HandshakeScope::HandshakeScope(CVLKSocket& socket) : m_socket(socket) {
    m_socket.m_nHandshakeEnd =
        WholeSecondsNow() + static_cast<long>(kSocksHandshakeFactor * m_socket.m_nTimeoutLength);
}

CVLKSocket::HandshakeScope::~HandshakeScope() { m_socket.m_nHandshakeEnd = 0; }

bool CVLKSocket::HandshakeOver() const {
    return m_nHandshakeEnd != 0 && WholeSecondsNow() > m_nHandshakeEnd;
}

CVLKSocket::CVLKSocket() = default;

CVLKSocket::~CVLKSocket() { m_pTls.reset(); }

void CVLKSocket::Close() {
    if (m_pTls) m_pTls->CloseNotify();
    m_pTls.reset();
    CSocket::Close();
}

void CVLKSocket::EndTls(unsigned int seconds) {
    if (!m_pTls) return;
    m_pTls->CloseNotify();
    const unsigned int saved = m_nTimeoutLength;
    m_nTimeoutLength = seconds;
    char sink[4096];
    for (std::size_t drained = 0; drained < kMaxTlsDrainBytes;) {
        const int n = Receive(sink, static_cast<int>(sizeof sink));
        if (n <= 0) break;
        drained += static_cast<std::size_t>(n);
    }
    m_nTimeoutLength = saved;
}

int CVLKSocket::StartTls(const TlsSettings& settings, const CVLKSocket* sessionOf) {
    m_strTlsError.clear();
    m_pTls.reset();
    if (!IsOpen()) {
        m_strTlsError = "not connected";
        SetLastSocketError(WSAENOTCONN);
        return 0;
    }
    std::unique_ptr<TlsChannel> tls =
        sessionOf && sessionOf->m_pTls ? std::make_unique<TlsChannel>(m_hSocket, settings, *sessionOf->m_pTls)
                                       : std::make_unique<TlsChannel>(m_hSocket, settings);
    HandshakeScope scope(*this);
    const long start = WholeSecondsNow();
    for (;;) {
        const int step = tls->HandshakeStep();
        if (step == 1) break;
        if (step == 0) {
            m_strTlsError = tls->Error();
            return 0;
        }
        if (!PumpMessages(tls->WantEvent())) {
            m_strTlsError = "cancelled";
            return 0;
        }
        if (WholeSecondsNow() - start > static_cast<long>(m_nTimeoutLength) || HandshakeOver()) {
            m_bTimedOut = 1;
            m_strTlsError = "the handshake timed out";
            SetLastSocketError(WSAECONNABORTED);
            return 0;
        }
    }
    m_pTls = std::move(tls);
    return 1;
}

int CVLKSocket::Accept(CAsyncSocket& connected, sockaddr* addr, int* len) {
    return CSocket::Accept(connected, addr, len);
}

int CVLKSocket::TimedAttempt(void* buf, int len, int flags, long event, bool write) {
    m_nTimeOut = 0;
    const long start = WholeSecondsNow();
    if (!write && IsBlocking()) {
        SetLastSocketError(WSAEINPROGRESS);
        return 0;
    }
    // Data that never has to wait still lets the thread's hook run.
    if (!detail::RunWaitHookIfDue()) {
        SetLastSocketError(WSAEINTR);
        return SOCKET_ERROR;
    }
    for (;;) {
        // Through TLS a read may need the socket writable and a write
        // readable; bytes TLS holds already are read without a wait.
        const int n = m_pTls ? (write ? m_pTls->WriteNow(buf, len) : m_pTls->ReadNow(buf, len))
                             : (write ? CAsyncSocket::SendNow(buf, len, flags) : CAsyncSocket::ReceiveNow(buf, len, flags));
        if (n != SOCKET_ERROR) return n;
        if (GetLastSocketError() != WSAEWOULDBLOCK) return SOCKET_ERROR;
        if (!PumpMessages(m_pTls ? m_pTls->WantEvent() : event)) return SOCKET_ERROR;
        if (WholeSecondsNow() - start > static_cast<long>(m_nTimeoutLength) || HandshakeOver()) {
            m_bTimedOut = 1;
            SetLastSocketError(WSAECONNABORTED);
            return SOCKET_ERROR;
        }
    }
}

int CVLKSocket::ReceiveNow(void* buf, int len, int flags) {
    return m_pTls ? m_pTls->ReadNow(buf, len) : CAsyncSocket::ReceiveNow(buf, len, flags);
}

int CVLKSocket::SendNow(const void* buf, int len, int flags) {
    if (!m_pTls) return CAsyncSocket::SendNow(buf, len, flags);
    const int n = m_pTls->WriteNow(buf, len);
    if (n != SOCKET_ERROR || GetLastSocketError() != WSAEWOULDBLOCK) return n;
    // TLS has sealed a record of these bytes already and must be called
    // again with them: finish that write (waiting as a send does) rather
    // than let the caller go on with other bytes.
    return TimedAttempt(const_cast<void*>(buf), len, flags, FD_WRITE, true);
}

int CVLKSocket::Receive(void* buf, int len, int flags) {
    return TimedAttempt(buf, len, flags, FD_READ, false);
}

int CVLKSocket::SendChunk(const void* buf, int len, int flags) {
    // SendNow never writes through the pointer; the shared loop takes void*.
    return TimedAttempt(const_cast<void*>(buf), len, flags, FD_WRITE, true);
}

int CVLKSocket::Send(const void* buf, int len, int flags) {
    if (IsBlocking()) {
        SetLastSocketError(WSAEINPROGRESS);
        return 0;
    }
    if (len < 1) return 0;
    const char* p = static_cast<const char*>(buf);
    int left = len;
    while (left > 0) {
        const int n = SendChunk(p, left, flags);
        if (n == SOCKET_ERROR) return SOCKET_ERROR;
        p += n;
        left -= n;
    }
    return len;
}

void CVLKSocket::SetTimeoutLength(unsigned int seconds) {
    if (seconds != 0) m_nTimeoutLength = seconds;
}

int CVLKSocket::Listen() { return CAsyncSocket::Listen(5) ? 1 : 0; }

int CVLKSocket::Accept() {
    if (m_nProxyType == kProxySocks4) {
        std::uint8_t reply[8];
        return Receive(reply, sizeof reply) == 8 && reply[1] == kSocks4Granted ? 1 : 0;
    }
    if (m_nProxyType != kProxyNone) {
        Socks5Reply reply;
        return ReceiveSocks5Reply(reply) > 0 && reply[1] == kSocks5Succeeded ? 1 : 0;
    }
    CVLKSocket accepted;
    if (!CSocket::Accept(accepted)) return 0;
    Close();
    Attach(accepted.Detach(), FD_ALL_EVENTS);
    return 1;
}

void CVLKSocket::SetProxy(int type, const std::string& host, int port, const std::string& user,
                          const std::string& password, int auth) {
    m_nProxyType = type;
    if (type == kProxyNone) return;
    m_strProxyHost = host;
    m_nProxyPort = port;
    m_strProxyUser = user;
    m_strProxyPassword = password;
    m_bProxyAuth = auth;
}

bool CVLKSocket::TimedConnect(const sockaddr* addr, int len) {
    m_nTimeOut = 0;
    if (ConnectNow(addr, len)) return true;
    if (GetLastSocketError() != WSAEWOULDBLOCK) return false;
    const long start = WholeSecondsNow();
    for (;;) {
        switch (WaitForEvent(FD_CONNECT)) {
            case WaitResult::Cancelled: return false;
            case WaitResult::Ready: return TakeConnectResult();
            case WaitResult::PeriodPassed: break;
        }
        if (WholeSecondsNow() - start > static_cast<long>(m_nTimeoutLength) || HandshakeOver()) {
            SetLastSocketError(WSAETIMEDOUT);
            return false;
        }
    }
}

bool CVLKSocket::TimedConnect(const char* host, unsigned int port) {
    std::vector<SocketAddress> addresses;
    return ResolveHost(host, port, addresses) && TimedConnect(addresses);
}

bool CVLKSocket::TimedConnect(const std::vector<SocketAddress>& addresses) {
    const long start = WholeSecondsNow();
    return ConnectFirstOf(addresses, [this, start] {
        return WholeSecondsNow() - start > static_cast<long>(m_nTimeoutLength) || HandshakeOver();
    });
}

int CVLKSocket::Connect(const char* host, unsigned int port) {
    std::vector<SocketAddress> addresses;
    if (!ResolveHost(host, port, addresses)) return 0;
    return Connect(addresses);
}

int CVLKSocket::Connect(const std::vector<SocketAddress>& addresses) {
    if (m_nProxyType == kProxyNone) return TimedConnect(addresses) ? 1 : 0;
    if (addresses.empty()) {
        SetLastSocketError(WSAEINVAL);
        return 0;
    }
    return Connect(addresses.front().Get(), static_cast<int>(addresses.front().length));
}

bool CVLKSocket::ConnectToProxy() {
    return TimedConnect(m_strProxyHost.c_str(), static_cast<unsigned int>(m_nProxyPort));
}

bool CVLKSocket::OpenProxyConnection() {
    if (CredentialsTooLong()) {
        m_nLastProxyError = kProxyAuthFailed;
        SetLastSocketError(WSAEINVAL);
        return false;
    }
    if (!ConnectToProxy()) {
        m_nLastProxyError = kProxyConnectFailed;
        return false;
    }
    return true;
}

bool CVLKSocket::CredentialsTooLong() const {
    return m_nProxyType != kProxySocks4 && m_bProxyAuth &&
           (m_strProxyUser.size() > kMaxSocksCredentialLength ||
            m_strProxyPassword.size() > kMaxSocksCredentialLength);
}

bool CVLKSocket::SendAll(const void* buf, int len) { return Send(buf, len) == len; }

int CVLKSocket::Socks4Exchange(std::uint8_t command, std::uint16_t portNet,
                               std::uint32_t addrNet, std::uint8_t (&reply)[8]) {
    std::uint8_t request[9] = {kSocks4Version, command};
    std::memcpy(request + 2, &portNet, 2);
    std::memcpy(request + 4, &addrNet, 4);
    request[8] = 0x00;  // empty user id
    if (!SendAll(request, sizeof request)) return -1;
    return Receive(reply, sizeof reply);
}

int CVLKSocket::Socks5Exchange(std::uint8_t command, std::uint32_t addrNet,
                               std::uint16_t portNet, Socks5Reply& reply) {
    std::uint8_t request[10] = {kSocks5Version, command, 0x00, kAddressTypeIPv4};
    std::memcpy(request + 4, &addrNet, 4);
    std::memcpy(request + 8, &portNet, 2);
    if (!SendAll(request, sizeof request)) return -1;
    return ReceiveSocks5Reply(reply);
}

int CVLKSocket::Socks5Exchange6(const sockaddr_in6& target, Socks5Reply& reply) {
    std::uint8_t request[22] = {kSocks5Version, kSocksConnect, 0x00, kAddressTypeIPv6};
    std::memcpy(request + 4, &target.sin6_addr, 16);
    std::memcpy(request + 20, &target.sin6_port, 2);
    if (!SendAll(request, sizeof request)) return -1;
    return ReceiveSocks5Reply(reply);
}

int CVLKSocket::ReceiveSocks5Reply(Socks5Reply& reply) {
    // Looked at first, then taken to its exact length: a reply carrying a
    // name (ATYP 3) or an IPv6 address (ATYP 4) is longer than ten bytes,
    // and the bytes behind the reply are the application's.
    const int seen = Receive(reply, static_cast<int>(sizeof reply), MSG_PEEK);
    if (seen <= 0) return -1;
    int length = 10;
    if (seen >= 5 && reply[3] == kAddressTypeName) length = 4 + 1 + reply[4] + 2;
    if (seen >= 4 && reply[3] == kAddressTypeIPv6) length = 4 + 16 + 2;
    // Still one receive per reply: one that came in pieces counts as short.
    const int take = std::min(seen, length);
    const int got = Receive(reply, take);
    return got == length ? length : -1;
}

int CVLKSocket::Socks5Negotiate() {
    static const std::uint8_t kGreeting[] = {kSocks5Version, 0x01, kMethodNone};
    static const std::uint8_t kGreetingAuth[] = {kSocks5Version, 0x02, kMethodUserPassword,
                                                 kMethodNone};
    const bool sent = m_bProxyAuth ? SendAll(kGreetingAuth, sizeof kGreetingAuth)
                                   : SendAll(kGreeting, sizeof kGreeting);
    std::uint8_t reply[2];
    if (!sent || Receive(reply, sizeof reply) != 2) {
        m_nLastProxyError = kProxyReplyBad;
        return 0;
    }
    switch (reply[1]) {
        case kMethodNoneAcceptable:
            m_nLastProxyError = kProxyNoMethod;
            return 0;
        case kMethodNone:
            return 1;
        case kMethodUserPassword:
            break;
        default:
            m_nLastProxyError = kProxyOtherMethod;
            return 0;
    }
    if (!m_bProxyAuth) {
        m_nLastProxyError = kProxyAuthNotAllowed;
        return 0;
    }
    // 0x01, user length, user, password length, password.
    std::string request;
    request.reserve(3 + m_strProxyUser.size() + m_strProxyPassword.size());
    request += static_cast<char>(kUserPasswordVersion);
    request += static_cast<char>(m_strProxyUser.size());
    request += m_strProxyUser;
    request += static_cast<char>(m_strProxyPassword.size());
    request += m_strProxyPassword;
    if (!SendAll(request.data(), static_cast<int>(request.size())) ||
        Receive(reply, sizeof reply) != 2 || reply[1] != kUserPasswordAccepted) {
        m_nLastProxyError = kProxyAuthFailed;
        return 0;
    }
    return 1;
}

int CVLKSocket::Connect(const sockaddr* addr, int len) {
    if (m_nProxyType == kProxyNone) return TimedConnect(addr, len) ? 1 : 0;
    m_target6 = sockaddr_in6{};
    if (addr && addr->sa_family == AF_INET6 && len >= static_cast<int>(sizeof(sockaddr_in6))) {
        if (m_nProxyType == kProxySocks4) {
            m_nLastProxyError = kProxyNoIPv6;
            SetLastSocketError(WSAEAFNOSUPPORT);
            return 0;
        }
        HandshakeScope handshake(*this);
        if (!OpenProxyConnection() || !Socks5Negotiate()) return 0;
        std::memcpy(&m_target6, addr, sizeof m_target6);
        m_nTargetPort = m_target6.sin6_port;
        m_nTargetAddr = 0;
        Socks5Reply reply;
        if (Socks5Exchange6(m_target6, reply) <= 0 || reply[1] != kSocks5Succeeded) {
            m_nLastProxyError = kProxyReplyBad;
            return 0;
        }
        return 1;
    }
    if (!addr || len < static_cast<int>(sizeof(sockaddr_in)) || addr->sa_family != AF_INET) {
        SetLastSocketError(WSAEINVAL);
        return 0;
    }
    HandshakeScope handshake(*this);
    if (!OpenProxyConnection()) return 0;
    const auto* target = reinterpret_cast<const sockaddr_in*>(addr);
    m_nTargetPort = target->sin_port;
    m_nTargetAddr = target->sin_addr.s_addr;

    if (m_nProxyType == kProxySocks4) {
        std::uint8_t reply[8];
        if (Socks4Exchange(kSocksConnect, target->sin_port, target->sin_addr.s_addr, reply) != 8 ||
            reply[1] != kSocks4Granted) {
            m_nLastProxyError = kProxyReplyBad;
            return 0;
        }
        return 1;
    }
    if (!Socks5Negotiate()) return 0;
    Socks5Reply reply;
    if (Socks5Exchange(kSocksConnect, target->sin_addr.s_addr, target->sin_port, reply) <= 0 ||
        reply[1] != kSocks5Succeeded) {
        m_nLastProxyError = kProxyReplyBad;
        return 0;
    }
    return 1;
}

int CVLKSocket::Listen(std::uint32_t addr, std::uint32_t& boundAddr, int& boundPort) {
    boundPort = 0;
    HandshakeScope handshake(*this);
    if (m_nProxyType == kProxySocks4) {
        if (!ConnectToProxy()) {
            m_nLastProxyError = kProxyReplyBad;
            return 0;
        }
        std::uint8_t reply[8];
        if (Socks4Exchange(kSocksBind, 0, addr, reply) != 8 || reply[1] != kSocks4Granted) {
            return 0;
        }
        std::uint16_t port = 0;
        std::memcpy(&port, reply + 2, 2);
        std::memcpy(&boundAddr, reply + 4, 4);
        boundPort = port;
        return 1;
    }
    if (!OpenProxyConnection()) return 0;
    if (!Socks5Negotiate()) return 0;
    Socks5Reply reply;
    const int length = Socks5Exchange(kSocksBind, addr, 0, reply);
    if (length <= 0 || reply[1] != kSocks5Succeeded) {
        m_nLastProxyError = kProxyReplyBad;
        return 0;
    }
    // The port ends the reply; the address is known only in IPv4 form.
    std::uint16_t port = 0;
    if (reply[3] == kAddressTypeIPv4) std::memcpy(&boundAddr, reply + 4, 4);
    std::memcpy(&port, reply + length - 2, 2);
    boundPort = port;
    return 1;
}

int CVLKSocket::GetProxyPeerName(std::string& addr, unsigned int& port) const {
    sockaddr_storage peer{};
    int len = sizeof peer;
    if (!GetPeerName(reinterpret_cast<sockaddr*>(&peer), &len)) return 0;
    if (m_target6.sin6_family == AF_INET6)
        return FormatSocketAddress(reinterpret_cast<const sockaddr*>(&m_target6), addr, port) ? 1 : 0;
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&m_nTargetAddr);
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", octets[0], octets[1], octets[2], octets[3]);
    addr = text;
    port = ntohs(static_cast<std::uint16_t>(m_nTargetPort));
    return 1;
}

int CVLKSocket::GetProxyPeerName(sockaddr* addr, int* len) const {
    if (m_target6.sin6_family == AF_INET6) {
        std::string ignored;
        unsigned int port = 0;
        if (!addr || !len || !GetPeerName(ignored, port)) return 0;
        if (*len < static_cast<int>(sizeof m_target6)) {
            SetLastSocketError(WSAEFAULT);
            return 0;
        }
        std::memcpy(addr, &m_target6, sizeof m_target6);
        *len = static_cast<int>(sizeof m_target6);
        return 1;
    }
    if (!GetPeerName(addr, len)) return 0;
    if (addr->sa_family == AF_INET && *len >= static_cast<int>(sizeof(sockaddr_in))) {
        auto* sin = reinterpret_cast<sockaddr_in*>(addr);
        sin->sin_port = static_cast<in_port_t>(m_nTargetPort);
        sin->sin_addr.s_addr = m_nTargetAddr;
    }
    return 1;
}

}  // namespace velkor
