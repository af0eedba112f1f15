// The connection the mail clients share: a timed socket connected directly
// or through the process-wide proxy document's SOCKS5 server, and replies
// read as whole CR LF lines within a deadline.
#pragma once

#include <string>

#include "socket/CLineReader.h"
#include "socket/CVLKSocket.h"

namespace velkor {

// Results of OpenMailSocket.
enum class MailOpen { kOk, kCreateFailed, kConnectFailed };

// Creates the socket with the time-out (seconds), sets the SOCKS5 proxy
// when the proxy document enables one (no user/password), and connects
// (with TCP_NODELAY: commands must not wait for delayed acknowledgements).
// On failure the socket is closed and the socket layer's last error is
// left for the caller to save.
MailOpen OpenMailSocket(CVLKSocket& socket, const std::string& host, unsigned int port,
                        int timeoutSeconds);

// True when a text holds CR, LF or NUL: it would end a command line early
// and let the rest be read as another command.
bool BreaksCommandLine(const std::string& text);

}  // namespace velkor
