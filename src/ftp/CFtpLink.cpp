// CFtpLink: control connection, reply queue, status judgement and logon.
#include "ftp/CFtpLink.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "ftp/FtpLabels.h"
#include "platform/LastError.h"
#include "platform/Text.h"
#include "proxy/CPRDLDoc.h"
#include "socket/CodedReply.h"

namespace velkor {

namespace {

constexpr int kStepEnd = -1;     // LO: logged on
constexpr int kStepRefused = -2;  // ER: refused

// One entry of a logon sequence: the command step, where to go after a 2xx
// reply and where after a 3xx reply (positions count entries from 0).
struct LogonEntry {
    int step;
    int on2xx;
    int on3xx;
};

constexpr int LO = kStepEnd;
constexpr int ER = kStepRefused;
constexpr std::size_t kMaxLogonEntries = 6;

struct LogonSequence {
    int count;
    LogonEntry entries[kMaxLogonEntries];
};

// Positions in the table below are entry indexes (the published form counts
// them in steps of three numbers: 3 is entry 1, 6 entry 2, ...).
constexpr LogonSequence kLogonSequences[kLogonTypeCount] = {
    {3, {{0, LO, 1}, {1, LO, 2}, {2, LO, ER}}},                                   // 0 direct
    {6, {{3, 2, 1}, {4, 2, ER}, {5, ER, 3}, {0, LO, 4}, {1, LO, 5}, {2, LO, ER}}},  // 1 SITE
    {5, {{3, 2, 1}, {4, 2, ER}, {6, LO, 3}, {1, LO, 4}, {2, LO, ER}}},            // 2 user@host
    {4, {{7, 1, 1}, {0, LO, 2}, {1, LO, 3}, {2, LO, ER}}},                         // 3 OPEN
    {5, {{3, 2, 1}, {4, 2, ER}, {0, LO, 3}, {1, LO, 4}, {2, LO, ER}}},            // 4 transparent
    {3, {{6, LO, 1}, {1, LO, 2}, {2, LO, ER}}},                                   // 5 user@host
    {5, {{8, 2, 1}, {4, 2, ER}, {0, LO, 3}, {1, LO, 4}, {2, LO, ER}}},            // 6 fwUser@host
    {3, {{9, ER, 1}, {1, LO, 2}, {2, LO, ER}}},                                   // 7 user@host fw
    {3, {{10, LO, 1}, {11, LO, 2}, {2, LO, ER}}},                                 // 8 user@fw@host
};



}  // namespace

CFtpLink::CFtpLink() : m_controlReader(m_control.m_socket, kMaxReplyBytes) {}

CFtpLink::~CFtpLink() {
    DiscardActiveListener();
    Close();
}

bool CFtpLink::Channel::Open(const std::string& host, int port, int proxyType,
                             const std::string& user, const std::string& password) {
    if (m_bConnected) return true;
    m_socket.Close();
    if (!m_socket.Create()) return false;
    m_socket.SetTimeoutLength(m_nTimeout);
    const CPRDLDoc* doc = CPRDLDoc::Getthis();
    if (doc && doc->m_bEnable && !doc->m_strFtpHost.empty())
        m_socket.SetProxy(proxyType, doc->m_strFtpHost, doc->m_nFtpPort, user, password,
                          user.empty() ? 0 : 1);
    else
        m_socket.SetProxy(0, "", 0, "", "", 0);
    if (!m_socket.Connect(host.c_str(), static_cast<unsigned int>(port))) {
        m_socket.Close();
        return false;
    }
    m_bConnected = true;
    return true;
}

void CFtpLink::Channel::Shut() {
    if (m_bConnected) {
        m_socket.Close();
        m_bConnected = false;
    }
}

// --- control channel: SOCKS5 through the FTP proxy ---

bool CFtpLink::ConnectControlChannel(const std::string& host, int& port) {
    if (m_control.m_bConnected) return true;
    m_nLastControlProxyError = 0;
    if (!m_control.Open(host, port, kProxySocks5, m_strProxyUser, m_strProxyPassword)) {
        if (m_control.m_socket.IsProxyExisted())
            m_nLastControlProxyError = m_control.m_socket.GetLastProxyError();
        return false;
    }
    m_controlReader.Reset();
    m_control.m_bLost = false;
    if (m_nTls == kTlsImplicit) return SecureControlChannel(host);
    return true;
}

bool CFtpLink::DisconnectControlChannel() {
    m_control.Shut();
    return true;
}

bool CFtpLink::ReadControlChannel(std::string& out, const int& size) {
    if (!m_control.m_bConnected) return false;
    out.clear();
    CVLKSocket& sock = m_control.m_socket;
    const auto failed = [this] {
        const int err = GetLastSocketError();
        const bool quietWait = m_bDirectRead && m_control.m_socket.IsTimeout() &&
                               !m_controlReader.HasBufferedBytes();
        if (err != WSAENOTCONN && err != WSAECONNRESET && !quietWait) DisconnectControlChannel();
        return false;
    };
    if (size != -1) {
        if (size < 2) return false;
        std::string buf(static_cast<std::size_t>(size - 1), '\0');
        const int n = sock.Receive(buf.data(), size - 1);
        if (n < 0) return failed();
        if (n == 0) return false;
        buf.resize(static_cast<std::size_t>(n));
        out = std::move(buf);
        return true;
    }
    // Whole lines from the shared reader, each with its CR LF again.
    std::vector<std::string> lines;
    std::size_t received = 0;
    switch (m_controlReader.ReadLines(lines, received)) {
        case CLineReader::kOk: break;
        case CLineReader::kFailed: return failed();
        case CLineReader::kClosed: return false;
        case CLineReader::kTooLong:
        case CLineReader::kDeadline:
            // A line that never ends: give up on this connection.
            DisconnectControlChannel();
            return false;
    }
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return true;
}

bool CFtpLink::WriteControlChannel(const std::string& line) {
    if (!m_control.m_bConnected) return false;
    TraceLine(m_trace, true, line);
    const int len = static_cast<int>(line.size());
    if (m_control.m_socket.Send(line.data(), len) == len) return true;
    const int err = GetLastSocketError();
    if (err != WSAENOTCONN && err != WSAECONNRESET) DisconnectControlChannel();
    return false;
}

// --- replies ---

bool CFtpLink::ReadString() {
    // A whole reply, however it trickles in, within kReplyDeadlineFactor
    // times the time-out of one receive.
    m_controlReader.SetDeadline(
        CLineReader::Clock::now() +
        std::chrono::seconds(kReplyDeadlineFactor * m_control.m_socket.m_nTimeoutLength));
    struct ClearDeadline {
        CLineReader& reader;
        ~ClearDeadline() { reader.ClearDeadline(); }
    } clear{m_controlReader};
    const std::size_t first = m_arrReplyQueue.size();
    std::size_t replyBytes = 0;
    // What the queue holds already, then each line as it is added.
    std::size_t queued = 0;
    for (const std::string& line : m_arrReplyQueue) queued += Footprint(line);
    const auto readAndSplit = [this, &replyBytes, &queued]() {
        std::string text;
        if (!ReadControlChannel(text, -1)) return false;
        // Once part of a reply came, a time-out ends the connection again.
        m_bDirectRead = false;
        replyBytes += text.size();
        std::size_t start = 0;
        for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            m_arrReplyQueue.emplace_back(text, start, end - start);
            queued += Footprint(m_arrReplyQueue.back());
            TraceLine(m_trace, false, m_arrReplyQueue.back());
        }
        if (replyBytes > kMaxReplyBytes || m_arrReplyQueue.size() > kMaxQueuedLines ||
            queued > kMaxQueuedBytes) {
            DisconnectControlChannel();
            return false;
        }
        return true;
    };
    if (!readAndSplit()) return false;
    if (m_arrReplyQueue.size() <= first) return true;
    // The end line may be anywhere in what came (a server may send the
    // preliminary reply and the completion after it in one piece).
    if (!CodedReply::Opens(m_arrReplyQueue[first])) return true;
    for (std::size_t next = first + 1;; ++next) {
        while (next >= m_arrReplyQueue.size())
            if (!readAndSplit()) return false;
        if (CodedReply::Ends(m_arrReplyQueue[first], m_arrReplyQueue[next])) return true;
    }
}

