// Listens on loopback, connects to itself and exchanges a line, using only the
// installed headers and library.
#include <velkor/velkor.h>
#include <velkor/ftp/CFtp.h>

#include <cstdio>
#include <string>

int main() {
    velkor::CVLKSocket listener, client;
    if (!listener.Create(0, SOCK_STREAM, velkor::FD_ALL_EVENTS, "127.0.0.1") ||
        !listener.Listen()) {
        std::fprintf(stderr, "listen failed: %d\n", velkor::GetLastSocketError());
        return 1;
    }
    std::string addr;
    unsigned int port = 0;
    listener.GetSockName(addr, port);
    client.Create();
    client.SetTimeoutLength(5);
    if (!client.Connect(addr.c_str(), port) || !listener.Accept()) {
        std::fprintf(stderr, "connect failed: %d\n", velkor::GetLastSocketError());
        return 1;
    }
    client.Send("ping", 4);
    char buf[8] = {};
    const int n = listener.Receive(buf, sizeof buf);
    std::printf("consumer received %d bytes: %.*s\n", n, n, buf);
    // A single public header works on its own too.
    std::printf("status 7: %s\n", velkor::FtpStatusText(velkor::kFtpStatusConnection));
    return n == 4 && std::string(buf, 4) == "ping" ? 0 : 1;
}
