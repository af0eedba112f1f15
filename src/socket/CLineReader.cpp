#include "socket/CLineReader.h"

#include <algorithm>

#include "platform/LastError.h"

namespace velkor {

CLineReader::CLineReader(CVLKSocket& socket, std::size_t maxLineBytes)
    : m_socket(socket), m_nMaxLineBytes(maxLineBytes) {}

bool CLineReader::TakeLines(std::vector<std::string>& lines, bool& tooLong,
                            std::size_t maxLines) {
    std::size_t start = 0;
    for (std::size_t end, taken = 0;
         taken < maxLines && (end = m_buffer.find("\r\n", start)) != std::string::npos;
         start = end + 2, ++taken) {
        if (end - start > m_nMaxLineBytes) {
            tooLong = true;
            return false;
        }
        lines.emplace_back(m_buffer, start, end - start);
    }
    if (start == 0) return false;
    m_buffer.erase(0, start);
    return true;
}

void CLineReader::Unread(const std::string& bytes) { m_buffer.insert(0, bytes); }

CLineReader::Result CLineReader::ReceiveOnce(std::string& into, std::size_t& received) {
    const unsigned int socketTimeout = m_socket.m_nTimeoutLength;
    if (m_deadline) {
        const auto left = std::chrono::ceil<std::chrono::seconds>(*m_deadline - Clock::now()).count();
        if (left <= 0) {
            SetLastSocketError(WSAECONNABORTED);  // as a receive that timed out
            return kDeadline;
        }
        // The receive may not outlast the deadline (whole seconds, like the
        // socket's own time-out).
        m_socket.SetTimeoutLength(static_cast<unsigned int>(
            std::min<long long>(left, static_cast<long long>(socketTimeout))));
    }
    // Into a local block, then appended: a receive often brings far less
    // than the block, and growing the string first would clear all of it.
    char chunk[kReceiveBytes];
    const int n = m_socket.Receive(chunk, kReceiveBytes);
    if (m_deadline) m_socket.SetTimeoutLength(socketTimeout);
    if (n < 0) return kFailed;
    if (n == 0) return kClosed;
    received += static_cast<std::size_t>(n);
    into.append(chunk, static_cast<std::size_t>(n));
    return kOk;
}

CLineReader::Result CLineReader::ReadSome(std::string& out, std::size_t& received) {
    if (m_buffer.empty()) return ReceiveOnce(out, received);
    if (out.empty()) out.swap(m_buffer);
    else out.append(m_buffer);
    m_buffer.clear();
    return kOk;
}

CLineReader::Result CLineReader::ReadLines(std::vector<std::string>& lines,
                                           std::size_t& received, std::size_t maxLines) {
    const std::size_t had = lines.size();
    bool tooLong = false;
    if (TakeLines(lines, tooLong, maxLines)) return kOk;
    if (tooLong) {
        m_buffer.clear();
        lines.resize(had);
        return kTooLong;
    }
    Result result = kOk;
    for (;;) {
        // A CR at the end of the old bytes may pair with an LF at the start.
        const std::size_t from = m_buffer.empty() ? 0 : m_buffer.size() - 1;
        result = ReceiveOnce(m_buffer, received);
        if (result != kOk) break;
        if (m_buffer.find("\r\n", from) != std::string::npos) {
            TakeLines(lines, tooLong, maxLines);
            // The unfinished line left over may not pass the bound either.
            if (tooLong || (m_buffer.size() > m_nMaxLineBytes &&
                            m_buffer.find("\r\n") == std::string::npos))
                result = kTooLong;
            break;
        }
        if (m_buffer.size() > m_nMaxLineBytes) {
            result = kTooLong;
            break;
        }
    }
    if (result == kTooLong) {
        m_buffer.clear();
        lines.resize(had);
    }
    return result;
}

int CLineReader::StartTls(const TlsSettings& settings, std::string& why) {
    if (!m_buffer.empty()) {
        why = "the server sent more than its answer before the TLS handshake";
        return 0;
    }
    if (!m_socket.StartTls(settings)) {
        why = m_socket.TlsError();
        return 0;
    }
    m_buffer.clear();
    return 1;
}

}  // namespace velkor
