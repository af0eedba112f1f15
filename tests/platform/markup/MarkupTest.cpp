// The markup documents: line structure, lookups, edits, escaping, hostile
// text, and real pages installed on this machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/markup/CXMLDoc.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::vector<std::pair<int, std::string>> Shape(const CXMLParser& doc) {
    std::vector<std::pair<int, std::string>> out;
    for (int i = 0; i < doc.GetLineCount(); ++i)
        out.emplace_back(doc.GetLineAt(i)->GetType(), doc.GetLineAt(i)->GetLine());
    return out;
}

TEST(Markup, LinesOfAForgivingPage) {
    CXMLDoc doc;
    ASSERT_EQ(doc.SetXml("<!DOCTYPE html><!-- note <b> --><HTML><Head><TITLE>T &amp; U</TITLE>"
                         "<script>if (a < b && c > d) x();</script></head>"
                         "<body bgcolor=white checked><p>1 < 2 & 3</p><br><img src='a.png'/>"
                         "</body></html>"),
              1);
    using Line = std::pair<int, std::string>;
    EXPECT_EQ(Shape(doc),
              (std::vector<Line>{{5, "<!DOCTYPE html>"},
                                 {5, "<!-- note <b> -->"},
                                 {1, "<HTML>"},
                                 {1, "<Head>"},
                                 {1, "<TITLE>"},
                                 {4, "T &amp; U"},
                                 {-1, "</TITLE>"},
                                 {1, "<script>"},
                                 {5, "if (a < b && c > d) x();"},
                                 {-1, "</script>"},
                                 {-1, "</head>"},
                                 {1, "<body bgcolor=white checked>"},
                                 {1, "<p>"},
                                 {4, "1 < 2 & 3"},
                                 {-1, "</p>"},
                                 {0, "<br>"},
                                 {0, "<img src='a.png'/>"},
                                 {-1, "</body>"},
                                 {-1, "</html>"}}));
    const CXMLLine* body = doc.GetLineAt(doc.GetTagLine(0, "BODY"));
    EXPECT_EQ(body->GetAttrValue("bgcolor"), "white");
    EXPECT_EQ(body->GetAttrValue("checked"), "");
    EXPECT_EQ(doc.GetMatchTagLine(doc.GetTagLine(0, "head")), 10);
    EXPECT_EQ(doc.GetMatchTagLine(doc.GetTagLine(0, "img")), -1);  // stand-alone
}

TEST(Markup, NestedMatchingEditsAndRendering) {
    CXMLDoc doc;
    doc.SetXml("<a><b><a x=\"1\"></a><a/></b></a><c>");
    EXPECT_EQ(doc.GetMatchTagLine(0), 6);
    EXPECT_EQ(doc.GetMatchTagLine(2), 3);
    EXPECT_EQ(doc.GetTagLine(1, "a"), 2);
    EXPECT_EQ(doc.GetMatchTagLine(doc.GetTagLine(0, "c")), -1);  // never closed
    EXPECT_EQ(doc.GetTagLine(0, "zzz"), -1);

    CXMLLine* line = doc.GetLineAt(2);
    line->SetAttrValue("x", "a<\"&'>b");
    line->AddAttribute("y", "2");
    EXPECT_EQ(line->GetLine(), "<a x=\"a&lt;&quot;&amp;&apos;&gt;b\" y=\"2\">");
    std::vector<std::unique_ptr<CXMLLine>> lines;
    lines.push_back(std::make_unique<CXMLLine>());
    lines.back()->SetLine("new text", CXMLLine::kText);
    lines.push_back(std::make_unique<CXMLLine>());
    lines.back()->SetLine("</q>", CXMLLine::kClose);
    doc.AddLine(1, std::move(lines));
    EXPECT_EQ(doc.GetLineAt(1)->GetLine(), "new text");
    EXPECT_EQ(doc.GetLineAt(2)->GetElement(), "q");
    doc.DelLine(1, 2);
    EXPECT_EQ(doc.GetLineAt(1)->GetLine(), "<b>");
    doc.DelLine(100, 1);
    EXPECT_EQ(doc.GetLineCount(), 8);

    CXMLDoc reread;
    reread.SetXml(doc.GetXml());
    EXPECT_EQ(reread.GetLineAt(2)->GetAttrValue("x"), "a<\"&'>b");
}

