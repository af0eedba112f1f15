// CMailHeader: analysis and composition of a mail header.
#include "mail/CMailHeader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "platform/CodePage.h"
#include "platform/Text.h"

namespace velkor {

namespace {

int DecimalValue(const std::string& text) {
    const long v = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(v, INT_MIN, INT_MAX));
}

std::string StripAngles(const std::string& text) {
    const std::size_t first = text.find_first_not_of('<');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of('>');
    return last < first ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

int CMailHeader::AnalyseMailHeader(const std::string& text, int start, int end) {
    m_nHeaderStart = start;
    m_nHeaderEnd = end;
    const long long from = std::max(start, 0);
    long long stop = end < 0 ? static_cast<long long>(text.size()) : end;
    stop = std::min<long long>(stop, from + static_cast<long long>(kMaxHeaderBytes));
    std::vector<std::string> lines;
    if (stop - from < static_cast<long long>(kMaxHeaderBytes) ||
        static_cast<long long>(text.size()) <= stop) {
        CMailCommonFunction::SplitString(text, lines, static_cast<int>(from), static_cast<int>(stop));
    } else {
        // A line would run past the bound: split a copy of the bounded piece.
        const std::string piece = text.substr(static_cast<std::size_t>(from), kMaxHeaderBytes);
        CMailCommonFunction::SplitString(piece, lines, 0, static_cast<int>(piece.size()));
    }
    for (const std::string& line : lines) {
        if (m_fields.size() >= kMaxHeaderFields) break;
        std::string name, value;
        if (!CMailCommonFunction::SplitLine(line, name, value)) continue;
        m_fields.emplace_back(text::Trim(name), text::Trim(value));
    }

    const auto single = [this](const char* name, std::string& raw, CRecipient& who) {
        raw = GetMailHeaderField(name);
        CRecipient parsed;
        if (CMailCommonFunction::AnalyseMailAddress(raw, parsed)) who = parsed;
    };
    const auto list = [this](const char* name, std::string& raw, CRecipientArray& who) {
        raw = GetMailHeaderField(name);
        who.clear();
        CMailCommonFunction::AnalyseMailAddressString(raw, who);
    };
    single("From", m_strFrom, m_From);
    single("Resent-From", m_strResentFrom, m_ResentFrom);
    single("Sender", m_strSender, m_Sender);
    single("Resent-Sender", m_strResentSender, m_ResentSender);
    single("Reply-To", m_strReplyTo, m_ReplyTo);
    single("Resent-Reply-To", m_strResentReplyTo, m_ResentReplyTo);
    m_strNewsgroups = GetMailHeaderField("Newsgroups");
    list("To", m_strTo, m_To);
    list("Resent-To", m_strResentTo, m_ResentTo);
    list("CC", m_strCc, m_Cc);
    list("Resent-CC", m_strResentCc, m_ResentCc);
    list("BCC", m_strBcc, m_Bcc);
    list("Resent-BCC", m_strResentBcc, m_ResentBcc);
    m_strMessageId = GetMailHeaderField("message-id");
    m_strResentMessageId = GetMailHeaderField("resent-message-id");
    m_strInReplyTo = GetMailHeaderField("In-Reply-To");
    m_strReferences = GetMailHeaderField("References");
    m_strKeywords = GetMailHeaderField("keywords");
    m_strLines = GetMailHeaderField("Lines");
    m_strComments = GetMailHeaderField("comments");
    m_strEncrypted = GetMailHeaderField("Encrypted");
    m_nPriority = DecimalValue(GetMailHeaderField("x-priority"));
    m_strMailType = GetMailHeaderField("x-type");
    if (m_strMailType.empty()) m_strMailType = "normal";
    m_strDate = GetMailHeaderField("Date");
    m_strMIMEVersion = GetMailHeaderField("MIME-Version");
    m_strContentType = GetMailHeaderField("Content-Type");
    m_strContentTransferEncoding = GetMailHeaderField("Content-Transfer-Encoding");
    m_strContentId = StripAngles(GetMailHeaderField("Content-Id"));
    m_strContentDescription = GetMailHeaderField("Content-Description");
    m_strContentDisposition = GetMailHeaderField("Content-Disposition");

    std::string decoded, charset;
    CMailCommonFunction::DecodeHeaderItem(GetMailHeaderField("subject"), decoded, charset);
    m_strSubjectCharset = charset;
    m_strSubject = CMailCommonFunction::DecodedToActivePage(decoded, charset);
    return 1;
}

std::string CMailHeader::GetMailHeaderField(const std::string& name) const {
    for (const auto& [fieldName, value] : m_fields)
        if (MbcsEqualNoCase(fieldName, name)) return value;
    return {};
}

int CMailHeader::SetMailHeaderField(const std::string& name, const std::string& value) {
    if (HoldsLineBreak(name) || HoldsLineBreak(value)) return 0;
    m_fields.emplace_back(name, value);
    return 1;
}

int CMailHeader::SetDefaultMailHeaderField() {
    m_fields.emplace_back("X-Mailer", kMailerName);
    m_fields.emplace_back("Date", CMailCommonFunction::GetCurrentMailDate());
    return 1;
}

void CMailHeader::FoldParameters(std::string& value) {
    const std::size_t semi = value.find(';');
    if (semi == std::string::npos || value.compare(semi + 1, 2, "\r\n") == 0) return;
    value.insert(semi + 1, "\r\n\t");
}

std::string CMailHeader::ComposeMailHeader() {
    std::string out;
    const auto line = [&out](const char* name, const std::string& value) {
        if (value.empty()) return;
        out.append(name).append(value).append("\r\n");
    };
    line("From: ", CMailCommonFunction::ComposeMailAddress(m_From));
    line("To: ", CMailCommonFunction::ComposeMailAddress(m_To));
    line("Cc: ", CMailCommonFunction::ComposeMailAddress(m_Cc));
    line("Bcc: ", CMailCommonFunction::ComposeMailAddress(m_Bcc));
    line("Newsgroups: ", m_strNewsgroups);
    line("References: ", m_strReferences);
    std::string subject;
    CMailCommonFunction::EncodeHeaderItem(m_strSubject, subject, "B", m_strSubjectCharset);
    out.append("Subject: ").append(subject).append("\r\n");
    line("Date: ", m_strDate);
    line("Message-ID: ", m_strMessageId);
    line("Sender: ", CMailCommonFunction::ComposeMailAddress(m_Sender));
    line("Reply-To: ", CMailCommonFunction::ComposeMailAddress(m_ReplyTo));
    line("MIME-Version: ", m_strMIMEVersion);
    FoldParameters(m_strContentType);
    line("Content-Type: ", m_strContentType);
    line("Content-transfer-encoding: ", m_strContentTransferEncoding);
    if (!m_strContentId.empty()) out.append("Content-ID: <").append(m_strContentId).append(">\r\n");
    line("Content-Description: ", m_strContentDescription);
    if (m_nPriority != 0) out.append("x-priority: ").append(std::to_string(m_nPriority)).append("\r\n");
    out.append("x-type: ").append(m_strMailType.empty() ? "normal" : m_strMailType).append("\r\n");
    out.append("X-Mailer: ").append(kMailerName).append("\r\n");
    return out;
}

}  // namespace velkor
