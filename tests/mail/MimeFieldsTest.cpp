// The MIME field and body scanners, with their documented blind spots.
#include <gtest/gtest.h>

#include "mail/CMailCommonFunction.h"

namespace velkor {
namespace {

using Mail = CMailCommonFunction;
using Offsets = std::vector<std::uint32_t>;

TEST(ContentType, SplitsTypeSubtypeAndParameters) {
    std::string type, subtype, params;
    Mail::ParseContentType("text/HTML; charset=GB2312", type, subtype, params);
    EXPECT_EQ(type, "text");
    EXPECT_EQ(subtype, "html");
    EXPECT_EQ(params, "charset=GB2312");
    type = subtype = "";
    Mail::ParseContentType("", type, subtype, params);
    EXPECT_EQ(type, "text");
    EXPECT_EQ(subtype, "plain");
    EXPECT_EQ(params, "");
    type = "Keep";
    subtype = "";
    Mail::ParseContentType("noslash;x=1", type, subtype, params);
    EXPECT_EQ(type, "keep");
    EXPECT_EQ(subtype, "plain");
}

TEST(ContentDisposition, FirstParameterOnly) {
    std::string disposition, name, charset;
    EXPECT_EQ(Mail::ParseContentDisposition(
                  "Attachment; filename=\"=?GB2312?B?1tDOxA==?=.doc\"", disposition, name, charset),
              1);
    EXPECT_EQ(disposition, "attachment");
    EXPECT_EQ(name, "\xD6\xD0\xCE\xC4.doc");
    EXPECT_EQ(charset, "GB2312");
    EXPECT_EQ(Mail::ParseContentDisposition("inline", disposition, name, charset), 0);
    EXPECT_EQ(disposition, "inline");
    EXPECT_EQ(Mail::ParseContentDisposition("attachment; filename =a.txt", disposition, name,
                                            charset),
              0);
    // RFC 2231: whole, and in sections (out of order, one plain).
    struct { const char* value; const char* name; const char* charset; } rows[] = {
        {"attachment; filename*=utf-8'en'caf%C3%A9.txt", "caf\xC3\xA9.txt", "utf-8"},
        {"attachment; filename*1=\"x.txt\";\r\n filename*0*=gb2312''%D6%D0", "\xD6\xD0x.txt",
         "gb2312"},
        {"attachment; filename*=%41", "A", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Mail::ParseContentDisposition(r.value, disposition, name, charset), 1);
        EXPECT_EQ(name, r.name) << r.value;
        EXPECT_EQ(charset, r.charset) << r.value;
    }
    EXPECT_EQ(Mail::GetFilename("name*0*=utf-8''a%20b"), "a b");
}

TEST(Parameters, BoundaryTypeCharsetNameRelated) {
    EXPECT_EQ(Mail::GetMultipartBoundary("boundary=\"MiXeD_Case\""), "MiXeD_Case");
    EXPECT_EQ(Mail::GetMultipartBoundary("x=\"no boundary here\"; boundary=\"real\""), "real");
    // An unquoted value ends at ';', and a later quoted parameter is not it.
    EXPECT_EQ(Mail::GetMultipartBoundary("boundary=abc; charset=x"), "abc");
    EXPECT_EQ(Mail::GetMultipartBoundary("boundary=R; type=\"text/html\""), "R");
    EXPECT_EQ(Mail::GetMultipartBoundary("charset=x"), "");
    EXPECT_EQ(Mail::GetFirstPartType("type=\"Text/HTML\""), "text/html");
    EXPECT_EQ(Mail::GetFirstPartType("type=text/html"), "");
    EXPECT_EQ(Mail::GetTextCharset("charset=\"GB2312\""), "gb2312");
    EXPECT_EQ(Mail::GetTextCharset("CharSet="), "us-ascii");
    EXPECT_EQ(Mail::GetTextCharset("name=x"), "");
    EXPECT_EQ(Mail::GetFilename("NAME=\"Report.DOC\""), "report.doc");

    std::string type = "keep", start = "keep", info = "keep";
    Mail::GetRelatedInfo("type=\"text/html\";start=<cid@x>", type, start, info);
    EXPECT_EQ(type, "\"text/html\"");
    EXPECT_EQ(start, "<cid@x>");
    EXPECT_EQ(info, "keep");
    type = start = "keep";
    Mail::GetRelatedInfo("type=\"text/html\"; start=<cid@x>;", type, start, info);
    EXPECT_EQ(type, "\"text/html\"");
    EXPECT_EQ(start, "keep");  // a piece that starts with a blank never matches
}

TEST(Multipart, PartsBetweenDelimiters) {
    const std::string body =
        "preamble\r\n--B\r\npart one\r\n--B\r\npart two\r\n--B--\r\nepilogue";
    Offsets starts, ends;
    ASSERT_EQ(Mail::SplitMultipart(body, 0, static_cast<std::uint32_t>(body.size()), "B", starts,
                                   ends),
              1);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(body.substr(starts[0], ends[0] - starts[0]), "\r\npart one\r\n");
    EXPECT_EQ(body.substr(starts[1], ends[1] - starts[1]), "\r\npart two\r\n");

    const std::string open = "--B\r\none\r\n--B\r\ntwo";
    starts.clear();
    ends.clear();
    ASSERT_EQ(Mail::SplitMultipart(open, 0, static_cast<std::uint32_t>(open.size()), "B", starts,
                                   ends),
              1);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1], open.size());

