// HttpService: libcurl's multi interface, polled with the thread's wait hook.
#include "platform/HttpService.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/WaitHook.h"

namespace velkor {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Exchange {
    const HttpServiceRequest* request = nullptr;
    HttpServiceReply* reply = nullptr;
    CURL* easy = nullptr;
    bool sinkFailed = false;
    bool statusChecked = false;
    bool discard = false;  // status of 400 or more: the body is not wanted
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    x->lastActivity = std::chrono::steady_clock::now();
    // Each response (100 Continue, a redirect hop, a proxy's CONNECT answer)
    // starts with its status line: only the last one's lines are kept.
    if (n >= 5 && std::equal(data, data + 5, "HTTP/")) {
        x->reply->rawHeaders.clear();
        x->statusChecked = false;
    }
    x->reply->rawHeaders.append(data, n);
    return n;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* x = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    x->lastActivity = std::chrono::steady_clock::now();
    if (!x->statusChecked) {
        long status = 0;
        curl_easy_getinfo(x->easy, CURLINFO_RESPONSE_CODE, &status);
        x->discard = status >= 400;
        x->statusChecked = true;
        if (x->request->expectedLength) {
            curl_off_t length = -1;
            curl_easy_getinfo(x->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
            *x->request->expectedLength = length;
        }
    }
    // An error reply's body is not read: stop here.
    if (x->discard) return CURL_WRITEFUNC_ERROR;
    if (x->request->sink && !x->request->sink(data, n)) {
        x->sinkFailed = true;
        return CURL_WRITEFUNC_ERROR;
    }
    return n;
}

// How long a wait without a hook sleeps before looking at the stall clock.
constexpr int kIdlePollMs = 200;

using EasyPtr = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using MultiPtr = std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)>;
using ListPtr = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

}  // namespace

HttpServiceReply PerformHttpRequest(const HttpServiceRequest& request) {
    GlobalInit();
    HttpServiceReply reply;
    EasyPtr easy(curl_easy_init(), curl_easy_cleanup);
    MultiPtr multi(curl_multi_init(), curl_multi_cleanup);
    if (!easy || !multi) {
        reply.error = "libcurl could not start";
        return reply;
    }
    CURL* e = easy.get();
    Exchange x{&request, &reply, e};
    curl_slist* list = nullptr;
    for (const std::string& line : request.headers) list = curl_slist_append(list, line.c_str());
    for (const std::string& name : request.suppressed)
        list = curl_slist_append(list, (name + ":").c_str());
    ListPtr headers(list, curl_slist_free_all);

    const bool head = request.method == "HEAD";
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, request.allowHttps ? "http,https" : "http");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, request.allowHttps ? "http,https" : "http");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(e, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (!request.referer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, request.referer.c_str());
    // Explicit, so that http_proxy and no_proxy in the environment change nothing.
    curl_easy_setopt(e, CURLOPT_PROXY, request.proxy.c_str());
    if (!request.proxy.empty() && !request.proxyUser.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, request.proxyUser.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str());
        curl_easy_setopt(e, CURLOPT_PROXYAUTH, CURLAUTH_BASIC);
    }
    if (request.method == "POST") {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, request.body.data());
    } else if (head) {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, request.maxRedirects);
    // Credentials in our header lines never go to another host on a redirect.
    curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
    if (request.allowHttps) {
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!request.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, request.caFile.c_str());
    }
    if (request.connectTimeoutSeconds > 0)
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, request.connectTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 256L * 1024);
    char detail[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, detail);

    curl_multi_add_handle(multi.get(), e);
    CURLcode result = CURLE_OK;
    bool cancelled = false, stalled = false;
    const auto stallLimit = std::chrono::seconds(request.stallTimeoutSeconds);
    for (;;) {
        int running = 0;
        curl_multi_perform(multi.get(), &running);
        int queued = 0;
        bool done = false;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                result = msg->data.result;
                done = true;
            }
        }
        if (done || running == 0) break;
        if (!detail::RunWaitHookAndCheckCancel()) {
            cancelled = true;
            break;
        }
        // Sleeps in poll until there is work, waking to run the hook.
        curl_multi_poll(multi.get(), nullptr, 0, HasWaitHook() ? kHookPeriodMs : kIdlePollMs, nullptr);
        if (detail::TakeCancelRequest()) {
            cancelled = true;
            break;
        }
        // No byte of the reply for that long (counted from the request
        // until the first byte): the exchange has stalled.
        if (request.stallTimeoutSeconds > 0 &&
            std::chrono::steady_clock::now() - x.lastActivity > stallLimit) {
            stalled = true;
            break;
        }
    }
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &reply.status);
    char* effective = nullptr;
    if (curl_easy_getinfo(e, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        reply.effectiveUrl = effective;
    curl_off_t length = -1;
    if (curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK)
        reply.contentLength = length;
    curl_multi_remove_handle(multi.get(), e);

    if (cancelled) reply.outcome = HttpServiceReply::kCancelled;
    else if (stalled) reply.outcome = HttpServiceReply::kTimedOut;
    else if (x.sinkFailed) reply.outcome = HttpServiceReply::kSinkFailed;
    else if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && x.discard))
        reply.outcome = HttpServiceReply::kDone;
    else if (result == CURLE_OPERATION_TIMEDOUT) reply.outcome = HttpServiceReply::kTimedOut;
    else reply.outcome = HttpServiceReply::kFailed;
    if (reply.outcome != HttpServiceReply::kDone && result != CURLE_OK)
        reply.error = detail[0] ? detail : curl_easy_strerror(result);
    reply.unreachable = result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
                        result == CURLE_COULDNT_RESOLVE_PROXY;
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, nullptr);
    return reply;
}

}  // namespace velkor
