// Real servers from Debian packages, started by the tests on loopback with
// private configs under a temp directory, and stopped by PID.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "PeerProcess.h"

namespace velkor::test {

// Why a real server cannot run here (empty when it can): the package is
// missing, or the test does not run as root where the server needs it.
std::string DanteUnavailable();
std::string FtpServerUnavailable(const std::string& kind);
std::string NgircdUnavailable();
std::string AiosmtpdUnavailable();
std::string DovecotUnavailable();
std::string NginxUnavailable();
std::string TinyproxyUnavailable();

// A server run from a tests/peers script in a fresh directory on a free
// loopback port; the destructor stops it by PID and removes the directory.
class PeerServer {
public:
    PeerServer() = default;
    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;
    virtual ~PeerServer();
    unsigned int Port() const { return m_port; }
    // The private CA of a server started with TLS (see tests/peers/tls-ca.sh).
    std::filesystem::path CaFile() const { return m_dir / "tls" / "ca.crt"; }

protected:
    // Makes the private CA and the server's certificate for 127.0.0.1
    // (expired: one that ran out in 2020).
    bool MakeCertificates(bool expired = false);
    // Makes the fresh directory velkor-NAME-... and picks the port.
    void Prepare(const std::string& name);
    // Runs tests/peers/SCRIPT with the port, then the arguments, and waits
    // until the port (and the extra one, when given) accepts connections.
    bool Launch(const std::string& script, const std::vector<std::string>& args,
                unsigned int extraPort = 0);

    PeerProcess m_process;
    std::filesystem::path m_dir;
    unsigned int m_port = 0;
};

// A Dante SOCKS server (SOCKS4 and SOCKS5; no authentication, or
// username/password of the system user TestUser()).
class DanteServer : public PeerServer {
public:
    // methods: Dante's socksmethod line; "username" alone takes SOCKS5 with
    // credentials only (SOCKS4 requests are refused).
    // ipv6: on ::1 only, for targets on ::1.
    bool Start(const std::string& methods = "username none", bool ipv6 = false);
    std::filesystem::path Dir() const { return m_dir; }
    static const char* TestUser() { return "velkorsocks"; }
    static const char* TestPassword() { return "s0cks-Pass"; }
    // True when the test user exists (made when running as root).
    bool UserReady() const { return m_userReady; }

private:
    bool m_userReady = false;
};

// An FTP server of the given kind ("pyftpdlib" or "vsftpd") serving a fresh
// root directory to user TestUser() with password TestPassword().
// Why a server cannot listen on ::1 here ("" when it can).
std::string Ipv6LoopbackUnavailable();

class FtpServer : public PeerServer {
public:
    static constexpr std::size_t kTlsCutFileBytes = 1 << 20;
    explicit FtpServer(std::string kind) : m_kind(std::move(kind)) {}
    // tls: "" plaintext, "explicit" (AUTH TLS required; vsftpd and
    // Pure-FTPd) or "implicit" (vsftpd); with TLS the server also wants
    // protected data connections, vsftpd with TLS session reuse. "ipv6":
    // plaintext on ::1 only (pyftpdlib, vsftpd). Kind "tls-cut" is a
    // scripted FTPS peer (tests/peers/ftps-cut.py) whose downloads of a
    // file of kTlsCutFileBytes end in TLS (tls "whole") or are cut without
    // close-notify after half of it (tls "cut").
    bool Start(const std::string& tls = "");
    // The served directory as a local path.
    std::filesystem::path Root() const { return m_dir / "root"; }
    const std::string& Kind() const { return m_kind; }
    static const char* TestUser() { return "velkorftp"; }
    static const char* TestPassword() { return "ftp-Pass1"; }
    // Makes a local file in the served tree readable and writable by the
    // server (vsftpd serves as the test user).
    void GiveToServer(const std::filesystem::path& path) const;

private:
    std::string m_kind;
};

// A private ngIRCd (server name irc.velkor.test).
class NgircdServer : public PeerServer {
public:
    bool Start();
};

// An aiosmtpd server that stores each message: Dir()/NNNN.eml holds the
// DATA bytes, NNNN.json the envelope. AUTH user "mailer", password "s3cret";
// recipients starting with "refuse" get 550.
class SmtpServer : public PeerServer {
public:
    // tls: "" plaintext, "starttls" (required, AUTH only after it) or
    // "implicit" (TLS from the first byte); expired: with an expired certificate.
    bool Start(const std::string& tls = "", bool expired = false);
    std::filesystem::path Dir() const { return m_dir / "store"; }
    // The stored message n (from 1) and its envelope JSON, waiting up to 10 s
    // for the envelope file; empty when it does not come.
    std::string Stored(int n, std::string* envelope = nullptr) const;
};

// A private Dovecot POP3 server with one user whose Maildir is Maildir().
class Pop3Server : public PeerServer {
public:
    // With tls, TLS is required: STLS on Port(), POP3S on TlsPort().
    bool Start(bool tls = false);
    unsigned int TlsPort() const { return m_tlsPort; }
    static const char* TestUser() { return "mailuser"; }
    static const char* TestPassword() { return "p0p-Pass"; }
    std::filesystem::path Maildir() const { return m_dir / "home" / TestUser() / "Maildir"; }
    // Delivers a message file into the mailbox (new/NAME, owned by the server's user).
    void Deliver(const std::string& name, const std::string& bytes) const;

private:
    unsigned int m_tlsPort = 0;
};

// A private nginx serving Root() on Port() and, over https, on TlsPort()
// with a certificate of CaFile()'s private CA (see tests/peers/nginx.sh).
class NginxServer : public PeerServer {
public:
    // ipv6: on [::1] as well.
    bool Start(bool ipv6 = false);
    unsigned int TlsPort() const { return m_tlsPort; }
    std::filesystem::path Root() const { return m_dir / "www"; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

private:
    unsigned int m_tlsPort = 0;
};

// A private tinyproxy asking for Basic credentials proxyuser / pr0xy-Pass.
class TinyproxyServer : public PeerServer {
public:
    bool Start();
};

}  // namespace velkor::test
