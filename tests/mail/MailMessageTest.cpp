// Mail header, MIME part, body tree and message: the exact composed forms,
// the navigation, the departures that keep bytes and headers whole, and the
// bounds against hostile mail. Readers' agreement is checked against
// Python's email package in mail_crosscheck.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>

#include "TestFiles.h"
#include "mail/CMailMessage.h"

namespace velkor {
namespace {

using Mail = CMailCommonFunction;

std::string Content(CMailBody& body, int i) {
    unsigned char* data = nullptr;
    std::uint32_t length = 0;
    body.GetMIMEPart(i, data, length);
    std::string out(reinterpret_cast<const char*>(data ? data : reinterpret_cast<const unsigned char*>("")), data ? length : 0);
    delete[] data;
    return out;
}

std::string Depths(const CMailBody& body) {
    std::string out;
    for (int i = 0; i < body.GetPartCount(); ++i) out += std::to_string(body.GetPart(i)->GetDepth());
    return out;
}

struct Analysed {
    CMailMessage msg;
    int result = 0;
    explicit Analysed(std::string text) {
        msg.m_strMailText = std::move(text);
        result = msg.AnalyseMailMessage();
        msg.AnalyseOnDisplay();
    }
};

const std::string kMixed =
    "From: a@x.org\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B1\"\r\n\r\n"
    "preamble\r\n--B1\r\nContent-Type: multipart/alternative; boundary=B2\r\n\r\n"
    "--B2\r\nContent-Type: text/plain\r\n\r\nHello\r\n--B2\r\nContent-Type: text/html\r\n\r\n"
    "<p>Hi</p>\r\n--B2--\r\n\r\n--B1\r\nContent-Type: application/pdf; name=\"r.pdf\"\r\n"
    "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"r.pdf\"\r\n"
    "\r\nSGVs\r\nbG8=\r\n--B1--\r\n";

TEST(MailBody, TreeNavigationAndExactContents) {
    Analysed a(kMixed);
    ASSERT_EQ(a.result, 1);
    CMailBody& body = a.msg.Body();
    EXPECT_EQ(Depths(body), "01221");
    EXPECT_EQ(body.GetBodyType(), "multipart/mixed");
    struct { int got, want; } rows[] = {
        {body.GetChidlPartNum(0), 2}, {body.GetChidlPartNum(1), 2}, {body.GetChidlPartNum(2), 0},
        {body.GetChidlPartNum(9), -1}, {body.FindFirstChildPart(0), 1},
        {body.FindFirstChildPart(2), -1}, {body.FindNextChildPart(0, 1), 4},
        {body.FindNextChildPart(1, 2), 3}, {body.FindNextChildPart(1, 3), -1},
        {body.FindNextChildPart(0, 2), -1}, {body.FindParentPart(3), 1},
        {body.FindParentPart(4), 0}, {body.FindParentPart(0), -1},
        {body.FindNextChildPart(-1, 5), -1}, {body.FindNextChildPart(-1, 99), -1},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.want);
    // The line break before a delimiter is the delimiter's: no stray CR.
    EXPECT_EQ(Content(body, 2), "Hello");
    EXPECT_EQ(Content(body, 3), "<p>Hi</p>");
    EXPECT_EQ(Content(body, 4), "Hello");
    EXPECT_EQ(Content(body, 0), "");  // a container: length 0, result 1
    EXPECT_EQ(a.msg.GetTextNum(), 2);
    EXPECT_EQ(a.msg.GetAttachmentNum(), 1);
    std::string name, charset;
    std::uint32_t length = 0;
    EXPECT_EQ(a.msg.GetAttachment(0, name, charset, length), 1);
    EXPECT_EQ(name, "r.pdf");
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(a.msg.GetAttachment(1, name, charset, length), 0);
    EXPECT_EQ(a.msg.GetMailPartNum(), 2);
    std::string type, subtype;
    EXPECT_EQ(a.msg.GetMailPartType(1, type, subtype), 1);
    EXPECT_EQ(type + "/" + subtype, "application/pdf");
    // Deleting a container keeps its children at their depths.
    EXPECT_EQ(body.DelMIMEPart(1), 1);
    EXPECT_EQ(Depths(body), "0221");
}

TEST(MailMessage, SinglePartBodyKeepsItsLastByteAndNulBytes) {
    std::string text = "Subject: s\r\n\r\nHel\0lo";
    text += std::string("\0", 1);
    Analysed a(std::string("Subject: s\r\n\r\nHel\0lo", 20));
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(Content(a.msg.Body(), 0), std::string("Hel\0lo", 6));
    Analysed empty("Subject: s\r\n\r\n");
    EXPECT_EQ(empty.result, 1);
    EXPECT_EQ(Content(empty.msg.Body(), 0), "");
    EXPECT_EQ(Analysed("no header end").result, 0);
}

TEST(MailMessage, UuBlockWithoutMimeIsTextAndAttachment) {
    Analysed a("Subject: uu\r\n\r\nSee:\r\nbegin 644 a.txt\r\n#86)C\r\n`\r\nend\r\ntail\r\n");
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(Depths(a.msg.Body()), "00");
    ASSERT_EQ(a.msg.GetTextNum(), 1);
    ASSERT_EQ(a.msg.GetAttachmentNum(), 1);
    std::string text, subtype, charset, name;
    a.msg.GetMailText(0, "", text, subtype, charset);
    EXPECT_EQ(text, "See:\r\n");
    unsigned char* data = nullptr;
    std::uint32_t length = 0;
    a.msg.GetAttachment(0, name, charset, data, length);
    EXPECT_EQ(name, "a.txt");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), "abc");
    delete[] data;
}

