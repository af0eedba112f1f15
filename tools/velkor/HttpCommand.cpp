// velkor http: GET, HEAD and POST through the library's HTTP client.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>

#include "Commands.h"
#include "Credentials.h"
#include "Interruptible.h"
#include "Progress.h"
#include "TerminalText.h"
#include "platform/LocalFile.h"
#include "web/CHttp.h"
#include "web/CURL.h"

namespace velkor::tool {

namespace {

// How many redirects -L follows unless --max-redirs says otherwise.
constexpr int kDefaultMaxRedirects = 20;

struct HttpOptions {
    std::string url, output, data, user, proxy, proxyUser, caFile;
    std::vector<std::string> headers;  // -H lines
    int timeout = 0;
    int maxRedirects = kDefaultMaxRedirects;
    bool quiet = false;
    bool fail = false;
    bool follow = false;   // -L
    bool include = false;  // -i
};



// The status code of a status line ("HTTP/1.1 404 Not Found"), 0 when none.
int StatusOf(const std::string& line) {
    const std::size_t blank = line.find(' ');
    return blank == std::string::npos ? 0 : std::atoi(line.c_str() + blank + 1);
}

// The exit code of a request's outcome; the table is in the command's help.
int ExitCodeOf(const CHttp& http, int code, bool fail) {
    const int status = StatusOf(http.m_strLastStatusLine);
    switch (code) {
        case CHttp::kSuccessful: return kExitOk;
        case CHttp::kInvalidUrl:
        case CHttp::kInvalidParameter: return kExitUsage;
        case CHttp::kTimedOut: return kExitTimedOut;
        case CHttp::kDiskError: return kExitWrite;
        default: break;
    }
    if (status >= 400) {
        if (fail) return kExitHttpStatus;
        if (status == 401 || status == 403 || status == 407) return kExitLogon;
        return status == 404 ? kExitNotFound : kExitTransfer;
    }
    return http.m_bLastUnreachable ? kExitConnect : kExitTransfer;
}


// The request's header block when -H lines are given: a caller's block
// replaces the library's standard one, so Accept, the form's Content-Type and
// the Basic credentials are added here unless a -H line names them. "" when
// there are no -H lines (the library's standard block). A line with CR or LF
// would smuggle further fields: false.
bool HeaderBlock(const HttpOptions& o, const CHttp& http, bool post, std::string& block) {
    block.clear();
    if (o.headers.empty()) return true;
    auto named = [&](const char* name) {
        const std::size_t length = std::strlen(name);
        for (const std::string& line : o.headers)
            if (line.size() > length && line[length] == ':' && ::strncasecmp(line.c_str(), name, length) == 0)
                return true;
        return false;
    };
    for (const std::string& line : o.headers) {
        if (line.find_first_of("\r\n") != std::string::npos || line.find(':') == std::string::npos)
            return false;
        block += line + "\r\n";
    }
    if (!named("Accept")) block += "Accept: */*\r\n";
    if (post && !named("Content-Type")) block += "Content-Type: application/x-www-form-urlencoded\r\n";
    if (!http.m_strUser.empty() && !named("Authorization"))
        block += "Authorization: Basic " + EncodeTextBase64(http.m_strUser + ":" + http.m_strPassword) + "\r\n";
    if (!http.m_strProxyUser.empty() && !named("Proxy-authorization"))
        block += "Proxy-authorization: Basic " +
                 EncodeTextBase64(http.m_strProxyUser + ":" + http.m_strProxyPassword) + "\r\n";
    block += "\r\n";
    return true;
}

// The host of an http:// address, without user, port or brackets.
std::string HostOf(const std::string& url) {
    CURLComponent parts;
    CURL().Parse(url, parts);
    std::string host = parts.m_strNetLoc;
    if (const std::size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    if (!host.empty() && host[0] == '[') return host.substr(1, host.find(']') - 1);
    return host.substr(0, host.find(':'));
}

// The request's settings from the options; the user and password of
// --user completed from the netrc, the environment or the terminal. 0, or
// the exit code after a message.
int Configure(CHttp& http, const HttpOptions& o) {
    const std::size_t colon = o.user.find(':');
    Login login{o.user.substr(0, colon), colon == std::string::npos ? "" : o.user.substr(colon + 1),
                !o.user.empty(), colon != std::string::npos};
    if (const int code = CompleteLogin("velkor http", HostOf(o.url), false, login)) return code;
    http.m_strUser = login.user;
    http.m_strPassword = login.password;
    http.m_strProxyServer = o.proxy;
    if (!o.proxyUser.empty()) {
        const std::size_t colon = o.proxyUser.find(':');
        http.m_strProxyAuthType = "basic";
        http.m_strProxyUser = o.proxyUser.substr(0, colon);
        http.m_strProxyPassword = colon == std::string::npos ? "" : o.proxyUser.substr(colon + 1);
    }
    if (o.timeout > 0) http.m_nConnectTimeout = http.m_nStallTimeout = o.timeout;
    // https with certificate checks (the system's CA store or --ca-file).
    http.m_bAllowHttps = 1;
    http.m_strCaFile = o.caFile;
    http.m_nMaxRedirects = o.follow ? o.maxRedirects : 0;
    return 0;
}

// Runs a request with Ctrl-C handling and, for files, a progress bar.
int Run(CHttp& http, bool progressBar, const std::function<int()>& call) {
    Progress progress("get", 0, 0, progressBar && ::isatty(STDERR_FILENO));
    const int result = RunInterruptible(
        [&] {
            if (!progressBar) return;
            if (http.m_nExpected > 0) progress.SetTotal(static_cast<std::uint64_t>(http.m_nExpected));
            progress.Update(http.m_nReceived);
        },
        call);
    if (progressBar) progress.Finish(http.m_nReceived);
    return result;
}

// Says why a request failed: the server's status line, libcurl's cause, or
// what was wrong with the address; the exit code.
int Report(const char* verb, const CHttp& http, const HttpOptions& o, int code,
           const std::string& text) {
    if (Interrupted()) {
        std::fprintf(stderr, "velkor http %s: interrupted\n", verb);
        return kExitInterrupted;
    }
    const int status = StatusOf(http.m_strLastStatusLine);
    if (status / 100 == 3 && !o.follow) {
        // A redirect not followed is no answer to what was asked.
        std::string location;
        http.httpGetHeaderField("Location", location);
        location.erase(0, location.find_first_not_of(' '));
        std::fprintf(stderr, "velkor http %s: %s: the server answered %s%s (use -L to follow)\n", verb,
                     o.url.c_str(), Printable(http.m_strLastStatusLine).c_str(),
                     location.empty() ? "" : ("; Location: " + Printable(location)).c_str());
        return kExitTransfer;
    }
    if (code == CHttp::kSuccessful) return kExitOk;
    std::string why = text;
    const bool web = o.url.rfind("http://", 0) == 0 || o.url.rfind("https://", 0) == 0;
    if (code == CHttp::kInvalidUrl && !web)
        why = "only http:// and https:// addresses work";
    else if (status >= 400)
        why = "the server answered " + http.m_strLastStatusLine;
    else if (!http.m_strLastError.empty())
        why = http.m_strLastError;
    std::fprintf(stderr, "velkor http %s: %s: %s\n", verb, o.url.c_str(), Printable(why).c_str());
    return ExitCodeOf(http, code, o.fail);
}

// The status line and header fields as they came, then a blank line.
void PrintHeader(const CHttp& http) {
    std::printf("%s\n", http.m_strLastStatusLine.c_str());
    for (const auto& [name, value] : http.m_arrHeaders) std::printf("%s:%s\n", name.c_str(), value.c_str());
    std::printf("\n");
}

int WriteBody(const CHttp& http, const HttpOptions& o, const std::string& body) {
    if (o.include) PrintHeader(http);
    std::fwrite(body.data(), 1, body.size(), stdout);
    return std::fflush(stdout) == 0 ? kExitOk : kExitWrite;
}

int RunGet(const HttpOptions& o, bool post) {
    const char* verb = post ? "post" : "get";
    std::string form = o.data;
    if (post && !form.empty() && form[0] == '@') {
        if (!ReadRegularFile(form.substr(1), form, 1u << 30)) {
            std::fprintf(stderr, "velkor http post: cannot read %s\n", o.data.c_str() + 1);
            return kExitInput;
        }
    }
    CHttp http;
    if (const int code = Configure(http, o)) return code;
    std::string headers;
    if (!HeaderBlock(o, http, post, headers)) {
        std::fprintf(stderr, "velkor http %s: a -H line must be NAME: VALUE on one line\n", verb);
        return kExitUsage;
    }
    int code = CHttp::kSuccessful;
    std::string text, finalUrl, body;
    if (!o.output.empty()) {
        // The new file goes beside the output: a folder that cannot take it
        // is said before any request.
        const std::size_t slash = o.output.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : o.output.substr(0, slash + 1);
        if (::access(dir.c_str(), W_OK) != 0) {
            std::fprintf(stderr, "velkor http %s: cannot write %s: %s\n", verb, o.output.c_str(),
                         std::strerror(errno));
            return kExitWrite;
        }
        std::uint64_t length = 0, written = 0;
        Run(http, !o.quiet, [&] {
            return post ? http.httpPostFile64(o.url, headers, form, o.output, length, written, code, text)
                        : http.httpGetFile64(o.url, headers, o.output, length, written, code, text);
        });
        if (code == CHttp::kSuccessful && !o.quiet)
            std::fprintf(stderr, "%s: %llu bytes\n", o.output.c_str(),
                         static_cast<unsigned long long>(http.m_nReceived));
        return Report(verb, http, o, code, text);
    }
    Run(http, false, [&] {
        return post ? http.httpPost(o.url, headers, form, finalUrl, body, code, text)
                    : http.httpGet(o.url, headers, finalUrl, body, code, text);
    });
    const int exit = Report(verb, http, o, code, text);
    return exit == kExitOk ? WriteBody(http, o, body) : exit;
}

int RunHead(const HttpOptions& o) {
    CHttp http;
    if (const int code = Configure(http, o)) return code;
    std::string headers;
    if (!HeaderBlock(o, http, false, headers)) {
        std::fprintf(stderr, "velkor http head: a -H line must be NAME: VALUE on one line\n");
        return kExitUsage;
    }
    int code = CHttp::kSuccessful;
    std::string text, body;
    Run(http, false, [&] { return http.httpHeader(o.url, headers, body, code, text); });
    // A redirect's header is the answer to head: it is printed, not refused.
    HttpOptions shown = o;
    shown.follow = true;
    const int exit = Report("head", http, shown, code, text);
    if (exit != kExitOk) return exit;
    PrintHeader(http);
    return kExitOk;
}

void AddCommon(CLI::App* cmd, HttpOptions& o) {
    cmd->add_option("url", o.url, "http:// or https:// address")->required();
    cmd->add_option("--user", o.user, "USER[:PASSWORD] for Basic authentication (no password:\n~/.netrc, VELKOR_PASSWORD or a prompt)");
    AddCredentialOptions(cmd);
    cmd->add_option("--proxy", o.proxy, "HOST:PORT of a proxy instead of the system's");
    cmd->add_option("--proxy-user", o.proxyUser, "USER[:PASSWORD] for the proxy (Basic)");
    cmd->add_option("--timeout", o.timeout, "Seconds to connect, and without a byte, before giving up");
    cmd->add_option("--ca-file", o.caFile, "CA certificates to trust for https");
    cmd->add_flag("-q,--quiet", o.quiet, "No progress bar");
    cmd->add_flag("-f,--fail", o.fail, "Exit 22 on a reply status of 400 or more");
    cmd->add_option("-H,--header", o.headers, "NAME: VALUE header line to send (repeatable)");
    cmd->add_flag("-L,--location", o.follow, "Follow redirects (without it a 3xx reply exits 5)");
    cmd->add_option("--max-redirs", o.maxRedirects, "Redirects -L follows at most (default 20)");
    cmd->footer(kExitCodesHelp);
}

}  // namespace

void AddHttpCommand(CLI::App& app, int& exitCode) {
    CLI::App* http = app.add_subcommand("http", "HTTP requests (GET, HEAD, POST)");
    http->require_subcommand(1);
    http->footer(kExitCodesHelp);

    auto get = std::make_shared<HttpOptions>();
    CLI::App* getCmd = http->add_subcommand("get", "Fetch a resource (to standard output or a file)");
    AddCommon(getCmd, *get);
    getCmd->add_option("-o,--output", get->output, "File to write (replaced only when complete)");
    getCmd->add_flag("-i,--include", get->include, "Print the status line and header before the body");
    getCmd->callback([get, &exitCode] { exitCode = RunGet(*get, false); });

    auto head = std::make_shared<HttpOptions>();
    CLI::App* headCmd = http->add_subcommand("head", "Print a resource's reply header lines");
    AddCommon(headCmd, *head);
    headCmd->callback([head, &exitCode] { exitCode = RunHead(*head); });

    auto post = std::make_shared<HttpOptions>();
    CLI::App* postCmd = http->add_subcommand("post", "Post a form body");
    AddCommon(postCmd, *post);
    postCmd->add_option("--data", post->data, "Form body, or @FILE")->required();
    postCmd->add_option("-o,--output", post->output, "File to write the reply into");
    postCmd->add_flag("-i,--include", post->include, "Print the status line and header before the body");
    postCmd->callback([post, &exitCode] { exitCode = RunGet(*post, true); });
}

}  // namespace velkor::tool
