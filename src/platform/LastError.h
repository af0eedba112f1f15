// The thread's last socket-error code, numbered as Windows Sockets numbers it.
//
// Callers of the library compare these numbers (10035, 10053, ...), so the
// POSIX errno values the kernel reports are mapped onto them. Each thread has
// its own code; a success never clears it.
#pragma once

#include <string>

namespace velkor {

// Windows Sockets error numbers used by the library and its callers.
enum : int {
    WSAEINTR = 10004,         // a blocking call was cancelled
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,        // invalid argument; also: host name does not resolve
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,   // a non-blocking call would have to wait
    WSAEINPROGRESS = 10036,   // a blocking call is already running on this socket
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAEOPNOTSUPP = 10045,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,  // also: a timed wait ran out of time
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
};

// The calling thread's last socket error.
int GetLastSocketError();

// Sets the calling thread's last socket error.
void SetLastSocketError(int code);

// Maps a POSIX errno value to its Windows Sockets number. Values without a
// counterpart are returned as 10000 + errno so that nothing is lost and a
// caller can still tell them apart.
int WsaErrorFromErrno(int err);

// A short sentence for a socket error number ("unknown socket error" for
// numbers without one; 10000 + errno numbers get the C library's text).
std::string SocketErrorText(int code);

// Sets the last socket error from errno (WsaErrorFromErrno(errno)).
void SetLastSocketErrorFromErrno();

}  // namespace velkor
