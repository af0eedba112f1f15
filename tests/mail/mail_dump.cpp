// mail_dump: prints how the library reads mail files, one JSON object per
// file, for the cross-checks against Python's email package. Names and
// contents are hex (names converted to UTF-8 from their charset).
#include <iconv.h>

#include <cstdio>
#include <string>

#include "mail/CMailMessage.h"
#include "platform/CodePage.h"
#include "platform/LocalFile.h"

using namespace velkor;

namespace {

std::string Hex(const unsigned char* p, std::size_t n) {
    static const char* const kDigits = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out += kDigits[p[i] >> 4];
        out += kDigits[p[i] & 15];
    }
    return out;
}

std::string Hex(const std::string& s) {
    return Hex(reinterpret_cast<const unsigned char*>(s.data()), s.size());
}

std::string ToUtf8(const std::string& bytes, const std::string& charset) {
    if (charset.empty() || bytes.empty()) return bytes;
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
    std::string out(bytes.size() * 4 + 8, '\0');
    char* in = const_cast<char*>(bytes.data());
    char* o = out.data();
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(cd);
    if (!ok) return bytes;
    out.resize(out.size() - outLeft);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    SetActiveCodePage(kCodePageUtf8);
    for (int a = 1; a < argc; ++a) {
        CMailMessage msg;
        std::string text;
        if (!ReadRegularFile(argv[a], text, 1u << 30)) return 2;
        // CPython's sample mails have LF line ends.
        if (text.find("\r\n") == std::string::npos) {
            for (std::size_t i = 0; (i = text.find('\n', i)) != std::string::npos; i += 2)
                text.insert(i, 1, '\r');
        }
        msg.m_strMailText = std::move(text);
        const int ok = msg.AnalyseMailMessage();
        msg.AnalyseOnDisplay();
        CMailBody& body = msg.Body();
        std::printf("{\"file\": \"%s\", \"ok\": %d, \"subject\": \"%s\", \"texts\": %d, "
                    "\"attachments\": %d, \"related\": %d, \"parts\": [",
                    argv[a], ok,
                    Hex(ToUtf8(msg.Header().m_strSubject, msg.Header().m_strSubjectCharset)).c_str(),
                    msg.GetTextNum(), msg.GetAttachmentNum(), msg.GetRelateNum());
        for (int i = 0; i < body.GetPartCount(); ++i) {
            CMIMEPart* part = body.GetPart(i);
            unsigned char* content = nullptr;
            std::uint32_t length = 0;
            body.GetMIMEPart(i, content, length);
            std::string name, charset;
            part->GetFilename(name, charset);
            std::printf("%s{\"depth\": %d, \"type\": \"%s/%s\", \"cid\": \"%s\", \"name\": \"%s\", "
                        "\"content\": \"%s\"}",
                        i ? ", " : "", part->GetDepth(), part->GetMIMEType().c_str(),
                        part->GetMIMESubType().c_str(), Hex(part->GetCID()).c_str(),
                        Hex(ToUtf8(name, charset)).c_str(),
                        content ? Hex(content, length).c_str() : "");
            delete[] content;
        }
        std::printf("]}\n");
    }
    return 0;
}
