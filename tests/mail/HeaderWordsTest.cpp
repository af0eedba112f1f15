// Encoded header words, address lists, dates and the two counters.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "mail/CMailCommonFunction.h"
#include "platform/CodePage.h"

namespace velkor {
namespace {

using Mail = CMailCommonFunction;

struct WordCase {
    const char* text;
    const char* decoded;
    const char* charset;
};

class HeaderWordDecoding : public ::testing::TestWithParam<WordCase> {};

TEST_P(HeaderWordDecoding, Decodes) {
    std::string text, charset = "stale";
    Mail::DecodeHeaderItem(GetParam().text, text, charset);
    EXPECT_EQ(text, GetParam().decoded);
    EXPECT_EQ(charset, GetParam().charset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderWordDecoding,
    ::testing::Values(WordCase{"plain subject", "plain subject", ""},
                      // "中文" in GB2312, base64.
                      WordCase{"=?GB2312?B?1tDOxA==?=", "\xD6\xD0\xCE\xC4", "GB2312"},
                      WordCase{"abc =?us-ascii?q?x=3Dy?= def", "abc x=y def", "us-ascii"},
                      // Two words with a blank between: joined; Q keeps '_' as it is.
                      WordCase{"=?utf-8?B?aGVs?= =?utf-8?Q?lo_there?=", "hello_there", "utf-8"},
                      // A word without its closing "?=": decoded to the end.
                      WordCase{"=?x?B?TWFu", "Man", "x"},
                      // A word that fails part-way keeps what came before the bad digit.
                      WordCase{"=?x?B?TWFu*?=", "Man", "x"},
                      WordCase{"a =?x?B?TWFu ?= b", "a Man b", "x"},
                      // Text between words stays; only blanks between two words go.
                      WordCase{"=?utf-8?Q?Hello?= and =?utf-8?Q?World?=!", "Hello and World!", "utf-8"},
                      WordCase{"=?utf-8?Q?a?= \t =?utf-8?Q?b?=", "ab", "utf-8"},
                      // Unknown encoding letters and broken words stay as written.
                      WordCase{"=?x?Z?abc?= tail", "=?x?Z?abc?= tail", ""},
                      WordCase{"price =? maybe", "price =? maybe", ""}));

TEST(HeaderWords, EncodingChunksOnCharacterBoundaries) {
    std::string out;
    Mail::EncodeHeaderItem("plain ascii", out, "B", "GB2312");
    EXPECT_EQ(out, "plain ascii");

    // 50 two-byte characters, each starting on an even index: 40 + 40 + 20.
    std::string chinese;
    for (int i = 0; i < 50; ++i) chinese += "\xD6\xD0";
    Mail::EncodeHeaderItem(chinese, out, "x", "GB2312");
    std::vector<std::string> words;
    for (std::size_t pos = 0, next;; pos = next + 3) {
        next = out.find("\r\n\t", pos);
        words.push_back(out.substr(pos, next == std::string::npos ? next : next - pos));
        if (next == std::string::npos) break;
    }
    ASSERT_EQ(words.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(words[i].rfind("=?GB2312?B?", 0), 0u);
        std::string decoded, charset;
        Mail::DecodeHeaderItem(words[i], decoded, charset);
        EXPECT_EQ(decoded.size(), i < 2 ? 40u : 20u);
    }
    // Words end on character boundaries counted from each word's start,
    // whatever single byte sits at index 38.
    struct { std::string text; std::size_t first; } rows[] = {
        {std::string(38, 'a') + "x" + chinese, 39},
        {"A" + chinese.substr(0, 40), 39},  // a trail byte at index 38 looks like a lead byte
        {"AB" + chinese.substr(0, 40), 40},
    };
    for (const auto& r : rows) {
        Mail::EncodeHeaderItem(r.text, out, "B", "GB2312");
        std::string decoded, charset;
        Mail::DecodeHeaderItem(out.substr(0, out.find("\r\n\t")), decoded, charset);
        EXPECT_EQ(decoded.size(), r.first) << out;
        Mail::DecodeHeaderItem(out, decoded, charset);
        EXPECT_EQ(decoded, r.text);
    }
}

struct AddressCase {
    const char* text;
    int result;
    const char* address;
    const char* name;
    const char* charset;
};

class Address : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Address, Analyses) {
    const AddressCase& c = GetParam();
    CRecipient r{"old", "old", "old"};
    EXPECT_EQ(Mail::AnalyseMailAddress(c.text, r), c.result);
    EXPECT_EQ(r.m_strAddress, c.address);
    EXPECT_EQ(r.m_strName, c.name);
    EXPECT_EQ(r.m_strCharset, c.charset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Address,
    ::testing::Values(
        AddressCase{"\"Zhang San\" <zs@example.com>", 1, "zs@example.com", "Zhang San", ""},
        AddressCase{"  bare@example.com  ", 1, "bare@example.com", "", ""},
        AddressCase{"Broken <x@example.com", 0, "old", "old", "old"},
        AddressCase{"=?GB2312?B?1tDOxA==?= < zw@example.com >", 1, "zw@example.com",
                    "\xD6\xD0\xCE\xC4", "GB2312"},
        // UTF-8 names arrive in the active code page (GBK here).
        AddressCase{"=?utf-8?B?5Lit5paH?= <u@example.com>", 1, "u@example.com",
                    "\xD6\xD0\xCE\xC4", "utf-8"},
        AddressCase{"=?ISO-2022-JP?B?GyRCMCEbKEI=?= <j@example.jp>", 1, "j@example.jp",
                    "\x88\x9f", "ISO-2022-JP"}));

TEST(AddressList, SplitsAndComposes) {
    CRecipientArray list;
    Mail::AnalyseMailAddressString("a@x.org, \"B\" <b@x.org>", list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].m_strName, "B");
    Mail::AnalyseMailAddressString("a@x.org;;b@x.org", list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1], CRecipient());
    Mail::AnalyseMailAddressString("", list);
    EXPECT_TRUE(list.empty());
    // Commas split even inside quotes.
    Mail::AnalyseMailAddressString("\"Doe, J\" <j@x.org>", list);
    EXPECT_EQ(list.size(), 2u);

