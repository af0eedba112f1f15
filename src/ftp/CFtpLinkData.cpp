// CFtpLink: the data channel (passive, active, extended) and listings.
#include "ftp/CFtpLink.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "ftp/FtpLabels.h"
#include "platform/LastError.h"
#include "platform/Text.h"

namespace velkor {

namespace {

// A decimal number 0-255 with optional blanks around it.
bool ParseByte(const std::string& text, int& value) {
    std::size_t i = 0, end = text.size();
    while (i < end && text[i] == ' ') ++i;
    while (end > i && text[end - 1] == ' ') --end;
    if (i == end || end - i > 3) return false;
    value = 0;
    for (; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        value = value * 10 + (text[i] - '0');
    }
    return value <= 255;
}

// The protocol numbers of a 522 reply: "(1,2)".
std::vector<std::string> ProtocolList(const std::vector<std::string>& reply) {
    std::vector<std::string> out;
    if (reply.empty()) return out;
    const std::string& line = reply.front();
    const std::size_t open = line.find('('), close = line.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return out;
    const std::string list = line.substr(open + 1, close - open - 1);
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string item = list.substr(start, comma - start);
        item.erase(std::remove(item.begin(), item.end(), ' '), item.end());
        if (!item.empty()) out.push_back(item);
        start = comma + 1;
    }
    return out;
}

}  // namespace

// The data channel goes through the FTP proxy with SOCKS4; when the proxy
// refuses that, once more with SOCKS5 (with the proxy credentials).
bool CFtpLink::ConnectDataChannel(const std::string& host, int& port) {
    m_nLastDataProxyError = 0;
    if (m_data.Open(host, port, kProxySocks4, m_strProxyUser)) return true;
    if (!m_data.m_socket.IsProxyExisted()) return false;
    m_nLastDataProxyError = m_data.m_socket.GetLastProxyError();
    if (m_data.Open(host, port, kProxySocks5, m_strProxyUser, m_strProxyPassword)) {
        m_nLastDataProxyError = 0;
        return true;
    }
    m_nLastDataProxyError = m_data.m_socket.GetLastProxyError();
    return false;
}

bool CFtpLink::DisconnectDataChannel() {
    if (m_data.m_bConnected) m_control.m_socket.KeepNewerTlsSessionOf(m_data.m_socket);
    m_data.Shut();
    return true;
}

int CFtpLink::ReadDataChannel(char* buffer, const int& size) {
    if (!m_data.m_bConnected) return -1;
    return m_data.m_socket.Receive(buffer, size);
}

bool CFtpLink::WriteDataChannel(char* buffer, int& size) {
    if (!m_data.m_bConnected) return false;
    return m_data.m_socket.Send(buffer, size) == size;
}

bool CFtpLink::ParsePassiveReply(const std::string& line, std::string& host, int& port) {
    const std::size_t open = line.find('('), close = line.find(')');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    const std::string inner = line.substr(open + 1, close - open - 1);
    // h1,h2,h3,h4,p1,p2: six numbers 0-255.
    int numbers[6];
    std::size_t start = 0;
    for (int i = 0; i < 6; ++i) {
        const std::size_t comma = i < 5 ? inner.find(',', start) : inner.size();
        if (comma == std::string::npos) return false;
        if (!ParseByte(inner.substr(start, comma - start), numbers[i])) return false;
        start = comma + 1;
    }
    port = numbers[4] * 256 + numbers[5];
    if (port == 0) return false;
    host = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
           std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
    return true;
}

bool CFtpLink::ControlPeerAddress(std::string& address) const {
    if (!m_control.m_bConnected) return false;
    unsigned int port = 0;
    const CVLKSocket& sock = m_control.m_socket;
    // Through a proxy the server is the proxy's target, not the proxy.
    return sock.IsProxyExisted() ? sock.GetProxyPeerName(address, port) != 0
                                 : sock.GetPeerName(address, port);
}

bool CFtpLink::ParseExtendedPassiveReply(const std::string& line, int& port) {
    // "(|||port|)": any printable delimiter, the first two fields empty.
    const std::size_t open = line.find('(');
    if (open == std::string::npos || open + 5 >= line.size()) return false;
    const char d = line[open + 1];
    if (d < 33 || d > 126 || line[open + 2] != d || line[open + 3] != d) return false;
    const std::size_t end = line.find(d, open + 4);
    if (end == std::string::npos || end == open + 4 || end - open - 4 > 5) return false;
    port = 0;
    for (std::size_t i = open + 4; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
        port = port * 10 + (line[i] - '0');
    }
    return port >= 1 && port <= 65535;
}

bool CFtpLink::ServerIsIPv6() const {
    std::string server;
    return ControlPeerAddress(server) && server.find(':') != std::string::npos;
}