int CFtpLink::GetLastMsg() {
    m_arrLastMessage.clear();
    if (m_arrReplyQueue.empty()) {
        m_nLastReply = kReplyQueueEmpty;
        return kReplyQueueEmpty;
    }
    const std::size_t last = std::min(CodedReply::LastLine(m_arrReplyQueue, 0), m_arrReplyQueue.size() - 1);
    m_arrLastMessage.assign(m_arrReplyQueue.begin(),
                            m_arrReplyQueue.begin() + static_cast<std::ptrdiff_t>(last + 1));
    // A line without a code counts as code 0: an unknown reply.
    m_nLastReply = std::max(CodedReply::Code(m_arrLastMessage.back()), 0);
    return m_nLastReply;
}

bool CFtpLink::DelLastMsg() {
    if (m_arrLastMessage.size() > m_arrReplyQueue.size()) return false;
    m_arrReplyQueue.erase(m_arrReplyQueue.begin(),
                          m_arrReplyQueue.begin() +
                              static_cast<std::ptrdiff_t>(m_arrLastMessage.size()));
    return true;
}

bool CFtpLink::CheckStatus() {
    GetLastMsg();
    DelLastMsg();
    if (m_nLastReply == 0) {
        m_nLastError = kFtpStatusUnknownReply;
        return false;
    }
    int column = -1;
    for (int i = 0; i < kCommandCount; ++i) {
        if (nStatusList[i] == m_nLastReply) {
            column = i;
            break;
        }
    }
    if (column < 0) {
        m_nLastError = kFtpStatusUnknownReply;
        return false;
    }
    m_nLastError = (m_nCommand >= 0 && m_nCommand < kCommandCount)
                       ? nStatusTable[m_nCommand][column]
                       : 0;
    return m_nLastError == kFtpStatusSuccess || m_nLastError == kFtpStatusMoreNeeded;
}

