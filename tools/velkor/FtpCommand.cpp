// velkor ftp: ls, get, put, rm, mkdir, rmdir, mv and size on ftp:// addresses.
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "Commands.h"
#include "Credentials.h"
#include "Endpoint.h"
#include "FtpSession.h"
#include "FtpUrl.h"
#include "Progress.h"
#include "TerminalText.h"
#include "ftp/CFtp.h"
#include "platform/LastError.h"
#include "platform/LocalFile.h"
#include "platform/Text.h"
#include "platform/WaitHook.h"
#include "proxy/CPRDLDoc.h"

namespace velkor::tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// Counts Ctrl-C presses.
void OnInterrupt(int) { g_interrupted = g_interrupted + 1; }

}  // namespace

int Fail(const char* what, const CFtp& ftp, int code) {
    if (!ftp.m_strTlsError.empty()) {
        std::fprintf(stderr, "velkor ftp: %s failed: TLS failed: %s\n", what, ftp.m_strTlsError.c_str());
        return kExitTls;
    }
    if (ftp.m_nLastDataProxyError != 0) {
        // The server's last words (a 227 reply) would not say what went wrong.
        std::fprintf(stderr, "velkor ftp: %s failed: the proxy refused the data connection (%s)\n",
                     what, ProxyErrorText(ftp.m_nLastDataProxyError));
        return kExitProxy;
    }
    std::string msg = Printable(ftp.GetLastMessage());
    if (msg.empty()) msg = FtpStatusText(ftp.m_nLastError);
    std::fprintf(stderr, "velkor ftp: %s failed: %s\n", what, msg.c_str());
    return code;
}

int RefusalCode(const CFtp& ftp, bool notFoundOn550) {
    // "550 Is a directory" names something that is there.
    std::string reply = text::AsciiLowered(ftp.GetLastMessage());
    const bool folder = reply.find("is a directory") != std::string::npos ||
                        reply.find("not a plain file") != std::string::npos;
    return ftp.m_nLastReply == 550 && notFoundOn550 && !folder ? kExitNotFound
           : ftp.m_nLastError == kFtpStatusConnection ? kExitConnect
                                                      : kExitRefused;
}

std::unique_ptr<Session> Connect(const FtpOptions& o, const FtpUrl& url, int& exitCode) {
    auto session = std::make_unique<Session>();
    FtpSession* ftp = &session->ftp;
    if (!o.socks.empty()) {
        // The control connection goes through it with SOCKS5, the data
        // connections with SOCKS4.
        CPRDLDoc& proxy = session->proxy;
        Endpoint at;
        if (!ParseEndpoint(o.socks, at)) {
            std::fprintf(stderr, "velkor ftp: --socks takes host:port\n");
            exitCode = kExitUsage;
            return nullptr;
        }
        if (o.active) {
            // The server would connect to this host around the proxy.
            std::fprintf(stderr, "velkor ftp: --active cannot go through --socks: the server's "
                                 "data connection would go around the proxy\n");
            exitCode = kExitUsage;
            return nullptr;
        }
        ftp->m_strProxyUser = o.socksUser;
        ftp->m_strProxyPassword = o.socksPassword;
        proxy.m_bEnable = 1;
        proxy.m_strFtpHost = at.host;
        proxy.m_nFtpPort = static_cast<int>(at.port);
        CPRDLDoc::Setthis(&proxy);
    }
    ftp->SetTimeouts(o.timeout);
    ftp->m_bUseUtf8 = true;
    if (o.verbose) ftp->m_trace = VerboseTrace{};
    ftp->m_nTls = url.implicitTls ? kTlsImplicit : o.tls.empty() ? kTlsOff : kTlsExplicit;
    ftp->m_bTlsOptional = o.tls == "try";
    ftp->m_tls.caFile = o.caFile;
    ftp->m_tls.skipVerification = o.insecure;
    if (o.insecure && ftp->m_nTls != kTlsOff)
        std::fprintf(stderr, "velkor ftp: warning: --insecure: the server's certificate is not checked\n");
    ftp->m_bPassiveUsesControlPeer = !o.pasvReplyAddress;
    ftp->m_bListingsActive = o.active;
    if (!ftp->Login(url.host, url.port, url.user, url.password, o.account, o.fwHost, o.fwUser,
                    o.fwPassword, o.fwPort, o.logonType)) {
        if (!ftp->m_strTlsError.empty()) {
            exitCode = Fail("logon", *ftp, kExitTls);
        } else if (ftp->m_nLastReply == 530 || ftp->m_nLastReply == 332) {
            // The server answered: the logon was refused, nothing to retry.
            exitCode = Fail("logon", *ftp, kExitLogon);
        } else if (ftp->m_nLastControlProxyError != 0) {
            std::fprintf(stderr, "velkor ftp: the proxy refused the connection to %s:%d (%s)\n",
                         url.host.c_str(), url.port, ProxyErrorText(ftp->m_nLastControlProxyError));
            exitCode = kExitProxy;
        } else if (ftp->GetLastMessage().empty()) {
            // No reply at all: the server (or the proxy) was not reached.
            const int err = GetLastSocketError();
            std::fprintf(stderr, "velkor ftp: cannot reach %s:%d: %s\n", url.host.c_str(),
                         url.port, SocketErrorText(err).c_str());
            exitCode = kExitConnect;
        } else {
            exitCode = Fail("logon", *ftp, kExitConnect);
        }
        return nullptr;
    }
    return session;
}

