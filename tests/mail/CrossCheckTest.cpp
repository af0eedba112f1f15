// The codecs against independent implementations on this machine: Python's
// base64, binascii/quopri and email.header, and GNU uuencode/uudecode.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "TestFiles.h"
#include "mail/CMailCommonFunction.h"

namespace velkor {
namespace {

using Mail = CMailCommonFunction;
namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

class CrossCheck : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("velkor-xcheck-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path Write(const std::string& name, const std::string& data) const {
        std::ofstream(m_dir / name, std::ios::binary) << data;
        return m_dir / name;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_dir / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Runs a Python program with the work folder as its current directory.
    int Python(const std::string& program) const {
        Write("check.py", program);
        const std::string cmd = "cd '" + m_dir.string() + "' && " + kPython + " check.py";
        return std::system(cmd.c_str());
    }
    int Shell(const std::string& command) const {
        return std::system(("cd '" + m_dir.string() + "' && " + command).c_str());
    }

    fs::path m_dir;
};

const auto& Random = test::RandomBytes;

const unsigned char* Bytes(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

TEST_F(CrossCheck, Base64AgainstPython) {
    const std::string data = Random(100000, 5);
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    Write("data.bin", data);
    Write("ours.txt", Mail::EncodeTextBase64(Bytes(data), len, lineLength));
    ASSERT_EQ(Python(R"(
import base64
data = open('data.bin', 'rb').read()
ours = open('ours.txt', 'rb').read()
assert base64.b64decode(ours) == data
# Python ends every line with LF, the last one too.
open('python.txt', 'wb').write(base64.encodebytes(data).replace(b'\n', b'\r\n'))
)"),
              0);
    std::string python = Read("python.txt"), ours = Read("ours.txt");
    // Ours ends with a break only when the last line is full.
    if (ours.size() < 2 || ours.compare(ours.size() - 2, 2, "\r\n") != 0) ours += "\r\n";
    EXPECT_EQ(ours, python);
}

TEST_F(CrossCheck, QuotedPrintableAgainstPython) {
    std::string data = Random(20000, 9);
    data += "plain text line\r\nwith = signs\tand tabs ";
    const std::uint32_t len = static_cast<std::uint32_t>(data.size());
    const int lineLength = 76;
    Write("data.bin", data);
    Write("ours.txt", Mail::EncodeTextQuotedPrintable(Bytes(data), len, lineLength));
    ASSERT_EQ(Python(R"(
import binascii, quopri
data = open('data.bin', 'rb').read()
ours = open('ours.txt', 'rb').read()
assert binascii.a2b_qp(ours) == data
assert quopri.decodestring(ours) == data
)"),
              0);
    // Python decodes lower-case escapes; ours leaves them alone by design.
    const std::string mixed = "x=3Dy a=3db";
    std::vector<unsigned char> out(mixed.size());
    std::uint32_t count = static_cast<std::uint32_t>(out.size());
    ASSERT_EQ(Mail::DecodeTextQuotedPrintable(mixed, out.data(), count), 1);
    EXPECT_EQ(std::string(out.begin(), out.begin() + count), "x=y a=3db");
    ASSERT_EQ(Python("import binascii\nassert binascii.a2b_qp(b'a=3db') == b'a=b'\n"), 0);
}

TEST_F(CrossCheck, UUAgainstGnuSharutils) {
    if (Shell("command -v uuencode >/dev/null && command -v uudecode >/dev/null") != 0)
        GTEST_SKIP() << "sharutils (uuencode, uudecode) is not installed";
    for (std::size_t size : {0u, 1u, 44u, 45u, 46u, 1000u, 100000u}) {
        SCOPED_TRACE(size);
        const std::string data = Random(size, static_cast<unsigned>(size));
        const fs::path file = Write("in.bin", data);
        // Ours, decoded by GNU uudecode.
        std::string block;
        ASSERT_EQ(Mail::EncodeUU(file.string(), block), 1);
        EXPECT_EQ(block.rfind("begin 6", 0), 0u);
        EXPECT_NE(block.find(" in.bin\n"), std::string::npos);
        Write("ours.uu", block);
        ASSERT_EQ(Shell("uudecode -o decoded.bin ours.uu"), 0);
        EXPECT_TRUE(Read("decoded.bin") == data);
        // GNU's, as a mail body with CR LF lines, decoded by ours.
        ASSERT_EQ(Shell("uuencode in.bin report.txt | sed 's/$/\\r/' > gnu.uu"), 0);
        const std::string gnu = "Some text first\r\n" + Read("gnu.uu");
        std::vector<unsigned char> out(size + 64);
        std::uint32_t count = static_cast<std::uint32_t>(out.size());
        ASSERT_EQ(Mail::DecodeUU(gnu, out.data(), count), 1);
        EXPECT_TRUE(std::string(out.begin(), out.begin() + count) == data);
        std::string name, unused;
        ASSERT_EQ(Mail::DecodeUUFileName(gnu, name, unused), 1);
        EXPECT_EQ(name, "report.txt");
    }
    std::string untouched = "untouched";
    EXPECT_EQ(Mail::EncodeUU((m_dir / "missing").string(), untouched), 0);
    EXPECT_EQ(untouched, "untouched");
}

TEST_F(CrossCheck, EncodedWordsAgainstPythonEmailHeader) {
    // A long GB2312 name (every character two bytes) encoded by us.
    std::string name;
    for (int i = 0; i < 37; ++i) name += "\xD6\xD0\xCE\xC4";
    std::string encoded;
    Mail::EncodeHeaderItem(name, encoded, "B", "GB2312");
    Write("name.bin", name);
    Write("ours.txt", encoded);
    ASSERT_EQ(Python(R"(
from email.header import decode_header, Header
ours = open('ours.txt', 'rb').read().decode('ascii')
parts = decode_header(ours)
assert b''.join(p for p, _ in parts) == open('name.bin', 'rb').read(), parts
assert all(c.lower() == 'gb2312' for _, c in parts)
# Words made by Python, in UTF-8 (B) and ISO-2022-JP, for us to decode.
open('utf8.txt', 'w').write(Header('Grüße aus 北京 und mehr Text, der umbricht', 'utf-8').encode())
open('utf8.bin', 'wb').write('Grüße aus 北京 und mehr Text, der umbricht'.encode('utf-8'))
open('jp.txt', 'w').write(Header('日本語', 'iso-2022-jp').encode())
open('jp.bin', 'wb').write('日本語'.encode('shift_jis'))
)"),
              0);
    std::string decoded, charset;
    Mail::DecodeHeaderItem(Read("utf8.txt"), decoded, charset);
    EXPECT_EQ(decoded, Read("utf8.bin"));
    EXPECT_EQ(charset, "utf-8");
    CRecipient jp;
    ASSERT_EQ(Mail::AnalyseMailAddress(Read("jp.txt") + " <jp@example.jp>", jp), 1);
    EXPECT_EQ(jp.m_strName, Read("jp.bin"));
}

}  // namespace
}  // namespace velkor
