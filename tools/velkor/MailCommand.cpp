// velkor mail: show, extract and compose mail files (RFC 5322 text with
// CR LF or LF line ends).
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>

#include "Commands.h"
#include "mail/CMailMessage.h"
#include "platform/CodePage.h"
#include "platform/LocalFile.h"

namespace velkor::tool {

namespace {

// Mail files larger than this are refused (offsets in a message are int).
constexpr std::uint64_t kMaxMailFileBytes = 1ull << 30;
// The longest file name extract writes (bytes, as most file systems allow).
constexpr std::size_t kMaxFileNameBytes = 255;

// Bytes in `charset` converted for the terminal; unknown charsets and
// unconvertible bytes are shown as they come.
std::string ForTerminal(const std::string& bytes, const std::string& charset) {
    const char* target = nl_langinfo(CODESET);
    if (bytes.empty() || charset.empty() || !target) return bytes;
    iconv_t cd = iconv_open(target, charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return bytes;
    std::string out(bytes.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    char* o = out.data();
    const std::size_t rc = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) return bytes;
    out.resize(out.size() - outLeft);
    return out;
}

// Mail files with bare LF line ends (as most tools save them) get CR LF.
std::string WithCrLf(std::string text) {
    if (text.find('\n') == std::string::npos || text.find("\r\n") != std::string::npos) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool LoadMessage(const std::string& path, CMailMessage& msg, const char* command) {
    std::string text;
    if (!ReadRegularFile(path, text, kMaxMailFileBytes)) {
        std::fprintf(stderr, "velkor mail %s: cannot read %s (missing, not a file or larger than 1 GiB)\n",
                     command, path.c_str());
        return false;
    }
    msg.m_strMailText = WithCrLf(std::move(text));
    if (!msg.AnalyseMailMessage()) {
        std::fprintf(stderr, "velkor mail %s: %s is not a mail message (no header end, or a part "
                     "without one)\n", command, path.c_str());
        return false;
    }
    msg.AnalyseOnDisplay();
    return true;
}

std::string Recipients(const CRecipientArray& list) {
    std::string out;
    for (const CRecipient& r : list) {
        if (!out.empty()) out += ", ";
        const std::string name = ForTerminal(r.m_strName, r.m_strCharset);
        out += name.empty() ? r.m_strAddress : name + " <" + r.m_strAddress + ">";
    }
    return out;
}

int RunShow(const std::string& path) {
    CMailMessage msg;
    if (!LoadMessage(path, msg, "show")) return kExitInput;
    const CMailHeader& h = msg.Header();
    const std::string from = ForTerminal(h.m_From.m_strName, h.m_From.m_strCharset);
    std::printf("From:    %s\n", from.empty() ? h.m_From.m_strAddress.c_str()
                                              : (from + " <" + h.m_From.m_strAddress + ">").c_str());
    std::printf("To:      %s\n", Recipients(h.m_To).c_str());
    if (!h.m_Cc.empty()) std::printf("Cc:      %s\n", Recipients(h.m_Cc).c_str());
    std::printf("Subject: %s\n", ForTerminal(h.m_strSubject, h.m_strSubjectCharset).c_str());
    std::printf("Date:    %s\n", h.m_strDate.c_str());
    std::printf("Parts:\n");
    CMailBody& body = msg.Body();
    for (int i = 0; i < body.GetPartCount(); ++i) {
        CMIMEPart* part = body.GetPart(i);
        std::printf("%*s%d %s/%s", 2 + 2 * part->GetDepth(), "", i, part->GetMIMEType().c_str(),
                    part->GetMIMESubType().c_str());
        if (!part->IsMultipart()) {
            unsigned char* content = nullptr;
            std::uint32_t length = 0;
            part->GetContent(content, length, 1);
            delete[] content;
            const std::string charset = part->GetCharacterSet();
            const std::string enc = part->GetTransferEncoding();
            std::printf(" %u bytes", length);
            if (!charset.empty()) std::printf(" charset=%s", charset.c_str());
            if (!enc.empty()) std::printf(" encoding=%s", enc.c_str());
            std::string name, nameCharset;
            if (part->GetFilename(name, nameCharset) && !name.empty())
                std::printf(" name=\"%s\"", ForTerminal(name, nameCharset).c_str());
        }
        std::printf("\n");
    }
    return kExitOk;
}

// A name that stays inside the target folder: separators and the other
// characters file systems refuse become '_', control bytes too; ".", ".."
// and empty names get a numbered name; long names are cut at a character
// boundary, keeping a short extension.
std::string SafeFileName(const std::string& raw, int number) {
    std::string name = CMailCommonFunction::VerifyFileName(raw);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '/' || c == '\\') c = '_';
    if (name.empty() || name == "." || name == "..") name = "part-" + std::to_string(number);
    if (name.size() > kMaxFileNameBytes) {
        const std::size_t dot = name.rfind('.');
        std::string ext = dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
        std::size_t keep = kMaxFileNameBytes - ext.size();
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
        name = name.substr(0, keep) + ext;
    }
    return name;
}

int RunExtract(const std::string& path, const std::string& dir, bool force) {
    CMailMessage msg;
    if (!LoadMessage(path, msg, "extract")) return kExitInput;
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "velkor mail extract: %s is not a folder\n", dir.c_str());
        return kExitUsage;
    }
    std::set<std::string> used;
    int written = 0, number = 0;
    const auto save = [&](const std::string& rawName, const std::string& charset,
                          const unsigned char* data, std::uint32_t length) {
        ++number;
        std::string name = SafeFileName(ForTerminal(rawName, charset), number);
        for (int n = 2; used.count(name); ++n) name = SafeFileName(rawName, number) + "-" + std::to_string(n);
        used.insert(name);
        const std::string target = dir + "/" + name;
        const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (force ? O_TRUNC : O_EXCL);
        LocalFile file(::open(target.c_str(), flags, 0644));
        if (!file.IsOpen()) {
            std::fprintf(stderr, "velkor mail extract: %s: %s%s\n", target.c_str(),
                         std::strerror(errno), errno == EEXIST ? " (use --force to replace it)" : "");
            return false;
        }
        if (!file.WriteAll(reinterpret_cast<const char*>(data), length) || !file.Close()) {
            std::fprintf(stderr, "velkor mail extract: cannot write %s\n", target.c_str());
            return false;
        }
        std::printf("%s (%u bytes)\n", target.c_str(), length);
        ++written;
        return true;
    };
    for (int n = 0; n < msg.GetAttachmentNum(); ++n) {
        std::string name, charset;
        unsigned char* content = nullptr;
        std::uint32_t length = 0;
        msg.GetAttachment(n, name, charset, content, length);
        std::unique_ptr<unsigned char[]> own(content);
        if (!save(name, charset, content, length)) return errno == EEXIST ? kExitExists : kExitWrite;
    }
    for (int n = 0; n < msg.GetRelateNum(); ++n) {
        std::string name, charset, cid;
        unsigned char* content = nullptr;
        std::uint32_t length = 0;
        msg.GetRelate(n, name, charset, cid, content, length);
        std::unique_ptr<unsigned char[]> own(content);
        if (!save(name.empty() ? cid : name, charset, content, length))
            return errno == EEXIST ? kExitExists : kExitWrite;
    }
    if (written == 0) std::printf("no attachments\n");
    return kExitOk;
}

struct ComposeOptions {
    std::string from, subject, text, html, output, charset = "utf-8";
    std::vector<std::string> to, cc, bcc, attach;
};

// "Name <addr>" or "addr".
void SplitAddress(const std::string& text, std::string& name, std::string& address) {
    const std::size_t lt = text.rfind('<');
    if (lt == std::string::npos) {
        name.clear();
        address = text;
        return;
    }
    name = text.substr(0, lt);
    name.erase(name.find_last_not_of(" \t\"") + 1);
    name.erase(0, name.find_first_not_of(" \t\""));
    const std::size_t gt = text.find('>', lt);
    address = text.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1);
}

