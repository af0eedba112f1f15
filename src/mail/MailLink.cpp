// The connection the mail clients share.
#include "mail/MailLink.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "platform/LastError.h"
#include "proxy/CPRDLDoc.h"

namespace velkor {

int OpenMailSocket(CVLKSocket& socket, const std::string& host, unsigned int port,
                   int timeoutSeconds, int& wsaError) {
    if (!socket.Create()) {
        wsaError = GetLastSocketError();
        return kMailOpenCreateFailed;
    }
    socket.SetTimeoutLength(static_cast<unsigned int>(timeoutSeconds));
    const CPRDLDoc* doc = CPRDLDoc::Getthis();
    if (doc && doc->m_bEnable && !doc->m_strSocksHost.empty())
        socket.SetProxy(kProxySocks5, doc->m_strSocksHost, doc->m_nSocksPort, "", "", 0);
    else
        socket.SetProxy(kProxyNone, "", 0, "", "", 0);
    if (!socket.Connect(host.c_str(), port)) {
        wsaError = GetLastSocketError();
        socket.Close();
        return kMailOpenConnectFailed;
    }
    // Commands and replies alternate: small writes go out at once instead of
    // waiting for the peer's delayed acknowledgement.
    const int one = 1;
    ::setsockopt(socket.m_hSocket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return 0;
}

}  // namespace velkor
