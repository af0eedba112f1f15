// CHttp: GET, POST and HEAD requests for the application, on libcurl.
//
// Replies go into memory (httpGet, httpPost, httpHeader: redirects are not
// followed, a 3xx reply is a success with its own body and headers) or into
// a local file (httpGetFile, httpPostFile: redirects are followed, at most
// kMaxRedirects, http only). Every operation returns 1 on success and sets
// an error code 0-7 with its text (ErrorMessage); the reply's header fields
// stay readable with httpGetHeaderField. The standard header block carries
// Accept, Basic credentials for the server (m_strUser/m_strPassword) and,
// when m_strProxyAuthType is "basic", for the proxy. A caller's own header
// block is sent as it is, with nothing added (libcurl's own Accept,
// Content-Type and Expect lines are removed). The proxy is the one the
// settings store names (ProxyEnable, ProxyServer: "host:port" for all or
// the "http=" item), never one from the environment; the proxy log-on of
// the process-wide proxy document answers a proxy's Basic challenge.
//
// Beyond the older client, where it would hang, lose data or leak:
// - time-outs: no connection within m_nConnectTimeout seconds, or no byte
//   for m_nStallTimeout seconds, ends the request with code 4 "Timed out";
// - the thread's wait hook runs while a request waits (a GUI stays alive);
//   a cancelled wait (CancelBlockingCall) ends the request with code 3;
// - reply bodies keep every byte (NUL bytes included), and request bodies
//   of any length are sent whole; a memory reply's body is handed to the
//   caller rather than copied (m_strResponse is empty afterwards);
// - URL user info never reaches the wire: the request URL is built from
//   server, port and object; Basic credentials are not sent to another
//   host on a redirect;
// - the file forms write into a new file beside the target and replace it
//   only when the whole reply arrived, so a failed download never truncates
//   an existing file;
// - https is refused with code 1 unless m_bAllowHttps is set; then
//   certificates are verified (m_strCaFile names a CA file, "" the system's).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace velkor {

// The libcurl exchange behind the class (not part of the installed API).
struct HttpServiceRequest;
struct HttpServiceReply;

// The base64 form of the bytes of a text, without line breaks.
std::string EncodeTextBase64(const std::string& text);

// What the HTTP service keeps for a CHttp object: its user agent and the
// proxy log-on taken from the proxy document when the object was made.
struct HttpSession {
    std::string userAgent;
    std::string proxyUser;
    std::string proxyPassword;
};

class CHttp {
public:
    // Error codes.
    static constexpr int kSuccessful = 0;
    static constexpr int kInvalidUrl = 1;
    static constexpr int kInvalidParameter = 2;
    static constexpr int kConnectionFailed = 3;
    static constexpr int kTimedOut = 4;
    static constexpr int kNotFound = 5;
    static constexpr int kNotAuthorized = 6;
    static constexpr int kDiskError = 7;
    // Redirects the file forms follow at most.
    static constexpr long kMaxRedirects = 10;
    static constexpr int kDefaultConnectTimeout = 30;
    static constexpr int kDefaultStallTimeout = 60;

    CHttp();
    virtual ~CHttp();
    CHttp(const CHttp&) = delete;
    CHttp& operator=(const CHttp&) = delete;

    int httpGet(const std::string& url, const std::string& headers, std::string& finalUrl,
                std::string& body, int& code, std::string& text);
    int httpPost(const std::string& url, const std::string& headers, const std::string& form,
                 std::string& finalUrl, std::string& body, int& code, std::string& text);
    int httpHeader(const std::string& url, const std::string& headers, std::string& body,
                   int& code, std::string& text);
    // The counters are the caller's: bytes written are added, the content
    // length is written only when the reply names one. The 32-bit counters
    // never wrap: written stops at 4294967295 and a length that does not
    // fit reads 0 (unknown); use the 64-bit forms for files of 4 GiB and more.
    int httpGetFile(const std::string& url, const std::string& headers, const std::string& file,
                    std::uint32_t& contentLength, std::uint32_t& written, int& code,
                    std::string& text);
    int httpPostFile(const std::string& url, const std::string& headers, const std::string& form,
                     const std::string& file, std::uint32_t& contentLength,
                     std::uint32_t& written, int& code, std::string& text);
    int httpGetFile64(const std::string& url, const std::string& headers, const std::string& file,
                      std::uint64_t& contentLength, std::uint64_t& written, int& code,
                      std::string& text);
    int httpPostFile64(const std::string& url, const std::string& headers, const std::string& form,
                       const std::string& file, std::uint64_t& contentLength,
                       std::uint64_t& written, int& code, std::string& text);
    // Always 0; nothing is asked or changed.
    std::uint32_t httpGetFileLength(const std::string& url, const std::string& headers, int& code,
                                    std::string& text);
    std::uint32_t httpPostFileLength(const std::string& url, const std::string& headers,
                                     const std::string& form, int& code, std::string& text);
    // The first header field of the last memory reply with that name (any
    // case; a trailing ':' in the name is ignored); 1 when found.
    int httpGetHeaderField(const std::string& name, std::string& value) const;
    // The status code after "HTTP/1.0 " or "HTTP Error " and its text.
    int httpError(const std::string& status, int& code, std::string& message) const;

