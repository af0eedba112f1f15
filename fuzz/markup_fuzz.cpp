// Markup of any shape: parse, save, parse again, and rewrite as a page.
#include <cstddef>
#include <cstdint>
#include <string>

#include "web/CHTMLDoc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    velkor::CHTMLDoc doc;
    doc.SetXml(text);
    const int head = doc.GetTagLine(0, "head");
    (void)doc.GetMatchTagLine(head);
    doc.ChangeAllAddress("http://h/a/b.html");
    doc.SaveCookie("a=1;b");
    velkor::CHTMLDoc again;
    again.SetXml(doc.GetXml());
    std::string plain;
    velkor::CHTMLDoc::ChangeHtmlToText(text, plain);
    return 0;
}
