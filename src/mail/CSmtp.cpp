// CSmtp: the SMTP conversation.
#include "mail/CSmtp.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mail/CMailCommonFunction.h"
#include "mail/CMailMessage.h"
#include "mail/MailLink.h"
#include "socket/CodedReply.h"
#include "platform/Text.h"
#include "platform/LastError.h"

namespace velkor {

static_assert(CSmtp::kErrSocket == kMailOpenCreateFailed && CSmtp::kErrConnect == kMailOpenConnectFailed,
              "the shared opening errors keep the documented numbers");

namespace {

enum Rule : unsigned int { kRuleOk = 0, kRuleGreeting = 1, kRuleData = 2, kRuleQuit = 3 };

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

// The DATA stream of a mail, made piece by piece so that the caller's text
// stays as it is: CR LF line ends only (a lone CR or LF becomes CR LF) and a
// second dot on every line that starts with one. It reads a header (the
// sender's own copy) and then a body in place.
class DataStream {
public:
    DataStream(std::string_view header, std::string_view body) : m_parts{header, body} {}

    // Appends to out until it holds at least `want` bytes (one more when a
    // line end or stuffed dot falls on the edge) or the text is done.
    void Fill(std::string& out, std::size_t want) {
        while (out.size() < want && m_part < 2) {
            const std::string_view text = m_parts[m_part];
            if (m_pos >= text.size()) {
                ++m_part;
                m_pos = 0;
                continue;
            }
            const char c = text[m_pos];
            if (c == '\r' || c == '\n') {
                ++m_pos;
                if (c == '\n' && m_skipLf) {
                    m_skipLf = false;
                    continue;
                }
                out += "\r\n";
                m_skipLf = c == '\r';
                m_lineStart = true;
                m_endsLine = true;
                continue;
            }
            if (m_lineStart && c == '.') out += '.';
            // The rest of the line up to the next CR or LF goes in one append
            // (two memchr calls: find_first_of tests the set per byte).
            const std::size_t room = want > out.size() ? want - out.size() : 1;
            const char* from = text.data() + m_pos;
            std::size_t span = std::min(room, text.size() - m_pos);
            if (const void* lf = std::memchr(from, '\n', span)) span = static_cast<std::size_t>(static_cast<const char*>(lf) - from);
            if (const void* cr = std::memchr(from, '\r', span)) span = static_cast<std::size_t>(static_cast<const char*>(cr) - from);
            const std::size_t end = m_pos + span;
            out.append(text.data() + m_pos, end - m_pos);
            m_pos = end;
            m_skipLf = m_lineStart = m_endsLine = false;
            m_empty = false;
        }
    }
    bool Done() const { return m_part >= 2; }
    // The stream so far ends with CR LF, or is empty.
    bool EndsLine() const { return m_endsLine || m_empty; }

private:
    std::string_view m_parts[2];
    int m_part = 0;
    std::size_t m_pos = 0;
    bool m_lineStart = true, m_skipLf = false, m_endsLine = false, m_empty = true;
};

}  // namespace

CSmtp::CSmtp() : m_Reply{{250, kErrReply}, {220, kErrConnect}, {354, kErrData}, {221, kErrQuit}} {}

CSmtp::~CSmtp() { Disconnect(); }

const char* CSmtp::ErrorText(int code) {
    switch (code) {
        case 0: return "no error";
        case kErrNoMemory: return "out of memory";
        case kErrSocket: return "the connection failed or the server stopped answering";
        case kErrGreeting: return "the server refused the connection";
        case kErrConnect: return "not connected to the server";
        case kErrSend: return "a command could not be sent";
        case kErrAuth: return "the server refused the user name or password";
        case kErrReply: return "the server refused the command";
        case kErrData: return "the server refused to take the mail";
        case kErrQuit: return "the server did not end the session properly";
        case kErrLineBreak: return "an address, user name or password holds a line break";
        case kErrTls: return "TLS failed";
        default: return "unknown error";
    }
}

std::string CSmtp::GetErrorText() const {
    std::string text = ErrorText(m_nLastError);
    if (m_nLastError == kErrTls) return text + ": " + m_strTlsError;
    if ((m_nLastError == kErrSocket || m_nLastError == kErrConnect) && m_nLastWSAError != 0)
        text += std::string(": ") + SocketErrorText(m_nLastWSAError);
    const std::size_t eol = m_strLastReply.find("\r\n");
    if (!m_strLastReply.empty()) text += " (the server said: " + m_strLastReply.substr(0, eol) + ")";
    return text;
}


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
    TraceLine(m_trace, true, line);
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
    const CLineReader::Result result = CodedReply::Read(m_reader, lines, kMaxReplyLines, m_trace);
    m_reader.ClearDeadline();
    for (const std::string& line : lines) {
        if (!m_strLastReply.empty()) m_strLastReply += "\r\n";
        m_strLastReply += line;
    }
    // A reply without a code is answered as a wrong code would be.
    if (result == CLineReader::kOk) return std::max(CodedReply::Code(lines.back()), 0);
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
    if (m_Socket.GetSockName(address, port) && !address.empty())
        return address.find(':') != std::string::npos ? "[IPv6:" + address + "]" : "[" + address + "]";
    return "[127.0.0.1]";
}

