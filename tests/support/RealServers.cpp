#include "RealServers.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "ScriptedPeer.h"

namespace velkor::test {

namespace {

constexpr int kServerStartMs = 15000;
constexpr int kLaunchAttempts = 3;

bool HaveCommand(const std::string& check) { return std::system(check.c_str()) == 0; }

std::filesystem::path FreshDir(const std::string& name) {
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path() /
               ("velkor-" + name + "-" + std::to_string(::getpid()) + "-" +
                std::to_string(++counter));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir;
}

void RemoveDir(const std::filesystem::path& dir) {
    if (dir.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace

std::string DanteUnavailable() {
    if (!HaveCommand("test -x /usr/sbin/danted || command -v danted >/dev/null 2>&1"))
        return "danted (Debian dante-server) is not installed";
    return {};
}

std::string FtpServerUnavailable(const std::string& kind) {
    if (kind == "pyftpdlib") {
        if (!HaveCommand("/usr/bin/python3 -c 'import pyftpdlib' >/dev/null 2>&1"))
            return "python3-pyftpdlib is not installed";
    } else if (kind == "proftpd" || kind == "pure-ftpd") {
        if (!HaveCommand("test -x /opt/velkor-peers/usr/sbin/" + kind))
            return kind + " is not unpacked under /opt/velkor-peers (scripts/test does it)";
        if (::geteuid() != 0) return kind + " needs root (system test user)";
    } else if (kind == "tls-cut") {
        if (!HaveCommand("test -x /usr/bin/python3")) return "python3 is not installed";
    } else if (kind == "vsftpd") {
        if (!HaveCommand("test -x /usr/sbin/vsftpd")) return "vsftpd is not installed";
        if (::geteuid() != 0) return "vsftpd needs root (system test user, PAM file)";
    } else {
        return "unknown FTP server " + kind;
    }
    return {};
}

PeerServer::~PeerServer() {
    m_process.Stop();
    RemoveDir(m_dir);
}

void PeerServer::Prepare(const std::string& name) {
    m_dir = FreshDir(name);
    m_port = FreeLoopbackPort();
}

bool PeerServer::MakeCertificates(bool expired) {
    std::vector<std::string> argv = {PeersDir() + "/tls-ca.sh", m_dir.string()};
    if (expired) argv.push_back("expired");
    return RunCommand(argv) == 0;
}

bool PeerServer::Launch(const std::string& script, const std::vector<std::string>& args,
                        unsigned int extraPort) {
    // The free port found may be taken by another test before the server
    // binds it (tests run in parallel): then once more on a fresh port.
    for (int attempt = 0; attempt < kLaunchAttempts; ++attempt) {
        if (attempt > 0) {
            m_process.Stop();
            m_port = FreeLoopbackPort();
        }
        std::vector<std::string> argv = {PeersDir() + "/" + script, std::to_string(m_port)};
        argv.insert(argv.end(), args.begin(), args.end());
        if (m_process.Start(argv) && m_process.WaitForPort(m_port, kServerStartMs) &&
            (extraPort == 0 || m_process.WaitForPort(extraPort, kServerStartMs)))
            return true;
    }
    return false;
}

std::string Ipv6LoopbackUnavailable() {
    const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 sin6{};
    sin6.sin6_family = AF_INET6;
    sin6.sin6_addr = in6addr_loopback;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&sin6), sizeof sin6) == 0;
    if (fd >= 0) ::close(fd);
    return ok ? "" : "this machine has no IPv6 loopback (::1)";
}

std::string NgircdUnavailable() {
    if (!HaveCommand("test -x /usr/sbin/ngircd")) return "ngircd is not installed";
    return {};
}


bool NgircdServer::Start() {
    Prepare("ngircd");
    return Launch("ngircd.sh", {m_dir.string()});
}


bool DanteServer::Start(const std::string& methods, bool ipv6) {
    m_userReady = ::geteuid() == 0 &&
                  RunCommand({PeersDir() + "/ensure-user.sh", TestUser(), TestPassword()}) == 0;
    Prepare("dante");
    return Launch("dante.sh", {m_dir.string(), methods, ipv6 ? "ipv6" : ""});
}


bool FtpServer::Start(const std::string& tls) {
    Prepare(m_kind);
    if (m_kind == "tls-cut") {
        // tls "cut" or "whole": how its downloads of kTlsCutFileBytes end.
        return MakeCertificates() &&
               Launch("ftps-cut.py", {(m_dir / "tls").string(), std::to_string(kTlsCutFileBytes), tls});
    }
    std::vector<std::string> tlsArgs;
    if (tls == "ipv6") {
        tlsArgs = {tls};
    } else if (!tls.empty()) {
        if (!MakeCertificates()) return false;
        tlsArgs = {tls, (m_dir / "tls").string()};
    }
    const auto with = [&tlsArgs](std::vector<std::string> args) {
        args.insert(args.end(), tlsArgs.begin(), tlsArgs.end());
        return args;
    };
    std::filesystem::create_directories(Root());
    if (m_kind != "pyftpdlib" &&
        RunCommand({PeersDir() + "/ensure-user.sh", TestUser(), TestPassword()}) != 0)
        return false;
    if (m_kind == "vsftpd" || m_kind == "proftpd")
        return Launch(m_kind + ".sh", with({Root().string(), TestUser(), (m_dir / "conf").string()}));
    if (m_kind == "pure-ftpd")
        return Launch("pure-ftpd.sh",
                      with({Root().string(), TestUser(), TestPassword(), (m_dir / "conf").string()}));
    return Launch("pyftpdlib.sh", {Root().string(), TestUser(), TestPassword(),
                                   (m_dir / "pyftpdlib.log").string(), tls == "ipv6" ? "::1" : "127.0.0.1"});
}

void FtpServer::GiveToServer(const std::filesystem::path& path) const {
    if (m_kind != "pyftpdlib") RunCommand({"chown", "-R", TestUser(), path.string()});
}

std::string AiosmtpdUnavailable() {
    if (!HaveCommand("/usr/bin/python3 -c 'import aiosmtpd' >/dev/null 2>&1"))
        return "python3-aiosmtpd is not installed";
    return {};
}

std::string DovecotUnavailable() {
    if (!HaveCommand("test -x /usr/sbin/dovecot")) return "dovecot-pop3d is not installed";
    if (::geteuid() != 0) return "dovecot needs root (it runs the mailbox as nobody)";
    return {};
}


bool SmtpServer::Start(const std::string& tls, bool expired) {
    Prepare("aiosmtpd");
    if (tls.empty()) return Launch("aiosmtpd.sh", {Dir().string()});
    return MakeCertificates(expired) && Launch("aiosmtpd.sh", {Dir().string(), tls, (m_dir / "tls").string()});
}

std::string SmtpServer::Stored(int n, std::string* envelope) const {
    char name[16];
    std::snprintf(name, sizeof name, "%04d", n);
    const auto json = Dir() / (std::string(name) + ".json");
    for (int waited = 0; !std::filesystem::exists(json) && waited < 10000; waited += 20)
        ::usleep(20 * 1000);
    const auto read = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    if (envelope) *envelope = read(json);
    return read(Dir() / (std::string(name) + ".eml"));
}


bool Pop3Server::Start(bool tls) {
    Prepare("dovecot");
    if (!tls) return Launch("dovecot.sh", {m_dir.string(), TestUser(), TestPassword()});
    m_tlsPort = FreeLoopbackPort();
    if (!MakeCertificates()) return false;
    // Dovecot's login processes read the key as root before dropping rights.
    return Launch("dovecot.sh", {m_dir.string(), TestUser(), TestPassword(), std::to_string(m_tlsPort)}, m_tlsPort);
}

void Pop3Server::Deliver(const std::string& name, const std::string& bytes) const {
    const auto tmp = Maildir() / "tmp" / name;
    {
        std::ofstream out(tmp, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    RunCommand({"chown", "nobody:", tmp.string()});
    std::filesystem::rename(tmp, Maildir() / "new" / name);
}

std::string NginxUnavailable() {
    if (!HaveCommand("test -x /usr/sbin/nginx")) return "nginx is not installed";
    if (!HaveCommand("command -v openssl >/dev/null 2>&1")) return "openssl is not installed";
    return {};
}

std::string TinyproxyUnavailable() {
    if (!HaveCommand("test -x /usr/bin/tinyproxy")) return "tinyproxy is not installed";
    return {};
}


bool NginxServer::Start(bool ipv6) {
    Prepare("nginx");
    m_tlsPort = FreeLoopbackPort();
    if (!MakeCertificates()) return false;
    return Launch("nginx.sh", {m_dir.string(), std::to_string(m_tlsPort), ipv6 ? "ipv6" : ""}, m_tlsPort);
}


bool TinyproxyServer::Start() {
    Prepare("tinyproxy");
    return Launch("tinyproxy.sh", {m_dir.string()});
}

}  // namespace velkor::test
