// CLineReader: CR LF lines from a CVLKSocket, for the text protocols (FTP
// control replies, SMTP and POP3).
//
// Bytes are received into a buffer and handed over as whole lines, without
// their CR LF; bytes after the last CR LF stay buffered for the next call,
// so a reply split across packets, or two replies in one packet, read the
// same. Nothing grows without bound: a line that does not end within
// maxLineBytes fails with kTooLong. A deadline bounds the reading as a
// whole (each receive still has the socket's time-out), so a peer that
// trickles a byte per time-out cannot hold the caller forever.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CVLKSocket.h"

namespace velkor {

class CLineReader {
public:
    enum Result {
        kOk,        // at least one whole line was handed over
        kClosed,    // the peer closed the connection
        kFailed,    // a receive failed or timed out (the socket's last error says which)
        kTooLong,   // a line did not end within maxLineBytes
        kDeadline,  // the deadline passed
    };

    CLineReader(CVLKSocket& socket, std::size_t maxLineBytes);

    // Appends the whole lines buffered (at most maxLines; the rest stay
    // buffered) to lines, receiving first (as often as needed) when no whole
    // line is buffered. received grows by the bytes received in this call.
    Result ReadLines(std::vector<std::string>& lines, std::size_t& received,
                     std::size_t maxLines = SIZE_MAX);
    // Appends the buffered bytes, or (when none are buffered) the bytes of
    // one receive, to out: for bodies the caller scans itself. The caller
    // bounds what it keeps.
    Result ReadSome(std::string& out, std::size_t& received);
    // Puts bytes back in front of the buffered ones (lines read too far).
    void Unread(const std::string& bytes);
    void SetMaxLineBytes(std::size_t bytes) { m_nMaxLineBytes = bytes; }
    // Forgets buffered bytes (call when the connection is opened anew).
    void Reset() { m_buffer.clear(); }
    using Clock = std::chrono::steady_clock;
    // ReadLines calls give up with kDeadline once this point has passed;
    // without one (the default) only the socket's time-out per receive holds.
    void SetDeadline(Clock::time_point deadline) { m_deadline = deadline; }
    void ClearDeadline() { m_deadline.reset(); }
    bool HasBufferedBytes() const { return !m_buffer.empty(); }
    // Upgrades the socket to TLS after the server agreed to it. Bytes the
    // server sent after its agreement, still in plaintext, would be taken
    // for replies over TLS (STARTTLS injection): they fail the upgrade. 1,
    // or 0 with the reason in `why`.
    int StartTls(const TlsSettings& settings, std::string& why);

    // Bytes received at most per receive call.
    static constexpr int kReceiveBytes = 64 * 1024;

private:
    // One receive appended to `into`, within the deadline.
    Result ReceiveOnce(std::string& into, std::size_t& received);
    // Moves the whole lines of the buffer into lines; false when none, or
    // (tooLong set) when one is longer than the bound.
    bool TakeLines(std::vector<std::string>& lines, bool& tooLong, std::size_t maxLines);

    CVLKSocket& m_socket;
    std::size_t m_nMaxLineBytes;
    std::optional<Clock::time_point> m_deadline;
    std::string m_buffer;
};

}  // namespace velkor
