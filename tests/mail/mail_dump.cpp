// mail_dump: prints how the library reads mail files, one JSON object per
// file, for the cross-checks against Python's email package. Names and
// contents are hex (names converted to UTF-8 from their charset).
// "mail_dump --codec OP [ARG]" runs one codec on standard input instead and
// writes its result to standard output: b64enc, qpenc and qpdec (lines of
// 76), uuenc FILE, uudec, hdrenc CHARSET (B words), hdrdec (the charset, a
// line break, the bytes) and addrname (the name of an address).
#include <iconv.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "mail/CMailCommonFunction.h"
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

int Codec(const std::string& op, const char* arg) {
    using Mail = CMailCommonFunction;
    std::string in((std::istreambuf_iterator<char>(std::cin)), {}), out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(in.data());
    const auto len = static_cast<std::uint32_t>(in.size());
    std::vector<unsigned char> buf(in.size() + 64);
    std::uint32_t count = static_cast<std::uint32_t>(buf.size());
    int ok = 1;
    if (op == "b64enc") out = Mail::EncodeTextBase64(bytes, len, 76);
    else if (op == "qpenc") out = Mail::EncodeTextQuotedPrintable(bytes, len, 76);
    else if (op == "qpdec" || op == "uudec") {
        ok = op == "qpdec" ? Mail::DecodeTextQuotedPrintable(in, buf.data(), count) : Mail::DecodeUU(in, buf.data(), count);
        out.assign(buf.begin(), buf.begin() + count);
    } else if (op == "uuenc") {
        out = "untouched";
        ok = Mail::EncodeUU(arg ? arg : "", out);
    } else if (op == "hdrenc") Mail::EncodeHeaderItem(in, out, "B", arg ? arg : "");
    else if (op == "hdrdec") {
        std::string charset;
        Mail::DecodeHeaderItem(in, out, charset);
        out = charset + "\n" + out;
    } else if (op == "addrname") {
        CRecipient r;
        ok = Mail::AnalyseMailAddress(in, r);
        out = r.m_strName;
    } else return 2;
    std::cout << out;
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--codec") return Codec(argv[2], argc > 3 ? argv[3] : nullptr);
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
