// A minimal SMTP sink for the transfer benchmark: answers every command,
// reads DATA up to its terminator and discards it. One connection at a
// time; large reads, so the sink is never the bottleneck. With a
// certificate and key it offers STARTTLS and speaks TLS after it.
//   smtp_sink PORT [CERT KEY]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <openssl/ssl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

SSL_CTX* g_tls = nullptr;  // set when STARTTLS is offered
SSL* g_session = nullptr;  // the connection's TLS after STARTTLS

bool WriteAll(int fd, const char* text) {
    const std::size_t n = std::strlen(text);
    if (g_session) return SSL_write(g_session, text, static_cast<int>(n)) == static_cast<int>(n);
    return ::send(fd, text, n, MSG_NOSIGNAL) == static_cast<ssize_t>(n);
}

ssize_t ReadSome(int fd, char* into, std::size_t size) {
    if (g_session) return SSL_read(g_session, into, static_cast<int>(size));
    return ::recv(fd, into, size, 0);
}

void Serve(int fd) {
    std::string buffer;
    static char chunk[1 << 18];
    bool inData = false;
    WriteAll(fd, "220 sink ready\r\n");
    for (;;) {
        const ssize_t n = ReadSome(fd, chunk, sizeof chunk);
        if (n <= 0) return;
        buffer.append(chunk, static_cast<std::size_t>(n));
        for (;;) {
            if (inData) {
                const std::size_t end = buffer.find("\r\n.\r\n");
                if (end == std::string::npos) {
                    // Keep only what may begin the terminator.
                    if (buffer.size() > 4) buffer.erase(0, buffer.size() - 4);
                    break;
                }
                buffer.erase(0, end + 5);
                inData = false;
                WriteAll(fd, "250 discarded\r\n");
                continue;
            }
            const std::size_t eol = buffer.find("\r\n");
            if (eol == std::string::npos) break;
            const std::string line = buffer.substr(0, eol);
            buffer.erase(0, eol + 2);
            if (line.rfind("EHLO", 0) == 0 || line.rfind("ehlo", 0) == 0) {
                WriteAll(fd, g_tls && !g_session ? "250-sink\r\n250-STARTTLS\r\n250 8BITMIME\r\n"
                                                 : "250-sink\r\n250 8BITMIME\r\n");
            } else if (g_tls && !g_session && (line == "STARTTLS" || line == "starttls")) {
                WriteAll(fd, "220 go ahead\r\n");
                g_session = SSL_new(g_tls);
                SSL_set_fd(g_session, fd);
                if (SSL_accept(g_session) != 1) return;
                buffer.clear();
            } else if (line == "DATA" || line == "data") {
                WriteAll(fd, "354 go on\r\n");
                inData = true;
                buffer.insert(0, "\r\n");  // the data may end at once with ".\r\n"
            } else if (line == "QUIT" || line == "quit") {
                WriteAll(fd, "221 bye\r\n");
                return;
            } else {
                WriteAll(fd, "250 ok\r\n");
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) return 2;
    if (argc == 4) {
        g_tls = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_file(g_tls, argv[2], SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(g_tls, argv[3], SSL_FILETYPE_PEM) != 1)
            return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("smtp_sink");
        return 1;
    }
    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        Serve(fd);
        if (g_session) {
            SSL_free(g_session);
            g_session = nullptr;
        }
        ::close(fd);
    }
}