int ResolveAddress(const std::string& address, FtpUrl& url) {
    std::string error;
    if (!ParseFtpUrl(address, url, error)) {
        std::fprintf(stderr, "velkor ftp: %s: %s\n", address.c_str(), error.c_str());
        return kExitUsage;
    }
    // Anonymous logons send the usual mail-address password unless one is given.
    if (url.hasUser && !url.hasPassword && (url.user == "anonymous" || url.user == "ftp")) {
        url.password = "velkor@";
        url.hasPassword = true;
    }
    Login login{url.user, url.password, url.hasUser, url.hasPassword};
    if (const int code = CompleteLogin("velkor ftp", url.host, true, login)) return code;
    if (login.hasUser) {
        url.user = login.user;
        url.password = login.password;
    }
    return 0;
}

namespace {

std::string FormatTime(std::int32_t t) {
    const std::time_t tt = t;
    std::tm tm{};
    localtime_r(&tt, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
    return text;
}

// MLSD's UTC time to the second ("2026-12-07 21:55:44Z"), else LIST's local one.
std::string EntryTime(const ListedEntry& f) {
    if (f.modifiedUtc < 0) return FormatTime(f.modified);
    const std::time_t tt = static_cast<std::time_t>(f.modifiedUtc);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%SZ", &tm);
    return text;
}

int RunList(FtpSession& ftp, const std::string& path) {
    ftp.m_bUseMlsd = true;  // exact sizes and times where the server offers them
    if (!ftp.ListDir(path)) return Fail("ls", ftp, RefusalCode(ftp));
    // Some servers answer LIST of a missing path with an empty listing.
    if (ftp.m_arrListing.empty() && !ftp.IsFileExisted(path)) {
        std::fprintf(stderr, "velkor ftp: ls: %s: no such file or directory\n",
                     Printable(path).c_str());
        return kExitNotFound;
    }
    for (const ListedEntry& e : ftp.Entries()) {
        if (!e.parsed) {
            std::printf("%s\n", Printable(e.line).c_str());
            continue;
        }
        const char kind = e.dir ? 'd' : e.link ? 'l' : '-';
        std::printf("%c %12llu  %s  %s\n", kind, static_cast<unsigned long long>(e.size), EntryTime(e).c_str(),
                    Printable(e.name).c_str());
    }
    return kExitOk;
}

// Runs a transfer with a progress bar and Ctrl-C handling.
template <typename Transfer>
void WithProgress(FtpSession& ftp, const std::string& label, std::uint64_t total,
                  std::uint64_t start, bool quiet, Transfer transfer) {
    Progress progress(label, total, start, !quiet && ::isatty(STDERR_FILENO));
    struct sigaction sa{}, old{};
    sa.sa_handler = OnInterrupt;
    sigaction(SIGINT, &sa, &old);
    {
        ScopedWaitHook hook([&] {
            // The first Ctrl-C asks for ABOR after the current block; a
            // second one also gives up waiting for a server that stalls.
            if (g_interrupted >= 1) ftp.m_bAbort = 1;
            if (g_interrupted >= 2) CancelBlockingCall();
            progress.Update(ftp.m_nTransferred64);
        });
        transfer();
    }
    sigaction(SIGINT, &old, nullptr);
    progress.Finish(ftp.m_nTransferred64);
}

int ReportInterrupted(const FtpSession& ftp) {
    std::fprintf(stderr, "velkor ftp: interrupted after %llu bytes; go on with --resume\n",
                 static_cast<unsigned long long>(ftp.m_nTransferred64));
    return kExitInterrupted;
}

// After a transfer that moved its data: the completion reply must be a
// 2xx; a 426 (the server aborted) or none at all means the data may be cut.
int CheckCompletion(const char* what, const FtpSession& ftp) {
    if (ftp.m_nLastReply / 100 == 2) return kExitOk;
    return Fail(what, ftp, kExitTransfer);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int RunGet(FtpSession& ftp, const FtpOptions& o, const std::string& remote, bool report = true);

// "get URL -": the file goes through a private temporary file to standard
// output, which is written only once the whole file came.
int RunGetToStdout(FtpSession& ftp, FtpOptions o, const std::string& remote) {
    const char* dir = std::getenv("TMPDIR");
    std::string temp = std::string(dir && *dir ? dir : "/tmp") + "/velkor-get-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        std::fprintf(stderr, "velkor ftp get: cannot make a temporary file: %s\n", std::strerror(errno));
        return kExitWrite;
    }
    ::close(fd);
    o.second = temp;
    o.quiet = true;
    const int code = RunGet(ftp, o, remote, false);
    bool written = true;
    if (code == kExitOk) {
        LocalFile in;
        char buf[64 * 1024];
        written = in.OpenForReading(temp);
        for (long n; written && (n = in.Read(buf, sizeof buf)) > 0;)
            written = std::fwrite(buf, 1, static_cast<std::size_t>(n), stdout) == static_cast<std::size_t>(n);
        written = written && std::fflush(stdout) == 0;
    }
    std::remove(temp.c_str());
    if (!written) {
        std::fprintf(stderr, "velkor ftp get: cannot write to standard output\n");
        return kExitWrite;
    }
    return code;
}

int RunGet(FtpSession& ftp, const FtpOptions& o, const std::string& remote, bool report) {
    std::string local = o.second.empty() ? FtpSession::NameOf(remote) : o.second;
    // A folder as the target takes the file under its remote name, as cp does.
    if (!local.empty() && (local.back() == '/' || IsFolder(local))) {
        if (!IsFolder(local)) {
            std::fprintf(stderr, "velkor ftp get: %s: no such folder\n", local.c_str());
            return kExitWrite;
        }
        local += (local.back() == '/' ? "" : "/") + FtpSession::NameOf(remote);
    }
    if (local.empty() || FtpSession::NameOf(remote).empty()) {
        std::fprintf(stderr, "velkor ftp get: name the remote file and the local one\n");
        return kExitUsage;
    }
    const std::uint64_t size = ftp.GetFileLength64(remote);
    std::uint64_t offset = 0;
    // A fresh download goes into a new file beside the local one, which it
    // replaces only when it succeeds (or is interrupted, to be resumed): a
    // failed download leaves the user's file as it was.
    std::string target = local;
    std::string fresh;
    if (const auto localSize = o.resume ? LocalFileSize(local) : std::nullopt) {
        offset = *localSize;
        if (size != 0 && offset >= size) {
            std::printf("%s is already complete (%llu bytes)\n", local.c_str(),
                        static_cast<unsigned long long>(size));
            return kExitOk;
        }
    } else {
        fresh = CreateFileBeside(local);
        if (fresh.empty()) {
            std::fprintf(stderr, "velkor ftp get: cannot create a file beside %s: %s\n",
                         local.c_str(), std::strerror(errno));
            return kExitWrite;
        }
        target = fresh;
    }
    std::uint64_t transferred = 0;
    std::uint32_t result = 0;
    WithProgress(ftp, "get " + FtpSession::NameOf(remote), size, offset, o.quiet, [&] {
        result = ftp.Download64(remote, target, transferred, o.limit, offset, size, !o.active);
    });
    int code = kExitOk;
    // Ctrl-C after the whole file had come (its completion still on the
    // way) interrupted nothing.
    const bool complete = result == 0 && size != 0 && ftp.LastTransferWhole(size);
    if (g_interrupted && !complete) {
        code = ReportInterrupted(ftp);
    } else if (ftp.m_nLastDataProxyError != 0) {
        code = Fail("get", ftp, kExitProxy);
    } else if (result != 0) {
        // "550 Is a directory" is a refusal, not a missing file.
        code = Fail("get", ftp, result == CFtp::kDownloadUnavailable   ? RefusalCode(ftp)
                                : result == CFtp::kDownloadNotLoggedIn ? kExitConnect
                                                                       : kExitTransfer);
    } else if (o.limit != 0) {
        // A limit stops the transfer (the server may then answer 426), so
        // the count alone tells: the limit, or the whole rest of the file.
        const std::uint64_t expected = size == 0 ? transferred : std::min(o.limit, size - offset);
        if (transferred != expected) {
            std::fprintf(stderr, "velkor ftp: get ended early: %llu of %llu bytes\n",
                         static_cast<unsigned long long>(transferred),
                         static_cast<unsigned long long>(expected));
            code = kExitTransfer;
        }
    } else {
        code = CheckCompletion("get", ftp);
        if (code == kExitOk && !ftp.LastTransferWhole(size)) {
            std::fprintf(stderr, "velkor ftp: get ended early: %llu of %llu bytes\n",
                         static_cast<unsigned long long>(ftp.m_nTransferred64),
                         static_cast<unsigned long long>(size));
            code = kExitTransfer;
        }
    }
    if (!fresh.empty()) {
        // An interrupted download replaces the file only when data came
        // (to go on with --resume); before that, the old file stays.
        const bool keep = code == kExitOk || (code == kExitInterrupted && transferred > 0);
        if (keep && std::rename(fresh.c_str(), local.c_str()) != 0) {
            std::fprintf(stderr, "velkor ftp get: cannot replace %s\n", local.c_str());
            code = kExitTransfer;
        }
        if (!keep) std::remove(fresh.c_str());
    }
    if (code == kExitOk && o.preserve) {
        const std::int64_t mtime = ftp.GetModifiedTimeUtc(remote);
        const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(mtime), 0}};
        if (mtime < 0 || ::utimensat(AT_FDCWD, local.c_str(), times, 0) != 0)
            std::fprintf(stderr, "velkor ftp get: %s keeps its own time: the server gives none (MDTM)\n",
                         local.c_str());
    }
    if (code != kExitOk || !report) return code;
    std::printf("got %s: %llu bytes%s\n", local.c_str(),
                static_cast<unsigned long long>(transferred),
                offset ? (" (resumed at " + std::to_string(offset) + ")").c_str() : "");
    return kExitOk;
}

