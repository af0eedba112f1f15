#include "FtpUrl.h"

#include <charconv>

#include "platform/Text.h"
#include "web/CURL.h"

namespace velkor::tool {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool PercentDecode(const std::string& in, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        if (i + 2 >= in.size()) return false;
        const int hi = HexValue(in[i + 1]), lo = HexValue(in[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

}  // namespace

bool ParseFtpUrl(const std::string& text, FtpUrl& out, std::string& error) {
    out.implicitTls = text.compare(0, 7, "ftps://") == 0;
    if (!out.implicitTls) {
        if (ParseServerUrl(text, "ftp://", out, error)) return true;
        if (text.compare(0, 6, "ftp://") != 0) error = "the address must begin with ftp:// or ftps://";
        return false;
    }
    out.port = 990;
    return ParseServerUrl(text, "ftps://", out, error);
}

bool ParseMailUrl(const std::string& text, const std::string& protocol, FtpUrl& out,
                  std::string& error) {
    out.user.clear();
    out.password.clear();
    out.implicitTls = text.compare(0, protocol.size() + 4, protocol + "s://") == 0;
    const bool smtp = protocol == "smtp";
    out.port = out.implicitTls ? (smtp ? 465 : 995) : (smtp ? 25 : 110);
    const std::string scheme = protocol + (out.implicitTls ? "s://" : "://");
    if (!ParseServerUrl(text, scheme, out, error)) {
        if (!out.implicitTls && text.compare(0, scheme.size(), scheme) != 0)
            error = "the address must begin with " + scheme + " or " + protocol + "s://";
        return false;
    }
    if (!out.path.empty()) {
        error = "a " + scheme + " address has no path";
        return false;
    }
    return true;
}

bool ParseServerUrl(const std::string& text, const std::string& scheme, FtpUrl& out,
                    std::string& error) {
    if (text.compare(0, scheme.size(), scheme) != 0) {
        error = "the address must begin with " + scheme;
        return false;
    }
    // The library's URL model finds the network location; everything after
    // it is the path (";", "?" and "#" are ordinary file name bytes here).
    CURLComponent parts;
    CURL().Parse(text, parts);
    std::string authority = parts.m_strNetLoc;
    const std::size_t start = scheme.size();
    if (text.compare(start, authority.size(), authority) != 0) {
        error = "malformed address";
        return false;
    }
    const std::string rawPath = text.substr(start + authority.size());

    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
        const std::size_t colon = userInfo.find(':');
        if (!PercentDecode(userInfo.substr(0, colon), out.user) ||
            (colon != std::string::npos &&
             !PercentDecode(userInfo.substr(colon + 1), out.password))) {
            error = "bad percent escape in the user or password";
            return false;
        }
        if (colon == std::string::npos) out.password.clear();
        out.hasUser = true;
        out.hasPassword = colon != std::string::npos;
    }
    // An IPv6 address goes in brackets: "[::1]:2121".
    std::string bracketed;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos || close == 1 ||
            (close + 1 < authority.size() && authority[close + 1] != ':')) {
            error = "malformed [IPv6] host";
            return false;
        }
        bracketed = authority.substr(1, close - 1);
        authority.replace(0, close + 1, "h");  // the port stays behind it
    }
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
        const char* first = authority.data() + colon + 1;
        const char* last = authority.data() + authority.size();
        const auto [end, ec] = std::from_chars(first, last, out.port);
        if (ec != std::errc() || end != last || out.port < 1 || out.port > 65535) {
            error = "bad port";
            return false;
        }
        authority.resize(colon);
    }
    if (authority.empty()) {
        error = "no host";
        return false;
    }
    out.host = bracketed.empty() ? authority : bracketed;
    if (bracketed.empty() && out.host.find_first_of("[]") != std::string::npos) {
        error = "malformed host";
        return false;
    }
    if (!PercentDecode(rawPath, out.path)) {
        error = "bad percent escape in the path";
        return false;
    }
    if (out.path == "/") out.path.clear();
    // A decoded CR or LF would end the command it goes into and start
    // another one ("%0d%0aDELE x"); NUL would cut it.
    for (const std::string* field : {&out.user, &out.password, &out.path}) {
        if (text::BreaksLine(*field)) {
            error = "CR, LF or NUL in the address";
            return false;
        }
    }
    return true;
}

}  // namespace velkor::tool