    starts.clear();
    ends.clear();
    EXPECT_EQ(Mail::SplitMultipart(body, 0, 12, "B", starts, ends), 0);  // past the end
    EXPECT_EQ(Mail::SplitMultipart(body, 0, 100, "nope", starts, ends), 0);
}

TEST(Multipart, UUBlocksNeedALineBreakBefore) {
    // The first block stands at the very start and is not found; its "end"
    // is not paired with the second block's "begin".
    const std::string body = "begin 644 a\r\nx\r\nend\r\ntext\r\nbegin 644 b\r\n`\r\nend\r\n";
    Offsets starts, ends;
    Mail::SplitMultipart2(body, 0, static_cast<std::uint32_t>(body.size()), starts, ends);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(body.substr(starts[0], ends[0] - starts[0]), "begin 644 b\r\n`\r\nend");
}

TEST(HeaderLines, UnfoldsAndSplits) {
    std::vector<std::string> lines{"stale"};
    Mail::SplitString("Subject: Hello\r\n\tWorld\r\nTo: a@x.org\r\n\r\nbody", lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Subject: HelloWorld", "To: a@x.org", "", "body"}));
    // An end past the text is kept: the line after a final CR LF counts.
    Mail::SplitString("a\r\n", lines, 0, 5);
    EXPECT_EQ(lines, (std::vector<std::string>{"a", ""}));
    Mail::SplitString("", lines, 0, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{""}));
    std::string name, value;
    EXPECT_EQ(Mail::SplitLine("Subject  :   Hi there", name, value), 1);
    EXPECT_EQ(name, "Subject");
    EXPECT_EQ(value, "Hi there");
    EXPECT_EQ(Mail::SplitLine("no colon", name, value), 0);
}

TEST(HostileFields, MillionEncodedWordsAndHugeValues) {
    std::string many;
    for (int i = 0; i < 1000000; ++i) many += "=?";
    std::string decoded, charset;
    EXPECT_EQ(Mail::DecodeHeaderItem(many, decoded, charset), 1);
    const std::string huge = "x=\"" + std::string(10 << 20, 'b') + "\"; boundary=\"z\"";
    EXPECT_EQ(Mail::GetMultipartBoundary(huge), "z");
    std::vector<std::string> lines;
    Mail::SplitString(std::string(10 << 20, '\t') + "\r\n", lines);
    EXPECT_EQ(lines.size(), 1u);
}

}  // namespace
}  // namespace velkor
