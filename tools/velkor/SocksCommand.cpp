// velkor socks: a round trip to a server through a SOCKS proxy.
#include <cstdio>
#include <string>

#include "Commands.h"
#include "Endpoint.h"
#include "platform/LastError.h"
#include "socket/CVLKSocket.h"

namespace velkor::tool {

namespace {

struct SocksOptions {
    std::string proxy;
    std::string target;
    std::string user;
    std::string password;
    std::string message = "hello through the proxy";
    bool socks4 = false;
    unsigned int timeout = 10;
};

int RunSocks(const SocksOptions& o) {
    Endpoint proxy, target;
    if (!ParseEndpoint(o.proxy, proxy) || !ParseEndpoint(o.target, target)) {
        std::fprintf(stderr, "velkor socks: endpoints are host:port\n");
        return kExitUsage;
    }
    CVLKSocket sock;
    if (!sock.Create()) {
        std::fprintf(stderr, "velkor socks: cannot create a socket (%d)\n", GetLastSocketError());
        return kExitConnect;
    }
    sock.SetTimeoutLength(o.timeout);
    const bool auth = !o.user.empty();
    sock.SetProxy(o.socks4 ? kProxySocks4 : kProxySocks5, proxy.host, static_cast<int>(proxy.port), o.user,
                  o.password, auth ? 1 : 0);
    std::printf("connecting to %s:%u through SOCKS%d proxy %s:%u%s\n", target.host.c_str(),
                target.port, o.socks4 ? 4 : 5, proxy.host.c_str(), proxy.port,
                auth ? " with user/password" : "");
    if (!sock.Connect(target.host.c_str(), target.port)) {
        const int code = sock.GetLastProxyError();
        const int err = GetLastSocketError();
        std::fprintf(stderr,
                     "velkor socks: connect failed: %s (proxy error %d; socket error %d: %s)\n",
                     ProxyErrorText(code), code, err, SocketErrorText(err).c_str());
        return code == kProxyConnectFailed || code == 0 ? kExitConnect : kExitProxy;
    }
    std::string peer;
    unsigned int peerPort = 0;
    sock.GetProxyPeerName(peer, peerPort);
    std::printf("connected; peer as seen through the proxy: %s:%u\n", peer.c_str(), peerPort);

    const int len = static_cast<int>(o.message.size());
    if (sock.Send(o.message.data(), len) != len) {
        std::fprintf(stderr, "velkor socks: send failed (%d)\n", GetLastSocketError());
        return kExitTransfer;
    }
    std::printf("sent     %d bytes: %s\n", len, o.message.c_str());
    std::string reply;
    char buf[4096];
    while (reply.size() < o.message.size()) {
        const int n = sock.Receive(buf, sizeof buf);
        if (n <= 0) break;
        reply.append(buf, static_cast<std::size_t>(n));
    }
    std::printf("received %zu bytes: %s\n", reply.size(), reply.c_str());
    if (reply != o.message) {
        std::fprintf(stderr, "velkor socks: the reply differs from what was sent\n");
        return kExitTransfer;
    }
    std::printf("round trip OK\n");
    return kExitOk;
}

}  // namespace

void AddSocksCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<SocksOptions>();
    CLI::App* cmd = app.add_subcommand("socks", "Send a message through a SOCKS proxy to an "
                                                "echo server and check the reply");
    cmd->add_option("--proxy", opts->proxy, "Proxy as host:port")->required();
    cmd->add_option("--to", opts->target, "Target as host:port")->required();
    cmd->add_flag("--socks4", opts->socks4, "Use SOCKS4 instead of SOCKS5");
    cmd->add_option("--user", opts->user, "SOCKS5 user name (enables user/password)");
    cmd->add_option("--password", opts->password, "SOCKS5 password");
    cmd->add_option("--message", opts->message, "Text to send");
    cmd->add_option("--timeout", opts->timeout, "Time-out of each receive/send in seconds")
        ->check(CLI::Range(1u, 3600u));
    cmd->callback([opts, &exitCode] { exitCode = RunSocks(*opts); });
}

}  // namespace velkor::tool