bool CFtpLink::SetupPassiveDataChannel() {
    std::string host;
    int port = 0;
    if (ServerIsIPv6()) {
        // PASV cannot name an IPv6 address: EPSV names the port only, on the
        // control connection's peer.
        if (!Epsv() || m_arrLastMessage.empty() ||
            !ParseExtendedPassiveReply(m_arrLastMessage.front(), port) || !ControlPeerAddress(host))
            return false;
        return ConnectDataChannel(host, port);
    }
    if (!Pasv()) return false;
    if (m_arrLastMessage.empty() || !ParsePassiveReply(m_arrLastMessage.front(), host, port))
        return false;
    if (m_bPassiveUsesControlPeer && !ControlPeerAddress(host)) return false;
    return ConnectDataChannel(host, port);
}

bool CFtpLink::SetupActiveDataChannel() {
    DiscardActiveListener();
    std::string address;
    unsigned int controlPort = 0;
    if (!m_control.m_bConnected || !m_control.m_socket.GetSockName(address, controlPort))
        return false;
    // Listen on the address the server reaches us at (the one PORT names).
    auto listener = std::make_unique<CSocket>();
    std::string ignored;
    unsigned int port = 0;
    if (!listener->Create(0, SOCK_STREAM, FD_ALL_EVENTS, address.c_str()) ||
        !listener->Listen(5) || !listener->GetSockName(ignored, port)) {
        return false;
    }
    m_pDataListener = std::move(listener);
    if (address.find(':') != std::string::npos) {
        // IPv6: PORT cannot carry the address, EPRT |2|address|port| does.
        if (!Eprt("|2|" + address + "|" + std::to_string(port) + "|")) {
            DiscardActiveListener();
            return false;
        }
        return true;
    }
    std::replace(address.begin(), address.end(), '.', ',');
    address += "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    if (!Port(address)) {
        DiscardActiveListener();
        return false;
    }
    return true;
}

bool CFtpLink::AcceptActiveDataChannel() {
    if (!m_pDataListener) return false;
    DisconnectDataChannel();
    CVLKSocket& sock = m_data.m_socket;
    std::string server;
    const bool serverKnown = ControlPeerAddress(server);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(m_data.m_nTimeout);
    bool ok = false;
    for (;;) {
        sock.Close();
        const auto left = std::chrono::ceil<std::chrono::seconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !m_pDataListener->AcceptWithin(sock, static_cast<unsigned int>(left)))
            break;
        std::string peer;
        unsigned int peerPort = 0;
        if (!serverKnown || (sock.GetPeerName(peer, peerPort) && peer == server)) {
            ok = true;
            break;
        }
        // Another host came first: its bytes are not the server's data.
    }
    if (!ok) sock.Close();
    DiscardActiveListener();
    if (!ok) return false;
    sock.SetTimeoutLength(m_data.m_nTimeout);
    m_data.m_bConnected = true;
    return true;
}

bool CFtpLink::ReadyDataChannel(bool active) {
    if (active && !AcceptActiveDataChannel()) return false;
    if (!m_control.m_socket.IsTls() || !m_data.m_bConnected) return true;
    TlsSettings settings = m_tls;
    if (settings.host.empty()) settings.host = m_nLogonType == 0 ? m_strHost : m_strFwHost;
    if (m_data.m_socket.StartTls(settings, &m_control.m_socket) == 1) return true;
    m_strTlsError = "the data connection's TLS failed: " + m_data.m_socket.TlsError();
    DisconnectDataChannel();
    return false;
}

void CFtpLink::DiscardActiveListener() { m_pDataListener.reset(); }

bool CFtpLink::List(const std::string& path) {
    // MLSD when asked for and offered; its replies are judged as LIST's.
    const bool mlsd = m_bUseMlsd && Feat() && m_features.count("MLST") != 0;
    const char* verb = mlsd ? "MLSD" : "LIST";
    if (mlsd && !m_bMlstFactsChosen) {
        m_bMlstFactsChosen = true;
        // "type*;size*;modify*;unix.mode;": the starred facts are sent.
        const std::string offered = m_features["MLST"];
        std::string chosen;
        bool modeOff = false;
        for (std::size_t at = 0; at < offered.size();) {
            const std::size_t end = std::min(offered.find(';', at), offered.size());
            std::string fact = offered.substr(at, end - at);
            at = end + 1;
            const bool on = !fact.empty() && fact.back() == '*';
            if (on) fact.pop_back();
            const bool mode = text::AsciiUppered(fact) == "UNIX.MODE";
            if (mode && !on) modeOff = true;
            if ((on || mode) && !fact.empty() && fact.find_first_of(" \r\n") == std::string::npos)
                chosen += fact + ";";
        }
        if (modeOff) UnlistedCommand("OPTS MLST " + chosen);
    }
    // Some servers split the LIST argument at blanks (Pure-FTPd): a
    // directory whose path holds one is listed from inside it, as curl
    // does; a file's path (CWD fails) is listed as it is.
    const std::string listed = path.find(' ') != std::string::npos && Cwd(path) ? std::string() : path;
    if (ReadListing(listed, verb, ftp_label::kList, true)) return true;
    // MLSD lists directories only: a file (501, 550) is listed by LIST.
    if (!mlsd || !m_control.m_bConnected || m_nLastReply / 100 != 5) return false;
    return ReadListing(listed, "LIST", ftp_label::kList, true);
}

