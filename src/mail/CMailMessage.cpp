// CMailMessage: whole mails, read and composed.
#include "mail/CMailMessage.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <chrono>
#include <climits>
#include <cstring>
#include <random>

#include "platform/CXCommon.h"
#include "platform/CodePage.h"

namespace velkor {

namespace {

// Room reserved for the composed header (addresses, subject words).
constexpr std::size_t kHeaderRoom = 64 * 1024;

// Sets a header text unless it holds a line break.
int SetHeaderText(std::string& field, const std::string& value) {
    if (HoldsLineBreak(value)) return 0;
    field = value;
    return 1;
}

bool AnyLineBreak(std::initializer_list<const std::string*> texts) {
    for (const std::string* t : texts)
        if (HoldsLineBreak(*t)) return true;
    return false;
}

}  // namespace

int CMailMessage::GetHeaderPos(const std::string& text, int& headerStart, int& headerEnd) const {
    const std::size_t hit = text.find("\r\n\r\n");
    if (hit == std::string::npos || hit > static_cast<std::size_t>(INT_MAX) - 4) {
        headerStart = headerEnd = 0;
        return 0;
    }
    headerStart = 0;
    headerEnd = static_cast<int>(hit) + 2;
    return 1;
}

int CMailMessage::GetBodyPos(const std::string& text, int& bodyStart, int& bodyEnd) const {
    int hs, he;
    if (!GetHeaderPos(text, hs, he)) {
        bodyStart = bodyEnd = 0;
        return 0;
    }
    bodyStart = he + 2;
    bodyEnd = static_cast<int>(text.size()) > bodyStart ? static_cast<int>(text.size()) - 1
                                                        : bodyStart;
    return 1;
}

int CMailMessage::AnalyseMailMessage() {
    m_texts.clear();
    m_related.clear();
    m_attachments.clear();
    if (m_strMailText.size() > static_cast<std::size_t>(INT_MAX)) return 0;
    int hs, he;
    if (!GetHeaderPos(m_strMailText, hs, he)) return 0;
    m_header = CMailHeader();
    if (!m_header.AnalyseMailHeader(m_strMailText, hs, he)) return 0;
    const std::string version = m_header.GetMailHeaderField("MIME-Version");
    const std::string description = m_header.GetMailHeaderField("Content-Description");
    const std::string contentId = m_header.GetMailHeaderField("Content-Id");
    const std::string encoding = m_header.GetMailHeaderField("Content-Transfer-Encoding");
    const std::string type = m_header.GetMailHeaderField("Content-Type");
    const std::string disposition = m_header.GetMailHeaderField("Content-Disposition");
    int bs, be;
    if (!GetBodyPos(m_strMailText, bs, be)) return 0;
    // An empty body has no last byte.
    if (bs >= static_cast<int>(m_strMailText.size())) be = bs - 1;
    return m_body.AnalyseMailBody(version, type, encoding, contentId, description, disposition,
                                  m_strMailText, bs, be);
}

int CMailMessage::AnalyseOnDisplay() {
    PreAnalyseOnDisplay();
    m_texts.clear();
    m_related.clear();
    m_attachments.clear();
    const int count = std::min(m_body.GetPartCount(), CMailBody::kMaxParts);
    for (int i = 0; i < count; ++i) {
        const CMIMEPart* part = m_body.GetPart(i);
        if (part->IsMultipart()) continue;
        const auto index = static_cast<std::uint8_t>(i);
        if (!part->GetCID().empty()) m_related.push_back(index);
        else if (part->IsAttachment()) m_attachments.push_back(index);
        else if (part->GetContentType().empty() || part->GetMIMEType() == "text")
            m_texts.push_back(index);
        else m_attachments.push_back(index);
    }
    return 1;
}

int CMailMessage::GetMailHeader(std::string& header) const {
    int hs, he;
    if (m_strMailText.empty() || !GetHeaderPos(m_strMailText, hs, he)) return 0;
    header = m_strMailText.substr(0, static_cast<std::size_t>(he));
    return 1;
}

std::string CMailMessage::GetMailHeaderField(const std::string& name) const {
    return m_header.GetMailHeaderField(name);
}

int CMailMessage::GetMailHeaderDescription(CMIDLRec* record) const {
    if (!record) return 1;
    record->m_strSubject = m_header.m_strSubject;
    record->m_strFrom = m_header.m_strFrom.empty() ? m_header.m_strSender : m_header.m_strFrom;
    record->m_strTo = m_header.m_strTo;
    record->m_strCc = m_header.m_strCc;
    record->m_strBcc = m_header.m_strBcc;
    record->m_strDate = CMailCommonFunction::ChangeTimeFormat(m_header.m_strDate);
    record->m_strMessageId = m_header.m_strMessageId;
    record->m_nPriority = m_header.m_nPriority;
    return 1;
}

int CMailMessage::GetMailHeaderDescription(CNIDLRec* record) const {
    if (!record) return 1;
    record->m_strMessageId = m_header.m_strMessageId;
    record->m_strReferences = m_header.m_strReferences;
    record->m_strSubject = m_header.m_strSubject;
    record->m_strFrom = m_header.m_strFrom.empty() ? m_header.m_strSender : m_header.m_strFrom;
    record->m_strNewsgroups = m_header.m_strNewsgroups;
    record->m_strDate = CMailCommonFunction::ChangeTimeFormat(m_header.m_strDate);
    record->m_strLines = m_header.m_strLines;
    return 1;
}

int CMailMessage::GetMailBodyType(std::string& type, std::string& subtype) const {
    const CMIMEPart* root = m_body.GetPart(0);
    type = root ? root->GetMIMEType() : "text";
    subtype = root ? root->GetMIMESubType() : "plain";
    return 1;
}

int CMailMessage::GetMailPartNum() const { return m_body.GetChidlPartNum(0); }

int CMailMessage::GetMailPartType(int n, std::string& type, std::string& subtype) const {
    if (n < 0 || n >= GetMailPartNum()) return 0;
    int child = m_body.FindFirstChildPart(0);
    for (int k = 0; k < n && child != -1; ++k) child = m_body.FindNextChildPart(0, child);
    return m_body.GetMIMEPartType(child, type, subtype);
}

int CMailMessage::GetMailPart(int, std::vector<void*>&) const { return 0; }

CMIMEPart* CMailMessage::PartAt(const std::vector<std::uint8_t>& list, int n) const {
    if (n < 0 || n >= static_cast<int>(list.size())) return nullptr;
    return m_body.GetPart(list[static_cast<std::size_t>(n)]);
}

int CMailMessage::GetMailText(const int& n, const std::string&, std::string& text,
                              std::string& subtype, std::string& charset) {
    CMIMEPart* part = PartAt(m_texts, n);
    if (!part) return 0;
    subtype = part->GetMIMESubType();
    charset = part->GetCharacterSet();
    unsigned char* content = nullptr;
    std::uint32_t length = 0;
    part->GetContent(content, length, 1);
    text.assign(reinterpret_cast<const char*>(content ? content : reinterpret_cast<const unsigned char*>("")),
                content ? strnlen(reinterpret_cast<const char*>(content), length) : 0);
    delete[] content;
    return 1;
}

int CMailMessage::GetAttachment(const int& n, std::string& fileName, std::string& charset,
                                unsigned char*& content, std::uint32_t& length) {
    CMIMEPart* part = PartAt(m_attachments, n);
    if (!part) return 0;
    part->GetFilename(fileName, charset);
    if (!part->GetContent(content, length, 1) && !content) {
        content = new unsigned char[1]{0};
        length = 0;
    }
    return 1;
}

int CMailMessage::GetAttachment(const int& n, std::string& fileName, std::string& charset,
                                std::uint32_t& length) {
    const CMIMEPart* part = PartAt(m_attachments, n);
    if (!part) return 0;
    part->GetFilename(fileName, charset);
    part->WriteContent([](const unsigned char*, std::size_t) { return true; }, length, 1);
    return 1;
}

int CMailMessage::GetRelate(const int& n, std::string& fileName, std::string& charset,
                            std::string& contentId, unsigned char*& content,
                            std::uint32_t& length) {
    CMIMEPart* part = PartAt(m_related, n);
    if (!part) return 0;
    part->GetFilename(fileName, charset);
    contentId = part->GetCID();
    if (!part->GetContent(content, length, 1) && !content) {
        content = new unsigned char[1]{0};
        length = 0;
    }
    return 1;
}

int CMailMessage::GetRecipientNum(int kind) const {
    switch (kind) {
        case kTo: return static_cast<int>(m_header.m_To.size());
        case kCc: return static_cast<int>(m_header.m_Cc.size());
        case kBcc: return static_cast<int>(m_header.m_Bcc.size());
        default: return -1;
    }
}

int CMailMessage::GetRecipient(int kind, int n, std::string& address, std::string& name) const {
    const CRecipientArray* list = kind == kTo ? &m_header.m_To
                                  : kind == kCc ? &m_header.m_Cc
                                  : kind == kBcc ? &m_header.m_Bcc
                                                 : nullptr;
    if (!list) {
        address.clear();
        name.clear();
        return 1;
    }
    if (n < 0 || n >= static_cast<int>(list->size())) return 0;
    address = (*list)[static_cast<std::size_t>(n)].m_strAddress;
    name = (*list)[static_cast<std::size_t>(n)].m_strName;
    return 1;
}

std::string CMailMessage::GetMailType() const {
    return m_header.m_strMailType.empty() ? "normal" : m_header.m_strMailType;
}

int CMailMessage::AddMailRoot() {
    m_body.AddMIMEPart(0, "multipart/mixed", 0);
    m_body.AddMIMEPart(1, "multipart/alternative", 1);
    return 1;
}

int CMailMessage::AddMailFrom(const std::string& name, const std::string& address) {
    if (AnyLineBreak({&name, &address})) return 0;
    m_header.m_From = CRecipient{address, name, CXCommon::GetCurrentTextCharset()};
    return 1;
}

int CMailMessage::AddReplyTo(const std::string& name, const std::string& address) {
    if (AnyLineBreak({&name, &address})) return 0;
    m_header.m_ReplyTo = CRecipient{address, name, CXCommon::GetCurrentTextCharset()};
    return 1;
}

int CMailMessage::AddMailSendTo(int kind, const std::string& name, const std::string& address) {
    CRecipientArray* list = kind == kTo ? &m_header.m_To
                            : kind == kCc ? &m_header.m_Cc
                            : kind == kBcc ? &m_header.m_Bcc
                                           : nullptr;
    if (!list || AnyLineBreak({&name, &address})) return 0;
    list->push_back(CRecipient{address, name, CXCommon::GetCurrentTextCharset()});
    return 1;
}

int CMailMessage::RemoveHeaderFields(std::string& text,
                                     std::initializer_list<const char*> names, bool all) {
    const std::size_t blank = text.find("\r\n\r\n");
    if (blank == std::string::npos) return 0;
    std::size_t headerEnd = blank + 2;
    int removed = 0;
    for (std::size_t line = 0; line < headerEnd;) {
        const std::size_t eol = text.find("\r\n", line);  // found: headerEnd ends a line
        const std::size_t colon = text.find(':', line);
        bool match = false;
        if (text[line] != ' ' && text[line] != '\t' && colon < eol) {
            std::string name = text.substr(line, colon - line);
            name.erase(name.find_last_not_of(" \t") + 1);
            for (const char* n : names) match |= MbcsEqualNoCase(name, n);
        }
        if (!match) {
            line = eol + 2;
            continue;
        }
        // The field with its continuation lines and its line break.
        std::size_t next = eol + 2;
        while (next < headerEnd && (text[next] == ' ' || text[next] == '\t'))
            next = text.find("\r\n", next) + 2;
        text.erase(line, next - line);
        headerEnd -= next - line;
        ++removed;
        if (!all) break;
    }
    return removed;
}

int CMailMessage::DelMailSendTo(int kind) {
    static const char* const kNames[3] = {"To", "Cc", "Bcc"};
    if (kind < kTo || kind > kBcc) return 1;
    (kind == kTo ? m_header.m_To : kind == kCc ? m_header.m_Cc : m_header.m_Bcc).clear();
    const bool analysed = m_body.GetPart(0) && m_body.GetPart(0)->GetSourceText() == &m_strMailText;
    if (RemoveHeaderFields(m_strMailText, {kNames[kind]}, false) && analysed) {
        // The parts refer to the text by offsets, which have moved.
        AnalyseMailMessage();
        AnalyseOnDisplay();
    }
    return 1;
}

int CMailMessage::AddSubject(const std::string& subject, const std::string& charset) {
    if (AnyLineBreak({&subject, &charset})) return 0;
    m_header.m_strSubject = subject;
    m_header.m_strSubjectCharset = charset;
    return 1;
}

int CMailMessage::AddMailDate(const std::string& date) {
    return SetHeaderText(m_header.m_strDate, date);
}

int CMailMessage::AddPriority(const int& priority) {
    m_header.m_nPriority = priority;
    return 1;
}

int CMailMessage::AddNewsGuoup(const std::string& newsgroups) {
    return SetHeaderText(m_header.m_strNewsgroups, newsgroups);
}

int CMailMessage::AddReference(const std::string& references) {
    return SetHeaderText(m_header.m_strReferences, references);
}

int CMailMessage::AddMailType(const std::string& mailType) {
    return SetHeaderText(m_header.m_strMailType, mailType);
}

int CMailMessage::AddMailText(const std::string& text, const std::string& contentType,
                              const std::string& charset) {
    if (AnyLineBreak({&contentType, &charset})) return 0;
    std::string type = contentType;
    if (!charset.empty()) type += "; charset=\"" + charset + "\"";
    const int index = m_body.AddMIMEPart(2, type, "quoted-printable", "", "", "",
                                         reinterpret_cast<const unsigned char*>(text.data()),
                                         static_cast<std::uint32_t>(text.size()), -1);
    if (index < 0) return 0;
    m_texts.push_back(static_cast<std::uint8_t>(index));
    return 1;
}

int CMailMessage::DelMailText(const int& n) {
    if (n < 0 || n >= static_cast<int>(m_texts.size())) return 0;
    if (!m_body.DelMIMEPart(m_texts[static_cast<std::size_t>(n)])) return 0;
    m_texts.erase(m_texts.begin() + n);
    return 1;
}

int CMailMessage::AddAttachment(const std::string& fileName, const std::string& charset,
                                const unsigned char* data, const std::uint32_t& length) {
    if (AnyLineBreak({&fileName, &charset})) return 0;
    const int index = m_body.AddMIMEPart(1, "", "base64", "", "", "", data, length, -1);
    if (index < 0) return 0;
    m_body.GetPart(index)->SetFileName(fileName, charset);
    m_attachments.push_back(static_cast<std::uint8_t>(index));
    return 1;
}

int CMailMessage::DelAttachment(const int& n) {
    if (n < 0 || n >= static_cast<int>(m_attachments.size())) return 0;
    if (!m_body.DelMIMEPart(m_attachments[static_cast<std::size_t>(n)])) return 0;
    AnalyseOnDisplay();
    return 1;
}

std::string CMailMessage::ComposeMailBody() {
    std::string version, type, a, b, c, body;
    if (!m_body.ComposeMailBody(version, type, a, b, c, body)) return {};
    return body;
}

std::string CMailMessage::ComposeMailMessage() {
    std::string version, type, a, b, c, body;
    // Room for the body and the header in front of it: one allocation.
    body.reserve(m_body.ComposedSizeBound() + kHeaderRoom);
    m_body.ComposeMailBody(version, type, a, b, c, body);
    m_header.m_strMIMEVersion = version;
    m_header.m_strContentType = type;
    m_header.m_strContentTransferEncoding.clear();
    m_header.m_strContentId.clear();
    m_header.m_strContentDescription.clear();
    if (m_header.m_strMessageId.empty()) m_header.m_strMessageId = NewMessageId();
    if (m_header.m_strDate.empty()) m_header.m_strDate = CMailCommonFunction::GetCurrentMailDate();
    // The header goes in front of the body in place: a large body is not
    // copied again.
    const std::string header = m_header.ComposeMailHeader() + "\r\n";
    body.insert(0, header);
    return body;
}

std::string CMailMessage::NewMessageId() {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = std::random_device{}();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(now).count();
    char host[256] = "";
    if (::gethostname(host, sizeof host - 1) != 0 || !std::strchr(host, '.')) {
        std::strcpy(host, "velkor.local");
    }
    for (char* p = host; *p; ++p)
        if (!std::isalnum(static_cast<unsigned char>(*p)) && *p != '.' && *p != '-') *p = '-';
    char id[400];
    std::snprintf(id, sizeof id, "<%lld.%d.%u.%llx@%s>", static_cast<long long>(micros),
                  static_cast<int>(::getpid()), ++counter, salt, host);
    return id;
}

}  // namespace velkor
