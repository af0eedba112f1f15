#include "proxy/CPRDLDoc.h"

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/CodePage.h"
#include "platform/SettingsStore.h"
#include "platform/Text.h"

namespace velkor {

CPRDLDoc* CPRDLDoc::m_pthis = nullptr;

namespace {

// One proxy of the document: its element, its name in the ProxyServer
// text, and the members that hold its host and port.
struct ProxyEntry {
    const char* element;
    const char* setting;
    std::string CPRDLDoc::*host;
    int CPRDLDoc::*port;
};

constexpr ProxyEntry kEntries[] = {
    {"http", "http", &CPRDLDoc::m_strHttpHost, &CPRDLDoc::m_nHttpPort},
    {"ftp", "ftp", &CPRDLDoc::m_strFtpHost, &CPRDLDoc::m_nFtpPort},
    {"secure", "https", &CPRDLDoc::m_strSecureHost, &CPRDLDoc::m_nSecurePort},
    {"socks", "socks", &CPRDLDoc::m_strSocksHost, &CPRDLDoc::m_nSocksPort},
    {"gopher", "gopher", &CPRDLDoc::m_strGopherHost, &CPRDLDoc::m_nGopherPort},
};

// The decimal value of the leading digits; 0 when there are none.
int LeadingNumber(const std::string& s) {
    long long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') break;
        v = v * 10 + (c - '0');
        if (v > 0x7FFFFFFF) return 0x7FFFFFFF;
    }
    return static_cast<int>(v);
}

// "host:port" (or "host" alone, port 0; "[::1]:1080" for IPv6).
void SplitHostPort(const std::string& item, std::string& host, int& port) {
    const text::HostPort parts = text::SplitHostPort(item);
    host = parts.host;
    port = std::atoi(parts.port.c_str());
}

}  // namespace

CPRDLDoc::~CPRDLDoc() {
    if (m_pthis == this) m_pthis = nullptr;
}

int CPRDLDoc::NewXMLDoc(const std::string& path) {
    m_strPath = path;
    if (!SetXml(kNewDocument)) return 0;
    if (!m_strPath.empty()) SaveXMLDoc();
    return 1;
}

int CPRDLDoc::InitPrdlDoc() {
    PreUpdateVersion();
    const int open = GetTagLine(0, "proxy");
    const int close = open < 0 ? -1 : GetMatchTagLine(open);
    if (open < 0 || close < 0) return 0;
    InitProxyConfig(open, close);
    AfterUpdateVersion();
    return 1;
}

int CPRDLDoc::InitProxyConfig(int first, int end) {
    for (int i = first; i < end; ++i) {
        const CXMLLine* line = GetLineAt(i);
        if (!line) break;
        if (line->IsElementOK("proxy")) {
            m_bEnable = line->GetAttrValue("enable") == "yes" ? 1 : 0;
            m_bLogon = line->GetAttrValue("logon") == "yes" ? 1 : 0;
            m_strLogonUser = line->GetAttrValue("user");
            m_strLogonPass = line->GetAttrValue("pass");
        }
        for (const ProxyEntry& entry : kEntries) {
            if (!line->IsElementOK(entry.element)) continue;
            this->*entry.host = line->GetAttrValue("host");
            this->*entry.port = LeadingNumber(line->GetAttrValue("port"));
        }
    }
    ReadProxyFromReg();
    return 1;
}

int CPRDLDoc::ReadProxyFromReg() {
    CSettingsStore store;
    if (!store.Open()) return 0;
    std::uint32_t enable = 0;
    if (!store.QueryNumber("ProxyEnable", enable)) return 0;
    m_bEnable = enable != 0 ? 1 : 0;
    std::string server;
    if (!store.QueryText("ProxyServer", server)) return 0;
    server += ';';
    std::size_t pos = 0;
    for (std::size_t semi; (semi = server.find(';', pos)) != std::string::npos; pos = semi + 1) {
        const std::string item = server.substr(pos, semi - pos);
        const std::size_t eq = item.find('=');
        std::string host;
        int port = 0;
        if (eq == std::string::npos) {
            SplitHostPort(item, host, port);
            for (const ProxyEntry& entry : kEntries) {
                this->*entry.host = host;
                this->*entry.port = port;
            }
            break;
        }
        const std::string name = item.substr(0, eq);
        SplitHostPort(item.substr(eq + 1), host, port);
        for (const ProxyEntry& entry : kEntries) {
            if (!MbcsEqualNoCase(name, entry.setting)) continue;
            this->*entry.host = host;
            this->*entry.port = port;
        }
    }
    return 1;
}

int CPRDLDoc::WriteProxyToReg() {
    CSettingsStore store;
    if (!store.Open()) return 0;
    store.SetNumber("ProxyEnable", m_bEnable ? 1 : 0);
    std::string text;
    for (const ProxyEntry& entry : kEntries) {
        const std::string& host = this->*entry.host;
        if (host.empty()) continue;
        text += std::string(entry.setting) + "=" + host + ":" + std::to_string(this->*entry.port) + ";";
    }
    while (!text.empty() && text.back() == ';') text.pop_back();
    store.SetText("ProxyServer", text);
    store.Close();
    return 1;
}

void CPRDLDoc::Update() {
    std::vector<std::unique_ptr<CXMLLine>> lines;
    auto proxy = std::make_unique<CXMLLine>();
    proxy->SetElement("proxy");
    proxy->SetType(CXMLLine::kOpen);
    proxy->AddAttribute("enable", m_bEnable ? "yes" : "no");
    proxy->AddAttribute("logon", m_bLogon ? "yes" : "no");
    proxy->AddAttribute("user", m_strLogonUser);
    proxy->AddAttribute("pass", m_strLogonPass);
    lines.push_back(std::move(proxy));
    for (const ProxyEntry& entry : kEntries) {
        auto line = std::make_unique<CXMLLine>();
        line->SetElement(entry.element);
        line->SetType(CXMLLine::kStandalone);
        line->AddAttribute("host", this->*entry.host);
        line->AddAttribute("port", std::to_string(this->*entry.port));
        lines.push_back(std::move(line));
    }
    auto close = std::make_unique<CXMLLine>();
    close->SetLine("</proxy>", CXMLLine::kClose);
    lines.push_back(std::move(close));

    const int open = GetTagLine(0, "proxy");
    const int end = open < 0 ? -1 : GetMatchTagLine(open);
    if (open < 0 || end < 0) return;
    DelLine(open, end - open + 1);
    AddLine(open, std::move(lines));
    if (!m_strPath.empty()) SaveXMLDoc();
    WriteProxyToReg();
}

}  // namespace velkor
