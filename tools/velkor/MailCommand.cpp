// velkor mail: show, extract and compose mail files (RFC 5322 text with
// CR LF or LF line ends), send them by SMTP and fetch them by POP3.
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <functional>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>

#include "Commands.h"
#include "Credentials.h"
#include "Interruptible.h"
#include "FtpUrl.h"
#include "Progress.h"
#include "TerminalText.h"
#include "mail/CMailMessage.h"
#include "mail/CPop3.h"
#include "mail/CSmtp.h"
#include "platform/CodePage.h"
#include "platform/LastError.h"
#include "platform/LocalFile.h"

namespace velkor::tool {

namespace {

// Mail files larger than this are refused (offsets in a message are int).
constexpr std::uint64_t kMaxMailFileBytes = 1ull << 30;
// The longest file name extract writes (bytes, as most file systems allow).
constexpr std::size_t kMaxFileNameBytes = 255;

// Bytes in `charset` converted for the terminal; unknown charsets and
// unconvertible bytes are shown as they come.
std::string ForTerminal(const std::string& bytes, const std::string& charset) {
    const char* target = nl_langinfo(CODESET);
    if (bytes.empty() || charset.empty() || !target) return bytes;
    iconv_t cd = iconv_open(target, charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    char* o = out.data();
    const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return bytes;
    out.resize(out.size() - outLeft);
    return out;
}

// Mail files with bare LF line ends (as most tools save them) get CR LF.
std::string WithCrLf(std::string text) {
    if (text.find('\n') == std::string::npos || text.find("\r\n") != std::string::npos) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// How a mail file loaded: not at all, whole, or damaged (a part's header
// has no end, so that part and what follows it are missing).
enum class Loaded { kNo, kWhole, kDamaged };

Loaded LoadMessage(const std::string& path, CMailMessage& msg, const char* command) {
    std::string text;
    if (!ReadRegularFile(path, text, kMaxMailFileBytes)) {
        std::fprintf(stderr, "velkor mail %s: cannot read %s (missing, not a file or larger than 1 GiB)\n",
                     command, path.c_str());
        return Loaded::kNo;
    }
    msg.m_strMailText = WithCrLf(std::move(text));
    const bool whole = msg.AnalyseMailMessage() != 0;
    if (!whole && msg.Body().GetPartCount() == 0) {
        std::fprintf(stderr, "velkor mail %s: %s is not a mail message (no end of its header)\n",
                     command, path.c_str());
        return Loaded::kNo;
    }
    msg.AnalyseOnDisplay();
    return whole ? Loaded::kWhole : Loaded::kDamaged;
}

// Says that a damaged mail was handled only in part; the exit code for it.
int ReportDamaged(const char* command, const std::string& path) {
    std::fprintf(stderr, "velkor mail %s: %s is damaged: a part's header has no end, so that "
                 "part and the ones after it are missing\n", command, path.c_str());
    return kExitInput;
}

// Mail text converted for the terminal and stripped of control bytes.
std::string Shown(const std::string& bytes, const std::string& charset = "") {
    return Printable(ForTerminal(bytes, charset));
}

std::string Recipients(const CRecipientArray& list) {
    std::string out;
    for (const CRecipient& r : list) {
        if (!out.empty()) out += ", ";
        const std::string name = Shown(r.m_strName, r.m_strCharset);
        out += name.empty() ? Shown(r.m_strAddress) : name + " <" + Shown(r.m_strAddress) + ">";
    }
    return out;
}

int RunShow(const std::string& path) {
    CMailMessage msg;
    const Loaded loaded = LoadMessage(path, msg, "show");
    if (loaded == Loaded::kNo) return kExitInput;
    const CMailHeader& h = msg.Header();
    const std::string from = Shown(h.m_From.m_strName, h.m_From.m_strCharset);
    const std::string address = Shown(h.m_From.m_strAddress);
    std::printf("From:    %s\n", from.empty() ? address.c_str() : (from + " <" + address + ">").c_str());
    std::printf("To:      %s\n", Recipients(h.m_To).c_str());
    if (!h.m_Cc.empty()) std::printf("Cc:      %s\n", Recipients(h.m_Cc).c_str());
    std::printf("Subject: %s\n", Shown(h.m_strSubject, h.m_strSubjectCharset).c_str());
    std::printf("Date:    %s\n", Shown(h.m_strDate).c_str());
    std::printf("Parts:\n");
    CMailBody& body = msg.Body();
    bool cut = false;
    for (int i = 0; i < body.GetPartCount(); ++i) {
        CMIMEPart* part = body.GetPart(i);
        std::printf("%*s%d %s/%s", 2 + 2 * part->GetDepth(), "", i,
                    Shown(part->GetMIMEType()).c_str(), Shown(part->GetMIMESubType()).c_str());
        if (part->IsMultipart()) {
            cut = cut || part->GetDepth() >= CMailBody::kMaxPartDepth;
        } else {
            std::uint32_t length = 0;
            part->WriteContent([](const unsigned char*, std::size_t) { return true; }, length, 1);
            const std::string charset = part->GetCharacterSet();
            const std::string enc = part->GetTransferEncoding();
            std::printf(" %u bytes", length);
            if (!charset.empty()) std::printf(" charset=%s", Shown(charset).c_str());
            if (!enc.empty()) std::printf(" encoding=%s", Shown(enc).c_str());
            std::string name, nameCharset;
            if (part->GetFilename(name, nameCharset) && !name.empty())
                std::printf(" name=\"%s\"", Shown(name, nameCharset).c_str());
        }
        std::printf("\n");
    }
    if (cut) std::printf("  (deeper parts not shown)\n");
    if (body.GetPartCount() >= CMailBody::kMaxParts) std::printf("  (further parts not shown)\n");
    return loaded == Loaded::kDamaged ? ReportDamaged("show", path) : kExitOk;
}

// A name that stays inside the target folder: separators and the other
// characters file systems refuse become '_', control bytes too; ".", ".."
// and empty names get a numbered name; long names are cut at a character
// boundary, keeping a short extension.
std::string SafeFileName(const std::string& raw, int number) {
    std::string name = CMailCommonFunction::VerifyFileName(raw);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '/' || c == '\\') c = '_';
    if (name.empty() || name == "." || name == "..") name = "part-" + std::to_string(number);
    if (name.size() > kMaxFileNameBytes) {
        const std::size_t dot = name.rfind('.');
        std::string ext = dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
        std::size_t keep = kMaxFileNameBytes - ext.size();
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        name = name.substr(0, keep) + ext;
    }
    return name;
}

int RunExtract(const std::string& path, const std::string& dir, bool force) {
    CMailMessage msg;
    const Loaded loaded = LoadMessage(path, msg, "extract");
    if (loaded == Loaded::kNo) return kExitInput;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "velkor mail extract: %s is not a folder\n", dir.c_str());
        return kExitUsage;
    }
    std::set<std::string> used;
    int written = 0, number = 0;
    // Each part is decoded block by block straight into its file.
    const auto save = [&](const std::string& rawName, const std::string& charset,
                          const CMIMEPart& part) {
        ++number;
        const std::string base = SafeFileName(ForTerminal(rawName, charset), number);
        std::string name = base;
        for (int n = 2; used.count(name); ++n) name = base + "-" + std::to_string(n);
        used.insert(name);
        const std::string target = dir + "/" + name;
        const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (force ? O_TRUNC : O_EXCL);
        LocalFile file(::open(target.c_str(), flags, 0644));
        if (!file.IsOpen()) {
            std::fprintf(stderr, "velkor mail extract: %s: %s%s\n", target.c_str(),
                         std::strerror(errno), errno == EEXIST ? " (use --force to replace it)" : "");
            return false;
        }
        std::uint32_t length = 0;
        const auto sink = [&file](const unsigned char* data, std::size_t n) {
            return file.WriteAll(reinterpret_cast<const char*>(data), n);
        };
        if (part.WriteContent(sink, length, 1) < 0 || !file.Close()) {
            std::fprintf(stderr, "velkor mail extract: cannot write %s\n", target.c_str());
            return false;
        }
        std::printf("%s (%u bytes)\n", target.c_str(), length);
        ++written;
        return true;
    };
    for (int n = 0; n < msg.GetAttachmentNum(); ++n) {
        const CMIMEPart* part = msg.GetAttachmentPart(n);
        std::string name, charset;
        part->GetFilename(name, charset);
        if (!save(name, charset, *part)) return errno == EEXIST ? kExitExists : kExitWrite;
    }
    for (int n = 0; n < msg.GetRelateNum(); ++n) {
        const CMIMEPart* part = msg.GetRelatePart(n);
        std::string name, charset;
        part->GetFilename(name, charset);
        if (!save(name.empty() ? part->GetCID() : name, charset, *part))
            return errno == EEXIST ? kExitExists : kExitWrite;
    }
    if (written == 0) std::printf("no attachments\n");
    return loaded == Loaded::kDamaged ? ReportDamaged("extract", path) : kExitOk;
}

struct ComposeOptions {
    std::string from, subject, text, html, output, charset = "utf-8";
    std::vector<std::string> to, cc, bcc, attach;
};

// "Name <addr>" or "addr".
void SplitAddress(const std::string& text, std::string& name, std::string& address) {
    const std::size_t lt = text.rfind('<');
    if (lt == std::string::npos) {
        name.clear();
        address = text;
        return;
    }
    name = text.substr(0, lt);
    name.erase(name.find_last_not_of(" \t\"") + 1);
    name.erase(0, name.find_first_not_of(" \t\""));
    const std::size_t gt = text.find('>', lt);
    address = text.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1);
}