bool CSmtp::OffersOnlyPlain(const std::string& ehloReply) {
    bool plain = false, login = false;
    for (std::size_t pos = 0; pos < ehloReply.size();) {
        std::size_t eol = ehloReply.find("\r\n", pos);
        if (eol == std::string::npos) eol = ehloReply.size();
        std::string line = ehloReply.substr(pos, eol - pos);
        for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        // "250-AUTH PLAIN LOGIN" (or the older "250-AUTH=LOGIN").
        if (line.size() > 9 && line.compare(4, 4, "AUTH") == 0 && (line[8] == ' ' || line[8] == '=')) {
            const std::string names = " " + line.substr(9) + " ";
            plain = plain || names.find(" PLAIN ") != std::string::npos;
            login = login || names.find(" LOGIN ") != std::string::npos;
        }
        pos = eol + 2;
    }
    return plain && !login;
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
    m_strTlsError.clear();
    TlsSettings tls = m_tls;
    if (tls.host.empty()) tls.host = m_strServer;
    if (m_nTls == kTlsImplicit && !m_reader.StartTls(tls, m_strTlsError)) return fail(kErrTls);
    if (!GetResponse(kRuleGreeting)) return fail(kErrGreeting);
    if (!Greet()) return fail(0);
    if (m_bAuth) {
        // 334 (user name asked), 334 (password asked), 235 (accepted); or,
        // for a server that offers PLAIN but not LOGIN, one AUTH PLAIN line.
        struct Step {
            std::string line;
            int code;
        };
        const std::vector<Step> steps =
            OffersOnlyPlain(m_strLastReply)
                ? std::vector<Step>{{"AUTH PLAIN " + Base64(std::string(1, '\0') + m_strUser + '\0' + m_strPassword) + "\r\n", 235}}
                : std::vector<Step>{{"AUTH LOGIN\r\n", 334},
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

bool CSmtp::Greet() {
    const bool extended = m_bAuth || m_nTls == kTlsExplicit;
    if (!SendLine((extended ? "EHLO " : "HELO ") + HeloName() + "\r\n", kErrSend)) return false;
    if (!GetResponse(kRuleOk)) return false;
    if (m_nTls != kTlsExplicit) return true;
    // "250-STARTTLS" or "250 STARTTLS" among the extensions.
    bool offered = false;
    for (std::size_t pos = 0; pos < m_strLastReply.size();) {
        std::size_t eol = m_strLastReply.find("\r\n", pos);
        if (eol == std::string::npos) eol = m_strLastReply.size();
        std::string keyword = m_strLastReply.substr(pos + 4 > eol ? eol : pos + 4, 8);
        for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        offered = offered || (keyword == "STARTTLS" && (eol - pos == 12 || m_strLastReply[pos + 12] == ' '));
        pos = eol + 2;
    }
    const auto refuse = [this](std::string why) {
        m_strTlsError = std::move(why);
        m_nLastError = kErrTls;
        SendLine("QUIT\r\n", 0);
        return false;
    };
    if (!offered) return refuse("the server does not offer STARTTLS");
    if (!SendLine("STARTTLS\r\n", kErrSend)) return false;
    const int code = ReadReply();
    if (code < 0) return false;
    if (code != 220) return refuse("the server refused STARTTLS: " + m_strLastReply.substr(0, m_strLastReply.find("\r\n")));
    TlsSettings tls = m_tls;
    if (tls.host.empty()) tls.host = m_strServer;
    if (!m_reader.StartTls(tls, m_strTlsError)) {
        m_nLastError = kErrTls;
        return false;
    }
    // What the server said before TLS counts for nothing: greet it again.
    return SendLine("EHLO " + HeloName() + "\r\n", kErrSend) && GetResponse(kRuleOk);
}

int CSmtp::SendMessageA(std::string& message, std::uint32_t& sentBytes) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    return TransmitMsg(message, sentBytes) > 0 ? 1 : 0;
}

int CSmtp::SendMessageTo(std::string& message, const std::vector<std::string>& recipients,
                         std::uint32_t& sentBytes) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    return TransmitMsg(message, sentBytes, &recipients) > 0 ? 1 : 0;
}

int CSmtp::TransmitMsg(std::string& message, std::uint32_t& sentBytes,
                       const std::vector<std::string>* envelopeTo) {
    if (!m_bConnected) {
        m_nLastError = kErrConnect;
        return 0;
    }
    const std::size_t blank = message.find("\r\n\r\n");
    CMailMessage scratch;
    scratch.m_strMailText = blank == std::string::npos ? message : message.substr(0, blank + 4);
    scratch.AnalyseMailMessage();
    std::vector<std::string> recipients;
    if (envelopeTo) recipients = *envelopeTo;
    for (int kind : {CMailMessage::kTo, CMailMessage::kCc, CMailMessage::kBcc}) {
        if (envelopeTo) break;
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
    if (!SendLine("DATA\r\n", 0) || !GetResponse(kRuleData)) return 0;

    // Blind copies never reach the data, whatever the case of their names:
    // they leave the sender's copy of the header, not the caller's text.
    std::string header = blank == std::string::npos ? message : message.substr(0, blank + 4);
    CMailMessage::RemoveHeaderFields(header, {"Bcc", "Resent-Bcc"}, true);
    DataStream stream(header, blank == std::string::npos ? std::string_view()
                                                         : std::string_view(message).substr(blank + 4));
    const std::uint32_t base = sentBytes;
    const std::size_t window = (kPiecesAtOnce + 1) * kChunkBytes;
    std::string buffer;
    std::size_t at = 0;         // of buffer, on the wire
    std::uint64_t before = 0;   // stream bytes on the wire before buffer
    for (;;) {
        if (buffer.size() - at < window && !stream.Done()) {
            buffer.erase(0, at);
            before += at;
            at = 0;
            stream.Fill(buffer, window);
        }
        // The last piece goes with the terminator.
        if (buffer.size() - at <= kChunkBytes) break;
        // As many whole pieces as the kernel takes without waiting go in one
        // call (no one can look at sentBytes between them); when it would
        // wait, one piece goes the waiting way, running the wait hook.
        const std::size_t pieces = std::min<std::size_t>((buffer.size() - at - 1) / kChunkBytes, kPiecesAtOnce);
        const int taken = m_Socket.SendNow(buffer.data() + at, static_cast<int>(pieces * kChunkBytes));
        std::size_t n = taken > 0 ? static_cast<std::size_t>(taken) / kChunkBytes * kChunkBytes : 0;
        if (n == 0) {
            const std::size_t rest = taken > 0 ? static_cast<std::size_t>(taken) : 0;
            if (taken < 0 && GetLastSocketError() != WSAEWOULDBLOCK) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            // Complete the piece the kernel took part of.
            const int left = static_cast<int>(kChunkBytes - rest);
            if (m_Socket.Send(buffer.data() + at + rest, left) != left) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            n = kChunkBytes;
        } else if (static_cast<std::size_t>(taken) > n) {
            // Part of a further piece went too: complete it.
            const std::size_t rest = static_cast<std::size_t>(taken) - n;
            const int left = static_cast<int>(kChunkBytes - rest);
            if (m_Socket.Send(buffer.data() + at + n + rest, left) != left) {
                m_nLastWSAError = GetLastSocketError();
                return 0;
            }
            n += kChunkBytes;
        }
        at += n;
        sentBytes = base + static_cast<std::uint32_t>(before + at);
    }
    // The terminator: no extra empty line when the text already ends one.
    const std::string last = buffer.substr(at) + (stream.EndsLine() ? ".\r\n" : "\r\n.\r\n");
    if (!SendLine(last, 0)) return 0;
    sentBytes = base + static_cast<std::uint32_t>(before + buffer.size());
    return GetResponse(kRuleOk);
}

int CSmtp::CookBody(std::string& text) {
    DataStream stream({}, text);
    std::string out;
    out.reserve(text.size() + text.size() / 64 + 16);
    stream.Fill(out, static_cast<std::size_t>(-1));
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
