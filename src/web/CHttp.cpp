// CHttp: requests, the standard header block, and the reply's header list.
#include "web/CHttp.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mail/CMailCommonFunction.h"
#include "platform/CodePage.h"
#include "platform/HttpService.h"
#include "platform/LocalFile.h"
#include "platform/Prefault.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"
#include "proxy/CPRDLDoc.h"
#include "web/CURL.h"

namespace velkor {

namespace {

constexpr const char* kUserAgent = "Mozilla/4.0(compatible;MSIE4.01;windows95)";
// The largest announced body reserved in one piece.
constexpr long long kMaxReserve = 1ll << 30;
constexpr const char* kFormType = "Content-Type: application/x-www-form-urlencoded\r\n";

// The proxy the settings store names for http: "" when none is enabled.
std::string SystemProxy() {
    CSettingsStore store;
    std::uint32_t enabled = 0;
    std::string server;
    if (!store.Open() || !store.QueryNumber("ProxyEnable", enabled) || !enabled ||
        !store.QueryText("ProxyServer", server))
        return {};
    if (server.find('=') == std::string::npos) return text::Trim(server);
    // "http=h:p;ftp=h:p;...": the http item only.
    for (std::size_t pos = 0; pos <= server.size();) {
        const std::size_t semi = std::min(server.find(';', pos), server.size());
        const std::string item = text::Trim(server.substr(pos, semi - pos));
        if (item.size() > 5 && MbcsEqualNoCase(item.substr(0, 5), "http=")) return item.substr(5);
        pos = semi + 1;
    }
    return {};
}

// The header lines of a block (CR LF between them), and whether a field of
// that name is among them.
std::vector<std::string> HeaderLines(const std::string& block) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < block.size();) {
        std::size_t eol = block.find('\n', pos);
        if (eol == std::string::npos) eol = block.size();
        std::string line = block.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        pos = eol + 1;
    }
    return lines;
}

bool HasField(const std::vector<std::string>& lines, const std::string& name) {
    for (const std::string& line : lines) {
        const std::size_t colon = line.find(':');
        if (colon != std::string::npos && MbcsEqualNoCase(text::Trim(line.substr(0, colon)), name))
            return true;
    }
    return false;
}


}  // namespace

std::string EncodeTextBase64(const std::string& text) {
    return CMailCommonFunction::EncodeTextBase64(reinterpret_cast<const unsigned char*>(text.data()),
                                                 static_cast<std::uint32_t>(text.size()), 0);
}

CHttp::CHttp() : m_pSession(std::make_unique<HttpSession>()), m_strUserAgent(kUserAgent) {
    m_pSession->userAgent = m_strUserAgent;
    const CPRDLDoc* doc = CPRDLDoc::Getthis();
    if (doc && doc->m_bLogon) {
        m_pSession->proxyUser = doc->m_strLogonUser;
        m_pSession->proxyPassword = doc->m_strLogonPass;
    }
}

CHttp::~CHttp() = default;

std::string CHttp::ErrorMessage(int code) {
    switch (code) {
        case 0: return "Successful";
        case 1: return "Invalid URL";
        case 2: return "Invalid parameter";
        case 3: return "Connection failed";
        case 4: return "Timed out";
        case 5: return "Not found";
        case 6: return "Not authorized";
        case 7: return "Disk/file error";
        default: {
            char text[64];
            std::snprintf(text, sizeof text, "CTarrowInternet error %d", code);
            return text;
        }
    }
}

std::string CHttp::ResponseMessage(int status) {
    switch (status) {
        case 200: return "OK, request succeeded";
        case 201: return "OK, new resource created.";
        case 202: return "Request accepted but processing not completed.";
        case 204: return "OK, but no content to return.";
        case 301: return "Requested resource has been assigned a new permanent URL.";
        case 302: return "Requested resource resides temporarily under a different URL.";
        case 304: return "Document has not been modified.";
        case 400: return "Bad request.";
        case 401: return "Unauthorized; request requires user authentication.";
        case 403: return "Forbidden for unspecified reason.";
        case 404: return "Not Found.";
        case 407: return "Unauthorized; reject by proxy server.";
        case 500: return "Internal server error.";
        case 501: return "Not implemented.";
        case 502: return "Bad gateway; invalid response from gateway or upstream server.";
        case 503: return "Service temporarily unavailable.";
        default: {
            char text[32];
            std::snprintf(text, sizeof text, "Error %d", status);
            return text;
        }
    }
}

