// CSmtp: the SMTP conversation.
#include "mail/CSmtp.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "mail/CMailCommonFunction.h"
#include "mail/CMailMessage.h"
#include "mail/MailLink.h"
#include "platform/Text.h"
#include "platform/LastError.h"

namespace velkor {

static_assert(CSmtp::kErrSocket == kMailOpenCreateFailed && CSmtp::kErrConnect == kMailOpenConnectFailed,
              "the shared opening errors keep the documented numbers");

namespace {

enum Rule : unsigned int { kRuleOk = 0, kRuleGreeting = 1, kRuleData = 2, kRuleQuit = 3 };

// The code of a reply line: its first three characters as digits, else -1.
int ReplyCode(const std::string& line) {
    if (line.size() < 3 || !std::isdigit(static_cast<unsigned char>(line[0])) ||
        !std::isdigit(static_cast<unsigned char>(line[1])) ||
        !std::isdigit(static_cast<unsigned char>(line[2])))
        return -1;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::string Base64(const std::string& text) {
    return CMailCommonFunction::EncodeTextBase64(reinterpret_cast<const unsigned char*>(text.data()),
                                                 static_cast<std::uint32_t>(text.size()), 0);
}

// Calls f(p) for every occurrence p of c in the text, until f returns true;
// true when it did.
template <typename F>
bool AnyOccurrence(const std::string& text, char c, F f) {
    const char* end = text.data() + text.size();
    for (const char* p = text.data();
         (p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)))) != nullptr;
         ++p)
        if (f(p, end)) return true;
    return false;
}

// True when the text needs cooking: a line starting with '.', or a CR or
// LF that is not part of a CR LF pair.
bool NeedsCooking(const std::string& text) {
    if (text.empty()) return false;
    if (text[0] == '.' || text[0] == '\n') return true;
    return AnyOccurrence(text, '\n', [](const char* p, const char* end) {
               return p[-1] != '\r' || (p + 1 < end && p[1] == '.');
           }) ||
           AnyOccurrence(text, '\r', [](const char* p, const char* end) {
               return p + 1 >= end || p[1] != '\n';
           });
}

}  // namespace

CSmtp::CSmtp() : m_Reply{{250, kErrReply}, {220, kErrConnect}, {354, kErrData}, {221, kErrQuit}} {}

CSmtp::~CSmtp() { Disconnect(); }

void CSmtp::SetServerProperties(std::string server, unsigned int port, int auth,
                                const std::string& user, const std::string& password) {
    m_strServer = std::move(server);
    m_nPort = port;
    m_bAuth = auth;
    m_strUser = user;
    m_strPassword = password;
}

void CSmtp::CloseLink() {
    m_Socket.Close();
    m_reader.Reset();
    m_bConnected = 0;
}

bool CSmtp::SendLine(const std::string& line, int errorCode) {
    if (m_Socket.Send(line.data(), static_cast<int>(line.size())) == static_cast<int>(line.size()))
        return true;
    m_nLastWSAError = GetLastSocketError();
    if (errorCode) m_nLastError = errorCode;
    return false;
}

int CSmtp::ReadReply() {
    m_strLastReply.clear();
    m_reader.SetDeadline(CLineReader::Clock::now() + std::chrono::seconds(m_nTimeout));
    std::vector<std::string> lines;
    std::size_t taken = 0;  // lines of `lines` already looked at
    for (;;) {
        while (taken < lines.size()) {
            const std::string& line = lines[taken++];
            if (!m_strLastReply.empty()) m_strLastReply += "\r\n";
            m_strLastReply += line;
            // The last line of a reply: "ddd" alone or "ddd text".
            if (line.size() < 4 || line[3] != '-') {
                const int code = ReplyCode(line);
                m_reader.ClearDeadline();
                return code;
            }
        }
        if (static_cast<int>(lines.size()) >= kMaxReplyLines) break;
        std::size_t received = 0;
        // One line at a time: lines after the reply stay for the next one.
        if (m_reader.ReadLines(lines, received, 1) != CLineReader::kOk) break;
    }
    m_reader.ClearDeadline();
    m_nLastWSAError = GetLastSocketError();
    m_nLastError = kErrSocket;
    return -1;
}

int CSmtp::GetResponse(unsigned int rule) {
    const int code = ReadReply();
    if (code < 0) return 0;
    if (code == m_Reply[rule][0]) return 1;
    m_nLastError = m_Reply[rule][1];
    return 0;
}

std::string CSmtp::HeloName() const {
    const std::string host = CAsyncSocket::GetLocalHostName();
    if (host.find('.') != std::string::npos && !text::BreaksLine(host)) return host;
    std::string address;
    unsigned int port = 0;
    if (m_Socket.GetSockName(address, port) && !address.empty()) return "[" + address + "]";
    return "[127.0.0.1]";
}