bool ReadInput(const std::string& path, std::string& bytes) {
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    return ReadRegularFile(path, bytes, kMaxMailFileBytes);
}

// The mail the compose options describe; 0, or the exit code of the failure
// (already reported).
int BuildMessage(const ComposeOptions& o, std::string& mail, const char* command) {
    CMailMessage msg;
    msg.AddMailRoot();
    std::string name, address;
    SplitAddress(o.from, name, address);
    bool ok = msg.AddMailFrom(name, address) != 0;
    const auto add = [&](int kind, const std::vector<std::string>& list) {
        for (const std::string& a : list) {
            SplitAddress(a, name, address);
            ok &= msg.AddMailSendTo(kind, name, address) != 0;
        }
    };
    add(CMailMessage::kTo, o.to);
    add(CMailMessage::kCc, o.cc);
    add(CMailMessage::kBcc, o.bcc);
    ok &= msg.AddSubject(o.subject, "utf-8") != 0;
    ok &= msg.AddMailDate(CMailCommonFunction::GetCurrentMailDate()) != 0;
    if (!ok) {
        std::fprintf(stderr, "velkor mail %s: an address or the subject holds a line break\n", command);
        return kExitUsage;
    }
    std::string bytes;
    const auto read = [&](const std::string& path) {
        if (ReadInput(path, bytes)) return true;
        std::fprintf(stderr, "velkor mail %s: cannot read %s\n", command, path.c_str());
        return false;
    };
    if (!o.text.empty()) {
        if (!read(o.text)) return kExitInput;
        msg.AddMailText(WithCrLf(bytes), "text/plain", o.charset);
    }
    if (!o.html.empty()) {
        if (!read(o.html)) return kExitInput;
        msg.AddMailText(WithCrLf(bytes), "text/html", o.charset);
    }
    for (const std::string& path : o.attach) {
        if (!read(path)) return kExitInput;
        const std::size_t slash = path.rfind('/');
        const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!msg.AddAttachment(base, "utf-8", reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size()))) {
            std::fprintf(stderr, "velkor mail %s: cannot attach %s (a message holds at most "
                         "%d parts)\n", command, path.c_str(), CMailBody::kMaxParts);
            return kExitUsage;
        }
    }
    bytes.clear();
    mail = msg.ComposeMailMessage();
    return kExitOk;
}