int CHttp::AnalyseURL(const std::string& url, int& code) {
    if (url.empty()) {
        code = kInvalidParameter;
        return 0;
    }
    std::string text = text::Trim(url);
    if (text.find(':') == std::string::npos) text = (text[0] == '/' ? "http:" : "http://") + text;
    CURLComponent parts;
    CURL().Parse(text, parts);
    std::string scheme = parts.m_strScheme;
    MbcsMakeLower(scheme);
    std::string host = parts.m_strNetLoc;
    // User info never goes anywhere.
    const std::size_t at = host.rfind('@');
    if (at != std::string::npos) host.erase(0, at + 1);
    unsigned long port = scheme == "https" ? 443 : 80;
    const std::size_t bracket = host.rfind(']');
    const std::size_t colon = host.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string digits = host.substr(colon + 1);
        char* end = nullptr;
        port = std::strtoul(digits.c_str(), &end, 10);
        if (digits.empty() || *end || port == 0 || port > 65535) {
            code = kInvalidUrl;
            return 0;
        }
        host.resize(colon);
    }
    if (host.empty() || text::BreaksLine(host) || (scheme != "http" && !(scheme == "https" && m_bAllowHttps))) {
        code = kInvalidUrl;
        return 0;
    }
    std::string object = parts.m_strPath.empty() ? "/" : parts.m_strPath;
    if (!parts.m_strParams.empty()) object += ";" + parts.m_strParams;
    if (!parts.m_strQuery.empty()) object += "?" + parts.m_strQuery;
    if (text::BreaksLine(object)) {
        code = kInvalidUrl;
        return 0;
    }
    m_strScheme = scheme;
    m_strServer = host;
    m_strObject = object;
    m_nPort = static_cast<std::uint16_t>(port);
    return 1;
}

std::string CHttp::CreateStandardHeader() const {
    std::string block = "Accept: */*\r\n";
    if (m_strProxyAuthType == "basic" && !m_strProxyUser.empty())
        block += "Proxy-authorization: Basic " +
                 EncodeTextBase64(m_strProxyUser + ":" + m_strProxyPassword) + "\r\n";
    if (!m_strUser.empty())
        block += "Authorization: Basic " + EncodeTextBase64(m_strUser + ":" + m_strPassword) + "\r\n";
    return block + "\r\n";
}

HttpServiceRequest CHttp::MakeRequest(const std::string& verb, const std::string& headers,
                                      bool fileForm, const std::string& body) const {
    HttpServiceRequest r;
    r.method = verb;
    const long redirects = m_nMaxRedirects >= 0 ? m_nMaxRedirects : fileForm ? kMaxRedirects : 0;
    r.followRedirects = redirects > 0;
    r.maxRedirects = redirects;
    const bool v6 = m_strServer.find(':') != std::string::npos && m_strServer[0] != '[';
    r.url = m_strScheme + "://" + (v6 ? "[" + m_strServer + "]" : m_strServer) + ":" +
            std::to_string(m_nPort) + m_strObject;
    r.headers = HeaderLines(headers);
    // libcurl adds these of its own; only the block's own are sent.
    for (const char* name : {"Accept", "Content-Type", "Expect"})
        if (!HasField(r.headers, name)) r.suppressed.push_back(name);
    r.body = verb == "POST" ? body : std::string();
    r.referer = m_strServer;
    r.userAgent = m_pSession->userAgent;
    r.proxy = m_strProxyServer.empty() ? SystemProxy() : m_strProxyServer;
    if (!HasField(r.headers, "Proxy-authorization")) {
        r.proxyUser = m_pSession->proxyUser;
        r.proxyPassword = m_pSession->proxyPassword;
    }
    r.allowHttps = m_bAllowHttps != 0;
    r.caFile = m_strCaFile;
    r.connectTimeoutSeconds = m_nConnectTimeout;
    r.stallTimeoutSeconds = m_nStallTimeout;
    return r;
}

// The header block of the last reply: followed redirects leave theirs first.
static std::string LastHeaderBlock(const std::string& raw) {
    const std::size_t last = raw.rfind("\r\nHTTP/");
    return last == std::string::npos ? raw : raw.substr(last + 2);
}

int CHttp::CodeOf(const HttpServiceReply& reply) {
    const std::string block = LastHeaderBlock(reply.rawHeaders);
    m_strLastStatusLine = block.compare(0, 5, "HTTP/") == 0 ? block.substr(0, block.find("\r\n")) : std::string();
    m_strLastError = reply.error;
    m_bLastUnreachable = reply.unreachable;
    switch (reply.outcome) {
        case HttpServiceReply::kTimedOut: return kTimedOut;
        case HttpServiceReply::kDone: break;
        default: return kConnectionFailed;
    }
    // No status read counts as 200.
    const long status = reply.status == 0 ? 200 : reply.status;
    if (status < 400) return kSuccessful;
    if (status == 403 || status == 407) return kNotAuthorized;
    if (status == 404) return kNotFound;
    return kConnectionFailed;
}