bool ReadInput(const std::string& path, std::string& bytes) {
    if (path == "-") {
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        return true;
    }
    return ReadRegularFile(path, bytes, kMaxMailFileBytes);
}

int RunCompose(const ComposeOptions& o) {
    CMailMessage msg;
    msg.AddMailRoot();
    std::string name, address;
    SplitAddress(o.from, name, address);
    bool ok = msg.AddMailFrom(name, address) != 0;
    const auto add = [&](int kind, const std::vector<std::string>& list) {
        for (const std::string& a : list) {
            SplitAddress(a, name, address);
            ok &= msg.AddMailSendTo(kind, name, address) != 0;
        }
    };
    add(CMailMessage::kTo, o.to);
    add(CMailMessage::kCc, o.cc);
    add(CMailMessage::kBcc, o.bcc);
    ok &= msg.AddSubject(o.subject, "utf-8") != 0;
    ok &= msg.AddMailDate(CMailCommonFunction::GetCurrentMailDate()) != 0;
    if (!ok) {
        std::fprintf(stderr, "velkor mail compose: an address or the subject holds a line break\n");
        return kExitUsage;
    }
    std::string bytes;
    const auto read = [&](const std::string& path) {
        if (ReadInput(path, bytes)) return true;
        std::fprintf(stderr, "velkor mail compose: cannot read %s\n", path.c_str());
        return false;
    };
    if (!o.text.empty()) {
        if (!read(o.text)) return kExitInput;
        msg.AddMailText(WithCrLf(bytes), "text/plain", o.charset);
    }
    if (!o.html.empty()) {
        if (!read(o.html)) return kExitInput;
        msg.AddMailText(WithCrLf(bytes), "text/html", o.charset);
    }
    for (const std::string& path : o.attach) {
        if (!read(path)) return kExitInput;
        const std::size_t slash = path.rfind('/');
        const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!msg.AddAttachment(base, "utf-8", reinterpret_cast<const unsigned char*>(bytes.data()),
                               static_cast<std::uint32_t>(bytes.size()))) {
            std::fprintf(stderr, "velkor mail compose: cannot attach %s (a message holds at most "
                         "%d parts)\n", path.c_str(), CMailBody::kMaxParts);
            return kExitUsage;
        }
    }
    bytes.clear();
    const std::string mail = msg.ComposeMailMessage();
    if (o.output == "-") {
        std::fwrite(mail.data(), 1, mail.size(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitWrite;
    }
    if (!WriteFileAtomically(o.output, mail, 0644 & ~CurrentUmask())) {
        std::fprintf(stderr, "velkor mail compose: cannot write %s\n", o.output.c_str());
        return kExitWrite;
    }
    return kExitOk;
}

}  // namespace

