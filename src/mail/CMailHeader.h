// CMailHeader: the header of one mail or of one MIME part.
//
// Analysis splits a header block into unfolded lines, keeps every field as a
// name/value pair in arrival order, and fills the well-known fields below:
// addresses become recipients and recipient lists, the subject is decoded
// from encoded words (UTF-8, UTF-7 and ISO-2022-JP subjects are converted to
// the active code page), and the MIME fields are kept for the body analysis.
// Composition writes the well-known fields back in a fixed order.
//
// Bounds: only the first kMaxHeaderBytes of a header and its first
// kMaxHeaderFields fields are analysed; the rest is ignored, so a hostile
// 100 MB header line costs one bounded pass, not a copy of itself.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "CMailCommonFunction.h"
#include "CRecipient.h"

namespace velkor {

class CMailHeader {
public:
    static constexpr std::size_t kMaxHeaderBytes = 1024 * 1024;
    static constexpr std::size_t kMaxHeaderFields = 10000;
    // The mailer name of composed headers.
    static constexpr const char* kMailerName = "VLK 3.00";

    CMailHeader() = default;
    CMailHeader(const CMailHeader&) = default;
    CMailHeader& operator=(const CMailHeader&) = default;
    virtual ~CMailHeader() = default;

    // Splits [start, end) of the text into fields and fills the well-known
    // fields. The field list is not cleared first: analysing twice adds the
    // fields again and lookups find the older values. Always 1.
    int AnalyseMailHeader(const std::string& text, int start, int end);
    // The value of the first field of that name (any case); "" when absent.
    std::string GetMailHeaderField(const std::string& name) const;
    // Appends a pair; an earlier pair of that name is kept and still found
    // first. A name or value holding CR or LF is refused (0, nothing added).
    int SetMailHeaderField(const std::string& name, const std::string& value);
    // Appends "X-Mailer" and "Date" (the current local time). Always 1.
    //
    // The date is written "Sun, 06 Dec 2026 09:10:00 +0100": the four-digit
    // year and numeric zone readers require, not a two-digit year and a zone
    // name.
    int SetDefaultMailHeaderField();
    // The well-known fields as header lines, each ended by CR LF: From, To,
    // Cc, Bcc, Newsgroups, References, Subject (always), Date, Message-ID,
    // Sender, Reply-To, MIME-Version, Content-Type (parameters folded onto a
    // continuation line), Content-transfer-encoding, Content-ID,
    // Content-Description, x-priority (when not 0), x-type ("normal" when
    // empty) and X-Mailer.
    //
    // Beyond the older format: the Message-ID line is written when a message
    // id is set, and the Content-Type is folded only once, so composing again
    // gives the same text.
    std::string ComposeMailHeader();

    // Inserts "\r\n\t" after the first ';' of a field value unless it is
    // folded there already.
    static void FoldParameters(std::string& value);

    const std::vector<std::pair<std::string, std::string>>& Fields() const { return m_fields; }

    int m_nHeaderStart = 0;
    int m_nHeaderEnd = 0;

    std::string m_strFrom;
    CRecipient m_From;
    std::string m_strResentFrom;
    CRecipient m_ResentFrom;
    std::string m_strSender;
    CRecipient m_Sender;
    std::string m_strResentSender;
    CRecipient m_ResentSender;
    std::string m_strReplyTo;
    CRecipient m_ReplyTo;
    std::string m_strResentReplyTo;
    CRecipient m_ResentReplyTo;
    std::string m_strNewsgroups;
    std::string m_strTo;
    CRecipientArray m_To;
    std::string m_strResentTo;
    CRecipientArray m_ResentTo;
    std::string m_strCc;
    CRecipientArray m_Cc;
    std::string m_strResentCc;
    CRecipientArray m_ResentCc;
    std::string m_strBcc;
    CRecipientArray m_Bcc;
    std::string m_strResentBcc;
    CRecipientArray m_ResentBcc;
    std::string m_strMessageId;
    std::string m_strResentMessageId;
    std::string m_strInReplyTo;
    std::string m_strReferences;
    std::string m_strKeywords;
    std::string m_strSubject;
    std::string m_strSubjectCharset;
    std::string m_strLines;
    std::string m_strComments;
    std::string m_strEncrypted;
    int m_nPriority = 0;
    std::string m_strMailType;
    std::string m_strDate;
    std::string m_strMIMEVersion;
    std::string m_strContentType;
    std::string m_strContentTransferEncoding;
    std::string m_strContentId;
    std::string m_strContentDescription;
    std::string m_strContentDisposition;

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
    CMailCommonFunction m_codec;
};

// True when a text holds CR or LF (it would end a header line early).
inline bool HoldsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace velkor