bool CFtpLink::ReadStringDirectly() {
    CVLKSocket& sock = m_control.m_socket;
    sock.SetTimeoutLength(kDirectReadTimeout);
    m_bDirectRead = true;
    const bool ok = ReadString();
    m_bDirectRead = false;
    sock.SetTimeoutLength(m_control.m_nTimeout);
    return ok;
}

void CFtpLink::ClearAllMsg() {
    m_arrListing.clear();
    m_arrLastMessage.clear();
    m_arrReplyQueue.clear();
    m_nCommand = 0;
    m_nLastReply = 0;
}

bool CFtpLink::SendCommand(const std::string& line) {
    // One command, one line: a CR, LF or NUL inside it (say, from a file
    // name) would let the rest reach the server as a command of its own.
    const std::size_t body = line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0
                                 ? line.size() - 2
                                 : line.size();
    if (text::BreaksLine(std::string_view(line).substr(0, body))) {
        // Nothing was sent: no earlier reply may stand for this command.
        SetLastSocketError(WSAEINVAL);
        m_nLastError = kFtpStatusRefused;
        m_nLastReply = kReplyQueueEmpty;
        m_arrLastMessage.clear();
        return false;
    }
    const int command = m_nCommand;
    if (m_nLoginState == kFtpLoggedOff) {
        if (!ReLogin()) {
            m_nLastError = kFtpStatusConnection;
            return false;
        }
    }
    m_nCommand = command;
    if (text::IsBlankLine(line) || WriteControlChannel(line)) {
        if (ReadString()) return true;
    }
    m_control.m_bLost = true;
    m_nLastError = kFtpStatusConnection;
    Logout();
    return false;
}

// --- connection and logon ---

bool CFtpLink::Open(const std::string& host, int port) {
    m_nCommand = ftp_label::kConnect;
    if (!ConnectControlChannel(host, port)) return false;
    ReadString();
    if (CheckStatus()) return true;
    return m_nLastError == kFtpStatusPreliminary && OpenW();
}

bool CFtpLink::OpenW() {
    m_nCommand = ftp_label::kConnectW;
    // The 220 may have come in the same packet as the 120.
    if (m_arrReplyQueue.empty() && !ReadString()) {
        m_nLastError = kFtpStatusRefused;
        return false;
    }
    return CheckStatus();
}

void CFtpLink::Close() {
    DisconnectControlChannel();
    DisconnectDataChannel();
    m_arrReplyQueue.clear();
    m_arrLastMessage.clear();
    m_arrListing.clear();
}