int RunPut(FtpSession& ftp, const FtpOptions& o, const std::string& local,
           const std::string& remote) {
    if (IsFolder(local)) {
        std::fprintf(stderr, "velkor ftp put: %s is a folder; put sends one file (use mirror --reverse for a folder)\n", local.c_str());
        return kExitUsage;
    }
    // A file that cannot be read is said as such, before any server reply
    // could be taken for the cause.
    LocalFile probe;
    const auto localSize = LocalFileSize(local);
    const std::uint64_t size = localSize.value_or(0);
    if (!localSize || !probe.OpenForReading(local)) {
        std::fprintf(stderr, "velkor ftp put: cannot read %s: %s\n", local.c_str(), std::strerror(errno));
        return kExitInput;
    }
    probe.Close();
    std::uint64_t offset = 0;
    if (o.resume) offset = ftp.GetFileLength64(remote);
    if (o.resume && offset >= size && size != 0) {
        std::printf("%s is already complete on the server\n", remote.c_str());
        return kExitOk;
    }
    std::uint64_t transferred = 0;
    std::uint32_t result = 0;
    WithProgress(ftp, "put " + FtpSession::NameOf(remote), size, offset, o.quiet, [&] {
        result = ftp.Upload64(local, remote, transferred, o.limit, offset, size, !o.active);
    });
    if (g_interrupted) return ReportInterrupted(ftp);
    if (result != 1) return Fail("put", ftp, RefusalCode(ftp));
    if (o.limit == 0) {
        if (const int code = CheckCompletion("put", ftp); code != kExitOk) return code;
    }
    std::printf("put %s: %llu bytes\n", remote.c_str(), static_cast<unsigned long long>(transferred));
    return kExitOk;
}

