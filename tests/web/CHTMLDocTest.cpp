// Rewriting downloaded pages.
#include "web/CHTMLDoc.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace velkor {
namespace {

namespace fs = std::filesystem;

const char* kPage =
    "<html><head><title>t</title>"
    "<meta http-equiv=\"refresh\" content=\"5; url=next.html\">"
    "<meta http-equiv=\"REFRESH\" content=\"1; url=caps.html\">"
    "</head><body>"
    "<a href=\"x.html\">x</a><img src=\"\"><a href=\"mailto:a@b\">m</a>"
    "<div url=\"../up.png\">u</div>"
    "<meta http-equiv=\"refresh\" content=\"3; url=outside.html\">"
    "</body></html>";

TEST(HtmlDoc, AddressesBecomeAbsolute) {
    CHTMLDoc doc;
    ASSERT_EQ(doc.SetXml(kPage), 1);
    EXPECT_EQ(doc.ChangeAllAddress("s://h/d/p.html"), 1);
    std::vector<std::string> seen;
    for (int i = 0; i < doc.GetLineCount(); ++i) {
        const CXMLLine* l = doc.GetLineAt(i);
        for (const char* name : {"href", "src", "url", "content"})
            if (!l->GetAttrValue(name).empty()) seen.push_back(l->GetAttrValue(name));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"5; url=s://h/d/next.html", "1; url=caps.html",
                                              "s://h/d/x.html", "mailto:a@b", "s://h/up.png",
                                              "3; url=outside.html"}));
}

TEST(HtmlDoc, RefreshWithOnlyADelay) {
    CHTMLDoc doc;
    doc.SetXml("<html><head><meta http-equiv=\"refresh\" content=\"10\"></head></html>");
    doc.ChangeAllAddress("s://h/d/p.html");
    EXPECT_EQ(doc.GetLineAt(doc.GetTagLine(0, "meta"))->GetAttrValue("content"), "s://h/d/10");
}

TEST(HtmlDoc, Cookies) {
    CHTMLDoc doc;
    doc.SetXml("<html><head><title>t</title></head></html>");
    ASSERT_EQ(doc.SaveCookie("a=1; b=2;"), 1);
    EXPECT_EQ(doc.GetLineAt(2)->GetLine(), "<meta http-equiv=\"set-cookie\" content=\"a=1\"/>");
    EXPECT_EQ(doc.GetLineAt(3)->GetAttrValue("content"), " b=2");
    EXPECT_EQ(doc.GetLineAt(4)->GetAttrValue("content"), "");
    EXPECT_TRUE(doc.GetLineAt(5)->IsElementOK("title"));

    CHTMLDoc noHead;
    noHead.SetXml("<html><body>x</body></html>");
    ASSERT_EQ(noHead.SaveCookie("c=3"), 1);
    EXPECT_EQ(noHead.GetLineAt(1)->GetAttrValue("content"), "c=3");
    CHTMLDoc bare;
    bare.SetXml("<p>x</p>");
    EXPECT_EQ(bare.SaveCookie("c=3"), 0);
    EXPECT_EQ(bare.GetLineCount(), 3);
}

TEST(HtmlDoc, TextToHtmlAndBack) {
    const std::string page = CHTMLDoc::ChangeTextToHtml("line <one> & more\r\nline two", "GB2312");
    EXPECT_EQ(page,
              "<html><head>\n<title>Html Document</title>\n<meta http-equiv=\"Content-Type\" "
              "content=\"text/html; charset=GB2312\">\n</head><body><p>line &lt;one&gt; &amp; "
              "more<br>line two</p></body></html>");
    std::string text = "kept:";
    EXPECT_EQ(CHTMLDoc::ChangeHtmlToText(page, text), 1);
    EXPECT_EQ(text, "kept:Html Document\r\nline <one> & more\r\nline two\r\n");
}

TEST(HtmlDoc, SavedAsPlainLinesAndRegistered) {
    const fs::path dir = fs::temp_directory_path() / ("velkor-html-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    CHTMLDoc empty;
    ASSERT_EQ(empty.SaveXmlToFile((dir / "empty.html").string()), 1);
    EXPECT_EQ(fs::file_size(dir / "empty.html"), 0u);
    CHTMLDoc doc;
    doc.SetXml("<p>a</p>");
    ASSERT_EQ(doc.SaveXmlToFile((dir / "p.html").string()), 1);
    std::ifstream in(dir / "p.html", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "<p>\r\na\r\n</p>\r\n");
    EXPECT_EQ(doc.SaveXmlToFile((dir / "missing" / "x.html").string()), 0);
    fs::remove_all(dir);

    CRTTIInfo* info = FindRTTIClass("CHTMLDoc");
    ASSERT_EQ(info, &CHTMLDoc::classCHTMLDoc);
    EXPECT_EQ(info->m_pBaseClass, &CXMLDoc::classCXMLDoc);
    std::unique_ptr<CRTTIObject> made(info->CreateObject());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->GetRTTIClass(), &CHTMLDoc::classCHTMLDoc);
    EXPECT_TRUE(made->IsKindOf(&CXMLDoc::classCXMLDoc));
}

}  // namespace
}  // namespace velkor
