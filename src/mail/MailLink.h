// The connection the mail clients share: a timed socket connected directly
// or through the process-wide proxy document's SOCKS5 server, and replies
// read as whole CR LF lines within a deadline.
#pragma once

#include <string>

#include "socket/CLineReader.h"
#include "socket/CVLKSocket.h"

namespace velkor {

// Error numbers the SMTP and POP3 clients share for opening a connection.
inline constexpr int kMailOpenCreateFailed = 2;
inline constexpr int kMailOpenConnectFailed = 4;

// Creates the socket with the time-out (seconds), sets the SOCKS5 proxy
// when the proxy document enables one (no user/password), and connects
// (with TCP_NODELAY: commands must not wait for delayed acknowledgements).
// 0, or kMailOpenCreateFailed / kMailOpenConnectFailed with the socket
// closed and the socket layer's error in wsaError.
int OpenMailSocket(CVLKSocket& socket, const std::string& host, unsigned int port,
                   int timeoutSeconds, int& wsaError);

}  // namespace velkor