bool CFtpLink::Login(const std::string& host, int port, const std::string& user,
                     const std::string& password, const std::string& account,
                     const std::string& fwHost, const std::string& fwUser,
                     const std::string& fwPassword, int fwPort, int logonType) {
    m_nLoginState = kFtpLoggingOn;
    m_features.clear();
    m_bFeaturesRead = false;
    m_bMlstFactsChosen = false;
    m_strHost = host;
    m_nPort = port;
    m_strUser = user;
    m_strPassword = password;
    m_strAccount = account;
    m_strFwHost = fwHost;
    m_strFwUser = fwUser;
    m_strFwPassword = fwPassword;
    m_nFwPort = fwPort;
    m_nLogonType = logonType;
    if (logonType < kLogonDirect || logonType >= kLogonTypeCount) {
        m_nLoginState = kFtpLoggedOff;
        return false;
    }
    Close();  // a connection left from an earlier logon would not greet again
    const std::string& connectHost = logonType == kLogonDirect ? host : fwHost;
    const int connectPort = logonType == kLogonDirect ? port : fwPort;
    std::string hostText = host;
    if (port != 21) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ":%d", port);
        hostText += suffix;
    }
    m_strTlsError.clear();
    if (!Open(connectHost, connectPort) ||
        (m_nTls == kTlsExplicit && !NegotiateExplicitTls(connectHost))) {
        Close();
        m_nLoginState = kFtpLoggedOff;
        return false;
    }
    if (!RunLogonSequence(hostText)) {
        // The refusal stays readable (GetLastMessage) after the close.
        std::vector<std::string> refusal = std::move(m_arrLastMessage);
        Close();
        m_arrLastMessage = std::move(refusal);
        m_nLoginState = kFtpLoggedOff;
        return false;
    }
    m_nLoginState = kFtpLoggedOn;
    if (m_control.m_socket.IsTls() && (!UnlistedCommand("PBSZ 0") || !UnlistedCommand("PROT P"))) {
        // Data in clear after a protected logon is not what was asked for.
        m_strTlsError = "the server refused protected data connections: " +
                        (m_arrLastMessage.empty() ? std::string("no reply") : m_arrLastMessage.back());
        Logout();
        return false;
    }
    m_strTransferType.assign(1, 'a');  // (assigning "a" trips a GCC 12 false warning)
    // Names in UTF-8 whatever the server's own code page, where it offers that.
    if (m_bUseUtf8 && Feat() && m_features.count("UTF8")) UnlistedCommand("OPTS UTF8 ON");
    std::string line, dir;
    if (!Pwd(line) || !BetweenQuotes(line, dir)) return false;
    FormatPathStringToNet(dir);
    m_strHomeDir = dir;
    m_strCurrentDir = dir;
    return true;
}

bool CFtpLink::SendLogonStep(int step, const std::string& hostText) {
    switch (step) {
        case 0: return User(m_strUser);
        case 1: return Pass(m_strPassword);
        case 2: return Acct(m_strAccount);
        case 3: return User(m_strFwUser);
        case 4: return Pass(m_strFwPassword);
        case 5: return Site(hostText);
        case 6: return User(m_strUser + "@" + hostText);
        case 7:
            SendCommand("OPEN " + hostText + "\r\n");
            return CheckStatus();
        case 8: return User(m_strFwUser + "@" + hostText);
        case 9: return User(m_strUser + "@" + hostText + " " + m_strFwUser);
        case 10: return User(m_strUser + "@" + m_strFwUser + "@" + hostText);
        case 11: return Pass(m_strPassword + "@" + m_strFwPassword);
        default: return false;
    }
}

bool CFtpLink::RunLogonSequence(const std::string& hostText) {
    const LogonSequence& seq = kLogonSequences[m_nLogonType];
    int pos = 0;
    // Every move goes forward or ends, so a sequence ends within its length.
    for (int guard = 0; guard <= seq.count; ++guard) {
        if (pos < 0 || pos >= seq.count) return false;
        const LogonEntry& entry = seq.entries[pos];
        m_nLastReply = 0;
        SendLogonStep(entry.step, hostText);  // judged by the reply class alone
        const int replyClass = m_nLastReply / 100;
        int next;
        if (replyClass == 2)
            next = entry.on2xx;
        else if (replyClass == 3)
            next = entry.on3xx;
        else
            return false;
        if (next == kStepEnd) return true;
        if (next == kStepRefused) return false;
        pos = next;
    }
    return false;
}