TEST(MailMessage, RelatedPartsRecipientsAndListRecords) {
    Analysed a(
        "From: \"Ann\" <a@x.org>\r\nTo: b@x.org,\r\n c@x.org\r\nCc: d@x.org\r\n"
        "subject: =?GB2312?B?1tDOxA==?=\r\nDate: Fri, 4 Dec 2026 01:22:42 +0800\r\n"
        "Message-ID: <m1@x>\r\nx-priority: 3\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/related; boundary=R; type=\"text/html\"\r\n\r\n"
        "--R\r\nContent-Type: text/html\r\n\r\n<img src=\"cid:i1\">\r\n"
        "--R\r\nContent-Type: image/png\r\nContent-ID: <i1>\r\nContent-Transfer-Encoding: base64\r\n"
        "\r\nAAE=\r\n--R--\r\n");
    ASSERT_EQ(a.result, 1);
    EXPECT_EQ(a.msg.Body().GetPart(0)->GetFirstPartType(), "text/html");
    EXPECT_EQ(a.msg.GetTextNum(), 1);
    ASSERT_EQ(a.msg.GetRelateNum(), 1);
    std::string name, charset, cid;
    unsigned char* data = nullptr;
    std::uint32_t length = 0;
    a.msg.GetRelate(0, name, charset, cid, data, length);
    EXPECT_EQ(cid, "i1");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), length), std::string("\0\1", 2));
    delete[] data;
    EXPECT_EQ(a.msg.GetRecipientNum(CMailMessage::kTo), 2);
    EXPECT_EQ(a.msg.GetRecipientNum(3), -1);
    std::string address, display = "keep";
    EXPECT_EQ(a.msg.GetRecipient(CMailMessage::kTo, 1, address, display), 1);
    EXPECT_EQ(address, "c@x.org");
    EXPECT_EQ(a.msg.GetRecipient(CMailMessage::kCc, 1, address, display), 0);
    EXPECT_EQ(a.msg.GetMailFrom(), "a@x.org");
    CMIDLRec row;
    a.msg.GetMailHeaderDescription(&row);
    EXPECT_EQ(row.m_strSubject, "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(a.msg.Header().m_strSubjectCharset, "GB2312");
    EXPECT_EQ(row.m_strDate, "2026-12-04 01:22:42");
    EXPECT_EQ(row.m_strMessageId, "<m1@x>");
    EXPECT_EQ(row.m_nPriority, 3);
    CNIDLRec news;
    a.msg.GetMailHeaderDescription(&news);
    EXPECT_EQ(news.m_strFrom, "\"Ann\" <a@x.org>");
}

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

    struct { const char* disposition; int attachment; } rows[] = {
        {"attachment", 0}, {"attachment; size=3", 0}, {"inline; filename=\"a\"", 1},
        {"ATTACHMENT; filename=a", 1}, {"form-data; filename=a", 0}, {"", 0},
    };
    for (const auto& r : rows) {
        CMIMEPart p;
        p.SetDisposition(r.disposition);
        EXPECT_EQ(p.IsAttachment(), r.attachment) << r.disposition;
    }
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

