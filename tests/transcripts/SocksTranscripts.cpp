// SOCKS4 and SOCKS5 handshakes of CVLKSocket: every transcript in
// transcripts/socks. The peer is the proxy; its lines are bytes (C~, S~).
//
// Calls: Create, SetTimeoutLength N, SetProxy TYPE HOST PORT USER PASSWORD
// AUTH, Connect HOST PORT, Listen ADDR (the proxy's BIND), Accept, Receive
// N (the bytes, or the count when it is not positive), Close, and
// "set m_nLastProxyError N".
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <stdexcept>

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

private:
    CVLKSocket m_sock;
    std::uint32_t m_boundAddr = 0;
    int m_boundPort = -1;
};

const TranscriptFamily kSocks{"socks", "", [](const Vars&) {
                                  return std::unique_ptr<TranscriptClient>(new SocksClient);
                              }};

VELKOR_TRANSCRIPT_SUITE(SocksTranscript, kSocks);

}  // namespace
}  // namespace velkor::test