TEST(Markup, EscapingBothWays) {
    EXPECT_EQ(CXMLParser::Encode("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&apos;");
    EXPECT_EQ(CXMLParser::Decode("&lt;&gt;&amp;&quot;&apos;&#65;&#x42;"), "<>&\"'AB");
    // Truncated, unknown and out-of-range entities stay as written.
    EXPECT_EQ(CXMLParser::Decode("&amp &nbsp; &#; &#12345; &"), "&amp &nbsp; &#; &#12345; &");
}

TEST(Markup, HostileTextNeverCrashesOrLosesText) {
    CXMLDoc doc;
    doc.SetXml("text <!-- never closed <a> <b>");
    EXPECT_EQ(doc.GetLineCount(), 2);
    EXPECT_EQ(doc.GetLineAt(1)->GetLine(), "<!-- never closed <a> <b>");

    const std::string big(10 << 20, 'v');
    doc.SetXml("<a href=\"" + big + "\">x</a>");
    EXPECT_EQ(doc.GetLineAt(0)->GetAttrValue("href").size(), big.size());

    std::string nested;
    for (int i = 0; i < 100000; ++i) nested += "<d>";
    nested += "deep";
    for (int i = 0; i < 100000; ++i) nested += "</d>";
    doc.SetXml(nested);
    EXPECT_EQ(doc.GetLineCount(), 200001);
    EXPECT_EQ(doc.GetMatchTagLine(0), 200000);

    doc.SetXml(std::string("a\0b<x y=\"\0\">\0", 13));
    EXPECT_EQ(doc.GetLineAt(0)->GetLine(), std::string("a\0b", 3));

    doc.SetXml("<a href=\"unterminated value");  // cut-off tag stays text
    EXPECT_EQ(Shape(doc), (std::vector<std::pair<int, std::string>>{
                              {4, "<a href=\"unterminated value"}}));
    EXPECT_EQ(doc.SetXml(""), 0);
}

// The installed HTML pages no one here wrote.
std::vector<fs::path> InstalledPages() {
    std::vector<fs::path> pages;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/share/doc", ec);
         !ec && it != fs::recursive_directory_iterator() && pages.size() < 40; it.increment(ec)) {
        if (it->path().extension() == ".html" && it->is_regular_file(ec) &&
            it->file_size(ec) < (4u << 20))
            pages.push_back(it->path());
    }
    return pages;
}

std::string WithoutWhitespace(const std::string& s) {
    std::string out;
    for (char c : s)
        if (!std::isspace(static_cast<unsigned char>(c))) out += c;
    return out;
}

TEST(Markup, RealPagesSurviveARoundTrip) {
    const std::vector<fs::path> pages = InstalledPages();
    if (pages.empty()) GTEST_SKIP() << "no HTML pages under /usr/share/doc";
    for (const fs::path& page : pages) {
        SCOPED_TRACE(page.string());
        std::ifstream in(page, std::ios::binary);
        const std::string original(std::istreambuf_iterator<char>(in), {});
        CXMLDoc doc;
        ASSERT_EQ(doc.SetXml(original), 1);
        const std::string saved = doc.GetXml();
        // Every byte but the blanks between lines is kept, in order.
        EXPECT_EQ(WithoutWhitespace(saved), WithoutWhitespace(original));
        // And the saved lines read back into the same lines.
        CXMLDoc again;
        again.SetXml(saved);
        ASSERT_EQ(again.GetLineCount(), doc.GetLineCount());
        for (int i = 0; i < doc.GetLineCount(); ++i) {
            const CXMLLine* a = doc.GetLineAt(i);
            const CXMLLine* b = again.GetLineAt(i);
            ASSERT_EQ(a->GetType(), b->GetType()) << a->GetLine();
            ASSERT_EQ(a->GetElement(), b->GetElement());
            ASSERT_EQ(a->Attributes(), b->Attributes());
        }
    }
}

TEST(Markup, DocumentFiles) {
    const fs::path dir = fs::temp_directory_path() / ("velkor-markup-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    CXMLDoc doc;
    ASSERT_EQ(doc.NewXMLDoc((dir / "new.xml").string()), 1);
    EXPECT_TRUE(fs::exists(dir / "new.xml"));
    CXMLDoc loaded;
    ASSERT_EQ(loaded.LoadXMLDoc((dir / "new.xml").string()), 1);
    EXPECT_EQ(loaded.GetXml(), doc.GetXml());
    EXPECT_EQ(loaded.LoadXMLDoc((dir / "missing.xml").string()), 0);
    EXPECT_EQ(doc.SaveXmlToFile((dir / "no-such-dir" / "x.xml").string()), 0);
    fs::remove_all(dir);
    EXPECT_TRUE(doc.IsKindOf(&CXMLDoc::classCXMLDoc));
    EXPECT_TRUE(doc.IsKindOf(&CRTTIObject::classCRTTIObject));
    std::unique_ptr<CRTTIObject> made(FindRTTIClass("CXMLDoc")->CreateObject());
    EXPECT_TRUE(made && made->IsKindOf(&CXMLDoc::classCXMLDoc));
}

}  // namespace
}  // namespace velkor