bool IsAddress(const std::string& s) { return s.rfind("ftp://", 0) == 0 || s.rfind("ftps://", 0) == 0; }
bool HasGlob(const std::string& name) { return name.find_first_of("*?[") != std::string::npos; }

// The files a get address names: itself, or the files of its folder that
// its last element matches as a shell pattern ("*.iso").
bool ExpandRemote(FtpSession& ftp, const std::string& path, std::vector<std::string>& out) {
    const std::string pattern = FtpSession::NameOf(path);
    if (!HasGlob(pattern)) {
        out.push_back(path);
        return true;
    }
    const std::string dir = ftp.DirOf(path);
    ftp.m_bUseMlsd = true;
    if (!ftp.ListDir(dir)) return false;
    const std::size_t before = out.size();
    for (const ListedEntry& e : ftp.Entries()) {
        if (e.parsed && !e.dir && !e.link && e.name.find('/') == std::string::npos &&
            ::fnmatch(pattern.c_str(), e.name.c_str(), FNM_PERIOD) == 0)
            out.push_back(text::JoinServerPath(dir, e.name));
    }
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(before), out.end());
    return true;
}

// get URL... [FOLDER] and put FILE... URL: several files (and get's
// patterns) over one logon; the first failure's exit code, after the others
// were tried.
int RunMany(const std::string& command, const FtpOptions& o) {
    std::vector<std::string> addresses = o.files, locals;
    std::string folder = ".";
    if (command == "get") {
        if (!IsAddress(addresses.back())) {
            folder = addresses.back();
            addresses.pop_back();
        }
    } else {
        locals.assign(addresses.begin(), addresses.end() - 1);
        addresses.erase(addresses.begin(), addresses.end() - 1);
    }
    for (const std::string& a : addresses) {
        if (!IsAddress(a)) {
            std::fprintf(stderr, "velkor ftp %s: %s is not an ftp:// address\n", command.c_str(), a.c_str());
            return kExitUsage;
        }
    }
    if (command == "get" && !IsFolder(folder)) {
        std::fprintf(stderr, "velkor ftp get: several files go into a folder; %s is none\n", folder.c_str());
        return kExitUsage;
    }
    FtpUrl url;
    if (const int code = ResolveAddress(addresses.front(), url)) return code;
    std::vector<std::string> paths;
    for (const std::string& a : addresses) {
        FtpUrl other;
        std::string error;
        if (!ParseFtpUrl(a, other, error) || other.host != url.host || other.port != url.port ||
            other.implicitTls != url.implicitTls || (other.hasUser && other.user != url.user)) {
            std::fprintf(stderr, "velkor ftp %s: %s: %s\n", command.c_str(), a.c_str(),
                         error.empty() ? "all addresses of one command name one server and user" : error.c_str());
            return kExitUsage;
        }
        paths.push_back(other.path);
    }
    int exitCode = kExitOk;
    std::unique_ptr<Session> session = Connect(o, url, exitCode);
    if (!session) return exitCode;
    FtpSession& ftp = session->ftp;
    int first = kExitOk;
    const auto note = [&first](int code) {
        if (first == kExitOk) first = code;
        return code == kExitInterrupted || code == kExitConnect;  // stop here
    };
    if (command == "put") {
        const std::string dir = ftp.ServerPath(paths.front());
        for (const std::string& local : locals) {
            const std::string name = std::filesystem::path(local).filename().string();
            if (note(RunPut(ftp, o, local, text::JoinServerPath(dir, name)))) break;
        }
        return first;
    }
    FtpOptions one = o;
    one.second = folder.back() == '/' ? folder : folder + "/";
    for (const std::string& path : paths) {
        std::vector<std::string> remotes;
        const std::string full = ftp.ServerPath(path);
        if (!ExpandRemote(ftp, full, remotes)) {
            if (note(Fail("get", ftp, RefusalCode(ftp)))) break;
            continue;
        }
        if (remotes.empty()) {
            std::fprintf(stderr, "velkor ftp get: no file matches %s\n", Printable(full).c_str());
            note(kExitNotFound);
        }
        bool stop = false;
        for (const std::string& remote : remotes)
            if ((stop = note(RunGet(ftp, one, remote)))) break;
        if (stop) break;
    }
    return first;
}