void AddMailCommand(CLI::App& app, int& exitCode) {
    CLI::App* mail = app.add_subcommand("mail", "Read and write mail files");
    mail->require_subcommand(1);
    // Names and texts on the command line and in the terminal are UTF-8.
    const auto useUtf8 = [] {
        std::setlocale(LC_CTYPE, "");
        SetActiveCodePage(kCodePageUtf8);
    };

    auto showPath = std::make_shared<std::string>();
    CLI::App* show = mail->add_subcommand("show", "Print the header and the part tree of a mail");
    show->add_option("file", *showPath, "Mail file (.eml)")->required();
    show->callback([showPath, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunShow(*showPath);
    });

    auto ex = std::make_shared<std::pair<std::string, std::string>>();
    auto force = std::make_shared<bool>(false);
    CLI::App* extract = mail->add_subcommand("extract", "Save the attachments and inline parts of a mail");
    extract->add_option("file", ex->first, "Mail file (.eml)")->required();
    extract->add_option("dir", ex->second, "Folder to write into")->required();
    extract->add_flag("--force", *force, "Replace files that exist");
    extract->callback([ex, force, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunExtract(ex->first, ex->second, *force);
    });

    auto o = std::make_shared<ComposeOptions>();
    CLI::App* compose = mail->add_subcommand("compose", "Write a new mail file");
    compose->add_option("--from", o->from, "Sender: \"Name <address>\" or address")->required();
    compose->add_option("--to", o->to, "Recipient (repeatable)")->required();
    compose->add_option("--cc", o->cc, "Copy recipient (repeatable)");
    compose->add_option("--bcc", o->bcc, "Blind copy recipient (repeatable)");
    compose->add_option("--subject", o->subject, "Subject");
    compose->add_option("--text", o->text, "Plain text body file, or - for standard input");
    compose->add_option("--html", o->html, "HTML body file");
    compose->add_option("--attach", o->attach, "File to attach (repeatable)");
    compose->add_option("--charset", o->charset, "Charset of the text and HTML files");
    compose->add_option("-o,--output", o->output, "Mail file to write, or - for standard output")
        ->required();
    compose->callback([o, &exitCode, useUtf8] {
        useUtf8();
        exitCode = RunCompose(*o);
    });
}

}  // namespace velkor::tool
