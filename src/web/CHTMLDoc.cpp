#include "web/CHTMLDoc.h"

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "resources/StringTable.h"
#include "web/CURL.h"

namespace velkor {

CRTTIInfo CHTMLDoc::classCHTMLDoc = {"CHTMLDoc", sizeof(CHTMLDoc), &CHTMLDoc::CreateObject,
                                     &CXMLDoc::classCXMLDoc, nullptr};

namespace {
// Registered when the library is loaded, after the classes already known.
const bool g_registered = (RegisterRTTIClass(&CHTMLDoc::classCHTMLDoc), true);
}  // namespace

CRTTIObject* CHTMLDoc::CreateObject() { return new (std::nothrow) CHTMLDoc; }

CRTTIInfo* CHTMLDoc::GetRTTIClass() const { return &classCHTMLDoc; }

int CHTMLDoc::ChangeRefreshURL(const std::string& baseUrl) {
    const int head = GetTagLine(0, "head");
    const int end = head < 0 ? -1 : GetMatchTagLine(head);
    if (head < 0 || end <= head) return 1;
    const CURL url;
    for (int i = head; i < end; ++i) {
        CXMLLine* line = GetLineAt(i);
        if (!line->IsElementOK("meta") || line->GetAttrValue("http-equiv") != "refresh") continue;
        const std::string content = line->GetAttrValue("content");
        const std::size_t eq = content.find('=');
        const std::size_t p = eq == std::string::npos ? 0 : eq + 1;
        line->SetAttrValue("content",
                           content.substr(0, p) + url.GetAbsoluteURL(baseUrl, content.substr(p)));
    }
    return 1;
}

int CHTMLDoc::ChangeAllAddress(const std::string& baseUrl) {
    ChangeRefreshURL(baseUrl);
    const CURL url;
    for (int i = 0; i < GetLineCount(); ++i) {
        CXMLLine* line = GetLineAt(i);
        for (const char* name : {"href", "src", "url"}) {
            const std::string value = line->GetAttrValue(name);
            if (!value.empty()) line->SetAttrValue(name, url.GetAbsoluteURL(baseUrl, value));
        }
    }
    return 1;
}

int CHTMLDoc::SaveCookie(const std::string& cookie) {
    std::vector<std::unique_ptr<CXMLLine>> lines;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t semi = cookie.find(';', pos);
        auto line = std::make_unique<CXMLLine>();
        line->SetElement("meta");
        line->SetType(CXMLLine::kStandalone);
        line->AddAttribute("http-equiv", "set-cookie");
        line->AddAttribute("content", cookie.substr(pos, semi == std::string::npos
                                                             ? std::string::npos
                                                             : semi - pos));
        lines.push_back(std::move(line));
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }
    int at = GetTagLine(0, "head");
    if (at < 0) at = GetTagLine(0, "html");
    if (at < 0) return 0;
    AddLine(at + 1, std::move(lines));
    return 1;
}

std::string CHTMLDoc::ChangeTextToHtml(const std::string& text, const std::string& charset) {
    const std::string head = LoadLibraryString(IDS_HTML_HEAD_TEMPLATE);
    std::string page = "<html>";
    const std::size_t at = head.find("%s");
    page += at == std::string::npos ? head : head.substr(0, at) + charset + head.substr(at + 2);
    page += "<body><p>";
    std::string body = Encode(text);
    std::string withBreaks;
    withBreaks.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
            withBreaks += "<br>";
            ++i;
        } else {
            withBreaks += body[i];
        }
    }
    page += withBreaks;
    page += "</p></body></html>";
    return page;
}

int CHTMLDoc::ChangeHtmlToText(const std::string& html, std::string& text) {
    CHTMLDoc doc;
    doc.SetXml(html);
    for (int i = 0; i < doc.GetLineCount(); ++i) {
        const CXMLLine* line = doc.GetLineAt(i);
        if (line->GetType() != CXMLLine::kText) continue;
        text += Decode(line->GetLine());
        text += "\r\n";
    }
    return 1;
}

int CHTMLDoc::SaveXmlToFile(const std::string& path) {
    std::size_t size = 0;
    for (int i = 0; i < GetLineCount(); ++i) size += GetLineAt(i)->GetLine().size() + 2;
    std::string text;
    text.reserve(size);
    for (int i = 0; i < GetLineCount(); ++i) {
        text += GetLineAt(i)->GetLine();
        text += "\r\n";
    }
    return WriteFile(path, text) ? 1 : 0;
}

}  // namespace velkor
