// The parts of `velkor ftp` its commands share: the options, the session
// (CFtp with the listing and time-outs opened), the logon and the failure
// reports.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FtpListing.h"
#include "FtpUrl.h"
#include "ftp/CFtp.h"
#include "platform/Text.h"
#include "proxy/CPRDLDoc.h"

namespace velkor::tool {

struct FtpOptions {
    bool active = false;
    bool quiet = false;
    bool verbose = false;  // -v: the control lines on stderr, secrets masked
    bool pasvReplyAddress = false;
    unsigned int timeout = 30;
    int logonType = 0;
    std::string fwHost, fwUser, fwPassword, account;
    std::string socks;  // host:port of a SOCKS proxy for both connections
    std::string socksUser, socksPassword;
    int fwPort = 21;
    // TLS: --tls ("required" or "try"), --ca-file, --insecure
    std::string tls;
    std::string caFile;
    bool insecure = false;
    // per command
    std::string url, second;
    std::vector<std::string> files;  // get's and put's arguments
    bool resume = false;
    bool preserve = false;  // get: the server's time (MDTM) on the local file
    bool recursive = false;
    std::uint64_t limit = 0;
    // mirror
    bool reverse = false;     // local to server
    bool removeExtra = false; // --delete
    bool dryRun = false;
    int parallel = 1;
};

// CFtp with the listing and the time-outs opened to the tool.
class FtpSession : public Listable<CFtp> {
public:
    static std::string NameOf(const std::string& path) { return GetName(path); }
    std::string DirOf(const std::string& path) const { return GetPath(path); }
    void SetTimeouts(unsigned int seconds) {
        m_control.m_nTimeout = seconds;
        m_data.m_nTimeout = seconds;
    }
    // A server path for a path of an address: "//abs" is absolute, anything
    // else is relative to the login directory.
    std::string ServerPath(const std::string& urlPath) const {
        if (urlPath.rfind("//", 0) == 0) return urlPath.substr(1);
        std::string rel = urlPath;
        while (!rel.empty() && rel[0] == '/') rel.erase(0, 1);
        if (rel.empty()) return m_strHomeDir;
        return text::JoinServerPath(m_strHomeDir, rel);
    }
};

// The session and the proxy document it uses (registered while it lives).
struct Session {
    CPRDLDoc proxy;
    FtpSession ftp;
    ~Session() {
        if (CPRDLDoc::Getthis() == &proxy) CPRDLDoc::Setthis(nullptr);
    }
};

// Parses an ftp:// address and completes its user and password (netrc,
// environment, prompt). 0, or the exit code after a message.
int ResolveAddress(const std::string& address, FtpUrl& url);
// Logs on; null with the exit code (and a message) when that fails.
std::unique_ptr<Session> Connect(const FtpOptions& o, const FtpUrl& url, int& exitCode);
// Reports a failed command with the server's reply (or what its status
// means) and returns `code`.
int Fail(const char* what, const CFtp& ftp, int code);
// Exit code for a refused command: 550 is "not found" where the command
// needs an existing file, the rest "refused".
int RefusalCode(const CFtp& ftp, bool notFoundOn550 = true);

// velkor ftp mirror: the whole tree from the server (or with o.reverse to
// it), see Mirror.cpp.
int RunMirror(const FtpOptions& o);

}  // namespace velkor::tool