int Run(const std::string& command, const FtpOptions& given) {
    FtpOptions o = given;
    if (command == "get" || command == "put") {
        // One file (get URL [LOCAL], put LOCAL URL), or several.
        const std::vector<std::string>& f = o.files;
        const bool single = command == "put"
                                ? f.size() == 2
                                : (f.size() == 1 || (f.size() == 2 && !IsAddress(f[1]))) &&
                                      !HasGlob(f[0].substr(f[0].rfind('/') + 1));
        if (!single) return RunMany(command, o);
        o.url = f[0];
        o.second = f.size() > 1 ? f[1] : "";
    }
    if (!CFtp::LimitCanStop(0, o.limit)) {
        // Any other limit would never stop a transfer.
        std::fprintf(stderr, "velkor ftp: --limit must be a multiple of %d bytes\n",
                     CFtp::kBlockSize);
        return kExitUsage;
    }
    if (command == "mirror") return RunMirror(o);
    FtpUrl url;
    const std::string& address = command != "put" ? o.url : o.second;
    if (const int code = ResolveAddress(address, url)) return code;
    int exitCode = kExitOk;
    std::unique_ptr<Session> session = Connect(o, url, exitCode);
    if (!session) return exitCode;
    FtpSession* ftp = &session->ftp;
    const std::string path = ftp->ServerPath(url.path);

    if (command == "ls") return RunList(*ftp, path);
    if (command == "get") return o.second == "-" ? RunGetToStdout(*ftp, o, path) : RunGet(*ftp, o, path);
    if (command == "put") return RunPut(*ftp, o, o.url, path);
    if (command == "size") {
        const std::uint64_t size = ftp->GetFileLength64(path);
        if (size == 0 && !ftp->IsFileExisted(path)) {
            std::fprintf(stderr, "velkor ftp: size: %s: no such file\n", Printable(path).c_str());
            return kExitNotFound;
        }
        std::printf("%llu\n", static_cast<unsigned long long>(size));
        return kExitOk;
    }
    if (command == "mv") {
        // A bare new name stays in the same folder.
        const std::string to = o.second.find('/') == std::string::npos
                                   ? text::JoinServerPath(ftp->DirOf(path), o.second)
                                   : ftp->ServerPath(o.second);
        if (ftp->DirOf(path) != ftp->DirOf(to)) {
            std::fprintf(stderr, "velkor ftp: mv renames within one directory only\n");
            return kExitUsage;
        }
        if (!ftp->Rename(path, to)) return Fail("mv", *ftp, RefusalCode(*ftp, false));
        std::printf("mv %s: done\n", path.c_str());
        return kExitOk;
    }
    bool ok = false;
    // 550 means "not found" for a file that should be there; for mkdir and
    // rmdir it means "exists" or "not empty": refused, not missing.
    const bool notFoundOn550 = command == "rm";
    if (command == "rm") ok = o.recursive ? ftp->Delete(path) : ftp->DeleteFileA(path);
    if (command == "mkdir") ok = ftp->CreateDir(path);
    if (command == "rmdir") ok = ftp->RemoveDir(path);
    if (!ok) return Fail(command.c_str(), *ftp, RefusalCode(*ftp, notFoundOn550));
    std::printf("%s %s: done\n", command.c_str(), path.c_str());
    return kExitOk;
}

}  // namespace