int CHttp::SendRequest(const std::string& verb, const std::string& headers,
                       const std::string& body, std::uint32_t& contentLength,
                       std::uint32_t& read, int& code) {
    m_strResponse.clear();
    HttpServiceRequest request = MakeRequest(verb, headers, false, body);
    m_nReceived = 0;
    m_nExpected = -1;
    request.expectedLength = &m_nExpected;
    request.sink = [this, &read](const char* data, std::size_t size) {
        // The announced length is reserved (and its pages mapped) at once:
        // a large body is not copied and faulted in again as it grows.
        if (m_strResponse.empty() && m_nExpected > 0 && m_nExpected <= kMaxReserve) {
            m_strResponse.reserve(static_cast<std::size_t>(m_nExpected));
            PrefaultForWrite(m_strResponse.data(), static_cast<std::size_t>(m_nExpected));
        }
        m_strResponse.append(data, size);  // every byte, NUL included
        read += static_cast<std::uint32_t>(size);
        m_nReceived += size;
        return true;
    };
    const HttpServiceReply reply = PerformHttpRequest(request);
    code = CodeOf(reply);
    if (code != kSuccessful) {
        m_strResponse.clear();
        return 1;
    }
    if (reply.contentLength >= 0) contentLength = static_cast<std::uint32_t>(reply.contentLength);
    m_strURL = reply.effectiveUrl;
    SplitHeader(LastHeaderBlock(reply.rawHeaders));
    return 1;
}

int CHttp::SendRequest(const std::string& verb, const std::string& headers,
                       const std::string& body, const std::string& file,
                       std::uint64_t& contentLength, std::uint64_t& written, int& code) {
    // Written into a new file beside the target, which replaces it only
    // when the whole reply arrived.
    std::string temp = file + ".velkor-XXXXXX";
    LocalFile out(::mkstemp(temp.data()));
    if (!out.IsOpen()) {
        code = kConnectionFailed;
        return 1;
    }
    const mode_t mode = 0666 & ~CurrentUmask();
    out.SetMode(mode);
    BufferedFileWriter writer(out);
    HttpServiceRequest request = MakeRequest(verb, headers, true, body);
    std::uint64_t got = 0;
    m_nReceived = 0;
    m_nExpected = -1;
    request.expectedLength = &m_nExpected;
    request.sink = [this, &writer, &got](const char* data, std::size_t size) {
        got += size;
        m_nReceived += size;
        return writer.Append(data, size);
    };
    const HttpServiceReply reply = PerformHttpRequest(request);
    code = CodeOf(reply);
    if (code == kSuccessful && reply.status / 100 == 3) {
        code = kConnectionFailed;  // not followed: its Location stays readable
        SplitHeader(LastHeaderBlock(reply.rawHeaders));
    }
    const bool saved = code == kSuccessful && writer.Flush() && out.Close() &&
                       std::rename(temp.c_str(), file.c_str()) == 0;
    if (!saved) {
        out.Close();
        ::unlink(temp.c_str());
        if (code == kSuccessful) code = kConnectionFailed;
        return 1;
    }
    written += got;
    if (reply.contentLength >= 0) contentLength = static_cast<std::uint64_t>(reply.contentLength);
    m_strURL = reply.effectiveUrl;
    return 1;
}

int CHttp::MemoryRequest(const std::string& verb, const std::string& url,
                         const std::string& headers, const std::string& form, std::string& body,
                         int& code, std::string& text) {
    m_strLastStatusLine.clear();
    m_strLastError.clear();
    m_bLastUnreachable = false;
    if (!AnalyseURL(url, code)) return 0;
    code = kSuccessful;
    std::uint32_t length = 0, read = 0;
    const std::string standard = verb == "GET" ? CreateStandardHeader() : kFormType + CreateStandardHeader();
    SendRequest(verb, headers.empty() ? standard : headers, form, length, read, code);
    body = std::move(m_strResponse);  // the body is handed out, not copied
    m_strResponse.clear();
    text = ErrorMessage(code);
    return code == kSuccessful ? 1 : 0;
}

int CHttp::FileRequest(const std::string& verb, const std::string& url, const std::string& headers,
                       const std::string& form, const std::string& file,
                       std::uint64_t& contentLength, std::uint64_t& written, int& code,
                       std::string& text) {
    m_strLastStatusLine.clear();
    m_strLastError.clear();
    m_bLastUnreachable = false;
    if (!AnalyseURL(url, code)) return 0;
    if (file.empty()) {
        code = kInvalidParameter;
        return 0;
    }
    code = kSuccessful;
    const std::string standard = verb == "GET" ? CreateStandardHeader() : kFormType + CreateStandardHeader();
    SendRequest(verb, headers.empty() ? standard : headers, form, file, contentLength, written, code);
    text = ErrorMessage(code);
    return code == kSuccessful ? 1 : 0;
}

