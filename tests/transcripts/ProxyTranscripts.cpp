// The markup documents, the proxy document and its settings mirror: every
// transcript in transcripts/proxy. No peer; the settings live in the case's
// folder.
//
// Markup calls on the current document: xml TEXT (SetXml), html TEXT (a new
// page document made current), change-addresses BASE and save-cookie TEXT
// (on the page), set-attr N NAME
// VALUE, add-attr N NAME VALUE, add-lines AT TYPE TEXT [TYPE TEXT...],
// del-lines AT COUNT, reparse (the document read again from its own text),
// save-to PATH; observed: lines ("type:line | ..."), line N, element N,
// tag-line START ELEMENT, match-line N, attr N NAME, attr-size N NAME,
// attrs NAME... (their non-empty values in line order), element-ok N NAME,
// encode TEXT, decode TEXT, xml-text, text-to-html TEXT CHARSET and
// html-to-text HTML (its result, a blank, the text after "kept:").
// Proxy calls: fresh (a new document), new PATH, load PATH, init, update, save, save-limited BYTES (a save with the file
// size limited, as on a full disk), read-settings, write-settings, set FIELD
// VALUE (the documented fields), register-scoped (Setthis on a document that
// then ends); the settings themselves: settings ENABLE [SERVER-TEXT],
// settings-at NAME (another settings folder, say an empty one),
// store-number NAME N and store-text NAME TEXT (one value written in a
// session of its own; whether it was saved), observed as stored-number NAME
// and stored-text NAME ("<missing>" when absent or unreadable).
// Observed: FIELD (its value), proxy-lines N (N lines from the proxy tag,
// " | " between them), server-text ("<missing>" when unset), line-count,
// mode PATH (octal), registered (1 while a document is registered).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <map>
#include <stdexcept>

#include "Transcript.h"
#include "platform/SettingsStore.h"
#include "proxy/CPRDLDoc.h"
#include "web/CHTMLDoc.h"

namespace velkor::test {
namespace {

class Doc : public CPRDLDoc {
public:
    using CPRDLDoc::ReadProxyFromReg;
    using CPRDLDoc::Update;
    using CPRDLDoc::WriteProxyToReg;
};

class ProxyClient : public TranscriptClient {
public:
    explicit ProxyClient(const Vars& vars) : m_tmp(vars.at("tmp")) {
        CSettingsStore::SetLocation(m_tmp + "/settings");
    }
    ~ProxyClient() override { CSettingsStore::SetLocation(""); }

