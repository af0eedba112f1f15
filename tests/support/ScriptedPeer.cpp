#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace velkor::test {

namespace {
// Longer than the client's own 5-second wait for a reply that may not come.
constexpr int kPeerReadTimeoutMs = 8000;

bool WaitReadable(int fd, int timeoutMs) {
    pollfd pfd{fd, POLLIN, 0};
    return ::poll(&pfd, 1, timeoutMs) > 0;
}
}  // namespace

std::string PeerConnection::Read(std::size_t n) {
    std::string out = m_buffered.substr(0, n);
    m_buffered.erase(0, out.size());
    while (out.size() < n) {
        if (!WaitReadable(m_fd, kPeerReadTimeoutMs)) break;
        char buf[4096];
        const ssize_t got = ::recv(m_fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

std::string PeerConnection::ReadLine() {
    for (;;) {
        const std::size_t eol = m_buffered.find("\r\n");
        if (eol != std::string::npos) {
            std::string line = m_buffered.substr(0, eol);
            m_buffered.erase(0, eol + 2);
            return line;
        }
        if (!WaitReadable(m_fd, kPeerReadTimeoutMs)) return {};
        char buf[4096];
        const ssize_t got = ::recv(m_fd, buf, sizeof buf, 0);
        if (got <= 0) return {};
        m_buffered.append(buf, static_cast<std::size_t>(got));
    }
}

std::string PeerConnection::ReadSome(std::size_t max) {
    std::string out(max, '\0');
    if (!WaitReadable(m_fd, kPeerReadTimeoutMs)) return {};
    const ssize_t got = ::recv(m_fd, out.data(), max, 0);
    out.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return out;
}

std::string PeerConnection::ReadToEnd() {
    std::string out;
    for (;;) {
        if (!WaitReadable(m_fd, kPeerReadTimeoutMs)) break;
        char buf[65536];
        const ssize_t got = ::recv(m_fd, buf, sizeof buf, 0);
        if (got <= 0) break;
        out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
}

bool PeerConnection::Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void PeerConnection::Reset() {
    linger l{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(m_fd);
    m_fd = -1;
}

void PeerConnection::SetReceiveBufferSize(int bytes) {
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

ScriptedPeer::ScriptedPeer(Script script, int connections) {
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    if (m_listenFd < 0 || ::bind(m_listenFd, reinterpret_cast<sockaddr*>(&sin), len) != 0 ||
        ::listen(m_listenFd, 8) != 0 ||
        ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&sin), &len) != 0) {
        throw std::runtime_error("scripted peer cannot listen");
    }
    m_port = ntohs(sin.sin_port);
    m_thread = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections && !m_stop; ++i) {
            // Wake up now and then so that the destructor can stop us.
            while (!m_stop && !WaitReadable(m_listenFd, 100)) {
            }
            if (m_stop) break;
            const int fd = ::accept(m_listenFd, nullptr, nullptr);
            if (fd < 0) break;
            ++m_accepted;
            PeerConnection conn(fd);
            script(conn);
            if (conn.Fd() >= 0) ::close(conn.Fd());
        }
        // No more scripts: later connection attempts are refused at once
        // instead of waiting in the backlog for a greeting.
        ::shutdown(m_listenFd, SHUT_RDWR);
    });
}

void ScriptedPeer::Join() {
    if (m_thread.joinable()) m_thread.join();
}

ScriptedPeer::~ScriptedPeer() {
    m_stop = true;
    Join();
    if (m_listenFd >= 0) ::close(m_listenFd);
}

unsigned int FreeLoopbackPort() {
    // Free on 127.0.0.1 and on ::1 (where there is one), for servers that
    // listen on either.
    unsigned int port = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sin;
        ::bind(fd, reinterpret_cast<sockaddr*>(&sin), len);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
        port = ntohs(sin.sin_port);
        const int fd6 = ::socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 sin6{};
        sin6.sin6_family = AF_INET6;
        sin6.sin6_addr = in6addr_loopback;
        sin6.sin6_port = sin.sin_port;
        const bool free6 = fd6 < 0 || ::bind(fd6, reinterpret_cast<sockaddr*>(&sin6), sizeof sin6) == 0 ||
                           errno == EADDRNOTAVAIL;
        if (fd6 >= 0) ::close(fd6);
        ::close(fd);
        if (free6) break;
    }
    return port;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

}  // namespace velkor::test