TEST(MailMessage, ComposedShapeAndBoundaries) {
    CMailMessage msg;
    msg.AddMailRoot();
    msg.AddMailFrom("", "a@x.org");
    msg.AddMailSendTo(CMailMessage::kTo, "", "b@x.org");
    EXPECT_EQ(msg.AddMailSendTo(3, "", "c@x.org"), 0);
    EXPECT_EQ(msg.GetMailType(), "normal");
    msg.AddMailText("hi", "text/plain", "us-ascii");
    const int first = Mail::m_nCount;
    const std::string mail = msg.ComposeMailMessage();
    const std::string b0 = "VLK_MAIL_" + std::string(4 - std::to_string(first).size(), '0') +
                           std::to_string(first) + "_PaRt_BoUnDaRy_05151998";
    const std::size_t bodyAt = mail.find("\r\n\r\n") + 4;
    EXPECT_NE(mail.find("Content-Type: multipart/mixed;\r\n\t boundary=" + b0 + "\r\n"), std::string::npos);
    EXPECT_NE(mail.find("Message-ID: <"), std::string::npos);
    const std::string body = mail.substr(bodyAt);
    EXPECT_EQ(body.rfind("This is a multi-part message in MIME format.\r\n\r\n--" + b0 + "\r\n"
                         "Content-Type: multipart/alternative;\r\n\t boundary=", 0), 0u);
    EXPECT_EQ(body.substr(body.size() - b0.size() - 8), "--" + b0 + "--\r\n\r\n");
    EXPECT_EQ(Mail::m_nCount, first + 2);
    msg.ComposeMailMessage();
    EXPECT_EQ(Mail::m_nCount, first + 4);  // new boundaries each time
    EXPECT_TRUE(std::regex_search(mail, std::regex("\r\nDate: [A-Z][a-z]{2}, \\d+ [A-Z][a-z]{2} \\d{4} ")));
    // Attachments without text: no empty container of texts.
    CMailMessage files;
    files.AddMailRoot();
    const unsigned char byte = 'z';
    files.AddAttachment("a.bin", "", &byte, 1);
    const std::string filesMail = files.ComposeMailMessage();
    EXPECT_EQ(filesMail.find("multipart/alternative"), std::string::npos);
    Analysed back(filesMail);
    EXPECT_EQ(back.msg.GetAttachmentNum(), 1);
}

TEST(MailMessage, InjectionIsRefused) {
    CMailMessage msg;
    const std::string bad = "x\r\nBcc: evil@x.org";
    const unsigned char byte = 'z';
    const std::uint32_t one = 1;
    EXPECT_EQ(msg.AddMailFrom(bad, "a@x.org"), 0);
    EXPECT_EQ(msg.AddReplyTo("", bad), 0);
    EXPECT_EQ(msg.AddMailSendTo(CMailMessage::kTo, "", "b@x.org\n"), 0);
    EXPECT_EQ(msg.AddSubject(bad, "utf-8"), 0);
    EXPECT_EQ(msg.AddMailDate(bad), 0);
    EXPECT_EQ(msg.AddNewsGuoup(bad), 0);
    EXPECT_EQ(msg.AddReference(bad), 0);
    EXPECT_EQ(msg.AddMailType(bad), 0);
    EXPECT_EQ(msg.AddAttachment(bad, "utf-8", &byte, one), 0);
    EXPECT_EQ(msg.AddMailText("fine\r\n", "text/plain\r\nX: y", ""), 0);
    const std::string header = msg.Header().ComposeMailHeader();
    EXPECT_EQ(header.find("evil"), std::string::npos);
    EXPECT_EQ(msg.GetRecipientNum(CMailMessage::kTo), 0);
}