    std::string Call(const std::string& name, const Words& a) override {
        if (name == "fresh") m_markup = (m_doc = std::make_unique<Doc>()).get();
        else if (name == "new") return Str(m_doc->NewXMLDoc(a.at(0)));
        else if (name == "load") return Str(m_doc->LoadXMLDoc(a.at(0)));
        else if (name == "xml") return Str((m_markup = m_doc.get())->SetXml(a.at(0)));
        else if (name == "html") {
            m_html = std::make_unique<CHTMLDoc>();
            return Str((m_markup = m_html.get())->SetXml(a.at(0)));
        } else if (name == "change-addresses") return Str(m_html->ChangeAllAddress(a.at(0)));
        else if (name == "save-cookie") return Str(m_html->SaveCookie(a.at(0)));
        else if (name == "set-attr") m_markup->GetLineAt(std::stoi(a.at(0)))->SetAttrValue(a.at(1), a.at(2));
        else if (name == "add-attr") m_markup->GetLineAt(std::stoi(a.at(0)))->AddAttribute(a.at(1), a.at(2));
        else if (name == "add-lines") {
            std::vector<std::unique_ptr<CXMLLine>> lines;
            for (std::size_t i = 1; i + 1 < a.size(); i += 2) {
                lines.push_back(std::make_unique<CXMLLine>());
                lines.back()->SetLine(a[i + 1], std::stoi(a[i]));
            }
            m_markup->AddLine(std::stoi(a.at(0)), std::move(lines));
        } else if (name == "del-lines") m_markup->DelLine(std::stoi(a.at(0)), std::stoi(a.at(1)));
        else if (name == "reparse") {
            const std::string text = m_markup->GetXml();
            m_doc = std::make_unique<Doc>();
            return Str((m_markup = m_doc.get())->SetXml(text));
        } else if (name == "save-to") return Str(m_markup->SaveXmlToFile(a.at(0)));
        else if (name == "init") return Str(m_doc->InitPrdlDoc());
        else if (name == "update") m_doc->Update();
        else if (name == "save") return Str(m_doc->SaveXMLDoc());
        else if (name == "save-limited") return Str(SaveLimited(std::stoul(a.at(0))));
        else if (name == "read-settings") return Str(m_doc->ReadProxyFromReg());
        else if (name == "write-settings") return Str(m_doc->WriteProxyToReg());
        else if (name == "set") {
            if (int* number = Number(a.at(0))) *number = std::stoi(a.at(1));
            else Text(a.at(0)) = a.at(1);
        } else if (name == "register-scoped") {
            Doc scoped;
            CPRDLDoc::Setthis(&scoped);
            return Str(CPRDLDoc::Getthis() == &scoped);
        } else if (name == "settings") {
            CSettingsStore store;
            if (!store.Open()) throw std::runtime_error("cannot open the settings");
            store.SetNumber("ProxyEnable", std::stoi(a.at(0)));
            if (a.size() > 1) store.SetText("ProxyServer", a[1]);
            store.Close();
        } else if (name == "store-number" || name == "store-text") {
            CSettingsStore store;
            if (!store.Open()) throw std::runtime_error("cannot open the settings");
            if (name == "store-number") store.SetNumber(a.at(0), static_cast<std::uint32_t>(std::stoul(a.at(1))));
            else store.SetText(a.at(0), a.at(1));
            return Str(store.Close());
        } else if (name == "settings-at") {
            CSettingsStore::SetLocation(m_tmp + "/" + a.at(0));
        } else {
            throw std::invalid_argument("no call " + name);
        }
        return "";
    }

