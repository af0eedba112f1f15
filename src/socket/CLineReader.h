// CLineReader: CR LF lines from a CVLKSocket, for the text protocols (FTP
// control replies, SMTP and POP3).
//
// Bytes are received into a buffer and handed over as whole lines, without
// their CR LF; bytes after the last CR LF stay buffered for the next call,
// so a reply split across packets, or two replies in one packet, read the
// same. Nothing grows without bound: a line that does not end within
// maxLineBytes fails with kTooLong. A deadline (whole seconds, 0: none)
// bounds one ReadLines call as a whole, so a peer that trickles a byte per
// time-out cannot hold the caller forever.
#pragma once

#include <cstddef>
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

    // Appends every whole line buffered to lines, receiving first (as often
    // as needed) when no whole line is buffered. received grows by the bytes
    // received in this call.
    Result ReadLines(std::vector<std::string>& lines, std::size_t& received);
    // Forgets buffered bytes (call when the connection is opened anew).
    void Reset() { m_buffer.clear(); }
    // Bounds each later ReadLines call; 0 (the default) relies on the
    // socket's time-out per receive alone.
    void SetDeadline(unsigned int seconds) { m_nDeadline = seconds; }
    bool HasBufferedBytes() const { return !m_buffer.empty(); }

    // Bytes received at most per receive call.
    static constexpr int kReceiveBytes = 4096;

private:
    // Moves the whole lines of the buffer into lines; false when none, or
    // (tooLong set) when one is longer than the bound.
    bool TakeLines(std::vector<std::string>& lines, bool& tooLong);

    CVLKSocket& m_socket;
    std::size_t m_nMaxLineBytes;
    unsigned int m_nDeadline = 0;
    std::string m_buffer;
};

}  // namespace velkor
