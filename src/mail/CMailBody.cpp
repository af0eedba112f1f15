// CMailBody: analysis, navigation and composition of a body tree.
#include "mail/CMailBody.h"

#include <algorithm>
#include <string_view>

#include "mail/CMailHeader.h"
#include "platform/CodePage.h"

namespace velkor {

namespace {

constexpr const char* kPreamble = "This is a multi-part message in MIME format.\r\n\r\n";

bool IsMultipartType(const std::string& contentType) {
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(contentType, type, subtype, params);
    return MbcsEqualNoCase(type, "multipart");
}

void TrimLineBreaks(std::string& out) {
    const std::size_t keep = out.find_last_not_of("\r\n");
    out.resize(keep == std::string::npos ? 0 : keep + 1);
}

}  // namespace

CMIMEPart* CMailBody::GetPart(int i) const {
    return i >= 0 && i < GetPartCount() ? m_parts[static_cast<std::size_t>(i)].get() : nullptr;
}

int CMailBody::Append(std::unique_ptr<CMIMEPart> part) {
    if (Full()) return -1;
    m_parts.push_back(std::move(part));
    return GetPartCount() - 1;
}

int CMailBody::AnalyseMailBody(const std::string& mimeVersion, const std::string& contentType,
                               const std::string& transferEncoding, const std::string& contentId,
                               const std::string& description, const std::string& disposition,
                               const std::string& text, int bodyStart, int bodyEnd) {
    m_parts.clear();
    m_pSourceText = &text;
    m_nBodyStart = bodyStart;
    m_nBodyEnd = bodyEnd;
    m_strMIMEVersion = mimeVersion;
    const int end = bodyEnd + 1;  // exclusive

    if (mimeVersion.empty()) {
        std::vector<std::uint32_t> starts, ends;
        CMailCommonFunction::SplitMultipart2(text, static_cast<std::uint32_t>(bodyStart),
                                             static_cast<std::uint32_t>(end), starts, ends);
        if (starts.empty())
            return AnalyseMailBody(0, contentType, transferEncoding, contentId, description,
                                   disposition, text, bodyStart, bodyEnd, bodyStart, bodyEnd);
        const int first = static_cast<int>(starts[0]);
        AnalyseMailBody(0, contentType, transferEncoding, contentId, description, disposition,
                        text, bodyStart, first, bodyStart, first - 1);
        for (std::size_t k = 0; k < starts.size() && !Full(); ++k) {
            const int s = static_cast<int>(starts[k]), e = static_cast<int>(ends[k]);
            auto part = std::make_unique<CMIMEPart>();
            part->AnalyseMIMEPart(0, "application/octet-stream", "uucode", "", "", "attachment",
                                  text, s, e, s, e - 1);
            Append(std::move(part));
        }
        return 1;
    }
    if (!IsMultipartType(contentType))
        return AnalyseMailBody(0, contentType, transferEncoding, contentId, description,
                               disposition, text, bodyStart, bodyEnd, bodyStart, bodyEnd);

    auto root = std::make_unique<CMIMEPart>();
    root->AnalyseMIMEPart(0, contentType, transferEncoding, contentId, description, disposition,
                          text, bodyStart, end, -1, -1);
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(contentType, type, subtype, params);
    root->SetFirstPartType(CMailCommonFunction::GetFirstPartType(params));
    Append(std::move(root));
    // A part whose header has no end (no blank line) damages the mail: 0.
    return AnalyseRanges(1, contentType, text, bodyStart, end);
}

int CMailBody::AnalyseMailBody(const int& depth, const std::string& contentType,
                               const std::string& transferEncoding, const std::string& contentId,
                               const std::string& description, const std::string& disposition,
                               const std::string& text, int partStart, int partEnd,
                               int contentStart, int contentEnd) {
    if (Full()) return 1;
    auto part = std::make_unique<CMIMEPart>();
    part->AnalyseMIMEPart(depth, contentType, transferEncoding, contentId, description,
                          disposition, text, partStart, partEnd, contentStart, contentEnd);
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(contentType, type, subtype, params);
    part->SetFirstPartType(CMailCommonFunction::GetFirstPartType(params));
    Append(std::move(part));
    if (!MbcsEqualNoCase(type, "multipart") || depth >= kMaxPartDepth) return 1;
    return AnalyseRanges(depth + 1, contentType, text, partStart, partEnd);
}

int CMailBody::AnalyseRanges(int depth, const std::string& contentType, const std::string& text,
                             int start, int end) {
    std::string type, subtype, params;
    CMailCommonFunction::ParseContentType(contentType, type, subtype, params);
    const std::string boundary = CMailCommonFunction::GetMultipartBoundary(params);
    if (boundary.empty() || start < 0 || end <= start) return 1;
    std::vector<std::uint32_t> starts, ends;
    CMailCommonFunction::SplitMultipart(text, static_cast<std::uint32_t>(start),
                                        static_cast<std::uint32_t>(end), boundary, starts, ends);
    for (std::size_t k = 0; k < starts.size() && !Full(); ++k) {
        const int s = static_cast<int>(starts[k]), e = static_cast<int>(ends[k]);
        int hs = -1, he = -1, cs = -1, ce = -1;
        if (!GetHeaderPos(text, s, e, hs, he)) return 0;
        CMailHeader header;
        header.AnalyseMailHeader(text, hs, he);
        if (!GetBodyPos(text, s, e, cs, ce)) return 0;
        if (!AnalyseMailBody(depth, header.m_strContentType, header.m_strContentTransferEncoding,
                             header.m_strContentId, header.m_strContentDescription,
                             header.m_strContentDisposition, text, s, e, cs, ce))
            return 0;
    }
    return 1;
}

int CMailBody::GetHeaderPos(const std::string& text, int start, int end, int& headerStart,
                            int& headerEnd) {
    headerStart = headerEnd = -1;
    if (start < 0 || end < start) return 0;
    // Only a hit that ends the header before `end` counts, so the search
    // need not run past the range.
    const std::size_t limit = std::min(text.size(), static_cast<std::size_t>(end) + 1);
    const std::size_t hit = std::string_view(text).substr(0, limit).find("\r\n\r\n", start);
    if (hit == std::string::npos) return 0;
    headerStart = start;
    headerEnd = static_cast<int>(hit) + 2;
    return headerEnd < end ? 1 : 0;
}

int CMailBody::GetBodyPos(const std::string& text, int start, int end, int& contentStart,
                          int& contentEnd) {
    int hs, he;
    if (!GetHeaderPos(text, start, end, hs, he)) return 0;
    contentStart = he + 2;
    if (end < contentStart) return 0;
    // The last line break at or before the end: it belongs to the delimiter
    // that ends the range, so the content stops before it.
    const std::size_t limit = std::min(text.size(), static_cast<std::size_t>(end));
    const std::size_t q = std::string_view(text).substr(0, limit).rfind("\r\n");
    if (q == std::string::npos || static_cast<int>(q) + 2 < contentStart) return 0;
    contentEnd = std::max(static_cast<int>(q) - 1, contentStart - 1);
    return 1;
}

std::string CMailBody::GetBodyType() const {
    if (m_parts.empty()) return "text/plain";
    return m_parts[0]->GetMIMEType() + "/" + m_parts[0]->GetMIMESubType();
}

int CMailBody::GetChidlPartNum(int i) const {
    if (i < 0 || i >= GetPartCount()) return -1;
    const int d = m_parts[static_cast<std::size_t>(i)]->GetDepth();
    int count = 0;
    for (int k = i + 1; k < GetPartCount(); ++k) {
        const int dk = m_parts[static_cast<std::size_t>(k)]->GetDepth();
        if (dk <= d) break;
        if (dk == d + 1) ++count;
    }
    return count;
}

int CMailBody::FindParentPart(int i) const {
    if (i < 0 || i >= GetPartCount()) return -1;
    const int d = m_parts[static_cast<std::size_t>(i)]->GetDepth();
    for (int k = i - 1; k >= 0; --k)
        if (m_parts[static_cast<std::size_t>(k)]->GetDepth() == d - 1) return k;
    return -1;
}

int CMailBody::FindFirstChildPart(int i) const { return GetChidlPartNum(i) >= 1 ? i + 1 : -1; }

int CMailBody::FindNextChildPart(int p, int c) const {
    if (c < 0 || c >= GetPartCount() || FindParentPart(c) != p) return -1;
    const int d = m_parts[static_cast<std::size_t>(c)]->GetDepth();
    for (int k = c + 1; k < GetPartCount(); ++k) {
        const int dk = m_parts[static_cast<std::size_t>(k)]->GetDepth();
        if (dk < d) return -1;
        if (dk == d) return k;
    }
    return -1;
}

int CMailBody::GetMIMEPartType(int i, std::string& type, std::string& subtype) const {
    const CMIMEPart* part = GetPart(i);
    if (!part) return 0;
    type = part->GetMIMEType();
    subtype = part->GetMIMESubType();
    return 1;
}

int CMailBody::GetMIMEPart(int i, unsigned char*& content, std::uint32_t& length) {
    CMIMEPart* part = GetPart(i);
    if (!part) return 0;
    if (part->IsMultipart()) {
        length = 0;
        return 1;
    }
    part->GetContent(content, length, 1);
    return 1;
}

int CMailBody::WriteMIMEPart(int i, const CMailCommonFunction::ByteSink& sink,
                             std::uint32_t& length) {
    length = 0;
    CMIMEPart* part = GetPart(i);
    if (!part) return 0;
    if (part->IsMultipart()) return 1;
    return part->WriteContent(sink, length, 1) < 0 ? -1 : 1;
}

int CMailBody::AddMIMEPart(const int& depth, const std::string& contentType,
                           const std::string& transferEncoding, const std::string& contentId,
                           const std::string& description, const std::string& disposition,
                           const unsigned char* data, std::uint32_t length, int insertIndex) {
    if (Full() || insertIndex < -1 || insertIndex > GetPartCount()) return -1;
    auto part = std::make_unique<CMIMEPart>();
    part->SetContentype(contentType);
    part->SetContentEncoding(transferEncoding);
    part->SetContentID(contentId);
    part->SetContentDescription(description);
    part->SetDisposition(disposition);
    part->SetDepth(depth);
    if (data && length) part->SetContent(data, length);
    if (insertIndex == -1) return Append(std::move(part));
    m_parts.insert(m_parts.begin() + insertIndex, std::move(part));
    return insertIndex;
}

int CMailBody::AddMIMEPart(const int& depth, const std::string& contentType, int insertIndex) {
    if (!IsMultipartType(contentType)) return -1;
    return AddMIMEPart(depth, contentType, "", "", "", "", nullptr, 0, insertIndex);
}

int CMailBody::DelMIMEPart(const int& i) {
    if (!GetPart(i)) return 0;
    m_parts.erase(m_parts.begin() + i);
    return 1;
}

std::string CMailBody::ComposeOtherPart(int i) {
    CMIMEPart* part = GetPart(i);
    if (!part || part->IsMultipart()) return {};
    return part->ComposeMIMEPart();
}

std::string CMailBody::ComposeMultiPart(int i) {
    std::string out;
    AppendMultiPart(i, out);
    return out;
}

void CMailBody::AppendMultiPart(int i, std::string& out) {
    CMIMEPart* part = GetPart(i);
    if (!part || !part->IsMultipart()) return;
    const std::string boundary = CMailCommonFunction::NewBoundary();
    part->SetContentype("multipart/" + part->GetMIMESubType() + "; boundary=" + boundary);
    part->AppendMIMEPart(out);
    out.append("\r\n\r\n--").append(boundary).append("\r\n");
    AppendChildren(i, boundary, out);
    TrimLineBreaks(out);
    out.append("--\r\n");
}

// Each child, then its delimiter. A leaf ends with its content and one line
// break, which belongs to the delimiter (an extra blank line would become
// part of the content); a container's closing delimiter is followed by an
// empty line.
void CMailBody::AppendChildren(int i, const std::string& boundary, std::string& out) {
    for (int c = FindFirstChildPart(i); c != -1; c = FindNextChildPart(i, c)) {
        CMIMEPart* child = GetPart(c);
        // An empty container would be a multipart without a body part.
        if (child->IsMultipart() && FindFirstChildPart(c) == -1) continue;
        if (child->IsMultipart()) {
            AppendMultiPart(c, out);
            out.append("\r\n");
        } else {
            child->AppendMIMEPart(out);
        }
        out.append("\r\n--").append(boundary).append("\r\n");
    }
}

std::size_t CMailBody::ComposedSizeBound() const {
    constexpr std::size_t kPerPart = 4096;  // header lines, delimiters, names
    std::size_t bound = 1024;
    for (const auto& part : m_parts) {
        const std::size_t n = part->GetContentLength();
        // base64: 4 characters per 3 bytes plus CR LF per line; anything
        // else at most 3 characters a byte plus soft breaks.
        bound += kPerPart + (MbcsEqualNoCase(part->GetTransferEncoding(), "base64")
                                 ? (n + 2) / 3 * 4 / 76 * 78 + 80
                                 : n * 3 + n / 25 + 80);
    }
    return bound;
}

int CMailBody::ComposeMailBody(std::string& mimeVersion, std::string& contentType,
                               std::string& /*unused1*/, std::string& /*unused2*/,
                               std::string& /*unused3*/, std::string& body) {
    mimeVersion = m_strMIMEVersion;
    body = kPreamble;  // keeps any capacity the caller reserved
    CMIMEPart* root = GetPart(0);
    if (!root) return 1;
    if (!root->IsMultipart()) {
        root->AppendMIMEPart(body);
        body.append("\r\n");
        return 1;
    }
    const std::string boundary = CMailCommonFunction::NewBoundary();
    contentType = "multipart/" + root->GetMIMESubType() + "; boundary=" + boundary;
    body.append("--").append(boundary).append("\r\n");
    AppendChildren(0, boundary, body);
    TrimLineBreaks(body);
    body.append("--\r\n\r\n");
    return 1;
}

}  // namespace velkor
