// CPop3: the POP3 conversation.
#include "mail/CPop3.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "mail/MailLink.h"
#include "platform/Text.h"
#include "platform/LastError.h"

namespace velkor {

static_assert(CPop3::kErrSocket == kMailOpenCreateFailed && CPop3::kErrConnect == kMailOpenConnectFailed,
              "the shared opening errors keep the documented numbers");

namespace {

bool Accepted(const std::string& line) { return line.compare(0, 3, "+OK") == 0; }

}  // namespace

CPop3::CPop3(const char* server, unsigned int port)
    : m_nPort(port), m_strServer(server ? server : "") {}

CPop3::~CPop3() {
    m_arrMsgLength.clear();
    m_arrMsgID.clear();
    if (m_bConnected) Logoff();
    Disconnect();
}

const char* CPop3::ErrorText(int code) {
    switch (code) {
        case 0: return "no error";
        case kErrNoMemory: return "out of memory";
        case kErrSocket: return "the connection failed or the server stopped answering";
        case kErrLineBreak: return "the user name or password holds a line break";
        case kErrConnect: return "not connected or not logged on";
        case kErrTooLarge: return "the reply is larger than the size bound";
        case kErrTls: return "TLS failed";
        default: return "unknown error";
    }
}

std::string CPop3::GetErrorText() const {
    std::string text = ErrorText(m_nLastError);
    if (m_nLastError == kErrTls) return text + ": " + m_strTlsError;
    if ((m_nLastError == kErrSocket || m_nLastError == kErrConnect) && m_nLastWSAError != 0)
        text += std::string(": ") + SocketErrorText(m_nLastWSAError);
    const std::size_t eol = m_strLastReply.find("\r\n");
    if (!m_strLastReply.empty()) text += " (the server said: " + m_strLastReply.substr(0, eol) + ")";
    return text;
}

void CPop3::SetServerProperties(const char* server, unsigned int port) {
    if (!server) return;
    m_strServer = server;
    m_nPort = port;
}

void CPop3::SetMaxReplyBytes(std::size_t bytes) {
    m_nMaxReplyBytes = bytes;
    m_reader.SetMaxLineBytes(bytes);
}

void CPop3::CloseLink() {
    m_Socket.Close();
    m_reader.Reset();
    m_bConnected = 0;
}

int CPop3::ReadFailed(CLineReader::Result result) {
    if (result == CLineReader::kTooLong) return TooLarge();
    if (result != CLineReader::kClosed) {
        m_nLastWSAError = GetLastSocketError();
        m_nLastError = kErrSocket;
    }
    m_reader.ClearDeadline();
    return 0;
}

int CPop3::ReadStatus() {
    m_reader.SetDeadline(CLineReader::Clock::now() + std::chrono::seconds(m_nTimeout));
    std::vector<std::string> lines;
    std::size_t received = 0;
    const CLineReader::Result result = m_reader.ReadLines(lines, received, 1);
    if (result != CLineReader::kOk) return ReadFailed(result);
    m_reader.ClearDeadline();
    m_strLastReply = lines[0];
    TraceLine(m_trace, false, lines[0]);
    return Accepted(lines[0]) ? 1 : 0;
}

// The body is scanned in the bytes as they arrive: runs of lines that do not
// start with '.' are copied in one piece; a line starting with '.' loses
// that dot (byte-stuffing), and "." alone ends the reply.
int CPop3::ReadMultiLine(std::string& text, std::uint32_t* size, std::size_t expected) {
    text.clear();
    text.reserve(std::min(expected, m_nMaxReplyBytes));
    const std::uint32_t base = size ? *size : 0;
    std::string pending;  // bytes not yet taken: an unfinished line
    for (;;) {
        // The deadline is per receive: a large message may take longer than
        // m_nTimeout as a whole, but never stalls that long.
        m_reader.SetDeadline(CLineReader::Clock::now() + std::chrono::seconds(m_nTimeout));
        std::size_t received = 0;
        const CLineReader::Result result = m_reader.ReadSome(pending, received);
        if (result != CLineReader::kOk) return ReadFailed(result);
        std::size_t pos = 0;  // always at the start of a line
        for (;;) {
            if (pos < pending.size() && pending[pos] == '.') {
                const std::size_t eol = pending.find("\r\n", pos);
                if (eol == std::string::npos) break;
                if (eol == pos + 1) {  // the end; what follows is the next reply's
                    if (text.size() > m_nMaxReplyBytes) return TooLarge();
                    m_reader.Unread(pending.substr(eol + 2));
                    m_reader.ClearDeadline();
                    if (size) *size = base + static_cast<std::uint32_t>(text.size());
                    return 1;
                }
                text.append(pending, pos + 1, eol + 2 - (pos + 1));
                pos = eol + 2;
                continue;
            }
            const std::size_t dotLine = pending.find("\r\n.", pos);
            if (dotLine != std::string::npos) {
                text.append(pending, pos, dotLine + 2 - pos);
                pos = dotLine + 2;
                continue;
            }
            const std::size_t last = pending.rfind("\r\n");
            if (last != std::string::npos && last >= pos) {
                text.append(pending, pos, last + 2 - pos);
                pos = last + 2;
            }
            break;
        }
        pending.erase(0, pos);
        if (text.size() > m_nMaxReplyBytes || pending.size() > m_nMaxReplyBytes) return TooLarge();
        if (size) *size = base + static_cast<std::uint32_t>(text.size());
    }
}

int CPop3::TooLarge() {
    m_nLastError = kErrTooLarge;
    m_reader.ClearDeadline();
    CloseLink();  // the rest of the reply would be read as the next one
    return 0;
}

int CPop3::Command(const std::string& line) {
    TraceLine(m_trace, true, line);
    if (m_Socket.Send(line.data(), static_cast<int>(line.size())) != static_cast<int>(line.size())) {
        m_nLastWSAError = GetLastSocketError();
        return 0;
    }
    return ReadStatus();
}

int CPop3::Connect() {
    if (m_bConnected) return 1;
    m_reader.Reset();
    if (const int error = OpenMailSocket(m_Socket, m_strServer, m_nPort, m_nTimeout, m_nLastWSAError)) {
        m_nLastError = error;
        return 0;
    }
    const auto failTls = [this] {
        m_nLastError = kErrTls;
        CloseLink();
        return 0;
    };
    m_strTlsError.clear();
    TlsSettings tls = m_tls;
    if (tls.host.empty()) tls.host = m_strServer;
    if (m_nTls == kTlsImplicit && !m_reader.StartTls(tls, m_strTlsError)) return failTls();
    if (!ReadStatus()) {
        m_nLastWSAError = GetLastSocketError();
        m_nLastError = kErrConnect;
        CloseLink();
        return 0;
    }
    if (m_nTls == kTlsExplicit) {
        m_strLastReply.clear();
        if (!Command("STLS\r\n")) {
            m_strTlsError = "the server refused STLS" + (m_strLastReply.empty() ? "" : ": " + m_strLastReply);
            return failTls();
        }
        if (!m_reader.StartTls(tls, m_strTlsError)) return failTls();
    }
    m_bConnected = 1;
    return 1;
}

int CPop3::Login(const char* user, const char* password, int) {
    const std::string u = user ? user : "", p = password ? password : "";
    if (text::BreaksLine(u) || text::BreaksLine(p)) {
        m_nLastError = kErrLineBreak;
        return 0;
    }
    if (!Command("USER " + u + "\r\n") || !Command("PASS " + p + "\r\n")) return 0;
    m_bLoggedIn = 1;
    if (!List()) return 0;
    if (m_nMsgCount != 0 && !UIDL()) return 0;
    return 1;
}

int CPop3::List() {
    if (!m_bLoggedIn || !Command("LIST\r\n")) return 0;
    const std::string status = m_strLastReply;
    std::string listing;
    if (!ReadMultiLine(listing, nullptr)) return 0;
    m_nMsgCount = 0;
    m_arrMsgLength.clear();
    const std::size_t first = status.find(' ');
    if (first == std::string::npos) return 0;
    const std::size_t second = status.find(' ', first + 1);
    std::vector<std::string> lines;
    for (std::size_t pos = 0, eol; (eol = listing.find("\r\n", pos)) != std::string::npos; pos = eol + 2)
        lines.push_back(listing.substr(pos, eol - pos));
    // The count from the status line's second word, or from the listing.
    if (second != std::string::npos)
        m_nMsgCount = std::atoi(status.substr(first, second - first + 1).c_str());
    else
        m_nMsgCount = static_cast<int>(lines.size());
    for (int k = 0; k < m_nMsgCount && k < static_cast<int>(lines.size()); ++k) {
        const std::size_t blank = lines[static_cast<std::size_t>(k)].find(' ');
        m_arrMsgLength.push_back(
            blank == std::string::npos
                ? 0
                : static_cast<std::uint32_t>(std::strtoul(lines[static_cast<std::size_t>(k)].c_str() + blank, nullptr, 10)));
    }
    return 1;
}

int CPop3::UIDL() {
    if (!m_bLoggedIn || !Command("UIDL\r\n")) return 0;
    std::string listing;
    if (!ReadMultiLine(listing, nullptr)) return 0;
    m_arrMsgID.clear();
    for (std::size_t pos = 0, eol; (eol = listing.find("\r\n", pos)) != std::string::npos; pos = eol + 2) {
        const std::size_t blank = listing.find(' ', pos);
        m_arrMsgID.push_back(blank < eol ? listing.substr(blank + 1, eol - blank - 1) : std::string());
    }
    return 1;
}

int CPop3::STAT() {
    if (!m_bLoggedIn || !Command("STAT\r\n")) return 0;
    const std::string& status = m_strLastReply;
    const std::size_t first = status.find(' ');
    if (first == std::string::npos) return 0;
    const std::size_t second = status.find(' ', first + 1);
    const std::string number = second == std::string::npos ? std::string()
                                                            : status.substr(first, second - first + 1);
    m_nMsgCount = number.empty() ? 0 : std::atoi(number.c_str());
    return 1;
}

std::uint32_t CPop3::GetMsgLength(int index) const {
    if (index < 0 || index >= static_cast<int>(m_arrMsgLength.size())) return 0xFFFFFFFFu;
    return m_arrMsgLength[static_cast<std::size_t>(index)];
}

std::string CPop3::GetMsgID(int index) const {
    if (index < 0 || index >= static_cast<int>(m_arrMsgID.size())) return {};
    return m_arrMsgID[static_cast<std::size_t>(index)];
}

int CPop3::GetMsgHeader(int index, std::string& header) {
    if (!m_bLoggedIn) {
        m_nLastError = kErrConnect;
        return 0;
    }
    if (!Command("TOP " + std::to_string(index + 1) + " 0\r\n")) return 0;
    if (!ReadMultiLine(header, nullptr)) return 0;
    header.erase(header.find_last_not_of("\r\n") + 1);
    return 1;
}

int CPop3::GetMsg(int index, std::string& message, std::uint32_t& size, int deleteAfter) {
    if (!m_bLoggedIn) {
        m_nLastError = kErrConnect;
        return 0;
    }
    if (!Command("RETR " + std::to_string(index + 1) + "\r\n")) return 0;
    const std::uint32_t listed = GetMsgLength(index);
    if (!ReadMultiLine(message, &size, listed == 0xFFFFFFFFu ? 0 : listed)) return 0;
    if (deleteAfter) Delete(index);
    return 1;
}

int CPop3::Delete(int index) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    return Command("DELE " + std::to_string(index + 1) + "\r\n");
}

int CPop3::Logoff() {
    if (!Command("QUIT\r\n")) return 0;
    m_bLoggedIn = 0;
    return 1;
}

int CPop3::Disconnect() {
    CloseLink();
    return 1;
}

}  // namespace velkor
