// Transfer encodings: known vectors, the documented quirks, round trips,
// and bounded output on hostile input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestFiles.h"
#include "mail/CMailCommonFunction.h"

namespace velkor {
namespace {

using Mail = CMailCommonFunction;

const auto& Random = test::RandomBytes;

std::string B64(const std::string& data, int lineLength = 0) {
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    return Mail::EncodeTextBase64(reinterpret_cast<const unsigned char*>(data.data()), len,
                                  lineLength);
}

std::string QP(const std::string& data, int lineLength = 76) {
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    return Mail::EncodeTextQuotedPrintable(reinterpret_cast<const unsigned char*>(data.data()),
                                           len, lineLength);
}

// Decodes into a heap buffer of exactly `capacity` bytes (so the sanitizer
// sees any write past it); nullopt-like empty marker on failure.
struct Decoded {
    int result;
    std::string bytes;
};

Decoded DecodeWith(int (*decode)(const std::string&, unsigned char*, std::uint32_t&, int, int),
            const std::string& src, std::size_t capacity, int start = -1, int end = -1) {
    std::vector<unsigned char> buf(capacity);
    std::uint32_t count = static_cast<std::uint32_t>(capacity);
    const int result = decode(src, buf.data(), count, start, end);
    const std::size_t n = result ? count : 0;
    return {result, std::string(reinterpret_cast<char*>(buf.data()), n)};
}

Decoded DecodeB64(const std::string& src, std::size_t capacity = 0) {
    return DecodeWith(&Mail::DecodeTextBase64, src, capacity ? capacity : src.size() + 3);
}

Decoded DecodeQP(const std::string& src, std::size_t capacity = 0) {
    return DecodeWith(&Mail::DecodeTextQuotedPrintable, src, capacity ? capacity : src.size() + 1);
}

struct Pair {
    std::string plain;
    std::string encoded;
    int lineLength;
};

class Base64Vectors : public ::testing::TestWithParam<Pair> {};

TEST_P(Base64Vectors, EncodeAndDecode) {
    const Pair& p = GetParam();
    EXPECT_EQ(B64(p.plain, p.lineLength), p.encoded);
    const Decoded d = DecodeB64(p.encoded);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.bytes, p.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4648AndLineBreaks, Base64Vectors,
    ::testing::Values(Pair{"", "", 0}, Pair{"f", "Zg==", 0}, Pair{"fo", "Zm8=", 0},
                      Pair{"foo", "Zm9v", 0}, Pair{"foob", "Zm9vYg==", 0},
                      Pair{"fooba", "Zm9vYmE=", 0}, Pair{"foobar", "Zm9vYmFy", 0},
                      Pair{"abc", "YWJj", 0}, Pair{"ab", "YWI=", 0},
                      Pair{"abcd", "YWJj\r\nZA==\r\n", 4},
                      Pair{"abcd", "YWJjZ\r\nA==", 5},
                      Pair{"abcdef", "YWJjZGVm\r\n", 8},
                      Pair{"abcdefg", "YWJjZGVm\r\nZw==", 8}));

TEST(Base64, DecodingRules) {
    EXPECT_EQ(DecodeB64("TWFu").bytes, "Man");
    EXPECT_EQ(DecodeB64("TWE=").bytes, "Ma");
    EXPECT_EQ(DecodeB64("TQ==").bytes, "M");
    EXPECT_EQ(DecodeB64("TW\r\nFu\r\nTWE=").bytes, "ManMa");
    EXPECT_EQ(DecodeB64("TWFu=TWFu").bytes, "Man");  // '=' ends decoding anywhere
    // A byte with the high bit set counts by its low seven bits.
    EXPECT_EQ(DecodeB64("\xD4\xD7\xC6\xF5").bytes, "Man");
    EXPECT_EQ(DecodeB64("TW*u").result, 0);
    EXPECT_EQ(DecodeB64("TW u").result, 0);
    // A half-open range.
    EXPECT_EQ(DecodeWith(&Mail::DecodeTextBase64, "xxTWFuxx", 8, 2, 6).bytes, "Man");
}

TEST(Base64, OutputNeverPassesTheCapacity) {
    const std::string enc = B64(Random(3000, 1), 76);
    for (std::size_t cap : {1u, 2u, 2999u}) EXPECT_EQ(DecodeB64(enc, cap).result, 0) << cap;
    EXPECT_EQ(DecodeB64(enc, 3000).result, 1);
}

TEST(QuotedPrintable, EncodingRules) {
    EXPECT_EQ(QP("a=b c"), "a=3Db=20c");
    EXPECT_EQ(QP("\r\n"), "=0D=0A");
    EXPECT_EQ(QP("\t\xB0~!"), "=09=B0~!");
    EXPECT_EQ(QP(""), "");
    // A soft break once a line holds 75 characters (L 76), also at the end.
    EXPECT_EQ(QP(std::string(75, 'x')), std::string(75, 'x') + "=\r\n");
    EXPECT_EQ(QP(std::string(74, 'x') + " y"), std::string(74, 'x') + "=20=\r\ny");
    EXPECT_EQ(QP("abc", 0), "abc");
}

TEST(QuotedPrintable, DecodingRules) {
    EXPECT_EQ(DecodeQP("a=3Db").bytes, "a=b");
    EXPECT_EQ(DecodeQP("a=3db").bytes, "a=3db");  // lower-case hex is no escape
    EXPECT_EQ(DecodeQP("ab=\r\ncd").bytes, "abcd");
    EXPECT_EQ(DecodeQP("ab\r\ncd").bytes, "ab\r\ncd");
    EXPECT_EQ(DecodeQP("abc=").bytes, "abc=");
    EXPECT_EQ(DecodeQP("abc=4").bytes, "abc=4");
    EXPECT_EQ(DecodeQP("=ZZ=4").bytes, "=ZZ=4");
    EXPECT_EQ(DecodeQP("a=3Db", 2).result, 0);  // does not fit
}

TEST(QuotedPrintable, RoundTripsOverLengthsAndLineLengths) {
    for (int lineLength : {0, 3, 10, 76}) {
        for (std::size_t n = 0; n < 300; n += 7) {
            const std::string data = Random(n, static_cast<unsigned>(n + lineLength));
            const Decoded d = DecodeQP(QP(data, lineLength));
            ASSERT_EQ(d.result, 1);
            ASSERT_EQ(d.bytes, data) << "n=" << n << " L=" << lineLength;
        }
    }
}

TEST(Dispatchers, ByNameInAnyCase) {
    std::vector<unsigned char> buf(16);
    std::uint32_t count = 16;
    ASSERT_EQ(Mail::Decode("BASE64", "TWFu", buf.data(), count, -1, -1), 1);
    EXPECT_EQ(std::string(buf.begin(), buf.begin() + count), "Man");
    count = 16;
    ASSERT_EQ(Mail::Decode("Quoted-Printable", "a=3Db", buf.data(), count, -1, -1), 1);
    EXPECT_EQ(count, 3u);
    // Unknown names copy the range as given, stopping at a zero byte.
    count = 16;
    ASSERT_EQ(Mail::Decode("7bit", std::string("hello\0world", 11), buf.data(), count, 1, 9), 1);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data())), "ello");
    count = 3;
    EXPECT_EQ(Mail::Decode("", "hello", buf.data(), count, 0, 5), 0);
    EXPECT_EQ(count, 3u);

    const unsigned char data[] = {'a', 'b', 0, 'c'};
    const std::uint32_t len = 4;
    const int noBreaks = 0;
    EXPECT_EQ(Mail::Encode("Base64", data, len, noBreaks), "YWIAYw==");
    EXPECT_EQ(Mail::Encode("8bit", data, len, noBreaks), "ab");
}

