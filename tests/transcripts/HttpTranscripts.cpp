// CHttp against scripted HTTP peers: every transcript in transcripts/http.
// Each request is one peer connection (S: <next> between them); the peer
// closes when its lines are done.
//
// Calls: httpGet URL HEADERS, httpPost URL HEADERS FORM, httpHeader URL
// HEADERS, httpGetFile URL HEADERS FILE [WRITTEN] (the written counter starts
// at WRITTEN), httpGetFileLength URL HEADERS, httpGetHeaderField NAME,
// "set FIELD VALUE" (m_strUser, m_strProxyAuthType, m_strProxyUser,
// m_nStallTimeout, m_strPassword, m_strProxyPassword, m_bAllowHttps,
// m_strCaFile), "env NAME VALUE" (set for the case, unset after),
// "system-proxy TEXT" (the settings store's proxy item, in the case's
// folder), and CancelAtHookCall N (the wait hook cancels the wait at its Nth
// call). Observed: code, text, body, body-has TEXT, finalUrl, value (of the
// last field asked), length and written (of the last file form), hook-calls;
// and URLs without a request: url-parts URL ("scheme|netloc|path|params|
// query|fragment", the path "untouched" when it sets none), url-combine URL
// (parsed and put together again), scheme-valid TEXT, absolute BASE REL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "Transcript.h"
#include "platform/SettingsStore.h"
#include "platform/WaitHook.h"
#include "web/CHttp.h"
#include "web/CURL.h"

namespace velkor::test {
namespace {

class HttpClient : public TranscriptClient {
public:
    explicit HttpClient(const Vars& vars) : m_tmp(vars.at("tmp")) {}
    ~HttpClient() override {
        for (const std::string& name : m_env) ::unsetenv(name.c_str());
        if (m_settings) CSettingsStore::SetLocation("");
    }

    std::string Call(const std::string& name, const Words& a) override {
        if (name == "httpGet") return Str(m_http.httpGet(a.at(0), a.at(1), m_finalUrl, m_body, m_code, m_text));
        if (name == "httpPost")
            return Str(m_http.httpPost(a.at(0), a.at(1), a.at(2), m_finalUrl, m_body, m_code, m_text));
        if (name == "httpHeader") return Str(m_http.httpHeader(a.at(0), a.at(1), m_body, m_code, m_text));
        if (name == "httpGetFile") {
            m_written = a.size() > 3 ? static_cast<std::uint32_t>(std::stoul(a[3])) : 0;
            return Str(m_http.httpGetFile(a.at(0), a.at(1), a.at(2), m_length, m_written, m_code, m_text));
        }
        if (name == "httpGetFileLength") return Str(m_http.httpGetFileLength(a.at(0), a.at(1), m_code, m_text));
        if (name == "httpGetHeaderField") return Str(m_http.httpGetHeaderField(a.at(0), m_value));
        if (name == "env") {
            ::setenv(a.at(0).c_str(), a.at(1).c_str(), 1);
            m_env.push_back(a.at(0));
            return "";
        }
        if (name == "system-proxy") {
            CSettingsStore::SetLocation(m_tmp + "/settings");
            m_settings = true;
            CSettingsStore store;
            if (!store.Open()) throw std::runtime_error("cannot open the settings");
            store.SetNumber("ProxyEnable", 1);
            store.SetText("ProxyServer", a.at(0));
            if (!store.Close()) throw std::runtime_error("cannot write the settings");
            return "";
        }
        if (name == "CancelAtHookCall") {
            const int at = std::stoi(a.at(0));
            m_hook = std::make_unique<ScopedWaitHook>([this, at] {
                if (++m_hookCalls == at) CancelBlockingCall();
            });
            return "";
        }
        if (name == "set") {
            const std::string& f = a.at(0);
            if (f == "m_strUser") m_http.m_strUser = a.at(1);
            else if (f == "m_strProxyAuthType") m_http.m_strProxyAuthType = a.at(1);
            else if (f == "m_strProxyUser") m_http.m_strProxyUser = a.at(1);
            else if (f == "m_nStallTimeout") m_http.m_nStallTimeout = std::stoi(a.at(1));
            else if (f == "m_strPassword") m_http.m_strPassword = a.at(1);
            else if (f == "m_strProxyPassword") m_http.m_strProxyPassword = a.at(1);
            else if (f == "m_bAllowHttps") m_http.m_bAllowHttps = std::stoi(a.at(1));
            else if (f == "m_strCaFile") m_http.m_strCaFile = a.at(1);
            else throw std::invalid_argument("no field " + f);
            return "";
        }
        throw std::invalid_argument("no call " + name);
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "body-has") return Str(m_body.find(a.at(0)) != std::string::npos);
        if (name == "url-parts" || name == "url-combine") {
            CURLComponent parts;
            parts.m_strPath = "untouched";
            CURL().Parse(a.at(0), parts);
            if (name == "url-combine") return CURL().Combine(parts);
            return parts.m_strScheme + "|" + parts.m_strNetLoc + "|" + parts.m_strPath + "|" + parts.m_strParams +
                   "|" + parts.m_strQuery + "|" + parts.m_strFragment;
        }
        if (name == "scheme-valid") return Str(CURL().IsSchemeValid(a.at(0)));
        if (name == "absolute") return CURL().GetAbsoluteURL(a.at(0), a.at(1));
        if (name == "code") return Str(m_code);
        if (name == "text") return m_text;
        if (name == "body") return m_body;
        if (name == "finalUrl") return m_finalUrl;
        if (name == "value") return m_value;
        if (name == "length") return Str(m_length);
        if (name == "written") return Str(m_written);
        if (name == "hook-calls-at-least-10") return Str(m_hookCalls >= 10);
        throw std::invalid_argument("no observation " + name);
    }

private:
    std::string m_tmp;
    bool m_settings = false;
    CHttp m_http;
    std::unique_ptr<ScopedWaitHook> m_hook;
    std::vector<std::string> m_env;
    std::string m_finalUrl, m_body, m_text = "untouched", m_value;
    int m_code = -1;
    std::uint32_t m_length = 0, m_written = 0;
    int m_hookCalls = 0;
};

const TranscriptFamily kHttp{"http", "", [](const Vars& vars) {
                                 return std::unique_ptr<TranscriptClient>(new HttpClient(vars));
                             }, true};

VELKOR_TRANSCRIPT_SUITE(HttpTranscript, kHttp);

}  // namespace
}  // namespace velkor::test