int CSmtp::Connect() {
    if (m_bConnected) return 1;
    if (m_bAuth && (text::BreaksLine(m_strUser) || text::BreaksLine(m_strPassword))) {
        m_nLastError = kErrLineBreak;
        return 0;
    }
    m_reader.Reset();
    if (const int error = OpenMailSocket(m_Socket, m_strServer, m_nPort, m_nTimeout, m_nLastWSAError)) {
        m_nLastError = error;
        return 0;
    }
    const auto fail = [this](int error) {
        if (error) m_nLastError = error;
        CloseLink();
        return 0;
    };
    if (!GetResponse(kRuleGreeting)) return fail(kErrGreeting);
    if (!SendLine((m_bAuth ? "EHLO " : "HELO ") + HeloName() + "\r\n", kErrSend)) return fail(0);
    if (!GetResponse(kRuleOk)) return fail(0);
    if (m_bAuth) {
        // 334 (user name asked), 334 (password asked), 235 (accepted).
        const struct {
            std::string line;
            int code;
        } steps[] = {{"AUTH LOGIN\r\n", 334},
                     {Base64(m_strUser) + "\r\n", 334},
                     {Base64(m_strPassword) + "\r\n", 235}};
        for (const auto& step : steps) {
            if (!SendLine(step.line, kErrSend)) return fail(0);
            const int code = ReadReply();
            if (code < 0) return fail(0);
            if (code != step.code) {
                SendLine("QUIT\r\n", 0);
                return fail(kErrAuth);
            }
        }
    }
    m_bConnected = 1;
    return 1;
}

int CSmtp::SendMessageA(std::string& message, std::uint32_t& sentBytes) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    return TransmitMsg(message, sentBytes) > 0 ? 1 : 0;
}

int CSmtp::TransmitMsg(std::string& message, std::uint32_t& sentBytes) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    const std::size_t blank = message.find("\r\n\r\n");
    CMailMessage scratch;
    scratch.m_strMailText = blank == std::string::npos ? message : message.substr(0, blank + 4);
    scratch.AnalyseMailMessage();
    std::vector<std::string> recipients;
    for (int kind : {CMailMessage::kTo, CMailMessage::kCc, CMailMessage::kBcc}) {
        for (int i = 0; i < scratch.GetRecipientNum(kind); ++i) {
            std::string address, name;
            scratch.GetRecipient(kind, i, address, name);
            recipients.push_back(address);
        }
    }
    const std::string from = scratch.GetMailFrom();
    if (text::BreaksLine(from) ||
        std::any_of(recipients.begin(), recipients.end(), [](const std::string& r) { return text::BreaksLine(r); })) {
        m_nLastError = kErrLineBreak;
        return 0;
    }
    if (!SendLine("MAIL FROM:<" + from + ">\r\n", 0) || !GetResponse(kRuleOk)) return 0;
    for (const std::string& to : recipients)
        if (!SendLine("RCPT TO:<" + to + ">\r\n", 0) || !GetResponse(kRuleOk)) return 0;
    // Blind copies never reach the data, whatever the case of their names.
    CMailMessage::RemoveHeaderFields(message, {"Bcc", "Resent-Bcc"}, true);
    if (!SendLine("DATA\r\n", 0) || !GetResponse(kRuleData)) return 0;

    const std::uint32_t base = sentBytes;
    CookBody(message);
    // The terminator goes out with the last piece (no extra empty line when
    // the text already ends with a line break).
    const bool endsLine = message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0;
    const char* terminator = message.empty() || endsLine ? ".\r\n" : "\r\n.\r\n";
    std::size_t at = 0;
    while (message.size() - at > kChunkBytes) {
        // As many whole pieces as the kernel takes without waiting go in one
        // call (no one can look at sentBytes between them); when it would
        // wait, one piece goes the waiting way, running the wait hook.
        const std::size_t pieces = std::min<std::size_t>((message.size() - at - 1) / kChunkBytes, kPiecesAtOnce);
        const int taken = m_Socket.SendNow(message.data() + at, static_cast<int>(pieces * kChunkBytes));
        std::size_t n = taken > 0 ? static_cast<std::size_t>(taken) / kChunkBytes * kChunkBytes : 0;
        if (n == 0) {
            const std::size_t rest = taken > 0 ? static_cast<std::size_t>(taken) : 0;
            if (taken < 0 && GetLastSocketError() != WSAEWOULDBLOCK) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            // Complete the piece the kernel took part of.
            const int left = static_cast<int>(kChunkBytes - rest);
            if (m_Socket.Send(message.data() + at + rest, left) != left) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            n = kChunkBytes;
        } else if (static_cast<std::size_t>(taken) > n) {
            // Part of a further piece went too: complete it.
            const std::size_t rest = static_cast<std::size_t>(taken) - n;
            const int left = static_cast<int>(kChunkBytes - rest);
            if (m_Socket.Send(message.data() + at + n + rest, left) != left) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            n += kChunkBytes;
        }
        at += n;
        sentBytes = base + static_cast<std::uint32_t>(at);
    }
    const std::string last = message.substr(at) + terminator;
    if (!SendLine(last, 0)) return 0;
    sentBytes = base + static_cast<std::uint32_t>(message.size());
    return GetResponse(kRuleOk);
}

int CSmtp::CookBody(std::string& text) {
    if (!NeedsCooking(text)) return 1;
    std::string out;
    out.reserve(text.size() + text.size() / 64 + 16);
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = false;
    }
    text.swap(out);
    return 1;
}

int CSmtp::Rset() {
    if (!SendLine("RSET\r\n", kErrSend)) return 0;
    return GetResponse(kRuleOk);
}

int CSmtp::Disconnect() {
    if (!m_bConnected) return 1;
    SendLine("QUIT\r\n", 0);
    const int result = GetResponse(kRuleQuit);
    CloseLink();
    return result;
}

}  // namespace velkor
