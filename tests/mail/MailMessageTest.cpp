// Mail header and MIME part composition: the exact folded forms, the
// older value first, and local images turned into related parts. Analysis
// and composing of whole messages are transcripts (transcripts/mime); the
// readers' agreement is checked against Python's email package.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "TestFiles.h"
#include "mail/CMailMessage.h"

namespace velkor {
namespace {

TEST(MailHeader, ComposedFormsAndOlderValueFirst) {
    CMailHeader empty;
    EXPECT_EQ(empty.ComposeMailHeader(), "Subject: \r\nx-type: normal\r\nX-Mailer: VLK 3.00\r\n");
    CMailHeader h;
    h.m_nPriority = 3;
    h.m_strContentType = "text/plain; charset=x";
    h.m_strContentId = "abc";
    const std::string once = h.ComposeMailHeader();
    EXPECT_EQ(once,
              "Subject: \r\nContent-Type: text/plain;\r\n\t charset=x\r\nContent-ID: <abc>\r\n"
              "x-priority: 3\r\nx-type: normal\r\nX-Mailer: VLK 3.00\r\n");
    EXPECT_EQ(h.ComposeMailHeader(), once);  // folding is not repeated
    h.SetMailHeaderField("X-A", "1");
    h.SetMailHeaderField("x-a", "2");
    EXPECT_EQ(h.GetMailHeaderField("X-a"), "1");
    EXPECT_EQ(h.SetMailHeaderField("X-B", "1\r\nBcc: evil@x.org"), 0);
    h.SetDefaultMailHeaderField();
    EXPECT_TRUE(std::regex_match(h.GetMailHeaderField("Date"),
                                 std::regex(R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4})")));
}

TEST(MIMEPart, ComposedFormsAndLocalImages) {
    CMIMEPart part;
    part.SetContentype("text/plain; charset=GB2312");
    part.SetContentEncoding("base64");
    const std::string data(100, 'x');
    part.SetContent(reinterpret_cast<const unsigned char*>(data.data()), 100);
    const std::string text = part.ComposeMIMEPart();
    const std::string head = "Content-Type: text/plain;\r\n\t charset=GB2312\r\n"
                             "Content-transfer-encoding: base64\r\n\r\n";
    ASSERT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.size(), head.size() + 76 + 2 + 60);
    EXPECT_EQ(text.substr(head.size() + 76, 2), "\r\n");
    EXPECT_EQ(part.ComposeMIMEPart(), text);  // the same again

    CMIMEPart bare;
    bare.SetContentype("text/plain");
    EXPECT_EQ(bare.ComposeMIMEPart(), "Content-Type: text/plain\r\n");

    CMIMEPart named;
    named.SetContentype("application/x; name=\"n.bin\"");
    named.SetDisposition("attachment");
    std::string name, charset;
    EXPECT_EQ(named.GetFilename(name, charset), 0);

    // Local images: one real file, one missing; a second composition finds
    // only cid: references and composes the plain form.
    const std::string dir = testing::TempDir() + "/mime-images";
    std::system(("mkdir -p " + dir).c_str());
    test::WriteWholeFile(dir + "/pic.png", "PNGDATA");
    const std::string html = "<p>x</p><img src=\"" + dir + "/pic.png\"><img src=\"/none.png\">"
                             "<img src=\"" + dir + "\">";
    CMIMEPart page;
    page.SetContentype("text/html; charset=utf-8");
    page.SetContentEncoding("quoted-printable");
    page.SetContent(reinterpret_cast<const unsigned char*>(html.data()), html.size());
    const std::string related = page.ComposeMIMEPart();
    EXPECT_EQ(related.rfind("Content-Type: multipart/related;\r\n\t boundary=", 0), 0u);
    EXPECT_NE(related.find("filename=\"pic.png\""), std::string::npos);
    EXPECT_NE(related.find("UE5HREFUQQ=="), std::string::npos);
    unsigned char* rewritten = nullptr;
    std::uint32_t size = 0;
    page.GetContent(rewritten, size, 0);
    const std::string newHtml(reinterpret_cast<char*>(rewritten), size);
    delete[] rewritten;
    EXPECT_NE(newHtml.find("src=\"cid:"), std::string::npos);
    EXPECT_NE(newHtml.find("src=\"/none.png\""), std::string::npos);
    EXPECT_NE(newHtml.find("src=\"" + dir + "\""), std::string::npos);  // a folder is not read
    const std::string again = page.ComposeMIMEPart();
    EXPECT_EQ(again.rfind("Content-Type: text/html;", 0), 0u);
    EXPECT_EQ(again.find("PNGDATA"), std::string::npos);
    EXPECT_NE(again.find("cid:"), std::string::npos);
}

}  // namespace
}  // namespace velkor