TEST(UU, DecodingAndBounds) {
    const std::string body = "x\r\nbegin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n";
    Decoded d = DecodeWith(&Mail::DecodeUU, body, 16);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.bytes, "abc");
    // A first line that starts with a grave accent: nothing, but success.
    d = DecodeWith(&Mail::DecodeUU, "begin 644 e\r\n`\r\nend\r\n", 4);
    EXPECT_EQ(d.result, 1);
    EXPECT_EQ(d.bytes, "");
    EXPECT_EQ(DecodeWith(&Mail::DecodeUU, "no block here\r\n", 4).result, 0);
    EXPECT_EQ(DecodeWith(&Mail::DecodeUU, "begin 644 a" + std::string(1 << 20, 'M'), 64).result, 0);
    EXPECT_EQ(DecodeWith(&Mail::DecodeUU, body, 2).result, 0);  // does not fit
    // An over-long line with an impossible count is cut to the line buffer.
    const std::string longLine = "begin 644 l\r\n" + std::string(500, 'M') + "\r\n`\r\n";
    d = DecodeWith(&Mail::DecodeUU, longLine, 1000);
    EXPECT_EQ(d.result, 1);
    EXPECT_LE(d.bytes.size(), 60u);

    std::string name, untouched = "keep";
    EXPECT_EQ(Mail::DecodeUUFileName("begin 644 report.txt\r\n", name, untouched, -1, -1), 1);
    EXPECT_EQ(name, "report.txt");
    EXPECT_EQ(untouched, "keep");
    EXPECT_EQ(Mail::DecodeUUFileName("begin report.txt\r\n", name, untouched, -1, -1), 0);
    EXPECT_EQ(Mail::DecodeUUFileName("begin 644 " + std::string(256, 'n') + "\r\n", name,
                                     untouched, -1, -1),
              0);
    EXPECT_EQ(Mail::DecodeUUFileName("begin 644 " + std::string(255, 'n') + "\r\n", name,
                                     untouched, -1, -1),
              1);
}