bool CFtpLink::UnlistedCommand(const std::string& line) {
    m_nCommand = -1;
    if (!SendCommand(line + "\r\n")) return false;
    GetLastMsg();
    DelLastMsg();
    return m_nLastReply / 100 == 2;
}

bool CFtpLink::Feat() {
    if (m_bFeaturesRead) return !m_features.empty();
    m_bFeaturesRead = true;
    if (!UnlistedCommand("FEAT") || m_nLastReply != 211) return false;
    // "211-Features:", then one feature per line led by a blank, then "211 End".
    for (std::size_t i = 1; i + 1 < m_arrLastMessage.size() && m_features.size() < kMaxFeatures; ++i) {
        const std::string& line = m_arrLastMessage[i];
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        const std::size_t blank = line.find(' ', start);
        std::string name = text::AsciiUppered(line.substr(start, blank == std::string::npos ? blank : blank - start));
        m_features[std::move(name)] = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    }
    return true;
}

bool CFtpLink::SecureControlChannel(const std::string& host) {
    TlsSettings settings = m_tls;
    if (settings.host.empty()) settings.host = host;
    std::string why;
    if (m_controlReader.StartTls(settings, why) == 1) return true;
    m_strTlsError = why;
    DisconnectControlChannel();
    return false;
}

bool CFtpLink::NegotiateExplicitTls(const std::string& host) {
    if (!UnlistedCommand("AUTH TLS")) {
        const std::string reply = m_arrLastMessage.empty() ? "no reply" : m_arrLastMessage.back();
        if (m_bTlsOptional && m_control.m_bConnected && m_nLastReply / 100 >= 4) return true;
        m_strTlsError = "the server refused AUTH TLS: " + reply;
        return false;
    }
    if (m_nLastReply != 234 || !m_arrReplyQueue.empty()) {
        // Lines after the agreement came in plaintext: they would pass for
        // replies over TLS.
        m_strTlsError = m_nLastReply != 234 ? "the server answered AUTH TLS with " + m_arrLastMessage.back()
                                            : std::string("the server sent more than its answer before the TLS handshake");
        return false;
    }
    return SecureControlChannel(host);
}

bool CFtpLink::ReLogin() {
    if (m_nLoginState == kFtpLoggedOn || m_nLoginState == kFtpLoggingOn) return true;
    return Login(m_strHost, m_nPort, m_strUser, m_strPassword, m_strAccount, m_strFwHost,
                 m_strFwUser, m_strFwPassword, m_nFwPort, m_nLogonType);
}

bool CFtpLink::Logout() {
    if (m_nLoginState == kFtpLoggedOn) {
        // A QUIT that fails marks the connection lost and ends in a nested
        // Logout, which then sends nothing.
        if (!m_control.m_bLost) Quit();
        m_nLoginState = kFtpLoggedOff;
    }
    Close();
    return true;
}

// --- numeric helpers ---

int CFtpLink::GetNumericCount(const std::string& s, int start) {
    int i = start < 0 ? 0 : start;
    const int len = static_cast<int>(s.size());
    while (i < len && std::isdigit(static_cast<unsigned char>(s[static_cast<std::size_t>(i)])))
        ++i;
    return i - start;
}

int CFtpLink::GetFirstNumericPos(const std::string& s, int start) {
    const int len = static_cast<int>(s.size());
    if (start > len) return 0;
    if (start == len) return -1;
    int i = start < 0 ? 0 : start;
    while (i < len && !std::isdigit(static_cast<unsigned char>(s[static_cast<std::size_t>(i)])))
        ++i;
    return i == len ? -1 : i - start;
}

bool CFtpLink::IsNumeric(const std::string& s, int start, int count) {
    const int len = static_cast<int>(s.size());
    const int from = start < 0 ? 0 : start;
    const int end = (count == -1 || count > len - from) ? len : from + count;
    for (int i = from; i < end; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[static_cast<std::size_t>(i)]))) return false;
    return true;
}

}  // namespace velkor