    EXPECT_EQ(Mail::ComposeMailAddress(CRecipient{"a@x.org", "Ann", ""}), "\"Ann\" <a@x.org>");
    EXPECT_EQ(Mail::ComposeMailAddress(CRecipient{"a@x.org", "", ""}), " <a@x.org>");
    EXPECT_EQ(Mail::ComposeMailAddress(CRecipient{"z@x.org", "\xD6\xD0", "GB2312"}),
              "=?GB2312?B?1tA=?= <z@x.org>");
    EXPECT_EQ(Mail::ComposeMailAddress(CRecipientArray{{"a@x.org", "Ann", ""},
                                                       {"", "", ""},
                                                       {"b@x.org", "", ""}}),
              "\"Ann\" <a@x.org>,\r\n\t <b@x.org>");
    EXPECT_EQ(Mail::ComposeMailAddress(CRecipientArray{}), "");
}

TEST(MailDates, SortableForm) {
    EXPECT_EQ(Mail::ChangeTimeFormat("Fri, 4 Dec 2026 01:22:42 +0800"), "2026-12-04 01:22:42");
    EXPECT_EQ(Mail::ChangeTimeFormat("Mon, 5 Jan 98 7:05:00 GMT"), "2098-01-05 7:05:00");
    EXPECT_EQ(Mail::ChangeTimeFormat("5 jan 2001 10:00:00 +0000"), "2001-01-05 10:00:00");
    EXPECT_EQ(Mail::ChangeTimeFormat("Tue, 17 Xyz 2000 10:00:00 +0000"), "2000-01-17 10:00:00");
    EXPECT_EQ(Mail::ChangeTimeFormat("Tue, 17 Feb 2000 10:00:00"), "2000-02-17 ");
    EXPECT_EQ(Mail::ChangeTimeFormat(""), "");

    const std::string now = Mail::GetCurrentMailTime();
    EXPECT_TRUE(std::regex_match(
        now, std::regex(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat), \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d \d\d:\d\d:\d\d [+-]\d{4})")))
        << now;
}

TEST(MailCounters, BoundariesAndContentIdsCountUp) {
    // The counters are process-wide: start the boundary count where the
    // test wants it, and compare content ids with each other.
    Mail::m_nCount = 7;
    EXPECT_EQ(Mail::NewBoundary(), "VLK_MAIL_0007_PaRt_BoUnDaRy_05151998");
    EXPECT_EQ(Mail::NewBoundary(), "VLK_MAIL_0008_PaRt_BoUnDaRy_05151998");
    EXPECT_EQ(Mail::m_nCount, 9);
    std::smatch first;
    const std::string cid = Mail::NewCID("host.example");
    ASSERT_TRUE(std::regex_match(
        cid, first, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\$(\d+)@host\.example)")));
    const int next = std::stoi(first[1].str()) + 1;
    EXPECT_NE(Mail::NewCID("h").find("$" + std::to_string(next) + "@h"), std::string::npos);
}

TEST(FileNames, UnsafeCharactersReplacedDoubleByteKept) {
    EXPECT_EQ(Mail::VerifyFileName("a\\b/c:d*e?f\"g<h>i|j.txt"), "a_b_c_d_e_f_g_h_i_j.txt");
    // 0x5C is the second byte of this GBK character and stays.
    EXPECT_EQ(Mail::VerifyFileName("\x81\x5C/x"), "\x81\x5C_x");
}

TEST(CodePage, EightBitTextIsEncodedInEveryCodePageAndUtf8WordsHoldWholeCharacters) {
    EXPECT_TRUE(IsLeadByte(0x81));
    SetActiveCodePage(kCodePageUtf8);
    EXPECT_FALSE(IsLeadByte(0xD6));
    std::string out;
    Mail::EncodeHeaderItem("\xD6\xD0", out, "B", "x");
    EXPECT_EQ(out, "=?x?B?1tA=?=");
    // "a" and 27 two-byte characters: 40 bytes would end inside a
    // character, so the first word carries 39.
    std::string text = "a";
    for (int i = 0; i < 27; ++i) text += "\xC3\xA9";
    Mail::EncodeHeaderItem(text, out, "B", "utf-8");
    std::string decoded, charset;
    Mail::DecodeHeaderItem(out.substr(0, out.find("\r\n")), decoded, charset);
    EXPECT_EQ(decoded.size(), 39u);
    Mail::DecodeHeaderItem(out, decoded, charset);
    EXPECT_EQ(decoded, text);
    SetActiveCodePage(kDefaultCodePage);
}

}  // namespace
}  // namespace velkor
