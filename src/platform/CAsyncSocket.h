// CAsyncSocket: a non-blocking TCP socket (IPv4, and IPv6 beyond the older
// interface: the socket takes the family of the address it binds to or
// connects to).
//
// The thin layer over a POSIX socket that the library's timed socket is built
// on. Every call returns at once: an operation that would have to wait fails
// with last error 10035 (WSAEWOULDBLOCK), and every failure leaves a Windows
// Sockets number as the thread's last socket error (see LastError.h).
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

// Event bits of an event mask, as the library's callers pass them to Create
// and Attach (63 = all six). Kept for the interface; readiness is polled.
enum : long {
    FD_READ = 0x01,
    FD_WRITE = 0x02,
    FD_OOB = 0x04,
    FD_ACCEPT = 0x08,
    FD_CONNECT = 0x10,
    FD_CLOSE = 0x20,
    FD_ALL_EVENTS = 0x3F,
};

inline constexpr int INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// Resolves an IPv4 host: a dotted address first, then a name look-up (first
// address). "255.255.255.255" equals the no-address value and is therefore
// looked up as a name. False (last error 10022) when nothing resolves.
bool ResolveIPv4Host(const char* host, std::uint32_t& addrNetworkOrder);

// An IPv4 socket address (family 2) from an address in network byte order and
// a port in host byte order.
sockaddr_in MakeIPv4Address(std::uint32_t addrNetworkOrder, unsigned int port);

// The most addresses of one name that a connect tries.
inline constexpr std::size_t kMaxResolvedAddresses = 16;

// A socket address of either family.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int Family() const { return storage.ss_family; }
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

// Resolves a host of either family for `port`: an IPv4 or IPv6 literal
// (also in brackets, "[::1]") or a name, whose addresses come in the
// resolver's order (at most kMaxResolvedAddresses). False (last error
// 10022) when nothing resolves.
bool ResolveHost(const char* host, unsigned int port, std::vector<SocketAddress>& out);

// The numeric text of a socket address ("127.0.0.1", "::1") and its port.
bool FormatSocketAddress(const sockaddr* addr, std::string& address, unsigned int& port);

class CAsyncSocket {
public:
    CAsyncSocket() = default;
    virtual ~CAsyncSocket();
    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Creates a non-blocking TCP (or UDP) socket. It is bound only when a
    // local port or address is given; otherwise the kernel picks one at
    // connect or listen time. An IPv6 address makes an IPv6 socket.
    bool Create(unsigned int port = 0, int type = SOCK_STREAM, long events = FD_ALL_EVENTS,
                const char* address = nullptr);
    bool Bind(unsigned int port, const char* address = nullptr);

    // Closes the socket if it is open.
    virtual void Close();

    // Takes ownership of an open socket handle (made non-blocking).
    bool Attach(int handle, long events = FD_ALL_EVENTS);
    // Gives up ownership of the handle and returns it.
    int Detach();

    // One non-blocking attempt: a byte count, 0 when the peer closed, or
    // SOCKET_ERROR (10035 when it would block). A negative length fails with
    // 10022.
    int ReceiveNow(void* buf, int len, int flags = 0);
    int SendNow(const void* buf, int len, int flags = 0);

    // Starts a connect; fails with 10035 while it is under way. An unbound
    // socket of the other family is made anew in the address's family.
    bool ConnectNow(const sockaddr* addr, int len);
    bool ConnectNow(const char* host, unsigned int port);
    // Accepts a pending connection into `connected`; 10035 when none waits.
    bool AcceptNow(CAsyncSocket& connected, sockaddr* addr = nullptr, int* len = nullptr);

    bool Listen(int backlog = 5);
    bool ShutDown(int how = SHUT_WR);

    bool GetPeerName(std::string& address, unsigned int& port) const;
    bool GetPeerName(sockaddr* addr, int* len) const;
    bool GetSockName(std::string& address, unsigned int& port) const;
    bool GetSockName(sockaddr* addr, int* len) const;

    // Result of the connect started by ConnectNow once the socket is
    // writable: true on success, otherwise the last error tells why.
    bool TakeConnectResult();

    bool IsOpen() const { return m_hSocket != INVALID_SOCKET; }
    // AF_INET or AF_INET6.
    int Family() const { return m_nFamily; }
    // Makes the socket one of `family` (an open, unbound socket of the other
    // family is closed and made anew). False (10047) for a bound socket.
    bool UseFamily(int family);
    long EventMask() const { return m_lEvents; }

    // The local host's name.
    static std::string GetLocalHostName();

    int m_hSocket = INVALID_SOCKET;

protected:
    // True once the socket was bound (or attached, or accepted).
    bool IsBound() const { return m_bBound; }
    // Replaces the handle by an open, connected one of `family`.
    void Adopt(int handle, int family);

private:
    long m_lEvents = 0;
    int m_nFamily = AF_INET;
    int m_nType = SOCK_STREAM;
    bool m_bBound = false;
};

}  // namespace velkor
