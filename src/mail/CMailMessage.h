// CMailMessage: a whole mail, for reading and for writing.
//
// Reading: store the raw text in m_strMailText, call AnalyseMailMessage and
// AnalyseOnDisplay, then ask for texts, attachments, related (Content-ID)
// parts, recipients and a list-view summary. Contents are decoded on demand
// from the text, which must not change while the message is in use.
//
// Writing: AddMailRoot, sender and recipients, subject and other fields, all
// texts, then the attachments, then ComposeMailMessage. A composed message
// is a multipart/mixed container (index 0) holding a multipart/alternative
// container (index 1) with the texts (depth 2), followed by the attachments
// (depth 1). Texts must be added before the first attachment.
//
// Safety beyond the older format:
// - the Add.../Set... members refuse a name, address, subject, file name,
//   reference, newsgroup, date or mail type holding CR or LF (result 0,
//   nothing changed), so no caller text can add header lines;
// - DelMailSendTo removes whole header fields only (see there);
// - composed messages carry a Message-ID and a Date;
// - a message holds at most CMailBody::kMaxParts parts (the lists hold
//   8-bit part indices).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "../platform/markup/CListRecords.h"
#include "CMailBody.h"
#include "CMailCommonFunction.h"
#include "CMailHeader.h"

namespace velkor {

class CMailMessage {
public:
    // Recipient kinds.
    static constexpr int kTo = 0;
    static constexpr int kCc = 1;
    static constexpr int kBcc = 2;

    CMailMessage() = default;
    virtual ~CMailMessage() = default;
    CMailMessage(const CMailMessage&) = delete;
    CMailMessage& operator=(const CMailMessage&) = delete;

    // The raw message: header, empty line, body.
    std::string m_strMailText;

    // --- reading ---
    // Header [0, first "\r\n\r\n" + 2); 0 (outputs 0) without an empty line.
    int GetHeaderPos(const std::string& text, int& headerStart, int& headerEnd) const;
    // Body from after the empty line to the last byte of the text (the start
    // itself for an empty body); 0 (outputs 0) without an empty line.
    int GetBodyPos(const std::string& text, int& bodyStart, int& bodyEnd) const;
    // Analyses m_strMailText into header and body (the header of an earlier
    // analysis is replaced). 0 without an empty line, when the text is too
    // long for int offsets, or when a part has no header end; else 1.
    int AnalyseMailMessage();
    // Sorts the leaf parts into texts, related parts (with a Content-ID) and
    // attachments. Always 1.
    int AnalyseOnDisplay();
    // The header text including its last line break; 0 without an empty line.
    int GetMailHeader(std::string& header) const;
    std::string GetMailHeaderField(const std::string& name) const;
    int GetMailHeaderDescription(CMIDLRec* record) const;
    int GetMailHeaderDescription(CNIDLRec* record) const;
    int GetMailBodyType(std::string& type, std::string& subtype) const;
    int GetMailPartNum() const;
    int GetMailPartType(int n, std::string& type, std::string& subtype) const;
    // Does nothing; 0.
    int GetMailPart(int n, std::vector<void*>& list) const;
    int GetTextNum() const { return static_cast<int>(m_texts.size()); }
    // Text n decoded (not converted between charsets), cut at its first zero
    // byte, with its subtype and charset; 0 when n is not below the count.
    int GetMailText(const int& n, const std::string& unused, std::string& text,
                    std::string& subtype, std::string& charset);
    int GetAttachmentNum() const { return static_cast<int>(m_attachments.size()); }
    // Attachment n decoded into a new buffer (new[], one zero byte after the
    // content; the buffer passed in is freed; the caller frees the result
    // with delete[]), with its file name and charset.
    int GetAttachment(const int& n, std::string& fileName, std::string& charset,
                      unsigned char*& content, std::uint32_t& length);
    // The same without keeping a buffer.
    int GetAttachment(const int& n, std::string& fileName, std::string& charset,
                      std::uint32_t& length);
    // Attachment n's part, nullptr when n is not below the count: its
    // WriteContent saves a large attachment without holding it whole.
    const CMIMEPart* GetAttachmentPart(int n) const { return PartAt(m_attachments, n); }
    int GetRelateNum() const { return static_cast<int>(m_related.size()); }
    int GetRelate(const int& n, std::string& fileName, std::string& charset,
                  std::string& contentId, unsigned char*& content, std::uint32_t& length);
    const CMIMEPart* GetRelatePart(int n) const { return PartAt(m_related, n); }
    // Size of the To, Cc or Bcc list; -1 for another kind.
    int GetRecipientNum(int kind) const;
    int GetRecipient(int kind, int n, std::string& address, std::string& name) const;
    std::string GetMailFrom() const { return m_header.m_From.m_strAddress; }
    std::string GetMailType() const;