    std::string Observe(const std::string& name, const Words& a) override {
        if (name == "proxy-lines") {
            const int open = m_doc->GetTagLine(0, "proxy");
            std::vector<std::string> lines;
            for (int i = open; open >= 0 && i < open + std::stoi(a.at(0)); ++i) lines.push_back(m_doc->GetLineAt(i)->GetLine());
            return JoinLines(lines);
        }
        if (name == "server-text") {
            CSettingsStore store;
            std::string text = "<missing>";
            if (store.Open()) store.QueryText("ProxyServer", text);
            return text;
        }
        if (name == "stored-number" || name == "stored-text") {
            CSettingsStore store;
            std::uint32_t number = 0;
            std::string text;
            if (!store.Open()) return "<cannot open>";
            if (name == "stored-number") return store.QueryNumber(a.at(0), number) ? Str(number) : "<missing>";
            return store.QueryText(a.at(0), text) ? text : "<missing>";
        }
        if (name == "line-count") return Str(m_markup->GetLineCount());
        if (name == "lines") {
            std::vector<std::string> lines;
            for (int i = 0; i < m_markup->GetLineCount(); ++i)
                lines.push_back(Str(m_markup->GetLineAt(i)->GetType()) + ":" + m_markup->GetLineAt(i)->GetLine());
            return JoinLines(lines);
        }
        if (name == "line") return m_markup->GetLineAt(std::stoi(a.at(0)))->GetLine();
        if (name == "element") return m_markup->GetLineAt(std::stoi(a.at(0)))->GetElement();
        if (name == "tag-line") return Str(m_markup->GetTagLine(std::stoi(a.at(0)), a.at(1)));
        if (name == "match-line") return Str(m_markup->GetMatchTagLine(std::stoi(a.at(0))));
        if (name == "attr") return m_markup->GetLineAt(std::stoi(a.at(0)))->GetAttrValue(a.at(1));
        if (name == "attr-size") return Str(static_cast<unsigned long long>(m_markup->GetLineAt(std::stoi(a.at(0)))->GetAttrValue(a.at(1)).size()));
        if (name == "encode") return CXMLParser::Encode(a.at(0));
        if (name == "decode") return CXMLParser::Decode(a.at(0));
        if (name == "xml-text") return m_markup->GetXml();
        if (name == "attrs") {  // the non-empty values of the named attributes, line by line
            std::vector<std::string> values;
            for (int i = 0; i < m_markup->GetLineCount(); ++i)
                for (const std::string& attr : a)
                    if (!m_markup->GetLineAt(i)->GetAttrValue(attr).empty())
                        values.push_back(m_markup->GetLineAt(i)->GetAttrValue(attr));
            return JoinLines(values);
        }
        if (name == "element-ok") return Str(m_markup->GetLineAt(std::stoi(a.at(0)))->IsElementOK(a.at(1)));
        if (name == "text-to-html") return CHTMLDoc::ChangeTextToHtml(a.at(0), a.at(1));
        if (name == "html-to-text") {
            std::string text = "kept:";
            return Str(CHTMLDoc::ChangeHtmlToText(a.at(0), text)) + " " + text;
        }
        if (name == "mode") {
            struct stat st {};
            if (::stat(a.at(0).c_str(), &st) != 0) return "<none>";
            char octal[8];
            std::snprintf(octal, sizeof octal, "%o", st.st_mode & 0777);
            return octal;
        }
        if (name == "registered") return Str(CPRDLDoc::Getthis() != nullptr);
        if (int* number = Number(name)) return Str(*number);
        return Text(name);
    }

private:
    int* Number(const std::string& field) {
        const std::map<std::string, int*> numbers = {
            {"m_bEnable", &m_doc->m_bEnable},       {"m_bLogon", &m_doc->m_bLogon},
            {"m_nHttpPort", &m_doc->m_nHttpPort},   {"m_nFtpPort", &m_doc->m_nFtpPort},
            {"m_nSocksPort", &m_doc->m_nSocksPort}, {"m_nSecurePort", &m_doc->m_nSecurePort},
            {"m_nGopherPort", &m_doc->m_nGopherPort}};
        const auto it = numbers.find(field);
        return it == numbers.end() ? nullptr : it->second;
    }
    std::string& Text(const std::string& field) {
        const std::map<std::string, std::string*> texts = {
            {"m_strHttpHost", &m_doc->m_strHttpHost},     {"m_strFtpHost", &m_doc->m_strFtpHost},
            {"m_strSocksHost", &m_doc->m_strSocksHost},   {"m_strSecureHost", &m_doc->m_strSecureHost},
            {"m_strGopherHost", &m_doc->m_strGopherHost}, {"m_strLogonUser", &m_doc->m_strLogonUser},
            {"m_strLogonPass", &m_doc->m_strLogonPass}};
        const auto it = texts.find(field);
        if (it == texts.end()) throw std::invalid_argument("no field " + field);
        return *it->second;
    }
    int SaveLimited(rlim_t bytes) {
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const int result = m_doc->SaveXMLDoc();
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        return result;
    }

    std::string m_tmp;
    std::unique_ptr<Doc> m_doc = std::make_unique<Doc>();
    std::unique_ptr<CHTMLDoc> m_html;
    CXMLDoc* m_markup = m_doc.get();  // the document the markup lines work on
};

const TranscriptFamily kProxy{"proxy", "", [](const Vars& vars) {
                                  return std::unique_ptr<TranscriptClient>(new ProxyClient(vars));
                              }};

VELKOR_TRANSCRIPT_SUITE(ProxyTranscript, kProxy);

}  // namespace
}  // namespace velkor::test
