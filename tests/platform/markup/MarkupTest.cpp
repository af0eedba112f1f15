// The markup documents on real pages installed on this machine, and their
// classes by name (line structure, edits, escaping and hostile text are
// proxy transcripts).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "platform/markup/CXMLDoc.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

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

TEST(Markup, ClassesAreKnownByName) {
    CXMLDoc doc;
    EXPECT_TRUE(doc.IsKindOf(&CXMLDoc::classCXMLDoc));
    EXPECT_TRUE(doc.IsKindOf(&CRTTIObject::classCRTTIObject));
    std::unique_ptr<CRTTIObject> made(FindRTTIClass("CXMLDoc")->CreateObject());
    EXPECT_TRUE(made && made->IsKindOf(&CXMLDoc::classCXMLDoc));
}

}  // namespace
}  // namespace velkor
