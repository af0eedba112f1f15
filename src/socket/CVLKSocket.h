// CVLKSocket: the library's TCP socket, with time-outs and SOCKS traversal.
//
// Receive and Send block the calling thread, with the thread's wait hook still
// running, and give up when the socket stays unready for longer than the
// time-out (whole seconds, default 30): they then return -1 with last error
// 10053 and the object remembers for good that it timed out (IsTimeout()).
// A blocking call made on the same socket from the wait hook is refused at
// once with 10036.
//
// With SetProxy, Connect tunnels through a SOCKS4 or SOCKS5 proxy (optionally
// with user/password authentication), and Listen(addr, ...) plus Accept() ask
// the proxy to listen on the caller's behalf (BIND). Targets are always
// resolved locally; beyond the older socket, an IPv6 target goes to a SOCKS5
// proxy as address type 4, and the proxy itself may be reached over IPv6. A failed handshake returns 0 and leaves a code in
// GetLastProxyError():
//   1  the connect to the proxy failed
//   2  the proxy's reply was short or refused the request (also: the connect
//      to the proxy failed in the SOCKS4 form of Listen)
//   3  SOCKS5: the proxy accepted none of the offered methods (0xFF)
//   4  SOCKS5: the proxy chose a method other than none and user/password
//   5  SOCKS5: user/password authentication failed, or the user name or the
//      password is longer than kMaxSocksCredentialLength bytes (refused
//      before anything is sent, last error 10022)
//   6  SOCKS5: the proxy demands user/password but authentication is off
//   7  SOCKS4 cannot carry the IPv6 address of the target (nothing sent)
// Each proxy reply must arrive within one receive; a reply split in two
// counts as short. A SOCKS5 reply is taken to its exact length whatever
// its address type (an IPv4 address, a name or an IPv6 address), so the
// bytes behind it stay the application's.
//
// Beyond the older socket: StartTls upgrades a connected socket (after the
// SOCKS handshake, before the first byte or after a plaintext exchange) to
// TLS; Receive and Send then read and write through it with the same
// time-outs, wait hook and cancelling, and Close sends close-notify first.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../platform/CSocket.h"
#include "TlsChannel.h"

namespace velkor {

// SOCKS5 carries the user name and the password with one-byte lengths.
inline constexpr std::size_t kMaxSocksCredentialLength = 255;

// SetProxy's proxy types (any other non-zero type is SOCKS5 too).
inline constexpr int kProxyNone = 0;
inline constexpr int kProxySocks4 = 1;
inline constexpr int kProxySocks5 = 2;

// GetLastProxyError's codes (0: no proxy error).
inline constexpr int kProxyConnectFailed = 1;
inline constexpr int kProxyReplyBad = 2;
inline constexpr int kProxyNoMethod = 3;
inline constexpr int kProxyOtherMethod = 4;
inline constexpr int kProxyAuthFailed = 5;
inline constexpr int kProxyAuthNotAllowed = 6;
inline constexpr int kProxyNoIPv6 = 7;

// A short sentence for a GetLastProxyError code.
const char* ProxyErrorText(int code);

// A whole proxy handshake (connecting to the proxy and every exchange)
// must end within this many times the time-out, however slowly each step
// answers; then it fails like a receive that timed out.
inline constexpr unsigned int kSocksHandshakeFactor = 2;

// Default time-out of one receive or one send chunk, in seconds.
inline constexpr unsigned int kDefaultSocketTimeout = 30;

class CVLKSocket : public CSocket {
public:
    CVLKSocket();
    ~CVLKSocket() override;

    // Runs the TLS handshake on the connected socket: 1 when done and
    // verified, else 0 with TlsError() saying why (a time-out: IsTimeout()).
    // The whole handshake ends within kSocksHandshakeFactor time-outs.
    // With sessionOf, the TLS session of that (TLS) socket is resumed.
    int StartTls(const TlsSettings& settings, const CVLKSocket* sessionOf = nullptr);
    bool IsTls() const { return m_pTls != nullptr; }
    // Why the last StartTls failed ("" when it did not).
    const std::string& TlsError() const { return m_strTlsError; }
    // The TLS channel (null without TLS): version, cipher, clean close.
    const TlsChannel* Tls() const { return m_pTls.get(); }
    // A socket whose TLS resumed this one's session hands on the newer
    // session ticket it received (see TlsChannel::KeepNewerSessionOf).
    void KeepNewerTlsSessionOf(const CVLKSocket& resuming) {
        if (m_pTls && resuming.m_pTls) m_pTls->KeepNewerSessionOf(*resuming.m_pTls);
    }
    // Sends close-notify when TLS is on, then closes.
    void Close() override;
    // Ends TLS in order before a close: close-notify, then what the peer
    // still sends (at most kMaxTlsDrainBytes, within `seconds`) is read
    // until its own close-notify or end. Closing with unread bytes would
    // reset the connection, and servers forget a TLS session that ended
    // so (FTP data connections must resume it later).
    void EndTls(unsigned int seconds);
    static constexpr std::size_t kMaxTlsDrainBytes = 256 * 1024;

    // The base's blocking accept, unchanged.
    int Accept(CAsyncSocket& connected, sockaddr* addr = nullptr, int* len = nullptr) override;

