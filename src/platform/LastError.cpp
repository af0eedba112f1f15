#include "platform/LastError.h"

#include <cerrno>
#include <cstring>

namespace velkor {

namespace {
thread_local int t_lastSocketError = 0;
}

int GetLastSocketError() { return t_lastSocketError; }

void SetLastSocketError(int code) { t_lastSocketError = code; }

int WsaErrorFromErrno(int err) {
    switch (err) {
        case EINTR: return WSAEINTR;
        case EBADF: return WSAENOTSOCK;
        case EACCES: return WSAEACCES;
        case EFAULT: return WSAEFAULT;
        case EINVAL: return WSAEINVAL;
        case EMFILE: case ENFILE: return WSAEMFILE;
        case EAGAIN: return WSAEWOULDBLOCK;  // EWOULDBLOCK is the same value here
        case EINPROGRESS: return WSAEWOULDBLOCK;  // a non-blocking connect under way
        case EALREADY: return WSAEALREADY;
        case ENOTSOCK: return WSAENOTSOCK;
        case EDESTADDRREQ: return WSAEDESTADDRREQ;
        case EMSGSIZE: return WSAEMSGSIZE;
        case EPROTOTYPE: return WSAEPROTOTYPE;
        case ENOPROTOOPT: return WSAENOPROTOOPT;
        case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
        case EOPNOTSUPP: return WSAEOPNOTSUPP;
        case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
        case EADDRINUSE: return WSAEADDRINUSE;
        case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
        case ENETDOWN: return WSAENETDOWN;
        case ENETUNREACH: return WSAENETUNREACH;
        case ENETRESET: return WSAENETRESET;
        case ECONNABORTED: return WSAECONNABORTED;
        // A send on a connection the peer has reset or closed: the control
        // connection must see it as a lost connection.
        case EPIPE: case ECONNRESET: return WSAECONNRESET;
        case ENOBUFS: case ENOMEM: return WSAENOBUFS;
        case EISCONN: return WSAEISCONN;
        case ENOTCONN: return WSAENOTCONN;
        case ESHUTDOWN: return WSAESHUTDOWN;
        case ETIMEDOUT: return WSAETIMEDOUT;
        case ECONNREFUSED: return WSAECONNREFUSED;
        case EHOSTDOWN: return WSAEHOSTDOWN;
        case EHOSTUNREACH: return WSAEHOSTUNREACH;
        default: return 10000 + err;
    }
}

std::string SocketErrorText(int code) {
    switch (code) {
        case 0: return "no error";
        case WSAEINTR: return "the blocking call was cancelled";
        case WSAEINVAL: return "invalid argument, or the host name does not resolve";
        case WSAEWOULDBLOCK: return "the call would have to wait";
        case WSAEINPROGRESS: return "a blocking call is already running on this socket";
        case WSAECONNABORTED: return "the connection was aborted or timed out";
        case WSAECONNRESET: return "the connection was reset by the peer";
        case WSAENOTCONN: return "the socket is not connected";
        case WSAETIMEDOUT: return "the connection attempt timed out";
        case WSAECONNREFUSED: return "the connection was refused";
        case WSAEHOSTUNREACH: return "the host is unreachable";
        case WSAENETUNREACH: return "the network is unreachable";
        case WSAEADDRINUSE: return "the address is already in use";
        case WSAEADDRNOTAVAIL: return "the address is not available";
        default: break;
    }
    if (code > 10000 && code < 10000 + 4096) return std::strerror(code - 10000);
    return "socket error " + std::to_string(code);
}

void SetLastSocketErrorFromErrno() { t_lastSocketError = WsaErrorFromErrno(errno); }

}  // namespace velkor