bool CFtpLink::Nlst(const std::string& path) { return ReadListing(path, "NLST", ftp_label::kNlst, false); }

bool CFtpLink::ReadListing(const std::string& path, const char* verb, int command, bool ascii) {
    std::string netPath = path;
    FormatPathStringToNet(netPath);
    if (ascii && !Type("A")) return false;
    const bool active = m_bListingsActive;
    if (!(active ? SetupActiveDataChannel() : SetupPassiveDataChannel())) return false;
    const auto abandon = [this] {
        DisconnectDataChannel();
        DiscardActiveListener();
        return false;
    };
    m_nCommand = command;
    const std::string line =
        netPath.empty() ? std::string(verb) + "\r\n" : std::string(verb) + " " + netPath + "\r\n";
    if (!SendCommand(line)) return abandon();
    if (!CheckStatus() && m_nLastError != kFtpStatusPreliminary) return abandon();
    m_nCommand = ftp_label::CompletionOf(command);
    if (!ReadyDataChannel(active)) {
        // The server reports the failed data connection: that reply is this
        // command's, not the next one's.
        if (m_arrReplyQueue.empty()) ReadString();
        CheckStatus();
        return abandon();
    }
    m_arrListing.clear();
    m_bListingIsMlsd = std::strcmp(verb, "MLSD") == 0;

    // Every CR or LF ends a line; empty lines add nothing; '/' becomes '\'.
    std::string pending;
    char block[4096];
    std::size_t listingBytes = 0;
    bool ended = false, tooLong = false;
    for (;;) {
        const int n = ReadDataChannel(block, static_cast<int>(sizeof block));
        if (n == 0) {
            ended = true;
            break;
        }
        if (n < 0) break;
        const char* p = block;
        const char* end = block + n;
        while (p < end) {
            const char* stop = p;
            while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
            const std::size_t old = pending.size();
            pending.append(p, static_cast<std::size_t>(stop - p));
            std::replace(pending.begin() + static_cast<std::ptrdiff_t>(old), pending.end(), '/',
                         '\\');
            if (stop == end) break;
            if (!pending.empty()) {
                listingBytes += Footprint(pending);
                m_arrListing.push_back(std::move(pending));
                pending.clear();
            }
            p = stop + 1;
        }
        if (pending.size() > kMaxListingLineBytes || listingBytes > kMaxListingBytes) {
            tooLong = true;
            break;
        }
    }
    DisconnectDataChannel();
    if (tooLong) {
        // A line or a listing without end: nothing of it is kept, and the
        // connection is dropped like after any failed read.
        std::vector<std::string>().swap(m_arrListing);
        m_control.m_bLost = true;
        Logout();
        m_nLastError = kFtpStatusConnection;
        return false;
    }
    if (m_arrReplyQueue.empty()) ReadStringDirectly();
    if (!m_arrReplyQueue.empty()) {
        const bool judged = CheckStatus();
        return ended && judged;
    }
    return ended;
}

bool CFtpLink::ExtendedCommand(const std::string& verb, std::string argument,
                               bool replaceProtocol) {
    std::string line = argument.empty() ? verb : verb + " " + argument;
    if (!SendCommand(line + "\r\n")) return false;
    GetLastMsg();
    DelLastMsg();
    if (m_nLastReply / 100 == 2) return true;
    if (m_nLastReply != 522) return false;
    const std::vector<std::string> protocols = ProtocolList(m_arrLastMessage);
    int tries = 0;
    for (const std::string& protocol : protocols) {
        if (++tries > kMaxExtendedRetries) break;
        if (replaceProtocol) {
            if (argument.size() < 2) return false;
            argument.replace(1, 1, protocol);
            line = verb + " " + argument;
        } else {
            line = verb + " " + protocol;
        }
        if (!SendCommand(line + "\r\n")) return false;
        GetLastMsg();
        DelLastMsg();
        if (m_nLastReply / 100 == 2) return true;
        if (m_nLastReply != 522) return false;
    }
    return false;
}

bool CFtpLink::Eprt(const std::string& argument) { return ExtendedCommand("EPRT", argument, true); }

bool CFtpLink::Epsv() { return ExtendedCommand("EPSV", "", false); }

}  // namespace velkor
