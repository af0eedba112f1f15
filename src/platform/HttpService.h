// HttpService: one HTTP exchange through libcurl, for the HTTP client.
//
// Offers exactly what CHttp needs: a request with verb, URL, header lines,
// body, referer, user agent, an explicit proxy (never one from the
// environment), redirect rules and time-outs; the reply's status, raw
// header block (of the final response only: it restarts at every status
// line, so 100 Continue, redirect hops and proxy CONNECT answers are not
// in it), final URL and Content-Length; the body handed to a sink only
// while the status is below 400. While it waits, the thread's wait hook
// runs; a cancelled wait (CancelBlockingCall) ends the exchange.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace velkor {

struct HttpServiceRequest {
    std::string method = "GET";      // GET, POST or HEAD
    std::string url;                 // without user info
    std::vector<std::string> headers;  // header lines without CR LF
    // Header names libcurl would add of its own that must not be sent
    // ("Accept", "Content-Type", "Expect").
    std::vector<std::string> suppressed;
    std::string body;
    std::string referer;
    std::string userAgent;
    std::string proxy;               // "" = none, else "host:port"
    std::string proxyUser, proxyPassword;  // for the proxy's Basic challenge
    bool followRedirects = false;
    long maxRedirects = 0;
    bool allowHttps = false;         // https URLs and redirects (certificates verified)
    std::string caFile;              // "" = the system's CA store
    long connectTimeoutSeconds = 0;  // 0 = libcurl's default
    long stallTimeoutSeconds = 0;    // no byte for this long ends it; 0 = never
    // When not null: set to the reply's Content-Length (or -1) as its body
    // begins, for progress displays.
    long long* expectedLength = nullptr;
    // Receives the body; false stops the exchange (kSinkFailed).
    std::function<bool(const char* data, std::size_t size)> sink;
};

struct HttpServiceReply {
    enum Outcome { kDone, kFailed, kTimedOut, kCancelled, kSinkFailed };
    Outcome outcome = kFailed;
    long status = 0;
    std::string rawHeaders;          // lines ending in CR LF, status line first
    std::string effectiveUrl;
    long long contentLength = -1;    // -1 when the reply names none
    std::string error;               // libcurl's text for a failure
    bool unreachable = false;        // the host or proxy could not be resolved or reached
};

HttpServiceReply PerformHttpRequest(const HttpServiceRequest& request);

}  // namespace velkor
