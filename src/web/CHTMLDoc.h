// CHTMLDoc: a downloaded web page prepared for local storage.
//
// Makes the page's addresses absolute against its own URL, rewrites the
// target of a refresh instruction in the head, records cookies as meta lines
// in the head, and writes the page back as plain lines. Two static helpers
// turn plain text into a small page and collect the text lines of a page.
#pragma once

#include <string>

#include "../platform/markup/CXMLDoc.h"

namespace velkor {

class CHTMLDoc : public CXMLDoc {
public:
    CHTMLDoc() = default;
    ~CHTMLDoc() override = default;

    static CRTTIObject* CreateObject();
    CRTTIInfo* GetRTTIClass() const override;
    static CRTTIInfo classCHTMLDoc;

    // Every "href", "src" and "url" value made absolute (and the refresh
    // target in the head). Always 1.
    int ChangeAllAddress(const std::string& baseUrl);
    // One meta line (http-equiv "set-cookie") per ";"-separated piece, after
    // the head line (or the html line); 0 when the page has neither.
    int SaveCookie(const std::string& cookie);
    // A page with the text as one paragraph ("\r\n" becomes "<br>").
    static std::string ChangeTextToHtml(const std::string& text, const std::string& charset);
    // Appends the decoded text lines of a page, each with "\r\n". Always 1.
    static int ChangeHtmlToText(const std::string& html, std::string& text);
    // The lines' texts, each followed by "\r\n", exactly as they are; 0 when
    // the file cannot be created.
    int SaveXmlToFile(const std::string& path) override;

private:
    int ChangeRefreshURL(const std::string& baseUrl);
};

}  // namespace velkor
