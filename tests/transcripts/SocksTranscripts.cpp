// CVLKSocket, directly and through SOCKS4 and SOCKS5: every transcript in
// transcripts/socks. The peer is the proxy, or without one the server; its
// lines are bytes (C~, S~).
//
// Calls: Create, SetTimeoutLength N, SetProxy TYPE HOST PORT USER PASSWORD
// AUTH, Connect HOST PORT, Listen ADDR (the proxy's BIND), Accept, Send
// TEXT [LENGTH] (the count sent), Receive N (the bytes, or the count when it is not
// positive), Close, "set m_nLastProxyError N", and "dial-bound TEXT": a
// peer connects to the address of the last Listen (0.0.0.0: the proxy's own
// loopback address), sends TEXT and reads one answer, observed as "dialed".
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "Transcript.h"
#include "platform/LastError.h"
#include "socket/CVLKSocket.h"

namespace velkor::test {
namespace {

std::string Dotted(std::uint32_t networkOrder) {
    in_addr a{};
    a.s_addr = networkOrder;
    return inet_ntoa(a);
}

class SocksClient : public TranscriptClient {
public:
    std::string Call(const std::string& name, const Words& a) override {
        if (name == "Create") return Str(m_sock.Create());
        if (name == "SetTimeoutLength") {
            m_sock.SetTimeoutLength(static_cast<unsigned>(std::stoi(a.at(0))));
            return "";
        }
        if (name == "SetProxy") {
            m_sock.SetProxy(std::stoi(a.at(0)), a.at(1), std::stoi(a.at(2)), a.at(3), a.at(4),
                            std::stoi(a.at(5)));
            return "";
        }
        if (name == "Connect") return Str(m_sock.Connect(a.at(0).c_str(), static_cast<unsigned>(std::stoi(a.at(1)))));
        if (name == "Listen") {
            m_boundPort = -1;
            return Str(m_sock.Listen(inet_addr(a.at(0).c_str()), m_boundAddr, m_boundPort));
        }
        if (name == "Accept") return Str(m_sock.Accept());
        if (name == "Receive") {
            std::string buf(static_cast<std::size_t>(std::stoi(a.at(0))), '\0');
            const int n = m_sock.Receive(buf.data(), static_cast<int>(buf.size()));
            return n > 0 ? buf.substr(0, static_cast<std::size_t>(n)) : Str(n);
        }
        if (name == "Send")
            return Str(m_sock.Send(a.at(0).data(), a.size() > 1 ? std::stoi(a[1]) : static_cast<int>(a.at(0).size())));
        if (name == "dial-bound") {
            const std::uint32_t addr = m_boundAddr ? m_boundAddr : inet_addr("127.0.0.1");
            const auto port = static_cast<std::uint16_t>(m_boundPort);
            m_dialer = std::thread([this, addr, port, text = a.at(0)] {
                const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in sin{};
                sin.sin_family = AF_INET;
                sin.sin_port = port;
                sin.sin_addr.s_addr = addr;
                char buf[256];
                if (::connect(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0 &&
                    ::send(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size())) {
                    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                    if (n > 0) m_dialed.assign(buf, static_cast<std::size_t>(n));
                }
                ::close(fd);
            });
            return "";
        }
        if (name == "Close") {
            m_sock.Close();
            return "";
        }
        if (name == "set" && a.at(0) == "m_nLastProxyError") {
            m_sock.m_nLastProxyError = std::stoi(a.at(1));
            return "";
        }
        throw std::invalid_argument("no call " + name);
    }

    std::string Observe(const std::string& name, const Words&) override {
        if (name == "GetLastProxyError") return Str(m_sock.GetLastProxyError());
        if (name == "dialed") {
            if (m_dialer.joinable()) m_dialer.join();
            return m_dialed;
        }
        if (name == "socket-error") return Str(GetLastSocketError());
        if (name == "IsTimeout") return Str(m_sock.IsTimeout());
        if (name == "IsProxyExisted") return Str(m_sock.IsProxyExisted());
        if (name == "bound") {  // address and port (host order) of the last Listen
            return m_boundPort == 0 ? "0" : Dotted(m_boundAddr) + ":" +
                   Str(ntohs(static_cast<std::uint16_t>(m_boundPort)));
        }
        if (name == "GetProxyPeerName") {
            std::string addr;
            unsigned int port = 0;
            if (m_sock.GetProxyPeerName(addr, port) != 1) return "0";
            sockaddr_storage any{};
            int len = sizeof any;
            std::string addr2;
            unsigned int port2 = 0;
            if (m_sock.GetProxyPeerName(reinterpret_cast<sockaddr*>(&any), &len) != 1 ||
                !FormatSocketAddress(reinterpret_cast<sockaddr*>(&any), addr2, port2) || addr2 != addr ||
                port2 != port)
                return "the two forms differ";
            return addr + ":" + Str(port);
        }
        if (name == "GetPeerName") {
            std::string addr;
            unsigned int port = 0;
            return m_sock.GetPeerName(addr, port) ? addr + ":" + Str(port) : "0";
        }
        if (name == "settings") {
            return m_sock.m_strProxyHost + " " + Str(m_sock.m_nProxyPort) + " " +
                   m_sock.m_strProxyUser + " " + m_sock.m_strProxyPassword + " " +
                   Str(m_sock.m_bProxyAuth);
        }
        throw std::invalid_argument("no observation " + name);
    }

    ~SocksClient() override {
        if (m_dialer.joinable()) m_dialer.join();
    }

private:
    CVLKSocket m_sock;
    std::uint32_t m_boundAddr = 0;
    int m_boundPort = -1;
    std::thread m_dialer;
    std::string m_dialed;
};

const TranscriptFamily kSocks{"socks", "", [](const Vars&) {
                                  return std::unique_ptr<TranscriptClient>(new SocksClient);
                              }};

VELKOR_TRANSCRIPT_SUITE(SocksTranscript, kSocks);

}  // namespace
}  // namespace velkor::test