void AddFtpCommand(CLI::App& app, int& exitCode) {
    auto o = std::make_shared<FtpOptions>();
    CLI::App* ftp = app.add_subcommand("ftp", "FTP client: ls, get, put, rm, mkdir, rmdir, mv, size, mirror")
                        ->require_subcommand(1)
                        ->fallthrough();
    ftp->footer(std::string("Addresses: ftp://user@host:port/path (ftps:// for TLS from the first\n"
                            "byte, port 990). A path is relative to the login\n"
                            "directory; begin it with // for an absolute server path.\n"
                            "Without a user: the ~/.netrc entry of the host, else anonymous. A user\n"
                            "without a password: ~/.netrc, VELKOR_PASSWORD, else a prompt.\n") +
                kExitCodesHelp);
    ftp->add_flag("--active", o->active,
                  "Active mode (PORT) instead of passive (PASV) for every data\n"
                  "connection: get, put, listings (ls, rm -r) and size lookups");
    ftp->add_flag("-q,--quiet", o->quiet, "No progress bar");
    ftp->add_flag("-v,--verbose", o->verbose, "Show the control connection's lines (passwords masked)");
    AddCredentialOptions(ftp);
    ftp->add_flag("--pasv-use-reply-address", o->pasvReplyAddress,
                  "Passive mode: connect to the host the server's 227 reply names\n"
                  "(by default the server's own address, with the reply's port)");
    ftp->add_option("--timeout", o->timeout, "Seconds a server may stay silent")
        ->check(CLI::Range(1u, 3600u));
    ftp->add_option("--logon-type", o->logonType,
                    "0 direct; through a firewall: 1 SITE host, 2 USER after firewall logon,\n"
                    "3 OPEN host, 4 transparent, 5 USER user@host, 6 USER fwuser@host,\n"
                    "7 USER user@host fwuser, 8 USER user@fwuser@host")
        ->check(CLI::Range(0, 8));
    ftp->add_option("--fw-host", o->fwHost, "Firewall host (logon types 1-8)");
    ftp->add_option("--fw-port", o->fwPort, "Firewall port")->check(CLI::Range(1, 65535));
    ftp->add_option("--fw-user", o->fwUser, "Firewall user");
    ftp->add_option("--fw-password", o->fwPassword, "Firewall password");
    ftp->add_option("--account", o->account, "Account for ACCT");
    ftp->add_option("--socks", o->socks,
                    "SOCKS proxy host:port (control through SOCKS5, data through SOCKS4, or SOCKS5 "
                    "when the proxy refuses SOCKS4; passive mode only)");
    ftp->add_option("--tls", o->tls,
                    "TLS after the greeting (AUTH TLS), logon and data protected; =try goes on\n"
                    "in plaintext when the server refuses it (ftps:// speaks TLS from the first byte)")
        ->expected(0, 1)
        ->default_str("required")
        ->check(CLI::IsMember({"required", "try"}));
    ftp->add_option("--ca-file", o->caFile, "CA certificates to trust for TLS (default: the system's)");
    ftp->add_flag("--insecure", o->insecure, "INSECURE: do not check the server's TLS certificate");
    ftp->add_option("--socks-user", o->socksUser, "User name the SOCKS5 proxy asks for");
    ftp->add_option("--socks-password", o->socksPassword, "Password the SOCKS5 proxy asks for");

    const auto add = [&](const char* name, const char* help) {
        CLI::App* sub = ftp->add_subcommand(name, help);
        sub->callback([o, &exitCode, name = std::string(name)] { exitCode = Run(name, *o); });
        return sub;
    };
    add("ls", "List a directory")->add_option("url", o->url, "ftp:// address")->required();
    CLI::App* get = add("get", "Download a file, or several into a folder");
    get->add_option("url-and-local", o->files,
                    "ftp:// address of the file, then the local file (default: the remote\n"
                    "name); or several addresses and patterns ('*.iso') and a folder")
        ->required();
    get->add_flag("--resume", o->resume, "Go on from the end of the local file");
    get->add_flag("--preserve", o->preserve, "Give the local file the server's time (MDTM)");
    get->add_option("--limit", o->limit, "Stop after this many bytes (a multiple of 4096)");
    CLI::App* put = add("put", "Upload a file, or several into a folder");
    put->add_option("local-and-url", o->files,
                    "Local file, then the ftp:// address of the target; or several\n"
                    "files, then the ftp:// folder")
        ->required()
        ->expected(2, -1);
    put->add_flag("--resume", o->resume, "Go on from the end of the remote file");
    put->add_option("--limit", o->limit, "Stop after this many bytes (a multiple of 4096)");
    CLI::App* rm = add("rm", "Delete a file (-r: a directory with everything in it)");
    rm->add_option("url", o->url, "ftp:// address")->required();
    rm->add_flag("-r,--recursive", o->recursive, "Delete a whole directory tree");
    add("mkdir", "Create a directory")->add_option("url", o->url, "ftp:// address")->required();
    add("rmdir", "Remove an empty directory")
        ->add_option("url", o->url, "ftp:// address")
        ->required();
    CLI::App* mv = add("mv", "Rename within one directory");
    mv->add_option("url", o->url, "ftp:// address")->required();
    mv->add_option("new-path", o->second, "New path (same directory)")->required();
    add("size", "Print a file's size")->add_option("url", o->url, "ftp:// address")->required();
    CLI::App* mirror = add("mirror", "Copy a whole folder tree from the server (--reverse: to it)");
    mirror->add_option("source", o->url, "ftp:// folder (--reverse: the local folder)")->required();
    mirror->add_option("target", o->second, "Local folder (--reverse: the ftp:// folder)")->required();
    mirror->add_flag("--reverse", o->reverse, "Upload the local tree to the server");
    mirror->add_flag("--delete", o->removeExtra, "Delete in the target what the source no longer has");
    mirror->add_flag("--dry-run", o->dryRun, "Only say what would be done");
    mirror->add_option("--parallel", o->parallel, "Files moved at once, over as many logons (1-8)");
    mirror->footer("A file is skipped when the target has the same size and time (to the second,\n"
                   "from MLSD or MDTM; size alone where the server gives neither). Files go into\n"
                   "NAME.velkor-part first; a later run resumes what an interrupted one left.");
}

}  // namespace velkor::tool
