// CMailBody: the body of one mail as a tree of MIME parts.
//
// The tree is a flat list in document order (pre-order) in which every part
// carries its depth: the root has depth 0, a child directly follows its
// parent or its preceding sibling's last descendant and has the parent's
// depth + 1. Only multipart parts have children; they carry no content.
// Parent, child and sibling relations are computed from the depths.
//
// A body analysed from a mail without MIME-Version holds parts of depth 0
// only: the text and the UU-encoded blocks in it.
//
// Bounds: multipart nesting stops at kMaxPartDepth (a deeper multipart part
// is kept as an opaque leaf: its children are not analysed), and a body
// holds at most kMaxParts parts (analysis stops adding parts there; adding
// gives -1). Both keep hostile mail linear in time and bounded in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CMIMEPart.h"
#include "CMailCommonFunction.h"

namespace velkor {

class CMailBody {
public:
    static constexpr int kMaxPartDepth = 64;
    static constexpr int kMaxParts = 256;

    CMailBody() = default;
    virtual ~CMailBody() = default;
    CMailBody(const CMailBody&) = delete;
    CMailBody& operator=(const CMailBody&) = delete;

    // Analyses the body [bodyStart, bodyEnd] of a mail (bodyEnd is the last
    // byte; bodyStart - 1 for an empty body) with the values of the mail's
    // header. Destroys the old parts first; the text must outlive the body.
    // 0 when a part has no blank line after its header (the parts found so
    // far stay); else 1, also when a multipart body holds no delimiter.
    int AnalyseMailBody(const std::string& mimeVersion, const std::string& contentType,
                        const std::string& transferEncoding, const std::string& contentId,
                        const std::string& description, const std::string& disposition,
                        const std::string& text, int bodyStart, int bodyEnd);

    // "type/subtype" of the root part ("text/plain" for an empty body).
    std::string GetBodyType() const;
    // Children of part i; -1 for an index outside the list.
    int GetChidlPartNum(int i) const;
    int FindParentPart(int i) const;
    int FindFirstChildPart(int i) const;
    // The sibling after child c of parent p; -1 when there is none.
    int FindNextChildPart(int p, int c) const;
    int GetMIMEPartType(int i, std::string& type, std::string& subtype) const;
    // The decoded content of part i (new[]; the caller frees it with
    // delete[]); a multipart part gives length 0 and no buffer. 1, or 0 for
    // an index outside the list.
    int GetMIMEPart(int i, unsigned char*& content, std::uint32_t& length);
    // The same content handed to `sink` block by block (no buffer holds it
    // whole); -1 when the sink refused a block.
    int WriteMIMEPart(int i, const CMailCommonFunction::ByteSink& sink, std::uint32_t& length);

    // A leaf part with a copy of the data, appended (index -1) or inserted at
    // the index; its index, or -1 (the list is full or the index is outside
    // it).
    int AddMIMEPart(const int& depth, const std::string& contentType,
                    const std::string& transferEncoding, const std::string& contentId,
                    const std::string& description, const std::string& disposition,
                    const unsigned char* data, std::uint32_t length, int insertIndex);
    // A container; its type must be "multipart" (any case), else -1.
    int AddMIMEPart(const int& depth, const std::string& contentType, int insertIndex);
    // Destroys part i (its descendants stay at their depths); 0 when there
    // is none.
    int DelMIMEPart(const int& i);

    // The body text for sending: the preamble, then the root's children
    // between new delimiters. The MIME version and "multipart/<subtype>;
    // boundary=B" of a multipart root go to the outputs (the three strings
    // in between are not touched). Always 1.
    int ComposeMailBody(std::string& mimeVersion, std::string& contentType, std::string& unused1,
                        std::string& unused2, std::string& unused3, std::string& body);
    // The text of a multipart part with its children (new boundaries each
    // time); "" for a leaf or an index outside the list.
    std::string ComposeMultiPart(int i);
    // The text of a leaf part; "" for a multipart part or an index outside.
    std::string ComposeOtherPart(int i);

    // An upper bound of the composed body's size, so it can be built in one
    // allocation (large attachments are not copied again as it grows).
    std::size_t ComposedSizeBound() const;

    int GetPartCount() const { return static_cast<int>(m_parts.size()); }
    CMIMEPart* GetPart(int i) const;
    const std::string& GetMIMEVersion() const { return m_strMIMEVersion; }

private:
    int AnalyseMailBody(const int& depth, const std::string& contentType,
                        const std::string& transferEncoding, const std::string& contentId,
                        const std::string& description, const std::string& disposition,
                        const std::string& text, int partStart, int partEnd, int contentStart,
                        int contentEnd);
    // The part ranges of a multipart part [start, end), each analysed at
    // `depth`; 0 at the first range without a header or content.
    int AnalyseRanges(int depth, const std::string& contentType, const std::string& text,
                      int start, int end);
    // Header [start, hit + 2) of a part range; 1 when it ends before `end`.
    static int GetHeaderPos(const std::string& text, int start, int end, int& headerStart,
                            int& headerEnd);
    // Content [contentStart, contentEnd] of a part range: after the blank
    // line, up to the line break that ends the range (which belongs to the
    // next delimiter).
    static int GetBodyPos(const std::string& text, int start, int end, int& contentStart,
                          int& contentEnd);
    int Append(std::unique_ptr<CMIMEPart> part);
    bool Full() const { return GetPartCount() >= kMaxParts; }
    void AppendMultiPart(int i, std::string& out);
    void AppendChildren(int i, const std::string& boundary, std::string& out);

    const std::string* m_pSourceText = nullptr;
    int m_nBodyStart = 0;
    int m_nBodyEnd = 0;
    CMailCommonFunction m_codec;
    std::string m_strMIMEVersion = "1.0";
    std::vector<std::unique_ptr<CMIMEPart>> m_parts;
};

}  // namespace velkor
