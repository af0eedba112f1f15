// ProtocolTrace: a caller's view of a line protocol's conversation.
//
// Beyond the older clients: the FTP, SMTP and POP3 classes call it with each
// command line they send (sent = true, without its CR LF) and each reply
// line they read, as they go over the wire. Message bodies, listings and file
// data are not traced. The lines carry passwords as sent: a caller that
// shows them masks PASS, ACCT, AUTH and what follows a 334 reply.
#pragma once

#include <functional>
#include <string_view>

namespace velkor {

using ProtocolTrace = std::function<void(bool sent, std::string_view line)>;

// Calls the trace, if any, with a line whose CR LF is dropped.
inline void TraceLine(const ProtocolTrace& trace, bool sent, std::string_view line) {
    if (!trace) return;
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") line.remove_suffix(2);
    trace(sent, line);
}

}  // namespace velkor