int CHttp::FileRequest32(const std::string& verb, const std::string& url,
                         const std::string& headers, const std::string& form,
                         const std::string& file, std::uint32_t& contentLength,
                         std::uint32_t& written, int& code, std::string& text) {
    constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;
    std::uint64_t length = contentLength, count = written;
    const int result = FileRequest(verb, url, headers, form, file, length, count, code, text);
    if (length != contentLength) contentLength = length <= kMax32 ? static_cast<std::uint32_t>(length) : 0;
    written = static_cast<std::uint32_t>(std::min(count, kMax32));
    return result;
}

int CHttp::httpGet(const std::string& url, const std::string& headers, std::string& finalUrl,
                   std::string& body, int& code, std::string& text) {
    const int result = MemoryRequest("GET", url, headers, "", body, code, text);
    if (code != kInvalidUrl && code != kInvalidParameter) finalUrl = m_strURL;
    return result;
}

int CHttp::httpPost(const std::string& url, const std::string& headers, const std::string& form,
                    std::string& finalUrl, std::string& body, int& code, std::string& text) {
    const int result = MemoryRequest("POST", url, headers, form, body, code, text);
    if (code != kInvalidUrl && code != kInvalidParameter) finalUrl = m_strURL;
    return result;
}

int CHttp::httpHeader(const std::string& url, const std::string& headers, std::string& body,
                      int& code, std::string& text) {
    return MemoryRequest("HEAD", url, headers, "", body, code, text);
}

int CHttp::httpGetFile(const std::string& url, const std::string& headers, const std::string& file,
                       std::uint32_t& contentLength, std::uint32_t& written, int& code,
                       std::string& text) {
    return FileRequest32("GET", url, headers, "", file, contentLength, written, code, text);
}

int CHttp::httpGetFile64(const std::string& url, const std::string& headers,
                         const std::string& file, std::uint64_t& contentLength,
                         std::uint64_t& written, int& code, std::string& text) {
    return FileRequest("GET", url, headers, "", file, contentLength, written, code, text);
}

int CHttp::httpPostFile(const std::string& url, const std::string& headers,
                        const std::string& form, const std::string& file,
                        std::uint32_t& contentLength, std::uint32_t& written, int& code,
                        std::string& text) {
    return FileRequest32("POST", url, headers, form, file, contentLength, written, code, text);
}

int CHttp::httpPostFile64(const std::string& url, const std::string& headers,
                          const std::string& form, const std::string& file,
                          std::uint64_t& contentLength, std::uint64_t& written, int& code,
                          std::string& text) {
    return FileRequest("POST", url, headers, form, file, contentLength, written, code, text);
}

std::uint32_t CHttp::httpGetFileLength(const std::string&, const std::string&, int&,
                                       std::string&) {
    return 0;
}

std::uint32_t CHttp::httpPostFileLength(const std::string&, const std::string&,
                                        const std::string&, int&, std::string&) {
    return 0;
}

int CHttp::SplitHeader(std::string raw) {
    m_arrHeaders.clear();
    if (raw.empty() || raw.back() != '\n') raw += '\n';
    for (std::size_t pos = 0, eol; (eol = raw.find('\n', pos)) != std::string::npos; pos = eol + 1) {
        const std::string line = raw.substr(pos, eol - pos);  // a trailing CR stays
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        m_arrHeaders.emplace_back(text::TrimLeft(line.substr(0, colon)),
                                  text::TrimRight(line.substr(colon + 1)));
    }
    return 1;
}

int CHttp::httpGetHeaderField(const std::string& name, std::string& value) const {
    value.clear();
    std::string key = name;
    MbcsMakeLower(key);
    if (!key.empty() && key.back() == ':') key.pop_back();
    for (const auto& [fieldName, fieldValue] : m_arrHeaders) {
        std::string lower = fieldName;
        MbcsMakeLower(lower);
        if (lower == key) {
            value = fieldValue;
            return 1;
        }
    }
    return 0;
}

int CHttp::httpError(const std::string& status, int& code, std::string& message) const {
    std::size_t hit = status.find("HTTP/1.0 ");
    std::size_t skip = 9;
    if (hit == std::string::npos) {
        hit = status.find("HTTP Error ");
        skip = 11;
    }
    if (hit == std::string::npos) {
        code = 0;
        message.clear();
        return 0;
    }
    code = std::atoi(status.substr(hit + skip, 3).c_str());
    message = ResponseMessage(code);
    return 1;
}

}  // namespace velkor