    // Receives at most len bytes: the count received, 0 when the peer has
    // closed, -1 on error or time-out (10053), 0 with 10036 when refused.
    int Receive(void* buf, int len, int flags = 0) override;
    // Sends all len bytes: len, -1 on error or time-out, 0 when len < 1 or
    // when refused with 10036. Each chunk has its own time budget.
    int Send(const void* buf, int len, int flags = 0) override;
    // One attempt without waiting, as the base's, but through TLS when it
    // is on (flags then do not apply): -1 with 10035 when it would wait.
    // Through TLS a send that cannot go out at once waits for it (within the
    // time-out), since TLS has then taken the bytes into a sealed record.
    int ReceiveNow(void* buf, int len, int flags = 0);
    int SendNow(const void* buf, int len, int flags = 0);

    // Connects to a socket address (IPv4, or IPv6), through the proxy when
    // one is set. Every connect (to the target or to the proxy) gives up
    // like a receive: after the time-out, within the same whole-second
    // window, with 10060.
    virtual int Connect(const sockaddr* addr, int len);
    // Connects to a host given by name or address of either family ("::1"
    // and "[::1]" too). Without a proxy the name's addresses are tried as
    // ConnectFirstOf does (the whole within the time-out); with a proxy set
    // the name is resolved here (10022 when it does not resolve, before any
    // proxy traffic) and the socket-address form is called with its first
    // address.
    virtual int Connect(const char* host, unsigned int port);
    // Connects to the first of several addresses that answers (as a name's
    // addresses are tried), within the time-out; through the proxy, to the
    // first address.
    int Connect(const std::vector<SocketAddress>& addresses);
    // Listens with a backlog of 5.
    virtual int Listen();
    // Asks the proxy to listen for a connection from addr (network order);
    // boundAddr and the low 16 bits of boundPort receive where the proxy
    // listens, in network order as the proxy sent them. boundPort is set to 0
    // first.
    virtual int Listen(std::uint32_t addr, std::uint32_t& boundAddr, int& boundPort);
    // Without a proxy: accepts the next connection, and this object (the
    // listening socket) becomes that connection; on failure it stays the
    // listener. With a proxy: waits for the proxy's second BIND reply.
    virtual int Accept();

    // Sets the time-out in seconds; 0 is ignored.
    void SetTimeoutLength(unsigned int seconds);
    // 1 once any receive or send wait of this object ran out of time.
    int IsTimeout() const { return m_bTimedOut; }

    // Stores the proxy type (kProxyNone, kProxySocks4, other SOCKS5); with a non-zero
    // type also host, port, credentials and the authentication flag.
    void SetProxy(int type, const std::string& host, int port, const std::string& user,
                  const std::string& password, int auth);
    int IsProxyExisted() const { return m_nProxyType; }
    int GetLastProxyError() const { return m_nLastProxyError; }

    // The peer as seen through the proxy: the stored target as dotted text
    // and host-order port. 0 when the socket is not connected.
    int GetProxyPeerName(std::string& addr, unsigned int& port) const;
    // The socket's peer address with port and address replaced by the stored
    // target's. 0 when the socket has no peer.
    int GetProxyPeerName(sockaddr* addr, int* len) const;

    int m_bTimedOut = 0;
    unsigned int m_nTimeoutLength = kDefaultSocketTimeout;
    int m_nProxyType = 0;
    std::string m_strProxyHost;
    int m_nProxyPort = 0;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    std::uint32_t m_nTargetPort = 0;  // network order, zero-extended
    std::uint32_t m_nTargetAddr = 0;  // network order
    int m_nLastProxyError = 0;
    int m_bProxyAuth = 0;

protected:
    // One send attempt that waits until the stack takes at least part of the
    // buffer: the count taken, or -1 (10053 on time-out).
    virtual int SendChunk(const void* buf, int len, int flags);

private:
    // Sets the handshake deadline for its lifetime.
    class HandshakeScope {
    public:
        explicit HandshakeScope(CVLKSocket& socket);
        ~HandshakeScope();

    private:
        CVLKSocket& m_socket;
    };
    bool HandshakeOver() const;
    long m_nHandshakeEnd = 0;  // whole monotonic seconds; 0: no handshake under way

    int TimedAttempt(void* buf, int len, int flags, long event, bool write);
    std::unique_ptr<TlsChannel> m_pTls;
    std::string m_strTlsError;
    bool TimedConnect(const sockaddr* addr, int len);
    bool TimedConnect(const char* host, unsigned int port);
    bool TimedConnect(const std::vector<SocketAddress>& addresses);

    bool ConnectToProxy();
    // Refuses over-long credentials (error 5), then connects to the proxy
    // (error 1 when that fails).
    bool OpenProxyConnection();
    bool CredentialsTooLong() const;
    bool SendAll(const void* buf, int len);
    int Socks5Negotiate();
    int Socks4Exchange(std::uint8_t command, std::uint16_t portNet, std::uint32_t addrNet,
                       std::uint8_t (&reply)[8]);
    // The longest SOCKS5 reply: head, a 255-byte name with its length, port.
    static constexpr int kMaxSocks5ReplyBytes = 4 + 1 + 255 + 2;
    using Socks5Reply = std::uint8_t[kMaxSocks5ReplyBytes];
    int Socks5Exchange(std::uint8_t command, std::uint32_t addrNet, std::uint16_t portNet,
                       Socks5Reply& reply);
    // A CONNECT request for an IPv6 target (address type 4).
    int Socks5Exchange6(const sockaddr_in6& target, Socks5Reply& reply);
    // The target of the proxied connection when it is IPv6 (else family 0).
    sockaddr_in6 m_target6{};
    // One SOCKS5 reply taken to its exact length (whatever its address
    // type): the length, or -1 when it failed or came short.
    int ReceiveSocks5Reply(Socks5Reply& reply);
};

}  // namespace velkor