    static std::string ErrorMessage(int code);
    static std::string ResponseMessage(int status);

    std::unique_ptr<HttpSession> m_pSession;
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strProxyAuthType;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    std::string m_strUserAgent;
    std::string m_strServer;
    std::string m_strObject;
    std::uint16_t m_nPort = 0;
    std::vector<std::pair<std::string, std::string>> m_arrHeaders;
    std::string m_strResponse;
    std::string m_strURL;

    // Beyond the older client: "host:port" of a proxy to use instead of the
    // system's ("" = the system's), and counters a wait hook may read while
    // a reply arrives (bytes so far; the announced length, -1 when none).
    std::string m_strProxyServer;
    std::uint64_t m_nReceived = 0;
    long long m_nExpected = -1;

    int m_nConnectTimeout = kDefaultConnectTimeout;
    int m_nStallTimeout = kDefaultStallTimeout;
    int m_bAllowHttps = 0;
    std::string m_strCaFile;
    // Beyond the documented members, so that callers can say what happened
    // instead of "Connection failed": the last request's status line ("" when
    // no reply came), libcurl's text of its failure ("" when it did not
    // fail below HTTP), and whether the host or proxy could not be reached.
    std::string m_strLastStatusLine;
    std::string m_strLastError;
    bool m_bLastUnreachable = false;
    // Beyond the documented members: how many redirects a request follows.
    // -1 (the default) keeps the documented rule: the file forms follow up to
    // kMaxRedirects, the memory forms none. 0 follows none, N up to N (a loop
    // then fails with libcurl's text). The file forms never save the body of
    // a redirect they did not follow: that is code 3, and the redirect's
    // header fields (its Location) stay readable with httpGetHeaderField.
    int m_nMaxRedirects = -1;

private:
    int AnalyseURL(const std::string& url, int& code);
    // The shared steps of the memory forms and of the file forms.
    int MemoryRequest(const std::string& verb, const std::string& url, const std::string& headers,
                      const std::string& form, std::string& body, int& code, std::string& text);
    int FileRequest(const std::string& verb, const std::string& url, const std::string& headers,
                    const std::string& form, const std::string& file,
                    std::uint64_t& contentLength, std::uint64_t& written, int& code,
                    std::string& text);
    // The 32-bit form of FileRequest.
    int FileRequest32(const std::string& verb, const std::string& url, const std::string& headers,
                      const std::string& form, const std::string& file,
                      std::uint32_t& contentLength, std::uint32_t& written, int& code,
                      std::string& text);
    std::string CreateStandardHeader() const;
    // Reply into memory / into a file. Always 1; the outcome is the code.
    int SendRequest(const std::string& verb, const std::string& headers, const std::string& body,
                    std::uint32_t& contentLength, std::uint32_t& read, int& code);
    int SendRequest(const std::string& verb, const std::string& headers, const std::string& body,
                    const std::string& file, std::uint64_t& contentLength,
                    std::uint64_t& written, int& code);
    int SplitHeader(std::string raw);
    // The exchange for the current URL: request URL, header lines, proxy,
    // time-outs, redirects (fileForm: the file forms' default).
    HttpServiceRequest MakeRequest(const std::string& verb, const std::string& headers, bool fileForm,
                                   const std::string& body) const;
    // The code of a finished exchange: 0 for a status below 400.
    // The result code of a reply; also keeps its status line and failure text.
    int CodeOf(const HttpServiceReply& reply);

    std::string m_strScheme = "http";
};

}  // namespace velkor