TEST(Iso2022, ToShiftJis) {
    EXPECT_EQ(Mail::ISO2022ToSJIS("\x1b$B\x30\x21\x1b(B"), "\x88\x9f");
    EXPECT_EQ(Mail::ISO2022ToSJIS("plain text"), "plain text");
    EXPECT_EQ(Mail::ISO2022ToSJIS("a\x1b$B\x30\x21\x1b(Bb\x1b$B\x24\x22\x1b(Bc"),
              "a\x88\x9f" "b\x82\xa0" "c");
    // An opening escape without a closing one: the run lasts to the end.
    EXPECT_EQ(Mail::ISO2022ToSJIS("x\x1b$B\x30\x21"), "x\x88\x9f");
    EXPECT_EQ(Mail::ISO2022ToSJIS("\x1b"), "");
}

TEST(Utf, ToUtf16WithCountAndTerminator) {
    const std::string text = "h\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // h é 中 😀
    std::vector<char16_t> out(16, u'x');
    std::uint32_t count = 15;
    const std::uint32_t len = static_cast<std::uint32_t>(text.size());
    EXPECT_EQ(Mail::UTF8ToUnicode(reinterpret_cast<const unsigned char*>(text.data()), len,
                                  out.data(), count),
              1);
    ASSERT_EQ(count, 5u);
    EXPECT_EQ(std::u16string(out.data(), 5), u"h\u00e9\u4e2d\U0001F600");
    EXPECT_EQ(out[5], 0);
    count = 2;  // does not fit
    Mail::UTF8ToUnicode(reinterpret_cast<const unsigned char*>(text.data()), len, out.data(),
                        count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out[0], 0);

    const std::string utf7 = "Hi Mom -+Jjo--!";
    count = 15;
    const std::uint32_t len7 = static_cast<std::uint32_t>(utf7.size());
    Mail::UTF7ToUnicode(reinterpret_cast<const unsigned char*>(utf7.data()), len7, out.data(),
                        count);
    EXPECT_EQ(std::u16string(out.data(), count), u"Hi Mom -\u263a-!");
}

// Each of these is one linear pass (bounded by the input); none may write
// past its buffer, which the sanitizer build checks.
TEST(HostileInput, StaysWithinBounds) {
    // Base64 full of invalid bytes: stops at the first.
    EXPECT_EQ(DecodeB64(std::string(10 << 20, '*')).result, 0);
    // 2 MiB of CR LF: nothing decoded, success.
    std::string crlf;
    for (int i = 0; i < (1 << 20); ++i) crlf += "\r\n";
    EXPECT_EQ(DecodeB64(crlf, 1).bytes, "");
    // A UU body without line ends.
    EXPECT_EQ(DecodeWith(&Mail::DecodeUU, "begin 644 x" + std::string(10 << 20, 'M'), 8).result, 0);
    // Quoted-printable made only of '='.
    EXPECT_EQ(DecodeQP(std::string(10 << 20, '=')).bytes.size(), 10u << 20);
}

}  // namespace
}  // namespace velkor
