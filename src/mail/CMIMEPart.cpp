// CMIMEPart: analysed and composed MIME parts.
#include "mail/CMIMEPart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "mail/CMailHeader.h"
#include "platform/CXCommon.h"
#include "platform/CodePage.h"
#include "platform/LocalFile.h"
#include "platform/markup/CXMLParser.h"

namespace velkor {

namespace {

struct LocalImage {
    std::string path;
    std::string contentId;
};

// Points every <img src> naming a readable local file at a new Content-ID;
// the document text is replaced only when at least one image was found.
std::vector<LocalImage> TakeLocalImages(std::string& html) {
    std::vector<LocalImage> images;
    CXMLParser doc;
    if (!doc.SetXml(html)) return images;
    for (int i = 0; i < doc.GetLineCount(); ++i) {
        CXMLLine* line = doc.GetLineAt(i);
        if (!line || !line->IsElementOK("img")) continue;
        const std::string src = line->GetAttrValue("src");
        struct stat st {};
        if (src.empty() || ::stat(src.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            ::access(src.c_str(), R_OK) != 0 || static_cast<std::uint64_t>(st.st_size) > UINT32_MAX)
            continue;
        LocalImage image{src, CMIMEPart::NewContentId()};
        line->SetAttrValue("src", "cid:" + image.contentId);
        images.push_back(std::move(image));
    }
    if (!images.empty()) html = doc.GetXml();
    return images;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CMIMEPart::CMIMEPart(const CMIMEPart& other)
    : m_pSourceText(other.m_pSourceText),
      m_nPartStart(other.m_nPartStart),
      m_nPartEnd(other.m_nPartEnd),
      m_nBodyStart(other.m_nBodyStart),
      m_nBodyEnd(other.m_nBodyEnd),
      m_nLineLength(other.m_nLineLength),
      m_strTransferEncoding(other.m_strTransferEncoding),
      m_strContentType(other.m_strContentType),
      m_strDisposition(other.m_strDisposition),
      m_strDescription(other.m_strDescription),
      m_strContentID(other.m_strContentID),
      m_strFirstPartType(other.m_strFirstPartType),
      m_nDepth(other.m_nDepth) {
    if (other.m_pContent) SetContent(other.m_pContent.get(), other.m_nContentLength);
}

CMIMEPart& CMIMEPart::operator=(const CMIMEPart& other) {
    if (this != &other) {
        CMIMEPart copy(other);
        std::swap(*this, copy);
    }
    return *this;
}

int CMIMEPart::AnalyseMIMEPart(const int& depth, const std::string& contentType,
                               const std::string& transferEncoding, const std::string& contentId,
                               const std::string& description, const std::string& disposition,
                               const std::string& source, int partStart, int partEnd,
                               int bodyStart, int bodyEnd) {
    m_strContentType = contentType == "/" ? "text/plain" : contentType;
    m_strTransferEncoding = transferEncoding;
    m_strContentID = contentId;
    m_strDescription = description;
    m_strDisposition = disposition;
    m_nDepth = depth;
    m_pSourceText = &source;
    m_nPartStart = partStart;
    m_nPartEnd = partEnd;
    m_nBodyStart = bodyStart;
    m_nBodyEnd = bodyEnd;
    return 1;
}

CMIMEPart::ContentRange CMIMEPart::Range(int decode) const {
    ContentRange r;
    const std::string& src = *m_pSourceText;
    // The content range, clamped to the text.
    r.from = std::max(m_nBodyStart, 0);
    r.to = std::min<long long>(static_cast<long long>(m_nBodyEnd) + 1,
                               static_cast<long long>(src.size()));
    r.size = static_cast<std::uint32_t>(r.to > r.from ? r.to - r.from : 0);
    const std::string& enc = m_strTransferEncoding;
    r.uu = decode && MbcsEqualNoCase(enc, "uucode");
    const bool base64 = decode && MbcsEqualNoCase(enc, "base64");
    r.decoded = r.uu || base64 || (decode && MbcsEqualNoCase(enc, "quoted-printable"));
    // Base64 gives at most 3 bytes for every 4 characters: the buffer (which
    // the decoder clears first) is no larger, so a big attachment costs its
    // decoded size, not its encoded one. (A UU line names its own length.)
    r.capacity = base64 ? r.size / 4 * 3 + 3 : r.size;
    return r;
}

bool CMIMEPart::HasSource() const {
    return m_pSourceText && m_nBodyStart != -1 && m_nBodyEnd != -1;
}

int CMIMEPart::GetContent(unsigned char*& out, std::uint32_t& length, int decode) {
    if (m_pContent) {
        delete[] out;
        out = new unsigned char[static_cast<std::size_t>(m_nContentLength) + 1];
        std::memcpy(out, m_pContent.get(), m_nContentLength);
        out[m_nContentLength] = 0;
        length = m_nContentLength;
        return 1;
    }
    if (!HasSource()) return 0;
    const std::string& src = *m_pSourceText;
    const ContentRange r = Range(decode);
    delete[] out;
    out = new unsigned char[static_cast<std::size_t>(r.capacity) + 1];
    out[r.capacity] = 0;
    length = r.capacity;
    if (!r.decoded) {
        if (r.size) std::memcpy(out, src.data() + r.from, r.size);
        return 1;
    }
    // UU ranges include their end byte, the others are half-open.
    const int result = CMailCommonFunction::Decode(m_strTransferEncoding, src, out, length,
                                                   static_cast<int>(r.from),
                                                   static_cast<int>(r.uu ? r.to - 1 : r.to));
    if (length < r.capacity) out[length] = 0;
    return result;
}

int CMIMEPart::WriteContent(const CMailCommonFunction::ByteSink& sink, std::uint32_t& length,
                            int decode) const {
    length = 0;
    if (m_pContent) {
        if (m_nContentLength && !sink(m_pContent.get(), m_nContentLength)) return -1;
        length = m_nContentLength;
        return 1;
    }
    if (!HasSource()) return 0;
    const std::string& src = *m_pSourceText;
    const ContentRange r = Range(decode);
    if (!r.decoded) {
        const auto* data = reinterpret_cast<const unsigned char*>(src.data()) + r.from;
        if (r.size && !sink(data, r.size)) return -1;
        length = r.size;
        return 1;
    }
    return CMailCommonFunction::DecodeToSink(m_strTransferEncoding, src, static_cast<int>(r.from),
                                             static_cast<int>(r.uu ? r.to - 1 : r.to),
                                             r.capacity, sink, length);
}

std::string CMIMEPart::GetMIMEType() const {
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(m_strContentType, type, subtype, params);
    return type;
}

std::string CMIMEPart::GetMIMESubType() const {
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(m_strContentType, type, subtype, params);
    return subtype;
}

bool CMIMEPart::IsMultipart() const { return GetMIMEType() == "multipart"; }

std::string CMIMEPart::GetCharacterSet() const {
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(m_strContentType, type, subtype, params);
    return type == "text" ? CMailCommonFunction::GetTextCharset(params) : std::string();
}

// uucode (exact case): the name on the block's "begin" line. A disposition:
// its filename and charset (0 without one; the content type is not asked).
// Otherwise the content type's name parameter, 1 even when it is empty.
int CMIMEPart::GetFilename(std::string& name, std::string& charset) const {
    if (m_strTransferEncoding == "uucode") {
        if (!m_pSourceText) return 0;
        return CMailCommonFunction::DecodeUUFileName(*m_pSourceText, name, charset, m_nBodyStart,
                                                     m_nBodyEnd) > 0
                   ? 1
                   : 0;
    }
    if (!m_strDisposition.empty()) {
        std::string disposition;
        return CMailCommonFunction::ParseContentDisposition(m_strDisposition, disposition, name,
                                                            charset);
    }
    if (m_strContentType.empty()) return 0;
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(m_strContentType, type, subtype, params);
    name = CMailCommonFunction::GetFilename(params);
    return 1;
}

int CMIMEPart::IsAttachment() const {
    if (m_strDisposition.empty()) return 0;
    std::string disposition, name, charset;
    if (!CMailCommonFunction::ParseContentDisposition(m_strDisposition, disposition, name, charset))
        return 0;
    return disposition == "attachment" || disposition == "inline" ? 1 : 0;
}

int CMIMEPart::GetRelatedInfo(std::string& type, std::string& start,
                              std::string& startInfo) const {
    std::string main, subtype, params;
    CMailCommonFunction::ParseContentType(m_strContentType, main, subtype, params);
    if (subtype != "related") return 0;
    return CMailCommonFunction::GetRelatedInfo(params, type, start, startInfo);
}

void CMIMEPart::SetContent(const unsigned char* data, std::uint32_t length) {
    m_pContent.reset();
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[length ? length : 1]);
    if (!buffer) return;
    if (length) std::memcpy(buffer.get(), data, length);
    m_pContent = std::move(buffer);
    m_nContentLength = length;
}

void CMIMEPart::SetFileName(const std::string& name, const std::string& charset) {
    m_strContentType = "application/octet-stream; " +
                       CMailCommonFunction::ComposeFileNameParameter("name", name, charset);
    m_strDisposition = "attachment; " +
                       CMailCommonFunction::ComposeFileNameParameter("filename", name, charset);
}

std::string CMIMEPart::NewContentId() {
    // NewCID's "date time$n@" made a valid id: only atom characters, and a
    // domain after the '@'.
    const std::string cid = CMailCommonFunction::NewCID("");
    std::string id;
    for (char c : cid)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '$' || c == '.' || c == '-') id += c;
    return id + "@velkor.local";
}

void CMIMEPart::AppendHeaderLines(std::string& out) {
    const auto line = [&out](const char* name, const std::string& value) {
        if (!value.empty()) out.append(name).append(value).append("\r\n");
    };
    CMailHeader::FoldParameters(m_strContentType);
    CMailHeader::FoldParameters(m_strDisposition);
    line("Content-Type: ", m_strContentType);
    line("Content-Disposition: ", m_strDisposition);
    line("Content-transfer-encoding: ", m_strTransferEncoding);
    if (!m_strContentID.empty()) out.append("Content-ID: <").append(m_strContentID).append(">\r\n");
    line("Content-Description: ", m_strDescription);
}

void CMIMEPart::AppendEncodedContent(std::string& out) const {
    if (MbcsEqualNoCase(m_strTransferEncoding, "base64"))
        CMailCommonFunction::AppendTextBase64(out, m_pContent.get(), m_nContentLength, m_nLineLength);
    else
        out += CMailCommonFunction::Encode(m_strTransferEncoding, m_pContent.get(), m_nContentLength,
                                           m_nLineLength);
}

std::string CMIMEPart::ComposeMIMEPart() {
    std::string out;
    AppendMIMEPart(out);
    return out;
}

void CMIMEPart::AppendMIMEPart(std::string& out) {
    std::vector<LocalImage> images;
    if (m_pContent && m_strContentType.find("text/html") != std::string::npos) {
        std::string html(reinterpret_cast<const char*>(m_pContent.get()), m_nContentLength);
        images = TakeLocalImages(html);
        if (!images.empty())
            SetContent(reinterpret_cast<const unsigned char*>(html.data()),
                       static_cast<std::uint32_t>(html.size()));
    }
    if (images.empty()) {
        AppendHeaderLines(out);
        if (m_nContentLength != 0) {
            out += "\r\n";
            AppendEncodedContent(out);
        }
        return;
    }
    const std::string boundary = CMailCommonFunction::NewBoundary();
    std::string type = "multipart/related; boundary=" + boundary;
    CMailHeader::FoldParameters(type);
    out.append("Content-Type: ").append(type).append("\r\n\r\n");
    out.append("--").append(boundary).append("\r\n");
    AppendHeaderLines(out);
    if (m_nContentLength != 0) {
        out += "\r\n";
        AppendEncodedContent(out);
        out += "\r\n";
    }
    const std::string charset = CXCommon::GetCurrentTextCharset();
    for (const LocalImage& image : images) {
        std::string bytes;
        if (!ReadRegularFile(image.path, bytes, UINT32_MAX)) continue;
        CMIMEPart part;
        part.SetFileName(BaseName(image.path), charset);
        part.SetContentEncoding("base64");
        part.SetContentID(image.contentId);
        part.SetContent(reinterpret_cast<const unsigned char*>(bytes.data()),
                        static_cast<std::uint32_t>(bytes.size()));
        out.append("--").append(boundary).append("\r\n");
        part.AppendMIMEPart(out);
        out += "\r\n";
    }
    out.append("--").append(boundary).append("--");
}

}  // namespace velkor
