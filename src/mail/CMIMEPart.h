// CMIMEPart: one node of a mail body.
//
// A part found while analysing a received mail refers to the mail text by
// offsets and decodes its content on demand; a part made for sending owns a
// content buffer and composes its own MIME header and encoded content.
// Multipart containers are parts too: they carry no content, and their
// children follow them in the body's part list (see CMailBody).
//
// Offsets: the part range runs from the line break after the part's
// delimiter (or the body start) to the next delimiter (or the body end); the
// content runs from `body start` through `body end`, the last content byte,
// both included (an empty content has body end = body start - 1). The line
// break before a delimiter belongs to the delimiter, not to the content, so
// decoded content is exactly what the sender encoded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CMailCommonFunction.h"

namespace velkor {

class CMIMEPart {
public:
    CMIMEPart() = default;
    // Copies own their content buffer; the source text is shared.
    CMIMEPart(const CMIMEPart& other);
    CMIMEPart& operator=(const CMIMEPart& other);
    virtual ~CMIMEPart() = default;

    // Stores the fields of an analysed part; a content type of exactly "/"
    // becomes "text/plain". The source text is kept by reference and must
    // outlive the part. Always 1.
    int AnalyseMIMEPart(const int& depth, const std::string& contentType,
                        const std::string& transferEncoding, const std::string& contentId,
                        const std::string& description, const std::string& disposition,
                        const std::string& source, int partStart, int partEnd, int bodyStart,
                        int bodyEnd);

    // The content in a new buffer (new[]; the caller frees it with delete[]),
    // with one zero byte after it; a buffer passed in is freed first.
    // Composed parts hand out a copy of their content (1). Analysed parts
    // give their raw bytes, or with `decode` the bytes after base64,
    // quoted-printable or UU decoding (the decoder's result); other
    // encodings (7bit, 8bit, binary) are copied whole, NUL bytes included.
    // 0 for a part without content (containers).
    int GetContent(unsigned char*& out, std::uint32_t& length, int decode);
    // The same bytes handed to `sink` block by block (see
    // CMailCommonFunction::DecodeToSink) instead of in a new buffer, so a
    // large part is never held whole; `length` becomes the bytes handed over.
    // GetContent's result, or -1 when the sink refused a block.
    int WriteContent(const CMailCommonFunction::ByteSink& sink, std::uint32_t& length,
                     int decode) const;

    int GetDepth() const { return m_nDepth; }
    void SetDepth(int depth) { m_nDepth = depth; }
    std::string GetCID() const { return m_strContentID; }
    std::string GetContentID() const { return m_strContentID; }
    std::string GetContentDescription() const { return m_strDescription; }
    // Type and subtype of the content type, in lower case ("text", "plain"
    // when missing).
    std::string GetMIMEType() const;
    std::string GetMIMESubType() const;
    // The charset of a text part (its first parameter); "" for other types.
    std::string GetCharacterSet() const;
    // The file name from a UU "begin" line, the disposition's filename (with
    // its charset) or, without a disposition, the content type's name. See
    // the result rules in the source.
    int GetFilename(std::string& name, std::string& charset) const;
    // 1 for an "attachment" or "inline" disposition with a filename.
    int IsAttachment() const;
    // type, start and start-info of a multipart/related part; 0 otherwise.
    int GetRelatedInfo(std::string& type, std::string& start, std::string& startInfo) const;

    void SetContentype(const std::string& value) { m_strContentType = value; }
    void SetContentEncoding(const std::string& value) { m_strTransferEncoding = value; }
    void SetDisposition(const std::string& value) { m_strDisposition = value; }
    void SetContentID(const std::string& value) { m_strContentID = value; }
    void SetContentDescription(const std::string& value) { m_strDescription = value; }
    void SetFirstPartType(const std::string& value) { m_strFirstPartType = value; }
    // Copies the data into the part; when memory runs out the buffer is
    // left empty and the old length kept.
    void SetContent(const unsigned char* data, std::uint32_t length);

    const std::string& ComposeContentType() const { return m_strContentType; }
    // The part's MIME text: header lines (Content-Type, Content-Disposition,
    // Content-transfer-encoding, Content-ID, Content-Description, each only
    // when set, parameters folded onto a continuation line), then, when it
    // has content, a blank line and the encoded content (no line break after
    // it).
    //
    // HTML content ("text/html") that names local image files in <img src>
    // is composed as a multipart/related container: composing reads every
    // regular file its img src attributes name, attaches it under a new
    // Content-ID and points the src at "cid:...". Only regular files are
    // read; the attached name is the text after the last '/' or '\'.
    //
    // Beyond the older format: a Content-Type or disposition is folded only
    // once (composing twice gives the same header), Content-IDs are valid
    // message ids, and a leaf ends with its content (the line break that
    // follows belongs to the next delimiter).
    std::string ComposeMIMEPart();
    // The same text appended to `out`.
    void AppendMIMEPart(std::string& out);

    const std::string& GetContentType() const { return m_strContentType; }
    const std::string& GetTransferEncoding() const { return m_strTransferEncoding; }
    const std::string& GetDisposition() const { return m_strDisposition; }
    const std::string& GetFirstPartType() const { return m_strFirstPartType; }
    int GetPartStart() const { return m_nPartStart; }
    int GetPartEnd() const { return m_nPartEnd; }
    int GetBodyStart() const { return m_nBodyStart; }
    int GetBodyEnd() const { return m_nBodyEnd; }
    bool IsMultipart() const;
    const std::string* GetSourceText() const { return m_pSourceText; }
    std::uint32_t GetContentLength() const { return m_nContentLength; }
    // Content type "application/octet-stream" and disposition "attachment"
    // carrying the file name: quoted when it is 7-bit, else in the RFC 2231
    // form (readers do not decode encoded words inside quotes).
    void SetFileName(const std::string& name, const std::string& charset);
    // A new Content-ID that is a valid message id (without angle brackets).
    static std::string NewContentId();

private:
    // The content's place in the source text and the buffer its decoding needs.
    struct ContentRange {
        long long from = 0, to = 0;
        std::uint32_t size = 0, capacity = 0;
        bool uu = false, decoded = false;
    };
    ContentRange Range(int decode) const;
    bool HasSource() const;
    void AppendHeaderLines(std::string& out);
    void AppendEncodedContent(std::string& out) const;

    const std::string* m_pSourceText = nullptr;
    int m_nPartStart = 0;
    int m_nPartEnd = 0;
    int m_nBodyStart = 0;
    int m_nBodyEnd = 0;
    int m_nLineLength = CMailCommonFunction::kDefaultLineLength;
    CMailCommonFunction m_codec;
    std::string m_strTransferEncoding;
    std::string m_strContentType;
    std::string m_strDisposition;
    std::string m_strDescription;
    std::string m_strContentID;
    std::string m_strFirstPartType;
    int m_nDepth = 0;
    std::unique_ptr<unsigned char[]> m_pContent;
    std::uint32_t m_nContentLength = 0;
};

}  // namespace velkor