int RunCompose(const ComposeOptions& o) {
    std::string mail;
    if (const int code = BuildMessage(o, mail, "compose")) return code;
    if (o.output == "-") {
        std::fwrite(mail.data(), 1, mail.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitWrite;
    }
    if (!WriteFileAtomically(o.output, mail, 0644 & ~CurrentUmask())) {
        std::fprintf(stderr, "velkor mail compose: cannot write %s\n", o.output.c_str());
        return kExitWrite;
    }
    return kExitOk;
}

// Runs a call with a progress bar fed from a counter; Ctrl-C cancels the
// waiting call (the caller then reports the interruption).
int WithProgress(const std::string& label, std::uint64_t total, const std::uint32_t& counter,
                 bool quiet, const std::function<int()>& call) {
    Progress progress(label, total, 0, !quiet && ::isatty(STDERR_FILENO));
    const int result = RunInterruptible([&] { progress.Update(counter); }, call);
    progress.Finish(counter);
    return result;
}

std::string ReplyText(const std::string& reply) {
    return reply.empty() ? std::string() : " (the server said: " + reply + ")";
}

// The address's user and password completed from the netrc, the
// environment or the terminal. SMTP logs on only when a user is named (or
// the host has a netrc entry); POP3 always does. 0, or the exit code.
int CompleteMailLogin(FtpUrl& url, const char* command, bool alwaysLogsOn) {
    Login login{url.user, url.password, url.hasUser, url.hasPassword};
    if (const int code = CompleteLogin(command, url.host, alwaysLogsOn, login)) return code;
    url.user = login.user;
    url.password = login.password;
    if (alwaysLogsOn && url.user.empty()) {
        std::fprintf(stderr, "%s: the address names no user (pop3://user@host) and ~/.netrc has none for %s\n",
                     command, url.host.c_str());
        return kExitUsage;
    }
    return 0;
}

// TLS from the command line: implicit (smtps://, pop3s://), explicit
// (--starttls, --stls), the CA file, and --insecure (warned on every run).
struct TlsOptions {
    bool verbose = false;  // -v: the protocol lines on stderr, secrets masked
    bool upgrade = false;
    bool insecure = false;
    std::string caFile;
};

template <typename Client>
void ConfigureTls(Client& client, const FtpUrl& url, const TlsOptions& t, const char* verb) {
    client.m_nTls = url.implicitTls ? kTlsImplicit : t.upgrade ? kTlsExplicit : kTlsOff;
    if (t.verbose) client.m_trace = VerboseTrace{};
    client.m_tls.caFile = t.caFile;
    client.m_tls.skipVerification = t.insecure;
    if (t.insecure && client.m_nTls != kTlsOff)
        std::fprintf(stderr, "velkor mail %s: warning: --insecure: the server's certificate is not checked\n", verb);
}

void AddTlsOptions(CLI::App* cmd, TlsOptions& t, const char* upgradeFlag, const char* upgradeHelp) {
    AddCredentialOptions(cmd);
    cmd->add_flag("-v,--verbose", t.verbose, "Show the protocol lines (passwords masked)");
    cmd->add_flag(upgradeFlag, t.upgrade, upgradeHelp);
    cmd->add_option("--ca-file", t.caFile, "CA certificates to trust for TLS (default: the system's)");
    cmd->add_flag("--insecure", t.insecure, "INSECURE: do not check the server's TLS certificate");
}

struct SendOptions {
    std::string server, file;
    ComposeOptions compose;
    TlsOptions tls;
    bool quiet = false;
};

int RunSend(const SendOptions& o) {
    FtpUrl url;
    std::string error;
    if (!ParseMailUrl(o.server, "smtp", url, error)) {
        std::fprintf(stderr, "velkor mail send: %s\n", error.c_str());
        return kExitUsage;
    }
    std::string mail;
    std::vector<std::string> envelope;  // a file's recipients from the command line
    if (!o.file.empty()) {
        for (const auto* list : {&o.compose.to, &o.compose.cc, &o.compose.bcc})
            for (const std::string& who : *list) {
                std::string name, address;
                SplitAddress(who, name, address);
                envelope.push_back(address);
            }
        if (!ReadInput(o.file, mail)) {
            std::fprintf(stderr, "velkor mail send: cannot read %s\n", o.file.c_str());
            return kExitInput;
        }
        mail = WithCrLf(std::move(mail));
    } else if (o.compose.from.empty() || o.compose.to.empty()) {
        std::fprintf(stderr, "velkor mail send: give a mail file, or --from and --to\n");
        return kExitUsage;
    } else if (const int code = BuildMessage(o.compose, mail, "send")) {
        return code;
    }
    {
        // A mail without a sender or recipients would only be refused by the
        // server after the connection: say so before.
        CMailMessage check;
        const std::size_t blank = mail.find("\r\n\r\n");
        check.m_strMailText = blank == std::string::npos ? mail + "\r\n\r\n" : mail.substr(0, blank + 4);
        check.AnalyseMailMessage();
        // With --to (--cc, --bcc) and a file, those are the envelope.
        const int recipients = check.GetRecipientNum(CMailMessage::kTo) +
                               check.GetRecipientNum(CMailMessage::kCc) +
                               check.GetRecipientNum(CMailMessage::kBcc) + static_cast<int>(envelope.size());
        if (check.GetMailFrom().empty() || recipients == 0) {
            std::fprintf(stderr, "velkor mail send: the mail has no %s field; nothing was sent\n",
                         check.GetMailFrom().empty() ? "From" : "To, Cc or Bcc");
            return kExitInput;
        }
    }
    if (const int code = CompleteMailLogin(url, "velkor mail send", false)) return code;
    CSmtp smtp;
    smtp.SetServerProperties(url.host, static_cast<unsigned int>(url.port), url.user.empty() ? 0 : 1,
                             url.user, url.password);
    ConfigureTls(smtp, url, o.tls, "send");
    if (!smtp.Connect()) {
        const int e = smtp.GetLastError();
        std::fprintf(stderr, "velkor mail send: %s:%d: %s\n", url.host.c_str(), url.port,
                     Printable(smtp.GetErrorText()).c_str());
        return e == CSmtp::kErrAuth ? kExitLogon
               : e == CSmtp::kErrTls ? kExitTls
               : e == CSmtp::kErrConnect || e == CSmtp::kErrSocket ? kExitConnect
               : e == CSmtp::kErrLineBreak ? kExitUsage
                                           : kExitRefused;
    }
    std::uint32_t sent = 0;
    const std::size_t size = mail.size();
    const int ok = WithProgress("send", size, sent, o.quiet, [&] {
        return envelope.empty() ? smtp.SendMessageA(mail, sent) : smtp.SendMessageTo(mail, envelope, sent);
    });
    if (Interrupted()) {
        std::fprintf(stderr, "velkor mail send: interrupted after %u bytes; nothing was sent\n", sent);
        return kExitInterrupted;
    }
    if (!ok) {
        const int e = smtp.GetLastError();
        std::fprintf(stderr, "velkor mail send: %s\n", Printable(smtp.GetErrorText()).c_str());
        smtp.Disconnect();
        return e == CSmtp::kErrReply || e == CSmtp::kErrData ? kExitRefused
               : e == CSmtp::kErrLineBreak                   ? kExitUsage
                                                             : kExitTransfer;
    }
    // The count is of the text as it went out: without its Bcc fields, dots stuffed.
    const std::string over = smtp.m_Socket.Tls() ? " over " + smtp.m_Socket.Tls()->Description() : "";
    std::printf("sent %u bytes%s%s\n", sent, over.c_str(), Printable(ReplyText(smtp.GetLastReply())).c_str());
    smtp.Disconnect();
    return kExitOk;
}

struct FetchOptions {
    std::string server, get, dir = ".";
    TlsOptions tls;
    bool list = false, remove = false, force = false, quiet = false;
};

std::string SubjectOf(const std::string& header) {
    CMailMessage msg;
    msg.m_strMailText = header + "\r\n\r\n";
    msg.AnalyseMailMessage();
    return ForTerminal(msg.Header().m_strSubject, msg.Header().m_strSubjectCharset);
}

int RunFetch(const FetchOptions& o) {
    FtpUrl url;
    std::string error;
    if (!ParseMailUrl(o.server, "pop3", url, error)) {
        std::fprintf(stderr, "velkor mail fetch: %s\n", error.c_str());
        return kExitUsage;
    }
    int first = 0, last = -1;  // the messages to get, 0-based
    if (!o.get.empty() && o.get != "all") {
        char* end = nullptr;
        const long n = std::strtol(o.get.c_str(), &end, 10);
        if (*end || n < 1) {
            std::fprintf(stderr, "velkor mail fetch: --get takes a message number or all\n");
            return kExitUsage;
        }
        first = last = static_cast<int>(n - 1);
    }
    if (const int code = CompleteMailLogin(url, "velkor mail fetch", true)) return code;
    CPop3 pop(url.host.c_str(), static_cast<unsigned int>(url.port));
    ConfigureTls(pop, url, o.tls, "fetch");
    if (!pop.Connect()) {
        std::fprintf(stderr, "velkor mail fetch: %s:%d: %s\n", url.host.c_str(), url.port,
                     Printable(pop.GetErrorText()).c_str());
        return pop.GetLastError() == CPop3::kErrTls ? kExitTls : kExitConnect;
    }
    if (!pop.Login(url.user.c_str(), url.password.c_str())) {
        const bool loggedIn = pop.m_bLoggedIn;
        std::fprintf(stderr, "velkor mail fetch: %s%s\n",
                     loggedIn ? "the mailbox listing failed" : "the server refused the log-on",
                     Printable(ReplyText(pop.GetLastReply())).c_str());
        return loggedIn ? kExitTransfer : kExitLogon;
    }
    const int count = pop.GetMsgCount();
    if (o.get == "all") last = count - 1;
    if (last >= count) {
        std::fprintf(stderr, "velkor mail fetch: the mailbox holds %d messages\n", count);
        pop.Logoff();
        return kExitNotFound;
    }
    if (o.list || o.get.empty()) {
        for (int i = 0; i < count; ++i) {
            std::string header;
            pop.GetMsgHeader(i, header);
            std::printf("%4d %10u  %s  %s\n", i + 1, pop.GetMsgLength(i), pop.GetMsgID(i).c_str(),
                        SubjectOf(header).c_str());
        }
    }
    for (int i = first; i <= last; ++i) {
        std::string text;
        std::uint32_t size = 0;
        const std::string uid = pop.GetMsgID(i).empty() ? std::to_string(i + 1) : pop.GetMsgID(i);
        const int ok = WithProgress(uid, pop.GetMsgLength(i), size, o.quiet,
                                    [&] { return pop.GetMsg(i, text, size, 0); });
        if (Interrupted()) {
            std::fprintf(stderr, "velkor mail fetch: interrupted\n");
            return kExitInterrupted;
        }
        if (!ok) {
            std::fprintf(stderr, "velkor mail fetch: message %d: %s\n", i + 1,
                         Printable(pop.GetErrorText()).c_str());
            return kExitTransfer;
        }
        const std::string target = o.dir + "/" + SafeFileName(uid + ".eml", i + 1);
        const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (o.force ? O_TRUNC : O_EXCL);
        LocalFile file(::open(target.c_str(), flags, 0600));
        if (!file.IsOpen() || !file.WriteAll(text.data(), text.size()) || !file.Close()) {
            std::fprintf(stderr, "velkor mail fetch: %s: %s%s\n", target.c_str(), std::strerror(errno),
                         errno == EEXIST ? " (use --force to replace it)" : "");
            pop.Logoff();
            return errno == EEXIST ? kExitExists : kExitWrite;
        }
        std::printf("%s (%zu bytes)\n", target.c_str(), text.size());
        // Deleted only once the file is safely written.
        if (o.remove && !pop.Delete(i)) {
            std::fprintf(stderr, "velkor mail fetch: the server did not delete message %d%s\n", i + 1,
                         Printable(ReplyText(pop.GetLastReply())).c_str());
            return kExitRefused;
        }
    }
    pop.Logoff();
    return kExitOk;
}

}  // namespace