    // --- writing ---
    int AddMailRoot();
    int AddMailFrom(const std::string& name, const std::string& address);
    int AddReplyTo(const std::string& name, const std::string& address);
    // 0 for a kind other than To, Cc, Bcc.
    int AddMailSendTo(int kind, const std::string& name, const std::string& address);
    // Empties the To, Cc or Bcc list and removes that field from the header
    // of m_strMailText: the first line whose field name is "To", "Cc" or
    // "Bcc" (any case; "Reply-To" or "X-Bcc" never match), with its
    // continuation lines and its line break, so the header stays whole.
    // Always 1 (other kinds change nothing).
    int DelMailSendTo(int kind);
    int AddSubject(const std::string& subject, const std::string& charset);
    int AddMailDate(const std::string& date);
    int AddPriority(const int& priority);
    int AddNewsGuoup(const std::string& newsgroups);
    int AddReference(const std::string& references);
    int AddMailType(const std::string& mailType);
    // A quoted-printable text part at depth 2; the content type gets
    // "; charset=\"...\"" when a charset is given.
    int AddMailText(const std::string& text, const std::string& contentType,
                    const std::string& charset);
    int DelMailText(const int& n);
    // A base64 attachment at depth 1 named by its encoded file name (a name
    // holding CR or LF is refused; one with '"', '\\' or 8-bit bytes is
    // written in the RFC 2231 form).
    int AddAttachment(const std::string& fileName, const std::string& charset,
                      const unsigned char* data, const std::uint32_t& length);
    int DelAttachment(const int& n);
    // The whole message: header (with MIME-Version, the multipart Content-Type,
    // a new Message-ID and the current Date unless they are set), empty line,
    // body. A container left without parts (the texts' container of a mail
    // of attachments only) is left out: a multipart needs a body part. The
    // Date is beyond the documented form, which sent none unless AddMailDate
    // was called; RFC 5322 requires one.
    std::string ComposeMailMessage();
    std::string ComposeMailBody();

    const CMailHeader& Header() const { return m_header; }
    CMailHeader& Header() { return m_header; }
    const CMailBody& Body() const { return m_body; }
    CMailBody& Body() { return m_body; }
    // Removes from the header of a mail text (up to its empty line) the
    // first field, or with `all` every field, whose name is one of `names`
    // (any case), with its continuation lines and line break. The number of
    // fields removed.
    static int RemoveHeaderFields(std::string& text, std::initializer_list<const char*> names,
                                  bool all);
    // A new, unique Message-ID in angle brackets.
    static std::string NewMessageId();

private:
    // Does nothing; 1.
    int PreAnalyseOnDisplay() { return 1; }
    CMIMEPart* PartAt(const std::vector<std::uint8_t>& list, int n) const;

    CMailCommonFunction m_codec;
    CMailHeader m_header;
    CMailBody m_body;
    std::vector<std::uint8_t> m_texts;
    std::vector<std::uint8_t> m_related;
    std::vector<std::uint8_t> m_attachments;
};

}  // namespace velkor
