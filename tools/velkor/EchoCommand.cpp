// velkor echo: a small echo server on the library's socket (Listen/Accept).
#include <cstdio>

#include "Commands.h"
#include "platform/LastError.h"
#include "socket/CVLKSocket.h"

namespace velkor::tool {

namespace {

struct EchoOptions {
    std::string address = "127.0.0.1";
    unsigned int port = 0;
    int connections = 1;
};

int RunEcho(const EchoOptions& o) {
    for (int served = 0; served < o.connections; ++served) {
        CVLKSocket sock;
        if (!sock.Create(o.port, SOCK_STREAM, FD_ALL_EVENTS, o.address.c_str()) ||
            !sock.Listen()) {
            std::fprintf(stderr, "velkor echo: cannot listen on %s:%u (%d)\n", o.address.c_str(),
                         o.port, GetLastSocketError());
            return kExitConnect;
        }
        if (served == 0) {
            std::string addr;
            unsigned int port = 0;
            sock.GetSockName(addr, port);
            std::printf("echo server listening on %s:%u\n", addr.c_str(), port);
            std::fflush(stdout);
        }
        if (!sock.Accept()) {
            std::fprintf(stderr, "velkor echo: accept failed (%d)\n", GetLastSocketError());
            return kExitConnect;
        }
        sock.SetTimeoutLength(60);
        char buf[4096];
        for (int n; (n = sock.Receive(buf, sizeof buf)) > 0;) {
            if (sock.Send(buf, n) != n) break;
        }
    }
    return kExitOk;
}

}  // namespace

void AddEchoCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<EchoOptions>();
    CLI::App* cmd = app.add_subcommand("echo", "Serve connections that echo what they receive");
    cmd->add_option("--address", opts->address, "Local address to listen on");
    cmd->add_option("--port", opts->port, "Port to listen on")->required()
        ->check(CLI::Range(1u, 65535u));
    cmd->add_option("--connections", opts->connections, "How many connections to serve")
        ->check(CLI::Range(1, 1000000));
    cmd->callback([opts, &exitCode] { exitCode = RunEcho(*opts); });
}

}  // namespace velkor::tool