TEST(MailMessage, DelMailSendToRemovesTheWholeFieldOnly) {
    Analysed a("Reply-To: r@x.org\r\nX-Bcc: keep\r\nbcc: h1@x.org,\r\n\th2@x.org\r\nSubject: s\r\n"
               "\r\nbody Bcc: not a field\r\n");
    ASSERT_EQ(a.msg.GetRecipientNum(CMailMessage::kBcc), 2);
    EXPECT_EQ(a.msg.DelMailSendTo(CMailMessage::kBcc), 1);
    EXPECT_EQ(a.msg.m_strMailText,
              "Reply-To: r@x.org\r\nX-Bcc: keep\r\nSubject: s\r\n\r\nbody Bcc: not a field\r\n");
    EXPECT_EQ(a.msg.GetRecipientNum(CMailMessage::kBcc), 0);
    EXPECT_EQ(Content(a.msg.Body(), 0), "body Bcc: not a field\r\n");  // offsets follow
    EXPECT_EQ(a.msg.DelMailSendTo(CMailMessage::kTo), 1);  // no To field: unchanged
    EXPECT_EQ(a.msg.m_strMailText.find("Reply-To: r@x.org"), 0u);
}

// Hostile mail: every case ends quickly with bounded parts and depth.
TEST(MailMessage, HostileMailStaysBounded) {
    const auto nested = [](int levels) {
        // Boundaries b0x, b1x, ...: none is the start of another.
        std::string text = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b0x\r\n\r\n";
        for (int i = 0; i < levels; ++i)
            text += "--b" + std::to_string(i) + "x\r\nContent-Type: multipart/mixed; boundary=b" +
                    std::to_string(i + 1) + "x\r\n\r\n";
        return text + "--b" + std::to_string(levels) + "x\r\n\r\nleaf\r\n";
    };
    std::string many = "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=p\r\n\r\n";
    for (int i = 0; i < 1000000; ++i) many += "--p\r\n\r\nx\r\n";
    const std::string longHeader = "Subject: " + std::string(100 << 20, 'a') + "\r\n\r\nbody";
    const std::string open =
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=q\r\n\r\n--q\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n--q-in-base64RA==";
    struct Row {
        const char* name;
        std::string text;
        int parts, maxDepth, result = 1;
    } rows[] = {
        {"10000 nested", nested(10000), CMailBody::kMaxPartDepth + 1, CMailBody::kMaxPartDepth},
        {"a million parts", std::move(many), CMailBody::kMaxParts, 1},
        {"never closed", open, 2, 1, 0},  // its last piece has no header end
        // A part header without its blank line: the mail is damaged, not silently shorter.
        {"part header without end", "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
         "boundary=q\r\n\r\n--q\r\n\r\nfirst\r\n--q\r\nContent-Type: text/plain\r\n--q--\r\n",
         2, 1, 0},
    };
    for (Row& r : rows) {
        Analysed a(std::move(r.text));
        EXPECT_EQ(a.result, r.result) << r.name;
        EXPECT_EQ(a.msg.Body().GetPartCount(), r.parts) << r.name;
        int deepest = 0;
        for (int i = 0; i < a.msg.Body().GetPartCount(); ++i)
            deepest = std::max(deepest, a.msg.Body().GetPart(i)->GetDepth());
        EXPECT_EQ(deepest, r.maxDepth) << r.name;
    }
    std::string fields;
    for (std::size_t i = 0; i < CMailHeader::kMaxHeaderFields + 50; ++i) fields += "X-F: v\r\n";
    Analysed manyFields(fields + "Subject: late\r\n\r\nbody");
    EXPECT_EQ(manyFields.msg.Header().Fields().size(), CMailHeader::kMaxHeaderFields);
    EXPECT_EQ(manyFields.msg.Header().m_strSubject, "");
    Analysed big(longHeader);
    EXPECT_EQ(big.result, 1);
    EXPECT_LE(big.msg.Header().m_strSubject.size(), CMailHeader::kMaxHeaderBytes);
    EXPECT_EQ(Content(big.msg.Body(), 0), "body");
}

}  // namespace
}  // namespace velkor