void AddMailCommand(CLI::App& app, int& exitCode) {
    CLI::App* mail = app.add_subcommand("mail", "Read and write mail files");
    mail->footer(kExitCodesHelp);
    mail->require_subcommand(1);
    // Names and texts on the command line and in the terminal are UTF-8.
    const auto useUtf8 = [] {
        std::setlocale(LC_CTYPE, "");
        SetActiveCodePage(kCodePageUtf8);
    };

    auto showPath = std::make_shared<std::string>();
    CLI::App* show = mail->add_subcommand("show", "Print the header and the part tree of a mail");
    show->add_option("file", *showPath, "Mail file (.eml)")->required();
    show->callback([showPath, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunShow(*showPath);
    });

    auto ex = std::make_shared<std::pair<std::string, std::string>>();
    auto force = std::make_shared<bool>(false);
    CLI::App* extract = mail->add_subcommand("extract", "Save the attachments and inline parts of a mail");
    extract->add_option("file", ex->first, "Mail file (.eml)")->required();
    extract->add_option("dir", ex->second, "Folder to write into")->required();
    extract->add_flag("--force", *force, "Replace files that exist");
    extract->callback([ex, force, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunExtract(ex->first, ex->second, *force);
    });

    const auto composeOptions = [](CLI::App* cmd, ComposeOptions& c, bool required) {
        auto* from = cmd->add_option("--from", c.from, "Sender: \"Name <address>\" or address");
        auto* to = cmd->add_option("--to", c.to, "Recipient (repeatable); send with a mail file: whom it goes to,\nwhatever its header names")
                      ->allow_extra_args(false);
        if (required) {
            from->required();
            to->required();
        }
        // One value each, so that a mail file after them is not taken for another.
        cmd->add_option("--cc", c.cc, "Copy recipient (repeatable)")->allow_extra_args(false);
        cmd->add_option("--bcc", c.bcc, "Blind copy recipient (repeatable)")->allow_extra_args(false);
        cmd->add_option("--subject", c.subject, "Subject");
        cmd->add_option("--text", c.text, "Plain text body file, or - for standard input");
        cmd->add_option("--html", c.html, "HTML body file");
        cmd->add_option("--attach", c.attach, "File to attach (repeatable)")->allow_extra_args(false);
        cmd->add_option("--charset", c.charset, "Charset of the text and HTML files");
    };

    auto send = std::make_shared<SendOptions>();
    CLI::App* sendCmd = mail->add_subcommand("send", "Send a mail file (or a new mail) by SMTP");
    sendCmd->add_option("--server", send->server, "smtp://[user@]host[:port], or smtps:// (TLS); the password\nfrom ~/.netrc, VELKOR_PASSWORD or a prompt")->required();
    AddTlsOptions(sendCmd, send->tls, "--starttls", "Upgrade an smtp:// connection with STARTTLS (required)");
    sendCmd->add_option("file", send->file, "Mail file (.eml), or - for standard input");
    sendCmd->add_flag("-q,--quiet", send->quiet, "No progress bar");
    composeOptions(sendCmd, send->compose, false);
    sendCmd->callback([send, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunSend(*send);
    });

    auto fetch = std::make_shared<FetchOptions>();
    CLI::App* fetchCmd = mail->add_subcommand("fetch", "List or fetch the messages of a POP3 mailbox");
    fetchCmd->add_option("server", fetch->server, "pop3://[user@]host[:port], or pop3s:// (TLS); the login\nfrom ~/.netrc, VELKOR_PASSWORD or a prompt")->required();
    AddTlsOptions(fetchCmd, fetch->tls, "--stls", "Upgrade a pop3:// connection with STLS (required)");
    fetchCmd->add_flag("--list", fetch->list, "List number, size, unique id and subject (the default)");
    fetchCmd->add_option("--get", fetch->get, "Message number to fetch, or all");
    fetchCmd->add_flag("--delete", fetch->remove, "Delete each fetched message once it is saved");
    fetchCmd->add_option("-o,--output", fetch->dir, "Folder for the fetched <UID>.eml files");
    fetchCmd->add_flag("--force", fetch->force, "Replace files that exist");
    fetchCmd->add_flag("-q,--quiet", fetch->quiet, "No progress bar");
    fetchCmd->callback([fetch, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunFetch(*fetch);
    });

    auto o = std::make_shared<ComposeOptions>();
    CLI::App* compose = mail->add_subcommand("compose", "Write a new mail file");
    composeOptions(compose, *o, true);
    compose->add_option("-o,--output", o->output, "Mail file to write, or - for standard output")
        ->required();
    compose->callback([o, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunCompose(*o);
    });
}

}  // namespace velkor::tool
